#pragma once
// cvt_test.h -- what the conversion tests share: the bytes a converter is
// expected to leave in an application buffer, and the check of one result.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "odbc/ctypes.h"

namespace cvt_test {

using namespace std::string_literals;

inline constexpr SQLRETURN OK = SQL_SUCCESS;
inline constexpr SQLRETURN INFO = SQL_SUCCESS_WITH_INFO;
inline constexpr SQLRETURN ERR = SQL_ERROR;
// The length pointer's value when the converter must not write it.
inline constexpr SQLLEN kUnset = -99;
// Buffers start filled with this byte so that a write past the value shows.
inline constexpr unsigned char kFill = 0xEE;

template <class T>
std::string le(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

inline std::string bytes16(std::u16string_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

// The 19 bytes of an SQL_NUMERIC_STRUCT with a magnitude below 2^64.
inline std::string numeric(int precision, int scale, int sign, uint64_t mag) {
  SQL_NUMERIC_STRUCT n{};
  n.precision = static_cast<SQLCHAR>(precision);
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = static_cast<SQLCHAR>(sign);
  for (int i = 0; i < 8; ++i) n.val[i] = static_cast<SQLCHAR>(mag >> (8 * i));
  return le(n);
}

struct Expect {
  SQLRETURN rc;
  int32_t err;
  SQLLEN outLen;
  std::string out;  // bytes at the start of the buffer
};

// A failure leaves the buffer as it was; nothing is written past the value.
inline void check(const Expect& e, SQLRETURN rc, int32_t err, SQLLEN outLen,
                  const unsigned char* buf, size_t size) {
  EXPECT_EQ(rc, e.rc);
  EXPECT_EQ(err, e.err);
  EXPECT_EQ(outLen, e.outLen);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf), e.out.size()), e.out);
  if (rc == SQL_ERROR) {
    EXPECT_EQ(buf[0], kFill) << "written on failure";
  }
  if (e.out.size() < size) {
    EXPECT_EQ(buf[e.out.size()], kFill) << "written past the value";
  }
}

}  // namespace cvt_test
