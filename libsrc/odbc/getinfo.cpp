// getinfo.cpp -- SQLGetInfo and SQLGetFunctions.
// The connection's three caches hold every back-end answer (except the current
// database, which can change) until the connection disconnects; a failed
// back-end call caches nothing. The conversion items are computed from the
// back end's conversion table unless the back end answers them itself.
// Threading: under the connection's call lock, which guards the caches.

#include "odbc/getinfo.h"

#include <sqlucode.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/envr.h"
#include "odbc/strout.h"

namespace {

// ---- Supported functions -----------------------------------------------------

constexpr uint16_t kFunctions[] = {
    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    16,   17,   18,   19,   20,   21,   22,   23,   24,   40,   41,   42,   43,   44,   45,
    46,   47,   48,   49,   50,   51,   52,   53,   54,   56,   58,   59,   60,   61,   62,
    63,   64,   65,   66,   67,   68,   70,   72,   1001, 1003, 1004, 1005, 1006, 1007, 1008,
    1009, 1010, 1011, 1012, 1014, 1016, 1017, 1018, 1019, 1020, 1021};

constexpr int kOdbc2Size = 100;
constexpr int kOdbc3Size = SQL_API_ODBC3_ALL_FUNCTIONS_SIZE;
static_assert(kOdbc3Size == 250);

struct FunctionSets {
  uint16_t odbc2[kOdbc2Size];
  uint16_t odbc3[kOdbc3Size];
};

constexpr FunctionSets build_function_sets() {
  FunctionSets s{};
  for (uint16_t id : kFunctions) {
    if (id < kOdbc2Size) s.odbc2[id] = 1;
    s.odbc3[id / 16] = static_cast<uint16_t>(s.odbc3[id / 16] | (1u << (id % 16)));
  }
  return s;
}
constexpr FunctionSets kFunctionSets = build_function_sets();
static_assert(kFunctionSets.odbc2[SQL_API_SQLBULKOPERATIONS] == 1);
static_assert((kFunctionSets.odbc3[1002 / 16] & (1u << (1002 % 16))) == 0);

// ---- GetInfo items -------------------------------------------------------------

constexpr uint16_t kStringItems[] = {6,  7,  10, 11, 13,  14,  17,  18,    19,    20,    21,   25,
                                     27, 29, 36, 37, 38,  39,  40,  41,    42,    45,    47,   73,
                                     87, 89, 90, 94, 103, 111, 113, 10000, 10002, 10003, 10004};
constexpr uint16_t kShortItems[] = {0,  1,  12,  15,  22,  23,  24,  28,  30,   31, 32,
                                    33, 34, 35,  46,  74,  75,  84,  85,  88,   93, 97,
                                    98, 99, 100, 101, 106, 107, 114, 116, 10005};
// SQL_OJ_CAPABILITIES' ODBC 2 number (65003) shares the slot of 115.
constexpr uint16_t kIntItems[] = {
    3, 4, 5, 8, 26, 43, 44, 48, 49, 50, 51, 52, 72, 76, 78, 79, 80, 81, 82, 83, 86, 91, 92, 95, 96,
    102, 104, 105, 108, 109, 110, 112, 115, 117, 118, 119, 120, 121, 123, 124, 127, 128, 129, 130,
    131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149,
    150, 151, 152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168,
    169, 170, 172, 10001, 10021,
    // ODBC defines it as 32 bits wide.
    10022,
    // The conversion items, cached when the back end answers them.
    53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 122, 125, 126};

// Slot numbers start at 1 and must stay inside the connection's caches.
static_assert(std::size(kStringItems) < CONN_INFO_STRS);
static_assert(std::size(kShortItems) < CONN_INFO_SHORTS);
static_assert(std::size(kIntItems) < CONN_INFO_INTS);

constexpr uint16_t kOjOdbc2 = 65003;

template <size_t N>
int slot_of(const uint16_t (&items)[N], uint16_t t) {
  for (size_t i = 0; i < N; ++i)
    if (items[i] == t) return static_cast<int>(i) + 1;
  return 0;
}

bool is_conversion_item(uint16_t t) {
  return (t >= SQL_CONVERT_BIGINT && t <= SQL_CONVERT_LONGVARBINARY) || t == SQL_CONVERT_WCHAR ||
         t == SQL_CONVERT_WLONGVARCHAR || t == SQL_CONVERT_WVARCHAR;
}

// Items whose ODBC type is pointer-sized: they are written as 64 bits.
bool is_handle_item(uint16_t t) {
  return t == SQL_DRIVER_HDBC || t == SQL_DRIVER_HENV || t == SQL_DRIVER_HSTMT ||
         t == SQL_DRIVER_HLIB || t == SQL_DRIVER_HDESC;
}

SQLRETURN fail(Conn* conn, int32_t code) {
  conn->errCode = code;
  return SQL_ERROR;
}

SQLRETURN text_result(Conn* conn, int cut) {
  if (cut == 0) return SQL_SUCCESS;
  conn->errCode = ERR_TRUNCATED;
  return SQL_SUCCESS_WITH_INFO;
}

int16_t length16(int64_t n) { return static_cast<int16_t>(std::min<int64_t>(n, INT16_MAX)); }

SQLRETURN text_out(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen,
                   char form) {
  int64_t full = 0;
  int cut = StrOutText(text, buf, len, form, &full);
  if (outLen != nullptr) *outLen = length16(full);
  return text_result(conn, cut);
}

int32_t ask_int(Conn* conn, uint16_t t, int32_t* v) {
  uint16_t len = 0;
  return conn->driver.ops->DRV_GetInfo(conn->cn_hConn, DRVP_GETINFO_INT + t, v, 4, &len);
}

// The back end's 32-bit answer to item t, through the cache slot when it has one.
int32_t fetch_int(Conn* conn, uint16_t t, uint32_t* value) {
  const uint16_t cacheAs = t == kOjOdbc2 ? SQL_OJ_CAPABILITIES : t;
  const int slot = slot_of(kIntItems, cacheAs);
  if (slot > 0 && conn->cn_infoInt[slot] != -1) {
    *value = static_cast<uint32_t>(conn->cn_infoInt[slot]);
    return 0;
  }
  int32_t v = 0;
  if (int32_t code = ask_int(conn, t, &v); code != 0) return code;
  *value = static_cast<uint32_t>(v);
  if (slot > 0) conn->cn_infoInt[slot] = v;
  return 0;
}

int32_t fetch_short(Conn* conn, uint16_t t, uint16_t* value) {
  const int slot = slot_of(kShortItems, t);
  if (slot > 0 && conn->cn_infoShort[slot] != 0xFFFF) {
    *value = conn->cn_infoShort[slot];
    return 0;
  }
  int32_t v = 0;
  if (int32_t code = ask_int(conn, t, &v); code != 0) return code;
  *value = static_cast<uint16_t>(v);
  if (slot > 0) conn->cn_infoShort[slot] = *value;
  return 0;
}

// work must hold 4096 bytes.
int32_t fetch_string(Conn* conn, uint16_t t, char* work) {
  constexpr uint16_t kWork = 4096;
  const int slot = t == SQL_DATABASE_NAME ? 0 : slot_of(kStringItems, t);
  if (slot > 0 && conn->cn_infoStr[slot] != nullptr) {
    strncpy(work, conn->cn_infoStr[slot], kWork - 1);
    work[kWork - 1] = '\0';
    return 0;
  }
  work[0] = '\0';
  uint16_t len = 0;
  int32_t code =
      conn->driver.ops->DRV_GetInfo(conn->cn_hConn, DRVP_GETINFO_TEXT + t, work, kWork, &len);
  if (code != 0) return code;
  work[kWork - 1] = '\0';
  // A copy that cannot be made only costs a second back-end call later.
  if (slot > 0) conn->cn_infoStr[slot] = strdup(work);
  return 0;
}

// SQL_CONVERT_* computed from the conversion table.
uint32_t computed_conversion(const Conn* conn, uint16_t t, char form) {
  const uint32_t wideBits = form == 'W' ? 0xE00000u : 0u;
  const uint32_t defaultMask = 0x73FFu | wideBits;
  uint32_t value = 0;
  switch (t) {
    case SQL_CONVERT_BINARY:
    case SQL_CONVERT_VARBINARY:
    case SQL_CONVERT_LONGVARBINARY:
      value = ConnCanConvert(conn, SQL_BINARY, 0xFFFFFFFFu) != 0 ? 0x40F01u : 0u;
      break;
    case SQL_CONVERT_DATE:
      value = ConnCanConvert(conn, SQL_DATE, 0x200u) != 0 ? 0x28301u : 0u;
      break;
    case SQL_CONVERT_TIME:
      value = ConnCanConvert(conn, SQL_TIME, 0x400u) != 0 ? 0x30301u : 0u;
      break;
    case SQL_CONVERT_TIMESTAMP:
      value = ConnCanConvert(conn, SQL_TIMESTAMP, 0x800u) != 0 ? 0x38301u : 0u;
      break;
    default: return defaultMask;
  }
  return value != 0 ? value | wideBits : 0;
}

SQLRETURN int_out(Conn* conn, uint16_t t, uint32_t value, void* buf, int16_t len, int16_t* outLen) {
  if (!is_handle_item(t)) return InfoOutInt(conn, value, buf, len, outLen);
  if (buf != nullptr) {
    const uint64_t wide = value;
    memcpy(buf, &wide, sizeof wide);
  }
  if (outLen != nullptr) *outLen = static_cast<int16_t>(sizeof(uint64_t));
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN InfoOutShort(Conn*, uint16_t value, void* buf, int16_t, int16_t* outLen) {
  if (buf != nullptr) memcpy(buf, &value, sizeof value);
  if (outLen != nullptr) *outLen = 2;
  return SQL_SUCCESS;
}

SQLRETURN InfoOutInt(Conn*, uint32_t value, void* buf, int16_t, int16_t* outLen) {
  if (buf != nullptr) memcpy(buf, &value, sizeof value);
  if (outLen != nullptr) *outLen = 4;
  return SQL_SUCCESS;
}

SQLRETURN InfoOutString(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen) {
  return text_out(conn, text, buf, len, outLen, 'A');
}

// The "ANSI code page" is UTF-8 here, so both wide forms widen the same way.
SQLRETURN InfoOutStringW(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen) {
  return text_out(conn, text, buf, len, outLen, 'W');
}

SQLRETURN InfoOutUtf8W(Conn* conn, const char* text, void* buf, int16_t len, int16_t* outLen) {
  return text_out(conn, text, buf, len, outLen, 'W');
}

int32_t ConnInfoShort(Conn* conn, uint16_t item, uint16_t* value) {
  return fetch_short(conn, item, value);
}

int ConnCanConvert(const Conn* conn, int32_t sqlType, uint32_t mask) {
  const OpTable& table = conn->opTable;
  if (table.type != 1 || table.rows == nullptr) return 0;
  const int32_t key = DefaultCType(sqlType, conn->envr != nullptr ? conn->envr->odbcVersion : 2);
  for (uint32_t i = 0; i < table.count; ++i) {
    if (table.rows[i].cType == key) return (table.rows[i].mask & mask) != 0 ? 1 : 0;
  }
  return 0;
}

// SetPos and BulkOperations work only where the connection's back end serves
// them; claiming them elsewhere would promise what answers "not capable".
bool served(const Conn* conn, uint16_t id) {
  const DriverOps* ops = conn->driver.ops;
  const bool scrolls = conn->state == CONN_STATE_CONNECTED && ops != nullptr &&
                       conn->cn_hasScrlCurs != 0;
  if (id == SQL_API_SQLSETPOS) return scrolls && ops->DRV_SetPos != nullptr;
  if (id == SQL_API_SQLBULKOPERATIONS) return scrolls && ops->DRV_SetPos != nullptr &&
                                              ops->DRV_BulkOperations != nullptr;
  return true;
}

constexpr uint16_t kServedFunctions[] = {SQL_API_SQLSETPOS, SQL_API_SQLBULKOPERATIONS};

SQLRETURN GetFunctionsImpl(Conn* conn, const CallSlot* args) {
  const uint16_t id = SlotU16(args[0]);
  auto* supported = SlotAs<uint16_t*>(args[1]);
  if (supported == nullptr) return SQL_SUCCESS;
  if (id == SQL_API_ALL_FUNCTIONS) {
    memcpy(supported, kFunctionSets.odbc2, sizeof kFunctionSets.odbc2);
    for (uint16_t f : kServedFunctions)
      if (!served(conn, f)) supported[f] = 0;
  } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    memcpy(supported, kFunctionSets.odbc3, sizeof kFunctionSets.odbc3);
    for (uint16_t f : kServedFunctions)
      if (!served(conn, f)) supported[f / 16] = static_cast<uint16_t>(supported[f / 16] & ~(1u << (f % 16)));
  } else if (id < kOdbc2Size) {
    *supported = kFunctionSets.odbc2[id] != 0 && served(conn, id) ? 1 : 0;
  } else {
    const bool in = id < kOdbc3Size * 16 && (kFunctionSets.odbc3[id / 16] & (1u << (id % 16))) != 0;
    *supported = in && served(conn, id) ? 1 : 0;
  }
  return SQL_SUCCESS;
}

SQLRETURN GetInfoImpl(Conn* conn, const CallSlot* args) {
  const uint16_t t = SlotU16(args[0]);
  void* buf = SlotAs<void*>(args[1]);
  const int16_t len = SlotI16(args[2]);
  auto* outLen = SlotAs<int16_t*>(args[3]);
  const char form = SlotIsWide(args[4]) ? 'W' : 'A';
  if (len < 0) return fail(conn, ERR_BUFFER_LENGTH);

  switch (t) {
    case SQL_DTC_TRANSITION_COST: return InfoOutInt(conn, 3, buf, len, outLen);
    case SQL_DATA_SOURCE_NAME:
      return form == 'W' ? InfoOutStringW(conn, conn->cn_dsn, buf, len, outLen)
                         : InfoOutString(conn, conn->cn_dsn, buf, len, outLen);
    case SQL_ODBC_API_CONFORMANCE: return InfoOutShort(conn, 1, buf, len, outLen);
    case SQL_DRIVER_ODBC_VER:
      return form == 'W' ? InfoOutStringW(conn, "03.50", buf, len, outLen)
                         : InfoOutString(conn, "03.50", buf, len, outLen);
    default: break;
  }
  if (is_conversion_item(t) && conn->cn_hasConvInfo == 0)
    return InfoOutInt(conn, computed_conversion(conn, t, form), buf, len, outLen);

  if (conn->state != CONN_STATE_CONNECTED) return fail(conn, ERR_CONN_NOT_OPEN);

  if (t == SQL_DBMS_NAME && conn->cn_dbmsName != nullptr && conn->cn_dbmsName[0] != '\0')
    return form == 'W' ? InfoOutStringW(conn, conn->cn_dbmsName, buf, len, outLen)
                       : InfoOutString(conn, conn->cn_dbmsName, buf, len, outLen);

  if (t == kOjOdbc2 || slot_of(kIntItems, t) > 0) {
    uint32_t value = 0;
    if (int32_t code = fetch_int(conn, t, &value); code != 0) return fail(conn, code);
    // GetData names a row of a block through SetPos: applications that see
    // SQL_GD_BLOCK position each row first, and fail where SetPos is not served.
    if (t == SQL_GETDATA_EXTENSIONS && !served(conn, SQL_API_SQLSETPOS)) value &= ~SQL_GD_BLOCK;
    return int_out(conn, t, value, buf, len, outLen);
  }
  if (slot_of(kShortItems, t) > 0) {
    uint16_t value = 0;
    if (int32_t code = fetch_short(conn, t, &value); code != 0) return fail(conn, code);
    return InfoOutShort(conn, value, buf, len, outLen);
  }
  if (t == SQL_DATABASE_NAME || slot_of(kStringItems, t) > 0) {
    char work[4096];
    if (int32_t code = fetch_string(conn, t, work); code != 0) return fail(conn, code);
    return form == 'W' ? InfoOutUtf8W(conn, work, buf, len, outLen)
                       : InfoOutString(conn, work, buf, len, outLen);
  }
  return fail(conn, ERR_INFO_TYPE);
}
