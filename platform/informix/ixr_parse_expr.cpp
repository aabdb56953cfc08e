// ixr_parse_expr.cpp -- expressions of the embedded server's SQL, by precedence from OR
// down to primaries: comparisons (with = ANY and <> ALL as IN and NOT IN), IS NULL,
// BETWEEN, IN, LIKE and MATCHES, concatenation, arithmetic, casts, substrings, UNITS,
// literals (DATETIME and INTERVAL included), markers, subqueries, CASE, function calls
// and column references. Unary minus folds into numeric literals.
// Threading: one Parser per thread.
// Not here: what names and functions mean, and the types of the operands (translator).
#include "platform/informix/ixr_parser.h"

#include "platform/informix/ixr_datetime.h"

namespace ixr {

Expr* Parser::orExpr() {
  Expr* l = andExpr();
  while (!err_ && is("or")) {
    Expr* e = ast_.expr(ExprKind::Or, cur().pos);
    advance();
    e->args = {l, andExpr()};
    l = bounded(e);
  }
  return l;
}

Expr* Parser::andExpr() {
  Expr* l = notExpr();
  while (!err_ && is("and")) {
    Expr* e = ast_.expr(ExprKind::And, cur().pos);
    advance();
    e->args = {l, notExpr()};
    l = bounded(e);
  }
  return l;
}

Expr* Parser::notExpr() {
  if (is("not")) {
    Level level(*this);
    if (err_) return ast_.expr(ExprKind::Literal, cur().pos);
    Expr* e = ast_.expr(ExprKind::Not, cur().pos);
    advance();
    e->args = {notExpr()};
    return bounded(e);
  }
  return predicate();
}

Expr* Parser::predicate() { return bounded(predicateNode()); }

Expr* Parser::predicateNode() {
  Expr* l = concatExpr();
  if (err_) return l;
  size_t pos = cur().pos;
  if (cur().kind == TokenKind::Operator) {
    std::string o = cur().text;
    if (o == "=" || o == "==" || o == "<>" || o == "!=" || o == "<" || o == "<=" || o == ">" ||
        o == ">=") {
      advance();
      if (o == "==") o = "=";
      if (o == "!=") o = "<>";
      // x = ANY (subquery) is IN; x <> ALL (subquery) is NOT IN.
      if ((is("any") || is("some") || is("all")) && peekIsOp(1, "(")) {
        bool all = is("all");
        advance();
        if ((o == "=" && !all) || (o == "<>" && all)) {
          Expr* e = ast_.expr(ExprKind::In, pos);
          e->negated = all;
          expectOp("(");
          e->subquery = query();
          expectOp(")");
          e->args = {l};
          return e;
        }
        fail();
        return l;
      }
      Expr* e = ast_.expr(ExprKind::Compare, pos);
      e->op = o;
      e->args = {l, concatExpr()};
      return e;
    }
    return l;
  }
  bool neg = false;
  if (is("is")) {
    advance();
    neg = accept("not");
    expect("null");
    Expr* e = ast_.expr(ExprKind::IsNull, pos);
    e->negated = neg;
    e->args = {l};
    return e;
  }
  if (is("not") &&
      (peekIs(1, "between") || peekIs(1, "in") || peekIs(1, "like") || peekIs(1, "matches"))) {
    advance();
    neg = true;
  }
  if (accept("between")) {
    Expr* e = ast_.expr(ExprKind::Between, pos);
    e->negated = neg;
    Expr* lo = concatExpr();
    expect("and");
    e->args = {l, lo, concatExpr()};
    return e;
  }
  if (accept("in")) {
    Expr* e = ast_.expr(ExprKind::In, pos);
    e->negated = neg;
    e->args = {l};
    expectOp("(");
    if (is("select")) {
      e->subquery = query();
    } else {
      do {
        e->args.push_back(concatExpr());
      } while (!err_ && acceptOp(","));
    }
    expectOp(")");
    return e;
  }
  if (is("like") || is("matches")) {
    Expr* e = ast_.expr(ExprKind::Like, pos);
    e->op = cur().text;
    advance();
    e->negated = neg;
    e->args = {l, concatExpr()};
    if (accept("escape")) e->args.push_back(concatExpr());
    return e;
  }
  if (neg) fail();
  return l;
}

Expr* Parser::concatExpr() {
  Expr* l = addExpr();
  while (!err_ && isOp("||")) {
    Expr* e = ast_.expr(ExprKind::Binary, cur().pos);
    advance();
    e->op.assign(1, '|');  // the concatenation operator
    e->args = {l, addExpr()};
    l = bounded(e);
  }
  return l;
}

Expr* Parser::addExpr() {
  Expr* l = mulExpr();
  while (!err_ && (isOp("+") || isOp("-"))) {
    Expr* e = ast_.expr(ExprKind::Binary, cur().pos);
    e->op = cur().text;
    advance();
    e->args = {l, mulExpr()};
    l = bounded(e);
  }
  return l;
}

Expr* Parser::mulExpr() {
  Expr* l = unary();
  while (!err_ && (isOp("*") || isOp("/"))) {
    Expr* e = ast_.expr(ExprKind::Binary, cur().pos);
    e->op = cur().text;
    advance();
    e->args = {l, unary()};
    l = bounded(e);
  }
  return l;
}

Expr* Parser::unary() {
  if (isOp("-") || isOp("+")) {
    Level level(*this);
    if (err_) return ast_.expr(ExprKind::Literal, cur().pos);
    bool minus = isOp("-");
    size_t pos = cur().pos;
    advance();
    Expr* a = unary();
    if (!minus || err_) return a;
    if (a->kind == ExprKind::Literal &&
        (a->literal == LiteralKind::Int || a->literal == LiteralKind::Decimal ||
         a->literal == LiteralKind::Float)) {
      a->text = a->text[0] == '-' ? a->text.substr(1) : "-" + a->text;
      return a;
    }
    Expr* e = ast_.expr(ExprKind::Negate, pos);
    e->args = {a};
    return bounded(e);
  }
  return postfix();
}

Expr* Parser::postfix() {
  Expr* e = primary();
  while (!err_) {
    if (isOp("::")) {
      Expr* c = ast_.expr(ExprKind::Cast, cur().pos);
      advance();
      c->castType = typeSpec(nullptr);
      c->args = {e};
      e = bounded(c);
    } else if (isOp("[") && e->kind == ExprKind::Column) {
      Expr* s = ast_.expr(ExprKind::Substring, cur().pos);
      advance();
      Expr* a = concatExpr();
      Expr* b = a;
      if (acceptOp(",")) b = concatExpr();
      expectOp("]");
      s->args = {e, a, b};
      e = bounded(s);
    } else if (is("units")) {
      Expr* u = ast_.expr(ExprKind::Units, cur().pos);
      advance();
      int d;
      int unit = qualField(d);
      u->dtQual = qualMake(unit, unit, 9, true);
      u->args = {e};
      e = bounded(u);
    } else {
      break;
    }
  }
  return e;
}

std::string Parser::rawParens() {
  // The text between '(' and its ')' as written (DATETIME and INTERVAL literals).
  expectOp("(");
  if (err_) return {};
  size_t b = cur().pos;
  int depth = 0;
  while (cur().kind != TokenKind::End && !(depth == 0 && isOp(")"))) {
    if (isOp("(")) ++depth;
    if (isOp(")")) --depth;
    advance();
  }
  size_t e = cur().pos;
  expectOp(")");
  return src_.substr(b, e - b);
}

Expr* Parser::primary() {
  Level level(*this);
  return bounded(primaryNode());
}

Expr* Parser::primaryNode() {
  const Token& t = cur();
  size_t pos = t.pos;
  switch (t.kind) {
    case TokenKind::Number: {
      Expr* e = ast_.expr(ExprKind::Literal, pos);
      e->text = t.text;
      bool dot = t.text.find('.') != std::string::npos;
      bool ex = t.text.find_first_of("eE") != std::string::npos;
      e->literal = ex ? LiteralKind::Float : dot ? LiteralKind::Decimal : LiteralKind::Int;
      advance();
      return e;
    }
    case TokenKind::String:
    case TokenKind::DoubleQuoted: {
      if (t.kind == TokenKind::DoubleQuoted && delimIdent_) break;
      Expr* e = ast_.expr(ExprKind::Literal, pos);
      e->literal = LiteralKind::String;
      e->text = t.text;
      advance();
      return e;
    }
    case TokenKind::Operator:
      if (t.text == "?") {
        Expr* e = ast_.expr(ExprKind::Marker, pos);
        e->marker = markers_++;
        advance();
        return e;
      }
      if (t.text == "(") {
        advance();
        if (is("select")) {
          Expr* e = ast_.expr(ExprKind::Subquery, pos);
          e->subquery = query();
          expectOp(")");
          return e;
        }
        Expr* e = expr();
        expectOp(")");
        return e;
      }
      if (t.text == "*") {
        Expr* e = ast_.expr(ExprKind::Star, pos);
        advance();
        return e;
      }
      fail();
      return ast_.expr(ExprKind::Literal, pos);
    case TokenKind::End: fail(); return ast_.expr(ExprKind::Literal, pos);
    default: break;
  }
  std::string w = cur().kind == TokenKind::DoubleQuoted ? std::string() : t.text;
  bool call = peekIsOp(1, "(");
  if (!call && !w.empty()) {
    if (w == "null") {
      advance();
      return ast_.expr(ExprKind::Literal, pos);
    }
    if (w == "today") {
      advance();
      return ast_.expr(ExprKind::Today, pos);
    }
    if (w == "user" || w == "current_user") {
      advance();
      return ast_.expr(ExprKind::User, pos);
    }
    if (w == "dbservername" || w == "sitename") {
      advance();
      return ast_.expr(ExprKind::DbServer, pos);
    }
    if (w == "current" || w == "sysdate") {
      advance();
      Expr* e = ast_.expr(ExprKind::Current, pos);
      // CURRENT alone is YEAR TO FRACTION(3).
      e->dtQual =
          w == "sysdate" ? IXR_QUAL_YEAR_TO_F5 : qualMake(IXR_TU_YEAR, IXR_TU_SECOND + 3, 0, false);
      if (cur().kind == TokenKind::Word && timeUnitCode(cur().text) >= 0)
        e->dtQual = qualifier(false);
      return e;
    }
    if (w == "case") return caseExpr();
  }
  if (w == "exists" && call) {
    advance();
    Expr* e = ast_.expr(ExprKind::Exists, pos);
    expectOp("(");
    e->subquery = query();
    expectOp(")");
    return e;
  }
  if (w == "datetime" && call) {
    advance();
    Expr* e = ast_.expr(ExprKind::DatetimeLiteral, pos);
    e->text = rawParens();
    e->dtQual = qualifier(false);
    return e;
  }
  if (w == "interval" && call) {
    advance();
    Expr* e = ast_.expr(ExprKind::IntervalLiteral, pos);
    e->text = rawParens();
    e->dtQual = qualifier(true);
    return e;
  }
  if (w == "cast" && call) {
    advance(2);
    Expr* e = ast_.expr(ExprKind::Cast, pos);
    e->args = {expr()};
    expect("as");
    e->castType = typeSpec(nullptr);
    expectOp(")");
    return e;
  }
  if (w == "extend" && call) {
    advance(2);
    Expr* e = ast_.expr(ExprKind::Extend, pos);
    e->args = {expr()};
    if (acceptOp(",")) {
      e->dtQual = qualifier(false);
    } else {
      e->dtQual = -1;  // the operand's own qualifier
    }
    expectOp(")");
    return e;
  }
  if (w == "trim" && call) return trimExpr();
  if (w == "substring" && call) return substringExpr();
  if (call && !w.empty()) {
    advance(2);
    Expr* e = ast_.expr(ExprKind::Function, pos);
    e->op = w;
    if (acceptOp(")")) return e;
    if (accept("distinct") || accept("unique")) {
      e->distinct = true;
    } else {
      accept("all");
    }
    do {
      if (isOp("*")) {
        e->args.push_back(ast_.expr(ExprKind::Star, cur().pos));
        advance();
      } else {
        e->args.push_back(expr());
      }
    } while (!err_ && acceptOp(","));
    expectOp(")");
    return e;
  }
  // Column reference: [owner.]table.column, table.*, column.
  std::string a = ident();
  if (err_) return ast_.expr(ExprKind::Literal, pos);
  if (isOp(".")) {
    advance();
    if (isOp("*")) {
      advance();
      Expr* e = ast_.expr(ExprKind::Star, pos);
      e->qual = a;
      return e;
    }
    std::string b = ident();
    if (isOp(".")) {
      advance();
      if (isOp("*")) {
        advance();
        Expr* e = ast_.expr(ExprKind::Star, pos);
        e->qual = b;
        return e;
      }
      std::string c = ident();
      Expr* e = ast_.expr(ExprKind::Column, pos);
      e->qual = b;
      e->text = c;
      return e;
    }
    Expr* e = ast_.expr(ExprKind::Column, pos);
    e->qual = a;
    e->text = b;
    return e;
  }
  Expr* e = ast_.expr(ExprKind::Column, pos);
  e->text = a;
  return e;
}

Expr* Parser::caseExpr() {
  Expr* e = ast_.expr(ExprKind::Case, cur().pos);
  advance();
  if (!is("when")) {
    e->hasOperand = true;
    e->args.push_back(expr());
  }
  while (!err_ && accept("when")) {
    e->args.push_back(expr());
    expect("then");
    e->args.push_back(expr());
  }
  if (accept("else")) {
    e->hasElse = true;
    e->args.push_back(expr());
  }
  expect("end");
  return e;
}

Expr* Parser::trimExpr() {
  Expr* e = ast_.expr(ExprKind::Function, cur().pos);
  e->op = "trim";
  advance(2);
  std::string mode = "both";
  if (is("leading") || is("trailing") || is("both")) mode = take().text;
  Expr* chars = nullptr;
  Expr* subject = nullptr;
  if (accept("from")) {
    subject = expr();
  } else {
    Expr* x = expr();
    if (accept("from")) {
      chars = x;
      subject = expr();
    } else {
      subject = x;
    }
  }
  expectOp(")");
  Expr* m = ast_.expr(ExprKind::Literal, e->pos);
  m->literal = LiteralKind::String;
  m->text = mode;
  e->args = {subject, m};
  if (chars) e->args.push_back(chars);
  return e;
}

Expr* Parser::substringExpr() {
  Expr* e = ast_.expr(ExprKind::Function, cur().pos);
  e->op = "substr";
  advance(2);
  e->args.push_back(expr());
  if (accept("from") || acceptOp(",")) e->args.push_back(expr());
  if (accept("for") || acceptOp(",")) e->args.push_back(expr());
  expectOp(")");
  return e;
}

}  // namespace ixr
