// Errors of the embedded runtime: what PREPARE refuses (with the object name), message
// texts, and the runtime's own conversions and widths.
#include "tests/platform/informix/ixr_fixture.h"

namespace ixrtest {
namespace {

class ErrorsTest : public IxrTest {
 protected:
  void SetUp() override {
    IxrTest::SetUp();
    makeDb();
    ASSERT_EQ(exec("create table t (a int, b char(4))"), 0);
  }
};

TEST_F(ErrorsTest, PrepareRaisesTheStatementsErrors) {
  struct Case {
    const char* sql;
    int rc;
    const char* sqlerrm;
  };
  const Case cases[] = {
      {"selec a from t", IXR_E_SYNTAX, "selec"},
      {"select a from", IXR_E_SYNTAX, ""},
      {"select a from nosuch", IXR_E_NO_TABLE, "nosuch"},
      {"select nosuch from t", IXR_E_NO_COLUMN, "nosuch"},
      {"select x.a from t", IXR_E_NO_TABLE, "x"},
      {"select a from t, t t2", IXR_E_AMBIGUOUS, "a"},
      {"select distinct a from t order by b", IXR_E_ORDER_NOT_SELECTED, "b"},
      {"select a from t union select a from t order by b", IXR_E_ORDER_NOT_SELECTED, "b"},
      {"select a from t where a = 'x'", IXR_E_CHAR_TO_NUMBER, ""},
      {"select a from t where a = nosuchfn(a)", IXR_E_NO_ROUTINE, "nosuchfn"},
      {"insert into t values (1)", IXR_E_INSERT_COUNT, ""},
      {"insert into t (c) values (1)", IXR_E_NO_COLUMN, "c"},
      {"update t set nosuch = 1", IXR_E_NO_COLUMN, "nosuch"},
      {"select a from t where b = datetime(2024-13-01) year to day", IXR_E_DT_BAD_FIELD, ""},
      {"select a from t order by 3", IXR_E_SYNTAX, "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(ixr_prepare("s", c.sql), c.rc);
    EXPECT_STREQ(ixr_sqlca()->sqlerrm, c.sqlerrm);
  }
}

TEST_F(ErrorsTest, MessagesAreFormatsEndingWithALineEnd) {
  const int32_t codes[] = {-201, -206,  -217,   -239,   -268,  -391, -908,
                           -951, -1262, -25580, -25588, -1802, -213, -107};
  for (int32_t code : codes) {
    SCOPED_TRACE(code);
    char buf[300];
    int32_t len = 0;
    ASSERT_EQ(ixr_error_message(code, buf, sizeof buf, &len), 0);
    std::string m = buf;
    EXPECT_EQ(static_cast<size_t>(len), m.size());
    EXPECT_GE(m.size(), 3u);
    EXPECT_EQ(m.substr(m.size() - 2), ".\n");
    size_t first = m.find("%s");
    EXPECT_TRUE(first == std::string::npos || m.find("%s", first + 1) == std::string::npos);
  }
  char buf[8];
  int32_t len = -1;
  EXPECT_EQ(ixr_error_message(-4242, buf, sizeof buf, &len), IXR_E_NO_MESSAGE);
  EXPECT_GE(IXR_E_NO_MESSAGE, -1230);
  EXPECT_LE(IXR_E_NO_MESSAGE, -1227);
  EXPECT_EQ(ixr_error_message(-206, buf, sizeof buf, &len), 0);  // cut to the buffer
  EXPECT_EQ(std::strlen(buf), 7u);
  EXPECT_GT(len, 7);
}

TEST_F(ErrorsTest, DisplayWidths) {
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

TEST_F(ErrorsTest, DateAndDatetimeConversions) {
  IxrDate d = 0;
  EXPECT_EQ(ixr_date_from_text(&d, "yyyy/mm/dd", "2024/02/29"), 0);
  int16_t mdy[3];
  ASSERT_EQ(ixr_date_to_mdy(d, mdy), 0);
  EXPECT_EQ(mdy[0], 2);
  EXPECT_EQ(mdy[1], 29);
  EXPECT_EQ(mdy[2], 2024);
  EXPECT_EQ(ixr_date_from_text(&d, "yyyy/mm/dd", "2023/02/29"), IXR_E_BAD_DAY);
  EXPECT_EQ(ixr_date_from_text(&d, nullptr, "12/31/1899"), 0);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(ixr_date_from_text(&d, nullptr, "1900-01-01"), 0);
  EXPECT_EQ(d, 1);
  ixr_date_set_null(&d);
  EXPECT_TRUE(ixr_date_is_null(d));
  EXPECT_NE(ixr_date_to_mdy(d, mdy), 0);

  IxrDateTime dt{};
  dt.qual = IXR_QUAL_YEAR_TO_F5;
  ASSERT_EQ(ixr_datetime_from_text("2024-01-02 03:04:05.12345", &dt), 0);
  char buf[32];
  ASSERT_EQ(ixr_datetime_to_text(&dt, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "2024-01-02 03:04:05.12345");
  IxrDateTime hm{};
  hm.qual = IXR_QUAL(4, IXR_TU_HOUR, IXR_TU_MINUTE);
  ASSERT_EQ(ixr_datetime_extend(&dt, &hm), 0);
  ASSERT_EQ(ixr_datetime_to_text(&hm, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "03:04");
  IxrDateTime full{};
  full.qual = IXR_QUAL_YEAR_TO_F5;
  ASSERT_EQ(ixr_datetime_extend(&hm, &full), 0);  // year to day from today, seconds zero
  ASSERT_EQ(ixr_datetime_to_text(&full, buf, sizeof buf), 0);
  EXPECT_STREQ(buf + 10, " 03:04:00.00000");
  EXPECT_EQ(ixr_datetime_from_text("2024-01-02 3x", &dt), IXR_E_DT_NON_NUMERIC);
  EXPECT_EQ(ixr_datetime_from_text("2024-01-02 03:04:05.1 9", &dt), IXR_E_DT_EXTRA);
  IxrInterval iv{};
  iv.qual = IXR_QUAL(7, IXR_TU_DAY, IXR_TU_MINUTE);
  ASSERT_EQ(ixr_interval_from_text("-12 10:30", &iv), 0);
  ASSERT_EQ(ixr_interval_to_text(&iv, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "-12 10:30");
}

}  // namespace
}  // namespace ixrtest
