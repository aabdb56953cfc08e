// Tests of the statement scanner: token streams with their texts, the
// conditions a statement's first word selects, escapes and their nesting,
// the echo buffer, and the scan errors that end an analysis.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scr_gram.h"
#include "scrs/scr_parse.h"

namespace {

// A token stream written compactly: a value token as "CODE:text", a plain
// keyword as its code name, a character token as the character.
std::string Name(int code) {
  switch (code) {
    case TK_IDENT: return "ID";
    case TK_STRING: return "STR";
    case TK_INTNUM: return "INT";
    case TK_DECNUM: return "DEC";
    case TK_APPROXNUM: return "APPROX";
    case TK_COMPARISON: return "CMP";
    case TK_SETFUNC: return "SETFUNC";
    case TK_LIKE_ESCAPE: return "LIKEESC";
    case TK_DATE_LIT: return "DATE";
    case TK_TIME_LIT: return "TIME";
    case TK_TIMESTAMP_LIT: return "TS";
    case TK_HEXNUM: return "HEX";
    case TK_OJ_COMPARISON: return "OJCMP";
    case TK_CONCAT: return "||";
    case TK_SELECT: return "SELECT";
    case TK_FROM: return "FROM";
    case TK_WHERE: return "WHERE";
    case TK_LEFT: return "LEFT";
    case TK_FULL: return "FULL";
    case TK_OUTER: return "OUTER";
    case TK_JOIN: return "JOIN";
    case TK_ORDER: return "ORDER";
    case TK_BY: return "BY";
    case TK_FN: return "FN";
    case TK_ESC_OPEN: return "{";
    case TK_ESC_CLOSE: return "}";
    case TK_VENDOR_OPEN: return "VOPEN";
    case TK_VENDOR_CLOSE: return "VCLOSE";
    case TK_ESCAPE_STMT: return "ESCSTMT";
    case TK_OTHER_STMT: return "OTHER";
    case TK_PARAM: return "?";
    case TK_AND: return "AND";
    case TK_LIKE: return "LIKE";
    case TK_UNIQUE: return "UNIQUE";
    default:
      if (code < 256) return std::string(1, static_cast<char>(code));
      return "#" + std::to_string(code);
  }
}

std::string Scan(const char* text, std::string* echo = nullptr, std::string* error = nullptr) {
  std::vector<ScanToken> toks;
  std::string err;
  const int rc = ScrScanAll(text, &toks, echo, &err);
  if (error != nullptr) *error = rc == 0 ? "" : err;
  std::string out;
  for (const ScanToken& t : toks) {
    if (!out.empty()) out += ' ';
    out += Name(t.code);
    if (!t.text.empty()) out += ":" + t.text;
  }
  return out;
}

TEST(ScanTest, TokenStreams) {
  struct Case {
    const char* in;
    const char* tokens;
  };
  const Case cases[] = {
      {"SELECT a FROM t", "SELECT ID:a FROM ID:t"},
      {"   select x", "SELECT ID:x"},
      {"SELECT selected FROM t", "SELECT ID:selected FROM ID:t"},
      {"SELECT a FROM t LEFT OUTER JOIN u", "SELECT ID:a FROM ID:t LEFT OUTER JOIN ID:u"},
      {"SELECT LEFT x", "SELECT ID:LEFT ID:x"},
      {"SELECT a FROM t FULL JOINED", "SELECT ID:a FROM ID:t FULL ID:JOINED"},
      {"SELECT a ORDER BY a", "SELECT ID:a ORDER BY ID:a"},
      {"SELECT a ORDER\tBY a", "SELECT ID:a ID:ORDER BY ID:a"},
      {"SELECT {fn UCASE(a)} FROM t", "SELECT { FN ID:UCASE ( ID:a ) } FROM ID:t"},
      {"SELECT {d '2001-01-31'}", "SELECT { DATE:d '2001-01-31' }"},
      {"SELECT {d '2001-1-31'}", "SELECT { ID:d STR:'2001-1-31' }"},
      {"SELECT {ts '2001-01-31 10:11:12.5'}", "SELECT { TS:ts '2001-01-31 10:11:12.5' }"},
      {"SELECT --(* vendor(Microsoft), product(ODBC) fn f() *)-- x",
       "SELECT VOPEN FN ID:f ( ) VCLOSE ID:x"},
      {"{call p(?)}", "ESCSTMT"},
      {"create table x (a int)", "OTHER"},
      {"x1", "OTHER"},
      {"SELECT a *= b", "SELECT ID:a OJCMP:*= ID:b"},
      {"SELECT a != b", "SELECT ID:a CMP:!= ID:b"},
      {"SELECT 'it''s'", "SELECT STR:'it''s'"},
      {"SELECT 1. .5 1e5 1.5E-3 0x1F 0x",
       "SELECT DEC:1. DEC:.5 APPROX:1e5 APPROX:1.5E-3 HEX:0x1F INT:0 ID:x"},
      {"SELECT a || b", "SELECT ID:a || ID:b"},
      {"SELECT Name, NAME, 'ab', 'AB'", "SELECT ID:Name , ID:NAME , STR:'ab' , STR:'AB'"},
      {"SELECT \"a b!c\" FROM t", "SELECT ID:\"a b!c\" FROM ID:t"},
      {"SELECT \"a.\"\"b\"\"\" FROM \"\"\"t\"", "SELECT ID:\"a.\"\"b\"\"\" FROM ID:\"\"\"t\""},
      {"SELECT `my col` FROM t", "SELECT ID:`my col` FROM ID:t"},
      {"SELECT * FROM t@s", "SELECT * FROM ID:t @ ID:s"},
      {"SELECT * FROM d@s:t", "SELECT * FROM ID:d @ ID:s : ID:t"},
      {"SELECT * FROM db @ server", "SELECT * FROM ID:db @ ID:server"},
      {"SELECT name@12, @var", "SELECT ID:name@12 , ID:@var"},
      {"SELECT a-b, a--b", "SELECT ID:a-b , ID:a"},
      {"SELECT a - -b -- comment\n, c", "SELECT ID:a - - ID:b , ID:c"},
      {"SELECT a FROM t WHERE b LIKE 'x%' ESCAPE '\\'",
       "SELECT ID:a FROM ID:t WHERE ID:b LIKE STR:'x%' LIKEESC:ESCAPE '\\'"},
      {"SELECT COUNT(*) FROM t WHERE a = ? AND UNIQUE",
       "SELECT SETFUNC:COUNT ( * ) FROM ID:t WHERE ID:a CMP:= ? AND UNIQUE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    std::string error;
    EXPECT_EQ(Scan(c.in, nullptr, &error), c.tokens);
    EXPECT_EQ(error, "");
  }
}

// Inside an escape only its own words are keywords; the escape's closing
// bracket returns to the statement body, and nested escapes close in order.
TEST(ScanTest, EscapeConditions) {
  EXPECT_EQ(Scan("SELECT {fn f(a AND b)} AND c"), "SELECT { FN ID:f ( ID:a ID:AND ID:b ) } AND ID:c");
  EXPECT_EQ(Scan("SELECT {fn f({fn g(x)})} AND c"),
            "SELECT { FN ID:f ( { FN ID:g ( ID:x ) } ) } AND ID:c");
  // Closers outside an escape are no closers.
  std::string error;
  EXPECT_EQ(Scan("SELECT a *)-- b", nullptr, &error), "SELECT ID:a * )");
  EXPECT_EQ(error, "");
  EXPECT_EQ(Scan("SELECT a } b", nullptr, &error), "SELECT ID:a");
  EXPECT_EQ(error, "Invalid character.");
}

// The echo holds the text since the last statement keyword, each run of
// white space as one blank and indentation not at all.
TEST(ScanTest, EchoBuffer) {
  std::string echo;
  Scan("SELECT a,\n    b\t\tFROM   t", &echo);
  EXPECT_EQ(echo, "SELECT a, b FROM t");
  Scan("SELECT a FROM t WHERE x IN (SELECT y FROM u)", &echo);
  EXPECT_EQ(echo, "SELECT y FROM u)");
}

// A character no rule claims, and a literal left open, end the scan with an
// error rather than vanishing or swallowing the rest of the statement.
TEST(ScanTest, ScanErrors) {
  struct Case {
    const char* in;
    const char* tokens;  // before the error
    const char* message;
  };
  const Case cases[] = {
      {"SELECT a FROM t WHERE x = 'abc\nOR 1 = 1", "SELECT ID:a FROM ID:t WHERE ID:x CMP:=",
       "Unterminated string literal."},
      {"SELECT a FROM t WHERE x = 'abc", "SELECT ID:a FROM ID:t WHERE ID:x CMP:=",
       "Unterminated string literal."},
      {"SELECT a FROM t WHERE x = 'ab''", "SELECT ID:a FROM ID:t WHERE ID:x CMP:=",
       "Unterminated string literal."},
      {"SELECT a ! b", "SELECT ID:a", "Invalid character."},
      {"SELECT a | b", "SELECT ID:a", "Invalid character."},
      {"SELECT a[1]", "SELECT ID:a", "Invalid character."},
      {"SELECT \"\" FROM t", "SELECT", "Invalid character."},
      {"SELECT \"a\nb\" FROM t", "SELECT", "Invalid character."},
      {"SELECT a % b", "SELECT ID:a", "Invalid character."},
      {"SELECT a \x01", "SELECT ID:a", "Invalid character."},
      {"SELECT a \xff", "SELECT ID:a", "Invalid character."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    std::string error;
    EXPECT_EQ(Scan(c.in, nullptr, &error), c.tokens);
    EXPECT_EQ(error, c.message);
  }
}

}  // namespace
