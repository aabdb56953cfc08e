#pragma once
// sqltemplate.h -- the SQL template expander shared by the agent's catalog
// queries, the SQL analysis (statement text rebuilt from parse-tree node
// templates) and the cursor layer (generated pieces put in place).
// A template is 8-bit text in which the byte 0xFF starts a marker; UTF-8 and
// ASCII never hold that byte, so any SQL text can stand in a template as it is.
//   0xFF 0x01 n        insert argument n (1-based)
//   0xFF 0x02 l c n    start of section l, kept when condition c holds for argument n
//   0xFF 0x03 l c n    else-if branch of section l
//   0xFF 0x04 l        else branch of section l
//   0xFF 0x05 l        end of section l
//   0xFF other         nothing
// Sections are found by their label alone, so a nested section carries a
// label of its own (the catalog templates number them by depth).
// Threading: no shared state; the pool and the arguments are the caller's, and
// a wildcard test may rewrite an argument in place, so one argument text must
// not be expanded by two threads at once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/mpl.h"

inline constexpr unsigned char TPL_MARK = 0xFF;
inline constexpr unsigned char TPL_ARG = 0x01;
inline constexpr unsigned char TPL_IF = 0x02;
inline constexpr unsigned char TPL_ELIF = 0x03;
inline constexpr unsigned char TPL_ELSE = 0x04;
inline constexpr unsigned char TPL_ENDIF = 0x05;

// Condition codes; any other code never holds.
inline constexpr unsigned char TPL_EMPTY = 1;
inline constexpr unsigned char TPL_NOTEMPTY = 2;
inline constexpr unsigned char TPL_WILD = 3;
inline constexpr unsigned char TPL_NOWILD = 4;

// Appends the expansion of templ and one NUL byte to the object being built in
// pool; the caller takes it with mpl_finish. args[n-1] is argument n; any
// element may be null. An argument marker outside 1..count inserts NULL; a
// condition on an argument outside 1..count tests the empty text. A template
// whose sections do not close ends at its NUL; nothing past the NUL is read.
// Always 0: the pool ends the process when memory runs out.
int ExpandTemplate(MemPool* pool, const char* templ, char* const* args, uint32_t count) noexcept;

// 1 for a null text, exactly "%", or nothing but spaces (the empty text too).
int TemplateArgEmpty(const char* text) noexcept;

// 1 when text holds a '_' or '%' that no backslash immediately precedes. When
// it holds wildcards and every one is escaped, those escaping backslashes are
// removed in place first (other backslashes stay), and the answer is 0; a
// later test of the same text then sees the bare wildcards.
int TemplateArgHasWildcard(char* text) noexcept;

// Templates are written in a readable notation and turned into marker bytes:
// {ARG n}, {IF l c n}, {ELIF l c n}, {ELSE l}, {ENDIF l}, with c one of EMPTY,
// NOTEMPTY, WILD, NOWILD and l, n decimal numbers 1 to 255. Every other byte,
// blanks included, is template text; the notation never holds a brace of its own.
// Writes the template and its NUL into out (room for notation.size() + 1 bytes
// always suffices, as every marker is shorter than its notation) and answers
// its length, or kTemplateBad for a brace that opens no well-formed marker.
inline constexpr size_t kTemplateBad = static_cast<size_t>(-1);

namespace sqltemplate_detail {
constexpr bool number(std::string_view& s, unsigned& v) {
  v = 0;
  size_t i = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && v <= 255)
    v = v * 10 + static_cast<unsigned>(s[i++] - '0');
  if (i == 0 || v < 1 || v > 255) return false;
  s.remove_prefix(i);
  return true;
}
constexpr bool word(std::string_view& s, std::string_view w) {
  if (s.substr(0, w.size()) != w) return false;
  s.remove_prefix(w.size());
  return true;
}
constexpr bool condition(std::string_view& s, unsigned& c) {
  if (word(s, "NOTEMPTY"))
    c = TPL_NOTEMPTY;
  else if (word(s, "EMPTY"))
    c = TPL_EMPTY;
  else if (word(s, "NOWILD"))
    c = TPL_NOWILD;
  else if (word(s, "WILD"))
    c = TPL_WILD;
  else
    return false;
  return true;
}
}  // namespace sqltemplate_detail

constexpr size_t TemplateFromNotation(std::string_view in, char* out) noexcept {
  using namespace sqltemplate_detail;
  size_t n = 0;
  while (!in.empty()) {
    if (in[0] != '{') {
      out[n++] = in[0];
      in.remove_prefix(1);
      continue;
    }
    const size_t close = in.find('}');
    if (close == std::string_view::npos) return kTemplateBad;
    std::string_view m = in.substr(1, close - 1);
    in.remove_prefix(close + 1);
    unsigned a = 0, b = 0, c = 0;
    out[n++] = static_cast<char>(TPL_MARK);
    if (word(m, "ARG ")) {
      if (!number(m, a)) return kTemplateBad;
      out[n++] = static_cast<char>(TPL_ARG);
      out[n++] = static_cast<char>(a);
    } else if (const bool elif = word(m, "ELIF "); elif || word(m, "IF ")) {
      if (!number(m, a) || !word(m, " ") || !condition(m, b) || !word(m, " ") || !number(m, c))
        return kTemplateBad;
      out[n++] = static_cast<char>(elif ? TPL_ELIF : TPL_IF);
      out[n++] = static_cast<char>(a);
      out[n++] = static_cast<char>(b);
      out[n++] = static_cast<char>(c);
    } else if (const bool end = word(m, "ENDIF "); end || word(m, "ELSE ")) {
      if (!number(m, a)) return kTemplateBad;
      out[n++] = static_cast<char>(end ? TPL_ENDIF : TPL_ELSE);
      out[n++] = static_cast<char>(a);
    } else {
      return kTemplateBad;
    }
    if (!m.empty()) return kTemplateBad;
  }
  out[n] = '\0';
  return n;
}

// A template written in the notation, turned into bytes at compile time; a
// malformed marker does not compile.
template <size_t N>
consteval std::array<char, N> TemplateLiteral(const char (&notation)[N]) {
  std::array<char, N> out{};
  if (TemplateFromNotation(std::string_view(notation, N - 1), out.data()) == kTemplateBad)
    throw "malformed template marker";
  return out;
}
