#pragma once
// stmtexec.h -- executing a prepared statement: SQLExecute and the execution
// step of SQLExecDirect, the tail every execution shares, and the delivery of
// output parameter values.
// Threading: under the statement's connection call lock.

#include <sql.h>
#include <sqlext.h>

#include "odbc/callargs.h"

struct Stmt;

// args: none.
SQLRETURN ExecuteImpl(Stmt* stmt, const CallSlot* args);
// SQL_SUCCESS when the statement may execute now, SQL_ERROR otherwise.
SQLRETURN ExecuteDAECheck(Stmt* stmt);
// Executes the prepared statement once; a result becomes pending.
SQLRETURN ExecuteParams(Stmt* stmt);
// The same for a back end that runs data at execution itself.
SQLRETURN ExecuteParamArray(Stmt* stmt);
// Fetches the row of output parameter values and delivers it into the bound
// parameter buffers.
SQLRETURN FetchOutputParams(Stmt* stmt);
