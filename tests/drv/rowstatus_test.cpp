// Tests of the row status table.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"

namespace {

TEST(RowStatusTable, NewTableHasNoRowsYet) {
  RowStatusTable* t = nullptr;
  ASSERT_EQ(RowStatusTableNew(&t, 10), 0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->count, 10);
  for (int32_t i = 0; i < t->count; ++i) EXPECT_EQ(t->status[i], SQL_ROW_NOROW);
  ASSERT_NE(t->rows, nullptr);
  EXPECT_EQ(t->rows->colCount, 0);
  EXPECT_EQ(t->rows->rowCount, 0);
  RowStatusTableFree(&t);
  EXPECT_EQ(t, nullptr);
  RowStatusTableFree(&t);
}

TEST(RowStatusTable, ResetDropsTheOldRows) {
  RowStatusTable* t = nullptr;
  ASSERT_EQ(RowStatusTableNew(&t, 2), 0);
  ASSERT_EQ(DatasetInit(t->rows, 1), 0);
  t->rows->colCount = 1;
  t->rows->cols[0].type = DS_LONGCHAR;
  t->rows->cols[0].width = sizeof(DatasetLong);
  ASSERT_EQ(DatasetSetRows(t->rows, 2), 0);
  DatasetLong v{3, malloc(3)};
  memcpy(t->rows->cols[0].data, &v, sizeof v);
  t->rows->rowCount = 1;
  t->status[0] = SQL_ROW_SUCCESS;
  ASSERT_EQ(RowStatusTableReset(t, 3), 0);
  EXPECT_EQ(t->count, 3);
  EXPECT_EQ(t->status[0], SQL_ROW_NOROW);
  EXPECT_EQ(t->rows->colCount, 0);
  RowStatusTableFree(&t);
}

TEST(RowStatusTable, RefusesEmptyTables) {
  RowStatusTable* t = nullptr;
  EXPECT_EQ(RowStatusTableNew(&t, 0), ERR_GENERAL);
  EXPECT_EQ(RowStatusTableNew(nullptr, 3), ERR_GENERAL);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(RowStatusTableReset(nullptr, 3), ERR_GENERAL);
}

}  // namespace
