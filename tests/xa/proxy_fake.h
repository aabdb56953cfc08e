#pragma once
// proxy_fake.h -- a recording table under the XA proxy, standing in for the
// layers below it: connections and cursors of its own, each connection with
// the XA state field the proxy owns, and every call logged with the thread it
// ran on. Its XA open and close mark the branch active as the agent does.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "drv/drvops.h"

struct XaThreadState;

struct ProxyCall {
  std::string op;
  uint32_t thread;  // the kernel's id of the thread it ran on
};

struct ProxyFake {
  std::mutex lock;
  std::vector<ProxyCall> calls;
  int32_t endConnectCode = 0;  // answer of DRV_EndConnect
  int keepWorker = 0;          // DRVP_XA_KEEP_WORKER answer
  // A call of this op waits in it until released; entered tells it arrived.
  std::string blockOp;
  bool blocked = false;
  bool released = false;
  std::condition_variable cv;
  std::atomic<int> inside{0};  // calls running now
  std::atomic<int> mostInside{0};
};

ProxyFake& Fake();
// The proxy's table over the fake, installed once per process.
const DriverOps* ProxyOps();
// Ends every connection through the proxy (its state and worker go) and
// starts a fresh record with every connection open again.
void ResetFake();
// Connection n (0-based) and cursor m of connection n, as the proxy sees them.
DrvHandle FakeConn(int n);
DrvHandle FakeCursor(int n);
// Calls of an op, in order.
std::vector<ProxyCall> CallsOf(const std::string& op);
// Waits until the blocked op has been entered; then lets it go.
void WaitBlocked();
void ReleaseBlocked();
uint32_t ThisThread();
