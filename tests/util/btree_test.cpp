#include "util/btree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int created = 0;
int destroyed = 0;
bool failCreate = false;

int compare(const void* record, const void* key) {
  return strcmp(static_cast<const char*>(key), static_cast<const char*>(record));
}
int create(void** out, const void* key) {
  if (failCreate) return 0;
  ++created;
  *out = strdup(static_cast<const char*>(key));
  return 1;
}
void destroy(void*) { ++destroyed; }

class Tree : public testing::Test {
 protected:
  void SetUp() override {
    created = destroyed = 0;
    failCreate = false;
    tree = BTreeNew(compare, create, destroy);
    ASSERT_NE(tree, nullptr);
  }
  void TearDown() override { BTreeFree(tree); }
  BTree* tree;
};

TEST_F(Tree, NewNeedsEveryCallback) {
  EXPECT_EQ(BTreeNew(nullptr, create, destroy), nullptr);
  EXPECT_EQ(BTreeNew(compare, nullptr, destroy), nullptr);
  EXPECT_EQ(BTreeNew(compare, create, nullptr), nullptr);
}

TEST_F(Tree, InsertFindsOrCreatesAndWalksInOrder) {
  for (const char* k : {"m", "c", "x", "a", "e", "c", "m"})
    ASSERT_NE(BTreeInsert(tree, k), nullptr);
  EXPECT_EQ(tree->count, 5);
  EXPECT_EQ(created, 5);  // equal keys return the existing node without create
  EXPECT_STREQ(static_cast<char*>(tree->root->record), "m");
  EXPECT_EQ(BTreeInsert(tree, "e"), BTreeFind(tree, "e"));
  EXPECT_EQ(BTreeFind(tree, "q"), nullptr);
  static std::string order;
  order.clear();
  BTreeWalk(tree, [](void* r) { order += static_cast<char*>(r); });
  EXPECT_EQ(order, "acemx");
}

TEST_F(Tree, FailedCreateLeavesTheTreeUnchanged) {
  BTreeInsert(tree, "b");
  failCreate = true;
  EXPECT_EQ(BTreeInsert(tree, "a"), nullptr);
  EXPECT_EQ(tree->count, 1);
  EXPECT_EQ(tree->root->left, nullptr);
}

TEST_F(Tree, FreeDestroysEveryRecordAndNullsAreIgnored) {
  for (const char* k : {"d", "b", "f", "a"}) BTreeInsert(tree, k);
  BTreeFree(tree);
  tree = nullptr;
  EXPECT_EQ(destroyed, 4);
  EXPECT_EQ(BTreeInsert(nullptr, "a"), nullptr);
  EXPECT_EQ(BTreeNodeNew(nullptr, "a"), nullptr);
  EXPECT_EQ(BTreeFind(nullptr, "a"), nullptr);
  BTreeWalk(nullptr, destroy);
}

}  // namespace
