// api_stmt.cpp -- entry points of statements: prepare and execute, results,
// cursor names, statement options and attributes, column descriptions.
// Wide input text is converted to UTF-8 here. The workers of the functions
// that return text receive the application's buffer with the marker and write
// UTF-16 themselves for 'W'.

#include "odbc/apicall.h"

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* sql, SQLINTEGER len) {
  return CallWith(CD_Prepare, stmt, sql, len);
}
SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* sql, SQLINTEGER len) {
  WideIn s(sql, len);
  return CallWith(CD_PrepareW, stmt, s.text(), s.len32());
}
SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* sql, SQLINTEGER len) {
  return CallWith(CD_ExecDirect, stmt, sql, len);
}
SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* sql, SQLINTEGER len) {
  WideIn s(sql, len);
  return CallWith(CD_ExecDirectW, stmt, s.text(), s.len32());
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count) {
  return CallWith(CD_NumParams, stmt, count);
}
SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
  return CallWith(CD_NumResultCols, stmt, count);
}
SQLRETURN SQL_API SQLParamOptions(SQLHSTMT stmt, SQLULEN rows, SQLULEN* processed) {
  return CallWith(CD_ParamOptions, stmt, rows, processed);
}
SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* rows) {
  return CallWith(CD_RowCount, stmt, rows);
}
SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt) { return CallWith(CD_MoreResults, stmt); }

SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT bufLen,
                                   SQLSMALLINT* len) {
  return CallWith(CD_GetCursorName, stmt, name, bufLen, len, MARK_A);
}
SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT bufLen,
                                    SQLSMALLINT* len) {
  return CallWith(CD_GetCursorNameW, stmt, name, bufLen, len, MARK_W);
}
SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT len) {
  return CallWith(CD_SetCursorName, stmt, name, len);
}
SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT len) {
  WideIn n(name, len);
  return CallWith(CD_SetCursorNameW, stmt, n.text(), n.len16());
}

SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  return CallWith(CD_SetStmtOption, stmt, option, value);
}
SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLPOINTER value) {
  return CallWith(CD_GetStmtOption, stmt, option, value);
}
SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallWith(CD_SetStmtAttr, stmt, attr, value, len, MARK_A);
}
SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,
                                  SQLINTEGER len) {
  return CallWith(CD_SetStmtAttrW, stmt, attr, value, len, MARK_W);
}
SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,
                                 SQLINTEGER bufLen, SQLINTEGER* len) {
  return CallWith(CD_GetStmtAttr, stmt, attr, value, bufLen, len);
}
SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value,
                                  SQLINTEGER bufLen, SQLINTEGER* len) {
  return CallWith(CD_GetStmtAttrW, stmt, attr, value, bufLen, len);
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT bufLen,
                                 SQLSMALLINT* len, SQLSMALLINT* type, SQLULEN* size,
                                 SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return CallWith(CD_DescribeCol, stmt, col, name, bufLen, len, type, size, digits, nullable,
                  MARK_A);
}
SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT col, SQLWCHAR* name,
                                  SQLSMALLINT bufLen, SQLSMALLINT* len, SQLSMALLINT* type,
                                  SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return CallWith(CD_DescribeColW, stmt, col, name, bufLen, len, type, size, digits, nullable,
                  MARK_W);
}
SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field,
                                  SQLPOINTER text, SQLSMALLINT bufLen, SQLSMALLINT* len,
                                  SQLLEN* number) {
  return CallWith(CD_ColAttribute, stmt, col, field, text, bufLen, len, number, MARK_A);
}
SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field,
                                   SQLPOINTER text, SQLSMALLINT bufLen, SQLSMALLINT* len,
                                   SQLLEN* number) {
  return CallWith(CD_ColAttributeW, stmt, col, field, text, bufLen, len, number, MARK_W);
}
SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallWith(CD_GetTypeInfo, stmt, type);
}
SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallWith(CD_GetTypeInfoW, stmt, type);
}

}  // extern "C"
KES_EXPORT_END
