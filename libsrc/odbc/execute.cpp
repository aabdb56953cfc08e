// execute.cpp -- executing a prepared statement with the application's bound
// parameters: the values of every parameter set are marshalled into one
// column-wise parameter Dataset, handed to the back end with the parameter
// types in one call, and the outcome comes back as the processed count, the
// parameter status array and the output parameter buffers.
// A column's type and width are settled from all of its sets before any value
// is stored, so that every cell is written once, in place, within its width,
// and no single set (a NULL, a date-time escape) decides the type of the others.
// Ownership: the Dataset becomes the back end's with the call, unless the back
// end declares DRV_CAP_FREEPARAMS.
// Threading: under the statement's connection call lock.
// Not here: the dialogue of values sent at execution (SQLParamData, SQLPutData).

#include "odbc/execute.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "drv/rowstatus.h"
#include "drv/scs.h"
#include "odbc/binding.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/dae.h"
#include "odbc/cvt.h"
#include "odbc/cvt_core.h"
#include "odbc/descops.h"
#include "odbc/envr.h"
#include "odbc/getcol.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "util/str.h"

namespace {

// The largest cell a parameter column is given; a longer value cannot be held.
constexpr uint64_t kMaxWidth = 0x7FFFFF00u;
// Room for a date-time escape written out as text ("-32768-65535-65535
// 65535:65535:65535.999999999" at most).
constexpr uint64_t kLiteralTextMax = 48;

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

bool is_variable(int16_t cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

bool is_dae_length(int64_t len) {
  return len == SQL_DATA_AT_EXEC || len <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

bool is_datetime_sql(int32_t sqlType) {
  switch (sqlType) {
    case SQL_UNKNOWN_TYPE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: return true;
    default: return false;
  }
}

bool is_binary_sql(int32_t sqlType) {
  return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

int64_t load_len(const void* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The bind offset is an SQLLEN: read whole, so that large or negative offsets
// address what the application meant.
int64_t bind_offset(const Stmt* stmt) {
  const void* p = stmt->st_apd->de_bindOffsetPtr;
  return p != nullptr ? load_len(p) : 0;
}

// Bytes between two sets of a column-wise bound value.
uint64_t ParamElementSize(const ParamBinding& pb) {
  switch (pb.pb_cType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY:
      return pb.pb_bufferLength > 0 ? static_cast<uint64_t>(pb.pb_bufferLength) : pb.pb_columnSize;
    case SQL_C_WCHAR:
      return pb.pb_bufferLength > 0 ? static_cast<uint64_t>(pb.pb_bufferLength)
                                    : 2 * pb.pb_columnSize;
    default: return static_cast<uint64_t>(pb.pb_transferSize);
  }
}

// How the sets of one execution are laid out in the application's buffers.
struct Layout {
  int64_t offset;       // APD bind offset
  uint64_t rowSize;     // row-wise binding: bytes per set; 0 column-wise
  uint64_t sets;        // st_paramsetSize
  const uint16_t* ops;  // APD operation array, or null
  bool localDae;        // data-at-execution values come from the collected pieces
};

Layout layout_of(const Stmt* stmt, bool localDae) {
  Layout l{};
  l.offset = bind_offset(stmt);
  l.rowSize = static_cast<uint32_t>(stmt->st_apd->de_bindType);
  l.sets = stmt->st_paramsetSize;
  l.ops = stmt->st_apd->de_arrayStatusPtr;
  l.localDae = localDae;
  return l;
}

bool ignored(const Layout& l, uint64_t r) {
  return l.ops != nullptr && l.ops[r] == SQL_PARAM_IGNORE;
}

char* address(void* base, int64_t offset, uint64_t r, uint64_t stride) {
  if (base == nullptr) return nullptr;
  return static_cast<char*>(base) + offset + static_cast<int64_t>(r * stride);
}

enum class Cell : uint8_t { Null, Value, Dae };

// One parameter in one set, as the application left it.
struct Value {
  Cell cell;
  const char* data;  // the value's bytes; null for an empty value
  uint64_t len;      // bytes
};

uint64_t measure_wide(const char* s, uint64_t boundUnits) {
  uint64_t n = 0;
  for (; n < boundUnits; ++n) {
    char16_t u;
    std::memcpy(&u, s + 2 * n, 2);
    if (u == 0) break;
  }
  return 2 * n;
}

// Reads set r of a parameter. -> 0, ERR_BUFFER_LENGTH for a length no value can
// have, ERR_NOT_CAPABLE for SQL_DEFAULT_PARAM.
int32_t read_value(const ParamBinding& pb, const Layout& l, uint64_t r, Value* out) {
  char* value;
  const char* lenAt;
  const char* indAt;
  if (l.rowSize != 0) {
    value = address(pb.pb_data, l.offset, r, l.rowSize);
    lenAt = address(pb.pb_lengthPtr, l.offset, r, l.rowSize);
    indAt = address(pb.pb_indicatorPtr, l.offset, r, l.rowSize);
  } else {
    value = address(pb.pb_data, l.offset, r, ParamElementSize(pb));
    lenAt = address(pb.pb_lengthPtr, l.offset, r, sizeof(int64_t));
    indAt = address(pb.pb_indicatorPtr, l.offset, r, sizeof(int64_t));
  }
  *out = Value{Cell::Null, nullptr, 0};
  // An output-only buffer and its length need hold nothing before the call
  // (a "{? = call}" result marker): a back end that takes the marker as an
  // input gets NULL, never whatever the buffer holds read at a length it never had.
  if (pb.pb_paramType == SQL_PARAM_OUTPUT) return 0;
  const int64_t len = lenAt != nullptr ? load_len(lenAt) : pb.pb_transferSize;
  const int64_t ind = indAt != nullptr ? load_len(indAt) : 0;
  if (ind == SQL_NULL_DATA) return 0;
  if (is_dae_length(len)) {
    if (!l.localDae) {
      out->cell = Cell::Dae;
      return 0;
    }
    const bool collected = pb.pb_daeBuffers != nullptr && r < pb.pb_daeRows;
    const char* piece = collected ? pb.pb_daeBuffers[r] : nullptr;
    if (collected && pb.pb_daeLengths[r] == DAE_NULL_LENGTH) return 0;  // sent as NULL
    if (piece != nullptr) {
      *out = Value{Cell::Value, piece, pb.pb_daeLengths[r]};
    } else if (len == SQL_DATA_AT_EXEC || len == SQL_LEN_DATA_AT_EXEC(0)) {
      out->cell = Cell::Value;  // announced and never sent: an empty value
    }
    return 0;
  }
  if (len == SQL_DEFAULT_PARAM) return ERR_NOT_CAPABLE;
  if (len == SQL_NULL_DATA || value == nullptr) return 0;
  if (!is_variable(pb.pb_cType)) {
    *out = Value{Cell::Value, value, static_cast<uint64_t>(pb.pb_transferSize)};
    return 0;
  }
  uint64_t n;
  if (len == SQL_NTS) {
    // A terminated value is looked for only within the buffer the application
    // declared, when it declared one.
    uint64_t bound = SIZE_MAX / 4;
    if (pb.pb_bufferLength > 0)
      bound = static_cast<uint64_t>(pb.pb_bufferLength);
    else if (l.rowSize == 0 && l.sets > 1 && ParamElementSize(pb) > 0)
      bound = ParamElementSize(pb);
    n = pb.pb_cType == SQL_C_WCHAR ? measure_wide(value, bound / 2) : strnlen(value, bound);
  } else if (len < 0) {
    return ERR_BUFFER_LENGTH;
  } else {
    n = static_cast<uint64_t>(len);
    if (pb.pb_cType == SQL_C_WCHAR) n &= ~uint64_t{1};
  }
  *out = Value{Cell::Value, value, n};
  return 0;
}

// ---- Date-time escapes -------------------------------------------------------

constexpr uint64_t kWideLiteralUnits = 64;  // no escape is longer

// The struct type an escape becomes for the parameter's SQL type, or DS_NONE
// when the value is not a recognised escape. *cell receives the struct.
int32_t parse_literal(const Value& v, bool wide, int32_t sqlType, char (&cell)[16]) {
  DatasetColumn probe{DS_CHAR, sizeof cell, nullptr, nullptr};
  if (!wide) {
    if (v.len == 0 || v.data[0] != '{') return DS_NONE;
    ParseDateTimeLiteral(cell, v.data, v.len, sizeof cell, &probe, sqlType);
  } else {
    const uint64_t units = v.len / 2;
    if (units == 0 || units > kWideLiteralUnits) return DS_NONE;
    char16_t text[kWideLiteralUnits];  // the application's text may be unaligned
    std::memcpy(text, v.data, 2 * units);
    if (text[0] != u'{') return DS_NONE;
    WParseDateTimeLiteral(cell, text, units, sizeof cell, &probe, sqlType);
  }
  return probe.type != DS_CHAR ? probe.type : DS_NONE;
}

// An escape's value as the plain text the back end reads for that type.
uint64_t literal_text(int32_t type, const char (&cell)[16], char (&out)[64]) {
  int16_t year = 0;
  uint16_t f[5] = {};
  uint32_t ns = 0;
  int n = 0;
  if (type == DS_TIME) {
    std::memcpy(f + 2, cell, 6);
    n = std::snprintf(out, sizeof out, "%02u:%02u:%02u", f[2], f[3], f[4]);
  } else {
    std::memcpy(&year, cell, 2);
    std::memcpy(f, cell + 2, type == DS_DATE ? 4 : 10);
    if (type == DS_TIMESTAMP) std::memcpy(&ns, cell + 12, 4);
    n = std::snprintf(out, sizeof out, "%04d-%02u-%02u", year, f[0], f[1]);
    if (type == DS_TIMESTAMP) {
      n += std::snprintf(out + n, sizeof out - static_cast<size_t>(n), " %02u:%02u:%02u", f[2],
                         f[3], f[4]);
      if (ns != 0) {
        char frac[16];
        std::snprintf(frac, sizeof frac, ".%09u", ns);
        size_t k = std::strlen(frac);
        while (frac[k - 1] == '0') --k;
        frac[k] = '\0';
        n += std::snprintf(out + n, sizeof out - static_cast<size_t>(n), "%s", frac);
      }
    }
  }
  return static_cast<uint64_t>(n);
}

// The type a column of NULL values only takes from its SQL type.
int32_t null_type(int16_t cType, int32_t sqlType) {
  switch (sqlType) {
    case SQL_DATE:
    case SQL_TYPE_DATE: return DS_DATE;
    case SQL_TIME:
    case SQL_TYPE_TIME: return cType == SQL_C_WCHAR ? DS_TIMESTAMP : DS_TIME;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: return DS_TIMESTAMP;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return cType == SQL_C_CHAR ? DS_BINARY : DS_NONE;
    default: return DS_NONE;
  }
}

uint32_t struct_width(int32_t type) { return type == DS_TIMESTAMP ? 16 : 6; }

// ---- Numeric values ------------------------------------------------------------

SQL_NUMERIC_STRUCT numeric_of(const Value& v) {
  SQL_NUMERIC_STRUCT n{};
  std::memcpy(&n, v.data, std::min<uint64_t>(v.len, sizeof n));
  return n;
}

// More significant digits than a double keeps exactly.
bool numeric_needs_text(const SQL_NUMERIC_STRUCT& n, uint64_t* textLen) {
  char text[NUMERIC_TEXT_SIZE];
  const int64_t len = NumericToText(&n, text, sizeof text);
  if (len < 0) return false;
  *textLen = static_cast<uint64_t>(len);
  int digits = 0;
  int zeros = 0;  // trailing zeros of the digits seen so far
  for (int64_t i = 0; i < len; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') continue;
    if (digits == 0 && c == '0') continue;
    ++digits;
    zeros = c == '0' ? zeros + 1 : 0;
  }
  return digits - zeros > 15;
}

// ---- Column plans --------------------------------------------------------------

enum class Fill : uint8_t {
  Copy,          // the value's bytes, at most the width
  VarBinary,     // 4-byte length, then the bytes
  Hex,           // hex text as bytes
  HexVar,        // 4-byte length, then hex text as bytes
  Literal,       // an escape as its struct
  LiteralText,   // 8-bit text; an escape written out as plain text
  WLiteralText,  // the same in UTF-16
  Numeric,       // SQL_NUMERIC_STRUCT as a double
  NumericText,   // SQL_NUMERIC_STRUCT as decimal text
  Guid,
  SBigInt,
  UBigInt,
};

struct Plan {
  const ParamBinding* pb;
  Fill fill;
  bool direct;  // copied set by set as it lies (always_present)
  Value* kept;  // the values the layout scan read, one per set not ignored; or null
};

// A value of fixed size without a length or indicator buffer is there, as it lies, in
// every set: no set needs reading to lay its column out, and its cells are plain copies.
bool always_present(const ParamBinding& pb) {
  if (pb.pb_lengthPtr != nullptr || pb.pb_indicatorPtr != nullptr || pb.pb_data == nullptr ||
      pb.pb_paramType == SQL_PARAM_OUTPUT || pb.pb_transferSize <= 0 || is_variable(pb.pb_cType))
    return false;
  switch (pb.pb_cType) {
    case SQL_C_NUMERIC:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return false;
    default: return CTypeToDatasetType(pb.pb_cType, nullptr) != DS_CHAR;
  }
}

struct Scan {
  uint64_t present = 0;   // sets with a value
  uint64_t absent = 0;    // NULL or data-at-execution sets
  uint64_t dae = 0;       // data-at-execution sets the back end asks for
  uint64_t maxlen = 0;    // longest value, bytes
  uint64_t literals = 0;  // recognised date-time escapes
  int32_t literalType = DS_NONE;
  bool literalMixed = false;  // escapes of different kinds
  bool numericText = false;
  uint64_t numericTextMax = 0;
  uint64_t bigintLen = 0;  // text length of the last 64-bit integer
};

// Text of blanks alone (or none): the server would take it for NULL.
bool blank_text(const Value& v, bool wide) {
  if (!wide) {
    for (uint64_t k = 0; k < v.len; ++k)
      if (!CvtIsBlank(static_cast<unsigned char>(v.data[k]))) return false;
    return true;
  }
  for (uint64_t k = 0; k + 1 < v.len; k += 2) {
    char16_t u;
    std::memcpy(&u, v.data + k, 2);
    if (!CvtIsBlank(u)) return false;
  }
  return true;
}

// With `keep`, each set's value is kept there too (one entry per set not ignored).
// ERR_CAST_CHAR for blank text where the bound SQL type or the type the marker was
// described with (markerType) asks for a number, date or time: ODBC's 22018, where the
// server would store NULL.
int32_t scan_column(const ParamBinding& pb, int32_t markerType, const Layout& l, Scan* s,
                    Value* keep) {
  const int16_t cType = pb.pb_cType;
  const bool text = cType == SQL_C_CHAR || cType == SQL_C_WCHAR;
  const bool literals = text && is_datetime_sql(pb.pb_sqlType);
  const bool valueText =
      text && (SqlTypeRefusesBlankText(pb.pb_sqlType) || SqlTypeRefusesBlankText(markerType));
  for (uint64_t r = 0; r < l.sets; ++r) {
    if (ignored(l, r)) continue;
    Value v;
    if (int32_t rc = read_value(pb, l, r, &v); rc != 0) return rc;
    if (keep != nullptr) *keep++ = v;
    if (v.cell != Cell::Value) {
      ++s->absent;
      if (v.cell == Cell::Dae) ++s->dae;
      continue;
    }
    if (valueText && blank_text(v, cType == SQL_C_WCHAR)) return ERR_CAST_CHAR;
    ++s->present;
    s->maxlen = std::max(s->maxlen, v.len);
    if (literals) {
      char cell[16];
      if (const int32_t t = parse_literal(v, cType == SQL_C_WCHAR, pb.pb_sqlType, cell);
          t != DS_NONE) {
        if (s->literals != 0 && t != s->literalType) s->literalMixed = true;
        s->literalType = t;
        ++s->literals;
      }
    } else if (cType == SQL_C_NUMERIC && v.data != nullptr) {
      uint64_t len = 0;
      if (numeric_needs_text(numeric_of(v), &len)) s->numericText = true;
      s->numericTextMax = std::max(s->numericTextMax, len);
    } else if ((cType == SQL_C_SBIGINT || cType == SQL_C_UBIGINT) && v.data != nullptr) {
      int64_t x = 0;
      std::memcpy(&x, v.data, std::min<uint64_t>(v.len, sizeof x));
      char buf[32];
      s->bigintLen = static_cast<uint64_t>(
          cType == SQL_C_SBIGINT
              ? std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(x))
              : std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(x)));
    }
  }
  return 0;
}

int32_t set_width(DatasetColumn* col, uint64_t width) {
  if (width > kMaxWidth) return ERR_MEMORY;
  col->width = static_cast<uint32_t>(width);
  return 0;
}

// Settles the type and width of a parameter's column from all of its sets.
int32_t plan_column(const Stmt* stmt, const ParamBinding& pb, int32_t markerType, const Layout& l,
                    uint32_t rows, DatasetColumn* col, Plan* plan) {
  Scan s;
  plan->direct = always_present(pb);
  if (!plan->direct) {
    if (int32_t rc = scan_column(pb, markerType, l, &s, plan->kept); rc != 0) return rc;
  }
  plan->pb = &pb;
  plan->fill = Fill::Copy;
  const int16_t cType = pb.pb_cType;
  const int32_t sqlType = pb.pb_sqlType;
  const bool paramOp = stmt->st_dbc->cn_hasParamOp != 0;
  uint32_t fixed = 0;
  const int32_t type = CTypeToDatasetType(cType, &fixed);
  col->type = type;
  switch (cType) {
    case SQL_C_NUMERIC:
      // Pieces of a NUMERIC sent at execution travel as decimal text; the
      // column's other sets join them.
      if (s.numericText || s.dae > 0) {
        col->type = DS_CHAR;
        plan->fill = Fill::NumericText;
        return set_width(col, s.numericTextMax + 1);
      }
      plan->fill = Fill::Numeric;
      return set_width(col, fixed);
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      plan->fill = cType == SQL_C_SBIGINT ? Fill::SBigInt : Fill::UBigInt;
      // A back end without parameter arrays gets the single value's own text.
      if (!paramOp && rows == 1 && s.present == 1) return set_width(col, s.bigintLen);
      return set_width(col, fixed);
    case SQL_C_GUID:
      // 36 characters and the terminator that ends a DS_CHAR value.
      plan->fill = Fill::Guid;
      return set_width(col, fixed + 1);
    case SQL_C_BINARY:
      col->type = DS_VARBINARY4;
      plan->fill = Fill::VarBinary;
      return set_width(col, s.maxlen + 8);
    case SQL_C_CHAR:
    case SQL_C_WCHAR: break;
    default:
      if (type != DS_CHAR) return set_width(col, fixed);
      break;
  }
  const bool wide = cType == SQL_C_WCHAR;
  // Text sent at execution stays text for the server to read, whatever the SQL
  // type: only a whole escape among its pieces becomes a date-time value.
  const bool textPieces = s.dae > 0 && !is_binary_sql(sqlType);
  if (s.present == 0 && s.absent > 0 && !textPieces) {
    if (const int32_t t = null_type(cType, sqlType); t != DS_NONE) {
      col->type = t;
      return set_width(col, t == DS_BINARY ? 1 : struct_width(t));
    }
  }
  if (!wide && is_binary_sql(sqlType)) {
    if (rows < 2) {
      col->type = DS_BINARY;
      plan->fill = Fill::Hex;
      return set_width(col, s.maxlen / 2);
    }
    col->type = DS_VARBINARY4;
    plan->fill = Fill::HexVar;
    return set_width(col, 4 + s.maxlen / 2);
  }
  // Only a column of escapes alone travels as date-time structs.
  if (s.literals > 0 && s.literals == s.present && !s.literalMixed && !textPieces) {
    col->type = s.literalType;
    plan->fill = Fill::Literal;
    return set_width(col, struct_width(s.literalType));
  }
  uint64_t maxlen = s.maxlen;
  if (is_datetime_sql(sqlType) && sqlType != SQL_UNKNOWN_TYPE) {
    const bool stamp = sqlType == SQL_TIMESTAMP || sqlType == SQL_TYPE_TIMESTAMP;
    maxlen = std::max<uint64_t>(maxlen, stamp ? 16 : 6);
  }
  if (s.literals > 0) {
    plan->fill = wide ? Fill::WLiteralText : Fill::LiteralText;
    maxlen = std::max(maxlen, wide ? 2 * kLiteralTextMax : kLiteralTextMax);
  }
  const uint64_t unit = wide ? 2 : 1;
  col->type = wide ? DS_WCHAR : DS_CHAR;
  if (paramOp) return set_width(col, maxlen + unit);
  return set_width(col, maxlen != 0 ? maxlen : unit);
}

void put_u32(char* cell, uint64_t n) {
  const uint32_t v = static_cast<uint32_t>(n);
  std::memcpy(cell, &v, 4);
}

void fill_cell(const Plan& plan, const DatasetColumn& col, char* cell, const Value& v) {
  const uint64_t width = col.width;
  if (v.data == nullptr) return;  // an empty value: the zeroed cell
  switch (plan.fill) {
    case Fill::Copy: std::memcpy(cell, v.data, std::min(v.len, width)); return;
    case Fill::VarBinary:
      put_u32(cell, v.len);
      std::memcpy(cell + 4, v.data, std::min(v.len, width - 4));
      return;
    case Fill::Hex: HexToBinary(cell, v.data, std::min(v.len, 2 * width)); return;
    case Fill::HexVar: {
      const uint64_t n = std::min(v.len, 2 * (width - 4));
      put_u32(cell, n / 2);
      HexToBinary(cell + 4, v.data, n);
      return;
    }
    case Fill::Literal:
    case Fill::LiteralText:
    case Fill::WLiteralText: {
      const bool wide = plan.fill == Fill::WLiteralText || plan.pb->pb_cType == SQL_C_WCHAR;
      char parsed[16];
      const int32_t t = parse_literal(v, wide, plan.pb->pb_sqlType, parsed);
      if (plan.fill == Fill::Literal) {
        std::memcpy(cell, parsed, std::min<uint64_t>(width, sizeof parsed));
        return;
      }
      if (t == DS_NONE) {
        std::memcpy(cell, v.data, std::min(v.len, width));
        return;
      }
      char text[64];
      const uint64_t n = literal_text(t, parsed, text);
      if (!wide) {
        std::memcpy(cell, text, std::min(n, width));
        return;
      }
      for (uint64_t i = 0; i < n && 2 * i + 2 <= width; ++i) {
        const char16_t u = static_cast<unsigned char>(text[i]);
        std::memcpy(cell + 2 * i, &u, 2);
      }
      return;
    }
    case Fill::Numeric: {
      const SQL_NUMERIC_STRUCT n = numeric_of(v);
      NumericToDouble(cell, &n, width, nullptr);
      return;
    }
    case Fill::NumericText: {
      const SQL_NUMERIC_STRUCT n = numeric_of(v);
      char text[NUMERIC_TEXT_SIZE];
      const int64_t len = NumericToText(&n, text, sizeof text);
      if (len > 0)
        std::memcpy(cell, text, std::min<uint64_t>(static_cast<uint64_t>(len), width - 1));
      return;
    }
    case Fill::Guid: {
      SQLGUID g{};
      std::memcpy(&g, v.data, std::min<uint64_t>(v.len, sizeof g));
      GuidToText(cell, &g);
      return;
    }
    case Fill::SBigInt:
    case Fill::UBigInt: {
      int64_t x = 0;
      std::memcpy(&x, v.data, std::min<uint64_t>(v.len, sizeof x));
      char text[32];
      const int n =
          plan.fill == Fill::SBigInt
              ? std::snprintf(text, sizeof text, "%lld", static_cast<long long>(x))
              : std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(x));
      std::memcpy(cell, text, std::min<uint64_t>(static_cast<uint64_t>(n), width));
      return;
    }
  }
}

// ---- Directions ----------------------------------------------------------------

int direction(const ColumnInfo& info, const ParamBinding* pb) {
  if (info.name[0] != '*') return SQL_PARAM_INPUT;
  const char d = info.name[1];
  const int16_t bound = pb != nullptr ? pb->pb_paramType : 0;
  if (d == 'O' || (d == 'U' && bound == SQL_PARAM_OUTPUT)) return SQL_PARAM_OUTPUT;
  if (d == 'B' || (d == 'U' && bound == SQL_PARAM_INPUT_OUTPUT)) return SQL_PARAM_INPUT_OUTPUT;
  return SQL_PARAM_INPUT;
}

const ParamBinding* binding_of(const Stmt* stmt, uint16_t i) {
  return i < stmt->st_numParamSlots ? &stmt->st_params[i] : nullptr;
}

int direction_of(const Stmt* stmt, uint16_t i) {
  return direction(stmt->st_paramInfo[i], binding_of(stmt, i));
}

void recount_directions(Stmt* stmt) {
  uint16_t in = 0, out = 0, inOut = 0;
  for (uint16_t i = 0; i < stmt->st_numParams; ++i) {
    switch (direction_of(stmt, i)) {
      case SQL_PARAM_OUTPUT: ++out; break;
      case SQL_PARAM_INPUT_OUTPUT: ++inOut; break;
      default: ++in; break;
    }
  }
  stmt->st_numInParams = in;
  stmt->st_numOutParams = out;
  stmt->st_numInOutParams = inOut;
}

bool has_outputs(const Stmt* stmt) {
  return stmt->st_numOutParams != 0 || stmt->st_numInOutParams != 0;
}

// ---- Status array --------------------------------------------------------------

// Writes the status of every set: sets before `failed` (a count of sets handed
// over) succeeded with `ok`, the set at `failed` gets SQL_PARAM_ERROR, the rest
// were not run. Ignored sets are SQL_PARAM_UNUSED.
void set_statuses(Stmt* stmt, uint64_t failed, uint16_t ok) {
  uint16_t* status = stmt->st_ipd->de_arrayStatusPtr;
  if (status == nullptr) return;
  const uint16_t* ops = stmt->st_apd->de_arrayStatusPtr;
  uint64_t k = 0;
  for (uint64_t r = 0; r < stmt->st_paramsetSize; ++r) {
    if (ops != nullptr && ops[r] == SQL_PARAM_IGNORE) {
      status[r] = SQL_PARAM_UNUSED;
      continue;
    }
    status[r] = k < failed ? ok : k == failed ? SQL_PARAM_ERROR : SQL_PARAM_UNUSED;
    ++k;
  }
}

void statuses_unavailable(Stmt* stmt) {
  uint16_t* status = stmt->st_ipd->de_arrayStatusPtr;
  if (status == nullptr) return;
  for (uint64_t r = 0; r < stmt->st_paramsetSize; ++r) status[r] = SQL_PARAM_DIAG_UNAVAILABLE;
}

// ---- Sending -------------------------------------------------------------------

void free_dataset(Dataset* ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
}

// Wide values go to a back end without UTF-16 (the ANSI build's agent) as
// 8-bit text; so do their types.
bool narrow_for(const Stmt* stmt, const Dataset* ds) {
  if (stmt->st_dbc->cn_narrowDAE != 0) return true;
  bool wide = false;
  for (uint16_t c = 0; ds != nullptr && c < ds->colCount; ++c)
    if (ds->cols[c].type == DS_WCHAR) wide = true;
  return wide && !BackEndTakesWide(stmt);
}

// Hands the Dataset (or none) and, when the back end wants them and has not had
// them, the parameter types to the back end and executes. -> the back end's code;
// *handed is false when the call failed before the back end had the Dataset.
int32_t send(Stmt* stmt, Dataset* ds, uint16_t n, bool* handed) {
  Conn* conn = stmt->st_dbc;
  const DriverOps* ops = stmt->st_drv->ops;
  const DrvHandle cursor = stmt->st_hCursor;
  *handed = false;
  const bool narrow = narrow_for(stmt, ds);
  if (ds != nullptr && narrow) {
    if (int32_t rc = DatasetToAnsi(ds); rc != 0) return rc;
  }
  const bool needBind = (stmt->st_flags & STMT_F_NEEDBIND) != 0;
  const bool typesDue = needBind && (stmt->st_flags & STMT_F_TYPES_SENT) == 0;
  const bool withTypes = n > 0 && (ds != nullptr || has_outputs(stmt));
  // The back end may rewrite the entries it is given; the statement's own stay
  // as bound, so that an unchanged binding does not send them again.
  std::unique_ptr<ParamShadow[]> types;
  if (withTypes && needBind) {
    types.reset(new (std::nothrow) ParamShadow[n]);
    if (!types) return ERR_MEMORY;
    std::memcpy(types.get(), stmt->st_paramShadow, n * sizeof(ParamShadow));
    if (narrow) ParamTypesNarrow(types.get(), n);
  }
  ParamTypeEntry* entries = nullptr;
  if (conn->cn_hasExecute2 != 0 && conn->cn_hasPrepExec2 != 0 && withTypes && typesDue) {
    entries = ParamTypesBuild(types.get(), n, stmt->st_ipd);
    if (entries == nullptr) return ERR_MEMORY;
  }
  *handed = true;
  if (conn->cn_hasExecute2 != 0) {
    SCS_ResetPosition(&stmt->st_cursor);
    if (withTypes && typesDue) {
      int32_t code;
      if (entries != nullptr) {
        code = ops->DRV_PrepareExecute2(cursor, nullptr, ds, n, entries);
        ParamTypesFree(entries, n);
        std::free(entries);
      } else {
        code = ops->DRV_PrepareExecute(cursor, nullptr, ds, n, types.get());
      }
      stmt->st_flags |= STMT_F_TYPES_SENT;
      return code;
    }
    if (ds == nullptr) return ops->DRV_Execute(cursor);
    if (conn->cn_hasPrepExec2 != 0)
      return ops->DRV_PrepareExecute2(cursor, nullptr, ds, 0, nullptr);
    return ops->DRV_PrepareExecute(cursor, nullptr, ds, 0, nullptr);
  }
  if (ds != nullptr) {
    if (int32_t code = ops->DRV_SetParams(cursor, ds); code != 0) return code;
  }
  // Without a prepare-and-execute slot the types go with every execution.
  if (withTypes && needBind) (void)ops->DRV_SetParamTypes(cursor, n, types.get());
  SCS_ResetPosition(&stmt->st_cursor);
  return ops->DRV_Execute(cursor);
}

// ---- Marshalling ---------------------------------------------------------------

// A positioned UPDATE or DELETE names the row the server's cursor stands on. A forward-only
// cursor that fetched a rowset stands on its last row: naming another row of the rowset
// (the first, after the fetch) is refused rather than changing the wrong row.
// REQUIRES: the connection's call lock held (the statement list is walked).
int32_t check_current_of(const Stmt* stmt) {
  const DriverOps* ops = stmt->st_drv->ops;
  for (const Stmt* other = stmt->st_dbc->stmts; other != nullptr; other = other->next) {
    if (other == stmt || other->state != STMT_STATE_PREPARED) continue;
    char name[256];
    int16_t len = 0;
    if (ops->DRV_GetCursorName(other->st_hCursor, name, sizeof name, &len) != 0) continue;
    if (str_icmp(name, stmt->st_currentOf) != 0) continue;
    const SCS& scs = other->st_cursor;
    const RowStatusTable* table = scs.sc_rowStatus;
    if (scs.sc_cursorType != SCS_FORWARD_ONLY || table == nullptr || table->status == nullptr)
      return 0;
    int32_t rows = 0;
    for (int32_t k = 0; k < table->count; ++k)
      if (table->status[k] != SQL_ROW_NOROW) rows = k + 1;
    return rows > 1 && scs.sc_position != rows ? ERR_CURSOR_POSITION : 0;
  }
  return 0;
}

SQLRETURN execute_params(Stmt* stmt, bool localDae) {
  if ((stmt->st_flags & STMT_F_PREPARED) == 0) return fail(stmt, ERR_SEQUENCE);
  if (stmt->st_currentOf != nullptr) {
    if (int32_t rc = check_current_of(stmt); rc != 0) return fail(stmt, rc);
  }
  const uint16_t n = std::min(stmt->st_numParams, stmt->st_numParamSlots);
  for (uint16_t i = 0; i < n; ++i) {
    const ParamBinding& pb = stmt->st_params[i];
    if (pb.pb_number == 0) return fail(stmt, ERR_PARAM_COUNT);
    if (pb.pb_data != nullptr || pb.pb_lengthPtr != nullptr) continue;
    if (localDae) return fail(stmt, ERR_PARAM_COUNT);
    if (pb.pb_paramType != SQL_PARAM_OUTPUT) return fail(stmt, ERR_ARGUMENT);
  }
  const Layout l = layout_of(stmt, localDae);
  stmt->st_daeState = DAE_NONE;
  if (stmt->st_paramDirUnknown != 0) recount_directions(stmt);
  statuses_unavailable(stmt);

  uint16_t inputs = 0;
  for (uint16_t i = 0; i < stmt->st_numParams; ++i)
    if (direction_of(stmt, i) != SQL_PARAM_OUTPUT) ++inputs;

  Dataset* ds = nullptr;
  uint64_t rows = 0;
  if (inputs > 0) {
    if (n < stmt->st_numParams) return fail(stmt, ERR_PARAM_COUNT);
    for (uint64_t r = 0; r < l.sets; ++r)
      if (!ignored(l, r)) ++rows;
    if (rows == 0) {
      // Every set is ignored: there is nothing to run.
      set_statuses(stmt, 0, SQL_PARAM_SUCCESS);
      if (stmt->st_paramsProcessedPtr != nullptr) *stmt->st_paramsProcessedPtr = 0;
      stmt->errCode = 0;
      return SQL_SUCCESS;
    }
    if (rows > INT32_MAX) return fail(stmt, ERR_MEMORY);
    std::unique_ptr<Plan[]> plans(new (std::nothrow) Plan[inputs]);
    ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (!plans || ds == nullptr || DatasetInit(ds, inputs) != 0) {
      std::free(ds);
      return fail(stmt, ERR_MEMORY);
    }
    // The values the layout scan reads are kept for the copy, which then reads no set
    // again; without room for them, the copy reads each set once more.
    uint64_t scanned = 0;
    for (uint16_t i = 0; i < stmt->st_numParams; ++i)
      if (direction_of(stmt, i) != SQL_PARAM_OUTPUT && !always_present(stmt->st_params[i]))
        ++scanned;
    std::unique_ptr<Value[]> kept(scanned != 0 ? new (std::nothrow) Value[scanned * rows]
                                               : nullptr);
    uint16_t c = 0;
    uint64_t slice = 0;
    for (uint16_t i = 0; i < stmt->st_numParams; ++i) {
      if (direction_of(stmt, i) == SQL_PARAM_OUTPUT) continue;
      plans[c].kept = nullptr;
      if (kept && !always_present(stmt->st_params[i])) plans[c].kept = &kept[rows * slice++];
      if (int32_t rc = plan_column(stmt, stmt->st_params[i], stmt->st_paramInfo[i].sqlType, l,
                                   static_cast<uint32_t>(rows), &ds->cols[c], &plans[c]);
          rc != 0) {
        free_dataset(ds);
        return fail(stmt, rc);
      }
      ++c;
    }
    ds->colCount = inputs;
    if (DatasetSetRows(ds, static_cast<int32_t>(rows)) != 0) {
      free_dataset(ds);
      return fail(stmt, ERR_MEMORY);
    }
    ds->rowCount = static_cast<int32_t>(rows);
    for (uint16_t j = 0; j < inputs; ++j) {
      const ParamBinding& pb = *plans[j].pb;
      DatasetColumn& col = ds->cols[j];
      if (!plans[j].direct) {
        const Value* kv = plans[j].kept;
        uint64_t k = 0;
        for (uint64_t r = 0; r < l.sets; ++r) {
          if (ignored(l, r)) continue;
          Value v;
          if (kv != nullptr)
            v = kv[k];
          else
            (void)read_value(pb, l, r, &v);  // every set was read once without fault
          if (v.cell == Cell::Value) {
            col.ind[k] = 0;
            fill_cell(plans[j], col, col.data + k * col.width, v);
          } else if (v.cell == Cell::Dae) {
            col.ind[k] = DS_IND_DAE;
          }  // a NULL's indicator is DS_IND_NULL already
          ++k;
        }
        continue;
      }
      const char* from = address(pb.pb_data, l.offset, 0, 0);
      const uint64_t stride = l.rowSize != 0 ? l.rowSize : ParamElementSize(pb);
      const uint64_t bytes =
          std::min<uint64_t>(static_cast<uint64_t>(pb.pb_transferSize), col.width);
      uint64_t k = 0;
      for (uint64_t r = 0; r < l.sets; ++r) {
        if (ignored(l, r)) continue;
        col.ind[k] = 0;
        std::memcpy(col.data + k * col.width, from + r * stride, bytes);
        ++k;
      }
    }
  }

  // The rows of an earlier result must not pass for the new one's.
  StmtFreeResult(stmt);
  bool handed = false;
  const int32_t code = send(stmt, ds, n, &handed);
  if (!handed) {
    free_dataset(ds);
    return fail(stmt, code);
  }
  stmt->errCode = code;
  if (!localDae && code == ERR_NEED_DAE) {
    // The back end asks for each value through ParamData and completes the
    // Dataset, which stays its own.
    stmt->st_paramDataset = ds;
    stmt->st_daeState = DAE_EXEC;
    stmt->st_daeSets = static_cast<uint32_t>(rows);
    stmt->st_daeDrvIndex = -1;
    stmt->st_daeDrvRow = -1;
    stmt->st_daePieces = 0;
    stmt->st_daeCarryLen = 0;
    return SQL_NEED_DATA;
  }
  if ((stmt->st_drv->caps & DRV_CAP_FREEPARAMS) != 0) free_dataset(ds);
  return ExecuteFinish(stmt, static_cast<uint32_t>(rows));
}

// Delivers one output value: column c of the output row into parameter i's
// buffers. SQL_C_NUMERIC takes the precision and scale of that parameter's own
// APD record.
SQLRETURN deliver_output(Stmt* stmt, uint16_t c, uint16_t i, int64_t offset) {
  const ParamBinding& pb = stmt->st_params[i];
  Dataset* block = &stmt->st_block;
  if (c > block->colCount) return fail(stmt, ERR_COLUMN_NUMBER);
  if (block->rowCount < 1) return fail(stmt, ERR_CURSOR_STATE);
  const DatasetColumn* col = &block->cols[c - 1];
  void* data = address(pb.pb_data, offset, 0, 0);
  auto* lenPtr = reinterpret_cast<int64_t*>(address(pb.pb_lengthPtr, offset, 0, 0));
  auto* indPtr = reinterpret_cast<int64_t*>(address(pb.pb_indicatorPtr, offset, 0, 0));
  const int16_t cType = pb.pb_cType;
  const int64_t bufLen = is_variable(cType) ? pb.pb_bufferLength : pb.pb_transferSize;
  if (indPtr != nullptr) *indPtr = 0;
  if (col->ind == nullptr || col->ind[0] == DS_IND_NULL) {
    if (indPtr == nullptr) return fail(stmt, ERR_INDICATOR_REQUIRED);
    *indPtr = SQL_NULL_DATA;
    if (bufLen > 0) std::memset(data, 0, static_cast<size_t>(bufLen));
    return SQL_SUCCESS;
  }
  int32_t numScale = 0;
  int32_t numPrecision = 0;
  if (cType == SQL_C_NUMERIC) {
    if (const DescRec* rec = DescGetRec(stmt->st_apd, static_cast<int16_t>(i + 1));
        rec != nullptr) {
      numScale = rec->dr_scale;
      numPrecision = rec->dr_precision;
    }
  }
  const void* value = nullptr;
  uint64_t length = 0;
  CellValue(col, 0, &value, &length);
  return ConvertCellValue(col->type, value, length, static_cast<SQLLEN>(length), cType, data,
                          bufLen, lenPtr, &stmt->errCode, numScale, numPrecision,
                          static_cast<uint16_t>(std::max<int16_t>(pb.pb_scale, 0)));
}

}  // namespace

int32_t CTypeToDatasetType(int16_t cType, uint32_t* width) {
  int32_t type = DS_CHAR;
  uint32_t w = 0;
  switch (cType) {
    case SQL_C_BIT:
      type = DS_BIT;
      w = 1;
      break;
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      type = DS_TINYINT;
      w = 1;
      break;
    case SQL_C_UTINYINT:
      type = DS_UTINYINT;
      w = 1;
      break;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      type = DS_SMALLINT;
      w = 2;
      break;
    case SQL_C_USHORT:
      type = DS_USMALLINT;
      w = 2;
      break;
    case SQL_C_LONG:
    case SQL_C_SLONG:
      type = DS_INTEGER;
      w = 4;
      break;
    case SQL_C_ULONG:
      type = DS_UINTEGER;
      w = 4;
      break;
    case SQL_C_FLOAT:
      type = DS_REAL;
      w = 4;
      break;
    case SQL_C_DOUBLE:
    case SQL_C_NUMERIC:
      type = DS_DOUBLE;
      w = 8;
      break;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      type = DS_DATE;
      w = 6;
      break;
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      type = DS_TIME;
      w = 6;
      break;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      type = DS_TIMESTAMP;
      w = 16;
      break;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      type = DS_CHAR;
      w = 32;
      break;
    case SQL_C_GUID:
      type = DS_CHAR;
      w = 36;
      break;
    case SQL_C_WCHAR: type = DS_WCHAR; break;
    case SQL_C_BINARY: type = DS_BINARY; break;
    default: break;
  }
  if (width != nullptr) *width = w;
  return type;
}

bool ParamAtExec(const Stmt* stmt, const ParamBinding& pb, uint64_t r) {
  if (pb.pb_lengthPtr == nullptr) return false;
  Value v;
  return read_value(pb, layout_of(stmt, false), r, &v) == 0 && v.cell == Cell::Dae;
}

int32_t ParamOfColumn(const Stmt* stmt, int32_t column) {
  if (column < 0) return -1;
  for (uint16_t i = 0; i < stmt->st_numParams; ++i) {
    if (direction_of(stmt, i) == SQL_PARAM_OUTPUT) continue;
    if (column-- == 0) return i;
  }
  return -1;
}

int64_t SetOfRow(const Stmt* stmt, int32_t row) {
  if (row < 0) return -1;
  const Layout l = layout_of(stmt, false);
  for (uint64_t r = 0; r < l.sets; ++r) {
    if (ignored(l, r)) continue;
    if (row-- == 0) return static_cast<int64_t>(r);
  }
  return -1;
}

uint64_t DateTimeEscapeText(const void* text, uint64_t bytes, bool wide, int32_t sqlType,
                            char (&out)[64]) {
  char parsed[16];
  const Value v{Cell::Value, static_cast<const char*>(text), bytes};
  const int32_t t = parse_literal(v, wide, sqlType, parsed);
  if (t == DS_NONE) return 0;
  return literal_text(t, parsed, out);
}

int32_t NarrowForBackEnd(const Stmt* stmt, Dataset* ds) {
  return ds != nullptr && narrow_for(stmt, ds) ? DatasetToAnsi(ds) : 0;
}

bool BackEndTakesWide(const Stmt* stmt) {
  const Conn* conn = stmt->st_dbc;
  if (conn->cn_narrowDAE != 0) return false;
  int32_t mode = 0;
  uint16_t len = 0;
  return stmt->st_drv->ops->DRV_GetInfo(conn->cn_hConn, DRVP_WIDE, &mode, 4, &len) == 0 &&
         mode == 1;
}

ParamTypeEntry* ParamTypesBuild(const ParamShadow* shadows, uint16_t n, Desc* ipd) {
  auto* entries = static_cast<ParamTypeEntry*>(std::calloc(n > 0 ? n : 1, sizeof(ParamTypeEntry)));
  if (entries == nullptr) return nullptr;
  for (uint16_t i = 0; i < n; ++i) {
    entries[i].shadow = shadows[i];
    const DescRec* rec = ipd != nullptr ? DescGetRec(ipd, static_cast<int16_t>(i + 1)) : nullptr;
    if (rec == nullptr || rec->dr_unnamed != SQL_NAMED || rec->dr_name == nullptr ||
        rec->dr_name[0] == '\0')
      continue;
    entries[i].name = strdup(rec->dr_name);
    if (entries[i].name == nullptr) {
      ParamTypesFree(entries, i);
      std::free(entries);
      return nullptr;
    }
  }
  return entries;
}

void ParamTypesFree(ParamTypeEntry* entries, uint16_t n) {
  if (entries == nullptr) return;
  for (uint16_t i = 0; i < n; ++i) {
    std::free(entries[i].name);
    entries[i].name = nullptr;
  }
}

void ParamTypesNarrow(ParamShadow* entries, uint16_t n) {
  for (uint16_t i = 0; i < n; ++i) {
    ParamShadow& e = entries[i];
    if (e.sqlType == SQL_WLONGVARCHAR)
      e.sqlType = SQL_LONGVARCHAR;
    else if (e.sqlType == SQL_WVARCHAR)
      e.sqlType = SQL_VARCHAR;
    else if (e.sqlType == SQL_WCHAR)
      e.sqlType = SQL_CHAR;
    if (e.cType == SQL_C_WCHAR) e.cType = SQL_C_CHAR;
  }
}

SQLRETURN ExecuteDAECheck(Stmt* stmt) {
  // An execution still waiting for values was ended by the Driver Manager,
  // which does so when a piece is refused: its pieces go, and this one starts
  // afresh.
  if (stmt->st_daeState != DAE_NONE) {
    stmt->st_daeState = DAE_NONE;
    StmtDropParamDAE(stmt);
  }
  if (int32_t rc = StmtAllocParamDAE(stmt); rc != 0) return fail(stmt, rc);
  stmt->st_daeScanCol = 0;
  stmt->st_daeScanRow = 0;
  stmt->st_daeRow = 0;
  if (DAEScanParams(stmt) == 0) return SQL_SUCCESS;
  stmt->st_daeState = DAE_EXEC;
  return SQL_NEED_DATA;
}

SQLRETURN ExecuteParams(Stmt* stmt) { return execute_params(stmt, true); }

SQLRETURN ExecuteParamArray(Stmt* stmt) { return execute_params(stmt, false); }

SQLRETURN ExecuteImpl(Stmt* stmt, const CallSlot*) {
  if (stmt->st_dbc->cn_hasV2DAE != 0) return ExecuteParamArray(stmt);
  const SQLRETURN rc = ExecuteDAECheck(stmt);
  return rc == SQL_SUCCESS ? ExecuteParams(stmt) : rc;
}

SQLRETURN ExecuteFinish(Stmt* stmt, uint32_t rows) {
  StmtRecheckColumnInfo(stmt);
  if ((stmt->st_drv->caps & DRV_CAP_FREEPARAMS) != 0) free_dataset(stmt->st_paramDataset);
  stmt->st_paramDataset = nullptr;
  // The back end ran a searched UPDATE or DELETE that changed no row: a success
  // that ODBC 3 applications learn of as SQL_NO_DATA.
  const bool nothingChanged = stmt->errCode == ERR_NO_DATA;
  if (nothingChanged) stmt->errCode = 0;
  const int32_t code = stmt->errCode;
  uint64_t* processed = stmt->st_paramsProcessedPtr;
  if (code != 0 && code != ERR_OUTPUT_PARAMS) {
    (void)StmtPostDriverErrors(stmt);
    if (code == ERR_WARNING) {
      // A warning ends a complete execution: every set was run.
      if (processed != nullptr) *processed = rows;
      set_statuses(stmt, UINT64_MAX, SQL_PARAM_SUCCESS_WITH_INFO);
      return SQL_SUCCESS_WITH_INFO;
    }
    // The back end reports how many sets it completed before the failing one.
    int32_t done = -1;
    uint16_t len = 0;
    if (stmt->st_drv->ops->DRV_GetInfo(stmt->st_hCursor, DRVP_ROW_COUNT, &done, 4, &len) != 0)
      done = -1;
    if (done < 0 && rows <= 1) done = 0;
    if (done >= 0) {
      const uint64_t failed =
          std::min<uint64_t>(static_cast<uint64_t>(done), rows > 0 ? rows - 1 : 0);
      if (processed != nullptr) *processed = rows > 0 ? failed + 1 : 0;
      set_statuses(stmt, failed, SQL_PARAM_SUCCESS);
    }
    return SQL_ERROR;
  }
  if (processed != nullptr)
    *processed = stmt->st_isSelect != 0 && stmt->st_paramsetSize > 1 ? 1 : rows;
  set_statuses(stmt, UINT64_MAX, SQL_PARAM_SUCCESS);
  stmt->st_blockRow = 0;
  stmt->st_rowNumber = 0;
  stmt->state = STMT_STATE_PREPARED;
  stmt->st_flags |= STMT_F_RESULT;
  if (nothingChanged && stmt->st_dbc->envr->odbcVersion >= 3) return SQL_NO_DATA;
  if (stmt->st_dbc->cn_spOutDeferFetch != 0 && code != ERR_OUTPUT_PARAMS) return SQL_SUCCESS;
  if (!has_outputs(stmt)) return SQL_SUCCESS;
  return FetchOutputParams(stmt);
}

SQLRETURN FetchOutputParams(Stmt* stmt) {
  const uint16_t n = std::min(stmt->st_numParams, stmt->st_numParamSlots);
  StmtFreeResult(stmt);
  if (int32_t code = stmt->st_drv->ops->DRV_Fetch(stmt->st_hCursor, 0, &stmt->st_block);
      code != 0) {
    (void)StmtPostDriverErrors(stmt);
    return fail(stmt, code);
  }
  // The output row is a new row: SQLGetData on it starts afresh.
  GetDataStateFree(&stmt->st_getData);
  stmt->st_getData.gd_column = 0;
  stmt->st_getData.gd_row = 0;
  const int64_t offset = bind_offset(stmt);
  stmt->errCode = 0;
  bool cut = false;
  uint16_t c = 0;
  for (uint16_t i = 0; i < n; ++i) {
    if (direction_of(stmt, i) == SQL_PARAM_INPUT) continue;
    ++c;
    if (stmt->st_params[i].pb_data == nullptr) continue;
    const SQLRETURN rc = deliver_output(stmt, c, i, offset);
    if (rc == SQL_SUCCESS_WITH_INFO)
      cut = true;
    else if (rc != SQL_SUCCESS)
      return rc;
  }
  // A value cut to its buffer is reported, as the fetch of a column would be.
  if (cut) {
    stmt->errCode = ERR_TRUNCATED;
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}
