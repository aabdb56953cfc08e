// startup.cpp -- library attach and detach, the setup exports and the setup
// registry key.
// Attach and detach run once each per load (the module layer sees to it); a
// failed attach leaves the dispatcher closed, so every call answers SQL_ERROR.

#include "odbc/startup.h"

#include <cstdio>
#include <cstring>

#include "drv/export.h"
#include "drv/layercalls.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/trace.h"
#include "platform/windows/msgbox.h"
#include "platform/windows/registry.h"
#include "res/strtab.h"
#include "util/log.h"

DriverRecord GlobalDriver{};
void* QuietModeWindow = QUIET_MODE_UNSET;

namespace {
HMODULE thisModule = nullptr;
}

int IsWin32sOrOld() {
  uint32_t v = GetVersion();
  return (v > 0x80000000u && (v & 0xFF) <= 3) ? -1 : 0;
}

int ShowMessage(void*, const char* text, const char* caption, uint32_t type) {
  if (QuietModeWindow == nullptr) return 0;
  // Without a window of the application's there is nowhere to show a box: the
  // text goes to the trace, never to the application's standard streams.
  if (QuietModeWindow == QUIET_MODE_UNSET) {
    log_printf(LOG_WARNING, "odbc/startup", __LINE__, "%s: %s", caption != nullptr ? caption : "",
               text != nullptr ? text : "");
    return IDOK;
  }
  return MessageBoxA(QuietModeWindow, text, caption, type);
}

int DriverMessageBox(const char* text, uint32_t type) {
  char caption[200] = {};
  LoadStringA(thisModule, IDS_CAPTION, caption, sizeof caption);
  return ShowMessage(nullptr, text, caption, type);
}

int DriverAttach(HMODULE module) {
  thisModule = module;
  char text[200] = {};
  if (IsWin32sOrOld() == -1) {
    LoadStringA(module, IDS_REQUIRES_WIN32, text, sizeof text);
    DriverMessageBox(text, MB_ICONEXCLAMATION);
    return 0;
  }
  if (HandlesInit() == -1) {
    LoadStringA(module, IDS_ODBC_INIT_FAILED, text, sizeof text);
    DriverMessageBox(text, MB_ICONEXCLAMATION);
    return 0;
  }
  DriverBindFn bind = DriverGetBinder();
  if (bind != nullptr) (void)bind(&GlobalDriver);
  TraceOpen(TRACE_ODBC);
  if (TraceIsOpen(TRACE_ODBC)) OpenLogSinks();
  return 1;
}

int DriverDetach() {
  // With a call still in progress the trace and its sink stay: that call
  // still writes to them.
  if (HandlesTerm() == 0) {
    CloseLogSinks();
    TraceClose(TRACE_ODBC);
  }
  (void)XA_Shutdown();
  return 1;
}

int ReadSetupRegistryValue(const char* subkey, const char* name, const char* def, char* buf,
                           int length) {
  if (buf == nullptr || length <= 0) return 0;
  char root[512];
  GetSetupRegistry(root, sizeof root);
  char path[1024];
  snprintf(path, sizeof path, "%s\\%s", root, subkey);
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    uint32_t type = 0;
    uint32_t size = static_cast<uint32_t>(length - 1);
    int32_t rc =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<uint8_t*>(buf), &size);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS && type == REG_SZ) {
      buf[length - 1] = '\0';
      return static_cast<int>(size);
    }
  }
  size_t n = strnlen(def, static_cast<size_t>(length) - 1);
  memcpy(buf, def, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

KES_EXPORT_BEGIN

int GetSetupDatabase(char* buffer, uint64_t size) {
  if (buffer == nullptr || size == 0) return 1;
  int max = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  LoadStringA(thisModule, IDS_SETUP_NAME, buffer, max);
  return 1;
}

int GetSetupRegistry(char* buffer, uint64_t size) {
  if (buffer == nullptr || size == 0) return 1;
  char name[128] = {};
  LoadStringA(thisModule, IDS_SETUP_NAME, name, sizeof name);
  char path[512];
  snprintf(path, sizeof path, "SOFTWARE\\Kestrane Software\\%s", name);
  size_t n = strlen(path);
  if (n > size - 1) n = static_cast<size_t>(size - 1);
  memcpy(buffer, path, n);
  buffer[n] = '\0';
  return 1;
}

int LibMain(void*, ...) { return kes_library_attach(); }

int WEP(int) {
  kes_library_detach();
  return 1;
}

KES_EXPORT_END
