#pragma once
// setpos_fake.h -- the positioned side of the recording back end: DRV_SetPos
// and DRV_BulkOperations keep a copy of what they receive and answer what the
// test sets, and DRV_ParamData/DRV_PutData play the back end's own dialogue
// over a list of cells. It extends the fetching fake (fetch_fake.h); rowsets
// are scrolled by that fake, and a fetch by bookmark hands out its rows.
// SetPosTest gives each test a scrollable result of (INTEGER, VARCHAR(8))
// rows whose cursor type and concurrency the test names.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "drv/dataset.h"
#include "fetch_fake.h"

// One cell of a Dataset as the back end saw it.
struct SeenCell {
  int16_t ind = 0;
  std::string bytes;  // the value's bytes: the text up to its NUL, the slot, or a long value
};

struct SeenColumn {
  int32_t type = DS_NONE;
  uint32_t width = 0;
  std::vector<SeenCell> cells;
};

struct SetPosCall {
  int32_t row = 0;
  uint16_t op = 0;
  std::vector<uint16_t> columns;
  std::vector<SeenColumn> rows;  // by column
};

struct BulkCall {
  uint16_t op = 0;
  std::vector<uint32_t> bookmarks;
  std::vector<uint16_t> columns;
  std::vector<SeenColumn> rows;
};

struct SetPosFake {
  std::vector<SetPosCall> setPos;
  int32_t setPosCode = 0;
  std::vector<uint16_t> statuses;  // handed back, one per row; none when empty
  int32_t given = -1;              // the count DRV_SetPos reports; -1 says nothing
  std::vector<BulkCall> bulk;
  int32_t bulkCode = 0;
  std::vector<uint16_t> bulkStatuses;
  int32_t bulkGiven = -1;
  // Driver road: the cells ParamData names in turn (Dataset column, row), then
  // the final answer; the pieces PutData received, one string per cell.
  std::vector<std::pair<int32_t, int32_t>> cells;
  size_t nextCell = 0;
  int32_t finalCode = 0;
  std::vector<uint16_t> finalStatuses;
  std::vector<std::string> pieces;
  std::vector<uint32_t> pieceTypes;

  void Reset();
};

SetPosFake& PFake();
int32_t SetPosFakeBind(DriverRecord* rec);
SeenColumn Seen(const DatasetColumn& c, int32_t rows);

class SetPosTest : public FetchTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // n rows of (i + 1, "r<i+1>") as a cursor of this type and concurrency;
  // capabilities beyond scrolling as given.
  // Columns beyond the first two, and their values, are the test's.
  void Grid(int32_t n, int32_t cursorType, int32_t concurrency, uint32_t caps = 0,
            std::vector<FakeColumn> cols = {});
  void Rowset(SQLULEN size);
};
