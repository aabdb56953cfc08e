// pwscramble_test.cpp -- the password scrambler: round trips in both forms,
// the digits it writes and reads, and the texts the unscramblers refuse.

#include "odbc/pwscramble.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/windows/codepage.h"
#include "util/conv.h"

namespace {

struct Freed {
  void operator()(void* p) const { std::free(p); }
};
using Wide = std::unique_ptr<char16_t, Freed>;
using Narrow = std::unique_ptr<char, Freed>;

std::u16string text(const Wide& w) { return w ? std::u16string(w.get()) : u"<null>"; }
std::string text(const Narrow& n) { return n ? std::string(n.get()) : "<null>"; }

TEST(PwScramble, RoundTripsInBothForms) {
  const std::u16string passwords[] = {u"a",
                                      u"secret",
                                      u"p\u00e4ssw\u00f6rd",
                                      u"\u65e5\u672c\u8a9e",
                                      u"\U0001F600 emoji",
                                      u";{}=' \"",
                                      std::u16string(300, u'x')};
  for (const std::u16string& pw : passwords) {
    Wide scrambled(ScramblePassword(pw.c_str()));
    ASSERT_TRUE(scrambled) << std::string(pw.begin(), pw.end());
    const std::u16string s = scrambled.get();
    Narrow utf8(wcs_to_utf8_dup(pw.c_str()));
    // '1', then two upper-case digits per UTF-8 byte of the password.
    ASSERT_EQ(s.size(), 1 + 2 * std::string(utf8.get()).size());
    EXPECT_EQ(s[0], u'1');
    EXPECT_EQ(s.find_first_not_of(u"0123456789ABCDEF", 1), std::u16string::npos);

    EXPECT_EQ(text(Wide(UnscramblePasswordW(s.c_str()))), pw);
    Narrow narrowScrambled(wcs_to_utf8_dup(s.c_str()));
    EXPECT_EQ(text(Narrow(UnscramblePassword(narrowScrambled.get()))), std::string(utf8.get()));
  }
}

TEST(PwScramble, DigitsWrittenAndRead) {
  // The sequence starts from a fixed state: 'a' (0x61) XOR 0xA7.
  EXPECT_EQ(text(Wide(ScramblePassword(u"a"))), u"1C6");
  EXPECT_EQ(text(Narrow(UnscramblePassword("1c6"))), "a");
  // A lone digit at the end belongs to no byte.
  EXPECT_EQ(text(Narrow(UnscramblePassword("1C6F"))), "a");
  EXPECT_EQ(text(Wide(UnscramblePasswordW(u"1C6F"))), u"a");

  const struct {
    char16_t c;
    uint8_t v;
  } digits[] = {{u'0', 0}, {u'9', 9}, {u'a', 10}, {u'F', 15},
                {u'G', 0}, {u'g', 0}, {u' ', 0},  {u'\u0660', 0}};
  for (const auto& d : digits) EXPECT_EQ(PwdHexDigitValue(d.c), d.v) << static_cast<int>(d.c);
  uint8_t bytes[2] = {};
  PwdHexDecode(u"7fA0", 2, bytes);
  EXPECT_EQ(bytes[0], 0x7F);
  EXPECT_EQ(bytes[1], 0xA0);
}

TEST(PwScramble, RefusedTexts) {
  const char* refused[] = {nullptr, "", "1", "0C6", "C6", "x1C6"};
  for (const char* r : refused) {
    EXPECT_EQ(text(Narrow(UnscramblePassword(r))), "<null>") << (r != nullptr ? r : "null");
    Wide w(r != nullptr ? MbcsToWideDup(r, CP_ACP) : nullptr);
    EXPECT_EQ(text(Wide(UnscramblePasswordW(w.get()))), u"<null>") << (r != nullptr ? r : "null");
  }
  EXPECT_EQ(text(Wide(ScramblePassword(nullptr))), u"<null>");
  // An empty password scrambles to the bare '1', which reads as no password.
  EXPECT_EQ(text(Wide(ScramblePassword(u""))), u"1");
}

TEST(PwScramble, MbcsToWideDup) {
  EXPECT_EQ(text(Wide(MbcsToWideDup("\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80", CP_ACP))),
            u"\u00e9t\u00e9 \U0001F600");
  EXPECT_EQ(text(Wide(MbcsToWideDup("", CP_UTF8))), u"");
  EXPECT_EQ(text(Wide(MbcsToWideDup(nullptr, CP_ACP))), u"<null>");
}

}  // namespace
