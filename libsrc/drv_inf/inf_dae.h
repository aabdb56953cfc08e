#pragma once
// inf_dae.h -- data at execution in the agent: the start of the dialogue for an
// execution, and the release of what a cursor collected. The two slots
// (INF_ParamData, INF_PutData) are in inf_ops.h, the start for a SetPos, which
// the cursor layer calls, in drv/layercalls.h.
// Threading: one call at a time per cursor.

#include <cstdint>

#include "drv_inf/inf_types.h"

// 0 when the cursor's parameter Dataset has no cell marked DS_IND_DAE (the
// execution goes on at once), ERR_NEED_DAE when values are wanted first,
// ERR_MEMORY when the piece buffers cannot be had.
[[nodiscard]] int32_t DAEStartExecute(InfCursor* cur) noexcept;

// Ends any dialogue under way and frees every piece collected: a closed,
// re-prepared or freed cursor keeps nothing of it.
void DaeReset(InfCursor* cur) noexcept;
