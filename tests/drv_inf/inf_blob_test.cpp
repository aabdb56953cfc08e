// inf_blob_test.cpp -- BYTE and TEXT literals: hexadecimal literals, and the
// rewrite that takes literals out of INSERT and UPDATE statements.

#include "drv_inf/inf_blob.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "drv/errtab.h"
#include "drv_inf/inf_cursor.h"

namespace {

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

}  // namespace
