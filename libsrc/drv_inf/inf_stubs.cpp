// inf_stubs.cpp -- operations of the agent that are not built yet: each answers
// "not capable" so that a caller gets a clear diagnostic instead of a crash.

#include "drv_inf/inf_ops.h"
#include "odbc/errtab.h"
#include "xa/xa_types.h"

int32_t INF_DDColumnPrivileges(DrvHandle hCursor, const DDColumnArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDColumns(DrvHandle hCursor, const DDColumnArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDForeignKeys(DrvHandle hCursor, const DDForeignKeyArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDPrimaryKeys(DrvHandle hCursor, const DDObjectArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDProcedureColumns(DrvHandle hCursor, const DDColumnArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDProcedures(DrvHandle hCursor, const DDObjectArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDSpecialColumns(DrvHandle hCursor, const DDSpecialColumnArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDStatistics(DrvHandle hCursor, const DDStatisticsArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDTablePrivileges(DrvHandle hCursor, const DDObjectArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDTables(DrvHandle hCursor, const DDTablesArgs* args) { return ERR_NOT_CAPABLE; }
int32_t INF_DDTypeInfo(DrvHandle hCursor, int16_t sqlType) { return ERR_NOT_CAPABLE; }
int32_t INF_ParamData(DrvHandle hCursor, int32_t* index, int32_t* row, uint16_t** setPosStatuses, int32_t* count) { return ERR_NOT_CAPABLE; }
int32_t INF_PutData(DrvHandle hCursor, uint32_t dsType, int16_t indicator, const void* data, int32_t length) { return ERR_NOT_CAPABLE; }
int INF_XaClose(DrvHandle hConn, const char* xaInfo, int rmid, long flags) { return XAER_RMERR; }
int INF_XaCommit(DrvHandle hConn, XID* xid, int rmid, long flags) { return XAER_RMERR; }
int INF_XaComplete(DrvHandle hConn, int* handle, int* retval, int rmid, long flags) { return XAER_RMERR; }
int INF_XaEnd(DrvHandle hConn, XID* xid, int rmid, long flags) { return XAER_RMERR; }
int INF_XaForget(DrvHandle hConn, XID* xid, int rmid, long flags) { return XAER_RMERR; }
int INF_XaOpen(DrvHandle hConn, int32_t useWorker, const char* xaInfo, int rmid, long flags) { return XAER_RMERR; }
int INF_XaPrepare(DrvHandle hConn, XID* xid, int rmid, long flags) { return XAER_RMERR; }
int INF_XaRecover(DrvHandle hConn, XID* xids, long count, int rmid, long flags) { return XAER_RMERR; }
int INF_XaRollback(DrvHandle hConn, XID* xid, int rmid, long flags) { return XAER_RMERR; }
int INF_XaStart(DrvHandle hConn, XID* xid, int rmid, long flags) { return XAER_RMERR; }
