#pragma once
// callargs.h -- the 8-byte argument slots that carry an entry point's arguments
// to its worker.
// Each entry point builds its slots explicitly, in the order of the ODBC
// signature, so that a worker reads exactly the width the application passed:
// pointers and 64-bit lengths whole, 32-bit integers as they are, 16-bit
// integers widened (sign-extended for SQLSMALLINT, zero-extended for
// SQLUSMALLINT). The string-form marker 'A' or 'W' is the last slot of the
// functions that carry one.

#include <cstdint>
#include <cstring>
#include <type_traits>

using CallSlot = uint64_t;

inline constexpr CallSlot CALL_MARKER_A = 'A';
inline constexpr CallSlot CALL_MARKER_W = 'W';

// Building a slot from an argument of any integer, enum or pointer type.
template <typename T>
constexpr CallSlot Slot(T v) {
  if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
    return static_cast<CallSlot>(reinterpret_cast<uintptr_t>(v));
  } else if constexpr (std::is_signed_v<T>) {
    return static_cast<CallSlot>(static_cast<int64_t>(v));
  } else {
    return static_cast<CallSlot>(v);
  }
}

// Reading a slot back as the type the worker's argument has.
template <typename T>
T SlotAs(CallSlot s) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(s));
  } else {
    return static_cast<T>(s);
  }
}

inline int16_t SlotI16(CallSlot s) { return static_cast<int16_t>(s); }
inline uint16_t SlotU16(CallSlot s) { return static_cast<uint16_t>(s); }
inline int32_t SlotI32(CallSlot s) { return static_cast<int32_t>(s); }
inline uint32_t SlotU32(CallSlot s) { return static_cast<uint32_t>(s); }
inline int64_t SlotI64(CallSlot s) { return static_cast<int64_t>(s); }
inline bool SlotIsWide(CallSlot s) { return s == CALL_MARKER_W; }
