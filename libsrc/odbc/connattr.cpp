// connattr.cpp -- connection attributes and options.
// An attribute set before the connect is kept in the record and honoured by
// the connect; back-end settings are sent only to an open connection, and a
// refused setting leaves the stored value as it was.
// Text answers go out in the entry point's form ('A' 8-bit, 'W' UTF-16); a cut
// text reports 01004 with its full length.
// Threading: under the connection's call lock; QuietModeWindow is process-wide
// and written without a lock (the last connection that sets it wins).

#include "odbc/connattr.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/copystr.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "odbc/conn.h"
#include "odbc/envr.h"
#include "odbc/startup.h"
#include "odbc/stmt.h"
#include "odbc/stmtattr.h"
#include "util/conv.h"
#include "util/str.h"

namespace {

bool is_int_driver_attr(int32_t a) {
  return (a >= 1201 && a <= 1206) || a == 1208 || a == 1210 || a == 1211 || a == 1213 ||
         (a >= 1215 && a <= 1219) || a == 1252 || a == 1253 || (a >= 1255 && a <= 1259) ||
         a == 1262;
}

bool is_text_driver_attr(int32_t a) { return a == 1212 || a == 1214 || a == 1254; }

bool connected(const Conn* conn) { return conn->state == CONN_STATE_CONNECTED; }

SQLRETURN fail(Conn* conn, int32_t code) {
  conn->errCode = code;
  return SQL_ERROR;
}

// A back-end setting failed: its messages move to the connection.
SQLRETURN backend_fail(Conn* conn, int32_t code) {
  conn->errCode = code;
  (void)ConnTakeAgentMessages(conn, nullptr);
  return SQL_ERROR;
}

int32_t set_int(Conn* conn, DriverPropId id, int32_t v) {
  return conn->driver.ops->DRV_SetOption(conn->cn_hConn, id, &v);
}

// A text argument in the driver's 8-bit form (UTF-8 for a wide call).
std::string text_arg(const void* value, bool wide, int64_t units = SQL_NTS) {
  if (value == nullptr) return std::string();
  if (!wide) {
    const char* s = static_cast<const char*>(value);
    return units == SQL_NTS ? std::string(s) : std::string(s, static_cast<size_t>(units));
  }
  const auto* w = static_cast<const char16_t*>(value);
  char* utf8 = wcsn_to_utf8_dup(w, units);
  std::string out;
  if (utf8 != nullptr)
    out = units == SQL_NTS ? std::string(utf8)
                           : std::string(utf8, static_cast<size_t>(wcs_utf8_len(w, units)));
  free(utf8);
  return out;
}

// A counted text keeps NULs it holds: padding at its end goes, and false means a NUL
// with more text after it, which would cut the value short.
bool settle_text(std::string* text) {
  int64_t n = static_cast<int64_t>(text->size());
  if (!str_settle_length(text->data(), &n)) return false;
  text->resize(static_cast<size_t>(n));
  return true;
}

// The text options' answers; 0, SQL_NO_DATA's marker (-1) or a driver error code.
int32_t text_option(Conn* conn, int32_t option, std::string* out) {
  out->clear();
  switch (option) {
    case SQL_OPT_TRACEFILE: return 0;
    case SQL_TRANSLATE_DLL:
      if (conn->cn_translateLib == nullptr) return -1;
      *out = conn->cn_translateLib;
      return 0;
    case SQL_CURRENT_QUALIFIER: {
      if (conn->cn_hConn == 0) return 0;
      char buf[256] = {};
      uint16_t len = 0;
      int32_t rc =
          conn->driver.ops->DRV_GetInfo(conn->cn_hConn, DRVP_CURRENT_DB, buf, sizeof buf, &len);
      if (rc != 0) return rc == ERR_NOT_SUPPORTED ? ERR_OPTION_TYPE : rc;
      buf[sizeof buf - 1] = '\0';
      *out = buf;
      return 0;
    }
    default: {
      char buf[256] = {};
      uint16_t len = 0;
      int32_t rc = conn->driver.ops->DRV_GetInfo(
          conn->cn_hConn, DRVP_CONN_ATTR_TEXT + static_cast<uint32_t>(option), buf, sizeof buf,
          &len);
      if (rc != 0) return rc == ERR_NOT_SUPPORTED ? ERR_OPTION_TYPE : rc;
      buf[sizeof buf - 1] = '\0';
      *out = buf;
      return 0;
    }
  }
}

void store32(void* p, uint32_t v) {
  if (p != nullptr) memcpy(p, &v, sizeof v);
}

// Text out: bufLen in bytes in both forms; returns whether it was cut and the
// full length in bytes (two per UTF-16 unit).
bool text_out(const std::string& text, void* buf, int64_t bufLen, bool wide, int64_t* fullBytes) {
  if (wide) {
    int64_t units = utf8_char_count(text.c_str(), CONV_NTS);
    *fullBytes = units * 2;
    int64_t room = bufLen / 2;
    if (buf != nullptr && room > 0) {
      int16_t ignored = 0;
      (void)utf8_to_wcs_buf_len(text.c_str(), static_cast<char16_t*>(buf), room, &ignored);
    }
    return units + 1 > room;
  }
  *fullBytes = static_cast<int64_t>(text.size());
  (void)CopyStrOutLen(text.c_str(), static_cast<char*>(buf), bufLen, nullptr);
  return static_cast<int64_t>(text.size()) + 1 > bufLen;
}

SQLRETURN enlist_in_dtc(Conn* conn, void* transaction) {
  if (conn->envr->odbcVersion <= 2 || conn->cn_hasDTC == 0) return fail(conn, ERR_NOT_CAPABLE);
  if (!connected(conn)) return fail(conn, ERR_CONN_NOT_OPEN);
  if (transaction == nullptr) {
    if (conn->cn_dtcEnlisted == 0) return fail(conn, ERR_TXN_STATE);
    (void)DtcReleaseDispenser(conn->cn_dtcDispenser);
    conn->cn_dtcDispenser = nullptr;
    conn->cn_dtcEnlisted = 0;
    return SQL_SUCCESS;
  }
  if (conn->cn_dtcEnlisted != 0 && conn->cn_dtcDispenser != nullptr) {
    switch (DtcDispenserBranch(conn->cn_dtcDispenser, transaction)) {
      case 1: return SQL_SUCCESS;  // already working in it
      // The branch belongs to its transaction until the coordinator decides:
      // answering success here would run the application's work outside the
      // transaction it asked for.
      case 2: return fail(conn, ERR_TXN_STATE);
      default: break;  // decided: the connection may join the next one
    }
  }
  if (OleTxInit() != 0) return fail(conn, ERR_DTC_ENLIST);
  if (conn->cn_dtcDispenser != nullptr) {
    (void)DtcReleaseDispenser(conn->cn_dtcDispenser);
    conn->cn_dtcDispenser = nullptr;
  }
  const char* parts[3] = {conn->cn_dsn != nullptr ? conn->cn_dsn : "",
                          conn->cn_uid != nullptr ? conn->cn_uid : "",
                          conn->cn_pwd != nullptr ? conn->cn_pwd : ""};
  // The enlistment reconnects with this text: a ';' in a value would add
  // keywords of its own.
  for (const char* p : parts)
    if (strchr(p, ';') != nullptr) return fail(conn, ERR_DTC_ENLIST);
  std::string text = std::string("DSN=") + parts[0] + ";UID=" + parts[1] + ";PWD=" + parts[2] + ";";
  conn->cn_dtcDispenser =
      DtcCreateDispenser(transaction, conn->cn_hServer, conn->cn_hConn, &conn->driver,
                         &conn->cn_dtcLock, &conn->cn_callLock, text.c_str());
  std::fill(text.begin(), text.end(), '\0');
  if (conn->cn_dtcDispenser == nullptr) return fail(conn, ERR_DTC_ENLIST);
  if (DtcRMConnect(conn->cn_dtcDispenser) == 0 && DtcRMEnlist(conn->cn_dtcDispenser) == 0) {
    conn->cn_dtcEnlisted = 1;
    return SQL_SUCCESS;
  }
  (void)DtcReleaseDispenser(conn->cn_dtcDispenser);
  conn->cn_dtcDispenser = nullptr;
  return fail(conn, ERR_DTC_ENLIST);
}

SQLRETURN set_option(Conn* conn, int32_t option, CallSlot value, bool wide) {
  const int32_t v32 = static_cast<int32_t>(value);
  // Statement options set on the connection are defaults for its statements,
  // whatever ODBC version the application asked for: the Driver Manager takes
  // them before the connect on the application's behalf and replays them
  // afterwards without looking at the answer, so a refusal would only turn
  // into a default that silently does nothing.
  if ((option >= 0 && option <= 3) || (option >= 5 && option <= 12))
    return ConnSetStmtDefault(conn, static_cast<uint16_t>(option), value);
  switch (option) {
    case SQL_ASYNC_ENABLE:
      if (conn->envr->odbcVersion > 2) return fail(conn, ERR_NOT_CAPABLE);
      if (v32 != 0)
        conn->flags |= CONN_F_ASYNC;
      else
        conn->flags &= static_cast<uint16_t>(~CONN_F_ASYNC);
      return SQL_SUCCESS;
    case SQL_ACCESS_MODE: {
      int32_t v = v32 != 0 ? 1 : 0;
      if (connected(conn)) {
        int32_t rc = set_int(conn, DRVP_READONLY, v);
        if (rc != 0) return backend_fail(conn, rc);
      } else if (v32 == SQL_MODE_READ_ONLY || v32 == SQL_MODE_READ_WRITE) {
        conn->cn_presetReadonly = v32 == SQL_MODE_READ_ONLY ? 1 : 0;
      }
      if (v32 == 1)
        conn->flags |= CONN_F_READONLY;
      else if (v32 == 0)
        conn->flags &= static_cast<uint16_t>(~CONN_F_READONLY);
      return SQL_SUCCESS;
    }
    case SQL_AUTOCOMMIT: {
      if (value != SQL_AUTOCOMMIT_OFF && value != SQL_AUTOCOMMIT_ON)
        return fail(conn, ERR_ATTR_VALUE);
      int32_t v = v32 != 0 ? 1 : 0;
      if (connected(conn)) {
        int32_t rc = set_int(conn, DRVP_AUTOCOMMIT, v);
        if (rc != 0) return backend_fail(conn, rc);
      } else {
        conn->cn_presetAutocommit = v;
      }
      if (v != 0)
        conn->flags |= CONN_F_AUTOCOMMIT;
      else
        conn->flags &= static_cast<uint16_t>(~CONN_F_AUTOCOMMIT);
      return SQL_SUCCESS;
    }
    case SQL_LOGIN_TIMEOUT: conn->cn_loginTimeout = v32; return SQL_SUCCESS;
    case SQL_OPT_TRACE:
    case SQL_OPT_TRACEFILE:
    case SQL_PACKET_SIZE: return SQL_SUCCESS;
    case SQL_TRANSLATE_DLL: {
      free(conn->cn_translateLib);
      conn->cn_translateLib = nullptr;
      const void* p = SlotAs<const void*>(value);
      if (p != nullptr) {
        conn->cn_translateLib = wide ? wcs_to_ansi_strdup(static_cast<const char16_t*>(p))
                                     : strdup(static_cast<const char*>(p));
        if (conn->cn_translateLib == nullptr) return fail(conn, ERR_MEMORY);
      }
      return SQL_SUCCESS;
    }
    case SQL_TRANSLATE_OPTION:
      conn->cn_translateOption = static_cast<uint32_t>(v32);
      return SQL_SUCCESS;
    case SQL_TXN_ISOLATION:
      if (value != SQL_TXN_READ_UNCOMMITTED && value != SQL_TXN_READ_COMMITTED &&
          value != SQL_TXN_REPEATABLE_READ && value != SQL_TXN_SERIALIZABLE)
        return fail(conn, ERR_ATTR_VALUE);
      if (connected(conn)) {
        int32_t rc = set_int(conn, DRVP_TXN_ISOLATION, v32);
        if (rc != 0) return backend_fail(conn, rc);
      }
      conn->cn_txnIsolation = static_cast<uint32_t>(v32);
      return SQL_SUCCESS;
    case SQL_CURRENT_QUALIFIER: {
      if (!connected(conn)) return SQL_SUCCESS;
      for (Stmt* s = conn->stmts; s != nullptr; s = s->next)
        if ((s->st_flags & STMT_F_RESULT) != 0) return fail(conn, ERR_CURSOR_STATE);
      const void* p = SlotAs<const void*>(value);
      if (p == nullptr) return fail(conn, ERR_ARGUMENT);
      std::string name = text_arg(p, wide);
      int32_t rc =
          conn->driver.ops->DRV_SetOption(conn->cn_hConn, DRVP_CURRENT_CATALOG, name.c_str());
      if (rc != 0) return backend_fail(conn, rc);
      char* copy = strdup(name.c_str());
      if (copy == nullptr) return fail(conn, ERR_MEMORY);
      free(conn->cn_dbpath);
      conn->cn_dbpath = copy;
      return SQL_SUCCESS;
    }
    case SQL_QUIET_MODE: QuietModeWindow = SlotAs<void*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ENLIST_IN_DTC: return enlist_in_dtc(conn, SlotAs<void*>(value));
    case ATTR_FAILOVER_CALLBACK: {
      if (!connected(conn)) return fail(conn, ERR_SEQUENCE);
      if (conn->cn_hasFailover == 0) return fail(conn, ERR_NOT_CAPABLE);
      auto cb = SlotAs<FailoverCallback>(value);
      int32_t rc = set_int(conn, DRVP_FAILOVER_CALLBACK, cb != nullptr ? 1 : 0);
      if (rc != 0) return backend_fail(conn, rc);
      conn->cn_failoverCallback = cb;
      return SQL_SUCCESS;
    }
    case ATTR_FAILOVER_CONTEXT:
      if (!connected(conn)) return fail(conn, ERR_SEQUENCE);
      if (conn->cn_hasFailover == 0) return fail(conn, ERR_NOT_CAPABLE);
      conn->cn_failoverContext = SlotAs<void*>(value);
      return SQL_SUCCESS;
    default: break;
  }
  if (is_int_driver_attr(option)) {
    if (!connected(conn)) return SQL_SUCCESS;
    int32_t rc = set_int(conn, DRVP_CONN_ATTR_INT + static_cast<uint32_t>(option), v32);
    if (rc == 0) return SQL_SUCCESS;
    return fail(conn, rc == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE : rc);
  }
  if (is_text_driver_attr(option)) {
    if (!connected(conn)) return SQL_SUCCESS;
    std::string text = text_arg(SlotAs<const void*>(value), wide);
    int32_t rc = conn->driver.ops->DRV_SetOption(
        conn->cn_hConn, DRVP_CONN_ATTR_TEXT + static_cast<uint32_t>(option), text.c_str());
    if (rc == 0) return SQL_SUCCESS;
    return backend_fail(conn, rc == ERR_NOT_CAPABLE ? ERR_OPTION_TYPE : rc);
  }
  return fail(conn, ERR_OPTION_TYPE);
}

// Integer answers of the ODBC 2 options; -1 when the option is not one of them.
SQLRETURN get_int_option(Conn* conn, int32_t option, void* value, bool* handled) {
  *handled = true;
  switch (option) {
    case SQL_ASYNC_ENABLE:
      store32(value, (conn->flags & CONN_F_ASYNC) != 0 ? 1 : 0);
      return SQL_SUCCESS;
    case SQL_ACCESS_MODE:
      store32(value, (conn->flags & CONN_F_READONLY) != 0 ? 1 : 0);
      return SQL_SUCCESS;
    case SQL_AUTOCOMMIT:
      store32(value, (conn->flags & CONN_F_AUTOCOMMIT) != 0 ? 1 : 0);
      return SQL_SUCCESS;
    case SQL_LOGIN_TIMEOUT:
      store32(value, static_cast<uint32_t>(conn->cn_loginTimeout));
      return SQL_SUCCESS;
    case SQL_OPT_TRACE: store32(value, 0); return SQL_SUCCESS;
    case SQL_TRANSLATE_OPTION: store32(value, conn->cn_translateOption); return SQL_SUCCESS;
    case SQL_TXN_ISOLATION: store32(value, conn->cn_txnIsolation); return SQL_SUCCESS;
    case SQL_ODBC_CURSORS: store32(value, 0); return SQL_SUCCESS;
    case SQL_QUIET_MODE: {
      void* w = QuietModeWindow == QUIET_MODE_UNSET ? nullptr : QuietModeWindow;
      if (value != nullptr) memcpy(value, &w, sizeof w);
      return SQL_SUCCESS;
    }
    case SQL_PACKET_SIZE: store32(value, 4096); return SQL_SUCCESS;
    default: break;
  }
  if (is_int_driver_attr(option) || option == 1207 || option == 1209) {
    if (!connected(conn)) return SQL_SUCCESS;
    int32_t v = 0;
    uint16_t len = 0;
    int32_t rc = conn->driver.ops->DRV_GetInfo(
        conn->cn_hConn, DRVP_CONN_ATTR_INT + static_cast<uint32_t>(option), &v, 4, &len);
    if (rc != 0) return fail(conn, rc == ERR_NOT_SUPPORTED ? ERR_OPTION_TYPE : rc);
    store32(value, static_cast<uint32_t>(v));
    return SQL_SUCCESS;
  }
  *handled = false;
  return SQL_SUCCESS;
}

bool is_text_option(int32_t option) {
  return option == SQL_OPT_TRACEFILE || option == SQL_TRANSLATE_DLL ||
         option == SQL_CURRENT_QUALIFIER || is_text_driver_attr(option);
}

}  // namespace

SQLRETURN ConnSetStmtDefault(Conn* conn, uint16_t option, uint64_t value) {
  const uint32_t low = static_cast<uint32_t>(value);
  SCS& d = conn->cn_cursorDefaults;
  switch (option) {
    case SQL_QUERY_TIMEOUT: conn->cn_stmtTimeout = low; break;
    case SQL_MAX_ROWS: conn->cn_stmtMaxRows = value; break;
    case SQL_NOSCAN: conn->cn_stmtNoscan = low; break;
    case SQL_MAX_LENGTH: conn->cn_stmtMaxLength = value; break;
    case SQL_BIND_TYPE: conn->cn_stmtBindType = low; break;
    case SQL_CURSOR_TYPE: d.sc_cursorType = static_cast<int32_t>(low); break;
    case SQL_CONCURRENCY: d.sc_concurrency = static_cast<int32_t>(low); break;
    case SQL_KEYSET_SIZE: d.sc_keysetSize = static_cast<int32_t>(low); break;
    case SQL_ROWSET_SIZE: d.sc_rowsetSize = static_cast<int32_t>(low); break;
    case SQL_SIMULATE_CURSOR: d.sc_simulateCursor = low; break;
    case SQL_RETRIEVE_DATA: d.sc_retrieveData = low; break;
    case SQL_USE_BOOKMARKS: d.sc_useBookmarks = low; break;
    default: return fail(conn, ERR_OPTION_TYPE);
  }
  // Every statement of the connection takes the new default too; the first
  // that does not stops the walk and keeps its diagnostic.
  for (Stmt* s = conn->stmts; s != nullptr; s = s->next) {
    SQLRETURN rc = StmtSetOption(s, option, value);
    if (rc != SQL_SUCCESS) return rc;
  }
  return SQL_SUCCESS;
}

SQLRETURN SetConnectOptionImpl(Conn* conn, const CallSlot* args) {
  return set_option(conn, SlotU16(args[0]), args[1], SlotIsWide(args[2]));
}

SQLRETURN GetConnectOptionImpl(Conn* conn, const CallSlot* args) {
  const int32_t option = SlotU16(args[0]);
  void* value = SlotAs<void*>(args[1]);
  const bool wide = SlotIsWide(args[2]);
  bool handled = false;
  SQLRETURN rc = get_int_option(conn, option, value, &handled);
  if (handled) return rc;
  if (!is_text_option(option)) return fail(conn, ERR_OPTION_TYPE);
  if (is_text_driver_attr(option) && !connected(conn)) return SQL_SUCCESS;
  std::string text;
  int32_t code = text_option(conn, option, &text);
  if (code == -1) return SQL_NO_DATA;
  if (code != 0) return fail(conn, code);
  // An ODBC 2 caller provides room for 256 bytes (or units) and no length.
  int64_t full = 0;
  (void)text_out(text, value, wide ? 512 : 256, wide, &full);
  return SQL_SUCCESS;
}

SQLRETURN SetConnectAttrImpl(Conn* conn, const CallSlot* args) {
  const int32_t attr = SlotI32(args[0]);
  const CallSlot value = args[1];
  const int32_t length = SlotI32(args[2]);
  const bool wide = SlotIsWide(args[3]);
  if (attr == SQL_ATTR_ASYNC_ENABLE) {
    conn->cn_stmtAsync = static_cast<uint32_t>(value);
    for (Stmt* s = conn->stmts; s != nullptr; s = s->next) s->st_async = conn->cn_stmtAsync;
    return SQL_SUCCESS;
  }
  if (attr == SQL_ATTR_CURRENT_CATALOG) {
    const void* p = SlotAs<const void*>(value);
    if (p != nullptr && length != SQL_NTS) {
      if (length < 0) return fail(conn, ERR_BUFFER_LENGTH);
      // A counted value becomes a terminated one of its own.
      std::string name = text_arg(p, wide, wide ? length / 2 : length);
      if (!settle_text(&name)) return fail(conn, ERR_BUFFER_LENGTH);
      return set_option(conn, attr, Slot(name.c_str()), false);
    }
    return set_option(conn, attr, value, wide);
  }
  // The embedded server has no network to time out: the value is only kept
  // and read back, as the login timeout is.
  if (attr == SQL_ATTR_CONNECTION_TIMEOUT) {
    conn->cn_connTimeout = static_cast<uint32_t>(value);
    return SQL_SUCCESS;
  }
  if (attr == SQL_ATTR_AUTO_IPD || attr == SQL_ATTR_METADATA_ID) return fail(conn, ERR_NOT_CAPABLE);
  const bool passed = (attr >= 0 && attr <= 3) || (attr >= 5 && attr <= 8) ||
                      (attr >= 10 && attr <= 12) || attr == 14 || (attr >= 101 && attr <= 108) ||
                      (attr >= 110 && attr <= 112) || attr == SQL_ATTR_ENLIST_IN_DTC ||
                      attr == ATTR_FAILOVER_CALLBACK || attr == ATTR_FAILOVER_CONTEXT;
  if (!passed || attr == 14 || attr == 110) return fail(conn, ERR_OPTION_TYPE);
  return set_option(conn, attr, value, wide);
}

SQLRETURN GetConnectAttrImpl(Conn* conn, const CallSlot* args) {
  const int32_t attr = SlotI32(args[0]);
  void* value = SlotAs<void*>(args[1]);
  const int32_t bufLen = SlotI32(args[2]);
  auto* lenOut = SlotAs<SQLINTEGER*>(args[3]);
  const bool wide = SlotIsWide(args[4]);
  switch (attr) {
    case SQL_ATTR_QUERY_TIMEOUT:
      if (conn->envr->odbcVersion >= 3) return fail(conn, ERR_NOT_CAPABLE);
      store32(value, conn->cn_stmtTimeout);
      return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE: store32(value, conn->cn_stmtAsync); return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_DEAD:
    case SQL_ATTR_AUTO_IPD: store32(value, 0); return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT: store32(value, conn->cn_connTimeout); return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID: return fail(conn, ERR_NOT_CAPABLE);
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_CURRENT_CATALOG: {
      if (bufLen < 0 && value != nullptr) return fail(conn, ERR_BUFFER_LENGTH);
      std::string text;
      int32_t code = text_option(conn, attr, &text);
      if (code == -1) return SQL_NO_DATA;
      if (code != 0) return fail(conn, code);
      int64_t full = 0;
      bool cut = text_out(text, value, bufLen, wide, &full);
      if (lenOut != nullptr)
        *lenOut = full > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<SQLINTEGER>(full);
      if (cut && value != nullptr) {
        conn->errCode = ERR_TRUNCATED;
        return SQL_SUCCESS_WITH_INFO;
      }
      return SQL_SUCCESS;
    }
    default: break;
  }
  const bool passed = attr == 1 || (attr >= 101 && attr <= 104) || attr == 107 || attr == 108 ||
                      (attr >= 110 && attr <= 112);
  if (!passed || attr == 1) return fail(conn, ERR_OPTION_TYPE);
  CallSlot inner[3] = {Slot(static_cast<uint16_t>(attr)), Slot(value), args[4]};
  return GetConnectOptionImpl(conn, inner);
}
