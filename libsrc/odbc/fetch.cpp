// fetch.cpp -- SQLFetch, SQLFetchScroll, SQLExtendedFetch and SQLGetData.
// The block Dataset of a forward-only result keeps its columns from block to
// block; only the rows are reset. A bound buffer's address for a row is its
// base, the bind offset and the row's stride, computed as the row is delivered
// so that a fetch costs no walk over the descriptor's records and allocates
// nothing per row.
// A conversion failure in one row of a rowset marks that row and the rowset
// goes on; the answer is an error only when every row failed.
// Threading: under the statement's connection call lock.

#include "odbc/fetch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "odbc/binding.h"
#include "odbc/cellcopy.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/desc.h"
#include "odbc/envr.h"
#include "odbc/getcol.h"
#include "odbc/scroll.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

bool forward_only(const Stmt* stmt) { return stmt->st_cursor.sc_cursorType == SCS_FORWARD_ONLY; }

// The ARD's bind offset, read once per fetch.
int64_t bind_offset(const Stmt* stmt) {
  const Desc* ard = stmt->st_ard;
  if (ard == nullptr || ard->de_bindOffsetPtr == nullptr) return 0;
  int64_t offset = 0;
  std::memcpy(&offset, ard->de_bindOffsetPtr, sizeof offset);
  return offset;
}

template <typename T>
T* advance(T* p, int64_t bytes) {
  return p == nullptr ? nullptr : reinterpret_cast<T*>(reinterpret_cast<char*>(p) + bytes);
}

// The binding's buffers for one row: dataStride and lengthStride bytes per row
// after the bind offset.
ColBinding row_binding(const ColBinding& cb, int64_t offset, int64_t k, int64_t dataStride,
                       int64_t lengthStride) {
  ColBinding copy = cb;
  copy.cb_data = advance(cb.cb_data, offset + k * dataStride);
  copy.cb_octetLengthPtr = advance(cb.cb_octetLengthPtr, offset + k * lengthStride);
  copy.cb_indicatorPtr = advance(cb.cb_indicatorPtr, offset + k * lengthStride);
  return copy;
}

// The element size of a column-wise bound array: a fixed-size C type's own
// size, whatever length it was bound with; the buffer length otherwise.
int64_t element_size(Stmt* stmt, const ColBinding& cb) {
  int32_t cType = cb.cb_cType;
  if (cType == SQL_C_DEFAULT && cb.cb_column > 0 && cb.cb_column <= stmt->st_numCols)
    cType = ColumnDefaultCType(stmt, stmt->st_colInfo[cb.cb_column - 1].sqlType);
  const int16_t size = CTypeSize(static_cast<int16_t>(cType));
  return size > 0 ? size : cb.cb_bufferLength;
}

// The column a bound column's cells are copied from, or null when every cell of it
// takes the general road: what GetColumn would find for every cell of the column.
const DatasetColumn* copied_column(const Stmt* stmt, const ColBinding& cb, const Dataset* data) {
  if (stmt->st_colInfo == nullptr) return nullptr;
  const uint16_t c = cb.cb_column;
  if (c == 0 || c > data->colCount || c > stmt->st_numCols) return nullptr;
  const DatasetColumn& col = data->cols[c - 1];
  if (col.data == nullptr || col.ind == nullptr) return nullptr;
  return &col;
}

// The trace shows each conversion; an output-parameter read describes its cells otherwise.
bool copies_allowed(const Stmt* stmt) {
  return TraceLevel.load(std::memory_order_relaxed) == 0 && stmt->errCode != ERR_OUTPUT_PARAMS;
}

// The copy a bound column's cells take in this fetch, or null for the general road.
CellCopy bound_copy(const Stmt* stmt, const ColBinding& cb, const Dataset* data) {
  if (!copies_allowed(stmt)) return nullptr;
  const DatasetColumn* col = copied_column(stmt, cb, data);
  return col != nullptr ? ChooseCellCopy(col->type, cb.cb_cType) : nullptr;
}

// The piece state after a copied cell, as GetColumn leaves it after a whole value.
void name_copied_cell(Stmt* stmt, uint32_t row, uint16_t column, const Dataset* data) {
  GetDataState& gd = stmt->st_getData;
  gd.gd_column = column;
  gd.gd_row = row + 1;
  if (gd.gd_owned != 0) GetDataStateFree(&gd);
  gd.gd_left = 0;
  gd.gd_tailLen = 0;
  gd.gd_type = static_cast<uint32_t>(data->cols[column - 1].type);
}

// One bound cell, by its copy when the copy takes it and by GetColumn otherwise; the
// piece state names the cell afterwards either way, as GetColumn leaves it.
SQLRETURN deliver_cell(Stmt* stmt, uint32_t row, ColBinding* b, CellCopy copy, Dataset* data) {
  if (copy != nullptr && b->cb_data != nullptr && row < static_cast<uint32_t>(data->rowCount)) {
    const DatasetColumn& col = data->cols[b->cb_column - 1];
    if (copy(col, row, b->cb_data, b->cb_bufferLength, b->cb_octetLengthPtr)) {
      if (b->cb_indicatorPtr != nullptr && b->cb_indicatorPtr != b->cb_octetLengthPtr)
        *b->cb_indicatorPtr = 0;
      name_copied_cell(stmt, row, b->cb_column, data);
      return SQL_SUCCESS;
    }
  }
  return GetColumn(stmt, row, b, data);
}

// Makes sure a row of the block waits. SQL_SUCCESS with a row, SQL_NO_DATA at
// the end, SQL_ERROR with the back end's messages on the statement.
SQLRETURN next_block_row(Stmt* stmt) {
  if (stmt->st_blockRow < stmt->st_block.rowCount) return SQL_SUCCESS;
  if (StmtFetchBlock(stmt) != SQL_SUCCESS) {
    (void)StmtPostDriverErrors(stmt);
    return SQL_ERROR;
  }
  return stmt->st_block.rowCount > 0 ? SQL_SUCCESS : SQL_NO_DATA;
}

// Merges one conversion's answer into a row's.
void merge(SQLRETURN r, SQLRETURN* result) {
  if (r == SQL_ERROR)
    *result = SQL_ERROR;
  else if (r != SQL_SUCCESS && *result == SQL_SUCCESS)
    *result = SQL_SUCCESS_WITH_INFO;
}

// The bound columns' copies for the block's rows, chosen again only when the
// bindings or the block's layout moved st_bindGen; null when the plan has no storage.
const BoundRowPlan* row_plan(Stmt* stmt) {
  BoundRowPlan& p = stmt->st_rowPlan;
  if (p.made != 0 && p.gen == stmt->st_bindGen) return &p;
  uint32_t n = 0;
  for (const ColBindingNode* b = stmt->st_boundCols; b != nullptr; b = b->next) ++n;
  if (n > p.capacity) {
    auto* cells = static_cast<BoundRowCell*>(std::realloc(p.cells, n * sizeof(BoundRowCell)));
    if (cells == nullptr) return nullptr;
    p.cells = cells;
    p.capacity = n;
  }
  uint32_t i = 0;
  for (const ColBindingNode* b = stmt->st_boundCols; b != nullptr; b = b->next, ++i) {
    const ColBinding& cb = b->cb;
    const DatasetColumn* col = copied_column(stmt, cb, &stmt->st_block);
    CellCopy copy = col != nullptr ? ChooseCellCopy(col->type, cb.cb_cType) : nullptr;
    if (cb.cb_data == nullptr) copy = nullptr;
    int64_t* ind = cb.cb_indicatorPtr != cb.cb_octetLengthPtr ? cb.cb_indicatorPtr : nullptr;
    p.cells[i] = BoundRowCell{b,         copy,  copy != nullptr ? col : nullptr,
                              cb.cb_data, cb.cb_bufferLength, cb.cb_octetLengthPtr,
                              ind,        cb.cb_column};
  }
  p.count = n;
  p.gen = stmt->st_bindGen;
  p.made = 1;
  return &p;
}

// The bound columns of the block's current row. An ODBC 3 fetch (odbc3) leaves the
// bookmark column, and every column when data is not retrieved, alone. A length buffer
// is only written: SQL_COLUMN_IGNORE in it speaks to SetPos and bulk operations, never
// to a fetch, which would leave the previous row's value behind.
SQLRETURN deliver_block_row(Stmt* stmt, bool odbc3) {
  const BoundRowPlan* plan = row_plan(stmt);
  if (plan == nullptr) return fail(stmt, ERR_MEMORY);
  if (odbc3 && stmt->st_cursor.sc_retrieveData == 0) return SQL_SUCCESS;
  const int64_t offset = bind_offset(stmt);
  const uint32_t row = stmt->st_blockRow;
  Dataset* data = &stmt->st_block;
  const bool inBlock = row < static_cast<uint32_t>(data->rowCount);
  SQLRETURN result = SQL_SUCCESS;
  // The cell delivered last, when its copy delivered it: the piece state names it.
  const BoundRowCell* named = nullptr;
  bool copying = inBlock && copies_allowed(stmt);
  const BoundRowCell* const end = plan->cells + plan->count;
  for (const BoundRowCell* cell = plan->cells; cell != end; ++cell) {
    if (odbc3 && cell->column == 0) continue;
    int64_t* len = advance(cell->len, offset);
    if (copying && cell->copy != nullptr &&
        cell->copy(*cell->col, row, advance(cell->data, offset), cell->bufLen, len)) {
      if (cell->ind != nullptr) *advance(cell->ind, offset) = 0;
      named = cell;
      continue;
    }
    named = nullptr;
    ColBinding general = row_binding(cell->node->cb, offset, 0, 0, 0);
    const SQLRETURN r = GetColumn(stmt, row, &general, data);
    merge(r, &result);
    if (r == SQL_ERROR) break;
    // The cell may have been an output parameter's, whose mark GetColumn clears.
    copying = inBlock && copies_allowed(stmt);
  }
  if (named != nullptr) name_copied_cell(stmt, row, named->column, data);
  return result;
}

// What a rowset's delivery works out once about the bindings: each one's element
// stride and copy (a column not described yet leaves them to each cell).
struct RowsetPlan {
  static constexpr int kKept = 64;
  int64_t strides[kKept];
  CellCopy copies[kKept];
  RunCopy runs[kKept];
  ColBindingNode* nodes[kKept];
  int kept = 0;
  bool allCopies = false;  // every binding is kept and has a copy
  bool rowWise = false;
  bool retrieve = false;
  int64_t lengthStride = 0;
  int64_t offset = 0;
  Dataset* rows = nullptr;
};

void plan_rowset(Stmt* stmt, Dataset* rows, RowsetPlan* p) {
  p->rowWise = stmt->st_bindType != SQL_BIND_BY_COLUMN;
  p->lengthStride = p->rowWise ? stmt->st_bindType : static_cast<int64_t>(sizeof(SQLLEN));
  p->offset = bind_offset(stmt);
  p->retrieve = stmt->st_cursor.sc_retrieveData != 0;
  p->rows = rows;
  if (stmt->st_colInfo == nullptr) return;
  bool all = p->retrieve;
  const bool allowed = copies_allowed(stmt);
  ColBindingNode* n = stmt->st_boundCols;
  for (; n != nullptr && p->kept < RowsetPlan::kKept; n = n->next) {
    p->nodes[p->kept] = n;
    const DatasetColumn* col = allowed ? copied_column(stmt, n->cb, rows) : nullptr;
    p->copies[p->kept] = col != nullptr ? ChooseCellCopy(col->type, n->cb.cb_cType) : nullptr;
    p->runs[p->kept] = col != nullptr ? ChooseRunCopy(col->type, n->cb.cb_cType) : nullptr;
    all = all && p->runs[p->kept] != nullptr;
    p->strides[p->kept++] = p->rowWise ? stmt->st_bindType : element_size(stmt, n->cb);
  }
  p->allCopies = all && n == nullptr && p->kept > 0;
}

// Row k's bound cells from binding `from` (the b-th of the list) on; answers the row's
// result. A failing cell ends the row.
SQLRETURN deliver_row(Stmt* stmt, int32_t k, uint16_t st, const RowsetPlan& p,
                      ColBindingNode* from, int b) {
  SQLRETURN rowResult = SQL_SUCCESS;
  for (ColBindingNode* n = from; n != nullptr; n = n->next, ++b) {
    const ColBinding& cb = n->cb;
    if (cb.cb_column != 0 && (st == SQL_ROW_DELETED || !p.retrieve)) continue;
    const int64_t dataStride =
        b < p.kept ? p.strides[b] : (p.rowWise ? stmt->st_bindType : element_size(stmt, cb));
    ColBinding copy = row_binding(cb, p.offset, k, dataStride, p.lengthStride);
    const SQLRETURN r = deliver_cell(stmt, static_cast<uint32_t>(k), &copy,
                                     b < p.kept ? p.copies[b] : nullptr, p.rows);
    merge(r, &rowResult);
    if (r == SQL_ERROR) break;
  }
  return rowResult;
}

// Rows of a rowset delivered column by column at a time: a run's statuses and flags
// stay on the stack.
constexpr int32_t kRunRows = 128;

// The cells of rows [run, runEnd) that their copies take, column by column. Each row's
// status goes to status[]; from[] tells the row-order pass what is left of each row: -1
// nothing, -2 a row that delivers no cells (no row, a failed or deleted one), b >= 0 the
// cells from binding b on, the first whose copy declined. *lastCopied becomes the last
// binding copied in the rowset's last row. The piece state is left to the row pass.
// true when every row of the run was copied whole (nothing is left to the row pass).
bool copy_run(Stmt* stmt, const RowStatusTable* table, const RowsetPlan& p, int32_t run,
              int32_t runEnd, int32_t last, uint16_t* status, int16_t* from, int* lastCopied) {
  // The run lies inside the table (last <= count); a table without statuses has
  // only failed rows, as SCS_GetRowStatus answers.
  const uint16_t* statuses = table->status;
  for (int32_t k = run; k < runEnd; ++k) {
    const uint16_t st = statuses != nullptr ? statuses[k] : SQL_ROW_ERROR;
    status[k - run] = st;
    from[k - run] = st == SQL_ROW_NOROW || st == SQL_ROW_ERROR || st == SQL_ROW_DELETED ? -2 : -1;
  }
  const uint32_t rowCount = p.rows->rowCount > 0 ? static_cast<uint32_t>(p.rows->rowCount) : 0;
  const auto end = static_cast<uint32_t>(runEnd);
  // Rows past the Dataset's end are the general road's.
  const uint32_t stop = std::min(end, std::max(rowCount, static_cast<uint32_t>(run)));
  bool clean = true;  // no row of the run is the row pass's yet
  for (uint32_t k = static_cast<uint32_t>(run); k < end && clean; ++k) clean = from[k - run] == -1;
  bool copied = false;
  for (int b = 0; b < p.kept; ++b) {
    const ColBinding& cb = p.nodes[b]->cb;
    const DatasetColumn& col = p.rows->cols[cb.cb_column - 1];
    // The run's buffers as row_binding places them, without a copy of the binding per cell.
    const ColBinding first = row_binding(cb, p.offset, run, p.strides[b], p.lengthStride);
    CellRun at{static_cast<char*>(first.cb_data), p.strides[b], cb.cb_bufferLength,
               reinterpret_cast<char*>(first.cb_octetLengthPtr), 0,
               reinterpret_cast<char*>(first.cb_indicatorPtr), 0};
    at.lenStep = at.len != nullptr ? p.lengthStride : 0;
    at.indStep = at.ind != nullptr ? p.lengthStride : 0;
    // Element k of the run: the rows from k on.
    const auto from_row = [&](uint32_t k) {
      const int64_t i = static_cast<int64_t>(k) - run;
      CellRun r = at;
      r.data += i * r.dataStep;
      if (r.len != nullptr) r.len += i * r.lenStep;
      if (r.ind != nullptr) r.ind += i * r.indStep;
      return r;
    };
    uint32_t k = static_cast<uint32_t>(run);
    if (at.data != nullptr) {
      while (k < stop) {
        if (from[k - run] != -1) {
          ++k;
          continue;
        }
        uint32_t segment = k + 1;
        if (clean)
          segment = stop;
        else
          while (segment < stop && from[segment - run] == -1) ++segment;
        const uint32_t took = p.runs[b](col, k, segment, from_row(k));
        copied = copied || took > 0;
        k += took;
        if (k < segment) {
          from[k - run] = static_cast<int16_t>(b);
          clean = false;
          ++k;
        }
      }
    }
    // What no copy took: past the Dataset's end, or a column bound without a buffer.
    for (; k < end; ++k) {
      if (from[k - run] != -1) continue;
      from[k - run] = static_cast<int16_t>(b);
      clean = false;
    }
    // The rowset's last row: its cell was copied when no copy declined it.
    if (last - 1 >= run && last - 1 < runEnd && from[last - 1 - run] == -1) *lastCopied = b;
  }
  // As the first copied cell of the row-order road would.
  if (copied && stmt->st_getData.gd_owned != 0) GetDataStateFree(&stmt->st_getData);
  return clean;
}

}  // namespace

SQLRETURN StmtFetchBlock(Stmt* stmt) {
  if (StmtDescribeCols(stmt) == nullptr) {
    // A statement without result columns has no cursor to fetch from.
    if (stmt->errCode == 0) stmt->errCode = ERR_CURSOR_STATE;
    return SQL_ERROR;
  }
  GetDataStateFree(&stmt->st_getData);
  DatasetResetRows(&stmt->st_block);
  stmt->st_blockRow = 0;
  // Even a row wider than a block travels: a block of none would read as the end.
  const uint16_t rows = stmt->st_rowsPerBlock > 0 ? stmt->st_rowsPerBlock : 1;
  stmt->errCode = stmt->st_drv->ops->DRV_Fetch(stmt->st_hCursor, rows, &stmt->st_block);
  // The block may come back laid out anew: its copies are chosen again.
  StmtBindingsChanged(stmt);
  return stmt->errCode == 0 ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN FetchForwardBound(Stmt* stmt) {
  if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_SEQUENCE);
  if (SQLRETURN rc = next_block_row(stmt); rc != SQL_SUCCESS) return rc;
  stmt->st_getData.gd_column = 0;
  stmt->st_getData.gd_row = 0;
  ++stmt->st_rowNumber;
  const SQLRETURN result = deliver_block_row(stmt, false);
  ++stmt->st_blockRow;
  return result;
}

SQLRETURN FetchSingleRow(Stmt* stmt) {
  // Rowsets fetched before the rowset size went down to 1 leave their table, whose rows
  // are no longer current: SQLGetData and SetPos read the block's row from here on.
  if (stmt->st_cursor.sc_rowStatus != nullptr) SCS_FreeRowStatus(&stmt->st_cursor);
  uint16_t* status = stmt->st_ird != nullptr ? stmt->st_ird->de_arrayStatusPtr : nullptr;
  uint64_t* rows = stmt->st_rowsFetchedPtr;
  if (status != nullptr) *status = SQL_ROW_NOROW;
  if (rows != nullptr) *rows = 0;
  if (SQLRETURN rc = next_block_row(stmt); rc != SQL_SUCCESS) return rc;
  stmt->st_getData.gd_column = 0;
  stmt->st_getData.gd_row = 0;
  if (status != nullptr) *status = SQL_ROW_SUCCESS;
  if (rows != nullptr) *rows = 1;
  ++stmt->st_rowNumber;
  const SQLRETURN result = deliver_block_row(stmt, true);
  if (status != nullptr && result != SQL_SUCCESS)
    *status = result == SQL_ERROR ? SQL_ROW_ERROR : SQL_ROW_SUCCESS_WITH_INFO;
  ++stmt->st_blockRow;
  return result;
}

SQLRETURN StmtFetchScroll(Stmt* stmt, int16_t orientation, int64_t offset) {
  if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_SEQUENCE);
  SCS& scs = stmt->st_cursor;
  if (forward_only(stmt) && orientation != SQL_FETCH_NEXT) return fail(stmt, ERR_FETCH_TYPE);
  if (forward_only(stmt) && scs.sc_rowsetSize == 1) return FetchSingleRow(stmt);
  uint64_t localRows = 0;
  uint64_t* rows = stmt->st_rowsFetchedPtr != nullptr ? stmt->st_rowsFetchedPtr : &localRows;
  uint16_t* status = stmt->st_ird != nullptr ? stmt->st_ird->de_arrayStatusPtr : nullptr;
  if (orientation == SQL_FETCH_BOOKMARK && stmt->st_fetchBookmarkPtr != nullptr) {
    int32_t bookmark = 0;
    std::memcpy(&bookmark, stmt->st_fetchBookmarkPtr, sizeof bookmark);
    // Far past either end of the result is where it stays.
    if (__builtin_add_overflow(offset, int64_t{bookmark}, &offset))
      offset = bookmark < 0 ? INT64_MIN : INT64_MAX;
  }
  return StmtExtendedFetch(stmt, static_cast<uint16_t>(orientation), offset, rows, status);
}

SQLRETURN StmtExtendedFetch(Stmt* stmt, uint16_t fetchType, int64_t offset, uint64_t* rowsFetched,
                            uint16_t* rowStatus) {
  SCS& scs = stmt->st_cursor;
  if (stmt->st_dbc->cn_hasScrlCurs == 0) return fail(stmt, ERR_NOT_SUPPORTED);
  scs.sc_appRowStatus = rowStatus;
  const bool fwd = forward_only(stmt);
  const bool mixed = scs.sc_cursorType == SCS_KEYSET && scs.sc_keysetSize > 0;
  const bool dynMix = scs.sc_cursorType == SCS_DYNAMIC || mixed;
  if (stmt->st_paramsetSize > 1 && fetchType != SQL_FETCH_NEXT && !fwd)
    return fail(stmt, ERR_PARAM_ARRAY_POSITIONED);
  if (fwd && fetchType != SQL_FETCH_NEXT) return fail(stmt, ERR_FETCH_TYPE);
  if (dynMix && (fetchType == SQL_FETCH_BOOKMARK || fetchType == SQL_FETCH_ABSOLUTE))
    return fail(stmt, ERR_FETCH_TYPE);
  if (mixed && scs.sc_keysetSize < scs.sc_rowsetSize) return fail(stmt, ERR_ROW_VALUE);
  if (fetchType == SQL_FETCH_ABSOLUTE && offset == 0) {
    (void)SCS_SetPosition(&scs, SCS_POS_BEFORE_START);
    return SQL_NO_DATA;
  }
  if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_CURSOR_STATE);
  if (StmtDescribeCols(stmt) == nullptr) {
    if (stmt->errCode == 0) stmt->errCode = ERR_CURSOR_STATE;
    return SQL_ERROR;
  }
  // The forward-only table stays for the fetch to refill: its storage is laid out already.
  RowStatusTable* kept = nullptr;
  if (fwd) std::swap(kept, scs.sc_rowStatus);
  StmtFreeResult(stmt);
  scs.sc_rowStatus = kept;
  uint32_t rows = 0;
  const int32_t code = SCS_FetchScroll(&scs, fetchType, offset, &rows);
  if (code == ERR_NO_DATA) {
    if (rowsFetched != nullptr) *rowsFetched = 0;
    return SQL_NO_DATA;
  }
  if (code != 0) return fail(stmt, code);
  if (rowsFetched != nullptr) *rowsFetched = rows;
  // An ODBC 2 SQLExtendedFetch counts its rows as SQLFetchScroll does.
  if (fwd) stmt->st_rowNumber += rows;
  return RowsetToBound(stmt, rowStatus, 0, -1);
}

SQLRETURN RowsetToBound(Stmt* stmt, uint16_t* rowStatus, int32_t row, int32_t mode) {
  SCS& scs = stmt->st_cursor;
  RowStatusTable* table = scs.sc_rowStatus;
  if (table == nullptr) return fail(stmt, ERR_GENERAL);
  // Neither the rowset nor the table is walked past its end.
  const int32_t size = scs.sc_rowsetSize < table->count ? scs.sc_rowsetSize : table->count;
  int32_t first = 0;
  int32_t last = size;
  if (row > 0) {
    first = row - 1;
    last = row <= size ? row : first;
  }
  const uint16_t* operations = stmt->st_ard != nullptr ? stmt->st_ard->de_arrayStatusPtr : nullptr;
  RowsetPlan p;
  plan_rowset(stmt, table->rows, &p);
  // A whole rowset fetched into bindings that all have copies goes column by column.
  const bool byColumn = p.allCopies && row == 0 && mode == -1;

  int32_t processed = 0;
  int32_t errors = 0;
  int32_t firstError = 0;
  SQLRETURN result = SQL_SUCCESS;
  uint16_t runStatus[kRunRows];
  int16_t runFrom[kRunRows];
  int lastCopied = -1;
  for (int32_t run = first; run < last; run += kRunRows) {
    const int32_t runEnd = last - run < kRunRows ? last : run + kRunRows;
    if (byColumn && copy_run(stmt, table, p, run, runEnd, last, runStatus, runFrom, &lastCopied)) {
      // Rows copied whole end as the row pass below would leave them.
      stmt->st_getData.gd_column = 0;
      stmt->st_getData.gd_row = 0;
      if (rowStatus != nullptr)
        std::memcpy(rowStatus + run, runStatus, static_cast<size_t>(runEnd - run) * sizeof *runStatus);
      processed += runEnd - run;
      if (last - 1 < runEnd && lastCopied >= 0)
        name_copied_cell(stmt, static_cast<uint32_t>(last - 1), p.nodes[lastCopied]->cb.cb_column,
                         p.rows);
      continue;
    }
    for (int32_t k = run; k < runEnd; ++k) {
      if (mode != -1 && operations != nullptr && operations[k] == SQL_ROW_IGNORE) continue;
      stmt->st_getData.gd_column = 0;
      stmt->st_getData.gd_row = 0;
      const uint16_t st = byColumn ? runStatus[k - run] : SCS_GetRowStatus(table, k + 1);
      if (rowStatus != nullptr) rowStatus[k] = st;
      if (st == SQL_ROW_NOROW) continue;
      ++processed;
      SQLRETURN rowResult = SQL_SUCCESS;
      if (st == SQL_ROW_ERROR) {
        rowResult = SQL_ERROR;
        stmt->errCode = ERR_GENERAL;
      } else {
        if (!byColumn) {
          rowResult = deliver_row(stmt, k, st, p, stmt->st_boundCols, 0);
        } else if (const int b = runFrom[k - run]; b >= 0) {
          // The cells from the first one a copy declined on, in the order of a row.
          rowResult = deliver_row(stmt, k, st, p, p.nodes[b], b);
        } else if (k == last - 1 && lastCopied >= 0) {
          name_copied_cell(stmt, static_cast<uint32_t>(k), p.nodes[lastCopied]->cb.cb_column, p.rows);
        }
        if (rowResult != SQL_SUCCESS && rowStatus != nullptr)
          rowStatus[k] = rowResult == SQL_ERROR ? SQL_ROW_ERROR : SQL_ROW_SUCCESS_WITH_INFO;
      }
      if (rowResult == SQL_ERROR) {
        ++errors;
        if (firstError == 0) firstError = stmt->errCode;
      }
      if (mode == SQL_REFRESH && (st == SQL_ROW_UPDATED || st == SQL_ROW_ADDED) &&
          rowStatus != nullptr && rowResult == SQL_SUCCESS)
        rowStatus[k] = SQL_ROW_SUCCESS;
      if (rowResult != SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
    }
  }
  // Entries of the application's rowset that the table has no row for.
  if (row == 0 && rowStatus != nullptr)
    for (int32_t k = size; k < scs.sc_rowsetSize; ++k) rowStatus[k] = SQL_ROW_NOROW;
  // The row that failed tells more than a warning of a later row.
  if (firstError != 0) stmt->errCode = firstError;
  if (processed > 0 && errors == processed) return SQL_ERROR;
  return result;
}

SQLRETURN StmtGetData(Stmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufLen,
                      int64_t* lenInd) {
  if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_SEQUENCE);
  // The driver does not claim SQL_GD_BOUND: the fetch already delivered a bound
  // column, and reading it again would answer SQL_NO_DATA with nothing said.
  if (const ColBinding* bound = StmtFindColBinding(column, stmt);
      bound != nullptr && bound->cb_data != nullptr)
    return fail(stmt, ERR_COLUMN_NUMBER);
  ColBinding req{};
  req.cb_column = column;
  req.cb_cType = cType;
  req.cb_data = value;
  req.cb_bufferLength = bufLen;
  req.cb_octetLengthPtr = lenInd;
  req.cb_indicatorPtr = lenInd;
  SCS& scs = stmt->st_cursor;
  uint32_t row;
  Dataset* data;
  if (scs.sc_rowStatus == nullptr) {
    // Before the first row, and after the last, there is no row to read.
    if (stmt->st_blockRow == 0) return fail(stmt, ERR_CURSOR_STATE);
    row = stmt->st_blockRow - 1u;
    data = &stmt->st_block;
  } else {
    const uint16_t st = SCS_GetRowStatus(scs.sc_rowStatus, scs.sc_position);
    if (st == SQL_ROW_ERROR || st == SQL_ROW_DELETED) return fail(stmt, ERR_CURSOR_POSITION);
    row = static_cast<uint32_t>(scs.sc_position - 1);
    data = scs.sc_rowStatus->rows;
  }
  // A cell not yet begun may take a bound column's plain copy; the rest of a cut
  // value continues on the general road.
  const GetDataState& gd = stmt->st_getData;
  if (gd.gd_column == column && gd.gd_row == row + 1) return GetColumn(stmt, row, &req, data);
  return deliver_cell(stmt, row, &req, bound_copy(stmt, req, data), data);
}

SQLRETURN FetchImpl(Stmt* stmt, const CallSlot*) {
  if (stmt->st_dbc->envr->odbcVersion != SQL_OV_ODBC3) return FetchForwardBound(stmt);
  return StmtFetchScroll(stmt, SQL_FETCH_NEXT, 0);
}

SQLRETURN FetchScrollImpl(Stmt* stmt, const CallSlot* args) {
  return StmtFetchScroll(stmt, SlotI16(args[0]), SlotI64(args[1]));
}

SQLRETURN ExtendedFetchImpl(Stmt* stmt, const CallSlot* args) {
  return StmtExtendedFetch(stmt, SlotU16(args[0]), SlotI64(args[1]), SlotAs<uint64_t*>(args[2]),
                           SlotAs<uint16_t*>(args[3]));
}

SQLRETURN GetDataImpl(Stmt* stmt, const CallSlot* args) {
  return StmtGetData(stmt, SlotU16(args[0]), SlotI16(args[1]), SlotAs<void*>(args[2]),
                     SlotI64(args[3]), SlotAs<int64_t*>(args[4]));
}
