// scs_dynamic.cpp -- the rowsets of dynamic and mixed cursors. A mixed cursor
// keeps a window of at most sc_keysetSize keys and serves rowsets from it by
// key like a keyset-driven cursor, moving the window when a rowset leaves it;
// a dynamic cursor's window is exactly its rowset, read afresh in sort order
// at every fetch, so that it sees rows other sessions added, changed and
// removed. Also here: the ordering columns of the window, the window bound,
// and the old values and row versions kept after the cursor's own updates.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "scrs/ks.h"
#include "scrs/rvc.h"
#include "scrs/scs_p.h"

namespace {

int32_t keys_held(const SCS* scs) {
  return scs->sc_keyset != nullptr && scs->sc_keyset->keys != nullptr
             ? scs->sc_keyset->keys->rowCount
             : 0;
}

// The table's columns, read once, to type the sort columns no key describes.
int32_t table_cols(SCS* scs) {
  if (scs->sc_tableCols != nullptr) return 0;
  if (scs->sc_tables == nullptr) return ERR_GENERAL;
  scs->sc_tableCols = DynArrayNew(sizeof(ColDesc));
  if (scs->sc_tableCols == nullptr) return ERR_MEMORY;
  auto* tables = static_cast<TblDesc*>(scs->sc_tables->items);
  const auto count = static_cast<int32_t>(scs->sc_tables->count);
  if (int32_t rc = scs_p_GetTblColDescs(scs, tables, count, 1, scs->sc_tableCols); rc != 0)
    return rc;
  return scs_p_AddRowIdCols(tables, count, scs->sc_tableCols);
}

int32_t block_sizes(const SCS* scs, int32_t* blocks, int32_t* last, int32_t* size) {
  return scs_p_KeyBlockSizes(scs, blocks, last, size);
}

// Old values of the rowset (keys' rows from 0) into sc_optValues.
int32_t read_old_values(SCS* scs) {
  int32_t blocks = 0, last = 0, size = 0;
  if (int32_t rc = block_sizes(scs, &blocks, &last, &size); rc != 0) return rc;
  if (int32_t rc = table_cols(scs); rc != 0) return rc;
  return scs_p_GetOptConcColVals(scs, nullptr, 0, blocks, size, last);
}

}  // namespace

int32_t scs_p_MapKeyCols(SCS* scs) {
  if ((scs->sc_analysisFlags & SA_GROUPBY) != 0) return ERR_GROUP_BY;
  if ((scs->sc_analysisFlags & SA_UNION) != 0) return ERR_UNION;
  const KS* ks = scs->sc_keyset;
  const uint32_t nk = ks != nullptr ? scs_p_Count(ks->keyCols) : 0;
  if (nk == 0) return ERR_GENERAL;
  const uint32_t items = scs_p_Count(scs->sc_orderBy);
  if (items == 0) {
    scs->sc_orderColCount = static_cast<uint16_t>(nk);
    return 0;
  }
  const auto* keys = static_cast<const ColDesc*>(ks->keyCols->items);
  auto* item = static_cast<OrderByItem*>(scs->sc_orderBy->items);
  std::vector<bool> named(nk, false);
  uint32_t matched = 0, lastMatched = 0, walked = 0;
  for (uint32_t j = 0; j < items && matched < nk; ++j) {
    OrderByItem& it = item[j];
    ++walked;
    uint32_t k = 0;
    while (k < nk && !scs_p_ItemNamesKey(it, keys[k])) ++k;
    it.keyMatch = k < nk ? 1 : 0;
    if (k < nk) {
      it.sqlType = keys[k].sqlType;
      it.columnSize = keys[k].columnSize;
      it.decimalDigits = keys[k].decimalDigits;
      // A key the ORDER BY names twice is still one key.
      if (!named[k]) {
        named[k] = true;
        ++matched;
        lastMatched = j + 1;
      }
      continue;
    }
    if (it.sqlType != 0) continue;
    if (int32_t rc = table_cols(scs); rc != 0) return rc;
    ColDesc probe{};
    std::memcpy(probe.name, it.name, sizeof probe.name);
    std::memcpy(probe.table, it.table, sizeof probe.table);
    std::memcpy(probe.owner, it.owner, sizeof probe.owner);
    const ColDesc* col = scs_p_FindColDesc(static_cast<ColDesc*>(scs->sc_tableCols->items),
                                           scs->sc_tableCols->count, &probe, nullptr);
    if (col == nullptr) return ERR_GENERAL;
    it.sqlType = col->sqlType;
    it.columnSize = col->columnSize;
    it.decimalDigits = col->decimalDigits;
  }
  // Every item walked, then the keys no item names: the last column of the
  // order always completes the key.
  const uint32_t n = matched == nk ? lastMatched : walked + (nk - matched);
  if (n > UINT16_MAX) return ERR_GENERAL;
  scs->sc_orderColCount = static_cast<uint16_t>(n);
  return 0;
}

int32_t scs_p_KeysetWindow(SCS* scs, Dataset** out) {
  *out = nullptr;
  KS* ks = scs->sc_keyset;
  Dataset* keys = ks->keys;
  if (keys->rowCount == 0) return ERR_GENERAL;
  Dataset* bound = nullptr;
  int32_t rc = DatasetCloneLayout(&bound, keys, 2);
  if (rc == 0) rc = DatasetCopyRow(bound, keys, 0, 0, 0);
  if (rc == 0) rc = DatasetCopyRow(bound, keys, 1, static_cast<uint32_t>(keys->rowCount - 1), 0);
  if (rc == 0) bound->rowCount = 2;
  while (rc == 0 && keys->colCount > scs_p_Count(ks->keyCols))
    rc = DatasetDeleteColumn(keys, static_cast<uint16_t>(keys->colCount - 1));
  if (rc != 0) {
    scs_p_FreeDataset(&bound);
    return rc;
  }
  *out = bound;
  return 0;
}

bool scs_p_ComparesOldValues(const SCS* scs) {
  return scs->sc_concurrency == SQL_CONCUR_VALUES || scs->sc_concurrency == SQL_CONCUR_ROWVER;
}

bool scs_p_WindowSelect(const SCS* scs) {
  const bool windowed = scs->sc_cursorType == SCS_DYNAMIC ||
                        (scs->sc_cursorType == SCS_KEYSET && scs->sc_keysetSize > 0);
  return windowed && scs->sc_analysis != nullptr && scs->sc_analysis->sa_kind == PN_SELECT &&
         scs->sc_keyset != nullptr && scs_p_Count(scs->sc_keyset->keyCols) > 0;
}

int32_t scs_p_ResetWindow(SCS* scs) {
  scs->sc_windowState = -6;
  scs->sc_rowCount = -1;
  KS_Reset(scs->sc_keyset);
  scs_p_FreeDataset(&scs->sc_windowBound);
  return scs->sc_rvc != nullptr ? RVC_DeleteRows(scs->sc_rvc) : 0;
}

int32_t scs_p_FetchMixed(SCS* scs, int32_t offset, uint16_t orientation, RowStatusTable* table) {
  const int32_t R = scs->sc_rowsetSize;
  const int32_t size = scs->sc_keysetSize;
  int32_t& W = scs->sc_windowState;
  const int32_t S = scs->sc_rowsetStart;
  if ((scs->sc_flags & SCS_F_KEYSET_SIZE_SET) != 0) {
    W = -6;
    scs->sc_flags &= static_cast<uint16_t>(~SCS_F_KEYSET_SIZE_SET);
  }
  auto load = [scs](int16_t o, int32_t v) { return KS_FetchWindow(scs, o, v); };
  int32_t a = 0;
  int32_t rc = 0;
  switch (orientation) {
    case SQL_FETCH_FIRST:
      // The first window stays usable, and so does a last one that holds the whole result.
      if (!(W == -2 || (W == -3 && keys_held(scs) < size))) W = -6;
      if (W == -6) {
        if ((rc = load(SQL_FETCH_FIRST, 0)) != 0) break;
        W = -2;
      }
      break;
    case SQL_FETCH_LAST:
      if (W != -3) {
        if ((rc = load(SQL_FETCH_LAST, 0)) != 0) break;
        W = -3;
      }
      a = keys_held(scs) - R > 0 ? keys_held(scs) - R : 0;
      break;
    case SQL_FETCH_NEXT:
      if (W != -6 && W != -5 && S + 2 * R - 1 <= keys_held(scs)) {
        a = S + R - 1;
        break;
      }
      if (W == -5) {
        rc = ERR_AFTER_END;
        break;
      }
      rc = load(SQL_FETCH_RELATIVE, S + R - 1);
      if (rc == ERR_NO_DATA) {
        W = -5;
        rc = ERR_AFTER_END;
        break;
      }
      if (rc == 0) W = -1;
      break;
    case SQL_FETCH_PRIOR:
      if (W == -5) {
        if ((rc = load(SQL_FETCH_LAST, 0)) != 0) break;
        W = -3;
        a = keys_held(scs) - R > 0 ? keys_held(scs) - R : 0;
        break;
      }
      if (W != -6) {
        a = S - 1 - R;
        if (a >= 0) break;
        if (W == -2 && a > -R) {
          a = 0;
          break;
        }
        if (W == -2) {
          rc = ERR_BEFORE_START;
          break;
        }
      }
      rc = load(SQL_FETCH_RELATIVE, S - size - 1);
      if (rc == ERR_NO_DATA) {
        // The window read nothing and holds nothing.
        W = -6;
        rc = ERR_BEFORE_START;
        break;
      }
      if (rc != 0) break;
      W = -1;
      a = keys_held(scs) - R;
      if (keys_held(scs) < size) {
        // The window reached the start of the result.
        if ((rc = load(SQL_FETCH_FIRST, 0)) != 0) break;
        W = -2;
        if (a < 0) a = 0;
      }
      break;
    case SQL_FETCH_RELATIVE: {
      // The move from the window's first key; far moves leave any result whichever
      // way they are cut to the window's 32 bits.
      const int64_t to = int64_t{S} + offset - 1;
      if (W != -6 && W != -5 && to >= 0 && to + R <= keys_held(scs)) {
        a = static_cast<int32_t>(to);
        break;
      }
      const int32_t K0 = keys_held(scs);
      const int32_t move =
          W == -5 ? offset : static_cast<int32_t>(std::clamp<int64_t>(to, -INT32_MAX, INT32_MAX));
      rc = load(SQL_FETCH_RELATIVE, move);
      if (rc == ERR_NO_DATA) {
        // The window read nothing and holds nothing.
        rc = offset < 0 ? ERR_BEFORE_START : ERR_AFTER_END;
        W = offset >= 0 ? -5 : -6;
        break;
      }
      if (rc != 0) break;
      a = 0;
      W = -1;
      if (move >= 0) break;
      // A window moved back that holds fewer keys than it should starts at row 1, and
      // how many it holds tells how many rows there were before the rowset (as in
      // fetch_dynamic, with the keyset size for the rowset size).
      const int64_t v = -int64_t{move};
      const int32_t K = keys_held(scs);
      const bool fromShort = v < size && K0 < size && K0 + v <= size;
      if (fromShort ? K >= K0 + v : K >= size) break;
      const int64_t p = (fromShort ? K - K0 : K + v - size) + S - 1;
      // ODBC's rules: from row 1, or back by more than a rowset, no row; else the
      // first rowset, from the first window.
      if (p <= 0 || -int64_t{offset} > R) {
        W = -6;
        rc = ERR_BEFORE_START;
        break;
      }
      if ((rc = load(SQL_FETCH_FIRST, 0)) != 0) break;
      W = -2;
      break;
    }
    default: return ERR_FETCH_TYPE;
  }
  if (rc == ERR_BEFORE_START) (void)SCS_SetPosition(scs, SCS_POS_BEFORE_START);
  if (rc == ERR_AFTER_END) (void)SCS_SetPosition(scs, SCS_POS_AFTER_END);
  if (rc != 0) return rc;
  if (a >= keys_held(scs)) {
    (void)SCS_SetPosition(scs, SCS_POS_AFTER_END);
    return ERR_AFTER_END;
  }
  if ((rc = scs_p_FetchKeyset(scs, table, a)) != 0) return rc;
  // Only a first window shorter than the keyset size knows the whole result.
  if (W == -2 && keys_held(scs) < size) scs->sc_rowCount = keys_held(scs);
  return 0;
}

int32_t scs_p_FetchDynamicRows(SCS* scs, uint16_t orientation, int32_t offset,
                               RowStatusTable* table) {
  KS* ks = scs->sc_keyset;
  const DriverOps& ops = *scs->sc_driver->ops;
  for (int attempt = 0; attempt < 3; ++attempt) {
    (void)ops.DRV_CloseCursor(scs->sc_hCursor);
    DatasetFree(table->rows);
    // A later attempt reads the same position again: the window from its first key.
    const int32_t rc =
        attempt == 0
            ? KS_FetchWindow(scs, static_cast<int16_t>(orientation),
                             orientation == SQL_FETCH_RELATIVE ? offset : 0)
            : KS_FetchWindow(scs, SQL_FETCH_RELATIVE, 0);
    if (rc != 0) return rc;
    if (int32_t r = scs_p_FetchKeyset(scs, table, 0); r != 0) return r;
    bool vanished = false;
    for (int32_t k = 0; k < ks->keys->rowCount && !vanished; ++k)
      vanished = ks->rowStatus[k] == SQL_ROW_DELETED;
    if (vanished) continue;
    if (scs->sc_rvc == nullptr) return 0;
    // Row versions are kept over all the row's values, as the old values hold them.
    if (!scs_p_ComparesOldValues(scs)) {
      if (int32_t r = read_old_values(scs); r != 0) return r;
    }
    if (scs->sc_optValues == nullptr || scs->sc_optValues->rowCount < table->rows->rowCount)
      return ERR_ROW;
    std::vector<uint16_t> st(static_cast<size_t>(ks->keys->rowCount), SQL_ROW_SUCCESS);
    if (int32_t r = RVC_CheckRowset(scs->sc_rvc, ks->keys, scs->sc_optValues, st.data()); r != 0)
      return r;
    for (size_t k = 0; k < st.size() && k < static_cast<size_t>(table->count); ++k)
      table->status[k] = st[k];
    return 0;
  }
  return ERR_KEYSET_CHANGED;
}

namespace {

int32_t fetch_dynamic(SCS* scs, int32_t offset, uint16_t orientation, RowStatusTable* table) {
  const int32_t R = scs->sc_rowsetSize;
  const int32_t K0 = keys_held(scs);
  int32_t n = 0;
  auto fetch = [&](uint16_t o, int32_t v) {
    const int32_t rc = scs_p_FetchDynamicRows(scs, o, v, table);
    n = rc == 0 ? table->rows->rowCount : 0;
    return rc == ERR_NO_DATA ? 0 : rc;
  };
  auto before_start = [scs] {
    (void)SCS_SetPosition(scs, SCS_POS_BEFORE_START);
    return ERR_BEFORE_START;
  };
  auto after_end = [scs] {
    (void)SCS_SetPosition(scs, SCS_POS_AFTER_END);
    return ERR_AFTER_END;
  };
  switch (orientation) {
    case SQL_FETCH_NEXT:
      if (int32_t rc = fetch(SQL_FETCH_NEXT, 0); rc != 0) return rc;
      if (n == 0) return after_end();
      scs->sc_rowsetStart = n < R ? -4 : SCS_START_UNKNOWN;
      return 0;
    case SQL_FETCH_FIRST:
    case SQL_FETCH_LAST:
      if (int32_t rc = fetch(orientation, 0); rc != 0) return rc;
      scs->sc_rowsetStart = SCS_START_UNKNOWN;
      if (n < R) scs->sc_rowCount = n;
      return 0;
    case SQL_FETCH_PRIOR:
      if (int32_t rc = fetch(SQL_FETCH_PRIOR, 0); rc != 0) return rc;
      scs->sc_rowsetStart = SCS_START_UNKNOWN;
      if (n == 0) return before_start();
      // The start lies inside the rowset before: that is the first rowset.
      if (n < R) return fetch(SQL_FETCH_FIRST, 0);
      return 0;
    case SQL_FETCH_RELATIVE: {
      if (int32_t rc = fetch(SQL_FETCH_RELATIVE, offset); rc != 0) return rc;
      if (n == 0) return offset < 0 ? before_start() : after_end();
      if (n >= R) {
        scs->sc_rowsetStart = SCS_START_UNKNOWN;
        return 0;
      }
      if (offset >= 0) {
        scs->sc_rowsetStart = -4;
        return 0;
      }
      // A short rowset after a move back either ends at the end of the result or
      // starts at row 1, which the rows the window read tell (KS_FetchWindow): a
      // window that held fewer keys than a rowset read back from its last key, the
      // rowset's rows with those before; otherwise the rows before the rowset's first.
      // p: the rows there were before the rowset moved from.
      const int64_t back = -int64_t{offset};
      const bool fromShort = back < R && K0 < R && K0 + back <= R;
      const bool landedBefore = fromShort ? n < K0 + back : n < R;
      if (!landedBefore) {
        scs->sc_rowsetStart = -4;
        return 0;
      }
      const int64_t p = fromShort ? n - K0 : n + back - R;
      // ODBC's rules: from row 1, or back by more than a rowset, no row; else the
      // first rowset.
      if (p <= 0 || back > R) return before_start();
      scs->sc_rowsetStart = SCS_START_UNKNOWN;
      return fetch(SQL_FETCH_FIRST, 0);
    }
    default: return ERR_FETCH_TYPE;
  }
}

}  // namespace

int32_t scs_p_FetchDynamic(SCS* scs, int32_t offset, uint16_t orientation, RowStatusTable* table) {
  // The window is exactly one rowset while the fetch runs; the keyset size
  // the application set (which a later cursor type may use) comes back.
  const int32_t asked = scs->sc_keysetSize;
  scs->sc_keysetSize = scs->sc_rowsetSize;
  const int32_t rc = fetch_dynamic(scs, offset, orientation, table);
  scs->sc_keysetSize = asked;
  return rc;
}

int32_t scs_p_RefreshOptValues(SCS* scs, const int32_t* rows, uint32_t count) {
  Dataset* kept = scs->sc_optValues;
  scs->sc_optValues = nullptr;
  int32_t rc = read_old_values(scs);
  Dataset* fresh = scs->sc_optValues;
  if (kept == nullptr) return rc;
  for (uint32_t i = 0; rc == 0 && i < count; ++i) {
    if (fresh == nullptr || rows[i] < 0 || rows[i] >= fresh->rowCount) {
      rc = ERR_ROW;
      break;
    }
    rc = DatasetCopyRow(kept, fresh, static_cast<uint32_t>(rows[i]),
                        static_cast<uint32_t>(rows[i]), 1);
  }
  scs_p_FreeDataset(&fresh);
  scs->sc_optValues = kept;
  return rc;
}

int32_t scs_p_AfterDynamicUpdate(SCS* scs, const int32_t* rows, uint32_t count) {
  if (count == 0) return 0;
  if (int32_t rc = scs_p_RefreshOptValues(scs, rows, count); rc != 0) return rc;
  if (scs->sc_rvc == nullptr) return 0;
  KS* ks = scs->sc_keyset;
  std::vector<uint8_t> keyDigests(size_t(count) * 16), rowDigests(size_t(count) * 16);
  std::vector<uint16_t> st(count, SQL_ROW_UPDATED);
  for (uint32_t i = 0; i < count; ++i) {
    if (RVC_RowDigest(ks->keys, rows[i], &keyDigests[size_t(i) * 16]) != 0 ||
        RVC_RowDigest(scs->sc_optValues, rows[i], &rowDigests[size_t(i) * 16]) != 0)
      st[i] = SQL_ROW_ERROR;
  }
  const int32_t rc = RVC_UpdateRowVer(scs->sc_rvc, keyDigests.data(), rowDigests.data(), st.data(),
                                      static_cast<int32_t>(count));
  for (uint32_t i = 0; i < count; ++i)
    if (st[i] == SQL_ROW_ERROR && rows[i] < ks->rowStatusCount) ks->rowStatus[rows[i]] = SQL_ROW_ERROR;
  return rc;
}
