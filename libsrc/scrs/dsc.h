#pragma once
// dsc.h -- the dataset cache: a whole result read from an agent cursor, kept in
// the caller's Dataset while it is small and moved into a pair of temporary
// files (data and index) once it outgrows the memory limit, from which windows
// of rows are read back on demand. Static result sets, keysets and the old
// values of value concurrency each own one.
// A cache owns its two files; the Dataset it fills or reloads and the window
// start beside it belong to the caller.
// The files are private to the process: created exclusively with mode 0600 in
// the temporary directory and unlinked as soon as they are open, so nothing is
// left behind whatever way the process ends.
// Threading: a cache belongs to one cursor and is used under its connection's
// call serialisation.

#include <cstdint>
#include <cstdio>

#include "drv/drvops.h"

struct Dataset;

// DSC::state
inline constexpr int32_t DSC_IN_MEMORY = 0;  // every row is in the caller's Dataset (or none)
inline constexpr int32_t DSC_FILES_OPEN = 1;
inline constexpr int32_t DSC_SPILLED = 2;  // the rows are in the files

inline constexpr int32_t DSC_BATCH_ROWS = 200;    // rows asked of the cursor per fetch
inline constexpr int32_t DSC_MEMORY_ROWS = 5000;  // more than this many rows spill

struct DSC {
  int32_t state;       // DSC_IN_MEMORY, DSC_FILES_OPEN or DSC_SPILLED
  FILE* data;          // header, column entries and rows; owned
  FILE* index;         // one 64-bit data-file offset per row; owned
  int32_t windowRows;  // rows asked for by the window last loaded: a jump loads
                       // the rows requested, a scroll on from them some more ahead
};

void DSC_Init(DSC* dsc);
// Closes (and so deletes) the files; the window size stays.
void DSC_Close(DSC* dsc);
// Reads the executed cursor hCursor to its end through drv, in batches of
// DSC_BATCH_ROWS, into ds, spilling to the files past DSC_MEMORY_ROWS rows (ds
// is then left empty). *total gets the rows read. ERR_GENERAL without a cache
// or Dataset, or when the files fail; a fetch failure returns its own code.
[[nodiscard]] int32_t DSC_Fill(DSC* dsc, DriverRecord* drv, uint32_t hCursor, Dataset* ds,
                               int32_t* total);
// Makes 0-based rows first .. first + count - 1 (as far as they exist) present
// in ds, whose row 0 is result row *windowStart (-1: no window loaded). A cache
// that never spilled holds every row from row 0. Rows already present are not
// read again; others are read by their offsets in the index, in one read of
// the data file, so that a jump costs its own rows whatever the result's size.
[[nodiscard]] int32_t DSC_GetWindow(DSC* dsc, int32_t first, uint32_t count,
                                    int32_t* windowStart, Dataset* ds);

// The file codec. Numbers are little-endian; every scalar takes a 4-byte unit
// except doubles (8); text is stored by its length, UTF-16 text in its 8-bit
// form, so that a row takes the same room in both builds; the index holds one
// 64-bit offset per row, so a data file may pass 4 GiB. Files are read and
// written by position in whole ranges, never field by field.
inline constexpr int32_t DSC_WRITE = 0;
inline constexpr int32_t DSC_READ = 1;
// Write: header, column entries and rows first.. (max 0: all) at the ends of
// the files. Read: lays ds out from the file and decodes up to max rows from
// row first. 1 success, 0 failure (first past the stored rows, an unknown type,
// a value longer than its column, any failed seek, read or write).
int DSC_StreamRows(int32_t direction, FILE* data, FILE* index, Dataset* ds, int32_t first,
                   int32_t maxRows);
// Appends every row of ds to files written by DSC_StreamRows and raises the
// stored row count. 1 or 0.
int DSC_AppendRows(FILE* data, FILE* index, Dataset* ds);

// Test hook: bytes the calling thread has read from cache files so far.
uint64_t DSC_TestBytesRead() noexcept;
