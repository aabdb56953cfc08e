// Temporary directory and user name.
#include "platform/windows/sysinfo.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/errors.h"
#include "scoped_env.h"

namespace {

TEST(TempPath, FromTmpdirElseTmpAlwaysWithASlash) {
  struct Case {
    const char* tmpdir;
    std::string path;
  };
  const Case kCases[] = {
      {nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/x", "/var/x/"}, {"/var/y/", "/var/y/"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.tmpdir ? c.tmpdir : "(unset)");
    ScopedEnv env("TMPDIR", c.tmpdir);
    char buf[64];
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), c.path.size());
    EXPECT_EQ(buf, c.path);
  }
}

TEST(TempPath, ShortBufferGetsTheSizeNeeded) {
  ScopedEnv env("TMPDIR", "/var/x");
  char buf[8] = "unset";
  EXPECT_EQ(GetTempPathA(7, buf), 8u);  // "/var/x/" and its NUL
  EXPECT_STREQ(buf, "unset");
  EXPECT_EQ(GetTempPathA(8, buf), 7u);
  EXPECT_STREQ(buf, "/var/x/");
}

TEST(UserName, SizeProtocol) {
  uint32_t size = 0;
  EXPECT_EQ(GetUserNameA(nullptr, &size), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(size, 1u);
  std::string buf(size, '#');
  uint32_t given = size;
  ASSERT_EQ(GetUserNameA(buf.data(), &given), 1);
  EXPECT_EQ(given, size);
  EXPECT_EQ(buf.back(), '\0');
}

}  // namespace
