// handle.h -- tables that turn record pointers into 32-bit handle values.
// A handle is tag << 16 | slot index; it is valid while its slot carries the
// tag of its upper half. The table never owns, creates or frees records.
// Threading: with locking enabled, HandleAlloc, HandleLookup and HandleFree
// may run on any thread; Init, EnableLock and Destroy run while no other
// thread uses the table. No other lock is taken while a table lock is held.
#pragma once

#include <cstdint>
#include <pthread.h>

// Tags of the tables of the system (the low 16 bits of the tag argument).
inline constexpr uint32_t HTAG_ENV = 1;
inline constexpr uint32_t HTAG_DBC = 2;
inline constexpr uint32_t HTAG_STMT = 3;
inline constexpr uint32_t HTAG_DESC = 4;
inline constexpr uint32_t HTAG_SERVER = 0xAAAA;
inline constexpr uint32_t HTAG_CONN = 0xBBBB;
inline constexpr uint32_t HTAG_CURSOR = 0xCCCC;

// The driver error codes a table answers (the numbers of ERR_MEMORY and
// ERR_HANDLE_LIMIT; util does not see the core's error table).
inline constexpr int HT_ERR_MEMORY = 16;
inline constexpr int HT_ERR_HANDLE_LIMIT = 131;

struct HandleSlot {
  uint16_t tag;  // the table's tag while in use, 0 when free
  void* object;  // the caller's record, null when free
};

// Zero-filled (a static, or after HandleTableDestroy) every lookup answers null.
struct HandleTable {
  int32_t tag;         // low 16 bits used; a tag of 0 is stored as 0xFFFF
  uint16_t capacity;   // slots in the array: 5, 10, ... at most 65535
  uint16_t freeCount;  // slots whose tag is 0
  HandleSlot* slots;
  uint16_t searchFrom;   // no slot below this index is free
  uint32_t locking;      // 1 once HandleTableEnableLock ran
  pthread_mutex_t lock;  // recursive; valid only while locking is 1
};

// Empty table with 5 free slots, locking off; safe on an initialised table.
int HandleTableInit(HandleTable* table, uint32_t tag) noexcept;
int HandleTableEnableLock(HandleTable* table) noexcept;
// 0, HT_ERR_MEMORY or HT_ERR_HANDLE_LIMIT; *handle is 0 unless the answer is 0.
int HandleAlloc(HandleTable* table, uint32_t* handle, void* object) noexcept;
// The record of a valid handle, else null (also for a null table).
void* HandleLookup(HandleTable* table, uint32_t handle) noexcept;
// HandleLookup without the table's lock, for a caller whose own lock is held around
// every HandleAlloc and HandleFree of the table.
void* HandleLookupHeld(const HandleTable* table, uint32_t handle) noexcept;
// Clears the slot of a valid handle; anything else is ignored.
void HandleFree(HandleTable* table, uint32_t handle) noexcept;
void HandleTableDestroy(HandleTable* table) noexcept;
void HandleTableLock(HandleTable* table) noexcept;
void HandleTableUnlock(HandleTable* table) noexcept;
