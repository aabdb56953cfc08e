// xap.cpp -- the XA proxy's table and its hooks for the agent.
// The proxy's copy of the operation table is made once per process, before any
// call goes through it; later bindings only repoint their record. No slot is
// replaced while the XA worker threads do not exist, so every call passes
// straight through to the table below.
// Threading: the copy is made under std::call_once; afterwards it is read-only.

#include "xa/xap.h"

#include <mutex>

#include "drv/errtab.h"
#include "drv/layercalls.h"

namespace {
DriverOps XAP_Ops{};
std::once_flag xap_once;
}  // namespace

int32_t XAP_Install(DriverRecord* rec) {
  if (rec == nullptr || rec->caps == 0 || rec->ops == nullptr) return ERR_NOT_CAPABLE;
  const DriverOps* below = rec->ops;
  std::call_once(xap_once, [below] { XAP_Ops = *below; });
  rec->ops = &XAP_Ops;
  return 0;
}

int32_t XAP_IsXaActive(const XaThreadState* state) {
  // No branch can be opened without the proxy's worker threads.
  (void)state;
  return 0;
}

void NoOpHook() {}
