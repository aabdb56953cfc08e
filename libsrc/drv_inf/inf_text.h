#pragma once
// inf_text.h -- small text helpers the agent's SQL rewriting shares: ASCII case
// folding and white space that never consult the locale, searches that ignore
// case, and malloc'd copies of views.

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace inf_text {

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool isIdent(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

inline bool startsWithCi(std::string_view s, std::string_view w) {
  if (s.size() < w.size()) return false;
  for (size_t i = 0; i < w.size(); ++i)
    if (lower(s[i]) != lower(w[i])) return false;
  return true;
}

inline size_t findCi(std::string_view s, std::string_view w, size_t from = 0) {
  for (size_t i = from; i + w.size() <= s.size(); ++i)
    if (startsWithCi(s.substr(i), w)) return i;
  return std::string_view::npos;
}

inline std::string_view skipSpace(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  return s.substr(i);
}
inline std::string_view trimRight(std::string_view s) {
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}
inline std::string_view trim(std::string_view s) { return trimRight(skipSpace(s)); }

// A malloc'd NUL-terminated copy, or null when memory is short.
inline char* dupView(std::string_view s) {
  char* p = static_cast<char*>(std::malloc(s.size() + 1));
  if (p != nullptr) {
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
  }
  return p;
}

}  // namespace inf_text
