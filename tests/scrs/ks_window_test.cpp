// Tests of the key window's statements: the predicate that continues the
// window order from a boundary row (ascending and descending items, NULL
// boundaries under each NULL placement, keys inside and outside the ORDER BY,
// far, near and re-reading moves, both directions) with its parameter row, the
// window's select list, and the count of sort columns.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/scs.h"
#include "scrs/ks.h"

namespace {

ColDesc Col(const char* name, int16_t type) {
  ColDesc c{};
  std::strcpy(c.name, name);
  std::strcpy(c.table, "t");
  c.sqlType = type;
  c.columnSize = 10;
  c.itemKind = COLDESC_COLUMN;
  return c;
}

// One value of a bound column: an integer, a text, or a NULL text.
struct Cell {
  char kind;  // 'i', 's' or 'n'
  const char* text;
  int32_t number;
};

// A cursor context over table t (integer keys, text column name) with an
// analysed statement, its sort columns counted and a window bound of two rows
// whose columns are the keys then the non-key sort columns.
struct Window {
  SCS scs{};
  SCR_Analysis a{};

  Window(const char* sql, std::vector<const char*> keys, int16_t nullCollation) {
    SCS_Init(&scs, 1, 1, nullptr, nullptr);
    scs.sc_nullCollation = nullCollation;
    scs.sc_info04 = 1;
    EXPECT_EQ(KS_Create(&scs.sc_keyset), 0);
    scs.sc_keyset->keyCols = DynArrayNew(sizeof(ColDesc));
    scs.sc_keyset->tableCount = 1;
    for (const char* k : keys) {
      const ColDesc c = Col(k, SQL_INTEGER);
      DynArrayAppend(scs.sc_keyset->keyCols, &c);
    }
    scs.sc_tableCols = DynArrayNew(sizeof(ColDesc));
    const ColDesc name = Col("name", SQL_VARCHAR);
    DynArrayAppend(scs.sc_tableCols, &name);
    SCR_AnalysisInit(&a);
    EXPECT_EQ(SCR_AnalyseSQL(&a, sql, 0, 0), 0) << sql;
    scs.sc_analysisFlags = a.sa_flags;
    scs.sc_orderBy = DynArrayNew(sizeof(OrderByItem));
    if ((a.sa_flags & SA_ORDERBY) != 0) {
      EXPECT_EQ(SCR_OrderByColsGet(&a, scs.sc_orderBy), 0);
    }
    mapped = scs_p_MapKeyCols(&scs);
  }
  int32_t mapped = 0;
  ~Window() {
    SCR_AnalysisFree(&a);
    KS_Free(&scs.sc_keyset);
    DynArrayFree(&scs.sc_orderBy, nullptr);
    DynArrayFree(&scs.sc_tableCols, nullptr);
    if (scs.sc_windowBound != nullptr) {
      DatasetFree(scs.sc_windowBound);
      std::free(scs.sc_windowBound);
    }
    std::free(scs.sc_genParamTypes);
  }
  // Rows 0 and 1 of the bound, one cell per column.
  void Bound(const std::vector<Cell>& first, const std::vector<Cell>& last) {
    auto* b = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    const auto n = static_cast<uint16_t>(first.size());
    ASSERT_EQ(DatasetInit(b, n), 0);
    b->colCount = n;
    for (uint16_t c = 0; c < n; ++c) {
      const bool text = first[c].kind != 'i' && last[c].kind != 'i';
      b->cols[c] = text ? DatasetColumn{DS_STRING, 11, nullptr, nullptr}
                        : DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
    }
    ASSERT_EQ(DatasetSetRows(b, 2), 0);
    b->rowCount = 2;
    for (int r = 0; r < 2; ++r) {
      for (uint16_t c = 0; c < n; ++c) {
        const Cell& v = (r == 0 ? first : last)[c];
        DatasetColumn& col = b->cols[c];
        if (col.type == DS_STRING) {
          col.ind[r] = v.text == nullptr ? DS_IND_NULL : 0;
          if (v.text != nullptr) std::strcpy(col.data + 11 * r, v.text);
        } else {
          col.ind[r] = 0;
          std::memcpy(col.data + 4 * r, &v.number, 4);
        }
      }
    }
    scs.sc_windowBound = b;
  }
  std::string Generated() const {
    if (a.sa_generated == nullptr) return "(none)";
    std::string out;
    for (const char* p = a.sa_generated; *p != '\0'; ++p) {
      if (*p == ' ' && (out.empty() || out.back() == ' ' || out.back() == '(')) continue;
      if (*p == ')' && !out.empty() && out.back() == ' ') out.pop_back();
      if (*p == ',' && !out.empty() && out.back() == ' ') out.pop_back();
      out += *p;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }
};

// The parameter row as text: values joined by commas.
std::string Values(const Dataset* p) {
  if (p == nullptr) return "";
  std::string out;
  for (uint16_t c = 0; c < p->colCount; ++c) {
    if (c > 0) out += ",";
    const DatasetColumn& col = p->cols[c];
    if (col.ind[0] == DS_IND_NULL) {
      out += "NULL";
    } else if (col.type == DS_INTEGER) {
      int32_t v = 0;
      std::memcpy(&v, col.data, 4);
      out += std::to_string(v);
    } else {
      out += std::string(col.data, strnlen(col.data, col.width));
    }
  }
  return out;
}

constexpr Cell kNull{'n', nullptr, 0};
Cell Num(int32_t v) { return Cell{'i', nullptr, v}; }
Cell Txt(const char* s) { return Cell{'s', s, 0}; }

TEST(KeyWindow, PredicatesAndParameters) {
  const int16_t LOW = SQL_NC_LOW, HIGH = SQL_NC_HIGH;
  const int16_t NEXT = SQL_FETCH_NEXT, PRIOR = SQL_FETCH_PRIOR;
  struct Case {
    const char* note;
    const char* sql;
    std::vector<const char*> keys;
    int16_t nc;
    int16_t orientation;
    int32_t kind;
    std::vector<Cell> first, last;  // the bound's rows: keys, then non-key sort values
    const char* where;              // the generated statement from WHERE on
    const char* params;
  };
  const char* kOrdered = "SELECT id, name FROM t ORDER BY name";
  const std::vector<Case> cases = {
      {"ascending, NULLs sort first (the server's placement)", kOrdered, {"id"}, LOW, NEXT,
       KS_MOVE_FAR, {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE (name > ? OR name = ? AND id > ?) ORDER BY name", "x,x,7"},
      {"ascending, NULLs sort last: a value is followed by the NULLs", kOrdered, {"id"}, HIGH,
       NEXT, KS_MOVE_FAR, {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE ((name > ? OR name IS NULL) OR name = ? AND id > ?) ORDER BY name", "x,x,7"},
      {"NULL boundary sorting last: only the NULLs after its key follow", kOrdered, {"id"}, HIGH,
       NEXT, KS_MOVE_FAR, {Num(3), Txt("b")}, {Num(7), kNull},
       "WHERE (name IS NULL AND id > ?) ORDER BY name", "7"},
      {"NULL boundary sorting first: every value follows", kOrdered, {"id"}, LOW, NEXT,
       KS_MOVE_FAR, {Num(3), Txt("b")}, {Num(7), kNull},
       "WHERE (name IS NOT NULL OR name IS NULL AND id > ?) ORDER BY name", "7"},
      {"PRIOR continues backwards from the first row; NULLs are ahead going back", kOrdered,
       {"id"}, LOW, PRIOR, KS_MOVE_FAR, {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE ((name < ? OR name IS NULL) OR name = ? AND id < ?) ORDER BY name", "b,b,3"},
      {"PRIOR from a NULL that sorts first: nothing precedes but earlier NULL keys", kOrdered,
       {"id"}, LOW, PRIOR, KS_MOVE_FAR, {Num(3), kNull}, {Num(7), Txt("x")},
       "WHERE (name IS NULL AND id < ?) ORDER BY name", "3"},
      {"descending item: < going forward, NULLs after the values", "SELECT id, name FROM t ORDER BY name DESC",
       {"id"}, LOW, NEXT, KS_MOVE_FAR, {Num(3), Txt("x")}, {Num(7), Txt("b")},
       "WHERE ((name < ? OR name IS NULL) OR name = ? AND id > ?) ORDER BY name DESC", "b,b,7"},
      {"re-read: from the first row, only the key comparison inclusive", kOrdered, {"id"}, LOW,
       NEXT, KS_MOVE_REREAD, {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE (name > ? OR name = ? AND id >= ?) ORDER BY name", "b,b,3"},
      {"near move: from the first row, strictly", kOrdered, {"id"}, LOW, NEXT, KS_MOVE_NEAR,
       {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE (name > ? OR name = ? AND id > ?) ORDER BY name", "b,b,3"},
      {"near move backwards: from the last row", kOrdered, {"id"}, LOW, PRIOR, KS_MOVE_NEAR,
       {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE ((name < ? OR name IS NULL) OR name = ? AND id < ?) ORDER BY name", "x,x,7"},
      {"re-read backwards: from the last row inclusively", kOrdered, {"id"}, LOW, PRIOR,
       KS_MOVE_REREAD, {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE ((name < ? OR name IS NULL) OR name = ? AND id <= ?) ORDER BY name", "x,x,7"},
      {"a key that is the ORDER BY item completes the order", "SELECT name FROM t ORDER BY id DESC",
       {"id"}, LOW, NEXT, KS_MOVE_FAR, {Num(9)}, {Num(4)}, "WHERE (id < ?) ORDER BY id DESC", "4"},
      {"no ORDER BY: the keys order the window", "SELECT name FROM t", {"id"}, LOW, NEXT,
       KS_MOVE_FAR, {Num(3)}, {Num(7)}, "WHERE (id > ?)", "7"},
      {"a second key outside the ORDER BY follows the items", "SELECT name FROM t ORDER BY k2",
       {"k1", "k2"}, LOW, NEXT, KS_MOVE_FAR, {Num(1), Num(2)}, {Num(5), Num(6)},
       "WHERE (k2 > ? OR k2 = ? AND k1 > ?) ORDER BY k2", "6,6,5"},
      {"a key named twice is one key; the other key still completes the order",
       "SELECT name FROM t ORDER BY k1, k1", {"k1", "k2"}, LOW, NEXT, KS_MOVE_FAR,
       {Num(1), Num(2)}, {Num(5), Num(6)},
       "WHERE (k1 > ? OR k1 = ? AND k1 > ? OR k1 = ? AND k1 = ? AND k2 > ?) ORDER BY k1, k1",
       "5,5,5,5,5,6"},
      {"the statement's own condition stays", "SELECT name FROM t WHERE name <> 'q' ORDER BY name",
       {"id"}, LOW, NEXT, KS_MOVE_FAR, {Num(3), Txt("b")}, {Num(7), Txt("x")},
       "WHERE (name > ? OR name = ? AND id > ?) AND (name <> 'q') ORDER BY name", "x,x,7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Window w(c.sql, c.keys, c.nc);
    ASSERT_EQ(w.mapped, 0);
    w.Bound(c.first, c.last);
    Dataset* params = nullptr;
    ASSERT_EQ(KS_WindowWhere(&w.scs, &w.a, c.orientation, c.kind, &params), 0);
    const std::string text = w.Generated();
    const size_t at = text.find("WHERE");
    EXPECT_EQ(at == std::string::npos ? text : text.substr(at), c.where);
    EXPECT_EQ(Values(params), c.params);
    if (params != nullptr) {
      DatasetFree(params);
      std::free(params);
    }
  }
}

TEST(KeyWindow, SelectListAndSortColumnCount) {
  // The keys first, then the sort values no key holds; FIRST and LAST add no predicate.
  Window w("SELECT a, name FROM t ORDER BY name", {"id"}, SQL_NC_LOW);
  ASSERT_EQ(w.mapped, 0);
  EXPECT_EQ(w.scs.sc_orderColCount, 2);
  Dataset* params = nullptr;
  ASSERT_EQ(KS_WindowSelect(&w.scs, &w.a, SQL_FETCH_FIRST, KS_MOVE_FAR, &params), 0);
  EXPECT_EQ(params, nullptr);
  EXPECT_EQ(w.Generated(), "SELECT id, name FROM t ORDER BY name");
  // The item that completes the key ends the order.
  Window keyed("SELECT name FROM t ORDER BY name, id, a", {"id"}, SQL_NC_LOW);
  EXPECT_EQ(keyed.scs.sc_orderColCount, 2);
  // A sort column the table does not have cannot type its parameter.
  Window missing("SELECT name FROM t", {"id"}, SQL_NC_LOW);
  OrderByItem ghost{};
  std::strcpy(ghost.name, "ghost");
  DynArrayAppend(missing.scs.sc_orderBy, &ghost);
  EXPECT_EQ(scs_p_MapKeyCols(&missing.scs), ERR_GENERAL);
}

TEST(KeyWindow, Refusals) {
  Window w("SELECT id, name FROM t ORDER BY name", {"id"}, SQL_NC_LOW);
  Dataset* params = nullptr;
  // No bound to continue from.
  EXPECT_EQ(KS_WindowWhere(&w.scs, &w.a, SQL_FETCH_NEXT, KS_MOVE_FAR, &params), ERR_GENERAL);
  EXPECT_EQ(params, nullptr);
  w.Bound({Num(3), Txt("b")}, {Num(7), Txt("x")});
  EXPECT_EQ(KS_WindowWhere(&w.scs, &w.a, SQL_FETCH_FIRST, KS_MOVE_FAR, &params), ERR_GENERAL);
  // GROUP BY and UNION have no window order.
  Window grouped("SELECT name FROM t GROUP BY name", {"id"}, SQL_NC_LOW);
  EXPECT_EQ(grouped.mapped, ERR_GROUP_BY);
  Window joined("SELECT name FROM t UNION SELECT name FROM u", {"id"}, SQL_NC_LOW);
  EXPECT_EQ(joined.mapped, ERR_UNION);
}

}  // namespace
