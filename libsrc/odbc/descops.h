#pragma once
// descops.h -- descriptor records and fields: the record list, setting and
// reading single fields with the ODBC consistency rules, copying descriptors and
// whole records, and making an application descriptor effective on a statement.
// A statement's bindings live in the statement (binding.h) and in its ARD, APD
// and IPD records at once; every write through a descriptor that a statement
// uses is carried over to the statement, and the implicit descriptors answer
// reads from the statement's bindings and descriptions.
// Threading: everything runs under the connection's call lock; a descriptor's
// statements are found through its connection's own statement list.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"
#include "odbc/desc.h"

struct Conn;
struct Stmt;

// Trace name of a descriptor's kind: "USER", "IRD", "ARD", "IPD", "APD".
const char* DescTypeName(const Desc* desc);
// An ARD or APD, or any explicitly allocated descriptor.
bool DescIsApplication(const Desc* desc);

// Record list. Record 0 is the bookmark record and always exists.
int16_t DescRecCount(const Desc* desc);
// Record n, or null when the list ends first (n < 0 included).
DescRec* DescGetRec(Desc* desc, int16_t n);
// Appends default records until de_count reaches n. 0 or ERR_MEMORY (the
// records appended so far stay and are counted).
int32_t DescGrow(Desc* desc, int16_t n);
// Keeps records 0..n; de_count is the caller's.
void DescTruncate(Desc* desc, int16_t n);
void DescRecClear(DescRec* rec);
void DescRecDefaults(const Desc* desc, DescRec* rec);
// Sets the verbose type and the date-time code that the record's concise type
// implies; other fields stay.
void DescRecTypeFromConcise(DescRec* rec);

// Makes desc (already stored as st_ard / st_apd) effective on the statement:
// the bindings of the previous descriptor go, desc's header becomes the
// statement's settings and its records with a data pointer are bound.
// 0; ERR_OPTION_CHANGED when the statement kept its rowset size (desc is
// applied all the same); otherwise the failure's code, desc half applied (the
// caller puts the previous descriptor back).
int32_t StmtApplyArd(Stmt* stmt, Desc* desc);
int32_t StmtApplyApd(Stmt* stmt, Desc* desc);
// Binds parameter n from its application record and the statement's IPD
// record of the same number, which gives the SQL type and sizes.
SQLRETURN StmtBindParamRecord(Stmt* stmt, int16_t n, const DescRec* app);

// Setting fields. value carries integers in its low bits and pointers whole;
// length matters only for SQL_DESC_NAME; marker 'A' or 'W' tells its form.
// args: [record, field, value, length, marker].
SQLRETURN SetDescFieldImpl(Desc* desc, const CallSlot* args);
SQLRETURN DescSetFieldHandle(Desc* desc, int16_t rec, int16_t field, uint64_t value, int32_t length,
                             char marker);
// The core: app and row say how to treat the descriptor, attached whether stmt
// uses it. Codes of the descriptor land on it, those of the statement
// operations on the statement.
SQLRETURN DescSetField(Stmt* stmt, bool app, bool row, bool attached, Desc* desc, int16_t rec,
                       int16_t field, uint64_t value, int32_t length, char marker);

// Reading fields. The 64-bit fields (SQL_DESC_ARRAY_SIZE, LENGTH, OCTET_LENGTH,
// DISPLAY_SIZE) are written as 64 bits; *outLen gets the bytes written or, for
// text, its full length in bytes of the output form.
// args: [record, field, value buffer, buffer length, string length pointer, marker].
SQLRETURN GetDescFieldImpl(Desc* desc, const CallSlot* args);
SQLRETURN DescGetField(Desc* desc, int16_t rec, int16_t field, void* buf, int64_t bufLen,
                       int64_t* outLen, char marker);

// Whole descriptors and records.
// args: [target handle].
SQLRETURN CopyDescImpl(Desc* source, const CallSlot* args);
// args: [record, name, buffer length, string length pointer, type, subtype,
// length, precision, scale, nullable, marker].
SQLRETURN GetDescRecImpl(Desc* desc, const CallSlot* args);
// args: [record, type, subtype, length, precision, scale, data, string length
// pointer, indicator pointer].
SQLRETURN SetDescRecImpl(Desc* desc, const CallSlot* args);

// Column `column` (1 TYPE_NAME, 4 LITERAL_PREFIX, 5 LITERAL_SUFFIX ...) of the
// back end's type information for sqlType, as 8-bit text: SQL_NO_DATA when the
// type is unknown to the back end, SQL_ERROR on failure (a connection not open
// leaves ERR_CONN_NOT_OPEN on it). *len is -1 (SQL_NULL_DATA) for a NULL value.
SQLRETURN ConnTypeInfoValue(Conn* conn, uint16_t column, int16_t sqlType, char* buf, int64_t bufLen,
                            int64_t* len);
