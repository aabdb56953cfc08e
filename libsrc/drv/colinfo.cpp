// colinfo.cpp -- allocation and release of description arrays.
// Uses the C library heap and answers NULL when it is exhausted: a description
// comes from the back end, and the caller turns a NULL into ERR_MEMORY.

#include "drv/colinfo.h"

#include <cstdlib>

ColumnInfo* ColumnInfoAlloc(uint16_t n) noexcept {
  return static_cast<ColumnInfo*>(std::calloc(n ? n : 1, sizeof(ColumnInfo)));
}

void ColumnInfoFree(ColumnInfo* info, uint16_t n) noexcept {
  if (!info) return;
  for (uint16_t i = 0; i < n; ++i) {
    std::free(info[i].catalog);
    std::free(info[i].schema);
    std::free(info[i].table);
    std::free(info[i].fullName);
  }
  std::free(info);
}
