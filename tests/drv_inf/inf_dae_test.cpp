// inf_dae_test.cpp -- data at execution in the agent over the embedded runtime:
// the cells a parameter array asks for and their order, pieces joined, NULL
// and empty values, refused pieces, the merge into every kind of column, the
// end of the dialogue, and a SetPos waiting for its values.

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent_support.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"

namespace {

class AgentDae : public AgentTest {
 protected:
  // A cursor on a new connection where the table of the test was made.
  DrvHandle cursorWith(const char* createTable) {
    DrvHandle conn = connect();
    EXPECT_EQ(exec(conn, createTable), 0);
    DrvHandle cur = 0;
    EXPECT_EQ(INF_AllocCursor(conn, &cur), 0);
    return cur;
  }
};

std::string hexOf(const void* data, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    char h[3];
    std::snprintf(h, sizeof h, "%02x", static_cast<const unsigned char*>(data)[i]);
    s += h;
  }
  return s;
}

// A column of a parameter Dataset: its type, width and the bytes of each row,
// "NULL" for NULL and "?" for a value sent at execution.
struct Col {
  int32_t type;
  uint32_t width;
  std::vector<std::string> rows;
};

std::string i32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

Dataset* makeParams(const std::vector<Col>& cols) {
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  const auto n = static_cast<uint16_t>(cols.size());
  EXPECT_EQ(DatasetInit(ds, n), 0);
  for (uint16_t c = 0; c < n; ++c) {
    ds->cols[c].type = cols[c].type;
    ds->cols[c].width = cols[c].width;
  }
  ds->colCount = n;
  const auto rows = static_cast<int32_t>(cols[0].rows.size());
  EXPECT_EQ(DatasetSetRows(ds, rows), 0);
  ds->rowCount = rows;
  for (uint16_t c = 0; c < n; ++c) {
    DatasetColumn& col = ds->cols[c];
    for (int32_t r = 0; r < rows; ++r) {
      const std::string& v = cols[c].rows[r];
      if (v == "NULL") continue;
      if (v == "?") {
        col.ind[r] = DS_IND_DAE;
        continue;
      }
      col.ind[r] = 0;
      std::memcpy(col.data + static_cast<size_t>(r) * col.width, v.data(), v.size());
    }
  }
  return ds;
}

struct Cell {
  int32_t index, row;
  bool operator==(const Cell&) const = default;
};

Cell paramData(DrvHandle cur, int32_t* rc) {
  Cell c{-9, -9};
  *rc = INF_ParamData(cur, &c.index, &c.row, nullptr, nullptr);
  return c;
}

// Every row of a SELECT as text ("NULL" for NULL, binary values in hex).
std::vector<std::vector<std::string>> selectAll(DrvHandle cur, const char* sql) {
  std::vector<std::vector<std::string>> out;
  EXPECT_EQ(INF_PrepareExecute(cur, sql, nullptr, 0, nullptr), 0);
  for (;;) {
    Dataset ds{};
    EXPECT_EQ(Fetch(cur, 10, &ds), 0);
    for (int32_t r = 0; r < ds.rowCount; ++r) {
      std::vector<std::string> row;
      for (uint16_t c = 0; c < ds.colCount; ++c) {
        const DatasetColumn& col = ds.cols[c];
        if (col.ind[r] == DS_IND_NULL) {
          row.push_back("NULL");
          continue;
        }
        const char* cell = col.data + static_cast<size_t>(r) * col.width;
        if (col.type == DS_INTEGER) {
          int32_t v;
          std::memcpy(&v, cell, 4);
          row.push_back(std::to_string(v));
        } else if (col.type == DS_LONGCHAR || col.type == DS_LONGBINARY) {
          DatasetLong lv;
          std::memcpy(&lv, cell, sizeof lv);
          const auto* p = static_cast<const char*>(lv.data);
          row.push_back(col.type == DS_LONGCHAR ? std::string(p, lv.length) : hexOf(p, lv.length));
        } else if (col.type == DS_CHAR || col.type == DS_STRING) {
          row.push_back(std::string(cell, strnlen(cell, col.width)));
        } else {
          row.push_back("?");
        }
      }
      out.push_back(row);
    }
    const bool done = ds.rowCount == 0;
    DatasetFree(&ds);
    if (done) break;
  }
  return out;
}

const ParamShadow kTypes[] = {
    {SQL_INTEGER, SQL_C_LONG, 10, 0, 1},
    {SQL_LONGVARCHAR, SQL_C_CHAR, 0, 0, 1},
    {SQL_LONGVARBINARY, SQL_C_BINARY, 0, 0, 1},
    {SQL_INTEGER, SQL_C_LONG, 10, 0, 1},
};

// Three parameter sets with values sent at execution in some cells of three
// columns: the cells are named row by row, and each keeps its own value.
TEST_F(AgentDae, ArrayAsksForEachMarkedCellRowByRow) {
  const DrvHandle cur = cursorWith("create table td (id integer, t text, b byte, n integer)");
  int32_t rc = 0;
  EXPECT_EQ(paramData(cur, &rc), (Cell{-9, -9}));
  EXPECT_EQ(rc, ERR_SEQUENCE);  // nothing waits
  EXPECT_EQ(INF_PutData(cur, DS_CHAR, 0, "x", 1), ERR_SEQUENCE);

  Dataset* ds = makeParams({
      {DS_INTEGER, 4, {i32(1), i32(2), i32(3)}},
      {DS_CHAR, 4, {"?", "mid", "?"}},
      {DS_VARBINARY4, 8, {"?", "?", std::string("\2\0\0\0\xAB\xCD", 6)}},
      {DS_INTEGER, 4, {"?", "?", "?"}},
  });
  ASSERT_EQ(INF_PrepareExecute(cur, "insert into td values (?, ?, ?, ?)", ds, 4, kTypes),
            ERR_NEED_DAE);
  EXPECT_EQ(INF_PutData(cur, DS_CHAR, 0, "x", 1), ERR_SEQUENCE);  // no cell named yet

  const int32_t seven = 7, eight = 8, nine = 9;
  struct Step {
    Cell cell;
    std::vector<std::pair<int32_t, std::string>> pieces;  // type, bytes ("NULL": a NULL piece)
  };
  const Step steps[] = {
      {{1, 0}, {{DS_CHAR, "ab"}, {DS_CHAR, ""}, {DS_CHAR, "cd"}}},
      {{2, 0}, {{DS_BINARY, std::string("\0\xff", 2)}, {DS_BINARY, "\x10"}}},
      {{3, 0}, {{DS_INTEGER, std::string(reinterpret_cast<const char*>(&seven), 4)}}},
      {{2, 1}, {{DS_BINARY, "\x01"}, {DS_BINARY, "NULL"}}},
      {{3, 1}, {{DS_INTEGER, "NULL"}}},
      {{1, 2}, {{DS_CHAR, ""}}},
      {{3, 2}, {{DS_INTEGER, std::string(reinterpret_cast<const char*>(&nine), 4)}}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "cell " << s.cell.index << "," << s.cell.row);
    ASSERT_EQ(paramData(cur, &rc), s.cell);
    ASSERT_EQ(rc, ERR_NEED_DAE);
    for (const auto& [type, bytes] : s.pieces) {
      if (bytes == "NULL")
        ASSERT_EQ(INF_PutData(cur, type, DS_IND_NULL, nullptr, 0), 0);
      else
        ASSERT_EQ(INF_PutData(cur, type, 0, bytes.data(), static_cast<int32_t>(bytes.size())), 0);
    }
    if (s.cell == Cell{3, 0}) {
      // A fixed-size value comes once; the first piece stays.
      EXPECT_EQ(INF_PutData(cur, DS_INTEGER, 0, &eight, 4), ERR_SEQUENCE);
    }
  }
  EXPECT_EQ(paramData(cur, &rc), (Cell{-2, -2}));
  ASSERT_EQ(rc, 0);
  int32_t rows = 0;
  ASSERT_EQ(INF_GetInfo(cur, DRVP_ROW_COUNT, &rows, 4, nullptr), 0);
  EXPECT_EQ(rows, 3);
  // Once it ran, nothing waits: the statement does not run again.
  paramData(cur, &rc);
  EXPECT_EQ(rc, ERR_SEQUENCE);

  const std::vector<std::vector<std::string>> want = {
      {"1", "abcd", "00ff10", "7"},
      {"2", "mid", "NULL", "NULL"},
      {"3", "", "abcd", "9"},
  };
  EXPECT_EQ(selectAll(cur, "select id, t, b, n from td order by id"), want);
  ASSERT_EQ(INF_EndCursor(cur), 0);
}

// One large value in many pieces, for a text and for a byte column, arrives
// byte for byte.
TEST_F(AgentDae, LargeValuesInManyPieces) {
  const DrvHandle cur = cursorWith("create table tl (id integer, t text, b byte)");
  std::string text, bytes;
  for (int i = 0; i < 256 * 1024; ++i) {
    text += static_cast<char>('a' + i % 26);
    bytes += static_cast<char>(i * 7 % 256);
  }
  Dataset* ds = makeParams({
      {DS_INTEGER, 4, {i32(1)}},
      {DS_CHAR, 1, {"?"}},
      {DS_VARBINARY4, 8, {"?"}},
  });
  ASSERT_EQ(INF_PrepareExecute(cur, "insert into tl values (?, ?, ?)", ds, 3, kTypes),
            ERR_NEED_DAE);
  int32_t rc = 0;
  for (const auto& [value, type] : {std::pair{&text, DS_CHAR}, std::pair{&bytes, DS_BINARY}}) {
    paramData(cur, &rc);
    ASSERT_EQ(rc, ERR_NEED_DAE);
    for (size_t at = 0; at < value->size(); at += 4000) {
      const auto n = static_cast<int32_t>(std::min<size_t>(4000, value->size() - at));
      ASSERT_EQ(INF_PutData(cur, type, 0, value->data() + at, n), 0);
    }
  }
  paramData(cur, &rc);
  ASSERT_EQ(rc, 0);
  const auto got = selectAll(cur, "select t, b from tl");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0][0] == text);
  EXPECT_TRUE(got[0][1] == hexOf(bytes.data(), bytes.size()));
  ASSERT_EQ(INF_EndCursor(cur), 0);
}

// A piece of another type than its column refuses the merge; a close in the
// middle abandons the dialogue. Neither runs the statement.
TEST_F(AgentDae, RefusedMergeAndCloseEndTheDialogue) {
  const DrvHandle cur = cursorWith("create table tm (n integer)");
  int32_t rc = 0;
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "closed" : "type mismatch");
    ASSERT_EQ(INF_PrepareExecute(cur, "insert into tm values (?)",
                                 makeParams({{DS_INTEGER, 4, {"?"}}}), 1, kTypes),
              ERR_NEED_DAE);
    paramData(cur, &rc);
    ASSERT_EQ(rc, ERR_NEED_DAE);
    const double d = 1.5;
    ASSERT_EQ(INF_PutData(cur, DS_DOUBLE, 0, &d, 8), 0);
    if (close) {
      ASSERT_EQ(INF_CloseCursor(cur), 0);
      EXPECT_EQ(InfCursorLookup(cur)->daeExec, nullptr);
      paramData(cur, &rc);
      EXPECT_EQ(rc, ERR_SEQUENCE);
    } else {
      paramData(cur, &rc);
      EXPECT_EQ(rc, ERR_GENERAL);
      paramData(cur, &rc);
      EXPECT_EQ(rc, ERR_SEQUENCE);
    }
  }
  EXPECT_TRUE(selectAll(cur, "select n from tm").empty());
  ASSERT_EQ(INF_EndCursor(cur), 0);
}

// A column whose marked cells get only a NULL piece, or none, takes NULL or an
// empty value whatever its type.
TEST_F(AgentDae, CellsWithoutDataTakeNullOrEmpty) {
  const DrvHandle cur = cursorWith("create table tn (n integer, t varchar(5))");
  int32_t rc = 0;
  for (bool null : {true, false}) {
    SCOPED_TRACE(null ? "NULL pieces" : "no piece");
    ASSERT_EQ(
        INF_PrepareExecute(cur, "insert into tn values (?, ?)",
                           makeParams({{DS_INTEGER, 4, {"?"}}, {DS_CHAR, 1, {"?"}}}), 2, kTypes),
        ERR_NEED_DAE);
    for (int32_t type : {DS_INTEGER, DS_CHAR}) {
      paramData(cur, &rc);
      ASSERT_EQ(rc, ERR_NEED_DAE);
      if (null) {
        ASSERT_EQ(INF_PutData(cur, type, DS_IND_NULL, nullptr, 0), 0);
      }
    }
    paramData(cur, &rc);
    ASSERT_EQ(rc, 0);
  }
  const std::vector<std::vector<std::string>> want = {{"NULL", "NULL"}, {"0", ""}};
  EXPECT_EQ(selectAll(cur, "select n, t from tn order by n"), want);
  ASSERT_EQ(INF_EndCursor(cur), 0);
}

// A SetPos update with a value sent at execution waits for it; a delete or a
// refresh never does.
TEST_F(AgentDae, SetPosWaitsForItsValues) {
  DrvHandle conn = connect();
  DrvHandle cur = 0;
  ASSERT_EQ(INF_AllocCursor(conn, &cur), 0);
  InfCursorView view{};
  ASSERT_TRUE(INF_CursorView(cur, &view));
  Dataset* rows = makeParams({{DS_CHAR, 4, {"abc", "?"}}, {DS_INTEGER, 4, {"?", i32(5)}}});
  view.scs->sc_setPosRows = rows;
  view.scs->sc_setPosOp = SQL_DELETE;
  EXPECT_EQ(DAEStartSetPos(cur), 0);
  view.scs->sc_setPosOp = SQL_UPDATE;
  ASSERT_EQ(DAEStartSetPos(cur), ERR_NEED_DAE);
  int32_t rc = 0;
  EXPECT_EQ(paramData(cur, &rc), (Cell{1, 0}));
  const int32_t six = 6;
  ASSERT_EQ(INF_PutData(cur, DS_INTEGER, 0, &six, 4), 0);
  EXPECT_EQ(paramData(cur, &rc), (Cell{0, 1}));
  ASSERT_EQ(INF_PutData(cur, DS_CHAR, 0, "wxyz", 4), 0);
  // The last ParamData puts the values in and hands over to the cursor layer,
  // which ends the request (a forward-only cursor has no positioned operation).
  paramData(cur, &rc);
  EXPECT_EQ(rc, ERR_NOT_CAPABLE);
  EXPECT_EQ(view.scs->sc_setPosRows, nullptr);
  ASSERT_EQ(INF_EndCursor(cur), 0);
}

}  // namespace
