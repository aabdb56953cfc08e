// ixr_translator.h -- the state of one translation, shared by the files that translate one
// area each: ixr_translate.cpp (scopes, queries, INSERT/UPDATE/DELETE and the entry
// points), ixr_translate_expr.cpp (typing and emission of expressions) and
// ixr_translate_func.cpp (built-in functions and aggregates).
// Internal to those files: the rest of the runtime sees ixr_translate.h.
// Threading: a Translator lives for one translation on one thread.
// Not here: parsing (the tree arrives whole) and running the SQL it makes.
#pragma once

#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_translate.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ixr {

// The tables one query level sees; a correlated name walks up to the parent.
struct Scope {
  Scope* parent = nullptr;
  std::vector<TableRef*> tables;
  std::vector<std::string> names;     // name each table answers to (alias or table name)
  std::vector<std::string> sqlAlias;  // unique alias in the emitted SQL
  bool aggOk = false;                 // aggregates of this level may appear here
  bool unqualified = false;           // CHECK constraints: columns without a table alias
};

bool isNullLit(const Expr* e);
// The type of a result one of whose values may be a marker's: wide enough for any value
// of the kind `t` stands for, so that fetching it cuts nothing.
IxType markerResultType(const IxType& t);
// The type of a result that answers either a value of `t` or one of `other`: text as
// long as the longer of the two, so that no value of either is cut; `t` for the rest.
IxType widerText(const IxType& t, const IxType& other);
// The value of an integer literal's text clamped to [lo, hi]: a literal may have any
// number of digits.
int literalInt(const std::string& text, int lo, int hi);

// Two passes per expression: typing resolves names against the scopes and gives every
// node its Informix type (markers take the type of what they meet); emission then writes
// SQLite SQL. The first failure is kept in err_; later steps return it unchanged.
class Translator {
 public:
  Translator(TransCtx& ctx, Ast& ast, Translation& out) : ctx_(ctx), ast_(ast), out_(out) {
    out_.markers.assign(static_cast<size_t>(ast.markers), MarkerTarget{});
  }

  IxError stmt(Stmt* st);
  IxError query(Select* s, Scope* parent, std::string& sql, std::vector<ResultCol>& cols, bool top,
                const char* colPrefix = nullptr);
  IxError check(Expr* e, const TableDef& t, std::string& sql);

 private:
  TransCtx& ctx_;
  Ast& ast_;
  Translation& out_;
  std::deque<Scope> scopes_;
  std::set<std::string> aliases_;
  std::map<const Select*, std::string> subSql_;  // the SQL of every subquery, made at typing
  IxError err_;

  IxError fail(IxError e) {
    if (!err_) err_ = std::move(e);
    return err_;
  }

  Scope* newScope(Scope* parent) {
    scopes_.emplace_back();
    scopes_.back().parent = parent;
    return &scopes_.back();
  }

  std::string uniqueAlias(const std::string& base) {
    std::string a = base;
    for (int n = 2; aliases_.count(a); ++n) a = base + "_" + std::to_string(n);
    aliases_.insert(a);
    return a;
  }

  // The host variable's type of marker k, or null when its neighbours choose one.
  const IxType* hostOf(int k) const {
    if (!ctx_.hosts || k < 0 || static_cast<size_t>(k) >= ctx_.hosts->size()) return nullptr;
    const IxType& t = (*ctx_.hosts)[static_cast<size_t>(k)];
    return t.code >= 0 ? &t : nullptr;
  }

  // A marker takes the first type it meets (a negated marker too); `store` when its
  // value is stored into that column. Met `beside` a constant or another marker it keeps
  // its host variable's type instead.
  void target(Expr* e, const IxType& t, const std::string& column = {}, bool store = false,
              const Expr* beside = nullptr) {
    if (e->kind == ExprKind::Marker) {
      auto& m = out_.markers[static_cast<size_t>(e->marker)];
      if (!m.known) {
        m.hostTyped = !store && beside &&
                      (beside->kind == ExprKind::Literal || beside->kind == ExprKind::Marker ||
                       beside->kind == ExprKind::DatetimeLiteral ||
                       beside->kind == ExprKind::IntervalLiteral);
        const IxType* h = m.hostTyped ? hostOf(e->marker) : nullptr;
        m.type = h ? *h : t;
        m.known = true;
        m.store = store;
        m.column = column;
      }
      e->type = m.hostTyped && hostOf(e->marker) ? m.type : t;
      e->typed = true;
    } else if (e->kind == ExprKind::Negate && !e->args.empty()) {
      target(e->args[0], t, column, store, beside);
    }
  }

  // Scopes, queries and data changes (ixr_translate.cpp).
  IxError tableRef(TableRef* r, Scope* sc, Scope* outer);
  IxError expandItems(SelectCore* c, Scope* sc, std::vector<SelItem>& items);
  uint64_t refMask(Expr* e);
  void conjuncts(Expr* e, std::vector<Expr*>& out);
  IxError insert(Stmt* st);
  IxError update(Stmt* st);
  IxError remove(Stmt* st);
  IxError targetTable(Stmt* st, Scope*& sc);
  IxError whereClause(Stmt* st, Scope* sc, std::string sql, Op op, int type, int positionedType);

  // Expressions (ixr_translate_expr.cpp).
  IxError type(Expr* e, Scope* sc);
  IxError typeCol(Expr* e, Scope* sc);
  std::string emit(Expr* e, Scope* sc);
  std::string emitChain(Expr* e, const char* op, Scope* sc);
  std::string emitAs(Expr* e, const IxType& want, Scope* sc);
  std::string emitConv(const std::string& sql, const IxType& from, const IxType& to);
  std::string emitCmp(Expr* l, const std::string& op, Expr* r, Scope* sc);
  std::string emitBin(Expr* e, Scope* sc);
  std::string constSql(Expr* e, const IxType& want);

  // Functions and aggregates (ixr_translate_func.cpp).
  IxError typeFunc(Expr* e, Scope* sc);
  std::string emitFunc(Expr* e, Scope* sc);
};

}  // namespace ixr
