// Informix values in the embedded server: CHAR padding, exact DECIMAL and MONEY, DATE
// day counts and arithmetic, DATETIME and INTERVAL qualifiers, SERIAL, NULL ordering,
// LIKE and MATCHES, display widths, and BYTE and TEXT refusing literals.
#include "tests/platform/informix/ixr_fixture.h"

namespace ixrtest {
namespace {

class TypesTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    makeDb();
  }
};

TEST_F(TypesTest, ValuesBehaveAsInformix) {
  ASSERT_EQ(exec("create table v (c char(6), vc varchar(10), d decimal(10,3), m money(8,2), fd "
                 "decimal(20), "
                 "dt date, ts datetime year to fraction(3), hm datetime hour to minute, "
                 "iv interval day(3) to second, ym interval year to month, f float, i integer)"),
            0);
  ASSERT_EQ(exec("insert into v values ('ab', 'ab  ', 0.1, 2, 1.5e3, '12/31/1899', "
                 "'2024-01-31 23:59:59.5', '10:30', '1 02:03:04', '2-03', 0.5, 7)"),
            0)
      << ixr_sqlca()->sqlerrm;
  struct Case {
    const char* expr;
    const char* want;
  };
  const Case cases[] = {
      {"c", "ab"},
      {"c || '|'", "ab    |"},
      {"length(c)", "2"},
      {"vc || '|'", "ab  |"},
      {"(select count(*) from v where c = 'ab')", "1"},
      {"(select count(*) from v where c = 'ab   ')", "1"},
      {"(select count(*) from v where vc = 'ab')", "1"},
      {"(select count(*) from v where c = 'ab    xyz')", "0"},
      {"(select count(*) from v where c in ('x', 'ab    z'))", "0"},
      {"d", "0.100"},
      {"d + d + d", "0.300"},
      {"d * 3 = 0.3", "1"},
      {"m", "2.00"},
      {"m / 3", "0.66666666666666666666666666666667"},
      {"fd", "1500"},
      {"dt", "12/31/1899"},
      {"dt + 1", "01/01/1900"},
      {"date('01/01/1900') - dt", "1"},
      {"'01/02/1900' - dt", "2"},
      {"day(dt) || '-' || month(dt) || '-' || year(dt) || '-' || weekday(dt)", "31-12-1899-0"},
      {"mdy(2, 29, 2024)", "02/29/2024"},
      {"ts", "2024-01-31 23:59:59.500"},
      {"ts + interval(1) day to day", "2024-02-01 23:59:59.500"},
      {"ts - 1 units month", "2023-12-31 23:59:59.500"},
      {"extend(ts, year to day)", "2024-01-31"},
      {"extend(hm, hour to second)", "10:30:00"},
      {"hm", "10:30"},
      {"iv", "1 02:03:04"},
      {"iv * 2", "2 04:06:08"},
      {"ym + interval(10) month to month", "3-01"},
      {"datetime(2024-03-01) year to day - datetime(2024-02-01) year to day", "29"},
      {"f", "0.5"},
      {"i / 2", "3.5"},
      {"mod(i, 4)", "3"},
      {"round(d, 1)", "0.1"},
      {"trunc(12.789, 1)", "12.7"},
      {"upper(c) || lower('X')", "AB    x"},
      {"substr(vc, 2, 1) || c[1,1]", "ba"},
      {"nvl(null, 'z')", "z"},
      {"decode(i, 7, 'seven', 'other')", "seven"},
      {"case when i > 5 then 'big' else 'small' end", "big"},
      {"trim(' x ') || '|'", "x|"},
      {"lpad('7', 3, '0')", "007"},
      {"cast('12.5' as decimal(5,2))", "12.50"},
      {"cast(i as char(3)) || '|'", "7  |"},
      {"'ab' like 'a%'", "1"},
      {"'Ab' like 'a%'", "0"},
      {"'a%b' like 'a\\%b'", "1"},
      {"'abc' matches '[a-c]?c'", "1"},
      {"'abc' matches 'a*'", "1"},
      {"'abc' matches 'A*'", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expr);
    EXPECT_EQ(scalar(std::string("select ") + c.expr + " from v"), c.want);
  }
}

TEST_F(TypesTest, DecimalsRoundTripExactly) {
  ASSERT_EQ(exec("create table m (a money(16,2), b decimal(32,10))"), 0);
  for (int k = 0; k < 10; ++k)
    ASSERT_EQ(exec("insert into m values (0.10, 1234567890123456789012.0123456789)"), 0);
  EXPECT_EQ(scalar("select sum(a) from m"), "1.00");
  EXPECT_EQ(scalar("select b from m where rowid = 1"), "1234567890123456789012.0123456789");
  EXPECT_EQ(exec("insert into m (a) values (123456789012345.678)"), IXR_E_DECIMAL_OVERFLOW);
  EXPECT_EQ(scalar("select count(*) from m where a = 0.1"), "10");
  EXPECT_EQ(query("select a from m where a > 0.09 order by a")[0][0], "0.10");
}

TEST_F(TypesTest, SerialAssignsNextForZeroAndKeepsExplicit) {
  ASSERT_EQ(exec("create table s (id serial(10), x int)"), 0);
  for (const char* v : {"(0, 1)", "(0, 2)", "(100, 3)", "(0, 4)", "(50, 5)", "(0, 6)"})
    ASSERT_EQ(exec(std::string("insert into s values ") + v), 0);
  EXPECT_EQ(query("select id from s order by x"),
            (Rows{{"10"}, {"11"}, {"100"}, {"101"}, {"50"}, {"102"}}));
  ASSERT_EQ(exec("delete from s"), 0);
  ASSERT_EQ(exec("insert into s (x) values (7)"), 0);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], 103);  // counters never go back
  EXPECT_EQ(exec("update s set id = 5"), IXR_E_SERIAL_UPDATE);
}

TEST_F(TypesTest, NullSortsLowest) {
  ASSERT_EQ(exec("create table n (a int)"), 0);
  ASSERT_EQ(exec("insert into n values (2); insert into n values (null); insert into n values (1)"),
            0);
  EXPECT_EQ(query("select a from n order by a"), (Rows{{"NULL"}, {"1"}, {"2"}}));
  EXPECT_EQ(query("select a from n order by a desc"), (Rows{{"2"}, {"1"}, {"NULL"}}));
}

TEST_F(TypesTest, DisplayWidths) {
  struct Case {
    int type, len, width;
  };
  const Case cases[] = {
      {IXR_TYPE_CHAR, 10, 10},
      {IXR_TYPE_VARCHAR, (5 << 8) | 40, 40},
      {IXR_TYPE_SMALLINT, 2, 6},
      {IXR_TYPE_INTEGER, 4, 11},
      {IXR_TYPE_SERIAL | IXR_TYPE_NOTNULL, 4, 11},
      {IXR_TYPE_DECIMAL, (8 << 8) | 2, 11},
      {IXR_TYPE_DATE, 4, 10},
      {IXR_TYPE_DATETIME, IXR_QUAL_YEAR_TO_F5, 25},
      {IXR_TYPE_DATETIME, IXR_QUAL(6, IXR_TU_HOUR, IXR_TU_SECOND), 8},
      {IXR_TYPE_INTERVAL, IXR_QUAL(5, IXR_TU_DAY, IXR_TU_HOUR), 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(ixr_display_width(c.type, c.len), c.width);
  }
}

TEST_F(TypesTest, BlobColumnsRefuseQuotedLiterals) {
  ASSERT_EQ(exec("create table b (id int, t text, y byte)"), 0);
  EXPECT_EQ(ixr_prepare("s", "insert into b (id, t) values (1, 'x')"), IXR_E_BLOB_LITERAL);
  EXPECT_STREQ(ixr_sqlca()->sqlerrm, "t");
  EXPECT_EQ(ixr_prepare("s", "update b set y = 'x' where id = 1"), IXR_E_BLOB_LITERAL);
  EXPECT_EQ(ixr_prepare("s", "insert into b (id, t) values (1, ?)"), 0);
}

}  // namespace
}  // namespace ixrtest
