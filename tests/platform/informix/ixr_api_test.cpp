// Main road of the embedded runtime: server and database creation, CONNECT, CREATE
// TABLE with every type, INSERT with markers, SELECT with DESCRIBE and FETCH.
#include "tests/platform/informix/ixr_fixture.h"

namespace ixrtest {
namespace {

class ApiTest : public IxrTest {};

TEST_F(ApiTest, CreateInsertSelectEveryType) {
  makeDb();
  ASSERT_EQ(
      exec("create table t (id serial, c char(5), v varchar(10), i integer, s smallint, f float, "
           "sf smallfloat, d decimal(8,2), m money(10,2), dt date, ts datetime year to second, "
           "iv interval day to hour, tx text, b byte, nc nchar(3), nv nvarchar(20), lv "
           "lvarchar(100))"),
      0)
      << ixr_sqlca()->sqlerrm;
  ASSERT_EQ(ixr_prepare("ins",
                        "insert into t (c, v, i, s, f, sf, d, m, dt, ts, iv, nc, nv, lv) "
                        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            0)
      << ixr_sqlca()->sqlerrm;
  int32_t sid = ixr_name_id("ins", IXR_ID_STATEMENT);
  IxrSqlda* d = nullptr;
  EXPECT_EQ(ixr_describe(sid, &d), IXR_STMT_INSERT);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->sqld, 14);
  EXPECT_STREQ(d->sqlvar[0].sqlname, "c");
  EXPECT_EQ(d->sqlvar[0].sqltype, IXR_TYPE_CHAR);
  EXPECT_EQ(d->sqlvar[0].sqllen, 5);
  EXPECT_EQ(d->sqlvar[6].sqltype, IXR_TYPE_DECIMAL);
  EXPECT_EQ(d->sqlvar[6].sqllen, (8 << 8) | 2);
  ixr_free_sqlda(d);
  Area in(14);
  in.str(0, "ab").str(1, "xy ").i32(2, 42).str(3, "7").dbl(4, 1.5).str(5, "2.25").str(6, "123.456");
  in.str(7, "9.5").str(8, "2024-02-29").str(9, "2024-02-29 10:11:12").str(10, "3 04");
  in.str(11, "n").str(12, "nv").str(13, "long");
  ASSERT_EQ(ixr_execute(sid, in.get()), 0) << ixr_sqlca()->sqlerrm;
  EXPECT_EQ(ixr_sqlca()->sqlerrd[2], 1);
  EXPECT_EQ(ixr_sqlca()->sqlerrd[1], 1);  // SERIAL value
  Rows r = query("select id, c, v, i, s, f, sf, d, m, dt, ts, iv, nc, nv, lv from t");
  ASSERT_EQ(r.size(), 1u);
  std::vector<std::string> want = {"1",
                                   "ab",
                                   "xy ",
                                   "42",
                                   "7",
                                   "1.5",
                                   "2.25",
                                   "123.46",
                                   "9.50",
                                   "02/29/2024",
                                   "2024-02-29 10:11:12",
                                   "3 04",
                                   "n",
                                   "nv",
                                   "long"};
  EXPECT_EQ(r[0], want);
}

}  // namespace
}  // namespace ixrtest
