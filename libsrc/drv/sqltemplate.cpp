// sqltemplate.cpp -- expansion of SQL templates with 0xFF-coded markers.
// One pass over the template; plain text is appended a run at a time, an
// argument with one append of its whole length.
// Owns nothing: the pool and the arguments are the caller's.

#include "drv/sqltemplate.h"

#include <cstring>

namespace {

bool holds(unsigned char cond, char* text) {
  switch (cond) {
    case TPL_EMPTY: return TemplateArgEmpty(text) != 0;
    case TPL_NOTEMPTY: return TemplateArgEmpty(text) == 0;
    case TPL_WILD: return TemplateArgHasWildcard(text) != 0;
    case TPL_NOWILD: return TemplateArgHasWildcard(text) == 0;
    default: return false;
  }
}

// The text a condition on argument n tests; outside 1..count the empty text,
// which a condition may safely look at (the wildcard test never writes to a
// text without wildcards).
char* tested(char* const* args, uint32_t count, unsigned n) {
  static char empty[1] = {'\0'};
  return n >= 1 && n <= count ? args[n - 1] : empty;
}

// True when the n bytes from p are all present (none is the terminating NUL).
bool whole(const unsigned char* p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i] == '\0') return false;
  return true;
}

// Skips a branch whose condition failed: answers where copying resumes (after
// the else or end marker of the section, or inside a taken else-if branch), or
// the terminating NUL when the section never closes.
const unsigned char* skipBranch(const unsigned char* p, unsigned char label, char* const* args,
                                uint32_t count) {
  for (;;) {
    while (*p != '\0' && *p != TPL_MARK) ++p;
    if (*p == '\0') return p;
    const unsigned char* code = p + 1;
    if ((*code == TPL_ELSE || *code == TPL_ENDIF) && whole(code, 2) && code[1] == label)
      return code + 2;
    if (*code == TPL_ELIF && whole(code, 4) && code[1] == label) {
      if (holds(code[2], tested(args, count, code[3]))) return code + 4;
      p = code + 4;
      continue;
    }
    if (*code == '\0') return code;
    p = code;  // the scan goes on from the code byte
  }
}

// After a taken branch: answers where copying resumes past the section's end
// marker, or the terminating NUL when it has none.
const unsigned char* skipToEnd(const unsigned char* p, unsigned char label) {
  for (; *p != '\0'; ++p)
    if (p[0] == TPL_MARK && p[1] == TPL_ENDIF && p[2] == label && p[2] != '\0') return p + 3;
  return p;
}

}  // namespace

int TemplateArgEmpty(const char* text) noexcept {
  if (text == nullptr) return 1;
  if (text[0] == '%' && text[1] == '\0') return 1;
  for (const char* p = text; *p != '\0'; ++p)
    if (*p != ' ') return 0;
  return 1;
}

int TemplateArgHasWildcard(char* text) noexcept {
  if (text == nullptr) return 0;
  bool escaped = false;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != '_' && *p != '%') continue;
    if (p == text || p[-1] != '\\') return 1;
    escaped = true;
  }
  if (!escaped) return 0;
  // Only escaped wildcards: drop their escapes in place.
  char* out = text;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\\' && (p[1] == '_' || p[1] == '%')) continue;
    *out++ = *p;
  }
  *out = '\0';
  return 0;
}

int ExpandTemplate(MemPool* pool, const char* templ, char* const* args, uint32_t count) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(templ != nullptr ? templ : "");
  for (;;) {
    const unsigned char* run = p;
    while (*p != '\0' && *p != TPL_MARK) ++p;
    if (p > run) mpl_append(pool, run, static_cast<size_t>(p - run));
    if (*p == '\0') break;
    const unsigned char* code = p + 1;
    switch (*code) {
      case TPL_ARG: {
        const unsigned n = code[1];
        if (n == 0) {
          // Argument 0 is the template's own terminator: NULL, and the end.
          mpl_append(pool, "NULL", 4);
          goto end;
        }
        if (n == 0 || n > count) {
          mpl_append(pool, "NULL", 4);
        } else if (const char* a = args[n - 1]; a != nullptr) {
          mpl_append(pool, a, std::strlen(a));
        }
        p = code + 2;
        break;
      }
      case TPL_IF:
        if (!whole(code, 4)) goto end;
        p = holds(code[2], tested(args, count, code[3]))
                ? code + 4
                : skipBranch(code + 4, code[1], args, count);
        break;
      case TPL_ELIF:
      case TPL_ELSE:
        if (!whole(code, 2)) goto end;
        p = skipToEnd(code + 2, code[1]);
        break;
      case TPL_ENDIF:
        if (!whole(code, 2)) goto end;
        p = code + 2;
        break;
      case '\0': goto end;
      default: p = code + 1; break;
    }
  }
end:
  mpl_append_char(pool, 0);
  return 0;
}
