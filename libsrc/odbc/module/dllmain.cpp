// dllmain.cpp -- the one object compiled apart for each driver library: it
// names the build (KES_UNICODE_BUILD 1 for kesdrvw, 0 for kesdrva) and runs the
// library's attach and detach with the Informix agent as the back end.
// Everything else is shared by the two builds.

#include <cstdint>

#include "drv_inf/inf_bind.h"
#include "odbc/conn.h"
#include "odbc/startup.h"
#include "platform/windows/module.h"

#ifndef KES_UNICODE_BUILD
#error "KES_UNICODE_BUILD must name the build"
#endif

extern "C" const KesModule KesThisModule = {KES_UNICODE_BUILD};

extern "C" int DllMain(HMODULE module, uint32_t reason, void*) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: DriverSetBinder(INF_Bind); return DriverAttach(module);
    case DLL_PROCESS_DETACH: return DriverDetach();
    default: return 1;
  }
}
