// calls_fuzz.cpp -- sequences of ODBC calls as a careless but truthful application
// makes them: statements and descriptors allocated and freed, a second connection,
// generated SQL prepared and executed, columns and parameters bound with odd types,
// lengths and indicators (row-wise too, at offsets), every cursor type scrolled,
// positioned and changed with extreme arguments, values sent at execution,
// descriptors edited and copied in the middle of a fetch, diagnostics read at any
// point. Each byte of the input picks the next call; the bytes after it its arguments.
//
// Truthful: every buffer the driver is handed is as large as the lengths, strides,
// offsets and array sizes the application gives for it (the arrays hold the 100 rows
// of the largest rowset the driver allows, a stride of a whole row-wise record and
// an offset, and end in zeros), and aligned as ODBC asks of applications (strides and
// bind offsets are multiples of 8, so no length or value lands on an odd address), so
// that any read or write outside them is the
// driver's: the address sanitizer reports it, each buffer being followed by a long
// poisoned stretch that a row far past an array lands in. A rowset count larger than
// the rowset, a status outside ODBC's values, a move past 2^31 rows that answers a
// rowset or a diagnostic text that does not end where its length says end the run as
// findings.
// Each input starts on fresh statements over one lasting connection and ends rolled
// back, so that every input meets the same database.

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include <sanitizer/asan_interface.h>

#include "fuzz_driver.h"

namespace {

// ---- The input -------------------------------------------------------------------

struct Input {
  const uint8_t* p;
  size_t n;
  bool empty() const { return n == 0; }
  uint8_t u8() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint16_t u16() {
    const uint8_t lo = u8();
    return static_cast<uint16_t>(lo | u8() << 8);
  }
  uint64_t u64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(u8()) << (8 * i);
    return v;
  }
  template <typename T, size_t N>
  T pick(const T (&a)[N]) {
    return a[u8() % N];
  }
  // Up to max bytes of text, its length first.
  std::string text(size_t max) {
    const size_t want = u8() % (max + 1);
    const size_t len = std::min(want, n);
    std::string s(reinterpret_cast<const char*>(p), len);
    p += len;
    n -= len;
    return s;
  }
};

// ---- The application's memory ----------------------------------------------------

constexpr int kRows = 100;     // the largest rowset and parameter array handed over
constexpr int kCols = 8;       // columns and parameters bound
constexpr int kElem = 64;      // the largest buffer length given for one value
constexpr int kRowSize = 640;  // the largest row-wise record (and bind type) given
constexpr int kMaxOffset = 256;
// Room for every row at the largest stride after the largest offset; the last bytes
// stay zero, so that a text of SQL_NTS ends inside.
constexpr size_t kArena = size_t{kRows} * kRowSize + kMaxOffset + 64;
// Poisoned behind each array: room for row 65536 of an 8-byte array or row 1638 of a
// whole record, the farthest rows that do not land in the next array.
constexpr size_t kArenaTail = size_t{1} << 20;
constexpr size_t kTail = 4096;

struct Buffer {
  uint8_t* base = nullptr;
  size_t size = 0;
};

// Every buffer, each with its poisoned stretch behind it.
struct Memory {
  Buffer data[kCols], ind[kCols], len[kCols];
  Buffer row;                                                  // one row-wise record per row
  Buffer rowStatus, rowOps, paramStatus, paramOps, extStatus;  // u16 arrays
  Buffer counters;             // rows fetched, params processed, bookmark, offset
  Buffer getData, text, diag;  // SQLGetData, names and texts, diagnostics
};
Memory g_mem;

Buffer make(size_t size, size_t tail = kTail) {
  Buffer b;
  b.size = size;
  b.base = static_cast<uint8_t*>(std::malloc(size + tail));
  ASAN_POISON_MEMORY_REGION(b.base + size, tail);
  return b;
}

void reset(Buffer& b) { std::memset(b.base, 0, b.size); }

template <typename F>
void each_buffer(F f) {
  Memory& m = g_mem;
  for (int c = 0; c < kCols; ++c) {
    f(m.data[c]);
    f(m.ind[c]);
    f(m.len[c]);
  }
  for (Buffer* b : {&m.row, &m.rowStatus, &m.rowOps, &m.paramStatus, &m.paramOps, &m.extStatus,
                    &m.counters, &m.getData, &m.text, &m.diag})
    f(*b);
}

void make_memory() {
  Memory& m = g_mem;
  for (int c = 0; c < kCols; ++c) {
    m.data[c] = make(kArena, kArenaTail);
    m.ind[c] = make(kArena, kArenaTail);
    m.len[c] = make(kArena, kArenaTail);
  }
  m.row = make(kArena, kArenaTail);
  for (Buffer* b : {&m.rowStatus, &m.rowOps, &m.paramStatus, &m.paramOps, &m.extStatus})
    *b = make(kRows * sizeof(SQLUSMALLINT));
  m.counters = make(4 * sizeof(SQLLEN));
  m.getData = make(512);
  m.text = make(512);
  m.diag = make(1024);
}

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "calls_fuzz finding: %s\n", what);
  std::abort();
}

SQLULEN* rows_fetched() { return reinterpret_cast<SQLULEN*>(g_mem.counters.base); }
SQLULEN* params_processed() { return reinterpret_cast<SQLULEN*>(g_mem.counters.base) + 1; }
SQLLEN* fetch_bookmark() { return reinterpret_cast<SQLLEN*>(g_mem.counters.base) + 2; }
SQLLEN* bind_offset() { return reinterpret_cast<SQLLEN*>(g_mem.counters.base) + 3; }

// ---- Interesting values ----------------------------------------------------------

// clang-format off
constexpr SQLSMALLINT kCTypes[] = {
    SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY, SQL_C_BIT, SQL_C_STINYINT, SQL_C_UTINYINT,
    SQL_C_SSHORT, SQL_C_USHORT, SQL_C_SLONG, SQL_C_ULONG, SQL_C_SBIGINT, SQL_C_UBIGINT,
    SQL_C_FLOAT, SQL_C_DOUBLE, SQL_C_NUMERIC, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME,
    SQL_C_TYPE_TIMESTAMP, SQL_C_DATE, SQL_C_TIMESTAMP, SQL_C_GUID, SQL_C_DEFAULT,
    SQL_C_INTERVAL_DAY_TO_SECOND, SQL_C_INTERVAL_YEAR, SQL_C_VARBOOKMARK, SQL_C_BOOKMARK,
    SQL_C_TINYINT, SQL_C_LONG, 0, -999, SQL_ARD_TYPE, -100 /* SQL_APD_TYPE */,
};
constexpr SQLSMALLINT kSqlTypes[] = {
    SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR, SQL_WCHAR, SQL_WVARCHAR, SQL_BINARY, SQL_INTEGER,
    SQL_SMALLINT, SQL_BIGINT, SQL_DOUBLE, SQL_REAL, SQL_DECIMAL, SQL_NUMERIC, SQL_TYPE_DATE,
    SQL_TYPE_TIMESTAMP, SQL_INTERVAL_DAY_TO_SECOND, SQL_BIT, SQL_GUID, 0, -999,
};
// Buffer lengths, never beyond the element the application has.
constexpr SQLLEN kBufLens[] = {0, 1, 2, 3, 4, 7, 8, 9, 16, 17, 31, 32, 63, 64, -1, -64};
// Length and indicator values: each length fits the element it describes.
constexpr SQLLEN kLengths[] = {
    0, 1, 2, 3, 4, 7, 8, 16, 63, 64, SQL_NULL_DATA, SQL_NTS, SQL_DATA_AT_EXEC, SQL_COLUMN_IGNORE,
    SQL_NO_TOTAL, SQL_DEFAULT_PARAM, SQL_LEN_DATA_AT_EXEC(0), SQL_LEN_DATA_AT_EXEC(5),
    SQL_LEN_DATA_AT_EXEC(1LL << 40), -7, LLONG_MIN,
};
// Scroll offsets and bookmarks: small ones, and those past 32 bits and at the ends of 64.
constexpr SQLLEN kOffsets[] = {
    0, 1, -1, 2, -2, 3, 4, 5, 9, 10, 11, 12, 13, 20, INT_MAX, INT_MIN, 2147483648LL,
    -2147483649LL, 4294967297LL, -4294967297LL, 4294967306LL, LLONG_MAX, LLONG_MIN,
    LLONG_MAX - 1, LLONG_MIN + 1,
};
constexpr SQLSMALLINT kOrientations[] = {
    SQL_FETCH_NEXT, SQL_FETCH_FIRST, SQL_FETCH_LAST, SQL_FETCH_PRIOR, SQL_FETCH_ABSOLUTE,
    SQL_FETCH_RELATIVE, SQL_FETCH_BOOKMARK, 0, 7, 9, -1,
};
constexpr SQLSETPOSIROW kSetPosRows[] = {
    0, 1, 2, 3, 4, 5, 7, 99, 100, 101, 65535, 65536, 65537, 1ULL << 31, (1ULL << 32) + 1, ~0ULL};
constexpr SQLULEN kRowsetSizes[] = {
    0, 1, 1, 2, 3, 3, 5, 7, 12, 13, 100, 101, 65536, (1ULL << 32) + 1, ~0ULL};
constexpr SQLULEN kKeysetSizes[] = {0, 0, 1, 2, 3, 4, 6, 20, 100, 1ULL << 31, (1ULL << 32) + 3};
constexpr const char* kNames[] = {
    "k", "t", "p", "K", "%", "k%", "", "id", "\"k\"", "no_such", "sysmaster:sysdatabases"};

// clang-format on

// Statement texts, some with markers; a run of input text may follow one.
constexpr const char* kSql[] = {
    "SELECT id, name, qty, d, amt, note FROM k ORDER BY id",
    "SELECT id, name FROM k ORDER BY id",
    "SELECT * FROM k WHERE id > ? ORDER BY id",
    "SELECT id, name, qty FROM k WHERE name <> ? ORDER BY name DESC",
    "SELECT name, id FROM k ORDER BY qty, id",
    "SELECT a, b, c FROM t",
    "SELECT * FROM p",
    "SELECT COUNT(*), MAX(id) FROM k",
    "SELECT DISTINCT qty FROM k",
    "SELECT k.id, t.b FROM k, t WHERE k.id = t.a",
    "SELECT id, note FROM k FOR UPDATE",
    "SELECT id, {fn UCASE(name)}, {d '2024-05-06'}, {ts '2024-05-06 07:08:09'} FROM k",
    "SELECT id FROM k WHERE id = ? OR name = ? OR qty = ? OR d = ? OR amt = ?",
    "INSERT INTO k VALUES (?, ?, ?, ?, ?, ?)",
    "INSERT INTO k (id, name) VALUES (?, ?)",
    "UPDATE k SET name = ?, qty = ? WHERE id = ?",
    "UPDATE k SET qty = qty + 1 WHERE CURRENT OF fzc",
    "DELETE FROM k WHERE id = ?",
    "DELETE FROM k WHERE CURRENT OF fzc",
    ("INSERT INTO p (c, v, i, s, f, r, d, m, dt, ts, ds, ym, l) VALUES "
     "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
    "CREATE TEMP TABLE tmp (x INTEGER PRIMARY KEY, y VARCHAR(10))",
    "SELECT x, y FROM tmp",
    "SELECT id FROM k WHERE ",
    "{call no_such(?)}",
    "",
};

// ---- The handles -------------------------------------------------------------------

constexpr int kStmts = 4;
constexpr int kDescs = 2;

struct Handles {
  SQLHDBC conn[2] = {};  // the lasting connection and one of the input's own
  SQLHSTMT stmt[kStmts] = {};
  SQLHDESC desc[kDescs] = {};
  int stmtConn[kStmts] = {};  // the connection each was allocated on
  int descConn[kDescs] = {};
};
Handles g_h;
bool g_tempTable = false;  // the input made the session's temporary table

// A connection that meets a lock at once with an error. The driver's sessions wait for
// locks; with two connections on one thread a wait is a deadlock of the input's own
// making that lasts the whole wait, not a finding.
SQLHDBC connect_no_wait() {
  SQLHDBC dbc = FuzzConnect();
  SQLHSTMT s = nullptr;
  if (dbc != nullptr && SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s) == SQL_SUCCESS) {
    (void)SQLExecDirect(s, (SQLCHAR*)"SET LOCK MODE TO NOT WAIT", SQL_NTS);
    (void)SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
  return dbc;
}

SQLHDBC lasting() {
  static SQLHDBC dbc = FuzzDriverStart() ? connect_no_wait() : nullptr;
  return dbc;
}

int conn_index(Input& in) { return in.u8() % 3 == 1 && g_h.conn[1] != nullptr ? 1 : 0; }
SQLHDBC conn_of(Input& in) { return g_h.conn[conn_index(in)]; }

// A row-wise stride: 0 (column-wise) or the size of a record, which C pads to its
// alignment.
SQLULEN aligned_stride(Input& in) { return SQLULEN{in.u16() % (kRowSize / 8 + 1u)} * 8; }

// A pointer the application may hand over: into one of its buffers, or null.
uint8_t* element(Input& in, Buffer* arenas) {
  const uint8_t c = in.u8();
  if (c % 11 == 10) return nullptr;
  return arenas[c % kCols].base;
}

// Any handle the input names, of its kind.
void any_handle(Input& in, SQLSMALLINT* type, SQLHANDLE* h) {
  switch (in.u8() % 5) {
    case 0:
      *type = SQL_HANDLE_ENV;
      *h = FuzzEnv();
      return;
    case 1:
      *type = SQL_HANDLE_DBC;
      *h = conn_of(in);
      return;
    case 2:
      *type = SQL_HANDLE_DESC;
      *h = g_h.desc[in.u8() % kDescs];
      return;
    default:
      *type = SQL_HANDLE_STMT;
      *h = g_h.stmt[in.u8() % kStmts];
      return;
  }
}

// One of a statement's descriptors, or an explicit one.
SQLHDESC a_desc(Input& in, SQLHSTMT s) {
  const uint8_t c = in.u8() % 6;
  if (c >= 4) return g_h.desc[c - 4];
  if (s == nullptr) return nullptr;
  static constexpr SQLINTEGER kWhich[] = {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC,
                                          SQL_ATTR_IMP_ROW_DESC, SQL_ATTR_IMP_PARAM_DESC};
  SQLHDESC d = nullptr;
  if (SQLGetStmtAttr(s, kWhich[c], &d, SQL_IS_POINTER, nullptr) != SQL_SUCCESS) return nullptr;
  return d;
}

// ---- Oracles ---------------------------------------------------------------------

// A fetch that succeeded delivered no more rows than its rowset holds, each with
// one of ODBC's statuses. (Reading the attributes clears the statement's
// diagnostics, so only some fetches are checked.)
void check_rowset(SQLHSTMT s, SQLRETURN rc, const SQLULEN* fetched, bool check) {
  if (!check || !SQL_SUCCEEDED(rc) || s == nullptr) return;
  SQLULEN size = 0;
  SQLULEN* rows = nullptr;
  SQLUSMALLINT* statuses = nullptr;
  if (SQLGetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr) != SQL_SUCCESS ||
      SQLGetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &rows, 0, nullptr) != SQL_SUCCESS ||
      SQLGetStmtAttr(s, SQL_ATTR_ROW_STATUS_PTR, &statuses, 0, nullptr) != SQL_SUCCESS)
    return;
  if (fetched == nullptr) fetched = rows;
  if (fetched != nullptr && *fetched > size) finding("more rows fetched than the rowset holds");
  if (statuses == nullptr || size > static_cast<SQLULEN>(kRows)) return;
  for (SQLULEN i = 0; i < size; ++i)
    if (statuses[i] > SQL_ROW_SUCCESS_WITH_INFO) finding("a row status outside ODBC's values");
}

// No result here holds 2^31 rows: a move that far names no rowset. SQLFetchScroll
// adds a bookmark of 32 bits to its offset; SQLExtendedFetch takes the bookmark itself.
void check_far_move(SQLRETURN rc, SQLSMALLINT orientation, SQLLEN offset, bool extended) {
  if (!SQL_SUCCEEDED(rc)) return;
  const SQLLEN far = orientation == SQL_FETCH_BOOKMARK && !extended ? 1LL << 32 : 1LL << 31;
  const bool moves = orientation == SQL_FETCH_ABSOLUTE || orientation == SQL_FETCH_RELATIVE ||
                     orientation == SQL_FETCH_BOOKMARK;
  if (moves && (offset >= far || offset <= -far))
    finding("a move past 2^31 rows answered a rowset");
}

// ---- The calls ---------------------------------------------------------------------

void set_stmt_attr(Input& in, SQLHSTMT s) {
  SQLINTEGER attr = 0;
  SQLULEN v = 0;
  SQLPOINTER ptr = nullptr;
  bool pointer = false;
  switch (in.u8() % 26) {
    case 0:
      attr = SQL_ATTR_CURSOR_TYPE;
      v = in.pick<SQLULEN>({0, 1, 2, 3, 3, 1, 7});
      break;
    case 1:
      attr = SQL_ATTR_CONCURRENCY;
      v = in.pick<SQLULEN>({1, 2, 3, 4, 4, 0, 99});
      break;
    case 2:
      attr = SQL_ATTR_KEYSET_SIZE;
      v = in.pick(kKeysetSizes);
      break;
    case 3:
      attr = SQL_ATTR_ROW_ARRAY_SIZE;
      v = in.pick(kRowsetSizes);
      break;
    case 4:
      attr = SQL_ROWSET_SIZE;
      v = in.pick(kRowsetSizes);
      break;
    case 5:
      attr = SQL_ATTR_USE_BOOKMARKS;
      v = in.pick<SQLULEN>({0, 1, 2, 7});
      break;
    case 6:
      attr = SQL_ATTR_RETRIEVE_DATA;
      v = in.pick<SQLULEN>({0, 1, 5});
      break;
    case 7:
      attr = SQL_ATTR_MAX_ROWS;
      v = in.pick<SQLULEN>({0, 1, 2, 5, 1ULL << 33});
      break;
    case 8:
      attr = SQL_ATTR_ROW_BIND_TYPE;
      v = aligned_stride(in);
      break;
    case 9:
      attr = SQL_ATTR_ROW_BIND_OFFSET_PTR;
      pointer = true;
      ptr = in.u8() % 3 != 0 ? bind_offset() : nullptr;
      break;
    case 10:
      attr = SQL_ATTR_ROW_STATUS_PTR;
      pointer = true;
      ptr = in.u8() % 4 != 0 ? g_mem.rowStatus.base : nullptr;
      break;
    case 11:
      attr = SQL_ATTR_ROWS_FETCHED_PTR;
      pointer = true;
      ptr = in.u8() % 4 != 0 ? rows_fetched() : nullptr;
      break;
    case 12:
      attr = SQL_ATTR_ROW_OPERATION_PTR;
      pointer = true;
      ptr = in.u8() % 3 != 0 ? g_mem.rowOps.base : nullptr;
      break;
    case 13:
      attr = SQL_ATTR_FETCH_BOOKMARK_PTR;
      pointer = true;
      ptr = in.u8() % 4 != 0 ? fetch_bookmark() : nullptr;
      break;
    case 14:
      attr = SQL_ATTR_PARAMSET_SIZE;
      v = in.u8() % (kRows + 1);
      break;
    case 15:
      attr = SQL_ATTR_PARAM_BIND_TYPE;
      v = aligned_stride(in);
      break;
    case 16:
      attr = SQL_ATTR_PARAM_BIND_OFFSET_PTR;
      pointer = true;
      ptr = in.u8() % 3 != 0 ? bind_offset() : nullptr;
      break;
    case 17:
      attr = SQL_ATTR_PARAM_STATUS_PTR;
      pointer = true;
      ptr = in.u8() % 3 != 0 ? g_mem.paramStatus.base : nullptr;
      break;
    case 18:
      attr = SQL_ATTR_PARAMS_PROCESSED_PTR;
      pointer = true;
      ptr = in.u8() % 3 != 0 ? params_processed() : nullptr;
      break;
    case 19:
      attr = SQL_ATTR_PARAM_OPERATION_PTR;
      pointer = true;
      ptr = in.u8() % 3 != 0 ? g_mem.paramOps.base : nullptr;
      break;
    case 20:
      attr = SQL_ATTR_SIMULATE_CURSOR;
      v = in.u8() % 4;
      break;
    case 21:
      attr = SQL_ATTR_CURSOR_SCROLLABLE;
      v = in.u8() % 3;
      break;
    case 22:
      attr = SQL_ATTR_CURSOR_SENSITIVITY;
      v = in.u8() % 4;
      break;
    case 23:
      attr = SQL_ATTR_MAX_LENGTH;
      v = in.pick<SQLULEN>({0, 1, 5, 100, 70000});
      break;
    case 24:
      attr = SQL_ATTR_NOSCAN;
      v = in.u8() % 3;
      break;
    default:
      // Attributes the driver does not know, with any integer.
      attr = in.pick<SQLINTEGER>({-1, 0, 5000, 1049, 1051, 1053, 1055, 20000, INT_MIN});
      v = in.u64();
      break;
  }
  (void)SQLSetStmtAttr(s, attr, pointer ? ptr : reinterpret_cast<SQLPOINTER>(v),
                       pointer ? SQL_IS_POINTER : SQL_IS_UINTEGER);
}

void bind_col(Input& in, SQLHSTMT s) {
  const SQLUSMALLINT col = in.pick<SQLUSMALLINT>({0, 1, 1, 2, 2, 3, 4, 5, 6, 7, 9, 300});
  const SQLSMALLINT cType = in.pick(kCTypes);
  const bool rowWise = in.u8() % 3 == 0;
  const int slot = col % kCols;
  uint8_t* data = rowWise ? g_mem.row.base + slot * (kRowSize / kCols) : element(in, g_mem.data);
  SQLLEN* ind = nullptr;
  if (in.u8() % 4 != 0)
    ind = reinterpret_cast<SQLLEN*>(rowWise ? g_mem.row.base + slot * (kRowSize / kCols) + kElem
                                            : g_mem.ind[slot].base);
  (void)SQLBindCol(s, col, cType, data, in.pick(kBufLens), ind);
}

void bind_param(Input& in, SQLHSTMT s) {
  const SQLUSMALLINT param = in.pick<SQLUSMALLINT>({1, 1, 2, 3, 4, 5, 6, 13, 0, 14});
  const SQLSMALLINT io = in.pick<SQLSMALLINT>(
      {SQL_PARAM_INPUT, SQL_PARAM_INPUT, SQL_PARAM_INPUT_OUTPUT, SQL_PARAM_OUTPUT, 0, 9});
  const SQLSMALLINT cType = in.pick(kCTypes);
  const SQLSMALLINT sqlType = in.pick(kSqlTypes);
  const SQLULEN size = in.pick<SQLULEN>({0, 1, 5, 10, 20, 32, 255, 4000, 1ULL << 33});
  const SQLSMALLINT digits = static_cast<SQLSMALLINT>(static_cast<int8_t>(in.u8()));
  const int slot = param % kCols;
  const bool rowWise = in.u8() % 3 == 0;
  uint8_t* data = rowWise ? g_mem.row.base + slot * (kRowSize / kCols) : element(in, g_mem.data);
  SQLLEN* ind = nullptr;
  if (in.u8() % 4 != 0)
    ind = reinterpret_cast<SQLLEN*>(rowWise ? g_mem.row.base + slot * (kRowSize / kCols) + kElem
                                            : g_mem.ind[slot].base);
  (void)SQLBindParameter(s, param, io, cType, sqlType, size, digits, data, in.pick(kBufLens), ind);
}

// Values and lengths as the application types them into its buffers; the last bytes
// of every buffer stay zero.
void write_memory(Input& in) {
  const uint8_t which = in.u8();
  const size_t at = in.u16() % (kArena - 80);
  switch (which % 6) {
    case 0:
    case 1: {
      Buffer& b = which % 6 == 0 ? g_mem.data[which / 6 % kCols] : g_mem.row;
      const std::string v = in.text(32);
      std::memcpy(b.base + at, v.data(), v.size());
      break;
    }
    case 2:
    case 3: {
      // A length at an element of the column-wise array or of the row-wise records.
      const SQLLEN len = in.pick(kLengths);
      const size_t k = in.u8() % kRows;
      uint8_t* where = which % 6 == 2 ? g_mem.ind[which / 6 % kCols].base + k * sizeof(SQLLEN)
                                      : g_mem.row.base + k * kRowSize +
                                            (which / 6 % kCols) * (kRowSize / kCols) + kElem;
      std::memcpy(where, &len, sizeof len);
      break;
    }
    case 4: {
      // Row and parameter operations.
      const size_t k = in.u8() % kRows;
      const SQLUSMALLINT op = in.pick<SQLUSMALLINT>({SQL_ROW_PROCEED, SQL_ROW_IGNORE, 7});
      std::memcpy((which & 0x40 ? g_mem.paramOps : g_mem.rowOps).base + 2 * k, &op, 2);
      break;
    }
    default: {
      const SQLLEN v = in.pick(kOffsets);
      if (which & 0x40)
        *bind_offset() = static_cast<SQLLEN>(static_cast<uint64_t>(v) % (kMaxOffset + 1) & ~7ULL);
      else
        *fetch_bookmark() = v;
      break;
    }
  }
}

void exec_text(Input& in, SQLHSTMT s, bool prepare) {
  std::string sql = in.pick(kSql);
  g_tempTable = g_tempTable || sql.rfind("CREATE TEMP", 0) == 0;
  if (in.u8() % 4 == 0) sql += in.text(24);
  // The text's own length, a shorter one, or SQL_NTS.
  SQLINTEGER len = SQL_NTS;
  switch (in.u8() % 4) {
    case 0: len = static_cast<SQLINTEGER>(sql.size()); break;
    case 1: len = static_cast<SQLINTEGER>(in.u8() % (sql.size() + 1)); break;
    default: break;
  }
  SQLRETURN rc = prepare ? SQLPrepare(s, (SQLCHAR*)sql.c_str(), len)
                         : SQLExecDirect(s, (SQLCHAR*)sql.c_str(), len);
  (void)rc;
}

void put_data(Input& in, SQLHSTMT s) {
  // The dialogue of values sent at execution, a few rounds of it.
  for (int round = in.u8() % 4; round >= 0; --round) {
    SQLPOINTER token = nullptr;
    const SQLRETURN rc = SQLParamData(s, &token);
    if (rc != SQL_NEED_DATA) return;
    for (int piece = in.u8() % 3; piece >= 0; --piece) {
      const SQLLEN len = in.pick(kLengths);
      (void)SQLPutData(s, g_mem.data[in.u8() % kCols].base, len);
    }
  }
}

void get_data(Input& in, SQLHSTMT s) {
  const SQLUSMALLINT col = in.pick<SQLUSMALLINT>({0, 1, 1, 2, 3, 4, 5, 6, 13, 200});
  const SQLSMALLINT cType = in.pick(kCTypes);
  const SQLLEN bufLen = in.pick<SQLLEN>({0, 1, 2, 3, 4, 5, 6, 8, 16, 33, 512, -1});
  SQLLEN ind = 0;
  (void)SQLGetData(s, col, cType, g_mem.getData.base, bufLen, in.u8() % 4 != 0 ? &ind : nullptr);
}

void diagnostics(Input& in) {
  SQLSMALLINT type = 0;
  SQLHANDLE h = nullptr;
  any_handle(in, &type, &h);
  const SQLSMALLINT rec = in.pick<SQLSMALLINT>({1, 1, 2, 3, 0, -1, 100});
  const SQLSMALLINT bufLen = in.pick<SQLSMALLINT>({0, 1, 2, 5, 6, 64, 1024, -1});
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  char* text = reinterpret_cast<char*>(g_mem.diag.base);
  if (in.u8() % 3 != 0) {
    const SQLRETURN rc =
        SQLGetDiagRec(type, h, rec, state, &native, reinterpret_cast<SQLCHAR*>(text), bufLen, &len);
    // A record read whole ends at its length.
    if (rc == SQL_SUCCESS && bufLen > 0 && (len >= bufLen || text[len] != '\0'))
      finding("a diagnostic text without its end where its length says");
    return;
  }
  const SQLSMALLINT field = in.pick<SQLSMALLINT>(
      {SQL_DIAG_NUMBER, SQL_DIAG_SQLSTATE, SQL_DIAG_MESSAGE_TEXT, SQL_DIAG_NATIVE,
       SQL_DIAG_RETURNCODE, SQL_DIAG_ROW_COUNT, SQL_DIAG_CURSOR_ROW_COUNT, SQL_DIAG_ROW_NUMBER,
       SQL_DIAG_COLUMN_NUMBER, SQL_DIAG_CLASS_ORIGIN, SQL_DIAG_SUBCLASS_ORIGIN,
       SQL_DIAG_CONNECTION_NAME, SQL_DIAG_SERVER_NAME, SQL_DIAG_DYNAMIC_FUNCTION,
       SQL_DIAG_DYNAMIC_FUNCTION_CODE, 9999});
  (void)SQLGetDiagField(type, h, rec, field, text, bufLen, &len);
}

void edit_desc(Input& in, SQLHSTMT s) {
  SQLHDESC d = a_desc(in, s);
  const SQLSMALLINT rec = in.pick<SQLSMALLINT>({0, 1, 1, 2, 3, 5, 8, 9, 100, -1});
  SQLSMALLINT field = 0;
  SQLPOINTER value = nullptr;
  SQLINTEGER len = SQL_IS_INTEGER;
  const uint8_t c = in.u8();
  switch (c % 20) {
    case 0:
      field = SQL_DESC_DATA_PTR;
      value = element(in, g_mem.data);
      len = SQL_IS_POINTER;
      break;
    case 1:
      field = SQL_DESC_INDICATOR_PTR;
      value = element(in, g_mem.ind);
      len = SQL_IS_POINTER;
      break;
    case 2:
      field = SQL_DESC_OCTET_LENGTH_PTR;
      value = element(in, g_mem.len);
      len = SQL_IS_POINTER;
      break;
    case 3:
      field = SQL_DESC_ARRAY_STATUS_PTR;
      value = in.u8() % 2 ? g_mem.rowStatus.base : nullptr;
      len = SQL_IS_POINTER;
      break;
    case 4:
      field = SQL_DESC_ARRAY_SIZE;
      value = reinterpret_cast<SQLPOINTER>(SQLULEN{in.u8() % 101u});
      break;
    case 5:
      field = SQL_DESC_BIND_TYPE;
      value = reinterpret_cast<SQLPOINTER>(aligned_stride(in));
      break;
    case 6:
      field = SQL_DESC_OCTET_LENGTH;
      value = reinterpret_cast<SQLPOINTER>(in.pick(kBufLens));
      break;
    case 7:
      field = SQL_DESC_COUNT;
      value = reinterpret_cast<SQLPOINTER>(SQLLEN{in.u8() % 12});
      break;
    case 8:
    case 9:
      field = c % 20 == 8 ? SQL_DESC_TYPE : SQL_DESC_CONCISE_TYPE;
      value =
          reinterpret_cast<SQLPOINTER>(SQLLEN{in.u8() % 2 ? in.pick(kCTypes) : in.pick(kSqlTypes)});
      break;
    case 10:
      field = in.pick<SQLSMALLINT>({SQL_DESC_PRECISION, SQL_DESC_SCALE, SQL_DESC_LENGTH,
                                    SQL_DESC_DATETIME_INTERVAL_CODE,
                                    SQL_DESC_DATETIME_INTERVAL_PRECISION, SQL_DESC_PARAMETER_TYPE,
                                    SQL_DESC_UNNAMED, SQL_DESC_NULLABLE});
      value = reinterpret_cast<SQLPOINTER>(in.pick(kOffsets));
      break;
    case 11:
      field = SQL_DESC_ROWS_PROCESSED_PTR;
      value = in.u8() % 2 ? rows_fetched() : nullptr;
      len = SQL_IS_POINTER;
      break;
    case 12:
      field = SQL_DESC_BIND_OFFSET_PTR;
      value = in.u8() % 2 ? bind_offset() : nullptr;
      len = SQL_IS_POINTER;
      break;
    case 13: {
      field = SQL_DESC_NAME;
      const std::string name = in.text(16);
      std::memcpy(g_mem.text.base, name.data(), name.size());
      g_mem.text.base[name.size()] = 0;
      value = g_mem.text.base;
      len = in.u8() % 2 ? SQL_NTS : static_cast<SQLINTEGER>(name.size());
      break;
    }
    default: {
      // A read of any field into room for any of them.
      SQLINTEGER got = 0;
      const int id = in.u8() % 40;
      const auto which = static_cast<SQLSMALLINT>(id + 1000 * (in.u8() % 2));
      (void)SQLGetDescField(d, rec, which, g_mem.text.base,
                            in.pick<SQLINTEGER>({0, 4, 8, 100, 400}), &got);
      return;
    }
  }
  (void)SQLSetDescField(d, rec, field, value, len);
}

void describe(Input& in, SQLHSTMT s) {
  const SQLUSMALLINT col = in.pick<SQLUSMALLINT>({0, 1, 2, 3, 6, 7, 100});
  SQLSMALLINT n = 0, type = 0, digits = 0, nullable = 0, len = 0;
  SQLULEN size = 0;
  SQLLEN num = 0;
  switch (in.u8() % 4) {
    case 0: (void)SQLNumResultCols(s, &n); break;
    case 1:
      (void)SQLDescribeCol(s, col, g_mem.text.base, in.pick<SQLSMALLINT>({0, 1, 3, 64, 300}), &len,
                           &type, &size, &digits, &nullable);
      break;
    case 2: {
      const SQLUSMALLINT field =
          in.pick<SQLUSMALLINT>({SQL_DESC_NAME, SQL_DESC_TYPE, SQL_DESC_LENGTH,
                                 SQL_DESC_OCTET_LENGTH, SQL_DESC_DISPLAY_SIZE, SQL_DESC_UPDATABLE,
                                 SQL_DESC_BASE_TABLE_NAME, SQL_DESC_LABEL, SQL_COLUMN_COUNT, 9999});
      (void)SQLColAttribute(s, col, field, g_mem.text.base, in.pick<SQLSMALLINT>({0, 1, 64, 300}),
                            &len, &num);
      break;
    }
    default: {
      SQLSMALLINT type2 = 0, digits2 = 0, nullable2 = 0;
      SQLULEN size2 = 0;
      (void)SQLNumParams(s, &n);
      (void)SQLDescribeParam(s, col, &type2, &size2, &digits2, &nullable2);
      break;
    }
  }
}

void catalog(Input& in, SQLHSTMT s) {
  auto name = [&](SQLCHAR** p, SQLSMALLINT* len) {
    const char* n = in.pick(kNames);
    *p = in.u8() % 5 == 0 ? nullptr : (SQLCHAR*)n;
    *len = in.u8() % 2 ? SQL_NTS : static_cast<SQLSMALLINT>(std::strlen(n));
  };
  SQLCHAR *a, *b, *c;
  SQLSMALLINT la, lb, lc;
  name(&a, &la);
  name(&b, &lb);
  name(&c, &lc);
  switch (in.u8() % 7) {
    case 0: (void)SQLTables(s, a, la, b, lb, c, lc, (SQLCHAR*)"TABLE,VIEW", SQL_NTS); break;
    case 1: (void)SQLColumns(s, a, la, b, lb, c, lc, (SQLCHAR*)"%", SQL_NTS); break;
    case 2: (void)SQLPrimaryKeys(s, a, la, b, lb, c, lc); break;
    case 3: (void)SQLStatistics(s, a, la, b, lb, c, lc, in.u8() % 2, SQL_QUICK); break;
    case 4:
      (void)SQLSpecialColumns(s, in.pick<SQLUSMALLINT>({SQL_BEST_ROWID, SQL_ROWVER, 7}), a, la, b,
                              lb, c, lc, SQL_SCOPE_CURROW, SQL_NULLABLE);
      break;
    case 5:
      (void)SQLGetTypeInfo(
          s, in.pick<SQLSMALLINT>({SQL_ALL_TYPES, SQL_VARCHAR, SQL_TYPE_TIMESTAMP, 999}));
      break;
    default: (void)SQLProcedures(s, a, la, b, lb, c, lc); break;
  }
}

void connection_call(Input& in) {
  switch (in.u8() % 6) {
    case 0:
      // The input's own connection: made, or ended with its statements and
      // descriptors.
      if (g_h.conn[1] == nullptr) {
        g_h.conn[1] = connect_no_wait();
      } else {
        FuzzDisconnect(g_h.conn[1]);
        g_h.conn[1] = nullptr;
        for (int i = 0; i < kStmts; ++i)
          if (g_h.stmtConn[i] == 1) g_h.stmt[i] = nullptr;
        for (int i = 0; i < kDescs; ++i)
          if (g_h.descConn[i] == 1) g_h.desc[i] = nullptr;
      }
      break;
    case 1: {
      SQLSMALLINT len = 0;
      SQLHDBC c = conn_of(in);
      const SQLUSMALLINT info = in.u8() % 2 ? in.u16() % 200 : in.u16();
      (void)SQLGetInfo(c, info, g_mem.text.base, in.pick<SQLSMALLINT>({0, 2, 4, 8, 100, 512}),
                       &len);
      break;
    }
    case 2: {
      SQLINTEGER len = 0;
      SQLHDBC c = conn_of(in);
      const SQLINTEGER attr =
          in.pick<SQLINTEGER>({SQL_ATTR_AUTOCOMMIT, SQL_ATTR_CURRENT_CATALOG,
                               SQL_ATTR_TXN_ISOLATION, SQL_ATTR_ACCESS_MODE, 1050, 9999});
      (void)SQLGetConnectAttr(c, attr, g_mem.text.base, in.pick<SQLINTEGER>({0, 4, 8, 64, 512}),
                              &len);
      break;
    }
    case 3: {
      // Rowset and cursor defaults of the input's own connection, for its new statements.
      if (g_h.conn[1] == nullptr) break;
      const SQLINTEGER attr =
          in.pick<SQLINTEGER>({SQL_ROWSET_SIZE, SQL_CURSOR_TYPE, SQL_CONCURRENCY, SQL_KEYSET_SIZE,
                               SQL_ATTR_TXN_ISOLATION});
      // A rowset its statements' arrays hold.
      const SQLULEN v = attr == SQL_ROWSET_SIZE ? in.u8() % (kRows + 1) : in.u8() % 5;
      (void)SQLSetConnectAttr(g_h.conn[1], attr, reinterpret_cast<SQLPOINTER>(v), 0);
      break;
    }
    case 4: {
      SQLINTEGER len = 0;
      const std::string sql = in.pick(kSql);
      SQLHDBC c = conn_of(in);
      (void)SQLNativeSql(c, (SQLCHAR*)sql.c_str(), SQL_NTS, g_mem.text.base,
                         in.pick<SQLINTEGER>({0, 1, 10, 512}), &len);
      break;
    }
    default: (void)SQLEndTran(SQL_HANDLE_DBC, conn_of(in), SQL_ROLLBACK); break;
  }
}

void run(Input& in) {
  for (int calls = 0; calls < 48 && !in.empty(); ++calls) {
    const uint8_t op = in.u8();
    const int index = in.u8() % kStmts;
    SQLHSTMT& slot = g_h.stmt[index];
    SQLHSTMT s = slot;
    switch (op % 32) {
      case 0:
        if (slot == nullptr) {
          g_h.stmtConn[index] = conn_index(in);
          (void)SQLAllocHandle(SQL_HANDLE_STMT, g_h.conn[g_h.stmtConn[index]], &slot);
        }
        break;
      case 1:
        (void)SQLFreeHandle(SQL_HANDLE_STMT, slot);
        slot = nullptr;
        break;
      case 2:
      case 3: set_stmt_attr(in, s); break;
      case 4: exec_text(in, s, false); break;
      case 5: exec_text(in, s, true); break;
      case 6: (void)SQLExecute(s); break;
      case 7: bind_col(in, s); break;
      case 8: bind_param(in, s); break;
      case 9: check_rowset(s, SQLFetch(s), nullptr, op & 0x80); break;
      case 10:
      case 11: {
        const SQLSMALLINT orientation = in.pick(kOrientations);
        const SQLLEN offset = in.pick(kOffsets);
        const SQLRETURN rc = SQLFetchScroll(s, orientation, offset);
        check_far_move(rc, orientation, offset, false);
        check_rowset(s, rc, nullptr, op & 0x80);
        break;
      }
      case 12: {
        const auto orientation = static_cast<SQLUSMALLINT>(in.pick(kOrientations));
        const SQLLEN offset = in.pick(kOffsets);
        SQLULEN n = 0;
        SQLULEN* rows = in.u8() % 4 ? &n : nullptr;
        auto* st = in.u8() % 4 ? reinterpret_cast<SQLUSMALLINT*>(g_mem.extStatus.base) : nullptr;
        const SQLRETURN rc = SQLExtendedFetch(s, orientation, offset, rows, st);
        check_far_move(rc, static_cast<SQLSMALLINT>(orientation), offset, true);
        check_rowset(s, rc, &n, op & 0x80);
        break;
      }
      case 13:
      case 14: {
        const SQLSETPOSIROW row = in.pick(kSetPosRows);
        const SQLUSMALLINT what =
            in.pick<SQLUSMALLINT>({SQL_POSITION, SQL_REFRESH, SQL_UPDATE, SQL_DELETE, SQL_ADD,
                                   SQL_ADD, SQL_UPDATE, 5, 99});
        const SQLUSMALLINT lock = in.pick<SQLUSMALLINT>(
            {SQL_LOCK_NO_CHANGE, SQL_LOCK_NO_CHANGE, SQL_LOCK_EXCLUSIVE, SQL_LOCK_UNLOCK, 7});
        (void)SQLSetPos(s, row, what, lock);
        break;
      }
      case 15:
        (void)SQLBulkOperations(
            s, in.pick<SQLUSMALLINT>({SQL_ADD, SQL_UPDATE_BY_BOOKMARK, SQL_DELETE_BY_BOOKMARK,
                                      SQL_FETCH_BY_BOOKMARK, 0, 8}));
        break;
      case 16: get_data(in, s); break;
      case 17:
        (void)SQLFreeStmt(s, in.pick<SQLUSMALLINT>({SQL_CLOSE, SQL_UNBIND, SQL_RESET_PARAMS, 7}));
        break;
      case 18: (void)SQLCloseCursor(s); break;
      case 19: put_data(in, s); break;
      case 20: (void)SQLCancel(s); break;
      case 21:
      case 22: diagnostics(in); break;
      case 23: edit_desc(in, s); break;
      case 24: {
        SQLHDESC from = a_desc(in, s);
        (void)SQLCopyDesc(from, a_desc(in, s));
        break;
      }
      case 25: {
        const int i = in.u8() % kDescs;
        SQLHDESC& d = g_h.desc[i];
        if (d == nullptr) {
          g_h.descConn[i] = conn_index(in);
          (void)SQLAllocHandle(SQL_HANDLE_DESC, g_h.conn[g_h.descConn[i]], &d);
        } else if (in.u8() % 2) {
          (void)SQLFreeHandle(SQL_HANDLE_DESC, d);
          d = nullptr;
        } else {
          const SQLINTEGER attr = in.u8() % 2 ? SQL_ATTR_APP_ROW_DESC : SQL_ATTR_APP_PARAM_DESC;
          (void)SQLSetStmtAttr(s, attr, in.u8() % 3 ? d : nullptr, SQL_IS_POINTER);
        }
        break;
      }
      case 26: describe(in, s); break;
      case 27: {
        SQLLEN n = 0;
        if (in.u8() % 2)
          (void)SQLRowCount(s, &n);
        else
          (void)SQLMoreResults(s);
        break;
      }
      case 28:
      case 29: write_memory(in); break;
      case 30: catalog(in, s); break;
      default: {
        if (in.u8() % 2) {
          connection_call(in);
        } else {
          SQLSMALLINT len = 0;
          if (in.u8() % 2)
            (void)SQLSetCursorName(s, (SQLCHAR*)"fzc", SQL_NTS);
          else
            (void)SQLGetCursorName(s, g_mem.text.base, in.pick<SQLSMALLINT>({0, 1, 4, 64}), &len);
        }
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_h.conn[0] = lasting();
  if (g_h.conn[0] == nullptr) return 0;
  static const bool made = (make_memory(), true);
  (void)made;
  each_buffer([](Buffer& b) { reset(b); });
  Input in{data, size};
  run(in);
  for (SQLHSTMT& s : g_h.stmt) {
    if (s != nullptr) (void)SQLFreeHandle(SQL_HANDLE_STMT, s);
    s = nullptr;
  }
  for (SQLHDESC& d : g_h.desc) {
    if (d != nullptr) (void)SQLFreeHandle(SQL_HANDLE_DESC, d);
    d = nullptr;
  }
  if (g_h.conn[1] != nullptr) FuzzDisconnect(g_h.conn[1]);
  g_h.conn[1] = nullptr;
  (void)SQLEndTran(SQL_HANDLE_DBC, g_h.conn[0], SQL_ROLLBACK);
  // The next input meets no temporary table of this one.
  if (g_tempTable) {
    SQLHSTMT s = nullptr;
    if (SQLAllocHandle(SQL_HANDLE_STMT, g_h.conn[0], &s) == SQL_SUCCESS) {
      (void)SQLExecDirect(s, (SQLCHAR*)"DROP TABLE tmp", SQL_NTS);
      (void)SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
    (void)SQLEndTran(SQL_HANDLE_DBC, g_h.conn[0], SQL_COMMIT);
    g_tempTable = false;
  }
  return 0;
}
