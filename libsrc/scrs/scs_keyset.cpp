// scs_keyset.cpp -- the rowset of a keyset-driven cursor, selected again by
// the keys of its rows in blocks of key groups, with the rows placed by their
// key values, vanished rows marked deleted, and the old values or locks that
// its concurrency asks for.
// The keyed row SELECT carries the key columns behind the user's select list:
// the rows come back in the order of the user's ORDER BY as it stands now, so
// only their key values tell which keyset row each one is (another session
// may have changed a sort column since the keyset was read). The extra
// columns are dropped before the rowset goes up.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "scrs/scs_keyset";


// Row r of rows carries, in its columns `at` (one per key column), the key of
// row k of keys.
bool same_key(const Dataset* rows, uint32_t r, const std::vector<uint16_t>& at, const Dataset* keys,
              uint32_t k) {
  for (uint16_t c = 0; c < keys->colCount; ++c)
    if (!scs_p_SameCell(rows, r, at[c], keys, k, c)) return false;
  return true;
}

std::vector<uint16_t> columns_from(uint16_t first, uint16_t n) {
  std::vector<uint16_t> at(n);
  for (uint16_t c = 0; c < n; ++c) at[c] = static_cast<uint16_t>(first + c);
  return at;
}

// For keys' rows [k0, k0 + n): the row of found whose key columns (`at`) hold
// that key, or -1 (always for a row `gone` marks deleted; gone may be null).
// A found row serves one key row; a key asked for twice shares it.
// The rows mostly come back in the keys' order, so each key is first tried on
// the row after the one the key before it took, and only a miss searches.
std::vector<int32_t> match_keys(const Dataset* found, const std::vector<uint16_t>& at,
                                const Dataset* keys, int32_t k0, int32_t n, const uint16_t* gone) {
  std::vector<int32_t> from(static_cast<size_t>(n), -1);
  std::vector<bool> taken(static_cast<size_t>(found->rowCount), false);
  const std::vector<uint16_t> own = columns_from(0, keys->colCount);
  int32_t next = 0;
  for (int32_t j = 0; j < n; ++j) {
    if (gone != nullptr && gone[j] == SQL_ROW_DELETED) continue;
    if (next < found->rowCount && !taken[next] && same_key(found, next, at, keys, k0 + j)) {
      from[j] = next;
    } else {
      for (int32_t r = 0; r < found->rowCount; ++r) {
        if (taken[r] || !same_key(found, r, at, keys, k0 + j)) continue;
        from[j] = r;
        break;
      }
    }
    if (from[j] >= 0) {
      taken[from[j]] = true;
      next = from[j] + 1;
    }
    for (int32_t i = 0; i < j && from[j] < 0; ++i)
      if (from[i] >= 0 && same_key(keys, k0 + i, own, keys, k0 + j)) from[j] = from[i];
  }
  return from;
}

// out := n rows laid out like found, row j a copy of found's row from[j]
// (moved at its last use), or all NULL where from[j] is -1; found is left
// empty when its rows are moved over whole.
int32_t arrange(Dataset* found, const std::vector<int32_t>& from, int32_t n, Dataset* out) {
  // Rows that came back one for each key in the keys' order are the answer as they stand.
  bool inOrder = found->rowCount == n;
  for (int32_t j = 0; j < n && inOrder; ++j) inOrder = from[j] == j;
  if (inOrder) {
    DatasetFree(out);
    *out = *found;
    *found = Dataset{};
    return 0;
  }
  Dataset* laid = out;
  DatasetFree(out);
  if (int32_t rc = DatasetCloneLayout(&laid, found, n); rc != 0) return rc;
  std::vector<int32_t> lastUse(static_cast<size_t>(found->rowCount), -1);
  for (int32_t j = 0; j < n; ++j)
    if (from[j] >= 0) lastUse[from[j]] = j;
  for (int32_t j = 0; j < n; ++j) {
    out->rowCount = j;
    if (from[j] < 0) continue;
    if (int32_t rc = DatasetCopyRow(out, found, static_cast<uint32_t>(j),
                                    static_cast<uint32_t>(from[j]), lastUse[from[j]] == j ? 1 : 0);
        rc != 0)
      return rc;
  }
  out->rowCount = n;
  return 0;
}

// The keyed row SELECT for blocks of `groups` keys in sc_analysis, prepared on
// the user's cursor: the user's statement ordered by the keys, the keys
// behind its select list, the key predicate in front of its condition.
int32_t build_keyed_select(SCS* scs, uint32_t groups) {
  SCR_Analysis* a = scs->sc_analysis;
  KS* ks = scs->sc_keyset;
  if ((scs->sc_flags & SCS_F_KEYED_SELECT) != 0 || a->sa_root == nullptr) {
    scs->sc_flags &= static_cast<uint16_t>(~(SCS_F_KEY_ORDER | SCS_F_KEYED_SELECT));
    if (int32_t rc = scs_p_Reanalyse(scs, a, scs->sc_sqlText); rc != 0) return rc;
  }
  if ((scs->sc_flags & SCS_F_KEY_ORDER) == 0) {
    if (int32_t rc = KS_KeyOrderBy(a, scs); rc != 0) return rc;
    scs->sc_flags |= SCS_F_KEY_ORDER;
  }
  if (int32_t rc = scs_p_Reanalyse(scs, a, a->sa_generated); rc != 0) return rc;
  if (int32_t rc = SCR_SelListAppendPlaceholder(a); rc != 0) return rc;
  std::string keys;
  for (uint32_t i = 0; i < ks->keyCols->count; ++i) {
    char* name =
        scs_p_QualifiedColName(ks->tableCount, static_cast<ColDesc*>(ks->keyCols->items) + i);
    if (name == nullptr) return ERR_MEMORY;
    keys += ", ";
    keys += name;
    std::free(name);
  }
  if (int32_t rc = scs_p_SplicePiece(a, keys.c_str()); rc != 0) return rc;
  if (int32_t rc = scs_p_Reanalyse(scs, a, a->sa_generated); rc != 0) return rc;
  if (int32_t rc = KS_KeyWhere(a, ks, groups); rc != 0) return rc;
  if (scs->sc_concurrency == SQL_CONCUR_LOCK && scs->sc_lockByUpdate == 0) {
    std::string text = std::string(a->sa_generated) + " FOR UPDATE";
    char* copy = strdup(text.c_str());
    if (copy == nullptr) return ERR_MEMORY;
    std::free(a->sa_generated);
    a->sa_generated = copy;
  }
  // The statement on the user's cursor no longer is the user's statement.
  scs->sc_flags =
      static_cast<uint16_t>((scs->sc_flags & ~SCS_F_ROWSET_CHANGED) | SCS_F_KEYED_SELECT);
  return scs->sc_driver->ops->DRV_Prepare(scs->sc_hCursor, a->sa_generated);
}

// The keyed row SELECT ready on the user's cursor for blocks of `groups` keys.
int32_t keyed_select_ready(SCS* scs, int32_t groups) {
  if ((scs->sc_flags & SCS_F_KEYED_SELECT) != 0 && (scs->sc_flags & SCS_F_ROWSET_CHANGED) == 0)
    return 0;
  return build_keyed_select(scs, static_cast<uint32_t>(groups));
}

// Blocks of `size` keys for n key rows (a request may hold other than a
// rowset's rows).
void blocks_for(int32_t n, int32_t size, int32_t* blocks, int32_t* lastBlock) {
  *blocks = (n + size - 1) / size;
  *lastBlock = n - (*blocks - 1) * size;
}

// The rows found, their key columns (behind the user's select list) dropped,
// laid out in the order of keys' rows [k0, k0 + n) into out; *from gets the
// found row of each (-1: none).
int32_t place_by_keys(SCS* scs, Dataset* found, const Dataset* keys, int32_t k0, int32_t n,
                      const uint16_t* gone, Dataset* out, std::vector<int32_t>* from) {
  const uint16_t keyCols = keys->colCount;
  if (found->colCount == 0 && found->rowCount == 0) {
    // No key came back, so the answer has no layout: every row is gone, and
    // its empty rows are laid out as the statement's columns.
    from->assign(static_cast<size_t>(n), -1);
    DatasetFree(out);
    if (int32_t rc = DatasetFromColumnInfo(scs->sc_resultCols, scs->sc_resultColCount, n, out);
        rc != 0)
      return rc;
    out->rowCount = n;
    return 0;
  }
  if (found->colCount < keyCols) return ERR_GENERAL;
  const auto userCols = static_cast<uint16_t>(found->colCount - keyCols);
  *from = match_keys(found, columns_from(userCols, keyCols), keys, k0, n, gone);
  for (uint16_t c = 0; c < keyCols; ++c) {
    if (int32_t rc = DatasetDeleteColumn(found, userCols); rc != 0) return rc;
  }
  return arrange(found, *from, n, out);
}

// The rowset in keyset order out of the rows found: each keyset row takes the
// found row with its key, or stays empty and is marked deleted.
int32_t place_rows(SCS* scs, Dataset* found, int32_t first, int32_t n, Dataset* out) {
  KS* ks = scs->sc_keyset;
  std::vector<int32_t> from;
  if (int32_t rc = place_by_keys(scs, found, ks->keys, first - ks->windowStart, n,
                                 ks->rowStatus + first, out, &from);
      rc != 0)
    return rc;
  for (int32_t j = 0; j < n; ++j)
    if (from[j] < 0) ks->rowStatus[first + j] = SQL_ROW_DELETED;
  return 0;
}

// sc_optValues, empty, made when the cursor has none yet.
int32_t empty_old_values(SCS* scs) {
  if (scs->sc_optValues == nullptr) {
    scs->sc_optValues = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (scs->sc_optValues == nullptr || DatasetInit(scs->sc_optValues, 0) != 0) {
      scs_p_FreeDataset(&scs->sc_optValues);
      return ERR_MEMORY;
    }
  } else {
    DatasetFree(scs->sc_optValues);
  }
  return 0;
}

// The old-value SELECT (every table column) ready on sc_auxCursor2, finding
// the rows of blocks of `groups` keys. A keyset-driven cursor builds its key
// predicate from the user's statement for the block size in force: the keyed
// row SELECT on the user's cursor may still be the one of the rowset size
// before, and a predicate with another number of markers than the blocks
// carry fails after the rows were changed.
int32_t old_values_ready(SCS* scs, int32_t groups) {
  if (scs->sc_cursorType != SCS_DYNAMIC && (scs->sc_aux2Prepared & SCS_AUX2_OLD_VALUES) != 0)
    return 0;
  scs->sc_aux2Prepared = 0;
  SCR_Analysis* a = scs->sc_aux2Analysis;
  std::string base = scs->sc_analysis->sa_generated != nullptr ? scs->sc_analysis->sa_generated
                                                               : scs->sc_sqlText;
  if (scs->sc_cursorType == SCS_KEYSET && groups > 0) {
    if (int32_t rc = scs_p_Reanalyse(scs, a, scs->sc_sqlText); rc != 0) return rc;
    if (int32_t rc = KS_KeyWhere(a, scs->sc_keyset, static_cast<uint32_t>(groups)); rc != 0)
      return rc;
    base = a->sa_generated;
  }
  if (int32_t rc = scs_p_OptValuesSelect(scs, base.c_str(), a); rc != 0) return rc;
  if (int32_t rc = scs->sc_driver->ops->DRV_Prepare(scs->sc_auxCursor2,
                                                    scs->sc_aux2Analysis->sa_generated);
      rc != 0)
    return rc;
  scs->sc_aux2Prepared = SCS_AUX2_OLD_VALUES;
  return 0;
}

// The old values of keys' rows [k0, k0 + n), placed by their keys like the
// rows, into sc_optValues.
int32_t old_values_by_keys(SCS* scs, Dataset* keys, int32_t k0, int32_t n, const uint16_t* gone,
                           int32_t blocks, int32_t lastBlock, int32_t blockSize) {
  KS* ks = scs->sc_keyset;
  std::vector<uint16_t> at;
  auto* cols = static_cast<ColDesc*>(scs->sc_tableCols->items);
  for (uint32_t k = 0; k < ks->keyCols->count; ++k) {
    uint32_t index = 0;
    const ColDesc* key = static_cast<const ColDesc*>(ks->keyCols->items) + k;
    if (scs_p_FindColDesc(cols, scs->sc_tableCols->count, key, &index) == nullptr)
      return ERR_GENERAL;
    at.push_back(static_cast<uint16_t>(index));
  }
  auto* found = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (found == nullptr) return ERR_MEMORY;
  int32_t rc = scs_p_RunKeyBlocks(scs, scs->sc_auxCursor2, keys, k0, n, blocks, lastBlock,
                                  blockSize, found);
  // Rows that are all gone have no old values to hold.
  if (rc == 0 && found->colCount == 0 && found->rowCount == 0) {
    DatasetFree(scs->sc_optValues);
    scs_p_FreeDataset(&found);
    return 0;
  }
  if (rc == 0 && found->colCount != scs->sc_tableCols->count) rc = ERR_GENERAL;
  if (rc == 0) rc = arrange(found, match_keys(found, at, keys, k0, n, gone), n, scs->sc_optValues);
  scs_p_FreeDataset(&found);
  return rc;
}

}  // namespace

bool scs_p_SameCell(const Dataset* a, uint32_t ra, uint16_t ca, const Dataset* b, uint32_t rb,
                    uint16_t cb) {
  const DatasetColumn& x = a->cols[ca];
  const DatasetColumn& y = b->cols[cb];
  const bool nx = x.ind[ra] == DS_IND_NULL;
  const bool ny = y.ind[rb] == DS_IND_NULL;
  if (nx || ny) return nx && ny;
  // Numbers, dates and fixed slots are their whole slot: equal slots, equal values.
  if (x.type == y.type && x.width == y.width && x.data != nullptr && y.data != nullptr &&
      ((x.type >= DS_BIT && x.type <= DS_BINARY) || x.type == DS_CHAR || x.type == DS_WCHAR))
    return std::memcmp(x.data + size_t(ra) * x.width, y.data + size_t(rb) * y.width, x.width) == 0;
  std::vector<char> vx(x.width + 16), vy(y.width + 16);
  auto lx = static_cast<uint32_t>(vx.size());
  auto ly = static_cast<uint32_t>(vy.size());
  if (DatasetGetValue(a, ra, ca, vx.data(), &lx) != 0 ||
      DatasetGetValue(b, rb, cb, vy.data(), &ly) != 0)
    return false;
  return lx == ly && std::memcmp(vx.data(), vy.data(), lx) == 0;
}

int32_t scs_p_FetchKeyset(SCS* scs, RowStatusTable* table, int32_t target) {
  KS* ks = scs->sc_keyset;
  const int32_t size = scs->sc_rowsetSize;
  int32_t first = target;
  if (scs->sc_keysetSize <= 0) {
    if (target > 0) {
      first = target - 1;
    } else if (target == 0) {
      first = scs->sc_rowCount - size > 0 ? scs->sc_rowCount - size : 0;
    } else {
      // Counted from the end; past row 1 by no more than a rowset's length it is the
      // first rowset.
      const int64_t back = int64_t{scs->sc_rowCount} + target;
      first = back >= 0 ? static_cast<int32_t>(back) : -int64_t{target} <= size ? 0 : -1;
    }
    if (first < 0) {
      (void)SCS_SetPosition(scs, SCS_POS_BEFORE_START);
      return ERR_BEFORE_START;
    }
    if (first > scs->sc_rowCount - 1) {
      (void)SCS_SetPosition(scs, SCS_POS_AFTER_END);
      return ERR_AFTER_END;
    }
  }
  scs->sc_rowsetStart = first + 1;
  KS_ForgetMarks(ks);
  int32_t blocks = 0, lastBlock = 0, blockSize = 0;
  if (int32_t rc = scs_p_KeyBlockSizes(scs, &blocks, &lastBlock, &blockSize); rc != 0) return rc;
  if (int32_t rc = keyed_select_ready(scs, blockSize); rc != 0) return rc;
  if (scs->sc_keysetSize <= 0) {
    if (int32_t rc = DSC_GetWindow(&ks->cache, first, static_cast<uint32_t>(size), &ks->windowStart,
                                   ks->keys);
        rc != 0)
      return rc;
  }
  int32_t held = ks->keys->rowCount + ks->windowStart - first;
  // The keyset may hold keys past a row limit lowered since it was read.
  if (scs->sc_keysetSize <= 0 && held > scs->sc_rowCount - first) held = scs->sc_rowCount - first;
  const int32_t n = held < size ? held : size;
  if (n <= 0 || first + n > ks->rowStatusCount) return ERR_GENERAL;
  Dataset* found = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (found == nullptr) return ERR_MEMORY;
  int32_t rc = scs_p_RunKeyBlocks(scs, scs->sc_hCursor, ks->keys, first - ks->windowStart, n,
                                  blocks, lastBlock, blockSize, found);
  if (rc == 0) rc = place_rows(scs, found, first, n, table->rows);
  scs_p_FreeDataset(&found);
  if (rc != 0) return rc;
  if (scs_p_CheckScrollable(scs) == 0) {
    if (scs_p_ComparesOldValues(scs))
      rc = scs_p_GetOptConcColVals(scs, nullptr, first, blocks, blockSize, lastBlock);
    else if (scs->sc_concurrency == SQL_CONCUR_LOCK && scs->sc_lockByUpdate != 0)
      rc = scs_p_LockRows(scs, first, size);
    if (rc != 0) return rc;
  }
  for (int32_t k = 0; k < n && k < table->count; ++k) {
    uint16_t& st = ks->rowStatus[first + k];
    if (st == SQL_ROW_ERROR) st = SQL_ROW_SUCCESS;
    table->status[k] = st;
  }
  return 0;
}

int32_t scs_p_MarkMissingRows(SCS* scs, Dataset* rows, Dataset* keys, int32_t first,
                              int32_t windowStart, uint16_t* statuses) {
  if (rows == nullptr || keys == nullptr || statuses == nullptr) return ERR_GENERAL;
  const int32_t r0 = first - windowStart;
  const int32_t avail = keys->rowCount - r0;
  const int32_t count = scs->sc_rowsetSize < avail ? scs->sc_rowsetSize : avail;
  if (r0 < 0 || count <= 0) return ERR_GENERAL;
  Dataset* back = nullptr;
  int32_t rc = KS_FetchRowsByKeys(scs, keys, r0, &back);
  if (rc != 0) {
    scs_p_FreeDataset(&back);
    return rc;
  }
  // A key is missing when no key that came back equals it, wherever it came back.
  for (int32_t j = 0; j < count; ++j) {
    bool present = false;
    for (int32_t i = 0; i < back->rowCount && !present; ++i)
      present = back->colCount == keys->colCount &&
                same_key(back, i, columns_from(0, keys->colCount), keys, r0 + j);
    if (present) continue;
    if (rows->rowCount >= rows->rowCapacity) {
      rc = ERR_GENERAL;
      break;
    }
    if ((rc = DatasetInsertRow(rows, static_cast<uint32_t>(j))) != 0) break;
    statuses[first + j] = SQL_ROW_DELETED;
  }
  scs_p_FreeDataset(&back);
  return rc;
}

int32_t scs_p_OptValuesSelect(SCS* scs, const char* text, SCR_Analysis* a) {
  if (scs->sc_tableCols == nullptr || scs->sc_tableCols->count == 0) return ERR_GENERAL;
  if (int32_t rc = scs_p_Reanalyse(scs, a, text); rc != 0) return rc;
  if (int32_t rc = SCR_SelListPlaceholder(a); rc != 0) return rc;
  const auto* cols = static_cast<const ColDesc*>(scs->sc_tableCols->items);
  const uint32_t tables = scs->sc_keyset != nullptr ? scs->sc_keyset->tableCount : 1;
  std::string list;
  for (uint32_t i = 0; i < scs->sc_tableCols->count; ++i) {
    if (i > 0) list += ", ";
    char* name = scs_p_QualifiedColName(tables, &cols[i]);
    if (name == nullptr) return ERR_MEMORY;
    list += name;
    std::free(name);
  }
  return scs_p_SplicePiece(a, list.c_str());
}

int32_t scs_p_GetOptConcColVals(SCS* scs, Dataset* params, int32_t first, int32_t blocks,
                                int32_t blockSize, int32_t lastBlock) {
  const DriverOps& ops = *scs->sc_driver->ops;
  KS* ks = scs->sc_keyset;
  if (int32_t rc = empty_old_values(scs); rc != 0) return rc;
  const DrvHandle h = scs->sc_auxCursor2;
  if (int32_t rc = old_values_ready(scs, scs->sc_cursorType == SCS_STATIC ? 0 : blockSize);
      rc != 0)
    return rc;
  if (scs->sc_cursorType == SCS_STATIC) {
    if (params != nullptr) {
      if (int32_t rc = ops.DRV_SetParams(h, params); rc != 0) return rc;
      if (scs->sc_resendParamTypes != 0 && scs->sc_paramTypeCount > 0) {
        if (int32_t rc = ops.DRV_SetParamTypes(h, scs->sc_paramTypeCount, scs->sc_paramTypes);
            rc != 0)
          return rc;
      }
    } else if (int32_t rc = scs_p_SendKeptParams(scs, h); rc != 0) {
      // Without parameters of its own the statement takes the user's.
      return rc;
    }
    if (int32_t rc = ops.DRV_Execute(h); rc != 0) return rc;
    DSC_Close(scs->sc_cache);
    int32_t total = 0;
    const int32_t rc = DSC_Fill(scs->sc_cache, scs->sc_driver, h, scs->sc_optValues, &total);
    (void)ops.DRV_CloseCursor(h);
    if (rc != 0) {
      log_printf(LOG_ERR, kSrc, __LINE__,
                 "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
      return rc;
    }
    if (scs->sc_cache->state == DSC_SPILLED) scs->sc_cacheWindowStart = -1;
    return 0;
  }
  // Old values, like the rows, are placed by their keys; the parameters of
  // every block are made from the keys again.
  const int32_t held = ks->keys->rowCount + ks->windowStart - first;
  const int32_t n = held < scs->sc_rowsetSize ? held : scs->sc_rowsetSize;
  if (n <= 0) return 0;
  return old_values_by_keys(scs, ks->keys, first - ks->windowStart, n, ks->rowStatus + first,
                            blocks, lastBlock, blockSize);
}

int32_t scs_p_KeysOfRows(SCS* scs, const int32_t* rows, int32_t n, Dataset** out) {
  *out = nullptr;
  KS* ks = scs->sc_keyset;
  if (ks == nullptr || ks->keys == nullptr || rows == nullptr || n <= 0) return ERR_GENERAL;
  Dataset* keys = nullptr;
  int32_t rc = 0;
  for (int32_t i = 0; i < n && rc == 0; ++i) {
    const int32_t r = rows[i];
    if (r < 0 || r >= ks->rowStatusCount) {
      rc = ERR_GENERAL;
      break;
    }
    rc = DSC_GetWindow(&ks->cache, r, 1, &ks->windowStart, ks->keys);
    const int32_t k = r - ks->windowStart;
    if (rc == 0 && (k < 0 || k >= ks->keys->rowCount)) rc = ERR_GENERAL;
    if (rc == 0 && keys == nullptr) rc = DatasetCloneLayout(&keys, ks->keys, n);
    if (rc == 0)
      rc = DatasetCopyRow(keys, ks->keys, static_cast<uint32_t>(i), static_cast<uint32_t>(k), 0);
  }
  if (rc != 0) {
    scs_p_FreeDataset(&keys);
    return rc;
  }
  *out = keys;
  return 0;
}

int32_t scs_p_FetchByKeys(SCS* scs, Dataset* keyRows, int32_t n, const uint16_t* gone,
                          Dataset* out, uint8_t* found) {
  if (keyRows == nullptr || n <= 0 || n > keyRows->rowCount) return ERR_GENERAL;
  int32_t blocks = 0, lastBlock = 0, blockSize = 0;
  if (int32_t rc = scs_p_KeyBlockSizes(scs, &blocks, &lastBlock, &blockSize); rc != 0) return rc;
  if (int32_t rc = keyed_select_ready(scs, blockSize); rc != 0) return rc;
  blocks_for(n, blockSize, &blocks, &lastBlock);
  auto* rows = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (rows == nullptr) return ERR_MEMORY;
  std::vector<int32_t> from;
  int32_t rc = scs_p_RunKeyBlocks(scs, scs->sc_hCursor, keyRows, 0, n, blocks, lastBlock,
                                  blockSize, rows);
  if (rc == 0) rc = place_by_keys(scs, rows, keyRows, 0, n, gone, out, &from);
  scs_p_FreeDataset(&rows);
  if (rc != 0) return rc;
  for (int32_t i = 0; i < n; ++i) found[i] = from[i] >= 0 ? 1 : 0;
  return 0;
}

int32_t scs_p_OldValuesByKeys(SCS* scs, Dataset* keyRows, int32_t k0, int32_t n,
                              const uint16_t* gone) {
  if (keyRows == nullptr || k0 < 0 || n <= 0 || n > keyRows->rowCount - k0) return ERR_GENERAL;
  int32_t blocks = 0, lastBlock = 0, blockSize = 0;
  if (int32_t rc = scs_p_KeyBlockSizes(scs, &blocks, &lastBlock, &blockSize); rc != 0) return rc;
  blocks_for(n, blockSize, &blocks, &lastBlock);
  if (int32_t rc = empty_old_values(scs); rc != 0) return rc;
  if (int32_t rc = old_values_ready(scs, blockSize); rc != 0) return rc;
  return old_values_by_keys(scs, keyRows, k0, n, gone, blocks, lastBlock, blockSize);
}

int32_t scs_p_LockRows(SCS* scs, int32_t first, int32_t count) {
  KS* ks = scs->sc_keyset;
  if (ks == nullptr || ks->keys == nullptr || ks->rowStatus == nullptr ||
      scs_p_Count(ks->keyCols) == 0 || scs_p_Count(scs->sc_tables) == 0 || first < 0)
    return ERR_GENERAL;
  // Keys that went to the temporary files are brought back a window at a time.
  const bool spilled = ks->cache.state == DSC_SPILLED;
  int64_t held = spilled ? ks->rowStatusCount : int64_t{ks->keys->rowCount} + ks->windowStart;
  if (held > ks->rowStatusCount) held = ks->rowStatusCount;
  const int64_t end = int64_t{first} + count < held ? int64_t{first} + count : held;
  std::vector<int32_t> rows;
  for (int64_t r = first; r < end; ++r) {
    const uint16_t st = ks->rowStatus[r];
    if (st == SQL_ROW_SUCCESS || st == SQL_ROW_UPDATED) rows.push_back(static_cast<int32_t>(r));
  }
  if (rows.empty()) return 0;
  const DriverOps& ops = *scs->sc_driver->ops;
  const DrvHandle h = scs->sc_auxCursor;
  const auto* keys = static_cast<const ColDesc*>(ks->keyCols->items);
  const uint32_t nk = ks->keyCols->count;
  if (scs->sc_resendParamTypes != 0) {
    (void)scs_p_SetParamTypes(&scs->sc_genParamTypes, &scs->sc_genParamTypeCount, 0, nullptr);
    for (int twice = 0; twice < 2; ++twice) {
      if (int32_t rc = scs_p_AddParamDescs(scs, keys, nk, 0); rc != 0) return rc;
    }
  }
  const TblDesc& t = static_cast<const TblDesc*>(scs->sc_tables->items)[0];
  // Setting every key to itself changes nothing but takes the row's lock.
  std::string sql = "UPDATE ";
  if (t.owner[0] != '\0') sql += std::string(t.owner) + ".";
  sql += t.table;
  sql += " SET ";
  for (uint32_t k = 0; k < nk; ++k) sql += std::string(k > 0 ? ", " : "") + keys[k].name + " = ?";
  sql += " WHERE ";
  for (uint32_t k = 0; k < nk; ++k)
    sql += std::string(k > 0 ? " AND " : "") + keys[k].name + " = ?";
  scs_p_AuxCursorTaken(scs);
  int32_t rc = ops.DRV_Prepare(h, sql.c_str());
  if (rc == 0 && scs->sc_resendParamTypes != 0)
    rc = ops.DRV_SetParamTypes(h, scs->sc_genParamTypeCount, scs->sc_genParamTypes);
  if (rc != 0) return rc;
  const auto inWindow = [ks](int32_t row) {
    return row >= ks->windowStart && row < ks->windowStart + ks->keys->rowCount;
  };
  size_t locked = 0;
  for (int32_t r : rows) {
    if (!inWindow(r) && spilled) {
      const int64_t want = end - r < DSC_MEMORY_ROWS / 2 ? end - r : DSC_MEMORY_ROWS / 2;
      rc = DSC_GetWindow(&ks->cache, r, static_cast<uint32_t>(want), &ks->windowStart, ks->keys);
      if (rc != 0) return rc;
    }
    if (!inWindow(r)) return ERR_GENERAL;
    Dataset* p = nullptr;
    const auto k = static_cast<uint32_t>(r - ks->windowStart);
    rc = KS_RowsToParamRow(ks->keys, k, 2, 1, &p, static_cast<int>(scs->sc_info04), 0, 0, nullptr,
                           nullptr);
    if (rc == 0) rc = ops.DRV_SetParams(h, p);
    if (rc == 0) rc = ops.DRV_Execute(h);
    int32_t affected = 0;
    uint16_t len = 0;
    if (rc == 0) rc = ops.DRV_GetInfo(h, DRVP_ROW_COUNT, &affected, 4, &len);
    if (rc != 0 || affected < 1) break;
    ++locked;
  }
  if (locked < rows.size()) {
    log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_LockRows: Couldn't acquire row lock(s).");
    return ERR_ROW;
  }
  return rc;
}
