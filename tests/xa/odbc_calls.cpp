// odbc_calls.cpp -- see odbc_calls.h.

#include "odbc_calls.h"

#include <gtest/gtest.h>

std::string DiagText(SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {};
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len)))
    return "no diagnostics";
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

SQLRETURN ExecNoRows(SQLHDBC dbc, const std::string& sql) {
  SQLHSTMT st = nullptr;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  if (rc != SQL_SUCCESS) return rc;
  rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!SQL_SUCCEEDED(rc)) ADD_FAILURE() << sql << ": " << DiagText(SQL_HANDLE_STMT, st);
  (void)SQLFreeHandle(SQL_HANDLE_STMT, st);
  return rc;
}

int CountRowsOfT(SQLHDBC dbc, const std::string& where) {
  SQLHSTMT st = nullptr;
  int n = -1;
  const std::string sql = "select count(*) from t " + where;
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st) == SQL_SUCCESS &&
      SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS) == SQL_SUCCESS &&
      SQLFetch(st) == SQL_SUCCESS) {
    SQLINTEGER v = 0;
    if (SQLGetData(st, 1, SQL_C_SLONG, &v, 0, nullptr) == SQL_SUCCESS) n = v;
  }
  (void)SQLFreeHandle(SQL_HANDLE_STMT, st);
  return n;
}

void DisconnectAndFree(SQLHDBC dbc) {
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS) << DiagText(SQL_HANDLE_DBC, dbc);
  (void)SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

SQLRETURN EnlistInDtc(SQLHDBC dbc, ITransaction* tx) {
  return SQLSetConnectAttr(dbc, SQL_ATTR_ENLIST_IN_DTC, tx, SQL_IS_POINTER);
}
