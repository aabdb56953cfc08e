// descset.cpp -- SQLSetDescField's core: writes one header or record field of
// a descriptor, keeps the type fields consistent, and carries the write over to
// every statement that uses the descriptor (array sizes become rowset or
// parameter-set sizes, a data pointer binds, any other type field of a bound
// record first detaches the binding's data).
// A NULL pointer or a zero count is a value like any other here: it unbinds or
// clears, so the driver never writes into memory the application released.
// Threading: under the connection's call lock; an explicit descriptor's
// statements are found through its connection's own statement list.

#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/descops.h"
#include "odbc/stmt.h"
#include "odbc/stmtattr.h"
#include "odbc/stmtbind.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"
#include "util/conv.h"
#include "util/str.h"

namespace {

SQLRETURN desc_fail(Desc* desc, int32_t code) {
  desc->errCode = code;
  return SQL_ERROR;
}

SQLRETURN stmt_fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

bool read_only_field(int16_t field) {
  return field == SQL_DESC_DISPLAY_SIZE ||
         (field >= SQL_DESC_UNSIGNED && field <= SQL_DESC_LABEL) ||
         field == SQL_DESC_BASE_COLUMN_NAME || field == SQL_DESC_BASE_TABLE_NAME ||
         (field >= SQL_DESC_LITERAL_PREFIX && field <= SQL_DESC_LOCAL_TYPE_NAME) ||
         field == SQL_DESC_NULLABLE || field == SQL_DESC_ALLOC_TYPE;
}

bool is_char_type(int16_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

// Types whose concise and verbose forms are the same and imply nothing more.
bool is_plain_type(int16_t t) {
  return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_DOUBLE || (t >= -7 && t <= -2) ||
         t == SQL_GUID || (t >= -18 && t <= -15) || (t >= -28 && t <= -25);
}

// Lengths whose size is a length rather than a precision.
bool length_sized(int32_t t) {
  return is_char_type(static_cast<int16_t>(t)) || t == SQL_BINARY || t == SQL_VARBINARY ||
         t == SQL_LONGVARBINARY || t == SQL_DATE || t == SQL_TIME;
}

bool concise_rules(DescRec* r) {
  const int16_t t = r->dr_conciseType;
  if (is_char_type(t)) {
    r->dr_type = t;
    r->dr_intervalCode = 0;
    r->dr_length = 1;
    r->dr_precision = 0;
  } else if (t == SQL_NUMERIC || t == SQL_DECIMAL) {
    r->dr_type = t;
    r->dr_intervalCode = 0;
    r->dr_scale = 0;
    r->dr_precision = 38;
  } else if (t == SQL_FLOAT || t == SQL_REAL) {
    r->dr_type = t;
    r->dr_intervalCode = 0;
    r->dr_precision = t == SQL_FLOAT ? 53 : 24;
  } else if (is_plain_type(t)) {
    r->dr_type = t;
    r->dr_intervalCode = 0;
  } else if (t == SQL_DATE || t == SQL_TYPE_DATE || t == SQL_TIME || t == SQL_TYPE_TIME) {
    // 9, 10 and 11 keep their ODBC 2 numbers as concise types.
    r->dr_type = SQL_DATETIME;
    r->dr_intervalCode = (t == SQL_DATE || t == SQL_TYPE_DATE) ? SQL_CODE_DATE : SQL_CODE_TIME;
    r->dr_precision = 0;
  } else if (t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP) {
    r->dr_type = SQL_DATETIME;
    r->dr_intervalCode = SQL_CODE_TIMESTAMP;
    r->dr_precision = 6;
  } else if (t == SQL_C_DEFAULT) {
    r->dr_type = SQL_C_DEFAULT;
  } else if (t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE_TO_SECOND) {
    r->dr_type = SQL_INTERVAL;
    r->dr_intervalCode = static_cast<int16_t>(t - 100);
    r->dr_intervalPrecision = 2;
    if (t == SQL_INTERVAL_SECOND || t == SQL_INTERVAL_DAY_TO_SECOND ||
        t == SQL_INTERVAL_HOUR_TO_SECOND || t == SQL_INTERVAL_MINUTE_TO_SECOND)
      r->dr_precision = 6;
  } else {
    return false;
  }
  return true;
}

bool verbose_rules(DescRec* r) {
  const int16_t t = r->dr_type;
  const int16_t code = r->dr_intervalCode;
  if (t == SQL_DATETIME) {
    if (code >= SQL_CODE_DATE && code <= SQL_CODE_TIMESTAMP) {
      r->dr_conciseType = static_cast<int16_t>(SQL_TYPE_DATE + code - 1);
      r->dr_precision = code == SQL_CODE_TIMESTAMP ? 6 : 0;
    }
  } else if (t == SQL_INTERVAL) {
    if (code >= SQL_CODE_YEAR && code <= SQL_CODE_MINUTE_TO_SECOND) {
      r->dr_conciseType = static_cast<int16_t>(code + 100);
      r->dr_intervalPrecision = 2;
      // The intervals that end in seconds carry six fraction digits.
      if (code == SQL_CODE_SECOND || code == SQL_CODE_DAY_TO_SECOND ||
          code == SQL_CODE_HOUR_TO_SECOND || code == SQL_CODE_MINUTE_TO_SECOND)
        r->dr_precision = 6;
    }
  } else if (is_char_type(t)) {
    r->dr_conciseType = t;
    r->dr_length = 1;
    r->dr_precision = 0;
  } else if (t == SQL_NUMERIC || t == SQL_DECIMAL) {
    r->dr_conciseType = t;
    r->dr_scale = 0;
    r->dr_precision = 38;
  } else if (t == SQL_FLOAT || t == SQL_REAL) {
    r->dr_conciseType = t;
    r->dr_precision = t == SQL_FLOAT ? 53 : 24;
  } else if (is_plain_type(t) || t == SQL_C_DEFAULT) {
    r->dr_conciseType = t;
  } else {
    return false;
  }
  return true;
}

// A copy of an SQL_DESC_NAME value, or null with *code set.
char* name_copy(uint64_t value, int32_t length, char marker, int32_t* code) {
  const void* text = reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
  if (length < 0 && length != SQL_NTS) {
    *code = ERR_BUFFER_LENGTH;
    return nullptr;
  }
  char* copy = nullptr;
  int64_t bytes = text != nullptr ? length : SQL_NTS;
  if (marker == 'W') {
    const auto* w = static_cast<const char16_t*>(text);
    copy = length == SQL_NTS ? wcs_to_utf8_dup(w) : wcsn_to_utf8_dup(w, length / 2);
    if (bytes != SQL_NTS) bytes = wcs_utf8_len(w, length / 2);
  } else {
    (void)strdup_len(&copy, static_cast<const char*>(text), length);
  }
  if (copy == nullptr) {
    *code = ERR_MEMORY;
    return nullptr;
  }
  // A NUL with more of the name after it would cut the name given short.
  if (!str_settle_length(copy, &bytes)) {
    free(copy);
    *code = ERR_BUFFER_LENGTH;
    return nullptr;
  }
  return copy;
}

SQLRETURN header_field(Stmt* stmt, bool app, bool row, bool attached, Desc* desc, int16_t field,
                       uint64_t value) {
  void* ptr = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
      if (!app) return desc_fail(desc, ERR_DESC_TYPE);
      if (value == 0) return SQL_SUCCESS;
      desc->de_arraySize = static_cast<int64_t>(value);
      if (!attached) return SQL_SUCCESS;
      if (row)
        return StmtSetOption(stmt, SQL_ROWSET_SIZE, static_cast<uint64_t>(desc->de_arraySize));
      if (int32_t code =
              StmtParamOptions(stmt, static_cast<uint64_t>(desc->de_arraySize),
                               static_cast<uint64_t*>(stmt->st_ipd->de_rowsProcessedPtr));
          code != 0)
        return stmt_fail(stmt, code);
      return SQL_SUCCESS;
    case SQL_DESC_ARRAY_STATUS_PTR:
      desc->de_arrayStatusPtr = static_cast<uint16_t*>(ptr);
      return SQL_SUCCESS;
    case SQL_DESC_BIND_OFFSET_PTR:
      if (!app) return desc_fail(desc, ERR_DESC_TYPE);
      desc->de_bindOffsetPtr = ptr;
      if (attached && row) StmtBindingsChanged(stmt);
      return SQL_SUCCESS;
    case SQL_DESC_BIND_TYPE:
      if (!app) return desc_fail(desc, ERR_DESC_TYPE);
      desc->de_bindType = static_cast<int32_t>(value);
      if (attached && row) {
        stmt->st_bindType = desc->de_bindType;
        StmtBindingsChanged(stmt);
      }
      return SQL_SUCCESS;
    case SQL_DESC_ROWS_PROCESSED_PTR:
      if (app) return desc_fail(desc, ERR_DESC_TYPE);
      desc->de_rowsProcessedPtr = ptr;
      if (!attached) return SQL_SUCCESS;
      if (row) {
        stmt->st_rowsFetchedPtr = static_cast<uint64_t*>(ptr);
        return SQL_SUCCESS;
      }
      if (int32_t code = StmtParamOptions(stmt, static_cast<uint64_t>(stmt->st_apd->de_arraySize),
                                          static_cast<uint64_t*>(ptr));
          code != 0)
        return stmt_fail(stmt, code);
      return SQL_SUCCESS;
    default: break;
  }
  // SQL_DESC_COUNT.
  if (!app && row) return desc_fail(desc, ERR_DESC_TYPE);
  const auto count = static_cast<int16_t>(value);
  if (count < 0) return desc_fail(desc, ERR_DESC_INDEX);
  if (count < desc->de_count) {
    DescTruncate(desc, count);
    desc->de_count = count;
    // The records above the count are gone, and so are their bindings.
    if (attached && app && row) StmtDropColBindingsAbove(stmt, static_cast<uint16_t>(count));
    if (attached && app && !row) StmtDropParamBindingsAbove(stmt, static_cast<uint16_t>(count));
  } else if (count > desc->de_count) {
    if (DescGrow(desc, count) != 0) return desc_fail(desc, ERR_MEMORY);
    if (attached && app && !row && stmt->st_ipd->de_count < count &&
        DescGrow(stmt->st_ipd, count) != 0)
      return desc_fail(desc, ERR_MEMORY);
  }
  return SQL_SUCCESS;
}

bool is_header_field(int16_t field) {
  return field == SQL_DESC_ARRAY_SIZE || field == SQL_DESC_ARRAY_STATUS_PTR ||
         field == SQL_DESC_BIND_OFFSET_PTR || field == SQL_DESC_BIND_TYPE ||
         field == SQL_DESC_ROWS_PROCESSED_PTR || field == SQL_DESC_COUNT;
}

// Binds (or unbinds) record n of an attached application descriptor.
SQLRETURN bind_record(Stmt* stmt, bool row, int16_t n, DescRec* r) {
  if (row) {
    int32_t code = StmtBindColPtrs(stmt, static_cast<uint16_t>(n), r->dr_conciseType, r->dr_dataPtr,
                                   r->dr_octetLength, static_cast<int64_t*>(r->dr_octetLengthPtr),
                                   static_cast<int64_t*>(r->dr_indicatorPtr));
    return code != 0 ? SQL_ERROR : SQL_SUCCESS;
  }
  if (r->dr_dataPtr == nullptr) {
    StmtUnbindParam(stmt, static_cast<uint16_t>(n));
    return SQL_SUCCESS;
  }
  return StmtBindParamRecord(stmt, n, r);
}

}  // namespace

SQLRETURN DescSetField(Stmt* stmt, bool app, bool row, bool attached, Desc* desc, int16_t rec,
                       int16_t field, uint64_t value, int32_t length, char marker) {
  if (is_header_field(field)) return header_field(stmt, app, row, attached, desc, field, value);

  if (!app && row) return desc_fail(desc, ERR_MODIFY_IRD);
  if (rec < 0 || (rec == 0 && !row)) return desc_fail(desc, ERR_DESC_INDEX);
  const bool attachedApd = attached && app && !row;
  const bool attachedIpd = attached && !app && !row;
  if (rec > desc->de_count) {
    if (DescGrow(desc, rec) != 0) return desc_fail(desc, ERR_MEMORY);
    if (attachedApd && stmt->st_ipd->de_count < rec && DescGrow(stmt->st_ipd, rec) != 0)
      return desc_fail(desc, ERR_MEMORY);
  }
  DescRec* r = DescGetRec(desc, rec);
  if (r == nullptr) return desc_fail(desc, ERR_GENERAL);

  // A change of a bound record's type or size leaves its data unbound until
  // the data pointer is set again.
  ParamBinding* pb = nullptr;
  const bool detaches = field != SQL_DESC_OCTET_LENGTH_PTR && field != SQL_DESC_INDICATOR_PTR &&
                        field != SQL_DESC_DATA_PTR;
  ColBinding* cb = attached && row ? StmtFindColBinding(static_cast<uint16_t>(rec), stmt) : nullptr;
  if (attached && !row) {
    pb = StmtFindParamBinding(static_cast<uint16_t>(rec), stmt);
    if (pb != nullptr && pb->pb_number == 0) pb = nullptr;
  }
  // The binding changes in place below: its copy is chosen again.
  if (cb != nullptr) StmtBindingsChanged(stmt);
  if (detaches) {
    if (cb != nullptr) cb->cb_data = nullptr;
    if (pb != nullptr && app) pb->pb_data = nullptr;
  }
  void* ptr = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
  const auto v16 = static_cast<int16_t>(value);
  const auto v32 = static_cast<int32_t>(value);
  // The IPD's binding takes the new type or size, which then goes to the back end again.
  const auto ipd_changed = [&] {
    if (attachedIpd && pb != nullptr) StmtParamTypesChanged(stmt, static_cast<uint16_t>(rec));
  };

  switch (field) {
    case SQL_DESC_CONCISE_TYPE:
      if (v16 != 0) r->dr_conciseType = v16;
      if (!concise_rules(r)) return desc_fail(desc, ERR_OPTION_TYPE);
      if (!app && !row) r->dr_paramType = SQL_PARAM_INPUT;
      if (attachedIpd && pb != nullptr) pb->pb_sqlType = r->dr_conciseType;
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_TYPE:
      if (v16 == 0) return SQL_SUCCESS;
      r->dr_type = v16;
      if (!verbose_rules(r)) return desc_fail(desc, ERR_OPTION_TYPE);
      if (attachedIpd && pb != nullptr) pb->pb_sqlType = r->dr_conciseType;
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_DATETIME_INTERVAL_CODE:
      if (v16 == 0) return SQL_SUCCESS;
      r->dr_intervalCode = v16;
      if (r->dr_type == SQL_DATETIME)
        r->dr_conciseType = static_cast<int16_t>(v16 + 90);
      else if (r->dr_type == SQL_INTERVAL)
        r->dr_conciseType = static_cast<int16_t>(v16 + 100);
      return SQL_SUCCESS;
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      if (v32 != 0) r->dr_intervalPrecision = v32;
      return SQL_SUCCESS;
    case SQL_DESC_LENGTH:
      if (value == 0) return SQL_SUCCESS;
      r->dr_length = value;
      if (attachedIpd && pb != nullptr && length_sized(pb->pb_sqlType))
        pb->pb_columnSize = r->dr_length;
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_PRECISION:
      r->dr_precision = v16;
      if (attachedIpd && pb != nullptr && v16 != 0) {
        if (pb->pb_sqlType == SQL_NUMERIC || pb->pb_sqlType == SQL_DECIMAL)
          pb->pb_columnSize = static_cast<uint64_t>(static_cast<int64_t>(r->dr_precision));
        else if (pb->pb_sqlType == SQL_DATE || pb->pb_sqlType == SQL_TIME)
          pb->pb_scale = r->dr_precision;
      }
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_SCALE:
      r->dr_scale = v16;
      if (attachedIpd && pb != nullptr) pb->pb_scale = r->dr_scale;
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_NUM_PREC_RADIX:
      if (v32 != 0) r->dr_radix = v32;
      return SQL_SUCCESS;
    case SQL_DESC_OCTET_LENGTH:
      if (value == 0) return SQL_SUCCESS;
      r->dr_octetLength = static_cast<int64_t>(value);
      if (attachedIpd && pb != nullptr) pb->pb_sqlType = r->dr_conciseType;
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_PARAMETER_TYPE:
      if (app) return desc_fail(desc, ERR_DESC_TYPE);
      if (v16 == 0) return SQL_SUCCESS;
      r->dr_paramType = v16;
      if (attachedIpd && pb != nullptr) pb->pb_paramType = v16;
      ipd_changed();
      return SQL_SUCCESS;
    case SQL_DESC_NAME: {
      if (app || row) return desc_fail(desc, ERR_DESC_TYPE);
      if (ptr == nullptr) return SQL_SUCCESS;
      int32_t code = 0;
      char* copy = name_copy(value, length, marker, &code);
      if (copy == nullptr) return desc_fail(desc, code);
      free(r->dr_name);
      r->dr_name = copy;
      if (copy[0] != '\0') r->dr_unnamed = SQL_NAMED;
      return SQL_SUCCESS;
    }
    case SQL_DESC_UNNAMED:
      if (v16 == 0) return SQL_SUCCESS;
      if (v16 != SQL_UNNAMED || app) return desc_fail(desc, ERR_DESC_TYPE);
      r->dr_unnamed = SQL_UNNAMED;
      return SQL_SUCCESS;
    case SQL_DESC_OCTET_LENGTH_PTR:
      if (!app) return desc_fail(desc, ERR_DESC_TYPE);
      r->dr_octetLengthPtr = ptr;
      if (cb != nullptr) cb->cb_octetLengthPtr = static_cast<int64_t*>(ptr);
      if (attachedApd && pb != nullptr) pb->pb_lengthPtr = static_cast<int64_t*>(ptr);
      return SQL_SUCCESS;
    case SQL_DESC_INDICATOR_PTR:
      if (!app) return desc_fail(desc, ERR_DESC_TYPE);
      r->dr_indicatorPtr = ptr;
      if (cb != nullptr) cb->cb_indicatorPtr = static_cast<int64_t*>(ptr);
      if (attachedApd && pb != nullptr) pb->pb_indicatorPtr = static_cast<int64_t*>(ptr);
      return SQL_SUCCESS;
    case SQL_DESC_DATA_PTR:
      if (!app) return SQL_SUCCESS;
      r->dr_dataPtr = ptr;
      if (!attached) return SQL_SUCCESS;
      return bind_record(stmt, row, rec, r);
    default: return desc_fail(desc, ERR_NOT_SUPPORTED);
  }
}

SQLRETURN DescSetFieldHandle(Desc* desc, int16_t rec, int16_t field, uint64_t value, int32_t length,
                             char marker) {
  const bool explicitDesc = desc->de_allocType == SQL_DESC_ALLOC_USER;
  const bool app = desc->de_type == DESC_ARD || desc->de_type == DESC_APD;
  const bool row = desc->de_type == DESC_ARD || desc->de_type == DESC_IRD;
  if (TraceLevel.load() != 0) TraceODBC("Descriptor Type: %s", DescTypeName(desc));
  if (read_only_field(field)) return desc_fail(desc, ERR_DESC_TYPE);
  if (!explicitDesc) {
    // A statement's own ARD or APD set aside for an explicit one binds nothing until
    // it is current again, when its records are bound from what they hold then.
    Stmt* stmt = desc->de_stmt;
    const bool attached = !app || (row ? stmt->st_ard : stmt->st_apd) == desc;
    return DescSetField(stmt, app, row, attached, desc, rec, field, value, length, marker);
  }

  // Every statement using the descriptor takes the change, a warning for one
  // (a rowset size it cannot take yet) stopping none of the others.
  bool used = false;
  SQLRETURN answer = SQL_SUCCESS;
  for (Stmt* s = desc->de_dbc->stmts; s != nullptr; s = s->next) {
    for (const bool asArd : {true, false}) {
      if ((asArd ? s->st_ard : s->st_apd) != desc) continue;
      used = true;
      SQLRETURN rc = DescSetField(s, true, asArd, true, desc, rec, field, value, length, marker);
      if (!SQL_SUCCEEDED(rc)) return rc;
      if (rc != SQL_SUCCESS) answer = rc;
    }
  }
  if (used) return answer;
  return DescSetField(nullptr, true, false, false, desc, rec, field, value, length, marker);
}

SQLRETURN SetDescFieldImpl(Desc* desc, const CallSlot* args) {
  return DescSetFieldHandle(desc, SlotI16(args[0]), SlotI16(args[1]), args[2], SlotI32(args[3]),
                            SlotIsWide(args[4]) ? 'W' : 'A');
}
