#pragma once
// inf_proccols.h -- procedure columns read from the text of stored procedures:
// the parameter list and the RETURNING clause of each procedure's header become
// the ProcedureColumns result, built whole in memory on the cursor; the same
// result describes the parameters of a procedure call.
// Threading: on the caller's thread under the connection's call lock.

#include <cstdint>
#include <string>
#include <vector>

#include "drv_inf/inf_catalog.h"

// One parameter or return value of a procedure, as its header declares it.
struct ProcColumn {
  std::string schema;
  std::string procedure;
  int32_t procedureId = 0;
  int32_t ordinal = 0;     // from 1, in the parameter list and again in the return list
  int32_t columnType = 0;  // 1 input parameter, 5 return value
  std::string name;        // "RETURN VALUE" for a return value
  std::string typeName;    // normalised, upper case
  int32_t size = 0;
  int32_t scale = 0;
  int32_t nullable = 2;
  std::string defaultText;  // empty: none
};

// Parses one procedure's text into its columns: 0, ERR_GENERAL without a
// parameter list, ERR_SYNTAX for one whose parentheses do not balance.
[[nodiscard]] int32_t ProcTextParse(const std::string& schema, const std::string& name, int32_t id,
                                    const std::string& text, std::vector<ProcColumn>* out);

// Replaces the executed procedure-text query on the cursor by the in-memory
// ProcedureColumns result, keeping the columns whose names match the pattern
// (null, empty or "%": all). 0 or a driver error code; after a failure the
// cursor holds no result.
[[nodiscard]] int32_t ProcColumnsResult(InfCursor* cur, const char* columnPattern) noexcept;

// The fetch of a procedure-columns cursor (kind 3): the next rows of the
// in-memory result, an empty Dataset once they are all delivered.
[[nodiscard]] int32_t ProcColumnsFetch(InfCursor* cur, uint16_t rows, Dataset* ds) noexcept;

// The result types the application sees.
const CatalogResultType* ProcColumnsResultTypes() noexcept;

// Describes the parameters of a prepared procedure call from the procedure's
// text: names, types, sizes, in marker order (for "? = call" the first marker
// is the return value). Sets paramsDescribed on success.
[[nodiscard]] int32_t DescribeProcParams(InfCursor* cur) noexcept;

// Describes the parameters of a prepared statement before its execute: a
// procedure call from the procedure's text, any other statement from the
// result columns of the probe queries the SQL analysis writes for it; a
// statement the analysis cannot fit keeps its default descriptions
// (inf_describe.cpp). Sets paramsDescribed on success.
[[nodiscard]] int32_t DescribeParamsEarly(InfCursor* cur) noexcept;
