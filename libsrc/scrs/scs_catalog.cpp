// scs_catalog.cpp -- the catalog metadata of the cursor's tables: each table
// reference resolved to the one table the catalog names, the columns of the
// tables, the select list with its all-columns items spelled out, and
// identifiers folded the way the server folds them.
// Every catalog call runs on the first auxiliary cursor, so the user's cursor
// keeps its result. Catalog names are patterns to the catalog ('a_b' also
// finds 'axb'), so only rows whose names equal the requested ones count.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"
#include "util/casemap.h"
#include "util/conv.h"
#include "util/log.h"
#include "util/str.h"

namespace {

constexpr const char* kSrc = "scrs/scs_catalog";

void fold(char* text, uint32_t idCase, uint32_t wide) {
  const int64_t size = static_cast<int64_t>(std::strlen(text)) + 1;
  if (idCase == SCS_CASE_UPPER) {
    if (wide != 0) {
      (void)utf8_upper(text, size);
    } else {
      for (char* p = text; *p != '\0'; ++p) *p = static_cast<char>(str_toupper(*p));
    }
  } else if (idCase == SCS_CASE_LOWER) {
    if (wide != 0) {
      (void)utf8_lower(text, size);
    } else {
      for (char* p = text; *p != '\0'; ++p) *p = static_cast<char>(str_tolower(*p));
    }
  }
}

void copy_name(char (&dst)[kScrNameSize], const std::string& src) {
  const size_t n = src.size() < kKeyNameMax ? src.size() : kKeyNameMax;
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

bool quoted(const char* text, char quote) {
  const size_t n = std::strlen(text);
  return quote != '\0' && n >= 2 && text[0] == quote && text[n - 1] == quote;
}

// The name inside a quoted identifier: the quotes gone, a doubled quote single.
std::string inside(const char* text, char quote) {
  char* u = str_unquote(text, STR_NTS, quote);
  std::string s = u != nullptr ? u : text;
  std::free(u);
  return s;
}

// The catalog argument for a name as the statement wrote it: a quoted name
// loses its quotes and takes the quoted-identifier case, any other the
// identifier case.
std::string name_arg(const SCS& scs, const char* text) {
  std::string s(text);
  uint32_t idCase = scs.sc_idCase;
  if (quoted(text, scs.sc_quoteChar)) {
    s = inside(text, scs.sc_quoteChar);
    idCase = scs.sc_quotedIdCase;
  }
  s.push_back('\0');
  fold(s.data(), idCase, scs.sc_wideAgent);
  s.resize(std::strlen(s.c_str()));
  return s;
}

// The unquoted form of a stored name, for catalog arguments.
std::string unquoted(const SCS& scs, const char* text) {
  return scs.sc_quoteChar == '\0' ? std::string(text) : inside(text, scs.sc_quoteChar);
}

const char* opt(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// The columns of a table as the server describes a query over it, on the first
// auxiliary cursor. The server keeps the session's temporary tables out of its
// catalog, so this is how the layer finds them (and their columns); where the
// server knows no such table either, its reason (-206 and the name) stays on the
// auxiliary cursor.
int32_t describe_table(SCS* scs, const TblDesc& t, uint16_t* count, ColumnInfo** cols) {
  *count = 0;
  *cols = nullptr;
  // The table named as the statement named it: database (and server), owner, table.
  auto has = [](const char* p) { return p != nullptr && *p != '\0'; };
  std::string sql;
  try {
    sql = "SELECT * FROM ";
    if (has(t.qualifier)) {
      sql += t.qualifier;
      if (has(t.server)) sql += std::string("@") + t.server;
      sql += ':';
    }
    if (has(t.owner)) sql += std::string(t.owner) + '.';
    sql += t.table != nullptr ? t.table : "";
    if (!has(t.qualifier) && has(t.server)) sql += std::string("@") + t.server;
  } catch (...) {
    return ERR_MEMORY;
  }
  const DriverOps& ops = *scs->sc_driver->ops;
  scs_p_AuxCursorTaken(scs);
  int32_t rc = ops.DRV_Prepare(scs->sc_auxCursor, sql.c_str());
  if (rc == 0) rc = ops.DRV_DescribeColumns(scs->sc_auxCursor, count, cols);
  (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
  if (rc != 0) {
    ColumnInfoFree(*cols, *count);
    *cols = nullptr;
    *count = 0;
  }
  return rc;
}

// The name of a described column: the whole name where the short one is cut.
const char* described_name(const ColumnInfo& c) {
  return c.fullName != nullptr && c.fullName[0] != '\0' ? c.fullName : c.name;
}

}  // namespace

int32_t scs_p_StrFromValue(const void* value, int32_t type, uint32_t width, const char** text8,
                           const char16_t** text16, uint32_t* length) {
  *text8 = nullptr;
  *text16 = nullptr;
  *length = 0;
  const auto* p = static_cast<const char*>(value);
  auto cap = [](uint64_t n) { return static_cast<uint32_t>(n < kKeyNameMax ? n : kKeyNameMax); };
  switch (type) {
    case DS_CHAR: *text8 = p; *length = cap(strnlen(p, width)); return 0;
    case DS_STRING: *text8 = p; *length = cap(strnlen(p, width)); return 0;
    case DS_LONGCHAR: {
      DatasetLong v{};
      std::memcpy(&v, p, sizeof v);
      *text8 = static_cast<const char*>(v.data);
      *length = v.data != nullptr ? cap(v.length) : 0;
      return 0;
    }
    case DS_VARCHAR1: *text8 = p + 1; *length = cap(static_cast<uint8_t>(p[0])); return 0;
    case DS_VARCHAR2: {
      uint16_t n = 0;
      std::memcpy(&n, p, 2);
      *text8 = p + 2;
      *length = cap(n);
      return 0;
    }
    case DS_VARCHAR4: {
      uint32_t n = 0;
      std::memcpy(&n, p, 4);
      *text8 = p + 4;
      *length = cap(n);
      return 0;
    }
    case DS_WCHAR:
    case DS_WSTRING: {
      const auto* w = reinterpret_cast<const char16_t*>(p);
      uint32_t n = 0;
      while (n < width / 2 && w[n] != 0) ++n;
      *text16 = w;
      *length = cap(n);
      return 0;
    }
    case DS_LONGWCHAR: {
      DatasetLong v{};
      std::memcpy(&v, p, sizeof v);
      *text16 = static_cast<const char16_t*>(v.data);
      *length = v.data != nullptr ? cap(v.length) : 0;
      return 0;
    }
    case DS_WVARCHAR4: {
      uint32_t n = 0;
      std::memcpy(&n, p, 4);
      *text16 = reinterpret_cast<const char16_t*>(p + 4);
      *length = cap(n);
      return 0;
    }
    default: return ERR_GENERAL;
  }
}

// The UTF-8 text of a catalog cell (empty for NULL); ERR_GENERAL for a type
// that holds no text.
int32_t scs_p_CellText(const Dataset* ds, uint32_t row, uint16_t col, std::string* out) {
  out->clear();
  if (col >= ds->colCount || row >= uint32_t(ds->rowCount)) return ERR_GENERAL;
  const DatasetColumn& c = ds->cols[col];
  if (c.ind[row] == DS_IND_NULL) return 0;
  const char* t8 = nullptr;
  const char16_t* t16 = nullptr;
  uint32_t len = 0;
  if (int32_t rc = scs_p_StrFromValue(c.data + size_t(row) * c.width, c.type, c.width, &t8, &t16,
                                      &len);
      rc != 0)
    return rc;
  if (t8 != nullptr) {
    out->assign(t8, len);
  } else if (t16 != nullptr && len > 0) {
    char buf[kKeyNameMax + 1] = {};
    (void)wcsn_to_utf8(t16, buf, len, sizeof buf - 1, nullptr);
    buf[kKeyNameMax] = '\0';
    out->assign(buf);
  }
  // Fixed-width catalog text is padded with blanks.
  while (!out->empty() && out->back() == ' ') out->pop_back();
  return 0;
}

// An integer catalog cell of any integer type; false for NULL or another type.
bool scs_p_CellInt(const Dataset* ds, uint32_t row, uint16_t col, int64_t* out) {
  if (col >= ds->colCount || row >= uint32_t(ds->rowCount)) return false;
  const DatasetColumn& c = ds->cols[col];
  if (c.ind[row] == DS_IND_NULL) return false;
  const char* p = c.data + size_t(row) * c.width;
  switch (c.type) {
    case DS_TINYINT: *out = static_cast<int8_t>(p[0]); return true;
    case DS_UTINYINT:
    case DS_BIT: *out = static_cast<uint8_t>(p[0]); return true;
    case DS_SMALLINT: {
      int16_t v;
      std::memcpy(&v, p, 2);
      *out = v;
      return true;
    }
    case DS_USMALLINT: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      *out = v;
      return true;
    }
    case DS_INTEGER: {
      int32_t v;
      std::memcpy(&v, p, 4);
      *out = v;
      return true;
    }
    case DS_UINTEGER: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      *out = v;
      return true;
    }
    default: return false;
  }
}

// The identifier a generated statement writes for a catalog name.
std::string scs_p_CatalogIdentifier(const SCS* scs, const std::string& name) {
  if (scs->sc_quoteChar == '\0' || name.empty()) return name;
  char* q = str_quote(name.c_str(), STR_NTS, scs->sc_quoteChar);
  std::string s = q != nullptr ? q : name;
  std::free(q);
  return s;
}

int32_t scs_p_ReadAll(SCS* scs, DrvHandle h, Dataset* all) {
  constexpr uint16_t kBlock = 10;
  const DriverOps& ops = *scs->sc_driver->ops;
  if (int32_t rc = ops.DRV_Fetch(h, kBlock, all); rc != 0) return rc;
  int32_t got = all->rowCount;
  while (got >= kBlock) {
    Dataset more{};
    int32_t rc = ops.DRV_Fetch(h, kBlock, &more);
    got = rc == 0 ? more.rowCount : 0;
    if (rc == 0 && got > 0) rc = DatasetAppend(all, &more);
    DatasetFree(&more);
    if (rc != 0) return rc;
  }
  return 0;
}

int32_t scs_p_GetTblDescs(SCS* scs, TblDesc* tables, int32_t count) {
  const DriverOps& ops = *scs->sc_driver->ops;
  for (int32_t i = 0; i < count; ++i) {
    TblDesc& t = tables[i];
    const std::string table = name_arg(*scs, t.table);
    bool retry = false;
    for (;;) {
      std::string owner;
      if (t.owner[0] != '\0') {
        owner = name_arg(*scs, t.owner);
      } else if (retry && scs->sc_userName != nullptr) {
        owner = scs->sc_userName;
      }
      const std::string qualifier = t.qualifier;
      const DDTablesArgs args{opt(qualifier), owner.empty() ? "%" : owner.c_str(), table.c_str(),
                              ""};
      scs_p_AuxCursorTaken(scs);
      if (int32_t rc = ops.DRV_DDTables(scs->sc_auxCursor, &args); rc != 0) {
        log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_GetTblAttribs: DRV_DDTables failed (%s).",
                   t.table);
        return rc;
      }
      Dataset rows{};
      int32_t rc = scs_p_ReadAll(scs, scs->sc_auxCursor, &rows);
      (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
      if (rc != 0) {
        DatasetFree(&rows);
        log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_GetTblDescs: Couldn't fetch table descriptors.");
        return rc;
      }
      // The rows that name this very table: the catalog matched a pattern.
      int32_t match = -1, matches = 0;
      std::string name, schema;
      for (int32_t r = 0; r < rows.rowCount && rc == 0; ++r) {
        rc = scs_p_CellText(&rows, r, 2, &name);
        if (rc == 0) rc = scs_p_CellText(&rows, r, 1, &schema);
        if (rc != 0 || name != table || (!owner.empty() && schema != owner)) continue;
        if (match < 0) match = r;
        ++matches;
      }
      if (rc != 0) {
        DatasetFree(&rows);
        return rc;
      }
      if (matches == 0) {
        DatasetFree(&rows);
        // One of the session's temporary tables, or the server's own reason why
        // there is no such table.
        uint16_t n = 0;
        ColumnInfo* cols = nullptr;
        rc = describe_table(scs, t, &n, &cols);
        ColumnInfoFree(cols, n);
        if (rc != 0) {
          INF_CursorMoveErrors(scs->sc_auxCursor, scs->sc_hCursor, 1);
          log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_GetTblDescs: Table %s does not exist.",
                     t.table);
          return rc;
        }
        char* folded = strdup(scs_p_CatalogIdentifier(scs, table).c_str());
        if (folded == nullptr) return ERR_MEMORY;
        std::free(t.table);
        t.table = folded;
        t.sessionTemp = 1;
        break;
      }
      if (matches > 1) {
        DatasetFree(&rows);
        log_printf(LOG_ERR, kSrc, __LINE__,
                   "scs_p_GetTblDescs: Duplicate table name (%s).\n\tRequire owner qualifier to "
                   "resolve.",
                   t.table);
        if (retry || t.owner[0] != '\0') return ERR_DUP_TABLE;
        log_printf(LOG_ERR, kSrc, __LINE__, "Trying current username (%s) as owner qualifier.",
                   scs->sc_userName != nullptr ? scs->sc_userName : "");
        retry = true;
        continue;
      }
      std::string cat, sch, tab;
      rc = scs_p_CellText(&rows, match, 0, &cat);
      if (rc == 0) rc = scs_p_CellText(&rows, match, 1, &sch);
      if (rc == 0) rc = scs_p_CellText(&rows, match, 2, &tab);
      DatasetFree(&rows);
      if (rc != 0) return rc;
      auto replace = [scs](char** field, const std::string& value) {
        char* copy = strdup(scs_p_CatalogIdentifier(scs, value).c_str());
        if (copy == nullptr) return false;
        std::free(*field);
        *field = copy;
        return true;
      };
      if (!cat.empty() && !replace(&t.qualifier, cat)) return ERR_MEMORY;
      if (!sch.empty() && !replace(&t.owner, sch)) return ERR_MEMORY;
      if (!replace(&t.table, tab)) return ERR_MEMORY;
      break;
    }
  }
  return 0;
}

namespace {

// The columns of one of the session's temporary tables, as the server describes them.
int32_t temp_table_cols(SCS* scs, const TblDesc& t, int skipLong, DynArray* out) {
  uint16_t n = 0;
  ColumnInfo* cols = nullptr;
  int32_t rc = describe_table(scs, t, &n, &cols);
  if (rc != 0) {
    INF_CursorMoveErrors(scs->sc_auxCursor, scs->sc_hCursor, 1);
    return rc;
  }
  for (uint16_t k = 0; k < n && rc == 0; ++k) {
    const ColumnInfo& ci = cols[k];
    const int32_t type = ci.sqlType;
    if (skipLong != 0 &&
        (type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY || type == SQL_WLONGVARCHAR))
      continue;
    ColDesc c{};
    copy_name(c.name, scs_p_CatalogIdentifier(scs, described_name(ci)));
    copy_name(c.table, t.table);
    copy_name(c.alias, t.alias);
    copy_name(c.owner, t.owner);
    copy_name(c.qualifier, t.qualifier);
    c.sqlType = static_cast<int16_t>(type);
    c.columnSize = static_cast<uint32_t>(ci.precision);
    c.decimalDigits = type == SQL_NUMERIC || type == SQL_DECIMAL ? ci.scale : 0;
    c.itemKind = COLDESC_COLUMN;
    if (DynArrayAppend(out, &c) == 0) rc = ERR_MEMORY;
  }
  ColumnInfoFree(cols, n);
  if (rc == 0 && n == 0) rc = ERR_GENERAL;
  return rc;
}

}  // namespace

int32_t scs_p_GetTblColDescs(SCS* scs, TblDesc* tables, int32_t count, int skipLong,
                             DynArray* out) {
  if (scs == nullptr || tables == nullptr || out == nullptr) return ERR_GENERAL;
  const DriverOps& ops = *scs->sc_driver->ops;
  for (int32_t i = 0; i < count; ++i) {
    const TblDesc& t = tables[i];
    if (t.sessionTemp != 0) {
      if (int32_t rc = temp_table_cols(scs, t, skipLong, out); rc != 0) return rc;
      continue;
    }
    const std::string qualifier = unquoted(*scs, t.qualifier);
    const std::string owner = unquoted(*scs, t.owner);
    const std::string table = unquoted(*scs, t.table);
    const DDColumnArgs args{opt(qualifier), owner.empty() ? "%" : owner.c_str(),
                            table.empty() ? "%" : table.c_str(), "%"};
    scs_p_AuxCursorTaken(scs);
    if (int32_t rc = ops.DRV_DDColumns(scs->sc_auxCursor, &args); rc != 0) {
      log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_GetTblColDescs: DRV_DDColumns failed.");
      return rc;
    }
    Dataset rows{};
    int32_t rc = scs_p_ReadAll(scs, scs->sc_auxCursor, &rows);
    (void)ops.DRV_CloseCursor(scs->sc_auxCursor);
    if (rc != 0) {
      DatasetFree(&rows);
      log_printf(LOG_ERR, kSrc, __LINE__, "scs_p_GetTblColDescs: Couldn't fetch column descriptors.");
      return rc;
    }
    int32_t taken = 0;
    std::string name, tab, sch;
    for (int32_t r = 0; r < rows.rowCount && rc == 0; ++r) {
      rc = scs_p_CellText(&rows, r, 2, &tab);
      if (rc == 0) rc = scs_p_CellText(&rows, r, 1, &sch);
      if (rc == 0) rc = scs_p_CellText(&rows, r, 3, &name);
      if (rc != 0) break;
      if (tab != table || (!owner.empty() && sch != owner)) continue;
      int64_t type = 0, size = 0, digits = 0;
      (void)scs_p_CellInt(&rows, r, 4, &type);
      (void)scs_p_CellInt(&rows, r, 6, &size);
      (void)scs_p_CellInt(&rows, r, 8, &digits);
      if (skipLong != 0 &&
          (type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY || type == SQL_WLONGVARCHAR))
        continue;
      ColDesc c{};
      copy_name(c.name, scs_p_CatalogIdentifier(scs, name));
      copy_name(c.table, t.table);
      copy_name(c.alias, t.alias);
      copy_name(c.owner, t.owner);
      copy_name(c.qualifier, t.qualifier);
      c.sqlType = static_cast<int16_t>(type);
      c.columnSize = static_cast<uint32_t>(size);
      c.decimalDigits = type == SQL_NUMERIC || type == SQL_DECIMAL ? static_cast<int16_t>(digits) : 0;
      c.itemKind = COLDESC_COLUMN;
      if (DynArrayAppend(out, &c) == 0) rc = ERR_MEMORY;
      ++taken;
    }
    DatasetFree(&rows);
    if (rc != 0) return rc;
    if (taken == 0) return ERR_GENERAL;
  }
  return 0;
}

void scs_p_RowIdColDesc(const TblDesc& table, ColDesc* out) {
  *out = ColDesc{};
  copy_name(out->name, "rowid");
  copy_name(out->table, table.table);
  copy_name(out->alias, table.alias);
  copy_name(out->owner, table.owner);
  copy_name(out->qualifier, table.qualifier);
  out->sqlType = SQL_INTEGER;
  out->columnSize = 10;
  out->itemKind = COLDESC_COLUMN;
}

int32_t scs_p_AddRowIdCols(const TblDesc* tables, int32_t count, DynArray* out) {
  for (int32_t i = 0; i < count; ++i) {
    if (tables[i].sessionTemp == 0) continue;
    ColDesc c;
    scs_p_RowIdColDesc(tables[i], &c);
    if (DynArrayAppend(out, &c) == 0) return ERR_MEMORY;
  }
  return 0;
}

int32_t scs_p_SelectColsGet(SCS* scs, DynArray* out, DynArray** rawItems) {
  if (rawItems != nullptr) *rawItems = nullptr;
  if (scs == nullptr || out == nullptr || scs->sc_analysis == nullptr) return ERR_GENERAL;
  DynArray* raw = DynArrayNew(sizeof(ColDesc));
  if (raw == nullptr) return ERR_MEMORY;
  int32_t rc = SCR_SelectColsGet(scs->sc_analysis, raw);
  auto* tables = scs->sc_tables != nullptr ? static_cast<TblDesc*>(scs->sc_tables->items) : nullptr;
  const int32_t tableCount = scs->sc_tables != nullptr ? static_cast<int32_t>(scs->sc_tables->count) : 0;
  for (uint32_t i = 0; rc == 0 && i < raw->count; ++i) {
    ColDesc& item = static_cast<ColDesc*>(raw->items)[i];
    switch (item.itemKind) {
      case COLDESC_ALL:
        rc = scs_p_GetTblColDescs(scs, tables, tableCount, 0, out);
        if (rc != 0) log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_SelectColsGet failed");
        break;
      case COLDESC_TABLE_ALL: {
        int32_t found = -1;
        for (int32_t t = 0; t < tableCount && found < 0; ++t)
          if (std::strcmp(tables[t].alias, item.table) == 0) found = t;
        if (found < 0) {
          char folded[kScrNameSize];
          std::memcpy(folded, item.table, kScrNameSize);
          scs_p_CaseIdentifier(folded, scs->sc_quoteChar, scs->sc_quotedIdCase, scs->sc_idCase,
                               scs->sc_wideAgent, 1);
          for (int32_t t = 0; t < tableCount && found < 0; ++t)
            if (std::strcmp(tables[t].table, folded) == 0) found = t;
        }
        if (found < 0) {
          log_printf(LOG_DEBUG, kSrc, __LINE__,
                     "scs_p_SelectColsGet: Unable to find descriptor for table/alias %s",
                     item.table);
          rc = ERR_GENERAL;
          break;
        }
        rc = scs_p_GetTblColDescs(scs, &tables[found], 1, 0, out);
        if (rc != 0) log_printf(LOG_DEBUG, kSrc, __LINE__, "scs_p_SelectColsGet failed");
        break;
      }
      case COLDESC_EXPRESSION:
      case COLDESC_COLUMN:
        if (DynArrayAppend(out, &item) == 0) rc = ERR_MEMORY;
        break;
      default: rc = ERR_GENERAL; break;
    }
  }
  if (rc == 0 && rawItems != nullptr) {
    *rawItems = raw;
  } else {
    DynArrayFree(&raw, nullptr);
  }
  return rc;
}

void scs_p_CaseIdentifier(char* text, char quote, uint32_t quotedIdCase, uint32_t idCase,
                          uint32_t wide, int requote) {
  if (text == nullptr || text[0] == '\0') return;
  const bool wasQuoted = quoted(text, quote);
  std::string s = wasQuoted ? inside(text, quote) : std::string(text);
  s.push_back('\0');
  fold(s.data(), wasQuoted ? quotedIdCase : idCase, wide);
  s.resize(std::strlen(s.c_str()));
  // Quoting again must not change which name the server finds.
  const bool keepsMatching =
      !(idCase == SCS_CASE_SENSITIVE && quotedIdCase != idCase) &&
      !(idCase == SCS_CASE_LOWER && quotedIdCase == SCS_CASE_UPPER) &&
      !(idCase == SCS_CASE_UPPER && quotedIdCase == SCS_CASE_LOWER);
  if (quote != '\0' && requote != 0 && (wasQuoted || keepsMatching)) {
    char* q = str_quote(s.c_str(), STR_NTS, quote);
    if (q != nullptr) s = q;
    std::free(q);
  }
  const size_t n = s.size() < kKeyNameMax ? s.size() : kKeyNameMax;
  std::memcpy(text, s.data(), n);
  text[n] = '\0';
}

int scs_p_SameIdentifier(const char* a, const char* b, char quote, uint32_t quotedIdCase,
                         uint32_t idCase, uint32_t wide) {
  if (a == nullptr || b == nullptr || a[0] == '\0' || b[0] == '\0') return 0;
  auto norm = [&](const char* t) {
    const bool q = quoted(t, quote);
    std::string s = q ? inside(t, quote) : std::string(t);
    uint32_t c = q ? quotedIdCase : idCase;
    if (c == SCS_CASE_MIXED) c = SCS_CASE_UPPER;
    s.push_back('\0');
    fold(s.data(), c, wide);
    s.resize(std::strlen(s.c_str()));
    return s;
  };
  return norm(a) == norm(b) ? 1 : 0;
}
