// ixr_translate.cpp -- resolution and SQLite emission of Informix DML: the scopes of
// every query level, SELECT with UNION, Informix OUTER tables (their WHERE conditions
// become LEFT JOIN conditions), ORDER BY ordinals and names, FIRST/SKIP, and INSERT,
// UPDATE and DELETE with their SERIAL and WHERE CURRENT OF bookkeeping. Every table gets
// a unique SQL alias so that correlated references cannot be captured by an inner table.
// Threading: one translation at a time per session.
// Not here: expressions (ixr_translate_expr.cpp) and functions (ixr_translate_func.cpp).
#include "platform/informix/ixr_translator.h"

#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_decimal.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_stack.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace ixr {
namespace {

// The type of a UNION column: the wider of two members' types. t comes from the members
// so far (first is the first member's expression, a NULL there gives way to any type).
IxType widerType(const IxType& t, const IxType& u, const Expr* first) {
  if (first && first->kind == ExprKind::Literal && first->literal == LiteralKind::Null &&
      t.code == IXR_TYPE_CHAR && t.len == 1)
    return u;
  int tc = baseType(t.code), uc = baseType(u.code);
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
      return tDecimal(32,
                      st == kDecFloating || su == kDecFloating ? kDecFloating : std::max(st, su));
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

}  // namespace

// ------------------------------------------------------------------------- scopes

IxError Translator::tableRef(TableRef* r, Scope* sc, Scope* outer) {
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
  sc->tables.push_back(r);
  sc->names.push_back(answer);
  sc->sqlAlias.push_back(uniqueAlias(answer.empty() ? "q" : answer));
  return {};
}

// ------------------------------------------------------------------------- queries

IxError Translator::expandItems(SelectCore* c, Scope* sc, std::vector<SelItem>& items) {
  for (const SelItem& it : c->items) {
    if (it.expr->kind != ExprKind::Star) {
      items.push_back(it);
      continue;
    }
    bool any = false;
    for (size_t t = 0; t < sc->tables.size(); ++t) {
      if (!it.expr->qual.empty() && sc->names[t] != it.expr->qual) continue;
      any = true;
      const TableDef* def = sc->tables[t]->def;
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

uint64_t Translator::refMask(Expr* e) {
  uint64_t m = 0;
  if (e->kind == ExprKind::Column && e->depth == 0 && e->tableIdx >= 0 && e->tableIdx < 64)
    m |= 1ull << e->tableIdx;
  for (Expr* a : e->args) m |= refMask(a);
  return m;
}

void Translator::conjuncts(Expr* e, std::vector<Expr*>& out) {
  if (e->kind == ExprKind::And) {
    conjuncts(e->args[0], out);
    conjuncts(e->args[1], out);
  } else {
    out.push_back(e);
  }
}

IxError Translator::query(Select* s, Scope* parent, std::string& sql, std::vector<ResultCol>& cols,
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
      ord = literalInt(e->text, INT_MIN, INT_MAX);
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
      if (isCharType(e->type.code) && baseType(e->type.code) != IXR_TYPE_TEXT)
        x += " COLLATE RTRIM";
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

IxError Translator::targetTable(Stmt* st, Scope*& sc) {
  sc = newScope(nullptr);
  ast_.refs.emplace_back();
  TableRef* r = &ast_.refs.back();
  r->table = st->table;
  if (auto e = tableRef(r, sc, nullptr)) return e;
  if (r->def->tabtype == 'V') return fail(ixErr(IXR_E_UNSUPPORTED, "a view cannot be changed"));
  if (r->def->schema == "sysmaster")
    return fail(ixErr(IXR_E_UNSUPPORTED, "the sysmaster database cannot be changed"));
  out_.target = out_.keep.back();
  // Inside UPDATE and DELETE the table is named by itself, not by an alias.
  sc->sqlAlias[0] = r->def->name;
  return {};
}

IxError Translator::insert(Stmt* st) {
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
  if (!st->select) {
    if (st->values.size() != idx.size()) return fail(ixErr(IXR_E_INSERT_COUNT));
    Scope* vs = newScope(nullptr);
    for (size_t k = 0; k < st->values.size(); ++k) {
      Expr* v = st->values[k];
      const ColumnDef& col = t.cols[static_cast<size_t>(idx[k])];
      if (v->kind == ExprKind::Marker) target(v, col.type, col.name, true);
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
    if (auto e = query(st->select, nullptr, sql, cols, false, "ixc")) return e;
    if (cols.size() != idx.size()) return fail(ixErr(IXR_E_INSERT_COUNT));
    for (size_t k = 0; k < cols.size(); ++k)
      vals.push_back(emitConv(quoteId("ixc" + std::to_string(k + 1)), cols[k].type,
                              t.cols[static_cast<size_t>(idx[k])].type));
    subSql_[st->select] = sql;
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
  if (!st->select) {
    sql += "VALUES (";
    for (size_t k = 0; k < vals.size(); ++k) sql += (k ? ", " : "") + vals[k];
    sql += ")";
  } else {
    sql += "SELECT ";
    for (size_t k = 0; k < vals.size(); ++k) sql += (k ? ", " : "") + vals[k];
    sql += " FROM (" + subSql_[st->select] + ")";
    // The parser cannot tell "INSERT ... SELECT" from an upsert clause; WHERE true
    // keeps SQLite from reading one.
    sql += " WHERE true";
  }
  out_.sql = sql;
  out_.stmtType = IXR_STMT_INSERT;
  out_.op = Op::Insert;
  return err_;
}

IxError Translator::update(Stmt* st) {
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
    if (baseType(col.type.code) == IXR_TYPE_SERIAL)
      return fail(ixErr(IXR_E_SERIAL_UPDATE, col.name));
    Expr* v = sets[k].second;
    if (v->kind == ExprKind::Marker) target(v, col.type, col.name, true);
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
IxError Translator::whereClause(Stmt* st, Scope* sc, std::string sql, Op op, int type,
                                int positionedType) {
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

IxError Translator::remove(Stmt* st) {
  Scope* sc;
  if (auto e = targetTable(st, sc)) return e;
  const TableDef& t = *out_.target;
  return whereClause(st, sc, "DELETE FROM " + t.sqlName(), Op::Delete, IXR_STMT_DELETE,
                     IXR_STMT_DELETE_CURRENT);
}

IxError Translator::stmt(Stmt* st) {
  switch (st->kind) {
    case StmtKind::Select: {
      std::vector<ResultCol> cols;
      if (auto e = query(st->select, nullptr, out_.sql, cols, true)) return e;
      out_.cols = std::move(cols);
      out_.op = Op::Read;
      out_.intoTemp = st->select->intoTemp;
      out_.stmtType = out_.intoTemp.empty() ? IXR_STMT_SELECT : IXR_STMT_SELECT_INTO;
      return {};
    }
    case StmtKind::Insert: return insert(st);
    case StmtKind::Update: return update(st);
    case StmtKind::Delete: return remove(st);
    default: return fail(ixErr(IXR_E_SYNTAX));
  }
}

IxError Translator::check(Expr* e, const TableDef& t, std::string& sql) {
  Scope* sc = newScope(nullptr);
  sc->unqualified = true;
  ast_.refs.emplace_back();
  TableRef* r = &ast_.refs.back();
  r->def = &t;
  sc->tables.push_back(r);
  sc->names.push_back(t.name);
  sc->sqlAlias.push_back(t.name);
  if (type(e, sc)) return err_;
  if (ast_.markers) return fail(ixErr(IXR_E_SYNTAX, "?"));
  sql = emit(e, sc);
  return err_;
}

int literalInt(const std::string& text, int lo, int hi) {
  // strtoll saturates where the digits run past its range.
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(v, lo, hi));
}

// ------------------------------------------------------------------------- entry points

// The translator recurses once per level of the tree, which the parser bounded.
IxError translate(TransCtx& ctx, Ast& ast, Stmt* st, Translation& out) {
  IxError e;
  onDeepStack([&] {
    Translator tr(ctx, ast, out);
    e = tr.stmt(st);
  });
  // A marker nothing gave a type to has its host variable's, when that is known.
  for (size_t k = 0; k < out.markers.size(); ++k) {
    MarkerTarget& m = out.markers[k];
    if (m.known || !m.seen) continue;
    m.hostTyped = true;
    if (ctx.hosts && k < ctx.hosts->size() && (*ctx.hosts)[k].code >= 0) {
      m.type = (*ctx.hosts)[k];
      m.known = true;
    }
  }
  return e;
}

std::vector<IxType> hostSignature(const std::vector<bool>& typed, const IxrSqlda* input) {
  std::vector<IxType> sig;
  if (!input) return sig;
  bool any = false;
  for (size_t k = 0; k < typed.size() && k < static_cast<size_t>(input->sqld); ++k) {
    IxType t{-1, 0};
    if (typed[k]) t = hostDeclaredType(input->sqlvar[k]);
    if (t.code >= 0) {
      if (!any) sig.assign(k, IxType{-1, 0});
      any = true;
    }
    if (any) sig.push_back(t);
  }
  return sig;
}

IxError translateQuery(TransCtx& ctx, Ast& ast, Select* sel, std::string& sql,
                       std::vector<ResultCol>& cols) {
  IxError e;
  onDeepStack([&] {
    Translation scratch;
    Translator tr(ctx, ast, scratch);
    e = tr.query(sel, nullptr, sql, cols, false);
    if (!e && !scratch.markers.empty()) e = ixErr(IXR_E_SYNTAX, "?");
  });
  return e;
}

IxError translateCheck(TransCtx& ctx, Ast& ast, Expr* e, const TableDef& table, std::string& sql) {
  IxError r;
  onDeepStack([&] {
    Translation scratch;
    Translator tr(ctx, ast, scratch);
    r = tr.check(e, table, sql);
  });
  return r;
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
