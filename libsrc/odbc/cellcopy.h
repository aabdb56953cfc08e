#pragma once
// cellcopy.h -- the plain copies that carry the common pairs of a Dataset cell type
// and an application C type (integers, floating values, dates, text that fits its
// buffer, decimal text as a double) straight into a bound buffer. A fetch chooses one per bound column once and
// then spends a call per cell on it, where the general road (GetColumn) decides the
// C type, the state and the converter again for every cell.
// A copy delivers exactly what the general road would, or declines and leaves the
// cell to it: a NULL or deferred value, text that would be cut or needs transcoding.
// Pure functions, any thread.
// Not here: what a fetch delivers when (fetch.h); the general road (getcol.h).

#include <cstdint>

struct DatasetColumn;

// Copies the cell of `row` into data and stores its length in *lenPtr (when given).
// false when the cell is not one it can take; *lenPtr is then untouched, and data
// may hold a part of the value, which the general road overwrites.
using CellCopy = bool (*)(const DatasetColumn& col, uint32_t row, void* data, int64_t bufLen,
                          int64_t* lenPtr);

// Where consecutive cells of a column land: the k-th at data + k × dataStep, its length
// at len + k × lenStep and its indicator at ind + k × indStep (len and ind may be null,
// with a step of 0).
struct CellRun {
  char* data;
  int64_t dataStep;
  int64_t bufLen;
  char* len;
  int64_t lenStep;
  char* ind;
  int64_t indStep;
};

// Copies the cells of rows [row, end) into a run, each as the cell copy of the same pair
// would, and sets each indicator that is not also the length to 0. Answers how many
// cells it went past: all of
// them, or those before the first cell the copy declines (whose length and indicator
// stay untouched).
using RunCopy = uint32_t (*)(const DatasetColumn& col, uint32_t row, uint32_t end,
                             const CellRun& run);

// The copy for cells of DatasetType dsType into C type cType; null for a pair that
// only the general road serves.
CellCopy ChooseCellCopy(int32_t dsType, int32_t cType) noexcept;
// The same choice, for runs of cells.
RunCopy ChooseRunCopy(int32_t dsType, int32_t cType) noexcept;
