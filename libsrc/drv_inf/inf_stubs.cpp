// inf_stubs.cpp -- the agent's slots for data at execution and XA branches,
// which this agent does not provide: each answers a clear code (22 where
// nothing can be pending, an XA error) instead of leaving the caller a crash or
// a silent success.

#include "drv/errtab.h"
#include "drv/xa_types.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_types.h"

namespace {
int32_t onCursor(DrvHandle h, int32_t code) {
  return InfCursorLookup(h) != nullptr ? code : ERR_ARGUMENT;
}
int onConn(DrvHandle h) { return InfConnLookup(h) != nullptr ? XAER_RMERR : XAER_INVAL; }
}  // namespace

// Execute refuses values marked for data at execution, so none is ever pending.
int32_t INF_ParamData(DrvHandle h, int32_t*, int32_t*, uint16_t**, int32_t*) {
  return onCursor(h, ERR_SEQUENCE);
}
int32_t INF_PutData(DrvHandle h, uint32_t, int16_t, const void*, int32_t) {
  return onCursor(h, ERR_SEQUENCE);
}

int INF_XaClose(DrvHandle h, const char*, int, long) { return onConn(h); }
int INF_XaCommit(DrvHandle h, XID*, int, long) { return onConn(h); }
int INF_XaComplete(DrvHandle h, int*, int*, int, long) { return onConn(h); }
int INF_XaEnd(DrvHandle h, XID*, int, long) { return onConn(h); }
int INF_XaForget(DrvHandle h, XID*, int, long) { return onConn(h); }
int INF_XaOpen(DrvHandle h, int32_t, const char*, int, long) { return onConn(h); }
int INF_XaPrepare(DrvHandle h, XID*, int, long) { return onConn(h); }
int INF_XaRecover(DrvHandle h, XID*, long, int, long) { return onConn(h); }
int INF_XaRollback(DrvHandle h, XID*, int, long) { return onConn(h); }
int INF_XaStart(DrvHandle h, XID*, int, long) { return onConn(h); }
