#pragma once
// xap.h -- the XA proxy's operation table, as the composition of the driver
// installs it over the cursor layer's.
// Not here: what the agent and the core call of the XA support
// (drv/layercalls.h).

#include <cstdint>

#include "drv/drvops.h"

// Wraps the table in rec->ops (once per process) and points rec->ops at the
// proxy's copy. 43 (ERR_NOT_CAPABLE) when rec->caps is 0: nothing is installed.
int32_t XAP_Install(DriverRecord* rec);
