// Execute with parameter Datasets and fetch at the operation-table level.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_date.h"
#include "platform/informix/ixr_api.h"

namespace {

using Fetching = AgentTest;

void setInt(Dataset* ds, uint16_t c, int32_t r, int32_t v) {
  std::memcpy(ds->cols[c].data + static_cast<size_t>(r) * ds->cols[c].width, &v, 4);
  ds->cols[c].ind[r] = 0;
}

int32_t getInt(const Dataset& ds, uint16_t c, int32_t r) {
  int32_t v;
  std::memcpy(&v, ds.cols[c].data + static_cast<size_t>(r) * ds.cols[c].width, 4);
  return v;
}

std::string getLong(const Dataset& ds, uint16_t c, int32_t r) {
  DatasetLong lv;
  std::memcpy(&lv, ds.cols[c].data + static_cast<size_t>(r) * ds.cols[c].width, sizeof lv);
  return std::string(static_cast<const char*>(lv.data), lv.length);
}

// Every day of the years 1 to 9999 and a margin on both sides, and the extremes: the
// agent's reckoning gives what the runtime gives (zeros where the runtime refuses).
TEST(DateToYmd, AgreesWithTheRuntimeOnEveryDay) {
  int16_t first[3] = {1, 1, 1};
  int16_t last[3] = {12, 31, 9999};
  IxrDate from = 0;
  IxrDate to = 0;
  ASSERT_EQ(ixr_date_from_mdy(first, &from), 0);
  ASSERT_EQ(ixr_date_from_mdy(last, &to), 0);
  const auto agree = [](IxrDate days) {
    int16_t mdy[3] = {};
    (void)ixr_date_to_mdy(days, mdy);
    int16_t ymd[3] = {-1, -1, -1};
    InfDateToYmd(days, ymd);
    return ymd[0] == mdy[2] && ymd[1] == mdy[0] && ymd[2] == mdy[1];
  };
  for (IxrDate d = from - 400; d <= to + 400; ++d) ASSERT_TRUE(agree(d)) << "day " << d;
  for (IxrDate d : {INT32_MIN, INT32_MIN + 1, -1000000000, 1000000000, INT32_MAX})
    EXPECT_TRUE(agree(d)) << "day " << d;
}

TEST_F(Fetching, BlocksStopAtMaxRows) {
  DrvHandle conn = connect();
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  int32_t maxRows = 10;
  ASSERT_EQ(INF_SetOption(cur, DRVP_STMT_OPTION + SQL_MAX_ROWS, &maxRows), 0);
  ASSERT_EQ(INF_Prepare(cur, "select t1.a from t t1, t t2"), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  std::vector<int32_t> sizes;
  ASSERT_EQ(fetchAll(cur, 4, &sizes), 0);
  EXPECT_EQ(sizes, (std::vector<int32_t>{4, 4, 2, 0}));
  Dataset ds{};
  EXPECT_EQ(Fetch(cur, 4, &ds), 0);
  EXPECT_EQ(ds.colCount, 0);
  DatasetFree(&ds);
  EXPECT_EQ(INF_CloseCursor(cur), 0);
  EXPECT_EQ(Fetch(cur, 4, &ds), ERR_SEQUENCE);
}

TEST_F(Fetching, FailingFetchKeepsTheRowsBefore) {
  DrvHandle conn = connect();
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, "select a from t order by a", &cur), 0);
  InfCursorLookup(cur)->rowCallback = [](InfCursor* c) {
    if (c->rowCount == 1) ixr_test_fail_next(-244, -111, "FETCH");
  };
  Dataset ds{};
  EXPECT_EQ(Fetch(cur, 5, &ds), ERR_SYNTAX);
  EXPECT_EQ(ds.rowCount, 2);
  EXPECT_EQ(getInt(ds, 0, 1), 2);
  DatasetFree(&ds);
  std::vector<std::string> e = errors(cur);
  ASSERT_FALSE(e.empty());
  EXPECT_NE(e[0].find("(-244)"), std::string::npos) << e[0];
}

TEST_F(Fetching, AddedOrderByColumnIsNotDelivered) {
  DrvHandle conn = connect();
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, "select distinct b from t where a <= 3 order by a desc", &cur), 0);
  uint16_t n = 0;
  ColumnInfo* cols = nullptr;
  ASSERT_EQ(INF_DescribeColumns(cur, &n, &cols), 0);
  EXPECT_EQ(n, 1);
  ColumnInfoFree(cols, n);
  Dataset ds{};
  ASSERT_EQ(Fetch(cur, 10, &ds), 0);
  ASSERT_EQ(ds.rowCount, 3);
  EXPECT_EQ(ds.colCount, 1);
  EXPECT_STREQ(ds.cols[0].data, "three");
  EXPECT_STREQ(ds.cols[0].data + 2 * ds.cols[0].width, "one");
  DatasetFree(&ds);

  // The per-column attributes cover the application's columns only.
  int16_t attrCount = 0;
  ColAttr* attrs = nullptr;
  ASSERT_EQ(INF_ColAttributes(cur, &n, &attrCount, &cols, &attrs), 0);
  EXPECT_EQ(n, 1);
  bool typeName = false;
  for (int16_t i = 0; i < attrCount; ++i) {
    EXPECT_LE(attrs[i].column, 1);
    if (attrs[i].attrId == 14 && attrs[i].column == 1)
      typeName = std::string(attrs[i].value.strVal) == "VCHAR";
    if (attrs[i].valueKind == 0) std::free(attrs[i].value.strVal);
  }
  EXPECT_TRUE(typeName);
  std::free(attrs);
  ColumnInfoFree(cols, n);
}

TEST_F(Fetching, NextBlockReusesTheColumnStorage) {
  // The caller hands the previous block back: its columns (the hidden ORDER BY
  // one too) keep their storage, and only a different layout is laid out anew.
  DrvHandle conn = connect();
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, "select distinct b from t where a <= 6 order by a desc", &cur), 0);
  Dataset ds{};
  ASSERT_EQ(Fetch(cur, 4, &ds), 0);
  ASSERT_EQ(ds.rowCount, 4);
  ASSERT_EQ(ds.colCapacity, 2);
  const char* visible = ds.cols[0].data;
  const char* hidden = ds.cols[1].data;
  EXPECT_STREQ(ds.cols[0].data + 3 * ds.cols[0].width, "three");
  ASSERT_EQ(Fetch(cur, 4, &ds), 0);
  ASSERT_EQ(ds.rowCount, 2);
  EXPECT_EQ(ds.colCount, 1);
  EXPECT_EQ(ds.cols[0].data, visible);
  EXPECT_EQ(ds.cols[1].data, hidden);
  EXPECT_STREQ(ds.cols[0].data, "two");
  EXPECT_STREQ(ds.cols[0].data + ds.cols[0].width, "one");

  DrvHandle other = 0;
  ASSERT_EQ(exec(conn, "select a from t order by a", &other), 0);
  ASSERT_EQ(Fetch(other, 4, &ds), 0);
  ASSERT_EQ(ds.rowCount, 4);
  EXPECT_EQ(ds.colCount, 1);
  EXPECT_EQ(ds.cols[0].type, DS_INTEGER);
  EXPECT_EQ(getInt(ds, 0, 3), 4);
  DatasetFree(&ds);

  // Long values of the previous block are released as the next one comes in.
  ASSERT_EQ(exec(conn, "create table tl (id integer, txt text)"), 0);
  ASSERT_EQ(exec(conn, "insert into tl values (1, 'first')"), 0);
  ASSERT_EQ(exec(conn, "insert into tl values (2, 'second')"), 0);
  ASSERT_EQ(exec(conn, "select id, txt from tl order by id", &cur), 0);
  ASSERT_EQ(Fetch(cur, 10, &ds), 0);
  ASSERT_EQ(ds.rowCount, 1);
  const char* ids = ds.cols[0].data;
  EXPECT_EQ(getLong(ds, 1, 0), "first");
  ASSERT_EQ(Fetch(cur, 10, &ds), 0);
  ASSERT_EQ(ds.rowCount, 1);
  EXPECT_EQ(ds.cols[0].data, ids);
  EXPECT_EQ(getInt(ds, 0, 0), 2);
  EXPECT_EQ(getLong(ds, 1, 0), "second");
  DatasetFree(&ds);
}

TEST_F(Fetching, HiddenTextLiteralsRunInEveryRowOnce) {
  DrvHandle conn = connect();
  ASSERT_EQ(exec(conn, "create table th (id integer, txt text, bin byte)"), 0);
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  ASSERT_EQ(INF_Prepare(cur, "insert into th (id, txt, bin) values (?, 'it''s', '0x4142')"), 0);
  Dataset* ds = NewParamDataset(DS_INTEGER, 4, 3);
  for (int r = 0; r < 3; ++r) setInt(ds, 0, r, r + 1);
  ASSERT_EQ(INF_SetParams(cur, ds), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  EXPECT_EQ(ds->colCount, 3);
  uint16_t n = 0;
  ASSERT_EQ(INF_DescribeParams(cur, &n, nullptr), 0);
  EXPECT_EQ(n, 1);

  // An UPDATE keeps its hidden literal to itself as well.
  ASSERT_EQ(INF_Prepare(cur, "update th set txt = 'new' where id = ?"), 0);
  Dataset* one = NewParamDataset(DS_INTEGER, 4, 1);
  setInt(one, 0, 0, 3);
  ASSERT_EQ(INF_SetParams(cur, one), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  ASSERT_EQ(INF_DescribeParams(cur, &n, nullptr), 0);
  EXPECT_EQ(n, 1);

  // BYTE and TEXT results come one row per call.
  ASSERT_EQ(INF_Prepare(cur, "select id, txt, bin from th order by id"), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  std::vector<std::string> got;
  for (;;) {
    Dataset rows{};
    ASSERT_EQ(Fetch(cur, 100, &rows), 0);
    if (rows.rowCount == 0) break;
    EXPECT_EQ(rows.rowCount, 1);
    got.push_back(std::to_string(getInt(rows, 0, 0)) + ":" + getLong(rows, 1, 0) + ":" +
                  getLong(rows, 2, 0));
    DatasetFree(&rows);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"1:it's:AB", "1:it's:AB", "2:it's:AB", "2:it's:AB",
                                           "3:new:AB", "3:new:AB"}));
}

TEST_F(Fetching, DatesAndTimestampsBothWays) {
  DrvHandle conn = connect();
  ASSERT_EQ(exec(conn, "create table td (id integer, ts datetime year to fraction(5), d date)"), 0);
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  ASSERT_EQ(INF_Prepare(cur, "insert into td (id, d) values (1, ?)"), 0);
  Dataset* ds = NewParamDataset(DS_DATE, 6, 1);
  const int16_t bad[3] = {2001, 2, 30};
  std::memcpy(ds->cols[0].data, bad, 6);
  ds->cols[0].ind[0] = 0;
  ASSERT_EQ(INF_SetParams(cur, ds), 0);
  EXPECT_EQ(INF_Execute(cur), ERR_DATE_OVERFLOW);
  const int16_t good[3] = {2001, 2, 3};
  std::memcpy(ds->cols[0].data, good, 6);
  ASSERT_EQ(INF_Execute(cur), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  EXPECT_EQ(std::memcmp(ds->cols[0].data, good, 6), 0);

  ASSERT_EQ(exec(conn, "insert into td (id, ts) values (2, '2001-02-03 04:05:06.12345')"), 0);
  ASSERT_EQ(INF_Prepare(cur, "insert into td (id, ts) values (3, ?)"), 0);
  Dataset* ts = NewParamDataset(DS_TIMESTAMP, 16, 1);
  const uint16_t fields[5] = {2, 3, 4, 5, 6};
  const int16_t year = 2001;
  const uint32_t ns = 123456789;
  std::memcpy(ts->cols[0].data, &year, 2);
  std::memcpy(ts->cols[0].data + 2, fields, 10);
  std::memcpy(ts->cols[0].data + 12, &ns, 4);
  ts->cols[0].ind[0] = 0;
  ASSERT_EQ(INF_SetParams(cur, ts), 0);
  ASSERT_EQ(INF_Execute(cur), 0);

  ASSERT_EQ(INF_Prepare(cur, "select d, ts from td order by id"), 0);
  ASSERT_EQ(INF_Execute(cur), 0);
  Dataset rows{};
  ASSERT_EQ(Fetch(cur, 10, &rows), 0);
  ASSERT_EQ(rows.rowCount, 4);
  int16_t ymd[3];
  std::memcpy(ymd, rows.cols[0].data, 6);
  EXPECT_EQ(ymd[0], 2001);
  EXPECT_EQ(ymd[1], 2);
  EXPECT_EQ(ymd[2], 3);
  EXPECT_EQ(rows.cols[0].ind[2], DS_IND_NULL);
  uint32_t frac = 0;
  std::memcpy(&frac, rows.cols[1].data + 2 * 16 + 12, 4);
  EXPECT_EQ(frac, 123450000u);
  std::memcpy(&frac, rows.cols[1].data + 3 * 16 + 12, 4);
  EXPECT_EQ(frac, 123450000u);
  DatasetFree(&rows);
}

TEST_F(Fetching, WideConnectionsDeliverUtf16) {
  std::string marked(WideConnectMarker, 4);
  DriverConnectParams p{};
  p.srvopts = marked.c_str();
  p.dbpath = "logged@ol_test";
  p.uid = "";
  p.pwd = "";
  DrvHandle conn = 0;
  ASSERT_EQ(INF_Connect(server_, &p, &conn), 0);
  ASSERT_EQ(exec(conn, "insert into t values (11, 'h\xc3\xa9llo')"), 0);
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, "select b from t where a = 11", &cur), 0);
  Dataset rows{};
  ASSERT_EQ(Fetch(cur, 10, &rows), 0);
  ASSERT_EQ(rows.rowCount, 1);
  EXPECT_EQ(rows.cols[0].type, DS_WSTRING);
  const auto* w = reinterpret_cast<const char16_t*>(rows.cols[0].data);
  EXPECT_EQ(std::u16string(w), u"h\u00e9llo");
  DatasetFree(&rows);

  // ASCII text of every length up to and past two runs of eight, and text that fills
  // its column, widen whole in one block; so does non-ASCII text beside it.
  ASSERT_EQ(exec(conn, "create table ta (k integer, v varchar(40))"), 0);
  std::vector<std::u16string> want;
  for (int n = 0; n <= 40; ++n) {
    std::string v;
    for (int i = 0; i < n; ++i) v += static_cast<char>('a' + (n + i) % 26);
    if (n == 17) v = "\xc3\xa9t\xc3\xa9";
    const std::string sql = "insert into ta values (" + std::to_string(n) + ", '" + v + "')";
    ASSERT_EQ(exec(conn, sql.c_str()), 0);
    want.push_back(n == 17 ? u"\u00e9t\u00e9" : std::u16string(v.begin(), v.end()));
  }
  ASSERT_EQ(exec(conn, "select v from ta order by k", &cur), 0);
  ASSERT_EQ(Fetch(cur, 100, &rows), 0);
  ASSERT_EQ(rows.rowCount, 41);
  for (int n = 0; n <= 40; ++n) {
    const auto* cell =
        reinterpret_cast<const char16_t*>(rows.cols[0].data + n * size_t{rows.cols[0].width});
    EXPECT_EQ(std::u16string(cell), want[n]) << n;
  }
  DatasetFree(&rows);

  // A TEXT value arrives as wide text whose length counts characters.
  ASSERT_EQ(exec(conn, "create table tw (t text)"), 0);
  ASSERT_EQ(exec(conn, "insert into tw values ('d\xc3\xa9j\xc3\xa0')"), 0);
  ASSERT_EQ(exec(conn, "select t from tw", &cur), 0);
  ASSERT_EQ(Fetch(cur, 10, &rows), 0);
  ASSERT_EQ(rows.rowCount, 1);
  EXPECT_EQ(rows.cols[0].type, DS_LONGWCHAR);
  DatasetLong lv;
  std::memcpy(&lv, rows.cols[0].data, sizeof lv);
  EXPECT_EQ(lv.length, 4u);
  EXPECT_EQ(std::u16string(static_cast<const char16_t*>(lv.data), lv.length), u"d\u00e9j\u00e0");
  DatasetFree(&rows);
}

}  // namespace

namespace {

TEST_F(Fetching, ParameterRowsOfASelectComeAsResults) {
  DrvHandle conn = connect();
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  ASSERT_EQ(INF_Prepare(cur, "select b from t where a = ?"), 0);
  Dataset* ds = NewParamDataset(DS_USMALLINT, 2, 3);
  const uint16_t keys[3] = {2, 40000, 5};
  for (int r = 0; r < 3; ++r) {
    std::memcpy(ds->cols[0].data + 2 * r, &keys[r], 2);
    ds->cols[0].ind[r] = 0;
  }
  ASSERT_EQ(INF_PrepareExecute(cur, nullptr, ds, 0, nullptr), 0);
  std::vector<int32_t> counts;
  for (int set = 0; set < 3; ++set) {
    Dataset rows{};
    ASSERT_EQ(Fetch(cur, 10, &rows), 0);
    counts.push_back(rows.rowCount);
    DatasetFree(&rows);
    EXPECT_EQ(INF_MoreResults(cur), set < 2 ? 0 : ERR_NO_MORE_RESULTS);
  }
  EXPECT_EQ(counts, (std::vector<int32_t>{1, 0, 1}));
}

TEST_F(Fetching, LongTextTypeForAVarcharColumnIsSentAsText) {
  DrvHandle conn = connect();
  ASSERT_EQ(exec(conn, "create table tv (v varchar(20))"), 0);
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  ASSERT_EQ(INF_Prepare(cur, "insert into tv values (?)"), 0);
  Dataset* ds = NewParamDataset(DS_STRING, 21, 1);
  std::strcpy(ds->cols[0].data, "plain");
  ds->cols[0].ind[0] = 0;
  const ParamShadow longText{-1, 1, 20, 0, 1};
  ASSERT_EQ(INF_PrepareExecute(cur, nullptr, ds, 1, &longText), 0);
  EXPECT_EQ(InfCursorLookup(cur)->flags & CF_LONG_PARAM, 0);
  ASSERT_EQ(INF_PrepareExecute(cur, "select v from tv", nullptr, 0, nullptr), 0);
  Dataset rows{};
  ASSERT_EQ(Fetch(cur, 10, &rows), 0);
  ASSERT_EQ(rows.rowCount, 1);
  EXPECT_STREQ(rows.cols[0].data, "plain");
  DatasetFree(&rows);
}

}  // namespace
