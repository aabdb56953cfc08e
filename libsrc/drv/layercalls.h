#pragma once
// layercalls.h -- the calls between layers that do not go through the driver
// operation table. Each is declared here, so that a layer includes the shared
// contract and its own files only, and defined by the layer its section names.
// A new call between two layers is declared here too, never reached by
// including the other layer's header.
// Not here: the table itself (drvops.h) and the composition that chains the
// layers' tables (the core's dllmain.cpp, the one file that sees every layer).

#include <cstdint>

#include "drv/drvops.h"

struct SCS;

// ---------------------------------------------------------------------------
// Defined by the XA proxy (libsrc/xa), called by the agent.

struct XaThreadState;  // the XA state an agent connection may carry

// 1 while an XA branch is active on the state, else 0 (also for null). Local
// commit, rollback and disconnect are refused while one is.
int32_t XAP_IsXaActive(const XaThreadState* state);
// Records that a branch is (flag 1) or is no longer (0) open on the
// connection. 21 (ERR_ARGUMENT) for a connection without a state, else 0.
int32_t XAP_SetXaActive(XaThreadState* state, int32_t flag);

// Called when the agent's environment goes away; nothing to do.
void NoOpHook();

// ---------------------------------------------------------------------------
// Defined by the XA and DTC support (libsrc/xa), called by the core.
// The transaction coordinator is a library loaded by name at the first
// enlistment; without it enlisting fails with a clear diagnostic instead of a
// half-made enlistment.

// Ends the XA switch and the DTC support, each only when it was set up. -> 1.
int32_t XA_Shutdown();

// Prepares the DTC support once per process: 0 on success, -1 when the
// coordinator's library or the allocator is not available.
int16_t OleTxInit();

// The DTC resource dispenser of one connection. The connect text is copied.
void* DtcCreateDispenser(void* transaction, uint32_t hServer, uint32_t hConn, DriverRecord* drv,
                         void* dtcLock, void* callLock, const char* connectText);
// References left, or -1 for null or a pointer that is not a dispenser.
int32_t DtcReleaseDispenser(void* dispenser);
int16_t DtcRMConnect(void* dispenser);  // 0 or -1
int16_t DtcRMEnlist(void* dispenser);   // 0 or -1
// Where the dispenser's branch stands: 1 in progress for this transaction, 2 in
// progress for another one (null asks for any), 0 done (never started, decided
// or left to recovery), -1 for a pointer that is not a dispenser.
int32_t DtcDispenserBranch(void* dispenser, void* transaction);

// ---------------------------------------------------------------------------
// Defined by the core (libsrc/odbc), called by the XA switch and the DTC
// support, which open their own connections through the driver's ODBC
// functions and reach a connection's back end through its DriverRecord.

// What the XA support uses of a generic connection.
struct XaConnView {
  DriverRecord* driver;  // the connection's own binding (its ops are the XA proxy's)
  DrvHandle hConn;       // the back-end connection handle, 0 when not connected
  void* dtcLock;         // the connection's cn_dtcLock, handed on to the back-end calls
  int32_t hasDTC;        // the back end runs XA branches
};
// false when hdbc names no connection of the driver.
bool CoreXaConnView(void* hdbc, XaConnView* out);
// A value of odbc.ini (or odbcinst.ini) through the installer library, as its
// SQLGetPrivateProfileString answers it: the length, 0 when absent.
int CoreProfileString(const char* section, const char* entry, const char* def, char* buf, int size,
                      const char* file);
// The XA trace: the debug file with "-xa" appended, opened on first use.
void CoreXaTraceOpen();
void CoreXaTraceClose();
bool CoreXaTraceIsOpen();
// One line (a newline is added), prefixed "[thread id] " when asked.
void CoreXaTrace(int withThreadId, const char* format, ...) __attribute__((format(printf, 2, 3)));

// ---------------------------------------------------------------------------
// Defined by the cursor layer (libsrc/scrs), called by the agent.

// The base column names of a select list the cursor layer rewrote, for one
// column of a result description and its attribute table. -> 0.
int32_t SCS_GetBaseColAttrs(SCS* scs, uint16_t column, ColumnInfo* info, uint16_t requestBits,
                            uint16_t stride, uint16_t rows, ColAttr* table);

// Performs the SetPos whose values were supplied at execution, once the agent
// has put them into the row Dataset of the context. The status array becomes
// the caller's. -> a driver error code.
int32_t SCS_SetPosResume(SCS* scs, uint16_t** statuses, int32_t* rows);

// Performs the execution of a scrollable cursor whose parameter values were
// supplied at execution, once the agent has put them into its parameter
// Dataset (params, still the agent's, which the cursor layer copies): the
// cursor layer keeps them for the statements it runs on the cursor's behalf,
// and the execution runs with everything the layer does around it. Called
// instead of the agent's own execution for a cursor whose parameters the
// layer kept (SCS_F_PARAMS_KEPT). -> a driver error code.
int32_t SCS_ExecuteResume(SCS* scs, const Dataset* params);

// ---------------------------------------------------------------------------
// Defined by the SQL analysis (libsrc/scrs), called by the agent, which finds
// the types of a statement's parameters through probe queries: SELECTs over
// the statement's own tables whose result columns have the types the
// parameters take, each ending in " WHERE 1=0 " so that describing them reads
// no rows.

struct ParseNode;

// One description's work, owned by the caller (the agent keeps it on its
// stack). Its first six fields have the layout of the SELECT analysis record.
struct ParamDescriber {
  char* pd_text;         // own copy of the statement, leading white space skipped
  char* pd_errPos;       // after a failed parse: the text consumed followed by "^"
  char* pd_errMsg;       // after a failed parse: the message
  ParseNode* pd_root;    // the statement's tree
  int32_t pd_kind;       // statement kind; -1 before an analysis
  uint16_t pd_flags;     // always 0 here
  char** pd_probes;      // probe texts, pd_count of them, each owned
  int32_t pd_count;
  int32_t pd_total;      // probe columns written, i.e. parameters described
  char* pd_markers;      // INSERT ... VALUES without columns: per item '?' (parameter) or 'X'
  const char* pd_default;  // select item of a parameter without a column; not owned
};

// Clears the record and keeps defaultItem (not copied).
void ParamDescInit(ParamDescriber* pd, const char* defaultItem) noexcept;
// Fills the record with probe queries for text: 0, or ERR_SYNTAX when it does
// not parse. The probes are meant to be used only when pd_markers is set or
// pd_total equals the statement's parameter count.
int32_t ParamDescAnalyse(ParamDescriber* pd, const char* text) noexcept;
// Frees what the record holds; pd_default stays.
void ParamDescFree(ParamDescriber* pd) noexcept;

// ---------------------------------------------------------------------------
// Defined by the agent (libsrc/drv_inf), called by the cursor layer, which
// keeps its context of every agent cursor inside the agent's cursor record.

// What the cursor layer reads of an agent cursor.
struct InfCursorView {
  void* record;       // the agent's cursor record, owner of the context
  SCS* scs;           // the cursor layer's context, inside that record
  bool prepared;      // a statement is prepared on the cursor
  int32_t maxLength;  // the MAX_LENGTH option, 0 for none
};

// true with *out filled, false when hCursor names no cursor of the agent.
bool INF_CursorView(DrvHandle hCursor, InfCursorView* out);
// true when hConn names a connection of the agent.
bool INF_ConnExists(DrvHandle hConn);

// The cursor layer runs its own statements on auxiliary agent cursors; their
// diagnostics must reach the application through the user's cursor.
// Moves every error of cursor `from`, in order, to the end of the list of
// cursor `to` (emptied first when `replace`). Nothing for an unknown handle.
void INF_CursorMoveErrors(DrvHandle from, DrvHandle to, int32_t replace);
// Replaces the errors of the connection hConn by those of cursor `from`, in
// order (the cursor's list is left empty). Nothing for an unknown handle.
void INF_CursorErrorsToConn(DrvHandle from, DrvHandle hConn);
// Records a driver error code on the cursor as its latest failure.
void INF_CursorSetError(DrvHandle hCursor, int32_t drvCode);
// Leaves a message of the driver's own (SQLSTATE HY000) as the cursor's error.
void INF_CursorSetErrorText(DrvHandle hCursor, const char* text);
// 1: the cursor's errors accumulate until moved; 0: each failure replaces them.
void INF_CursorKeepErrors(DrvHandle hCursor, uint32_t keep);

// Called before a SetPos update or add runs, with the operation and its row
// Dataset stored in the context: ERR_NEED_DAE when some of its cells are marked
// DS_IND_DAE (the SetPos then waits for the agent's ParamData to resume it), 0
// to run it now, ERR_MEMORY, or ERR_ARGUMENT for a handle that is no cursor.
int32_t DAEStartSetPos(DrvHandle hCursor);

// Moves every error of a connection the cursor layer opened for itself, in
// order, to the end of the user cursor's list. Nothing for an unknown handle.
void INF_ConnMoveErrors(DrvHandle hConn, DrvHandle toCursor);

// ---------------------------------------------------------------------------
// Defined by the agent (libsrc/drv_inf), called by the XA proxy, which owns the
// XA state an agent connection points at.

// The connection's field that points at its XA state (null until the proxy
// attaches one), or null when hConn names no connection of the agent. The field
// lives as long as the connection.
XaThreadState** INF_ConnXaState(DrvHandle hConn);
// The same field of the connection an agent cursor belongs to.
XaThreadState** INF_CursorXaState(DrvHandle hCursor);
