#pragma once
// scs_p.h -- routines shared inside the cursor layer, and the scroll arithmetic
// of the statement side, open to the layer's tests.
// Threading: as the context they work on.

#include <cstdint>

#include "scrs/scs.h"

// Where a target rowset lies against the result (scs_p_ClassifyRowset).
inline constexpr int SCS_ROWSET_FORWARD = 0;  // count unknown, moving forward
inline constexpr int SCS_ROWSET_BEFORE = 1;   // wholly before row 1
inline constexpr int SCS_ROWSET_OVERLAPS_START = 2;
inline constexpr int SCS_ROWSET_INSIDE = 3;
inline constexpr int SCS_ROWSET_SHORT = 4;  // runs past the last row
inline constexpr int SCS_ROWSET_AFTER = 5;  // wholly after the last row

// Replaces *list by a copy of n entries (none for n 0). 0 or ERR_MEMORY, with
// the old list kept on failure.
int32_t scs_p_SetParamTypes(ParamShadow** list, uint16_t* count, uint16_t n,
                            const ParamShadow* entries);

int scs_p_ClassifyRowset(int32_t start, int32_t target, int32_t size, int32_t count);
// The absolute first row of the target rowset and its class.
int scs_p_ResolveRowset(uint16_t orientation, int32_t offset, int32_t rowsetStart, int32_t rowCount,
                        int32_t rowsetSize, int32_t prevRowsetSize, int32_t* target);
// One scrolled fetch through the context's driver chain into sc_rowStatus; the
// back end's messages go to the owning statement on failure.
int32_t scs_p_DriverScroll(SCS* scs, uint16_t orientation, int32_t target, uint32_t* rows);
