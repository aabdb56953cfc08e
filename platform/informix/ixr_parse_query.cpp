// ixr_parse_query.cpp -- queries and data changes of the embedded server's SQL: SELECT
// with UNION, FIRST/SKIP, DISTINCT, Informix OUTER tables and ANSI joins, derived tables,
// ORDER BY and the INTO TEMP / FOR UPDATE / FOR READ ONLY tail; INSERT with VALUES or a
// query; UPDATE with single or parenthesised SET lists; DELETE; WHERE CURRENT OF.
// Threading: one Parser per thread.
// Not here: resolving names or checking a select list against GROUP BY (translator).
#include "platform/informix/ixr_parser.h"

namespace ixr {
namespace {

// Words that end a select item or a table reference instead of naming an alias.
bool isClauseWord(const std::string& w) {
  static const char* kWords[] = {
      "from",    "where", "group",   "having",  "order",  "union",  "into",  "for",
      "on",      "join",  "inner",   "left",    "right",  "outer",  "cross", "full",
      "natural", "with",  "limit",   "as",      "and",    "or",     "not",   "is",
      "in",      "like",  "matches", "between", "escape", "units",  "desc",  "asc",
      "then",    "else",  "when",    "end",     "set",    "values", "by"};
  for (const char* k : kWords)
    if (w == k) return true;
  return false;
}

// Words that start a statement of a procedure body. A FOREACH query is followed by its
// body without a ';', so none of them can be an alias there.
bool isBodyWord(const std::string& w) {
  static const char* kWords[] = {"let",      "if",       "for",    "foreach", "while",  "exit",
                                 "continue", "return",   "raise",  "call",    "begin",  "execute",
                                 "insert",   "update",   "delete", "select",  "create", "drop",
                                 "alter",    "rename",   "grant",  "revoke",  "lock",   "unlock",
                                 "commit",   "rollback", "define"};
  for (const char* k : kWords)
    if (w == k) return true;
  return false;
}

}  // namespace

bool Parser::aliasNext() const {
  if (cur().kind == TokenKind::DoubleQuoted) return delimIdent_;
  return cur().kind == TokenKind::Word && !isClauseWord(cur().text) &&
         !(inProc_ && isBodyWord(cur().text));
}

Select* Parser::query() {
  Level level(*this);
  Select* s = queryNode();
  if (!err_ && height(s) > kMaxNesting) tooComplex();
  return s;
}

Select* Parser::queryNode() {
  ast_.selects.emplace_back();
  Select* s = &ast_.selects.back();
  s->pos = cur().pos;
  s->cores.push_back(member());
  while (!err_ && is("union")) {
    advance();
    s->unionAll.push_back(accept("all"));
    s->cores.push_back(member());
  }
  if (accept("order")) {
    expect("by");
    do {
      OrderItem oi;
      oi.expr = expr();
      oi.desc = acceptDescending();
      s->order.push_back(oi);
    } while (!err_ && acceptOp(","));
  }
  tail(s);
  s->end = cur().pos;
  return s;
}

void Parser::tail(Select* s) {
  while (!err_) {
    if (is("into") && peekIs(1, "temp")) {
      advance(2);
      s->intoTemp = ident();
      if (accept("with")) {
        expect("no");
        expect("log");
      }
    } else if (is("for") && peekIs(1, "update")) {
      advance(2);
      s->forUpdate = true;
      if (accept("of")) {
        do ident();
        while (!err_ && acceptOp(","));
      }
    } else if (is("for") && peekIs(1, "read")) {
      advance(2);
      expect("only");
    } else {
      break;
    }
  }
}

SelectCore* Parser::member() {
  if (isOp("(")) {
    advance();
    Select* inner = query();
    expectOp(")");
    if (err_) return nullptr;
    if (inner->cores.size() != 1 || !inner->order.empty()) {
      fail();
      return nullptr;
    }
    return inner->cores[0];
  }
  return core();
}

SelectCore* Parser::core() {
  ast_.cores.emplace_back();
  SelectCore* c = &ast_.cores.back();
  expect("select");
  while (!err_) {
    bool numNext = peek().kind == TokenKind::Number || peekIsOp(1, "?");
    if (is("skip") && numNext) {
      advance();
      c->skip = primary();
    } else if ((is("first") || is("limit")) && numNext) {
      advance();
      c->first = primary();
    } else {
      break;
    }
  }
  if (accept("distinct") || accept("unique")) {
    c->distinct = true;
  } else {
    accept("all");
  }
  do {
    SelItem it;
    it.expr = expr();
    if (accept("as") || aliasNext()) it.alias = ident();
    c->items.push_back(it);
  } while (!err_ && acceptOp(","));
  if (is("into") && !peekIs(1, "temp")) {
    if (!inProc_) {
      fail();
      return c;
    }
    advance();
    do c->into.push_back(ident());
    while (!err_ && acceptOp(","));
  }
  if (accept("from")) fromList(c->from);
  if (accept("where")) c->where = expr();
  if (accept("group")) {
    expect("by");
    do c->groupBy.push_back(expr());
    while (!err_ && acceptOp(","));
  }
  if (accept("having")) c->having = expr();
  return c;
}

TableRef* Parser::tableRef() {
  ast_.refs.emplace_back();
  TableRef* r = &ast_.refs.back();
  if (isOp("(")) {
    advance();
    r->subquery = query();
    expectOp(")");
  } else {
    accept("table");  // TABLE(...) is not supported; plain names only
    r->table = tableName();
  }
  if (accept("as") || (cur().kind == TokenKind::Word && aliasNext())) r->alias = ident();
  return r;
}

void Parser::fromList(std::vector<TableRef*>& from) {
  while (!err_) {
    bool outer = accept("outer");
    if (outer && isOp("(")) {
      // OUTER (a, b): each member joins as an outer table.
      advance();
      do {
        TableRef* r = tableRef();
        r->outer = true;
        from.push_back(r);
      } while (!err_ && acceptOp(","));
      expectOp(")");
    } else {
      TableRef* r = tableRef();
      r->outer = outer;
      from.push_back(r);
    }
    // ANSI joins after a table; CROSS JOIN is an inner join without a condition.
    while (!err_) {
      JoinKind join = JoinKind::Inner;
      bool cross = false;
      if (is("join") || (is("inner") && peekIs(1, "join"))) {
        if (is("inner")) advance();
      } else if (is("left")) {
        advance();
        accept("outer");
        join = JoinKind::Left;
      } else if (is("cross") && peekIs(1, "join")) {
        advance();
        cross = true;
      } else {
        break;
      }
      expect("join");
      TableRef* r = tableRef();
      r->join = join;
      if (!cross) {
        expect("on");
        r->on = expr();
      }
      from.push_back(r);
    }
    if (!acceptOp(",")) break;
  }
}

void Parser::whereOrCurrent(Stmt* st) {
  if (accept("where")) {
    if (is("current") && peekIs(1, "of")) {
      advance(2);
      st->currentOf = ident();
    } else {
      st->where = expr();
    }
  }
}

Stmt* Parser::insertStmt(size_t pos) {
  Stmt* st = newStmt(StmtKind::Insert, pos);
  expect("into");
  st->table = tableName();
  if (isOp("(") && !peekIs(1, "select")) {
    advance();
    do st->cols.push_back(ident());
    while (!err_ && acceptOp(","));
    expectOp(")");
  }
  if (accept("values")) {
    expectOp("(");
    do st->values.push_back(expr());
    while (!err_ && acceptOp(","));
    expectOp(")");
  } else if (is("select") || isOp("(")) {
    st->select = query();
  } else {
    fail();
  }
  return st;
}

Stmt* Parser::deleteStmt(size_t pos) {
  Stmt* st = newStmt(StmtKind::Delete, pos);
  accept("from");
  st->table = tableName();
  whereOrCurrent(st);
  return st;
}

Stmt* Parser::updateStmt(size_t pos) {
  Stmt* st = newStmt(StmtKind::Update, pos);
  st->table = tableName();
  expect("set");
  if (isOp("(") || isOp("*")) {
    // SET (a, b) = (x, y)
    std::vector<std::string> names;
    if (acceptOp("*")) {
      names.push_back("*");
    } else {
      expectOp("(");
      do names.push_back(ident());
      while (!err_ && acceptOp(","));
      expectOp(")");
    }
    expectOp("=");
    expectOp("(");
    std::vector<Expr*> vals;
    do vals.push_back(expr());
    while (!err_ && acceptOp(","));
    expectOp(")");
    if (names.size() == 1 && names[0] == "*") {
      for (Expr* v : vals) st->sets.emplace_back("*", v);
    } else if (names.size() != vals.size()) {
      err_ = ixErr(IXR_E_INSERT_COUNT);
    } else {
      for (size_t k = 0; k < names.size(); ++k) st->sets.emplace_back(names[k], vals[k]);
    }
  } else {
    do {
      std::string c = ident();
      if (acceptOp(".")) c = ident();  // table.column
      expectOp("=");
      st->sets.emplace_back(c, expr());
    } while (!err_ && acceptOp(","));
  }
  whereOrCurrent(st);
  return st;
}

}  // namespace ixr
