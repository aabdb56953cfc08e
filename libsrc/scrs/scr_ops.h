#pragma once
// scr_ops.h -- the cursor layer's operation table, as the composition of the
// driver installs it over the agent's.

#include <cstdint>

#include "drv/drvops.h"

// Fills the table in rec->ops into the cursor layer's copy on the first call in
// the process and points rec->ops at that copy on every call. -> 0.
int32_t SCR_Interpose(DriverRecord* rec);
