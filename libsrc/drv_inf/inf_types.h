#pragma once
// inf_types.h -- the agent's records: the server record (InfEnv), connections
// (InfConn), Informix client sessions (InfSession), cursors (InfCursor) and the
// error lists every one of them carries, with the agent's three handle tables.
// Ownership: every record owns the strings it stores (freed with free).
// Threading: one call at a time per connection and its cursors (the generic
// layer serialises them); shared state of the agent is guarded by INF_Mutex.

#include <cstdint>
#include <mutex>
#include <vector>

#include "drv/colinfo.h"
#include "drv/connopts.h"
#include "drv/dataset.h"
#include "drv/drvops.h"
#include "drv/scs.h"
#include "drv_inf/inf_escape.h"
#include "platform/informix/ixr_api.h"
#include "platform/windows/critsec.h"
#include "util/handle.h"

struct XaThreadState;

// One Informix error or driver error code, waiting for DRV_GetErrors.
struct InfError {
  InfError* next = nullptr;
  int32_t native = 0;         // the Informix code; 0 for a driver error code
  char text[2048] = {};       // message, ending " (code)" for Informix codes
  const char* sqlstate = "";  // a row of the driver error table
};

// A list holds the entries of its latest failure: recording a failure empties it
// first unless `keep` is set (nothing sets it).
struct InfErrorList {
  uint32_t keep = 0;
  InfError* head = nullptr;
};

// The server record: one per process while the reference count is above zero.
struct InfEnv {
  InfEnv() noexcept { InitializeCriticalSection(&lock); }
  ~InfEnv() { DeleteCriticalSection(&lock); }
  InfEnv(const InfEnv&) = delete;
  InfEnv& operator=(const InfEnv&) = delete;

  CRITICAL_SECTION lock;  // guards `errors` only: connect failures of many threads
  InfErrorList errors;    // Informix errors of failed connects
};

struct InfCursor;

// One client connection of the runtime.
struct InfSession {
  InfSession* next = nullptr;
  InfSession** prev = nullptr;  // the previous session's `next`, or the list head
  uint8_t key[16] = {};         // MD5 of the session parameters
  int32_t refCount = 0;
  int32_t logging = 0;     // the database has a transaction log
  int32_t online = 0;      // an Online server (not SE)
  int32_t ansi = 0;        // an ANSI-compliant database
  int32_t delimIdent = 0;  // delimited identifiers are on
  int32_t dormant = 0;     // not the thread's current connection now
  char* database = nullptr;
  char* service = nullptr;
  char* protocol = nullptr;
  char* host = nullptr;
  char* server = nullptr;
  char* user = nullptr;
  char* password = nullptr;
  char* locale = nullptr;
  char* name = nullptr;    // the connection name, "DB%08lX_%08lX"
  int32_t wide = 0;        // wide mode (Unicode build)
  int32_t xaOwned = 0;     // an XA branch owns it: never made dormant
  int32_t reserved = 0;    // enters the digest
  // Only reads (a READONLY connect): the runtime may open a database it cannot write.
  // A read-only session is never shared with one that writes.
  int32_t readOnly = 0;
  uint64_t serial = 0;     // sessions opened before it, plus one
  uint64_t currentOn = 0;  // token of the thread it was last made current on
  uint64_t epoch = 0;      // that thread's switch count at that moment
  // The runtime's id of the cursor fetched last: a fetch loop names the same cursor
  // every row, and looking the name up each time costs a runtime call per row.
  int32_t fetchCursorId = 0;
  char fetchCursorName[64] = {};
  // Likewise the statement executed last: a parameter array executes it once per set.
  int32_t execStatementId = 0;
  char execStatementName[64] = {};
};

// The agent's connection record.
struct InfConn {
  InfErrorList errors;
  XaThreadState* xa = nullptr;  // attached by the XA proxy; null at connect
  uint32_t handle = 0;          // in INF_ConnHandles
  InfEnv* env = nullptr;
  int32_t readOnlyAtConnect = 0;  // refuses statements other than SELECT
  int32_t readOnly = 0;           // follows DRVP_READONLY; reported only
  int32_t autocommit = 0;
  InfSession* session = nullptr;
  uint32_t txnState = 0;        // TXN_OPEN
  int32_t isolation = 0;        // the level asked for (1, 2, 4, 8)
  int32_t isolationIssued = 0;  // the level the server runs at now
  int32_t cursorCount = 0;
  int32_t dynMixAsked = 0;
  int32_t odbcVersion = 2;
  int32_t deferLong = 0;
  ConnectOptionsBlock options{};  // owns initialSql, clientLocale, sqlDbmsName
  int32_t wide = 0;
  char* lastUser = nullptr;  // SQL_USER_NAME answer (a lower-cased copy)
  // The cursor whose operation runs on the session now, and whether SQLCancel stopped
  // it (inf_run.cpp); under stopLock, which INF_Cancel takes from another thread.
  std::mutex stopLock;
  InfCursor* running = nullptr;
  bool cancelled = false;
};

inline constexpr uint32_t TXN_OPEN = 0x1;

// A BYTE or TEXT literal taken out of a statement by the -617 rewrite.
struct InfHiddenParam {
  char* text;          // the literal's content, owned
  int32_t paramIndex;  // its '?' among all markers of the rewritten statement
  int32_t columnPosition;
  char quote;    // the quote that enclosed it
  int16_t type;  // 11 BYTE, 12 TEXT
};

// Statement flags of InfCursor::flags.
inline constexpr uint16_t CF_PREPARED = 0x1;
inline constexpr uint16_t CF_EXECUTED = 0x2;
inline constexpr uint16_t CF_EOD = 0x4;
inline constexpr uint16_t CF_OPEN = 0x8;
inline constexpr uint16_t CF_LONG_PARAM = 0x10;
inline constexpr uint16_t CF_DECIMAL_DOUBLE = 0x40;
inline constexpr uint16_t CF_BLOB_REWRITE = 0x80;
inline constexpr uint16_t CF_MERGE_TYPES = 0x100;
inline constexpr uint16_t CF_MERGE_INFO = 0x200;
inline constexpr uint16_t CF_NAMED = 0x400;  // the application named the cursor

// Informix statement types as DESCRIBE reports them.
inline constexpr int32_t STMT_SELECT = 0;
inline constexpr int32_t STMT_INSERT = 6;
inline constexpr int32_t STMT_BEGIN_WORK = 34;
inline constexpr int32_t STMT_COMMIT_WORK = 35;
inline constexpr int32_t STMT_ROLLBACK_WORK = 36;
inline constexpr int32_t STMT_EXECUTE_PROCEDURE = 56;

// The pieces sent at execution for one column of the Dataset being completed,
// row by row (inf_dae.cpp). Every row starts as an empty value: no block,
// length 0, indicator 0.
struct DaeColumnBuffer {
  int32_t type = DS_NONE;  // DatasetType of the pieces; DS_NONE until one carries data
  uint32_t rows = 0;
  char** values = nullptr;  // one growing block per row, owned; null while empty
  uint32_t* lengths = nullptr;
  uint32_t* capacities = nullptr;
  int16_t* indicators = nullptr;  // 0 or DS_IND_NULL
};

// A cell of a Dataset, 0-based; negative row and column for none.
struct DaeCell {
  int32_t row;
  int32_t column;
};

using InfRowCallback = void (*)(InfCursor*);

// Fetch's host-variable buffers, kept with the cursor so that fetching one row at a
// time allocates nothing per call.
struct InfFetchScratch {
  std::vector<IxrSqlVar> saved;
  std::vector<IxrDate> dates;
  std::vector<IxrDateTime> datetimes;
  std::vector<IxrLocator> locators;
  std::vector<char> utf8;
  std::vector<char16_t> units;
  std::vector<int32_t> strides;     // bytes from row to row of each host variable, for a block
  std::vector<IxrDate> blockDates;  // a block's day numbers, one run per date column
};

// The agent's cursor record.
struct InfCursor {
  InfConn* conn = nullptr;
  InfErrorList errors;
  uint16_t flags = 0;  // CF_*
  InfRequest request;
  // Data at execution (inf_dae.cpp): 0 none, 1 collecting for an execution, 2 for a
  // SetPos, 4 and 5 the same with every cell named and the merge pending.
  int32_t daeState = 0;
  DaeCell daeNext{-2, -2};             // the next marked cell to be asked for
  DaeCell daeCurrent{-1, -1};          // the cell the pieces go to now
  uint32_t daePutCount = 0;            // pieces received for the current cell
  DaeColumnBuffer* daeExec = nullptr;  // for the parameter Dataset
  uint16_t daeExecColumns = 0;
  DaeColumnBuffer* daeSetPos = nullptr;  // for the SetPos row Dataset of the context
  uint16_t daeSetPosColumns = 0;
  int32_t maxLength = 0;  // MAX_LENGTH option, 0 = none
  uint32_t queryTimeout = 0;  // QUERY_TIMEOUT option in seconds, 0 = none
  SCS scs{};
  uint32_t handle = 0;
  char* cursorName = nullptr;     // "CN%X"
  char* statementName = nullptr;  // "ST%X"
  char* declaredName = nullptr;   // the name the runtime knows the cursor by
  int32_t statementType = -1;
  IxrSqlda* inputArea = nullptr;
  IxrSqlda* outputArea = nullptr;
  Dataset* params = nullptr;                  // owned
  const Dataset* hiddenMergedInto = nullptr;  // the Dataset that holds the hidden literals
  int32_t hiddenColumns = 0;                  // added by the ORDER BY retry (the last ones)
  uint16_t resultCount = 0;
  ColumnInfo* results = nullptr;
  uint16_t paramCount = 0;
  ColumnInfo* paramInfo = nullptr;
  uint16_t paramSetIndex = 0;
  InfRowCallback rowCallback = nullptr;
  int16_t kind = 0;  // 0 statement, 2 type information, 3 procedure columns
  int16_t typeInfoType = 0;
  uint32_t memRow = 0;          // next row of an in-memory result, or type row position
  int32_t specialPosition = 0;  // rows a SpecialColumns result has fetched
  uint32_t rowCount = 0;        // rows of the last EXECUTE or of the last fetch call
  uint32_t fetchedTotal = 0;
  uint32_t maxRows = 0;
  // The limit of the open result when MAX_ROWS was set while it was open: the smaller of
  // the two, for the rows already read under the old one are not taken back; 0 none.
  uint32_t openMaxRows = 0;
  uint32_t serialValue = 0;
  uint32_t rowId = 0;
  int32_t noScan = 0;
  ParamShadow* paramTypes = nullptr;
  uint16_t paramTypeCount = 0;
  void** paramBuffers = nullptr;
  uint32_t paramBufferCount = 0;
  bool paramBuffersHeld = false;  // some slot of paramBuffers holds a buffer
  Dataset* memResult = nullptr;
  InfProcName proc;
  int32_t paramsDescribed = 0;
  InfHiddenParam* hiddenParams = nullptr;
  int32_t hiddenCount = 0;
  ParamShadow* savedParamTypes = nullptr;
  int16_t savedParamTypeCount = 0;
  InfFetchScratch fetchScratch;
  uint32_t description = 0;  // DRVP_DESCRIPTION: moved by InfDescriptionChanged
};

// The agent's handle tables, alive while the server reference count is above 0.
extern HandleTable INF_EnvHandles;
extern HandleTable INF_ConnHandles;
extern HandleTable INF_CursorHandles;

// Guards the session list, the server reference count and the teardown. Made
// on first use and never deleted; its place in the lock order is written with
// the generic layer's locks (odbc/dispatch.h).
CRITICAL_SECTION* INF_Mutex();

inline InfConn* InfConnLookup(DrvHandle h) {
  return static_cast<InfConn*>(HandleLookup(&INF_ConnHandles, h));
}
// The row limit a fetch of the cursor's result keeps to; 0 none.
inline uint32_t InfRowLimit(const InfCursor* cur) {
  return cur->openMaxRows != 0 ? cur->openMaxRows : cur->maxRows;
}
inline InfCursor* InfCursorLookup(DrvHandle h) {
  return static_cast<InfCursor*>(HandleLookup(&INF_CursorHandles, h));
}
inline InfEnv* InfEnvLookup(DrvHandle h) {
  return static_cast<InfEnv*>(HandleLookup(&INF_EnvHandles, h));
}
