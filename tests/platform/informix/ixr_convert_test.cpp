// Host variables to and from values in the embedded runtime: every column type read into
// every host type the agent uses, text written into every column type, and empty text
// into numeric host variables.
#include "tests/platform/informix/ixr_fixture.h"

#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_decimal.h"

#include <sqlite3.h>

#include <cstring>
#include <optional>

namespace ixrtest {
namespace {

class ConvertTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    makeDb();
  }
};

// Every column type read into every host type the agent uses, and text written into
// every column type.
TEST_F(ConvertTest, HostVariablesConvertBothWays) {
  ASSERT_EQ(
      exec("create table h (c char(8), vc varchar(8), i integer, s smallint, f float, d "
           "decimal(6,2), "
           "dt date, ts datetime year to second, iv interval hour to minute, tx text, b byte)"),
      0);
  int32_t ins = 0;
  ASSERT_EQ(ixr_prepare("ins", "insert into h values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"), 0)
      << ixr_sqlca()->sqlerrm;
  ins = ixr_name_id("ins", IXR_ID_STATEMENT);
  Area in(11);
  const char* texts[] = {
      "ab", "ab ", "12", "-3", "2.5", "7.125", "2024-03-05", "2024-03-05 06:07:08", "5:30"};
  for (int k = 0; k < 9; ++k) in.str(k, texts[k]);
  IxrLocator tx{}, by{};
  char txt[] = "long text", bytes[] = {1, 0, 2};
  tx.loctype = by.loctype = IXR_LOC_MEMORY;
  tx.blobtype = IXR_TYPE_TEXT;
  tx.buffer = txt;
  tx.bufsize = tx.size = 9;
  by.blobtype = IXR_TYPE_BYTE;
  by.buffer = bytes;
  by.bufsize = by.size = 3;
  in.as(9, IXR_HOST_LOCATOR, sizeof(IxrLocator));
  in.var(9).sqldata = reinterpret_cast<char*>(&tx);
  in.as(10, IXR_HOST_LOCATOR, sizeof(IxrLocator));
  in.var(10).sqldata = reinterpret_cast<char*>(&by);
  ASSERT_EQ(ixr_execute(ins, in.get()), 0) << ixr_sqlca()->sqlerrm;

  ASSERT_EQ(ixr_prepare("sel", "select c, vc, i, s, f, d, dt, ts, iv, tx, b from h"), 0);
  int32_t cur = ixr_name_id("cur", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(cur, "cur", ixr_name_id("sel", IXR_ID_STATEMENT)), 0);
  struct Case {
    int col;
    int host;
    int len;
    const char* want;  // as text through the check below
    int ind;
  };
  const Case cases[] = {
      {0, IXR_HOST_STRING, 10, "ab", 0},
      {0, IXR_HOST_FIXCHAR, 8, "ab      ", 0},
      {0, IXR_HOST_CHAR, 10, "ab       ", 0},
      {0, IXR_HOST_STRING, 2, "a", 2},
      {1, IXR_HOST_STRING, 10, "ab ", 0},
      {2, IXR_HOST_INT, 4, "12", 0},
      {2, IXR_HOST_SHORT, 2, "12", 0},
      {2, IXR_HOST_LONG, 8, "12", 0},
      {2, IXR_HOST_DOUBLE, 8, "12", 0},
      {2, IXR_HOST_STRING, 10, "12", 0},
      {3, IXR_HOST_INT, 4, "-3", 0},
      {4, IXR_HOST_DOUBLE, 8, "2.5", 0},
      {4, IXR_HOST_FLOAT, 4, "2.5", 0},
      {4, IXR_HOST_INT, 4, "2", 0},
      {5, IXR_HOST_STRING, 10, "7.13", 0},
      {5, IXR_HOST_DOUBLE, 8, "7.13", 0},
      {5, IXR_HOST_INT, 4, "7", 0},
      {6, IXR_HOST_DATE, 4, "45355", 0},
      {6, IXR_HOST_STRING, 12, "03/05/2024", 0},
      {6, IXR_HOST_DATETIME, sizeof(IxrDateTime), "2024-03-05 00:00:00.00000", 0},
      {7, IXR_HOST_DATETIME, sizeof(IxrDateTime), "2024-03-05 06:07:08.00000", 0},
      {7, IXR_HOST_STRING, 30, "2024-03-05 06:07:08", 0},
      {7, IXR_HOST_DATE, 4, "45355", 0},
      {8, IXR_HOST_STRING, 10, "5:30", 0},
      {9, IXR_HOST_LOCATOR, sizeof(IxrLocator), "long text", 0},
      {9, IXR_HOST_STRING, 20, "long text", 0},
      {10, IXR_HOST_LOCATOR, sizeof(IxrLocator), "\x01", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.col) + "/" + std::to_string(c.host));
    ASSERT_EQ(ixr_open(cur, nullptr), 0);
    Area out(11);
    for (int k = 0; k < 11; ++k) out.as(k, IXR_HOST_STRING, 64);
    out.as(9, IXR_HOST_STRING, 64).as(10, IXR_HOST_STRING, 64);
    out.as(c.col, c.host, c.len);
    IxrDateTime dtrec{};
    dtrec.qual = IXR_QUAL_YEAR_TO_F5;
    IxrLocator loc{};
    loc.loctype = IXR_LOC_MEMORY;
    loc.bufsize = -1;
    if (c.host == IXR_HOST_DATETIME) std::memcpy(out.buf(c.col), &dtrec, sizeof dtrec);
    if (c.host == IXR_HOST_LOCATOR) std::memcpy(out.buf(c.col), &loc, sizeof loc);
    if (c.col == 10 && c.host != IXR_HOST_LOCATOR) continue;
    int rc = ixr_fetch(cur, out.get());
    ASSERT_EQ(rc, 0) << ixr_sqlca()->sqlerrm;
    std::string got;
    const char* b = out.buf(c.col);
    switch (c.host) {
      case IXR_HOST_INT: got = std::to_string(*reinterpret_cast<const int32_t*>(b)); break;
      case IXR_HOST_SHORT: got = std::to_string(*reinterpret_cast<const int16_t*>(b)); break;
      case IXR_HOST_LONG: got = std::to_string(*reinterpret_cast<const int64_t*>(b)); break;
      case IXR_HOST_DATE: got = std::to_string(*reinterpret_cast<const int32_t*>(b)); break;
      case IXR_HOST_DOUBLE: {
        char t[32];
        std::snprintf(t, sizeof t, "%g", *reinterpret_cast<const double*>(b));
        got = t;
        break;
      }
      case IXR_HOST_FLOAT: {
        char t[32];
        std::snprintf(t, sizeof t, "%g", *reinterpret_cast<const float*>(b));
        got = t;
        break;
      }
      case IXR_HOST_FIXCHAR: got.assign(b, static_cast<size_t>(c.len)); break;
      case IXR_HOST_DATETIME: {
        char t[32];
        ixr_datetime_to_text(reinterpret_cast<const IxrDateTime*>(b), t, sizeof t);
        got = t;
        break;
      }
      case IXR_HOST_LOCATOR: {
        auto* l = reinterpret_cast<IxrLocator*>(out.buf(c.col));
        got.assign(l->buffer, static_cast<size_t>(c.col == 10 ? 1 : l->size));
        if (c.col == 10) {
          EXPECT_EQ(l->size, 3);
        }
        std::free(l->buffer);
        break;
      }
      default: got = b;
    }
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(out.ind(c.col), c.ind);
    ixr_close(cur);
  }
}

TEST_F(ConvertTest, TextConvertsIntoEveryColumnType) {
  ASSERT_EQ(
      exec("create table k (i integer, d decimal(8,3), dt date, ts datetime year to fraction(2), "
           "iv interval minute to second, f float, ym interval year to month)"),
      0);
  struct Case {
    const char* col;
    const char* text;
    int rc;
    const char* back;
  };
  const Case cases[] = {
      {"i", " 42 ", 0, "42"},
      {"i", "", 0, "NULL"},
      {"i", "4x", IXR_E_CHAR_TO_NUMBER, nullptr},
      {"i", "99999999999", IXR_E_INT_OVERFLOW, nullptr},
      {"d", "-1.2345", 0, "-1.235"},
      {"d", "1e2", 0, "100.000"},
      {"d", "123456", IXR_E_DECIMAL_OVERFLOW, nullptr},
      {"dt", "12/25/2023", 0, "12/25/2023"},
      {"dt", "2023-12-25", 0, "12/25/2023"},
      {"dt", "2023-02-30", IXR_E_BAD_DAY, nullptr},
      {"dt", "13/01/2023", IXR_E_BAD_MONTH, nullptr},
      {"ts", "2023-12-25 01:02:03.456", 0, "2023-12-25 01:02:03.45"},
      {"ts", "2023-12-25", 0, "2023-12-25 00:00:00.00"},
      {"ts", "2023-12-25 25:00:00", IXR_E_DT_BAD_FIELD, nullptr},
      {"iv", "90:05", 0, "90:05"},
      {"iv", "-1:30", 0, "-1:30"},
      {"iv", "100:00", IXR_E_DT_OVERFLOW, nullptr},
      {"ym", "9999-11", 0, "9999-11"},
      {"ym", "-9999-11", 0, "-9999-11"},
      {"ym", "10000-00", IXR_E_DT_OVERFLOW, nullptr},
      {"ym", "999999999999999999-00", IXR_E_DT_OVERFLOW, nullptr},
      {"f", "1.25e2", 0, "125"},
  };
  ASSERT_EQ(ixr_prepare("del", "delete from k"), 0);
  int32_t del = ixr_name_id("del", IXR_ID_STATEMENT);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.col) + " <- '" + c.text + "'");
    ixr_execute(del, nullptr);
    std::string sql = std::string("insert into k (") + c.col + ") values (?)";
    ASSERT_EQ(ixr_prepare("ins", sql.c_str()), 0);
    Area in(1);
    in.str(0, c.text);
    EXPECT_EQ(ixr_execute(ixr_name_id("ins", IXR_ID_STATEMENT), in.get()), c.rc);
    if (c.back) {
      EXPECT_EQ(scalar(std::string("select ") + c.col + " from k"), c.back);
    }
  }
}

// Interval values past their qualifier are refused wherever they come from: literals,
// numbers, other intervals and datetime arithmetic; nothing wraps around.
TEST_F(ConvertTest, IntervalsPastTheirRangeAreRefused) {
  ASSERT_EQ(exec("create table r (ym interval year to month, big interval year(9) to month, "
                 "ds interval day to second, d datetime year to day)"),
            0);
  ASSERT_EQ(exec("alter table r add (bigds interval day(9) to second)"), 0);
  ASSERT_EQ(exec("insert into r (big, d, bigds) values ('999999999-11', '2020-01-01', "
                 "'999999999 23:59:59')"),
            0);
  const struct {
    const char* sql;
    int rc;
  } cases[] = {
      {"insert into r (ym) values ('999999999999999999-00')", IXR_E_DT_OVERFLOW},
      {"insert into r (ym) values (interval(999999999999999999-00) year to month)",
       IXR_E_DT_OVERFLOW},
      {"insert into r (ym) select big from r", IXR_E_DT_OVERFLOW},
      {"insert into r (ds) values (1e300)", IXR_E_DT_OVERFLOW},
      {"insert into r (ds) values ('9999999999 00:00:00')", IXR_E_DT_OVERFLOW},
      {"select d + big from r", IXR_E_DT_OUT_OF_RANGE},
      {"select d - big from r", IXR_E_DT_OUT_OF_RANGE},
      {"select bigds + bigds from r", IXR_E_DT_OVERFLOW},
      {"select bigds * 100000000000 from r", IXR_E_DT_OVERFLOW},
      {"select -bigds - bigds from r", IXR_E_DT_OVERFLOW},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    int rc = 0;
    if (std::strncmp(c.sql, "select", 6) == 0)
      query(c.sql, nullptr, &rc);
    else
      rc = exec(c.sql);
    EXPECT_EQ(rc, c.rc);
  }
  EXPECT_EQ(scalar("select count(*) from r"), "1");
  EXPECT_EQ(scalar("select big from r"), "999999999-11");
}

TEST_F(ConvertTest, EmptyTextIntoANumericHostVariableIsNull) {
  ASSERT_EQ(exec("create table e (v varchar(5))"), 0);
  ASSERT_EQ(exec("insert into e values ('')"), 0);
  ASSERT_EQ(ixr_prepare("s", "select v, v from e"), 0);
  int32_t c = ixr_name_id("c", IXR_ID_NEW_CURSOR);
  ASSERT_EQ(ixr_declare(c, "c", ixr_name_id("s", IXR_ID_STATEMENT)), 0);
  ASSERT_EQ(ixr_open(c, nullptr), 0);
  Area out(2);
  out.as(0, IXR_HOST_SHORT, 2).as(1, IXR_HOST_DOUBLE, 8);
  ASSERT_EQ(ixr_fetch(c, out.get()), 0);
  EXPECT_EQ(out.ind(0), -1);
  EXPECT_EQ(out.ind(1), -1);
}


// Host text bound as it stands must be exactly what the conversion would have stored;
// text the conversion would change (or refuse) must take the conversion.
TEST(BindTextAsIs, BindsOnlyWhatTheConversionWouldKeep) {
  using namespace ixr;
  struct Case {
    const char* text;
    IxType to;
    bool asIs;
  };
  const IxType d102 = tDecimal(10, 2), d50 = tDecimal(5, 0), d22 = tDecimal(2, 2);
  const Case cases[] = {
      {"123.45", d102, true},       {"-0.50", d102, true},       {"0.00", d102, true},
      {"12345678.90", d102, true},  {"-1.00", tMoney(8, 2), true}, {"12345", d50, true},
      {"0", d50, true},             {"-7", d50, true},           {"0.99", d22, true},
      {"-0.00", d102, false},       {"007.50", d102, false},     {"1.5", d102, false},
      {"1.505", d102, false},       {"123456789.00", d102, false}, {"1e3", d102, false},
      {" 1.00", d102, false},       {"1.00 ", d102, false},      {".50", d102, false},
      {"+1.00", d102, false},       {"-", d102, false},          {"", d102, false},
      {"12.", d50, false},          {"1.00", tDecimal(16, kDecFloating), false},
      {"abc", tVarchar(5), true},   {"abcdefg", tVarchar(5), true}, {"abc\xc3\xa9", tVarchar(4), true},
      {"", tVarchar(5), true},      {"long text", tText(), true}, {"abc", tLvarchar(200), true},
      {"abc", tChar(5), false},     {"12", tInteger(), false},   {"2024-01-02", tDate(), false},
  };
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT ?1", -1, &st, nullptr), SQLITE_OK);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Val in = Val::view(c.text, static_cast<int>(std::strlen(c.text)));
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    const bool bound = bindTextAsIs(st, 1, in, c.to, false);
    EXPECT_EQ(bound, c.asIs);
    if (!bound) continue;
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const std::string got(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                          static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    Val want;
    ASSERT_FALSE(convertValue(in, tText(), c.to, want));
    EXPECT_EQ(got, std::string(want.data, static_cast<size_t>(want.size)));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// Borrowing is for text that outlives the binding: text a value made for itself (a host
// variable converted on the way) is copied, since the value goes before the statement runs.
TEST(BindTextAsIs, TextAValueMadeItselfIsCopiedEvenWhenBorrowing) {
  using namespace ixr;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT ?1", -1, &st, nullptr), SQLITE_OK);
  {
    // Long enough to live on the heap, where a dangling binding is caught.
    Val made = Val::ofText(std::string(40, 'x') + "made here");
    ASSERT_TRUE(bindTextAsIs(st, 1, made, tVarchar(100), true));
    made.own.assign(made.own.size(), '?');  // what the value's bytes may become once freed
  }
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))),
            std::string(40, 'x') + "made here");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

// A host variable bound directly must give SQLite the very value the general road (a value,
// converted to the marker's type) gives, and every value that road refuses or changes in
// a way the direct binding does not know must be left to it.
TEST(BindHostAsIs, BindsWhatTheConversionWouldBindOrNothing) {
  using namespace ixr;
  struct Case {
    int16_t host;
    int64_t i;      // integer hosts and DATE
    double r;       // FLOAT and DOUBLE
    const char* t;  // text hosts
    int16_t ind;
    std::optional<IxType> to;  // none: a marker of unknown type
    bool direct;
  };
  const IxType d102 = tDecimal(10, 2);
  const Case cases[] = {
      {IXR_HOST_INT, 7, 0, nullptr, 0, tInteger(), true},
      {IXR_HOST_INT, -2147483647, 0, nullptr, 0, tInteger(), true},
      {IXR_HOST_INT, INT32_MIN, 0, nullptr, 0, tInteger(), false},
      {IXR_HOST_INT, 40000, 0, nullptr, 0, tSmallint(), false},
      {IXR_HOST_INT, -32767, 0, nullptr, 0, tSmallint(), true},
      {IXR_HOST_INT, 5, 0, nullptr, 0, tSerial(), true},
      {IXR_HOST_INT, 5, 0, nullptr, 0, tFloat(), true},
      {IXR_HOST_INT, 16777217, 0, nullptr, 0, tSmallfloat(), true},
      {IXR_HOST_INT, 5, 0, nullptr, 0, d102, false},
      {IXR_HOST_INT, 5, 0, nullptr, 0, tVarchar(10), false},
      {IXR_HOST_INT, 45000, 0, nullptr, 0, tDate(), false},
      {IXR_HOST_INT, 5, 0, nullptr, 0, std::nullopt, true},
      {IXR_HOST_SHORT, -12, 0, nullptr, 0, tInteger(), true},
      {IXR_HOST_LONG, 3000000000, 0, nullptr, 0, tInteger(), false},
      {IXR_HOST_LONG, 3000000000, 0, nullptr, 0, tFloat(), true},
      {IXR_HOST_LONG, -9, 0, nullptr, 0, tInteger(), true},
      {IXR_HOST_DOUBLE, 0, 2.5, nullptr, 0, tFloat(), true},
      {IXR_HOST_DOUBLE, 0, 0.1, nullptr, 0, tSmallfloat(), true},
      {IXR_HOST_DOUBLE, 0, 2.5, nullptr, 0, tInteger(), false},
      {IXR_HOST_DOUBLE, 0, 2.5, nullptr, 0, d102, false},
      {IXR_HOST_DOUBLE, 0, 2.5, nullptr, 0, std::nullopt, true},
      {IXR_HOST_FLOAT, 0, 0.1, nullptr, 0, tFloat(), true},
      {IXR_HOST_DATE, 45355, 0, nullptr, 0, tDate(), true},
      {IXR_HOST_DATE, 2958465, 0, nullptr, 0, tDate(), false},
      {IXR_HOST_DATE, kNullDate, 0, nullptr, 0, tDate(), true},
      {IXR_HOST_DATE, 45355, 0, nullptr, 0, tDatetime(IXR_QUAL_YEAR_TO_F5), false},
      {IXR_HOST_DATE, 45355, 0, nullptr, 0, tInteger(), false},
      {IXR_HOST_DATE, 45355, 0, nullptr, 0, std::nullopt, true},
      {IXR_HOST_STRING, 0, 0, "123.45", 0, d102, true},
      {IXR_HOST_STRING, 0, 0, "1.5", 0, d102, false},
      {IXR_HOST_STRING, 0, 0, "abcdefg", 0, tVarchar(5), true},
      {IXR_HOST_FIXCHAR, 0, 0, "abc", 0, tVarchar(5), true},
      {IXR_HOST_STRING, 0, 0, "abc", 0, tChar(5), false},
      {IXR_HOST_STRING, 0, 0, "12", 0, tInteger(), false},
      {IXR_HOST_STRING, 0, 0, "abc", 0, std::nullopt, false},
      {IXR_HOST_STRING, 0, 0, "abc", -1, tChar(5), true},
      {IXR_HOST_INT, 7, 0, nullptr, -1, tInteger(), true},
      {IXR_HOST_DOUBLE, 0, 1, nullptr, -1, d102, true},
      {IXR_HOST_DATE, 1, 0, nullptr, -1, std::nullopt, true},
  };
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT typeof(?1), quote(?1)", -1, &st, nullptr), SQLITE_OK);
  const auto bound = [&] {
    EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
    std::string got = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    got += " " + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return got;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.host) + " " + std::to_string(c.i) + " " +
                 std::to_string(c.r) + " " + (c.t ? c.t : "") + " to " +
                 (c.to ? std::to_string(c.to->code) : "?"));
    char buf[32] = {};
    switch (c.host) {
      case IXR_HOST_SHORT: *reinterpret_cast<int16_t*>(buf) = static_cast<int16_t>(c.i); break;
      case IXR_HOST_INT:
      case IXR_HOST_DATE: *reinterpret_cast<int32_t*>(buf) = static_cast<int32_t>(c.i); break;
      case IXR_HOST_LONG: *reinterpret_cast<int64_t*>(buf) = c.i; break;
      case IXR_HOST_FLOAT: *reinterpret_cast<float*>(buf) = static_cast<float>(c.r); break;
      case IXR_HOST_DOUBLE: *reinterpret_cast<double*>(buf) = c.r; break;
      default: std::strncpy(buf, c.t, sizeof buf - 1);
    }
    int16_t ind = c.ind;
    const IxrSqlVar var{c.host, IXR_HOST_SHORT, c.host == IXR_HOST_FIXCHAR ? 5 : 32, buf, &ind,
                        nullptr, 2, 0, 0};
    const bool direct = bindHostAsIs(st, 1, var, c.to ? &*c.to : nullptr, false);
    EXPECT_EQ(direct, c.direct);
    const std::string got = direct ? bound() : "";
    Val v, cv;
    IxType ht;
    ASSERT_FALSE(hostToVal(var, v, ht));
    if (c.to && convertValue(v, ht, *c.to, cv)) {
      EXPECT_FALSE(direct) << "the conversion refuses this value";
      continue;
    }
    bindVal(st, 1, c.to ? cv : v);
    const std::string want = bound();
    if (direct) {
      EXPECT_EQ(got, want);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}

}  // namespace
}  // namespace ixrtest
