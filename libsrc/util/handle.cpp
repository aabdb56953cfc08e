// handle.cpp -- handle tables: record pointers to 32-bit values and back.
// The table maps, it never owns: records are created and freed by the caller.
// Threading: with locking on, alloc, lookup and free hold the table's
// recursive lock for their whole work; init, enable and destroy run while no
// other thread uses the table.
#include "util/handle.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kGrowth = 5;
constexpr uint32_t kMaxSlots = 65535;

class TableGuard {
 public:
  explicit TableGuard(HandleTable* t) : t_(t) { HandleTableLock(t_); }
  ~TableGuard() { HandleTableUnlock(t_); }
  TableGuard(const TableGuard&) = delete;
  TableGuard& operator=(const TableGuard&) = delete;

 private:
  HandleTable* t_;
};

}  // namespace

int HandleTableInit(HandleTable* table, uint32_t tag) noexcept {
  HandleTableDestroy(table);
  auto* slots = static_cast<HandleSlot*>(calloc(kGrowth, sizeof(HandleSlot)));
  if (slots == nullptr) return HT_ERR_MEMORY;
  table->slots = slots;
  table->capacity = kGrowth;
  table->freeCount = kGrowth;
  uint32_t low = tag & 0xFFFF;
  table->tag = static_cast<int32_t>(low != 0 ? low : 0xFFFF);
  return 0;
}

int HandleTableEnableLock(HandleTable* table) noexcept {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&table->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  table->locking = 1;
  return 0;
}

void HandleTableLock(HandleTable* table) noexcept {
  if (table->locking) pthread_mutex_lock(&table->lock);
}

void HandleTableUnlock(HandleTable* table) noexcept {
  if (table->locking) pthread_mutex_unlock(&table->lock);
}

int HandleAlloc(HandleTable* table, uint32_t* handle, void* object) noexcept {
  *handle = 0;
  TableGuard guard(table);
  uint32_t index = 0;
  if (table->freeCount != 0) {
    index = table->searchFrom;
    while (index < table->capacity && table->slots[index].tag != 0) ++index;
  } else {
    uint32_t grown = table->capacity + kGrowth;
    if (grown > kMaxSlots) return HT_ERR_HANDLE_LIMIT;
    // realloc keeps the old array when it fails, so the table stays as it was.
    auto* slots = static_cast<HandleSlot*>(realloc(table->slots, grown * sizeof(HandleSlot)));
    if (slots == nullptr) return HT_ERR_MEMORY;
    memset(slots + table->capacity, 0, kGrowth * sizeof(HandleSlot));
    table->slots = slots;
    index = table->capacity;
    table->freeCount = kGrowth;
    table->capacity = static_cast<uint16_t>(grown);
  }
  uint16_t tag = static_cast<uint16_t>(table->tag);
  *handle = static_cast<uint32_t>(tag) << 16 | index;
  table->slots[index].tag = tag;
  table->slots[index].object = object;
  --table->freeCount;
  table->searchFrom = static_cast<uint16_t>(index + 1 < 0xFFFF ? index + 1 : 0xFFFF);
  return 0;
}

void* HandleLookup(HandleTable* table, uint32_t handle) noexcept {
  if (table == nullptr) return nullptr;
  TableGuard guard(table);
  return HandleLookupHeld(table, handle);
}

void* HandleLookupHeld(const HandleTable* table, uint32_t handle) noexcept {
  if (table == nullptr) return nullptr;
  uint32_t index = handle & 0xFFFF;
  if (index >= table->capacity) return nullptr;
  const HandleSlot& slot = table->slots[index];
  return slot.tag == (handle >> 16) ? slot.object : nullptr;
}

void HandleFree(HandleTable* table, uint32_t handle) noexcept {
  if (table == nullptr) return;
  uint32_t index = handle & 0xFFFF;
  TableGuard guard(table);
  if (index >= table->capacity) return;
  HandleSlot& slot = table->slots[index];
  // A free slot has tag 0, which no handle's upper half can match (no table
  // has the tag 0), so a second free of the same handle changes nothing.
  if (slot.tag != 0 && slot.tag == (handle >> 16)) {
    slot.tag = 0;
    slot.object = nullptr;
    ++table->freeCount;
    if (index < table->searchFrom) table->searchFrom = static_cast<uint16_t>(index);
  }
}

void HandleTableDestroy(HandleTable* table) noexcept {
  free(table->slots);
  if (table->locking) pthread_mutex_destroy(&table->lock);
  memset(static_cast<void*>(table), 0, sizeof *table);
}
