#pragma once
// xap.h -- the XA thread proxy: the driver operation table that runs an XA
// connection's back-end work on that connection's own worker thread.
// The Informix client binds an XA branch to the thread that opened it, while
// applications, transaction monitors and DTC call from threads of their own:
// while a connection has an open branch, its statement and cursor operations,
// and always its XA operations once it has a worker, are handed to the worker
// and the caller waits for them. Connections without a worker pass straight
// through to the table below.
// Not here: what the agent and the core call of the XA support
// (drv/layercalls.h).

#include <cstdint>

#include "drv/drvops.h"

// Wraps the table in rec->ops (the copy is made once per process) and points
// rec->ops at the proxy's copy. ERR_NOT_CAPABLE when rec->caps is 0: nothing
// is installed.
int32_t XAP_Install(DriverRecord* rec);
