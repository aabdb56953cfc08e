#pragma once
// colinfo.h -- the records in which the back end describes result columns and
// parameters (ColumnInfo) and hands over per-column attribute overrides (ColAttr).
// Both cross the driver operation table as plain arrays, so their layouts are fixed.
// Ownership: a result description owns its four strings (freed by ColumnInfoFree);
// a parameter description shares the agent cursor's strings and is released with
// a plain free of the array.
// Not here: the statement's use of these records (lookup, caching, ColAttr tables).

#include <cstddef>
#include <cstdint>

struct ColumnInfo {
  char name[48];       // NUL-terminated; "*I", "*O", "*B", "*U" lead a procedure parameter
  char* catalog;       // or NULL
  char* schema;        // owner, or NULL
  char* table;         // or NULL
  char* fullName;      // the whole name when longer than `name`; preferred when non-empty
  int16_t nativeType;  // the Informix type
  int32_t sqlType;     // ODBC SQL type
  uint32_t flags;      // bits 0-3 nullability; bits 4-7 updatability + 1 (0 unknown)
  int32_t precision;   // column size
  int16_t scale;       // decimal digits
  int32_t displaySize;
  uint32_t bindType;     // the DatasetType the back end delivers the values in
  uint32_t octetLength;  // size from which the value width is derived (DatasetTypeWidth)
};

// Arrays of these pass between layers by byte layout.
static_assert(sizeof(ColumnInfo) == 112);
static_assert(offsetof(ColumnInfo, catalog) == 48);
static_assert(offsetof(ColumnInfo, fullName) == 72);
static_assert(offsetof(ColumnInfo, nativeType) == 80);
static_assert(offsetof(ColumnInfo, sqlType) == 84);
static_assert(offsetof(ColumnInfo, flags) == 88);
static_assert(offsetof(ColumnInfo, precision) == 92);
static_assert(offsetof(ColumnInfo, scale) == 96);
static_assert(offsetof(ColumnInfo, displaySize) == 100);
static_assert(offsetof(ColumnInfo, bindType) == 104);
static_assert(offsetof(ColumnInfo, octetLength) == 108);

// A per-column attribute override; its hash key is attrId << 16 | column.
struct ColAttr {
  uint16_t column;    // 0 = default for every column
  int16_t attrId;     // ODBC or driver column attribute; negative = disabled
  int16_t valueKind;  // 0 text, 1 or 2 integer, 3 double
  union {
    int32_t intVal;
    char* strVal;
    double dblVal;
  } value;
};

static_assert(sizeof(ColAttr) == 16);
static_assert(offsetof(ColAttr, attrId) == 2);
static_assert(offsetof(ColAttr, valueKind) == 4);
static_assert(offsetof(ColAttr, value) == 8);

// A zero-filled array of max(n, 1) entries (a described result may have none), or
// NULL when memory is short. Caller frees with ColumnInfoFree or free.
ColumnInfo* ColumnInfoAlloc(uint16_t n) noexcept;

// Frees the catalog, schema, table and fullName of each of the n entries, then the
// array. NULL does nothing.
void ColumnInfoFree(ColumnInfo* info, uint16_t n) noexcept;

// True for the ODBC SQL types of numbers, dates and times, which no text of blanks alone
// (or none) is a value of: a server would store NULL for it.
bool SqlTypeRefusesBlankText(int32_t sqlType) noexcept;
