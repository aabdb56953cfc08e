// setpos_fake_support.cpp -- the positioned slots of the recording back end
// and the SetPos fixture.

#include "setpos_fake.h"

#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "odbc/conn.h"
#include "odbc/stmt.h"

namespace {

SetPosFake pfake;
DriverOps ops;

std::vector<SeenColumn> seen(Dataset* ds) {
  std::vector<SeenColumn> out;
  if (ds == nullptr) return out;
  for (uint16_t c = 0; c < ds->colCount; ++c) out.push_back(Seen(ds->cols[c], ds->rowCount));
  return out;
}

// The back end owns what it was handed unless the caller keeps it.
void release(DriverRecord* rec, Dataset* ds, uint16_t* cols) {
  if ((rec->caps & DRV_CAP_FREEPARAMS) != 0) return;
  if (ds != nullptr) DatasetFree(ds);
  std::free(ds);
  std::free(cols);
}

DriverRecord* bound = nullptr;

uint16_t* status_array(const std::vector<uint16_t>& v) {
  if (v.empty()) return nullptr;
  auto* a = static_cast<uint16_t*>(std::malloc(v.size() * sizeof(uint16_t)));
  std::memcpy(a, v.data(), v.size() * sizeof(uint16_t));
  return a;
}

int32_t SetPos(DrvHandle, int32_t row, uint16_t op, uint32_t, uint16_t** statuses,
               int32_t* rowsOut, Dataset* rows, uint16_t* columns, uint16_t count) {
  SetPosCall call;
  call.row = row;
  call.op = op;
  call.columns.assign(columns, columns + count);
  call.rows = seen(rows);
  pfake.setPos.push_back(call);
  release(bound, rows, columns);
  if (statuses != nullptr) *statuses = status_array(pfake.statuses);
  if (rowsOut != nullptr && pfake.given >= 0) *rowsOut = pfake.given;
  return pfake.setPosCode;
}

int32_t BulkOperations(DrvHandle, uint16_t op, uint32_t* bookmarks, uint16_t count, Dataset* rows,
                       uint16_t* columns, uint16_t columnCount, uint16_t** statuses,
                       uint16_t* countOut, RowStatusTable** table) {
  BulkCall call;
  call.op = op;
  call.bookmarks.assign(bookmarks, bookmarks + count);
  if (columns != nullptr) call.columns.assign(columns, columns + columnCount);
  call.rows = seen(rows);
  pfake.bulk.push_back(call);
  release(bound, rows, columns);
  *statuses = status_array(pfake.bulkStatuses);
  if (pfake.bulkGiven >= 0) *countOut = static_cast<uint16_t>(pfake.bulkGiven);
  if (table != nullptr && pfake.bulkCode == 0) {
    // The bookmarked rows of the result, in bookmark order.
    RowStatusTable* t = nullptr;
    if (RowStatusTableNew(&t, count) != 0) return ERR_MEMORY;
    const Dataset& all = FFake().rows;
    if (DatasetCloneLayout(&t->rows, &all, count) != 0) return ERR_MEMORY;
    for (uint16_t i = 0; i < count; ++i) {
      (void)DatasetCopyRow(t->rows, const_cast<Dataset*>(&all), i, bookmarks[i] - 1, 0);
      t->status[i] = SQL_ROW_SUCCESS;
    }
    *table = t;
  }
  return pfake.bulkCode;
}

int32_t ParamData(DrvHandle, int32_t* index, int32_t* row, uint16_t** statuses, int32_t* count) {
  if (pfake.nextCell < pfake.cells.size()) {
    *index = pfake.cells[pfake.nextCell].first;
    *row = pfake.cells[pfake.nextCell].second;
    ++pfake.nextCell;
    pfake.pieces.emplace_back();
    pfake.pieceTypes.push_back(0);
    return ERR_NEED_DAE;
  }
  *statuses = status_array(pfake.finalStatuses);
  *count = static_cast<int32_t>(pfake.finalStatuses.size());
  return pfake.finalCode;
}

int32_t PutData(DrvHandle, uint32_t type, int16_t indicator, const void* data, int32_t length) {
  if (pfake.pieces.empty()) return ERR_SEQUENCE;
  pfake.pieceTypes.back() = type;
  if (indicator == DS_IND_NULL) pfake.pieces.back() = "<null>";
  else pfake.pieces.back().append(static_cast<const char*>(data), length);
  return 0;
}

}  // namespace

SeenColumn Seen(const DatasetColumn& c, int32_t rows) {
  SeenColumn out;
  out.type = c.type;
  out.width = c.width;
  for (int32_t r = 0; r < rows; ++r) {
    SeenCell cell;
    cell.ind = c.ind[r];
    const char* slot = c.data + static_cast<size_t>(r) * c.width;
    if (cell.ind == 0) {
      if (c.type == DS_LONGBINARY || c.type == DS_LONGCHAR) {
        DatasetLong v{};
        std::memcpy(&v, slot, sizeof v);
        cell.bytes.assign(static_cast<const char*>(v.data), v.length);
      } else if (c.type == DS_CHAR) {
        cell.bytes.assign(slot, strnlen(slot, c.width));
      } else {
        cell.bytes.assign(slot, c.width);
      }
    }
    out.cells.push_back(cell);
  }
  return out;
}

void SetPosFake::Reset() { *this = SetPosFake{}; }

SetPosFake& PFake() { return pfake; }

int32_t SetPosFakeBind(DriverRecord* rec) {
  FetchFakeBind(rec);
  ops = *rec->ops;
  ops.DRV_SetPos = SetPos;
  ops.DRV_BulkOperations = BulkOperations;
  ops.DRV_ParamData = ParamData;
  ops.DRV_PutData = PutData;
  rec->ops = &ops;
  bound = rec;
  return 0;
}

void SetPosTest::SetUp() {
  FetchTest::SetUp();
  pfake.Reset();
  DriverSetBinder(SetPosFakeBind);
}

void SetPosTest::TearDown() {
  pfake.Reset();
  FetchTest::TearDown();
}

void SetPosTest::Grid(int32_t n, int32_t cursorType, int32_t concurrency, uint32_t caps,
                      std::vector<FakeColumn> cols) {
  if (cols.empty()) cols = {Col(SQL_INTEGER, DS_INTEGER), Col(SQL_VARCHAR, DS_STRING, 8)};
  Result(cols, n, true);
  for (int32_t i = 0; i < n; ++i) {
    Value<int32_t>(i, 1, i + 1);
    Text(i, 2, "r" + std::to_string(i + 1));
  }
  // The cursor layer's negotiation is not under test: the statement runs the
  // cursor it asked for.
  SCS& scs = StmtOf(stmt_)->st_cursor;
  scs.sc_cursorType = cursorType;
  scs.sc_concurrency = concurrency;
  if (caps != 0) StmtOf(stmt_)->st_dbc->cn_hasV2DAE = (caps & DRV_CAPBIT_V2DAE) != 0;
}

void SetPosTest::Rowset(SQLULEN size) {
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_SUCCESS);
}
