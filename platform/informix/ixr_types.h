// ixr_types.h -- Informix column types inside the embedded server: the type record that
// the catalog, the translator and the conversions share, how each type is stored in
// SQLite and its display width.
// Threading: pure functions.
#pragma once

#include "platform/informix/ixr_api.h"

#include <cstdint>
#include <string>

namespace ixr {

// An Informix type as syscolumns keeps it: code (low byte of coltype) and collength.
struct IxType {
  int16_t code = IXR_TYPE_CHAR;
  int32_t len = 1;
  bool notnull = false;
  bool operator==(const IxType& o) const { return code == o.code && len == o.len; }
};

// The type of a code without its flags (IXR_TYPE_NOTNULL).
inline int baseType(int code) { return code & IXR_TYPE_MASK; }

// How values of a type are kept in SQLite.
enum class Store {
  Int,       // SMALLINT, INTEGER, SERIAL, DATE (day count), INTERVAL (unit count)
  Real,      // FLOAT, SMALLFLOAT
  Text,      // character types and TEXT
  Decimal,   // DECIMAL, MONEY: canonical text, compared numerically
  DateTime,  // canonical text of the qualifier
  Blob       // BYTE
};

Store storeOf(int code);
bool isCharType(int code);     // CHAR, NCHAR, VARCHAR, NVARCHAR, LVARCHAR, TEXT
bool isPaddedChar(int code);   // CHAR, NCHAR: blank-padded to their length
bool isIntType(int code);      // SMALLINT, INTEGER, SERIAL
bool isNumericType(int code);  // the integer types, FLOAT, SMALLFLOAT, DECIMAL, MONEY
bool isDecimalType(int code);  // DECIMAL, MONEY
bool isBlobType(int code);     // BYTE, TEXT

IxType tChar(int n);
IxType tVarchar(int max, int min = 0);
IxType tLvarchar(int max);
IxType tSmallint();
IxType tInteger();
IxType tSerial();
IxType tFloat();
IxType tSmallfloat();
IxType tDecimal(int precision, int scale);
IxType tMoney(int precision, int scale);
IxType tDate();
IxType tDatetime(int qual);
IxType tInterval(int qual);
IxType tByte();
IxType tText();

// Maximum characters a character type holds (CHAR n, VARCHAR max, LVARCHAR n).
int charLength(const IxType& t);
int decPrecision(const IxType& t);
int decScale(const IxType& t);  // kDecFloating for a floating DECIMAL

// The collength written to syscolumns (LVARCHAR is the same; its code becomes 40).
int catalogCode(const IxType& t);
IxType fromCatalog(int coltype, int collength);

int displayWidth(int code, int32_t len);

// SQLite column declaration for a stored value (affinity and collation).
const char* sqliteDecl(const IxType& t);

}  // namespace ixr
