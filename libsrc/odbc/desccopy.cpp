// desccopy.cpp -- SQLCopyDesc, SQLGetDescRec and SQLSetDescRec, built field
// by field on the single-field cores, so that every consistency rule and every
// carry-over to the statements applies to them as to SQLSetDescField.
// A copy writes the data pointer of each record last, when the record's type
// and lengths are final, so that the binding it makes uses them.
// Threading: under the connection's call lock.

#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "drv/errtab.h"
#include "odbc/descops.h"
#include "odbc/dispatch.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"

namespace {

bool is_row(const Desc* d) {
  return d->de_allocType != SQL_DESC_ALLOC_USER &&
         (d->de_type == DESC_ARD || d->de_type == DESC_IRD);
}
bool is_ird(const Desc* d) {
  return d->de_allocType != SQL_DESC_ALLOC_USER && d->de_type == DESC_IRD;
}
bool is_ipd(const Desc* d) {
  return d->de_allocType != SQL_DESC_ALLOC_USER && d->de_type == DESC_IPD;
}

struct Copier {
  Desc* src;
  Desc* dst;
  SQLRETURN rc = SQL_SUCCESS;

  // Copies one field when read and write are both wanted; reads it only when
  // just the read is. false once a step failed (rc holds the answer).
  bool field(int16_t rec, int16_t id, bool read = true, bool write = true) {
    if (!read) return true;
    uint64_t value = 0;
    int64_t len = 0;
    SQLRETURN r = DescGetField(src, rec, id, &value, sizeof value, &len, 'A');
    if (r != SQL_SUCCESS) {
      dst->errCode = src->errCode;
      rc = r;
      return false;
    }
    if (!write) return true;
    r = DescSetFieldHandle(dst, rec, id, value, static_cast<int32_t>(len), 'A');
    if (r != SQL_SUCCESS) {
      rc = r;
      return false;
    }
    return true;
  }

  bool name(int16_t rec, bool read, bool write) {
    if (!read) return true;
    char text[255];
    int64_t len = 0;
    SQLRETURN r = DescGetField(src, rec, SQL_DESC_NAME, text, sizeof text, &len, 'A');
    if (r != SQL_SUCCESS) {
      dst->errCode = src->errCode;
      rc = r;
      return false;
    }
    if (!write) return true;
    r = DescSetFieldHandle(dst, rec, SQL_DESC_NAME, reinterpret_cast<uintptr_t>(text),
                           static_cast<int32_t>(std::min<int64_t>(len, sizeof text - 1)), 'A');
    if (r != SQL_SUCCESS) {
      rc = r;
      return false;
    }
    return true;
  }
};

}  // namespace

SQLRETURN CopyDescImpl(Desc* source, const CallSlot* args) {
  auto* target = static_cast<Desc*>(HandleLookup(&DescHandles, static_cast<uint32_t>(args[0])));
  if (target == nullptr || target->magic != DESC_MAGIC) return SQL_INVALID_HANDLE;
  if (TraceLevel.load() != 0) {
    TraceODBC("Source Descriptor Type: %s", DescTypeName(source));
    TraceODBC("Source Descriptor Type: %s", DescTypeName(target));
  }
  if (is_ird(target)) {
    target->errCode = ERR_MODIFY_IRD;
    return SQL_ERROR;
  }
  if (is_ird(source) && !StmtHasResultInfo(source->de_stmt)) {
    target->errCode = ERR_SEQUENCE;
    return SQL_ERROR;
  }
  const bool srcApp = DescIsApplication(source);
  const bool dstApp = DescIsApplication(target);
  Copier c{source, target};
  if (!c.field(0, SQL_DESC_ARRAY_SIZE, srcApp, dstApp) || !c.field(0, SQL_DESC_ARRAY_STATUS_PTR) ||
      !c.field(0, SQL_DESC_BIND_OFFSET_PTR, srcApp, dstApp) ||
      !c.field(0, SQL_DESC_BIND_TYPE, srcApp, dstApp) || !c.field(0, SQL_DESC_COUNT) ||
      !c.field(0, SQL_DESC_ROWS_PROCESSED_PTR, !srcApp, !dstApp))
    return c.rc;

  const bool bookmarks = is_row(source) && is_row(target) &&
                         source->de_stmt->st_cursor.sc_useBookmarks != 0 &&
                         target->de_stmt->st_cursor.sc_useBookmarks != 0;
  for (int16_t rec = bookmarks ? 0 : 1; rec <= target->de_count; ++rec) {
    if (!c.field(rec, SQL_DESC_TYPE) || !c.field(rec, SQL_DESC_CONCISE_TYPE) ||
        !c.field(rec, SQL_DESC_DATETIME_INTERVAL_CODE) ||
        !c.field(rec, SQL_DESC_DATETIME_INTERVAL_PRECISION) ||
        !c.field(rec, SQL_DESC_INDICATOR_PTR, srcApp, dstApp) || !c.field(rec, SQL_DESC_LENGTH) ||
        !c.name(rec, !srcApp, !dstApp) || !c.field(rec, SQL_DESC_NUM_PREC_RADIX) ||
        !c.field(rec, SQL_DESC_OCTET_LENGTH) ||
        !c.field(rec, SQL_DESC_OCTET_LENGTH_PTR, srcApp, dstApp) ||
        !c.field(rec, SQL_DESC_PARAMETER_TYPE, is_ipd(source), is_ipd(target)) ||
        !c.field(rec, SQL_DESC_PRECISION) || !c.field(rec, SQL_DESC_SCALE) ||
        !c.field(rec, SQL_DESC_UNNAMED, is_ipd(source), is_ipd(target)) ||
        !c.field(rec, SQL_DESC_DATA_PTR, srcApp, dstApp))
      return c.rc;
  }
  return SQL_SUCCESS;
}

SQLRETURN SetDescRecImpl(Desc* desc, const CallSlot* args) {
  if (is_ird(desc)) {
    desc->errCode = ERR_MODIFY_IRD;
    return SQL_ERROR;
  }
  const int16_t rec = SlotI16(args[0]);
  const int16_t type = SlotI16(args[1]);
  const auto set = [&](int16_t field, uint64_t value) {
    return DescSetFieldHandle(desc, rec, field, value, 0, 'A');
  };
  const auto u16 = [](int16_t v) { return static_cast<uint64_t>(static_cast<uint16_t>(v)); };
  SQLRETURN rc = set(SQL_DESC_TYPE, u16(type));
  if (rc == SQL_SUCCESS && (type == SQL_DATETIME || type == SQL_INTERVAL))
    rc = set(SQL_DESC_DATETIME_INTERVAL_CODE, u16(SlotI16(args[2])));
  if (rc == SQL_SUCCESS) rc = set(SQL_DESC_OCTET_LENGTH, args[3]);
  if (rc == SQL_SUCCESS) rc = set(SQL_DESC_PRECISION, u16(SlotI16(args[4])));
  if (rc == SQL_SUCCESS) rc = set(SQL_DESC_SCALE, u16(SlotI16(args[5])));
  if (rc == SQL_SUCCESS) rc = set(SQL_DESC_DATA_PTR, args[6]);
  if (rc == SQL_SUCCESS && DescIsApplication(desc)) {
    rc = set(SQL_DESC_OCTET_LENGTH_PTR, args[7]);
    if (rc == SQL_SUCCESS) rc = set(SQL_DESC_INDICATOR_PTR, args[8]);
  }
  return rc;
}

SQLRETURN GetDescRecImpl(Desc* desc, const CallSlot* args) {
  const int16_t rec = SlotI16(args[0]);
  auto* name = SlotAs<void*>(args[1]);
  const int16_t bufLen = SlotI16(args[2]);
  auto* strLen = SlotAs<int16_t*>(args[3]);
  auto* type = SlotAs<int16_t*>(args[4]);
  auto* subtype = SlotAs<int16_t*>(args[5]);
  auto* length = SlotAs<int64_t*>(args[6]);
  auto* precision = SlotAs<int16_t*>(args[7]);
  auto* scale = SlotAs<int16_t*>(args[8]);
  auto* nullable = SlotAs<int16_t*>(args[9]);
  const char marker = SlotIsWide(args[10]) ? 'W' : 'A';
  int64_t len = 0;
  SQLRETURN rc = SQL_SUCCESS;
  if (type != nullptr || subtype != nullptr) {
    int16_t t = 0;
    if ((rc = DescGetField(desc, rec, SQL_DESC_TYPE, &t, 2, &len, marker)) != SQL_SUCCESS)
      return rc;
    if (type != nullptr) *type = t;
    int16_t code = 0;
    if (t == SQL_DATETIME || t == SQL_INTERVAL) {
      if ((rc = DescGetField(desc, rec, SQL_DESC_DATETIME_INTERVAL_CODE, &code, 2, &len, marker)) !=
          SQL_SUCCESS)
        return rc;
    }
    if (subtype != nullptr) *subtype = code;
  }
  if ((rc = DescGetField(desc, rec, SQL_DESC_OCTET_LENGTH, length, 8, &len, marker)) !=
          SQL_SUCCESS ||
      (rc = DescGetField(desc, rec, SQL_DESC_PRECISION, precision, 2, &len, marker)) !=
          SQL_SUCCESS ||
      (rc = DescGetField(desc, rec, SQL_DESC_SCALE, scale, 2, &len, marker)) != SQL_SUCCESS)
    return rc;
  if (DescIsApplication(desc)) return SQL_SUCCESS;
  if ((rc = DescGetField(desc, rec, SQL_DESC_NULLABLE, nullable, 2, &len, marker)) != SQL_SUCCESS)
    return rc;
  // The wide form counts its buffer and the name's length in characters.
  const int64_t bytes = marker == 'W' ? 2 * static_cast<int64_t>(bufLen) : bufLen;
  rc = DescGetField(desc, rec, SQL_DESC_NAME, name, bytes, &len, marker);
  if (strLen != nullptr && rc != SQL_ERROR) {
    const int64_t units = marker == 'W' ? len / 2 : len;
    *strLen = static_cast<int16_t>(std::min<int64_t>(units, INT16_MAX));
  }
  return rc;
}
