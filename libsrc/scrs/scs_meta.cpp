// scs_meta.cpp -- what the cursor layer knows of the columns it generates
// statements over: column names as generated statements write them, their
// parameter types, the described result of the user's cursor, the checks that
// decide whether rows can be found again by keys, the key block sizes, and
// the auxiliary cursors with their diagnostics.
// Threading: used inside calls on the cursor's connection, one at a time.

#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv/colinfo.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "scrs/ks.h"
#include "scrs/posops.h"
#include "scrs/scs_p.h"

char* scs_p_QualifiedColName(uint32_t tableCount, const ColDesc* col) {
  if (col == nullptr) return nullptr;
  std::string out;
  if (tableCount > 1) {
    if (col->alias[0] != '\0') {
      out = col->alias;
    } else if (col->owner[0] != '\0') {
      out = std::string(col->owner) + "." + col->table;
    } else {
      out = col->table;
    }
    if (!out.empty()) out += ".";
  }
  out += col->name;
  return strdup(out.c_str());
}

void scs_p_ParamTypeFromColDesc(const ColDesc* col, ParamShadow* out) {
  int32_t c = SQL_C_CHAR;
  switch (col->sqlType) {
    case SQL_INTEGER: c = SQL_C_LONG; break;
    case SQL_SMALLINT: c = SQL_C_SHORT; break;
    case SQL_FLOAT:
    case SQL_DOUBLE: c = SQL_C_DOUBLE; break;
    case SQL_REAL: c = SQL_C_FLOAT; break;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: c = col->sqlType; break;
    case SQL_WLONGVARCHAR:
    case SQL_WVARCHAR:
    case SQL_WCHAR: c = SQL_C_WCHAR; break;
    case SQL_BIT: c = SQL_C_BIT; break;
    case SQL_TINYINT: c = SQL_C_TINYINT; break;
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY: c = SQL_C_BINARY; break;
    default: break;
  }
  out->sqlType = col->sqlType;
  out->cType = c;
  out->columnSize = static_cast<int32_t>(col->columnSize);
  out->scale = col->decimalDigits;
  out->paramType = SQL_PARAM_INPUT;
}

int32_t scs_p_AddParamDescs(SCS* scs, const ColDesc* cols, uint32_t n, int appendKept) {
  const uint32_t kept = appendKept != 0 && scs->sc_paramTypes != nullptr ? scs->sc_paramTypeCount : 0;
  const uint32_t total = scs->sc_genParamTypeCount + n + kept;
  if (total > UINT16_MAX) return ERR_MEMORY;
  if (total == 0) return 0;
  auto* list = static_cast<ParamShadow*>(std::malloc(total * sizeof(ParamShadow)));
  if (list == nullptr) return ERR_MEMORY;
  uint32_t k = 0;
  for (; k < scs->sc_genParamTypeCount; ++k) list[k] = scs->sc_genParamTypes[k];
  for (uint32_t i = 0; i < n; ++i) scs_p_ParamTypeFromColDesc(&cols[i], &list[k++]);
  for (uint32_t i = 0; i < kept; ++i) list[k++] = scs->sc_paramTypes[i];
  std::free(scs->sc_genParamTypes);
  scs->sc_genParamTypes = list;
  scs->sc_genParamTypeCount = static_cast<uint16_t>(total);
  return 0;
}

int32_t scs_p_ResultColName(SCS* scs, uint16_t n, ColumnInfo** out) {
  if (out == nullptr) return ERR_ARGUMENT;
  if (int32_t rc = scs_p_DescribeOnce(scs); rc != 0) return rc;
  if (n == 0 || n > scs->sc_resultColCount) return ERR_COLUMN_NUMBER;
  *out = &scs->sc_resultCols[n - 1];
  return 0;
}

ColDesc* scs_p_FindColDesc(ColDesc* cols, uint32_t count, const ColDesc* probe, uint32_t* index) {
  if (probe == nullptr || cols == nullptr) return nullptr;
  for (uint32_t i = 0; i < count; ++i) {
    const ColDesc& c = cols[i];
    if (std::strcmp(c.name, probe->name) != 0) continue;
    if (probe->table[0] != '\0' && std::strcmp(c.table, probe->table) != 0) continue;
    if (probe->owner[0] != '\0' && std::strcmp(c.owner, probe->owner) != 0) continue;
    if (index != nullptr) *index = i;
    return &cols[i];
  }
  return nullptr;
}

int scs_p_IsKeyCol(SCS* scs, const ColDesc* col) {
  const KS* ks = scs->sc_keyset;
  if (ks == nullptr || ks->keyCols == nullptr || col == nullptr) return 0;
  const auto* keys = static_cast<const ColDesc*>(ks->keyCols->items);
  for (uint32_t i = 0; i < ks->keyCols->count; ++i) {
    const ColDesc& k = keys[i];
    if (std::strcmp(k.name, col->name) == 0 && std::strcmp(k.table, col->table) == 0 &&
        std::strcmp(k.owner, col->owner) == 0 && std::strcmp(k.qualifier, col->qualifier) == 0)
      return 1;
  }
  return 0;
}

int scs_p_IsExprCol(const ColDesc* col) { return col != nullptr && col->itemKind == COLDESC_EXPRESSION; }

int32_t scs_p_CheckScrollable(const SCS* scs) {
  const uint16_t f = scs->sc_analysisFlags;
  if ((f & SA_JOIN) != 0) return ERR_JOIN;
  if ((f & SA_GROUPBY) != 0) return ERR_GROUP_BY;
  if ((f & SA_UNION) != 0) return ERR_UNION;
  if ((f & SA_AGGREGATE) != 0) return ERR_SCALAR_AGGREGATE;
  return 0;
}

int32_t scs_p_CheckKeysetStmt(const SCS* scs) {
  const uint16_t f = scs->sc_analysisFlags;
  // The kind, not the flags, tells a SELECT: a DISTINCT one has the flag value
  // that marks other statements.
  if (scs->sc_analysis != nullptr ? scs->sc_analysis->sa_kind != PN_SELECT : f == SCS_NOT_SELECT)
    return ERR_NOT_SELECT;
  if ((f & SA_GROUPBY) != 0) return ERR_GROUP_BY;
  if ((f & SA_UNION) != 0) return ERR_UNION;
  return 0;
}

int32_t scs_p_KeyBlockSizes(const SCS* scs, int32_t* blocks, int32_t* lastBlock,
                            int32_t* blockSize) {
  *blocks = *lastBlock = *blockSize = 0;
  const KS* ks = scs->sc_keyset;
  const int32_t keys = ks != nullptr && ks->keyCols != nullptr ? static_cast<int32_t>(ks->keyCols->count) : 0;
  const int32_t room = scs->sc_maxParams - static_cast<int32_t>(scs->sc_paramTypeCount);
  // A block that holds no key group cannot find any row; refuse before
  // anything runs instead of dividing by zero.
  if (keys <= 0 || room < keys) return ERR_NOT_CAPABLE;
  const int32_t perBlock = room / keys;
  const int32_t r = scs->sc_rowsetSize > 0 ? scs->sc_rowsetSize : 1;
  *blocks = r / perBlock + (r % perBlock != 0 ? 1 : 0);
  *lastBlock = r % perBlock != 0 ? r % perBlock : (perBlock < r ? perBlock : r);
  *blockSize = perBlock < r ? perBlock : r;
  return 0;
}

void scs_p_SetCursorMark(uint32_t hCursor, uint32_t value) { INF_CursorKeepErrors(hCursor, value); }

void scs_p_ClearAuxDiags(SCS* scs) {
  for (uint32_t aux : {scs->sc_auxCursor, scs->sc_auxCursor2})
    if (aux != 0) INF_CursorMoveErrors(aux, scs->sc_hCursor, 0);
  scs_p_PosStatementErrors(scs);
}

int32_t scs_p_OpenAuxCursors(SCS* scs) {
  for (uint32_t* aux : {&scs->sc_auxCursor, &scs->sc_auxCursor2}) {
    if (*aux != 0) continue;
    DrvHandle h = 0;
    if (scs->sc_driver->ops->DRV_AllocCursor(scs->sc_hConn, &h) != 0) return ERR_GENERAL;
    *aux = h;
  }
  return 0;
}
