#pragma once
// conn.h -- the connection record: its creation, the back-end connect through
// the driver operation table, the capabilities learned from the back end,
// disconnect, release, and transactions.
// Everything the connection asks of the database goes through its own
// DriverRecord; the back end answers with its own server and connection handles.
// Threading: a connection's workers run under its cn_callLock (one call at a
// time); ConnOpen also under DriverLock; ConnFree under GlobalHandleLock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "drv/drvops.h"
#include "drv/scs.h"
#include "odbc/callargs.h"
#include "odbc/diag.h"
#include "platform/windows/critsec.h"

struct Envr;
struct Stmt;

inline constexpr int32_t CONN_MAGIC = 0x3244;

// Conn::state.
inline constexpr int32_t CONN_STATE_FREED = 0;
inline constexpr int32_t CONN_STATE_ALLOCATED = 1;
inline constexpr int32_t CONN_STATE_CONNECTED = 2;

// Conn::flags bits.
inline constexpr uint16_t CONN_F_NO_LOGIN_BOX = 0x1;
inline constexpr uint16_t CONN_F_READONLY = 0x2;
inline constexpr uint16_t CONN_F_AUTOCOMMIT = 0x4;
inline constexpr uint16_t CONN_F_ASYNC = 0x8;
inline constexpr uint16_t CONN_F_DEFER_LONG = 0x20;
inline constexpr uint16_t CONN_F_INCLUDE_VIEWS = 0x100;
inline constexpr uint16_t CONN_F_INCLUDE_ALL = 0x200;
// Bits that only the connection attributes set; a connect leaves them alone.
inline constexpr uint16_t CONN_F_ATTR_MASK = 0xFFC0;

inline constexpr int CONN_INFO_INTS = 120;
inline constexpr int CONN_INFO_SHORTS = 40;
inline constexpr int CONN_INFO_STRS = 40;

using FailoverCallback = SQLRETURN (*)(int32_t event, void* context, int32_t reserved);
inline constexpr int32_t FAILOVER_COMPLETED = 16;
inline constexpr int32_t FAILOVER_ABORTED = 17;

struct Conn {
  int32_t magic;    // CONN_MAGIC while alive; RECORD_FREED once freed
  uint32_t handle;  // its handle in the connection table
  int32_t errCode;
  int32_t state;  // CONN_STATE_*
  Conn* next;     // next connection of the environment
  Stmt* stmts;    // first statement (linked through Stmt::next)
  DiagList diag;
  Envr* envr;
  char* cn_dsn;  // connection values of the last connect (owned)
  char* cn_uid;
  char* cn_pwd;
  char* cn_dbpath;
  char* cn_dbopts;
  char* cn_dbhost;
  char* cn_port;     // never set; stays null
  char* cn_svtype;   // never set; stays null
  char* cn_srvopts;  // WideConnectMarker for a wide connect, else null
  char* cn_proto;
  uint16_t flags;            // CONN_F_* bits
  char* cn_dbmsName;         // DBMS-name override read by GetInfo; never set here
  int32_t cn_loginTimeout;   // 120 on creation
  uint32_t cn_connTimeout;   // SQL_ATTR_CONNECTION_TIMEOUT as set; kept, nothing to time out
  uint32_t cn_stmtBindType;  // statement defaults (ODBC 2 options on a connection)
  uint64_t cn_stmtMaxLength;
  uint64_t cn_stmtMaxRows;
  uint32_t cn_stmtNoscan;
  uint32_t cn_stmtTimeout;
  SCS cn_cursorDefaults;  // default statement options
  char* cn_translateLib;
  uint32_t cn_translateOption;
  uint32_t cn_txnIsolation;  // 0: the back end's default
  int32_t cn_fetchSize;      // FBS: rows per fetch block
  DriverRecord driver;       // the connection's own back-end binding
  DrvHandle cn_hServer;      // 0 when none
  DrvHandle cn_hConn;        // 0 when none
  int32_t id;                // 1, 2 ... within the environment
  int32_t lastStmtId;
  OpTable opTable;      // conversion table; type 1 while held
  void* cn_busy;        // the record whose call is in progress, or null
  // Calls waiting for the call lock without a busy mark (diagnostics, allocations),
  // and whether the record was freed meanwhile: the last waiter then releases it.
  // Both under GlobalHandleLock.
  int32_t cn_waiters;
  int32_t cn_releasePending;
  int32_t cn_needbind;  // capability flags, settled by every ConnOpen
  int32_t cn_hasMoreRes;
  int32_t cn_hasParamOp;
  int32_t cn_spOutDeferFetch;
  int32_t cn_hasScrlCurs;
  int32_t cn_hasDynMixCurs;
  int32_t cn_hasV2DAE;
  int32_t cn_narrowDAE;
  int32_t cn_hasExecute2;
  int32_t cn_hasConvInfo;
  int32_t cn_hasColAttrs;
  int32_t cn_hasPrepExec2;
  int32_t cn_hasMaxLength;
  int32_t cn_hasFailover;
  int32_t cn_hasDTC;
  int16_t diagRecNo;
  uint32_t cn_stmtAsync;  // statement default SQL_ASYNC_ENABLE
  void* cn_dtcDispenser;  // DTC enlistment, or null
  int32_t cn_dtcEnlisted;
  CRITICAL_SECTION cn_dtcLock;
  CRITICAL_SECTION cn_callLock;        // around every call on it; ownerless (dispatch.h)
  int32_t cn_infoInt[CONN_INFO_INTS];  // GetInfo caches
  uint16_t cn_infoShort[CONN_INFO_SHORTS];
  char* cn_infoStr[CONN_INFO_STRS];
  FailoverCallback cn_failoverCallback;
  void* cn_failoverContext;
  int32_t cn_presetAutocommit;  // autocommit set before connecting: 0 or 1, -1 none
  int32_t cn_presetReadonly;    // access mode set before connecting: 0 or 1, -1 none
};

// Null when memory is short (the environment's errCode is then ERR_MEMORY).
Conn* ConnNew(Envr* env);
void ConnResetInfoCache(Conn* conn);
int32_t ConnTakeServerMessages(Conn* conn);
int32_t ConnTakeAgentMessages(Conn* conn, Stmt* stmt);
int32_t GetOpTable(Conn* conn, OpTable* table);
// REQUIRES: DriverLock held. Marker 'A' or 'W'.
void ConnOpen(Conn* conn, char marker);
int32_t ConnClose(Conn* conn);
void ConnFree(Conn* conn);
void ConnFreeStrings(Conn* conn);
SQLRETURN ConnEndTran(Conn* conn, uint16_t type);
// Releases the call lock and the memory of a freed connection, or leaves that to
// the last call still waiting for its call lock (dispatch.cpp).
void ConnRelease(Conn* conn);
// Deletes the call lock and frees the memory; only once no call waits any more.
void ConnReleaseNow(Conn* conn);

SQLRETURN TransactEnvImpl(Envr* env, const CallSlot* args);
SQLRETURN TransactDbcImpl(Conn* conn, const CallSlot* args);

// The binding a connect makes for its DriverRecord; the driver library installs
// the agent's (INF_Bind), unit tests a fake back end's.
using DriverBindFn = int32_t (*)(DriverRecord* rec);
void DriverSetBinder(DriverBindFn bind);
DriverBindFn DriverGetBinder();
