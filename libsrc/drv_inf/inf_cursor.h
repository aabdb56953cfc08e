#pragma once
// inf_cursor.h -- the agent's cursors until they are prepared, described and
// declared: the steps other areas of the agent share.

#include <cstdint>

#include "drv_inf/inf_types.h"

// Closes the runtime cursor when open and clears the execution state.
[[nodiscard]] int32_t CloseCursorCore(InfCursor* cur) noexcept;
// Back to the allocated state; a failing close leaves everything as it was.
[[nodiscard]] int32_t UnPrepareCursor(InfCursor* cur) noexcept;
// Gives the cursor a description number no cursor had before (DRVP_DESCRIPTION):
// whatever was told of its result may differ from now on.
void InfDescriptionChanged(InfCursor* cur) noexcept;
// Builds `results` from `outputArea`.
[[nodiscard]] int32_t DescribeOutput(InfCursor* cur) noexcept;
// After an OPEN: describes the result again when the runtime says the statement was
// translated afresh with other columns (its tables changed since the prepare).
[[nodiscard]] int32_t RedescribeIfReshaped(InfCursor* cur) noexcept;
// One VARCHAR description per '?'; an INSERT takes its described target columns.
[[nodiscard]] int32_t DescribeParamsDefault(InfCursor* cur) noexcept;
// Declares the runtime cursor under the cursor's current name when it is not
// declared under it yet (a name set after the prepare takes effect here).
[[nodiscard]] int32_t InfEnsureDeclared(InfCursor* cur) noexcept;

// The -309 retry: the statement with qualifier.column added to its select list
// before the first FROM, or null when no single qualifier can be found. The
// column is the object name of the -309. malloc'd.
char* RewriteOrderBy(int delimIdent, const char* text, const char* column) noexcept;

// The result descriptions of "select * from <table>", from a scratch cursor.
[[nodiscard]] int32_t SMDColumns(InfCursor* cur, const char* table, uint16_t* count,
                                 ColumnInfo** info) noexcept;

// The -617 retry (inf_blob.cpp).
[[nodiscard]] int32_t RewriteBlobLiterals(InfCursor* cur) noexcept;
void HiddenParamsFree(InfHiddenParam* list, int32_t count) noexcept;

// The most -309 retries of one prepare.
inline constexpr int kMaxOrderByRetries = 16;
