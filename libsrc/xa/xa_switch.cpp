// xa_switch.cpp -- the exported XA interface: the driver's xa_switch_t and the
// ODBC handles behind a thread's XA association.
// No resource manager can be opened yet (the XA proxy's worker threads do not
// exist), so every switch entry answers XAER_RMERR, as for a thread without an
// association, and the handle exports find no association.

#include <sql.h>

#include <cstdint>
#include <cstring>

#include "drv/export.h"
#include "drv/layercalls.h"
#include "drv/xa_types.h"

namespace {

int rm_open(char*, int, long) { return XAER_RMERR; }
int rm_xid(XID*, int, long) { return XAER_RMERR; }
int rm_recover(XID*, long, int, long) { return XAER_RMERR; }
int rm_complete(int*, int*, int, long) { return XAER_RMERR; }

xa_switch_t make_switch() {
  xa_switch_t s{};
  memcpy(s.name, "KESTRANE", sizeof "KESTRANE");
  s.xa_open_entry = rm_open;
  s.xa_close_entry = rm_open;
  s.xa_start_entry = rm_xid;
  s.xa_end_entry = rm_xid;
  s.xa_rollback_entry = rm_xid;
  s.xa_prepare_entry = rm_xid;
  s.xa_commit_entry = rm_xid;
  s.xa_recover_entry = rm_recover;
  s.xa_forget_entry = rm_xid;
  s.xa_complete_entry = rm_complete;
  return s;
}

xa_switch_t DriverXaSwitch = make_switch();

constexpr int32_t E_FAIL_ = static_cast<int32_t>(0x80004005u);
constexpr int32_t E_INVALIDARG_ = static_cast<int32_t>(0x80070057u);

}  // namespace

KES_EXPORT_BEGIN
extern "C" {

xa_switch_t* kes_xa_switch() { return &DriverXaSwitch; }

int32_t GetXaSwitch(uint32_t, xa_switch_t** out) {
  if (out == nullptr) return E_INVALIDARG_;
  if (OleTxInit() != 0) return E_FAIL_;
  *out = &DriverXaSwitch;
  return 0;
}

SQLRETURN SQLGetXaEnv(SQLHENV* out) {
  if (out == nullptr) return SQL_ERROR;
  *out = nullptr;
  return SQL_ERROR;
}

SQLRETURN SQLGetXaConnect(SQLHDBC* out) {
  if (out == nullptr) return SQL_ERROR;
  *out = nullptr;
  return SQL_ERROR;
}

}  // extern "C"
KES_EXPORT_END
