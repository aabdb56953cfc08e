// dm_session_test.cpp -- a live session through the Driver Manager, each driver
// library and the embedded server: attributes set before the connect take
// effect, attributes of the open connection are read from the driver, and
// transactions and disconnect complete.

#include <string>

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

INSTANTIATE_TEST_SUITE_P(Builds, DmSession,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
