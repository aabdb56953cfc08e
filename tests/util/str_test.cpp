#include "util/str.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
using Owned = std::unique_ptr<char, FreeDeleter>;

std::string show(const char* p) { return p != nullptr ? std::string(p) : std::string("(null)"); }

TEST(Str, SkipKeyword) {
  struct Case {
    const char* keyword;
    const char* text;
    int exact;
    int offset;  // -1: null answer
  } const cases[] = {
      {"SELECT", "  select  x", 0, 10}, {"SELECT", "SELECT", 0, 6},
      {"SELECT", "SELECT \t\n", 0, 9},  {"SELECT", "SELECTED x", 0, -1},
      {"SELECT", "SELECT(", 0, -1},     {"SELECT", "SELEC", 0, -1},
      {"SELECT", "select x", 1, -1},    {"SELECT", "SELECT x", 1, 7},
      {"FROM", "\xc4\xb1 FROM", 0, -1},  // no folding beyond ASCII
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.keyword) + " in [" + c.text + "] exact " + std::to_string(c.exact));
    std::string text = c.text;
    char* got = skip_keyword_ex(c.keyword, text.data(), c.exact);
    if (c.offset < 0) {
      EXPECT_EQ(got, nullptr);
    } else {
      EXPECT_EQ(got, text.data() + c.offset);
    }
  }
  std::string t = " select x";
  EXPECT_EQ(skip_keyword("SELECT", t.data()), t.data() + 8);
  EXPECT_EQ(skip_keyword_exact("SELECT", t.data()), nullptr);
}

TEST(Str, StristrAndAsciiFolding) {
  std::string sql = "select a from t";
  EXPECT_EQ(stristr(sql.data(), "FROM"), sql.data() + 9);
  EXPECT_EQ(stristr(sql.data(), "T"), sql.data() + 5);
  std::string shorter = "ab";
  EXPECT_EQ(stristr(shorter.data(), "abc"), nullptr);
  // Folding stays ASCII whatever locale the application chose.
  setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(str_toupper('i'), 'I');
  EXPECT_EQ(str_toupper(0xE9), 0xE9);
  EXPECT_EQ(str_tolower('Q'), 'q');
  EXPECT_EQ(str_icmp("Cursor", "CURSOR"), 0);
  EXPECT_LT(str_icmp("abc", "ABD"), 0);
  EXPECT_EQ(str_nicmp("abcX", "ABCy", 3), 0);
  setlocale(LC_ALL, "C");
}

TEST(Str, RtrimAndSkipSpace) {
  struct Case {
    const char* in;
    const char* out;
    int last;  // -1: null answer
  } const cases[] = {
      {"abc  \t", "abc", 2}, {"   ", "", -1}, {"", "", -1}, {"a b\r\n\v\f", "a b", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string s = c.in;
    char* got = rtrim(s.data());
    EXPECT_STREQ(s.c_str(), c.out);
    EXPECT_EQ(got, c.last < 0 ? nullptr : s.data() + c.last);
  }
  EXPECT_EQ(rtrim(nullptr), nullptr);
  std::string s = " \t x";
  EXPECT_EQ(skip_space(s.data()), s.data() + 3);
}

TEST(Str, ListIndex) {
  struct Case {
    const char* list;
    const char* name;
    int position;
  } const cases[] = {
      {"'TABLE', 'VIEW'", "'VIEW'", 2},
      {"'TABLE' ,'VIEW'", "'TABLE'", 0},
      {"'TABLE','VIEW'", "'TABLE'", 1},
      {"TABLES,TABLE", "TABLE", 2},
      {"a,b", "B", 0},
      {nullptr, "a", 0},
      {"a", nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(show(c.list) + " / " + show(c.name));
    EXPECT_EQ(list_index(c.list, c.name), c.position);
  }
}

TEST(Str, CopiesHonourTheLength) {
  struct Case {
    const char* text;
    int64_t length;
    const char* plain;     // strdup_len, null: no copy
    const char* unquoted;  // strdup_unquoted
  } const cases[] = {
      {"\"abc\"", STR_NTS, "\"abc\"", "abc"},
      {"'", STR_NTS, "'", "'"},
      {"'abc\"", STR_NTS, "'abc\"", "'abc\""},
      {"'ab'cd", 4, "'ab'", "ab"},
      {"abcdef", 3, "abc", "abc"},
      {nullptr, STR_NTS, "", ""},
      {nullptr, 5, "", ""},
      {"abc", -1, nullptr, nullptr},
      {"abc", -4, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(show(c.text) + " length " + std::to_string(c.length));
    char* out = reinterpret_cast<char*>(1);
    EXPECT_EQ(strdup_len(&out, c.text, c.length), 0);
    EXPECT_EQ(show(out), show(c.plain));
    free(out);
    EXPECT_EQ(strdup_unquoted(&out, c.text, c.length), 0);
    EXPECT_EQ(show(out), show(c.unquoted));
    free(out);
  }
  char* out = nullptr;
  strdup_len(&out, "a\0b", 3);  // the bytes are copied whatever they are
  EXPECT_EQ(std::string(out, 4), std::string("a\0b\0", 4));
  free(out);
}

// Trailing NULs pad a counted text; a NUL followed by more text would cut it.
TEST(Str, SettledLengthDropsPaddingAndRefusesAnInnerNul) {
  struct Case {
    const char* text;
    int64_t length;
    bool accepted;
    int64_t settled;
  } const cases[] = {
      {"abc", 3, true, 3},          {"abc\0\0", 5, true, 3},
      {"ab\0c", 4, false, 4},       {"\0\0x", 3, false, 3},
      {"\0\0", 2, true, 0},         {"abc", STR_NTS, true, STR_NTS},
      {"ab\0c", 2, true, 2},        {nullptr, 5, true, 5},
      {"abc", -1, true, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(show(c.text) + " length " + std::to_string(c.length));
    int64_t n = c.length;
    EXPECT_EQ(str_settle_length(c.text, &n), c.accepted);
    EXPECT_EQ(n, c.settled);
  }
}

TEST(Str, QuoteAndUnquote) {
  struct Case {
    const char* text;
    int64_t length;
    int quote;
    const char* quoted;
  } const cases[] = {
      {"name", STR_NTS, '"', "\"name\""}, {nullptr, STR_NTS, '\'', "''"},
      {"it's", STR_NTS, '\'', "'it''s'"}, {"a\"b\"", STR_NTS, '"', "\"a\"\"b\"\"\""},
      {"abcdef", 2, '"', "\"ab\""},       {"plain", STR_NTS, ' ', "plain"},
      {"plain", 3, ' ', "pla"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(show(c.text));
    Owned q(str_quote(c.text, c.length, c.quote));
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q.get(), c.quoted);
    if (c.quote != ' ') {
      Owned back(str_unquote(q.get(), STR_NTS, c.quote));
      std::string original = c.text == nullptr ? "" : std::string(c.text);
      if (c.length >= 0) original.resize(static_cast<size_t>(c.length));
      EXPECT_EQ(show(back.get()), original);
    }
  }
  EXPECT_EQ(str_quote("x", -2, '"'), nullptr);
  EXPECT_EQ(str_unquote("x", -2, '"'), nullptr);

  struct Unq {
    const char* text;
    int64_t length;
    int quote;
    const char* out;
  } const unq[] = {
      {"'a'", STR_NTS, '\'', "a"},  {"'a'", STR_NTS, ' ', "'a'"}, {"'a'", STR_NTS, '"', "'a'"},
      {"'", STR_NTS, '\'', "'"},    {"'a'bc", 3, '\'', "a"},      {"'a'bc", 4, '\'', "'a'b"},
      {nullptr, STR_NTS, '\'', ""},
  };
  for (const auto& c : unq) {
    SCOPED_TRACE(show(c.text) + " " + std::to_string(c.length));
    Owned out(str_unquote(c.text, c.length, c.quote));
    EXPECT_EQ(show(out.get()), c.out);
  }
}

TEST(Str, QuotingLongTextsKeepsEveryByte) {
  // Lengths past 16 bits must neither wrap nor stop the quotes being seen.
  std::string name(70000, 'n');
  name[40000] = '"';
  Owned q(str_quote(name.c_str(), STR_NTS, '"'));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(strlen(q.get()), name.size() + 3);
  Owned back(str_unquote(q.get(), STR_NTS, '"'));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::string(back.get()), name);
  Owned explicitLen(str_unquote(q.get(), static_cast<int64_t>(strlen(q.get())), '"'));
  EXPECT_EQ(std::string(explicitLen.get()), name);
}

TEST(Str, SetFileExt) {
  struct Case {
    const char* path;
    int mode;
    const char* out;
  } const cases[] = {
      {"/etc/my.dir/init", 2, "/etc/my.dir/init.sql"},
      {"c:\\my.dir\\init", 2, "c:\\my.dir\\init.sql"},
      {"/x/init.txt", 2, "/x/init.txt"},
      {"/x/init.txt", 1, "/x/init.sql"},
      {"/x/init.txt", 0, "/x/init"},
      {"/x/init", 1, "/x/init.sql"},
      {"/x/.profile", 2, "/x/.profile.sql"},
      {"/x/.profile", 0, "/x/.profile"},
      {"a.b.c", 1, "a.b.sql"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " mode " + std::to_string(c.mode));
    EXPECT_EQ(show(set_file_ext(c.path, "sql", c.mode)), c.out);
  }
  std::string tooLong(PATH_MAX - 2, 'p');
  EXPECT_EQ(set_file_ext(tooLong.c_str(), "sql", 2), nullptr);
  EXPECT_EQ(show(set_file_ext(tooLong.c_str(), "sql", 0)), tooLong);
}

TEST(Str, ProgramNameIsTheUpperCaseBaseName) {
  // The test executable is test_util.
  EXPECT_STREQ(get_program_name(), "TEST_UTIL");
  EXPECT_EQ(get_program_name(), get_program_name());
}

}  // namespace
