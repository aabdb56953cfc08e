#include "util/conv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using U16 = std::u16string;
using U8 = std::string;

U8 hex(const U8& s) {
  static const char digits[] = "0123456789ABCDEF";
  U8 out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

U8 dup8(const char16_t* text, int64_t length) {
  char* p = wcsn_to_utf8_dup(text, length);
  if (p == nullptr) return "(null)";
  U8 out(p, static_cast<size_t>(wcs_utf8_len(text, length)));
  free(p);
  return out;
}

U16 dup16(const char* text) {
  char16_t* p = utf8_to_wcs_dup(text);
  U16 out = p != nullptr ? U16(p) : u"(null)";
  free(p);
  return out;
}

// Pairs that must convert into each other whole, in both directions.
TEST(Conv, RoundTripsWholeCharacters) {
  struct Case {
    U16 wide;
    U8 utf8;
  } const cases[] = {
      {u"", ""},
      {u"\u007F", "\x7F"},
      {u"\u0080", "\xC2\x80"},
      {u"\u07FF", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"a\u00E9\u20AC", "a\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"x\U00010400y", "x\xF0\x90\x90\x80y"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.utf8));
    EXPECT_EQ(wcs_utf8_len(c.wide.c_str(), CONV_NTS), static_cast<int64_t>(c.utf8.size()));
    EXPECT_EQ(dup8(c.wide.c_str(), CONV_NTS), c.utf8);
    EXPECT_EQ(utf8_char_count(c.utf8.c_str(), CONV_NTS), static_cast<int64_t>(c.wide.size()));
    EXPECT_EQ(dup16(c.utf8.c_str()), c.wide);
    char* ansi = wcs_to_ansi_strdup(c.wide.c_str());
    EXPECT_EQ(U8(ansi), c.utf8);
    free(ansi);
  }
}

// Lone surrogates keep the three-byte form, and that form (what earlier
// releases wrote for a pair) still reads back as the units it stood for.
TEST(Conv, SurrogateFormsStillRead) {
  const U16 lone =
      u"a\xD800"
      u"b";
  EXPECT_EQ(dup8(lone.c_str(), CONV_NTS),
            "a\xED\xA0\x80"
            "b");
  EXPECT_EQ(dup16("a\xED\xA0\x80"
                  "b"),
            lone);
  // U+1F600 as two three-byte halves.
  const U8 cesu = "\xED\xA0\xBD\xED\xB8\x80";
  EXPECT_EQ(dup16(cesu.c_str()), u"\U0001F600");
  EXPECT_EQ(utf8_char_count(cesu.c_str(), CONV_NTS), 2);
  // A pair cut by an explicit length leaves a lone half.
  const U16 pair = u"\U0001F600";
  EXPECT_EQ(dup8(pair.c_str(), 1), "\xED\xA0\xBD");
}

// An invalid sequence becomes one U+FFFD and the decode goes on.
TEST(Conv, InvalidUtf8BecomesReplacementAndDecodingContinues) {
  struct Case {
    U8 utf8;
    U16 wide;
  } const cases[] = {
      {"a\xC3(", u"a\uFFFD("},
      {"\x80\xBF", u"\uFFFD\uFFFD"},
      {"\xC0\xAF"
       "x",
       u"\uFFFD\uFFFDx"},  // overlong '/'
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"\xE2\x82(", u"\uFFFD("},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xF8\x88\x80\x80\x80z", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDz"},
      {"ok\xF0\x9F\x98", u"ok\uFFFD"},  // cut short by the NUL
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.utf8));
    EXPECT_EQ(dup16(c.utf8.c_str()), c.wide);
    EXPECT_EQ(utf8_char_count(c.utf8.c_str(), CONV_NTS), static_cast<int64_t>(c.wide.size()));
    char16_t buf[16];
    int16_t len = -1;
    EXPECT_EQ(utf8_to_wcs_buf(c.utf8.c_str(), buf, 16, &len), 0);
    EXPECT_EQ(U16(buf), c.wide);
    EXPECT_EQ(len, static_cast<int16_t>(c.wide.size()));
  }
}

TEST(Conv, MeasuringCountsAndLengths) {
  const char16_t units[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD800, 0xFFFF};
  const int64_t sizes[] = {1, 2, 2, 3, 3, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(wcs_utf8_len(units + i, 1), sizes[i]) << i;
  EXPECT_EQ(wcs_utf8_len(nullptr, CONV_NTS), 0);
  EXPECT_EQ(wcs_utf8_len(u"abc", -1), 0);
  EXPECT_EQ(wcs_utf8_len(u"a\0b", 3), 3);  // NUL units count inside a length
  EXPECT_EQ(utf8_char_count("", 5), 0);
  EXPECT_EQ(utf8_char_count("a\0b", 3), 3);
  EXPECT_EQ(utf8_char_count("a\xC3\xA9", 2), 1);  // a character cut by the length
  EXPECT_EQ(wcs_len(u"abc"), 3);
}

TEST(Conv, ExplicitLengthsKeepNulAndReportWhatWasConsumed) {
  EXPECT_EQ(dup8(u"a\0b", 3), U8("a\0b", 3));
  EXPECT_EQ(dup8(u"abc", -2), "(null)");
  EXPECT_EQ(wcsn_to_utf8_dup(nullptr, 2), nullptr);

  char out[8];
  int64_t consumed = -1;
  // 'a' and U+1F600 need 5 bytes: only 'a' fits in 4.
  EXPECT_EQ(wcsn_to_utf8(u"a\U0001F600", out, 3, 4, &consumed), 1);
  EXPECT_EQ(consumed, 1);
  EXPECT_EQ(wcsn_to_utf8(u"a\U0001F600", out, 3, 5, &consumed), 5);
  EXPECT_EQ(consumed, 3);

  char16_t w[8];
  EXPECT_EQ(utf8n_to_wcs("a\xC3\xA9z", w, 2, 8, &consumed), 1);  // é cut by the length
  EXPECT_EQ(consumed, 1);
  EXPECT_EQ(utf8n_to_wcs("a\0z", w, 3, 8, &consumed), 3);
  EXPECT_EQ(w[1], 0);
  EXPECT_EQ(utf8n_to_wcs("\xF0\x9F\x98\x80", w, 4, 1, &consumed), 0);  // a pair needs two units
  EXPECT_EQ(utf8_to_wcs("ab\xF0\x9F\x98\x80", w, 3), 2);
  char16_t* d = utf8n_to_wcs_dup("abc", 2);
  EXPECT_EQ(U16(d), u"ab");
  free(d);
}

TEST(Conv, Utf8BufferBoundaries) {
  struct Case {
    U16 text;
    int64_t size;
    int rc;
    U8 out;
  } const cases[] = {
      {u"a\u00E9", 4, 0, "a\xC3\xA9"},  // exactly full
      {u"a\u00E9", 3, -1, "a"},         // one byte short: é does not fit
      {u"a\U0001F600", 5, -1, "a"},     // the pair does not fit whole
      {u"a\U0001F600", 6, 0, "a\xF0\x9F\x98\x80"},
      {u"abc", 1, -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.out) + " size " + std::to_string(c.size));
    char buf[16];
    memset(buf, 'X', sizeof buf);
    int16_t len = -1;
    EXPECT_EQ(wcs_to_utf8_buf(c.text.c_str(), buf, c.size, &len), c.rc);
    EXPECT_EQ(U8(buf), c.out);
    EXPECT_EQ(len, static_cast<int16_t>(c.out.size()));
    EXPECT_EQ(wcs_to_utf8(c.text.c_str(), buf, c.size - 1), static_cast<int64_t>(c.out.size()));
  }
  char untouched[2] = {'X', 'X'};
  EXPECT_EQ(wcs_to_utf8_buf(u"a", untouched, 0, nullptr), -1);
  EXPECT_EQ(untouched[0], 'X');
  EXPECT_EQ(wcs_to_utf8_buf(nullptr, untouched, 2, nullptr), -1);
}

TEST(Conv, WideBufferBoundaries) {
  struct Case {
    U8 text;
    int64_t size;
    int rc;
    U16 out;
  } const cases[] = {
      {"ab", 3, 0, u"ab"},
      {"ab", 2, -1, u"a"},
      {"a\xF0\x9F\x98\x80", 4, 0, u"a\U0001F600"},
      {"a\xF0\x9F\x98\x80", 3, -1, u"a"},  // never half a pair
      {"abc", 1, -1, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.text) + " size " + std::to_string(c.size));
    char16_t buf[8];
    int16_t len = -1;
    EXPECT_EQ(utf8_to_wcs_buf(c.text.c_str(), buf, c.size, &len), c.rc);
    EXPECT_EQ(U16(buf), c.out);
    EXPECT_EQ(len, static_cast<int16_t>(c.out.size()));

    int16_t full = -1;
    EXPECT_EQ(utf8_to_wcs_buf_len(c.text.c_str(), buf, c.size, &full), c.rc);
    EXPECT_EQ(U16(buf), c.out);
    EXPECT_EQ(full, utf8_char_count(c.text.c_str(), CONV_NTS));

    EXPECT_EQ(U16(utf8_to_wcs_copy(buf, c.text.c_str(), c.size)), c.out);

    uint16_t ulen = 0;
    const U16 wide = dup16(c.text.c_str());
    EXPECT_EQ(wcs_copy_buf(wide.c_str(), buf, c.size, &ulen), c.rc);
    EXPECT_EQ(U16(buf), c.out);
    EXPECT_EQ(ulen, c.out.size());
  }
  int16_t full = -1;
  char16_t keep[2] = {u'K', u'K'};
  EXPECT_EQ(utf8_to_wcs_buf_len("abc", nullptr, 0, &full), 0);
  EXPECT_EQ(full, 3);
  EXPECT_EQ(utf8_to_wcs_buf_len("abc", keep, 0, &full), -1);
  EXPECT_EQ(keep[0], u'K');
  EXPECT_EQ(utf8_to_wcs_buf_len(nullptr, keep, 2, &full), -1);
  uint16_t ufull = 0;
  EXPECT_EQ(wcs_copy_buf_len(u"abcd", nullptr, 0, &ufull), 0);
  EXPECT_EQ(ufull, 4);
}

TEST(Conv, OutLengthsSaturate) {
  U8 big(40000, 'a');
  int16_t full = 0;
  EXPECT_EQ(utf8_to_wcs_buf_len(big.c_str(), nullptr, 0, &full), 0);
  EXPECT_EQ(full, INT16_MAX);
}

TEST(Conv, AnsiIsUtf8AndSizedByItsRealLength) {
  // Buffer size and out length in bytes.
  struct Case {
    U8 text;
    int64_t sizeBytes;
    int rc;
    U16 out;
    int16_t lenBytes;
  } const cases[] = {
      {"abcd", 10, 0, u"abcd", 8},
      {"abcd", 7, -1, u"ab", 8},
      {"\xC3\xA9t\xC3\xA9", 8, 0, u"\u00E9t\u00E9", 6},
      {"\xF0\x9F\x98\x80", 6, 0, u"\U0001F600", 4},
      {"\xF0\x9F\x98\x80", 5, -1, u"", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(hex(c.text) + " size " + std::to_string(c.sizeBytes));
    char16_t buf[8];
    int16_t len = -1;
    EXPECT_EQ(ansi_to_wcs_buf(c.text.c_str(), buf, c.sizeBytes, &len), c.rc);
    EXPECT_EQ(U16(buf), c.out);
    EXPECT_EQ(len, c.lenBytes);
  }
  char16_t keep[2] = {u'K', u'K'};
  int16_t len = -1;
  EXPECT_EQ(ansi_to_wcs_buf("abcd", keep, 1, &len), -1);
  EXPECT_EQ(keep[0], u'K');
  EXPECT_EQ(ansi_to_wcs_buf("abcd", nullptr, 0, &len), 0);
  EXPECT_EQ(len, 8);
  EXPECT_EQ(ansi_to_wcs_buf(nullptr, keep, 4, &len), -1);

  char16_t* w = ansi_to_wcs_dup("\xC3\xA9\xF0\x9F\x98\x80zz", 6);
  EXPECT_EQ(U16(w), u"\u00E9\U0001F600");
  free(w);

  char out[8];
  EXPECT_STREQ(ansi_to_utf8_copy(out, "a\xC3\xA9\xE2\x82\xAC", 5), "a\xC3\xA9");
  EXPECT_STREQ(ansi_to_utf8_copy(out, "abc", 8), "abc");
  char* a = wcs_to_ansi_dup(u"\u00E9x", 1);
  EXPECT_STREQ(a, "\xC3\xA9");
  free(a);

  // The sized copies add no NUL when they cut.
  char16_t w4[4] = {u'K', u'K', u'K', u'K'};
  ansi_to_wcs_copy(w4, "abcdef", 3);
  EXPECT_EQ(U16(w4, 4), u"abcK");
  ansi_to_wcs_copy(w4, "x", 3);
  EXPECT_EQ(U16(w4, 2), U16(u"x\0", 2));
  char b4[4] = {'K', 'K', 'K', 'K'};
  wcs_to_ansi_copy(b4, u"\u00E9\u00E9", 3);
  EXPECT_EQ(U8(b4, 4), "\xC3\xA9KK");
}

TEST(Conv, UnsignedShortTwins) {
  const unsigned short text[] = {'a', 0xD83D, 0xDE00, 0};
  EXPECT_EQ(wcs_utf8_len_us(text, CONV_NTS), 5);
  char* s = wcs_to_utf8_dup_us(text);
  EXPECT_STREQ(s, "a\xF0\x9F\x98\x80");
  unsigned short* back = utf8_to_wcs_dup_us(s);
  EXPECT_EQ(memcmp(back, text, sizeof text), 0);
  unsigned short few[4];
  EXPECT_EQ(utf8_to_wcs_us(s, few, 4), 3);
  free(back);
  free(s);
}

// Runs of ASCII move in blocks; whatever interrupts a run, wherever, and wherever the
// length or the room ends, the result is the character-by-character one: the
// interrupting character is a block's first, middle or last, or past a block.
TEST(Conv, AsciiRunsAgreeWithCharacterByCharacter) {
  struct Other {
    U16 wide;
    U8 utf8;
  } const others[] = {{u"\u00E9", "\xC3\xA9"},
                      {u"\u0080", "\xC2\x80"},
                      {u"\U0001F600", "\xF0\x9F\x98\x80"},
                      {u"\xFFFF", "\xEF\xBF\xBF"}};
  for (const Other& o : others) {
    for (size_t len = 0; len <= 40; ++len) {
      for (size_t at = 0; at <= len; ++at) {  // at == len: no other character
        U16 wide;
        U8 utf8;
        std::vector<size_t> ends8, ends16;  // where each character ends
        for (size_t k = 0; k < len; ++k) {
          if (k == at) {
            wide += o.wide;
            utf8 += o.utf8;
          } else {
            wide += static_cast<char16_t>('a' + k % 26);
            utf8 += static_cast<char>('a' + k % 26);
          }
          ends8.push_back(utf8.size());
          ends16.push_back(wide.size());
        }
        SCOPED_TRACE(hex(utf8));
        const auto wn = static_cast<int64_t>(wide.size());
        const auto un = static_cast<int64_t>(utf8.size());
        EXPECT_EQ(wcs_utf8_len(wide.data(), wn), un);
        EXPECT_EQ(utf8_char_count(utf8.data(), un), wn);
        EXPECT_EQ(dup8(wide.data(), wn), utf8);
        char16_t* back = utf8n_to_wcs_dup(utf8.data(), un);
        EXPECT_EQ(U16(back, wide.size()), wide);
        free(back);
        // Every room: whole characters only, and what was consumed for them.
        for (int64_t room = 0; room <= un; ++room) {
          char out[64];
          int64_t used = -1;
          size_t chars = 0;
          while (chars < len && static_cast<int64_t>(ends8[chars]) <= room) ++chars;
          const int64_t bytes = chars ? static_cast<int64_t>(ends8[chars - 1]) : 0;
          ASSERT_EQ(wcsn_to_utf8(wide.data(), out, wn, room, &used), bytes) << room;
          EXPECT_EQ(used, chars ? static_cast<int64_t>(ends16[chars - 1]) : 0);
          EXPECT_EQ(U8(out, static_cast<size_t>(bytes)), utf8.substr(0, static_cast<size_t>(bytes)));
        }
        for (int64_t room = 0; room <= wn; ++room) {
          char16_t out[64];
          int64_t used = -1;
          size_t chars = 0;
          while (chars < len && static_cast<int64_t>(ends16[chars]) <= room) ++chars;
          const int64_t units = chars ? static_cast<int64_t>(ends16[chars - 1]) : 0;
          ASSERT_EQ(utf8n_to_wcs(utf8.data(), out, un, room, &used), units) << room;
          EXPECT_EQ(used, chars ? static_cast<int64_t>(ends8[chars - 1]) : 0);
          EXPECT_EQ(U16(out, static_cast<size_t>(units)), wide.substr(0, static_cast<size_t>(units)));
        }
      }
    }
  }
  // An invalid byte inside a run ends it like any other character.
  U8 bad(40, 'x');
  bad[21] = '\x80';
  char16_t* w = utf8n_to_wcs_dup(bad.data(), static_cast<int64_t>(bad.size()));
  EXPECT_EQ(w[20], u'x');
  EXPECT_EQ(w[21], u'\uFFFD');
  EXPECT_EQ(w[22], u'x');
  free(w);
}

}  // namespace
