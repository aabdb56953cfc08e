#pragma once
// inf_esql.h -- the agent's only road to the client runtime: one wrapper per
// embedded statement, the descriptor areas, and the sessions themselves.
// Every wrapper makes its session the calling thread's current connection first
// and, with FORCEDORMANT, leaves it dormant again afterwards (unless an XA branch
// owns it). A wrapper answers the communication area's code (0, 100 or a negative
// Informix code); when the session cannot be made current, the runtime's reason
// (recorded in the list given, like any failure); -1 when it cannot be left dormant.

#include <cstdint>

#include "drv_inf/inf_types.h"

// Fixes the process flags for the life of the agent's environment. -> 0.
int _esql_init(int forceOnline, int forceDormant) noexcept;
// 1 when the client's environment asks for delimited identifiers (DELIMIDENT=Y...), or
// sets no DELIMIDENT and the Informix environment in the registry does; else 0.
int _read_delimident() noexcept;
// The process flag fixed by _esql_init.
int InfForceDormant() noexcept;

// REQUIRES: INF_Mutex held (the session list, count and key table).
InfSession* SessOpen(const InfSession* tmpl, InfErrorList* list) noexcept;
void SessRelease(InfSession* session) noexcept;

void _set_conn_info(const InfSession* session) noexcept;
int _connect(InfSession* session, InfErrorList* list) noexcept;
int _disconnect(InfSession* session, InfErrorList* list) noexcept;
int _set_current(InfSession* session) noexcept;
int _set_dormant(InfSession* session) noexcept;
// True when the session is the calling thread's current connection now.
bool InfSessionIsCurrent(const InfSession* session) noexcept;

int _begin_work(InfSession* s, InfErrorList* list) noexcept;
int _commit_work(InfSession* s, InfErrorList* list) noexcept;
int _rollback_work(InfSession* s, InfErrorList* list) noexcept;
int _prepare(InfSession* s, const char* stmt, const char* text, InfErrorList* list) noexcept;
// The statement type (>= 0) or a negative error; *out a copy of the description
// (null for statements without one), freed with _free_sqlda.
int _describe(InfSession* s, const char* stmt, IxrSqlda** out, InfErrorList* list) noexcept;
int _execute(InfSession* s, const char* stmt, const IxrSqlda* input, InfErrorList* list) noexcept;
// The statement once per set of values, in one runtime call (ixr_execute_sets).
int _execute_sets(InfSession* s, const char* stmt, int32_t sets, IxrSetInput next,
                  IxrSetDone done, void* ctx, InfErrorList* list) noexcept;
int _free_statement(InfSession* s, const char* stmt, InfErrorList* list) noexcept;
int _declare_cursor(InfSession* s, const char* stmt, const char* cursor,
                    InfErrorList* list) noexcept;
int _open_cursor(InfSession* s, const char* cursor, const IxrSqlda* input,
                 InfErrorList* list) noexcept;
int _fetch_cursor(InfSession* s, const char* cursor, IxrSqlda* output, InfErrorList* list) noexcept;
// Up to `rows` rows in one runtime call (ixr_fetch_rows); *fetched counts them.
int _fetch_cursor_rows(InfSession* s, const char* cursor, IxrSqlda* output, int32_t rows,
                       const int32_t* strides, int32_t* fetched, InfErrorList* list) noexcept;
int _close_cursor(InfSession* s, const char* cursor, InfErrorList* list) noexcept;
int _free_cursor(InfSession* s, const char* cursor, InfErrorList* list) noexcept;
int _execute_immediate(InfSession* s, const char* text, InfErrorList* list) noexcept;
// Levels 1, 2, 4 and 8; any other level runs nothing and answers -1.
int _set_isolation(InfSession* s, int32_t level, int readOnly, InfErrorList* list) noexcept;

// n entries, each a one-byte string with a short indicator. Memory from s_alloc.
IxrSqlda* _alloc_sqlda(int n) noexcept;
// The header and the entries; names duplicated, data and indicators shared.
IxrSqlda* _copy_sqlda(const IxrSqlda* area) noexcept;
// Frees every locator record (sqltype 113) and name, then the area. Null is ignored.
void _free_sqlda(IxrSqlda* area) noexcept;

// 1 for BYTE (11) and TEXT (12), the type taken as 16 bits.
int InfIsBlobType(int32_t type) noexcept;
// Fetch never defers a long column.
int InfDeferLongColumn(const ColumnInfo* column) noexcept;
