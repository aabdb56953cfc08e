// api_handle.cpp -- entry points of handles, environments, disconnect,
// transactions and cancel: the same in both builds (no text).

#include "odbc/apicall.h"
#include "odbc/dispatch.h"

namespace {

// The handle resolves in its table (its record may still go before the call).
bool resolves(HandleTable* table, SQLHANDLE h) {
  return h != nullptr && HandlesInitialised() && HandleLookup(table, HandleValue(h)) != nullptr;
}

}  // namespace

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  switch (type) {
    case SQL_HANDLE_ENV: return CallWith(CD_AllocHandleEnv, output);
    case SQL_HANDLE_DBC: return CallWith(CD_AllocHandleDbc, input, output);
    case SQL_HANDLE_STMT: return CallWith(CD_AllocHandleStmt, input, output);
    case SQL_HANDLE_DESC: return CallWith(CD_AllocHandleDesc, input, output);
    default: return SQL_INVALID_HANDLE;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV: return CallWith(CD_FreeHandleEnv, handle);
    case SQL_HANDLE_DBC: return CallWith(CD_FreeHandleDbc, handle);
    case SQL_HANDLE_STMT: return CallWith(CD_FreeHandleStmt, handle);
    case SQL_HANDLE_DESC: return CallWith(CD_FreeHandleDesc, handle);
    default: return SQL_INVALID_HANDLE;
  }
}

SQLRETURN SQL_API SQLAllocEnv(SQLHENV* env) { return CallWith(CD_AllocEnv, env); }
SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC* dbc) {
  return CallWith(CD_AllocConnect, env, dbc);
}
SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* stmt) {
  return CallWith(CD_AllocStmt, dbc, stmt);
}
SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return CallWith(CD_FreeEnv, env); }
SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return CallWith(CD_FreeConnect, dbc); }
SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  return CallWith(CD_FreeStmt, stmt, option);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
  return CallWith(CD_SetEnvAttr, env, attr, value, len);
}
SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen,
                                SQLINTEGER* len) {
  return CallWith(CD_GetEnvAttr, env, attr, value, bufLen, len);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) { return CallWith(CD_Disconnect, dbc); }
SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt) { return CallWith(CD_CloseCursor, stmt); }
SQLRETURN SQL_API SQLCancel(SQLHSTMT stmt) { return CancelStatement(HandleValue(stmt)); }

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  switch (type) {
    case SQL_HANDLE_ENV:
      if (!resolves(&EnvHandles, handle)) return SQL_INVALID_HANDLE;
      return CallWith(CD_TransactEnv, handle, completion);
    case SQL_HANDLE_DBC:
      if (!resolves(&DbcHandles, handle)) return SQL_INVALID_HANDLE;
      return CallWith(CD_TransactDbc, handle, completion);
    default: return SQL_SUCCESS;
  }
}

SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  if (resolves(&DbcHandles, dbc)) return CallWith(CD_TransactDbc, dbc, completion);
  return CallWith(CD_TransactEnv, env, completion);
}

}  // extern "C"
KES_EXPORT_END
