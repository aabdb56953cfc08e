// inf_blob.cpp -- takes quoted literals meant for BYTE and TEXT columns out of an
// INSERT or UPDATE and keeps them as hidden parameters of the cursor; decodes
// the hexadecimal text of a BYTE literal.
// Owns the rewritten text and the hidden literals until the cursor takes them.
// Threading: one call at a time per cursor.

#include "drv_inf/inf_blob.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "drv/errtab.h"
#include "drv_inf/inf_cursor.h"
#include "util/str.h"

#include "drv_inf/inf_text.h"

namespace {

using namespace inf_text;

// The keyword stands as a word of its own at position i.
bool wordAt(std::string_view s, size_t i, std::string_view w) {
  if (i + w.size() > s.size()) return false;
  for (size_t k = 0; k < w.size(); ++k)
    if (lower(s[i + k]) != lower(w[k])) return false;
  if (i > 0 && isIdent(s[i - 1])) return false;
  return i + w.size() == s.size() || !isIdent(s[i + w.size()]);
}

// A keyword standing as a word of its own, from position `from`, ignoring case.
size_t findWord(std::string_view s, std::string_view w, size_t from = 0) {
  for (size_t i = from; i + w.size() <= s.size(); ++i) {
    if (wordAt(s, i, w)) return i;
  }
  return std::string_view::npos;
}

bool equalCi(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// The hidden literals found so far, freed unless handed over.
struct Found {
  std::vector<InfHiddenParam> items;
  ~Found() {
    for (InfHiddenParam& p : items) std::free(p.text);
  }
  int32_t handOver(InfHiddenParam** list, int32_t* count) {
    *list = nullptr;
    *count = 0;
    if (items.empty()) return 0;
    auto* out = static_cast<InfHiddenParam*>(std::calloc(items.size(), sizeof(InfHiddenParam)));
    if (out == nullptr) return ERR_MEMORY;
    std::memcpy(out, items.data(), items.size() * sizeof(InfHiddenParam));
    *count = static_cast<int32_t>(items.size());
    items.clear();
    *list = out;
    HiddenParamsUndouble(*list, *count);
    return 0;
  }
};

int32_t finish(std::string& out, Found& found, char** rewritten, InfHiddenParam** list,
               int32_t* listCount) {
  char* text = dupView(out);
  if (text == nullptr) return ERR_MEMORY;
  if (int32_t rc = found.handOver(list, listCount); rc != 0) {
    std::free(text);
    return rc;
  }
  *rewritten = text;
  return 0;
}

// The text after a keyword at the start of s (blanks first), or npos.
size_t afterKeyword(std::string_view s, std::string_view kw, bool exact = false) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  if (s.size() - i < kw.size()) return std::string_view::npos;
  for (size_t k = 0; k < kw.size(); ++k) {
    char a = s[i + k], b = kw[k];
    if (exact ? a != b : lower(a) != lower(b)) return std::string_view::npos;
  }
  i += kw.size();
  if (i < s.size() && !isSpace(s[i]) && s[i] != '(') return std::string_view::npos;
  while (i < s.size() && isSpace(s[i])) ++i;
  return i;
}

}  // namespace

int InfHexDigitValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 16;
}

int32_t HexLiteralDecode(const char* text, uint8_t** out, uint32_t* len) noexcept {
  *out = nullptr;
  *len = 0;
  if (text == nullptr) return ERR_HEX_LITERAL;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  const size_t digits = std::strlen(text);
  const size_t n = (digits + 1) / 2;
  if (n == 0) return ERR_HEX_LITERAL;
  auto* bytes = static_cast<uint8_t*>(std::malloc(n));
  if (bytes == nullptr) return ERR_MEMORY;
  for (size_t i = 0; i < n; ++i) {
    const int hi = InfHexDigitValue(text[2 * i]);
    const int lo = 2 * i + 1 < digits ? InfHexDigitValue(text[2 * i + 1]) : 0;
    if (hi > 15 || lo > 15) {
      std::free(bytes);
      return ERR_HEX_LITERAL;
    }
    bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  *out = bytes;
  *len = static_cast<uint32_t>(n);
  return 0;
}

const char* NextQuotedLiteral(const char* text, const char** closing) noexcept {
  *closing = nullptr;
  const char* open = std::strchr(text, '\'');
  if (open == nullptr) open = std::strchr(text, '"');
  if (open == nullptr) return nullptr;
  const char q = *open;
  for (const char* p = open + 1; *p != '\0'; ++p) {
    if (*p != q) continue;
    if (p[1] == q) {
      ++p;
      continue;
    }
    *closing = p;
    return open;
  }
  return nullptr;
}

void HiddenParamsUndouble(InfHiddenParam* list, int32_t count) noexcept {
  for (int32_t i = 0; i < count; ++i) {
    char* t = list[i].text;
    const char q = list[i].quote;
    if (t == nullptr || q == '\0') continue;
    char* w = t;
    for (char* r = t; *r != '\0'; ++r) {
      *w++ = *r;
      if (*r == q && r[1] == q) ++r;
    }
    *w = '\0';
  }
}

int NameIndexLookup(const char* name, char* const* names, int count, int* index) noexcept {
  for (int i = 0; i < count; ++i) {
    if (names[i] != nullptr && str_icmp(name, names[i]) == 0) {
      *index = i;
      return 1;
    }
  }
  return 0;
}

int32_t ExtractUpdateBlobLiterals(const char* text, const char* table, int count,
                                  const int16_t* types, char* const* names, char** rewritten,
                                  InfHiddenParam** list, int32_t* listCount) noexcept {
  try {
    std::string_view t(text);
    size_t p = afterKeyword(t, "update");
    if (p == std::string_view::npos) return ERR_SYNTAX;
    size_t q = afterKeyword(t.substr(p), table);
    if (q == std::string_view::npos) return ERR_SYNTAX;
    p += q;
    q = afterKeyword(t.substr(p), "set");
    if (q == std::string_view::npos) return ERR_SYNTAX;
    p += q;

    std::string out(t.substr(0, p));
    Found found;
    int markers = 0;
    int items = 0;
    int assigned = -1;  // the BYTE/TEXT column of the latest '=', or -1
    bool afterEquals = false;
    size_t i = p;
    size_t copied = p;
    while (i < t.size()) {
      const char c = t[i];
      if (c == '\'' || c == '"') {
        size_t e = i + 1;
        while (e < t.size() && !(t[e] == c && (e + 1 >= t.size() || t[e + 1] != c))) {
          if (t[e] == c) ++e;
          ++e;
        }
        if (e >= t.size()) break;  // unclosed: the text is left as it is
        if (afterEquals && assigned >= 0) {
          if (static_cast<int>(found.items.size()) >= count) return ERR_SYNTAX;
          out.append(t.substr(copied, i - copied));
          out += '?';
          InfHiddenParam h{};
          h.text = dupView(t.substr(i + 1, e - i - 1));
          if (h.text == nullptr) return ERR_MEMORY;
          h.paramIndex = markers + static_cast<int32_t>(found.items.size());
          h.columnPosition = items - 1;
          h.quote = c;
          h.type = types[assigned];
          found.items.push_back(h);
          copied = e + 1;
        }
        afterEquals = false;
        i = e + 1;
        continue;
      }
      if (wordAt(t, i, "where")) break;
      if (c == '?') {
        ++markers;
      } else if (c == '=') {
        ++items;
        afterEquals = true;
        size_t e = i;
        while (e > p && isSpace(t[e - 1])) --e;
        size_t b = e;
        while (b > p && !isSpace(t[b - 1]) && t[b - 1] != ',') --b;
        std::string_view col = t.substr(b, e - b);
        if (col.size() >= 2 && col.front() == '"' && col.back() == '"')
          col = col.substr(1, col.size() - 2);
        std::string name(col);
        int idx = -1;
        assigned = NameIndexLookup(name.c_str(), names, count, &idx) ? idx : -1;
      }
      ++i;
    }
    out.append(t.substr(copied));
    return finish(out, found, rewritten, list, listCount);
  } catch (...) {
    return ERR_MEMORY;
  }
}

int32_t ExtractInsertBlobLiterals(const char* text, const char* table, int count,
                                  const int32_t* positions, const int16_t* types,
                                  char* const* names, char** rewritten, InfHiddenParam** list,
                                  int32_t* listCount) noexcept {
  try {
    std::string_view t(text);
    const size_t tab = t.find(table);
    const size_t values = findWord(t, "values");
    const size_t paren = t.find('(');
    if (tab == std::string_view::npos || values == std::string_view::npos ||
        paren == std::string_view::npos)
      return ERR_SYNTAX;

    struct Pending {
      int32_t position;
      int16_t type;
    };
    std::vector<Pending> pending;
    if (paren < values) {
      const size_t close = t.find(')', paren);
      if (close == std::string_view::npos || close > values) return ERR_SYNTAX;
      std::string_view cols = t.substr(paren + 1, close - paren - 1);
      int32_t pos = 0;
      while (true) {
        const size_t comma = cols.find(',');
        std::string_view item = trim(cols.substr(0, comma));
        const bool quoted = item.size() >= 2 && item.front() == '"' && item.back() == '"';
        if (quoted) item = item.substr(1, item.size() - 2);
        for (int k = 0; k < count; ++k) {
          if (names[k] == nullptr) continue;
          if (quoted ? item == names[k] : equalCi(item, names[k])) {
            pending.push_back({pos, types[k]});
            break;
          }
        }
        if (comma == std::string_view::npos) break;
        cols.remove_prefix(comma + 1);
        ++pos;
      }
    } else {
      for (int k = 0; k < count; ++k) pending.push_back({positions[k], types[k]});
    }

    const size_t open = t.find('(', values);
    const size_t last = t.rfind(')');
    if (open == std::string_view::npos || last == std::string_view::npos || last < open)
      return ERR_SYNTAX;
    std::string out(t.substr(0, open + 1));
    std::string valuesText(t.substr(open + 1, last - open - 1));
    Found found;
    size_t next = 0;
    int markers = 0;
    int32_t position = 0;
    size_t from = 0;
    while (next < pending.size()) {
      const char* closing = nullptr;
      const char* lit = NextQuotedLiteral(valuesText.c_str() + from, &closing);
      if (lit == nullptr) break;
      const size_t b = static_cast<size_t>(lit - valuesText.c_str());
      const size_t e = static_cast<size_t>(closing - valuesText.c_str());
      for (size_t k = from; k < b; ++k) {
        if (valuesText[k] == '?') ++markers;
        if (valuesText[k] == ',') ++position;
      }
      out.append(valuesText, from, b - from);
      if (position == pending[next].position) {
        InfHiddenParam h{};
        h.text = dupView(std::string_view(valuesText).substr(b + 1, e - b - 1));
        if (h.text == nullptr) return ERR_MEMORY;
        h.paramIndex = markers + static_cast<int32_t>(found.items.size());
        h.columnPosition = pending[next].position;
        h.quote = *lit;
        h.type = pending[next].type;
        found.items.push_back(h);
        out += '?';
        ++next;
      } else {
        out.append(valuesText, b, e - b + 1);
      }
      from = e + 1;
    }
    out.append(valuesText, from, std::string::npos);
    out.append(t.substr(last));
    return finish(out, found, rewritten, list, listCount);
  } catch (...) {
    return ERR_MEMORY;
  }
}

int32_t RewriteBlobLiterals(InfCursor* cur) noexcept {
  try {
    std::string_view s(cur->request.translated);
    std::string table;
    bool insert = false;
    size_t p = afterKeyword(s, "insert");
    if (p != std::string_view::npos) {
      size_t q = afterKeyword(s.substr(p), "into");
      if (q == std::string_view::npos) return ERR_NOT_CAPABLE;
      p += q;
      const size_t paren = s.find('(', p);
      const size_t values = findWord(s, "values", p);
      if (paren == std::string_view::npos || values == std::string_view::npos) return ERR_SYNTAX;
      const size_t end = paren < values ? paren : values;
      table = std::string(trim(s.substr(p, end - p)));
      insert = true;
    } else if ((p = afterKeyword(s, "update")) != std::string_view::npos) {
      const size_t set = findWord(s, "set", p);
      if (set == std::string_view::npos) return ERR_SYNTAX;
      table = std::string(trim(s.substr(p, set - p)));
    } else {
      return ERR_NOT_CAPABLE;
    }
    if (table.empty()) return ERR_SYNTAX;

    uint16_t n = 0;
    ColumnInfo* cols = nullptr;
    if (int32_t rc = SMDColumns(cur, table.c_str(), &n, &cols); rc != 0) return rc;
    std::vector<int32_t> positions;
    std::vector<int16_t> types;
    std::vector<std::string> nameStore;
    for (uint16_t i = 0; i < n; ++i) {
      if (cols[i].nativeType != IXR_TYPE_BYTE && cols[i].nativeType != IXR_TYPE_TEXT) continue;
      positions.push_back(i);
      types.push_back(cols[i].nativeType);
      nameStore.emplace_back(cols[i].fullName != nullptr ? cols[i].fullName : cols[i].name);
    }
    ColumnInfoFree(cols, n);
    std::vector<char*> names;
    for (std::string& nm : nameStore) names.push_back(nm.data());

    char* rewritten = nullptr;
    InfHiddenParam* list = nullptr;
    int32_t count = 0;
    const int k = static_cast<int>(names.size());
    int32_t rc =
        insert
            ? ExtractInsertBlobLiterals(cur->request.translated, table.c_str(), k, positions.data(),
                                        types.data(), names.data(), &rewritten, &list, &count)
            : ExtractUpdateBlobLiterals(cur->request.translated, table.c_str(), k, types.data(),
                                        names.data(), &rewritten, &list, &count);
    if (rc != 0) return rc;
    std::free(cur->request.translated);
    cur->request.translated = rewritten;
    HiddenParamsFree(cur->hiddenParams, cur->hiddenCount);
    cur->hiddenParams = list;
    cur->hiddenCount = count;
    return 0;
  } catch (...) {
    return ERR_MEMORY;
  }
}
