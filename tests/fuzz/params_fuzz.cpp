// params_fuzz.cpp -- parameter values: every C type bound as every SQL type, with
// random bytes, lengths and indicators (data at execution included), marshalled by
// the core and the agent into an INSERT into one column of every Informix type, then
// rolled back. The first bytes of an input choose the binding; the rest is the value.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_driver.h"

namespace {

constexpr SQLSMALLINT kCTypes[] = {
    SQL_C_CHAR,          SQL_C_WCHAR,          SQL_C_BINARY,         SQL_C_BIT,
    SQL_C_STINYINT,      SQL_C_UTINYINT,       SQL_C_SSHORT,         SQL_C_USHORT,
    SQL_C_SLONG,         SQL_C_ULONG,          SQL_C_SBIGINT,        SQL_C_UBIGINT,
    SQL_C_FLOAT,         SQL_C_DOUBLE,         SQL_C_NUMERIC,        SQL_C_TYPE_DATE,
    SQL_C_TYPE_TIME,     SQL_C_TYPE_TIMESTAMP, SQL_C_DATE,           SQL_C_TIME,
    SQL_C_TIMESTAMP,     SQL_C_GUID,           SQL_C_DEFAULT,        SQL_C_INTERVAL_DAY,
    SQL_C_INTERVAL_YEAR_TO_MONTH, SQL_C_INTERVAL_DAY_TO_SECOND, SQL_C_TINYINT, SQL_C_SHORT,
    SQL_C_LONG,
};
constexpr SQLSMALLINT kSqlTypes[] = {
    SQL_CHAR,      SQL_VARCHAR,        SQL_LONGVARCHAR,   SQL_WCHAR,     SQL_WVARCHAR,
    SQL_WLONGVARCHAR, SQL_BINARY,      SQL_VARBINARY,     SQL_LONGVARBINARY, SQL_BIT,
    SQL_TINYINT,   SQL_SMALLINT,       SQL_INTEGER,       SQL_BIGINT,    SQL_REAL,
    SQL_FLOAT,     SQL_DOUBLE,         SQL_DECIMAL,       SQL_NUMERIC,   SQL_TYPE_DATE,
    SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP, SQL_INTERVAL_DAY_TO_SECOND, SQL_INTERVAL_YEAR_TO_MONTH,
    SQL_GUID,      SQL_DATE,           SQL_TIMESTAMP,
};
constexpr const char* kColumns[] = {"c", "v", "i", "s", "f", "r", "d", "m",
                                    "dt", "ts", "ds", "ym", "l"};

SQLHDBC connection() {
  static SQLHDBC dbc = FuzzDriverStart() ? FuzzConnect() : nullptr;
  return dbc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SQLHDBC dbc = connection();
  if (dbc == nullptr || size < 7) return 0;
  const SQLSMALLINT cType = kCTypes[data[0] % std::size(kCTypes)];
  const SQLSMALLINT sqlType = kSqlTypes[data[1] % std::size(kSqlTypes)];
  const char* column = kColumns[data[2] % std::size(kColumns)];
  const SQLULEN columnSize = static_cast<SQLULEN>(data[3]) | static_cast<SQLULEN>(data[4]) << 8;
  const SQLSMALLINT scale = static_cast<SQLSMALLINT>(static_cast<int8_t>(data[5]));
  const uint8_t mode = data[6] % 6;
  // The value, in a buffer wide enough for any fixed-size C type and ending in zeros,
  // as an application's buffer would be: the driver reads a fixed type whole.
  std::vector<uint8_t> buf(data + 7, data + size);
  const SQLLEN valueLen = static_cast<SQLLEN>(buf.size());
  buf.resize(buf.size() + 64, 0);
  SQLLEN ind = valueLen;
  switch (mode) {
    case 0: break;
    case 1: ind = SQL_NTS; break;
    case 2: ind = SQL_NULL_DATA; break;
    case 3: ind = -static_cast<SQLLEN>(data[3]) - 7; break;
    case 4: ind = SQL_LEN_DATA_AT_EXEC(valueLen); break;
    default: ind = SQL_DATA_AT_EXEC; break;
  }
  SQLHSTMT st = nullptr;
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st) != SQL_SUCCESS) return 0;
  const std::string sql = std::string("insert into p (") + column + ") values (?)";
  if (SQLBindParameter(st, 1, SQL_PARAM_INPUT, cType, sqlType, columnSize, scale, buf.data(),
                       valueLen, &ind) == SQL_SUCCESS) {
    SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
    // Data at execution: the value in two pieces.
    for (int round = 0; rc == SQL_NEED_DATA && round < 4; ++round) {
      SQLPOINTER token = nullptr;
      rc = SQLParamData(st, &token);
      if (rc != SQL_NEED_DATA) break;
      const SQLLEN half = valueLen / 2;
      (void)SQLPutData(st, buf.data(), half);
      (void)SQLPutData(st, buf.data() + half, valueLen - half);
    }
    if (rc == SQL_NEED_DATA) (void)SQLCancel(st);
  }
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR text[512];
  SQLSMALLINT len = 0;
  (void)SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, text, sizeof text, &len);
  (void)SQLFreeHandle(SQL_HANDLE_STMT, st);
  (void)SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  return 0;
}
