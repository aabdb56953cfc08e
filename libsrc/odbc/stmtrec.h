#pragma once
// stmtrec.h -- what a statement keeps between calls besides its options: the
// column and parameter bindings, the result and parameter descriptions the
// back end hands over (with the result's attribute overrides), and the small
// statement services the workers share.
// A result description lives from its first use after a preparation or
// execution until the next preparation, execution or release, and its
// attribute overrides live exactly as long; the parameter description is asked
// for at most once per preparation.
// Threading: every operation runs under the statement's connection call lock.

#include <cstdint>

#include "odbc/binding.h"
#include "odbc/stmt.h"

struct ColumnInfo;

// Bindings.
// A copy of cb replaces the node of its column in place or is appended.
SQLRETURN StmtAddColBinding(Stmt* stmt, const ColBinding* cb);
// Unbinds cb's column; nothing when it is not bound. -> 0.
int32_t StmtRemoveColBinding(Stmt* stmt, const ColBinding* cb);
// Drops every column binding (the bookmark's too) and leaves the ARD alone.
void StmtDropColBindings(Stmt* stmt);
// Drops the bindings of the columns above n, as lowering the ARD's count does.
void StmtDropColBindingsAbove(Stmt* stmt, uint16_t n);
// Drops the bindings of the parameters above n, as lowering the APD's count does.
void StmtDropParamBindingsAbove(Stmt* stmt, uint16_t n);
// Unbinds parameter n (its slot reads as never bound).
void StmtUnbindParam(Stmt* stmt, uint16_t n);
// Parameter n's binding changed in place: its types go to the back end again
// when they differ from what was sent.
void StmtParamTypesChanged(Stmt* stmt, uint16_t n);
// Stores pb in its slot (numbers 1 to 1024); a change of its types from the
// previous binding makes them go to the back end again.
SQLRETURN StmtSetParamBinding(Stmt* stmt, const ParamBinding* pb);
ColBinding* StmtFindColBinding(uint16_t column, Stmt* stmt);
// Says that a bound column's copy may no longer be the one chosen for it: called on every
// change of a binding (a found binding changed in place too), of how rows are bound, and
// of the block's layout.
inline void StmtBindingsChanged(Stmt* stmt) { ++stmt->st_bindGen; }
// Parameter n, 1 <= n <= the slot count; null otherwise.
ParamBinding* StmtFindParamBinding(uint16_t n, Stmt* stmt);

// Frees the count buffers, then both arrays, and clears the pointers.
void DAEBuffersFree(void*** buffers, uint64_t count, uint64_t** lengths);
void DAEBuffersFree(char*** buffers, uint64_t count, uint64_t** lengths);
// Fresh zeroed data-at-execution arrays: one entry per parameter set for every
// parameter slot, `rows` for every bound column. 0 or ERR_MEMORY.
int32_t StmtAllocParamDAE(Stmt* stmt);
int32_t StmtAllocColDAE(Stmt* stmt, uint64_t rows);
// Releases the parameter values collected at execution and forgets a parameter
// Dataset the back end was completing; the binding arrays stay.
void StmtDropParamDAE(Stmt* stmt);

// Descriptions.
// The result description, asked from the back end once per result; null with
// errCode 0 for a result without columns, null with errCode set (and the back
// end's messages posted) on failure.
ColumnInfo* StmtDescribeCols(Stmt* stmt);
// Column n (from 1) of the result; column 0 is the bookmark column while
// bookmarks are on (a shared constant entry). Null with ERR_COLUMN_NUMBER, or
// with the describe failure, in errCode.
const ColumnInfo* StmtColumnInfo(Stmt* stmt, uint16_t n);
// The description of the bookmark column.
const ColumnInfo* BookmarkColumnInfo();
// Parameter n (from 1), described by the back end on first need.
const ColumnInfo* StmtParamInfo(Stmt* stmt, uint16_t n);
void StmtFreeParamInfo(Stmt* stmt);
// The result description with its attribute overrides.
void StmtFreeColumnInfo(Stmt* stmt);
// The attribute overrides of the current result (null for none), asked of the back end
// at their first use after a describe that did not need them.
HashTable* StmtColAttrs(Stmt* stmt);
// After an execution: keeps the result description while the back end says it is
// unchanged, frees it otherwise.
void StmtRecheckColumnInfo(Stmt* stmt);
// The result storage and both descriptions.
void StmtFreeResultInfo(Stmt* stmt);
// The fetch block and the row statuses of the current result.
void StmtFreeResult(Stmt* stmt);
// Rows of the result that fit a 65535-byte block by estimated width; at least 1
// for a result with columns, 0 without.
uint16_t ResultRowWidth(const ColumnInfo* info, uint16_t n);

// True while the statement has a description to answer from: prepared, or with
// a result pending.
bool StmtHasResultInfo(const Stmt* stmt);
// True for the name of a procedure parameter reported as a column ("*I", "*O",
// "*B", "*U").
bool IsParamColumnName(const char* name);
// The name an application sees: the full name when there is one.
const char* ColumnDisplayName(const ColumnInfo* info);
// The SQL type as the environment's ODBC version names it: the date-time types
// are 91-93 under ODBC 3 and 9-11 under ODBC 2.
int16_t SqlTypeForVersion(int32_t sqlType, const Stmt* stmt);

// Statement services; each answers a driver error code.
int32_t StmtParamOptions(Stmt* stmt, uint64_t count, uint64_t* processed);
// Result columns an application sees (hidden procedure parameters left out).
int32_t StmtNumResultCols(Stmt* stmt, int16_t* n);
int32_t StmtNumParams(Stmt* stmt, int16_t* n);
