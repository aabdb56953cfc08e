// ixr_catalog.cpp -- creation of the catalog tables of a new database and the reading
// of table descriptions from them. The catalog tables describe themselves: each has
// its systables row (owner informix, tabid below 100) and its syscolumns rows.
// Threading: one session per Catalog; creation runs inside the creator's transaction.
#include "platform/informix/ixr_catalog.h"

#include "platform/informix/ixr_ast.h"
#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_db.h"

#include <cstring>

namespace ixr {
namespace {

struct CatalogTable {
  const char* name;
  const char* columns;  // "name TYPE, ..." as DDL writes them
  const char* index;    // SQLite index columns, or nullptr
};

constexpr const char* kSystables =
    "tabname varchar(128), owner char(32), partnum integer, tabid serial, rowsize smallint, "
    "ncols smallint, nindexes smallint, nrows float, created date, version integer, "
    "tabtype char(1), locklevel char(1), npused float, fextsize integer, nextsize integer, "
    "flags smallint, site varchar(128), dbname varchar(128)";
constexpr const char* kSyscolumns =
    "colname varchar(128), tabid integer, colno smallint, coltype smallint, collength smallint, "
    "colmin integer, colmax integer";

// The catalog tables in tabid order (systables is 1). Column layouts are this server's
// own; they hold what the driver's catalog queries read.
constexpr CatalogTable kCatalog[] = {
    {"systables", kSystables, "tabname"},
    {"syscolumns", kSyscolumns, "tabid, colno"},
    {"sysindexes",
     "idxname varchar(128), owner char(32), tabid integer, idxtype char(1), clustered char(1), "
     "part1 smallint, part2 smallint, part3 smallint, part4 smallint, part5 smallint, "
     "part6 smallint, part7 smallint, part8 smallint, part9 smallint, part10 smallint, "
     "part11 smallint, part12 smallint, part13 smallint, part14 smallint, part15 smallint, "
     "part16 smallint, levels smallint, leaves integer, nunique integer, clust integer",
     "tabid"},
    {"syssynonyms", "owner char(32), synname varchar(128), created date, tabid integer", nullptr},
    {"syssyntable",
     "tabid integer, servername varchar(128), dbname varchar(128), owner char(32), "
     "tabname varchar(128), btabid integer",
     "tabid"},
    {"sysusers",
     "username char(32), usertype char(1), priority smallint, password char(16), defrole char(32)",
     nullptr},
    {"systabauth", "grantor char(32), grantee char(32), tabid integer, tabauth char(9)", "tabid"},
    {"syscolauth",
     "grantor char(32), grantee char(32), tabid integer, colno smallint, colauth char(3)", "tabid"},
    {"sysviews", "tabid integer, seqno smallint, viewtext char(64)", "tabid"},
    {"sysdepend", "btabid integer, btype char(1), dtabid integer, dtype char(1)", nullptr},
    {"sysconstraints",
     "constrid serial, constrname varchar(128), owner char(32), tabid integer, constrtype char(1), "
     "idxname varchar(128)",
     "tabid"},
    {"sysreferences",
     "constrid integer, primary integer, ptabid integer, updrule char(1), delrule char(1), "
     "matchtype char(1), pendant char(1)",
     "constrid"},
    {"syschecks", "constrid integer, type char(1), seqno smallint, checktext char(32)", "constrid"},
    {"syscoldepend", "constrid integer, tabid integer, colno smallint", "constrid"},
    {"sysdefaults", "tabid integer, colno smallint, type char(1), default char(256), class char(1)",
     "tabid, colno"},
    {"sysprocedures",
     "procname varchar(128), owner char(32), procid serial, mode char(1), retsize integer, "
     "symsize integer, datasize integer, codesize integer, numargs smallint, isproc char(1)",
     "procname"},
    {"sysprocbody", "procid integer, datakey char(1), seqno integer, data char(256)", "procid"},
};

constexpr CatalogTable kSysmaster[] = {
    {"systables", kSystables, "tabname"},
    {"syscolumns", kSyscolumns, "tabid, colno"},
    {"sysdatabases",
     "name varchar(128), partnum integer, owner char(32), created date, is_logging integer, "
     "is_buff_log integer, is_ansi integer, is_nls integer, flags smallint",
     "name"},
    // Sessions of the server (ixr_server.cpp keeps them).
    {"syssessions",
     "sid integer, username char(32), uid integer, pid integer, hostname varchar(128), "
     "connected integer",
     "sid"},
};

IxError sqliteFail(sqlite3* db, int rc) { return fromSqlite(db, rc, Op::Other, false); }

// Parses "name TYPE, name TYPE(..), ..." (no commas inside type arguments beyond
// DECIMAL(p,s), which the depth count keeps together).
IxError parseColumns(const char* spec, std::vector<ColumnDef>& out) {
  std::string s(spec);
  size_t i = 0;
  int colno = 1;
  while (i < s.size()) {
    size_t e = i;
    int depth = 0;
    while (e < s.size() && !(depth == 0 && s[e] == ',')) {
      if (s[e] == '(') ++depth;
      if (s[e] == ')') --depth;
      ++e;
    }
    std::string item = s.substr(i, e - i);
    size_t b = item.find_first_not_of(' ');
    size_t sp = item.find(' ', b);
    ColumnDef c;
    c.name = item.substr(b, sp - b);
    if (auto err = parseType(item.substr(sp + 1), c.type)) return err;
    c.colno = colno++;
    out.push_back(c);
    i = e + 1;
  }
  return {};
}

int rowSize(const std::vector<ColumnDef>& cols) {
  int n = 0;
  for (const auto& c : cols) {
    switch (storeOf(c.type.code)) {
      case Store::Int: n += 4; break;
      case Store::Real: n += 8; break;
      case Store::Decimal: n += decPrecision(c.type) / 2 + 2; break;
      case Store::DateTime: n += 8; break;
      case Store::Blob: n += 56; break;
      case Store::Text:
        n += baseType(c.type.code) == IXR_TYPE_TEXT ? 56 : charLength(c.type);
        break;
    }
  }
  return n;
}

// Creates tables[0..count) with their catalog rows, the first as tabid firstTabid.
IxError createTables(sqlite3* db, const CatalogTable* tables, size_t count,
                     const std::string& owner, const std::string& dbname, int64_t firstTabid = 1) {
  int32_t today = dateToday();
  std::vector<std::vector<ColumnDef>> all;
  for (size_t t = 0; t < count; ++t) {
    std::vector<ColumnDef> cols;
    if (auto e = parseColumns(tables[t].columns, cols)) return e;
    std::string sql = "CREATE TABLE " + quoteId(tables[t].name) + " (";
    for (size_t k = 0; k < cols.size(); ++k) {
      if (k) sql += ", ";
      sql += sqliteColumn(cols[k], {});
    }
    sql += ")";
    if (int rc = execSql(db, sql)) return sqliteFail(db, rc);
    if (tables[t].index) {
      std::string ix = "CREATE INDEX " + quoteId(std::string("ixr_") + tables[t].name) + " ON " +
                       quoteId(tables[t].name) + " (" + tables[t].index + ")";
      if (int rc = execSql(db, ix)) return sqliteFail(db, rc);
    }
    all.push_back(std::move(cols));
  }
  Sql insTab(
      db,
      "INSERT INTO systables (tabname, owner, partnum, tabid, rowsize, ncols, nindexes, nrows, "
      "created, version, tabtype, locklevel, npused, fextsize, nextsize, flags, site, dbname) "
      "VALUES (?1, ?2, 0, ?3, ?4, ?5, ?6, 0, ?7, 1, ?8, 'R', 0, 16, 16, 0, '', ?9)");
  Sql insCol(db,
             "INSERT INTO syscolumns (colname, tabid, colno, coltype, collength, colmin, colmax) "
             "VALUES (?1, ?2, ?3, ?4, ?5, NULL, NULL)");
  if (int rc = insTab.prepared() ? insTab.prepared() : insCol.prepared()) return sqliteFail(db, rc);
  for (size_t t = 0; t < count; ++t) {
    const auto& cols = all[t];
    insTab.reset();
    const int64_t tabid = firstTabid + static_cast<int64_t>(t);
    insTab.bind(1, tables[t].name).bind(2, owner).bind(3, tabid);
    insTab.bind(4, rowSize(cols)).bind(5, static_cast<int64_t>(cols.size()));
    insTab.bind(6, tables[t].index ? 1 : 0).bind(7, today).bind(8, "T").bind(9, dbname);
    if (int rc = insTab.run()) return sqliteFail(db, rc);
    for (const auto& c : cols) {
      insCol.reset();
      insCol.bind(1, c.name).bind(2, tabid).bind(3, c.colno);
      insCol.bind(4, catalogCode(c.type)).bind(5, c.type.len);
      if (int rc = insCol.run()) return sqliteFail(db, rc);
    }
  }
  return {};
}

IxError createPrivate(sqlite3* db) {
  const char* sql =
      "CREATE TABLE ixr_serial (tabid INTEGER PRIMARY KEY, last INTEGER NOT NULL);"
      "CREATE TABLE ixr_info (key TEXT PRIMARY KEY, value TEXT);";
  if (int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr)) return sqliteFail(db, rc);
  return {};
}

}  // namespace

std::string sqliteColumn(const ColumnDef& c, const std::string& defaultSql) {
  std::string s = quoteId(c.name) + " " + sqliteDecl(c.type);
  if (c.type.notnull) s += " NOT NULL";
  if (!defaultSql.empty()) s += " DEFAULT " + defaultSql;
  return s;
}

IxError catalogCreate(sqlite3* db, const std::string& dbname, const std::string& owner,
                      int logMode) {
  if (auto e = createPrivate(db)) return e;
  if (auto e = createTables(db, kCatalog, std::size(kCatalog), "informix", dbname)) return e;
  int32_t today = dateToday();
  Sql v(db,
        "INSERT INTO systables (tabname, owner, partnum, tabid, rowsize, ncols, nindexes, nrows, "
        "created, "
        "version, tabtype, locklevel, npused, fextsize, nextsize, flags, site, dbname) "
        "VALUES (' VERSION', 'informix', 0, 99, 0, 0, 0, 0, ?1, 1, ' ', 'R', 0, 0, 0, 0, '', ?2)");
  v.bind(1, today).bind(2, dbname);
  if (int rc = v.run()) return sqliteFail(db, rc);
  Sql u(db,
        "INSERT INTO sysusers (username, usertype, priority, password, defrole) VALUES (?1, 'D', "
        "9, NULL, NULL)");
  u.bind(1, owner);
  if (int rc = u.run()) return sqliteFail(db, rc);
  // User tables start at tabid 100; the catalog's own rows stay below.
  Sql s(db, "INSERT INTO ixr_serial (tabid, last) VALUES (1, 99), (11, 0), (16, 0)");
  if (int rc = s.run()) return sqliteFail(db, rc);
  Sql info(
      db,
      "INSERT INTO ixr_info (key, value) VALUES ('logmode', ?1), ('owner', ?2), ('dbname', ?3)");
  info.bind(1, std::to_string(logMode)).bind(2, owner).bind(3, dbname);
  if (int rc = info.run()) return sqliteFail(db, rc);
  return {};
}

IxError catalogCreateSysmaster(sqlite3* db) {
  if (auto e = createPrivate(db)) return e;
  if (auto e = createTables(db, kSysmaster, std::size(kSysmaster), "informix", "sysmaster"))
    return e;
  Sql s(db, "INSERT INTO ixr_serial (tabid, last) VALUES (1, 99)");
  if (int rc = s.run()) return sqliteFail(db, rc);
  return {};
}

IxError catalogUpgradeSysmaster(sqlite3* db) {
  // A sysmaster of an earlier release lacks the tables added since: each is made in the
  // place (tabid) a new sysmaster gives it.
  for (size_t t = 0; t < std::size(kSysmaster); ++t) {
    Sql q(db, "SELECT 1 FROM systables WHERE tabname = ?1");
    q.bind(1, kSysmaster[t].name);
    if (q.prepared()) return sqliteFail(db, q.prepared());
    const int rc = q.step();
    if (rc == SQLITE_ROW) continue;
    if (rc != SQLITE_DONE) return sqliteFail(db, rc);
    if (auto e = createTables(db, &kSysmaster[t], 1, "informix", "sysmaster",
                              static_cast<int64_t>(t + 1)))
      return e;
  }
  return {};
}

int catalogLogMode(sqlite3* db) {
  Sql q(db, "SELECT value FROM main.ixr_info WHERE key = 'logmode'");
  if (q.prepared() || q.step() != SQLITE_ROW) return -1;
  return static_cast<int>(q.i64(0));
}

int64_t catalogNextId(sqlite3* db, const char* table) {
  int64_t tabid = 0;
  for (size_t t = 0; t < std::size(kCatalog); ++t)
    if (std::strcmp(kCatalog[t].name, table) == 0) tabid = static_cast<int64_t>(t + 1);
  Sql up(db, "UPDATE ixr_serial SET last = last + 1 WHERE tabid = ?1 RETURNING last");
  up.bind(1, tabid);
  if (up.step() == SQLITE_ROW) return up.i64(0);
  return 0;
}

int TableDef::find(const std::string& col) const {
  for (size_t i = 0; i < cols.size(); ++i)
    if (cols[i].name == col) return static_cast<int>(i);
  return -1;
}

std::string TableDef::sqlName() const {
  if (schema == "main" || schema == "temp") return quoteId(name);
  return quoteId(schema) + "." + quoteId(name);
}

IxError Catalog::load(const std::string& schema, bool byId, const std::string& key, int64_t id,
                      TableRefPtr& out) {
  std::string sql = "SELECT tabid, tabname, owner, tabtype FROM " + quoteId(schema) +
                    ".systables WHERE " + (byId ? "tabid = ?1" : "tabname = ?1");
  Sql q(db_, sql);
  // Only a lookup that ran and found nothing means there is no such table; a damaged
  // catalog says so instead.
  if (int rc = q.prepared()) return isDamage(rc) ? damaged(Op::Other, dbname_) : ixErr(IXR_E_NO_TABLE, key);
  if (byId)
    q.bind(1, id);
  else
    q.bind(1, key);
  if (int rc = q.step(); rc != SQLITE_ROW)
    return rc == SQLITE_DONE ? ixErr(IXR_E_NO_TABLE, key) : fromSqlite(db_, rc, Op::Other, false);
  auto t = std::make_shared<TableDef>();
  t->tabid = static_cast<int>(q.i64(0));
  t->name = q.str(1);
  t->owner = q.str(2);
  while (!t->owner.empty() && t->owner.back() == ' ') t->owner.pop_back();
  std::string type = q.str(3);
  t->tabtype = type.empty() ? 'T' : type[0];
  t->schema = schema;
  if (t->tabtype == 'S' || t->tabtype == 'P') {
    Sql syn(db_, "SELECT btabid FROM " + quoteId(schema) + ".syssyntable WHERE tabid = ?1");
    syn.bind(1, t->tabid);
    if (syn.step() != SQLITE_ROW || syn.isNull(0)) return ixErr(IXR_E_NO_TABLE, key);
    return load(schema, true, key, syn.i64(0), out);
  }
  Sql c(db_, "SELECT colname, colno, coltype, collength FROM " + quoteId(schema) +
                 ".syscolumns WHERE tabid = ?1 ORDER BY colno");
  c.bind(1, t->tabid);
  int rc;
  while ((rc = c.step()) == SQLITE_ROW) {
    ColumnDef cd;
    cd.name = c.str(0);
    cd.colno = static_cast<int>(c.i64(1));
    cd.type = fromCatalog(static_cast<int>(c.i64(2)), static_cast<int>(c.i64(3)));
    if (baseType(cd.type.code) == IXR_TYPE_SERIAL) t->serialCol = static_cast<int>(t->cols.size());
    t->cols.push_back(cd);
  }
  if (rc != SQLITE_DONE) return fromSqlite(db_, rc, Op::Other, false);
  out = t;
  return {};
}

IxError Catalog::lookupByName(const std::string& name, TableRefPtr& out) {
  if (auto it = temps_.find(name); it != temps_.end()) {
    out = it->second;
    return {};
  }
  if (auto it = cache_.find(name); it != cache_.end()) {
    out = it->second;
    return {};
  }
  if (auto e = load("main", false, name, 0, out)) return e;
  cache_[name] = out;
  return {};
}

IxError Catalog::lookupById(int tabid, const std::string& schema, TableRefPtr& out) {
  return load(schema, true, std::to_string(tabid), tabid, out);
}

bool Catalog::attachSysmaster() {
  // One that cannot be attached now (its file busy, say) is tried again by the next
  // statement that names it.
  if (!sysmaster_ && !sysmasterPath_.empty())
    sysmaster_ =
        execSql(db_, "ATTACH DATABASE " + quoteStr(sysmasterPath_) + " AS sysmaster") == SQLITE_OK;
  return sysmaster_;
}

IxError Catalog::lookup(const TableName& tn, TableRefPtr& out) {
  if (tn.db == "sysmaster") {
    if (!attachSysmaster()) return ixErr(IXR_E_NO_TABLE, tn.name);
    std::string key = "sysmaster:" + tn.name;
    if (auto it = cache_.find(key); it != cache_.end()) {
      out = it->second;
      return {};
    }
    if (auto e = load("sysmaster", false, tn.name, 0, out)) return e;
    cache_[key] = out;
    return {};
  }
  if (dbname_.empty()) return ixErr(IXR_E_NO_DB_SELECTED);
  if (!tn.db.empty() && tn.db != dbname_) return ixErr(IXR_E_NO_TABLE, tn.db + ":" + tn.name);
  if (auto e = lookupByName(tn.name, out)) return e;
  if (!tn.owner.empty() && !out->temp) {
    std::string o = tn.owner;
    while (!o.empty() && o.back() == ' ') o.pop_back();
    bool match = o.size() == out->owner.size();
    for (size_t i = 0; match && i < o.size(); ++i) match = (o[i] | 0x20) == (out->owner[i] | 0x20);
    if (!match) return ixErr(IXR_E_NO_TABLE, tn.owner + "." + tn.name);
  }
  return {};
}

}  // namespace ixr
