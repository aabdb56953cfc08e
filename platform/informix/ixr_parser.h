// ixr_parser.h -- the state of the embedded server's SQL parser, shared by the files that
// parse one part of the language each: ixr_lex.cpp (tokens), ixr_parse.cpp (the driver,
// names, types, statement dispatch and session statements), ixr_parse_expr.cpp
// (expressions), ixr_parse_query.cpp (SELECT, INSERT, UPDATE, DELETE), ixr_parse_ddl.cpp
// (CREATE, DROP, ALTER, RENAME, GRANT, REVOKE) and ixr_parse_proc.cpp (procedures).
// Internal to those files: the rest of the runtime sees only parseSql and parseType.
// Threading: a Parser lives for one parse on one thread.
// Not here: resolving names against the catalog and typing expressions (the translator).
#pragma once

#include "platform/informix/ixr_ast.h"

#include <algorithm>
#include <string>
#include <vector>

namespace ixr {

enum class TokenKind {
  Word,          // identifier or keyword, folded to lower case
  Number,        // digits with an optional fraction and exponent, as written
  String,        // '...' unquoted
  DoubleQuoted,  // "..." unquoted: a string, or an identifier under delimited identifiers
  Operator,      // punctuation: one or two characters
  End,           // after the last token
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;         // word: lower case; string: unquoted value; operator/number: as written
  size_t pos = 0, end = 0;  // span in the statement text
};

// Splits text into tokens ending with one End token. Comments ("--" to the end of the
// line, "{...}" and "/*...*/") and blanks separate tokens. Fails with IXR_E_SYNTAX on an
// unclosed string or a character no token starts with.
IxError lex(const std::string& text, std::vector<Token>& out);

// The time unit a word names (IXR_TU_*), or -1. FRACTION alone is FRACTION(3).
int timeUnitCode(const std::string& word);

// Recursive descent over the tokens of one text. Keywords are not reserved: a word is a
// keyword only where the grammar expects one, so catalog columns such as "default" or
// "type" parse as names. The first failure is kept in err_ and parks the parser on the
// End token, so every caller unwinds without checking after each step.
class Parser {
 public:
  // How deep statements may nest: parentheses, subqueries, operator chains and signs.
  // Every walk after the parse (translation, typing, procedure compilation) recurses
  // over the tree, so a bound here keeps them all within a small thread's stack.
  static constexpr int kMaxNesting = 100;

  Parser(const std::string& text, bool delimIdent, Ast& ast)
      : src_(text), delimIdent_(delimIdent), ast_(ast) {}

  IxError run();                // every statement of the text into the Ast
  IxError typeOnly(IxType& t);  // the text is one type
  // The text is a statement of a procedure body: SELECT may name INTO variables.
  void procUnit() { inProc_ = true; }

 private:
  const std::string& src_;
  bool delimIdent_;  // "x" is an identifier, not a string
  Ast& ast_;
  std::vector<Token> toks_;
  size_t at_ = 0;  // the current token
  int markers_ = 0;
  IxError err_;
  bool inProc_ = false;  // inside a procedure body
  int blockDepth_ = 0;   // statement blocks open in a procedure body
  int depth_ = 0;        // recursive descent levels open

  // One level of recursive descent; past kMaxNesting the parse fails as too complex.
  struct Level {
    Parser& p;
    explicit Level(Parser& parser) : p(parser) {
      if (++p.depth_ > kMaxNesting || !p.roomForLevel()) p.tooComplex();
    }
    ~Level() { --p.depth_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
  };
  void tooComplex();
  static bool roomForLevel();
  // The tree's height, memoised in the nodes; the parse fails when e is deeper than
  // kMaxNesting (a long chain of operators nests as deeply as parentheses do).
  Expr* bounded(Expr* e);
  int height(Expr* e);
  int height(Select* s);

  // Tokens.
  const Token& cur() const { return toks_[at_]; }
  const Token& peek(size_t ahead = 1) const {
    return toks_[std::min(at_ + ahead, toks_.size() - 1)];
  }
  // Never past the End token: a failed parse parks there and its callers may still
  // step on before they see the failure.
  void advance(size_t n = 1) { at_ = std::min(at_ + n, toks_.size() - 1); }
  const Token& take() {
    const Token& t = cur();
    advance();
    return t;
  }
  bool is(const char* word) const { return cur().kind == TokenKind::Word && cur().text == word; }
  bool peekIs(size_t ahead, const char* word) const {
    return peek(ahead).kind == TokenKind::Word && peek(ahead).text == word;
  }
  bool isOp(const char* op) const { return cur().kind == TokenKind::Operator && cur().text == op; }
  bool peekIsOp(size_t ahead, const char* op) const {
    return peek(ahead).kind == TokenKind::Operator && peek(ahead).text == op;
  }
  bool accept(const char* word) {
    if (!is(word)) return false;
    advance();
    return true;
  }
  bool acceptOp(const char* op) {
    if (!isOp(op)) return false;
    advance();
    return true;
  }
  // An optional ASC or DESC; true for DESC.
  bool acceptDescending() {
    if (accept("desc")) return true;
    accept("asc");
    return false;
  }
  IxError fail();
  IxError fail(IxError e);  // fails with e instead of a syntax error
  // The end of the last token taken.
  size_t lastEnd() const { return at_ > 0 ? toks_[at_ - 1].end : 0; }
  void expect(const char* word) {
    if (!accept(word)) fail();
  }
  void expectOp(const char* op) {
    if (!acceptOp(op)) fail();
  }
  std::string ident();
  int64_t intLit();
  void skipRest();
  Stmt* newStmt(StmtKind kind, size_t pos);
  std::vector<std::string> nameList();
  std::string spanText(size_t begin, size_t end);

  // Names and types (ixr_parse.cpp).
  TableName tableName();
  int qualField(int& digits);
  int qualifier(bool interval);
  IxType typeSpec(int* serialStart);

  // Statements (ixr_parse.cpp).
  Stmt* statement();
  Stmt* setStmt(size_t pos);

  // Expressions (ixr_parse_expr.cpp), lowest precedence first.
  Expr* expr() { return orExpr(); }
  Expr* orExpr();
  Expr* andExpr();
  Expr* notExpr();
  Expr* predicate();
  Expr* concatExpr();
  Expr* addExpr();
  Expr* mulExpr();
  Expr* unary();
  Expr* postfix();
  Expr* primary();
  Expr* primaryNode();
  Expr* predicateNode();
  std::string rawParens();
  Expr* caseExpr();
  Expr* trimExpr();
  Expr* substringExpr();

  // Queries and data changes (ixr_parse_query.cpp).
  bool aliasNext() const;  // the current word names an alias
  Select* query();
  Select* queryNode();
  void tail(Select* s);
  SelectCore* member();
  SelectCore* core();
  TableRef* tableRef();
  void fromList(std::vector<TableRef*>& from);
  void whereOrCurrent(Stmt* st);
  Stmt* insertStmt(size_t pos);
  Stmt* updateStmt(size_t pos);
  Stmt* deleteStmt(size_t pos);

  // DDL and privileges (ixr_parse_ddl.cpp).
  Stmt* createStmt(size_t pos);
  Stmt* dropStmt(size_t pos);
  Stmt* alterStmt(size_t pos);
  void alterItem(Stmt* st, AlterKind kind, bool list);
  Stmt* renameStmt(size_t pos);
  Stmt* grantStmt(size_t pos);
  ColDef columnDef();
  bool tableConstraint(std::vector<ConstraintDef>& out);
  void constraintName(ConstraintDef& c);
  void references(ConstraintDef& c);
  void checkClause(ConstraintDef& c);

  // Procedures (ixr_parse_proc.cpp).
  Stmt* createProcedure(size_t pos);
  Stmt* dropProcedure(size_t pos);
  Stmt* executeProcedure(size_t pos);
  ProcVarDef procVar(bool withDefault);
  ProcExprs procExprs();
  ProcBlock* procBlock();
  void procDefine(ProcBlock* b);
  void procHandler(ProcBlock* b);
  ProcStmt* procStatement();
  ProcStmt* newProcStmt(ProcKind kind, size_t pos);
  void procLet(ProcStmt* ps);
  void procIf(ProcStmt* ps);
  void procFor(ProcStmt* ps);
  void procForeach(ProcStmt* ps);
  void procCall(ProcStmt* ps, bool execute);
  void procSql(ProcStmt* ps);
  bool atBlockEnd() const;
  void endStatement();
  void expectEnd(const char* word);
};

}  // namespace ixr
