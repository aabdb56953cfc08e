// api_diag.cpp -- entry points of the diagnostics, in their 8-bit and wide
// forms. The workers write the texts in the form the marker names.

#include "odbc/apicall.h"

namespace {

const CallDescriptor* by_type(SQLSMALLINT type, const CallDescriptor* env,
                              const CallDescriptor* dbc, const CallDescriptor* stmt,
                              const CallDescriptor* desc) {
  switch (type) {
    case SQL_HANDLE_ENV: return env;
    case SQL_HANDLE_DBC: return dbc;
    case SQL_HANDLE_STMT: return stmt;
    case SQL_HANDLE_DESC: return desc;
    default: return nullptr;
  }
}

template <typename Ch>
SQLRETURN error(bool wide, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, Ch* state, SQLINTEGER* native,
                Ch* text, SQLSMALLINT bufLen, SQLSMALLINT* len) {
  const CallDescriptor* d;
  SQLHANDLE h;
  if (stmt != nullptr) {
    d = wide ? &CD_ErrorStmtW : &CD_ErrorStmt;
    h = stmt;
  } else if (dbc != nullptr) {
    d = wide ? &CD_ErrorDbcW : &CD_ErrorDbc;
    h = dbc;
  } else if (env != nullptr) {
    d = wide ? &CD_ErrorEnvW : &CD_ErrorEnv;
    h = env;
  } else {
    return SQL_INVALID_HANDLE;
  }
  return CallWith(*d, h, state, native, text, bufLen, len, wide ? MARK_W : MARK_A);
}

}  // namespace

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state,
                           SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT bufLen,
                           SQLSMALLINT* len) {
  return error(false, env, dbc, stmt, state, native, text, bufLen, len);
}
SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state,
                            SQLINTEGER* native, SQLWCHAR* text, SQLSMALLINT bufLen,
                            SQLSMALLINT* len) {
  return error(true, env, dbc, stmt, state, native, text, bufLen, len);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT bufLen,
                                SQLSMALLINT* len) {
  const CallDescriptor* d =
      by_type(type, &CD_GetDiagRecEnv, &CD_GetDiagRecDbc, &CD_GetDiagRecStmt, &CD_GetDiagRecDesc);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallWith(*d, handle, rec, state, native, text, bufLen, len, MARK_A);
}
SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec,
                                 SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* text,
                                 SQLSMALLINT bufLen, SQLSMALLINT* len) {
  const CallDescriptor* d = by_type(type, &CD_GetDiagRecEnvW, &CD_GetDiagRecDbcW,
                                    &CD_GetDiagRecStmtW, &CD_GetDiagRecDescW);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallWith(*d, handle, rec, state, native, text, bufLen, len, MARK_W);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec,
                                  SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT bufLen,
                                  SQLSMALLINT* len) {
  const CallDescriptor* d = by_type(type, &CD_GetDiagFieldEnv, &CD_GetDiagFieldDbc,
                                    &CD_GetDiagFieldStmt, &CD_GetDiagFieldDesc);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallWith(*d, handle, rec, id, value, bufLen, len, MARK_A);
}
SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec,
                                   SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT bufLen,
                                   SQLSMALLINT* len) {
  const CallDescriptor* d = by_type(type, &CD_GetDiagFieldEnvW, &CD_GetDiagFieldDbcW,
                                    &CD_GetDiagFieldStmtW, &CD_GetDiagFieldDescW);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallWith(*d, handle, rec, id, value, bufLen, len, MARK_W);
}

}  // extern "C"
KES_EXPORT_END
