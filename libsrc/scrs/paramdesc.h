#pragma once
// paramdesc.h -- the parameter describer: probe queries whose result columns
// give the types of a statement's parameters.
// The caller owns the record (the agent keeps it on its stack) and always ends
// with ParamDescFree. Until the SQL analyser exists no statement is analysed:
// ParamDescAnalyse answers ERR_SYNTAX and the record holds no probes, so the
// caller describes the parameters without them.

#include <cstdint>

struct ParamDesc {
  char** pd_probes;  // probe texts, pd_probeCount of them
  int32_t pd_probeCount;
  int32_t pd_total;            // result columns of all probes together
  char* pd_markers;            // INSERT ... VALUES: '?' parameter, 'X' literal; or null
  const char* pd_defaultItem;  // select item of a parameter of unknown type (not owned)
  char* pd_text;               // copy of the analysed statement
  int32_t pd_kind;             // statement kind, -1 when not analysed
};

void ParamDescInit(ParamDesc* pd, const char* defaultItem);
// 0 with the probes filled, or ERR_SYNTAX when the text does not parse.
int32_t ParamDescAnalyse(ParamDesc* pd, const char* sql);
void ParamDescFree(ParamDesc* pd);
