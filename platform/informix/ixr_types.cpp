// ixr_types.cpp -- Informix type records, storage classes, widths and names.
// Threading: pure functions.
#include "platform/informix/ixr_types.h"

#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_decimal.h"

namespace ixr {

Store storeOf(int code) {
  switch (baseType(code)) {
    case IXR_TYPE_SMALLINT:
    case IXR_TYPE_INTEGER:
    case IXR_TYPE_SERIAL:
    case IXR_TYPE_DATE:
    case IXR_TYPE_INTERVAL: return Store::Int;
    case IXR_TYPE_FLOAT:
    case IXR_TYPE_SMALLFLOAT: return Store::Real;
    case IXR_TYPE_DECIMAL:
    case IXR_TYPE_MONEY: return Store::Decimal;
    case IXR_TYPE_DATETIME: return Store::DateTime;
    case IXR_TYPE_BYTE: return Store::Blob;
    default: return Store::Text;
  }
}

bool isCharType(int code) {
  switch (baseType(code)) {
    case IXR_TYPE_CHAR:
    case IXR_TYPE_NCHAR:
    case IXR_TYPE_VARCHAR:
    case IXR_TYPE_NVARCHAR:
    case IXR_TYPE_LVARCHAR:
    case IXR_TYPE_LVARCHAR_CATALOG:
    case IXR_TYPE_TEXT: return true;
    default: return false;
  }
}

bool isPaddedChar(int code) {
  int c = baseType(code);
  return c == IXR_TYPE_CHAR || c == IXR_TYPE_NCHAR;
}

bool isIntType(int code) {
  int c = baseType(code);
  return c == IXR_TYPE_SMALLINT || c == IXR_TYPE_INTEGER || c == IXR_TYPE_SERIAL;
}

bool isDecimalType(int code) {
  int c = baseType(code);
  return c == IXR_TYPE_DECIMAL || c == IXR_TYPE_MONEY;
}

bool isNumericType(int code) {
  int c = baseType(code);
  return isIntType(c) || isDecimalType(c) || c == IXR_TYPE_FLOAT || c == IXR_TYPE_SMALLFLOAT;
}

bool isBlobType(int code) {
  int c = baseType(code);
  return c == IXR_TYPE_BYTE || c == IXR_TYPE_TEXT;
}

IxType tChar(int n) { return {IXR_TYPE_CHAR, n}; }
IxType tVarchar(int max, int min) { return {IXR_TYPE_VARCHAR, (min << 8) | max}; }
IxType tLvarchar(int max) { return {IXR_TYPE_LVARCHAR, max}; }
IxType tSmallint() { return {IXR_TYPE_SMALLINT, 2}; }
IxType tInteger() { return {IXR_TYPE_INTEGER, 4}; }
IxType tSerial() { return {IXR_TYPE_SERIAL, 4}; }
IxType tFloat() { return {IXR_TYPE_FLOAT, 8}; }
IxType tSmallfloat() { return {IXR_TYPE_SMALLFLOAT, 4}; }
IxType tDecimal(int p, int s) { return {IXR_TYPE_DECIMAL, (p << 8) | s}; }
IxType tMoney(int p, int s) { return {IXR_TYPE_MONEY, (p << 8) | s}; }
IxType tDate() { return {IXR_TYPE_DATE, 4}; }
IxType tDatetime(int q) { return {IXR_TYPE_DATETIME, q}; }
IxType tInterval(int q) { return {IXR_TYPE_INTERVAL, q}; }
IxType tByte() { return {IXR_TYPE_BYTE, 56}; }
IxType tText() { return {IXR_TYPE_TEXT, 56}; }

int charLength(const IxType& t) {
  switch (baseType(t.code)) {
    case IXR_TYPE_VARCHAR:
    case IXR_TYPE_NVARCHAR: return t.len & 0xFF;
    case IXR_TYPE_TEXT: return 0x7FFFFFFF;
    default: return t.len;
  }
}

int decPrecision(const IxType& t) { return (t.len >> 8) & 0xFF; }
int decScale(const IxType& t) { return t.len & 0xFF; }

int catalogCode(const IxType& t) {
  int c = baseType(t.code);
  if (c == IXR_TYPE_LVARCHAR) c = IXR_TYPE_LVARCHAR_CATALOG;
  return c | (t.notnull ? IXR_TYPE_NOTNULL : 0);
}

IxType fromCatalog(int coltype, int collength) {
  IxType t;
  t.code = static_cast<int16_t>(baseType(coltype));
  if (t.code == IXR_TYPE_LVARCHAR_CATALOG) t.code = IXR_TYPE_LVARCHAR;
  t.notnull = (coltype & IXR_TYPE_NOTNULL) != 0;
  // collength is a SMALLINT in the catalog: lengths above 32767 come back negative.
  t.len = collength < 0 ? collength + 65536 : collength;
  return t;
}

int displayWidth(int code, int32_t len) {
  switch (baseType(code)) {
    case IXR_TYPE_CHAR:
    case IXR_TYPE_NCHAR:
    case IXR_TYPE_LVARCHAR:
    case IXR_TYPE_LVARCHAR_CATALOG: return len;
    case IXR_TYPE_VARCHAR:
    case IXR_TYPE_NVARCHAR: return len & 0xFF;
    case IXR_TYPE_SMALLINT: return 6;
    case IXR_TYPE_INTEGER:
    case IXR_TYPE_SERIAL: return 11;
    case IXR_TYPE_FLOAT: return 17;
    case IXR_TYPE_SMALLFLOAT: return 14;
    case IXR_TYPE_DECIMAL:
    case IXR_TYPE_MONEY: {
      int p = (len >> 8) & 0xFF, s = len & 0xFF;
      // sign, point and a leading zero; a floating value may need an exponent too.
      if (s == kDecFloating) return p + 8;
      return p + (s == p ? 4 : 3) + (baseType(code) == IXR_TYPE_MONEY ? 1 : 0);
    }
    case IXR_TYPE_DATE: return 10;
    case IXR_TYPE_DATETIME: return qualTextLength(len, false);
    case IXR_TYPE_INTERVAL: return qualTextLength(len, true);
    case IXR_TYPE_BYTE:
    case IXR_TYPE_TEXT: return 0x7FFFFFF8;
    default: return len;
  }
}

const char* sqliteDecl(const IxType& t) {
  switch (storeOf(t.code)) {
    case Store::Int: return "INTEGER";
    case Store::Real: return "REAL";
    case Store::Decimal: return "TEXT COLLATE IXDEC";
    case Store::DateTime: return "TEXT";
    case Store::Blob: return "BLOB";
    case Store::Text: return baseType(t.code) == IXR_TYPE_TEXT ? "TEXT" : "TEXT COLLATE RTRIM";
  }
  return "TEXT";
}

}  // namespace ixr

extern "C" int ixr_display_width(int type, int32_t length) {
  return ixr::displayWidth(type, length);
}
