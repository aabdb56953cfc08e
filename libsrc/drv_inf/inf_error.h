#pragma once
// inf_error.h -- the agent's error lists and the mapping of Informix codes onto
// driver error codes and SQLSTATEs.
// An Informix code is translated here once, where it arrives; the layers above
// only forward the driver error code.

#include <cstddef>
#include <cstdint>

#include "drv_inf/inf_types.h"

// All tolerate a null list by doing nothing.
void ErrListAppend(InfErrorList* list, InfError* entry) noexcept;
void ErrListClear(InfErrorList* list) noexcept;
// Moves every entry of `from`, in order, to the end of `to`; `from` is left empty.
void ErrListMove(InfErrorList* from, InfErrorList* to) noexcept;
// Empties the list (unless `keep`) and records one driver error code.
void ErrListSetCode(InfErrorList* list, int32_t drvCode) noexcept;
// As ErrListSetCode, with a message of the driver's own under S1000 (HY000).
void ErrListSetText(InfErrorList* list, const char* text) noexcept;
// Empties the list (unless `keep`) and records the communication area's code,
// then its ISAM code when there is one.
void ErrListAddSqlca(InfErrorList* list) noexcept;
// Empties the list (unless `keep`) and records one Informix code.
void ErrListAddInformix(InfErrorList* list, int32_t code) noexcept;
// The same with `object` as the message's object name, for a failure the agent
// finds itself, where the communication area names nothing of it.
void ErrListAddInformixNear(InfErrorList* list, int32_t code, const char* object) noexcept;
// Records the syntax error (-201) of a statement the request analysis refused,
// near the statement's beginning.
void ErrListAddRequestSyntax(InfErrorList* list, const char* sql) noexcept;

// A new entry for an Informix code (text from the runtime's message, SQLSTATE by
// the code's low 16 bits), or null when memory is short. Freed with delete.
InfError* InfErrorNew(int32_t code) noexcept;
// A new entry for a driver error code (the row's message and SQLSTATE).
InfError* DrvErrorNew(int32_t drvCode) noexcept;

// The driver error code of an Informix code; dflt for every code not listed.
int32_t InfCodeToDrvCode(int32_t code, int32_t dflt) noexcept;
// The SQLSTATE of InfCodeToDrvCode(code, ERR_GENERAL).
const char* InfCodeToSqlState(int32_t code) noexcept;

// The message of an Informix code: the runtime's text with the object name of
// the communication area filled in and " (code)" appended; logged at level 6.
// Copies at most size bytes into buf (NUL-terminated); buf may be null. -> 0.
int _error_text(int32_t code, char* buf, size_t size) noexcept;
// The same with the object name given.
int error_text_of(int32_t code, const char* object, char* buf, size_t size) noexcept;
