// Pure pieces of the agent: error mapping, option negotiation, the ORDER BY and
// BYTE/TEXT literal rewrites, hexadecimal literals and fixed-point text.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "drv/errtab.h"
#include "drv_inf/inf_blob.h"
#include "drv_inf/inf_cursor.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_exec.h"
#include "drv_inf/inf_ops.h"

namespace {

TEST(InfCodeToDrvCode, MapsListedCodesAndTheLowHalfForSqlState) {
  struct Case {
    int32_t code;
    int32_t dflt;
    int32_t drv;
    const char* state;  // of an error entry, chosen by the code's low 16 bits
  };
  const Case cases[] = {
      {0, ERR_GENERAL, 0, "S1000"},
      {-908, ERR_GENERAL, ERR_CONNECT, "08001"},
      {-25588, ERR_GENERAL, ERR_CONNECT, "08001"},
      {-25580, ERR_GENERAL, ERR_COMM_LINK, "08S01"},
      {-1262, ERR_SYNTAX, ERR_DATE_OVERFLOW, "22008"},
      {-217, ERR_GENERAL, ERR_COLUMN_NOT_FOUND, "42S22"},
      {-206, ERR_GENERAL, ERR_TABLE_NOT_FOUND, "42S02"},
      {-201, ERR_GENERAL, ERR_SYNTAX, "37000"},
      {-100, ERR_SYNTAX, ERR_SYNTAX, "S1000"},
      {-65742, ERR_GENERAL, ERR_GENERAL, "42S02"},  // low half reads -206
      {-40000, ERR_GENERAL, ERR_GENERAL, "S1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(InfCodeToDrvCode(c.code, c.dflt), c.drv);
    if (c.code == 0) continue;
    InfError* e = InfErrorNew(c.code);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->sqlstate, c.state);
    EXPECT_EQ(e->native, c.code);
    std::string suffix = " (" + std::to_string(c.code) + ")";
    std::string_view text(e->text);
    EXPECT_TRUE(text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix)
        << text;
    delete e;
  }
}

TEST(ErrorList, KeepsOnlyTheLatestFailure) {
  InfErrorList list;
  ErrListSetCode(&list, ERR_TXN_STATE);
  ErrListAddInformix(&list, -206);
  ASSERT_NE(list.head, nullptr);
  EXPECT_EQ(list.head->native, -206);
  EXPECT_EQ(list.head->next, nullptr);
  ErrListSetCode(&list, 999);
  EXPECT_STREQ(list.head->sqlstate, "S1000");
  EXPECT_EQ(list.head->native, 0);
  ErrListClear(&list);
  EXPECT_EQ(list.head, nullptr);
}

TEST(NegotiateOption, WalksTheFallbacks) {
  struct Case {
    int32_t option;
    uint32_t supported;
    int32_t asked;
    int32_t rc;
    int32_t got;
  };
  const Case cases[] = {
      {7, 9, 2, ERR_OPTION_CHANGED, 4},  // lock becomes values, passing row versions
      {7, 9, 3, ERR_OPTION_CHANGED, 4},  {7, 9, 1, 0, 1},  {7, 9, 4, 0, 4},
      {7, 1, 2, ERR_NOT_CAPABLE, 2},      // 2, 3, 4, 3 and the end
      {6, 17, 2, ERR_OPTION_CHANGED, 3},  // dynamic becomes static
      {6, 17, 1, ERR_OPTION_CHANGED, 3}, {6, 31, 2, 0, 2}, {6, 17, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.option << "/" << c.supported << "/" << c.asked);
    int32_t v = c.asked;
    EXPECT_EQ(NegotiateOptionMask(c.option, c.supported, &v), c.rc);
    EXPECT_EQ(v, c.got);
  }
}

TEST(RewriteOrderBy, AddsTheMissingColumnWithItsQualifier) {
  struct Case {
    int delim;
    const char* in;
    const char* column;
    const char* out;  // nullptr: no rewrite
  };
  const Case cases[] = {
      {0, "select a from t order by t.c", "c", "select a, t.c from t order by t.c"},
      {1, "select a from t order by t.c", "c", "select a, t.\"c\" from t order by t.c"},
      {0, "select a from x y, z order by c", "c", "select a, y.c from x y, z order by c"},
      {0, "select a from x AS y order by c", "c", "select a, y.c from x AS y order by c"},
      {0, "select a from x where b = 1 order by c", "c",
       "select a, x.c from x where b = 1 order by c"},
      {0, "select a\nfrom t\norder  by t.c desc", "c", "select a, t.c\nfrom t\norder  by t.c desc"},
      {0, "select a from t, u order by t.c, u.c", "c", nullptr},  // ambiguous
      {0, "select a from t", "c", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    char* r = RewriteOrderBy(c.delim, c.in, c.column);
    if (c.out == nullptr) {
      EXPECT_EQ(r, nullptr);
    } else {
      ASSERT_NE(r, nullptr);
      EXPECT_STREQ(r, c.out);
    }
    std::free(r);
  }
}

TEST(HexLiteralDecode, DecodesPairsAndRefusesTheRest) {
  struct Case {
    const char* in;
    int32_t rc;
    std::string_view bytes;
  };
  const Case cases[] = {
      {"0x4142", 0, "AB"},
      {"0X414", 0, std::string_view("A@", 2)},
      {"61", 0, "a"},
      {"0x", ERR_HEX_LITERAL, ""},
      {"", ERR_HEX_LITERAL, ""},
      {"0xZZ", ERR_HEX_LITERAL, ""},
      {"0x4G", ERR_HEX_LITERAL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    uint8_t* out = nullptr;
    uint32_t len = 0;
    ASSERT_EQ(HexLiteralDecode(c.in, &out, &len), c.rc);
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(out), len), c.bytes);
    std::free(out);
  }
}

struct Extracted {
  int32_t rc = 0;
  std::string text;
  std::vector<std::tuple<std::string, int, int>> hidden;  // text, paramIndex, columnPosition
};

Extracted extract(bool insert, const char* sql, const char* table) {
  // Table t: id INTEGER, txt TEXT, b BYTE.
  char txt[] = "txt";
  char b[] = "b";
  char* names[] = {txt, b};
  const int16_t types[] = {12, 11};
  const int32_t positions[] = {1, 2};
  char* rewritten = nullptr;
  InfHiddenParam* list = nullptr;
  int32_t count = 0;
  Extracted e;
  e.rc = insert ? ExtractInsertBlobLiterals(sql, table, 2, positions, types, names, &rewritten,
                                            &list, &count)
                : ExtractUpdateBlobLiterals(sql, table, 2, types, names, &rewritten, &list, &count);
  if (rewritten != nullptr) e.text = rewritten;
  for (int32_t i = 0; i < count; ++i)
    e.hidden.emplace_back(list[i].text, list[i].paramIndex, list[i].columnPosition);
  std::free(rewritten);
  HiddenParamsFree(list, count);
  return e;
}

TEST(BlobLiterals, InsertAndUpdateTakeTheLiteralsOut) {
  using H = std::tuple<std::string, int, int>;
  Extracted e = extract(true, "INSERT INTO t (id, txt) VALUES (?, 'it''s')", "t");
  EXPECT_EQ(e.rc, 0);
  EXPECT_EQ(e.text, "INSERT INTO t (id, txt) VALUES (?, ?)");
  EXPECT_EQ(e.hidden, (std::vector<H>{{"it's", 1, 1}}));

  e = extract(true, "INSERT INTO t VALUES (1, 'hello', '0x41')", "t");
  EXPECT_EQ(e.text, "INSERT INTO t VALUES (1, ?, ?)");
  EXPECT_EQ(e.hidden, (std::vector<H>{{"hello", 0, 1}, {"0x41", 1, 2}}));

  // Literals are matched to the columns in order: a NULL first value matches none.
  e = extract(true, "INSERT INTO t (txt, b) VALUES (NULL, '0x41')", "t");
  EXPECT_EQ(e.text, "INSERT INTO t (txt, b) VALUES (NULL, '0x41')");
  EXPECT_TRUE(e.hidden.empty());

  e = extract(true, "INSERT INTO t (id, txt) SELECT 1", "t");
  EXPECT_EQ(e.rc, ERR_SYNTAX);

  e = extract(false, "UPDATE t SET b = '0x41' WHERE k = ?", "t");
  EXPECT_EQ(e.text, "UPDATE t SET b = ? WHERE k = ?");
  EXPECT_EQ(e.hidden, (std::vector<H>{{"0x41", 0, 0}}));

  e = extract(false, "UPDATE t SET id = ?, txt = 'a where b' WHERE id = 'x'", "t");
  EXPECT_EQ(e.text, "UPDATE t SET id = ?, txt = ? WHERE id = 'x'");
  EXPECT_EQ(e.hidden, (std::vector<H>{{"a where b", 1, 1}}));
}

TEST(FormatFixed, IgnoresTheLocaleAndPadsToTheWidth) {
  EXPECT_EQ(FormatFixed(3.14159, 8, 2), "    3.14");
  EXPECT_EQ(FormatFixed(-2.5, 0, 1), "-2.5");
  EXPECT_EQ(FormatFixed(10, 0, 0), "10");
}

}  // namespace
