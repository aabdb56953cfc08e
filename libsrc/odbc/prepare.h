#pragma once
// prepare.h -- SQLPrepare, SQLExecDirect, SQLNativeSql, SQLMoreResults and the
// small statement workers (parameter and column counts, parameter-set options,
// row count, cursor names).
// Threading: statement (NativeSql: connection) workers, under the connection's
// call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Conn;
struct Stmt;

// args: [text, length].
SQLRETURN PrepareImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN ExecDirectImpl(Stmt* stmt, const CallSlot* args);
// args: [text, length, out buffer, out size, out length].
SQLRETURN NativeSqlImpl(Conn* conn, const CallSlot* args);
SQLRETURN MoreResultsImpl(Stmt* stmt, const CallSlot* args);
// args: [count pointer].
SQLRETURN NumParamsImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN NumResultColsImpl(Stmt* stmt, const CallSlot* args);
// args: [sets, processed pointer].
SQLRETURN ParamOptionsImpl(Stmt* stmt, const CallSlot* args);
// args: [count pointer].
SQLRETURN RowCountImpl(Stmt* stmt, const CallSlot* args);
// args: [buffer, buffer size, length pointer].
SQLRETURN GetCursorNameImpl(Stmt* stmt, const CallSlot* args);
// args: [name, length].
SQLRETURN SetCursorNameImpl(Stmt* stmt, const CallSlot* args);

// Prepares text on the statement's cursor: closes what was open, drops the old
// descriptions, offers again the cursor settings the back end changed last
// time, and counts the parameters by direction. SQL_SUCCESS_WITH_INFO (01S02)
// when the back end put another cursor type or concurrency in force.
SQLRETURN StmtPrepare(Stmt* stmt, const char* text);
