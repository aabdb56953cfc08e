// catalog_test.cpp -- the catalog workers over a recording back end: what the
// back end receives from each catalog function, the table types of SQLTables,
// the argument checks, and the statement a catalog call leaves.

#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "odbc/catalog.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"
#include "stmt_fake.h"

namespace {

DriverOps catalogOps{};
int32_t catalogCode = 0;

std::string show(const char* s) { return s == nullptr ? "(null)" : std::string("'") + s + "'"; }

template <typename... T>
int32_t logCall(const char* name, T... texts) {
  std::string line = name;
  ((line += " " + show(texts)), ...);
  Fake().Log(line);
  return catalogCode;
}

int32_t bindCatalog(DriverRecord* rec) {
  StmtFakeBind(rec);
  catalogOps = *rec->ops;
  catalogOps.DRV_DDColumns = [](DrvHandle, const DDColumnArgs* a) {
    return logCall("Columns", a->catalog, a->schema, a->object, a->column);
  };
  catalogOps.DRV_DDColumnPrivileges = [](DrvHandle, const DDColumnArgs* a) {
    return logCall("ColumnPrivileges", a->catalog, a->schema, a->object, a->column);
  };
  catalogOps.DRV_DDProcedureColumns = [](DrvHandle, const DDColumnArgs* a) {
    return logCall("ProcedureColumns", a->catalog, a->schema, a->object, a->column);
  };
  catalogOps.DRV_DDForeignKeys = [](DrvHandle, const DDForeignKeyArgs* a) {
    return logCall("ForeignKeys", a->pkCatalog, a->pkSchema, a->pkTable, a->fkCatalog, a->fkSchema,
                   a->fkTable);
  };
  catalogOps.DRV_DDPrimaryKeys = [](DrvHandle, const DDObjectArgs* a) {
    return logCall("PrimaryKeys", a->catalog, a->schema, a->object);
  };
  catalogOps.DRV_DDProcedures = [](DrvHandle, const DDObjectArgs* a) {
    return logCall("Procedures", a->catalog, a->schema, a->object);
  };
  catalogOps.DRV_DDTablePrivileges = [](DrvHandle, const DDObjectArgs* a) {
    return logCall("TablePrivileges", a->catalog, a->schema, a->object);
  };
  catalogOps.DRV_DDSpecialColumns = [](DrvHandle, const DDSpecialColumnArgs* a) {
    const std::string opts = std::to_string(a->identifierType) + "/" + std::to_string(a->scope) +
                             "/" + std::to_string(a->nullable);
    return logCall("SpecialColumns", a->catalog, a->schema, a->table, opts.c_str());
  };
  catalogOps.DRV_DDStatistics = [](DrvHandle, const DDStatisticsArgs* a) {
    const std::string opts = std::to_string(a->unique) + "/" + std::to_string(a->accuracy);
    return logCall("Statistics", a->catalog, a->schema, a->table, opts.c_str());
  };
  catalogOps.DRV_DDTables = [](DrvHandle, const DDTablesArgs* a) {
    return logCall("Tables", a->catalog, a->schema, a->table, a->tableTypes);
  };
  rec->ops = &catalogOps;
  return 0;
}

class CatalogTest : public StmtTest {
 protected:
  void SetUp() override {
    StmtTest::SetUp();
    catalogCode = 0;
    DriverSetBinder(bindCatalog);
  }
  // The last catalog call the back end received.
  static std::string Last() {
    std::string last;
    for (const std::string& e : Fake().Calls())
      if (e.find(' ') != std::string::npos && e.find('\'') != std::string::npos) last = e;
    return last;
  }
};

SQLCHAR* T(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

TEST_F(CatalogTest, NamesReachTheBackEndNormalised) {
  Open();
  struct Case {
    const char* what;
    SQLRETURN (*call)(SQLHSTMT);
    const char* received;
  };
  const Case cases[] = {
      {"Columns, all absent",
       [](SQLHSTMT s) { return SQLColumns(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
       "Columns '' '%' '%' '%'"},
      {"Columns, quoted and counted",
       [](SQLHSTMT s) {
         return SQLColumns(s, T("db"), SQL_NTS, T("'own'"), SQL_NTS, T("\"t\"xyz"), 3, T("c"), 1);
       },
       "Columns 'db' 'own' 't' 'c'"},
      {"ColumnPrivileges",
       [](SQLHSTMT s) {
         return SQLColumnPrivileges(s, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, nullptr, 0);
       },
       "ColumnPrivileges '' '' 't' '%'"},
      {"ForeignKeys",
       [](SQLHSTMT s) {
         return SQLForeignKeys(s, nullptr, 0, nullptr, 0, T("p"), SQL_NTS, nullptr, 0, nullptr, 0,
                               nullptr, 0);
       },
       "ForeignKeys '' '' 'p' '' '' ''"},
      {"PrimaryKeys",
       [](SQLHSTMT s) { return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, T("t"), SQL_NTS); },
       "PrimaryKeys '' '' 't'"},
      {"ProcedureColumns",
       [](SQLHSTMT s) {
         return SQLProcedureColumns(s, nullptr, 0, nullptr, 0, T("p"), SQL_NTS, nullptr, 0);
       },
       "ProcedureColumns '' '%' 'p' '%'"},
      {"Procedures",
       [](SQLHSTMT s) { return SQLProcedures(s, nullptr, 0, nullptr, 0, nullptr, 0); },
       "Procedures '' '%' '%'"},
      {"SpecialColumns",
       [](SQLHSTMT s) {
         return SQLSpecialColumns(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, T("t"), SQL_NTS,
                                  SQL_SCOPE_SESSION, SQL_NO_NULLS);
       },
       "SpecialColumns '' '' 't' '1/2/0'"},
      {"Statistics",
       [](SQLHSTMT s) {
         return SQLStatistics(s, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, SQL_INDEX_UNIQUE,
                              SQL_QUICK);
       },
       "Statistics '' '' 't' '0/0'"},
      {"TablePrivileges",
       [](SQLHSTMT s) { return SQLTablePrivileges(s, nullptr, 0, nullptr, 0, nullptr, 0); },
       "TablePrivileges '' '%' '%'"},
      {"Tables, a bad length read to the terminator",
       [](SQLHSTMT s) {
         return SQLTables(s, nullptr, 0, nullptr, 0, T("t"), -7, T(" view ,'TABLE'"), SQL_NTS);
       },
       "Tables '' '%' 't' ''view','TABLE''"},
      {"Tables, every type",
       [](SQLHSTMT s) { return SQLTables(s, T("%"), SQL_NTS, T(""), 0, T(""), 0, T("%"), 1); },
       "Tables '%' '' '' '%'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.call(stmt_), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(Last(), c.received);
    EXPECT_EQ(StmtOf(stmt_)->state, 2);
    EXPECT_NE(StmtOf(stmt_)->st_flags & STMT_F_RESULT, 0);
  }
  SQLWCHAR wideName[] = {'w', 0};
  ASSERT_EQ(SQLColumnsW(stmt_, nullptr, 0, nullptr, 0, wideName, SQL_NTS, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(Last(), "Columns '' '%' 'w' '%'");
  ASSERT_EQ(SQLGetTypeInfo(stmt_, SQL_TYPE_DATE), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("DDTypeInfo 91"));
}

TEST_F(CatalogTest, BadArgumentsAndFailures) {
  Open();
  EXPECT_EQ(SQLColumns(stmt_, nullptr, 0, nullptr, -5, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY090");
  EXPECT_EQ(SQLPrimaryKeys(stmt_, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY009");
  EXPECT_EQ(SQLStatistics(stmt_, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0), SQL_ERROR);
  EXPECT_EQ(SQLSpecialColumns(stmt_, 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0), SQL_ERROR);
  EXPECT_EQ(SQLColumnPrivileges(stmt_, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(Last(), "");

  // A catalog call replaces a preparation: executing afterwards is out of sequence.
  ASSERT_EQ(SQLPrepare(stmt_, T("select 1"), SQL_NTS), SQL_SUCCESS);
  catalogCode = ERR_TABLE_NOT_FOUND;
  EXPECT_EQ(SQLTables(stmt_, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(StmtOf(stmt_)->state, 1);
  EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
}

TEST_F(CatalogTest, TableTypesAndTheIncludeFlags) {
  struct Quote {
    const char* in;
    const char* out;
  };
  const Quote quotes[] = {
      {"", ""},
      {"%", "%"},
      {"%x", "%"},
      {"TABLE", "'TABLE'"},
      {"TABLE,VIEW", "'TABLE','VIEW'"},
      {"  'TABLE' ,  'SYSTEM TABLE'  ", "'TABLE','SYSTEM TABLE'"},
      {"a,,b", "'a','','b'"},
  };
  for (const Quote& q : quotes) {
    SCOPED_TRACE(q.in);
    char* out = QuoteTableTypes(q.in);
    ASSERT_NE(out, nullptr);
    EXPECT_STREQ(out, q.out);
    free(out);
  }
  EXPECT_EQ(QuoteTableTypes(nullptr), nullptr);

  struct Flags {
    const char* connect;
    const char* types;
    const char* received;
  };
  const Flags flags[] = {
      {";IV=YES", "TABLE", "'TABLE','VIEW'"},
      {";IV=YES", "TABLE,VIEW", "'TABLE','VIEW'"},
      {";IV=YES", "SYNONYM", "'SYNONYM'"},
      {";IA=YES", "TABLE", ""},
  };
  for (const Flags& f : flags) {
    SCOPED_TRACE(std::string(f.connect) + " " + f.types);
    SQLHENV env = NewEnv();
    SQLHDBC dbc = Connected(env, (std::string("DSN=;UID=u;PWD=p") + f.connect).c_str());
    SQLHSTMT stmt = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, T(f.types), SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(Last(), std::string("Tables '' '%' '%' '") + f.received + "'");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
}

}  // namespace
