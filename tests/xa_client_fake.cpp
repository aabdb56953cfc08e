// xa_client_fake.cpp -- the tests' client XA switch over the runtime's ordinary
// sessions.

#include "xa_client_fake.h"

#include <mutex>

#include "platform/informix/ixr_api.h"

namespace {

std::mutex g_lock;
std::vector<FakeClientCall> g_calls;  // REQUIRES: g_lock
int g_openAnswer = XA_OK;
int g_closeAnswer = XA_OK;

std::string valueOf(const std::string& text, const std::string& key) {
  const std::string k = key + "=";
  size_t at = text.rfind(k);
  if (at == std::string::npos) return {};
  at += k.size();
  return text.substr(at, text.find(';', at) - at);
}

int record(const char* op, const char* text, XID* xid, int rmid, long flags) {
  std::lock_guard<std::mutex> g(g_lock);
  g_calls.push_back({op, text != nullptr ? text : "", xid, rmid, flags});
  return XA_OK;
}

int clientOpen(char* info, int rmid, long flags) {
  (void)record("open", info, nullptr, rmid, flags);
  if (g_openAnswer != XA_OK) return g_openAnswer;
  const std::string text = info;
  return ixr_connect(valueOf(text, "DB").c_str(), valueOf(text, "CON").c_str()) == 0 ? XA_OK
                                                                                     : XAER_RMERR;
}
int clientClose(char* info, int rmid, long flags) {
  (void)record("close", info, nullptr, rmid, flags);
  if (g_closeAnswer != XA_OK) return g_closeAnswer;
  return ixr_disconnect(nullptr) == 0 ? XA_OK : XAER_RMERR;
}
int clientStart(XID* x, int r, long f) { return record("start", nullptr, x, r, f); }
int clientEnd(XID* x, int r, long f) { return record("end", nullptr, x, r, f); }
int clientRollback(XID* x, int r, long f) { return record("rollback", nullptr, x, r, f); }
int clientPrepare(XID* x, int r, long f) { return record("prepare", nullptr, x, r, f); }
int clientCommit(XID* x, int r, long f) { return record("commit", nullptr, x, r, f); }
int clientForget(XID* x, int r, long f) { return record("forget", nullptr, x, r, f); }
int clientRecover(XID* x, long, int r, long f) { return record("recover", nullptr, x, r, f); }
int clientComplete(int*, int*, int r, long f) { return record("complete", nullptr, nullptr, r, f); }

const xa_switch_t kClient = {.name = "TEST",
                             .flags = TMNOFLAGS,
                             .version = 0,
                             .xa_open_entry = clientOpen,
                             .xa_close_entry = clientClose,
                             .xa_start_entry = clientStart,
                             .xa_end_entry = clientEnd,
                             .xa_rollback_entry = clientRollback,
                             .xa_prepare_entry = clientPrepare,
                             .xa_commit_entry = clientCommit,
                             .xa_recover_entry = clientRecover,
                             .xa_forget_entry = clientForget,
                             .xa_complete_entry = clientComplete};

}  // namespace

const xa_switch_t* FakeClientSwitch() { return &kClient; }

void FakeClientReset() {
  std::lock_guard<std::mutex> g(g_lock);
  g_calls.clear();
  g_openAnswer = g_closeAnswer = XA_OK;
}

std::vector<FakeClientCall> FakeClientCalls() {
  std::lock_guard<std::mutex> g(g_lock);
  return g_calls;
}

void FakeClientAnswers(int openCode, int closeCode) {
  std::lock_guard<std::mutex> g(g_lock);
  g_openAnswer = openCode;
  g_closeAnswer = closeCode;
}
