#pragma once
// posops.h -- the positioned operations of an emulated cursor: SetPos's
// delete, update and add of rowset rows and the bookmark operations of
// BulkOperations, run as generated SQL, each statement prepared once for the cursor
// on an agent cursor of its own, and finding each row by its key values (and, under
// value concurrency, by the old values the cursor holds of it).
// A request's row Dataset and column list belong to the operation, which frees
// them; the status array it hands out belongs to the caller.
// Threading: inside calls on the cursor's connection, one at a time.

#include <cstdint>

#include "drv/drvops.h"

struct Dataset;
struct RowStatusTable;
struct SCS;

// The SetPos and BulkOperations slots of the cursor layer's table.
int32_t SCS_SetPos(DrvHandle hCursor, int32_t row, uint16_t operation, uint32_t lock,
                   uint16_t** statuses, int32_t* rowsOut, Dataset* rows, uint16_t* columns,
                   uint16_t columnCount);
int32_t SCS_BulkOperations(DrvHandle hCursor, uint16_t operation, uint32_t* bookmarks,
                           uint16_t count, Dataset* rows, uint16_t* columns, uint16_t columnCount,
                           uint16_t** statuses, uint16_t* countOut, RowStatusTable** table);

// Row n (1-based) of the rowset or SCS_POS_NO_ROW for the whole rowset.
// SQL_REFRESH answers ERR_NOT_CAPABLE; SQL_POSITION does nothing. rows and
// columns are freed whatever the answer. *count gets the entries of *statuses.
[[nodiscard]] int32_t scs_p_SetPosOp(SCS* scs, int32_t row, uint16_t operation,
                                     uint16_t** statuses, int32_t* count, Dataset* rows,
                                     uint16_t* columns);

// One generated UPDATE or DELETE per target row, shared by SetPos and the
// bookmark operations. A target names its row of keys (the keyset's `keys`
// when keys is null), its row in the cursor's sc_optValues (-1: no old values)
// and, for an update, its row of new values.
struct PosTarget {
  int32_t keyRow;
  int32_t oldRow;
  int32_t valueRow;
  Dataset* keys = nullptr;
};

// Where the keys of keyset row r (0-based) of the current rowset are held: a
// rowset fetched by bookmarks holds its own (-1: not in it), another one is a
// run of the keyset's `keys`. *index gets its place in the rowset.
int32_t scs_p_RowsetKey(const SCS& scs, int32_t r, Dataset** keys, int32_t* index);

// What scs_p_KeyedWrite did with each target.
inline constexpr uint8_t POS_FAILED = 0;   // its statement failed or changed no row
inline constexpr uint8_t POS_CHANGED = 1;  // its row was changed
inline constexpr uint8_t POS_NOT_RUN = 2;   // the walk ended before it

// Runs SQL_UPDATE (values and columns given: Dataset column c holds the new
// values of result column columns[c]) or SQL_DELETE for every target on
// an agent cursor of its shape, prepared once for the cursor; done[i] says how each
// target went and *changed counts the rows changed. A statement that cannot be built
// or prepared ends the walk with its code; a row that fails is only not done. The
// statements' messages end on the user's cursor.
[[nodiscard]] int32_t scs_p_KeyedWrite(SCS* scs, uint16_t operation, const PosTarget* targets,
                                       int32_t n, Dataset* values, const uint16_t* columns,
                                       uint8_t* done, int32_t* changed);

// Ends the agent cursors of the statements positioned operations prepared for the
// cursor (its end, or a new statement prepared on it).
void scs_p_FreePosStatements(SCS* scs);
// Moves the messages waiting on those cursors to the user's cursor.
void scs_p_PosStatementErrors(SCS* scs);
