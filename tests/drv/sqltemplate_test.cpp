#include "drv/sqltemplate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string compile(std::string_view notation) {
  std::string out(notation.size() + 1, '\0');
  const size_t n = TemplateFromNotation(notation, out.data());
  EXPECT_NE(n, kTemplateBad) << notation;
  out.resize(n == kTemplateBad ? 0 : n);
  return out;
}

// Expands raw template bytes with writable copies of the arguments (a null
// entry stays null); the arguments as the expansion left them come back in args.
std::string expand(const std::string& templ, std::vector<const char*> in,
                   std::vector<std::string>* after = nullptr) {
  std::vector<std::string> copies;
  std::vector<char*> args;
  for (const char* a : in) copies.emplace_back(a != nullptr ? a : "");
  for (size_t i = 0; i < in.size(); ++i)
    args.push_back(in[i] != nullptr ? copies[i].data() : nullptr);
  MemPool pool;
  mpl_init(&pool);
  EXPECT_EQ(ExpandTemplate(&pool, templ.c_str(), args.data(), static_cast<uint32_t>(args.size())),
            0);
  const size_t size = mpl_object_size(&pool);
  const char* text = static_cast<const char*>(mpl_finish(&pool));
  // Exactly one NUL ends the expansion.
  EXPECT_EQ(std::strlen(text) + 1, size);
  std::string result(text);
  mpl_destroy(&pool);
  if (after != nullptr) {
    after->clear();
    for (size_t i = 0; i < args.size(); ++i) after->emplace_back(args[i] != nullptr ? args[i] : "");
  }
  return result;
}

// The owner comparison of the catalog templates, as one UNION member.
constexpr std::string_view kOwner =
    "{IF 1 NOTEMPTY 2}{IF 2 WILD 2}T.OWNER LIKE '{ARG 2}' AND {ELSE 2}T.OWNER = '{ARG 2}' AND "
    "{ENDIF 2}{ENDIF 1}";

TEST(SqlTemplate, ExpandsMarkersAndSections) {
  struct Case {
    std::string_view notation;
    std::vector<const char*> args;
    std::string_view out;
  };
  const Case cases[] = {
      {"select 1 from t", {}, "select 1 from t"},
      {"a{ARG 1}b{ARG 2}c", {"X", "Y"}, "aXbYc"},
      {"a{ARG 3}b", {"X", "Y"}, "aNULLb"},
      {"a{ARG 1}b", {nullptr}, "ab"},
      // An argument is inserted as it stands, never read for markers or braces.
      {"{ARG 1}", {"\xFF\x01\x01{ARG 1}"}, "\xFF\x01\x01{ARG 1}"},
      // A false section without an else drops everything to its end, nested sections too.
      {"<{IF 1 NOTEMPTY 1}in{IF 2 EMPTY 2}deep{ELSE 2}other{ENDIF 2}{ENDIF 1}>", {"", ""}, "<>"},
      {"<{IF 1 NOTEMPTY 1}in{IF 2 EMPTY 2}deep{ELSE 2}other{ENDIF 2}!{ENDIF 1}>",
       {"x", "y"},
       "<inother!>"},
      // Exactly one branch of a chain is kept.
      {"{IF 1 EMPTY 1}A{ELIF 1 WILD 2}B{ELSE 1}C{ENDIF 1}", {"", "a%"}, "A"},
      {"{IF 1 EMPTY 1}A{ELIF 1 WILD 2}B{ELSE 1}C{ENDIF 1}", {"x", "a%"}, "B"},
      {"{IF 1 EMPTY 1}A{ELIF 1 WILD 2}B{ELSE 1}C{ENDIF 1}", {"x", "ab"}, "C"},
      {"{IF 1 EMPTY 1}A{ELIF 1 NOWILD 2}B{ELIF 1 NOTEMPTY 2}D{ENDIF 1}.", {"x", "a_"}, "D."},
      // Conditions on an argument outside the vector test the empty text.
      {"{IF 1 EMPTY 9}e{ENDIF 1}{IF 1 WILD 9}w{ENDIF 1}", {}, "e"},
      // A skipped branch passes over the markers of other sections.
      {"{IF 3 NOTEMPTY 1}{IF 4 EMPTY 1}{ARG 1}{ENDIF 4}x{ELSE 3}y{ENDIF 3}z", {""}, "yz"},
      // The catalog comparison, argument by argument.
      {kOwner, {"", nullptr}, ""},
      {kOwner, {"", "   "}, ""},
      {kOwner, {"", "%"}, ""},
      {kOwner, {"", "a_b"}, "T.OWNER LIKE 'a_b' AND "},
      {kOwner, {"", "a\\_b%"}, "T.OWNER LIKE 'a\\_b%' AND "},
      {kOwner, {"", "AB\\_C"}, "T.OWNER = 'AB_C' AND "},
      {kOwner, {"", "informix"}, "T.OWNER = 'informix' AND "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.notation);
    EXPECT_EQ(expand(compile(c.notation), c.args), c.out);
  }
}

TEST(SqlTemplate, MalformedTemplatesEndAtTheirTerminator) {
  struct Case {
    std::string bytes;
    std::string_view out;
  };
  const Case cases[] = {
      {"a\xFF\x07"
       "b\xFF\xFF"
       "c",
       "abc"},                                        // unknown codes produce nothing
      {"a\xFF", "a"},                                 // a marker byte last
      {"a\xFF\x01", "aNULL"},                         // argument 0 is the terminator itself
      {"a\xFF\x02\x01\x02", "a"},                     // a section marker cut short
      {"a\xFF\x02\x01\x02\x01x", "a"},                // a false section that never ends
      {"a\xFF\x02\x01\x01\x01x\xFF\x04", "ax"},       // a taken branch, its else cut short
      {"a\xFF\x02\x01\x01\x01x\xFF\x04\x01y", "ax"},  // a taken branch without an end marker
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(expand(c.bytes, {""}), c.out);
  }
}

TEST(SqlTemplate, ArgumentTests) {
  struct EmptyCase {
    const char* text;
    int empty;
  };
  const EmptyCase empties[] = {{nullptr, 1}, {"", 1},   {"   ", 1}, {"%", 1},
                               {"%%", 0},    {" %", 0}, {"\t", 0},  {"a", 0}};
  for (const EmptyCase& c : empties) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
    EXPECT_EQ(TemplateArgEmpty(c.text), c.empty);
  }

  struct WildCase {
    const char* text;
    int wild;
    const char* after;
  };
  const WildCase wilds[] = {
      {"abc", 0, "abc"},         {"a%", 1, "a%"}, {"_", 1, "_"},
      {"a\\_b%", 1, "a\\_b%"},    // one escaped, one not: unchanged
      {"a\\_b\\%", 0, "a_b%"},    // only escaped ones: their escapes go
      {"a\\b\\_c", 0, "a\\b_c"},  // a backslash before another character stays
      {"a\\\\_", 0, "a\\_"},      // the backslash right before counts, whatever precedes it
      {"\\x", 0, "\\x"},
  };
  for (const WildCase& c : wilds) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    EXPECT_EQ(TemplateArgHasWildcard(text.data()), c.wild);
    EXPECT_STREQ(text.c_str(), c.after);
  }
  EXPECT_EQ(TemplateArgHasWildcard(nullptr), 0);
}

// The wildcard test rewrites its argument: a text of only escaped wildcards is an
// exact name for the first test and a pattern for every later one, the unescaped
// text included. Callers that test one argument twice rely on deciding it once.
TEST(SqlTemplate, SecondTestOfAnUnescapedArgumentSeesAPattern) {
  const std::string member(kOwner);
  std::vector<std::string> after;
  EXPECT_EQ(expand(compile(member + "UNION " + member), {"", "AB\\_C"}, &after),
            "T.OWNER = 'AB_C' AND UNION T.OWNER LIKE 'AB_C' AND ");
  EXPECT_EQ(after[1], "AB_C");
  // An untaken else-if is never tested, so its argument stays as it was.
  EXPECT_EQ(expand(compile("{IF 1 NOTEMPTY 1}x{ELIF 1 WILD 2}y{ENDIF 1}"), {"a", "q\\_"}, &after),
            "x");
  EXPECT_EQ(after[1], "q\\_");
}

TEST(SqlTemplate, Notation) {
  constexpr auto literal = TemplateLiteral("a{IF 2 NOWILD 12}{ARG 255}{ELSE 2}{ENDIF 2}");
  EXPECT_EQ(std::string(literal.data()),
            std::string("a\xFF\x02\x02\x04\x0C\xFF\x01\xFF\xFF\x04\x02\xFF\x05\x02"));
  for (std::string_view bad : {"{ARG}", "{ARG 0}", "{ARG 256}", "{IF 1 FULL 2}", "{ELSE 1 }",
                               "{ENDIF x}", "{IF 1 EMPTY 2", "{WHILE 1}"}) {
    SCOPED_TRACE(bad);
    std::string out(bad.size() + 1, '\0');
    EXPECT_EQ(TemplateFromNotation(bad, out.data()), kTemplateBad);
  }
}

}  // namespace
