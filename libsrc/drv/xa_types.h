#pragma once
// xa_types.h -- the X/Open XA records that cross the driver's XA boundary: the
// transaction identifier and the switch a transaction monitor calls through.
// Layouts follow the X/Open XA header of this platform (long is 64-bit here).

#include <cstdint>

inline constexpr int XIDDATASIZE = 128;
inline constexpr int RMNAMESZ = 32;

struct XID {
  long formatID;      // -1: null XID
  long gtrid_length;  // 1..64
  long bqual_length;  // 1..64
  char data[XIDDATASIZE];
};

struct xa_switch_t {
  char name[RMNAMESZ];
  long flags;
  long version;
  int (*xa_open_entry)(char* xaInfo, int rmid, long flags);
  int (*xa_close_entry)(char* xaInfo, int rmid, long flags);
  int (*xa_start_entry)(XID* xid, int rmid, long flags);
  int (*xa_end_entry)(XID* xid, int rmid, long flags);
  int (*xa_rollback_entry)(XID* xid, int rmid, long flags);
  int (*xa_prepare_entry)(XID* xid, int rmid, long flags);
  int (*xa_commit_entry)(XID* xid, int rmid, long flags);
  int (*xa_recover_entry)(XID* xids, long count, int rmid, long flags);
  int (*xa_forget_entry)(XID* xid, int rmid, long flags);
  int (*xa_complete_entry)(int* handle, int* retval, int rmid, long flags);
};

// X/Open return codes used by the driver.
inline constexpr int XA_OK = 0;
inline constexpr int XAER_RMERR = -3;
inline constexpr int XAER_INVAL = -5;
inline constexpr int XAER_PROTO = -6;
inline constexpr int XAER_RMFAIL = -7;
