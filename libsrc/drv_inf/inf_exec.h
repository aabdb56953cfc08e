#pragma once
// inf_exec.h -- executing a prepared statement with its parameter rows.

#include <cstdint>
#include <string>

#include "drv_inf/inf_types.h"

[[nodiscard]] int32_t ExecuteCore(InfCursor* cur) noexcept;
[[nodiscard]] int32_t OpenSelect(InfCursor* cur, uint16_t row) noexcept;
// Binds parameter row `row` into the input area (host variables and conversions).
[[nodiscard]] int32_t BindParams(InfCursor* cur, uint32_t row) noexcept;
[[nodiscard]] int32_t AllocInputSqlda(InfCursor* cur) noexcept;
[[nodiscard]] int32_t MergeHiddenParams(InfCursor* cur) noexcept;
[[nodiscard]] int32_t MergeHiddenParamTypes(InfCursor* cur) noexcept;
[[nodiscard]] int32_t MergeHiddenParamInfo(InfCursor* cur) noexcept;
// Inserts the hidden literals as columns of ds, holding their value in every row.
[[nodiscard]] int32_t InsertHiddenParamValues(Dataset* ds, const InfHiddenParam* hidden,
                                              int32_t count) noexcept;
void ConvertParams(InfCursor* cur) noexcept;
void DecimalParamsAsText(InfCursor* cur) noexcept;
// Locale-independent "%*.*f": the value with `scale` decimals, right-aligned in `width`.
std::string FormatFixed(double v, int width, int scale);
