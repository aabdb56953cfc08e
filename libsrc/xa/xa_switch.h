#pragma once
// xa_switch.h -- the driver as an X/Open XA resource manager: its own switch,
// the connections behind the resource-manager instances that xa_open opens, and
// the back-end calls that both the switch and the DTC enlistment make.
// Not here: which thread runs the work (the XA proxy) or what the database does
// (the agent).

#include <cstddef>
#include <cstdint>

#include "drv/drvops.h"
#include "drv/xa_types.h"

// Fills the driver's switch on the first call. -> 1.
int32_t xa_switch_setup();
// Opens the XA trace and makes the switch ready (once). -> 0.
int16_t xa_switch_init();
// Only when ready: closes the XA trace and clears the ready flag.
void xa_switch_term();

// The XA code's name for the traces; "Unknown" for a code without one.
const char* xa_code_name(int code);

// The XaInfo value of the data source's odbc.ini section ("" when absent), at
// most size - 1 characters. 1, or 0 when the value does not fit.
int32_t GetXaInfo(const char* dsn, char* out, size_t size);
// The value of the DSN keyword of a connect text (a keyword of its own, in any
// case, never the end of another keyword such as FILEDSN), up to the next ';',
// at most size - 1 characters, trailing blanks cut. 1, or 0 without one.
int32_t xa_info_dsn(const char* xaInfo, char* out, size_t size);

// One back-end call per XA operation, through the record's operation table with
// the back-end connection handle first; the lock is handed on and not used.
int xa_agent_open(DriverRecord* drv, DrvHandle hConn, void* lock, int32_t useWorker,
                  const char* xaInfo, int rmid, long flags);
int xa_agent_close(DriverRecord* drv, DrvHandle hConn, void* lock, const char* xaInfo, int rmid,
                   long flags);
int xa_agent_start(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xid, int rmid, long flags);
int xa_agent_end(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xid, int rmid, long flags);
int xa_agent_rollback(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xid, int rmid,
                      long flags);
int xa_agent_prepare(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xid, int rmid,
                     long flags);
int xa_agent_commit(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xid, int rmid, long flags);
int xa_agent_recover(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xids, long count,
                     int rmid, long flags);
int xa_agent_forget(DriverRecord* drv, DrvHandle hConn, void* lock, XID* xid, int rmid, long flags);
int xa_agent_complete(DriverRecord* drv, DrvHandle hConn, void* lock, int* handle, int* retval,
                      int rmid, long flags);
