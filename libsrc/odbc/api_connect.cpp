// api_connect.cpp -- entry points of connecting, connection attributes and
// options, GetInfo, GetFunctions and NativeSql, in their 8-bit and wide forms.
// Wide input text is converted to UTF-8 here; text results are written by the
// workers in the form the marker names, so that the full length they report is
// the real one.

#include "odbc/apicall.h"

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLen, SQLCHAR* uid,
                             SQLSMALLINT uidLen, SQLCHAR* pwd, SQLSMALLINT pwdLen) {
  return CallWith(CD_Connect, dbc, dsn, dsnLen, uid, uidLen, pwd, pwdLen, MARK_A);
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC dbc, SQLWCHAR* dsn, SQLSMALLINT dsnLen, SQLWCHAR* uid,
                              SQLSMALLINT uidLen, SQLWCHAR* pwd, SQLSMALLINT pwdLen) {
  WideIn d(dsn, dsnLen), u(uid, uidLen), p(pwd, pwdLen);
  return CallWith(CD_ConnectW, dbc, d.text(), d.len16(), u.text(), u.len16(), p.text(), p.len16(),
                  MARK_W);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLen,
                                   SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLen,
                                   SQLUSMALLINT completion) {
  return CallWith(CD_DriverConnect, dbc, window, in, inLen, out, outMax, outLen, completion,
                  MARK_A);
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND window, SQLWCHAR* in, SQLSMALLINT inLen,
                                    SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLen,
                                    SQLUSMALLINT completion) {
  WideIn i(in, inLen);
  return CallWith(CD_DriverConnectW, dbc, window, i.text(), i.len16(), out, outMax, outLen,
                  completion, MARK_W);
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                                    SQLINTEGER len) {
  return CallWith(CD_SetConnectAttr, dbc, attr, value, len, MARK_A);
}
SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                                     SQLINTEGER len) {
  return CallWith(CD_SetConnectAttrW, dbc, attr, value, len, MARK_W);
}
SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                                    SQLINTEGER bufLen, SQLINTEGER* len) {
  return CallWith(CD_GetConnectAttr, dbc, attr, value, bufLen, len, MARK_A);
}
SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value,
                                     SQLINTEGER bufLen, SQLINTEGER* len) {
  return CallWith(CD_GetConnectAttrW, dbc, attr, value, bufLen, len, MARK_W);
}

SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return CallWith(CD_SetConnectOption, dbc, option, value, MARK_A);
}
SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return CallWith(CD_SetConnectOptionW, dbc, option, value, MARK_W);
}
SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return CallWith(CD_GetConnectOption, dbc, option, value, MARK_A);
}
SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLPOINTER value) {
  return CallWith(CD_GetConnectOptionW, dbc, option, value, MARK_W);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufLen,
                             SQLSMALLINT* len) {
  return CallWith(CD_GetInfo, dbc, type, value, bufLen, len, MARK_A);
}
SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufLen,
                              SQLSMALLINT* len) {
  return CallWith(CD_GetInfoW, dbc, type, value, bufLen, len, MARK_W);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT function, SQLUSMALLINT* exists) {
  return CallWith(CD_GetFunctions, dbc, function, exists);
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC dbc, SQLCHAR* in, SQLINTEGER inLen, SQLCHAR* out,
                               SQLINTEGER outMax, SQLINTEGER* outLen) {
  return CallWith(CD_NativeSql, dbc, in, inLen, out, outMax, outLen, MARK_A);
}
SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC dbc, SQLWCHAR* in, SQLINTEGER inLen, SQLWCHAR* out,
                                SQLINTEGER outMax, SQLINTEGER* outLen) {
  WideIn i(in, inLen);
  return CallWith(CD_NativeSqlW, dbc, i.text(), i.len32(), out, outMax, outLen, MARK_W);
}

}  // extern "C"
KES_EXPORT_END
