#pragma once
// bulkops.h -- SQLBulkOperations: rows added from the bound columns, and rows
// updated, deleted or fetched by the bookmarks bound in column 0, on a static
// or keyset-driven cursor.
// Threading: under the statement's connection call lock.
// Not here: what the back end does with the bookmarks (the cursor layer).

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Stmt;

// args: [operation].
SQLRETURN BulkOperationsImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN StmtBulkOperations(Stmt* stmt, uint16_t operation);
// Runs the update waiting for its values sent at execution, once all arrived.
SQLRETURN BulkResume(Stmt* stmt);
// Drops the rows a bulk operation remembered of the current rowset.
void BulkForgetRowset(Stmt* stmt);
// The bookmark (or, with rowNumber, the row number) of rowset row index
// (0-based). A rowset whose start a bulk operation left unknown answers the
// bookmark remembered for that row: after a fetch by bookmarks its rows are
// no run from a start.
[[nodiscard]] int32_t BulkRowBookmark(Stmt* stmt, uint32_t index, bool rowNumber, int32_t* out);
