// dynarray.h -- growable array of fixed-size elements copied in by value.
// Capacity starts at 10 and grows by 10; any append may move the items, so
// pointers into items are invalid afterwards. Exhaustion answers 0 or null.
// Threading: one owner at a time; no locks.
#pragma once

#include <cstddef>
#include <cstdint>

struct DynArray {
  uint32_t count;     // elements in use
  uint32_t capacity;  // elements the items block holds
  void* items;        // capacity * elemSize bytes; element i at items + i * elemSize
  size_t elemSize;    // never 0
};

// Called with a pointer to an element inside the block; must not free it.
typedef void (*DynArrayDestructor)(void* element);

DynArray* DynArrayNew(size_t elemSize) noexcept;
int DynArrayAppend(DynArray* array, const void* element) noexcept;
// Appends every element of src once, also when src is dst.
int DynArrayAppendAll(DynArray* dst, const DynArray* src) noexcept;
int DynArrayGrow(DynArray* array) noexcept;
int DynArrayRemoveAt(DynArray* array, uint32_t index, DynArrayDestructor destructor) noexcept;
// Destroys count elements, frees the array and sets *ref to null.
void DynArrayFree(DynArray** ref, DynArrayDestructor destructor) noexcept;
