// connstr_fuzz.cpp -- connection strings: keyword parsing, data source and file DSN
// lookup, the connect options the agent reads from them, and the connect itself.
// Every input goes through SQLDriverConnect without a prompt on a fresh connection.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzDriverStart()) return 0;
  const std::string in(reinterpret_cast<const char*>(data), size);
  SQLHDBC dbc = nullptr;
  if (SQLAllocHandle(SQL_HANDLE_DBC, FuzzEnv(), &dbc) != SQL_SUCCESS) return 0;
  SQLCHAR out[512];
  SQLSMALLINT outLen = 0;
  const SQLRETURN rc =
      SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.data(), static_cast<SQLSMALLINT>(in.size()), out,
                       sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR text[512];
  SQLSMALLINT len = 0;
  for (SQLSMALLINT rec = 1;
       SQLGetDiagRec(SQL_HANDLE_DBC, dbc, rec, state, &native, text, sizeof text, &len) ==
       SQL_SUCCESS;
       ++rec) {
  }
  if (SQL_SUCCEEDED(rc)) (void)SQLDisconnect(dbc);
  (void)SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  return 0;
}
