// Catalog operations, type information and procedure columns at the
// operation-table level, over the embedded runtime: the generated catalog SQL
// runs on the server, and the fix-ups turn its rows into ODBC values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv_inf/inf_proccols.h"
#include "util/conv.h"

namespace {

using Row = std::vector<std::string>;
constexpr const char* kNull = "~";

std::string cellText(const DatasetColumn& c, int32_t r) {
  if (c.ind[r] == DS_IND_NULL) return kNull;
  const char* s = c.data + static_cast<size_t>(r) * c.width;
  switch (c.type) {
    case DS_SMALLINT: {
      int16_t v;
      std::memcpy(&v, s, 2);
      return std::to_string(v);
    }
    case DS_INTEGER: {
      int32_t v;
      std::memcpy(&v, s, 4);
      return std::to_string(v);
    }
    case DS_STRING: return std::string(s, strnlen(s, c.width));
    case DS_CHAR: return std::string(s, strnlen(s, c.width));
    case DS_VARCHAR2: {
      uint16_t n;
      std::memcpy(&n, s, 2);
      return std::string(s + 2, n);
    }
    case DS_WSTRING: {
      char* u = wcs_to_utf8_dup(reinterpret_cast<const char16_t*>(s));
      std::string out = u != nullptr ? u : "";
      std::free(u);
      return out;
    }
    default: return "?";
  }
}

class Catalog : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    if (IsSkipped()) return;
    conn_ = connect("logged@ol_test");
    ASSERT_EQ(INF_AllocCursor(conn_, &cur_), 0);
  }

  void run(const char* sql) { ASSERT_EQ(exec(conn_, sql), 0) << sql << why(conn_); }
  std::string why(DrvHandle h) {
    std::string out;
    for (const std::string& e : errors(h)) out += e + "\n";
    return out;
  }

  // Every row of the cursor's result, fetched `block` rows at a time.
  std::vector<Row> rows(uint16_t block = 50, DrvHandle cur = 0) {
    std::vector<Row> out;
    for (;;) {
      Dataset ds{};
      EXPECT_EQ(Fetch(cur != 0 ? cur : cur_, block, &ds), 0);
      for (int32_t r = 0; r < ds.rowCount; ++r) {
        Row row;
        for (uint16_t c = 0; c < ds.colCount; ++c) row.push_back(cellText(ds.cols[c], r));
        out.push_back(row);
      }
      const int32_t n = ds.rowCount;
      DatasetFree(&ds);
      if (n == 0) return out;
    }
  }

  std::vector<std::string> column(const std::vector<Row>& rs, size_t c) {
    std::vector<std::string> out;
    for (const Row& r : rs) out.push_back(r.at(c));
    return out;
  }

  DrvHandle conn_ = 0;
  DrvHandle cur_ = 0;
};

// The listing kind decided from the four arguments of Tables, seen in which
// columns the rows fill.
TEST_F(Catalog, TablesListingKinds) {
  run("create table cat_t (a int)");
  run("create view cat_v as select a from cat_t");
  run("create synonym cat_s for cat_t");
  struct Case {
    const char *cat, *schema, *table, *types;
    std::string kind;  // the columns that are not NULL in every row, or "none"
  };
  const Case cases[] = {
      {"%", "", "", "", "C"},                              // catalogs
      {"%", "%", "", "", "CSNT"}, {"", "%", "", "", "S"},  // schemas
      {"", "%", "", "%", "none"}, {"", "", "", "%", "T"},  // table types
      {"", "", "%", "%", "none"}, {"", "%", "%", "", "CSNT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cat) + "|" + c.schema + "|" + c.table + "|" + c.types);
    const DDTablesArgs a{c.cat, c.schema, c.table, c.types};
    ASSERT_EQ(INF_DDTables(cur_, &a), 0) << why(cur_);
    const std::vector<Row> rs = rows();
    if (c.kind == "none") {
      EXPECT_TRUE(rs.empty());
      continue;
    }
    ASSERT_FALSE(rs.empty());
    for (const Row& r : rs) {
      std::string kind;
      for (size_t i = 0; i < 4; ++i)
        if (r[i] != kNull) kind += "CSNT"[i];
      EXPECT_EQ(kind, c.kind);
    }
  }
  const DDTablesArgs types{"", "", "", "%"};
  ASSERT_EQ(INF_DDTables(cur_, &types), 0);
  EXPECT_EQ(column(rows(), 3),
            (std::vector<std::string>{"SYNONYM", "SYSTEM TABLE", "TABLE", "VIEW"}));
  const DDTablesArgs catalogs{"%", "", "", ""};
  ASSERT_EQ(INF_DDTables(cur_, &catalogs), 0);
  const std::vector<std::string> names = column(rows(), 0);
  EXPECT_NE(std::find(names.begin(), names.end(), "logged"), names.end());

  // A table search, by the types asked for; a user's table whose name begins
  // with sys is the user's, not a system table.
  run("create table sysmine (a int)");
  struct Search {
    const char* types;
    std::vector<std::string> found;  // "name TYPE" of the cat_ and sys tables
  };
  const Search searches[] = {
      {"'view'", {"cat_v VIEW"}},
      {"'TABLE','SYNONYM'", {"cat_s SYNONYM", "cat_t TABLE", "sysmine TABLE"}},
      {"'SYSTEM TABLE'", {"systables SYSTEM TABLE"}},
      {"", {"cat_t TABLE", "cat_v VIEW", "sysmine TABLE", "systables SYSTEM TABLE"}},
  };
  for (const Search& s : searches) {
    SCOPED_TRACE(s.types);
    const DDTablesArgs a{"", "%", "%", s.types};
    ASSERT_EQ(INF_DDTables(cur_, &a), 0);
    std::vector<std::string> found;
    for (const Row& r : rows()) {
      if (r[2].rfind("cat_", 0) == 0 || r[2] == "sysmine" || r[2] == "systables")
        found.push_back(r[2] + " " + r[3]);
      EXPECT_EQ(r[0], "logged");
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, s.found);
  }

  DrvHandle se = connect("logged@se_test");
  DrvHandle seCur = 0;
  ASSERT_EQ(INF_AllocCursor(se, &seCur), 0);
  EXPECT_EQ(INF_DDTables(seCur, &catalogs), ERR_NOT_CAPABLE);
  const DDTablesArgs seTables{"", "%", "t", ""};
  ASSERT_EQ(INF_DDTables(seCur, &seTables), 0);
  const std::vector<Row> seRows = rows(50, seCur);
  ASSERT_EQ(seRows.size(), 1u);
  EXPECT_EQ(seRows[0][0], kNull);  // no catalog names on SE
}

// Names are pasted into the query between quotes, and a pattern is decided once
// per argument, however often the query tests it.
TEST_F(Catalog, ArgumentsAreTextNotSql) {
  run("create table cat_t1 (a int)");
  run("create table catxt1 (a int)");
  setenv("DELIMIDENT", "y", 1);
  const int32_t quoted = exec(conn_, "create table \"it's\" (q int)");
  unsetenv("DELIMIDENT");
  ASSERT_EQ(quoted, 0);

  const DDColumnArgs itsColumns{"", "%", "it's", "%"};
  ASSERT_EQ(INF_DDColumns(cur_, &itsColumns), 0) << why(cur_);
  std::vector<Row> rs = rows();
  ASSERT_EQ(rs.size(), 1u);
  EXPECT_EQ(rs[0][3], "q");
  const DDTablesArgs injected{"", "%", "x' or '1'='1", ""};
  ASSERT_EQ(INF_DDTables(cur_, &injected), 0) << why(cur_);
  EXPECT_TRUE(rows().empty());

  // An escaped underscore names one table in every member of the privilege query.
  const DDObjectArgs exact{"", "%", "cat\\_t1"};
  ASSERT_EQ(INF_DDTablePrivileges(cur_, &exact), 0) << why(cur_);
  rs = rows();
  ASSERT_FALSE(rs.empty());
  for (const Row& r : rs) EXPECT_EQ(r[2], "cat_t1") << r[5];
  const DDObjectArgs pattern{"", "%", "cat_t1"};
  ASSERT_EQ(INF_DDTablePrivileges(cur_, &pattern), 0);
  std::vector<std::string> tables = column(rows(), 2);
  EXPECT_NE(std::find(tables.begin(), tables.end(), "catxt1"), tables.end());

  // A schema in quotes loses them; a lone leading quote goes alone.
  for (const char* schema : {"'informix'", "'informix"}) {
    SCOPED_TRACE(schema);
    const DDTablesArgs a{"", schema, "systables", ""};
    ASSERT_EQ(INF_DDTables(cur_, &a), 0);
    EXPECT_EQ(rows().size(), 1u);
  }
}

TEST_F(Catalog, ColumnsMapTheInformixTypes) {
  run("create table cat_types (s serial not null, f decimal(16), d decimal(10,2), "
      "m money(8,2), h datetime hour to second, dt date, vc varchar(100,10), "
      "nv nvarchar(200,10), iv interval day to second, b byte, t text, c char(10) default 'a b', "
      "n integer default null, today date default today, lv lvarchar(500))");
  const DDColumnArgs a{"", "%", "cat_types", "%"};
  struct Expect {
    const char* column;
    // DATA_TYPE TYPE_NAME COLUMN_SIZE BUFFER_LENGTH DECIMAL_DIGITS NULLABLE COLUMN_DEF
    // SQL_DATA_TYPE SQL_DATETIME_SUB CHAR_OCTET_LENGTH IS_NULLABLE
    Row values;
  };
  const Expect expected[] = {
      {"s", {"4", "SERIAL", "10", "4", kNull, "0", kNull, "4", kNull, kNull, "NO"}},
      {"f", {"6", "DECIMAL", "16", "24", kNull, "1", kNull, "6", kNull, kNull, "YES"}},
      {"d", {"3", "DECIMAL", "10", "13", "2", "1", kNull, "3", kNull, kNull, "YES"}},
      {"m", {"3", "MONEY", "8", "12", "2", "1", kNull, "3", kNull, kNull, "YES"}},
      {"h",
       {"11", "DATETIME YEAR TO FRACTION(5)", "25", "16", "5", "1", kNull, "9", "3", kNull, "YES"}},
      {"dt", {"9", "DATE", "10", "6", kNull, "1", kNull, "9", "1", kNull, "YES"}},
      {"vc", {"12", "VARCHAR", "100", "100", kNull, "1", kNull, "12", kNull, "100", "YES"}},
      {"nv", {"12", "NVARCHAR", "200", "200", kNull, "1", kNull, "12", kNull, "200", "YES"}},
      {"iv", {"1", "INTERVAL", "12", "12", kNull, "1", kNull, "1", kNull, "12", "YES"}},
      {"b",
       {"-4", "BYTE", "2147483640", "2147483640", kNull, "1", kNull, "-4", kNull, "2147483640",
        "YES"}},
      {"t",
       {"-1", "TEXT", "2147483640", "2147483640", kNull, "1", kNull, "-1", kNull, "2147483640",
        "YES"}},
      {"c", {"1", "CHAR", "10", "10", kNull, "1", "a b", "1", kNull, "10", "YES"}},
      {"n", {"4", "INTEGER", "10", "4", kNull, "1", "NULL", "4", kNull, kNull, "YES"}},
      {"today", {"9", "DATE", "10", "6", kNull, "1", kNull, "9", "1", kNull, "YES"}},
      {"lv",
       {"12", "LVARCHAR", "2147483647", "2147483647", kNull, "1", kNull, "12", kNull, kNull,
        "YES"}},
  };
  ASSERT_EQ(INF_DDColumns(cur_, &a), 0) << why(cur_);
  std::vector<Row> rs = rows();
  ASSERT_EQ(rs.size(), std::size(expected));
  for (size_t i = 0; i < rs.size(); ++i) {
    SCOPED_TRACE(expected[i].column);
    const Row& r = rs[i];
    EXPECT_EQ(r[3], expected[i].column);
    const Row got{r[4], r[5], r[6], r[7], r[8], r[10], r[12], r[13], r[14], r[15], r[17]};
    EXPECT_EQ(got, expected[i].values);
    EXPECT_EQ(r[16], std::to_string(i + 1));
  }

  // An ODBC 3 application sees the date and time codes of its version.
  int32_t three = 3;
  ASSERT_EQ(INF_SetOption(conn_, DRVP_ODBC_VERSION, &three), 0);
  const DDColumnArgs dates{"", "%", "cat_types", "d%"};
  ASSERT_EQ(INF_DDColumns(cur_, &dates), 0);
  rs = rows();
  ASSERT_EQ(rs.size(), 2u);  // d, dt
  EXPECT_EQ(rs[1][4], "91");
  const DDColumnArgs times{"", "%", "cat_types", "h"};
  ASSERT_EQ(INF_DDColumns(cur_, &times), 0);
  EXPECT_EQ(rows().at(0)[4], "93");
}

TEST_F(Catalog, KeysIndexesAndPrivileges) {
  run("create table cat_p (k1 int not null, k2 int not null, k3 int not null, k4 int not null, "
      "k5 int not null, v int, primary key (k1, k2, k3, k4, k5))");
  run("create table cat_f (id int, f1 int, f2 int, f3 int, f4 int, f5 int, "
      "foreign key (f1, f2, f3, f4, f5) references cat_p (k1, k2, k3, k4, k5) "
      "constraint cat_fk)");
  run("create table cat_u (a int, b int not null, c int not null, d int)");
  run("create unique index cat_u1 on cat_u (a, b)");
  run("create unique index cat_u2 on cat_u (c)");

  const DDForeignKeyArgs fk{"", "", "cat_p", "", "", ""};
  ASSERT_EQ(INF_DDForeignKeys(cur_, &fk), 0) << why(cur_);
  std::vector<Row> rs = rows();
  ASSERT_EQ(rs.size(), 5u);
  for (size_t i = 0; i < rs.size(); ++i) {
    EXPECT_EQ(rs[i][3], "k" + std::to_string(i + 1));
    EXPECT_EQ(rs[i][7], "f" + std::to_string(i + 1));
    EXPECT_EQ(rs[i][8], std::to_string(i + 1));
    EXPECT_EQ(rs[i][9], kNull);
    EXPECT_EQ(rs[i][11], "cat_fk");
  }

  // A second key on the same table, made later by a table that sorts first:
  // named by its primary-key table, the keys come by their foreign-key tables.
  run("create table cat_e (g1 int, g2 int, g3 int, g4 int, g5 int, "
      "foreign key (g1, g2, g3, g4, g5) references cat_p constraint cat_ek)");
  ASSERT_EQ(INF_DDForeignKeys(cur_, &fk), 0) << why(cur_);
  rs = rows();
  ASSERT_EQ(rs.size(), 10u);
  EXPECT_EQ(column(rs, 6), (std::vector<std::string>{"cat_e", "cat_e", "cat_e", "cat_e", "cat_e",
                                                     "cat_f", "cat_f", "cat_f", "cat_f", "cat_f"}));
  EXPECT_EQ(rs[5][8], "1");

  const DDObjectArgs pk{"", "", "cat_p"};
  ASSERT_EQ(INF_DDPrimaryKeys(cur_, &pk), 0) << why(cur_);
  rs = rows();
  ASSERT_EQ(rs.size(), 5u);
  EXPECT_EQ(rs[0].size(), 6u);
  EXPECT_EQ(rs[0][0], "logged");
  EXPECT_EQ(column(rs, 4), (std::vector<std::string>{"1", "2", "3", "4", "5"}));

  // The best row identifier is a whole unique index: with SQL_NO_NULLS the
  // index with a nullable part does not qualify at all.
  struct Special {
    uint16_t nullable;
    std::vector<std::string> columns;
  };
  for (const Special& s : {Special{1, {"a", "b"}}, Special{0, {"c"}}}) {
    SCOPED_TRACE(s.nullable);
    const DDSpecialColumnArgs sc{"", "", "cat_u", 1, 0, s.nullable};
    ASSERT_EQ(INF_DDSpecialColumns(cur_, &sc), 0) << why(cur_);
    EXPECT_EQ(column(rows(1), 1), s.columns);
  }
  const DDSpecialColumnArgs rowver{"", "", "cat_u", 2, 0, 1};
  ASSERT_EQ(INF_DDSpecialColumns(cur_, &rowver), 0);
  EXPECT_TRUE(rows().empty());

  const DDStatisticsArgs st{"", "", "cat_u", 0, 0};
  ASSERT_EQ(INF_DDStatistics(cur_, &st), 0) << why(cur_);
  rs = rows();
  ASSERT_EQ(rs.size(), 3u);
  for (const Row& r : rs) EXPECT_EQ(r[3], "0");
  const DDStatisticsArgs pkIndex{"", "", "cat_p", 1, 0};
  ASSERT_EQ(INF_DDStatistics(cur_, &pkIndex), 0);
  rs = rows();
  ASSERT_EQ(rs.size(), 5u);
  EXPECT_NE(rs[0][5][0], ' ');  // a constraint's index name loses its leading blank

  run("grant select on cat_u to fred with grant option");
  run("grant references on cat_u to fred");
  const DDObjectArgs tp{"", "", "cat_u"};
  ASSERT_EQ(INF_DDTablePrivileges(cur_, &tp), 0) << why(cur_);
  std::vector<std::string> fred;
  for (const Row& r : rows())
    if (r[4] == "fred") fred.push_back(r[5] + " " + r[6]);
  std::sort(fred.begin(), fred.end());
  EXPECT_EQ(fred, (std::vector<std::string>{"REFERENCES NO", "SELECT YES"}));
  const DDColumnArgs cp{"", "", "cat_u", "a"};
  ASSERT_EQ(INF_DDColumnPrivileges(cur_, &cp), 0) << why(cur_);
  fred.clear();
  for (const Row& r : rows())
    if (r[5] == "fred") fred.push_back(r[6] + " " + r[7]);
  std::sort(fred.begin(), fred.end());
  EXPECT_EQ(fred, (std::vector<std::string>{"REFERENCES NO", "SELECT YES"}));

  DrvHandle se = connect("logged@se_test");
  DrvHandle seCur = 0;
  ASSERT_EQ(INF_AllocCursor(se, &seCur), 0);
  ASSERT_EQ(exec(se, "create table cat_k (k int not null primary key)"), 0);
  const DDObjectArgs sePk{"", "", "cat_k"};
  ASSERT_EQ(INF_DDPrimaryKeys(seCur, &sePk), 0) << why(seCur);
  rs = rows(50, seCur);
  ASSERT_EQ(rs.size(), 1u);
  EXPECT_EQ(rs[0], (Row{kNull, rs[0][1], "cat_k", "k", "1"}));
}

TEST_F(Catalog, TypeInformation) {
  // The whole listing, five rows at a time, on each server kind and version.
  struct Listing {
    const char* db;
    int32_t version;
    std::vector<std::string> dataTypes;
  };
  const Listing listings[] = {
      {"logged@ol_test",
       3,
       {"-4", "-1", "1", "2", "3", "3", "4", "4", "5", "6", "7", "8", "12", "12", "91", "92",
        "93"}},
      {"logged@ol_test",
       2,
       {"-4", "-1", "1", "2", "3", "3", "4", "4", "5", "6", "7", "8", "12", "12", "9", "10", "11"}},
      {"logged@se_test", 3, {"1", "2", "3", "3", "4", "4", "5", "6", "7", "8", "91", "92", "93"}},
  };
  for (const Listing& l : listings) {
    SCOPED_TRACE(std::string(l.db) + " ODBC " + std::to_string(l.version));
    DrvHandle conn = connect(l.db);
    int32_t v = l.version;
    ASSERT_EQ(INF_SetOption(conn, DRVP_ODBC_VERSION, &v), 0);
    DrvHandle cur = 0;
    ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
    ASSERT_EQ(INF_DDTypeInfo(cur, 0), 0);
    const std::vector<Row> rs = rows(5, cur);
    EXPECT_EQ(column(rs, 1), l.dataTypes);
    for (const Row& r : rs) {
      ASSERT_EQ(r.size(), 19u);
      const std::string sub = r[1] == "91" ? "1" : r[1] == "92" ? "2" : r[1] == "93" ? "3" : kNull;
      EXPECT_EQ(r[16], l.version == 3 ? sub : kNull) << r[0];
      if (r[0] == "LVARCHAR") {
        EXPECT_EQ(r[15], l.version == 3 ? "12" : kNull);
      }
    }
  }

  struct Single {
    int16_t type;
    std::vector<std::string> names;
    std::vector<std::string> dataTypes;
  };
  int32_t three = 3;
  ASSERT_EQ(INF_SetOption(conn_, DRVP_ODBC_VERSION, &three), 0);
  const Single singles[] = {
      {12, {"VARCHAR", "LVARCHAR"}, {"12", "12"}},
      {9, {"DATE"}, {"91"}},
      {93, {"DATETIME YEAR TO FRACTION(5)"}, {"93"}},
      {-7, {"SMALLINT"}, {"5"}},
      {-11, {}, {}},
  };
  for (const Single& s : singles) {
    SCOPED_TRACE(s.type);
    ASSERT_EQ(INF_DDTypeInfo(cur_, s.type), 0);
    const std::vector<Row> rs = rows(1);
    EXPECT_EQ(column(rs, 0), s.names);
    EXPECT_EQ(column(rs, 1), s.dataTypes);
  }
  uint16_t n = 0;
  ColumnInfo* cols = nullptr;
  ASSERT_EQ(INF_DDTypeInfo(cur_, 0), 0);
  ASSERT_EQ(INF_DescribeColumns(cur_, &n, &cols), 0);
  EXPECT_EQ(n, 19);
  EXPECT_STREQ(cols[0].name, "TYPE_NAME");
  ColumnInfoFree(cols, n);
  // A statement prepared afterwards is an ordinary cursor again.
  ASSERT_EQ(INF_Prepare(cur_, "select a from t where a = 1"), 0);
  ASSERT_EQ(INF_Execute(cur_), 0);
  EXPECT_EQ(rows().size(), 1u);
}

TEST(ProcTextParse, HeaderItems) {
  struct Case {
    const char* text;
    int32_t rc;
    // "type name ordinal size scale default|" per item
    std::string items;
  };
  const Case cases[] = {
      {"create procedure p(a int, b char(10)) returning integer; return a; end procedure", 0,
       "1 a INTEGER 1 0 0 |1 b CHAR 2 10 0 |5 RETURN VALUE INTEGER 1 0 0 |"},
      {"create procedure p(t references text, x decimal(10,2), c character varying (20)) ", 0,
       "1 t TEXT 1 0 0 |1 x DECIMAL 2 10 2 |1 c CHARACTER VARYING 3 20 0 |"},
      {"create procedure p(s char(5) default 'a, b c', n int default 5)", 0,
       "1 s CHAR 1 5 0 'a, b c'|1 n INTEGER 2 0 0 5|"},
      {"create procedure p(a int) specific p_returning1 returning smallint;", 0,
       "1 a INTEGER 1 0 0 |5 RETURN VALUE SMALLINT 1 0 0 |"},
      {"create procedure p() returning date, money(8,2);", 0,
       "5 RETURN VALUE DATE 1 0 0 |5 RETURN VALUE MONEY 2 8 2 |"},
      {"create procedure p(a int;", ERR_SYNTAX, ""},
      {"create procedure p;", ERR_GENERAL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<ProcColumn> out;
    EXPECT_EQ(ProcTextParse("o", "p", 1, c.text, &out), c.rc);
    std::string items;
    for (const ProcColumn& p : out)
      items += std::to_string(p.columnType) + " " + p.name + " " + p.typeName + " " +
               std::to_string(p.ordinal) + " " + std::to_string(p.size) + " " +
               std::to_string(p.scale) + " " + p.defaultText + "|";
    EXPECT_EQ(items, c.items);
  }
}

TEST_F(Catalog, ProcedureColumnsAndCallParameters) {
  // A header longer than one stored line, cut right after a parameter's name.
  std::string header = "create procedure cat_long(";
  int params = 0;
  while (header.size() + 9 < 200) {
    char item[16];
    std::snprintf(item, sizeof item, "p%02d int, ", ++params);
    header += item;
  }
  const std::string last = "q" + std::string(254 - header.size(), 'x');
  header += last + " char(3)) returning int; return 1; end procedure";
  ASSERT_EQ(header[255], ' ');
  run(header.c_str());
  run("create procedure cat_p1(a int, b date) returning decimal(10,2); return 1; end procedure");
  run("create procedure cat_p2() end procedure");

  const DDColumnArgs all{"", "%", "cat%", "%"};
  ASSERT_EQ(INF_DDProcedureColumns(cur_, &all), 0) << why(cur_);
  std::vector<Row> rs = rows(3);
  // cat_long's parameters and return value, then cat_p1's; cat_p2 has none.
  ASSERT_EQ(rs.size(), static_cast<size_t>(params + 2 + 3));
  const Row& q = rs[static_cast<size_t>(params)];
  EXPECT_EQ(q[3], last);
  EXPECT_EQ(q[6], "CHAR");
  EXPECT_EQ(q[7], "3");
  const Row& b = rs[rs.size() - 2];
  // COLUMN_TYPE DATA_TYPE TYPE_NAME COLUMN_SIZE BUFFER_LENGTH DECIMAL_DIGITS ... SUB
  EXPECT_EQ(Row(b.begin() + 3, b.begin() + 10), (Row{"b", "1", "9", "DATE", "10", "6", "0"}));
  EXPECT_EQ(b[15], "1");
  const Row& ret = rs.back();
  EXPECT_EQ(Row(ret.begin() + 3, ret.begin() + 10),
            (Row{"RETURN VALUE", "5", "3", "DECIMAL", "10", "12", "2"}));
  EXPECT_EQ(ret[15], kNull);
  EXPECT_EQ(ret[17], "1");

  const DDColumnArgs one{"", "%", "cat_p1", "b"};
  ASSERT_EQ(INF_DDProcedureColumns(cur_, &one), 0);
  rs = rows();
  ASSERT_EQ(rs.size(), 1u);
  EXPECT_EQ(rs[0][3], "b");
  const DDColumnArgs none{"", "%", "nosuchproc", "%"};
  ASSERT_EQ(INF_DDProcedureColumns(cur_, &none), 0);
  EXPECT_TRUE(rows().empty());

  DrvHandle call = 0;
  ASSERT_EQ(INF_AllocCursor(conn_, &call), 0);
  ASSERT_EQ(INF_Prepare(call, "{call cat_p1(?, ?)}"), 0) << why(call);
  int32_t on = 1;
  ASSERT_EQ(INF_SetOption(call, DRVP_DESCRIBE_PARAMS, &on), 0);
  uint16_t n = 0;
  ColumnInfo* described = nullptr;
  ASSERT_EQ(INF_DescribeParams(call, &n, &described), 0);
  ASSERT_EQ(n, 2);
  EXPECT_STREQ(described[0].fullName, "a");
  EXPECT_EQ(described[0].sqlType, 4);
  EXPECT_STREQ(described[1].fullName, "b");
  EXPECT_EQ(described[1].sqlType, 9);
  std::free(described);
}

}  // namespace
