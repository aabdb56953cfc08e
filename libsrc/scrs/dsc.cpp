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
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "platform/windows/sysinfo.h"
#include "platform/windows/thread.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/scrs/dsc";

// ---------------------------------------------------------------------------
// Codec

struct DSC_Stream {
  int32_t direction;  // DSC_WRITE or DSC_READ
  FILE* file;
};

bool raw(DSC_Stream& s, void* bytes, size_t n) {
  if (n == 0) return true;
  if (s.direction == DSC_WRITE) return std::fwrite(bytes, 1, n, s.file) == n;
  if (s.direction == DSC_READ) return std::fread(bytes, 1, n, s.file) == n;
  return false;
}

// A 4-byte little-endian unit.
bool unit32(DSC_Stream& s, uint32_t* v) {
  unsigned char b[4];
  if (s.direction == DSC_WRITE)
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(*v >> (8 * i));
  if (!raw(s, b, 4)) return false;
  if (s.direction == DSC_READ) {
    uint32_t x = 0;
    for (int i = 0; i < 4; ++i) x |= uint32_t(b[i]) << (8 * i);
    *v = x;
  }
  return true;
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
  uint32_t len = e.length;
  if (!unit32(s, &len)) return false;
  const bool wide = col.type == DS_LONGWCHAR;
  const size_t bytes = wide ? size_t(len) * 2 : size_t(len);
  if (s.direction == DSC_WRITE) return raw(s, e.data, bytes);
  // A binary value of no bytes has no buffer; text always gets its terminator.
  if (e.data == nullptr && (col.type != DS_LONGBINARY || len > 0)) {
    const size_t room = col.type == DS_LONGCHAR ? bytes + 1 : wide ? bytes + 2 : bytes;
    e.data = std::malloc(room);
    if (e.data == nullptr) return false;
    std::memcpy(slot, &e, sizeof e);  // the column owns it from here on
  }
  if (!raw(s, e.data, bytes)) return false;
  if (col.type == DS_LONGCHAR) static_cast<char*>(e.data)[bytes] = '\0';
  if (wide) std::memset(static_cast<char*>(e.data) + bytes, 0, 2);
  e.length = len;
  std::memcpy(slot, &e, sizeof e);
  return true;
}

// A value behind its length prefix of `prefix` bytes, in units of `unitBytes`.
bool prefixed_value(DSC_Stream& s, const DatasetColumn& col, char* slot, uint32_t prefix,
                    uint32_t unitBytes) {
  uint32_t len = 0;
  if (s.direction == DSC_WRITE) std::memcpy(&len, slot, prefix);  // little-endian host
  if (!unit32(s, &len)) return false;
  const uint64_t bytes = uint64_t(len) * unitBytes;
  if (bytes > col.width - prefix) return false;
  if (s.direction == DSC_READ) {
    if (prefix < 4 && len >> (8 * prefix) != 0) return false;
    std::memcpy(slot, &len, prefix);
  }
  return raw(s, slot + prefix, bytes);
}

bool DSC_ValueCodec(DSC_Stream& s, DatasetColumn& col, uint32_t r) {
  uint32_t ind = static_cast<uint32_t>(static_cast<int32_t>(col.ind[r]));
  if (!unit32(s, &ind)) return false;
  if (s.direction == DSC_READ) {
    const auto v = static_cast<int32_t>(ind);
    if (v < INT16_MIN || v > INT16_MAX) return false;
    col.ind[r] = static_cast<int16_t>(v);
  }
  if (col.ind[r] != 0) return true;
  char* slot = col.data + uint64_t(r) * col.width;
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
    case DS_VARBINARY1: return prefixed_value(s, col, slot, 1, 1);
    case DS_VARCHAR2:
    case DS_VARBINARY2: return prefixed_value(s, col, slot, 2, 1);
    case DS_VARCHAR4:
    case DS_VARBINARY4: return prefixed_value(s, col, slot, 4, 1);
    case DS_WVARCHAR4: return prefixed_value(s, col, slot, 4, 2);
    case DS_CHAR:
    case DS_BINARY:
    case DS_STRING:
    case DS_WCHAR:
    case DS_WSTRING: return raw(s, slot, col.width);
    default: return false;
  }
}

bool DSC_ColumnEntry(DSC_Stream& s, DatasetColumn& col, uint32_t rows) {
  uint32_t type = static_cast<uint32_t>(col.type);
  uint32_t width = col.width;
  if (!unit32(s, &type) || !unit32(s, &width)) return false;
  if (s.direction == DSC_WRITE) return true;
  const auto t = static_cast<int32_t>(type);
  if (t < DS_NONE || t > DS_WVARCHAR4) return false;
  if (is_long(t)) width = sizeof(DatasetLong);
  if (width < least_width(t)) return false;
  col = DatasetColumn{t, width, nullptr, nullptr};
  return DatasetColumnAlloc(&col, rows) == 0;
}

bool seek(FILE* f, uint64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0; }

// Rows first .. first + rows - 1 of ds; the written ones go to the file ends
// with their offsets appended to the index, and the stored row count becomes
// rows + base. Read rows land in ds rows 0, 1, ...
bool DSC_RowStream(DSC_Stream& s, Dataset* ds, int32_t first, int32_t rows, FILE* index,
                   int32_t base) {
  DSC_Stream idx{s.direction, index};
  if (s.direction == DSC_WRITE) {
    if (fseeko(s.file, 0, SEEK_END) != 0 || fseeko(index, 0, SEEK_END) != 0) return false;
    for (int32_t r = first; r < first + rows; ++r) {
      const off_t at = ftello(s.file);
      if (at < 0) return false;
      for (uint16_t c = 0; c < ds->colCount; ++c)
        if (!DSC_ValueCodec(s, ds->cols[c], static_cast<uint32_t>(r))) return false;
      uint64_t offset = static_cast<uint64_t>(at);
      if (!unit64(idx, &offset)) return false;
    }
    if (!seek(s.file, 0)) return false;
    uint32_t cols = ds->colCount;
    uint32_t count = static_cast<uint32_t>(rows + base);
    return unit32(s, &cols) && unit32(s, &count) && std::fflush(s.file) == 0 &&
           std::fflush(index) == 0;
  }
  uint64_t offset = 0;
  if (!seek(index, uint64_t(first) * 8) || !unit64(idx, &offset) || !seek(s.file, offset))
    return false;
  for (int32_t r = 0; r < rows; ++r)
    for (uint16_t c = 0; c < ds->colCount; ++c)
      if (!DSC_ValueCodec(s, ds->cols[c], static_cast<uint32_t>(r))) return false;
  return true;
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
    // Nothing else ever opens the file: without a name it goes with its
    // descriptor, however the process ends.
    (void)::unlink(name);
    FILE* f = ::fdopen(fd, "w+b");
    if (f == nullptr) ::close(fd);
    return f;
  }
}

int32_t dsc_Open(DSC* dsc) {
  uint32_t counter = 0;
  dsc->data = dsc_CreateTempFile(&counter);
  if (dsc->data != nullptr) dsc->index = dsc_CreateTempFile(&counter);
  if (dsc->index == nullptr) {
    if (dsc->data != nullptr) std::fclose(dsc->data);
    dsc->data = nullptr;
    return ERR_GENERAL;
  }
  log_printf(LOG_DEBUG, kSrc, __LINE__, "dsc_Open: Opened temporary files for pDSC=%p",
             static_cast<void*>(dsc));
  dsc->state = DSC_FILES_OPEN;
  return 0;
}

int32_t dsc_Load(DSC* dsc, Dataset* ds, int32_t first) {
  if (dsc->state != DSC_SPILLED || ds == nullptr) return ERR_GENERAL;
  DatasetFree(ds);
  return DSC_StreamRows(DSC_READ, dsc->data, dsc->index, ds, first, dsc->windowRows) == 1
             ? 0
             : ERR_GENERAL;
}

}  // namespace

int DSC_StreamRows(int32_t direction, FILE* data, FILE* index, Dataset* ds, int32_t first,
                   int32_t maxRows) {
  if (data == nullptr || index == nullptr || ds == nullptr || first < 0) return 0;
  if (direction != DSC_WRITE && direction != DSC_READ) return 0;
  DSC_Stream s{direction, data};
  if (!seek(data, 0)) return 0;
  uint32_t cols = ds->colCount;
  uint32_t count = static_cast<uint32_t>(ds->rowCount);
  if (!unit32(s, &cols) || !unit32(s, &count)) return 0;
  if (cols == 0 || cols > UINT16_MAX || count > INT32_MAX) return 0;
  const auto stored = static_cast<int32_t>(count);
  if (first > stored - 1) return 0;
  int32_t rows = stored - first;
  if (maxRows > 0 && rows > maxRows) rows = maxRows;
  if (direction == DSC_READ) {
    DatasetFree(ds);
    if (DatasetInit(ds, static_cast<uint16_t>(cols)) != 0) return 0;
    ds->colCount = static_cast<uint16_t>(cols);
  }
  bool ok = true;
  for (uint16_t c = 0; c < ds->colCount && ok; ++c)
    ok = DSC_ColumnEntry(s, ds->cols[c], static_cast<uint32_t>(rows));
  if (direction == DSC_READ) {
    // Counts only once every column has its storage, so that a failure leaves
    // a Dataset that frees cleanly.
    if (!ok) return 0;
    ds->rowCapacity = rows;
    ds->rowCount = rows;
  }
  if (!ok) return 0;
  if (direction == DSC_WRITE && rows == 0) return 1;
  return DSC_RowStream(s, ds, first, rows, index, 0) ? 1 : 0;
}

int DSC_AppendRows(FILE* data, FILE* index, Dataset* ds) {
  if (data == nullptr || index == nullptr || ds == nullptr) return 0;
  if (ds->rowCount == 0) return 1;
  DSC_Stream s{DSC_READ, data};
  uint32_t cols = 0, count = 0;
  if (!seek(data, 0) || !unit32(s, &cols) || !unit32(s, &count)) return 0;
  if (cols != ds->colCount || uint64_t(count) + uint64_t(ds->rowCount) > INT32_MAX) return 0;
  s.direction = DSC_WRITE;
  return DSC_RowStream(s, ds, 0, ds->rowCount, index, static_cast<int32_t>(count)) ? 1 : 0;
}

void DSC_Init(DSC* dsc) { *dsc = DSC{DSC_IN_MEMORY, nullptr, nullptr, DSC_MEMORY_ROWS}; }

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
  bool firstWrite = true;
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
    if (got > 0 && (dsc->state == DSC_SPILLED || ds->rowCount > DSC_MEMORY_ROWS)) {
      bool written;
      if (firstWrite) {
        if (dsc->state != DSC_SPILLED) {
          if (int32_t orc = dsc_Open(dsc); orc != 0) return orc;
        }
        written = DSC_StreamRows(DSC_WRITE, dsc->data, dsc->index, ds, 0, 0) == 1;
        dsc->state = DSC_SPILLED;
        firstWrite = false;
      } else {
        written = DSC_AppendRows(dsc->data, dsc->index, ds) == 1;
      }
      if (!written) rc = ERR_GENERAL;
      DatasetResetRows(ds);
    }
    *total += got;
    if (rc != 0 || got == 0) break;
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
  const int64_t want = count > INT32_MAX / 2 ? INT32_MAX : int64_t(count);
  const bool grow = int64_t(dsc->windowRows) < 2 * want;
  if (*windowStart != -1 && first >= *windowStart && !grow &&
      int64_t(*windowStart) + dsc->windowRows >= int64_t(first) + want)
    return 0;
  if (grow) dsc->windowRows = static_cast<int32_t>(2 * want > INT32_MAX ? INT32_MAX : 2 * want);
  int64_t start = int64_t(first) - (int64_t(dsc->windowRows) - want) / 2;
  if (start < 0) start = 0;
  if (int32_t rc = dsc_Load(dsc, ds, static_cast<int32_t>(start)); rc != 0) return rc;
  *windowStart = static_cast<int32_t>(start);
  return 0;
}
