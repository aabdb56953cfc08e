// text_length_e2e_test.cpp -- texts given with an explicit length, on each driver
// library loaded directly (the Driver Manager copies some texts on its own): a NUL
// inside the length with more text after it is refused with HY090 at every entry point
// that takes such a text, so that nothing shorter than what was given is run, looked up
// or connected to; NULs that only pad the text out to its length are not part of it.

#include <functional>
#include <string>

#include "direct_api.h"
#include "e2e_db.h"

namespace {

class TextLength : public DmTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase("kes_textlen", "textlendb");
  }

 protected:
  std::string ConnStr() const {
    return std::string("DSN=") + GetParam().dsn + ";DATABASE=textlendb@kes_textlen";
  }
};

std::string S(const char* text, size_t n) { return std::string(text, n); }

TEST_P(TextLength, ANulInsideTheLengthIsRefusedEverywhere) {
  const DirectApi api(GetParam());
  SQLHENV env = api.NewEnv();
  SQLHDBC dbc = api.Connect(env, ConnStr());
  ASSERT_NE(dbc, nullptr);
  SQLHSTMT stmt = nullptr;
  ASSERT_EQ(api.AllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  const std::string table = std::string("victim_") + GetParam().name;
  (void)api.ExecDirect(stmt, "drop table " + table);
  ASSERT_EQ(api.ExecDirect(stmt, "create table " + table + " (id int)"), SQL_SUCCESS);
  for (int id : {4, 5, 6})
    ASSERT_EQ(api.ExecDirect(stmt, "insert into " + table + " values (" + std::to_string(id) + ")"),
              SQL_SUCCESS);
  const std::string del = "DELETE FROM " + table + std::string(1, '\0') + " WHERE id = 5";
  const int delLen = static_cast<int>(del.size());

  struct Case {
    const char* name;
    std::function<SQLRETURN()> call;
    SQLSMALLINT type;  // the handle whose diagnostics tell
    SQLHANDLE* handle;
    SQLRETURN rc;
    const char* state;  // of the first record; "" when the call succeeds
  };
  SQLHDBC fresh = nullptr;
  std::string native;
  const Case cases[] = {
      {"ExecDirect", [&] { return api.ExecDirect(stmt, del, delLen); }, SQL_HANDLE_STMT, &stmt,
       SQL_ERROR, "HY090"},
      {"Prepare", [&] { return api.Prepare(stmt, del, delLen); }, SQL_HANDLE_STMT, &stmt, SQL_ERROR,
       "HY090"},
      {"NativeSql", [&] { return api.NativeSql(dbc, del, delLen, &native); }, SQL_HANDLE_DBC, &dbc,
       SQL_ERROR, "HY090"},
      {"SetCursorName", [&] { return api.SetCursorName(stmt, S("cur\0x", 5), 5); },
       SQL_HANDLE_STMT, &stmt, SQL_ERROR, "HY090"},
      {"Tables", [&] { return api.Tables(stmt, table + S("\0x", 2), int(table.size()) + 2); },
       SQL_HANDLE_STMT, &stmt, SQL_ERROR, "HY090"},
      {"Columns", [&] { return api.Columns(stmt, S("vic\0tim", 7), 7); }, SQL_HANDLE_STMT, &stmt,
       SQL_ERROR, "HY090"},
      {"DriverConnect",
       [&] {
         const std::string in = ConnStr() + S("\0;UID=nobody", 12);
         return api.DriverConnect(fresh, in, static_cast<int>(in.size()));
       },
       SQL_HANDLE_DBC, &fresh, SQL_ERROR, "HY090"},
      {"Connect",
       [&] {
         const std::string dsn = GetParam().dsn + S("\0x", 2);
         return api.Connect3(fresh, dsn, static_cast<int>(dsn.size()));
       },
       SQL_HANDLE_DBC, &fresh, SQL_ERROR, "HY090"},
      // NULs that only pad the text are not part of it.
      {"ExecDirect padded",
       [&] {
         const std::string sql = "select id from " + table + S("\0\0\0", 3);
         return api.ExecDirect(stmt, sql, static_cast<int>(sql.size()));
       },
       SQL_HANDLE_STMT, &stmt, SQL_SUCCESS, ""},
      {"SetCursorName padded", [&] { return api.SetCursorName(stmt, S("cur\0\0", 5), 5); },
       SQL_HANDLE_STMT, &stmt, SQL_SUCCESS, ""},
      {"Tables padded",
       [&] { return api.Tables(stmt, table + S("\0\0", 2), int(table.size()) + 2); },
       SQL_HANDLE_STMT, &stmt, SQL_SUCCESS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(api.FreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(api.AllocHandle(SQL_HANDLE_DBC, env, &fresh), SQL_SUCCESS);
    EXPECT_EQ(c.call(), c.rc) << api.DiagRec(c.type, *c.handle);
    if (c.rc == SQL_ERROR) {
      EXPECT_EQ(api.State(c.type, *c.handle), c.state);
    }
    EXPECT_EQ(api.FreeHandle(SQL_HANDLE_DBC, fresh), SQL_SUCCESS);
  }
  // The padded statement's rows, and nothing deleted.
  ASSERT_EQ(api.FreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(api.ExecDirect(stmt, "select count(*) from " + table), SQL_SUCCESS);
  ASSERT_EQ(api.Fetch(stmt), SQL_SUCCESS);
  SQLINTEGER count = 0;
  EXPECT_EQ(api.GetInteger(stmt, 1, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 3);

  EXPECT_EQ(api.FreeHandle(SQL_HANDLE_STMT, stmt), SQL_SUCCESS);
  api.Release(env, dbc);
}

KES_E2E_BUILDS(TextLength);

}  // namespace
