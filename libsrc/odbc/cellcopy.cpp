// cellcopy.cpp -- the plain copies of the common cell and C type pairs.
// Each copy writes what the converter of its pair writes on success: the value, and
// the length of the value as the length (the terminator not counted); a value that the
// converter would cut or transcode is declined.
// Pure functions, any thread.

#include "odbc/cellcopy.h"

#include <sql.h>
#include <sqlext.h>

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "drv/dataset.h"
#include "odbc/cvt.h"
#include "util/conv.h"
#include "util/smallcopy.h"

namespace {

const char* cellOf(const DatasetColumn& col, uint32_t row) {
  return col.data + static_cast<uint64_t>(row) * col.width;
}

bool present(const DatasetColumn& col, uint32_t row) {
  const int16_t ind = col.ind[row];
  return ind != DS_IND_NULL && ind != DS_IND_NOTFETCHED;
}

// Fixed-size values whose C type has the cell's own form.
template <uint32_t kSize>
bool fixedCopy(const DatasetColumn& col, uint32_t row, void* data, int64_t, int64_t* lenPtr) {
  if (!present(col, row) || col.width < kSize) return false;
  std::memcpy(data, cellOf(col, row), kSize);
  if (lenPtr != nullptr) *lenPtr = kSize;
  return true;
}

// 8-bit text into a buffer that takes it whole with its terminator.
bool textCopy(const DatasetColumn& col, uint32_t row, void* data, int64_t bufLen,
              int64_t* lenPtr) {
  if (!present(col, row)) return false;
  const char* cell = cellOf(col, row);
  const size_t n = strnlen(cell, col.width);
  if (bufLen < 0 || static_cast<uint64_t>(bufLen) <= n) return false;
  if (n < col.width && n < 32) {
    CopySmall(data, cell, n + 1);  // the text and the NUL that ends it in the slot
  } else {
    std::memcpy(data, cell, n);
    static_cast<char*>(data)[n] = '\0';
  }
  if (lenPtr != nullptr) *lenPtr = static_cast<int64_t>(n);
  return true;
}

// Decimal text (how DECIMAL and MONEY values come) read as a double; text that is not
// a number is declined, so the general road reports it.
bool textToDoubleCopy(const DatasetColumn& col, uint32_t row, void* data, int64_t,
                      int64_t* lenPtr) {
  if (!present(col, row)) return false;
  const char* cell = cellOf(col, row);
  double v = 0.0;
  int32_t err = 0;
  if (CharToDecimal(cell, strnlen(cell, col.width), &v, &err) != 0) return false;
  std::memcpy(data, &v, sizeof v);
  if (lenPtr != nullptr) *lenPtr = sizeof v;
  return true;
}

// The UTF-16 units of a wide cell up to its terminator or its end.
size_t wideUnits(const char* cell, uint32_t width) {
  size_t n = 0;
  for (char16_t u; n < width / 2; ++n) {
    std::memcpy(&u, cell + 2 * n, 2);
    if (u == 0) break;
  }
  return n;
}

// The n units of a wide cell encoded as 8-bit text when they take at most room bytes.
bool transcodeWide(const char* cell, size_t n, char* out, size_t room, int64_t* lenPtr) {
  const auto* text = reinterpret_cast<const char16_t*>(cell);
  const int64_t bytes = wcs_utf8_len(text, static_cast<int64_t>(n));
  if (bytes < 0 || static_cast<uint64_t>(bytes) > room) return false;
  int64_t consumed = 0;
  const int64_t written = wcsn_to_utf8(text, out, static_cast<int64_t>(n), bytes, &consumed);
  out[written] = '\0';
  if (lenPtr != nullptr) *lenPtr = bytes;
  return true;
}

// Wide text into 8-bit text that the buffer takes whole with its terminator: ASCII
// narrows unit for unit as it is read; anything else is encoded as the general road
// encodes it (the same measure and the same encoder, so the same bytes and length).
bool wideToCharCopy(const DatasetColumn& col, uint32_t row, void* data, int64_t bufLen,
                    int64_t* lenPtr) {
  if (!present(col, row) || bufLen <= 0) return false;
  const char* cell = cellOf(col, row);
  const size_t units = col.width / 2;
  const size_t room = static_cast<uint64_t>(bufLen) - 1;  // bytes before the terminator
  char* out = static_cast<char*>(data);
  size_t n = 0;
#if defined(__SSE2__)
  // Eight units at a time while they are ASCII characters; the run that holds the
  // terminator ends the text there when every unit before it is ASCII. Only the
  // text's own bytes and its terminator are written.
  const __m128i zero = _mm_setzero_si128();
  const __m128i pastAscii = _mm_set1_epi16(0x80);
  for (; n + 8 <= units; n += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell + 2 * n));
    // Signed lanes: a unit from 0x8000 up reads as negative.
    const __m128i ascii = _mm_and_si128(_mm_cmpgt_epi16(v, zero), _mm_cmplt_epi16(v, pastAscii));
    const unsigned taken = static_cast<unsigned>(_mm_movemask_epi8(ascii));
    if (taken == 0xFFFF) {
      if (n + 8 > room) return false;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(v, v));
      continue;
    }
    const unsigned k = static_cast<unsigned>(std::countr_one(taken)) / 2;
    const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)));
    if ((ends >> (2 * k) & 1) == 0) break;  // a character beyond ASCII: the road below
    if (n + k > room) return false;
    alignas(16) char bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(v, v));
    // The unit that ends the text packs to the NUL that ends the copy.
    CopySmall(out + n, bytes, k + 1);
    if (lenPtr != nullptr) *lenPtr = static_cast<int64_t>(n + k);
    return true;
  }
#endif
  // Four units at a time while they are ASCII and none ends the text (the lanes of a
  // word are read in the little-endian order of this platform).
  static_assert(std::endian::native == std::endian::little);
  constexpr uint64_t kLow = 0x0001000100010001u;
  constexpr uint64_t kHigh = 0x8000800080008000u;
  for (; n + 4 <= units && n + 4 <= room; n += 4) {
    uint64_t w;
    std::memcpy(&w, cell + 2 * n, 8);
    if ((w & 0xFF80FF80FF80FF80u) != 0 || ((w - kLow) & ~w & kHigh) != 0) break;
    const uint32_t four = static_cast<uint32_t>((w & 0xFF) | ((w >> 8) & 0xFF00) |
                                                ((w >> 16) & 0xFF0000) | ((w >> 24) & 0xFF000000));
    std::memcpy(out + n, &four, 4);
  }
  for (; n < units; ++n) {
    char16_t u;
    std::memcpy(&u, cell + 2 * n, 2);
    if (u == 0) break;
    if (u >= 0x80) return transcodeWide(cell, n + wideUnits(cell + 2 * n, col.width - 2 * n),
                                        out, room, lenPtr);
    if (n == room) return false;
    out[n] = static_cast<char>(u);
  }
  out[n] = '\0';
  if (lenPtr != nullptr) *lenPtr = static_cast<int64_t>(n);
  return true;
}

bool wideCopy(const DatasetColumn& col, uint32_t row, void* data, int64_t bufLen,
              int64_t* lenPtr) {
  if (!present(col, row)) return false;
  const char* cell = cellOf(col, row);
  const size_t bytes = 2 * wideUnits(cell, col.width);
  if (bufLen < 0 || static_cast<uint64_t>(bufLen) < bytes + 2) return false;
  std::memcpy(data, cell, bytes);
  std::memset(static_cast<char*>(data) + bytes, 0, 2);
  if (lenPtr != nullptr) *lenPtr = static_cast<int64_t>(bytes);
  return true;
}

// A run of cells by one copy, the copy inlined into the loop.
template <CellCopy kCopy>
uint32_t runCopy(const DatasetColumn& col, uint32_t row, uint32_t end, const CellRun& run) {
  char* data = run.data;
  char* len = run.len;
  char* ind = run.ind != run.len ? run.ind : nullptr;
  const int64_t indStep = ind != nullptr ? run.indStep : 0;
  uint32_t k = row;
  for (; k < end; ++k, data += run.dataStep, len += run.lenStep, ind += indStep) {
    auto* lenPtr = reinterpret_cast<int64_t*>(len);
    if (!kCopy(col, k, data, run.bufLen, lenPtr)) break;
    if (ind != nullptr) *reinterpret_cast<int64_t*>(ind) = 0;
  }
  return k - row;
}

// A run of fixed-size values: the slot size is checked once and the cells are walked
// by their width.
template <uint32_t kSize>
uint32_t fixedRun(const DatasetColumn& col, uint32_t row, uint32_t end, const CellRun& run) {
  if (col.width < kSize) return 0;
  const char* cell = cellOf(col, row);
  char* data = run.data;
  char* len = run.len;
  char* ind = run.ind != run.len ? run.ind : nullptr;
  const int64_t indStep = ind != nullptr ? run.indStep : 0;
  uint32_t k = row;
  for (; k < end; ++k, cell += col.width, data += run.dataStep, len += run.lenStep, ind += indStep) {
    auto* lenPtr = reinterpret_cast<int64_t*>(len);
    if (!present(col, k)) break;
    std::memcpy(data, cell, kSize);
    if (lenPtr != nullptr) *lenPtr = kSize;
    if (ind != nullptr) *reinterpret_cast<int64_t*>(ind) = 0;
  }
  return k - row;
}

struct Copies {
  CellCopy cell;
  RunCopy run;
};

template <CellCopy kCopy, RunCopy kRun = runCopy<kCopy>>
constexpr Copies kBoth{kCopy, kRun};

constexpr Copies kNone{nullptr, nullptr};

Copies choose(int32_t dsType, int32_t cType) noexcept {
  switch (dsType) {
    case DS_INTEGER:
      return cType == SQL_C_SLONG || cType == SQL_C_LONG ? kBoth<fixedCopy<4>, fixedRun<4>> : kNone;
    case DS_SMALLINT:
      return cType == SQL_C_SSHORT || cType == SQL_C_SHORT ? kBoth<fixedCopy<2>, fixedRun<2>> : kNone;
    case DS_DOUBLE: return cType == SQL_C_DOUBLE ? kBoth<fixedCopy<8>, fixedRun<8>> : kNone;
    case DS_DATE:
      return cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE ? kBoth<fixedCopy<6>, fixedRun<6>> : kNone;
    case DS_CHAR:
    case DS_STRING:
      if (cType == SQL_C_DOUBLE) return kBoth<textToDoubleCopy>;
      return cType == SQL_C_CHAR ? kBoth<textCopy> : kNone;
    case DS_WCHAR:
    case DS_WSTRING:
      if (cType == SQL_C_CHAR) return kBoth<wideToCharCopy>;
      return cType == SQL_C_WCHAR ? kBoth<wideCopy> : kNone;
    default: return kNone;
  }
}

}  // namespace

CellCopy ChooseCellCopy(int32_t dsType, int32_t cType) noexcept {
  return choose(dsType, cType).cell;
}

RunCopy ChooseRunCopy(int32_t dsType, int32_t cType) noexcept {
  return choose(dsType, cType).run;
}
