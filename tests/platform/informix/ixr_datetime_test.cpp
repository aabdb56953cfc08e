// DATE, DATETIME and INTERVAL values through the runtime's own conversions: text with
// and without a format, month-day-year, NULL dates, datetime text and EXTEND, interval
// text. They touch no server and no communication area.
#include "platform/informix/ixr_api.h"

#include <gtest/gtest.h>

namespace ixrtest {
namespace {

TEST(DatetimeTest, DateAndDatetimeConversions) {
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
