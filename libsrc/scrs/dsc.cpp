// dsc.cpp -- the dataset cache and the codec of its temporary files.
// A cache owns its data and index files; the Dataset it fills or reloads is the
// caller's.
// Every length read back is checked against the width of its column before
// anything is stored, and every offset is 64-bit, so a damaged or very large
// file is refused rather than written past a slot or wrapped at 4 GiB.
// Threading: a cache is used by one cursor under its connection's call
// serialisation; file names differ by tick count, thread and counter, and the
// exclusive create retries on a clash.

#include "scrs/dsc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "platform/windows/sysinfo.h"
#include "platform/windows/thread.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/scrs/dsc";

// Encoded rows are written once this many bytes wait, so that a large result
// goes to the files in a few large writes.
constexpr size_t kFlushBytes = size_t(1) << 20;
// A window that goes on from the one loaded (a forward or backward scroll)
// reads this many requests' rows ahead, up to the memory limit; a jump reads
// only the rows asked for.
constexpr int64_t kReadAhead = 8;

thread_local uint64_t tBytesRead = 0;

// ---------------------------------------------------------------------------
// File access: positioned reads and writes of whole ranges on the descriptor
// beneath the FILE, which stays the files' owner. Whatever stdio holds is
// flushed first, so that a FILE written through stdio (a test's) reads right.

bool pread_all(FILE* f, void* buf, size_t n, uint64_t at) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t got = ::pread(fileno(f), p, n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    tBytesRead += static_cast<uint64_t>(got);
    p += got;
    n -= static_cast<size_t>(got);
    at += static_cast<uint64_t>(got);
  }
  return true;
}

bool pwrite_all(FILE* f, const void* buf, size_t n, uint64_t at) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t put = ::pwrite(fileno(f), p, n, static_cast<off_t>(at));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
    at += static_cast<uint64_t>(put);
  }
  return true;
}

bool file_size(FILE* f, uint64_t* size) {
  struct stat st {};
  if (::fstat(fileno(f), &st) != 0 || st.st_size < 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

// A growable byte buffer that reports failure instead of throwing.
struct Buf {
  char* p = nullptr;
  size_t n = 0;
  size_t cap = 0;
  Buf() = default;
  Buf(const Buf&) = delete;
  Buf& operator=(const Buf&) = delete;
  ~Buf() { std::free(p); }
  bool reserve(size_t more) {
    if (cap - n >= more) return true;
    if (more > SIZE_MAX / 2 - n) return false;
    size_t c = cap < 4096 ? 4096 : cap;
    while (c - n < more) c *= 2;
    void* q = std::realloc(p, c);
    if (q == nullptr) return false;
    p = static_cast<char*>(q);
    cap = c;
    return true;
  }
  bool append(const void* b, size_t k) {
    if (cap - n < k && !reserve(k)) return false;
    std::memcpy(p + n, b, k);
    n += k;
    return true;
  }
};

// ---------------------------------------------------------------------------
// Codec: every routine performs the same step in either direction, appending
// to a buffer when writing and taking from the bytes read when reading.

struct DSC_Stream {
  int32_t direction;  // DSC_WRITE or DSC_READ
  Buf* out;           // writing
  const char* in;     // reading: the next byte and the end
  const char* end;
};

bool raw(DSC_Stream& s, void* bytes, size_t n) {
  if (n == 0) return true;
  if (s.direction == DSC_WRITE) return s.out->append(bytes, n);
  if (s.direction == DSC_READ) {
    if (size_t(s.end - s.in) < n) return false;
    std::memcpy(bytes, s.in, n);
    s.in += n;
    return true;
  }
  return false;
}

// A 4-byte little-endian unit, copied as it lies on this little-endian host.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the files are little-endian");
inline bool unit32(DSC_Stream& s, uint32_t* v) {
  if (s.direction == DSC_WRITE) return s.out->append(v, 4);
  if (s.direction == DSC_READ) {
    if (s.end - s.in < 4) return false;
    std::memcpy(v, s.in, 4);
    s.in += 4;
    return true;
  }
  return false;
}

bool unit64(DSC_Stream& s, uint64_t* v) {
  uint32_t lo = static_cast<uint32_t>(*v), hi = static_cast<uint32_t>(*v >> 32);
  if (!unit32(s, &lo) || !unit32(s, &hi)) return false;
  *v = uint64_t(hi) << 32 | lo;
  return true;
}

// Scalars of 1, 2 or 4 bytes stored at p, widened to one unit (sign-extended
// when `sign`) and narrowed again on reading.
bool scalar(DSC_Stream& s, void* p, int bytes, bool sign) {
  uint32_t u = 0;
  if (s.direction == DSC_WRITE) {
    switch (bytes) {
      case 1: {
        uint8_t x;
        std::memcpy(&x, p, 1);
        u = sign ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(x))) : x;
        break;
      }
      case 2: {
        uint16_t x;
        std::memcpy(&x, p, 2);
        u = sign ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(x))) : x;
        break;
      }
      default: std::memcpy(&u, p, 4); break;
    }
  }
  if (!unit32(s, &u)) return false;
  if (s.direction == DSC_READ) {
    if (bytes == 1) {
      const auto x = static_cast<uint8_t>(u);
      std::memcpy(p, &x, 1);
    } else if (bytes == 2) {
      const auto x = static_cast<uint16_t>(u);
      std::memcpy(p, &x, 2);
    } else {
      std::memcpy(p, &u, 4);
    }
  }
  return true;
}

// A run of 2-byte fields, the first signed when firstSigned (dates, times).
bool fields16(DSC_Stream& s, char* p, int n, bool firstSigned) {
  for (int i = 0; i < n; ++i)
    if (!scalar(s, p + 2 * i, 2, i == 0 && firstSigned)) return false;
  return true;
}

// UTF-16 text is stored in its 8-bit form (UTF-8, with an unpaired surrogate
// as the three bytes of its own code), so that text takes the same room in
// the files of both builds, and every sequence of units comes back as it was.
bool put_wide(Buf& out, const char* units, size_t n) {
  if (!out.reserve(3 * n)) return false;
  auto* q = reinterpret_cast<unsigned char*>(out.p + out.n);
  for (size_t i = 0; i < n; ++i) {
    char16_t u;
    std::memcpy(&u, units + 2 * i, 2);
    if (u < 0x80) {
      *q++ = static_cast<unsigned char>(u);
    } else if (u < 0x800) {
      *q++ = static_cast<unsigned char>(0xC0 | u >> 6);
      *q++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    } else {
      char16_t lo = 0;
      if (u >= 0xD800 && u < 0xDC00 && i + 1 < n) std::memcpy(&lo, units + 2 * (i + 1), 2);
      if (lo >= 0xDC00 && lo < 0xE000) {
        const uint32_t c = 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (lo - 0xDC00);
        *q++ = static_cast<unsigned char>(0xF0 | c >> 18);
        *q++ = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
        *q++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        *q++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        ++i;
      } else {
        *q++ = static_cast<unsigned char>(0xE0 | u >> 12);
        *q++ = static_cast<unsigned char>(0x80 | (u >> 6 & 0x3F));
        *q++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
      }
    }
  }
  out.n = static_cast<size_t>(reinterpret_cast<char*>(q) - out.p);
  return true;
}

// The units the n bytes at b decode to; SIZE_MAX for bytes put_wide never writes.
size_t wide_units(const unsigned char* b, size_t n) {
  size_t units = 0;
  for (size_t i = 0; i < n;) {
    const unsigned char c = b[i];
    const size_t len = c < 0x80 ? 1 : c < 0xC0 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : 0;
    if (len == 0 || n - i < len) return SIZE_MAX;
    for (size_t k = 1; k < len; ++k)
      if ((b[i + k] & 0xC0) != 0x80) return SIZE_MAX;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

// Decodes n bytes checked by wide_units into units at dst.
void get_wide(const unsigned char* b, size_t n, char* dst) {
  for (size_t i = 0; i < n;) {
    const unsigned char c = b[i];
    uint32_t cp;
    if (c < 0x80) {
      cp = c;
      i += 1;
    } else if (c < 0xE0) {
      cp = uint32_t(c & 0x1F) << 6 | (b[i + 1] & 0x3F);
      i += 2;
    } else if (c < 0xF0) {
      cp = uint32_t(c & 0x0F) << 12 | uint32_t(b[i + 1] & 0x3F) << 6 | (b[i + 2] & 0x3F);
      i += 3;
    } else {
      cp = uint32_t(c & 0x07) << 18 | uint32_t(b[i + 1] & 0x3F) << 12 |
           uint32_t(b[i + 2] & 0x3F) << 6 | (b[i + 3] & 0x3F);
      i += 4;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      const auto hi = static_cast<char16_t>(0xD800 + (cp >> 10 & 0x3FF));
      std::memcpy(dst, &hi, 2);
      dst += 2;
      cp = 0xDC00 + (cp & 0x3FF);
    }
    const auto u = static_cast<char16_t>(cp);
    std::memcpy(dst, &u, 2);
    dst += 2;
  }
}

// Text of `units` UTF-16 units at p: its byte count, then its 8-bit form.
// Reading decodes into p, at most room units; *units gets the count.
bool wide_text(DSC_Stream& s, char* p, size_t* units, size_t room) {
  if (s.direction == DSC_WRITE) {
    const size_t at = s.out->n;
    uint32_t len = 0;
    if (!unit32(s, &len) || !put_wide(*s.out, p, *units)) return false;
    const size_t bytes = s.out->n - at - 4;
    if (bytes > UINT32_MAX) return false;
    len = static_cast<uint32_t>(bytes);
    for (int i = 0; i < 4; ++i) s.out->p[at + i] = static_cast<char>(len >> (8 * i));
    return true;
  }
  uint32_t len = 0;
  if (!unit32(s, &len) || size_t(s.end - s.in) < len) return false;
  const auto* b = reinterpret_cast<const unsigned char*>(s.in);
  const size_t n = wide_units(b, len);
  if (n == SIZE_MAX || n > room) return false;
  get_wide(b, len, p);
  s.in += len;
  *units = n;
  return true;
}

bool is_long(int32_t t) { return t == DS_LONGCHAR || t == DS_LONGBINARY || t == DS_LONGWCHAR; }

// The least width a column of a fixed type needs for its value; 0 for the
// types whose width is their own.
uint32_t least_width(int32_t t) {
  switch (t) {
    case DS_BIT:
    case DS_TINYINT:
    case DS_UTINYINT: return 1;
    case DS_SMALLINT:
    case DS_USMALLINT: return 2;
    case DS_INTEGER:
    case DS_UINTEGER:
    case DS_REAL: return 4;
    case DS_DOUBLE: return 8;
    case DS_DATE:
    case DS_TIME: return 6;
    case DS_TIMESTAMP: return 16;
    case DS_LONGCHAR:
    case DS_LONGBINARY:
    case DS_LONGWCHAR: return sizeof(DatasetLong);
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

bool long_value(DSC_Stream& s, const DatasetColumn& col, char* slot) {
  DatasetLong e;
  std::memcpy(&e, slot, sizeof e);
  const bool wide = col.type == DS_LONGWCHAR;
  if (wide) {
    if (s.direction == DSC_WRITE) {
      size_t units = e.length;
      return wide_text(s, static_cast<char*>(e.data), &units, units);
    }
    // The units are counted before the buffer is made to their size.
    uint32_t len = 0;
    DSC_Stream peek = s;
    if (!unit32(peek, &len) || size_t(peek.end - peek.in) < len) return false;
    const size_t units = wide_units(reinterpret_cast<const unsigned char*>(peek.in), len);
    if (units == SIZE_MAX || units > UINT32_MAX) return false;
    if (e.data == nullptr) {
      e.data = std::malloc(2 * (units + 1));
      if (e.data == nullptr) return false;
      std::memcpy(slot, &e, sizeof e);  // the column owns it from here on
    }
    size_t got = 0;
    if (!wide_text(s, static_cast<char*>(e.data), &got, units)) return false;
    std::memset(static_cast<char*>(e.data) + 2 * got, 0, 2);
    e.length = static_cast<uint32_t>(got);
    std::memcpy(slot, &e, sizeof e);
    return true;
  }
  uint32_t len = e.length;
  if (!unit32(s, &len)) return false;
  if (s.direction == DSC_WRITE) return raw(s, e.data, len);
  if (size_t(s.end - s.in) < len) return false;
  // A binary value of no bytes has no buffer; text always gets its terminator.
  if (e.data == nullptr && (col.type != DS_LONGBINARY || len > 0)) {
    e.data = std::malloc(col.type == DS_LONGCHAR ? size_t(len) + 1 : size_t(len));
    if (e.data == nullptr) return false;
    std::memcpy(slot, &e, sizeof e);
  }
  if (!raw(s, e.data, len)) return false;
  if (col.type == DS_LONGCHAR) static_cast<char*>(e.data)[len] = '\0';
  e.length = len;
  std::memcpy(slot, &e, sizeof e);
  return true;
}

// A value behind its length prefix of `prefix` bytes.
bool prefixed_value(DSC_Stream& s, const DatasetColumn& col, char* slot, uint32_t prefix) {
  uint32_t len = 0;
  if (s.direction == DSC_WRITE) std::memcpy(&len, slot, prefix);  // little-endian host
  if (!unit32(s, &len)) return false;
  if (uint64_t(len) > col.width - prefix) return false;
  if (s.direction == DSC_READ) {
    if (prefix < 4 && len >> (8 * prefix) != 0) return false;
    std::memcpy(slot, &len, prefix);
  }
  return raw(s, slot + prefix, len);
}

bool wide_prefixed_value(DSC_Stream& s, const DatasetColumn& col, char* slot) {
  uint32_t units = 0;
  std::memcpy(&units, slot, 4);
  const size_t room = (col.width - 4) / 2;
  if (s.direction == DSC_WRITE && units > room) return false;
  size_t n = units;
  if (!wide_text(s, slot + 4, &n, room)) return false;
  units = static_cast<uint32_t>(n);
  std::memcpy(slot, &units, 4);
  return true;
}

// Text filling its slot up to a terminator (or the slot's end) is stored by
// its length; read back, it gets its terminator when the slot has room.
bool slot_text(DSC_Stream& s, const DatasetColumn& col, char* slot) {
  if (col.type == DS_CHAR || col.type == DS_STRING) {
    uint32_t len = s.direction == DSC_WRITE ? static_cast<uint32_t>(strnlen(slot, col.width)) : 0;
    if (!unit32(s, &len) || len > col.width || !raw(s, slot, len)) return false;
    if (s.direction == DSC_READ && len < col.width) slot[len] = '\0';
    return true;
  }
  const size_t room = col.width / 2;
  size_t units = 0;
  if (s.direction == DSC_WRITE) {
    while (units < room && (slot[2 * units] != 0 || slot[2 * units + 1] != 0)) ++units;
  }
  if (!wide_text(s, slot, &units, room)) return false;
  if (s.direction == DSC_READ && units < room) std::memset(slot + 2 * units, 0, 2);
  return true;
}

bool DSC_ValueCodec(DSC_Stream& s, DatasetColumn& col, uint32_t r) {
  uint32_t ind = static_cast<uint32_t>(static_cast<int32_t>(col.ind[r]));
  if (!unit32(s, &ind)) return false;
  char* slot = col.data + uint64_t(r) * col.width;
  if (s.direction == DSC_READ) {
    const auto v = static_cast<int32_t>(ind);
    if (v < INT16_MIN || v > INT16_MAX) return false;
    col.ind[r] = static_cast<int16_t>(v);
    // A slot without a value holds no bytes of an earlier window's row.
    if (v != 0 && !is_long(col.type)) std::memset(slot, 0, col.width);
  }
  if (col.ind[r] != 0) return true;
  switch (col.type) {
    case DS_NONE: return true;
    case DS_BIT:
    case DS_UTINYINT: return scalar(s, slot, 1, false);
    case DS_TINYINT: return scalar(s, slot, 1, true);
    case DS_SMALLINT: return scalar(s, slot, 2, true);
    case DS_USMALLINT: return scalar(s, slot, 2, false);
    case DS_INTEGER:
    case DS_UINTEGER:
    case DS_REAL: return scalar(s, slot, 4, false);
    case DS_DOUBLE: {
      uint64_t v = 0;
      if (s.direction == DSC_WRITE) std::memcpy(&v, slot, 8);
      if (!unit64(s, &v)) return false;
      if (s.direction == DSC_READ) std::memcpy(slot, &v, 8);
      return true;
    }
    case DS_DATE: return fields16(s, slot, 3, true);
    case DS_TIME: return fields16(s, slot, 3, false);
    case DS_TIMESTAMP: return fields16(s, slot, 6, true) && scalar(s, slot + 12, 4, false);
    case DS_LONGCHAR:
    case DS_LONGBINARY:
    case DS_LONGWCHAR: return long_value(s, col, slot);
    case DS_VARCHAR1:
    case DS_VARBINARY1: return prefixed_value(s, col, slot, 1);
    case DS_VARCHAR2:
    case DS_VARBINARY2: return prefixed_value(s, col, slot, 2);
    case DS_VARCHAR4:
    case DS_VARBINARY4: return prefixed_value(s, col, slot, 4);
    case DS_WVARCHAR4: return wide_prefixed_value(s, col, slot);
    case DS_CHAR:
    case DS_STRING:
    case DS_WCHAR:
    case DS_WSTRING: return slot_text(s, col, slot);
    case DS_BINARY: return raw(s, slot, col.width);
    default: return false;
  }
}

// A column entry; reading checks it and says whether the Dataset's column
// already has that layout with room for `rows` rows (*same), or gives it
// storage for them.
bool DSC_ColumnEntry(DSC_Stream& s, DatasetColumn& col, uint32_t rows, bool reuse, bool* same) {
  uint32_t type = static_cast<uint32_t>(col.type);
  uint32_t width = col.width;
  if (!unit32(s, &type) || !unit32(s, &width)) return false;
  if (s.direction == DSC_WRITE) return true;
  const auto t = static_cast<int32_t>(type);
  if (t < DS_NONE || t > DS_WVARCHAR4) return false;
  if (is_long(t)) width = sizeof(DatasetLong);
  if (width < least_width(t)) return false;
  if (reuse) {
    *same = *same && col.type == t && col.width == width && col.data != nullptr;
    return true;
  }
  col = DatasetColumn{t, width, nullptr, nullptr};
  return DatasetColumnAlloc(&col, rows) == 0;
}

// Rows encoded for the end of a pair of files and not yet written.
struct Spill {
  Buf data, index;
  uint64_t dataEnd = 0;   // file offset of data.p[0]
  uint64_t indexEnd = 0;  // file offset of index.p[0]
  uint32_t rows = 0;      // rows stored once the buffers are written
};

// Encodes rows first .. first + n - 1 of ds with their offsets.
bool spill_rows(Spill& sp, Dataset* ds, int32_t first, int32_t n) {
  if (uint64_t(sp.rows) + uint64_t(n) > INT32_MAX) return false;
  DSC_Stream s{DSC_WRITE, &sp.data, nullptr, nullptr};
  DSC_Stream idx{DSC_WRITE, &sp.index, nullptr, nullptr};
  for (int32_t r = first; r < first + n; ++r) {
    uint64_t offset = sp.dataEnd + sp.data.n;
    for (uint16_t c = 0; c < ds->colCount; ++c)
      if (!DSC_ValueCodec(s, ds->cols[c], static_cast<uint32_t>(r))) return false;
    if (!unit64(idx, &offset)) return false;
  }
  sp.rows += static_cast<uint32_t>(n);
  return true;
}

// Writes what waits and the stored row count.
bool spill_flush(Spill& sp, FILE* data, FILE* index, uint32_t cols) {
  if (!pwrite_all(data, sp.data.p, sp.data.n, sp.dataEnd) ||
      !pwrite_all(index, sp.index.p, sp.index.n, sp.indexEnd))
    return false;
  sp.dataEnd += sp.data.n;
  sp.indexEnd += sp.index.n;
  sp.data.n = 0;
  sp.index.n = 0;
  unsigned char head[8];
  for (int i = 0; i < 4; ++i) {
    head[i] = static_cast<unsigned char>(cols >> (8 * i));
    head[4 + i] = static_cast<unsigned char>(sp.rows >> (8 * i));
  }
  return pwrite_all(data, head, 8, 0);
}

// A Spill at the ends of files holding `stored` rows.
bool spill_at_end(Spill& sp, FILE* data, FILE* index, uint32_t stored, uint64_t headerBytes) {
  if (std::fflush(data) != 0 || std::fflush(index) != 0) return false;
  if (!file_size(data, &sp.dataEnd) || !file_size(index, &sp.indexEnd)) return false;
  if (sp.dataEnd < headerBytes) sp.dataEnd = headerBytes;
  sp.rows = stored;
  return true;
}

// Decodes `rows` rows starting at data-file offset `at` and ending at `end`
// into ds rows 0, 1, ...
bool read_rows(FILE* data, Dataset* ds, int32_t rows, uint64_t at, uint64_t end) {
  if (end < at || end - at > SIZE_MAX / 2) return false;
  const size_t n = static_cast<size_t>(end - at);
  char* bytes = static_cast<char*>(std::malloc(n == 0 ? 1 : n));
  if (bytes == nullptr) return false;
  bool ok = pread_all(data, bytes, n, at);
  DSC_Stream s{DSC_READ, nullptr, bytes, bytes + n};
  for (int32_t r = 0; r < rows && ok; ++r)
    for (uint16_t c = 0; c < ds->colCount && ok; ++c)
      ok = DSC_ValueCodec(s, ds->cols[c], static_cast<uint32_t>(r));
  std::free(bytes);
  return ok;
}

// ---------------------------------------------------------------------------
// Temporary files

FILE* dsc_CreateTempFile(uint32_t* counter) {
  char dir[260];
  uint32_t n = GetTempPathA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) return nullptr;
  if (n > 1 && dir[n - 1] == '/') dir[--n] = '\0';
  for (;;) {
    char name[300];
    std::snprintf(name, sizeof name, "%s/kestmp%x-%x-%x", dir, GetTickCount(),
                  GetCurrentThreadId(), (*counter)++);
    const int fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    (void)::fchmod(fd, 0600);  // whatever the umask took away
    // Nothing else ever opens the file: without a name it goes with its
    // descriptor, however the process ends.
    (void)::unlink(name);
    FILE* f = ::fdopen(fd, "w+b");
    if (f == nullptr) ::close(fd);
    return f;
  }
}

// Says on the cursor what became of its temporary file, from the errno of the
// failure: an application told only "General error" cannot tell a full disk.
void report_temp_failure(DrvHandle hCursor, int err) {
  char dir[260] = "";
  const uint32_t n = GetTempPathA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) dir[0] = '\0';
  char text[400];
  if (err == ENOSPC || err == EDQUOT || err == EFBIG)
    std::snprintf(text, sizeof text, "No space left for the cursor's temporary file in %s", dir);
  else if (err == ENOENT || err == ENOTDIR)
    std::snprintf(text, sizeof text,
                  "The directory %s for the cursor's temporary file does not exist", dir);
  else if (err == EACCES || err == EPERM || err == EROFS)
    std::snprintf(text, sizeof text,
                  "The cursor's temporary file cannot be made in %s: permission denied", dir);
  else
    std::snprintf(text, sizeof text,
                  "The cursor's temporary file in %s could not be written (error %d)", dir, err);
  INF_CursorSetErrorText(hCursor, text);
}

int32_t dsc_Open(DSC* dsc) {
  uint32_t counter = 0;
  dsc->data = dsc_CreateTempFile(&counter);
  if (dsc->data != nullptr) dsc->index = dsc_CreateTempFile(&counter);
  if (dsc->index == nullptr) {
    const int err = errno;
    if (dsc->data != nullptr) std::fclose(dsc->data);
    dsc->data = nullptr;
    errno = err;
    return ERR_GENERAL;
  }
  log_printf(LOG_DEBUG, kSrc, __LINE__, "dsc_Open: Opened temporary files for pDSC=%p",
             static_cast<void*>(dsc));
  dsc->state = DSC_FILES_OPEN;
  return 0;
}

int32_t dsc_Load(DSC* dsc, Dataset* ds, int32_t first) {
  if (dsc->state != DSC_SPILLED || ds == nullptr) return ERR_GENERAL;
  return DSC_StreamRows(DSC_READ, dsc->data, dsc->index, ds, first, dsc->windowRows) == 1
             ? 0
             : ERR_GENERAL;
}

// The header and the column entries of ds, written at the start of a file.
bool put_header(Buf& out, Dataset* ds, uint32_t rows) {
  DSC_Stream s{DSC_WRITE, &out, nullptr, nullptr};
  uint32_t cols = ds->colCount;
  if (!unit32(s, &cols) || !unit32(s, &rows)) return false;
  bool same = true;
  for (uint16_t c = 0; c < ds->colCount; ++c)
    if (!DSC_ColumnEntry(s, ds->cols[c], 0, false, &same)) return false;
  return true;
}

}  // namespace

uint64_t DSC_TestBytesRead() noexcept { return tBytesRead; }

int DSC_StreamRows(int32_t direction, FILE* data, FILE* index, Dataset* ds, int32_t first,
                   int32_t maxRows) {
  if (data == nullptr || index == nullptr || ds == nullptr || first < 0) return 0;
  if (direction == DSC_WRITE) {
    if (ds->colCount == 0 || first > ds->rowCount - 1) return 0;
    int32_t rows = ds->rowCount - first;
    if (maxRows > 0 && rows > maxRows) rows = maxRows;
    Buf head;
    Spill sp;
    if (!put_header(head, ds, 0) || !spill_at_end(sp, data, index, 0, head.n) ||
        !pwrite_all(data, head.p, head.n, 0) || !spill_rows(sp, ds, first, rows))
      return 0;
    return spill_flush(sp, data, index, ds->colCount) ? 1 : 0;
  }
  if (direction != DSC_READ) return 0;
  if (std::fflush(data) != 0 || std::fflush(index) != 0) return 0;
  // The header and, in the same read, the column entries of the layout the
  // Dataset has (a window loaded before); other entries are read apart.
  uint64_t size = 0;
  if (!file_size(data, &size) || size < 8) return 0;
  const uint64_t guess = 8 + 8 * uint64_t(ds->cols != nullptr ? ds->colCount : 0);
  Buf head;
  const size_t got = static_cast<size_t>(std::min(size, guess));
  if (!head.reserve(got) || !pread_all(data, head.p, got, 0)) return 0;
  uint32_t cols = 0, count = 0;
  for (int i = 0; i < 4; ++i) {
    cols |= uint32_t(static_cast<unsigned char>(head.p[i])) << (8 * i);
    count |= uint32_t(static_cast<unsigned char>(head.p[4 + i])) << (8 * i);
  }
  if (cols == 0 || cols > UINT16_MAX || count > INT32_MAX) return 0;
  const auto stored = static_cast<int32_t>(count);
  if (first > stored - 1) return 0;
  int32_t rows = stored - first;
  if (maxRows > 0 && rows > maxRows) rows = maxRows;
  const size_t entries = 8 * size_t(cols);
  Buf more;
  const char* e = head.p + 8;
  if (8 + entries > got) {
    if (!more.reserve(entries) || !pread_all(data, more.p, entries, 8)) return 0;
    e = more.p;
  }
  // A window of the layout loaded before reuses its storage.
  DSC_Stream s{DSC_READ, nullptr, e, e + entries};
  bool same = ds->colCount == cols && ds->cols != nullptr && ds->rowCapacity >= rows;
  for (uint16_t c = 0; c < cols && same; ++c)
    if (!DSC_ColumnEntry(s, ds->cols[c], 0, true, &same)) return 0;
  if (same) {
    DatasetResetRows(ds);
  } else {
    s.in = e;
    DatasetFree(ds);
    if (DatasetInit(ds, static_cast<uint16_t>(cols)) != 0) return 0;
    ds->colCount = static_cast<uint16_t>(cols);
    bool unused = true;
    bool ok = true;
    for (uint16_t c = 0; c < ds->colCount && ok; ++c)
      ok = DSC_ColumnEntry(s, ds->cols[c], static_cast<uint32_t>(rows), false, &unused);
    // Counts only once every column has its storage, so that a failure leaves
    // a Dataset that frees cleanly.
    if (!ok) return 0;
    ds->rowCapacity = rows;
  }
  if (rows == 0) return 1;
  // Where the rows begin and end: one read of their offsets, and the file's
  // end behind the last stored row.
  const bool toEnd = first + rows == stored;
  const size_t offsets = size_t(rows) + (toEnd ? 0 : 1);
  Buf idx;
  if (!idx.reserve(8 * offsets) || !pread_all(index, idx.p, 8 * offsets, uint64_t(first) * 8))
    return 0;
  DSC_Stream is{DSC_READ, nullptr, idx.p, idx.p + 8 * offsets};
  uint64_t at = 0, end = size;
  if (!unit64(is, &at)) return 0;
  if (!toEnd) {
    is.in = idx.p + 8 * (offsets - 1);
    if (!unit64(is, &end)) return 0;
  }
  if (!read_rows(data, ds, rows, at, end)) {
    ds->rowCount = 0;
    return 0;
  }
  ds->rowCount = rows;
  return 1;
}

int DSC_AppendRows(FILE* data, FILE* index, Dataset* ds) {
  if (data == nullptr || index == nullptr || ds == nullptr) return 0;
  if (ds->rowCount == 0) return 1;
  if (std::fflush(data) != 0) return 0;
  unsigned char head[8];
  if (!pread_all(data, head, 8, 0)) return 0;
  uint32_t cols = 0, count = 0;
  for (int i = 0; i < 4; ++i) {
    cols |= uint32_t(head[i]) << (8 * i);
    count |= uint32_t(head[4 + i]) << (8 * i);
  }
  if (cols != ds->colCount || uint64_t(count) + uint64_t(ds->rowCount) > INT32_MAX) return 0;
  Spill sp;
  if (!spill_at_end(sp, data, index, count, 8 + 8 * uint64_t(cols)) ||
      !spill_rows(sp, ds, 0, ds->rowCount))
    return 0;
  return spill_flush(sp, data, index, cols) ? 1 : 0;
}

void DSC_Init(DSC* dsc) { *dsc = DSC{DSC_IN_MEMORY, nullptr, nullptr, 0}; }

void DSC_Close(DSC* dsc) {
  if (dsc == nullptr) return;
  if (dsc->data != nullptr) {
    std::fclose(dsc->data);
    log_printf(LOG_DEBUG, kSrc, __LINE__, "DSC_Close: Closed temporary files for pDSC=%p",
               static_cast<void*>(dsc));
  }
  if (dsc->index != nullptr) std::fclose(dsc->index);
  dsc->data = nullptr;
  dsc->index = nullptr;
  dsc->state = DSC_IN_MEMORY;
}

int32_t DSC_Fill(DSC* dsc, DriverRecord* drv, uint32_t hCursor, Dataset* ds, int32_t* total) {
  if (dsc == nullptr || ds == nullptr || drv == nullptr || total == nullptr) return ERR_GENERAL;
  DatasetFree(ds);
  *total = 0;
  // Rows that spill are encoded batch after batch and written in large blocks;
  // the stored row count is rewritten with each block.
  Spill sp;
  bool spilling = false;
  uint32_t cols = 0;
  int32_t rc = 0;
  for (;;) {
    int32_t got = 0;
    if (ds->rowCount == 0) {
      // The agent lays the columns out itself, and reuses a layout it made.
      rc = drv->ops->DRV_Fetch(hCursor, DSC_BATCH_ROWS, ds);
      got = rc == 0 ? ds->rowCount : 0;
    } else {
      Dataset more{};
      rc = drv->ops->DRV_Fetch(hCursor, DSC_BATCH_ROWS, &more);
      got = rc == 0 ? more.rowCount : 0;
      if (got > 0) rc = DatasetAppend(ds, &more);
      DatasetFree(&more);
    }
    if (rc != 0) break;
    if (got > 0 && (spilling || ds->rowCount > DSC_MEMORY_ROWS)) {
      bool written = true;
      if (!spilling) {
        if (dsc->state != DSC_SPILLED) {
          if (int32_t orc = dsc_Open(dsc); orc != 0) {
            report_temp_failure(hCursor, errno);
            return orc;
          }
        }
        // Files still holding an earlier result start again empty.
        Buf head;
        written = put_header(head, ds, 0) && ::ftruncate(fileno(dsc->data), 0) == 0 &&
                  ::ftruncate(fileno(dsc->index), 0) == 0 &&
                  spill_at_end(sp, dsc->data, dsc->index, 0, head.n) &&
                  pwrite_all(dsc->data, head.p, head.n, 0);
        dsc->state = DSC_SPILLED;
        spilling = true;
        cols = ds->colCount;
      }
      written = written && ds->colCount == cols && spill_rows(sp, ds, 0, ds->rowCount) &&
                (sp.data.n < kFlushBytes || spill_flush(sp, dsc->data, dsc->index, cols));
      if (!written) {
        report_temp_failure(hCursor, errno);
        rc = ERR_GENERAL;
      }
      DatasetResetRows(ds);
    }
    *total += got;
    if (rc != 0 || got == 0) break;
  }
  if (spilling && rc == 0 && !spill_flush(sp, dsc->data, dsc->index, cols)) {
    report_temp_failure(hCursor, errno);
    rc = ERR_GENERAL;
  }
  return rc;
}

int32_t DSC_GetWindow(DSC* dsc, int32_t first, uint32_t count, int32_t* windowStart,
                      Dataset* ds) {
  if (dsc == nullptr || windowStart == nullptr) return ERR_GENERAL;
  if (dsc->state != DSC_SPILLED) {
    *windowStart = 0;
    return 0;
  }
  if (first < 0) return ERR_GENERAL;
  const int64_t want = count == 0 ? 1 : count > INT32_MAX ? INT32_MAX : int64_t(count);
  const int64_t loadedEnd = int64_t(*windowStart) + dsc->windowRows;
  if (*windowStart != -1 && first >= *windowStart && loadedEnd >= int64_t(first) + want) return 0;
  // A jump reads only the rows asked for; a scroll on from the rows loaded,
  // forward or back, reads ahead in its direction.
  int64_t rows = want;
  int64_t start = first;
  if (*windowStart != -1 && dsc->windowRows > 0) {
    const int64_t ahead = std::max<int64_t>(want, std::min<int64_t>(kReadAhead * want, DSC_MEMORY_ROWS));
    if (first == loadedEnd) {
      rows = ahead;
    } else if (int64_t(first) + want == *windowStart) {
      rows = ahead;
      start = std::max<int64_t>(0, int64_t(first) + want - ahead);
    }
  }
  dsc->windowRows = static_cast<int32_t>(rows);
  if (int32_t rc = dsc_Load(dsc, ds, static_cast<int32_t>(start)); rc != 0) {
    *windowStart = -1;
    return rc;
  }
  *windowStart = static_cast<int32_t>(start);
  return 0;
}
