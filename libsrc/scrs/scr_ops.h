#pragma once
// scr_ops.h -- the cursor layer's operation table, as the composition of the
// driver installs it over the agent's.

#include <cstdint>

#include "drv/drvops.h"

// Fills the table in rec->ops into the cursor layer's copy on the first call in
// the process and points rec->ops at that copy on every call. -> 0.
int32_t SCR_Interpose(DriverRecord* rec);

// Fills the slots of the operations that bundle several steps in the layer's
// table, whose single operations must be the layer's own already; the bundles
// run those. Called by SCR_Interpose.
void SCR_FillCombined(DriverOps* layerTable);
