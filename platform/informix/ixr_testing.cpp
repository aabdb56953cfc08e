// ixr_testing.cpp -- the call record and fault injection of the embedded runtime, for
// tests only. Nothing is recorded and no fault is looked for while g_testActive is 0,
// which it is until a test starts a record or queues a fault.
// Threading: one lock guards the record and the fault queue.
#include "platform/informix/ixr_testing.h"

#include "platform/informix/ixr_call.h"

#include <cstring>
#include <deque>
#include <mutex>

namespace ixr {
void testBreakSession(const char* name);
void testDropAll();

namespace {

struct Fault {
  int32_t code;
  int32_t isam;
  std::string op;
};

struct TestState {
  std::mutex mu;
  bool recording = false;
  std::vector<IxrCall> calls;
  std::deque<Fault> faults;
};

TestState& ts() {
  static TestState* t = new TestState();  // lives to the end of the process
  return *t;
}

void refresh() {
  // REQUIRES: ts().mu held.
  g_testActive.store(ts().recording || !ts().faults.empty() ? 1 : 0);
}

}  // namespace

bool testFault(const char* op, int32_t& code, int32_t& isam) {
  std::lock_guard<std::mutex> g(ts().mu);
  for (auto it = ts().faults.begin(); it != ts().faults.end(); ++it) {
    if (!it->op.empty() && it->op != op) continue;
    code = it->code;
    isam = it->isam;
    ts().faults.erase(it);
    refresh();
    return true;
  }
  return false;
}

void testRecord(const char* op, const Session* s, const char* text, int32_t code) {
  // Name lookups are bookkeeping of the caller, not requests to the server.
  if (std::strcmp(op, "NAME") == 0) return;
  std::lock_guard<std::mutex> g(ts().mu);
  if (!ts().recording) return;
  IxrCall c;
  c.op = op;
  c.connection = s ? s->name : std::string();
  c.text = text ? text : "";
  c.code = code;
  ts().calls.push_back(std::move(c));
}

}  // namespace ixr

using namespace ixr;

void ixr_test_record(bool on) {
  std::lock_guard<std::mutex> g(ts().mu);
  if (on) ts().calls.clear();
  ts().recording = on;
  refresh();
}

std::vector<IxrCall> ixr_test_calls(bool withFetch) {
  std::lock_guard<std::mutex> g(ts().mu);
  std::vector<IxrCall> out;
  for (const auto& c : ts().calls)
    if (withFetch || c.op != "FETCH") out.push_back(c);
  return out;
}

void ixr_test_fail_next(int32_t code, int32_t isam, const std::string& op) {
  std::lock_guard<std::mutex> g(ts().mu);
  ts().faults.push_back({code, isam, op});
  refresh();
}

void ixr_test_break_connection(const char* name) { testBreakSession(name); }

void ixr_test_reset() {
  {
    std::lock_guard<std::mutex> g(ts().mu);
    ts().faults.clear();
    ts().calls.clear();
    ts().recording = false;
    refresh();
  }
  testDropAll();
}
