// ixr_parse.cpp -- lexer and recursive-descent parser of the Informix SQL that the
// embedded server accepts. Keywords are not reserved: a word is a keyword only where
// the grammar expects one, so catalog columns such as "default" or "type" parse as names.
// Comments: "--" to the end of the line, "{...}" and "/*...*/".
// Threading: pure; the result lives in the caller's Ast.
#include "platform/informix/ixr_ast.h"

#include "platform/informix/ixr_datetime.h"

#include <cstring>
#include <string_view>

namespace ixr {
namespace {

enum class TokenKind { Word, Num, Str, DStr, Op, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // word: lower case; string: unquoted value; op/num: as written
  size_t pos = 0, end = 0;
};

bool isIdStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c & 0x80);
}
bool isIdChar(char c) { return isIdStart(c) || (c >= '0' && c <= '9') || c == '$'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

IxError lex(const std::string& s, std::vector<Token>& out) {
  size_t i = 0, n = s.size();
  while (true) {
    while (i < n) {
      char c = s[i];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++i;
      } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
        while (i < n && s[i] != '\n') ++i;
      } else if (c == '{') {
        size_t e = s.find('}', i);
        i = e == std::string::npos ? n : e + 1;
      } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
        size_t e = s.find("*/", i + 2);
        i = e == std::string::npos ? n : e + 2;
      } else {
        break;
      }
    }
    Token t;
    t.pos = i;
    if (i >= n) {
      t.kind = TokenKind::End;
      t.end = n;
      out.push_back(t);
      return {};
    }
    char c = s[i];
    if (isIdStart(c)) {
      size_t b = i;
      while (i < n && isIdChar(s[i])) ++i;
      t.kind = TokenKind::Word;
      for (size_t k = b; k < i; ++k) t.text.push_back(lower(s[k]));
    } else if ((c >= '0' && c <= '9') ||
               (c == '.' && i + 1 < n && s[i + 1] >= '0' && s[i + 1] <= '9')) {
      size_t b = i;
      while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
      if (i < n && s[i] == '.') {
        ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t save = i++;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (i < n && s[i] >= '0' && s[i] <= '9') {
          while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
        } else {
          i = save;
        }
      }
      t.kind = TokenKind::Num;
      t.text = s.substr(b, i - b);
    } else if (c == '\'' || c == '"') {
      t.kind = c == '\'' ? TokenKind::Str : TokenKind::DStr;
      ++i;
      bool closed = false;
      while (i < n) {
        if (s[i] == c) {
          if (i + 1 < n && s[i + 1] == c) {
            t.text.push_back(c);
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        t.text.push_back(s[i++]);
      }
      if (!closed) return ixErr(IXR_E_SYNTAX, s.substr(t.pos, 20));
    } else {
      static const char* kOps[] = {"||", "<=", ">=", "<>", "!=", "==", "::"};
      t.kind = TokenKind::Op;
      bool two = false;
      for (const char* op : kOps)
        if (i + 1 < n && s[i] == op[0] && s[i + 1] == op[1]) {
          t.text = op;
          i += 2;
          two = true;
          break;
        }
      if (!two) {
        if (!std::strchr("(),.;+-*/=<>?:[]@", c)) return ixErr(IXR_E_SYNTAX, std::string(1, c));
        t.text = std::string(1, c);
        ++i;
      }
    }
    t.end = i;
    out.push_back(std::move(t));
  }
}

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

int unitCode(const std::string& w) {
  if (w == "year") return IXR_TU_YEAR;
  if (w == "month") return IXR_TU_MONTH;
  if (w == "day") return IXR_TU_DAY;
  if (w == "hour") return IXR_TU_HOUR;
  if (w == "minute") return IXR_TU_MINUTE;
  if (w == "second") return IXR_TU_SECOND;
  if (w == "fraction") return IXR_TU_FRACTION + 2;  // FRACTION alone is FRACTION(3)
  return -1;
}

class Parser {
 public:
  Parser(const std::string& text, bool delim, Ast& ast) : src_(text), delim_(delim), ast_(ast) {}

  IxError run() {
    if (auto e = lex(src_, toks_)) return e;
    while (true) {
      while (isOp(";")) ++i_;
      if (cur().kind == TokenKind::End) break;
      Stmt* st = statement();
      if (err_) return err_;
      ast_.stmts.push_back(st);
      if (!isOp(";") && cur().kind != TokenKind::End) return fail();
    }
    ast_.markers = markers_;
    return {};
  }

  IxError typeOnly(IxType& t) {
    if (auto e = lex(src_, toks_)) return e;
    t = typeSpec(nullptr);
    if (!err_ && cur().kind != TokenKind::End) fail();
    return err_;
  }

 private:
  const std::string& src_;
  bool delim_;
  Ast& ast_;
  std::vector<Token> toks_;
  size_t i_ = 0;
  int markers_ = 0;
  IxError err_;

  const Token& cur() const { return toks_[i_]; }
  const Token& peek(size_t k = 1) const { return toks_[std::min(i_ + k, toks_.size() - 1)]; }
  bool is(const char* w) const { return cur().kind == TokenKind::Word && cur().text == w; }
  bool peekIs(size_t k, const char* w) const {
    return peek(k).kind == TokenKind::Word && peek(k).text == w;
  }
  bool isOp(const char* o) const { return cur().kind == TokenKind::Op && cur().text == o; }
  bool accept(const char* w) {
    if (!is(w)) return false;
    ++i_;
    return true;
  }
  bool acceptOp(const char* o) {
    if (!isOp(o)) return false;
    ++i_;
    return true;
  }
  IxError fail() {
    if (!err_) {
      const Token& t = cur();
      err_ = ixErr(IXR_E_SYNTAX, t.kind == TokenKind::End
                                     ? std::string()
                                     : src_.substr(t.pos, std::min<size_t>(t.end - t.pos, 40)));
    }
    // Park on the end so that every caller unwinds quickly.
    i_ = toks_.size() - 1;
    return err_;
  }
  void expect(const char* w) {
    if (!accept(w)) fail();
  }
  void expectOp(const char* o) {
    if (!acceptOp(o)) fail();
  }
  std::string ident() {
    if (cur().kind == TokenKind::Word) return toks_[i_++].text;
    if (delim_ && cur().kind == TokenKind::DStr) return toks_[i_++].text;
    fail();
    return {};
  }
  int64_t intLit() {
    if (cur().kind != TokenKind::Num) {
      fail();
      return 0;
    }
    int64_t v = 0;
    for (char c : cur().text) {
      if (c < '0' || c > '9') {
        fail();
        return 0;
      }
      v = v * 10 + (c - '0');
      if (v > 0x7FFFFFFF) {
        fail();
        return 0;
      }
    }
    ++i_;
    return v;
  }
  // Skips to the end of the statement (options that change nothing here).
  void skipRest() {
    int depth = 0;
    while (cur().kind != TokenKind::End) {
      if (isOp("(")) ++depth;
      if (isOp(")")) --depth;
      if (depth <= 0 && isOp(";")) break;
      ++i_;
    }
  }

  Stmt* newStmt(StmtKind k, size_t pos) {
    ast_.stmtStore.emplace_back();
    Stmt* s = &ast_.stmtStore.back();
    s->kind = k;
    s->pos = pos;
    return s;
  }

  // ----------------------------------------------------------------- names
  TableName tableName() {
    TableName tn;
    tn.pos = cur().pos;
    // db[@server]:
    if (cur().kind == TokenKind::Word &&
        (peek().kind == TokenKind::Op && (peek().text == ":" || peek().text == "@"))) {
      if (peek().text == "@" ||
          (peek().text == ":" && !(peek(2).kind == TokenKind::Op && peek(2).text == ":"))) {
        tn.db = toks_[i_++].text;
        if (acceptOp("@")) ident();
        expectOp(":");
      }
    }
    if ((cur().kind == TokenKind::Str || cur().kind == TokenKind::DStr ||
         cur().kind == TokenKind::Word) &&
        peek().kind == TokenKind::Op && peek().text == ".") {
      tn.owner = toks_[i_].text;
      i_ += 2;
    }
    tn.name = ident();
    return tn;
  }

  // ------------------------------------------------------------- types
  int qualField(int& digits) {
    digits = 0;
    if (cur().kind != TokenKind::Word) {
      fail();
      return 0;
    }
    int u = unitCode(cur().text);
    if (u < 0) {
      fail();
      return 0;
    }
    ++i_;
    if (acceptOp("(")) {
      digits = static_cast<int>(intLit());
      expectOp(")");
      if (u > 10) {
        if (digits < 1 || digits > 5) fail();
        u = 10 + digits;
        digits = 0;
      }
    }
    return u;
  }

  int qualifier(bool interval) {
    int lead = 0, d2 = 0;
    int first = qualField(lead);
    int last = first;
    if (accept("to")) last = qualField(d2);
    if (err_) return 0;
    if (first > 10) {  // FRACTION TO FRACTION(n) is not a qualifier this server keeps
      fail();
      return 0;
    }
    int q = qualMake(first, last, lead, interval);
    if (!qualValid(q, interval)) fail();
    return q;
  }

  IxType typeSpec(int* serialStart) {
    IxType t;
    std::string w = cur().kind == TokenKind::Word ? cur().text : std::string();
    if (w.empty()) {
      fail();
      return t;
    }
    ++i_;
    auto optLen = [&](int deflt) {
      int v = deflt;
      if (acceptOp("(")) {
        v = static_cast<int>(intLit());
        expectOp(")");
      }
      return v;
    };
    if (w == "char" || w == "character") {
      if (accept("varying")) {
        int m = optLen(1);
        return tVarchar(m);
      }
      int n = optLen(1);
      if (n < 1 || n > 32767) fail();
      return tChar(n);
    }
    if (w == "nchar") return {IXR_TYPE_NCHAR, optLen(1)};
    if (w == "varchar" || w == "nvarchar") {
      int mx = 1, mn = 0;
      if (acceptOp("(")) {
        mx = static_cast<int>(intLit());
        if (acceptOp(",")) mn = static_cast<int>(intLit());
        expectOp(")");
      } else {
        mx = 255;
      }
      if (mx < 1 || mx > 255 || mn > mx) fail();
      IxType r = tVarchar(mx, mn);
      if (w == "nvarchar") r.code = IXR_TYPE_NVARCHAR;
      return r;
    }
    if (w == "lvarchar") {
      int n = optLen(2048);
      if (n < 1 || n > 32739) fail();
      return tLvarchar(n);
    }
    if (w == "smallint") return tSmallint();
    if (w == "int" || w == "integer") return tInteger();
    if (w == "serial") {
      int st = optLen(1);
      if (serialStart) *serialStart = st;
      return tSerial();
    }
    if (w == "float") {
      optLen(0);
      return tFloat();
    }
    if (w == "double") {
      accept("precision");
      return tFloat();
    }
    if (w == "smallfloat" || w == "real") return tSmallfloat();
    if (w == "decimal" || w == "dec" || w == "numeric" || w == "money") {
      bool money = w == "money";
      int p = 16, s = money ? 2 : 255;
      if (acceptOp("(")) {
        p = static_cast<int>(intLit());
        if (acceptOp(",")) {
          s = static_cast<int>(intLit());
        } else if (w == "numeric") {
          s = 0;
        }
        expectOp(")");
      }
      if (p < 1 || p > 32 || (s != 255 && s > p)) fail();
      return money ? tMoney(p, s) : tDecimal(p, s);
    }
    if (w == "date") return tDate();
    if (w == "datetime") return tDatetime(qualifier(false));
    if (w == "interval") return tInterval(qualifier(true));
    if (w == "byte") {
      if (accept("in")) ident();
      return tByte();
    }
    if (w == "text") {
      if (accept("in")) ident();
      return tText();
    }
    --i_;
    fail();
    return t;
  }

  // ------------------------------------------------------------- expressions
  Expr* expr() { return orExpr(); }

  Expr* orExpr() {
    Expr* l = andExpr();
    while (!err_ && is("or")) {
      Expr* e = ast_.expr(ExprKind::Or, cur().pos);
      ++i_;
      e->args = {l, andExpr()};
      l = e;
    }
    return l;
  }

  Expr* andExpr() {
    Expr* l = notExpr();
    while (!err_ && is("and")) {
      Expr* e = ast_.expr(ExprKind::And, cur().pos);
      ++i_;
      e->args = {l, notExpr()};
      l = e;
    }
    return l;
  }

  Expr* notExpr() {
    if (is("not")) {
      Expr* e = ast_.expr(ExprKind::Not, cur().pos);
      ++i_;
      e->args = {notExpr()};
      return e;
    }
    return predicate();
  }

  Expr* predicate() {
    Expr* l = concatExpr();
    if (err_) return l;
    size_t pos = cur().pos;
    if (cur().kind == TokenKind::Op) {
      std::string o = cur().text;
      if (o == "=" || o == "==" || o == "<>" || o == "!=" || o == "<" || o == "<=" || o == ">" ||
          o == ">=") {
        ++i_;
        if (o == "==") o = "=";
        if (o == "!=") o = "<>";
        // x = ANY (subquery) is IN; x <> ALL (subquery) is NOT IN.
        if ((is("any") || is("some") || is("all")) && peek().kind == TokenKind::Op &&
            peek().text == "(") {
          bool all = is("all");
          ++i_;
          if ((o == "=" && !all) || (o == "<>" && all)) {
            Expr* e = ast_.expr(ExprKind::In, pos);
            e->neg = all;
            expectOp("(");
            e->sub = query();
            expectOp(")");
            e->args = {l};
            return e;
          }
          fail();
          return l;
        }
        Expr* e = ast_.expr(ExprKind::Cmp, pos);
        e->op = o;
        e->args = {l, concatExpr()};
        return e;
      }
      return l;
    }
    bool neg = false;
    if (is("is")) {
      ++i_;
      neg = accept("not");
      expect("null");
      Expr* e = ast_.expr(ExprKind::IsNull, pos);
      e->neg = neg;
      e->args = {l};
      return e;
    }
    if (is("not") &&
        (peekIs(1, "between") || peekIs(1, "in") || peekIs(1, "like") || peekIs(1, "matches"))) {
      ++i_;
      neg = true;
    }
    if (accept("between")) {
      Expr* e = ast_.expr(ExprKind::Between, pos);
      e->neg = neg;
      Expr* lo = concatExpr();
      expect("and");
      e->args = {l, lo, concatExpr()};
      return e;
    }
    if (accept("in")) {
      Expr* e = ast_.expr(ExprKind::In, pos);
      e->neg = neg;
      e->args = {l};
      expectOp("(");
      if (is("select")) {
        e->sub = query();
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
      ++i_;
      e->neg = neg;
      e->args = {l, concatExpr()};
      if (accept("escape")) e->args.push_back(concatExpr());
      return e;
    }
    if (neg) fail();
    return l;
  }

  Expr* concatExpr() {
    Expr* l = addExpr();
    while (!err_ && isOp("||")) {
      Expr* e = ast_.expr(ExprKind::Bin, cur().pos);
      ++i_;
      e->op.assign(1, '|');  // the concatenation operator
      e->args = {l, addExpr()};
      l = e;
    }
    return l;
  }

  Expr* addExpr() {
    Expr* l = mulExpr();
    while (!err_ && (isOp("+") || isOp("-"))) {
      Expr* e = ast_.expr(ExprKind::Bin, cur().pos);
      e->op = cur().text;
      ++i_;
      e->args = {l, mulExpr()};
      l = e;
    }
    return l;
  }

  Expr* mulExpr() {
    Expr* l = unary();
    while (!err_ && (isOp("*") || isOp("/"))) {
      Expr* e = ast_.expr(ExprKind::Bin, cur().pos);
      e->op = cur().text;
      ++i_;
      e->args = {l, unary()};
      l = e;
    }
    return l;
  }

  Expr* unary() {
    if (isOp("-") || isOp("+")) {
      bool minus = isOp("-");
      size_t pos = cur().pos;
      ++i_;
      Expr* a = unary();
      if (!minus || err_) return a;
      if (a->kind == ExprKind::Lit &&
          (a->lit == LitKind::Int || a->lit == LitKind::Dec || a->lit == LitKind::Float)) {
        a->text = a->text[0] == '-' ? a->text.substr(1) : "-" + a->text;
        return a;
      }
      Expr* e = ast_.expr(ExprKind::Neg, pos);
      e->args = {a};
      return e;
    }
    return postfix();
  }

  Expr* postfix() {
    Expr* e = primary();
    while (!err_) {
      if (isOp("::")) {
        Expr* c = ast_.expr(ExprKind::Cast, cur().pos);
        ++i_;
        c->castType = typeSpec(nullptr);
        c->args = {e};
        e = c;
      } else if (isOp("[") && e->kind == ExprKind::Col) {
        Expr* s = ast_.expr(ExprKind::Substr, cur().pos);
        ++i_;
        Expr* a = concatExpr();
        Expr* b = a;
        if (acceptOp(",")) b = concatExpr();
        expectOp("]");
        s->args = {e, a, b};
        e = s;
      } else if (is("units")) {
        Expr* u = ast_.expr(ExprKind::Units, cur().pos);
        ++i_;
        int d;
        int unit = qualField(d);
        u->dtQual = qualMake(unit, unit, 9, true);
        u->args = {e};
        e = u;
      } else {
        break;
      }
    }
    return e;
  }

  std::string rawParens() {
    // The text between '(' and its ')' as written (DATETIME and INTERVAL literals).
    expectOp("(");
    if (err_) return {};
    size_t b = cur().pos;
    int depth = 0;
    while (cur().kind != TokenKind::End && !(depth == 0 && isOp(")"))) {
      if (isOp("(")) ++depth;
      if (isOp(")")) --depth;
      ++i_;
    }
    size_t e = cur().pos;
    expectOp(")");
    return src_.substr(b, e - b);
  }

  Expr* primary() {
    const Token& t = cur();
    size_t pos = t.pos;
    switch (t.kind) {
      case TokenKind::Num: {
        Expr* e = ast_.expr(ExprKind::Lit, pos);
        e->text = t.text;
        bool dot = t.text.find('.') != std::string::npos;
        bool ex = t.text.find_first_of("eE") != std::string::npos;
        e->lit = ex ? LitKind::Float : dot ? LitKind::Dec : LitKind::Int;
        ++i_;
        return e;
      }
      case TokenKind::Str:
      case TokenKind::DStr: {
        if (t.kind == TokenKind::DStr && delim_) break;
        Expr* e = ast_.expr(ExprKind::Lit, pos);
        e->lit = LitKind::Str;
        e->text = t.text;
        ++i_;
        return e;
      }
      case TokenKind::Op:
        if (t.text == "?") {
          Expr* e = ast_.expr(ExprKind::Marker, pos);
          e->marker = markers_++;
          ++i_;
          return e;
        }
        if (t.text == "(") {
          ++i_;
          if (is("select")) {
            Expr* e = ast_.expr(ExprKind::SubQ, pos);
            e->sub = query();
            expectOp(")");
            return e;
          }
          Expr* e = expr();
          expectOp(")");
          return e;
        }
        if (t.text == "*") {
          Expr* e = ast_.expr(ExprKind::Star, pos);
          ++i_;
          return e;
        }
        fail();
        return ast_.expr(ExprKind::Lit, pos);
      case TokenKind::End: fail(); return ast_.expr(ExprKind::Lit, pos);
      default: break;
    }
    std::string w = cur().kind == TokenKind::DStr ? std::string() : t.text;
    bool call = peek().kind == TokenKind::Op && peek().text == "(";
    if (!call && !w.empty()) {
      if (w == "null") {
        ++i_;
        return ast_.expr(ExprKind::Lit, pos);
      }
      if (w == "today") {
        ++i_;
        return ast_.expr(ExprKind::Today, pos);
      }
      if (w == "user" || w == "current_user") {
        ++i_;
        return ast_.expr(ExprKind::User, pos);
      }
      if (w == "dbservername" || w == "sitename") {
        ++i_;
        return ast_.expr(ExprKind::DbServer, pos);
      }
      if (w == "current" || w == "sysdate") {
        ++i_;
        Expr* e = ast_.expr(ExprKind::Current, pos);
        e->dtQual = w == "sysdate" ? IXR_QUAL_YEAR_TO_F5
                                   : qualMake(IXR_TU_YEAR, IXR_TU_FRACTION + 2, 0, false);
        if (cur().kind == TokenKind::Word && unitCode(cur().text) >= 0)
          e->dtQual = qualifier(false);
        return e;
      }
      if (w == "case") return caseExpr();
    }
    if (w == "exists" && call) {
      ++i_;
      Expr* e = ast_.expr(ExprKind::Exists, pos);
      expectOp("(");
      e->sub = query();
      expectOp(")");
      return e;
    }
    if (w == "datetime" && call) {
      ++i_;
      Expr* e = ast_.expr(ExprKind::DtLit, pos);
      e->text = rawParens();
      e->dtQual = qualifier(false);
      return e;
    }
    if (w == "interval" && call) {
      ++i_;
      Expr* e = ast_.expr(ExprKind::IvLit, pos);
      e->text = rawParens();
      e->dtQual = qualifier(true);
      return e;
    }
    if (w == "cast" && call) {
      i_ += 2;
      Expr* e = ast_.expr(ExprKind::Cast, pos);
      e->args = {expr()};
      expect("as");
      e->castType = typeSpec(nullptr);
      expectOp(")");
      return e;
    }
    if (w == "extend" && call) {
      i_ += 2;
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
      i_ += 2;
      Expr* e = ast_.expr(ExprKind::Func, pos);
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
          ++i_;
        } else {
          e->args.push_back(expr());
        }
      } while (!err_ && acceptOp(","));
      expectOp(")");
      return e;
    }
    // Column reference: [owner.]table.column, table.*, column.
    std::string a = ident();
    if (err_) return ast_.expr(ExprKind::Lit, pos);
    if (isOp(".")) {
      ++i_;
      if (isOp("*")) {
        ++i_;
        Expr* e = ast_.expr(ExprKind::Star, pos);
        e->qual = a;
        return e;
      }
      std::string b = ident();
      if (isOp(".")) {
        ++i_;
        if (isOp("*")) {
          ++i_;
          Expr* e = ast_.expr(ExprKind::Star, pos);
          e->qual = b;
          return e;
        }
        std::string c = ident();
        Expr* e = ast_.expr(ExprKind::Col, pos);
        e->qual = b;
        e->text = c;
        return e;
      }
      Expr* e = ast_.expr(ExprKind::Col, pos);
      e->qual = a;
      e->text = b;
      return e;
    }
    Expr* e = ast_.expr(ExprKind::Col, pos);
    e->text = a;
    return e;
  }

  Expr* caseExpr() {
    Expr* e = ast_.expr(ExprKind::Case, cur().pos);
    ++i_;
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

  Expr* trimExpr() {
    Expr* e = ast_.expr(ExprKind::Func, cur().pos);
    e->op = "trim";
    i_ += 2;
    std::string mode = "both";
    if (is("leading") || is("trailing") || is("both")) mode = toks_[i_++].text;
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
    Expr* m = ast_.expr(ExprKind::Lit, e->pos);
    m->lit = LitKind::Str;
    m->text = mode;
    e->args = {subject, m};
    if (chars) e->args.push_back(chars);
    return e;
  }

  Expr* substringExpr() {
    Expr* e = ast_.expr(ExprKind::Func, cur().pos);
    e->op = "substr";
    i_ += 2;
    e->args.push_back(expr());
    if (accept("from") || acceptOp(",")) e->args.push_back(expr());
    if (accept("for") || acceptOp(",")) e->args.push_back(expr());
    expectOp(")");
    return e;
  }

  // ------------------------------------------------------------- queries
  Select* query() {
    ast_.selects.emplace_back();
    Select* s = &ast_.selects.back();
    s->pos = cur().pos;
    s->cores.push_back(member());
    while (!err_ && is("union")) {
      ++i_;
      s->unionAll.push_back(accept("all"));
      s->cores.push_back(member());
    }
    if (accept("order")) {
      expect("by");
      do {
        OrderItem oi;
        oi.expr = expr();
        if (accept("desc"))
          oi.desc = true;
        else
          accept("asc");
        s->order.push_back(oi);
      } while (!err_ && acceptOp(","));
    }
    tail(s);
    s->end = cur().pos;
    return s;
  }

  void tail(Select* s) {
    while (!err_) {
      if (is("into") && peekIs(1, "temp")) {
        i_ += 2;
        s->intoTemp = ident();
        if (accept("with")) {
          expect("no");
          expect("log");
        }
      } else if (is("for") && peekIs(1, "update")) {
        i_ += 2;
        s->forUpdate = true;
        if (accept("of")) {
          do ident();
          while (!err_ && acceptOp(","));
        }
      } else if (is("for") && peekIs(1, "read")) {
        i_ += 2;
        expect("only");
      } else {
        break;
      }
    }
  }

  SelectCore* member() {
    if (isOp("(")) {
      ++i_;
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

  SelectCore* core() {
    ast_.cores.emplace_back();
    SelectCore* c = &ast_.cores.back();
    expect("select");
    while (!err_) {
      bool numNext =
          peek().kind == TokenKind::Num || (peek().kind == TokenKind::Op && peek().text == "?");
      if (is("skip") && numNext) {
        ++i_;
        c->skip = primary();
      } else if ((is("first") || is("limit")) && numNext) {
        ++i_;
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
      if (accept("as")) {
        it.alias = ident();
      } else if (cur().kind == TokenKind::Word && !isClauseWord(cur().text)) {
        it.alias = ident();
      } else if (delim_ && cur().kind == TokenKind::DStr) {
        it.alias = ident();
      }
      c->items.push_back(it);
    } while (!err_ && acceptOp(","));
    if (is("into") && !peekIs(1, "temp")) {
      fail();
      return c;
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

  TableRef* tableRef() {
    ast_.refs.emplace_back();
    TableRef* r = &ast_.refs.back();
    if (isOp("(")) {
      ++i_;
      r->sub = query();
      expectOp(")");
    } else {
      accept("table");  // TABLE(...) is not supported; plain names only
      r->table = tableName();
    }
    if (accept("as")) {
      r->alias = ident();
    } else if (cur().kind == TokenKind::Word && !isClauseWord(cur().text)) {
      r->alias = ident();
    }
    return r;
  }

  void fromList(std::vector<TableRef*>& from) {
    while (!err_) {
      bool outer = accept("outer");
      if (outer && isOp("(")) {
        // OUTER (a, b): each member joins as an outer table.
        ++i_;
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
      // ANSI joins after a table.
      while (!err_) {
        int join = 0;
        if (is("join") || (is("inner") && peekIs(1, "join"))) {
          if (is("inner")) ++i_;
          join = 1;
        } else if (is("left")) {
          ++i_;
          accept("outer");
          join = 2;
        } else if (is("cross") && peekIs(1, "join")) {
          ++i_;
          join = 3;
        } else {
          break;
        }
        expect("join");
        TableRef* r = tableRef();
        r->join = join == 3 ? 1 : join;
        if (join != 3) {
          expect("on");
          r->on = expr();
        }
        from.push_back(r);
      }
      if (!acceptOp(",")) break;
    }
  }

  // ------------------------------------------------------------- statements
  Stmt* statement() {
    size_t pos = cur().pos;
    Stmt* st = nullptr;
    if (is("select") || (isOp("(") && peekIs(1, "select"))) {
      st = newStmt(StmtKind::Select, pos);
      st->sel = query();
    } else if (accept("insert")) {
      st = insertStmt(pos);
    } else if (accept("update")) {
      if (accept("statistics")) {
        st = newStmt(StmtKind::UpdateStats, pos);
        skipRest();
      } else {
        st = updateStmt(pos);
      }
    } else if (accept("delete")) {
      st = newStmt(StmtKind::Delete, pos);
      accept("from");
      st->table = tableName();
      whereOrCurrent(st);
    } else if (accept("create")) {
      st = createStmt(pos);
    } else if (accept("drop")) {
      st = dropStmt(pos);
    } else if (accept("alter")) {
      st = alterStmt(pos);
    } else if (accept("rename")) {
      st = renameStmt(pos);
    } else if (is("grant") || is("revoke")) {
      st = grantStmt(pos);
    } else if (accept("database")) {
      st = newStmt(StmtKind::Database, pos);
      st->name = ident();
      if (acceptOp("@")) ident();
      st->exclusive = accept("exclusive");
    } else if (accept("close")) {
      expect("database");
      st = newStmt(StmtKind::CloseDb, pos);
    } else if (accept("begin")) {
      accept("work") || accept("transaction");
      st = newStmt(StmtKind::Begin, pos);
    } else if (accept("commit")) {
      accept("work");
      st = newStmt(StmtKind::Commit, pos);
    } else if (accept("rollback")) {
      accept("work");
      st = newStmt(StmtKind::Rollback, pos);
    } else if (accept("set")) {
      st = setStmt(pos);
    } else if (accept("lock")) {
      expect("table");
      st = newStmt(StmtKind::Lock, pos);
      st->table = tableName();
      skipRest();
    } else if (accept("unlock")) {
      expect("table");
      st = newStmt(StmtKind::Unlock, pos);
      st->table = tableName();
    } else if (is("execute") && (peekIs(1, "procedure") || peekIs(1, "function"))) {
      i_ += 2;
      st = newStmt(StmtKind::ExecProc, pos);
      st->name = ident();
      expectOp("(");
      if (!isOp(")")) {
        do st->args.push_back(expr());
        while (!err_ && acceptOp(","));
      }
      expectOp(")");
    } else {
      fail();
      return newStmt(StmtKind::SetOther, pos);
    }
    st->end = cur().pos;
    return st;
  }

  void whereOrCurrent(Stmt* st) {
    if (accept("where")) {
      if (is("current") && peekIs(1, "of")) {
        i_ += 2;
        st->currentOf = ident();
      } else {
        st->where = expr();
      }
    }
  }

  Stmt* insertStmt(size_t pos) {
    Stmt* st = newStmt(StmtKind::Insert, pos);
    expect("into");
    st->table = tableName();
    if (isOp("(") && !peekIs(1, "select")) {
      ++i_;
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
      st->sel = query();
    } else {
      fail();
    }
    return st;
  }

  Stmt* updateStmt(size_t pos) {
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

  std::vector<std::string> nameList() {
    std::vector<std::string> v;
    expectOp("(");
    do v.push_back(ident());
    while (!err_ && acceptOp(","));
    expectOp(")");
    return v;
  }

  void constraintName(ConstraintDef& c) {
    if (accept("constraint")) c.name = ident();
  }

  void references(ConstraintDef& c) {
    c.type = 'R';
    c.refTable = tableName();
    if (isOp("(")) c.refCols = nameList();
    if (is("on") && peekIs(1, "delete")) {
      i_ += 2;
      expect("cascade");
      c.cascade = true;
    }
  }

  std::string spanText(size_t b, size_t e) {
    while (e > b && (src_[e - 1] == ' ' || src_[e - 1] == '\n' || src_[e - 1] == '\t')) --e;
    return src_.substr(b, e - b);
  }

  void checkClause(ConstraintDef& c) {
    c.type = 'C';
    expectOp("(");
    size_t b = cur().pos;
    c.check = expr();
    c.checkText = spanText(b, cur().pos);
    expectOp(")");
  }

  bool tableConstraint(std::vector<ConstraintDef>& out) {
    ConstraintDef c;
    bool named = false;
    if (is("constraint")) {
      ++i_;
      c.name = ident();
      named = true;
    }
    if (is("primary") && peekIs(1, "key")) {
      i_ += 2;
      c.type = 'P';
      c.cols = nameList();
    } else if ((is("unique") || is("distinct")) && peek().kind == TokenKind::Op &&
               peek().text == "(") {
      ++i_;
      c.type = 'U';
      c.cols = nameList();
    } else if (is("foreign") && peekIs(1, "key")) {
      i_ += 2;
      c.cols = nameList();
      expect("references");
      references(c);
    } else if (is("check")) {
      ++i_;
      checkClause(c);
    } else {
      if (named) fail();
      return false;
    }
    if (!named) constraintName(c);
    out.push_back(std::move(c));
    return true;
  }

  ColDef columnDef() {
    ColDef cd;
    cd.name = ident();
    cd.type = typeSpec(&cd.serialStart);
    while (!err_) {
      if (accept("default")) {
        size_t b = cur().pos;
        if (accept("null")) {
          cd.def.kind = 'N';
        } else if (accept("today")) {
          cd.def.kind = 'T';
        } else if (accept("user") || accept("current_user")) {
          cd.def.kind = 'U';
        } else if (accept("dbservername") || accept("sitename")) {
          cd.def.kind = 'S';
        } else if (accept("current")) {
          cd.def.kind = 'C';
          if (cur().kind == TokenKind::Word && unitCode(cur().text) >= 0) qualifier(false);
        } else {
          cd.def.kind = 'L';
          cd.def.lit = unary();
          if (cd.def.lit->kind != ExprKind::Lit && cd.def.lit->kind != ExprKind::DtLit &&
              cd.def.lit->kind != ExprKind::IvLit)
            fail();
        }
        cd.def.text = spanText(b, cur().pos);
      } else if (is("not") && peekIs(1, "null")) {
        i_ += 2;
        cd.type.notnull = true;
        ConstraintDef c;
        c.type = 'N';
        c.cols = {cd.name};
        constraintName(c);
        cd.cons.push_back(c);
      } else if (accept("null")) {
        // explicitly nullable
      } else if (is("primary") && peekIs(1, "key")) {
        i_ += 2;
        ConstraintDef c;
        c.type = 'P';
        c.cols = {cd.name};
        constraintName(c);
        cd.cons.push_back(c);
      } else if (accept("unique") || accept("distinct")) {
        ConstraintDef c;
        c.type = 'U';
        c.cols = {cd.name};
        constraintName(c);
        cd.cons.push_back(c);
      } else if (accept("references")) {
        ConstraintDef c;
        c.cols = {cd.name};
        references(c);
        constraintName(c);
        cd.cons.push_back(c);
      } else if (accept("check")) {
        ConstraintDef c;
        checkClause(c);
        constraintName(c);
        cd.cons.push_back(c);
      } else {
        break;
      }
    }
    return cd;
  }

  Stmt* createStmt(size_t pos) {
    if (is("temp") || is("table") || (is("raw") && peekIs(1, "table")) ||
        (is("standard") && peekIs(1, "table"))) {
      Stmt* st = newStmt(StmtKind::CreateTable, pos);
      st->temp = accept("temp");
      accept("raw") || accept("standard");
      expect("table");
      st->table = tableName();
      expectOp("(");
      do {
        if (!tableConstraint(st->tcons)) st->colDefs.push_back(columnDef());
      } while (!err_ && acceptOp(","));
      expectOp(")");
      skipRest();
      return st;
    }
    if (is("unique") || is("distinct") || is("cluster") || is("index")) {
      Stmt* st = newStmt(StmtKind::CreateIndex, pos);
      st->unique = accept("unique") || accept("distinct");
      accept("cluster");
      expect("index");
      TableName in = tableName();
      st->name = in.name;
      expect("on");
      st->table = tableName();
      expectOp("(");
      do {
        IndexCol ic;
        ic.name = ident();
        if (accept("desc"))
          ic.desc = true;
        else
          accept("asc");
        st->idxCols.push_back(ic);
      } while (!err_ && acceptOp(","));
      expectOp(")");
      skipRest();
      return st;
    }
    if (accept("view")) {
      Stmt* st = newStmt(StmtKind::CreateView, pos);
      st->table = tableName();
      if (isOp("(")) st->cols = nameList();
      expect("as");
      st->sel = query();
      if (accept("with")) {
        expect("check");
        expect("option");
      }
      return st;
    }
    if (is("synonym") || is("public") || is("private")) {
      Stmt* st = newStmt(StmtKind::CreateSynonym, pos);
      if (accept("private"))
        st->isPublic = false;
      else
        accept("public");
      expect("synonym");
      TableName sn = tableName();
      st->name = sn.name;
      st->name2 = sn.owner;
      expect("for");
      st->table = tableName();
      return st;
    }
    if (is("procedure") || is("function") ||
        (is("dba") && (peekIs(1, "procedure") || peekIs(1, "function")))) {
      Stmt* st = newStmt(StmtKind::CreateProc, pos);
      accept("dba");
      bool function = accept("function");
      if (!function) expect("procedure");
      TableName pn = tableName();
      st->name = pn.name;
      expectOp("(");
      int depth = 0, args = 0;
      bool any = false;
      while (cur().kind != TokenKind::End && !(depth == 0 && isOp(")"))) {
        if (isOp("(")) ++depth;
        if (isOp(")")) --depth;
        if (depth == 0 && isOp(",")) ++args;
        any = true;
        ++i_;
      }
      expectOp(")");
      st->numArgs = any ? args + 1 : 0;
      if (accept("returning") || accept("returns")) {
        do {
          st->returns.push_back(typeSpec(nullptr));
          if (accept("as")) ident();
        } while (!err_ && acceptOp(","));
      }
      // The body is kept as text; it ends at END PROCEDURE / END FUNCTION.
      while (!err_ && cur().kind != TokenKind::End) {
        if (is("end") && (peekIs(1, "procedure") || peekIs(1, "function"))) {
          i_ += 2;
          break;
        }
        ++i_;
      }
      skipRest();
      return st;
    }
    if (accept("database")) {
      Stmt* st = newStmt(StmtKind::CreateDb, pos);
      st->name = ident();
      if (acceptOp("@")) ident();
      if (accept("in")) ident();
      if (accept("with")) {
        if (accept("buffered")) {
          expect("log");
          st->logMode = 1;
        } else {
          expect("log");
          st->logMode = 2;
          if (accept("mode")) {
            expect("ansi");
            st->logMode = 3;
          }
        }
      }
      return st;
    }
    fail();
    return newStmt(StmtKind::SetOther, pos);
  }

  Stmt* dropStmt(size_t pos) {
    Stmt* st = nullptr;
    if (accept("table")) {
      st = newStmt(StmtKind::DropTable, pos);
      st->table = tableName();
      accept("cascade") || accept("restrict");
    } else if (accept("index")) {
      st = newStmt(StmtKind::DropIndex, pos);
      TableName in = tableName();
      st->name = in.name;
    } else if (accept("view")) {
      st = newStmt(StmtKind::DropView, pos);
      st->table = tableName();
      accept("cascade") || accept("restrict");
    } else if (accept("synonym")) {
      st = newStmt(StmtKind::DropSynonym, pos);
      st->table = tableName();
    } else if (accept("procedure") || accept("function") || accept("routine")) {
      st = newStmt(StmtKind::DropProc, pos);
      TableName pn = tableName();
      st->name = pn.name;
      if (isOp("(")) {
        int depth = 0;
        do {
          if (isOp("(")) ++depth;
          if (isOp(")")) --depth;
          ++i_;
        } while (depth > 0 && cur().kind != TokenKind::End);
      }
    } else if (accept("database")) {
      st = newStmt(StmtKind::DropDb, pos);
      st->name = ident();
      if (acceptOp("@")) ident();
    } else {
      fail();
      st = newStmt(StmtKind::SetOther, pos);
    }
    return st;
  }

  void alterItem(Stmt* st, char kind, bool list) {
    auto one = [&]() {
      AlterAction a;
      a.kind = kind;
      if (kind == 'A' || kind == 'M') {
        a.col = columnDef();
        if (kind == 'A' && accept("before")) a.before = ident();
      } else if (kind == 'D' || kind == 'X') {
        a.name = ident();
      } else {
        std::vector<ConstraintDef> v;
        if (!tableConstraint(v) || v.empty()) {
          fail();
          return;
        }
        a.cons = v[0];
      }
      st->alters.push_back(std::move(a));
    };
    if (list) {
      do one();
      while (!err_ && acceptOp(","));
      expectOp(")");
    } else {
      one();
    }
  }

  Stmt* alterStmt(size_t pos) {
    if (accept("index")) {
      Stmt* st = newStmt(StmtKind::SetOther, pos);
      skipRest();
      return st;
    }
    expect("table");
    Stmt* st = newStmt(StmtKind::AlterTable, pos);
    st->table = tableName();
    do {
      if (accept("add")) {
        if (accept("constraint")) {
          alterItem(st, 'C', acceptOp("("));
        } else {
          alterItem(st, 'A', acceptOp("("));
        }
      } else if (accept("drop")) {
        if (accept("constraint")) {
          alterItem(st, 'X', acceptOp("("));
        } else {
          alterItem(st, 'D', acceptOp("("));
        }
      } else if (accept("modify")) {
        if (is("next") || is("extent") || is("lock")) {
          skipRest();
          break;
        }
        alterItem(st, 'M', acceptOp("("));
      } else if (is("lock") || is("next") || is("type")) {
        skipRest();
        break;
      } else {
        fail();
      }
    } while (!err_ && acceptOp(","));
    return st;
  }

  Stmt* renameStmt(size_t pos) {
    if (accept("table")) {
      Stmt* st = newStmt(StmtKind::RenameTable, pos);
      st->table = tableName();
      expect("to");
      st->name = ident();
      return st;
    }
    if (accept("column")) {
      Stmt* st = newStmt(StmtKind::RenameColumn, pos);
      std::string a = ident();
      expectOp(".");
      std::string b = ident();
      if (acceptOp(".")) {
        st->table.owner = a;
        st->table.name = b;
        st->name = ident();
      } else {
        st->table.name = a;
        st->name = b;
      }
      expect("to");
      st->name2 = ident();
      return st;
    }
    fail();
    return newStmt(StmtKind::SetOther, pos);
  }

  Stmt* grantStmt(size_t pos) {
    bool grant = is("grant");
    ++i_;
    Stmt* st = newStmt(grant ? StmtKind::Grant : StmtKind::Revoke, pos);
    if (is("connect") || is("resource") || is("dba")) {
      st->dbPriv = toks_[i_++].text;
    } else if (accept("all")) {
      accept("privileges");
      st->privs = "suidxar";
    } else {
      do {
        std::string w = cur().kind == TokenKind::Word ? cur().text : std::string();
        ++i_;
        char letter = 0;
        if (w == "select")
          letter = 's';
        else if (w == "update")
          letter = 'u';
        else if (w == "insert")
          letter = 'i';
        else if (w == "delete")
          letter = 'd';
        else if (w == "index")
          letter = 'x';
        else if (w == "alter")
          letter = 'a';
        else if (w == "references")
          letter = 'r';
        else {
          --i_;
          fail();
          break;
        }
        if ((letter == 's' || letter == 'u' || letter == 'r') && isOp("(")) {
          st->colPrivs.emplace_back(letter, nameList());
        } else if (st->privs.find(letter) == std::string::npos) {
          st->privs.push_back(letter);
        }
      } while (!err_ && acceptOp(","));
    }
    if (st->dbPriv.empty()) {
      expect("on");
      st->table = tableName();
    }
    if (grant)
      expect("to");
    else
      expect("from");
    do {
      if (cur().kind == TokenKind::Str || cur().kind == TokenKind::DStr) {
        st->grantees.push_back(toks_[i_++].text);
      } else {
        st->grantees.push_back(ident());
      }
    } while (!err_ && acceptOp(","));
    if (grant && accept("with")) {
      expect("grant");
      expect("option");
      st->withGrant = true;
    }
    if (accept("as")) ident();
    accept("cascade") || accept("restrict");
    return st;
  }

  Stmt* setStmt(size_t pos) {
    if (accept("isolation")) {
      Stmt* st = newStmt(StmtKind::SetIsolation, pos);
      accept("to");
      if (accept("dirty")) {
        expect("read");
        st->isolation = 1;
        accept("with") && accept("warning");
      } else if (accept("committed")) {
        expect("read");
        st->isolation = 2;
        if (accept("last")) expect("committed");
      } else if (accept("cursor")) {
        expect("stability");
        st->isolation = 3;
      } else if (accept("repeatable")) {
        expect("read");
        st->isolation = 4;
      } else {
        fail();
      }
      skipRest();
      return st;
    }
    if (is("transaction") && peekIs(1, "isolation")) {
      i_ += 2;
      expect("level");
      Stmt* st = newStmt(StmtKind::SetIsolation, pos);
      if (accept("read")) {
        if (accept("uncommitted"))
          st->isolation = 1;
        else if (accept("committed"))
          st->isolation = 2;
        else
          fail();
      } else if (accept("repeatable")) {
        expect("read");
        st->isolation = 4;
      } else if (accept("serializable")) {
        st->isolation = 4;
      } else {
        fail();
      }
      return st;
    }
    if (accept("lock")) {
      expect("mode");
      expect("to");
      Stmt* st = newStmt(StmtKind::SetLockMode, pos);
      if (accept("not")) {
        expect("wait");
        st->lockWait = -2;
      } else {
        expect("wait");
        st->lockWait = cur().kind == TokenKind::Num ? static_cast<int>(intLit()) : -1;
      }
      return st;
    }
    Stmt* st = newStmt(StmtKind::SetOther, pos);
    skipRest();
    return st;
  }
};

}  // namespace

IxError parseSql(const std::string& text, bool delimIdent, Ast& out) {
  out.text = text;
  Parser p(out.text, delimIdent, out);
  return p.run();
}

IxError parseType(const std::string& text, IxType& out) {
  Ast scratch;
  scratch.text = text;
  Parser p(scratch.text, false, scratch);
  return p.typeOnly(out);
}

}  // namespace ixr
