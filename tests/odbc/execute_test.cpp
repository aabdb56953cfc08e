// execute_test.cpp -- SQLExecute with bound parameters over the recording back
// end: the parameter Dataset built from row-wise and column-wise arrays, the
// status array and processed count, refused lengths, the parameter types, and
// the delivery of output parameters.

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

// The capabilities the Informix agent declares for parameters.
constexpr uint32_t kAgent =
    DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_PARAM_OP | DRV_CAPBIT_V2DAE | DRV_CAPBIT_EXECUTE2;

// What the back end received at execution.
struct Received {
  Dataset* params = nullptr;  // owned: the back end keeps what it is given
  std::vector<ParamShadow> types;
  std::vector<std::string> names;  // of 24-byte type entries ("" for none)
  int executions = 0;
  int32_t executeCode = 0;
  Dataset outputRow{};  // what DRV_Fetch hands out after an execution
  void Reset() {
    if (params != nullptr) {
      DatasetFree(params);
      free(params);
    }
    DatasetFree(&outputRow);
    *this = Received{};
  }
};

Received got;
DriverOps ops;

void keep(Dataset* ds) {
  if (got.params != nullptr && got.params != ds) {
    DatasetFree(got.params);
    free(got.params);
  }
  got.params = ds;
}

int32_t PrepareExecute(DrvHandle, const char*, Dataset* ds, uint16_t n, const ParamShadow* types) {
  Fake().Log("PrepareExecute " + std::to_string(n));
  if (ds != nullptr) keep(ds);
  if (n != 0) got.types.assign(types, types + n);
  ++got.executions;
  return got.executeCode;
}

int32_t PrepareExecute2(DrvHandle, const char*, Dataset* ds, uint16_t n,
                        const ParamTypeEntry* types) {
  Fake().Log("PrepareExecute2 " + std::to_string(n));
  if (ds != nullptr) keep(ds);
  got.types.clear();
  got.names.clear();
  for (uint16_t i = 0; i < n; ++i) {
    got.types.push_back(types[i].shadow);
    got.names.push_back(types[i].name != nullptr ? types[i].name : "");
  }
  ++got.executions;
  return got.executeCode;
}

int32_t SetParams(DrvHandle, Dataset* ds) {
  Fake().Log("SetParams");
  keep(ds);
  return 0;
}

int32_t SetParamTypes(DrvHandle, uint16_t n, const ParamShadow* types) {
  Fake().Log("SetParamTypes " + std::to_string(n));
  got.types.assign(types, types + n);
  return 0;
}

int32_t Execute(DrvHandle) {
  Fake().Log("Execute");
  ++got.executions;
  return got.executeCode;
}

int32_t Fetch(DrvHandle, uint16_t, Dataset* block) {
  Fake().Log("Fetch");
  DatasetFree(block);
  const Dataset& src = got.outputRow;
  if (DatasetInit(block, src.colCount) != 0) return ERR_MEMORY;
  for (uint16_t c = 0; c < src.colCount; ++c) {
    block->cols[c].type = src.cols[c].type;
    block->cols[c].width = src.cols[c].width;
  }
  block->colCount = src.colCount;
  if (DatasetSetRows(block, 1) != 0) return ERR_MEMORY;
  for (uint16_t c = 0; c < src.colCount; ++c) {
    memcpy(block->cols[c].data, src.cols[c].data, src.cols[c].width);
    block->cols[c].ind[0] = src.cols[c].ind[0];
  }
  block->rowCount = 1;
  return 0;
}

int32_t Bind(DriverRecord* rec) {
  StmtFakeBind(rec);
  ops = *rec->ops;
  ops.DRV_PrepareExecute = PrepareExecute;
  ops.DRV_PrepareExecute2 = PrepareExecute2;
  ops.DRV_SetParams = SetParams;
  ops.DRV_SetParamTypes = SetParamTypes;
  ops.DRV_Execute = Execute;
  ops.DRV_Fetch = Fetch;
  rec->ops = &ops;
  return 0;
}

class ExecuteTest : public StmtTest {
 protected:
  void SetUp() override {
    StmtTest::SetUp();
    got.Reset();
    DriverSetBinder(Bind);
    Fake().ints[DRVP_WIDE] = 1;
  }
  void TearDown() override {
    got.Reset();
    StmtTest::TearDown();
  }
  // Connects and prepares a statement with parameters of the given names
  // ("*O" output, "*B" input/output, anything else input).
  void Prepared(std::vector<std::string> names, uint32_t caps = kAgent,
                const char* sql = "insert") {
    for (const std::string& n : names) {
      FakeColumn p;
      p.name = n;
      SFake().params.push_back(p);
    }
    Open(caps);
    ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)sql, SQL_NTS), SQL_SUCCESS);
  }
  void Sets(SQLULEN n) {
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)n, 0), SQL_SUCCESS);
  }
  static const DatasetColumn& Col(int c) { return got.params->cols[c]; }
  static std::string Text(int c, int r) {
    const DatasetColumn& col = Col(c);
    const char* cell = col.data + static_cast<size_t>(r) * col.width;
    return std::string(cell, strnlen(cell, col.width));
  }
  static std::string Bytes(int c, int r, size_t from, size_t n) {
    const DatasetColumn& col = Col(c);
    return std::string(col.data + static_cast<size_t>(r) * col.width + from, n);
  }
};

// ---- The parameter Dataset ------------------------------------------------------

TEST_F(ExecuteTest, RowWiseAndColumnWiseArraysWithNulls) {
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[12];
    SQLLEN nameLen;
    double amount;
    SQLLEN amountInd;
  };
  for (bool rowWise : {false, true}) {
    SCOPED_TRACE(rowWise ? "row-wise" : "column-wise");
    got.Reset();
    SFake().Reset();
    Prepared({"id", "name", "amount"});
    Sets(3);
    Row rows[3] = {{1, 0, "ab", SQL_NTS, 1.5, 0},
                   {2, 0, "", SQL_NULL_DATA, 2.5, 0},
                   {3, 0, "longest", 7, 0, SQL_NULL_DATA}};
    SQLINTEGER ids[3] = {1, 2, 3};
    SQLLEN idInd[3] = {0, 0, 0};
    char names[3][12] = {"ab", "", "longest"};
    SQLLEN nameLen[3] = {SQL_NTS, SQL_NULL_DATA, 7};
    double amounts[3] = {1.5, 2.5, 0};
    SQLLEN amountInd[3] = {0, 0, SQL_NULL_DATA};
    if (rowWise) {
      ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0),
                SQL_SUCCESS);
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0,
                       &rows[0].idInd);
      SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, rows[0].name, 12,
                       &rows[0].nameLen);
      SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &rows[0].amount,
                       0, &rows[0].amountInd);
    } else {
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids, 0, idInd);
      SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, names, 12,
                       nameLen);
      SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, amounts, 0,
                       amountInd);
    }
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
    ASSERT_NE(got.params, nullptr);
    ASSERT_EQ(got.params->colCount, 3);
    ASSERT_EQ(got.params->rowCount, 3);
    EXPECT_EQ(Col(0).type, DS_INTEGER);
    EXPECT_EQ(Col(1).type, DS_CHAR);
    EXPECT_EQ(Col(1).width, 8u);  // the longest value and its terminator
    EXPECT_EQ(Col(2).type, DS_DOUBLE);
    int32_t id = 0;
    memcpy(&id, Col(0).data + 2 * 4, 4);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(Text(1, 0), "ab");
    EXPECT_EQ(Col(1).ind[1], DS_IND_NULL);
    EXPECT_EQ(Text(1, 2), "longest");
    double a = 0;
    memcpy(&a, Col(2).data + 8, 8);
    EXPECT_EQ(a, 2.5);
    EXPECT_EQ(Col(2).ind[2], DS_IND_NULL);
    // The types go with the first execution only.
    ASSERT_EQ(got.types.size(), 3u);
    EXPECT_EQ(got.types[1].sqlType, SQL_VARCHAR);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
    EXPECT_TRUE(Fake().Called("PrepareExecute 0"));
  }
}

// The bind offset moves the values, lengths and indicators of every set alike, in
// either layout, whether a value has a length or indicator buffer or not.
TEST_F(ExecuteTest, TheBindOffsetMovesEveryBufferOfEitherLayout) {
  struct Row {
    SQLINTEGER id;
    SQLSMALLINT small;
    SQL_DATE_STRUCT day;
    double amount;
    SQLLEN amountInd;
    char name[8];
    SQLLEN nameLen;
  };
  // The application's buffers lie 2 rows (row-wise) or 2 elements (column-wise) on from
  // where they were bound.
  constexpr int kFar = 2, kSets = 3;
  for (bool rowWise : {false, true}) {
    SCOPED_TRACE(rowWise ? "row-wise" : "column-wise");
    got.Reset();
    SFake().Reset();
    Prepared({"id", "small", "day", "amount", "name"});
    Sets(kSets);
    Row rows[kFar + kSets] = {};
    SQLINTEGER ids[kFar + kSets] = {};
    SQLSMALLINT smalls[kFar + kSets] = {};
    SQL_DATE_STRUCT days[kFar + kSets] = {};
    double amounts[kFar + kSets] = {};
    SQLLEN amountInd[kFar + kSets] = {};
    char names[kFar + kSets][8] = {};
    SQLLEN nameLen[kFar + kSets] = {};
    for (int r = 0; r < kSets; ++r) {
      const int k = kFar + r;
      const bool nullAmount = r == 1;
      rows[k] = {100 + r, static_cast<SQLSMALLINT>(-r), {static_cast<SQLSMALLINT>(2000 + r), 2, 3},
                 0.5 + r, nullAmount ? SQL_NULL_DATA : 0, {}, SQL_NTS};
      rows[k].name[0] = 'n';
      rows[k].name[1] = static_cast<char>('0' + r);
      ids[k] = rows[k].id;
      smalls[k] = rows[k].small;
      days[k] = rows[k].day;
      amounts[k] = rows[k].amount;
      amountInd[k] = rows[k].amountInd;
      memcpy(names[k], rows[k].name, sizeof names[k]);
      nameLen[k] = SQL_NTS;
    }
    SQLUSMALLINT opsArray[kSets] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE};
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, opsArray, 0);
    SQLLEN offset = 0;
    if (rowWise) {
      offset = kFar * static_cast<SQLLEN>(sizeof(Row));
      ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0),
                SQL_SUCCESS);
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0,
                       nullptr);
      SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0, &rows[0].small,
                       0, nullptr);
      SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0,
                       &rows[0].day, 0, nullptr);
      SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &rows[0].amount,
                       0, &rows[0].amountInd);
      SQLBindParameter(stmt_, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, rows[0].name, 8,
                       &rows[0].nameLen);
    } else {
      // Column-wise, one offset serves buffers of every element size: the values are bound
      // where the offset, counted in bytes of each array, lands on element kFar of each.
      // Only arrays of one element size can share it; these are all moved by 8 * kFar.
      offset = 8 * kFar;
      // The address an array is bound at, which may lie before the array itself.
      const auto at = [](void* array, SQLLEN by) {
        return reinterpret_cast<SQLPOINTER>(reinterpret_cast<uintptr_t>(array) + by);
      };
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                       at(ids, 4 * kFar - offset), 0, nullptr);
      SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0,
                       at(smalls, 2 * kFar - offset), 0, nullptr);
      SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0,
                       at(days, 6 * kFar - offset), 0, nullptr);
      SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, amounts, 0,
                       amountInd);
      SQLBindParameter(stmt_, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0,
                       at(names, 8 * kFar - offset), 8, nameLen);
    }
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
    ASSERT_NE(got.params, nullptr);
    ASSERT_EQ(got.params->rowCount, 2);
    for (int r = 0; r < 2; ++r) {
      SCOPED_TRACE(r);
      const Row& want = rows[kFar + r];
      int32_t id = 0;
      memcpy(&id, Col(0).data + r * Col(0).width, 4);
      EXPECT_EQ(id, want.id);
      int16_t small = 0;
      memcpy(&small, Col(1).data + r * Col(1).width, 2);
      EXPECT_EQ(small, want.small);
      EXPECT_EQ(Bytes(2, r, 0, 6), std::string(reinterpret_cast<const char*>(&want.day), 6));
      if (want.amountInd == SQL_NULL_DATA) {
        EXPECT_EQ(Col(3).ind[r], DS_IND_NULL);
      } else {
        double a = 0;
        memcpy(&a, Col(3).data + r * Col(3).width, 8);
        EXPECT_EQ(a, want.amount);
      }
      EXPECT_EQ(Text(4, r), want.name);
      for (int c : {0, 1, 2, 4}) EXPECT_EQ(Col(c).ind[r], 0) << c;
    }
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_BIND_OFFSET_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, nullptr, 0);
  }
}

// A NULL or an escape in one set never decides the type of the others.
TEST_F(ExecuteTest, DateTextColumnsAreTypedFromEverySet) {
  struct Case {
    const char* name;
    std::vector<const char*> values;  // null: SQL_NULL_DATA
    int32_t type;
    std::vector<std::string> cells;  // text of each cell ("" for NULL or a struct)
  };
  const Case cases[] = {
      {"plain dates with a NULL",
       {"2024-02-09", nullptr, "2023-12-31"},
       DS_CHAR,
       {"2024-02-09", "", "2023-12-31"}},
      {"escapes only", {"{d '2024-02-09'}", nullptr, "{d '2023-12-31'}"}, DS_DATE, {}},
      {"escape among plain dates",
       {"2024-02-09", "{d '2023-12-31'}"},
       DS_CHAR,
       {"2024-02-09", "2023-12-31"}},
      {"unknown escape among escapes",
       {"{d '2024-02-09'}", "{fn curdate()}"},
       DS_CHAR,
       {"2024-02-09", "{fn curdate()}"}},
      {"NULL only", {nullptr, nullptr}, DS_DATE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    got.Reset();
    SFake().Reset();
    Prepared({"d"});
    const size_t n = c.values.size();
    Sets(n);
    std::vector<char> buf(n * 20, 0);
    std::vector<SQLLEN> len(n);
    for (size_t r = 0; r < n; ++r) {
      if (c.values[r] == nullptr) {
        len[r] = SQL_NULL_DATA;
        continue;
      }
      strcpy(&buf[r * 20], c.values[r]);
      len[r] = SQL_NTS;
    }
    ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0,
                               buf.data(), 20, len.data()),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
    EXPECT_EQ(Col(0).type, c.type);
    for (size_t r = 0; r < c.cells.size(); ++r) EXPECT_EQ(Text(0, static_cast<int>(r)), c.cells[r]);
    if (c.type == DS_DATE && c.values[0] != nullptr) {
      EXPECT_EQ(Col(0).width, 6u);
      int16_t ymd[3];
      memcpy(ymd, Col(0).data + 2 * 6, 6);
      EXPECT_EQ(ymd[0], 2023);
      EXPECT_EQ(ymd[2], 31);
      EXPECT_EQ(Col(0).ind[1], DS_IND_NULL);
    }
  }
}

TEST_F(ExecuteTest, HexTextIntoBinarySizesCellsFromTheValues) {
  // One set: the bytes themselves.
  Prepared({"b"});
  char one[] = "0A1B";
  SQLLEN oneLen = SQL_NTS;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARBINARY, 10, 0, one, 5, &oneLen);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).type, DS_BINARY);
  EXPECT_EQ(Col(0).width, 2u);
  EXPECT_EQ(Bytes(0, 0, 0, 2), std::string("\x0A\x1B", 2));

  // Several sets: a length before the bytes, room for the longest value, even
  // when every value is short.
  Sets(3);
  char many[3][8] = {"0A", "", "FF00FF"};
  SQLLEN manyLen[3] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARBINARY, 10, 0, many, 8, manyLen);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).type, DS_VARBINARY4);
  EXPECT_EQ(Col(0).width, 4u + 3u);
  EXPECT_EQ(Bytes(0, 0, 0, 5), std::string("\x01\0\0\0\x0A", 5));
  EXPECT_EQ(Col(0).ind[1], DS_IND_NULL);
  EXPECT_EQ(Bytes(0, 2, 0, 7), std::string("\x03\0\0\0\xFF\x00\xFF", 7));
}

// Values are read over their own length only: the application's buffers hold
// exactly the value, so a longer read shows under the address sanitizer.
TEST_F(ExecuteTest, CopiesTakeOnlyTheValuesOwnLength) {
  Prepared({"narrow", "wide"});
  Sets(2);
  const char* narrow[2] = {"{fn curdate()}", "2024-02-09 10:11:12"};
  const char16_t* wide[2] = {u"{fn now()}", u"10:11:12"};
  std::vector<char> nbuf(2 * 20, 'x');
  std::vector<SQLWCHAR> wbuf(2 * 10, 'x');
  SQLLEN nlen[2], wlen[2];
  for (int r = 0; r < 2; ++r) {
    nlen[r] = static_cast<SQLLEN>(strlen(narrow[r]));
    memcpy(&nbuf[r * 20], narrow[r], nlen[r]);
    wlen[r] = static_cast<SQLLEN>(2 * std::char_traits<char16_t>::length(wide[r]));
    memcpy(&wbuf[r * 10], wide[r], wlen[r]);
  }
  // Each value ends where its buffer ends.
  char* n0 = static_cast<char*>(malloc(nlen[0]));
  memcpy(n0, narrow[0], nlen[0]);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 19, 0, nbuf.data(),
                   20, nlen);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_TYPE_TIME, 8, 0, wbuf.data(), 20,
                   wlen);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).type, DS_CHAR);
  EXPECT_EQ(Text(0, 0), "{fn curdate()}");
  EXPECT_EQ(Text(0, 1), "2024-02-09 10:11:12");
  EXPECT_EQ(Col(1).type, DS_WCHAR);
  EXPECT_EQ(Bytes(1, 0, 0, 20), std::string(reinterpret_cast<const char*>(u"{fn now()}"), 20));
  EXPECT_EQ(Bytes(1, 0, 20, 2), std::string(2, '\0'));

  Sets(1);
  SQLLEN exact = nlen[0];
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 19, 0, n0, 0, &exact);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Text(0, 0), "{fn curdate()}");
  free(n0);
}

TEST_F(ExecuteTest, AnOutputBindingTheBackEndTakesAsInputSendsNull) {
  // The back end names no direction: the result marker of "{? = call f(?)}"
  // goes as an input, but its buffer was never filled: unterminated text with
  // SQL_NTS and no buffer length must not be read.
  Prepared({"ret", "arg"});
  char* unfilled = static_cast<char*>(malloc(4));
  memset(unfilled, 'x', 4);
  SQLLEN retLen = SQL_NTS;
  SQLINTEGER arg = 21;
  SQLBindParameter(stmt_, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, unfilled, 0, &retLen);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &arg, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).ind[0], DS_IND_NULL);
  EXPECT_EQ(Col(1).ind[0], 0);
  free(unfilled);
}

TEST_F(ExecuteTest, ValuesOfEachCType) {
  Prepared({"guid", "big", "num", "wide", "bin"});
  SQLGUID g{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  SQLBIGINT big = -5;
  SQL_NUMERIC_STRUCT num{};
  num.precision = 5;
  num.scale = 2;
  num.sign = 0;
  num.val[0] = 0x39;  // 12345
  num.val[1] = 0x30;
  SQLWCHAR wide[] = {'h', 0xE9, 0};
  unsigned char bin[3] = {1, 0, 2};
  SQLLEN binLen = 3, ntsLen = SQL_NTS;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_GUID, SQL_GUID, 36, 0, &g, 0, nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, nullptr);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 5, 2, &num, 0, nullptr);
  SQLBindParameter(stmt_, 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 5, 0, wide, 0, &ntsLen);
  SQLBindParameter(stmt_, 5, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 5, 0, bin, 3, &binLen);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).type, DS_CHAR);
  EXPECT_EQ(Text(0, 0), "01020304-0506-0708-090A-0B0C0D0E0F10");
  EXPECT_EQ(Col(1).width, 32u);
  EXPECT_EQ(Text(1, 0), "-5");
  EXPECT_EQ(Col(2).type, DS_DOUBLE);
  double d = 0;
  memcpy(&d, Col(2).data, 8);
  EXPECT_DOUBLE_EQ(d, -123.45);
  EXPECT_EQ(Col(3).type, DS_WCHAR);
  EXPECT_EQ(Col(3).width, 6u);
  EXPECT_EQ(Bytes(3, 0, 0, 4), std::string(reinterpret_cast<const char*>(wide), 4));
  EXPECT_EQ(Col(4).type, DS_VARBINARY4);
  EXPECT_EQ(Bytes(4, 0, 0, 7), std::string("\x03\0\0\0\x01\x00\x02", 7));

  // A number with more digits than a double keeps travels as decimal text.
  num.precision = 38;
  num.scale = 3;
  num.sign = 1;
  memset(num.val, 0xFF, 12);  // 2^96 - 1
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(2).type, DS_CHAR);
  EXPECT_EQ(Text(2, 0), "79228162514264337593543950.335");
}

TEST_F(ExecuteTest, WideValuesForABackEndWithoutUtf16) {
  Fake().ints[DRVP_WIDE] = 0;
  Prepared({"w"});
  SQLWCHAR wide[] = {'h', 0xE9, 0};
  SQLLEN nts = SQL_NTS;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 5, 0, wide, 0, &nts);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).type, DS_STRING);
  EXPECT_EQ(Text(0, 0), "h\xC3\xA9");
  ASSERT_EQ(got.types.size(), 1u);
  EXPECT_EQ(got.types[0].sqlType, SQL_VARCHAR);
  EXPECT_EQ(got.types[0].cType, SQL_C_CHAR);
}

TEST_F(ExecuteTest, SixtyFourBitIntegerTextWithoutParameterArrays) {
  Prepared({"big"}, DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_EXECUTE2);
  SQLBIGINT big = -5;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(Col(0).width, 2u);
  EXPECT_EQ(Bytes(0, 0, 0, 2), "-5");
}

TEST_F(ExecuteTest, TypesTravelOncePerBindingByTheSlotTheBackEndHas) {
  // Without a prepare-and-execute slot they go with every execution.
  Prepared({"a", "b"}, DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_PARAM_OP);
  SQLINTEGER v = 1;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  int typeCalls = 0;
  for (const std::string& e : Fake().Calls()) typeCalls += e == "SetParamTypes 2";
  EXPECT_EQ(typeCalls, 2);

  // The 24-byte entries carry the IPD record's name of a named parameter.
  got.Reset();
  SFake().Reset();
  Prepared({"a", "b"}, kAgent | DRV_CAPBIT_PREP_EXEC2);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
  SQLHDESC ipd = DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC);
  ASSERT_EQ(SQLSetDescField(ipd, 2, SQL_DESC_NAME, (SQLPOINTER) "@total", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(got.names, (std::vector<std::string>{"", "@total"}));
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("PrepareExecute2 0"));
}

// ---- Lengths, status array and processed count -----------------------------------

TEST_F(ExecuteTest, LengthsThatNoValueHas) {
  const struct {
    SQLLEN len;
    const char* state;
  } cases[] = {{-4, "HY090"}, {-6, "HY090"}, {-99, "HY090"}, {SQL_DEFAULT_PARAM, "HYC00"}};
  Prepared({"a"});
  char text[8] = "abc";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.len);
    SQLLEN len = c.len;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 5, 0, text, 8, &len);
    EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), c.state);
    EXPECT_EQ(got.executions, 0);
  }
}

TEST_F(ExecuteTest, IgnoredSetsStatusesAndProcessedCount) {
  Prepared({"a"});
  Sets(4);
  SQLINTEGER v[4] = {1, 2, 3, 4};
  SQLUSMALLINT opsArray[4] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED,
                              SQL_PARAM_PROCEED};
  SQLUSMALLINT status[4] = {};
  SQLULEN processed = 99;
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, opsArray, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  ASSERT_EQ(got.params->rowCount, 3);
  int32_t third = 0;
  memcpy(&third, Col(0).data + 4, 4);
  EXPECT_EQ(third, 3);
  EXPECT_EQ(processed, 3u);
  const SQLUSMALLINT ok[4] = {SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED, SQL_PARAM_SUCCESS,
                              SQL_PARAM_SUCCESS};
  EXPECT_EQ(memcmp(status, ok, sizeof ok), 0);

  // The back end stops at the second set it was given (the third of the array).
  got.executeCode = 68;
  Fake().rowCount = 1;
  EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "42000");
  EXPECT_EQ(processed, 2u);
  const SQLUSMALLINT failed[4] = {SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED, SQL_PARAM_ERROR,
                                  SQL_PARAM_UNUSED};
  EXPECT_EQ(memcmp(status, failed, sizeof failed), 0);

  // Nothing runs when every set is ignored.
  got.executeCode = 0;
  for (SQLUSMALLINT& o : opsArray) o = SQL_PARAM_IGNORE;
  const int before = got.executions;
  EXPECT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(got.executions, before);
  EXPECT_EQ(processed, 0u);
  EXPECT_EQ(status[3], SQL_PARAM_UNUSED);
}

TEST_F(ExecuteTest, SelectAndStatementWithoutParametersReportTheirSets) {
  Prepared({"a"}, kAgent, "select * from t where a = ?");
  Sets(5);
  SQLINTEGER v[5] = {1, 2, 3, 4, 5};
  SQLULEN processed = 0;
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, v, 0, nullptr);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_EQ(got.params->rowCount, 5);
  EXPECT_EQ(processed, 1u);

  SFake().params.clear();
  Sets(1);
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"delete from t", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt_), SQL_SUCCESS);
  EXPECT_TRUE(Fake().Called("Execute"));
  EXPECT_EQ(processed, 0u);
}

TEST_F(ExecuteTest, DataAtExecution) {
  Prepared({"a"});
  char text[4] = "abc";
  SQLLEN len = SQL_DATA_AT_EXEC;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 5, 0, text, 4, &len);
  // A back end that asks for the values itself gets the cell marked.
  got.executeCode = 43;
  EXPECT_EQ(SQLExecute(stmt_), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "HYC00");
  EXPECT_EQ(Col(0).ind[0], DS_IND_DAE);
}

// ---- Output parameters ------------------------------------------------------------

TEST_F(ExecuteTest, OutputParametersTakeTheirOwnDescriptorRecords) {
  Prepared({"*I", "*O", "*O"});
  SQLINTEGER in = 7;
  SQL_NUMERIC_STRUCT num{};
  char text[4] = {};
  SQLLEN numInd = 0, textLen = 0;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &in, 0, nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_OUTPUT, SQL_C_NUMERIC, SQL_DECIMAL, 10, 3, &num, 0, &numInd);
  SQLBindParameter(stmt_, 3, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, text, 4, &textLen);
  SQLHDESC apd = DescAttr(stmt_, SQL_ATTR_APP_PARAM_DESC);
  ASSERT_EQ(SQLSetDescField(apd, 2, SQL_DESC_PRECISION, (SQLPOINTER)10, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(apd, 2, SQL_DESC_SCALE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(apd, 2, SQL_DESC_DATA_PTR, &num, 0), SQL_SUCCESS);

  // The back end's output row: column 1 is parameter 2, column 2 parameter 3.
  ASSERT_EQ(DatasetInit(&got.outputRow, 2), 0);
  got.outputRow.cols[0] = {DS_CHAR, 8, nullptr, nullptr};
  got.outputRow.cols[1] = {DS_CHAR, 8, nullptr, nullptr};
  got.outputRow.colCount = 2;
  ASSERT_EQ(DatasetSetRows(&got.outputRow, 1), 0);
  strcpy(got.outputRow.cols[0].data, "12.345");
  strcpy(got.outputRow.cols[1].data, "abcdef");
  got.outputRow.cols[0].ind[0] = 0;
  got.outputRow.cols[1].ind[0] = 0;
  got.outputRow.rowCount = 1;

  EXPECT_EQ(SQLExecute(stmt_), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "01004");
  EXPECT_EQ(got.params->colCount, 1);
  EXPECT_EQ(num.scale, 3);
  EXPECT_EQ(num.val[0] | num.val[1] << 8, 12345);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(textLen, 6);
}

}  // namespace
