// scs_bulk.cpp -- BulkOperations with bookmarks on an emulated cursor: update
// and delete of the bookmarked rows, one generated statement per row found by
// its keys, and the fetch of the bookmarked rows into a rowset of their own.
// A bookmark is the 1-based row number of the cursor's keyset (a static
// cursor's row number). The new values and their column list belong to the
// operation, which frees them; the statuses and the fetched rowset go to the
// caller.
// Threading: inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "scrs/dsc.h"
#include "scrs/ks.h"
#include "scrs/posops.h"
#include "scrs/scs_p.h"
#include "scrs/ss.h"

namespace {

struct Owned {
  Dataset* rows;
  uint16_t* columns;
  ~Owned() {
    if (rows != nullptr) {
      DatasetFree(rows);
      std::free(rows);
    }
    std::free(columns);
  }
};

// The row of sc_optValues holding the old values of the rowset row at index
// (keyset row r), or -1: a static cursor holds its whole result, the others
// their rowset.
int32_t old_row(const SCS& s, int32_t r, int32_t index) {
  const Dataset* old = s.sc_optValues;
  if (old == nullptr || s.sc_concurrency != SQL_CONCUR_VALUES) return -1;
  int32_t i = index;
  if (s.sc_cursorType == SCS_STATIC)
    i = r - (s.sc_cache != nullptr && s.sc_cache->state == DSC_SPILLED ? s.sc_cacheWindowStart : 0);
  return i >= 0 && i < old->rowCount ? i : -1;
}

int32_t write(SCS* s, uint16_t op, const uint32_t* bookmarks, uint16_t count, Dataset* values,
              const uint16_t* columns, uint16_t* statuses, uint16_t* countOut) {
  if (s->sc_concurrency == SQL_CONCUR_READ_ONLY) return ERR_ARGUMENT;
  if (op == SQL_UPDATE_BY_BOOKMARK && values->rowCount < count) return ERR_GENERAL;
  KS* ks = s->sc_keyset;
  if (ks == nullptr || ks->keys == nullptr) return ERR_GENERAL;
  std::vector<PosTarget> targets(count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint32_t b = bookmarks[i];
    if (b == 0 || b > static_cast<uint32_t>(ks->rowStatusCount)) return ERR_GENERAL;
    const auto r = static_cast<int32_t>(b - 1);
    Dataset* keys = nullptr;
    int32_t index = -1;
    const int32_t keyRow = scs_p_RowsetKey(*s, r, &keys, &index);
    targets[i] = PosTarget{keyRow, old_row(*s, r, index), i, keys};
    if (targets[i].keyRow < 0) return ERR_GENERAL;
    if (s->sc_concurrency == SQL_CONCUR_VALUES && targets[i].oldRow < 0) return ERR_GENERAL;
  }
  std::vector<uint8_t> done(count);
  int32_t changed = 0;
  const uint16_t dbOp = op == SQL_UPDATE_BY_BOOKMARK ? SQL_UPDATE : SQL_DELETE;
  const int32_t rc =
      scs_p_KeyedWrite(s, dbOp, targets.data(), count, values, columns, done.data(), &changed);
  const uint16_t mark = dbOp == SQL_UPDATE ? SQL_ROW_UPDATED : SQL_ROW_DELETED;
  for (uint16_t i = 0; i < count; ++i) {
    if (done[i] == POS_NOT_RUN) continue;
    statuses[i] = done[i] == POS_CHANGED ? mark : SQL_ROW_ERROR;
    // The keyset remembers it, so that later fetches show the row so.
    const int32_t r = static_cast<int32_t>(bookmarks[i]) - 1;
    if (ks->rowStatus != nullptr && r < ks->rowStatusCount) ks->rowStatus[r] = statuses[i];
  }
  // Every bookmark has its status, changed or not.
  *countOut = count;
  if (rc != 0 && rc != ERR_WARNING) return rc;
  if (changed == 0) return ERR_NO_ROWS_CHANGED;
  return changed < count ? ERR_MANY_ROWS_CHANGED : rc;
}

// The bookmarked rows of a static cursor, read from its static set in
// bookmark order; a bookmark past the result has no row.
int32_t fetch_static(SCS* s, const uint32_t* bookmarks, uint16_t count, uint16_t* statuses,
                     uint16_t* countOut, RowStatusTable** tableOut) {
  if ((s->sc_flags & SCS_F_STATIC_LOADED) == 0) {
    if (int32_t rc = scs_p_LoadStatic(s); rc != 0) return rc;
  }
  RowStatusTable* table = nullptr;
  if (int32_t rc = RowStatusTableNew(&table, count); rc != 0) return rc;
  int32_t rc = 0;
  uint16_t fetched = 0;
  for (uint16_t i = 0; i < count && rc == 0; ++i) {
    const uint32_t b = bookmarks[i];
    if (b == 0 || b > static_cast<uint32_t>(s->sc_rowCount)) {
      rc = ERR_GENERAL;
      break;
    }
    Dataset* one = nullptr;
    rc = SS_GetRowset(s->sc_staticSet, static_cast<int32_t>(b) - 1, 1, &one);
    if (rc == 0 && one->rowCount != 1) rc = ERR_GENERAL;
    if (rc == 0 && table->rows->colCount == 0) {
      DatasetFree(table->rows);
      std::free(table->rows);
      table->rows = one;
      one = nullptr;
    } else if (rc == 0) {
      rc = DatasetAppend(table->rows, one);
    }
    if (one != nullptr) {
      DatasetFree(one);
      std::free(one);
    }
    if (rc == 0) {
      statuses[i] = SQL_ROW_SUCCESS;
      table->status[i] = SQL_ROW_SUCCESS;
      ++fetched;
    }
  }
  if (rc != 0) {
    RowStatusTableFree(&table);
    return rc;
  }
  *countOut = fetched;
  *tableOut = table;
  return 0;
}

// The bookmarked rows of a keyset-driven cursor, selected again by their
// keys and delivered in bookmark order; a row whose key no longer finds it is
// an empty row marked deleted. The rowset is then no run of the keyset: its
// rows and keys are kept for the positioned operations that follow, with the
// rowset's start unknown until the next fetch.
int32_t fetch_keyset(SCS* s, const uint32_t* bookmarks, uint16_t count, uint16_t* statuses,
                     uint16_t* countOut, RowStatusTable** tableOut) {
  KS* ks = s->sc_keyset;
  if (ks == nullptr || ks->rowStatus == nullptr) return ERR_GENERAL;
  auto* rows = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * count));
  if (rows == nullptr) return ERR_MEMORY;
  for (uint16_t i = 0; i < count; ++i) {
    if (bookmarks[i] == 0 || bookmarks[i] > static_cast<uint32_t>(ks->rowStatusCount)) {
      std::free(rows);
      return ERR_GENERAL;
    }
    rows[i] = static_cast<int32_t>(bookmarks[i] - 1);
  }
  Dataset* keys = nullptr;
  RowStatusTable* table = nullptr;
  std::vector<uint8_t> found(count);
  std::vector<uint16_t> gone(count);
  for (uint16_t i = 0; i < count; ++i) gone[i] = ks->rowStatus[rows[i]];
  int32_t rc = scs_p_KeysOfRows(s, rows, count, &keys);
  if (rc == 0) rc = RowStatusTableNew(&table, count);
  if (rc == 0) rc = scs_p_FetchByKeys(s, keys, count, gone.data(), table->rows, found.data());
  if (rc == 0 && s->sc_concurrency == SQL_CONCUR_VALUES && scs_p_CheckScrollable(s) == 0)
    rc = scs_p_OldValuesByKeys(s, keys, 0, count, nullptr);
  if (rc != 0) {
    std::free(rows);
    if (keys != nullptr) {
      DatasetFree(keys);
      std::free(keys);
    }
    RowStatusTableFree(&table);
    return rc;
  }
  for (uint16_t i = 0; i < count; ++i) {
    uint16_t& st = ks->rowStatus[rows[i]];
    if (found[i] == 0) st = SQL_ROW_DELETED;
    else if (st == SQL_ROW_ERROR) st = SQL_ROW_SUCCESS;
    statuses[i] = table->status[i] = st;
  }
  KS_ForgetMarks(ks);
  ks->marks = rows;
  ks->markKeys = keys;
  ks->markCount = count;
  s->sc_rowsetStart = SCS_START_UNKNOWN;
  (void)SCS_SetPosition(s, 1);
  *countOut = count;
  *tableOut = table;
  return 0;
}

}  // namespace

int32_t SCS_BulkOperations(DrvHandle hCursor, uint16_t operation, uint32_t* bookmarks,
                           uint16_t count, Dataset* rows, uint16_t* columns, uint16_t columnCount,
                           uint16_t** statusesOut, uint16_t* countOut, RowStatusTable** table) {
  (void)columnCount;
  Owned request{rows, columns};
  if (statusesOut != nullptr) *statusesOut = nullptr;
  if (countOut != nullptr) *countOut = 0;
  if (table != nullptr) *table = nullptr;
  InfCursorView cur{};
  if (!INF_CursorView(hCursor, &cur)) return ERR_ARGUMENT;
  const bool update = operation == SQL_UPDATE_BY_BOOKMARK;
  if (operation == SQL_ADD || bookmarks == nullptr || count == 0 || statusesOut == nullptr ||
      countOut == nullptr || (update && (rows == nullptr || columns == nullptr)) ||
      (operation == SQL_FETCH_BY_BOOKMARK && table == nullptr))
    return ERR_GENERAL;
  SCS& s = *cur.scs;
  if ((s.sc_flags & SCS_F_PREPARED) == 0) return ERR_CURSOR_STATE;
  auto* statuses = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * count));
  if (statuses == nullptr) return ERR_MEMORY;
  for (uint16_t i = 0; i < count; ++i) statuses[i] = SQL_ROW_ERROR;
  *statusesOut = statuses;
  try {
    switch (operation) {
      case SQL_UPDATE_BY_BOOKMARK:
      case SQL_DELETE_BY_BOOKMARK:
        return write(&s, operation, bookmarks, count, rows, columns, statuses, countOut);
      case SQL_FETCH_BY_BOOKMARK: {
        const int32_t rc =
            s.sc_cursorType == SCS_STATIC
                ? fetch_static(&s, bookmarks, count, statuses, countOut, table)
            : s.sc_cursorType == SCS_KEYSET && s.sc_keysetSize <= 0
                ? fetch_keyset(&s, bookmarks, count, statuses, countOut, table)
                : ERR_NOT_CAPABLE;
        if (rc == 0 && cur.maxLength > 0)
          return DatasetTruncate((*table)->rows, static_cast<uint32_t>(cur.maxLength));
        if (rc != 0) scs_p_ClearAuxDiags(&s);
        return rc;
      }
      default: return 0;
    }
  } catch (const std::bad_alloc&) {
    return ERR_MEMORY;
  }
}
