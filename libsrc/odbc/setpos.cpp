// setpos.cpp -- SQLSetPos over the back end's DRV_SetPos. The request is
// checked against the cursor and the rowset's statuses, the bound values of
// the addressed rows become a Dataset, and each addressed row's result comes
// back as its status.
// Values sent at execution take one of two roads, chosen per operation: the
// core asks for them and sends the finished rows (local road), or it marks
// their cells and the back end runs the dialogue (driver road). The road a
// SetPos took is kept with the statement until its dialogue ends.
// Owns the column list and, when the caller owns handed-down data, the rows of
// a SetPos waiting on the driver road; the back end's status arrays are freed
// here whatever the outcome.
// Threading: under the statement's connection call lock.

#include "odbc/setpos.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "odbc/binding.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/cvt.h"
#include "odbc/dae.h"
#include "odbc/desc.h"
#include "odbc/descops.h"
#include "odbc/execute.h"
#include "odbc/fetch.h"
#include "odbc/getcol.h"
#include "odbc/scroll.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

// A back end's failure: its messages go to the statement, or its code when it
// left none.
void post_failure(Stmt* stmt, int32_t code) {
  (void)StmtPostDriverErrors(stmt);
  stmt->errCode = code;
}

int64_t bind_offset(const Stmt* stmt) {
  const Desc* ard = stmt->st_ard;
  if (ard == nullptr || ard->de_bindOffsetPtr == nullptr) return 0;
  int64_t offset = 0;
  std::memcpy(&offset, ard->de_bindOffsetPtr, sizeof offset);
  return offset;
}

bool row_wise(const Stmt* stmt) { return stmt->st_bindType != SQL_BIND_BY_COLUMN; }

// Bytes between two rows' values: the row size, or for an array of one
// column a fixed-size C type's own size, else the buffer length (as a fetch
// fills them).
int64_t value_stride(Stmt* stmt, const ColBinding& cb) {
  if (row_wise(stmt)) return stmt->st_bindType;
  const int16_t size = CTypeSize(BoundCType(stmt, cb));
  return size > 0 ? size : cb.cb_bufferLength;
}

int64_t length_stride(const Stmt* stmt) {
  return row_wise(stmt) ? stmt->st_bindType : static_cast<int64_t>(sizeof(SQLLEN));
}

const int64_t* length_at(const Stmt* stmt, const int64_t* base, uint64_t k) {
  if (base == nullptr) return nullptr;
  return reinterpret_cast<const int64_t*>(reinterpret_cast<const char*>(base) + bind_offset(stmt) +
                                          static_cast<int64_t>(k) * length_stride(stmt));
}

// The row-operation array has an entry for each row of the rowset.
bool row_ignored(const Stmt* stmt, uint64_t k) {
  const uint16_t* ops = stmt->st_ard != nullptr ? stmt->st_ard->de_arrayStatusPtr : nullptr;
  if (ops == nullptr || k >= static_cast<uint64_t>(std::max(stmt->st_cursor.sc_rowsetSize, 0)))
    return false;
  return ops[k] == SQL_ROW_IGNORE;
}

bool column_ignored(const Stmt* stmt, const ColBinding& cb, uint64_t k) {
  bool has = false;
  const int64_t len = BoundLength(stmt, cb, k, &has);
  return has && len == SQL_COLUMN_IGNORE;
}

bool is_null(const Stmt* stmt, const ColBinding& cb, uint64_t k) {
  const int64_t* ind = length_at(stmt, cb.cb_indicatorPtr, k);
  if (ind != nullptr) return *ind == SQL_NULL_DATA;
  bool has = false;
  return BoundLength(stmt, cb, k, &has) == SQL_NULL_DATA && has;
}

bool is_text(int16_t cType) { return cType == SQL_C_CHAR || cType == SQL_C_WCHAR; }
bool is_variable(int16_t cType) { return is_text(cType) || cType == SQL_C_BINARY; }

uint64_t measure_nts(int16_t cType, const char* value, int64_t limit) {
  // A terminator is looked for only inside the buffer the application bound.
  const uint64_t max = limit > 0 ? static_cast<uint64_t>(limit) : UINT64_MAX;
  if (cType == SQL_C_WCHAR) {
    uint64_t n = 0;
    for (; 2 * n + 1 < max; ++n) {
      char16_t u;
      std::memcpy(&u, value + 2 * n, 2);
      if (u == 0) break;
    }
    return 2 * n;
  }
  uint64_t n = 0;
  while (n < max && value[n] != '\0') ++n;
  return n;
}

// The length of row k's value as it is sent: collected pieces for a value sent
// at execution (none on the driver road), the measured or given length of text
// and binary, never more than the bound buffer holds.
uint64_t value_length(Stmt* stmt, const ColBinding& cb, uint64_t k, int16_t cType, bool collected) {
  if (is_null(stmt, cb, k)) return 0;
  bool has = false;
  const int64_t len = BoundLength(stmt, cb, k, &has);
  if (has && LengthAtExec(len)) {
    if (!collected || cb.cb_daeLengths == nullptr || k >= cb.cb_daeRows) return 0;
    const uint64_t n = cb.cb_daeLengths[k];
    return n == DAE_NULL_LENGTH ? 0 : n;
  }
  const char* value = BoundValue(stmt, cb, k);
  if (value == nullptr) return 0;
  const int64_t limit = cb.cb_bufferLength;
  if (!has || len == SQL_NTS) {
    if (is_text(cType)) return measure_nts(cType, value, limit);
    return limit > 0 ? static_cast<uint64_t>(limit) : 0;
  }
  if (len < 0) return limit > 0 ? static_cast<uint64_t>(limit) : 0;
  if (limit > 0 && is_variable(cType)) return std::min<uint64_t>(static_cast<uint64_t>(len), limit);
  return static_cast<uint64_t>(len);
}

// Type and width of a column of the Dataset for a binding of this C type,
// given the longest value to hold. ERR_RESTRICTED_TYPE for a C type no
// Dataset column carries (the intervals).
int32_t column_shape(int16_t cType, uint64_t longest, RowsRoad road, int32_t* type,
                     uint32_t* width) {
  const uint64_t least = road == RowsRoad::Driver ? 0 : 16;
  const auto sized = [](uint64_t n) {
    return static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
  };
  switch (cType) {
    case SQL_C_BINARY:
      *type = DS_LONGBINARY;
      *width = sizeof(DatasetLong);
      return 0;
    case SQL_C_WCHAR:
      *type = DS_WCHAR;
      *width = sized(std::max(longest, least) + 2);
      return 0;
    case SQL_C_CHAR:
      *type = DS_CHAR;
      *width = sized(std::max(longest, least) + 1);
      return 0;
    default: break;
  }
  uint32_t w = 0;
  *type = CTypeToDatasetType(cType, &w);
  *width = w;
  return w > 0 ? 0 : ERR_RESTRICTED_TYPE;
}

// Fills one cell with row k's value.
int32_t fill_cell(Stmt* stmt, const ColBinding& cb, int16_t cType, uint64_t k, RowsRoad road,
                  DatasetColumn* col, uint32_t r) {
  char* cell = col->data + static_cast<uint64_t>(r) * col->width;
  if (road != RowsRoad::Bulk && row_ignored(stmt, k)) {
    col->ind[r] = DS_IND_IGNORE;
    return 0;
  }
  if (column_ignored(stmt, cb, k)) {
    col->ind[r] = DS_IND_IGNORE;
    return 0;
  }
  if (is_null(stmt, cb, k)) {
    col->ind[r] = DS_IND_NULL;
    return 0;
  }
  bool has = false;
  const int64_t len = BoundLength(stmt, cb, k, &has);
  const bool atExec = has && LengthAtExec(len);
  if (atExec && road == RowsRoad::Driver) {
    col->ind[r] = DS_IND_DAE;
    return 0;
  }
  const char* value = BoundValue(stmt, cb, k);
  if (atExec) {
    const bool collected = cb.cb_daeBuffers != nullptr && k < cb.cb_daeRows;
    if (collected && cb.cb_daeLengths[k] == DAE_NULL_LENGTH) {
      col->ind[r] = DS_IND_NULL;
      return 0;
    }
    value = collected ? static_cast<const char*>(cb.cb_daeBuffers[k]) : nullptr;
  }
  const uint64_t n = value_length(stmt, cb, k, cType, true);
  col->ind[r] = 0;
  if (value == nullptr) {
    // A value announced at execution that got no piece is empty, not NULL.
    if (!atExec) col->ind[r] = DS_IND_NULL;
    return 0;
  }
  switch (cType) {
    case SQL_C_CHAR:
      if (road != RowsRoad::Driver && n > 0 && value[0] == '{') {
        ParseDateTimeLiteral(cell, value, n, col->width, col, 0);
        return 0;
      }
      std::memcpy(cell, value, std::min<uint64_t>(n, col->width - 1));
      return 0;
    case SQL_C_WCHAR: {
      char16_t first = 0;
      if (n >= 2) std::memcpy(&first, value, 2);
      if (road != RowsRoad::Driver && first == u'{') {
        // The literal is read from an aligned copy: the application's buffer
        // need not be aligned for UTF-16 units.
        auto* units = static_cast<char16_t*>(std::malloc(n + 2));
        if (units == nullptr) return ERR_MEMORY;
        std::memcpy(units, value, n);
        WParseDateTimeLiteral(cell, units, n / 2, col->width, col, 0);
        std::free(units);
        return 0;
      }
      std::memcpy(cell, value, std::min<uint64_t>(n, col->width - 2));
      return 0;
    }
    case SQL_C_BINARY: {
      DatasetLong v{static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX)), nullptr};
      if (v.length > 0) {
        v.data = std::malloc(v.length);
        if (v.data == nullptr) return ERR_MEMORY;
        std::memcpy(v.data, value, v.length);
      }
      std::memcpy(cell, &v, sizeof v);
      return 0;
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT num{};
      std::memcpy(&num, value, sizeof num);
      NumericToDouble(cell, &num, col->width, col);
      return 0;
    }
    case SQL_C_GUID: {
      SQLGUID g{};
      std::memcpy(&g, value, sizeof g);
      GuidToText(cell, &g);
      return 0;
    }
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      int64_t x = 0;
      std::memcpy(&x, value, sizeof x);
      const int w = static_cast<int>(col->width) - 1;
      if (cType == SQL_C_SBIGINT)
        std::snprintf(cell, col->width, "%-*lld", w, static_cast<long long>(x));
      else
        std::snprintf(cell, col->width, "%-*llu", w, static_cast<unsigned long long>(x));
      return 0;
    }
    default: std::memcpy(cell, value, col->width); return 0;
  }
}

// ---- Statuses -------------------------------------------------------------------

// The rows of the current rowset: those of the table fetched last, never more
// than the rowset size (the application's arrays were sized for it).
uint32_t rowset_rows(const Stmt* stmt) {
  const SCS& scs = stmt->st_cursor;
  if (scs.sc_rowStatus == nullptr) return 0;
  const int32_t n = std::min(scs.sc_rowsetSize, scs.sc_rowStatus->count);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

// The rows an ADD may take its values from: the rowset's, for which the
// application's arrays were sized, and never more than the rowset fetched last
// had (a larger size takes effect at the next fetch).
uint64_t add_rows(const Stmt* stmt) {
  const SCS& scs = stmt->st_cursor;
  int32_t n = std::max(scs.sc_rowsetSize, 1);
  if (scs.sc_rowStatus != nullptr) n = std::min(n, std::max(scs.sc_rowStatus->count, 1));
  return static_cast<uint64_t>(n);
}

// The back end's results of the addressed rows go to the rowset's statuses and
// to the application, row by row, stopping at whichever array ends first.
void write_statuses(Stmt* stmt, const uint16_t* statuses, int32_t given, bool rowOps) {
  if (statuses == nullptr) return;
  SCS& scs = stmt->st_cursor;
  uint32_t n = stmt->st_setPosCount;
  if (given >= 0) n = std::min<uint32_t>(n, static_cast<uint32_t>(given));
  for (uint32_t j = 0; j < n; ++j) {
    const uint64_t k = static_cast<uint64_t>(stmt->st_setPosFirst) + j;
    // The table ignores a row past its end; the application's array is
    // written only where it has entries.
    SCS_SetRowStatus(scs.sc_rowStatus, static_cast<int32_t>(k + 1), statuses[j]);
    if (rowOps && row_ignored(stmt, k)) continue;
    if (stmt->st_setPosApp != nullptr && k < stmt->st_setPosAppRows)
      stmt->st_setPosApp[k] = statuses[j];
  }
}

void free_rows(Stmt* stmt, Dataset** rows) {
  if (*rows == nullptr) return;
  DatasetFree(*rows);
  std::free(*rows);
  *rows = nullptr;
  (void)stmt;
}

// ---- The operations ----------------------------------------------------------

struct Request {
  uint64_t row;
  uint16_t op;
  bool driverRoad;
};

// The checks every operation passes, in this order; 0 or the code to answer.
int32_t check(Stmt* stmt, const Request& q) {
  SCS& scs = stmt->st_cursor;
  // A forward-only cursor can only name a row of its block, for GetData.
  if (scs.sc_cursorType == SCS_FORWARD_ONLY && q.op != SQL_POSITION) return ERR_CURSOR_POSITION;
  if (scs.sc_concurrency == SQL_CONCUR_READ_ONLY &&
      (q.op == SQL_UPDATE || q.op == SQL_DELETE || q.op == SQL_ADD))
    return ERR_ARGUMENT;
  if (stmt->state != STMT_STATE_PREPARED) return ERR_CURSOR_STATE;
  const uint32_t rows = rowset_rows(stmt);
  if (q.op != SQL_ADD) {
    if (scs.sc_position == SCS_POS_BEFORE_START || scs.sc_position == SCS_POS_AFTER_END ||
        scs.sc_rowStatus == nullptr)
      return ERR_CURSOR_STATE;
    if (q.row > rows) return ERR_ROW_VALUE;
  } else if (q.row > add_rows(stmt)) {
    return ERR_ROW_VALUE;
  }
  if (q.row > 0 && q.row <= rows) {
    const uint16_t st = SCS_GetRowStatus(scs.sc_rowStatus, static_cast<int32_t>(q.row));
    const bool gone = st == SQL_ROW_DELETED || st == SQL_ROW_ERROR;
    if (gone && (q.op == SQL_DELETE || q.op == SQL_UPDATE || q.op == SQL_REFRESH))
      return ERR_CURSOR_POSITION;
    if (q.op != SQL_ADD && st == SQL_ROW_NOROW) return ERR_CURSOR_POSITION;
  } else if (q.row == 0 && q.op != SQL_ADD) {
    // A refresh of the whole rowset reads every row again, the deleted ones
    // included (they stay deleted): one row another session deleted must not
    // keep a grid from refreshing the rest.
    uint16_t st = SQL_ROW_NOROW;
    for (uint32_t r = 1; r <= rows; ++r) {
      st = SCS_GetRowStatus(scs.sc_rowStatus, static_cast<int32_t>(r));
      if ((st == SQL_ROW_DELETED || st == SQL_ROW_ERROR) &&
          (q.op == SQL_DELETE || q.op == SQL_UPDATE))
        return ERR_CURSOR_POSITION;
    }
    if (st == SQL_ROW_NOROW) return ERR_CURSOR_POSITION;
  }
  if (q.op != SQL_ADD) {
    const int32_t pos = q.row == 0 ? SCS_POS_NO_ROW : static_cast<int32_t>(q.row);
    if (int32_t rc = SCS_SetPosition(&scs, pos); rc != 0) return rc;
  }
  scs.sc_setPosRow = static_cast<uint32_t>(q.row);
  scs.sc_setPosOp = q.op;
  return 0;
}

// The application rows an operation addresses.
void address(Stmt* stmt, const Request& q) {
  if (q.row > 0) {
    stmt->st_setPosFirst = static_cast<uint32_t>(q.row - 1);
    stmt->st_setPosCount = 1;
  } else {
    stmt->st_setPosFirst = 0;
    stmt->st_setPosCount = q.op == SQL_ADD
                               ? static_cast<uint32_t>(std::max(stmt->st_cursor.sc_rowsetSize, 1))
                               : rowset_rows(stmt);
  }
}

int32_t driver_row(const Request& q) {
  return q.row == 0 ? SCS_POS_NO_ROW : static_cast<int32_t>(q.row);
}

SQLRETURN position(Stmt* stmt, const Request& q) {
  const int32_t code = stmt->st_drv->ops->DRV_SetPos(stmt->st_hCursor, driver_row(q), SQL_POSITION,
                                                     0, nullptr, nullptr, nullptr, nullptr, 0);
  // GetData starts afresh on the row now current.
  GetDataStateFree(&stmt->st_getData);
  stmt->st_getData.gd_column = 0;
  stmt->st_getData.gd_row = 0;
  if (code != 0) {
    post_failure(stmt, code);
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

// A keyset-driven, mixed or dynamic cursor's rows are read again from the
// database; a static cursor answers from the rows it holds.
SQLRETURN refresh(Stmt* stmt, const Request& q) {
  SCS& scs = stmt->st_cursor;
  const bool keyed = scs.sc_cursorType == SCS_KEYSET && scs.sc_keysetSize == 0;
  // A keyset-driven rowset whose start is not known (after a bulk operation)
  // cannot be named again; its rows are given as they are held.
  if (scs.sc_cursorType != SCS_STATIC && !(keyed && scs.sc_rowsetStart <= 0)) {
    const bool dynMix = scs.sc_cursorType == SCS_DYNAMIC ||
                        (scs.sc_cursorType == SCS_KEYSET && scs.sc_keysetSize > 0);
    RowStatusTable* held = scs.sc_rowStatus;
    const int32_t position = scs.sc_position;
    scs.sc_rowStatus = nullptr;
    uint32_t rows = 0;
    const int32_t code =
        dynMix ? scs_p_DriverScroll(&scs, SQL_FETCH_RELATIVE, 0, &rows)
               : scs_p_DriverScroll(&scs, SQL_FETCH_ABSOLUTE, scs.sc_rowsetStart, &rows);
    RowStatusTable* fresh = scs.sc_rowStatus;
    scs.sc_rowStatus = held;
    scs.sc_position = position;
    if (code != 0) {
      RowStatusTableFree(&fresh);
      if (code == ERR_NO_DATA || code == ERR_BEFORE_START || code == ERR_AFTER_END) {
        // Every row of the rowset is gone from the result.
        for (uint32_t j = 0; j < stmt->st_setPosCount; ++j)
          SCS_SetRowStatus(held, static_cast<int32_t>(stmt->st_setPosFirst + j + 1),
                           SQL_ROW_DELETED);
      } else {
        stmt->errCode = code;
        return SQL_ERROR;
      }
    } else if (fresh != nullptr) {
      if (q.row == 0) {
        RowStatusTableFree(&scs.sc_rowStatus);
        scs.sc_rowStatus = fresh;
      } else {
        const uint32_t k = static_cast<uint32_t>(q.row - 1);
        const bool there = static_cast<int32_t>(k) < fresh->count && fresh->rows != nullptr &&
                           static_cast<int32_t>(k) < fresh->rows->rowCount;
        if (there && held->rows != nullptr && held->rows->colCount == fresh->rows->colCount) {
          if (int32_t rc = DatasetCopyRow(held->rows, fresh->rows, k, k, 1); rc != 0) {
            RowStatusTableFree(&fresh);
            return fail(stmt, rc);
          }
          SCS_SetRowStatus(held, static_cast<int32_t>(q.row), fresh->status[k]);
        } else {
          SCS_SetRowStatus(held, static_cast<int32_t>(q.row), SQL_ROW_DELETED);
        }
        RowStatusTableFree(&fresh);
      }
    }
  }
  return RowsetToBound(stmt, scs.sc_appRowStatus, static_cast<int32_t>(q.row), SQL_REFRESH);
}

// Sends an UPDATE, ADD or DELETE and writes its results back.
SQLRETURN send(Stmt* stmt, const Request& q, Dataset* rows, uint16_t* cols, uint16_t colCount) {
  const DriverOps* ops = stmt->st_drv->ops;
  const bool callerOwns = (stmt->st_drv->caps & DRV_CAP_FREEPARAMS) != 0;
  if (int32_t rc = NarrowForBackEnd(stmt, rows); rc != 0) {
    free_rows(stmt, &rows);
    std::free(cols);
    return fail(stmt, rc);
  }
  uint16_t* statuses = nullptr;
  int32_t given = -1;
  const int32_t code = ops->DRV_SetPos(stmt->st_hCursor, driver_row(q), q.op, 0, &statuses, &given,
                                       rows, cols, colCount);
  if (callerOwns) {
    free_rows(stmt, &rows);
    std::free(cols);
  }
  SQLRETURN rc = SQL_SUCCESS;
  if (code != 0) {
    post_failure(stmt, code);
    if (code == ERR_MANY_ROWS_CHANGED || code == ERR_WARNING) {
      rc = SQL_SUCCESS_WITH_INFO;
    } else if (code == ERR_NO_ROWS_CHANGED) {
      // The rows that another user changed or deleted are named by their
      // statuses, for a DELETE as for an UPDATE.
      rc = SQL_ERROR;
    } else {
      std::free(statuses);
      return SQL_ERROR;
    }
  }
  write_statuses(stmt, statuses, given, true);
  std::free(statuses);
  return rc;
}

// The operation Dataset of a DELETE: one indicator per addressed row.
int32_t SetPosOpDataset(Stmt* stmt, Dataset** out) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (ds == nullptr) return ERR_MEMORY;
  const uint32_t n = stmt->st_setPosCount;
  int32_t rc = DatasetInit(ds, 1);
  if (rc == 0) {
    ds->cols[0].type = DS_BIT;
    ds->cols[0].width = 1;
    ds->colCount = 1;
    rc = DatasetSetRows(ds, static_cast<int32_t>(std::max<uint32_t>(n, 1)));
  }
  if (rc != 0) {
    DatasetFree(ds);
    std::free(ds);
    return rc;
  }
  ds->rowCount = static_cast<int32_t>(n);
  for (uint32_t j = 0; j < n; ++j)
    ds->cols[0].ind[j] = row_ignored(stmt, stmt->st_setPosFirst + j) ? DS_IND_IGNORE : DS_IND_NULL;
  *out = ds;
  return 0;
}

SQLRETURN erase(Stmt* stmt, const Request& q) {
  Dataset* rows = nullptr;
  if (int32_t rc = SetPosOpDataset(stmt, &rows); rc != 0) return fail(stmt, rc);
  return send(stmt, q, rows, nullptr, 0);
}

bool has_bound_columns(const Stmt* stmt) {
  for (const ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next)
    if (n->cb.cb_column != 0) return true;
  return false;
}

// The addressed rows' bound values with the list of their columns.
int32_t rows_from_bound(Stmt* stmt, RowsRoad road, uint16_t** cols, uint16_t* count,
                        Dataset** rows) {
  int32_t code =
      SetPosColumnList(stmt, stmt->st_setPosFirst, stmt->st_setPosCount, true, cols, count);
  if (code == 0)
    code = SetPosRowsFromBound(stmt, road, stmt->st_setPosFirst, stmt->st_setPosCount, *cols,
                               *count, rows);
  return code;
}

// UPDATE and ADD on the local road, from the first call or resumed once every
// value sent at execution has arrived.
SQLRETURN write_local(Stmt* stmt, const Request& q, bool resumed) {
  if (!resumed) {
    if (!has_bound_columns(stmt)) return fail(stmt, ERR_DEGREE);
    uint16_t* list = nullptr;
    uint16_t count = 0;
    if (int32_t rc =
            SetPosColumnList(stmt, stmt->st_setPosFirst, stmt->st_setPosCount, true, &list, &count);
        rc != 0)
      return fail(stmt, rc);
    const SQLRETURN rc =
        SetPosDAEStart(stmt, stmt->st_setPosFirst, stmt->st_setPosCount, list, count, DAE_SETPOS);
    std::free(list);
    if (rc != SQL_SUCCESS) return rc;
  }
  uint16_t* cols = nullptr;
  uint16_t count = 0;
  Dataset* rows = nullptr;
  int32_t code = rows_from_bound(stmt, RowsRoad::Local, &cols, &count, &rows);
  // The collected pieces are copied into the rows: they go now.
  stmt->st_daeState = DAE_NONE;
  for (ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next)
    DAEBuffersFree(&n->cb.cb_daeBuffers, n->cb.cb_daeRows, &n->cb.cb_daeLengths);
  if (code != 0) {
    std::free(cols);
    return fail(stmt, code);
  }
  return send(stmt, q, rows, cols, count);
}

// UPDATE and ADD on the driver road: the rows go at once, and the back end asks
// for the values sent at execution itself.
SQLRETURN write_driver(Stmt* stmt, const Request& q) {
  if (!has_bound_columns(stmt)) return fail(stmt, ERR_DEGREE);
  SetPosFreeTemps(stmt);
  uint16_t* cols = nullptr;
  uint16_t count = 0;
  Dataset* rows = nullptr;
  int32_t code = rows_from_bound(stmt, RowsRoad::Driver, &cols, &count, &rows);
  if (code == 0) code = NarrowForBackEnd(stmt, rows);
  // The core keeps its own copy of the column map: the values the back end
  // asks for are named by their place in it, whoever owns the list sent.
  uint16_t* sent = nullptr;
  if (code == 0 && count > 0) {
    sent = static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t)));
    if (sent == nullptr)
      code = ERR_MEMORY;
    else
      std::memcpy(sent, cols, count * sizeof(uint16_t));
  }
  if (code != 0) {
    free_rows(stmt, &rows);
    std::free(cols);
    return fail(stmt, code);
  }
  stmt->st_setPosCols = cols;
  stmt->st_setPosColCount = count;
  stmt->st_setPosStatusCount = -1;
  const bool callerOwns = (stmt->st_drv->caps & DRV_CAP_FREEPARAMS) != 0;
  code = stmt->st_drv->ops->DRV_SetPos(stmt->st_hCursor, driver_row(q), q.op, 0,
                                       &stmt->st_setPosStatus, &stmt->st_setPosStatusCount, rows,
                                       sent, count);
  if (callerOwns) {
    stmt->st_setPosRows = rows;
    std::free(sent);
  }
  stmt->errCode = code;
  if (code == ERR_NEED_DAE) {
    stmt->st_daeState = DAE_SETPOS;
    stmt->st_daeOnDriver = 1;
    stmt->st_daePieces = 0;
    stmt->st_daeCarryLen = 0;
    return SQL_NEED_DATA;
  }
  return SetPosFinish(stmt);
}

SQLRETURN run(Stmt* stmt, const Request& q, SetPosTarget target) {
  Conn* conn = stmt->st_dbc;
  if (conn->cn_hasScrlCurs == 0) return fail(stmt, ERR_NOT_SUPPORTED);
  if (stmt->st_drv->ops->DRV_SetPos == nullptr) return fail(stmt, ERR_NOT_CAPABLE);
  if (stmt->st_daeState != DAE_NONE) return fail(stmt, ERR_SEQUENCE);
  if (q.op > SQL_ADD) return fail(stmt, ERR_NOT_CAPABLE);
  if (int32_t rc = check(stmt, q); rc != 0) return fail(stmt, rc);
  address(stmt, q);
  stmt->st_setPosApp = target.status;
  stmt->st_setPosAppRows = target.rows;
  switch (q.op) {
    case SQL_POSITION: return position(stmt, q);
    case SQL_REFRESH: return refresh(stmt, q);
    case SQL_DELETE: return erase(stmt, q);
    default: return q.driverRoad ? write_driver(stmt, q) : write_local(stmt, q, false);
  }
}

}  // namespace

// ---- Bound values --------------------------------------------------------------

bool LengthAtExec(int64_t length) {
  return length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

int16_t BoundCType(Stmt* stmt, const ColBinding& cb) {
  int32_t t = cb.cb_cType;
  if (t == SQL_ARD_TYPE && stmt->st_ard != nullptr) {
    const DescRec* rec = DescGetRec(stmt->st_ard, static_cast<int16_t>(cb.cb_column));
    t = rec != nullptr ? rec->dr_conciseType : SQL_C_DEFAULT;
  }
  if (t == SQL_C_DEFAULT || t == SQL_ARD_TYPE) {
    const ColumnInfo* info = cb.cb_column > 0 && cb.cb_column <= stmt->st_numCols
                                 ? &stmt->st_colInfo[cb.cb_column - 1]
                                 : nullptr;
    t = info != nullptr ? ColumnDefaultCType(stmt, info->sqlType) : SQL_C_CHAR;
  }
  return static_cast<int16_t>(t);
}

int64_t BoundLength(const Stmt* stmt, const ColBinding& cb, uint64_t k, bool* has) {
  const int64_t* len = length_at(stmt, cb.cb_octetLengthPtr, k);
  if (len == nullptr) len = length_at(stmt, cb.cb_indicatorPtr, k);
  *has = len != nullptr;
  return len != nullptr ? *len : 0;
}

int64_t* BoundLengthAt(const Stmt* stmt, int64_t* base, uint64_t k) {
  return const_cast<int64_t*>(length_at(stmt, base, k));
}

char* BoundValue(Stmt* stmt, const ColBinding& cb, uint64_t k) {
  if (cb.cb_data == nullptr) return nullptr;
  return static_cast<char*>(cb.cb_data) + bind_offset(stmt) +
         static_cast<int64_t>(k) * value_stride(stmt, cb);
}

ColBinding* BindingOfColumn(Stmt* stmt, uint16_t column, int16_t* position) {
  int16_t i = 0;
  for (ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next, ++i) {
    if (n->cb.cb_column != column) continue;
    if (position != nullptr) *position = i;
    return &n->cb;
  }
  return nullptr;
}

int32_t SetPosColumnList(Stmt* stmt, uint32_t first, uint32_t n, bool rowOps, uint16_t** list,
                         uint16_t* count) {
  *list = nullptr;
  *count = 0;
  uint32_t bound = 0;
  for (ColBindingNode* b = stmt->st_boundCols; b != nullptr; b = b->next) ++bound;
  if (bound == 0) return 0;
  auto* out = static_cast<uint16_t*>(std::malloc(bound * sizeof(uint16_t)));
  if (out == nullptr) return ERR_MEMORY;
  uint16_t m = 0;
  for (ColBindingNode* b = stmt->st_boundCols; b != nullptr; b = b->next) {
    const ColBinding& cb = b->cb;
    if (cb.cb_column == 0) continue;
    const ColumnInfo* info = StmtColumnInfo(stmt, cb.cb_column);
    if (info == nullptr) {
      std::free(out);
      return ERR_GENERAL;
    }
    // Bits 4-7 hold the updatability + 1: 1 is a read-only column.
    if (((info->flags >> 4) & 0xF) == SQL_ATTR_READONLY + 1) continue;
    bool wanted = false;
    for (uint32_t j = 0; j < n && !wanted; ++j) {
      const uint64_t k = static_cast<uint64_t>(first) + j;
      if (rowOps && row_ignored(stmt, k)) continue;
      wanted = !column_ignored(stmt, cb, k);
    }
    if (wanted) out[m++] = cb.cb_column;
  }
  if (m == 0) {
    std::free(out);
    return 0;
  }
  *list = out;
  *count = m;
  return 0;
}

int32_t SetPosRowsFromBound(Stmt* stmt, RowsRoad road, uint32_t first, uint32_t n,
                            const uint16_t* list, uint16_t count, Dataset** out) {
  *out = nullptr;
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (ds == nullptr) return ERR_MEMORY;
  int32_t rc = DatasetInit(ds, count);
  const size_t slots = count > 0 ? count : 1;
  auto** bindings = static_cast<ColBinding**>(std::malloc(slots * sizeof(ColBinding*)));
  auto* cTypes = static_cast<int16_t*>(std::malloc(slots * sizeof(int16_t)));
  if (bindings == nullptr || cTypes == nullptr) rc = ERR_MEMORY;
  for (uint16_t c = 0; rc == 0 && c < count; ++c) {
    ColBinding* cb = BindingOfColumn(stmt, list[c], nullptr);
    if (cb == nullptr) {
      rc = ERR_GENERAL;
      break;
    }
    bindings[c] = cb;
    cTypes[c] = BoundCType(stmt, *cb);
    uint64_t longest = 0;
    if (is_variable(cTypes[c]))
      for (uint32_t j = 0; j < n; ++j)
        longest = std::max(longest, value_length(stmt, *cb, static_cast<uint64_t>(first) + j,
                                                 cTypes[c], road != RowsRoad::Driver));
    rc = column_shape(cTypes[c], longest, road, &ds->cols[c].type, &ds->cols[c].width);
  }
  if (rc == 0) {
    ds->colCount = count;
    rc = DatasetSetRows(ds, static_cast<int32_t>(std::max<uint32_t>(n, 1)));
  }
  if (rc == 0) ds->rowCount = static_cast<int32_t>(n);
  for (uint16_t c = 0; rc == 0 && c < count; ++c)
    for (uint32_t j = 0; rc == 0 && j < n; ++j)
      rc = fill_cell(stmt, *bindings[c], cTypes[c], static_cast<uint64_t>(first) + j, road,
                     &ds->cols[c], j);
  std::free(bindings);
  std::free(cTypes);
  if (rc != 0) {
    DatasetFree(ds);
    std::free(ds);
    return rc;
  }
  *out = ds;
  return 0;
}

// ---- Values sent at execution ---------------------------------------------------

SQLRETURN SetPosDAEStart(Stmt* stmt, uint32_t first, uint32_t n, const uint16_t* list,
                         uint16_t count, int16_t state) {
  if (stmt->st_daeState != DAE_NONE) return fail(stmt, ERR_SEQUENCE);
  const uint64_t rows = static_cast<uint64_t>(first) + n;
  if (int32_t rc = StmtAllocColDAE(stmt, rows); rc != 0) return fail(stmt, rc);
  std::free(stmt->st_daeColList);
  stmt->st_daeColList = nullptr;
  stmt->st_daeColCount = 0;
  if (count > 0) {
    stmt->st_daeColList = static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t)));
    if (stmt->st_daeColList == nullptr) return fail(stmt, ERR_MEMORY);
    std::memcpy(stmt->st_daeColList, list, count * sizeof(uint16_t));
    stmt->st_daeColCount = count;
  }
  stmt->st_daeScanCol = 0;
  stmt->st_daeScanRow = first;
  stmt->st_daeColEnd = static_cast<uint32_t>(rows);
  stmt->st_daeRow = 0;
  stmt->st_daeOnDriver = 0;
  stmt->st_daeState = state;
  if (DAEScanColumns(stmt) == 0) {
    stmt->st_daeState = DAE_NONE;
    return SQL_SUCCESS;
  }
  return SQL_NEED_DATA;
}

int DAEScanColumns(Stmt* stmt) {
  const bool rowOps = stmt->st_daeState == DAE_SETPOS;
  for (; stmt->st_daeScanRow < stmt->st_daeColEnd; ++stmt->st_daeScanRow, stmt->st_daeScanCol = 0) {
    const uint64_t k = stmt->st_daeScanRow;
    if (rowOps && row_ignored(stmt, k)) continue;
    int16_t i = 0;
    for (ColBindingNode* b = stmt->st_boundCols; b != nullptr; b = b->next, ++i) {
      if (i < stmt->st_daeScanCol) continue;
      const ColBinding& cb = b->cb;
      const uint16_t* list = stmt->st_daeColList;
      const uint16_t* end = list + stmt->st_daeColCount;
      if (list == nullptr || std::find(list, end, cb.cb_column) == end) continue;
      bool has = false;
      const int64_t len = BoundLength(stmt, cb, k, &has);
      if (has && LengthAtExec(len) && !is_null(stmt, cb, k)) {
        stmt->st_daeScanCol = i;
        return 1;
      }
    }
  }
  stmt->st_daeScanCol = 0;
  stmt->st_daeScanRow = 0;
  return 0;
}

// ---- Workers ----------------------------------------------------------------------

SQLRETURN StmtSetPos(Stmt* stmt, uint64_t row, uint16_t operation, uint16_t lock,
                     SetPosTarget target) {
  if (lock != SQL_LOCK_NO_CHANGE) return fail(stmt, ERR_NOT_CAPABLE);
  const Request q{row, operation, stmt->st_dbc->cn_hasV2DAE != 0};
  return run(stmt, q, target);
}

SQLRETURN SetPosResume(Stmt* stmt) {
  const SCS& scs = stmt->st_cursor;
  const Request q{scs.sc_setPosRow, scs.sc_setPosOp, false};
  return write_local(stmt, q, true);
}

SQLRETURN SetPosFinish(Stmt* stmt) {
  const int32_t code = stmt->errCode;
  stmt->st_daeState = DAE_NONE;
  SQLRETURN rc = SQL_SUCCESS;
  if (code != 0) {
    post_failure(stmt, code);
    if (code == ERR_MANY_ROWS_CHANGED || code == ERR_WARNING) {
      rc = SQL_SUCCESS_WITH_INFO;
    } else if (code != ERR_NO_ROWS_CHANGED) {
      SetPosFreeTemps(stmt);
      return SQL_ERROR;
    } else {
      rc = SQL_ERROR;
    }
  }
  write_statuses(stmt, stmt->st_setPosStatus, stmt->st_setPosStatusCount, true);
  SetPosFreeTemps(stmt);
  return rc;
}

void SetPosFreeTemps(Stmt* stmt) {
  std::free(stmt->st_setPosStatus);
  stmt->st_setPosStatus = nullptr;
  stmt->st_setPosStatusCount = -1;
  free_rows(stmt, &stmt->st_setPosRows);
  std::free(stmt->st_setPosCols);
  stmt->st_setPosCols = nullptr;
  stmt->st_setPosColCount = 0;
  std::free(stmt->st_daeColList);
  stmt->st_daeColList = nullptr;
  stmt->st_daeColCount = 0;
  std::free(stmt->st_bulkBookmarks);
  stmt->st_bulkBookmarks = nullptr;
}

SQLRETURN SetPosImpl(Stmt* stmt, const CallSlot* args) {
  SCS& scs = stmt->st_cursor;
  return StmtSetPos(stmt, SlotAs<uint64_t>(args[0]), SlotU16(args[1]), SlotU16(args[2]),
                    SetPosTarget{scs.sc_appRowStatus, rowset_rows(stmt)});
}
