// scs_conn.cpp -- the cursor layer's connection hooks: each connection made
// through the layer leaves a copy of its connect parameters on its server's
// list, from which the layer's own later connections to that server are made,
// and takes it away when it ends.
// The lists own their entries and every text in them.
// Threading: the lists are process-wide and guarded by SCR_ConnListLock; a
// connection is otherwise used under its own call serialisation.

#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "scrs/ks.h"
#include "scrs/scs_p.h"

CRITICAL_SECTION SCR_ConnListLock;

namespace {

struct SCS_SavedConnect {
  DrvHandle hServer;
  DrvHandle hConn;
  DriverConnectParams params;  // texts owned; the reserved flag is not kept
  KeyColCache* keyCols;        // owned; used only inside calls on the connection
  SCS_SavedConnect* next;
};

// Every saved connection of every server, in the order they were made.
SCS_SavedConnect* saved = nullptr;

const char** texts(DriverConnectParams& p, int i) {
  const char** all[] = {&p.target, &p.srvopts, &p.svtype, &p.dbpath, &p.dsn,
                        &p.dbopts, &p.uid,     &p.pwd,    &p.proto};
  return all[i];
}
constexpr int kTexts = 9;

void free_entry(SCS_SavedConnect* e) {
  KeyColCacheFree(e->keyCols);
  for (int i = 0; i < kTexts; ++i) std::free(const_cast<char*>(*texts(e->params, i)));
  std::free(e);
}

SCS_SavedConnect* copy_entry(DrvHandle hServer, DrvHandle hConn, const DriverConnectParams& from) {
  auto* e = static_cast<SCS_SavedConnect*>(std::calloc(1, sizeof(SCS_SavedConnect)));
  if (e == nullptr) return nullptr;
  e->hServer = hServer;
  e->hConn = hConn;
  e->params.readonly = from.readonly;
  e->params.loginTimeout = from.loginTimeout;
  e->keyCols = KeyColCacheNew();
  if (e->keyCols == nullptr) {
    std::free(e);
    return nullptr;
  }
  DriverConnectParams src = from;
  for (int i = 0; i < kTexts; ++i) {
    const char* text = *texts(src, i);
    if (text == nullptr) continue;
    *texts(e->params, i) = strdup(text);
    if (*texts(e->params, i) == nullptr) {
      free_entry(e);
      return nullptr;
    }
  }
  return e;
}

}  // namespace

int32_t SCS_Connect(DrvHandle hServer, const DriverConnectParams* params, DrvHandle* hConn) {
  if (int32_t rc = SCR_BaseDriver.ops->DRV_Connect(hServer, params, hConn); rc != 0) return rc;
  SCS_SavedConnect* e = params != nullptr ? copy_entry(hServer, *hConn, *params) : nullptr;
  if (e == nullptr) {
    // A connection the caller never learns of would stay open for good.
    (void)SCR_BaseDriver.ops->DRV_EndConnect(*hConn);
    *hConn = 0;
    return params != nullptr ? ERR_MEMORY : ERR_ARGUMENT;
  }
  CriticalSectionLock guard(&SCR_ConnListLock);
  SCS_SavedConnect** tail = &saved;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = e;
  return 0;
}

int32_t SCS_EndConnect(DrvHandle hConn) {
  if (!INF_ConnExists(hConn)) return ERR_ARGUMENT;
  {
    CriticalSectionLock guard(&SCR_ConnListLock);
    for (SCS_SavedConnect** p = &saved; *p != nullptr; p = &(*p)->next) {
      if ((*p)->hConn != hConn) continue;
      SCS_SavedConnect* gone = *p;
      *p = gone->next;
      free_entry(gone);
      break;
    }
  }
  return SCR_BaseDriver.ops->DRV_EndConnect(hConn);
}

int32_t scs_p_SavedConnect(DrvHandle hConn, DriverConnectParams* out, DrvHandle* hServer) {
  CriticalSectionLock guard(&SCR_ConnListLock);
  for (const SCS_SavedConnect* e = saved; e != nullptr; e = e->next) {
    if (e->hConn != hConn) continue;
    if (out != nullptr) *out = e->params;
    if (hServer != nullptr) *hServer = e->hServer;
    return 0;
  }
  return ERR_ARGUMENT;
}

KeyColCache* scs_p_KeyColCache(DrvHandle hConn) {
  // The entry lives until the connection ends, which cannot happen during a
  // call on that connection.
  CriticalSectionLock guard(&SCR_ConnListLock);
  for (const SCS_SavedConnect* e = saved; e != nullptr; e = e->next)
    if (e->hConn == hConn) return e->keyCols;
  return nullptr;
}
