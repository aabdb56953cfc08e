#pragma once
// inf_ops.h -- the Informix agent's table (INF_Ops) and its operations, in
// slot order, and the two small parts of the table's contract that the agent
// answers itself: the conversion table and the negotiation of cursor type and
// concurrency.
// Every slot looks its handle up first; an unknown handle answers ERR_ARGUMENT.

#include <cstdint>

#include "drv/drvops.h"

struct SCS;
struct InfConn;

// The agent's own table; the composition of the driver installs it and lets
// the cursor layer and the XA proxy wrap it.
extern const DriverOps INF_Ops;

int32_t INF_GetInfo(DrvHandle h, DriverPropId id, void* buf, uint16_t bufLen, uint16_t* outLen);
int32_t INF_SetOption(DrvHandle h, DriverPropId id, const void* value);
int32_t INF_GetErrors(DrvHandle h, DriverMessageList* out);
int32_t INF_AllocServer(const DriverServerArgs* args, DrvHandle* hServer);
int32_t INF_EndServer(DrvHandle hServer);
int32_t INF_Connect(DrvHandle hServer, const DriverConnectParams* params, DrvHandle* hConn);
int32_t INF_EndConnect(DrvHandle hConn);
int32_t INF_AllocCursor(DrvHandle hConn, DrvHandle* hCursor);
int32_t INF_EndCursor(DrvHandle hCursor);
int32_t INF_GetCursorName(DrvHandle hCursor, char* buf, uint16_t bufSize, int16_t* outLen);
int32_t INF_SetCursorName(DrvHandle hCursor, const char* name);
int32_t INF_Prepare(DrvHandle hCursor, const char* sql);
int32_t INF_SetParams(DrvHandle hCursor, Dataset* params);
int32_t INF_Execute(DrvHandle hCursor);
int32_t INF_Reserved14(DrvHandle hCursor, uint32_t a, uint32_t b, uint32_t c);
int32_t INF_DescribeColumns(DrvHandle hCursor, uint16_t* count, ColumnInfo** cols);
int32_t INF_DescribeParams(DrvHandle hCursor, uint16_t* count, ColumnInfo** params);
int32_t INF_NativeSql(DrvHandle hConn, const char* sql, char* buf, uint32_t bufSize,
                      int16_t* outLen);
int32_t INF_SetParamTypes(DrvHandle hCursor, uint16_t count, const ParamShadow* types);
int32_t Fetch(DrvHandle hCursor, uint16_t rows, Dataset* data);
int32_t INF_CloseCursor(DrvHandle hCursor);
int32_t INF_Commit(DrvHandle hConn);
int32_t INF_Rollback(DrvHandle hConn);
int32_t INF_GetOpTable(DrvHandle hConn, OpTable* table);
int32_t INF_MoreResults(DrvHandle hCursor);
int32_t INF_DDColumnPrivileges(DrvHandle hCursor, const DDColumnArgs* args);
int32_t INF_DDColumns(DrvHandle hCursor, const DDColumnArgs* args);
int32_t INF_DDForeignKeys(DrvHandle hCursor, const DDForeignKeyArgs* args);
int32_t INF_DDPrimaryKeys(DrvHandle hCursor, const DDObjectArgs* args);
int32_t INF_DDProcedureColumns(DrvHandle hCursor, const DDColumnArgs* args);
int32_t INF_DDProcedures(DrvHandle hCursor, const DDObjectArgs* args);
int32_t INF_DDSpecialColumns(DrvHandle hCursor, const DDSpecialColumnArgs* args);
int32_t INF_DDStatistics(DrvHandle hCursor, const DDStatisticsArgs* args);
int32_t INF_DDTablePrivileges(DrvHandle hCursor, const DDObjectArgs* args);
int32_t INF_DDTables(DrvHandle hCursor, const DDTablesArgs* args);
int32_t INF_DDTypeInfo(DrvHandle hCursor, int16_t sqlType);
int32_t INF_ParamData(DrvHandle hCursor, int32_t* index, int32_t* row, uint16_t** setPosStatuses,
                      int32_t* count);
int32_t INF_PutData(DrvHandle hCursor, uint32_t dsType, int16_t indicator, const void* data,
                    int32_t length);
int32_t INF_GetLongData(DrvHandle hCursor, uint32_t column, uint32_t row, uint32_t maxUnits,
                        void** data, uint32_t* left, uint32_t* type, int32_t* total);
int32_t INF_PrepareExecute(DrvHandle hCursor, const char* sql, Dataset* params, uint16_t typeCount,
                           const ParamShadow* types);
int32_t INF_ColAttributes(DrvHandle hCursor, uint16_t* colCount, int16_t* attrCount,
                          ColumnInfo** cols, ColAttr** attrs);
int32_t INF_Cancel(DrvHandle hCursor);
int INF_XaClose(DrvHandle hConn, const char* xaInfo, int rmid, long flags);
int INF_XaCommit(DrvHandle hConn, XID* xid, int rmid, long flags);
int INF_XaComplete(DrvHandle hConn, int* handle, int* retval, int rmid, long flags);
int INF_XaEnd(DrvHandle hConn, XID* xid, int rmid, long flags);
int INF_XaForget(DrvHandle hConn, XID* xid, int rmid, long flags);
int INF_XaOpen(DrvHandle hConn, int32_t useWorker, const char* xaInfo, int rmid, long flags);
int INF_XaPrepare(DrvHandle hConn, XID* xid, int rmid, long flags);
int INF_XaRecover(DrvHandle hConn, XID* xids, long count, int rmid, long flags);
int INF_XaRollback(DrvHandle hConn, XID* xid, int rmid, long flags);
int INF_XaStart(DrvHandle hConn, XID* xid, int rmid, long flags);
// An XA branch replaces the connection's ordinary session: released (rolled
// back and disconnected) before the branch opens, restored (connected again,
// autocommit as at connect, left dormant) after it closes or when the open is
// refused. -> 0 or a driver error code.
int32_t INF_XaReleaseSession(InfConn* conn) noexcept;
int32_t INF_XaRestoreSession(InfConn* conn) noexcept;
// The client switch that the first XA open of the process copies (the
// runtime's when never set). Tests set it before any open.
void InfXaUseClientSwitch(const struct xa_switch_t* source);

// Cursor type (6) and concurrency (7) against what the back end reports through
// the cursor layer: 0 as asked, ERR_OPTION_CHANGED with a fallback in *value,
// ERR_NOT_CAPABLE when neither the value nor a fallback is supported.
int32_t INF_NegotiateOption(const SCS* scs, int32_t option, int32_t* value);
// The same walk against a supported mask already known (the GetInfo answer).
int32_t NegotiateOptionMask(int32_t option, uint32_t supported, int32_t* value);
// The SQL_SCROLL_OPTIONS answer: forward-only and static with dynamic-cursor
// sensitivity DISABLED, else every type.
int32_t INF_ScrollOptions(const InfConn* conn);
// The DRVP_CAPABILITIES answer.
int32_t InfCapabilityMask(const InfConn* conn);
