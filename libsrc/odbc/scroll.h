#pragma once
// scroll.h -- the statement side of scrolling: the rowset an orientation and
// offset name, where it lies against the result, and the scrolled fetch
// through the driver chain that reads it into the statement's context.
// Threading: under the statement's connection call lock.

#include <cstdint>

#include "drv/scs.h"

// Where a target rowset lies against the result (scs_p_ClassifyRowset).
inline constexpr int SCS_ROWSET_FORWARD = 0;  // count unknown, moving forward
inline constexpr int SCS_ROWSET_BEFORE = 1;   // wholly before row 1
inline constexpr int SCS_ROWSET_OVERLAPS_START = 2;
inline constexpr int SCS_ROWSET_INSIDE = 3;
inline constexpr int SCS_ROWSET_SHORT = 4;  // runs past the last row
inline constexpr int SCS_ROWSET_AFTER = 5;  // wholly after the last row

int scs_p_ClassifyRowset(int64_t start, int64_t target, int32_t size, int32_t count);
// The absolute first row of the target rowset and its class.
// Computed in 64 bits: a target may lie beyond the rows a result can have.
int scs_p_ResolveRowset(uint16_t orientation, int64_t offset, int32_t rowsetStart, int32_t rowCount,
                        int32_t rowsetSize, int32_t prevRowsetSize, int64_t* target);
// One scrolled fetch through the context's driver chain into sc_rowStatus; the
// back end's messages go to the owning statement on failure.
int32_t scs_p_DriverScroll(SCS* scs, uint16_t orientation, int32_t target, uint32_t* rows);

// Fetches the target rowset of a statement's context through the whole driver
// chain: on success the new table is in sc_rowStatus and *rows holds its rows.
// ERR_NO_DATA when the rowset lies outside the result, the position then before
// its start or after its end as ODBC's positioning rules say.
// REQUIRES: the statement's connection call lock; takes DriverLock once per
// statement for the fetch-direction mask.
int32_t SCS_FetchScroll(SCS* scs, uint16_t orientation, int64_t offset, uint32_t* rows);
