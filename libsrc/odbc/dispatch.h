#pragma once
// dispatch.h -- the one road from an exported entry point to its worker.
// CallODBC traces the call, turns the handle into its record, refuses invalid
// handles, admits one call at a time per connection (a second is refused at
// once, never queued, except allocations and diagnostics, which wait), clears the record's diagnostics, takes the locks the back
// end needs, runs the worker, and traces the result. This module also owns the
// process-wide locks of the generic layer and the four handle tables, and the
// lock order of the whole driver (below, with the locks).

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "drv/drvops.h"
#include "odbc/callargs.h"
#include "platform/windows/critsec.h"
#include "util/handle.h"

struct Conn;

inline constexpr int32_t CALL_NOHANDLE = 1;
inline constexpr int32_t CALL_HENV = 2;
inline constexpr int32_t CALL_HDBC = 3;
inline constexpr int32_t CALL_HSTMT = 4;
inline constexpr int32_t CALL_HDESC = 5;

// worker(record, slots after the handle); record is null for CALL_NOHANDLE.
using CallWorker = SQLRETURN (*)(void* record, const CallSlot* args);

// One static record per entry-point flavour.
struct CallDescriptor {
  const char* name;         // function name without "SQL"
  const char* traceFormat;  // printf format of the arguments after the handle; "" for none
  int32_t asyncCapable;     // informative only
  int32_t resetDiag;        // 1: diagnostics cleared first, failover step after
  int32_t handleType;       // CALL_*
  CallWorker worker;
  // 1: on a connection busy with another thread's call, waits for that call to end
  // instead of being refused (allocation, which may not answer SQL_STILL_EXECUTING).
  // The diagnostic calls (resetDiag 0) always wait.
  int32_t waitBusy;
};

// Adapts a worker with a typed record parameter to CallWorker.
template <typename Rec>
struct CallWorkerOf;
template <typename Rec>
struct CallWorkerOf<SQLRETURN (*)(Rec*, const CallSlot*)> {
  template <SQLRETURN (*F)(Rec*, const CallSlot*)>
  static SQLRETURN Run(void* record, const CallSlot* args) {
    return F(static_cast<Rec*>(record), args);
  }
};
#define KES_WORKER(f) (&CallWorkerOf<decltype(&f)>::template Run<&f>)

// slots[0] is the handle (its low 32 bits), except for CALL_NOHANDLE; count
// is the number of slots, the marker included.
SQLRETURN CallODBC(const CallDescriptor* desc, const CallSlot* slots, size_t count);

// 0, or -1 when a handle table cannot be initialised.
int HandlesInit();
// Frees every environment that has no call in progress. While a call is still
// in progress somewhere (an application calling exit() while another thread is
// inside the driver) the locks and tables stay alive and only new calls are
// refused; the answer then is 1, else 0.
int HandlesTerm();
bool HandlesInitialised();

void LatchAgentThreadSafety(const DriverRecord* rec);
SQLRETURN NotifyFailover(Conn* conn, int32_t kind, SQLRETURN result);

// SQLCancel's body: bypasses CallODBC.
SQLRETURN CancelStatement(uint32_t hstmt);

// The lock order of the driver: a thread that holds one of these locks only
// ever waits for a lock further down the list.
//   cn_callLock (conn.h)   one call at a time on a connection
//   GlobalSerialLock       every call, when the back end is not thread-safe
//   DriverLock             the connect, ConnectOptions, the back end's facts
//   GlobalHandleLock       the generic layer's records and handle tables
//   INF_Mutex (the agent)  the agent's sessions and server reference count,
//                          then its server record's lock
//   the handle-table locks (util/handle.h)
//   the agent's stopLock of a connection (drv_inf/inf_run.cpp), taken by SQLCancel
//                          under GlobalHandleLock and around a running operation,
//                          then only the runtime's own lock
//   TraceLock and the installer loader's lock (trace.cpp, odbcinst.cpp),
//                          which wait for no other lock
// The XA support's locks come after cn_callLock: a DTC dispenser's own lock,
// then the dispenser list's lock (xa/dtc.cpp); a hand-over to a connection's
// XA worker, whose work takes the agent's locks; the XA switch's environment
// lock, held across the environment's SQLAllocHandle and SQLFreeHandle (so
// before GlobalHandleLock), and its association lock, never held together;
// the proxy's state lock (xa/xap.cpp), held only around the agent's handle
// lookup.
// GlobalHandleLock is never held while a cn_callLock is awaited: a call is
// marked busy under it and takes the call lock after leaving it. Every
// section is entered and left through a scope guard (CriticalSectionLock,
// the dispatcher's CallLocks), except cn_callLock where a DTC transaction
// holds it from its prepare to its end: it is the ownerless kind, entered on
// one coordinator thread and left on another.

// Process-wide locks and tables (valid between HandlesInit and HandlesTerm).
extern CRITICAL_SECTION GlobalHandleLock;
extern CRITICAL_SECTION DriverLock;
extern CRITICAL_SECTION GlobalSerialLock;
extern HandleTable EnvHandles;
extern HandleTable DbcHandles;
extern HandleTable StmtHandles;
extern HandleTable DescHandles;

// Result names of the trace: "SUCCESS" ... "UNKNOWN_ERROR".
const char* SqlReturnName(SQLRETURN rc);
// Formats the argument slots with a trace format: every conversion consumes one
// slot; integer conversions print the 32 bits they mean, %p the whole slot.
// The text is cut to size - 1 and always terminated.
void FormatTraceArgs(char* out, size_t size, const char* format, const CallSlot* args,
                     size_t count);
