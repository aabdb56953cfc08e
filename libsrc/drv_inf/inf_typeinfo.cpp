// inf_typeinfo.cpp -- SQLGetTypeInfo without a query: a static table of the
// Informix types, chosen by the requested SQL type, the server kind, the
// connection's wide mode and the application's ODBC version, delivered by the
// fetch of a type-information cursor.
// Owns only constant tables; the cursor keeps its copy of the description and
// its row position.
// Threading: on the caller's thread under the connection's call lock.

#include <algorithm>
#include <cstring>
#include <iterator>

#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_cursor.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_catalog.h"

namespace {

constexpr int16_t kNull = -100;  // a number field holding NULL

struct TypeInfoRow {
  const char* typeName;
  int16_t dataType;
  int32_t columnSize;
  const char* literalPrefix;  // null: NULL
  const char* literalSuffix;
  const char* createParams;
  int16_t nullable, caseSensitive, searchable, unsignedAttribute, fixedPrecScale, autoUnique;
  const char* localTypeName;
  int16_t minimumScale, maximumScale, sqlDataType, sqlDatetimeSub;
  int32_t numPrecRadix;
  int16_t intervalPrecision;
};

constexpr int32_t kLong = 2147483640;  // BYTE and TEXT hold 2^31 - 8 bytes at most

// clang-format off
constexpr TypeInfoRow INF_TypeInfoRows[] = {
  /* R0  */ {"CHAR", 1, 32767, "'", "'", "maxlength", 1, 1, 3, kNull, 0, 0, nullptr, 0, 0, 1, kNull, kNull, kNull},
  /* R1  */ {"VARCHAR", 12, 255, "'", "'", "maxlength", 1, 1, 3, kNull, 0, 0, nullptr, 0, 0, 12, kNull, kNull, kNull},
  /* R2  */ {"TEXT", -1, kLong, "'", "'", nullptr, 1, 1, 0, kNull, 0, 0, nullptr, 0, 0, -1, kNull, kNull, kNull},
  /* R3  */ {"SMALLINT", 5, 5, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 5, kNull, 10, kNull},
  /* R4  */ {"INTEGER", 4, 10, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 4, kNull, 10, kNull},
  /* R5  */ {"SERIAL", 4, 10, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 1, nullptr, 0, 0, 4, kNull, 10, kNull},
  /* R6  */ {"MONEY", 3, 32, nullptr, nullptr, nullptr, 1, 0, 2, 0, 1, 0, nullptr, 0, 32, 3, kNull, 10, kNull},
  /* R7  */ {"DECIMAL", 3, 32, nullptr, nullptr, "precision,scale", 1, 0, 2, 0, 0, 0, nullptr, 0, 32, 3, kNull, 10, kNull},
  /* R8  */ {"DECIMAL", 2, 32, nullptr, nullptr, "precision,scale", 1, 0, 2, 0, 0, 0, nullptr, 0, 32, 2, kNull, 10, kNull},
  /* R9  */ {"SMALLFLOAT", 7, 7, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 7, kNull, 10, kNull},
  /* R10 */ {"FLOAT", 8, 15, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 8, kNull, 10, kNull},
  /* R11 */ {"FLOAT", 6, 15, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 6, kNull, 10, kNull},
  /* R12 */ {"BYTE", -4, kLong, nullptr, nullptr, nullptr, 1, 0, 0, 0, 0, 0, nullptr, 0, 0, -4, kNull, kNull, kNull},
  // The date and time rows carry the subcode of SQL_DATETIME (1 date, 2 time,
  // 3 timestamp) beside the verbose type 9.
  /* R13 */ {"DATE", 91, 10, nullptr, nullptr, nullptr, 1, 0, 3, 0, 0, 0, nullptr, 0, 0, 9, 1, kNull, kNull},
  /* R14 */ {"DATE", 9, 10, nullptr, nullptr, nullptr, 1, 0, 3, 0, 0, 0, nullptr, 0, 0, 9, 1, kNull, kNull},
  /* R15 */ {"DATETIME HOUR TO SECOND", 92, 8, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 9, 2, kNull, kNull},
  /* R16 */ {"DATETIME HOUR TO SECOND", 10, 8, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 0, 9, 2, kNull, kNull},
  /* R17 */ {"DATETIME YEAR TO FRACTION(5)", 93, 25, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 5, 9, 3, kNull, kNull},
  /* R18 */ {"DATETIME YEAR TO FRACTION(5)", 11, 25, nullptr, nullptr, nullptr, 1, 0, 2, 0, 0, 0, nullptr, 0, 5, 9, 3, kNull, kNull},
  /* R19 */ {"NCHAR", -8, 32767, "'", "'", "maxlength", 1, 1, 3, kNull, 0, 0, nullptr, 0, 0, -8, kNull, kNull, kNull},
  /* R20 */ {"NVARCHAR", -9, 255, "'", "'", "maxlength", 1, 1, 3, kNull, 0, 0, nullptr, 0, 0, -9, kNull, kNull, kNull},
  /* R21 */ {"TEXT", -10, kLong, "'", "'", nullptr, 1, 1, 0, kNull, 0, 0, nullptr, 0, 0, -10, kNull, kNull, kNull},
  /* R22 */ {"LVARCHAR", 12, 2147483647, "'", "'", nullptr, 1, 1, 3, kNull, 0, 0, nullptr, 0, 0, 12, kNull, kNull, kNull},
};
// clang-format on
static_assert(std::size(INF_TypeInfoRows) == 23);
static_assert(INF_TypeInfoRows[22].sqlDataType == INF_TypeInfoRows[22].dataType);

const TypeInfoRow* R(int i) { return &INF_TypeInfoRows[i]; }

ColumnInfo describe(const char* name, int32_t sqlType, uint32_t size) {
  return CatalogDescribe(name, sqlType, DS_STRING, size);
}

// The 19 columns of the result, the same in both builds.
void INF_TypeInfoColumns(ColumnInfo* out) {
  int i = 0;
  out[i++] = describe("TYPE_NAME", 12, 32);
  out[i++] = describe("DATA_TYPE", 5, 0);
  out[i++] = describe("COLUMN_SIZE", 4, 0);
  out[i++] = describe("LITERAL_PREFIX", 12, 2);
  out[i++] = describe("LITERAL_SUFFIX", 12, 2);
  out[i++] = describe("CREATE_PARAMS", 12, 32);
  for (const char* n : {"NULLABLE", "CASE_SENSITIVE", "SEARCHABLE", "UNSIGNED_ATTRIBUTE",
                        "FIXED_PREC_SCALE", "AUTO_UNIQUE_VALUE"})
    out[i++] = describe(n, 5, 0);
  out[i++] = describe("LOCAL_TYPE_NAME", 12, 16);
  for (const char* n : {"MINIMUM_SCALE", "MAXIMUM_SCALE", "SQL_DATA_TYPE", "SQL_DATETIME_SUB"})
    out[i++] = describe(n, 5, 0);
  out[i++] = describe("NUM_PREC_RADIX", 4, 0);
  out[i++] = describe("INTERVAL_PRECISION", 5, 0);
}
constexpr uint16_t kTypeInfoColumns = 19;

struct Producer {
  bool online;
  bool wide;  // the connection's wide mode (Unicode build only)
  bool wideBuild;
  bool v3;
};

// The row at position p of the all-types listing, or null; *next is where the
// listing goes on.
const TypeInfoRow* allTypesRow(const Producer& k, uint32_t p, uint32_t* next) {
  *next = p + 1;
  switch (p) {
    case 0: return k.wide && k.online ? R(21) : nullptr;
    case 1: return k.wide && k.online ? R(20) : nullptr;
    case 2: return k.wide ? R(19) : nullptr;
    case 3: return k.online ? R(12) : nullptr;
    case 4:
      if (!k.wide) return k.online ? R(2) : nullptr;
      *next = 6;  // a wide connection lists TEXT once, as wide text
      return R(0);
    case 5: return R(0);
    case 6: return R(8);
    case 7: return R(6);
    case 8: return R(7);
    case 9: return R(4);
    case 10: return R(5);
    case 11: return R(3);
    case 12: return R(11);
    case 13: return R(9);
    case 14: return R(10);
    case 15: return k.online ? R(1) : nullptr;
    case 16: return k.online ? R(22) : nullptr;
    case 17: return k.v3 ? R(13) : R(14);
    case 18: return k.v3 ? R(15) : R(16);
    case 19: return k.v3 ? R(17) : R(18);
    default: return nullptr;
  }
}
constexpr uint32_t kAllTypesEnd = 20;

// The first row for one requested type. The date and time types answer the
// row of the application's ODBC version, whichever code it asked with.
const TypeInfoRow* singleTypeRow(const Producer& k, int16_t type) {
  switch (type) {
    case 1: return R(0);
    case 12: return k.online ? R(1) : R(0);
    case -9: return k.wideBuild ? (k.online ? R(20) : R(19)) : nullptr;
    case -8: return k.wideBuild ? R(19) : nullptr;
    case -10: return k.wideBuild ? R(21) : nullptr;
    case -1: return R(2);
    case -2:
    case -3:
    case -4: return R(12);
    case 2: return R(8);
    case 3:
    case -5: return R(7);
    case 4: return R(4);
    case 5:
    case -6:
    case -7: return R(3);
    case 6: return R(11);
    case 7: return R(9);
    case 8: return R(10);
    case 9:
    case 91: return k.v3 ? R(13) : R(14);
    case 10:
    case 92: return k.v3 ? R(15) : R(16);
    case 11:
    case 93: return k.v3 ? R(17) : R(18);
    default: return nullptr;
  }
}

// The next row of the cursor's listing, or null at its end. Positions without
// a row for this server are passed over: an SE server has no row at the
// listing's first positions, and the listing goes on after them.
const TypeInfoRow* nextRow(InfCursor* cur) {
  const InfConn* conn = cur->conn;
  Producer k{};
  k.online = conn->session != nullptr && conn->session->online != 0;
  k.wideBuild = InfWideBuild();
  k.wide = k.wideBuild && conn->wide != 0;
  k.v3 = conn->odbcVersion == 3;
  if (cur->typeInfoType != 0) {
    const uint32_t p = cur->memRow++;
    if (p == 0) return singleTypeRow(k, cur->typeInfoType);
    // VARCHAR requests list the long variable text type after it.
    if (p == 1 && cur->typeInfoType == 12) return R(22);
    return nullptr;
  }
  while (cur->memRow < kAllTypesEnd) {
    uint32_t next = 0;
    const TypeInfoRow* row = allTypesRow(k, cur->memRow, &next);
    cur->memRow = next;
    if (row != nullptr) return row;
  }
  return nullptr;
}

char* cell(DatasetColumn& col, int32_t r) { return col.data + static_cast<size_t>(r) * col.width; }

void setText(DatasetColumn& col, int32_t r, const char* text) {
  if (text == nullptr) {
    col.ind[r] = DS_IND_NULL;
    return;
  }
  const size_t n = std::min<size_t>(std::strlen(text), col.width - 1);
  std::memcpy(cell(col, r), text, n);
  cell(col, r)[n] = '\0';
  col.ind[r] = 0;
}

void setNumber(DatasetColumn& col, int32_t r, int32_t v) {
  if (v == kNull) {
    col.ind[r] = DS_IND_NULL;
    return;
  }
  col.ind[r] = 0;
  if (col.type == DS_SMALLINT) {
    const auto s = static_cast<int16_t>(v);
    std::memcpy(cell(col, r), &s, sizeof s);
  } else if (col.type == DS_INTEGER) {
    std::memcpy(cell(col, r), &v, sizeof v);
  }
}

void storeRow(Dataset* ds, int32_t r, const TypeInfoRow& t, bool v3) {
  DatasetColumn* c = ds->cols;
  setText(c[0], r, t.typeName);
  setNumber(c[1], r, t.dataType);
  setNumber(c[2], r, t.columnSize);
  setText(c[3], r, t.literalPrefix);
  setText(c[4], r, t.literalSuffix);
  setText(c[5], r, t.createParams);
  setNumber(c[6], r, t.nullable);
  setNumber(c[7], r, t.caseSensitive);
  setNumber(c[8], r, t.searchable);
  setNumber(c[9], r, t.unsignedAttribute);
  setNumber(c[10], r, t.fixedPrecScale);
  setNumber(c[11], r, t.autoUnique);
  setText(c[12], r, t.localTypeName);
  setNumber(c[13], r, t.minimumScale);
  setNumber(c[14], r, t.maximumScale);
  // ODBC 2 results end at MAXIMUM_SCALE; the later columns stay NULL there.
  if (!v3) return;
  setNumber(c[15], r, t.sqlDataType);
  setNumber(c[16], r, t.sqlDatetimeSub);
  setNumber(c[17], r, t.numPrecRadix);
  setNumber(c[18], r, t.intervalPrecision);
}

}  // namespace

int32_t INF_DDTypeInfo(DrvHandle hCursor, int16_t sqlType) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  if (int32_t rc = UnPrepareCursor(cur); rc != 0) return rc;
  cur->rowCallback = nullptr;
  ColumnInfo* cols = ColumnInfoAlloc(kTypeInfoColumns);
  if (cols == nullptr) return ERR_MEMORY;
  INF_TypeInfoColumns(cols);
  cur->results = cols;
  cur->resultCount = kTypeInfoColumns;
  cur->kind = 2;
  cur->typeInfoType = sqlType;
  cur->memRow = 0;
  cur->flags |= CF_EXECUTED;
  return 0;
}

int32_t TypeInfoFetch(InfCursor* cur, uint16_t rows, Dataset* ds) noexcept {
  DatasetFree(ds);
  if (rows == 0 || cur->results == nullptr) return DatasetInit(ds, 0);
  if (int32_t rc = DatasetFromColumnInfo(cur->results, cur->resultCount, rows, ds); rc != 0)
    return rc;
  ds->rowCount = 0;
  const bool v3 = cur->conn->odbcVersion == 3;
  for (int32_t i = 0; i < rows; ++i) {
    const TypeInfoRow* row = nextRow(cur);
    if (row == nullptr) break;
    storeRow(ds, i, *row, v3);
    ds->rowCount = i + 1;
  }
  cur->rowCount = static_cast<uint32_t>(ds->rowCount);
  // No row left reads as the end of the result.
  if (ds->rowCount == 0) {
    DatasetFree(ds);
    return DatasetInit(ds, 0);
  }
  return 0;
}
