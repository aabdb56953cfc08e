// Tests of the cursor context's bookkeeping: positions, row statuses,
// bookmarks, row numbers and a statement's defaults.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <string_view>

#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"

namespace {

TEST(RowStatusAccess, StaysInsideTheTable) {
  RowStatusTable* t = nullptr;
  ASSERT_EQ(RowStatusTableNew(&t, 3), 0);
  SCS_SetRowStatus(t, 2, SQL_ROW_UPDATED);
  SCS_SetRowStatus(t, 4, SQL_ROW_DELETED);
  SCS_SetRowStatus(t, 0, SQL_ROW_DELETED);
  EXPECT_EQ(SCS_GetRowStatus(t, 1), SQL_ROW_NOROW);
  EXPECT_EQ(SCS_GetRowStatus(t, 2), SQL_ROW_UPDATED);
  EXPECT_EQ(SCS_GetRowStatus(t, 3), SQL_ROW_NOROW);
  EXPECT_EQ(SCS_GetRowStatus(t, 4), SQL_ROW_ERROR);
  EXPECT_EQ(SCS_GetRowStatus(t, 0), SQL_ROW_ERROR);
  EXPECT_EQ(SCS_GetRowStatus(nullptr, 1), SQL_ROW_ERROR);
  RowStatusTableFree(&t);
}

TEST(Position, SpecialAndCountedPositions) {
  SCS scs{};
  SCS_Init(&scs, 0, 0, nullptr, nullptr);
  scs.sc_rowCount = 5;
  EXPECT_EQ(SCS_SetPosition(&scs, 6), ERR_ROW_VALUE);
  EXPECT_EQ(SCS_SetPosition(&scs, -4), ERR_ROW_VALUE);
  EXPECT_EQ(SCS_SetPosition(&scs, 5), 0);
  scs.sc_rowsetStart = 3;
  EXPECT_EQ(SCS_SetPosition(&scs, SCS_POS_NO_ROW), 0);
  EXPECT_EQ(scs.sc_rowsetStart, 3);
  EXPECT_EQ(SCS_SetPosition(&scs, SCS_POS_AFTER_END), 0);
  EXPECT_EQ(scs.sc_rowsetStart, SCS_POS_AFTER_END);
  SCS_ResetPosition(&scs);
  EXPECT_EQ(scs.sc_position, 0);
  EXPECT_EQ(scs.sc_rowCount, -1);
}

TEST(Bookmarks, ByCursorType) {
  struct Case {
    std::string_view name;
    int32_t type, keyset, position;
    uint32_t index;
    int32_t bookmarkRc, bookmark, rowNumberRc;
  };
  constexpr Case kCases[] = {
      {"static", SCS_STATIC, 0, 1, 1, 0, 12, 0},
      {"keyset", SCS_KEYSET, 0, 1, 0, 0, 11, 0},
      {"mixed", SCS_KEYSET, 40, 1, 0, ERR_NOT_CAPABLE, 0, 0},
      {"dynamic", SCS_DYNAMIC, 0, 1, 0, ERR_NOT_CAPABLE, 0, 0},
      {"forward-only", SCS_FORWARD_ONLY, 0, 1, 0, ERR_NOT_CAPABLE, 0, 0},
      {"no current rowset", SCS_STATIC, 0, 0, 0, ERR_CURSOR_STATE, 0, ERR_CURSOR_STATE},
      {"index past the rowset", SCS_STATIC, 0, 1, 3, ERR_ARGUMENT, 0, ERR_ARGUMENT},
      {"error row", SCS_STATIC, 0, 1, 2, ERR_CURSOR_POSITION, 0, ERR_CURSOR_POSITION},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SCS scs{};
    SCS_Init(&scs, 0, 0, nullptr, nullptr);
    scs.sc_cursorType = c.type;
    scs.sc_keysetSize = c.keyset;
    scs.sc_rowsetSize = 3;
    scs.sc_position = c.position;
    scs.sc_rowsetStart = 11;
    ASSERT_EQ(RowStatusTableNew(&scs.sc_rowStatus, 3), 0);
    SCS_SetRowStatus(scs.sc_rowStatus, 1, SQL_ROW_SUCCESS);
    SCS_SetRowStatus(scs.sc_rowStatus, 2, SQL_ROW_SUCCESS);
    SCS_SetRowStatus(scs.sc_rowStatus, 3, SQL_ROW_ERROR);
    int32_t bm = -1;
    EXPECT_EQ(SCS_GetBookmark(&scs, c.index, &bm), c.bookmarkRc);
    if (c.bookmarkRc == 0) {
      EXPECT_EQ(bm, c.bookmark);
    }
    int32_t number = -1;
    EXPECT_EQ(SCS_GetRowNumber(&scs, c.index, &number), c.rowNumberRc);
    SCS_FreeRowStatus(&scs);
  }
}

TEST(StatementContext, TakesTheConnectionsDefaults) {
  SCS defaults{};
  SCS_Init(&defaults, 0, 0, nullptr, nullptr);
  defaults.sc_cursorType = SCS_STATIC;
  defaults.sc_rowsetSize = 20;
  defaults.sc_useBookmarks = 1;
  defaults.sc_retrieveData = 0;
  defaults.sc_concurrency = 2;
  SCS scs{};
  int owner = 0;
  SCS_InitStmt(&scs, 3, 4, nullptr, &owner, &defaults);
  EXPECT_EQ(scs.sc_rowsetSize, 20);
  EXPECT_EQ(scs.sc_useBookmarks, 1u);
  EXPECT_EQ(scs.sc_retrieveData, 0u);
  EXPECT_EQ(scs.sc_concurrency, 2);
  EXPECT_EQ(scs.sc_cursorType, SCS_STATIC);
  EXPECT_EQ(scs.sc_hCursor, 3u);
  EXPECT_EQ(scs.sc_owner, &owner);
  EXPECT_EQ(scs.sc_rowStatus, nullptr);
}

}  // namespace
