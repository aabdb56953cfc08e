// capabilities_e2e_test.cpp -- what the driver claims, through the Driver
// Manager in each build, is what it does: every function SQLGetFunctions
// claims answers something other than "not capable", and every cursor type,
// concurrency, cursor attribute, positioned operation, lock type, batch kind
// and GetData extension SQLGetInfo claims is exercised once and works as
// claimed, without being silently exchanged for another. The claims are read
// first and only what is claimed is exercised, so a claim added later is
// checked as soon as it is made.

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

bool NotCapable(const std::string& state) { return state == "HYC00" || state == "IM001"; }

// The first diagnostic of a failed call ("" when it did not fail).
std::string Failed(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h) {
  if (rc != SQL_ERROR) return "";
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[512] = {};
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len)))
    return "?????";
  return reinterpret_cast<char*>(state);
}

class DmCapabilities : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    table_ = std::string("cap_rows_") + GetParam().name;
    ASSERT_TRUE(Recreate(table_, "id INTEGER PRIMARY KEY, name VARCHAR(20)"));
    Refill();
  }
  void TearDown() override {
    for (SQLHSTMT s : opened_) SQLFreeHandle(SQL_HANDLE_STMT, s);
    if (other_ != nullptr) {
      SQLDisconnect(other_);
      SQLFreeHandle(SQL_HANDLE_DBC, other_);
    }
    DbTest::TearDown();
  }
  void Refill() {
    ASSERT_TRUE(Exec("DELETE FROM " + table_));
    for (int i = 1; i <= 6; ++i)
      ASSERT_TRUE(Exec("INSERT INTO " + table_ + " VALUES (" + std::to_string(i) + ", 'n" +
                       std::to_string(i) + "')"));
  }
  SQLUINTEGER Info(SQLUSMALLINT item) {
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQLGetInfo(dbc_, item, &v, sizeof v, nullptr), SQL_SUCCESS) << item;
    return v;
  }
  SQLHSTMT NewStmt(SQLHDBC dbc = nullptr) {
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc != nullptr ? dbc : dbc_, &s), SQL_SUCCESS);
    opened_.push_back(s);
    return s;
  }
  // Runs a statement on a connection of its own (another session).
  void OtherExec(const std::string& sql) {
    if (other_ == nullptr) {
      SQLAllocHandle(SQL_HANDLE_DBC, env_, &other_);
      const std::string in =
          std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
      ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(other_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    }
    SQLHSTMT s = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, other_, &s);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS))) << sql;
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
  // The table's rows as "id:name;..." read by another statement.
  std::string Table() {
    SQLHSTMT s = NewStmt();
    std::string out;
    const std::string sql = "SELECT id, name FROM " + table_ + " ORDER BY id";
    if (SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS))) {
      while (SQL_SUCCEEDED(SQLFetch(s))) {
        SQLINTEGER id = 0;
        char name[24] = {};
        SQLLEN len = 0;
        SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr);
        SQLGetData(s, 2, SQL_C_CHAR, name, sizeof name, &len);
        out += (out.empty() ? "" : ";") + std::to_string(id) + ":" + name;
      }
    }
    SQLFreeStmt(s, SQL_CLOSE);
    return out;
  }

  std::string table_;
  SQLHDBC other_ = nullptr;
  std::vector<SQLHSTMT> opened_;
};

// Every function SQLGetFunctions claims is called once as an application
// would call it; none answers that the driver cannot do it.
TEST_P(DmCapabilities, EveryClaimedFunctionAnswers) {
  SQLUSMALLINT claimed[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_ODBC3_ALL_FUNCTIONS, claimed), SQL_SUCCESS);
  const std::string select = "SELECT id, name FROM " + table_ + " ORDER BY id";
  const std::string insert = "INSERT INTO " + table_ + " VALUES (?, ?)";
  const std::string in = std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edata@kes_e2e_data";
  SQLINTEGER id = 0;
  SQLLEN idLen = 0;
  char text[64] = {};
  SQLSMALLINT textLen = 0;
  SQLLEN len = 0;
  SQLUINTEGER u = 0;
  // A statement with the SELECT executed and its first row fetched.
  auto fetched = [&] {
    SQLHSTMT s = NewStmt();
    EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(s), SQL_SUCCESS);
    return s;
  };
  auto prepared = [&](const std::string& sql) {
    SQLHSTMT s = NewStmt();
    EXPECT_EQ(SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
    return s;
  };
  using Answer = std::string;  // the failure's state, "" when the call did not fail
  auto onStmt = [](SQLHSTMT s, SQLRETURN rc) { return Failed(rc, SQL_HANDLE_STMT, s); };
  auto onDbc = [](SQLHDBC d, SQLRETURN rc) { return Failed(rc, SQL_HANDLE_DBC, d); };
  auto newDbc = [&] {
    SQLHDBC d = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &d), SQL_SUCCESS);
    return d;
  };
  auto catalog = [&](std::function<SQLRETURN(SQLHSTMT)> call) {
    SQLHSTMT s = NewStmt();
    return onStmt(s, call(s));
  };
  const SQLCHAR* tbl = (const SQLCHAR*)table_.c_str();
  const auto dataAtExecution = [&] {
    // A value sent at execution: ParamData names it, PutData sends it.
    SQLHSTMT s = prepared(insert);
    id = 100 + static_cast<SQLINTEGER>(opened_.size());  // a new row each time
    idLen = 0;
    SQLLEN atExec = SQL_DATA_AT_EXEC;
    SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &idLen);
    SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, (SQLPOINTER)2, 0,
                     &atExec);
    EXPECT_EQ(SQLExecute(s), SQL_NEED_DATA);
    SQLPOINTER token = nullptr;
    SQLRETURN rc = SQLParamData(s, &token);
    if (rc != SQL_NEED_DATA) return onStmt(s, rc);
    rc = SQLPutData(s, (SQLPOINTER) "late", SQL_NTS);
    if (rc != SQL_SUCCESS) return onStmt(s, rc);
    return onStmt(s, SQLParamData(s, &token));
  };
  const std::map<SQLUSMALLINT, std::function<Answer()>> calls = {
      {SQL_API_SQLALLOCCONNECT,
       [&] {
         SQLHDBC d = nullptr;
         const SQLRETURN rc = SQLAllocConnect(env_, &d);
         if (d != nullptr) SQLFreeConnect(d);
         return Failed(rc, SQL_HANDLE_ENV, env_);
       }},
      {SQL_API_SQLALLOCENV,
       [&] {
         SQLHENV e = nullptr;
         const SQLRETURN rc = SQLAllocEnv(&e);
         if (e != nullptr) SQLFreeEnv(e);
         return rc == SQL_SUCCESS ? Answer() : Answer("alloc");
       }},
      {SQL_API_SQLALLOCSTMT,
       [&] {
         SQLHSTMT s = nullptr;
         const SQLRETURN rc = SQLAllocStmt(dbc_, &s);
         if (s != nullptr) SQLFreeStmt(s, SQL_DROP);
         return onDbc(dbc_, rc);
       }},
      {SQL_API_SQLBINDCOL,
       [&] {
         SQLHSTMT s = prepared(select);
         return onStmt(s, SQLBindCol(s, 1, SQL_C_SLONG, &id, 0, &idLen));
       }},
      {SQL_API_SQLCANCEL,
       [&] {
         SQLHSTMT s = fetched();
         return onStmt(s, SQLCancel(s));
       }},
      {SQL_API_SQLCOLATTRIBUTE,
       [&] {
         SQLHSTMT s = prepared(select);
         return onStmt(s,
                       SQLColAttribute(s, 1, SQL_DESC_NAME, text, sizeof text, &textLen, nullptr));
       }},
      {SQL_API_SQLCONNECT,
       [&] {
         SQLHDBC d = newDbc();
         const SQLRETURN rc = SQLConnect(d, (SQLCHAR*)GetParam().dsn, SQL_NTS, (SQLCHAR*)"u",
                                         SQL_NTS, (SQLCHAR*)"p", SQL_NTS);
         const Answer a = onDbc(d, rc);
         if (SQL_SUCCEEDED(rc)) SQLDisconnect(d);
         SQLFreeHandle(SQL_HANDLE_DBC, d);
         return a;
       }},
      {SQL_API_SQLDESCRIBECOL,
       [&] {
         SQLHSTMT s = prepared(select);
         SQLSMALLINT type = 0, digits = 0, nullable = 0;
         SQLULEN size = 0;
         return onStmt(s, SQLDescribeCol(s, 2, (SQLCHAR*)text, sizeof text, &textLen, &type, &size,
                                         &digits, &nullable));
       }},
      {SQL_API_SQLDISCONNECT,
       [&] {
         SQLHDBC d = newDbc();
         EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(d, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                    nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
         const Answer a = onDbc(d, SQLDisconnect(d));
         SQLFreeHandle(SQL_HANDLE_DBC, d);
         return a;
       }},
      {SQL_API_SQLERROR,
       [&] {
         SQLHSTMT s = NewStmt();
         (void)SQLExecDirect(s, (SQLCHAR*)"SELECT nothing FROM nowhere", SQL_NTS);
         SQLCHAR state[6] = {};
         SQLINTEGER native = 0;
         const SQLRETURN rc =
             SQLError(env_, dbc_, s, state, &native, (SQLCHAR*)text, sizeof text, &textLen);
         return rc == SQL_SUCCESS && state[0] != 0 ? Answer() : Answer("no record");
       }},
      {SQL_API_SQLEXECDIRECT,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS));
       }},
      {SQL_API_SQLEXECUTE,
       [&] {
         SQLHSTMT s = prepared(select);
         return onStmt(s, SQLExecute(s));
       }},
      {SQL_API_SQLFETCH,
       [&] {
         SQLHSTMT s = NewStmt();
         EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
         return onStmt(s, SQLFetch(s));
       }},
      {SQL_API_SQLFREECONNECT,
       [&] { return SQLFreeConnect(newDbc()) == SQL_SUCCESS ? Answer() : Answer("free"); }},
      {SQL_API_SQLFREEENV,
       [&] {
         SQLHENV e = nullptr;
         SQLAllocEnv(&e);
         return SQLFreeEnv(e) == SQL_SUCCESS ? Answer() : Answer("free");
       }},
      {SQL_API_SQLFREESTMT,
       [&] {
         SQLHSTMT s = fetched();
         return onStmt(s, SQLFreeStmt(s, SQL_CLOSE));
       }},
      {SQL_API_SQLGETCURSORNAME,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLGetCursorName(s, (SQLCHAR*)text, sizeof text, &textLen));
       }},
      {SQL_API_SQLNUMRESULTCOLS,
       [&] {
         SQLHSTMT s = prepared(select);
         SQLSMALLINT n = 0;
         return onStmt(s, SQLNumResultCols(s, &n));
       }},
      {SQL_API_SQLPREPARE,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLPrepare(s, (SQLCHAR*)select.c_str(), SQL_NTS));
       }},
      {SQL_API_SQLROWCOUNT,
       [&] {
         SQLHSTMT s = fetched();
         SQLLEN n = 0;
         return onStmt(s, SQLRowCount(s, &n));
       }},
      {SQL_API_SQLSETCURSORNAME,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLSetCursorName(s, (SQLCHAR*)"cap_cursor", SQL_NTS));
       }},
      {SQL_API_SQLSETPARAM,
       [&] {
         SQLHSTMT s = prepared(insert);
         return onStmt(s, SQLSetParam(s, 1, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, &idLen));
       }},
      {SQL_API_SQLTRANSACT, [&] { return onDbc(dbc_, SQLTransact(env_, dbc_, SQL_COMMIT)); }},
      {SQL_API_SQLBULKOPERATIONS,
       [&] {
         // A row fetched by its bookmark: the one operation a read-only
         // static cursor takes.
         SQLHSTMT s = NewStmt();
         SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0);
         SQLSetStmtAttr(s, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0);
         EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
         int64_t mark = 0;
         SQLBindCol(s, 0, SQL_C_VARBOOKMARK, &mark, sizeof mark, nullptr);
         EXPECT_EQ(SQLFetchScroll(s, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
         mark = 1;
         return onStmt(s, SQLBulkOperations(s, SQL_FETCH_BY_BOOKMARK));
       }},
      {SQL_API_SQLCOLUMNS,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS, nullptr, 0);
         });
       }},
      {SQL_API_SQLDRIVERCONNECT,
       [&] {
         SQLHDBC d = newDbc();
         const SQLRETURN rc = SQLDriverConnect(d, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr,
                                               0, nullptr, SQL_DRIVER_NOPROMPT);
         const Answer a = onDbc(d, rc);
         if (SQL_SUCCEEDED(rc)) SQLDisconnect(d);
         SQLFreeHandle(SQL_HANDLE_DBC, d);
         return a;
       }},
      {SQL_API_SQLGETCONNECTOPTION,
       [&] { return onDbc(dbc_, SQLGetConnectOption(dbc_, SQL_AUTOCOMMIT, &u)); }},
      {SQL_API_SQLGETDATA,
       [&] {
         SQLHSTMT s = fetched();
         return onStmt(s, SQLGetData(s, 2, SQL_C_CHAR, text, sizeof text, &len));
       }},
      {SQL_API_SQLGETFUNCTIONS,
       [&] {
         SQLUSMALLINT there = 0;
         return onDbc(dbc_, SQLGetFunctions(dbc_, SQL_API_SQLPREPARE, &there));
       }},
      {SQL_API_SQLGETINFO,
       [&] { return onDbc(dbc_, SQLGetInfo(dbc_, SQL_DBMS_NAME, text, sizeof text, &textLen)); }},
      {SQL_API_SQLGETSTMTOPTION,
       [&] {
         SQLHSTMT s = NewStmt();
         SQLULEN v = 0;
         return onStmt(s, SQLGetStmtOption(s, SQL_ROWSET_SIZE, &v));
       }},
      {SQL_API_SQLGETTYPEINFO,
       [&] { return catalog([](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_ALL_TYPES); }); }},
      {SQL_API_SQLPARAMDATA, [&] { return dataAtExecution(); }},
      {SQL_API_SQLPUTDATA, [&] { return dataAtExecution(); }},
      {SQL_API_SQLDATASOURCES,
       [&] {
         SQLSMALLINT l1 = 0, l2 = 0;
         SQLCHAR desc[256] = {};
         return Failed(SQLDataSources(env_, SQL_FETCH_FIRST, (SQLCHAR*)text, sizeof text, &l1, desc,
                                      sizeof desc, &l2),
                       SQL_HANDLE_ENV, env_);
       }},
      {SQL_API_SQLDRIVERS,
       [&] {
         SQLSMALLINT l1 = 0, l2 = 0;
         SQLCHAR attrs[512] = {};
         return Failed(SQLDrivers(env_, SQL_FETCH_FIRST, (SQLCHAR*)text, sizeof text, &l1, attrs,
                                  sizeof attrs, &l2),
                       SQL_HANDLE_ENV, env_);
       }},
      {SQL_API_SQLALLOCHANDLESTD,
       [&] {
         SQLHSTMT s = nullptr;
         const SQLRETURN rc = SQLAllocHandleStd(SQL_HANDLE_STMT, dbc_, &s);
         if (s != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, s);
         return onDbc(dbc_, rc);
       }},
      {SQL_API_SQLSETSCROLLOPTIONS,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLSetScrollOptions(s, SQL_CONCUR_READ_ONLY, SQL_SCROLL_STATIC, 1));
       }},
      {SQL_API_SQLBINDPARAM,
       [&] {
         SQLHSTMT s = prepared(insert);
         return onStmt(s, SQLBindParam(s, 1, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, &idLen));
       }},
      {SQL_API_SQLSETCONNECTOPTION,
       [&] { return onDbc(dbc_, SQLSetConnectOption(dbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON)); }},
      {SQL_API_SQLSETSTMTOPTION,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLSetStmtOption(s, SQL_ROWSET_SIZE, 1));
       }},
      {SQL_API_SQLSPECIALCOLUMNS,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLSpecialColumns(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl,
                                    SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE);
         });
       }},
      {SQL_API_SQLSTATISTICS,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLStatistics(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS, SQL_INDEX_ALL,
                                SQL_QUICK);
         });
       }},
      {SQL_API_SQLTABLES,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLTables(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS, nullptr, 0);
         });
       }},
      {SQL_API_SQLCOLUMNPRIVILEGES,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLColumnPrivileges(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS, nullptr,
                                      0);
         });
       }},
      {SQL_API_SQLDESCRIBEPARAM,
       [&] {
         SQLHSTMT s = prepared(insert);
         SQLSMALLINT type = 0, digits = 0, nullable = 0;
         SQLULEN size = 0;
         return onStmt(s, SQLDescribeParam(s, 1, &type, &size, &digits, &nullable));
       }},
      {SQL_API_SQLEXTENDEDFETCH,
       [&] {
         SQLHSTMT s = NewStmt();
         SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0);
         EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
         SQLULEN rows = 0;
         SQLUSMALLINT status[1] = {};
         return onStmt(s, SQLExtendedFetch(s, SQL_FETCH_NEXT, 0, &rows, status));
       }},
      {SQL_API_SQLFOREIGNKEYS,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLForeignKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS, nullptr, 0,
                                 nullptr, 0, nullptr, 0);
         });
       }},
      {SQL_API_SQLMORERESULTS,
       [&] {
         SQLHSTMT s = fetched();
         return onStmt(s, SQLMoreResults(s));
       }},
      {SQL_API_SQLNATIVESQL,
       [&] {
         SQLINTEGER n = 0;
         return onDbc(dbc_, SQLNativeSql(dbc_, (SQLCHAR*)"SELECT {fn UCASE('a')} FROM systables",
                                         SQL_NTS, (SQLCHAR*)text, sizeof text, &n));
       }},
      {SQL_API_SQLNUMPARAMS,
       [&] {
         SQLHSTMT s = prepared(insert);
         SQLSMALLINT n = 0;
         return onStmt(s, SQLNumParams(s, &n));
       }},
      {SQL_API_SQLPARAMOPTIONS,
       [&] {
         SQLHSTMT s = prepared(insert);
         SQLULEN done = 0;
         return onStmt(s, SQLParamOptions(s, 1, &done));
       }},
      {SQL_API_SQLPRIMARYKEYS,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS);
         });
       }},
      {SQL_API_SQLPROCEDURECOLUMNS,
       [&] {
         return catalog([](SQLHSTMT s) {
           return SQLProcedureColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS,
                                      (SQLCHAR*)"%", SQL_NTS);
         });
       }},
      {SQL_API_SQLPROCEDURES,
       [&] {
         return catalog([](SQLHSTMT s) {
           return SQLProcedures(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS);
         });
       }},
      {SQL_API_SQLSETPOS,
       [&] {
         SQLHSTMT s = fetched();
         return onStmt(s, SQLSetPos(s, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
       }},
      {SQL_API_SQLTABLEPRIVILEGES,
       [&] {
         return catalog([&](SQLHSTMT s) {
           return SQLTablePrivileges(s, nullptr, 0, nullptr, 0, (SQLCHAR*)tbl, SQL_NTS);
         });
       }},
      {SQL_API_SQLBINDPARAMETER,
       [&] {
         SQLHSTMT s = prepared(insert);
         return onStmt(s, SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                           &id, 0, &idLen));
       }},
      {SQL_API_SQLALLOCHANDLE,
       [&] {
         SQLHSTMT s = nullptr;
         const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s);
         if (s != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, s);
         return onDbc(dbc_, rc);
       }},
      {SQL_API_SQLCLOSECURSOR,
       [&] {
         SQLHSTMT s = fetched();
         return onStmt(s, SQLCloseCursor(s));
       }},
      {SQL_API_SQLCOPYDESC,
       [&] {
         SQLHSTMT a = prepared(select);
         SQLBindCol(a, 1, SQL_C_SLONG, &id, 0, &idLen);
         SQLHSTMT b = NewStmt();
         SQLHDESC from = nullptr, to = nullptr;
         SQLGetStmtAttr(a, SQL_ATTR_APP_ROW_DESC, &from, 0, nullptr);
         SQLGetStmtAttr(b, SQL_ATTR_APP_ROW_DESC, &to, 0, nullptr);
         return Failed(SQLCopyDesc(from, to), SQL_HANDLE_DESC, to);
       }},
      {SQL_API_SQLENDTRAN,
       [&] { return onDbc(dbc_, SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT)); }},
      {SQL_API_SQLFREEHANDLE,
       [&] {
         SQLHSTMT s = nullptr;
         SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s);
         return SQLFreeHandle(SQL_HANDLE_STMT, s) == SQL_SUCCESS ? Answer() : Answer("free");
       }},
      {SQL_API_SQLGETCONNECTATTR,
       [&] { return onDbc(dbc_, SQLGetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &u, 0, nullptr)); }},
      {SQL_API_SQLGETDESCFIELD,
       [&] {
         SQLHSTMT s = prepared(select);
         SQLHDESC ird = nullptr;
         SQLGetStmtAttr(s, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr);
         SQLSMALLINT n = 0;
         return Failed(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &n, 0, nullptr), SQL_HANDLE_DESC,
                       ird);
       }},
      {SQL_API_SQLGETDESCREC,
       [&] {
         SQLHSTMT s = prepared(select);
         SQLHDESC ird = nullptr;
         SQLGetStmtAttr(s, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr);
         SQLSMALLINT type = 0, sub = 0, prec = 0, scale = 0, nullable = 0;
         SQLLEN length = 0;
         return Failed(SQLGetDescRec(ird, 1, (SQLCHAR*)text, sizeof text, &textLen, &type, &sub,
                                     &length, &prec, &scale, &nullable),
                       SQL_HANDLE_DESC, ird);
       }},
      {SQL_API_SQLGETDIAGFIELD,
       [&] {
         SQLHSTMT s = NewStmt();
         (void)SQLExecDirect(s, (SQLCHAR*)"SELECT nothing FROM nowhere", SQL_NTS);
         SQLINTEGER n = 0;
         return SQL_SUCCEEDED(
                    SQLGetDiagField(SQL_HANDLE_STMT, s, 0, SQL_DIAG_NUMBER, &n, 0, nullptr))
                    ? Answer()
                    : Answer("diag");
       }},
      {SQL_API_SQLGETDIAGREC,
       [&] {
         SQLHSTMT s = NewStmt();
         (void)SQLExecDirect(s, (SQLCHAR*)"SELECT nothing FROM nowhere", SQL_NTS);
         return Failed(SQL_ERROR, SQL_HANDLE_STMT, s) == "?????" ? Answer("diag") : Answer();
       }},
      {SQL_API_SQLGETENVATTR,
       [&] {
         SQLINTEGER v = 0;
         return Failed(SQLGetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr), SQL_HANDLE_ENV,
                       env_);
       }},
      {SQL_API_SQLGETSTMTATTR,
       [&] {
         SQLHSTMT s = NewStmt();
         SQLULEN v = 0;
         return onStmt(s, SQLGetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, &v, 0, nullptr));
       }},
      {SQL_API_SQLSETCONNECTATTR,
       [&] {
         return onDbc(
             dbc_, SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0));
       }},
      {SQL_API_SQLSETDESCFIELD,
       [&] {
         SQLHSTMT s = prepared(select);
         SQLHDESC ard = nullptr;
         SQLGetStmtAttr(s, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
         return Failed(SQLSetDescField(ard, 1, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_SLONG, 0),
                       SQL_HANDLE_DESC, ard);
       }},
      {SQL_API_SQLSETDESCREC,
       [&] {
         SQLHSTMT s = prepared(select);
         SQLHDESC ard = nullptr;
         SQLGetStmtAttr(s, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
         return Failed(SQLSetDescRec(ard, 1, SQL_C_SLONG, 0, 4, 0, 0, &id, &idLen, &idLen),
                       SQL_HANDLE_DESC, ard);
       }},
      {SQL_API_SQLSETENVATTR,
       [&] {
         return Failed(SQLSetEnvAttr(env_, SQL_ATTR_OUTPUT_NTS, (SQLPOINTER)SQL_TRUE, 0),
                       SQL_HANDLE_ENV, env_);
       }},
      {SQL_API_SQLSETSTMTATTR,
       [&] {
         SQLHSTMT s = NewStmt();
         return onStmt(s, SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0));
       }},
      {SQL_API_SQLFETCHSCROLL,
       [&] {
         SQLHSTMT s = NewStmt();
         EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
         return onStmt(s, SQLFetchScroll(s, SQL_FETCH_NEXT, 0));
       }},
  };
  ASSERT_TRUE(SQL_FUNC_EXISTS(claimed, SQL_API_SQLPREPARE));
  for (SQLUSMALLINT f = 1; f < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++f) {
    if (!SQL_FUNC_EXISTS(claimed, f)) continue;
    SCOPED_TRACE("function " + std::to_string(f));
    const auto call = calls.find(f);
    if (call == calls.end()) {
      ADD_FAILURE() << "claimed but not exercised here";
      continue;
    }
    const Answer a = call->second();
    EXPECT_FALSE(NotCapable(a)) << a;
  }
}

// A cursor type as SQLGetInfo names it: its scroll option, the attribute
// values that make it and the items that describe it.
struct Kind {
  const char* name;
  SQLUINTEGER option;  // SQL_SO_*
  SQLULEN type;
  SQLULEN keysetSize;
  SQLUSMALLINT attributes1, attributes2;
};
constexpr Kind kKinds[] = {
    {"forward-only", SQL_SO_FORWARD_ONLY, SQL_CURSOR_FORWARD_ONLY, 0,
     SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2},
    {"static", SQL_SO_STATIC, SQL_CURSOR_STATIC, 0, SQL_STATIC_CURSOR_ATTRIBUTES1,
     SQL_STATIC_CURSOR_ATTRIBUTES2},
    {"keyset-driven", SQL_SO_KEYSET_DRIVEN, SQL_CURSOR_KEYSET_DRIVEN, 0,
     SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2},
    {"dynamic", SQL_SO_DYNAMIC, SQL_CURSOR_DYNAMIC, 0, SQL_DYNAMIC_CURSOR_ATTRIBUTES1,
     SQL_DYNAMIC_CURSOR_ATTRIBUTES2},
    // A keyset-driven cursor with a keyset smaller than the result. No item
    // describes it apart (the keyset-driven items describe the pure type,
    // whose bookmarks and bulk operations it has not): it is opened and read.
    {"mixed", SQL_SO_MIXED, SQL_CURSOR_KEYSET_DRIVEN, 3, 0, 0},
};
constexpr SQLUINTEGER kConcurrencyBits[] = {SQL_CA2_READ_ONLY_CONCURRENCY, SQL_CA2_LOCK_CONCURRENCY,
                                            SQL_CA2_OPT_ROWVER_CONCURRENCY,
                                            SQL_CA2_OPT_VALUES_CONCURRENCY};
SQLULEN ConcurrencyOf(SQLUINTEGER bit) {
  switch (bit) {
    case SQL_CA2_LOCK_CONCURRENCY: return SQL_CONCUR_LOCK;
    case SQL_CA2_OPT_ROWVER_CONCURRENCY: return SQL_CONCUR_ROWVER;
    case SQL_CA2_OPT_VALUES_CONCURRENCY: return SQL_CONCUR_VALUES;
    default: return SQL_CONCUR_READ_ONLY;
  }
}

// A cursor of one kind over the table's rows in id order, rowsets of 2, with
// id, name and the bookmark bound.
struct Cursor {
  Cursor() = default;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  // Closed with its statement: an open cursor may hold rows another
  // statement of the test wants to change.
  ~Cursor() {
    if (s != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
  SQLHSTMT s = nullptr;
  SQLINTEGER id[2] = {};
  SQLLEN idInd[2] = {}, nameInd[2] = {};
  char name[2][24] = {};
  int64_t mark[2] = {};
  SQLUSMALLINT status[2] = {};
  std::vector<SQLINTEGER> Ids() const { return {id[0], id[1]}; }
  SQLRETURN Fetch(SQLSMALLINT orientation, SQLLEN offset = 0) {
    return SQLFetchScroll(s, orientation, offset);
  }
  // Row k (0-based) gets a new name; its id is left out of the change.
  void Rename(int k, const char* text) {
    std::snprintf(name[k], sizeof name[k], "%s", text);
    nameInd[k] = SQL_NTS;
    idInd[k] = SQL_COLUMN_IGNORE;
  }
};

class DmClaims : public DmCapabilities {
 protected:
  // Opens a cursor of the kind under the concurrency; every attribute is
  // taken as asked (no SQL_SUCCESS_WITH_INFO, 01S02) and stays so once the
  // statement runs.
  ::testing::AssertionResult Open(const Kind& k, SQLULEN concurrency, Cursor* c,
                                  const std::string& sql = "") {
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &c->s), SQL_SUCCESS);
    // Bookmarks where the type claims them.
    const bool bookmarks =
        k.attributes1 != 0 &&
        (Info(k.attributes1) &
         (SQL_CA1_BOOKMARK | SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK |
          SQL_CA1_BULK_FETCH_BY_BOOKMARK)) != 0;
    struct Attr {
      SQLINTEGER attr;
      SQLULEN value;
    };
    std::vector<Attr> attrs = {{SQL_ATTR_CURSOR_TYPE, k.type}, {SQL_ATTR_CONCURRENCY, concurrency}};
    if (k.keysetSize > 0) attrs.push_back({SQL_ATTR_KEYSET_SIZE, k.keysetSize});
    if (bookmarks) attrs.push_back({SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE});
    for (const Attr& a : attrs) {
      const SQLRETURN rc = SQLSetStmtAttr(c->s, a.attr, (SQLPOINTER)a.value, 0);
      if (rc != SQL_SUCCESS)
        return ::testing::AssertionFailure()
               << k.name << ": attribute " << a.attr << " = " << a.value << " answered " << rc
               << " " << Diags(SQL_HANDLE_STMT, c->s);
    }
    SQLSetStmtAttr(c->s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0);
    SQLSetStmtAttr(c->s, SQL_ATTR_ROW_STATUS_PTR, c->status, 0);
    SQLBindCol(c->s, 1, SQL_C_SLONG, c->id, 0, c->idInd);
    SQLBindCol(c->s, 2, SQL_C_CHAR, c->name, sizeof c->name[0], c->nameInd);
    if (bookmarks) SQLBindCol(c->s, 0, SQL_C_VARBOOKMARK, c->mark, sizeof c->mark[0], nullptr);
    const std::string text = sql.empty() ? "SELECT id, name FROM " + table_ + " ORDER BY id" : sql;
    const SQLRETURN rc = SQLExecDirect(c->s, (SQLCHAR*)text.c_str(), SQL_NTS);
    if (rc != SQL_SUCCESS)
      return ::testing::AssertionFailure()
             << k.name << ": " << text << " answered " << rc << " " << Diags(SQL_HANDLE_STMT, c->s);
    for (const Attr& a : attrs) {
      SQLULEN v = 0;
      SQLGetStmtAttr(c->s, a.attr, &v, 0, nullptr);
      if (v != a.value)
        return ::testing::AssertionFailure()
               << k.name << ": attribute " << a.attr << " became " << v << " for " << a.value;
    }
    return ::testing::AssertionSuccess();
  }
  // The concurrency a kind changes rows under: the first it claims other
  // than read-only.
  static SQLULEN Writable(SQLUINTEGER attributes2) {
    for (SQLUINTEGER bit : kConcurrencyBits)
      if (bit != SQL_CA2_READ_ONLY_CONCURRENCY && (attributes2 & bit) != 0)
        return ConcurrencyOf(bit);
    return SQL_CONCUR_READ_ONLY;
  }
  std::string State(SQLHSTMT s) { return Diags(SQL_HANDLE_STMT, s); }
};

// Every cursor type SQL_SCROLL_OPTIONS claims opens under every concurrency
// its attributes claim, as asked, and reads rows; every concurrency
// SQL_SCROLL_CONCURRENCY claims is one some claimed type takes; a type not
// claimed claims no attributes.
TEST_P(DmClaims, CursorTypesAndConcurrencies) {
  const SQLUINTEGER options = Info(SQL_SCROLL_OPTIONS);
  const SQLUINTEGER concurrency = Info(SQL_SCROLL_CONCURRENCY);
  SQLUINTEGER offered = 0;
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.name);
    if ((options & k.option) == 0) {
      if (k.option != SQL_SO_MIXED) {
        EXPECT_EQ(Info(k.attributes1), 0u) << "a type not claimed";
      }
      continue;
    }
    const SQLUINTEGER a2 = k.attributes2 != 0 ? Info(k.attributes2) : SQL_CA2_READ_ONLY_CONCURRENCY;
    EXPECT_NE(a2 & SQL_CA2_READ_ONLY_CONCURRENCY, 0u) << "every type reads";
    for (SQLUINTEGER bit : kConcurrencyBits) {
      if ((a2 & bit) == 0) continue;
      SCOPED_TRACE("concurrency " + std::to_string(ConcurrencyOf(bit)));
      if (k.type != SQL_CURSOR_FORWARD_ONLY) offered |= bit;
      Cursor c;
      if (const auto opened = Open(k, ConcurrencyOf(bit), &c); !opened) {
        ADD_FAILURE() << opened.message();
        continue;
      }
      EXPECT_EQ(c.Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State(c.s);
      EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{1, 2}));
    }
  }
  // SQL_SCCO_* and SQL_CA2_*_CONCURRENCY share their bits.
  EXPECT_EQ(concurrency & ~offered, 0u) << "claimed by no scrollable type";
}

// Every SQL_CA1_* bit a claimed cursor type claims, exercised on a fresh
// table under the concurrency the type changes rows with.
TEST_P(DmClaims, CursorAttributes1) {
  const SQLUINTEGER options = Info(SQL_SCROLL_OPTIONS);
  const SQLUINTEGER locks = Info(SQL_LOCK_TYPES);
  const SQLUINTEGER posOps = Info(SQL_POS_OPERATIONS);
  SQLUINTEGER lockBits = 0, posBits = 0;
  for (const Kind& k : kKinds) {
    if ((options & k.option) == 0 || k.attributes1 == 0) continue;
    const SQLUINTEGER a1 = Info(k.attributes1);
    const SQLULEN writable = Writable(Info(k.attributes2));
    lockBits |= a1 & (SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_LOCK_EXCLUSIVE | SQL_CA1_LOCK_UNLOCK);
    posBits |=
        a1 & (SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE);
    for (SQLUINTEGER bit = 1; bit != 0 && bit <= SQL_CA1_BULK_FETCH_BY_BOOKMARK; bit <<= 1) {
      if ((a1 & bit) == 0) continue;
      SCOPED_TRACE(std::string(k.name) + ", attribute bit " + std::to_string(bit));
      Refill();
      Cursor c;
      const bool changes = (bit & (SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_BULK_ADD |
                                   SQL_CA1_BULK_UPDATE_BY_BOOKMARK |
                                   SQL_CA1_BULK_DELETE_BY_BOOKMARK | SQL_CA1_POSITIONED_UPDATE |
                                   SQL_CA1_POSITIONED_DELETE | SQL_CA1_SELECT_FOR_UPDATE)) != 0;
      if (changes && writable == SQL_CONCUR_READ_ONLY) {
        ADD_FAILURE() << "changes rows, but no concurrency it claims allows changes";
        continue;
      }
      const std::string forUpdate = "SELECT id, name FROM " + table_ + " ORDER BY id FOR UPDATE";
      if (const auto opened = Open(k, changes ? writable : SQL_CONCUR_READ_ONLY, &c,
                                   bit == SQL_CA1_SELECT_FOR_UPDATE ? forUpdate : "");
          !opened) {
        ADD_FAILURE() << opened.message();
        continue;
      }
      if (c.Fetch(SQL_FETCH_NEXT) != SQL_SUCCESS) {
        ADD_FAILURE() << "first rowset: " << State(c.s);
        continue;
      }
      switch (bit) {
        case SQL_CA1_NEXT:
          ASSERT_EQ(c.Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{3, 4}));
          break;
        case SQL_CA1_ABSOLUTE:
          ASSERT_EQ(c.Fetch(SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{3, 4}));
          ASSERT_EQ(c.Fetch(SQL_FETCH_LAST), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{5, 6}));
          ASSERT_EQ(c.Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{1, 2}));
          break;
        case SQL_CA1_RELATIVE:
          ASSERT_EQ(c.Fetch(SQL_FETCH_RELATIVE, 2), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{3, 4}));
          ASSERT_EQ(c.Fetch(SQL_FETCH_PRIOR), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{1, 2}));
          break;
        case SQL_CA1_BOOKMARK: {
          ASSERT_EQ(c.Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State(c.s);
          SQLLEN mark = static_cast<SQLLEN>(c.mark[1]);  // the bookmark of id 4
          ASSERT_EQ(SQLSetStmtAttr(c.s, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0), SQL_SUCCESS);
          ASSERT_EQ(c.Fetch(SQL_FETCH_BOOKMARK, 0), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.id[0], 4);
          break;
        }
        case SQL_CA1_LOCK_NO_CHANGE:
        case SQL_CA1_LOCK_EXCLUSIVE:
        case SQL_CA1_LOCK_UNLOCK: {
          const SQLUSMALLINT lock = bit == SQL_CA1_LOCK_NO_CHANGE   ? SQL_LOCK_NO_CHANGE
                                    : bit == SQL_CA1_LOCK_EXCLUSIVE ? SQL_LOCK_EXCLUSIVE
                                                                    : SQL_LOCK_UNLOCK;
          EXPECT_EQ(SQLSetPos(c.s, 1, SQL_POSITION, lock), SQL_SUCCESS) << State(c.s);
          break;
        }
        case SQL_CA1_POS_POSITION:
          EXPECT_EQ(SQLSetPos(c.s, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State(c.s);
          break;
        case SQL_CA1_POS_REFRESH:
          OtherExec("UPDATE " + table_ + " SET name = 'theirs' WHERE id = 2");
          EXPECT_EQ(SQLSetPos(c.s, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State(c.s);
          if ((Info(k.attributes2) & SQL_CA2_SENSITIVITY_UPDATES) != 0) {
            EXPECT_EQ(std::string(c.name[1]), "theirs");
          }
          break;
        case SQL_CA1_POS_UPDATE:
          c.Rename(1, "mine");
          EXPECT_EQ(SQLSetPos(c.s, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(Table(), "1:n1;2:mine;3:n3;4:n4;5:n5;6:n6");
          break;
        case SQL_CA1_POS_DELETE:
          EXPECT_EQ(SQLSetPos(c.s, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(Table(), "2:n2;3:n3;4:n4;5:n5;6:n6");
          break;
        case SQL_CA1_POSITIONED_UPDATE:
        case SQL_CA1_POSITIONED_DELETE: {
          ASSERT_EQ(SQLSetPos(c.s, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
          char cursor[64] = {};
          SQLSMALLINT len = 0;
          ASSERT_EQ(SQLGetCursorName(c.s, (SQLCHAR*)cursor, sizeof cursor, &len), SQL_SUCCESS);
          const std::string sql =
              (bit == SQL_CA1_POSITIONED_UPDATE ? "UPDATE " + table_ + " SET name = 'pos'"
                                                : "DELETE FROM " + table_) +
              " WHERE CURRENT OF " + cursor;
          SQLHSTMT other = NewStmt();
          EXPECT_EQ(SQLExecDirect(other, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
              << Diags(SQL_HANDLE_STMT, other);
          EXPECT_EQ(Table().substr(0, 6), bit == SQL_CA1_POSITIONED_UPDATE ? "1:pos;" : "2:n2;3");
          break;
        }
        case SQL_CA1_SELECT_FOR_UPDATE: EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{1, 2})); break;
        case SQL_CA1_BULK_ADD:
          for (int r = 0; r < 2; ++r) {
            c.id[r] = 100 + r;
            c.idInd[r] = sizeof(SQLINTEGER);
            std::snprintf(c.name[r], sizeof c.name[r], "a%d", r);
            c.nameInd[r] = SQL_NTS;
          }
          EXPECT_EQ(SQLBulkOperations(c.s, SQL_ADD), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(Table(), "1:n1;2:n2;3:n3;4:n4;5:n5;6:n6;100:a0;101:a1");
          break;
        case SQL_CA1_BULK_UPDATE_BY_BOOKMARK:
          c.Rename(0, "b1");
          c.Rename(1, "b2");
          EXPECT_EQ(SQLBulkOperations(c.s, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(Table(), "1:b1;2:b2;3:n3;4:n4;5:n5;6:n6");
          break;
        case SQL_CA1_BULK_DELETE_BY_BOOKMARK:
          EXPECT_EQ(SQLBulkOperations(c.s, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(Table(), "3:n3;4:n4;5:n5;6:n6");
          break;
        case SQL_CA1_BULK_FETCH_BY_BOOKMARK:
          std::swap(c.mark[0], c.mark[1]);
          EXPECT_EQ(SQLBulkOperations(c.s, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.Ids(), (std::vector<SQLINTEGER>{2, 1}));
          break;
        default: ADD_FAILURE() << "claimed, not exercised here";
      }
    }
  }
  // What the driver-wide items claim, some cursor type claims (and so was
  // exercised above).
  const std::pair<SQLUINTEGER, SQLUINTEGER> lockMap[] = {
      {SQL_LCK_NO_CHANGE, SQL_CA1_LOCK_NO_CHANGE},
      {SQL_LCK_EXCLUSIVE, SQL_CA1_LOCK_EXCLUSIVE},
      {SQL_LCK_UNLOCK, SQL_CA1_LOCK_UNLOCK}};
  for (const auto& [item, bit] : lockMap)
    if ((locks & item) != 0) {
      EXPECT_NE(lockBits & bit, 0u) << "lock type " << item;
    }
  const std::pair<SQLUINTEGER, SQLUINTEGER> posMap[] = {{SQL_POS_POSITION, SQL_CA1_POS_POSITION},
                                                        {SQL_POS_REFRESH, SQL_CA1_POS_REFRESH},
                                                        {SQL_POS_UPDATE, SQL_CA1_POS_UPDATE},
                                                        {SQL_POS_DELETE, SQL_CA1_POS_DELETE}};
  for (const auto& [item, bit] : posMap)
    if ((posOps & item) != 0) {
      EXPECT_NE(posBits & bit, 0u) << "position operation " << item;
    }
}

// Every other SQL_CA2_* bit a claimed cursor type claims: what it sees of
// another session's changes, what SQL_ATTR_MAX_ROWS limits, how exact the
// cursor's row count is and which simulated positioning it takes.
TEST_P(DmClaims, CursorAttributes2) {
  const SQLUINTEGER options = Info(SQL_SCROLL_OPTIONS);
  for (const Kind& k : kKinds) {
    if ((options & k.option) == 0 || k.attributes2 == 0) continue;
    const SQLUINTEGER a2 = Info(k.attributes2);
    for (SQLUINTEGER bit = SQL_CA2_SENSITIVITY_ADDITIONS; bit <= SQL_CA2_SIMULATE_UNIQUE;
         bit <<= 1) {
      if ((a2 & bit) == 0) continue;
      SCOPED_TRACE(std::string(k.name) + ", attribute bit " + std::to_string(bit));
      Refill();
      Cursor c;
      if (bit == SQL_CA2_MAX_ROWS_SELECT) {
        // Set before the statement runs, it limits the rows the result has.
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &c.s), SQL_SUCCESS);
        SQLSetStmtAttr(c.s, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)k.type, 0);
        if (k.keysetSize > 0)
          SQLSetStmtAttr(c.s, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)k.keysetSize, 0);
        ASSERT_EQ(SQLSetStmtAttr(c.s, SQL_ATTR_MAX_ROWS, (SQLPOINTER)3, 0), SQL_SUCCESS)
            << State(c.s);
        const std::string sql = "SELECT id FROM " + table_ + " ORDER BY id";
        ASSERT_EQ(SQLExecDirect(c.s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS) << State(c.s);
        int rows = 0;
        while (SQLFetch(c.s) == SQL_SUCCESS) ++rows;
        EXPECT_EQ(rows, 3);
        continue;
      }
      if ((bit & (SQL_CA2_MAX_ROWS_INSERT | SQL_CA2_MAX_ROWS_DELETE | SQL_CA2_MAX_ROWS_UPDATE |
                  SQL_CA2_MAX_ROWS_CATALOG)) != 0) {
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &c.s), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(c.s, SQL_ATTR_MAX_ROWS, (SQLPOINTER)1, 0), SQL_SUCCESS);
        SQLLEN count = -1;
        if (bit == SQL_CA2_MAX_ROWS_CATALOG) {
          ASSERT_TRUE(SQL_SUCCEEDED(
              SQLTables(c.s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, nullptr, 0)))
              << State(c.s);
          count = 0;
          while (SQLFetch(c.s) == SQL_SUCCESS) ++count;
        } else {
          const std::string sql =
              bit == SQL_CA2_MAX_ROWS_INSERT
                  ? "INSERT INTO " + table_ + " SELECT id + 10, name FROM " + table_
              : bit == SQL_CA2_MAX_ROWS_DELETE ? "DELETE FROM " + table_
                                               : "UPDATE " + table_ + " SET name = 'all'";
          ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(c.s, (SQLCHAR*)sql.c_str(), SQL_NTS)))
              << State(c.s);
          SQLRowCount(c.s, &count);
        }
        EXPECT_EQ(count, 1);
        continue;
      }
      if (bit >= SQL_CA2_SIMULATE_NON_UNIQUE) {
        const SQLULEN simulate = bit == SQL_CA2_SIMULATE_NON_UNIQUE   ? SQL_SC_NON_UNIQUE
                                 : bit == SQL_CA2_SIMULATE_TRY_UNIQUE ? SQL_SC_TRY_UNIQUE
                                                                      : SQL_SC_UNIQUE;
        EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &c.s), SQL_SUCCESS);
        EXPECT_EQ(SQLSetStmtAttr(c.s, SQL_ATTR_SIMULATE_CURSOR, (SQLPOINTER)simulate, 0),
                  SQL_SUCCESS)
            << State(c.s);
        SQLULEN v = 99;
        SQLGetStmtAttr(c.s, SQL_ATTR_SIMULATE_CURSOR, &v, 0, nullptr);
        EXPECT_EQ(v, simulate);
        continue;
      }
      if (const auto opened = Open(k, SQL_CONCUR_READ_ONLY, &c); !opened) {
        ADD_FAILURE() << opened.message();
        continue;
      }
      if (bit == SQL_CA2_CRC_EXACT || bit == SQL_CA2_CRC_APPROXIMATE) {
        SQLLEN count = -1;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, c.s, 0,
                                                  SQL_DIAG_CURSOR_ROW_COUNT, &count, 0, nullptr)));
        if (bit == SQL_CA2_CRC_EXACT)
          EXPECT_EQ(count, 6);
        else
          EXPECT_GE(count, 0);
        continue;
      }
      ASSERT_EQ(c.Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State(c.s);
      switch (bit) {
        case SQL_CA2_SENSITIVITY_UPDATES:
          OtherExec("UPDATE " + table_ + " SET name = 'theirs' WHERE id = 2");
          ASSERT_EQ(c.Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(std::string(c.name[1]), "theirs");
          break;
        case SQL_CA2_SENSITIVITY_DELETIONS:
          OtherExec("DELETE FROM " + table_ + " WHERE id = 2");
          ASSERT_EQ(c.Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State(c.s);
          EXPECT_TRUE(c.status[1] == SQL_ROW_DELETED || c.id[1] == 3)
              << c.status[1] << " " << c.id[1];
          break;
        case SQL_CA2_SENSITIVITY_ADDITIONS:
          OtherExec("INSERT INTO " + table_ + " VALUES (0, 'zero')");
          ASSERT_EQ(c.Fetch(SQL_FETCH_FIRST), SQL_SUCCESS) << State(c.s);
          EXPECT_EQ(c.id[0], 0);
          break;
        default: ADD_FAILURE() << "claimed, not exercised here";
      }
    }
  }
}

// SQL_BATCH_SUPPORT and SQL_GETDATA_EXTENSIONS, each claimed bit exercised.
TEST_P(DmClaims, BatchesAndGetData) {
  const SQLUINTEGER batches = Info(SQL_BATCH_SUPPORT);
  if ((batches & SQL_BS_SELECT_EXPLICIT) != 0) {
    SQLHSTMT s = NewStmt();
    const std::string sql =
        "SELECT id FROM " + table_ + " WHERE id = 1; SELECT id FROM " + table_ + " WHERE id = 2";
    ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS) << State(s);
    SQLINTEGER id = 0;
    ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
    SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr);
    EXPECT_EQ(id, 1);
    ASSERT_EQ(SQLMoreResults(s), SQL_SUCCESS) << State(s);
    ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
    SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr);
    EXPECT_EQ(id, 2);
  }
  if ((batches & SQL_BS_ROW_COUNT_EXPLICIT) != 0) {
    SQLHSTMT s = NewStmt();
    const std::string sql = "UPDATE " + table_ + " SET name = 'x' WHERE id = 1; UPDATE " + table_ +
                            " SET name = 'y' WHERE id > 4";
    ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS) << State(s);
    SQLLEN count = 0;
    SQLRowCount(s, &count);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(SQLMoreResults(s), SQL_SUCCESS) << State(s);
    SQLRowCount(s, &count);
    EXPECT_EQ(count, 2);
  }
  EXPECT_EQ(batches & (SQL_BS_SELECT_PROC | SQL_BS_ROW_COUNT_PROC), 0u)
      << "procedure batches claimed, not exercised here";

  const SQLUINTEGER getData = Info(SQL_GETDATA_EXTENSIONS);
  const std::string select = "SELECT id, name FROM " + table_ + " ORDER BY id";
  char name[24] = {};
  SQLINTEGER id = 0, bound = 0;
  SQLLEN len = 0, boundLen = 0;
  auto fetched = [&](SQLHSTMT s) {
    EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS) << State(s);
    EXPECT_EQ(SQLFetch(s), SQL_SUCCESS) << State(s);
  };
  if ((getData & SQL_GD_ANY_COLUMN) != 0) {
    // A column before the last bound one.
    SQLHSTMT s = NewStmt();
    SQLBindCol(s, 2, SQL_C_CHAR, name, sizeof name, &len);
    fetched(s);
    EXPECT_EQ(SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr), SQL_SUCCESS) << State(s);
    EXPECT_EQ(id, 1);
  }
  if ((getData & SQL_GD_ANY_ORDER) != 0) {
    SQLHSTMT s = NewStmt();
    fetched(s);
    EXPECT_EQ(SQLGetData(s, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_SUCCESS) << State(s);
    EXPECT_EQ(SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr), SQL_SUCCESS) << State(s);
    EXPECT_EQ(id, 1);
    EXPECT_STREQ(name, "n1");
  }
  if ((getData & SQL_GD_BOUND) != 0) {
    SQLHSTMT s = NewStmt();
    SQLBindCol(s, 1, SQL_C_SLONG, &bound, 0, &boundLen);
    fetched(s);
    EXPECT_EQ(SQLGetData(s, 1, SQL_C_SLONG, &id, 0, nullptr), SQL_SUCCESS) << State(s);
    EXPECT_EQ(id, 1);
  }
  if ((getData & SQL_GD_BLOCK) != 0) {
    // Each row of a block, positioned first; on every cursor type claimed.
    for (const Kind& k : kKinds) {
      if ((Info(SQL_SCROLL_OPTIONS) & k.option) == 0) continue;
      SCOPED_TRACE(k.name);
      Cursor c;
      if (const auto opened = Open(k, SQL_CONCUR_READ_ONLY, &c); !opened) {
        ADD_FAILURE() << opened.message();
        continue;
      }
      // Without SQL_GD_BOUND only a column left unbound is read so.
      if ((getData & SQL_GD_BOUND) == 0) {
        ASSERT_EQ(SQLBindCol(c.s, 2, SQL_C_CHAR, nullptr, 0, nullptr), SQL_SUCCESS);
      }
      ASSERT_EQ(c.Fetch(SQL_FETCH_NEXT), SQL_SUCCESS) << State(c.s);
      ASSERT_EQ(SQLSetPos(c.s, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << State(c.s);
      SQLCHAR second[16] = {};
      EXPECT_EQ(SQLGetData(c.s, 2, SQL_C_CHAR, second, sizeof second, nullptr), SQL_SUCCESS)
          << State(c.s);
      EXPECT_STREQ(reinterpret_cast<char*>(second), "n2");
    }
  }
  EXPECT_EQ(getData & SQL_GD_OUTPUT_PARAMS, 0u) << "claimed, not exercised here";
}

KES_E2E_BUILDS(DmCapabilities);
KES_E2E_BUILDS(DmClaims);

}  // namespace
