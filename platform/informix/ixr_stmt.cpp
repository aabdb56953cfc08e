// ixr_stmt.cpp -- statements and cursors of the embedded runtime: PREPARE (parse and
// translate, errors raised here), DESCRIBE, EXECUTE, DECLARE/OPEN/FETCH/CLOSE, FREE and
// EXECUTE IMMEDIATE. FETCH streams from the cursor's SQLite statement straight into the
// caller's host variables; the common conversions need no heap memory per row.
// Threading: runs on the thread the session is current on.
#include "platform/informix/ixr_call.h"

#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_proc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace ixr {

bool delimIdent() {
  if (const Session* s = currentSession(); s != nullptr && s->delimIdent) return true;
  const char* d = std::getenv("DELIMIDENT");
  return d && (*d == 'y' || *d == 'Y');
}

namespace {

bool isDml(StmtKind k) {
  return k == StmtKind::Select || k == StmtKind::Insert || k == StmtKind::Update ||
         k == StmtKind::Delete;
}

bool isDdl(StmtKind k) {
  switch (k) {
    case StmtKind::CreateTable:
    case StmtKind::DropTable:
    case StmtKind::AlterTable:
    case StmtKind::RenameTable:
    case StmtKind::RenameColumn:
    case StmtKind::CreateIndex:
    case StmtKind::DropIndex:
    case StmtKind::CreateView:
    case StmtKind::DropView:
    case StmtKind::CreateSynonym:
    case StmtKind::DropSynonym:
    case StmtKind::CreateDatabase:
    case StmtKind::DropDatabase:
    case StmtKind::Database:
    case StmtKind::CloseDatabase: return true;
    default: return false;
  }
}

IxError parseInto(Prepared& p, const char* text) {
  p.ast = std::make_unique<Ast>();
  if (auto e = parseSql(text ? text : "", delimIdent(), *p.ast)) return e;
  if (p.ast->stmts.empty()) return ixErr(IXR_E_SYNTAX);
  // A SELECT that returns rows has a cursor of its own and cannot be one
  // statement of several: the text is refused where its second one starts.
  if (p.ast->stmts.size() > 1) {
    for (const Stmt* st : p.ast->stmts) {
      if (st->kind != StmtKind::Select || (st->select != nullptr && !st->select->intoTemp.empty()))
        continue;
      std::string_view rest(text);
      rest = rest.substr(std::min(rest.size(), p.ast->stmts[1]->pos));
      return ixErr(IXR_E_SYNTAX, std::string(rest.substr(0, rest.find_first_of(" \t\r\n"))));
    }
  }
  p.parts.clear();
  for (Stmt* st : p.ast->stmts) {
    Prepared::Part part;
    part.st = st;
    part.dml = isDml(st->kind);
    p.parts.push_back(std::move(part));
  }
  return {};
}

Prepared* statementById(Session& s, int32_t id) {
  auto it = s.stmtIds.find(id);
  return it == s.stmtIds.end() ? nullptr : it->second.get();
}

Cursor* cursorById(Session& s, int32_t id) {
  if (s.lastCursor && s.lastCursor->id == id) return s.lastCursor;
  auto it = s.cursorIds.find(id);
  if (it == s.cursorIds.end()) return nullptr;
  s.lastCursor = it->second;
  return it->second;
}

// Finds which unique index a duplicate broke, for the constraint's own error.
IxError refineUnique(Session& s, const Translation& tr, IxError e) {
  if (e.code != IXR_E_DUPLICATE || !tr.target || tr.target->temp) return e;
  // "t.a, t.b" -> column numbers
  std::vector<int> cols;
  std::string list = e.name;
  size_t i = 0;
  while (i < list.size()) {
    size_t comma = list.find(", ", i);
    std::string item = list.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
    size_t dot = item.rfind('.');
    int c = tr.target->find(dot == std::string::npos ? item : item.substr(dot + 1));
    if (c >= 0) cols.push_back(tr.target->cols[static_cast<size_t>(c)].colno);
    if (comma == std::string::npos) break;
    i = comma + 2;
  }
  Sql q(
      s.db,
      "SELECT idxname, part1, part2, part3, part4, part5, part6, part7, part8, part9, part10, "
      "part11, "
      "part12, part13, part14, part15, part16 FROM sysindexes WHERE tabid = ?1 AND idxtype = 'U'");
  q.bind(1, tr.target->tabid);
  while (q.step() == SQLITE_ROW) {
    std::vector<int> parts;
    for (int k = 1; k <= 16; ++k)
      if (q.i64(k)) parts.push_back(static_cast<int>(q.i64(k) < 0 ? -q.i64(k) : q.i64(k)));
    if (parts != cols) continue;
    std::string idx = q.str(0);
    if (!idx.empty() && idx[0] == ' ') {
      Sql c(s.db, "SELECT constrname FROM sysconstraints WHERE idxname = ?1 AND tabid = ?2");
      c.bind(1, idx).bind(2, tr.target->tabid);
      if (c.step() == SQLITE_ROW) return ixErr(IXR_E_UNIQUE, c.str(0), IXR_ISAM_DUPLICATE);
    }
    e.name = idx;
    return e;
  }
  return e;
}

// Names the foreign key a failed write broke, for the insert of -691 and -692
// (SQLite reports no name), and tells the two apart for an UPDATE, which can
// break a key of its table either way. One candidate names itself; among
// several, the statement runs again with the keys deferred inside a savepoint
// that is then rolled back, and SQLite's key check tells which child table
// lost which parent. Without an answer the error stays as it was.
IxError refineForeignKey(Session& s, const Translation& tr, sqlite3_stmt* vm, IxError e) {
  if ((e.code != IXR_E_REF_MISSING && e.code != IXR_E_REF_IN_USE) || !e.name.empty() ||
      !tr.target || tr.target->temp)
    return e;
  struct Candidate {
    std::string name, child, parent;
    int32_t code;
  };
  std::vector<Candidate> found;
  {
    // Keys of the table itself (its row lacks a parent) and keys of other tables
    // pointing at it (its row is still a parent); a cascading key never refuses
    // a DELETE.
    Sql q(s.db,
          "SELECT c.constrname, ct.tabname, pt.tabname, c.tabid = ?1 FROM sysconstraints c "
          "JOIN sysreferences r ON r.constrid = c.constrid "
          "JOIN systables ct ON ct.tabid = c.tabid JOIN systables pt ON pt.tabid = r.ptabid "
          "WHERE c.constrtype = 'R' AND ((?2 AND c.tabid = ?1) OR "
          "(?3 AND r.ptabid = ?1 AND (r.delrule <> 'C' OR NOT ?4)))");
    q.bind(1, tr.target->tabid)
        .bind(2, int64_t{tr.op != Op::Delete})
        .bind(3, int64_t{tr.op != Op::Insert})
        .bind(4, int64_t{tr.op == Op::Delete});
    while (q.step() == SQLITE_ROW)
      found.push_back(
          {q.str(0), q.str(1), q.str(2), q.i64(3) != 0 ? IXR_E_REF_MISSING : IXR_E_REF_IN_USE});
  }
  const Candidate* hit = found.size() == 1 ? &found[0] : nullptr;
  if (found.size() > 1 && execSql(s.db, "SAVEPOINT ixr_fk_probe") == SQLITE_OK) {
    execSql(s.db, "PRAGMA defer_foreign_keys = ON");
    sqlite3_reset(vm);
    int rc;
    while ((rc = sqlite3_step(vm)) == SQLITE_ROW) {
    }
    sqlite3_reset(vm);
    for (size_t i = 0; rc == SQLITE_DONE && hit == nullptr && i < found.size(); ++i) {
      Sql check(s.db, "PRAGMA foreign_key_check(" + quoteId(found[i].child) + ")");
      while (hit == nullptr && check.step() == SQLITE_ROW)
        if (check.str(2) == found[i].parent) hit = &found[i];
    }
    execSql(s.db, "ROLLBACK TO ixr_fk_probe");
    execSql(s.db, "RELEASE ixr_fk_probe");
    execSql(s.db, "PRAGMA defer_foreign_keys = OFF");
  }
  if (hit != nullptr) {
    e.code = hit->code;
    e.name = hit->name;
  }
  return e;
}

// With `borrow`, host text may be bound where it lies (bindTextAsIs): the caller clears
// vm's bindings before the host variables can go.
IxError bindInput(Session& s, int markers, Prepared::Part& part, sqlite3_stmt* vm,
                  const IxrSqlda* input, const VarBind* vars = nullptr, bool borrow = false) {
  int count = sqlite3_bind_parameter_count(vm);
  if (markers > 0 && (!input || input->sqld < markers)) {
    // Only the markers this statement uses need a host variable.
    int needed = std::min(count, markers);
    if (needed > 0 && (!input || input->sqld < needed)) return ixErr(IXR_E_HOSTVAR_COUNT);
  }
  for (int k = 0; k < markers && k < count; ++k) {
    const IxrSqlVar& var = input->sqlvar[k];
    const MarkerTarget& m = part.tr.markers[static_cast<size_t>(k)];
    IxType room;
    const IxType* to = m.known ? markerBindType(m.type, m.store, room) : nullptr;
    if (bindHostAsIs(vm, k + 1, var, to, borrow)) continue;
    Val v;
    IxType ht;
    if (auto e = hostToVal(var, v, ht)) return e;
    if (to && bindTextAsIs(vm, k + 1, v, *to, borrow)) continue;
    if (m.known) {
      Val cv;
      if (auto e = markerValue(v, ht, m.type, m.store, cv)) return e;
      bindVal(vm, k + 1, cv);
    } else {
      bindVal(vm, k + 1, v);
    }
  }
  if (part.tr.rowidParam) {
    auto it = s.cursors.find(part.tr.currentOf);
    if (it == s.cursors.end()) return ixErr(IXR_E_NOT_AVAILABLE, part.tr.currentOf);
    Cursor& c = *it->second;
    if (!c.open || !c.hasRow || !c.stmt || !c.stmt->parts[0].tr.hasRowid)
      return ixErr(IXR_E_NO_CURRENT_ROW, part.tr.currentOf);
    sqlite3_bind_int64(vm, part.tr.rowidParam, c.rowid);
  }
  if (vars)
    if (auto e = (*vars)(vm)) return e;
  return {};
}

IxError stepAll(Session& s, sqlite3_stmt* vm, Op op, int64_t& rows) {
  rows = 0;
  for (;;) {
    s.lockTimedOut = false;
    int rc = sqlite3_step(vm);
    if (rc == SQLITE_ROW) {
      ++rows;
      continue;
    }
    if (rc == SQLITE_DONE) return {};
    IxError e = fromSqlite(s.db, rc, op, s.lockTimedOut);
    sqlite3_reset(vm);
    return e;
  }
}

IxError makeTempTable(Session& s, const Translation& tr) {
  auto def = std::make_shared<TableDef>();
  def->name = tr.intoTemp;
  for (size_t k = 0; k < tr.cols.size(); ++k) {
    ColumnDef c;
    c.name = tr.cols[k].name;
    if (c.name.empty() || c.name[0] == '(') c.name = "expr" + std::to_string(k + 1);
    c.type = tr.cols[k].type;
    if (baseType(c.type.code) == IXR_TYPE_SERIAL) c.type = tInteger();
    c.type.notnull = false;
    c.colno = static_cast<int>(k + 1);
    def->cols.push_back(c);
  }
  return tempTableCreate(s, def, {}, {});
}

}  // namespace

TransCtx transCtx(Session& s) {
  TransCtx c;
  c.catalog = s.cat.get();
  c.user = s.user;
  c.server = s.server.name;
  c.dbname = s.dbname;
  c.ansi = s.ansi();
  return c;
}

int statementType(const Stmt& st) {
  switch (st.kind) {
    case StmtKind::Select:
      return st.select && !st.select->intoTemp.empty() ? IXR_STMT_SELECT_INTO : IXR_STMT_SELECT;
    case StmtKind::Insert: return IXR_STMT_INSERT;
    case StmtKind::Update: return st.currentOf.empty() ? IXR_STMT_UPDATE : IXR_STMT_UPDATE_CURRENT;
    case StmtKind::Delete: return st.currentOf.empty() ? IXR_STMT_DELETE : IXR_STMT_DELETE_CURRENT;
    case StmtKind::CreateTable: return st.temp ? IXR_STMT_CREATE_TEMP_TABLE : IXR_STMT_CREATE_TABLE;
    case StmtKind::DropTable: return IXR_STMT_DROP_TABLE;
    case StmtKind::AlterTable: return IXR_STMT_ALTER_TABLE;
    case StmtKind::RenameTable: return IXR_STMT_RENAME_TABLE;
    case StmtKind::RenameColumn: return IXR_STMT_RENAME_COLUMN;
    case StmtKind::CreateIndex: return IXR_STMT_CREATE_INDEX;
    case StmtKind::DropIndex: return IXR_STMT_DROP_INDEX;
    case StmtKind::CreateView: return IXR_STMT_CREATE_VIEW;
    case StmtKind::DropView: return IXR_STMT_DROP_VIEW;
    case StmtKind::CreateSynonym: return IXR_STMT_CREATE_SYNONYM;
    case StmtKind::DropSynonym: return IXR_STMT_DROP_SYNONYM;
    case StmtKind::CreateProcedure: return IXR_STMT_CREATE_PROCEDURE;
    case StmtKind::DropProcedure: return IXR_STMT_DROP_PROCEDURE;
    case StmtKind::ExecuteProcedure: return IXR_STMT_EXECUTE_PROCEDURE;
    case StmtKind::Grant: return IXR_STMT_GRANT;
    case StmtKind::Revoke: return IXR_STMT_REVOKE;
    case StmtKind::CreateDatabase: return IXR_STMT_CREATE_DATABASE;
    case StmtKind::DropDatabase: return IXR_STMT_DROP_DATABASE;
    case StmtKind::Database: return IXR_STMT_DATABASE;
    case StmtKind::CloseDatabase: return IXR_STMT_CLOSE_DATABASE;
    case StmtKind::Begin: return IXR_STMT_BEGIN_WORK;
    case StmtKind::Commit: return IXR_STMT_COMMIT_WORK;
    case StmtKind::Rollback: return IXR_STMT_ROLLBACK_WORK;
    case StmtKind::SetIsolation: return IXR_STMT_SET_ISOLATION;
    case StmtKind::SetLockMode: return IXR_STMT_SET_LOCK_MODE;
    case StmtKind::UpdateStats: return IXR_STMT_UPDATE_STATISTICS;
    case StmtKind::Lock: return IXR_STMT_LOCK;
    case StmtKind::Unlock: return IXR_STMT_UNLOCK;
    case StmtKind::SetOther: return IXR_STMT_SET_OTHER;
  }
  return IXR_STMT_SET_OTHER;
}

namespace {

// The result columns DESCRIBE reports for the statement.
std::vector<ResultCol> describedCols(const Prepared& p) {
  if (p.parts.empty()) return {};
  const auto& part = p.parts[0];
  if ((part.dml && part.ready && (p.type == IXR_STMT_SELECT || p.type == IXR_STMT_INSERT)) ||
      p.type == IXR_STMT_EXECUTE_PROCEDURE)
    return part.tr.cols;
  return {};
}

bool sameCols(const std::vector<ResultCol>& a, const std::vector<ResultCol>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k].name != b[k].name || !(a[k].type == b[k].type) ||
        a[k].type.notnull != b[k].type.notnull)
      return false;
  return true;
}

}  // namespace

IxError prepareParts(Session& s, Prepared& p, bool atPrepare) {
  // A caller that described the statement learns at its next OPEN that the columns changed.
  std::vector<ResultCol> before;
  if (!atPrepare) before = describedCols(p);
  struct Reshape {
    Prepared& p;
    const std::vector<ResultCol>& before;
    bool check;
    ~Reshape() {
      if (check && !sameCols(before, describedCols(p))) p.reshaped = true;
    }
  } reshape{p, before, !atPrepare};
  if (!atPrepare) {
    // Re-translation after a schema change starts from a fresh parse.
    std::string text = p.ast->text;
    for (auto& part : p.parts) sqlite3_finalize(part.vm);
    if (auto e = parseInto(p, text.c_str())) return e;
  }
  // The version checks, the catalog reads and the compilations share one read transaction.
  ReadHold hold(s);
  if (s.db)
    s.cat->keepWhile(hold.version(), dataVersion(s));
  else
    s.cat->invalidate();
  TransCtx ctx = transCtx(s);
  ctx.hosts = &p.hosts;
  ++p.generation;
  bool afterDdl = false;
  for (auto& part : p.parts) {
    if (!part.dml) {
      part.ready = true;
      if (part.st->kind == StmtKind::ExecuteProcedure && s.db && !s.dbname.empty())
        if (auto e = procPrepare(s, part)) return e;
      afterDdl = afterDdl || isDdl(part.st->kind);
      continue;
    }
    sqlite3_finalize(part.vm);
    part.vm = nullptr;
    part.tr = Translation{};
    part.ready = false;
    IxError e = translate(ctx, *p.ast, part.st, part.tr);
    if (!e) {
      int rc = sqlite3_prepare_v3(s.db, part.tr.sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                  &part.vm, nullptr);
      if (rc) {
        e = fromSqlite(s.db, rc, Op::Other, false);
        if (e.code == IXR_E_UNSUPPORTED) e.name += " [" + part.tr.sql + "]";
      }
    }
    if (e) {
      if (afterDdl) continue;  // waits for the DDL before it to run
      return e;
    }
    part.ready = true;
  }
  p.type = statementType(*p.parts[0].st);
  p.version = hold.version();
  // Which markers take their host's type depends on where they stand, not on the
  // types: kept from a translation that succeeded for one that fails.
  p.hostTyped.assign(static_cast<size_t>(p.ast->markers), false);
  for (const auto& part : p.parts) {
    if (!part.dml || !part.ready) continue;
    for (size_t k = 0; k < part.tr.markers.size() && k < p.hostTyped.size(); ++k)
      if (part.tr.markers[k].hostTyped) p.hostTyped[k] = true;
  }
  return {};
}

// Translates the statement again when a marker that takes its host variable's type
// meets a host variable of another type than its translation was made for.
IxError retypeForHosts(Session& s, Prepared& p, const IxrSqlda* input) {
  std::vector<IxType> sig = hostSignature(p.hostTyped, input);
  if (sig.size() == p.hosts.size() && std::equal(sig.begin(), sig.end(), p.hosts.begin()))
    return {};
  p.hosts = std::move(sig);
  return prepareParts(s, p, false);
}

IxError execDml(Session& s, int markers, Prepared::Part& part, const IxrSqlda* input,
                IxrCommArea& ca, const VarBind* vars) {
  Translation& tr = part.tr;
  if (!part.vm) {
    // A cursor took the compilation PREPARE made.
    if (int rc = sqlite3_prepare_v3(s.db, tr.sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &part.vm,
                                    nullptr))
      return fromSqlite(s.db, rc, Op::Other, false);
  }
  sqlite3_stmt* vm = part.vm;
  int64_t rows = 0;
  // The statement runs to its end inside this call: host text is bound where it lies and
  // the bindings are cleared again before the caller's variables can go.
  struct Unbind {
    sqlite3_stmt* vm;
    ~Unbind() {
      if (vm) sqlite3_clear_bindings(vm);
    }
  } unbind{nullptr};
  if (tr.intoTemp.empty()) {
    unbind.vm = vm;
    if (auto b = bindInput(s, markers, part, vm, input, vars, true)) return b;
  }
  if (tr.op == Op::Read) {
    if (auto e = txnImplicit(s, !tr.intoTemp.empty())) return e;
    if (!tr.intoTemp.empty()) {
      bool created = false;
      IxError e = inStatement(s, Op::Insert, [&]() -> IxError {
        if (auto e2 = makeTempTable(s, tr)) return e2;
        created = true;
        // The rows go into the new table through INSERT ... SELECT.
        std::string sql = "INSERT INTO temp." + quoteId(tr.intoTemp) + " " + tr.sql;
        sqlite3_stmt* ins = nullptr;
        int rc = sqlite3_prepare_v2(s.db, sql.c_str(), -1, &ins, nullptr);
        if (rc) return fromSqlite(s.db, rc, Op::Insert, false);
        IxError e3 = bindInput(s, markers, part, ins, input, vars);
        if (!e3) e3 = stepAll(s, ins, Op::Insert, rows);
        rows = sqlite3_changes64(s.db);
        sqlite3_finalize(ins);
        return e3;
      });
      if (e) {
        // The statement's rollback took the new table away again.
        if (created) s.cat->dropTemp(tr.intoTemp);
        return e;
      }
      ca.sqlerrd[2] = static_cast<int32_t>(rows);
      return {};
    }
    if (auto e = stepAll(s, vm, Op::Read, rows)) return e;
    sqlite3_reset(vm);
    ca.sqlerrd[2] = static_cast<int32_t>(rows);
    return {};
  }
  IxError e = inStatement(
      s, tr.op,
      [&]() -> IxError {
        bool temp = tr.target && tr.target->temp;
        if (tr.serial) {
          s.fn.serialChanged = false;
          s.fn.serialAssigned = 0;
          if (temp) {
            s.fn.serialLast = s.tempSerial[tr.target->name];
          } else {
            Sql q(s.db, "SELECT last FROM ixr_serial WHERE tabid = ?1");
            q.bind(1, tr.target->tabid);
            s.fn.serialLast = q.step() == SQLITE_ROW ? q.i64(0) : 0;
          }
        }
        if (auto e2 = stepAll(s, vm, tr.op, rows))
          return refineForeignKey(s, tr, vm, refineUnique(s, tr, e2));
        sqlite3_reset(vm);
        if (tr.serial && temp) s.tempSerial[tr.target->name] = s.fn.serialLast;
        if (tr.serial && s.fn.serialChanged && !temp) {
          Sql up(s.db,
                 "INSERT INTO ixr_serial (tabid, last) VALUES (?1, ?2) "
                 "ON CONFLICT (tabid) DO UPDATE SET last = excluded.last");
          up.bind(1, tr.target->tabid).bind(2, s.fn.serialLast);
          if (int rc = up.run()) return fromSqlite(s.db, rc, tr.op, false);
        }
        return {};
      },
      !tr.serial);  // a SERIAL counter is a second statement that must go with the row
  if (e) return e;
  // The catalog's own tables (tabid below 100) changed by hand: what was read from them
  // is kept no longer.
  if (tr.target && !tr.target->temp && tr.target->tabid < 100) s.cat->invalidate();
  int64_t changes = sqlite3_changes64(s.db);
  ca.sqlerrd[2] = static_cast<int32_t>(changes);
  s.fn.lastRows = changes;
  if (tr.op == Op::Insert) {
    ca.sqlerrd[5] = static_cast<int32_t>(sqlite3_last_insert_rowid(s.db));
    if (tr.serial) {
      ca.sqlerrd[1] = static_cast<int32_t>(s.fn.serialAssigned);
      s.fn.lastSerial = s.fn.serialAssigned;
    }
  }
  // ANSI databases report "no rows found" for a change that touched nothing.
  if (changes == 0 && s.ansi()) ca.sqlcode = IXR_NOTFOUND;
  return {};
}

}  // namespace ixr

using namespace ixr;

namespace {

// checked: the caller knows the statement's tables unchanged since its last EXECUTE.
IxError runParts(Session& s, Prepared& p, const IxrSqlda* input, IxrCommArea& ca,
                 bool checked = false);

// A statement that writes begins its SQL transaction before the schema check, which then
// reads inside it instead of opening a read transaction of its own: an Informix
// transaction's SQL one starts here rather than in the statement, and one of the
// statement's own is ended by the statement's inStatement.
// One statement that writes: executeParts begins its transaction before the schema check.
bool singleWrite(const Session& s, const Prepared& p) {
  const Prepared::Part& first = p.parts[0];
  return s.db && p.parts.size() == 1 && first.dml && first.ready && first.tr.op != Op::Read;
}

IxError executeParts(Session& s, const std::shared_ptr<Prepared>& keep,
                     const IxrSqlda* input, IxrCommArea& ca, bool checked = false) {
  Prepared& p = *keep;
  if (!singleWrite(s, p)) return runParts(s, p, input, ca);
  const Prepared::Part& first = p.parts[0];
  if (s.inTxn || s.ansi()) {
    if (auto e = txnImplicit(s, true, first.tr.op)) return e;
    return runParts(s, p, input, ca, checked);
  }
  if (!sqlite3_get_autocommit(s.db)) return runParts(s, p, input, ca);
  if (auto e = beginWrite(s, first.tr.op)) return e;
  s.stmtTxn = true;
  IxError e = runParts(s, p, input, ca);
  if (s.stmtTxn) {
    // It failed before its statement ran (a changed schema, a value that cannot bind).
    s.stmtTxn = false;
    runCtl(s, Ctl::Rollback);
  }
  return e;
}

IxError runParts(Session& s, Prepared& p, const IxrSqlda* input, IxrCommArea& ca,
                 bool checked) {
  if (s.db && !checked && p.version != schemaVersion(s))
    if (auto e = prepareParts(s, p, false)) return e;
  if (s.db)
    if (auto e = retypeForHosts(s, p, input)) return e;
  for (size_t i = 0; i < p.parts.size(); ++i) {
    auto& part = p.parts[i];
    if (part.dml && !part.ready) {
      // Parts after DDL are translated once the DDL before them has run.
      if (auto e = prepareParts(s, p, false)) return e;
    }
    ca.sqlcode = 0;
    IxError e;
    sqlite3* before = s.db;
    if (part.dml) {
      e = execDml(s, p.ast->markers, part, input, ca);
    } else if (part.st->kind == StmtKind::ExecuteProcedure) {
      e = procExecute(s, *p.ast, part, input);
    } else {
      e = execOther(s, *p.ast, part, ca);
    }
    if (e) return e;
    // DATABASE and friends switch the connection: the rest runs against the new one.
    if (s.db != before && i + 1 < p.parts.size())
      if (auto r = prepareParts(s, p, false)) return r;
  }
  return {};
}

IxrSqlda* makeArea(const std::vector<ResultCol>& cols) {
  size_t names = 0;
  for (const auto& c : cols) names += c.name.size() + 1;
  size_t n = cols.size();
  size_t bytes = sizeof(IxrSqlda) + n * sizeof(IxrSqlVar) + names;
  auto* block = static_cast<char*>(std::calloc(1, bytes));
  if (!block) return nullptr;
  auto* a = reinterpret_cast<IxrSqlda*>(block);
  a->sqld = static_cast<int16_t>(n);
  a->sqlvar = reinterpret_cast<IxrSqlVar*>(block + sizeof(IxrSqlda));
  char* np = block + sizeof(IxrSqlda) + n * sizeof(IxrSqlVar);
  for (size_t k = 0; k < n; ++k) {
    IxrSqlVar& v = a->sqlvar[k];
    int code = baseType(cols[k].type.code);
    v.sqltype = static_cast<int16_t>(code | (cols[k].type.notnull ? IXR_TYPE_NOTNULL : 0));
    v.sqllen = cols[k].type.len;
    v.sqlitype = IXR_HOST_SHORT;
    v.sqlilen = 2;
    std::memcpy(np, cols[k].name.c_str(), cols[k].name.size() + 1);
    v.sqlname = np;
    np += cols[k].name.size() + 1;
  }
  return a;
}

// Column j of the current row into host variable v; the usual pairs without allocation.
IxError fetchCol(sqlite3_stmt* vm, int j, const ColPlan& cp, IxrSqlVar& v) {
  char* d = v.sqldata;
  if (v.sqltype == IXR_HOST_STRING && cp.text && d && v.sqllen > 0) {
    // Columns kept as text: a NULL has no text, so no type test is needed.
    const char* p = reinterpret_cast<const char*>(sqlite3_column_text(vm, j));
    if (p) {
      size_t n = static_cast<size_t>(sqlite3_column_bytes(vm, j));
      if (cp.padded)
        while (n > 0 && p[n - 1] == ' ') --n;
      size_t cap = static_cast<size_t>(v.sqllen) - 1;
      size_t c = n < cap ? n : cap;
      std::memcpy(d, p, c);
      d[c] = 0;
      if (v.sqlind) *v.sqlind = static_cast<int16_t>(c < n ? (n > 32767 ? 32767 : n) : 0);
      return {};
    }
  }
  int ct = sqlite3_column_type(vm, j);
  if (ct != SQLITE_NULL && d) {
    switch (v.sqltype) {
      case IXR_HOST_INT:
        if (ct == SQLITE_INTEGER && (cp.number || cp.date)) {
          int64_t x = sqlite3_column_int64(vm, j);
          if (x < INT32_MIN || x > INT32_MAX) return ixErr(IXR_E_INT_OVERFLOW);
          *reinterpret_cast<int32_t*>(d) = static_cast<int32_t>(x);
          if (v.sqlind) *v.sqlind = 0;
          return {};
        }
        break;
      case IXR_HOST_DOUBLE:
        if ((ct == SQLITE_FLOAT || ct == SQLITE_INTEGER) &&
            (cp.store == Store::Real || cp.number)) {
          *reinterpret_cast<double*>(d) = sqlite3_column_double(vm, j);
          if (v.sqlind) *v.sqlind = 0;
          return {};
        }
        break;
      case IXR_HOST_DATE:
        if (ct == SQLITE_INTEGER && cp.date) {
          *reinterpret_cast<int32_t*>(d) = sqlite3_column_int(vm, j);
          if (v.sqlind) *v.sqlind = 0;
          return {};
        }
        break;
      default: break;
    }
  }
  return valToHost(fromColumn(vm, j), cp.type, v);
}

void finishCursor(Cursor& c) {
  if (c.vm) sqlite3_reset(c.vm);
  c.proc.reset();
  c.open = c.pending = c.hasRow = false;
  c.atEnd = false;
}

// A cursor over a procedure with RETURNING: the values of its RETURN into the host
// variables of output.
IxError fetchProc(Cursor& cur, IxrSqlda* output) {
  const std::vector<Val>& row = procRowValues(*cur.proc);
  const std::vector<IxType>& types = procRowTypes(*cur.proc);
  if (!output) return {};
  size_t n = std::min(static_cast<size_t>(std::max<int16_t>(output->sqld, 0)), row.size());
  for (size_t j = 0; j < n; ++j)
    if (auto e = valToHost(row[j], types[j], output->sqlvar[j])) return e;
  return {};
}


enum class FetchStep { Row, End, Error };

// One FETCH NEXT: Row with the values in output, End at the end of the result, or
// Error with e set. A failed step finishes the cursor; a value that cannot go to its
// host variable leaves it where it is.
FetchStep nextRow(Session& s, Cursor& cur, IxrSqlda* output, IxError& e) {
  if (cur.atEnd) {
    cur.hasRow = false;
    return FetchStep::End;
  }
  if (cur.proc) {
    bool row = cur.pending;
    cur.pending = false;
    if (!row) {
      if (IxError bad = procNext(*cur.proc, row)) {
        e = std::move(bad);
        finishCursor(cur);
        return FetchStep::Error;
      }
    }
    if (!row) {
      cur.atEnd = true;
      return FetchStep::End;
    }
    if (IxError bad = fetchProc(cur, output)) {
      e = std::move(bad);
      return FetchStep::Error;
    }
    cur.rows++;
    return FetchStep::Row;
  }
  int rc;
  if (cur.pending) {
    cur.pending = false;
    rc = SQLITE_ROW;
  } else {
    s.lockTimedOut = false;
    rc = sqlite3_step(cur.vm);
  }
  if (rc != SQLITE_ROW) {
    cur.hasRow = false;
    if (rc == SQLITE_DONE) {
      cur.atEnd = true;
      return FetchStep::End;
    }
    e = fromSqlite(s.db, rc, Op::Read, s.lockTimedOut);
    finishCursor(cur);
    return FetchStep::Error;
  }
  cur.hasRow = true;
  if (cur.hasRowid) cur.rowid = sqlite3_column_int64(cur.vm, cur.visible);
  if (output) {
    int n = std::min<int>(output->sqld, cur.visible);
    const ColPlan* plan = cur.plan.data();
    for (int j = 0; j < n; ++j)
      if (IxError bad = fetchCol(cur.vm, j, plan[j], output->sqlvar[j])) {
        e = std::move(bad);
        return FetchStep::Error;
      }
  }
  cur.rows++;
  return FetchStep::Row;
}

}  // namespace

extern "C" {

int32_t ixr_name_id(const char* name, int kind) {
  Call c("NAME", name);
  if (!c.ok()) return 0;
  Session& s = *c.s;
  std::string n = name ? name : "";
  if (kind == IXR_ID_STATEMENT) {
    auto it = s.stmts.find(n);
    if (it == s.stmts.end()) {
      c.end(ixErr(IXR_E_NOT_PREPARED, n));
      return 0;
    }
    c.end({});
    return it->second->id;
  }
  auto it = s.cursors.find(n);
  if (it == s.cursors.end()) {
    if (kind != IXR_ID_NEW_CURSOR) {
      c.end(ixErr(IXR_E_NOT_AVAILABLE, n));
      return 0;
    }
    auto cur = std::make_unique<Cursor>();
    cur->name = n;
    cur->id = s.nextId++;
    s.cursorIds[cur->id] = cur.get();
    it = s.cursors.emplace(n, std::move(cur)).first;
  }
  c.end({});
  return it->second->id;
}

int ixr_prepare(const char* name, const char* text) {
  Call c("PREPARE", text);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  auto p = std::make_shared<Prepared>();
  p->name = name ? name : "";
  if (auto e = parseInto(*p, text)) return c.end(e);
  if (auto e = prepareParts(s, *p, true)) return c.end(e);
  auto old = s.stmts.find(p->name);
  if (old != s.stmts.end()) {
    p->id = old->second->id;
    old->second = p;
  } else {
    p->id = s.nextId++;
    s.stmts[p->name] = p;
  }
  s.stmtIds[p->id] = p;
  return c.end({});
}

int ixr_describe(int32_t statement, IxrSqlda** out) {
  Call c("DESCRIBE", nullptr);
  if (out) *out = nullptr;
  if (!c.ok()) return c.code();
  Prepared* p = statementById(*c.s, statement);
  if (!p) return c.end(ixErr(IXR_E_NOT_PREPARED));
  p->reshaped = false;
  IxrSqlda* a = makeArea(describedCols(*p));
  if (!a) return c.end(ixErr(IXR_E_NO_MEMORY));
  if (out)
    *out = a;
  else
    ixr_free_sqlda(a);
  c.ca().sqlcode = p->type;
  return c.endKeep();
}

void ixr_free_sqlda(IxrSqlda* area) { std::free(area); }

int ixr_execute(int32_t statement, const IxrSqlda* input) {
  Call c("EXECUTE", nullptr);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  auto it = s.stmtIds.find(statement);
  if (it == s.stmtIds.end()) return c.end(ixErr(IXR_E_NOT_PREPARED));
  std::shared_ptr<Prepared> keep = it->second;
  IxError e = executeParts(s, keep, input, c.ca());
  if (e) return c.end(e);
  return c.endKeep();
}

int ixr_execute_sets(int32_t statement, int32_t sets, IxrSetInput next, IxrSetDone done,
                     void* ctx) {
  Call c("EXECUTE", nullptr);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  auto it = s.stmtIds.find(statement);
  if (it == s.stmtIds.end()) return c.end(ixErr(IXR_E_NOT_PREPARED));
  std::shared_ptr<Prepared> keep = it->second;
  IxrCommArea& ca = c.ca();
  // executeParts checks a writing statement's schema inside the session's transaction.
  const auto checksInTxn = [&] { return singleWrite(s, *keep) && (s.inTxn || s.ansi()); };
  bool before = false;  // the set before was checked inside the open transaction
  for (int32_t k = 0; k < sets; ++k) {
    const IxrSqlda* input = nullptr;
    if (next(ctx, k, &input) != 0) break;
    // Each set reports as an EXECUTE of its own.
    commAreaClear(ca);
    // Between two sets only the caller's callbacks ran. When the set before was checked
    // inside the session's transaction and that transaction is still open, the database
    // was held for it all along (no other connection can change a table before it
    // ends): what the set before was checked against still holds.
    const bool inTxn = checksInTxn();
    const bool checked = before && inTxn && s.sqlTxn && !sqlite3_get_autocommit(s.db);
    if (IxError e = executeParts(s, keep, input, ca, checked)) return c.end(e);
    before = inTxn;
    done(ctx, k);
  }
  return c.endKeep();
}

int ixr_declare(int32_t cursor, const char* cursor_name, int32_t statement) {
  Call c("DECLARE", cursor_name);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  Cursor* cur = cursorById(s, cursor);
  if (!cur && cursor_name) {
    auto it = s.cursors.find(cursor_name);
    if (it != s.cursors.end()) cur = it->second.get();
  }
  if (!cur) {
    if (!cursor_name) return c.end(ixErr(IXR_E_NOT_AVAILABLE));
    auto nc = std::make_unique<Cursor>();
    nc->name = cursor_name;
    nc->id = s.nextId++;
    cur = nc.get();
    s.cursorIds[nc->id] = cur;
    s.cursors[nc->name] = std::move(nc);
  }
  auto it = s.stmtIds.find(statement);
  if (it == s.stmtIds.end()) return c.end(ixErr(IXR_E_NOT_PREPARED));
  // A procedure's cursor yields what it returns; one without RETURNING yields nothing.
  const Prepared& target = *it->second;
  bool procRows = target.type == IXR_STMT_EXECUTE_PROCEDURE && !target.parts[0].tr.cols.empty();
  if ((target.type != IXR_STMT_SELECT && !procRows) || target.parts.size() != 1)
    return c.end(ixErr(IXR_E_NOT_PREPARED, it->second->name));
  finishCursor(*cur);
  sqlite3_finalize(cur->vm);
  cur->vm = nullptr;
  cur->stmt = it->second;
  cur->visible = static_cast<int>(it->second->parts[0].tr.cols.size());
  return c.end({});
}

namespace {

void warnReshaped(const Prepared& p, IxrCommArea& ca) {
  if (!p.reshaped) return;
  ca.sqlwarn[0] = 'W';
  ca.sqlwarn[4] = 'W';
}

}  // namespace

int ixr_open(int32_t cursor, const IxrSqlda* input) {
  Call c("OPEN", nullptr);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  Cursor* cur = cursorById(s, cursor);
  if (!cur || !cur->stmt) return c.end(ixErr(IXR_E_NOT_AVAILABLE));
  Prepared& p = *cur->stmt;
  // The version check and the query's first step share one read transaction.
  ReadHold hold(s);
  if (p.version != hold.version())
    if (auto e = prepareParts(s, p, false)) return c.end(e);
  if (p.type != IXR_STMT_EXECUTE_PROCEDURE) {
    if (auto e = retypeForHosts(s, p, input)) return c.end(e);
    // A query whose translation for these host types failed fails the same way again.
    if (p.parts[0].dml && !p.parts[0].ready)
      if (auto e = prepareParts(s, p, false)) return c.end(e);
  }
  auto& part = p.parts[0];
  finishCursor(*cur);
  if (p.type == IXR_STMT_EXECUTE_PROCEDURE) {
    hold.release();  // a procedure may write
    bool row = false;
    if (auto e = procOpen(s, *p.ast, part, input, cur->proc, row)) return c.end(e);
    cur->visible = static_cast<int>(part.tr.cols.size());
    cur->hasRowid = false;
    cur->pending = row;
    cur->atEnd = !row;
    cur->open = true;
    cur->rows = 0;
    warnReshaped(p, c.ca());
    return c.end({});
  }
  if (!cur->vm || cur->vmVersion != p.version || cur->vmGeneration != p.generation) {
    sqlite3_finalize(cur->vm);
    cur->vm = nullptr;
    if (part.vm) {
      // PREPARE compiled the query already: the first cursor over it takes that
      // compilation (an EXECUTE of the statement compiles again should it need one).
      cur->vm = part.vm;
      part.vm = nullptr;
      sqlite3_reset(cur->vm);
      sqlite3_clear_bindings(cur->vm);
    } else if (int rc = sqlite3_prepare_v3(s.db, part.tr.sql.c_str(), -1,
                                           SQLITE_PREPARE_PERSISTENT, &cur->vm, nullptr)) {
      return c.end(fromSqlite(s.db, rc, Op::Read, false));
    }
    cur->vmVersion = p.version;
    cur->vmGeneration = p.generation;
    cur->visible = static_cast<int>(part.tr.cols.size());
    cur->hasRowid = part.tr.hasRowid;
    cur->plan.clear();
    for (const ResultCol& rc : part.tr.cols) {
      ColPlan cp;
      cp.type = rc.type;
      cp.store = storeOf(rc.type.code);
      cp.padded = isPaddedChar(rc.type.code);
      cp.number = isIntType(rc.type.code);
      cp.date = baseType(rc.type.code) == IXR_TYPE_DATE;
      cp.text =
          cp.store == Store::Text || cp.store == Store::Decimal || cp.store == Store::DateTime;
      cur->plan.push_back(cp);
    }
  } else {
    sqlite3_clear_bindings(cur->vm);
  }
  if (auto e = bindInput(s, p.ast->markers, part, cur->vm, input)) return c.end(e);
  if (auto e = txnImplicit(s, false)) return c.end(e);
  // OPEN runs the query up to its first row, so that its errors come from OPEN.
  s.lockTimedOut = false;
  int rc = sqlite3_step(cur->vm);
  if (rc == SQLITE_ROW) {
    cur->pending = true;
  } else if (rc == SQLITE_DONE) {
    cur->atEnd = true;
  } else {
    // Read before the hold lets go: its reset clears the connection's error.
    IxError e = fromSqlite(s.db, rc, Op::Read, s.lockTimedOut);
    sqlite3_reset(cur->vm);
    return c.end(e);
  }
  hold.release();
  cur->open = true;
  cur->rows = 0;
  warnReshaped(p, c.ca());
  return c.end({});
}

int ixr_fetch(int32_t cursor, IxrSqlda* output) {
  Call c("FETCH", nullptr);
  if (!c.ok()) return c.code();
  Cursor* cur = cursorById(*c.s, cursor);
  if (!cur) return c.end(ixErr(IXR_E_NOT_AVAILABLE));
  if (!cur->open) return c.end(ixErr(IXR_E_CURSOR_NOT_OPEN, cur->name));
  IxError e;
  switch (nextRow(*c.s, *cur, output, e)) {
    case FetchStep::Row: c.ca().sqlerrd[2] = 1; return c.endKeep();
    case FetchStep::End: c.ca().sqlcode = IXR_NOTFOUND; return c.endKeep();
    case FetchStep::Error: break;
  }
  return c.end(e);
}

int ixr_fetch_rows(int32_t cursor, IxrSqlda* output, int32_t rows, const int32_t* strides,
                   int32_t* fetched) {
  if (fetched) *fetched = 0;
  Call c("FETCH", nullptr);
  if (!c.ok()) return c.code();
  if (!output || !strides || !fetched || rows < 0) return c.end(ixErr(IXR_E_NOT_AVAILABLE));
  Cursor* cur = cursorById(*c.s, cursor);
  if (!cur) return c.end(ixErr(IXR_E_NOT_AVAILABLE));
  if (!cur->open) return c.end(ixErr(IXR_E_CURSOR_NOT_OPEN, cur->name));
  IxError e;
  FetchStep step = FetchStep::Row;
  int32_t n = 0;
  IxrSqlVar* vars = output->sqlvar;
  const int cols = output->sqld;
  // Each row moves the host variables on by their strides; they are put back at the end.
  for (; n < rows; ++n) {
    step = nextRow(*c.s, *cur, output, e);
    if (step != FetchStep::Row) break;
    for (int j = 0; j < cols; ++j) {
      if (vars[j].sqldata) vars[j].sqldata += strides[j];
      if (vars[j].sqlind) ++vars[j].sqlind;
    }
  }
  for (int j = 0; j < cols; ++j) {
    if (vars[j].sqldata) vars[j].sqldata -= static_cast<ptrdiff_t>(n) * strides[j];
    if (vars[j].sqlind) vars[j].sqlind -= n;
  }
  *fetched = n;
  if (step == FetchStep::Error) return c.end(e);
  c.ca().sqlerrd[2] = n;
  if (step == FetchStep::End) c.ca().sqlcode = IXR_NOTFOUND;
  return c.endKeep();
}

int ixr_close(int32_t cursor) {
  Call c("CLOSE", nullptr);
  if (!c.ok()) return c.code();
  Cursor* cur = cursorById(*c.s, cursor);
  if (!cur) return c.end(ixErr(IXR_E_NOT_AVAILABLE));
  finishCursor(*cur);
  return c.end({});
}

int ixr_free(const char* name) {
  Call c("FREE", name);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  std::string n = name ? name : "";
  if (auto it = s.cursors.find(n); it != s.cursors.end()) {
    if (s.lastCursor == it->second.get()) s.lastCursor = nullptr;
    s.cursorIds.erase(it->second->id);
    s.cursors.erase(it);
    return c.end({});
  }
  if (auto it = s.stmts.find(n); it != s.stmts.end()) {
    s.stmtIds.erase(it->second->id);
    s.stmts.erase(it);
    return c.end({});
  }
  return c.end(ixErr(IXR_E_NOT_AVAILABLE, n));
}

int ixr_execute_immediate(const char* text) {
  Call c("EXECUTE IMMEDIATE", text);
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  auto p = std::make_shared<Prepared>();
  if (auto e = parseInto(*p, text)) return c.end(e);
  if (auto e = prepareParts(s, *p, true)) return c.end(e);
  if (auto e = executeParts(s, p, nullptr, c.ca())) return c.end(e);
  return c.endKeep();
}

int ixr_run_static(const char* const* parts) {
  std::string text;
  for (const char* const* p = parts; p && *p; ++p) text += *p;
  Call c("STATIC", text.c_str());
  if (!c.ok()) return c.code();
  Session& s = *c.s;
  auto p = std::make_shared<Prepared>();
  if (auto e = parseInto(*p, text.c_str())) return c.end(e);
  if (auto e = prepareParts(s, *p, true)) return c.end(e);
  if (auto e = executeParts(s, p, nullptr, c.ca())) return c.end(e);
  return c.endKeep();
}

}  // extern "C"
