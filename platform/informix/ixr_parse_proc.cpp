// ixr_parse_proc.cpp -- procedures in the embedded server's SQL: CREATE PROCEDURE and
// CREATE FUNCTION with their parameters, RETURNING clause and body, DROP PROCEDURE /
// FUNCTION / ROUTINE with an optional signature, and EXECUTE PROCEDURE / FUNCTION with
// its arguments. The body is parsed whole, so that its syntax errors are the CREATE's:
// statement blocks with DEFINE and ON EXCEPTION, LET, IF, FOR, WHILE, FOREACH, EXIT,
// CONTINUE, RETURN, RAISE EXCEPTION, CALL, BEGIN ... END and SQL statements.
// Threading: one Parser per thread.
// Not here: what names mean (variables are resolved when the procedure is compiled,
// ixr_proc.cpp) and running the body.
#include "platform/informix/ixr_parser.h"

namespace ixr {
namespace {

// Statement blocks nest at most this deep; the parser recurses once per block.
constexpr int kMaxBlockDepth = 100;

}  // namespace

ProcStmt* Parser::newProcStmt(ProcKind kind, size_t pos) {
  ast_.procStmts.emplace_back();
  ProcStmt* ps = &ast_.procStmts.back();
  ps->kind = kind;
  ps->span.pos = pos;
  return ps;
}

ProcExprs Parser::procExprs() {
  ProcExprs out;
  out.span.pos = cur().pos;
  do out.exprs.push_back(expr());
  while (!err_ && acceptOp(","));
  out.span.end = lastEnd();
  return out;
}

// name type [DEFAULT value], name LIKE [owner.]table.column, name REFERENCES BYTE | TEXT.
ProcVarDef Parser::procVar(bool withDefault) {
  ProcVarDef v;
  v.pos = cur().pos;
  v.name = ident();
  if (accept("like")) {
    std::vector<std::string> parts{ident()};
    while (!err_ && acceptOp(".")) parts.push_back(ident());
    if (parts.size() < 2 || parts.size() > 3) fail();
    if (err_) return v;
    v.likeColumn = parts.back();
    v.likeTable.name = parts[parts.size() - 2];
    if (parts.size() == 3) v.likeTable.owner = parts[0];
  } else if (accept("references")) {
    if (accept("byte"))
      v.type = tByte();
    else if (accept("text"))
      v.type = tText();
    else
      fail();
  } else {
    v.type = typeSpec(nullptr);
  }
  if (withDefault && accept("default")) {
    v.init.span.pos = cur().pos;
    v.init.exprs.push_back(unary());
    v.init.span.end = lastEnd();
  }
  return v;
}

// After CREATE [DBA].
Stmt* Parser::createProcedure(size_t pos) {
  Stmt* st = newStmt(StmtKind::CreateProcedure, pos);
  ast_.procDefs.emplace_back();
  ProcDef* d = &ast_.procDefs.back();
  st->proc = d;
  accept("dba");
  bool function = accept("function");
  if (!function) expect("procedure");
  TableName pn = tableName();
  st->name = pn.name;
  int markersBefore = markers_;
  expectOp("(");
  if (!isOp(")")) {
    do d->params.push_back(procVar(true));
    while (!err_ && acceptOp(","));
  }
  expectOp(")");
  st->numArgs = static_cast<int>(d->params.size());
  if (accept("specific")) tableName();
  if (accept("returning") || accept("returns")) {
    do {
      d->returns.push_back(typeSpec(nullptr));
      d->returnNames.push_back(accept("as") ? ident() : std::string());
    } while (!err_ && acceptOp(","));
    st->returns = d->returns;
  }
  if (is("with") && peekIsOp(1, "(")) {
    advance();
    rawParens();
  }
  acceptOp(";");
  inProc_ = true;
  d->body = procBlock();
  inProc_ = false;
  if (is("end") && (peekIs(1, "procedure") || peekIs(1, "function")))
    advance(2);
  else
    fail();
  // '?' has no meaning in a stored body.
  if (!err_ && markers_ != markersBefore) fail(ixErr(IXR_E_SYNTAX, "?"));
  // DOCUMENT and WITH LISTING IN change nothing here.
  skipRest();
  return st;
}

bool Parser::atBlockEnd() const {
  return cur().kind == TokenKind::End || is("end") || is("elif") || is("else");
}

// A simple statement ends with ';', which may be left out before the end of its block.
void Parser::endStatement() {
  if (!acceptOp(";") && !atBlockEnd()) fail();
}

// END <word> of a compound statement, with an optional ';'.
void Parser::expectEnd(const char* word) {
  expect("end");
  expect(word);
  acceptOp(";");
}

ProcBlock* Parser::procBlock() {
  ast_.procBlocks.emplace_back();
  ProcBlock* b = &ast_.procBlocks.back();
  if (++blockDepth_ > kMaxBlockDepth) {
    fail(ixErr(IXR_E_TOO_COMPLEX, "statement blocks nest too deeply"));
    return b;
  }
  while (!err_ && is("define")) procDefine(b);
  while (!err_ && is("on") && peekIs(1, "exception")) procHandler(b);
  while (!err_ && !atBlockEnd()) b->stmts.push_back(procStatement());
  --blockDepth_;
  return b;
}

// DEFINE [GLOBAL] name [, name ...] type [DEFAULT value];
void Parser::procDefine(ProcBlock* b) {
  advance();
  bool global = accept("global");
  std::vector<std::pair<std::string, size_t>> names;
  while (!err_) {
    size_t at = cur().pos;
    std::string n = ident();
    if (!acceptOp(",")) {
      --at_;  // the last name belongs to the definition with the type
      break;
    }
    names.emplace_back(n, at);
  }
  ProcVarDef v = procVar(global);
  v.global = global;
  if (global && v.init.exprs.empty()) fail();  // a global needs its first value
  for (auto& [n, at] : names) {
    ProcVarDef copy = v;
    copy.name = n;
    copy.pos = at;
    b->vars.push_back(copy);
  }
  b->vars.push_back(v);
  endStatement();
}

// ON EXCEPTION [IN (code, ...)] [SET var [, var [, var]]] block END EXCEPTION [WITH RESUME]
void Parser::procHandler(ProcBlock* b) {
  ProcHandler h;
  h.pos = cur().pos;
  advance(2);
  if (accept("in")) {
    expectOp("(");
    do {
      bool negative = acceptOp("-");
      int64_t c = intLit();
      h.codes.push_back(static_cast<int32_t>(negative ? -c : c));
    } while (!err_ && acceptOp(","));
    expectOp(")");
  }
  if (accept("set")) {
    do h.set.push_back(ident());
    while (!err_ && acceptOp(","));
    if (h.set.size() > 3) fail();
  }
  h.body = procBlock();
  expect("end");
  expect("exception");
  if (accept("with")) {
    expect("resume");
    h.resume = true;
  }
  acceptOp(";");
  b->handlers.push_back(std::move(h));
}

ProcStmt* Parser::procStatement() {
  size_t pos = cur().pos;
  ProcStmt* ps = nullptr;
  if (accept("let")) {
    ps = newProcStmt(ProcKind::Let, pos);
    procLet(ps);
  } else if (accept("if")) {
    ps = newProcStmt(ProcKind::If, pos);
    procIf(ps);
  } else if (accept("for")) {
    ps = newProcStmt(ProcKind::For, pos);
    procFor(ps);
  } else if (accept("while")) {
    ps = newProcStmt(ProcKind::While, pos);
    ps->conds.push_back(procExprs());
    if (ps->conds.back().exprs.size() != 1) fail();
    ps->blocks.push_back(procBlock());
    expectEnd("while");
  } else if (accept("foreach")) {
    ps = newProcStmt(ProcKind::Foreach, pos);
    procForeach(ps);
  } else if (is("exit") || is("continue")) {
    ps = newProcStmt(take().text == "exit" ? ProcKind::Exit : ProcKind::Continue, pos);
    if (is("for") || is("while") || is("foreach") || is("loop")) ps->word = take().text;
    endStatement();
  } else if (accept("return")) {
    ps = newProcStmt(ProcKind::Return, pos);
    if (!isOp(";") && !is("with") && !atBlockEnd()) ps->values = procExprs();
    if (accept("with")) {
      expect("resume");
      ps->resume = true;
    }
    endStatement();
  } else if (is("raise") && peekIs(1, "exception")) {
    advance(2);
    ps = newProcStmt(ProcKind::Raise, pos);
    ps->values = procExprs();
    if (ps->values.exprs.size() > 3) fail();
    endStatement();
  } else if (accept("call")) {
    ps = newProcStmt(ProcKind::Call, pos);
    procCall(ps, false);
  } else if (is("execute") && (peekIs(1, "procedure") || peekIs(1, "function"))) {
    advance(2);
    ps = newProcStmt(ProcKind::Call, pos);
    procCall(ps, true);
  } else if (is("begin") && !peekIs(1, "work") && !peekIs(1, "transaction")) {
    advance();
    ps = newProcStmt(ProcKind::Block, pos);
    ps->blocks.push_back(procBlock());
    expect("end");
    acceptOp(";");
  } else if (is("define") || (is("on") && peekIs(1, "exception"))) {
    // Declarations come first in their block.
    fail();
    ps = newProcStmt(ProcKind::Sql, pos);
  } else {
    ps = newProcStmt(ProcKind::Sql, pos);
    procSql(ps);
  }
  if (!ps->span.end) ps->span.end = lastEnd();
  return ps;
}

// LET name [, name ...] = expression list | (SELECT ...)
void Parser::procLet(ProcStmt* ps) {
  do ps->names.push_back(ident());
  while (!err_ && acceptOp(","));
  expectOp("=");
  // Several targets take the row of a query; one target reads (SELECT ...) as a value.
  if (ps->names.size() > 1 && isOp("(") && peekIs(1, "select")) {
    advance();
    ps->querySpan.pos = cur().pos;
    ps->query = query();
    ps->querySpan.end = lastEnd();
    expectOp(")");
  } else {
    ps->values = procExprs();
  }
  endStatement();
}

// IF cond THEN block [ELIF cond THEN block ...] [ELSE block] END IF
void Parser::procIf(ProcStmt* ps) {
  do {
    ps->conds.push_back(procExprs());
    if (ps->conds.back().exprs.size() != 1) fail();
    expect("then");
    ps->blocks.push_back(procBlock());
  } while (!err_ && accept("elif"));
  if (accept("else")) ps->blocks.push_back(procBlock());
  expectEnd("if");
}

// FOR name = from TO to [STEP step] block END FOR
// FOR name IN (item, ...) block END FOR, an item being a value or a range.
void Parser::procFor(ProcStmt* ps) {
  ps->names.push_back(ident());
  auto item = [&]() {
    ForItem it;
    it.from.span.pos = cur().pos;
    it.from.exprs.push_back(expr());
    it.from.span.end = lastEnd();
    if (accept("to")) {
      it.to.span.pos = cur().pos;
      it.to.exprs.push_back(expr());
      it.to.span.end = lastEnd();
      if (accept("step")) {
        it.step.span.pos = cur().pos;
        it.step.exprs.push_back(expr());
        it.step.span.end = lastEnd();
      }
    }
    ps->items.push_back(std::move(it));
  };
  if (acceptOp("=")) {
    item();
    if (!err_ && ps->items.back().to.exprs.empty()) fail();
  } else {
    expect("in");
    expectOp("(");
    do item();
    while (!err_ && acceptOp(","));
    expectOp(")");
  }
  ps->blocks.push_back(procBlock());
  expectEnd("for");
}

// FOREACH [cursor [WITH HOLD] FOR] SELECT ... INTO ... block END FOREACH
void Parser::procForeach(ProcStmt* ps) {
  if (is("execute")) fail(ixErr(IXR_E_UNSUPPORTED, "FOREACH over EXECUTE PROCEDURE"));
  if (!is("select") && !(isOp("(") && peekIs(1, "select"))) {
    ps->word = ident();
    if (accept("with")) expect("hold");
    expect("for");
  }
  ps->querySpan.pos = cur().pos;
  ps->query = query();
  ps->querySpan.end = lastEnd();
  if (!err_ && ps->query->cores[0]->into.empty()) fail();
  acceptOp(";");
  ps->blocks.push_back(procBlock());
  expectEnd("foreach");
}

// CALL name([args]) [RETURNING names]; EXECUTE PROCEDURE name([args]) [INTO names].
void Parser::procCall(ProcStmt* ps, bool execute) {
  ps->word = tableName().name;
  expectOp("(");
  if (!isOp(")")) {
    ps->values = procExprs();
  } else {
    ps->values.span.pos = ps->values.span.end = cur().pos;
  }
  expectOp(")");
  if (accept(execute ? "into" : "returning")) {
    do ps->names.push_back(ident());
    while (!err_ && acceptOp(","));
  }
  endStatement();
}

// Any other statement is SQL, run as a statement of its own.
void Parser::procSql(ProcStmt* ps) {
  Stmt* st = statement();
  if (err_) return;
  switch (st->kind) {
    case StmtKind::Select:
      // A query in a body hands its row to variables (or to a temporary table).
      if (st->select->cores[0]->into.empty() && st->select->intoTemp.empty()) {
        fail();
        return;
      }
      break;
    case StmtKind::CreateProcedure:
    case StmtKind::ExecuteProcedure:
    case StmtKind::CreateDatabase:
    case StmtKind::DropDatabase:
    case StmtKind::Database:
    case StmtKind::CloseDatabase:
      // Procedures cannot nest and run where their database is open.
      fail(ixErr(IXR_E_SYNTAX, ast_.text.substr(st->pos, 20)));
      return;
    default: break;
  }
  ps->sql = st;
  ps->span.end = lastEnd();
  endStatement();
}

// After DROP PROCEDURE, FUNCTION or ROUTINE.
Stmt* Parser::dropProcedure(size_t pos) {
  Stmt* st = newStmt(StmtKind::DropProcedure, pos);
  TableName pn = tableName();
  st->name = pn.name;
  if (isOp("(")) {
    int depth = 0;
    do {
      if (isOp("(")) ++depth;
      if (isOp(")")) --depth;
      advance();
    } while (depth > 0 && cur().kind != TokenKind::End);
  }
  return st;
}

// After EXECUTE PROCEDURE or FUNCTION.
Stmt* Parser::executeProcedure(size_t pos) {
  Stmt* st = newStmt(StmtKind::ExecuteProcedure, pos);
  st->name = tableName().name;
  expectOp("(");
  if (!isOp(")")) {
    do {
      Span sp;
      sp.pos = cur().pos;
      st->args.push_back(expr());
      sp.end = lastEnd();
      st->argSpans.push_back(sp);
    } while (!err_ && acceptOp(","));
  }
  expectOp(")");
  return st;
}

}  // namespace ixr
