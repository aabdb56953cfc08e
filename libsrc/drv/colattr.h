#pragma once
// colattr.h -- per-column attribute overrides (ColAttr) of a result: the
// compaction the back end applies before handing its table over, the hash table
// in which a statement keeps them, and the lookup the metadata workers use.
// A table belongs to one result description and goes with it; its items own
// their string values.
// Threading: a table is used under its statement's connection call lock.
// Not here: which attributes a back end reports (the agent decides).

#include <cstdint>

#include "drv/colinfo.h"

struct HashTable;

// Value kinds of ColAttr::valueKind.
inline constexpr int16_t COLATTR_STRING = 0;
inline constexpr int16_t COLATTR_INT = 1;
inline constexpr int16_t COLATTR_INT2 = 2;
inline constexpr int16_t COLATTR_DOUBLE = 3;

// Driver column attributes: the column belongs to its table's key; the column
// is an expression of the select list.
inline constexpr int16_t COLATTR_KEY_COLUMN = 1053;
inline constexpr int16_t COLATTR_EXPRESSION = 1055;

// ColAttrCopy mode that duplicates a string value instead of sharing it.
inline constexpr int COLATTR_COPY_DUP = 2;

// Hash key of an override: attrId (sign-extended) << 16 | column.
uint32_t ColAttrKey(int16_t attrId, uint16_t column) noexcept;

// Looks up attrId for the column, else the column-0 default; the item must be
// enabled and of the kind asked for (an int output for kinds 1 and 2, a string
// output for kind 0, a double output for kind 3). 1 found, 0 not.
int ColAttrLookup(HashTable* hash, uint16_t attrId, uint16_t column, int32_t* intOut, char** strOut,
                  double* dblOut) noexcept;

// Frees a string value (kind 0) and clears it.
void ColAttrFreeValue(ColAttr* item) noexcept;
// Frees an item allocated for a table, with its value; the shape of a
// hash_foreach callback. -> 0.
int ColAttrFreeItem(void* item, const void* key, void* user) noexcept;
// Same kind and same value: strings by pointer identity, kinds 1 and 2 as
// 32-bit integers, doubles by ==. 1 or 0.
int ColAttrEqual(const ColAttr* a, const ColAttr* b) noexcept;
// Copies s over d (both present); with COLATTR_COPY_DUP a string is duplicated.
// -> d, or null when either is missing or a duplicate cannot be made (d then
// holds no string of its own).
ColAttr* ColAttrCopy(ColAttr* d, const ColAttr* s, int mode) noexcept;

// One pass over n items ordered by attribute, each attribute's column-0 item
// first: skips disabled items and every item equal to its attribute's column-0
// default, copying the kept ones into out (at most cap). Without out it only
// counts. -> the number kept.
uint16_t ColAttrCompactPass(uint16_t n, const ColAttr* items, uint16_t cap, ColAttr* out,
                            int mode) noexcept;
// The kept items of a table in a new array (the caller frees it, and the
// strings when mode duplicated them). Empty input or nothing kept: 0 with both
// outputs cleared. ERR_MEMORY when the array cannot be had.
[[nodiscard]] int32_t ColAttrCompact(uint16_t n, const ColAttr* items, uint16_t* count,
                                     ColAttr** out, int mode) noexcept;

// A statement's table from the count items a back end handed over; the string
// values move into the table (the items' pointers are cleared), so the caller
// frees the array alone. *table is left null when count is 0. ERR_MEMORY with
// nothing kept (and the items' strings freed) when memory is short.
[[nodiscard]] int32_t ColAttrTableBuild(ColAttr* items, int16_t count, HashTable** table) noexcept;
// Frees every item and the table, and clears the pointer.
void ColAttrTableFree(HashTable** table) noexcept;
