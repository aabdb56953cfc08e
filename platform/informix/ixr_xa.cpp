// ixr_xa.cpp -- the runtime's XA switch. No session can take part in a global
// transaction yet: every entry answers XAER_RMERR (xa_complete XAER_PROTO), so a
// caller sees a resource manager error instead of a branch that was never there.

#include "platform/informix/ixr_xa.h"

namespace {

int refuseInfo(char*, int, long) { return XAER_RMERR; }
int refuseXid(XID*, int, long) { return XAER_RMERR; }
int refuseRecover(XID*, long, int, long) { return XAER_RMERR; }
int refuseComplete(int*, int*, int, long) { return XAER_PROTO; }

const xa_switch_t kSwitch = {.name = "IXR",
                             .flags = TMNOFLAGS,
                             .version = 0,
                             .xa_open_entry = refuseInfo,
                             .xa_close_entry = refuseInfo,
                             .xa_start_entry = refuseXid,
                             .xa_end_entry = refuseXid,
                             .xa_rollback_entry = refuseXid,
                             .xa_prepare_entry = refuseXid,
                             .xa_commit_entry = refuseXid,
                             .xa_recover_entry = refuseRecover,
                             .xa_forget_entry = refuseXid,
                             .xa_complete_entry = refuseComplete};

}  // namespace

extern "C" const xa_switch_t* ixr_xa_switch(void) { return &kSwitch; }
