// inf_cursor.cpp -- agent cursors: allocation and end, names, prepare with its
// two retries, the result and default parameter descriptions, declare and close.
// Owns InfCursor records and everything hung on them.
// Threading: one call at a time per cursor (the core serialises a connection).
// Not here: execute and parameters (inf_exec.cpp), fetch (inf_fetch.cpp).

#include "drv_inf/inf_cursor.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_dae.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_esql.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "util/utalloc.h"

#include "drv_inf/inf_text.h"

namespace {

using namespace inf_text;

constexpr const char* kSrc = "drv_inf/inf_cursor";

// Negotiation of cursor options asks the agent itself when no cursor layer
// has set the context up.
DriverRecord g_agentRecord{DRV_CAP_THREADSAFE, &INF_Ops};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A keyword surrounded by white space; answers the position of its first letter.
size_t findWord(std::string_view s, std::string_view w) {
  for (size_t i = 0; (i = findCi(s, w, i)) != std::string_view::npos; ++i) {
    bool before = i > 0 && isBlank(s[i - 1]);
    bool after = i + w.size() < s.size() && isBlank(s[i + w.size()]);
    if (before && after) return i;
  }
  return std::string_view::npos;
}

ColumnInfo describeVar(const IxrSqlVar& v, unsigned pos, const InfCursor* cur, bool* nameFailed) {
  ColumnInfo ci{};
  const int16_t native = static_cast<int16_t>(v.sqltype & 0xFF);
  const bool wide = cur->conn->wide != 0;
  const uint32_t m = wide ? 4 : 1;
  const int32_t w = ixr_display_width(native, v.sqllen);
  const uint32_t uw = w > 0 ? static_cast<uint32_t>(w) : 0;
  const int32_t L = cur->maxLength != 0 ? cur->maxLength : 65530;
  const ConnectOptionsBlock& o = cur->conn->options;
  ci.nativeType = native;
  ci.flags = 0x2 | (native == IXR_TYPE_SERIAL ? 0x10 : 0x30);
  switch (native) {
    case IXR_TYPE_CHAR:
    case IXR_TYPE_NCHAR:
      ci.sqlType = wide ? SQL_WCHAR : SQL_CHAR;
      ci.precision = w;
      ci.displaySize = w;
      if (o.spacePadChar != 0) {
        ci.bindType = wide ? DS_WSTRING : DS_CHAR;
        ci.octetLength = wide ? 4 * uw + 1 : uw;
      } else {
        ci.bindType = wide ? DS_WSTRING : DS_STRING;
        ci.octetLength = m * uw + 1;
      }
      break;
    case IXR_TYPE_SMALLINT:
      ci.sqlType = SQL_SMALLINT;
      ci.precision = 5;
      ci.displaySize = 6;
      ci.bindType = DS_SMALLINT;
      ci.octetLength = 2;
      break;
    case IXR_TYPE_INTEGER:
    case IXR_TYPE_SERIAL:
      ci.sqlType = SQL_INTEGER;
      ci.precision = 10;
      ci.displaySize = 11;
      ci.bindType = DS_INTEGER;
      ci.octetLength = 4;
      break;
    // The display sizes hold the longest text a value of the type is given
    // (shortest round-trip digits with sign, point and exponent).
    case IXR_TYPE_FLOAT:
      ci.sqlType = SQL_DOUBLE;
      ci.precision = 15;
      ci.displaySize = 24;
      ci.bindType = DS_DOUBLE;
      ci.octetLength = 8;
      break;
    case IXR_TYPE_SMALLFLOAT:
      ci.sqlType = SQL_REAL;
      ci.precision = 7;
      ci.displaySize = 15;
      ci.bindType = DS_REAL;
      ci.octetLength = 4;
      break;
    case IXR_TYPE_DECIMAL:
    case IXR_TYPE_MONEY:
      if (o.jet != 0) {
        ci.sqlType = SQL_DOUBLE;
        ci.precision = 15;
        ci.displaySize = 24;
        ci.bindType = DS_DOUBLE;
        ci.octetLength = 8;
      } else {
        const int32_t p = (v.sqllen >> 8) & 0xFF;
        const int32_t s = v.sqllen & 0xFF;
        ci.precision = p;
        ci.displaySize = p + 2;
        ci.bindType = DS_STRING;
        ci.octetLength = uw;
        if (s == 255) {
          ci.sqlType = SQL_FLOAT;
          ci.scale = 0;
        } else {
          ci.sqlType = SQL_DECIMAL;
          ci.scale = static_cast<int16_t>(s);
        }
      }
      if (v.sqlname != nullptr && std::strncmp(v.sqlname, "(count(", 7) == 0) {
        ci.sqlType = SQL_INTEGER;
        ci.bindType = DS_INTEGER;
        ci.octetLength = 4;
        ci.precision = 10;
      }
      break;
    case IXR_TYPE_DATE:
      ci.sqlType = SQL_DATE;
      ci.precision = 10;
      ci.displaySize = 10;
      ci.bindType = DS_DATE;
      ci.octetLength = 6;
      break;
    case IXR_TYPE_DATETIME:
      ci.sqlType = SQL_TIMESTAMP;
      ci.precision = 25;
      ci.scale = 5;
      ci.displaySize = 25;
      ci.bindType = DS_TIMESTAMP;
      ci.octetLength = 16;
      break;
    case IXR_TYPE_BYTE:
      ci.sqlType = SQL_LONGVARBINARY;
      ci.precision = 2147483640;
      ci.displaySize = 2 * L;
      ci.bindType = DS_LONGBINARY;
      ci.octetLength = static_cast<uint32_t>(L) + 4;
      break;
    case IXR_TYPE_TEXT:
      ci.sqlType = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
      ci.precision = 2147483640;
      ci.displaySize = L;
      ci.bindType = wide ? DS_LONGWCHAR : DS_LONGCHAR;
      ci.octetLength = static_cast<uint32_t>(L) + 4;
      break;
    case IXR_TYPE_VARCHAR:
    case IXR_TYPE_NVARCHAR:
      ci.sqlType = wide ? SQL_WVARCHAR : SQL_VARCHAR;
      ci.precision = w;
      ci.displaySize = w;
      ci.bindType = wide ? DS_WSTRING : DS_STRING;
      ci.octetLength = m * uw + 1;
      break;
    case IXR_TYPE_INTERVAL:
      ci.sqlType = SQL_CHAR;
      ci.precision = w;
      ci.displaySize = w;
      ci.bindType = DS_STRING;
      ci.octetLength = uw + 1;
      break;
    case IXR_TYPE_LVARCHAR:
      ci.sqlType = wide ? SQL_WVARCHAR : SQL_VARCHAR;
      ci.precision = 32768;
      ci.displaySize = 32768;
      ci.bindType = wide ? DS_WSTRING : DS_STRING;
      ci.octetLength = 32768;
      break;
    default:
      ci.sqlType = SQL_UNKNOWN_TYPE;
      ci.bindType = DS_NONE;
      break;
  }
  const char* name = v.sqlname != nullptr ? v.sqlname : "";
  if (std::strncmp(name, "(expression)", 12) == 0) {
    std::snprintf(ci.name, sizeof ci.name, "Expr:%u", pos);
  } else {
    std::snprintf(ci.name, sizeof ci.name, "%.40s", name);
    ci.fullName = dupView(name);
    if (ci.fullName == nullptr) *nameFailed = true;
  }
  return ci;
}

void freeParamBuffers(InfCursor* cur) {
  for (uint32_t i = 0; i < cur->paramBufferCount; ++i) std::free(cur->paramBuffers[i]);
  std::free(cur->paramBuffers);
  cur->paramBuffers = nullptr;
  cur->paramBufferCount = 0;
  cur->paramBuffersHeld = false;
}

void freeDataset(Dataset*& ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
  ds = nullptr;
}

}  // namespace

void HiddenParamsFree(InfHiddenParam* list, int32_t count) noexcept {
  if (list == nullptr) return;
  for (int32_t i = 0; i < count; ++i) std::free(list[i].text);
  std::free(list);
}

int32_t CloseCursorCore(InfCursor* cur) noexcept {
  // A close in the middle of data at execution abandons it.
  DaeReset(cur);
  cur->flags &= static_cast<uint16_t>(~(CF_EXECUTED | CF_EOD));
  cur->rowCount = 0;
  cur->fetchedTotal = 0;
  cur->openMaxRows = 0;
  if (cur->kind != 0) InfDescriptionChanged(cur);
  cur->kind = 0;
  if ((cur->flags & CF_OPEN) != 0) {
    int code = _close_cursor(cur->conn->session, cur->declaredName, &cur->errors);
    if (code != 0) return InfCodeToDrvCode(code, ERR_GENERAL);
    cur->flags &= static_cast<uint16_t>(~CF_OPEN);
  }
  freeDataset(cur->memResult);
  return 0;
}

void InfDescriptionChanged(InfCursor* cur) noexcept {
  static std::atomic<uint32_t> last{0};
  cur->description = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t UnPrepareCursor(InfCursor* cur) noexcept {
  if (int32_t rc = CloseCursorCore(cur); rc != 0) return rc;
  InfDescriptionChanged(cur);
  cur->flags &= static_cast<uint16_t>(
      ~(CF_PREPARED | CF_LONG_PARAM | CF_BLOB_REWRITE | CF_MERGE_TYPES | CF_MERGE_INFO));
  cur->daeState = 0;
  cur->hiddenColumns = 0;
  cur->paramSetIndex = 0;
  ColumnInfoFree(cur->results, cur->resultCount);
  cur->results = nullptr;
  cur->resultCount = 0;
  freeParamBuffers(cur);
  freeDataset(cur->params);
  cur->hiddenMergedInto = nullptr;
  ColumnInfoFree(cur->paramInfo, cur->paramCount);
  cur->paramInfo = nullptr;
  cur->paramCount = 0;
  _free_sqlda(cur->inputArea);
  cur->inputArea = nullptr;
  _free_sqlda(cur->outputArea);
  cur->outputArea = nullptr;
  cur->paramsDescribed = 0;
  HiddenParamsFree(cur->hiddenParams, cur->hiddenCount);
  cur->hiddenParams = nullptr;
  cur->hiddenCount = 0;
  if (cur->savedParamTypes != nullptr) {
    // The application's own types come back into force.
    std::free(cur->paramTypes);
    const size_t n = static_cast<size_t>(cur->savedParamTypeCount);
    cur->paramTypes = static_cast<ParamShadow*>(s_alloc(n, sizeof(ParamShadow)));
    std::memcpy(cur->paramTypes, cur->savedParamTypes, n * sizeof(ParamShadow));
    cur->paramTypeCount = static_cast<uint16_t>(n);
  }
  InfRequestFree(&cur->request);
  InfProcNameFree(&cur->proc);
  cur->statementType = -1;
  return 0;
}

int32_t DescribeOutput(InfCursor* cur) noexcept {
  const IxrSqlda* area = cur->outputArea;
  const int n = area != nullptr && area->sqld > 0 ? area->sqld : 0;
  ColumnInfo* info =
      static_cast<ColumnInfo*>(s_alloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(ColumnInfo)));
  bool failed = false;
  for (int i = 0; i < n; ++i)
    info[i] = describeVar(area->sqlvar[i], static_cast<unsigned>(i), cur, &failed);
  if (failed) {
    ColumnInfoFree(info, static_cast<uint16_t>(n));
    return ERR_MEMORY;
  }
  ColumnInfoFree(cur->results, cur->resultCount);
  cur->results = info;
  cur->resultCount = static_cast<uint16_t>(n);
  InfDescriptionChanged(cur);
  return 0;
}

int32_t RedescribeIfReshaped(InfCursor* cur) noexcept {
  if (ixr_sqlca()->sqlwarn[4] != 'W') return 0;
  _free_sqlda(cur->outputArea);
  cur->outputArea = nullptr;
  const int code = _describe(cur->conn->session, cur->statementName, &cur->outputArea, &cur->errors);
  if (code < 0) return InfCodeToDrvCode(code, ERR_GENERAL);
  return DescribeOutput(cur);
}

int32_t DescribeParamsDefault(InfCursor* cur) noexcept {
  if (cur->statementType == STMT_INSERT) {
    ColumnInfoFree(cur->paramInfo, cur->paramCount);
    cur->paramInfo = cur->results;
    cur->paramCount = cur->resultCount;
    cur->results = nullptr;
    cur->resultCount = 0;
    return 0;
  }
  if ((cur->flags & CF_BLOB_REWRITE) != 0) cur->flags |= CF_MERGE_TYPES | CF_MERGE_INFO;
  const uint16_t n = cur->request.markers;
  ColumnInfo* info = ColumnInfoAlloc(n);
  if (info == nullptr) return ERR_MEMORY;
  for (uint16_t i = 0; i < n; ++i) {
    info[i].nativeType = -9999;
    info[i].sqlType = SQL_VARCHAR;
    info[i].precision = 255;
    info[i].displaySize = 255;
    info[i].bindType = DS_STRING;
    info[i].flags = 2;
  }
  ColumnInfoFree(cur->paramInfo, cur->paramCount);
  cur->paramInfo = info;
  cur->paramCount = n;
  return 0;
}

int32_t InfEnsureDeclared(InfCursor* cur) noexcept {
  if (cur->declaredName != nullptr && std::strcmp(cur->declaredName, cur->cursorName) == 0)
    return 0;
  InfSession* s = cur->conn->session;
  if (cur->declaredName != nullptr) {
    (void)_free_cursor(s, cur->declaredName, nullptr);
    std::free(cur->declaredName);
    cur->declaredName = nullptr;
  }
  int code = _declare_cursor(s, cur->statementName, cur->cursorName, &cur->errors);
  if (code != 0) return InfCodeToDrvCode(code, ERR_SYNTAX);
  cur->declaredName = s_strdup(cur->cursorName);
  return 0;
}

char* RewriteOrderBy(int delimIdent, const char* text, const char* column) noexcept {
  if (text == nullptr || column == nullptr || column[0] == '\0') return nullptr;
  try {
    std::string_view t(text);
    std::string_view col(column);
    const size_t from = findWord(t, "from");
    size_t order = findCi(t, "order");
    while (order != std::string_view::npos) {
      size_t k = order + 5;
      size_t sp = k;
      while (k < t.size() && isBlank(t[k])) ++k;
      if (k > sp && findCi(t.substr(k, 2), "by") == 0) break;
      order = findCi(t, "order", order + 1);
    }
    if (from == std::string_view::npos || order == std::string_view::npos) return nullptr;
    size_t by = findCi(t, "by", order + 5) + 2;

    // Qualifiers of the ORDER BY items that name the column.
    std::vector<std::string_view> quals;
    size_t i = by;
    while (i < t.size() && quals.size() < 20) {
      while (i < t.size() && (isBlank(t[i]) || t[i] == ',')) ++i;
      size_t b = i;
      while (i < t.size() && !isBlank(t[i]) && t[i] != ',') ++i;
      std::string_view tok = t.substr(b, i - b);
      if (tok.empty()) break;
      size_t dot = tok.rfind('.');
      if (dot != std::string_view::npos && findCi(tok, col) != std::string_view::npos)
        quals.push_back(tok.substr(0, dot));
    }
    std::string_view qual;
    if (quals.size() > 1) return nullptr;
    if (quals.size() == 1 && !quals[0].empty()) {
      qual = quals[0];
    } else {
      // The qualifier comes from the FROM clause: the table, or its alias.
      size_t k = from + 4;
      while (k < t.size() && isBlank(t[k])) ++k;
      size_t b = k;
      while (k < t.size() && !isBlank(t[k]) && t[k] != ',') ++k;
      qual = t.substr(b, k - b);
      size_t j = k;
      while (j < t.size() && isBlank(t[j])) ++j;
      if (j > k) {
        if (findCi(t.substr(j, 3), "as ") == 0) {
          size_t a = j + 3;
          while (a < t.size() && isBlank(t[a])) ++a;
          size_t e = a;
          while (e < t.size() && !isBlank(t[e]) && t[e] != ',') ++e;
          if (e > a) qual = t.substr(a, e - a);
        } else {
          size_t e = j;
          while (e < t.size() && !isBlank(t[e]) && t[e] != ',') ++e;
          size_t c = e;
          while (c < t.size() && isBlank(t[c])) ++c;
          if (e > j && c < t.size() && t[c] == ',') qual = t.substr(j, e - j);
        }
      }
      if (qual.empty()) return nullptr;
    }
    // The column goes right before the blank that precedes FROM.
    const size_t insertAt = from - 1;
    std::string out(t.substr(0, insertAt));
    out += ", ";
    out.append(qual);
    out += '.';
    if (delimIdent != 0) out += '"';
    out.append(col);
    if (delimIdent != 0) out += '"';
    out.append(t.substr(insertAt));
    return dupView(out);
  } catch (...) {
    return nullptr;
  }
}

int32_t INF_AllocCursor(DrvHandle hConn, DrvHandle* hCursor) {
  if (hCursor != nullptr) *hCursor = 0;
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return ERR_ARGUMENT;
  InfCursor* cur = new (std::nothrow) InfCursor;
  if (cur == nullptr) return ERR_MEMORY;
  DrvHandle h = 0;
  if (int rc = HandleAlloc(&INF_CursorHandles, &h, cur); rc != 0) {
    delete cur;
    return rc;
  }
  // Names come from the handle: no two live cursors share one.
  char name[24];
  std::snprintf(name, sizeof name, "CN%X", static_cast<unsigned>(h));
  cur->cursorName = s_strdup(name);
  std::snprintf(name, sizeof name, "ST%X", static_cast<unsigned>(h));
  cur->statementName = s_strdup(name);
  cur->handle = h;
  cur->conn = conn;
  InfDescriptionChanged(cur);
  ++conn->cursorCount;
  SCS_Init(&cur->scs, h, conn->handle, &g_agentRecord, cur);
  cur->scs.sc_deferLong = static_cast<uint32_t>(conn->deferLong);
  cur->maxRows = static_cast<uint32_t>(conn->options.maxRows > 0 ? conn->options.maxRows : 0);
  if (hCursor != nullptr) *hCursor = h;
  return 0;
}

int32_t INF_EndCursor(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  InfConn* conn = cur->conn;
  InfSession* s = conn->session;
  if (int32_t rc = UnPrepareCursor(cur); rc != 0)
    INF_LOG(LOG_DEBUG, kSrc, "INF_EndCursor: UnPrepareCursor failed (%ld)", static_cast<long>(rc));
  if (cur->declaredName != nullptr) {
    if (int code = _free_cursor(s, cur->declaredName, nullptr); code != 0)
      INF_LOG(LOG_DEBUG, kSrc, "INF_EndCursor: _free_cursor failed (%ld)", static_cast<long>(code));
  }
  if ((cur->flags & CF_PREPARED) != 0 || cur->statementType != -1 || cur->declaredName != nullptr) {
    if (int code = _free_statement(s, cur->statementName, nullptr); code != 0)
      INF_LOG(LOG_DEBUG, kSrc, "INF_EndCursor: _free_statement failed (%ld)",
              static_cast<long>(code));
  }
  std::free(cur->cursorName);
  std::free(cur->statementName);
  std::free(cur->declaredName);
  std::free(cur->paramTypes);
  std::free(cur->savedParamTypes);
  ErrListClear(&cur->errors);
  if (--conn->cursorCount == 0 && XAP_IsXaActive(conn->xa) == 0 && s->dormant == 0)
    (void)_set_dormant(s);
  HandleFree(&INF_CursorHandles, hCursor);
  delete cur;
  return 0;
}

bool INF_CursorView(DrvHandle hCursor, InfCursorView* out) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return false;
  out->record = cur;
  out->scs = &cur->scs;
  out->prepared = (cur->flags & CF_PREPARED) != 0;
  out->maxLength = cur->maxLength;
  return true;
}

bool INF_ConnExists(DrvHandle hConn) { return InfConnLookup(hConn) != nullptr; }

void INF_CursorMoveErrors(DrvHandle from, DrvHandle to, int32_t replace) {
  InfCursor* src = InfCursorLookup(from);
  InfCursor* dst = InfCursorLookup(to);
  if (src == nullptr || dst == nullptr || src == dst) return;
  if (replace != 0) ErrListClear(&dst->errors);
  ErrListMove(&src->errors, &dst->errors);
}

void INF_CursorErrorsToConn(DrvHandle from, DrvHandle hConn) {
  InfCursor* src = InfCursorLookup(from);
  InfConn* dst = InfConnLookup(hConn);
  if (src == nullptr || dst == nullptr) return;
  ErrListClear(&dst->errors);
  ErrListMove(&src->errors, &dst->errors);
}

void INF_CursorSetError(DrvHandle hCursor, int32_t drvCode) {
  if (InfCursor* cur = InfCursorLookup(hCursor); cur != nullptr)
    ErrListSetCode(&cur->errors, drvCode);
}

void INF_CursorSetErrorText(DrvHandle hCursor, const char* text) {
  if (InfCursor* cur = InfCursorLookup(hCursor); cur != nullptr) ErrListSetText(&cur->errors, text);
}

void INF_CursorKeepErrors(DrvHandle hCursor, uint32_t keep) {
  if (InfCursor* cur = InfCursorLookup(hCursor); cur != nullptr) cur->errors.keep = keep;
}

int32_t INF_GetCursorName(DrvHandle hCursor, char* buf, uint16_t bufSize, int16_t* outLen) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  const size_t len = std::strlen(cur->cursorName);
  if (outLen != nullptr) *outLen = static_cast<int16_t>(len & 0xFFFF);
  if (buf == nullptr) return 0;
  if (len < bufSize) {
    std::memcpy(buf, cur->cursorName, len + 1);
    return 0;
  }
  if (bufSize > 0) {
    std::memcpy(buf, cur->cursorName, bufSize - 1u);
    buf[bufSize - 1] = '\0';
  }
  return ERR_TRUNCATED;
}

int32_t INF_SetCursorName(DrvHandle hCursor, const char* name) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr || name == nullptr) return ERR_ARGUMENT;
  char* copy = dupView(name);
  if (copy == nullptr) return ERR_MEMORY;
  std::free(cur->cursorName);
  cur->cursorName = copy;
  cur->flags |= CF_NAMED;
  // A declared cursor that is not open is declared again at once, so that the
  // runtime knows it by the new name from now on.
  if (cur->declaredName != nullptr && (cur->flags & CF_OPEN) == 0) return InfEnsureDeclared(cur);
  return 0;
}

int32_t INF_Prepare(DrvHandle hCursor, const char* sql) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr || sql == nullptr) return ERR_ARGUMENT;
  if (int32_t rc = UnPrepareCursor(cur); rc != 0) return rc;
  cur->rowCallback = nullptr;
  if (int rc = AnalyseRequest(&cur->request, sql); rc != 0) {
    INF_LOG(LOG_DEBUG, kSrc, "INF_Prepare: Request prepare failed: %s", sql);
    if (rc == ERR_SYNTAX) ErrListAddRequestSyntax(&cur->errors, sql);
    return rc;
  }
  InfSession* s = cur->conn->session;

  // A SELECT ordered by a column outside its select list gets that column added
  // (a hidden column) and is prepared again, as long as each retry names a new column.
  std::string q = cur->request.translated;
  std::vector<std::string> added;
  int code = 0;
  for (;;) {
    code = _prepare(s, cur->statementName, q.c_str(), nullptr);
    if (code != IXR_E_ORDER_NOT_SELECTED) break;
    std::string column = ixr_sqlca()->sqlerrm;
    bool seen = false;
    for (const std::string& a : added) seen = seen || a == column;
    if (seen || added.size() >= static_cast<size_t>(kMaxOrderByRetries)) break;
    char* r = RewriteOrderBy(s->delimIdent, q.c_str(), column.c_str());
    if (r == nullptr) break;
    q = r;
    std::free(r);
    added.push_back(column);
  }
  cur->hiddenColumns = static_cast<int32_t>(added.size());

  if (code == IXR_E_BLOB_LITERAL) {
    cur->flags |= CF_BLOB_REWRITE;
    if (RewriteBlobLiterals(cur) == 0)
      code = _prepare(s, cur->statementName, cur->request.translated, nullptr);
  }
  if (code != 0) {
    ErrListAddInformix(&cur->errors, code);
    cur->hiddenColumns = 0;
    return InfCodeToDrvCode(code, ERR_SYNTAX);
  }
  code = _describe(s, cur->statementName, &cur->outputArea, &cur->errors);
  if (code < 0) return InfCodeToDrvCode(code, ERR_SYNTAX);
  cur->statementType = code;
  if (cur->statementType != STMT_SELECT && cur->conn->readOnlyAtConnect != 0) {
    INF_LOG(LOG_DEBUG, kSrc, "INF_Prepare: Non SELECT in r/o connection");
    ErrListSetCode(&cur->errors, ERR_READONLY_CONN);
    return ERR_ACCESS;
  }
  if (cur->statementType == STMT_EXECUTE_PROCEDURE)
    (void)ReadProcedureName(cur->request.text, &cur->proc);
  if (int32_t rc = DescribeOutput(cur); rc != 0) return rc;
  if (cur->statementType == STMT_SELECT ||
      (cur->statementType == STMT_EXECUTE_PROCEDURE && cur->resultCount > 0)) {
    // A new PREPARE under the same statement name drops the old declaration.
    std::free(cur->declaredName);
    cur->declaredName = nullptr;
    if (int32_t rc = InfEnsureDeclared(cur); rc != 0) return rc;
  }
  if (int32_t rc = DescribeParamsDefault(cur); rc != 0) return rc;
  cur->flags |= CF_PREPARED;
  return 0;
}

int32_t INF_CloseCursor(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  return CloseCursorCore(cur);
}

int32_t SMDColumns(InfCursor* cur, const char* table, uint16_t* count, ColumnInfo** info) noexcept {
  *count = 0;
  *info = nullptr;
  DrvHandle h = 0;
  if (int32_t rc = INF_AllocCursor(cur->conn->handle, &h); rc != 0) return rc;
  InfCursor* scratch = InfCursorLookup(h);
  int32_t rc = 0;
  try {
    std::string text = std::string("select * from ") + table;
    InfSession* s = cur->conn->session;
    if (_prepare(s, scratch->statementName, text.c_str(), nullptr) != 0) {
      rc = ERR_GENERAL;
    } else {
      scratch->statementType = STMT_SELECT;
      int code = _describe(s, scratch->statementName, &scratch->outputArea, nullptr);
      if (code < 0) {
        rc = InfCodeToDrvCode(code, ERR_GENERAL);
      } else if ((rc = DescribeOutput(scratch)) == 0) {
        *count = scratch->resultCount;
        *info = scratch->results;
        scratch->results = nullptr;
        scratch->resultCount = 0;
      }
    }
  } catch (...) {
    rc = ERR_MEMORY;
  }
  if (rc != 0) INF_LOG(LOG_DEBUG, kSrc, "SMDColumns failed: tablename=%s", table);
  (void)INF_EndCursor(h);
  return rc;
}

void INF_ConnMoveErrors(DrvHandle hConn, DrvHandle toCursor) {
  InfConn* src = InfConnLookup(hConn);
  InfCursor* dst = InfCursorLookup(toCursor);
  if (src == nullptr || dst == nullptr) return;
  ErrListMove(&src->errors, &dst->errors);
}
