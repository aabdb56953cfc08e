// diag_test.cpp -- diagnostic records: order, SQLSTATE extraction and the
// ODBC 2 -> 3 mapping, the errCode row, truncation, the fields.

#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "fake_backend.h"
#include "odbc/diag.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"

namespace {

TEST(MapSqlState3, OdbcTwoToThree) {
  const struct {
    const char* from;
    const char* to;
  } cases[] = {
      {"S1009", "HY009"}, {"S0022", "42S22"}, {"S1002", "07009"}, {"S1093", "07009"},
      {"01S03", "01001"}, {"01S04", "01001"}, {"22008", "22007"}, {"22005", "22018"},
      {"37000", "42000"}, {"70100", "HY018"}, {"24000", "24000"}, {"22003", "22003"},
      {"07001", "07002"}, {"IM001", "IM001"}, {"08001", "08001"},
  };
  for (const auto& c : cases) {
    char s[6];
    memcpy(s, c.from, 6);
    MapSqlState3(s);
    EXPECT_STREQ(s, c.to) << c.from;
  }
}

class DiagTest : public CoreTest {
 protected:
  // A statement on a connection in an environment of the given ODBC version.
  void Open(int version) {
    env_ = NewEnv(version);
    dbc_ = Connected(env_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
    rec_ = static_cast<Stmt*>(HandleLookup(&StmtHandles, HandleOf(stmt_)));
  }
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  Stmt* rec_ = nullptr;
};

struct RecordCase {
  const char* message;  // null: no message, only the code
  int32_t code;
  const char* text;
  const char* state2;
  const char* state3;
};

TEST_F(DiagTest, OneRecordFromAMessageOrTheCode) {
  const RecordCase cases[] = {
      {"[Informix Server]Table gone (-206)[SQLSTATE:S0002]", 0,
       "[Kestrane][ODBC][Informix Server]Table gone (-206)", "S0002", "42S02"},
      {"   plain text without marker", 0, "[Kestrane][ODBC]plain text without marker", "S1000",
       "HY000"},
      {"lower case[sqlstate:37000]tail", 0, "[Kestrane][ODBC]lower case", "37000", "42000"},
      {"cut short[SQLSTATE:", 0, "[Kestrane][ODBC]cut short", "S1000", "HY000"},
      {"cut short[SQLSTATE:24", 0, "[Kestrane][ODBC]cut short", "S1000", "HY000"},
      {nullptr, ERR_SEQUENCE, "[Kestrane][ODBC][Driver]Function sequence error", "S1010", "HY010"},
      {nullptr, ERR_CURSOR_STATE, "[Kestrane][ODBC][Driver]Invalid cursor state", "24000", "24000"},
      {nullptr, 185,
       "[Kestrane][ODBC][Driver]Undefined errorcode (185).\nPlease install a newer client.",
       "S1000", "HY000"},
  };
  for (int version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
    Open(version);
    for (const RecordCase& c : cases) {
      SCOPED_TRACE(std::string(c.message != nullptr ? c.message : "code ") +
                   std::to_string(c.code));
      if (c.message != nullptr) StmtAddDiag(rec_, c.message, -206);
      rec_->errCode = c.code;
      EXPECT_EQ(Message(SQL_HANDLE_STMT, stmt_), c.text);
      EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), version == SQL_OV_ODBC3 ? c.state3 : c.state2);
      DiagListFree(&rec_->diag);
    }
    rec_->errCode = 0;
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env_), SQL_SUCCESS);
  }
}

TEST_F(DiagTest, MessagesComeFirstInOrderOfArrival) {
  Open(SQL_OV_ODBC3);
  StmtAddDiag(rec_, "first[SQLSTATE:01000]", 1);
  StmtAddDiag(rec_, "second[SQLSTATE:42000]", 2);
  rec_->errCode = ERR_SYNTAX;
  SQLINTEGER count = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 0, SQL_DIAG_NUMBER, &count, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Message(SQL_HANDLE_STMT, stmt_, 1), "[Kestrane][ODBC]first");
  EXPECT_EQ(Message(SQL_HANDLE_STMT, stmt_, 2), "[Kestrane][ODBC]second");
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_, 3), "NO_DATA");
  SQLINTEGER native = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 2, SQL_DIAG_NATIVE, &native, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(native, 2);

  // SQLError consumes: one message per call, the code row is never reported.
  std::string seen;
  SQLCHAR state[6], text[256];
  SQLSMALLINT len;
  while (SQLError(nullptr, nullptr, stmt_, state, &native, text, sizeof text, &len) == SQL_SUCCESS)
    seen += reinterpret_cast<char*>(text) + std::string("|");
  EXPECT_EQ(seen, "[Kestrane][ODBC]first|[Kestrane][ODBC]second|");
  EXPECT_STREQ(reinterpret_cast<char*>(state), "00000");
}

TEST_F(DiagTest, NumberOfRecords) {
  Open(SQL_OV_ODBC3);
  SQLINTEGER count = -1;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 0, SQL_DIAG_NUMBER, &count, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "NO_DATA");
  rec_->errCode = ERR_GENERAL;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 0, SQL_DIAG_NUMBER, &count, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(count, 1);
  rec_->errCode = 0;
}

TEST_F(DiagTest, CutTextsReportTheirFullLength) {
  Open(SQL_OV_ODBC3);
  rec_->errCode = ERR_SEQUENCE;
  const std::string full = "[Kestrane][ODBC][Driver]Function sequence error";
  SQLCHAR state[6], text[64];
  SQLINTEGER native;
  SQLSMALLINT len = 0;
  // A buffer as long as the text has no room for the NUL.
  const SQLSMALLINT exact = static_cast<SQLSMALLINT>(full.size());
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, text, exact, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, exact);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), full.substr(0, full.size() - 1));
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, text, -1, &len), SQL_ERROR);

  char field[10];
  EXPECT_EQ(
      SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_MESSAGE_TEXT, field, sizeof field, &len),
      SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, exact);
  EXPECT_STREQ(field, "[Kestrane");

  // The wide forms count characters (records) and bytes (fields).
  StmtAddDiag(rec_, "caf\xC3\xA9 au lait[SQLSTATE:01000]", 0);
  SQLWCHAR wstate[6], wtext[8];
  EXPECT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt_, 1, wstate, &native, wtext, 8, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 16 + 12);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wtext)), u"[Kestra");
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wstate)), u"01000");
  EXPECT_EQ(
      SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_MESSAGE_TEXT, wtext, sizeof wtext, &len),
      SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 2 * (16 + 12));
  rec_->errCode = 0;
}

TEST_F(DiagTest, LongMessagesAreReadWhole) {
  Open(SQL_OV_ODBC3);
  std::string longText(3000, 'x');
  StmtAddDiag(rec_, (longText + "[SQLSTATE:42000]").c_str(), 0);
  std::string buf(4000, '\0');
  SQLSMALLINT len = 0;
  ASSERT_EQ(
      SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_MESSAGE_TEXT, buf.data(), 4000, &len),
      SQL_SUCCESS);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(16 + longText.size()));
  char state[6];
  ASSERT_EQ(
      SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &len),
      SQL_SUCCESS);
  EXPECT_STREQ(state, "42000");
}

TEST_F(DiagTest, ReadingTheRowCountLeavesTheDiagnostic) {
  Open(SQL_OV_ODBC3);
  rec_->errCode = ERR_SYNTAX;
  SQLLEN rows = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(rows, 7);
  Fake().rowCountCode = ERR_GENERAL;
  EXPECT_EQ(
      SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 0, SQL_DIAG_CURSOR_ROW_COUNT, &rows, 0, nullptr),
      SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "42000");
  rec_->errCode = 0;
}

TEST_F(DiagTest, FieldsByHandleKind) {
  Open(SQL_OV_ODBC3);
  StmtAddDiag(rec_, "failover done[SQLSTATE:IM500]", 0);
  char origin[16];
  SQLSMALLINT len;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin,
                            &len),
            SQL_SUCCESS);
  EXPECT_STREQ(origin, "ODBC 3.0");
  SQLLEN row = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(row, SQL_ROW_NUMBER_UNKNOWN);
  char name[32];
  ASSERT_EQ(
      SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_SERVER_NAME, name, sizeof name, &len),
      SQL_SUCCESS);
  EXPECT_STREQ(name, "Default");

  rec_->errCode = ERR_COMM_LINK;
  DiagListFree(&rec_->diag);
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin,
                            &len),
            SQL_SUCCESS);
  EXPECT_STREQ(origin, "ISO 9075");
  rec_->errCode = 0;

  ASSERT_EQ(SQLFreeStmt(dbc_, SQL_CLOSE), SQL_INVALID_HANDLE);
  ASSERT_EQ(SQLSetConnectAttr(dbc_, 9999, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc_, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr),
            SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc_, 0, SQL_DIAG_ROW_COUNT, &row, 0, nullptr),
            SQL_ERROR);
  EXPECT_EQ(SQLGetDiagField(7, dbc_, 0, SQL_DIAG_NUMBER, &row, 0, nullptr), SQL_INVALID_HANDLE);
}

TEST(DiagFindFailover, FirstMarkedMessageWins) {
  DiagList list{};
  DiagListAdd(&list, "nothing here", 0);
  DiagListAdd(&list, "x Failover aborted. y", 0);
  DiagListAdd(&list, "Failover completed.", 0);
  EXPECT_EQ(DiagFindFailover(&list), ERR_FAILOVER_ABORTED);
  DiagListFree(&list);
  EXPECT_EQ(DiagFindFailover(&list), 0);
}

}  // namespace
