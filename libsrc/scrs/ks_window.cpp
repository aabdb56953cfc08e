// ks_window.cpp -- the key window of dynamic and mixed cursors: a window of at
// most sc_keysetSize keys read in the order of the user's ORDER BY (completed
// by the key columns), and the predicate that continues that order from one
// of the window's boundary rows in either direction.
// The order is lexicographic over the sort columns S1..Sn, so "after the
// boundary" is S1 past b1, or S1 = b1 and S2 past b2, and so on; only the last
// column (always a key, so the order is total) is compared inclusively when a
// window is read again from its own first key. NULLs sort where the server
// puts them (SQL_NULL_COLLATION): a NULL boundary is matched with IS NULL and
// continued with IS NOT NULL or not at all, and a non-NULL boundary also
// admits the NULLs that sort after every value.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"

// The window statements of one cursor's statement by shape: the move's
// direction and kind, which sort values of its boundary row are NULL and
// whether qualifiers are kept, which is all a window text depends on beside
// the statement; an empty text says that nothing can follow the boundary.
struct KsWindowTexts {
  std::string sqlText;  // the statement they were made from
  std::unordered_map<std::string, std::string> texts;
  std::string prepared;  // the window text prepared on preparedOn, empty for none
  DrvHandle preparedOn = 0;
};

void KS_ForgetWindowTexts(KS* ks) {
  if (ks == nullptr) return;
  delete ks->windowTexts;
  ks->windowTexts = nullptr;
}

void scs_p_AuxCursorTaken(SCS* scs) {
  if (scs != nullptr && scs->sc_keyset != nullptr && scs->sc_keyset->windowTexts != nullptr)
    scs->sc_keyset->windowTexts->prepared.clear();
}

namespace {

const ColDesc* key_col(const KS* ks, uint32_t i) {
  return static_cast<const ColDesc*>(ks->keyCols->items) + i;
}

const OrderByItem* item_at(const SCS* scs, uint32_t i) {
  return static_cast<const OrderByItem*>(scs->sc_orderBy->items) + i;
}

// The ORDER BY items that take part in the window order.
uint32_t order_items(const SCS* scs) {
  const uint32_t items = scs_p_Count(scs->sc_orderBy);
  return items < scs->sc_orderColCount ? items : scs->sc_orderColCount;
}

// A NULL sort value of a column that is no key: keys find rows by equality,
// so a key is never NULL.
bool bound_null(const SCS* scs, int row, const KsSortColumn& s) {
  return !s.key && scs->sc_windowBound->cols[s.boundCol].ind[row] == DS_IND_NULL;
}

bool usable_bound(const SCS* scs, const std::vector<KsSortColumn>& sort) {
  const Dataset* b = scs->sc_windowBound;
  if (b == nullptr || b->rowCount < 2) return false;
  for (const KsSortColumn& s : sort)
    if (s.boundCol >= b->colCount) return false;
  return true;
}

// A one-row Dataset of the bound's columns `cols` of row `row`, in that order.
int32_t pick_bound_values(const SCS* scs, int row, const std::vector<uint16_t>& cols,
                          Dataset* out) {
  const Dataset* b = scs->sc_windowBound;
  if (int32_t rc = DatasetInit(out, static_cast<uint16_t>(cols.size())); rc != 0) return rc;
  out->colCount = static_cast<uint16_t>(cols.size());
  for (size_t i = 0; i < cols.size(); ++i) {
    const DatasetColumn& s = b->cols[cols[i]];
    // Sort keys are never long values, whose rows own separate storage.
    if (s.type == DS_LONGCHAR || s.type == DS_LONGBINARY || s.type == DS_LONGWCHAR)
      return ERR_GENERAL;
    out->cols[i].type = s.type;
    out->cols[i].width = s.width;
  }
  if (int32_t rc = DatasetSetRows(out, 1); rc != 0) return rc;
  out->rowCount = 1;
  for (size_t i = 0; i < cols.size(); ++i) {
    const DatasetColumn& s = b->cols[cols[i]];
    out->cols[i].ind[0] = s.ind[row];
    std::memcpy(out->cols[i].data, s.data + size_t(row) * s.width, s.width);
  }
  return 0;
}

}  // namespace

int KS_BoundaryRow(int16_t orientation, int32_t kind) {
  const bool far = kind == KS_MOVE_FAR || kind == 2;
  const bool next = orientation != SQL_FETCH_PRIOR;
  return far == next ? 1 : 0;
}

const char* KS_WindowOperator(int16_t orientation, int32_t kind, bool descending) {
  bool greater = !descending;
  if (orientation == SQL_FETCH_PRIOR) greater = !greater;
  const bool inclusive = kind == 2 || kind == KS_MOVE_REREAD;
  if (greater) return inclusive ? ">=" : ">";
  return inclusive ? "<=" : "<";
}

int KS_NullsAhead(int16_t orientation, bool descending, int16_t nc) {
  bool last = (nc == SQL_NC_HIGH && !descending) || (nc == SQL_NC_LOW && descending) ||
              (nc != SQL_NC_HIGH && nc != SQL_NC_LOW && nc != SQL_NC_START);
  if (orientation == SQL_FETCH_PRIOR) last = !last;
  return last ? 1 : 0;
}

int KS_NullSide(int16_t orientation, bool descending, int16_t nc) {
  return KS_NullsAhead(orientation, descending, nc) != 0 ? 1 : 2;
}

int32_t KS_SortColumnMap(const SCS* scs, std::vector<KsSortColumn>* out) {
  out->clear();
  const KS* ks = scs->sc_keyset;
  const uint32_t nk = ks != nullptr ? scs_p_Count(ks->keyCols) : 0;
  if (nk == 0 || scs->sc_orderColCount == 0) return ERR_GENERAL;
  const uint32_t items = order_items(scs);
  std::vector<bool> named(nk, false);
  uint16_t nonKey = 0;
  for (uint32_t i = 0; i < items; ++i) {
    const OrderByItem& it = *item_at(scs, i);
    KsSortColumn s{};
    s.text = it.text;
    s.orderBy = true;
    s.descending = it.descending != 0;
    s.type.sqlType = it.sqlType;
    s.type.columnSize = it.columnSize;
    s.type.decimalDigits = it.decimalDigits;
    uint32_t k = 0;
    while (it.keyMatch != 0 && k < nk && !scs_p_ItemNamesKey(it, *key_col(ks, k))) ++k;
    if (it.keyMatch != 0 && k < nk) {
      s.key = true;
      s.boundCol = static_cast<uint16_t>(k);
      named[k] = true;
    } else {
      s.boundCol = static_cast<uint16_t>(nk + nonKey++);
    }
    out->push_back(std::move(s));
  }
  for (uint32_t k = 0; k < nk && out->size() < scs->sc_orderColCount; ++k) {
    if (named[k]) continue;
    char* name = scs_p_QualifiedColName(ks->tableCount, key_col(ks, k));
    if (name == nullptr) return ERR_MEMORY;
    KsSortColumn s{};
    s.text = name;
    std::free(name);
    s.key = true;
    s.boundCol = static_cast<uint16_t>(k);
    s.type = *key_col(ks, k);
    out->push_back(std::move(s));
  }
  return 0;
}

bool KS_WindowTerm(const SCS* scs, const std::vector<KsSortColumn>& sort, uint32_t j,
                   int16_t orientation, int32_t kind, std::string* out) {
  const int row = KS_BoundaryRow(orientation, kind);
  std::string term;
  for (uint32_t i = 0; i + 1 < j; ++i) {
    const KsSortColumn& s = sort[i];
    term += s.text;
    term += bound_null(scs, row, s) ? " IS NULL AND " : " = ? AND ";
  }
  const KsSortColumn& s = sort[j - 1];
  // Only the last column, which completes the key, may include the boundary:
  // an inclusive comparison of an earlier one would take in rows before it.
  const char* op =
      KS_WindowOperator(orientation, j == sort.size() ? kind : KS_MOVE_FAR, s.descending);
  if (bound_null(scs, row, s)) {
    if (KS_NullSide(orientation, s.descending, scs->sc_nullCollation) == 1) return false;
    term += s.text + " IS NOT NULL ";
  } else if (!s.key && KS_NullsAhead(orientation, s.descending, scs->sc_nullCollation) != 0) {
    term += " (" + s.text + " " + op + " ? OR " + s.text + " IS NULL) ";
  } else {
    term += s.text + " " + op + " ? ";
  }
  *out = std::move(term);
  return true;
}

int32_t KS_WindowParams(SCS* scs, int16_t orientation, int32_t kind, Dataset** params) {
  *params = nullptr;
  std::vector<KsSortColumn> sort;
  if (int32_t rc = KS_SortColumnMap(scs, &sort); rc != 0) return rc;
  if (!usable_bound(scs, sort)) return ERR_GENERAL;
  const int row = KS_BoundaryRow(orientation, kind);
  std::vector<uint16_t> cols;
  std::vector<ColDesc> types;
  std::string unused;
  for (uint32_t j = 1; j <= sort.size(); ++j) {
    if (!KS_WindowTerm(scs, sort, j, orientation, kind, &unused)) continue;
    for (uint32_t i = 0; i < j; ++i) {
      if (bound_null(scs, row, sort[i])) continue;
      cols.push_back(sort[i].boundCol);
      types.push_back(sort[i].type);
    }
  }
  if (cols.empty()) return 0;
  if (scs->sc_resendParamTypes != 0) {
    (void)scs_p_SetParamTypes(&scs->sc_genParamTypes, &scs->sc_genParamTypeCount, 0, nullptr);
    if (int32_t rc = scs_p_AddParamDescs(scs, types.data(), static_cast<uint32_t>(types.size()), 0);
        rc != 0)
      return rc;
  }
  Dataset values{};
  int32_t rc = pick_bound_values(scs, row, cols, &values);
  if (rc == 0)
    rc = KS_RowsToParamRow(&values, 0, 1, 1, params, static_cast<int>(scs->sc_info04), 0, 0,
                           nullptr, nullptr);
  DatasetFree(&values);
  return rc;
}

int32_t KS_WindowWhere(SCS* scs, SCR_Analysis* a, int16_t orientation, int32_t kind,
                       Dataset** params) {
  *params = nullptr;
  if (orientation != SQL_FETCH_NEXT && orientation != SQL_FETCH_PRIOR) return ERR_GENERAL;
  std::vector<KsSortColumn> sort;
  if (int32_t rc = KS_SortColumnMap(scs, &sort); rc != 0) return rc;
  if (!usable_bound(scs, sort)) return ERR_GENERAL;
  std::string terms;
  for (uint32_t j = 1; j <= sort.size(); ++j) {
    std::string term;
    if (!KS_WindowTerm(scs, sort, j, orientation, kind, &term)) continue;
    if (!terms.empty()) terms += " OR ";
    terms += term;
  }
  // Every term dropped: nothing sorts beyond the boundary.
  if (terms.empty()) return ERR_NO_DATA;
  if (int32_t rc = SCR_WherePlaceholder(a); rc != 0) return rc;
  const bool ownWhere = (a->sa_flags & SA_WHERE) != 0;
  const std::string piece = (ownWhere ? "( " : " WHERE ( ") + terms + " )";
  if (int32_t rc = scs_p_SplicePiece(a, piece.c_str()); rc != 0) return rc;
  return KS_WindowParams(scs, orientation, kind, params);
}

int32_t KS_WindowSelect(SCS* scs, SCR_Analysis* a, int16_t orientation, int32_t kind,
                        Dataset** params) {
  *params = nullptr;
  const KS* ks = scs->sc_keyset;
  const uint32_t nk = ks != nullptr ? scs_p_Count(ks->keyCols) : 0;
  if (nk == 0) return ERR_GENERAL;
  if (int32_t rc = SCR_SelListPlaceholder(a); rc != 0) return rc;
  std::string list;
  for (uint32_t k = 0; k < nk; ++k) {
    char* name = scs_p_QualifiedColName(ks->tableCount, key_col(ks, k));
    if (name == nullptr) return ERR_MEMORY;
    if (k > 0) list += ", ";
    list += name;
    std::free(name);
  }
  // The bound carries the other sort values, so that the next move can
  // continue the order from it.
  const uint32_t items = order_items(scs);
  for (uint32_t i = 0; i < items; ++i) {
    const OrderByItem& it = *item_at(scs, i);
    if (it.keyMatch != 0) continue;
    list += ", ";
    list += it.text;
  }
  if (int32_t rc = scs_p_SplicePiece(a, list.c_str()); rc != 0) return rc;
  if (orientation != SQL_FETCH_NEXT && orientation != SQL_FETCH_PRIOR) return 0;
  if (int32_t rc = scs_p_Reanalyse(scs, a, a->sa_generated); rc != 0) return rc;
  return KS_WindowWhere(scs, a, orientation, kind, params);
}

namespace {

// Reads up to `want` rows of cursor h into keys (emptied first), asking again
// while the agent hands out fewer rows than asked.
int32_t read_keys(SCS* scs, DrvHandle h, int32_t want, Dataset* keys) {
  const DriverOps& ops = *scs->sc_driver->ops;
  DatasetFree(keys);
  while (keys->rowCount < want) {
    const int32_t ask = want - keys->rowCount < UINT16_MAX ? want - keys->rowCount : UINT16_MAX;
    if (keys->rowCount == 0) {
      if (int32_t rc = ops.DRV_Fetch(h, static_cast<uint16_t>(ask), keys); rc != 0) return rc;
      if (keys->rowCount == 0) break;
      continue;
    }
    Dataset more{};
    int32_t rc = ops.DRV_Fetch(h, static_cast<uint16_t>(ask), &more);
    const bool ended = more.rowCount == 0;
    if (rc == 0 && !ended) rc = DatasetAppend(keys, &more);
    DatasetFree(&more);
    if (rc != 0) return rc;
    if (ended) break;
  }
  return 0;
}

// keys keeps only its rows [s, s + c) (those that exist).
int32_t keep_rows(KS* ks, int32_t s, int32_t c) {
  Dataset* keys = ks->keys;
  const int32_t end = s + c < keys->rowCount ? s + c : keys->rowCount;
  const int32_t n = end > s ? end - s : 0;
  Dataset* kept = nullptr;
  if (int32_t rc = DatasetCloneLayout(&kept, keys, n > 0 ? n : 1); rc != 0) return rc;
  for (int32_t r = 0; r < n; ++r) {
    if (int32_t rc = DatasetCopyRow(kept, keys, static_cast<uint32_t>(r),
                                    static_cast<uint32_t>(s + r), 1);
        rc != 0) {
      scs_p_FreeDataset(&kept);
      return rc;
    }
  }
  kept->rowCount = n;
  DatasetFree(keys);
  *keys = *kept;
  std::free(kept);
  return 0;
}

// The window statement run on sc_auxCursor: the prepared text and its
// parameters (the window's values first, the application's after them).
int32_t run_window_statement(SCS* scs, const std::string& text, Dataset* params) {
  const DriverOps& ops = *scs->sc_driver->ops;
  const DrvHandle h = scs->sc_auxCursor;
  KsWindowTexts* kept = scs->sc_keyset->windowTexts;
  // The cursor keeps the statement last prepared on it while nothing else is.
  if (kept == nullptr || kept->preparedOn != h || kept->prepared != text) {
    if (kept != nullptr) kept->prepared.clear();
    if (int32_t rc = ops.DRV_Prepare(h, text.c_str()); rc != 0) {
      DatasetFree(params);
      std::free(params);
      return rc;
    }
    if (kept != nullptr) {
      kept->prepared = text;
      kept->preparedOn = h;
    }
  }
  if (params == nullptr) {
    if (int32_t rc = scs_p_SendKeptParams(scs, h); rc != 0) return rc;
    return ops.DRV_Execute(h);
  }
  Dataset* all = params;
  if ((scs->sc_flags & SCS_F_PARAMS_KEPT) != 0 && scs->sc_params != nullptr) {
    Dataset* own = nullptr;
    int32_t rc = DatasetClone(&own, scs->sc_params);
    if (rc == 0) rc = DatasetJoin(own, params);
    scs_p_FreeDataset(&params);
    if (rc != 0) {
      scs_p_FreeDataset(&own);
      return rc;
    }
    all = own;
  }
  // The agent owns what it is handed.
  if (int32_t rc = ops.DRV_SetParams(h, all); rc != 0) return rc;
  if (scs->sc_resendParamTypes != 0) {
    if (int32_t rc = scs_p_AddParamDescs(scs, nullptr, 0, 1); rc != 0) return rc;
    if (int32_t rc = ops.DRV_SetParamTypes(h, scs->sc_genParamTypeCount, scs->sc_genParamTypes);
        rc != 0)
      return rc;
  }
  return ops.DRV_Execute(h);
}

// The window texts of the cursor's statement, made or emptied for a new one.
KsWindowTexts* window_texts(SCS* scs) {
  KS* ks = scs->sc_keyset;
  if (ks->windowTexts == nullptr) {
    ks->windowTexts = new (std::nothrow) KsWindowTexts;
    if (ks->windowTexts == nullptr) return nullptr;
  }
  KsWindowTexts* kept = ks->windowTexts;
  if (kept->sqlText != scs->sc_sqlText) {
    kept->texts.clear();
    kept->sqlText = scs->sc_sqlText;
  }
  return kept;
}

// The shape of a move's window text; empty when the move has no shape to keep
// (a boundary that cannot serve, whose error the text's making reports).
int32_t window_shape(const SCS* scs, int16_t dir, int32_t kind, std::string* out) {
  out->clear();
  std::string shape = std::to_string(dir) + "/" + std::to_string(kind) + "/" +
                      std::to_string(scs->sc_keepQualifier) + "/";
  if (dir == SQL_FETCH_NEXT || dir == SQL_FETCH_PRIOR) {
    std::vector<KsSortColumn> sort;
    if (int32_t rc = KS_SortColumnMap(scs, &sort); rc != 0) return rc;
    if (!usable_bound(scs, sort)) return 0;
    const int row = KS_BoundaryRow(dir, kind);
    for (const KsSortColumn& c : sort) shape += bound_null(scs, row, c) ? 'N' : 'v';
  }
  *out = std::move(shape);
  return 0;
}

// The window text of a move made from the statement, with its parameters
// (ERR_NO_DATA when nothing can follow the boundary).
int32_t build_window_text(SCS* scs, int16_t dir, int32_t kind, Dataset** params,
                          std::string* text) {
  SCR_Analysis* aux = scs->sc_auxAnalysis;
  if (int32_t rc = scs_p_Reanalyse(scs, aux, scs->sc_sqlText); rc != 0) return rc;
  if (int32_t rc = KS_KeyOrderBy(aux, scs); rc != 0) return rc;
  if (int32_t rc = scs_p_Reanalyse(scs, aux, aux->sa_generated); rc != 0) return rc;
  if (int32_t rc = KS_WindowSelect(scs, aux, dir, kind, params); rc != 0) return rc;
  if (dir == SQL_FETCH_PRIOR || dir == SQL_FETCH_LAST) {
    int32_t rc = scs_p_Reanalyse(scs, aux, aux->sa_generated);
    if (rc == 0) rc = SCR_OrderByReverse(aux);
    if (rc != 0) return rc;
    *text = aux->sa_root->text;
    return 0;
  }
  *text = aux->sa_generated;
  return 0;
}

}  // namespace

int32_t KS_FetchWindow(SCS* scs, int16_t orientation, int32_t offset) {
  KS* ks = scs->sc_keyset;
  if (ks == nullptr || scs_p_Count(ks->keyCols) == 0 || scs->sc_sqlText == nullptr)
    return ERR_GENERAL;
  if (scs->sc_orderColCount == 0) {
    if (int32_t rc = scs_p_MapKeyCols(scs); rc != 0) return rc;
  }
  const int32_t K = scs->sc_keysetSize > 0 ? scs->sc_keysetSize : 1;
  const int32_t W = ks->keys->rowCount;
  int16_t dir = orientation;
  int32_t kind = KS_MOVE_FAR;
  int32_t grow = 0;
  bool trim = false;
  // The rows moved by, as wide as a move of INT32_MIN needs.
  const int64_t v = offset < 0 ? -int64_t{offset} : offset;
  if (orientation == SQL_FETCH_RELATIVE) {
    dir = offset < 0 ? SQL_FETCH_PRIOR : SQL_FETCH_NEXT;
    if (offset == 0) kind = KS_MOVE_REREAD;
    else if (v >= K) kind = KS_MOVE_FAR;
    else if (W < K && offset < 0) kind = KS_MOVE_REREAD;
    else kind = KS_MOVE_NEAR;
    if (offset != 0)
      grow = static_cast<int32_t>(std::min<int64_t>(v < K ? v - 1 : v - K, INT32_MAX - K));
    trim = offset != 0;
  }
  // Without a window there is nothing to continue from: the scan starts at
  // the end it moves away from.
  if ((dir == SQL_FETCH_NEXT || dir == SQL_FETCH_PRIOR) &&
      (scs->sc_windowBound == nullptr || scs->sc_windowBound->rowCount < 2)) {
    dir = dir == SQL_FETCH_NEXT ? SQL_FETCH_FIRST : SQL_FETCH_LAST;
    kind = KS_MOVE_FAR;
    grow = 0;
    trim = false;
  }
  if (scs->sc_resendParamTypes != 0)
    (void)scs_p_SetParamTypes(&scs->sc_genParamTypes, &scs->sc_genParamTypeCount, 0, nullptr);

  // The window statement: the user's statement ordered by the keys too, the
  // sort values as its select list, read backwards for PRIOR and LAST; made
  // once for each shape, its parameters from the boundary every time.
  std::string shape;
  if (int32_t rc = window_shape(scs, dir, kind, &shape); rc != 0) return rc;
  KsWindowTexts* kept = window_texts(scs);
  if (kept == nullptr) return ERR_MEMORY;
  Dataset* params = nullptr;
  std::string text;
  if (auto it = shape.empty() ? kept->texts.end() : kept->texts.find(shape);
      it != kept->texts.end()) {
    if (it->second.empty()) return ERR_NO_DATA;
    text = it->second;
    if (dir == SQL_FETCH_NEXT || dir == SQL_FETCH_PRIOR) {
      if (int32_t rc = KS_WindowParams(scs, dir, kind, &params); rc != 0) {
        scs_p_FreeDataset(&params);
        return rc;
      }
    }
  } else {
    const int32_t rc = build_window_text(scs, dir, kind, &params, &text);
    if (rc != 0 && rc != ERR_NO_DATA) {
      scs_p_FreeDataset(&params);
      return rc;
    }
    if (!shape.empty()) kept->texts[shape] = rc == 0 ? text : std::string();
    if (rc != 0) {
      scs_p_FreeDataset(&params);
      return rc;
    }
  }
  const DriverOps& ops = *scs->sc_driver->ops;
  int32_t rc = run_window_statement(scs, text, params);
  if (rc == 0) {
    KS_Reset(ks);
    rc = read_keys(scs, scs->sc_auxCursor, K + grow, ks->keys);
  }
  (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
  if (rc != 0) return rc;
  if (ks->keys->rowCount == 0) return ERR_NO_DATA;
  if (trim) {
    int64_t s = 0, c = K;
    if (kind == KS_MOVE_FAR) s = v - K;
    else if (kind == KS_MOVE_NEAR) s = v - 1;
    else {
      const int64_t m = W + v;
      c = m < K ? m : K;
      s = m - K > 0 ? m - K : 0;
    }
    // Keys read stop at the end of the result, well inside 32 bits.
    s = std::min<int64_t>(s, ks->keys->rowCount);
    if (int32_t r = keep_rows(ks, static_cast<int32_t>(s), static_cast<int32_t>(c)); r != 0)
      return r;
  }
  if (ks->keys->rowCount > 0 && (dir == SQL_FETCH_PRIOR || dir == SQL_FETCH_LAST)) {
    if (int32_t r = DatasetReverse(&ks->keys); r != 0) return r;
  }
  ks->rowStatus = static_cast<uint16_t*>(std::calloc(static_cast<size_t>(K), sizeof(uint16_t)));
  if (ks->rowStatus == nullptr) return ERR_MEMORY;
  ks->rowStatusCount = K;
  for (int32_t r = ks->keys->rowCount; r < K; ++r) ks->rowStatus[r] = SQL_ROW_NOROW;
  scs_p_FreeDataset(&scs->sc_windowBound);
  if (ks->keys->rowCount == 0) return ERR_NO_DATA;
  return scs_p_KeysetWindow(scs, &scs->sc_windowBound);
}
