// odbcinst.cpp -- loads the ODBC installer library and forwards to its 8-bit
// functions.

#include "odbc/odbcinst.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

#include "drv/layercalls.h"
#include "odbc/startup.h"
#include "platform/windows/critsec.h"
#include "platform/windows/msgbox.h"

namespace {

constexpr const char* kInstallerName = "libodbcinst.so.2";
constexpr const char* kCaption = "ODBC Installer Error";

CRITICAL_SECTION* loader_lock() {
  static CRITICAL_SECTION section;
  static const bool made = (InitializeCriticalSection(&section), true);
  (void)made;
  return &section;
}
void* installer = nullptr;
bool missingReported = false;
bool procReported = false;

using GetProfileFn = int (*)(const char*, const char*, const char*, char*, int, const char*);
using ReadFileDsnFn = int (*)(const char*, const char*, const char*, char*, uint16_t, uint16_t*);

}  // namespace

void* LoadInstallerLibrary() {
  CriticalSectionLock g(loader_lock());
  if (installer == nullptr) installer = dlopen(kInstallerName, RTLD_NOW | RTLD_LOCAL);
  return installer;
}

void* GetInstallerProc(const char* name) {
  void* lib = LoadInstallerLibrary();
  if (lib == nullptr) {
    bool show;
    {
      CriticalSectionLock g(loader_lock());
      show = !missingReported;
      missingReported = true;
    }
    if (show) {
      std::string text = std::string("The ODBC installer library (") + kInstallerName +
                         ") is not installed on this system.";
      ShowMessage(nullptr, text.c_str(), kCaption, MB_ICONINFORMATION);
    }
    return nullptr;
  }
  void* proc = dlsym(lib, name);
  if (proc == nullptr) {
    bool show;
    {
      CriticalSectionLock g(loader_lock());
      show = !procReported;
      procReported = true;
    }
    if (show) {
      std::string text = std::string("The ODBC installer library (") + kInstallerName +
                         ") does not provide the function " + name + ".";
      ShowMessage(nullptr, text.c_str(), kCaption, MB_ICONINFORMATION);
    }
  }
  return proc;
}

int SQLGetPrivateProfileString(const char* section, const char* entry, const char* def, char* buf,
                               int size, const char* file) {
  if (buf == nullptr || size <= 0) return 0;
  memset(buf, 0, static_cast<size_t>(size));
  auto fn = reinterpret_cast<GetProfileFn>(GetInstallerProc("SQLGetPrivateProfileString"));
  if (fn == nullptr) return 0;
  int n = fn(section, entry, def, buf, size, file);
  buf[size - 1] = '\0';
  if (n < 0) {
    // No configuration files at all: every value is absent.
    buf[0] = '\0';
    return 0;
  }
  return static_cast<int>(strlen(buf));
}

int SQLReadFileDSN(const char* file, const char* section, const char* key, char* buf, uint16_t size,
                   uint16_t* len) {
  if (buf == nullptr || size == 0) return 0;
  memset(buf, 0, size);
  auto fn = reinterpret_cast<ReadFileDsnFn>(GetInstallerProc("SQLReadFileDSN"));
  if (fn == nullptr) return 0;
  uint16_t got = 0;
  int ok = fn(file, section, key, buf, size, &got);
  buf[size - 1] = '\0';
  if (len != nullptr) *len = static_cast<uint16_t>(strlen(buf));
  return ok;
}

int CoreProfileString(const char* section, const char* entry, const char* def, char* buf, int size,
                      const char* file) {
  return SQLGetPrivateProfileString(section, entry, def, buf, size, file);
}
