// Tests of SQLBulkOperations over the recording back end: the refusals, the
// bookmarks read from a bound bookmark array, fetching, updating and deleting
// by them, the statuses each bookmark gets, values sent at execution for an
// update, and SQL_ADD through SetPos.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"
#include "setpos_fake.h"

namespace {

class BulkTest : public SetPosTest {
 protected:
  // A fetched rowset of the first `rows` rows of a result of `rows` rows, with
  // bookmarks on, both columns bound, and a bookmark array of three 8-byte
  // bookmarks bound as column 0 with the rowset size 3.
  void Fetched(int32_t rows, int32_t cursorType = SQL_CURSOR_KEYSET_DRIVEN, uint32_t caps = 0) {
    Grid(rows, cursorType, SQL_CONCUR_VALUES, caps);
    StmtOf(stmt_)->st_cursor.sc_useBookmarks = SQL_UB_VARIABLE;
    Fake().ints[DRVP_GETINFO_INT + SQL_BOOKMARK_PERSISTENCE] = SQL_BP_SCROLL;
    Rowset(static_cast<SQLULEN>(rows));
    ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_SLONG, id_, 0, idLen_), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, name_, sizeof name_[0], nameLen_), SQL_SUCCESS);
    ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    Rowset(3);
    ASSERT_EQ(SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks_, sizeof marks_[0], nullptr),
              SQL_SUCCESS)
        << State();
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &done_, 0), SQL_SUCCESS);
  }
  void Marks(int64_t a, int64_t b, int64_t c) {
    marks_[0] = a;
    marks_[1] = b;
    marks_[2] = c;
  }
  int64_t marks_[3] = {};
  int32_t id_[10] = {};
  SQLLEN idLen_[10] = {};
  char name_[10][12] = {};
  SQLLEN nameLen_[10] = {};
  SQLUSMALLINT status_[10] = {};
  SQLULEN done_ = 0;
};

TEST_F(BulkTest, Refusals) {
  struct Case {
    const char* what;
    int32_t cursorType;
    SQLSMALLINT op;
    bool bookmarksOff;
    int64_t mark;
    const char* state;
  };
  const Case cases[] = {
      {"dynamic", SQL_CURSOR_DYNAMIC, SQL_ADD, false, 1, "IM924"},
      {"forward-only", SQL_CURSOR_FORWARD_ONLY, SQL_DELETE_BY_BOOKMARK, false, 1, "IM924"},
      {"bookmarks off", SQL_CURSOR_KEYSET_DRIVEN, SQL_DELETE_BY_BOOKMARK, true, 1, "HY092"},
      {"one past the rowset", SQL_CURSOR_STATIC, SQL_DELETE_BY_BOOKMARK, false, 11, "IM925"},
      {"before the rowset", SQL_CURSOR_STATIC, SQL_UPDATE_BY_BOOKMARK, false, 0, "IM925"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Fetched(10, c.cursorType);
    Marks(1, c.mark, 2);
    if (c.bookmarksOff) StmtOf(stmt_)->st_cursor.sc_useBookmarks = SQL_UB_OFF;
    EXPECT_EQ(SQLBulkOperations(stmt_, c.op), SQL_ERROR);
    EXPECT_EQ(State(), c.state);
    EXPECT_TRUE(PFake().bulk.empty());
    EXPECT_TRUE(PFake().setPos.empty());
  }
  // A mixed cursor is no keyset-driven one.
  TearDown();
  SetUp();
  Fetched(10);
  StmtOf(stmt_)->st_cursor.sc_keysetSize = 20;
  EXPECT_EQ(SQLBulkOperations(stmt_, SQL_ADD), SQL_ERROR);
  EXPECT_EQ(State(), "IM924");
}

// Bookmarks 5, 2 and 9 fetched, updated and deleted in that order.
TEST_F(BulkTest, FetchUpdateAndDeleteByBookmarks) {
  Fetched(10);
  Marks(5, 2, 9);
  PFake().bulkStatuses = {SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS};
  ASSERT_EQ(SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK), SQL_SUCCESS);
  EXPECT_EQ(PFake().bulk.at(0).bookmarks, (std::vector<uint32_t>{5, 2, 9}));
  EXPECT_EQ((std::vector<int32_t>{id_[0], id_[1], id_[2]}), (std::vector<int32_t>{5, 2, 9}));
  EXPECT_EQ(done_, 3u);
  char text[12] = {};
  SQLLEN len = 0;
  // SQLGetData reads the new rowset, but no bound column: the name is read unbound.
  EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &len), SQL_ERROR);
  EXPECT_EQ(State(), "07009");
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, nullptr, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_EQ(std::string(text), "r5");
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, name_, sizeof name_[0], nameLen_), SQL_SUCCESS);

  std::strcpy(name_[0], "five");
  std::strcpy(name_[1], "two");
  nameLen_[0] = nameLen_[1] = SQL_NTS;
  nameLen_[2] = SQL_NULL_DATA;
  PFake().bulkStatuses = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED};
  ASSERT_EQ(SQLBulkOperations(stmt_, SQL_UPDATE_BY_BOOKMARK), SQL_SUCCESS) << State();
  const BulkCall& up = PFake().bulk.at(1);
  EXPECT_EQ(up.bookmarks, (std::vector<uint32_t>{5, 2, 9}));
  EXPECT_EQ(up.columns, (std::vector<uint16_t>{1, 2}));
  ASSERT_EQ(up.rows.size(), 2u);
  EXPECT_EQ(up.rows[1].cells.at(0).bytes, "five");
  EXPECT_EQ(up.rows[1].cells.at(1).bytes, "two");
  EXPECT_EQ(up.rows[1].cells.at(2).ind, DS_IND_NULL);
  EXPECT_EQ(status_[2], SQL_ROW_UPDATED);

  // The back end answers for one bookmark only: the others read as errors.
  PFake().bulkStatuses = {SQL_ROW_DELETED};
  PFake().bulkGiven = 1;
  ASSERT_EQ(SQLBulkOperations(stmt_, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS);
  EXPECT_EQ(PFake().bulk.at(2).bookmarks, (std::vector<uint32_t>{5, 2, 9}));
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status_[0], status_[1], status_[2]}),
            (std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_ERROR, SQL_ROW_ERROR}));
  // Rows of the result that were never in the rowset stay refused.
  Marks(5, 2, 7);
  EXPECT_EQ(SQLBulkOperations(stmt_, SQL_DELETE_BY_BOOKMARK), SQL_ERROR);
  EXPECT_EQ(State(), "IM925");
}

TEST_F(BulkTest, AnswersOfTheBackEnd) {
  Fetched(10, SQL_CURSOR_STATIC);
  Marks(1, 2, 3);
  // No status array at all: every row is an error.
  PFake().bulkCode = ERR_MANY_ROWS_CHANGED;
  EXPECT_EQ(SQLBulkOperations(stmt_, SQL_DELETE_BY_BOOKMARK), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(State(), "01001");  // ODBC 3's name for 01S04
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status_[0], status_[1], status_[2]}),
            (std::vector<SQLUSMALLINT>(3, SQL_ROW_ERROR)));
  PFake().bulkCode = ERR_GENERAL;
  EXPECT_EQ(SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK), SQL_ERROR);
  // The failed fetch leaves no rowset to read from.
  char text[4];
  SQLLEN len = 0;
  EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &len), SQL_ERROR);
}

// An update's values sent at execution go the local road, also where the
// back end runs its own dialogue for SetPos, and the connection keeps that.
TEST_F(BulkTest, UpdateValuesSentAtExecutionInPieces) {
  Fetched(10, SQL_CURSOR_KEYSET_DRIVEN, DRV_CAPBIT_V2DAE);
  Marks(3, 1, 2);
  nameLen_[1] = SQL_LEN_DATA_AT_EXEC(10);
  nameLen_[0] = nameLen_[2] = SQL_NTS;
  idLen_[0] = idLen_[1] = idLen_[2] = SQL_COLUMN_IGNORE;
  PFake().bulkStatuses = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED};
  ASSERT_EQ(SQLBulkOperations(stmt_, SQL_UPDATE_BY_BOOKMARK), SQL_NEED_DATA);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_NEED_DATA);
  EXPECT_EQ(token, name_[1]);
  ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER) "in ", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLPutData(stmt_, (SQLPOINTER) "pieces", 6), SQL_SUCCESS);
  EXPECT_TRUE(PFake().bulk.empty());
  ASSERT_EQ(SQLParamData(stmt_, &token), SQL_SUCCESS);
  const BulkCall& up = PFake().bulk.at(0);
  EXPECT_EQ(up.columns, (std::vector<uint16_t>{2}));
  EXPECT_EQ(up.rows.at(0).cells.at(1).bytes, "in pieces");
  EXPECT_TRUE(PFake().pieces.empty());
  EXPECT_EQ(StmtOf(stmt_)->st_dbc->cn_hasV2DAE, 1);
}

TEST_F(BulkTest, AddNeedsNoBookmarks) {
  Fetched(10, SQL_CURSOR_STATIC);
  StmtOf(stmt_)->st_cursor.sc_useBookmarks = SQL_UB_OFF;
  for (int k = 0; k < 3; ++k) {
    id_[k] = 100 + k;
    std::strcpy(name_[k], "add");
    nameLen_[k] = SQL_NTS;
  }
  PFake().statuses = {SQL_ROW_ADDED, SQL_ROW_ADDED, SQL_ROW_ADDED};
  ASSERT_EQ(SQLBulkOperations(stmt_, SQL_ADD), SQL_SUCCESS);
  const SetPosCall& add = PFake().setPos.at(0);
  EXPECT_EQ(add.op, SQL_ADD);
  EXPECT_EQ(add.row, -2);
  EXPECT_EQ(add.rows.at(0).cells.size(), 3u);
  EXPECT_EQ((std::vector<SQLUSMALLINT>{status_[0], status_[1], status_[2]}),
            (std::vector<SQLUSMALLINT>(3, SQL_ROW_ADDED)));
  EXPECT_EQ(done_, 3u);
}

}  // namespace
