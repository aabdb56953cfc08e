// odbcinst_test.cpp -- the installer's wide forms as the driver has them:
// UTF-16 in and out over the library's 8-bit functions, absent values empty,
// values cut to the buffer at a whole character.

#include "odbc/odbcinst.h"

#include <cstdlib>
#include <string>

#include "fake_backend.h"
#include "util/conv.h"

namespace {

// The values the private odbc.ini and wide.dsn hold (see fake_backend_support).
const std::u16string kSection = u"wide \u00fc";
const std::u16string kDatabase = u"\u03b4\u03b2_\u0431\u0430\U0001D11E";
const std::u16string kUser = u"us\u00e9r";

class InstallerTest : public CoreTest {
 protected:
  // A buffer of garbage, so that what the forwarder leaves in it shows.
  void Fill() { std::u16string(64, u'#').copy(buf_, 64); }
  std::u16string Profile(const char16_t* section, const char16_t* entry, int size, int* n) {
    Fill();
    *n = SQLGetPrivateProfileStringW(section, entry, u"", buf_, size, u"odbc.ini");
    return std::u16string(buf_);
  }
  char16_t buf_[65] = {};
};

TEST_F(InstallerTest, ProfileStringsTravelAsUtf16) {
  int n = -1;
  EXPECT_EQ(Profile(kSection.c_str(), u"Database", 64, &n), kDatabase);
  EXPECT_EQ(n, static_cast<int>(kDatabase.size()));
  EXPECT_EQ(Profile(kSection.c_str(), u"LastUser", 64, &n), kUser);
  // An absent value, or an absent section, leaves an empty buffer.
  EXPECT_EQ(Profile(kSection.c_str(), u"Host", 64, &n), u"");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Profile(u"no such dsn", u"Database", 64, &n), u"");
  // Cut at a whole character: the surrogate pair does not fit beside a NUL.
  EXPECT_EQ(Profile(kSection.c_str(), u"Database", 7, &n), u"\u03b4\u03b2_\u0431\u0430");
  EXPECT_EQ(n, 5);
  EXPECT_EQ(
      SQLGetPrivateProfileStringW(kSection.c_str(), u"Database", u"", nullptr, 64, u"odbc.ini"), 0);
}

TEST_F(InstallerTest, FileDsnTravelsAsUtf16) {
  char16_t* file = utf8_to_wcs_dup(getenv("KES_TEST_WIDE_FILEDSN"));
  ASSERT_NE(file, nullptr);
  char16_t buf[32] = {u'#', u'#'};
  uint16_t len = 99;
  EXPECT_NE(SQLReadFileDSNW(file, u"ODBC", u"UID", buf, 32, &len), 0);
  EXPECT_EQ(std::u16string(buf), kUser);
  EXPECT_EQ(len, kUser.size());
  EXPECT_NE(SQLReadFileDSNW(file, u"ODBC", u"DATABASE", buf, 32, &len), 0);
  EXPECT_EQ(std::u16string(buf), u"\u03b4\u03b2");
  free(file);
}

}  // namespace
