// catalog_e2e_test.cpp -- the catalog functions and SQLGetTypeInfo as an
// application sees them through the Driver Manager, on each driver library,
// over one catalog fixture: names with an underscore beside a name the
// underscore would match, a name holding a quote character, system tables, a
// synonym and a view, a 3-column primary key, a 5-column foreign key, two
// unique indexes (one with a nullable column), a 9-column unique index,
// grants with and without grant option, and a procedure whose stored text is
// cut at a blank on a line boundary.

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dm_fixture.h"
#include "e2e_db.h"
#include "platform/informix/ixr_api.h"

namespace {

using Row = std::vector<std::string>;
constexpr const char* kNull = "~";
constexpr const char* kServer = "kes_cat";
constexpr const char* kDatabase = "catdb";

// A parameter list long enough that the procedure's first stored line (256
// bytes) ends with the blank after the last parameter's name.
std::string LongProcedure(std::string* lastName) {
  std::string text = "create procedure cat_long(";
  for (int i = 1; text.size() + 9 < 200; ++i) {
    char item[16];
    std::snprintf(item, sizeof item, "p%02d int, ", i);
    text += item;
  }
  *lastName = "q" + std::string(254 - text.size(), 'x');
  return text + *lastName + " char(3)) returning int; return 1; end procedure";
}

class DmCatalog : public DbTest {
 public:
  static void SetUpTestSuite() {
    DmTest::SetUpTestSuite();
    MakeDatabase(kServer, kDatabase);
    ASSERT_EQ(ixr_connect((std::string(kDatabase) + "@" + kServer).c_str(), "fixture"), 0);
    std::string last;
    const std::string longProc = LongProcedure(&last);
    const char* const fixture[] = {
        "create table a_b (id integer not null, name varchar(20) default 'x y', "
        "ts datetime year to fraction(5), iv interval day to second, primary key (id))",
        "create table axb (id integer)",
        "create view cat_view as select id from a_b",
        "create synonym cat_syn for a_b",
        "create table cat_pk3 (k1 int not null, k2 char(4) not null, k3 date not null, v int, "
        "primary key (k1, k2, k3))",
        "create table cat_pk5 (p1 int not null, p2 int not null, p3 int not null, p4 int not null, "
        "p5 int not null, primary key (p1, p2, p3, p4, p5))",
        "create table cat_fk5 (id serial, f1 int, f2 int, f3 int, f4 int, f5 int, foreign key "
        "(f1, f2, f3, f4, f5) references cat_pk5 constraint cat_fk5_ref)",
        "create table cat_uq (a int, b int not null, c int not null)",
        "create unique index cat_uq_ab on cat_uq (a, b)",
        "create unique index cat_uq_c on cat_uq (c)",
        "create table cat_nine (c1 int not null, c2 int not null, c3 int not null, c4 int not "
        "null, c5 int not null, c6 int not null, c7 int not null, c8 int not null, c9 int not "
        "null, extra int)",
        "create unique index cat_nine_ix on cat_nine (c1, c2, c3, c4, c5, c6, c7, c8, c9)",
        "grant select on cat_uq to alice with grant option",
        "grant update on cat_uq to bob",
        "grant references (a) on cat_uq to carol",
        longProc.c_str(),
        "create procedure cat_call(a int, b char(10)) returning integer; return a; end procedure",
        "create procedure cat_half(n int) returning int, varchar(10); "
        "if n < 0 then raise exception -239, -100, 'negative'; end if; "
        "return n / 2, 'half'; end procedure",
    };
    for (const char* sql : fixture) ASSERT_EQ(ixr_execute_immediate(sql), 0) << sql;
    setenv("DELIMIDENT", "y", 1);
    const int quoted = ixr_execute_immediate("create table \"it's\" (q char(10))");
    unsetenv("DELIMIDENT");
    ASSERT_EQ(quoted, 0);
    ASSERT_EQ(ixr_disconnect("fixture"), 0);
  }

 protected:
  void SetUp() override {
    DmTest::SetUp();
    Connect(SQL_OV_ODBC3);
  }

  void Connect(SQLINTEGER version) {
    if (dbc_ != nullptr) {
      if (stmt_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
      stmt_ = nullptr;
      SQLDisconnect(dbc_);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      SQLFreeHandle(SQL_HANDLE_ENV, env_);
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_SUCCESS);
      ASSERT_EQ(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)(intptr_t)version, 0),
                SQL_SUCCESS);
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_SUCCESS);
    }
    const std::string in =
        std::string("DSN=") + GetParam().dsn + ";DATABASE=" + kDatabase + "@" + kServer;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                               nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
        << Diags(SQL_HANDLE_DBC, dbc_);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_), SQL_SUCCESS);
  }

  // Every row of the statement's result as text, NULL as "~"; closes the cursor.
  std::vector<Row> Rows(SQLRETURN rc) {
    std::vector<Row> out;
    EXPECT_EQ(rc, SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    SQLSMALLINT n = 0;
    SQLNumResultCols(stmt_, &n);
    while (SQL_SUCCEEDED(rc) && (rc = SQLFetch(stmt_)) == SQL_SUCCESS) {
      Row row;
      for (SQLUSMALLINT c = 1; c <= n; ++c) {
        char buf[1024] = {};
        SQLLEN ind = 0;
        EXPECT_EQ(SQLGetData(stmt_, c, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
        row.push_back(ind == SQL_NULL_DATA ? kNull : buf);
      }
      out.push_back(row);
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return out;
  }

  static std::vector<std::string> Column(const std::vector<Row>& rows, size_t c) {
    std::vector<std::string> out;
    for (const Row& r : rows) out.push_back(r.at(c));
    return out;
  }

  std::vector<Row> Tables(const char* table, const char* types) {
    return Rows(SQLTables(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, (SQLCHAR*)types,
                          types != nullptr ? SQL_NTS : 0));
  }
};

using Names = std::vector<std::string>;

TEST_P(DmCatalog, TablesOfEveryKind) {
  // An underscore is a wildcard unless escaped.
  EXPECT_EQ(Column(Tables("a_b", nullptr), 2), (Names{"a_b", "axb"}));
  EXPECT_EQ(Column(Tables("a\\_b", nullptr), 2), (Names{"a_b"}));
  EXPECT_EQ(Column(Tables("it's", "TABLE"), 2), (Names{"it's"}));
  EXPECT_TRUE(Tables("x' or '1'='1", nullptr).empty());

  std::vector<Row> rows = Tables("cat%", "SYNONYM, VIEW");
  EXPECT_EQ(Column(rows, 2), (Names{"cat_syn", "cat_view"}));
  EXPECT_EQ(Column(rows, 3), (Names{"SYNONYM", "VIEW"}));
  EXPECT_EQ(rows.at(0).at(0), kDatabase);
  rows = Tables("systables", nullptr);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (Row{kDatabase, "informix", "systables", "SYSTEM TABLE", ""}));

  rows = Rows(SQLTables(stmt_, (SQLCHAR*)"", 0, (SQLCHAR*)"", 0, (SQLCHAR*)"", 0,
                        (SQLCHAR*)SQL_ALL_TABLE_TYPES, SQL_NTS));
  EXPECT_EQ(Column(rows, 3), (Names{"SYNONYM", "SYSTEM TABLE", "TABLE", "VIEW"}));
  rows = Rows(SQLTables(stmt_, (SQLCHAR*)SQL_ALL_CATALOGS, SQL_NTS, (SQLCHAR*)"", 0, (SQLCHAR*)"",
                        0, (SQLCHAR*)"", 0));
  EXPECT_NE(std::find(rows.begin(), rows.end(), Row{kDatabase, kNull, kNull, kNull, kNull}),
            rows.end());
}

TEST_P(DmCatalog, ColumnsAgreeWithTheResultDescriptions) {
  const bool wide = Wide();
  std::vector<Row> rows =
      Rows(SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"a\\_b", SQL_NTS, nullptr, 0));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(Column(rows, 3), (Names{"id", "name", "ts", "iv"}));
  // name: DATA_TYPE, TYPE_NAME, COLUMN_SIZE, BUFFER_LENGTH, ..., COLUMN_DEF
  const Row& name = rows[1];
  EXPECT_EQ(Row(name.begin() + 4, name.begin() + 8),
            (Row{wide ? "-9" : "12", "VARCHAR", "20", wide ? "40" : "20"}));
  EXPECT_EQ(name[12], "x y");
  EXPECT_EQ(name[17], "YES");

  // The catalog result's own columns: ODBC names, wide text on a wide connection.
  ASSERT_EQ(SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"a\\_b", SQL_NTS, nullptr, 0),
            SQL_SUCCESS);
  SQLCHAR colName[64] = {};
  SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(
      SQLDescribeCol(stmt_, 4, colName, sizeof colName, &nameLen, &type, &size, &digits, &nullable),
      SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(colName), "COLUMN_NAME");
  EXPECT_EQ(type, wide ? SQL_WVARCHAR : SQL_VARCHAR);
  EXPECT_EQ(size, 128u);
  SQLFreeStmt(stmt_, SQL_CLOSE);

  // DATETIME and INTERVAL: Columns, GetTypeInfo and the description of a
  // SELECT of the same columns tell the same type, size and digits.
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select ts, iv from a_b", SQL_NTS), SQL_SUCCESS);
  Row described[2];
  for (SQLUSMALLINT c = 1; c <= 2; ++c) {
    ASSERT_EQ(SQLDescribeCol(stmt_, c, colName, sizeof colName, &nameLen, &type, &size, &digits,
                             &nullable),
              SQL_SUCCESS);
    described[c - 1] = {std::to_string(type), std::to_string(size), std::to_string(digits)};
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  EXPECT_EQ((Row{rows[2][4], rows[2][6], rows[2][8]}), described[0]);
  EXPECT_EQ((Row{"93", "25", "5"}), described[0]);
  EXPECT_EQ(rows[3][4], described[1][0]);
  EXPECT_EQ(rows[3][6], described[1][1]);
  rows = Rows(SQLGetTypeInfo(stmt_, SQL_TYPE_TIMESTAMP));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ((Row{rows[0][1], rows[0][2], rows[0][14]}), described[0]);
}

TEST_P(DmCatalog, KeysAndIndexes) {
  std::vector<Row> rows =
      Rows(SQLPrimaryKeys(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_pk3", SQL_NTS));
  EXPECT_EQ(Column(rows, 3), (Names{"k1", "k2", "k3"}));
  EXPECT_EQ(Column(rows, 4), (Names{"1", "2", "3"}));

  // All five columns of the foreign key, from either side.
  const Names pkColumns{"p1", "p2", "p3", "p4", "p5"};
  rows = Rows(SQLForeignKeys(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_pk5", SQL_NTS, nullptr,
                             0, nullptr, 0, nullptr, 0));
  EXPECT_EQ(Column(rows, 3), pkColumns);
  EXPECT_EQ(Column(rows, 7), (Names{"f1", "f2", "f3", "f4", "f5"}));
  EXPECT_EQ(Column(rows, 8), (Names{"1", "2", "3", "4", "5"}));
  rows = Rows(SQLForeignKeys(stmt_, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                             (SQLCHAR*)"cat_fk5", SQL_NTS));
  EXPECT_EQ(Column(rows, 3), pkColumns);
  EXPECT_EQ(Column(rows, 11), Names(5, "cat_fk5_ref"));

  // The best row identifier is a whole unique index, never a prefix of one.
  rows = Rows(SQLSpecialColumns(stmt_, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_nine",
                                SQL_NTS, SQL_SCOPE_SESSION, SQL_NO_NULLS));
  EXPECT_EQ(Column(rows, 1), (Names{"c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9"}));
  rows = Rows(SQLSpecialColumns(stmt_, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_uq",
                                SQL_NTS, SQL_SCOPE_SESSION, SQL_NO_NULLS));
  EXPECT_EQ(Column(rows, 1), (Names{"c"}));
  rows = Rows(SQLSpecialColumns(stmt_, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_uq",
                                SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE));
  EXPECT_EQ(Column(rows, 1), (Names{"a", "b"}));
  EXPECT_EQ(Column(rows, 2), (Names{"4", "4"}));

  rows = Rows(SQLStatistics(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_nine", SQL_NTS,
                            SQL_INDEX_UNIQUE, SQL_QUICK));
  EXPECT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows.at(8).at(5), "cat_nine_ix");
  EXPECT_EQ(rows.at(8).at(7), "9");
}

TEST_P(DmCatalog, Privileges) {
  std::vector<Row> rows =
      Rows(SQLTablePrivileges(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_uq", SQL_NTS));
  Names granted;
  for (const Row& r : rows)
    if (r[4] != "public") granted.push_back(r[4] + " " + r[5] + " " + r[6]);
  std::sort(granted.begin(), granted.end());
  EXPECT_EQ(granted, (Names{"alice SELECT YES", "bob UPDATE NO"}));

  rows = Rows(SQLColumnPrivileges(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_uq", SQL_NTS,
                                  (SQLCHAR*)"a", SQL_NTS));
  granted.clear();
  for (const Row& r : rows)
    if (r[5] != "public") granted.push_back(r[5] + " " + r[6] + " " + r[7]);
  std::sort(granted.begin(), granted.end());
  EXPECT_EQ(granted, (Names{"alice SELECT YES", "bob UPDATE NO", "carol REFERENCES NO"}));
}

// The whole type listing read in rowsets of five is the listing read row by row.
TEST_P(DmCatalog, TypeInfoInRowsets) {
  for (SQLINTEGER version : {SQL_OV_ODBC3, SQL_OV_ODBC2}) {
    SCOPED_TRACE(version);
    Connect(version);
    const std::vector<Row> single = Rows(SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
    ASSERT_GE(single.size(), 15u);
    const Names dates = version == SQL_OV_ODBC3 ? Names{"91", "92", "93"} : Names{"9", "10", "11"};
    const Names types = Column(single, 1);
    EXPECT_EQ(Names(types.end() - 3, types.end()), dates);

    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)5, 0), SQL_SUCCESS);
    SQLULEN fetched = 0;
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    char names[5][40] = {};
    SQLLEN nameInd[5] = {};
    SQLSMALLINT codes[5] = {};
    SQLLEN codeInd[5] = {};
    ASSERT_EQ(SQLGetTypeInfo(stmt_, SQL_ALL_TYPES), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, names, sizeof names[0], nameInd), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_SSHORT, codes, 0, codeInd), SQL_SUCCESS);
    std::vector<Row> inRowsets;
    while (SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0) == SQL_SUCCESS)
      for (SQLULEN i = 0; i < fetched; ++i)
        inRowsets.push_back({names[i], std::to_string(codes[i])});
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    ASSERT_EQ(inRowsets.size(), single.size());
    for (size_t i = 0; i < single.size(); ++i)
      EXPECT_EQ(inRowsets[i], (Row{single[i][0], single[i][1]}));
  }
}

TEST_P(DmCatalog, ProcedureColumnsAndCallParameters) {
  std::string last;
  (void)LongProcedure(&last);
  std::vector<Row> rows = Rows(SQLProcedureColumns(
      stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_long", SQL_NTS, (SQLCHAR*)"q%", SQL_NTS));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][3], last);
  EXPECT_EQ(rows[0][6], "CHAR");
  EXPECT_EQ(rows[0][7], "3");

  rows = Rows(SQLProcedureColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat_call", SQL_NTS,
                                  nullptr, 0));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Column(rows, 3), (Names{"a", "b", "RETURN VALUE"}));
  EXPECT_EQ(Column(rows, 4), (Names{"1", "1", "5"}));
  EXPECT_EQ(rows[1][5], Wide() ? "-8" : "1");
  EXPECT_EQ(rows[1][15], kNull);  // SQL_DATETIME_SUB

  rows = Rows(SQLProcedures(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"cat%", SQL_NTS));
  EXPECT_EQ(Column(rows, 2), (Names{"cat_call", "cat_half", "cat_long"}));

  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"{call cat_call(?, ?)}", SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(stmt_, 1, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_INTEGER);
  ASSERT_EQ(SQLDescribeParam(stmt_, 2, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, Wide() ? SQL_WCHAR : SQL_CHAR);
  EXPECT_EQ(size, 10u);
}

// A function called with its return value bound to a leading marker: the
// marker is not an argument, and the value arrives as the call's result.
TEST_P(DmCatalog, CallsWithAReturnValueMarker) {
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"{? = call cat_half(?)}", SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT params = 0;
  ASSERT_EQ(SQLNumParams(stmt_, &params), SQL_SUCCESS);
  EXPECT_EQ(params, 2);
  SQLINTEGER ret = -1, arg = 0;
  SQLLEN retInd = 0, argInd = 0;
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &ret, 0,
                             &retInd),
            SQL_SUCCESS);
  ASSERT_EQ(
      SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &arg, 0, &argInd),
      SQL_SUCCESS);
  for (SQLINTEGER n : {84, 10}) {
    SCOPED_TRACE(n);
    arg = n;
    EXPECT_EQ(Rows(SQLExecute(stmt_)), (std::vector<Row>{{std::to_string(n / 2), "half"}}));
  }

  // The exception the procedure raises, with its SQLSTATE and native code.
  arg = -1;
  ASSERT_EQ(SQLExecute(stmt_), SQL_ERROR);
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[256] = {};
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, text, sizeof text, &len),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "23000");
  EXPECT_EQ(native, -239);
  EXPECT_NE(std::strstr(reinterpret_cast<char*>(text), "negative"), nullptr) << text;

  // Without the marker the same call takes its one argument.
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  arg = 7;
  ASSERT_EQ(
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &arg, 0, &argInd),
      SQL_SUCCESS);
  EXPECT_EQ(Rows(SQLExecDirect(stmt_, (SQLCHAR*)"{call cat_half(?)}", SQL_NTS)),
            (std::vector<Row>{{"3", "half"}}));
}

KES_E2E_BUILDS(DmCatalog);

}  // namespace
