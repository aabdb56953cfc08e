// hash.cpp -- chained hash table over string or fixed-length binary keys.
// Owns its nodes and key copies; values belong to the caller.
// The bucket function is fixed (stored tables and peers may rely on where a
// key lands) and is computed in unsigned 32-bit arithmetic, with key bytes
// read as signed 8-bit values whatever the platform's char.
// Threading: one owner; no locks.
#include "util/hash.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t signed_byte(unsigned char b) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(b)));
}

uint32_t hash_string(const unsigned char* key) {
  uint32_t h = 0;
  for (; *key != 0; ++key) {
    // h >> 28 is an arithmetic shift of the signed value.
    uint32_t high = static_cast<uint32_t>(static_cast<int32_t>(h) >> 28);
    h = signed_byte(*key) + high + h * 8u;
  }
  return h;
}

uint32_t hash_bytes(const unsigned char* key, int n) {
  uint32_t h = 0;
  for (int i = 0; i < n; ++i) {
    h ^= signed_byte(key[i]) * 23u;
    h = h << 1 | h >> 31;
  }
  return h;
}

bool key_equal(const HashTable* t, const void* a, const void* b) {
  return t->keyLength == 0 ? strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0
                           : memcmp(a, b, static_cast<size_t>(t->keyLength)) == 0;
}

void* copy_key(const HashTable* t, const void* key) {
  size_t n = t->keyLength == 0 ? strlen(static_cast<const char*>(key)) + 1
                               : static_cast<size_t>(t->keyLength);
  void* copy = malloc(n);
  if (copy != nullptr) memcpy(copy, key, n);
  return copy;
}

}  // namespace

int hash_index(HashTable* t, const void* key) noexcept {
  auto* bytes = static_cast<const unsigned char*>(key);
  uint32_t h = t->keyLength == 0 ? hash_string(bytes) : hash_bytes(bytes, t->keyLength);
  // |h| of the signed value, as unsigned: INT_MIN stays 0x80000000.
  uint32_t magnitude = static_cast<int32_t>(h) < 0 ? 0u - h : h;
  return static_cast<int>(magnitude % static_cast<uint32_t>(t->size));
}

HashTable* hash_create(int size, int keyLength) noexcept {
  if (size <= 0) size = 1;
  if (keyLength < 0) keyLength = 0;
  auto* t = static_cast<HashTable*>(calloc(1, sizeof(HashTable)));
  if (t == nullptr) return nullptr;
  t->buckets = static_cast<HashNode**>(calloc(static_cast<size_t>(size), sizeof(HashNode*)));
  if (t->buckets == nullptr) {
    free(t);
    return nullptr;
  }
  t->size = size;
  t->keyLength = keyLength;
  return t;
}

HashNode* hash_find_node(HashTable* t, const void* key) noexcept {
  for (HashNode* n = t->buckets[hash_index(t, key)]; n != nullptr; n = n->next) {
    if (key_equal(t, n->key, key)) return n;
  }
  return nullptr;
}

void* hash_get(HashTable* t, const void* key) noexcept {
  HashNode* n = hash_find_node(t, key);
  return n != nullptr ? n->value : nullptr;
}

HashNode* hash_link(HashTable* t, HashNode* node, void* keyCopy, void* value) noexcept {
  HashNode** head = &t->buckets[hash_index(t, keyCopy)];
  node->key = keyCopy;
  node->value = value;
  node->next = *head;
  if (*head != nullptr) ++t->collisions;
  *head = node;
  ++t->entries;
  return node;
}

HashNode* hash_set(HashTable* t, const void* key, void* value) noexcept {
  if (HashNode* n = hash_find_node(t, key)) {
    n->value = value;
    return n;
  }
  auto* node = static_cast<HashNode*>(calloc(1, sizeof(HashNode)));
  void* keyCopy = node != nullptr ? copy_key(t, key) : nullptr;
  if (keyCopy == nullptr) {
    free(node);
    return nullptr;
  }
  return hash_link(t, node, keyCopy, value);
}

HashNode* hash_unlink(HashTable* t, const void* key) noexcept {
  HashNode** link = &t->buckets[hash_index(t, key)];
  HashNode** head = link;
  for (; *link != nullptr; link = &(*link)->next) {
    HashNode* n = *link;
    if (key_equal(t, n->key, key)) {
      *link = n->next;
      n->next = nullptr;
      --t->entries;
      if (*head != nullptr) --t->collisions;
      return n;
    }
  }
  return nullptr;
}

int hash_delete(HashTable* t, const void* key) noexcept {
  HashNode* n = hash_unlink(t, key);
  if (n == nullptr) return 0;
  free(n->key);
  free(n);
  return 1;
}

int hash_foreach(HashTable* t, HashForeachFn fn, void* user) noexcept {
  for (int b = 0; b < t->size; ++b) {
    for (HashNode* n = t->buckets[b]; n != nullptr; n = n->next) fn(n->value, n->key, user);
  }
  return 0;
}

void hash_destroy(HashTable* t) noexcept {
  if (t == nullptr) return;
  for (int b = 0; b < t->size; ++b) {
    HashNode* n = t->buckets[b];
    while (n != nullptr) {
      HashNode* next = n->next;
      free(n->key);
      free(n);
      n = next;
    }
  }
  free(t->buckets);
  free(t);
}

void hash_stats(HashTable* t, FILE* out) noexcept {
  // The percentages are whole numbers shown in %f's shape; printing them as
  // integers keeps the locale's decimal separator out of the text.
  long long full = static_cast<long long>(t->entries) * 100 / t->size;
  long long coll = t->entries != 0 ? static_cast<long long>(t->collisions) * 100 / t->entries : 0;
  fprintf(out, "size=%d, entries=%d, colls=%d, %%full=%lld.000000, %%coll=%lld.000000\n", t->size,
          t->entries, t->collisions, full, coll);
}
