#pragma once
// scs.h -- the scrollable-cursor statement context and the cursor layer's
// operations that the core and the agent call.
// One SCS lives in every connection (the default statement options), one in
// every statement (options, scroll position, current rowset) and one in every
// agent cursor (the emulation state). The cursor layer's own table wraps the
// agent's: it is made once per process by SCR_Interpose.
// Threading: a context is used under its connection's call serialisation.

#include <cstdint>

#include "drv_inf/drvops.h"

// Special positions without a current rowset.
inline constexpr int32_t SCS_POS_BEFORE_START = 0;
inline constexpr int32_t SCS_POS_NO_ROW = -2;
inline constexpr int32_t SCS_POS_AFTER_END = -3;

// sc_flags bits.
inline constexpr uint16_t SCS_F_ROWSET_CHANGED = 0x1;
inline constexpr uint16_t SCS_F_CURSOR_TYPE_SET = 0x40;
inline constexpr uint16_t SCS_F_KEYSET_SIZE_SET = 0x100;
inline constexpr uint16_t SCS_F_SELECT_REWRITTEN = 0x1000;

struct SCS {
  int32_t sc_rowsetSize;       // rows per rowset; 1
  int32_t sc_keysetSize;       // 0 = pure keyset
  int32_t sc_rowCount;         // -1 while unknown
  int32_t sc_cursorType;       // 0 forward-only, 1 keyset/mixed, 2 dynamic, 3 static
  int32_t sc_reqCursorType;    // the type asked for while another runs it
  int32_t sc_concurrency;      // 1 read-only, 2 lock, 3 row versions, 4 values
  int32_t sc_reqConcurrency;
  uint32_t sc_simulateCursor;
  uint32_t sc_useBookmarks;
  uint32_t sc_retrieveData;    // 1
  uint32_t sc_hConn;           // agent connection handle (0 in a connection's copy)
  uint32_t sc_hCursor;         // agent cursor handle (0 in a connection's copy)
  int32_t sc_position;         // current row of the rowset, or a special position
  int32_t sc_rowsetStart;      // first row of the current rowset, or a special position
  DriverRecord* sc_driver;     // table this context calls through; none for a connection
  void* sc_owner;              // the record embedding the context; none for a connection
  uint32_t sc_stmtAttr1050;    // 1
  uint32_t sc_stmtAttr1052;
  uint32_t sc_stmtAttr1054;
  uint16_t sc_flags;           // SCS_F_* bits
  uint16_t sc_aux2Prepared;    // cursor layer state; 0x10 and 0x20 drop with a new rowset size
  RowStatusTable* sc_rowStatus;  // statuses of the current rowset; owned by the context
  uint16_t* sc_appRowStatus;     // the application's row-status array (statement copy)
  uint32_t sc_setPosRow;
  uint16_t sc_setPosOp;          // 1 refresh, 2 update, 3 delete, 4 add
  uint32_t sc_fetchDirections;   // SQL_FETCH_DIRECTION mask; 0 until read
  int32_t sc_prevRowsetSize;     // rowset size when the current rowset was fetched
  uint32_t sc_deferLong;         // defer long values at fetch (agent cursor copy)
  uint32_t sc_hasRowVersions;
  int32_t sc_rowsAffected;       // -1 when no positioned operation ran
};

// Fills the table in rec->ops into the cursor layer's copy on the first call in
// the process and points rec->ops at that copy on every call. -> 0.
int32_t SCR_Interpose(DriverRecord* rec);

// An ODBC SQLGetInfo item of the back end through rec's DRV_GetInfo: integer
// items 8, 26, 28, 43, 44, 72, 78, 79, 80, 82, 83, 93, 99 (4 bytes) and text
// items 11, 17, 29, 47; other types answer ERR_OPTION_TYPE.
int32_t SCR_GetOdbcInfo(DriverRecord* rec, uint32_t hConn, uint16_t infoType, void* buf,
                        uint16_t bufLen, uint16_t* outLen);

// Context defaults: rowset 1, keyset 0, row count -1, forward-only, read-only,
// retrieve data 1, attribute 1050 = 1, position 0. Cannot fail.
int32_t SCS_Init(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner);
// A statement's context: defaults, handles, and the connection's default
// statement options copied from connDefaults. -> 0.
int32_t SCS_InitStmt(SCS* scs, uint32_t hCursor, uint32_t hConn, DriverRecord* drv, void* owner,
                     const SCS* connDefaults);
void SCS_ResetPosition(SCS* scs);
void SCS_FreeRowStatus(SCS* scs);
// 0, or ERR_ROW_VALUE with nothing changed.
int32_t SCS_SetPosition(SCS* scs, int32_t row);
int32_t SCS_GetBookmark(SCS* scs, uint32_t index, int32_t* out);
int32_t SCS_GetRowNumber(SCS* scs, uint32_t index, int32_t* out);
int32_t SCS_GetBaseColAttrs(SCS* scs, uint16_t column, ColumnInfo* info, uint16_t requestBits,
                            uint16_t stride, uint16_t rows, ColAttr* table);
int32_t SCS_SetPosResume(SCS* scs, uint16_t** statuses, int32_t* rows);
