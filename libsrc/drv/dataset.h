#pragma once
// dataset.h -- the column-wise row buffer in which values travel between the layers:
// fetched rows, parameter sets, positioned-operation rows, the cursor layer's caches.
// A Dataset owns its column storage and, for the long types, each row's value.
// Threading: none; a Dataset is used by the one thread that holds it.
// Every operation answers 0 or a driver error code: ERR_GENERAL for a bad argument
// or a layout mismatch, ERR_MEMORY when storage cannot be had (also for a size that
// cannot exist); it never ends the process and never logs.
// Not here: conversion to application C types (the data-exchange layer does that).

#include <cstddef>
#include <cstdint>

struct ColumnInfo;

// The value representation of a column. Codes are exchanged between layers and
// stored in the cursor cache's files, so they never change.
enum DatasetType : int32_t {
  DS_NONE = 0,
  DS_CHAR = 1,  // 8-bit characters, NUL-terminated when shorter than the slot
  DS_BIT = 2,
  DS_TINYINT = 3,
  DS_SMALLINT = 4,
  DS_INTEGER = 5,
  DS_UTINYINT = 6,
  DS_USMALLINT = 7,
  DS_UINTEGER = 8,
  DS_REAL = 9,
  DS_DOUBLE = 10,
  DS_DATE = 11,       // {i16 year, u16 month, u16 day}
  DS_TIME = 12,       // {u16 hour, u16 minute, u16 second}
  DS_TIMESTAMP = 13,  // {i16 year, u16 month, day, hour, minute, second, u32 fraction ns}
  DS_BINARY = 14,
  DS_LONGCHAR = 15,    // DatasetLong, length in bytes
  DS_LONGBINARY = 16,  // DatasetLong, length in bytes
  DS_STRING = 17,      // NUL-terminated 8-bit text
  DS_VARCHAR1 = 18,    // u8 length, then the text
  DS_VARCHAR2 = 19,    // u16 length, then the text
  DS_VARCHAR4 = 20,    // u32 length, then the text
  DS_VARBINARY1 = 21,
  DS_VARBINARY2 = 22,
  DS_VARBINARY4 = 23,
  DS_WCHAR = 24,      // UTF-16 units filling the slot
  DS_WSTRING = 25,    // NUL-terminated UTF-16 text
  DS_LONGWCHAR = 26,  // DatasetLong, length in UTF-16 units
  DS_WVARCHAR4 = 27,  // u32 length in units, then the UTF-16 text
};

// Row indicators. The library itself tells only DS_IND_NULL from the rest: any
// other value counts as a value present.
inline constexpr int16_t DS_IND_NULL = -1;
inline constexpr int16_t DS_IND_DAE = -2;         // value supplied at execution
inline constexpr int16_t DS_IND_NOTFETCHED = -3;  // long value read on demand
inline constexpr int16_t DS_IND_IGNORE = -4;      // row skipped by a positioned operation

// The row slot of DS_LONGCHAR, DS_LONGBINARY and DS_LONGWCHAR. The column owns
// `data`; a NULL row holds {0, NULL}.
struct DatasetLong {
  uint32_t length;  // bytes, or UTF-16 units for DS_LONGWCHAR
  void* data;       // separately allocated (malloc) value, or NULL
};
static_assert(sizeof(DatasetLong) == 16);
static_assert(offsetof(DatasetLong, data) == 8);

struct DatasetColumn {
  int32_t type;    // DatasetType
  uint32_t width;  // bytes per row slot
  int16_t* ind;    // one indicator per row, or NULL without storage
  char* data;      // rows × width + 1 bytes; row r at data + r × width; or NULL
};

struct Dataset {
  uint16_t colCapacity;  // entries allocated in cols
  int32_t rowCapacity;   // rows for which every used column has storage
  uint16_t colCount;     // entries in use, the first colCount
  int32_t rowCount;      // rows filled, the first rowCount
  DatasetColumn* cols;   // colCapacity entries, or NULL
};

static_assert(sizeof(DatasetColumn) == 24);
static_assert(offsetof(DatasetColumn, ind) == 8 && offsetof(DatasetColumn, data) == 16);
static_assert(offsetof(Dataset, rowCapacity) == 4 && offsetof(Dataset, colCount) == 8);
static_assert(offsetof(Dataset, rowCount) == 12 && offsetof(Dataset, cols) == 16);

// Width of a row slot for a column of `size` characters (or bytes for the binary
// types; ignored by the fixed types). A width that would not fit 32 bits answers
// UINT32_MAX, which no allocation accepts.
uint32_t DatasetTypeWidth(int32_t type, uint32_t size) noexcept;
// Bytes of the length prefix before a value of the prefixed types (1, 2 or 4);
// 0 for the others.
uint32_t DatasetPrefixSize(int32_t type) noexcept;

// Gives a column without storage zeroed data for `rows` rows and indicators set to
// DS_IND_NULL; 0 rows leaves both NULL. On failure nothing is kept.
[[nodiscard]] int32_t DatasetColumnAlloc(DatasetColumn* col, uint32_t rows) noexcept;
// Frees the long values of the first n rows (long types), then data and indicators.
// A column without storage is left as it is.
void DatasetColumnFree(DatasetColumn* col, uint32_t n) noexcept;

// Initialises a record (its previous contents are not looked at) with `columns`
// zeroed column entries and no rows.
[[nodiscard]] int32_t DatasetInit(Dataset* ds, uint16_t columns) noexcept;
// Gives every used column storage for `rows` rows (storage a column already had is
// released first); rowCount is the caller's. On failure no used column has storage
// and rowCapacity is 0.
[[nodiscard]] int32_t DatasetSetRows(Dataset* ds, int32_t rows) noexcept;
// Releases every column and the column array and zeroes the counts; the record stays.
void DatasetFree(Dataset* ds) noexcept;
// Empties the rows but keeps the layout and the storage, so that a block read again
// into the same Dataset allocates nothing: frees the long values and sets rowCount 0.
void DatasetResetRows(Dataset* ds) noexcept;
// Lays a Dataset out from n descriptions (type bindType, width from octetLength)
// with storage for `rows` rows.
[[nodiscard]] int32_t DatasetFromColumnInfo(const ColumnInfo* info, uint16_t n, int32_t rows,
                                            Dataset* ds) noexcept;

// Inserts an all-NULL row at `index` (<= rowCount); needs a free row of capacity.
[[nodiscard]] int32_t DatasetInsertRow(Dataset* ds, uint32_t index) noexcept;
// *equal = 1 when row ra of a and row rb of b hold the same values (NULL only equals
// NULL; each value compared over its own length), else 0.
[[nodiscard]] int32_t DatasetCompareRows(const Dataset* a, uint32_t ra, const Dataset* b,
                                         uint32_t rb, int32_t* equal) noexcept;
// A deep copy in a new record (caller frees with DatasetFree and free); *out is
// left untouched on failure.
[[nodiscard]] int32_t DatasetClone(Dataset** out, const Dataset* src) noexcept;
// Copies row sr of src over row dr of dst; a dr at or past rowCount but inside the
// capacity appends at rowCount. With `move` the long values are handed over and
// src's entries cleared; otherwise duplicated.
[[nodiscard]] int32_t DatasetCopyRow(Dataset* dst, Dataset* src, uint32_t dr, uint32_t sr,
                                     int32_t move) noexcept;
// Appends every row of src (same layout, checked); long values move, src keeps its
// rows without them. On failure neither Dataset changes.
[[nodiscard]] int32_t DatasetAppend(Dataset* ds, Dataset* src) noexcept;
// a's columns become b's columns followed by a's own; b's columns lose their
// storage. Row counts and capacities must agree.
[[nodiscard]] int32_t DatasetJoin(Dataset* a, Dataset* b) noexcept;
// *dst gets src's columns (types and widths) with storage for `rows` rows and no
// values; an existing *dst is emptied and reused, otherwise a record is allocated.
[[nodiscard]] int32_t DatasetCloneLayout(Dataset** dst, const Dataset* src, int32_t rows) noexcept;
// Replaces *ds (a separately allocated record) by a copy with the rows reversed.
[[nodiscard]] int32_t DatasetReverse(Dataset** ds) noexcept;

// Column operations; columns are numbered from 0.
[[nodiscard]] int32_t DatasetDeleteColumn(Dataset* ds, uint16_t c) noexcept;
[[nodiscard]] int32_t DatasetColumnType(const Dataset* ds, uint16_t c, int32_t* type,
                                        int32_t* width) noexcept;
// Inserts a column with storage for rowCapacity rows; on failure ds is unchanged.
[[nodiscard]] int32_t DatasetInsertColumn(Dataset* ds, uint16_t i, int32_t type,
                                          uint32_t width) noexcept;
// Replaces column dc of dst by a copy of column sc of src (same type and width).
[[nodiscard]] int32_t DatasetCopyColumn(Dataset* dst, const Dataset* src, uint16_t dc,
                                        uint16_t sc) noexcept;

// Copies the bytes of one value (at most *len; no terminator added) and stores
// the count in *len; a NULL row gives 0.
[[nodiscard]] int32_t DatasetGetValue(const Dataset* ds, uint32_t r, uint16_t c, void* buf,
                                      uint32_t* len) noexcept;
// Turns every UTF-16 column into 8-bit text of the ANSI code page.
[[nodiscard]] int32_t DatasetToAnsi(Dataset* ds) noexcept;
// Cuts every character and binary value to at most n bytes (UTF-16: units).
[[nodiscard]] int32_t DatasetTruncate(Dataset* ds, uint32_t n) noexcept;

// Test hook: makes the n-th allocation of this library on the calling thread,
// counted from now, fail (0 switches it off).
void DatasetTestFailAlloc(uint32_t n) noexcept;
// Allocations attempted on the calling thread since the last DatasetTestFailAlloc.
uint32_t DatasetTestAllocCount() noexcept;
