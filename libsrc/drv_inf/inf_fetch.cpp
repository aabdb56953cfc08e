// inf_fetch.cpp -- delivers the rows of an executed agent cursor as Datasets.
// Fixed-width and string values are fetched straight into the Dataset; dates,
// datetimes, BYTE/TEXT values and wide text are converted afterwards.
// Owns the per-call conversion buffers; the Dataset belongs to the caller, who
// passes it initialised (or zero-filled). A Dataset that already has the
// result's layout (the previous block) keeps its column storage: only its rows
// and long values are reset, so a block costs no allocation beyond its long
// values.
// Threading: one call at a time per cursor (the core serialises a connection).
// Not here: the application's C types (data exchange converts from Datasets).

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_date.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_esql.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_proccols.h"
#include "util/conv.h"
#include "util/smallcopy.h"

namespace {

constexpr const char* kSrc = "drv_inf/inf_fetch";

// The number at text[at..at+n), digits only.
unsigned digitsAt(const char* text, size_t at, size_t n) {
  unsigned v = 0;
  for (size_t i = at; i < at + n; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') break;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

// The {year, month, day} a Dataset holds for a day number.
void dateToSlot(IxrDate days, char* slot) {
  int16_t ymd[3];
  InfDateToYmd(days, ymd);
  std::memcpy(slot, ymd, 6);
}

bool HasLongColumn(const ColumnInfo* info, uint16_t n) {
  for (uint16_t i = 0; i < n; ++i)
    if (InfIsBlobType(info[i].nativeType)) return true;
  return false;
}

// The buffers of the host variables that cannot point into the Dataset, and the
// description entries they replace until the call ends; the storage is the cursor's.
struct CallBuffers {
  explicit CallBuffers(InfFetchScratch& s)
      : saved(s.saved),
        dates(s.dates),
        datetimes(s.datetimes),
        locators(s.locators),
        utf8(s.utf8),
        units(s.units) {}
  CallBuffers(const CallBuffers&) = delete;
  CallBuffers& operator=(const CallBuffers&) = delete;

  std::vector<IxrSqlVar>& saved;
  std::vector<IxrDate>& dates;
  std::vector<IxrDateTime>& datetimes;
  std::vector<IxrLocator>& locators;
  // Wide text is decoded through these, sized for the widest column.
  std::vector<char>& utf8;
  std::vector<char16_t>& units;
  IxrSqlda* area = nullptr;

  ~CallBuffers() {
    // A locator still holding a runtime buffer (a row not converted) gives it back.
    for (IxrLocator& l : locators) {
      std::free(l.buffer);
      l.buffer = nullptr;
    }
    if (area == nullptr) return;
    for (size_t i = 0; i < saved.size(); ++i) area->sqlvar[i] = saved[i];
  }
};

int32_t pointHostVars(InfCursor* cur, Dataset* ds, uint32_t r, CallBuffers& b) {
  for (uint16_t j = 0; j < ds->colCount; ++j) {
    DatasetColumn& col = ds->cols[j];
    IxrSqlVar& v = cur->outputArea->sqlvar[j];
    char* slot = col.data + static_cast<size_t>(r) * col.width;
    v.sqlind = col.ind + r;
    v.sqlitype = IXR_HOST_SHORT;
    v.sqlilen = 2;
    switch (col.type) {
      case DS_CHAR:
        v.sqltype = IXR_HOST_FIXCHAR;
        v.sqllen = static_cast<int32_t>(col.width);
        v.sqldata = slot;
        break;
      case DS_SMALLINT:
      case DS_USMALLINT:
        v.sqltype = IXR_HOST_SHORT;
        v.sqllen = 2;
        v.sqldata = slot;
        break;
      case DS_INTEGER:
      case DS_UINTEGER:
        v.sqltype = IXR_HOST_INT;
        v.sqllen = 4;
        v.sqldata = slot;
        break;
      case DS_REAL:
        v.sqltype = IXR_HOST_FLOAT;
        v.sqllen = 4;
        v.sqldata = slot;
        break;
      case DS_DOUBLE:
        v.sqltype = IXR_HOST_DOUBLE;
        v.sqllen = 8;
        v.sqldata = slot;
        break;
      case DS_STRING:
        v.sqltype = IXR_HOST_STRING;
        v.sqllen = static_cast<int32_t>(col.width);
        v.sqldata = slot;
        break;
      case DS_WSTRING:
        if (!InfWideBuild()) goto illegal;
        v.sqltype = IXR_HOST_STRING;
        v.sqllen = static_cast<int32_t>(col.width);
        v.sqldata = slot;
        break;
      case DS_DATE:
        v.sqltype = IXR_HOST_DATE;
        v.sqllen = 4;
        v.sqldata = reinterpret_cast<char*>(&b.dates[j]);
        break;
      case DS_TIMESTAMP:
        b.datetimes[j] = IxrDateTime{};
        b.datetimes[j].qual = IXR_QUAL_YEAR_TO_F5;
        v.sqltype = IXR_HOST_DATETIME;
        v.sqllen = static_cast<int32_t>(sizeof(IxrDateTime));
        v.sqldata = reinterpret_cast<char*>(&b.datetimes[j]);
        break;
      case DS_LONGWCHAR:
        if (!InfWideBuild()) goto illegal;
        [[fallthrough]];
      case DS_LONGCHAR:
      case DS_LONGBINARY: {
        IxrLocator& l = b.locators[j];
        std::free(l.buffer);
        l = IxrLocator{};
        l.loctype = IXR_LOC_MEMORY;
        l.bufsize = -1;  // the runtime allocates the buffer; it is ours to free
        v.sqltype = IXR_HOST_LOCATOR;
        v.sqllen = static_cast<int32_t>(sizeof(IxrLocator));
        v.sqldata = reinterpret_cast<char*>(&l);
        break;
      }
      default:
      illegal:
        INF_LOG(LOG_WARNING, kSrc, "Fetch: illegal fetch type encountered");
        return ERR_GENERAL;
    }
  }
  return 0;
}

int32_t convertValue(DatasetColumn& col, uint32_t r, uint16_t j, CallBuffers& b) {
  char* slot = col.data + static_cast<size_t>(r) * col.width;
  switch (col.type) {
    case DS_DATE: dateToSlot(b.dates[j], slot); return 0;
    case DS_TIMESTAMP: {
      char text[32] = {};
      (void)ixr_datetime_to_text(&b.datetimes[j], text, sizeof text);
      const int16_t year = static_cast<int16_t>(digitsAt(text, 0, 4));
      const uint16_t f[5] = {static_cast<uint16_t>(digitsAt(text, 5, 2)),
                             static_cast<uint16_t>(digitsAt(text, 8, 2)),
                             static_cast<uint16_t>(digitsAt(text, 11, 2)),
                             static_cast<uint16_t>(digitsAt(text, 14, 2)),
                             static_cast<uint16_t>(digitsAt(text, 17, 2))};
      // Tens of microseconds become nanoseconds.
      const uint32_t ns = digitsAt(text, 20, 5) * 10000u;
      std::memcpy(slot, &year, 2);
      std::memcpy(slot + 2, f, 10);
      std::memcpy(slot + 12, &ns, 4);
      return 0;
    }
    case DS_LONGCHAR:
    case DS_LONGBINARY:
    case DS_LONGWCHAR: {
      IxrLocator& l = b.locators[j];
      const uint32_t size = l.size > 0 ? static_cast<uint32_t>(l.size) : 0;
      void* copy = std::malloc(size + 1);
      if (copy == nullptr) return ERR_MEMORY;
      if (size > 0 && l.buffer != nullptr) std::memcpy(copy, l.buffer, size);
      static_cast<char*>(copy)[size] = '\0';
      // The runtime's buffer is released here and only here.
      std::free(l.buffer);
      l.buffer = nullptr;
      const DatasetLong lv{size, copy};
      std::memcpy(slot, &lv, sizeof lv);
      return 0;
    }
    default: return 0;
  }
}

bool isAscii(const char* text, size_t n) {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, text + i, 8);
    any |= w;
  }
  for (; i < n; ++i) any |= static_cast<unsigned char>(text[i]);
  return (any & 0x8080808080808080u) == 0;
}

// The length of the text in a slot of width bytes (up to its terminator, or the whole
// slot) and whether that text is ASCII, in one pass of sixteen bytes at a time where
// the slot holds them.
size_t measureText(const char* text, size_t width, bool* ascii) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  unsigned high = 0;
  for (; i + 16 <= width; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
    const unsigned top = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (ends != 0) {
      const unsigned k = static_cast<unsigned>(std::countr_zero(ends));
      *ascii = (high | (top & ((1u << k) - 1))) == 0;
      return i + k;
    }
    high |= top;
  }
  if (high != 0) {
    *ascii = false;
    return i + strnlen(text + i, width - i);
  }
#endif
  const size_t len = i + strnlen(text + i, width - i);
  *ascii = isAscii(text + i, len - i);
  return len;
}

// ASCII text of n bytes (its terminator included) in a slot of width bytes, widened in
// place to n units. It runs from the end, sixteen or eight bytes at a time, each run read
// whole before its units are written: a run's units land at twice its offset, so they
// never cover bytes not read. Short text is one run read from a slot that holds sixteen
// bytes, of which only the text's own units are written.
void widenAsciiInPlace(char* text, size_t n, size_t width) {
  size_t i = n;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  if (n < 16 && width >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    alignas(16) char units[32];
    _mm_store_si128(reinterpret_cast<__m128i*>(units), _mm_unpacklo_epi8(v, zero));
    _mm_store_si128(reinterpret_cast<__m128i*>(units + 16), _mm_unpackhi_epi8(v, zero));
    CopySmall(text, units, 2 * n);
    return;
  }
  while (i >= 16) {
    i -= 16;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 2 * i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(text + 2 * i + 16), _mm_unpackhi_epi8(v, zero));
  }
#endif
  while (i >= 8) {
    i -= 8;
    unsigned char b[8];
    std::memcpy(b, text + i, 8);
    char16_t u[8];
    for (int k = 0; k < 8; ++k) u[k] = b[k];
    std::memcpy(text + 2 * i, u, sizeof u);
  }
  while (i-- > 0) {
    const char16_t unit = static_cast<unsigned char>(text[i]);
    std::memcpy(text + 2 * i, &unit, sizeof unit);
  }
}

// The common case of widen() for a DS_WSTRING slot, without its call: ASCII text of
// fewer than sixteen bytes, found with one load, widened as widenAsciiInPlace widens it.
// false, with the slot untouched, for anything else.
bool widenShortAscii(char* slot, uint32_t width) {
#if defined(__SSE2__)
  if (width < 16) return false;
  const __m128i zero = _mm_setzero_si128();
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot));
  const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
  if (ends == 0) return false;
  const unsigned len = static_cast<unsigned>(std::countr_zero(ends));
  const unsigned top = static_cast<unsigned>(_mm_movemask_epi8(v)) & ((1u << len) - 1);
  if (top != 0 || len + 1 > width / 2) return false;
  alignas(16) char units[32];
  _mm_store_si128(reinterpret_cast<__m128i*>(units), _mm_unpacklo_epi8(v, zero));
  _mm_store_si128(reinterpret_cast<__m128i*>(units + 16), _mm_unpackhi_epi8(v, zero));
  CopySmall(slot, units, 2 * (len + 1));
  return true;
#else
  (void)slot;
  (void)width;
  return false;
#endif
}

int32_t widen(DatasetColumn& col, uint32_t r, CallBuffers& b) {
  char* slot = col.data + static_cast<size_t>(r) * col.width;
  switch (col.type) {
    case DS_WSTRING: {
      bool ascii = false;
      const size_t len = measureText(slot, col.width, &ascii);
      if (len + 1 <= col.width / 2 && ascii) {
        // Each byte is one unit: widened in place, the terminator included, without the
        // round trip through the decoder.
        widenAsciiInPlace(slot, len + 1, col.width);
        return 0;
      }
      std::memcpy(b.utf8.data(), slot, len);
      b.utf8[len] = '\0';
      const int64_t maxUnits = static_cast<int64_t>(col.width / 2) - 1;
      int64_t consumed = 0;
      const int64_t n = utf8n_to_wcs(b.utf8.data(), b.units.data(), static_cast<int64_t>(len),
                                     maxUnits, &consumed);
      const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
      b.units[count] = 0;
      std::memcpy(slot, b.units.data(), (count + 1) * sizeof(char16_t));
      // More characters than the slot holds as UTF-16 are a value longer than described.
      return consumed < static_cast<int64_t>(len) ? ERR_STRING_TRUNC : 0;
    }
    case DS_LONGWCHAR: {
      DatasetLong lv;
      std::memcpy(&lv, slot, sizeof lv);
      auto* out = static_cast<char16_t*>(
          std::malloc((static_cast<size_t>(lv.length) + 1) * sizeof(char16_t)));
      if (out == nullptr) return ERR_MEMORY;
      int64_t consumed = 0;
      const int64_t n = lv.length > 0 ? utf8n_to_wcs(static_cast<const char*>(lv.data), out,
                                                     lv.length, lv.length, &consumed)
                                      : 0;
      const uint32_t count = n > 0 ? static_cast<uint32_t>(n) : 0;
      out[count] = 0;
      std::free(lv.data);
      const DatasetLong wide{count, out};
      std::memcpy(slot, &wide, sizeof wide);
      return 0;
    }
    case DS_WCHAR:
    case DS_WVARCHAR4:
      INF_LOG(LOG_WARNING, kSrc, "Fetch: unexpected fetch type (%d) encountered",
              static_cast<int>(col.type));
      return ERR_GENERAL;
    default: return 0;
  }
}

// Text fetched into a slot of its column's described width comes back with the
// indicator holding its whole length when it did not fit: the description promised a
// width no value passes, and a value cut to it would reach the application as though it
// were whole.
bool slotText(const DatasetColumn& col) {
  return col.type == DS_CHAR || col.type == DS_STRING || col.type == DS_WSTRING;
}

bool cutText(const DatasetColumn& col, uint32_t r) { return slotText(col) && col.ind[r] > 0; }

bool rowCut(const Dataset* ds, uint16_t visible, uint32_t r) {
  for (uint16_t j = 0; j < visible; ++j)
    if (cutText(ds->cols[j], r)) return true;
  return false;
}

// The first of `rows` rows that holds a cut text value, or rows. Walked a column at a
// time, so that a block without text columns costs one look at each column.
uint32_t firstCutRow(const Dataset* ds, uint16_t visible, uint32_t rows) {
  uint32_t first = rows;
  for (uint16_t j = 0; j < visible; ++j) {
    const DatasetColumn& col = ds->cols[j];
    if (!slotText(col)) continue;
    for (uint32_t r = 0; r < first; ++r)
      if (col.ind[r] > 0) {
        first = r;
        break;
      }
  }
  return first;
}

int32_t refuseCut(InfCursor* cur) {
  ErrListSetCode(&cur->errors, ERR_STRING_TRUNC);
  return ERR_STRING_TRUNC;
}

// Every indicator of the first `rows` that is not DS_IND_NULL becomes 0 (a value present),
// eight at a time where the platform has the registers for it.
void markPresent(int16_t* ind, uint32_t rows) {
  uint32_t r = 0;
#if defined(__SSE2__)
  // Equal lanes become all ones, which is DS_IND_NULL again; the others become 0.
  static_assert(DS_IND_NULL == -1);
  const __m128i null = _mm_set1_epi16(DS_IND_NULL);
  for (; r + 8 <= rows; r += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ind + r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ind + r), _mm_cmpeq_epi16(v, null));
  }
#endif
  for (; r < rows; ++r) ind[r] = ind[r] == DS_IND_NULL ? DS_IND_NULL : 0;
}

// True when a whole block can be read with one runtime call: every value lands in its
// own row slot, or for a date in a day number of the block's own, while datetimes and
// long values go through buffers of one row.
bool fetchesInBlock(const Dataset* ds) {
  for (uint16_t j = 0; j < ds->colCount; ++j) {
    switch (ds->cols[j].type) {
      case DS_CHAR:
      case DS_SMALLINT:
      case DS_USMALLINT:
      case DS_INTEGER:
      case DS_UINTEGER:
      case DS_REAL:
      case DS_DOUBLE:
      case DS_STRING:
      case DS_WSTRING:
      case DS_DATE: break;
      default: return false;
    }
  }
  return true;
}

// True when ds holds the cursor's columns, hidden ones included, with storage
// for at least n rows.
bool keepsLayout(const InfCursor* cur, const Dataset* ds, uint32_t n) {
  if (ds->cols == nullptr || ds->colCapacity != cur->resultCount) return false;
  if (ds->rowCapacity <= 0 || static_cast<uint32_t>(ds->rowCapacity) < n) return false;
  for (uint16_t j = 0; j < cur->resultCount; ++j) {
    const DatasetColumn& col = ds->cols[j];
    const ColumnInfo& info = cur->results[j];
    if (col.type != static_cast<int32_t>(info.bindType) ||
        col.width != DatasetTypeWidth(col.type, info.octetLength) || col.data == nullptr ||
        col.ind == nullptr)
      return false;
  }
  return true;
}

// The scratch of the wide pass, for the widest UTF-16 string column.
int32_t sizeWideScratch(const Dataset* ds, CallBuffers& b) {
  size_t widest = 0;
  for (uint16_t j = 0; j < ds->colCount; ++j)
    if (ds->cols[j].type == DS_WSTRING && ds->cols[j].width > widest) widest = ds->cols[j].width;
  try {
    b.utf8.resize(widest + 1);
    b.units.resize(widest / 2 + 1);
  } catch (const std::bad_alloc&) {
    return ERR_MEMORY;
  }
  return 0;
}

// The result's end, as a fetch meets it.
void endOfData(InfCursor* cur) {
  cur->flags |= CF_EOD;
  // The end of the result ends the transaction that autocommit opened for it.
  if (cur->conn->autocommit != 0) (void)INF_TxnControl(cur->conn, TXN_COMMIT);
}

// Up to n rows into ds with one runtime call, each value read into its own slot (a
// date's day number into a run of the block's day numbers); the rows are then finished
// as the row-by-row road finishes them.
int32_t fetchBlock(InfCursor* cur, Dataset* ds, uint32_t n, uint16_t visible, bool wide,
                   CallBuffers& b) {
  if (int32_t rc = pointHostVars(cur, ds, 0, b); rc != 0) return rc;
  InfFetchScratch& scratch = cur->fetchScratch;
  size_t dateColumns = 0;
  for (uint16_t j = 0; j < ds->colCount; ++j) dateColumns += ds->cols[j].type == DS_DATE ? 1 : 0;
  try {
    scratch.strides.resize(ds->colCount);
    scratch.blockDates.resize(dateColumns * n);
  } catch (const std::bad_alloc&) {
    return ERR_MEMORY;
  }
  IxrDate* dates = scratch.blockDates.data();
  for (uint16_t j = 0; j < ds->colCount; ++j) {
    DatasetColumn& col = ds->cols[j];
    scratch.strides[j] = static_cast<int32_t>(col.width);
    if (col.type == DS_DATE) {
      cur->outputArea->sqlvar[j].sqldata = reinterpret_cast<char*>(dates);
      scratch.strides[j] = sizeof(IxrDate);
      dates += n;
    }
  }
  int32_t fetched = 0;
  const int code =
      _fetch_cursor_rows(cur->conn->session, cur->declaredName, cur->outputArea,
                         static_cast<int32_t>(n), scratch.strides.data(), &fetched, nullptr);
  int32_t result = 0;
  if (code == IXR_NOTFOUND) {
    endOfData(cur);
  } else if (code != 0) {
    ErrListAddInformix(&cur->errors, code);
    result = InfCodeToDrvCode(code, ERR_SYNTAX);
  }
  auto rows = static_cast<uint32_t>(fetched);
  if (const uint32_t cut = firstCutRow(ds, visible, rows); cut < rows) {
    rows = cut;
    fetched = static_cast<int32_t>(cut);
    if (result == 0) result = refuseCut(cur);
  }
  for (uint16_t j = 0, d = 0; j < visible; ++j) {
    DatasetColumn& col = ds->cols[j];
    if (col.type == DS_DATE) {
      const IxrDate* days = scratch.blockDates.data() + n * d++;
      for (uint32_t r = 0; r < rows; ++r) {
        if (col.ind[r] == DS_IND_NULL) continue;
        col.ind[r] = 0;
        dateToSlot(days[r], col.data + static_cast<size_t>(r) * col.width);
      }
    } else if (wide && col.type == DS_WSTRING) {
      for (uint32_t r = 0; r < rows; ++r) {
        if (col.ind[r] == DS_IND_NULL) continue;
        col.ind[r] = 0;
        if (!widenShortAscii(col.data + static_cast<size_t>(r) * col.width, col.width) &&
            widen(col, r, b) == ERR_STRING_TRUNC && result == 0)
          result = refuseCut(cur);
      }
    } else {
      markPresent(col.ind, rows);
    }
  }
  cur->rowCount += static_cast<uint32_t>(fetched);
  return result;
}

}  // namespace

int32_t Fetch(DrvHandle hCursor, uint16_t rows, Dataset* ds) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr || ds == nullptr) return ERR_ARGUMENT;
  cur->rowCount = 0;
  // Results the agent builds itself come from memory.
  if (cur->kind == 2) return TypeInfoFetch(cur, rows, ds);
  if (cur->kind == 3) return ProcColumnsFetch(cur, rows, ds);
  if ((cur->flags & CF_EXECUTED) == 0) return ERR_SEQUENCE;
  InfConn* conn = cur->conn;
  uint32_t n = rows;
  // A limit lowered below the rows already read lets none more through.
  if (const uint32_t limit = InfRowLimit(cur); limit != 0)
    n = cur->fetchedTotal >= limit ? 0 : std::min(n, limit - cur->fetchedTotal);
  if (n == 0 || (cur->flags & CF_EOD) != 0 || cur->outputArea == nullptr || cur->resultCount == 0) {
    DatasetFree(ds);
    return DatasetInit(ds, 0);
  }
  if (HasLongColumn(cur->results, cur->resultCount)) n = 1;
  // A positioned statement names the row the server's cursor stands on, which must be
  // the application's: a cursor whose rows it may name reads no row ahead.
  if ((cur->flags & CF_NAMED) != 0 || (cur->request.flags & REQF_FOR_UPDATE) != 0)
    n = std::min(n, 1u);
  if (keepsLayout(cur, ds, n)) {
    DatasetResetRows(ds);
    ds->colCount = cur->resultCount;
  } else {
    DatasetFree(ds);
    if (int32_t rc =
            DatasetFromColumnInfo(cur->results, cur->resultCount, static_cast<int32_t>(n), ds);
        rc != 0)
      return rc;
    n = static_cast<uint32_t>(ds->rowCapacity);
  }
  const uint16_t visible = static_cast<uint16_t>(ds->colCount - cur->hiddenColumns);
  const bool wide = InfWideBuild() && conn->wide != 0;

  int32_t result = 0;
  {
    CallBuffers b(cur->fetchScratch);
    b.area = cur->outputArea;
    b.saved.assign(cur->outputArea->sqlvar, cur->outputArea->sqlvar + cur->outputArea->sqld);
    b.dates.resize(ds->colCount);
    b.datetimes.resize(ds->colCount);
    b.locators.resize(ds->colCount);
    if (wide) result = sizeWideScratch(ds, b);
    if (result == 0 && cur->rowCallback == nullptr && fetchesInBlock(ds)) {
      result = fetchBlock(cur, ds, n, visible, wide, b);
      n = 0;  // the block is read
    }
    for (uint32_t r = 0; r < n && result == 0; ++r) {
      if (int32_t rc = pointHostVars(cur, ds, r, b); rc != 0) {
        result = rc;
        break;
      }
      const int code = _fetch_cursor(conn->session, cur->declaredName, cur->outputArea, nullptr);
      if (code == IXR_NOTFOUND) {
        endOfData(cur);
        break;
      }
      if (code != 0) {
        ErrListAddInformix(&cur->errors, code);
        result = InfCodeToDrvCode(code, ERR_SYNTAX);
        break;
      }
      if (cur->rowCallback != nullptr) {
        cur->rowCallback(cur);
        if (ixr_sqlca()->sqlcode == IXR_NOTFOUND) break;
      }
      if (rowCut(ds, visible, r)) {
        result = refuseCut(cur);
        break;
      }
      ++cur->rowCount;
      for (uint16_t j = 0; j < visible && result == 0; ++j) {
        DatasetColumn& col = ds->cols[j];
        if (col.ind[r] == DS_IND_NULL) continue;
        col.ind[r] = 0;
        result = convertValue(col, r, j, b);
      }
      for (uint16_t j = 0; wide && j < visible && result == 0; ++j) {
        DatasetColumn& col = ds->cols[j];
        if (col.ind[r] == 0) result = widen(col, r, b);
        if (result == ERR_STRING_TRUNC) result = refuseCut(cur);
      }
    }
  }
  if (result == ERR_GENERAL) {
    DatasetFree(ds);
    return result;
  }
  ds->rowCount = static_cast<int32_t>(cur->rowCount);
  cur->fetchedTotal += cur->rowCount;
  ds->colCount = visible;
  if (cur->rowCount == 0 && result == 0) {
    // No rows left: the caller gets an empty Dataset.
    DatasetFree(ds);
    return DatasetInit(ds, 0);
  }
  return result;
}
