// console.cpp -- the console's part in a fatal exit.
// A process here has no console of its own to detach from or to inspect, so
// the pause flag is never set by console_check_fresh and console_release
// only flushes the standard streams.
#include "util/console.h"

#include <atomic>
#include <cstdio>

#include "util/log.h"

namespace {
std::atomic<int> pause_flag{0};
}

void console_release() noexcept {
  if (pause_flag.load() != 0) {
    fprintf(stderr, "\nPress RETURN to exit %s", log_progname != nullptr ? log_progname : "");
    fflush(stderr);
    (void)getchar();
  }
  fflush(stdout);
  fflush(stderr);
}

void console_check_fresh() noexcept {
  // No screen buffer to ask where its cursor stands: the flag stays as it is.
}
