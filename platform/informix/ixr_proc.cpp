// ixr_proc.cpp -- stored procedures of the embedded server. A body is compiled into a flat
// program (jumps instead of nested blocks) over a frame of variable slots, so that a run
// can stop at any RETURN WITH RESUME and go on at the next FETCH, and so that nothing
// recurses per statement, loop or call: nesting and calls cost heap, not stack.
// Every expression list, query and SQL statement of the body is a unit: its text is parsed
// again as a statement of its own, the names of visible variables become slots, and it is
// translated and prepared on first use (again after a schema change) and bound to the
// frame's values when it runs. Lists of constants and single variables skip SQLite.
// Owns: the compiled procedures (cached per session and database, keyed by procid, so a
// re-created or dropped procedure is compiled afresh), the runs and their FOREACH cursors.
// Threading: a session's procedures run on the thread it is current on.
// Not here: the syntax (ixr_parse_proc.cpp) and the statements' SQL (translator, execDml).
#include "platform/informix/ixr_proc.h"

#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_stack.h"

#include <algorithm>

namespace ixr {
namespace {

// Procedures calling procedures: the frames live on the heap, the bound is the server's.
constexpr size_t kMaxCallDepth = 64;
// Handler exits of the procedure's own block lead to its end, known only at the end.
constexpr int kExitFinish = -2;

Val owned(const Val& v) {
  if ((v.kind == Val::Text || v.kind == Val::Blob) && v.data != v.own.data())
    return Val::ofText(std::string(v.data ? v.data : "", static_cast<size_t>(v.size)), v.kind);
  return v;
}

bool isDmlKind(StmtKind k) {
  return k == StmtKind::Select || k == StmtKind::Insert || k == StmtKind::Update ||
         k == StmtKind::Delete;
}

}  // namespace

// ----------------------------------------------------------------- compiled procedures

enum class POp : uint8_t {
  Enter,        // block entry: slots become undefined; GLOBAL slots get their first value
  Let,          // unit (expression list) into slots
  LetQuery,     // unit (a query of one row) into slots; no row gives NULLs
  JumpIfNot,    // unit (one condition) not true: to target
  Jump,         // to target
  ForStart,     // FOR loop index starts at its first item
  ForNext,      // next value of FOR loop index into slots[0], or to target at the end
  ForeachOpen,  // opens unit (the query) for FOREACH loop index
  ForeachNext,  // next row into slots, or to target at the end
  Return,       // unit (values, or none) to the caller; resume: WITH RESUME
  Raise,        // unit: SQL code, ISAM code, text
  Call,         // callees[index](unit) RETURNING slots
  Sql,          // unit: a statement of its own; a SELECT's row into slots
  HandlerEnd,   // end of handler index: WITH RESUME or its exit
  Finish,       // end of the procedure: returns nothing
};

struct ProcInstr {
  POp op = POp::Jump;
  int unit = -1;
  int target = -1;
  int index = -1;
  bool resume = false;
  std::vector<int> slots;
  int next = 0;  // the instruction after the statement this one belongs to (WITH RESUME)
};

// The variables one statement block sees: its own, then its parent's.
struct ProcScopeNode {
  int parent = -1;
  std::vector<std::pair<std::string, int>> names;
};

struct ProcUnit {
  bool values = false;  // "SELECT <list>" of an expression list; else a statement of its own
  std::string text;
  int scope = -1;
  // An expression list of constants and single variables is read without SQLite.
  struct Item {
    int slot = -1;  // a variable, or -1 for the constant
    Val value;
    IxType type;
  };
  bool direct = false;
  std::vector<Item> items;
  // The translation, made on first use and again after a schema change.
  std::unique_ptr<Ast> ast;
  Prepared::Part part;
  int64_t version = -1;
  bool busy = false;  // its statement is stepping for an open FOREACH

  ProcUnit() = default;
  ProcUnit(const ProcUnit&) = delete;
  ProcUnit& operator=(const ProcUnit&) = delete;
  ~ProcUnit() { sqlite3_finalize(part.vm); }
};

// A FOR item: units of one value, or of a range's bounds and step (-1: none).
struct ProcForItem {
  int from = -1, to = -1, step = -1;
};

struct ProcHandlerCode {
  int start = 0, end = 0;     // the statements it protects
  int body = 0, bodyEnd = 0;  // its own code, HandlerEnd included
  int exit = 0;               // where control goes after it without WITH RESUME
  int order = 0;              // declaration order within its block: the last one wins
  std::vector<int32_t> codes;
  std::vector<int> set;
  bool resume = false;
};

struct Proc {
  std::string name;
  int64_t procid = 0;
  std::unique_ptr<Ast> ast;  // the CREATE statement; units' spans point into its text
  std::vector<IxType> slotTypes;
  std::vector<std::string> slotNames;
  std::vector<std::string> slotGlobal;  // the session-wide name of a GLOBAL, else empty
  std::vector<int> slotInit;            // unit of a parameter's or GLOBAL's DEFAULT, or -1
  size_t params = 0;                    // slots 0 .. params-1
  std::vector<IxType> returns;
  std::vector<std::string> returnNames;
  std::vector<ProcInstr> code;
  std::vector<std::unique_ptr<ProcUnit>> units;
  std::vector<ProcScopeNode> scopes;
  std::vector<std::vector<ProcForItem>> fors;
  std::vector<std::pair<int, int>> foreaches;  // code range of each FOREACH loop
  std::vector<ProcHandlerCode> handlers;
  std::vector<std::string> callees;
  int64_t catalogVersion = -1;  // schema version the catalog cache was last refreshed at

  int find(int scope, const std::string& name) const {
    for (int sc = scope; sc >= 0; sc = scopes[static_cast<size_t>(sc)].parent)
      for (const auto& [n, slot] : scopes[static_cast<size_t>(sc)].names)
        if (n == name) return slot;
    return -1;
  }
};

namespace {

// --------------------------------------------------------------------------- compiler

class Compiler {
 public:
  Compiler(Session& s, Proc& p, const std::string& text) : s_(s), p_(p), text_(text) {}

  IxError run(const ProcDef& d, const std::string& procName);

 private:
  struct Loop {
    std::string kind;  // "for", "while" or "foreach"
    int cont = 0;
    std::vector<int> exits;
  };

  Session& s_;
  Proc& p_;
  const std::string& text_;
  int scope_ = -1;
  std::vector<Loop> loops_;
  IxError err_;

  IxError fail(IxError e) {
    if (!err_) err_ = std::move(e);
    return err_;
  }
  int pc() const { return static_cast<int>(p_.code.size()); }
  int emit(POp op) {
    p_.code.emplace_back();
    p_.code.back().op = op;
    return pc() - 1;
  }
  ProcInstr& at(int i) { return p_.code[static_cast<size_t>(i)]; }
  std::string spanText(const Span& sp) const { return text_.substr(sp.pos, sp.end - sp.pos); }

  int newScope() {
    p_.scopes.push_back({scope_, {}});
    scope_ = static_cast<int>(p_.scopes.size()) - 1;
    return scope_;
  }
  int slotOf(const std::string& name) {
    int slot = p_.find(scope_, name);
    if (slot < 0) fail(ixErr(IXR_E_SYNTAX, name));
    return slot;
  }
  std::vector<int> slotsOf(const std::vector<std::string>& names) {
    std::vector<int> out;
    for (const auto& n : names) out.push_back(slotOf(n));
    return out;
  }
  int addVar(const ProcVarDef& v, bool global);
  int unitValues(const ProcExprs& ex);
  int unitText(const std::string& text, bool values = false);
  void block(const ProcBlock* b, int exit);
  void stmt(const ProcStmt* ps);
  bool callsProcedure(const ProcStmt* ps);
};

int Compiler::addVar(const ProcVarDef& v, bool global) {
  auto& names = p_.scopes[static_cast<size_t>(scope_)].names;
  for (const auto& [n, slot] : names)
    if (n == v.name) {
      fail(ixErr(IXR_E_SYNTAX, v.name));
      return 0;
    }
  IxType t = v.type;
  if (!v.likeColumn.empty()) {
    TableRefPtr def;
    if (auto e = s_.cat->lookup(v.likeTable, def)) {
      fail(e);
      return 0;
    }
    int c = def->find(v.likeColumn);
    if (c < 0) {
      fail(ixErr(IXR_E_NO_COLUMN, v.likeColumn));
      return 0;
    }
    t = def->cols[static_cast<size_t>(c)].type;
  }
  t.notnull = false;
  if (baseType(t.code) == IXR_TYPE_SERIAL) t = tInteger();
  int slot = static_cast<int>(p_.slotTypes.size());
  p_.slotTypes.push_back(t);
  p_.slotNames.push_back(v.name);
  p_.slotGlobal.push_back(global ? v.name : std::string());
  p_.slotInit.push_back(v.init.exprs.empty() ? -1 : unitValues(v.init));
  names.emplace_back(v.name, slot);
  return slot;
}

int Compiler::unitText(const std::string& text, bool values) {
  auto u = std::make_unique<ProcUnit>();
  u->values = values;
  u->text = text;
  u->scope = scope_;
  p_.units.push_back(std::move(u));
  return static_cast<int>(p_.units.size()) - 1;
}

int Compiler::unitValues(const ProcExprs& ex) {
  int id = unitText("SELECT " + spanText(ex.span), true);
  ProcUnit& u = *p_.units[static_cast<size_t>(id)];
  u.direct = true;
  for (const Expr* e : ex.exprs) {
    ProcUnit::Item it;
    if (e->kind == ExprKind::Literal) {
      it.value = litVal(e);
      it.type = litType(e);
    } else if (e->kind == ExprKind::Column && e->qual.empty() &&
               (it.slot = p_.find(scope_, e->text)) >= 0) {
      it.type = p_.slotTypes[static_cast<size_t>(it.slot)];
    } else {
      u.direct = false;
      u.items.clear();
      break;
    }
    u.items.push_back(std::move(it));
  }
  return id;
}

// LET a[, b] = f(args) calls stored procedure f when there is one of that name.
bool Compiler::callsProcedure(const ProcStmt* ps) {
  if (ps->values.exprs.size() != 1) return false;
  const Expr* e = ps->values.exprs[0];
  if (e->kind != ExprKind::Function || e->distinct) return false;
  Sql q(s_.db, "SELECT 1 FROM sysprocedures WHERE procname = ?1");
  q.bind(1, e->op);
  if (q.step() != SQLITE_ROW) return false;
  std::string call = spanText(ps->values.span);
  size_t open = call.find('('), close = call.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  std::string args = call.substr(open + 1, close - open - 1);
  int in = emit(POp::Call);
  at(in).index = static_cast<int>(p_.callees.size());
  p_.callees.push_back(e->op);
  at(in).slots = slotsOf(ps->names);
  if (!e->args.empty()) at(in).unit = unitText("SELECT " + args, true);
  return true;
}

void Compiler::block(const ProcBlock* b, int exit) {
  int parent = scope_;
  newScope();
  int enter = emit(POp::Enter);
  for (const ProcVarDef& v : b->vars) {
    int slot = addVar(v, v.global);
    at(enter).slots.push_back(slot);
  }
  std::vector<int> ids;
  for (size_t k = 0; k < b->handlers.size(); ++k) {
    const ProcHandler& h = b->handlers[k];
    ProcHandlerCode hc;
    hc.codes = h.codes;
    hc.set = slotsOf(h.set);
    hc.resume = h.resume;
    hc.order = static_cast<int>(k);
    ids.push_back(static_cast<int>(p_.handlers.size()));
    p_.handlers.push_back(std::move(hc));
  }
  int start = pc();
  for (const ProcStmt* ps : b->stmts) stmt(ps);
  int end = pc();
  if (!ids.empty()) {
    int over = emit(POp::Jump);
    for (size_t k = 0; k < ids.size(); ++k) {
      size_t id = static_cast<size_t>(ids[k]);
      p_.handlers[id].start = start;
      p_.handlers[id].end = end;
      p_.handlers[id].body = pc();
      block(b->handlers[k].body, -1);
      int he = emit(POp::HandlerEnd);
      at(he).index = ids[k];
      p_.handlers[id].bodyEnd = he + 1;
    }
    at(over).target = pc();
  }
  for (int id : ids) p_.handlers[static_cast<size_t>(id)].exit = exit == -1 ? pc() : exit;
  scope_ = parent;
}

void Compiler::stmt(const ProcStmt* ps) {
  if (err_) return;
  int start = pc();
  switch (ps->kind) {
    case ProcKind::Let: {
      if (ps->query) {
        int in = emit(POp::LetQuery);
        at(in).slots = slotsOf(ps->names);
        at(in).unit =
            unitText(text_.substr(ps->querySpan.pos, ps->querySpan.end - ps->querySpan.pos));
        break;
      }
      if (callsProcedure(ps)) break;
      if (ps->values.exprs.size() != ps->names.size()) {
        fail(ixErr(IXR_E_SYNTAX, "LET"));
        break;
      }
      int in = emit(POp::Let);
      at(in).slots = slotsOf(ps->names);
      at(in).unit = unitValues(ps->values);
      break;
    }
    case ProcKind::If: {
      std::vector<int> ends;
      for (size_t k = 0; k < ps->conds.size(); ++k) {
        int jn = emit(POp::JumpIfNot);
        at(jn).unit = unitValues(ps->conds[k]);
        block(ps->blocks[k], -1);
        if (k + 1 < ps->blocks.size()) ends.push_back(emit(POp::Jump));
        at(jn).target = pc();
      }
      if (ps->blocks.size() > ps->conds.size()) block(ps->blocks.back(), -1);
      for (int j : ends) at(j).target = pc();
      break;
    }
    case ProcKind::For: {
      int var = slotOf(ps->names[0]);
      std::vector<ProcForItem> items;
      for (const ForItem& it : ps->items) {
        ProcForItem fi;
        fi.from = unitValues(it.from);
        if (!it.to.exprs.empty()) fi.to = unitValues(it.to);
        if (!it.step.exprs.empty()) fi.step = unitValues(it.step);
        items.push_back(fi);
      }
      int loop = static_cast<int>(p_.fors.size());
      p_.fors.push_back(std::move(items));
      at(emit(POp::ForStart)).index = loop;
      int top = emit(POp::ForNext);
      at(top).index = loop;
      at(top).slots = {var};
      loops_.push_back({"for", top, {}});
      block(ps->blocks[0], top);
      at(emit(POp::Jump)).target = top;
      at(top).target = pc();
      for (int x : loops_.back().exits) at(x).target = pc();
      loops_.pop_back();
      break;
    }
    case ProcKind::While: {
      int top = pc();
      int jn = emit(POp::JumpIfNot);
      at(jn).unit = unitValues(ps->conds[0]);
      loops_.push_back({"while", top, {}});
      block(ps->blocks[0], top);
      at(emit(POp::Jump)).target = top;
      at(jn).target = pc();
      for (int x : loops_.back().exits) at(x).target = pc();
      loops_.pop_back();
      break;
    }
    case ProcKind::Foreach: {
      int loop = static_cast<int>(p_.foreaches.size());
      p_.foreaches.emplace_back(0, 0);
      int open = emit(POp::ForeachOpen);
      at(open).index = loop;
      at(open).unit = unitText(spanText(ps->querySpan));
      int top = emit(POp::ForeachNext);
      at(top).index = loop;
      at(top).slots = slotsOf(ps->query->cores[0]->into);
      loops_.push_back({"foreach", top, {}});
      block(ps->blocks[0], top);
      at(emit(POp::Jump)).target = top;
      at(top).target = pc();
      p_.foreaches[static_cast<size_t>(loop)] = {open, pc()};
      for (int x : loops_.back().exits) at(x).target = pc();
      loops_.pop_back();
      break;
    }
    case ProcKind::Exit:
    case ProcKind::Continue: {
      int k = static_cast<int>(loops_.size()) - 1;
      while (k >= 0 && !ps->word.empty() && ps->word != "loop" &&
             loops_[static_cast<size_t>(k)].kind != ps->word)
        --k;
      if (k < 0) {
        fail(ixErr(IXR_E_SYNTAX, ps->kind == ProcKind::Exit ? "EXIT" : "CONTINUE"));
        break;
      }
      int j = emit(POp::Jump);
      if (ps->kind == ProcKind::Exit)
        loops_[static_cast<size_t>(k)].exits.push_back(j);
      else
        at(j).target = loops_[static_cast<size_t>(k)].cont;
      break;
    }
    case ProcKind::Return: {
      if (!ps->values.exprs.empty() && ps->values.exprs.size() != p_.returns.size()) {
        fail(ixErr(IXR_E_SYNTAX, "RETURN"));
        break;
      }
      int in = emit(POp::Return);
      at(in).resume = ps->resume;
      if (!ps->values.exprs.empty()) at(in).unit = unitValues(ps->values);
      break;
    }
    case ProcKind::Raise: {
      int in = emit(POp::Raise);
      at(in).unit = unitValues(ps->values);
      break;
    }
    case ProcKind::Call: {
      int in = emit(POp::Call);
      at(in).index = static_cast<int>(p_.callees.size());
      p_.callees.push_back(ps->word);
      at(in).slots = slotsOf(ps->names);
      if (!ps->values.exprs.empty()) at(in).unit = unitValues(ps->values);
      break;
    }
    case ProcKind::Block: block(ps->blocks[0], -1); break;
    case ProcKind::Sql: {
      int in = emit(POp::Sql);
      at(in).unit = unitText(spanText(ps->span));
      if (ps->sql->kind == StmtKind::Select)
        at(in).slots = slotsOf(ps->sql->select->cores[0]->into);
      break;
    }
  }
  int end = pc();
  for (int i = start; i < end; ++i)
    if (!at(i).next) at(i).next = end;
}

IxError Compiler::run(const ProcDef& d, const std::string& procName) {
  p_.name = procName;
  p_.returns = d.returns;
  p_.returnNames = d.returnNames;
  newScope();
  for (const ProcVarDef& v : d.params) addVar(v, false);
  p_.params = d.params.size();
  block(d.body, kExitFinish);
  int fin = emit(POp::Finish);
  for (auto& h : p_.handlers)
    if (h.exit == kExitFinish) h.exit = fin;
  for (int i = 0; i < pc(); ++i)
    if (!at(i).next) at(i).next = i + 1;
  return err_;
}

// ----------------------------------------------------------------- variables in units

void rewriteSelect(Select* s, const Proc& p, int scope);

void rewriteExpr(Expr* e, const Proc& p, int scope) {
  if (!e) return;
  if (e->kind == ExprKind::Column && e->qual.empty()) {
    int slot = p.find(scope, e->text);
    if (slot >= 0) {
      e->kind = ExprKind::Variable;
      e->slot = slot;
    }
  }
  for (Expr* a : e->args) rewriteExpr(a, p, scope);
  if (e->subquery) rewriteSelect(e->subquery, p, scope);
}

// A name that a variable and a column share means the variable, as in the server's SPL.
void rewriteSelect(Select* s, const Proc& p, int scope) {
  for (SelectCore* c : s->cores) {
    rewriteExpr(c->first, p, scope);
    rewriteExpr(c->skip, p, scope);
    for (SelItem& it : c->items) rewriteExpr(it.expr, p, scope);
    for (TableRef* r : c->from) {
      if (r->subquery) rewriteSelect(r->subquery, p, scope);
      rewriteExpr(r->on, p, scope);
    }
    rewriteExpr(c->where, p, scope);
    for (Expr* g : c->groupBy) rewriteExpr(g, p, scope);
    rewriteExpr(c->having, p, scope);
  }
  for (OrderItem& o : s->order) rewriteExpr(o.expr, p, scope);
}

void rewriteStmt(Stmt* st, const Proc& p, int scope) {
  if (st->select) rewriteSelect(st->select, p, scope);
  for (Expr* v : st->values) rewriteExpr(v, p, scope);
  for (auto& [col, v] : st->sets) rewriteExpr(v, p, scope);
  rewriteExpr(st->where, p, scope);
}

}  // namespace

// ------------------------------------------------------------------------------- runs

namespace {

struct ProcSlot {
  Val value;
  bool defined = false;
};

struct ProcForState {
  size_t item = 0;
  bool inRange = false;
  int64_t cur = 0, to = 0, step = 1;
};

// The statement of an open FOREACH: the unit's own (given back at close) or, when that
// one is busy in a recursive call, a private one.
class ProcCursor {
 public:
  ProcCursor(ProcUnit* unit, sqlite3_stmt* vm, bool owned, int loop, std::vector<IxType> types)
      : unit_(unit), vm_(vm), owned_(owned), loop_(loop), types_(std::move(types)) {}
  ProcCursor(ProcCursor&& o) noexcept
      : unit_(o.unit_), vm_(o.vm_), owned_(o.owned_), loop_(o.loop_), types_(std::move(o.types_)) {
    o.vm_ = nullptr;
  }
  ProcCursor(const ProcCursor&) = delete;
  ProcCursor& operator=(const ProcCursor&) = delete;
  ProcCursor& operator=(ProcCursor&&) = delete;
  ~ProcCursor() {
    if (!vm_) return;
    if (owned_) {
      sqlite3_finalize(vm_);
    } else {
      sqlite3_reset(vm_);
      sqlite3_clear_bindings(vm_);
      unit_->busy = false;
    }
  }
  sqlite3_stmt* vm() const { return vm_; }
  int loop() const { return loop_; }
  const std::vector<IxType>& types() const { return types_; }

 private:
  ProcUnit* unit_;
  sqlite3_stmt* vm_;
  bool owned_;
  int loop_;
  std::vector<IxType> types_;
};

struct ProcFrame {
  std::shared_ptr<Proc> proc;  // first: the cursors below give their statements back to it
  std::vector<ProcSlot> slots;
  std::vector<ProcForState> fors;
  std::vector<ProcCursor> cursors;
  // A running handler keeps the cursors open below it: WITH RESUME may go back into them.
  struct Barrier {
    int handler;
    size_t cursors;
  };
  std::vector<Barrier> barriers;
  std::vector<int> resumeAt;  // per handler: the statement after the one that failed
  int pc = 0;
  int callPc = -1;  // the caller's CALL
  std::vector<int> returnSlots;
};

}  // namespace

class ProcRun {
 public:
  explicit ProcRun(Session& s) : s_(s) {}

  IxError start(std::shared_ptr<Proc> p, std::vector<Val>& args, std::vector<IxType>& types);
  IxError next(bool& row);

  std::vector<Val> row;
  std::vector<IxType> rowTypes;

 private:
  Session& s_;
  std::vector<std::unique_ptr<ProcFrame>> frames_;
  bool done_ = false;
  int64_t version_ = 0;
  IxrCommArea ca_{};  // the body's statements do not touch the caller's

  IxError makeFrame(std::shared_ptr<Proc> p, std::vector<Val>& args, std::vector<IxType>& types,
                    std::unique_ptr<ProcFrame>& out);
  IxError step(bool& row);
  IxError recover(IxError e);
  void jump(ProcFrame& f, int target);
  IxError read(ProcFrame& f, int slot, Val& out);
  IxError assign(ProcFrame& f, int slot, const Val& v, const IxType& from);
  IxError prepare(ProcFrame& f, ProcUnit& u);
  IxError bindVars(ProcFrame& f, sqlite3_stmt* vm, const std::vector<int>& vars);
  IxError eval(ProcFrame& f, int unit, std::vector<Val>& vals, std::vector<IxType>& types);
  IxError query(ProcFrame& f, ProcUnit& u, std::vector<Val>& vals, std::vector<IxType>& types,
                bool& found);
  IxError forNext(ProcFrame& f, const ProcInstr& in, bool& more);
  IxError foreachOpen(ProcFrame& f, const ProcInstr& in);
  IxError runSql(ProcFrame& f, const ProcInstr& in);
  IxError doReturn(ProcFrame& f, const ProcInstr& in, bool& row);
  IxError doCall(ProcFrame& f, const ProcInstr& in);
};

void ProcRunFree::operator()(ProcRun* run) const { delete run; }

IxError ProcRun::read(ProcFrame& f, int slot, Val& out) {
  const Proc& p = *f.proc;
  size_t k = static_cast<size_t>(slot);
  if (!p.slotGlobal[k].empty()) {
    auto it = s_.procGlobals.find(p.slotGlobal[k]);
    if (it == s_.procGlobals.end()) return ixErr(IXR_E_UNDEFINED_VARIABLE, p.slotNames[k]);
    if (it->second.first == p.slotTypes[k]) {
      out = it->second.second;
      return {};
    }
    return convertValue(it->second.second, it->second.first, p.slotTypes[k], out);
  }
  if (!f.slots[k].defined) return ixErr(IXR_E_UNDEFINED_VARIABLE, p.slotNames[k]);
  out = f.slots[k].value;
  return {};
}

IxError ProcRun::assign(ProcFrame& f, int slot, const Val& v, const IxType& from) {
  const Proc& p = *f.proc;
  size_t k = static_cast<size_t>(slot);
  Val c;
  if (auto e = convertValue(v, from, p.slotTypes[k], c)) return e;
  if (!p.slotGlobal[k].empty()) {
    s_.procGlobals[p.slotGlobal[k]] = {p.slotTypes[k], owned(c)};
  } else {
    f.slots[k].value = owned(c);
    f.slots[k].defined = true;
  }
  return {};
}

IxError ProcRun::bindVars(ProcFrame& f, sqlite3_stmt* vm, const std::vector<int>& vars) {
  Val v;
  for (int slot : vars) {
    if (auto e = read(f, slot, v)) return e;
    bindVal(vm, slot + 1, v);
  }
  return {};
}

// Parses the unit's text as a statement of its own with the variables it sees as slots,
// and translates it (statements other than SELECT, INSERT, UPDATE and DELETE run from the
// parse tree, which running them may change: they are parsed every time).
IxError ProcRun::prepare(ProcFrame& f, ProcUnit& u) {
  Proc& p = *f.proc;
  if (u.ast && u.version == version_ && u.part.dml) return {};
  sqlite3_finalize(u.part.vm);
  u.part = Prepared::Part{};
  u.ast.reset();
  auto ast = std::make_unique<Ast>();
  if (auto e = parseSql(u.text, delimIdent(), *ast, true)) return e;
  if (ast->stmts.size() != 1) return ixErr(IXR_E_SYNTAX, u.text.substr(0, 40));
  Stmt* st = ast->stmts[0];
  rewriteStmt(st, p, u.scope);
  u.part.st = st;
  u.part.dml = isDmlKind(st->kind);
  if (u.part.dml) {
    if (p.catalogVersion != version_) {
      s_.cat->invalidate();
      p.catalogVersion = version_;
    }
    TransCtx ctx = transCtx(s_);
    ctx.varTypes = &p.slotTypes;
    if (auto e = translate(ctx, *ast, st, u.part.tr)) return e;
    int rc = sqlite3_prepare_v3(s_.db, u.part.tr.sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT,
                                &u.part.vm, nullptr);
    if (rc) return fromSqlite(s_.db, rc, Op::Other, false);
  }
  u.part.ready = true;
  u.ast = std::move(ast);
  u.version = version_;
  return {};
}

// The one row of a query unit; found false (values untouched) when it has none.
IxError ProcRun::query(ProcFrame& f, ProcUnit& u, std::vector<Val>& vals,
                       std::vector<IxType>& types, bool& found) {
  found = false;
  if (auto e = prepare(f, u)) return e;
  sqlite3_stmt* vm = u.part.vm;
  if (!vm || u.part.st->kind != StmtKind::Select) return ixErr(IXR_E_SYNTAX, u.text.substr(0, 40));
  sqlite3_reset(vm);
  sqlite3_clear_bindings(vm);
  if (auto e = bindVars(f, vm, u.part.tr.vars)) return e;
  if (auto e = txnImplicit(s_, false)) return e;
  s_.lockTimedOut = false;
  int rc = sqlite3_step(vm);
  if (rc == SQLITE_ROW) {
    size_t n = u.part.tr.cols.size();
    vals.clear();
    types.clear();
    for (size_t j = 0; j < n; ++j) {
      vals.push_back(owned(fromColumn(vm, static_cast<int>(j))));
      types.push_back(u.part.tr.cols[j].type);
    }
    found = true;
    rc = sqlite3_step(vm);
    if (rc == SQLITE_ROW) {
      sqlite3_reset(vm);
      return ixErr(IXR_E_SUBQUERY_ROWS);
    }
  }
  if (rc != SQLITE_DONE) {
    IxError e = fromSqlite(s_.db, rc, Op::Read, s_.lockTimedOut);
    sqlite3_reset(vm);
    return e;
  }
  sqlite3_reset(vm);
  return {};
}

IxError ProcRun::eval(ProcFrame& f, int unit, std::vector<Val>& vals, std::vector<IxType>& types) {
  vals.clear();
  types.clear();
  if (unit < 0) return {};
  ProcUnit& u = *f.proc->units[static_cast<size_t>(unit)];
  if (u.direct) {
    for (const ProcUnit::Item& it : u.items) {
      if (it.slot >= 0) {
        vals.emplace_back();
        if (auto e = read(f, it.slot, vals.back())) return e;
      } else {
        vals.push_back(it.value);
      }
      types.push_back(it.type);
    }
    return {};
  }
  bool found = false;
  return query(f, u, vals, types, found);
}

IxError ProcRun::makeFrame(std::shared_ptr<Proc> p, std::vector<Val>& args,
                           std::vector<IxType>& types, std::unique_ptr<ProcFrame>& out) {
  if (args.size() > p->params) return ixErr(IXR_E_NO_ROUTINE, p->name);
  auto f = std::make_unique<ProcFrame>();
  f->proc = p;
  f->slots.resize(p->slotTypes.size());
  f->fors.resize(p->fors.size());
  f->resumeAt.resize(p->handlers.size());
  for (size_t k = 0; k < p->params; ++k) {
    int slot = static_cast<int>(k);
    if (k < args.size()) {
      if (auto e = assign(*f, slot, args[k], types[k])) return e;
      continue;
    }
    if (p->slotInit[k] < 0) return ixErr(IXR_E_NO_ROUTINE, p->name);
    std::vector<Val> v;
    std::vector<IxType> t;
    if (auto e = eval(*f, p->slotInit[k], v, t)) return e;
    if (auto e = assign(*f, slot, v[0], t[0])) return e;
  }
  out = std::move(f);
  return {};
}

IxError ProcRun::start(std::shared_ptr<Proc> p, std::vector<Val>& args,
                       std::vector<IxType>& types) {
  version_ = schemaVersion(s_);
  std::unique_ptr<ProcFrame> f;
  if (auto e = makeFrame(std::move(p), args, types, f)) return e;
  frames_.push_back(std::move(f));
  return {};
}

// Control moves to target: handlers whose code it leaves are over, and the FOREACH
// cursors above the innermost running handler close unless target is inside their loop.
void ProcRun::jump(ProcFrame& f, int target) {
  const Proc& p = *f.proc;
  while (!f.barriers.empty()) {
    const ProcHandlerCode& h = p.handlers[static_cast<size_t>(f.barriers.back().handler)];
    if (target >= h.body && target < h.bodyEnd) break;
    f.barriers.pop_back();
  }
  size_t floor = f.barriers.empty() ? 0 : f.barriers.back().cursors;
  while (f.cursors.size() > floor) {
    const auto& range = p.foreaches[static_cast<size_t>(f.cursors.back().loop())];
    if (target >= range.first && target < range.second) break;
    f.cursors.pop_back();
  }
  f.pc = target;
}

IxError ProcRun::forNext(ProcFrame& f, const ProcInstr& in, bool& more) {
  const auto& items = f.proc->fors[static_cast<size_t>(in.index)];
  ProcForState& st = f.fors[static_cast<size_t>(in.index)];
  std::vector<Val> v;
  std::vector<IxType> t;
  // Range bounds and steps are integers, as the loop variable counts in them.
  auto asInt = [&](int unit, int64_t& out) -> IxError {
    if (auto e = eval(f, unit, v, t)) return e;
    Val c;
    if (auto e = convertValue(v[0], t[0], tInteger(), c)) return e;
    if (c.kind != Val::Int) return ixErr(IXR_E_BAD_CONVERSION, "NULL");
    out = c.intValue;
    return {};
  };
  more = true;
  for (;;) {
    if (st.inRange) {
      int64_t n;
      bool over = __builtin_add_overflow(st.cur, st.step, &n);
      if (!over && (st.step >= 0 ? n <= st.to : n >= st.to)) {
        st.cur = n;
        return assign(f, in.slots[0], Val::ofInt(n), tInteger());
      }
      st.inRange = false;
      ++st.item;
    }
    if (st.item >= items.size()) {
      more = false;
      return {};
    }
    const ProcForItem& it = items[st.item];
    if (it.to < 0) {
      if (auto e = eval(f, it.from, v, t)) return e;
      ++st.item;
      return assign(f, in.slots[0], v[0], t[0]);
    }
    int64_t from = 0, to = 0, stepBy = 1;
    if (auto e = asInt(it.from, from)) return e;
    if (auto e = asInt(it.to, to)) return e;
    if (it.step >= 0)
      if (auto e = asInt(it.step, stepBy)) return e;
    if (stepBy >= 0 ? from <= to : from >= to) {
      st.inRange = true;
      st.cur = from;
      st.to = to;
      st.step = stepBy;
      return assign(f, in.slots[0], Val::ofInt(from), tInteger());
    }
    ++st.item;
  }
}

IxError ProcRun::foreachOpen(ProcFrame& f, const ProcInstr& in) {
  ProcUnit& u = *f.proc->units[static_cast<size_t>(in.unit)];
  ProcUnit* source = &u;
  ProcUnit mine;  // a recursive call's own statement while the unit's is stepping
  if (u.busy) {
    mine.text = u.text;
    mine.scope = u.scope;
    source = &mine;
  }
  if (auto e = prepare(f, *source)) return e;
  if (!source->part.vm || source->part.st->kind != StmtKind::Select)
    return ixErr(IXR_E_SYNTAX, u.text.substr(0, 40));
  std::vector<IxType> types;
  for (const ResultCol& c : source->part.tr.cols) types.push_back(c.type);
  if (types.size() < f.proc->code[static_cast<size_t>(f.pc + 1)].slots.size())
    return ixErr(IXR_E_HOSTVAR_COUNT);
  sqlite3_stmt* vm = source->part.vm;
  sqlite3_reset(vm);
  sqlite3_clear_bindings(vm);
  if (auto e = bindVars(f, vm, source->part.tr.vars)) return e;
  if (auto e = txnImplicit(s_, false)) return e;
  bool own = source == &mine;
  if (own) mine.part.vm = nullptr;  // the cursor finalizes it
  u.busy = u.busy || !own;
  f.cursors.emplace_back(&u, vm, own, in.index, std::move(types));
  return {};
}

IxError ProcRun::runSql(ProcFrame& f, const ProcInstr& in) {
  ProcUnit& u = *f.proc->units[static_cast<size_t>(in.unit)];
  if (auto e = prepare(f, u)) return e;
  Stmt* st = u.part.st;
  if (st->kind == StmtKind::Select && st->select->intoTemp.empty()) {
    std::vector<Val> vals;
    std::vector<IxType> types;
    bool found = false;
    if (auto e = query(f, u, vals, types, found)) return e;
    if (!found) return {};  // no row leaves the variables as they were
    if (vals.size() < in.slots.size()) return ixErr(IXR_E_HOSTVAR_COUNT);
    for (size_t k = 0; k < in.slots.size(); ++k)
      if (auto e = assign(f, in.slots[k], vals[k], types[k])) return e;
    return {};
  }
  if (u.part.dml) {
    VarBind binder = [&](sqlite3_stmt* vm) { return bindVars(f, vm, u.part.tr.vars); };
    return execDml(s_, 0, u.part, nullptr, ca_, &binder);
  }
  IxError e = execOther(s_, *u.ast, u.part, ca_);
  version_ = schemaVersion(s_);
  return e;
}

IxError ProcRun::doReturn(ProcFrame& f, const ProcInstr& in, bool& produced) {
  std::vector<Val> vals;
  std::vector<IxType> types;
  if (auto e = eval(f, in.unit, vals, types)) return e;
  const Proc& p = *f.proc;
  std::vector<Val> out(vals.size());
  for (size_t k = 0; k < vals.size(); ++k)
    if (auto e = convertValue(vals[k], types[k], p.returns[k], out[k])) return e;
  if (frames_.size() == 1) {
    row.clear();
    for (const Val& v : out) row.push_back(owned(v));
    rowTypes = p.returns;
    produced = true;
    if (in.resume) {
      ++f.pc;
    } else {
      frames_.clear();
      done_ = true;
    }
    return {};
  }
  std::vector<IxType> outTypes = p.returns;
  std::vector<int> targets = f.returnSlots;
  int callPc = f.callPc;
  frames_.pop_back();
  ProcFrame& caller = *frames_.back();
  if (out.empty() || targets.empty()) return {};
  if (out.size() != targets.size()) {
    caller.pc = callPc;  // the CALL is what failed
    return ixErr(IXR_E_HOSTVAR_COUNT);
  }
  for (size_t k = 0; k < out.size(); ++k) {
    if (auto e = assign(caller, targets[k], out[k], outTypes[k])) {
      caller.pc = callPc;
      return e;
    }
  }
  return {};
}

IxError ProcRun::doCall(ProcFrame& f, const ProcInstr& in) {
  if (frames_.size() >= kMaxCallDepth)
    return ixErr(IXR_E_TOO_COMPLEX, "procedure calls nest too deeply");
  std::shared_ptr<Proc> callee;
  if (auto e = procLookup(s_, f.proc->callees[static_cast<size_t>(in.index)], callee)) return e;
  std::vector<Val> vals;
  std::vector<IxType> types;
  if (auto e = eval(f, in.unit, vals, types)) return e;
  std::unique_ptr<ProcFrame> nf;
  if (auto e = makeFrame(std::move(callee), vals, types, nf)) return e;
  nf->callPc = f.pc;
  nf->returnSlots = in.slots;
  ++f.pc;
  frames_.push_back(std::move(nf));
  return {};
}

// Runs one instruction of the innermost frame.
IxError ProcRun::step(bool& produced) {
  ProcFrame& f = *frames_.back();
  const Proc& p = *f.proc;
  const ProcInstr& in = p.code[static_cast<size_t>(f.pc)];
  std::vector<Val> vals;
  std::vector<IxType> types;
  switch (in.op) {
    case POp::Enter:
      for (int slot : in.slots) {
        size_t k = static_cast<size_t>(slot);
        if (p.slotGlobal[k].empty()) {
          f.slots[k] = ProcSlot{};
        } else if (!s_.procGlobals.count(p.slotGlobal[k])) {
          if (auto e = eval(f, p.slotInit[k], vals, types)) return e;
          if (auto e = assign(f, slot, vals[0], types[0])) return e;
        }
      }
      ++f.pc;
      return {};
    case POp::Let:
    case POp::LetQuery: {
      if (in.op == POp::Let) {
        if (auto e = eval(f, in.unit, vals, types)) return e;
      } else {
        bool found = false;
        if (auto e = query(f, *p.units[static_cast<size_t>(in.unit)], vals, types, found)) return e;
        if (!found) {
          vals.assign(in.slots.size(), Val::null());
          types.assign(in.slots.size(), IxType{});
        }
      }
      if (vals.size() != in.slots.size()) return ixErr(IXR_E_HOSTVAR_COUNT);
      for (size_t k = 0; k < in.slots.size(); ++k)
        if (auto e = assign(f, in.slots[k], vals[k], types[k])) return e;
      ++f.pc;
      return {};
    }
    case POp::JumpIfNot: {
      if (auto e = eval(f, in.unit, vals, types)) return e;
      bool truth = false;
      if (vals[0].kind != Val::Null) {
        Val c;
        if (auto e = convertValue(vals[0], types[0], tFloat(), c)) return e;
        truth = c.kind == Val::Real ? c.realValue != 0 : c.kind == Val::Int && c.intValue != 0;
      }
      if (truth)
        ++f.pc;
      else
        jump(f, in.target);
      return {};
    }
    case POp::Jump:
      if (in.target <= f.pc && s_.stopRequested())
        return ixErr(IXR_E_INTERRUPTED);
      jump(f, in.target);
      return {};
    case POp::ForStart:
      f.fors[static_cast<size_t>(in.index)] = ProcForState{};
      ++f.pc;
      return {};
    case POp::ForNext: {
      if (s_.stopRequested()) return ixErr(IXR_E_INTERRUPTED);
      bool more = false;
      if (auto e = forNext(f, in, more)) return e;
      if (more)
        ++f.pc;
      else
        jump(f, in.target);
      return {};
    }
    case POp::ForeachOpen:
      if (auto e = foreachOpen(f, in)) return e;
      ++f.pc;
      return {};
    case POp::ForeachNext: {
      if (s_.stopRequested()) return ixErr(IXR_E_INTERRUPTED);
      if (f.cursors.empty() || f.cursors.back().loop() != in.index)
        return ixErr(IXR_E_CURSOR_NOT_OPEN);
      ProcCursor& c = f.cursors.back();
      s_.lockTimedOut = false;
      int rc = sqlite3_step(c.vm());
      if (rc == SQLITE_DONE) {
        jump(f, in.target);
        return {};
      }
      if (rc != SQLITE_ROW) return fromSqlite(s_.db, rc, Op::Read, s_.lockTimedOut);
      for (size_t k = 0; k < in.slots.size(); ++k) {
        Val v = fromColumn(c.vm(), static_cast<int>(k));
        if (auto e = assign(f, in.slots[k], v, c.types()[k])) return e;
      }
      ++f.pc;
      return {};
    }
    case POp::Return: return doReturn(f, in, produced);
    case POp::Raise: {
      if (auto e = eval(f, in.unit, vals, types)) return e;
      int64_t code = 0, isam = 0;
      for (size_t k = 0; k < vals.size() && k < 2; ++k) {
        Val c;
        if (auto e = convertValue(vals[k], types[k], tInteger(), c)) return e;
        (k == 0 ? code : isam) = c.kind == Val::Int ? c.intValue : 0;
      }
      std::string text;
      if (vals.size() > 2)
        if (auto e = valueToText(vals[2], types[2], text)) return e;
      if (code == 0) {
        ++f.pc;
        return {};
      }
      return ixErr(static_cast<int32_t>(code), text, static_cast<int32_t>(isam));
    }
    case POp::Call: return doCall(f, in);
    case POp::Sql:
      if (auto e = runSql(f, in)) return e;
      ++f.pc;
      return {};
    case POp::HandlerEnd: {
      const ProcHandlerCode& h = p.handlers[static_cast<size_t>(in.index)];
      while (!f.barriers.empty() && f.barriers.back().handler != in.index) f.barriers.pop_back();
      if (!f.barriers.empty()) f.barriers.pop_back();
      jump(f, h.resume ? f.resumeAt[static_cast<size_t>(in.index)] : h.exit);
      return {};
    }
    case POp::Finish:
      if (frames_.size() == 1) {
        frames_.clear();
        done_ = true;
      } else {
        frames_.pop_back();
      }
      return {};
  }
  return {};
}

// An error at the innermost frame's instruction goes to the innermost handler that
// traps it, frame by frame outwards; none left: the run ends with it. An interrupt is
// never trapped, so that a cancel always ends the run.
IxError ProcRun::recover(IxError e) {
  while (!frames_.empty()) {
    ProcFrame& f = *frames_.back();
    const Proc& p = *f.proc;
    int best = -1;
    if (e.code != IXR_E_INTERRUPTED) {
      for (size_t i = 0; i < p.handlers.size(); ++i) {
        const ProcHandlerCode& h = p.handlers[i];
        if (f.pc < h.start || f.pc >= h.end) continue;
        if (!h.codes.empty() &&
            std::find(h.codes.begin(), h.codes.end(), e.code) == h.codes.end() &&
            (e.isam == 0 || std::find(h.codes.begin(), h.codes.end(), e.isam) == h.codes.end()))
          continue;
        const ProcHandlerCode* b = best < 0 ? nullptr : &p.handlers[static_cast<size_t>(best)];
        if (!b || h.start > b->start || (h.start == b->start && h.order > b->order))
          best = static_cast<int>(i);
      }
    }
    if (best >= 0) {
      const ProcHandlerCode& h = p.handlers[static_cast<size_t>(best)];
      const Val got[3] = {Val::ofInt(e.code), Val::ofInt(e.isam), Val::ofText(e.name)};
      const IxType gotTypes[3] = {tInteger(), tInteger(), tLvarchar(32739)};
      for (size_t k = 0; k < h.set.size(); ++k)
        if (auto e2 = assign(f, h.set[k], got[k], gotTypes[k])) return e2;
      f.resumeAt[static_cast<size_t>(best)] = p.code[static_cast<size_t>(f.pc)].next;
      f.barriers.push_back({best, f.cursors.size()});
      f.pc = h.body;
      return {};
    }
    if (frames_.size() == 1) break;
    int callPc = f.callPc;
    frames_.pop_back();
    frames_.back()->pc = callPc;
  }
  frames_.clear();
  done_ = true;
  return e;
}

IxError ProcRun::next(bool& produced) {
  produced = false;
  if (done_ || frames_.empty()) return {};
  version_ = schemaVersion(s_);
  while (!frames_.empty()) {
    if (IxError e = step(produced)) {
      if (auto r = recover(std::move(e))) return r;
      continue;
    }
    if (produced) return {};
  }
  done_ = true;
  return {};
}

// --------------------------------------------------------------------------- entry points

namespace {

// The arguments of an EXECUTE PROCEDURE statement: a marker takes its host variable and
// a literal its value as they are; any other expression is evaluated with the markers it
// holds.
IxError topArgs(Session& s, Ast& ast, const Stmt& st, const IxrSqlda* input, std::vector<Val>& vals,
                std::vector<IxType>& types) {
  auto host = [&](int marker, Val& v, IxType& t) -> IxError {
    if (!input || marker >= input->sqld) return ixErr(IXR_E_HOSTVAR_COUNT);
    if (auto e = hostToVal(input->sqlvar[marker], v, t)) return e;
    v = owned(v);
    return {};
  };
  for (size_t k = 0; k < st.args.size(); ++k) {
    const Expr* e = st.args[k];
    Val v;
    IxType t;
    if (e->kind == ExprKind::Marker) {
      if (auto r = host(e->marker, v, t)) return r;
    } else if (e->kind == ExprKind::Literal) {
      v = litVal(e);
      t = litType(e);
    } else {
      // Markers are numbered from the statement's start; the expression's own parse
      // numbers them from 0.
      int base = -1;
      std::vector<const Expr*> todo{e};
      while (!todo.empty()) {
        const Expr* x = todo.back();
        todo.pop_back();
        if (x->kind == ExprKind::Marker && (base < 0 || x->marker < base)) base = x->marker;
        for (const Expr* a : x->args) todo.push_back(a);
      }
      const Span& sp = st.argSpans[k];
      Ast one;
      if (auto r =
              parseSql("SELECT " + ast.text.substr(sp.pos, sp.end - sp.pos), delimIdent(), one))
        return r;
      Translation tr;
      TransCtx ctx = transCtx(s);
      if (auto r = translate(ctx, one, one.stmts[0], tr)) return r;
      sqlite3_stmt* vm = nullptr;
      int rc = sqlite3_prepare_v2(s.db, tr.sql.c_str(), -1, &vm, nullptr);
      if (rc) return fromSqlite(s.db, rc, Op::Other, false);
      IxError r;
      for (size_t m = 0; m < tr.markers.size() && !r; ++m) {
        Val hv, cv;
        IxType ht;
        if ((r = host(base + static_cast<int>(m), hv, ht))) break;
        const MarkerTarget& mt = tr.markers[m];
        if (mt.known && (r = markerValue(hv, ht, mt.type, mt.store, cv))) break;
        bindVal(vm, static_cast<int>(m) + 1, tr.markers[m].known ? cv : hv);
      }
      if (!r) {
        rc = sqlite3_step(vm);
        if (rc == SQLITE_ROW) {
          v = owned(fromColumn(vm, 0));
          t = tr.cols[0].type;
        } else {
          r = fromSqlite(s.db, rc, Op::Read, false);
        }
      }
      sqlite3_finalize(vm);
      if (r) return r;
    }
    vals.push_back(v);
    types.push_back(t);
  }
  return {};
}

IxError startRun(Session& s, Ast& ast, Prepared::Part& part, const IxrSqlda* input, ProcRun& run) {
  std::shared_ptr<Proc> p;
  if (auto e = procLookup(s, part.st->name, p)) return e;
  std::vector<Val> vals;
  std::vector<IxType> types;
  if (auto e = topArgs(s, ast, *part.st, input, vals, types)) return e;
  return run.start(std::move(p), vals, types);
}

}  // namespace

// The session's compiled copy of the procedure, compiled again when the catalog holds
// another one of that name (dropped and created again, here or in another session).
IxError procLookup(Session& s, const std::string& name, std::shared_ptr<Proc>& out) {
  if (!s.db || s.dbname.empty()) return ixErr(IXR_E_NO_DB_SELECTED);
  Sql q(s.db, "SELECT procid FROM sysprocedures WHERE procname = ?1");
  q.bind(1, name);
  if (q.step() != SQLITE_ROW) return ixErr(IXR_E_NO_ROUTINE, name);
  int64_t id = q.i64(0);
  auto it = s.procs.find(name);
  if (it != s.procs.end() && it->second->procid == id) {
    out = it->second;
    return {};
  }
  std::string text;
  Sql b(s.db, "SELECT data FROM sysprocbody WHERE procid = ?1 AND datakey = 'T' ORDER BY seqno");
  b.bind(1, id);
  while (b.step() == SQLITE_ROW) text += b.str(0);
  auto p = std::make_shared<Proc>();
  p->procid = id;
  p->ast = std::make_unique<Ast>();
  if (auto e = parseSql(text, delimIdent(), *p->ast)) return e;
  if (p->ast->stmts.empty() || !p->ast->stmts[0]->proc) return ixErr(IXR_E_SYNTAX, name);
  // The compiler recurses once per nested block (up to 100).
  IxError e;
  onDeepStack([&] {
    Compiler c(s, *p, p->ast->text);
    e = c.run(*p->ast->stmts[0]->proc, name);
  });
  if (e) return e;
  s.procs[name] = p;
  out = std::move(p);
  return {};
}

IxError procCheck(Session& s, Ast& ast, Stmt* create) {
  if (!create->proc) return {};
  IxError e;
  onDeepStack([&] {
    Proc scratch;
    Compiler c(s, scratch, ast.text);
    e = c.run(*create->proc, create->name);
  });
  return e;
}

IxError procPrepare(Session& s, Prepared::Part& part) {
  std::shared_ptr<Proc> p;
  if (auto e = procLookup(s, part.st->name, p)) return e;
  size_t n = part.st->args.size();
  bool fits = n <= p->params;
  for (size_t k = n; fits && k < p->params; ++k) fits = p->slotInit[k] >= 0;
  if (!fits) return ixErr(IXR_E_NO_ROUTINE, part.st->name);
  part.tr = Translation{};
  part.tr.stmtType = IXR_STMT_EXECUTE_PROCEDURE;
  for (size_t k = 0; k < p->returns.size(); ++k) {
    const std::string& n2 = p->returnNames[k];
    part.tr.cols.push_back({n2.empty() ? "(expression)" : n2, p->returns[k]});
  }
  return {};
}

IxError procExecute(Session& s, Ast& ast, Prepared::Part& part, const IxrSqlda* input) {
  ProcRun run(s);
  if (auto e = startRun(s, ast, part, input, run)) return e;
  bool row = false;
  return run.next(row);
}

IxError procOpen(Session& s, Ast& ast, Prepared::Part& part, const IxrSqlda* input, ProcRunPtr& out,
                 bool& row) {
  row = false;
  ProcRunPtr run(new ProcRun(s));
  if (auto e = startRun(s, ast, part, input, *run)) return e;
  if (auto e = run->next(row)) return e;
  out = std::move(run);
  return {};
}

IxError procNext(ProcRun& run, bool& row) { return run.next(row); }

const std::vector<Val>& procRowValues(const ProcRun& run) { return run.row; }
const std::vector<IxType>& procRowTypes(const ProcRun& run) { return run.rowTypes; }

void procForget(Session& s, const std::string& name) { s.procs.erase(name); }

}  // namespace ixr
