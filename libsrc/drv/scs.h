#pragma once
// scs.h -- the scrollable-cursor statement context: the record, its
// defaults, positions, row statuses, bookmarks and row numbers, and the ODBC
// information items asked of a back end through a DriverRecord.
// One SCS lives in every connection (the default statement options), one in
// every statement (options, scroll position, current rowset) and one in every
// agent cursor (the emulation state), so the core, the agent and the cursor
// layer all see the record; what only an agent cursor's context does (its
// allocation, release and emulation) belongs to the cursor layer (scrs).
// A context owns what hangs on it: the row status table, its texts, kept
// parameters and type lists, its long-value Dataset.
// Threading: a context is used under its connection's call serialisation.
// Not here: the statement side of scrolling (odbc/scroll.h) and the emulation
// of the scrollable types (scrs).

#include <cstdint>

#include "drv/drvops.h"

struct KS;            // the keyset of a keyset-driven or mixed cursor
struct SS;            // the static result set of a static cursor
struct SCR_Analysis;  // an analysed statement (cursor layer)
struct DSC;           // a dataset cache (cursor layer)
struct RVC;           // the row-version context of a dynamic cursor (cursor layer)
struct PosStatements;  // the statements of positioned operations (cursor layer)
struct DynArray;      // util/dynarray.h

// Cursor types and the special positions without a current rowset.
inline constexpr int32_t SCS_FORWARD_ONLY = 0;
inline constexpr int32_t SCS_KEYSET = 1;
inline constexpr int32_t SCS_DYNAMIC = 2;
inline constexpr int32_t SCS_STATIC = 3;
inline constexpr int32_t SCS_POS_BEFORE_START = 0;
inline constexpr int32_t SCS_POS_NO_ROW = -2;
inline constexpr int32_t SCS_POS_AFTER_END = -3;
inline constexpr int32_t SCS_START_UNKNOWN = -1;

// sc_flags bits.
inline constexpr uint16_t SCS_F_ROWSET_CHANGED = 0x1;
inline constexpr uint16_t SCS_F_KEY_ORDER = 0x2;      // sc_analysis has the key ORDER BY
inline constexpr uint16_t SCS_F_KEYED_SELECT = 0x4;   // sc_hCursor holds the keyed row SELECT
inline constexpr uint16_t SCS_F_PARAMS_KEPT = 0x8;
inline constexpr uint16_t SCS_F_CURSOR_TYPE_SET = 0x40;
inline constexpr uint16_t SCS_F_STATIC_LOADED = 0x80;
inline constexpr uint16_t SCS_F_KEYSET_SIZE_SET = 0x100;
inline constexpr uint16_t SCS_F_ANALYSED = 0x200;
inline constexpr uint16_t SCS_F_CLOSED = 0x400;
inline constexpr uint16_t SCS_F_DOWNGRADED = 0x800;
inline constexpr uint16_t SCS_F_SELECT_REWRITTEN = 0x1000;
inline constexpr uint16_t SCS_F_PREPARED = 0x8000;

struct SCS {
  int32_t sc_rowsetSize;     // rows per rowset; 1
  int32_t sc_keysetSize;     // 0 = pure keyset; above 0 makes type 1 a mixed cursor
  int32_t sc_rowCount;       // -1 while unknown
  int32_t sc_cursorType;     // SCS_FORWARD_ONLY ... SCS_STATIC
  int32_t sc_reqCursorType;  // the type asked for while another runs it
  int32_t sc_concurrency;    // 1 read-only, 2 lock, 3 row versions, 4 values
  int32_t sc_reqConcurrency;
  uint32_t sc_simulateCursor;
  uint32_t sc_useBookmarks;
  uint32_t sc_retrieveData;   // 1; 0 drops the values and keeps statuses and counts
  uint32_t sc_hConn;          // agent connection handle (0 in a connection's copy)
  uint32_t sc_hCursor;        // agent cursor handle (0 in a connection's copy)
  int32_t sc_position;        // current row of the rowset (1-based), or a special position
  int32_t sc_rowsetStart;     // first row of the current rowset, or a special position
  DriverRecord* sc_driver;    // whole chain (statement copy), table below the layer (cursor copy)
  void* sc_owner;             // the Stmt or InfCursor embedding the context; none for a connection
  uint32_t sc_stmtAttr1050;   // 1
  uint32_t sc_info04;         // (cursor) the agent runs parameter operations
  int32_t sc_windowState;     // (cursor) window of a mixed cursor; -6 none
  KS* sc_keyset;              // (cursor)
  uint16_t sc_flags;          // SCS_F_* bits
  Dataset* sc_params;         // (cursor) copy of the last parameters while SCS_F_PARAMS_KEPT
  Dataset* sc_optValues;      // (cursor) old values for value concurrency
  uint16_t sc_analysisFlags;  // (cursor)
  char* sc_sqlText;           // (cursor) the prepared text, for a re-prepare after a close
  uint32_t sc_auxCursor;      // (cursor) auxiliary agent cursors, owned
  uint32_t sc_auxCursor2;
  uint16_t sc_aux2Prepared;    // (cursor) 0x10 and 0x20 drop with a new rowset size
  uint16_t sc_resultColCount;  // (cursor)
  ColumnInfo* sc_resultCols;
  RowStatusTable* sc_rowStatus;  // statuses and rows of the current rowset; owned
  uint16_t* sc_appRowStatus;     // (statement) the application's row-status array
  uint32_t sc_setPosRow;
  uint16_t sc_setPosOp;           // 1 refresh, 2 update, 3 delete, 4 add
  uint32_t sc_fetchDirections;    // (statement) SQL_FETCH_DIRECTION mask; 0 until read
  int32_t sc_prevRowsetSize;      // (statement) rowset size when the current rowset was fetched
  uint32_t sc_resendParamTypes;   // (cursor) kept types go again after a re-prepare
  uint16_t sc_genParamTypeCount;  // (cursor)
  ParamShadow* sc_genParamTypes;
  uint16_t sc_paramTypeCount;  // (cursor) copy of the last DRV_SetParamTypes list
  ParamShadow* sc_paramTypes;
  uint32_t sc_lockByUpdate;     // (cursor)
  char sc_quoteChar;            // (cursor) identifier quote, 0 for none
  uint32_t sc_quotedIdCase;     // (cursor) 4
  uint32_t sc_idCase;           // (cursor) 1
  int32_t sc_maxParams;         // (cursor) 255
  char* sc_userName;            // (cursor) owned
  char* sc_dbmsName;            // (cursor) owned
  Dataset* sc_windowBound;      // (cursor)
  int16_t sc_nullCollation;     // (cursor)
  uint16_t sc_orderColCount;    // (cursor)
  SS* sc_staticSet;             // (cursor)
  int32_t sc_cacheWindowStart;  // (cursor)
  Dataset* sc_setPosRows;       // (cursor) values of the SetPos under way
  uint16_t* sc_setPosCols;
  int32_t sc_rowsAffected;  // (cursor) -1 when no positioned operation ran
  uint32_t sc_hasRowVersions;
  uint32_t sc_keepQualifier;  // (cursor)
  uint32_t sc_stmtAttr1052;
  uint32_t sc_stmtAttr1054;
  Dataset* sc_longValues;  // (cursor) side Dataset of long values, owned
  int16_t sc_longCol;      // (cursor) the long value returned in pieces
  int16_t sc_longRow;
  int32_t sc_longOffset;
  uint32_t sc_longRest;
  uint32_t sc_wideAgent;      // (cursor)
  int16_t sc_maxOrderByCols;  // (cursor)
  uint32_t sc_deferLong;      // (cursor) set by the agent's cursor allocation
  // The cursor layer's analysis of the statement (cursor copy only; all owned
  // and made by the layer's SCS_InitCursor):
  DynArray* sc_tables;             // TblDesc of the SELECT's tables, resolved by the catalog
  DynArray* sc_tableCols;          // ColDesc of every column of those tables
  DynArray* sc_orderBy;            // OrderByItem of the ORDER BY
  DynArray* sc_selectCols;         // ColDesc of the select list, all-columns items expanded
  SCR_Analysis* sc_analysis;       // the user's statement (sa_generated: the text built on it)
  SCR_Analysis* sc_auxAnalysis;    // the statement prepared on sc_auxCursor
  SCR_Analysis* sc_aux2Analysis;   // the statement prepared on sc_auxCursor2
  DSC* sc_cache;                   // old values of a static cursor under value concurrency
  RVC* sc_rvc;                     // row versions (dynamic cursors); made and freed by rvc.cpp
  PosStatements* sc_posStatements;  // positioned statements prepared once, by text; owned
};

// An ODBC SQLGetInfo item of the back end through rec's DRV_GetInfo: the
// integer items of scrolling, isolation, identifier case and ORDER BY width (4
// bytes, scs.cpp lists them) and the texts SQL_ROW_UPDATES, SQL_DBMS_NAME,
// SQL_IDENTIFIER_QUOTE_CHAR and SQL_USER_NAME; other items answer
// ERR_OPTION_TYPE.
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
// The status of the 1-based row; SQL_ROW_ERROR without a table or for a row
// outside it.
uint16_t SCS_GetRowStatus(const RowStatusTable* table, int32_t row);
// Nothing without a table or for a row outside it.
void SCS_SetRowStatus(RowStatusTable* table, int32_t row, uint16_t status);
// index is 0-based within the rowset. A bookmark is the absolute row number.
int32_t SCS_GetBookmark(SCS* scs, uint32_t index, int32_t* out);
int32_t SCS_GetRowNumber(SCS* scs, uint32_t index, int32_t* out);
