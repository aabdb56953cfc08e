// scroll.cpp -- the statement side of scrolling: which rowset an
// orientation and offset name, where that rowset lies against the result, and
// the one scrolled fetch through the driver chain that reads it.
// The new rowset's table replaces the statement's current one; a scroll that
// runs off either end leaves the position before the start or after the end and
// answers ERR_NO_DATA without a back-end call where the position tells it.
// Threading: under the statement's connection call lock; the fetch-direction
// mask is read once per statement under DriverLock.

#include "odbc/scroll.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"

namespace {

bool dynamic_or_mixed(const SCS* scs) {
  return scs->sc_cursorType == SCS_DYNAMIC ||
         (scs->sc_cursorType == SCS_KEYSET && scs->sc_keysetSize > 0);
}

uint32_t direction_bit(uint16_t orientation) {
  switch (orientation) {
    case SQL_FETCH_NEXT: return SQL_FD_FETCH_NEXT;
    case SQL_FETCH_FIRST: return SQL_FD_FETCH_FIRST;
    case SQL_FETCH_LAST: return SQL_FD_FETCH_LAST;
    case SQL_FETCH_PRIOR: return SQL_FD_FETCH_PRIOR;
    case SQL_FETCH_ABSOLUTE: return SQL_FD_FETCH_ABSOLUTE;
    case SQL_FETCH_RELATIVE: return SQL_FD_FETCH_RELATIVE;
    case SQL_FETCH_BOOKMARK: return SQL_FD_FETCH_BOOKMARK;
    default: return 0;
  }
}

void read_fetch_directions(SCS* scs) {
  uint32_t mask = 0;
  uint16_t len = 0;
  {
    CriticalSectionLock g(&DriverLock);
    if (SCR_GetOdbcInfo(scs->sc_driver, scs->sc_hConn, SQL_FETCH_DIRECTION, &mask, 4, &len) != 0)
      mask = 0;
  }
  // Every cursor can move forward; a back end that does not say more gets that.
  scs->sc_fetchDirections = mask != 0 ? mask : SQL_FD_FETCH_NEXT;
}

// A table on its way back to the driver, freed when the fetch ends before reaching it.
struct KeptTable {
  RowStatusTable* table = nullptr;
  KeptTable() = default;
  KeptTable(const KeptTable&) = delete;
  KeptTable& operator=(const KeptTable&) = delete;
  ~KeptTable() { RowStatusTableFree(&table); }
};

// The rowset lies outside the result: the cursor moves to that end.
int32_t off_the_end(SCS* scs, int32_t position, uint32_t* rows) {
  (void)SCS_SetPosition(scs, position);
  *rows = 0;
  return ERR_NO_DATA;
}

}  // namespace

int scs_p_ClassifyRowset(int64_t start, int64_t target, int32_t size, int32_t count) {
  if (count == -1) {
    if (target > start) return SCS_ROWSET_FORWARD;
  } else if (target > count) {
    return SCS_ROWSET_AFTER;
  }
  if (target <= 1 - int64_t{size}) return SCS_ROWSET_BEFORE;
  // A rowset that starts before row 1 starts at row 1, even in a result
  // shorter than one rowset.
  if (target < 1) return SCS_ROWSET_OVERLAPS_START;
  if (count != -1 && target > int64_t{count} - size + 1) return SCS_ROWSET_SHORT;
  return SCS_ROWSET_INSIDE;
}

int scs_p_ResolveRowset(uint16_t orientation, int64_t offset, int32_t rowsetStart, int32_t rowCount,
                        int32_t rowsetSize, int32_t prevRowsetSize, int64_t* target) {
  const int64_t start = rowsetStart == SCS_POS_AFTER_END ? int64_t{rowCount} + 1 : rowsetStart;
  auto classify = [&](int64_t t) {
    *target = t;
    return scs_p_ClassifyRowset(start, t, rowsetSize, rowCount);
  };
  switch (orientation) {
    case SQL_FETCH_NEXT: return classify(start + prevRowsetSize);
    case SQL_FETCH_FIRST: *target = 1; return SCS_ROWSET_INSIDE;
    case SQL_FETCH_LAST:
      // A result shorter than one rowset is all of its last rowset.
      *target = rowCount == -1 ? 0 : std::max<int64_t>(int64_t{rowCount} - rowsetSize + 1, 1);
      return SCS_ROWSET_INSIDE;
    case SQL_FETCH_PRIOR: return classify(start - rowsetSize);
    case SQL_FETCH_ABSOLUTE: {
      if (offset == 0) {
        *target = 0;
        return SCS_ROWSET_BEFORE;
      }
      if (offset > 0) return classify(offset);
      if (rowCount == -1) {
        *target = offset;
        return SCS_ROWSET_FORWARD;
      }
      if (offset >= -int64_t{rowCount}) return classify(int64_t{rowCount} + offset + 1);
      // Counting back past row 1 names the first rowset while it stays within one
      // rowset's length of the end, and no row beyond that.
      *target = 1;
      return offset < -int64_t{rowsetSize} ? SCS_ROWSET_BEFORE : SCS_ROWSET_OVERLAPS_START;
    }
    case SQL_FETCH_RELATIVE: {
      int64_t t = 0;
      if (__builtin_add_overflow(start, offset, &t)) t = offset < 0 ? INT64_MIN : INT64_MAX;
      if (t >= 1 || start < 1) return classify(t);
      // Moving back past row 1 from the first rowset, or by more than a rowset,
      // leaves the result; by less it lands on the first rowset.
      *target = t;
      return start == 1 || offset < -int64_t{rowsetSize} ? SCS_ROWSET_BEFORE
                                                         : SCS_ROWSET_OVERLAPS_START;
    }
    default: *target = 0; return SCS_ROWSET_FORWARD;
  }
}

int32_t scs_p_DriverScroll(SCS* scs, uint16_t orientation, int32_t target, uint32_t* rows) {
  auto* stmt = static_cast<Stmt*>(scs->sc_owner);
  const DriverOps* ops = scs->sc_driver->ops;
  int32_t n = 0;
  int32_t rc = ERR_NOT_CAPABLE;
  const bool dynMix =
      stmt != nullptr && stmt->st_dbc != nullptr && stmt->st_dbc->cn_hasDynMixCurs != 0;
  if (dynMix && ops->DRV_ExtendedFetch2 != nullptr) {
    rc = ops->DRV_ExtendedFetch2(scs->sc_hCursor, &scs->sc_rowStatus, target, &n, &scs->sc_rowCount,
                                 orientation);
  } else if (ops->DRV_ExtendedFetch != nullptr) {
    rc = ops->DRV_ExtendedFetch(scs->sc_hCursor, &scs->sc_rowStatus, target, &n, &scs->sc_rowCount);
  }
  *rows = n > 0 ? static_cast<uint32_t>(n) : 0;
  const bool endOfData = rc == ERR_NO_DATA || rc == ERR_BEFORE_START || rc == ERR_AFTER_END;
  if (rc != 0 && !endOfData && stmt != nullptr) (void)StmtPostDriverErrors(stmt);
  return rc;
}

int32_t SCS_FetchScroll(SCS* scs, uint16_t orientation, int64_t offset, uint32_t* rows) {
  *rows = 0;
  const bool forwardOnly = scs->sc_cursorType == SCS_FORWARD_ONLY;
  // A forward-only cursor's table goes down again to carry the next rowset; an answer
  // without a driver call drops it, as any other cursor's is dropped here.
  KeptTable kept;
  if (forwardOnly) std::swap(kept.table, scs->sc_rowStatus);
  SCS_FreeRowStatus(scs);
  if ((scs->sc_flags & SCS_F_ROWSET_CHANGED) == 0) scs->sc_prevRowsetSize = scs->sc_rowsetSize;
  const bool dynMix = dynamic_or_mixed(scs);
  if (forwardOnly && orientation != SQL_FETCH_NEXT) return ERR_FETCH_TYPE;
  if (scs->sc_fetchDirections == 0) read_fetch_directions(scs);
  if ((scs->sc_fetchDirections & direction_bit(orientation)) == 0) return ERR_FETCH_TYPE;
  if (scs->sc_rowsetStart == SCS_START_UNKNOWN && !dynMix && !forwardOnly &&
      orientation != SQL_FETCH_FIRST && orientation != SQL_FETCH_LAST &&
      orientation != SQL_FETCH_ABSOLUTE && orientation != SQL_FETCH_BOOKMARK)
    return ERR_FETCH_TYPE;

  const int32_t pos = scs->sc_position;
  bool absoluteChecks = true;
  switch (orientation) {
    case SQL_FETCH_NEXT:
      if (pos == SCS_POS_BEFORE_START) orientation = SQL_FETCH_FIRST;
      break;
    case SQL_FETCH_PRIOR:
      if (pos == SCS_POS_AFTER_END) orientation = SQL_FETCH_LAST;
      break;
    case SQL_FETCH_RELATIVE:
      if ((pos == SCS_POS_AFTER_END && offset < 0) || (pos == SCS_POS_BEFORE_START && offset > 0)) {
        if (dynMix) return ERR_FETCH_TYPE;
        orientation = SQL_FETCH_ABSOLUTE;
        absoluteChecks = false;
      } else if ((pos == SCS_POS_AFTER_END && offset >= 0) ||
                 (pos == SCS_POS_BEFORE_START && offset <= 0)) {
        // No move leaves either end for the other side.
        return ERR_NO_DATA;
      }
      break;
    case SQL_FETCH_BOOKMARK:
      if (dynMix) return ERR_FETCH_TYPE;
      if (offset <= 0) return off_the_end(scs, SCS_POS_BEFORE_START, rows);
      orientation = SQL_FETCH_ABSOLUTE;
      break;
    default: break;
  }
  if (orientation == SQL_FETCH_ABSOLUTE && absoluteChecks) {
    if (dynMix) return ERR_FETCH_TYPE;
    if (offset == 0) return off_the_end(scs, SCS_POS_BEFORE_START, rows);
  }

  // Row numbers, counts and the back end's targets are 32-bit: a row beyond them
  // lies past the end of any result, one before -INT32_MAX before its start, and a
  // move by more than INT32_MAX rows leaves the result whichever row it starts from.
  int64_t target = offset;
  if (forwardOnly) {
    // Only a count of rows delivered: it stops at the largest row number.
    target = std::min<int64_t>(int64_t{scs->sc_rowsetStart} + scs->sc_prevRowsetSize, INT32_MAX);
  } else if (dynMix) {
    target = std::clamp<int64_t>(offset, -INT32_MAX, INT32_MAX);
  } else {
    switch (scs_p_ResolveRowset(orientation, offset, scs->sc_rowsetStart, scs->sc_rowCount,
                                scs->sc_rowsetSize, scs->sc_prevRowsetSize, &target)) {
      case SCS_ROWSET_BEFORE: return off_the_end(scs, SCS_POS_BEFORE_START, rows);
      case SCS_ROWSET_AFTER: return off_the_end(scs, SCS_POS_AFTER_END, rows);
      case SCS_ROWSET_OVERLAPS_START:
        orientation = SQL_FETCH_FIRST;
        target = 1;
        break;
      default: break;
    }
    if (target > INT32_MAX) return off_the_end(scs, SCS_POS_AFTER_END, rows);
    if (target < -INT32_MAX) return off_the_end(scs, SCS_POS_BEFORE_START, rows);
  }
  scs->sc_flags &= static_cast<uint16_t>(~SCS_F_ROWSET_CHANGED);

  std::swap(kept.table, scs->sc_rowStatus);
  const auto target32 = static_cast<int32_t>(target);
  const int32_t rc = scs_p_DriverScroll(scs, orientation, target32, rows);
  if (rc == ERR_BEFORE_START) return off_the_end(scs, SCS_POS_BEFORE_START, rows);
  if (rc == ERR_AFTER_END) return off_the_end(scs, SCS_POS_AFTER_END, rows);
  if (rc != 0) return rc;
  (void)SCS_SetPosition(scs, 1);
  scs->sc_rowsetStart = dynMix ? SCS_START_UNKNOWN : target32;
  // A target counted from the end while the count was unknown names its row
  // only now that the fetch told the count.
  if (!dynMix && !forwardOnly && target <= 0 && scs->sc_rowCount >= 0) {
    const int64_t fromEnd = target == 0 ? int64_t{scs->sc_rowCount} - scs->sc_rowsetSize + 1
                                        : int64_t{scs->sc_rowCount} + target + 1;
    scs->sc_rowsetStart = fromEnd < 1 ? 1 : static_cast<int32_t>(fromEnd);
  }
  return 0;
}
