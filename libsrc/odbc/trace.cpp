// trace.cpp -- the ODBC call trace, the XA trace and the log sink on the trace.
// Owns the three trace streams and TraceLock. A line is formatted first and
// written with one call under the lock, then flushed, so it reaches the file
// whole even when the process dies right after.
// Dates and names are formatted by hand in the C locale: the process locale
// never changes a trace.

#include "odbc/trace.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "drv/layercalls.h"
#include "odbc/startup.h"
#include "platform/windows/critsec.h"
#include "platform/windows/sysinfo.h"
#include "platform/windows/thread.h"
#include "util/log.h"
#include "util/str.h"

std::atomic<int> TraceLevel{0};

namespace {

FILE* streams[3] = {nullptr, nullptr, nullptr};
LogSink* traceSink = nullptr;

// Never destroyed: a late trace from another thread must still find it.
CRITICAL_SECTION* trace_lock() {
  static CRITICAL_SECTION section;
  static const bool made = (InitializeCriticalSection(&section), true);
  (void)made;
  return &section;
}

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct tm local_now() {
  time_t t = time(nullptr);
  struct tm tmv {};
  localtime_r(&t, &tmv);
  return tmv;
}

// "%a %b %d %H:%M:%S %Y" in the C locale.
std::string banner_time(const struct tm& t) {
  char buf[64];
  snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d", kDays[t.tm_wday % 7],
           kMonths[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buf;
}

std::string vformat(const char* format, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  char small[512];
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  vsnprintf(big.data(), big.size(), format, ap);
  return std::string(big.data(), static_cast<size_t>(n));
}

// Writes prefix + text + "\n" to the stream of kind in one write.
void write_line(int kind, bool withThreadId, const char* format, va_list ap) {
  if (TraceLevel.load() == 0) return;
  std::string line;
  if (withThreadId) {
    char pre[32];
    snprintf(pre, sizeof pre, "[%ld] ", static_cast<long>(TraceThreadId()));
    line = pre;
  }
  line += vformat(format, ap);
  line += '\n';
  CriticalSectionLock g(trace_lock());
  FILE* f = streams[kind];
  if (f == nullptr) return;
  fwrite(line.data(), 1, line.size(), f);
  fflush(f);
}

void write_plain(int kind, const char* format, ...) __attribute__((format(printf, 2, 3)));
void write_plain(int kind, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_line(kind, false, format, ap);
  va_end(ap);
}

std::string home_dir() {
  const char* h = getenv("HOME");
  std::string home;
  if (h != nullptr && h[0] != '\0') {
    home = h;
  } else {
    struct passwd pw {};
    struct passwd* res = nullptr;
    char buf[4096];
    if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &res) == 0 && res != nullptr &&
        res->pw_dir != nullptr)
      home = res->pw_dir;
  }
  if (home.empty()) return home;
  if (home.back() != '/') home += '/';
  return home;
}

std::string user_name() {
  char buf[256];
  uint32_t size = sizeof buf;
  if (GetUserNameA(buf, &size) == 0) return std::string();
  return buf;
}

void trace_sink_output(LogSink*, int, const char* line) {
  CriticalSectionLock g(trace_lock());
  FILE* f = streams[TRACE_ODBC];
  if (f == nullptr) return;
  fputs(line, f);
  fflush(f);
}

}  // namespace

unsigned long TraceThreadId() { return GetCurrentThreadId(); }

std::string TraceConfiguredName() {
  const char* env = getenv("KES_DEBUGFILE");
  if (env != nullptr && env[0] != '\0') return env;
  char buf[1024] = {};
  ReadSetupRegistryValue("ODBC", "DebugFile", "", buf, sizeof buf);
  return buf;
}

std::string TraceExpandName(const char* name, const char* suffix) {
  std::string out;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p != '$') {
      out += *p;
      continue;
    }
    char m = p[1];
    if (m == '\0') break;
    ++p;
    switch (m) {
      case '$': out += '$'; break;
      case 'H':
      case 'h': out += home_dir(); break;
      case 'P':
      case 'p': {
        char buf[32];
        snprintf(buf, sizeof buf, "%ld", static_cast<long>(getpid()));
        out += buf;
        break;
      }
      case 'T':
      case 't': {
        struct tm t = local_now();
        char buf[32];
        snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                 t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
        out += buf;
        break;
      }
      case 'U':
      case 'u': out += user_name(); break;
      default: break;
    }
  }
  out += suffix;
  return out;
}

namespace {

// Opens a trace file for this user alone. A trace holds statement text and data,
// so the path is not followed through a symbolic link, a file that is not a regular
// one of this user (another user's file, a device, a pipe) is refused, and what is
// opened is emptied and made private only once it has passed those checks.
int open_private(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
      fchmod(fd, 0600) != 0 || ftruncate(fd, 0) != 0) {
    close(fd);
    return -1;
  }
  const int fl = fcntl(fd, F_GETFL);
  if (fl != -1) (void)fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

}  // namespace

void TraceOpen(int kind) {
  if (kind < TRACE_ODBC || kind > TRACE_DTC) return;
  {
    CriticalSectionLock g(trace_lock());
    if (streams[kind] != nullptr) return;
  }
  std::string name = TraceConfiguredName();
  if (name.empty()) return;
  FILE* opened;
  if (name == "stderr") {
    CriticalSectionLock g(trace_lock());
    for (FILE*& s : streams) s = stderr;
    TraceLevel.store(1);
    opened = stderr;
  } else {
    const char* suffix = kind == TRACE_XA ? "-xa" : kind == TRACE_DTC ? "-tp" : "";
    std::string path = TraceExpandName(name.c_str(), suffix);
    int fd = open_private(path);
    if (fd < 0) return;
    opened = fdopen(fd, "w");
    if (opened == nullptr) {
      close(fd);
      return;
    }
    CriticalSectionLock g(trace_lock());
    streams[kind] = opened;
    TraceLevel.store(2);
  }
  const std::string started = "** started on " + banner_time(local_now()) + " **";
  if (kind == TRACE_XA) {
    write_plain(kind, "** Kestrane XA Trace File **");
    write_plain(kind, "%s", started.c_str());
    write_plain(kind, "%s", "");
  } else {
    write_plain(kind, "** Kestrane ODBC Trace file for %s **", get_program_name());
    write_plain(kind, "%s", started.c_str());
  }
}

void TraceClose(int kind) {
  if (kind < TRACE_ODBC || kind > TRACE_DTC) return;
  {
    CriticalSectionLock g(trace_lock());
    if (streams[kind] == nullptr) return;
  }
  write_plain(kind, "\n** finished on %s **", banner_time(local_now()).c_str());
  write_plain(kind, "** normal end **");
  CriticalSectionLock g(trace_lock());
  FILE* f = streams[kind];
  streams[kind] = nullptr;
  if (f != nullptr && f != stderr) fclose(f);
  if (streams[0] == nullptr && streams[1] == nullptr && streams[2] == nullptr) TraceLevel.store(0);
}

bool TraceIsOpen(int kind) {
  CriticalSectionLock g(trace_lock());
  return kind >= TRACE_ODBC && kind <= TRACE_DTC && streams[kind] != nullptr;
}

void TraceODBC(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_line(TRACE_ODBC, false, format, ap);
  va_end(ap);
}

void TraceXA(int withThreadId, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_line(TRACE_XA, withThreadId != 0, format, ap);
  va_end(ap);
}

void CoreXaTraceOpen() { TraceOpen(TRACE_XA); }
void CoreXaTraceClose() { TraceClose(TRACE_XA); }
bool CoreXaTraceIsOpen() { return TraceIsOpen(TRACE_XA); }

void CoreXaTrace(int withThreadId, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_line(TRACE_XA, withThreadId != 0, format, ap);
  va_end(ap);
}

void TraceDTC(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_line(TRACE_DTC, true, format, ap);
  va_end(ap);
}

void OpenLogSinks() {
  if (traceSink != nullptr || !TraceIsOpen(TRACE_ODBC)) return;
  traceSink = log_open_callback(trace_sink_output, nullptr, LOG_DEBUG, 0xFFFFFFFFu,
                                LOG_F_DATE | LOG_F_TIME);
}

void CloseLogSinks() {
  if (traceSink == nullptr) return;
  log_close(traceSink);
  free(traceSink);
  traceSink = nullptr;
}
