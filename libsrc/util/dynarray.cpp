// dynarray.cpp -- growable array of fixed-size elements copied in by value.
// Owns its items block; what an element points to belongs to the user, who
// passes a destructor to DynArrayFree. Threading: one owner; no locks.
#include "util/dynarray.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
constexpr uint32_t kStep = 10;

char* element_at(const DynArray* a, uint32_t i) {
  return static_cast<char*>(a->items) + i * a->elemSize;
}
}  // namespace

DynArray* DynArrayNew(size_t elemSize) noexcept {
  if (elemSize == 0) return nullptr;
  auto* a = static_cast<DynArray*>(malloc(sizeof(DynArray)));
  if (a == nullptr) return nullptr;
  a->items = calloc(kStep, elemSize);
  if (a->items == nullptr) {
    free(a);
    return nullptr;
  }
  a->count = 0;
  a->capacity = kStep;
  a->elemSize = elemSize;
  return a;
}

int DynArrayGrow(DynArray* a) noexcept {
  if (a == nullptr || a->items == nullptr) return 0;
  if (a->capacity > UINT32_MAX - kStep) return 0;
  void* items = calloc(static_cast<size_t>(a->capacity) + kStep, a->elemSize);
  if (items == nullptr) return 0;
  memcpy(items, a->items, a->capacity * a->elemSize);
  free(a->items);
  a->items = items;
  a->capacity += kStep;
  return 1;
}

int DynArrayAppend(DynArray* a, const void* element) noexcept {
  if (a == nullptr || element == nullptr) return 0;
  if (a->count == a->capacity) {
    // An element taken from this very array must be read again after the
    // growth has moved the block it lives in.
    uintptr_t at = reinterpret_cast<uintptr_t>(element);
    uintptr_t begin = reinterpret_cast<uintptr_t>(a->items);
    bool inside = at >= begin && at < begin + a->capacity * a->elemSize;
    if (!DynArrayGrow(a)) return 0;
    if (inside) element = static_cast<char*>(a->items) + (at - begin);
  }
  memcpy(element_at(a, a->count), element, a->elemSize);
  ++a->count;
  return 1;
}

int DynArrayAppendAll(DynArray* dst, const DynArray* src) noexcept {
  if (dst == nullptr || src == nullptr || dst->elemSize != src->elemSize) return 0;
  // The count is taken once, so appending an array to itself doubles it and stops.
  uint32_t n = src->count;
  for (uint32_t i = 0; i < n; ++i) {
    if (!DynArrayAppend(dst, element_at(src, i))) return 0;
  }
  return 1;
}

int DynArrayRemoveAt(DynArray* a, uint32_t index, DynArrayDestructor destructor) noexcept {
  if (a == nullptr || index >= a->count) return 0;
  if (destructor != nullptr) destructor(element_at(a, index));
  memmove(element_at(a, index), element_at(a, index + 1), (a->count - index - 1) * a->elemSize);
  --a->count;
  return 1;
}

void DynArrayFree(DynArray** ref, DynArrayDestructor destructor) noexcept {
  if (ref == nullptr || *ref == nullptr) return;
  DynArray* a = *ref;
  if (a->items != nullptr) {
    if (destructor != nullptr) {
      for (uint32_t i = 0; i < a->count; ++i) destructor(element_at(a, i));
    }
    free(a->items);
  }
  free(a);
  *ref = nullptr;
}
