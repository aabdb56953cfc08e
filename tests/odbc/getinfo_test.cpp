// getinfo_test.cpp -- SQLGetInfo and SQLGetFunctions: the items answered by the
// driver itself, the per-connection caches in front of the back end, the
// conversion masks, and the cuts of string answers.

#include <cstring>
#include <string>

#include "stmt_fake.h"

namespace {

class GetInfoTest : public StmtTest {
 protected:
  int CallsFor(uint32_t id) {
    int n = 0;
    char want[32];
    snprintf(want, sizeof want, ",%X", id);
    for (const std::string& e : Fake().Calls())
      if (e.rfind("GetInfo ", 0) == 0 && e.size() >= strlen(want) &&
          e.compare(e.size() - strlen(want), strlen(want), want) == 0)
        ++n;
    return n;
  }
};

TEST_F(GetInfoTest, BackEndItemsCrossOnceAndTheCurrentDatabaseEveryTime) {
  Open();
  Fake().ints[DRVP_GETINFO_INT + SQL_MAX_COLUMNS_IN_TABLE] = 2048;
  Fake().ints[DRVP_GETINFO_INT + SQL_CONVERT_FUNCTIONS] = 0x00E40F01;
  Fake().ints[DRVP_GETINFO_INT + SQL_OJ_CAPABILITIES] = 0x7F;
  Fake().texts[DRVP_GETINFO_TEXT + SQL_DBMS_VER] = "11.70";
  Fake().texts[DRVP_GETINFO_TEXT + SQL_DATABASE_NAME] = "stores";
  struct Case {
    const char* name;
    SQLUSMALLINT type;
    uint32_t id;
    int calls;
  } cases[] = {
      {"16-bit item", SQL_MAX_COLUMNS_IN_TABLE, DRVP_GETINFO_INT + SQL_MAX_COLUMNS_IN_TABLE, 1},
      {"32-bit item", SQL_CONVERT_FUNCTIONS, DRVP_GETINFO_INT + SQL_CONVERT_FUNCTIONS, 1},
      {"string item", SQL_DBMS_VER, DRVP_GETINFO_TEXT + SQL_DBMS_VER, 1},
      {"current database", SQL_DATABASE_NAME, DRVP_GETINFO_TEXT + SQL_DATABASE_NAME, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 3; ++i) {
      char buf[64] = {};
      ASSERT_EQ(SQLGetInfo(dbc_, c.type, buf, sizeof buf, nullptr), SQL_SUCCESS);
    }
    EXPECT_EQ(CallsFor(c.id), c.calls);
  }
  SQLUINTEGER v = 0;
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_CONVERT_FUNCTIONS, &v, sizeof v, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 0x00E40F01u);
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_OJ_CAPABILITIES, &v, sizeof v, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetInfo(dbc_, 65003, &v, sizeof v, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 0x7Fu);
  EXPECT_EQ(CallsFor(DRVP_GETINFO_INT + 65003), 0);
  // A new connection starts with empty caches.
  ASSERT_EQ(SQLDisconnect(dbc_), SQL_SUCCESS);
  ASSERT_EQ(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)"DSN=;UID=u;PWD=p", SQL_NTS, nullptr, 0,
                             nullptr, SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS);
  ASSERT_EQ(SQLGetInfo(dbc_, SQL_DBMS_VER, nullptr, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(CallsFor(DRVP_GETINFO_TEXT + SQL_DBMS_VER), 2);
}

TEST_F(GetInfoTest, AnswersWithoutAConnection) {
  env_ = NewEnv();
  dbc_ = NewDbc(env_);
  char text[16] = {};
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetInfo(dbc_, SQL_DRIVER_ODBC_VER, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(text, "03.50");
  EXPECT_EQ(len, 5);
  SQLUINTEGER mask = 0;
  EXPECT_EQ(SQLGetInfo(dbc_, SQL_CONVERT_VARCHAR, &mask, sizeof mask, nullptr), SQL_SUCCESS);
  EXPECT_EQ(mask, 0x73FFu);
  EXPECT_EQ(SQLGetInfoW(dbc_, SQL_CONVERT_VARCHAR, &mask, sizeof mask, nullptr), SQL_SUCCESS);
  EXPECT_EQ(mask, 0xE073FFu);
  EXPECT_EQ(SQLGetInfo(dbc_, SQL_DBMS_NAME, text, sizeof text, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "08003");
}

TEST_F(GetInfoTest, RefusalsAndCuts) {
  Open();
  Fake().texts[DRVP_GETINFO_TEXT + SQL_DBMS_NAME] = "Kestrane Online";
  char text[4];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetInfo(dbc_, SQL_DBMS_NAME, text, sizeof text, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(text, "Kes");
  EXPECT_EQ(len, 15);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "01004");

  SQLWCHAR wide[4] = {'x', 0, 0, 0};
  EXPECT_EQ(SQLGetInfoW(dbc_, SQL_DBMS_NAME, wide, 1, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(wide[0], 'x');
  EXPECT_EQ(len, 30);
  EXPECT_EQ(SQLGetInfoW(dbc_, SQL_DBMS_NAME, wide, sizeof wide, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(wide[2], 's');
  EXPECT_EQ(wide[3], 0);

  EXPECT_EQ(SQLGetInfo(dbc_, SQL_DBMS_NAME, text, -1, &len), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY090");
  EXPECT_EQ(SQLGetInfo(dbc_, SQL_DM_VER, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "HY096");
  EXPECT_EQ(SQLGetInfo(dbc_, SQL_DRIVER_NAME, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DBC, dbc_), "IM001");
}

TEST_F(GetInfoTest, Functions) {
  Open();
  SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
  memset(bits, 0xFF, sizeof bits);
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_ODBC3_ALL_FUNCTIONS, bits), SQL_SUCCESS);
  const auto has = [&](int id) { return SQL_FUNC_EXISTS(bits, id) == SQL_TRUE; };
  EXPECT_TRUE(has(SQL_API_SQLENDTRAN));
  EXPECT_FALSE(has(SQL_API_SQLBINDPARAM));
  EXPECT_FALSE(has(SQL_API_SQLBROWSECONNECT));
  EXPECT_TRUE(has(SQL_API_SQLFETCHSCROLL));
  // This back end serves no positioned operations.
  EXPECT_FALSE(has(SQL_API_SQLBULKOPERATIONS));
  EXPECT_FALSE(has(SQL_API_SQLSETPOS));
  EXPECT_EQ(bits[249], 0);

  SQLUSMALLINT all[100];
  memset(all, 0xFF, sizeof all);
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_ALL_FUNCTIONS, all), SQL_SUCCESS);
  EXPECT_EQ(all[SQL_API_SQLCONNECT], SQL_TRUE);
  EXPECT_EQ(all[SQL_API_SQLDATASOURCES], SQL_FALSE);
  EXPECT_EQ(all[SQL_API_SQLSETSCROLLOPTIONS], SQL_FALSE);
  EXPECT_EQ(all[99], SQL_FALSE);

  const struct {
    SQLUSMALLINT id;
    SQLUSMALLINT exists;
  } single[] = {{SQL_API_SQLBROWSECONNECT, 0},
                {SQL_API_SQLFETCHSCROLL, 1},
                {SQL_API_SQLDESCRIBEPARAM, 1},
                {SQL_API_SQLBINDPARAM, 0},
                {4000, 0}};
  for (const auto& c : single) {
    SCOPED_TRACE(c.id);
    SQLUSMALLINT v = 9;
    ASSERT_EQ(SQLGetFunctions(dbc_, c.id, &v), SQL_SUCCESS);
    EXPECT_EQ(v, c.exists);
  }
}

}  // namespace
