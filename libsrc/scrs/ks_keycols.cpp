// ks_keycols.cpp -- the key columns of the cursor's tables, asked of the
// catalog by three routes in turn (special columns, the first unique index,
// the primary key) and remembered per agent connection under a digest of the
// tables, so that later statements over the same tables ask nothing.
// Catalog names are patterns to the catalog, so rows of other tables whose
// names the pattern also matches are passed over.
// Threading: a connection's cache is used only inside calls on it, one at a time.

#include <md5.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "scrs/ks.h"
#include "util/hash.h"
#include "util/log.h"
#include "util/str.h"

struct KeyColCache {
  HashTable* table;  // digest -> DynArray* of ColDesc, owned
};

namespace {

constexpr const char* kSrc = "scrs/ks";
constexpr int kBuckets = 101;

enum class Route { kSpecialColumns, kStatistics, kPrimaryKeys };

const char* route_name(Route r) {
  switch (r) {
    case Route::kSpecialColumns: return "KS_GetKeyColDescs_SpCols";
    case Route::kStatistics: return "KS_GetKeyColDescs_Stats";
    default: return "KS_GetKeyColDescs_PKeys";
  }
}

std::string unquoted(const SCS& scs, const char* text) {
  if (scs.sc_quoteChar == '\0') return text;
  char* u = str_unquote(text, STR_NTS, scs.sc_quoteChar);
  std::string s = u != nullptr ? u : text;
  std::free(u);
  return s;
}

const char* opt(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

void copy_field(char (&dst)[kScrNameSize], const char* src) {
  const size_t n = strnlen(src, kKeyNameMax);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

int16_t cell_i16(const Dataset* ds, uint32_t row, uint16_t col) {
  int64_t v = 0;
  return scs_p_CellInt(ds, row, col, &v) ? static_cast<int16_t>(v) : 0;
}

// Runs the route's catalog operation for one table and reads its whole result.
int32_t ask(SCS* scs, Route route, const TblDesc& t, Dataset* rows) {
  const DriverOps& ops = *scs->sc_driver->ops;
  const std::string q = unquoted(*scs, t.qualifier);
  const std::string o = unquoted(*scs, t.owner);
  const std::string n = unquoted(*scs, t.table);
  int32_t rc = 0;
  const char* what = "";
  scs_p_AuxCursorTaken(scs);
  switch (route) {
    case Route::kSpecialColumns: {
      const DDSpecialColumnArgs a{opt(q), opt(o), n.c_str(), SQL_BEST_ROWID, SQL_SCOPE_CURROW,
                                  SQL_NO_NULLS};
      rc = ops.DRV_DDSpecialColumns(scs->sc_auxCursor, &a);
      what = "DRV_DDSpecialColumns";
      break;
    }
    case Route::kStatistics: {
      const DDStatisticsArgs a{opt(q), opt(o), n.c_str(), SQL_INDEX_UNIQUE, SQL_ENSURE};
      rc = ops.DRV_DDStatistics(scs->sc_auxCursor, &a);
      what = "DRV_DDStatistics";
      break;
    }
    case Route::kPrimaryKeys: {
      const DDObjectArgs a{opt(q), opt(o), n.c_str()};
      rc = ops.DRV_DDPrimaryKeys(scs->sc_auxCursor, &a);
      what = "DRV_DDPrimaryKeys";
      break;
    }
  }
  if (rc != 0) {
    log_printf(LOG_ERR, kSrc, __LINE__, "%s: %s failed.", route_name(route), what);
    return rc;
  }
  rc = scs_p_ReadAll(scs, scs->sc_auxCursor, rows);
  (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
  if (rc != 0)
    log_printf(LOG_ERR, kSrc, __LINE__, "%s: Couldn't fetch column descriptors.", route_name(route));
  return rc;
}

// A row of another table the catalog's pattern also matched.
int32_t other_table(const SCS& scs, const Dataset* rows, uint32_t r, uint16_t tableCol,
                    const TblDesc& t, bool* other) {
  std::string tab;
  if (int32_t rc = scs_p_CellText(rows, r, tableCol, &tab); rc != 0) return rc;
  *other = tab != unquoted(scs, t.table);
  return 0;
}

int32_t run_route(SCS* scs, Route route, TblDesc* tables, int32_t count, int32_t* keyFound) {
  KS* ks = scs->sc_keyset;
  int32_t stop = 0;
  bool anyEmpty = false, lastNone = true;
  for (int32_t j = 0; j < count && stop == 0; ++j) {
    if (keyFound != nullptr && keyFound[j] != 0) continue;
    const TblDesc& t = tables[j];
    Dataset rows{};
    if (int32_t rc = ask(scs, route, t, &rows); rc != 0) {
      DatasetFree(&rows);
      stop = rc;
      break;
    }
    if (rows.rowCount == 0) {
      anyEmpty = true;
      lastNone = true;
      DatasetFree(&rows);
      continue;
    }
    ColDesc tmpl{};
    copy_field(tmpl.owner, t.owner);
    copy_field(tmpl.qualifier, t.qualifier);
    copy_field(tmpl.table, t.table);
    copy_field(tmpl.alias, t.alias);
    tmpl.itemKind = COLDESC_COLUMN;
    int32_t taken = 0;
    const uint16_t nameCol = route == Route::kSpecialColumns ? 1 : route == Route::kStatistics ? 8 : 3;
    for (int32_t r = 0; r < rows.rowCount && stop == 0; ++r) {
      if (route != Route::kSpecialColumns) {
        bool other = false;
        if (int32_t rc = other_table(*scs, &rows, r, 2, t, &other); rc != 0) {
          stop = rc;
          break;
        }
        if (other) continue;
      }
      if (route == Route::kStatistics) {
        if (rows.cols[nameCol].ind[r] == DS_IND_NULL) continue;
        const DatasetColumn& pos = rows.cols[7];
        if (pos.type != DS_TINYINT && pos.type != DS_SMALLINT && pos.type != DS_INTEGER &&
            pos.type != DS_UTINYINT && pos.type != DS_USMALLINT && pos.type != DS_UINTEGER) {
          stop = ERR_GENERAL;
          break;
        }
        int64_t ordinal = 0;
        // Only the first index of the result: the next one starts at position 1.
        if (taken > 0 && scs_p_CellInt(&rows, r, 7, &ordinal) && ordinal == 1) break;
      }
      std::string name;
      if (int32_t rc = scs_p_CellText(&rows, r, nameCol, &name); rc != 0) {
        stop = rc;
        break;
      }
      if (name.empty()) continue;
      const bool pseudo = route == Route::kSpecialColumns && cell_i16(&rows, r, 7) == SQL_PC_PSEUDO;
      ColDesc c = tmpl;
      copy_field(c.name, pseudo ? name.c_str() : scs_p_CatalogIdentifier(scs, name).c_str());
      // A column the catalog lists twice (an index over it twice, or two
      // answers for it) is one key column: every key group names it once.
      uint32_t seen = 0;
      if (scs_p_FindColDesc(static_cast<ColDesc*>(ks->keyCols->items), ks->keyCols->count, &c,
                            &seen) != nullptr &&
          std::strcmp(static_cast<ColDesc*>(ks->keyCols->items)[seen].alias, c.alias) == 0)
        continue;
      if (route == Route::kSpecialColumns) {
        int64_t size = 0;
        c.sqlType = cell_i16(&rows, r, 2);
        (void)scs_p_CellInt(&rows, r, 4, &size);
        c.columnSize = static_cast<uint32_t>(size);
        c.decimalDigits = c.sqlType == SQL_NUMERIC || c.sqlType == SQL_DECIMAL ? cell_i16(&rows, r, 6) : 0;
      }
      if (DynArrayAppend(ks->keyCols, &c) == 0) {
        stop = ERR_MEMORY;
        break;
      }
      ++taken;
      if (keyFound != nullptr) keyFound[j] = 1;
    }
    lastNone = taken == 0;
    DatasetFree(&rows);
  }
  if (stop != 0) return stop;
  if (lastNone || anyEmpty) return ERR_NO_KEY_COLUMNS;
  return 0;
}

// The types of key columns a route left untyped, one column query each.
int32_t complete_types(SCS* scs) {
  KS* ks = scs->sc_keyset;
  const DriverOps& ops = *scs->sc_driver->ops;
  for (uint32_t i = 0; i < ks->keyCols->count; ++i) {
    ColDesc& k = static_cast<ColDesc*>(ks->keyCols->items)[i];
    if (k.sqlType != 0) continue;
    const std::string q = unquoted(*scs, k.qualifier);
    const std::string o = unquoted(*scs, k.owner);
    const std::string t = unquoted(*scs, k.table);
    const std::string n = unquoted(*scs, k.name);
    const DDColumnArgs a{opt(q), o.empty() ? "%" : o.c_str(), t.c_str(), n.c_str()};
    scs_p_AuxCursorTaken(scs);
    if (int32_t rc = ops.DRV_DDColumns(scs->sc_auxCursor, &a); rc != 0) {
      log_printf(LOG_ERR, kSrc, __LINE__, "KS_GetKeyColDescs: DRV_DDColumns failed.");
      return rc;
    }
    Dataset rows{};
    int32_t rc = ops.DRV_Fetch(scs->sc_auxCursor, 10, &rows);
    (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
    if (rc != 0) {
      DatasetFree(&rows);
      log_printf(LOG_ERR, kSrc, __LINE__, "KS_GetKeyColDescs: Couldn't fetch column descriptors.");
      return rc;
    }
    int32_t match = -1, matches = 0;
    std::string tab, col;
    for (int32_t r = 0; r < rows.rowCount && rc == 0; ++r) {
      rc = scs_p_CellText(&rows, r, 2, &tab);
      if (rc == 0) rc = scs_p_CellText(&rows, r, 3, &col);
      if (rc == 0 && tab == t && col == n) {
        if (match < 0) match = r;
        ++matches;
      }
    }
    if (rc == 0 && matches != 1) {
      log_printf(LOG_ERR, kSrc, __LINE__, "KS_GetKeyColDescs: Too many column descriptors!");
      rc = ERR_GENERAL;
    }
    if (rc == 0) {
      int64_t size = 0;
      k.sqlType = cell_i16(&rows, match, 4);
      (void)scs_p_CellInt(&rows, match, 6, &size);
      k.columnSize = static_cast<uint32_t>(size);
      k.decimalDigits =
          k.sqlType == SQL_NUMERIC || k.sqlType == SQL_DECIMAL ? cell_i16(&rows, match, 8) : 0;
    }
    DatasetFree(&rows);
    if (rc != 0) return rc;
  }
  return 0;
}

int scs_p_FreeCacheEntry(void* value, const void*, void*) {
  auto* cols = static_cast<DynArray*>(value);
  DynArrayFree(&cols, nullptr);
  return 0;
}

}  // namespace

KeyColCache* KeyColCacheNew() {
  auto* c = static_cast<KeyColCache*>(std::calloc(1, sizeof(KeyColCache)));
  if (c == nullptr) return nullptr;
  c->table = hash_create(kBuckets, 16);
  if (c->table == nullptr) {
    std::free(c);
    return nullptr;
  }
  return c;
}

void KeyColCacheFree(KeyColCache* cache) {
  if (cache == nullptr) return;
  (void)hash_foreach(cache->table, scs_p_FreeCacheEntry, nullptr);
  hash_destroy(cache->table);
  std::free(cache);
}

void KS_TablesDigest(const TblDesc* tables, int32_t count, unsigned char digest[16]) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (int32_t i = 0; i < count; ++i) {
    for (const char* part : {tables[i].qualifier, tables[i].owner, tables[i].table}) {
      // The terminator separates the names: "ab" + "c" is not "a" + "bc".
      MD5Update(&ctx, reinterpret_cast<const uint8_t*>(part), std::strlen(part) + 1);
    }
  }
  MD5Final(digest, &ctx);
}

int32_t KS_GetKeyColDescs_SpCols(SCS* scs, TblDesc* tables, int32_t count, int32_t* keyFound) {
  return run_route(scs, Route::kSpecialColumns, tables, count, keyFound);
}

int32_t KS_GetKeyColDescs_Stats(SCS* scs, TblDesc* tables, int32_t count, int32_t* keyFound) {
  return run_route(scs, Route::kStatistics, tables, count, keyFound);
}

int32_t KS_GetKeyColDescs_PKeys(SCS* scs, TblDesc* tables, int32_t count, int32_t* keyFound) {
  return run_route(scs, Route::kPrimaryKeys, tables, count, keyFound);
}

int32_t KS_GetKeyColDescs(SCS* scs, DynArray* tableArray) {
  if (scs == nullptr || scs->sc_keyset == nullptr || tableArray == nullptr) return ERR_GENERAL;
  KS* ks = scs->sc_keyset;
  auto* tables = static_cast<TblDesc*>(tableArray->items);
  const auto count = static_cast<int32_t>(tableArray->count);
  ks->tableCount = static_cast<uint8_t>(count & 0xFF);
  KeyColCache* cache = scs_p_KeyColCache(scs->sc_hConn);
  auto* keyFound = static_cast<int32_t*>(std::calloc(count > 0 ? count : 1, sizeof(int32_t)));
  if (keyFound == nullptr) return ERR_MEMORY;
  unsigned char digest[16];
  KS_TablesDigest(tables, count, digest);
  DynArrayFree(&ks->keyCols, nullptr);
  ks->keyCols = DynArrayNew(sizeof(ColDesc));
  if (ks->keyCols == nullptr) {
    std::free(keyFound);
    return ERR_MEMORY;
  }
  // The catalog knows neither the session's temporary tables nor their indexes;
  // their rows are found again by row id. Keys remembered under the same names
  // may be those of a table that has since gone, so none are looked up or kept.
  int32_t temps = 0;
  for (int32_t j = 0; j < count; ++j) {
    if (tables[j].sessionTemp == 0) continue;
    ColDesc c;
    scs_p_RowIdColDesc(tables[j], &c);
    if (DynArrayAppend(ks->keyCols, &c) == 0) {
      std::free(keyFound);
      return ERR_MEMORY;
    }
    keyFound[j] = 1;
    ++temps;
  }
  if (temps > 0) cache = nullptr;
  if (cache != nullptr) {
    if (auto* hit = static_cast<DynArray*>(hash_get(cache->table, digest)); hit != nullptr) {
      std::free(keyFound);
      return DynArrayAppendAll(ks->keyCols, hit) != 0 ? 0 : ERR_MEMORY;
    }
  }
  bool untyped = false;
  int32_t rc = 0;
  if (temps < count) {
    rc = KS_GetKeyColDescs_SpCols(scs, tables, count, keyFound);
    if (rc == ERR_NO_KEY_COLUMNS || rc == ERR_NOT_CAPABLE) {
      rc = KS_GetKeyColDescs_Stats(scs, tables, count, keyFound);
      untyped = rc == 0;
      if (rc == ERR_NO_KEY_COLUMNS || rc == ERR_NOT_CAPABLE) {
        rc = KS_GetKeyColDescs_PKeys(scs, tables, count, keyFound);
        untyped = rc == 0;
      }
    }
  }
  std::free(keyFound);
  if (rc == 0 && untyped) rc = complete_types(scs);
  if (rc != 0 || cache == nullptr) return rc;
  auto* keep = DynArrayNew(sizeof(ColDesc));
  if (keep == nullptr || DynArrayAppendAll(keep, ks->keyCols) == 0 ||
      hash_set(cache->table, digest, keep) == nullptr) {
    // Not remembering costs only the catalog queries of a later statement.
    DynArrayFree(&keep, nullptr);
  }
  return 0;
}
