// Tests of the dataset cache: the file codec over every Dataset type, the byte
// layout others rely on, text stored by its length in both builds' forms,
// refusals of damaged files, offsets past 4 GiB, the spill at the memory limit
// over a fetching fake, windows that read only their rows and keep every value
// across random jumps, and the privacy of the temporary files.

#include "scrs/dsc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "tests/tmpdir.h"

namespace {

struct DatasetOwner {
  Dataset ds{};
  ~DatasetOwner() { DatasetFree(&ds); }
};

struct Files {
  FILE* data = std::tmpfile();
  FILE* index = std::tmpfile();
  ~Files() {
    std::fclose(data);
    std::fclose(index);
  }
  std::vector<unsigned char> bytes() const {
    std::fflush(data);
    std::vector<unsigned char> out;
    std::rewind(data);
    for (int c; (c = std::fgetc(data)) != EOF;) out.push_back(static_cast<unsigned char>(c));
    return out;
  }
};

char* slot(Dataset& ds, uint16_t c, int r) {
  return ds.cols[c].data + uint64_t(r) * ds.cols[c].width;
}

void put(Dataset& ds, uint16_t c, int r, const void* v, size_t n) {
  std::memcpy(slot(ds, c, r), v, n);
  ds.cols[c].ind[r] = 0;
}

template <class T>
void put_scalar(Dataset& ds, uint16_t c, int r, T v) {
  put(ds, c, r, &v, sizeof v);
}

void put_long(Dataset& ds, uint16_t c, int r, const void* bytes, uint32_t len, size_t unit) {
  DatasetLong e{len, nullptr};
  if (bytes != nullptr) {
    e.data = std::malloc(len * unit + 2);
    std::memcpy(e.data, bytes, len * unit);
  }
  put(ds, c, r, &e, sizeof e);
}

void put_prefixed(Dataset& ds, uint16_t c, int r, uint32_t prefix, const void* bytes, uint32_t len,
                  uint32_t unit) {
  std::memcpy(slot(ds, c, r), &len, prefix);
  std::memcpy(slot(ds, c, r) + prefix, bytes, len * unit);
  ds.cols[c].ind[r] = 0;
}

// One column of every type with width for 8 characters; row 0 ordinary
// values, row 1 NULLs, row 2 the edges (extremes, empty long values).
void every_type(Dataset& ds) {
  ASSERT_EQ(DatasetInit(&ds, 28), 0);
  ds.colCount = 28;
  for (int t = 0; t <= DS_WVARCHAR4; ++t)
    ds.cols[t] = DatasetColumn{t, DatasetTypeWidth(t, 8), nullptr, nullptr};
  ASSERT_EQ(DatasetSetRows(&ds, 3), 0);
  ds.rowCount = 3;
  const char16_t wide[] = u"w\u00e9x";
  ds.cols[DS_NONE].ind[0] = 0;
  put(ds, DS_CHAR, 0, "abcdefgh", 8);
  put_scalar<uint8_t>(ds, DS_BIT, 0, 1);
  put_scalar<int8_t>(ds, DS_TINYINT, 0, -5);
  put_scalar<int16_t>(ds, DS_SMALLINT, 0, -300);
  put_scalar<int32_t>(ds, DS_INTEGER, 0, -70000);
  put_scalar<uint8_t>(ds, DS_UTINYINT, 0, 200);
  put_scalar<uint16_t>(ds, DS_USMALLINT, 0, 60000);
  put_scalar<uint32_t>(ds, DS_UINTEGER, 0, 4000000000u);
  put_scalar<float>(ds, DS_REAL, 0, 1.5f);
  put_scalar<double>(ds, DS_DOUBLE, 0, -2.25e300);
  const uint16_t date[3] = {static_cast<uint16_t>(-44), 3, 15};
  put(ds, DS_DATE, 0, date, 6);
  const uint16_t time[3] = {23, 59, 58};
  put(ds, DS_TIME, 0, time, 6);
  const uint16_t ts[6] = {2026, 12, 11, 1, 2, 3};
  put(ds, DS_TIMESTAMP, 0, ts, 12);
  const uint32_t frac = 999999999;
  std::memcpy(slot(ds, DS_TIMESTAMP, 0) + 12, &frac, 4);
  put(ds, DS_BINARY, 0, "\x00\xff\x01\x02\x03\x04\x05\x06", 8);
  put_long(ds, DS_LONGCHAR, 0, "long text", 9, 1);
  put_long(ds, DS_LONGBINARY, 0, "\x00\x01\x02", 3, 1);
  put(ds, DS_STRING, 0, "str", 4);
  put_prefixed(ds, DS_VARCHAR1, 0, 1, "v1", 2, 1);
  put_prefixed(ds, DS_VARCHAR2, 0, 2, "v22", 3, 1);
  put_prefixed(ds, DS_VARCHAR4, 0, 4, "v4444", 5, 1);
  put_prefixed(ds, DS_VARBINARY1, 0, 1, "\x00\x01", 2, 1);
  put_prefixed(ds, DS_VARBINARY2, 0, 2, "\xff", 1, 1);
  put_prefixed(ds, DS_VARBINARY4, 0, 4, "12345678", 8, 1);
  put(ds, DS_WCHAR, 0, u"abcdefgh", 16);
  put(ds, DS_WSTRING, 0, wide, sizeof wide);
  put_long(ds, DS_LONGWCHAR, 0, wide, 3, 2);
  put_prefixed(ds, DS_WVARCHAR4, 0, 4, wide, 3, 2);
  // Row 2: extremes, and long and prefixed values of no length.
  put_scalar<int8_t>(ds, DS_TINYINT, 2, -128);
  put_scalar<uint8_t>(ds, DS_UTINYINT, 2, 255);
  put_scalar<int16_t>(ds, DS_SMALLINT, 2, INT16_MIN);
  put_scalar<uint16_t>(ds, DS_USMALLINT, 2, UINT16_MAX);
  put_scalar<int32_t>(ds, DS_INTEGER, 2, INT32_MIN);
  put_long(ds, DS_LONGCHAR, 2, "", 0, 1);
  put_long(ds, DS_LONGBINARY, 2, nullptr, 0, 1);
  put_long(ds, DS_LONGWCHAR, 2, u"", 0, 2);
  put_prefixed(ds, DS_VARCHAR4, 2, 4, "", 0, 1);
  ds.cols[DS_BIT].ind[2] = -7;  // an indicator other than NULL without a value
}

void expect_same(const Dataset& a, int ra, const Dataset& b, int rb) {
  ASSERT_EQ(a.colCount, b.colCount);
  for (uint16_t c = 0; c < a.colCount; ++c) {
    SCOPED_TRACE("column type " + std::to_string(a.cols[c].type));
    EXPECT_EQ(a.cols[c].type, b.cols[c].type);
    EXPECT_EQ(a.cols[c].ind[ra], b.cols[c].ind[rb]);
  }
  int32_t equal = 0;
  ASSERT_EQ(DatasetCompareRows(&a, ra, &b, rb, &equal), 0);
  EXPECT_EQ(equal, 1) << "rows " << ra << " and " << rb;
}

TEST(DscCodec, EveryTypeRoundTripsWithNullsAndEmptyLongValues) {
  DatasetOwner src, back;
  every_type(src.ds);
  Files f;
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, f.data, f.index, &src.ds, 0, 0), 1);
  ASSERT_EQ(DSC_AppendRows(f.data, f.index, &src.ds), 1);  // rows 3..5 repeat 0..2
  ASSERT_EQ(DSC_StreamRows(DSC_READ, f.data, f.index, &back.ds, 1, 4), 1);
  ASSERT_EQ(back.ds.rowCount, 4);
  for (int r = 0; r < 4; ++r) expect_same(src.ds, (r + 1) % 3, back.ds, r);
  // Long columns are read back with the in-memory width, text terminated.
  EXPECT_EQ(back.ds.cols[DS_LONGCHAR].width, sizeof(DatasetLong));
  DatasetLong e;
  std::memcpy(&e, slot(back.ds, DS_LONGCHAR, 1), sizeof e);
  ASSERT_NE(e.data, nullptr);
  EXPECT_EQ(e.length, 0u);
  EXPECT_EQ(static_cast<char*>(e.data)[0], '\0');
  std::memcpy(&e, slot(back.ds, DS_LONGWCHAR, 2), sizeof e);
  EXPECT_EQ(std::memcmp(e.data, u"w\u00e9x", 8), 0);  // with its 16-bit terminator
}

TEST(DscCodec, ByteLayoutOfHeaderIndicatorsAndWidenedScalars) {
  DatasetOwner ds;
  ASSERT_EQ(DatasetInit(&ds.ds, 2), 0);
  ds.ds.colCount = 2;
  ds.ds.cols[0] = DatasetColumn{DS_TINYINT, 1, nullptr, nullptr};
  ds.ds.cols[1] = DatasetColumn{DS_UTINYINT, 1, nullptr, nullptr};
  ASSERT_EQ(DatasetSetRows(&ds.ds, 2), 0);
  ds.ds.rowCount = 2;
  put_scalar<int8_t>(ds.ds, 0, 0, -1);
  put_scalar<uint8_t>(ds.ds, 1, 0, 255);  // row 1 stays NULL in both columns
  Files f;
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, f.data, f.index, &ds.ds, 0, 0), 1);
  const std::vector<unsigned char> want = {
      2,    0,    0,    0,    2,    0,    0,    0,     // columns, rows
      3,    0,    0,    0,    1,    0,    0,    0,     // DS_TINYINT, width 1
      6,    0,    0,    0,    1,    0,    0,    0,     // DS_UTINYINT, width 1
      0,    0,    0,    0,    0xff, 0xff, 0xff, 0xff,  // row 0: present, -1
      0,    0,    0,    0,    0xff, 0,    0,    0,     // present, 255
      0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,  // row 1: two NULL indicators
  };
  EXPECT_EQ(f.bytes(), want);
}

TEST(DscCodec, RefusesReadsPastTheRowsAndValuesLongerThanTheirColumn) {
  DatasetOwner ds, back;
  ASSERT_EQ(DatasetInit(&ds.ds, 1), 0);
  ds.ds.colCount = 1;
  ds.ds.cols[0] = DatasetColumn{DS_VARCHAR4, DatasetTypeWidth(DS_VARCHAR4, 4), nullptr, nullptr};
  ASSERT_EQ(DatasetSetRows(&ds.ds, 1), 0);
  ds.ds.rowCount = 1;
  put_prefixed(ds.ds, 0, 0, 4, "abcd", 4, 1);
  Files f;
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, f.data, f.index, &ds.ds, 0, 0), 1);
  EXPECT_EQ(DSC_StreamRows(DSC_READ, f.data, f.index, &back.ds, 1, 0), 0);
  // A length beyond the slot (the width is 8: prefix and four bytes).
  ASSERT_EQ(std::fseek(f.data, 16 + 4, SEEK_SET), 0);
  const unsigned char big[4] = {0xf0, 0xff, 0xff, 0x7f};
  ASSERT_EQ(std::fwrite(big, 1, 4, f.data), 4u);
  EXPECT_EQ(DSC_StreamRows(DSC_READ, f.data, f.index, &back.ds, 0, 0), 0);
  // A column entry naming a type that does not exist.
  ASSERT_EQ(std::fseek(f.data, 8, SEEK_SET), 0);
  const unsigned char type[4] = {28, 0, 0, 0};
  ASSERT_EQ(std::fwrite(type, 1, 4, f.data), 4u);
  EXPECT_EQ(DSC_StreamRows(DSC_READ, f.data, f.index, &back.ds, 0, 0), 0);
}

// Text takes its length, not its slot: a UTF-16 row stores the same bytes as
// the 8-bit row of the same text, and every unit sequence (pairs, unpaired
// surrogates, text filling its slot without a terminator) comes back whole.
TEST(DscCodec, TextIsStoredByItsLengthAndWideTextInItsEightBitForm) {
  const std::u16string wide[] = {u"abc", u"", u"\u00e9\u4e2d\U0001F600x",
                                 std::u16string(1, char16_t(0xD800)) + u"a" + char16_t(0xDC00),
                                 std::u16string(1, char16_t(0xDFFF)), u"twelve units"};
  constexpr uint32_t kChars = 12;
  const int32_t wideTypes[] = {DS_WCHAR, DS_WSTRING, DS_WVARCHAR4, DS_LONGWCHAR};
  DatasetOwner ds, back;
  ASSERT_EQ(DatasetInit(&ds.ds, 4), 0);
  ds.ds.colCount = 4;
  for (uint16_t c = 0; c < 4; ++c)
    ds.ds.cols[c] = DatasetColumn{wideTypes[c], DatasetTypeWidth(wideTypes[c], kChars), nullptr,
                                  nullptr};
  const int rows = static_cast<int>(std::size(wide));
  ASSERT_EQ(DatasetSetRows(&ds.ds, rows), 0);
  ds.ds.rowCount = rows;
  for (int r = 0; r < rows; ++r) {
    const std::u16string& w = wide[r];
    const auto n = static_cast<uint32_t>(w.size());
    put(ds.ds, 0, r, w.data(), 2 * n);  // DS_WCHAR fills its slot only on the last row
    put(ds.ds, 1, r, w.data(), 2 * n);
    put_prefixed(ds.ds, 2, r, 4, w.data(), n, 2);
    put_long(ds.ds, 3, r, w.data(), n, 2);
  }
  Files f;
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, f.data, f.index, &ds.ds, 0, 0), 1);
  ASSERT_EQ(DSC_StreamRows(DSC_READ, f.data, f.index, &back.ds, 0, 0), 1);
  ASSERT_EQ(back.ds.rowCount, rows);
  for (int r = 0; r < rows; ++r) expect_same(ds.ds, r, back.ds, r);
  // The terminator a shorter value had in its slot is there again.
  EXPECT_EQ(std::memcmp(slot(back.ds, 1, 0), u"abc", 8), 0);

  // The same text, 8-bit, in slots of the same characters: files of one size.
  const int32_t narrowTypes[] = {DS_CHAR, DS_STRING, DS_VARCHAR4, DS_LONGCHAR};
  const char* texts[] = {"abc", "twelve units", "x"};
  DatasetOwner w8, n8;
  for (DatasetOwner* o : {&w8, &n8}) {
    const bool isWide = o == &w8;
    ASSERT_EQ(DatasetInit(&o->ds, 4), 0);
    o->ds.colCount = 4;
    for (uint16_t c = 0; c < 4; ++c) {
      const int32_t t = isWide ? wideTypes[c] : narrowTypes[c];
      o->ds.cols[c] = DatasetColumn{t, DatasetTypeWidth(t, kChars), nullptr, nullptr};
    }
    ASSERT_EQ(DatasetSetRows(&o->ds, 3), 0);
    o->ds.rowCount = 3;
    for (int r = 0; r < 3; ++r) {
      const std::string t = texts[r];
      const std::u16string w(t.begin(), t.end());
      const auto n = static_cast<uint32_t>(t.size());
      const void* bytes = isWide ? static_cast<const void*>(w.data()) : t.data();
      const uint32_t unit = isWide ? 2 : 1;
      put(o->ds, 0, r, bytes, n * unit);
      put(o->ds, 1, r, bytes, n * unit);
      put_prefixed(o->ds, 2, r, 4, bytes, n, unit);
      put_long(o->ds, 3, r, bytes, n, unit);
    }
  }
  Files fw, fn;
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, fw.data, fw.index, &w8.ds, 0, 0), 1);
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, fn.data, fn.index, &n8.ds, 0, 0), 1);
  const size_t header = 8 + 8 * 4;
  // Per row: four indicators, four lengths and the text four times.
  EXPECT_EQ(fn.bytes().size(), header + 3 * 32 + 4 * (3 + 12 + 1));
  EXPECT_EQ(fw.bytes().size(), fn.bytes().size());
}

TEST(DscCodec, RowsPastFourGigabytesOfDataAreFoundAgain) {
  const std::string dir = MakeProcessTempDir("kes_dsc_");
  ASSERT_FALSE(dir.empty());
  FILE* data = std::fopen((dir + "/data").c_str(), "w+b");
  FILE* index = std::fopen((dir + "/index").c_str(), "w+b");
  ASSERT_TRUE(data && index);
  DatasetOwner ds, back;
  ASSERT_EQ(DatasetInit(&ds.ds, 1), 0);
  ds.ds.colCount = 1;
  ds.ds.cols[0] = DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
  ASSERT_EQ(DatasetSetRows(&ds.ds, 1), 0);
  ds.ds.rowCount = 1;
  put_scalar<int32_t>(ds.ds, 0, 0, 7);
  ASSERT_EQ(DSC_StreamRows(DSC_WRITE, data, index, &ds.ds, 0, 0), 1);
  // A hole stands for 5 GiB of earlier rows; the next row lands behind it.
  ASSERT_EQ(ftruncate(fileno(data), (5LL << 30)), 0);
  put_scalar<int32_t>(ds.ds, 0, 0, 8);
  ASSERT_EQ(DSC_AppendRows(data, index, &ds.ds), 1);
  ASSERT_EQ(DSC_StreamRows(DSC_READ, data, index, &back.ds, 1, 1), 1);
  int32_t v = 0;
  std::memcpy(&v, back.ds.cols[0].data, 4);
  EXPECT_EQ(v, 8);
  std::fclose(data);
  std::fclose(index);
}

// An agent cursor of `total` rows (an integer, its text and its text in
// UTF-16 with a character outside the BMP) handed out in blocks, through a
// driver table holding only DRV_Fetch.
struct FetchFake {
  int32_t total = 0;
  int32_t next = 0;
  int32_t fetches = 0;
};
FetchFake fake;

std::string row_text(int32_t v) { return "row" + std::to_string(v); }
std::u16string row_wide(int32_t v) {
  const std::string t = std::to_string(v);
  return u"\u00e9" + std::u16string(t.begin(), t.end()) + u"\U0001F600";
}

int32_t fake_fetch(DrvHandle, uint16_t rows, Dataset* ds) {
  ++fake.fetches;
  const int32_t n = std::min<int32_t>(rows, fake.total - fake.next);
  DatasetFree(ds);
  if (int32_t rc = DatasetInit(ds, 3); rc != 0) return rc;
  ds->colCount = 3;
  ds->cols[0] = DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
  ds->cols[1] = DatasetColumn{DS_VARCHAR4, DatasetTypeWidth(DS_VARCHAR4, 12), nullptr, nullptr};
  ds->cols[2] = DatasetColumn{DS_WSTRING, DatasetTypeWidth(DS_WSTRING, 16), nullptr, nullptr};
  if (int32_t rc = DatasetSetRows(ds, n); rc != 0) return rc;
  for (int32_t r = 0; r < n; ++r, ++fake.next) {
    put_scalar<int32_t>(*ds, 0, r, fake.next);
    const std::string text = row_text(fake.next);
    put_prefixed(*ds, 1, r, 4, text.data(), static_cast<uint32_t>(text.size()), 1);
    if (fake.next % 7 == 3) continue;  // a NULL now and then
    const std::u16string wide = row_wide(fake.next);
    put(*ds, 2, r, wide.data(), 2 * wide.size());
  }
  ds->rowCount = n;
  return 0;
}

int32_t row_value(const Dataset& ds, int r) {
  int32_t v = 0;
  std::memcpy(&v, ds.cols[0].data + uint64_t(r) * 4, 4);
  return v;
}

// Every value of window row r is the one the fake gave result row v.
void expect_row(const Dataset& ds, int r, int32_t v) {
  ASSERT_EQ(row_value(ds, r), v);
  const std::string text = row_text(v);
  uint32_t len = 0;
  std::memcpy(&len, slot(const_cast<Dataset&>(ds), 1, r), 4);
  EXPECT_EQ(std::string(slot(const_cast<Dataset&>(ds), 1, r) + 4, len), text) << "row " << v;
  const char16_t* w = reinterpret_cast<const char16_t*>(slot(const_cast<Dataset&>(ds), 2, r));
  if (v % 7 == 3) {
    EXPECT_EQ(ds.cols[2].ind[r], DS_IND_NULL) << "row " << v;
  } else {
    EXPECT_EQ(ds.cols[2].ind[r], 0);
    EXPECT_EQ(std::u16string(w), row_wide(v)) << "row " << v;
  }
}

class DscFill : public ::testing::Test {
 protected:
  void SetUp() override {
    ops.DRV_Fetch = fake_fetch;
    drv.ops = &ops;
    DSC_Init(&dsc);
  }
  void TearDown() override { DSC_Close(&dsc); }
  int32_t fill(int32_t rows) {
    fake = FetchFake{rows, 0, 0};
    return DSC_Fill(&dsc, &drv, 1, &window.ds, &total);
  }
  // Every row of the result through windows of `count` rows.
  void expect_rows(int32_t rows, uint32_t count) {
    int32_t start = -1;
    for (int32_t first = 0; first < rows; first += static_cast<int32_t>(count)) {
      ASSERT_EQ(DSC_GetWindow(&dsc, first, count, &start, &window.ds), 0);
      const int32_t last = std::min<int32_t>(first + static_cast<int32_t>(count), rows) - 1;
      ASSERT_LE(last - start, window.ds.rowCount - 1) << "first " << first;
      EXPECT_EQ(row_value(window.ds, first - start), first);
      EXPECT_EQ(row_value(window.ds, last - start), last);
    }
  }
  DriverOps ops{};
  DriverRecord drv{};
  DSC dsc{};
  DatasetOwner window;
  int32_t total = -1;
};

TEST_F(DscFill, AtTheLimitRowsStayInMemoryAndOnePastItTheySpillWithTheSameAnswers) {
  ASSERT_EQ(fill(DSC_MEMORY_ROWS), 0);
  EXPECT_EQ(total, DSC_MEMORY_ROWS);
  EXPECT_EQ(dsc.state, DSC_IN_MEMORY);
  EXPECT_EQ(window.ds.rowCount, DSC_MEMORY_ROWS);
  expect_rows(DSC_MEMORY_ROWS, 700);

  DSC_Close(&dsc);
  ASSERT_EQ(fill(DSC_MEMORY_ROWS + 1), 0);
  EXPECT_EQ(total, DSC_MEMORY_ROWS + 1);
  EXPECT_EQ(dsc.state, DSC_SPILLED);
  EXPECT_EQ(window.ds.rowCount, 0);
  EXPECT_EQ(fake.fetches, DSC_MEMORY_ROWS / DSC_BATCH_ROWS + 2);  // ends on an empty batch
  expect_rows(DSC_MEMORY_ROWS + 1, 700);
}

// A window holds the rows asked for: a jump reads them alone, by their
// offsets; a scroll on from the rows loaded, either way, reads ahead in its
// direction; rows present are not read again.
TEST_F(DscFill, WindowsHoldTheRowsAskedForAndScrollsReadAhead) {
  ASSERT_EQ(fill(6000), 0);
  EXPECT_EQ(dsc.state, DSC_SPILLED);
  int32_t start = -1;
  ASSERT_EQ(DSC_GetWindow(&dsc, 2000, 3000, &start, &window.ds), 0);
  EXPECT_EQ(start, 2000);
  EXPECT_EQ(window.ds.rowCount, 3000);
  expect_row(window.ds, 0, 2000);
  expect_row(window.ds, 2999, 4999);
  // Inside the loaded rows nothing is read.
  const uint64_t before = DSC_TestBytesRead();
  ASSERT_EQ(DSC_GetWindow(&dsc, 2500, 100, &start, &window.ds), 0);
  EXPECT_EQ(DSC_TestBytesRead(), before);
  EXPECT_EQ(start, 2000);
  // On from the end: ahead up to the end of the result.
  ASSERT_EQ(DSC_GetWindow(&dsc, 5000, 100, &start, &window.ds), 0);
  EXPECT_EQ(start, 5000);
  EXPECT_EQ(window.ds.rowCount, 800);
  expect_row(window.ds, window.ds.rowCount - 1, 5000 + window.ds.rowCount - 1);
  // A jump, then back from it: ahead downwards.
  ASSERT_EQ(DSC_GetWindow(&dsc, 3000, 10, &start, &window.ds), 0);
  EXPECT_EQ(start, 3000);
  EXPECT_EQ(window.ds.rowCount, 10);
  ASSERT_EQ(DSC_GetWindow(&dsc, 2990, 10, &start, &window.ds), 0);
  EXPECT_EQ(start, 2920);
  EXPECT_EQ(window.ds.rowCount, 80);
  expect_row(window.ds, 0, 2920);
  expect_row(window.ds, 79, 2999);
  // Near the start the window stops at row 0 and still holds the request.
  ASSERT_EQ(DSC_GetWindow(&dsc, 30, 10, &start, &window.ds), 0);
  ASSERT_EQ(DSC_GetWindow(&dsc, 20, 10, &start, &window.ds), 0);
  EXPECT_EQ(start, 0);
  expect_row(window.ds, 20, 20);
  expect_row(window.ds, 29, 29);
}

// A jump reads the header, its rows' offsets and its rows, whatever the size
// of the result; after any jumps every row reads back whole.
TEST_F(DscFill, RandomJumpsReadOnlyTheirRowsAndEveryRowStaysIntact) {
  constexpr int32_t kTotal = 40000;
  ASSERT_EQ(fill(kTotal), 0);
  ASSERT_EQ(dsc.state, DSC_SPILLED);
  std::mt19937 gen(7);
  std::uniform_int_distribution<int32_t> pick(0, kTotal - 1);
  int32_t start = -1;
  constexpr uint32_t kRowset = 20;
  // A row of the fake takes at most 60 bytes, the header with its column
  // entries 32, an offset 8.
  constexpr uint64_t kMaxRow = 60;
  for (int j = 0; j < 300; ++j) {
    const int32_t first = pick(gen);
    const uint64_t before = DSC_TestBytesRead();
    ASSERT_EQ(DSC_GetWindow(&dsc, first, kRowset, &start, &window.ds), 0);
    const uint64_t read = DSC_TestBytesRead() - before;
    EXPECT_LE(read, 32 + 8 * (kRowset + 1) + kMaxRow * kRowset) << "jump to " << first;
    const int32_t rows = std::min<int32_t>(kRowset, kTotal - first);
    ASSERT_GE(window.ds.rowCount + start - first, rows);
    for (int32_t i = 0; i < rows; ++i) expect_row(window.ds, first - start + i, first + i);
  }
  // Every row, through windows of odd sizes in both directions.
  for (int32_t first = 0; first < kTotal; first += 13) {
    ASSERT_EQ(DSC_GetWindow(&dsc, first, 13, &start, &window.ds), 0);
    for (int32_t v = first; v < std::min(first + 13, kTotal); ++v)
      expect_row(window.ds, v - start, v);
  }
  for (int32_t first = kTotal - 13; first >= 0; first -= 13) {
    ASSERT_EQ(DSC_GetWindow(&dsc, first, 13, &start, &window.ds), 0);
    expect_row(window.ds, first - start, first);
  }
}

TEST_F(DscFill, EmptyResultStaysInMemoryAndReloadOfAnUnspilledCacheIsRefused) {
  ASSERT_EQ(fill(0), 0);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(dsc.state, DSC_IN_MEMORY);
  EXPECT_EQ(window.ds.colCount, 3);  // laid out by the agent
  int32_t start = -1;
  EXPECT_EQ(DSC_GetWindow(&dsc, 0, 10, &start, &window.ds), 0);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(DSC_Fill(nullptr, &drv, 1, &window.ds, &total), ERR_GENERAL);
}

TEST_F(DscFill, TemporaryFilesArePrivateAndLeaveNoNameBehind) {
  const std::string dir = MakeProcessTempDir("kes_dsctmp_");
  ASSERT_FALSE(dir.empty());
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", dir.c_str(), 1);
  const int32_t rc = fill(DSC_MEMORY_ROWS + 1);
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  ASSERT_EQ(rc, 0);
  for (FILE* f : {dsc.data, dsc.index}) {
    struct stat st {};
    ASSERT_EQ(fstat(fileno(f), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_nlink, 0u);  // unlinked while open
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  EXPECT_NE(fileno(dsc.data), fileno(dsc.index));
}

}  // namespace
