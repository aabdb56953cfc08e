// text_fetch_e2e_test.cpp -- text columns read through the Driver Manager by every
// road of a fetch: bound rowsets and bound rows (where cells take the fetch's plain
// copies) against SQLGetData of the same cells (the general conversion), in both
// builds: ASCII text of every length around the copies' runs, text beyond ASCII and
// beyond the BMP, empty text and NULL, into character, wide and binary buffers that
// take the value, cut it or hold only the terminator; and SQLGetData in pieces put
// back together.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

// One value per row (row k + 1 holds kTexts[k]); null marks the NULL row.
const char* const kTexts[] = {
    "",
    "a",
    "abcdefg",
    "abcdefgh",
    "abcdefghi",
    "abcdefghijklmno",
    "abcdefghijklmnop",
    "abcdefghijklmnopq",
    "abcdefghijklmnopqrstuvw",
    "abcdefghijklmnopqrstuvwxyz0123456789ABC",
    "\xC3\xA9",                              // e-acute alone
    "abcdefg\xC3\xA9",                       // beyond ASCII as the eighth character
    "abcdefgh\xC3\xA9xyz",                   // ... as the ninth
    "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80",  // a character beyond the BMP
    nullptr,
};
constexpr int kRows = sizeof kTexts / sizeof kTexts[0];
constexpr const char* kColumns[] = {"vc", "c", "lvc"};
constexpr int kCols = 3;
constexpr unsigned char kFill = 0xAB;

// What one road left for one cell: the answer (or the row's status), the length or
// indicator, and the whole buffer.
struct Cell {
  int outcome;
  SQLLEN ind;
  std::vector<unsigned char> bytes;
  bool operator==(const Cell&) const = default;
};

std::string Show(const Cell& c) {
  std::string s = "outcome " + std::to_string(c.outcome) + " ind " + std::to_string(c.ind) + " [";
  static const char* kHex = "0123456789ABCDEF";
  for (unsigned char b : c.bytes) {
    s += kHex[b >> 4];
    s += kHex[b & 15];
  }
  return s + "]";
}

// A row status or an answer as one outcome: taken whole, cut, or refused.
int Outcome(SQLRETURN rc) { return rc == SQL_SUCCESS ? 0 : rc == SQL_SUCCESS_WITH_INFO ? 1 : 2; }
int StatusOutcome(SQLUSMALLINT st) {
  return st == SQL_ROW_SUCCESS ? 0 : st == SQL_ROW_SUCCESS_WITH_INFO ? 1 : 2;
}

class DmTextFetch : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    ASSERT_TRUE(Recreate("text_roads", "id INTEGER, vc VARCHAR(40), c CHAR(40), lvc LVARCHAR(200)"));
    // Parameters carry the text as it stands (statement text beyond ASCII would pass
    // through the Driver Manager's own conversion).
    SQLINTEGER id = 0;
    char text[64] = {};
    SQLLEN textInd = 0;
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0,
                               nullptr),
              SQL_SUCCESS);
    for (int p = 2; p <= 4; ++p)
      ASSERT_EQ(SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(p), SQL_PARAM_INPUT, SQL_C_CHAR,
                                 SQL_VARCHAR, 200, 0, text, sizeof text, &textInd),
                SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"INSERT INTO text_roads VALUES (?, ?, ?, ?)", SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    for (int k = 0; k < kRows; ++k) {
      id = k + 1;
      textInd = kTexts[k] != nullptr ? SQL_NTS : SQL_NULL_DATA;
      std::strcpy(text, kTexts[k] != nullptr ? kTexts[k] : "");
      ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    }
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }

  void Select() {
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT vc, c, lvc FROM text_roads ORDER BY id",
                            SQL_NTS),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
  }

  // Every cell through bindings, in rowsets of `rowset` rows.
  std::vector<Cell> Bound(SQLSMALLINT cType, SQLLEN bufLen, SQLULEN rowset) {
    std::vector<unsigned char> data[kCols];
    std::vector<SQLLEN> ind[kCols];
    std::vector<SQLUSMALLINT> status(rowset);
    SQLULEN fetched = 0;
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    for (int j = 0; j < kCols; ++j) {
      data[j].assign(static_cast<size_t>(bufLen) * rowset, kFill);
      ind[j].assign(rowset, -7);
      EXPECT_EQ(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(j + 1), cType, data[j].data(), bufLen,
                           ind[j].data()),
                SQL_SUCCESS);
    }
    Select();
    std::vector<Cell> cells;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt_)) != SQL_NO_DATA) {
      if (!SQL_SUCCEEDED(rc)) {
        ADD_FAILURE() << Diags(SQL_HANDLE_STMT, stmt_);
        break;
      }
      for (SQLULEN r = 0; r < fetched; ++r)
        for (int j = 0; j < kCols; ++j) {
          const auto* first = data[j].data() + r * static_cast<size_t>(bufLen);
          cells.push_back({StatusOutcome(status[r]), ind[j][r], {first, first + bufLen}});
        }
      for (int j = 0; j < kCols; ++j) {
        std::fill(data[j].begin(), data[j].end(), kFill);
        std::fill(ind[j].begin(), ind[j].end(), -7);
      }
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    return cells;
  }

  // Every cell through SQLGetData, one call per cell. A row whose cells are all taken
  // whole counts as such; a cut cell makes its row's outcome "cut", as a row status
  // does.
  std::vector<Cell> Got(SQLSMALLINT cType, SQLLEN bufLen) {
    Select();
    std::vector<Cell> cells;
    while (SQLFetch(stmt_) == SQL_SUCCESS) {
      const size_t first = cells.size();
      int row = 0;
      for (int j = 0; j < kCols; ++j) {
        Cell c{0, -7, std::vector<unsigned char>(static_cast<size_t>(bufLen), kFill)};
        const SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(j + 1), cType,
                                        c.bytes.data(), bufLen, &c.ind);
        row = std::max(row, Outcome(rc));
        cells.push_back(std::move(c));
      }
      for (size_t k = first; k < cells.size(); ++k) cells[k].outcome = row;
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return cells;
  }
};

TEST_P(DmTextFetch, BoundRowsAndRowsetsDeliverWhatGetDataDelivers) {
  struct Target {
    SQLSMALLINT cType;
    SQLLEN bufLen;
  };
  // Buffers that take every value, that cut the longer ones inside and outside the
  // copies' runs, and that hold only a terminator.
  const Target targets[] = {{SQL_C_CHAR, 201}, {SQL_C_CHAR, 10},  {SQL_C_CHAR, 17},
                            {SQL_C_CHAR, 1},   {SQL_C_WCHAR, 402}, {SQL_C_WCHAR, 18},
                            {SQL_C_WCHAR, 2},  {SQL_C_BINARY, 402}, {SQL_C_BINARY, 9}};
  for (const Target& t : targets) {
    SCOPED_TRACE("C type " + std::to_string(t.cType) + ", buffer " + std::to_string(t.bufLen));
    const std::vector<Cell> got = Got(t.cType, t.bufLen);
    ASSERT_EQ(got.size(), static_cast<size_t>(kRows * kCols));
    for (const SQLULEN rowset : {SQLULEN{1}, SQLULEN{4}, SQLULEN{kRows}}) {
      const std::vector<Cell> bound = Bound(t.cType, t.bufLen, rowset);
      ASSERT_EQ(bound.size(), got.size()) << "rowsets of " << rowset;
      for (size_t k = 0; k < got.size(); ++k)
        ASSERT_EQ(bound[k], got[k]) << "rowsets of " << rowset << ", row " << k / kCols + 1
                                    << ", column " << kColumns[k % kCols] << "\n  bound "
                                    << Show(bound[k]) << "\n  got   " << Show(got[k]);
    }
  }
}

TEST_P(DmTextFetch, GetDataInPiecesPutsTheValueBackTogether) {
  for (const SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
    const SQLLEN unit = cType == SQL_C_WCHAR ? 2 : 1;
    // The whole values first, then every value in pieces of a few characters.
    std::vector<std::string> whole;
    const std::vector<Cell> all = Got(cType, 402);
    for (const Cell& c : all)
      whole.push_back(c.ind < 0 ? "NULL"
                                : std::string(reinterpret_cast<const char*>(c.bytes.data()),
                                              static_cast<size_t>(c.ind)));
    // Pieces down to one unit, which a character of several units does not fit: its
    // units are spread over the pieces that follow, as 8-bit text is.
    for (const SQLLEN piece : {SQLLEN{1}, SQLLEN{2}, SQLLEN{3}, SQLLEN{5}}) {
      SCOPED_TRACE("C type " + std::to_string(cType) + ", pieces of " + std::to_string(piece));
      const SQLLEN bufLen = (piece + 1) * unit;
      Select();
      size_t k = 0;
      while (SQLFetch(stmt_) == SQL_SUCCESS) {
        for (int j = 1; j <= kCols; ++j, ++k) {
          std::string value;
          std::vector<char> buf(static_cast<size_t>(bufLen));
          SQLLEN ind = 0;
          SQLRETURN rc;
          int calls = 0;
          for (;;) {
            std::fill(buf.begin(), buf.end(), 0);
            rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(j), cType, buf.data(), bufLen, &ind);
            if (rc == SQL_NO_DATA) break;
            ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, stmt_);
            ASSERT_LT(++calls, 400);
            if (ind == SQL_NULL_DATA) {
              value = "NULL";
              continue;
            }
            // Each piece tells what is left of the value from its own start.
            if (ind != SQL_NO_TOTAL) {
              ASSERT_EQ(static_cast<size_t>(ind), whole[k].size() - value.size())
                  << "row " << k / kCols + 1 << ", column " << kColumns[j - 1];
            }
            // The piece ends at its terminator: the values hold no NUL of their own, and
            // a piece that would split a character stops before it.
            size_t used = 0;
            while (used + unit <= buf.size() &&
                   (buf[used] != 0 || (unit == 2 && buf[used + 1] != 0)))
              used += static_cast<size_t>(unit);
            value.append(buf.data(), used);
          }
          ASSERT_EQ(value, whole[k]) << "row " << k / kCols + 1 << ", column " << kColumns[j - 1];
        }
      }
      SQLFreeStmt(stmt_, SQL_CLOSE);
      ASSERT_EQ(k, whole.size());
    }
  }
}

KES_E2E_BUILDS(DmTextFetch);

}  // namespace
