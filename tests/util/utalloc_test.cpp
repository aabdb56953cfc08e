#include "util/utalloc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "util/log.h"

namespace {

TEST(Alloc, ZeroCountOrSizeGivesOneZeroedByte) {
  for (auto [count, size] : {std::pair<size_t, size_t>{0, 8}, {8, 0}, {0, 0}}) {
    SCOPED_TRACE(std::to_string(count) + "x" + std::to_string(size));
    auto* p = static_cast<unsigned char*>(s_alloc(count, size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    free(p);
  }
}

TEST(Alloc, ReallocToZeroKeepsABlock) {
  void* p = s_alloc(4, 4);
  p = s_realloc(p, 0);
  ASSERT_NE(p, nullptr);
  p = s_realloc(p, 64);
  ASSERT_NE(p, nullptr);
  free(p);
}

TEST(Alloc, StrdupCopies) {
  char* copy = s_strdup("abc");
  EXPECT_STREQ(copy, "abc");
  free(copy);
}

TEST(AllocDeathTest, ExhaustionLogsAndExitsWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The log goes where a sink sends it; this one writes to the standard error.
  const auto logged = [] { (void)log_open_stream(stderr, LOG_DEBUG, 0xFFFFFFFFu, 0); };
  EXPECT_EXIT((logged(), s_alloc(SIZE_MAX / 2, 4)), testing::ExitedWithCode(1),
              "s_alloc: out of memory");
  EXPECT_EXIT((logged(), free(s_realloc(nullptr, SIZE_MAX - 16))), testing::ExitedWithCode(1),
              "s_realloc: out of memory");
}

TEST(Strerror, KnownAndUnknownNumbers) {
  struct Case {
    int errnum;
    const char* text;
  } const cases[] = {
      {0, "Success"},
      {ENOENT, "No such file or directory"},
      {-1, "Unknown error 4294967295"},
      {100000, "Unknown error 100000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.errnum);
    EXPECT_STREQ(util_strerror(c.errnum), c.text);
  }
}

TEST(Strerror, UnknownTextBelongsToItsThread) {
  const char* mine = util_strerror(123456);
  std::string other;
  std::thread t([&] {
    for (int i = 0; i < 1000; ++i) util_strerror(654321);
    other = util_strerror(654321);
  });
  t.join();
  EXPECT_STREQ(mine, "Unknown error 123456");
  EXPECT_EQ(other, "Unknown error 654321");
}

TEST(Stpcpy, AnswersTheCopiedNul) {
  char buf[16];
  char* end = util_stpcpy(buf, "ERROR");
  EXPECT_EQ(end, buf + 5);
  util_stpcpy(end, ": x");
  EXPECT_STREQ(buf, "ERROR: x");
}

}  // namespace
