// ixr_parse_proc.cpp -- procedures in the embedded server's SQL: CREATE PROCEDURE and
// CREATE FUNCTION (name, parameter count and RETURNING types; the body is skipped up to
// END PROCEDURE or END FUNCTION), DROP PROCEDURE / FUNCTION / ROUTINE with an optional
// signature, and EXECUTE PROCEDURE / FUNCTION with its arguments.
// Threading: one Parser per thread.
// Not here: the statements of a procedure body, which the server keeps as text and does
// not run.
#include "platform/informix/ixr_parser.h"

namespace ixr {

// After CREATE [DBA].
Stmt* Parser::createProcedure(size_t pos) {
  Stmt* st = newStmt(StmtKind::CreateProcedure, pos);
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
    advance();
  }
  expectOp(")");
  st->numArgs = any ? args + 1 : 0;
  if (accept("returning") || accept("returns")) {
    do {
      st->returns.push_back(typeSpec(nullptr));
      if (accept("as")) ident();
    } while (!err_ && acceptOp(","));
  }
  // The body is kept as the statement's text; it ends at END PROCEDURE / END FUNCTION.
  while (!err_ && cur().kind != TokenKind::End) {
    if (is("end") && (peekIs(1, "procedure") || peekIs(1, "function"))) {
      advance(2);
      break;
    }
    advance();
  }
  skipRest();
  return st;
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
  st->name = ident();
  expectOp("(");
  if (!isOp(")")) {
    do st->args.push_back(expr());
    while (!err_ && acceptOp(","));
  }
  expectOp(")");
  return st;
}

}  // namespace ixr
