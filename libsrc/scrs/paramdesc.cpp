// paramdesc.cpp -- the parameter describer's record; no statement is analysed
// until the SQL analyser exists.

#include "scrs/paramdesc.h"

#include <cstdlib>

#include "drv/errtab.h"

void ParamDescInit(ParamDesc* pd, const char* defaultItem) {
  *pd = ParamDesc{};
  pd->pd_defaultItem = defaultItem;
  pd->pd_kind = -1;
}

int32_t ParamDescAnalyse(ParamDesc* pd, const char* sql) {
  ParamDescFree(pd);
  (void)sql;
  return ERR_SYNTAX;
}

void ParamDescFree(ParamDesc* pd) {
  for (int32_t i = 0; i < pd->pd_probeCount; ++i) free(pd->pd_probes[i]);
  free(pd->pd_probes);
  free(pd->pd_markers);
  free(pd->pd_text);
  const char* item = pd->pd_defaultItem;
  *pd = ParamDesc{};
  pd->pd_defaultItem = item;
  pd->pd_kind = -1;
}
