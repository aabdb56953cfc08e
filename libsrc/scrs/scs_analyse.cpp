// scs_analyse.cpp -- the analysis of a statement prepared on a keyset-driven
// cursor: what its cursor type can serve (refused, or run as a static
// read-only cursor), its tables resolved through the catalog, their columns,
// its ORDER BY, and its key columns.
// A SELECT whose rows are no rows of a table (DISTINCT or UNIQUE, grouped,
// aggregated, a UNION, no table, a remote table) or whose tables have no key
// cannot be found again by keys; such a cursor runs static read-only and the
// caller reads back the cursor type (01S02).
// Threading: used inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/rowstatus.h"
#include "scrs/ks.h"
#include "scrs/rvc.h"
#include "scrs/scs_p.h"
#include "scrs/ss.h"
#include "util/log.h"
#include "util/str.h"

namespace {

constexpr const char* kSrc = "scrs/scs_analyse";
// Driver-specific column attributes of a rewritten select list.
constexpr int16_t kAttrKeyColumn = 1053;
constexpr int16_t kAttrExpression = 1055;

void reset_analysis_record(SCR_Analysis* a) {
  if (a == nullptr) return;
  SCR_AnalysisFree(a);
  SCR_AnalysisInit(a);
}

// A fresh array in *slot (the old one freed with destructor).
int32_t fresh_array(DynArray** slot, size_t elemSize, DynArrayDestructor destructor) {
  DynArrayFree(slot, destructor);
  *slot = DynArrayNew(elemSize);
  return *slot != nullptr ? 0 : ERR_MEMORY;
}

void copy_field(char (&dst)[kScrNameSize], const char* src) {
  const size_t n = strnlen(src, kKeyNameMax);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Every ordinal sort key named by the select item it stands for.
int32_t scs_p_OrderByOrdinals(SCS* scs) {
  DynArray* cols = DynArrayNew(sizeof(ColDesc));
  if (cols == nullptr) return ERR_MEMORY;
  int32_t rc = scs_p_SelectColsGet(scs, cols, nullptr);
  auto* items = static_cast<OrderByItem*>(scs->sc_orderBy->items);
  for (uint32_t i = 0; rc == 0 && i < scs->sc_orderBy->count; ++i) {
    OrderByItem& it = items[i];
    if (it.ordinal == 0) continue;
    if (it.ordinal > cols->count) {
      rc = ERR_SYNTAX;
      break;
    }
    const ColDesc& c = static_cast<ColDesc*>(cols->items)[it.ordinal - 1];
    if (c.itemKind == COLDESC_EXPRESSION) {
      rc = ERR_ORDER_EXPR;
      break;
    }
    copy_field(it.name, c.name);
    copy_field(it.table, c.table);
    copy_field(it.alias, c.alias);
    copy_field(it.owner, c.owner);
    copy_field(it.qualifier, c.qualifier);
    it.sqlType = c.sqlType;
    it.columnSize = c.columnSize;
    it.decimalDigits = c.decimalDigits;
    char* text = scs_p_QualifiedColName(scs->sc_keyset->tableCount, &c);
    if (text == nullptr) {
      rc = ERR_MEMORY;
      break;
    }
    std::strncpy(it.text, text, sizeof it.text - 1);
    std::free(text);
  }
  DynArrayFree(&cols, nullptr);
  return rc;
}

// Sort keys named the way the catalog names the columns and tables.
void scs_p_OrderByColsPrepare(SCS* scs) {
  auto* items = static_cast<OrderByItem*>(scs->sc_orderBy->items);
  auto* tables = static_cast<TblDesc*>(scs->sc_tables->items);
  for (uint32_t i = 0; i < scs->sc_orderBy->count; ++i) {
    OrderByItem& it = items[i];
    scs_p_CaseIdentifier(it.name, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                         scs->sc_wideAgent, 1);
    if (it.table[0] == '\0') continue;
    bool aliased = false;
    for (uint32_t t = 0; t < scs->sc_tables->count && !aliased; ++t) {
      if (std::strcmp(tables[t].alias, it.table) != 0) continue;
      copy_field(it.alias, it.table);
      copy_field(it.table, tables[t].table);
      copy_field(it.owner, tables[t].owner);
      aliased = true;
    }
    if (aliased) continue;
    scs_p_CaseIdentifier(it.table, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                         scs->sc_wideAgent, 1);
    scs_p_CaseIdentifier(it.owner, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                         scs->sc_wideAgent, 1);
  }
}

int32_t scs_p_OrderByColsGet(SCS* scs) {
  if (int32_t rc = fresh_array(&scs->sc_orderBy, sizeof(OrderByItem), nullptr); rc != 0) return rc;
  if (int32_t rc = SCR_OrderByColsGet(scs->sc_analysis, scs->sc_orderBy); rc != 0) return rc;
  scs->sc_analysisFlags |= scs->sc_analysis->sa_flags;
  if ((scs->sc_analysisFlags & SA_ORDERBY_ORDINAL) != 0) {
    if (int32_t rc = scs_p_OrderByOrdinals(scs); rc != 0) return rc;
  }
  scs_p_OrderByColsPrepare(scs);
  return 0;
}

// The 1-based ORDER BY position of every key column (0 when none names it).
void scs_p_KeyColsOrderByPos(SCS* scs) {
  KS* ks = scs->sc_keyset;
  if (ks == nullptr || ks->keyCols == nullptr || scs->sc_orderBy == nullptr) return;
  auto* keys = static_cast<ColDesc*>(ks->keyCols->items);
  auto* items = static_cast<OrderByItem*>(scs->sc_orderBy->items);
  for (uint32_t k = 0; k < ks->keyCols->count; ++k) keys[k].orderByPos = 0;
  for (uint32_t j = 0; j < scs->sc_orderBy->count; ++j) {
    items[j].keyMatch = 0;
    for (uint32_t k = 0; k < ks->keyCols->count; ++k) {
      if (!scs_p_ItemNamesKey(items[j], keys[k])) continue;
      keys[k].orderByPos = static_cast<uint8_t>(j + 1 > 255 ? 0 : j + 1);
      items[j].keyMatch = 1;
      break;
    }
  }
}

int scs_p_NeedsQuote(const char* name, const char* dbms) {
  if (name == nullptr) return 0;
  std::string n(name), d(dbms != nullptr ? dbms : "");
  for (char& c : n) c = static_cast<char>(str_tolower(c));
  for (char& c : d) c = static_cast<char>(str_tolower(c));
  const bool pseudo = n.find("rowid") != std::string::npos || n.find("rownum") != std::string::npos;
  return pseudo && d.find("oracle") != std::string::npos ? 0 : 1;
}

// Every select column named as its table column is, with the table's names.
void scs_p_SelectCol_ColDescComplete(SCS* scs) {
  auto* sel = static_cast<ColDesc*>(scs->sc_selectCols->items);
  const auto* cols = static_cast<const ColDesc*>(scs->sc_tableCols->items);
  const uint32_t tables = scs->sc_tables->count;
  auto same = [scs](const char* a, const char* b) {
    return scs_p_SameIdentifier(a, b, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                                scs->sc_wideAgent) != 0;
  };
  for (uint32_t i = 0; i < scs->sc_selectCols->count; ++i) {
    ColDesc& c = sel[i];
    if (c.itemKind == COLDESC_ALL || c.itemKind == COLDESC_TABLE_ALL ||
        c.itemKind == COLDESC_EXPRESSION)
      continue;
    scs_p_CaseIdentifier(c.name, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                         scs->sc_wideAgent, scs_p_NeedsQuote(c.name, scs->sc_dbmsName));
    scs_p_CaseIdentifier(c.table, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                         scs->sc_wideAgent, 1);
    scs_p_CaseIdentifier(c.owner, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                         scs->sc_wideAgent, 1);
    for (uint32_t k = 0; k < scs->sc_tableCols->count; ++k) {
      const ColDesc& t = cols[k];
      if (!same(c.name, t.name)) continue;
      if (tables >= 2 && c.table[0] != '\0' && !same(c.table, t.table) &&
          !(t.alias[0] != '\0' && same(c.table, t.alias)))
        continue;
      copy_field(c.table, t.table);
      copy_field(c.alias, t.alias);
      copy_field(c.owner, t.owner);
      copy_field(c.qualifier, t.qualifier);
      copy_field(c.name, t.name);
      c.sqlType = t.sqlType;
      c.columnSize = t.columnSize;
      c.decimalDigits = t.decimalDigits;
      break;
    }
  }
}

// The select list with its all-columns items spelled out and, under
// attribute 1054, the key columns it lacks appended; *changed when the
// statement was rewritten (into sa_generated).
int32_t sel_list_add_keys(SCS* scs, const DynArray* raw, bool* changed) {
  *changed = false;
  bool expand = false, star = false;
  for (uint32_t i = 0; i < raw->count && !star; ++i) {
    const int32_t kind = static_cast<const ColDesc*>(raw->items)[i].itemKind;
    if (kind == COLDESC_TABLE_ALL) expand = true;
    if (kind == COLDESC_ALL) star = expand = true;
  }
  KS* ks = scs->sc_keyset;
  std::vector<uint32_t> missing;
  if (scs->sc_stmtAttr1054 != 0 && !star && ks->keyCols != nullptr) {
    const auto* keys = static_cast<const ColDesc*>(ks->keyCols->items);
    const auto* sel = static_cast<const ColDesc*>(scs->sc_selectCols->items);
    for (uint32_t k = 0; k < ks->keyCols->count; ++k) {
      bool found = false;
      for (uint32_t i = 0; i < scs->sc_selectCols->count && !found; ++i)
        found = std::strcmp(sel[i].name, keys[k].name) == 0 &&
                std::strcmp(sel[i].table, keys[k].table) == 0 &&
                std::strcmp(sel[i].owner, keys[k].owner) == 0 &&
                std::strcmp(sel[i].qualifier, keys[k].qualifier) == 0;
      if (!found) missing.push_back(k);
    }
  }
  if (missing.empty() && !expand) return 0;
  if (int32_t rc = SCR_SelListPlaceholder(scs->sc_analysis); rc != 0) return rc;
  const uint32_t tables = scs->sc_tables->count;
  std::string list;
  auto add = [&](const ColDesc& c) {
    if (!list.empty()) list += ", ";
    if (c.itemKind == COLDESC_EXPRESSION) {
      list += c.name;
      return true;
    }
    char* q = scs_p_QualifiedColName(tables, &c);
    if (q == nullptr) return false;
    list += q;
    std::free(q);
    return true;
  };
  for (uint32_t i = 0; i < scs->sc_selectCols->count; ++i)
    if (!add(static_cast<const ColDesc*>(scs->sc_selectCols->items)[i])) return ERR_MEMORY;
  for (uint32_t k : missing) {
    const ColDesc key = static_cast<const ColDesc*>(ks->keyCols->items)[k];
    if (!add(key) || DynArrayAppend(scs->sc_selectCols, &key) == 0) return ERR_MEMORY;
  }
  if (int32_t rc = scs_p_SplicePiece(scs->sc_analysis, list.c_str()); rc != 0) return rc;
  *changed = true;
  return 0;
}

// A forward-only SELECT under attribute 1052 or 1054: its result columns
// named by their base columns, and under 1054 its key columns added.
int32_t forward_only_rewrite(SCS* scs, TblDesc* tables, int32_t count) {
  KS* ks = scs->sc_keyset;
  ks->tableCount = static_cast<uint8_t>(count & 0xFF);
  if (int32_t rc = fresh_array(&ks->keyCols, sizeof(ColDesc), nullptr); rc != 0) return rc;
  int32_t rc = KS_GetKeyColDescs_PKeys(scs, tables, count, nullptr);
  if (rc != 0) rc = KS_GetKeyColDescs(scs, scs->sc_tables);
  if (rc != 0 && rc != ERR_NO_KEY_COLUMNS) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "ks_GetKeyColDescs_PKeys failed");
    return rc;
  }
  if ((rc = fresh_array(&scs->sc_tableCols, sizeof(ColDesc), nullptr)) != 0) return rc;
  if ((rc = scs_p_GetTblColDescs(scs, tables, count, 0, scs->sc_tableCols)) != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_GetTblColDescs failed");
    return rc;
  }
  if ((rc = fresh_array(&scs->sc_selectCols, sizeof(ColDesc), nullptr)) != 0) return rc;
  DynArray* raw = nullptr;
  if ((rc = scs_p_SelectColsGet(scs, scs->sc_selectCols, &raw)) != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_SelectColsGet failed");
    return rc;
  }
  scs_p_SelectCol_ColDescComplete(scs);
  bool changed = false;
  rc = sel_list_add_keys(scs, raw, &changed);
  DynArrayFree(&raw, nullptr);
  if (rc != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_SelListAddKeysnXpandWC failed");
    return rc;
  }
  if (changed) {
    if ((rc = scs->sc_driver->ops->DRV_Prepare(scs->sc_hCursor, scs->sc_analysis->sa_generated)) !=
        0)
      return rc;
  }
  scs->sc_flags |= SCS_F_SELECT_REWRITTEN;
  return 0;
}

// A SELECT whose rows are not rows of its tables has no keys to find them by.
bool keyless(uint16_t flags) {
  return (flags & (SA_DISTINCT | SA_AGGREGATE | SA_REMOTE)) != 0;
}

}  // namespace

bool scs_p_ItemNamesKey(const OrderByItem& item, const ColDesc& key) {
  if (std::strcmp(item.name, key.name) != 0) return false;
  if (item.table[0] == '\0') return true;
  return std::strcmp(item.table, key.table) == 0 &&
         (item.owner[0] == '\0' || std::strcmp(item.owner, key.owner) == 0);
}

void scs_p_ResetAnalysis(SCS* scs) {
  std::free(scs->sc_sqlText);
  scs->sc_sqlText = nullptr;
  reset_analysis_record(scs->sc_analysis);
  reset_analysis_record(scs->sc_auxAnalysis);
  reset_analysis_record(scs->sc_aux2Analysis);
  RowStatusTableFree(&scs->sc_rowStatus);
  ColumnInfoFree(scs->sc_resultCols, scs->sc_resultColCount);
  scs->sc_resultCols = nullptr;
  scs->sc_resultColCount = 0;
  (void)scs_p_SetParamTypes(&scs->sc_genParamTypes, &scs->sc_genParamTypeCount, 0, nullptr);
  DynArrayFree(&scs->sc_tables, SCR_TableEntryFree);
  DynArrayFree(&scs->sc_tableCols, nullptr);
  DynArrayFree(&scs->sc_orderBy, nullptr);
  DynArrayFree(&scs->sc_selectCols, nullptr);
  scs->sc_analysisFlags = 0;
  scs->sc_flags = 0;
  scs->sc_aux2Prepared = 0;
}

int32_t scs_p_ChangeCursorType(SCS* scs) {
  const DriverOps& ops = *scs->sc_driver->ops;
  const int32_t type = scs->sc_cursorType;
  const int32_t concurrency = scs->sc_concurrency;
  if (type != SCS_FORWARD_ONLY && type != SCS_STATIC) {
    const int32_t st = SCS_STATIC;
    if (ops.DRV_SetOption(scs->sc_hCursor, DRVP_STMT_OPTION + SQL_CURSOR_TYPE, &st) != 0) {
      log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_ChangeCursorType: Couldn't switch to static cursor");
      return ERR_NOT_CAPABLE;
    }
    log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_ChangeCursorType: Switched to static cursor");
    scs->sc_cursorType = SCS_STATIC;
    scs->sc_flags |= SCS_F_DOWNGRADED;
  }
  if (concurrency != SQL_CONCUR_READ_ONLY) {
    const int32_t ro = SQL_CONCUR_READ_ONLY;
    if (ops.DRV_SetOption(scs->sc_hCursor, DRVP_STMT_OPTION + SQL_CONCURRENCY, &ro) != 0) {
      log_printf(LOG_DEBUG, kSrc, __LINE__,
                 "scs_p_ChangeCursorType: Couldn't switch to read-only concurrency");
      return ERR_NOT_CAPABLE;
    }
    log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_ChangeCursorType: Switched to read-only concurrency");
    scs->sc_concurrency = SQL_CONCUR_READ_ONLY;
    scs->sc_flags |= SCS_F_DOWNGRADED;
  }
  if ((scs->sc_flags & SCS_F_DOWNGRADED) != 0) {
    scs->sc_reqCursorType = type;
    scs->sc_reqConcurrency = concurrency;
  }
  return 0;
}

int32_t SCS_GetBaseColAttrs(SCS* scs, uint16_t n, ColumnInfo* info, uint16_t bits, uint16_t step,
                            uint16_t count, ColAttr* table) {
  if (scs == nullptr || (scs->sc_flags & SCS_F_SELECT_REWRITTEN) == 0 ||
      scs->sc_selectCols == nullptr || n == 0 || n > scs->sc_selectCols->count)
    return 0;
  const ColDesc& c = static_cast<const ColDesc*>(scs->sc_selectCols->items)[n - 1];
  if (info != nullptr) {
    auto put = [](char** field, const char* value) {
      char* copy = strdup(value);
      if (copy == nullptr) return;
      std::free(*field);
      *field = copy;
    };
    if ((bits & 0x1) != 0) put(&info->fullName, c.name);
    if ((bits & 0x2) != 0) put(&info->table, c.table);
    if ((bits & 0x4) != 0) put(&info->schema, c.owner);
    if ((bits & 0x8) != 0) put(&info->catalog, c.qualifier);
  }
  for (uint32_t i = 0; table != nullptr && i < count; ++i) {
    ColAttr& a = table[n + size_t(i) * step];
    if (a.attrId >= 0) continue;
    const int16_t id = static_cast<int16_t>(-a.attrId);
    if (id == kAttrKeyColumn) a.value.intVal = scs_p_IsKeyCol(scs, &c);
    else if (id == kAttrExpression) a.value.intVal = scs_p_IsExprCol(&c);
    else continue;
    a.attrId = id;
  }
  return 0;
}

int32_t scs_p_AnalyseStmt(SCS* scs, const char* text) {
  const bool forwardOnly = scs->sc_cursorType == SCS_FORWARD_ONLY;
  if (forwardOnly) {
    if (scs->sc_stmtAttr1052 == 0 && scs->sc_stmtAttr1054 == 0) return 0;
    std::string copy(text);
    if (skip_keyword("SELECT", copy.data()) == nullptr) return 0;
    if ((scs->sc_flags & SCS_F_ANALYSED) != 0) scs_p_ResetAnalysis(scs);
    scs->sc_flags |= SCS_F_ANALYSED;
    if (int32_t rc = scs_p_OpenAuxCursors(scs); rc != 0) return rc;
    SCR_Analysis* a = scs->sc_analysis;
    // A statement the analysis cannot read runs as it is, without base names.
    const int32_t rc = SCR_AnalyseSQL(a, text, 0, static_cast<int32_t>(scs->sc_keepQualifier));
    if (rc == ERR_MEMORY) return rc;
    if (rc != 0 || a->sa_kind != PN_SELECT) return 0;
    scs->sc_analysisFlags = a->sa_flags;
    if (int32_t rc = fresh_array(&scs->sc_tables, sizeof(TblDesc), SCR_TableEntryFree); rc != 0)
      return rc;
    if (int32_t rc = SCR_TablesGet(a, scs->sc_tables, static_cast<int32_t>(scs->sc_keepQualifier));
        rc != 0)
      return rc;
    auto* tables = static_cast<TblDesc*>(scs->sc_tables->items);
    const auto count = static_cast<int32_t>(scs->sc_tables->count);
    if (count == 0) return 0;
    if (int32_t rc = scs_p_GetTblDescs(scs, tables, count); rc != 0) return rc;
    return forward_only_rewrite(scs, tables, count);
  }
  const bool dynamic = scs->sc_cursorType == SCS_DYNAMIC;
  // A static cursor is analysed only when it is to change rows: it then needs
  // the keys of its rows, and runs read-only (01S02) where it cannot have them.
  const bool keyedStatic =
      scs->sc_cursorType == SCS_STATIC && scs->sc_concurrency != SQL_CONCUR_READ_ONLY;
  if (scs->sc_cursorType != SCS_KEYSET && !dynamic && !keyedStatic) return 0;
  if ((scs->sc_flags & SCS_F_ANALYSED) != 0) scs_p_ResetAnalysis(scs);
  scs->sc_flags |= SCS_F_ANALYSED;
  scs->sc_orderColCount = 0;
  if (int32_t rc = scs_p_OpenAuxCursors(scs); rc != 0) return rc;
  if (int32_t rc = scs_p_OpenRowVersions(scs); rc != 0) return rc;

  std::free(scs->sc_sqlText);
  scs->sc_sqlText = strdup(text);
  if (scs->sc_sqlText == nullptr) return ERR_MEMORY;
  SCR_Analysis* a = scs->sc_analysis;
  if (int32_t rc = SCR_AnalyseSQL(a, text, 0, static_cast<int32_t>(scs->sc_keepQualifier));
      rc != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "SCR_AnalyseSQL failed: %s", text);
    log_printf(LOG_DEBUG, kSrc, __LINE__, "%s", a->sa_errMsg != nullptr ? a->sa_errMsg : "");
    log_printf(LOG_DEBUG, kSrc, __LINE__, "%s", a->sa_errPos != nullptr ? a->sa_errPos : "");
    // A statement the analysis cannot read still runs; only not by keys. Memory
    // that ran out is no reason to run it otherwise than asked.
    if (rc == ERR_MEMORY) return rc;
    return scs_p_ChangeCursorType(scs);
  }
  scs->sc_analysisFlags = SCS_NOT_SELECT;
  scs->sc_windowState = -6;
  KS_Close(scs->sc_keyset);
  SS_Close(scs->sc_staticSet);
  SCS_ResetPosition(scs);
  DSC_Close(scs->sc_cache);
  if (scs->sc_optValues != nullptr) DatasetFree(scs->sc_optValues);

  if (a->sa_kind != PN_SELECT) {
    if (a->sa_kind == PN_ESCAPE_STMT || a->sa_kind == PN_OTHER_STMT)
      return scs_p_ChangeCursorType(scs);
    return 0;
  }
  scs->sc_analysisFlags = a->sa_flags;
  // Rows of a join, a group, a union or an aggregate have no one row to change.
  if (keyedStatic && ((a->sa_flags & SA_OUTERJOIN) != 0 || scs_p_CheckKeysetStmt(scs) != 0 ||
                      scs_p_CheckScrollable(scs) != 0))
    return scs_p_ChangeCursorType(scs);
  if ((a->sa_flags & SA_OUTERJOIN) != 0) return ERR_OUTER_JOIN_STATIC;
  if (!dynamic) {
    if (int32_t rc = scs_p_CheckKeysetStmt(scs); rc != 0) return rc;
  }
  if (keyless(a->sa_flags)) return scs_p_ChangeCursorType(scs);

  if (int32_t rc = fresh_array(&scs->sc_tables, sizeof(TblDesc), SCR_TableEntryFree); rc != 0)
    return rc;
  if (int32_t rc = SCR_TablesGet(a, scs->sc_tables, static_cast<int32_t>(scs->sc_keepQualifier));
      rc != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "SCR_TablesGet failed");
    return rc;
  }
  auto* tables = static_cast<TblDesc*>(scs->sc_tables->items);
  const auto count = static_cast<int32_t>(scs->sc_tables->count);
  if (count == 0) return scs_p_ChangeCursorType(scs);
  if (int32_t rc = scs_p_GetTblDescs(scs, tables, count); rc != 0) return rc;

  if ((a->sa_flags & SA_ORDERBY) != 0) {
    if (int32_t rc = scs_p_OrderByColsGet(scs); rc != 0) return rc;
    if ((scs->sc_analysisFlags & SA_ORDERBY_ORDINAL) != 0) {
      if (int32_t rc = SCR_OrderByOrdinalsToNames(a, scs->sc_orderBy); rc != 0) return rc;
      char* regenerated = strdup(a->sa_root->text);
      if (regenerated == nullptr) return ERR_MEMORY;
      std::free(scs->sc_sqlText);
      scs->sc_sqlText = regenerated;
    }
  }
  if (dynamic || (scs->sc_concurrency == SQL_CONCUR_VALUES && scs_p_CheckScrollable(scs) == 0)) {
    if (int32_t rc = fresh_array(&scs->sc_tableCols, sizeof(ColDesc), nullptr); rc != 0) return rc;
    if (int32_t rc = scs_p_GetTblColDescs(scs, tables, count, 1, scs->sc_tableCols); rc != 0) {
      log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_GetTblColDescs failed");
      return rc;
    }
    if (int32_t rc = scs_p_AddRowIdCols(tables, count, scs->sc_tableCols); rc != 0) return rc;
  }
  int32_t rc = KS_GetKeyColDescs(scs, scs->sc_tables);
  if (rc == ERR_NO_KEY_COLUMNS) return scs_p_ChangeCursorType(scs);
  if (rc != 0) {
    log_printf(LOG_DEBUG, kSrc, __LINE__, "KS_GetKeyColDescs failed");
    return rc;
  }
  if ((a->sa_flags & SA_ORDERBY) != 0) scs_p_KeyColsOrderByPos(scs);
  if (dynamic || scs->sc_keysetSize > 0) return scs_p_MapKeyCols(scs);
  return 0;
}
