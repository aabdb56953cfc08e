// module.cpp -- the library's attach and detach, its identity and file name, string loading.
// Holds the ELF constructor and destructor; the build links this object into every program
// that uses the layer (see CMakeLists.txt), because nothing else needs to refer to it.
#include "platform/windows/module.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/windows/errors.h"
#include "res/strtab.h"

extern "C" __attribute__((weak)) const KesModule KesThisModule;
extern "C" __attribute__((weak)) int DllMain(HMODULE module, uint32_t reason, void* reserved);

namespace {

// Recursive, so that DllMain may ask kes_library_attached() while it runs.
pthread_mutex_t attachLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
bool attached = false;

class AttachGuard {
 public:
  AttachGuard() { pthread_mutex_lock(&attachLock); }
  ~AttachGuard() { pthread_mutex_unlock(&attachLock); }
  AttachGuard(const AttachGuard&) = delete;
  AttachGuard& operator=(const AttachGuard&) = delete;
};

__attribute__((constructor)) void onLoad() { (void)kes_library_attach(); }
__attribute__((destructor)) void onUnload() { kes_library_detach(); }

uint32_t copyName(const char* name, char* buffer, uint32_t size) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  size_t len = std::strlen(name);
  if (len >= size) {
    std::memcpy(buffer, name, size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, name, len + 1);
  return static_cast<uint32_t>(len);
}

}  // namespace

// Named in the link options of this library, so that the linker always takes this object.
extern "C" void kes_library_hooks_anchor() {}

int kes_library_attach() noexcept {
  AttachGuard guard;
  if (attached) return 1;
  int ok = DllMain ? DllMain(kes_this_module(), DLL_PROCESS_ATTACH, nullptr) : 1;
  attached = ok != 0;
  return ok;
}

void kes_library_detach() noexcept {
  AttachGuard guard;
  if (!attached) return;
  attached = false;
  if (DllMain) (void)DllMain(kes_this_module(), DLL_PROCESS_DETACH, nullptr);
}

int kes_library_attached() noexcept {
  AttachGuard guard;
  return attached ? 1 : 0;
}

HMODULE kes_this_module() noexcept { return &KesThisModule; }

uint32_t GetVersion() noexcept {
  // Windows 10 (major 10, minor 0, build 19045); bit 31 clear marks an NT-based system.
  return (19045u << 16) | (0u << 8) | 10u;
}

uint32_t GetModuleFileNameA(HMODULE module, char* buffer, uint32_t size) noexcept {
  char path[PATH_MAX];
  const char* name = nullptr;
  if (module) {
    // This layer is linked into the module itself, so its own code tells where the module lies.
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<const void*>(&kes_library_hooks_anchor), &info,
                reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) &&
        map && map->l_name && *map->l_name) {
      name = map->l_name;
      // A library opened by a relative path: resolve it while the directory still fits.
      if (*name != '/' && realpath(name, path)) name = path;
    }
  }
  if (!name) {  // the program itself, whose link map has no name
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    path[n] = '\0';
    name = path;
  }
  return copyName(name, buffer, size);
}

int LoadStringA(HMODULE module, uint32_t id, char* buffer, int bufferMax) noexcept {
  if (!module) module = kes_this_module();
  if (!module || !buffer || bufferMax < 1) return 0;
  const char* text = ResStringFind(id, module->unicodeBuild);
  if (!text) {
    buffer[0] = '\0';
    return 0;
  }
  size_t len = std::strlen(text);
  size_t room = static_cast<size_t>(bufferMax) - 1;
  if (len > room) {
    len = room;
    // Never end on half a UTF-8 character.
    while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80) --len;
  }
  std::memcpy(buffer, text, len);
  buffer[len] = '\0';
  return static_cast<int>(len);
}
