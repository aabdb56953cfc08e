// cvt_cell.cpp -- reads the value of a Dataset cell and hands it to the
// converter of its DatasetType; delivers binary values.
// A cell is read within its own slot only: a fixed-width character cell ends at
// its terminator, a length prefix or a long-value length larger than what the
// slot can hold is cut to the slot, so a damaged cell never reads past its row.
// Pure functions, any thread.

#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"

namespace {

template <class T>
T load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);  // cells are not aligned for their type
  return v;
}

uint64_t wideUnits(const char* p, uint64_t maxUnits) {
  uint64_t n = 0;
  while (n < maxUnits && load<char16_t>(p + 2 * n) != 0) ++n;
  return n;
}

// A length prefix of `prefix` bytes, then the value; `unit` bytes per counted unit.
void prefixed(const char* cell, uint32_t width, uint32_t prefix, uint32_t unit, const void** value,
              uint64_t* length) {
  if (width < prefix) {
    *value = cell;
    *length = 0;
    return;
  }
  uint64_t n = prefix == 1   ? load<uint8_t>(cell)
               : prefix == 2 ? load<uint16_t>(cell)
                             : load<uint32_t>(cell);
  const uint64_t room = (width - prefix) / unit;
  if (n > room) n = room;
  *value = cell + prefix;
  *length = n * unit;
}

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

void CellValue(const DatasetColumn* col, uint32_t row, const void** value,
               uint64_t* length) noexcept {
  *value = nullptr;
  *length = 0;
  if (col == nullptr || col->data == nullptr) return;
  const uint32_t width = col->width;
  const char* cell = col->data + static_cast<uint64_t>(row) * width;
  *value = cell;
  switch (col->type) {
    case DS_CHAR:
    case DS_STRING: *length = strnlen(cell, width); return;
    case DS_WCHAR:
    case DS_WSTRING: *length = 2 * wideUnits(cell, width / 2); return;
    case DS_VARCHAR1:
    case DS_VARBINARY1: prefixed(cell, width, 1, 1, value, length); return;
    case DS_VARCHAR2:
    case DS_VARBINARY2: prefixed(cell, width, 2, 1, value, length); return;
    case DS_VARCHAR4:
    case DS_VARBINARY4: prefixed(cell, width, 4, 1, value, length); return;
    case DS_WVARCHAR4: prefixed(cell, width, 4, 2, value, length); return;
    case DS_LONGCHAR:
    case DS_LONGBINARY:
    case DS_LONGWCHAR: {
      if (width < sizeof(DatasetLong)) return;
      const DatasetLong v = load<DatasetLong>(cell);
      *value = v.data;
      *length = v.data == nullptr ? 0 : (col->type == DS_LONGWCHAR ? 2ull * v.length : v.length);
      return;
    }
    default: *length = width; return;
  }
}

SQLRETURN ConvertCellValue(int32_t dsType, const void* value, uint64_t length, SQLLEN total,
                           int32_t cType, void* data, SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err,
                           int32_t numScale, int32_t numPrecision, uint16_t colScale,
                           uint64_t* used) noexcept {
  if (used != nullptr) *used = 0;
  const auto* text = static_cast<const char*>(value);
  uint64_t need = 0;  // bytes a fixed-size source must have
  switch (dsType) {
    case DS_CHAR:
    case DS_LONGCHAR:
    case DS_STRING:
    case DS_VARCHAR1:
    case DS_VARCHAR2:
    case DS_VARCHAR4:
      return ConvertCHAR(text, length, total, cType, data, bufLen, lenPtr, err, numScale,
                         numPrecision, used);
    case DS_WCHAR:
    case DS_WSTRING:
    case DS_LONGWCHAR:
    case DS_WVARCHAR4:
      return ConvertWCHAR(static_cast<const char16_t*>(value), length, total, cType, data, bufLen,
                          lenPtr, err, numScale, numPrecision, used);
    case DS_BINARY:
    case DS_LONGBINARY:
    case DS_VARBINARY1:
    case DS_VARBINARY2:
    case DS_VARBINARY4:
      return ConvertBINARY(value, length, total, cType, data, bufLen, lenPtr, err, used);
    case DS_BIT:
    case DS_TINYINT:
    case DS_UTINYINT: need = 1; break;
    case DS_SMALLINT:
    case DS_USMALLINT: need = 2; break;
    case DS_INTEGER:
    case DS_UINTEGER:
    case DS_REAL: need = 4; break;
    case DS_DOUBLE: need = 8; break;
    case DS_DATE:
    case DS_TIME: need = 6; break;
    case DS_TIMESTAMP: need = sizeof(SQL_TIMESTAMP_STRUCT); break;
    default: *err = ERR_RESTRICTED_TYPE; return SQL_ERROR;
  }
  if (value == nullptr || length < need) {
    *err = ERR_GENERAL;
    return SQL_ERROR;
  }
  switch (dsType) {
    case DS_BIT:
    case DS_UTINYINT:
      return ConvertBYTE(load<uint8_t>(value), 0, cType, data, bufLen, lenPtr, err, numScale,
                         numPrecision);
    case DS_TINYINT:
      return ConvertBYTE(load<uint8_t>(value), 1, cType, data, bufLen, lenPtr, err, numScale,
                         numPrecision);
    case DS_SMALLINT:
    case DS_USMALLINT:
      return ConvertSHORT(load<uint16_t>(value), dsType == DS_SMALLINT, cType, data, bufLen, lenPtr,
                          err, numScale, numPrecision);
    case DS_INTEGER:
    case DS_UINTEGER:
      return ConvertLONG(load<uint32_t>(value), dsType == DS_INTEGER, cType, data, bufLen, lenPtr,
                         err, numScale, numPrecision);
    case DS_REAL:
      return ConvertFLOAT(load<float>(value), cType, data, bufLen, lenPtr, err, numScale,
                          numPrecision);
    case DS_DOUBLE:
      return ConvertDOUBLE(load<double>(value), cType, data, bufLen, lenPtr, err, numScale,
                           numPrecision);
    case DS_DATE: {
      const auto v = load<SQL_DATE_STRUCT>(value);
      return ConvertDATE(&v, cType, data, bufLen, lenPtr, err);
    }
    case DS_TIME: {
      const auto v = load<SQL_TIME_STRUCT>(value);
      return ConvertTIME(&v, cType, data, bufLen, lenPtr, err);
    }
    default: {
      const auto v = load<SQL_TIMESTAMP_STRUCT>(value);
      return ConvertTIMESTAMP(&v, cType, data, bufLen, lenPtr, colScale, err);
    }
  }
}

SQLRETURN ConvertBINARY(const void* bytes, uint64_t len, SQLLEN total, int32_t cType, void* data,
                        SQLLEN bufLen, SQLLEN* lenPtr, int32_t* err, uint64_t* used) noexcept {
  if (CvtTracing()) {
    TraceODBC("ConvertBINARY: retBufferLength(%ld) to %s", static_cast<long>(bufLen),
              CTypeName(cType));
  }
  if (used != nullptr) *used = 0;
  if (cType != SQL_C_CHAR && cType != SQL_C_WCHAR && cType != SQL_C_BINARY) {
    *err = ERR_RESTRICTED_TYPE;
    return SQL_ERROR;
  }
  if (BadBufferLength(bufLen, err)) return SQL_ERROR;
  const uint64_t b = data == nullptr ? 0 : static_cast<uint64_t>(bufLen);
  if (cType == SQL_C_BINARY) {
    return CopyOutChar(bytes, len, static_cast<int64_t>(len), total, 0, 1, data, b, lenPtr, err,
                       used);
  }
  // Two hex digits per byte: characters of one byte, or of two for UTF-16.
  const uint64_t unit = cType == SQL_C_WCHAR ? 2 : 1;
  const SQLLEN whole = total != 0 ? total : static_cast<SQLLEN>(len);
  if (lenPtr != nullptr)
    *lenPtr = whole == SQL_NO_TOTAL ? SQL_NO_TOTAL : whole * 2 * static_cast<SQLLEN>(unit);
  uint64_t n = len;
  if (b < (2 * len + 1) * unit) {
    *err = ERR_TRUNCATED;
    n = b < unit ? 0 : (b / unit - 1) / 2;
  } else if (total != SQL_NO_TOTAL && total > static_cast<SQLLEN>(len)) {
    *err = ERR_TRUNCATED;
  }
  if (b >= unit) {
    const auto* src = static_cast<const uint8_t*>(bytes);
    auto* out = static_cast<char*>(data);
    for (uint64_t i = 0; i < n; ++i) {
      const char d[2] = {kHex[src[i] >> 4], kHex[src[i] & 0xF]};
      for (int k = 0; k < 2; ++k) {
        const char16_t u = static_cast<char16_t>(d[k]);
        if (unit == 2) {
          std::memcpy(out + (2 * i + k) * 2, &u, 2);
        } else {
          out[2 * i + k] = d[k];
        }
      }
    }
    std::memset(out + 2 * n * unit, 0, unit);
  }
  if (used != nullptr) *used = n;
  return *err == ERR_TRUNCATED ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
