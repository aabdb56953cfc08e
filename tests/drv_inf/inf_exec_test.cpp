// inf_exec_test.cpp -- execution at the operation-table level: parameter
// arrays (the row count they leave and the values each set hands to the
// server), statements and counts by kind, and fixed-point parameter text.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv_inf/inf_exec.h"

namespace {

using Executing = AgentTest;
using Agent = AgentTest;

int32_t rowCount(DrvHandle cur) {
  int32_t rows = -99;
  EXPECT_EQ(INF_GetInfo(cur, DRVP_ROW_COUNT, &rows, 4, nullptr), 0);
  return rows;
}

Dataset* intRows(const std::vector<int32_t>& keys) {
  Dataset* ds = NewParamDataset(DS_INTEGER, 4, static_cast<int32_t>(keys.size()));
  for (size_t r = 0; r < keys.size(); ++r) {
    std::memcpy(ds->cols[0].data + 4 * r, &keys[r], 4);
    ds->cols[0].ind[r] = 0;
  }
  return ds;
}

// The generic layer reads the count after a failure as the sets done before it.
TEST_F(Executing, ParameterArrayCountsTheRowsOfEverySet) {
  DrvHandle conn = connect();
  ASSERT_EQ(exec(conn, "create table tc (k integer)"), 0);
  ASSERT_EQ(exec(conn, "create unique index tc_k on tc (k)"), 0);
  ASSERT_EQ(exec(conn, "insert into tc values (1)"), 0);
  ASSERT_EQ(exec(conn, "insert into tc values (2)"), 0);
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  ASSERT_EQ(INF_PrepareExecute(cur, "update tc set k = k where k <= ?", intRows({1, 2, 0, 2}), 0,
                               nullptr),
            0);
  EXPECT_EQ(rowCount(cur), 5);

  EXPECT_NE(INF_PrepareExecute(cur, "insert into tc values (?)", intRows({5, 6, 5, 7}), 0, nullptr),
            0);
  EXPECT_EQ(rowCount(cur), 2);
}

TEST_F(Executing, TextCellsOfAnArrayKeepTheirOwnLength) {
  DrvHandle conn = connect();
  ASSERT_EQ(exec(conn, "create table tx (id integer, t text)"), 0);
  const std::vector<std::string> texts = {"a", "", "ten chars."};
  const int32_t rows = static_cast<int32_t>(texts.size());
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  ASSERT_EQ(DatasetInit(ds, 2), 0);
  ds->colCount = 2;
  ds->cols[0].type = DS_INTEGER;
  ds->cols[0].width = 4;
  ds->cols[1].type = DS_CHAR;
  ds->cols[1].width = 11;
  ASSERT_EQ(DatasetSetRows(ds, rows), 0);
  ds->rowCount = rows;
  for (int32_t r = 0; r < rows; ++r) {
    std::memcpy(ds->cols[0].data + 4 * r, &r, 4);
    std::memset(ds->cols[1].data + 11 * r, 0, 11);
    texts[r].copy(ds->cols[1].data + 11 * r, 10);
    ds->cols[0].ind[r] = ds->cols[1].ind[r] = 0;
  }
  const ParamShadow types[2] = {{4, 4, 10, 0, 1}, {-1, 1, 1000, 0, 1}};
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  ASSERT_EQ(INF_PrepareExecute(cur, "insert into tx values (?, ?)", ds, 2, types), 0);

  ASSERT_EQ(INF_PrepareExecute(cur, "select t from tx order by id", nullptr, 0, nullptr), 0);
  std::vector<std::string> got;
  for (;;) {
    Dataset out{};
    ASSERT_EQ(Fetch(cur, 10, &out), 0);
    for (int32_t r = 0; r < out.rowCount; ++r) {
      DatasetLong lv;
      std::memcpy(&lv, out.cols[0].data + static_cast<size_t>(r) * out.cols[0].width, sizeof lv);
      got.emplace_back(static_cast<const char*>(lv.data), lv.length);
    }
    const bool done = out.rowCount == 0;
    DatasetFree(&out);
    if (done) break;
  }
  EXPECT_EQ(got, texts);
}

TEST_F(Agent, StatementsAndCountsByKind) {
  DrvHandle conn = connect("logged@ol_test");
  // Counts are not cut to 16 bits.
  ASSERT_EQ(exec(conn, "create table big (a integer)"), 0);
  ASSERT_EQ(exec(conn, "insert into big values (1)"), 0);
  for (int i = 0; i < 17; ++i) ASSERT_EQ(exec(conn, "insert into big select a from big"), 0);
  DrvHandle cur = 0;
  ASSERT_EQ(exec(conn, "update big set a = 2", &cur), 0);
  int32_t rows = 0;
  ASSERT_EQ(INF_GetInfo(cur, DRVP_ROW_COUNT, &rows, 4, nullptr), 0);
  EXPECT_EQ(rows, 131072);
  // SELECT ... INTO TEMP is executed, not opened, and has no result columns.
  ASSERT_EQ(INF_Prepare(cur, "select a from t into temp tt"), 0);
  EXPECT_EQ(INF_Execute(cur), 0);
  uint16_t n = 9;
  ASSERT_EQ(INF_DescribeColumns(cur, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(exec(conn, "select count(*) from tt"), 0);
  // The CEILING and FLOOR escapes compute what they name.
  ASSERT_EQ(INF_Prepare(cur, "select a from t where a = {fn ceiling(2.5)} and {fn floor(2.5)} = 2"),
            0);
  ASSERT_EQ(INF_Execute(cur), 0);
  Dataset ds{};
  ASSERT_EQ(Fetch(cur, 10, &ds), 0);
  EXPECT_EQ(ds.rowCount, 1);
  DatasetFree(&ds);
  // A searched statement that touches no row says so, with 0 rows.
  ASSERT_EQ(INF_Prepare(cur, "delete from t where a = -1"), 0);
  EXPECT_EQ(INF_Execute(cur), ERR_NO_DATA);
  ASSERT_EQ(INF_GetInfo(cur, DRVP_ROW_COUNT, &rows, 4, nullptr), 0);
  EXPECT_EQ(rows, 0);
  // A failing statement answers the mapped code with the runtime's message.
  EXPECT_EQ(INF_Prepare(cur, "select a from no_such_table"), ERR_TABLE_NOT_FOUND);
  std::vector<std::string> e = errors(cur);
  ASSERT_FALSE(e.empty());
  EXPECT_NE(e[0].find("(-206)[SQLSTATE:42S02]"), std::string::npos) << e[0];
}

TEST(FormatFixed, IgnoresTheLocaleAndPadsToTheWidth) {
  EXPECT_EQ(FormatFixed(3.14159, 8, 2), "    3.14");
  EXPECT_EQ(FormatFixed(-2.5, 0, 1), "-2.5");
  EXPECT_EQ(FormatFixed(10, 0, 0), "10");
}

}  // namespace
