// inf_xa.cpp -- the agent's XA operations: a connection's XA branch over the
// client runtime's own XA switch.
// A branch replaces the connection's ordinary client session while it is open:
// the open rolls that session back and disconnects it, and opens the branch's
// session under the same connection name, so that the statement wrappers reach
// the branch as they reached the ordinary session; the close connects the
// ordinary session again.
// Threading: a connection's XA operations, and its statements while the branch
// is open, run on the thread the XA proxy gives the connection, which is the
// thread the client runtime binds the branch to. The copy of the client's
// switch is made once per process and only read afterwards.
// Not here: which thread runs what (the XA proxy), or the transaction monitor's
// view of the resource manager (the XA switch).

#include <mutex>
#include <string>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/xa_types.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_esql.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_types.h"
#include "platform/informix/ixr_xa.h"

namespace {

constexpr const char* kSrc = "drv_inf/i-xa";

// The open string's limit: the client keeps at most 255 characters of it.
constexpr size_t kMaxOpenString = 255;

const xa_switch_t* g_source = nullptr;
xa_switch_t g_client{};  // ClientXaSwitch
std::once_flag g_clientOnce;

// The switch is copied whole by assignment: its size depends on this
// platform's long.
const xa_switch_t& client() {
  std::call_once(g_clientOnce,
                 [] { g_client = g_source != nullptr ? *g_source : *ixr_xa_switch(); });
  return g_client;
}

const char* orEmpty(const char* s) { return s != nullptr ? s : ""; }

// The text the client's xa_open receives: the data source's XaInfo settings
// first, then the ordinary session's own values, so that the branch's session
// reaches the same database as the same user under the same connection name.
std::string openString(const char* xaInfo, const InfSession* s) {
  std::string text;
  if (xaInfo != nullptr && xaInfo[0] != '\0') {
    text = xaInfo;
    text += ';';
  }
  text += "DB=";
  text += orEmpty(s->database);
  text += '@';
  text += orEmpty(s->server);
  text += ";USER=";
  text += orEmpty(s->user);
  text += ";PASSWD=";
  text += orEmpty(s->password);
  text += ";CON=";
  text += orEmpty(s->name);
  text += ';';
  return text;
}

}  // namespace

void InfXaUseClientSwitch(const xa_switch_t* source) { g_source = source; }

XaThreadState** INF_ConnXaState(DrvHandle hConn) {
  InfConn* conn = InfConnLookup(hConn);
  return conn != nullptr ? &conn->xa : nullptr;
}

XaThreadState** INF_CursorXaState(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  return cur != nullptr && cur->conn != nullptr ? &cur->conn->xa : nullptr;
}

// Rolls the ordinary session back and disconnects it, leaving its values in
// the client's connection-information block.
int32_t INF_XaReleaseSession(InfConn* conn) noexcept {
  if (int32_t rc = INF_TxnControl(conn, TXN_ROLLBACK); rc != 0) return rc;
  InfSession* s = conn->session;
  if (_disconnect(s, &conn->errors) != 0) return ERR_GENERAL;
  _set_conn_info(s);
  return 0;
}

// Connects the ordinary session again with the autocommit mode of the connect
// and the session settings a new session starts with, and leaves it dormant
// for whichever thread uses the connection next.
int32_t INF_XaRestoreSession(InfConn* conn) noexcept {
  InfSession* s = conn->session;
  if (_connect(s, &conn->errors) != 0) return ERR_GENERAL;
  conn->txnState &= ~TXN_OPEN;
  const int32_t rc = INF_TxnControl(
      conn, conn->options.noAutoCommit != 0 ? TXN_AUTOCOMMIT_OFF : TXN_AUTOCOMMIT_ON);
  InfApplySessionSettings(conn);
  (void)_set_dormant(s);
  return rc;
}

int INF_XaOpen(DrvHandle hConn, int32_t /*useWorker*/, const char* xaInfo, int rmid, long flags) {
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return XAER_INVAL;
  std::string text;
  try {
    text = openString(xaInfo, conn->session);
  } catch (...) {
    return XAER_RMERR;
  }
  // Refused before anything changes: the ordinary session stays as it was.
  if (text.size() > kMaxOpenString) {
    INF_LOG(LOG_ERR, kSrc, "INF_XaOpen: open string too long (%zu characters)", text.size());
    return XAER_INVAL;
  }
  // The session of an open branch is bound to the thread that opened it; a
  // second open would disconnect it from under that branch.
  if (conn->session->xaOwned != 0) return XAER_PROTO;
  if (INF_XaReleaseSession(conn) != 0) return XAER_RMERR;
  const int code = client().xa_open_entry(text.data(), rmid, flags);
  std::fill(text.begin(), text.end(), '\0');
  if (code != XA_OK) {
    // The connection goes on as it was before the refused open.
    if (INF_XaRestoreSession(conn) != 0)
      INF_LOG(LOG_ERR, kSrc, "INF_XaOpen: the session could not be restored after a refused open");
    return code;
  }
  (void)XAP_SetXaActive(conn->xa, 1);
  conn->session->xaOwned = 1;
  return code;
}

int INF_XaClose(DrvHandle hConn, const char* /*xaInfo*/, int rmid, long flags) {
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return XAER_INVAL;
  // The client gets an empty close string whatever the caller passed.
  char empty[1] = {'\0'};
  const int code = client().xa_close_entry(empty, rmid, flags);
  // A refused close leaves the branch open: the connection keeps its XA state.
  if (code != XA_OK) return code;
  (void)XAP_SetXaActive(conn->xa, 0);
  conn->session->xaOwned = 0;
  return INF_XaRestoreSession(conn) != 0 ? XAER_RMERR : code;
}

// The forwarding operations pass their arguments to the client unchanged and
// answer its code.
int INF_XaCommit(DrvHandle, XID* xid, int rmid, long flags) {
  return client().xa_commit_entry(xid, rmid, flags);
}
int INF_XaComplete(DrvHandle, int* handle, int* retval, int rmid, long flags) {
  return client().xa_complete_entry(handle, retval, rmid, flags);
}
int INF_XaEnd(DrvHandle, XID* xid, int rmid, long flags) {
  return client().xa_end_entry(xid, rmid, flags);
}
int INF_XaForget(DrvHandle, XID* xid, int rmid, long flags) {
  return client().xa_forget_entry(xid, rmid, flags);
}
int INF_XaPrepare(DrvHandle, XID* xid, int rmid, long flags) {
  return client().xa_prepare_entry(xid, rmid, flags);
}
int INF_XaRecover(DrvHandle, XID* xids, long count, int rmid, long flags) {
  return client().xa_recover_entry(xids, count, rmid, flags);
}
int INF_XaRollback(DrvHandle, XID* xid, int rmid, long flags) {
  return client().xa_rollback_entry(xid, rmid, flags);
}
int INF_XaStart(DrvHandle, XID* xid, int rmid, long flags) {
  return client().xa_start_entry(xid, rmid, flags);
}
