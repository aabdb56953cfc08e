#pragma once
// stmt.h -- the statement record: creation with its agent cursor and its four
// implicit descriptors, closing, release, its message list, and the small
// services shared by several layers (message lists, string copy-out).
// Threading: a statement is used under its connection's call lock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "drv/dataset.h"
#include "drv/drvops.h"
#include "drv/scs.h"
#include "odbc/binding.h"
#include "odbc/diag.h"
#include "odbc/getcol.h"

struct Conn;
struct Desc;
struct ColumnInfo;
struct HashTable;

inline constexpr int32_t STMT_MAGIC = 0x3344;

// Stmt::state.
inline constexpr int32_t STMT_STATE_FREED = 0;
inline constexpr int32_t STMT_STATE_ALLOCATED = 1;
inline constexpr int32_t STMT_STATE_PREPARED = 2;  // prepared, or a result pending

// Stmt::st_flags bits.
inline constexpr uint16_t STMT_F_PREPARED = 0x1;
inline constexpr uint16_t STMT_F_RESULT = 0x2;  // result set pending or cursor open
inline constexpr uint16_t STMT_F_NEEDBIND = 0x4;
inline constexpr uint16_t STMT_F_TYPES_SENT = 0x8;

struct Stmt {
  int32_t magic;    // STMT_MAGIC while valid; RECORD_FREED once freed
  uint32_t handle;  // its handle in the statement table
  int32_t errCode;
  int32_t state;  // STMT_STATE_*
  DiagList diag;
  Stmt* next;  // next statement of the connection
  Conn* st_dbc;
  uint32_t st_id;
  DriverRecord* st_drv;  // the connection's DriverRecord
  DrvHandle st_hCursor;  // agent cursor
  int32_t st_timeout;    // statement options, copied from the connection's defaults
  uint64_t st_maxLength;
  uint64_t st_maxRows;
  int32_t st_bindType;
  uint32_t st_noscan;
  uint32_t st_async;
  uint16_t st_flags;  // STMT_F_* bits
  uint32_t st_isSelect;
  char* st_currentOf;         // the cursor a positioned UPDATE or DELETE names; malloc'd, or null
  uint32_t st_paramInfoDone;  // parameters described for the current preparation
  uint16_t st_numParams;
  ColumnInfo* st_paramInfo;  // shares the agent cursor's strings
  uint16_t st_numCols;       // hidden procedure-parameter columns included
  ColumnInfo* st_colInfo;    // owns its strings; asked once per result
  // The back end's DRVP_DESCRIPTION when st_colInfo was asked for (st_colInfoKeyed):
  // the description is kept across executions while that number stays.
  uint32_t st_colInfoDescription;
  uint8_t st_colInfoKeyed;
  Dataset st_block;          // the current fetch block
  uint16_t st_rowsPerBlock;
  uint16_t st_blockRow;          // next row of st_block to deliver
  ColBindingNode* st_boundCols;  // one node per bound column, in binding order
  // The same nodes by column number, and the last of the list: a descriptor walk over
  // thousands of bound records finds each at once (stmtrec.cpp).
  ColBindingNode** st_boundIndex;
  uint32_t st_boundIndexSize;
  ColBindingNode* st_boundTail;
  // Moves whenever what a bound column's copy was chosen for may have changed: a
  // binding, the row binding type or offset pointer, or the block's layout.
  uint32_t st_bindGen;
  BoundRowPlan st_rowPlan;  // the row-by-row fetch's copies, chosen under st_bindGen
  ParamBinding* st_params;       // slot n - 1 for parameter n
  uint16_t st_numParamSlots;     // slots of st_params and st_paramShadow
  ParamShadow* st_paramShadow;
  int16_t st_daeState;       // DAE_* (dae.h)
  Dataset* st_paramDataset;  // parameters of the execution under way
  int16_t st_daeScanCol;     // data-at-execution scan position: the next value not yet asked for
  uint32_t st_daeScanRow;
  int16_t st_daeCol;  // the value PutData appends to (collected here)
  uint32_t st_daeRow;
  int32_t st_daeDrvIndex;  // the value the back end named last (it collects)
  int32_t st_daeDrvRow;
  uint32_t st_daePieces;   // PutData calls for the current value
  uint32_t st_daeSets;     // parameter sets of the Dataset the back end completes
  uint8_t st_daeCarry[3];  // the end of a UTF-16 piece held for the next one
  uint8_t st_daeCarryLen;
  uint8_t st_daeNull;      // the current value was sent as NULL
  char* st_daeText;        // a date-time value's pieces, sent whole at its end (owned)
  uint32_t st_daeTextLen;
  uint64_t st_paramsetSize;
  uint64_t* st_paramsProcessedPtr;
  GetDataState st_getData;  // piecewise SQLGetData of the current row
  uint16_t st_numInParams;  // parameters by direction, counted at prepare
  uint16_t st_numOutParams;
  uint16_t st_numInOutParams;
  int32_t st_paramDirUnknown;  // a direction is known only from the bindings
  SCS st_cursor;               // scroll options and position
  uint16_t* st_setPosStatus;   // the back end's per-row results of the SetPos under way
  int32_t st_setPosStatusCount;  // its entries; -1 when the back end did not say
  Dataset* st_setPosRows;      // rows handed down, kept only when the caller owns them
  uint16_t* st_setPosCols;     // result columns of those rows (the core's own copy)
  uint16_t st_setPosColCount;
  uint32_t st_setPosFirst;     // application rows of the SetPos under way
  uint32_t st_setPosCount;
  uint16_t* st_setPosApp;      // where its results go in the application, and the entries there
  uint32_t st_setPosAppRows;
  uint8_t st_daeOnDriver;      // the SetPos dialogue runs on the back end's road
  uint32_t st_daeColEnd;       // rows of a column scan end here
  uint16_t* st_daeColList;     // result columns a column scan asks for (owned)
  uint16_t st_daeColCount;
  uint16_t st_bulkOp;          // BulkOperations under way, kept across its dialogue
  uint32_t* st_bulkBookmarks;  // one per row of it (owned)
  uint16_t st_bulkSize;
  uint32_t* st_rowsetMarks;    // bookmarks of a rowset whose start is not known (owned)
  uint16_t st_rowsetMarkCount;
  Desc* st_implicitArd;
  Desc* st_implicitApd;
  Desc* st_ard;  // current ARD and APD: implicit or explicit
  Desc* st_apd;
  Desc* st_ird;
  Desc* st_ipd;
  int64_t* st_fetchBookmarkPtr;
  uint64_t* st_rowsFetchedPtr;
  uint64_t st_rowNumber;
  HashTable* st_colAttrs;  // overrides of the current result description, or null
  uint8_t st_colAttrsDue;  // the overrides are asked for at their first use (StmtColAttrs)
  int16_t diagRecNo;
};

// Null with the cause in the connection's errCode.
Stmt* StmtNew(Conn* conn);
Stmt* StmtClose(Stmt* stmt);
void StmtFree(Stmt* stmt);
void StmtUnbindCols(Stmt* stmt);
void StmtResetParams(Stmt* stmt);
int32_t StmtPostDriverErrors(Stmt* stmt);
// Rows affected by the statement's last INSERT, UPDATE or DELETE (-1 otherwise).
int32_t StmtRowCount(Stmt* stmt, int64_t* rows);
// Frees the texts and the array of a back end's message list.
void MessageListFree(DriverMessageList* list);
