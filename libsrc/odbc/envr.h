#pragma once
// envr.h -- the environment record and the workers that create and destroy
// every kind of handle (environments, connections, statements, descriptors),
// the environment attributes, SQLDisconnect and SQLCloseCursor.
// Threading: handle-less and environment workers run under GlobalHandleLock;
// the others under their connection's call lock. The global environment list
// changes only under GlobalHandleLock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"
#include "odbc/diag.h"

struct Conn;

inline constexpr int32_t ENVR_MAGIC = 0x3144;
inline constexpr int32_t RECORD_FREED = -1;

// Envr::state.
inline constexpr int32_t ENVR_STATE_FREED = 0;
inline constexpr int32_t ENVR_STATE_ALLOCATED = 1;
inline constexpr int32_t ENVR_STATE_OPEN = 2;

struct Envr {
  int32_t magic;    // ENVR_MAGIC while alive; RECORD_FREED once freed
  uint32_t handle;  // its handle in the environment table
  int32_t errCode;  // driver error code of the last failure
  int32_t state;    // ENVR_STATE_*
  Envr* next;       // global environment list
  Conn* conns;      // first connection (linked through Conn::next)
  DiagList diag;
  int32_t id;            // 1, 2, 3 ... in order of creation in the process
  int32_t lastConnId;    // last number given to a connection of this environment
  uint32_t stringCount;  // owned texts released with the environment
  char** strings;
  int16_t diagRecNo;    // record asked for by the last diagnostic read
  int32_t pooling;      // SQL_ATTR_CONNECTION_POOLING
  int32_t cpMatch;      // SQL_ATTR_CP_MATCH
  int32_t odbcVersion;  // 2, or 3 when created through SQLAllocHandle
  int32_t outputNts;    // SQL_ATTR_OUTPUT_NTS as 0 or 1
};

// REQUIRES: GlobalHandleLock held.
Envr* EnvrNew();
void EnvrOpen(Envr* env);
void EnvrDisconnectAll(Envr* env);
void EnvrFree(Envr* env);
// First environment of the global list, or null. REQUIRES: GlobalHandleLock.
Envr* EnvrFirst();
// 1 when any connection of the environment has a call in progress or waiting.
// REQUIRES: GlobalHandleLock.
bool EnvrAnyBusy(const Envr* env);

SQLRETURN AllocHandleEnvImpl(void* none, const CallSlot* args);
SQLRETURN AllocEnvImpl(void* none, const CallSlot* args);
SQLRETURN AllocHandleDbcImpl(Envr* env, const CallSlot* args);
SQLRETURN AllocConnectImpl(Envr* env, const CallSlot* args);
SQLRETURN AllocHandleStmtImpl(Conn* conn, const CallSlot* args);
SQLRETURN AllocStmtImpl(Conn* conn, const CallSlot* args);
SQLRETURN AllocHandleDescImpl(Conn* conn, const CallSlot* args);
SQLRETURN FreeHandleEnvImpl(Envr* env, const CallSlot* args);
SQLRETURN FreeEnvImpl(Envr* env, const CallSlot* args);
SQLRETURN FreeHandleDbcImpl(Conn* conn, const CallSlot* args);
SQLRETURN FreeConnectImpl(Conn* conn, const CallSlot* args);
SQLRETURN FreeHandleStmtImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN FreeStmtImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN FreeHandleDescImpl(Desc* desc, const CallSlot* args);
SQLRETURN SetEnvAttrImpl(Envr* env, const CallSlot* args);
SQLRETURN GetEnvAttrImpl(Envr* env, const CallSlot* args);
SQLRETURN DisconnectImpl(Conn* conn, const CallSlot* args);
SQLRETURN CloseCursorImpl(Stmt* stmt, const CallSlot* args);
