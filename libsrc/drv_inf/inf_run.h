#pragma once
// inf_run.h -- stopping a running operation: SQLCancel from another thread and the
// statement's query timeout. An operation of the operation table that runs requests
// on the session (execute, fetch, more results, the catalog, data at execution) runs
// inside an InfRunGuard: while it runs, INF_Cancel can stop the session's requests,
// and the statement's timeout stops them when it expires. A request so stopped fails
// as an interrupted one, and the operation answers ERR_CANCELLED (HY008) or
// ERR_TIMEOUT (HYT00) with the cursor's errors saying which.
// Threading: the guard runs on the thread of the connection's call; INF_Cancel on any
// thread; both meet under the connection's stopLock.

#include <cstdint>

#include "drv/drvops.h"

struct InfCursor;

class InfRunGuard {
 public:
  // Nothing is guarded for a null cursor, one without a session, or inside an operation
  // already guarded on the same connection.
  explicit InfRunGuard(InfCursor* cur) noexcept;
  ~InfRunGuard();
  InfRunGuard(const InfRunGuard&) = delete;
  InfRunGuard& operator=(const InfRunGuard&) = delete;

  // The answer of the operation that ended with `code`: a failure once the operation was
  // cancelled or its timeout expired becomes ERR_CANCELLED or ERR_TIMEOUT.
  int32_t Finish(int32_t code) noexcept;

 private:
  InfCursor* cur_ = nullptr;
  int64_t expires_ = 0;  // steady-clock nanoseconds, 0 without a timeout
  bool deadlineSet_ = false;
};

// Runs an operation of the table whose first argument is its cursor inside a guard.
template <typename Fn>
struct InfGuarded;
template <typename... A>
struct InfGuarded<int32_t (*)(DrvHandle, A...)> {
  template <int32_t (*F)(DrvHandle, A...)>
  static int32_t Run(DrvHandle hCursor, A... args);
};
#define INF_GUARDED(f) (&InfGuarded<decltype(&f)>::template Run<&f>)

InfCursor* InfGuardLookup(DrvHandle hCursor) noexcept;

template <typename... A>
template <int32_t (*F)(DrvHandle, A...)>
int32_t InfGuarded<int32_t (*)(DrvHandle, A...)>::Run(DrvHandle hCursor, A... args) {
  InfRunGuard guard(InfGuardLookup(hCursor));
  return guard.Finish(F(hCursor, args...));
}
