#pragma once
// tmpdir.h -- a private directory for one test process. gtest_discover_tests runs
// every test in a process of its own, so a directory left behind per process piles up.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

// Creates /tmp/<prefix>XXXXXX and removes it with its contents when the process
// exits; answers the path, or "" when it cannot be made.
inline std::string MakeProcessTempDir(const char* prefix) {
  static std::string made;  // one per process is all the fixtures need
  std::string tmpl = std::string("/tmp/") + prefix + "XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) return {};
  if (made.empty()) {
    made = tmpl;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
  }
  return tmpl;
}
