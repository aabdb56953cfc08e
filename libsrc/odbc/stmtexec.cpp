// stmtexec.cpp -- executing a prepared statement, and the result tail every
// execution shares.
// This road executes statements without parameter markers; marshalling the
// application's parameter values into a Dataset belongs to the data-exchange
// layer, and until it is here a statement with markers is refused with
// "Driver not capable" rather than executed with values missing.
// Threading: under the statement's connection call lock.

#include "odbc/stmtexec.h"

#include <algorithm>
#include <cstring>

#include "odbc/colinfo.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/desc.h"
#include "odbc/cvt.h"
#include "odbc/envr.h"
#include "odbc/errtab.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

bool has_outputs(const Stmt* stmt) { return stmt->st_numOutParams != 0 || stmt->st_numInOutParams != 0; }

SQLRETURN execute_finish(Stmt* stmt, uint64_t rows) {
  StmtFreeColumnInfo(stmt);
  stmt->st_paramDataset = nullptr;
  const int32_t code = stmt->errCode;
  if (code != 0 && code != ERR_OUTPUT_PARAMS) {
    (void)StmtPostDriverErrors(stmt);
    if (stmt->st_paramsProcessedPtr != nullptr) {
      int32_t done = 0;
      uint16_t len = 0;
      if (stmt->st_drv->ops->DRV_GetInfo(stmt->st_hCursor, DRVP_ROW_COUNT, &done, 4, &len) == 0)
        *stmt->st_paramsProcessedPtr = static_cast<uint64_t>(done) + 1;
    }
    return code == ERR_WARNING ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
  }
  if (stmt->st_paramsProcessedPtr != nullptr)
    *stmt->st_paramsProcessedPtr = stmt->st_isSelect != 0 && stmt->st_paramsetSize > 1 ? 1 : rows;
  stmt->st_blockRow = 0;
  stmt->state = 2;
  stmt->st_flags |= STMT_F_RESULT;
  if (stmt->st_dbc->cn_spOutDeferFetch != 0 && code != ERR_OUTPUT_PARAMS) return SQL_SUCCESS;
  if (!has_outputs(stmt)) return SQL_SUCCESS;
  return FetchOutputParams(stmt);
}

SQLRETURN execute(Stmt* stmt) {
  if ((stmt->st_flags & STMT_F_PREPARED) == 0) return fail(stmt, ERR_SEQUENCE);
  if (stmt->st_numParams != 0) return fail(stmt, ERR_NOT_CAPABLE);
  stmt->st_daeState = 0;
  SCS_ResetPosition(&stmt->st_cursor);
  stmt->errCode = stmt->st_drv->ops->DRV_Execute(stmt->st_hCursor);
  return execute_finish(stmt, 0);
}

int direction(const ColumnInfo& info, const ParamBinding* pb) {
  const char* n = info.name;
  if (n[0] != '*') return SQL_PARAM_INPUT;
  if (n[1] == 'O' || (n[1] == 'U' && pb != nullptr && pb->pb_paramType == SQL_PARAM_OUTPUT))
    return SQL_PARAM_OUTPUT;
  if (n[1] == 'B' || (n[1] == 'U' && pb != nullptr && pb->pb_paramType == SQL_PARAM_INPUT_OUTPUT))
    return SQL_PARAM_INPUT_OUTPUT;
  return SQL_PARAM_INPUT;
}

template <typename T>
T* offset_ptr(T* p, int64_t offset) {
  return p == nullptr ? nullptr : reinterpret_cast<T*>(reinterpret_cast<char*>(p) + offset);
}

}  // namespace

SQLRETURN ExecuteDAECheck(Stmt* stmt) {
  if (stmt->st_daeState != 0) return fail(stmt, ERR_SEQUENCE);
  return SQL_SUCCESS;
}

SQLRETURN ExecuteParams(Stmt* stmt) { return execute(stmt); }

SQLRETURN ExecuteParamArray(Stmt* stmt) { return execute(stmt); }

SQLRETURN ExecuteImpl(Stmt* stmt, const CallSlot*) {
  if (stmt->st_dbc->cn_hasV2DAE != 0) return ExecuteParamArray(stmt);
  SQLRETURN rc = ExecuteDAECheck(stmt);
  return rc == SQL_SUCCESS ? ExecuteParams(stmt) : rc;
}

SQLRETURN FetchOutputParams(Stmt* stmt) {
  const uint16_t n = std::min(stmt->st_numParams, stmt->st_numParamSlots);
  StmtFreeResult(stmt);
  if (int32_t code = stmt->st_drv->ops->DRV_Fetch(stmt->st_hCursor, 0, &stmt->st_block); code != 0)
    return fail(stmt, code);
  const auto* offsetPtr = static_cast<const int64_t*>(stmt->st_apd->de_bindOffsetPtr);
  const int64_t offset = offsetPtr != nullptr ? *offsetPtr : 0;
  const int32_t version = stmt->st_dbc->envr->odbcVersion == SQL_OV_ODBC3 ? 3 : 2;
  uint16_t c = 0;
  for (uint16_t i = 0; i < n; ++i) {
    const ParamBinding* pb = &stmt->st_params[i];
    if (direction(stmt->st_paramInfo[i], pb) == SQL_PARAM_INPUT) continue;
    ++c;
    if (pb->pb_data == nullptr) continue;
    if (c > stmt->st_block.colCount || stmt->st_block.rowCount < 1) return fail(stmt, ERR_GENERAL);
    stmt->errCode = ERR_OUTPUT_PARAMS;
    const DatasetColumn* col = &stmt->st_block.cols[c - 1];
    const int32_t cType = pb->pb_cType == SQL_C_DEFAULT ? DefaultCType(pb->pb_sqlType, version) : pb->pb_cType;
    const bool variable = cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR;
    void* data = offset_ptr(pb->pb_data, offset);
    int64_t* lenPtr = offset_ptr(pb->pb_lengthPtr, offset);
    int64_t* indPtr = offset_ptr(pb->pb_indicatorPtr, offset);
    if (col->ind == nullptr || col->ind[0] == DS_IND_NULL) {
      if (indPtr != nullptr) *indPtr = SQL_NULL_DATA;
      else if (lenPtr != nullptr) *lenPtr = SQL_NULL_DATA;
      continue;
    }
    const void* value = nullptr;
    uint64_t length = 0;
    CellValue(col, 0, &value, &length);
    int32_t err = 0;
    SQLLEN got = 0;
    SQLRETURN rc = ConvertCellValue(col->type, value, length, static_cast<SQLLEN>(length), cType, data,
                                    variable ? pb->pb_bufferLength : pb->pb_transferSize, &got, &err,
                                    pb->pb_scale, static_cast<int32_t>(pb->pb_columnSize),
                                    static_cast<uint16_t>(pb->pb_scale));
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return fail(stmt, err != 0 ? err : ERR_GENERAL);
    if (lenPtr != nullptr) *lenPtr = got;
    if (indPtr != nullptr && indPtr != lenPtr) *indPtr = 0;
  }
  return SQL_SUCCESS;
}
