// dtc.cpp -- DTC enlistment of a connection.
// This platform has no distributed transaction coordinator, so the support is
// never set up: OleTxInit reports failure and the dispenser operations refuse
// every pointer, which the connection attribute turns into the enlistment error.

#include "drv/layercalls.h"

int16_t OleTxInit() { return -1; }

void* DtcCreateDispenser(void*, uint32_t, uint32_t, DriverRecord*, void*, void*, const char*) {
  return nullptr;
}

int32_t DtcReleaseDispenser(void*) { return -1; }
int16_t DtcRMConnect(void*) { return -1; }
int16_t DtcRMEnlist(void*) { return -1; }

int32_t XA_Shutdown() {
  // Neither the XA switch nor the DTC support can have been set up.
  return 1;
}
