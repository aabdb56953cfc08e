// api_catalog.cpp -- entry points of the catalog functions. The wide forms
// convert every search pattern to UTF-8 here.

#include "odbc/apicall.h"

KES_EXPORT_BEGIN
extern "C" {

SQLRETURN SQL_API SQLColumnPrivileges(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                                      SQLSMALLINT schLen, SQLCHAR* tab, SQLSMALLINT tabLen,
                                      SQLCHAR* col, SQLSMALLINT colLen) {
  return CallWith(CD_ColumnPrivileges, stmt, cat, catLen, sch, schLen, tab, tabLen, col, colLen);
}
SQLRETURN SQL_API SQLColumnPrivilegesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                       SQLWCHAR* sch, SQLSMALLINT schLen, SQLWCHAR* tab,
                                       SQLSMALLINT tabLen, SQLWCHAR* col, SQLSMALLINT colLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen), d(col, colLen);
  return CallWith(CD_ColumnPrivilegesW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16(), d.text(), d.len16());
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                             SQLSMALLINT schLen, SQLCHAR* tab, SQLSMALLINT tabLen, SQLCHAR* col,
                             SQLSMALLINT colLen) {
  return CallWith(CD_Columns, stmt, cat, catLen, sch, schLen, tab, tabLen, col, colLen);
}
SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch,
                              SQLSMALLINT schLen, SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* col,
                              SQLSMALLINT colLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen), d(col, colLen);
  return CallWith(CD_ColumnsW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(), c.len16(),
                  d.text(), d.len16());
}

SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT stmt, SQLCHAR* pkCat, SQLSMALLINT pkCatLen,
                                 SQLCHAR* pkSch, SQLSMALLINT pkSchLen, SQLCHAR* pkTab,
                                 SQLSMALLINT pkTabLen, SQLCHAR* fkCat, SQLSMALLINT fkCatLen,
                                 SQLCHAR* fkSch, SQLSMALLINT fkSchLen, SQLCHAR* fkTab,
                                 SQLSMALLINT fkTabLen) {
  return CallWith(CD_ForeignKeys, stmt, pkCat, pkCatLen, pkSch, pkSchLen, pkTab, pkTabLen, fkCat,
                  fkCatLen, fkSch, fkSchLen, fkTab, fkTabLen);
}
SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR* pkCat, SQLSMALLINT pkCatLen,
                                  SQLWCHAR* pkSch, SQLSMALLINT pkSchLen, SQLWCHAR* pkTab,
                                  SQLSMALLINT pkTabLen, SQLWCHAR* fkCat, SQLSMALLINT fkCatLen,
                                  SQLWCHAR* fkSch, SQLSMALLINT fkSchLen, SQLWCHAR* fkTab,
                                  SQLSMALLINT fkTabLen) {
  WideIn a(pkCat, pkCatLen), b(pkSch, pkSchLen), c(pkTab, pkTabLen), d(fkCat, fkCatLen),
      e(fkSch, fkSchLen), f(fkTab, fkTabLen);
  return CallWith(CD_ForeignKeysW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16(), d.text(), d.len16(), e.text(), e.len16(), f.text(), f.len16());
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                                 SQLSMALLINT schLen, SQLCHAR* tab, SQLSMALLINT tabLen) {
  return CallWith(CD_PrimaryKeys, stmt, cat, catLen, sch, schLen, tab, tabLen);
}
SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch,
                                  SQLSMALLINT schLen, SQLWCHAR* tab, SQLSMALLINT tabLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen);
  return CallWith(CD_PrimaryKeysW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16());
}

SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                                      SQLSMALLINT schLen, SQLCHAR* proc, SQLSMALLINT procLen,
                                      SQLCHAR* col, SQLSMALLINT colLen) {
  return CallWith(CD_ProcedureColumns, stmt, cat, catLen, sch, schLen, proc, procLen, col, colLen);
}
SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                       SQLWCHAR* sch, SQLSMALLINT schLen, SQLWCHAR* proc,
                                       SQLSMALLINT procLen, SQLWCHAR* col, SQLSMALLINT colLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(proc, procLen), d(col, colLen);
  return CallWith(CD_ProcedureColumnsW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16(), d.text(), d.len16());
}

SQLRETURN SQL_API SQLProcedures(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                                SQLSMALLINT schLen, SQLCHAR* proc, SQLSMALLINT procLen) {
  return CallWith(CD_Procedures, stmt, cat, catLen, sch, schLen, proc, procLen);
}
SQLRETURN SQL_API SQLProceduresW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch,
                                 SQLSMALLINT schLen, SQLWCHAR* proc, SQLSMALLINT procLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(proc, procLen);
  return CallWith(CD_ProceduresW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16());
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT idType, SQLCHAR* cat,
                                    SQLSMALLINT catLen, SQLCHAR* sch, SQLSMALLINT schLen,
                                    SQLCHAR* tab, SQLSMALLINT tabLen, SQLUSMALLINT scope,
                                    SQLUSMALLINT nullable) {
  return CallWith(CD_SpecialColumns, stmt, idType, cat, catLen, sch, schLen, tab, tabLen, scope,
                  nullable);
}
SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT idType, SQLWCHAR* cat,
                                     SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                                     SQLWCHAR* tab, SQLSMALLINT tabLen, SQLUSMALLINT scope,
                                     SQLUSMALLINT nullable) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen);
  return CallWith(CD_SpecialColumnsW, stmt, idType, a.text(), a.len16(), b.text(), b.len16(),
                  c.text(), c.len16(), scope, nullable);
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                                SQLSMALLINT schLen, SQLCHAR* tab, SQLSMALLINT tabLen,
                                SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  return CallWith(CD_Statistics, stmt, cat, catLen, sch, schLen, tab, tabLen, unique, accuracy);
}
SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch,
                                 SQLSMALLINT schLen, SQLWCHAR* tab, SQLSMALLINT tabLen,
                                 SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen);
  return CallWith(CD_StatisticsW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16(), unique, accuracy);
}

SQLRETURN SQL_API SQLTablePrivileges(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                                     SQLSMALLINT schLen, SQLCHAR* tab, SQLSMALLINT tabLen) {
  return CallWith(CD_TablePrivileges, stmt, cat, catLen, sch, schLen, tab, tabLen);
}
SQLRETURN SQL_API SQLTablePrivilegesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                      SQLWCHAR* sch, SQLSMALLINT schLen, SQLWCHAR* tab,
                                      SQLSMALLINT tabLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen);
  return CallWith(CD_TablePrivilegesW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(),
                  c.len16());
}

SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen, SQLCHAR* sch,
                            SQLSMALLINT schLen, SQLCHAR* tab, SQLSMALLINT tabLen, SQLCHAR* types,
                            SQLSMALLINT typesLen) {
  return CallWith(CD_Tables, stmt, cat, catLen, sch, schLen, tab, tabLen, types, typesLen);
}
SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch,
                             SQLSMALLINT schLen, SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* types,
                             SQLSMALLINT typesLen) {
  WideIn a(cat, catLen), b(sch, schLen), c(tab, tabLen), d(types, typesLen);
  return CallWith(CD_TablesW, stmt, a.text(), a.len16(), b.text(), b.len16(), c.text(), c.len16(),
                  d.text(), d.len16());
}

}  // extern "C"
KES_EXPORT_END
