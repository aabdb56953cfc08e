// xa.h -- the X/Open XA interface between a transaction manager and a resource
// manager: the transaction branch identifier, the switch of a resource manager's
// entry points, their flags and their return codes.
// Both sides of the interface include this header: the driver's own switch and
// the embedded Informix runtime's switch that the driver drives. Layouts follow
// the X/Open definitions with this platform's long (64 bits), so a switch is
// copied by assigning the structure, never by a byte count.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define XIDDATASIZE 128 /* gtrid and bqual together */
#define MAXGTRIDSIZE 64
#define MAXBQUALSIZE 64
#define RMNAMESZ 32

/* A transaction branch: the global transaction id (gtrid_length bytes of data)
 * followed by the branch qualifier (bqual_length bytes). formatID -1 is the null XID. */
typedef struct XID {
  long formatID;
  long gtrid_length; /* 1..64 */
  long bqual_length; /* 1..64 */
  char data[XIDDATASIZE];
} XID;

/* A resource manager's entry points, in the X/Open order. */
typedef struct xa_switch_t {
  char name[RMNAMESZ]; /* NUL-padded */
  long flags;          /* TMNOFLAGS, TMREGISTER, TMNOMIGRATE, TMUSEASYNC */
  long version;        /* 0 */
  int (*xa_open_entry)(char* xa_info, int rmid, long flags);
  int (*xa_close_entry)(char* xa_info, int rmid, long flags);
  int (*xa_start_entry)(XID* xid, int rmid, long flags);
  int (*xa_end_entry)(XID* xid, int rmid, long flags);
  int (*xa_rollback_entry)(XID* xid, int rmid, long flags);
  int (*xa_prepare_entry)(XID* xid, int rmid, long flags);
  int (*xa_commit_entry)(XID* xid, int rmid, long flags);
  int (*xa_recover_entry)(XID* xids, long count, int rmid, long flags);
  int (*xa_forget_entry)(XID* xid, int rmid, long flags);
  int (*xa_complete_entry)(int* handle, int* retval, int rmid, long flags);
} xa_switch_t;

/* Flags of the switch and of the calls. */
#define TMNOFLAGS 0x00000000L
#define TMREGISTER 0x00000001L
#define TMNOMIGRATE 0x00000002L
#define TMUSEASYNC 0x00000004L
#define TMASYNC 0x80000000L
#define TMONEPHASE 0x40000000L
#define TMFAIL 0x20000000L
#define TMNOWAIT 0x10000000L
#define TMRESUME 0x08000000L
#define TMSUCCESS 0x04000000L
#define TMSUSPEND 0x02000000L
#define TMSTARTRSCAN 0x01000000L
#define TMENDRSCAN 0x00800000L
#define TMMULTIPLE 0x00400000L
#define TMJOIN 0x00200000L
#define TMMIGRATE 0x00100000L

/* Return codes. The XA_RB* codes say the branch was rolled back. */
#define XA_RBBASE 100
#define XA_RBROLLBACK XA_RBBASE /* for an unspecified reason */
#define XA_RBCOMMFAIL (XA_RBBASE + 1)
#define XA_RBDEADLOCK (XA_RBBASE + 2)
#define XA_RBINTEGRITY (XA_RBBASE + 3)
#define XA_RBOTHER (XA_RBBASE + 4)
#define XA_RBPROTO (XA_RBBASE + 5)
#define XA_RBTIMEOUT (XA_RBBASE + 6)
#define XA_RBTRANSIENT (XA_RBBASE + 7)
#define XA_RBEND XA_RBTRANSIENT
#define XA_NOMIGRATE 9
#define XA_HEURHAZ 8 /* the branch may have been heuristically completed */
#define XA_HEURCOM 7 /* heuristically committed */
#define XA_HEURRB 6  /* heuristically rolled back */
#define XA_HEURMIX 5 /* partly committed, partly rolled back */
#define XA_RETRY 4   /* nothing done; the call may be repeated */
#define XA_RDONLY 3  /* the branch was read-only and has been committed */
#define XA_OK 0
#define XAER_ASYNC (-2)   /* an asynchronous operation is already outstanding */
#define XAER_RMERR (-3)   /* a resource manager error in the branch */
#define XAER_NOTA (-4)    /* the XID is not valid */
#define XAER_INVAL (-5)   /* invalid arguments */
#define XAER_PROTO (-6)   /* called in an improper context */
#define XAER_RMFAIL (-7)  /* the resource manager is unavailable */
#define XAER_DUPID (-8)   /* the XID already exists */
#define XAER_OUTSIDE (-9) /* the resource manager is doing work outside a global transaction */

#ifdef __cplusplus
}
#endif
