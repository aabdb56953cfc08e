#pragma once
// fetch_fake.h -- the fetching side of the recording back end: a result whose
// rows the test lays out in a Dataset, served in blocks (DRV_Fetch), in
// rowsets with row statuses (DRV_ExtendedFetch) and as long values in pieces
// (DRV_GetLongData). It extends the statement fake (stmt_fake.h).
// FetchTest gives each test a connected ODBC 3 statement over such a result.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drv/dataset.h"
#include "stmt_fake.h"

struct FetchFake {
  Dataset rows{};                // every row of the result
  int32_t next = 0;              // first row not handed out yet
  int32_t perCall = 0;           // rows per DRV_Fetch at most; 0: as asked
  std::vector<int32_t> asked;    // rows asked by each DRV_Fetch
  std::vector<bool> hadColumns;  // each DRV_Fetch: the Dataset came laid out
  std::vector<uint16_t>
      statuses;            // status of each result row in a rowset; SQL_ROW_SUCCESS when absent
  int32_t tableSize = 0;   // entries of a rowset's table; 0: the rowset size
  int32_t rowsetSize = 1;  // as the statement set it on the cursor
  std::vector<int32_t> targets;  // target of each scrolled fetch
  std::string longValue;         // the deferred value, handed out in pieces
  bool longNull = false;
  size_t longOffset = 0;
  int32_t longCode = 0;  // answer of DRV_GetLongData when not 0

  void Reset();
};

FetchFake& FFake();
int32_t FetchFakeBind(DriverRecord* rec);

class FetchTest : public StmtTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A result of these columns and `rows` rows, every value NULL until set,
  // executed on stmt_ (scrollable cursors offered when scroll is set).
  void Result(const std::vector<FakeColumn>& cols, int32_t rows, bool scroll = false,
              int version = SQL_OV_ODBC3);
  // The value of a cell as the column's type keeps it: n bytes of text or
  // binary (UTF-16 bytes for the wide types), or the fixed slot's bytes.
  void Cell(int32_t row, uint16_t col, const void* bytes, size_t n);
  void Text(int32_t row, uint16_t col, const std::string& text);
  void Wide(int32_t row, uint16_t col, const std::u16string& text);
  template <typename T>
  void Value(int32_t row, uint16_t col, T v) {
    Cell(row, col, &v, sizeof v);
  }
  // A cell the back end left out of the row.
  void Deferred(int32_t row, uint16_t col);
  std::string State(SQLSMALLINT rec = 1) { return CoreTest::State(SQL_HANDLE_STMT, stmt_, rec); }
};

// A column description: name, SQL type, DatasetType, octet length.
FakeColumn Col(int32_t sqlType, uint32_t dsType, uint32_t octetLength = 0, int16_t scale = 0);
