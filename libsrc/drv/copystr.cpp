// copystr.cpp -- copying driver text into a caller's buffer with the cut rule
// of the ODBC string outputs.

#include "drv/copystr.h"

#include <cstring>

int CopyStrOut(const char* src, char* dst, uint16_t size, uint16_t* outLen) {
  if (src == nullptr) src = "";
  size_t len = std::strlen(src);
  if (dst == nullptr || size == 0) {
    if (outLen != nullptr) *outLen = 0;
    return len == 0 ? 0 : -1;
  }
  size_t n = len < size ? len : size - 1u;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
  if (outLen != nullptr) *outLen = static_cast<uint16_t>(n);
  return n < len ? -1 : 0;
}

int CopyStrOutLen(const char* src, char* dst, int64_t size, int64_t* fullLen) {
  if (src == nullptr) src = "";
  size_t len = std::strlen(src);
  if (fullLen != nullptr) *fullLen = static_cast<int64_t>(len);
  if (dst == nullptr || size <= 0) return len == 0 ? 0 : -1;
  size_t n = len < static_cast<size_t>(size) ? len : static_cast<size_t>(size - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
  return n < len ? -1 : 0;
}
