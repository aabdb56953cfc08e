#pragma once
// xap.h -- what the driver core and the agent call of the distributed-transaction
// subsystem: the XA proxy's table installer, the XA-active test, the shutdown of
// the XA and DTC support, and the DTC enlistment of one connection.
// On this platform there is no DTC: enlistment answers failure, so a connection
// that asks for it gets a clear diagnostic instead of a half-made enlistment.

#include <cstdint>

#include "drv_inf/drvops.h"

struct XaThreadState;  // the XA state an agent connection may carry

// Wraps the table in rec->ops (once per process) and points rec->ops at the
// proxy's copy. 43 (ERR_NOT_CAPABLE) when rec->caps is 0: nothing is installed.
int32_t XAP_Install(DriverRecord* rec);

// 1 while an XA branch is active on the state, else 0 (also for null).
int32_t XAP_IsXaActive(const XaThreadState* state);

// Called when the agent's environment goes away; nothing to do.
void NoOpHook();

// Ends the XA switch and the DTC support, each only when it was set up. -> 1.
int32_t XA_Shutdown();

// Prepares the DTC support once per process: 0 on success, -1 when unavailable.
int16_t OleTxInit();

// The DTC resource dispenser of one connection. The connect text is copied.
void* DtcCreateDispenser(void* transaction, uint32_t hServer, uint32_t hConn, DriverRecord* drv,
                         void* dtcLock, void* callLock, const char* connectText);
// References left, or -1 for null or a pointer that is not a dispenser.
int32_t DtcReleaseDispenser(void* dispenser);
int16_t DtcRMConnect(void* dispenser);  // 0 or -1
int16_t DtcRMEnlist(void* dispenser);   // 0 or -1
