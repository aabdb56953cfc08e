// tempfile_e2e_test.cpp -- a static cursor whose rows outgrow memory while its
// temporary file cannot be made: the application learns what failed and where, not
// a bare general error.

#include <cstdlib>
#include <string>

#include "e2e_db.h"

namespace {

class TempFile : public DbTest {};

TEST_P(TempFile, AFailedTemporaryFileSaysWhatFailed) {
  const std::string table = std::string("spill_") + GetParam().name;
  ASSERT_TRUE(Recreate(table, "id int"));
  ASSERT_TRUE(Exec("insert into " + table + " values (1)"));
  // 8192 rows: past what a cursor keeps in memory.
  for (int k = 0; k < 13; ++k) ASSERT_TRUE(Exec("insert into " + table + " select id from " + table));

  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", "/nonexistent/kes_tmp", 1);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
            SQL_SUCCESS);
  const std::string sql = "select id from " + table;
  SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt_);
  const std::string diags = Diags(SQL_HANDLE_STMT, stmt_);
  if (old != nullptr)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(diags.rfind("HY000", 0), 0u) << diags;
  EXPECT_NE(diags.find("/nonexistent/kes_tmp"), std::string::npos) << diags;
  EXPECT_NE(diags.find("temporary file"), std::string::npos) << diags;
}

KES_E2E_BUILDS(TempFile);

}  // namespace
