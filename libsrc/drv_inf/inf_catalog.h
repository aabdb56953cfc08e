#pragma once
// inf_catalog.h -- what the agent's catalog operations share: running a query
// built from a template on the statement's own cursor, overwriting its result
// descriptions from a fixed table, the row fix-ups' access to the row being
// fetched, and the preparation of the application's names as template
// arguments.
// Threading: on the caller's thread under the connection's call lock.

#include <array>
#include <cstdint>
#include <string>

#include "drv/errtab.h"
#include "drv/sqltemplate.h"
#include "drv_inf/inf_types.h"

// One result column of a catalog operation: its SQL type and size; size -1
// keeps the precision the query's describe gave. A table ends at {0, 0}.
struct CatalogResultType {
  int32_t sqlType;
  int32_t size;
};

// A catalog text column: wide text on a wide connection, 8-bit text otherwise.
inline constexpr int32_t CAT_TEXT = -9;

// Expands the template, prepares and executes it on the cursor. 0, ERR_ARGUMENT
// for a handle that is not a cursor, or the prepare's or execute's code with the
// Informix errors left on the cursor. The result's column names come out in
// upper case, as ODBC names the columns of catalog results.
[[nodiscard]] int32_t RunCatalogQuery(DrvHandle hCursor, const char* templ, char* const* args,
                                      uint32_t count) noexcept;

// Overwrites the cursor's result descriptions, column by column, until the
// table's end; later columns keep theirs.
void ApplyResultTypes(InfCursor* cur, const CatalogResultType* table) noexcept;

// The row being fetched, as a fix-up sees it: column j of the output area.
// Text columns hold NUL-terminated 8-bit text, numbers their host integers.
bool CatIsNull(const InfCursor* cur, int j) noexcept;
void CatSetNull(InfCursor* cur, int j) noexcept;
char* CatText(InfCursor* cur, int j) noexcept;
// The first character of a text column, '\0' for NULL or empty text.
char CatFirstChar(const InfCursor* cur, int j) noexcept;
// Stores text (cut to the column's buffer) and marks the value present.
void CatSetText(InfCursor* cur, int j, const char* text) noexcept;
int32_t CatInt(const InfCursor* cur, int j) noexcept;  // SMALLINT or INTEGER column
void CatSetInt(InfCursor* cur, int j, int32_t v) noexcept;
// The catalog column: the database name on an Online server for the query's
// marker 'Q', else NULL.
void CatalogNameRule(InfCursor* cur, int j) noexcept;

// What the catalog reports for an Informix column type (syscolumns' coltype and
// collength): the values the Columns result shows and SpecialColumns reuses.
struct CatalogTypeValues {
  const char* typeName = nullptr;  // null: a type without a mapping; the row stays
  int32_t dataType = 0;            // by the connection's wide mode and ODBC version
  int32_t sqlDataType = 0;
  int32_t size = 0;
  int32_t buffer = 0;
  int32_t digits = -1;  // -1: NULL
  int32_t sub = -1;     // -1: NULL
  int32_t octets = -2;  // -1: NULL, -2: the query's value
};
CatalogTypeValues CatalogColumnType(const InfCursor* cur, int32_t type, int32_t len) noexcept;

// Writes the mapped values into a row's type columns; a type without a mapping
// leaves them as the query delivered them.
struct CatalogTypeColumns {
  int dataType, typeName, size, buffer, digits;
};
void CatalogSetType(InfCursor* cur, const CatalogTypeValues& v,
                    const CatalogTypeColumns& at) noexcept;

// A result column the agent describes itself: SQL_SMALLINT (5) and SQL_INTEGER
// (4) as their Dataset integers, any other type as text of `size` characters
// in the given Dataset type.
ColumnInfo CatalogDescribe(const char* name, int32_t sqlType, uint32_t textType,
                           uint32_t size) noexcept;

// True when the connection delivers catalog texts as wide text.
bool CatWide(const InfCursor* cur) noexcept;
// The application's ODBC version is 3.
bool CatOdbc3(const InfCursor* cur) noexcept;

// The template arguments of one catalog call. Names are pasted between quotes,
// so each quote character in them is doubled. A search pattern is judged once:
// argument n + kCatDecision holds "%" when it is a pattern and "" when it is an
// exact name, and the templates test that argument, never the name itself, so
// that every test of a template agrees; an exact name whose wildcards were all
// escaped is inserted without those escapes. Copies live as long as the record.
inline constexpr int kCatDecision = 10;

class CatalogArgs {
 public:
  // A name compared with "=" only.
  void name(int n, const char* text);
  // A search pattern.
  void pattern(int n, const char* text);
  // A schema name or pattern: a leading quote character is dropped, and a
  // trailing one with it.
  void schema(int n, const char* text, bool isPattern);
  // Template text of the agent's own, inserted as it is.
  void literal(int n, const std::string& text);
  char* const* args();
  uint32_t count() const { return 2 * kCatDecision; }

 private:
  std::array<std::string, 2 * kCatDecision> text_;
  std::array<bool, 2 * kCatDecision> set_{};
  std::array<char*, 2 * kCatDecision> ptr_{};
};

// The fetch of a type-information cursor (kind 2): up to rows rows of the
// listing into ds, laid out from the cursor's description; an empty Dataset
// once the listing is exhausted.
[[nodiscard]] int32_t TypeInfoFetch(InfCursor* cur, uint16_t rows, Dataset* ds) noexcept;

// Every INF_DD* slot looks its cursor up through this (an unknown handle or a
// missing argument record is ERR_ARGUMENT); an allocation failure of its
// argument copies becomes ERR_MEMORY here, the module's edge.
template <typename F>
int32_t CatalogCall(DrvHandle hCursor, const void* args, F&& body) noexcept {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr || args == nullptr) return ERR_ARGUMENT;
  try {
    return body(cur);
  } catch (...) {
    return ERR_MEMORY;
  }
}
