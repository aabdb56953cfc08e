#include "util/hash.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct TableDeleter {
  void operator()(HashTable* t) const { hash_destroy(t); }
};
using Table = std::unique_ptr<HashTable, TableDeleter>;

std::array<unsigned char, 4> key4(uint32_t v) {
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

// Bucket numbers that stored tables and other processes depend on; bytes
// above 0x7F are read as negative numbers.
TEST(Hash, BucketFunctionIsFixed) {
  struct StringCase {
    const char* key;
    int bucket101, bucket103;
  } const strings[] = {
      {"SELECT", 55, 91},
      {"token_name", 35, 86},
      {"\xc3\xa9\xe2\x82\xac", 47, 18},
      {"\xff\xfe\x80", 15, 11},
      {"abcdefghijklmnopqrstuvwxyz0123456789", 6, 1},  // wraps around many times
  };
  Table s101(hash_create(101, 0)), s103(hash_create(103, 0));
  for (const auto& c : strings) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(hash_index(s101.get(), c.key), c.bucket101);
    EXPECT_EQ(hash_index(s103.get(), c.key), c.bucket103);
  }
  struct BinaryCase {
    std::string key;
    int bucket101, bucket103;
  } const binaries[] = {
      {std::string("\x00\x00\x00\x01", 4), 46, 46},
      {std::string("\x80\x81\xfe\xff", 4), 58, 98},
  };
  Table b101(hash_create(101, 4)), b103(hash_create(103, 4));
  for (const auto& c : binaries) {
    EXPECT_EQ(hash_index(b101.get(), c.key.data()), c.bucket101);
    EXPECT_EQ(hash_index(b103.get(), c.key.data()), c.bucket103);
  }
  unsigned char ones[32];
  memset(ones, 0xFF, sizeof ones);
  Table b32(hash_create(103, 32));
  EXPECT_EQ(hash_index(b32.get(), ones), 1);
}

TEST(Hash, SetReplacesGetAndDeleteFindOnlyTheirKey) {
  Table t(hash_create(0, 16));  // one bucket still works
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->size, 1);
  unsigned char k1[16] = {1, 2, 3}, k2[16] = {1, 2, 3};
  k2[15] = 9;
  int v1 = 1, v2 = 2, v3 = 3;
  HashNode* n1 = hash_set(t.get(), k1, &v1);
  ASSERT_NE(hash_set(t.get(), k2, &v2), nullptr);
  EXPECT_EQ(hash_set(t.get(), k1, &v3), n1);
  EXPECT_EQ(t->entries, 2);
  EXPECT_EQ(hash_get(t.get(), k1), &v3);
  EXPECT_EQ(hash_get(t.get(), k2), &v2);
  EXPECT_EQ(hash_delete(t.get(), k2), 1);
  EXPECT_EQ(hash_delete(t.get(), k2), 0);
  EXPECT_EQ(hash_get(t.get(), k2), nullptr);
  EXPECT_EQ(hash_get(t.get(), k1), &v3);
  EXPECT_EQ(hash_find_node(t.get(), k1), n1);
}

TEST(Hash, CollisionsInOneBucket) {
  Table t(hash_create(101, 4));
  int values[3] = {};
  const uint32_t keys[3] = {0, 101, 147};  // all in bucket 0
  for (int i = 0; i < 3; ++i) {
    auto k = key4(keys[i]);
    ASSERT_EQ(hash_index(t.get(), k.data()), 0);
    hash_set(t.get(), k.data(), &values[i]);
  }
  EXPECT_EQ(t->collisions, 2);
  auto middle = key4(keys[1]);
  EXPECT_EQ(hash_delete(t.get(), middle.data()), 1);
  EXPECT_EQ(t->collisions, 1);
  EXPECT_EQ(t->entries, 2);
  for (int i : {0, 2}) {
    auto k = key4(keys[i]);
    EXPECT_EQ(hash_get(t.get(), k.data()), &values[i]);
  }
  HashNode* n = hash_unlink(t.get(), key4(keys[0]).data());
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(t->collisions, 0);  // the bucket still holds one node
  free(n->key);
  free(n);
}

TEST(Hash, StringKeysAreCopiedAndVisitedNewestFirst) {
  Table t(hash_create(1, 0));
  char key[8] = "alpha";
  hash_set(t.get(), key, reinterpret_cast<void*>(1));
  strcpy(key, "beta");
  hash_set(t.get(), key, reinterpret_cast<void*>(2));
  strcpy(key, "zzz");
  EXPECT_EQ(hash_get(t.get(), "alpha"), reinterpret_cast<void*>(1));
  EXPECT_EQ(hash_get(t.get(), "beta"), reinterpret_cast<void*>(2));
  std::string seen;
  hash_foreach(
      t.get(),
      [](void*, const void* k, void* user) {
        *static_cast<std::string*>(user) += static_cast<const char*>(k);
        *static_cast<std::string*>(user) += ',';
        return 0;
      },
      &seen);
  EXPECT_EQ(seen, "beta,alpha,");
}

TEST(Hash, StatsLine) {
  Table t(hash_create(4, 0));
  hash_set(t.get(), "a", nullptr);
  char buf[128] = {};
  FILE* f = fmemopen(buf, sizeof buf - 1, "w");
  hash_stats(t.get(), f);
  fclose(f);
  EXPECT_STREQ(buf, "size=4, entries=1, colls=0, %full=25.000000, %coll=0.000000\n");
}

}  // namespace
