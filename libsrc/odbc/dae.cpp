// dae.cpp -- data at execution for statement parameters. An execution with
// values announced as SQL_DATA_AT_EXEC or SQL_LEN_DATA_AT_EXEC(n) answers
// SQL_NEED_DATA; each SQLParamData names the next value wanted, row by row
// and within a parameter set in parameter order, SQLPutData sends it in pieces,
// and the SQLParamData after the last value runs the execution and answers
// for it. Two roads, chosen by the back end's capability at every call: the
// core collects the pieces in the bindings and marshals them like bound values
// (local road), or every piece goes to the back end, which names the values and
// completes its parameter Dataset itself (driver road).
// Values of bound columns sent at execution for SetPos and BulkOperations go
// the same way: named row by row in binding order, collected in the bindings
// (local road) or handed to the back end, which names them by their place in
// the rows it was given (driver road, SetPos only). The road is the one the
// waiting operation took; BulkOperations always takes the local road.
// Owns the pieces of the local road, held by the bindings until the execution,
// the next execution or a close.
// Threading: under the statement's connection call lock.
// Not here: which columns and rows a positioned operation sends (setpos.cpp).

#include "odbc/dae.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/binding.h"
#include "odbc/bulkops.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/cvt.h"
#include "odbc/execute.h"
#include "odbc/setpos.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "platform/windows/codepage.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

bool is_variable(int16_t cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

bool is_datetime_sql(int32_t t) {
  return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP || t == SQL_TYPE_DATE ||
         t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP;
}

bool is_binary_sql(int32_t t) {
  return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

uint64_t wide_units(const void* text) {
  const auto* p = static_cast<const char*>(text);
  uint64_t n = 0;
  for (;; ++n) {
    char16_t u;
    std::memcpy(&u, p + 2 * n, 2);
    if (u == 0) return n;
  }
}

// A piece's length in bytes: SQL_NTS measured by the C type.
uint64_t piece_length(int16_t cType, const void* data, int64_t length) {
  if (length != SQL_NTS) return static_cast<uint64_t>(length);
  if (cType == SQL_C_WCHAR) return 2 * wide_units(data);
  return std::strlen(static_cast<const char*>(data));
}

// PutData's argument rules: no negative length but the few ODBC names, and a
// value pointer unless the length says there is nothing to read. -> 0 or the
// code of the refusal.
int32_t piece_fault(const void* data, int64_t length) {
  if (length == SQL_NULL_DATA || length == SQL_DEFAULT_PARAM) return 0;
  if (length < 0 && length != SQL_NTS) return ERR_BUFFER_LENGTH;
  return data != nullptr || length == 0 ? 0 : ERR_ARGUMENT;
}

// ---- Local road ----------------------------------------------------------------

// A collected value's block holds block_size(length) bytes, so that its size
// needs no field of its own and a value arriving in many small pieces is
// copied a bounded number of times.
uint64_t block_size(uint64_t length) { return length <= 16 ? 16 : std::bit_ceil(length); }

// The collected values of one binding: one block and length per row.
template <typename Block>
struct Collected {
  Block* buffers;
  uint64_t* lengths;
  uint64_t rows;
  int16_t cType;
  uint64_t fixedSize;  // bytes of a fixed-size C type's value
};

Collected<char*> collected(ParamBinding& pb) {
  return {pb.pb_daeBuffers, pb.pb_daeLengths, pb.pb_daeRows, pb.pb_cType,
          static_cast<uint64_t>(pb.pb_transferSize)};
}

template <typename Block>
void drop_value(const Collected<Block>& c, uint64_t row) {
  std::free(c.buffers[row]);
  c.buffers[row] = nullptr;
  c.lengths[row] = 0;
}

void drop_value(ParamBinding& pb, uint64_t row) { drop_value(collected(pb), row); }

// Appends one piece to the value of row `row`. -> a driver error code; a
// refused piece leaves the value as it was.
template <typename Block>
int32_t append_piece(Stmt* stmt, const Collected<Block>& c, const void* data, int64_t length,
                     uint64_t row) {
  if (int32_t fault = piece_fault(data, length); fault != 0) return fault;
  if (length == SQL_DEFAULT_PARAM) return ERR_ARGUMENT;
  if (c.buffers == nullptr || row >= c.rows) return ERR_SEQUENCE;
  // Nothing follows a NULL.
  if (c.buffers[row] == nullptr && c.lengths[row] == DAE_NULL_LENGTH) return ERR_CONCAT_NULL;
  // A number, a date or any other fixed-size value comes whole, once.
  const bool fixed = !is_variable(c.cType);
  if (fixed && data == nullptr && length != SQL_NULL_DATA) return ERR_ARGUMENT;
  if (fixed && stmt->st_daePieces > 0) return ERR_FIXED_IN_PIECES;
  if (length == SQL_NULL_DATA) {
    drop_value(c, row);
    c.lengths[row] = DAE_NULL_LENGTH;
    ++stmt->st_daePieces;
    return 0;
  }
  const uint64_t n = fixed ? c.fixedSize : piece_length(c.cType, data, length);
  ++stmt->st_daePieces;
  if (n == 0) {
    if (c.buffers[row] == nullptr) c.lengths[row] = 0;  // empty, not NULL
    return 0;
  }
  const uint64_t old = c.buffers[row] != nullptr ? c.lengths[row] : 0;
  char* block = static_cast<char*>(c.buffers[row]);
  const uint64_t need = old + n;
  if (need < old || need > SIZE_MAX / 2) return ERR_MEMORY;
  if (block == nullptr || block_size(need) > block_size(old)) {
    char* grown = static_cast<char*>(std::realloc(block, block_size(need)));
    if (grown == nullptr) {
      --stmt->st_daePieces;
      return ERR_MEMORY;
    }
    block = grown;
    c.buffers[row] = block;
  }
  std::memcpy(block + old, data, n);
  c.lengths[row] = need;
  return 0;
}

int32_t ParamDAEAppend(Stmt* stmt, ParamBinding& pb, const void* data, int64_t length, uint64_t row) {
  return append_piece(stmt, collected(pb), data, length, row);
}

ColBinding* binding_at(Stmt* stmt, int32_t position) {
  int32_t i = 0;
  for (ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next, ++i)
    if (i == position) return &n->cb;
  return nullptr;
}

Collected<void*> collected(Stmt* stmt, ColBinding& cb) {
  const int16_t cType = BoundCType(stmt, cb);
  const int16_t size = CTypeSize(cType);
  return {cb.cb_daeBuffers, cb.cb_daeLengths, cb.cb_daeRows, cType,
          static_cast<uint64_t>(size > 0 ? size : 0)};
}

void free_collected(Stmt* stmt) {
  for (uint16_t i = 0; i < stmt->st_numParamSlots; ++i) {
    ParamBinding& pb = stmt->st_params[i];
    if (pb.pb_daeBuffers == nullptr) continue;
    for (uint64_t r = 0; r < pb.pb_daeRows; ++r) drop_value(pb, r);
  }
}

SQLRETURN DAENextParam(Stmt* stmt, void** token) {
  const uint32_t r = stmt->st_daeScanRow;
  stmt->st_daeRow = r;
  if (stmt->st_paramsProcessedPtr != nullptr) *stmt->st_paramsProcessedPtr = r + 1;
  if (stmt->st_daeState == DAE_EXEC_READY) {
    const SQLRETURN rc = ExecuteParams(stmt);
    // The Dataset holds copies: the pieces go now, whatever the outcome.
    stmt->st_daeState = DAE_NONE;
    free_collected(stmt);
    return rc;
  }
  const int16_t col = stmt->st_daeScanCol;
  stmt->st_daeCol = col;
  stmt->st_daeScanCol = static_cast<int16_t>(col + 1);
  stmt->st_daePieces = 0;
  stmt->st_daeNull = 0;
  ParamBinding& pb = stmt->st_params[col];
  // A value asked for again starts empty.
  if (pb.pb_daeBuffers != nullptr && r < pb.pb_daeRows) drop_value(pb, r);
  if (token != nullptr) *token = pb.pb_data;
  if (DAEScanParams(stmt) == 0) stmt->st_daeState = DAE_EXEC_READY;
  return SQL_NEED_DATA;
}

SQLRETURN DAENextColumn(Stmt* stmt, void** token) {
  const uint32_t r = stmt->st_daeScanRow;
  stmt->st_daeRow = r;
  if (stmt->st_daeState == DAE_SETPOS_READY) return SetPosResume(stmt);
  if (stmt->st_daeState == DAE_BULK_READY) return BulkResume(stmt);
  const int16_t col = stmt->st_daeScanCol;
  ColBinding* cb = binding_at(stmt, col);
  if (cb == nullptr) {
    // The bindings changed under the dialogue: it cannot go on.
    stmt->st_daeState = DAE_NONE;
    return fail(stmt, ERR_SEQUENCE);
  }
  stmt->st_daeCol = col;
  stmt->st_daeScanCol = static_cast<int16_t>(col + 1);
  stmt->st_daePieces = 0;
  stmt->st_daeNull = 0;
  const Collected<void*> c = collected(stmt, *cb);
  // A value asked for again starts empty.
  if (c.buffers != nullptr && r < c.rows) drop_value(c, r);
  if (token != nullptr) *token = BoundValue(stmt, *cb, r);
  if (DAEScanColumns(stmt) == 0)
    stmt->st_daeState = stmt->st_daeState == DAE_SETPOS ? DAE_SETPOS_READY : DAE_BULK_READY;
  return SQL_NEED_DATA;
}

SQLRETURN ParamDataNext(Stmt* stmt, void** token) {
  switch (stmt->st_daeState) {
    case DAE_EXEC:
    case DAE_EXEC_READY: return DAENextParam(stmt, token);
    case DAE_SETPOS:
    case DAE_BULK:
    case DAE_SETPOS_READY:
    case DAE_BULK_READY: return DAENextColumn(stmt, token);
    default: return fail(stmt, ERR_SEQUENCE);
  }
}

SQLRETURN PutDataAppend(Stmt* stmt, const void* data, int64_t length) {
  int32_t rc = ERR_SEQUENCE;
  switch (stmt->st_daeState) {
    case DAE_EXEC:
    case DAE_EXEC_READY:
      if (stmt->st_daeCol >= 0 && stmt->st_daeCol < stmt->st_numParamSlots)
        rc = ParamDAEAppend(stmt, stmt->st_params[stmt->st_daeCol], data, length, stmt->st_daeRow);
      break;
    case DAE_SETPOS:
    case DAE_BULK:
    case DAE_SETPOS_READY:
    case DAE_BULK_READY:
      if (ColBinding* cb = binding_at(stmt, stmt->st_daeCol); cb != nullptr)
        rc = append_piece(stmt, collected(stmt, *cb), data, length, stmt->st_daeRow);
      break;
    default: break;
  }
  if (rc != 0) return fail(stmt, rc);
  return SQL_SUCCESS;
}

// ---- Driver road ---------------------------------------------------------------

// One piece as the back end takes it.
struct Piece {
  int32_t type = DS_CHAR;
  int16_t indicator = 0;
  const char* data = nullptr;
  uint64_t length = 0;
  char* owned = nullptr;              // a converted copy, freed with the piece
  char text[NUMERIC_TEXT_SIZE] = {};  // short conversions
  ~Piece() { std::free(owned); }
};

char* own(Piece& p, uint64_t bytes) {
  p.owned = static_cast<char*>(std::malloc(bytes > 0 ? bytes : 1));
  return p.owned;
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// UTF-16 bytes as 8-bit text of the ANSI code page. A piece may end inside a
// character (an odd byte, the first half of a surrogate pair): that end is held
// back in the statement and goes before the next piece.
int32_t DAEPieceToNarrow(Stmt* stmt, Piece& p) {
  const uint64_t held = stmt->st_daeCarryLen;
  const uint64_t total = held + p.length;
  char* joined = static_cast<char*>(std::malloc(total > 0 ? total : 1));
  if (joined == nullptr) return ERR_MEMORY;
  std::memcpy(joined, stmt->st_daeCarry, held);
  if (p.length > 0) std::memcpy(joined + held, p.data, p.length);
  uint64_t units = total / 2;
  if (units > 0) {
    char16_t last;
    std::memcpy(&last, joined + 2 * (units - 1), 2);
    if (is_high_surrogate(last)) --units;
  }
  const uint64_t keep = total - 2 * units;
  std::memcpy(stmt->st_daeCarry, joined + 2 * units, keep);
  stmt->st_daeCarryLen = static_cast<uint8_t>(keep);
  int32_t rc = 0;
  p.type = DS_CHAR;
  p.data = nullptr;
  p.length = 0;
  if (units > 0) {
    // A unit gives at most three bytes.
    char* out = own(p, 3 * units);
    const auto* wide = reinterpret_cast<const char16_t*>(joined);
    const int n = out != nullptr && units <= INT32_MAX / 3
                      ? WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(units), out,
                                            static_cast<int>(3 * units), nullptr, nullptr)
                      : -1;
    if (n < 0) {
      rc = ERR_MEMORY;
    } else {
      p.data = out;
      p.length = static_cast<uint64_t>(n);
    }
  }
  std::free(joined);
  return rc;
}

// Hands a piece to the back end; a piece too long for one call goes in parts.
int32_t send_piece(Stmt* stmt, const Piece& p) {
  const DriverOps* ops = stmt->st_drv->ops;
  constexpr uint64_t kMaxPart = 1u << 30;
  uint64_t at = 0;
  do {
    const uint64_t n = std::min(p.length - at, kMaxPart);
    if (int32_t rc = ops->DRV_PutData(
            stmt->st_hCursor, static_cast<uint32_t>(p.type), static_cast<uint16_t>(p.indicator),
            p.data != nullptr ? p.data + at : nullptr, static_cast<int32_t>(n));
        rc != 0)
      return rc;
    at += n;
  } while (at < p.length);
  return 0;
}

// Hex text for a binary SQL type as bytes. A piece may end between the two
// digits of a byte: that digit is held back for the next piece.
int32_t hex_piece(Stmt* stmt, Piece& p) {
  const uint64_t held = stmt->st_daeCarryLen;
  const uint64_t total = held + p.length;
  char* out = own(p, total / 2);
  if (out == nullptr) return ERR_MEMORY;
  uint64_t done = 0;
  if (held == 1 && p.length > 0) {
    const char pair[2] = {static_cast<char>(stmt->st_daeCarry[0]), p.data[0]};
    HexToBinary(out, pair, 2);
    done = 1;
  }
  const uint64_t rest = p.length - std::min<uint64_t>(p.length, held);
  const char* from = p.data + (p.length - rest);
  HexToBinary(out + done, from, rest & ~uint64_t{1});
  if (rest % 2 != 0) {
    stmt->st_daeCarry[0] = static_cast<uint8_t>(from[rest - 1]);
    stmt->st_daeCarryLen = 1;
  } else if (held == 0 || p.length > 0) {
    stmt->st_daeCarryLen = 0;
  }
  p.type = DS_BINARY;
  p.data = out;
  p.length = total / 2;
  return 0;
}

// The end of a value held back by a piece before: a lone first half of a
// surrogate pair goes as the ANSI form of that unit; an odd byte or a lone hex
// digit is no character and is dropped.
int32_t flush_carry(Stmt* stmt) {
  const uint8_t held = stmt->st_daeCarryLen;
  stmt->st_daeCarryLen = 0;
  if (held < 2) return 0;
  Piece p;
  char16_t u;
  std::memcpy(&u, stmt->st_daeCarry, 2);
  const int n = WideCharToMultiByte(CP_ACP, 0, &u, 1, p.text, sizeof p.text, nullptr, nullptr);
  if (n <= 0) return 0;
  p.data = p.text;
  p.length = static_cast<uint64_t>(n);
  return send_piece(stmt, p);
}

// A date, time or timestamp sent as text: its escape ({d '...'}) can only be
// read whole, so its pieces are held and go as one at the value's end.
bool held_whole(const ParamBinding& pb, int64_t length) {
  return (pb.pb_cType == SQL_C_CHAR || pb.pb_cType == SQL_C_WCHAR) &&
         is_datetime_sql(pb.pb_sqlType) && length != SQL_NULL_DATA;
}

int32_t hold_text(Stmt* stmt, const ParamBinding& pb, const void* data, int64_t length) {
  const uint64_t n = piece_length(pb.pb_cType, data, length);
  const uint64_t total = uint64_t{stmt->st_daeTextLen} + n;
  if (total > UINT32_MAX) return ERR_MEMORY;
  if (n == 0 && stmt->st_daeText != nullptr) return 0;
  char* grown = static_cast<char*>(std::realloc(stmt->st_daeText, total > 0 ? total : 1));
  if (grown == nullptr) return ERR_MEMORY;
  if (n > 0) std::memcpy(grown + stmt->st_daeTextLen, data, n);
  stmt->st_daeText = grown;
  stmt->st_daeTextLen = static_cast<uint32_t>(total);
  return 0;
}

int32_t shape_piece(Stmt* stmt, const ParamBinding& pb, const void* data, int64_t length,
                    Piece& p);

// The held pieces of the value before, as one piece.
int32_t flush_text(Stmt* stmt) {
  char* text = stmt->st_daeText;
  const uint32_t n = stmt->st_daeTextLen;
  stmt->st_daeText = nullptr;
  stmt->st_daeTextLen = 0;
  if (text == nullptr) return 0;
  const int32_t index = stmt->st_daeDrvIndex;
  int32_t rc = 0;
  if (stmt->st_daeState == DAE_EXEC && index >= 0 && index < stmt->st_numParamSlots) {
    Piece p;
    rc = shape_piece(stmt, stmt->st_params[index], text, n, p);
    if (rc == 0) rc = send_piece(stmt, p);
  }
  std::free(text);
  return rc;
}

// Shapes a piece of the application's C type as marshalling shapes a value of
// that type: text stays text (a whole date-time escape becomes the plain text
// of its value), hex text for a binary SQL type becomes bytes, NUMERIC and GUID
// values become their text, fixed-size values are taken at their size.
int32_t shape_piece(Stmt* stmt, const ParamBinding& pb, const void* data, int64_t length,
                    Piece& p) {
  const int16_t cType = pb.pb_cType;
  uint32_t width = 0;
  p.type = CTypeToDatasetType(cType, &width);
  if (length == SQL_NULL_DATA) {
    p.indicator = DS_IND_NULL;
    // What was held belongs to the discarded value.
    stmt->st_daeCarryLen = 0;
    std::free(stmt->st_daeText);
    stmt->st_daeText = nullptr;
    stmt->st_daeTextLen = 0;
    return 0;
  }
  const auto* bytes = static_cast<const char*>(data);
  switch (cType) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      const bool wide = cType == SQL_C_WCHAR;
      p.data = bytes;
      p.length = piece_length(cType, data, length);
      if (!wide && is_binary_sql(pb.pb_sqlType)) return hex_piece(stmt, p);
      if (is_datetime_sql(pb.pb_sqlType) && p.length > 0) {
        char text[64];
        if (const uint64_t n = DateTimeEscapeText(bytes, p.length, wide, pb.pb_sqlType, text);
            n > 0) {
          if (!wide) {
            std::memcpy(p.text, text, n);
            p.length = n;
          } else {
            // The escape's text is ASCII: widened unit for unit.
            for (uint64_t i = 0; i < n && 2 * i + 1 < sizeof p.text; ++i) {
              const char16_t u = static_cast<unsigned char>(text[i]);
              std::memcpy(p.text + 2 * i, &u, 2);
            }
            p.length = std::min<uint64_t>(2 * n, sizeof p.text);
          }
          p.data = p.text;
        }
      }
      if (wide && !BackEndTakesWide(stmt)) return DAEPieceToNarrow(stmt, p);
      return 0;
    }
    case SQL_C_BINARY:
      p.type = DS_BINARY;
      p.data = bytes;
      p.length = piece_length(cType, data, length);
      return 0;
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT n{};
      std::memcpy(&n, bytes, sizeof n);
      const int64_t len = NumericToText(&n, p.text, sizeof p.text);
      if (len < 0) return ERR_NUMERIC_RANGE;
      p.type = DS_CHAR;
      p.data = p.text;
      p.length = static_cast<uint64_t>(len);
      return 0;
    }
    case SQL_C_GUID: {
      SQLGUID g{};
      std::memcpy(&g, bytes, sizeof g);
      GuidToText(p.text, &g);
      p.type = DS_CHAR;
      p.data = p.text;
      p.length = 36;
      return 0;
    }
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      int64_t x;
      std::memcpy(&x, bytes, sizeof x);
      const int n =
          cType == SQL_C_SBIGINT
              ? std::snprintf(p.text, sizeof p.text, "%lld", static_cast<long long>(x))
              : std::snprintf(p.text, sizeof p.text, "%llu", static_cast<unsigned long long>(x));
      p.type = DS_CHAR;
      p.data = p.text;
      p.length = static_cast<uint64_t>(n);
      return 0;
    }
    default:
      p.data = bytes;
      p.length = width;
      return 0;
  }
}

// The back end named a cell of the rows a SetPos handed it: the column by its
// place in the SetPos's column map, the row counted from the first row sent.
SQLRETURN setpos_cell(Stmt* stmt, int32_t index, int32_t row, void** token) {
  const bool inMap = index >= 0 && index < stmt->st_setPosColCount && stmt->st_setPosCols != nullptr;
  int16_t position = -1;
  ColBinding* cb =
      inMap ? BindingOfColumn(stmt, stmt->st_setPosCols[index], &position) : nullptr;
  if (cb == nullptr || row < 0 || static_cast<uint32_t>(row) >= stmt->st_setPosCount) {
    stmt->st_daeState = DAE_NONE;
    return fail(stmt, ERR_GENERAL);
  }
  const uint64_t k = static_cast<uint64_t>(stmt->st_setPosFirst) + static_cast<uint32_t>(row);
  stmt->st_daeDrvIndex = position;
  stmt->st_daeDrvRow = static_cast<int32_t>(k);
  stmt->st_daePieces = 0;
  stmt->st_daeNull = 0;
  if (token != nullptr) *token = BoundValue(stmt, *cb, k);
  return SQL_NEED_DATA;
}

SQLRETURN exec_cell(Stmt* stmt, int32_t index, int32_t row, void** token) {
  // The back end counts the columns and rows of its Dataset, which has no
  // column for an output parameter and no row for an ignored set.
  const int32_t param = ParamOfColumn(stmt, index);
  const int64_t set = SetOfRow(stmt, row);
  if (param < 0 || param >= stmt->st_numParamSlots || set < 0) {
    stmt->st_daeState = DAE_NONE;
    return fail(stmt, ERR_GENERAL);
  }
  stmt->st_daeDrvIndex = param;
  stmt->st_daeDrvRow = static_cast<int32_t>(set);
  stmt->st_daePieces = 0;
  stmt->st_daeNull = 0;
  if (stmt->st_paramsProcessedPtr != nullptr)
    *stmt->st_paramsProcessedPtr = static_cast<uint64_t>(set) + 1;
  if (token != nullptr) *token = stmt->st_params[param].pb_data;
  return SQL_NEED_DATA;
}

SQLRETURN ParamDataDriver(Stmt* stmt, void** token) {
  const bool setPos = stmt->st_daeState == DAE_SETPOS;
  if (stmt->st_daeState != DAE_EXEC && !setPos) return fail(stmt, ERR_SEQUENCE);
  // The value before ends here: what was held of it goes now.
  if (int32_t rc = flush_text(stmt); rc != 0) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, rc);
  }
  if (int32_t rc = flush_carry(stmt); rc != 0) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, rc);
  }
  int32_t index = -1;
  int32_t row = -1;
  int32_t count = -1;
  uint16_t* statuses = nullptr;
  const int32_t code =
      stmt->st_drv->ops->DRV_ParamData(stmt->st_hCursor, &index, &row, &statuses, &count);
  stmt->errCode = code;
  if (statuses != nullptr) {
    // A resumed SetPos hands its per-row results over here.
    std::free(stmt->st_setPosStatus);
    stmt->st_setPosStatus = setPos ? statuses : nullptr;
    stmt->st_setPosStatusCount = count;
    if (!setPos) std::free(statuses);
  }
  if (code == ERR_NEED_DAE)
    return setPos ? setpos_cell(stmt, index, row, token) : exec_cell(stmt, index, row, token);
  // Any other answer ends the dialogue: a further ParamData runs nothing again.
  stmt->st_daeState = DAE_NONE;
  if (setPos) return SetPosFinish(stmt);
  return ExecuteFinish(stmt, stmt->st_daeSets);
}

SQLRETURN PutDataDriver(Stmt* stmt, const void* data, int64_t length) {
  ParamBinding target{};
  const int32_t index = stmt->st_daeDrvIndex;
  if (stmt->st_daeState == DAE_EXEC) {
    if (index < 0 || index >= stmt->st_numParamSlots) return fail(stmt, ERR_SEQUENCE);
    target = stmt->st_params[index];
  } else if (stmt->st_daeState == DAE_SETPOS) {
    // A column value is shaped by its C type alone: it has no SQL type to
    // parse a date or decode hex for.
    ColBinding* cb = binding_at(stmt, index);
    if (cb == nullptr) return fail(stmt, ERR_SEQUENCE);
    target.pb_cType = BoundCType(stmt, *cb);
  } else {
    return fail(stmt, ERR_SEQUENCE);
  }
  if (int32_t fault = piece_fault(data, length); fault != 0) return fail(stmt, fault);
  // Nothing follows a NULL.
  if (stmt->st_daeNull != 0) return fail(stmt, ERR_CONCAT_NULL);
  const bool fixed = !is_variable(target.pb_cType);
  if (fixed && stmt->st_daePieces > 0) return fail(stmt, ERR_FIXED_IN_PIECES);
  if (length == SQL_DEFAULT_PARAM) return fail(stmt, ERR_NOT_CAPABLE);
  if (fixed && data == nullptr && length != SQL_NULL_DATA) return fail(stmt, ERR_ARGUMENT);
  if (stmt->st_daeState == DAE_EXEC && held_whole(target, length)) {
    if (int32_t rc = hold_text(stmt, target, data, length); rc != 0) return fail(stmt, rc);
    ++stmt->st_daePieces;
    return SQL_SUCCESS;
  }
  Piece p;
  if (int32_t rc = shape_piece(stmt, target, data, length, p); rc != 0) return fail(stmt, rc);
  if (int32_t rc = send_piece(stmt, p); rc != 0) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, rc);
  }
  ++stmt->st_daePieces;
  if (length == SQL_NULL_DATA) stmt->st_daeNull = 1;
  return SQL_SUCCESS;
}

// The road of the dialogue under way: an execution's follows the back end's
// capability, a SetPos's the road it took, a BulkOperations' is always the
// local one.
bool on_driver_road(const Stmt* stmt) {
  switch (stmt->st_daeState) {
    case DAE_EXEC:
    case DAE_EXEC_READY: return stmt->st_dbc->cn_hasV2DAE != 0;
    case DAE_SETPOS: return stmt->st_daeOnDriver != 0;
    default: return false;
  }
}

}  // namespace

int DAEScanParams(Stmt* stmt) {
  const uint16_t n = std::min(stmt->st_numParams, stmt->st_numParamSlots);
  for (; stmt->st_daeScanRow < stmt->st_paramsetSize;
       ++stmt->st_daeScanRow, stmt->st_daeScanCol = 0) {
    for (; stmt->st_daeScanCol < n; ++stmt->st_daeScanCol) {
      const ParamBinding& pb = stmt->st_params[stmt->st_daeScanCol];
      if (pb.pb_number != stmt->st_daeScanCol + 1) continue;
      if (ParamAtExec(stmt, pb, stmt->st_daeScanRow)) return 1;
    }
  }
  stmt->st_daeScanCol = 0;
  stmt->st_daeScanRow = 0;
  return 0;
}

void DAEAbandon(Stmt* stmt) {
  const int16_t state = stmt->st_daeState;
  if (state == DAE_NONE) return;
  stmt->st_daeState = DAE_NONE;
  StmtDropParamDAE(stmt);
  if (state == DAE_EXEC || state == DAE_EXEC_READY) return;
  for (ColBindingNode* n = stmt->st_boundCols; n != nullptr; n = n->next)
    DAEBuffersFree(&n->cb.cb_daeBuffers, n->cb.cb_daeRows, &n->cb.cb_daeLengths);
  SetPosFreeTemps(stmt);
}

// A dialogue that fails is over: the Driver Manager returns the statement to
// where it was before the call that asked for data, and so does the driver,
// so that the statement can execute again or the cursor be changed again.
SQLRETURN ParamDataImpl(Stmt* stmt, const CallSlot* args) {
  auto** token = SlotAs<void**>(args[0]);
  if (stmt->st_daeState == DAE_NONE) return fail(stmt, ERR_SEQUENCE);
  const SQLRETURN rc =
      on_driver_road(stmt) ? ParamDataDriver(stmt, token) : ParamDataNext(stmt, token);
  if (rc == SQL_ERROR) DAEAbandon(stmt);
  return rc;
}

SQLRETURN PutDataImpl(Stmt* stmt, const CallSlot* args) {
  const auto* data = SlotAs<const void*>(args[0]);
  const int64_t length = SlotI64(args[1]);
  if (stmt->st_daeState == DAE_NONE) return fail(stmt, ERR_SEQUENCE);
  const SQLRETURN rc = on_driver_road(stmt) ? PutDataDriver(stmt, data, length)
                                            : PutDataAppend(stmt, data, length);
  if (rc == SQL_ERROR) DAEAbandon(stmt);
  return rc;
}
