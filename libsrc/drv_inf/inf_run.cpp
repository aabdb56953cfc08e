// inf_run.cpp -- the guard of running operations, INF_Cancel and the query timeout.
// A stop reaches the runtime as the session's deadline (ixr_set_deadline): the
// timeout's when the guarded operation starts, "at once" when it is cancelled. The
// deadline holds for every request of the operation until the guard clears it, so a
// cancel that falls between two of its requests still stops the next one.

#include "drv_inf/inf_run.h"

#include <chrono>
#include <mutex>

#include "drv/errtab.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_types.h"
#include "platform/informix/ixr_api.h"

namespace {

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

InfCursor* InfGuardLookup(DrvHandle hCursor) noexcept { return InfCursorLookup(hCursor); }

InfRunGuard::InfRunGuard(InfCursor* cur) noexcept {
  if (cur == nullptr || cur->conn == nullptr || cur->conn->session == nullptr ||
      cur->conn->session->name == nullptr)
    return;
  InfConn* conn = cur->conn;
  std::lock_guard<std::mutex> g(conn->stopLock);
  if (conn->running != nullptr) return;
  conn->running = cur;
  conn->cancelled = false;
  cur_ = cur;
  if (cur->queryTimeout != 0) {
    const int64_t ms = int64_t{cur->queryTimeout} * 1000;
    expires_ = now_ns() + ms * 1000000;
    deadlineSet_ = ixr_set_deadline(conn->session->name, ms) == 0;
  }
}

InfRunGuard::~InfRunGuard() {
  if (cur_ == nullptr) return;
  InfConn* conn = cur_->conn;
  std::lock_guard<std::mutex> g(conn->stopLock);
  if (deadlineSet_ || conn->cancelled) (void)ixr_set_deadline(conn->session->name, -1);
  conn->running = nullptr;
  conn->cancelled = false;
}

int32_t InfRunGuard::Finish(int32_t code) noexcept {
  if (cur_ == nullptr || code == 0 || code == ERR_NO_DATA) return code;
  bool cancelled;
  {
    std::lock_guard<std::mutex> g(cur_->conn->stopLock);
    cancelled = cur_->conn->cancelled;
  }
  int32_t stopped = 0;
  if (cancelled)
    stopped = ERR_CANCELLED;
  else if (expires_ != 0 && now_ns() >= expires_)
    stopped = ERR_TIMEOUT;
  if (stopped == 0) return code;
  // What the stopped request reported (an interrupted statement, a lock wait cut
  // short) gives way to why it was stopped.
  ErrListClear(&cur_->errors);
  ErrListSetCode(&cur_->errors, stopped);
  return stopped;
}

int32_t INF_Cancel(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  InfConn* conn = cur->conn;
  if (conn == nullptr) return 0;
  // Whatever runs on the session belongs to the statement's call: the generic layer
  // asks only while that call is in progress. Between two operations of the call
  // nothing is running, and there is nothing to stop.
  std::lock_guard<std::mutex> g(conn->stopLock);
  if (conn->running == nullptr || conn->session == nullptr || conn->session->name == nullptr)
    return 0;
  conn->cancelled = true;
  (void)ixr_set_deadline(conn->session->name, 0);
  return 0;
}
