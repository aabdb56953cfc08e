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

// The row of the keyset's keys Dataset holding bookmark b, or -1.
int32_t key_row(const KS& ks, uint32_t b) {
  if (b == 0 || b > INT32_MAX || ks.keys == nullptr) return -1;
  const int32_t start = ks.cache.state == DSC_SPILLED ? ks.windowStart : 0;
  const int32_t i = static_cast<int32_t>(b) - 1 - start;
  return start >= 0 && i >= 0 && i < ks.keys->rowCount ? i : -1;
}

// The row of sc_optValues holding bookmark b's old values, or -1: a static
// cursor holds its whole result, the others the current rowset.
int32_t old_row(const SCS& s, uint32_t b) {
  const Dataset* old = s.sc_optValues;
  if (old == nullptr || b == 0 || b > INT32_MAX) return -1;
  int32_t start = s.sc_rowsetStart;
  if (s.sc_cursorType == SCS_STATIC)
    start = s.sc_cache != nullptr && s.sc_cache->state == DSC_SPILLED ? s.sc_cacheWindowStart + 1 : 1;
  const int32_t i = static_cast<int32_t>(b) - start;
  return start >= 1 && i >= 0 && i < old->rowCount ? i : -1;
}

int32_t write(SCS* s, uint16_t op, const uint32_t* bookmarks, uint16_t count, Dataset* values,
              const uint16_t* columns, uint16_t* statuses, uint16_t* countOut) {
  if (s->sc_concurrency == SQL_CONCUR_READ_ONLY) return ERR_ARGUMENT;
  if (op == SQL_UPDATE_BY_BOOKMARK && values->rowCount < count) return ERR_GENERAL;
  KS* ks = s->sc_keyset;
  if (ks == nullptr || ks->keys == nullptr) return ERR_GENERAL;
  std::vector<PosTarget> targets(count);
  for (uint16_t i = 0; i < count; ++i) {
    targets[i] = PosTarget{key_row(*ks, bookmarks[i]), old_row(*s, bookmarks[i]), i};
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
  if (rc != 0) return rc;
  if (changed == 0) return ERR_NO_ROWS_CHANGED;
  return changed < count ? ERR_MANY_ROWS_CHANGED : 0;
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
      case SQL_FETCH_BY_BOOKMARK:
        if (s.sc_cursorType == SCS_STATIC)
          return fetch_static(&s, bookmarks, count, statuses, countOut, table);
        return ERR_NOT_CAPABLE;
      default: return 0;
    }
  } catch (const std::bad_alloc&) {
    return ERR_MEMORY;
  }
}
