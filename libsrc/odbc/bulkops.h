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
