// rowstatus.cpp -- the row status table of a rowset.
// Allocation failures are answered with ERR_MEMORY, never by ending the
// process: a rowset can be large and the application may retry smaller.

#include "drv/rowstatus.h"

#include <sqlext.h>

#include <cstdlib>

#include "drv/dataset.h"
#include "drv/errtab.h"

int32_t RowStatusTableReset(RowStatusTable* table, int32_t n) noexcept {
  if (table == nullptr || n <= 0) return ERR_GENERAL;
  RowStatusTableClear(table);
  auto* status = static_cast<uint16_t*>(std::malloc(static_cast<size_t>(n) * sizeof(uint16_t)));
  if (status == nullptr) return ERR_MEMORY;
  auto* rows = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (rows == nullptr) {
    std::free(status);
    return ERR_MEMORY;
  }
  for (int32_t i = 0; i < n; ++i) status[i] = SQL_ROW_NOROW;
  if (int32_t rc = DatasetInit(rows, 0); rc != 0) {
    std::free(rows);
    std::free(status);
    return rc;
  }
  table->status = status;
  table->rows = rows;
  table->count = n;
  return 0;
}

int32_t RowStatusTableNew(RowStatusTable** out, int32_t n) noexcept {
  if (out == nullptr || n <= 0) return ERR_GENERAL;
  auto* table = static_cast<RowStatusTable*>(std::calloc(1, sizeof(RowStatusTable)));
  if (table == nullptr) return ERR_MEMORY;
  if (int32_t rc = RowStatusTableReset(table, n); rc != 0) {
    std::free(table);
    return rc;
  }
  *out = table;
  return 0;
}

void RowStatusTableClear(RowStatusTable* table) noexcept {
  if (table == nullptr) return;
  if (table->rows != nullptr) {
    DatasetFree(table->rows);
    std::free(table->rows);
    table->rows = nullptr;
  }
  std::free(table->status);
  table->status = nullptr;
  table->count = 0;
}

void RowStatusTableFree(RowStatusTable** table) noexcept {
  if (table == nullptr) return;
  RowStatusTableClear(*table);
  std::free(*table);
  *table = nullptr;
}
