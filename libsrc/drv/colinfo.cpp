// colinfo.cpp -- allocation and release of description arrays, and what an SQL type
// takes as text.
// Uses the C library heap and answers NULL when it is exhausted: a description
// comes from the back end, and the caller turns a NULL into ERR_MEMORY.

#include "drv/colinfo.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

ColumnInfo* ColumnInfoAlloc(uint16_t n) noexcept {
  return static_cast<ColumnInfo*>(std::calloc(n ? n : 1, sizeof(ColumnInfo)));
}

void ColumnInfoFree(ColumnInfo* info, uint16_t n) noexcept {
  if (!info) return;
  for (uint16_t i = 0; i < n; ++i) {
    std::free(info[i].catalog);
    std::free(info[i].schema);
    std::free(info[i].table);
    std::free(info[i].fullName);
  }
  std::free(info);
}

bool SqlTypeRefusesBlankText(int32_t sqlType) noexcept {
  switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: return true;
    default: return false;
  }
}
