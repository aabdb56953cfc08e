#include "util/casemap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CaseTables, CountsOrderAndTellingRows) {
  ASSERT_EQ(sizeof CaseUpperTable / sizeof CaseUpperTable[0], 759u);
  ASSERT_EQ(sizeof CaseLowerTable / sizeof CaseLowerTable[0], 749u);
  EXPECT_EQ(CaseUpperTable[0], 0x80800061u);
  EXPECT_EQ(CaseLowerTable[0], 0x00800041u);
  for (auto [table, count] :
       {std::pair{CaseUpperTable, CASE_UPPER_COUNT}, {CaseLowerTable, CASE_LOWER_COUNT}}) {
    for (int i = 1; i < count; ++i) {
      ASSERT_LT(table[i - 1] & 0x3FFFF, table[i] & 0x3FFFF) << i;
    }
    // Both end with the 38 Deseret letters.
    EXPECT_GE(table[count - 38] & 0x3FFFF, 0x10400u);
    EXPECT_LT(table[count - 39] & 0x3FFFF, 0x10400u);
  }
}

TEST(CaseTables, MappingsOfTheRepertoire) {
  struct Case {
    int32_t ch, upper, lower;
  } const cases[] = {
      {0x0061, 0x0041, 0x0061},
      {0x0041, 0x0041, 0x0061},
      {0x00B5, 0x039C, 0x00B5},
      {0x00FF, 0x0178, 0x00FF},
      {0x1FBE, 0x0399, 0x1FBE},
      {0x2126, 0x2126, 0x03C9},
      {0x212A, 0x212A, 0x006B},
      {0x212B, 0x212B, 0x00E5},
      {0x03F2, 0x03A3, 0x03F2},
      {0x03F8, 0x03F8, 0x03F8},
      {0x0501, 0x0500, 0x0501},
      {0x01C5, 0x01C4, 0x01C6},
      {0x0130, 0x0130, 0x0069},
      {0x0131, 0x0049, 0x0131},
      {0x00DF, 0x00DF, 0x00DF},
      {0x10428, 0x10400, 0x10428},
      {0x10400, 0x10400, 0x10428},
      {0x10426, 0x10426, 0x10426},
      {0x10D0, 0x10D0, 0x10D0},
      {0x13A0, 0x13A0, 0x13A0},
      {0, 0, 0},
      {-5, -5, -5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ch);
    EXPECT_EQ(wchar_upper(c.ch), c.upper);
    EXPECT_EQ(wchar_lower(c.ch), c.lower);
  }
  EXPECT_EQ(case_delta(CaseUpperTable, CASE_UPPER_COUNT, 0x00B5), 743);
  EXPECT_EQ(case_delta(CaseUpperTable, CASE_UPPER_COUNT, 0x1FBE), -7205);
  EXPECT_EQ(case_delta(CaseLowerTable, CASE_LOWER_COUNT, 0x2126), -7517);
  EXPECT_EQ(case_delta(CaseLowerTable, CASE_LOWER_COUNT, 0x212A), -8383);
  EXPECT_EQ(case_delta(CaseLowerTable, CASE_LOWER_COUNT, 0x212B), -8262);
}

TEST(CaseText, UpperAndLowerInPlace) {
  struct Case {
    std::string in;
    int64_t size;  // 0: strlen + 1
    bool upper;
    std::string out;
  } const cases[] = {
      {"a\xC3\x9F"
       "b",
       0, true,
       "A\xC3\x9F"
       "B"},                                              // ß has no one-to-one upper case
      {"\xE2\x84\xAA", 0, false, "k"},                    // KELVIN SIGN
      {"\xC4\xB1x", 0, true, "IX"},                       // dotless i shrinks
      {"\xF0\x90\x90\xA8", 0, true, "\xF0\x90\x90\x80"},  // Deseret, beyond the BMP
      {"\xED\xA0\xBD\xED\xB8\x80z", 0, true, "\xED\xA0\xBD\xED\xB8\x80Z"},
      {"a\x80\xC3(b", 0, true, "A\x80\xC3(B"},    // invalid bytes kept as they are
      {"\xC3\xA9\xC3\xA9", 4, true, "\xC3\x89"},  // cut at a whole character
      {"abc", 1, true, ""},
      {"abc", 0x7FFFFFFF, false, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in + " size " + std::to_string(c.size));
    char buf[32];
    memcpy(buf, c.in.c_str(), c.in.size() + 1);
    int64_t size = c.size != 0 ? c.size : static_cast<int64_t>(c.in.size()) + 1;
    char* got = c.upper ? utf8_upper(buf, size) : utf8_lower(buf, size);
    EXPECT_EQ(got, buf);
    EXPECT_EQ(std::string(buf), c.out);
  }
}

TEST(CaseText, SizeZeroLeavesTheTextAlone) {
  char buf[] = "abc";
  utf8_upper(buf, 0);
  EXPECT_STREQ(buf, "abc");
  utf8_lower(buf, -3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(utf8_upper(nullptr, 4), nullptr);
}

}  // namespace
