#pragma once
// drvops.h -- the contract between the generic ODBC layer and a database back end.
// A connection reaches its back end only through the DriverOps table of its
// DriverRecord; every layer below the generic workers (the XA proxy, the cursor
// layer, the Informix agent) implements or wraps that table slot for slot, so the
// rules written here hold at every level of the chain.
// Only 32-bit agent handles cross the table; every slot answers a driver error
// code (errtab.h), 0 for success, except the XA slots, which answer X/Open codes.
// Records handed up by a slot (descriptions, message lists) become the caller's.

#include <sqlext.h>

#include <cstddef>
#include <cstdint>

struct Dataset;         // dataset.h: column-wise rows, the one form values travel in
struct ColumnInfo;      // colinfo.h: 112-byte description of a column or parameter
struct ColAttr;         // colinfo.h: per-column attribute override
struct RowStatusTable;  // rowstatus.h: one rowset with its row statuses
struct XID;             // xa_types.h: X/Open transaction identifier

// An agent handle: table tag << 16 | slot (HTAG_SERVER, HTAG_CONN, HTAG_CURSOR).
using DrvHandle = uint32_t;

// ---------------------------------------------------------------------------
// Capability bits of DriverRecord::caps.
// The back end may be entered by several threads at once: the generic layer
// then runs workers without GlobalSerialLock.
inline constexpr uint32_t DRV_CAP_THREADSAFE = 0x2;
// The generic layer keeps ownership of the parameter Dataset and of the SetPos
// and bulk rows it hands down, and frees them after the call. Without it (the
// Informix agent) those records belong to the back end once handed over.
inline constexpr uint32_t DRV_CAP_CALLER_OWNS_DATA = 0x1;
inline constexpr uint32_t DRV_CAP_FREEPARAMS = DRV_CAP_CALLER_OWNS_DATA;

struct DriverOps;

// One per process (bound at start-up) and one in every connection (bound by
// the connect). caps == 0 means "nothing bound": the XA proxy then stays out.
struct DriverRecord {
  uint32_t caps;         // DRV_CAP_* bits
  const DriverOps* ops;  // the table in force (the outermost interposed copy)
};

// ---------------------------------------------------------------------------
// DriverPropId: the item id of DRV_GetInfo and DRV_SetOption.
//   bits 28-31 class: 1 server, 2 connection, 3 cursor (the handle passed must match)
//   bits 24-27 value kind: 1 text (NUL-terminated, cut to the buffer), 2 32-bit integer
//   bits 16-23 group: 0x01 back-end facts and private settings, 0x02 connection text
//              setting, 0x03 numbered like the ODBC connection attributes / ODBC 2
//              statement options, 0x04 the ODBC SQLGetInfo item of that number
//   bits 0-15  item number
using DriverPropId = uint32_t;

inline constexpr uint32_t DRVP_CLASS_SERVER = 1;
inline constexpr uint32_t DRVP_CLASS_CONN = 2;
inline constexpr uint32_t DRVP_CLASS_CURSOR = 3;
inline constexpr uint32_t DRVP_KIND_TEXT = 1;
inline constexpr uint32_t DRVP_KIND_INT = 2;
inline constexpr uint32_t DRVP_GROUP_AGENT = 0x01;  // the back end's own numbering
inline constexpr uint32_t DRVP_GROUP_CONN_TEXT = 0x02;
inline constexpr uint32_t DRVP_GROUP_ATTR = 0x03;     // ODBC attribute and option numbers
inline constexpr uint32_t DRVP_GROUP_GETINFO = 0x04;  // ODBC SQLGetInfo item numbers

constexpr uint32_t DrvpClass(DriverPropId id) { return id >> 28; }
constexpr uint32_t DrvpKind(DriverPropId id) { return (id >> 24) & 0xF; }
constexpr uint32_t DrvpGroup(DriverPropId id) { return (id >> 16) & 0xFF; }
constexpr uint32_t DrvpItem(DriverPropId id) { return id & 0xFFFF; }
constexpr DriverPropId DrvpMake(uint32_t cls, uint32_t kind, uint32_t group, uint32_t item) {
  return (cls << 28) | (kind << 24) | (group << 16) | (item & 0xFFFF);
}
// An item of the back end's own numbering.
constexpr DriverPropId DrvpAgent(uint32_t cls, uint32_t kind, uint32_t item) {
  return DrvpMake(cls, kind, DRVP_GROUP_AGENT, item);
}
// An item numbered like the ODBC connection attribute or statement option.
constexpr DriverPropId DrvpAttr(uint32_t cls, uint32_t kind, uint32_t item) {
  return DrvpMake(cls, kind, DRVP_GROUP_ATTR, item);
}

inline constexpr DriverPropId DRVP_AGENT_ID = DrvpAgent(DRVP_CLASS_SERVER, DRVP_KIND_TEXT, 0x00);
inline constexpr DriverPropId DRVP_CURRENT_DB = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_TEXT, 0x0D);
inline constexpr DriverPropId DRVP_CAPS_STRING = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_TEXT, 0x10);
inline constexpr DriverPropId DRVP_AGENT_CODE = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x01);
inline constexpr DriverPropId DRVP_NEEDBIND = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x02);
inline constexpr DriverPropId DRVP_MORE_RESULTS = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x03);
inline constexpr DriverPropId DRVP_PARAM_OP = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x04);
inline constexpr DriverPropId DRVP_SPOUT_DEFER = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x05);
inline constexpr DriverPropId DRVP_SCROLL_CURSORS = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x06);
inline constexpr DriverPropId DRVP_LOCK_ROWS = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x07);
inline constexpr DriverPropId DRVP_DYNMIX_CURSORS = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x08);
inline constexpr DriverPropId DRVP_MAX_PARAMS = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x09);
inline constexpr DriverPropId DRVP_V2DAE = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x0A);
inline constexpr DriverPropId DRVP_ROW_VERSIONS = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x0B);
inline constexpr DriverPropId DRVP_ODBC_VERSION = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x0C);
inline constexpr DriverPropId DRVP_EXECUTE2 = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x0E);
inline constexpr DriverPropId DRVP_DEFER_LONG = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x0F);
inline constexpr DriverPropId DRVP_CAPABILITIES = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x11);
inline constexpr DriverPropId DRVP_WIDE = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x13);
// Two back-end facts without a name of their own: digits 8 and 9 of the
// capability string.
inline constexpr DriverPropId DRVP_CAPS_DIGIT8 = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x14);
inline constexpr DriverPropId DRVP_CAPS_DIGIT9 = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x15);
inline constexpr DriverPropId DRVP_FLAG80_OPTION = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x16);
inline constexpr DriverPropId DRVP_XA_KEEP_WORKER = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x17);
inline constexpr DriverPropId DRVP_XA_TERMINATE = DrvpAgent(DRVP_CLASS_CONN, DRVP_KIND_INT, 0x18);
inline constexpr DriverPropId DRVP_ROW_COUNT = DrvpAgent(DRVP_CLASS_CURSOR, DRVP_KIND_INT, 0x00);
// A number that moves whenever the cursor's result description may have changed
// (a prepare, a catalog result, a statement the server translated afresh); never
// the same for two descriptions of any cursor. A caller may keep what it was told
// for as long as this number stays.
inline constexpr DriverPropId DRVP_DESCRIPTION = DrvpAgent(DRVP_CLASS_CURSOR, DRVP_KIND_INT, 0x01);

// Driver-specific connection attributes travel as base + attribute number.
inline constexpr DriverPropId DRVP_CONN_ATTR_INT = DrvpAttr(DRVP_CLASS_CONN, DRVP_KIND_INT, 0);
inline constexpr DriverPropId DRVP_CONN_ATTR_TEXT = DrvpAttr(DRVP_CLASS_CONN, DRVP_KIND_TEXT, 0);
// Autocommit and read-only take the first two numbers of the group.
inline constexpr DriverPropId DRVP_AUTOCOMMIT = DRVP_CONN_ATTR_INT + 0;
inline constexpr DriverPropId DRVP_READONLY = DRVP_CONN_ATTR_INT + 1;
inline constexpr DriverPropId DRVP_TXN_ISOLATION = DRVP_CONN_ATTR_INT + SQL_ATTR_TXN_ISOLATION;
inline constexpr DriverPropId DRVP_CURRENT_CATALOG = DRVP_CONN_ATTR_TEXT + SQL_ATTR_CURRENT_CATALOG;
inline constexpr DriverPropId DRVP_FAILOVER_CALLBACK =
    DRVP_CONN_ATTR_INT + 1280;  // the driver's attribute
// ODBC 2 statement option n (1-14) as a cursor setting: base + n; the driver's
// own statement attributes likewise.
inline constexpr DriverPropId DRVP_STMT_OPTION = DrvpAttr(DRVP_CLASS_CURSOR, DRVP_KIND_INT, 0);
inline constexpr DriverPropId DRVP_DESCRIBE_PARAMS = DRVP_STMT_OPTION + 15;
inline constexpr DriverPropId DRVP_ROWID = DRVP_STMT_OPTION + 1048;
inline constexpr DriverPropId DRVP_SERIAL = DRVP_STMT_OPTION + 1049;
inline constexpr DriverPropId DRVP_ATTR_1050 = DRVP_STMT_OPTION + 1050;
inline constexpr DriverPropId DRVP_ATTR_1052 = DRVP_STMT_OPTION + 1052;
inline constexpr DriverPropId DRVP_ATTR_1054 = DRVP_STMT_OPTION + 1054;
// ODBC SQLGetInfo items: base + item number.
inline constexpr DriverPropId DRVP_GETINFO_TEXT =
    DrvpMake(DRVP_CLASS_CONN, DRVP_KIND_TEXT, DRVP_GROUP_GETINFO, 0);
inline constexpr DriverPropId DRVP_GETINFO_INT =
    DrvpMake(DRVP_CLASS_CONN, DRVP_KIND_INT, DRVP_GROUP_GETINFO, 0);

// The encoding is fixed: the ids are the back end's, not the driver's choice.
static_assert(DRVP_CAPABILITIES == 0x22010011 && DRVP_ATTR_1050 == 0x3203041A);

// Bits of the DRVP_CAPABILITIES mask; each sets one capability flag of the
// generic connection record.
inline constexpr uint32_t DRV_CAPBIT_NEEDBIND = 0x1;
inline constexpr uint32_t DRV_CAPBIT_MORE_RESULTS = 0x2;
inline constexpr uint32_t DRV_CAPBIT_PARAM_OP = 0x4;
inline constexpr uint32_t DRV_CAPBIT_SCROLL_CURSORS = 0x8;
inline constexpr uint32_t DRV_CAPBIT_DYNMIX_CURSORS = 0x10;
inline constexpr uint32_t DRV_CAPBIT_V2DAE = 0x20;
inline constexpr uint32_t DRV_CAPBIT_SPOUT_DEFER = 0x40;
inline constexpr uint32_t DRV_CAPBIT_EXECUTE2 = 0x80;
inline constexpr uint32_t DRV_CAPBIT_AUTOCOMMIT = 0x100;
inline constexpr uint32_t DRV_CAPBIT_CONV_INFO = 0x200;
inline constexpr uint32_t DRV_CAPBIT_COL_ATTRS = 0x400;
inline constexpr uint32_t DRV_CAPBIT_PREP_EXEC2 = 0x800;
inline constexpr uint32_t DRV_CAPBIT_MAX_LENGTH = 0x1000;
inline constexpr uint32_t DRV_CAPBIT_DTC = 0x2000;
inline constexpr uint32_t DRV_CAPBIT_FAILOVER = 0x4000;

// ---------------------------------------------------------------------------
// Records crossing the table.

// The first four bytes of the server options of a connection opened through a
// wide entry point. The agent tells a wide connection by them.
inline constexpr char WideConnectMarker[4] = {'W', 0x7F, 0x01, 0x01};

// What DRV_Connect receives. The texts belong to the caller and live only for
// the call; a layer that keeps the record (the cursor layer) copies them.
struct DriverConnectParams {
  const char* target;     // host, or "host:port"
  const char* srvopts;    // server options; WideConnectMarker first for a wide connect
  const char* svtype;     // server type
  const char* dbpath;     // DATABASE value
  const char* dsn;        // data source name, "Default" when none
  const char* dbopts;     // "-V service -S server -H host -P proto" as given
  int32_t readonly;       // 1 for a read-only connection
  const char* uid;        // never null ("" when unset)
  const char* pwd;        // never null ("" when unset)
  uint16_t loginTimeout;  // 99 when the application set a login timeout, else 0
  const char* proto;      // PROTO value
  int32_t flag;           // reserved connection flag, 0
};

// DRV_AllocServer's arguments.
struct DriverServerArgs {
  const char* srvopts;
  const char* svtype;
};

// DRV_GetErrors' output. All texts carry the native code of the first entry.
// The texts and the array are malloc-family allocations (s_alloc, s_strdup);
// the receiver frees them with MessageListFree.
struct DriverMessageList {
  int32_t nativeCode;
  int32_t count;
  char** texts;  // null when count is 0
};

// One row of the back end's conversion table (DRV_GetOpTable type 1).
struct OpTableRow {
  int32_t cType;      // SQL_C_* type
  int32_t sizeLimit;  // 0: no limit
  uint32_t mask;      // conversion bits tested by GetInfo's SQL_CONVERT_* answers
};

// In/out record of DRV_GetOpTable. The rows stay the back end's.
struct OpTable {
  uint16_t type;           // in: 1 asks for the conversion table; 0 after: none held
  uint32_t count;          // out: number of rows
  const OpTableRow* rows;  // out
};

// Parameter type entry sent with DRV_SetParamTypes and DRV_PrepareExecute; the
// generic layer keeps one per bound parameter.
struct ParamShadow {
  int32_t sqlType;
  int32_t cType;
  int32_t columnSize;  // low 32 bits of the column size
  int16_t scale;
  int16_t paramType;  // SQL_PARAM_INPUT ...
};
static_assert(sizeof(ParamShadow) == 16);

// Parameter type entry of DRV_PrepareExecute2 / DRV_SetParamTypes2.
struct ParamTypeEntry {
  ParamShadow shadow;
  char* name;  // the IPD record's SQL_DESC_NAME for a named parameter, or null
};
static_assert(sizeof(ParamTypeEntry) == 24);

// One statement of DRV_ExecuteBatch.
struct DriverBatchEntry {
  const char* text;  // null: execute what is prepared on the cursor
  uint16_t typeCount;
  const ParamShadow* types;
  Dataset* params;  // or null
};

// Catalog arguments: search patterns, null when the application gave none.
struct DDColumnArgs {  // ColumnPrivileges, Columns, ProcedureColumns
  const char* catalog;
  const char* schema;
  const char* object;  // table or procedure
  const char* column;
};
struct DDObjectArgs {  // PrimaryKeys, Procedures, TablePrivileges
  const char* catalog;
  const char* schema;
  const char* object;  // table or procedure
};
struct DDForeignKeyArgs {
  const char* pkCatalog;
  const char* pkSchema;
  const char* pkTable;
  const char* fkCatalog;
  const char* fkSchema;
  const char* fkTable;
};
struct DDSpecialColumnArgs {
  const char* catalog;
  const char* schema;
  const char* table;
  uint16_t identifierType;
  uint16_t scope;
  uint16_t nullable;
};
struct DDStatisticsArgs {
  const char* catalog;
  const char* schema;
  const char* table;
  uint16_t unique;
  uint16_t accuracy;
};
struct DDTablesArgs {
  const char* catalog;
  const char* schema;
  const char* table;
  const char* tableTypes;
};

// ---------------------------------------------------------------------------
// The 66 slots, in their fixed order. An empty slot (null) is an operation the
// table does not provide; the generic layer reaches the slots that the agent
// leaves empty only through tables that fill them. DRV_Reserved50 is never called.
struct DriverOps {
  // 0: text items copied NUL-terminated (cut to the buffer), integer items as
  // 32 bits with *outLen 4; ERR_NOT_SUPPORTED for an item not served.
  int32_t (*DRV_GetInfo)(DrvHandle h, DriverPropId id, void* buf, uint16_t bufLen,
                         uint16_t* outLen);
  // 1: value points at a 32-bit integer or is a text; ERR_OPTION_CHANGED when
  // another value was put in force (read it back with DRV_GetInfo),
  // ERR_NOT_CAPABLE when not supported.
  int32_t (*DRV_SetOption)(DrvHandle h, DriverPropId id, const void* value);
  // 2: hands the handle's error entries over and empties its list.
  int32_t (*DRV_GetErrors)(DrvHandle h, DriverMessageList* out);
  // 3: the only slot without a handle first.
  int32_t (*DRV_AllocServer)(const DriverServerArgs* args, DrvHandle* hServer);
  int32_t (*DRV_EndServer)(DrvHandle hServer);  // 4
  int32_t (*DRV_Connect)(DrvHandle hServer, const DriverConnectParams* params,
                         DrvHandle* hConn);                         // 5
  int32_t (*DRV_EndConnect)(DrvHandle hConn);                       // 6
  int32_t (*DRV_AllocCursor)(DrvHandle hConn, DrvHandle* hCursor);  // 7
  int32_t (*DRV_EndCursor)(DrvHandle hCursor);                      // 8
  // 9: ERR_TRUNCATED when cut; *outLen is the full length.
  int32_t (*DRV_GetCursorName)(DrvHandle hCursor, char* buf, uint16_t bufSize, int16_t* outLen);
  int32_t (*DRV_SetCursorName)(DrvHandle hCursor, const char* name);  // 10
  int32_t (*DRV_Prepare)(DrvHandle hCursor, const char* sql);         // 11
  // 12: the cursor takes the Dataset (unless DRV_CAP_CALLER_OWNS_DATA).
  int32_t (*DRV_SetParams)(DrvHandle hCursor, Dataset* params);
  int32_t (*DRV_Execute)(DrvHandle hCursor);                                         // 13
  int32_t (*DRV_Reserved14)(DrvHandle hCursor, uint32_t a, uint32_t b, uint32_t c);  // 14
  // 15, 16: the caller frees the array with ColumnInfoFree.
  int32_t (*DRV_DescribeColumns)(DrvHandle hCursor, uint16_t* count, ColumnInfo** cols);
  int32_t (*DRV_DescribeParams)(DrvHandle hCursor, uint16_t* count, ColumnInfo** params);
  // 17: escape translation only; ERR_STRING_TRUNC_WARNING when cut to bufSize
  // (all 32 bits count); *outLen is the length up to INT16_MAX.
  int32_t (*DRV_NativeSql)(DrvHandle hConn, const char* sql, char* buf, uint32_t bufSize,
                           int16_t* outLen);
  int32_t (*DRV_SetParamTypes)(DrvHandle hCursor, uint16_t count, const ParamShadow* types);  // 18
  // 19: lays rows out afresh from the result description and fills up to rows
  // rows; 0 rows only lays out the columns.
  int32_t (*DRV_Fetch)(DrvHandle hCursor, uint16_t rows, Dataset* data);
  int32_t (*DRV_CloseCursor)(DrvHandle hCursor);               // 20
  int32_t (*DRV_Commit)(DrvHandle hConn);                      // 21
  int32_t (*DRV_Rollback)(DrvHandle hConn);                    // 22
  int32_t (*DRV_GetOpTable)(DrvHandle hConn, OpTable* table);  // 23
  // 24: ERR_NO_MORE_RESULTS when there is no further result.
  int32_t (*DRV_MoreResults)(DrvHandle hCursor);
  int32_t (*DRV_DDColumnPrivileges)(DrvHandle hCursor, const DDColumnArgs* args);       // 25
  int32_t (*DRV_DDColumns)(DrvHandle hCursor, const DDColumnArgs* args);                // 26
  int32_t (*DRV_DDForeignKeys)(DrvHandle hCursor, const DDForeignKeyArgs* args);        // 27
  int32_t (*DRV_DDPrimaryKeys)(DrvHandle hCursor, const DDObjectArgs* args);            // 28
  int32_t (*DRV_DDProcedureColumns)(DrvHandle hCursor, const DDColumnArgs* args);       // 29
  int32_t (*DRV_DDProcedures)(DrvHandle hCursor, const DDObjectArgs* args);             // 30
  int32_t (*DRV_DDSpecialColumns)(DrvHandle hCursor, const DDSpecialColumnArgs* args);  // 31
  int32_t (*DRV_DDStatistics)(DrvHandle hCursor, const DDStatisticsArgs* args);         // 32
  int32_t (*DRV_DDTablePrivileges)(DrvHandle hCursor, const DDObjectArgs* args);        // 33
  int32_t (*DRV_DDTables)(DrvHandle hCursor, const DDTablesArgs* args);                 // 34
  int32_t (*DRV_DDTypeInfo)(DrvHandle hCursor, int16_t sqlType);                        // 35
  // 36: scrolled fetch of a rowset; the RowStatusTable becomes the caller's. For a
  // forward-only cursor the caller hands its previous table back in *table (null when it
  // has none) so that its storage carries the next rowset; whatever the answer, the
  // handed table is the callee's from then on.
  int32_t (*DRV_ExtendedFetch)(DrvHandle hCursor, RowStatusTable** table, int32_t target,
                               int32_t* rows, int32_t* rowCount);
  // 37: row n, or -2 for the whole rowset; the status array (one u16 per row)
  // is allocated by the back end and freed by the caller.
  int32_t (*DRV_SetPos)(DrvHandle hCursor, int32_t row, uint16_t operation, uint32_t lock,
                        uint16_t** statuses, int32_t* rowsOut, Dataset* rows, uint16_t* columns,
                        uint16_t columnCount);
  // 38: ERR_NEED_DAE with the 0-based index and row wanted now; ERR_SEQUENCE
  // when nothing is pending.
  int32_t (*DRV_ParamData)(DrvHandle hCursor, int32_t* index, int32_t* row,
                           uint16_t** setPosStatuses, int32_t* count);
  // 39: appends one piece to the value named by the last DRV_ParamData.
  int32_t (*DRV_PutData)(DrvHandle hCursor, uint32_t dsType, int16_t indicator, const void* data,
                         int32_t length);
  // 40: a piece of a deferred long value; *data becomes the caller's.
  int32_t (*DRV_GetLongData)(DrvHandle hCursor, uint32_t column, uint32_t row, uint32_t maxUnits,
                             void** data, uint32_t* left, uint32_t* type, int32_t* total);
  // 41: DRV_ExtendedFetch with the fetch orientation (0 when the caller has none).
  int32_t (*DRV_ExtendedFetch2)(DrvHandle hCursor, RowStatusTable** table, int32_t target,
                                int32_t* rows, int32_t* rowCount, uint16_t orientation);
  // 42: statuses (one per bookmark) are the caller's to free; *table too.
  int32_t (*DRV_BulkOperations)(DrvHandle hCursor, uint16_t operation, uint32_t* bookmarks,
                                uint16_t count, Dataset* rows, uint16_t* columns,
                                uint16_t columnCount, uint16_t** statuses, uint16_t* countOut,
                                RowStatusTable** table);
  // 43: prepare (text given), parameters (Dataset given), types (count > 0),
  // then execute; the first failure is answered.
  int32_t (*DRV_PrepareExecute)(DrvHandle hCursor, const char* sql, Dataset* params,
                                uint16_t typeCount, const ParamShadow* types);
  // 44
  int32_t (*DRV_ExecuteDescribe)(DrvHandle hCursor, const char* sql, Dataset* params,
                                 uint16_t typeCount, const ParamShadow* types, int32_t* rowsetSize,
                                 uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                                 ColumnInfo** paramInfo, int32_t* rowCount);
  // 45: a new cursor with its statement prepared.
  int32_t (*DRV_AllocPrepare)(DrvHandle hConn, const char* sql, int32_t cursorType,
                              int32_t concurrency, DrvHandle* hCursor);
  // 46
  int32_t (*DRV_DescribeBindings)(DrvHandle hCursor, uint16_t* count, ColumnInfo** cols,
                                  Dataset* layout);
  // 47: the arguments of DRV_ExtendedFetch2.
  int32_t (*DRV_FetchDeferLong)(DrvHandle hCursor, RowStatusTable** table, int32_t target,
                                int32_t* rows, int32_t* rowCount, uint16_t orientation);
  // 48: the arguments of DRV_GetLongData, so that a forward-only cursor can pass
  // them on.
  int32_t (*DRV_GetCachedLongData)(DrvHandle hCursor, uint32_t column, uint32_t row,
                                   uint32_t maxUnits, void** data, uint32_t* left, uint32_t* type,
                                   int32_t* total);
  // 49
  int32_t (*DRV_ExecuteBatch)(DrvHandle hCursor, uint16_t count, const DriverBatchEntry* entries,
                              int16_t* done, int32_t** results);
  int32_t (*DRV_Reserved50)(DrvHandle h);  // 50
  // 51: ERR_ARGUMENT when an output pointer is null; both arrays become the caller's.
  int32_t (*DRV_ColAttributes)(DrvHandle hCursor, uint16_t* colCount, int16_t* attrCount,
                               ColumnInfo** cols, ColAttr** attrs);
  // 52: DRV_ExecuteDescribe and the attribute outputs of DRV_ColAttributes.
  int32_t (*DRV_ExecuteDescribe2)(DrvHandle hCursor, const char* sql, Dataset* params,
                                  uint16_t typeCount, const ParamShadow* types, int32_t* rowsetSize,
                                  uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                                  ColumnInfo** paramInfo, int32_t* rowCount, int16_t* attrCount,
                                  ColAttr** attrs);
  int32_t (*DRV_Cancel)(DrvHandle hCursor);  // 53
  // 54: DRV_PrepareExecute with 24-byte type entries.
  int32_t (*DRV_PrepareExecute2)(DrvHandle hCursor, const char* sql, Dataset* params,
                                 uint16_t typeCount, const ParamTypeEntry* types);
  // 55-64: X/Open XA operations of a connection; they answer XA codes.
  int (*DRV_XaClose)(DrvHandle hConn, const char* xaInfo, int rmid, long flags);
  int (*DRV_XaCommit)(DrvHandle hConn, XID* xid, int rmid, long flags);
  int (*DRV_XaComplete)(DrvHandle hConn, int* handle, int* retval, int rmid, long flags);
  int (*DRV_XaEnd)(DrvHandle hConn, XID* xid, int rmid, long flags);
  int (*DRV_XaForget)(DrvHandle hConn, XID* xid, int rmid, long flags);
  int (*DRV_XaOpen)(DrvHandle hConn, int32_t useWorker, const char* xaInfo, int rmid, long flags);
  int (*DRV_XaPrepare)(DrvHandle hConn, XID* xid, int rmid, long flags);
  int (*DRV_XaRecover)(DrvHandle hConn, XID* xids, long count, int rmid, long flags);
  int (*DRV_XaRollback)(DrvHandle hConn, XID* xid, int rmid, long flags);
  int (*DRV_XaStart)(DrvHandle hConn, XID* xid, int rmid, long flags);
  int32_t (*DRV_SetParamTypes2)(DrvHandle hCursor, uint16_t count,
                                const ParamTypeEntry* types);  // 65
};

inline constexpr std::size_t DRIVER_OPS_SLOTS = 66;
static_assert(sizeof(DriverOps) == DRIVER_OPS_SLOTS * sizeof(void*));
static_assert(offsetof(DriverOps, DRV_GetOpTable) == 23 * sizeof(void*));
static_assert(offsetof(DriverOps, DRV_DDTypeInfo) == 35 * sizeof(void*));
static_assert(offsetof(DriverOps, DRV_ColAttributes) == 51 * sizeof(void*));
static_assert(offsetof(DriverOps, DRV_Cancel) == 53 * sizeof(void*));
static_assert(offsetof(DriverOps, DRV_XaClose) == 55 * sizeof(void*));
static_assert(offsetof(DriverOps, DRV_XaStart) == 64 * sizeof(void*));
