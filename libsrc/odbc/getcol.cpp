// getcol.cpp -- delivery of one Dataset cell into an application buffer:
// column and row checks, the bookmark column, the choice of the C type, NULLs,
// long values read on demand, and the piecewise state of SQLGetData.
// A cut value continues from where the converter stopped (the source bytes it
// reports as used), so text cut at a character boundary resumes at that
// boundary whatever the encodings on either side. Text transcoded in pieces is
// measured once, by its first piece: later pieces report the length kept since and
// hand the converter only what fits, so a long value costs time linear in its size.
// Threading: under the statement's connection call lock.

#include "odbc/getcol.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv/colinfo.h"
#include "drv/dataset.h"
#include "drv/errtab.h"
#include "odbc/binding.h"
#include "odbc/bulkops.h"
#include "odbc/conn.h"
#include "odbc/ctypes.h"
#include "odbc/cvt.h"
#include "odbc/desc.h"
#include "odbc/descops.h"
#include "odbc/envr.h"
#include "odbc/stmt.h"
#include "odbc/stmtrec.h"
#include "odbc/trace.h"

namespace {

SQLRETURN fail(Stmt* stmt, int32_t code) {
  stmt->errCode = code;
  return SQL_ERROR;
}

int32_t odbc_version(const Stmt* stmt) {
  const Envr* env = stmt->st_dbc != nullptr ? stmt->st_dbc->envr : nullptr;
  return env != nullptr && env->odbcVersion == SQL_OV_ODBC3 ? 3 : 2;
}

bool is_wide_sql(int32_t sqlType) {
  return sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
}

bool is_piecewise(int32_t cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

bool is_wide_ds(uint32_t t) {
  return t == DS_WCHAR || t == DS_WSTRING || t == DS_LONGWCHAR || t == DS_WVARCHAR4;
}

bool is_binary_ds(uint32_t t) {
  return t == DS_BINARY || t == DS_LONGBINARY || t == DS_VARBINARY1 || t == DS_VARBINARY2 ||
         t == DS_VARBINARY4;
}

bool is_char_ds(uint32_t t) {
  return t == DS_CHAR || t == DS_STRING || t == DS_VARCHAR1 || t == DS_VARCHAR2 ||
         t == DS_VARCHAR4 || t == DS_LONGCHAR;
}

bool held_in_pieces(int32_t dsType) {
  const auto t = static_cast<uint32_t>(dsType);
  return is_char_ds(t) || is_wide_ds(t) || is_binary_ds(t);
}

// Text whose length in the C type m is not its length in the cell: UTF-16 read as
// 8-bit characters, 8-bit text read as UTF-16.
bool transcodes(int32_t dsType, int32_t m) {
  const auto t = static_cast<uint32_t>(dsType);
  return is_wide_ds(t) ? m == SQL_C_CHAR : m == SQL_C_WCHAR && is_char_ds(t);
}

// Source bytes of transcoded text that overfill a buffer of b bytes whatever the
// characters: a UTF-16 unit gives at least one byte of UTF-8, and a whole UTF-8
// character of at most three bytes at least one UTF-16 unit (one more source
// character, which the window may cut, is allowed for). len when b would take about
// that much anyway.
uint64_t transcode_window(int32_t m, SQLLEN b, uint64_t len) {
  if (b < 0 || static_cast<uint64_t>(b) >= len / 2) return len;
  const uint64_t bytes = static_cast<uint64_t>(b);
  const uint64_t w = m == SQL_C_CHAR ? 2 * (bytes + 2) : 3 * (bytes / 2) + 6;
  return std::min(w, len);
}

// Output bytes of the first `used` of the len source bytes of transcoded text whose
// output length is outLeft. Text that takes one output character for every source
// one (ASCII: any other character grows from UTF-16 to UTF-8 and shrinks from UTF-8
// to UTF-16) is not measured again.
uint64_t transcoded_bytes(int32_t m, const void* src, uint64_t used, uint64_t len,
                          uint64_t outLeft) {
  if (m == SQL_C_CHAR && outLeft == len / 2) return used / 2;
  if (m == SQL_C_WCHAR && outLeft == 2 * len) return 2 * used;
  return m == SQL_C_CHAR ? WideToCharLength(static_cast<const char16_t*>(src), used / 2)
                         : CharToWideLength(static_cast<const char*>(src), used);
}

// What remains of a known output length after `delivered` bytes; 0 (unknown) when
// the measures disagree.
uint64_t out_left_after(uint64_t outLeft, uint64_t delivered) {
  return outLeft > delivered ? outLeft - delivered : 0;
}

// The converter of a piece is chosen by its group only: bytes, UTF-16 text, or
// 8-bit text for everything else.
int32_t piece_group(uint32_t t) {
  if (is_binary_ds(t)) return DS_LONGBINARY;
  if (is_wide_ds(t)) return DS_LONGWCHAR;
  return DS_LONGCHAR;
}

// Units to ask the back end for in one piece of a deferred value.
uint64_t piece_size(int32_t cType, int64_t b, const ColumnInfo* info) {
  if (b <= 0) return 0;
  const uint64_t len = static_cast<uint64_t>(b);
  switch (cType) {
    case SQL_C_CHAR: return len - 1;
    // Room for the terminator of two bytes: one character more would be lost.
    case SQL_C_WCHAR: return len < 2 ? 0 : (len - 2) / 2;
    case SQL_C_BINARY: return info != nullptr && is_wide_ds(info->bindType) ? len / 2 : len;
    default: return len;
  }
}

// Source bytes of the character that src begins with: one UTF-16 unit or a surrogate
// pair, or one UTF-8 sequence.
uint64_t character_length(int32_t dsType, const void* src, uint64_t len) {
  const auto* p = static_cast<const unsigned char*>(src);
  if (piece_group(static_cast<uint32_t>(dsType)) == DS_LONGWCHAR) {
    if (len < 4) return len < 2 ? len : 2;
    char16_t u;
    char16_t v;
    std::memcpy(&u, p, 2);
    std::memcpy(&v, p + 2, 2);
    return u >= 0xD800 && u < 0xDC00 && v >= 0xDC00 && v < 0xE000 ? 4 : 2;
  }
  const uint64_t n = p[0] < 0xC0 ? 1 : p[0] < 0xE0 ? 2 : p[0] < 0xF0 ? 3 : 4;
  return n < len ? n : len;
}

// Bytes of text a piece of C type m has room for before its terminator; 0 when none.
int64_t piece_room(const ColBinding* req, int32_t m) {
  const int64_t term = m == SQL_C_WCHAR ? 2 : 1;
  if (req->cb_data == nullptr || req->cb_bufferLength < term) return 0;
  const int64_t room = req->cb_bufferLength - term;
  return m == SQL_C_WCHAR ? room & ~int64_t{1} : room;
}

SQLRETURN convert(Stmt* stmt, int32_t dsType, const void* src, uint64_t len, SQLLEN total,
                  int32_t m, ColBinding* req, int32_t numScale, int32_t numPrecision,
                  uint16_t colScale);

// A piece with room for some bytes of the next character but not for all of them (the
// converters write whole characters only) takes the bytes it has room for, and the
// rest of the character waits in the state, so that pieces of any size move through
// the value as they do through 8-bit text. false when the character fits after all.
bool split_character(Stmt* stmt, int32_t dsType, const void* src, uint64_t len, int32_t m,
                     ColBinding* req) {
  GetDataState& gd = stmt->st_getData;
  const int64_t room = piece_room(req, m);
  if (room == 0 || len == 0) return false;
  const uint64_t clen = character_length(dsType, src, len);
  unsigned char one[16];
  SQLLEN oneLen = 0;
  int32_t err = 0;
  uint64_t used = 0;
  const SQLRETURN rc =
      ConvertCellValue(piece_group(static_cast<uint32_t>(dsType)), src, clen,
                       static_cast<SQLLEN>(clen), m, one, sizeof one, &oneLen, &err, 0, 0, 0, &used);
  if (rc != SQL_SUCCESS || used != clen || oneLen <= room ||
      oneLen - room > static_cast<SQLLEN>(sizeof gd.gd_tail))
    return false;
  auto* out = static_cast<unsigned char*>(req->cb_data);
  std::memcpy(out, one, static_cast<size_t>(room));
  std::memset(out + room, 0, m == SQL_C_WCHAR ? 2 : 1);
  gd.gd_tailLen = static_cast<uint8_t>(oneLen - room);
  std::memcpy(gd.gd_tail, one + room, gd.gd_tailLen);
  gd.gd_cType = m;
  gd.gd_data = static_cast<char*>(const_cast<void*>(src)) + clen;
  gd.gd_left = static_cast<uint32_t>(len - clen);
  return true;
}

// A piece that begins with the rest of a character the last piece cut, followed by as
// much of the value after it as fits.
SQLRETURN convert_after_tail(Stmt* stmt, int32_t dsType, const void* src, uint64_t len, int32_t m,
                             ColBinding* req) {
  GetDataState& gd = stmt->st_getData;
  const int64_t term = m == SQL_C_WCHAR ? 2 : 1;
  const uint64_t tail = gd.gd_tailLen;
  const uint64_t n = std::min(tail, static_cast<uint64_t>(piece_room(req, m)));
  auto* out = static_cast<unsigned char*>(req->cb_data);
  if (n > 0) std::memcpy(out, gd.gd_tail, n);
  SQLLEN rest = 0;
  SQLRETURN rc = SQL_SUCCESS;
  // The output length of the value after the tail, when the first piece measured it.
  const uint64_t outLeft = gd.gd_outLeft;
  const uint64_t afterTail = out_left_after(outLeft, tail);
  if (n < tail || len == 0) {
    // The value after the tail is only measured, unless its length is known.
    int32_t err = 0;
    uint64_t used = 0;
    if (afterTail != 0)
      rest = static_cast<SQLLEN>(afterTail);
    else if (len > 0)
      (void)ConvertCellValue(piece_group(static_cast<uint32_t>(dsType)), src, len,
                             static_cast<SQLLEN>(len), m, nullptr, 0, &rest, &err, 0, 0, 0, &used);
    if (out != nullptr && req->cb_bufferLength >= term) std::memset(out + n, 0, term);
    std::memmove(gd.gd_tail, gd.gd_tail + n, tail - n);
    gd.gd_tailLen = static_cast<uint8_t>(tail - n);
    gd.gd_outLeft = out_left_after(outLeft, n);
    if (n < tail) {
      stmt->errCode = ERR_TRUNCATED;
      rc = SQL_SUCCESS_WITH_INFO;
    }
  } else {
    gd.gd_tailLen = 0;
    gd.gd_outLeft = afterTail;
    ColBinding after = *req;
    after.cb_data = out + n;
    after.cb_bufferLength = req->cb_bufferLength - static_cast<int64_t>(n);
    after.cb_octetLengthPtr = &rest;
    after.cb_indicatorPtr = nullptr;
    rc = convert(stmt, dsType, src, len, static_cast<SQLLEN>(len), m, &after, 0, 0, 0);
    if (rc == SQL_ERROR) {
      gd.gd_tailLen = static_cast<uint8_t>(tail);
      gd.gd_outLeft = outLeft;
      return rc;
    }
  }
  if (req->cb_octetLengthPtr != nullptr)
    *req->cb_octetLengthPtr = rest == SQL_NO_TOTAL ? SQL_NO_TOTAL : static_cast<SQLLEN>(tail) + rest;
  return rc;
}

// Converts (src, len) with total to report and records where a cut value
// continues. Owned pieces keep their own position: each is asked anew.
SQLRETURN convert(Stmt* stmt, int32_t dsType, const void* src, uint64_t len, SQLLEN total,
                  int32_t m, ColBinding* req, int32_t numScale, int32_t numPrecision,
                  uint16_t colScale) {
  GetDataState& gd = stmt->st_getData;
  if (gd.gd_tailLen != 0 && gd.gd_owned == 0)
    return convert_after_tail(stmt, dsType, src, len, m, req);
  // Text transcoded from the row reports the length of what remains, measured by
  // the first piece and kept since; once it is known, only a window of the source
  // that is sure to fill the buffer is converted (with the rest of the value behind
  // it, so the cut is answered as one).
  const bool measured = gd.gd_owned == 0 && transcodes(dsType, m);
  uint64_t n = len;
  if (measured && gd.gd_outLeft != 0) {
    n = transcode_window(m, req->cb_bufferLength, len);
    if (n < len) total = static_cast<SQLLEN>(len);
  }
  SQLLEN reported = 0;
  int32_t err = 0;
  uint64_t used = 0;
  const SQLRETURN rc = ConvertCellValue(
      dsType, src, n, total, m, req->cb_data, req->cb_bufferLength,
      measured ? &reported : req->cb_octetLengthPtr, &err, numScale, numPrecision, colScale, &used);
  if (rc != SQL_SUCCESS && err != 0) stmt->errCode = err;
  // A refused call leaves the value where it was.
  if (rc == SQL_ERROR) return rc;
  if (measured) {
    if (gd.gd_outLeft != 0) reported = static_cast<SQLLEN>(gd.gd_outLeft);
    if (req->cb_octetLengthPtr != nullptr) *req->cb_octetLengthPtr = reported;
  }
  if (gd.gd_owned != 0) {
    if (rc == SQL_SUCCESS_WITH_INFO && is_piecewise(m)) gd.gd_cType = m;
    return rc;
  }
  const uint64_t outLeft = measured && reported > 0 ? static_cast<uint64_t>(reported) : 0;
  // Only text and bytes held as such continue where a cut left them: a number or a
  // date cut as text has no source bytes that the next piece could read on from.
  if (rc == SQL_SUCCESS_WITH_INFO && is_piecewise(m) && used < len && held_in_pieces(dsType)) {
    if (used == 0 && m != SQL_C_BINARY && split_character(stmt, dsType, src, len, m, req)) {
      gd.gd_outLeft = out_left_after(outLeft, static_cast<uint64_t>(piece_room(req, m)));
      return rc;
    }
    gd.gd_cType = m;
    gd.gd_data = static_cast<char*>(const_cast<void*>(src)) + used;
    gd.gd_left = static_cast<uint32_t>(len - used);
    gd.gd_outLeft = outLeft != 0 ? out_left_after(outLeft, transcoded_bytes(m, src, used, len, outLeft)) : 0;
  } else {
    gd.gd_left = 0;
    gd.gd_outLeft = 0;
  }
  return rc;
}

SQLRETURN null_value(Stmt* stmt, const ColBinding* req, int32_t m) {
  if (req->cb_indicatorPtr == nullptr) return fail(stmt, ERR_INDICATOR_REQUIRED);
  *req->cb_indicatorPtr = SQL_NULL_DATA;
  ClearTarget(req, m);
  return SQL_SUCCESS;
}

SQLRETURN bookmark(Stmt* stmt, uint32_t row, const ColBinding* req) {
  const int32_t m = req->cb_cType;
  if (m != SQL_C_BINARY && m != SQL_C_UBIGINT) return fail(stmt, ERR_C_TYPE);
  if (req->cb_data == nullptr) return fail(stmt, ERR_ARGUMENT);
  // Eight bytes are always written: a shorter binary buffer would be overrun.
  if (m == SQL_C_BINARY && req->cb_bufferLength < 8) return fail(stmt, ERR_BUFFER_LENGTH);
  int32_t bm = 0;
  if (int32_t rc = BulkRowBookmark(stmt, row, false, &bm); rc != 0) return fail(stmt, rc);
  const int64_t wide = bm;
  std::memcpy(req->cb_data, &wide, sizeof wide);
  if (req->cb_indicatorPtr != nullptr) *req->cb_indicatorPtr = 0;
  if (req->cb_octetLengthPtr != nullptr) *req->cb_octetLengthPtr = sizeof wide;
  return SQL_SUCCESS;
}

// A long value left out of the row: its next piece from the back end.
SQLRETURN deferred(Stmt* stmt, ColBinding* req, int32_t m, const ColumnInfo* info, bool first) {
  GetDataState& gd = stmt->st_getData;
  if (gd.gd_owned == 0 || gd.gd_retry == 0) {
    const int32_t r = FetchDeferredLong(stmt, piece_size(m, req->cb_bufferLength, info), m);
    if (r == ERR_NO_DATA) {
      if (first && gd.gd_total == -1) return null_value(stmt, req, m);
      return SQL_NO_DATA;
    }
    if (r != 0) return fail(stmt, r);
  }
  gd.gd_retry = 0;
  // A piece of a long type comes as a long-value record around its bytes.
  const bool record =
      gd.gd_type == DS_LONGCHAR || gd.gd_type == DS_LONGBINARY || gd.gd_type == DS_LONGWCHAR;
  const void* src = record ? static_cast<const DatasetLong*>(gd.gd_data)->data : gd.gd_data;
  const SQLRETURN rc =
      convert(stmt, piece_group(gd.gd_type), src, gd.gd_left, gd.gd_total, m, req, 0, 0, 0);
  if (rc == SQL_ERROR && gd.gd_owned != 0) {
    gd.gd_retry = first ? 2 : 1;
    gd.gd_cType = m;
  }
  return rc;
}

SQLRETURN continue_cell(Stmt* stmt, ColBinding* req, const DatasetColumn* col, uint32_t row,
                        const ColumnInfo* info) {
  GetDataState& gd = stmt->st_getData;
  const bool notFetched = col->ind != nullptr && col->ind[row] == DS_IND_NOTFETCHED;
  if (notFetched && gd.gd_owned != 0 && gd.gd_retry == 2) {
    if (req->cb_data == nullptr) return fail(stmt, ERR_ARGUMENT);
    // The refused first piece: as a first call, in the C type asked for now.
    return deferred(stmt, req, req->cb_cType == SQL_C_DEFAULT ? gd.gd_cType : req->cb_cType, info,
                    true);
  }
  if (!notFetched && gd.gd_left == 0 && gd.gd_tailLen == 0) return SQL_NO_DATA;
  const int32_t m = gd.gd_cType;
  if (req->cb_cType != m && req->cb_cType != SQL_C_DEFAULT) return SQL_NO_DATA;
  if (req->cb_data == nullptr) return fail(stmt, ERR_ARGUMENT);
  if (notFetched) return deferred(stmt, req, m, info, false);
  const SQLLEN left = static_cast<SQLLEN>(gd.gd_left);
  return convert(stmt, piece_group(gd.gd_type), gd.gd_data, gd.gd_left, left, m, req, 0, 0, 0);
}

SQLRETURN first_cell(Stmt* stmt, uint32_t row, ColBinding* req, const DatasetColumn* col,
                     const ColumnInfo* info, int32_t m, bool outputMode, uint16_t colScale);

}  // namespace

SQLRETURN GetColumn(Stmt* stmt, uint32_t row, ColBinding* req, Dataset* data) {
  bool outputMode = false;
  if (stmt->errCode == ERR_OUTPUT_PARAMS) {
    outputMode = true;
    stmt->errCode = 0;
  }
  const uint16_t c = req->cb_column;
  if ((c == 0 && stmt->st_cursor.sc_useBookmarks == 0) || c > data->colCount) {
    if (TraceLevel.load() != 0) TraceODBC("GetColumn: col out of range (%d,%d)", c, data->colCount);
    return fail(stmt, ERR_COLUMN_NUMBER);
  }
  if (c == 0) return bookmark(stmt, row, req);

  GetDataState& gd = stmt->st_getData;
  const DatasetColumn* col = &data->cols[c - 1];
  const ColumnInfo* info = nullptr;
  const bool paramScale = outputMode && stmt->st_paramDirUnknown != 0;
  if (!paramScale) {
    // Described once per result; the call is kept for the first cell.
    const ColumnInfo* cols =
        stmt->st_colInfo != nullptr ? stmt->st_colInfo : StmtDescribeCols(stmt);
    if (cols == nullptr) return SQL_ERROR;
    if (c <= stmt->st_numCols) info = &cols[c - 1];
  }
  if (gd.gd_column == c && gd.gd_row == row + 1) return continue_cell(stmt, req, col, row, info);

  if (req->cb_indicatorPtr != nullptr) *req->cb_indicatorPtr = 0;
  if (row >= static_cast<uint32_t>(data->rowCount)) {
    if (TraceLevel.load() != 0)
      TraceODBC("GetColumn: row out of range (%d,%d)", static_cast<int>(row), data->rowCount);
    return fail(stmt, ERR_CURSOR_STATE);
  }
  const uint16_t colScale =
      static_cast<uint16_t>(paramScale ? req->cb_scale : (info != nullptr ? info->scale : 0));
  const int32_t sqlType = info != nullptr ? info->sqlType : 0;

  int32_t m = req->cb_cType;
  if (m == SQL_C_DEFAULT) {
    m = ColumnDefaultCType(stmt, sqlType);
    if (req->cb_bufferLength == 0) req->cb_bufferLength = CTypeSize(static_cast<int16_t>(m));
  } else if (m == SQL_C_BINARY && info != nullptr && sqlType == SQL_BIGINT) {
    // The 8-byte integer itself; a shorter buffer cannot take it.
    if (req->cb_bufferLength < 8) return fail(stmt, ERR_NUMERIC_RANGE);
    m = SQL_C_SBIGINT;
  }

  gd.gd_column = c;
  gd.gd_row = row + 1;
  GetDataStateFree(&gd);
  gd.gd_left = 0;
  const SQLRETURN rc = first_cell(stmt, row, req, col, info, m, outputMode, colScale);
  // A refused first call leaves the value unread.
  if (rc == SQL_ERROR && gd.gd_retry == 0) {
    gd.gd_column = 0;
    gd.gd_row = 0;
  }
  return rc;
}

namespace {

SQLRETURN first_cell(Stmt* stmt, uint32_t row, ColBinding* req, const DatasetColumn* col,
                     const ColumnInfo* info, int32_t m, bool outputMode, uint16_t colScale) {
  const uint16_t c = req->cb_column;

  int32_t numPrecision = 0;
  int32_t numScale = 0;
  if (req->cb_cType == SQL_ARD_TYPE || req->cb_cType == SQL_C_NUMERIC) {
    DescRec* rec = DescGetRec(outputMode ? stmt->st_apd : stmt->st_ard, static_cast<int16_t>(c));
    if (rec == nullptr) {
      if (req->cb_cType == SQL_ARD_TYPE) return fail(stmt, ERR_DESC_INDEX);
    } else {
      if (req->cb_cType == SQL_ARD_TYPE) m = rec->dr_conciseType;
      if (m == SQL_C_NUMERIC) {
        numPrecision = rec->dr_precision;
        numScale = rec->dr_scale;
      }
    }
  }

  const int16_t ind = col->ind != nullptr ? col->ind[row] : DS_IND_NULL;
  if (ind == DS_IND_NULL) return null_value(stmt, req, m);
  // Checked before a piece is read on demand: the back end would move past it.
  if (req->cb_data == nullptr) return fail(stmt, ERR_ARGUMENT);
  if (ind == DS_IND_NOTFETCHED) return deferred(stmt, req, m, info, true);
  const void* value = nullptr;
  uint64_t length = 0;
  CellValue(col, row, &value, &length);
  stmt->st_getData.gd_type = static_cast<uint32_t>(col->type);
  return convert(stmt, col->type, value, length, static_cast<SQLLEN>(length), m, req, numScale,
                 numPrecision, colScale);
}

}  // namespace

int32_t FetchDeferredLong(Stmt* stmt, uint64_t maxUnits, int32_t cType) {
  (void)cType;
  GetDataState& gd = stmt->st_getData;
  GetDataStateFree(&gd);
  const DriverOps* ops = stmt->st_drv->ops;
  if (ops->DRV_GetLongData == nullptr) return ERR_NOT_CAPABLE;
  const uint32_t units = maxUnits > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(maxUnits);
  const int32_t r = ops->DRV_GetLongData(stmt->st_hCursor, gd.gd_column, gd.gd_row, units,
                                         &gd.gd_data, &gd.gd_left, &gd.gd_type, &gd.gd_total);
  if (r != 0) {
    (void)StmtPostDriverErrors(stmt);
    return r;
  }
  if (gd.gd_left != 0) {
    gd.gd_owned = 1;
    return 0;
  }
  // A piece of no units is a length enquiry; it finds the total, not the end.
  return gd.gd_total != 0 && maxUnits == 0 ? 0 : ERR_NO_DATA;
}

int32_t ColumnDefaultCType(const Stmt* stmt, int32_t sqlType) {
  const int32_t version = odbc_version(stmt);
  return version == 2 && is_wide_sql(sqlType) ? SQL_C_CHAR : DefaultCType(sqlType, version);
}

GetDataState* GetDataStateFree(GetDataState* state) {
  if (state->gd_owned != 0 && state->gd_data != nullptr) {
    if (state->gd_type == DS_LONGCHAR || state->gd_type == DS_LONGBINARY ||
        state->gd_type == DS_LONGWCHAR)
      std::free(static_cast<DatasetLong*>(state->gd_data)->data);
    std::free(state->gd_data);
    state->gd_data = nullptr;
  }
  state->gd_owned = 0;
  state->gd_retry = 0;
  state->gd_tailLen = 0;
  state->gd_outLeft = 0;
  return state;
}

void ClearTarget(const ColBinding* req, int32_t cType) {
  if (req->cb_data == nullptr) return;
  size_t n = 0;
  switch (cType) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_FLOAT: n = 4; break;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE: n = 8; break;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: n = 2; break;
    case SQL_C_TINYINT:
    case SQL_C_BIT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: n = 1; break;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: n = 6; break;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: n = 16; break;
    case SQL_C_NUMERIC: n = 19; break;
    default: n = req->cb_bufferLength > 0 ? static_cast<size_t>(req->cb_bufferLength) : 0; break;
  }
  std::memset(req->cb_data, 0, n);
}
