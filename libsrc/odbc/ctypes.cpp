// ctypes.cpp -- default C types, C type sizes and the copy-out routines.
// Owns nothing; every routine is pure and callable from any thread.
// The 8-bit side of a transcoding copy is UTF-8 (the driver's text and the ANSI
// code page of this platform), so lengths are measured, never assumed to be one
// byte per character.

#include "odbc/ctypes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "drv/errtab.h"
#include "util/conv.h"

int32_t DefaultCType(int32_t sqlType, int32_t odbcVersion) noexcept {
  const bool v3 = odbcVersion == 3;
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_GUID: return SQL_C_CHAR;
    case SQL_INTEGER: return SQL_C_LONG;
    case SQL_SMALLINT: return SQL_C_SHORT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_DATE: return v3 ? SQL_C_TYPE_DATE : SQL_C_DATE;
    case SQL_TIME: return v3 ? SQL_C_TYPE_TIME : SQL_C_TIME;
    case SQL_TIMESTAMP: return v3 ? SQL_C_TYPE_TIMESTAMP : SQL_C_TIMESTAMP;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_TINYINT;
    case SQL_BIGINT: return v3 ? SQL_C_SBIGINT : SQL_C_CHAR;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    default: return sqlType;  // SQL_TYPE_DATE/TIME/TIMESTAMP map to themselves too
  }
}

int16_t CTypeSize(int16_t cType) noexcept {
  switch (cType) {
    case SQL_C_NUMERIC: return 19;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_GUID: return 16;
    case SQL_C_DOUBLE:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return 8;
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME: return 6;
    case SQL_C_LONG:
    case SQL_C_FLOAT:
    case SQL_C_SLONG:
    case SQL_C_ULONG: return 4;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return 1;
    default: return 0;
  }
}

namespace {

// Source units the copy-out routines of this thread have read, measuring or copying.
thread_local uint64_t t_unitsRead = 0;

// The steps every copy-out shares once the lengths are known, in output bytes:
// `report` is the length to report and `need` what the whole value and its
// terminator take. room is what is left for the value's bytes (without the
// terminator), or -1 when the routine must stop with rc (SQL_ERROR, or nothing
// to write).
struct Plan {
  int64_t room;
  bool cut;
  SQLRETURN rc;
};

Plan plan(SQLLEN report, uint64_t need, uint64_t termBytes, int64_t avail, int64_t total,
          int32_t allowTrunc, const void* dst, uint64_t dstLen, SQLLEN* outLen, int32_t* err,
          uint64_t* used) {
  if (outLen != nullptr) *outLen = report;
  if (used != nullptr) *used = 0;
  if (dst == nullptr || dstLen == 0) {
    *err = ERR_TRUNCATED;
    return {-1, false, SQL_SUCCESS_WITH_INFO};
  }
  if (need > dstLen) {
    if (!allowTrunc) {
      *err = ERR_NUMERIC_RANGE;
      return {-1, false, SQL_ERROR};
    }
    *err = ERR_TRUNCATED;
    // A buffer too short for the terminator itself gets nothing at all: a wide
    // copy into one byte must not underflow into a huge length.
    if (dstLen < termBytes) return {-1, true, SQL_SUCCESS_WITH_INFO};
    return {static_cast<int64_t>(dstLen - termBytes), true, SQL_SUCCESS};
  }
  if (total != SQL_NO_TOTAL && total > avail) *err = ERR_TRUNCATED;
  return {static_cast<int64_t>(need - termBytes), false, SQL_SUCCESS};
}

SQLRETURN answer(const int32_t* err) {
  return *err == ERR_TRUNCATED ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

void setUsed(uint64_t* used, uint64_t v) {
  if (used != nullptr) *used = v;
}

SQLLEN asIs(uint64_t n, int64_t total) { return total != 0 ? total : static_cast<SQLLEN>(n); }

// The exact length of a transcoded value is known only when the units given are
// the whole of what is to be reported.
bool wholeValue(uint64_t n, int64_t total) {
  return total == 0 || (total > 0 && static_cast<uint64_t>(total) == n);
}

// UTF-16 units of UTF-8 text. The library's measure stops at a NUL in first
// place, so leading NUL bytes (one unit each) are counted here.
uint64_t utf16Units(const char* src, uint64_t n) {
  t_unitsRead += n;
  uint64_t units = 0;
  while (n > 0 && *src == '\0') {
    ++units;
    ++src;
    --n;
  }
  return n > 0 ? units + static_cast<uint64_t>(utf8_char_count(src, static_cast<int64_t>(n)))
               : units;
}

void putUnit(void* dst, uint64_t unitIndex, char16_t u) {
  // Application buffers need not be aligned for 16-bit stores.
  std::memcpy(static_cast<char*>(dst) + unitIndex * 2, &u, 2);
}

}  // namespace

uint64_t WideToCharLength(const char16_t* src, uint64_t n) noexcept {
  if (src == nullptr || n == 0) return 0;
  t_unitsRead += n;
  return static_cast<uint64_t>(wcs_utf8_len(src, static_cast<int64_t>(n)));
}

uint64_t CharToWideLength(const char* src, uint64_t n) noexcept {
  return src == nullptr ? 0 : 2 * utf16Units(src, n);
}

uint64_t CopyOutUnitsRead() noexcept { return t_unitsRead; }

SQLRETURN CopyOutChar(const void* src, uint64_t n, int64_t avail, int64_t total, int32_t terminate,
                      int32_t allowTrunc, void* dst, uint64_t dstLen, SQLLEN* outLen, int32_t* err,
                      uint64_t* used) noexcept {
  const uint64_t term = terminate ? 1 : 0;
  const Plan p = plan(asIs(n, total), n + term, term, avail, total, allowTrunc, dst, dstLen, outLen,
                      err, used);
  if (p.room < 0) return p.rc;
  const uint64_t count = static_cast<uint64_t>(p.room);
  if (count > 0) std::memcpy(dst, src, count);
  t_unitsRead += count;
  if (terminate) static_cast<char*>(dst)[count] = '\0';
  setUsed(used, count);
  return answer(err);
}

SQLRETURN CopyOutWideToChar(const char16_t* src, uint64_t n, int64_t avail, int64_t total,
                            int32_t terminate, int32_t allowTrunc, void* dst, uint64_t dstLen,
                            SQLLEN* outLen, int32_t* err, uint64_t* used) noexcept {
  const uint64_t term = terminate ? 1 : 0;
  const uint64_t bytes = WideToCharLength(src, n);
  const SQLLEN report = wholeValue(n, total) ? static_cast<SQLLEN>(bytes) : SQL_NO_TOTAL;
  const Plan p =
      plan(report, bytes + term, term, avail, total, allowTrunc, dst, dstLen, outLen, err, used);
  if (p.room < 0) return p.rc;
  char* out = static_cast<char*>(dst);
  int64_t consumed = 0;
  int64_t written = 0;
  if (n > 0) written = wcsn_to_utf8(src, out, static_cast<int64_t>(n), p.room, &consumed);
  t_unitsRead += static_cast<uint64_t>(consumed);
  if (terminate) out[written] = '\0';
  setUsed(used, static_cast<uint64_t>(consumed));
  return answer(err);
}

SQLRETURN CopyOutCharToWide(const char* src, uint64_t n, int64_t avail, int64_t total,
                            int32_t terminate, int32_t allowTrunc, void* dst, uint64_t dstLen,
                            SQLLEN* outLen, int32_t* err, uint64_t* used) noexcept {
  const uint64_t term = terminate ? 2 : 0;
  const uint64_t units = utf16Units(src, n);
  const SQLLEN report = wholeValue(n, total) ? static_cast<SQLLEN>(2 * units) : SQL_NO_TOTAL;
  const Plan p = plan(report, 2 * units + term, term, avail, total, allowTrunc, dst, dstLen, outLen,
                      err, used);
  if (p.room < 0) return p.rc;
  const int64_t maxUnits = p.room / 2;
  int64_t consumed = 0;
  int64_t written = 0;
  if (n > 0 && maxUnits > 0) {
    // The decoder stores whole characters; it writes into a local run first
    // because the application's buffer may not be aligned for char16_t.
    char16_t chunk[256];
    const char* at = src;
    int64_t left = static_cast<int64_t>(n);
    while (left > 0 && written < maxUnits) {
      int64_t want = maxUnits - written;
      if (want > static_cast<int64_t>(std::size(chunk))) want = std::size(chunk);
      int64_t took = 0;
      const int64_t got = utf8n_to_wcs(at, chunk, left, want, &took);
      if (got <= 0 || took <= 0) break;
      std::memcpy(static_cast<char*>(dst) + written * 2, chunk, static_cast<size_t>(got) * 2);
      written += got;
      at += took;
      left -= took;
      consumed += took;
    }
  }
  t_unitsRead += static_cast<uint64_t>(consumed);
  if (terminate) putUnit(dst, static_cast<uint64_t>(written), u'\0');
  setUsed(used, static_cast<uint64_t>(consumed));
  return answer(err);
}

SQLRETURN CopyOutWide(const void* src, uint64_t n, int64_t avail, int64_t total, int32_t terminate,
                      int32_t allowTrunc, void* dst, uint64_t dstLen, SQLLEN* outLen, int32_t* err,
                      uint64_t* used) noexcept {
  const uint64_t term = terminate ? 2 : 0;
  const Plan p = plan(asIs(n, total), n + term, term, avail, total, allowTrunc, dst, dstLen, outLen,
                      err, used);
  if (p.room < 0) return p.rc;
  uint64_t count = static_cast<uint64_t>(p.room);
  if (p.cut) {
    count &= ~uint64_t{1};
    if (count >= 4) {
      char16_t last;
      std::memcpy(&last, static_cast<const char*>(src) + count - 2, 2);
      if (last >= 0xD800 && last <= 0xDBFF) count -= 2;  // keep the pair together
    }
  }
  if (count > 0) std::memcpy(dst, src, count);
  t_unitsRead += count / 2;
  if (terminate) std::memset(static_cast<char*>(dst) + count, 0, 2);
  setUsed(used, count);
  return answer(err);
}

int HexDigitValue(int ch) noexcept {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return 0;
}

void HexToBinary(void* dst, const char* text, uint64_t n) noexcept {
  auto* out = static_cast<unsigned char*>(dst);
  for (uint64_t i = 0; i < n / 2; ++i) {
    out[i] =
        static_cast<unsigned char>(HexDigitValue(static_cast<unsigned char>(text[2 * i])) * 16 +
                                   HexDigitValue(static_cast<unsigned char>(text[2 * i + 1])));
  }
}
