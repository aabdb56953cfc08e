// Parameter arrays at the operation-table level: the row count they leave and the
// values each set hands to the server.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"

namespace {

using Executing = AgentTest;

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

}  // namespace
