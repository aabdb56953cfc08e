// colmeta.cpp -- SQLDescribeCol, SQLColAttribute and SQLColAttributes.
// Three sources feed the answers: the result description, the back end's
// per-column overrides, and the IRD for the ODBC 3 fields the descriptor code
// computes. Column 0 is the bookmark column while bookmarks are on; it is
// answered without the back end.
// A prepared statement answers until it is prepared again or released, also
// after its cursor was closed.
// Threading: under the connection's call lock.

#include "odbc/colmeta.h"

#include <sqlucode.h>

#include <algorithm>
#include <cstring>

#include "drv/colattr.h"
#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/ctypes.h"
#include "odbc/descops.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/strout.h"
#include "odbc/trace.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

int64_t widen(int32_t v) { return static_cast<int64_t>(static_cast<uint32_t>(v)); }

bool is_interval(int32_t t) { return t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE_TO_SECOND; }

// The transfer octet length of a type, `unknown` for a type without one.
int64_t octet_length(int32_t t, int64_t p, int64_t unknown) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return p;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return 2 * p;
    case SQL_NUMERIC:
    case SQL_DECIMAL: return p + 2;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_BIGINT: return 8;
    case SQL_INTEGER:
    case SQL_REAL: return 4;
    case SQL_SMALLINT: return 2;
    case SQL_TINYINT:
    case SQL_BIT: return 1;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME: return 6;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
    case SQL_GUID: return 16;
    default: return is_interval(t) ? static_cast<int64_t>(sizeof(SQL_INTERVAL_STRUCT)) : unknown;
  }
}

// SQL_COLUMN_LENGTH: the bytes of a value in its ODBC 2 default C type, which
// is character text for BIGINT.
int64_t column_length(int32_t t, int64_t p) {
  return t == SQL_BIGINT ? 20 : octet_length(t, p, SQL_NO_TOTAL);
}

bool is_char_type(int32_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

SQLRETURN string_out(Stmt* stmt, const char* text, void* buf, int16_t bufLen, int16_t* strLen,
                     char mode) {
  int64_t full = 0;
  int cut = StrOutText(text, buf, bufLen, mode, &full);
  if (strLen != nullptr) *strLen = static_cast<int16_t>(std::min<int64_t>(full, INT16_MAX));
  if (cut == 0) return SQL_SUCCESS;
  stmt->errCode = ERR_TRUNCATED;
  return SQL_SUCCESS_WITH_INFO;
}

int32_t override_or(Stmt* stmt, uint16_t attr, uint16_t column, int32_t otherwise) {
  int32_t v = 0;
  return ColAttrLookup(StmtColAttrs(stmt), attr, column, &v, nullptr, nullptr) != 0 ? v : otherwise;
}

// An IRD field read on the statement's behalf; its failure becomes the statement's.
SQLRETURN ird_field(Stmt* stmt, uint16_t column, int16_t field, void* buf, int64_t bufLen,
                    int64_t* len, char mode) {
  SQLRETURN rc =
      DescGetField(stmt->st_ird, static_cast<int16_t>(column), field, buf, bufLen, len, mode);
  if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) stmt->errCode = stmt->st_ird->errCode;
  return rc;
}

void trace_unknown_field() {
  if (TraceLevel.load() != 0) TraceODBC("SQLColAttribute - unknown field identifier\n");
}

SQLRETURN bookmark_attribute(Stmt* stmt, uint16_t field, void* buf, int16_t* strLen,
                             int64_t* numeric, char mode) {
  switch (field) {
    case SQL_DESC_TYPE:
      if (numeric != nullptr) *numeric = SQL_CHAR;
      return SQL_SUCCESS;
    case SQL_DESC_OCTET_LENGTH:
      if (numeric != nullptr) *numeric = 8;
      return SQL_SUCCESS;
    case SQL_DESC_COUNT:
    case SQL_DESC_CONCISE_TYPE:
    case SQL_DESC_DISPLAY_SIZE:
    case SQL_DESC_UNSIGNED:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_UPDATABLE:
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_SEARCHABLE:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_ROWVER:
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_NULLABLE:
    case SQL_DESC_UNNAMED:
    case COLATTR_KEY_COLUMN:
    case COLATTR_EXPRESSION:
      if (numeric != nullptr) *numeric = 0;
      return SQL_SUCCESS;
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_NAME:
      if (buf != nullptr) {
        if (mode == 'W')
          *static_cast<char16_t*>(buf) = 0;
        else
          *static_cast<char*>(buf) = '\0';
      }
      if (strLen != nullptr) *strLen = 0;
      return SQL_SUCCESS;
    default: trace_unknown_field(); return fail(stmt, ERR_DESC_TYPE);
  }
}

}  // namespace

int64_t ColumnOctetLength(int32_t t, int64_t p) { return octet_length(t, p, 0); }

int64_t OctetLengthOf(int32_t cType, int64_t bufLen) {
  const int16_t fixed = CTypeSize(static_cast<int16_t>(cType));
  return fixed > 0 ? fixed : bufLen;
}

int16_t ColumnUnsigned(const ColumnInfo* info) {
  switch (info->bindType) {
    case DS_BIT:
    case DS_UTINYINT:
    case DS_USMALLINT:
    case DS_UINTEGER: return SQL_TRUE;
    default: break;
  }
  switch (info->sqlType) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_BIGINT:
    case SQL_TINYINT: return SQL_FALSE;
    default: return is_interval(info->sqlType) ? SQL_FALSE : SQL_TRUE;
  }
}

int16_t ColumnUpdatable(Stmt* stmt, const ColumnInfo* info, uint16_t column) {
  const uint32_t kind = (info->flags >> 4) & 0xF;
  const int32_t fromDescription =
      kind != 0 ? static_cast<int32_t>(kind) - 1 : SQL_ATTR_READWRITE_UNKNOWN;
  return static_cast<int16_t>(override_or(stmt, SQL_DESC_UPDATABLE, column, fromDescription));
}

int16_t FixedPrecScaleOf(int32_t t, int64_t s) {
  const bool exact = t == SQL_NUMERIC || t == SQL_DECIMAL || t == SQL_INTEGER ||
                     t == SQL_SMALLINT || t == SQL_BIGINT || t == SQL_TINYINT;
  return exact && s != 0 ? SQL_TRUE : SQL_FALSE;
}

int16_t SearchableOf(int32_t t) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR: return SQL_PRED_SEARCHABLE;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_PRED_CHAR;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_PRED_NONE;
    default: return SQL_PRED_BASIC;
  }
}

SQLRETURN StmtColAttribute(Stmt* stmt, uint16_t column, uint16_t attr, void* buf, int16_t bufLen,
                           int16_t* strLen, int64_t* numeric, char mode) {
  if (!StmtHasResultInfo(stmt)) return fail(stmt, ERR_SEQUENCE);
  // The buffer length belongs to text answers only; a numeric one ignores it
  // (applications pass SQL_IS_INTEGER and the like there).
  const bool text = attr == SQL_COLUMN_NAME || attr == SQL_COLUMN_LABEL ||
                    attr == SQL_COLUMN_TABLE_NAME || attr == SQL_COLUMN_OWNER_NAME ||
                    attr == SQL_COLUMN_QUALIFIER_NAME || attr == SQL_COLUMN_TYPE_NAME;
  if (text && bufLen < 0) return fail(stmt, ERR_BUFFER_LENGTH);
  if (attr == SQL_COLUMN_COUNT) {
    int16_t n = 0;
    if (int32_t code = StmtNumResultCols(stmt, &n); code != 0) return fail(stmt, code);
    if (numeric != nullptr) *numeric = n;
    return SQL_SUCCESS;
  }
  const ColumnInfo* info = StmtColumnInfo(stmt, column);
  if (info == nullptr) return SQL_ERROR;
  if (numeric == nullptr && attr < SQL_COLUMN_TYPE_NAME && attr != SQL_COLUMN_NAME)
    return SQL_SUCCESS;
  int64_t v = 0;
  switch (attr) {
    case SQL_COLUMN_NAME:
    case SQL_COLUMN_LABEL:
      return string_out(stmt, ColumnDisplayName(info), buf, bufLen, strLen, mode);
    case SQL_COLUMN_TABLE_NAME: return string_out(stmt, info->table, buf, bufLen, strLen, mode);
    case SQL_COLUMN_OWNER_NAME: return string_out(stmt, info->schema, buf, bufLen, strLen, mode);
    case SQL_COLUMN_QUALIFIER_NAME:
      return string_out(stmt, info->catalog, buf, bufLen, strLen, mode);
    case SQL_COLUMN_TYPE_NAME: {
      int64_t len = 0;
      SQLRETURN rc = ird_field(stmt, column, SQL_DESC_TYPE_NAME, buf, bufLen, &len, mode);
      if (strLen != nullptr && rc != SQL_ERROR)
        *strLen = static_cast<int16_t>(std::min<int64_t>(len, INT16_MAX));
      return rc;
    }
    case SQL_COLUMN_TYPE: v = SqlTypeForVersion(info->sqlType, stmt); break;
    case SQL_COLUMN_LENGTH: v = column_length(info->sqlType, widen(info->precision)); break;
    case SQL_COLUMN_PRECISION: v = widen(info->precision); break;
    case SQL_COLUMN_SCALE: v = static_cast<uint16_t>(info->scale); break;
    case SQL_COLUMN_DISPLAY_SIZE: v = widen(info->displaySize); break;
    case SQL_COLUMN_NULLABLE: v = static_cast<int32_t>(info->flags & 0xF); break;
    case SQL_COLUMN_UNSIGNED: v = ColumnUnsigned(info); break;
    // SQL_DESC_FIXED_PREC_SCALE shares the number: both roads answer alike.
    case SQL_COLUMN_MONEY: v = FixedPrecScaleOf(info->sqlType, info->scale); break;
    case SQL_COLUMN_UPDATABLE: v = ColumnUpdatable(stmt, info, column); break;
    case SQL_COLUMN_AUTO_INCREMENT: v = override_or(stmt, attr, column, 0); break;
    case SQL_COLUMN_CASE_SENSITIVE:
      v = override_or(stmt, attr, column, is_char_type(info->sqlType) ? SQL_TRUE : SQL_FALSE);
      break;
    case SQL_COLUMN_SEARCHABLE:
      v = override_or(stmt, attr, column, SearchableOf(info->sqlType));
      break;
    case SQL_DESC_ROWVER:
    case COLATTR_KEY_COLUMN:
    case COLATTR_EXPRESSION: v = override_or(stmt, attr, column, 0); break;
    default: v = 0; break;
  }
  if (numeric != nullptr) *numeric = v;
  return SQL_SUCCESS;
}

SQLRETURN ColAttributesImpl(Stmt* stmt, const CallSlot* args) {
  return StmtColAttribute(stmt, SlotU16(args[0]), SlotU16(args[1]), SlotAs<void*>(args[2]),
                          SlotI16(args[3]), SlotAs<int16_t*>(args[4]), SlotAs<int64_t*>(args[5]),
                          SlotIsWide(args[6]) ? 'W' : 'A');
}

SQLRETURN ColAttributeImpl(Stmt* stmt, const CallSlot* args) {
  const uint16_t column = SlotU16(args[0]);
  const uint16_t field = SlotU16(args[1]);
  void* buf = SlotAs<void*>(args[2]);
  const int16_t bufLen = SlotI16(args[3]);
  auto* strLen = SlotAs<int16_t*>(args[4]);
  auto* numeric = SlotAs<int64_t*>(args[5]);
  const char mode = SlotIsWide(args[6]) ? 'W' : 'A';

  if (column == 0 && stmt->st_cursor.sc_useBookmarks != 0)
    return bookmark_attribute(stmt, field, buf, strLen, numeric, mode);

  switch (field) {
    case SQL_COLUMN_COUNT:
    case SQL_DESC_COUNT:
      return StmtColAttribute(stmt, column, SQL_COLUMN_COUNT, buf, bufLen, strLen, numeric, mode);
    case SQL_COLUMN_NAME:
    case SQL_DESC_NAME:
      return StmtColAttribute(stmt, column, SQL_COLUMN_NAME, buf, bufLen, strLen, numeric, mode);
    case SQL_COLUMN_NULLABLE:
    case SQL_DESC_NULLABLE:
      return StmtColAttribute(stmt, column, SQL_COLUMN_NULLABLE, buf, bufLen, strLen, numeric,
                              mode);
    default: break;
  }
  if ((field >= 2 && field <= 18) || field == SQL_DESC_ROWVER ||
      field == static_cast<uint16_t>(COLATTR_KEY_COLUMN) ||
      field == static_cast<uint16_t>(COLATTR_EXPRESSION))
    return StmtColAttribute(stmt, column, field, buf, bufLen, strLen, numeric, mode);

  const bool shortField = field == SQL_DESC_TYPE || field == SQL_DESC_PRECISION ||
                          field == SQL_DESC_SCALE || field == SQL_DESC_UNNAMED;
  const bool numberField = field == SQL_DESC_LENGTH || field == SQL_DESC_OCTET_LENGTH ||
                           field == SQL_DESC_NUM_PREC_RADIX;
  const bool textField = field == SQL_DESC_BASE_COLUMN_NAME || field == SQL_DESC_BASE_TABLE_NAME ||
                         field == SQL_DESC_LITERAL_PREFIX || field == SQL_DESC_LITERAL_SUFFIX ||
                         field == SQL_DESC_LOCAL_TYPE_NAME;
  if (!shortField && !numberField && !textField) {
    trace_unknown_field();
    return fail(stmt, ERR_DESC_TYPE);
  }
  if (!StmtHasResultInfo(stmt)) return fail(stmt, ERR_SEQUENCE);
  if (textField && bufLen < 0) return fail(stmt, ERR_BUFFER_LENGTH);
  if (StmtColumnInfo(stmt, column) == nullptr) return SQL_ERROR;

  int64_t len = 0;
  SQLRETURN rc = SQL_SUCCESS;
  if (shortField) {
    int16_t v = 0;
    if (numeric != nullptr) {
      rc = ird_field(stmt, column, static_cast<int16_t>(field), &v, 2, &len, mode);
      if (rc != SQL_ERROR) *numeric = v;
    }
  } else if (numberField) {
    if (numeric != nullptr) {
      int64_t v = 0;
      rc = ird_field(stmt, column, static_cast<int16_t>(field), &v, 8, &len, mode);
      if (rc != SQL_ERROR) *numeric = len == 4 ? static_cast<int32_t>(v) : v;
    }
  } else {
    rc = ird_field(stmt, column, static_cast<int16_t>(field), buf, bufLen, &len, mode);
  }
  if (strLen != nullptr)
    *strLen = rc == SQL_ERROR ? 0 : static_cast<int16_t>(std::min<int64_t>(len, INT16_MAX));
  return rc;
}

SQLRETURN DescribeColImpl(Stmt* stmt, const CallSlot* args) {
  const uint16_t column = SlotU16(args[0]);
  void* name = SlotAs<void*>(args[1]);
  const int16_t bufLen = SlotI16(args[2]);
  auto* nameLen = SlotAs<int16_t*>(args[3]);
  auto* dataType = SlotAs<int16_t*>(args[4]);
  auto* columnSize = SlotAs<uint64_t*>(args[5]);
  auto* digits = SlotAs<int16_t*>(args[6]);
  auto* nullable = SlotAs<int16_t*>(args[7]);
  const bool wide = SlotIsWide(args[8]);
  if (bufLen < 0) return fail(stmt, ERR_BUFFER_LENGTH);
  const bool bookmark = column == 0 && stmt->st_cursor.sc_useBookmarks != 0;
  if (!bookmark && !StmtHasResultInfo(stmt)) return fail(stmt, ERR_SEQUENCE);
  const ColumnInfo* info = StmtColumnInfo(stmt, column);
  if (info == nullptr) return SQL_ERROR;
  if (dataType != nullptr) *dataType = SqlTypeForVersion(info->sqlType, stmt);
  if (columnSize != nullptr) *columnSize = static_cast<uint64_t>(widen(info->precision));
  if (digits != nullptr) *digits = info->scale;
  if (nullable != nullptr) *nullable = static_cast<int16_t>(info->flags & 0xF);
  // The wide form counts its buffer and the name's length in characters.
  int64_t full = 0;
  const int cut = StrOutText(ColumnDisplayName(info), name, wide ? 2 * int64_t{bufLen} : bufLen,
                             wide ? 'W' : 'A', &full);
  if (nameLen != nullptr)
    *nameLen = static_cast<int16_t>(std::min<int64_t>(wide ? full / 2 : full, INT16_MAX));
  if (cut == 0) return SQL_SUCCESS;
  stmt->errCode = ERR_TRUNCATED;
  return SQL_SUCCESS_WITH_INFO;
}
