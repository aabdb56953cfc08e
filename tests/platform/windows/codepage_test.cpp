// The "ANSI code page" (UTF-8) to and from UTF-16.
#include "platform/windows/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/windows/errors.h"

namespace {

std::u16string toWide(std::string_view in) {
  int n = MultiByteToWideChar(CP_ACP, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'#');
  int m = MultiByteToWideChar(CP_ACP, 0, in.data(), static_cast<int>(in.size()), out.data(), n);
  EXPECT_EQ(m, n) << "measured and converted sizes differ";
  return out;
}

std::string toNarrow(std::u16string_view in) {
  int n = WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '#');
  int m = WideCharToMultiByte(CP_UTF8, 0, in.data(), static_cast<int>(in.size()), out.data(), n,
                              nullptr, nullptr);
  EXPECT_EQ(m, n) << "measured and converted sizes differ";
  return out;
}

TEST(CodePage, Utf8ToUtf16) {
  struct Case {
    std::string_view in;
    std::u16string_view out;
  };
  const Case kCases[] = {
      {"abc", u"abc"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // one character, a whole pair
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"a\x80z", u"a\uFFFDz"},        // stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
      {"\xE2\x82z", u"\uFFFDz"},      // truncated, decoding goes on
      {"\xF0\x9F\x98", u"\uFFFD"},    // cut by the end of the text
      {"\xF5\x80", u"\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xFF", u"\uFFFD"},
      {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},  // surrogates written one by one
      {std::string_view("a\0b", 3), std::u16string_view(u"a\0b", 3)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.in)));
    EXPECT_EQ(toWide(c.in), c.out);
  }
}

TEST(CodePage, Utf16ToUtf8) {
  struct Case {
    std::u16string_view in;
    std::string_view out;
  };
  const Case kCases[] = {
      {u"abc", "abc"},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\xD83D"
       u"x",
       "\xEF\xBF\xBDx"},              // lone high surrogate
      {u"x\xDE00", "x\xEF\xBF\xBD"},  // lone low surrogate
      {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.in)));
    EXPECT_EQ(toNarrow(c.in), c.out);
  }
}

TEST(CodePage, NulTerminatedSourceCountsTheNul) {
  char16_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xC3\xA9x", -1, wide, 8), 3);
  EXPECT_EQ(std::u16string(wide), u"\u00E9x");
  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9x", -1, narrow, 8, nullptr, nullptr), 4);
  EXPECT_STREQ(narrow, "\xC3\xA9x");
}

TEST(CodePage, ShortDestinationFailsKeepingWholeCharacters) {
  char16_t wide[2] = {u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\xF0\x9F\x98\x80", 5, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(wide[0], u'a');
  EXPECT_EQ(wide[1], u'#');  // half a pair is never written

  char narrow[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u20AC", 2, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(narrow[0], 'a');
  EXPECT_EQ(narrow[1], '#');
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u20AC", 2, narrow, 4, nullptr, nullptr), 4);
}

TEST(CodePage, BadArgumentsAreRefused) {
  char16_t wide[4];
  char narrow[4];
  int usedDefault = 7;
  struct Case {
    const char* what;
    int rc;
  };
  const Case kCases[] = {
      {"empty source", MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4)},
      {"length below -1", MultiByteToWideChar(CP_ACP, 0, "a", -2, wide, 4)},
      {"other code page", MultiByteToWideChar(1252, 0, "a", 1, wide, 4)},
      {"flags", MultiByteToWideChar(CP_ACP, 8, "a", 1, wide, 4)},
      {"null source", MultiByteToWideChar(CP_ACP, 0, nullptr, 1, wide, 4)},
      {"default char", WideCharToMultiByte(CP_ACP, 0, u"a", 1, narrow, 4, "?", nullptr)},
      {"null destination", WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 4, nullptr, nullptr)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.rc, 0);
  }
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", 1, narrow, 4, nullptr, &usedDefault), 1);
  EXPECT_EQ(usedDefault, 0);
}

}  // namespace
