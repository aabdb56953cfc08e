#pragma once
// xa_client_fake.h -- a client XA switch of the tests' own, for the agent's XA
// operations: it records every call and opens the branch's session under the
// connection name of the open string (CON=), on the calling thread, as the
// runtime's switch does; branch calls only record. The agent uses it once
// InfXaUseClientSwitch(FakeClientSwitch()) ran before the process's first open.
// Threading: calls may come from any thread; the record is guarded.

#include <string>
#include <vector>

#include "drv/xa_types.h"

struct FakeClientCall {
  std::string op;  // open, close, start, end, prepare, commit, rollback, forget, recover, complete
  std::string text;  // the open or close string
  XID* xid = nullptr;
  int rmid = 0;
  long flags = 0;
};

const xa_switch_t* FakeClientSwitch();
// Clears the record; open and close answer XA_OK again.
void FakeClientReset();
std::vector<FakeClientCall> FakeClientCalls();
// The next opens or closes answer code without doing anything (XA_OK: work).
void FakeClientAnswers(int openCode, int closeCode);
