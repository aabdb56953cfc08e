#pragma once
// catalog.h -- the workers of the ten catalog functions and SQLGetTypeInfo.
// None builds SQL: each normalises the application's names, hands them to the
// back end's catalog operation on the statement's cursor and leaves the
// statement with a pending result, described and fetched like any other.
// Threading: statement workers, under the connection's call lock.

#include <sql.h>

#include "odbc/callargs.h"

struct Stmt;

// args: the function's arguments in ODBC order, each name followed by its
// 16-bit length; SpecialColumns starts with the identifier type and ends with
// the scope and the nullable flag, Statistics ends with unique and accuracy.
SQLRETURN ColumnPrivilegesImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN ColumnsImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN ForeignKeysImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN PrimaryKeysImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN ProcedureColumnsImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN ProceduresImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN SpecialColumnsImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN StatisticsImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN TablePrivilegesImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN TablesImpl(Stmt* stmt, const CallSlot* args);
// args: [SQL data type].
SQLRETURN GetTypeInfoImpl(Stmt* stmt, const CallSlot* args);

// The table-type list of SQLTables as quoted items: TABLE, VIEW (with or
// without quotes and blanks) becomes 'TABLE','VIEW'. A null list stays null,
// an empty one empty, one starting with '%' is "%". malloc'd, or null when
// memory is short.
char* QuoteTableTypes(const char* types);
