// Tests of SQLSetPos over the recording back end: the refusals, the rows and
// columns an UPDATE, ADD or DELETE sends, the statuses that come back and how
// far they are written, values sent at execution on both roads, a refresh
// that reads the rows again, and SQLGetFunctions claiming SetPos only where
// it is served.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"
#include "setpos_fake.h"

namespace {

// Column-wise arrays of a rowset of up to 8 rows of (INTEGER, VARCHAR).
struct Arrays {
  int32_t id[8] = {};
  SQLLEN idLen[8] = {};
  char name[8][24] = {};
  SQLLEN nameLen[8] = {};
  SQLUSMALLINT status[8] = {};
};

class SetPosRoadTest : public SetPosTest {
 protected:
  // A rowset of `size` rows of a keyset-driven cursor under value concurrency,
  // both columns bound (the text column first) and fetched.
  void Fetched(int32_t rows, SQLULEN size, int32_t cursorType = SQL_CURSOR_KEYSET_DRIVEN,
               int32_t concurrency = SQL_CONCUR_VALUES, uint32_t caps = 0,
               std::vector<FakeColumn> cols = {}) {
    Grid(rows, cursorType, concurrency, caps, std::move(cols));
    Rowset(size);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, a_.status, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, a_.name, sizeof a_.name[0], a_.nameLen),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a_.id, 0, a_.idLen), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  }
  void Name(int k, const char* text) {
    std::strcpy(a_.name[k], text);
    a_.nameLen[k] = SQL_NTS;
  }
  Arrays a_;
};

TEST_F(SetPosRoadTest, RefusalsSendNothing) {
  struct Case {
    const char* what;
    int32_t cursorType;
    int32_t concurrency;
    SQLSETPOSIROW row;
    SQLUSMALLINT op;
    SQLUSMALLINT lock;
    const char* state;
  };
  const Case cases[] = {
      {"lock", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 1, SQL_UPDATE, SQL_LOCK_EXCLUSIVE,
       "HYC00"},
      {"forward-only", SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_VALUES, 1, SQL_UPDATE,
       SQL_LOCK_NO_CHANGE, "HY109"},
      {"read-only", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 1, SQL_DELETE,
       SQL_LOCK_NO_CHANGE, "HY009"},
      {"beyond the rowset", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4, SQL_UPDATE,
       SQL_LOCK_NO_CHANGE, "HY107"},
      // Row 2^32 + 1 must not be taken for row 1.
      {"no 32-bit wrap", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, (SQLSETPOSIROW{1} << 32) + 1,
       SQL_UPDATE, SQL_LOCK_NO_CHANGE, "HY107"},
      {"no 16-bit wrap", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 65537, SQL_POSITION,
       SQL_LOCK_NO_CHANGE, "HY107"},
      // The application's arrays hold the rowset's rows and no more.
      {"add beyond the rowset", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4, SQL_ADD,
       SQL_LOCK_NO_CHANGE, "HY107"},
      {"add far beyond the rowset", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 65535, SQL_ADD,
       SQL_LOCK_NO_CHANGE, "HY107"},
      {"deleted row", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2, SQL_DELETE,
       SQL_LOCK_NO_CHANGE, "HY109"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    FFake().statuses = {SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS};
    Fetched(3, 3, c.cursorType, c.concurrency);
    EXPECT_EQ(SQLSetPos(stmt_, c.row, c.op, c.lock), SQL_ERROR);
    EXPECT_EQ(State(), c.state);
    EXPECT_TRUE(PFake().setPos.empty());
  }
}

TEST_F(SetPosRoadTest, StateAndCapabilityRefusals) {
  FFake().statuses = {SQL_ROW_SUCCESS, SQL_ROW_DELETED};
  Grid(2, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES);
  Rowset(2);
  // No rowset yet.
  EXPECT_EQ(SQLSetPos(stmt_, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "24000");
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetPos(stmt_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "21S02");
  // A deleted row can still be positioned on.
  EXPECT_EQ(SQLSetPos(stmt_, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(StmtOf(stmt_)->st_cursor.sc_position, 2);
  ASSERT_EQ(PFake().setPos.size(), 1u);
  EXPECT_EQ(PFake().setPos[0].op, SQL_POSITION);
  StmtOf(stmt_)->st_dbc->cn_hasScrlCurs = 0;
  EXPECT_EQ(SQLSetPos(stmt_, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "IM001");
}

TEST_F(SetPosRoadTest, UpdateSendsTheUpdatableBoundColumnsOfItsRow) {
  std::vector<FakeColumn> cols = {Col(SQL_INTEGER, DS_INTEGER), Col(SQL_VARCHAR, DS_STRING, 8),
                                  Col(SQL_BIGINT, DS_CHAR, 20), Col(SQL_INTEGER, DS_INTEGER)};
  cols[3].flags |= (SQL_ATTR_READONLY + 1) << 4;
  Grid(3, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 0, cols);
  Rowset(3);
  int64_t big[3] = {0, -5, 0};
  int32_t serial[3] = {};
  SQLLEN bigLen[3] = {0, 8, 0};
  SQLLEN serialLen[3] = {};
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, a_.name, sizeof a_.name[0], a_.nameLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_DEFAULT, a_.id, 4, a_.idLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_SBIGINT, big, 0, bigLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 4, SQL_C_SLONG, serial, 0, serialLen), SQL_SUCCESS);
  StmtOf(stmt_)->st_paramsetSize = 4;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, a_.status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  Name(1, "abc");
  a_.id[1] = 42;
  big[1] = -5;
  bigLen[1] = 8;
  PFake().statuses = {SQL_ROW_UPDATED};
  ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  ASSERT_EQ(PFake().setPos.size(), 1u);
  const SetPosCall& call = PFake().setPos[0];
  EXPECT_EQ(call.row, 2);
  // Binding order; the read-only column stays out.
  EXPECT_EQ(call.columns, (std::vector<uint16_t>{2, 1, 3}));
  ASSERT_EQ(call.rows.size(), 3u);
  EXPECT_EQ(call.rows[0].type, DS_CHAR);
  EXPECT_EQ(call.rows[0].width, 17u);  // never narrower than 16 characters
  EXPECT_EQ(call.rows[0].cells[0].bytes, "abc");
  // SQL_C_DEFAULT goes as the column's own C type, not as text.
  EXPECT_EQ(call.rows[1].type, DS_INTEGER);
  int32_t id = 0;
  std::memcpy(&id, call.rows[1].cells[0].bytes.data(), 4);
  EXPECT_EQ(id, 42);
  EXPECT_EQ(call.rows[2].cells[0].bytes, "-5" + std::string(29, ' '));
  EXPECT_EQ(a_.status[1], SQL_ROW_UPDATED);
  EXPECT_EQ(a_.status[0], SQL_ROW_SUCCESS);
  // The application's parameter-set size is its own.
  EXPECT_EQ(StmtOf(stmt_)->st_paramsetSize, 4u);
}

TEST_F(SetPosRoadTest, IgnoredRowsAndCellsOfAWholeRowset) {
  Fetched(3, 3);
  SQLUSMALLINT operations[3] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED};
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_OPERATION_PTR, operations, 0), SQL_SUCCESS);
  for (int k = 0; k < 3; ++k) Name(k, "n");
  a_.idLen[2] = SQL_COLUMN_IGNORE;  // the id of row 3 stays as it is
  PFake().statuses = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED};
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  const SetPosCall& call = PFake().setPos.at(0);
  EXPECT_EQ(call.row, -2);
  ASSERT_EQ(call.columns, (std::vector<uint16_t>{2, 1}));
  std::vector<int16_t> names, ids;
  for (const SeenCell& c : call.rows[0].cells) names.push_back(c.ind);
  for (const SeenCell& c : call.rows[1].cells) ids.push_back(c.ind);
  EXPECT_EQ(names, (std::vector<int16_t>{0, DS_IND_IGNORE, 0}));
  EXPECT_EQ(ids, (std::vector<int16_t>{0, DS_IND_IGNORE, DS_IND_IGNORE}));
  EXPECT_EQ(a_.status[0], SQL_ROW_UPDATED);
  EXPECT_EQ(a_.status[1], SQL_ROW_SUCCESS);  // an ignored row keeps its status
  EXPECT_EQ(a_.status[2], SQL_ROW_UPDATED);

  // A DELETE of the rowset sends one indicator per row.
  PFake().statuses = {SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_DELETED};
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  const SetPosCall& del = PFake().setPos.at(1);
  ASSERT_EQ(del.rows.size(), 1u);
  EXPECT_EQ(del.rows[0].type, DS_BIT);
  std::vector<int16_t> marks;
  for (const SeenCell& c : del.rows[0].cells) marks.push_back(c.ind);
  EXPECT_EQ(marks, (std::vector<int16_t>{DS_IND_NULL, DS_IND_IGNORE, DS_IND_NULL}));
}

TEST_F(SetPosRoadTest, StatusesStopAtTheRowsetFetchedAndAtTheBackEndsCount) {
  Grid(5, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES);
  Rowset(2);
  // The application's status array holds exactly the rowset it fetched.
  auto* exact = new SQLUSMALLINT[2];
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, exact, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, a_.id, 0, a_.idLen), SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  // A larger rowset size counts from the next fetch on.
  Rowset(5);
  PFake().statuses = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED,
                      SQL_ROW_UPDATED};
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(PFake().setPos.at(0).rows.at(0).cells.size(), 2u);
  EXPECT_EQ(exact[0], SQL_ROW_UPDATED);
  EXPECT_EQ(exact[1], SQL_ROW_UPDATED);
  EXPECT_EQ(SQLSetPos(stmt_, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "HY107");
  // A back end that answers for fewer rows leaves the others as they were.
  exact[0] = exact[1] = SQL_ROW_SUCCESS;
  PFake().given = 1;
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(exact[0], SQL_ROW_UPDATED);
  EXPECT_EQ(exact[1], SQL_ROW_SUCCESS);
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  delete[] exact;
}

TEST_F(SetPosRoadTest, ChangesByOthersComeBackAsStatuses) {
  struct Case {
    int32_t code;
    SQLRETURN rc;
    const char* state;
    SQLUSMALLINT status;  // of row 1 afterwards
  };
  const Case cases[] = {
      // ODBC 3 names both "Cursor operation conflict".
      {ERR_MANY_ROWS_CHANGED, SQL_SUCCESS_WITH_INFO, "01001", SQL_ROW_UPDATED},
      {ERR_NO_ROWS_CHANGED, SQL_ERROR, "01001", SQL_ROW_ERROR},
      {ERR_GENERAL, SQL_ERROR, "HY000", SQL_ROW_SUCCESS},
  };
  for (const Case& c : cases) {
    for (SQLUSMALLINT op : {SQL_UPDATE, SQL_DELETE}) {
      SCOPED_TRACE(std::to_string(c.code) + " op " + std::to_string(op));
      TearDown();
      SetUp();
      Fetched(2, 2);
      Name(0, "x");
      PFake().setPosCode = c.code;
      PFake().statuses = {c.status == SQL_ROW_SUCCESS ? SQL_ROW_UPDATED : c.status};
      EXPECT_EQ(SQLSetPos(stmt_, 1, op, SQL_LOCK_NO_CHANGE), c.rc);
      EXPECT_EQ(State(), c.state);
      EXPECT_EQ(a_.status[0], c.status);
    }
  }
}

TEST_F(SetPosRoadTest, AddTakesItsRowFromPastTheRowsFetched) {
  Fetched(2, 3);
  // The rowset's third row fetched nothing; its buffers hold the new row.
  Name(2, "new");
  a_.id[2] = 9;
  PFake().statuses = {SQL_ROW_ADDED};
  ASSERT_EQ(SQLSetPos(stmt_, 3, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  const SetPosCall& call = PFake().setPos.at(0);
  EXPECT_EQ(call.op, SQL_ADD);
  EXPECT_EQ(call.rows.at(0).cells.at(0).bytes, "new");
  // A larger rowset size takes effect at the next fetch: until then an ADD takes
  // its row from the rowset fetched.
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)8, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetPos(stmt_, 4, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_ERROR);
  EXPECT_EQ(State(), "HY107");
  EXPECT_EQ(PFake().setPos.size(), 1u);
}

// Values sent at execution on the local road: asked for row by row, collected
// from the pieces, and sent with the rest of the row.
TEST_F(SetPosRoadTest, ColumnValuesSentAtExecutionOnTheLocalRoad) {
  Fetched(3, 3);
  a_.nameLen[1] = SQL_LEN_DATA_AT_EXEC(0);
  PFake().statuses = {SQL_ROW_UPDATED};
  ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA);
  EXPECT_TRUE(PFake().setPos.empty());
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, a_.name[1]);
  ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER) "ab", 2), SQL_SUCCESS);
  ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER) "cd", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_SUCCESS);
  ASSERT_EQ(PFake().setPos.size(), 1u);
  EXPECT_EQ(PFake().setPos[0].rows.at(0).cells.at(0).bytes, "abcd");
  EXPECT_EQ(a_.status[1], SQL_ROW_UPDATED);
  EXPECT_EQ(SQLParamData(stmt_, &token), SQL_ERROR);
  EXPECT_EQ(State(), "HY010");
}

// On the driver road the cells go marked, the back end names them by their
// place in the rows it got, and the final ParamData brings the statuses.
TEST_F(SetPosRoadTest, ColumnValuesSentAtExecutionOnTheDriverRoad) {
  std::vector<FakeColumn> cols = {Col(SQL_INTEGER, DS_INTEGER), Col(SQL_VARCHAR, DS_STRING, 8)};
  cols[1].flags |= (SQL_ATTR_READONLY + 1) << 4;
  Fetched(3, 3, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, DRV_CAPBIT_V2DAE, cols);
  // The read-only name is bound first and stays out of the rows: the id is
  // column 0 there but the second binding.
  a_.idLen[2] = SQL_DATA_AT_EXEC;
  PFake().setPosCode = ERR_NEED_DAE;
  PFake().cells = {{0, 2}};
  PFake().finalStatuses = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_ERROR};
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA);
  const SetPosCall& call = PFake().setPos.at(0);
  EXPECT_EQ(call.columns, (std::vector<uint16_t>{1}));
  EXPECT_EQ(call.rows.at(0).type, DS_INTEGER);
  EXPECT_EQ(call.rows[0].cells.at(2).ind, DS_IND_DAE);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, &a_.id[2]);
  const int32_t v = 77;
  ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER)&v, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_SUCCESS);
  EXPECT_EQ(PFake().pieces, (std::vector<std::string>{std::string((const char*)&v, 4)}));
  EXPECT_EQ(PFake().pieceTypes, (std::vector<uint32_t>{DS_INTEGER}));
  EXPECT_EQ(a_.status[0], SQL_ROW_UPDATED);
  EXPECT_EQ(a_.status[2], SQL_ROW_ERROR);
  // The road belongs to each operation: the connection keeps its capability.
  EXPECT_EQ(StmtOf(stmt_)->st_dbc->cn_hasV2DAE, 1);
}

TEST_F(SetPosRoadTest, RefreshReadsKeyedRowsAgainAndAStaticRowsetFromItself) {
  Fetched(2, 2);
  // Another user changed row 2 and deleted row 1 since the fetch.
  FFake().next = 0;
  FFake().statuses = {SQL_ROW_DELETED, SQL_ROW_SUCCESS};
  Text(1, 2, "changed");
  ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(std::string(a_.name[1]), "changed");
  EXPECT_EQ(std::string(a_.name[0]), "r1");  // only the row asked for
  EXPECT_EQ(FFake().targets, (std::vector<int32_t>{1, 1}));
  FFake().next = 0;
  ASSERT_EQ(SQLSetPos(stmt_, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(a_.status[0], SQL_ROW_DELETED);

  TearDown();
  SetUp();
  Fetched(2, 2, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY);
  Text(1, 2, "changed");
  a_.name[1][0] = 0;
  ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
  EXPECT_EQ(std::string(a_.name[1]), "r2");
  EXPECT_EQ(FFake().targets.size(), 1u);
}

TEST_F(SetPosRoadTest, GetFunctionsClaimsSetPosOnlyWhereItIsServed) {
  Fetched(1, 1);
  SQLUSMALLINT setPos = 0, bulk = 0;
  SQLUSMALLINT all[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_SQLSETPOS, &setPos), SQL_SUCCESS);
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_SQLBULKOPERATIONS, &bulk), SQL_SUCCESS);
  EXPECT_EQ(setPos, SQL_TRUE);
  EXPECT_EQ(bulk, SQL_TRUE);
  // GetData on a row of a block is promised only with the SetPos that names it.
  Fake().ints[DRVP_GETINFO_INT + SQL_GETDATA_EXTENSIONS] =
      SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK;
  const auto getDataExtensions = [&] {
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQLGetInfo(dbc_, SQL_GETDATA_EXTENSIONS, &v, sizeof v, nullptr), SQL_SUCCESS);
    return v;
  };
  EXPECT_EQ(getDataExtensions(), SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK);
  Conn* conn = StmtOf(stmt_)->st_dbc;
  conn->cn_hasScrlCurs = 0;
  EXPECT_EQ(getDataExtensions(), SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER);
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_SQLSETPOS, &setPos), SQL_SUCCESS);
  ASSERT_EQ(SQLGetFunctions(dbc_, SQL_API_ODBC3_ALL_FUNCTIONS, all), SQL_SUCCESS);
  EXPECT_EQ(setPos, SQL_FALSE);
  EXPECT_FALSE(SQL_FUNC_EXISTS(all, SQL_API_SQLSETPOS));
  EXPECT_FALSE(SQL_FUNC_EXISTS(all, SQL_API_SQLBULKOPERATIONS));
  EXPECT_TRUE(SQL_FUNC_EXISTS(all, SQL_API_SQLFETCHSCROLL));
}

// Row-wise records behind a bind offset: each row's value, length and the
// token of a value sent at execution lie in its own record.
TEST_F(SetPosRoadTest, RowWiseRecordsAtAnOffset) {
  struct Record {
    int32_t id;
    SQLLEN idLen;
    char name[12];
    SQLLEN nameLen;
  };
  Record recs[4] = {};
  Grid(3, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES);
  Rowset(3);
  SQLLEN offset = sizeof(Record);  // the records start one record in
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Record), 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, &recs[0].id, 0, &recs[0].idLen), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, recs[0].name, sizeof recs[0].name, &recs[0].nameLen),
            SQL_SUCCESS);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(recs[3].id, 3);
  recs[2].id = 20;
  recs[2].nameLen = SQL_DATA_AT_EXEC;
  PFake().statuses = {SQL_ROW_UPDATED};
  ASSERT_EQ(SQLSetPos(stmt_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, recs[2].name);
  ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER) "late", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_SUCCESS);
  const SetPosCall& call = PFake().setPos.at(0);
  ASSERT_EQ(call.columns, (std::vector<uint16_t>{1, 2}));
  int32_t id = 0;
  std::memcpy(&id, call.rows[0].cells.at(0).bytes.data(), 4);
  EXPECT_EQ(id, 20);
  EXPECT_EQ(call.rows[1].cells.at(0).bytes, "late");
}

// A date escape in text becomes a date where the core builds the rows; on the
// driver road it goes as the text it is.
TEST_F(SetPosRoadTest, DateLiteralsOnEachRoad) {
  for (uint32_t caps : {0u, static_cast<uint32_t>(DRV_CAPBIT_V2DAE)}) {
    SCOPED_TRACE(caps);
    TearDown();
    SetUp();
    Fetched(1, 1, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, caps);
    Name(0, "{d '2001-02-03'}");
    PFake().statuses = {SQL_ROW_UPDATED};
    ASSERT_EQ(SQLSetPos(stmt_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
    const SeenColumn& name = PFake().setPos.at(0).rows.at(0);
    if (caps == 0) {
      ASSERT_EQ(name.type, DS_DATE);
      const int16_t ymd[3] = {2001, 2, 3};
      EXPECT_EQ(name.cells.at(0).bytes.substr(0, 6), std::string((const char*)ymd, 6));
    } else {
      EXPECT_EQ(name.type, DS_CHAR);
      EXPECT_EQ(name.cells.at(0).bytes, "{d '2001-02-03'}");
    }
  }
}

}  // namespace
