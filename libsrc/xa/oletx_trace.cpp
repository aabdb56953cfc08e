// oletx_trace.cpp -- the OLE transactions trace and the HRESULT names.

#include "xa/oletx_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "drv/layercalls.h"
#include "xa/osprim.h"
#include "platform/windows/thread.h"

namespace {

std::atomic<bool> g_on{false};
OsProcessLock g_lock;  // one line at a time
std::atomic<int32_t> g_objects{0};

// Lines are never indented: nothing nests the trace's calls.
constexpr int kMaxBody = 2047;

struct HResultNameRow {
  uint32_t value;
  const char* name;
};

constexpr HResultNameRow kNames[] = {
    {0x00000000, "S_OK"},
    {0x0004D000, "XACT_S_ASYNC"},
    {0x0004D002, "XACT_S_READONLY"},
    {0x0004D008, "XACT_S_ABORTING"},
    {0x0004D009, "XACT_S_SINGLEPHASE"},
    {0x80004001, "E_NOTIMPL"},
    {0x80004002, "E_NOINTERFACE"},
    {0x80004004, "E_ABORT"},
    {0x80004005, "E_FAIL"},
    {0x8000FFFF, "E_UNEXPECTED"},
    {0x80044002, "E_KES_DSN2HNDL_FAIL"},
    {0x8004D001, "XACT_E_CANTRETAIN"},
    {0x8004D002, "XACT_E_COMMITFAILED"},
    {0x8004D008, "XACT_E_ISOLATIONLEVEL"},
    {0x8004D00B, "XACT_E_NOISORETAIN"},
    {0x8004D00E, "XACT_E_NOTRANSACTION"},
    {0x8004D00F, "XACT_E_NOTSUPPORTED"},
    {0x8004D013, "XACT_E_XTIONEXISTS"},
    {0x8004D016, "XACT_E_INDOUBT"},
    {0x8004D017, "XACT_E_NOTIMEOUT"},
    {0x8004D018, "XACT_E_ALREADYINPROGRESS"},
    {0x8004D019, "XACT_E_ABORTED"},
    {0x8004D01A, "XACT_E_LOGFULL"},
    {0x8004D01B, "XACT_E_TMNOTAVAILABLE"},
    {0x8004D01C, "XACT_E_CONNECTION_DOWN"},
    {0x8004D01D, "XACT_E_CONNECTION_DENIED"},
    {0x8004D103, "XACT_E_NOTSINGLEPHASE"},
    {0x8007000E, "E_OUTOFMEMORY"},
    {0x80070057, "E_INVALIDARG"},
};

void writeLine(const std::string& line) {
  // The XA trace adds the newline every caller's format already ends with.
  std::string text = line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  OsScopedLock g(g_lock.get());
  if (g_on.load()) CoreXaTrace(0, "%s", text.c_str());
}

}  // namespace

void OleTxTraceOpen() {
  CoreXaTraceOpen();
  if (!CoreXaTraceIsOpen()) return;
  if (g_on.exchange(true)) return;
  const time_t t = time(nullptr);
  struct tm tmv {};
  localtime_r(&t, &tmv);
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char started[64];
  // The date is spelled out by hand: the process locale never changes a trace.
  std::snprintf(started, sizeof started, "** Started on %s %s %02d, %02d:%02d **\n",
                kDays[tmv.tm_wday % 7], kMonths[tmv.tm_mon % 12], tmv.tm_mday, tmv.tm_hour,
                tmv.tm_min);
  writeLine("** Kestrane OLE Transactions Interface: Trace file **\n");
  writeLine(started);
  writeLine("\n");
}

void OleTxTraceClose() {
  if (!g_on.exchange(false)) return;
  CoreXaTraceClose();
}

bool OleTxTraceOn() { return g_on.load(); }

void OleTxTrace(const char* format, ...) {
  if (!g_on.load()) return;
  char body[kMaxBody + 1];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(body, sizeof body, format, ap);
  va_end(ap);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "[%ld] ", static_cast<long>(GetCurrentThreadId()));
  writeLine(std::string(prefix) + body);
}

const char* HResultName(HRESULT hr) {
  for (const HResultNameRow& r : kNames)
    if (r.value == static_cast<uint32_t>(hr)) return r.name;
  return "Unknown!";
}

HRESULT OleTxTraceHResult(HRESULT hr) {
  if (g_on.load())
    OleTxTrace(hr >= 0 ? "Call success    : Returned HRESULT: %#.8lx(%s)\n"
                       : "Call failure >>>: Returned HRESULT: %#.8lx(%s)\n",
               static_cast<unsigned long>(static_cast<uint32_t>(hr)), HResultName(hr));
  return hr;
}

uint32_t OleTxTraceCount(uint32_t n) {
  if (g_on.load()) OleTxTrace("Call returned: %lu\n", static_cast<unsigned long>(n));
  return n;
}

void CObjCounter::Increment(int32_t) { g_objects.fetch_add(1); }
void CObjCounter::Decrement(int32_t) { g_objects.fetch_sub(1); }
int32_t CObjCounter::Count() { return g_objects.load(); }
