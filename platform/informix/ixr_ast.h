// ixr_ast.h -- the parse tree of Informix SQL statements in the embedded server. The
// parser fills the syntax fields; the translator fills the analysis fields (types,
// resolved columns) and emits SQLite SQL from the tree.
// Ownership: every node lives in its statement's Ast arena and dies with it.
// Threading: a tree belongs to one statement of one session.
#pragma once

#include "platform/informix/ixr_errors.h"
#include "platform/informix/ixr_types.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace ixr {

struct Select;
struct TableDef;
struct Stmt;

enum class ExprKind {
  Literal,  // literal: its kind, text: its value (strings unquoted)
  Marker,   // '?': marker
  Column,   // [qual.]name (qual may hold owner.table)
  Star,     // * or qual.* in a select list, or COUNT(*)
  Negate,   // unary minus: args[0]
  Binary,   // args[0] op args[1]: '+', '-', '*', '/', '|' (concatenation)
  Compare,  // args[0] op args[1]: "=", "<>", "<", "<=", ">", ">="
  And,
  Or,
  Not,
  IsNull,    // negated: IS NOT NULL
  Between,   // args[0] BETWEEN args[1] AND args[2]
  In,        // args[0] IN (args[1..]) or IN (subquery)
  Like,      // op "like" or "matches"; args: subject, pattern[, escape]
  Exists,    // subquery
  Subquery,  // scalar subquery
  Case,      // args: [operand], when1, then1, ..., [else] (hasOperand, hasElse)
  Cast,      // args[0] AS castType
  Function,  // name(args), distinct for aggregates
  Today,
  Current,  // dtQual
  User,
  DbServer,
  DatetimeLiteral,  // DATETIME(text) dtQual
  IntervalLiteral,  // INTERVAL(text) dtQual
  Units,            // args[0] UNITS unit (dtQual's first field)
  Substring,        // args[0][args[1], args[2]]
  Extend,           // EXTEND(args[0], dtQual)
  Variable,         // a procedure variable: slot (the parser reads it as a Column)
};

enum class LiteralKind { Int, Decimal, Float, String, Null };

struct Expr {
  ExprKind kind = ExprKind::Literal;
  std::string op;        // operator or function/aggregate name (lower case)
  bool negated = false;  // NOT for IsNull, Between, In, Like, Exists
  LiteralKind literal = LiteralKind::Null;
  std::string text;  // literal value, column name, alias of a Star
  std::string qual;  // column qualifier: table or alias (owner dropped)
  std::vector<Expr*> args;
  Select* subquery = nullptr;
  IxType castType;
  int dtQual = 0;         // qualifier of Current, DatetimeLiteral, IntervalLiteral, Units, Extend
  bool distinct = false;  // aggregate DISTINCT
  bool hasOperand = false, hasElse = false;
  int marker = -1;  // marker index (ExprKind::Marker)
  int slot = -1;    // variable slot in the procedure's frame (ExprKind::Variable)
  size_t pos = 0;   // offset in the statement text
  int height = 0;   // levels of the tree from here down, once the parser has bounded it

  // Analysis.
  IxType type;  // Informix type of the value
  bool typed = false;
  bool aggregate = false;          // the node is or contains an aggregate of this query level
  int tableIdx = -1, colIdx = -1;  // resolved column: index into the scope's tables
  int depth = 0;                   // 0 this query, >0 an outer query
  bool rowid = false;              // ROWID pseudo column
};

struct TableName {
  std::string db;     // database (empty: current); "sysmaster" for the server's list
  std::string owner;  // as written, lower case unless quoted
  std::string name;   // lower case
  size_t pos = 0;
  bool empty() const { return name.empty(); }
};

// How a table joins the ones before it in FROM.
enum class JoinKind {
  Comma,  // "a, b" (an Informix OUTER table joins on the WHERE conditions)
  Inner,  // [INNER] JOIN ... ON, CROSS JOIN
  Left,   // LEFT [OUTER] JOIN ... ON
};

struct TableRef {
  TableName table;
  std::string alias;
  Select* subquery = nullptr;  // derived table
  bool outer = false;          // Informix OUTER table (joined on the WHERE conditions)
  JoinKind join = JoinKind::Comma;
  Expr* on = nullptr;
  // Analysis.
  const TableDef* def = nullptr;  // its description (made up for a derived table)
};

struct SelItem {
  Expr* expr = nullptr;
  std::string alias;
};

struct SelectCore {
  Expr* first = nullptr;
  Expr* skip = nullptr;
  bool distinct = false;
  std::vector<SelItem> items;
  std::vector<TableRef*> from;
  Expr* where = nullptr;
  std::vector<Expr*> groupBy;
  Expr* having = nullptr;
  std::vector<std::string> into;  // SELECT ... INTO variables (procedure bodies only)
};

struct OrderItem {
  Expr* expr = nullptr;
  bool desc = false;
};

struct Select {
  std::vector<SelectCore*> cores;  // UNION members in order
  std::vector<bool> unionAll;      // per member after the first
  std::vector<OrderItem> order;
  std::string intoTemp;  // SELECT ... INTO TEMP name
  bool forUpdate = false;
  size_t pos = 0, end = 0;  // text span (for views)
  int height = 0;           // as Expr::height, over every expression and subquery below
};

struct DefaultSpec {
  // sysdefaults.type: 'L' literal, 'N' NULL, 'T' TODAY, 'C' CURRENT, 'U' USER,
  // 'S' DBSERVERNAME; 0 for no default.
  char kind = 0;
  Expr* literal = nullptr;  // the literal of kind L
  std::string text;         // the default as sysdefaults keeps it
};

struct ConstraintDef {
  char type = 0;     // 'P' primary, 'U' unique, 'R' references, 'C' check, 'N' not null
  std::string name;  // empty: generated
  std::vector<std::string> cols;
  TableName refTable;
  std::vector<std::string> refCols;
  bool cascade = false;
  Expr* check = nullptr;
  std::string checkText;
};

struct ColDef {
  std::string name;
  IxType type;
  int serialStart = 1;
  DefaultSpec defaultValue;
  std::vector<ConstraintDef> constraints;  // cols filled with the column
};

enum class StmtKind {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  DropTable,
  AlterTable,
  RenameTable,
  RenameColumn,
  CreateIndex,
  DropIndex,
  CreateView,
  DropView,
  CreateSynonym,
  DropSynonym,
  CreateProcedure,
  DropProcedure,
  ExecuteProcedure,
  Grant,
  Revoke,
  CreateDatabase,
  DropDatabase,
  Database,
  CloseDatabase,
  Begin,
  Commit,
  Rollback,
  SetIsolation,
  SetLockMode,
  SetOther,
  UpdateStats,
  Lock,
  Unlock,
};

enum class AlterKind { AddColumn, DropColumn, ModifyColumn, AddConstraint, DropConstraint };

struct AlterAction {
  AlterKind kind = AlterKind::AddColumn;
  ColDef col;
  std::string before;  // ADD ... BEFORE column
  std::string name;    // DROP column / DROP CONSTRAINT name
  ConstraintDef constraint;
};

struct IndexCol {
  std::string name;
  bool desc = false;
};

// Database kinds, as CREATE DATABASE gives them.
enum LogMode { kNoLog = 0, kBufferedLog = 1, kLog = 2, kAnsi = 3 };

// Isolation levels of SET ISOLATION and SET TRANSACTION ISOLATION LEVEL.
enum Isolation { kDirtyRead = 1, kCommittedRead = 2, kCursorStability = 3, kRepeatableRead = 4 };

// SET LOCK MODE TO NOT WAIT, and WAIT without seconds; a lock wait is otherwise seconds.
constexpr int kLockNoWait = -2;
constexpr int kLockWaitDefault = -1;

// ------------------------------------------------------------------ procedures
// A procedure body is parsed whole when it is created (its syntax errors are the
// CREATE's) and kept as spans of its text: the runtime parses each expression list,
// query and SQL statement of it again, as a statement of its own, when it runs it.

// Start and end offsets in the statement text.
struct Span {
  size_t pos = 0, end = 0;
};

// An expression list of a procedure statement: the parsed expressions and their text.
struct ProcExprs {
  std::vector<Expr*> exprs;
  Span span;
};

struct ProcVarDef {
  std::string name;
  IxType type;
  TableName likeTable;     // DEFINE x LIKE table.column: the type comes from the catalog
  std::string likeColumn;  // empty: the type is written out
  bool global = false;     // DEFINE GLOBAL: one value per session, shared by procedures
  ProcExprs init;          // DEFAULT of a parameter or a GLOBAL variable
  size_t pos = 0;
};

struct ProcBlock;

struct ProcHandler {
  std::vector<int32_t> codes;    // IN (...): SQL or ISAM codes; empty: every error
  std::vector<std::string> set;  // SET variables for the code, the ISAM code and the text
  ProcBlock* body = nullptr;
  bool resume = false;  // END EXCEPTION WITH RESUME
  size_t pos = 0;
};

enum class ProcKind {
  Let,       // names = values, or names = (query)
  If,        // conds[k] THEN blocks[k]; an ELSE block is the one past the conditions
  For,       // names[0] IN items: blocks[0]
  While,     // conds[0]: blocks[0]
  Foreach,   // query with INTO: blocks[0]; word: the cursor name, if any
  Exit,      // word: "for", "while", "foreach", or empty for the innermost loop
  Continue,  // as Exit
  Return,    // values; resume: WITH RESUME
  Raise,     // values: SQL code [, ISAM code [, text]]
  Call,      // word(values) RETURNING names
  Block,     // BEGIN blocks[0] END
  Sql,       // sql: any other statement
};

// A FOR list item: one value, or a range when `to` has an expression.
struct ForItem {
  ProcExprs from, to, step;
};

struct ProcStmt {
  ProcKind kind = ProcKind::Sql;
  Span span;  // the whole statement
  std::vector<std::string> names;
  ProcExprs values;
  std::vector<ProcExprs> conds;
  std::vector<ForItem> items;
  Select* query = nullptr;
  Span querySpan;
  Stmt* sql = nullptr;
  std::vector<ProcBlock*> blocks;
  std::string word;
  bool resume = false;
};

// A statement block: its DEFINEs, then its ON EXCEPTION handlers, then its statements.
struct ProcBlock {
  std::vector<ProcVarDef> vars;
  std::vector<ProcHandler> handlers;
  std::vector<ProcStmt*> stmts;
};

struct ProcDef {
  std::vector<ProcVarDef> params;
  std::vector<IxType> returns;
  std::vector<std::string> returnNames;  // RETURNING type AS name; empty when unnamed
  ProcBlock* body = nullptr;
};

struct Stmt {
  StmtKind kind = StmtKind::Select;
  size_t pos = 0, end = 0;   // span in the text
  Select* select = nullptr;  // SELECT, INSERT ... SELECT, CREATE VIEW

  TableName table;  // target of INSERT/UPDATE/DELETE/DDL/GRANT/LOCK
  std::vector<std::string> cols;
  std::vector<Expr*> values;
  std::vector<std::pair<std::string, Expr*>> sets;
  Expr* where = nullptr;
  std::string currentOf;

  bool temp = false;
  std::vector<ColDef> colDefs;
  std::vector<ConstraintDef> tableConstraints;
  std::vector<AlterAction> alters;
  std::string name, name2;  // index, view, synonym, database, procedure, new names
  std::vector<IndexCol> idxCols;
  bool unique = false;
  bool isPublic = true;

  std::string privs;  // table privileges as letters (s u i d x a r); "" for database grants
  std::vector<std::pair<char, std::vector<std::string>>> colPrivs;  // column lists of s, u, r
  std::string dbPriv;                                               // CONNECT, RESOURCE or DBA
  std::vector<std::string> grantees;
  bool withGrant = false;

  int logMode = kNoLog;  // CREATE DATABASE: a LogMode
  bool exclusive = false;
  int isolation = 0;  // an Isolation
  int lockWait = 0;   // kLockNoWait, kLockWaitDefault or seconds

  int numArgs = 0;  // CREATE PROCEDURE
  std::vector<IxType> returns;
  ProcDef* proc = nullptr;
  std::vector<Expr*> args;     // EXECUTE PROCEDURE
  std::vector<Span> argSpans;  // their text
};

// Arena of one parsed text; statements in order.
struct Ast {
  std::string text;  // the statement text the nodes point into
  std::vector<Stmt*> stmts;
  std::deque<Expr> exprs;
  std::deque<Select> selects;
  std::deque<SelectCore> cores;
  std::deque<TableRef> refs;
  std::deque<Stmt> stmtStore;
  std::deque<ProcStmt> procStmts;
  std::deque<ProcBlock> procBlocks;
  std::deque<ProcDef> procDefs;
  int markers = 0;

  Expr* expr(ExprKind kind, size_t pos) {
    exprs.emplace_back();
    exprs.back().kind = kind;
    exprs.back().pos = pos;
    return &exprs.back();
  }
};

// Parses text (one or more statements separated by ';'). delimIdent makes "x" an
// identifier instead of a string; procUnit reads the text as a statement of a procedure
// body (SELECT ... INTO variables). On failure answers IXR_E_SYNTAX (with the offending
// token in name) and the arena holds the statements parsed before it.
IxError parseSql(const std::string& text, bool delimIdent, Ast& out, bool procUnit = false);

// Parses a type as DDL writes it ("CHAR(10)", "DECIMAL(8,2)", ...).
IxError parseType(const std::string& text, IxType& out);

}  // namespace ixr
