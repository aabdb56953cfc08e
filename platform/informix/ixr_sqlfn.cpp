// ixr_sqlfn.cpp -- SQL functions of the embedded server. A function that fails raises an
// SQLite error whose message carries the Informix code ("ixr:<code>:<name>"), which
// fromSqlite turns back into that code.
// Threading: per-connection registration; the state pointer is the session's.
#include "platform/informix/ixr_sqlfn.h"

#include "platform/informix/ixr_convert.h"
#include "platform/informix/ixr_datetime.h"
#include "platform/informix/ixr_decimal.h"
#include "platform/informix/ixr_types.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace ixr {
namespace {

void raise(sqlite3_context* ctx, int code) {
  std::string m = functionError(code);
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

bool anyNull(int argc, sqlite3_value** argv) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return true;
  return false;
}

int argDec(sqlite3_value* v, Dec& d) {
  Val x = fromSqliteValue(v);
  switch (x.kind) {
    case Val::Int: d = decFromInt(x.intValue); return 0;
    case Val::Real: d = decFromDouble(x.realValue); return 0;
    default:
      return decParse(std::string_view(x.data ? x.data : "", static_cast<size_t>(x.size)), d);
  }
}

void resultDec(sqlite3_context* ctx, const Dec& d, bool natural) {
  std::string s;
  decFormatTo(d, natural ? -1 : (d.scale > 0 ? d.scale : 0), s);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void fnConv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  IxType from{static_cast<int16_t>(sqlite3_value_int(argv[1])), sqlite3_value_int(argv[2])};
  IxType to{static_cast<int16_t>(sqlite3_value_int(argv[3])), sqlite3_value_int(argv[4])};
  Val in = fromSqliteValue(argv[0]), out;
  if (auto e = convertValue(in, from, to, out)) return raise(ctx, e.code);
  resultVal(ctx, out);
}

template <int (*Op)(const Dec&, const Dec&, Dec&), bool Natural>
void fnDecBin(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  Dec a, b, r;
  if (int rc = argDec(argv[0], a)) return raise(ctx, rc);
  if (int rc = argDec(argv[1], b)) return raise(ctx, rc);
  if (int rc = Op(a, b, r)) return raise(ctx, rc);
  resultDec(ctx, r, Natural);
}

void fnDecNeg(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  Dec a;
  if (int rc = argDec(argv[0], a)) return raise(ctx, rc);
  resultDec(ctx, decNeg(a), false);
}

void fnDecAbs(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  Dec a;
  if (int rc = argDec(argv[0], a)) return raise(ctx, rc);
  a.neg = false;
  resultDec(ctx, a, false);
}

void fnDecCmp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  Dec a, b;
  if (int rc = argDec(argv[0], a)) return raise(ctx, rc);
  if (int rc = argDec(argv[1], b)) return raise(ctx, rc);
  sqlite3_result_int(ctx, decCmp(a, b));
}

template <bool Truncate>
void fnRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  Dec a;
  if (int rc = argDec(argv[0], a)) return raise(ctx, rc);
  int n = sqlite3_value_int(argv[1]);
  if (n < -32 || n > 32) return raise(ctx, IXR_E_SYNTAX);
  Dec r = decRound(a, n, Truncate);
  std::string s;
  decFormatTo(r, n > 0 ? n : 0, s);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void fnToday(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, dateToday()); }

void fnCurrent(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int q = sqlite3_value_int(argv[0]);
  DtFields now = dtNow(), f;
  dtExtend(now, IXR_QUAL_YEAR_TO_F5, q, f);
  char buf[40];
  int n = dtFormatTo(f, q, buf);
  sqlite3_result_text(ctx, buf, n, SQLITE_TRANSIENT);
}

void fnDtAdd(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  int qa = sqlite3_value_int(argv[1]), qiv = sqlite3_value_int(argv[3]),
      sign = sqlite3_value_int(argv[4]);
  DtFields f, r;
  const char* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  if (int rc = dtParse(t ? t : "", qa, f)) return raise(ctx, rc);
  if (int rc = dtAddInterval(f, qa, sqlite3_value_int64(argv[2]), qiv, sign, r))
    return raise(ctx, rc);
  char buf[40];
  int n = dtFormatTo(r, qa, buf);
  sqlite3_result_text(ctx, buf, n, SQLITE_TRANSIENT);
}

// An interval computed by SQLite arithmetic, checked against its qualifier: a sum past
// the int64 range comes back as a real number, a product as a saturated integer.
void fnIvCheck(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int q = sqlite3_value_int(argv[1]);
  int64_t v = 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    v = sqlite3_value_int64(argv[0]);
  } else {
    const double d = sqlite3_value_double(argv[0]);
    if (!(d > -9.2e18 && d < 9.2e18)) return raise(ctx, IXR_E_DT_OVERFLOW);
    v = static_cast<int64_t>(d);
  }
  if (!ivFits(v, q)) return raise(ctx, IXR_E_DT_OVERFLOW);
  sqlite3_result_int64(ctx, v);
}

void fnDtDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  int qa = sqlite3_value_int(argv[1]), qb = sqlite3_value_int(argv[3]),
      qr = sqlite3_value_int(argv[4]);
  DtFields a, b;
  const char* ta = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const char* tb = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
  if (int rc = dtParse(ta ? ta : "", qa, a)) return raise(ctx, rc);
  if (int rc = dtParse(tb ? tb : "", qb, b)) return raise(ctx, rc);
  int64_t v;
  dtDiff(a, qa, b, qb, v);
  int64_t u = ivUnit(IXR_QUAL_LAST(qr));
  sqlite3_result_int64(ctx, v / u * u);
}

void fnPart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  int q = sqlite3_value_int(argv[1]), part = sqlite3_value_int(argv[2]);
  int y, m, d;
  int64_t days;
  if (q == 0) {
    days = sqlite3_value_int64(argv[0]);
    civilFromDays(days, y, m, d);
  } else {
    DtFields f, g;
    const char* t = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (int rc = dtParse(t ? t : "", q, f)) return raise(ctx, rc);
    dtExtend(f, q, qualMake(IXR_TU_YEAR, IXR_TU_DAY, 0, false), g);
    y = g.field[0];
    m = g.field[1];
    d = g.field[2];
    days = daysFromCivil(y, m, d);
  }
  int v = part == 0 ? y : part == 1 ? m : part == 2 ? d : dateWeekday(static_cast<int32_t>(days));
  sqlite3_result_int(ctx, v);
}

void fnMdy(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  int m = sqlite3_value_int(argv[0]), d = sqlite3_value_int(argv[1]),
      y = sqlite3_value_int(argv[2]);
  if (y < 1 || y > 9999) return raise(ctx, IXR_E_BAD_YEAR);
  if (m < 1 || m > 12) return raise(ctx, IXR_E_BAD_MONTH);
  if (d < 1 || d > daysInMonth(y, m)) return raise(ctx, IXR_E_BAD_DAY);
  sqlite3_result_int64(ctx, daysFromCivil(y, m, d));
}

// Length of the UTF-8 character starting at p.
int charLen(const char* p, const char* end) {
  unsigned char c = static_cast<unsigned char>(*p);
  int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  return p + n <= end ? n : static_cast<int>(end - p);
}

// LIKE (% and _) or MATCHES (*, ?, [set], [^set] with ranges); case-sensitive, with an
// escape character, on UTF-8 text.
bool patternMatch(const char* s, const char* se, const char* p, const char* pe, char esc,
                  bool matches) {
  const char any = matches ? '*' : '%', one = matches ? '?' : '_';
  while (p < pe) {
    char c = *p;
    if (c == esc && p + 1 < pe) {
      int n = charLen(p + 1, pe);
      if (se - s < n || std::memcmp(s, p + 1, static_cast<size_t>(n)) != 0) return false;
      s += n;
      p += 1 + n;
    } else if (c == any) {
      while (p < pe && *p == any) ++p;
      if (p == pe) return true;
      for (const char* t = s; t <= se; t += (t < se ? charLen(t, se) : 1))
        if (patternMatch(t, se, p, pe, esc, matches)) return true;
      return false;
    } else if (c == one) {
      if (s >= se) return false;
      s += charLen(s, se);
      ++p;
    } else if (c == '[' && matches) {
      if (s >= se) return false;
      const char* q = p + 1;
      bool negate = q < pe && *q == '^';
      if (negate) ++q;
      bool hit = false;
      unsigned char sc = static_cast<unsigned char>(*s);
      bool first = true;
      while (q < pe && (*q != ']' || first)) {
        first = false;
        unsigned char lo = static_cast<unsigned char>(*q);
        if (q + 2 < pe && q[1] == '-' && q[2] != ']') {
          unsigned char hi = static_cast<unsigned char>(q[2]);
          if (sc >= lo && sc <= hi) hit = true;
          q += 3;
        } else {
          if (sc == lo) hit = true;
          ++q;
        }
      }
      if (q >= pe) return false;  // an unclosed set matches nothing
      if (hit == negate) return false;
      s += charLen(s, se);
      p = q + 1;
    } else {
      int n = charLen(p, pe);
      if (se - s < n || std::memcmp(s, p, static_cast<size_t>(n)) != 0) return false;
      s += n;
      p += n;
    }
  }
  return s == se;
}

template <bool Matches>
void fnLike(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  const char* s = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  int sn = sqlite3_value_bytes(argv[0]);
  const char* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  int pn = sqlite3_value_bytes(argv[1]);
  char esc = '\\';
  if (sqlite3_value_type(argv[2]) != SQLITE_NULL) {
    const char* e = reinterpret_cast<const char*>(sqlite3_value_text(argv[2]));
    esc = e && *e ? *e : 0;
  }
  if (sqlite3_value_int(argv[3])) {
    // CHAR values are compared without their padding.
    while (sn > 0 && s[sn - 1] == ' ') --sn;
    while (pn > 0 && p[pn - 1] == ' ') --pn;
  }
  bool r = patternMatch(s, s + sn, p, p + pn, esc, Matches);
  sqlite3_result_int(ctx, r);
}

template <bool Left>
void fnPad(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  std::string pad(reinterpret_cast<const char*>(sqlite3_value_text(argv[2])),
                  static_cast<size_t>(sqlite3_value_bytes(argv[2])));
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0 || n > 32739) return raise(ctx, IXR_E_SYNTAX);
  size_t want = static_cast<size_t>(n);
  if (s.size() >= want || pad.empty()) {
    s.resize(std::min(s.size(), want));
  } else {
    std::string fill;
    while (fill.size() < want - s.size()) fill += pad;
    fill.resize(want - s.size());
    s = Left ? fill + s : s + fill;
  }
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void fnInitcap(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  bool start = true;
  for (char& c : s) {
    bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (alpha) c = start ? static_cast<char>(c & ~0x20) : static_cast<char>(c | 0x20);
    start = !alpha && !(c >= '0' && c <= '9');
  }
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void fnSerial(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* st = static_cast<FnState*>(sqlite3_user_data(ctx));
  int64_t v = sqlite3_value_type(argv[0]) == SQLITE_NULL ? 0 : sqlite3_value_int64(argv[0]);
  if (v < 0) return raise(ctx, IXR_E_INT_OVERFLOW);
  if (v == 0) {
    v = ++st->serialLast;
    st->serialChanged = true;
  } else if (v > st->serialLast) {
    st->serialLast = v;
    st->serialChanged = true;
  }
  if (v > 2147483647) return raise(ctx, IXR_E_INT_OVERFLOW);
  st->serialAssigned = v;
  sqlite3_result_int64(ctx, v);
}

void fnDbinfo(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* st = static_cast<FnState*>(sqlite3_user_data(ctx));
  const char* k = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  std::string key = k ? k : "";
  if (key == "sqlca.sqlerrd1") return sqlite3_result_int64(ctx, st->lastSerial);
  if (key == "sqlca.sqlerrd2") return sqlite3_result_int64(ctx, st->lastRows);
  if (key == "sessionid") return sqlite3_result_int64(ctx, st->sessionId);
  if (key == "utc_current") return sqlite3_result_int64(ctx, static_cast<int64_t>(time(nullptr)));
  sqlite3_result_null(ctx);
}

void fnUser(sqlite3_context* ctx, int, sqlite3_value**) {
  auto* st = static_cast<FnState*>(sqlite3_user_data(ctx));
  sqlite3_result_text(ctx, st->user.data(), static_cast<int>(st->user.size()), SQLITE_TRANSIENT);
}

struct SumState {
  bool any = false;
  bool real = false;
  double r = 0;
  Dec d;
  int64_t n = 0;
  bool failed = false;
};

void sumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
  if (!s || s->failed || sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  if (!s->any) new (s) SumState();
  s->any = true;
  s->n++;
  if (sqlite3_value_type(argv[0]) == SQLITE_FLOAT || s->real) {
    if (!s->real) {
      s->real = true;
      s->r = decToDouble(s->d);
    }
    s->r += sqlite3_value_double(argv[0]);
    return;
  }
  Dec v, r;
  if (int rc = argDec(argv[0], v)) {
    s->failed = true;
    return raise(ctx, rc);
  }
  if (int rc = decAdd(s->d, v, r)) {
    s->failed = true;
    return raise(ctx, rc);
  }
  s->d = r;
}

template <bool Avg>
void sumFinal(sqlite3_context* ctx) {
  auto* s = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
  if (!s || !s->any) return sqlite3_result_null(ctx);
  if (s->failed) return;
  if (s->real) return sqlite3_result_double(ctx, Avg ? s->r / static_cast<double>(s->n) : s->r);
  if (!Avg) return resultDec(ctx, s->d, false);
  Dec r;
  decDiv(s->d, decFromInt(s->n), r);
  resultDec(ctx, r, true);
}

// strftime-like formats of TO_CHAR and TO_DATE: %Y %y %m %d %H %M %S %F[n] %b %B %a %A %p %I %%.
const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                         "July",    "August",   "September", "October", "November", "December"};
const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                       "Thursday", "Friday", "Saturday"};

void fnToChar(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  IxType from{static_cast<int16_t>(sqlite3_value_int(argv[1])), sqlite3_value_int(argv[2])};
  Val in = fromSqliteValue(argv[0]);
  int fc = baseType(from.code);
  if ((fc != IXR_TYPE_DATE && fc != IXR_TYPE_DATETIME) ||
      sqlite3_value_type(argv[3]) == SQLITE_NULL) {
    std::string s;
    if (auto e = valueToText(in, from, s)) return raise(ctx, e.code);
    return sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  }
  Val dt;
  int q = IXR_QUAL_YEAR_TO_F5;
  if (auto e = convertValue(in, from, tDatetime(q), dt)) return raise(ctx, e.code);
  DtFields f;
  dtParse(std::string_view(dt.data, static_cast<size_t>(dt.size)), q, f);
  const char* fmt = reinterpret_cast<const char*>(sqlite3_value_text(argv[3]));
  std::string out;
  char buf[32];
  int64_t days = daysFromCivil(f.field[0], f.field[1], f.field[2]);
  for (const char* p = fmt; *p; ++p) {
    if (*p != '%' || !p[1]) {
      out.push_back(*p);
      continue;
    }
    char c = *++p;
    switch (c) {
      case 'Y': std::snprintf(buf, sizeof buf, "%04d", f.field[0]); break;
      case 'y': std::snprintf(buf, sizeof buf, "%02d", f.field[0] % 100); break;
      case 'm': std::snprintf(buf, sizeof buf, "%02d", f.field[1]); break;
      case 'd': std::snprintf(buf, sizeof buf, "%02d", f.field[2]); break;
      case 'H': std::snprintf(buf, sizeof buf, "%02d", f.field[3]); break;
      case 'I':
        std::snprintf(buf, sizeof buf, "%02d", f.field[3] % 12 == 0 ? 12 : f.field[3] % 12);
        break;
      case 'M': std::snprintf(buf, sizeof buf, "%02d", f.field[4]); break;
      case 'S': std::snprintf(buf, sizeof buf, "%02d", f.field[5]); break;
      case 'p': std::snprintf(buf, sizeof buf, "%s", f.field[3] < 12 ? "AM" : "PM"); break;
      case 'b': std::snprintf(buf, sizeof buf, "%.3s", kMonths[f.field[1] - 1]); break;
      case 'B': std::snprintf(buf, sizeof buf, "%s", kMonths[f.field[1] - 1]); break;
      case 'a':
        std::snprintf(buf, sizeof buf, "%.3s", kDays[dateWeekday(static_cast<int32_t>(days))]);
        break;
      case 'A':
        std::snprintf(buf, sizeof buf, "%s", kDays[dateWeekday(static_cast<int32_t>(days))]);
        break;
      case 'F': {
        int n = 3;
        if (p[1] >= '1' && p[1] <= '5') n = *++p - '0';
        static const int kDiv[6] = {100000, 10000, 1000, 100, 10, 1};
        std::snprintf(buf, sizeof buf, "%0*d", n, f.field[6] / kDiv[n]);
        break;
      }
      case '%': std::snprintf(buf, sizeof buf, "%%"); break;
      default: std::snprintf(buf, sizeof buf, "%%%c", c); break;
    }
    out += buf;
  }
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void fnToDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  DtFields f;
  f.field[0] = 1;
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    if (int rc = dtParseAny(s, IXR_QUAL_YEAR_TO_F5, f)) return raise(ctx, rc);
  } else {
    const char* fmt = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    size_t i = 0;
    auto num = [&](int maxd, int& out) {
      int n = 0, v = 0;
      while (i < s.size() && n < maxd && s[i] >= '0' && s[i] <= '9')
        v = v * 10 + (s[i++] - '0'), ++n;
      out = v;
      return n > 0;
    };
    for (const char* p = fmt; *p; ++p) {
      if (*p != '%' || !p[1]) {
        if (i < s.size()) ++i;
        continue;
      }
      char c = *++p;
      bool ok = true;
      int v = 0;
      switch (c) {
        case 'Y': ok = num(4, f.field[0]); break;
        case 'y': ok = num(2, v), f.field[0] = 2000 + v; break;
        case 'm': ok = num(2, f.field[1]); break;
        case 'd': ok = num(2, f.field[2]); break;
        case 'H': ok = num(2, f.field[3]); break;
        case 'M': ok = num(2, f.field[4]); break;
        case 'S': ok = num(2, f.field[5]); break;
        case 'F': {
          int n = 0;
          while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < 5)
            v = v * 10 + (s[i++] - '0'), ++n;
          while (n++ < 5) v *= 10;
          f.field[6] = v;
          if (p[1] >= '1' && p[1] <= '5') ++p;
          break;
        }
        default: ok = false; break;
      }
      if (!ok) return raise(ctx, IXR_E_BAD_DATE);
    }
    if (int rc = dtValidate(f, IXR_QUAL_YEAR_TO_F5)) return raise(ctx, rc);
  }
  char buf[40];
  int n = dtFormatTo(f, IXR_QUAL_YEAR_TO_F5, buf);
  sqlite3_result_text(ctx, buf, n, SQLITE_TRANSIENT);
}

int decCollate(void*, int na, const void* a, int nb, const void* b) {
  return decTextCmp(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}

}  // namespace

int registerFunctions(sqlite3* db, FnState* state) {
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
  const int vol = SQLITE_UTF8 | SQLITE_INNOCUOUS;
  struct Fn {
    const char* name;
    int argc;
    int flags;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  const Fn fns[] = {
      {"ix_conv", 5, det, fnConv},
      {"ix_dadd", 2, det, fnDecBin<decAdd, false>},
      {"ix_dsub", 2, det, fnDecBin<decSub, false>},
      {"ix_dmul", 2, det, fnDecBin<decMul, false>},
      {"ix_ddiv", 2, det, fnDecBin<decDiv, true>},
      {"ix_dneg", 1, det, fnDecNeg},
      {"ix_dabs", 1, det, fnDecAbs},
      {"ix_dcmp", 2, det, fnDecCmp},
      {"ix_round", 2, det, fnRound<false>},
      {"ix_trunc", 2, det, fnRound<true>},
      {"ix_today", 0, vol, fnToday},
      {"ix_current", 1, vol, fnCurrent},
      {"ix_dtadd", 5, det, fnDtAdd},
      {"ix_dtdiff", 5, det, fnDtDiff},
      {"ix_ivchk", 2, det, fnIvCheck},
      {"ix_part", 3, det, fnPart},
      {"ix_mdy", 3, det, fnMdy},
      {"ix_like", 4, det, fnLike<false>},
      {"ix_matches", 4, det, fnLike<true>},
      {"ix_lpad", 3, det, fnPad<true>},
      {"ix_rpad", 3, det, fnPad<false>},
      {"ix_initcap", 1, det, fnInitcap},
      {"ix_tochar", 4, det, fnToChar},
      {"ix_todate", 2, det, fnToDate},
  };
  for (const Fn& f : fns) {
    int rc = sqlite3_create_function_v2(db, f.name, f.argc, f.flags, nullptr, f.fn, nullptr,
                                        nullptr, nullptr);
    if (rc) return rc;
  }
  int rc = sqlite3_create_function_v2(db, "ix_serial", 1, SQLITE_UTF8, state, fnSerial, nullptr,
                                      nullptr, nullptr);
  if (!rc)
    rc = sqlite3_create_function_v2(db, "ix_dbinfo", 1, SQLITE_UTF8, state, fnDbinfo, nullptr,
                                    nullptr, nullptr);
  if (!rc)
    rc = sqlite3_create_function_v2(db, "ix_user", 0, SQLITE_UTF8, state, fnUser, nullptr, nullptr,
                                    nullptr);
  if (!rc)
    rc = sqlite3_create_function_v2(db, "ix_sum", 1, det, nullptr, nullptr, sumStep,
                                    sumFinal<false>, nullptr);
  if (!rc)
    rc = sqlite3_create_function_v2(db, "ix_avg", 1, det, nullptr, nullptr, sumStep, sumFinal<true>,
                                    nullptr);
  if (!rc) rc = sqlite3_create_collation_v2(db, "IXDEC", SQLITE_UTF8, nullptr, decCollate, nullptr);
  return rc;
}

}  // namespace ixr
