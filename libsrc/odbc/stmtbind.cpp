// stmtbind.cpp -- column and parameter binding: the statement's binding
// records and the matching descriptor records, written together.
// An ARD record keeps the buffer length with the pointers, so that making the
// descriptor current again (after an explicit ARD goes away) binds the same
// buffers with the same lengths.
// Threading: under the statement's connection call lock; the bookmark enquiry
// also takes DriverLock, as the cursor layer's information queries require.

#include "odbc/stmtbind.h"

#include <sqlext.h>

#include "drv/colinfo.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/descops.h"
#include "odbc/dispatch.h"
#include "odbc/envr.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"
#include "platform/windows/critsec.h"

namespace {

int32_t bookmark_check(Stmt* stmt, int16_t cType) {
  int32_t options = 0;
  uint16_t len = 0;
  int32_t code = 0;
  {
    CriticalSectionLock g(&DriverLock);
    code = SCR_GetOdbcInfo(stmt->st_cursor.sc_driver, stmt->st_cursor.sc_hConn,
                           SQL_BOOKMARK_PERSISTENCE, &options, 4, &len);
  }
  if (code != 0) return code;
  if (options == 0) return ERR_NOT_CAPABLE;
  if (cType != SQL_C_BINARY && cType != SQL_C_UBIGINT) return ERR_C_TYPE;
  return 0;
}

// A C type ODBC defines, or SQL_C_DEFAULT; what a conversion cannot do with a
// type it knows is refused when the value moves.
bool known_c_type(int16_t t) {
  if (CTypeSize(t) != 0) return true;
  switch (t) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
    case SQL_C_DEFAULT: return true;
    default: return t >= SQL_C_INTERVAL_YEAR && t <= SQL_C_INTERVAL_MINUTE_TO_SECOND;
  }
}

SQLRETURN fail_stmt(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

int64_t transfer_size(int16_t cType) {
  if (cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY) return SQL_NTS;
  return CTypeSize(cType);
}

struct ParamValue {
  void* data;
  int64_t* lengthPtr;
  int64_t* indicatorPtr;
  int64_t bufLen;
};

// Stores the binding of parameter n and traces it; the code goes to errCode.
SQLRETURN store_param(Stmt* stmt, uint16_t n, int16_t cType, int64_t size, int16_t sqlType,
                      uint64_t columnSize, int16_t scale, const ParamValue& v, int16_t paramType) {
  ParamBinding pb{};
  pb.pb_number = n;
  pb.pb_cType = cType;
  pb.pb_transferSize = size;
  pb.pb_sqlType = sqlType;
  pb.pb_columnSize = columnSize;
  pb.pb_scale = scale;
  pb.pb_data = v.data;
  pb.pb_lengthPtr = v.lengthPtr;
  pb.pb_indicatorPtr = v.indicatorPtr;
  pb.pb_bufferLength = v.bufLen;
  pb.pb_paramType = paramType;
  if (TraceLevel.load() != 0)
    TraceODBC("Par#%d c_type=%d sql_type=%d prec=%ld scale=%d size=%d cbValueMax=%ld", n, cType,
              sqlType, static_cast<long>(columnSize), scale, static_cast<int>(size),
              static_cast<long>(v.bufLen));
  return StmtSetParamBinding(stmt, &pb);
}

}  // namespace

int32_t StmtBindColPtrs(Stmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufLen,
                        int64_t* octetLenPtr, int64_t* indicatorPtr) {
  stmt->errCode = 0;
  int32_t code = 0;
  if (bufLen < 0)
    code = ERR_BUFFER_LENGTH;
  else if (bufLen == 0 && column != 0 && cType != SQL_C_DEFAULT)
    bufLen = CTypeSize(cType);
  if (column == 0) {
    if (int32_t rc = bookmark_check(stmt, cType); rc != 0) code = rc;
    // A binary bookmark keeps its length: it is the stride of a column-wise
    // array. Eight bytes are written into it, so a shorter buffer is refused.
    if (code == 0 && cType == SQL_C_UBIGINT)
      bufLen = 8;
    else if (code == 0 && value != nullptr && bufLen < 8)
      code = ERR_BUFFER_LENGTH;
  }
  if (code != 0) {
    stmt->errCode = code;
    return code;
  }
  ColBinding cb{};
  cb.cb_column = column;
  cb.cb_cType = cType;
  cb.cb_data = value;
  cb.cb_bufferLength = bufLen;
  cb.cb_octetLengthPtr = octetLenPtr;
  cb.cb_indicatorPtr = indicatorPtr;
  if (value != nullptr) {
    if (StmtAddColBinding(stmt, &cb) != SQL_SUCCESS) return stmt->errCode;
  } else {
    (void)StmtRemoveColBinding(stmt, &cb);
  }
  Desc* ard = stmt->st_ard;
  if (value != nullptr && column > ard->de_count) {
    if (int32_t rc = DescGrow(ard, static_cast<int16_t>(column)); rc != 0) {
      stmt->errCode = rc;
      return rc;
    }
  }
  if (DescRec* rec = DescGetRec(ard, static_cast<int16_t>(column)); rec != nullptr) {
    rec->dr_conciseType = cType;
    DescRecTypeFromConcise(rec);
    rec->dr_dataPtr = value;
    rec->dr_octetLength = bufLen;
    rec->dr_octetLengthPtr = octetLenPtr;
    rec->dr_indicatorPtr = indicatorPtr;
  }
  return 0;
}

int32_t StmtBindCol(Stmt* stmt, uint16_t column, int16_t cType, void* value, int64_t bufLen,
                    int64_t* lenInd) {
  if (column != 0 && value != nullptr && !known_c_type(cType)) {
    stmt->errCode = ERR_C_TYPE;
    return ERR_C_TYPE;
  }
  return StmtBindColPtrs(stmt, column, cType, value, bufLen, lenInd, lenInd);
}

SQLRETURN StmtBindParameter(Stmt* stmt, uint16_t n, int16_t paramType, int16_t cType,
                            int16_t sqlType, uint64_t columnSize, int16_t scale, void* data,
                            int64_t bufLen, int64_t* lengthPtr, int64_t* indicatorPtr) {
  stmt->errCode = 0;
  auto fail = [stmt](int32_t code) {
    stmt->errCode = code;
    return SQL_ERROR;
  };
  if (paramType != SQL_PARAM_INPUT && paramType != SQL_PARAM_INPUT_OUTPUT &&
      paramType != SQL_PARAM_OUTPUT)
    return fail(ERR_PARAM_TYPE);
  if (!known_c_type(cType)) return fail(ERR_C_TYPE);
  if (data == nullptr && indicatorPtr == nullptr && paramType != SQL_PARAM_OUTPUT)
    return fail(ERR_ARGUMENT);
  const bool secondsType =
      sqlType == SQL_TYPE_TIME || sqlType == SQL_TYPE_TIMESTAMP || sqlType == SQL_INTERVAL_SECOND ||
      sqlType == SQL_INTERVAL_DAY_TO_SECOND || sqlType == SQL_INTERVAL_HOUR_TO_SECOND ||
      sqlType == SQL_INTERVAL_MINUTE_TO_SECOND;
  if (scale < 0 && secondsType) return fail(ERR_SCALE);
  if (cType == SQL_C_DEFAULT) {
    const int32_t version = stmt->st_dbc->envr->odbcVersion;
    if (version == SQL_OV_ODBC2 &&
        (sqlType == SQL_WLONGVARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WCHAR))
      cType = SQL_C_CHAR;
    else
      cType = static_cast<int16_t>(DefaultCType(sqlType, version == SQL_OV_ODBC3 ? 3 : 2));
  }
  const int64_t size = transfer_size(cType);
  if (size == 0) return fail(ERR_RESTRICTED_TYPE);

  // The Driver Manager maps SQLSetParam onto this with a buffer length of -1.
  const int16_t stored = bufLen == -1 ? static_cast<int16_t>(SQL_PARAM_INPUT) : paramType;
  if (store_param(stmt, n, cType, size, sqlType, columnSize, scale,
                  ParamValue{data, lengthPtr, indicatorPtr, bufLen}, stored) != SQL_SUCCESS)
    return SQL_ERROR;

  Desc* apd = stmt->st_apd;
  Desc* ipd = stmt->st_ipd;
  if (apd->de_count < static_cast<int32_t>(n)) {
    if (int32_t rc = DescGrow(apd, static_cast<int16_t>(n)); rc != 0) return fail(rc);
    if (int32_t rc = DescGrow(ipd, static_cast<int16_t>(n)); rc != 0) return fail(rc);
  }
  if (DescRec* a = DescGetRec(apd, static_cast<int16_t>(n)); a != nullptr) {
    a->dr_conciseType = cType;
    DescRecTypeFromConcise(a);
    a->dr_dataPtr = data;
    a->dr_octetLength = bufLen;
    a->dr_octetLengthPtr = lengthPtr;
    a->dr_indicatorPtr = indicatorPtr;
  }
  if (DescRec* i = DescGetRec(ipd, static_cast<int16_t>(n)); i != nullptr) {
    i->dr_conciseType = sqlType;
    DescRecTypeFromConcise(i);
    i->dr_paramType = paramType;
    switch (sqlType) {
      case SQL_TYPE_TIME:
      case SQL_TYPE_TIMESTAMP:
      case SQL_INTERVAL_SECOND:
      case SQL_INTERVAL_DAY_TO_SECOND:
      case SQL_INTERVAL_HOUR_TO_SECOND:
      case SQL_INTERVAL_MINUTE_TO_SECOND:
        i->dr_length = columnSize;
        i->dr_precision = scale;
        break;
      case SQL_NUMERIC:
      case SQL_DECIMAL:
        i->dr_precision = static_cast<int16_t>(columnSize);
        i->dr_scale = scale;
        break;
      case SQL_FLOAT:
      case SQL_REAL:
      case SQL_DOUBLE: i->dr_precision = static_cast<int16_t>(columnSize); break;
      case SQL_CHAR:
      case SQL_VARCHAR:
      case SQL_TYPE_DATE:
      case SQL_LONGVARCHAR:
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
      case SQL_WCHAR:
      case SQL_WVARCHAR:
      case SQL_WLONGVARCHAR:
      case SQL_GUID:
      case SQL_INTERVAL_YEAR:
      case SQL_INTERVAL_MONTH:
      case SQL_INTERVAL_DAY:
      case SQL_INTERVAL_HOUR:
      case SQL_INTERVAL_MINUTE:
      case SQL_INTERVAL_YEAR_TO_MONTH:
      case SQL_INTERVAL_DAY_TO_HOUR:
      case SQL_INTERVAL_DAY_TO_MINUTE:
      case SQL_INTERVAL_HOUR_TO_MINUTE: i->dr_length = columnSize; break;
      default: break;
    }
  }
  return SQL_SUCCESS;
}

SQLRETURN BindColImpl(Stmt* stmt, const CallSlot* args) {
  int32_t code = StmtBindCol(stmt, SlotU16(args[0]), SlotI16(args[1]), SlotAs<void*>(args[2]),
                             SlotI64(args[3]), SlotAs<int64_t*>(args[4]));
  return code == 0 ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN BindParameterImpl(Stmt* stmt, const CallSlot* args) {
  auto* lenInd = SlotAs<int64_t*>(args[8]);
  return StmtBindParameter(stmt, SlotU16(args[0]), SlotI16(args[1]), SlotI16(args[2]),
                           SlotI16(args[3]), args[4], SlotI16(args[5]), SlotAs<void*>(args[6]),
                           SlotI64(args[7]), lenInd, lenInd);
}

SQLRETURN SetParamImpl(Stmt* stmt, const CallSlot* args) {
  const uint16_t n = SlotU16(args[0]);
  int16_t cType = SlotI16(args[1]);
  const int16_t sqlType = SlotI16(args[2]);
  const uint64_t columnSize = args[3];
  const int16_t scale = SlotI16(args[4]);
  void* data = SlotAs<void*>(args[5]);
  auto* lenInd = SlotAs<int64_t*>(args[6]);
  stmt->errCode = 0;
  if (!known_c_type(cType)) return fail_stmt(stmt, ERR_C_TYPE);
  if (data == nullptr && lenInd == nullptr) return fail_stmt(stmt, ERR_ARGUMENT);
  if (scale < 0) return fail_stmt(stmt, ERR_SCALE);
  if (cType == SQL_C_DEFAULT)
    cType = static_cast<int16_t>(
        DefaultCType(sqlType, stmt->st_dbc->envr->odbcVersion == SQL_OV_ODBC3 ? 3 : 2));
  // ODBC 1 has no SQL_C_NUMERIC.
  const int64_t size = cType == SQL_C_NUMERIC ? 0 : transfer_size(cType);
  if (size == 0) return fail_stmt(stmt, ERR_RESTRICTED_TYPE);
  return store_param(stmt, n, cType, size, sqlType, columnSize, scale,
                     ParamValue{data, lenInd, lenInd, 0}, SQL_PARAM_INPUT);
}

SQLRETURN DescribeParamImpl(Stmt* stmt, const CallSlot* args) {
  const ColumnInfo* info = StmtParamInfo(stmt, SlotU16(args[0]));
  if (info == nullptr) return SQL_ERROR;
  if (auto* t = SlotAs<int16_t*>(args[1]); t != nullptr)
    *t = SqlTypeForVersion(info->sqlType, stmt);
  if (auto* size = SlotAs<uint64_t*>(args[2]); size != nullptr)
    *size = static_cast<uint32_t>(info->precision);
  if (auto* scale = SlotAs<int16_t*>(args[3]); scale != nullptr) *scale = info->scale;
  if (auto* nullable = SlotAs<int16_t*>(args[4]); nullable != nullptr)
    *nullable = static_cast<int16_t>(info->flags & 0xF);
  return SQL_SUCCESS;
}
