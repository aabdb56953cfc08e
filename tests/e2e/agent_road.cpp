// The agent reached from an application: the Driver Manager loads the built
// driver libraries through a private configuration and connects to databases
// that the runtime's shell made.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "tests/tmpdir.h"

namespace {

std::string g_dir;

void writeFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr) << path;
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

int shell(const std::string& args) {
  return std::system((std::string(KES_DBSH) + " " + args + " >/dev/null 2>&1").c_str());
}

struct Build {
  const char* name;
  const char* dsn;
  const char* driver;
};
void PrintTo(const Build& b, std::ostream* os) { *os << b.name; }

class OdbcRoad : public ::testing::TestWithParam<Build> {
 public:
  static void SetUpTestSuite() {
    if (!g_dir.empty()) return;
    g_dir = MakeProcessTempDir("kes-road-");
    ASSERT_FALSE(g_dir.empty());
    setenv("KES_INFORMIX_SERVERS", (g_dir + "/servers").c_str(), 1);
    ASSERT_EQ(shell("--create-server road_ol"), 0);
    ASSERT_EQ(shell("--create-server road_pw --users Alice:secret"), 0);
    ASSERT_EQ(shell("-s road_ol -e 'create database roaddb with log'"), 0);
    ASSERT_EQ(shell("-s road_pw -u Alice -p secret -e 'create database pwdb with log'"), 0);
    // Threading 0: the Driver Manager leaves the serialisation to the driver.
    writeFile(g_dir + "/odbcinst.ini", std::string("[Kestrane W]\nDriver=") + KES_DRIVER_W +
                                           "\nThreading=0\n\n[Kestrane A]\nDriver=" + KES_DRIVER_A +
                                           "\nThreading=0\n");
    writeFile(g_dir + "/odbc.ini",
              "[ODBC Data Sources]\nroad_w=Kestrane W\nroad_a=Kestrane A\n\n"
              "[road_w]\nDriver=Kestrane W\nDatabase=roaddb@road_ol\n\n"
              "[road_a]\nDriver=Kestrane A\nDatabase=roaddb@road_ol\n");
    setenv("ODBCSYSINI", g_dir.c_str(), 1);
    setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (!g_dir.empty()) std::filesystem::remove_all(g_dir, ec);
    g_dir.clear();
  }

 protected:
  void SetUp() override {
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_SUCCESS);
    ASSERT_EQ(
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  SQLRETURN driverConnect(const std::string& rest) {
    std::string cs = std::string("DRIVER={") + GetParam().driver + "};" + rest;
    SQLCHAR out[1024];
    SQLSMALLINT len = 0;
    return SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, out,
                            sizeof out, &len, SQL_DRIVER_NOPROMPT);
  }

  // Every diagnostic record of the connection as "STATE message".
  std::string diagnostics() {
    std::string all;
    for (SQLSMALLINT rec = 1;; ++rec) {
      SQLCHAR state[6] = {};
      SQLINTEGER native = 0;
      SQLCHAR text[1024] = {};
      SQLSMALLINT len = 0;
      if (SQLGetDiagRec(SQL_HANDLE_DBC, dbc_, rec, state, &native, text, sizeof text, &len) !=
          SQL_SUCCESS)
        return all;
      all +=
          std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text) + "\n";
    }
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};

TEST_P(OdbcRoad, ConnectsByDataSourceAndByConnectionString) {
  ASSERT_TRUE(
      SQL_SUCCEEDED(SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(GetParam().dsn)),
                               SQL_NTS, nullptr, 0, nullptr, 0)))
      << diagnostics();
  SQLCHAR name[64] = {};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_DBMS_NAME, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "INFORMIX");
  EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);

  ASSERT_TRUE(SQL_SUCCEEDED(driverConnect("DATABASE=pwdb@road_pw;UID=Alice;PWD=secret")))
      << diagnostics();
  EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
}

TEST_P(OdbcRoad, RunsStatementsAndReportsTheirFailures) {
  ASSERT_TRUE(
      SQL_SUCCEEDED(SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(GetParam().dsn)),
                               SQL_NTS, nullptr, 0, nullptr, 0)))
      << diagnostics();
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_SUCCESS);
  auto run = [&](std::string sql) {
    return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
  };
  const std::string table = std::string("road_") + GetParam().name;
  EXPECT_EQ(run("create table " + table + " (a integer, b varchar(10))"), SQL_SUCCESS);
  EXPECT_EQ(run("insert into " + table + " values (1, 'one')"), SQL_SUCCESS);
  EXPECT_EQ(run("insert into " + table + " values (2, 'two')"), SQL_SUCCESS);
  EXPECT_EQ(run("update " + table + " set b = 'x'"), SQL_SUCCESS);
  SQLLEN rows = 0;
  EXPECT_EQ(SQLRowCount(stmt, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 2);

  EXPECT_EQ(run("insert into no_such_table values (1)"), SQL_ERROR);
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, text, sizeof text, &len),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "42S02");
  EXPECT_EQ(native, -206);
  const std::string message(reinterpret_cast<char*>(text));
  EXPECT_EQ(message.rfind("[Kestrane][ODBC][Informix Server]", 0), 0u) << message;
  EXPECT_NE(message.find("no_such_table"), std::string::npos) << message;
  EXPECT_NE(message.find("(-206)"), std::string::npos) << message;

  EXPECT_EQ(run("drop table " + table), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
}

TEST_P(OdbcRoad, RefusedConnectsCarryTheServersReason) {
  struct Case {
    const char* rest;
    const char* state;  // of the server's message
    const char* code;
  };
  const Case cases[] = {
      {"DATABASE=roaddb@no_such_server", "08001", "(-908)"},
      {"DATABASE=no_such_db@road_ol", "HY000", "(-329)"},
      {"DATABASE=pwdb@road_pw;UID=Alice;PWD=wrong", "28000", "(-951)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rest);
    EXPECT_EQ(driverConnect(c.rest), SQL_ERROR);
    const std::string d = diagnostics();
    const std::string expected = std::string(c.state) + " [Kestrane][ODBC][Informix Server]";
    EXPECT_EQ(d.rfind(expected, 0), 0u) << d;
    EXPECT_NE(d.find(c.code), std::string::npos) << d;
  }
}

// A completion without a window tries the connection: a server without users takes
// it without user or password; one with users refuses it, and only that refusal is the
// dialog nobody could show (IM008); any other failure is the server's own.
TEST_P(OdbcRoad, CompletionWithoutAWindowAsksForNothingTheServerTakes) {
  struct Case {
    const char* rest;
    const char* state;  // null: connected
  };
  const Case cases[] = {
      {"DATABASE=roaddb@road_ol", nullptr},
      {"INFSERVER=road_ol;DATABASE=roaddb;UID=;PWD=", nullptr},
      {"DATABASE=pwdb@road_pw", "IM008"},
      {"DATABASE=pwdb@road_pw;UID=Alice", "IM008"},
      {"DATABASE=pwdb@road_pw;UID=Alice;PWD=wrong", "28000"},
      {"DATABASE=no_such_db@road_ol", "HY000"},
  };
  for (const Case& c : cases) {
    for (SQLUSMALLINT mode : {SQL_DRIVER_COMPLETE, SQL_DRIVER_COMPLETE_REQUIRED}) {
      SCOPED_TRACE(std::string(c.rest) + " completion " + std::to_string(mode));
      std::string cs = std::string("DRIVER={") + GetParam().driver + "};" + c.rest;
      SQLCHAR out[1024] = {};
      SQLSMALLINT len = 0;
      const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()),
                                            SQL_NTS, out, sizeof out, &len, mode);
      if (c.state == nullptr) {
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << diagnostics();
        EXPECT_NE(std::string(reinterpret_cast<char*>(out)).find("DATABASE="), std::string::npos);
        EXPECT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
      } else {
        EXPECT_EQ(rc, SQL_ERROR);
        const std::string d = diagnostics();
        EXPECT_EQ(d.rfind(c.state, 0), 0u) << d;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, OdbcRoad,
                         ::testing::Values(Build{"w", "road_w", "Kestrane W"},
                                           Build{"a", "road_a", "Kestrane A"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
