// prepare_test.cpp -- SQLPrepare and SQLExecDirect, the cursor settings the
// back end changes at prepare, further results, NativeSql, cursor names, and
// the small statement workers.

#include <cstring>
#include <string>

#include "odbc/stmt.h"
#include "stmt_fake.h"

namespace {

class PrepareTest : public StmtTest {
 protected:
  // A back-end call whose log line starts with call and holds part.
  static bool Logged(const std::string& call, const std::string& part) {
    for (const std::string& e : Fake().Calls())
      if (e.rfind(call, 0) == 0 && e.find(part) != std::string::npos) return true;
    return false;
  }
};

TEST_F(PrepareTest, SelectIsToldByItsFirstFiveLetters) {
  Open();
  const struct {
    const char* text;
    uint32_t select;
  } cases[] = {{"select * from t", 1}, {"SELECT 1", 1},   {"selector", 1},
               {" select 1", 0},       {"(select 1)", 0}, {"update t set a = 1", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)c.text, SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(StmtOf(stmt_)->st_isSelect, c.select);
  }
}

TEST_F(PrepareTest, TextLengths) {
  Open();
  EXPECT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select 1", -1), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
  EXPECT_EQ(StmtOf(stmt_)->state, STMT_STATE_ALLOCATED);
  EXPECT_EQ(SQLExecDirect(stmt_, nullptr, SQL_NTS), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
  std::string longText = "select '" + std::string(40000 - 10, 'x') + "'";
  longText += " trailing text that is not part of the statement";
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)longText.c_str(), 40000), SQL_SUCCESS);
  EXPECT_EQ(SFake().lastPrepared.size(), 40000u);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)longText.c_str(), 40000), SQL_SUCCESS);
  EXPECT_EQ(SFake().lastPrepared.size(), 40000u);
  SQLWCHAR wide[] = {'s', 'e', 'l', 'e', 'c', 't', ' ', '2', 'x', 0};
  ASSERT_EQ(SQLPrepareW(stmt_, wide, 8), SQL_SUCCESS);
  EXPECT_EQ(SFake().lastPrepared, "select 2");
}

TEST_F(PrepareTest, ChangedCursorSettingsAreOfferedAgainAtTheNextPrepare) {
  Open();
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
            SQL_SUCCESS);
  Fake().ints[DRVP_STMT_OPTION + SQL_CURSOR_TYPE] = SQL_CURSOR_STATIC;
  EXPECT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select 1", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01S02");
  SQLULEN type = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_CURSOR_STATIC);

  Fake().ints[DRVP_STMT_OPTION + SQL_CURSOR_TYPE] = SQL_CURSOR_KEYSET_DRIVEN;
  EXPECT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select 2", SQL_NTS), SQL_SUCCESS);
  EXPECT_TRUE(Logged("SetOption", ",32030006,1"));
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_CURSOR_KEYSET_DRIVEN);
}

TEST_F(PrepareTest, ForwardOnlyReadOnlyStatementsAreNotReadBack) {
  Open();
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select 1", SQL_NTS), SQL_SUCCESS);
  EXPECT_FALSE(Logged("GetInfo", ",32030006"));
  EXPECT_FALSE(Logged("GetInfo", ",32030007"));
}

TEST_F(PrepareTest, FailedPrepareLeavesNoPreparedStatement) {
  Open();
  SFake().columns = {{"a", SQL_INTEGER, 10, 0, 11, 5, 4}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select a from t", SQL_NTS), SQL_SUCCESS);
  SFake().prepareCode = 68;
  Fake().cursorMessages = {"[Informix Server]syntax error[SQLSTATE:42000]"};
  EXPECT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"selec a frm t", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "42000");
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLNumResultCols(stmt_, &n), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
}

TEST_F(PrepareTest, ParameterDirectionsStopAtAnUnknownOne) {
  Open();
  SFake().params = {{"*I1", SQL_INTEGER},   {"*O2", SQL_INTEGER}, {"*B3", SQL_INTEGER},
                    {"plain", SQL_INTEGER}, {"*U5", SQL_INTEGER}, {"*O6", SQL_INTEGER}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"execute procedure p(?,?,?,?,?,?)", SQL_NTS), SQL_SUCCESS);
  const Stmt* s = StmtOf(stmt_);
  EXPECT_EQ(s->st_numInParams, 2);
  EXPECT_EQ(s->st_numOutParams, 1);
  EXPECT_EQ(s->st_numInOutParams, 1);
  EXPECT_EQ(s->st_paramDirUnknown, 1);
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQLNumParams(stmt_, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 6);
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQLDescribeParam(stmt_, 2, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_INTEGER);
  EXPECT_EQ(SQLDescribeParam(stmt_, 7, &type, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "07009");
}

TEST_F(PrepareTest, ExecDirectLeavesAResultPending) {
  Open();
  SFake().columns = {{"a", SQL_INTEGER, 10, 0, 11, 5, 4}};
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select a from t", SQL_NTS), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("Execute"));
  EXPECT_EQ(StmtOf(stmt_)->st_flags & 0x3, 0x3);
  SQLLEN rows = 0;
  ASSERT_EQ(SQLRowCount(stmt_, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 7);
  ASSERT_EQ(SQLCloseCursor(stmt_), SQL_SUCCESS);
  SFake().params = {{"p", SQL_INTEGER}};
  EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select a from t where a = ?", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "07002");
}

TEST_F(PrepareTest, MoreResults) {
  Open();
  EXPECT_EQ(SQLMoreResults(stmt_), SQL_NO_DATA);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select 1", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLMoreResults(stmt_), SQL_NO_DATA);
  EXPECT_FALSE(Fake().Called("MoreResults"));

  Open(DRV_CAPBIT_MORE_RESULTS | DRV_CAPBIT_PARAM_OP);
  SFake().columns = {{"a", SQL_INTEGER, 10, 0, 11, 5, 4}};
  SQLULEN processed = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select a from t", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(processed, 1u);
  // The second result has no columns (the count of an UPDATE), the others do.
  SFake().moreResults = {0, 0, 0, 0};
  SFake().nextResults = {
      {{"b", SQL_INTEGER, 10, 0, 11, 5, 4}}, {}, {{"c", SQL_CHAR, 1, 0, 1, 1, 2}}, {}};
  for (SQLULEN want : {2u, 3u, 3u, 3u}) {
    EXPECT_EQ(SQLMoreResults(stmt_), SQL_SUCCESS);
    EXPECT_EQ(processed, want);
  }
  EXPECT_EQ(SQLMoreResults(stmt_), SQL_NO_DATA);

  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select a from t", SQL_NTS), SQL_SUCCESS);
  SFake().moreResults = {68};
  Fake().cursorMessages = {"[Informix Server]broken[SQLSTATE:HY000]"};
  EXPECT_EQ(SQLMoreResults(stmt_), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY000");
}

TEST_F(PrepareTest, NativeSql) {
  Open();
  SFake().nativeSql = "select {fn ucase(a)} from t translated";
  char out[16];
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)out, sizeof out, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, static_cast<SQLINTEGER>(SFake().nativeSql.size()));
  EXPECT_EQ(std::string(out), SFake().nativeSql.substr(0, 15));
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "01004");
  // A large application buffer is not cut to 16 bits on its way.
  std::string big(70000, '\0');
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)big.data(), 70000, &len),
            SQL_SUCCESS);
  EXPECT_STREQ(big.c_str(), SFake().nativeSql.c_str());
  // Nor is a translation of 64 KB or more, whole in a buffer that holds it, and
  // reported at its full length where the buffer is short.
  SFake().nativeSql = std::string(69990, 'x') + " translated";
  big.assign(80000, '\0');
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)big.data(), 80000, &len),
            SQL_SUCCESS);
  EXPECT_EQ(len, 70001);
  EXPECT_EQ(big.c_str(), SFake().nativeSql);
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)big.data(), 70001, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 70001);
  EXPECT_EQ(big.c_str(), SFake().nativeSql.substr(0, 70000));
  SFake().nativeSql = "select {fn ucase(a)} from t translated";

  SQLWCHAR wide[64];
  EXPECT_EQ(SQLNativeSqlW(dbc_, (SQLWCHAR*)u"select 1", SQL_NTS, wide, 64, &len), SQL_SUCCESS);
  EXPECT_EQ(len, static_cast<SQLINTEGER>(SFake().nativeSql.size()));
  EXPECT_EQ(wide[0], 's');

  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"select 1", -7, (SQLCHAR*)out, sizeof out, &len),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY090");
  SFake().nativeSqlCode = 68;
  EXPECT_EQ(SQLNativeSql(dbc_, (SQLCHAR*)"select {fn", SQL_NTS, (SQLCHAR*)out, sizeof out, &len),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "42000");
}

TEST_F(PrepareTest, CursorNames) {
  Open();
  SFake().cursorName = "SQL_CUR_LONG_NAME";
  char name[8];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetCursorName(stmt_, (SQLCHAR*)name, sizeof name, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(name, "SQL_CUR");
  EXPECT_EQ(len, 17);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01004");
  SQLWCHAR wide[32];
  EXPECT_EQ(SQLGetCursorNameW(stmt_, wide, 32, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 17);
  EXPECT_EQ(wide[16], 'E');
  EXPECT_EQ(SQLGetCursorName(stmt_, (SQLCHAR*)name, -1, &len), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
  SFake().cursorNameCode = 24;
  EXPECT_EQ(SQLGetCursorName(stmt_, (SQLCHAR*)name, sizeof name, &len), SQL_ERROR);

  EXPECT_EQ(SQLSetCursorName(stmt_, (SQLCHAR*)"orders_cursor", 6), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetCursorName orders"));
  SFake().setCursorNameCode = 24;
  EXPECT_EQ(SQLSetCursorName(stmt_, (SQLCHAR*)"x", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(SQLSetCursorName(stmt_, (SQLCHAR*)"x", -9), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
}

TEST_F(PrepareTest, ParameterSetsNeedTheBackEnd) {
  Open();
  SQLULEN processed = 0;
  EXPECT_EQ(SQLParamOptions(stmt_, 1, &processed), SQL_SUCCESS);
  EXPECT_EQ(SQLParamOptions(stmt_, 2, &processed), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "IM001");
  Open(DRV_CAPBIT_PARAM_OP);
  EXPECT_EQ(SQLParamOptions(stmt_, 0, &processed), SQL_ERROR);
  EXPECT_EQ(SQLParamOptions(stmt_, 5, &processed), SQL_SUCCESS);
  SQLULEN sets = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, &sets, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(sets, 5u);
}

}  // namespace
