// descget.cpp -- SQLGetDescField's core: reads one header or record field.
// An explicit descriptor answers from its own records. The implicit ones are
// views of their statement: the ARD and APD answer from the statement's
// bindings where a binding exists, the IRD from the result description and its
// attribute overrides, the IPD from the parameter description where there is
// one; the header fields that mirror statement attributes come from the
// statement.
// The IRD answers what SQLDescribeCol and SQLColAttribute answer: the same
// name, type, sizes and flags for every column.
// Threading: under the connection's call lock; the type-information reads run a
// back-end query on a temporary statement of the same connection.

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstring>

#include "drv/colattr.h"
#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/colmeta.h"
#include "odbc/conn.h"
#include "odbc/cvt.h"
#include "odbc/descops.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/strout.h"
#include "odbc/trace.h"

namespace {

enum class Kind { Explicit, Ard, Apd, Ird, Ipd };

Kind kind_of(const Desc* d) {
  if (d->de_allocType == SQL_DESC_ALLOC_USER) return Kind::Explicit;
  switch (d->de_type) {
    case DESC_ARD: return Kind::Ard;
    case DESC_APD: return Kind::Apd;
    case DESC_IRD: return Kind::Ird;
    default: return Kind::Ipd;
  }
}

SQLRETURN fail(Desc* desc, int32_t code) {
  desc->errCode = code;
  return SQL_ERROR;
}

// ---- Output forms ----------------------------------------------------------------

template <typename T>
SQLRETURN out_value(T v, void* buf, int64_t* outLen) {
  if (buf != nullptr) memcpy(buf, &v, sizeof v);
  if (outLen != nullptr) *outLen = sizeof v;
  return SQL_SUCCESS;
}

SQLRETURN DescOutShort(int64_t v, void* buf, int64_t* outLen) {
  return out_value(static_cast<int16_t>(v), buf, outLen);
}
SQLRETURN DescOutInt(int64_t v, void* buf, int64_t* outLen) {
  return out_value(static_cast<int32_t>(v), buf, outLen);
}
SQLRETURN DescOutLen(int64_t v, void* buf, int64_t* outLen) { return out_value(v, buf, outLen); }

SQLRETURN DescOutPtr(Desc* desc, const void* p, void* buf, int64_t bufLen, int64_t* outLen) {
  // SQL_IS_POINTER and the other negative markers pass as large unsigned
  // values; 0 means the length was not given.
  if (bufLen != 0 && static_cast<uint64_t>(bufLen) < sizeof(void*)) return fail(desc, ERR_ARGUMENT);
  return out_value(p, buf, outLen);
}

SQLRETURN out_text(Desc* desc, const char* text, void* buf, int64_t bufLen, int64_t* outLen,
                   char marker) {
  if (bufLen < 0 && buf != nullptr) return fail(desc, ERR_BUFFER_LENGTH);
  int64_t full = 0;
  int cut = StrOutText(text, buf, bufLen, marker, &full);
  if (outLen != nullptr) *outLen = full;
  if (cut == 0) return SQL_SUCCESS;
  desc->errCode = ERR_TRUNCATED;
  return SQL_SUCCESS_WITH_INFO;
}

// ---- Mappings from a type ---------------------------------------------------------

bool in(int32_t t, int32_t lo, int32_t hi) { return t >= lo && t <= hi; }
bool is_interval(int32_t t) { return in(t, SQL_INTERVAL_YEAR, SQL_INTERVAL_MINUTE_TO_SECOND); }
// The signed and unsigned integer C types, and TINYINT and BIGINT.
bool is_integer_type(int32_t t) {
  return in(t, SQL_C_UTINYINT, SQL_C_SBIGINT) || in(t, SQL_C_ULONG, SQL_C_SSHORT) ||
         t == SQL_TINYINT || t == SQL_BIGINT;
}
bool is_exact_or_approx(int32_t t) { return is_integer_type(t) || in(t, SQL_NUMERIC, SQL_DOUBLE); }

int16_t verbose_of(int32_t t) {
  if (t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP ||
      in(t, SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP))
    return SQL_DATETIME;
  if (is_interval(t)) return SQL_INTERVAL;
  return static_cast<int16_t>(t);
}

int16_t code_of(int32_t t) {
  if (t == SQL_DATE || t == SQL_TYPE_DATE) return SQL_CODE_DATE;
  if (t == SQL_TIME || t == SQL_TYPE_TIME) return SQL_CODE_TIME;
  if (t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP) return SQL_CODE_TIMESTAMP;
  if (is_interval(t)) return static_cast<int16_t>(t - 100);
  return 0;
}

// SQL_DESC_LENGTH: b for the character types, a for the fixed and binary ones.
int64_t length_of(int32_t t, int64_t a, int64_t b) {
  if (t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR) return b;
  if (t == SQL_BIT || t == SQL_VARBINARY || t == SQL_BINARY || t == SQL_LONGVARBINARY ||
      t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_DATE || t == SQL_TIME ||
      t == SQL_TIMESTAMP || in(t, SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP) || is_interval(t) ||
      is_exact_or_approx(t))
    return a;
  return 0;
}

int16_t precision_of(int32_t t, int64_t p, int64_t s) {
  if (is_exact_or_approx(t)) return static_cast<int16_t>(p);
  if (t == SQL_TIME || t == SQL_TIMESTAMP || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP ||
      t == SQL_INTERVAL_SECOND || t == SQL_INTERVAL_DAY_TO_SECOND ||
      t == SQL_INTERVAL_HOUR_TO_SECOND || t == SQL_INTERVAL_MINUTE_TO_SECOND)
    return static_cast<int16_t>(s);
  return 0;
}

int32_t radix_of(int32_t t) {
  if (t == SQL_FLOAT || t == SQL_REAL || t == SQL_DOUBLE) return 2;
  if (is_integer_type(t) || in(t, SQL_NUMERIC, SQL_SMALLINT)) return 10;
  return 0;
}

bool is_char_sql(int32_t t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

// ---- Type information ---------------------------------------------------------------

SQLRETURN type_info_text(Stmt* stmt, uint16_t column, int32_t sqlType, char* buf) {
  buf[0] = '\0';
  const int16_t asked = is_interval(sqlType) ? SQL_INTERVAL : static_cast<int16_t>(sqlType);
  int64_t len = 0;
  SQLRETURN rc = ConnTypeInfoValue(stmt->st_dbc, column, asked, buf, 255, &len);
  if (rc == SQL_ERROR) return SQL_ERROR;
  if (rc != SQL_SUCCESS || len == SQL_NULL_DATA) buf[0] = '\0';
  return SQL_SUCCESS;
}

// ---- Record fields ------------------------------------------------------------------

struct Source {
  Desc* desc;
  Stmt* stmt;  // null for an explicit descriptor
  Kind kind;
  int16_t rec;
  DescRec* record;        // the stored record, or null
  ColBinding* cb;         // implicit ARD
  ParamBinding* pb;       // implicit APD and IPD
  const ColumnInfo* col;  // IRD
  const ColumnInfo* par;  // IPD, when described
};

SQLRETURN need_record(const Source& s) {
  return s.record != nullptr ? SQL_SUCCESS : fail(s.desc, ERR_GENERAL);
}

int32_t override_int(const Source& s, int16_t field, bool* found) {
  int32_t v = 0;
  *found = ColAttrLookup(StmtColAttrs(s.stmt), static_cast<uint16_t>(field),
                         static_cast<uint16_t>(s.rec), &v, nullptr, nullptr) != 0;
  return v;
}

const char* override_text(const Source& s, int16_t field) {
  char* v = nullptr;
  if (ColAttrLookup(StmtColAttrs(s.stmt), static_cast<uint16_t>(field), static_cast<uint16_t>(s.rec),
                    nullptr, &v, nullptr) == 0)
    return nullptr;
  return v != nullptr ? v : "";
}

// The type a field of an implicit descriptor maps from; false when the record
// answers instead.
bool type_of(const Source& s, int32_t* t) {
  switch (s.kind) {
    case Kind::Ard:
      if (s.cb != nullptr) {
        *t = s.cb->cb_cType;
        return true;
      }
      return false;
    case Kind::Apd:
      if (s.pb != nullptr) {
        *t = s.pb->pb_cType;
        return true;
      }
      return false;
    case Kind::Ird: *t = s.col->sqlType; return true;
    case Kind::Ipd:
      if (s.par != nullptr) {
        *t = s.par->sqlType;
        return true;
      }
      return false;
    default: return false;
  }
}

SQLRETURN record_field(Source& s, int16_t field, void* buf, int64_t bufLen, int64_t* outLen,
                       char marker) {
  const bool ird = s.kind == Kind::Ird;
  const bool ipd = s.kind == Kind::Ipd;
  const bool implicitApp = s.kind == Kind::Ard || s.kind == Kind::Apd;
  const bool bookmark = ird && s.rec == 0;
  int32_t t = 0;
  const bool typed = s.kind != Kind::Explicit && type_of(s, &t);
  const ColumnInfo* info = ird ? s.col : s.par;
  DescRec* r = s.record;
  char text[256];

  switch (field) {
    case SQL_DESC_CONCISE_TYPE:
      if (bookmark) return DescOutShort(SQL_CHAR, buf, outLen);
      if (typed) return DescOutShort((ird || ipd) ? SqlTypeForVersion(t, s.stmt) : t, buf, outLen);
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutShort(r->dr_conciseType, buf, outLen);
    case SQL_DESC_TYPE:
      if (bookmark) return DescOutShort(SQL_CHAR, buf, outLen);
      if (typed) return DescOutShort(verbose_of(t), buf, outLen);
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutShort(r->dr_type, buf, outLen);
    case SQL_DESC_DATETIME_INTERVAL_CODE:
      if (bookmark) return DescOutShort(0, buf, outLen);
      if (typed) return DescOutShort(code_of(t), buf, outLen);
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutShort(r->dr_intervalCode, buf, outLen);
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      return DescOutInt(r != nullptr ? r->dr_intervalPrecision : 0, buf, outLen);
    case SQL_DESC_LENGTH:
      if (bookmark) return DescOutLen(8, buf, outLen);
      if (s.kind == Kind::Ard && s.cb != nullptr) {
        const int64_t len = s.cb->cb_bufferLength;
        const int64_t b = (t == SQL_C_WCHAR || t == SQL_WVARCHAR) ? len / 2 - 1 : len - 1;
        return DescOutLen(length_of(t, len - 1, b), buf, outLen);
      }
      if (s.kind == Kind::Apd && s.pb != nullptr) {
        const int64_t len = s.pb->pb_bufferLength;
        const int64_t b = (t == SQL_C_WCHAR || t == SQL_WVARCHAR) ? len / 2 - 1 : len - 1;
        return DescOutLen(length_of(t, s.pb->pb_transferSize, b), buf, outLen);
      }
      if (info != nullptr) {
        const int64_t p = static_cast<uint32_t>(info->precision);
        return DescOutLen(length_of(t, p, p), buf, outLen);
      }
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutLen(static_cast<int64_t>(r->dr_length), buf, outLen);
    case SQL_DESC_OCTET_LENGTH: {
      if (bookmark) return DescOutLen(8, buf, outLen);
      int64_t v = 0;
      if (s.kind == Kind::Ard && s.cb != nullptr)
        v = s.cb->cb_bufferLength;
      else if (s.kind == Kind::Apd && s.pb != nullptr)
        v = s.pb->pb_bufferLength;
      else if (info != nullptr)
        v = ColumnOctetLength(t, static_cast<uint32_t>(info->precision));
      else {
        if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
        return DescOutLen(r->dr_octetLength, buf, outLen);
      }
      if (implicitApp) return DescOutLen(OctetLengthOf(t, v), buf, outLen);
      return DescOutLen(v, buf, outLen);
    }
    case SQL_DESC_PRECISION:
      if (bookmark) return DescOutShort(0, buf, outLen);
      if (info != nullptr)
        return DescOutShort(precision_of(t, info->precision, info->scale), buf, outLen);
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutShort(r->dr_precision, buf, outLen);
    case SQL_DESC_SCALE:
      if (bookmark) return DescOutShort(0, buf, outLen);
      if (info != nullptr)
        return DescOutShort((t == SQL_NUMERIC || t == SQL_DECIMAL) ? info->scale : 0, buf, outLen);
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutShort(r->dr_scale, buf, outLen);
    case SQL_DESC_NUM_PREC_RADIX:
      if (bookmark) return DescOutInt(0, buf, outLen);
      if (typed) return DescOutInt(radix_of(t), buf, outLen);
      if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
      return DescOutInt(r->dr_radix, buf, outLen);
    case SQL_DESC_OCTET_LENGTH_PTR:
    case SQL_DESC_INDICATOR_PTR:
    case SQL_DESC_DATA_PTR: {
      if (ird || ipd) return fail(s.desc, ERR_DESC_TYPE);
      const void* p = nullptr;
      if (s.kind == Kind::Ard && s.cb != nullptr) {
        p = field == SQL_DESC_DATA_PTR        ? s.cb->cb_data
            : field == SQL_DESC_INDICATOR_PTR ? static_cast<const void*>(s.cb->cb_indicatorPtr)
                                              : static_cast<const void*>(s.cb->cb_octetLengthPtr);
      } else if (s.kind == Kind::Apd && s.pb != nullptr) {
        p = field == SQL_DESC_DATA_PTR        ? s.pb->pb_data
            : field == SQL_DESC_INDICATOR_PTR ? static_cast<const void*>(s.pb->pb_indicatorPtr)
                                              : static_cast<const void*>(s.pb->pb_lengthPtr);
      } else if (implicitApp && field == SQL_DESC_DATA_PTR) {
        p = nullptr;  // Without a binding there is no data pointer in force.
      } else {
        if (need_record(s) != SQL_SUCCESS) return SQL_ERROR;
        p = field == SQL_DESC_DATA_PTR        ? r->dr_dataPtr
            : field == SQL_DESC_INDICATOR_PTR ? r->dr_indicatorPtr
                                              : r->dr_octetLengthPtr;
      }
      return DescOutPtr(s.desc, p, buf, bufLen, outLen);
    }
    default: break;
  }

  // The fields below exist only in the implementation descriptors.
  if (!ird && !ipd) {
    if (field == SQL_DESC_NULLABLE || field == SQL_DESC_NAME || field == SQL_DESC_UNNAMED ||
        field == SQL_DESC_DISPLAY_SIZE || (field >= SQL_DESC_UNSIGNED && field <= SQL_DESC_LABEL) ||
        field == SQL_DESC_BASE_COLUMN_NAME || field == SQL_DESC_BASE_TABLE_NAME ||
        (field >= SQL_DESC_LITERAL_PREFIX && field <= SQL_DESC_LOCAL_TYPE_NAME) ||
        field == SQL_DESC_PARAMETER_TYPE || field == SQL_DESC_ROWVER || field == COLATTR_KEY_COLUMN ||
        field == COLATTR_EXPRESSION)
      return fail(s.desc, ERR_DESC_TYPE);
    return fail(s.desc, ERR_NOT_SUPPORTED);
  }
  bool found = false;
  switch (field) {
    case SQL_DESC_NULLABLE:
      if (ipd) return DescOutShort(SQL_NULLABLE, buf, outLen);
      return DescOutShort(bookmark ? 0 : (s.col->flags & 0xF), buf, outLen);
    case SQL_DESC_NAME:
      if (ipd)
        return out_text(s.desc, r != nullptr ? r->dr_name : nullptr, buf, bufLen, outLen, marker);
      return out_text(s.desc, bookmark ? "BOOKMARK" : ColumnDisplayName(s.col), buf, bufLen, outLen,
                      marker);
    case SQL_DESC_UNNAMED:
      if (ipd) return DescOutShort(r != nullptr ? r->dr_unnamed : 0, buf, outLen);
      if (bookmark) return DescOutShort(SQL_NAMED, buf, outLen);
      return DescOutShort(ColumnDisplayName(s.col)[0] != '\0' ? SQL_NAMED : SQL_UNNAMED, buf, outLen);
    case SQL_DESC_UNSIGNED:
      if (bookmark) return DescOutShort(SQL_TRUE, buf, outLen);
      if (ird) return DescOutShort(ColumnUnsigned(s.col), buf, outLen);
      if (s.par != nullptr) return DescOutShort(ColumnUnsigned(s.par), buf, outLen);
      return DescOutShort(r != nullptr ? r->dr_unsigned : 0, buf, outLen);
    case SQL_DESC_FIXED_PREC_SCALE:
      if (bookmark) return DescOutShort(0, buf, outLen);
      if (info != nullptr) return DescOutShort(FixedPrecScaleOf(t, info->scale), buf, outLen);
      return DescOutShort(r != nullptr ? r->dr_fixedPrecScale : 0, buf, outLen);
    case SQL_DESC_CASE_SENSITIVE: {
      if (ipd || bookmark) return DescOutInt(SQL_TRUE, buf, outLen);
      const int32_t v = override_int(s, field, &found);
      return DescOutInt(found ? v : (is_char_sql(t) ? SQL_TRUE : SQL_FALSE), buf, outLen);
    }
    case SQL_DESC_TYPE_NAME: {
      if (ipd) {
        const int32_t asked =
            s.par != nullptr ? s.par->sqlType : (r != nullptr ? r->dr_conciseType : 0);
        text[0] = '\0';
        if (asked != 0 && type_info_text(s.stmt, 1, asked, text) != SQL_SUCCESS) return SQL_ERROR;
        return out_text(s.desc, text, buf, bufLen, outLen, marker);
      }
      if (!bookmark) {
        if (const char* o = override_text(s, field); o != nullptr)
          return out_text(s.desc, o, buf, bufLen, outLen, marker);
      }
      if (type_info_text(s.stmt, 1, bookmark ? SQL_CHAR : t, text) != SQL_SUCCESS) return SQL_ERROR;
      return out_text(s.desc, text, buf, bufLen, outLen, marker);
    }
    case SQL_DESC_LOCAL_TYPE_NAME: return out_text(s.desc, "", buf, bufLen, outLen, marker);
    case SQL_DESC_PARAMETER_TYPE:
      if (!ipd) return fail(s.desc, ERR_DESC_TYPE);
      if (s.pb != nullptr) return DescOutShort(s.pb->pb_paramType, buf, outLen);
      return DescOutShort(r != nullptr ? r->dr_paramType : 0, buf, outLen);
    default: break;
  }

  // The remaining fields exist only in the IRD.
  if (!ird) {
    if (field == SQL_DESC_DISPLAY_SIZE || field == SQL_DESC_UPDATABLE ||
        field == SQL_DESC_AUTO_UNIQUE_VALUE || field == SQL_DESC_SEARCHABLE ||
        (field >= SQL_DESC_TABLE_NAME && field <= SQL_DESC_LABEL) ||
        field == SQL_DESC_BASE_COLUMN_NAME || field == SQL_DESC_BASE_TABLE_NAME ||
        field == SQL_DESC_LITERAL_PREFIX || field == SQL_DESC_LITERAL_SUFFIX ||
        field == SQL_DESC_ROWVER || field == COLATTR_KEY_COLUMN || field == COLATTR_EXPRESSION)
      return fail(s.desc, ERR_DESC_TYPE);
    return fail(s.desc, ERR_NOT_SUPPORTED);
  }
  switch (field) {
    case SQL_DESC_DISPLAY_SIZE:
      return DescOutLen(bookmark ? 8 : static_cast<int64_t>(static_cast<uint32_t>(s.col->displaySize)),
                     buf, outLen);
    case SQL_DESC_UPDATABLE:
      return DescOutShort(bookmark ? 0 : ColumnUpdatable(s.stmt, s.col, s.rec), buf, outLen);
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_ROWVER:
    case COLATTR_KEY_COLUMN:
    case COLATTR_EXPRESSION: {
      const int32_t v = bookmark ? 0 : override_int(s, field, &found);
      const int32_t answer = found ? v : 0;
      return field == SQL_DESC_AUTO_UNIQUE_VALUE ? DescOutInt(answer, buf, outLen)
                                                 : DescOutShort(answer, buf, outLen);
    }
    case SQL_DESC_SEARCHABLE: {
      if (bookmark) return DescOutShort(SQL_PRED_NONE, buf, outLen);
      const int32_t v = override_int(s, field, &found);
      return DescOutShort(found ? v : SearchableOf(t), buf, outLen);
    }
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
      return out_text(s.desc, s.col->table, buf, bufLen, outLen, marker);
    case SQL_DESC_SCHEMA_NAME: return out_text(s.desc, s.col->schema, buf, bufLen, outLen, marker);
    case SQL_DESC_CATALOG_NAME:
      return out_text(s.desc, s.col->catalog, buf, bufLen, outLen, marker);
    case SQL_DESC_LABEL:
      return out_text(s.desc, bookmark ? "BOOKMARK" : ColumnDisplayName(s.col), buf, bufLen, outLen,
                      marker);
    case SQL_DESC_BASE_COLUMN_NAME: {
      if (bookmark) return out_text(s.desc, "BOOKMARK", buf, bufLen, outLen, marker);
      bool expr = false;
      const int32_t v = override_int(s, COLATTR_EXPRESSION, &expr);
      const char* name = expr && v == 1 ? "" : ColumnDisplayName(s.col);
      return out_text(s.desc, name, buf, bufLen, outLen, marker);
    }
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX: {
      if (bookmark) return out_text(s.desc, "", buf, bufLen, outLen, marker);
      if (const char* o = override_text(s, field); o != nullptr)
        return out_text(s.desc, o, buf, bufLen, outLen, marker);
      const uint16_t column = field == SQL_DESC_LITERAL_PREFIX ? 4 : 5;
      if (type_info_text(s.stmt, column, t, text) != SQL_SUCCESS) return SQL_ERROR;
      return out_text(s.desc, text, buf, bufLen, outLen, marker);
    }
    default: return fail(s.desc, ERR_NOT_SUPPORTED);
  }
}

SQLRETURN header_field(Desc* desc, Kind kind, int16_t field, void* buf, int64_t bufLen,
                       int64_t* outLen) {
  Stmt* stmt = desc->de_stmt;
  const bool app = kind == Kind::Explicit || kind == Kind::Ard || kind == Kind::Apd;
  switch (field) {
    case SQL_DESC_ALLOC_TYPE: return DescOutShort(desc->de_allocType, buf, outLen);
    case SQL_DESC_ARRAY_SIZE:
      switch (kind) {
        case Kind::Explicit:
          return out_value<uint64_t>(static_cast<uint64_t>(desc->de_arraySize), buf, outLen);
        case Kind::Ard:
          return out_value<uint64_t>(
              static_cast<uint64_t>(static_cast<int64_t>(stmt->st_cursor.sc_rowsetSize)), buf,
              outLen);
        case Kind::Apd: return out_value<uint64_t>(stmt->st_paramsetSize, buf, outLen);
        default: return fail(desc, ERR_DESC_TYPE);
      }
    case SQL_DESC_ARRAY_STATUS_PTR: return DescOutPtr(desc, desc->de_arrayStatusPtr, buf, 0, outLen);
    case SQL_DESC_BIND_OFFSET_PTR:
      if (!app) return fail(desc, ERR_DESC_TYPE);
      return DescOutPtr(desc, desc->de_bindOffsetPtr, buf, 0, outLen);
    case SQL_DESC_BIND_TYPE:
      if (kind == Kind::Ard) return DescOutInt(stmt->st_bindType, buf, outLen);
      if (!app) return fail(desc, ERR_DESC_TYPE);
      return DescOutInt(desc->de_bindType, buf, outLen);
    case SQL_DESC_ROWS_PROCESSED_PTR:
      if (kind == Kind::Ird) return DescOutPtr(desc, stmt->st_rowsFetchedPtr, buf, 0, outLen);
      if (kind == Kind::Ipd) return DescOutPtr(desc, stmt->st_paramsProcessedPtr, buf, 0, outLen);
      return fail(desc, ERR_DESC_TYPE);
    default: {
      // SQL_DESC_COUNT.
      if (kind != Kind::Ird) return DescOutShort(DescRecCount(desc), buf, outLen);
      int16_t n = 0;
      if (int32_t code = StmtNumResultCols(stmt, &n); code != 0) return fail(desc, code);
      return DescOutShort(n, buf, outLen);
    }
  }
}

bool is_header_field(int16_t field) {
  return field == SQL_DESC_ALLOC_TYPE || field == SQL_DESC_ARRAY_SIZE ||
         field == SQL_DESC_ARRAY_STATUS_PTR || field == SQL_DESC_BIND_OFFSET_PTR ||
         field == SQL_DESC_BIND_TYPE || field == SQL_DESC_ROWS_PROCESSED_PTR ||
         field == SQL_DESC_COUNT;
}

}  // namespace

SQLRETURN DescGetField(Desc* desc, int16_t rec, int16_t field, void* buf, int64_t bufLen,
                       int64_t* outLen, char marker) {
  const Kind kind = kind_of(desc);
  if (TraceLevel.load() != 0) TraceODBC("Descriptor Type: %s", DescTypeName(desc));
  if (is_header_field(field)) return header_field(desc, kind, field, buf, bufLen, outLen);

  if (rec < 0 || (rec == 0 && (kind == Kind::Ipd || kind == Kind::Apd)))
    return fail(desc, ERR_DESC_INDEX);
  Stmt* stmt = desc->de_stmt;
  if (kind == Kind::Ird) {
    int16_t n = 0;
    if (int32_t code = StmtNumResultCols(stmt, &n); code != 0) return fail(desc, code);
    if (rec > n) return SQL_NO_DATA;
  } else if (rec > desc->de_count) {
    return SQL_NO_DATA;
  }

  Source s{desc, stmt, kind, rec, DescGetRec(desc, rec), nullptr, nullptr, nullptr, nullptr};
  if (kind == Kind::Ard) s.cb = StmtFindColBinding(static_cast<uint16_t>(rec), stmt);
  if (kind == Kind::Apd || kind == Kind::Ipd) {
    s.pb = StmtFindParamBinding(static_cast<uint16_t>(rec), stmt);
    if (s.pb != nullptr && s.pb->pb_number == 0) s.pb = nullptr;
  }
  if (kind == Kind::Ird) {
    // Record 0 answers for the bookmark column whether or not bookmarks are on.
    s.col = rec == 0 ? BookmarkColumnInfo() : StmtColumnInfo(stmt, static_cast<uint16_t>(rec));
    if (s.col == nullptr) return fail(desc, ERR_DESC_INDEX);
  }
  if (kind == Kind::Ipd) {
    // A parameter without a description reads from the record; the statement's
    // own diagnostics stay as they were.
    const int32_t kept = stmt->errCode;
    s.par = StmtParamInfo(stmt, static_cast<uint16_t>(rec));
    stmt->errCode = kept;
  }
  return record_field(s, field, buf, bufLen, outLen, marker);
}

SQLRETURN GetDescFieldImpl(Desc* desc, const CallSlot* args) {
  int64_t len = 0;
  SQLRETURN rc = DescGetField(desc, SlotI16(args[0]), SlotI16(args[1]), SlotAs<void*>(args[2]),
                              SlotI32(args[3]), &len, SlotIsWide(args[5]) ? 'W' : 'A');
  if (auto* outLen = SlotAs<int32_t*>(args[4]);
      outLen != nullptr && rc != SQL_ERROR && rc != SQL_NO_DATA)
    *outLen = static_cast<int32_t>(std::min<int64_t>(len, INT32_MAX));
  return rc;
}

SQLRETURN ConnTypeInfoValue(Conn* conn, uint16_t column, int16_t sqlType, char* buf, int64_t bufLen,
                            int64_t* len) {
  if (conn->state != CONN_STATE_CONNECTED) {
    conn->errCode = ERR_CONN_NOT_OPEN;
    return SQL_ERROR;
  }
  Stmt* tmp = StmtNew(conn);
  if (tmp == nullptr) return SQL_ERROR;
  const DriverOps* ops = tmp->st_drv->ops;
  SQLRETURN rc = SQL_ERROR;
  if (ops->DRV_DDTypeInfo(tmp->st_hCursor, sqlType) == 0) {
    tmp->state = STMT_STATE_PREPARED;
    tmp->st_flags |= STMT_F_RESULT;
    int32_t code = ops->DRV_Fetch(tmp->st_hCursor, 1, &tmp->st_block);
    if (code == ERR_NO_DATA || (code == 0 && tmp->st_block.rowCount < 1)) {
      rc = SQL_NO_DATA;
    } else if (code == 0 && column >= 1 && column <= tmp->st_block.colCount) {
      const DatasetColumn* c = &tmp->st_block.cols[column - 1];
      if (c->ind == nullptr || c->ind[0] == DS_IND_NULL) {
        if (len != nullptr) *len = SQL_NULL_DATA;
        rc = SQL_SUCCESS;
      } else {
        const void* value = nullptr;
        uint64_t n = 0;
        CellValue(c, 0, &value, &n);
        int32_t err = 0;
        SQLLEN got = 0;
        rc = ConvertCellValue(c->type, value, n, static_cast<SQLLEN>(n), SQL_C_CHAR, buf, bufLen,
                              &got, &err, 0, 0, 0);
        if (len != nullptr) *len = got;
      }
    }
  }
  StmtClose(tmp);
  StmtFree(tmp);
  return rc;
}
