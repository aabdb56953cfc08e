// sysinfo.cpp -- temporary directory, tick count and user name from the POSIX environment.
#include "platform/windows/sysinfo.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/windows/errors.h"

uint32_t GetTempPathA(uint32_t bufferLength, char* buffer) noexcept {
  const char* dir = std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  size_t len = std::strlen(dir);
  bool slash = dir[len - 1] == '/';
  size_t total = len + (slash ? 0 : 1);
  if (!buffer || bufferLength < total + 1) return static_cast<uint32_t>(total + 1);
  std::memcpy(buffer, dir, len);
  if (!slash) buffer[len] = '/';
  buffer[total] = '\0';
  return static_cast<uint32_t>(total);
}

uint32_t GetTickCount() noexcept {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int GetUserNameA(char* buffer, uint32_t* size) noexcept {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string name;
  try {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> scratch(hint > 0 ? static_cast<size_t>(hint) : 4096);
    passwd pw{};
    passwd* found = nullptr;
    int rc;
    while ((rc = getpwuid_r(geteuid(), &pw, scratch.data(), scratch.size(), &found)) == ERANGE)
      scratch.resize(scratch.size() * 2);
    if (rc == 0 && found && found->pw_name) {
      name = found->pw_name;
    } else if (const char* env = std::getenv("USER"); env && *env) {
      // Containers often run under a uid that the password database does not list.
      name = env;
    }
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (name.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  uint32_t needed = static_cast<uint32_t>(name.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, name.c_str(), needed);
  *size = needed;
  return 1;
}
