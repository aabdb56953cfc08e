// log.h -- the leveled logger: one finished line per message, handed to every
// registered LogSink whose level and category masks admit it. A message that
// no sink admits, or that comes before any sink is opened, goes nowhere: the
// library never writes to the process's standard streams by itself.
// Format directives of our own: %F the source file, %L the source line, %m
// the C library text of errno as it was on entry; their text is pasted in
// literally. A format is cut at its first newline.
// Threading: the sink list is guarded by one lock; a sink's output runs under
// it, so lines never interleave and a sink closed by log_close is no longer
// in use by any thread once log_close returns.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

// The syslog numbers, as macros so that <syslog.h> may be included as well.
#define LOG_EMERG 0
#define LOG_ALERT 1
#define LOG_CRIT 2
#define LOG_ERR 3
#define LOG_WARNING 4
#define LOG_NOTICE 5
#define LOG_INFO 6
#define LOG_DEBUG 7

// Prefix flags of a sink.
inline constexpr uint32_t LOG_F_DATE = 0x1;       // a day line before a new date; time-only stamps
inline constexpr uint32_t LOG_F_TIME = 0x2;       // local time stamp
inline constexpr uint32_t LOG_F_LEVEL = 0x4;      // level name
inline constexpr uint32_t LOG_F_PROGNAME = 0x8;   // log_progname
inline constexpr uint32_t LOG_F_FILELINE = 0x10;  // "(file:line)" when a file is given

inline constexpr int LOG_LINE_MAX = 2048;  // bytes of an expanded format and of a line

struct LogSink;
typedef void (*LogOutputFn)(LogSink* sink, int level, const char* line);
typedef void (*LogCloseFn)(LogSink* sink);

struct LogSink {
  LogSink* next;  // circular list behind LogSinkList, newest first
  LogSink* prev;
  uint32_t levelMask[8];  // per level, the categories admitted
  uint32_t flags;         // LOG_F_*
  int32_t lastMonth;      // date of the last day line (1-12, day, year); 0 in a new sink
  int32_t lastDay;
  int32_t lastYear;
  LogOutputFn output;  // null: the sink swallows everything
  LogCloseFn close;    // run by log_close, may be null
  FILE* file;          // stream of the file and stream sinks
};

struct LogMaskName {
  const char* name;
  uint32_t bit;
};

// The program name shown by LOG_F_PROGNAME; "?" while unset.
extern const char* log_progname;

int log_printf(int level, const char* file, int line, const char* format, ...) noexcept;
int log_vprint(int level, const char* file, int line, uint32_t categoryMask, const char* format,
               va_list args) noexcept;
int log_printf_mask(int level, const char* file, int line, uint32_t categoryMask,
                    const char* format, ...) noexcept;
int log_error(const char* format, ...) noexcept;
int log_warning(const char* format, ...) noexcept;
int log_info(const char* format, ...) noexcept;
int log_debug(const char* format, ...) noexcept;

// The sink is malloc'ed; after log_close its owner frees it with free().
LogSink* log_open(int level, uint32_t categoryMask, uint32_t flags) noexcept;
LogSink* log_open_callback(LogOutputFn output, LogCloseFn close, int level, uint32_t categoryMask,
                           uint32_t flags) noexcept;
// The stream stays open when the sink is closed.
LogSink* log_open_stream(FILE* stream, int level, uint32_t categoryMask, uint32_t flags) noexcept;
// Closing the sink fcloses the stream.
LogSink* log_open_file(FILE* stream, int level, uint32_t categoryMask, uint32_t flags) noexcept;
LogSink* log_open_path(const char* path, int level, uint32_t categoryMask, uint32_t flags) noexcept;
LogSink* log_open_null(void* unused, int unused1, int unused2, int level, uint32_t categoryMask,
                       uint32_t flags) noexcept;
void log_file_output(LogSink* sink, int level, const char* line) noexcept;
void log_set_level_mask(LogSink* sink, int level, uint32_t bits) noexcept;
void log_set_level(LogSink* sink, int level) noexcept;
int log_close(LogSink* sink) noexcept;
void log_close_all() noexcept;
int log_parse_mask(const char* text, const LogMaskName* table, int count, uint32_t* mask) noexcept;
