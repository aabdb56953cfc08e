// inf_dae.cpp -- data at execution in the agent. An execution (or a SetPos)
// whose Dataset holds cells marked DS_IND_DAE waits for them: each ParamData
// names the next cell, row by row and within a row in column order, PutData
// appends pieces to the cell named last, and the ParamData after the last cell
// merges the pieces into the Dataset and runs the suspended work.
// Owns the piece buffers of a cursor, from the start of a dialogue until its
// merge, the next start, or the cursor's close.
// Threading: one call at a time per cursor (the core serialises a connection).
// Not here: marking the cells (the core's marshalling) and the work resumed
// (ExecuteCore in inf_exec.cpp, the cursor layer's SetPos).

#include "drv_inf/inf_dae.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv/errtab.h"
#include "drv/layercalls.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_exec.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"

namespace {

constexpr const char* kSrc = "drv_inf/inf_dae";

constexpr int32_t kDaeNone = 0;
constexpr int32_t kDaeExec = 1;
constexpr int32_t kDaeSetPos = 2;
constexpr int32_t kDaeExecReady = 4;
constexpr int32_t kDaeSetPosReady = 5;

constexpr DaeCell kNoCell{-2, -2};
constexpr DaeCell kBeforeFirst{-1, -1};

// Values may arrive in many pieces but never exceed a column slot's 32 bits.
constexpr uint64_t kMaxValue = UINT32_MAX - 16;

bool isWide(int32_t t) { return t >= DS_WCHAR && t <= DS_WVARCHAR4; }

// Types whose values may come in several pieces. The ANSI build has no UTF-16
// values: its wide types count as fixed.
bool isVariable(int32_t t) {
  if (t == DS_CHAR) return true;
  if (t < DS_BINARY || t > DS_WVARCHAR4) return false;
  return !isWide(t) || InfWideBuild();
}

bool isLong(int32_t t) { return t == DS_LONGCHAR || t == DS_LONGBINARY || t == DS_LONGWCHAR; }

// Pieces of one 8-bit text family go into a column of the other: a wide value
// narrowed on its way arrives as DS_CHAR for a column narrowed to DS_STRING.
bool compatible(int32_t piece, int32_t column) {
  if (piece == column || piece == DS_BINARY) return true;
  const auto text8 = [](int32_t t) { return t == DS_CHAR || t == DS_STRING; };
  return text8(piece) && text8(column);
}

void DaeBufferSetFree(DaeColumnBuffer*& set, uint16_t& columns) {
  if (set != nullptr) {
    for (uint16_t c = 0; c < columns; ++c) {
      DaeColumnBuffer& b = set[c];
      if (b.values != nullptr)
        for (uint32_t r = 0; r < b.rows; ++r) std::free(b.values[r]);
      std::free(b.values);
      std::free(b.lengths);
      std::free(b.capacities);
      std::free(b.indicators);
    }
    std::free(set);
  }
  set = nullptr;
  columns = 0;
}

int32_t DaeBufferSetAlloc(DaeColumnBuffer*& set, uint16_t& columns, uint16_t cols, uint32_t rows) {
  DaeBufferSetFree(set, columns);
  set = static_cast<DaeColumnBuffer*>(std::calloc(cols > 0 ? cols : 1, sizeof(DaeColumnBuffer)));
  if (set == nullptr) return ERR_MEMORY;
  columns = cols;
  const size_t n = rows > 0 ? rows : 1;
  for (uint16_t c = 0; c < cols; ++c) {
    DaeColumnBuffer& b = set[c];
    b.rows = rows;
    b.values = static_cast<char**>(std::calloc(n, sizeof(char*)));
    b.lengths = static_cast<uint32_t*>(std::calloc(n, sizeof(uint32_t)));
    b.capacities = static_cast<uint32_t*>(std::calloc(n, sizeof(uint32_t)));
    b.indicators = static_cast<int16_t*>(std::calloc(n, sizeof(int16_t)));
    if (b.values == nullptr || b.lengths == nullptr || b.capacities == nullptr ||
        b.indicators == nullptr) {
      DaeBufferSetFree(set, columns);
      return ERR_MEMORY;
    }
  }
  return 0;
}

// The first DS_IND_DAE cell after `from`, row by row; kNoCell when none is left.
DaeCell DaeFindNextCell(const Dataset* ds, DaeCell from) {
  if (ds == nullptr || ds->cols == nullptr) return kNoCell;
  int32_t col = from.column + 1;
  for (int32_t r = std::max(from.row, 0); r < ds->rowCount; ++r, col = 0) {
    for (int32_t c = col; c < ds->colCount; ++c) {
      const int16_t* ind = ds->cols[c].ind;
      if (ind != nullptr && ind[r] == DS_IND_DAE) return DaeCell{r, c};
    }
  }
  return kNoCell;
}

// Appends one piece to row `row`. A NULL piece discards what came before; an
// empty first piece leaves the row without a block, so the next piece starts
// it. Blocks grow geometrically: a value sent in many small pieces is copied a
// bounded number of times.
int32_t DaeBufferAddPiece(DaeColumnBuffer& b, uint32_t row, int32_t type, int16_t indicator,
                 const char* data, uint32_t length) {
  if (indicator == DS_IND_NULL) {
    std::free(b.values[row]);
    b.values[row] = nullptr;
    b.lengths[row] = 0;
    b.capacities[row] = 0;
    b.indicators[row] = DS_IND_NULL;
    return 0;
  }
  // One value travels as one type; so do the values of one column.
  if (b.type != DS_NONE && type != b.type && (b.values[row] != nullptr || length > 0))
    return ERR_GENERAL;
  if (b.values[row] == nullptr) {
    b.indicators[row] = indicator;
    b.lengths[row] = 0;
    if (length == 0) return 0;
    b.type = type;
  }
  const uint64_t need = uint64_t{b.lengths[row]} + length;
  if (need > kMaxValue) return ERR_MEMORY;
  if (need > b.capacities[row]) {
    // The first piece is taken at its size: most values come in one.
    uint64_t cap =
        b.values[row] == nullptr ? need : std::max<uint64_t>(need, 2 * uint64_t{b.capacities[row]});
    cap = std::min<uint64_t>(cap, kMaxValue);
    char* grown = static_cast<char*>(std::realloc(b.values[row], cap));
    if (grown == nullptr) return ERR_MEMORY;
    b.values[row] = grown;
    b.capacities[row] = static_cast<uint32_t>(cap);
  }
  // An empty piece may come without a buffer at all.
  if (length != 0) std::memcpy(b.values[row] + b.lengths[row], data, length);
  b.lengths[row] = static_cast<uint32_t>(need);
  return 0;
}

char* slotOf(const DatasetColumn& col, uint32_t r) { return col.data + uint64_t{r} * col.width; }

bool isText(int32_t t) {
  switch (t) {
    case DS_CHAR:
    case DS_STRING:
    case DS_VARCHAR1:
    case DS_VARCHAR2:
    case DS_VARCHAR4:
    case DS_WCHAR:
    case DS_WSTRING:
    case DS_WVARCHAR4: return true;
    default: return false;
  }
}

// Bytes of the value a present, unmarked cell holds (after its prefix).
uint64_t cellBytes(const DatasetColumn& col, uint32_t r) {
  const char* s = slotOf(col, r);
  const uint32_t w = col.width;
  uint32_t n = 0;
  switch (col.type) {
    case DS_CHAR:
    case DS_STRING: return strnlen(s, w);
    case DS_BINARY: return w;
    case DS_VARCHAR1:
    case DS_VARBINARY1: return std::min<uint32_t>(static_cast<uint8_t>(s[0]), w - 1);
    case DS_VARCHAR2:
    case DS_VARBINARY2: {
      uint16_t v;
      std::memcpy(&v, s, 2);
      return std::min<uint32_t>(v, w - 2);
    }
    case DS_VARCHAR4:
    case DS_VARBINARY4: std::memcpy(&n, s, 4); return std::min<uint32_t>(n, w - 4);
    case DS_WVARCHAR4: std::memcpy(&n, s, 4); return std::min<uint64_t>(2 * uint64_t{n}, w - 4);
    case DS_WCHAR:
    case DS_WSTRING: {
      uint32_t u = 0;
      for (; u < w / 2; ++u) {
        char16_t c;
        std::memcpy(&c, s + 2 * u, 2);
        if (c == 0) break;
      }
      return 2 * uint64_t{u};
    }
    default: return 0;
  }
}

// The slot width a variable-length column needs for values of `bytes` bytes
// (terminators and prefixes included); 0 when no slot can hold them.
uint64_t widthFor(int32_t type, uint64_t bytes) {
  switch (type) {
    case DS_CHAR:
    case DS_STRING: return bytes + 1;
    case DS_BINARY: return std::max<uint64_t>(bytes, 1);
    case DS_VARCHAR1:
    case DS_VARBINARY1: return bytes <= UINT8_MAX ? bytes + 1 : 0;
    case DS_VARCHAR2:
    case DS_VARBINARY2: return bytes <= UINT16_MAX ? (bytes + 3) & ~uint64_t{1} : 0;
    case DS_VARCHAR4:
    case DS_VARBINARY4: return (bytes + 7) & ~uint64_t{3};
    case DS_WCHAR:
    case DS_WSTRING: return (bytes & ~uint64_t{1}) + 2;
    case DS_WVARCHAR4: return ((bytes & ~uint64_t{1}) + 7) & ~uint64_t{3};
    default: return sizeof(DatasetLong);  // the long types
  }
}

void putPrefix(char* slot, uint32_t prefix, uint64_t value) {
  if (prefix == 1) {
    slot[0] = static_cast<char>(value);
  } else if (prefix == 2) {
    const auto v = static_cast<uint16_t>(value);
    std::memcpy(slot, &v, 2);
  } else if (prefix == 4) {
    const auto v = static_cast<uint32_t>(value);
    std::memcpy(slot, &v, 4);
  }
}

// A value's length as the prefix of its type counts it.
uint64_t prefixValue(int32_t type, uint32_t bytes) {
  return type == DS_WVARCHAR4 ? bytes / 2 : bytes;
}

// The collected bytes a cell of the type takes: UTF-16 values are whole units.
uint32_t usable(int32_t type, uint32_t bytes) { return isWide(type) ? bytes & ~1u : bytes; }

// Rebuilds a variable-length column with slots as wide as its longest value.
// The collected blocks are released as they are copied; a single row takes its
// block over as the column's storage, so a large value is never held twice.
int32_t DAEDatasetColReplace(DatasetColumn& col, DaeColumnBuffer& b, uint32_t rows) {
  const int32_t type = col.type;
  if (isLong(type)) {
    // A long slot holds a pointer: the collected block becomes the value.
    if (type == DS_LONGCHAR) {
      INF_LOG(LOG_ERR, kSrc, "DAEDatasetColReplace: Unexpected Kestrane C type.");
      return ERR_GENERAL;
    }
    for (uint32_t r = 0; r < rows; ++r) {
      if (col.ind[r] != DS_IND_DAE) continue;
      col.ind[r] = b.indicators[r];
      DatasetLong lv{};
      if (b.indicators[r] == 0 && b.values[r] != nullptr) {
        lv.data = b.values[r];
        lv.length = type == DS_LONGWCHAR ? b.lengths[r] / 2 : b.lengths[r];
        b.values[r] = nullptr;
        b.lengths[r] = 0;
        b.capacities[r] = 0;
      }
      std::memcpy(slotOf(col, r), &lv, sizeof lv);
    }
    return 0;
  }
  const uint32_t prefix = DatasetPrefixSize(type);
  uint64_t longest = 0;
  for (uint32_t r = 0; r < rows; ++r) {
    uint64_t n = 0;
    if (col.ind[r] == DS_IND_DAE)
      n = b.indicators[r] == 0 ? usable(type, b.lengths[r]) : 0;
    else if (col.ind[r] != DS_IND_NULL)
      n = cellBytes(col, r);
    longest = std::max(longest, n);
  }
  const uint64_t width = widthFor(type, longest);
  if (width == 0) {
    INF_LOG(LOG_ERR, kSrc, "DAEDatasetColReplace: value too long for its column");
    return ERR_GENERAL;
  }
  if (width > kMaxValue || width * rows > kMaxValue) return ERR_MEMORY;

  if (rows == 1 && col.ind[0] == DS_IND_DAE && b.indicators[0] == 0 && b.values[0] != nullptr) {
    const uint32_t n = usable(type, b.lengths[0]);
    char* block = static_cast<char*>(std::realloc(b.values[0], width + 1));
    if (block == nullptr) return ERR_MEMORY;
    b.values[0] = nullptr;
    b.lengths[0] = 0;
    b.capacities[0] = 0;
    std::memmove(block + prefix, block, n);
    putPrefix(block, prefix, prefixValue(type, n));
    std::memset(block + prefix + n, 0, width + 1 - prefix - n);
    std::free(col.data);
    col.data = block;
    col.width = static_cast<uint32_t>(width);
    col.ind[0] = 0;
    return 0;
  }

  char* data = static_cast<char*>(std::calloc(width * rows + 1, 1));
  if (data == nullptr) return ERR_MEMORY;
  for (uint32_t r = 0; r < rows; ++r) {
    char* slot = data + uint64_t{r} * width;
    if (col.ind[r] == DS_IND_DAE) {
      col.ind[r] = b.indicators[r];
      if (b.indicators[r] != 0) continue;
      const uint32_t n = usable(type, b.lengths[r]);
      putPrefix(slot, prefix, prefixValue(type, n));
      if (n > 0) std::memcpy(slot + prefix, b.values[r], n);
      std::free(b.values[r]);
      b.values[r] = nullptr;
      b.lengths[r] = 0;
      b.capacities[r] = 0;
    } else if (col.ind[r] != DS_IND_NULL) {
      // The old slot holds the value, its prefix and padding; the new slot is
      // at least as wide as the value needs.
      std::memcpy(slot, slotOf(col, r), std::min<uint64_t>(col.width, width));
    }
  }
  std::free(col.data);
  col.data = data;
  col.width = static_cast<uint32_t>(width);
  return 0;
}

// Puts the collected values into the marked cells of ds.
// Text sent at execution arrives whole only now: blank text for a marker whose bound or
// described type is a number, date or time is refused (22018), as the generic layer refuses
// it in a value bound whole, where the server would store NULL.
int32_t refuseBlankText(const InfCursor* cur) {
  const Dataset* ds = cur->params;
  if (ds == nullptr || cur->paramTypes == nullptr) return 0;
  uint16_t c = 0;  // the Dataset holds the input markers only
  for (uint16_t i = 0; i < cur->paramTypeCount && c < ds->colCount; ++i) {
    const ParamShadow& t = cur->paramTypes[i];
    if (t.paramType == SQL_PARAM_OUTPUT) continue;
    const DatasetColumn& col = ds->cols[c++];
    const int32_t described = i < cur->paramCount ? cur->paramInfo[i].sqlType : 0;
    if (!isText(col.type) ||
        (!SqlTypeRefusesBlankText(t.sqlType) && !SqlTypeRefusesBlankText(described)))
      continue;
    const bool wide = isWide(col.type);
    for (int32_t r = 0; r < ds->rowCount; ++r) {
      if (col.ind[r] == DS_IND_NULL) continue;
      const uint64_t bytes = cellBytes(col, static_cast<uint32_t>(r));
      const char* s = slotOf(col, static_cast<uint32_t>(r)) + DatasetPrefixSize(col.type);
      bool blank = true;
      for (uint64_t k = 0; blank && k < bytes; k += wide ? 2 : 1) {
        char16_t u = static_cast<unsigned char>(s[k]);
        if (wide) std::memcpy(&u, s + k, 2);
        blank = u == ' ' || (u >= '\t' && u <= '\r');
      }
      if (blank) return ERR_CAST_CHAR;
    }
  }
  return 0;
}

int32_t DAEDatasetMerge(Dataset* ds, DaeColumnBuffer* set, uint16_t columns) {
  if (ds == nullptr || set == nullptr) return ERR_GENERAL;
  const uint32_t rows = static_cast<uint32_t>(std::max(ds->rowCount, 0));
  for (uint16_t c = 0; c < ds->colCount && c < columns; ++c) {
    DatasetColumn& col = ds->cols[c];
    DaeColumnBuffer& b = set[c];
    if (col.ind == nullptr || col.data == nullptr) continue;
    if (std::find(col.ind, col.ind + rows, DS_IND_DAE) == col.ind + rows) continue;
    if (b.rows < rows) return ERR_GENERAL;  // the Dataset changed under the dialogue
    // A column whose cells got no piece with data takes empty or NULL values
    // whatever its type.
    if (b.type != DS_NONE && !compatible(b.type, col.type)) {
      INF_LOG(LOG_ERR, kSrc, "DAEDatasetMerge: Type mismatch.");
      return ERR_GENERAL;
    }
    if (isVariable(col.type)) {
      if (int32_t rc = DAEDatasetColReplace(col, b, rows); rc != 0) return rc;
      continue;
    }
    for (uint32_t r = 0; r < rows; ++r) {
      if (col.ind[r] != DS_IND_DAE) continue;
      col.ind[r] = b.indicators[r];
      if (b.indicators[r] != 0) continue;
      char* slot = slotOf(col, r);
      std::memset(slot, 0, col.width);
      if (b.values[r] != nullptr)
        std::memcpy(slot, b.values[r], std::min<uint32_t>(b.lengths[r], col.width));
    }
  }
  return 0;
}

// A scrollable cursor's execution is the cursor layer's, which kept the
// parameters to run its own statements with: it runs once the values are in.
bool scrollable(const InfCursor* cur) {
  return cur->scs.sc_cursorType != SCS_FORWARD_ONLY &&
         (cur->scs.sc_flags & SCS_F_PARAMS_KEPT) != 0;
}

// Starts a dialogue over ds: the piece buffers, the first cell, the state.
int32_t start(InfCursor* cur, const Dataset* ds, DaeColumnBuffer*& set, uint16_t& columns,
              int32_t state) {
  DaeBufferSetFree(set, columns);
  if (ds == nullptr) return 0;
  cur->daeCurrent = kBeforeFirst;
  cur->daeNext = DaeFindNextCell(ds, kBeforeFirst);
  if (cur->daeNext.row < 0) return 0;
  if (int32_t rc = DaeBufferSetAlloc(set, columns, ds->colCount,
                                static_cast<uint32_t>(std::max(ds->rowCount, 0)));
      rc != 0)
    return rc;
  cur->daePutCount = 0;
  cur->daeState = state;
  return ERR_NEED_DAE;
}

}  // namespace

int32_t DAEStartExecute(InfCursor* cur) noexcept {
  return start(cur, cur->params, cur->daeExec, cur->daeExecColumns, kDaeExec);
}

int32_t DAEStartSetPos(DrvHandle hCursor) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  // A dialogue the application gave up on must not name cells of this request.
  DaeReset(cur);
  const uint16_t op = cur->scs.sc_setPosOp;
  if (op != 2 && op != 4) return 0;  // only an update or an add carries values
  return start(cur, cur->scs.sc_setPosRows, cur->daeSetPos, cur->daeSetPosColumns, kDaeSetPos);
}

void DaeReset(InfCursor* cur) noexcept {
  DaeBufferSetFree(cur->daeExec, cur->daeExecColumns);
  DaeBufferSetFree(cur->daeSetPos, cur->daeSetPosColumns);
  cur->daeState = kDaeNone;
  cur->daeNext = kNoCell;
  cur->daeCurrent = kBeforeFirst;
  cur->daePutCount = 0;
}

int32_t INF_ParamData(DrvHandle hCursor, int32_t* index, int32_t* row, uint16_t** setPosStatuses,
                      int32_t* count) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  if (setPosStatuses != nullptr) *setPosStatuses = nullptr;
  if (cur->daeState == kDaeNone) return ERR_SEQUENCE;
  cur->daeCurrent = cur->daeNext;
  cur->daePutCount = 0;
  int32_t rc = 0;
  switch (cur->daeState) {
    case kDaeExec:
    case kDaeSetPos: {
      const Dataset* ds = cur->daeState == kDaeExec ? cur->params : cur->scs.sc_setPosRows;
      cur->daeNext = DaeFindNextCell(ds, cur->daeCurrent);
      if (cur->daeNext.row < 0)
        cur->daeState = cur->daeState == kDaeExec ? kDaeExecReady : kDaeSetPosReady;
      rc = ERR_NEED_DAE;
      break;
    }
    case kDaeExecReady:
    case kDaeSetPosReady: {
      // The dialogue ends here whatever the outcome: a second ParamData must
      // not run the work again.
      const bool exec = cur->daeState == kDaeExecReady;
      rc = exec ? DAEDatasetMerge(cur->params, cur->daeExec, cur->daeExecColumns)
                : DAEDatasetMerge(cur->scs.sc_setPosRows, cur->daeSetPos, cur->daeSetPosColumns);
      DaeReset(cur);
      cur->daeCurrent = kNoCell;
      if (rc == 0 && exec) rc = refuseBlankText(cur);
      if (rc == 0 && !exec)
        rc = SCS_SetPosResume(&cur->scs, setPosStatuses, count);
      else if (rc == 0)
        rc = scrollable(cur) ? SCS_ExecuteResume(&cur->scs, cur->params) : ExecuteCore(cur);
      break;
    }
    default: break;
  }
  if (index != nullptr) *index = cur->daeCurrent.column;
  if (row != nullptr) *row = cur->daeCurrent.row;
  return rc;
}

int32_t INF_PutData(DrvHandle hCursor, uint32_t dsType, int16_t indicator, const void* data,
                    int32_t length) {
  InfCursor* cur = InfCursorLookup(hCursor);
  if (cur == nullptr) return ERR_ARGUMENT;
  if (cur->daeState == kDaeNone) return ERR_SEQUENCE;
  const auto type = static_cast<int32_t>(dsType);
  if (++cur->daePutCount > 1 && !isVariable(type)) {
    INF_LOG(LOG_ERR, kSrc, "INF_PutData: Called more than once for a fixed length type.");
    return ERR_SEQUENCE;
  }
  DaeColumnBuffer* set = nullptr;
  uint16_t columns = 0;
  switch (cur->daeState) {
    case kDaeExec:
    case kDaeExecReady:
      set = cur->daeExec;
      columns = cur->daeExecColumns;
      break;
    case kDaeSetPos:
    case kDaeSetPosReady:
      set = cur->daeSetPos;
      columns = cur->daeSetPosColumns;
      break;
    default: return 0;
  }
  // Pieces go only to a cell a ParamData has named.
  const DaeCell at = cur->daeCurrent;
  if (set == nullptr || at.row < 0 || at.column < 0 || at.column >= columns ||
      static_cast<uint32_t>(at.row) >= set[at.column].rows)
    return ERR_SEQUENCE;
  if (length < 0 || (data == nullptr && length > 0 && indicator != DS_IND_NULL)) return ERR_GENERAL;
  return DaeBufferAddPiece(set[at.column], static_cast<uint32_t>(at.row), type, indicator,
                  static_cast<const char*>(data), static_cast<uint32_t>(length));
}
