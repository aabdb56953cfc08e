#pragma once
// setpos.h -- SQLSetPos: positioning on, refreshing, updating, deleting and
// adding rows of the current rowset of a scrollable cursor, with the
// application's bound columns turned into the Dataset the back end applies,
// and the per-row results written back into the rowset's statuses and the
// application's status array.
// The rows an operation reads from the application are always inside its
// arrays: the rowset fetched last (or, for an added row, the row named), never
// a row counted past the status array handed in at that fetch.
// What DRV_SetPos receives: in the rows of an UPDATE or ADD a DS_IND_IGNORE
// cell is a column left out for that row, and a row whose every cell is
// DS_IND_IGNORE is left out; a DELETE gets one DS_BIT column whose indicators
// are DS_IND_IGNORE or DS_IND_NULL. The count output of DRV_SetPos (and of
// DRV_BulkOperations), when the back end sets it, says how many statuses its
// array has.
// Threading: under the statement's connection call lock.
// Not here: what the back end does with the rows (the cursor layer), the
// dialogue of values sent at execution (dae.cpp).

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Dataset;
struct Stmt;
struct ColBinding;

// args: [row (SQLSETPOSIROW), operation, lock].
SQLRETURN SetPosImpl(Stmt* stmt, const CallSlot* args);

// Where an operation's per-row results go in the application: the array and
// the number of its entries that exist.
struct SetPosTarget {
  uint16_t* status;
  uint32_t rows;
};

// The whole SetPos; BulkOperations' SQL_ADD comes through here with the IRD's
// status array as target.
SQLRETURN StmtSetPos(Stmt* stmt, uint64_t row, uint16_t operation, uint16_t lock,
                     SetPosTarget target);
// Resumes the local road after the last column value sent at execution.
SQLRETURN SetPosResume(Stmt* stmt);
// Ends a SetPos the back end completed on its own road: statuses written
// back, temporaries released. The back end's answer is in errCode.
SQLRETURN SetPosFinish(Stmt* stmt);
// Releases what a SetPos or BulkOperations keeps between calls.
void SetPosFreeTemps(Stmt* stmt);

// ---- Shared with BulkOperations and the data-at-execution dialogue ----------

// The C type a bound column's values are read as: SQL_C_DEFAULT and
// SQL_ARD_TYPE resolved against the result and the ARD.
int16_t BoundCType(Stmt* stmt, const ColBinding& cb);
// The length/indicator value of application row k (bind offset and stride
// applied); *has is false when the binding has no length buffer.
int64_t BoundLength(const Stmt* stmt, const ColBinding& cb, uint64_t k, bool* has);
// Row k's entry of a length or indicator array (bind offset and stride
// applied), or null without the array.
int64_t* BoundLengthAt(const Stmt* stmt, int64_t* base, uint64_t k);
// The value address of application row k, or null.
char* BoundValue(Stmt* stmt, const ColBinding& cb, uint64_t k);
// Whether a length announces a value sent at execution.
bool LengthAtExec(int64_t length);

// How a Dataset of bound values is built.
enum class RowsRoad {
  Local,   // values sent at execution come from the bindings' collected pieces
  Driver,  // such cells are marked DS_IND_DAE for the back end's own dialogue
  Bulk,    // as Local, without the ARD's row operations
};

// The result columns an operation sends for rows first .. first + n - 1, in
// binding order: every bound result column that is updatable and not left out
// by SQL_COLUMN_IGNORE in each of those rows. *list is malloc'ed (null when
// count is 0). ERR_GENERAL when a bound column is not in the result.
int32_t SetPosColumnList(Stmt* stmt, uint32_t first, uint32_t n, bool rowOps, uint16_t** list,
                         uint16_t* count);
// A new Dataset (caller frees with DatasetFree and free) of the listed
// columns for rows first .. first + n - 1. A cell the application left out
// with SQL_COLUMN_IGNORE, and every cell of a row its row operation
// ignores, is DS_IND_IGNORE.
int32_t SetPosRowsFromBound(Stmt* stmt, RowsRoad road, uint32_t first, uint32_t n,
                            const uint16_t* list, uint16_t count, Dataset** out);
// Starts asking for the listed columns' values sent at execution in rows
// first .. first + n - 1. SQL_SUCCESS when there are none, SQL_NEED_DATA in
// state `state` (DAE_SETPOS or DAE_BULK), SQL_ERROR on failure.
SQLRETURN SetPosDAEStart(Stmt* stmt, uint32_t first, uint32_t n, const uint16_t* list,
                         uint16_t count, int16_t state);
// Moves the column scan to the next listed value sent at execution, from the
// scan position on: 1 when there is one, 0 when none is left (the position
// then goes back to the start).
int DAEScanColumns(Stmt* stmt);
// The binding of a result column; null when it is not bound.
ColBinding* BindingOfColumn(Stmt* stmt, uint16_t column, int16_t* position);
