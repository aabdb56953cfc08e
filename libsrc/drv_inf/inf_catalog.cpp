// inf_catalog.cpp -- catalog queries on the statement's agent cursor: the shared
// machinery (the query run, the result types, the row fix-ups' access to the row
// and the catalog-name rule, the template arguments) and the two operations
// every table browser starts with, Tables and Columns.
// The query runs as if the application had sent it; the rows then travel
// through the ordinary fetch, which hands each row to the operation's fix-up
// before delivering it. The fix-ups work in place in the fetch buffers.
// Threading: on the caller's thread under the connection's call lock.
// Not here: the key, index, privilege and procedure queries (inf_catkeys.cpp),
// type information (inf_typeinfo.cpp), procedure columns (inf_proccols.cpp).

#include "drv_inf/inf_catalog.h"

#include <algorithm>
#include <cstring>

#include "drv/errtab.h"
#include "drv_inf/inf_connect.h"
#include "drv_inf/inf_ops.h"
#include "util/mpl.h"
#include "util/str.h"

namespace {

IxrSqlVar* var(const InfCursor* cur, int j) {
  IxrSqlda* area = cur->outputArea;
  if (area == nullptr || j < 0 || j >= area->sqld) return nullptr;
  return &area->sqlvar[j];
}

// Every name of the result in upper case (ASCII only: the names are ours).
void upperNames(InfCursor* cur) {
  for (uint16_t i = 0; i < cur->resultCount; ++i) {
    ColumnInfo& c = cur->results[i];
    for (char* p = c.name; *p != '\0'; ++p) *p = static_cast<char>(str_toupper(*p));
    if (c.fullName != nullptr)
      for (char* p = c.fullName; *p != '\0'; ++p) *p = static_cast<char>(str_toupper(*p));
  }
}

}  // namespace

int32_t RunCatalogQuery(DrvHandle hCursor, const char* templ, char* const* args,
                        uint32_t count) noexcept {
  if (InfCursorLookup(hCursor) == nullptr) return ERR_ARGUMENT;
  MemPool pool;
  mpl_init(&pool);
  (void)ExpandTemplate(&pool, templ, args, count);
  const char* sql = static_cast<const char*>(mpl_finish(&pool));
  int32_t rc = INF_Prepare(hCursor, sql);
  mpl_destroy(&pool);
  if (rc != 0) return rc;
  upperNames(InfCursorLookup(hCursor));
  return INF_Execute(hCursor);
}

bool CatWide(const InfCursor* cur) noexcept { return InfWideBuild() && cur->conn->wide != 0; }

bool CatOdbc3(const InfCursor* cur) noexcept { return cur->conn->odbcVersion == 3; }

void ApplyResultTypes(InfCursor* cur, const CatalogResultType* table) noexcept {
  const bool wide = CatWide(cur);
  for (uint16_t i = 0; i < cur->resultCount; ++i) {
    const CatalogResultType& t = table[i];
    if (t.sqlType == SQL_UNKNOWN_TYPE && t.size == 0) break;
    ColumnInfo& c = cur->results[i];
    const int32_t size = t.size == -1 ? c.precision : t.size;
    int32_t type = t.sqlType;
    if (!wide && (type == -8 || type == -9)) type = type == -8 ? 1 : 12;
    c.sqlType = type;
    c.scale = 0;
    c.flags = (c.flags & ~0xFu) | 2;  // nullable unknown; updatability kept
    const uint32_t usize = size > 0 ? static_cast<uint32_t>(size) : 0;
    switch (type) {
      case 1:
        c.bindType = DS_CHAR;
        c.precision = c.displaySize = size;
        c.octetLength = usize;
        break;
      case 12:
        c.bindType = DS_STRING;
        c.precision = c.displaySize = size;
        c.octetLength = usize;
        break;
      case 4:
        c.bindType = DS_INTEGER;
        c.precision = 10;
        c.displaySize = 11;
        c.octetLength = 4;
        break;
      case 5:
        c.bindType = DS_SMALLINT;
        c.precision = 5;
        c.displaySize = 6;
        c.octetLength = 2;
        break;
      case -8:
      case -9:
        c.bindType = DS_WSTRING;
        c.precision = c.displaySize = size;
        c.octetLength = 4 * usize + 1;
        break;
      default: break;
    }
  }
}

bool CatIsNull(const InfCursor* cur, int j) noexcept {
  const IxrSqlVar* v = var(cur, j);
  return v == nullptr || v->sqlind == nullptr || *v->sqlind == -1;
}

void CatSetNull(InfCursor* cur, int j) noexcept {
  if (IxrSqlVar* v = var(cur, j); v != nullptr && v->sqlind != nullptr) *v->sqlind = -1;
}

char* CatText(InfCursor* cur, int j) noexcept {
  IxrSqlVar* v = var(cur, j);
  if (v == nullptr || v->sqldata == nullptr || v->sqllen <= 0) return nullptr;
  if (v->sqltype != IXR_HOST_STRING) return nullptr;
  return v->sqldata;
}

char CatFirstChar(const InfCursor* cur, int j) noexcept {
  const IxrSqlVar* v = var(cur, j);
  if (v == nullptr || v->sqldata == nullptr || v->sqllen <= 0 || CatIsNull(cur, j)) return '\0';
  if (v->sqltype != IXR_HOST_STRING && v->sqltype != IXR_HOST_FIXCHAR) return '\0';
  return v->sqldata[0];
}

void CatSetText(InfCursor* cur, int j, const char* text) noexcept {
  IxrSqlVar* v = var(cur, j);
  if (v == nullptr || v->sqldata == nullptr || v->sqllen <= 0) return;
  const size_t cap = static_cast<size_t>(v->sqllen);
  const size_t n = std::strlen(text);
  if (v->sqltype == IXR_HOST_FIXCHAR) {
    std::memset(v->sqldata, ' ', cap);
    std::memcpy(v->sqldata, text, std::min(n, cap));
  } else if (v->sqltype == IXR_HOST_STRING) {
    const size_t k = std::min(n, cap - 1);
    std::memmove(v->sqldata, text, k);
    v->sqldata[k] = '\0';
  } else {
    return;
  }
  if (v->sqlind != nullptr) *v->sqlind = 0;
}

int32_t CatInt(const InfCursor* cur, int j) noexcept {
  const IxrSqlVar* v = var(cur, j);
  if (v == nullptr || v->sqldata == nullptr) return 0;
  if (v->sqltype == IXR_HOST_SHORT) {
    int16_t s;
    std::memcpy(&s, v->sqldata, sizeof s);
    return s;
  }
  if (v->sqltype == IXR_HOST_INT) {
    int32_t i;
    std::memcpy(&i, v->sqldata, sizeof i);
    return i;
  }
  return 0;
}

void CatSetInt(InfCursor* cur, int j, int32_t value) noexcept {
  IxrSqlVar* v = var(cur, j);
  if (v == nullptr || v->sqldata == nullptr) return;
  if (v->sqltype == IXR_HOST_SHORT) {
    const auto s = static_cast<int16_t>(value);
    std::memcpy(v->sqldata, &s, sizeof s);
  } else if (v->sqltype == IXR_HOST_INT) {
    std::memcpy(v->sqldata, &value, sizeof value);
  } else {
    return;
  }
  if (v->sqlind != nullptr) *v->sqlind = 0;
}

void CatalogNameRule(InfCursor* cur, int j) noexcept {
  const char* text = CatText(cur, j);
  const InfSession* s = cur->conn->session;
  if (text == nullptr || CatIsNull(cur, j) || text[0] != 'Q' || s == nullptr || s->online == 0 ||
      s->database == nullptr) {
    CatSetNull(cur, j);
    return;
  }
  // The catalog columns are 128 characters wide.
  char name[129];
  const size_t n = std::min<size_t>(std::strlen(s->database), 128);
  std::memcpy(name, s->database, n);
  name[n] = '\0';
  CatSetText(cur, j, name);
}

// ---------------------------------------------------------------------------
// Template arguments.

namespace {

std::string doubledQuotes(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const char* p = text; *p != '\0'; ++p) {
    out += *p;
    if (*p == '\'') out += '\'';
  }
  return out;
}

}  // namespace

void CatalogArgs::name(int n, const char* text) {
  text_[n - 1] = doubledQuotes(text);
  set_[n - 1] = true;
}

void CatalogArgs::pattern(int n, const char* text) {
  std::string t = doubledQuotes(text);
  // The test may drop escapes from its copy: an exact name is inserted as the
  // test left it, a pattern as the application wrote it.
  std::string tested = t;
  const bool wild = TemplateArgHasWildcard(tested.data()) != 0;
  tested.resize(std::strlen(tested.c_str()));
  text_[n - 1] = wild ? t : tested;
  set_[n - 1] = true;
  text_[n - 1 + kCatDecision] = wild ? "%" : "";
  set_[n - 1 + kCatDecision] = true;
}

void CatalogArgs::schema(int n, const char* text, bool isPattern) {
  std::string s = text != nullptr ? text : "";
  if (!s.empty() && s[0] == '\'') {
    s.erase(0, 1);
    if (!s.empty() && s.back() == '\'') s.pop_back();
  }
  if (isPattern)
    pattern(n, s.c_str());
  else
    name(n, s.c_str());
}

void CatalogArgs::literal(int n, const std::string& text) {
  text_[n - 1] = text;
  set_[n - 1] = true;
}

char* const* CatalogArgs::args() {
  for (size_t i = 0; i < text_.size(); ++i) ptr_[i] = set_[i] ? text_[i].data() : nullptr;
  return ptr_.data();
}

// ---------------------------------------------------------------------------
// Tables.

namespace {

constexpr CatalogResultType kTablesTypes[] = {
    {CAT_TEXT, 128}, {CAT_TEXT, 32}, {CAT_TEXT, 128}, {12, 32}, {CAT_TEXT, 1}, {0, 0},
};

constexpr auto kCatalogsListing = TemplateLiteral(
    " SELECT name AS TABLE_CAT, '' AS TABLE_SCHEM, '' AS TABLE_NAME, '' AS TABLE_TYPE, '' AS "
    "REMARKS FROM sysmaster:'informix'.sysdatabases ");

constexpr auto kSchemasListing = TemplateLiteral(
    " SELECT distinct '' AS TABLE_CAT, OWNER AS TABLE_SCHEM, '' AS TABLE_NAME, '' AS TABLE_TYPE, "
    "'' AS REMARKS FROM \"informix\".SYSTABLES WHERE TABNAME <> ' VERSION' and TABTYPE <> ' ' "
    "ORDER BY 2 ");

#define KES_TYPE_MEMBER(X)                                                    \
  "SELECT DISTINCT '' AS TABLE_CAT, '' AS TABLE_SCHEM, '' AS TABLE_NAME, '" X \
  "' AS TABLE_TYPE, "                                                         \
  "'' AS REMARKS FROM \"informix\".systables t WHERE 1 = 1"
constexpr auto kTypesListing =
    TemplateLiteral(" " KES_TYPE_MEMBER("SYSTEM TABLE") " UNION " KES_TYPE_MEMBER(
        "TABLE") " UNION " KES_TYPE_MEMBER("VIEW") " UNION " KES_TYPE_MEMBER("SYNONYM") " ORDER BY "
                                                                                       "4 ");
#undef KES_TYPE_MEMBER

// Owner and name conditions of one SELECT of the table search; labels 2 and 3.
#define KES_OWNER_NAME                                                                        \
  "{IF 2 NOTEMPTY 2} {IF 3 WILD 12} OWNER LIKE '{ARG 2}' AND {ELSE 3} OWNER = '{ARG 2}' AND " \
  "{ENDIF 3} {ENDIF 2} {IF 2 NOTEMPTY 3} {IF 3 WILD 13} TABNAME LIKE '{ARG 3}' AND {ELSE 3} " \
  "TABNAME = '{ARG 3}' AND {ENDIF 3} {ENDIF 2} "
#define KES_SYSTEM_MEMBER(T)                                                                    \
  "SELECT 'Q' AS TABLE_CAT, OWNER AS TABLE_SCHEM, TABNAME AS TABLE_NAME, TABTYPE AS "           \
  "TABLE_TYPE, '' AS REMARKS FROM \"informix\".SYSTABLES WHERE " KES_OWNER_NAME "TABTYPE = '" T \
  "' AND TABNAME <> ' VERSION' and TABTYPE <> ' ' AND OWNER = 'informix' AND TABNAME[1,3] = "   \
  "'sys' UNION "
// The user's objects: every table that is not one of the catalog's own, whatever
// its name begins with.
constexpr auto kTableSearch = TemplateLiteral(
    " {IF 1 NOTEMPTY 5} " KES_SYSTEM_MEMBER("T") "{ENDIF 1} {IF 1 NOTEMPTY 6} " KES_SYSTEM_MEMBER(
        "V") "{ENDIF 1} SELECT 'Q' AS TABLE_CAT, OWNER AS TABLE_SCHEM, TABNAME AS TABLE_NAME, "
             "TABTYPE AS TABLE_TYPE, '' AS REMARKS FROM \"informix\".SYSTABLES WHERE {IF 1 "
             "NOTEMPTY 2} {IF 2 WILD 12} OWNER LIKE '{ARG 2}' AND {ELSE 2} OWNER = '{ARG 2}' AND "
             "{ENDIF 2} {ENDIF 1} {IF 1 NOTEMPTY 3} {IF 2 WILD 13} TABNAME LIKE '{ARG 3}' AND "
             "{ELSE 2} TABNAME = '{ARG 3}' AND {ENDIF 2} {ENDIF 1} {IF 1 NOTEMPTY 4} TABTYPE IN "
             "({ARG 4}) AND {ELSE 1} 1 = 0 AND {ENDIF 1} TABNAME <> ' VERSION' and TABTYPE <> ' ' "
             "and (OWNER <> 'informix' OR TABNAME[1,3] <> 'sys') ORDER BY 2, 3 ");
#undef KES_SYSTEM_MEMBER
#undef KES_OWNER_NAME

enum TableCol { kCat = 0, kSchema = 1, kName = 2, kType = 3, kRemarks = 4 };

void fixListCatalogs(InfCursor* cur) {
  for (int j : {kSchema, kName, kType, kRemarks}) CatSetNull(cur, j);
}
void fixListSchemas(InfCursor* cur) {
  for (int j : {kCat, kName, kType, kRemarks}) CatSetNull(cur, j);
}
void fixListTypes(InfCursor* cur) {
  for (int j : {kCat, kSchema, kName, kRemarks}) CatSetNull(cur, j);
}

void fixTables(InfCursor* cur) {
  const char letter = CatFirstChar(cur, kType);
  CatalogNameRule(cur, kCat);
  const char* name = CatText(cur, kName);
  const char* owner = CatText(cur, kSchema);
  std::string out;
  if (name != nullptr && std::strncmp(name, "sys", 3) == 0 && owner != nullptr &&
      std::strncmp(owner, "informix", 8) == 0)
    out = "SYSTEM ";
  switch (letter) {
    case 'P':
    case 'S': out = "SYNONYM"; break;
    case 'T': out += "TABLE"; break;
    case 'V': out += "VIEW"; break;
    default: break;
  }
  CatSetText(cur, kType, out.c_str());
}

bool isAll(const char* s) { return s != nullptr && std::strcmp(s, "%") == 0; }
bool isGiven(const char* s) { return s != nullptr && s[0] != '\0'; }

int32_t listing(InfCursor* cur, const char* templ, InfRowCallback fix) {
  CatalogArgs none;
  int32_t rc = RunCatalogQuery(cur->handle, templ, none.args(), 0);
  if (rc != 0) return rc;
  cur->rowCallback = fix;
  ApplyResultTypes(cur, kTablesTypes);
  return 0;
}

int32_t tables(InfCursor* cur, const DDTablesArgs* a) {
  const char* C = a->catalog;
  const char* S = a->schema;
  const char* T = a->table;
  const char* Y = a->tableTypes;
  // The arguments that ask for everything, less those that another given
  // argument turns into an ordinary search.
  bool c = isAll(C), s = isAll(S), y = isAll(Y);
  if (c && (isGiven(S) || isGiven(T))) c = s = y = false;
  if (s && (isGiven(C) || isGiven(T))) c = s = y = false;
  if (y && (isGiven(C) || isGiven(S) || isGiven(T))) c = s = y = false;
  if (c) {
    if (cur->conn->session == nullptr || cur->conn->session->online == 0) return ERR_NOT_CAPABLE;
    return listing(cur, kCatalogsListing.data(), fixListCatalogs);
  }
  if (s) return listing(cur, kSchemasListing.data(), fixListSchemas);
  if (y) return listing(cur, kTypesListing.data(), fixListTypes);

  CatalogArgs args;
  args.name(1, C);
  args.schema(2, S, true);
  args.pattern(3, T);
  std::string types = Y != nullptr ? Y : "";
  if (!types.empty()) {
    for (char& ch : types) ch = static_cast<char>(str_toupper(ch));
    std::string kinds;
    const auto add = [&kinds](const char* k) {
      if (!kinds.empty()) kinds += ',';
      kinds += k;
    };
    if (list_index(types.c_str(), "'TABLE'") != 0) add("'T'");
    if (list_index(types.c_str(), "'VIEW'") != 0) add("'V'");
    if (list_index(types.c_str(), "'SYNONYM'") != 0) add("'P','S'");
    args.literal(4, kinds);
    args.literal(5, list_index(types.c_str(), "'SYSTEM TABLE'") != 0 ? "Y" : "");
    args.literal(6, list_index(types.c_str(), "'SYSTEM VIEW'") != 0 ? "Y" : "");
  } else {
    args.literal(4, "'T','V'");
    args.literal(5, "Y");
    args.literal(6, "Y");
  }
  int32_t rc = RunCatalogQuery(cur->handle, kTableSearch.data(), args.args(), args.count());
  if (rc != 0) return rc;
  cur->rowCallback = fixTables;
  ApplyResultTypes(cur, kTablesTypes);
  return 0;
}

// ---------------------------------------------------------------------------
// Columns.

constexpr CatalogResultType kColumnsTypes[] = {
    {CAT_TEXT, 128}, {CAT_TEXT, 32}, {CAT_TEXT, 128}, {CAT_TEXT, 128}, {5, 0},
    {12, 32},        {4, 0},         {4, 0},          {5, 0},          {5, 0},
    {5, 0},          {CAT_TEXT, 1},  {CAT_TEXT, -1},  {5, 0},          {5, 0},
    {4, 0},          {4, 0},         {12, 3},         {0, 0},
};

constexpr auto kColumns = TemplateLiteral(
    " SELECT 'Q' AS TABLE_CAT, T.OWNER AS TABLE_SCHEM, T.TABNAME AS TABLE_NAME, C.COLNAME AS "
    "COLUMN_NAME, 0 AS DATA_TYPE, '' AS TYPE_NAME, C.COLTYPE AS COLUMN_SIZE, C.COLLENGTH AS "
    "BUFFER_LENGTH, 0 AS DECIMAL_DIGITS, 10 AS NUM_PREC_RADIX, 0 AS NULLABLE, '' AS REMARKS, "
    "D.DEFAULT AS COLUMN_DEF, 0 AS SQL_DATA_TYPE, 0 AS SQL_DATETIME_SUB, C.COLLENGTH AS "
    "CHAR_OCTET_LENGTH, C.COLNO AS ORDINAL_POSITION, 'NO' AS IS_NULLABLE, D.TYPE AS "
    "INF_DEFAULT_TYPE FROM \"informix\".SYSTABLES T, \"informix\".SYSCOLUMNS C, OUTER "
    "\"informix\".SYSDEFAULTS D WHERE {IF 1 NOTEMPTY 2} {IF 2 WILD 12} T.OWNER LIKE '{ARG 2}' AND "
    "{ELSE 2} T.OWNER = '{ARG 2}' AND {ENDIF 2} {ENDIF 1} {IF 1 NOTEMPTY 3} {IF 2 WILD 13} "
    "T.TABNAME LIKE '{ARG 3}' AND {ELSE 2} T.TABNAME = '{ARG 3}' AND {ENDIF 2} {ENDIF 1} {IF 1 "
    "NOTEMPTY 4} {IF 2 WILD 14} C.COLNAME LIKE '{ARG 4}' AND {ELSE 2} C.COLNAME = '{ARG 4}' AND "
    "{ENDIF 2} {ENDIF 1} T.TABID = C.TABID AND T.TABID = D.TABID AND C.COLNO = D.COLNO ORDER BY "
    "2, 3, 17 ");

enum ColumnCol {
  cCat = 0,
  cDataType = 4,
  cTypeName = 5,
  cSize = 6,
  cBuffer = 7,
  cDigits = 8,
  cNullable = 10,
  cDefault = 12,
  cSqlDataType = 13,
  cSub = 14,
  cOctets = 15,
  cIsNullable = 17,
  cDefaultType = 18,
};

}  // namespace

CatalogTypeValues CatalogColumnType(const InfCursor* cur, int32_t type, int32_t len) noexcept {
  const bool wide = CatWide(cur);
  const bool v3 = CatOdbc3(cur);
  const int32_t base = type & 0xFF;
  const int32_t prec = (len >> 8) & 0xFF;
  const int32_t scale = len & 0xFF;
  const int32_t max = len & 0xFF;  // a varying type's length is minimum << 8 | maximum
  CatalogTypeValues v;
  const auto fixed = [&v](const char* name, int32_t t, int32_t size, int32_t buffer) {
    v.typeName = name;
    v.dataType = v.sqlDataType = t;
    v.size = size;
    v.buffer = buffer;
    v.octets = -1;
  };
  const auto text = [&v, wide](const char* name, int32_t narrowType, int32_t wideType,
                               int32_t size) {
    v.typeName = name;
    v.dataType = v.sqlDataType = wide ? wideType : narrowType;
    v.size = size;
    v.buffer = wide ? 2 * size : size;
    v.octets = v.buffer;
  };
  switch (base) {
    case IXR_TYPE_CHAR: text("CHAR", 1, -8, len); break;
    case IXR_TYPE_SMALLINT: fixed("SMALLINT", 5, 5, 2); break;
    case IXR_TYPE_INTEGER: fixed("INTEGER", 4, 10, 4); break;
    case IXR_TYPE_FLOAT: fixed("FLOAT", 8, 15, 8); break;
    case IXR_TYPE_SMALLFLOAT: fixed("SMALLFLOAT", 7, 7, 4); break;
    case IXR_TYPE_DECIMAL:
      fixed("DECIMAL", scale != 255 ? 3 : 6, prec, ixr_display_width(base, len));
      if (scale != 255) v.digits = scale;
      break;
    case IXR_TYPE_SERIAL: fixed("SERIAL", 4, 10, 4); break;
    case IXR_TYPE_DATE:
      fixed("DATE", v3 ? 91 : 9, 10, 6);
      v.sqlDataType = 9;
      v.sub = 1;
      break;
    case IXR_TYPE_MONEY:
      fixed("MONEY", 3, prec, ixr_display_width(base, len));
      v.digits = scale != 255 ? scale : prec;
      break;
    case IXR_TYPE_DATETIME:
      fixed("DATETIME YEAR TO FRACTION(5)", v3 ? 93 : 11, 25, 16);
      v.sqlDataType = 9;
      v.digits = 5;
      v.sub = 3;
      break;
    case IXR_TYPE_BYTE:
      fixed("BYTE", -4, 2147483640, 2147483640);
      v.octets = 2147483640;
      break;
    case IXR_TYPE_TEXT:
      fixed("TEXT", wide ? -10 : -1, 2147483640, 2147483640);
      v.octets = 2147483640;
      break;
    case IXR_TYPE_VARCHAR: text("VARCHAR", 12, -9, max); break;
    case IXR_TYPE_INTERVAL: {
      // Described as fixed-width text, as the result columns of the type are.
      const int32_t width = ixr_display_width(base, len);
      fixed("INTERVAL", 1, width, width);
      v.octets = width;
      break;
    }
    case IXR_TYPE_NCHAR: text("NCHAR", 1, -8, len); break;
    case IXR_TYPE_NVARCHAR: text("NVARCHAR", 12, -9, max); break;
    case IXR_TYPE_LVARCHAR_CATALOG:
      fixed("LVARCHAR", 12, 2147483647, 2147483647);
      if (wide) v.octets = 2147483647;
      break;
    default: break;
  }
  return v;
}

void CatalogSetType(InfCursor* cur, const CatalogTypeValues& v,
                    const CatalogTypeColumns& at) noexcept {
  if (v.typeName == nullptr) return;
  CatSetText(cur, at.typeName, v.typeName);
  CatSetInt(cur, at.dataType, v.dataType);
  CatSetInt(cur, at.size, v.size);
  CatSetInt(cur, at.buffer, v.buffer);
  if (v.digits >= 0)
    CatSetInt(cur, at.digits, v.digits);
  else
    CatSetNull(cur, at.digits);
}

ColumnInfo CatalogDescribe(const char* name, int32_t sqlType, uint32_t textType,
                           uint32_t size) noexcept {
  ColumnInfo c{};
  std::strncpy(c.name, name, sizeof c.name - 1);
  c.sqlType = sqlType;
  switch (sqlType) {
    case 5:
      c.nativeType = IXR_TYPE_SMALLINT;
      c.precision = 5;
      c.displaySize = 6;
      c.bindType = DS_SMALLINT;
      c.octetLength = 2;
      break;
    case 4:
      c.nativeType = IXR_TYPE_INTEGER;
      c.precision = 10;
      c.displaySize = 11;
      c.bindType = DS_INTEGER;
      c.octetLength = 4;
      break;
    default:
      c.nativeType = IXR_TYPE_CHAR;
      c.precision = c.displaySize = static_cast<int32_t>(size);
      c.bindType = textType;
      c.octetLength = size;
      break;
  }
  return c;
}

namespace {

void fixColumns(InfCursor* cur) {
  CatalogNameRule(cur, cCat);
  if (!CatIsNull(cur, cDefaultType)) {
    const char letter = CatFirstChar(cur, cDefaultType);
    if (letter == 'N')
      CatSetText(cur, cDefault, "NULL");
    else if (letter != 'L')
      CatSetNull(cur, cDefault);
  }
  const int32_t type = CatInt(cur, cSize);
  const int32_t len = CatInt(cur, cBuffer) & 0xFFFF;
  if ((type & IXR_TYPE_NOTNULL) == 0) {
    CatSetInt(cur, cNullable, 1);
    CatSetText(cur, cIsNullable, "YES");
  }
  // Only the date and time types have a subcode.
  CatSetNull(cur, cSub);
  const CatalogTypeValues v = CatalogColumnType(cur, type, len);
  if (v.typeName == nullptr) return;
  CatalogSetType(cur, v, {cDataType, cTypeName, cSize, cBuffer, cDigits});
  CatSetInt(cur, cSqlDataType, v.sqlDataType);
  if (v.sub >= 0) CatSetInt(cur, cSub, v.sub);
  if (v.octets == -1)
    CatSetNull(cur, cOctets);
  else if (v.octets >= 0)
    CatSetInt(cur, cOctets, v.octets);
}

}  // namespace

int32_t INF_DDTables(DrvHandle hCursor, const DDTablesArgs* args) {
  return CatalogCall(hCursor, args, [args](InfCursor* cur) { return tables(cur, args); });
}

int32_t INF_DDColumns(DrvHandle hCursor, const DDColumnArgs* a) {
  return CatalogCall(hCursor, a, [a](InfCursor* cur) {
    CatalogArgs args;
    args.name(1, a->catalog);
    args.schema(2, a->schema, true);
    args.pattern(3, a->object);
    args.pattern(4, a->column);
    int32_t rc = RunCatalogQuery(cur->handle, kColumns.data(), args.args(), args.count());
    if (rc != 0) return rc;
    cur->rowCallback = fixColumns;
    ApplyResultTypes(cur, kColumnsTypes);
    return 0;
  });
}
