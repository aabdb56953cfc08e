// odbcinst.cpp -- loads the ODBC installer library and forwards to its 8-bit
// functions, from the 8-bit forms as they are and from the wide forms through
// UTF-8.

#include "odbc/odbcinst.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv/layercalls.h"
#include "odbc/startup.h"
#include "platform/windows/critsec.h"
#include "platform/windows/msgbox.h"
#include "util/conv.h"

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

// A UTF-16 argument as UTF-8 for the 8-bit functions; null stays null.
class Narrowed {
 public:
  explicit Narrowed(const char16_t* text)
      : text_(text != nullptr ? wcs_to_utf8_dup(text) : nullptr),
        lost_(text != nullptr && text_ == nullptr) {}
  ~Narrowed() { std::free(text_); }
  Narrowed(const Narrowed&) = delete;
  Narrowed& operator=(const Narrowed&) = delete;
  const char* get() const { return text_; }
  bool lost() const { return lost_; }  // no memory for the copy

 private:
  char* text_;
  bool lost_;
};

// Room in UTF-8 for any value that fits `units` UTF-16 units (three bytes a
// unit at most), up to the most a file DSN call takes; the library's values
// are far shorter (it cuts them at 1000 characters).
size_t narrow_room(int64_t units) {
  return static_cast<size_t>(std::min<int64_t>(3 * units + 1, UINT16_MAX));
}

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

int SQLGetPrivateProfileStringW(const char16_t* section, const char16_t* entry, const char16_t* def,
                                char16_t* buf, int size, const char16_t* file) {
  if (buf == nullptr || size <= 0) return 0;
  std::memset(buf, 0, static_cast<size_t>(size) * sizeof(char16_t));
  const Narrowed s(section), e(entry), d(def), f(file);
  if (s.lost() || e.lost() || d.lost() || f.lost()) return 0;
  std::vector<char> value(narrow_room(size));
  if (SQLGetPrivateProfileString(s.get(), e.get(), d.get(), value.data(),
                                 static_cast<int>(value.size()), f.get()) <= 0)
    return 0;
  (void)utf8_to_wcs_buf(value.data(), buf, size, nullptr);
  return static_cast<int>(wcs_len(buf));
}

int SQLReadFileDSNW(const char16_t* file, const char16_t* section, const char16_t* key,
                    char16_t* buf, uint16_t size, uint16_t* len) {
  if (len != nullptr) *len = 0;
  if (buf == nullptr || size == 0) return 0;
  std::memset(buf, 0, size * sizeof(char16_t));
  const Narrowed f(file), s(section), k(key);
  if (f.lost() || s.lost() || k.lost()) return 0;
  std::vector<char> value(narrow_room(size));
  const int ok = SQLReadFileDSN(f.get(), s.get(), k.get(), value.data(),
                                static_cast<uint16_t>(value.size()), nullptr);
  if (ok == 0) return 0;
  (void)utf8_to_wcs_buf(value.data(), buf, size, nullptr);
  if (len != nullptr) *len = static_cast<uint16_t>(wcs_len(buf));
  return ok;
}

int CoreProfileString(const char* section, const char* entry, const char* def, char* buf, int size,
                      const char* file) {
  return SQLGetPrivateProfileString(section, entry, def, buf, size, file);
}
