// ixr_translate.h -- turns parsed Informix DML (SELECT, INSERT, UPDATE, DELETE) into
// SQLite SQL plus what the runtime needs to know about it: the Informix types and names
// of the result columns, the target type of every '?' marker, the statement type, and
// the bookkeeping of SERIAL columns and positioned updates. Names are resolved against
// the catalog here, so unknown tables and columns fail at PREPARE.
// Threading: one translation at a time per session.
#pragma once

#include "platform/informix/ixr_ast.h"
#include "platform/informix/ixr_catalog.h"
#include "platform/informix/ixr_convert.h"

#include <string>
#include <vector>

namespace ixr {

struct ResultCol {
  std::string name;
  IxType type;
};

// The type a marker took from what it met; its host value binds through markerValue.
// A marker that meets no column or expression (one alone in a select list, or beside a
// constant or another marker) has the type of its host variable, as a literal of that
// type would: such a marker is `hostTyped`, and the statement is translated again when
// its host variable's type changes (TransCtx::hosts).
struct MarkerTarget {
  IxType type;
  bool known = false;      // false: bind the host value as it is
  bool store = false;      // the value is stored into a column (INSERT values, UPDATE SET)
  bool hostTyped = false;  // the type is the host variable's own, or would be
  bool seen = false;       // the marker belongs to this statement
  std::string column;      // INSERT: the target column's name
};

struct Translation {
  int stmtType = 0;
  std::string sql;                    // SQLite statement
  std::vector<ResultCol> cols;        // SELECT results; INSERT: the described markers
  std::vector<MarkerTarget> markers;  // in marker order
  bool hasRowid = false;              // the last SQLite result column is a hidden rowid
  std::string currentOf;              // positioned UPDATE/DELETE: the cursor name
  int rowidParam = 0;                 // its parameter number
  Op op = Op::Other;
  TableRefPtr target;             // INSERT/UPDATE/DELETE target
  bool serial = false;            // the INSERT assigns SERIAL values
  std::string intoTemp;           // SELECT ... INTO TEMP name
  std::vector<TableRefPtr> keep;  // descriptions the translation points into
  std::vector<int> vars;          // procedure variable slots the SQL reads, as ?<slot + 1>
};

struct TransCtx {
  Catalog* catalog = nullptr;
  std::string user;
  std::string server;
  std::string dbname;
  bool ansi = false;
  // The types of a procedure's variable slots, for the statements of its body.
  const std::vector<IxType>* varTypes = nullptr;
  // The host variables' types of the markers, in marker order; a code below 0 (or no
  // entry) for one whose type its neighbours choose (hostSignature).
  const std::vector<IxType>* hosts = nullptr;
};

IxError translate(TransCtx& ctx, Ast& ast, Stmt* st, Translation& out);

// The host types to translate a statement with for an input area, entries only for the
// markers `typed` marks (MarkerTarget::hostTyped, see TransCtx::hosts): numbers, dates
// and datetimes as themselves, text longer than a marker's own VARCHAR(255) as LVARCHAR,
// other text as none. Empty when no entry has a type.
std::vector<IxType> hostSignature(const std::vector<bool>& typed, const IxrSqlda* input);

// The select of a view or INSERT ... SELECT: SQL and result columns.
IxError translateQuery(TransCtx& ctx, Ast& ast, Select* sel, std::string& sql,
                       std::vector<ResultCol>& cols);

// A CHECK constraint over one table, as SQLite SQL naming the columns unqualified.
IxError translateCheck(TransCtx& ctx, Ast& ast, Expr* e, const TableDef& table, std::string& sql);

// The Informix type of a literal, sized to its value, and its stored value.
IxType litType(const Expr* e);
Val litVal(const Expr* e);

// A DEFAULT literal converted to the column's stored form, as an SQL literal.
IxError defaultLiteral(Expr* lit, const IxType& type, std::string& sql);

}  // namespace ixr
