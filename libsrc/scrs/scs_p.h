#pragma once
// scs_p.h -- routines shared inside the cursor layer: an agent cursor's
// context and the kept parameter type lists.
// Threading: as the context they work on.

#include <cstdint>

#include "drv/scs.h"

// An agent cursor's context, with what the agent says of its connection.
// 0 or ERR_MEMORY.
int32_t SCS_InitCursor(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner);
// Releases everything an agent cursor's context holds.
void SCS_FreeCursor(SCS* scs);

// Replaces *list by a copy of n entries (none for n 0). 0 or ERR_MEMORY, with
// the old list kept on failure.
int32_t scs_p_SetParamTypes(ParamShadow** list, uint16_t* count, uint16_t n,
                            const ParamShadow* entries);
