#pragma once
// odbc_calls.h -- the few ODBC calls every XA test program makes the same way.
// Each program compiles odbc_calls.cpp against the SQL functions it links: the
// core's own in the one-process driver tests, the Driver Manager's in the
// end-to-end tests.

#include <sql.h>
#include <sqlext.h>

#include <string>

class ITransaction;

// "STATE message" of a handle's first diagnostic record.
std::string DiagText(SQLSMALLINT type, SQLHANDLE h);
// Runs one statement that returns no rows; a failure is also a test failure.
SQLRETURN ExecNoRows(SQLHDBC dbc, const std::string& sql);
// Rows of table t as the connection sees them; -1 when they cannot be counted.
int CountRowsOfT(SQLHDBC dbc, const std::string& where);
// Ends and frees a connection; a refused disconnect is a test failure.
void DisconnectAndFree(SQLHDBC dbc);
// Enlists the connection in a coordinator's transaction (null: leave it).
SQLRETURN EnlistInDtc(SQLHDBC dbc, ITransaction* tx);
