// inf_escape.cpp -- turns ODBC escape clauses into Informix SQL and classifies
// the statement (SELECT with its select-list width, INSERT/DELETE/UPDATE, other).
// Owns nothing beyond the request texts it hands back (malloc'd).
// Threading: pure functions (but INF_NativeSql's handle lookup); any thread.
// Not here: preparing the text (inf_cursor.cpp) or checking it against the server.

#include "drv_inf/inf_escape.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "drv/errtab.h"
#include "drv_inf/inf_error.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "drv_inf/inf_text.h"
#include "drv_inf/inf_types.h"

namespace {

using namespace inf_text;

constexpr const char* kSrc = "drv_inf/inf_escape";

// Escapes nest no deeper than this; each level is one round of recursion.
constexpr int kMaxNesting = 32;

enum EscKind : uint8_t { BRACE = 1, DASH = 2, DASH_ODBC = 3 };

bool startsWith(std::string_view s, size_t at, std::string_view w) {
  return s.size() >= at + w.size() && s.compare(at, w.size(), w) == 0;
}

// The keyword at the start of s (after blanks), followed by white space or the
// end; answers the text after that white space, or npos-like failure via bool.
bool keyword(std::string_view s, std::string_view kw, std::string_view* rest) {
  s = skipSpace(s);
  if (!startsWithCi(s, kw)) return false;
  std::string_view after = s.substr(kw.size());
  if (!after.empty() && !isSpace(after[0])) return false;
  if (rest != nullptr) *rest = skipSpace(after);
  return true;
}

// atoi over a view: blanks, a sign, digits; saturates instead of overflowing.
long viewAtoi(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (v < 100000000L) v = v * 10 + (s[i] - '0');
    ++i;
  }
  return neg ? -v : v;
}

// Reads successive numeric fields of a date or time literal: each field is the
// number at the cursor, and the cursor moves past the next terminator of its set.
// Once a terminator is missing every further field reads 0.
struct FieldReader {
  std::string_view s;
  bool done = false;
  char lastTerm = 0;
  unsigned next(const char* terms) {
    if (done) return 0;
    long v = viewAtoi(s);
    size_t p = s.find_first_of(terms);
    if (p == std::string_view::npos) {
      done = true;
      lastTerm = 0;
    } else {
      lastTerm = s[p];
      s.remove_prefix(p + 1);
    }
    return static_cast<unsigned>(v);
  }
};

// The literal of a date, time or timestamp escape, quoted or bare, with nothing
// after it: digits and the separators of the three forms only. Anything else would
// be dropped from the statement unseen, so it makes the escape a syntax error.
bool literalBody(std::string_view rest, std::string_view* body) {
  rest = trimRight(rest);
  if (!rest.empty() && rest.front() == '\'') {
    if (rest.size() < 2 || rest.back() != '\'') return false;
    rest = rest.substr(1, rest.size() - 2);
  }
  for (char c : rest)
    if (!((c >= '0' && c <= '9') || c == '-' || c == '/' || c == ':' || c == '.' || c == ' '))
      return false;
  *body = rest;
  return true;
}

void appendf(std::string& out, const char* fmt, unsigned a, unsigned b, unsigned c) {
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, fmt, a, b, c);
  if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

// Index just past the parenthesised group that opens at s[open], or npos.
size_t closeParen(std::string_view s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '(')
      ++depth;
    else if (s[i] == ')' && --depth == 0)
      return i + 1;
  }
  return std::string_view::npos;
}

// The vendor escape of the ODBC form reads
//   vendor(Kestrane), product(ODBC) <escape>
// and the older form keeps its escape after the second comma.
std::string_view stripVendor(std::string_view s) {
  std::string_view t = skipSpace(s.substr(6));
  if (!t.empty() && t[0] == '(') {
    size_t e = closeParen(t, 0);
    if (e != std::string_view::npos) {
      std::string_view u = skipSpace(t.substr(e));
      if (!u.empty() && u[0] == ',') {
        u = skipSpace(u.substr(1));
        if (startsWithCi(u, "product")) {
          std::string_view v = skipSpace(u.substr(7));
          if (!v.empty() && v[0] == '(') {
            size_t e2 = closeParen(v, 0);
            if (e2 != std::string_view::npos) return skipSpace(v.substr(e2));
          }
        }
      }
    }
  }
  size_t c1 = s.find(',');
  if (c1 == std::string_view::npos) return s;
  size_t c2 = s.find(',', c1 + 1);
  if (c2 == std::string_view::npos) return s;
  return skipSpace(s.substr(c2 + 1));
}

// Splits "(a, b)" at the first top-level comma outside quotes; the second
// argument ends at the next top-level ')'.
bool twoArgs(std::string_view afterName, std::string_view* a1, std::string_view* a2) {
  size_t open = afterName.find('(');
  if (open == std::string_view::npos) return false;
  int depth = 0;
  char quote = 0;
  size_t comma = std::string_view::npos;
  for (size_t i = open + 1; i < afterName.size(); ++i) {
    char c = afterName[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"')
      quote = c;
    else if (c == '(')
      ++depth;
    else if (c == ')') {
      if (depth == 0) {
        if (comma == std::string_view::npos) return false;
        *a1 = afterName.substr(open + 1, comma - open - 1);
        *a2 = afterName.substr(comma + 1, i - comma - 1);
        return true;
      }
      --depth;
    } else if (c == ',' && depth == 0 && comma == std::string_view::npos) {
      comma = i;
    }
  }
  return false;
}

// Writes a '!' template: text up to the first '%', a1, the text between the
// two '%' ("\%" standing for a plain '%'), a2, the text after the second '%'.
void twoArgTemplate(std::string& out, std::string_view templ, std::string_view a1,
                    std::string_view a2) {
  size_t p1 = templ.find('%');
  out.append(templ.substr(0, p1));
  out.append(a1);
  size_t i = p1 + 1;
  for (; i < templ.size(); ++i) {
    if (templ[i] == '\\' && i + 1 < templ.size() && templ[i + 1] == '%') {
      out += '%';
      ++i;
    } else if (templ[i] == '%') {
      break;
    } else {
      out += templ[i];
    }
  }
  out.append(a2);
  if (i < templ.size()) out.append(templ.substr(i + 1));
}

// "(" ... ")" around the whole of s (blanks allowed outside); the inside.
bool parenthesised(std::string_view s, std::string_view* inside) {
  s = trimRight(skipSpace(s));
  if (s.size() < 2 || s.front() != '(' || s.back() != ')') return false;
  *inside = s.substr(1, s.size() - 2);
  return true;
}

enum class Fn { Done, Again, Unknown };

Fn scalarFunction(std::string& out, std::string& escape, std::string_view rest) {
  size_t n = 0;
  while (n < rest.size() && isIdent(rest[n])) ++n;
  std::string_view name = rest.substr(0, n);
  std::string_view after = rest.substr(n);

  if (const char* t = FindEscapeFunction(INF_ScalarFunctions, INF_ScalarFunctionCount, name)) {
    std::string_view templ(t);
    if (templ[0] == '!') {
      std::string_view a1, a2;
      if (!twoArgs(after, &a1, &a2)) return Fn::Unknown;
      out += ' ';
      twoArgTemplate(out, templ.substr(1), a1, a2);
      return Fn::Done;
    }
    out += ' ';
    size_t pc = templ.find('%');
    if (pc == std::string_view::npos) {
      out.append(templ);
    } else {
      out.append(templ.substr(0, pc));
      out.append(after);
      out.append(templ.substr(pc + 1));
    }
    return Fn::Done;
  }

  if (name.size() == 7 && startsWithCi(name, "convert")) {
    std::string_view inside;
    if (!parenthesised(after, &inside)) return Fn::Unknown;
    size_t comma = inside.rfind(',');
    std::string_view value = inside;
    const char* templ = nullptr;
    if (comma != std::string_view::npos) {
      std::string_view type = trimRight(skipSpace(inside.substr(comma + 1)));
      if (!type.empty()) {
        value = inside.substr(0, comma);
        templ = FindEscapeFunction(INF_ConvertTypes, INF_ConvertTypeCount, type);
      }
    }
    if (templ == nullptr) {
      out.append(value);
    } else {
      std::string_view tv(templ);
      size_t pc = tv.find('%');
      out.append(tv.substr(0, pc));
      out.append(value);
      out.append(tv.substr(pc + 1));
    }
    return Fn::Done;
  }

  if (name.size() == 7 && startsWithCi(name, "extract")) {
    std::string_view inside;
    if (!parenthesised(after, &inside)) return Fn::Unknown;
    int depth = 0;
    char quote = 0;
    for (size_t i = 0; i < inside.size(); ++i) {
      char c = inside[i];
      if (quote) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"')
        quote = c;
      else if (c == '(')
        ++depth;
      else if (c == ')')
        --depth;
      else if (depth == 0 && (c == 'F' || c == 'f')) {
        if (!startsWithCi(inside.substr(i), "from") || i + 4 >= inside.size() ||
            !isSpace(inside[i + 4]))
          return Fn::Unknown;
        std::string again = "fn ";
        again.append(inside.substr(0, i));
        again += '(';
        again.append(inside.substr(i + 4));
        again += ')';
        escape = std::move(again);
        return Fn::Again;
      }
    }
    return Fn::Unknown;
  }

  std::string nm(name);
  INF_LOG(LOG_WARNING, kSrc, "TranslateEscape: unknown escape function %s called", nm.c_str());
  out += ' ';
  out.append(rest);
  return Fn::Done;
}

bool outerJoin(std::string& out, std::string_view rest) {
  enum { LEFT, RIGHT, INNER } side;
  size_t at;
  size_t len;
  if ((at = findCi(rest, "LEFT OUTER JOIN ")) != std::string_view::npos) {
    side = LEFT;
    len = 16;
  } else if ((at = findCi(rest, "RIGHT OUTER JOIN ")) != std::string_view::npos) {
    side = RIGHT;
    len = 17;
  } else if ((at = findCi(rest, "INNER JOIN ")) != std::string_view::npos) {
    side = INNER;
    len = 11;
  } else {
    return false;
  }
  std::string_view tail = rest.substr(at + len);
  size_t on = findCi(tail, " ON ");
  if (on == std::string_view::npos) return false;
  std::string_view left = trimRight(rest.substr(0, at));
  std::string_view right = trimRight(skipSpace(tail.substr(0, on)));
  std::string_view cond = tail.substr(on + 4);
  if (side == RIGHT) out += "OUTER ";
  out.append(left);
  out += ", ";
  if (side == LEFT) out += "OUTER ";
  out.append(right);
  out += " WHERE ";
  out.append(cond);
  return true;
}

int translate(std::string& out, std::string_view text, InfRequest* req, int* escFlags,
              bool countMarkers, int level);

}  // namespace

extern constexpr EscapeFunction INF_ScalarFunctions[] = {
    {"abs", "abs%"},
    {"acos", "acos%"},
    {"asin", "asin%"},
    {"atan", "atan%"},
    {"atan2", "atan2%"},
    {"ceiling", "ceil%"},
    {"char_length", "char_length%"},
    {"character_length", "character_length%"},
    {"concat", "!% || %"},
    {"cos", "cos%"},
    {"cot", "(1/tan(%))"},
    {"curdate", "today"},
    {"current_date", "today"},
    {"current_time", "current"},
    {"curtime", "current"},
    {"day", "day%"},
    {"dayofmonth", "day%"},
    {"dayofweek", "weekday(%)+1"},
    {"exp", "exp%"},
    {"floor", "floor%"},
    {"lcase", "lower%"},
    {"left", "!substr(%,1,%)"},
    {"length", "length%"},
    {"log", "logn%"},
    {"log10", "log10%"},
    {"mod", "mod%"},
    {"month", "month%"},
    {"now", "current"},
    {"octet_length", "octet_length%"},
    {"pi", "3.14159265358979"},
    {"power", "pow%"},
    {"replace", "replace%"},
    {"right", "!substr(%, -%)"},
    {"round", "round%"},
    {"rtrim", "trim(trailing from %)"},
    {"sin", "sin%"},
    {"sqrt", "sqrt%"},
    {"substring", "substr%"},
    {"tan", "tan%"},
    {"truncate", "trunc%"},
    {"ucase", "upper%"},
    {"user", "user"},
    {"year", "year%"},
};
const int INF_ScalarFunctionCount = static_cast<int>(std::size(INF_ScalarFunctions));

extern constexpr EscapeFunction INF_ConvertTypes[] = {
    {"SQL_BIGINT", "%"},         {"SQL_BINARY", nullptr},
    {"SQL_BIT", nullptr},        {"SQL_CHAR", "%"},
    {"SQL_DATE", nullptr},       {"SQL_DECIMAL", "%"},
    {"SQL_DOUBLE", "%"},         {"SQL_FLOAT", "%"},
    {"SQL_INTEGER", "trunc(%)"}, {"SQL_LONGVARBINARY", nullptr},
    {"SQL_LONGVARCHAR", "%"},    {"SQL_NUMERIC", "%"},
    {"SQL_REAL", "%"},           {"SQL_SMALLINT", "trunc(%)"},
    {"SQL_TIME", nullptr},       {"SQL_TIMESTAMP", nullptr},
    {"SQL_TINYINT", "trunc(%)"}, {"SQL_VARBINARY", nullptr},
    {"SQL_VARCHAR", "%"},
};
const int INF_ConvertTypeCount = static_cast<int>(std::size(INF_ConvertTypes));

namespace {
// Both tables are binary-searched with lower-case comparison; a row out of
// that order would make its neighbours unreachable.
constexpr bool lessCi(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    if (x == '\0') return false;
  }
}
template <size_t N>
constexpr bool sortedCi(const EscapeFunction (&t)[N]) {
  for (size_t i = 1; i < N; ++i)
    if (!lessCi(t[i - 1].name, t[i].name)) return false;
  return true;
}
}  // namespace

const char* FindEscapeFunction(const EscapeFunction* table, int count, std::string_view name) {
  int lo = 0;
  int hi = count - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    const char* n = table[mid].name;
    int cmp = 0;
    size_t i = 0;
    for (;; ++i) {
      char x = i < name.size() ? lower(name[i]) : '\0';
      char y = lower(n[i]);
      if (x != y) {
        cmp = static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
        break;
      }
      if (y == '\0') break;
    }
    // A NUL inside name must not match a shorter table name.
    if (cmp == 0 && i != name.size()) cmp = 1;
    if (cmp == 0) return table[mid].templ;
    if (cmp < 0)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return nullptr;
}

static_assert(sortedCi(INF_ScalarFunctions));
static_assert(sortedCi(INF_ConvertTypes));
static_assert(std::size(INF_ScalarFunctions) == 43 && std::size(INF_ConvertTypes) == 19);

namespace {

int translateEscape(std::string& out, std::string& escape, bool firstPass, int* escFlags,
                    InfRequest* req, bool countMarkers, int level) {
  *escFlags = 0;
  std::string inner;
  int flagsInner = 0;
  if (int rc = translate(inner, escape, req, &flagsInner, countMarkers, level + 1); rc != 0)
    return rc;
  std::string_view s = skipSpace(inner);
  if (firstPass && startsWithCi(s, "vendor")) s = stripVendor(s);

  std::string_view rest;
  // "?= call p(...)": the return-value marker was counted above; the call stays.
  std::string_view callText = s;
  bool returnMarker = false;
  if (!s.empty() && s[0] == '?') {
    std::string_view t = skipSpace(s.substr(1));
    if (!t.empty() && t[0] == '=') {
      callText = skipSpace(t.substr(1));
      returnMarker = true;
    }
  }
  if (keyword(callText, "call", &rest)) {
    out += "execute procedure ";
    out.append(rest);
    if (s.find(')') == std::string_view::npos) out += "()";
    if (req != nullptr) req->flags |= returnMarker ? REQF_CALL | REQF_RETURN : REQF_CALL;
    return 0;
  }
  std::string_view body;
  if (s.size() >= 2 && lower(s[0]) == 'd' && isSpace(s[1])) {
    if (!literalBody(skipSpace(s.substr(1)), &body)) return ERR_SYNTAX;
    FieldReader f{body};
    unsigned y = f.next("-/"), m = f.next("-/"), d = f.next("-/");
    appendf(out, "DATETIME(%04u-%02u-%02u) YEAR TO DAY", y, m, d);
    return 0;
  }
  if (s.size() >= 2 && lower(s[0]) == 't' && isSpace(s[1])) {
    if (!literalBody(skipSpace(s.substr(1)), &body)) return ERR_SYNTAX;
    FieldReader f{body};
    unsigned h = f.next(":"), mi = f.next(":"), se = f.next(":");
    appendf(out, "DATETIME(%02u:%02u:%02u) HOUR TO SECOND", h, mi, se);
    return 0;
  }
  if (startsWithCi(s, "ts") || startsWithCi(s, "dt")) {
    size_t w = 0;
    while (w < s.size() && !isSpace(s[w])) ++w;
    if (!literalBody(skipSpace(s.substr(w)), &body)) return ERR_SYNTAX;
    FieldReader f{body};
    unsigned y = f.next("-/"), mo = f.next("-/"), d = f.next("-/ ");
    unsigned h = f.next(":"), mi = f.next(":"), se = f.next(":.");
    // The fraction keeps its value: its digits fill five places from the left.
    char frac[6] = {'0', '0', '0', '0', '0', '\0'};
    if (!f.done && f.lastTerm == '.') {
      for (size_t i = 0; i < 5 && i < f.s.size() && f.s[i] >= '0' && f.s[i] <= '9'; ++i)
        frac[i] = f.s[i];
    }
    appendf(out, "DATETIME(%04u-%02u-%02u ", y, mo, d);
    appendf(out, "%02u:%02u:%02u.", h, mi, se);
    out += frac;
    out += ") YEAR TO FRACTION(5)";
    return 0;
  }
  if (keyword(s, "escape", &rest)) {
    out += "ESCAPE ";
    out.append(rest);
    return 0;
  }
  if (s.size() >= 3 && lower(s[0]) == 'f' && lower(s[1]) == 'n' && isSpace(s[2])) {
    switch (scalarFunction(out, escape, skipSpace(s.substr(2)))) {
      case Fn::Done: return 0;
      case Fn::Again: *escFlags = ESC_AGAIN; return 0;
      case Fn::Unknown: break;
    }
  } else if (s.size() >= 3 && lower(s[0]) == 'o' && lower(s[1]) == 'j' && isSpace(s[2])) {
    if (outerJoin(out, skipSpace(s.substr(2)))) {
      *escFlags = ESC_OUTER_JOIN;
      return 0;
    }
  }
  std::string e(inner);
  INF_LOG(LOG_WARNING, kSrc, "TranslateEscape: unknown escape sequence %s", e.c_str());
  return 0;
}

// Runs the escape to its end: a rewritten escape goes round again without the
// first-pass treatment and without counting its markers a second time.
int translateOutermost(std::string& out, std::string& escape, bool firstPass, int* escFlags,
                       InfRequest* req, bool countMarkers, int level) {
  bool count = countMarkers;
  for (;;) {
    if (int rc = translateEscape(out, escape, firstPass, escFlags, req, count, level); rc != 0)
      return rc;
    if (*escFlags != ESC_AGAIN) return 0;
    *escFlags = 0;
    firstPass = false;
    count = false;
  }
}

// A character the copy below may change or count: an escape's start or end, a quote, a
// marker, a separator, a control character.
bool special(char c) {
  switch (c) {
    case '{':
    case '}':
    case '-':
    case ';':
    case '\'':
    case '"':
    case '?': return true;
    default: return static_cast<unsigned char>(c) < 32;
  }
}

int translate(std::string& out, std::string_view text, InfRequest* req, int* escFlags,
              bool countMarkers, int level) {
  if (level > kMaxNesting) return ERR_SYNTAX;
  // Most statements hold none of them and are copied whole.
  if (std::none_of(text.begin(), text.end(), special)) {
    *escFlags = 0;
    out.append(text);
    return 0;
  }
  EscKind kinds[kMaxNesting];
  int depth = 0;
  char quote = 0;
  std::string esc;
  size_t i = 0;
  const size_t n = text.size();
  *escFlags = 0;

  auto open = [&](EscKind k, std::string_view marker) -> bool {
    if (depth == kMaxNesting) return false;
    if (depth == 0)
      esc.clear();
    else
      esc.append(marker);
    kinds[depth++] = k;
    i += marker.size();
    return true;
  };
  // Closes the innermost escape; the outermost one is translated at once.
  auto close = [&](std::string_view marker, bool firstPass) -> int {
    --depth;
    i += marker.size();
    if (depth > 0) {
      esc.append(marker);
      return 0;
    }
    int flags = 0;
    if (int rc = translateOutermost(out, esc, firstPass, &flags, req, countMarkers, level); rc != 0)
      return rc;
    *escFlags = flags;
    if (flags == ESC_OUTER_JOIN) {
      // The join condition became a WHERE; a WHERE of the statement joins it.
      std::string_view after;
      if (keyword(text.substr(i), "where", &after)) {
        out += " AND ";
        i = n - after.size();
      }
    }
    return 0;
  };

  while (i < n) {
    char c = text[i];
    // Quoted text is copied as it stands, inside an escape too: a brace or an
    // escape marker in a literal is part of the literal.
    std::string& to = depth == 0 ? out : esc;
    if (quote != 0) {
      to += c;
      if (c == quote) {
        if (i + 1 < n && text[i + 1] == quote) {
          to += quote;
          i += 2;
          continue;
        }
        quote = 0;
      }
      ++i;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      to += c;
      ++i;
      continue;
    }
    if (startsWith(text, i, "--*(")) {
      if (!open(DASH, "--*(")) return ERR_SYNTAX;
      continue;
    }
    if (startsWith(text, i, "--(*")) {
      if (!open(DASH_ODBC, "--(*")) return ERR_SYNTAX;
      continue;
    }
    if (depth > 0 && kinds[depth - 1] == DASH && startsWith(text, i, "--*)")) {
      if (int rc = close("--*)", true); rc != 0) return rc;
      continue;
    }
    if (depth > 0 && kinds[depth - 1] == DASH_ODBC && startsWith(text, i, "*)--")) {
      if (int rc = close("*)--", true); rc != 0) return rc;
      continue;
    }
    if (c == '{') {
      if (!open(BRACE, "{")) return ERR_SYNTAX;
      continue;
    }
    if (c == '}' && depth > 0 && kinds[depth - 1] == BRACE) {
      if (int rc = close("}", false); rc != 0) return rc;
      continue;
    }
    if (depth > 0) {
      esc += c;
      ++i;
      continue;
    }
    ++i;
    if (c == ';') {
      while (i < n && isSpace(text[i])) ++i;
      if (i < n) out += ";\n";
    } else if (c == '\r' || c == '\n') {
      out += '\n';
    } else if (static_cast<unsigned char>(c) < 32) {
      out += ' ';
    } else {
      if (c == '?' && countMarkers && req != nullptr) {
        req->flags |= REQF_MARKERS;
        ++req->markers;
      }
      out += c;
    }
  }
  // An escape left open at the end would take the rest of the statement with it
  // (a WHERE clause, say).
  return depth > 0 ? ERR_SYNTAX : 0;
}

bool belowBang(char c) { return static_cast<unsigned char>(c) < '!'; }

// FOR UPDATE in a SELECT's text from its FROM on, outside quotes and parentheses.
bool forUpdate(std::string_view t, size_t from) {
  int depth = 0;
  char quote = 0;
  for (size_t k = from; k < t.size(); ++k) {
    const char c = t[k];
    if (quote != 0) {
      // A doubled quote closes and opens again: the same state either way.
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && (c == 'f' || c == 'F') && (belowBang(t[k - 1]) || t[k - 1] == ')')) {
      std::string_view rest;
      if (keyword(t.substr(k), "for", &rest) && keyword(rest, "update", nullptr)) return true;
    }
  }
  return false;
}

}  // namespace

int TranslateEscapes(std::string& out, std::string_view text, InfRequest* req, int* escFlags) {
  int flags = 0;
  int rc = translate(out, text, req, &flags, true, 0);
  if (escFlags != nullptr) *escFlags = flags;
  return rc;
}

int TranslateEscape(std::string& out, std::string& escape, bool firstPass, int* escFlags,
                    InfRequest* req, bool countMarkers) {
  int flags = 0;
  int rc = translateEscape(out, escape, firstPass, &flags, req, countMarkers, 0);
  if (escFlags != nullptr) *escFlags = flags;
  return rc;
}

int AnalyseRequest(InfRequest* req, const char* text) noexcept {
  if (req == nullptr || text == nullptr) return ERR_ARGUMENT;
  req->text = nullptr;
  req->translated = nullptr;
  req->columns = 0;
  req->markers = 0;
  req->kind = 0;
  req->flags = 0;
  std::string_view src = skipSpace(text);
  try {
    std::string out;
    int escFlags = 0;
    if (int rc = TranslateEscapes(out, src, req, &escFlags); rc != 0) return rc;

    std::string_view t = out;
    size_t p = 0;
    while (p < t.size() && t[p] == '(') ++p;
    std::string_view afterSelect;
    int16_t kind = REQ_OTHER;
    if (keyword(t.substr(p), "select", &afterSelect)) {
      size_t start = t.size() - afterSelect.size();
      size_t from = std::string_view::npos;
      for (size_t k = start > 0 ? start - 1 : 0;
           (k = findCi(t, "from", k)) != std::string_view::npos; ++k) {
        bool before = k > 0 && belowBang(t[k - 1]);
        bool after = k + 4 >= t.size() || belowBang(t[k + 4]);
        if (before && after) {
          from = k;
          break;
        }
      }
      if (from == std::string_view::npos || from < start - 1) return ERR_SYNTAX;
      uint16_t items = 0;
      int depth = 0;
      char quote = 0;
      for (size_t k = start; k < from; ++k) {
        char c = t[k];
        if (quote != 0) {
          if (c == quote) {
            if (k + 1 < from && t[k + 1] == quote)
              ++k;
            else
              quote = 0;
          }
          continue;
        }
        if (c == '\'' || c == '"')
          quote = c;
        else if (c == '*')
          req->flags |= REQF_STAR;
        else if (c == '(')
          ++depth;
        else if (c == ')')
          --depth;
        else if (c == ',' && depth == 0 && items < UINT16_MAX - 1)
          ++items;
      }
      req->columns = static_cast<uint16_t>(items + 1);
      if (forUpdate(t, from)) req->flags |= REQF_FOR_UPDATE;
      kind = REQ_SELECT;
    } else if (keyword(t, "insert", nullptr) || keyword(t, "delete", nullptr) ||
               keyword(t, "update", nullptr)) {
      kind = REQ_DML;
    }
    req->kind = kind;
    req->text = dupView(src);
    req->translated = dupView(out);
    if (req->text == nullptr || req->translated == nullptr) {
      InfRequestFree(req);
      return ERR_MEMORY;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    InfRequestFree(req);
    return ERR_MEMORY;
  }
}

void InfRequestFree(InfRequest* req) noexcept {
  if (req == nullptr) return;
  std::free(req->text);
  std::free(req->translated);
  req->text = nullptr;
  req->translated = nullptr;
}

namespace {
// One part of a procedure name, without its surrounding double quotes.
char* namePart(std::string_view s) {
  s = trimRight(skipSpace(s));
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return dupView(s);
}
}  // namespace

int ReadProcedureName(const char* text, InfProcName* out) noexcept {
  if (text == nullptr || out == nullptr) return 0;
  std::string_view s(text);
  size_t i = 0;
  while (i < s.size() && (isSpace(s[i]) || s[i] == '=' || s[i] == '?' || s[i] == '{')) ++i;
  std::string_view rest;
  if (!keyword(s.substr(i), "call", &rest)) return 0;
  // The name runs to its argument list; the escape's own '}' is not part of it.
  size_t end = 0;
  char quote = 0;
  for (; end < rest.size(); ++end) {
    char c = rest[end];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"')
      quote = c;
    else if (c == '(' || c == '}')
      break;
  }
  std::string_view name = trimRight(rest.substr(0, end));
  // A name wholly in double quotes that holds a '.' is split as if unquoted.
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"' &&
      name.substr(1, name.size() - 2).find('"') == std::string_view::npos &&
      name.find('.') != std::string_view::npos)
    name = name.substr(1, name.size() - 2);
  std::string_view parts[3];
  int count = 0;
  size_t start = 0;
  quote = 0;
  for (size_t k = 0; k <= name.size() && count < 3; ++k) {
    char c = k < name.size() ? name[k] : '.';
    if (quote != 0) {
      if (c == quote) quote = 0;
      if (k < name.size()) continue;
    }
    if (c == '"') {
      quote = c;
    } else if (c == '.') {
      parts[count++] = name.substr(start, k - start);
      start = k + 1;
    }
  }
  char** slots[3] = {&out->catalog, &out->schema, &out->name};
  int first = 3 - count;
  for (int k = 0; k < count; ++k) {
    char* p = namePart(parts[k]);
    if (p == nullptr) {
      InfProcNameFree(out);
      return ERR_MEMORY;
    }
    std::free(*slots[first + k]);
    *slots[first + k] = p;
  }
  return 0;
}

void InfProcNameFree(InfProcName* p) noexcept {
  if (p == nullptr) return;
  std::free(p->catalog);
  std::free(p->schema);
  std::free(p->name);
  p->catalog = p->schema = p->name = nullptr;
}

int32_t INF_NativeSql(DrvHandle hConn, const char* sql, char* buf, uint32_t bufSize,
                      int16_t* outLen) {
  if (outLen != nullptr) *outLen = 0;
  InfConn* conn = InfConnLookup(hConn);
  if (conn == nullptr) return ERR_ARGUMENT;
  InfRequest req;
  if (int rc = AnalyseRequest(&req, sql); rc != 0) {
    if (rc == ERR_SYNTAX) ErrListAddRequestSyntax(&conn->errors, sql);
    return rc;
  }
  // The whole size counts: a translation of 64 KB or more reaches a caller whose
  // buffer holds it.
  const size_t size = bufSize;
  const size_t len = std::strlen(req.translated);
  if (outLen != nullptr) *outLen = static_cast<int16_t>(len > INT16_MAX ? INT16_MAX : len);
  int32_t rc = 0;
  if (buf != nullptr) {
    if (len < size) {
      std::memcpy(buf, req.translated, len + 1);
    } else {
      if (size > 0) {
        std::memcpy(buf, req.translated, size - 1);
        buf[size - 1] = '\0';
      }
      rc = ERR_STRING_TRUNC_WARNING;
    }
  }
  InfRequestFree(&req);
  return rc;
}
