// inf_cursor_test.cpp -- the agent's cursors: the ORDER BY column added for the
// retry, and cursor names over the embedded runtime.

#include "drv_inf/inf_cursor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"
#include "platform/informix/ixr_api.h"

namespace {

using Agent = AgentTest;

TEST(RewriteOrderBy, AddsTheMissingColumnWithItsQualifier) {
  struct Case {
    int delim;
    const char* in;
    const char* column;
    const char* out;  // nullptr: no rewrite
  };
  const Case cases[] = {
      {0, "select a from t order by t.c", "c", "select a, t.c from t order by t.c"},
      {1, "select a from t order by t.c", "c", "select a, t.\"c\" from t order by t.c"},
      {0, "select a from x y, z order by c", "c", "select a, y.c from x y, z order by c"},
      {0, "select a from x AS y order by c", "c", "select a, y.c from x AS y order by c"},
      {0, "select a from x where b = 1 order by c", "c",
       "select a, x.c from x where b = 1 order by c"},
      {0, "select a\nfrom t\norder  by t.c desc", "c", "select a, t.c\nfrom t\norder  by t.c desc"},
      {0, "select a from t, u order by t.c, u.c", "c", nullptr},  // ambiguous
      {0, "select a from t", "c", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    char* r = RewriteOrderBy(c.delim, c.in, c.column);
    if (c.out == nullptr) {
      EXPECT_EQ(r, nullptr);
    } else {
      ASSERT_NE(r, nullptr);
      EXPECT_STREQ(r, c.out);
    }
    std::free(r);
  }
}

TEST_F(Agent, CursorNamesComeFromHandlesAndFollowSetCursorName) {
  DrvHandle conn = connect("logged@ol_test");
  DrvHandle a = 0;
  DrvHandle b = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &a), 0);
  ASSERT_EQ(INF_AllocCursor(conn, &b), 0);
  char na[32], nb[32];
  int16_t len = 0;
  ASSERT_EQ(INF_GetCursorName(a, na, sizeof na, &len), 0);
  ASSERT_EQ(INF_GetCursorName(b, nb, sizeof nb, &len), 0);
  EXPECT_STRNE(na, nb);
  char small[3];
  EXPECT_EQ(INF_GetCursorName(a, small, sizeof small, &len), ERR_TRUNCATED);
  EXPECT_EQ(len, static_cast<int16_t>(std::strlen(na)));
  EXPECT_STREQ(small, std::string(na, 2).c_str());

  ASSERT_EQ(INF_Prepare(a, "select a from t where a <= 10"), 0);
  ixr_test_record(true);
  ASSERT_EQ(INF_SetCursorName(a, "mycursor"), 0);
  ASSERT_EQ(INF_Execute(a), 0);
  bool declared = false;
  for (const std::string& c : calls(true)) declared = declared || c == "DECLARE mycursor";
  EXPECT_TRUE(declared);
  // A positioned statement may name its rows: it reads none ahead of the application.
  std::vector<int32_t> sizes;
  EXPECT_EQ(fetchAll(a, 4, &sizes), 0);
  EXPECT_EQ(sizes, (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
  ASSERT_EQ(INF_Prepare(b, "select a from t where a <= 10"), 0);
  ASSERT_EQ(INF_Execute(b), 0);
  sizes.clear();
  EXPECT_EQ(fetchAll(b, 4, &sizes), 0);
  EXPECT_EQ(sizes, (std::vector<int32_t>{4, 4, 2, 0}));
  ASSERT_EQ(INF_CloseCursor(b), 0);
  ASSERT_EQ(INF_Prepare(b, "select a from t where a <= 3 for update"), 0);
  ASSERT_EQ(INF_Execute(b), 0);
  sizes.clear();
  EXPECT_EQ(fetchAll(b, 4, &sizes), 0);
  EXPECT_EQ(sizes, (std::vector<int32_t>{1, 1, 1, 0}));
}

}  // namespace
