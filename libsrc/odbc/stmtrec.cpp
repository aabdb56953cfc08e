// stmtrec.cpp -- a statement's bindings, descriptions and small services.
// The binding records are the statement's; the application's pointers in them
// are never freed here. Data-at-execution buffers belong to the bindings unless
// the back end runs data at execution itself (cn_hasV2DAE), when they are the
// data-exchange layer's to release.
// Threading: under the statement's connection call lock.

#include "odbc/stmtrec.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv/colattr.h"
#include "drv/colinfo.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/descops.h"
#include "odbc/envr.h"

namespace {

constexpr uint16_t kMaxParams = 1024;

bool owns_dae(const Stmt* stmt) { return stmt->st_dbc->cn_hasV2DAE == 0; }

void free_col_node(Stmt* stmt, ColBindingNode* node) {
  if (owns_dae(stmt))
    DAEBuffersFree(&node->cb.cb_daeBuffers, node->cb.cb_daeRows, &node->cb.cb_daeLengths);
  free(node);
}

void clear_param_slot(Stmt* stmt, ParamBinding* pb) {
  if (owns_dae(stmt)) DAEBuffersFree(&pb->pb_daeBuffers, pb->pb_daeRows, &pb->pb_daeLengths);
  *pb = ParamBinding{};
}

ParamShadow shadow_of(const ParamBinding& pb) {
  ParamShadow s{};
  s.sqlType = pb.pb_sqlType;
  s.cType = pb.pb_cType;
  s.columnSize = static_cast<int32_t>(static_cast<uint32_t>(pb.pb_columnSize));
  s.scale = pb.pb_scale;
  s.paramType = pb.pb_paramType;
  return s;
}

// The one entry that stands for the bookmark column; it owns no strings.
const ColumnInfo kBookmarkColumn = [] {
  ColumnInfo c{};
  memcpy(c.name, "BOOKMARK", sizeof "BOOKMARK");
  c.sqlType = SQL_CHAR;
  c.precision = 8;
  c.displaySize = 8;
  c.octetLength = 8;
  c.bindType = DS_NONE;
  return c;
}();

}  // namespace

// ---- Bindings ------------------------------------------------------------------

namespace {

ColBindingNode* bound_node(const Stmt* stmt, uint16_t column) {
  return column < stmt->st_boundIndexSize ? stmt->st_boundIndex[column] : nullptr;
}

// Files node under its column; false when the index cannot grow.
bool index_node(Stmt* stmt, uint16_t column, ColBindingNode* node) {
  if (column >= stmt->st_boundIndexSize) {
    if (node == nullptr) return true;
    uint32_t size = stmt->st_boundIndexSize == 0 ? 16 : stmt->st_boundIndexSize;
    while (size <= column) size *= 2;
    auto* grown =
        static_cast<ColBindingNode**>(realloc(stmt->st_boundIndex, size * sizeof(ColBindingNode*)));
    if (grown == nullptr) return false;
    std::fill(grown + stmt->st_boundIndexSize, grown + size, nullptr);
    stmt->st_boundIndex = grown;
    stmt->st_boundIndexSize = size;
  }
  stmt->st_boundIndex[column] = node;
  return true;
}

// Unlinks the node at *p, keeping the index and the tail.
void drop_node(Stmt* stmt, ColBindingNode** p, ColBindingNode* before) {
  ColBindingNode* node = *p;
  *p = node->next;
  if (stmt->st_boundTail == node) stmt->st_boundTail = before;
  (void)index_node(stmt, node->cb.cb_column, nullptr);
  free_col_node(stmt, node);
}

}  // namespace

SQLRETURN StmtAddColBinding(Stmt* stmt, const ColBinding* cb) {
  StmtBindingsChanged(stmt);
  if (ColBindingNode* n = bound_node(stmt, cb->cb_column)) {
    // The rebound column keeps its place and its data-at-execution buffers
    // go with the old binding.
    if (owns_dae(stmt))
      DAEBuffersFree(&n->cb.cb_daeBuffers, n->cb.cb_daeRows, &n->cb.cb_daeLengths);
    n->cb = *cb;
    return SQL_SUCCESS;
  }
  auto* node = static_cast<ColBindingNode*>(calloc(1, sizeof(ColBindingNode)));
  if (node == nullptr || !index_node(stmt, cb->cb_column, node)) {
    free(node);
    stmt->errCode = ERR_MEMORY;
    return SQL_ERROR;
  }
  node->cb = *cb;
  if (stmt->st_boundTail != nullptr)
    stmt->st_boundTail->next = node;
  else
    stmt->st_boundCols = node;
  stmt->st_boundTail = node;
  return SQL_SUCCESS;
}

int32_t StmtRemoveColBinding(Stmt* stmt, const ColBinding* cb) {
  StmtBindingsChanged(stmt);
  if (bound_node(stmt, cb->cb_column) == nullptr) return 0;
  ColBindingNode* before = nullptr;
  for (ColBindingNode** p = &stmt->st_boundCols; *p != nullptr; before = *p, p = &(*p)->next) {
    if ((*p)->cb.cb_column == cb->cb_column) {
      drop_node(stmt, p, before);
      break;
    }
  }
  return 0;
}

void StmtDropColBindings(Stmt* stmt) {
  StmtBindingsChanged(stmt);
  // The copies chosen for the bindings go with them.
  free(stmt->st_rowPlan.cells);
  stmt->st_rowPlan = BoundRowPlan{};
  while (stmt->st_boundCols != nullptr) {
    ColBindingNode* node = stmt->st_boundCols;
    stmt->st_boundCols = node->next;
    free_col_node(stmt, node);
  }
  free(stmt->st_boundIndex);
  stmt->st_boundIndex = nullptr;
  stmt->st_boundIndexSize = 0;
  stmt->st_boundTail = nullptr;
}

void StmtDropColBindingsAbove(Stmt* stmt, uint16_t n) {
  StmtBindingsChanged(stmt);
  ColBindingNode* before = nullptr;
  for (ColBindingNode** p = &stmt->st_boundCols; *p != nullptr;) {
    if ((*p)->cb.cb_column > n) {
      drop_node(stmt, p, before);
    } else {
      before = *p;
      p = &(*p)->next;
    }
  }
}

void StmtDropParamBindingsAbove(Stmt* stmt, uint16_t n) {
  for (uint16_t i = n; i < stmt->st_numParamSlots; ++i) {
    if (stmt->st_params[i].pb_number == 0) continue;
    clear_param_slot(stmt, &stmt->st_params[i]);
    stmt->st_paramShadow[i] = ParamShadow{};
    stmt->st_flags &= static_cast<uint16_t>(~STMT_F_TYPES_SENT);
  }
}

void StmtUnbindParam(Stmt* stmt, uint16_t n) {
  if (n == 0 || n > stmt->st_numParamSlots) return;
  clear_param_slot(stmt, &stmt->st_params[n - 1]);
  stmt->st_paramShadow[n - 1] = ParamShadow{};
  stmt->st_flags &= static_cast<uint16_t>(~STMT_F_TYPES_SENT);
}

void StmtParamTypesChanged(Stmt* stmt, uint16_t n) {
  if (n == 0 || n > stmt->st_numParamSlots) return;
  const ParamShadow shadow = shadow_of(stmt->st_params[n - 1]);
  ParamShadow* kept = &stmt->st_paramShadow[n - 1];
  if (memcmp(&shadow, kept, sizeof shadow) != 0) {
    stmt->st_flags &= static_cast<uint16_t>(~STMT_F_TYPES_SENT);
    *kept = shadow;
  }
}

void StmtUnbindCols(Stmt* stmt) {
  StmtDropColBindings(stmt);
  Desc* ard = stmt->st_ard;
  if (ard != nullptr && ard->de_count > 0) {
    ard->de_count = 0;
    DescTruncate(ard, 0);
  }
}

SQLRETURN StmtSetParamBinding(Stmt* stmt, const ParamBinding* pb) {
  if (pb->pb_number == 0 || pb->pb_number > kMaxParams) {
    stmt->errCode = ERR_PARAM_NUMBER;
    return SQL_ERROR;
  }
  if (pb->pb_number > stmt->st_numParamSlots) {
    const uint16_t slots = static_cast<uint16_t>(std::min<int>(pb->pb_number + 9, kMaxParams));
    auto* params = static_cast<ParamBinding*>(calloc(slots, sizeof(ParamBinding)));
    auto* shadows = static_cast<ParamShadow*>(calloc(slots, sizeof(ParamShadow)));
    if (params == nullptr || shadows == nullptr) {
      free(params);
      free(shadows);
      stmt->errCode = ERR_MEMORY;
      return SQL_ERROR;
    }
    if (stmt->st_numParamSlots > 0) {
      memcpy(params, stmt->st_params, stmt->st_numParamSlots * sizeof(ParamBinding));
      memcpy(shadows, stmt->st_paramShadow, stmt->st_numParamSlots * sizeof(ParamShadow));
    }
    free(stmt->st_params);
    free(stmt->st_paramShadow);
    stmt->st_params = params;
    stmt->st_paramShadow = shadows;
    stmt->st_numParamSlots = slots;
  }
  ParamBinding* slot = &stmt->st_params[pb->pb_number - 1];
  ParamBinding copy = *pb;
  if (owns_dae(stmt)) {
    DAEBuffersFree(&slot->pb_daeBuffers, slot->pb_daeRows, &slot->pb_daeLengths);
    copy.pb_daeRows = 0;
    copy.pb_daeBuffers = nullptr;
    copy.pb_daeLengths = nullptr;
  }
  *slot = copy;
  const ParamShadow shadow = shadow_of(copy);
  ParamShadow* kept = &stmt->st_paramShadow[pb->pb_number - 1];
  if (memcmp(&shadow, kept, sizeof shadow) != 0) {
    stmt->st_flags &= static_cast<uint16_t>(~STMT_F_TYPES_SENT);
    *kept = shadow;
  }
  return SQL_SUCCESS;
}

void StmtResetParams(Stmt* stmt) {
  if (stmt->st_params != nullptr && owns_dae(stmt)) {
    for (uint16_t i = 0; i < stmt->st_numParamSlots; ++i) {
      ParamBinding* pb = &stmt->st_params[i];
      DAEBuffersFree(&pb->pb_daeBuffers, pb->pb_daeRows, &pb->pb_daeLengths);
    }
  }
  free(stmt->st_params);
  free(stmt->st_paramShadow);
  stmt->st_params = nullptr;
  stmt->st_paramShadow = nullptr;
  if (stmt->st_paramDataset != nullptr && (stmt->st_drv->caps & DRV_CAP_CALLER_OWNS_DATA) != 0) {
    DatasetFree(stmt->st_paramDataset);
    free(stmt->st_paramDataset);
  }
  stmt->st_paramDataset = nullptr;
  stmt->st_numParamSlots = 0;
  stmt->st_flags &= static_cast<uint16_t>(~STMT_F_TYPES_SENT);
}

ColBinding* StmtFindColBinding(uint16_t column, Stmt* stmt) {
  ColBindingNode* n = bound_node(stmt, column);
  return n != nullptr ? &n->cb : nullptr;
}

ParamBinding* StmtFindParamBinding(uint16_t n, Stmt* stmt) {
  if (n == 0 || n > stmt->st_numParamSlots) return nullptr;
  return &stmt->st_params[n - 1];
}

namespace {

template <typename T>
void free_dae(T*** buffers, uint64_t count, uint64_t** lengths) {
  if (*buffers != nullptr) {
    for (uint64_t i = 0; i < count; ++i) free((*buffers)[i]);
    free(*buffers);
    *buffers = nullptr;
  }
  free(*lengths);
  *lengths = nullptr;
}

}  // namespace

void DAEBuffersFree(void*** buffers, uint64_t count, uint64_t** lengths) {
  free_dae(buffers, count, lengths);
}

void DAEBuffersFree(char*** buffers, uint64_t count, uint64_t** lengths) {
  free_dae(buffers, count, lengths);
}

int32_t StmtAllocParamDAE(Stmt* stmt) {
  const uint64_t rows = stmt->st_paramsetSize;
  for (uint16_t i = 0; i < stmt->st_numParamSlots; ++i) {
    ParamBinding* pb = &stmt->st_params[i];
    DAEBuffersFree(&pb->pb_daeBuffers, pb->pb_daeRows, &pb->pb_daeLengths);
    pb->pb_daeRows = 0;
    pb->pb_daeBuffers = static_cast<char**>(calloc(rows, sizeof(char*)));
    pb->pb_daeLengths = static_cast<uint64_t*>(calloc(rows, sizeof(uint64_t)));
    if (pb->pb_daeBuffers == nullptr || pb->pb_daeLengths == nullptr) {
      DAEBuffersFree(&pb->pb_daeBuffers, 0, &pb->pb_daeLengths);
      return ERR_MEMORY;
    }
    pb->pb_daeRows = rows;
  }
  return 0;
}

void StmtDropParamDAE(Stmt* stmt) {
  if (owns_dae(stmt)) {
    for (uint16_t i = 0; i < stmt->st_numParamSlots; ++i) {
      ParamBinding* pb = &stmt->st_params[i];
      if (pb->pb_daeBuffers == nullptr) continue;
      for (uint64_t r = 0; r < pb->pb_daeRows; ++r) {
        free(pb->pb_daeBuffers[r]);
        pb->pb_daeBuffers[r] = nullptr;
        pb->pb_daeLengths[r] = 0;
      }
    }
  }
  // A Dataset the back end was completing is the back end's, unless the
  // caller frees what it hands down.
  if (stmt->st_paramDataset != nullptr && (stmt->st_drv->caps & DRV_CAP_FREEPARAMS) != 0) {
    DatasetFree(stmt->st_paramDataset);
    free(stmt->st_paramDataset);
  }
  stmt->st_paramDataset = nullptr;
  stmt->st_daePieces = 0;
  stmt->st_daeCarryLen = 0;
  stmt->st_daeNull = 0;
  free(stmt->st_daeText);
  stmt->st_daeText = nullptr;
  stmt->st_daeTextLen = 0;
}

int32_t StmtAllocColDAE(Stmt* stmt, uint64_t rows) {
  StmtBindingsChanged(stmt);
  for (ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next) {
    ColBinding* cb = &n->cb;
    DAEBuffersFree(&cb->cb_daeBuffers, cb->cb_daeRows, &cb->cb_daeLengths);
    cb->cb_daeRows = 0;
    cb->cb_daeBuffers = static_cast<void**>(calloc(rows, sizeof(void*)));
    cb->cb_daeLengths = static_cast<uint64_t*>(calloc(rows, sizeof(uint64_t)));
    if (cb->cb_daeBuffers == nullptr || cb->cb_daeLengths == nullptr) {
      DAEBuffersFree(&cb->cb_daeBuffers, 0, &cb->cb_daeLengths);
      return ERR_MEMORY;
    }
    cb->cb_daeRows = rows;
  }
  return 0;
}

// ---- Descriptions --------------------------------------------------------------

bool StmtHasResultInfo(const Stmt* stmt) {
  return stmt->state == STMT_STATE_PREPARED || (stmt->st_flags & STMT_F_PREPARED) != 0;
}

bool IsParamColumnName(const char* name) {
  return name[0] == '*' && (name[1] == 'I' || name[1] == 'O' || name[1] == 'B' || name[1] == 'U');
}

const char* ColumnDisplayName(const ColumnInfo* info) {
  return info->fullName != nullptr && info->fullName[0] != '\0' ? info->fullName : info->name;
}

int16_t SqlTypeForVersion(int32_t sqlType, const Stmt* stmt) {
  const Envr* env = stmt->st_dbc->envr;
  const bool odbc3 = env != nullptr && env->odbcVersion == SQL_OV_ODBC3;
  if (odbc3 && sqlType >= SQL_DATE && sqlType <= SQL_TIMESTAMP)
    return static_cast<int16_t>(sqlType - SQL_DATE + SQL_TYPE_DATE);
  if (!odbc3 && sqlType >= SQL_TYPE_DATE && sqlType <= SQL_TYPE_TIMESTAMP)
    return static_cast<int16_t>(sqlType - SQL_TYPE_DATE + SQL_DATE);
  return static_cast<int16_t>(sqlType);
}

uint16_t ResultRowWidth(const ColumnInfo* info, uint16_t n) {
  if (n == 0 || info == nullptr) return 0;
  uint64_t width = 0;
  for (uint16_t i = 0; i < n; ++i) {
    uint64_t w = 2;
    switch (info[i].bindType) {
      case DS_NONE:
      case DS_BIT:
      case DS_TINYINT:
      case DS_UTINYINT: w += 1; break;
      case DS_SMALLINT:
      case DS_USMALLINT: w += 2; break;
      case DS_INTEGER:
      case DS_UINTEGER:
      case DS_REAL: w += 4; break;
      case DS_DOUBLE: w += 8; break;
      case DS_DATE:
      case DS_TIME: w += 6; break;
      case DS_CHAR:
      case DS_BINARY:
      case DS_STRING: w += info[i].octetLength; break;
      case DS_WCHAR: w += 2ull * info[i].octetLength + 2; break;
      default: w += 16; break;
    }
    width += w;
  }
  // A row wider than the block still travels alone.
  return static_cast<uint16_t>(std::max<uint64_t>(1, 65535 / width));
}

namespace {

// The back end's number for the cursor's current description; false when it has none.
bool description_of(Stmt* stmt, uint32_t* value) {
  int32_t v = 0;
  uint16_t len = 0;
  if (stmt->st_drv->ops->DRV_GetInfo(stmt->st_hCursor, DRVP_DESCRIPTION, &v, 4, &len) != 0)
    return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

void set_rows_per_block(Stmt* stmt) {
  const int32_t fetchSize = std::max(stmt->st_dbc->cn_fetchSize, 1);
  stmt->st_rowsPerBlock = static_cast<uint16_t>(
      std::min<int32_t>(ResultRowWidth(stmt->st_colInfo, stmt->st_numCols), fetchSize));
}

// The description with its attribute overrides, which become the statement's table.
int32_t take_col_attrs(Stmt* stmt, uint16_t* cols, ColumnInfo** info) {
  int16_t attrCount = 0;
  ColAttr* attrs = nullptr;
  int32_t code =
      stmt->st_drv->ops->DRV_ColAttributes(stmt->st_hCursor, cols, &attrCount, info, &attrs);
  if (code == 0) {
    code = ColAttrTableBuild(attrs, attrCount, &stmt->st_colAttrs);
  } else if (attrs != nullptr) {
    for (int16_t i = 0; i < attrCount; ++i) ColAttrFreeValue(&attrs[i]);
  }
  free(attrs);
  return code;
}

// The result description, or null with *code 0 for a result without columns.
ColumnInfo* describe(Stmt* stmt, int32_t* code) {
  *code = 0;
  if (stmt->st_colInfo != nullptr) return stmt->st_colInfo;
  Conn* conn = stmt->st_dbc;
  stmt->st_numCols = 0;
  ColAttrTableFree(&stmt->st_colAttrs);
  stmt->st_colAttrsDue = 0;
  // Most results are read without a look at the overrides, and building their table
  // costs more than a short statement's execution: a forward-only cursor asks for them
  // when they are first wanted (a scrollable one may have another statement prepared on
  // its cursor by then).
  // Only a back end that numbers its descriptions can tell then whether they still
  // belong to this one.
  stmt->st_colInfoKeyed = description_of(stmt, &stmt->st_colInfoDescription) ? 1 : 0;
  const bool lazy = conn->cn_hasColAttrs != 0 && stmt->st_colInfoKeyed != 0 &&
                    stmt->st_cursor.sc_cursorType == SCS_FORWARD_ONLY;
  if (conn->cn_hasColAttrs != 0 && !lazy) {
    *code = take_col_attrs(stmt, &stmt->st_numCols, &stmt->st_colInfo);
  } else {
    *code = stmt->st_drv->ops->DRV_DescribeColumns(stmt->st_hCursor, &stmt->st_numCols,
                                                   &stmt->st_colInfo);
  }
  if (*code == 0 && stmt->st_colInfo != nullptr) stmt->st_colAttrsDue = lazy ? 1 : 0;
  if (*code != 0) {
    ColumnInfoFree(stmt->st_colInfo, stmt->st_numCols);
    stmt->st_colInfo = nullptr;
    stmt->st_numCols = 0;
    stmt->st_colInfoKeyed = 0;
    ColAttrTableFree(&stmt->st_colAttrs);
    stmt->errCode = *code;
    (void)StmtPostDriverErrors(stmt);
    return nullptr;
  }
  if (stmt->st_colInfo == nullptr) {
    stmt->st_numCols = 0;
    stmt->st_colInfoKeyed = 0;
    return nullptr;
  }
  set_rows_per_block(stmt);
  return stmt->st_colInfo;
}

}  // namespace

ColumnInfo* StmtDescribeCols(Stmt* stmt) {
  int32_t code = 0;
  return describe(stmt, &code);
}

const ColumnInfo* BookmarkColumnInfo() { return &kBookmarkColumn; }

const ColumnInfo* StmtColumnInfo(Stmt* stmt, uint16_t n) {
  if (n == 0 && stmt->st_cursor.sc_useBookmarks != 0) return &kBookmarkColumn;
  int32_t code = 0;
  ColumnInfo* info = describe(stmt, &code);
  if (code != 0) return nullptr;
  if (info != nullptr && n >= 1 && n <= stmt->st_numCols) return &info[n - 1];
  stmt->errCode = ERR_COLUMN_NUMBER;
  return nullptr;
}

const ColumnInfo* StmtParamInfo(Stmt* stmt, uint16_t n) {
  if (n == 0 || n > stmt->st_numParams) {
    stmt->errCode = ERR_PARAM_NUMBER;
    return nullptr;
  }
  if (stmt->st_paramInfoDone == 0 && (stmt->st_flags & STMT_F_PREPARED) != 0 &&
      (stmt->st_flags & STMT_F_RESULT) == 0) {
    const DriverOps* ops = stmt->st_drv->ops;
    int32_t one = 1;
    if (ops->DRV_SetOption(stmt->st_hCursor, DRVP_DESCRIBE_PARAMS, &one) == 0) {
      uint16_t count = 0;
      ColumnInfo* array = nullptr;
      if (ops->DRV_DescribeParams(stmt->st_hCursor, &count, &array) == 0) {
        StmtFreeParamInfo(stmt);
        stmt->st_paramInfo = array;
        stmt->st_numParams = count;
      }
    }
    stmt->st_paramInfoDone = 1;
  }
  if (n > stmt->st_numParams || stmt->st_paramInfo == nullptr) {
    stmt->errCode = ERR_PARAM_NUMBER;
    return nullptr;
  }
  return &stmt->st_paramInfo[n - 1];
}

void StmtFreeParamInfo(Stmt* stmt) {
  // The entries share the agent cursor's strings.
  free(stmt->st_paramInfo);
  stmt->st_paramInfo = nullptr;
  stmt->st_numParams = 0;
  stmt->st_paramInfoDone = 0;
}

void StmtFreeColumnInfo(Stmt* stmt) {
  // The block's storage was laid out for these columns.
  DatasetFree(&stmt->st_block);
  StmtBindingsChanged(stmt);
  ColumnInfoFree(stmt->st_colInfo, stmt->st_numCols);
  stmt->st_colInfo = nullptr;
  stmt->st_numCols = 0;
  stmt->st_colInfoKeyed = 0;
  ColAttrTableFree(&stmt->st_colAttrs);
  stmt->st_colAttrsDue = 0;
}

HashTable* StmtColAttrs(Stmt* stmt) {
  if (stmt->st_colAttrsDue == 0) return stmt->st_colAttrs;
  stmt->st_colAttrsDue = 0;
  // Only the description they were asked with has these overrides.
  uint32_t now = 0;
  if (stmt->st_colInfo == nullptr || !description_of(stmt, &now) ||
      now != stmt->st_colInfoDescription)
    return nullptr;
  uint16_t cols = 0;
  ColumnInfo* info = nullptr;
  (void)take_col_attrs(stmt, &cols, &info);
  ColumnInfoFree(info, cols);
  return stmt->st_colAttrs;
}

void StmtRecheckColumnInfo(Stmt* stmt) {
  // Describing a result again costs more than the execution of a short statement.
  uint32_t now = 0;
  if (stmt->st_colInfo != nullptr && stmt->st_colInfoKeyed != 0 && description_of(stmt, &now) &&
      now == stmt->st_colInfoDescription) {
    set_rows_per_block(stmt);
    return;
  }
  StmtFreeColumnInfo(stmt);
}

void StmtFreeResultInfo(Stmt* stmt) {
  StmtFreeResult(stmt);
  StmtFreeColumnInfo(stmt);
  StmtFreeParamInfo(stmt);
}

void StmtFreeResult(Stmt* stmt) {
  // A value read in pieces ends with its result: its piece buffer goes, and
  // no later SQLGetData continues a cell that no longer exists.
  GetDataStateFree(&stmt->st_getData);
  stmt->st_getData.gd_column = 0;
  stmt->st_getData.gd_row = 0;
  stmt->st_getData.gd_left = 0;
  // A description the back end keeps a number for is kept across executions, and the
  // block's storage with it: the next execution's first block reuses it instead of
  // allocating and zeroing its columns again (the back end lays a block out afresh
  // whenever its columns differ). Only the rows go.
  if (stmt->st_colInfoKeyed != 0)
    DatasetResetRows(&stmt->st_block);
  else
    DatasetFree(&stmt->st_block);
  StmtBindingsChanged(stmt);
  SCS_FreeRowStatus(&stmt->st_cursor);
  stmt->st_blockRow = 0;
}

// ---- Statement services --------------------------------------------------------

int32_t StmtParamOptions(Stmt* stmt, uint64_t count, uint64_t* processed) {
  if (stmt->st_dbc->cn_hasParamOp == 0) {
    if (count != 1) return ERR_NOT_SUPPORTED;
    // One set needs no back-end support; the counter is still the application's.
    stmt->st_paramsProcessedPtr = processed;
    return 0;
  }
  if (count == 0) return ERR_ROW_VALUE;
  stmt->st_paramsetSize = static_cast<uint32_t>(count);
  stmt->st_paramsProcessedPtr = processed;
  return 0;
}

int32_t StmtNumResultCols(Stmt* stmt, int16_t* n) {
  if (!StmtHasResultInfo(stmt)) return ERR_SEQUENCE;
  if (n == nullptr) return 0;
  int32_t code = 0;
  const ColumnInfo* info = describe(stmt, &code);
  if (info == nullptr) {
    if (code == 0) *n = 0;
    return code;
  }
  int16_t visible = 0;
  for (uint16_t i = 0; i < stmt->st_numCols; ++i)
    if (!IsParamColumnName(info[i].name)) ++visible;
  *n = visible;
  return 0;
}

int32_t StmtNumParams(Stmt* stmt, int16_t* n) {
  if (!StmtHasResultInfo(stmt)) return ERR_SEQUENCE;
  if (n != nullptr) *n = static_cast<int16_t>(stmt->st_numParams);
  return 0;
}
