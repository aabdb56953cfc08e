// dm_load_test.cpp -- both builds loaded by the Driver Manager: every connect
// form reaches the driver, and what the driver reports comes back through the
// Driver Manager with the driver's prefix, in the 8-bit and the wide forms.

#include "dm_fixture.h"

#include <sqlucode.h>

#include <string>
#include <vector>

namespace {

// A server that does not exist: the connect reaches the back end and fails there.
std::string ConnStr(const DmBuild& b) {
  return std::string("DSN=") + b.dsn + ";UID=u;PWD=p;DATABASE=e2e@kes_no_such_server";
}

std::vector<SQLWCHAR> Wide(const std::string& s) {
  std::vector<SQLWCHAR> w(s.begin(), s.end());
  // unixODBC reads past a short wide text when it narrows it for an ANSI
  // driver; the padding keeps that read inside the buffer.
  w.resize(w.size() + 8, 0);
  return w;
}

std::string Narrow(const SQLWCHAR* w) {
  std::string s;
  for (; *w != 0; ++w) s += static_cast<char>(*w);
  return s;
}

enum class Form { Connect, ConnectW, DriverConnect, DriverConnectW };

struct ConnectCase {
  const char* name;
  Form form;
};

SQLRETURN RunConnect(Form form, SQLHDBC dbc, const DmBuild& b) {
  std::string in = ConnStr(b);
  std::string dsn = b.dsn;
  switch (form) {
    case Form::Connect:
      return SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)"u", SQL_NTS, (SQLCHAR*)"p",
                        SQL_NTS);
    case Form::ConnectW: {
      auto d = Wide(dsn), u = Wide("u"), p = Wide("p");
      return SQLConnectW(dbc, d.data(), static_cast<SQLSMALLINT>(dsn.size()), u.data(), 1, p.data(),
                         1);
    }
    case Form::DriverConnect:
      return SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                              SQL_DRIVER_NOPROMPT);
    case Form::DriverConnectW: {
      auto w = Wide(in);
      return SQLDriverConnectW(dbc, nullptr, w.data(), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
    }
  }
  return SQL_ERROR;
}

TEST_P(DmTest, EveryConnectFormReachesTheDriver) {
  const ConnectCase cases[] = {{"SQLConnect", Form::Connect},
                               {"SQLConnectW", Form::ConnectW},
                               {"SQLDriverConnect", Form::DriverConnect},
                               {"SQLDriverConnectW", Form::DriverConnectW}};
  for (const ConnectCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RunConnect(c.form, dbc_, GetParam()), SQL_ERROR);
    std::string msg = Message(SQL_HANDLE_DBC, dbc_);
    // The Driver Manager puts "[unixODBC]" in front of what a connect reports.
    EXPECT_NE(msg.find("[Kestrane][ODBC]"), std::string::npos) << msg;
  }
}

TEST_P(DmTest, DiagnosticsInBothForms) {
  ASSERT_EQ(RunConnect(Form::DriverConnect, dbc_, GetParam()), SQL_ERROR);
  SQLWCHAR state[6] = {};
  SQLWCHAR text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_DBC, dbc_, 1, state, &native, text, 512, &len), SQL_SUCCESS);
  std::string wide = Narrow(text);
  EXPECT_EQ(wide.rfind("[Kestrane][ODBC]", 0), 0u) << wide;
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(wide.size()));
  EXPECT_EQ(Narrow(state), State(SQL_HANDLE_DBC, dbc_));

  SQLINTEGER count = 0;
  EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc_, 0, SQL_DIAG_NUMBER, &count, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_GE(count, 1);
}

TEST_P(DmTest, AttributesBeforeConnect) {
  SQLINTEGER v = 0;
  EXPECT_EQ(SQLGetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, SQL_OV_ODBC3);
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, (SQLPOINTER)30, 0), SQL_SUCCESS);
  SQLUINTEGER timeout = 0;
  EXPECT_EQ(SQLGetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, &timeout, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(timeout, 30u);
  // The attributes are replayed to the driver at connect; a failed connect
  // leaves the handle usable for another attempt.
  EXPECT_EQ(RunConnect(Form::DriverConnect, dbc_, GetParam()), SQL_ERROR);
  EXPECT_EQ(RunConnect(Form::DriverConnect, dbc_, GetParam()), SQL_ERROR);
  EXPECT_EQ(Message(SQL_HANDLE_DBC, dbc_).rfind("[Kestrane][ODBC]", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Builds, DmTest,
                         ::testing::Values(DmBuild{"w", "kes_w"}, DmBuild{"a", "kes_a"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
