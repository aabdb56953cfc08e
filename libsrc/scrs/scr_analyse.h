#pragma once
// scr_analyse.h -- what the cursor layer asks of the SQL analysis: a
// statement parsed into an analysis (its kind, its tree, and for a SELECT the
// flags that decide which cursor types it can have), the tables, select items
// and sort keys taken out of it, and the edits that plant placeholders or
// change the ORDER BY, after each of which the root's text is the rewritten
// statement.
// An analysis belongs to whoever embeds it and is used by one thread at a
// time; parses need no lock (each has its own scanner state).

#include <cstddef>
#include <cstdint>

#include "scrs/scr_tree.h"
#include "util/dynarray.h"

// Flag bits of sa_flags.
inline constexpr uint16_t SA_WHERE = 0x2;             // the query has a WHERE clause
inline constexpr uint16_t SA_ORDERBY = 0x4;           // the statement is ordered
inline constexpr uint16_t SA_GROUPBY = 0x8;           // the query groups its rows
inline constexpr uint16_t SA_UNION = 0x10;            // the query is a UNION
inline constexpr uint16_t SA_JOIN = 0x20;             // two or more table references
inline constexpr uint16_t SA_ORDERBY_ORDINAL = 0x40;  // a sort key is a column number
inline constexpr uint16_t SA_AGGREGATE = 0x80;        // an aggregate anywhere in the query
inline constexpr uint16_t SA_OUTERJOIN = 0x100;       // an outer join or outer-join comparison
// The query's select list is DISTINCT or UNIQUE: like a grouped query, its
// rows are no rows of a table, so they have no keys.
inline constexpr uint16_t SA_DISTINCT = 0x200;
// A table reference names a server ("t@s", "d@s:o.t"): the catalog of the
// connection's own server cannot describe it.
inline constexpr uint16_t SA_REMOTE = 0x400;

struct SCR_Analysis {
  char* sa_text;       // owned: the analysed statement, leading white space skipped
  char* sa_errPos;     // owned: after a failed parse, the text consumed and "^"; else null
  char* sa_errMsg;     // owned: after a failed parse, the message; else null
  ParseNode* sa_root;  // owned: the tree; its text is the regenerated statement
  int32_t sa_kind;     // the root's type (a statement kind); -1 before, 0 after a failed parse
  uint16_t sa_flags;   // SA_ bits
  char* sa_generated;  // owned by the cursor layer: a statement it generated; never an error text
};

// One table reference of the query. Every string is owned (SCR_TableEntryFree)
// and never null; an absent part is an empty string.
struct TblDesc {
  char* qualifier;  // database; empty unless asked for (keepQualifier)
  char* owner;
  char* table;
  char* alias;      // correlation name
  char* server;     // the server after "@"; always kept, since dropping it
                    // would name another server's table
  uint8_t sessionTemp;  // set by the cursor layer: one of the session's temporary
                        // tables, which the server keeps out of its catalog
};

inline constexpr size_t kScrNameSize = 509;  // 508 characters and a NUL

// The cursor layer's column descriptor; the analysis fills name, table,
// alias, owner, qualifier and itemKind of the select items.
enum ColDescKind : int32_t {
  COLDESC_ALL = 1,         // "*"
  COLDESC_TABLE_ALL = 2,   // table.*
  COLDESC_EXPRESSION = 3,
  COLDESC_COLUMN = 4,
};
struct ColDesc {
  char name[kScrNameSize];  // column name, or the expression's text
  char table[kScrNameSize];
  char alias[kScrNameSize];
  char owner[kScrNameSize];
  char qualifier[kScrNameSize];
  int16_t sqlType;
  uint32_t columnSize;
  int16_t decimalDigits;
  uint8_t orderByPos;
  int32_t itemKind;  // ColDescKind
};
static_assert(sizeof(ColDesc) == 2560);

// One sort key of the ORDER BY.
struct OrderByItem {
  char text[2036];          // a column key as regenerated (t.a); empty for an ordinal
  char name[kScrNameSize];  // a column key split into its parts; empty for an ordinal
  char table[kScrNameSize];
  char alias[kScrNameSize];
  char owner[kScrNameSize];
  char qualifier[kScrNameSize];
  int32_t descending;  // 1 when the key is DESC
  uint8_t ordinal;     // the column number of an ordinal key, 0 for a column key
  uint32_t keyMatch;   // the cursor layer's
  int16_t sqlType;     // the cursor layer's
  uint32_t columnSize;
  int16_t decimalDigits;
};

// Every operation answers a driver error code: 0, ERR_GENERAL for a missing
// analysis, tree or node an operation needs (a placeholder asked of a
// statement that is no SELECT, a sort operation without ORDER BY),
// ERR_MEMORY, or ERR_SYNTAX for a statement the grammar rejects.

void SCR_AnalysisInit(SCR_Analysis* analysis) noexcept;
void SCR_AnalysisFree(SCR_Analysis* analysis) noexcept;
// Parses text into the analysis (freeing what it held); for a SELECT and
// noFlags 0 also sets the flags. keepQualifier as for SCR_TablesGet.
int32_t SCR_AnalyseSQL(SCR_Analysis* analysis, const char* text, int32_t noFlags,
                       int32_t keepQualifier) noexcept;
// Appends one TblDesc per table reference of the query (joins, derived tables
// and subqueries of ON conditions included, in source order) to an array of
// TblDesc elements; nothing for a query without FROM. The database part is
// filled only when keepQualifier is non-zero.
int32_t SCR_TablesGet(SCR_Analysis* analysis, DynArray* tables, int32_t keepQualifier) noexcept;
void SCR_TableEntryFree(void* tblDesc) noexcept;
// Appends one ColDesc per select item (a single COLDESC_ALL item for "*").
int32_t SCR_SelectColsGet(SCR_Analysis* analysis, DynArray* cols) noexcept;
// Appends one OrderByItem per sort key; sets SA_ORDERBY_ORDINAL when a key is
// a column number.
int32_t SCR_OrderByColsGet(SCR_Analysis* analysis, DynArray* items) noexcept;
// Replaces each ordinal sort key by the text of the item whose ordinal it is
// (the cursor layer fills those texts first), then regenerates.
int32_t SCR_OrderByOrdinalsToNames(SCR_Analysis* analysis, DynArray* items) noexcept;
// The select list becomes the placeholder.
int32_t SCR_SelListPlaceholder(SCR_Analysis* analysis) noexcept;
// The placeholder right after the last select item.
int32_t SCR_SelListAppendPlaceholder(SCR_Analysis* analysis) noexcept;
// WHERE <placeholder> AND (<condition>), or the placeholder where the WHERE
// clause belongs; sets or clears SA_WHERE. Running it twice gives the same text.
int32_t SCR_WherePlaceholder(SCR_Analysis* analysis) noexcept;
// The placeholder right after the last sort key, or where the ORDER BY belongs.
int32_t SCR_OrderByPlaceholder(SCR_Analysis* analysis) noexcept;
// DESC becomes ascending, anything else DESC.
int32_t SCR_OrderByReverse(SCR_Analysis* analysis) noexcept;

// The flag setters SCR_AnalyseSQL runs, for callers that edit a tree.
int32_t SCR_HasOrderBy(SCR_Analysis* analysis, ParseNode** orderByOpt) noexcept;
int32_t SCR_HasGroupBy(SCR_Analysis* analysis) noexcept;
int32_t SCR_HasUnion(SCR_Analysis* analysis) noexcept;
int32_t SCR_CountTables(SCR_Analysis* analysis, int32_t keepQualifier) noexcept;
int32_t SCR_HasAggregate(SCR_Analysis* analysis) noexcept;
int32_t SCR_HasOuterJoin(SCR_Analysis* analysis) noexcept;
