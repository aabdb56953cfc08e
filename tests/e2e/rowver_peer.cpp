// rowver_peer.cpp -- another process with a dynamic cursor under row-version
// concurrency, for the tests of row versions kept by several processes.
// Usage: rowver_peer <connection string> <table>. Reads commands, one a line,
// on standard input and answers each with one line on standard output:
//   open   runs "SELECT id, v, name FROM <table> ORDER BY id" on a dynamic
//          cursor with a rowset of 3 -> "ok"
//   fetch  reads the first rowset again -> the row statuses ("0 2 0")
//   quit   frees everything and ends -> "bye"
// A failure answers "error" and the diagnostics on the same line.

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

std::string Diags(SQLSMALLINT type, SQLHANDLE h) {
  std::string out;
  for (SQLSMALLINT rec = 1;; ++rec) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512] = {};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, rec, state, &native, text, sizeof text, &len))) break;
    out += std::string(" ") + reinterpret_cast<char*>(state) + " " + reinterpret_cast<char*>(text);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)argv[1], SQL_NTS, nullptr, 0, nullptr,
                                      SQL_DRIVER_NOPROMPT))) {
    std::cout << "error" << Diags(SQL_HANDLE_DBC, dbc) << std::endl;
    return 1;
  }
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLUSMALLINT status[3] = {};
  SQLINTEGER id[3] = {};
  SQLLEN idInd[3] = {};
  std::string command;
  while (std::getline(std::cin, command)) {
    if (command == "open") {
      SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_DYNAMIC, 0);
      SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_ROWVER, 0);
      SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
      SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0);
      const std::string sql = std::string("SELECT id, v, name FROM ") + argv[2] + " ORDER BY id";
      if (SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS) != SQL_SUCCESS) {
        std::cout << "error" << Diags(SQL_HANDLE_STMT, stmt) << std::endl;
        continue;
      }
      SQLBindCol(stmt, 1, SQL_C_SLONG, id, 0, idInd);
      std::cout << "ok" << std::endl;
    } else if (command == "fetch") {
      if (!SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0))) {
        std::cout << "error" << Diags(SQL_HANDLE_STMT, stmt) << std::endl;
        continue;
      }
      std::cout << status[0] << " " << status[1] << " " << status[2] << std::endl;
    } else if (command == "quit") {
      break;
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::cout << "bye" << std::endl;
  return 0;
}
