// mpl.cpp -- the growing-object memory pool.
// Owns its chunks; finished objects stay put until the pool is destroyed or
// released past them, and only the object under construction is ever copied.
// Threading: one caller per pool; no locks.
#include "util/mpl.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/log.h"
#include "util/utalloc.h"

namespace {

constexpr uintptr_t kAlign = 16;
constexpr size_t kChunkUnit = 4096;

uintptr_t addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

char* align_up(char* p) {
  uintptr_t a = addr(p);
  return p + ((kAlign - (a & (kAlign - 1))) & (kAlign - 1));
}

char* data_start(MemPoolChunk* chunk) {
  return align_up(reinterpret_cast<char*>(chunk) + sizeof(MemPoolChunk));
}

[[noreturn]] void out_of_memory(int line) {
  log_printf(LOG_ERR, "util/mpl", line, "out of memory");
  fatal_exit(1);
}

// True when n more bytes would reach the end of the head chunk (or there is
// none): the last byte of a chunk is never filled by an append.
bool needs_room(const MemPool* pool, size_t n) {
  return pool->head == nullptr || n >= static_cast<size_t>(pool->limit - pool->next);
}

}  // namespace

void mpl_init(MemPool* pool) noexcept { memset(pool, 0, sizeof *pool); }

MemPoolChunk* mpl_newchunk(size_t size) noexcept {
  void* block = calloc(1, size);
  if (block == nullptr) out_of_memory(__LINE__);
  return static_cast<MemPoolChunk*>(block);
}

void mpl_freechunk(MemPoolChunk* chunk) noexcept { free(chunk); }

void mpl_expand(MemPool* pool, size_t n) noexcept {
  size_t len = static_cast<size_t>(pool->next - pool->base);
  size_t want = len + n;
  // Growth leaves an eighth of the object plus 100 bytes of room; a request
  // that overflows the size arithmetic is exhaustion like any other.
  if (want < len || want + len / 8 + 100 + kAlign < want) out_of_memory(__LINE__);
  want += len / 8 + 100;
  if (want > SIZE_MAX - kChunkUnit) out_of_memory(__LINE__);
  size_t size = (want + kChunkUnit - 1) / kChunkUnit * kChunkUnit;

  MemPoolChunk* chunk = mpl_newchunk(size);
  char* data = data_start(chunk);
  if (len != 0) memcpy(data, pool->base, len);

  MemPoolChunk* old = pool->head;
  if (old != nullptr && pool->base == data_start(old)) {
    // The moving object was all the old chunk held.
    chunk->prev = old->prev;
    mpl_freechunk(old);
  } else {
    chunk->prev = old;
  }
  chunk->limit = reinterpret_cast<char*>(chunk) + size;
  pool->head = chunk;
  pool->limit = chunk->limit;
  pool->base = data;
  pool->next = data + len;
}

void* mpl_append(MemPool* pool, const void* data, size_t len) noexcept {
  if (needs_room(pool, len)) mpl_expand(pool, len);
  char* at = pool->next;
  if (len != 0) memcpy(at, data, len);
  pool->next += len;
  return at;
}

void mpl_append_char(MemPool* pool, int byte) noexcept {
  if (pool->head == nullptr || pool->next >= pool->limit) mpl_expand(pool, 1);
  *pool->next++ = static_cast<char>(byte);
}

void mpl_align(MemPool* pool) noexcept {
  if (pool->next != nullptr) pool->next = align_up(pool->next);
}

void* mpl_finish(MemPool* pool) noexcept {
  char* start = pool->base;
  mpl_align(pool);
  pool->base = pool->next;
  return start;
}

void mpl_destroy(MemPool* pool) noexcept {
  MemPoolChunk* chunk = pool->head;
  while (chunk != nullptr) {
    MemPoolChunk* prev = chunk->prev;
    mpl_freechunk(chunk);
    chunk = prev;
  }
  memset(pool, 0, sizeof *pool);
}

void* mpl_reserve(MemPool* pool, size_t n) noexcept {
  if (needs_room(pool, n)) mpl_expand(pool, n);
  char* at = pool->next;
  pool->next = align_up(at + n);
  return at;
}

size_t mpl_object_size(const MemPool* pool) noexcept {
  return static_cast<size_t>(pool->next - pool->base);
}

void* mpl_finish_size(MemPool* pool, size_t* size) noexcept {
  *size = mpl_object_size(pool);
  return mpl_finish(pool);
}

void* mpl_alloc(MemPool* pool, size_t n) noexcept {
  mpl_reserve(pool, n);
  return mpl_finish(pool);
}

void mpl_release(MemPool* pool, void* mark) noexcept {
  if (mark == nullptr) {
    pool->next = pool->base;
    return;
  }
  MemPoolChunk* chunk = pool->head;
  while (chunk != nullptr) {
    if (addr(data_start(chunk)) <= addr(mark) && addr(mark) < addr(chunk->limit)) {
      pool->head = chunk;
      pool->base = pool->next = static_cast<char*>(mark);
      pool->limit = chunk->limit;
      return;
    }
    MemPoolChunk* prev = chunk->prev;
    mpl_freechunk(chunk);
    chunk = prev;
  }
  memset(pool, 0, sizeof *pool);
}
