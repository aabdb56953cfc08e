// fetch_fake_support.cpp -- the fetching slots of the recording back end and
// the fetch fixture.

#include "fetch_fake.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "odbc/conn.h"

namespace {

FetchFake ffake;
DriverOps ops;
const DriverOps* below = nullptr;

// dst takes the result's columns with room for n rows, unless it has them.
int32_t layout(Dataset* dst, int32_t n) {
  const Dataset& src = ffake.rows;
  if (dst->colCount != src.colCount || dst->rowCapacity < n) {
    DatasetFree(dst);
    if (int32_t rc = DatasetInit(dst, src.colCount); rc != 0) return rc;
    for (uint16_t c = 0; c < src.colCount; ++c) {
      dst->cols[c].type = src.cols[c].type;
      dst->cols[c].width = src.cols[c].width;
    }
    dst->colCount = src.colCount;
    if (int32_t rc = DatasetSetRows(dst, std::max(n, 1)); rc != 0) return rc;
  }
  dst->rowCount = 0;
  return 0;
}

int32_t copy_rows(Dataset* dst, int32_t first, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (int32_t rc = DatasetCopyRow(dst, &ffake.rows, static_cast<uint32_t>(i),
                                    static_cast<uint32_t>(first + i), 0);
        rc != 0)
      return rc;
  return 0;
}

int32_t Fetch(DrvHandle, uint16_t rows, Dataset* ds) {
  ffake.asked.push_back(rows);
  ffake.hadColumns.push_back(ds->colCount > 0);
  int32_t n = std::min<int32_t>(rows, ffake.rows.rowCount - ffake.next);
  if (ffake.perCall > 0) n = std::min(n, ffake.perCall);
  if (n <= 0) {
    // The long values of the rows handed out before stay the caller's to free.
    ds->rowCount = 0;
    return 0;
  }
  if (int32_t rc = layout(ds, rows); rc != 0) return rc;
  if (int32_t rc = copy_rows(ds, ffake.next, n); rc != 0) return rc;
  ffake.next += n;
  return 0;
}

int32_t ExtendedFetch(DrvHandle, RowStatusTable** table, int32_t target, int32_t* rows,
                      int32_t* rowCount) {
  ffake.targets.push_back(target);
  RowStatusTableFree(table);  // a forward-only cursor hands its last table back
  const int32_t size = ffake.tableSize > 0 ? ffake.tableSize : ffake.rowsetSize;
  const int32_t n = std::min(size, ffake.rows.rowCount - ffake.next);
  if (n <= 0) return ERR_NO_DATA;
  RowStatusTable* t = nullptr;
  if (int32_t rc = RowStatusTableNew(&t, size); rc != 0) return rc;
  if (layout(t->rows, size) != 0 || copy_rows(t->rows, ffake.next, n) != 0) {
    RowStatusTableFree(&t);
    return ERR_MEMORY;
  }
  for (int32_t i = 0; i < n; ++i) {
    const size_t r = static_cast<size_t>(ffake.next + i);
    t->status[i] = r < ffake.statuses.size() ? ffake.statuses[r] : SQL_ROW_SUCCESS;
  }
  ffake.next += n;
  *table = t;
  *rows = n;
  *rowCount = -1;
  return 0;
}

int32_t GetLongData(DrvHandle, uint32_t, uint32_t, uint32_t maxUnits, void** data, uint32_t* left,
                    uint32_t* type, int32_t* total) {
  Fake().Log("GetLongData " + std::to_string(maxUnits));
  if (ffake.longCode != 0) return ffake.longCode;
  *type = DS_STRING;
  *left = 0;
  if (ffake.longNull) {
    *total = -1;
    return ERR_NO_DATA;
  }
  const size_t rest = ffake.longValue.size() - ffake.longOffset;
  // Each piece reports what remains from its start.
  *total = static_cast<int32_t>(rest);
  if (rest == 0) return ERR_NO_DATA;
  const size_t n = std::min<size_t>(maxUnits, rest);
  if (n == 0) return 0;
  char* piece = static_cast<char*>(malloc(n));
  memcpy(piece, ffake.longValue.data() + ffake.longOffset, n);
  ffake.longOffset += n;
  *data = piece;
  *left = static_cast<uint32_t>(n);
  return 0;
}

int32_t SetOption(DrvHandle h, DriverPropId id, const void* value) {
  if (id == DRVP_STMT_OPTION + SQL_ROWSET_SIZE)
    ffake.rowsetSize = *static_cast<const int32_t*>(value);
  return below->DRV_SetOption(h, id, value);
}

}  // namespace

void FetchFake::Reset() {
  DatasetFree(&rows);
  *this = FetchFake{};
}

FetchFake& FFake() { return ffake; }

int32_t FetchFakeBind(DriverRecord* rec) {
  StmtFakeBind(rec);
  below = rec->ops;
  ops = *rec->ops;
  ops.DRV_Fetch = Fetch;
  ops.DRV_ExtendedFetch = ExtendedFetch;
  ops.DRV_GetLongData = GetLongData;
  ops.DRV_SetOption = SetOption;
  rec->ops = &ops;
  return 0;
}

FakeColumn Col(int32_t sqlType, uint32_t dsType, uint32_t octetLength, int16_t scale) {
  FakeColumn c;
  c.name = "c";
  c.sqlType = sqlType;
  c.bindType = dsType;
  c.octetLength = octetLength;
  c.precision = static_cast<int32_t>(octetLength);
  c.scale = scale;
  return c;
}

void FetchTest::SetUp() {
  StmtTest::SetUp();
  ffake.Reset();
  DriverSetBinder(FetchFakeBind);
}

void FetchTest::TearDown() {
  ffake.Reset();
  StmtTest::TearDown();
}

void FetchTest::Result(const std::vector<FakeColumn>& cols, int32_t rows, bool scroll,
                       int version) {
  Open(scroll ? DRV_CAPBIT_SCROLL_CURSORS : 0, version);
  SFake().columns = cols;
  Dataset& ds = ffake.rows;
  ASSERT_EQ(DatasetInit(&ds, static_cast<uint16_t>(cols.size())), 0);
  for (size_t c = 0; c < cols.size(); ++c) {
    ds.cols[c].type = static_cast<int32_t>(cols[c].bindType);
    ds.cols[c].width = DatasetTypeWidth(ds.cols[c].type, cols[c].octetLength);
  }
  ds.colCount = static_cast<uint16_t>(cols.size());
  ASSERT_EQ(DatasetSetRows(&ds, rows), 0);
  ds.rowCount = rows;
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"select", SQL_NTS), SQL_SUCCESS);
}

void FetchTest::Cell(int32_t row, uint16_t col, const void* bytes, size_t n) {
  DatasetColumn& c = ffake.rows.cols[col - 1];
  char* slot = c.data + static_cast<size_t>(row) * c.width;
  c.ind[row] = 0;
  auto prefixed = [&](size_t prefix, size_t units) {
    memcpy(slot, &units, prefix);
    memcpy(slot + prefix, bytes, n);
  };
  switch (c.type) {
    case DS_VARCHAR1:
    case DS_VARBINARY1: prefixed(1, n); return;
    case DS_VARCHAR2:
    case DS_VARBINARY2: prefixed(2, n); return;
    case DS_VARCHAR4:
    case DS_VARBINARY4: prefixed(4, n); return;
    case DS_WVARCHAR4: prefixed(4, n / 2); return;
    case DS_LONGCHAR:
    case DS_LONGBINARY:
    case DS_LONGWCHAR: {
      DatasetLong v{static_cast<uint32_t>(c.type == DS_LONGWCHAR ? n / 2 : n), malloc(n + 2)};
      memcpy(v.data, bytes, n);
      memset(static_cast<char*>(v.data) + n, 0, 2);
      memcpy(slot, &v, sizeof v);
      return;
    }
    default:
      memset(slot, 0, c.width);
      memcpy(slot, bytes, std::min<size_t>(n, c.width));
      return;
  }
}

void FetchTest::Text(int32_t row, uint16_t col, const std::string& text) {
  Cell(row, col, text.data(), text.size());
}

void FetchTest::Wide(int32_t row, uint16_t col, const std::u16string& text) {
  Cell(row, col, text.data(), text.size() * 2);
}

void FetchTest::Deferred(int32_t row, uint16_t col) {
  ffake.rows.cols[col - 1].ind[row] = DS_IND_NOTFETCHED;
}
