// inf_describe.cpp -- hands out copies of a cursor's result and parameter
// descriptions, hiding what the prepare retries added, the per-column
// attribute overrides of a result, and the description of parameters by
// probe queries before execute.
// Owns nothing: every array it answers becomes the caller's; a probe's
// scratch cursor lives only inside the call.
// Threading: one call at a time per cursor.

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "drv/colattr.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv_inf/inf_escape.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_proccols.h"
#include "drv_inf/inf_types.h"

namespace {

constexpr const char* kSrc = "drv_inf/inf_describe";

char* dupCStr(const char* s) {
  const size_t n = std::strlen(s) + 1;
  char* p = static_cast<char*>(std::malloc(n));
  if (p != nullptr) std::memcpy(p, s, n);
  return p;
}

// The attribute rows of every column, column 0 holding the defaults.
constexpr ColAttr INF_ColAttrTemplate[] = {
    {0, SQL_COLUMN_AUTO_INCREMENT, COLATTR_INT, {0}},
    {0, SQL_COLUMN_CASE_SENSITIVE, COLATTR_INT, {0}},
    {0, -SQL_COLUMN_SEARCHABLE, COLATTR_INT, {0}},  // not reported
    {0, SQL_COLUMN_UPDATABLE, COLATTR_INT, {SQL_ATTR_READWRITE_UNKNOWN}},
    {0, SQL_COLUMN_TYPE_NAME, COLATTR_STRING, {0}},
    {0, SQL_DESC_LITERAL_PREFIX, COLATTR_STRING, {0}},
    {0, SQL_DESC_LITERAL_SUFFIX, COLATTR_STRING, {0}},
    {0, -COLATTR_KEY_COLUMN, COLATTR_INT, {0}},  // the cursor layer's to tell
    {0, SQL_DESC_ROWVER, COLATTR_INT, {0}},
    {0, -COLATTR_EXPRESSION, COLATTR_INT, {0}},  // the cursor layer's to tell
};
constexpr size_t kAttrRows = std::size(INF_ColAttrTemplate);
static_assert(kAttrRows == 10);

const char* InfTypeName(int16_t type) {
  switch (type) {
    case IXR_TYPE_CHAR: return "CHAR";
    case IXR_TYPE_SMALLINT: return "SMALLINT";
    case IXR_TYPE_INTEGER: return "INTEGER";
    case IXR_TYPE_FLOAT: return "FLOAT";
    case IXR_TYPE_SMALLFLOAT: return "SMALLFLOAT";
    case IXR_TYPE_DECIMAL: return "DECIMAL";
    case IXR_TYPE_SERIAL: return "SERIAL";
    case IXR_TYPE_DATE: return "DATE";
    case IXR_TYPE_MONEY: return "MONEY";
    case IXR_TYPE_DATETIME: return "DATETIME YEAR TO FRACTION(5)";
    case IXR_TYPE_BYTE: return "BYTE";
    case IXR_TYPE_TEXT: return "TEXT";
    case IXR_TYPE_VARCHAR: return "VCHAR";
    case IXR_TYPE_INTERVAL: return "INTERVAL";
    case IXR_TYPE_NCHAR: return "NCHAR";
    case IXR_TYPE_NVARCHAR: return "NVARCHAR";
    case IXR_TYPE_LVARCHAR: return "LVARCHAR";
    default: return "";
  }
}

const char* InfLiteralQuote(int16_t type) {
  switch (type) {
    case IXR_TYPE_CHAR:
    case IXR_TYPE_DATE:
    case IXR_TYPE_DATETIME:
    case IXR_TYPE_TEXT:
    case IXR_TYPE_VARCHAR:
    case IXR_TYPE_NCHAR:
    case IXR_TYPE_NVARCHAR:
    case IXR_TYPE_LVARCHAR: return "'";
    default: return "";
  }
}

// REQUIRES: the row is a copy of a template row; strings become its own copies.
bool FillColAttr(ColAttr& a, int16_t type) {
  switch (a.attrId) {
    case SQL_COLUMN_UPDATABLE:
      a.value.intVal = type == IXR_TYPE_SERIAL ? SQL_ATTR_READONLY : SQL_ATTR_READWRITE_UNKNOWN;
      break;
    case SQL_COLUMN_AUTO_INCREMENT: a.value.intVal = type == IXR_TYPE_SERIAL ? 1 : 0; break;
    case SQL_COLUMN_CASE_SENSITIVE:
      a.value.intVal =
          (type == IXR_TYPE_CHAR || type == IXR_TYPE_TEXT || type == IXR_TYPE_VARCHAR ||
           type == IXR_TYPE_NCHAR || type == IXR_TYPE_NVARCHAR);
      break;
    case SQL_COLUMN_TYPE_NAME:
      a.value.strVal = dupCStr(InfTypeName(type));
      return a.value.strVal != nullptr;
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
      a.value.strVal = dupCStr(InfLiteralQuote(type));
      return a.value.strVal != nullptr;
    default: break;
  }
  return true;
}

void freeStrings(ColAttr* rows, size_t n, const ColAttr* kept, uint16_t keptCount) {
  for (size_t i = 0; i < n; ++i) {
    if (rows[i].valueKind != COLATTR_STRING || rows[i].value.strVal == nullptr) continue;
    bool inUse = false;
    for (uint16_t k = 0; k < keptCount && !inUse; ++k)
      inUse = kept[k].valueKind == COLATTR_STRING && kept[k].value.strVal == rows[i].value.strVal;
    if (!inUse) std::free(rows[i].value.strVal);
  }
}

int32_t BuildColAttrs(InfCursor* cur, uint16_t n, int16_t* count, ColAttr** out) {
  const size_t stride = static_cast<size_t>(n) + 1;
  auto* rows = static_cast<ColAttr*>(std::calloc(kAttrRows * stride, sizeof(ColAttr)));
  if (rows == nullptr) return ERR_MEMORY;
  bool ok = true;
  for (size_t t = 0; t < kAttrRows; ++t) {
    for (size_t j = 0; j < stride; ++j) {
      ColAttr& a = rows[t * stride + j];
      a = INF_ColAttrTemplate[t];
      if (j == 0) continue;
      a.column = static_cast<uint16_t>(j);
      ok = ok && FillColAttr(a, cur->results[j - 1].nativeType);
    }
  }
  if (ok && (cur->scs.sc_flags & SCS_F_SELECT_REWRITTEN) != 0) {
    for (uint16_t j = 1; j <= n; ++j)
      (void)SCS_GetBaseColAttrs(&cur->scs, j, nullptr, 0, static_cast<uint16_t>(stride),
                                static_cast<uint16_t>(kAttrRows), rows);
  }
  uint16_t kept = 0;
  ColAttr* compact = nullptr;
  int32_t rc =
      ok ? ColAttrCompact(static_cast<uint16_t>(kAttrRows * stride), rows, &kept, &compact, 1)
         : ERR_MEMORY;
  freeStrings(rows, kAttrRows * stride, compact, rc == 0 ? kept : 0);
  std::free(rows);
  if (rc != 0) return rc;
  *count = static_cast<int16_t>(kept);
  *out = compact;
  return 0;
}

}  // namespace

int32_t INF_ColAttributes(DrvHandle hCursor, uint16_t* colCount, int16_t* attrCount,
                          ColumnInfo** cols, ColAttr** attrs) {
  if (colCount == nullptr || attrCount == nullptr || cols == nullptr || attrs == nullptr)
    return ERR_ARGUMENT;
  *colCount = 0;
  *attrCount = 0;
  *cols = nullptr;
  *attrs = nullptr;
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  uint16_t n = 0;
  ColumnInfo* info = nullptr;
  if (int32_t rc = INF_DescribeColumns(hCursor, &n, &info); rc != 0) return rc;
  if (int32_t rc = BuildColAttrs(cur, n, attrCount, attrs); rc != 0) {
    ColumnInfoFree(info, n);
    return rc;
  }
  *colCount = n;
  *cols = info;
  return 0;
}

int32_t INF_DescribeColumns(DrvHandle hCursor, uint16_t* count, ColumnInfo** cols) {
  if (count != nullptr) *count = 0;
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  // Only a SELECT, a procedure with results or a result the agent builds itself
  // has columns to report; the caller frees the array with the count it was given.
  const bool hasResult = cur->statementType == STMT_SELECT ||
                         cur->statementType == STMT_EXECUTE_PROCEDURE || cur->kind != 0;
  const int n = hasResult ? cur->resultCount - cur->hiddenColumns : 0;
  const uint16_t un = static_cast<uint16_t>(n > 0 ? n : 0);
  if (cols != nullptr) {
    ColumnInfo* out = ColumnInfoAlloc(un);
    if (out == nullptr) return ERR_MEMORY;
    for (uint16_t i = 0; i < un; ++i) {
      out[i] = cur->results[i];
      out[i].catalog = cur->results[i].catalog ? dupCStr(cur->results[i].catalog) : nullptr;
      out[i].schema = cur->results[i].schema ? dupCStr(cur->results[i].schema) : nullptr;
      out[i].table = cur->results[i].table ? dupCStr(cur->results[i].table) : nullptr;
      out[i].fullName = cur->results[i].fullName ? dupCStr(cur->results[i].fullName) : nullptr;
      if ((cur->results[i].catalog && !out[i].catalog) ||
          (cur->results[i].schema && !out[i].schema) || (cur->results[i].table && !out[i].table) ||
          (cur->results[i].fullName && !out[i].fullName)) {
        ColumnInfoFree(out, static_cast<uint16_t>(i + 1));
        return ERR_MEMORY;
      }
    }
    // The base names of a SELECT the cursor layer rewrote are the layer's to tell: a
    // description asked without the attribute overrides names the same columns as one
    // asked with them.
    if ((cur->scs.sc_flags & SCS_F_SELECT_REWRITTEN) != 0) {
      for (uint16_t j = 1; j <= un; ++j)
        (void)SCS_GetBaseColAttrs(&cur->scs, j, &out[j - 1], 15, 0, 0, nullptr);
    }
    *cols = out;
  }
  if (count != nullptr) *count = un;
  return 0;
}

namespace {

// Whether the parameter descriptions hold a slot for each hidden literal: an INSERT's
// do from the start, any other statement's once they were merged in at execute.
bool ParamInfoHoldsHidden(const InfCursor* cur) {
  return (cur->flags & CF_BLOB_REWRITE) != 0 && cur->hiddenCount > 0 &&
         (cur->statementType == STMT_INSERT || (cur->flags & CF_MERGE_INFO) == 0);
}

}  // namespace

int32_t INF_DescribeParams(DrvHandle hCursor, uint16_t* count, ColumnInfo** params) {
  if (count != nullptr) *count = 0;
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  // The hidden literals stay hidden.
  const bool skipHidden = ParamInfoHoldsHidden(cur);
  int n = cur->paramCount;
  if (skipHidden) n -= cur->hiddenCount;
  if (n < 0) n = 0;
  if (params != nullptr) {
    ColumnInfo* out = ColumnInfoAlloc(static_cast<uint16_t>(n));
    if (out == nullptr) return ERR_MEMORY;
    int k = 0;
    int h = 0;
    for (int i = 0; i < cur->paramCount && k < n; ++i) {
      if (skipHidden && h < cur->hiddenCount && cur->hiddenParams[h].paramIndex == i) {
        ++h;
        continue;
      }
      out[k++] = cur->paramInfo[i];
    }
    *params = out;
  }
  if (count != nullptr) *count = static_cast<uint16_t>(n);
  return 0;
}

int32_t DescribeParamsEarly(InfCursor* cur) noexcept {
  if ((cur->flags & CF_PREPARED) == 0) {
    INF_LOG(LOG_WARNING, kSrc, "execute without prior prepare");
    return ERR_SEQUENCE;
  }
  if ((cur->flags & CF_EXECUTED) != 0) {
    INF_LOG(LOG_WARNING, kSrc, "Describe params work only before Execute");
    return 0;
  }
  if (cur->request.markers == 0) return 0;
  if ((cur->request.flags & REQF_CALL) != 0) return DescribeProcParams(cur);
  ParamDescriber pd;
  ParamDescInit(&pd, "cast (null as varchar)");
  int32_t rc = 0;
  DrvHandle scratch = 0;
  // An analysis that fails or does not fit the markers keeps the default
  // descriptions and still counts as a description.
  if (ParamDescAnalyse(&pd, cur->request.text != nullptr ? cur->request.text : "") == 0 &&
      (pd.pd_markers != nullptr || pd.pd_total == cur->request.markers)) {
    rc = INF_AllocCursor(cur->conn->handle, &scratch);
    int32_t next = 0;  // the next parameter description, hidden literals skipped
    // The probes describe the application's markers only; the descriptions have
    // slots for the literals too only once those were merged in.
    const int32_t hiddenSlots = ParamInfoHoldsHidden(cur) ? cur->hiddenCount : 0;
    int32_t hidden = 0;
    for (int32_t p = 0; rc == 0 && p < pd.pd_count && pd.pd_probes[p] != nullptr; ++p) {
      uint16_t n = 0;
      ColumnInfo* cols = nullptr;
      rc = INF_Prepare(scratch, pd.pd_probes[p]);
      if (rc == 0) rc = INF_DescribeColumns(scratch, &n, &cols);
      if (rc != 0) break;
      const size_t markers = pd.pd_markers != nullptr ? std::strlen(pd.pd_markers) : 0;
      for (uint16_t k = 0; k < n; ++k) {
        if (pd.pd_markers != nullptr && (k >= markers || pd.pd_markers[k] != '?')) continue;
        while (hidden < hiddenSlots && next < cur->paramCount &&
               cur->hiddenParams[hidden].paramIndex == next) {
          ++hidden;
          ++next;
        }
        if (next >= cur->paramCount) break;
        ColumnInfo& pi = cur->paramInfo[next++];
        const ColumnInfo& c = cols[k];
        pi.nativeType = c.nativeType;
        pi.sqlType = c.sqlType;
        pi.displaySize = c.displaySize;
        pi.bindType = c.bindType;
        pi.octetLength = c.octetLength;
        pi.precision = c.precision;
        pi.scale = c.scale;
        pi.flags = c.flags & 0x0Fu;  // nullability only; a parameter is not updatable
      }
      ColumnInfoFree(cols, n);
    }
  }
  if (scratch != 0) (void)INF_EndCursor(scratch);
  ParamDescFree(&pd);
  if (rc == 0) cur->paramsDescribed = 1;
  return rc;
}
