#pragma once
// apicall.h -- what the exported entry points share: building the argument
// slots for CallODBC and converting wide input text to the driver's UTF-8.
// Entry points keep no state; they may run on any thread at once.

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <cstdlib>

#include "drv/export.h"
#include "odbc/callargs.h"
#include "odbc/calldesc.h"
#include "odbc/dispatch.h"
#include "util/conv.h"

// Calls the dispatcher with one slot per argument, in the order given.
template <typename... A>
SQLRETURN CallWith(const CallDescriptor& d, A... a) {
  const CallSlot slots[] = {Slot(a)...};
  return CallODBC(&d, slots, sizeof...(A));
}

inline uint32_t HandleValue(SQLHANDLE h) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}

// A wide input text as a NUL-terminated UTF-8 copy for the life of the call.
// A negative length other than SQL_NTS is passed on as it is, so that the
// worker reports it; a copy that cannot be made reaches the worker as null.
class WideIn {
 public:
  WideIn(const SQLWCHAR* text, int64_t length) : length_(SQL_NTS) {
    if (text != nullptr && length < 0 && length != SQL_NTS) {
      length_ = length;
      return;
    }
    if (text != nullptr) utf8_ = wcsn_to_utf8_dup(reinterpret_cast<const char16_t*>(text), length);
  }
  ~WideIn() { free(utf8_); }
  WideIn(const WideIn&) = delete;
  WideIn& operator=(const WideIn&) = delete;
  SQLCHAR* text() const { return reinterpret_cast<SQLCHAR*>(utf8_); }
  SQLSMALLINT len16() const { return static_cast<SQLSMALLINT>(length_); }
  SQLINTEGER len32() const { return static_cast<SQLINTEGER>(length_); }

 private:
  char* utf8_ = nullptr;
  int64_t length_;
};

inline constexpr char MARK_A = 'A';
inline constexpr char MARK_W = 'W';
