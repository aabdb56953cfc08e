// ixr_lex.cpp -- the tokens of the Informix SQL that the embedded server accepts: words
// (folded to lower case), numbers, quoted strings with doubled quotes inside, and one- or
// two-character operators; comments and blanks only separate them.
// Threading: pure.
// Not here: which words are keywords (the parser decides that by position).
#include "platform/informix/ixr_parser.h"

#include <cstring>

namespace ixr {
namespace {

bool isIdStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c & 0x80);
}
bool isIdChar(char c) { return isIdStart(c) || (c >= '0' && c <= '9') || c == '$'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

IxError lex(const std::string& s, std::vector<Token>& out) {
  size_t i = 0, n = s.size();
  while (true) {
    while (i < n) {
      char c = s[i];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++i;
      } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
        while (i < n && s[i] != '\n') ++i;
      } else if (c == '{') {
        // A comment left open is a syntax error, not the end of the statement: what
        // it swallows (a WHERE clause) would otherwise silently go.
        size_t e = s.find('}', i);
        if (e == std::string::npos) return ixErr(IXR_E_SYNTAX, "{");
        i = e + 1;
      } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
        size_t e = s.find("*/", i + 2);
        if (e == std::string::npos) return ixErr(IXR_E_SYNTAX, "/*");
        i = e + 2;
      } else {
        break;
      }
    }
    Token t;
    t.pos = i;
    if (i >= n) {
      t.kind = TokenKind::End;
      t.end = n;
      out.push_back(t);
      return {};
    }
    char c = s[i];
    if (isIdStart(c)) {
      size_t b = i;
      while (i < n && isIdChar(s[i])) ++i;
      t.kind = TokenKind::Word;
      for (size_t k = b; k < i; ++k) t.text.push_back(lower(s[k]));
    } else if ((c >= '0' && c <= '9') ||
               (c == '.' && i + 1 < n && s[i + 1] >= '0' && s[i + 1] <= '9')) {
      size_t b = i;
      while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
      if (i < n && s[i] == '.') {
        ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t save = i++;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (i < n && s[i] >= '0' && s[i] <= '9') {
          while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
        } else {
          i = save;
        }
      }
      t.kind = TokenKind::Number;
      t.text = s.substr(b, i - b);
    } else if (c == '\'' || c == '"') {
      t.kind = c == '\'' ? TokenKind::String : TokenKind::DoubleQuoted;
      ++i;
      bool closed = false;
      while (i < n) {
        if (s[i] == c) {
          if (i + 1 < n && s[i + 1] == c) {
            t.text.push_back(c);
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        t.text.push_back(s[i++]);
      }
      if (!closed) return ixErr(IXR_E_SYNTAX, s.substr(t.pos, 20));
    } else {
      static const char* kOps[] = {"||", "<=", ">=", "<>", "!=", "==", "::"};
      t.kind = TokenKind::Operator;
      bool two = false;
      for (const char* op : kOps)
        if (i + 1 < n && s[i] == op[0] && s[i + 1] == op[1]) {
          t.text = op;
          i += 2;
          two = true;
          break;
        }
      if (!two) {
        if (!std::strchr("(),.;+-*/=<>?:[]@", c)) return ixErr(IXR_E_SYNTAX, std::string(1, c));
        t.text = std::string(1, c);
        ++i;
      }
    }
    t.end = i;
    out.push_back(std::move(t));
  }
}

}  // namespace ixr
