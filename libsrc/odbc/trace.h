#pragma once
// trace.h -- the ODBC call trace and the XA trace.
// Tracing is configured outside the driver: KES_DEBUGFILE, else the DebugFile
// value of the driver's setup key, read when a stream opens. The name "stderr"
// sends every stream to the standard error stream. Files are created with mode
// 0600 because a trace shows what the application did.
// Every line is written whole under TraceLock and flushed, so lines from several
// threads never interleave. Passwords never reach a trace.

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

inline constexpr int TRACE_ODBC = 0;
inline constexpr int TRACE_XA = 1;
inline constexpr int TRACE_DTC = 2;

// 0 off, 1 every stream is the standard error stream, 2 streams are files.
// Read without the lock by callers that only decide whether to format.
extern std::atomic<int> TraceLevel;

void TraceOpen(int kind);
void TraceClose(int kind);
bool TraceIsOpen(int kind);
void TraceODBC(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceXA(int withThreadId, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TraceDTC(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Registers the log sink on the ODBC trace; CloseLogSinks removes it.
void OpenLogSinks();
void CloseLogSinks();

// The trace file name for a configured name: "$$" a dollar sign, "$H" the home
// directory, "$P" the process id, "$T" the time as %Y%m%d-%H%M%S, "$U" the
// user name; any other "$x" and a trailing "$" vanish. suffix is appended.
std::string TraceExpandName(const char* name, const char* suffix);
// The configured trace name, empty when tracing is not configured.
std::string TraceConfiguredName();
// Current thread's id as the trace prints it.
unsigned long TraceThreadId();
