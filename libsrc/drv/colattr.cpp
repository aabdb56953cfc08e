// colattr.cpp -- per-column attribute overrides: compaction, the statement's
// hash table of them, and lookup.
// An item in a statement's table is a separate allocation that owns its string
// value, so the table can outlive the array the back end handed over.
// Threading: none of its own; callers hold their connection's call lock.

#include "drv/colattr.h"

#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "util/hash.h"

namespace {

constexpr int kBuckets = 101;

bool is_int_kind(int16_t kind) { return kind == COLATTR_INT || kind == COLATTR_INT2; }

}  // namespace

uint32_t ColAttrKey(int16_t attrId, uint16_t column) noexcept {
  return (static_cast<uint32_t>(static_cast<int32_t>(attrId)) << 16) | column;
}

int ColAttrLookup(HashTable* hash, uint16_t attrId, uint16_t column, int32_t* intOut, char** strOut,
                  double* dblOut) noexcept {
  if (hash == nullptr) return 0;
  const int16_t id = static_cast<int16_t>(attrId);
  uint32_t key = ColAttrKey(id, column);
  auto* item = static_cast<ColAttr*>(hash_get(hash, &key));
  if (item == nullptr) {
    key = ColAttrKey(id, 0);
    item = static_cast<ColAttr*>(hash_get(hash, &key));
  }
  if (item == nullptr || item->attrId < 0 || item->attrId != id) return 0;
  if (item->column != column && item->column != 0) return 0;
  if (is_int_kind(item->valueKind) && intOut != nullptr) {
    *intOut = item->value.intVal;
    return 1;
  }
  if (item->valueKind == COLATTR_STRING && strOut != nullptr) {
    *strOut = item->value.strVal;
    return 1;
  }
  if (item->valueKind == COLATTR_DOUBLE && dblOut != nullptr) {
    *dblOut = item->value.dblVal;
    return 1;
  }
  return 0;
}

void ColAttrFreeValue(ColAttr* item) noexcept {
  if (item != nullptr && item->valueKind == COLATTR_STRING) {
    free(item->value.strVal);
    item->value.strVal = nullptr;
  }
}

int ColAttrFreeItem(void* item, const void*, void*) noexcept {
  auto* a = static_cast<ColAttr*>(item);
  ColAttrFreeValue(a);
  free(a);
  return 0;
}

int ColAttrEqual(const ColAttr* a, const ColAttr* b) noexcept {
  if (a->valueKind != b->valueKind) return 0;
  if (a->valueKind == COLATTR_STRING) return a->value.strVal == b->value.strVal ? 1 : 0;
  if (is_int_kind(a->valueKind)) return a->value.intVal == b->value.intVal ? 1 : 0;
  if (a->valueKind == COLATTR_DOUBLE) return a->value.dblVal == b->value.dblVal ? 1 : 0;
  return memcmp(&a->value, &b->value, sizeof a->value) == 0 ? 1 : 0;
}

ColAttr* ColAttrCopy(ColAttr* d, const ColAttr* s, int mode) noexcept {
  if (d == nullptr || s == nullptr) return nullptr;
  *d = *s;
  if (mode == COLATTR_COPY_DUP && s->valueKind == COLATTR_STRING && s->value.strVal != nullptr) {
    d->value.strVal = strdup(s->value.strVal);
    if (d->value.strVal == nullptr) return nullptr;
  }
  return d;
}

uint16_t ColAttrCompactPass(uint16_t n, const ColAttr* items, uint16_t cap, ColAttr* out,
                            int mode) noexcept {
  if (n == 0 || items == nullptr || (out != nullptr && cap == 0)) return 0;
  uint16_t kept = 0;
  int32_t current = -1;
  const ColAttr* def = nullptr;
  for (uint16_t i = 0; i < n && (out == nullptr || kept < cap); ++i) {
    const ColAttr* item = &items[i];
    if (item->attrId < 0) continue;
    if (item->attrId != current) {
      current = item->attrId;
      def = nullptr;
    }
    if (item->column == 0) {
      def = item;
    } else if (def != nullptr && ColAttrEqual(item, def) != 0) {
      continue;
    }
    if (out != nullptr) (void)ColAttrCopy(&out[kept], item, mode);
    ++kept;
  }
  return kept;
}

int32_t ColAttrCompact(uint16_t n, const ColAttr* items, uint16_t* count, ColAttr** out,
                       int mode) noexcept {
  if (count != nullptr) *count = 0;
  if (out != nullptr) *out = nullptr;
  if (count == nullptr || out == nullptr) return ERR_ARGUMENT;
  if (n == 0 || items == nullptr) return 0;
  const uint16_t keep = ColAttrCompactPass(n, items, 0, nullptr, mode);
  if (keep == 0) return 0;
  auto* array = static_cast<ColAttr*>(calloc(keep, sizeof(ColAttr)));
  if (array == nullptr) return ERR_MEMORY;
  const uint16_t got = ColAttrCompactPass(n, items, keep, array, mode);
  if (mode == COLATTR_COPY_DUP) {
    // A string that could not be duplicated leaves its copy without one.
    for (uint16_t i = 0; i < got; ++i) {
      const bool lost = array[i].valueKind == COLATTR_STRING && array[i].value.strVal == nullptr;
      if (!lost) continue;
      for (uint16_t j = 0; j < got; ++j) ColAttrFreeValue(&array[j]);
      free(array);
      return ERR_MEMORY;
    }
  }
  *count = got;
  *out = array;
  return 0;
}

int32_t ColAttrTableBuild(ColAttr* items, int16_t count, HashTable** table) noexcept {
  *table = nullptr;
  if (count <= 0 || items == nullptr) return 0;
  HashTable* t = hash_create(kBuckets, sizeof(uint32_t));
  int32_t rc = t == nullptr ? ERR_MEMORY : 0;
  for (int16_t i = 0; i < count && rc == 0; ++i) {
    auto* copy = static_cast<ColAttr*>(malloc(sizeof(ColAttr)));
    if (copy == nullptr) {
      rc = ERR_MEMORY;
      break;
    }
    *copy = items[i];
    const uint32_t key = ColAttrKey(copy->attrId, copy->column);
    // A later item for the same key replaces the earlier one.
    auto* old = static_cast<ColAttr*>(hash_get(t, &key));
    if (hash_set(t, &key, copy) == nullptr) {
      free(copy);
      rc = ERR_MEMORY;
      break;
    }
    if (old != nullptr) ColAttrFreeItem(old, nullptr, nullptr);
    if (items[i].valueKind == COLATTR_STRING) items[i].value.strVal = nullptr;
  }
  if (rc != 0) {
    for (int16_t i = 0; i < count; ++i) ColAttrFreeValue(&items[i]);
    ColAttrTableFree(&t);
    return rc;
  }
  *table = t;
  return 0;
}

void ColAttrTableFree(HashTable** table) noexcept {
  if (*table == nullptr) return;
  (void)hash_foreach(*table, ColAttrFreeItem, nullptr);
  hash_destroy(*table);
  *table = nullptr;
}
