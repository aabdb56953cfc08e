// ks.cpp -- the keyset record and the statements generated from its key
// columns: key select list, key ORDER BY, key WHERE of OR-groups or an IN list, the one-row
// parameter set that feeds a key predicate, the keyset load and the key
// re-select.
// Generated pieces are spliced into the regenerated text at the placeholder
// as plain text: the user's statement may hold any byte, and running it
// through the template expander would turn its 0xFF bytes into markers.
// Threading: used inside calls on the cursor's connection, one at a time.

#include "scrs/ks.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "scrs/scs_p.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "scrs/ks";

const ColDesc* key_col(const KS* ks, uint32_t i) {
  return static_cast<const ColDesc*>(ks->keyCols->items) + i;
}

// The qualified name of key column i appended to out; false when memory is short.
bool append_key_name(std::string& out, const KS* ks, uint32_t i) {
  char* name = scs_p_QualifiedColName(ks->tableCount, key_col(ks, i));
  if (name == nullptr) return false;
  out += name;
  std::free(name);
  return true;
}

// Groups joined by OR up to this many in a row; longer runs are bracketed in
// halves, so that a block of a few hundred groups nests only a few levels
// deep for the server's parser instead of one level per group.
constexpr uint32_t kFlatGroups = 16;

void or_groups(std::string& out, const std::string& group, uint32_t n) {
  if (n <= kFlatGroups) {
    for (uint32_t g = 0; g < n; ++g) {
      if (g > 0) out += " OR ";
      out += group;
    }
    return;
  }
  out += "(";
  or_groups(out, group, n / 2);
  out += ") OR (";
  or_groups(out, group, n - n / 2);
  out += ")";
}

bool integer_key(int16_t sqlType) {
  return sqlType == SQL_INTEGER || sqlType == SQL_SMALLINT || sqlType == SQL_BIGINT ||
         sqlType == SQL_TINYINT;
}

bool has_keys(const KS* ks) {
  return ks != nullptr && ks->keyCols != nullptr && ks->keyCols->count > 0;
}

}  // namespace

int32_t KS_Create(KS** out) {
  if (out == nullptr) return ERR_GENERAL;
  auto* ks = static_cast<KS*>(std::calloc(1, sizeof(KS)));
  auto* keys = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (ks == nullptr || keys == nullptr || DatasetInit(keys, 0) != 0) {
    std::free(keys);
    std::free(ks);
    return ERR_MEMORY;
  }
  ks->keys = keys;
  DSC_Init(&ks->cache);
  *out = ks;
  return 0;
}

void KS_Reset(KS* ks) {
  if (ks == nullptr) return;
  if (ks->keys != nullptr) DatasetFree(ks->keys);
  std::free(ks->rowStatus);
  ks->rowStatus = nullptr;
  ks->rowStatusCount = 0;
  ks->windowStart = 0;
  DSC_Close(&ks->cache);
  KS_ForgetMarks(ks);
}

void KS_ForgetMarks(KS* ks) {
  if (ks == nullptr) return;
  std::free(ks->marks);
  ks->marks = nullptr;
  scs_p_FreeDataset(&ks->markKeys);
  ks->markCount = 0;
}

void KS_Close(KS* ks) {
  if (ks == nullptr) return;
  KS_Reset(ks);
  KS_ForgetWindowTexts(ks);
  DynArrayFree(&ks->keyCols, nullptr);
}

void KS_Free(KS** ks) {
  if (ks == nullptr || *ks == nullptr) return;
  KS_Close(*ks);
  scs_p_FreeDataset(&(*ks)->keys);
  std::free(*ks);
  *ks = nullptr;
}

int32_t scs_p_SplicePiece(SCR_Analysis* a, const char* piece) {
  if (a == nullptr || a->sa_root == nullptr || a->sa_root->text == nullptr || piece == nullptr)
    return ERR_GENERAL;
  const char* text = a->sa_root->text;
  const char* at = std::strstr(text, kScrPlaceholder);
  if (at == nullptr) return ERR_GENERAL;
  std::string out(text, static_cast<size_t>(at - text));
  out += piece;
  out += at + std::strlen(kScrPlaceholder);
  char* copy = strdup(out.c_str());
  if (copy == nullptr) return ERR_MEMORY;
  std::free(a->sa_generated);
  a->sa_generated = copy;
  return 0;
}

int32_t scs_p_Reanalyse(SCS* scs, SCR_Analysis* a, const char* text) {
  if (a == nullptr || text == nullptr) return ERR_GENERAL;
  // The analysis frees what it held, text included, so it works on a copy.
  char* copy = strdup(text);
  if (copy == nullptr) return ERR_MEMORY;
  const int32_t rc = SCR_AnalyseSQL(a, copy, 1, static_cast<int32_t>(scs->sc_keepQualifier));
  if (rc != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "SCR_AnalyseSQL failed: %s", copy);
    log_printf(LOG_DEBUG, kSrc, __LINE__, "%s", a->sa_errMsg != nullptr ? a->sa_errMsg : "");
    log_printf(LOG_DEBUG, kSrc, __LINE__, "%s", a->sa_errPos != nullptr ? a->sa_errPos : "");
  }
  std::free(copy);
  return rc;
}

int32_t KS_KeySelect(SCR_Analysis* a, KS* ks) {
  if (a == nullptr || !has_keys(ks)) return ERR_GENERAL;
  if (int32_t rc = SCR_SelListPlaceholder(a); rc != 0) return rc;
  std::string piece;
  for (uint32_t i = 0; i < ks->keyCols->count; ++i) {
    if (i > 0) piece += ", ";
    if (!append_key_name(piece, ks, i)) return ERR_MEMORY;
  }
  return scs_p_SplicePiece(a, piece.c_str());
}

int32_t KS_KeyWhere(SCR_Analysis* a, KS* ks, uint32_t groups) {
  if (a == nullptr || !has_keys(ks) || groups == 0) return ERR_GENERAL;
  if (int32_t rc = SCR_WherePlaceholder(a); rc != 0) return rc;
  // The placeholder tells whether the statement keeps a condition of its own.
  const bool ownWhere = (a->sa_flags & SA_WHERE) != 0;
  std::string piece = ownWhere ? "( " : " WHERE ( ";
  // A single integer key takes its block of values as one IN list: the server
  // then seeks the keys in their order and hands the rows over without a sort,
  // where a long run of ORs is searched term by term and sorted afterwards.
  // Text keys keep the equalities, whose comparison ignores trailing blanks.
  if (groups > 1 && ks->keyCols->count == 1 && integer_key(key_col(ks, 0)->sqlType)) {
    if (!append_key_name(piece, ks, 0)) return ERR_MEMORY;
    piece.reserve(piece.size() + 3 * size_t{groups} + 8);
    piece += " IN (?";
    for (uint32_t g = 1; g < groups; ++g) piece += ", ?";
    piece += ") )";
    return scs_p_SplicePiece(a, piece.c_str());
  }
  std::string group;
  for (uint32_t i = 0; i < ks->keyCols->count; ++i) {
    if (i > 0) group += " AND ";
    if (!append_key_name(group, ks, i)) return ERR_MEMORY;
    group += " = ?";
  }
  piece.reserve(piece.size() + groups * (group.size() + 8) + 2);
  or_groups(piece, group, groups);
  piece += " )";
  return scs_p_SplicePiece(a, piece.c_str());
}

int32_t KS_KeyOrderBy(SCR_Analysis* a, SCS* scs) {
  if (a == nullptr || scs == nullptr || !has_keys(scs->sc_keyset)) return ERR_GENERAL;
  const KS* ks = scs->sc_keyset;
  if (int32_t rc = SCR_OrderByPlaceholder(a); rc != 0) return rc;
  // The placeholder tells whether the statement is ordered already.
  const bool ordered = (a->sa_flags & SA_ORDERBY) != 0;
  uint32_t items = ordered && scs->sc_orderBy != nullptr ? scs->sc_orderBy->count : 0;
  std::string piece = ordered ? "" : " ORDER BY ";
  bool first = !ordered;
  for (uint32_t i = 0; i < ks->keyCols->count; ++i) {
    if (key_col(ks, i)->orderByPos != 0) continue;
    if (scs->sc_maxOrderByCols > 0 && items >= static_cast<uint32_t>(scs->sc_maxOrderByCols)) break;
    if (!first) piece += ", ";
    first = false;
    if (!append_key_name(piece, ks, i)) return ERR_MEMORY;
    ++items;
  }
  // Nothing to add to an ORDER BY without items would leave " ORDER BY " bare.
  if (!ordered && first) piece.clear();
  return scs_p_SplicePiece(a, piece.c_str());
}

namespace {

char16_t* wide_at(const DatasetColumn& c, uint32_t r) {
  return reinterpret_cast<char16_t*>(c.data + size_t(r) * c.width);
}

size_t units(const char16_t* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return n;
}

// Bytes of row r's value of c as a parameter slot carries it (before any
// terminator), for the types whose slot shrinks to the value.
uint32_t value_bytes(const DatasetColumn& c, uint32_t r, int trimFixed) {
  const char* p = c.data + size_t(r) * c.width;
  switch (c.type) {
    case DS_STRING: return static_cast<uint32_t>(strnlen(p, c.width));
    case DS_WSTRING: return static_cast<uint32_t>(2 * units(wide_at(c, r), c.width / 2));
    case DS_CHAR: {
      if (trimFixed == 0) return c.width;
      size_t n = strnlen(p, c.width);
      while (n > 0 && p[n - 1] == ' ') --n;
      return static_cast<uint32_t>(n);
    }
    case DS_WCHAR: {
      if (trimFixed == 0) return c.width;
      const char16_t* w = wide_at(c, r);
      size_t n = units(w, c.width / 2);
      while (n > 0 && w[n - 1] == u' ') --n;
      return static_cast<uint32_t>(2 * n);
    }
    default: return c.width;
  }
}

// The slot width of one output column carrying row r of c.
uint32_t param_width(const DatasetColumn& c, uint32_t r, int addTerminator, int trimFixed) {
  const bool null = c.ind[r] == DS_IND_NULL;
  switch (c.type) {
    case DS_STRING: return (null ? 0 : value_bytes(c, r, trimFixed)) + 1;
    case DS_WSTRING: return (null ? 0 : value_bytes(c, r, trimFixed)) + 2;
    case DS_CHAR:
      return (null && trimFixed != 0 ? 0 : value_bytes(c, r, trimFixed)) + (addTerminator ? 1 : 0);
    case DS_WCHAR:
      return (null && trimFixed != 0 ? 0 : value_bytes(c, r, trimFixed)) + (addTerminator ? 2 : 0);
    default: return c.width;
  }
}

bool is_long(int32_t type) {
  return type == DS_LONGCHAR || type == DS_LONGBINARY || type == DS_LONGWCHAR;
}

// Copies row r of c into row 0 of d (laid out by param_width).
int32_t copy_param(DatasetColumn& d, const DatasetColumn& c, uint32_t r, int trimFixed) {
  d.ind[0] = c.ind[r];
  if (c.ind[r] == DS_IND_NULL) return 0;
  const char* p = c.data + size_t(r) * c.width;
  if (is_long(c.type)) {
    DatasetLong v{};
    std::memcpy(&v, p, sizeof v);
    const size_t bytes = c.type == DS_LONGWCHAR ? 2 * size_t(v.length) : v.length;
    DatasetLong copy{v.length, nullptr};
    if (v.data != nullptr && bytes > 0) {
      copy.data = std::malloc(bytes);
      if (copy.data == nullptr) return ERR_MEMORY;
      std::memcpy(copy.data, v.data, bytes);
    }
    std::memcpy(d.data, &copy, sizeof copy);
    return 0;
  }
  const uint32_t n =
      c.type == DS_STRING || c.type == DS_WSTRING || c.type == DS_CHAR || c.type == DS_WCHAR
          ? value_bytes(c, r, trimFixed)
          : c.width;
  std::memcpy(d.data, p, n < d.width ? n : d.width);
  return 0;
}

}  // namespace

int32_t KS_RowsToParamRow(Dataset* source, uint32_t first, uint32_t groups, uint32_t rows,
                          Dataset** out, int addTerminator, int trimFixed, int dropNullColumns,
                          int16_t* droppedCount, int16_t** nullColumns) {
  if (out != nullptr) *out = nullptr;
  if (source == nullptr || source->cols == nullptr || source->colCount == 0 || out == nullptr ||
      groups == 0 || rows == 0 || rows > groups || first >= uint32_t(source->rowCount))
    return ERR_GENERAL;
  const uint16_t nc = source->colCount;
  const uint32_t last = uint32_t(source->rowCount) - 1;
  const uint32_t end = first + rows - 1 < last ? first + rows - 1 : last;
  int16_t* flags = nullptr;
  uint32_t dropped = 0;
  if (dropNullColumns != 0) {
    if (droppedCount == nullptr || nullColumns == nullptr) return ERR_GENERAL;
    flags = static_cast<int16_t*>(std::calloc(nc, sizeof(int16_t)));
    *nullColumns = flags;
    if (flags == nullptr) return ERR_MEMORY;
    for (uint16_t c = 0; c < nc; ++c) {
      for (uint32_t r = first; r <= end && flags[c] == 0; ++r)
        if (source->cols[c].ind[r] == DS_IND_NULL) flags[c] = 1;
      dropped += flags[c] != 0 ? 1 : 0;
    }
    *droppedCount = static_cast<int16_t>(dropped);
  }
  const uint64_t total = uint64_t(groups) * (nc - dropped);
  if (total == 0 || total > UINT16_MAX) return ERR_GENERAL;
  auto* o = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (o == nullptr || DatasetInit(o, static_cast<uint16_t>(total)) != 0) {
    std::free(o);
    return ERR_MEMORY;
  }
  o->colCount = static_cast<uint16_t>(total);
  // The source row of every group: the rows in turn, the last one repeated.
  auto group_row = [&](uint32_t g) { return first + g < end ? first + g : end; };
  uint32_t k = 0;
  for (uint32_t g = 0; g < groups; ++g) {
    for (uint16_t c = 0; c < nc; ++c) {
      if (flags != nullptr && flags[c] != 0) continue;
      const DatasetColumn& s = source->cols[c];
      o->cols[k].type = s.type;
      o->cols[k].width = param_width(s, group_row(g), addTerminator, trimFixed);
      ++k;
    }
  }
  int32_t rc = DatasetSetRows(o, 1);
  if (rc == 0) o->rowCount = 1;
  k = 0;
  for (uint32_t g = 0; g < groups && rc == 0; ++g) {
    for (uint16_t c = 0; c < nc && rc == 0; ++c) {
      if (flags != nullptr && flags[c] != 0) continue;
      rc = copy_param(o->cols[k++], source->cols[c], group_row(g), trimFixed);
    }
  }
  if (rc != 0) {
    DatasetFree(o);
    std::free(o);
    return rc == ERR_GENERAL ? ERR_MEMORY : rc;
  }
  *out = o;
  return 0;
}

int32_t scs_p_KeyParams(SCS* scs, Dataset* keys, uint32_t start, uint32_t groups, uint32_t rows,
                        Dataset** out) {
  *out = nullptr;
  Dataset* keyRow = nullptr;
  if (int32_t rc = KS_RowsToParamRow(keys, start, groups, rows, &keyRow,
                                     static_cast<int>(scs->sc_info04), 0, 0, nullptr, nullptr);
      rc != 0)
    return rc;
  if ((scs->sc_flags & SCS_F_PARAMS_KEPT) == 0 || scs->sc_params == nullptr) {
    *out = keyRow;
    return 0;
  }
  // The key predicate stands in front of the statement's own condition, so
  // the key values go first.
  Dataset* own = nullptr;
  int32_t rc = DatasetClone(&own, scs->sc_params);
  if (rc == 0) rc = DatasetJoin(own, keyRow);
  scs_p_FreeDataset(&keyRow);
  if (rc != 0) {
    scs_p_FreeDataset(&own);
    return rc;
  }
  *out = own;
  return 0;
}

int32_t scs_p_SendKeyParamTypes(SCS* scs, DrvHandle h, uint32_t groups) {
  if (scs->sc_resendParamTypes == 0) return 0;
  const KS* ks = scs->sc_keyset;
  (void)scs_p_SetParamTypes(&scs->sc_genParamTypes, &scs->sc_genParamTypeCount, 0, nullptr);
  const auto* keys = static_cast<const ColDesc*>(ks->keyCols->items);
  const uint32_t nk = ks->keyCols->count;
  // One group's types, then copies of it: the list is built in one piece for
  // every block rather than grown group by group.
  if (int32_t rc = scs_p_AddParamDescs(scs, keys, nk, 0); rc != 0) return rc;
  const uint32_t kept = scs->sc_paramTypes != nullptr ? scs->sc_paramTypeCount : 0;
  const uint64_t total = uint64_t{groups} * nk + kept;
  if (total > UINT16_MAX) return ERR_MEMORY;
  if (total == 0) return scs->sc_driver->ops->DRV_SetParamTypes(h, 0, nullptr);
  auto* list = static_cast<ParamShadow*>(std::malloc(total * sizeof(ParamShadow)));
  if (list == nullptr) return ERR_MEMORY;
  for (uint32_t g = 0; g < groups; ++g)
    std::memcpy(list + size_t{g} * nk, scs->sc_genParamTypes, nk * sizeof(ParamShadow));
  if (kept > 0)
    std::memcpy(list + size_t{groups} * nk, scs->sc_paramTypes, kept * sizeof(ParamShadow));
  std::free(scs->sc_genParamTypes);
  scs->sc_genParamTypes = list;
  scs->sc_genParamTypeCount = static_cast<uint16_t>(total);
  return scs->sc_driver->ops->DRV_SetParamTypes(h, scs->sc_genParamTypeCount,
                                                scs->sc_genParamTypes);
}

int32_t scs_p_SendKeptParams(SCS* scs, DrvHandle h) {
  const DriverOps& ops = *scs->sc_driver->ops;
  if ((scs->sc_flags & SCS_F_PARAMS_KEPT) != 0 && scs->sc_params != nullptr) {
    Dataset* copy = nullptr;
    if (int32_t rc = DatasetClone(&copy, scs->sc_params); rc != 0) return rc;
    // The agent owns what it is handed.
    if (int32_t rc = ops.DRV_SetParams(h, copy); rc != 0) return rc;
  }
  if (scs->sc_resendParamTypes != 0 && scs->sc_paramTypeCount > 0)
    return ops.DRV_SetParamTypes(h, scs->sc_paramTypeCount, scs->sc_paramTypes);
  return 0;
}

int32_t KS_GetKeySet_KSD(SCS* scs) {
  KS* ks = scs->sc_keyset;
  if (!has_keys(ks) || scs->sc_sqlText == nullptr) return ERR_GENERAL;
  const DriverOps& ops = *scs->sc_driver->ops;
  if ((scs->sc_flags & SCS_F_KEYED_SELECT) != 0 || scs->sc_analysis->sa_root == nullptr) {
    scs->sc_flags &= static_cast<uint16_t>(~(SCS_F_KEY_ORDER | SCS_F_KEYED_SELECT));
    if (int32_t rc = scs_p_Reanalyse(scs, scs->sc_analysis, scs->sc_sqlText); rc != 0) return rc;
  }
  if ((scs->sc_flags & SCS_F_KEY_ORDER) == 0) {
    if (int32_t rc = KS_KeyOrderBy(scs->sc_analysis, scs); rc != 0) return rc;
    scs->sc_flags |= SCS_F_KEY_ORDER;
  }
  SCR_Analysis* aux = scs->sc_auxAnalysis;
  if (int32_t rc = scs_p_Reanalyse(scs, aux, scs->sc_analysis->sa_generated); rc != 0) return rc;
  if (int32_t rc = KS_KeySelect(aux, ks); rc != 0) return rc;
  scs_p_AuxCursorTaken(scs);
  if (int32_t rc = ops.DRV_Prepare(scs->sc_auxCursor, aux->sa_generated); rc != 0) {
    INF_CursorMoveErrors(scs->sc_auxCursor, scs->sc_hCursor, 1);
    return rc;
  }
  if (int32_t rc = scs_p_SendKeptParams(scs, scs->sc_auxCursor); rc != 0) return rc;
  // The statement's row limit holds for its keyset: rows past it are no rows
  // of the result.
  int32_t maxRows = 0;
  uint16_t len = 0;
  if (ops.DRV_GetInfo(scs->sc_hCursor, DRVP_STMT_OPTION + SQL_MAX_ROWS, &maxRows, 4, &len) == 0)
    (void)ops.DRV_SetOption(scs->sc_auxCursor, DRVP_STMT_OPTION + SQL_MAX_ROWS, &maxRows);
  if (int32_t rc = ops.DRV_Execute(scs->sc_auxCursor); rc != 0) return rc;
  KS_Reset(ks);
  int32_t total = 0;
  int32_t rc = DSC_Fill(&ks->cache, scs->sc_driver, scs->sc_auxCursor, ks->keys, &total);
  (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
  if (rc != 0) {
    log_printf(LOG_ERR, kSrc, __LINE__, "KS_GetKeySet_KSD: Could not fill dataset cache");
    return rc;
  }
  scs->sc_rowCount = total;
  if (ks->cache.state == DSC_SPILLED) ks->windowStart = -1;
  ks->rowStatus = static_cast<uint16_t*>(std::calloc(total > 0 ? total : 1, sizeof(uint16_t)));
  if (ks->rowStatus == nullptr) return ERR_MEMORY;
  ks->rowStatusCount = total;
  return 0;
}

int32_t KS_FetchRowsByKeys(SCS* scs, Dataset* keyRows, int32_t first, Dataset** out) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  KS* ks = scs->sc_keyset;
  if (!has_keys(ks) || keyRows == nullptr || first < 0) return ERR_GENERAL;
  int32_t blocks = 0, lastBlock = 0, size = 0;
  if (int32_t rc = scs_p_KeyBlockSizes(scs, &blocks, &lastBlock, &size); rc != 0) return rc;
  const DriverOps& ops = *scs->sc_driver->ops;
  const DrvHandle h = scs->sc_auxCursor2;
  SCR_Analysis* a = scs->sc_aux2Analysis;
  if (scs->sc_cursorType == SCS_DYNAMIC || (scs->sc_aux2Prepared & SCS_AUX2_KEY_SELECT) == 0) {
    scs->sc_aux2Prepared = 0;
    int32_t rc = scs_p_Reanalyse(scs, a, scs->sc_sqlText);
    if (rc == 0) rc = KS_KeyOrderBy(a, scs);
    if (rc == 0) rc = scs_p_Reanalyse(scs, a, a->sa_generated);
    if (rc == 0) rc = KS_KeySelect(a, ks);
    if (rc == 0) rc = scs_p_Reanalyse(scs, a, a->sa_generated);
    if (rc == 0) rc = KS_KeyWhere(a, ks, static_cast<uint32_t>(size));
    if (rc == 0) rc = ops.DRV_Prepare(h, a->sa_generated);
    if (rc != 0) return rc;
    scs->sc_aux2Prepared = SCS_AUX2_KEY_SELECT;
  }
  auto* found = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (found == nullptr) return ERR_MEMORY;
  *out = found;
  // The keys of one rowset from first on.
  const int32_t n = keyRows->rowCount - first < scs->sc_rowsetSize ? keyRows->rowCount - first
                                                                    : scs->sc_rowsetSize;
  return scs_p_RunKeyBlocks(scs, h, keyRows, first, n, blocks, lastBlock, size, found);
}

int32_t scs_p_RunKeyBlocks(SCS* scs, DrvHandle h, Dataset* keys, int32_t k0, int32_t n,
                           int32_t blocks, int32_t lastBlock, int32_t size, Dataset* found) {
  const DriverOps& ops = *scs->sc_driver->ops;
  // Rows read for update stay locked while the user's cursor is open.
  const bool keepOpen = h == scs->sc_hCursor && scs->sc_concurrency == SQL_CONCUR_LOCK &&
                        scs->sc_lockByUpdate == 0;
  for (int32_t b = 0; b < blocks; ++b) {
    const int32_t start = k0 + b * size;
    if (start >= k0 + n) break;
    int32_t rows = b + 1 == blocks ? lastBlock : size;
    if (rows > k0 + n - start) rows = k0 + n - start;
    Dataset* params = nullptr;
    int32_t rc = scs_p_KeyParams(scs, keys, static_cast<uint32_t>(start),
                                 static_cast<uint32_t>(size), static_cast<uint32_t>(rows), &params);
    if (rc == 0) rc = ops.DRV_SetParams(h, params);
    if (rc == 0) rc = scs_p_SendKeyParamTypes(scs, h, static_cast<uint32_t>(size));
    if (rc == 0) rc = ops.DRV_Execute(h);
    if (rc == 0) {
      if (found->rowCount == 0) {
        DatasetFree(found);
        rc = ops.DRV_Fetch(h, static_cast<uint16_t>(size), found);
      } else {
        Dataset more{};
        rc = ops.DRV_Fetch(h, static_cast<uint16_t>(size), &more);
        if (rc == 0 && more.rowCount > 0) rc = DatasetAppend(found, &more);
        DatasetFree(&more);
      }
    }
    if (!keepOpen) (void)ops.DRV_CloseCursor(h);
    if (rc != 0) return rc;
  }
  return 0;
}
