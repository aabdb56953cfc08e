// oletx_trace.cpp -- the OLE transactions trace and the HRESULT names.

#include "xa/oletx_trace.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "drv/layercalls.h"
#include "platform/windows/registry.h"
#include "platform/windows/thread.h"
#include "xa/osprim.h"

namespace {

std::atomic<bool> g_on{false};
OsProcessLock g_lock;  // one line at a time
std::atomic<int32_t> g_objects{0};

std::atomic<uint32_t> g_depthSlot{TLS_OUT_OF_INDEXES};

constexpr int kMaxBody = 2047;
constexpr intptr_t kMaxDepth = 30;

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
  const uint32_t slot = g_depthSlot.load();
  const intptr_t depth =
      slot == TLS_OUT_OF_INDEXES ? 0 : reinterpret_cast<intptr_t>(TlsGetValue(slot));
  if (depth > kMaxDepth) return;
  char body[kMaxBody + 1];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(body, sizeof body, format, ap);
  va_end(ap);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "[%ld] ", static_cast<long>(GetCurrentThreadId()));
  writeLine(std::string(prefix) + std::string(depth > 0 ? 2 * depth : 0, ' ') + body);
}

void OleTxTraceRaw(int32_t, int32_t, const char* format, ...) {
  if (!g_on.load()) return;
  char body[kMaxBody + 1];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(body, sizeof body, format, ap);
  va_end(ap);
  writeLine(std::string("> ") + body);
}

void OleTxTraceDepthAlloc() {
  if (g_depthSlot.load() != TLS_OUT_OF_INDEXES) return;
  const uint32_t slot = TlsAlloc();
  uint32_t none = TLS_OUT_OF_INDEXES;
  // A slot another thread set up first stays; this one goes back.
  if (slot != TLS_OUT_OF_INDEXES && !g_depthSlot.compare_exchange_strong(none, slot))
    (void)TlsFree(slot);
}

void OleTxTraceDepthFree() {
  const uint32_t slot = g_depthSlot.exchange(TLS_OUT_OF_INDEXES);
  if (slot != TLS_OUT_OF_INDEXES) (void)TlsFree(slot);
}

uint32_t OleTxTraceDepthSlot() { return g_depthSlot.load(); }

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

void GuidName(char (&out)[256], REFIID id) {
  if (id == IID_IUnknown) {
    std::snprintf(out, sizeof out, "IID_IUnknown");
    return;
  }
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  std::snprintf(out, sizeof out, "%s", text);
  // The default value of a key below HKEY_CLASSES_ROOT, when it has one.
  auto defaultOf = [&out](HKEY parent, const char* sub) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, sub, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char value[512];
    uint32_t type = 0;
    uint32_t size = sizeof value;
    const int32_t rc =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<uint8_t*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0) return false;
    value[std::min<uint32_t>(size, sizeof value) - 1] = '\0';
    if (value[0] == '\0') return false;
    // Cut to the output on a whole UTF-8 character.
    size_t n = std::min(std::strlen(value), sizeof out - 1);
    if (n < std::strlen(value))
      while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
    std::memcpy(out, value, n);
    out[n] = '\0';
    return true;
  };
  HKEY interfaces = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "Interface", 0, KEY_READ, &interfaces) != ERROR_SUCCESS)
    return;
  const bool named = defaultOf(interfaces, text);
  RegCloseKey(interfaces);
  if (!named) (void)defaultOf(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + text).c_str());
}

void CObjCounter::Increment(int32_t) { g_objects.fetch_add(1); }
void CObjCounter::Decrement(int32_t) { g_objects.fetch_sub(1); }
int32_t CObjCounter::Count() { return g_objects.load(); }

const char* CObjCounter::KindName(int32_t kind) {
  return kind == 1 ? "Resource Dispenser" : "Unknown";
}

void CObjCounter::DumpObjCounts() {
  if (!g_on.load()) return;
  OleTxTrace("CObjCounter::DumpObjCounts:\n");
  // The count is one for every kind: the dispensers are the only objects counted.
  OleTxTrace("  %s: %ld\n", KindName(1), static_cast<long>(Count()));
}
