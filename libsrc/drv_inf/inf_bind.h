#pragma once
// inf_bind.h -- binding a DriverRecord to the Informix agent.

#include <cstdint>

#include "drv_inf/drvops.h"

// Installs INF_Ops with caps DRV_CAP_THREADSAFE, then lets the cursor layer and
// the XA proxy wrap it, in that order. -> 0.
int32_t INF_Bind(DriverRecord* rec);
