// dm_session_test.cpp -- a live session through the Driver Manager, each driver
// library and the embedded server: attributes set before the connect take
// effect, attributes of the open connection are read from the driver, and
// transactions and disconnect complete, and an enlistment without a transaction
// coordinator fails cleanly.

#include <cstdlib>
#include <string>
#include <thread>

#include "dm_fixture.h"

namespace {

class DmSession : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_e2e", "e2edb");
  }

 protected:
  SQLRETURN Connect() {
    std::string in = std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=e2edb@kes_e2e";
    return SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                            SQL_DRIVER_NOPROMPT);
  }
};

TEST_P(DmSession, AttributesOfALiveConnection) {
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  ASSERT_TRUE(SQL_SUCCEEDED(Connect())) << Message(SQL_HANDLE_DBC, dbc_);

  SQLUINTEGER autocommit = 9;
  ASSERT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(autocommit, static_cast<SQLUINTEGER>(SQL_AUTOCOMMIT_OFF));
  char db[64] = {};
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, db, sizeof db, &len), SQL_SUCCESS)
      << Message(SQL_HANDLE_DBC, dbc_);
  EXPECT_STREQ(db, "e2edb");
  EXPECT_EQ(len, 5);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_SUCCESS)
      << Message(SQL_HANDLE_DBC, dbc_);

  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0),
            SQL_SUCCESS)
      << Message(SQL_HANDLE_DBC, dbc_);
  ASSERT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(autocommit, static_cast<SQLUINTEGER>(SQL_AUTOCOMMIT_ON));
  EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
}

TEST_P(DmSession, UnboundParameterMarkerSaysSo) {
  ASSERT_TRUE(SQL_SUCCEEDED(Connect())) << Message(SQL_HANDLE_DBC, dbc_);
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(stmt, (SQLCHAR*)"SELECT 1 FROM systables WHERE tabid = ?", SQL_NTS),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt), "07002");
  EXPECT_EQ(Message(SQL_HANDLE_STMT, stmt), "[Kestrane][ODBC][Driver]Wrong number of parameters");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
}

// The timeouts are kept and read back (the embedded server has nothing to time
// out); an attribute the driver cannot honour is "not capable", never IM001.
TEST_P(DmSession, TimeoutsAreKeptAndOtherAttributesAreNotCapable) {
  ASSERT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_CONNECTION_TIMEOUT, (SQLPOINTER)5, 0), SQL_SUCCESS)
      << Message(SQL_HANDLE_DBC, dbc_);
  ASSERT_TRUE(SQL_SUCCEEDED(Connect())) << Message(SQL_HANDLE_DBC, dbc_);
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_TIMEOUT, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 5u);
  for (SQLINTEGER attr : {SQL_ATTR_CONNECTION_TIMEOUT, SQL_ATTR_LOGIN_TIMEOUT}) {
    EXPECT_EQ(SQLSetConnectAttr(dbc_, attr, (SQLPOINTER)7, 0), SQL_SUCCESS)
        << Message(SQL_HANDLE_DBC, dbc_);
    EXPECT_EQ(SQLGetConnectAttr(dbc_, attr, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 7u);
  }
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_METADATA_ID, (SQLPOINTER)SQL_TRUE, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HYC00");
}

// Without a window the driver asks nobody, and a completion whose string lacks a
// user and a password connects all the same when the server asks for neither: by a
// data source, and by a driver's name with the server and the database.
TEST_P(DmSession, CompletionWithoutAWindowConnectsWhereNoLoginIsNeeded) {
  const std::string driver = GetParam().name[0] == 'w' ? "{Kestrane W}" : "{Kestrane A}";
  const std::string strings[] = {
      std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edb@kes_e2e",
      std::string("DSN=") + GetParam().dsn + ";DATABASE=e2edb@kes_e2e;UID=;PWD=",
      "DRIVER=" + driver + ";INFSERVER=kes_e2e;DATABASE=e2edb",
  };
  for (const std::string& in : strings) {
    for (SQLUSMALLINT mode : {SQL_DRIVER_COMPLETE, SQL_DRIVER_COMPLETE_REQUIRED}) {
      SCOPED_TRACE(in + " completion " + std::to_string(mode));
      SQLCHAR out[1024] = {};
      SQLSMALLINT len = 0;
      EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, out,
                                                 sizeof out, &len, mode)))
          << Message(SQL_HANDLE_DBC, dbc_);
      EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
    }
  }
}

// A connect that names no server says so.
TEST_P(DmSession, NoServerNameIsSaid) {
  unsetenv("INFORMIXSERVER");
  const std::string in = std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=e2edb";
  EXPECT_EQ(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "08001");
  const std::string msg = Message(SQL_HANDLE_DBC, dbc_);
  EXPECT_NE(msg.find("INFORMIXSERVER"), std::string::npos) << msg;
  EXPECT_NE(msg.find("(-25560)"), std::string::npos) << msg;
}

// A connection that moves between threads needs FORCEDORMANT (written as users
// write booleans, "1"); without it the refusal says so.
TEST_P(DmSession, ConnectionMovesBetweenThreadsWithForceDormant) {
  for (const char* forceDormant : {"", ";FORCEDORMANT=1"}) {
    SCOPED_TRACE(forceDormant);
    const std::string in =
        std::string("DSN=") + GetParam().dsn + ";UID=u;PWD=p;DATABASE=e2edb@kes_e2e" + forceDormant;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Message(SQL_HANDLE_DBC, dbc_);
    SQLHSTMT stmt = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_SUCCESS);
    const auto run = [stmt] {
      return SQLExecDirect(stmt, (SQLCHAR*)"SELECT tabid FROM systables WHERE tabid = 1", SQL_NTS);
    };
    ASSERT_EQ(run(), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    SQLRETURN rc = SQL_ERROR;
    std::thread([&] { rc = run(); }).join();
    if (*forceDormant != '\0') {
      EXPECT_EQ(rc, SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt);
    } else {
      EXPECT_EQ(rc, SQL_ERROR);
      const std::string msg = Message(SQL_HANDLE_STMT, stmt);
      EXPECT_NE(msg.find("FORCEDORMANT=1"), std::string::npos) << msg;
      EXPECT_NE(msg.find("(-1801)"), std::string::npos) << msg;
    }
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS) << Message(SQL_HANDLE_DBC, dbc_);
  }
}

// Cursor names follow ODBC's rules: a name the driver cannot hold or that
// starts like the driver's own is invalid, one another statement of the
// connection has (in any case) is a duplicate.
TEST_P(DmSession, CursorNames) {
  ASSERT_TRUE(SQL_SUCCEEDED(Connect())) << Message(SQL_HANDLE_DBC, dbc_);
  SQLHSTMT a = nullptr, b = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &a), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &b), SQL_SUCCESS);
  SQLUSMALLINT max = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_MAX_CURSOR_NAME_LEN, &max, sizeof max, nullptr), SQL_SUCCESS);
  const std::string longest(max, 'c');
  const struct {
    SQLHSTMT stmt;
    std::string name;
    const char* state;  // null: accepted
  } cases[] = {
      {a, "SQL_CUR1", "34000"}, {a, "sqlcur9", "34000"},     {a, longest + "c", "34000"},
      {a, longest, nullptr},    {a, "orders", nullptr},      {b, "ORDERS", "3C000"},
      {a, "orders", nullptr},   {b, "order_lines", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SQLRETURN rc = SQLSetCursorName(c.stmt, (SQLCHAR*)c.name.c_str(), SQL_NTS);
    if (c.state == nullptr) {
      EXPECT_EQ(rc, SQL_SUCCESS) << Message(SQL_HANDLE_STMT, c.stmt);
    } else {
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(State(SQL_HANDLE_STMT, c.stmt), c.state);
    }
  }
  SQLCHAR name[64] = {};
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetCursorName(a, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "orders");
  SQLFreeHandle(SQL_HANDLE_STMT, a);
  SQLFreeHandle(SQL_HANDLE_STMT, b);
}

TEST_P(DmSession, EnlistingWithoutACoordinatorSaysSoAndKeepsTheConnection) {
  // No transaction coordinator library is installed for this program: the
  // enlistment fails before the connection's session is touched.
  ASSERT_TRUE(SQL_SUCCEEDED(Connect())) << Message(SQL_HANDLE_DBC, dbc_);
  int transaction = 0;
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_ENLIST_IN_DTC, &transaction, SQL_IS_POINTER),
            SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "IM932");
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(stmt, (SQLCHAR*)"SELECT tabid FROM systables WHERE tabid = 1", SQL_NTS),
            SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Builds, DmSession,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
