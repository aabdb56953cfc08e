// api_data.cpp -- entry points of the data exchange: binding, fetching,
// GetData, parameters, data at execution, SetPos and BulkOperations.

#include "odbc/apicall.h"

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value,
                             SQLLEN bufLen, SQLLEN* ind) {
  return CallWith(CD_BindCol, stmt, col, cType, value, bufLen, ind);
}
SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT par, SQLSMALLINT ioType,
                                   SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size,
                                   SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufLen,
                                   SQLLEN* ind) {
  return CallWith(CD_BindParameter, stmt, par, ioType, cType, sqlType, size, digits, value, bufLen,
                  ind);
}
SQLRETURN SQL_API SQLSetParam(SQLHSTMT stmt, SQLUSMALLINT par, SQLSMALLINT cType,
                              SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                              SQLPOINTER value, SQLLEN* ind) {
  return CallWith(CD_SetParam, stmt, par, cType, sqlType, size, digits, value, ind);
}
SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT stmt, SQLSMALLINT op) {
  return CallWith(CD_BulkOperations, stmt, op);
}
SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT par, SQLSMALLINT* type,
                                   SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return CallWith(CD_DescribeParam, stmt, par, type, size, digits, nullable);
}
SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) { return CallWith(CD_Execute, stmt); }
SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT type, SQLLEN row, SQLULEN* rows,
                                   SQLUSMALLINT* status) {
  return CallWith(CD_ExtendedFetch, stmt, type, row, rows, status);
}
SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) { return CallWith(CD_Fetch, stmt); }
SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return CallWith(CD_FetchScroll, stmt, orientation, offset);
}
SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value,
                             SQLLEN bufLen, SQLLEN* ind) {
  return CallWith(CD_GetData, stmt, col, cType, value, bufLen, ind);
}
SQLRETURN SQL_API SQLParamData(SQLHSTMT stmt, SQLPOINTER* value) {
  return CallWith(CD_ParamData, stmt, value);
}
SQLRETURN SQL_API SQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN len) {
  return CallWith(CD_PutData, stmt, data, len);
}
SQLRETURN SQL_API SQLSetPos(SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock) {
  return CallWith(CD_SetPos, stmt, row, op, lock);
}

}  // extern "C"
KES_EXPORT_END
