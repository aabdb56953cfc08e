// ixr_translate.cpp -- resolution, typing and SQLite emission of Informix DML.
// Two passes per expression: typing resolves names against the scopes and gives every
// node its Informix type (markers take the type of what they meet); emission then writes
// SQLite SQL, converting constants at translate time and wrapping mixed-type operands in
// the server's SQL functions (ix_conv, ix_dcmp, ...). Every table gets a unique SQL
// alias so that correlated references cannot be captured by an inner table.
// Threading: one translation at a time per session.
#include "platform/informix/ixr_translate.h"

#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_decimal.h"

#include <algorithm>
#include <map>
#include <set>

namespace ixr {
namespace {

struct Scope {
  Scope* parent = nullptr;
  std::vector<TableRef*> tabs;
  std::vector<std::string> names;     // name each table answers to (alias or table name)
  std::vector<std::string> sqlAlias;  // unique alias in the emitted SQL
  bool aggOk = false;
  bool unqualified = false;  // CHECK constraints: columns without a table alias
};

bool isConst(const Expr* e) {
  return e->kind == ExprKind::Literal || e->kind == ExprKind::DatetimeLiteral ||
         e->kind == ExprKind::IntervalLiteral;
}
bool isNullLit(const Expr* e) {
  return e->kind == ExprKind::Literal && e->literal == LiteralKind::Null;
}

IxType litType(const Expr* e) {
  switch (e->literal) {
    case LiteralKind::Int: {
      Dec d;
      decParse(e->text, d);
      int64_t v = 0;
      if (decToInt64(d, v) == 0 && v >= INT32_MIN + 1 && v <= INT32_MAX) return tInteger();
      return tDecimal(std::min(32, std::max(1, d.nd)), 0);
    }
    case LiteralKind::Decimal: {
      Dec d;
      decParse(e->text, d);
      int s = std::max(0, d.scale);
      int p = std::max(d.nd, s);
      if (p < 1) p = 1;
      return tDecimal(std::min(32, p), std::min(s, 32));
    }
    case LiteralKind::Float: return tFloat();
    case LiteralKind::String: return tChar(std::max<int>(1, static_cast<int>(e->text.size())));
    case LiteralKind::Null: return tChar(1);
  }
  return tChar(1);
}

Val litVal(const Expr* e) {
  switch (e->literal) {
    case LiteralKind::Int: {
      Dec d;
      int64_t v;
      if (decParse(e->text, d) == 0 && decToInt64(d, v) == 0) return Val::ofInt(v);
      return Val::ofText(e->text);
    }
    case LiteralKind::Decimal: return Val::ofText(e->text);
    case LiteralKind::Float: {
      Dec d;
      decParse(e->text, d);
      return Val::ofReal(decToDouble(d));
    }
    case LiteralKind::String: return Val::ofText(e->text);
    case LiteralKind::Null: return Val::null();
  }
  return Val::null();
}

bool isSimpleCol(const Expr* e) { return e->kind == ExprKind::Column && !e->rowid; }

// What a constant or marker compared with a value of type t converts to: character
// values keep their whole length (a longer text must not compare equal to a cut one).
IxType cmpType(const IxType& t) {
  if (isCharType(t.code) && (t.code & 0xFF) != IXR_TYPE_TEXT) return tLvarchar(32739);
  return t;
}

// The type of a UNION column: the wider of two members' types. t comes from the members
// so far (first is the first member's expression, a NULL there gives way to any type).
IxType widerType(const IxType& t, const IxType& u, const Expr* first) {
  if (first && first->kind == ExprKind::Literal && first->literal == LiteralKind::Null &&
      t.code == IXR_TYPE_CHAR && t.len == 1)
    return u;
  int tc = t.code & 0xFF, uc = u.code & 0xFF;
  if (isCharType(tc) && isCharType(uc) && tc != IXR_TYPE_TEXT && uc != IXR_TYPE_TEXT) {
    int n = std::max(charLength(t), charLength(u));
    if (isPaddedChar(tc) && isPaddedChar(uc)) return tChar(n);
    return n <= 255 ? tVarchar(n) : tLvarchar(std::min(n, 32739));
  }
  if (isNumericType(tc) && isNumericType(uc) && !(t == u)) {
    if (tc == IXR_TYPE_FLOAT || tc == IXR_TYPE_SMALLFLOAT || uc == IXR_TYPE_FLOAT ||
        uc == IXR_TYPE_SMALLFLOAT)
      return tFloat();
    if (isDecimalType(tc) || isDecimalType(uc)) {
      int st = isDecimalType(tc) ? decScale(t) : 0, su = isDecimalType(uc) ? decScale(u) : 0;
      return tDecimal(32, st == 255 || su == 255 ? 255 : std::max(st, su));
    }
    return tInteger();
  }
  return t;
}

bool hasAggregate(const Expr* e) {
  if (e->aggregate) return true;
  for (const Expr* a : e->args)
    if (hasAggregate(a)) return true;
  return false;
}

int commonDtQual(int a, int b) {
  int first = std::min(IXR_QUAL_FIRST(a), IXR_QUAL_FIRST(b));
  int last = std::max(IXR_QUAL_LAST(a), IXR_QUAL_LAST(b));
  return qualMake(first, last, 0, false);
}

IxType numericResult(const IxType& a, const IxType& b, const std::string& op) {
  int ca = a.code & 0xFF, cb = b.code & 0xFF;
  bool fa = ca == IXR_TYPE_FLOAT || ca == IXR_TYPE_SMALLFLOAT;
  bool fb = cb == IXR_TYPE_FLOAT || cb == IXR_TYPE_SMALLFLOAT;
  if (fa || fb) return tFloat();
  bool da = isDecimalType(ca), db = isDecimalType(cb);
  bool ia = isIntType(ca), ib = isIntType(cb);
  if (ia && ib && op != "/") return tInteger();
  if (op == "/") return tDecimal(32, 255);
  int sa = da ? decScale(a) : 0, sb = db ? decScale(b) : 0;
  if ((!da && !ia) || (!db && !ib)) return tDecimal(32, 255);  // text operands
  if (sa == 255 || sb == 255) return tDecimal(32, 255);
  int s = op == "*" ? std::min(32, sa + sb) : std::max(sa, sb);
  IxType r = tDecimal(32, s);
  if (ca == IXR_TYPE_MONEY || cb == IXR_TYPE_MONEY) r.code = IXR_TYPE_MONEY;
  return r;
}

class Tr {
 public:
  Tr(TransCtx& ctx, Ast& ast, Translation& out) : ctx_(ctx), ast_(ast), out_(out) {
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
  std::map<const Select*, std::string> subSql_;
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

  void target(Expr* e, const IxType& t, const std::string& column = {}) {
    if (e->kind == ExprKind::Marker) {
      auto& m = out_.markers[static_cast<size_t>(e->marker)];
      if (!m.known) {
        m.type = t;
        m.known = true;
        m.column = column;
      }
      e->type = t;
      e->typed = true;
    } else if (e->kind == ExprKind::Negate && !e->args.empty()) {
      target(e->args[0], t, column);
    }
  }

  IxError tableRef(TableRef* r, Scope* sc, Scope* outer);
  IxError type(Expr* e, Scope* sc);
  IxError typeCol(Expr* e, Scope* sc);
  IxError typeFunc(Expr* e, Scope* sc);
  std::string emit(Expr* e, Scope* sc);
  std::string emitAs(Expr* e, const IxType& want, Scope* sc);
  std::string emitConv(const std::string& sql, const IxType& from, const IxType& to);
  std::string emitCmp(Expr* l, const std::string& op, Expr* r, Scope* sc);
  std::string emitBin(Expr* e, Scope* sc);
  std::string emitFunc(Expr* e, Scope* sc);
  std::string constSql(Expr* e, const IxType& want);
  IxError expandItems(SelectCore* c, Scope* sc, std::vector<SelItem>& items);
  uint64_t refMask(Expr* e);
  void conjuncts(Expr* e, std::vector<Expr*>& out);
  IxError insert(Stmt* st);
  IxError update(Stmt* st);
  IxError remove(Stmt* st);
  IxError targetTable(Stmt* st, Scope*& sc);
  IxError whereClause(Stmt* st, Scope* sc, std::string sql, Op op, int type, int positionedType);
};

// ------------------------------------------------------------------------- scopes

IxError Tr::tableRef(TableRef* r, Scope* sc, Scope* outer) {
  std::string answer;
  if (r->subquery) {
    std::string sql;
    std::vector<ResultCol> cols;
    if (auto e = query(r->subquery, outer, sql, cols, false)) return fail(e);
    auto def = std::make_shared<TableDef>();
    def->name = r->alias.empty() ? "(subquery)" : r->alias;
    def->tabtype = 'Q';
    for (size_t i = 0; i < cols.size(); ++i) {
      ColumnDef c;
      c.name = cols[i].name;
      c.type = cols[i].type;
      c.colno = static_cast<int>(i + 1);
      def->cols.push_back(c);
    }
    out_.keep.push_back(def);
    r->def = def.get();
    subSql_[r->subquery] = sql;
    answer = r->alias;
  } else {
    TableRefPtr def;
    if (auto e = ctx_.catalog->lookup(r->table, def)) return fail(e);
    out_.keep.push_back(def);
    r->def = def.get();
    answer = r->alias.empty() ? r->table.name : r->alias;
  }
  sc->tabs.push_back(r);
  sc->names.push_back(answer);
  sc->sqlAlias.push_back(uniqueAlias(answer.empty() ? "q" : answer));
  return {};
}

IxError Tr::typeCol(Expr* e, Scope* sc) {
  int depth = 0;
  for (Scope* s = sc; s; s = s->parent, ++depth) {
    int found = -1, col = -1;
    for (size_t t = 0; t < s->tabs.size(); ++t) {
      if (!e->qual.empty() && s->names[t] != e->qual) continue;
      if (e->text == "rowid" && s->tabs[t]->def->tabtype != 'Q' &&
          s->tabs[t]->def->find("rowid") < 0) {
        if (e->qual.empty() && s->tabs.size() > 1) continue;
        found = static_cast<int>(t);
        col = -2;
        break;
      }
      int c = s->tabs[t]->def->find(e->text);
      if (c < 0) continue;
      if (found >= 0) return fail(ixErr(IXR_E_AMBIGUOUS, e->text));
      found = static_cast<int>(t);
      col = c;
    }
    if (found >= 0) {
      e->tableIdx = found;
      e->depth = depth;
      if (col == -2) {
        e->rowid = true;
        e->type = tInteger();
      } else {
        e->colIdx = col;
        e->type = s->tabs[static_cast<size_t>(found)]->def->cols[static_cast<size_t>(col)].type;
      }
      e->typed = true;
      return {};
    }
    if (!e->qual.empty()) {
      bool tableKnown = false;
      for (auto& n : s->names)
        if (n == e->qual) tableKnown = true;
      if (tableKnown) return fail(ixErr(IXR_E_NO_COLUMN, e->qual + "." + e->text));
    }
  }
  if (!e->qual.empty()) {
    bool any = false;
    for (Scope* s = sc; s; s = s->parent)
      for (auto& n : s->names)
        if (n == e->qual) any = true;
    if (!any) return fail(ixErr(IXR_E_NO_TABLE, e->qual));
  }
  return fail(ixErr(IXR_E_NO_COLUMN, e->qual.empty() ? e->text : e->qual + "." + e->text));
}

// ------------------------------------------------------------------------- typing

IxError Tr::type(Expr* e, Scope* sc) {
  if (err_) return err_;
  for (Expr* a : e->args)
    if (e->kind != ExprKind::Function && e->kind != ExprKind::Case && e->kind != ExprKind::Cast &&
        type(a, sc))
      return err_;
  switch (e->kind) {
    case ExprKind::Literal: e->type = litType(e); break;
    case ExprKind::Marker: e->type = tVarchar(255); break;
    case ExprKind::Column: return typeCol(e, sc);
    case ExprKind::Star: return fail(ixErr(IXR_E_SYNTAX, "*"));
    case ExprKind::Negate: e->type = e->args[0]->type; break;
    case ExprKind::Binary: {
      Expr* a = e->args[0];
      Expr* b = e->args[1];
      if (a->kind == ExprKind::Marker && b->kind != ExprKind::Marker)
        target(a, (b->type.code & 0xFF) == IXR_TYPE_DATE && e->op != "|" ? tInteger() : b->type);
      if (b->kind == ExprKind::Marker && a->kind != ExprKind::Marker) {
        int ca = a->type.code & 0xFF;
        target(b, (ca == IXR_TYPE_DATE && e->op != "|") ? tInteger() : a->type);
      }
      auto strLit = [](const Expr* x) {
        return x->kind == ExprKind::Literal && x->literal == LiteralKind::String;
      };
      if ((e->op == "+" || e->op == "-") && strLit(a) && (b->type.code & 0xFF) == IXR_TYPE_DATE)
        a->type = tDate();
      if ((e->op == "+" || e->op == "-") && strLit(b) && (a->type.code & 0xFF) == IXR_TYPE_DATE)
        b->type = tDate();
      int ca = a->type.code & 0xFF, cb = b->type.code & 0xFF;
      if (e->op == "|") {
        int la = charLength(a->type), lb = charLength(b->type);
        if (!isCharType(ca)) la = displayWidth(ca, a->type.len);
        if (!isCharType(cb)) lb = displayWidth(cb, b->type.len);
        int64_t total = static_cast<int64_t>(la) + lb;
        if (isPaddedChar(ca) && isPaddedChar(cb) && total <= 32767)
          e->type = tChar(static_cast<int>(total));
        else if (total <= 255)
          e->type = tVarchar(static_cast<int>(total));
        else
          e->type = tLvarchar(static_cast<int>(std::min<int64_t>(total, 32739)));
        break;
      }
      bool dtA = ca == IXR_TYPE_DATETIME, dtB = cb == IXR_TYPE_DATETIME;
      bool ivA = ca == IXR_TYPE_INTERVAL, ivB = cb == IXR_TYPE_INTERVAL;
      bool dA = ca == IXR_TYPE_DATE, dB = cb == IXR_TYPE_DATE;
      if (e->op == "+" || e->op == "-") {
        if (dA && dB && e->op == "-")
          e->type = tInteger();
        else if (dA && !ivB)
          e->type = tDate();
        else if (dB && !ivA && e->op == "+")
          e->type = tDate();
        else if ((dtA || dA) && ivB)
          e->type = dtA ? a->type
                        : tDatetime(qualMake(IXR_TU_YEAR,
                                             IXR_QUAL_LAST(b->type.len) < IXR_TU_DAY
                                                 ? IXR_TU_DAY
                                                 : IXR_QUAL_LAST(b->type.len),
                                             0, false));
        else if (ivA && (dtB || dB) && e->op == "+")
          e->type = dtB ? b->type : tDate();
        else if (dtA && dtB && e->op == "-") {
          int last = std::max(IXR_QUAL_LAST(a->type.len), IXR_QUAL_LAST(b->type.len));
          if (last < IXR_TU_DAY) last = IXR_TU_DAY;
          e->type = tInterval(qualMake(IXR_TU_DAY, last, 9, true));
        } else if (ivA && ivB) {
          if (ivIsMonths(a->type.len) != ivIsMonths(b->type.len))
            return fail(ixErr(IXR_E_DT_INCOMPATIBLE));
          e->type = a->type;
        } else if (dtA || dtB || ivA || ivB) {
          return fail(ixErr(IXR_E_DT_INCOMPATIBLE));
        } else {
          e->type = numericResult(a->type, b->type, e->op);
        }
      } else {
        if (ivA && !ivB)
          e->type = a->type;
        else if (ivB && !ivA && e->op == "*")
          e->type = b->type;
        else if (dtA || dtB || dA || dB || ivA || ivB)
          return fail(ixErr(IXR_E_DT_INCOMPATIBLE));
        else
          e->type = numericResult(a->type, b->type, e->op);
      }
      break;
    }
    case ExprKind::Compare:
    case ExprKind::Between:
    case ExprKind::Like:
      for (size_t k = 1; k < e->args.size(); ++k) {
        if (e->kind == ExprKind::Like) {
          target(e->args[k], tLvarchar(32739));
          continue;
        }
        if (e->args[k]->kind == ExprKind::Marker) target(e->args[k], cmpType(e->args[0]->type));
      }
      if (e->args[0]->kind == ExprKind::Marker && e->args.size() > 1)
        target(e->args[0], cmpType(e->args[1]->type));
      e->type = tSmallint();
      break;
    case ExprKind::In:
      if (e->subquery) {
        std::string sql;
        std::vector<ResultCol> cols;
        if (auto er = query(e->subquery, sc, sql, cols, false)) return er;
        if (cols.size() != 1) return fail(ixErr(IXR_E_SYNTAX, "IN"));
        subSql_[e->subquery] = sql;
        if (e->args[0]->kind == ExprKind::Marker) target(e->args[0], cmpType(cols[0].type));
      } else {
        for (size_t k = 1; k < e->args.size(); ++k)
          if (e->args[k]->kind == ExprKind::Marker) target(e->args[k], cmpType(e->args[0]->type));
      }
      e->type = tSmallint();
      break;
    case ExprKind::Exists:
    case ExprKind::Subquery: {
      std::string sql;
      std::vector<ResultCol> cols;
      if (auto er = query(e->subquery, sc, sql, cols, false)) return er;
      subSql_[e->subquery] = sql;
      if (e->kind == ExprKind::Subquery) {
        if (cols.size() != 1) return fail(ixErr(IXR_E_SYNTAX, "subquery"));
        e->type = cols[0].type;
      } else {
        e->type = tSmallint();
      }
      break;
    }
    case ExprKind::And:
    case ExprKind::Or:
    case ExprKind::Not:
    case ExprKind::IsNull: e->type = tSmallint(); break;
    case ExprKind::Case: {
      for (Expr* a : e->args)
        if (type(a, sc)) return err_;
      size_t k = e->hasOperand ? 1 : 0;
      bool got = false;
      for (; k + 1 < e->args.size(); k += 2) {
        if (e->hasOperand && e->args[k]->kind == ExprKind::Marker)
          target(e->args[k], e->args[0]->type);
        Expr* res = e->args[k + 1];
        if (!got && !isNullLit(res) && res->kind != ExprKind::Marker) {
          e->type = res->type;
          got = true;
        }
      }
      if (e->hasElse && !got && !isNullLit(e->args.back())) {
        e->type = e->args.back()->type;
        got = true;
      }
      if (!got) e->type = tChar(1);
      for (k = e->hasOperand ? 2 : 1; k < e->args.size(); k += 2)
        if (e->args[k]->kind == ExprKind::Marker) target(e->args[k], e->type);
      if (e->hasElse && e->args.back()->kind == ExprKind::Marker) target(e->args.back(), e->type);
      break;
    }
    case ExprKind::Cast:
      if (type(e->args[0], sc)) return err_;
      if (e->args[0]->kind == ExprKind::Marker) target(e->args[0], e->castType);
      e->type = e->castType;
      if ((e->type.code & 0xFF) == IXR_TYPE_VARCHAR && e->type.len == 0) e->type = tVarchar(255);
      break;
    case ExprKind::Function: return typeFunc(e, sc);
    case ExprKind::Today: e->type = tDate(); break;
    case ExprKind::Current: e->type = tDatetime(e->dtQual); break;
    case ExprKind::User: e->type = tVarchar(32); break;
    case ExprKind::DbServer: e->type = tVarchar(128); break;
    case ExprKind::DatetimeLiteral: {
      DtFields f;
      if (int rc = dtParse(e->text, e->dtQual, f)) return fail(ixErr(rc));
      e->type = tDatetime(e->dtQual);
      break;
    }
    case ExprKind::IntervalLiteral: {
      int64_t v;
      if (int rc = ivParse(e->text, e->dtQual, v)) return fail(ixErr(rc));
      e->type = tInterval(e->dtQual);
      break;
    }
    case ExprKind::Units: {
      int c = e->args[0]->type.code & 0xFF;
      if (!isNumericType(c) && e->args[0]->kind != ExprKind::Marker)
        return fail(ixErr(IXR_E_BAD_CONVERSION));
      if (e->args[0]->kind == ExprKind::Marker) target(e->args[0], tInteger());
      e->type = tInterval(e->dtQual);
      break;
    }
    case ExprKind::Substring: {
      int n = 255;
      Expr* a = e->args[1];
      Expr* b = e->args[2];
      if (a->kind == ExprKind::Literal && b->kind == ExprKind::Literal &&
          a->literal == LiteralKind::Int && b->literal == LiteralKind::Int)
        n = std::max(1, std::stoi(b->text) - std::stoi(a->text) + 1);
      e->type = isPaddedChar(e->args[0]->type.code) ? tChar(n) : tVarchar(std::min(n, 255));
      break;
    }
    case ExprKind::Extend: {
      int c = e->args[0]->type.code & 0xFF;
      int from = c == IXR_TYPE_DATETIME ? e->args[0]->type.len
                                        : qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false);
      if (c != IXR_TYPE_DATETIME && c != IXR_TYPE_DATE && e->args[0]->kind != ExprKind::Literal)
        return fail(ixErr(IXR_E_BAD_CONVERSION));
      if (e->dtQual == -1) e->dtQual = from;
      e->type = tDatetime(e->dtQual);
      break;
    }
  }
  e->typed = true;
  return err_;
}

IxError Tr::typeFunc(Expr* e, Scope* sc) {
  const std::string& f = e->op;
  bool agg = f == "count" || f == "sum" || f == "avg" || f == "min" || f == "max";
  if (agg) {
    if (!sc->aggOk) return fail(ixErr(IXR_E_SYNTAX, f));
    // An aggregate's argument may not hold another aggregate of the same level.
    bool saved = sc->aggOk;
    sc->aggOk = false;
    for (Expr* a : e->args)
      if (a->kind != ExprKind::Star && type(a, sc)) {
        sc->aggOk = saved;
        return err_;
      }
    sc->aggOk = saved;
    e->aggregate = true;
    if (e->args.size() != 1) return fail(ixErr(IXR_E_SYNTAX, f));
    if (e->args[0]->kind == ExprKind::Star && f != "count") return fail(ixErr(IXR_E_SYNTAX, "*"));
    const IxType& at = e->args[0]->type;
    int c = at.code & 0xFF;
    if (f == "count")
      e->type = tDecimal(15, 0);
    else if (f == "min" || f == "max")
      e->type = at;
    else if (c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT)
      e->type = tFloat();
    else if (f == "avg")
      e->type = tDecimal(32, 255);
    else if (isDecimalType(c))
      e->type = {static_cast<int16_t>(c), (32 << 8) | decScale(at)};
    else if (isIntType(c))
      e->type = tDecimal(32, 0);
    else
      return fail(ixErr(IXR_E_BAD_CONVERSION, f));
    if (e->type.code == IXR_TYPE_SERIAL) e->type = tInteger();
    e->type.notnull = false;
    e->typed = true;
    return {};
  }
  for (Expr* a : e->args)
    if (type(a, sc)) return err_;
  auto argc = e->args.size();
  auto need = [&](size_t lo, size_t hi) {
    if (argc < lo || argc > hi) fail(ixErr(IXR_E_SYNTAX, f));
    return !err_;
  };
  auto argType = [&](size_t k) -> const IxType& { return e->args[k]->type; };
  auto strFn = [&](int len) {
    e->type = len <= 255 ? tVarchar(std::max(1, len)) : tLvarchar(std::min(len, 32739));
  };
  if (f == "length" || f == "char_length" || f == "character_length" || f == "octet_length") {
    if (!need(1, 1)) return err_;
    e->type = tInteger();
  } else if (f == "upper" || f == "lower" || f == "initcap") {
    if (!need(1, 1)) return err_;
    e->type = isCharType(argType(0).code) ? argType(0) : tVarchar(255);
    e->type.notnull = false;
  } else if (f == "trim" || f == "ltrim" || f == "rtrim") {
    if (!need(1, 3)) return err_;
    strFn(isCharType(argType(0).code) ? charLength(argType(0)) : 255);
  } else if (f == "substr") {
    if (!need(2, 3)) return err_;
    int n = charLength(argType(0));
    if (argc == 3 && e->args[2]->kind == ExprKind::Literal &&
        e->args[2]->literal == LiteralKind::Int)
      n = std::min(n, std::max(1, std::stoi(e->args[2]->text)));
    strFn(isCharType(argType(0).code) ? n : 255);
    for (size_t k = 1; k < argc; ++k) target(e->args[k], tInteger());
  } else if (f == "replace") {
    if (!need(2, 3)) return err_;
    strFn(isCharType(argType(0).code) ? std::min(32739, charLength(argType(0)) * 2) : 255);
  } else if (f == "lpad" || f == "rpad") {
    if (!need(2, 3)) return err_;
    int n = 255;
    if (e->args[1]->kind == ExprKind::Literal && e->args[1]->literal == LiteralKind::Int)
      n = std::max(1, std::stoi(e->args[1]->text));
    strFn(n);
    target(e->args[1], tInteger());
  } else if (f == "concat") {
    if (!need(2, 2)) return err_;
    strFn(std::min(32739, charLength(argType(0)) + charLength(argType(1))));
  } else if (f == "abs") {
    if (!need(1, 1)) return err_;
    e->type = isNumericType(argType(0).code) ? argType(0) : tDecimal(32, 255);
    if ((e->type.code & 0xFF) == IXR_TYPE_SERIAL) e->type = tInteger();
    e->type.notnull = false;
  } else if (f == "mod") {
    if (!need(2, 2)) return err_;
    e->type = tInteger();
  } else if (f == "round" || f == "trunc") {
    if (!need(1, 2)) return err_;
    int c = argType(0).code & 0xFF;
    if (c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT)
      e->type = tFloat();
    else if (isIntType(c))
      e->type = tInteger();
    else {
      int s = 0;
      if (argc == 2 && e->args[1]->kind == ExprKind::Literal &&
          e->args[1]->literal == LiteralKind::Int)
        s = std::max(0, std::stoi(e->args[1]->text));
      e->type = tDecimal(32, std::min(32, s));
    }
    if (argc == 2) target(e->args[1], tInteger());
  } else if (f == "pow" || f == "power" || f == "sqrt" || f == "exp" || f == "logn" || f == "ln" ||
             f == "log10" || f == "sin" || f == "cos" || f == "tan" || f == "asin" || f == "acos" ||
             f == "atan" || f == "atan2" || f == "root" || f == "ceil" || f == "floor" ||
             f == "ceiling") {
    if (!need(1, 2)) return err_;
    e->type = tFloat();
    for (size_t k = 0; k < argc; ++k) target(e->args[k], tFloat());
  } else if (f == "day" || f == "month" || f == "year" || f == "weekday") {
    if (!need(1, 1)) return err_;
    target(e->args[0], tDate());
    e->type = tSmallint();
  } else if (f == "mdy") {
    if (!need(3, 3)) return err_;
    for (Expr* a : e->args) target(a, tInteger());
    e->type = tDate();
  } else if (f == "date") {
    if (!need(1, 1)) return err_;
    target(e->args[0], tDate());
    e->type = tDate();
  } else if (f == "nvl") {
    if (!need(2, 2)) return err_;
    e->type = isNullLit(e->args[0]) ? argType(1) : argType(0);
    e->type.notnull = false;
    if (e->args[1]->kind == ExprKind::Marker) target(e->args[1], e->type);
  } else if (f == "decode") {
    if (argc < 3) return fail(ixErr(IXR_E_SYNTAX, f));
    bool got = false;
    for (size_t k = 2; k < argc; k += 2)
      if (!got && !isNullLit(e->args[k])) {
        e->type = argType(k);
        got = true;
      }
    if (argc % 2 == 0 && !got) e->type = argType(argc - 1);
    if (!got && argc % 2 != 0) e->type = tChar(1);
    for (size_t k = 1; k + 1 < argc; k += 2) target(e->args[k], argType(0));
  } else if (f == "hex") {
    if (!need(1, 1)) return err_;
    e->type = tChar(10);
  } else if (f == "to_char") {
    if (!need(1, 2)) return err_;
    e->type = tVarchar(255);
  } else if (f == "to_date") {
    if (!need(1, 2)) return err_;
    e->type = tDatetime(IXR_QUAL_YEAR_TO_F5);
  } else if (f == "dbinfo") {
    if (!need(1, 2) || e->args[0]->kind != ExprKind::Literal) return fail(ixErr(IXR_E_SYNTAX, f));
    std::string key = e->args[0]->text;
    for (auto& ch : key) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    e->args[0]->text = key;
    if (key == "sqlca.sqlerrd1" || key == "sqlca.sqlerrd2" || key == "sessionid" ||
        key == "utc_current")
      e->type = tInteger();
    else
      e->type = tVarchar(128);
  } else {
    return fail(ixErr(IXR_E_NO_ROUTINE, f));
  }
  e->typed = true;
  return err_;
}

// ------------------------------------------------------------------------- emission

std::string Tr::constSql(Expr* e, const IxType& want) {
  Val v;
  IxType from;
  if (e->kind == ExprKind::Literal) {
    v = litVal(e);
    from = e->type;
  } else if (e->kind == ExprKind::DatetimeLiteral) {
    DtFields f;
    dtParse(e->text, e->dtQual, f);
    std::string s;
    dtFormat(f, e->dtQual, s);
    v = Val::ofText(s);
    from = e->type;
  } else {
    int64_t iv = 0;
    ivParse(e->text, e->dtQual, iv);
    v = Val::ofInt(iv);
    from = e->type;
  }
  if (v.kind == Val::Null) return "NULL";
  // A numeric literal compared with or assigned to a number stays a number.
  if (e->kind == ExprKind::Literal &&
      (e->literal == LiteralKind::Int || e->literal == LiteralKind::Float ||
       e->literal == LiteralKind::Decimal) &&
      (storeOf(want.code) == Store::Int || storeOf(want.code) == Store::Real) &&
      isNumericType(want.code) && e->literal != LiteralKind::Decimal)
    return sqlLiteral(v);
  Val outv;
  if (auto er = convertValue(v, from, want, outv)) {
    fail(er);
    return "NULL";
  }
  return sqlLiteral(outv);
}

std::string Tr::emitConv(const std::string& sql, const IxType& from, const IxType& to) {
  Store fs = storeOf(from.code), ts = storeOf(to.code);
  int fc = from.code & 0xFF, tc = to.code & 0xFF;
  bool same = fs == ts;
  if (same) {
    switch (ts) {
      case Store::Int:
        same = (fc == IXR_TYPE_DATE) == (tc == IXR_TYPE_DATE) &&
               (fc == IXR_TYPE_INTERVAL) == (tc == IXR_TYPE_INTERVAL) &&
               (tc != IXR_TYPE_INTERVAL || from.len == to.len) &&
               (tc != IXR_TYPE_SMALLINT || fc == IXR_TYPE_SMALLINT);
        break;
      case Store::Real: break;
      case Store::Decimal: same = from.len == to.len || decScale(to) == 255; break;
      case Store::DateTime: same = from.len == to.len; break;
      case Store::Blob: break;
      case Store::Text:
        if (tc == IXR_TYPE_TEXT || tc == IXR_TYPE_LVARCHAR)
          same = true;
        else if (isPaddedChar(tc))
          same = isPaddedChar(fc) && charLength(from) == charLength(to);
        else
          same = !isPaddedChar(fc) && charLength(from) <= charLength(to);
        break;
    }
  }
  if (same) return sql;
  return "ix_conv(" + sql + ", " + std::to_string(from.code & 0xFF) + ", " +
         std::to_string(from.len) + ", " + std::to_string(to.code & 0xFF) + ", " +
         std::to_string(to.len) + ")";
}

std::string Tr::emitAs(Expr* e, const IxType& want, Scope* sc) {
  if (e->kind == ExprKind::Marker) {
    target(e, want);
    return emit(e, sc);
  }
  if (isConst(e)) return constSql(e, want);
  return emitConv(emit(e, sc), e->type, want);
}

std::string Tr::emitCmp(Expr* l, const std::string& op, Expr* r, Scope* sc) {
  const IxType& lt = l->type;
  const IxType& rt = r->type;
  std::string a, b;
  std::string collate;
  bool lc = isConst(l) && !isNullLit(l), rc = isConst(r) && !isNullLit(r);
  Store ls = storeOf(lt.code), rs = storeOf(rt.code);
  if (lc && !rc) {
    a = constSql(l, cmpType(rt));
    b = emit(r, sc);
    ls = rs;
  } else if (rc && !lc) {
    a = emit(l, sc);
    b = constSql(r, cmpType(lt));
    rs = ls;
  } else {
    a = emit(l, sc);
    b = emit(r, sc);
    int lcode = lt.code & 0xFF, rcode = rt.code & 0xFF;
    if (ls != rs) {
      if (ls == Store::Text && rs != Store::Blob && l->kind != ExprKind::Marker)
        a = emitConv(a, lt, rt), ls = rs;
      else if (rs == Store::Text && ls != Store::Blob && r->kind != ExprKind::Marker)
        b = emitConv(b, rt, lt), rs = ls;
      else if (lcode == IXR_TYPE_DATE && rs == Store::DateTime)
        a = emitConv(a, lt, rt), ls = rs;
      else if (rcode == IXR_TYPE_DATE && ls == Store::DateTime)
        b = emitConv(b, rt, lt), rs = ls;
    } else if (ls == Store::DateTime && lt.len != rt.len) {
      int q = commonDtQual(lt.len, rt.len);
      a = emitConv(a, lt, tDatetime(q));
      b = emitConv(b, rt, tDatetime(q));
    }
  }
  bool decimal =
      (ls == Store::Decimal || rs == Store::Decimal) && (ls != Store::Text && rs != Store::Text);
  if (decimal && !(isSimpleCol(l) && storeOf(lt.code) == Store::Decimal) &&
      !(isSimpleCol(r) && storeOf(rt.code) == Store::Decimal))
    return "(ix_dcmp(" + a + ", " + b + ") " + op + " 0)";
  if (ls == Store::Text && rs == Store::Text && (lt.code & 0xFF) != IXR_TYPE_TEXT)
    collate = " COLLATE RTRIM";
  return "(" + a + " " + op + " " + b + collate + ")";
}

std::string Tr::emitBin(Expr* e, Scope* sc) {
  Expr* a = e->args[0];
  Expr* b = e->args[1];
  const IxType& t = e->type;
  int ca = a->type.code & 0xFF, cb = b->type.code & 0xFF, ct = t.code & 0xFF;
  if (e->op == "|") {
    IxType txt = tLvarchar(32739);
    std::string x = isCharType(ca) ? emit(a, sc) : emitAs(a, txt, sc);
    std::string y = isCharType(cb) ? emit(b, sc) : emitAs(b, txt, sc);
    return "(" + x + " || " + y + ")";
  }
  if (ct == IXR_TYPE_DATETIME && (cb == IXR_TYPE_INTERVAL || ca == IXR_TYPE_INTERVAL)) {
    Expr* dt = ca == IXR_TYPE_INTERVAL ? b : a;
    Expr* iv = ca == IXR_TYPE_INTERVAL ? a : b;
    std::string d = emitAs(dt, t, sc);
    return "ix_dtadd(" + d + ", " + std::to_string(t.len) + ", " + emit(iv, sc) + ", " +
           std::to_string(iv->type.len) + ", " + (e->op == "-" ? "-1" : "1") + ")";
  }
  if (ct == IXR_TYPE_DATE && (ca == IXR_TYPE_INTERVAL || cb == IXR_TYPE_INTERVAL)) {
    Expr* iv = ca == IXR_TYPE_INTERVAL ? a : b;
    Expr* d = ca == IXR_TYPE_INTERVAL ? b : a;
    IxType dt = tDatetime(qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false));
    return emitConv("ix_dtadd(" + emitAs(d, dt, sc) + ", " + std::to_string(dt.len) + ", " +
                        emit(iv, sc) + ", " + std::to_string(iv->type.len) + ", " +
                        (e->op == "-" ? "-1" : "1") + ")",
                    dt, tDate());
  }
  if (ct == IXR_TYPE_INTERVAL && ca == IXR_TYPE_DATETIME) {
    return "ix_dtdiff(" + emit(a, sc) + ", " + std::to_string(a->type.len) + ", " +
           emitAs(b, a->type, sc) + ", " + std::to_string(a->type.len) + ", " +
           std::to_string(t.len) + ")";
  }
  if (ct == IXR_TYPE_INTERVAL) {
    if (e->op == "*" || e->op == "/") {
      Expr* iv = ca == IXR_TYPE_INTERVAL ? a : b;
      Expr* n = ca == IXR_TYPE_INTERVAL ? b : a;
      return "CAST(" + emit(iv, sc) + " " + e->op + " CAST(" + emitAs(n, tFloat(), sc) +
             " AS REAL) AS INTEGER)";
    }
    return "(" + emit(a, sc) + " " + e->op + " " + emitAs(b, a->type, sc) + ")";
  }
  if (ct == IXR_TYPE_DATE || (ca == IXR_TYPE_DATE && cb == IXR_TYPE_DATE)) {
    std::string x = emitAs(a, ca == IXR_TYPE_DATE ? tDate() : tInteger(), sc);
    std::string y = emitAs(b, cb == IXR_TYPE_DATE ? tDate() : tInteger(), sc);
    return "(" + x + " " + e->op + " " + y + ")";
  }
  if (isDecimalType(ct)) {
    const char* fn = e->op == "+"   ? "ix_dadd"
                     : e->op == "-" ? "ix_dsub"
                     : e->op == "*" ? "ix_dmul"
                                    : "ix_ddiv";
    IxType dec = tDecimal(32, 255);
    std::string x = isConst(a) ? constSql(a, dec) : emit(a, sc);
    std::string y = isConst(b) ? constSql(b, dec) : emit(b, sc);
    return std::string(fn) + "(" + x + ", " + y + ")";
  }
  if (ct == IXR_TYPE_FLOAT) {
    std::string x = emitAs(a, tFloat(), sc), y = emitAs(b, tFloat(), sc);
    if (e->op == "/") return "(" + x + " / CAST(" + y + " AS REAL))";
    return "(" + x + " " + e->op + " " + y + ")";
  }
  return "(" + emitAs(a, tInteger(), sc) + " " + e->op + " " + emitAs(b, tInteger(), sc) + ")";
}

std::string Tr::emitFunc(Expr* e, Scope* sc) {
  const std::string& f = e->op;
  auto arg = [&](size_t k) { return emit(e->args[k], sc); };
  auto argAs = [&](size_t k, const IxType& t) { return emitAs(e->args[k], t, sc); };
  auto text = [&](size_t k) {
    return isCharType(e->args[k]->type.code) ? arg(k) : argAs(k, tLvarchar(32739));
  };
  size_t argc = e->args.size();
  if (e->aggregate) {
    std::string dist = e->distinct ? "DISTINCT " : "";
    if (e->args[0]->kind == ExprKind::Star) return "count(*)";
    int c = e->args[0]->type.code & 0xFF;
    bool real = c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT;
    if (f == "count") return "count(" + dist + arg(0) + ")";
    if (f == "sum") return (real ? "sum(" : "ix_sum(") + dist + arg(0) + ")";
    if (f == "avg") return (real ? "avg(" : "ix_avg(") + dist + arg(0) + ")";
    return f + "(" + dist + arg(0) + ")";
  }
  if (f == "length") return "length(rtrim(" + text(0) + ", ' '))";
  if (f == "char_length" || f == "character_length") return "length(" + text(0) + ")";
  if (f == "octet_length") return "length(CAST(" + text(0) + " AS BLOB))";
  if (f == "upper" || f == "lower") return f + "(" + text(0) + ")";
  if (f == "initcap") return "ix_initcap(" + text(0) + ")";
  if (f == "trim" || f == "ltrim" || f == "rtrim") {
    std::string mode = f == "ltrim" ? "leading" : f == "rtrim" ? "trailing" : "both";
    std::string chars = "' '";
    if (f == "trim") {
      mode = e->args[1]->text;
      if (argc == 3) chars = text(2);
    } else if (argc == 2) {
      chars = text(1);
    }
    const char* fn = mode == "leading" ? "ltrim" : mode == "trailing" ? "rtrim" : "trim";
    return std::string(fn) + "(" + text(0) + ", " + chars + ")";
  }
  if (f == "substr") {
    std::string s = "substr(" + text(0) + ", " + argAs(1, tInteger());
    if (argc == 3) s += ", " + argAs(2, tInteger());
    return s + ")";
  }
  if (f == "replace")
    return "replace(" + text(0) + ", " + text(1) + ", " + (argc == 3 ? text(2) : "''") + ")";
  if (f == "lpad" || f == "rpad")
    return "ix_" + f + "(" + text(0) + ", " + argAs(1, tInteger()) + ", " +
           (argc == 3 ? text(2) : "' '") + ")";
  if (f == "concat") return "(" + text(0) + " || " + text(1) + ")";
  if (f == "abs")
    return isDecimalType(e->type.code) ? "ix_dabs(" + arg(0) + ")" : "abs(" + arg(0) + ")";
  if (f == "mod") return "(" + argAs(0, tInteger()) + " % " + argAs(1, tInteger()) + ")";
  if (f == "round" || f == "trunc") {
    int c = e->args[0]->type.code & 0xFF;
    std::string n = argc == 2 ? argAs(1, tInteger()) : "0";
    if (c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT)
      return "CAST(ix_" + f + "(" + arg(0) + ", " + n + ") AS REAL)";
    std::string r = "ix_" + f + "(" + (isNumericType(c) ? arg(0) : argAs(0, tDecimal(32, 255))) +
                    ", " + n + ")";
    return isIntType(e->type.code) ? "CAST(" + r + " AS INTEGER)" : r;
  }
  if (f == "ceil" || f == "ceiling") return "ceil(" + argAs(0, tFloat()) + ")";
  if (f == "floor") return "floor(" + argAs(0, tFloat()) + ")";
  if (f == "pow" || f == "power")
    return "pow(" + argAs(0, tFloat()) + ", " + argAs(1, tFloat()) + ")";
  if (f == "root")
    return "pow(" + argAs(0, tFloat()) + ", 1.0 / " + (argc == 2 ? argAs(1, tFloat()) : "2.0") +
           ")";
  if (f == "logn" || f == "ln") return "ln(" + argAs(0, tFloat()) + ")";
  if (f == "sqrt" || f == "exp" || f == "log10" || f == "sin" || f == "cos" || f == "tan" ||
      f == "asin" || f == "acos" || f == "atan")
    return f + "(" + argAs(0, tFloat()) + ")";
  if (f == "atan2") return "atan2(" + argAs(0, tFloat()) + ", " + argAs(1, tFloat()) + ")";
  if (f == "day" || f == "month" || f == "year" || f == "weekday") {
    int part = f == "year" ? 0 : f == "month" ? 1 : f == "day" ? 2 : 3;
    const IxType& t = e->args[0]->type;
    if ((t.code & 0xFF) == IXR_TYPE_DATETIME)
      return "ix_part(" + arg(0) + ", " + std::to_string(t.len) + ", " + std::to_string(part) + ")";
    return "ix_part(" + argAs(0, tDate()) + ", 0, " + std::to_string(part) + ")";
  }
  if (f == "mdy")
    return "ix_mdy(" + argAs(0, tInteger()) + ", " + argAs(1, tInteger()) + ", " +
           argAs(2, tInteger()) + ")";
  if (f == "date") return argAs(0, tDate());
  if (f == "nvl") return "coalesce(" + argAs(0, e->type) + ", " + argAs(1, e->type) + ")";
  if (f == "decode") {
    std::string s = "CASE " + arg(0);
    size_t k = 1;
    for (; k + 1 < argc; k += 2)
      s += " WHEN " + argAs(k, e->args[0]->type) + " THEN " + argAs(k + 1, e->type);
    if (k < argc) s += " ELSE " + argAs(k, e->type);
    return s + " END";
  }
  if (f == "hex") return "printf('0x%08X', " + argAs(0, tInteger()) + ")";
  if (f == "to_char") {
    const IxType& t = e->args[0]->type;
    return "ix_tochar(" + arg(0) + ", " + std::to_string(t.code & 0xFF) + ", " +
           std::to_string(t.len) + ", " + (argc == 2 ? text(1) : "NULL") + ")";
  }
  if (f == "to_date") return "ix_todate(" + text(0) + ", " + (argc == 2 ? text(1) : "NULL") + ")";
  if (f == "dbinfo") {
    const std::string& key = e->args[0]->text;
    if (key == "dbname") return quoteStr(ctx_.dbname);
    if (key == "dbhostname" || key == "servername") return quoteStr(ctx_.server);
    return "ix_dbinfo(" + quoteStr(key) + ")";
  }
  return "NULL";
}

std::string Tr::emit(Expr* e, Scope* sc) {
  if (err_) return "NULL";
  switch (e->kind) {
    case ExprKind::Literal: return constSql(e, e->type);
    case ExprKind::Marker: return "?" + std::to_string(e->marker + 1);
    case ExprKind::Column: {
      Scope* s = sc;
      for (int d = 0; d < e->depth; ++d) s = s->parent;
      if (s->unqualified)
        return e->rowid ? "rowid"
                        : quoteId(s->tabs[static_cast<size_t>(e->tableIdx)]
                                      ->def->cols[static_cast<size_t>(e->colIdx)]
                                      .name);
      std::string a = quoteId(s->sqlAlias[static_cast<size_t>(e->tableIdx)]);
      if (e->rowid) return a + ".rowid";
      return a + "." +
             quoteId(s->tabs[static_cast<size_t>(e->tableIdx)]
                         ->def->cols[static_cast<size_t>(e->colIdx)]
                         .name);
    }
    case ExprKind::Negate:
      if (isDecimalType(e->type.code)) return "ix_dneg(" + emit(e->args[0], sc) + ")";
      if ((e->type.code & 0xFF) == IXR_TYPE_INTERVAL || isNumericType(e->type.code))
        return "(-" + emit(e->args[0], sc) + ")";
      return "(-" + emitAs(e->args[0], tDecimal(32, 255), sc) + ")";
    case ExprKind::Binary: return emitBin(e, sc);
    case ExprKind::Compare: return emitCmp(e->args[0], e->op, e->args[1], sc);
    case ExprKind::And: return "(" + emit(e->args[0], sc) + " AND " + emit(e->args[1], sc) + ")";
    case ExprKind::Or: return "(" + emit(e->args[0], sc) + " OR " + emit(e->args[1], sc) + ")";
    case ExprKind::Not: return "(NOT " + emit(e->args[0], sc) + ")";
    case ExprKind::IsNull:
      return "(" + emit(e->args[0], sc) + (e->negated ? " IS NOT NULL)" : " IS NULL)");
    case ExprKind::Between: {
      std::string s = emitCmp(e->args[0], ">=", e->args[1], sc) + " AND " +
                      emitCmp(e->args[0], "<=", e->args[2], sc);
      return e->negated ? "(NOT (" + s + "))" : "(" + s + ")";
    }
    case ExprKind::In: {
      std::string s = "(" + emit(e->args[0], sc) + (e->negated ? " NOT IN (" : " IN (");
      if (e->subquery) {
        s += subSql_[e->subquery];
      } else {
        for (size_t k = 1; k < e->args.size(); ++k) {
          if (k > 1) s += ", ";
          s += emitAs(e->args[k], cmpType(e->args[0]->type), sc);
        }
      }
      s += "))";
      return s;
    }
    case ExprKind::Like: {
      bool padded = isPaddedChar(e->args[0]->type.code);
      std::string subject = isCharType(e->args[0]->type.code)
                                ? emit(e->args[0], sc)
                                : emitAs(e->args[0], tLvarchar(32739), sc);
      std::string s = std::string(e->op == "like" ? "ix_like(" : "ix_matches(") + subject + ", " +
                      emitAs(e->args[1], tLvarchar(32739), sc) + ", " +
                      (e->args.size() > 2 ? emitAs(e->args[2], tLvarchar(32739), sc) : "NULL") +
                      ", " + (padded ? "1" : "0") + ")";
      return e->negated ? "(NOT " + s + ")" : s;
    }
    case ExprKind::Exists:
      return std::string(e->negated ? "(NOT " : "(") + "EXISTS (" + subSql_[e->subquery] + "))";
    case ExprKind::Subquery: return "(" + subSql_[e->subquery] + ")";
    case ExprKind::Case: {
      std::string s = "CASE";
      size_t k = 0;
      if (e->hasOperand) s += " " + emit(e->args[k++], sc);
      size_t end = e->args.size() - (e->hasElse ? 1 : 0);
      for (; k + 1 < end; k += 2) {
        s += " WHEN " +
             (e->hasOperand ? emitAs(e->args[k], e->args[0]->type, sc) : emit(e->args[k], sc));
        s += " THEN " + emitAs(e->args[k + 1], e->type, sc);
      }
      if (e->hasElse) s += " ELSE " + emitAs(e->args.back(), e->type, sc);
      return s + " END";
    }
    case ExprKind::Cast: return emitAs(e->args[0], e->type, sc);
    case ExprKind::Function: return emitFunc(e, sc);
    case ExprKind::Today: return "ix_today()";
    case ExprKind::Current: return "ix_current(" + std::to_string(e->dtQual) + ")";
    case ExprKind::User: return quoteStr(ctx_.user);
    case ExprKind::DbServer: return quoteStr(ctx_.server);
    case ExprKind::DatetimeLiteral:
    case ExprKind::IntervalLiteral: return constSql(e, e->type);
    case ExprKind::Units: {
      int unit = IXR_QUAL_FIRST(e->dtQual);
      return "CAST(" + emitAs(e->args[0], tFloat(), sc) + " * " + std::to_string(ivUnit(unit)) +
             " AS INTEGER)";
    }
    case ExprKind::Substring:
      return "substr(" + emit(e->args[0], sc) + ", " + emitAs(e->args[1], tInteger(), sc) + ", (" +
             emitAs(e->args[2], tInteger(), sc) + ") - (" + emitAs(e->args[1], tInteger(), sc) +
             ") + 1)";
    case ExprKind::Extend: return emitAs(e->args[0], e->type, sc);
    case ExprKind::Star: return "*";
  }
  return "NULL";
}

// ------------------------------------------------------------------------- queries

IxError Tr::expandItems(SelectCore* c, Scope* sc, std::vector<SelItem>& items) {
  for (const SelItem& it : c->items) {
    if (it.expr->kind != ExprKind::Star) {
      items.push_back(it);
      continue;
    }
    bool any = false;
    for (size_t t = 0; t < sc->tabs.size(); ++t) {
      if (!it.expr->qual.empty() && sc->names[t] != it.expr->qual) continue;
      any = true;
      const TableDef* def = sc->tabs[t]->def;
      for (size_t k = 0; k < def->cols.size(); ++k) {
        Expr* col = ast_.expr(ExprKind::Column, it.expr->pos);
        col->text = def->cols[k].name;
        col->qual = sc->names[t];
        col->tableIdx = static_cast<int>(t);
        col->colIdx = static_cast<int>(k);
        col->type = def->cols[k].type;
        col->typed = true;
        items.push_back({col, {}});
      }
    }
    if (!any)
      return fail(ixErr(it.expr->qual.empty() ? IXR_E_SYNTAX : IXR_E_NO_TABLE,
                        it.expr->qual.empty() ? "*" : it.expr->qual));
  }
  return {};
}

uint64_t Tr::refMask(Expr* e) {
  uint64_t m = 0;
  if (e->kind == ExprKind::Column && e->depth == 0 && e->tableIdx >= 0 && e->tableIdx < 64)
    m |= 1ull << e->tableIdx;
  for (Expr* a : e->args) m |= refMask(a);
  return m;
}

void Tr::conjuncts(Expr* e, std::vector<Expr*>& out) {
  if (e->kind == ExprKind::And) {
    conjuncts(e->args[0], out);
    conjuncts(e->args[1], out);
  } else {
    out.push_back(e);
  }
}

std::string resultName(const SelItem& it) {
  if (!it.alias.empty()) return it.alias;
  const Expr* e = it.expr;
  if (e->kind == ExprKind::Column) return e->rowid ? "rowid" : e->text;
  if (e->kind == ExprKind::Function && e->aggregate) {
    if (e->op == "count" && e->args[0]->kind == ExprKind::Star) return "(count(*))";
    return "(" + e->op + ")";
  }
  if (e->kind == ExprKind::Literal || e->kind == ExprKind::DatetimeLiteral ||
      e->kind == ExprKind::IntervalLiteral)
    return "(constant)";
  return "(expression)";
}

IxError Tr::query(Select* s, Scope* parent, std::string& sql, std::vector<ResultCol>& cols,
                  bool top, const char* colPrefix) {
  std::vector<std::vector<SelItem>> allItems;
  std::vector<Scope*> coreScopes;
  std::vector<std::string> coreSql;
  for (size_t ci = 0; ci < s->cores.size(); ++ci) {
    SelectCore* c = s->cores[ci];
    Scope* sc = newScope(parent);
    coreScopes.push_back(sc);
    for (TableRef* r : c->from)
      if (tableRef(r, sc, parent)) return err_;
    for (TableRef* r : c->from)
      if (r->on && type(r->on, sc)) return err_;
    if (c->where && type(c->where, sc)) return err_;
    std::vector<SelItem> items;
    if (expandItems(c, sc, items)) return err_;
    sc->aggOk = true;
    for (SelItem& it : items)
      if (!it.expr->typed && type(it.expr, sc)) return err_;
    for (Expr* g : c->groupBy)
      if (!(g->kind == ExprKind::Literal && g->literal == LiteralKind::Int)) {
        sc->aggOk = false;
        if (type(g, sc)) return err_;
      }
    sc->aggOk = true;
    if (c->having && type(c->having, sc)) return err_;
    if (c->first) {
      if (type(c->first, sc)) return err_;
      target(c->first, tInteger());
    }
    if (c->skip) {
      if (type(c->skip, sc)) return err_;
      target(c->skip, tInteger());
    }
    if (ci == 0) {
      for (SelItem& it : items)
        cols.push_back({resultName(it), isNullLit(it.expr) ? IxType{} : it.expr->type});
    } else if (items.size() != cols.size()) {
      return fail(ixErr(IXR_E_INSERT_COUNT));
    } else {
      for (size_t k = 0; k < items.size(); ++k)
        if (!isNullLit(items[k].expr))
          cols[k].type = widerType(cols[k].type, items[k].expr->type, allItems[0][k].expr);
    }
    allItems.push_back(std::move(items));
  }
  bool compound = s->cores.size() > 1;
  bool distinct = !compound && s->cores[0]->distinct;
  // ORDER BY: ordinals, result names, or (simple queries) any expression of the query.
  std::vector<std::string> orderSql;
  for (OrderItem& oi : s->order) {
    Expr* e = oi.expr;
    int ord = 0;
    if (e->kind == ExprKind::Literal && e->literal == LiteralKind::Int) {
      ord = std::stoi(e->text);
      if (ord < 1 || ord > static_cast<int>(cols.size())) return fail(ixErr(IXR_E_SYNTAX, e->text));
    } else if (e->kind == ExprKind::Column) {
      const auto& items = allItems[0];
      for (size_t k = 0; k < items.size() && !ord; ++k) {
        if (e->qual.empty() && !items[k].alias.empty() && items[k].alias == e->text)
          ord = static_cast<int>(k + 1);
      }
      if (!ord && (compound || distinct)) {
        for (size_t k = 0; k < items.size() && !ord; ++k) {
          const Expr* ie = items[k].expr;
          if (ie->kind == ExprKind::Column && ie->text == e->text &&
              (e->qual.empty() ||
               e->qual == coreScopes[0]->names[static_cast<size_t>(ie->tableIdx)]))
            ord = static_cast<int>(k + 1);
        }
        if (!ord) return fail(ixErr(IXR_E_ORDER_NOT_SELECTED, e->text));
      }
    } else if (compound || distinct) {
      return fail(ixErr(IXR_E_ORDER_NOT_SELECTED, "(expression)"));
    }
    std::string dir = oi.desc ? " DESC" : "";
    if (ord) {
      orderSql.push_back(std::to_string(ord) + dir);
    } else {
      Scope* sc = coreScopes[0];
      sc->aggOk = true;
      if (type(e, sc)) return err_;
      std::string x = emit(e, sc);
      if (isCharType(e->type.code) && (e->type.code & 0xFF) != IXR_TYPE_TEXT) x += " COLLATE RTRIM";
      orderSql.push_back(x + dir);
    }
  }
  // Positioned updates need the rowid of the row under the cursor.
  SelectCore* c0 = s->cores[0];
  bool rowid = top && s->forUpdate && !compound && c0->from.size() == 1 && !c0->from[0]->subquery &&
               c0->groupBy.empty() && !c0->distinct && !c0->having;
  for (const SelItem& it : allItems[0])
    if (it.expr->aggregate) rowid = false;
  // Emission.
  for (size_t ci = 0; ci < s->cores.size(); ++ci) {
    SelectCore* c = s->cores[ci];
    Scope* sc = coreScopes[ci];
    std::string q = "SELECT ";
    if (c->distinct) q += "DISTINCT ";
    const auto& items = allItems[ci];
    for (size_t k = 0; k < items.size(); ++k) {
      if (k) q += ", ";
      // Members whose values are kept like the result's need no conversion (a shorter
      // text stays as it is); others convert to the result type.
      const IxType& it = items[k].expr->type;
      bool keep =
          !compound || isNullLit(items[k].expr) || storeOf(it.code) == storeOf(cols[k].type.code);
      std::string x = keep ? emit(items[k].expr, sc) : emitAs(items[k].expr, cols[k].type, sc);
      q += x;
      if (ci == 0) {
        std::string name =
            colPrefix ? std::string(colPrefix) + std::to_string(k + 1) : cols[k].name;
        q += " AS " + quoteId(name);
      }
    }
    if (ci == 0 && rowid) q += ", " + quoteId(sc->sqlAlias[0]) + ".rowid";
    bool hasWhere = false;
    if (!c->from.empty()) {
      // Informix OUTER tables: the WHERE conditions that tie an outer table to the
      // tables before it become its LEFT JOIN condition.
      std::vector<Expr*> conj;
      if (c->where) conjuncts(c->where, conj);
      std::vector<bool> moved(conj.size(), false);
      q += " FROM ";
      uint64_t before = 0;
      for (size_t t = 0; t < c->from.size(); ++t) {
        TableRef* r = c->from[t];
        std::string ref = r->subquery ? "(" + subSql_[r->subquery] + ")" : r->def->sqlName();
        ref += " AS " + quoteId(sc->sqlAlias[t]);
        uint64_t bit = t < 64 ? 1ull << t : 0;
        if (t == 0) {
          q += ref;
        } else if (r->join == JoinKind::Inner) {
          q += " JOIN " + ref + " ON " + (r->on ? emit(r->on, sc) : "1");
        } else if (r->join == JoinKind::Left) {
          q += " LEFT JOIN " + ref + " ON " + (r->on ? emit(r->on, sc) : "1");
        } else if (r->outer) {
          std::string on;
          for (size_t k = 0; k < conj.size(); ++k) {
            if (moved[k]) continue;
            uint64_t m = refMask(conj[k]);
            if ((m & bit) && (m & ~(before | bit)) == 0) {
              on += on.empty() ? "" : " AND ";
              on += emit(conj[k], sc);
              moved[k] = true;
            }
          }
          q += " LEFT JOIN " + ref + " ON " + (on.empty() ? "1" : on);
        } else {
          q += ", " + ref;
        }
        before |= bit;
      }
      std::string where;
      for (size_t k = 0; k < conj.size(); ++k) {
        if (moved[k]) continue;
        where += where.empty() ? "" : " AND ";
        where += emit(conj[k], sc);
      }
      if (!where.empty()) {
        q += " WHERE " + where;
        hasWhere = true;
      }
    } else if (c->where) {
      q += " WHERE " + emit(c->where, sc);
      hasWhere = true;
    }
    if (!c->groupBy.empty()) {
      q += " GROUP BY ";
      for (size_t k = 0; k < c->groupBy.size(); ++k) {
        if (k) q += ", ";
        Expr* g = c->groupBy[k];
        q += g->kind == ExprKind::Literal ? g->text : emit(g, sc);
      }
    }
    if (c->having) {
      // HAVING without GROUP BY over a query without aggregates filters rows.
      bool agg = !c->groupBy.empty() || hasAggregate(c->having);
      for (const SelItem& it : items) agg = agg || hasAggregate(it.expr);
      std::string h = emit(c->having, sc);
      if (agg)
        q += " HAVING " + h;
      else
        q += (hasWhere ? " AND " : " WHERE ") + h;
    }
    coreSql.push_back(q);
  }
  if (err_) return err_;
  sql.clear();
  for (size_t ci = 0; ci < coreSql.size(); ++ci) {
    if (ci) sql += s->unionAll[ci - 1] ? " UNION ALL " : " UNION ";
    sql += coreSql[ci];
  }
  if (!orderSql.empty()) {
    sql += " ORDER BY ";
    for (size_t k = 0; k < orderSql.size(); ++k) sql += (k ? ", " : "") + orderSql[k];
  }
  if (c0->first || c0->skip) {
    sql +=
        " LIMIT " + (c0->first ? emitAs(c0->first, tInteger(), coreScopes[0]) : std::string("-1"));
    if (c0->skip) sql += " OFFSET " + emitAs(c0->skip, tInteger(), coreScopes[0]);
  }
  if (top) out_.hasRowid = rowid;
  return err_;
}

// ------------------------------------------------------------------------- DML

IxError Tr::targetTable(Stmt* st, Scope*& sc) {
  sc = newScope(nullptr);
  ast_.refs.emplace_back();
  TableRef* r = &ast_.refs.back();
  r->table = st->table;
  if (auto e = tableRef(r, sc, nullptr)) return e;
  if (r->def->tabtype == 'V') return fail(ixErr(-999, "a view cannot be changed"));
  if (r->def->schema == "sysmaster")
    return fail(ixErr(-999, "the sysmaster database cannot be changed"));
  out_.target = out_.keep.back();
  // Inside UPDATE and DELETE the table is named by itself, not by an alias.
  sc->sqlAlias[0] = r->def->name;
  return {};
}

IxError Tr::insert(Stmt* st) {
  Scope* sc;
  if (auto e = targetTable(st, sc)) return e;
  const TableDef& t = *out_.target;
  std::vector<int> idx;
  if (st->cols.empty()) {
    for (size_t k = 0; k < t.cols.size(); ++k) idx.push_back(static_cast<int>(k));
  } else {
    for (const auto& c : st->cols) {
      int k = t.find(c);
      if (k < 0) return fail(ixErr(IXR_E_NO_COLUMN, c));
      idx.push_back(k);
    }
  }
  std::vector<std::string> vals;
  if (!st->sel) {
    if (st->values.size() != idx.size()) return fail(ixErr(IXR_E_INSERT_COUNT));
    Scope* vs = newScope(nullptr);
    for (size_t k = 0; k < st->values.size(); ++k) {
      Expr* v = st->values[k];
      const ColumnDef& col = t.cols[static_cast<size_t>(idx[k])];
      if (v->kind == ExprKind::Marker) target(v, col.type, col.name);
      if (type(v, vs)) return err_;
      if (isBlobType(col.type.code) && v->kind == ExprKind::Literal &&
          v->literal == LiteralKind::String)
        return fail(ixErr(IXR_E_BLOB_LITERAL, col.name));
      vals.push_back(emitAs(v, col.type, vs));
    }
    // DESCRIBE of an INSERT answers the targets of the markers, in marker order.
    for (const auto& m : out_.markers)
      out_.cols.push_back({m.column.empty() ? "(expression)" : m.column, m.type});
  } else {
    std::string sql;
    std::vector<ResultCol> cols;
    if (auto e = query(st->sel, nullptr, sql, cols, false, "ixc")) return e;
    if (cols.size() != idx.size()) return fail(ixErr(IXR_E_INSERT_COUNT));
    for (size_t k = 0; k < cols.size(); ++k)
      vals.push_back(emitConv(quoteId("ixc" + std::to_string(k + 1)), cols[k].type,
                              t.cols[static_cast<size_t>(idx[k])].type));
    subSql_[st->sel] = sql;
  }
  // SERIAL: the server assigns the next value for 0 or a missing value.
  if (t.serialCol >= 0) {
    auto it = std::find(idx.begin(), idx.end(), t.serialCol);
    if (it == idx.end()) {
      idx.push_back(t.serialCol);
      vals.push_back("ix_serial(0)");
    } else {
      auto& v = vals[static_cast<size_t>(it - idx.begin())];
      v = "ix_serial(" + v + ")";
    }
    out_.serial = true;
  }
  std::string sql = "INSERT INTO " + t.sqlName() + " (";
  for (size_t k = 0; k < idx.size(); ++k)
    sql += (k ? ", " : "") + quoteId(t.cols[static_cast<size_t>(idx[k])].name);
  sql += ") ";
  if (!st->sel) {
    sql += "VALUES (";
    for (size_t k = 0; k < vals.size(); ++k) sql += (k ? ", " : "") + vals[k];
    sql += ")";
  } else {
    sql += "SELECT ";
    for (size_t k = 0; k < vals.size(); ++k) sql += (k ? ", " : "") + vals[k];
    sql += " FROM (" + subSql_[st->sel] + ")";
    // The parser cannot tell "INSERT ... SELECT" from an upsert clause; WHERE true
    // keeps SQLite from reading one.
    sql += " WHERE true";
  }
  out_.sql = sql;
  out_.stmtType = IXR_STMT_INSERT;
  out_.op = Op::Insert;
  return err_;
}

IxError Tr::update(Stmt* st) {
  Scope* sc;
  if (auto e = targetTable(st, sc)) return e;
  const TableDef& t = *out_.target;
  std::string sql = "UPDATE " + t.sqlName() + " SET ";
  std::vector<std::pair<std::string, Expr*>> sets = st->sets;
  if (!sets.empty() && sets[0].first == "*") {
    if (sets.size() != t.cols.size()) return fail(ixErr(IXR_E_INSERT_COUNT));
    for (size_t k = 0; k < sets.size(); ++k) sets[k].first = t.cols[k].name;
  }
  for (size_t k = 0; k < sets.size(); ++k) {
    int c = t.find(sets[k].first);
    if (c < 0) return fail(ixErr(IXR_E_NO_COLUMN, sets[k].first));
    const ColumnDef& col = t.cols[static_cast<size_t>(c)];
    if ((col.type.code & 0xFF) == IXR_TYPE_SERIAL)
      return fail(ixErr(IXR_E_SERIAL_UPDATE, col.name));
    Expr* v = sets[k].second;
    if (v->kind == ExprKind::Marker) target(v, col.type, col.name);
    if (type(v, sc)) return err_;
    if (isBlobType(col.type.code) && v->kind == ExprKind::Literal &&
        v->literal == LiteralKind::String)
      return fail(ixErr(IXR_E_BLOB_LITERAL, col.name));
    sql += (k ? ", " : "") + quoteId(col.name) + " = " + emitAs(v, col.type, sc);
  }
  return whereClause(st, sc, sql, Op::Update, IXR_STMT_UPDATE, IXR_STMT_UPDATE_CURRENT);
}

// WHERE of UPDATE and DELETE: a condition, or the row under a cursor (its rowid binds to
// the parameter after the statement's own markers).
IxError Tr::whereClause(Stmt* st, Scope* sc, std::string sql, Op op, int type, int positionedType) {
  if (st->where) {
    if (this->type(st->where, sc)) return err_;
    sql += " WHERE " + emit(st->where, sc);
  } else if (!st->currentOf.empty()) {
    out_.currentOf = st->currentOf;
    out_.rowidParam = ast_.markers + 1;
    sql += " WHERE rowid = ?" + std::to_string(out_.rowidParam);
  }
  out_.sql = sql;
  out_.stmtType = st->currentOf.empty() ? type : positionedType;
  out_.op = op;
  return err_;
}

IxError Tr::remove(Stmt* st) {
  Scope* sc;
  if (auto e = targetTable(st, sc)) return e;
  const TableDef& t = *out_.target;
  return whereClause(st, sc, "DELETE FROM " + t.sqlName(), Op::Delete, IXR_STMT_DELETE,
                     IXR_STMT_DELETE_CURRENT);
}

IxError Tr::stmt(Stmt* st) {
  switch (st->kind) {
    case StmtKind::Select: {
      std::vector<ResultCol> cols;
      if (auto e = query(st->sel, nullptr, out_.sql, cols, true)) return e;
      out_.cols = std::move(cols);
      out_.op = Op::Read;
      out_.intoTemp = st->sel->intoTemp;
      out_.stmtType = out_.intoTemp.empty() ? IXR_STMT_SELECT : IXR_STMT_SELECT_INTO;
      return {};
    }
    case StmtKind::Insert: return insert(st);
    case StmtKind::Update: return update(st);
    case StmtKind::Delete: return remove(st);
    default: return fail(ixErr(IXR_E_SYNTAX));
  }
}

IxError Tr::check(Expr* e, const TableDef& t, std::string& sql) {
  Scope* sc = newScope(nullptr);
  sc->unqualified = true;
  ast_.refs.emplace_back();
  TableRef* r = &ast_.refs.back();
  r->def = &t;
  sc->tabs.push_back(r);
  sc->names.push_back(t.name);
  sc->sqlAlias.push_back(t.name);
  if (type(e, sc)) return err_;
  if (ast_.markers) return fail(ixErr(IXR_E_SYNTAX, "?"));
  sql = emit(e, sc);
  return err_;
}

}  // namespace

IxError translate(TransCtx& ctx, Ast& ast, Stmt* st, Translation& out) {
  Tr tr(ctx, ast, out);
  return tr.stmt(st);
}

IxError translateQuery(TransCtx& ctx, Ast& ast, Select* sel, std::string& sql,
                       std::vector<ResultCol>& cols) {
  Translation scratch;
  Tr tr(ctx, ast, scratch);
  if (auto e = tr.query(sel, nullptr, sql, cols, false)) return e;
  if (!scratch.markers.empty()) return ixErr(IXR_E_SYNTAX, "?");
  return {};
}

IxError translateCheck(TransCtx& ctx, Ast& ast, Expr* e, const TableDef& table, std::string& sql) {
  Translation scratch;
  Tr tr(ctx, ast, scratch);
  return tr.check(e, table, sql);
}

IxError defaultLiteral(Expr* lit, const IxType& type, std::string& sql) {
  Val v;
  IxType from;
  if (lit->kind == ExprKind::Literal) {
    v = litVal(lit);
    from = litType(lit);
  } else if (lit->kind == ExprKind::DatetimeLiteral) {
    DtFields f;
    if (int rc = dtParse(lit->text, lit->dtQual, f)) return ixErr(rc);
    std::string s;
    dtFormat(f, lit->dtQual, s);
    v = Val::ofText(s);
    from = tDatetime(lit->dtQual);
  } else {
    int64_t iv;
    if (int rc = ivParse(lit->text, lit->dtQual, iv)) return ixErr(rc);
    v = Val::ofInt(iv);
    from = tInterval(lit->dtQual);
  }
  if (isBlobType(type.code)) return ixErr(IXR_E_BLOB_LITERAL);
  Val out;
  if (auto e = convertValue(v, from, type, out)) return e;
  sql = sqlLiteral(out);
  return {};
}

}  // namespace ixr
