// inf_stubs.cpp -- operations of the agent that are not built yet: each answers
// "not capable" so that a caller gets a clear diagnostic instead of a crash.

#include "drv_inf/inf_ops.h"
#include "odbc/errtab.h"
#include "xa/xa_types.h"

int32_t INF_GetInfo(DrvHandle h, DriverPropId id, void* buf, uint16_t bufLen, uint16_t* outLen) { return ERR_NOT_CAPABLE; }
int32_t INF_SetOption(DrvHandle h, DriverPropId id, const void* value) { return ERR_NOT_CAPABLE; }
int32_t INF_GetErrors(DrvHandle h, DriverMessageList* out) { return ERR_NOT_CAPABLE; }
int32_t INF_AllocServer(const DriverServerArgs* args, DrvHandle* hServer) { return ERR_NOT_CAPABLE; }
int32_t INF_EndServer(DrvHandle hServer) { return ERR_NOT_CAPABLE; }
int32_t INF_Connect(DrvHandle hServer, const DriverConnectParams* params, DrvHandle* hConn) { return ERR_NOT_CAPABLE; }
int32_t INF_EndConnect(DrvHandle hConn) { return ERR_NOT_CAPABLE; }
int32_t INF_AllocCursor(DrvHandle hConn, DrvHandle* hCursor) { return ERR_NOT_CAPABLE; }
int32_t INF_EndCursor(DrvHandle hCursor) { return ERR_NOT_CAPABLE; }
int32_t INF_GetCursorName(DrvHandle hCursor, char* buf, uint16_t bufSize, int16_t* outLen) { return ERR_NOT_CAPABLE; }
int32_t INF_SetCursorName(DrvHandle hCursor, const char* name) { return ERR_NOT_CAPABLE; }
int32_t INF_Prepare(DrvHandle hCursor, const char* sql) { return ERR_NOT_CAPABLE; }
int32_t INF_SetParams(DrvHandle hCursor, Dataset* params) { return ERR_NOT_CAPABLE; }
int32_t INF_Execute(DrvHandle hCursor) { return ERR_NOT_CAPABLE; }
int32_t INF_Reserved14(DrvHandle hCursor, uint32_t a, uint32_t b, uint32_t c) { return ERR_NOT_CAPABLE; }
int32_t INF_DescribeColumns(DrvHandle hCursor, uint16_t* count, ColumnInfo** cols) { return ERR_NOT_CAPABLE; }
int32_t INF_DescribeParams(DrvHandle hCursor, uint16_t* count, ColumnInfo** params) { return ERR_NOT_CAPABLE; }
int32_t INF_SetParamTypes(DrvHandle hCursor, uint16_t count, const ParamShadow* types) { return ERR_NOT_CAPABLE; }
int32_t Fetch(DrvHandle hCursor, uint16_t rows, Dataset* data) { return ERR_NOT_CAPABLE; }
int32_t INF_CloseCursor(DrvHandle hCursor) { return ERR_NOT_CAPABLE; }
int32_t INF_Commit(DrvHandle hConn) { return ERR_NOT_CAPABLE; }
int32_t INF_Rollback(DrvHandle hConn) { return ERR_NOT_CAPABLE; }
int32_t INF_MoreResults(DrvHandle hCursor) { return ERR_NOT_CAPABLE; }
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
int32_t INF_GetLongData(DrvHandle hCursor, uint32_t column, uint32_t row, uint32_t maxUnits, void** data, uint32_t* left, uint32_t* type, int32_t* total) { return ERR_NOT_CAPABLE; }
int32_t INF_PrepareExecute(DrvHandle hCursor, const char* sql, Dataset* params, uint16_t typeCount, const ParamShadow* types) { return ERR_NOT_CAPABLE; }
int32_t INF_ColAttributes(DrvHandle hCursor, uint16_t* colCount, int16_t* attrCount, ColumnInfo** cols, ColAttr** attrs) { return ERR_NOT_CAPABLE; }
int32_t INF_Cancel(DrvHandle hCursor) { return ERR_NOT_CAPABLE; }
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
