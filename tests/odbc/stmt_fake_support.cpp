// stmt_fake_support.cpp -- the statement slots of the recording back end and
// the statement fixture.

#include "stmt_fake.h"

#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/desc.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"

namespace {

StmtFake sfake;
DriverOps ops;
size_t nextResult = 0;

char* dup(const std::string& s) { return s.empty() ? nullptr : strdup(s.c_str()); }

// A description array as the agent hands it over: a result owns its strings.
ColumnInfo* describe(const std::vector<FakeColumn>& cols, bool own) {
  ColumnInfo* a = ColumnInfoAlloc(static_cast<uint16_t>(cols.size()));
  for (size_t i = 0; i < cols.size(); ++i) {
    const FakeColumn& c = cols[i];
    ColumnInfo& d = a[i];
    strncpy(d.name, c.name.c_str(), sizeof d.name - 1);
    if (own) {
      d.fullName = dup(c.fullName);
      d.table = dup(c.table);
      d.schema = dup(c.schema);
      d.catalog = dup(c.catalog);
    }
    d.sqlType = c.sqlType;
    d.precision = c.precision;
    d.scale = c.scale;
    d.displaySize = c.displaySize;
    d.bindType = c.bindType;
    d.octetLength = c.octetLength;
    d.flags = c.flags;
  }
  return a;
}

int32_t Prepare(DrvHandle, const char* sql) {
  Fake().Log("Prepare");
  sfake.lastPrepared = sql;
  nextResult = 0;
  return sfake.prepareCode;
}

int32_t DescribeColumns(DrvHandle, uint16_t* count, ColumnInfo** cols) {
  Fake().Log("DescribeColumns");
  ++sfake.describeCalls;
  if (sfake.describeCode != 0) return sfake.describeCode;
  *count = static_cast<uint16_t>(sfake.columns.size());
  *cols = sfake.columns.empty() ? nullptr : describe(sfake.columns, true);
  return 0;
}

int32_t ColAttributes(DrvHandle h, uint16_t* count, int16_t* attrCount, ColumnInfo** cols,
                      ColAttr** attrs) {
  Fake().Log("ColAttributes");
  int32_t rc = DescribeColumns(h, count, cols);
  if (rc != 0) return rc;
  *attrCount = static_cast<int16_t>(sfake.attrs.size());
  *attrs = nullptr;
  if (sfake.attrs.empty()) return 0;
  *attrs = static_cast<ColAttr*>(calloc(sfake.attrs.size(), sizeof(ColAttr)));
  for (size_t i = 0; i < sfake.attrs.size(); ++i) {
    (*attrs)[i] = sfake.attrs[i];
    if (sfake.attrs[i].valueKind == 0)
      (*attrs)[i].value.strVal = strdup(sfake.attrTexts.at(i).c_str());
  }
  return 0;
}

int32_t DescribeParams(DrvHandle, uint16_t* count, ColumnInfo** params) {
  Fake().Log("DescribeParams");
  *count = static_cast<uint16_t>(sfake.params.size());
  *params = sfake.params.empty() ? nullptr : describe(sfake.params, false);
  return 0;
}

int32_t Execute(DrvHandle) {
  Fake().Log("Execute");
  return sfake.executeCode;
}

int32_t MoreResults(DrvHandle) {
  Fake().Log("MoreResults");
  if (nextResult >= sfake.moreResults.size()) return ERR_NO_MORE_RESULTS;
  if (nextResult < sfake.nextResults.size()) sfake.columns = sfake.nextResults[nextResult];
  return sfake.moreResults[nextResult++];
}

int32_t NativeSql(DrvHandle, const char*, char* buf, uint32_t bufSize, int16_t* outLen) {
  Fake().Log("NativeSql " + std::to_string(bufSize));
  if (sfake.nativeSqlCode != 0) return sfake.nativeSqlCode;
  const size_t n = std::min<size_t>(sfake.nativeSql.size(), bufSize - 1);
  memcpy(buf, sfake.nativeSql.data(), n);
  buf[n] = '\0';
  *outLen = static_cast<int16_t>(sfake.nativeSql.size());
  return n < sfake.nativeSql.size() ? ERR_STRING_TRUNC_WARNING : 0;
}

int32_t GetCursorName(DrvHandle, char* buf, uint16_t bufSize, int16_t* outLen) {
  if (sfake.cursorNameCode != 0) return sfake.cursorNameCode;
  const size_t n = std::min<size_t>(sfake.cursorName.size(), bufSize - 1u);
  memcpy(buf, sfake.cursorName.data(), n);
  buf[n] = '\0';
  if (outLen != nullptr) *outLen = static_cast<int16_t>(sfake.cursorName.size());
  return n < sfake.cursorName.size() ? ERR_TRUNCATED : 0;
}

int32_t SetCursorName(DrvHandle, const char* name) {
  Fake().Log(std::string("SetCursorName ") + name);
  return sfake.setCursorNameCode;
}

int16_t typeInfoAsked = 0;

int32_t DDTypeInfo(DrvHandle, int16_t sqlType) {
  Fake().Log("DDTypeInfo " + std::to_string(sqlType));
  typeInfoAsked = sqlType;
  return 0;
}

int32_t Fetch(DrvHandle, uint16_t, Dataset* data) {
  Fake().Log("Fetch");
  auto it = sfake.typeInfo.find(typeInfoAsked);
  if (it == sfake.typeInfo.end()) return ERR_NO_DATA;
  constexpr uint32_t kWidth = 64;
  if (DatasetInit(data, 5) != 0) return ERR_MEMORY;
  for (uint16_t c = 0; c < 5; ++c) {
    data->cols[c].type = DS_STRING;
    data->cols[c].width = kWidth;
  }
  data->colCount = 5;
  if (DatasetSetRows(data, 1) != 0) return ERR_MEMORY;
  for (uint16_t c = 0; c < 5 && c < it->second.size(); ++c) {
    strncpy(data->cols[c].data, it->second[c].c_str(), kWidth - 1);
    data->cols[c].ind[0] = 0;
  }
  data->rowCount = 1;
  return 0;
}

}  // namespace

void StmtFake::Reset() { *this = StmtFake{}; }

StmtFake& SFake() { return sfake; }

int32_t StmtFakeBind(DriverRecord* rec) {
  FakeBind(rec);
  ops = *rec->ops;
  ops.DRV_Prepare = Prepare;
  ops.DRV_DescribeColumns = DescribeColumns;
  ops.DRV_DescribeParams = DescribeParams;
  ops.DRV_ColAttributes = ColAttributes;
  ops.DRV_Execute = Execute;
  ops.DRV_MoreResults = MoreResults;
  ops.DRV_NativeSql = NativeSql;
  ops.DRV_GetCursorName = GetCursorName;
  ops.DRV_SetCursorName = SetCursorName;
  ops.DRV_DDTypeInfo = DDTypeInfo;
  ops.DRV_Fetch = Fetch;
  rec->ops = &ops;
  return 0;
}

void StmtTest::SetUp() {
  CoreTest::SetUp();
  sfake.Reset();
  nextResult = 0;
  DriverSetBinder(StmtFakeBind);
}

void StmtTest::Open(uint32_t capabilities, int version) {
  Fake().ints[DRVP_CAPABILITIES] = static_cast<int32_t>(capabilities);
  env_ = NewEnv(version);
  dbc_ = Connected(env_);
  stmt_ = NewStmt();
}

SQLHSTMT StmtTest::NewStmt() {
  SQLHSTMT h = nullptr;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h), SQL_SUCCESS);
  return h;
}

Stmt* StmtTest::StmtOf(SQLHSTMT h) {
  return static_cast<Stmt*>(HandleLookup(&StmtHandles, HandleOf(h)));
}

Desc* StmtTest::DescOf(SQLHANDLE h) {
  return static_cast<Desc*>(HandleLookup(&DescHandles, HandleOf(h)));
}

SQLHANDLE StmtTest::DescAttr(SQLHSTMT h, SQLINTEGER attr) {
  SQLHANDLE d = nullptr;
  EXPECT_EQ(SQLGetStmtAttr(h, attr, &d, SQL_IS_POINTER, nullptr), SQL_SUCCESS);
  return d;
}
