// str.cpp -- small helpers on 8-bit text shared by every layer.
// Case folding is ASCII and never consults the locale: SQL keywords and
// identifiers must compare alike whatever the application's locale is.
// Threading: the program name is computed once under the C++ static-init
// guard; set_file_ext answers a buffer of the calling thread.
#include "util/str.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Bytes of a text under the length rule; -1 for a negative length other than STR_NTS.
int64_t text_length(const char* text, int64_t length) {
  if (text == nullptr) return 0;
  if (length == STR_NTS) return static_cast<int64_t>(strlen(text));
  return length < 0 ? -1 : length;
}

char* copy_bytes(const char* text, size_t n) {
  char* copy = static_cast<char*>(malloc(n + 1));
  if (copy == nullptr) return nullptr;
  if (n != 0) memcpy(copy, text, n);
  copy[n] = 0;
  return copy;
}

}  // namespace

int str_toupper(int c) noexcept { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

int str_tolower(int c) noexcept { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

int str_nicmp(const char* a, const char* b, size_t n) noexcept {
  for (size_t i = 0; i < n; ++i) {
    int ca = str_toupper(static_cast<unsigned char>(a[i]));
    int cb = str_toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
  return 0;
}

int str_icmp(const char* a, const char* b) noexcept { return str_nicmp(a, b, SIZE_MAX); }

char* stristr(char* text, const char* word) noexcept {
  if (text == nullptr || word == nullptr) return nullptr;
  size_t tl = strlen(text);
  size_t wl = strlen(word);
  if (wl > tl) return nullptr;
  for (size_t i = 0; i + wl <= tl; ++i) {
    if (str_nicmp(text + i, word, wl) == 0) return text + i;
  }
  return nullptr;
}

char* skip_space(char* text) noexcept {
  while (is_space(static_cast<unsigned char>(*text))) ++text;
  return text;
}

char* skip_keyword_ex(const char* keyword, char* text, int exact) noexcept {
  text = skip_space(text);
  for (; *keyword != 0; ++keyword, ++text) {
    int k = static_cast<unsigned char>(*keyword);
    int t = static_cast<unsigned char>(*text);
    if (exact ? k != t : str_toupper(k) != str_toupper(t)) return nullptr;
  }
  if (*text == 0) return text;
  if (!is_space(static_cast<unsigned char>(*text))) return nullptr;
  return skip_space(text);
}

char* skip_keyword(const char* keyword, char* text) noexcept {
  return skip_keyword_ex(keyword, text, 0);
}

char* skip_keyword_exact(const char* keyword, char* text) noexcept {
  return skip_keyword_ex(keyword, text, 1);
}

char* rtrim(char* text) noexcept {
  if (text == nullptr || *text == 0) return nullptr;
  char* last = nullptr;
  for (char* p = text; *p != 0; ++p) {
    if (!is_space(static_cast<unsigned char>(*p))) last = p;
  }
  if (last == nullptr) {
    *text = 0;
    return nullptr;
  }
  last[1] = 0;
  return last;
}

int list_index(const char* list, const char* name) noexcept {
  if (list == nullptr || name == nullptr) return 0;
  size_t n = strlen(name);
  int position = 1;
  for (const char* item = list;; ++position) {
    while (is_space(static_cast<unsigned char>(*item))) ++item;
    if (strncmp(item, name, n) == 0 && (item[n] == ',' || item[n] == 0)) return position;
    const char* comma = strchr(item, ',');
    if (comma == nullptr) return 0;
    item = comma + 1;
  }
}

bool str_settle_length(const char* text, int64_t* length) noexcept {
  if (text == nullptr || *length < 0) return true;
  const auto n = static_cast<size_t>(*length);
  const size_t used = strnlen(text, n);
  for (size_t i = used; i < n; ++i)
    if (text[i] != '\0') return false;
  *length = static_cast<int64_t>(used);
  return true;
}

int strdup_len(char** out, const char* text, int64_t length) noexcept {
  int64_t n = text_length(text, length);
  *out = n < 0 ? nullptr : copy_bytes(text, static_cast<size_t>(n));
  return 0;
}

int strdup_unquoted(char** out, const char* text, int64_t length) noexcept {
  int64_t n = text_length(text, length);
  if (n < 0) {
    *out = nullptr;
    return 0;
  }
  if (n > 1 && (text[0] == '\'' || text[0] == '"') && text[n - 1] == text[0]) {
    *out = copy_bytes(text + 1, static_cast<size_t>(n - 2));
  } else {
    *out = copy_bytes(text, static_cast<size_t>(n));
  }
  return 0;
}

char* str_quote(const char* text, int64_t length, int quoteChar) noexcept {
  int64_t n = text_length(text, length);
  if (n < 0) return nullptr;
  if (quoteChar == ' ') return copy_bytes(text, static_cast<size_t>(n));
  char q = static_cast<char>(quoteChar);
  size_t inner = 0;
  for (int64_t i = 0; i < n; ++i) inner += text[i] == q ? 2 : 1;
  char* out = static_cast<char*>(malloc(inner + 3));
  if (out == nullptr) return nullptr;
  char* p = out;
  *p++ = q;
  for (int64_t i = 0; i < n; ++i) {
    *p++ = text[i];
    if (text[i] == q) *p++ = q;  // doubled, as SQL reads an embedded quote
  }
  *p++ = q;
  *p = 0;
  return out;
}

char* str_unquote(const char* text, int64_t length, int quoteChar) noexcept {
  int64_t n = text_length(text, length);
  if (n < 0) return nullptr;
  char q = static_cast<char>(quoteChar);
  if (quoteChar == ' ' || n < 2 || text[0] != q || text[n - 1] != q) {
    return copy_bytes(text, static_cast<size_t>(n));
  }
  char* out = static_cast<char*>(malloc(static_cast<size_t>(n - 1)));
  if (out == nullptr) return nullptr;
  char* p = out;
  for (int64_t i = 1; i < n - 1; ++i) {
    *p++ = text[i];
    if (text[i] == q && i + 1 < n - 1 && text[i + 1] == q) ++i;
  }
  *p = 0;
  return out;
}

char* set_file_ext(const char* path, const char* ext, int mode) noexcept {
  thread_local char result[PATH_MAX];
  if (path == nullptr) return nullptr;
  if (ext == nullptr) ext = "";
  size_t len = strlen(path);
  size_t name = len;  // start of the last component
  while (name > 0 && !is_separator(path[name - 1])) --name;
  size_t dot = len;  // start of the extension, len when there is none
  for (size_t i = len; i > name + 1; --i) {
    if (path[i - 1] == '.') {
      dot = i - 1;
      break;
    }
  }
  bool hasExt = dot != len;
  size_t keep = len;
  bool add = false;
  if (mode == 1) {
    keep = dot;
    add = true;
  } else if (mode == 2) {
    add = !hasExt;
  } else {
    keep = dot;
  }
  size_t extLen = add ? strlen(ext) + 1 : 0;
  if (keep + extLen + 1 > sizeof result) return nullptr;
  memcpy(result, path, keep);
  char* p = result + keep;
  if (add) {
    *p++ = '.';
    memcpy(p, ext, extLen - 1);
    p += extLen - 1;
  }
  *p = 0;
  return result;
}

const char* get_program_name() noexcept {
  static const char* const name = [] {
    static char buffer[255];
    const char* path = program_invocation_name;
    if (path == nullptr) path = "";
    const char* base = path;
    for (const char* p = path; *p != 0; ++p) {
      if (is_separator(*p)) base = p + 1;
    }
    size_t n = strlen(base);
    if (const char* dot = strrchr(base, '.')) n = static_cast<size_t>(dot - base);
    if (n > sizeof buffer - 1) n = sizeof buffer - 1;
    for (size_t i = 0; i < n; ++i)
      buffer[i] = static_cast<char>(str_toupper(static_cast<unsigned char>(base[i])));
    buffer[n] = 0;
    if (strcmp(buffer, "KRNL386") == 0) return "WOW";
    if (n == 0) return "Unknown";
    return static_cast<const char*>(buffer);
  }();
  return name;
}
