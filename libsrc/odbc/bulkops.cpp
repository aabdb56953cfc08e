// bulkops.cpp -- SQLBulkOperations over the back end's DRV_BulkOperations.
// SQL_ADD is a SetPos SQL_ADD of the whole rowset; the bookmark operations
// read one bookmark per row of the ARD's arrays, check each against the
// current rowset, and answer one status per bookmark in the IRD's status
// array. A fetch by bookmark makes the rows the back end returns the current
// rowset.
// Owns the bookmark list and the column list of the call under way (kept
// across an update's values sent at execution); the back end's status array
// is freed here.
// Threading: under the statement's connection call lock.

#include "odbc/bulkops.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "odbc/binding.h"
#include "odbc/conn.h"
#include "odbc/dae.h"
#include "odbc/desc.h"
#include "odbc/execute.h"
#include "odbc/fetch.h"
#include "odbc/setpos.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  SetPosFreeTemps(stmt);
  stmt->errCode = code;
  return SQL_ERROR;
}

uint16_t* ird_status(const Stmt* stmt) {
  return stmt->st_ird != nullptr ? stmt->st_ird->de_arrayStatusPtr : nullptr;
}

// Whether a bookmark names a row of the current rowset: a rowset scrolled to
// is a run of rows from its start; after a bulk operation its rows are those
// remembered then.
bool in_rowset(const Stmt* stmt, uint32_t bookmark) {
  const SCS& scs = stmt->st_cursor;
  if (scs.sc_rowsetStart > 0) {
    const int32_t rows = scs.sc_rowStatus != nullptr ? scs.sc_rowStatus->count : 0;
    const auto first = static_cast<uint32_t>(scs.sc_rowsetStart);
    return rows > 0 && bookmark >= first && bookmark - first < static_cast<uint32_t>(rows);
  }
  if (scs.sc_rowsetStart != SCS_START_UNKNOWN || scs.sc_rowStatus == nullptr) return false;
  const uint32_t* marks = stmt->st_rowsetMarks;
  return marks != nullptr &&
         std::find(marks, marks + stmt->st_rowsetMarkCount, bookmark) != marks + stmt->st_rowsetMarkCount;
}

// The bookmark column's binding; one without a data buffer (a descriptor's data
// pointer cleared, its indicator kept) binds no bookmarks.
ColBinding* bookmark_binding(Stmt* stmt) {
  ColBinding* cb = BindingOfColumn(stmt, 0, nullptr);
  return cb != nullptr && cb->cb_data != nullptr ? cb : nullptr;
}

// One 32-bit bookmark per row, each naming a row of the current rowset.
int32_t BulkBookmarkList(Stmt* stmt) {
  const uint16_t size = stmt->st_bulkSize;
  ColBinding* cb = bookmark_binding(stmt);
  if (cb == nullptr) return ERR_GENERAL;
  auto* list = static_cast<uint32_t*>(std::malloc(size * sizeof(uint32_t)));
  if (list == nullptr) return ERR_MEMORY;
  stmt->st_bulkBookmarks = list;
  for (uint16_t i = 0; i < size; ++i) {
    std::memcpy(&list[i], BoundValue(stmt, *cb, i), sizeof(uint32_t));
    if (!in_rowset(stmt, list[i])) return ERR_BOOKMARK_ROWSET;
  }
  return 0;
}

// The rowset's start is to be found again after a bulk operation; its rows
// stay those it had (or, after a fetch by bookmark, those fetched).
void remember_rowset(Stmt* stmt, const uint32_t* fetched, uint16_t n) {
  SCS& scs = stmt->st_cursor;
  uint32_t* marks = nullptr;
  uint16_t count = 0;
  if (fetched != nullptr) {
    count = n;
  } else if (scs.sc_rowsetStart > 0 && scs.sc_rowStatus != nullptr) {
    count = static_cast<uint16_t>(std::min<int32_t>(scs.sc_rowStatus->count, UINT16_MAX));
  } else {
    scs.sc_rowsetStart = SCS_START_UNKNOWN;
    return;  // the rows remembered before stay
  }
  if (count > 0) marks = static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t)));
  for (uint16_t i = 0; marks != nullptr && i < count; ++i)
    marks[i] = fetched != nullptr ? fetched[i] : static_cast<uint32_t>(scs.sc_rowsetStart) + i;
  BulkForgetRowset(stmt);
  stmt->st_rowsetMarks = marks;
  stmt->st_rowsetMarkCount = marks != nullptr ? count : 0;
  scs.sc_rowsetStart = SCS_START_UNKNOWN;
}

// The answer of a bookmark operation: its statuses in the IRD's array (an
// error for every row the back end gave none), the rows processed, and the
// rowset start to be found again.
SQLRETURN conclude(Stmt* stmt, int32_t code, const uint16_t* statuses, uint16_t given,
                   SQLRETURN answer) {
  const uint16_t size = stmt->st_bulkSize;
  SQLRETURN rc = answer;
  if (code != 0) {
    (void)StmtPostDriverErrors(stmt);
    stmt->errCode = code;
    const bool made = code == ERR_MANY_ROWS_CHANGED || code == ERR_WARNING;
    rc = made && answer != SQL_ERROR ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
  }
  if (uint16_t* out = ird_status(stmt); out != nullptr)
    for (uint16_t k = 0; k < size; ++k)
      out[k] = statuses != nullptr && k < given ? statuses[k] : SQL_ROW_ERROR;
  auto* processed =
      stmt->st_ird != nullptr ? static_cast<SQLULEN*>(stmt->st_ird->de_rowsProcessedPtr) : nullptr;
  if (processed != nullptr) *processed = size;
  if (stmt->st_rowsFetchedPtr != nullptr) *stmt->st_rowsFetchedPtr = size;
  const bool fetched = stmt->st_bulkOp == SQL_FETCH_BY_BOOKMARK && code == 0;
  remember_rowset(stmt, fetched ? stmt->st_bulkBookmarks : nullptr, size);
  SetPosFreeTemps(stmt);
  return rc;
}

// The back end's count of statuses; a back end that does not say gives one
// per bookmark.
constexpr uint16_t kUnsaid = UINT16_MAX;
uint16_t status_count(const Stmt* stmt, uint16_t given) {
  return given == kUnsaid ? stmt->st_bulkSize : given;
}

SQLRETURN update(Stmt* stmt) {
  Dataset* rows = nullptr;
  int32_t code = SetPosRowsFromBound(stmt, RowsRoad::Bulk, 0, stmt->st_bulkSize,
                                     stmt->st_setPosCols, stmt->st_setPosColCount, &rows);
  stmt->st_daeState = DAE_NONE;
  for (ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next)
    DAEBuffersFree(&n->cb.cb_daeBuffers, n->cb.cb_daeRows, &n->cb.cb_daeLengths);
  if (code == 0) code = NarrowForBackEnd(stmt, rows);
  const uint16_t count = stmt->st_setPosColCount;
  uint16_t* sent = nullptr;
  if (code == 0 && count > 0) {
    sent = static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t)));
    if (sent == nullptr) code = ERR_MEMORY;
    else std::memcpy(sent, stmt->st_setPosCols, count * sizeof(uint16_t));
  }
  if (code != 0) {
    if (rows != nullptr) DatasetFree(rows);
    std::free(rows);
    return fail(stmt, code);
  }
  uint16_t* statuses = nullptr;
  uint16_t given = kUnsaid;
  code = stmt->st_drv->ops->DRV_BulkOperations(stmt->st_hCursor, SQL_UPDATE_BY_BOOKMARK,
                                               stmt->st_bulkBookmarks, stmt->st_bulkSize, rows,
                                               sent, count, &statuses, &given, nullptr);
  if ((stmt->st_drv->caps & DRV_CAP_FREEPARAMS) != 0) {
    DatasetFree(rows);
    std::free(rows);
    std::free(sent);
  }
  const SQLRETURN rc = conclude(stmt, code, statuses, status_count(stmt, given), SQL_SUCCESS);
  std::free(statuses);
  return rc;
}

SQLRETURN erase(Stmt* stmt) {
  uint16_t* statuses = nullptr;
  uint16_t given = kUnsaid;
  const int32_t code = stmt->st_drv->ops->DRV_BulkOperations(
      stmt->st_hCursor, SQL_DELETE_BY_BOOKMARK, stmt->st_bulkBookmarks, stmt->st_bulkSize, nullptr,
      nullptr, 0, &statuses, &given, nullptr);
  const SQLRETURN rc = conclude(stmt, code, statuses, status_count(stmt, given), SQL_SUCCESS);
  std::free(statuses);
  return rc;
}

// The rows fetched become the current rowset, read into the bound columns.
SQLRETURN fetch(Stmt* stmt) {
  SCS& scs = stmt->st_cursor;
  uint16_t* statuses = nullptr;
  uint16_t given = kUnsaid;
  RowStatusTable* table = nullptr;
  const int32_t code = stmt->st_drv->ops->DRV_BulkOperations(
      stmt->st_hCursor, SQL_FETCH_BY_BOOKMARK, stmt->st_bulkBookmarks, stmt->st_bulkSize, nullptr,
      nullptr, 0, &statuses, &given, &table);
  StmtFreeResult(stmt);
  if (code != 0) RowStatusTableFree(&table);
  scs.sc_rowStatus = table;
  const uint16_t n = status_count(stmt, given);
  SQLRETURN answer = SQL_ERROR;
  uint16_t* merged = nullptr;
  if (table != nullptr) {
    // The rows' own statuses, as reading them into the bound columns leaves
    // them, go to the application where the back end gave one.
    const size_t entries = scs.sc_rowsetSize > 0 ? static_cast<size_t>(scs.sc_rowsetSize) : 1;
    merged = static_cast<uint16_t*>(std::calloc(entries, sizeof(uint16_t)));
    if (merged == nullptr) {
      std::free(statuses);
      return fail(stmt, ERR_MEMORY);
    }
    scs.sc_position = 1;
    scs.sc_appRowStatus = ird_status(stmt);
    answer = RowsetToBound(stmt, merged, 0, -1);
    // The rows are no run from a start: each row's bookmark is the one it was
    // fetched by.
    if (ColBinding* cb = bookmark_binding(stmt); cb != nullptr && code == 0)
      for (uint16_t k = 0; k < stmt->st_bulkSize; ++k) {
        const int64_t wide = stmt->st_bulkBookmarks[k];
        std::memcpy(BoundValue(stmt, *cb, k), &wide, sizeof wide);
        for (int64_t* base : {cb->cb_octetLengthPtr, cb->cb_indicatorPtr})
          if (int64_t* len = BoundLengthAt(stmt, base, k); len != nullptr) *len = sizeof wide;
      }
    for (uint16_t k = 0; statuses != nullptr && k < n && k < entries; ++k)
      if (merged[k] != SQL_ROW_ERROR && merged[k] != SQL_ROW_SUCCESS_WITH_INFO)
        merged[k] = statuses[k];
  }
  const SQLRETURN rc = conclude(stmt, code, merged != nullptr ? merged : statuses,
                                merged != nullptr ? stmt->st_bulkSize : n, answer);
  std::free(merged);
  std::free(statuses);
  return rc;
}

}  // namespace

SQLRETURN StmtBulkOperations(Stmt* stmt, uint16_t op) {
  SCS& scs = stmt->st_cursor;
  stmt->st_bulkOp = op;
  if (stmt->st_daeState == DAE_BULK_READY) return update(stmt);
  if (stmt->st_daeState != DAE_NONE) return fail(stmt, ERR_SEQUENCE);
  if (stmt->st_dbc->cn_hasScrlCurs == 0) return fail(stmt, ERR_NOT_SUPPORTED);
  const bool keyset = scs.sc_cursorType == SCS_KEYSET && scs.sc_keysetSize == 0;
  if (!keyset && scs.sc_cursorType != SCS_STATIC) return fail(stmt, ERR_BULK_CURSOR_TYPE);
  if (stmt->state != STMT_STATE_PREPARED) return fail(stmt, ERR_CURSOR_STATE);
  if (op < SQL_ADD || op > SQL_FETCH_BY_BOOKMARK) return fail(stmt, ERR_OPTION_TYPE);
  if (scs.sc_rowsetSize <= 0) return SQL_SUCCESS;
  // One status per row travels in a 16-bit count.
  if (scs.sc_rowsetSize > UINT16_MAX) return fail(stmt, ERR_ROW_VALUE);
  if (op != SQL_ADD) {
    if (scs.sc_useBookmarks == 0 || bookmark_binding(stmt) == nullptr)
      return fail(stmt, ERR_OPTION_TYPE);
    if (stmt->st_drv->ops->DRV_BulkOperations == nullptr) return fail(stmt, ERR_NOT_CAPABLE);
  }
  SetPosFreeTemps(stmt);
  const auto size = static_cast<uint16_t>(scs.sc_rowsetSize);
  stmt->st_bulkSize = size;
  if (op == SQL_ADD) {
    const SQLRETURN rc = StmtSetPos(stmt, 0, SQL_ADD, SQL_LOCK_NO_CHANGE,
                                    SetPosTarget{ird_status(stmt), size});
    if (rc == SQL_NEED_DATA || rc == SQL_ERROR) return rc;
    auto* processed = stmt->st_ird != nullptr
                          ? static_cast<SQLULEN*>(stmt->st_ird->de_rowsProcessedPtr)
                          : nullptr;
    if (processed != nullptr) *processed = size;
    if (stmt->st_rowsFetchedPtr != nullptr) *stmt->st_rowsFetchedPtr = size;
    remember_rowset(stmt, nullptr, 0);
    return rc;
  }
  if (op == SQL_UPDATE_BY_BOOKMARK) {
    if (int32_t rc = SetPosColumnList(stmt, 0, size, false, &stmt->st_setPosCols,
                                      &stmt->st_setPosColCount);
        rc != 0)
      return fail(stmt, rc);
  }
  if (int32_t rc = BulkBookmarkList(stmt); rc != 0) return fail(stmt, rc);
  switch (op) {
    case SQL_UPDATE_BY_BOOKMARK: {
      const SQLRETURN rc =
          SetPosDAEStart(stmt, 0, size, stmt->st_setPosCols, stmt->st_setPosColCount, DAE_BULK);
      if (rc == SQL_NEED_DATA) return rc;
      if (rc != SQL_SUCCESS) return fail(stmt, stmt->errCode);
      return update(stmt);
    }
    case SQL_DELETE_BY_BOOKMARK: return erase(stmt);
    default: return fetch(stmt);
  }
}

void BulkForgetRowset(Stmt* stmt) {
  std::free(stmt->st_rowsetMarks);
  stmt->st_rowsetMarks = nullptr;
  stmt->st_rowsetMarkCount = 0;
}

int32_t BulkRowBookmark(Stmt* stmt, uint32_t index, bool rowNumber, int32_t* out) {
  SCS& scs = stmt->st_cursor;
  if (scs.sc_rowsetStart != SCS_START_UNKNOWN || stmt->st_rowsetMarks == nullptr) {
    // After a SetPos of the whole rowset (row 0) no row is current, yet each
    // row of the rowset still has its bookmark: a refresh delivers it.
    const int32_t position = scs.sc_position;
    if (position == SCS_POS_NO_ROW && scs.sc_rowStatus != nullptr) scs.sc_position = 1;
    const int32_t rc =
        rowNumber ? SCS_GetRowNumber(&scs, index, out) : SCS_GetBookmark(&scs, index, out);
    scs.sc_position = position;
    return rc;
  }
  if (out == nullptr) return ERR_ARGUMENT;
  *out = 0;
  if (index >= stmt->st_rowsetMarkCount) return ERR_ARGUMENT;
  if (SCS_GetRowStatus(scs.sc_rowStatus, static_cast<int32_t>(index) + 1) == SQL_ROW_ERROR)
    return ERR_CURSOR_POSITION;
  *out = static_cast<int32_t>(stmt->st_rowsetMarks[index]);
  return 0;
}

SQLRETURN BulkResume(Stmt* stmt) { return StmtBulkOperations(stmt, stmt->st_bulkOp); }

SQLRETURN BulkOperationsImpl(Stmt* stmt, const CallSlot* args) {
  return StmtBulkOperations(stmt, SlotU16(args[0]));
}
