// inf_info.cpp -- the agent's answers to DRV_GetInfo and its DRV_SetOption
// settings: back-end facts, the SQLGetInfo items the Informix back end decides,
// and the connection and cursor options it keeps.
// Owns nothing; reads and writes fields of the agent's records.
// Threading: runs inside the generic layer's call on the connection.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_esql.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_proccols.h"
#include "util/utalloc.h"

namespace {

struct Answer {
  std::string text;
  int32_t value = 0;
};

int32_t capabilityMask(const InfConn* conn) {
  constexpr uint32_t always = DRV_CAPBIT_NEEDBIND | DRV_CAPBIT_MORE_RESULTS | DRV_CAPBIT_PARAM_OP |
                              DRV_CAPBIT_SCROLL_CURSORS | DRV_CAPBIT_DYNMIX_CURSORS |
                              DRV_CAPBIT_V2DAE | DRV_CAPBIT_EXECUTE2 | DRV_CAPBIT_COL_ATTRS |
                              DRV_CAPBIT_MAX_LENGTH | DRV_CAPBIT_DTC;
  static_assert(always == 0x34BF);
  return static_cast<int32_t>(always |
                              (conn->options.noAutoCommit == 0 ? DRV_CAPBIT_AUTOCOMMIT : 0));
}

// The lower-cased user name is a copy: the session's own text is what a later
// reconnect logs in with.
const char* userNameLower(InfConn* conn) {
  std::string u = conn->session->user != nullptr ? conn->session->user : "";
  for (char& c : u)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  std::free(conn->lastUser);
  conn->lastUser = s_strdup(u.c_str());
  return conn->lastUser;
}

bool inList(uint32_t item, std::initializer_list<uint32_t> list) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

bool getInfoItem(InfConn* conn, uint32_t item, Answer* a) {
  const InfSession* s = conn->session;
  switch (item) {
    case 2: a->text = " "; return true;
    case 6: a->text = InfWideBuild() ? "libkesdrvw.so" : "libkesdrva.so"; return true;
    case 7: a->text = "0.9"; return true;
    case 8: a->value = 191; return true;
    case 10: a->text = "03.50.0000"; return true;
    case 13: a->text = s->online ? "Informix 11 Online" : "Informix 11 SE"; return true;
    case 14: a->text = "\\"; return true;
    case 16: a->text = s->database != nullptr ? s->database : ""; return true;
    case 17:
      a->text = conn->options.sqlDbmsName != nullptr ? conn->options.sqlDbmsName : "INFORMIX";
      return true;
    case 18: a->text = "11.00.0101"; return true;
    case 25: a->text = conn->readOnlyAtConnect ? "Y" : "N"; return true;
    case 26: a->value = SessDefaultIsolation(s); return true;
    case 29: a->text = s->delimIdent ? "\"" : " "; return true;
    case 39: a->text = "Owner"; return true;
    case 40: a->text = "Stored Procedure"; return true;
    case 41: a->text = ":"; return true;
    case 42: a->text = "Database"; return true;
    case 43: a->value = 9; return true;
    case 44: a->value = INF_ScrollOptions(conn); return true;
    case 45: a->text = "Table"; return true;
    case 46: a->value = s->logging ? 1 : 0; return true;
    case 47: a->text = userNameLower(conn); return true;
    case 49: a->value = 0xD1EFFF; return true;
    case 50: a->value = 0x701F55; return true;
    case 52: a->value = 0x16032F; return true;
    case 72: a->value = SessIsolationMask(s); return true;
    case 77: a->text = "03.50"; return true;
    case 82: a->value = 74; return true;
    case 85: a->value = 1; return true;  // SQL_NC_LOW: nulls sort first
    case 89: a->text = s->ansi ? "INT,REAL" : ""; return true;
    case 92: a->value = 29; return true;
    case 93: a->value = s->ansi ? 3 : 4; return true;
    case 98: a->value = s->online ? 16 : 8; return true;
    case 102: a->value = s->online ? 255 : 120; return true;
    case 115:
    case 65003: a->value = 107; return true;
    case 132: a->value = 13841; return true;
    case 144: a->value = 7749; return true;
    case 145: a->value = 24827; return true;
    case 146: a->value = 7745; return true;
    case 147: a->value = 20611; return true;
    case 150: a->value = 7759; return true;
    case 151: a->value = 20715; return true;
    case 158: a->value = 8048; return true;
    case 160: a->value = 7687; return true;
    case 162: a->value = 13728; return true;
    case 163: a->value = 11; return true;
    case 164: a->value = 238; return true;
    case 167: a->value = 1615; return true;
    case 168: a->value = 20619; return true;
    case 169: a->value = 64; return true;
    default: break;
  }
  if (inList(item, {19, 20, 21, 36, 38, 87, 90, 111, 113, 10002, 10003})) {
    a->text = "Y";
  } else if (inList(item, {11, 27, 37, 73, 103})) {
    a->text = "N";
  } else if (inList(item, {53, 56, 58, 59, 60, 61, 62, 63, 64, 65, 68, 70})) {
    a->value = 25599;
  } else if (inList(item, {30, 33, 34, 35})) {
    a->value = 128;
  } else if (inList(item, {31, 32})) {
    a->value = 32;
  } else if (inList(item, {79, 91, 95})) {
    a->value = 31;
  } else if (inList(item, {81, 141, 143, 172})) {
    a->value = 7;
  } else if (inList(item, {86, 96, 131, 134, 148, 170})) {
    a->value = 3;
  } else if (inList(item, {15, 23, 24, 28, 74, 88, 153, 10021})) {
    a->value = 2;  // 28: identifiers are stored in lower case
  } else if (inList(item, {9, 12, 48, 51, 75, 78, 114, 116, 118, 152, 154, 156})) {
    a->value = 1;
  } else if (inList(item, {0,   1,   3,   4,   5,   22,  54,  55,    57,    66,    67,    69,   71,
                           76,  80,  83,  84,  94,  97,  99,  100,   101,   112,   117,   133,  142,
                           149, 155, 157, 159, 161, 165, 166, 10000, 10001, 10004, 10005, 10022}) ||
             (item >= 104 && item <= 110) || (item >= 119 && item <= 130) ||
             (item >= 135 && item <= 140)) {
    // answered, empty
  } else {
    return false;
  }
  return true;
}

bool connItem(InfConn* conn, DriverPropId id, Answer* a) {
  const uint32_t group = DrvpGroup(id);
  const uint32_t item = DrvpItem(id);
  if (group == DRVP_GROUP_AGENT) {
    switch (item) {
      case DrvpItem(DRVP_CURRENT_DB):
        a->text = conn->session->online && conn->session->database ? conn->session->database : "";
        return true;
      case DrvpItem(DRVP_AGENT_CODE): a->value = 146924; return true;
      case DrvpItem(DRVP_NEEDBIND):
      case DrvpItem(DRVP_MORE_RESULTS):
      case DrvpItem(DRVP_PARAM_OP):
      case DrvpItem(DRVP_SCROLL_CURSORS):
      case DrvpItem(DRVP_V2DAE):
      case DrvpItem(DRVP_EXECUTE2): a->value = 1; return true;
      case DrvpItem(DRVP_DYNMIX_CURSORS):
        conn->dynMixAsked = 1;
        a->value = 1;
        return true;
      case DrvpItem(DRVP_MAX_PARAMS): a->value = 255; return true;
      case DrvpItem(DRVP_ROW_VERSIONS):
        a->value = conn->options.dynCursSensitivity == 1 ? 1 : 0;
        return true;
      case DrvpItem(DRVP_CAPABILITIES):
        conn->dynMixAsked = 1;
        a->value = capabilityMask(conn);
        return true;
      case DrvpItem(DRVP_WIDE):
        if (!InfWideBuild()) return false;
        a->value = conn->wide;
        return true;
      case DrvpItem(DRVP_XA_KEEP_WORKER):
      case DrvpItem(DRVP_XA_TERMINATE): return true;
      default: return false;
    }
  }
  if (group == DRVP_GROUP_ATTR) {
    switch (item) {
      case DrvpItem(DRVP_AUTOCOMMIT): a->value = conn->autocommit ? 1 : 0; return true;
      case DrvpItem(DRVP_READONLY): a->value = conn->readOnly ? 1 : 0; return true;
      case SQL_ATTR_TXN_ISOLATION: a->value = InfIsolationInForce(conn); return true;
      default: return false;
    }
  }
  if (group == DRVP_GROUP_GETINFO) return getInfoItem(conn, item, a);
  return false;
}

bool cursorItem(InfCursor* cur, DriverPropId id, Answer* a) {
  const uint32_t group = DrvpGroup(id);
  const uint32_t item = DrvpItem(id);
  const SCS& sc = cur->scs;
  if (group == DRVP_GROUP_AGENT) {
    if (item == DrvpItem(DRVP_DESCRIPTION)) {
      a->value = static_cast<int32_t>(cur->description);
      return true;
    }
    if (item != DrvpItem(DRVP_ROW_COUNT)) return false;
    a->value = cur->request.kind == REQ_DML ? static_cast<int32_t>(cur->rowCount) : -1;
    return true;
  }
  if (group != DRVP_GROUP_ATTR) return false;
  switch (item) {
    case SQL_MAX_ROWS: a->value = static_cast<int32_t>(cur->maxRows); return true;
    case SQL_NOSCAN: a->value = cur->noScan ? 1 : 0; return true;
    case SQL_MAX_LENGTH: a->value = cur->maxLength; return true;
    case SQL_CURSOR_TYPE: a->value = sc.sc_cursorType; return true;
    case SQL_CONCURRENCY: a->value = sc.sc_concurrency; return true;
    case SQL_KEYSET_SIZE: a->value = sc.sc_keysetSize; return true;
    case SQL_ROWSET_SIZE: a->value = sc.sc_rowsetSize; return true;
    case SQL_SIMULATE_CURSOR: a->value = static_cast<int32_t>(sc.sc_simulateCursor); return true;
    case SQL_RETRIEVE_DATA: a->value = static_cast<int32_t>(sc.sc_retrieveData); return true;
    case SQL_USE_BOOKMARKS: a->value = static_cast<int32_t>(sc.sc_useBookmarks); return true;
    case SQL_GET_BOOKMARK:
    case SQL_ROW_NUMBER: return true;
    case DrvpItem(DRVP_ROWID): a->value = static_cast<int32_t>(cur->rowId); return true;
    case DrvpItem(DRVP_SERIAL): a->value = static_cast<int32_t>(cur->serialValue); return true;
    case DrvpItem(DRVP_ATTR_1050): a->value = static_cast<int32_t>(sc.sc_stmtAttr1050); return true;
    case DrvpItem(DRVP_ATTR_1052): a->value = static_cast<int32_t>(sc.sc_stmtAttr1052); return true;
    default: return false;
  }
}

// Connects the session to another database; on failure back to the old one.
int32_t changeCatalog(InfConn* conn, const char* name) {
  InfSession* s = conn->session;
  char* old = s->database;
  (void)_disconnect(s, nullptr);
  conn->txnState = 0;
  s->database = s_strdup(name);
  int code = _connect(s, nullptr);
  if (code != 0) {
    const IxrCommArea failed = *ixr_sqlca();
    std::free(s->database);
    s->database = old;
    const int back = _connect(s, nullptr);
    *ixr_sqlca() = failed;
    ErrListAddInformix(&conn->errors, code);
    if (back != 0) return ERR_COMM_LINK;
    InfApplySessionSettings(conn);
    return InfCodeToDrvCode(code, 127);
  }
  std::free(old);
  InfApplySessionSettings(conn);
  return 0;
}

int32_t setConnOption(InfConn* conn, DriverPropId id, const void* value) {
  if (id == DRVP_CURRENT_CATALOG) {
    if (value == nullptr) return ERR_ARGUMENT;
    return changeCatalog(conn, static_cast<const char*>(value));
  }
  if (value == nullptr) return ERR_ARGUMENT;
  const int32_t v = *static_cast<const int32_t*>(value);
  switch (id) {
    case DRVP_ODBC_VERSION: conn->odbcVersion = v; return 0;
    case DRVP_DEFER_LONG: conn->deferLong = v; return 0;
    case DRVP_AUTOCOMMIT:
      return INF_TxnControl(conn, v != 0 ? TXN_AUTOCOMMIT_ON : TXN_AUTOCOMMIT_OFF);
    case DRVP_READONLY: conn->readOnly = v != 0 ? 1 : 0; return 0;
    case DRVP_TXN_ISOLATION: return INF_SetIsolation(conn, v);
    default: return ERR_NOT_CAPABLE;
  }
}

int32_t negotiate(InfCursor* cur, int32_t option, int32_t v, int32_t* out) {
  int32_t copy = v;
  int32_t rc = INF_NegotiateOption(&cur->scs, option, &copy);
  if (rc != 0 && rc != ERR_OPTION_CHANGED) return rc;
  *out = copy;
  return rc;
}

int32_t setCursorOption(InfCursor* cur, DriverPropId id, const void* value) {
  if (value == nullptr) return ERR_ARGUMENT;
  const int32_t v = *static_cast<const int32_t*>(value);
  InfConn* conn = cur->conn;
  SCS& sc = cur->scs;
  switch (id) {
    case DRVP_STMT_OPTION + SQL_MAX_ROWS: {
      const uint32_t before = InfRowLimit(cur);
      const int32_t m = conn->options.maxRows;
      int32_t rc = 0;
      if (m > 0 && (v == 0 || v > m)) {
        cur->maxRows = static_cast<uint32_t>(m);
        rc = ERR_OPTION_CHANGED;
      } else {
        cur->maxRows = static_cast<uint32_t>(v < 0 ? 0 : v);
      }
      // A result already open keeps the smaller limit (0 is none).
      if ((cur->flags & CF_EXECUTED) != 0)
        cur->openMaxRows =
            before == 0 || (cur->maxRows != 0 && cur->maxRows < before) ? cur->maxRows : before;
      return rc;
    }
    case DRVP_STMT_OPTION + SQL_QUERY_TIMEOUT:
      cur->queryTimeout = v > 0 ? static_cast<uint32_t>(v) : 0;
      return 0;
    case DRVP_STMT_OPTION + SQL_NOSCAN: cur->noScan = v != 0 ? 1 : 0; return 0;
    case DRVP_STMT_OPTION + SQL_MAX_LENGTH: cur->maxLength = v; return 0;
    case DRVP_STMT_OPTION + SQL_CURSOR_TYPE: {
      int32_t type = 0;
      int32_t rc = negotiate(cur, SQL_CURSOR_TYPE, v, &type);
      if (rc != 0 && rc != ERR_OPTION_CHANGED) return rc;
      if (type == SCS_DYNAMIC && conn->dynMixAsked == 0) {
        type = SCS_KEYSET;
        rc = ERR_OPTION_CHANGED;
      }
      sc.sc_cursorType = type;
      sc.sc_flags |= SCS_F_CURSOR_TYPE_SET;
      return rc;
    }
    case DRVP_STMT_OPTION + SQL_CONCURRENCY: {
      int32_t conc = 0;
      int32_t rc = negotiate(cur, SQL_CONCURRENCY, v, &conc);
      if (rc != 0 && rc != ERR_OPTION_CHANGED) return rc;
      sc.sc_concurrency = conc;
      return rc;
    }
    case DRVP_STMT_OPTION + SQL_KEYSET_SIZE: {
      if (v != 0 && conn->dynMixAsked == 0) return ERR_OPTION_CHANGED;
      int32_t rc = 0;
      int32_t size = v;
      if (size > 5000) {
        size = 5000;
        rc = ERR_OPTION_CHANGED;
      }
      sc.sc_keysetSize = size;
      sc.sc_flags |= SCS_F_KEYSET_SIZE_SET;
      return rc;
    }
    case DRVP_STMT_OPTION + SQL_ROWSET_SIZE: {
      int32_t rc = 0;
      int32_t size = v;
      if (conn->options.noRowsetSizeLimit == 0 && size >= 101) {
        size = 100;
        rc = ERR_OPTION_CHANGED;
      }
      sc.sc_rowsetSize = size;
      sc.sc_flags |= SCS_F_ROWSET_CHANGED;
      sc.sc_aux2Prepared &= static_cast<uint16_t>(~0x30u);
      return rc;
    }
    case DRVP_STMT_OPTION + SQL_SIMULATE_CURSOR:
      sc.sc_simulateCursor = static_cast<uint32_t>(v);
      return 0;
    case DRVP_STMT_OPTION + SQL_RETRIEVE_DATA:
      sc.sc_retrieveData = static_cast<uint32_t>(v);
      return 0;
    case DRVP_STMT_OPTION + SQL_USE_BOOKMARKS:
      sc.sc_useBookmarks = static_cast<uint32_t>(v);
      return 0;
    case DRVP_DESCRIBE_PARAMS:
      if (v != 0 && cur->paramsDescribed == 0) return DescribeParamsEarly(cur);
      return 0;
    case DRVP_ATTR_1050:
      if (v != 1 && v != 2) return ERR_ARGUMENT;
      sc.sc_stmtAttr1050 = static_cast<uint32_t>(v);
      return 0;
    case DRVP_ATTR_1052: sc.sc_stmtAttr1052 = static_cast<uint32_t>(v); return 0;
    case DRVP_ATTR_1054: sc.sc_stmtAttr1054 = static_cast<uint32_t>(v); return 0;
    default: return ERR_NOT_CAPABLE;
  }
}

}  // namespace

int32_t InfCapabilityMask(const InfConn* conn) { return capabilityMask(conn); }

int32_t INF_GetInfo(DrvHandle h, DriverPropId id, void* buf, uint16_t bufLen, uint16_t* outLen) {
  Answer a;
  bool listed = false;
  try {
    switch (DrvpClass(id)) {
      case DRVP_CLASS_SERVER:
        if (InfEnvLookup(h) == nullptr) return ERR_ARGUMENT;
        if (id == DRVP_AGENT_ID) {
          a.text = "informix11";
          listed = true;
        }
        break;
      case DRVP_CLASS_CONN: {
        InfConn* conn = InfConnLookup(h);
        if (conn == nullptr) return ERR_ARGUMENT;
        listed = connItem(conn, id, &a);
        break;
      }
      case DRVP_CLASS_CURSOR: {
        InfCursor* cur = InfCursorLookup(h);
        if (cur == nullptr) return ERR_ARGUMENT;
        listed = cursorItem(cur, id, &a);
        break;
      }
      default: return ERR_NOT_SUPPORTED;
    }
  } catch (...) {
    return ERR_MEMORY;
  }
  if (!listed) return ERR_NOT_SUPPORTED;
  switch (DrvpKind(id)) {
    case DRVP_KIND_TEXT: {
      size_t n = a.text.size();
      if (buf != nullptr && bufLen > 0) {
        if (n >= bufLen) n = bufLen - 1;
        std::memcpy(buf, a.text.data(), n);
        static_cast<char*>(buf)[n] = '\0';
      } else {
        n = 0;
      }
      if (outLen != nullptr) *outLen = static_cast<uint16_t>(n);
      return 0;
    }
    case DRVP_KIND_INT:
      if (buf != nullptr) std::memcpy(buf, &a.value, 4);
      if (outLen != nullptr) *outLen = 4;
      return 0;
    default: return ERR_NOT_SUPPORTED;
  }
}

int32_t INF_SetOption(DrvHandle h, DriverPropId id, const void* value) {
  switch (DrvpClass(id)) {
    case DRVP_CLASS_SERVER: return InfEnvLookup(h) != nullptr ? ERR_NOT_CAPABLE : ERR_ARGUMENT;
    case DRVP_CLASS_CONN: {
      InfConn* conn = InfConnLookup(h);
      if (conn == nullptr) return ERR_ARGUMENT;
      return setConnOption(conn, id, value);
    }
    case DRVP_CLASS_CURSOR: {
      InfCursor* cur = InfCursorLookup(h);
      if (cur == nullptr) return ERR_ARGUMENT;
      return setCursorOption(cur, id, value);
    }
    default: return ERR_NOT_SUPPORTED;
  }
}
