// e2e_convert_test.cpp -- what an application reads when it asks for a value of each
// Informix type as each C type: the value, the length, the answer and its SQLSTATE
// (range, assignment, truncation, restricted types), NULLs, numeric precision and
// scale from the row descriptor, and per-row outcomes of a block fetch; both builds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "e2e_db.h"

namespace {

constexpr SQLRETURN OK = SQL_SUCCESS, INFO = SQL_SUCCESS_WITH_INFO, ERR = SQL_ERROR;
constexpr SQLLEN kBig = 256;   // a buffer every value fits
constexpr SQLLEN kAny = -999;  // length not looked at

// Three rows: typical values, values at the edges of the targets, and NULLs. BYTE
// takes no literal, and text beyond ASCII would pass through the Driver Manager's
// conversion of the statement text; both are set through parameters.
constexpr const char* kColumns =
    "id INTEGER, si SMALLINT, i INTEGER, sr SERIAL, f FLOAT, sf SMALLFLOAT, d DECIMAL(12,3), "
    "m MONEY(8,2), c CHAR(12), nc NCHAR(12), vc VARCHAR(40), nvc NVARCHAR(40), lvc LVARCHAR(100), "
    "iv INTERVAL DAY TO SECOND, dt DATE, ts DATETIME YEAR TO FRACTION(5), tx TEXT, by BYTE";
constexpr const char* kRows[] = {
    "INSERT INTO conv (id, si, i, f, sf, d, m, c, nc, vc, nvc, lvc, iv, dt, ts, tx) VALUES "
    "(1, -1, 300, 127.9, 0.25, 12.25, 1234.5, '  -42', NULL, '1.5e3', NULL, "
    "'6F9619FF-8B86-D011-B42D-00C04FC964FF', '1 02:03:04', '2024-02-09', '2024-02-09 10:11:12.5', "
    "'hello' || ' text')",
    "INSERT INTO conv (id, si, i, f, sf, d, m, c, nc, vc, nvc, lvc, iv, dt, ts, tx) VALUES "
    "(2, 255, -2147483647, 1e300, -3.75, 0.29, -0.07, 'yes', '1', '42x', ' 7 ', 'not a guid', "
    "'-5 00:00:01', '0044-03-15', '1999-12-31 23:59:59', 'x' || 'y')",
    "INSERT INTO conv (id) VALUES (3)",
};

struct Case {
  const char* col;
  int row;
  SQLSMALLINT c;
  SQLLEN buf;
  SQLRETURN rc;
  const char* state;
  const char* value = "";
  SQLLEN len = kAny;
  // The Unicode build where it differs: text columns are UTF-16 there.
  const char* wValue = nullptr;
  SQLLEN wLen = kAny;
};

const Case kCases[] = {
    // SMALLINT -1 and 255: every target, with the limits of each.
    {"si", 1, SQL_C_CHAR, kBig, OK, "", "-1", 2},
    {"si", 1, SQL_C_CHAR, 2, ERR, "22003"},
    {"si", 2, SQL_C_CHAR, 3, ERR, "22003"},
    {"si", 1, SQL_C_WCHAR, kBig, OK, "", "-1", 4},
    {"si", 1, SQL_C_BIT, kBig, ERR, "22003"},
    {"si", 1, SQL_C_TINYINT, kBig, OK, "", "-1", 1},
    {"si", 1, SQL_C_STINYINT, kBig, OK, "", "-1", 1},
    {"si", 1, SQL_C_UTINYINT, kBig, ERR, "22003"},
    {"si", 2, SQL_C_UTINYINT, kBig, OK, "", "255", 1},
    {"si", 2, SQL_C_TINYINT, kBig, ERR, "22003"},
    {"si", 1, SQL_C_SHORT, kBig, OK, "", "-1", 2},
    {"si", 1, SQL_C_SSHORT, kBig, OK, "", "-1", 2},
    {"si", 1, SQL_C_USHORT, kBig, ERR, "22003"},
    {"si", 1, SQL_C_LONG, kBig, OK, "", "-1", 4},
    {"si", 1, SQL_C_SLONG, kBig, OK, "", "-1", 4},
    {"si", 1, SQL_C_ULONG, kBig, ERR, "22003"},
    {"si", 1, SQL_C_SBIGINT, kBig, OK, "", "-1", 8},
    {"si", 1, SQL_C_UBIGINT, kBig, ERR, "22003"},
    {"si", 1, SQL_C_FLOAT, kBig, OK, "", "-1", 4},
    {"si", 1, SQL_C_DOUBLE, kBig, OK, "", "-1", 8},
    {"si", 1, SQL_C_BINARY, kBig, OK, "", "FFFF", 2},
    {"si", 1, SQL_C_BINARY, 1, ERR, "22003"},
    {"si", 1, SQL_C_NUMERIC, kBig, OK, "", "5 0 - 1", 19},
    {"si", 1, SQL_C_GUID, kBig, ERR, "07006"},
    {"si", 1, SQL_C_TYPE_DATE, kBig, ERR, "07006"},
    {"si", 1, SQL_C_TYPE_TIME, kBig, ERR, "07006"},
    {"si", 1, SQL_C_TYPE_TIMESTAMP, kBig, ERR, "07006"},
    // INTEGER 300 and -2147483647.
    {"i", 1, SQL_C_CHAR, kBig, OK, "", "300", 3},
    {"i", 1, SQL_C_BIT, kBig, ERR, "22003"},
    {"i", 1, SQL_C_TINYINT, kBig, ERR, "22003"},
    {"i", 1, SQL_C_UTINYINT, kBig, ERR, "22003"},
    {"i", 1, SQL_C_USHORT, kBig, OK, "", "300", 2},
    {"i", 1, SQL_C_ULONG, kBig, OK, "", "300", 4},
    {"i", 1, SQL_C_UBIGINT, kBig, OK, "", "300", 8},
    {"i", 1, SQL_C_DOUBLE, kBig, OK, "", "300", 8},
    {"i", 1, SQL_C_BINARY, kBig, OK, "", "2C010000", 4},
    {"i", 1, SQL_C_NUMERIC, kBig, OK, "", "10 0 + 300", 19},
    {"i", 2, SQL_C_LONG, kBig, OK, "", "-2147483647", 4},
    {"i", 2, SQL_C_SHORT, kBig, ERR, "22003"},
    {"i", 2, SQL_C_ULONG, kBig, ERR, "22003"},
    {"i", 2, SQL_C_CHAR, 11, ERR, "22003"},
    {"i", 2, SQL_C_CHAR, 12, OK, "", "-2147483647", 11},
    {"i", 1, SQL_C_TYPE_TIMESTAMP, kBig, ERR, "07006"},
    {"sr", 1, SQL_C_BIT, kBig, OK, "", "1", 1},
    {"sr", 2, SQL_C_CHAR, kBig, OK, "", "2", 1},
    // FLOAT 127.9 and 1e300: a lost fraction warns, lost whole digits fail.
    {"f", 1, SQL_C_CHAR, kBig, OK, "", "127.9", 5},
    {"f", 1, SQL_C_WCHAR, kBig, OK, "", "127.9", 10},
    {"f", 1, SQL_C_BIT, kBig, ERR, "22003"},
    {"f", 1, SQL_C_TINYINT, kBig, INFO, "01S07", "127", 1},
    {"f", 1, SQL_C_SHORT, kBig, INFO, "01S07", "127", 2},
    {"f", 1, SQL_C_LONG, kBig, INFO, "01S07", "127", 4},
    {"f", 1, SQL_C_SBIGINT, kBig, INFO, "01S07", "127", 8},
    {"f", 1, SQL_C_UBIGINT, kBig, INFO, "01S07", "127", 8},
    {"f", 1, SQL_C_FLOAT, kBig, OK, "", "127.900002", 4},
    {"f", 1, SQL_C_DOUBLE, kBig, OK, "", "127.90000000000001", 8},
    {"f", 1, SQL_C_BINARY, kBig, OK, "", "9A99999999F95F40", 8},
    {"f", 1, SQL_C_NUMERIC, kBig, INFO, "01S07", "15 0 + 128", 19},
    {"f", 1, SQL_C_TYPE_DATE, kBig, ERR, "07006"},
    {"f", 2, SQL_C_CHAR, kBig, OK, "", "1e+300", 6},
    {"f", 2, SQL_C_FLOAT, kBig, ERR, "22003"},
    {"f", 2, SQL_C_LONG, kBig, ERR, "22003"},
    {"f", 2, SQL_C_NUMERIC, kBig, ERR, "22003"},
    // SMALLFLOAT 0.25 and -3.75.
    {"sf", 1, SQL_C_CHAR, kBig, OK, "", "0.25", 4},
    {"sf", 1, SQL_C_DOUBLE, kBig, OK, "", "0.25", 8},
    {"sf", 1, SQL_C_BINARY, kBig, OK, "", "0000803E", 4},
    {"sf", 1, SQL_C_BIT, kBig, INFO, "01S07", "0", 1},
    {"sf", 2, SQL_C_BIT, kBig, ERR, "22003"},
    {"sf", 2, SQL_C_CHAR, kBig, OK, "", "-3.75", 5},
    {"sf", 2, SQL_C_SHORT, kBig, INFO, "01S07", "-3", 2},
    {"sf", 2, SQL_C_USHORT, kBig, ERR, "22003"},
    {"sf", 2, SQL_C_TYPE_TIME, kBig, ERR, "07006"},
    // DECIMAL 12.250 and 0.290 arrive as text; integer targets drop the fraction with 01S07.
    {"d", 1, SQL_C_CHAR, kBig, OK, "", "12.250", 6},
    {"d", 1, SQL_C_CHAR, 4, INFO, "01004", "12.", 6},
    {"d", 1, SQL_C_WCHAR, kBig, OK, "", "12.250", 12},
    {"d", 1, SQL_C_SHORT, kBig, INFO, "01S07", "12", 2},
    {"d", 1, SQL_C_LONG, kBig, INFO, "01S07", "12", 4},
    {"d", 1, SQL_C_UBIGINT, kBig, INFO, "01S07", "12", 8},
    {"d", 1, SQL_C_BIT, kBig, ERR, "22003"},
    {"d", 1, SQL_C_FLOAT, kBig, OK, "", "12.25", 4},
    {"d", 1, SQL_C_DOUBLE, kBig, OK, "", "12.25", 8},
    {"d", 1, SQL_C_BINARY, kBig, OK, "", "31322E323530", 6},
    {"d", 1, SQL_C_GUID, kBig, ERR, "22026"},
    {"d", 1, SQL_C_TYPE_DATE, kBig, ERR, "22018"},
    {"d", 2, SQL_C_LONG, kBig, INFO, "01S07", "0", 4},
    // MONEY 1234.50 and -0.07.
    {"m", 1, SQL_C_CHAR, kBig, OK, "", "1234.50", 7},
    {"m", 1, SQL_C_DOUBLE, kBig, OK, "", "1234.5", 8},
    {"m", 1, SQL_C_LONG, kBig, INFO, "01S07", "1234", 4},
    {"m", 1, SQL_C_TINYINT, kBig, ERR, "22003"},
    {"m", 2, SQL_C_CHAR, kBig, OK, "", "-0.07", 5},
    {"m", 2, SQL_C_DOUBLE, kBig, OK, "", "-0.070000000000000007", 8},
    // CHAR '  -42' and 'yes': numbers parse around blanks, text never becomes a date.
    {"c", 1, SQL_C_CHAR, kBig, OK, "", "  -42", 5},
    {"c", 1, SQL_C_CHAR, 3, INFO, "01004", "  ", 5},
    {"c", 1, SQL_C_SHORT, kBig, OK, "", "-42", 2},
    {"c", 1, SQL_C_USHORT, kBig, ERR, "22003"},
    {"c", 1, SQL_C_LONG, kBig, OK, "", "-42", 4},
    {"c", 1, SQL_C_DOUBLE, kBig, OK, "", "-42", 8},
    {"c", 1, SQL_C_BIT, kBig, ERR, "22003"},
    {"c", 1, SQL_C_NUMERIC, kBig, OK, "", "2 0 - 42", 19},
    {"c", 1, SQL_C_BINARY, kBig, OK, "", "20202D3432", 5, "200020002D0034003200", 10},
    {"c", 1, SQL_C_GUID, kBig, ERR, "22026"},
    {"c", 1, SQL_C_TYPE_DATE, kBig, ERR, "22018"},
    {"c", 1, SQL_C_TYPE_TIMESTAMP, kBig, ERR, "22018"},
    {"c", 2, SQL_C_BIT, kBig, ERR, "22018"},
    {"c", 2, SQL_C_LONG, kBig, ERR, "22018"},
    // NCHAR 'Füße' and '1': lengths count bytes of UTF-8 and of UTF-16.
    {"nc", 1, SQL_C_CHAR, kBig, OK, "", "Füße", 6},
    {"nc", 1, SQL_C_WCHAR, kBig, OK, "", "Füße", 8},
    {"nc", 1, SQL_C_CHAR, 4, INFO, "01004", "Fü", 6},
    {"nc", 2, SQL_C_BIT, kBig, OK, "", "1", 1},
    {"nc", 2, SQL_C_LONG, kBig, OK, "", "1", 4},
    // VARCHAR '1.5e3' and '42x'.
    {"vc", 1, SQL_C_CHAR, kBig, OK, "", "1.5e3", 5},
    {"vc", 1, SQL_C_LONG, kBig, OK, "", "1500", 4},
    {"vc", 1, SQL_C_SHORT, kBig, OK, "", "1500", 2},
    {"vc", 1, SQL_C_DOUBLE, kBig, OK, "", "1500", 8},
    {"vc", 1, SQL_C_TINYINT, kBig, ERR, "22003"},
    {"vc", 2, SQL_C_LONG, kBig, ERR, "22018"},
    {"vc", 2, SQL_C_SHORT, kBig, ERR, "22018"},
    {"vc", 2, SQL_C_DOUBLE, kBig, ERR, "22018"},
    // NVARCHAR with a character outside the Basic Multilingual Plane, and ' 7 '.
    {"nvc", 1, SQL_C_CHAR, kBig, OK, "", "Grüße \xF0\x9F\x98\x80", 12},
    {"nvc", 1, SQL_C_WCHAR, kBig, OK, "", "Grüße \xF0\x9F\x98\x80", 16},
    {"nvc", 1, SQL_C_CHAR, 9, INFO, "01004", "Grüße ", 12},
    {"nvc", 1, SQL_C_WCHAR, 10, INFO, "01004", "Grüß", 16},
    {"nvc", 1, SQL_C_BINARY, kBig, OK, "", "4772C3BCC39F6520F09F9880", 12,
     "47007200FC00DF00650020003DD800DE", 16},
    {"nvc", 2, SQL_C_LONG, kBig, OK, "", "7", 4},
    {"nvc", 2, SQL_C_TINYINT, kBig, OK, "", "7", 1},
    // LVARCHAR holding a GUID, and other text.
    {"lvc", 1, SQL_C_GUID, kBig, OK, "", "6F9619FF-8B86-D011-B42D-00C04FC964FF", 16},
    {"lvc", 1, SQL_C_CHAR, kBig, OK, "", "6F9619FF-8B86-D011-B42D-00C04FC964FF", 36},
    {"lvc", 2, SQL_C_GUID, kBig, ERR, "22026"},
    // INTERVAL arrives as its text.
    {"iv", 1, SQL_C_CHAR, kBig, OK, "", "1 02:03:04", 10},
    {"iv", 1, SQL_C_WCHAR, kBig, OK, "", "1 02:03:04", 20},
    {"iv", 1, SQL_C_LONG, kBig, ERR, "22018"},
    {"iv", 1, SQL_C_TYPE_TIME, kBig, ERR, "22018"},
    // DATE 2024-02-09 and 0044-03-15: date text is never cut.
    {"dt", 1, SQL_C_CHAR, kBig, OK, "", "2024-02-09", 10},
    {"dt", 1, SQL_C_CHAR, 10, ERR, "22003"},
    {"dt", 1, SQL_C_WCHAR, kBig, OK, "", "2024-02-09", 20},
    {"dt", 1, SQL_C_WCHAR, 20, ERR, "22003"},
    {"dt", 1, SQL_C_TYPE_DATE, kBig, OK, "", "2024-02-09", 6},
    {"dt", 1, SQL_C_TYPE_TIMESTAMP, kBig, OK, "", "2024-02-09 00:00:00.000000000", 16},
    {"dt", 1, SQL_C_TYPE_TIME, kBig, ERR, "07006"},
    {"dt", 1, SQL_C_BINARY, kBig, OK, "", "E80702000900", 6},
    {"dt", 1, SQL_C_LONG, kBig, ERR, "07006"},
    {"dt", 1, SQL_C_DOUBLE, kBig, ERR, "07006"},
    {"dt", 1, SQL_C_GUID, kBig, ERR, "07006"},
    {"dt", 2, SQL_C_CHAR, kBig, OK, "", "0044-03-15", 10},
    // DATETIME YEAR TO FRACTION(5): five fraction digits as text; parts left behind warn.
    {"ts", 1, SQL_C_CHAR, kBig, OK, "", "2024-02-09 10:11:12.50000", 25},
    {"ts", 1, SQL_C_CHAR, 20, INFO, "01004", "2024-02-09 10:11:12", 25},
    {"ts", 1, SQL_C_WCHAR, kBig, OK, "", "2024-02-09 10:11:12.50000", 50},
    {"ts", 1, SQL_C_TYPE_TIMESTAMP, kBig, OK, "", "2024-02-09 10:11:12.500000000", 16},
    {"ts", 1, SQL_C_TYPE_DATE, kBig, INFO, "01S07", "2024-02-09", 6},
    {"ts", 1, SQL_C_TYPE_TIME, kBig, INFO, "01S07", "10:11:12", 6},
    {"ts", 2, SQL_C_TYPE_TIME, kBig, OK, "", "23:59:59", 6},
    {"ts", 1, SQL_C_BINARY, kBig, OK, "", "E807020009000A000B000C000065CD1D", 16},
    {"ts", 1, SQL_C_LONG, kBig, ERR, "07006"},
    {"ts", 2, SQL_C_CHAR, kBig, OK, "", "1999-12-31 23:59:59.00000", 25},
    // TEXT 'hello text'.
    {"tx", 1, SQL_C_CHAR, kBig, OK, "", "hello text", 10},
    {"tx", 1, SQL_C_CHAR, 6, INFO, "01004", "hello", 10},
    {"tx", 1, SQL_C_WCHAR, kBig, OK, "", "hello text", 20},
    {"tx", 1, SQL_C_BINARY, kBig, OK, "", "68656C6C6F2074657874", 10,
     "680065006C006C006F0020007400650078007400", 20},
    {"tx", 1, SQL_C_LONG, kBig, ERR, "22018"},
    {"tx", 1, SQL_C_TYPE_DATE, kBig, ERR, "22018"},
    // BYTE 0A FF and 00 .. 13: hex text for character targets.
    {"by", 1, SQL_C_CHAR, kBig, OK, "", "0AFF", 4},
    {"by", 1, SQL_C_CHAR, 4, INFO, "01004", "0A", 4},
    {"by", 1, SQL_C_WCHAR, kBig, OK, "", "0AFF", 8},
    {"by", 1, SQL_C_BINARY, kBig, OK, "", "0AFF", 2},
    {"by", 1, SQL_C_BINARY, 1, INFO, "01004", "0A", 2},
    {"by", 1, SQL_C_LONG, kBig, ERR, "07006"},
    {"by", 1, SQL_C_DOUBLE, kBig, ERR, "07006"},
    {"by", 1, SQL_C_TYPE_DATE, kBig, ERR, "07006"},
    {"by", 2, SQL_C_BINARY, kBig, OK, "", "000102030405060708090A0B0C0D0E0F10111213", 20},
    {"by", 2, SQL_C_CHAR, 11, INFO, "01004", "0001020304", 40},
};

std::string Hex(const unsigned char* p, size_t n) {
  std::string s;
  char h[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(h, sizeof h, "%02X", p[i]);
    s += h;
  }
  return s;
}

std::string Utf8(const char16_t* p, size_t units) {
  std::string s;
  for (size_t i = 0; i < units; ++i) {
    char32_t c = p[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units)
      c = 0x10000 + ((c - 0xD800) << 10) + (p[++i] - 0xDC00);
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0x800) {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += static_cast<char>(0xE0 | (c >> 12));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (c >> 18));
      s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return s;
}

template <typename T>
std::string Num(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return std::to_string(v);
}

// The value of a target buffer, written the way the cases spell it.
std::string Render(SQLSMALLINT c, const unsigned char* p, SQLLEN ind, SQLLEN buf) {
  char out[64];
  switch (c) {
    case SQL_C_CHAR:
      return std::string(reinterpret_cast<const char*>(p), strnlen((const char*)p, buf));
    case SQL_C_WCHAR: {
      size_t n = 0;
      while (2 * n + 1 < static_cast<size_t>(buf) && (p[2 * n] != 0 || p[2 * n + 1] != 0)) ++n;
      std::u16string units(n, u'\0');
      std::memcpy(units.data(), p, 2 * n);
      return Utf8(units.data(), n);
    }
    case SQL_C_BINARY: return Hex(p, static_cast<size_t>(std::min(ind, buf)));
    case SQL_C_BIT:
    case SQL_C_UTINYINT: return std::to_string(p[0]);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return std::to_string(static_cast<signed char>(p[0]));
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return Num<int16_t>(p);
    case SQL_C_USHORT: return Num<uint16_t>(p);
    case SQL_C_LONG:
    case SQL_C_SLONG: return Num<int32_t>(p);
    case SQL_C_ULONG: return Num<uint32_t>(p);
    case SQL_C_SBIGINT: return Num<int64_t>(p);
    case SQL_C_UBIGINT: return Num<uint64_t>(p);
    case SQL_C_FLOAT: {
      float f;
      std::memcpy(&f, p, 4);
      std::snprintf(out, sizeof out, "%.9g", f);
      return out;
    }
    case SQL_C_DOUBLE: {
      double d;
      std::memcpy(&d, p, 8);
      std::snprintf(out, sizeof out, "%.17g", d);
      return out;
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT n;
      std::memcpy(&n, p, sizeof n);
      unsigned __int128 m = 0;
      for (int i = 15; i >= 0; --i) m = m << 8 | n.val[i];
      std::string digits;
      do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
      } while (m != 0);
      return std::to_string(n.precision) + " " + std::to_string(n.scale) + " " +
             (n.sign ? "+" : "-") + " " + digits;
    }
    case SQL_C_GUID: {
      SQLGUID g;
      std::memcpy(&g, p, sizeof g);
      std::snprintf(out, sizeof out, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1,
                    g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                    g.Data4[5], g.Data4[6], g.Data4[7]);
      return out;
    }
    case SQL_C_TYPE_DATE: {
      SQL_DATE_STRUCT d;
      std::memcpy(&d, p, sizeof d);
      std::snprintf(out, sizeof out, "%04d-%02u-%02u", d.year, d.month, d.day);
      return out;
    }
    case SQL_C_TYPE_TIME: {
      SQL_TIME_STRUCT t;
      std::memcpy(&t, p, sizeof t);
      std::snprintf(out, sizeof out, "%02u:%02u:%02u", t.hour, t.minute, t.second);
      return out;
    }
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT t;
      std::memcpy(&t, p, sizeof t);
      std::snprintf(out, sizeof out, "%04d-%02u-%02u %02u:%02u:%02u.%09u", t.year, t.month, t.day,
                    t.hour, t.minute, t.second, static_cast<unsigned>(t.fraction));
      return out;
    }
    default: return "?";
  }
}

class Convert : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Recreate("conv", kColumns));
    for (const char* row : kRows) ASSERT_TRUE(Exec(row));
    unsigned char bytes[20];
    for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>(i);
    const unsigned char two[] = {0x0A, 0xFF};
    for (int id : {1, 2}) {
      SQLLEN len = id == 1 ? 2 : 20;
      SQLINTEGER key = id;
      ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 100, 0,
                                 (SQLPOINTER)(id == 1 ? two : bytes), len, &len),
                SQL_SUCCESS);
      ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &key, 0,
                                 nullptr),
                SQL_SUCCESS);
      ASSERT_TRUE(Exec("UPDATE conv SET by = ? WHERE id = ?"));
    }
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
    for (const auto& [col, text] :
         {std::pair{"nc", u"Füße"}, std::pair{"nvc", u"Grüße \U0001F600"}}) {
      std::u16string value(text);
      SQLLEN len = static_cast<SQLLEN>(2 * value.size());
      ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0,
                                 value.data(), len, &len),
                SQL_SUCCESS);
      ASSERT_TRUE(Exec(std::string("UPDATE conv SET ") + col + " = ? WHERE id = 1"));
      ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
    }
  }

  // Positions the statement on one column of one row.
  void Select(const std::string& col, int row) {
    std::string sql = "SELECT " + col + " FROM conv WHERE id = " + std::to_string(row);
    ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS)
        << Diags(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
  }
};

TEST_P(Convert, EveryTypeToEveryCType) {
  for (const Case& k : kCases) {
    SCOPED_TRACE(std::string(k.col) + " row " + std::to_string(k.row) + " C type " +
                 std::to_string(k.c) + " buffer " + std::to_string(k.buf));
    Select(k.col, k.row);
    if (HasFatalFailure()) return;
    unsigned char buf[kBig];
    std::memset(buf, 0x7F, sizeof buf);
    SQLLEN ind = kAny;
    SQLRETURN rc = SQLGetData(stmt_, 1, k.c, buf, k.buf, &ind);
    EXPECT_EQ(rc, k.rc) << Diags(SQL_HANDLE_STMT, stmt_);
    if (*k.state != '\0') {
      EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), k.state) << Diags(SQL_HANDLE_STMT, stmt_);
    }
    if (rc != ERR && k.rc != ERR) {
      bool w = Wide() && k.wValue != nullptr;
      EXPECT_EQ(Render(k.c, buf, ind, k.buf), w ? k.wValue : k.value);
      EXPECT_EQ(ind, w ? k.wLen : k.len);
    }
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
}

// A NULL sets the indicator and clears the target; without an indicator it is an error.
TEST_P(Convert, NullNeedsAnIndicator) {
  for (const char* col : {"si", "i", "f", "sf", "d", "m", "c", "nc", "vc", "nvc", "lvc", "iv", "dt",
                          "ts", "tx", "by"}) {
    SCOPED_TRACE(col);
    for (SQLSMALLINT c : {SQL_C_CHAR, SQL_C_DOUBLE}) {
      Select(col, 3);
      if (HasFatalFailure()) return;
      unsigned char buf[16];
      std::memset(buf, 0x7F, sizeof buf);
      SQLLEN ind = 0;
      EXPECT_EQ(SQLGetData(stmt_, 1, c, buf, sizeof buf, &ind), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(ind, SQL_NULL_DATA);
      EXPECT_EQ(Render(c, buf, 0, sizeof buf), c == SQL_C_CHAR ? "" : "0");
      ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    }
    Select(col, 3);
    if (HasFatalFailure()) return;
    char buf[16];
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, nullptr), SQL_ERROR);
    EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "22002");
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
  }
}

// SQL_C_NUMERIC takes its precision and scale from the row descriptor when asked
// with SQL_ARD_TYPE; the digits survive exactly (0.29 stays 29 hundredths).
TEST_P(Convert, NumericScaleFromTheRowDescriptor) {
  struct {
    int row;
    SQLSMALLINT precision, scale;
    const char* value;
  } cases[] = {{1, 12, 3, "12 3 + 12250"}, {2, 5, 2, "5 2 + 29"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.value);
    Select("d", k.row);
    if (HasFatalFailure()) return;
    SQLHDESC ard = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0), SQL_SUCCESS)
        << Diags(SQL_HANDLE_DESC, ard);
    ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_PRECISION, (SQLPOINTER)(intptr_t)k.precision, 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_SCALE, (SQLPOINTER)(intptr_t)k.scale, 0),
              SQL_SUCCESS);
    unsigned char buf[32];
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt_, 1, SQL_ARD_TYPE, buf, sizeof buf, &ind);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diags(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(Render(SQL_C_NUMERIC, buf, ind, sizeof buf), k.value);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt_, SQL_UNBIND), SQL_SUCCESS);
  }
}

// In a block, a row whose conversion fails is marked SQL_ROW_ERROR and the others
// are delivered; a warning in one column marks its row even when a later column
// of the row converts cleanly.
TEST_P(Convert, BlockFetchMarksEachRowByItsConversions) {
  SQLINTEGER d[3] = {}, vc[3] = {};
  SQLLEN dInd[3] = {}, vcInd[3] = {};
  SQLUSMALLINT status[3] = {};
  SQLULEN fetched = 0;
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT d, vc FROM conv ORDER BY id", SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQLBindCol(stmt_, 1, SQL_C_LONG, d, 0, dInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(stmt_, 2, SQL_C_LONG, vc, 0, vcInd), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt_), SQL_SUCCESS_WITH_INFO) << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(status[0], SQL_ROW_SUCCESS_WITH_INFO);
  EXPECT_EQ(status[1], SQL_ROW_ERROR);
  EXPECT_EQ(status[2], SQL_ROW_SUCCESS);
  EXPECT_EQ(d[0], 12);
  EXPECT_EQ(vc[0], 1500);
  EXPECT_EQ(dInd[2], SQL_NULL_DATA);
  EXPECT_EQ(vcInd[2], SQL_NULL_DATA);
  EXPECT_EQ(State(SQL_HANDLE_STMT, stmt_), "22018") << Diags(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
}

// Applications size text buffers by the display size (Perl's DBD::ODBC and PHP's
// odbc functions do): the longest text of a FLOAT and of a SMALLFLOAT fits it
// whole and reads back as the value stored.
TEST_P(Convert, FloatingTextFitsTheDisplaySize) {
  ASSERT_TRUE(Recreate("flt", "f FLOAT, sf SMALLFLOAT"));
  const double f = -1.0012832363275973e-308;
  const float sf = -1.00933085e-36f;
  ASSERT_EQ(SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0,
                             (SQLPOINTER)&f, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_FLOAT, SQL_REAL, 7, 0,
                             (SQLPOINTER)&sf, 0, nullptr),
            SQL_SUCCESS);
  ASSERT_TRUE(Exec("INSERT INTO flt VALUES (?, ?)"));
  ASSERT_TRUE(Exec("INSERT INTO flt VALUES (4.6, 4.6)"));
  ASSERT_EQ(SQLFreeStmt(stmt_, SQL_RESET_PARAMS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt_, (SQLCHAR*)"SELECT f, sf FROM flt ORDER BY f", SQL_NTS),
            SQL_SUCCESS)
      << Diags(SQL_HANDLE_STMT, stmt_);
  SQLLEN size[2] = {};
  for (SQLUSMALLINT col : {1, 2})
    ASSERT_EQ(
        SQLColAttribute(stmt_, col, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &size[col - 1]),
        SQL_SUCCESS);
  EXPECT_EQ(size[0], 24);
  EXPECT_EQ(size[1], 15);
  const char* want[2][2] = {{"-1.0012832363275973e-308", "-1.00933085e-36"}, {"4.6", "4.6"}};
  for (const auto& row : want) {
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS) << Diags(SQL_HANDLE_STMT, stmt_);
    for (SQLUSMALLINT col : {1, 2}) {
      char buf[64] = {};
      SQLLEN ind = 0;
      EXPECT_EQ(SQLGetData(stmt_, col, SQL_C_CHAR, buf, size[col - 1] + 1, &ind), SQL_SUCCESS)
          << Diags(SQL_HANDLE_STMT, stmt_);
      EXPECT_STREQ(buf, row[col - 1]);
    }
  }
}

KES_E2E_BUILDS(Convert);

}  // namespace
