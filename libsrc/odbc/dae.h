#pragma once
// dae.h -- data at execution: the statement's continuation state while an
// execution waits for parameter values, and the workers of SQLParamData and
// SQLPutData.
// Threading: under the statement's connection call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Stmt;

// Stmt::st_daeState. SetPos and BulkOperations use 2, 3, 8 and 9; 4 to 6 are
// never set.
inline constexpr int16_t DAE_NONE = 0;
inline constexpr int16_t DAE_EXEC = 1;  // an execution waits for parameter values
inline constexpr int16_t DAE_SETPOS = 2;
inline constexpr int16_t DAE_BULK = 3;
inline constexpr int16_t DAE_EXEC_READY = 7;  // every value was asked for; ParamData executes
inline constexpr int16_t DAE_SETPOS_READY = 8;
inline constexpr int16_t DAE_BULK_READY = 9;

// args: void** value.
SQLRETURN ParamDataImpl(Stmt* stmt, const CallSlot* args);
// args: void* data, SQLLEN length.
SQLRETURN PutDataImpl(Stmt* stmt, const CallSlot* args);

// Ends the dialogue under way, as a refused piece or a cancel does: nothing
// runs, every piece collected goes, and the statement is where it was before
// the call that asked for data (prepared; a cursor open for SetPos or
// BulkOperations stays open on its rowset).
void DAEAbandon(Stmt* stmt);

// Moves the scan position to the next parameter value sent at execution, from
// the position itself on, row by row: 1 when there is one (the position is left
// on it), 0 when none is left (the position goes back to the start).
int DAEScanParams(Stmt* stmt);
