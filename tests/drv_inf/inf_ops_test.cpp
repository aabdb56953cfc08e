// inf_ops_test.cpp -- the negotiation of cursor type and concurrency against
// what a connection supports.

#include "drv_inf/inf_ops.h"

#include <gtest/gtest.h>

#include "drv/errtab.h"

namespace {

TEST(NegotiateOption, WalksTheFallbacks) {
  struct Case {
    int32_t option;
    uint32_t supported;
    int32_t asked;
    int32_t rc;
    int32_t got;
  };
  const Case cases[] = {
      {7, 9, 2, ERR_OPTION_CHANGED, 4},  // lock becomes values, passing row versions
      {7, 9, 3, ERR_OPTION_CHANGED, 4},  {7, 9, 1, 0, 1},  {7, 9, 4, 0, 4},
      {7, 1, 2, ERR_NOT_CAPABLE, 2},      // 2, 3, 4, 3 and the end
      {6, 17, 2, ERR_OPTION_CHANGED, 3},  // dynamic becomes static
      {6, 17, 1, ERR_OPTION_CHANGED, 3}, {6, 31, 2, 0, 2}, {6, 17, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.option << "/" << c.supported << "/" << c.asked);
    int32_t v = c.asked;
    EXPECT_EQ(NegotiateOptionMask(c.option, c.supported, &v), c.rc);
    EXPECT_EQ(v, c.got);
  }
}

}  // namespace
