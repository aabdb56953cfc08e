// log.cpp -- the leveled logger and its sinks.
// Owns the sink list (not the sink records: their owners free them after
// log_close). One recursive lock guards the list, the sinks' date fields and
// their outputs, so a sink can be closed while other threads log and an
// output that logs again does not deadlock.
// Every text a message is made of (the pasted %F and %m, the day line, the
// time stamp) is built here without the locale.
#include "util/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <pthread.h>

#include "util/utalloc.h"

const char* log_progname = nullptr;

namespace {

// A plain recursive mutex, constant-initialised and never destroyed, so that
// logging works from static constructors and from library teardown alike.
pthread_mutex_t list_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
LogSink LogSinkList;  // sentinel; next is null until the first log_open

class ListGuard {
 public:
  ListGuard() { pthread_mutex_lock(&list_lock); }
  ~ListGuard() { pthread_mutex_unlock(&list_lock); }
  ListGuard(const ListGuard&) = delete;
  ListGuard& operator=(const ListGuard&) = delete;
};

// Formats numbers in the "C" locale whatever the application set, for the
// time the guard lives on this thread.
class ClassicLocale {
 public:
  ClassicLocale() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    previous_ = classic != static_cast<locale_t>(nullptr) ? uselocale(classic)
                                                          : static_cast<locale_t>(nullptr);
  }
  ~ClassicLocale() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
  }
  ClassicLocale(const ClassicLocale&) = delete;
  ClassicLocale& operator=(const ClassicLocale&) = delete;

 private:
  locale_t previous_;
};

constexpr const char* kLevelNames[8] = {"EMERG",   "ALERT",  "CRIT", "ERROR",
                                        "WARNING", "NOTICE", "INFO", "DEBUG"};
constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int clamp_level(int level) { return level < 0 ? 0 : level > 7 ? 7 : level; }

// Writes the expanded format into out (LOG_LINE_MAX bytes): the format up to
// its first newline, %F, %L and %m replaced, a newline and a NUL. Pasted
// texts have their '%' doubled so that the formatting step prints them as
// they are. When the buffer fills, the format is cut before the directive in
// progress, so the formatting step never sees half a conversion.
void expand_format(char* out, const char* format, const char* file, int line, int savedErrno) {
  constexpr size_t room = LOG_LINE_MAX - 2;  // keep the newline and the NUL
  size_t n = 0;
  bool full = false;
  auto paste = [&](const char* text) {
    for (; *text != 0 && !full; ++text) {
      size_t need = *text == '%' ? 2 : 1;
      if (n + need > room) {
        full = true;
        break;
      }
      out[n++] = *text;
      if (*text == '%') out[n++] = '%';
    }
  };
  size_t directive = 0;  // where the conversion being copied began
  bool inDirective = false;
  for (const char* p = format; *p != 0 && *p != '\n' && !full; ++p) {
    if (inDirective) {
      if (n + 1 > room) {
        full = true;
        break;
      }
      out[n++] = *p;
      if (strchr("0123456789.-+ #*'hlLqjzt", *p) == nullptr) inDirective = false;
      continue;
    }
    if (*p != '%') {
      if (n + 1 > room) {
        full = true;
        break;
      }
      out[n++] = *p;
      continue;
    }
    char d = p[1];
    if (d == 'F') {
      paste(file != nullptr ? file : "");
      ++p;
    } else if (d == 'L') {
      char digits[16];
      snprintf(digits, sizeof digits, "%d", line);
      paste(digits);
      ++p;
    } else if (d == 'm') {
      paste(util_strerror(savedErrno));
      ++p;
    } else if (d == 0 || d == '\n') {
      paste("%");  // a lone '%' at the end prints as itself
    } else if (d == '%') {
      if (n + 2 > room) {
        full = true;
        break;
      }
      out[n++] = '%';
      out[n++] = '%';
      ++p;
    } else {
      if (n + 1 > room) {
        full = true;
        break;
      }
      directive = n;
      inDirective = true;
      out[n++] = '%';
    }
  }
  if (full && inDirective) n = directive;
  out[n++] = '\n';
  out[n] = 0;
}

void write_day_line(LogSink* sink, int level, const struct tm& now) {
  char line[64];
  snprintf(line, sizeof line, "\n\t\t%s %s %02d %04d\n", kDayNames[now.tm_wday % 7],
           kMonthNames[now.tm_mon % 12], now.tm_mday, now.tm_year + 1900);
  if (sink->output != nullptr) sink->output(sink, level, line);
}

size_t build_prefix(const LogSink* sink, char* line, const struct tm& now, int level,
                    const char* file, int srcLine) {
  char* p = line;
  if (sink->flags & LOG_F_TIME) {
    if (sink->flags & LOG_F_DATE) {
      p += snprintf(p, 32, "%02u:%02u:%02u ", unsigned(now.tm_hour), unsigned(now.tm_min),
                    unsigned(now.tm_sec));
    } else {
      p += snprintf(p, 32, "%02u/%02u/%04u %02u:%02u:%02u ", unsigned(now.tm_mon + 1),
                    unsigned(now.tm_mday), unsigned(now.tm_year + 1900), unsigned(now.tm_hour),
                    unsigned(now.tm_min), unsigned(now.tm_sec));
    }
  }
  if (sink->flags & LOG_F_LEVEL) {
    p = util_stpcpy(p, kLevelNames[level]);
    *p++ = ' ';
  }
  if (sink->flags & LOG_F_PROGNAME) {
    // The name is bounded so that a long one cannot crowd out the message.
    p += snprintf(p, 256, "%s ", log_progname != nullptr ? log_progname : "?");
  }
  if ((sink->flags & LOG_F_FILELINE) && file != nullptr) {
    p += snprintf(p, 512, "(%.480s:%d) ", file, srcLine);
  }
  if (p != line && (sink->flags & (LOG_F_LEVEL | LOG_F_PROGNAME | LOG_F_FILELINE))) {
    p[-1] = ':';
    *p++ = ' ';
  }
  *p = 0;
  return static_cast<size_t>(p - line);
}

void link_sink(LogSink* sink) {
  if (LogSinkList.next == nullptr) LogSinkList.next = LogSinkList.prev = &LogSinkList;
  sink->next = LogSinkList.next;
  sink->prev = &LogSinkList;
  LogSinkList.next->prev = sink;
  LogSinkList.next = sink;
}

void file_close(LogSink* sink) {
  if (sink->file != nullptr) fclose(sink->file);
  sink->file = nullptr;
}

}  // namespace

int log_vprint(int level, const char* file, int line, uint32_t categoryMask, const char* format,
               va_list args) noexcept {
  int savedErrno = errno;
  if (format == nullptr) format = "";
  ListGuard guard;
  // A library has no stream of its own to write to: until a sink is opened a
  // message goes nowhere, exactly as when no sink admits it.
  if (LogSinkList.next == nullptr) {
    errno = savedErrno;
    return 0;
  }
  char expanded[LOG_LINE_MAX];
  ClassicLocale classic;
  level = clamp_level(level);
  time_t clock = time(nullptr);
  struct tm now {};
  localtime_r(&clock, &now);
  bool haveExpanded = false;
  char text[LOG_LINE_MAX];
  for (LogSink* sink = LogSinkList.next; sink != &LogSinkList; sink = sink->next) {
    if (categoryMask != 0 && (sink->levelMask[level] & categoryMask) == 0) continue;
    if ((sink->flags & LOG_F_DATE) &&
        (now.tm_mday != sink->lastDay || now.tm_mon + 1 != sink->lastMonth ||
         now.tm_year + 1900 != sink->lastYear)) {
      write_day_line(sink, level, now);
      sink->lastDay = now.tm_mday;
      sink->lastMonth = now.tm_mon + 1;
      sink->lastYear = now.tm_year + 1900;
    }
    size_t used = build_prefix(sink, text, now, level, file, line);
    if (!haveExpanded) {
      expand_format(expanded, format, file, line, savedErrno);
      haveExpanded = true;
    }
    va_list copy;
    va_copy(copy, args);
    int wrote = vsnprintf(text + used, sizeof text - used, expanded, copy);
    va_end(copy);
    if (wrote >= 0 && static_cast<size_t>(wrote) >= sizeof text - used) {
      text[sizeof text - 2] = '\n';  // a cut line still ends as a line
    }
    if (sink->output != nullptr) sink->output(sink, level, text);
  }
  errno = savedErrno;
  return 0;
}

int log_printf(int level, const char* file, int line, const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  log_vprint(level, file, line, 1, format, args);
  va_end(args);
  return 0;
}

int log_printf_mask(int level, const char* file, int line, uint32_t categoryMask,
                    const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  log_vprint(level, file, line, categoryMask, format, args);
  va_end(args);
  return 0;
}

#define KES_LOG_SHORT(name, level)                  \
  int name(const char* format, ...) noexcept {      \
    va_list args;                                   \
    va_start(args, format);                         \
    log_vprint(level, nullptr, 0, 1, format, args); \
    va_end(args);                                   \
    return 0;                                       \
  }
KES_LOG_SHORT(log_error, LOG_ERR)
KES_LOG_SHORT(log_warning, LOG_WARNING)
KES_LOG_SHORT(log_info, LOG_INFO)
KES_LOG_SHORT(log_debug, LOG_DEBUG)
#undef KES_LOG_SHORT

void log_set_level_mask(LogSink* sink, int level, uint32_t bits) noexcept {
  level = clamp_level(level);
  ListGuard guard;
  for (int i = 0; i < 8; ++i) {
    if (i <= level)
      sink->levelMask[i] |= bits;
    else
      sink->levelMask[i] &= ~bits;
  }
}

void log_set_level(LogSink* sink, int level) noexcept {
  log_set_level_mask(sink, level, 0xFFFFFFFFu);
}

LogSink* log_open(int level, uint32_t categoryMask, uint32_t flags) noexcept {
  auto* sink = static_cast<LogSink*>(calloc(1, sizeof(LogSink)));
  ListGuard guard;
  if (LogSinkList.next == nullptr) LogSinkList.next = LogSinkList.prev = &LogSinkList;
  if (sink == nullptr) return nullptr;
  sink->flags = flags;
  log_set_level_mask(sink, level, categoryMask);
  link_sink(sink);
  return sink;
}

LogSink* log_open_callback(LogOutputFn output, LogCloseFn close, int level, uint32_t categoryMask,
                           uint32_t flags) noexcept {
  // The callbacks go in under the lock, before any message can reach the sink.
  ListGuard guard;
  LogSink* sink = log_open(level, categoryMask, flags);
  if (sink == nullptr) return nullptr;
  sink->output = output;
  sink->close = close;
  return sink;
}

LogSink* log_open_stream(FILE* stream, int level, uint32_t categoryMask, uint32_t flags) noexcept {
  ListGuard guard;
  LogSink* sink = log_open_callback(log_file_output, nullptr, level, categoryMask, flags);
  if (sink != nullptr) sink->file = stream;
  return sink;
}

LogSink* log_open_file(FILE* stream, int level, uint32_t categoryMask, uint32_t flags) noexcept {
  ListGuard guard;
  LogSink* sink = log_open_callback(log_file_output, file_close, level, categoryMask, flags);
  if (sink != nullptr) sink->file = stream;
  return sink;
}

LogSink* log_open_path(const char* path, int level, uint32_t categoryMask,
                       uint32_t flags) noexcept {
  if (path == nullptr) return nullptr;
  FILE* stream = fopen(path, "a");
  if (stream == nullptr) return nullptr;
  LogSink* sink = log_open_file(stream, level, categoryMask, flags);
  if (sink == nullptr) fclose(stream);
  return sink;
}

LogSink* log_open_null(void*, int, int, int level, uint32_t categoryMask, uint32_t flags) noexcept {
  return log_open(level, categoryMask, flags);
}

void log_file_output(LogSink* sink, int, const char* line) noexcept {
  if (sink->file == nullptr) return;
  fputs(line, sink->file);
  fflush(sink->file);
}

int log_close(LogSink* sink) noexcept {
  if (sink == nullptr) return 0;
  ListGuard guard;
  if (sink->close != nullptr) sink->close(sink);
  if (sink->next != nullptr && sink->prev != nullptr) {
    sink->prev->next = sink->next;
    sink->next->prev = sink->prev;
  }
  sink->next = sink->prev = sink;
  return 0;
}

void log_close_all() noexcept {
  ListGuard guard;
  if (LogSinkList.next == nullptr) return;
  while (LogSinkList.next != &LogSinkList) log_close(LogSinkList.next);
}

int log_parse_mask(const char* text, const LogMaskName* table, int count, uint32_t* mask) noexcept {
  *mask = 0;
  if (text == nullptr) return 0;
  char name[2048];
  const char* p = text;
  for (;;) {
    const char* comma = strchr(p, ',');
    size_t len = comma != nullptr ? static_cast<size_t>(comma - p) : strlen(p);
    if (len >= sizeof name) return -1;  // longer than any name can be
    memcpy(name, p, len);
    name[len] = 0;
    int i = 0;
    while (i < count && strcmp(table[i].name, name) != 0) ++i;
    if (i == count) return -1;
    *mask |= table[i].bit;
    if (comma == nullptr) return 0;
    p = comma + 1;
  }
}
