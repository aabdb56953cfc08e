// inf_proccols.cpp -- ProcedureColumns from the text of stored procedures, and
// the parameter description of procedure calls built on it.
// The catalog keeps each procedure's text in lines of 256 bytes; the lines of
// a procedure are joined, its header's parameter list and RETURNING clause
// parsed, and the whole result built at once as a Dataset the cursor owns, from
// which later fetches only copy rows.
// Threading: on the caller's thread under the connection's call lock.

#include "drv_inf/inf_proccols.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_cursor.h"
#include "drv_inf/inf_log.h"
#include "drv_inf/inf_ops.h"
#include "util/conv.h"
#include "util/str.h"

namespace {

constexpr const char* kSrc = "drv_inf/inf_proccols";
constexpr uint16_t kBatch = 60;
constexpr size_t kPartMax = 255;

bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// Printable: the visible ASCII characters and every byte of a UTF-8 sequence,
// so that names in any script are read whole.
bool isPrint(unsigned char c) { return (c > ' ' && c < 0x7F) || c >= 0x80; }

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (str_toupper(static_cast<unsigned char>(a[i])) !=
        str_toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(str_toupper(static_cast<unsigned char>(c)));
  return out;
}

int32_t number(const std::string& digits) {
  int64_t v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(v);
}

struct DeclParts {
  std::string name, type, size, scale, word, deflt;
  void clear() {
    name.clear(), type.clear(), size.clear(), scale.clear(), word.clear(), deflt.clear();
  }
  static void add(std::string& part, char c) {
    if (part.size() < kPartMax) part += c;
  }
};

struct ProcContext {
  const std::string& schema;
  const std::string& name;
  int32_t id;
  std::vector<ProcColumn>* out;
};

void ProcColumnAdd(const ProcContext& p, int32_t columnType, int32_t ordinal, const DeclParts& x) {
  ProcColumn c;
  c.schema = p.schema;
  c.procedure = p.name;
  c.procedureId = p.id;
  c.ordinal = ordinal;
  c.columnType = columnType;
  c.name = columnType == 5 ? "RETURN VALUE" : x.name;
  c.defaultText = x.deflt;
  const std::string t = upper(x.type);
  bool sized = false, scaled = false;
  if (t == "BYTE" || t == "NCHAR" || t == "NVARCHAR" || t == "VARCHAR" ||
      t == "CHARACTER VARYING") {
    c.typeName = t;
    sized = true;
  } else if (t == "CHAR" || t == "CHARACTER") {
    c.typeName = "CHAR";
    sized = true;
  } else if (t == "DATE" || t == "DATETIME" || t == "INTERVAL" || t == "SERIAL" ||
             t == "SMALLINT" || t == "TEXT") {
    c.typeName = t;
  } else if (t == "DEC" || t == "DECIMAL" || t == "NUMERIC") {
    c.typeName = "DECIMAL";
    sized = scaled = true;
  } else if (t == "FLOAT" || t.rfind("DOUBLE", 0) == 0) {
    c.typeName = "FLOAT";
  } else if (t == "INT" || t == "INTEGER") {
    c.typeName = "INTEGER";
  } else if (t == "MONEY") {
    c.typeName = "MONEY";
    sized = scaled = true;
  } else if (t == "SMALLFLOAT" || t == "REAL") {
    c.typeName = "SMALLFLOAT";
  } else {
    c.typeName = t;
    sized = scaled = true;
  }
  if (sized) c.size = number(x.size);
  if (scaled) c.scale = number(x.scale);
  p.out->push_back(std::move(c));
}

// Splits a parameter list (columnType 1) or a return list (5) into items. A
// character-driven reader of the parts name, type, size, scale, a word after
// the type and a default; a quoted default keeps its blanks and commas.
void ProcItemListParse(std::string_view list, int32_t columnType, const ProcContext& p) {
  enum {
    kStart,
    kName,
    kAfterName,
    kType,
    kAfterType,
    kSize,
    kScale,
    kClosed,
    kWord,
    kAfterWord,
    kDefault
  };
  int state = kStart;
  int32_t ordinal = 1;
  DeclParts x;
  char quote = 0;  // the quote a default is inside, or 0
  for (size_t i = 0;; ++i) {
    if (i == list.size()) {
      if (state != kStart) ProcColumnAdd(p, columnType, ordinal, x);
      return;
    }
    const auto c = static_cast<unsigned char>(list[i]);
    if (state == kDefault && quote != 0) {
      DeclParts::add(x.deflt, static_cast<char>(c));
      if (c == static_cast<unsigned char>(quote)) quote = 0;
      continue;
    }
    if (c == ',' && state != kSize) {
      ProcColumnAdd(p, columnType, ordinal, x);
      ++ordinal;
      x.clear();
      state = kStart;
      continue;
    }
    if (isSpace(c)) {
      if (state == kName) {
        state = kAfterName;
      } else if (state == kType) {
        // REFERENCES BYTE and REFERENCES TEXT declare BYTE and TEXT.
        if (iequals(x.type, "REFERENCES")) {
          x.type.clear();
          state = kAfterName;
        } else {
          state = kAfterType;
        }
      } else if (state == kWord) {
        if ((iequals(x.type, "CHAR") || iequals(x.type, "CHARACTER")) &&
            iequals(x.word, "VARYING")) {
          x.type += " VARYING";
          state = kAfterType;
        } else {
          state = kAfterWord;
        }
      }
      continue;
    }
    if (!isPrint(c)) continue;
    switch (state) {
      case kStart: state = columnType == 1 ? kName : kType; break;
      case kAfterName: state = kType; break;
      case kType:
        if (c == '(') state = kSize;
        break;
      case kAfterType: state = c == '(' ? kSize : kWord; break;
      case kSize:
        if (c == ')')
          state = kClosed;
        else if (c == ',')
          state = kScale;
        break;
      case kScale:
        if (c == ')') state = kClosed;
        break;
      case kClosed:
        state = kWord;
        x.word.clear();
        break;
      case kAfterWord: state = kDefault; break;
      default: break;
    }
    const bool digit = c >= '0' && c <= '9';
    switch (state) {
      case kName: DeclParts::add(x.name, static_cast<char>(c)); break;
      case kType: DeclParts::add(x.type, static_cast<char>(c)); break;
      case kSize:
        if (digit) DeclParts::add(x.size, static_cast<char>(c));
        break;
      case kScale:
        if (digit) DeclParts::add(x.scale, static_cast<char>(c));
        break;
      case kWord: DeclParts::add(x.word, static_cast<char>(c)); break;
      case kDefault:
        DeclParts::add(x.deflt, static_cast<char>(c));
        if (c == '\'' || c == '"') quote = static_cast<char>(c);
        break;
      default: break;
    }
  }
}

// The position of "returning" as a word of its own in text, or npos.
size_t findReturning(std::string_view text) {
  constexpr std::string_view kWord = "returning";
  for (size_t i = 0; i + kWord.size() <= text.size(); ++i) {
    if (!iequals(text.substr(i, kWord.size()), kWord)) continue;
    const auto before = i > 0 ? static_cast<unsigned char>(text[i - 1]) : ' ';
    const auto after =
        i + kWord.size() < text.size() ? static_cast<unsigned char>(text[i + kWord.size()]) : ' ';
    const auto ident = [](unsigned char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             c == '_' || c >= 0x80;
    };
    if (!ident(before) && !ident(after)) return i;
  }
  return std::string_view::npos;
}

// LIKE with '%', '_' and '\' escaping the character after it.
bool likeMatch(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      starP = ++p;
      starT = t;
      continue;
    }
    if (p < pattern.size()) {
      char want = pattern[p];
      size_t step = 1;
      bool any = want == '_';
      if (want == '\\' && p + 1 < pattern.size()) {
        want = pattern[p + 1];
        step = 2;
        any = false;
      }
      if (any || want == text[t]) {
        p += step;
        ++t;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    p = starP;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

// ---------------------------------------------------------------------------
// Types.

bool v3(const InfCursor* cur) { return cur->conn->odbcVersion == 3; }

// The SQL type of a recorded type name: the same as the result columns of that
// type are described with, so that the two agree.
int32_t ProcTypeSqlType(const std::string& t, bool wide, bool odbc3) {
  int32_t s = 1;
  if (t == "CHAR" || t == "CHARACTER" || t == "NCHAR")
    s = wide ? -8 : 1;
  else if (t == "VARCHAR" || t == "NVARCHAR" || t == "CHARACTER VARYING" || t == "CHAR VARYING")
    s = wide ? -9 : 12;
  else if (t == "SMALLINT")
    s = 5;
  else if (t == "INT" || t == "INTEGER")
    s = 4;
  else if (t == "REAL" || t == "SMALLFLOAT")
    s = 7;
  else if (t == "FLOAT")
    s = 8;
  else if (t == "DEC" || t == "DECIMAL" || t == "NUMERIC" || t == "MONEY")
    s = 3;
  else if (t == "DATE")
    s = 9;
  else if (t == "DATETIME")
    s = 11;
  else if (t == "BYTE")
    s = -4;
  else if (t == "TEXT")
    s = wide ? -10 : -1;
  // INTERVAL and every type without a mapping are text.
  if (odbc3 && s >= 9 && s <= 11) s += 82;
  return s;
}

int32_t VerboseSqlType(int32_t t) {
  if ((t >= 9 && t <= 11) || (t >= 91 && t <= 93)) return 9;
  if (t >= 101 && t <= 113) return 10;
  return t;
}

int32_t ProcColumnSize(int32_t t, int32_t size) {
  switch (t) {
    case 1:
    case 2:
    case 3:
    case 12:
    case -2:
    case -3:
    case -8:
    case -9: return size;
    case 4:
    case 9:
    case 91: return 10;
    case 5: return 5;
    case 6:
    case 8: return 15;
    case 7: return 7;
    case 10:
    case 92: return 8;
    case 11:
    case 93: return 25;
    case -1:
    case -4:
    case -10: return 2147483640;
    case -7: return 1;
    case -6: return 3;
    case -5: return 20;
    default: return 0;
  }
}

int32_t ProcBufferLength(int32_t t, int32_t size) {
  switch (t) {
    case 1:
    case 12:
    case -2:
    case -3: return size;
    case 2:
    case 3: return size + 2;
    case 4:
    case 7: return 4;
    case 5: return 2;
    case 6:
    case 8: return 8;
    case 9:
    case 10:
    case 91:
    case 92: return 6;
    case 11:
    case 93: return 16;
    case -1:
    case -4:
    case -10: return 2147483640;
    case -8:
    case -9: return size <= INT32_MAX / 2 ? 2 * size : INT32_MAX;
    case -7:
    case -6: return 1;
    case -5: return 20;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// The result.

enum ResultCol {
  kCat = 0,
  kSchem,
  kProc,
  kColumnName,
  kColumnType,
  kDataType,
  kTypeName,
  kColumnSize,
  kBufferLength,
  kDigits,
  kRadix,
  kNullable,
  kRemarks,
  kDefault,
  kSqlDataType,
  kSub,
  kOctets,
  kOrdinal,
  kIsNullable,
  kResultCols
};

struct HeaderCol {
  const char* name;
  int32_t kind;  // 0 text, 1 smallint, 2 integer, 3 narrow text in both builds
  uint32_t size;
};

constexpr HeaderCol INF_ProcColumnsHeader[kResultCols] = {
    {"PROCEDURE_CAT", 0, 128},  {"PROCEDURE_SCHEM", 0, 32},  {"PROCEDURE_NAME", 0, 128},
    {"COLUMN_NAME", 0, 128},    {"COLUMN_TYPE", 1, 0},       {"DATA_TYPE", 1, 0},
    {"TYPE_NAME", 0, 32},       {"COLUMN_SIZE", 2, 0},       {"BUFFER_LENGTH", 2, 0},
    {"DECIMAL_DIGITS", 1, 0},   {"NUM_PREC_RADIX", 1, 0},    {"NULLABLE", 1, 0},
    {"REMARKS", 0, 1},          {"COLUMN_DEF", 0, 512},      {"SQL_DATA_TYPE", 1, 0},
    {"SQL_DATETIME_SUB", 1, 0}, {"CHAR_OCTET_LENGTH", 2, 0}, {"ORDINAL_POSITION", 2, 0},
    {"IS_NULLABLE", 3, 3},
};

constexpr CatalogResultType kProcColumnsTypes[] = {
    {CAT_TEXT, 128}, {CAT_TEXT, 32}, {CAT_TEXT, 128}, {CAT_TEXT, 128}, {5, 0},
    {5, 0},          {CAT_TEXT, 32}, {4, 0},          {4, 0},          {5, 0},
    {5, 0},          {5, 0},         {CAT_TEXT, 1},   {CAT_TEXT, 512}, {5, 0},
    {5, 0},          {4, 0},         {4, 0},          {12, 3},         {0, 0},
};

// The description of the in-memory result, laid out by the connection's mode:
// wide text on a wide connection, length-prefixed 8-bit text otherwise.
ColumnInfo* header(bool wide) {
  ColumnInfo* cols = ColumnInfoAlloc(kResultCols);
  if (cols == nullptr) return nullptr;
  for (int i = 0; i < kResultCols; ++i) {
    const HeaderCol& h = INF_ProcColumnsHeader[i];
    const bool w = wide && h.kind == 0;
    const int32_t type = h.kind == 1 ? 5 : h.kind == 2 ? 4 : w ? -9 : 12;
    cols[i] = CatalogDescribe(h.name, type, w ? DS_WSTRING : DS_VARCHAR2, h.size);
    cols[i].flags = 2;
  }
  return cols;
}

char* slot(DatasetColumn& col, uint32_t r) { return col.data + static_cast<size_t>(r) * col.width; }

void setShort(DatasetColumn& col, uint32_t r, int32_t v) {
  const auto s = static_cast<int16_t>(v);
  std::memcpy(slot(col, r), &s, sizeof s);
  col.ind[r] = 0;
}

void setInt(DatasetColumn& col, uint32_t r, int32_t v) {
  std::memcpy(slot(col, r), &v, sizeof v);
  col.ind[r] = 0;
}

// UTF-8 text into a DS_WSTRING or DS_VARCHAR2 cell, cut to the column on a
// whole character.
void setText(DatasetColumn& col, uint32_t r, const std::string& text) {
  char* s = slot(col, r);
  if (col.type == DS_WSTRING) {
    const int64_t maxUnits = static_cast<int64_t>(col.width / 2) - 1;
    int64_t consumed = 0;
    auto* out = reinterpret_cast<char16_t*>(s);
    int64_t n =
        utf8n_to_wcs(text.data(), out, static_cast<int64_t>(text.size()), maxUnits, &consumed);
    if (n < 0) n = 0;
    out[n] = 0;
  } else {
    size_t n = std::min<size_t>(text.size(), col.width - 2);
    while (n < text.size() && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    const auto len = static_cast<uint16_t>(n);
    std::memcpy(s, &len, sizeof len);
    std::memcpy(s + 2, text.data(), n);
  }
  col.ind[r] = 0;
}

void writeRow(Dataset* ds, uint32_t r, const ProcColumn& c, bool wide, bool odbc3) {
  DatasetColumn* col = ds->cols;
  const int32_t type = ProcTypeSqlType(c.typeName, wide, odbc3);
  const int32_t size = ProcColumnSize(type, c.size);
  setText(col[kSchem], r, c.schema);
  setText(col[kProc], r, c.procedure);
  setText(col[kColumnName], r, c.name);
  setShort(col[kColumnType], r, c.columnType);
  setShort(col[kDataType], r, type);
  setText(col[kTypeName], r, c.typeName);
  setInt(col[kColumnSize], r, size);
  setInt(col[kBufferLength], r, ProcBufferLength(type, size));
  setShort(col[kDigits], r, type == 11 || type == 93 ? 5 : c.scale);
  setShort(col[kRadix], r, 10);
  setShort(col[kNullable], r, c.nullable);
  if (!c.defaultText.empty()) setText(col[kDefault], r, c.defaultText);
  setShort(col[kSqlDataType], r, VerboseSqlType(type));
  switch (type) {
    case 9:
    case 91: setShort(col[kSub], r, 1); break;
    case 10:
    case 92: setShort(col[kSub], r, 2); break;
    case 11:
    case 93: setShort(col[kSub], r, 3); break;
    default: break;
  }
  switch (type) {
    case 1:
    case 12:
    case -1:
    case -2:
    case -3:
    case -4: setInt(col[kOctets], r, size); break;
    case -8:
    case -9: setInt(col[kOctets], r, ProcBufferLength(type, size)); break;
    case -10: setInt(col[kOctets], r, 2147483640); break;
    default: break;
  }
  setInt(col[kOrdinal], r, c.ordinal);
  setText(col[kIsNullable], r, c.nullable == 0 ? "NO" : c.nullable == 1 ? "YES" : "");
}

// ---------------------------------------------------------------------------
// Reading the procedure-text query.

// The text of a cell as UTF-8: 8-bit text as it stands (a fixed-width cell
// whole, its blanks included), wide text converted.
bool cellText(const DatasetColumn& col, uint32_t r, std::string* out) {
  const char* s = col.data + static_cast<size_t>(r) * col.width;
  out->clear();
  if (col.ind[r] == DS_IND_NULL) return true;
  switch (col.type) {
    case DS_STRING: out->assign(s, strnlen(s, col.width)); return true;
    case DS_CHAR: out->assign(s, col.width); return true;
    case DS_WSTRING: {
      const auto* w = reinterpret_cast<const char16_t*>(s);
      size_t n = 0;
      while (n < col.width / 2 && w[n] != 0) ++n;
      char* u = wcsn_to_utf8_dup(w, static_cast<int64_t>(n));
      if (u == nullptr) throw std::bad_alloc();
      out->assign(u);
      std::free(u);
      return true;
    }
    default: return false;
  }
}

int32_t fetchSource(InfCursor* cur, Dataset* rows) {
  // The stored lines are fixed-width: read as such, a line that ends in a blank
  // keeps it when the lines are joined.
  if (cur->resultCount > 3 &&
      (cur->results[3].bindType == DS_STRING || cur->results[3].bindType == DS_WSTRING)) {
    ColumnInfo& src = cur->results[3];
    if (src.nativeType == IXR_TYPE_CHAR || src.nativeType == IXR_TYPE_NCHAR) {
      src.bindType = DS_CHAR;
      src.octetLength = static_cast<uint32_t>(std::max(src.precision, 1));
    }
  }
  int32_t rc = Fetch(cur->handle, kBatch, rows);
  while (rc == 0 && rows->rowCount > 0 && rows->rowCount % kBatch == 0) {
    Dataset batch{};
    rc = Fetch(cur->handle, kBatch, &batch);
    if (rc == 0 && batch.rowCount > 0) rc = DatasetAppend(rows, &batch);
    const bool last = batch.rowCount < kBatch;
    DatasetFree(&batch);
    if (last) break;
  }
  if (rc != 0) INF_LOG(LOG_ERR, kSrc, "ProcColsGetBaseRsltSet: Couldn't fetch result set.");
  return rc;
}

// Every procedure's columns, the procedures in the order the query gave them.
int32_t parseAll(const Dataset& rows, std::vector<ProcColumn>* items) {
  if (rows.colCount < 4) return ERR_GENERAL;
  const DatasetColumn& ids = rows.cols[2];
  if (ids.type != DS_INTEGER) {
    INF_LOG(LOG_ERR, kSrc, "getNumProcs: Unexpected cType.");
    return ERR_GENERAL;
  }
  const auto idAt = [&ids](int32_t r) {
    int32_t v = 0;
    std::memcpy(&v, ids.data + static_cast<size_t>(r) * ids.width, sizeof v);
    return v;
  };
  std::string schema, name, line, text;
  for (int32_t r = 0; r < rows.rowCount;) {
    if (!cellText(rows.cols[0], static_cast<uint32_t>(r), &schema)) {
      INF_LOG(LOG_ERR, kSrc, "getProcSrc: PROC_SCHEM - Unexpected cType.");
      return ERR_GENERAL;
    }
    if (!cellText(rows.cols[1], static_cast<uint32_t>(r), &name)) {
      INF_LOG(LOG_ERR, kSrc, "getProcSrc: PROC_NAME - Unexpected cType.");
      return ERR_GENERAL;
    }
    const int32_t id = idAt(r);
    text.clear();
    for (; r < rows.rowCount && idAt(r) == id; ++r) {
      if (!cellText(rows.cols[3], static_cast<uint32_t>(r), &line)) {
        INF_LOG(LOG_ERR, kSrc, "getProcSrc: PROC_SRC - Unexpected cType.");
        return ERR_GENERAL;
      }
      text += line;
    }
    if (int32_t rc = ProcTextParse(schema, name, id, text, items); rc != 0) return rc;
  }
  return 0;
}

void freeMem(Dataset*& ds) {
  if (ds == nullptr) return;
  DatasetFree(ds);
  std::free(ds);
  ds = nullptr;
}

int32_t buildResult(InfCursor* cur, const char* pattern) {
  Dataset rows{};
  int32_t rc = fetchSource(cur, &rows);
  if (rc == 0) rc = UnPrepareCursor(cur);
  std::vector<ProcColumn> items;
  if (rc == 0 && rows.rowCount > 0) rc = parseAll(rows, &items);
  DatasetFree(&rows);
  if (rc != 0) return rc;
  if (pattern != nullptr && pattern[0] != '\0' && std::strcmp(pattern, "%") != 0)
    std::erase_if(items, [pattern](const ProcColumn& c) { return !likeMatch(pattern, c.name); });

  const bool wide = CatWide(cur);
  ColumnInfo* cols = header(wide);
  if (cols == nullptr) return ERR_MEMORY;
  auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
  if (ds == nullptr) {
    ColumnInfoFree(cols, kResultCols);
    return ERR_MEMORY;
  }
  const auto total = static_cast<int32_t>(items.size());
  rc = DatasetFromColumnInfo(cols, kResultCols, total, ds);
  if (rc != 0) {
    std::free(ds);
    ColumnInfoFree(cols, kResultCols);
    return rc;
  }
  for (int32_t r = 0; r < total; ++r)
    writeRow(ds, static_cast<uint32_t>(r), items[static_cast<size_t>(r)], wide, v3(cur));
  ds->rowCount = total;
  cur->results = cols;
  cur->resultCount = kResultCols;
  cur->memResult = ds;
  return 0;
}

}  // namespace

int32_t ProcTextParse(const std::string& schema, const std::string& name, int32_t id,
                      const std::string& text, std::vector<ProcColumn>* out) {
  const size_t open = text.find('(');
  if (open == std::string::npos) return ERR_GENERAL;
  int depth = 0;
  size_t close = open;
  for (; close < text.size(); ++close) {
    if (text[close] == '(') ++depth;
    if (text[close] == ')' && --depth == 0) break;
  }
  if (close == text.size()) return ERR_SYNTAX;
  const ProcContext p{schema, name, id, out};
  const std::string_view params = std::string_view(text).substr(open + 1, close - open - 1);
  if (!params.empty()) ProcItemListParse(params, 1, p);
  const std::string_view rest = std::string_view(text).substr(close + 1);
  const size_t semi = rest.find(';');
  if (semi == std::string_view::npos) return 0;
  const std::string_view head = rest.substr(0, semi);
  const size_t ret = findReturning(head);
  if (ret != std::string_view::npos) ProcItemListParse(head.substr(ret + 9), 5, p);
  return 0;
}

int32_t ProcColumnsResult(InfCursor* cur, const char* columnPattern) noexcept {
  int32_t rc = 0;
  try {
    rc = buildResult(cur, columnPattern);
  } catch (...) {
    rc = ERR_MEMORY;
  }
  InfDescriptionChanged(cur);
  if (rc != 0) {
    freeMem(cur->memResult);
    ColumnInfoFree(cur->results, cur->resultCount);
    cur->results = nullptr;
    cur->resultCount = 0;
  }
  return rc;
}

const CatalogResultType* ProcColumnsResultTypes() noexcept { return kProcColumnsTypes; }

int32_t ProcColumnsFetch(InfCursor* cur, uint16_t rows, Dataset* ds) noexcept {
  const Dataset* mem = cur->memResult;
  if (rows == 0 || (cur->flags & CF_EOD) != 0 || mem == nullptr || mem->rowCount <= 0 ||
      cur->memRow >= static_cast<uint32_t>(mem->rowCount)) {
    DatasetFree(ds);
    return DatasetInit(ds, 0);
  }
  const uint32_t left = static_cast<uint32_t>(mem->rowCount) - cur->memRow;
  const uint32_t take = std::min<uint32_t>(rows, left);
  Dataset* target = ds;
  if (int32_t rc = DatasetCloneLayout(&target, mem, static_cast<int32_t>(take)); rc != 0) return rc;
  for (uint32_t k = 0; k < take; ++k) {
    if (int32_t rc = DatasetCopyRow(ds, cur->memResult, k, cur->memRow + k, 0); rc != 0) {
      DatasetFree(ds);
      return rc;
    }
  }
  cur->memRow += take;
  cur->rowCount = take;
  if (cur->memRow >= static_cast<uint32_t>(mem->rowCount)) cur->flags |= CF_EOD;
  return 0;
}

int32_t DescribeProcParams(InfCursor* cur) noexcept {
  const uint16_t n = cur->request.markers;
  DrvHandle h = 0;
  if (int32_t rc = INF_AllocCursor(cur->conn->handle, &h); rc != 0) return rc;
  int32_t rc = 0;
  Dataset block{};
  try {
    // "? = call": the first marker receives the procedure's return value.
    const bool returnFirst = (cur->request.flags & REQF_RETURN) != 0;
    const DDColumnArgs args{cur->proc.catalog != nullptr ? cur->proc.catalog : "",
                            cur->proc.schema != nullptr ? cur->proc.schema : "",
                            cur->proc.name != nullptr ? cur->proc.name : "", ""};
    if (n > 0) rc = INF_DDProcedureColumns(h, &args);
    InfCursor* scratch = InfCursorLookup(h);
    const bool wide = CatWide(cur);
    // The procedure's rows are few: read them whole, then hand them out.
    struct Param {
      std::string name;
      int16_t sqlType = 0;
      int32_t size = 0;
      int16_t scale = 0;
      int16_t nullable = 2;
    };
    std::vector<Param> inputs, returns;
    while (rc == 0 && n > 0) {
      rc = Fetch(h, static_cast<uint16_t>(n + 1), &block);
      if (rc != 0 || block.rowCount == 0) break;
      const DatasetColumn* c = block.cols;
      if (block.colCount < kResultCols ||
          c[kColumnName].type != (wide ? DS_WSTRING : DS_VARCHAR2) ||
          c[kColumnType].type != DS_SMALLINT || c[kDataType].type != DS_SMALLINT ||
          c[kDigits].type != DS_SMALLINT || c[kNullable].type != DS_SMALLINT ||
          c[kColumnSize].type != DS_INTEGER)
        break;
      for (int32_t r = 0; r < block.rowCount; ++r) {
        const auto get16 = [&](int col) {
          int16_t v = 0;
          std::memcpy(&v, c[col].data + static_cast<size_t>(r) * c[col].width, sizeof v);
          return v;
        };
        Param pc;
        const DatasetColumn& nameCol = c[kColumnName];
        const char* s = nameCol.data + static_cast<size_t>(r) * nameCol.width;
        if (nameCol.ind[r] != DS_IND_NULL) {
          if (nameCol.type == DS_VARCHAR2) {
            uint16_t len = 0;
            std::memcpy(&len, s, sizeof len);
            pc.name.assign(s + 2, len);
          } else {
            (void)cellText(nameCol, static_cast<uint32_t>(r), &pc.name);
          }
        }
        pc.sqlType = get16(kDataType);
        int32_t size = 0;
        std::memcpy(&size, c[kColumnSize].data + static_cast<size_t>(r) * c[kColumnSize].width,
                    sizeof size);
        pc.size = size;
        pc.scale = get16(kDigits);
        pc.nullable = get16(kNullable);
        (get16(kColumnType) == 5 ? returns : inputs).push_back(std::move(pc));
      }
      if (scratch == nullptr || (scratch->flags & CF_EOD) != 0) break;
    }
    if (rc == 0) {
      std::vector<const Param*> order;
      if (returnFirst && !returns.empty()) order.push_back(&returns[0]);
      for (const Param& pc : inputs) order.push_back(&pc);
      for (size_t i = 0; i < order.size() && i < n && i < cur->paramCount; ++i) {
        ColumnInfo& pi = cur->paramInfo[i];
        const Param& pc = *order[i];
        char* full = static_cast<char*>(std::malloc(pc.name.size() + 1));
        if (full == nullptr) throw std::bad_alloc();
        std::memcpy(full, pc.name.c_str(), pc.name.size() + 1);
        std::free(pi.fullName);
        pi.fullName = full;
        std::snprintf(pi.name, sizeof pi.name, "%.40s", pc.name.c_str());
        pi.sqlType = pc.sqlType;
        pi.nativeType = pc.sqlType;
        pi.precision = pi.displaySize = pc.size;
        pi.scale = pc.scale;
        pi.flags = static_cast<uint32_t>(pc.nullable);
      }
    }
  } catch (...) {
    rc = ERR_MEMORY;
  }
  DatasetFree(&block);
  (void)INF_EndCursor(h);
  if (rc == 0) cur->paramsDescribed = 1;
  return rc;
}
