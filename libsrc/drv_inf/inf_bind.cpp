// inf_bind.cpp -- binds a DriverRecord to the Informix agent's table.
// The wrapping order is fixed: the cursor layer always wraps INF_Ops and the XA
// proxy always wraps the cursor layer's table, so every call passes the proxy,
// then the cursor layer, then the agent.
// Threading: runs at library start-up and inside the connect (under DriverLock);
// the wrappers make their copies once per process.

#include "drv_inf/inf_bind.h"

#include "scrs/scs.h"
#include "xa/xap.h"

int32_t INF_Bind(DriverRecord* rec) {
  rec->ops = &INF_Ops;
  rec->caps = DRV_CAP_THREADSAFE;
  (void)SCR_Interpose(rec);
  (void)XAP_Install(rec);
  return 0;
}
