// e2e_types_test.cpp -- every Informix type through the Driver Manager: rows inserted
// with parameter arrays (row-wise and column-wise, NULLs among them) come back value
// for value through bound columns, block fetches of either layout and SQLGetData in
// pieces, in both driver libraries.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "e2e_db.h"

namespace {

constexpr int kRows = 7;  // not a multiple of the block size, so the last block is short

// A value as the application holds it: the bytes of the C value and the length
// the driver reports (or NULL).
struct Cell {
  bool null = false;
  SQLLEN len = 0;
  std::string bytes;
  bool operator==(const Cell&) const = default;
};

void PrintTo(const Cell& c, std::ostream* os) {
  if (c.null) {
    *os << "NULL";
    return;
  }
  *os << "len " << c.len << " [";
  for (unsigned char b : c.bytes) {
    if (b >= 0x20 && b < 0x7F) {
      *os << b;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      *os << hex;
    }
  }
  *os << "]";
}

Cell Null() { return Cell{true, SQL_NULL_DATA, {}}; }
Cell Bytes(std::string b) {
  SQLLEN n = static_cast<SQLLEN>(b.size());
  return Cell{false, n, std::move(b)};
}
Cell WText(const std::u16string& s) {
  return Bytes(std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2));
}
template <typename T>
Cell Fixed(const T& v) {
  return Bytes(std::string(reinterpret_cast<const char*>(&v), sizeof v));
}

std::string Format(const char* fmt, int k) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, k);
  return buf;
}

SQL_NUMERIC_STRUCT Numeric(long long cents) {
  SQL_NUMERIC_STRUCT n{};
  n.precision = 10;
  n.scale = 2;
  n.sign = cents < 0 ? 0 : 1;
  unsigned long long m = static_cast<unsigned long long>(cents < 0 ? -cents : cents);
  for (int i = 0; i < 8; ++i) n.val[i] = static_cast<SQLCHAR>(m >> (8 * i));
  return n;
}

// The fixed size of a C type, 0 for the variable-length ones.
SQLLEN CSize(SQLSMALLINT c) {
  switch (c) {
    case SQL_C_SHORT: return 2;
    case SQL_C_LONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_DOUBLE: return 8;
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME: return 6;
    case SQL_C_TYPE_TIMESTAMP: return 16;
    case SQL_C_NUMERIC: return 19;
    default: return 0;
  }
}

struct Col {
  const char* name;
  const char* type;  // as declared in the table
  SQLSMALLINT inC, sqlType;
  SQLULEN size;
  SQLSMALLINT digits;
  SQLSMALLINT outC;
  SQLLEN cap;                         // buffer of a variable-length value, in and out
  std::function<Cell(int)> in;        // empty: the column is not inserted
  std::function<Cell(int)> out = {};  // empty: the value comes back as it went in
};

const std::string kLong = "Lorem ipsum dolor sit amet, é consectetur adipiscing elit. ";

std::string Repeat(size_t n) {
  std::string s;
  while (s.size() < n) s += kLong;
  s.resize(n);
  // A cut through a two-byte character would not be text; end on a whole one.
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0xC0) s.pop_back();
  return s;
}

std::string LongText(int k) { return "Über " + Repeat(static_cast<size_t>(250 * k)); }

std::u16string Utf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
    for (int j = 1; j < n; ++j) c = c << 6 | (static_cast<unsigned char>(s[i + j]) & 0x3F);
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<size_t>(n);
  }
  return out;
}

const std::vector<Col>& Columns() {
  static const std::vector<Col> cols = {
      {"id", "INTEGER", SQL_C_LONG, SQL_INTEGER, 10, 0, SQL_C_LONG, 0,
       [](int k) { return Fixed<SQLINTEGER>(k + 1); }},
      {"sr",
       "SERIAL",
       0,
       0,
       0,
       0,
       SQL_C_LONG,
       0,
       {},
       [](int k) { return Fixed<SQLINTEGER>(k + 1); }},
      {"c", "CHAR(8)", SQL_C_CHAR, SQL_CHAR, 8, 0, SQL_C_CHAR, 9,
       [](int k) { return Bytes(Format("char-%03d", k)); }},
      {"nc", "NCHAR(10)", SQL_C_WCHAR, SQL_WCHAR, 10, 0, SQL_C_WCHAR, 24,
       [](int k) {
         return WText(u"Grüße-0" + std::u16string(1, static_cast<char16_t>(u'0' + k)));
       }},
      {"vc", "VARCHAR(40)", SQL_C_CHAR, SQL_VARCHAR, 40, 0, SQL_C_CHAR, 41,
       [](int k) {
         if (k == 2) return Bytes("");
         if (k == 4) return Bytes("trailing blanks  ");
         return Bytes(Format("varchar value %d", k));
       }},
      {"nvc", "NVARCHAR(60)", SQL_C_WCHAR, SQL_WVARCHAR, 60, 0, SQL_C_WCHAR, 128,
       [](int k) {
         return WText(u"Ωμέγα \U0001F600 " + std::u16string(1, static_cast<char16_t>(u'0' + k)));
       }},
      {"lvc", "LVARCHAR(3000)", SQL_C_CHAR, SQL_VARCHAR, 3000, 0, SQL_C_CHAR, 3008,
       [](int k) { return Bytes(Repeat(static_cast<size_t>(400 * k + 17))); }},
      {"si", "SMALLINT", SQL_C_SHORT, SQL_SMALLINT, 5, 0, SQL_C_SHORT, 0,
       [](int k) {
         static const SQLSMALLINT v[] = {0, -32767, 32767, -1, 1, 12345, -2};
         return Fixed(v[k]);
       }},
      {"i", "INTEGER", SQL_C_LONG, SQL_INTEGER, 10, 0, SQL_C_LONG, 0,
       [](int k) {
         static const SQLINTEGER v[] = {0, -2147483647, 2147483647, 7, -7, 100000, 42};
         return Fixed(v[k]);
       }},
      {"f", "FLOAT", SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, SQL_C_DOUBLE, 0,
       [](int k) {
         static const double v[] = {
             0.0, -0.1, 1.5e300, 3.141592653589793, -2.2250738585072014e-308, 1e-5, 123456789.125};
         return Fixed(v[k]);
       }},
      {"sf", "SMALLFLOAT", SQL_C_FLOAT, SQL_REAL, 7, 0, SQL_C_FLOAT, 0,
       [](int k) {
         static const float v[] = {0.0f, 0.1f, -3.4e38f, 1.17549435e-38f, 2.5f, -1.0f, 16777216.0f};
         return Fixed(v[k]);
       }},
      {"d", "DECIMAL(12,3)", SQL_C_CHAR, SQL_DECIMAL, 12, 3, SQL_C_CHAR, 16,
       [](int k) {
         static const char* v[] = {"0.000",  "-123456789.123", "999999999.999", "0.001",
                                   "-0.500", "42.000",         "3.140"};
         return Bytes(v[k]);
       }},
      {"df", "DECIMAL(16)", SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, SQL_C_DOUBLE, 0,
       [](int k) {
         static const double v[] = {0.000123, -98765.4321, 1e-10, 12345678901234.5,
                                    0.5,      -1.0,        2.75};
         return Fixed(v[k]);
       }},
      {"m", "MONEY(10,2)", SQL_C_NUMERIC, SQL_DECIMAL, 10, 2, SQL_C_CHAR, 16,
       [](int k) {
         static const long long v[] = {0, -12345678, 9999999999LL, 1, -50, 1234500, 7};
         return Fixed(Numeric(v[k]));
       },
       [](int k) {
         static const char* v[] = {"0.00",  "-123456.78", "99999999.99", "0.01",
                                   "-0.50", "12345.00",   "0.07"};
         return Bytes(v[k]);
       }},
      {"dt", "DATE", SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, SQL_C_TYPE_DATE, 0,
       [](int k) {
         static const SQL_DATE_STRUCT v[] = {{2024, 2, 29},  {1, 1, 1},    {9999, 12, 31},
                                             {1899, 12, 31}, {1900, 1, 1}, {1970, 1, 1},
                                             {2000, 3, 1}};
         return Fixed(v[k]);
       }},
      {"ts", "DATETIME YEAR TO FRACTION(5)", SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 25, 5,
       SQL_C_TYPE_TIMESTAMP, 0,
       [](int k) {
         static const SQL_TIMESTAMP_STRUCT v[] = {{2024, 2, 29, 23, 59, 58, 123000000},
                                                  {1, 1, 1, 0, 0, 0, 0},
                                                  {9999, 12, 31, 23, 59, 59, 999000000},
                                                  {1970, 1, 1, 0, 0, 0, 1000000},
                                                  {2000, 2, 29, 12, 30, 0, 500000000},
                                                  {1899, 12, 31, 1, 2, 3, 0},
                                                  {2038, 1, 19, 3, 14, 7, 0}};
         return Fixed(v[k]);
       }},
      {"th", "DATETIME HOUR TO SECOND", SQL_C_TYPE_TIME, SQL_TYPE_TIME, 8, 0, SQL_C_TYPE_TIME, 0,
       [](int k) {
         static const SQL_TIME_STRUCT v[] = {{0, 0, 0},    {23, 59, 59}, {12, 0, 1},  {1, 2, 3},
                                             {10, 11, 12}, {6, 30, 0},   {18, 45, 15}};
         return Fixed(v[k]);
       }},
      {"iv", "INTERVAL DAY(3) TO SECOND", SQL_C_CHAR, SQL_VARCHAR, 20, 0, SQL_C_CHAR, 24,
       [](int k) {
         static const char* v[] = {"0 00:00:00",  "-123 03:04:05", "999 23:59:59", "1 00:00:01",
                                   "-1 12:00:00", "42 01:01:01",   "7 07:07:07"};
         return Bytes(v[k]);
       }},
      {"tx", "TEXT", SQL_C_WCHAR, SQL_WLONGVARCHAR, 100000, 0, SQL_C_CHAR, 4096,
       [](int k) { return WText(Utf16(LongText(k))); }, [](int k) { return Bytes(LongText(k)); }},
      {"by", "BYTE", SQL_C_BINARY, SQL_LONGVARBINARY, 100000, 0, SQL_C_BINARY, 1024,
       [](int k) {
         std::string b;
         for (int n = 0; n < 131 * k + 3; ++n) b.push_back(static_cast<char>((n * 7 + k) & 0xFF));
         return Bytes(b);
       }},
  };
  return cols;
}

// Each inserted column but the key is NULL in one row, a different row for
// neighbouring columns, so every row carries NULLs and values side by side.
bool IsNull(int k, size_t j) {
  return j > 0 && Columns()[j].in && (k + static_cast<int>(j)) % kRows == 0;
}

Cell Expected(int k, size_t j) {
  const Col& c = Columns()[j];
  if (IsNull(k, j)) return Null();
  return c.out ? c.out(k) : c.in(k);
}

// Application buffers for rows of values, laid out row-wise (one record per row,
// each value followed by its length) or column-wise (an array per column and an
// array of lengths beside it).
class Grid {
 public:
  Grid(std::vector<SQLLEN> elems, int rows, bool rowWise)
      : elems_(std::move(elems)), rowWise_(rowWise) {
    size_t off = 0;
    for (SQLLEN e : elems_) {
      size_t n = rowWise ? static_cast<size_t>(e) : static_cast<size_t>(e) * rows;
      data_.push_back(off);
      off += (n + 7) / 8 * 8;
      ind_.push_back(off);
      off += rowWise ? sizeof(SQLLEN) : sizeof(SQLLEN) * rows;
    }
    stride_ = rowWise ? off : 0;
    store_.assign((rowWise ? off * rows : off) / sizeof(SQLLEN) + 1, 0);
  }

  // The row size of row-wise binding, 0 (SQL_BIND_BY_COLUMN) for column-wise.
  SQLULEN BindType() const { return stride_; }
  char* Data(size_t j, int k = 0) {
    return base() + data_[j] + static_cast<size_t>(k) * (rowWise_ ? stride_ : elems_[j]);
  }
  SQLLEN* Ind(size_t j, int k = 0) {
    return reinterpret_cast<SQLLEN*>(base() + ind_[j] +
                                     static_cast<size_t>(k) * (rowWise_ ? stride_ : 8));
  }
  SQLLEN Elem(size_t j) const { return elems_[j]; }

  // Text goes in with SQL_NTS in every other row, so both ways of giving a length are used.
  void Put(int k, size_t j, const Cell& c, SQLSMALLINT cType) {
    if (c.null) {
      *Ind(j, k) = SQL_NULL_DATA;
      return;
    }
    std::memcpy(Data(j, k), c.bytes.data(), c.bytes.size());
    bool text = cType == SQL_C_CHAR || cType == SQL_C_WCHAR;
    if (text) std::memset(Data(j, k) + c.bytes.size(), 0, cType == SQL_C_WCHAR ? 2 : 1);
    *Ind(j, k) = text && k % 2 == 0 ? SQL_NTS : c.len;
  }

  Cell Get(int k, size_t j, SQLSMALLINT cType) {
    SQLLEN ind = *Ind(j, k);
    if (ind == SQL_NULL_DATA) return Null();
    SQLLEN n = CSize(cType);
    if (n == 0) {
      SQLLEN room = elems_[j] - (cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? 2 : 0);
      n = ind < 0 ? 0 : std::min(ind, room);
    }
    return Cell{false, ind, std::string(Data(j, k), static_cast<size_t>(n))};
  }

 private:
  char* base() { return reinterpret_cast<char*>(store_.data()); }
  std::vector<SQLLEN> elems_;
  bool rowWise_;
  std::vector<size_t> data_, ind_;
  size_t stride_ = 0;
  std::vector<SQLLEN> store_;  // SQLLEN elements keep every value 8-byte aligned
};

class Types : public DbTest {
 protected:
  static std::string Ddl() {
    std::string s;
    for (const Col& c : Columns()) s += std::string(s.empty() ? "" : ", ") + c.name + " " + c.type;
    return s;
  }
  static std::string SelectAll() {
    std::string s;
    for (const Col& c : Columns()) s += std::string(s.empty() ? "SELECT " : ", ") + c.name;
    return s + " FROM alltypes ORDER BY id";
  }

  void Insert(bool rowWise) {
    ASSERT_TRUE(Recreate("alltypes", Ddl()));
    std::vector<size_t> cols;
    std::vector<SQLLEN> elems;
    std::string names, marks;
    for (size_t j = 0; j < Columns().size(); ++j) {
      const Col& c = Columns()[j];
      if (!c.in) continue;
      cols.push_back(j);
      elems.push_back(CSize(c.inC) ? CSize(c.inC) : c.cap);
      names += std::string(names.empty() ? "" : ", ") + c.name;
      marks += marks.empty() ? "?" : ", ?";
    }
    Grid g(elems, kRows, rowWise);
    for (int k = 0; k < kRows; ++k)
      for (size_t p = 0; p < cols.size(); ++p) {
        const Col& c = Columns()[cols[p]];
        g.Put(k, p, IsNull(k, cols[p]) ? Null() : c.in(k), c.inC);
      }
    std::string sql = "INSERT INTO alltypes (" + names + ") VALUES (" + marks + ")";
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    for (size_t p = 0; p < cols.size(); ++p) {
      const Col& c = Columns()[cols[p]];
      ASSERT_EQ(SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(p + 1), SQL_PARAM_INPUT, c.inC,
                                 c.sqlType, c.size, c.digits, g.Data(p), g.Elem(p), g.Ind(p)),
                SQL_SUCCESS)
          << c.name << "\n"
          << Diags(SQL_HANDLE_STMT, stmt_);
    }
    SQLULEN processed = 0;
    SQLUSMALLINT status[kRows];
    std::memset(status, 0xFF, sizeof status);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)g.BindType(), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)kRows, 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(processed, static_cast<SQLULEN>(kRows));
    for (SQLUSMALLINT s : status)
      EXPECT_TRUE(s == SQL_PARAM_SUCCESS || s == SQL_PARAM_DIAG_UNAVAILABLE) << s;
    // The statement is reused for reading: back to single parameter sets and no bindings.
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0), SQL_SUCCESS);
    ASSERT_EQ(
        SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)SQL_PARAM_BIND_BY_COLUMN, 0),
        SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0), SQL_SUCCESS);
  }

  // Reads every row through bound columns, `block` rows per fetch.
  std::vector<std::vector<Cell>> ReadBound(bool rowWise, int block) {
    std::vector<std::vector<Cell>> rows;
    std::vector<SQLLEN> elems;
    for (const Col& c : Columns()) elems.push_back(CSize(c.outC) ? CSize(c.outC) : c.cap);
    Grid g(elems, block, rowWise);
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(static_cast<size_t>(block));
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)g.BindType(), 0),
              SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)(SQLULEN)block, 0),
              SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)SelectAll().c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    for (size_t j = 0; j < Columns().size(); ++j)
      EXPECT_EQ(SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(j + 1), Columns()[j].outC, g.Data(j),
                           g.Elem(j), g.Ind(j)),
                SQL_SUCCESS)
          << Columns()[j].name;
    std::vector<SQLULEN> counts;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt_)) == SQL_SUCCESS) {
      counts.push_back(fetched);
      for (int r = 0; r < static_cast<int>(fetched) && r < block; ++r) {
        EXPECT_EQ(status[static_cast<size_t>(r)], SQL_ROW_SUCCESS) << "row " << rows.size();
        std::vector<Cell> row;
        for (size_t j = 0; j < Columns().size(); ++j) row.push_back(g.Get(r, j, Columns()[j].outC));
        rows.push_back(std::move(row));
      }
      if (rows.size() > kRows) break;
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << Diags(SQL_HANDLE_STMT, stmt_);
    std::vector<SQLULEN> want;
    for (int left = kRows; left > 0; left -= block)
      want.push_back(static_cast<SQLULEN>(std::min(left, block)));
    EXPECT_EQ(counts, want);
    EXPECT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
    return rows;
  }

  static void ExpectAll(const std::vector<std::vector<Cell>>& rows) {
    ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
    for (int k = 0; k < kRows; ++k)
      for (size_t j = 0; j < Columns().size(); ++j)
        EXPECT_EQ(rows[static_cast<size_t>(k)][j], Expected(k, j))
            << "row " << k << " column " << Columns()[j].name;
  }
};

TEST_P(Types, ParamArraysOfEitherLayoutComeBackThroughBoundColumns) {
  for (bool rowWise : {true, false}) {
    SCOPED_TRACE(rowWise ? "row-wise parameters" : "column-wise parameters");
    Insert(rowWise);
    if (HasFatalFailure()) return;
    ExpectAll(ReadBound(false, 1));
  }
}

TEST_P(Types, BlockFetchOfEitherLayout) {
  Insert(false);
  if (HasFatalFailure()) return;
  for (bool rowWise : {true, false}) {
    SCOPED_TRACE(rowWise ? "row-wise columns" : "column-wise columns");
    ExpectAll(ReadBound(rowWise, 3));
  }
}

// Long values are read in pieces far smaller than the value; the pieces join up to
// the value, each cut one warns with 01004, and the cell answers SQL_NO_DATA once
// it is delivered.
TEST_P(Types, GetDataInPieces) {
  Insert(true);
  if (HasFatalFailure()) return;
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)SelectAll().c_str(), SQL_NTS), SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  for (int k = 0; k < kRows; ++k) {
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    for (size_t j = 0; j < Columns().size(); ++j) {
      const Col& c = Columns()[j];
      SCOPED_TRACE(std::string("row ") + std::to_string(k) + " column " + c.name);
      const Cell want = Expected(k, j);
      char buf[32];
      SQLLEN ind = 0;
      SQLLEN fixed = CSize(c.outC);
      if (fixed != 0) {
        ASSERT_EQ(
            SQLGetData(stmt_, static_cast<SQLUSMALLINT>(j + 1), c.outC, buf, sizeof buf, &ind),
            SQL_SUCCESS)
            << Diags(SQL_HANDLE_STMT, stmt_);
        Cell got = ind == SQL_NULL_DATA
                       ? Null()
                       : Cell{false, ind, std::string(buf, static_cast<size_t>(fixed))};
        EXPECT_EQ(got, want);
        EXPECT_EQ(
            SQLGetData(stmt_, static_cast<SQLUSMALLINT>(j + 1), c.outC, buf, sizeof buf, &ind),
            SQL_NO_DATA);
        continue;
      }
      // Room for 10 bytes of text, 5 UTF-16 units, or 10 bytes of a binary value.
      const SQLLEN room = 10;
      const SQLLEN size = c.outC == SQL_C_CHAR    ? room + 1
                          : c.outC == SQL_C_WCHAR ? 2 * (room / 2) + 2
                                                  : room;
      std::string got;
      SQLLEN first = 0;
      bool null = false;
      for (int piece = 0;; ++piece) {
        ASSERT_LT(piece, 1000);
        std::memset(buf, 0x7F, sizeof buf);
        SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(j + 1), c.outC, buf, size, &ind);
        if (piece == 0) first = ind;
        if (rc == SQL_NO_DATA) {
          EXPECT_GT(piece, 0);
          break;
        }
        ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
            << rc << Diags(SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) {
          null = true;
          EXPECT_EQ(SQLGetData(stmt_, static_cast<SQLUSMALLINT>(j + 1), c.outC, buf, size, &ind),
                    SQL_NO_DATA);
          break;
        }
        size_t n;
        if (c.outC == SQL_C_CHAR) {
          n = strnlen(buf, static_cast<size_t>(size));
        } else if (c.outC == SQL_C_WCHAR) {
          n = 0;
          while (n + 1 < static_cast<size_t>(size) && (buf[n] != 0 || buf[n + 1] != 0)) n += 2;
        } else {
          n = rc == SQL_SUCCESS ? static_cast<size_t>(ind) : static_cast<size_t>(size);
        }
        got.append(buf, n);
        if (rc == SQL_SUCCESS_WITH_INFO) {
          EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01004");
          EXPECT_TRUE(ind == SQL_NO_TOTAL || ind > static_cast<SQLLEN>(n)) << ind;
        } else {
          EXPECT_EQ(ind, static_cast<SQLLEN>(n));
        }
      }
      if (null) {
        EXPECT_TRUE(want.null);
      } else {
        EXPECT_FALSE(want.null);
        EXPECT_EQ(Bytes(got), Bytes(want.bytes));
        EXPECT_TRUE(first == want.len || first == SQL_NO_TOTAL) << first;
      }
    }
  }
  EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
}

KES_E2E_BUILDS(Types);

}  // namespace
