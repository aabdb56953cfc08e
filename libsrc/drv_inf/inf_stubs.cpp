// inf_stubs.cpp -- the agent's slots for catalog results, type information, data
// at execution and XA branches, which this agent does not provide: each answers
// a clear code (43 "not capable", or 22 where nothing can be pending) instead of
// leaving the caller a crash or a silent success.

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

int32_t INF_DDColumnPrivileges(DrvHandle h, const DDColumnArgs*) {
  return onCursor(h, ERR_NOT_CAPABLE);
}
int32_t INF_DDColumns(DrvHandle h, const DDColumnArgs*) { return onCursor(h, ERR_NOT_CAPABLE); }
int32_t INF_DDForeignKeys(DrvHandle h, const DDForeignKeyArgs*) {
  return onCursor(h, ERR_NOT_CAPABLE);
}
int32_t INF_DDPrimaryKeys(DrvHandle h, const DDObjectArgs*) { return onCursor(h, ERR_NOT_CAPABLE); }
int32_t INF_DDProcedureColumns(DrvHandle h, const DDColumnArgs*) {
  return onCursor(h, ERR_NOT_CAPABLE);
}
int32_t INF_DDProcedures(DrvHandle h, const DDObjectArgs*) { return onCursor(h, ERR_NOT_CAPABLE); }
int32_t INF_DDSpecialColumns(DrvHandle h, const DDSpecialColumnArgs*) {
  return onCursor(h, ERR_NOT_CAPABLE);
}
int32_t INF_DDStatistics(DrvHandle h, const DDStatisticsArgs*) {
  return onCursor(h, ERR_NOT_CAPABLE);
}
int32_t INF_DDTablePrivileges(DrvHandle h, const DDObjectArgs*) {
  return onCursor(h, ERR_NOT_CAPABLE);
}
int32_t INF_DDTables(DrvHandle h, const DDTablesArgs*) { return onCursor(h, ERR_NOT_CAPABLE); }
int32_t INF_DDTypeInfo(DrvHandle h, int16_t) { return onCursor(h, ERR_NOT_CAPABLE); }

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
