#pragma once
// startup.h -- library attach and detach, the setup exports, the driver's setup
// key in the registry, and the message boxes.
// Attach creates the generic layer's locks and handle tables, binds the
// process-wide DriverRecord and opens the ODBC trace; detach undoes it in the
// reverse order and ends the XA support last.
// Threading: attach and detach run under the loader's lock.

#include <cstdint>

#include "drv/drvops.h"
#include "platform/windows/module.h"

// The process-wide back-end binding made at attach.
extern DriverRecord GlobalDriver;

// Owner window of the driver's message boxes (SQL_ATTR_QUIET_MODE): -2 until
// set (no owner), null (no boxes at all) or the application's window.
inline void* const QUIET_MODE_UNSET = reinterpret_cast<void*>(static_cast<intptr_t>(-2));
extern void* QuietModeWindow;

// 1 when loaded, 0 when the library must not load (the reason is shown).
int DriverAttach(HMODULE module);
int DriverDetach();
// -1 on a Windows too old for the driver, else 0.
int IsWin32sOrOld();

// Reads a REG_SZ value of a subkey of the driver's setup key; the default is
// copied when the key or value is missing or not text. Answers the length
// the registry reported (NUL included) or the default's length.
int ReadSetupRegistryValue(const char* subkey, const char* name, const char* def, char* buf,
                           int length);

int ShowMessage(void* owner, const char* text, const char* caption, uint32_t type);
int DriverMessageBox(const char* text, uint32_t type);

extern "C" {
int GetSetupDatabase(char* buffer, uint64_t size);
int GetSetupRegistry(char* buffer, uint64_t size);
int LibMain(void* module, ...);
int WEP(int reserved);
}
