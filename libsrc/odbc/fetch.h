#pragma once
// fetch.h -- moving fetched rows into the application: SQLFetch,
// SQLFetchScroll, SQLExtendedFetch and SQLGetData with the two roads behind
// them. Forward-only cursors read blocks of rows into the statement's block
// Dataset and hand them out one row at a time; rowsets are read whole by the
// cursor context and copied into the bound columns row by row.
// Every value goes through GetColumn; this module decides which rows and
// bindings are converted, where each row's buffers lie, and what the
// rows-fetched count and the row status array say.
// Threading: under the statement's connection call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Stmt;

// Workers. args: none.
SQLRETURN FetchImpl(Stmt* stmt, const CallSlot* args);
// args: [orientation, offset].
SQLRETURN FetchScrollImpl(Stmt* stmt, const CallSlot* args);
// args: [fetch type, row, rows fetched pointer, row status array].
SQLRETURN ExtendedFetchImpl(Stmt* stmt, const CallSlot* args);
// args: [column, C type, value, buffer length, length/indicator pointer].
SQLRETURN GetDataImpl(Stmt* stmt, const CallSlot* args);

// The next block of a forward-only result into the statement's block Dataset.
SQLRETURN StmtFetchBlock(Stmt* stmt);
// The next row of the block into every bound column, as an ODBC 2 SQLFetch
// does: no rows-fetched count, no row status, no column skipped.
SQLRETURN FetchForwardBound(Stmt* stmt);
// The same for an ODBC 3 forward-only cursor with rowset size 1, with the
// rows-fetched count, the row status, retrieve-data and ignored columns.
SQLRETURN FetchSingleRow(Stmt* stmt);
SQLRETURN StmtFetchScroll(Stmt* stmt, int16_t orientation, int64_t offset);
SQLRETURN StmtExtendedFetch(Stmt* stmt, uint16_t fetchType, int64_t offset, uint64_t* rowsFetched,
                            uint16_t* rowStatus);
// The current rowset (row 0) or its row n into the bound columns. mode -1 is a
// fetch; 0 to 4 the SetPos operation being finished.
SQLRETURN RowsetToBound(Stmt* stmt, uint16_t* rowStatus, int32_t row, int32_t mode);
SQLRETURN StmtGetData(Stmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufLen,
                      int64_t* lenInd);
