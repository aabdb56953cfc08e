// registry.cpp -- read-only registry over INI-style files.
#include "platform/windows/registry.h"

struct KesRegKey {
  int root;
};

KesRegKey KesRegClassesRoot{1};
KesRegKey KesRegCurrentUser{2};
KesRegKey KesRegLocalMachine{3};

int32_t RegOpenKeyExA(HKEY key, const char* subKey, uint32_t options, uint32_t access,
                      HKEY* result) noexcept {
  if (result) *result = nullptr;
  return ERROR_FILE_NOT_FOUND;
}

int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* size) noexcept {
  return ERROR_FILE_NOT_FOUND;
}

int32_t RegCloseKey(HKEY key) noexcept { return ERROR_SUCCESS; }
