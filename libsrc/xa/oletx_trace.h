#pragma once
// oletx_trace.h -- the OLE transactions trace: one line per call of a DTC
// resource-manager method and one per HRESULT it returns, with the HRESULT's
// name, written into the XA trace file; and the count of live resource
// dispensers.
// The trace is on only while the XA trace has a file; callers test
// OleTxTraceOn() before they format a line.
// A line is indented by two blanks for each level of its thread's trace depth
// (kept in a thread-local slot while the DTC support is set up); lines deeper
// than 30 levels are dropped.
// Threading: lines are formatted on the calling thread and written whole under
// the trace's own lock.

#include <cstdint>

#include "platform/dtc/dtc.h"

// Opens the XA trace when it is not open; the trace stays off without a file.
void OleTxTraceOpen();
void OleTxTraceClose();
bool OleTxTraceOn();
// "[thread id] ", the depth's indent and the body, cut at 2047 characters; the
// format ends with "\n".
void OleTxTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "> " and the body, without indent; the two leading arguments are not read.
void OleTxTraceRaw(int32_t, int32_t, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The thread-local slot of the trace depth: allocated when the DTC support is
// set up, freed when it ends. The slot's value is the calling thread's depth
// (0 until a thread sets it).
void OleTxTraceDepthAlloc();
void OleTxTraceDepthFree();
uint32_t OleTxTraceDepthSlot();
// Writes the HRESULT with its name ("Call success" or "Call failure") and
// answers it unchanged.
HRESULT OleTxTraceHResult(HRESULT hr);
// Writes "Call returned: n" and answers n unchanged.
uint32_t OleTxTraceCount(uint32_t n);
// The HRESULT's name, "Unknown!" for a value without one.
const char* HResultName(HRESULT hr);
// The name of an interface id: "IID_IUnknown", else the interface's (then the
// class's) name in the registry under HKEY_CLASSES_ROOT, else the id written
// as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". At most 255 characters.
void GuidName(char (&out)[256], REFIID id);

// The live objects of the DTC support (the resource dispensers).
// One count for all kinds; the kind names the objects in the dump.
struct CObjCounter {
  static void Increment(int32_t kind);
  static void Decrement(int32_t kind);
  static int32_t Count();
  // Writes the live objects to the trace (nothing while it is off).
  static void DumpObjCounts();
  // 1 "Resource Dispenser", any other kind "Unknown".
  static const char* KindName(int32_t kind);
};
