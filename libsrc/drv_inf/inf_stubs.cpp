// inf_stubs.cpp -- the agent's slots for data at execution, which this agent
// does not provide: each answers a clear code (ERR_SEQUENCE where nothing can
// be pending) instead of leaving the caller a crash or a silent success.

#include "drv/errtab.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_types.h"

namespace {
int32_t onCursor(DrvHandle h, int32_t code) {
  return InfCursorLookup(h) != nullptr ? code : ERR_ARGUMENT;
}
}  // namespace

// Execute refuses values marked for data at execution, so none is ever pending.
int32_t INF_ParamData(DrvHandle h, int32_t*, int32_t*, uint16_t**, int32_t*) {
  return onCursor(h, ERR_SEQUENCE);
}
int32_t INF_PutData(DrvHandle h, uint32_t, int16_t, const void*, int32_t) {
  return onCursor(h, ERR_SEQUENCE);
}
