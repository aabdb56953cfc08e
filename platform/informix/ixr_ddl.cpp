// ixr_ddl.cpp -- the statements of the embedded server that are not SELECT, INSERT,
// UPDATE or DELETE: DDL (which keeps the system catalog), privileges, databases,
// transactions and session settings. A table's SQLite definition is always generated
// from its catalog description (TableModel), so that CREATE TABLE and every ALTER TABLE
// take one road: describe, change, write the catalog rows, (re)build the SQLite table.
// Threading: runs on the thread the session is current on, inside the statement's
// transaction or savepoint.
#include "platform/informix/ixr_call.h"

#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_proc.h"
#include "platform/informix/ixr_xa_store.h"

#include <algorithm>
#include <functional>

namespace ixr {
namespace {

struct ColModel {
  std::string name;
  IxType type;
  char defKind = 0;     // sysdefaults.type, 0 for none
  std::string defText;  // sysdefaults.default
  std::string source;   // SQL of its value in the old table ("" for a new column)
};

struct ConsModel {
  int constrid = 0;
  std::string name;
  char type = 0;  // P U R C N
  std::vector<std::string> cols;
  std::string idxname;
  int ptabid = 0, primary = 0;  // R
  bool cascade = false;
  std::string checkText;  // C
};

struct IndexModel {
  std::string name;
  char type = 'D';
  std::vector<std::pair<std::string, bool>> cols;  // name, descending
};

struct TableModel {
  int tabid = 0;
  std::string name, owner;
  std::vector<ColModel> cols;
  std::vector<ConsModel> cons;
  std::vector<IndexModel> indexes;  // user indexes and constraint indexes alike

  int find(const std::string& c) const {
    for (size_t i = 0; i < cols.size(); ++i)
      if (cols[i].name == c) return static_cast<int>(i);
    return -1;
  }
};

IxError sqlFail(Session& s, int rc) { return fromSqlite(s.db, rc, Op::Other, s.lockTimedOut); }

std::string trimRight(std::string v) {
  while (!v.empty() && v.back() == ' ') v.pop_back();
  return v;
}

IxError needDb(Session& s) { return s.dbname.empty() ? ixErr(IXR_E_NO_DB_SELECTED) : IxError{}; }

bool nameTaken(Session& s, const std::string& name) {
  Sql q(s.db, "SELECT 1 FROM systables WHERE tabname = ?1");
  q.bind(1, name);
  return q.step() == SQLITE_ROW || s.cat->temp(name) != nullptr;
}

TableDef asTableDef(const TableModel& m) {
  TableDef t;
  t.tabid = m.tabid;
  t.name = m.name;
  t.owner = m.owner;
  for (size_t i = 0; i < m.cols.size(); ++i) {
    ColumnDef c;
    c.name = m.cols[i].name;
    c.type = m.cols[i].type;
    c.colno = static_cast<int>(i + 1);
    t.cols.push_back(c);
  }
  return t;
}

// The SQL of a column default as SQLite keeps it.
IxError defaultSql(Session& s, const ColModel& c, std::string& out) {
  out.clear();
  switch (c.defKind) {
    case 0:
    case 'N': return {};
    case 'T': out = "(ix_today())"; return {};
    case 'C': {
      int q = baseType(c.type.code) == IXR_TYPE_DATETIME ? c.type.len : IXR_QUAL_YEAR_TO_F5;
      out = "(ix_current(" + std::to_string(q) + "))";
      return {};
    }
    case 'U': out = "(ix_user())"; return {};
    case 'S': out = quoteStr(s.server.name); return {};
    case 'L': {
      Val v = Val::ofText(c.defText), cv;
      if (auto e = convertValue(v, tText(), c.type, cv)) return e;
      out = sqlLiteral(cv);
      return {};
    }
  }
  return {};
}

IxError checkSql(Session& s, const TableModel& m, const std::string& text, std::string& out) {
  Ast ast;
  if (auto e = parseSql("select 1 from ixr_check where " + text, false, ast)) return e;
  TableDef t = asTableDef(m);
  TransCtx ctx = transCtx(s);
  return translateCheck(ctx, ast, ast.stmts[0]->select->cores[0]->where, t, out);
}

// SQLite DDL of the table (without its indexes).
IxError createSql(Session& s, const TableModel& m, const std::string& sqlName, std::string& out) {
  out = "CREATE TABLE " + sqlName + " (";
  for (size_t i = 0; i < m.cols.size(); ++i) {
    ColumnDef c;
    c.name = m.cols[i].name;
    c.type = m.cols[i].type;
    std::string def;
    if (auto e = defaultSql(s, m.cols[i], def)) return e;
    out += (i ? ", " : "") + sqliteColumn(c, def);
  }
  for (const ConsModel& k : m.cons) {
    if (k.type == 'C') {
      std::string sql;
      if (auto e = checkSql(s, m, k.checkText, sql)) return e;
      out += ", CONSTRAINT " + quoteId(k.name) + " CHECK (" + sql + ")";
    } else if (k.type == 'R') {
      TableRefPtr p;
      if (auto e = s.cat->lookupById(k.ptabid, "main", p)) return e;
      Sql q(s.db, "SELECT idxname FROM sysconstraints WHERE constrid = ?1");
      q.bind(1, k.primary);
      if (q.step() != SQLITE_ROW) return ixErr(IXR_E_NO_REFERENCED_KEY, k.name);
      Sql ix(s.db,
             "SELECT part1, part2, part3, part4, part5, part6, part7, part8, part9, part10, "
             "part11, part12, "
             "part13, part14, part15, part16 FROM sysindexes WHERE idxname = ?1");
      ix.bind(1, q.str(0));
      if (ix.step() != SQLITE_ROW) return ixErr(IXR_E_NO_REFERENCED_KEY, k.name);
      std::vector<std::string> pcols;
      for (int j = 0; j < 16; ++j) {
        int64_t cn = ix.i64(j);
        if (cn <= 0) continue;
        for (const auto& c : p->cols)
          if (c.colno == cn) pcols.push_back(c.name);
      }
      out += ", CONSTRAINT " + quoteId(k.name) + " FOREIGN KEY (";
      for (size_t j = 0; j < k.cols.size(); ++j) out += (j ? ", " : "") + quoteId(k.cols[j]);
      out += ") REFERENCES " + quoteId(p->name) + " (";
      for (size_t j = 0; j < pcols.size(); ++j) out += (j ? ", " : "") + quoteId(pcols[j]);
      out += ")";
      if (k.cascade) out += " ON DELETE CASCADE";
    }
  }
  out += ")";
  return {};
}

std::string indexSql(const TableModel& m, const IndexModel& ix) {
  std::string s = std::string("CREATE ") + (ix.type == 'U' ? "UNIQUE " : "") + "INDEX " +
                  quoteId(ix.name) + " ON " + quoteId(m.name) + " (";
  for (size_t j = 0; j < ix.cols.size(); ++j)
    s += (j ? ", " : "") + quoteId(ix.cols[j].first) + (ix.cols[j].second ? " DESC" : "");
  return s + ")";
}

IxError loadModel(Session& s, int tabid, TableModel& m) {
  m = TableModel{};
  m.tabid = tabid;
  {
    Sql q(s.db, "SELECT tabname, owner FROM systables WHERE tabid = ?1");
    q.bind(1, tabid);
    if (q.step() != SQLITE_ROW) return ixErr(IXR_E_NO_TABLE);
    m.name = q.str(0);
    m.owner = trimRight(q.str(1));
  }
  std::map<int, std::string> byNo;
  {
    Sql q(s.db,
          "SELECT colname, colno, coltype, collength FROM syscolumns WHERE tabid = ?1 ORDER BY "
          "colno");
    q.bind(1, tabid);
    while (q.step() == SQLITE_ROW) {
      ColModel c;
      c.name = q.str(0);
      c.source = quoteId(c.name);
      c.type = fromCatalog(static_cast<int>(q.i64(2)), static_cast<int>(q.i64(3)));
      byNo[static_cast<int>(q.i64(1))] = c.name;
      m.cols.push_back(c);
    }
  }
  {
    Sql q(s.db, "SELECT colno, type, \"default\" FROM sysdefaults WHERE tabid = ?1");
    q.bind(1, tabid);
    while (q.step() == SQLITE_ROW) {
      int k = m.find(byNo[static_cast<int>(q.i64(0))]);
      if (k < 0) continue;
      std::string t = q.str(1);
      m.cols[static_cast<size_t>(k)].defKind = t.empty() ? 0 : t[0];
      m.cols[static_cast<size_t>(k)].defText = q.isNull(2) ? std::string() : trimRight(q.str(2));
    }
  }
  auto partsOf = [&](Sql& ix, int first) {
    std::vector<std::pair<std::string, bool>> v;
    for (int j = 0; j < 16; ++j) {
      int64_t cn = ix.i64(first + j);
      if (cn == 0) continue;
      v.emplace_back(byNo[static_cast<int>(cn < 0 ? -cn : cn)], cn < 0);
    }
    return v;
  };
  {
    Sql q(s.db,
          "SELECT idxname, idxtype, part1, part2, part3, part4, part5, part6, part7, part8, part9, "
          "part10, "
          "part11, part12, part13, part14, part15, part16 FROM sysindexes WHERE tabid = ?1");
    q.bind(1, tabid);
    while (q.step() == SQLITE_ROW) {
      IndexModel ix;
      ix.name = q.str(0);
      std::string t = q.str(1);
      ix.type = t.empty() ? 'D' : t[0];
      ix.cols = partsOf(q, 2);
      m.indexes.push_back(ix);
    }
  }
  {
    Sql q(s.db,
          "SELECT constrid, constrname, constrtype, idxname FROM sysconstraints WHERE tabid = ?1 "
          "ORDER BY constrid");
    q.bind(1, tabid);
    while (q.step() == SQLITE_ROW) {
      ConsModel k;
      k.constrid = static_cast<int>(q.i64(0));
      k.name = q.str(1);
      std::string t = q.str(2);
      k.type = t.empty() ? 'C' : t[0];
      k.idxname = q.isNull(3) ? std::string() : q.str(3);
      m.cons.push_back(k);
    }
  }
  for (ConsModel& k : m.cons) {
    for (const IndexModel& ix : m.indexes)
      if (!k.idxname.empty() && ix.name == k.idxname)
        for (auto& c : ix.cols) k.cols.push_back(c.first);
    if (k.type == 'R') {
      Sql q(s.db, "SELECT \"primary\", ptabid, delrule FROM sysreferences WHERE constrid = ?1");
      q.bind(1, k.constrid);
      if (q.step() == SQLITE_ROW) {
        k.primary = static_cast<int>(q.i64(0));
        k.ptabid = static_cast<int>(q.i64(1));
        k.cascade = q.str(2) == "C";
      }
    }
    if (k.type == 'C' || k.type == 'N') {
      Sql q(s.db,
            "SELECT checktext FROM syschecks WHERE constrid = ?1 AND type = 'T' ORDER BY seqno");
      q.bind(1, k.constrid);
      while (q.step() == SQLITE_ROW) {
        std::string chunk = q.str(0);  // syschecks keeps the text in chunks of 32
        chunk.resize(32, ' ');
        k.checkText += chunk;
      }
      k.checkText = trimRight(k.checkText);
      Sql d(s.db, "SELECT colno FROM syscoldepend WHERE constrid = ?1");
      d.bind(1, k.constrid);
      while (d.step() == SQLITE_ROW) k.cols.push_back(byNo[static_cast<int>(d.i64(0))]);
    }
  }
  return {};
}

// The catalog rows that describe a table's columns, defaults, indexes and constraints.
constexpr const char* kDescribing[] = {
    "DELETE FROM syscolumns WHERE tabid = ?1",
    "DELETE FROM sysdefaults WHERE tabid = ?1",
    "DELETE FROM sysindexes WHERE tabid = ?1",
    "DELETE FROM sysreferences WHERE constrid IN (SELECT constrid FROM sysconstraints WHERE tabid "
    "= ?1)",
    "DELETE FROM syschecks WHERE constrid IN (SELECT constrid FROM sysconstraints WHERE tabid = "
    "?1)",
    "DELETE FROM syscoldepend WHERE tabid = ?1",
    "DELETE FROM sysconstraints WHERE tabid = ?1",
};

IxError deleteRows(Session& s, int64_t tabid, const char* const* sqls, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    Sql d(s.db, sqls[k]);
    d.bind(1, tabid);
    if (int rc = d.run()) return sqlFail(s, rc);
  }
  return {};
}

// Replaces every catalog row that describes the table (not its privileges).
IxError writeModel(Session& s, const TableModel& m, bool fresh) {
  int64_t tabid = m.tabid;
  if (!fresh)
    if (auto e = deleteRows(s, tabid, kDescribing, std::size(kDescribing))) return e;
  int rowsize = 0;
  Sql col(s.db,
          "INSERT INTO syscolumns (colname, tabid, colno, coltype, collength, colmin, colmax) "
          "VALUES (?1, ?2, ?3, ?4, ?5, NULL, NULL)");
  Sql def(s.db,
          "INSERT INTO sysdefaults (tabid, colno, type, \"default\", class) VALUES (?1, ?2, ?3, "
          "?4, 'T')");
  for (size_t i = 0; i < m.cols.size(); ++i) {
    const ColModel& c = m.cols[i];
    col.reset();
    col.bind(1, c.name)
        .bind(2, tabid)
        .bind(3, static_cast<int64_t>(i + 1))
        .bind(4, catalogCode(c.type));
    col.bind(5, static_cast<int64_t>(static_cast<int16_t>(c.type.len)));
    if (int rc = col.run()) return sqlFail(s, rc);
    rowsize += isCharType(c.type.code) ? std::min(charLength(c.type), 32767) : 8;
    if (c.defKind) {
      def.reset();
      def.bind(1, tabid).bind(2, static_cast<int64_t>(i + 1)).bind(3, std::string(1, c.defKind));
      if (c.defKind == 'L')
        def.bind(4, c.defText);
      else
        def.bindNull(4);
      if (int rc = def.run()) return sqlFail(s, rc);
    }
  }
  auto colno = [&](const std::string& n) { return static_cast<int64_t>(m.find(n) + 1); };
  Sql ix(s.db,
         "INSERT INTO sysindexes (idxname, owner, tabid, idxtype, clustered, part1, part2, part3, "
         "part4, part5, "
         "part6, part7, part8, part9, part10, part11, part12, part13, part14, part15, part16, "
         "levels, leaves, "
         "nunique, clust) VALUES (?1, ?2, ?3, ?4, '-', ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, "
         "?14, ?15, ?16, "
         "?17, ?18, ?19, ?20, 1, 1, 0, 0)");
  for (const IndexModel& x : m.indexes) {
    ix.reset();
    ix.bind(1, x.name).bind(2, m.owner).bind(3, tabid).bind(4, std::string(1, x.type));
    for (int j = 0; j < 16; ++j)
      ix.bind(5 + j, j < static_cast<int>(x.cols.size())
                         ? colno(x.cols[static_cast<size_t>(j)].first)
                         : 0);
    if (int rc = ix.run()) return sqlFail(s, rc);
  }
  Sql con(s.db,
          "INSERT INTO sysconstraints (constrid, constrname, owner, tabid, constrtype, idxname) "
          "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  Sql ref(s.db,
          "INSERT INTO sysreferences (constrid, \"primary\", ptabid, updrule, delrule, matchtype, "
          "pendant) "
          "VALUES (?1, ?2, ?3, 'R', ?4, 'N', 'N')");
  Sql chk(s.db,
          "INSERT INTO syschecks (constrid, type, seqno, checktext) VALUES (?1, 'T', ?2, ?3)");
  Sql dep(s.db, "INSERT INTO syscoldepend (constrid, tabid, colno) VALUES (?1, ?2, ?3)");
  for (const ConsModel& k : m.cons) {
    con.reset();
    con.bind(1, k.constrid)
        .bind(2, k.name)
        .bind(3, m.owner)
        .bind(4, tabid)
        .bind(5, std::string(1, k.type));
    if (k.idxname.empty())
      con.bindNull(6);
    else
      con.bind(6, k.idxname);
    if (int rc = con.run()) return sqlFail(s, rc);
    if (k.type == 'R') {
      ref.reset();
      ref.bind(1, k.constrid).bind(2, k.primary).bind(3, k.ptabid).bind(4, k.cascade ? "C" : "R");
      if (int rc = ref.run()) return sqlFail(s, rc);
    }
    if (k.type == 'C') {
      for (size_t off = 0, seq = 0; off < k.checkText.size(); off += 32, ++seq) {
        chk.reset();
        chk.bind(1, k.constrid)
            .bind(2, static_cast<int64_t>(seq))
            .bind(3, k.checkText.substr(off, 32));
        if (int rc = chk.run()) return sqlFail(s, rc);
      }
    }
    if (k.type == 'C' || k.type == 'N') {
      for (const auto& c : k.cols) {
        dep.reset();
        dep.bind(1, k.constrid).bind(2, tabid).bind(3, colno(c));
        if (int rc = dep.run()) return sqlFail(s, rc);
      }
    }
  }
  Sql up(s.db, "UPDATE systables SET ncols = ?2, nindexes = ?3, rowsize = ?4 WHERE tabid = ?1");
  up.bind(1, tabid)
      .bind(2, static_cast<int64_t>(m.cols.size()))
      .bind(3, static_cast<int64_t>(m.indexes.size()));
  up.bind(4, std::min(rowsize, 32767));
  if (int rc = up.run()) return sqlFail(s, rc);
  return {};
}

// Builds the SQLite table from the model, copying the rows of the old table when there
// is one. Other tables' foreign keys keep naming the table, so the old one is renamed
// away without rewriting them.
IxError buildTable(Session& s, const TableModel& m, bool rebuild) {
  std::string sql;
  if (auto e = createSql(s, m, quoteId(m.name), sql)) return e;
  if (!rebuild) {
    if (auto e = runSql(s, sql, Op::Other)) return e;
  } else {
    if (auto e = runSql(s, "PRAGMA legacy_alter_table=ON", Op::Other)) return e;
    IxError e = runSql(s, "ALTER TABLE " + quoteId(m.name) + " RENAME TO ixr_old", Op::Other);
    if (!e) e = runSql(s, sql, Op::Other);
    if (!e) {
      std::string cols = "rowid", vals = "rowid";
      for (const ColModel& c : m.cols) {
        if (c.source.empty()) continue;
        cols += ", " + quoteId(c.name);
        vals += ", " + c.source;
      }
      e = runSql(
          s, "INSERT INTO " + quoteId(m.name) + " (" + cols + ") SELECT " + vals + " FROM ixr_old",
          Op::Insert);
    }
    if (!e) e = runSql(s, "DROP TABLE ixr_old", Op::Other);
    runSql(s, "PRAGMA legacy_alter_table=OFF", Op::Other);
    if (e) return e;
  }
  for (const IndexModel& ix : m.indexes)
    if (auto e = runSql(s, indexSql(m, ix), Op::Other)) return e;
  return {};
}

// Adds a constraint to the model: names it, gives it its index, checks its columns.
IxError addConstraint(Session& s, TableModel& m, ConsModel k, const ConstraintDef* def) {
  for (const auto& c : k.cols)
    if (m.find(c) < 0) return ixErr(IXR_E_NO_COLUMN, c);
  k.constrid = static_cast<int>(catalogNextId(s.db, "sysconstraints"));
  char prefix = k.type == 'P' ? 'u' : static_cast<char>(k.type | 0x20);
  if (k.name.empty())
    k.name = std::string(1, prefix) + std::to_string(m.tabid) + "_" + std::to_string(k.constrid);
  for (const ConsModel& o : m.cons)
    if (o.name == k.name) return ixErr(IXR_E_UNSUPPORTED, "constraint " + k.name + " exists");
  if (k.type == 'P' || k.type == 'U' || k.type == 'R') {
    k.idxname = " " + std::to_string(m.tabid) + "_" + std::to_string(k.constrid);
    IndexModel ix;
    ix.name = k.idxname;
    ix.type = k.type == 'R' ? 'D' : 'U';
    for (const auto& c : k.cols) ix.cols.emplace_back(c, false);
    m.indexes.push_back(ix);
  }
  if (k.type == 'P') {
    for (const ConsModel& o : m.cons)
      if (o.type == 'P') return ixErr(IXR_E_UNSUPPORTED, "the table already has a primary key");
    for (const auto& c : k.cols) m.cols[static_cast<size_t>(m.find(c))].type.notnull = true;
  }
  if (k.type == 'N') m.cols[static_cast<size_t>(m.find(k.cols[0]))].type.notnull = true;
  if (k.type == 'R' && def) {
    TableRefPtr p;
    if (def->refTable.name == m.name) {
      p = std::make_shared<TableDef>(asTableDef(m));
    } else if (auto e = s.cat->lookup(def->refTable, p)) {
      return e;
    }
    if (p->temp || p->tabtype != 'T') return ixErr(IXR_E_NO_REFERENCED_KEY, def->refTable.name);
    std::vector<std::string> pcols = def->refCols;
    // The referenced key: the columns given, else the primary key.
    TableModel pm;
    if (p->tabid == m.tabid)
      pm = m;
    else if (auto e = loadModel(s, p->tabid, pm))
      return e;
    int primary = 0;
    for (const ConsModel& o : pm.cons) {
      if (o.type != 'P' && o.type != 'U') continue;
      if ((pcols.empty() && o.type == 'P') || o.cols == pcols) primary = o.constrid;
    }
    if (!primary) return ixErr(IXR_E_NO_REFERENCED_KEY, def->refTable.name);
    k.ptabid = p->tabid;
    k.primary = primary;
    k.cascade = def->cascade;
  }
  if (k.type == 'C' && def) k.checkText = def->checkText;
  m.cons.push_back(std::move(k));
  return {};
}

ConsModel consFrom(const ConstraintDef& d) {
  ConsModel k;
  k.type = d.type;
  k.name = d.name;
  k.cols = d.cols;
  return k;
}

IxError colModel(const ColDef& cd, ColModel& c) {
  c.name = cd.name;
  c.type = cd.type;
  c.type.notnull = false;
  c.defKind = cd.defaultValue.kind;
  if (cd.defaultValue.kind == 'L') {
    // Checked against the type here; the catalog keeps the value as written.
    std::string sql;
    if (auto e = defaultLiteral(cd.defaultValue.literal, cd.type, sql)) return e;
    c.defText = cd.defaultValue.literal->text;
  }
  return {};
}

IxError grantPublic(Session& s, int tabid) {
  if (s.ansi()) return {};
  Sql q(s.db,
        "INSERT INTO systabauth (grantor, grantee, tabid, tabauth) VALUES (?1, 'public', ?2, "
        "'su-idx---')");
  q.bind(1, s.user).bind(2, tabid);
  if (int rc = q.run()) return sqlFail(s, rc);
  return {};
}

IxError createTemp(Session& s, Stmt* st) {
  auto def = std::make_shared<TableDef>();
  def->name = st->table.name;
  std::vector<std::string> defaults, uniques;
  for (size_t i = 0; i < st->colDefs.size(); ++i) {
    const ColDef& cd = st->colDefs[i];
    if (def->find(cd.name) >= 0) return ixErr(IXR_E_COLUMN_EXISTS, cd.name);
    ColumnDef c;
    c.name = cd.name;
    c.type = cd.type;
    c.colno = static_cast<int>(i + 1);
    for (const auto& k : cd.constraints) {
      if (k.type == 'P') c.type.notnull = true;
      if (k.type == 'P' || k.type == 'U') uniques.push_back(quoteId(cd.name));
    }
    std::string dsql;
    if (cd.defaultValue.kind == 'L')
      if (auto e = defaultLiteral(cd.defaultValue.literal, cd.type, dsql)) return e;
    defaults.push_back(dsql);
    if (baseType(c.type.code) == IXR_TYPE_SERIAL) {
      def->serialCol = static_cast<int>(i);
      def->serialStart = cd.serialStart;
    }
    def->cols.push_back(c);
  }
  for (const auto& k : st->tableConstraints) {
    if (k.type != 'P' && k.type != 'U') continue;
    std::string cols;
    for (size_t j = 0; j < k.cols.size(); ++j) cols += (j ? ", " : "") + quoteId(k.cols[j]);
    uniques.push_back(cols);
  }
  return tempTableCreate(s, def, defaults, uniques);
}

IxError createTable(Session& s, Stmt* st) {
  if (st->temp) return createTemp(s, st);
  const std::string& name = st->table.name;
  if (nameTaken(s, name)) return ixErr(IXR_E_TABLE_EXISTS, name);
  if (st->colDefs.empty()) return ixErr(IXR_E_SYNTAX, name);
  TableModel m;
  m.name = name;
  m.owner = st->table.owner.empty() ? s.user : st->table.owner;
  m.tabid = static_cast<int>(catalogNextId(s.db, "systables"));
  int serials = 0, serialStart = 1;
  for (const ColDef& cd : st->colDefs) {
    if (m.find(cd.name) >= 0) return ixErr(IXR_E_COLUMN_EXISTS, cd.name);
    ColModel c;
    if (auto e = colModel(cd, c)) return e;
    if (baseType(c.type.code) == IXR_TYPE_SERIAL) {
      ++serials;
      serialStart = cd.serialStart;
    }
    if (isBlobType(c.type.code) && cd.defaultValue.kind == 'L')
      return ixErr(IXR_E_BLOB_LITERAL, cd.name);
    m.cols.push_back(c);
  }
  if (serials > 1) return ixErr(IXR_E_UNSUPPORTED, "a table has at most one SERIAL column");
  for (const ColDef& cd : st->colDefs)
    for (const ConstraintDef& d : cd.constraints)
      if (auto e = addConstraint(s, m, consFrom(d), &d)) return e;
  for (const ConstraintDef& d : st->tableConstraints)
    if (auto e = addConstraint(s, m, consFrom(d), &d)) return e;
  int32_t today = dateToday();
  Sql t(s.db,
        "INSERT INTO systables (tabname, owner, partnum, tabid, rowsize, ncols, nindexes, nrows, "
        "created, "
        "version, tabtype, locklevel, npused, fextsize, nextsize, flags, site, dbname) "
        "VALUES (?1, ?2, ?3, ?3, 0, 0, 0, 0, ?4, 1, 'T', 'P', 0, 16, 16, 0, '', NULL)");
  t.bind(1, m.name).bind(2, m.owner).bind(3, m.tabid).bind(4, today);
  if (int rc = t.run()) return sqlFail(s, rc);
  if (auto e = writeModel(s, m, true)) return e;
  if (auto e = buildTable(s, m, false)) return e;
  if (serials) {
    Sql q(s.db, "INSERT INTO ixr_serial (tabid, last) VALUES (?1, ?2)");
    q.bind(1, m.tabid).bind(2, serialStart - 1);
    if (int rc = q.run()) return sqlFail(s, rc);
  }
  return grantPublic(s, m.tabid);
}

IxError tableFor(Session& s, const TableName& tn, char want, TableRefPtr& out) {
  if (auto e = s.cat->lookup(tn, out)) return e;
  if (out->temp) return {};
  if (out->schema != "main")
    return ixErr(IXR_E_UNSUPPORTED, "the sysmaster database cannot be changed");
  if (out->tabid < 100)
    return ixErr(IXR_E_UNSUPPORTED, "catalog table " + out->name + " cannot be changed");
  if (want && out->tabtype != want) return ixErr(IXR_E_NO_TABLE, tn.name);
  // Synonyms resolve to their table; DROP needs the named object itself.
  return {};
}

IxError deleteTableRows(Session& s, int tabid) {
  static const char* kRest[] = {
      "DELETE FROM systabauth WHERE tabid = ?1", "DELETE FROM syscolauth WHERE tabid = ?1",
      "DELETE FROM sysviews WHERE tabid = ?1",   "DELETE FROM sysdepend WHERE dtabid = ?1",
      "DELETE FROM ixr_serial WHERE tabid = ?1", "DELETE FROM systables WHERE tabid = ?1",
  };
  if (auto e = deleteRows(s, tabid, kDescribing, std::size(kDescribing))) return e;
  return deleteRows(s, tabid, kRest, std::size(kRest));
}

std::string objectType(Session& s, const std::string& name, int& tabid) {
  Sql q(s.db, "SELECT tabtype, tabid FROM systables WHERE tabname = ?1");
  q.bind(1, name);
  if (q.step() != SQLITE_ROW) return {};
  tabid = static_cast<int>(q.i64(1));
  return q.str(0);
}

IxError dropTable(Session& s, Stmt* st, bool view) {
  const std::string& name = st->table.name;
  if (!view && s.cat->temp(name)) {
    if (auto e = runSql(s, "DROP TABLE temp." + quoteId(name), Op::Other)) return e;
    s.cat->dropTemp(name);
    s.tempSerial.erase(name);
    return {};
  }
  int tabid = 0;
  std::string type = objectType(s, name, tabid);
  if (type.empty() || type[0] != (view ? 'V' : 'T')) return ixErr(IXR_E_NO_TABLE, name);
  if (tabid < 100) return ixErr(IXR_E_UNSUPPORTED, "catalog table " + name + " cannot be dropped");
  // Views over the table go with it.
  std::vector<std::string> views;
  {
    Sql q(s.db,
          "SELECT t.tabname FROM sysdepend d, systables t WHERE d.btabid = ?1 AND t.tabid = "
          "d.dtabid");
    q.bind(1, tabid);
    while (q.step() == SQLITE_ROW) views.push_back(q.str(0));
  }
  for (const auto& v : views) {
    Stmt dv;
    dv.table.name = v;
    if (auto e = dropTable(s, &dv, true)) return e;
  }
  if (auto e =
          runSql(s, std::string(view ? "DROP VIEW " : "DROP TABLE ") + quoteId(name), Op::Delete))
    return e;
  {
    Sql d(s.db, "DELETE FROM sysdepend WHERE btabid = ?1");
    d.bind(1, tabid).run();
  }
  return deleteTableRows(s, tabid);
}

IxError alterTable(Session& s, Stmt* st) {
  TableRefPtr t;
  if (auto e = tableFor(s, st->table, 'T', t)) return e;
  if (t->temp) return ixErr(IXR_E_UNSUPPORTED, "a temporary table cannot be altered");
  TableModel m;
  if (auto e = loadModel(s, t->tabid, m)) return e;
  for (AlterAction& a : st->alters) {
    switch (a.kind) {
      case AlterKind::AddColumn: {
        if (m.find(a.col.name) >= 0) return ixErr(IXR_E_COLUMN_EXISTS, a.col.name);
        ColModel c;
        if (auto e = colModel(a.col, c)) return e;
        if (baseType(c.type.code) == IXR_TYPE_SERIAL) {
          for (const auto& o : m.cols)
            if (baseType(o.type.code) == IXR_TYPE_SERIAL)
              return ixErr(IXR_E_UNSUPPORTED, "a table has at most one SERIAL column");
        }
        size_t at = m.cols.size();
        if (!a.before.empty()) {
          int b = m.find(a.before);
          if (b < 0) return ixErr(IXR_E_NO_COLUMN, a.before);
          at = static_cast<size_t>(b);
        }
        m.cols.insert(m.cols.begin() + static_cast<long>(at), c);
        for (const ConstraintDef& d : a.col.constraints)
          if (auto e = addConstraint(s, m, consFrom(d), &d)) return e;
        break;
      }
      case AlterKind::DropColumn: {
        int k = m.find(a.name);
        if (k < 0) return ixErr(IXR_E_NO_COLUMN, a.name);
        m.cols.erase(m.cols.begin() + k);
        if (m.cols.empty())
          return ixErr(IXR_E_UNSUPPORTED, "the last column of a table cannot be dropped");
        // Constraints and indexes on the column go with it.
        auto uses = [&](const std::vector<std::string>& cols) {
          return std::find(cols.begin(), cols.end(), a.name) != cols.end();
        };
        std::vector<std::string> dropIdx;
        m.cons.erase(std::remove_if(m.cons.begin(), m.cons.end(),
                                    [&](const ConsModel& c) {
                                      bool u = uses(c.cols);
                                      if (u && !c.idxname.empty()) dropIdx.push_back(c.idxname);
                                      return u;
                                    }),
                     m.cons.end());
        m.indexes.erase(std::remove_if(m.indexes.begin(), m.indexes.end(),
                                       [&](const IndexModel& ix) {
                                         for (auto& c : ix.cols)
                                           if (c.first == a.name) return true;
                                         return std::find(dropIdx.begin(), dropIdx.end(),
                                                          ix.name) != dropIdx.end();
                                       }),
                        m.indexes.end());
        break;
      }
      case AlterKind::ModifyColumn: {
        int k = m.find(a.col.name);
        if (k < 0) return ixErr(IXR_E_NO_COLUMN, a.col.name);
        ColModel c;
        if (auto e = colModel(a.col, c)) return e;
        c.source = m.cols[static_cast<size_t>(k)].source;
        m.cols[static_cast<size_t>(k)] = c;
        // MODIFY restates the column: its old NOT NULL goes unless given again.
        m.cons.erase(std::remove_if(m.cons.begin(), m.cons.end(),
                                    [&](const ConsModel& x) {
                                      return x.type == 'N' && x.cols.size() == 1 &&
                                             x.cols[0] == a.col.name;
                                    }),
                     m.cons.end());
        for (const ConstraintDef& d : a.col.constraints)
          if (auto e = addConstraint(s, m, consFrom(d), &d)) return e;
        break;
      }
      case AlterKind::AddConstraint:
        if (auto e = addConstraint(s, m, consFrom(a.constraint), &a.constraint)) return e;
        break;
      case AlterKind::DropConstraint: {
        auto it = std::find_if(m.cons.begin(), m.cons.end(),
                               [&](const ConsModel& c) { return c.name == a.name; });
        if (it == m.cons.end())
          return ixErr(IXR_E_UNSUPPORTED, "constraint " + a.name + " does not exist");
        std::string idx = it->idxname;
        if (it->type == 'N' && it->cols.size() == 1)
          m.cols[static_cast<size_t>(m.find(it->cols[0]))].type.notnull = false;
        m.cons.erase(it);
        m.indexes.erase(std::remove_if(m.indexes.begin(), m.indexes.end(),
                                       [&](const IndexModel& ix) { return ix.name == idx; }),
                        m.indexes.end());
        break;
      }
    }
  }
  // NOT NULL follows the constraints that remain.
  for (ColModel& c : m.cols) c.type.notnull = false;
  for (const ConsModel& k : m.cons)
    if (k.type == 'P' || k.type == 'N')
      for (const auto& c : k.cols)
        if (m.find(c) >= 0) m.cols[static_cast<size_t>(m.find(c))].type.notnull = true;
  // Values of modified columns convert into their new type on the way over.
  for (ColModel& c : m.cols) {
    if (c.source.empty()) continue;
    int k = -1;
    for (size_t i = 0; i < t->cols.size(); ++i)
      if (quoteId(t->cols[i].name) == c.source) k = static_cast<int>(i);
    if (k < 0) continue;
    const ColumnDef& old = t->cols[static_cast<size_t>(k)];
    IxType nt = c.type, ot = old.type;
    nt.notnull = ot.notnull = false;
    if (!(ot == nt))
      c.source = "ix_conv(" + quoteId(old.name) + ", " + std::to_string(baseType(ot.code)) + ", " +
                 std::to_string(ot.len) + ", " + std::to_string(baseType(nt.code)) + ", " +
                 std::to_string(nt.len) + ")";
  }
  if (auto e = writeModel(s, m, false)) return e;
  return buildTable(s, m, true);
}

IxError renameTable(Session& s, Stmt* st) {
  TableRefPtr t;
  if (auto e = tableFor(s, st->table, 'T', t)) return e;
  if (t->temp) return ixErr(IXR_E_UNSUPPORTED, "a temporary table cannot be renamed");
  if (nameTaken(s, st->name)) return ixErr(IXR_E_TABLE_EXISTS, st->name);
  if (auto e = runSql(s, "ALTER TABLE " + quoteId(t->name) + " RENAME TO " + quoteId(st->name),
                      Op::Other))
    return e;
  Sql u(s.db, "UPDATE systables SET tabname = ?2 WHERE tabid = ?1");
  u.bind(1, t->tabid).bind(2, st->name);
  if (int rc = u.run()) return sqlFail(s, rc);
  Sql v(s.db, "UPDATE syssyntable SET tabname = ?2 WHERE btabid = ?1");
  v.bind(1, t->tabid).bind(2, st->name);
  v.run();
  return {};
}

IxError renameColumn(Session& s, Stmt* st) {
  TableRefPtr t;
  if (auto e = tableFor(s, st->table, 'T', t)) return e;
  if (t->find(st->name) < 0) return ixErr(IXR_E_NO_COLUMN, st->name);
  if (t->find(st->name2) >= 0) return ixErr(IXR_E_COLUMN_EXISTS, st->name2);
  if (auto e = runSql(s,
                      "ALTER TABLE " + t->sqlName() + " RENAME COLUMN " + quoteId(st->name) +
                          " TO " + quoteId(st->name2),
                      Op::Other))
    return e;
  if (t->temp) {
    auto def = std::make_shared<TableDef>(*t);
    def->cols[static_cast<size_t>(def->find(st->name))].name = st->name2;
    s.cat->addTemp(def);
    return {};
  }
  Sql u(s.db, "UPDATE syscolumns SET colname = ?3 WHERE tabid = ?1 AND colname = ?2");
  u.bind(1, t->tabid).bind(2, st->name).bind(3, st->name2);
  if (int rc = u.run()) return sqlFail(s, rc);
  return {};
}

IxError createIndex(Session& s, Stmt* st) {
  TableRefPtr t;
  if (auto e = tableFor(s, st->table, 'T', t)) return e;
  {
    Sql q(s.db, "SELECT 1 FROM sysindexes WHERE idxname = ?1");
    q.bind(1, st->name);
    if (q.step() == SQLITE_ROW) return ixErr(IXR_E_INDEX_EXISTS, st->name);
  }
  if (st->idxCols.size() > 16) return ixErr(IXR_E_SYNTAX, st->name);
  IndexModel ix;
  ix.name = st->name;
  ix.type = st->unique ? 'U' : 'D';
  for (const IndexCol& c : st->idxCols) {
    if (t->find(c.name) < 0) return ixErr(IXR_E_NO_COLUMN, c.name);
    ix.cols.emplace_back(c.name, c.desc);
  }
  TableModel m;
  m.name = t->name;
  std::string sql = indexSql(m, ix);
  if (t->temp) sql.insert(sql.find("INDEX ") + 6, "temp.");
  if (auto e = runSql(s, sql, Op::Other))
    return e.code == IXR_E_DUPLICATE ? ixErr(IXR_E_DUPLICATE, st->name, IXR_ISAM_DUPLICATE) : e;
  if (t->temp) return {};
  Sql q(s.db,
        "INSERT INTO sysindexes (idxname, owner, tabid, idxtype, clustered, part1, part2, part3, "
        "part4, part5, "
        "part6, part7, part8, part9, part10, part11, part12, part13, part14, part15, part16, "
        "levels, leaves, "
        "nunique, clust) VALUES (?1, ?2, ?3, ?4, '-', ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, "
        "?15, ?16, "
        "?17, ?18, ?19, ?20, 1, 1, 0, 0)");
  q.bind(1, ix.name).bind(2, s.user).bind(3, t->tabid).bind(4, std::string(1, ix.type));
  for (int j = 0; j < 16; ++j)
    q.bind(5 + j,
           j < static_cast<int>(ix.cols.size())
               ? static_cast<int64_t>(
                     t->cols[static_cast<size_t>(t->find(ix.cols[static_cast<size_t>(j)].first))]
                         .colno)
               : 0);
  if (int rc = q.run()) return sqlFail(s, rc);
  Sql u(s.db, "UPDATE systables SET nindexes = nindexes + 1 WHERE tabid = ?1");
  u.bind(1, t->tabid).run();
  return {};
}

IxError dropIndex(Session& s, Stmt* st) {
  Sql q(s.db, "SELECT tabid FROM sysindexes WHERE idxname = ?1");
  q.bind(1, st->name);
  if (q.step() != SQLITE_ROW) {
    // An index of a temporary table lives in the temp schema only.
    if (runSql(s, "DROP INDEX temp." + quoteId(st->name), Op::Other))
      return ixErr(IXR_E_NO_INDEX, st->name);
    return {};
  }
  int64_t tabid = q.i64(0);
  q.reset();  // a statement still reading sysindexes would lock out DROP INDEX
  if (!st->name.empty() && st->name[0] == ' ')
    return ixErr(IXR_E_UNSUPPORTED, "a constraint index cannot be dropped");
  if (auto e = runSql(s, "DROP INDEX " + quoteId(st->name), Op::Other)) return e;
  Sql d(s.db, "DELETE FROM sysindexes WHERE idxname = ?1");
  d.bind(1, st->name).run();
  Sql u(s.db, "UPDATE systables SET nindexes = nindexes - 1 WHERE tabid = ?1");
  u.bind(1, tabid).run();
  return {};
}

IxError createView(Session& s, Stmt* st, Ast& ast) {
  const std::string& name = st->table.name;
  if (nameTaken(s, name)) return ixErr(IXR_E_TABLE_EXISTS, name);
  TransCtx ctx = transCtx(s);
  std::string sql;
  std::vector<ResultCol> cols;
  if (auto e = translateQuery(ctx, ast, st->select, sql, cols)) return e;
  if (!st->cols.empty()) {
    if (st->cols.size() != cols.size()) return ixErr(IXR_E_INSERT_COUNT);
    for (size_t k = 0; k < cols.size(); ++k) cols[k].name = st->cols[k];
  }
  for (size_t k = 0; k < cols.size(); ++k) {
    if (cols[k].name.empty() || cols[k].name[0] == '(') return ixErr(IXR_E_SYNTAX, cols[k].name);
    for (size_t j = 0; j < k; ++j)
      if (cols[j].name == cols[k].name) return ixErr(IXR_E_COLUMN_EXISTS, cols[k].name);
  }
  std::string ddl = "CREATE VIEW " + quoteId(name) + " (";
  for (size_t k = 0; k < cols.size(); ++k) ddl += (k ? ", " : "") + quoteId(cols[k].name);
  ddl += ") AS " + sql;
  if (auto e = runSql(s, ddl, Op::Other)) return e;
  TableModel m;
  m.name = name;
  m.owner = st->table.owner.empty() ? s.user : st->table.owner;
  m.tabid = static_cast<int>(catalogNextId(s.db, "systables"));
  for (const auto& c : cols) {
    ColModel cm;
    cm.name = c.name;
    cm.type = c.type;
    cm.type.notnull = false;
    m.cols.push_back(cm);
  }
  Sql t(s.db,
        "INSERT INTO systables (tabname, owner, partnum, tabid, rowsize, ncols, nindexes, nrows, "
        "created, "
        "version, tabtype, locklevel, npused, fextsize, nextsize, flags, site, dbname) "
        "VALUES (?1, ?2, 0, ?3, 0, 0, 0, 0, ?4, 1, 'V', 'P', 0, 0, 0, 0, '', NULL)");
  t.bind(1, m.name).bind(2, m.owner).bind(3, m.tabid).bind(4, dateToday());
  if (int rc = t.run()) return sqlFail(s, rc);
  if (auto e = writeModel(s, m, true)) return e;
  std::string text = ast.text.substr(st->pos, st->end - st->pos);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == ';'))
    text.pop_back();
  Sql v(s.db, "INSERT INTO sysviews (tabid, seqno, viewtext) VALUES (?1, ?2, ?3)");
  for (size_t off = 0, seq = 0; off < text.size(); off += 64, ++seq) {
    v.reset();
    v.bind(1, m.tabid).bind(2, static_cast<int64_t>(seq)).bind(3, text.substr(off, 64));
    if (int rc = v.run()) return sqlFail(s, rc);
  }
  // Every base table the view reads, for DROP TABLE to find its views.
  std::vector<std::string> bases;
  std::function<void(Select*)> walk = [&](Select* sel) {
    for (SelectCore* c : sel->cores)
      for (TableRef* r : c->from) {
        if (r->subquery)
          walk(r->subquery);
        else if (r->def && !r->def->temp && r->def->schema == "main")
          bases.push_back(r->def->name);
      }
  };
  walk(st->select);
  Sql d(s.db,
        "INSERT INTO sysdepend (btabid, btype, dtabid, dtype) SELECT tabid, tabtype, ?1, 'V' FROM "
        "systables WHERE tabname = ?2");
  std::sort(bases.begin(), bases.end());
  bases.erase(std::unique(bases.begin(), bases.end()), bases.end());
  for (const auto& b : bases) {
    d.reset();
    d.bind(1, m.tabid).bind(2, b);
    if (int rc = d.run()) return sqlFail(s, rc);
  }
  return grantPublic(s, m.tabid);
}

IxError createSynonym(Session& s, Stmt* st) {
  if (nameTaken(s, st->name)) return ixErr(IXR_E_TABLE_EXISTS, st->name);
  TableRefPtr t;
  if (auto e = s.cat->lookup(st->table, t)) return e;
  if (t->temp || t->schema != "main") return ixErr(IXR_E_NO_TABLE, st->table.name);
  int64_t tabid = catalogNextId(s.db, "systables");
  std::string owner = st->name2.empty() ? s.user : st->name2;
  Sql q(s.db,
        "INSERT INTO systables (tabname, owner, partnum, tabid, rowsize, ncols, nindexes, nrows, "
        "created, "
        "version, tabtype, locklevel, npused, fextsize, nextsize, flags, site, dbname) "
        "VALUES (?1, ?2, 0, ?3, 0, ?4, 0, 0, ?5, 1, ?6, 'P', 0, 0, 0, 0, '', NULL)");
  q.bind(1, st->name).bind(2, owner).bind(3, tabid).bind(4, static_cast<int64_t>(t->cols.size()));
  q.bind(5, dateToday()).bind(6, st->isPublic ? "P" : "S");
  if (int rc = q.run()) return sqlFail(s, rc);
  Sql a(s.db, "INSERT INTO syssynonyms (owner, synname, created, tabid) VALUES (?1, ?2, ?3, ?4)");
  a.bind(1, owner).bind(2, st->name).bind(3, dateToday()).bind(4, tabid);
  if (int rc = a.run()) return sqlFail(s, rc);
  Sql b(s.db,
        "INSERT INTO syssyntable (tabid, servername, dbname, owner, tabname, btabid) VALUES (?1, "
        "NULL, NULL, ?2, ?3, ?4)");
  b.bind(1, tabid).bind(2, t->owner).bind(3, t->name).bind(4, t->tabid);
  if (int rc = b.run()) return sqlFail(s, rc);
  return {};
}

IxError dropSynonym(Session& s, Stmt* st) {
  int tabid = 0;
  std::string type = objectType(s, st->table.name, tabid);
  if (type != "P" && type != "S") return ixErr(IXR_E_NO_TABLE, st->table.name);
  for (const char* sql :
       {"DELETE FROM syssynonyms WHERE tabid = ?1", "DELETE FROM syssyntable WHERE tabid = ?1",
        "DELETE FROM systables WHERE tabid = ?1"}) {
    Sql d(s.db, sql);
    d.bind(1, tabid);
    if (int rc = d.run()) return sqlFail(s, rc);
  }
  return {};
}

IxError createProc(Session& s, Stmt* st, Ast& ast) {
  Sql q(s.db, "SELECT 1 FROM sysprocedures WHERE procname = ?1");
  q.bind(1, st->name);
  if (q.step() == SQLITE_ROW) return ixErr(IXR_E_ROUTINE_EXISTS, st->name);
  if (auto e = procCheck(s, ast, st)) return e;
  int64_t procid = catalogNextId(s.db, "sysprocedures");
  Sql p(s.db,
        "INSERT INTO sysprocedures (procname, owner, procid, mode, retsize, symsize, datasize, "
        "codesize, "
        "numargs, isproc) VALUES (?1, ?2, ?3, 'O', ?4, 0, 0, 0, ?5, ?6)");
  p.bind(1, st->name)
      .bind(2, s.user)
      .bind(3, procid)
      .bind(4, static_cast<int64_t>(st->returns.size()));
  p.bind(5, st->numArgs).bind(6, st->returns.empty() ? "T" : "f");
  if (int rc = p.run()) return sqlFail(s, rc);
  std::string text = ast.text.substr(st->pos, st->end - st->pos);
  while (!text.empty() && (text.back() == '\n' || text.back() == ';' || text.back() == ' '))
    text.pop_back();
  // Chunks of 256 bytes; a chunk keeps its trailing blanks.
  Sql b(s.db, "INSERT INTO sysprocbody (procid, datakey, seqno, data) VALUES (?1, 'T', ?2, ?3)");
  for (size_t off = 0, seq = 1; off < text.size(); off += 256, ++seq) {
    b.reset();
    b.bind(1, procid).bind(2, static_cast<int64_t>(seq)).bind(3, text.substr(off, 256));
    if (int rc = b.run()) return sqlFail(s, rc);
  }
  return {};
}

IxError dropProc(Session& s, Stmt* st) {
  Sql q(s.db, "SELECT procid FROM sysprocedures WHERE procname = ?1");
  q.bind(1, st->name);
  if (q.step() != SQLITE_ROW) return ixErr(IXR_E_NO_ROUTINE, st->name);
  int64_t id = q.i64(0);
  q.reset();
  procForget(s, st->name);
  for (const char* sql : {"DELETE FROM sysprocbody WHERE procid = ?1",
                          "DELETE FROM sysprocedures WHERE procid = ?1"}) {
    Sql d(s.db, sql);
    d.bind(1, id);
    if (int rc = d.run()) return sqlFail(s, rc);
  }
  return {};
}

// Table privileges: positions s u * i d x a r of systabauth.tabauth; upper case carries
// the grant option. Column privileges: s u r of syscolauth.colauth.
IxError grantRevoke(Session& s, Stmt* st) {
  bool grant = st->kind == StmtKind::Grant;
  if (!st->dbPriv.empty()) {
    char type = st->dbPriv == "dba" ? 'D' : st->dbPriv == "resource" ? 'R' : 'C';
    for (const auto& g : st->grantees) {
      Sql d(s.db, "DELETE FROM sysusers WHERE username = ?1");
      d.bind(1, g).run();
      if (grant) {
        Sql i(s.db,
              "INSERT INTO sysusers (username, usertype, priority, password, defrole) VALUES (?1, "
              "?2, 5, NULL, NULL)");
        i.bind(1, g).bind(2, std::string(1, type));
        if (int rc = i.run()) return sqlFail(s, rc);
      }
    }
    return {};
  }
  TableRefPtr t;
  if (auto e = tableFor(s, st->table, 0, t)) return e;
  if (t->temp) return {};
  static const char kLetters[] = "su-idxar-";
  auto pos = [](char letter) { return static_cast<size_t>(std::string(kLetters).find(letter)); };
  for (const auto& g : st->grantees) {
    std::string auth = "---------";
    std::string grantor = s.user;
    bool found = false;
    {
      Sql q(s.db, "SELECT tabauth, grantor FROM systabauth WHERE tabid = ?1 AND grantee = ?2");
      q.bind(1, t->tabid).bind(2, g);
      if (q.step() == SQLITE_ROW) {
        auth = q.str(0);
        auth.resize(9, '-');
        grantor = trimRight(q.str(1));
        found = true;
      }
    }
    for (char l : st->privs) {
      size_t p = pos(l);
      auth[p] = grant ? (st->withGrant ? static_cast<char>(l & ~0x20) : l) : '-';
    }
    for (const auto& [letter, cols] : st->colPrivs) {
      size_t cp = letter == 's' ? 0 : letter == 'u' ? 1 : 2;
      for (const auto& cname : cols) {
        int k = t->find(cname);
        if (k < 0) return ixErr(IXR_E_NO_COLUMN, cname);
        int64_t colno = t->cols[static_cast<size_t>(k)].colno;
        std::string ca = "---";
        {
          Sql q(s.db,
                "SELECT colauth FROM syscolauth WHERE tabid = ?1 AND grantee = ?2 AND colno = ?3");
          q.bind(1, t->tabid).bind(2, g).bind(3, colno);
          if (q.step() == SQLITE_ROW) {
            ca = q.str(0);
            ca.resize(3, '-');
          }
        }
        ca[cp] = grant ? (st->withGrant ? static_cast<char>(letter & ~0x20) : letter) : '-';
        Sql d(s.db, "DELETE FROM syscolauth WHERE tabid = ?1 AND grantee = ?2 AND colno = ?3");
        d.bind(1, t->tabid).bind(2, g).bind(3, colno).run();
        if (ca != "---") {
          Sql i(s.db,
                "INSERT INTO syscolauth (grantor, grantee, tabid, colno, colauth) VALUES (?1, ?2, "
                "?3, ?4, ?5)");
          i.bind(1, s.user).bind(2, g).bind(3, t->tabid).bind(4, colno).bind(5, ca);
          if (int rc = i.run()) return sqlFail(s, rc);
        }
      }
      auth[2] = grant ? '*' : auth[2];
    }
    if (!grant && !st->colPrivs.empty()) {
      Sql q(s.db, "SELECT 1 FROM syscolauth WHERE tabid = ?1 AND grantee = ?2");
      q.bind(1, t->tabid).bind(2, g);
      if (q.step() != SQLITE_ROW) auth[2] = '-';
    }
    if (found) {
      Sql d(s.db, "DELETE FROM systabauth WHERE tabid = ?1 AND grantee = ?2");
      d.bind(1, t->tabid).bind(2, g).run();
    }
    if (auth != std::string(9, '-')) {
      Sql i(s.db,
            "INSERT INTO systabauth (grantor, grantee, tabid, tabauth) VALUES (?1, ?2, ?3, ?4)");
      i.bind(1, grantor).bind(2, g).bind(3, t->tabid).bind(4, auth);
      if (int rc = i.run()) return sqlFail(s, rc);
    }
  }
  return {};
}

void setWarnings(Session& s, IxrCommArea& ca) {
  if (s.logged()) ca.sqlwarn[1] = 'W';
  if (s.ansi()) ca.sqlwarn[2] = 'W';
  if (s.online()) ca.sqlwarn[3] = 'W';
  if (s.logged() || s.online()) ca.sqlwarn[0] = 'W';
}

}  // namespace

IxError tempTableCreate(Session& s, std::shared_ptr<TableDef> def,
                        const std::vector<std::string>& defaults,
                        const std::vector<std::string>& uniques) {
  const std::string& name = def->name;
  TableRefPtr exists;
  if (s.cat->temp(name) || !s.cat->lookupByName(name, exists))
    return ixErr(IXR_E_TABLE_EXISTS, name);
  def->schema = "temp";
  def->temp = true;
  std::string sql = "CREATE TEMP TABLE " + quoteId(name) + " (";
  for (size_t i = 0; i < def->cols.size(); ++i)
    sql += (i ? ", " : "") +
           sqliteColumn(def->cols[i], i < defaults.size() ? defaults[i] : std::string());
  sql += ")";
  if (auto e = runSql(s, sql, Op::Other)) return e;
  for (size_t k = 0; k < uniques.size(); ++k)
    if (auto e =
            runSql(s,
                   "CREATE UNIQUE INDEX temp." + quoteId("ixr_" + name + "_" + std::to_string(k)) +
                       " ON " + quoteId(name) + " (" + uniques[k] + ")",
                   Op::Other))
      return e;
  if (def->serialCol >= 0) s.tempSerial[name] = def->serialStart - 1;
  s.cat->addTemp(def);
  s.ddlVersion++;
  return {};
}

IxError execOther(Session& s, Ast& ast, Prepared::Part& part, IxrCommArea& ca) {
  Stmt* st = part.st;
  switch (st->kind) {
    case StmtKind::Begin: return txnBegin(s);
    case StmtKind::Commit: return txnCommit(s);
    case StmtKind::Rollback: return txnRollback(s);
    case StmtKind::SetIsolation: s.isolation = st->isolation; return {};
    case StmtKind::SetLockMode:
      s.lockWaitMs = st->lockWait == kLockNoWait        ? 0
                     : st->lockWait == kLockWaitDefault ? kDefaultLockWaitMs
                                                        : st->lockWait * 1000;
      return {};
    case StmtKind::SetOther:
    case StmtKind::UpdateStats: return {};
    case StmtKind::CreateDatabase: {
      if (s.inTxn) return ixErr(IXR_E_TXN_OPEN);
      if (auto e = dbCreate(s.server, st->name, st->logMode, s.user)) return e;
      if (auto e = sessionOpenDb(s, st->name)) return e;
      setWarnings(s, ca);
      return {};
    }
    case StmtKind::DropDatabase: {
      std::string db = lowerName(st->name);
      if (db == s.dbname || databaseInUse(s, s.server.name, db))
        return ixErr(IXR_E_DATABASE_IN_USE, db);
      return dbDrop(s.server, db);
    }
    case StmtKind::Database: {
      if (s.inTxn) return ixErr(IXR_E_TXN_OPEN);
      if (auto e = sessionOpenDb(s, st->name)) return e;
      setWarnings(s, ca);
      return {};
    }
    case StmtKind::CloseDatabase:
      if (s.inTxn) return ixErr(IXR_E_TXN_OPEN);
      return sessionOpenDb(s, "");
    default: break;
  }
  if (auto e = needDb(s)) return e;
  switch (st->kind) {
    case StmtKind::Lock:
    case StmtKind::Unlock: {
      TableRefPtr t;
      return s.cat->lookup(st->table, t);
    }
    case StmtKind::ExecuteProcedure: return procExecute(s, ast, part, nullptr);
    default: break;
  }
  // Schema changes wait for the database's in-doubt global transaction branches: a
  // branch's record must still fit its tables when it is committed.
  bool tempOnly = (st->kind == StmtKind::CreateTable && st->temp) ||
                  (st->kind == StmtKind::DropTable && s.cat->temp(st->table.name));
  if (!tempOnly)
    if (auto e = branchSchemaGuard(s)) return e;
  IxError e = inStatement(s, Op::Other, [&]() -> IxError {
    switch (st->kind) {
      case StmtKind::CreateTable: return createTable(s, st);
      case StmtKind::DropTable: return dropTable(s, st, false);
      case StmtKind::DropView: return dropTable(s, st, true);
      case StmtKind::AlterTable: return alterTable(s, st);
      case StmtKind::RenameTable: return renameTable(s, st);
      case StmtKind::RenameColumn: return renameColumn(s, st);
      case StmtKind::CreateIndex: return createIndex(s, st);
      case StmtKind::DropIndex: return dropIndex(s, st);
      case StmtKind::CreateView: return createView(s, st, ast);
      case StmtKind::CreateSynonym: return createSynonym(s, st);
      case StmtKind::DropSynonym: return dropSynonym(s, st);
      case StmtKind::CreateProcedure: return createProc(s, st, ast);
      case StmtKind::DropProcedure: return dropProc(s, st);
      case StmtKind::Grant:
      case StmtKind::Revoke: return grantRevoke(s, st);
      default: return ixErr(IXR_E_SYNTAX);
    }
  });
  s.ddlVersion++;
  s.cat->invalidate();
  return e;
}

}  // namespace ixr
