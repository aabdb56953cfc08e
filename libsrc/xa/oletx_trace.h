#pragma once
// oletx_trace.h -- the OLE transactions trace: one line per call of a DTC
// resource-manager method and one per HRESULT it returns, with the HRESULT's
// name, written into the XA trace file; and the count of live resource
// dispensers.
// The trace is on only while the XA trace has a file; callers test
// OleTxTraceOn() before they format a line.
// Threading: lines are formatted on the calling thread and written whole under
// the trace's own lock.

#include <cstdint>

#include "platform/dtc/dtc.h"

// Opens the XA trace when it is not open; the trace stays off without a file.
void OleTxTraceOpen();
void OleTxTraceClose();
bool OleTxTraceOn();
// "[thread id] " and the body, cut at 2047 characters; the format ends with "\n".
void OleTxTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the HRESULT with its name ("Call success" or "Call failure") and
// answers it unchanged.
HRESULT OleTxTraceHResult(HRESULT hr);
// Writes "Call returned: n" and answers n unchanged.
uint32_t OleTxTraceCount(uint32_t n);
// The HRESULT's name, "Unknown!" for a value without one.
const char* HResultName(HRESULT hr);

// The live objects of the DTC support (the resource dispensers).
struct CObjCounter {
  static void Increment(int32_t kind);
  static void Decrement(int32_t kind);
  static int32_t Count();
};
