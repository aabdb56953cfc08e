#pragma once
// apicall.h -- what the exported entry points share: building the argument
// slots for CallODBC and converting wide input text to the driver's UTF-8.
// Entry points keep no state; they may run on any thread at once.

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "drv/export.h"
#include "odbc/callargs.h"
#include "odbc/calldesc.h"
#include "odbc/dispatch.h"
#include "util/conv.h"
#include "util/str.h"

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
// NUL units at the end of a text of explicit length are padding; a NUL unit
// followed by anything else within the length would cut the text short, so the
// worker gets that NUL and the character after it as a text of explicit length,
// which it refuses as it refuses such an 8-bit text.
class WideIn {
 public:
  WideIn(const SQLWCHAR* text, int64_t length) : length_(SQL_NTS) {
    if (text != nullptr && length < 0 && length != SQL_NTS) {
      length_ = length;
      return;
    }
    if (text == nullptr) return;
    const auto* w = reinterpret_cast<const char16_t*>(text);
    utf8_ = wcsn_to_utf8_dup(w, length);
    if (utf8_ == nullptr || length == SQL_NTS) return;
    const int64_t bytes = wcs_utf8_len(w, length);
    int64_t settled = bytes;
    if (!str_settle_length(utf8_, &settled)) {
      int64_t next = static_cast<int64_t>(strnlen(utf8_, static_cast<size_t>(bytes)));
      while (next < bytes && utf8_[next] == '\0') ++next;
      offset_ = next - 1;
      length_ = 2;
    }
  }
  ~WideIn() { free(utf8_); }
  WideIn(const WideIn&) = delete;
  WideIn& operator=(const WideIn&) = delete;
  SQLCHAR* text() const {
    return utf8_ != nullptr ? reinterpret_cast<SQLCHAR*>(utf8_ + offset_) : nullptr;
  }
  SQLSMALLINT len16() const { return static_cast<SQLSMALLINT>(length_); }
  SQLINTEGER len32() const { return static_cast<SQLINTEGER>(length_); }

 private:
  char* utf8_ = nullptr;
  int64_t offset_ = 0;
  int64_t length_;
};

inline constexpr char MARK_A = 'A';
inline constexpr char MARK_W = 'W';
