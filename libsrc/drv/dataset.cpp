// dataset.cpp -- the column-wise row buffer shared by every layer.
// Owns nothing beyond the Datasets handed to it; takes no locks (a Dataset is used
// by one thread at a time) and logs nothing.
// Allocation is the C heap's and a refusal is ERR_MEMORY, never the end of the
// process: a fetch block or a cache can be large, and the caller can report it.
// Every size is computed in 64 bits and checked against the storage limit before
// anything is allocated, so a size that cannot exist never becomes a short block.
// An operation that fails leaves each long value with exactly one owner: targets
// are cleared before copies are allocated, and new storage is built completely
// before it replaces the old.

#include "drv/dataset.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "drv/colinfo.h"
#include "drv/errtab.h"
#include "platform/windows/codepage.h"

namespace {

// A column's storage, rows × width + 1 bytes, stays below 4 GiB: widths, value
// lengths and the counts handed out by DatasetGetValue are all 32-bit.
constexpr uint64_t kMaxStorage = UINT32_MAX;

thread_local uint32_t tFailAt = 0;
thread_local uint32_t tAllocs = 0;

bool fail_injected() {
  ++tAllocs;
  return tFailAt != 0 && tAllocs == tFailAt;
}

void* ds_calloc(uint64_t count, uint64_t size) {
  if (fail_injected()) return nullptr;
  return std::calloc(count ? count : 1, size ? size : 1);
}

void* ds_malloc(uint64_t bytes) {
  if (fail_injected()) return nullptr;
  return std::malloc(bytes ? bytes : 1);
}

// memcpy/memmove with a count of 0 accept null pointers here.
void copy_bytes(void* to, const void* from, uint64_t n) {
  if (n) std::memcpy(to, from, n);
}

void move_bytes(void* to, const void* from, uint64_t n) {
  if (n) std::memmove(to, from, n);
}

bool is_long_type(int32_t t) { return t == DS_LONGCHAR || t == DS_LONGBINARY || t == DS_LONGWCHAR; }

// Only a slot wide enough for an entry can hold an owned pointer.
bool owns_longs(const DatasetColumn& c) {
  return is_long_type(c.type) && c.width >= sizeof(DatasetLong);
}

uint64_t long_bytes(int32_t type, uint32_t length) {
  return type == DS_LONGWCHAR ? uint64_t(length) * 2 : length;
}

char* slot(const DatasetColumn& c, uint64_t r) { return c.data + r * c.width; }

// Entries and length prefixes are read and written by copy: a column of a
// caller-chosen width need not keep them aligned.
DatasetLong get_long(const DatasetColumn& c, uint64_t r) {
  DatasetLong e;
  std::memcpy(&e, slot(c, r), sizeof e);
  return e;
}

void set_long(const DatasetColumn& c, uint64_t r, DatasetLong e) {
  std::memcpy(slot(c, r), &e, sizeof e);
}

void set_long_data(const DatasetColumn& c, uint64_t r, void* p) {
  std::memcpy(slot(c, r) + offsetof(DatasetLong, data), &p, sizeof p);
}

uint32_t get_prefix(const char* s, unsigned k) {
  if (k == 1) return static_cast<unsigned char>(*s);
  if (k == 2) {
    uint16_t v;
    std::memcpy(&v, s, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, s, 4);
  return v;
}

void set_prefix(char* s, unsigned k, uint32_t v) {
  if (k == 1) {
    *s = static_cast<char>(v);
  } else if (k == 2) {
    uint16_t h = static_cast<uint16_t>(v);
    std::memcpy(s, &h, 2);
  } else {
    std::memcpy(s, &v, 4);
  }
}

// Bytes of the length prefix of a prefixed type, 0 for the others.
unsigned prefix_size(int32_t t) {
  switch (t) {
    case DS_VARCHAR1:
    case DS_VARBINARY1: return 1;
    case DS_VARCHAR2:
    case DS_VARBINARY2: return 2;
    case DS_VARCHAR4:
    case DS_VARBINARY4:
    case DS_WVARCHAR4: return 4;
    default: return 0;
  }
}

// UTF-16 units before the first NUL unit among the first `max` of s.
uint64_t units_to_nul(const char* s, uint64_t max) {
  uint64_t n = 0;
  for (char16_t u; n < max; ++n) {
    std::memcpy(&u, s + 2 * n, 2);
    if (u == 0) break;
  }
  return n;
}

// Longest prefix of a UTF-8 text of len bytes that has at most n bytes and ends
// on a character boundary: a cut never leaves half a character behind.
uint64_t utf8_cut(const char* p, uint64_t len, uint64_t n) {
  if (len <= n) return len;
  while (n > 0 && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80) --n;
  return n;
}

// Bytes of the ANSI form of `units` UTF-16 units, written to out when room is
// not 0 (room must then hold them all); -1 for a text too long to measure.
int64_t to_ansi(const char16_t* text, uint64_t units, char* out, uint64_t room) {
  if (units == 0) return 0;
  if (units > INT_MAX / 3) return -1;  // a unit gives at most 3 bytes, so the answer fits an int
  return WideCharToMultiByte(CP_ACP, 0, text, int(units), out,
                             int(std::min<uint64_t>(room, INT_MAX)), nullptr, nullptr);
}

struct Span {
  const char* p;
  uint64_t n;
};

// The bytes of a present value as readers of each type see them; never reaches
// beyond the slot, whatever a length prefix claims.
Span value_span(const DatasetColumn& c, uint64_t r) {
  const char* s = slot(c, r);
  const uint32_t w = c.width;
  if (owns_longs(c)) {
    DatasetLong e = get_long(c, r);
    if (!e.data) return {nullptr, 0};
    return {static_cast<const char*>(e.data), long_bytes(c.type, e.length)};
  }
  switch (c.type) {
    case DS_STRING: return {s, strnlen(s, w)};
    case DS_WSTRING: return {s, 2 * units_to_nul(s, w / 2)};
    case DS_WVARCHAR4:
      if (w < 4) return {s, 0};
      return {s + 4, std::min<uint64_t>(uint64_t(get_prefix(s, 4)) * 2, (w - 4) & ~1u)};
    default: break;
  }
  if (unsigned k = prefix_size(c.type)) {
    if (w < k) return {s, 0};
    return {s + k, std::min<uint64_t>(get_prefix(s, k), w - k)};
  }
  return {s, w};
}

// As value_span, but a fixed character slot counts only up to its terminator:
// what follows it is left over from earlier rows, not part of the value.
Span own_span(const DatasetColumn& c, uint64_t r) {
  const char* s = slot(c, r);
  if (c.type == DS_CHAR) return {s, strnlen(s, c.width)};
  if (c.type == DS_WCHAR) return {s, 2 * units_to_nul(s, c.width / 2)};
  return value_span(c, r);
}

uint32_t count_of(int32_t n) { return n > 0 ? static_cast<uint32_t>(n) : 0; }

// Counts that row access can trust.
bool sane(const Dataset* ds) {
  return ds && ds->rowCount >= 0 && ds->rowCapacity >= 0 && ds->rowCount <= ds->rowCapacity &&
         ds->colCount <= ds->colCapacity && (ds->colCount == 0 || ds->cols);
}

// Every used column has storage for the rows the counts promise.
bool stored(const Dataset& ds) {
  if (ds.rowCapacity == 0) return true;
  for (uint16_t i = 0; i < ds.colCount; ++i)
    if (!ds.cols[i].data || !ds.cols[i].ind) return false;
  return true;
}

bool same_layout(const DatasetColumn& a, const DatasetColumn& b) {
  return a.type == b.type && a.width == b.width;
}

// Gives dst rows [dr, dr + n) fresh copies of the long values of src rows
// [sr, sr + n) whose slots were already copied over. Every copied pointer is
// cleared first, so on failure dst owns only what it allocated.
int32_t dup_longs(const DatasetColumn& dst, uint64_t dr, const DatasetColumn& src, uint64_t sr,
                  uint64_t n) {
  for (uint64_t i = 0; i < n; ++i) set_long_data(dst, dr + i, nullptr);
  for (uint64_t i = 0; i < n; ++i) {
    if (src.ind[sr + i] == DS_IND_NULL) continue;
    DatasetLong e = get_long(src, sr + i);
    if (!e.data) continue;
    uint64_t bytes = long_bytes(src.type, e.length);
    void* p = ds_malloc(bytes);
    if (!p) return ERR_MEMORY;
    copy_bytes(p, e.data, bytes);
    set_long_data(dst, dr + i, p);
  }
  return 0;
}

char* alloc_data(uint32_t rows, uint32_t width) {
  uint64_t bytes = uint64_t(rows) * width + 1;
  if (bytes > kMaxStorage) return nullptr;
  return static_cast<char*>(ds_calloc(bytes, 1));
}

// The prefixed form that DatasetTruncate widens a fixed column into, able to hold
// `size` units. useStrLen takes each value's own length (up to its terminator)
// instead of the whole slot.
int32_t DatasetWidenColumn(Dataset* ds, uint16_t c, uint64_t size, bool useStrLen) {
  DatasetColumn& col = ds->cols[c];
  const bool wide = col.type == DS_WCHAR;
  const int32_t type = wide ? DS_WVARCHAR4 : col.type == DS_CHAR ? DS_VARCHAR4 : DS_VARBINARY4;
  const uint32_t width =
      DatasetTypeWidth(type, static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX)));
  if (width <= col.width) return 0;
  if (!col.data) {
    col.type = type;
    col.width = width;
    return 0;
  }
  DatasetColumn fresh{type, width, nullptr, nullptr};
  const uint32_t cap = count_of(ds->rowCapacity);
  if (int32_t rc = DatasetColumnAlloc(&fresh, cap)) return rc;
  copy_bytes(fresh.ind, col.ind, uint64_t(cap) * sizeof(int16_t));
  for (uint32_t r = 0; r < count_of(ds->rowCount); ++r) {
    if (col.ind[r] == DS_IND_NULL) continue;
    uint64_t bytes = useStrLen ? own_span(col, r).n : (wide ? col.width & ~1u : col.width);
    set_prefix(slot(fresh, r), 4, static_cast<uint32_t>(wide ? bytes / 2 : bytes));
    copy_bytes(slot(fresh, r) + 4, slot(col, r), bytes);
  }
  DatasetColumnFree(&col, 0);
  col = fresh;
  return 0;
}

// Converts the UTF-16 slots of DS_WCHAR, DS_WSTRING or DS_WVARCHAR4 rows into
// new storage. The width stays unless some value needs more room than the slot
// offers in UTF-8; then the column grows to the longest value.
int32_t slot_to_ansi(DatasetColumn& col, uint32_t rows, uint32_t cap) {
  const bool prefixed = col.type == DS_WVARCHAR4;
  const uint32_t head = prefixed ? 4 : 0;
  const uint32_t w = col.width;
  // A slot too small for its own prefix holds no value.
  const bool whole = w >= head;
  auto units = [&](uint32_t r) -> uint64_t {
    const char* s = slot(col, r);
    if (!whole) return 0;
    if (prefixed) return std::min<uint64_t>(get_prefix(s, 4), (w - 4) / 2);
    return units_to_nul(s, w / 2);
  };
  auto text = [&](uint32_t r) { return reinterpret_cast<const char16_t*>(slot(col, r) + head); };
  uint64_t longest = 0;
  for (uint32_t r = 0; r < rows; ++r) {
    if (col.ind[r] == DS_IND_NULL) continue;
    int64_t n = to_ansi(text(r), units(r), nullptr, 0);
    if (n < 0) return ERR_MEMORY;
    longest = std::max<uint64_t>(longest, uint64_t(n));
  }
  const int32_t type = prefixed ? DS_VARCHAR4 : DS_STRING;
  // DS_STRING keeps its NUL inside the slot.
  const uint64_t need = longest + (prefixed ? 4 : 1);
  uint32_t width = w;
  if (need > w) width = DatasetTypeWidth(type, static_cast<uint32_t>(longest));
  char* data = alloc_data(cap, width);
  if (!data) return ERR_MEMORY;
  const uint64_t out = prefixed ? width - 4 : width - 1;
  for (uint32_t r = 0; r < rows; ++r) {
    if (col.ind[r] == DS_IND_NULL) continue;
    char* s = data + uint64_t(r) * width;
    int64_t n = to_ansi(text(r), units(r), s + head, out);
    if (prefixed) set_prefix(s, 4, static_cast<uint32_t>(n));
  }
  std::free(col.data);
  col.data = data;
  col.width = width;
  col.type = type;
  return 0;
}

// Replaces each present DS_LONGWCHAR value by its ANSI form, length in bytes.
// All new values are made before any old one is released.
int32_t long_to_ansi(DatasetColumn& col, uint32_t rows) {
  auto* fresh = static_cast<DatasetLong*>(ds_calloc(rows, sizeof(DatasetLong)));
  if (!fresh) return ERR_MEMORY;
  int32_t rc = 0;
  for (uint32_t r = 0; r < rows && rc == 0; ++r) {
    DatasetLong e = get_long(col, r);
    if (col.ind[r] == DS_IND_NULL || !e.data) continue;
    const auto* text = static_cast<const char16_t*>(e.data);
    const int64_t len = to_ansi(text, e.length, nullptr, 0);
    char* p = len >= 0 ? static_cast<char*>(ds_malloc(uint64_t(len) + 1)) : nullptr;
    if (!p) {
      rc = ERR_MEMORY;
      break;
    }
    to_ansi(text, e.length, p, uint64_t(len));
    p[len] = '\0';  // lets a reader treat the value as a C string
    fresh[r] = {static_cast<uint32_t>(len), p};
  }
  for (uint32_t r = 0; r < rows; ++r) {
    if (!fresh[r].data) continue;
    if (rc) {
      std::free(fresh[r].data);
    } else {
      std::free(get_long(col, r).data);
      set_long(col, r, fresh[r]);
    }
  }
  std::free(fresh);
  if (rc == 0) col.type = DS_LONGCHAR;
  return rc;
}

}  // namespace

uint32_t DatasetTypeWidth(int32_t type, uint32_t size) noexcept {
  const uint64_t s = size;
  uint64_t w;
  switch (type) {
    case DS_NONE:
    case DS_BIT:
    case DS_TINYINT:
    case DS_UTINYINT: w = 1; break;
    case DS_SMALLINT:
    case DS_USMALLINT: w = 2; break;
    case DS_INTEGER:
    case DS_UINTEGER:
    case DS_REAL: w = 4; break;
    case DS_DOUBLE: w = 8; break;
    case DS_DATE:
    case DS_TIME: w = 6; break;
    case DS_TIMESTAMP:
    case DS_LONGCHAR:
    case DS_LONGBINARY:
    case DS_LONGWCHAR: w = 16; break;
    case DS_STRING:
    case DS_VARCHAR1:
    case DS_VARBINARY1: w = s + 1; break;
    case DS_VARCHAR2:
    case DS_VARBINARY2: w = (s + 3) & ~uint64_t(1); break;
    case DS_VARCHAR4:
    case DS_VARBINARY4: w = (s + 7) & ~uint64_t(3); break;
    case DS_WCHAR: w = 2 * s; break;
    case DS_WSTRING: w = 2 * s + 2; break;
    case DS_WVARCHAR4: w = (2 * s + 7) & ~uint64_t(3); break;
    default: w = s; break;  // DS_CHAR, DS_BINARY and unknown codes
  }
  return w > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(w);
}

uint32_t DatasetPrefixSize(int32_t type) noexcept { return prefix_size(type); }

int32_t DatasetColumnAlloc(DatasetColumn* col, uint32_t rows) noexcept {
  if (!col) return ERR_GENERAL;
  if (rows == 0) {
    col->data = nullptr;
    col->ind = nullptr;
    return 0;
  }
  char* data = alloc_data(rows, col->width);
  auto* ind = data ? static_cast<int16_t*>(ds_malloc(uint64_t(rows) * sizeof(int16_t))) : nullptr;
  if (!ind) {
    std::free(data);
    return ERR_MEMORY;
  }
  std::fill_n(ind, rows, DS_IND_NULL);
  col->data = data;
  col->ind = ind;
  return 0;
}

void DatasetColumnFree(DatasetColumn* col, uint32_t n) noexcept {
  if (!col) return;
  if (col->data && owns_longs(*col))
    for (uint32_t r = 0; r < n; ++r) std::free(get_long(*col, r).data);
  std::free(col->data);
  std::free(col->ind);
  col->data = nullptr;
  col->ind = nullptr;
}

int32_t DatasetInit(Dataset* ds, uint16_t columns) noexcept {
  if (!ds) return ERR_GENERAL;
  *ds = Dataset{};
  if (columns == 0) return 0;
  ds->cols = static_cast<DatasetColumn*>(ds_calloc(columns, sizeof(DatasetColumn)));
  if (!ds->cols) return ERR_MEMORY;
  ds->colCapacity = columns;
  return 0;
}

int32_t DatasetSetRows(Dataset* ds, int32_t rows) noexcept {
  if (!ds || rows < 0) return ERR_GENERAL;
  if (ds->colCount > ds->colCapacity) return ERR_MEMORY;
  if (ds->colCount && !ds->cols) return ERR_GENERAL;
  // Storage a column already has would otherwise be lost with its long values.
  for (uint16_t i = 0; i < ds->colCount; ++i)
    DatasetColumnFree(&ds->cols[i], count_of(ds->rowCapacity));
  ds->rowCapacity = 0;
  for (uint16_t i = 0; i < ds->colCount; ++i) {
    if (DatasetColumnAlloc(&ds->cols[i], uint32_t(rows)) != 0) {
      for (uint16_t j = 0; j < i; ++j) DatasetColumnFree(&ds->cols[j], 0);
      return ERR_MEMORY;
    }
  }
  ds->rowCapacity = rows;
  return 0;
}

void DatasetFree(Dataset* ds) noexcept {
  if (!ds) return;
  if (ds->cols) {
    for (uint16_t i = 0; i < ds->colCapacity; ++i)
      DatasetColumnFree(&ds->cols[i], count_of(ds->rowCapacity));
    std::free(ds->cols);
  }
  *ds = Dataset{};
}

void DatasetResetRows(Dataset* ds) noexcept {
  if (!ds) return;
  for (uint16_t i = 0; i < ds->colCount && ds->cols; ++i) {
    const DatasetColumn& c = ds->cols[i];
    if (!c.data || !owns_longs(c)) continue;
    // Up to the capacity: an entry past rowCount may still own a value a caller left there.
    for (uint64_t r = 0; r < count_of(ds->rowCapacity); ++r) {
      std::free(get_long(c, r).data);
      set_long(c, r, DatasetLong{});
    }
  }
  ds->rowCount = 0;
}

int32_t DatasetFromColumnInfo(const ColumnInfo* info, uint16_t n, int32_t rows,
                              Dataset* ds) noexcept {
  if (!ds || (n && !info)) return ERR_GENERAL;
  if (int32_t rc = DatasetInit(ds, n)) return rc;
  for (uint16_t i = 0; i < n; ++i) {
    ds->cols[i].type = static_cast<int32_t>(info[i].bindType);
    ds->cols[i].width = DatasetTypeWidth(ds->cols[i].type, info[i].octetLength);
  }
  ds->colCount = n;
  int32_t rc = DatasetSetRows(ds, rows);
  if (rc) DatasetFree(ds);
  return rc;
}

int32_t DatasetInsertRow(Dataset* ds, uint32_t index) noexcept {
  if (!sane(ds) || !stored(*ds) || ds->colCount == 0 || ds->rowCount == ds->rowCapacity ||
      index > uint32_t(ds->rowCount))
    return ERR_GENERAL;
  const uint32_t count = uint32_t(ds->rowCount);
  for (uint16_t i = 0; i < ds->colCount; ++i) {
    const DatasetColumn& c = ds->cols[i];
    // The slot the shift overwrites lies beyond rowCount; a value left there is
    // still owned by the column.
    if (owns_longs(c)) std::free(get_long(c, count).data);
    move_bytes(slot(c, index + 1), slot(c, index), uint64_t(count - index) * c.width);
    move_bytes(c.ind + index + 1, c.ind + index, uint64_t(count - index) * sizeof(int16_t));
    std::memset(slot(c, index), 0, c.width);
    c.ind[index] = DS_IND_NULL;
  }
  ++ds->rowCount;
  return 0;
}

int32_t DatasetCompareRows(const Dataset* a, uint32_t ra, const Dataset* b, uint32_t rb,
                           int32_t* equal) noexcept {
  if (!equal || !sane(a) || !sane(b) || !stored(*a) || !stored(*b) || a->rowCount == 0 ||
      b->rowCount == 0 || ra >= uint32_t(a->rowCount) || rb >= uint32_t(b->rowCount) ||
      a->colCount != b->colCount)
    return ERR_GENERAL;
  bool same = true;
  for (uint16_t i = 0; i < a->colCount && same; ++i) {
    const DatasetColumn& x = a->cols[i];
    const DatasetColumn& y = b->cols[i];
    if (!same_layout(x, y)) return ERR_GENERAL;
    const bool nx = x.ind[ra] == DS_IND_NULL;
    const bool ny = y.ind[rb] == DS_IND_NULL;
    if (nx || ny) {
      same = nx == ny;
      continue;
    }
    Span sx = own_span(x, ra);
    Span sy = own_span(y, rb);
    same = sx.n == sy.n && (sx.n == 0 || (sx.p && sy.p && std::memcmp(sx.p, sy.p, sx.n) == 0));
  }
  *equal = same ? 1 : 0;
  return 0;
}

int32_t DatasetClone(Dataset** out, const Dataset* src) noexcept {
  if (!out || !sane(src) || (src->rowCount > 0 && !stored(*src))) return ERR_GENERAL;
  auto* ds = static_cast<Dataset*>(ds_calloc(1, sizeof(Dataset)));
  if (!ds) return ERR_MEMORY;
  if (int32_t rc = DatasetInit(ds, src->colCapacity)) {
    std::free(ds);
    return rc;
  }
  if (src->rowCount > 0) {
    ds->colCount = src->colCount;
    ds->rowCapacity = src->rowCapacity;
    ds->rowCount = src->rowCount;
    const uint32_t rows = uint32_t(src->rowCount);
    for (uint16_t i = 0; i < src->colCount; ++i) {
      const DatasetColumn& s = src->cols[i];
      DatasetColumn& d = ds->cols[i];
      d.type = s.type;
      d.width = s.width;
      int32_t rc = DatasetColumnAlloc(&d, uint32_t(src->rowCapacity));
      if (rc == 0) {
        copy_bytes(d.data, s.data, uint64_t(rows) * s.width);
        copy_bytes(d.ind, s.ind, uint64_t(rows) * sizeof(int16_t));
        if (owns_longs(d)) rc = dup_longs(d, 0, s, 0, rows);
      }
      if (rc) {
        DatasetFree(ds);
        std::free(ds);
        return rc;
      }
    }
  }
  *out = ds;
  return 0;
}

int32_t DatasetCopyRow(Dataset* dst, Dataset* src, uint32_t dr, uint32_t sr,
                       int32_t move) noexcept {
  if (!sane(dst) || !sane(src) || !stored(*dst) || !stored(*src) ||
      dst->colCount != src->colCount || src->rowCount == 0 || sr >= uint32_t(src->rowCount))
    return ERR_GENERAL;
  if (dr >= uint32_t(dst->rowCount)) {
    if (dst->rowCapacity == 0 || dr >= uint32_t(dst->rowCapacity)) return ERR_GENERAL;
    dr = uint32_t(dst->rowCount);
  }
  if (dst == src && dr == sr) return 0;
  // A mismatch is found before any column changes.
  for (uint16_t i = 0; i < dst->colCount; ++i)
    if (!same_layout(dst->cols[i], src->cols[i])) return ERR_GENERAL;
  for (uint16_t i = 0; i < dst->colCount; ++i) {
    const DatasetColumn& d = dst->cols[i];
    const DatasetColumn& s = src->cols[i];
    if (owns_longs(d)) std::free(get_long(d, dr).data);
    copy_bytes(slot(d, dr), slot(s, sr), d.width);
    d.ind[dr] = s.ind[sr];
    if (!owns_longs(d)) continue;
    if (move) {
      set_long_data(s, sr, nullptr);
    } else if (dup_longs(d, dr, s, sr, 1) != 0) {
      set_long(d, dr, DatasetLong{0, nullptr});
      d.ind[dr] = DS_IND_NULL;
      return ERR_MEMORY;
    }
  }
  if (dr == uint32_t(dst->rowCount)) ++dst->rowCount;
  return 0;
}

int32_t DatasetAppend(Dataset* ds, Dataset* src) noexcept {
  if (!ds || !src || ds == src) return ERR_GENERAL;
  if (src->rowCount == 0) return 0;
  if (!sane(ds) || !sane(src) || !stored(*ds) || !stored(*src) || ds->colCount != src->colCount)
    return ERR_GENERAL;
  for (uint16_t i = 0; i < ds->colCount; ++i)
    if (!same_layout(ds->cols[i], src->cols[i])) return ERR_GENERAL;
  const uint64_t total = uint64_t(ds->rowCount) + uint64_t(src->rowCount);
  if (total > INT32_MAX) return ERR_MEMORY;
  const uint32_t have = uint32_t(ds->rowCount);
  const uint32_t add = uint32_t(src->rowCount);
  // All new storage first: a refusal leaves both Datasets as they were.
  auto* fresh = static_cast<DatasetColumn*>(ds_calloc(ds->colCount, sizeof(DatasetColumn)));
  if (!fresh) return ERR_MEMORY;
  for (uint16_t i = 0; i < ds->colCount; ++i) {
    fresh[i] = DatasetColumn{ds->cols[i].type, ds->cols[i].width, nullptr, nullptr};
    if (DatasetColumnAlloc(&fresh[i], uint32_t(total)) != 0) {
      for (uint16_t j = 0; j < i; ++j) DatasetColumnFree(&fresh[j], 0);
      std::free(fresh);
      return ERR_MEMORY;
    }
  }
  for (uint16_t i = 0; i < ds->colCount; ++i) {
    DatasetColumn& d = ds->cols[i];
    const DatasetColumn& s = src->cols[i];
    DatasetColumn& f = fresh[i];
    copy_bytes(f.data, d.data, uint64_t(have) * d.width);
    copy_bytes(f.ind, d.ind, uint64_t(have) * sizeof(int16_t));
    copy_bytes(slot(f, have), s.data, uint64_t(add) * s.width);
    copy_bytes(f.ind + have, s.ind, uint64_t(add) * sizeof(int16_t));
    if (owns_longs(d)) {
      // Values of the first rows now live in the new storage; any beyond them
      // are dropped with the old.
      for (uint32_t r = have; r < uint32_t(ds->rowCapacity); ++r) std::free(get_long(d, r).data);
      for (uint32_t r = 0; r < add; ++r) set_long_data(s, r, nullptr);
    }
    std::free(d.data);
    std::free(d.ind);
    d.data = f.data;
    d.ind = f.ind;
  }
  std::free(fresh);
  ds->rowCount = ds->rowCapacity = int32_t(total);
  return 0;
}

int32_t DatasetJoin(Dataset* a, Dataset* b) noexcept {
  if (!sane(a) || !sane(b) || a == b || !a->cols || !b->cols || !stored(*a) || !stored(*b) ||
      a->rowCount != b->rowCount || a->rowCapacity != b->rowCapacity)
    return ERR_GENERAL;
  const uint32_t n = uint32_t(a->colCount) + b->colCount;
  if (n > UINT16_MAX) return ERR_MEMORY;
  auto* cols = static_cast<DatasetColumn*>(ds_calloc(n, sizeof(DatasetColumn)));
  if (!cols) return ERR_MEMORY;
  copy_bytes(cols, b->cols, b->colCount * sizeof(DatasetColumn));
  copy_bytes(cols + b->colCount, a->cols, a->colCount * sizeof(DatasetColumn));
  for (uint16_t i = 0; i < b->colCount; ++i) {
    b->cols[i].data = nullptr;
    b->cols[i].ind = nullptr;
  }
  std::free(a->cols);
  a->cols = cols;
  a->colCount = a->colCapacity = uint16_t(n);
  return 0;
}

int32_t DatasetCloneLayout(Dataset** dst, const Dataset* src, int32_t rows) noexcept {
  if (!dst || !src || *dst == src || src->colCount > src->colCapacity ||
      (src->colCount && !src->cols))
    return ERR_GENERAL;
  Dataset* ds = *dst;
  const bool mine = ds == nullptr;
  if (mine) {
    ds = static_cast<Dataset*>(ds_calloc(1, sizeof(Dataset)));
    if (!ds) return ERR_MEMORY;
  } else {
    DatasetFree(ds);
  }
  int32_t rc = DatasetInit(ds, src->colCapacity);
  if (rc == 0) {
    ds->colCount = src->colCount;
    for (uint16_t i = 0; i < src->colCount; ++i) {
      ds->cols[i].type = src->cols[i].type;
      ds->cols[i].width = src->cols[i].width;
    }
    rc = DatasetSetRows(ds, rows);
  }
  if (rc) {
    DatasetFree(ds);
    if (mine) std::free(ds);
    return rc;
  }
  *dst = ds;
  return 0;
}

int32_t DatasetReverse(Dataset** ds) noexcept {
  if (!ds || !*ds) return ERR_GENERAL;
  Dataset* rev = nullptr;
  if (int32_t rc = DatasetCloneLayout(&rev, *ds, (*ds)->rowCapacity)) return rc;
  // Values are duplicated, not moved, so that a failure leaves *ds whole.
  for (int32_t i = 0; i < (*ds)->rowCount; ++i) {
    if (int32_t rc = DatasetCopyRow(rev, *ds, uint32_t(i), uint32_t((*ds)->rowCount - 1 - i), 0)) {
      DatasetFree(rev);
      std::free(rev);
      return rc;
    }
  }
  DatasetFree(*ds);
  std::free(*ds);
  *ds = rev;
  return 0;
}

int32_t DatasetDeleteColumn(Dataset* ds, uint16_t c) noexcept {
  if (!sane(ds) || c >= ds->colCount) return ERR_GENERAL;
  // Every slot up to the capacity may own a long value, not only the filled rows.
  DatasetColumnFree(&ds->cols[c], count_of(ds->rowCapacity));
  move_bytes(ds->cols + c, ds->cols + c + 1,
             uint64_t(ds->colCount - c - 1) * sizeof(DatasetColumn));
  ds->cols[ds->colCount - 1] = DatasetColumn{};
  --ds->colCount;
  return 0;
}

int32_t DatasetColumnType(const Dataset* ds, uint16_t c, int32_t* type, int32_t* width) noexcept {
  if (!ds || !type || !width || !ds->cols || c >= ds->colCount) return ERR_GENERAL;
  *type = ds->cols[c].type;
  *width = static_cast<int32_t>(ds->cols[c].width);
  return 0;
}

int32_t DatasetInsertColumn(Dataset* ds, uint16_t i, int32_t type, uint32_t width) noexcept {
  if (!ds || i > ds->colCount || ds->rowCapacity < 0 || ds->colCount > ds->colCapacity ||
      (ds->colCount && !ds->cols))
    return ERR_GENERAL;
  if (ds->colCount == UINT16_MAX) return ERR_MEMORY;
  // Storage and the new array are both had before anything changes.
  DatasetColumn col{type, width, nullptr, nullptr};
  if (int32_t rc = DatasetColumnAlloc(&col, count_of(ds->rowCapacity))) return rc;
  const uint16_t n = uint16_t(ds->colCount + 1);
  auto* cols = static_cast<DatasetColumn*>(ds_calloc(n, sizeof(DatasetColumn)));
  if (!cols) {
    DatasetColumnFree(&col, 0);
    return ERR_MEMORY;
  }
  copy_bytes(cols, ds->cols, uint64_t(i) * sizeof(DatasetColumn));
  cols[i] = col;
  copy_bytes(cols + i + 1, ds->cols + i, uint64_t(ds->colCount - i) * sizeof(DatasetColumn));
  std::free(ds->cols);
  ds->cols = cols;
  ds->colCount = ds->colCapacity = n;
  return 0;
}

int32_t DatasetCopyColumn(Dataset* dst, const Dataset* src, uint16_t dc, uint16_t sc) noexcept {
  if (!sane(dst) || !sane(src) || (dst == src && dc == sc) || dc >= dst->colCount ||
      sc >= src->colCount || (dst->rowCount > 0 && dst->rowCount != src->rowCount))
    return ERR_GENERAL;
  DatasetColumn& d = dst->cols[dc];
  const DatasetColumn& s = src->cols[sc];
  if (!same_layout(d, s)) return ERR_GENERAL;
  if (src->rowCount == 0) return 0;
  if (!s.data || !s.ind) return ERR_GENERAL;
  // The column gets storage for the whole capacity, as every other column has.
  // The capacity grows only while no other column has storage to match.
  const uint32_t rows = uint32_t(std::max(dst->rowCapacity, src->rowCount));
  if (rows > uint32_t(dst->rowCapacity))
    for (uint16_t j = 0; j < dst->colCount; ++j)
      if (j != dc && dst->cols[j].data) return ERR_GENERAL;
  DatasetColumn fresh{d.type, d.width, nullptr, nullptr};
  if (int32_t rc = DatasetColumnAlloc(&fresh, rows)) return rc;
  const uint32_t n = uint32_t(src->rowCount);
  copy_bytes(fresh.data, s.data, uint64_t(n) * s.width);
  copy_bytes(fresh.ind, s.ind, uint64_t(n) * sizeof(int16_t));
  if (owns_longs(fresh)) {
    if (int32_t rc = dup_longs(fresh, 0, s, 0, n)) {
      DatasetColumnFree(&fresh, n);
      return rc;
    }
  }
  DatasetColumnFree(&d, count_of(dst->rowCapacity));
  d = fresh;
  dst->rowCount = src->rowCount;
  dst->rowCapacity = int32_t(rows);
  return 0;
}

int32_t DatasetGetValue(const Dataset* ds, uint32_t r, uint16_t c, void* buf,
                        uint32_t* len) noexcept {
  if (!sane(ds) || !buf || !len || c >= ds->colCount || r >= uint32_t(ds->rowCount) ||
      !ds->cols[c].data || !ds->cols[c].ind)
    return ERR_GENERAL;
  if (*len == 0) return 0;
  const DatasetColumn& col = ds->cols[c];
  if (col.ind[r] == DS_IND_NULL) {
    *len = 0;
    return 0;
  }
  Span v = value_span(col, r);
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(v.n, *len));
  copy_bytes(buf, v.p, n);
  *len = n;
  return 0;
}

int32_t DatasetToAnsi(Dataset* ds) noexcept {
  if (!sane(ds) || !stored(*ds)) return ERR_GENERAL;
  const uint32_t rows = uint32_t(ds->rowCount);
  for (uint16_t i = 0; i < ds->colCount; ++i) {
    DatasetColumn& col = ds->cols[i];
    if (col.type < DS_WCHAR || col.type > DS_WVARCHAR4) continue;
    static constexpr int32_t kNarrow[] = {DS_STRING, DS_STRING, DS_LONGCHAR, DS_VARCHAR4};
    if (!col.data) {
      col.type = kNarrow[col.type - DS_WCHAR];
      continue;
    }
    // UTF-16 is read in place, so a slot must start on a unit.
    if (col.width % 2) return ERR_GENERAL;
    int32_t rc = col.type == DS_LONGWCHAR
                     ? (owns_longs(col) ? long_to_ansi(col, rows) : ERR_GENERAL)
                     : slot_to_ansi(col, rows, uint32_t(ds->rowCapacity));
    if (rc) return rc;
  }
  return 0;
}

int32_t DatasetTruncate(Dataset* ds, uint32_t n) noexcept {
  if (!sane(ds)) return ERR_GENERAL;
  for (uint16_t i = 0; i < ds->colCount; ++i) {
    DatasetColumn& col = ds->cols[i];
    const uint32_t w = col.width;
    switch (col.type) {
      case DS_CHAR:
        if (w <= n) continue;
        if (int32_t rc = DatasetWidenColumn(ds, i, uint64_t(w) + 1, true)) return rc;
        break;
      case DS_BINARY:
        if (w <= n) continue;
        if (int32_t rc = DatasetWidenColumn(ds, i, uint64_t(w) + 1, false)) return rc;
        break;
      case DS_WCHAR:
        if (w / 2 <= n) continue;
        if (int32_t rc = DatasetWidenColumn(ds, i, uint64_t(w / 2) + 1, true)) return rc;
        break;
      case DS_STRING:
        if (w == 0 || w - 1 <= n) continue;
        break;
      case DS_WSTRING:
        if (w / 2 == 0 || w / 2 - 1 <= n) continue;
        break;
      case DS_LONGCHAR:
      case DS_LONGBINARY:
      case DS_LONGWCHAR:
      case DS_VARCHAR1:
      case DS_VARCHAR2:
      case DS_VARCHAR4:
      case DS_VARBINARY1:
      case DS_VARBINARY2:
      case DS_VARBINARY4:
      case DS_WVARCHAR4: break;
      default: continue;
    }
    if (!col.data || !col.ind) continue;
    const bool text = col.type == DS_STRING || col.type == DS_LONGCHAR || col.type == DS_VARCHAR1 ||
                      col.type == DS_VARCHAR2 || col.type == DS_VARCHAR4;
    for (uint32_t r = 0; r < uint32_t(ds->rowCount); ++r) {
      if (col.ind[r] == DS_IND_NULL) continue;
      char* s = slot(col, r);
      if (col.type == DS_STRING) {
        Span v = value_span(col, r);
        s[utf8_cut(v.p, v.n, n)] = '\0';
      } else if (col.type == DS_WSTRING) {
        std::memset(s + uint64_t(n) * 2, 0, 2);
      } else if (owns_longs(col)) {
        DatasetLong e = get_long(col, r);
        if (e.length <= n) continue;
        e.length = text && e.data ? uint32_t(utf8_cut(static_cast<char*>(e.data), e.length, n)) : n;
        set_long(col, r, e);
      } else if (unsigned k = prefix_size(col.type); k && col.width >= k) {
        if (get_prefix(s, k) <= n) continue;
        Span v = value_span(col, r);
        set_prefix(s, k, text ? uint32_t(utf8_cut(v.p, v.n, n)) : n);
      }
    }
  }
  return 0;
}

void DatasetTestFailAlloc(uint32_t n) noexcept {
  tFailAt = n;
  tAllocs = 0;
}

uint32_t DatasetTestAllocCount() noexcept { return tAllocs; }
