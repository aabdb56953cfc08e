// ixr_parse_ddl.cpp -- the data definition statements of the embedded server's SQL:
// CREATE TABLE (columns, defaults, column and table constraints), CREATE INDEX, VIEW,
// SYNONYM and DATABASE, their DROP, ALTER TABLE (add, drop and modify columns and
// constraints), RENAME TABLE and COLUMN, GRANT and REVOKE. Storage options the server has
// no use for (extents, lock modes, IN dbspace) are read and dropped.
// Threading: one Parser per thread.
// Not here: procedures (ixr_parse_proc.cpp) and checking the definitions against the
// catalog (ixr_ddl.cpp).
#include "platform/informix/ixr_parser.h"

namespace ixr {

Stmt* Parser::createStmt(size_t pos) {
  if (is("temp") || is("table") || (is("raw") && peekIs(1, "table")) ||
      (is("standard") && peekIs(1, "table"))) {
    Stmt* st = newStmt(StmtKind::CreateTable, pos);
    st->temp = accept("temp");
    accept("raw") || accept("standard");
    expect("table");
    st->table = tableName();
    expectOp("(");
    do {
      if (!tableConstraint(st->tableConstraints)) st->colDefs.push_back(columnDef());
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
      ic.desc = acceptDescending();
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
    st->select = query();
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
      (is("dba") && (peekIs(1, "procedure") || peekIs(1, "function"))))
    return createProcedure(pos);
  if (accept("database")) {
    Stmt* st = newStmt(StmtKind::CreateDatabase, pos);
    st->name = ident();
    if (acceptOp("@")) ident();
    if (accept("in")) ident();
    if (accept("with")) {
      if (accept("buffered")) {
        expect("log");
        st->logMode = kBufferedLog;
      } else {
        expect("log");
        st->logMode = kLog;
        if (accept("mode")) {
          expect("ansi");
          st->logMode = kAnsi;
        }
      }
    }
    return st;
  }
  fail();
  return newStmt(StmtKind::SetOther, pos);
}

Stmt* Parser::dropStmt(size_t pos) {
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
    st = dropProcedure(pos);
  } else if (accept("database")) {
    st = newStmt(StmtKind::DropDatabase, pos);
    st->name = ident();
    if (acceptOp("@")) ident();
  } else {
    fail();
    st = newStmt(StmtKind::SetOther, pos);
  }
  return st;
}

void Parser::alterItem(Stmt* st, AlterKind kind, bool list) {
  auto one = [&]() {
    AlterAction a;
    a.kind = kind;
    if (kind == AlterKind::AddColumn || kind == AlterKind::ModifyColumn) {
      a.col = columnDef();
      if (kind == AlterKind::AddColumn && accept("before")) a.before = ident();
    } else if (kind == AlterKind::DropColumn || kind == AlterKind::DropConstraint) {
      a.name = ident();
    } else {
      std::vector<ConstraintDef> v;
      if (!tableConstraint(v) || v.empty()) {
        fail();
        return;
      }
      a.constraint = v[0];
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

Stmt* Parser::alterStmt(size_t pos) {
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
        alterItem(st, AlterKind::AddConstraint, acceptOp("("));
      } else {
        alterItem(st, AlterKind::AddColumn, acceptOp("("));
      }
    } else if (accept("drop")) {
      if (accept("constraint")) {
        alterItem(st, AlterKind::DropConstraint, acceptOp("("));
      } else {
        alterItem(st, AlterKind::DropColumn, acceptOp("("));
      }
    } else if (accept("modify")) {
      if (is("next") || is("extent") || is("lock")) {
        skipRest();
        break;
      }
      alterItem(st, AlterKind::ModifyColumn, acceptOp("("));
    } else if (is("lock") || is("next") || is("type")) {
      skipRest();
      break;
    } else {
      fail();
    }
  } while (!err_ && acceptOp(","));
  return st;
}

Stmt* Parser::renameStmt(size_t pos) {
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

Stmt* Parser::grantStmt(size_t pos) {
  bool grant = is("grant");
  advance();
  Stmt* st = newStmt(grant ? StmtKind::Grant : StmtKind::Revoke, pos);
  if (is("connect") || is("resource") || is("dba")) {
    st->dbPriv = take().text;
  } else if (accept("all")) {
    accept("privileges");
    st->privs = "suidxar";
  } else {
    do {
      std::string w = cur().kind == TokenKind::Word ? cur().text : std::string();
      advance();
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
        --at_;
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
    if (cur().kind == TokenKind::String || cur().kind == TokenKind::DoubleQuoted) {
      st->grantees.push_back(take().text);
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

void Parser::constraintName(ConstraintDef& c) {
  if (accept("constraint")) c.name = ident();
}

void Parser::references(ConstraintDef& c) {
  c.type = 'R';
  c.refTable = tableName();
  if (isOp("(")) c.refCols = nameList();
  if (is("on") && peekIs(1, "delete")) {
    advance(2);
    expect("cascade");
    c.cascade = true;
  }
}

void Parser::checkClause(ConstraintDef& c) {
  c.type = 'C';
  expectOp("(");
  size_t b = cur().pos;
  c.check = expr();
  c.checkText = spanText(b, cur().pos);
  expectOp(")");
}

bool Parser::tableConstraint(std::vector<ConstraintDef>& out) {
  ConstraintDef c;
  bool named = false;
  if (is("constraint")) {
    advance();
    c.name = ident();
    named = true;
  }
  if (is("primary") && peekIs(1, "key")) {
    advance(2);
    c.type = 'P';
    c.cols = nameList();
  } else if ((is("unique") || is("distinct")) && peekIsOp(1, "(")) {
    advance();
    c.type = 'U';
    c.cols = nameList();
  } else if (is("foreign") && peekIs(1, "key")) {
    advance(2);
    c.cols = nameList();
    expect("references");
    references(c);
  } else if (is("check")) {
    advance();
    checkClause(c);
  } else {
    if (named) fail();
    return false;
  }
  if (!named) constraintName(c);
  out.push_back(std::move(c));
  return true;
}

ColDef Parser::columnDef() {
  ColDef cd;
  cd.name = ident();
  cd.type = typeSpec(&cd.serialStart);
  while (!err_) {
    if (accept("default")) {
      size_t b = cur().pos;
      if (accept("null")) {
        cd.defaultValue.kind = 'N';
      } else if (accept("today")) {
        cd.defaultValue.kind = 'T';
      } else if (accept("user") || accept("current_user")) {
        cd.defaultValue.kind = 'U';
      } else if (accept("dbservername") || accept("sitename")) {
        cd.defaultValue.kind = 'S';
      } else if (accept("current")) {
        cd.defaultValue.kind = 'C';
        if (cur().kind == TokenKind::Word && timeUnitCode(cur().text) >= 0) qualifier(false);
      } else {
        cd.defaultValue.kind = 'L';
        cd.defaultValue.literal = unary();
        if (cd.defaultValue.literal->kind != ExprKind::Literal &&
            cd.defaultValue.literal->kind != ExprKind::DatetimeLiteral &&
            cd.defaultValue.literal->kind != ExprKind::IntervalLiteral)
          fail();
      }
      cd.defaultValue.text = spanText(b, cur().pos);
    } else if (is("not") && peekIs(1, "null")) {
      advance(2);
      cd.type.notnull = true;
      ConstraintDef c;
      c.type = 'N';
      c.cols = {cd.name};
      constraintName(c);
      cd.constraints.push_back(c);
    } else if (accept("null")) {
      // explicitly nullable
    } else if (is("primary") && peekIs(1, "key")) {
      advance(2);
      ConstraintDef c;
      c.type = 'P';
      c.cols = {cd.name};
      constraintName(c);
      cd.constraints.push_back(c);
    } else if (accept("unique") || accept("distinct")) {
      ConstraintDef c;
      c.type = 'U';
      c.cols = {cd.name};
      constraintName(c);
      cd.constraints.push_back(c);
    } else if (accept("references")) {
      ConstraintDef c;
      c.cols = {cd.name};
      references(c);
      constraintName(c);
      cd.constraints.push_back(c);
    } else if (accept("check")) {
      ConstraintDef c;
      checkClause(c);
      constraintName(c);
      cd.constraints.push_back(c);
    } else {
      break;
    }
  }
  return cd;
}

}  // namespace ixr
