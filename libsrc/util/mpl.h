// mpl.h -- the growing-object memory pool, the system's string builder.
// A zero-filled MemPool is a valid empty pool. Finished objects start on a
// 16-byte boundary and never move; the object under construction may move on
// any append, so a pointer into it is good only until the next append.
// Chunks are whole multiples of 4096 bytes; exhaustion ends the process.
// Threading: a pool belongs to one caller at a time; no locks.
#pragma once

#include <cstddef>

struct MemPoolChunk {
  MemPoolChunk* prev;  // the chunk that was head before this one
  char* limit;         // end of the chunk (chunk start + chunk size)
};

struct MemPool {
  MemPoolChunk* head;  // newest chunk, null while the pool holds none
  char* base;          // start of the object under construction
  char* next;          // first free byte
  char* limit;         // end of the head chunk
};

void mpl_init(MemPool* pool) noexcept;
// Appends len bytes to the object under construction; answers where they went.
void* mpl_append(MemPool* pool, const void* data, size_t len) noexcept;
// Appends one byte; a build of a string ends with mpl_append_char(pool, 0).
void mpl_append_char(MemPool* pool, int byte) noexcept;
// Ends the object under construction and answers its start.
void* mpl_finish(MemPool* pool) noexcept;
// Frees every chunk and zero-fills the pool.
void mpl_destroy(MemPool* pool) noexcept;
// Moves the object under construction into a new chunk with room for n more bytes.
void mpl_expand(MemPool* pool, size_t n) noexcept;

// Room for n more bytes at the end of the object under construction; next
// then advances to the 16-byte boundary at or above the reserved bytes.
void* mpl_reserve(MemPool* pool, size_t n) noexcept;
void mpl_align(MemPool* pool) noexcept;
size_t mpl_object_size(const MemPool* pool) noexcept;
void* mpl_finish_size(MemPool* pool, size_t* size) noexcept;
// A plain allocation of n bytes from the pool (reserve, then finish).
void* mpl_alloc(MemPool* pool, size_t n) noexcept;
// Frees back to a mark (an address inside the pool); a null mark drops only
// the object under construction; a mark in no chunk empties the pool.
void mpl_release(MemPool* pool, void* mark) noexcept;
MemPoolChunk* mpl_newchunk(size_t size) noexcept;
void mpl_freechunk(MemPoolChunk* chunk) noexcept;
