// dataset_test.cpp -- the row buffer: slot widths, value comparison, truncation and
// narrowing, and ownership of long values on every path, failed allocations
// included (the sanitizers report any leak or double free).

#include "drv/dataset.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "drv/errtab.h"

namespace {

void* Dup(const void* p, size_t n) {
  void* q = std::malloc(n ? n : 1);
  std::memcpy(q, p, n);
  return q;
}

void SetLong(const DatasetColumn& c, uint32_t r, const void* v, uint32_t len, uint32_t unit = 1) {
  DatasetLong e{len, Dup(v, size_t(len) * unit)};
  std::memcpy(c.data + size_t(r) * c.width, &e, sizeof e);
  c.ind[r] = 0;
}

DatasetLong GetLong(const DatasetColumn& c, uint32_t r) {
  DatasetLong e;
  std::memcpy(&e, c.data + size_t(r) * c.width, sizeof e);
  return e;
}

char* Slot(const DatasetColumn& c, uint32_t r) { return c.data + size_t(r) * c.width; }

struct Layout {
  int32_t type;
  uint32_t width;
};

// Columns without storage in the given layout, storage for `rows` rows.
void Build(Dataset& ds, std::initializer_list<Layout> cols, int32_t rows) {
  ASSERT_EQ(DatasetInit(&ds, uint16_t(cols.size())), 0);
  for (const Layout& l : cols)
    ds.cols[ds.colCount++] = DatasetColumn{l.type, l.width, nullptr, nullptr};
  ASSERT_EQ(DatasetSetRows(&ds, rows), 0);
}

// Every kind of storage the library handles: a fixed value, the three long
// types, a prefixed text, and the fixed character columns truncation widens.
// Row 1 is NULL throughout; the long values are long enough to matter.
void MakeSource(Dataset& ds) {
  Build(ds,
        {{DS_INTEGER, 4},
         {DS_LONGCHAR, 16},
         {DS_LONGWCHAR, 16},
         {DS_VARCHAR4, DatasetTypeWidth(DS_VARCHAR4, 8)},
         {DS_CHAR, 10},
         {DS_WCHAR, DatasetTypeWidth(DS_WCHAR, 6)}},
        3);
  const std::string text(3000, 'x');
  const std::u16string wide(2000, u'\u00e9');
  for (uint32_t r : {0u, 2u}) {
    int32_t v = int32_t(r) + 7;
    std::memcpy(Slot(ds.cols[0], r), &v, 4);
    ds.cols[0].ind[r] = 0;
    SetLong(ds.cols[1], r, text.data(), uint32_t(text.size() - r));
    SetLong(ds.cols[2], r, wide.data(), uint32_t(wide.size() - r), 2);
    uint32_t len = 5;
    std::memcpy(Slot(ds.cols[3], r), &len, 4);
    std::memcpy(Slot(ds.cols[3], r) + 4, r ? "later" : "first", 5);
    std::memcpy(Slot(ds.cols[4], r), r ? "abcdefghij" : "ab", r ? 10 : 3);
    std::memcpy(Slot(ds.cols[5], r), r ? u"wxyz" : u"\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac",
                r ? 10 : 12);
    for (uint16_t c = 3; c < 6; ++c) ds.cols[c].ind[r] = 0;
  }
  ds.rowCount = 3;
}

// Row ra of a against row rb of b for rows [0, n).
void ExpectRowsEqual(const Dataset& a, uint32_t ra, const Dataset& b, uint32_t rb, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    int32_t eq = -1;
    ASSERT_EQ(DatasetCompareRows(&a, ra + i, &b, rb + i, &eq), 0) << "row " << i;
    EXPECT_EQ(eq, 1) << "row " << i;
  }
}

void ExpectSame(const Dataset& a, const Dataset& b) {
  ASSERT_EQ(a.colCount, b.colCount);
  ASSERT_EQ(a.rowCount, b.rowCount);
  ExpectRowsEqual(a, 0, b, 0, uint32_t(a.rowCount));
}

struct Cell {
  uint16_t col;
  uint32_t row;
  std::string_view value;
};

// Each cell's value as DatasetGetValue reads it.
void ExpectValues(const Dataset& ds, std::initializer_list<Cell> cells) {
  for (const Cell& c : cells) {
    SCOPED_TRACE("col " + std::to_string(c.col) + " row " + std::to_string(c.row));
    char buf[32];
    uint32_t len = sizeof buf;
    ASSERT_EQ(DatasetGetValue(&ds, c.row, c.col, buf, &len), 0);
    EXPECT_EQ(std::string_view(buf, len), c.value);
  }
}

void Release(Dataset*& ds) {
  DatasetFree(ds);
  std::free(ds);
  ds = nullptr;
}

// Runs op with the n-th allocation of the library failing; true when the failure
// was reached.
bool Inject(uint32_t n, int32_t& rc, const std::function<int32_t()>& op) {
  DatasetTestFailAlloc(n);
  rc = op();
  const bool hit = DatasetTestAllocCount() >= n;
  DatasetTestFailAlloc(0);
  return hit;
}

// One operation run with a failing allocation: its operands are clones of the
// source (the first may be the source's bare layout of three rows).
struct FaultCase {
  const char* name;
  int operands;
  bool layout;
  bool intact;  // a failure leaves the operands as they were
  std::function<int32_t(Dataset*& a, Dataset*& b, Dataset& src)> op;
  std::function<void(const Dataset* a, const Dataset* b, const Dataset& src)> done;
};

std::ostream& operator<<(std::ostream& os, const FaultCase& c) { return os << c.name; }

const FaultCase kFaultCases[] = {
    {"Clone", 0, false, true,
     [](Dataset*& a, Dataset*&, Dataset& src) { return DatasetClone(&a, &src); },
     [](const Dataset* a, const Dataset*, const Dataset& src) {
       ExpectSame(*a, src);
       EXPECT_NE(GetLong(a->cols[1], 0).data, GetLong(src.cols[1], 0).data);
     }},
    {"CopyRows", 1, true, false,
     [](Dataset*& a, Dataset*&, Dataset& src) {
       for (uint32_t r = 0; r < 3; ++r)  // each row appends
         if (int32_t e = DatasetCopyRow(a, &src, r, r, 0)) return e;
       return 0;
     },
     [](const Dataset* a, const Dataset*, const Dataset& src) { ExpectSame(*a, src); }},
    {"Append", 2, false, true,
     [](Dataset*& a, Dataset*& b, Dataset&) { return DatasetAppend(a, b); },
     [](const Dataset* a, const Dataset* b, const Dataset& src) {
       EXPECT_EQ(a->rowCount, 6);
       EXPECT_EQ(a->rowCapacity, 6);
       ExpectRowsEqual(*a, 3, src, 0, 3);
       EXPECT_EQ(GetLong(b->cols[1], 0).data, nullptr);  // the value moved
     }},
    {"Join", 2, false, true, [](Dataset*& a, Dataset*& b, Dataset&) { return DatasetJoin(a, b); },
     [](const Dataset* a, const Dataset* b, const Dataset&) {
       EXPECT_EQ(a->colCount, 12);
       EXPECT_EQ(b->cols[1].data, nullptr);  // b's storage went to a
     }},
    {"CopyColumns", 1, true, false,
     [](Dataset*& a, Dataset*&, Dataset& src) {
       for (uint16_t c = 0; c < src.colCount; ++c)
         if (int32_t e = DatasetCopyColumn(a, &src, c, c)) return e;
       return 0;
     },
     [](const Dataset* a, const Dataset*, const Dataset& src) { ExpectSame(*a, src); }},
    {"InsertColumn", 1, false, true,
     [](Dataset*& a, Dataset*&, Dataset&) { return DatasetInsertColumn(a, 1, DS_LONGBINARY, 16); },
     [](const Dataset* a, const Dataset*, const Dataset&) {
       EXPECT_EQ(a->colCount, 7);
       EXPECT_EQ(a->cols[1].type, DS_LONGBINARY);
       EXPECT_EQ(a->cols[1].ind[2], DS_IND_NULL);
       EXPECT_EQ(a->cols[2].type, DS_LONGCHAR);
     }},
    {"Reverse", 1, false, true, [](Dataset*& a, Dataset*&, Dataset&) { return DatasetReverse(&a); },
     [](const Dataset* a, const Dataset*, const Dataset& src) {
       ExpectRowsEqual(*a, 0, src, 2, 1);
       ExpectRowsEqual(*a, 2, src, 0, 1);
     }},
    {"NarrowAndTruncate", 1, false, false,
     [](Dataset*& a, Dataset*&, Dataset&) {
       int32_t e = DatasetToAnsi(a);
       return e ? e : DatasetTruncate(a, 3);
     },
     [](const Dataset* a, const Dataset*, const Dataset&) {
       EXPECT_EQ(a->cols[2].type, DS_LONGCHAR);
       EXPECT_EQ(GetLong(a->cols[2], 0).length, 2u);  // cut at a whole character
       EXPECT_EQ(a->cols[4].type, DS_VARCHAR4);
     }},
};

class DatasetFault : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    MakeSource(src_);
    MakeSource(ref_);
  }
  void TearDown() override {
    ExpectSame(src_, ref_);  // a source is never harmed by a failure
    DatasetFree(&src_);
    DatasetFree(&ref_);
  }
  Dataset* Operand(bool layout) {
    Dataset* d = nullptr;
    EXPECT_EQ(layout ? DatasetCloneLayout(&d, &src_, 3) : DatasetClone(&d, &src_), 0);
    return d;
  }
  Dataset src_{};
  Dataset ref_{};
};

}  // namespace

TEST(Dataset, TypeWidths) {
  struct Case {
    int32_t type;
    uint32_t size;
    uint32_t width;
  };
  constexpr Case kCases[] = {
      {DS_NONE, 5, 1},
      {DS_CHAR, 5, 5},
      {DS_BIT, 5, 1},
      {DS_TINYINT, 5, 1},
      {DS_SMALLINT, 5, 2},
      {DS_INTEGER, 5, 4},
      {DS_UTINYINT, 5, 1},
      {DS_USMALLINT, 5, 2},
      {DS_UINTEGER, 5, 4},
      {DS_REAL, 5, 4},
      {DS_DOUBLE, 5, 8},
      {DS_DATE, 5, 6},
      {DS_TIME, 5, 6},
      {DS_TIMESTAMP, 99, 16},
      {DS_BINARY, 5, 5},
      {DS_LONGCHAR, 5, 16},
      {DS_LONGBINARY, 5, 16},
      {DS_STRING, 5, 6},
      {DS_VARCHAR1, 5, 6},
      {DS_VARCHAR2, 5, 8},
      {DS_VARCHAR2, 6, 8},
      {DS_VARCHAR4, 5, 12},
      {DS_VARCHAR4, 4, 8},
      {DS_VARBINARY1, 5, 6},
      {DS_VARBINARY2, 5, 8},
      {DS_VARBINARY4, 5, 12},
      {DS_WCHAR, 5, 10},
      {DS_WSTRING, 5, 12},
      {DS_LONGWCHAR, 5, 16},
      {DS_WVARCHAR4, 5, 16},
      {DS_WVARCHAR4, 6, 16},
      {99, 7, 7},
      // A width past 32 bits saturates, so no allocation can take it for real.
      {DS_WCHAR, 0x80000000u, UINT32_MAX},
      {DS_VARCHAR4, UINT32_MAX - 2, UINT32_MAX},
      {DS_STRING, UINT32_MAX, UINT32_MAX},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " size " + std::to_string(c.size));
    EXPECT_EQ(DatasetTypeWidth(c.type, c.size), c.width);
  }
}

TEST(Dataset, ImpossibleSizesAreMemoryErrors) {
  DatasetColumn col{DS_WCHAR, DatasetTypeWidth(DS_WCHAR, 0x80000000u), nullptr, nullptr};
  EXPECT_EQ(DatasetColumnAlloc(&col, 2), ERR_MEMORY);
  EXPECT_EQ(col.data, nullptr);
  col = DatasetColumn{DS_BINARY, 1u << 20, nullptr, nullptr};
  EXPECT_EQ(DatasetColumnAlloc(&col, 1u << 13), ERR_MEMORY);  // 8 GiB: beyond the 4 GiB limit
  EXPECT_EQ(DatasetColumnAlloc(&col, 0), 0);
  EXPECT_EQ(col.data, nullptr);
  EXPECT_EQ(col.ind, nullptr);

  Dataset ds{};
  Build(ds, {{DS_INTEGER, 4}}, 4);
  EXPECT_EQ(DatasetInsertColumn(&ds, 0, DS_BINARY, UINT32_MAX), ERR_MEMORY);
  EXPECT_EQ(ds.colCount, 1);
  EXPECT_EQ(ds.cols[0].type, DS_INTEGER);
  ds.cols[0].width = 1u << 20;
  EXPECT_EQ(DatasetSetRows(&ds, 1 << 13), ERR_MEMORY);
  EXPECT_EQ(ds.rowCapacity, 0);
  DatasetFree(&ds);
}

TEST(Dataset, CompareRowsNullFirstThenOwnLength) {
  struct Case {
    const char* name;
    int32_t type;
    uint32_t width;
    std::string_view a, b;  // slot bytes; empty means a NULL row
    int32_t equal;
  };
  using namespace std::literals;
  const Case kCases[] = {
      {"NULL against 0", DS_INTEGER, 4, ""sv, "\0\0\0\0"sv, 0},
      {"NULL against NULL", DS_INTEGER, 4, ""sv, ""sv, 1},
      {"0 against 0", DS_INTEGER, 4, "\0\0\0\0"sv, "\0\0\0\0"sv, 1},
      {"char, stale bytes after NUL", DS_CHAR, 6, "ab\0xyz"sv, "ab\0qrs"sv, 1},
      {"char, different text", DS_CHAR, 6, "ab\0xyz"sv, "ac\0xyz"sv, 0},
      {"string, stale bytes", DS_STRING, 6, "abc\0de"sv, "abc\0fg"sv, 1},
      {"varchar2, stale bytes", DS_VARCHAR2, 8, "\x02\0abXXXX"sv, "\x02\0abYYYY"sv, 1},
      {"varchar2, other length", DS_VARCHAR2, 8, "\x02\0abcXXX"sv, "\x03\0abcXXX"sv, 0},
      {"wchar, stale units", DS_WCHAR, 6, "a\0\0\0x\0"sv, "a\0\0\0y\0"sv, 1},
      {"wstring, stale units", DS_WSTRING, 6, "a\0\0\0x\0"sv, "a\0\0\0y\0"sv, 1},
      {"wvarchar4, stale units", DS_WVARCHAR4, 8, "\x01\0\0\0a\0x\0"sv, "\x01\0\0\0a\0y\0"sv, 1},
      {"binary compares whole slot", DS_BINARY, 3, "a\0x"sv, "a\0y"sv, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Dataset a{}, b{};
    Build(a, {{c.type, c.width}}, 1);
    Build(b, {{c.type, c.width}}, 1);
    for (auto [ds, v] : {std::pair{&a, c.a}, std::pair{&b, c.b}}) {
      ASSERT_TRUE(v.empty() || v.size() == c.width);
      std::memcpy(ds->cols[0].data, v.data(), v.size());
      ds->cols[0].ind[0] = v.empty() ? DS_IND_NULL : 0;
      ds->rowCount = 1;
    }
    int32_t eq = -1;
    EXPECT_EQ(DatasetCompareRows(&a, 0, &b, 0, &eq), 0);
    EXPECT_EQ(eq, c.equal);
    DatasetFree(&a);
    DatasetFree(&b);
  }
}

TEST(Dataset, CompareRowsLongValuesAndLayout) {
  Dataset a{}, b{};
  Build(a, {{DS_LONGWCHAR, 16}}, 2);
  Build(b, {{DS_LONGWCHAR, 16}}, 2);
  SetLong(a.cols[0], 0, u"abc", 3, 2);
  SetLong(b.cols[0], 0, u"abc", 3, 2);  // same text, another buffer
  SetLong(a.cols[0], 1, u"abc", 3, 2);
  SetLong(b.cols[0], 1, u"abd", 3, 2);
  a.rowCount = b.rowCount = 2;
  int32_t eq = -1;
  EXPECT_EQ(DatasetCompareRows(&a, 0, &b, 0, &eq), 0);
  EXPECT_EQ(eq, 1);
  EXPECT_EQ(DatasetCompareRows(&a, 1, &b, 1, &eq), 0);
  EXPECT_EQ(eq, 0);
  EXPECT_EQ(DatasetCompareRows(&a, 2, &b, 0, &eq), ERR_GENERAL);
  b.cols[0].type = DS_LONGCHAR;
  eq = -1;
  EXPECT_EQ(DatasetCompareRows(&a, 0, &b, 0, &eq), ERR_GENERAL);
  EXPECT_EQ(eq, -1);
  b.cols[0].type = DS_LONGWCHAR;
  DatasetFree(&a);
  DatasetFree(&b);
}

// Runs the operation for n = 1, 2, ... with the n-th allocation failing until it
// completes without meeting the failure; every failure must be a clean ERR_MEMORY
// that leaks nothing and frees nothing twice.
TEST_P(DatasetFault, FailsCleanly) {
  const FaultCase& c = GetParam();
  uint32_t n = 1;
  for (; n < 200; ++n) {
    SCOPED_TRACE("failing allocation " + std::to_string(n));
    Dataset* a = c.operands > 0 ? Operand(c.layout) : nullptr;
    Dataset* b = c.operands > 1 ? Operand(false) : nullptr;
    Dataset* const before = a;
    int32_t rc;
    const bool hit = Inject(n, rc, [&] { return c.op(a, b, src_); });
    if (hit) {
      EXPECT_EQ(rc, ERR_MEMORY);
      if (c.intact) {
        EXPECT_EQ(a, before);
        for (const Dataset* d : {a, b})
          if (d) ExpectSame(*d, src_);
      }
    } else {
      EXPECT_EQ(rc, 0);
      c.done(a, b, src_);
    }
    Release(a);
    Release(b);
    if (!hit) break;
  }
  EXPECT_GT(n, 1u);
  EXPECT_LT(n, 200u);
}

INSTANTIATE_TEST_SUITE_P(Dataset, DatasetFault, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Dataset, CopyColumnFillsTheWholeCapacity) {
  Dataset src{};
  MakeSource(src);
  Dataset* dst = nullptr;
  ASSERT_EQ(DatasetCloneLayout(&dst, &src, 5), 0);
  for (uint16_t c = 0; c < src.colCount; ++c) ASSERT_EQ(DatasetCopyColumn(dst, &src, c, c), 0);
  EXPECT_EQ(dst->rowCount, 3);
  EXPECT_EQ(dst->rowCapacity, 5);
  // The two spare rows have storage in every column.
  EXPECT_EQ(DatasetCopyRow(dst, &src, 3, 0, 0), 0);
  EXPECT_EQ(DatasetCopyRow(dst, &src, 4, 2, 1), 0);
  EXPECT_EQ(DatasetCopyRow(dst, &src, 5, 2, 0), ERR_GENERAL);  // capacity reached
  EXPECT_EQ(GetLong(src.cols[1], 2).data, nullptr);            // moved into dst
  Release(dst);
  DatasetFree(&src);
}

TEST(Dataset, LayoutMismatchesChangeNothing) {
  Dataset a{}, b{}, c{};
  MakeSource(a);
  MakeSource(b);
  Build(c, {{DS_INTEGER, 4}, {DS_LONGCHAR, 16}}, 3);
  c.rowCount = 3;
  EXPECT_EQ(DatasetAppend(&a, &c), ERR_GENERAL);
  b.cols[3].width += 4;
  EXPECT_EQ(DatasetAppend(&a, &b), ERR_GENERAL);
  b.cols[3].width -= 4;
  EXPECT_EQ(DatasetAppend(&a, &a), ERR_GENERAL);
  EXPECT_EQ(DatasetCopyRow(&a, &c, 0, 0, 1), ERR_GENERAL);
  c.rowCount = 2;
  EXPECT_EQ(DatasetJoin(&a, &c), ERR_GENERAL);  // row counts differ
  c.rowCount = 3;
  ASSERT_EQ(DatasetSetRows(&c, 4), 0);
  EXPECT_EQ(DatasetJoin(&a, &c), ERR_GENERAL);  // same rows, other capacity
  EXPECT_EQ(a.rowCount, 3);
  EXPECT_EQ(a.colCount, 6);
  ExpectSame(a, b);
  DatasetFree(&a);
  DatasetFree(&b);
  DatasetFree(&c);
}

TEST(Dataset, InsertAndDeleteRowsAndColumns) {
  Dataset ds{};
  Build(ds, {{DS_INTEGER, 4}, {DS_LONGCHAR, 16}, {DS_STRING, 4}}, 3);
  int32_t v = 5;
  std::memcpy(Slot(ds.cols[0], 0), &v, 4);
  ds.cols[0].ind[0] = 0;
  SetLong(ds.cols[1], 0, "abc", 3);
  ds.rowCount = 1;
  ASSERT_EQ(DatasetInsertRow(&ds, 0), 0);
  ASSERT_EQ(DatasetInsertRow(&ds, 2), 0);            // at rowCount: appends a NULL row
  EXPECT_EQ(DatasetInsertRow(&ds, 0), ERR_GENERAL);  // full
  EXPECT_EQ(ds.cols[1].ind[0], DS_IND_NULL);
  EXPECT_EQ(ds.cols[1].ind[1], 0);
  EXPECT_EQ(ds.cols[1].ind[2], DS_IND_NULL);
  EXPECT_EQ(std::memcmp(GetLong(ds.cols[1], 1).data, "abc", 3), 0);
  ASSERT_EQ(DatasetDeleteColumn(&ds, 0), 0);
  EXPECT_EQ(ds.colCount, 2);
  EXPECT_EQ(ds.cols[0].type, DS_LONGCHAR);
  EXPECT_EQ(ds.cols[1].type, DS_STRING);
  EXPECT_EQ(ds.cols[2].data, nullptr);
  int32_t type = 0, width = 0;
  EXPECT_EQ(DatasetColumnType(&ds, 1, &type, &width), 0);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(DatasetColumnType(&ds, 2, &type, &width), ERR_GENERAL);
  DatasetFree(&ds);
}

TEST(Dataset, GetValue) {
  Dataset ds{};
  Build(ds, {{DS_STRING, 6}, {DS_VARCHAR2, 6}, {DS_CHAR, 4}}, 2);
  std::memcpy(Slot(ds.cols[0], 0), "abc", 4);
  std::memcpy(Slot(ds.cols[1], 0), "\xff\x00wxyz", 6);  // prefix claims more than the slot
  std::memcpy(Slot(ds.cols[2], 0), "ab\0z", 4);
  for (uint16_t c = 0; c < 3; ++c) ds.cols[c].ind[0] = 0;
  ds.rowCount = 2;
  struct Case {
    uint32_t row;
    uint16_t col;
    uint32_t len;
    std::string_view bytes;
  };
  using namespace std::literals;
  const Case kCases[] = {
      {0, 0, 2, "ab"sv},    {0, 0, 9, "abc"sv},   {1, 0, 9, ""sv},
      {0, 1, 99, "wxyz"sv}, {0, 2, 9, "ab\0z"sv}, {0, 2, 0, ""sv},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE("row " + std::to_string(c.row) + " col " + std::to_string(c.col));
    char buf[16] = {};
    uint32_t len = c.len;
    EXPECT_EQ(DatasetGetValue(&ds, c.row, c.col, buf, &len), 0);
    EXPECT_EQ(std::string_view(buf, c.len == 0 ? 0 : len), c.bytes);
  }
  uint32_t len = 4;
  char buf[4];
  EXPECT_EQ(DatasetGetValue(&ds, 2, 0, buf, &len), ERR_GENERAL);
  DatasetFree(&ds);
}

TEST(Dataset, TruncateKeepsEachValuesOwnLength) {
  Dataset ds{};
  Build(ds, {{DS_CHAR, 10}, {DS_BINARY, 4}, {DS_STRING, 8}, {DS_VARCHAR1, 6}, {DS_WCHAR, 8}}, 3);
  using namespace std::literals;
  const std::string_view chars[] = {"ab\0stale12"sv, "abcdefghij"sv, "a\xc3\xa9xxxxxx"sv};
  for (uint32_t r = 0; r < 3; ++r) {
    std::memcpy(Slot(ds.cols[0], r), chars[r].data(), 10);
    std::memcpy(Slot(ds.cols[1], r), "\0\1\2\3", 4);
    std::memcpy(Slot(ds.cols[2], r), "a\xc3\xa9z", 5);
    std::memcpy(Slot(ds.cols[3], r), "\x05hello", 6);
    std::memcpy(Slot(ds.cols[4], r), u"ab\0x", 8);
    for (uint16_t c = 0; c < 5; ++c) ds.cols[c].ind[r] = 0;
  }
  ds.rowCount = 3;
  ASSERT_EQ(DatasetTruncate(&ds, 3), 0);
  EXPECT_EQ(ds.cols[0].type, DS_VARCHAR4);
  EXPECT_EQ(ds.cols[0].width, 16u);
  EXPECT_EQ(ds.cols[1].type, DS_VARBINARY4);
  EXPECT_EQ(ds.cols[4].type, DS_WVARCHAR4);
  ExpectValues(ds, {
                       {0, 0, "ab"sv},
                       {0, 1, "abc"sv},
                       {0, 2, "a\xc3\xa9"sv},
                       {1, 0, "\0\1\2"sv},
                       {2, 0, "a\xc3\xa9"sv},
                       {3, 0, "hel"sv},
                       {4, 0, "a\0b\0"sv},
                   });
  DatasetFree(&ds);
}

TEST(Dataset, ToAnsiSizesByRealLength) {
  Dataset ds{};
  Build(ds,
        {{DS_WCHAR, DatasetTypeWidth(DS_WCHAR, 2)},
         {DS_WSTRING, DatasetTypeWidth(DS_WSTRING, 4)},
         {DS_LONGWCHAR, 16},
         {DS_WVARCHAR4, DatasetTypeWidth(DS_WVARCHAR4, 4)}},
        3);
  for (uint32_t r : {0u, 2u}) {
    std::memcpy(Slot(ds.cols[0], r), r ? u"ab" : u"\u20ac\u20ac",
                4);  // 6 UTF-8 bytes in a 4-byte slot
    std::memcpy(Slot(ds.cols[1], r), u"a\u00e9", 6);
    SetLong(ds.cols[2], r, u"\u20acz", 2, 2);
    std::memcpy(Slot(ds.cols[3], r), "\x02\0\0\0", 4);
    std::memcpy(Slot(ds.cols[3], r) + 4, u"\u00e9\u00e9", 4);
    for (uint16_t c : {0, 1, 3}) ds.cols[c].ind[r] = 0;
  }
  ds.rowCount = 3;
  ASSERT_EQ(DatasetToAnsi(&ds), 0);
  EXPECT_EQ(ds.cols[0].type, DS_STRING);
  EXPECT_EQ(ds.cols[0].width, 7u);  // grown to the longest value
  EXPECT_EQ(ds.cols[1].type, DS_STRING);
  EXPECT_EQ(ds.cols[1].width, 10u);  // the value fits: width unchanged
  EXPECT_EQ(ds.cols[2].type, DS_LONGCHAR);
  EXPECT_EQ(ds.cols[3].type, DS_VARCHAR4);
  using namespace std::literals;
  ExpectValues(ds, {
                       {0, 0, "\xe2\x82\xac\xe2\x82\xac"sv},
                       {0, 1, ""sv},
                       {0, 2, "ab"sv},
                       {1, 2, "a\xc3\xa9"sv},
                       {2, 0, "\xe2\x82\xacz"sv},
                       {3, 2, "\xc3\xa9\xc3\xa9"sv},
                   });
  DatasetFree(&ds);
}
