// scs_combined.cpp -- the cursor layer's operations that bundle several steps
// in one call: prepare and execute with named parameter types, allocate and
// prepare, execute and describe, the column layout of a result, batches of
// statements, and the deferred fetch of long values with their piecewise read.
// Each bundle is made of the layer's own single operations, taken from the
// layer's table, so the cursor emulation sees every step a bundle takes.
// Threading: a cursor is used under its connection's call serialisation.

#include <sqlext.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "scrs/scr_ops.h"
#include "scrs/scs_p.h"

namespace {

// Long values up to this many bytes (units for wide text) stay in the rowset;
// longer ones are kept aside and read piece by piece.
constexpr uint32_t kInlineLongLimit = 60000;

const DriverOps* layer_ops = nullptr;

const DriverOps& layer() { return *layer_ops; }
const DriverOps& base() { return *SCR_BaseDriver.ops; }

SCS* context_of(DrvHandle hCursor) {
  InfCursorView cur{};
  return INF_CursorView(hCursor, &cur) ? cur.scs : nullptr;
}

bool is_long(int32_t type) {
  return type == DS_LONGCHAR || type == DS_LONGBINARY || type == DS_LONGWCHAR;
}

// The long value being read in pieces is forgotten, and so are the values kept aside.
void forget_long_values(SCS* scs) {
  scs->sc_longCol = 0;
  scs->sc_longRow = 0;
  if (scs->sc_longValues != nullptr) DatasetFree(scs->sc_longValues);
}

// The first word of a statement, lower case; at most `cap` - 1 letters.
void first_word(const char* text, char* word, size_t cap) {
  size_t n = 0;
  const char* p = text;
  while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p)) != 0) ++p;
  // An ODBC call escape ("{call p(?)}", "{? = call p}") is a call.
  if (*p == '{') {
    ++p;
    while (*p != '\0' && (std::isspace(static_cast<unsigned char>(*p)) != 0 || *p == '?' ||
                          *p == '=')) {
      ++p;
    }
  }
  while (*p != '\0' && n + 1 < cap && std::isalpha(static_cast<unsigned char>(*p)) != 0)
    word[n++] = static_cast<char>(std::tolower(static_cast<unsigned char>(*p++)));
  word[n] = '\0';
}

bool first_word_is(const char* text, const char* word) {
  char got[16];
  first_word(text, got, sizeof got);
  return std::strcmp(got, word) == 0;
}

int32_t row_count(DrvHandle hCursor, int32_t* count) {
  int32_t v = 0;
  uint16_t len = 0;
  const int32_t rc = layer().DRV_GetInfo(hCursor, DRVP_ROW_COUNT, &v, 4, &len);
  *count = rc == 0 && v > 0 ? v : 0;
  return rc;
}

// A described result whose first column is not a procedure parameter ("*I",
// "*O", "*B", "*U") is a result set. The descriptions are freed.
bool result_set(ColumnInfo* cols, uint16_t count) {
  bool rows = false;
  if (count > 0 && cols != nullptr) {
    const char kind = cols[0].name[1];
    rows = !(cols[0].name[0] == '*' && kind != '\0' && std::strchr("IOBU", kind) != nullptr);
  }
  ColumnInfoFree(cols, count);
  return rows;
}

int32_t SCS_SetParamTypes2(DrvHandle hCursor, uint16_t count, const ParamTypeEntry* types) {
  SCS* scs = context_of(hCursor);
  if (scs == nullptr) return ERR_ARGUMENT;
  if (count > 0 && types == nullptr) return ERR_ARGUMENT;
  std::unique_ptr<ParamShadow[]> shadows(new (std::nothrow) ParamShadow[count > 0 ? count : 1]);
  if (!shadows) return ERR_MEMORY;
  for (uint16_t i = 0; i < count; ++i) shadows[i] = types[i].shadow;
  // An agent without named parameter types is given the types alone.
  if (base().DRV_SetParamTypes2 == nullptr)
    return layer().DRV_SetParamTypes(hCursor, count, shadows.get());
  if (int32_t rc = scs_p_SetParamTypes(&scs->sc_paramTypes, &scs->sc_paramTypeCount, count,
                                       shadows.get());
      rc != 0)
    return rc;
  return base().DRV_SetParamTypes2(hCursor, count, types);
}

int32_t SCS_PrepareExecute2(DrvHandle hCursor, const char* sql, Dataset* params,
                            uint16_t typeCount, const ParamTypeEntry* types) {
  if (context_of(hCursor) == nullptr) return ERR_ARGUMENT;
  if (sql != nullptr) {
    if (int32_t rc = layer().DRV_Prepare(hCursor, sql); rc != 0) return rc;
  }
  if (params != nullptr) {
    if (int32_t rc = layer().DRV_SetParams(hCursor, params); rc != 0) return rc;
  }
  if (typeCount != 0) {
    if (int32_t rc = SCS_SetParamTypes2(hCursor, typeCount, types); rc != 0) return rc;
  }
  return layer().DRV_Execute(hCursor);
}

int32_t SCS_AllocPrepare(DrvHandle hConn, const char* sql, int32_t cursorType, int32_t concurrency,
                         DrvHandle* hCursor) {
  if (hCursor == nullptr) return ERR_ARGUMENT;
  *hCursor = 0;
  DrvHandle h = 0;
  if (int32_t rc = layer().DRV_AllocCursor(hConn, &h); rc != 0) return rc;
  // A type or concurrency served in place of the one asked for is no failure:
  // the caller reads the cursor's options back.
  const auto set = [h](uint16_t option, int32_t value) {
    const int32_t rc = layer().DRV_SetOption(h, DRVP_STMT_OPTION + option, &value);
    return rc == ERR_OPTION_CHANGED ? 0 : rc;
  };
  int32_t rc = 0;
  if (cursorType != SQL_CURSOR_FORWARD_ONLY) {
    rc = set(SQL_CURSOR_TYPE, cursorType);
    if (rc == 0) rc = set(SQL_CONCURRENCY, concurrency);
  }
  if (rc == 0 && sql != nullptr) {
    rc = layer().DRV_Prepare(h, sql);
    // The cursor goes with the failure; what the prepare said stays, on the connection.
    if (rc != 0) INF_CursorErrorsToConn(h, hConn);
  }
  if (rc != 0) {
    (void)layer().DRV_EndCursor(h);
    return rc;
  }
  *hCursor = h;
  return 0;
}

int32_t scs_p_ExecuteDescribe(DrvHandle hCursor, const char* sql, Dataset* params, uint16_t typeCount,
                         const ParamShadow* types, int32_t* rowsetSize, uint16_t* colCount,
                         ColumnInfo** cols, uint16_t* paramCount, ColumnInfo** paramInfo,
                         int32_t* rowCount, int16_t* attrCount, ColAttr** attrs) {
  SCS* scs = context_of(hCursor);
  if (scs == nullptr) return ERR_ARGUMENT;
  if (colCount == nullptr || cols == nullptr || paramCount == nullptr || paramInfo == nullptr ||
      rowCount == nullptr)
    return ERR_ARGUMENT;
  if (scs->sc_cursorType != SCS_FORWARD_ONLY && rowsetSize != nullptr) {
    int32_t rc = layer().DRV_SetOption(hCursor, DRVP_STMT_OPTION + SQL_ROWSET_SIZE, rowsetSize);
    if (rc == ERR_OPTION_CHANGED) {
      uint16_t len = 0;
      rc = layer().DRV_GetInfo(hCursor, DRVP_STMT_OPTION + SQL_ROWSET_SIZE, rowsetSize, 4, &len);
    }
    if (rc != 0) return rc;
  }
  if (sql != nullptr) {
    if (int32_t rc = layer().DRV_Prepare(hCursor, sql); rc != 0) return rc;
  }
  if (params != nullptr) {
    if (int32_t rc = layer().DRV_SetParams(hCursor, params); rc != 0) return rc;
  }
  if (typeCount != 0) {
    if (int32_t rc = layer().DRV_SetParamTypes(hCursor, typeCount, types); rc != 0) return rc;
  }
  forget_long_values(scs);
  // Output parameters are news, not a failure: the description still follows.
  const int32_t executed = layer().DRV_Execute(hCursor);
  if (executed != 0 && executed != ERR_OUTPUT_PARAMS) return executed;
  const bool withAttrs = attrCount != nullptr && attrs != nullptr;
  if ((withAttrs && layer().DRV_ColAttributes == nullptr) || layer().DRV_DescribeParams == nullptr)
    return ERR_NOT_CAPABLE;
  int32_t rc = withAttrs ? layer().DRV_ColAttributes(hCursor, colCount, attrCount, cols, attrs)
                         : layer().DRV_DescribeColumns(hCursor, colCount, cols);
  if (rc != 0) return rc;
  if ((rc = layer().DRV_DescribeParams(hCursor, paramCount, paramInfo)) != 0) return rc;
  if ((rc = row_count(hCursor, rowCount)) != 0) return rc;
  return executed;
}

int32_t SCS_ExecuteDescribe(DrvHandle hCursor, const char* sql, Dataset* params, uint16_t typeCount,
                            const ParamShadow* types, int32_t* rowsetSize, uint16_t* colCount,
                            ColumnInfo** cols, uint16_t* paramCount, ColumnInfo** paramInfo,
                            int32_t* rowCount) {
  return scs_p_ExecuteDescribe(hCursor, sql, params, typeCount, types, rowsetSize, colCount, cols,
                          paramCount, paramInfo, rowCount, nullptr, nullptr);
}

int32_t SCS_ExecuteDescribe2(DrvHandle hCursor, const char* sql, Dataset* params,
                             uint16_t typeCount, const ParamShadow* types, int32_t* rowsetSize,
                             uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                             ColumnInfo** paramInfo, int32_t* rowCount, int16_t* attrCount,
                             ColAttr** attrs) {
  return scs_p_ExecuteDescribe(hCursor, sql, params, typeCount, types, rowsetSize, colCount, cols,
                          paramCount, paramInfo, rowCount, attrCount, attrs);
}

// Units of one value of the layout's column: what a binding of the column holds.
uint32_t element_length(const DatasetColumn& c) {
  switch (c.type) {
    case DS_WCHAR:
    case DS_WSTRING: return c.width / 2;
    case DS_WVARCHAR4: return c.width >= 4 ? (c.width - 4) / 2 : 0;
    default: return c.width;
  }
}

int32_t SCS_DescribeBindings(DrvHandle hCursor, uint16_t* count, ColumnInfo** cols,
                             Dataset* layout) {
  if (context_of(hCursor) == nullptr) return ERR_ARGUMENT;
  if (count == nullptr || layout == nullptr) return ERR_ARGUMENT;
  // A fetch of no rows moves the cursor nowhere; an agent that lays nothing
  // out for it has the columns laid out from their descriptions, as its
  // fetches lay them out.
  if (int32_t rc = layer().DRV_Fetch(hCursor, 0, layout); rc != 0) return rc;
  if (layout->colCount == 0) {
    uint16_t n = 0;
    ColumnInfo* described = nullptr;
    if (int32_t rc = layer().DRV_DescribeColumns(hCursor, &n, &described); rc != 0) return rc;
    const int32_t rc = n > 0 ? DatasetFromColumnInfo(described, n, 0, layout) : 0;
    ColumnInfoFree(described, n);
    if (rc != 0) return rc;
  }
  *count = layout->colCount;
  if (cols == nullptr || layout->colCount == 0) return 0;
  ColumnInfo* out = ColumnInfoAlloc(layout->colCount);
  if (out == nullptr) return ERR_MEMORY;
  for (uint16_t c = 0; c < layout->colCount; ++c) {
    out[c].bindType = static_cast<uint32_t>(layout->cols[c].type);
    out[c].octetLength = element_length(layout->cols[c]);
  }
  *cols = out;
  return 0;
}

// The long values of the new rowset longer than the inline limit move aside
// into sc_longValues (laid out as the rowset), and the rowset marks them
// unread, so that they are asked for piece by piece.
int32_t scs_p_TakeLongValues(SCS* scs, Dataset* rows) {
  if (rows == nullptr || rows->rowCount == 0 || scs->sc_longValues == nullptr) return 0;
  bool anyLong = false;
  for (uint16_t c = 0; c < rows->colCount; ++c) anyLong = anyLong || is_long(rows->cols[c].type);
  if (!anyLong) return 0;
  Dataset* side = scs->sc_longValues;
  if (int32_t rc = DatasetInit(side, rows->colCount); rc != 0) return rc;
  side->colCount = rows->colCount;
  for (uint16_t c = 0; c < rows->colCount; ++c) {
    side->cols[c].type = rows->cols[c].type;
    side->cols[c].width = is_long(rows->cols[c].type) ? sizeof(DatasetLong) : 0;
  }
  if (int32_t rc = DatasetSetRows(side, rows->rowCount); rc != 0) {
    DatasetFree(side);
    return rc;
  }
  side->rowCount = rows->rowCount;
  for (uint16_t c = 0; c < rows->colCount; ++c) {
    DatasetColumn& from = rows->cols[c];
    if (!is_long(from.type) || from.ind == nullptr || from.data == nullptr) continue;
    for (int32_t r = 0; r < rows->rowCount; ++r) {
      if (from.ind[r] == DS_IND_NULL || from.ind[r] == DS_IND_NOTFETCHED) continue;
      char* slot = from.data + static_cast<size_t>(r) * from.width;
      DatasetLong value{};
      std::memcpy(&value, slot, sizeof value);
      if (value.length <= kInlineLongLimit) continue;
      std::memcpy(side->cols[c].data + static_cast<size_t>(r) * sizeof value, &value,
                  sizeof value);
      side->cols[c].ind[r] = 0;
      const DatasetLong moved{};
      std::memcpy(slot, &moved, sizeof moved);
      from.ind[r] = DS_IND_NOTFETCHED;
    }
  }
  return 0;
}

int32_t SCS_FetchDeferLong(DrvHandle hCursor, RowStatusTable** table, int32_t target,
                           int32_t* rows, int32_t* rowCount, uint16_t orientation) {
  SCS* scs = context_of(hCursor);
  if (scs == nullptr) return ERR_ARGUMENT;
  forget_long_values(scs);
  if (int32_t rc =
          layer().DRV_ExtendedFetch2(hCursor, table, target, rows, rowCount, orientation);
      rc != 0)
    return rc;
  return scs_p_TakeLongValues(scs, *table != nullptr ? (*table)->rows : nullptr);
}

int32_t SCS_GetCachedLongData(DrvHandle hCursor, uint32_t column, uint32_t row, uint32_t maxUnits,
                              void** data, uint32_t* size, uint32_t* type, int32_t* remaining) {
  SCS* scs = context_of(hCursor);
  if (scs == nullptr) return ERR_ARGUMENT;
  const Dataset* side = scs->sc_longValues;
  const bool inRange = side != nullptr && column >= 1 && column <= side->colCount && row >= 1 &&
                       row <= static_cast<uint32_t>(side->rowCount);
  const DatasetColumn* c = inRange ? &side->cols[column - 1] : nullptr;
  const bool kept = c != nullptr && is_long(c->type) && c->ind != nullptr && c->ind[row - 1] == 0;
  // A forward-only cursor's values that were not kept aside are the agent's
  // to read; the ones kept aside left the agent's rowset.
  if (scs->sc_cursorType == SCS_FORWARD_ONLY && !kept) {
    if (base().DRV_GetLongData == nullptr) return ERR_NOT_CAPABLE;
    return base().DRV_GetLongData(hCursor, column, row, maxUnits, data, size, type, remaining);
  }
  if (data == nullptr || size == nullptr || type == nullptr || remaining == nullptr)
    return ERR_ARGUMENT;
  *data = nullptr;
  *size = 0;
  *remaining = -4;
  if (side == nullptr || side->colCount == 0) return ERR_NO_DATA;
  if (!inRange) return ERR_ARGUMENT;
  if (!kept) return ERR_NO_DATA;
  DatasetLong value{};
  std::memcpy(&value, c->data + static_cast<size_t>(row - 1) * sizeof value, sizeof value);
  const bool wide = c->type == DS_LONGWCHAR;
  // Another value than the one being read starts from its beginning.
  if (scs->sc_longCol != static_cast<int16_t>(column) ||
      scs->sc_longRow != static_cast<int16_t>(row)) {
    scs->sc_longCol = static_cast<int16_t>(column);
    scs->sc_longRow = static_cast<int16_t>(row);
    scs->sc_longOffset = 0;
    scs->sc_longRest = wide ? value.length * 2 : value.length;
  }
  *type = wide ? DS_WCHAR : (c->type == DS_LONGCHAR ? DS_CHAR : DS_BINARY);
  *remaining = static_cast<int32_t>(scs->sc_longRest);
  if (scs->sc_longRest == 0) return 0;
  uint64_t piece = wide ? 2ull * maxUnits : maxUnits;
  if (piece > scs->sc_longRest) piece = scs->sc_longRest;
  void* buf = std::malloc(piece > 0 ? piece : 1);
  if (buf == nullptr) return ERR_MEMORY;
  if (piece > 0)
    std::memcpy(buf, static_cast<const char*>(value.data) + scs->sc_longOffset, piece);
  scs->sc_longOffset += static_cast<int32_t>(piece);
  scs->sc_longRest -= static_cast<uint32_t>(piece);
  *data = buf;
  *size = static_cast<uint32_t>(piece);
  return 0;
}

int32_t SCS_ExecuteBatch(DrvHandle hCursor, uint16_t count, const DriverBatchEntry* entries,
                         int16_t* done, int32_t** results) {
  SCS* scs = context_of(hCursor);
  if (scs == nullptr) return ERR_ARGUMENT;
  if (done == nullptr || results == nullptr || (count > 0 && entries == nullptr))
    return ERR_ARGUMENT;
  *done = 0;
  *results = nullptr;
  auto* counts = static_cast<int32_t*>(std::calloc(count > 0 ? count : 1, sizeof(int32_t)));
  if (counts == nullptr) return ERR_MEMORY;
  *results = counts;
  bool textlessSeen = false;
  for (uint16_t i = 0; i < count; ++i) {
    const DriverBatchEntry& e = entries[i];
    bool call = false;
    if (e.text != nullptr) {
      if (first_word_is(e.text, "select")) return ERR_DDL_DML_ONLY;
      call = first_word_is(e.text, "call");
    } else if (!textlessSeen) {
      textlessSeen = true;
      // What is prepared on the cursor: a scrollable cursor keeps its text; any
      // other statement shows what it is by the result it describes.
      if (scs->sc_sqlText != nullptr) {
        if (first_word_is(scs->sc_sqlText, "select")) return ERR_DDL_DML_ONLY;
        call = first_word_is(scs->sc_sqlText, "call");
      } else {
        uint16_t n = 0;
        ColumnInfo* cols = nullptr;
        if (int32_t rc = layer().DRV_DescribeColumns(hCursor, &n, &cols); rc != 0) return rc;
        if (result_set(cols, n)) return ERR_DDL_DML_ONLY;
      }
    }
    if (int32_t rc = layer().DRV_PrepareExecute(hCursor, e.text, e.params, e.typeCount, e.types);
        rc != 0)
      return rc;
    int32_t affected = 0;
    counts[i] = row_count(hCursor, &affected) == 0 ? affected : -2;
    if (call) {
      uint16_t n = 0;
      ColumnInfo* cols = nullptr;
      if (int32_t rc = layer().DRV_DescribeColumns(hCursor, &n, &cols); rc != 0) return rc;
      if (result_set(cols, n)) return ERR_DDL_DML_ONLY;
    }
    *done = static_cast<int16_t>(i + 1);
  }
  return 0;
}

}  // namespace

void SCR_FillCombined(DriverOps* layerTable) {
  layer_ops = layerTable;
  layerTable->DRV_PrepareExecute2 = SCS_PrepareExecute2;
  layerTable->DRV_SetParamTypes2 = SCS_SetParamTypes2;
  layerTable->DRV_AllocPrepare = SCS_AllocPrepare;
  layerTable->DRV_ExecuteDescribe = SCS_ExecuteDescribe;
  layerTable->DRV_ExecuteDescribe2 = SCS_ExecuteDescribe2;
  layerTable->DRV_DescribeBindings = SCS_DescribeBindings;
  layerTable->DRV_FetchDeferLong = SCS_FetchDeferLong;
  layerTable->DRV_GetCachedLongData = SCS_GetCachedLongData;
  layerTable->DRV_ExecuteBatch = SCS_ExecuteBatch;
}
