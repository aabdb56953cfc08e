// connattr_test.cpp -- connection attributes and ODBC 2 options: what lives in
// the record, what goes to the back end, and how text answers are cut.

#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "fake_backend.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"

namespace {

class ConnAttrTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    env_ = NewEnv();
    dbc_ = NewDbc(env_);
  }
  void Connect() {
    ASSERT_EQ(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)"DSN=;UID=u;PWD=p", SQL_NTS, nullptr, 0,
                               nullptr, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
  }
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};

struct AttrCase {
  const char* name;
  SQLINTEGER attr;
  SQLULEN value;
  bool connected;
  SQLRETURN rc;
  const char* state;  // null: no diagnostic expected
};

TEST_F(ConnAttrTest, SetAttributes) {
  const AttrCase cases[] = {
      {"driver attribute refused by the ODBC 3 setter", 1201, 1, false, SQL_ERROR, "HY092"},
      {"driver attribute refused when connected too", 1201, 1, true, SQL_ERROR, "HY092"},
      {"connection timeout is kept", SQL_ATTR_CONNECTION_TIMEOUT, 5, false, SQL_SUCCESS, nullptr},
      {"metadata id cannot be honoured", SQL_ATTR_METADATA_ID, 1, false, SQL_ERROR, "HYC00"},
      {"unknown", 9, 0, false, SQL_ERROR, "HY092"},
      {"failover callback before connecting", 1280, 0, false, SQL_ERROR, "HY010"},
      {"failover callback without the capability", 1280, 0, true, SQL_ERROR, "HYC00"},
      {"enlist without DTC", SQL_ATTR_ENLIST_IN_DTC, 0, true, SQL_ERROR, "HYC00"},
      {"packet size is accepted", SQL_ATTR_PACKET_SIZE, 8192, false, SQL_SUCCESS, nullptr},
      {"current catalog before connecting does nothing", SQL_ATTR_CURRENT_CATALOG, 0, false,
       SQL_SUCCESS, nullptr},
  };
  for (const AttrCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.connected) Connect();
    EXPECT_EQ(SQLSetConnectAttr(dbc_, c.attr, (SQLPOINTER)c.value, 0), c.rc);
    if (c.state != nullptr) {
      EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), c.state);
    }
    if (c.connected) {
      ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
    }
  }
}

TEST_F(ConnAttrTest, ValuesOutsideTheirDomainAreRefusedAndTheOldValueKept) {
  const struct {
    SQLINTEGER attr;
    SQLULEN good, bad;
  } cases[] = {
      {SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, 5},
      {SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE, 0x77},
  };
  for (const bool connected : {false, true}) {
    if (connected) Connect();
    for (const auto& c : cases) {
      SCOPED_TRACE(c.attr);
      ASSERT_EQ(SQLSetConnectAttr(dbc_, c.attr, (SQLPOINTER)c.good, 0), SQL_SUCCESS);
      EXPECT_EQ(SQLSetConnectAttr(dbc_, c.attr, (SQLPOINTER)c.bad, 0), SQL_ERROR);
      EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY024");
      SQLUINTEGER v = 99;
      ASSERT_EQ(SQLGetConnectAttr(dbc_, c.attr, &v, 0, nullptr), SQL_SUCCESS);
      EXPECT_EQ(v, c.good);
    }
  }
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
}

TEST_F(ConnAttrTest, OdbcTwoOptions) {
  // Driver attributes are passed on only to an open connection.
  EXPECT_EQ(SQLSetConnectOption(dbc_, 1201, 1), SQL_SUCCESS);
  EXPECT_FALSE(Fake().Called("SetOption"));
  SQLPOINTER window = (SQLPOINTER)1;
  EXPECT_EQ(SQLGetConnectOption(dbc_, SQL_QUIET_MODE, &window), SQL_SUCCESS);
  EXPECT_EQ(window, nullptr);
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQLGetConnectOption(dbc_, SQL_PACKET_SIZE, &v), SQL_SUCCESS);
  EXPECT_EQ(v, 4096u);
  char name[256];
  EXPECT_EQ(SQLGetConnectOption(dbc_, SQL_TRANSLATE_DLL, name), SQL_NO_DATA);
  EXPECT_EQ(SQLSetConnectOption(dbc_, SQL_TRANSLATE_DLL, (SQLULEN) "libxlate.so"), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(dbc_, SQL_TRANSLATE_DLL, name), SQL_SUCCESS);
  EXPECT_STREQ(name, "libxlate.so");
  EXPECT_EQ(SQLSetConnectOption(dbc_, SQL_TRANSLATE_DLL, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(dbc_, SQL_TRANSLATE_DLL, name), SQL_NO_DATA);
}

// An ODBC 3 application's statement options on the connection (the Driver
// Manager replays those set before the connect and drops the answer) are the
// defaults of the statements made afterwards and reach those already made.
TEST_F(ConnAttrTest, StatementOptionsOnTheConnectionReachItsStatements) {
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc_, SQL_QUERY_TIMEOUT, 5), SQL_SUCCESS);
  Connect();
  SQLHSTMT before = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &before), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_VALUES, 0),
            SQL_SUCCESS);
  SQLHSTMT after = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &after), SQL_SUCCESS);
  for (SQLHSTMT s : {before, after}) {
    SQLULEN type = 0, concurrency = 0, timeout = 0;
    ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, &timeout, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, (SQLULEN)SQL_CURSOR_STATIC);
    EXPECT_EQ(concurrency, (SQLULEN)SQL_CONCUR_VALUES);
    EXPECT_EQ(timeout, 5u);
  }
  // Attributes that exist only for statements stay refused on the connection.
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)5, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY092");
}

// Both timeouts are stored and read back, before and after the connect.
TEST_F(ConnAttrTest, TimeoutsAreKept) {
  for (bool connected : {false, true}) {
    SCOPED_TRACE(connected ? "connected" : "not connected");
    if (connected) Connect();
    for (SQLINTEGER attr : {SQL_ATTR_LOGIN_TIMEOUT, SQL_ATTR_CONNECTION_TIMEOUT}) {
      const SQLULEN want = connected ? 7 : 5;
      EXPECT_EQ(SQLSetConnectAttr(dbc_, attr, (SQLPOINTER)want, 0), SQL_SUCCESS);
      SQLUINTEGER v = 0;
      EXPECT_EQ(SQLGetConnectAttr(dbc_, attr, &v, 0, nullptr), SQL_SUCCESS);
      EXPECT_EQ(v, want);
    }
  }
}

TEST_F(ConnAttrTest, AccessModeAndAutocommitReachAnOpenConnection) {
  Connect();
  auto* conn = static_cast<Conn*>(HandleLookup(&DbcHandles, HandleOf(dbc_)));
  EXPECT_EQ(SQLSetConnectOption(dbc_, SQL_ACCESS_MODE, 5), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,22030001,1"));
  EXPECT_EQ(conn->flags & CONN_F_READONLY, 0);
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,22030000,0"));
  // A refusal leaves the stored value.
  Fake().setAnswers[DRVP_AUTOCOMMIT] = ERR_TXN_STATE;
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "25000");
  SQLUINTEGER ac = 9;
  EXPECT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &ac, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(ac, 0u);
}

TEST_F(ConnAttrTest, CurrentCatalogTextInBothForms) {
  Fake().texts[DRVP_CURRENT_DB] = "stores7";
  Connect();
  char buf[10];
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
  EXPECT_STREQ(buf, "stores7");
  EXPECT_EQ(len, 7);
  EXPECT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, buf, 5, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buf, "stor");
  EXPECT_EQ(len, 7);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "01004");

  SQLWCHAR wide[5];
  EXPECT_EQ(SQLGetConnectAttrW(dbc_, SQL_ATTR_CURRENT_CATALOG, wide, 10, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide)), u"stor");
  EXPECT_EQ(len, 14);

  // Setting it sends the text to the back end; a counted text is cut first.
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "salesXX", 5),
            SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,2103006D,sales"));
  // NULs that pad it go; a NUL with more after it would name another catalog.
  Fake().Reset();
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "shop\0\0", 6),
            SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,2103006D,shop"));
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER) "shop\0x", 6),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY090");
  SQLWCHAR wide2[] = {'s', 0, 'x', 0};
  EXPECT_EQ(SQLSetConnectAttrW(dbc_, SQL_ATTR_CURRENT_CATALOG, wide2, 6), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY090");
}

}  // namespace

namespace {

struct FailoverEvent {
  int32_t event = 0;
  void* context = nullptr;
};
FailoverEvent lastFailover;

SQLRETURN RecordFailover(int32_t event, void* context, int32_t) {
  lastFailover = {event, context};
  return SQL_SUCCESS;
}

struct FailoverCase {
  const char* name;
  int32_t code;         // the back end's answer to a rollback
  const char* message;  // left in its list, or null
  SQLRETURN rc;
  int32_t event;
};

TEST_F(ConnAttrTest, FailoverCallbackHearsOfFailovers) {
  Fake().ints[DRVP_CAPABILITIES] = DRV_CAPBIT_FAILOVER;
  Connect();
  int context = 0;
  ASSERT_EQ(SQLSetConnectAttr(dbc_, 1280, reinterpret_cast<SQLPOINTER>(&RecordFailover), 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc_, 1281, &context, 0), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("SetOption BBBB0001,22030500,1"));
  const FailoverCase cases[] = {
      {"completed", ERR_FAILOVER_COMPLETED, nullptr, SQL_SUCCESS_WITH_INFO, FAILOVER_COMPLETED},
      {"aborted", ERR_FAILOVER_ABORTED, nullptr, SQL_ERROR, FAILOVER_ABORTED},
      {"told by a message", ERR_COMM_LINK, "link lost. Failover aborted.[SQLSTATE:08S01]",
       SQL_ERROR, FAILOVER_ABORTED},
      {"an ordinary failure", ERR_COMM_LINK, "link lost[SQLSTATE:08S01]", SQL_ERROR, 0},
  };
  for (const FailoverCase& c : cases) {
    SCOPED_TRACE(c.name);
    lastFailover = {};
    Fake().rollbackCode = c.code;
    if (c.message != nullptr) Fake().connectMessages = {c.message};
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), c.rc);
    EXPECT_EQ(lastFailover.event, c.event);
    if (c.event != 0) {
      EXPECT_EQ(lastFailover.context, &context);
    }
  }
  // Diagnostic calls never run the callback.
  lastFailover = {};
  SQLCHAR state[6];
  EXPECT_TRUE(
      SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_DBC, dbc_, 1, state, nullptr, nullptr, 0, nullptr)));
  EXPECT_EQ(lastFailover.event, 0);
}

}  // namespace
