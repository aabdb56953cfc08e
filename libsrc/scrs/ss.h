#pragma once
// ss.h -- the static result set: the whole result of a static cursor read once
// from the user's agent cursor into a dataset cache, and every later rowset,
// sequential or scrolled, served from that cache.
// An SS owns its cache (with its temporary files) and its window Dataset; the
// rowsets it hands out belong to the caller.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <cstdint>

#include "drv/drvops.h"
#include "scrs/dsc.h"

struct SS {
  Dataset* window;      // every row after a load that stayed in memory, else the
                        // cache window last loaded; owned
  int32_t windowStart;  // 0-based result row of window's row 0; -1 no window loaded
  int32_t nextPos;      // 0-based row of the next sequential read; -2 at the end
  DSC cache;
};

inline constexpr int32_t SS_AT_END = -2;
inline constexpr int32_t SS_NEXT = -1;  // SS_GetRowset's `first` for a sequential read

// 0, ERR_GENERAL without an out pointer, ERR_MEMORY with nothing allocated.
[[nodiscard]] int32_t SS_Create(SS** out);
// Drops the rows and the cache files; the record stays.
void SS_Close(SS* ss);
void SS_Free(SS** ss);
// Reads the executed cursor hCursor to its end through drv (a previous load is
// dropped first); *total gets the row count.
[[nodiscard]] int32_t SS_GetRsltSet(SS* ss, DriverRecord* drv, uint32_t hCursor, int32_t* total);
// Up to count rows from 0-based row first (SS_NEXT: where the last read left
// off) into *out, allocated when none is given.
[[nodiscard]] int32_t SS_GetRowset(SS* ss, int32_t first, int32_t count, Dataset** out);
