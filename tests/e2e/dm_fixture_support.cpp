// dm_fixture_support.cpp -- writes the private configuration once per process.

#include "dm_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/informix/ixr_api.h"
#include "tests/tmpdir.h"

namespace {

std::string configDir;

void write(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr) << path;
  fputs(text.c_str(), f);
  fclose(f);
}

}  // namespace

void DmTest::SetUpTestSuite() {
  if (!configDir.empty()) return;
  configDir = MakeProcessTempDir("kes_e2e_");
  ASSERT_FALSE(configDir.empty());
  // Threading 0: the Driver Manager leaves the serialisation to the driver.
  write(configDir + "/odbcinst.ini",
        std::string("[Kestrane W]\nDriver=") + KES_DRIVER_W + "\nThreading=0\n\n" +
            "[Kestrane A]\nDriver=" + KES_DRIVER_A + "\nThreading=0\n");
  write(configDir + "/odbc.ini",
        "[ODBC Data Sources]\nkes_w=Kestrane W\nkes_a=Kestrane A\n\n"
        "[kes_w]\nDriver=Kestrane W\nDatabase=e2e\n\n"
        "[kes_a]\nDriver=Kestrane A\nDatabase=e2e\n");
  setenv("ODBCSYSINI", configDir.c_str(), 1);
  setenv("ODBCINI", (configDir + "/odbc.ini").c_str(), 1);
  // Servers the driver looks up live here, never under the user's home.
  setenv("KES_INFORMIX_SERVERS", configDir.c_str(), 1);
}

void DmTest::MakeDatabase(const char* server, const char* database) {
  static std::set<std::string> made;
  if (!made.insert(server).second) return;
  // The runtime the driver libraries carry reads the same directory.
  ASSERT_EQ(ixr_server_create(server, IXR_SERVER_ONLINE, nullptr), 0);
  ASSERT_EQ(ixr_connect((std::string("@") + server).c_str(), "setup"), 0);
  ASSERT_EQ(
      ixr_execute_immediate((std::string("CREATE DATABASE ") + database + " WITH LOG").c_str()), 0);
  ASSERT_EQ(ixr_disconnect("setup"), 0);
}

void DmTest::SetUp() {
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
}

void DmTest::TearDown() {
  if (dbc_ != nullptr) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }
  if (env_ != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::string DmTest::State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024];
  SQLSMALLINT len = 0;
  if (SQLGetDiagRec(type, h, rec, state, &native, text, sizeof text, &len) == SQL_NO_DATA)
    return "NO_DATA";
  return reinterpret_cast<char*>(state);
}

std::string DmTest::Message(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[1024] = {};
  SQLSMALLINT len = 0;
  if (SQLGetDiagRec(type, h, rec, state, &native, text, sizeof text, &len) == SQL_NO_DATA)
    return "";
  return reinterpret_cast<char*>(text);
}
