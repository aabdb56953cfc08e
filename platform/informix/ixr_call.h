// ixr_call.h -- the frame of every runtime operation: resets the calling thread's
// communication area, applies injected faults, finds the current session, marks it busy
// (so that ixr_interrupt can reach it), and on the way out stores the result in the
// communication area and the call record.
// Threading: a Call lives on the calling thread for the length of one operation.
#pragma once

#include "platform/informix/ixr_session.h"

namespace ixr {

IxrCommArea& commArea();
void commAreaSet(IxrCommArea& ca, const IxError& e);
// As an operation finds it: no code, no counts, no warnings, no message.
void commAreaClear(IxrCommArea& ca);

class Call {
 public:
  // needSession: the operation works on the current session (IXR_E_NO_CONNECTION without one).
  Call(const char* op, const char* text, bool needSession = true);
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  bool ok() const { return ok_; }
  // Result of a call that did not get going (fault, no session, lost link).
  int code() const { return ca_.sqlcode; }
  int end(const IxError& e);
  // As end, for operations that already filled the communication area.
  int endKeep();

  Session* s = nullptr;
  IxrCommArea& ca() { return ca_; }

 private:
  IxrCommArea& ca_;
  const char* op_;
  const char* text_;
  bool ok_ = false;
};

// The calling thread's current session, or nullptr.
Session* currentSession();
void setCurrentSession(Session* s);

// Test support hooks (ixr_testing.cpp).
bool testFault(const char* op, int32_t& code, int32_t& isam);
void testRecord(const char* op, const Session* s, const char* text, int32_t code);
extern std::atomic<int> g_testActive;

}  // namespace ixr
