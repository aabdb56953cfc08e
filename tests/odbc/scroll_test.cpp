// Tests of the statement side of scrolling: the scroll arithmetic, and the
// scroll through a recording driver table.

#include "odbc/scroll.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "odbc/dispatch.h"

namespace {

TEST(ScrollArithmetic, ClassifiesTargetRowsets) {
  struct Case {
    std::string_view name;
    int32_t start, target, size, count;
    int cls;
  };
  constexpr Case kCases[] = {
      {"count unknown, forward", 1, 11, 10, -1, SCS_ROWSET_FORWARD},
      {"count unknown, backward inside", 11, 1, 10, -1, SCS_ROWSET_INSIDE},
      {"count unknown, before row 1", 11, -9, 10, -1, SCS_ROWSET_BEFORE},
      {"past the last row", 1, 101, 10, 100, SCS_ROWSET_AFTER},
      {"short last rowset", 1, 95, 10, 100, SCS_ROWSET_SHORT},
      {"last full rowset", 1, 91, 10, 100, SCS_ROWSET_INSIDE},
      {"overlapping row 1", 3, -7, 10, 100, SCS_ROWSET_OVERLAPS_START},
      {"wholly before row 1", 3, -9, 10, 100, SCS_ROWSET_BEFORE},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(scs_p_ClassifyRowset(c.start, c.target, c.size, c.count), c.cls);
  }
}

TEST(ScrollArithmetic, ResolvesOrientations) {
  struct Case {
    std::string_view name;
    uint16_t orientation;
    int64_t offset;
    int32_t start, count, size, prev;
    int64_t target;
    int cls;
  };
  constexpr Case kCases[] = {
      {"NEXT moves by the old size", SQL_FETCH_NEXT, 0, 1, 100, 5, 10, 11, SCS_ROWSET_INSIDE},
      {"LAST", SQL_FETCH_LAST, 0, 1, 100, 10, 10, 91, SCS_ROWSET_INSIDE},
      {"LAST, count unknown", SQL_FETCH_LAST, 0, 1, -1, 10, 10, 0, SCS_ROWSET_INSIDE},
      {"PRIOR from row 3", SQL_FETCH_PRIOR, 0, 3, 100, 10, 10, -7, SCS_ROWSET_OVERLAPS_START},
      {"PRIOR after the end", SQL_FETCH_PRIOR, 0, SCS_POS_AFTER_END, 100, 10, 10, 91,
       SCS_ROWSET_INSIDE},
      {"ABSOLUTE 0", SQL_FETCH_ABSOLUTE, 0, 1, 100, 10, 10, 0, SCS_ROWSET_BEFORE},
      {"ABSOLUTE -1", SQL_FETCH_ABSOLUTE, -1, 1, 100, 10, 10, 100, SCS_ROWSET_SHORT},
      {"ABSOLUTE -105", SQL_FETCH_ABSOLUTE, -105, 1, 100, 10, 10, 1, SCS_ROWSET_BEFORE},
      {"ABSOLUTE -7 of 5 rows", SQL_FETCH_ABSOLUTE, -7, 1, 5, 10, 10, 1, SCS_ROWSET_OVERLAPS_START},
      {"ABSOLUTE -3, count unknown", SQL_FETCH_ABSOLUTE, -3, 1, -1, 10, 10, -3, SCS_ROWSET_FORWARD},
      {"RELATIVE 3", SQL_FETCH_RELATIVE, 3, 11, 100, 10, 10, 14, SCS_ROWSET_INSIDE},
      {"LAST of a result shorter than a rowset", SQL_FETCH_LAST, 0, 1, 5, 10, 10, 1,
       SCS_ROWSET_INSIDE},
      {"ABSOLUTE -10 of 5 rows", SQL_FETCH_ABSOLUTE, -10, 1, 5, 10, 10, 1,
       SCS_ROWSET_OVERLAPS_START},
      {"ABSOLUTE -11 of 5 rows", SQL_FETCH_ABSOLUTE, -11, 1, 5, 10, 10, 1, SCS_ROWSET_BEFORE},
      {"ABSOLUTE 2^32 + 1", SQL_FETCH_ABSOLUTE, 4294967297LL, 1, 100, 10, 10, 4294967297LL,
       SCS_ROWSET_AFTER},
      {"ABSOLUTE INT64_MIN", SQL_FETCH_ABSOLUTE, INT64_MIN, 1, 100, 10, 10, 1, SCS_ROWSET_BEFORE},
      {"ABSOLUTE 2^32 + 1, count unknown", SQL_FETCH_ABSOLUTE, 4294967297LL, 1, -1, 10, 10,
       4294967297LL, SCS_ROWSET_FORWARD},
      {"RELATIVE 2^32 + 10", SQL_FETCH_RELATIVE, 4294967306LL, 1, 100, 10, 10, 4294967307LL,
       SCS_ROWSET_AFTER},
      {"RELATIVE INT64_MAX", SQL_FETCH_RELATIVE, INT64_MAX, 11, 100, 10, 10, INT64_MAX,
       SCS_ROWSET_AFTER},
      {"RELATIVE INT64_MIN", SQL_FETCH_RELATIVE, INT64_MIN, 11, 100, 10, 10, INT64_MIN + 11,
       SCS_ROWSET_BEFORE},
      {"RELATIVE INT64_MIN after the end", SQL_FETCH_RELATIVE, INT64_MIN, SCS_POS_AFTER_END, 100,
       10, 10, INT64_MIN + 101, SCS_ROWSET_BEFORE},
      // Back past row 1: from the first rowset, or by more than a rowset, no row;
      // by less, the first rowset.
      {"RELATIVE -1 from row 1", SQL_FETCH_RELATIVE, -1, 1, 100, 10, 10, 0, SCS_ROWSET_BEFORE},
      {"RELATIVE -10 from row 3", SQL_FETCH_RELATIVE, -10, 3, 100, 10, 10, -7,
       SCS_ROWSET_OVERLAPS_START},
      {"RELATIVE -11 from row 3", SQL_FETCH_RELATIVE, -11, 3, 100, 10, 10, -8, SCS_ROWSET_BEFORE},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    int64_t target = 12345;
    EXPECT_EQ(
        scs_p_ResolveRowset(c.orientation, c.offset, c.start, c.count, c.size, c.prev, &target),
        c.cls);
    EXPECT_EQ(target, c.target);
  }
}

// A driver table that records the scrolled fetches it is asked for and hands
// out tables of the rows it is told to.
struct ScrollFake {
  std::vector<std::string> calls;
  int32_t answer = 0;     // the fetch's code
  int32_t rows = 3;       // rows in a rowset that is fetched
  int32_t rowCount = -1;  // the count the cursor reports
  int32_t fetchDirections = 0xBF;
  int32_t directionsCode = 0;
};
ScrollFake g;

int32_t fake_get_info(DrvHandle, DriverPropId id, void* buf, uint16_t, uint16_t* len) {
  if (id != DRVP_GETINFO_INT + SQL_FETCH_DIRECTION) return ERR_NOT_SUPPORTED;
  g.calls.push_back("GetInfo 8");
  if (g.directionsCode != 0) return g.directionsCode;
  memcpy(buf, &g.fetchDirections, 4);
  *len = 4;
  return 0;
}

int32_t fake_extended_fetch(DrvHandle, RowStatusTable** table, int32_t target, int32_t* rows,
                            int32_t* rowCount) {
  g.calls.push_back("ExtendedFetch " + std::to_string(target));
  RowStatusTableFree(table);  // a forward-only cursor hands its last table back
  if (g.answer != 0) return g.answer;
  RowStatusTable* t = nullptr;
  EXPECT_EQ(RowStatusTableNew(&t, g.rows), 0);
  for (int32_t i = 0; i < g.rows; ++i) t->status[i] = SQL_ROW_SUCCESS;
  *table = t;
  *rows = g.rows;
  *rowCount = g.rowCount;
  return 0;
}

DriverOps ScrollOps() {
  DriverOps ops{};
  ops.DRV_GetInfo = fake_get_info;
  ops.DRV_ExtendedFetch = fake_extended_fetch;
  return ops;
}

class ScrollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HandlesInit(), 0);
    g = ScrollFake{};
    ops_ = ScrollOps();
    rec_ = DriverRecord{DRV_CAP_THREADSAFE, &ops_};
    SCS_InitStmt(&scs_, 7, 9, &rec_, nullptr, nullptr);
  }
  void TearDown() override {
    SCS_FreeRowStatus(&scs_);
    HandlesTerm();
  }
  void Cursor(int32_t type, int32_t rowsetSize, int32_t keysetSize = 0) {
    scs_.sc_cursorType = type;
    scs_.sc_rowsetSize = rowsetSize;
    scs_.sc_prevRowsetSize = rowsetSize;
    scs_.sc_keysetSize = keysetSize;
  }
  // A static cursor over 100 rows, at a position.
  void StaticAt(int32_t position, int32_t rowsetStart) {
    Cursor(SCS_STATIC, 10);
    scs_.sc_rowCount = 100;
    scs_.sc_position = position;
    scs_.sc_rowsetStart = rowsetStart;
    g.calls.clear();
    g.rowCount = 100;
  }
  int32_t Scroll(uint16_t orientation, int64_t offset) {
    uint32_t rows = 99;
    int32_t rc = SCS_FetchScroll(&scs_, orientation, offset, &rows);
    rows_ = rows;
    return rc;
  }

  DriverOps ops_{};
  DriverRecord rec_{};
  SCS scs_{};
  uint32_t rows_ = 0;
};

TEST_F(ScrollTest, ForwardOnlyTakesNextOnlyAndMovesByRowsets) {
  Cursor(SCS_FORWARD_ONLY, 10);
  EXPECT_EQ(Scroll(SQL_FETCH_PRIOR, 0), ERR_FETCH_TYPE);
  EXPECT_TRUE(g.calls.empty());
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), 0);
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), 0);
  EXPECT_EQ(g.calls,
            (std::vector<std::string>{"GetInfo 8", "ExtendedFetch 10", "ExtendedFetch 20"}));
  EXPECT_EQ(rows_, 3u);
  EXPECT_EQ(scs_.sc_position, 1);
  ASSERT_NE(scs_.sc_rowStatus, nullptr);
  EXPECT_EQ(scs_.sc_rowStatus->count, 3);
}

TEST_F(ScrollTest, PositionDecidesWithoutTheBackEnd) {
  struct Case {
    std::string_view name;
    int32_t position;
    uint16_t orientation;
    int64_t offset;
    int32_t rc;
    int32_t positionAfter;
  };
  constexpr Case kCases[] = {
      {"RELATIVE -1 before the start", SCS_POS_BEFORE_START, SQL_FETCH_RELATIVE, -1, ERR_NO_DATA,
       0},
      {"RELATIVE 1 after the end", SCS_POS_AFTER_END, SQL_FETCH_RELATIVE, 1, ERR_NO_DATA, -3},
      {"RELATIVE 0 before the start", SCS_POS_BEFORE_START, SQL_FETCH_RELATIVE, 0, ERR_NO_DATA, 0},
      {"RELATIVE 0 after the end", SCS_POS_AFTER_END, SQL_FETCH_RELATIVE, 0, ERR_NO_DATA, -3},
      {"ABSOLUTE 0", 1, SQL_FETCH_ABSOLUTE, 0, ERR_NO_DATA, 0},
      {"BOOKMARK 0", 1, SQL_FETCH_BOOKMARK, 0, ERR_NO_DATA, 0},
      {"ABSOLUTE 2^32 + 1", 1, SQL_FETCH_ABSOLUTE, 4294967297LL, ERR_NO_DATA, -3},
      {"ABSOLUTE INT64_MAX", 1, SQL_FETCH_ABSOLUTE, INT64_MAX, ERR_NO_DATA, -3},
      {"ABSOLUTE INT64_MIN", 1, SQL_FETCH_ABSOLUTE, INT64_MIN, ERR_NO_DATA, 0},
      {"RELATIVE 2^32 + 10", 1, SQL_FETCH_RELATIVE, 4294967306LL, ERR_NO_DATA, -3},
      {"RELATIVE INT64_MAX before the start", SCS_POS_BEFORE_START, SQL_FETCH_RELATIVE, INT64_MAX,
       ERR_NO_DATA, -3},
      {"RELATIVE INT64_MIN after the end", SCS_POS_AFTER_END, SQL_FETCH_RELATIVE, INT64_MIN,
       ERR_NO_DATA, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StaticAt(c.position, c.position);
    EXPECT_EQ(Scroll(c.orientation, c.offset), c.rc);
    EXPECT_EQ(rows_, 0u);
    EXPECT_EQ(scs_.sc_position, c.positionAfter);
    for (const std::string& call : g.calls)
      EXPECT_EQ(call.rfind("ExtendedFetch", 0), std::string::npos);
  }
}

TEST_F(ScrollTest, TargetsOfAStaticCursor) {
  struct Case {
    std::string_view name;
    int32_t position, rowsetStart;
    uint16_t orientation;
    int32_t offset;
    std::string call;
  };
  const Case kCases[] = {
      {"NEXT from before the start is FIRST", 0, 0, SQL_FETCH_NEXT, 0, "ExtendedFetch 1"},
      {"RELATIVE 3 from before the start", 0, 0, SQL_FETCH_RELATIVE, 3, "ExtendedFetch 3"},
      {"PRIOR overlapping row 1 is FIRST", 1, 3, SQL_FETCH_PRIOR, 0, "ExtendedFetch 1"},
      {"PRIOR after the end is LAST", SCS_POS_AFTER_END, SCS_POS_AFTER_END, SQL_FETCH_PRIOR, 0,
       "ExtendedFetch 91"},
      {"BOOKMARK 42 is ABSOLUTE 42", 1, 1, SQL_FETCH_BOOKMARK, 42, "ExtendedFetch 42"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StaticAt(c.position, c.rowsetStart);
    ASSERT_EQ(Scroll(c.orientation, c.offset), 0);
    ASSERT_FALSE(g.calls.empty());
    EXPECT_EQ(g.calls.back(), c.call);
    EXPECT_EQ(scs_.sc_position, 1);
  }
}

TEST_F(ScrollTest, EndsOfTheResultFromTheBackEnd) {
  struct Case {
    int32_t answer;
    int32_t position;
  };
  for (const Case c : {Case{ERR_BEFORE_START, 0}, Case{ERR_AFTER_END, -3}}) {
    SCOPED_TRACE(c.answer);
    Cursor(SCS_KEYSET, 10);
    scs_.sc_position = 1;
    scs_.sc_rowsetStart = 11;
    g.answer = c.answer;
    EXPECT_EQ(Scroll(SQL_FETCH_RELATIVE, -5), ERR_NO_DATA);
    EXPECT_EQ(scs_.sc_position, c.position);
    EXPECT_EQ(scs_.sc_rowStatus, nullptr);
  }
}

TEST_F(ScrollTest, DynamicCursorsRefuseAbsolutePositions) {
  Cursor(SCS_DYNAMIC, 10);
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 3), ERR_FETCH_TYPE);
  EXPECT_EQ(Scroll(SQL_FETCH_BOOKMARK, 3), ERR_FETCH_TYPE);
  Cursor(SCS_KEYSET, 10, 50);
  EXPECT_EQ(Scroll(SQL_FETCH_ABSOLUTE, 3), ERR_FETCH_TYPE);
}

// A move of a dynamic cursor by more rows than any result holds reaches the layer
// below as the farthest move its 32 bits carry, keeping its direction.
TEST_F(ScrollTest, DynamicMovesBeyond32BitsKeepTheirDirection) {
  Cursor(SCS_DYNAMIC, 10);
  for (const int64_t offset :
       {int64_t{4294967306LL}, int64_t{-4294967296LL}, INT64_MAX, INT64_MIN}) {
    SCOPED_TRACE(offset);
    scs_.sc_position = 1;
    scs_.sc_rowsetStart = SCS_START_UNKNOWN;
    ASSERT_EQ(Scroll(SQL_FETCH_RELATIVE, offset), 0);
    EXPECT_EQ(g.calls.back(),
              offset > 0 ? "ExtendedFetch 2147483647" : "ExtendedFetch -2147483647");
  }
}

TEST_F(ScrollTest, FetchDirectionsComeOnceAndLimitOrientations) {
  Cursor(SCS_STATIC, 10);
  g.fetchDirections = SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST;
  EXPECT_EQ(Scroll(SQL_FETCH_LAST, 0), ERR_FETCH_TYPE);
  EXPECT_EQ(Scroll(SQL_FETCH_FIRST, 0), 0);
  EXPECT_EQ(std::count(g.calls.begin(), g.calls.end(), "GetInfo 8"), 1);
  // A back end that does not tell still lets a cursor move forward.
  SCS_FreeRowStatus(&scs_);
  SCS_InitStmt(&scs_, 7, 9, &rec_, nullptr, nullptr);
  g.directionsCode = ERR_NOT_SUPPORTED;
  EXPECT_EQ(Scroll(SQL_FETCH_NEXT, 0), 0);
}

TEST_F(ScrollTest, RowsetSizeChangeTakesEffectAfterOneMove) {
  Cursor(SCS_FORWARD_ONLY, 10);
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), 0);
  scs_.sc_prevRowsetSize = 10;
  scs_.sc_rowsetSize = 5;
  scs_.sc_flags |= SCS_F_ROWSET_CHANGED;
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), 0);
  ASSERT_EQ(Scroll(SQL_FETCH_NEXT, 0), 0);
  EXPECT_EQ(g.calls, (std::vector<std::string>{"GetInfo 8", "ExtendedFetch 10", "ExtendedFetch 20",
                                               "ExtendedFetch 25"}));
}

}  // namespace
