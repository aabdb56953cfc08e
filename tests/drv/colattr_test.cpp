// colattr_test.cpp -- the attribute overrides of a result: their compaction
// and their lookup in a statement's table.

#include "drv/colattr.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "util/hash.h"

namespace {

TEST(ColAttrTest, CompactionDropsWhatTheDefaultSays) {
  auto item = [](int16_t attr, uint16_t col, int32_t v) {
    ColAttr a{col, attr, COLATTR_INT, {}};
    a.value.intVal = v;
    return a;
  };
  const ColAttr items[] = {item(11, 0, 0), item(11, 1, 0), item(11, 2, 1), item(-12, 1, 1),
                           item(12, 3, 1)};
  // Kept: the default of 11, column 2 of 11 (it differs), column 3 of 12 (no
  // default of its own attribute).
  EXPECT_EQ(ColAttrCompactPass(5, items, 0, nullptr, 0), 3);
  uint16_t count = 0;
  ColAttr* out = nullptr;
  ASSERT_EQ(ColAttrCompact(5, items, &count, &out, 0), 0);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(out[0].column, 0);
  EXPECT_EQ(out[1].column, 2);
  EXPECT_EQ(out[2].attrId, 12);
  EXPECT_EQ(out[2].column, 3);

  HashTable* table = nullptr;
  ASSERT_EQ(ColAttrTableBuild(out, static_cast<int16_t>(count), &table), 0);
  free(out);
  int32_t v = -1;
  EXPECT_EQ(ColAttrLookup(table, 11, 2, &v, nullptr, nullptr), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(ColAttrLookup(table, 11, 7, &v, nullptr, nullptr), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ColAttrLookup(table, 12, 1, &v, nullptr, nullptr), 0);
  char* text = nullptr;
  EXPECT_EQ(ColAttrLookup(table, 11, 2, nullptr, &text, nullptr), 0);
  ColAttrTableFree(&table);
  EXPECT_EQ(table, nullptr);
}

}  // namespace
