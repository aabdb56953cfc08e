// ixr_parse.cpp -- the driver of the embedded server's SQL parser: the entry points
// (a text of statements separated by ';', or one type), the token helpers, table names,
// types and DATETIME/INTERVAL qualifiers, the dispatch on a statement's first words, and
// the short statements that set up a session: DATABASE, CLOSE DATABASE, BEGIN, COMMIT,
// ROLLBACK, SET, LOCK and UNLOCK TABLE.
// Threading: pure; the result lives in the caller's Ast.
// Not here: the tokens (ixr_lex.cpp) and the larger statement families (ixr_parse_*.cpp).
#include "platform/informix/ixr_parser.h"

#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_decimal.h"
#include "platform/informix/ixr_stack.h"

namespace ixr {

int timeUnitCode(const std::string& w) {
  if (w == "year") return IXR_TU_YEAR;
  if (w == "month") return IXR_TU_MONTH;
  if (w == "day") return IXR_TU_DAY;
  if (w == "hour") return IXR_TU_HOUR;
  if (w == "minute") return IXR_TU_MINUTE;
  if (w == "second") return IXR_TU_SECOND;
  if (w == "fraction") return IXR_TU_SECOND + 3;
  return -1;
}

IxError Parser::run() {
  if (auto e = lex(src_, toks_)) return e;
  while (true) {
    while (isOp(";")) advance();
    if (cur().kind == TokenKind::End) break;
    Stmt* st = statement();
    if (err_) return err_;
    ast_.stmts.push_back(st);
    if (!isOp(";") && cur().kind != TokenKind::End) return fail();
  }
  ast_.markers = markers_;
  return {};
}

IxError Parser::typeOnly(IxType& t) {
  if (auto e = lex(src_, toks_)) return e;
  t = typeSpec(nullptr);
  if (!err_ && cur().kind != TokenKind::End) fail();
  return err_;
}

IxError Parser::fail() {
  if (!err_) {
    const Token& t = cur();
    err_ = ixErr(IXR_E_SYNTAX, t.kind == TokenKind::End
                                   ? std::string()
                                   : src_.substr(t.pos, std::min<size_t>(t.end - t.pos, 40)));
  }
  // Park on the end so that every caller unwinds quickly.
  at_ = toks_.size() - 1;
  return err_;
}

IxError Parser::fail(IxError e) {
  if (!err_) err_ = std::move(e);
  at_ = toks_.size() - 1;
  return err_;
}

// Also refuses a level the thread's stack has no room for, whatever the nesting: the
// caller may have had no deeper stack to give.
constexpr size_t kLevelRoom = 64 * 1024;
bool Parser::roomForLevel() { return stackRoom() >= kLevelRoom; }

void Parser::tooComplex() { fail(ixErr(IXR_E_TOO_COMPLEX, "the statement nests too deeply")); }

Expr* Parser::bounded(Expr* e) {
  if (!err_ && height(e) > kMaxNesting) tooComplex();
  return e;
}

int Parser::height(Expr* e) {
  if (!e) return 0;
  if (e->height) return e->height;
  int h = height(e->subquery);
  for (Expr* a : e->args) h = std::max(h, height(a));
  return e->height = h + 1;
}

int Parser::height(Select* s) {
  if (!s) return 0;
  if (s->height) return s->height;
  int h = 0;
  auto see = [&](Expr* e) { h = std::max(h, height(e)); };
  for (SelectCore* c : s->cores) {
    see(c->first);
    see(c->skip);
    for (const SelItem& it : c->items) see(it.expr);
    for (TableRef* r : c->from) {
      see(r->on);
      h = std::max(h, height(r->subquery));
    }
    see(c->where);
    for (Expr* g : c->groupBy) see(g);
    see(c->having);
  }
  for (const OrderItem& o : s->order) see(o.expr);
  return s->height = h + 1;
}

std::string Parser::ident() {
  if (cur().kind == TokenKind::Word) return take().text;
  if (delimIdent_ && cur().kind == TokenKind::DoubleQuoted) return take().text;
  fail();
  return {};
}

int64_t Parser::intLit() {
  if (cur().kind != TokenKind::Number) {
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
  advance();
  return v;
}

// Skips to the end of the statement (options that change nothing here).
void Parser::skipRest() {
  int depth = 0;
  while (cur().kind != TokenKind::End) {
    if (isOp("(")) ++depth;
    if (isOp(")")) --depth;
    if (depth <= 0 && isOp(";")) break;
    advance();
  }
}

Stmt* Parser::newStmt(StmtKind kind, size_t pos) {
  ast_.stmtStore.emplace_back();
  Stmt* s = &ast_.stmtStore.back();
  s->kind = kind;
  s->pos = pos;
  return s;
}

std::vector<std::string> Parser::nameList() {
  std::vector<std::string> v;
  expectOp("(");
  do v.push_back(ident());
  while (!err_ && acceptOp(","));
  expectOp(")");
  return v;
}

// The text from begin to end without trailing blanks (defaults and CHECK conditions as the
// catalog keeps them).
std::string Parser::spanText(size_t begin, size_t end) {
  while (end > begin && (src_[end - 1] == ' ' || src_[end - 1] == '\n' || src_[end - 1] == '\t'))
    --end;
  return src_.substr(begin, end - begin);
}

// ------------------------------------------------------------------ names and types

TableName Parser::tableName() {
  TableName tn;
  tn.pos = cur().pos;
  // db[@server]:
  if (cur().kind == TokenKind::Word && (peekIsOp(1, ":") || peekIsOp(1, "@"))) {
    if (peekIsOp(1, "@") || !peekIsOp(2, ":")) {
      tn.db = take().text;
      if (acceptOp("@")) ident();
      expectOp(":");
    }
  }
  if ((cur().kind == TokenKind::String || cur().kind == TokenKind::DoubleQuoted ||
       cur().kind == TokenKind::Word) &&
      peekIsOp(1, ".")) {
    tn.owner = cur().text;
    advance(2);
  }
  tn.name = ident();
  return tn;
}

int Parser::qualField(int& digits) {
  digits = 0;
  if (cur().kind != TokenKind::Word) {
    fail();
    return 0;
  }
  int u = timeUnitCode(cur().text);
  if (u < 0) {
    fail();
    return 0;
  }
  advance();
  if (acceptOp("(")) {
    digits = static_cast<int>(intLit());
    expectOp(")");
    if (u > IXR_TU_SECOND) {  // FRACTION(n)
      if (digits < 1 || digits > 5) fail();
      u = IXR_TU_SECOND + digits;
      digits = 0;
    }
  }
  return u;
}

int Parser::qualifier(bool interval) {
  int lead = 0, d2 = 0;
  int first = qualField(lead);
  int last = first;
  if (accept("to")) last = qualField(d2);
  if (err_) return 0;
  if (first > IXR_TU_SECOND) {  // FRACTION TO FRACTION(n) is not a qualifier this server keeps
    fail();
    return 0;
  }
  int q = qualMake(first, last, lead, interval);
  if (!qualValid(q, interval)) fail();
  return q;
}

IxType Parser::typeSpec(int* serialStart) {
  IxType t;
  std::string w = cur().kind == TokenKind::Word ? cur().text : std::string();
  if (w.empty()) {
    fail();
    return t;
  }
  advance();
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
    int p = 16, s = money ? 2 : kDecFloating;
    if (acceptOp("(")) {
      p = static_cast<int>(intLit());
      if (acceptOp(",")) {
        s = static_cast<int>(intLit());
      } else if (w == "numeric") {
        s = 0;
      }
      expectOp(")");
    }
    if (p < 1 || p > 32 || (s != kDecFloating && s > p)) fail();
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
  --at_;
  fail();
  return t;
}

// ------------------------------------------------------------------ statements

Stmt* Parser::statement() {
  size_t pos = cur().pos;
  Stmt* st = nullptr;
  if (is("select") || (isOp("(") && peekIs(1, "select"))) {
    st = newStmt(StmtKind::Select, pos);
    st->select = query();
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
    st = deleteStmt(pos);
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
    st = newStmt(StmtKind::CloseDatabase, pos);
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
    advance(2);
    st = executeProcedure(pos);
  } else {
    fail();
    return newStmt(StmtKind::SetOther, pos);
  }
  st->end = cur().pos;
  return st;
}

Stmt* Parser::setStmt(size_t pos) {
  if (accept("isolation")) {
    Stmt* st = newStmt(StmtKind::SetIsolation, pos);
    accept("to");
    if (accept("dirty")) {
      expect("read");
      st->isolation = kDirtyRead;
      accept("with") && accept("warning");
    } else if (accept("committed")) {
      expect("read");
      st->isolation = kCommittedRead;
      if (accept("last")) expect("committed");
    } else if (accept("cursor")) {
      expect("stability");
      st->isolation = kCursorStability;
    } else if (accept("repeatable")) {
      expect("read");
      st->isolation = kRepeatableRead;
    } else {
      fail();
    }
    skipRest();
    return st;
  }
  if (is("transaction") && peekIs(1, "isolation")) {
    advance(2);
    expect("level");
    Stmt* st = newStmt(StmtKind::SetIsolation, pos);
    if (accept("read")) {
      if (accept("uncommitted"))
        st->isolation = kDirtyRead;
      else if (accept("committed"))
        st->isolation = kCommittedRead;
      else
        fail();
    } else if (accept("repeatable")) {
      expect("read");
      st->isolation = kRepeatableRead;
    } else if (accept("serializable")) {
      st->isolation = kRepeatableRead;
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
      st->lockWait = kLockNoWait;
    } else {
      expect("wait");
      st->lockWait =
          cur().kind == TokenKind::Number ? static_cast<int>(intLit()) : kLockWaitDefault;
    }
    return st;
  }
  Stmt* st = newStmt(StmtKind::SetOther, pos);
  skipRest();
  return st;
}

IxError parseSql(const std::string& text, bool delimIdent, Ast& out, bool procUnit) {
  out.text = text;
  Parser p(out.text, delimIdent, out);
  if (procUnit) p.procUnit();
  IxError e;
  onDeepStack([&] { e = p.run(); });
  return e;
}

IxError parseType(const std::string& text, IxType& out) {
  Ast scratch;
  scratch.text = text;
  Parser p(scratch.text, false, scratch);
  return p.typeOnly(out);
}

}  // namespace ixr
