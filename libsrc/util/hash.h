// hash.h -- chained hash table with NUL-terminated string keys (keyLength 0)
// or fixed-length binary keys. It owns copies of its keys, never the values.
// The bucket count is fixed at creation. Exhaustion answers null.
// Threading: one owner at a time; no locks.
#pragma once

#include <cstdio>

struct HashNode {
  void* key;    // the table's own copy
  void* value;  // the caller's, never freed by the table
  HashNode* next;
};

struct HashTable {
  HashNode** buckets;  // size chain heads
  int size;            // at least 1
  int keyLength;       // 0: strcmp keys; n > 0: memcmp over n bytes
  int entries;
  int collisions;  // nodes added to a non-empty bucket, less those removed from one that stays
                   // non-empty
};

typedef int (*HashForeachFn)(void* value, const void* key, void* user);

HashTable* hash_create(int size, int keyLength) noexcept;
HashNode* hash_set(HashTable* table, const void* key, void* value) noexcept;
HashNode* hash_link(HashTable* table, HashNode* node, void* keyCopy, void* value) noexcept;
void* hash_get(HashTable* table, const void* key) noexcept;
HashNode* hash_find_node(HashTable* table, const void* key) noexcept;
// Takes the node out of its chain; the caller owns the node and its key copy.
HashNode* hash_unlink(HashTable* table, const void* key) noexcept;
int hash_delete(HashTable* table, const void* key) noexcept;
// fn sees every node bucket by bucket, newest first in a chain; it must not change the table.
int hash_foreach(HashTable* table, HashForeachFn fn, void* user) noexcept;
void hash_destroy(HashTable* table) noexcept;
void hash_stats(HashTable* table, FILE* out) noexcept;
int hash_index(HashTable* table, const void* key) noexcept;
