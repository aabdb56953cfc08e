#pragma once
// rowstatus.h -- one rowset as the cursor layer hands it up: the ODBC status of
// every row with the rows themselves.
// Whoever holds the pointer owns the table, its status array and its Dataset
// (with every value in it); the creator hands the pointer over and keeps no
// reference.
// Threading: a table is used by the one call that holds it.
// Not here: reading the rows into application buffers (odbc/fetch.h).

#include <cstdint>

struct Dataset;

struct RowStatusTable {
  uint16_t* status;  // count entries, SQL_ROW_*; entry i belongs to row i + 1
  Dataset* rows;     // row i of the rowset at index i; laid out by the fetch that fills it
  int32_t count;     // entries: the rowset size the table was made for
};

// A table of n rows, every status SQL_ROW_NOROW and an empty Dataset; *out is
// written only on success. ERR_GENERAL for a null out or n <= 0, ERR_MEMORY.
[[nodiscard]] int32_t RowStatusTableNew(RowStatusTable** out, int32_t n) noexcept;
// Drops the old contents and starts again with n rows. After a failure the
// table holds no status array.
[[nodiscard]] int32_t RowStatusTableReset(RowStatusTable* table, int32_t n) noexcept;
// Frees the rows (with their values) and the statuses; the record stays. A null
// table is ignored.
void RowStatusTableClear(RowStatusTable* table) noexcept;
// Clears and frees *table when there is one; *table is null afterwards.
void RowStatusTableFree(RowStatusTable** table) noexcept;
