// dllmain.cpp -- the one object compiled apart for each driver library and the
// one place where the layers are put together: it names the build
// (KES_UNICODE_BUILD 1 for kesdrvw, 0 for kesdrva), binds the Informix agent
// with the cursor layer and the XA proxy over it, and runs the library's
// attach and detach. Everything else is shared by the two builds, and no other
// file of the core sees the agent, the cursor layer or the XA proxy but
// through the shared contract (libsrc/drv).

#include <cstdint>

#include "drv_inf/inf_ops.h"
#include "odbc/conn.h"
#include "odbc/startup.h"
#include "platform/windows/module.h"
#include "scrs/scr_ops.h"
#include "xa/xap.h"

#ifndef KES_UNICODE_BUILD
#error "KES_UNICODE_BUILD must name the build"
#endif

extern "C" const KesModule KesThisModule = {KES_UNICODE_BUILD};

// Installs INF_Ops with caps DRV_CAP_THREADSAFE, then lets the cursor layer and
// the XA proxy wrap it, in that order: every call passes the proxy, then the
// cursor layer, then the agent. Runs at library start-up and inside the
// connect (under DriverLock); the wrappers make their copies once per process.
// -> 0.
int32_t INF_Bind(DriverRecord* rec) {
  rec->ops = &INF_Ops;
  rec->caps = DRV_CAP_THREADSAFE;
  (void)SCR_Interpose(rec);
  (void)XAP_Install(rec);
  return 0;
}

extern "C" int DllMain(HMODULE module, uint32_t reason, void*) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: DriverSetBinder(INF_Bind); return DriverAttach(module);
    case DLL_PROCESS_DETACH: return DriverDetach();
    default: return 1;
  }
}
