// desc_test.cpp -- descriptors: the record list, field writes with their
// consistency rules and their carry-over to the statements, reads from the
// implicit views, copies and whole-record calls, and explicit descriptors
// shared by statements.

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "odbc/binding.h"
#include "odbc/desc.h"
#include "odbc/descops.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "stmt_fake.h"

namespace {

class DescTest : public StmtTest {
 protected:
  void SetUp() override {
    StmtTest::SetUp();
    Open();
  }
  SQLHDESC NewDesc() {
    SQLHDESC d = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &d), SQL_SUCCESS);
    return d;
  }
  SQLRETURN Set(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, SQLLEN value) {
    return SQLSetDescField(d, rec, field, reinterpret_cast<SQLPOINTER>(value), 0);
  }
  SQLLEN GetNum(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, SQLRETURN expect = SQL_SUCCESS) {
    SQLLEN v = 0;
    EXPECT_EQ(SQLGetDescField(d, rec, field, &v, SQL_IS_INTEGER, nullptr), expect)
        << State(SQL_HANDLE_DESC, d);
    return v;
  }
  SQLSMALLINT GetShort(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
    SQLSMALLINT v = 0;
    EXPECT_EQ(SQLGetDescField(d, rec, field, &v, SQL_IS_SMALLINT, nullptr), SQL_SUCCESS)
        << State(SQL_HANDLE_DESC, d);
    return v;
  }
  void* GetPtr(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
    void* v = reinterpret_cast<void*>(1);
    EXPECT_EQ(SQLGetDescField(d, rec, field, &v, SQL_IS_POINTER, nullptr), SQL_SUCCESS)
        << State(SQL_HANDLE_DESC, d);
    return v;
  }
  static int BoundColumns(SQLHSTMT h) {
    int n = 0;
    for (ColBindingNode* p = StmtOf(h)->st_boundCols; p != nullptr; p = p->next) ++n;
    return n;
  }
  static const ColBinding* Binding(SQLHSTMT h, uint16_t col) {
    return StmtFindColBinding(col, StmtOf(h));
  }
};

TEST_F(DescTest, RecordListGrowsWithDefaultsAndKeepsItsCount) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  Desc* d = DescOf(ard);
  EXPECT_EQ(DescGetRec(d, 0)->dr_conciseType, 0);
  ASSERT_EQ(Set(ard, 0, SQL_DESC_COUNT, 3), SQL_SUCCESS);
  EXPECT_EQ(DescGetRec(d, 3)->dr_conciseType, SQL_C_DEFAULT);
  EXPECT_EQ(DescGetRec(d, 3)->dr_type, SQL_C_DEFAULT);
  EXPECT_EQ(DescGetRec(d, 4), nullptr);
  EXPECT_EQ(DescGrow(d, 2), 0);
  EXPECT_EQ(DescRecCount(d), 3);
  ASSERT_EQ(Set(ard, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
  EXPECT_EQ(DescRecCount(d), 1);
  EXPECT_EQ(d->de_count, 1);
  EXPECT_EQ(GetShort(ard, 0, SQL_DESC_COUNT), 1);
}

TEST_F(DescTest, TypeFieldsFollowTheConsistencyRules) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  ASSERT_EQ(Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_TIMESTAMP), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ard, 1, SQL_DESC_TYPE), SQL_DATETIME);
  EXPECT_EQ(GetShort(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_TIMESTAMP);
  EXPECT_EQ(GetShort(ard, 1, SQL_DESC_PRECISION), 6);
  ASSERT_EQ(Set(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_DATE), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ard, 1, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_DATE);

  ASSERT_EQ(Set(ard, 2, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 2, SQL_DESC_TYPE, SQL_INTERVAL), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ard, 2, SQL_DESC_CONCISE_TYPE), SQL_C_CHAR);
  ASSERT_EQ(Set(ard, 2, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_SECOND), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 2, SQL_DESC_TYPE, SQL_INTERVAL), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ard, 2, SQL_DESC_CONCISE_TYPE), SQL_C_INTERVAL_SECOND);
  EXPECT_EQ(GetNum(ard, 2, SQL_DESC_DATETIME_INTERVAL_PRECISION) & 0xFFFFFFFF, 2);
  EXPECT_EQ(GetShort(ard, 2, SQL_DESC_PRECISION), 6);

  EXPECT_EQ(Set(ard, 3, SQL_DESC_CONCISE_TYPE, 1000), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, ard), "HY092");
  EXPECT_EQ(GetShort(ard, 3, SQL_DESC_CONCISE_TYPE), 1000);

  // Zero is a scale and a precision like any other.
  ASSERT_EQ(Set(ard, 4, SQL_DESC_CONCISE_TYPE, SQL_C_NUMERIC), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 4, SQL_DESC_SCALE, 4), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 4, SQL_DESC_SCALE, 0), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 4, SQL_DESC_PRECISION, 0), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ard, 4, SQL_DESC_SCALE), 0);
  EXPECT_EQ(GetShort(ard, 4, SQL_DESC_PRECISION), 0);
}

TEST_F(DescTest, RefusedWrites) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  SQLHDESC apd = DescAttr(stmt_, SQL_ATTR_APP_PARAM_DESC);
  SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
  SQLHDESC ipd = DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC);
  struct Case {
    const char* name;
    SQLHDESC desc;
    SQLSMALLINT rec;
    SQLSMALLINT field;
    SQLLEN value;
    SQLRETURN rc;
    const char* state;
  } cases[] = {
      {"record field of the IRD", ird, 1, SQL_DESC_CONCISE_TYPE, SQL_CHAR, SQL_ERROR, "HY016"},
      {"status pointer of the IRD", ird, 0, SQL_DESC_ARRAY_STATUS_PTR, 0, SQL_SUCCESS, nullptr},
      {"bookmark record of the APD", apd, 0, SQL_DESC_CONCISE_TYPE, SQL_C_LONG, SQL_ERROR, "07009"},
      {"bookmark record of the IPD", ipd, 0, SQL_DESC_CONCISE_TYPE, SQL_C_LONG, SQL_ERROR, "07009"},
      {"bookmark record of the ARD", ard, 0, SQL_DESC_CONCISE_TYPE, SQL_C_BINARY, SQL_SUCCESS,
       nullptr},
      {"read-only field", ard, 1, SQL_DESC_NULLABLE, 0, SQL_ERROR, "HY091"},
      {"name of an ARD record", ard, 1, SQL_DESC_NAME, 0, SQL_ERROR, "HY091"},
      {"unknown field", ard, 1, 9999, 0, SQL_ERROR, "IM001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Set(c.desc, c.rec, c.field, c.value), c.rc);
    if (c.state != nullptr) {
      EXPECT_EQ(State(SQL_HANDLE_DESC, c.desc), c.state);
    }
  }
}

TEST_F(DescTest, ApplicationRecordsReadFromTheBindings) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  char text[21];
  SQLWCHAR wide[21];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_WCHAR, wide, sizeof wide, &ind), SQL_SUCCESS);
  EXPECT_EQ(GetNum(ard, 1, SQL_DESC_LENGTH), 20);
  EXPECT_EQ(GetNum(ard, 1, SQL_DESC_OCTET_LENGTH), 21);
  EXPECT_EQ(GetNum(ard, 2, SQL_DESC_LENGTH), 20);
  EXPECT_EQ(GetNum(ard, 2, SQL_DESC_OCTET_LENGTH), 42);
  EXPECT_EQ(GetPtr(ard, 1, SQL_DESC_DATA_PTR), text);
  EXPECT_EQ(GetPtr(ard, 2, SQL_DESC_INDICATOR_PTR), &ind);

  void* p = nullptr;
  EXPECT_EQ(SQLGetDescField(ard, 1, SQL_DESC_DATA_PTR, &p, 4, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, ard), "HY009");
  EXPECT_EQ(SQLGetDescField(ard, 3, SQL_DESC_CONCISE_TYPE, &p, 0, nullptr), SQL_NO_DATA);
  SQLHDESC ipd = DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC);
  EXPECT_EQ(SQLGetDescField(ipd, 0, SQL_DESC_TYPE, &p, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, ipd), "07009");
}

TEST_F(DescTest, ChangingABoundRecordDetachesItUntilTheDataPointerIsSetAgain) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  char text[16];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 2, SQL_DESC_OCTET_LENGTH, 8), SQL_SUCCESS);
  EXPECT_EQ(GetPtr(ard, 2, SQL_DESC_DATA_PTR), nullptr);
  ASSERT_EQ(Set(ard, 2, SQL_DESC_DATA_PTR, reinterpret_cast<SQLLEN>(text)), SQL_SUCCESS);
  ASSERT_NE(Binding(stmt_, 2), nullptr);
  EXPECT_EQ(Binding(stmt_, 2)->cb_data, text);
  EXPECT_EQ(Binding(stmt_, 2)->cb_bufferLength, 8);
  EXPECT_EQ(Binding(stmt_, 2)->cb_indicatorPtr, &ind);
}

// The statement must never write into a buffer the application has released.
TEST_F(DescTest, NullDataPointerAndZeroCountUnbind) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  auto* heap = new char[32];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, heap, 32, &ind), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 1, SQL_DESC_DATA_PTR, 0), SQL_SUCCESS);
  delete[] heap;
  EXPECT_EQ(Binding(stmt_, 1), nullptr);
  EXPECT_EQ(GetPtr(ard, 1, SQL_DESC_DATA_PTR), nullptr);

  long a = 0, b = 0, c = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_LONG, &a, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_LONG, &b, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_LONG, &c, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 0, SQL_DESC_COUNT, 1), SQL_SUCCESS);
  EXPECT_EQ(BoundColumns(stmt_), 1);
  ASSERT_EQ(Set(ard, 0, SQL_DESC_COUNT, 0), SQL_SUCCESS);
  EXPECT_EQ(BoundColumns(stmt_), 0);
  EXPECT_EQ(GetShort(ard, 0, SQL_DESC_COUNT), 0);
}

TEST_F(DescTest, ParameterRecordsGrowTheImplementationDescriptorToo) {
  SQLHDESC apd = DescAttr(stmt_, SQL_ATTR_APP_PARAM_DESC);
  SQLHDESC ipd = DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC);
  ASSERT_EQ(Set(apd, 0, SQL_DESC_COUNT, 3), SQL_SUCCESS);
  ASSERT_EQ(Set(apd, 7, SQL_DESC_CONCISE_TYPE, SQL_C_LONG), SQL_SUCCESS);
  EXPECT_EQ(GetShort(apd, 0, SQL_DESC_COUNT), 7);
  EXPECT_EQ(GetShort(ipd, 0, SQL_DESC_COUNT), 7);

  ASSERT_EQ(Set(ipd, 2, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT), SQL_SUCCESS);
  ASSERT_EQ(Set(ipd, 2, SQL_DESC_CONCISE_TYPE, SQL_INTEGER), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ipd, 2, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_INPUT);

  SQLWCHAR name[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 0};
  ASSERT_EQ(SQLSetDescFieldW(ipd, 3, SQL_DESC_NAME, name, 10), SQL_SUCCESS);
  char got[16] = {};
  EXPECT_EQ(SQLGetDescField(ipd, 3, SQL_DESC_NAME, got, sizeof got, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(got, "abcde");
  EXPECT_EQ(GetShort(ipd, 3, SQL_DESC_UNNAMED), SQL_NAMED);
  // A NUL with more of the name after it would cut the name given short.
  EXPECT_EQ(SQLSetDescField(ipd, 3, SQL_DESC_NAME, (SQLPOINTER) "ab\0cd", 5), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, ipd), "HY090");
  SQLWCHAR cut[] = {'a', 0, 'b', 0};
  EXPECT_EQ(SQLSetDescFieldW(ipd, 3, SQL_DESC_NAME, cut, 6), SQL_ERROR);
  EXPECT_EQ(SQLGetDescField(ipd, 3, SQL_DESC_NAME, got, sizeof got, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(got, "abcde");
}

TEST_F(DescTest, ImplementationRowRecordsDescribeTheResult) {
  SFake().columns = {{"id", SQL_INTEGER, 10, 0, 11, 5, 4, SQL_NO_NULLS},
                     {"span", SQL_INTERVAL_SECOND, 9, 6, 20, 1, 30}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select id, span from t", SQL_NTS), SQL_SUCCESS);
  SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
  EXPECT_EQ(GetShort(ird, 0, SQL_DESC_COUNT), 2);
  EXPECT_EQ(GetShort(ird, 1, SQL_DESC_UNSIGNED), SQL_FALSE);
  EXPECT_EQ(GetNum(ird, 1, SQL_DESC_NUM_PREC_RADIX) & 0xFFFFFFFF, 10);
  EXPECT_EQ(GetNum(ird, 1, SQL_DESC_OCTET_LENGTH), 4);
  EXPECT_EQ(GetShort(ird, 1, SQL_DESC_PRECISION), 10);
  EXPECT_EQ(GetShort(ird, 1, SQL_DESC_NULLABLE), SQL_NO_NULLS);
  EXPECT_EQ(GetShort(ird, 2, SQL_DESC_TYPE), SQL_INTERVAL);
  EXPECT_EQ(GetShort(ird, 2, SQL_DESC_DATETIME_INTERVAL_CODE), SQL_CODE_SECOND);
  EXPECT_EQ(GetShort(ird, 2, SQL_DESC_PRECISION), 6);
  SQLLEN n = 0;
  EXPECT_EQ(SQLGetDescField(ird, 3, SQL_DESC_TYPE, &n, 0, nullptr), SQL_NO_DATA);

  SQLWCHAR name[3] = {};
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLGetDescFieldW(ird, 2, SQL_DESC_NAME, name, sizeof name, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, 8);
  EXPECT_EQ(name[0], 's');
  EXPECT_EQ(name[2], 0);
  // A one-byte wide buffer cannot hold a single character: nothing is written.
  name[0] = 'x';
  EXPECT_EQ(SQLGetDescFieldW(ird, 2, SQL_DESC_NAME, name, 1, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(name[0], 'x');
  EXPECT_EQ(State(SQL_HANDLE_DESC, ird), "01004");
}

TEST_F(DescTest, BookmarkRecordOfTheImplementationRowDescriptor) {
  SFake().columns = {{"id", SQL_INTEGER, 10, 0, 11, 5, 4}};
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select id from t", SQL_NTS), SQL_SUCCESS);
  SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
  EXPECT_EQ(GetShort(ird, 0, SQL_DESC_CONCISE_TYPE), SQL_CHAR);
  EXPECT_EQ(GetNum(ird, 0, SQL_DESC_LENGTH), 8);
  EXPECT_EQ(GetNum(ird, 0, SQL_DESC_OCTET_LENGTH), 8);
  EXPECT_EQ(GetShort(ird, 0, SQL_DESC_PRECISION), 0);
  EXPECT_EQ(GetShort(ird, 0, SQL_DESC_NULLABLE), SQL_NO_NULLS);
  EXPECT_EQ(GetShort(ird, 0, SQL_DESC_UNNAMED), SQL_NAMED);
  char name[16] = {};
  EXPECT_EQ(SQLGetDescField(ird, 0, SQL_DESC_LABEL, name, sizeof name, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(name, "BOOKMARK");
}

// Every field whose ODBC type is 64 bits wide is written whole.
TEST_F(DescTest, SixtyFourBitFieldsAreWrittenWhole) {
  SFake().columns = {{"name", SQL_VARCHAR, 40, 0, 40, 1, 41}};
  ASSERT_EQ(SQLPrepare(stmt_, (SQLCHAR*)"select name from t", SQL_NTS), SQL_SUCCESS);
  SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  struct Case {
    const char* name;
    SQLHDESC desc;
    SQLSMALLINT rec;
    SQLSMALLINT field;
    int64_t want;
  } cases[] = {
      {"IRD length", ird, 1, SQL_DESC_LENGTH, 40},
      {"IRD octet length", ird, 1, SQL_DESC_OCTET_LENGTH, 40},
      {"IRD display size", ird, 1, SQL_DESC_DISPLAY_SIZE, 40},
      {"ARD array size", ard, 0, SQL_DESC_ARRAY_SIZE, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t v;
    memset(&v, 0xFF, sizeof v);
    SQLINTEGER len = 0;
    EXPECT_EQ(SQLGetDescField(c.desc, c.rec, c.field, &v, sizeof v, &len), SQL_SUCCESS);
    EXPECT_EQ(v, c.want);
    EXPECT_EQ(len, 8);
  }
  SQLLEN length;
  memset(&length, 0xFF, sizeof length);
  SQLSMALLINT type = 0, sub = 0, prec = 0, scale = 0, nullable = 0;
  char name[16];
  EXPECT_EQ(SQLGetDescRec(ird, 1, (SQLCHAR*)name, sizeof name, nullptr, &type, &sub, &length, &prec,
                          &scale, &nullable),
            SQL_SUCCESS);
  EXPECT_EQ(length, 40);
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_STREQ(name, "name");
}

// An explicit ARD used by two statements: binding through it reaches both; when
// it goes, each statement falls back to its own ARD with its own bindings.
TEST_F(DescTest, SharedExplicitDescriptorFallsBackWhenFreed) {
  SQLHSTMT other = NewStmt();
  SQLHSTMT third = NewStmt();
  SQLHDESC ownArd = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  SQLHDESC thirdApd = DescAttr(third, SQL_ATTR_APP_PARAM_DESC);
  char own[8];
  SQLLEN ownInd = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, own, sizeof own, &ownInd), SQL_SUCCESS);

  SQLHDESC shared = NewDesc();
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, shared, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, shared, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(third, SQL_ATTR_APP_PARAM_DESC, shared, 0), SQL_SUCCESS);
  EXPECT_EQ(Binding(stmt_, 1), nullptr);
  int32_t value = 0;
  SQLLEN len = 0, ind = 0;
  ASSERT_EQ(SQLSetDescRec(shared, 2, SQL_INTEGER, 0, 4, 0, 0, &value, &len, &ind), SQL_SUCCESS);
  for (SQLHSTMT s : {stmt_, other}) {
    ASSERT_NE(Binding(s, 2), nullptr);
    EXPECT_EQ(Binding(s, 2)->cb_data, &value);
    EXPECT_EQ(Binding(s, 2)->cb_octetLengthPtr, &len);
    EXPECT_EQ(Binding(s, 2)->cb_indicatorPtr, &ind);
  }

  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, shared), SQL_SUCCESS);
  EXPECT_EQ(DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC), ownArd);
  EXPECT_EQ(DescAttr(third, SQL_ATTR_APP_PARAM_DESC), thirdApd);
  ASSERT_NE(Binding(stmt_, 1), nullptr);
  EXPECT_EQ(Binding(stmt_, 1)->cb_data, own);
  EXPECT_EQ(Binding(stmt_, 1)->cb_bufferLength, 8);
  EXPECT_EQ(Binding(stmt_, 2), nullptr);
  EXPECT_EQ(BoundColumns(other), 0);
}

TEST_F(DescTest, NullDescriptorHandleRestoresTheImplicitOne) {
  SQLHDESC ownArd = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  SQLHDESC mine = NewDesc();
  char buf[4];
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, mine, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, SQL_NULL_HDESC, 0), SQL_SUCCESS);
  EXPECT_EQ(DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC), ownArd);
  // The buffer bound through the explicit descriptor is no longer the statement's.
  EXPECT_EQ(BoundColumns(stmt_), 0);
  // The explicit descriptor keeps what was written into it.
  EXPECT_EQ(GetPtr(mine, 1, SQL_DESC_DATA_PTR), buf);
}

TEST_F(DescTest, CopyFromAnEmptyDescriptorEmptiesTheTarget) {
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  char buf[4];
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_CHAR, buf, sizeof buf, nullptr), SQL_SUCCESS);
  SQLHDESC empty = NewDesc();
  EXPECT_EQ(SQLCopyDesc(empty, ard), SQL_SUCCESS);
  EXPECT_EQ(GetShort(ard, 0, SQL_DESC_COUNT), 0);
  EXPECT_EQ(BoundColumns(stmt_), 0);
}

TEST_F(DescTest, CopyCarriesBindingsAndRefusesTheImplementationRowDescriptor) {
  SQLHSTMT other = NewStmt();
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  SQLHDESC shared = NewDesc();
  ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, shared, 0), SQL_SUCCESS);
  char buf[12];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(stmt_, 3, SQL_C_CHAR, buf, sizeof buf, &ind), SQL_SUCCESS);
  EXPECT_EQ(SQLCopyDesc(ard, shared), SQL_SUCCESS) << State(SQL_HANDLE_DESC, shared);
  ASSERT_NE(Binding(other, 3), nullptr);
  EXPECT_EQ(Binding(other, 3)->cb_data, buf);
  EXPECT_EQ(Binding(other, 3)->cb_bufferLength, 12);
  EXPECT_EQ(Binding(other, 3)->cb_cType, SQL_C_CHAR);

  SQLHDESC ird = DescAttr(stmt_, SQL_ATTR_IMP_ROW_DESC);
  EXPECT_EQ(SQLCopyDesc(ard, ird), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, ird), "HY016");
  SQLHSTMT fresh = NewStmt();
  EXPECT_EQ(SQLCopyDesc(DescAttr(fresh, SQL_ATTR_IMP_ROW_DESC), shared), SQL_ERROR);
  EXPECT_EQ(State(SQL_HANDLE_DESC, shared), "HY010");
}

TEST_F(DescTest, CopyBetweenParameterDescriptorsCarriesNamesOnlyToAnotherIpd) {
  SQLHSTMT other = NewStmt();
  SQLHDESC ipd = DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC);
  ASSERT_EQ(SQLSetDescField(ipd, 1, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_INTEGER, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ipd, 1, SQL_DESC_PARAMETER_TYPE, (SQLPOINTER)SQL_PARAM_OUTPUT, 0),
            SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLPOINTER) "total", SQL_NTS), SQL_SUCCESS);
  SQLHDESC otherIpd = DescAttr(other, SQL_ATTR_IMP_PARAM_DESC);
  ASSERT_EQ(SQLCopyDesc(ipd, otherIpd), SQL_SUCCESS) << State(SQL_HANDLE_DESC, otherIpd);
  char name[16] = {};
  EXPECT_EQ(SQLGetDescField(otherIpd, 1, SQL_DESC_NAME, name, sizeof name, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(name, "total");
  EXPECT_EQ(GetShort(otherIpd, 1, SQL_DESC_PARAMETER_TYPE), SQL_PARAM_OUTPUT);
  EXPECT_EQ(GetShort(otherIpd, 1, SQL_DESC_CONCISE_TYPE), SQL_INTEGER);

  SQLHDESC apd = DescAttr(other, SQL_ATTR_APP_PARAM_DESC);
  ASSERT_EQ(SQLCopyDesc(ipd, apd), SQL_SUCCESS) << State(SQL_HANDLE_DESC, apd);
  EXPECT_EQ(DescGetRec(DescOf(apd), 1)->dr_name, nullptr);
}

// A copy walks the records once, whatever their number, and the records it reaches
// are the right ones in any order; a list cut shorter forgets what it dropped.
TEST_F(DescTest, ManyRecordsCopyWholeAndACutListForgetsItsRecords) {
  const SQLSMALLINT n = 3000;
  SQLHDESC src = NewDesc();
  SQLHDESC dst = NewDesc();
  for (SQLSMALLINT rec = 1; rec <= n; ++rec) {
    ASSERT_EQ(Set(src, rec, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
    ASSERT_EQ(Set(src, rec, SQL_DESC_OCTET_LENGTH, rec), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLCopyDesc(src, dst), SQL_SUCCESS) << State(SQL_HANDLE_DESC, dst);
  EXPECT_EQ(GetShort(dst, 0, SQL_DESC_COUNT), n);
  for (SQLSMALLINT rec : {n, SQLSMALLINT(1), SQLSMALLINT(1500), SQLSMALLINT(1499), n})
    EXPECT_EQ(GetNum(dst, rec, SQL_DESC_OCTET_LENGTH), rec);
  ASSERT_EQ(Set(dst, 0, SQL_DESC_COUNT, 10), SQL_SUCCESS);
  ASSERT_EQ(Set(dst, 2000, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR), SQL_SUCCESS);
  EXPECT_EQ(GetShort(dst, 0, SQL_DESC_COUNT), 2000);
  EXPECT_NE(GetNum(dst, 1500, SQL_DESC_OCTET_LENGTH), 1500);
  EXPECT_EQ(GetNum(dst, 10, SQL_DESC_OCTET_LENGTH), 10);

  // Into a statement's row descriptor: every record becomes a binding, found by its
  // column whatever was unbound or bound again in between.
  static char buf[n + 1];
  for (SQLSMALLINT rec = 1; rec <= n; ++rec)
    ASSERT_EQ(Set(src, rec, SQL_DESC_DATA_PTR, reinterpret_cast<SQLLEN>(&buf[rec])), SQL_SUCCESS);
  SQLHDESC ard = DescAttr(stmt_, SQL_ATTR_APP_ROW_DESC);
  ASSERT_EQ(SQLCopyDesc(src, ard), SQL_SUCCESS) << State(SQL_HANDLE_DESC, ard);
  EXPECT_EQ(BoundColumns(stmt_), n);
  ASSERT_EQ(Set(ard, n, SQL_DESC_DATA_PTR, 0), SQL_SUCCESS);
  ASSERT_EQ(Set(ard, 7, SQL_DESC_DATA_PTR, 0), SQL_SUCCESS);
  EXPECT_EQ(BoundColumns(stmt_), n - 2);
  EXPECT_EQ(Binding(stmt_, 7), nullptr);
  char extra = 0;
  ASSERT_EQ(SQLBindCol(stmt_, n, SQL_C_CHAR, &extra, 1, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 7, SQL_C_CHAR, &extra, 1, nullptr), SQL_SUCCESS);
  EXPECT_EQ(BoundColumns(stmt_), n);
  for (SQLSMALLINT rec : {SQLSMALLINT(1), SQLSMALLINT(1500), SQLSMALLINT(n - 1)}) {
    ASSERT_NE(Binding(stmt_, rec), nullptr);
    EXPECT_EQ(Binding(stmt_, rec)->cb_data, &buf[rec]);
  }
  EXPECT_EQ(Binding(stmt_, 7)->cb_data, &extra);
  EXPECT_EQ(Binding(stmt_, n)->cb_data, &extra);
}

TEST_F(DescTest, WholeRecordCalls) {
  SQLHDESC apd = DescAttr(stmt_, SQL_ATTR_APP_PARAM_DESC);
  ASSERT_EQ(
      SQLSetDescRec(apd, 1, SQL_DATETIME, SQL_CODE_TIMESTAMP, 16, 0, 0, nullptr, nullptr, nullptr),
      SQL_SUCCESS);
  SQLSMALLINT type = 0, sub = 0, prec = 0, scale = 0, nullable = 77, nameLen = 77;
  SQLLEN length = 0;
  char name[8] = "keep";
  EXPECT_EQ(SQLGetDescRec(apd, 1, (SQLCHAR*)name, sizeof name, &nameLen, &type, &sub, &length,
                          &prec, &scale, &nullable),
            SQL_SUCCESS);
  EXPECT_EQ(type, SQL_DATETIME);
  EXPECT_EQ(sub, SQL_CODE_TIMESTAMP);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(nullable, 77);
  EXPECT_STREQ(name, "keep");
  EXPECT_EQ(GetShort(apd, 1, SQL_DESC_CONCISE_TYPE), SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(SQLGetDescRec(apd, 2, (SQLCHAR*)name, sizeof name, nullptr, &type, &sub, &length, &prec,
                          &scale, &nullable),
            SQL_NO_DATA);

  SQLHDESC ipd = DescAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC);
  ASSERT_EQ(SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLPOINTER) "amount", SQL_NTS), SQL_SUCCESS);
  SQLWCHAR wide[4] = {};
  EXPECT_EQ(SQLGetDescRecW(ipd, 1, wide, 4, &nameLen, nullptr, nullptr, &length, &prec, &scale,
                           &nullable),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(nameLen, 6);
  EXPECT_EQ(wide[2], 'o');
  EXPECT_EQ(wide[3], 0);
  EXPECT_EQ(nullable, SQL_NULLABLE);
}

// An explicit descriptor's statements are found through its own connection,
// while other connections allocate and release statements at the same time.
TEST_F(DescTest, ExplicitDescriptorWritesBesideOtherConnections) {
  SQLHDBC busy = Connected(env_);
  SQLHDESC shared = NewDesc();
  SQLHSTMT other = NewStmt();
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, shared, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, shared, 0), SQL_SUCCESS);
  std::thread churn([busy] {
    std::vector<SQLHSTMT> held;
    for (int i = 0; i < 300; ++i) {
      SQLHSTMT s = nullptr;
      if (SQLAllocHandle(SQL_HANDLE_STMT, busy, &s) == SQL_SUCCESS) held.push_back(s);
      if (held.size() > 40) {
        for (SQLHSTMT h : held) SQLFreeHandle(SQL_HANDLE_STMT, h);
        held.clear();
      }
    }
    for (SQLHSTMT h : held) SQLFreeHandle(SQL_HANDLE_STMT, h);
  });
  int32_t value = 0;
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(Set(shared, 1, SQL_DESC_DATA_PTR, reinterpret_cast<SQLLEN>(&value)), SQL_SUCCESS);
  }
  churn.join();
  ASSERT_NE(Binding(other, 1), nullptr);
  EXPECT_EQ(Binding(other, 1)->cb_data, &value);
}

}  // namespace
