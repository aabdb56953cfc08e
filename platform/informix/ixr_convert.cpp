// ixr_convert.cpp -- conversions between Informix types, and host variables to and from
// values. Numbers are parsed and printed without the C locale (from_chars/to_chars and
// the decimal module), so a process locale never changes a value.
// Threading: pure functions.
#include "platform/informix/ixr_convert.h"

#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_db.h"
#include "platform/informix/ixr_decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ixr {
namespace {

std::string_view trimmed(const char* p, int n) {
  int b = 0, e = n;
  while (b < e && (p[b] == ' ' || p[b] == '\t')) ++b;
  while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\t' || p[e - 1] == '\n')) --e;
  return std::string_view(p + b, static_cast<size_t>(e - b));
}

std::string realText(double r, bool single) {
  char buf[64];
  auto res = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(r))
                    : std::to_chars(buf, buf + sizeof buf, r);
  return std::string(buf, res.ptr);
}

// A value as an exact decimal; answers 0, IXR_E_CHAR_TO_NUMBER, or 1 for an empty text (NULL).
int toDec(const Val& in, Dec& d) {
  switch (in.kind) {
    case Val::Int: d = decFromInt(in.intValue); return 0;
    case Val::Real:
      if (!std::isfinite(in.realValue)) return IXR_E_DECIMAL_OVERFLOW;
      d = decFromDouble(in.realValue);
      return 0;
    case Val::Text:
    case Val::Blob: {
      std::string_view t = trimmed(in.data, in.size);
      if (t.empty()) return 1;
      return decParse(t, d);
    }
    default: return 1;
  }
}

int toInt(const Val& in, const IxType& from, int64_t& v) {
  if (in.kind == Val::Int) {
    v = in.intValue;
    return 0;
  }
  if (in.kind == Val::Real) {
    if (!std::isfinite(in.realValue) || std::fabs(in.realValue) > 9.2e18) return IXR_E_INT_OVERFLOW;
    v = static_cast<int64_t>(in.realValue);
    return 0;
  }
  Dec d;
  int rc = toDec(in, d);
  if (rc) return rc;
  return decToInt64(d, v) ? IXR_E_INT_OVERFLOW : 0;
}

int toReal(const Val& in, const IxType& from, double& r) {
  if (in.kind == Val::Real) {
    r = in.realValue;
    return 0;
  }
  if (in.kind == Val::Int) {
    r = static_cast<double>(in.intValue);
    return 0;
  }
  std::string_view t = trimmed(in.data, in.size);
  if (t.empty()) return 1;
  auto res = std::from_chars(t.data(), t.data() + t.size(), r);
  if (res.ec == std::errc() && res.ptr == t.data() + t.size()) return 0;
  Dec d;
  int rc = toDec(in, d);
  if (rc) return rc;
  r = decToDouble(d);
  return 0;
}

IxError textToDate(std::string_view t, const IxType& from, int32_t& out) {
  if (baseType(from.code) == IXR_TYPE_DATETIME) {
    DtFields f, g;
    if (int rc = dtParse(t, from.len, f)) return ixErr(rc);
    dtExtend(f, from.len, qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false), g);
    out = static_cast<int32_t>(daysFromCivil(g.field[0], g.field[1], g.field[2]));
    return {};
  }
  int rc = dateParse(t, nullptr, out);
  if (rc == 0) return {};
  DtFields f;
  if (dtParse(t, IXR_QUAL_YEAR_TO_F5, f) == 0 && validYmd(f.field[0], f.field[1], f.field[2])) {
    out = static_cast<int32_t>(daysFromCivil(f.field[0], f.field[1], f.field[2]));
    return {};
  }
  return ixErr(rc);
}

// The length of text of `size` bytes cut to at most n, never inside a UTF-8 sequence.
size_t cutLength(const char* s, size_t size, size_t n) {
  if (size <= n) return size;
  size_t cut = n;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

void padTo(std::string& s, size_t n, bool pad) {
  s.resize(cutLength(s.data(), s.size(), n));
  if (pad && s.size() < n) s.append(n - s.size(), ' ');
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether t is the text the conversion to DECIMAL(p,s) would make of it: an optional
// minus sign before a value that is not zero, integer digits without leading zeros
// (a lone 0 when there are none) that fit the precision, and exactly s decimals.
bool isDecimalForm(std::string_view t, int p, int s) {
  if (p <= 0 || p > kDecMaxDigits || s == kDecFloating || s > p) return false;
  size_t i = 0;
  const bool neg = !t.empty() && t[0] == '-';
  if (neg) ++i;
  const size_t intStart = i;
  while (i < t.size() && isDigit(t[i])) ++i;
  const size_t intDigits = i - intStart;
  if (intDigits == 0 || (intDigits > 1 && t[intStart] == '0')) return false;
  const size_t significant = t[intStart] == '0' ? 0 : intDigits;
  if (significant > static_cast<size_t>(p - s)) return false;
  bool nonZero = significant > 0;
  if (s > 0) {
    if (i >= t.size() || t[i] != '.') return false;
    ++i;
    for (int k = 0; k < s; ++k, ++i) {
      if (i >= t.size() || !isDigit(t[i])) return false;
      nonZero = nonZero || t[i] != '0';
    }
  }
  return i == t.size() && (!neg || nonZero);
}

}  // namespace

Val fromSqliteValue(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return Val::ofInt(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Val::ofReal(sqlite3_value_double(v));
    case SQLITE_TEXT:
      return Val::view(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                       sqlite3_value_bytes(v));
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      return Val::view(static_cast<const char*>(p), sqlite3_value_bytes(v), Val::Blob);
    }
    default: return Val::null();
  }
}

Val fromColumn(sqlite3_stmt* st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER: return Val::ofInt(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: return Val::ofReal(sqlite3_column_double(st, col));
    case SQLITE_TEXT:
      return Val::view(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                       sqlite3_column_bytes(st, col));
    case SQLITE_BLOB: {
      const void* p = sqlite3_column_blob(st, col);
      return Val::view(static_cast<const char*>(p), sqlite3_column_bytes(st, col), Val::Blob);
    }
    default: return Val::null();
  }
}

void bindVal(sqlite3_stmt* st, int idx, const Val& v) {
  switch (v.kind) {
    case Val::Null: sqlite3_bind_null(st, idx); break;
    case Val::Int: sqlite3_bind_int64(st, idx, v.intValue); break;
    case Val::Real: sqlite3_bind_double(st, idx, v.realValue); break;
    case Val::Text:
      sqlite3_bind_text(st, idx, v.data ? v.data : "", v.size, SQLITE_TRANSIENT);
      break;
    case Val::Blob:
      sqlite3_bind_blob(st, idx, v.data ? v.data : "", v.size, SQLITE_TRANSIENT);
      break;
  }
}

void resultVal(sqlite3_context* ctx, const Val& v) {
  switch (v.kind) {
    case Val::Null: sqlite3_result_null(ctx); break;
    case Val::Int: sqlite3_result_int64(ctx, v.intValue); break;
    case Val::Real: sqlite3_result_double(ctx, v.realValue); break;
    case Val::Text: sqlite3_result_text(ctx, v.data ? v.data : "", v.size, SQLITE_TRANSIENT); break;
    case Val::Blob: sqlite3_result_blob(ctx, v.data ? v.data : "", v.size, SQLITE_TRANSIENT); break;
  }
}

namespace {

bool bindTextAsIs(sqlite3_stmt* st, int idx, const char* data, size_t n, const IxType& to,
                  bool borrow) {
  const int tc = baseType(to.code);
  switch (storeOf(tc)) {
    case Store::Text:
      if (isPaddedChar(tc)) return false;
      n = cutLength(data, n, static_cast<size_t>(charLength(to)));
      break;
    case Store::Decimal:
      if (!isDecimalForm(std::string_view(data, n), decPrecision(to), decScale(to))) return false;
      break;
    default: return false;
  }
  sqlite3_bind_text(st, idx, data, static_cast<int>(n), borrow ? SQLITE_STATIC : SQLITE_TRANSIENT);
  return true;
}

// An integer host value into an integer or floating column, bound where convertValue would
// store the same number; false for what it would refuse (out of range) or treat otherwise.
bool bindIntAsIs(sqlite3_stmt* st, int idx, int64_t v, const IxType& to) {
  const int tc = baseType(to.code);
  switch (storeOf(tc)) {
    case Store::Int:
      if (tc == IXR_TYPE_DATE || tc == IXR_TYPE_INTERVAL) return false;
      if (tc == IXR_TYPE_SMALLINT ? (v < -32767 || v > 32767) : (v < -2147483647 || v > 2147483647))
        return false;
      sqlite3_bind_int64(st, idx, v);
      return true;
    case Store::Real: {
      double r = static_cast<double>(v);
      if (tc == IXR_TYPE_SMALLFLOAT) r = static_cast<float>(r);
      sqlite3_bind_double(st, idx, r);
      return true;
    }
    default: return false;
  }
}

}  // namespace

bool bindTextAsIs(sqlite3_stmt* st, int idx, const Val& in, const IxType& to, bool borrow) {
  if (in.kind != Val::Text || !in.data) return false;
  // Text the value made for itself goes with the value: only a view may be borrowed.
  const bool made = in.data == in.own.data();
  return bindTextAsIs(st, idx, in.data, static_cast<size_t>(in.size), to, borrow && !made);
}

bool bindHostAsIs(sqlite3_stmt* st, int idx, const IxrSqlVar& var, const IxType* to,
                  bool borrow) {
  const char* d = var.sqldata;
  if (!d) return false;
  const bool null = var.sqlind && *var.sqlind == -1;
  switch (var.sqltype) {
    case IXR_HOST_CHAR:
    case IXR_HOST_STRING:
    case IXR_HOST_FIXCHAR: {
      if (null) break;
      if (!to) return false;
      size_t n = var.sqllen > 0 ? strnlen(d, static_cast<size_t>(var.sqllen)) : std::strlen(d);
      return bindTextAsIs(st, idx, d, n, *to, borrow);
    }
    case IXR_HOST_SHORT:
    case IXR_HOST_INT:
    case IXR_HOST_LONG: {
      if (null) break;
      const int64_t v = var.sqltype == IXR_HOST_SHORT ? *reinterpret_cast<const int16_t*>(d)
                        : var.sqltype == IXR_HOST_INT ? *reinterpret_cast<const int32_t*>(d)
                                                      : *reinterpret_cast<const int64_t*>(d);
      if (!to) {
        sqlite3_bind_int64(st, idx, v);
        return true;
      }
      return bindIntAsIs(st, idx, v, *to);
    }
    case IXR_HOST_FLOAT:
    case IXR_HOST_DOUBLE: {
      if (null) break;
      double r = var.sqltype == IXR_HOST_FLOAT ? *reinterpret_cast<const float*>(d)
                                               : *reinterpret_cast<const double*>(d);
      if (to) {
        if (storeOf(to->code) != Store::Real) return false;
        if (baseType(to->code) == IXR_TYPE_SMALLFLOAT) r = static_cast<float>(r);
      }
      sqlite3_bind_double(st, idx, r);
      return true;
    }
    case IXR_HOST_DATE: {
      const int32_t v = *reinterpret_cast<const int32_t*>(d);
      if (null || v == kNullDate) break;
      if (to && (baseType(to->code) != IXR_TYPE_DATE || v < -693594 || v > 2958464)) return false;
      sqlite3_bind_int64(st, idx, v);
      return true;
    }
    default: return false;
  }
  sqlite3_bind_null(st, idx);
  return true;
}

IxError valueToText(const Val& in, const IxType& from, std::string& out) {
  out.clear();
  int fc = baseType(from.code);
  switch (in.kind) {
    case Val::Null: return {};
    case Val::Int:
      if (fc == IXR_TYPE_DATE) {
        char buf[16];
        int n = dateFormat(static_cast<int32_t>(in.intValue), buf);
        if (n < 0) return ixErr(IXR_E_BAD_DATE);
        out.assign(buf, static_cast<size_t>(n));
      } else if (fc == IXR_TYPE_INTERVAL) {
        ivFormat(in.intValue, from.len, out);
      } else if (isDecimalType(fc) && decScale(from) != kDecFloating) {
        decFormatTo(decFromInt(in.intValue), decScale(from), out);
      } else {
        out = std::to_string(in.intValue);
      }
      return {};
    case Val::Real:
      if (isDecimalType(fc))
        decFormatTo(decFromDouble(in.realValue),
                    decScale(from) == kDecFloating ? -1 : decScale(from), out);
      else
        out = realText(in.realValue, fc == IXR_TYPE_SMALLFLOAT);
      return {};
    case Val::Text:
    case Val::Blob: out.assign(in.data ? in.data : "", static_cast<size_t>(in.size)); return {};
  }
  return {};
}

IxError convertValue(const Val& in, const IxType& from, const IxType& to, Val& out) {
  if (in.kind == Val::Null) {
    out = Val::null();
    return {};
  }
  int tc = baseType(to.code), fc = baseType(from.code);
  switch (storeOf(tc)) {
    case Store::Int: {
      if (tc == IXR_TYPE_DATE) {
        if (in.kind == Val::Text || in.kind == Val::Blob) {
          std::string_view t = trimmed(in.data, in.size);
          if (t.empty()) {
            out = Val::null();
            return {};
          }
          int32_t d;
          if (auto e = textToDate(t, from, d)) return e;
          out = Val::ofInt(d);
          return {};
        }
        int64_t v;
        if (int rc = toInt(in, from, v)) return ixErr(rc);
        if (v < -693594 || v > 2958464) return ixErr(IXR_E_BAD_YEAR);
        out = Val::ofInt(v);
        return {};
      }
      if (tc == IXR_TYPE_INTERVAL) {
        if (fc == IXR_TYPE_INTERVAL && in.kind == Val::Int) {
          if (ivIsMonths(from.len) != ivIsMonths(to.len)) return ixErr(IXR_E_DT_INCOMPATIBLE);
          int64_t u = ivUnit(IXR_QUAL_LAST(to.len));
          if (!ivFits(in.intValue, to.len)) return ixErr(IXR_E_DT_OVERFLOW);
          out = Val::ofInt(in.intValue / u * u);
          return {};
        }
        if (in.kind == Val::Text || in.kind == Val::Blob) {
          std::string_view t = trimmed(in.data, in.size);
          if (t.empty()) {
            out = Val::null();
            return {};
          }
          int64_t v;
          int rc = ivParse(t, to.len, v);
          if (rc && fc == IXR_TYPE_INTERVAL && from.len != to.len && ivParse(t, from.len, v) == 0)
            rc = 0;
          if (rc) return ixErr(rc);
          if (!ivFits(v, to.len)) return ixErr(IXR_E_DT_OVERFLOW);
          out = Val::ofInt(v);
          return {};
        }
        double r;
        if (int rc = toReal(in, from, r)) return ixErr(rc == 1 ? 0 : rc);
        const double units = r * static_cast<double>(ivUnit(IXR_QUAL_LAST(to.len)));
        // A double past the int64 range has no integer value at all.
        if (!(units > -9.2e18 && units < 9.2e18) || !ivFits(static_cast<int64_t>(units), to.len))
          return ixErr(IXR_E_DT_OVERFLOW);
        out = Val::ofInt(static_cast<int64_t>(units));
        return {};
      }
      if (fc == IXR_TYPE_DATETIME || (fc == IXR_TYPE_INTERVAL && in.kind != Val::Int))
        return ixErr(IXR_E_BAD_CONVERSION);
      int64_t v;
      int rc = toInt(in, from, v);
      if (rc == 1) {
        out = Val::null();
        return {};
      }
      if (rc) return ixErr(rc);
      if (tc == IXR_TYPE_SMALLINT && (v < -32767 || v > 32767))
        return ixErr(IXR_E_SMALLINT_OVERFLOW);
      if (tc != IXR_TYPE_SMALLINT && (v < -2147483647 || v > 2147483647))
        return ixErr(IXR_E_INT_OVERFLOW);
      out = Val::ofInt(v);
      return {};
    }
    case Store::Real: {
      if (fc == IXR_TYPE_DATETIME || fc == IXR_TYPE_INTERVAL) return ixErr(IXR_E_BAD_CONVERSION);
      double r;
      int rc = toReal(in, from, r);
      if (rc == 1) {
        out = Val::null();
        return {};
      }
      if (rc) return ixErr(rc);
      if (tc == IXR_TYPE_SMALLFLOAT) r = static_cast<float>(r);
      out = Val::ofReal(r);
      return {};
    }
    case Store::Decimal: {
      if (fc == IXR_TYPE_DATETIME || fc == IXR_TYPE_INTERVAL) return ixErr(IXR_E_BAD_CONVERSION);
      Dec d, f;
      int rc = toDec(in, d);
      if (rc == 1) {
        out = Val::null();
        return {};
      }
      if (rc) return ixErr(rc);
      int p = decPrecision(to), s = decScale(to);
      if (int e = decFit(d, p, s, f)) return ixErr(e);
      std::string t;
      decFormatTo(f, s == kDecFloating ? -1 : s, t);
      out = Val::ofText(std::move(t));
      return {};
    }
    case Store::DateTime: {
      DtFields f, g;
      if (in.kind == Val::Int && (fc == IXR_TYPE_DATE || !isCharType(fc))) {
        if (fc != IXR_TYPE_DATE && fc != IXR_TYPE_INTEGER && fc != IXR_TYPE_SMALLINT)
          return ixErr(IXR_E_BAD_CONVERSION);
        civilFromDays(in.intValue, f.field[0], f.field[1], f.field[2]);
        dtExtend(f, qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false), to.len, g);
      } else if (in.kind == Val::Text || in.kind == Val::Blob) {
        std::string_view t = trimmed(in.data, in.size);
        if (t.empty()) {
          out = Val::null();
          return {};
        }
        if (fc == IXR_TYPE_DATETIME && from.len != to.len) {
          if (int rc = dtParse(t, from.len, f)) return ixErr(rc);
          dtExtend(f, from.len, to.len, g);
        } else if (int rc = dtParseAny(t, to.len, g)) {
          return ixErr(rc);
        }
      } else {
        return ixErr(IXR_E_BAD_CONVERSION);
      }
      std::string s;
      dtFormat(g, to.len, s);
      out = Val::ofText(std::move(s));
      return {};
    }
    case Store::Blob:
      if (in.kind == Val::Blob) {
        out = in;
      } else {
        std::string s;
        if (auto e = valueToText(in, from, s)) return e;
        out = Val::ofText(std::move(s), Val::Blob);
      }
      return {};
    case Store::Text: {
      std::string s;
      if (auto e = valueToText(in, from, s)) return e;
      if (isPaddedChar(tc))
        padTo(s, static_cast<size_t>(to.len), true);
      else if (tc != IXR_TYPE_TEXT)
        padTo(s, static_cast<size_t>(charLength(to)), false);
      out = Val::ofText(std::move(s));
      return {};
    }
  }
  return ixErr(IXR_E_BAD_CONVERSION);
}

namespace {

// A marker that is not stored keeps its value whole: the type it met picks the kind.
enum class MarkerKind { AsTyped, Text, Number, Decimal };

MarkerKind markerKind(const IxType& to, bool store) {
  if (store) return MarkerKind::AsTyped;
  const int tc = baseType(to.code);
  switch (storeOf(tc)) {
    case Store::Text: return tc == IXR_TYPE_TEXT ? MarkerKind::AsTyped : MarkerKind::Text;
    case Store::Int:
      return tc == IXR_TYPE_DATE || tc == IXR_TYPE_INTERVAL ? MarkerKind::AsTyped
                                                            : MarkerKind::Number;
    case Store::Real: return MarkerKind::Number;
    case Store::Decimal: return MarkerKind::Decimal;
    default: return MarkerKind::AsTyped;
  }
}

}  // namespace

IxError markerValue(const Val& in, const IxType& from, const IxType& to, bool store, Val& out) {
  switch (markerKind(to, store)) {
    case MarkerKind::AsTyped: return convertValue(in, from, to, out);
    case MarkerKind::Text:
      if (in.kind == Val::Text || in.kind == Val::Null) {
        out = in;
        return {};
      }
      return convertValue(in, from, tText(), out);
    case MarkerKind::Decimal:
      return convertValue(in, from, tDecimal(kDecMaxDigits, kDecFloating), out);
    case MarkerKind::Number: {
      if (in.kind == Val::Int || in.kind == Val::Real || in.kind == Val::Null) {
        out = in;
        return {};
      }
      const int fc = baseType(from.code);
      if (fc == IXR_TYPE_DATETIME || fc == IXR_TYPE_INTERVAL) return convertValue(in, from, to, out);
      Dec d;
      const int rc = toDec(in, d);
      if (rc == 1) {
        out = Val::null();  // empty text
        return {};
      }
      if (rc) return ixErr(rc);
      int64_t v = 0;
      if (storeOf(to.code) == Store::Int && decToInt64(d, v) == 0 && decCmp(decFromInt(v), d) == 0)
        out = Val::ofInt(v);
      else
        out = Val::ofReal(decToDouble(d));
      return {};
    }
  }
  return convertValue(in, from, to, out);
}

const IxType* markerBindType(const IxType& to, bool store, IxType& room) {
  switch (markerKind(to, store)) {
    case MarkerKind::AsTyped: return &to;
    case MarkerKind::Text: room = tText(); return &room;
    case MarkerKind::Decimal: room = tDecimal(kDecMaxDigits, kDecFloating); return &room;
    case MarkerKind::Number: return nullptr;
  }
  return &to;
}

IxType hostDeclaredType(const IxrSqlVar& var) {
  switch (var.sqltype) {
    case IXR_HOST_SHORT: return tSmallint();
    case IXR_HOST_INT: return tInteger();
    case IXR_HOST_LONG: return tDecimal(19, 0);
    case IXR_HOST_FLOAT: return tSmallfloat();
    case IXR_HOST_DOUBLE: return tFloat();
    case IXR_HOST_DATE: return tDate();
    case IXR_HOST_DATETIME: {
      const auto* r = reinterpret_cast<const IxrDateTime*>(var.sqldata);
      if (r && qualValid(r->qual, false)) return tDatetime(r->qual);
      break;
    }
    case IXR_HOST_CHAR:
    case IXR_HOST_STRING:
    case IXR_HOST_FIXCHAR: {
      // A marker's own VARCHAR(255) holds shorter text whole.
      const char* d = var.sqldata;
      if (!d || (var.sqlind && *var.sqlind == -1)) break;
      const size_t cap = var.sqllen > 0 ? static_cast<size_t>(var.sqllen) : SIZE_MAX;
      const size_t n = strnlen(d, std::min<size_t>(cap, 32740));
      // Text too long for any other text type is TEXT, which holds it whole.
      if (n > 32739) return tText();
      if (n > 255) return tLvarchar(32739);
      break;
    }
    case IXR_HOST_LOCATOR: {
      // Text sent in a locator is typed by its length as text in a buffer is.
      const auto* l = reinterpret_cast<const IxrLocator*>(var.sqldata);
      if (!l || l->blobtype != IXR_TYPE_TEXT || l->indicator == -1 ||
          (var.sqlind && *var.sqlind == -1))
        break;
      if (l->size > 32739) return tText();
      if (l->size > 255) return tLvarchar(32739);
      break;
    }
    default: break;
  }
  return IxType{-1, 0};
}

std::string sqlLiteral(const Val& v) {
  switch (v.kind) {
    case Val::Null: return "NULL";
    case Val::Int: return std::to_string(v.intValue);
    case Val::Real: {
      if (!std::isfinite(v.realValue)) return "NULL";
      std::string s = realText(v.realValue, false);
      if (s.find_first_of(".e") == std::string::npos) s += ".0";
      return s;
    }
    case Val::Text: return quoteStr(std::string_view(v.data, static_cast<size_t>(v.size)));
    case Val::Blob: {
      static const char* kHex = "0123456789ABCDEF";
      std::string s = "X'";
      for (int k = 0; k < v.size; ++k) {
        unsigned char c = static_cast<unsigned char>(v.data[k]);
        s.push_back(kHex[c >> 4]);
        s.push_back(kHex[c & 15]);
      }
      return s + "'";
    }
  }
  return "NULL";
}

IxError hostToVal(const IxrSqlVar& var, Val& out, IxType& type) {
  const char* d = var.sqldata;
  bool null = var.sqlind && *var.sqlind == -1;
  switch (var.sqltype) {
    case IXR_HOST_CHAR:
    case IXR_HOST_STRING:
    case IXR_HOST_FIXCHAR: {
      type = tText();
      if (null || !d) break;
      size_t n = var.sqllen > 0 ? strnlen(d, static_cast<size_t>(var.sqllen)) : std::strlen(d);
      out = Val::view(d, static_cast<int>(n));
      return {};
    }
    case IXR_HOST_SHORT:
      type = tInteger();
      if (null || !d) break;
      out = Val::ofInt(*reinterpret_cast<const int16_t*>(d));
      return {};
    case IXR_HOST_INT:
      type = tInteger();
      if (null || !d) break;
      out = Val::ofInt(*reinterpret_cast<const int32_t*>(d));
      return {};
    case IXR_HOST_LONG:
      type = tDecimal(19, 0);
      if (null || !d) break;
      out = Val::ofInt(*reinterpret_cast<const int64_t*>(d));
      return {};
    case IXR_HOST_FLOAT:
      type = tSmallfloat();
      if (null || !d) break;
      out = Val::ofReal(*reinterpret_cast<const float*>(d));
      return {};
    case IXR_HOST_DOUBLE:
      type = tFloat();
      if (null || !d) break;
      out = Val::ofReal(*reinterpret_cast<const double*>(d));
      return {};
    case IXR_HOST_DATE: {
      type = tDate();
      if (null || !d) break;
      int32_t v = *reinterpret_cast<const int32_t*>(d);
      if (v == kNullDate) break;
      out = Val::ofInt(v);
      return {};
    }
    case IXR_HOST_DATETIME: {
      const IxrDateTime* r = reinterpret_cast<const IxrDateTime*>(d);
      if (!r) return ixErr(IXR_E_BAD_CONVERSION);
      type = tDatetime(r->qual);
      if (null || r->isnull) break;
      if (!qualValid(r->qual, false)) return ixErr(IXR_E_DT_BAD_FIELD);
      DtFields f;
      dtFromRecord(*r, f);
      if (int rc = dtValidate(f, r->qual)) return ixErr(rc);
      std::string s;
      dtFormat(f, r->qual, s);
      out = Val::ofText(std::move(s));
      return {};
    }
    case IXR_HOST_LOCATOR: {
      const IxrLocator* l = reinterpret_cast<const IxrLocator*>(d);
      if (!l) return ixErr(IXR_E_BAD_CONVERSION);
      bool bytes = l->blobtype == IXR_TYPE_BYTE;
      type = bytes ? tByte() : tText();
      if (null || l->indicator == -1) break;
      out = Val::view(l->buffer ? l->buffer : "", l->buffer ? l->size : 0,
                      bytes ? Val::Blob : Val::Text);
      return {};
    }
    default: return ixErr(IXR_E_BAD_CONVERSION);
  }
  out = Val::null();
  return {};
}

namespace {
// The text of an integer, float, date or interval into buf (64 bytes); -1 for others.
int smallText(const Val& in, const IxType& from, char* buf) {
  int fc = baseType(from.code);
  if (in.kind == Val::Int) {
    if (fc == IXR_TYPE_DATE) return dateFormat(static_cast<int32_t>(in.intValue), buf);
    if (fc == IXR_TYPE_INTERVAL) return ivFormatTo(in.intValue, from.len, buf);
    if (isDecimalType(fc)) return -1;
    auto res = std::to_chars(buf, buf + 63, in.intValue);
    return static_cast<int>(res.ptr - buf);
  }
  if (in.kind == Val::Real && !isDecimalType(fc)) {
    auto res = fc == IXR_TYPE_SMALLFLOAT
                   ? std::to_chars(buf, buf + 63, static_cast<float>(in.realValue))
                   : std::to_chars(buf, buf + 63, in.realValue);
    return res.ec == std::errc() ? static_cast<int>(res.ptr - buf) : -1;
  }
  return -1;
}

void setInd(IxrSqlVar& var, int v) {
  if (var.sqlind) *var.sqlind = static_cast<int16_t>(v > 32767 ? 32767 : v);
}

void nullHost(IxrSqlVar& var) {
  setInd(var, -1);
  char* d = var.sqldata;
  if (!d) return;
  switch (var.sqltype) {
    case IXR_HOST_CHAR:
    case IXR_HOST_STRING:
      if (var.sqllen > 0) d[0] = 0;
      break;
    case IXR_HOST_FIXCHAR:
      if (var.sqllen > 0) std::memset(d, ' ', static_cast<size_t>(var.sqllen));
      break;
    case IXR_HOST_SHORT: *reinterpret_cast<int16_t*>(d) = 0; break;
    case IXR_HOST_INT: *reinterpret_cast<int32_t*>(d) = 0; break;
    case IXR_HOST_LONG: *reinterpret_cast<int64_t*>(d) = 0; break;
    case IXR_HOST_FLOAT: *reinterpret_cast<float*>(d) = 0; break;
    case IXR_HOST_DOUBLE: *reinterpret_cast<double*>(d) = 0; break;
    case IXR_HOST_DATE: *reinterpret_cast<int32_t*>(d) = kNullDate; break;
    case IXR_HOST_DATETIME: reinterpret_cast<IxrDateTime*>(d)->isnull = 1; break;
    case IXR_HOST_LOCATOR: {
      auto* l = reinterpret_cast<IxrLocator*>(d);
      l->indicator = -1;
      l->size = 0;
      break;
    }
    default: break;
  }
}
}  // namespace

IxError valToHost(const Val& in, const IxType& from, IxrSqlVar& var) {
  if (in.kind == Val::Null) {
    nullHost(var);
    return {};
  }
  char* d = var.sqldata;
  if (!d) return ixErr(IXR_E_BAD_CONVERSION);
  int fc = baseType(from.code);
  switch (var.sqltype) {
    case IXR_HOST_CHAR:
    case IXR_HOST_STRING:
    case IXR_HOST_FIXCHAR: {
      std::string tmp;
      char small[64];
      const char* p;
      size_t n;
      if ((in.kind == Val::Text || in.kind == Val::Blob) &&
          (storeOf(fc) == Store::Text || storeOf(fc) == Store::Decimal ||
           storeOf(fc) == Store::DateTime || fc == IXR_TYPE_BYTE)) {
        p = in.data ? in.data : "";
        n = static_cast<size_t>(in.size);
      } else if (int k = smallText(in, from, small); k >= 0) {
        // Numbers, dates and intervals print without heap memory (FETCH runs per row).
        p = small;
        n = static_cast<size_t>(k);
      } else {
        if (auto e = valueToText(in, from, tmp)) return e;
        p = tmp.data();
        n = tmp.size();
      }
      if (var.sqltype == IXR_HOST_STRING && isPaddedChar(fc))
        while (n > 0 && p[n - 1] == ' ') --n;
      size_t cap = var.sqllen > 0 ? static_cast<size_t>(var.sqllen) : 0;
      if (var.sqltype != IXR_HOST_FIXCHAR) {
        if (cap == 0) return ixErr(IXR_E_BAD_CONVERSION);
        size_t c = n < cap - 1 ? n : cap - 1;
        std::memcpy(d, p, c);
        if (var.sqltype == IXR_HOST_CHAR) {
          std::memset(d + c, ' ', cap - 1 - c);
          d[cap - 1] = 0;
        } else {
          d[c] = 0;
        }
        setInd(var, c < n ? static_cast<int>(n) : 0);
      } else {
        size_t c = n < cap ? n : cap;
        std::memcpy(d, p, c);
        std::memset(d + c, ' ', cap - c);
        setInd(var, c < n ? static_cast<int>(n) : 0);
      }
      return {};
    }
    case IXR_HOST_SHORT:
    case IXR_HOST_INT:
    case IXR_HOST_LONG: {
      int64_t v;
      int rc;
      if (fc == IXR_TYPE_DATETIME) return ixErr(IXR_E_BAD_CONVERSION);
      rc = toInt(in, from, v);
      if (rc == 1) {
        nullHost(var);
        return {};
      }
      if (rc) return ixErr(rc);
      if (var.sqltype == IXR_HOST_SHORT) {
        if (v < -32768 || v > 32767) return ixErr(IXR_E_SMALLINT_OVERFLOW);
        *reinterpret_cast<int16_t*>(d) = static_cast<int16_t>(v);
      } else if (var.sqltype == IXR_HOST_INT) {
        if (v < INT32_MIN || v > INT32_MAX) return ixErr(IXR_E_INT_OVERFLOW);
        *reinterpret_cast<int32_t*>(d) = static_cast<int32_t>(v);
      } else {
        *reinterpret_cast<int64_t*>(d) = v;
      }
      setInd(var, 0);
      return {};
    }
    case IXR_HOST_FLOAT:
    case IXR_HOST_DOUBLE: {
      if (fc == IXR_TYPE_DATETIME) return ixErr(IXR_E_BAD_CONVERSION);
      double r;
      int rc = toReal(in, from, r);
      if (rc == 1) {
        nullHost(var);
        return {};
      }
      if (rc) return ixErr(rc);
      if (var.sqltype == IXR_HOST_FLOAT)
        *reinterpret_cast<float*>(d) = static_cast<float>(r);
      else
        *reinterpret_cast<double*>(d) = r;
      setInd(var, 0);
      return {};
    }
    case IXR_HOST_DATE: {
      Val v;
      if (auto e = convertValue(in, from, tDate(), v)) return e;
      if (v.kind == Val::Null) {
        nullHost(var);
        return {};
      }
      *reinterpret_cast<int32_t*>(d) = static_cast<int32_t>(v.intValue);
      setInd(var, 0);
      return {};
    }
    case IXR_HOST_DATETIME: {
      auto* r = reinterpret_cast<IxrDateTime*>(d);
      int q = r->qual;
      if (q == 0 || !qualValid(q, false))
        q = fc == IXR_TYPE_DATETIME ? from.len : IXR_QUAL_YEAR_TO_F5;
      // DATETIME and DATE columns go straight into the record.
      DtFields f, g;
      if (in.kind == Val::Text && fc == IXR_TYPE_DATETIME &&
          dtParse(std::string_view(in.data, static_cast<size_t>(in.size)), from.len, f) == 0) {
        dtExtend(f, from.len, q, g);
        dtToRecord(g, q, *r);
        setInd(var, 0);
        return {};
      }
      if (in.kind == Val::Int && fc == IXR_TYPE_DATE) {
        civilFromDays(in.intValue, f.field[0], f.field[1], f.field[2]);
        dtExtend(f, qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false), q, g);
        dtToRecord(g, q, *r);
        setInd(var, 0);
        return {};
      }
      Val v;
      if (auto e = convertValue(in, from, tDatetime(q), v)) return e;
      if (v.kind == Val::Null) {
        nullHost(var);
        return {};
      }
      if (int rc = dtParse(std::string_view(v.data, static_cast<size_t>(v.size)), q, f))
        return ixErr(rc);
      dtToRecord(f, q, *r);
      setInd(var, 0);
      return {};
    }
    case IXR_HOST_LOCATOR: {
      auto* l = reinterpret_cast<IxrLocator*>(d);
      std::string tmp;
      const char* p;
      size_t n;
      if (in.kind == Val::Text || in.kind == Val::Blob) {
        p = in.data ? in.data : "";
        n = static_cast<size_t>(in.size);
      } else {
        if (auto e = valueToText(in, from, tmp)) return e;
        p = tmp.data();
        n = tmp.size();
      }
      l->blobtype = static_cast<int16_t>(fc == IXR_TYPE_BYTE ? IXR_TYPE_BYTE : IXR_TYPE_TEXT);
      l->status = 0;
      if (l->bufsize < 0 || !l->buffer) {
        // The caller owns the buffer from here and frees it with free().
        char* b = static_cast<char*>(std::malloc(n + 1));
        if (!b) return ixErr(IXR_E_NO_MEMORY);
        std::memcpy(b, p, n);
        b[n] = 0;
        l->buffer = b;
        l->bufsize = static_cast<int32_t>(n);
        l->size = static_cast<int32_t>(n);
        l->indicator = 0;
      } else {
        size_t cap = static_cast<size_t>(l->bufsize);
        size_t c = n < cap ? n : cap;
        std::memcpy(l->buffer, p, c);
        l->size = static_cast<int32_t>(c);
        l->indicator = c < n ? static_cast<int32_t>(n) : 0;
      }
      setInd(var, l->indicator);
      return {};
    }
    default: return ixErr(IXR_E_BAD_CONVERSION);
  }
}

}  // namespace ixr
