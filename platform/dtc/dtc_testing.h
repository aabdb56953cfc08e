// dtc_testing.h -- the controls of the stand-in coordinator (the library kesdtc,
// loaded by the driver under its fixed name) that tests drive transactions with.
// The coordinator records every resource manager created with XARMCreate (its
// connect text and its file), makes each branch's XID from the transaction's
// GUID (gtrid) and the resource manager's cookie (bqual), keeps the resource
// objects enlisted, and runs every request of the two phases on a new thread of
// its own, waiting for the resource's completion call. It logs the outcome it
// decides, so that its recovery can finish in-doubt branches through the
// driver's XA switch.
// Threading: one control at a time per transaction; the controls block until
// the requests they send have completed.
#pragma once

#include <cstddef>

#include "platform/dtc/dtc.h"

extern "C" {

// A new transaction with the given id, holding one reference for the test.
ITransaction* DtcTestBegin(const GUID* id);
// Drops the test's reference; the transaction goes once it is over.
void DtcTestRelease(ITransaction* tx);

// Phase one on every enlisted resource not asked yet. S_OK when every vote is
// yes or read-only (the outcome is then logged as commit); otherwise the
// transaction is aborted (AbortRequest to every member that did not vote
// read-only) and the answer is XACT_E_ABORTED.
HRESULT DtcTestPrepare(ITransaction* tx);
// Phase one when not done, then CommitRequest to every member that voted yes
// and has not committed yet. S_OK when all report S_OK; else the first failure,
// and calling again asks the members that failed once more.
HRESULT DtcTestCommit(ITransaction* tx);
// AbortRequest to every member not finished; XACT_E_ABORTED.
HRESULT DtcTestAbort(ITransaction* tx);
// The coordinator loses its resource managers: TMDown to every member not
// finished, then their references go. The logged outcome stays for recovery.
HRESULT DtcTestTMDown(ITransaction* tx);
// A participant of the coordinator's own votes no in the next phase one.
void DtcTestVoteNo(ITransaction* tx);

// Enlisted resources of the transaction, and what member reported for phase
// (0 prepare, 1 commit, 2 abort); S_FALSE when it reported nothing.
int DtcTestMembers(ITransaction* tx);
// The resource object a member enlisted (no reference is added), or null once
// the coordinator has let it go.
ITransactionResourceAsync* DtcTestResource(ITransaction* tx, int member);
HRESULT DtcTestOutcome(ITransaction* tx, int member, int phase);

// Resource managers created so far, and the connect text and file of one.
int DtcTestResourceManagers(void);
int DtcTestResourceManager(int index, char* connectText, size_t textSize, char* file,
                           size_t fileSize);

// Recovery: for every resource manager recorded, loads its file, takes the
// switch from GetXaSwitch, opens the resource manager with its connect text
// on a thread of the coordinator's, and commits or rolls back every prepared
// branch of the coordinator's by the logged outcome (rolls back one without).
// The branches finished, or -1 when a resource manager could not be reached.
int DtcTestRecover(void);
}
