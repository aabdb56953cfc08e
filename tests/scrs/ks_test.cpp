// Tests of the keyset's generated statements and parameter rows: the key
// select list, ORDER BY and WHERE built on real analyses, the user's bytes
// kept as they are, the padded parameter row of a key block, and the block
// sizes a rowset is fetched in.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/scs.h"
#include "scrs/ks.h"

namespace {

ColDesc Key(const char* name, const char* table = "t", const char* alias = "",
            const char* owner = "") {
  ColDesc c{};
  std::strcpy(c.name, name);
  std::strcpy(c.table, table);
  std::strcpy(c.alias, alias);
  std::strcpy(c.owner, owner);
  c.sqlType = SQL_INTEGER;
  c.itemKind = COLDESC_COLUMN;
  return c;
}

// A cursor context holding an analysed statement and a keyset of key columns.
struct Keyed {
  SCS scs{};
  SCR_Analysis a{};

  Keyed(const char* sql, std::vector<ColDesc> keys, uint8_t tables = 1, int32_t noFlags = 0) {
    SCS_Init(&scs, 1, 1, nullptr, nullptr);
    EXPECT_EQ(KS_Create(&scs.sc_keyset), 0);
    scs.sc_keyset->keyCols = DynArrayNew(sizeof(ColDesc));
    for (const ColDesc& k : keys) DynArrayAppend(scs.sc_keyset->keyCols, &k);
    scs.sc_keyset->tableCount = tables;
    SCR_AnalysisInit(&a);
    EXPECT_EQ(SCR_AnalyseSQL(&a, sql, noFlags, 0), 0) << sql;
    scs.sc_orderBy = DynArrayNew(sizeof(OrderByItem));
    if ((a.sa_flags & SA_ORDERBY) != 0) {
      EXPECT_EQ(SCR_OrderByColsGet(&a, scs.sc_orderBy), 0);
    }
  }
  ~Keyed() {
    SCR_AnalysisFree(&a);
    KS_Free(&scs.sc_keyset);
    DynArrayFree(&scs.sc_orderBy, nullptr);
  }
  // The generated text with the regenerator's spacing evened out.
  std::string Generated() const {
    if (a.sa_generated == nullptr) return "(none)";
    std::string out;
    for (const char* p = a.sa_generated; *p != '\0'; ++p) {
      if (*p == ' ' && (out.empty() || out.back() == ' ')) continue;
      if (*p == ',' && !out.empty() && out.back() == ' ') out.pop_back();
      out += *p;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }
};

TEST(KeyStatements, SelectListOrderByAndWhere) {
  struct Case {
    const char* sql;
    std::vector<ColDesc> keys;
    uint8_t tables;
    char op;  // S select list, O order by, W where
    uint32_t groups;
    int16_t maxOrderBy;
    const char* want;
  };
  const std::vector<Case> cases = {
      {"SELECT a, b FROM t", {Key("k1"), Key("k2")}, 1, 'S', 0, 0, "SELECT k1, k2 FROM t"},
      {"SELECT a FROM t", {Key("k1"), Key("k2")}, 1, 'W', 2, 0,
       "SELECT a FROM t WHERE ( k1 = ? AND k2 = ? OR k1 = ? AND k2 = ? )"},
      {"SELECT a FROM t WHERE a > 5", {Key("k1")}, 1, 'W', 1, 0,
       "SELECT a FROM t WHERE ( k1 = ? ) AND (a > 5)"},
      // A block of one integer key is an IN list the server seeks in key order.
      {"SELECT a FROM t WHERE a > 5", {Key("k1")}, 1, 'W', 3, 0,
       "SELECT a FROM t WHERE ( k1 IN (?, ?, ?) ) AND (a > 5)"},
      {"SELECT a FROM t", {Key("id")}, 1, 'O', 0, 0, "SELECT a FROM t ORDER BY id"},
      {"SELECT name FROM t ORDER BY name", {Key("id")}, 1, 'O', 0, 0,
       "SELECT name FROM t ORDER BY name, id"},
      {"SELECT name FROM t ORDER BY name", {Key("id")}, 1, 'O', 0, 1,
       "SELECT name FROM t ORDER BY name"},
      // Over two tables every key names its table (or the table's alias).
      {"SELECT x.a FROM t x, u", {Key("id", "t", "x"), Key("id", "u", "", "o")}, 2, 'S', 0, 0,
       "SELECT x.id, o.u.id FROM t x, u"},
  };
  for (const Case& c : cases) {
    Keyed k(c.sql, c.keys, c.tables);
    k.scs.sc_maxOrderByCols = c.maxOrderBy;
    int32_t rc = 0;
    if (c.op == 'S') rc = KS_KeySelect(&k.a, k.scs.sc_keyset);
    if (c.op == 'W') rc = KS_KeyWhere(&k.a, k.scs.sc_keyset, c.groups);
    if (c.op == 'O') rc = KS_KeyOrderBy(&k.a, &k.scs);
    EXPECT_EQ(rc, 0) << c.sql;
    EXPECT_EQ(k.Generated(), c.want) << c.sql;
  }
}

TEST(KeyStatements, LongKeyPredicatesNestShallowly) {
  // Every group once, in order, with no run of more than 16 ORs at one level.
  ColDesc id = Key("id");
  id.sqlType = SQL_VARCHAR;  // an integer key would take an IN list
  Keyed k("SELECT a FROM t", {id});
  ASSERT_EQ(KS_KeyWhere(&k.a, k.scs.sc_keyset, 100), 0);
  const std::string text = k.Generated();
  size_t groups = 0;
  for (size_t at = text.find("id = ?"); at != std::string::npos; at = text.find("id = ?", at + 1))
    ++groups;
  EXPECT_EQ(groups, 100u);
  int depth = 0, deepest = 0, run = 0, longest = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '(') deepest = std::max(deepest, ++depth), run = 0;
    if (text[i] == ')') --depth, run = 0;
    if (text.compare(i, 4, " OR ") == 0) longest = std::max(longest, ++run);
  }
  EXPECT_EQ(depth, 0);
  EXPECT_LE(deepest, 8);
  EXPECT_LE(longest, 16);
}

TEST(KeyStatements, KeyOrderBySkipsKeysAlreadySorted) {
  ColDesc id = Key("id");
  id.orderByPos = 1;
  Keyed k("SELECT a FROM t ORDER BY id", {id, Key("v")});
  ASSERT_EQ(KS_KeyOrderBy(&k.a, &k.scs), 0);
  EXPECT_EQ(k.Generated(), "SELECT a FROM t ORDER BY id, v");
  // A statement analysed again without its flags still has its own ORDER BY.
  Keyed again("SELECT name FROM t ORDER BY name", {Key("id")}, 1, 1);
  ASSERT_EQ(KS_KeyOrderBy(&again.a, &again.scs), 0);
  EXPECT_EQ(again.Generated(), "SELECT name FROM t ORDER BY name, id");
}

TEST(KeyStatements, UserBytesAreNotTemplateMarkers) {
  // A literal holding the expander's marker bytes must reach the server as written.
  const std::string sql = "SELECT a FROM t WHERE b = 'x\xFF\x01\x01y'";
  Keyed k(sql.c_str(), {Key("id")});
  ASSERT_EQ(KS_KeyWhere(&k.a, k.scs.sc_keyset, 1), 0);
  EXPECT_EQ(k.Generated(), "SELECT a FROM t WHERE ( id = ? ) AND (b = 'x\xFF\x01\x01y')");
}

TEST(KeyStatements, Refusals) {
  Keyed none("SELECT a FROM t", {});
  EXPECT_EQ(KS_KeySelect(&none.a, none.scs.sc_keyset), ERR_GENERAL);
  Keyed k("SELECT a FROM t", {Key("id")});
  EXPECT_EQ(KS_KeyWhere(&k.a, k.scs.sc_keyset, 0), ERR_GENERAL);
  EXPECT_EQ(KS_KeyWhere(nullptr, k.scs.sc_keyset, 1), ERR_GENERAL);
}

// A source of `rows` rows: an integer key, a string and a fixed character column.
Dataset* KeyRows(int32_t rows) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  EXPECT_EQ(DatasetInit(ds, 3), 0);
  ds->colCount = 3;
  ds->cols[0] = {DS_INTEGER, 4, nullptr, nullptr};
  ds->cols[1] = {DS_STRING, 11, nullptr, nullptr};
  ds->cols[2] = {DS_CHAR, 6, nullptr, nullptr};
  EXPECT_EQ(DatasetSetRows(ds, rows), 0);
  ds->rowCount = rows;
  for (int32_t r = 0; r < rows; ++r) {
    const int32_t v = r + 1;
    std::memcpy(ds->cols[0].data + 4 * r, &v, 4);
    ds->cols[0].ind[r] = 0;
    const std::string s = "row" + std::to_string(v);
    std::memcpy(ds->cols[1].data + 11 * r, s.c_str(), s.size() + 1);
    ds->cols[1].ind[r] = 0;
    std::memcpy(ds->cols[2].data + 6 * r, "ab    ", 6);
    ds->cols[2].ind[r] = 0;
  }
  return ds;
}

void Free(Dataset* ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
}

int32_t IntAt(const Dataset* ds, uint16_t c) {
  int32_t v = 0;
  std::memcpy(&v, ds->cols[c].data, 4);
  return v;
}

TEST(KeyParamRow, ShortBlockRepeatsItsLastRow) {
  Dataset* src = KeyRows(3);
  Dataset* out = nullptr;
  ASSERT_EQ(KS_RowsToParamRow(src, 0, 10, 3, &out, 1, 0, 0, nullptr, nullptr), 0);
  ASSERT_EQ(out->colCount, 30);
  ASSERT_EQ(out->rowCount, 1);
  std::string keys;
  for (uint16_t g = 0; g < 10; ++g) keys += std::to_string(IntAt(out, g * 3));
  EXPECT_EQ(keys, "1233333333");
  // Strings travel at their own length, fixed text at its width and a terminator.
  EXPECT_EQ(out->cols[1].width, 5u);
  EXPECT_STREQ(out->cols[1].data, "row1");
  EXPECT_EQ(out->cols[2].width, 7u);
  Free(out);

  // From the middle of the source, and trimmed fixed text.
  ASSERT_EQ(KS_RowsToParamRow(src, 1, 2, 2, &out, 0, 1, 0, nullptr, nullptr), 0);
  EXPECT_EQ(IntAt(out, 0), 2);
  EXPECT_EQ(IntAt(out, 3), 3);
  EXPECT_EQ(out->cols[2].width, 2u);
  Free(out);
  Free(src);
}

TEST(KeyParamRow, NullColumnsDropped) {
  Dataset* src = KeyRows(2);
  src->cols[1].ind[1] = DS_IND_NULL;
  Dataset* out = nullptr;
  int16_t dropped = 0;
  int16_t* flags = nullptr;
  ASSERT_EQ(KS_RowsToParamRow(src, 0, 2, 2, &out, 1, 0, 1, &dropped, &flags), 0);
  EXPECT_EQ(dropped, 1);
  ASSERT_NE(flags, nullptr);
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[1], 1);
  EXPECT_EQ(out->colCount, 4);
  EXPECT_EQ(out->cols[1].type, DS_CHAR);
  std::free(flags);
  Free(out);
  Free(src);
}

TEST(KeyParamRow, Refusals) {
  Dataset* src = KeyRows(2);
  Dataset* out = nullptr;
  EXPECT_EQ(KS_RowsToParamRow(src, 0, 0, 0, &out, 1, 0, 0, nullptr, nullptr), ERR_GENERAL);
  EXPECT_EQ(KS_RowsToParamRow(src, 0, 2, 3, &out, 1, 0, 0, nullptr, nullptr), ERR_GENERAL);
  EXPECT_EQ(KS_RowsToParamRow(src, 2, 2, 1, &out, 1, 0, 0, nullptr, nullptr), ERR_GENERAL);
  EXPECT_EQ(KS_RowsToParamRow(src, 0, 2, 1, &out, 1, 0, 1, nullptr, nullptr), ERR_GENERAL);
  EXPECT_EQ(out, nullptr);
  Free(src);
}

TEST(KeyBlocks, SizesAndRefusals) {
  struct Case {
    int32_t maxParams, appParams, keys, rowset;
    int32_t rc, blocks, last, size;
  };
  const Case cases[] = {
      {255, 0, 3, 100, 0, 2, 15, 85},  {255, 0, 1, 10, 0, 1, 10, 10},
      {255, 0, 1, 1, 0, 1, 1, 1},      {255, 0, 1, 255, 0, 1, 255, 255},
      {255, 0, 1, 256, 0, 2, 1, 255},  {255, 5, 2, 260, 0, 3, 10, 125},
      // No key group fits, or there are no keys: refused, nothing divided.
      {255, 254, 2, 10, ERR_NOT_CAPABLE, 0, 0, 0}, {255, 255, 1, 10, ERR_NOT_CAPABLE, 0, 0, 0},
      {255, 0, 0, 10, ERR_NOT_CAPABLE, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<ColDesc> keys;
    for (int32_t i = 0; i < c.keys; ++i) keys.push_back(Key(("k" + std::to_string(i)).c_str()));
    Keyed k("SELECT a FROM t", keys);
    k.scs.sc_maxParams = c.maxParams;
    k.scs.sc_rowsetSize = c.rowset;
    std::vector<ParamShadow> app(static_cast<size_t>(c.appParams));
    k.scs.sc_paramTypes = app.data();
    k.scs.sc_paramTypeCount = static_cast<uint16_t>(c.appParams);
    int32_t blocks = -1, last = -1, size = -1;
    EXPECT_EQ(scs_p_KeyBlockSizes(&k.scs, &blocks, &last, &size), c.rc);
    EXPECT_EQ(blocks, c.blocks) << c.keys << " keys, rowset " << c.rowset;
    EXPECT_EQ(last, c.last) << c.keys << " keys, rowset " << c.rowset;
    EXPECT_EQ(size, c.size) << c.keys << " keys, rowset " << c.rowset;
    k.scs.sc_paramTypes = nullptr;
  }
}

TEST(KeyColumns, QualifiedNamesAndParameterTypes) {
  ColDesc aliased = Key("x", "t", "e");
  ColDesc owned = Key("x", "t", "", "o");
  char* n = scs_p_QualifiedColName(2, &aliased);
  EXPECT_STREQ(n, "e.x");
  std::free(n);
  n = scs_p_QualifiedColName(2, &owned);
  EXPECT_STREQ(n, "o.t.x");
  std::free(n);
  n = scs_p_QualifiedColName(1, &aliased);
  EXPECT_STREQ(n, "x");
  std::free(n);

  SCS scs{};
  SCS_Init(&scs, 1, 1, nullptr, nullptr);
  ParamShadow kept{SQL_VARCHAR, SQL_C_CHAR, 10, 0, SQL_PARAM_INPUT};
  scs.sc_paramTypes = &kept;
  scs.sc_paramTypeCount = 1;
  ColDesc cols[2] = {Key("a"), Key("b")};
  cols[1].sqlType = SQL_WVARCHAR;
  ASSERT_EQ(scs_p_AddParamDescs(&scs, cols, 2, 1), 0);
  ASSERT_EQ(scs.sc_genParamTypeCount, 3);
  EXPECT_EQ(scs.sc_genParamTypes[0].cType, SQL_C_LONG);
  EXPECT_EQ(scs.sc_genParamTypes[1].cType, SQL_C_WCHAR);
  EXPECT_EQ(scs.sc_genParamTypes[2].sqlType, SQL_VARCHAR);
  std::free(scs.sc_genParamTypes);
}

TEST(KeyColumns, DigestSeparatesNames) {
  // Tables whose names join to the same bytes are different tables.
  auto digest = [](std::vector<std::vector<const char*>> names) {
    std::vector<TblDesc> t;
    for (auto& n : names)
      t.push_back(TblDesc{const_cast<char*>(n[0]), const_cast<char*>(n[1]), const_cast<char*>(n[2]),
                          const_cast<char*>(""), const_cast<char*>("")});
    unsigned char d[16];
    KS_TablesDigest(t.data(), static_cast<int32_t>(t.size()), d);
    return std::string(reinterpret_cast<char*>(d), 16);
  };
  EXPECT_NE(digest({{"", "ab", "c"}}), digest({{"", "a", "bc"}}));
  EXPECT_NE(digest({{"", "", "ab"}, {"", "", "c"}}), digest({{"", "", "a"}, {"", "", "bc"}}));
  EXPECT_NE(digest({{"", "o", "t"}, {"", "", "u"}}), digest({{"", "", "u"}, {"", "o", "t"}}));
  EXPECT_EQ(digest({{"d", "o", "t"}}), digest({{"d", "o", "t"}}));
}

}  // namespace
