#include "util/dynarray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace {

int destroyed = 0;
void count_destroy(void*) { ++destroyed; }
void free_pointee(void* element) { free(*static_cast<void**>(element)); }

int64_t at(const DynArray* a, uint32_t i) { return static_cast<const int64_t*>(a->items)[i]; }

TEST(DynArray, NewAppendAndGrowth) {
  EXPECT_EQ(DynArrayNew(0), nullptr);
  EXPECT_EQ(DynArrayNew(SIZE_MAX / 4), nullptr);
  DynArray* a = DynArrayNew(8);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->count, 0u);
  EXPECT_EQ(a->capacity, 10u);
  for (int64_t i = 0; i < 11; ++i) ASSERT_EQ(DynArrayAppend(a, &i), 1);
  EXPECT_EQ(a->capacity, 20u);
  for (uint32_t i = 0; i < 11; ++i) EXPECT_EQ(at(a, i), i);
  EXPECT_EQ(DynArrayAppend(a, nullptr), 0);
  EXPECT_EQ(DynArrayAppend(nullptr, &a), 0);
  EXPECT_EQ(DynArrayGrow(nullptr), 0);
  DynArrayFree(&a, nullptr);
}

TEST(DynArray, AppendAllRefusesMixedSizesAndCopiesItselfOnce) {
  DynArray* a = DynArrayNew(8);
  DynArray* b = DynArrayNew(4);
  for (int64_t i = 0; i < 10; ++i) DynArrayAppend(a, &i);  // full: the self-append must grow
  EXPECT_EQ(DynArrayAppendAll(a, b), 0);
  EXPECT_EQ(DynArrayAppendAll(a, nullptr), 0);
  EXPECT_EQ(a->count, 10u);
  ASSERT_EQ(DynArrayAppendAll(a, a), 1);
  ASSERT_EQ(a->count, 20u);
  for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(at(a, i), i % 10) << i;
  DynArrayFree(&a, nullptr);
  DynArrayFree(&b, nullptr);
}

TEST(DynArray, AppendOfAnOwnElementWhileFull) {
  DynArray* a = DynArrayNew(8);
  for (int64_t i = 0; i < 10; ++i) DynArrayAppend(a, &i);
  ASSERT_EQ(DynArrayAppend(a, static_cast<int64_t*>(a->items) + 3), 1);
  EXPECT_EQ(at(a, 10), 3);
  DynArrayFree(&a, nullptr);
}

TEST(DynArray, RemoveAtShiftsTheRest) {
  DynArray* a = DynArrayNew(8);
  for (int64_t i = 0; i < 4; ++i) DynArrayAppend(a, &i);
  destroyed = 0;
  EXPECT_EQ(DynArrayRemoveAt(a, 4, count_destroy), 0);  // index == count
  EXPECT_EQ(DynArrayRemoveAt(a, 1, count_destroy), 1);
  EXPECT_EQ(destroyed, 1);
  ASSERT_EQ(a->count, 3u);
  EXPECT_EQ(at(a, 0), 0);
  EXPECT_EQ(at(a, 1), 2);
  EXPECT_EQ(at(a, 2), 3);
  EXPECT_EQ(DynArrayRemoveAt(nullptr, 0, nullptr), 0);
  DynArrayFree(&a, nullptr);
}

TEST(DynArray, FreeDestroysCountElementsAndClearsTheReference) {
  DynArray* a = DynArrayNew(sizeof(void*));
  for (int i = 0; i < 12; ++i) {
    void* p = malloc(16);
    DynArrayAppend(a, &p);
  }
  DynArrayFree(&a, free_pointee);  // leak-checked by the sanitizer
  EXPECT_EQ(a, nullptr);
  DynArrayFree(&a, free_pointee);
  DynArrayFree(nullptr, nullptr);

  DynArray* b = DynArrayNew(4);
  int32_t v = 1;
  for (int i = 0; i < 3; ++i) DynArrayAppend(b, &v);
  destroyed = 0;
  DynArrayFree(&b, count_destroy);
  EXPECT_EQ(destroyed, 3);
}

}  // namespace
