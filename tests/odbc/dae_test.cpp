// dae_test.cpp -- SQLParamData and SQLPutData over the recording back end, on
// both roads: the core collecting the pieces itself and marshalling them into
// the parameter Dataset (a back end without its own data at execution), and
// the core handing every piece to a back end that names the values it wants.

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"
#include "stmt_fake.h"

namespace {

constexpr uint32_t kLocal = DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_PARAM_OP | DRV_CAPBIT_EXECUTE2;
constexpr uint32_t kDriver = kLocal | DRV_CAPBIT_V2DAE;

// A piece as the back end received it.
struct Piece {
  uint32_t type;
  int16_t indicator;
  std::string bytes;
};

// What the back end saw, and the cells it asks for on the driver road.
struct Backend {
  Dataset* params = nullptr;  // the Dataset of the last execution, owned
  int executions = 0;
  std::vector<std::pair<int32_t, int32_t>> cells;  // (column, row) to ask for, in turn
  size_t asked = 0;
  int32_t finalCode = 0;  // ParamData's answer once every cell was named
  std::vector<Piece> pieces;
  void Reset() {
    if (params != nullptr) {
      DatasetFree(params);
      free(params);
    }
    *this = Backend{};
  }
};

Backend be;
DriverOps ops;

int32_t PrepareExecute(DrvHandle, const char*, Dataset* ds, uint16_t, const ParamShadow*) {
  Fake().Log("PrepareExecute");
  if (ds != nullptr && ds != be.params) {
    if (be.params != nullptr) {
      DatasetFree(be.params);
      free(be.params);
    }
    be.params = ds;
  }
  // A back end with its own data at execution asks for the cells it finds.
  if (!be.cells.empty()) return ERR_NEED_DAE;
  ++be.executions;
  return 0;
}

int32_t ParamData(DrvHandle, int32_t* index, int32_t* row, uint16_t**, int32_t*) {
  Fake().Log("ParamData");
  if (be.asked < be.cells.size()) {
    *index = be.cells[be.asked].first;
    *row = be.cells[be.asked].second;
    ++be.asked;
    return ERR_NEED_DAE;
  }
  *index = *row = -2;
  ++be.executions;
  return be.finalCode;
}

int32_t PutData(DrvHandle, uint32_t type, int16_t indicator, const void* data, int32_t length) {
  be.pieces.push_back({type, indicator,
                       data != nullptr ? std::string(static_cast<const char*>(data), length) : ""});
  return 0;
}

int32_t Bind(DriverRecord* rec) {
  StmtFakeBind(rec);
  ops = *rec->ops;
  ops.DRV_PrepareExecute = PrepareExecute;
  ops.DRV_PrepareExecute2 = nullptr;
  ops.DRV_ParamData = ParamData;
  ops.DRV_PutData = PutData;
  rec->ops = &ops;
  return 0;
}

class DaeTest : public StmtTest {
 protected:
  void SetUp() override {
    StmtTest::SetUp();
    be.Reset();
    DriverSetBinder(Bind);
  }
  void TearDown() override {
    be.Reset();
    StmtTest::TearDown();
  }
  // Connects and prepares a statement with parameters of the given names
  // ("*O" output, anything else input).
  void Prepared(uint32_t caps, std::vector<std::string> names) {
    for (const std::string& n : names) {
      FakeColumn p;
      p.name = n;
      SFake().params.push_back(p);
    }
    Open(caps);
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"insert", SQL_NTS), SQL_SUCCESS);
  }
  void Sets(SQLULEN n) {
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)n, 0), SQL_SUCCESS);
  }
  SQLRETURN Put(const void* data, SQLLEN len) {
    return SQLPutData(stmt_, const_cast<void*>(data), len);
  }
  // The value of a cell of the Dataset the back end got: its bytes up to the
  // terminator for text, "NULL" for NULL.
  static std::string Cell(int c, int r) {
    const DatasetColumn& col = be.params->cols[c];
    if (col.ind[r] == DS_IND_NULL) return "NULL";
    const char* cell = col.data + static_cast<size_t>(r) * col.width;
    return std::string(cell, strnlen(cell, col.width));
  }
};

// ---- Local road ---------------------------------------------------------------

TEST_F(DaeTest, LocalRoadNamesEveryValueRowByRowThenExecutes) {
  Prepared(kLocal, {"a", "b", "c"});
  Sets(2);
  char a[2][8] = {"a-tok", "a-tok"};
  char b[2][8] = {"b-tok", "b-tok"};
  SQLINTEGER c[2] = {5, 6};
  SQLLEN aLen[2] = {SQL_DATA_AT_EXEC, SQL_LEN_DATA_AT_EXEC(10)};
  SQLLEN bLen[2] = {SQL_LEN_DATA_AT_EXEC(0), SQL_DATA_AT_EXEC};
  SQLLEN cInd[2] = {0, 0};
  SQLULEN processed = 99;
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, a, 8, aLen);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, b, 8, bLen);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, c, 0, cInd);
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
  EXPECT_EQ(be.executions, 0);

  struct Step {
    void* token;
    SQLULEN processed;
  };
  const Step steps[] = {{a, 1}, {b, 1}, {a, 2}, {b, 2}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.processed);
    void* token = nullptr;
    ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA);
    EXPECT_EQ(token, s.token);
    EXPECT_EQ(processed, s.processed);
    if (token == a && s.processed == 1) {
      // Several pieces, then a NULL piece that discards them.
      ASSERT_EQ(Put("xy", 2), SQL_SUCCESS);
      ASSERT_EQ(Put("z", SQL_NTS), SQL_SUCCESS);
      ASSERT_EQ(Put(nullptr, SQL_NULL_DATA), SQL_SUCCESS);
    } else if (token == a) {
      ASSERT_EQ(Put("ab", 2), SQL_SUCCESS);
      ASSERT_EQ(Put("", 0), SQL_SUCCESS);  // changes nothing
      ASSERT_EQ(Put("cd", SQL_NTS), SQL_SUCCESS);
    } else if (s.processed == 2) {
      const char16_t w[] = u"w\u00e9";  // SQL_NTS counts UTF-16 units
      ASSERT_EQ(Put(w, SQL_NTS), SQL_SUCCESS);
    }
    // b of set 1 gets no piece: announced with length 0, it is an empty value.
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS);
  EXPECT_EQ(be.executions, 1);
  EXPECT_EQ(processed, 2u);
  ASSERT_NE(be.params, nullptr);
  ASSERT_EQ(be.params->rowCount, 2);
  EXPECT_EQ(Cell(0, 0), "NULL");
  EXPECT_EQ(Cell(0, 1), "abcd");
  EXPECT_EQ(be.params->cols[1].ind[0], 0);
  EXPECT_EQ(Cell(1, 0), "");
  EXPECT_EQ(Cell(1, 1), "w\xC3\xA9");  // narrowed for a back end without UTF-16
  // Nothing is pending once the statement ran.
  EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
  EXPECT_EQ(Put("x", 1), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
}

// A refused piece ends the dialogue, as the Driver Manager takes it: nothing
// runs, and the next execution starts afresh with nothing of the refused one.
TEST_F(DaeTest, LocalRoadRefusedPiecesEndTheDialogue) {
  Prepared(kLocal, {"n"});
  SQLINTEGER token = 0;
  SQLLEN len = SQL_DATA_AT_EXEC;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &token, 0, &len);
  const SQLINTEGER first = 41, second = 42;
  struct Case {
    const char* what;
    bool firstSent;  // a valid piece went before
    const void* data;
    SQLLEN len;
    const char* state;
  };
  const Case cases[] = {
      {"a second piece of a number", true, &second, sizeof second, "HY019"},
      {"SQL_DEFAULT_PARAM", false, &first, SQL_DEFAULT_PARAM, "HY009"},
      {"a negative length", false, &first, -7, "HY090"},
      {"a value after NULL", false, &first, 0, "HY020"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    EXPECT_EQ(StmtOf(stmt_)->st_params[0].pb_daeBuffers[0], nullptr);
    if (c.firstSent) ASSERT_EQ(Put(&first, 0), SQL_SUCCESS);
    if (std::string(c.state) == "HY020") ASSERT_EQ(Put(nullptr, SQL_NULL_DATA), SQL_SUCCESS);
    EXPECT_EQ(Put(c.data, c.len), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state);
    EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
    EXPECT_EQ(be.executions, 0);
  }
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put(&first, 0), SQL_SUCCESS);  // the length of a fixed-size value is its own
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS);
  SQLINTEGER sent = 0;
  memcpy(&sent, be.params->cols[0].data, 4);
  EXPECT_EQ(sent, 41);
  EXPECT_EQ(be.executions, 1);
}

// A large value in small pieces arrives whole; its buffer grows by doubling, so
// the copies stay linear in the value's size.
TEST_F(DaeTest, LocalRoadJoinsManySmallPieces) {
  Prepared(kLocal, {"t"});
  char token = 0;
  SQLLEN len = SQL_DATA_AT_EXEC;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, &token, 0,
                   &len);
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  constexpr size_t kPiece = 4096, kPieces = 4096;  // 16 MB
  std::string piece(kPiece, '\0');
  for (size_t i = 0; i < kPieces; ++i) {
    for (size_t k = 0; k < kPiece; k += 512) piece[k] = static_cast<char>(i + k);
    ASSERT_EQ(Put(piece.data(), kPiece), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS);
  const DatasetColumn& col = be.params->cols[0];
  ASSERT_EQ(col.type, DS_VARBINARY4);
  uint32_t n = 0;
  memcpy(&n, col.data, 4);
  ASSERT_EQ(n, kPiece * kPieces);
  for (size_t i = 0; i < kPieces; i += 97)
    ASSERT_EQ(col.data[4 + i * kPiece + 512], static_cast<char>(i + 512)) << i;
}

// Cancelling, or closing, in the middle drops every piece; nothing runs, and
// the statement executes afresh.
TEST_F(DaeTest, CancelAndCloseInTheMiddleReleaseThePieces) {
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel ? "SQLCancel" : "SQL_CLOSE");
    be.Reset();
    SFake().Reset();
    Prepared(kLocal, {"a", "b"});
    char a = 0, b = 0;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, &a, 0, &len);
    SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, &b, 0, &len);
    ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    ASSERT_EQ(Put("first", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    if (cancel)
      EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(stmt_)));
    else
      EXPECT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    const ParamBinding& pb = StmtOf(stmt_)->st_params[0];
    for (uint64_t r = 0; r < pb.pb_daeRows; ++r) EXPECT_EQ(pb.pb_daeBuffers[r], nullptr);
    EXPECT_EQ(Put("x", 1), SQL_ERROR);
    EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
    EXPECT_EQ(be.executions, 0);

    ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    ASSERT_EQ(Put("again", SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS);
    EXPECT_EQ(be.executions, 1);
    EXPECT_EQ(Cell(0, 0), "again");
    EXPECT_EQ(Cell(1, 0), "");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = nullptr;
  }
}

// ---- Driver road --------------------------------------------------------------

// The back end counts its Dataset's columns and rows: an output parameter has
// no column, an ignored set no row.
TEST_F(DaeTest, DriverRoadMapsTheBackEndsCellsToParametersAndSets) {
  Prepared(kDriver | DRV_CAPBIT_SPOUT_DEFER, {"*O", "a", "b"});
  Sets(3);
  SQLINTEGER out = 0;
  char a = 0, b = 0;
  SQLLEN outLen = 0;
  SQLLEN lens[3] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
  SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
  SQLULEN processed = 0;
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &out, 0, &outLen);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, &a, 0, lens);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, &b, 0, lens);
  be.cells = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
  ASSERT_EQ(be.params->rowCount, 2);
  EXPECT_EQ(be.params->cols[0].ind[1], DS_IND_DAE);

  const std::pair<void*, SQLULEN> expected[] = {{&a, 1}, {&b, 1}, {&a, 3}, {&b, 3}};
  for (const auto& [token, set] : expected) {
    void* got = nullptr;
    ASSERT_EQ(SQLParamData(stmt_, &got), SQL_NEED_DATA);
    EXPECT_EQ(got, token);
    EXPECT_EQ(processed, set);
  }
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS);
  EXPECT_EQ(processed, 2u);  // the sets that ran
  EXPECT_EQ(be.executions, 1);
  // The dialogue is over: a further ParamData runs nothing again.
  EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
  EXPECT_EQ(be.executions, 1);
}

// Each piece travels as marshalling sends a value of its C type.
TEST_F(DaeTest, DriverRoadShapesEachPieceAsMarshallingDoes) {
  SQL_NUMERIC_STRUCT num{};
  num.precision = 38;
  num.scale = 4;
  num.sign = 1;  // positive
  // 12345678901234567890.1234 at scale 4, little-endian
  const unsigned char mant[] = {0xF2, 0xAF, 0x96, 0x6C, 0xA0, 0x10, 0x1F, 0x9B, 0x24, 0x1A};
  memcpy(num.val, mant, sizeof mant);
  SQLGUID guid{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  SQLBIGINT big = -12;
  SQLINTEGER four = 4;
  const char16_t wide[] = u"\U0001F600";  // a surrogate pair

  struct Case {
    const char* what;
    SQLSMALLINT cType, sqlType;
    std::vector<std::pair<const void*, SQLLEN>> puts;
    std::vector<Piece> sent;
  };
  const Case cases[] = {
      {"plain date-time text stays text",
       SQL_C_CHAR,
       SQL_TYPE_TIMESTAMP,
       {{"2024-02-29 10:11:12.12345", SQL_NTS}},
       {{DS_CHAR, 0, "2024-02-29 10:11:12.12345"}}},
      {"a whole escape becomes the plain text of its value",
       SQL_C_CHAR,
       SQL_TYPE_TIMESTAMP,
       {{"{ts '2024-02-29 10:11:12.5'}", SQL_NTS}},
       {{DS_CHAR, 0, "2024-02-29 10:11:12.5"}}},
      {"a date escape",
       SQL_C_CHAR,
       SQL_TYPE_DATE,
       {{"{d '2024-02-29'}", SQL_NTS}},
       {{DS_CHAR, 0, "2024-02-29"}}},
      {"NUMERIC keeps every digit",
       SQL_C_NUMERIC,
       SQL_DECIMAL,
       {{&num, 0}},
       {{DS_CHAR, 0, "12345678901234567890.1234"}}},
      {"GUID as its text",
       SQL_C_GUID,
       SQL_GUID,
       {{&guid, 0}},
       {{DS_CHAR, 0, "01234567-89AB-CDEF-0123-456789ABCDEF"}}},
      {"BIGINT as its digits only", SQL_C_SBIGINT, SQL_BIGINT, {{&big, 0}}, {{DS_CHAR, 0, "-12"}}},
      {"a fixed-size value at its own size",
       SQL_C_LONG,
       SQL_INTEGER,
       {{&four, 99}},
       {{DS_INTEGER, 0, std::string("\x04\0\0\0", 4)}}},
      {"hex text split between two digits",
       SQL_C_CHAR,
       SQL_VARBINARY,
       {{"0A1", 3}, {"B2", 2}, {"C3", SQL_NTS}},
       {{DS_BINARY, 0, "\x0A"}, {DS_BINARY, 0, "\x1B"}, {DS_BINARY, 0, std::string("\x2C", 1)}}},
      {"a NULL piece",
       SQL_C_CHAR,
       SQL_VARCHAR,
       {{"ab", 2}, {nullptr, SQL_NULL_DATA}},
       {{DS_CHAR, 0, "ab"}, {DS_CHAR, DS_IND_NULL, ""}}},
      {"wide text for a back end without UTF-16, a pair split between pieces",
       SQL_C_WCHAR,
       SQL_WVARCHAR,
       {{wide, 3}, {reinterpret_cast<const char*>(wide) + 3, 1}},
       {{DS_CHAR, 0, ""}, {DS_CHAR, 0, "\xF0\x9F\x98\x80"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    be.Reset();
    SFake().Reset();
    Prepared(kDriver, {"p"});
    char token = 0;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 30, 4, &token, 0, &len);
    be.cells = {{0, 0}};
    ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    for (const auto& [data, n] : c.puts)
      ASSERT_EQ(Put(data, n), SQL_SUCCESS) << Message(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_SUCCESS);
    ASSERT_EQ(be.pieces.size(), c.sent.size());
    for (size_t i = 0; i < c.sent.size(); ++i) {
      EXPECT_EQ(be.pieces[i].type, c.sent[i].type) << i;
      EXPECT_EQ(be.pieces[i].indicator, c.sent[i].indicator) << i;
      EXPECT_EQ(be.pieces[i].bytes, c.sent[i].bytes) << i;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = nullptr;
  }
}

TEST_F(DaeTest, DriverRoadRefusals) {
  Prepared(kDriver, {"n", "t"});
  SQLINTEGER n = 0;
  char t = 0;
  SQLLEN len = SQL_DATA_AT_EXEC;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, &len);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, &t, 0, &len);
  EXPECT_EQ(Put("x", 1), SQL_ERROR);  // nothing waits yet
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
  const SQLINTEGER v = 7;
  struct Case {
    const char* what;
    bool toText;  // refused for the text, after the number went
    std::vector<std::pair<const void*, SQLLEN>> before;
    const void* data;
    SQLLEN len;
    const char* state;
  };
  const Case cases[] = {
      {"a second piece of a number", false, {{&v, 4}}, &v, 4, "HY019"},
      {"SQL_DEFAULT_PARAM", true, {}, "x", SQL_DEFAULT_PARAM, "HYC00"},
      {"no data for a length", true, {}, nullptr, 3, "HY009"},
      {"a negative length", true, {{"ab", 2}}, "x", -7, "HY090"},
      {"text after NULL", true, {{nullptr, SQL_NULL_DATA}}, "x", 1, "HY020"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    be.cells = {{0, 0}, {1, 0}};
    be.asked = 0;
    be.pieces.clear();
    ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
    ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    if (c.toText) {
      ASSERT_EQ(Put(&v, 4), SQL_SUCCESS);
      ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
    }
    for (const auto& [data, length] : c.before) ASSERT_EQ(Put(data, length), SQL_SUCCESS);
    EXPECT_EQ(Put(c.data, c.len), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state);
    // The dialogue is over: nothing runs.
    EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
    EXPECT_EQ(be.executions, 0);
  }
  // The execution the last ParamData runs fails, and says so.
  be.cells = {{0, 0}, {1, 0}};
  be.asked = 0;
  be.finalCode = ERR_SYNTAX;
  ASSERT_EQ(SQLExecute(stmt_), SQL_NEED_DATA);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put(&v, 4), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt_, nullptr), SQL_NEED_DATA);
  ASSERT_EQ(Put("x", 1), SQL_SUCCESS);
  EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLParamData(stmt_, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HY010");
  EXPECT_EQ(be.executions, 1);
}

}  // namespace
