// colinfo_test.cpp -- description arrays: allocation, release with their strings,
// and the Dataset laid out from them.

#include "drv/colinfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"

TEST(ColumnInfo, AllocAndFreeWithStrings) {
  ColumnInfo* none = ColumnInfoAlloc(0);  // a result without columns still gets an entry
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none[0].catalog, nullptr);
  EXPECT_EQ(none[0].name[0], '\0');
  ColumnInfoFree(none, 0);
  ColumnInfoFree(nullptr, 3);

  ColumnInfo* info = ColumnInfoAlloc(2);
  ASSERT_NE(info, nullptr);
  info[0].catalog = strdup("db");
  info[0].table = strdup("orders");
  info[1].schema = strdup("owner");
  info[1].fullName = strdup("a_name_longer_than_the_inline_field_of_forty_eight_bytes");
  ColumnInfoFree(info, 2);  // the leak checker sees any string left behind
}

TEST(ColumnInfo, DatasetLaidOutFromDescriptions) {
  ColumnInfo* info = ColumnInfoAlloc(3);
  ASSERT_NE(info, nullptr);
  info[0].bindType = DS_VARCHAR2;
  info[0].octetLength = 5;
  info[1].bindType = DS_LONGCHAR;
  info[1].octetLength = 100000;
  info[2].bindType = DS_WSTRING;
  info[2].octetLength = 5;
  Dataset ds{};
  ASSERT_EQ(DatasetFromColumnInfo(info, 3, 4, &ds), 0);
  EXPECT_EQ(ds.colCount, 3);
  EXPECT_EQ(ds.rowCapacity, 4);
  EXPECT_EQ(ds.rowCount, 0);
  const uint32_t widths[] = {8, 16, 12};
  for (uint16_t c = 0; c < 3; ++c) {
    EXPECT_EQ(ds.cols[c].type, int32_t(info[c].bindType));
    EXPECT_EQ(ds.cols[c].width, widths[c]);
    EXPECT_EQ(ds.cols[c].ind[3], DS_IND_NULL);
  }
  DatasetFree(&ds);

  info[0].bindType = DS_WCHAR;
  info[0].octetLength = 0x80000000u;  // a width that cannot exist
  EXPECT_EQ(DatasetFromColumnInfo(info, 3, 4, &ds), ERR_MEMORY);
  EXPECT_EQ(ds.cols, nullptr);  // nothing left for the caller to free
  ColumnInfoFree(info, 3);
}
