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

// The copy for cells of DatasetType dsType into C type cType; null for a pair that
// only the general road serves.
CellCopy ChooseCellCopy(int32_t dsType, int32_t cType) noexcept;
