// inf_exec.cpp -- executes prepared statements: binds one parameter row at a
// time into the input area, merges the hidden BYTE/TEXT literals, and runs the
// statement by its type with the agent's transaction handling.
// Owns the input area, its locators and conversion buffers (until the next bind,
// prepare or end) and the parameter Dataset handed over by DRV_SetParams.
// Threading: one call at a time per cursor.
// Not here: fetching the rows (inf_fetch.cpp) or collecting values supplied
// at execution (inf_dae.cpp).

#include "drv_inf/inf_exec.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "drv_inf/inf_blob.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_cursor.h"
#include "drv_inf/inf_dae.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_esql.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "util/conv.h"
#include "util/utalloc.h"

namespace {

constexpr const char* kSrc = "drv_inf/inf_exec";

char kEmpty[1] = {'\0'};

// Each host variable has two buffer slots: its bound value and a text made
// from it by a later conversion (the locator of that text may point at either).
void* keepBuffer(InfCursor* cur, int var, int slot, void* p) {
  const uint32_t k = static_cast<uint32_t>(2 * var + slot);
  std::free(cur->paramBuffers[k]);
  cur->paramBuffers[k] = p;
  if (p != nullptr) cur->paramBuffersHeld = true;
  return p;
}

// Room for a value of fixed size made for host variable `var` (a date, a
// widened integer, a date-time record), zeroed. It lies behind the buffer
// slots in their block and lasts as long as the input area's layout, so that
// set after set of an array binds without allocating.
constexpr size_t kScratch = 32;
static_assert(sizeof(IxrDateTime) <= kScratch && sizeof(IxrDate) <= kScratch);

void* scratch(InfCursor* cur, int var) {
  char* base = reinterpret_cast<char*>(cur->paramBuffers + cur->paramBufferCount);
  void* p = base + static_cast<size_t>(var) * kScratch;
  std::memset(p, 0, kScratch);
  return p;
}

IxrLocator* memoryLocator(char* data, int32_t size, int16_t blobType, int32_t indicator) {
  auto* loc = static_cast<IxrLocator*>(s_alloc(1, sizeof(IxrLocator)));
  loc->loctype = IXR_LOC_MEMORY;
  loc->blobtype = blobType;
  loc->indicator = indicator;
  loc->flags = 0;
  loc->buffer = data != nullptr ? data : kEmpty;
  loc->bufsize = size;
  loc->size = size;
  return loc;
}

void setLocator(IxrSqlVar& v, IxrLocator* loc) {
  v.sqltype = IXR_HOST_LOCATOR;
  v.sqllen = static_cast<int32_t>(sizeof(IxrLocator));
  v.sqldata = reinterpret_cast<char*>(loc);
}

bool isLongSqlType(int32_t t) {
  return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY ||
         (InfWideBuild() && t == SQL_WLONGVARCHAR);
}

bool isWideType(int32_t t) {
  return t == DS_WCHAR || t == DS_WSTRING || t == DS_LONGWCHAR || t == DS_WVARCHAR4;
}

void freeDataset(Dataset*& ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
  ds = nullptr;
}

int32_t bindDate(InfCursor* cur, IxrSqlVar& v, int c, const char* cell) {
  int16_t ymd[3];
  std::memcpy(ymd, cell, 6);
  const int16_t mdy[3] = {ymd[1], ymd[2], ymd[0]};
  auto* date = static_cast<IxrDate*>(scratch(cur, c));
  if (ixr_date_from_mdy(mdy, date) != 0) {
    INF_LOG(LOG_INFO, kSrc, "BindParams: date conversion failed (%u/%02u/%02u)",
            static_cast<unsigned>(static_cast<uint16_t>(ymd[0])), static_cast<unsigned>(ymd[1]),
            static_cast<unsigned>(ymd[2]));
    return ERR_DATE_OVERFLOW;
  }
  v.sqltype = IXR_HOST_DATE;
  v.sqllen = 4;
  v.sqldata = reinterpret_cast<char*>(date);
  return 0;
}

int32_t bindDateTime(InfCursor* cur, IxrSqlVar& v, int c, const char* text, int16_t qual,
                     const char* what) {
  auto* dt = static_cast<IxrDateTime*>(scratch(cur, c));
  dt->qual = qual;
  if (ixr_datetime_from_text(text, dt) != 0) {
    INF_LOG(LOG_INFO, kSrc, "BindParams: %s conversion failed (%s)", what, text);
    return ERR_DATE_OVERFLOW;
  }
  v.sqltype = IXR_HOST_DATETIME;
  v.sqllen = static_cast<int32_t>(sizeof(IxrDateTime));
  v.sqldata = reinterpret_cast<char*>(dt);
  return 0;
}

int32_t bindUtf8(InfCursor* cur, IxrSqlVar& v, int c, const char16_t* text, int64_t units) {
  char* u = wcsn_to_utf8_dup(text, units);
  if (u == nullptr) return ERR_MEMORY;
  keepBuffer(cur, c, 0, u);
  v.sqltype = IXR_HOST_STRING;
  v.sqldata = u;
  v.sqllen = static_cast<int32_t>(std::strlen(u) + 1);
  return 0;
}

// A widened copy of the value in the host variable's own buffer.
int32_t bindCopy(InfCursor* cur, IxrSqlVar& v, int c, const void* value, size_t size,
                 int16_t type) {
  void* buf = scratch(cur, c);
  std::memcpy(buf, value, size);
  v.sqltype = type;
  v.sqllen = static_cast<int32_t>(size);
  v.sqldata = static_cast<char*>(buf);
  return 0;
}

// One value of the row into host variable c.
int32_t bindValue(InfCursor* cur, IxrSqlVar& v, int c, const DatasetColumn& col, uint32_t row) {
  char* cell = col.data + static_cast<size_t>(row) * col.width;
  v.sqldata = cell;
  v.sqllen = static_cast<int32_t>(col.width);
  switch (col.type) {
    case DS_CHAR:
      v.sqltype = IXR_HOST_FIXCHAR;
      v.sqllen = static_cast<int32_t>(col.width) - 1;
      return 0;
    case DS_BIT:
    case DS_TINYINT:
    case DS_UTINYINT: {
      const uint8_t b = static_cast<uint8_t>(*cell);
      const int16_t x = col.type == DS_BIT       ? (b != 0)
                        : col.type == DS_TINYINT ? static_cast<int8_t>(b)
                                                 : b;
      return bindCopy(cur, v, c, &x, sizeof x, IXR_HOST_SHORT);
    }
    case DS_SMALLINT: v.sqltype = IXR_HOST_SHORT; return 0;
    case DS_INTEGER: v.sqltype = IXR_HOST_INT; return 0;
    case DS_USMALLINT: {
      uint16_t u;
      std::memcpy(&u, cell, 2);
      if (u < 32768) {
        v.sqltype = IXR_HOST_SHORT;
        return 0;
      }
      const int32_t x = u;
      return bindCopy(cur, v, c, &x, sizeof x, IXR_HOST_INT);
    }
    case DS_UINTEGER: {
      uint32_t u;
      std::memcpy(&u, cell, 4);
      if (u <= INT32_MAX) {
        v.sqltype = IXR_HOST_INT;
        return 0;
      }
      // Above 2^31 the value needs the long host type to keep its sign.
      const int64_t x = u;
      return bindCopy(cur, v, c, &x, sizeof x, IXR_HOST_LONG);
    }
    case DS_REAL: v.sqltype = IXR_HOST_FLOAT; return 0;
    case DS_DOUBLE: v.sqltype = IXR_HOST_DOUBLE; return 0;
    case DS_DATE: return bindDate(cur, v, c, cell);
    case DS_TIME: {
      uint16_t hms[3];
      std::memcpy(hms, cell, 6);
      char text[32];
      std::snprintf(text, sizeof text, "%02u:%02u:%02u", hms[0], hms[1], hms[2]);
      return bindDateTime(cur, v, c, text, IXR_QUAL(6, IXR_TU_HOUR, IXR_TU_SECOND), "time");
    }
    case DS_TIMESTAMP: {
      int16_t year;
      uint16_t f[5];
      uint32_t ns;
      std::memcpy(&year, cell, 2);
      std::memcpy(f, cell + 2, 10);
      std::memcpy(&ns, cell + 12, 4);
      // Every fraction digit a column can keep travels; a column with fewer
      // digits drops the rest itself.
      char text[64];
      std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%05lu",
                    static_cast<unsigned>(static_cast<uint16_t>(year)), f[0], f[1], f[2], f[3],
                    f[4], static_cast<unsigned long>(ns / 10000u));
      return bindDateTime(cur, v, c, text, IXR_QUAL_YEAR_TO_F5, "datetime parameter");
    }
    case DS_BINARY:
      setLocator(v, memoryLocator(cell, static_cast<int32_t>(col.width), IXR_TYPE_BYTE, 0));
      return 0;
    case DS_LONGCHAR: {
      DatasetLong lv;
      std::memcpy(&lv, cell, sizeof lv);
      v.sqltype = IXR_HOST_FIXCHAR;
      v.sqldata = lv.data != nullptr ? static_cast<char*>(lv.data) : kEmpty;
      v.sqllen = static_cast<int32_t>(lv.length);
      return 0;
    }
    case DS_LONGBINARY: {
      DatasetLong lv;
      std::memcpy(&lv, cell, sizeof lv);
      setLocator(v, memoryLocator(static_cast<char*>(lv.data), static_cast<int32_t>(lv.length),
                                  IXR_TYPE_BYTE, 0));
      return 0;
    }
    case DS_STRING:
      v.sqltype = IXR_HOST_STRING;
      v.sqllen = static_cast<int32_t>(col.width) + 1;
      return 0;
    case DS_VARBINARY4: {
      uint32_t n;
      std::memcpy(&n, cell, 4);
      if (n > col.width - 4) n = col.width - 4;
      setLocator(v, memoryLocator(cell + 4, static_cast<int32_t>(n), IXR_TYPE_BYTE, 0));
      return 0;
    }
    case DS_WCHAR:
    case DS_WSTRING:
      if (InfWideBuild()) {
        const auto* w = reinterpret_cast<const char16_t*>(cell);
        int64_t units = 0;
        const int64_t max = col.width / 2;
        while (units < max && w[units] != 0) ++units;
        return bindUtf8(cur, v, c, w, units);
      }
      break;
    case DS_LONGWCHAR:
      if (InfWideBuild()) {
        DatasetLong lv;
        std::memcpy(&lv, cell, sizeof lv);
        static const char16_t none[1] = {0};
        return bindUtf8(cur, v, c,
                        lv.data != nullptr ? static_cast<const char16_t*>(lv.data) : none,
                        lv.length);
      }
      break;
    default: break;
  }
  INF_LOG(LOG_WARNING, kSrc, "BindParams: unknown bind type in parameters");
  return ERR_GENERAL;
}

void appendChars(std::string& out, const char* b, const char* e) {
  out.append(b, static_cast<size_t>(e - b));
}

// The Dataset still holds a value for the return-value marker of "{? = call}".
bool returnMarkerBound(const InfCursor* cur) {
  return (cur->request.flags & REQF_RETURN) != 0 && cur->params != nullptr &&
         cur->params->colCount > 0 && cur->params->colCount == cur->request.markers;
}

}  // namespace

std::string FormatFixed(double v, int width, int scale) {
  char buf[400];
  if (scale < 0) scale = 0;
  if (scale > 60) scale = 60;
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, scale);
  std::string s;
  if (r.ec == std::errc()) appendChars(s, buf, r.ptr);
  if (width > 0 && static_cast<size_t>(width) > s.size() && width < 1000)
    s.insert(0, static_cast<size_t>(width) - s.size(), ' ');
  return s;
}

namespace {

// A double as decimal text for a DECIMAL parameter: at the scale the application declared
// when that writes the value exactly, else whole (shortest text that reads back as the
// same double); the declared digits choose a form, they never round the value away.
std::string DecimalParamText(double v, int width, int scale) {
  std::string s = FormatFixed(v, width, scale);
  const char* b = s.data();
  const char* e = b + s.size();
  while (b < e && *b == ' ') ++b;
  double back = 0;
  const auto r = std::from_chars(b, e, back);
  if (r.ec == std::errc() && r.ptr == e && back == v) return s;
  char buf[64];
  const auto w = std::to_chars(buf, buf + sizeof buf, v);
  return w.ec == std::errc() ? std::string(buf, w.ptr) : s;
}

}  // namespace

int32_t AllocInputSqlda(InfCursor* cur) noexcept {
  const int n = cur->params != nullptr ? cur->params->colCount : 0;
  // Set after set of a parameter array, and execution after execution, bind into
  // the same layout: the area is cleared to its fresh state instead of being
  // freed and allocated again for every set.
  if (n > 0 && cur->inputArea != nullptr && cur->inputArea->sqld == n &&
      cur->paramBuffers != nullptr && cur->paramBufferCount == 2u * static_cast<uint32_t>(n)) {
    static constexpr IxrSqlVar kFresh{IXR_HOST_STRING, IXR_HOST_SHORT, 1, nullptr, nullptr,
                                      nullptr,         2,              0, 0};
    for (int i = 0; i < n; ++i) {
      IxrSqlVar& v = cur->inputArea->sqlvar[i];
      if (v.sqltype == IXR_HOST_LOCATOR) std::free(v.sqldata);
      if (v.sqlname != nullptr) std::free(v.sqlname);
      v = kFresh;
    }
    if (cur->paramBuffersHeld) {
      for (uint32_t i = 0; i < cur->paramBufferCount; ++i) {
        std::free(cur->paramBuffers[i]);
        cur->paramBuffers[i] = nullptr;
      }
      cur->paramBuffersHeld = false;
    }
    return 0;
  }
  _free_sqlda(cur->inputArea);
  cur->inputArea = nullptr;
  for (uint32_t i = 0; i < cur->paramBufferCount; ++i) std::free(cur->paramBuffers[i]);
  std::free(cur->paramBuffers);
  cur->paramBuffers = nullptr;
  cur->paramBufferCount = 0;
  cur->paramBuffersHeld = false;
  if (n == 0) return 0;
  cur->inputArea = _alloc_sqlda(n);
  cur->paramBuffers = static_cast<void**>(
      std::calloc(1, 2u * static_cast<size_t>(n) * sizeof(void*) + static_cast<size_t>(n) * kScratch));
  if (cur->paramBuffers == nullptr) return ERR_MEMORY;
  cur->paramBufferCount = 2u * static_cast<uint32_t>(n);
  return 0;
}

int32_t InsertHiddenParamValues(Dataset* ds, const InfHiddenParam* hidden, int32_t count) noexcept {
  for (int32_t h = 0; h < count; ++h) {
    const InfHiddenParam& p = hidden[h];
    const int32_t type = p.type == IXR_TYPE_BYTE ? DS_LONGBINARY : DS_LONGCHAR;
    const uint16_t at =
        static_cast<uint16_t>(p.paramIndex <= ds->colCount ? p.paramIndex : ds->colCount);
    if (int32_t rc = DatasetInsertColumn(ds, at, type, 16); rc != 0) return rc;
    DatasetColumn& col = ds->cols[at];
    // Every row carries the literal: each parameter row runs with it.
    for (int32_t r = 0; r < ds->rowCount; ++r) {
      DatasetLong lv{};
      if (type == DS_LONGBINARY) {
        uint8_t* bytes = nullptr;
        uint32_t len = 0;
        if (int32_t rc = HexLiteralDecode(p.text, &bytes, &len); rc != 0) return rc;
        lv.data = bytes;
        lv.length = len;
      } else {
        const size_t len = std::strlen(p.text);
        void* copy = std::malloc(len + 1);
        if (copy == nullptr) return ERR_MEMORY;
        std::memcpy(copy, p.text, len + 1);
        lv.data = copy;
        lv.length = static_cast<uint32_t>(len);
      }
      std::memcpy(col.data + static_cast<size_t>(r) * col.width, &lv, sizeof lv);
      col.ind[r] = 0;
    }
  }
  return 0;
}

int32_t MergeHiddenParamTypes(InfCursor* cur) noexcept {
  const int n = cur->paramTypeCount + cur->hiddenCount;
  auto* out = static_cast<ParamShadow*>(s_alloc(static_cast<size_t>(n), sizeof(ParamShadow)));
  int old = 0;
  int h = 0;
  for (int j = 0; j < n; ++j) {
    if (h < cur->hiddenCount &&
        (cur->hiddenParams[h].paramIndex <= j || old >= cur->paramTypeCount)) {
      const bool isByte = cur->hiddenParams[h].type == IXR_TYPE_BYTE;
      out[j] = ParamShadow{isByte ? -4 : -1, isByte ? 16 : 15, 255, 0, 1};
      ++h;
    } else {
      out[j] = cur->paramTypes[old++];
    }
  }
  std::free(cur->paramTypes);
  cur->paramTypes = out;
  cur->paramTypeCount = static_cast<uint16_t>(n);
  return 0;
}

int32_t MergeHiddenParamInfo(InfCursor* cur) noexcept {
  const int n = cur->paramCount + cur->hiddenCount;
  ColumnInfo* out = ColumnInfoAlloc(static_cast<uint16_t>(n));
  if (out == nullptr) return ERR_MEMORY;
  int old = 0;
  int h = 0;
  for (int j = 0; j < n; ++j) {
    if (h < cur->hiddenCount && (cur->hiddenParams[h].paramIndex <= j || old >= cur->paramCount)) {
      const bool isByte = cur->hiddenParams[h].type == IXR_TYPE_BYTE;
      ColumnInfo& ci = out[j];
      ci.nativeType = isByte ? IXR_TYPE_BYTE : IXR_TYPE_TEXT;
      ci.sqlType = isByte ? -4 : -1;
      ci.bindType = isByte ? DS_LONGBINARY : DS_LONGCHAR;
      ci.precision = 255;
      ci.displaySize = 255;
      ci.flags = 2;
      ++h;
    } else {
      out[j] = cur->paramInfo[old++];
    }
  }
  std::free(cur->paramInfo);  // the strings moved with their entries
  cur->paramInfo = out;
  cur->paramCount = static_cast<uint16_t>(n);
  return 0;
}

int32_t MergeHiddenParams(InfCursor* cur) noexcept {
  if ((cur->flags & CF_MERGE_TYPES) != 0) {
    if (cur->savedParamTypes == nullptr && cur->paramTypeCount > 0) {
      const size_t n = cur->paramTypeCount;
      cur->savedParamTypes = static_cast<ParamShadow*>(s_alloc(n, sizeof(ParamShadow)));
      std::memcpy(cur->savedParamTypes, cur->paramTypes, n * sizeof(ParamShadow));
      cur->savedParamTypeCount = static_cast<int16_t>(n);
    }
    if (int32_t rc = MergeHiddenParamTypes(cur); rc != 0) return rc;
    cur->flags &= static_cast<uint16_t>(~CF_MERGE_TYPES);
  }
  // The literals go into a Dataset once, however often it is bound.
  if (cur->hiddenMergedInto != cur->params) {
    if (int32_t rc = InsertHiddenParamValues(cur->params, cur->hiddenParams, cur->hiddenCount);
        rc != 0)
      return rc;
    cur->hiddenMergedInto = cur->params;
  }
  if (cur->statementType != STMT_INSERT && (cur->flags & CF_MERGE_INFO) != 0) {
    if (int32_t rc = MergeHiddenParamInfo(cur); rc != 0) return rc;
    cur->flags &= static_cast<uint16_t>(~CF_MERGE_INFO);
  }
  return 0;
}

int32_t BindParams(InfCursor* cur, uint32_t row) noexcept {
  if (cur->params == nullptr) {
    if (cur->hiddenCount == 0) return 0;
    std::free(cur->paramTypes);
    std::free(cur->savedParamTypes);
    cur->paramTypes = nullptr;
    cur->savedParamTypes = nullptr;
    cur->paramTypeCount = 0;
    cur->savedParamTypeCount = 0;
    cur->flags |= CF_MERGE_TYPES;
    auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (ds == nullptr || DatasetInit(ds, 0) != 0) {
      std::free(ds);
      return ERR_MEMORY;
    }
    ds->rowCapacity = 1;
    ds->rowCount = 1;
    cur->params = ds;
    cur->hiddenMergedInto = nullptr;
  }
  if (cur->hiddenCount > 0) {
    if (int32_t rc = MergeHiddenParams(cur); rc != 0) return rc;
  }
  if (int32_t rc = AllocInputSqlda(cur); rc != 0) return rc;
  const Dataset* ds = cur->params;
  if (ds->colCount == 0) return 0;
  if (row >= static_cast<uint32_t>(ds->rowCount)) return ERR_PARAM_COUNT;
  for (int c = 0; c < ds->colCount; ++c) {
    const DatasetColumn& col = ds->cols[c];
    IxrSqlVar& v = cur->inputArea->sqlvar[c];
    v.sqlind = col.ind + row;
    v.sqlitype = IXR_HOST_SHORT;
    v.sqlilen = 2;
    if (col.ind[row] == DS_IND_NULL) {
      v.sqltype = IXR_HOST_STRING;
      v.sqldata = kEmpty;
      v.sqllen = 1;
      continue;
    }
    if (int32_t rc = bindValue(cur, v, c, col, row); rc != 0) return rc;
  }
  return 0;
}

void DecimalParamsAsText(InfCursor* cur) noexcept {
  if (cur->inputArea == nullptr) return;
  const int n = std::min<int>({cur->paramCount, cur->paramTypeCount, cur->inputArea->sqld});
  for (int i = 0; i < n; ++i) {
    const ParamShadow& t = cur->paramTypes[i];
    if (t.sqlType != SQL_DECIMAL || t.cType != SQL_C_DOUBLE) continue;
    IxrSqlVar& v = cur->inputArea->sqlvar[i];
    if (v.sqlind != nullptr && *v.sqlind == DS_IND_NULL) {
      v.sqltype = IXR_HOST_STRING;
      v.sqldata = kEmpty;
      v.sqllen = 0;
      continue;
    }
    if (v.sqltype != IXR_HOST_DOUBLE) continue;
    double d;
    std::memcpy(&d, v.sqldata, sizeof d);
    std::string s = DecimalParamText(d, t.columnSize, t.scale);
    char* text = static_cast<char*>(keepBuffer(cur, i, 1, s_strdup(s.c_str())));
    v.sqltype = IXR_HOST_STRING;
    v.sqldata = text;
    v.sqllen = static_cast<int32_t>(s.size());
  }
}

void ConvertParams(InfCursor* cur) noexcept {
  if (cur->inputArea == nullptr || cur->params == nullptr) return;
  const int n = std::min<int>({cur->paramCount, cur->paramTypeCount, cur->inputArea->sqld});
  for (int i = 0; i < n; ++i) {
    const int32_t sqlType = cur->paramTypes[i].sqlType;
    if (!isLongSqlType(sqlType)) continue;
    IxrSqlVar& v = cur->inputArea->sqlvar[i];
    if (v.sqltype == IXR_HOST_LOCATOR) continue;
    const int16_t blob = sqlType == SQL_LONGVARBINARY ? IXR_TYPE_BYTE : IXR_TYPE_TEXT;
    const bool isNull = v.sqlind != nullptr && *v.sqlind == DS_IND_NULL;
    char* text = v.sqldata;
    int32_t len = v.sqllen;
    const DatasetColumn& col = cur->params->cols[i];
    if (isNull) {
      text = kEmpty;
      len = 0;
    } else {
      switch (v.sqltype) {
        case IXR_HOST_CHAR:
        case IXR_HOST_FIXCHAR:
        case IXR_HOST_STRING:
          // A text cell of a parameter array is as wide as its longest value and
          // NUL-padded: the value ends at its terminator, not at the cell's end.
          if (col.type == DS_CHAR)
            len = static_cast<int32_t>(strnlen(text, col.width > 0 ? col.width - 1 : 0));
          else if (col.type == DS_STRING || isWideType(col.type))
            len = static_cast<int32_t>(
                strnlen(text, static_cast<size_t>(v.sqllen > 0 ? v.sqllen : 0)));
          break;
        case IXR_HOST_SHORT:
        case IXR_HOST_INT:
        case IXR_HOST_LONG:
        case IXR_HOST_FLOAT:
        case IXR_HOST_DOUBLE: {
          std::string s;
          if (v.sqltype == IXR_HOST_SHORT) {
            int16_t x;
            std::memcpy(&x, v.sqldata, 2);
            s = std::to_string(x);
          } else if (v.sqltype == IXR_HOST_INT) {
            int32_t x;
            std::memcpy(&x, v.sqldata, 4);
            s = std::to_string(x);
          } else if (v.sqltype == IXR_HOST_LONG) {
            int64_t x;
            std::memcpy(&x, v.sqldata, 8);
            s = std::to_string(x);
          } else if (v.sqltype == IXR_HOST_FLOAT) {
            float x;
            std::memcpy(&x, v.sqldata, 4);
            s = FormatFixed(x, 0, 6);
          } else {
            double x;
            std::memcpy(&x, v.sqldata, 8);
            s = FormatFixed(x, 0, 6);
          }
          text = static_cast<char*>(keepBuffer(cur, i, 1, s_strdup(s.c_str())));
          len = static_cast<int32_t>(s.size());
          break;
        }
        default: INF_LOG(LOG_WARNING, kSrc, "ConvertParams: unable to convert"); continue;
      }
    }
    setLocator(v, memoryLocator(text, len, blob, isNull ? -1 : 0));
  }
}

int32_t OpenSelect(InfCursor* cur, uint16_t row) noexcept {
  InfConn* conn = cur->conn;
  if (cur->paramCount != 0 || cur->hiddenCount != 0) {
    if (int32_t rc = BindParams(cur, row); rc != 0) {
      cur->rowCount = 0;
      return rc;
    }
  }
  if ((cur->flags & CF_DECIMAL_DOUBLE) != 0) DecimalParamsAsText(cur);
  if ((cur->flags & CF_LONG_PARAM) != 0) ConvertParams(cur);
  if (conn->autocommit == 0 && (conn->isolation == 4 || conn->isolation == 8)) {
    if (int32_t rc = INF_TxnControl(conn, TXN_BEGIN); rc != 0) return rc;
  }
  if (int32_t rc = InfEnsureDeclared(cur); rc != 0) return rc;
  int code = _open_cursor(conn->session, cur->declaredName, cur->inputArea, &cur->errors);
  if (code != 0) {
    cur->rowCount = 0;
    return InfCodeToDrvCode(code, ERR_SYNTAX);
  }
  cur->flags |= CF_OPEN | CF_EXECUTED;
  if (int32_t rc = RedescribeIfReshaped(cur); rc != 0) return rc;
  ++cur->paramSetIndex;
  return 0;
}

namespace {

// What each set of an execution binds: its values, then the conversions the
// statement's markers ask for.
int32_t bindSet(InfCursor* cur, uint32_t i) noexcept {
  if (cur->paramCount + cur->hiddenCount > 0) {
    if (int32_t rc = BindParams(cur, i); rc != 0) return rc;
  }
  if ((cur->flags & CF_DECIMAL_DOUBLE) != 0) DecimalParamsAsText(cur);
  if ((cur->flags & (CF_LONG_PARAM | CF_BLOB_REWRITE)) != 0) ConvertParams(cur);
  return 0;
}

struct SetRun {
  InfCursor* cur;
  int32_t rc;      // a set that could not be bound
  uint32_t done;   // sets run
  uint32_t total;  // rows they processed
};

int nextSet(void* ctx, int32_t k, const IxrSqlda** input) {
  auto* run = static_cast<SetRun*>(ctx);
  InfCursor* cur = run->cur;
  // The first set was bound before the run began.
  if (k > 0) {
    if (int32_t rc = bindSet(cur, static_cast<uint32_t>(k)); rc != 0) {
      run->rc = rc;
      return 1;
    }
  }
  const IxrSqlda* area = cur->inputArea;
  *input = area != nullptr && area->sqld != 0 ? area : nullptr;
  return 0;
}

void setDone(void* ctx, int32_t) {
  auto* run = static_cast<SetRun*>(ctx);
  InfCursor* cur = run->cur;
  // No rows found is a success that touched nothing.
  const IxrCommArea* ca = ixr_sqlca();
  if (ca->sqlcode != IXR_NOTFOUND) run->total += static_cast<uint32_t>(ca->sqlerrd[2]);
  ++run->done;
  cur->rowCount = run->total;
  cur->serialValue = static_cast<uint32_t>(ca->sqlerrd[1]);
  cur->rowId = static_cast<uint32_t>(ca->sqlerrd[5]);
  cur->flags |= CF_EOD;
}

// The sets of an array of changes inside the application's transaction run in one
// call of the runtime, which then checks the statement's tables once, not per set:
// nothing commits between the sets. In autocommit each set is a transaction of its
// own and takes the road of one set at a time. -> the agent's code; *total the rows.
int32_t executeSets(InfCursor* cur, uint32_t sets, uint32_t* total) noexcept {
  InfConn* conn = cur->conn;
  if (int32_t rc = bindSet(cur, 0); rc != 0) {
    cur->rowCount = 0;
    return rc;
  }
  if (int32_t rc = INF_TxnControl(conn, TXN_BEGIN); rc != 0) return rc;
  SetRun run{cur, 0, 0, 0};
  const int code = _execute_sets(conn->session, cur->statementName, static_cast<int32_t>(sets),
                                 nextSet, setDone, &run, nullptr);
  *total = run.total;
  if (run.rc != 0) {
    cur->rowCount = run.done;
    return run.rc;
  }
  if (code != 0 && code != IXR_NOTFOUND) {
    // As for one set: the communication area carries the ISAM code.
    if (ixr_sqlca()->sqlcode == code)
      ErrListAddSqlca(&cur->errors);
    else
      ErrListAddInformix(&cur->errors, code);
    cur->rowCount = run.done;
    return InfCodeToDrvCode(code, ERR_SYNTAX);
  }
  return 0;
}

bool changesRows(int32_t statementType) {
  return statementType == IXR_STMT_INSERT || statementType == IXR_STMT_UPDATE ||
         statementType == IXR_STMT_DELETE;
}

}  // namespace

int32_t ExecuteCore(InfCursor* cur) noexcept {
  InfConn* conn = cur->conn;
  InfSession* s = conn->session;
  // "{? = call f(...)}": the first marker receives the procedure's return value,
  // which comes back as its result; the server's statement has no place for it.
  // Dropped only now, once every value was supplied, so that the columns named
  // to a data-at-execution dialogue were the application's.
  if (returnMarkerBound(cur)) {
    if (int32_t rc = DatasetDeleteColumn(cur->params, 0); rc != 0) return rc;
  }
  uint32_t rows = 1;
  if (cur->paramCount != 0 && cur->params != nullptr) {
    if (cur->params->rowCount < 1) return ERR_PARAM_COUNT;
    rows = static_cast<uint32_t>(cur->params->rowCount);
  }
  // A SELECT the server runs as another statement (SELECT ... INTO TEMP) has no
  // cursor: it is executed like any other statement.
  if (cur->request.kind == REQ_SELECT && cur->statementType == STMT_SELECT) {
    if (int32_t rc = OpenSelect(cur, 0); rc != 0) return rc;
    cur->flags |= CF_EXECUTED;
    return 0;
  }
  // The count of a parameter array covers every set that ran.
  uint32_t total = 0;
  const bool together = rows > 1 && conn->autocommit == 0 && changesRows(cur->statementType);
  if (together) {
    if (int32_t rc = executeSets(cur, rows, &total); rc != 0) return rc;
  }
  for (uint32_t i = 0; !together && i < rows; ++i) {
    if (int32_t rc = bindSet(cur, i); rc != 0) {
      cur->rowCount = i;
      return rc;
    }

    const bool wasOpen = (conn->txnState & TXN_OPEN) != 0;
    // In autocommit a failure rolls back the transaction begun for the statement
    // (by the agent, or by the server itself on an ANSI database): no locks stay.
    auto failed = [&](int code, int32_t dflt) {
      cur->rowCount = i;
      const bool began = !wasOpen && (conn->txnState & TXN_OPEN) != 0;
      if (conn->autocommit != 0 && (began || s->ansi != 0))
        (void)INF_TxnControl(conn, TXN_ROLLBACK);
      return InfCodeToDrvCode(code, dflt);
    };
    switch (cur->statementType) {
      case STMT_SELECT: {
        if (conn->autocommit == 0 && (conn->isolation == 4 || conn->isolation == 8)) {
          if (int32_t rc = INF_TxnControl(conn, TXN_BEGIN); rc != 0) return rc;
        }
        if (int32_t rc = InfEnsureDeclared(cur); rc != 0) return rc;
        int code = _open_cursor(s, cur->declaredName, cur->inputArea, &cur->errors);
        if (code != 0) return failed(code, ERR_SYNTAX);
        cur->flags |= CF_OPEN;
        if (int32_t rc = RedescribeIfReshaped(cur); rc != 0) return rc;
        break;
      }
      case STMT_BEGIN_WORK: {
        if (wasOpen) {
          ErrListAddInformix(&cur->errors, IXR_E_IN_TXN);
          return ERR_TXN_STATE;
        }
        if (int32_t rc = INF_TxnControl(conn, TXN_AUTOCOMMIT_OFF); rc != 0) return rc;
        if (int32_t rc = INF_TxnControl(conn, TXN_BEGIN); rc != 0) return rc;
        break;
      }
      case STMT_COMMIT_WORK:
      case STMT_ROLLBACK_WORK: {
        const int op = cur->statementType == STMT_COMMIT_WORK ? TXN_COMMIT : TXN_ROLLBACK;
        if (int32_t rc = INF_TxnControl(conn, op); rc != 0) return rc;
        if (int32_t rc = INF_TxnControl(conn, TXN_AUTOCOMMIT_OFF); rc != 0) return rc;
        break;
      }
      case STMT_EXECUTE_PROCEDURE: {
        if (int32_t rc = INF_TxnControl(conn, TXN_BEGIN); rc != 0) return rc;
        if (cur->resultCount > 0) {
          if (int32_t rc = InfEnsureDeclared(cur); rc != 0) {
            (void)failed(0, rc);
            return rc;
          }
          int code = _open_cursor(s, cur->declaredName, cur->inputArea, &cur->errors);
          if (code != 0) return failed(code, ERR_SYNTAX);
          cur->flags |= CF_OPEN;
          if (int32_t rc = RedescribeIfReshaped(cur); rc != 0) return rc;
        } else {
          int code = _execute(s, cur->statementName, cur->inputArea, &cur->errors);
          if (code != 0 && code != IXR_NOTFOUND) return failed(code, ERR_SYNTAX);
          if (conn->autocommit != 0) {
            if (int32_t rc = INF_TxnControl(conn, TXN_COMMIT); rc != 0) return rc;
          }
        }
        break;
      }
      default: {
        if (int32_t rc = INF_TxnControl(conn, TXN_BEGIN); rc != 0) return rc;
        int code = _execute(s, cur->statementName, cur->inputArea, nullptr);
        if (code != 0 && code != IXR_NOTFOUND) {
          // The communication area survives the dormancy switch and carries the
          // ISAM code that tells a lock conflict from other failures.
          if (ixr_sqlca()->sqlcode == code)
            ErrListAddSqlca(&cur->errors);
          else
            ErrListAddInformix(&cur->errors, code);
          return failed(code, ERR_SYNTAX);
        }
        // No rows found is a success that touched nothing.
        const IxrCommArea* ca = ixr_sqlca();
        if (code != IXR_NOTFOUND) total += static_cast<uint32_t>(ca->sqlerrd[2]);
        cur->rowCount = total;
        cur->serialValue = static_cast<uint32_t>(ca->sqlerrd[1]);
        cur->rowId = static_cast<uint32_t>(ca->sqlerrd[5]);
        if (conn->autocommit != 0) {
          if (int32_t rc = INF_TxnControl(conn, TXN_COMMIT); rc != 0) return rc;
        }
        cur->flags |= CF_EOD;
        break;
      }
    }
  }
  cur->flags |= CF_EXECUTED;
  // Every database kind reports a searched UPDATE or DELETE that found no row
  // the same way (an ANSI database's 100 and another's count of 0 alike).
  const bool searched =
      cur->statementType == IXR_STMT_UPDATE || cur->statementType == IXR_STMT_DELETE;
  return searched && total == 0 ? ERR_NO_DATA : 0;
}

int32_t INF_SetParams(DrvHandle hCursor, Dataset* params) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  // Pieces collected for the Dataset being replaced have nowhere to go.
  DaeReset(cur);
  if (cur->params != params) freeDataset(cur->params);
  cur->params = params;
  cur->hiddenMergedInto = nullptr;
  return 0;
}

int32_t INF_Execute(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  if ((cur->flags & CF_PREPARED) == 0) {
    INF_LOG(LOG_WARNING, kSrc, "INF_Execute: execute without prior prepare");
    return ERR_SEQUENCE;
  }
  if ((cur->request.flags & REQF_MARKERS) != 0 && cur->params == nullptr) {
    INF_LOG(LOG_WARNING, kSrc, "INF_Execute: execute without prior parameters set");
    return ERR_PARAM_COUNT;
  }
  if (int32_t rc = CloseCursorCore(cur); rc != 0) return rc;
  cur->paramSetIndex = 0;
  cur->daeState = 0;
  // Values supplied at execution come first; ParamData runs the rest.
  if (int32_t rc = DAEStartExecute(cur); rc != 0) return rc;
  return ExecuteCore(cur);
}

int32_t INF_Reserved14(DrvHandle hCursor, uint32_t, uint32_t, uint32_t) {
  return InfCursorLookup(hCursor) != nullptr ? ERR_NOT_CAPABLE : ERR_ARGUMENT;
}

int32_t INF_SetParamTypes(DrvHandle hCursor, uint16_t count, const ParamShadow* types) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  // The return-value marker of "{? = call}" is never sent (ExecuteCore).
  if ((cur->request.flags & REQF_RETURN) != 0 && count == cur->request.markers && count > 0 &&
      types != nullptr) {
    ++types;
    --count;
  }
  std::free(cur->paramTypes);
  std::free(cur->savedParamTypes);
  cur->paramTypes = nullptr;
  cur->savedParamTypes = nullptr;
  cur->paramTypeCount = 0;
  cur->savedParamTypeCount = 0;
  cur->flags &= static_cast<uint16_t>(~(CF_LONG_PARAM | CF_DECIMAL_DOUBLE));
  if (count == 0 || types == nullptr) return 0;
  if ((cur->flags & CF_BLOB_REWRITE) != 0) cur->flags |= CF_MERGE_TYPES;
  cur->paramTypes = static_cast<ParamShadow*>(s_alloc(count, sizeof(ParamShadow)));
  std::memcpy(cur->paramTypes, types, count * sizeof(ParamShadow));
  cur->paramTypeCount = count;
  bool anyLong = false;
  bool decimalDouble = false;
  for (uint16_t k = 0; k < count; ++k) {
    int32_t t = types[k].sqlType;
    // A long type bound to an INSERT column that is not long is sent as plain text.
    if (cur->statementType == STMT_INSERT && k < cur->paramCount) {
      const int32_t target = cur->paramInfo[k].sqlType;
      const bool longText = target == SQL_LONGVARCHAR || target == SQL_WLONGVARCHAR;
      if (t == SQL_LONGVARCHAR && !longText)
        t = SQL_VARCHAR;
      else if (InfWideBuild() && t == SQL_WLONGVARCHAR && !longText)
        t = SQL_WVARCHAR;
      else if (t == SQL_LONGVARBINARY && target != SQL_LONGVARBINARY)
        t = SQL_VARBINARY;
    }
    if (isLongSqlType(t)) anyLong = true;
    if (types[k].sqlType == SQL_DECIMAL && types[k].cType == SQL_C_DOUBLE) decimalDouble = true;
  }
  if (anyLong) cur->flags |= CF_LONG_PARAM;
  if (decimalDouble) cur->flags |= CF_DECIMAL_DOUBLE;
  return 0;
}

int32_t INF_MoreResults(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  if (cur->kind != 0 || (cur->flags & CF_EXECUTED) == 0) return ERR_NO_MORE_RESULTS;
  uint32_t rows = 1;
  if (cur->paramCount != 0 && cur->params != nullptr && cur->params->rowCount > 0)
    rows = static_cast<uint32_t>(cur->params->rowCount);
  if (cur->request.kind != REQ_SELECT || cur->statementType != STMT_SELECT ||
      cur->paramSetIndex < 1 || cur->paramSetIndex >= rows)
    return ERR_NO_MORE_RESULTS;
  if (int32_t rc = CloseCursorCore(cur); rc != 0) return rc;
  return OpenSelect(cur, cur->paramSetIndex);
}

int32_t INF_GetLongData(DrvHandle, uint32_t, uint32_t, uint32_t, void**, uint32_t*, uint32_t*,
                        int32_t*) {
  return ERR_NOT_CAPABLE;
}

int32_t INF_PrepareExecute(DrvHandle hCursor, const char* sql, Dataset* params, uint16_t typeCount,
                           const ParamShadow* types) {
  if (InfCursorLookup(hCursor) == nullptr) return ERR_ARGUMENT;
  if (sql != nullptr) {
    if (int32_t rc = INF_Prepare(hCursor, sql); rc != 0) return rc;
  }
  if (params != nullptr) {
    if (int32_t rc = INF_SetParams(hCursor, params); rc != 0) return rc;
  }
  if (typeCount != 0) {
    if (int32_t rc = INF_SetParamTypes(hCursor, typeCount, types); rc != 0) return rc;
  }
  return INF_Execute(hCursor);
}

