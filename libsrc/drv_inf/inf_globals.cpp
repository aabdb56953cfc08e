// inf_globals.cpp -- the agent's process-wide handle tables and INF_Mutex.
// The tables live while the server reference count is above zero; the mutex
// for the whole process, so that the count itself can be guarded by it.

#include "drv_inf/inf_types.h"

HandleTable INF_EnvHandles{};
HandleTable INF_ConnHandles{};
HandleTable INF_CursorHandles{};

CRITICAL_SECTION* INF_Mutex() {
  static CRITICAL_SECTION section;
  static const bool made = (InitializeCriticalSection(&section), true);
  (void)made;
  return &section;
}
