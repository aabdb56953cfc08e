// connconf.cpp -- from a connection string (or SQLConnect's three texts) to the
// configuration of one connection, then the connect.
// Values the application gives are never limited in length; values read from
// the configuration are cut to their row's room. The completed connection
// string braces every value that holds a separator, so it reads back as the
// same values. Passwords never reach the trace.
// Threading: the keyword table and ConnectOptions are process-wide: every use
// is under DriverLock.

#include "odbc/connconf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv/connopts.h"
#include "drv/copystr.h"
#include "drv/errtab.h"
#include "odbc/conn.h"
#include "odbc/dispatch.h"
#include "odbc/envr.h"
#include "odbc/odbcinst.h"
#include "odbc/stmt.h"
#include "odbc/trace.h"
#include "platform/prompt/kesprompt.h"
#include "platform/windows/registry.h"
#include "util/conv.h"
#include "util/str.h"

ConnKeyword ConnKeywordTable[CONN_KEYWORD_COUNT] = {
    {"DSN", nullptr, 1, 0, 0, nullptr},
    {"UID", "LastUser", 1, 129, 0, nullptr},
    {"READONLY", "ReadOnly", 1, 5, 0, nullptr},
    {"PWD", "PWD", 0, 129, 0, nullptr},
    {"FBS", "FetchBufferSize", 1, 5, 0, nullptr},
    {"NLB", "NoLoginBox", 1, 5, 0, nullptr},
    {"MAXROWS", "MaxRows", 1, 5, 0, nullptr},
    {"NOAC", "NoAutoCommit", 1, 6, 0, nullptr},
    {"DATABASE", "Database", 1, 81, 0, nullptr},
    {"HOST", "Host", 1, 41, 0, nullptr},
    {"PROTO", "Protocol", 1, 21, 0, nullptr},
    {"SERVICE", "Service", 1, 21, 0, nullptr},
    {"JET", "JET", 1, 6, 0, nullptr},
    {"INFSERVER", "InfServer", 1, 41, 0, nullptr},
    {"NRSSL", "NoRowsetSizeLimit", 1, 6, 0, nullptr},
    {"DRIVER", nullptr, 1, 81, 0, nullptr},
    {"FDSN", "File DSN", 0, 5, 0, nullptr},
    {"INITSQL", "InitialSQL", 1, 81, 0, nullptr},
    {"MULTISESS", "MultiSess", 1, 6, 0, nullptr},
    {"SPACEPADCHAR", "SpacePadChar", 1, 6, 0, nullptr},
    {"DYN_CURS_SENSITIVITY", "DynCursSensitivity", 1, 10, 0, nullptr},
    {"FORCEONLINEDB", "ForceOnlineDB", 1, 6, 0, nullptr},
    {"DLF", "DeferLongFetch", 1, 5, 0, nullptr},
    {"CLIENTLOC", "ClientLocale", 1, 21, 0, nullptr},
    {"FORCEDORMANT", "ForceDormant", 1, 6, 0, nullptr},
    {"FILEDSN", nullptr, 1, 256, 0, nullptr},
    {"SQLDBMSNAME", "SqlDbmsName", 1, 41, 0, nullptr},
    {"IV", "IncludeViews", 1, 5, 0, nullptr},
    {"IA", "IncludeAll", 1, 5, 0, nullptr},
};

namespace {

void clear_table() {
  for (ConnKeyword& row : ConnKeywordTable) {
    if (row.value != nullptr && &row == &ConnKeywordTable[CK_PWD])
      memset(row.value, 0, strlen(row.value));
    free(row.value);
    row.value = nullptr;
    row.supplied = 0;
  }
}

void set_value(int row, const char* text, size_t len) {
  ConnKeyword& r = ConnKeywordTable[row];
  free(r.value);
  r.value = static_cast<char*>(malloc(len + 1));
  if (r.value == nullptr) return;
  memcpy(r.value, text, len);
  r.value[len] = '\0';
}

int find_row(std::string_view keyword) {
  for (int i = 0; i < CONN_KEYWORD_COUNT; ++i) {
    const char* k = ConnKeywordTable[i].keyword;
    if (keyword.size() == strlen(k) && str_nicmp(keyword.data(), k, keyword.size()) == 0) return i;
  }
  return -1;
}

// Cuts a configuration value to maxLen - 1 bytes at a whole UTF-8 character.
size_t config_len(const char* v, int32_t maxLen) {
  size_t len = strlen(v);
  if (maxLen <= 0 || len < static_cast<size_t>(maxLen)) return len;
  len = static_cast<size_t>(maxLen - 1);
  while (len > 0 && (static_cast<unsigned char>(v[len]) & 0xC0) == 0x80) --len;
  return len;
}

enum class Source { Dsn, FileDsn, Default };

// A row's configuration value through the installer's wide functions, the road
// of a connect through a wide entry point, as UTF-8 cut to the row's room.
void read_wide(Source src, const char16_t* dsn, const char16_t* file, const ConnKeyword& row,
               char* out, int32_t maxLen) {
  char16_t value[255] = {};
  char16_t name[128];
  switch (src) {
    case Source::Dsn:
      if (dsn != nullptr)
        (void)SQLGetPrivateProfileStringW(dsn, utf8_to_wcs_copy(name, row.iniName, 128), u"", value,
                                          255, u"odbc.ini");
      break;
    case Source::FileDsn: {
      uint16_t len = 0;
      if (file == nullptr ||
          SQLReadFileDSNW(file, u"ODBC", utf8_to_wcs_copy(name, row.keyword, 128), value, 255,
                          &len) == 0)
        value[0] = 0;
      break;
    }
    case Source::Default:
      (void)SQLGetPrivateProfileStringW(u"Default", utf8_to_wcs_copy(name, row.iniName, 128), u"",
                                        value, 255, u"odbc.ini");
      break;
  }
  (void)wcs_to_utf8_buf(value, out, maxLen, nullptr);
}

void complete_from_configuration(bool wide) {
  const char* dsn = ConnKeywordValue(CK_DSN);
  const char* filedsn = ConnKeywordValue(CK_FILEDSN);
  Source src = dsn[0] != '\0'       ? Source::Dsn
               : filedsn[0] != '\0' ? Source::FileDsn
                                    : Source::Default;
  std::string dsnCopy = dsn;
  std::string fileCopy = filedsn;
  char16_t* dsnWide = wide ? utf8_to_wcs_dup(dsnCopy.c_str()) : nullptr;
  char16_t* fileWide = wide ? utf8_to_wcs_dup(fileCopy.c_str()) : nullptr;
  for (int i = 0; i < CONN_KEYWORD_COUNT; ++i) {
    ConnKeyword& row = ConnKeywordTable[i];
    if (row.iniName == nullptr || row.supplied != 0) continue;
    char buf[1024];
    buf[0] = '\0';
    if (wide) {
      read_wide(src, dsnWide, fileWide, row, buf, row.maxLen);
      set_value(i, buf, strlen(buf));
      continue;
    }
    switch (src) {
      case Source::Dsn:
        SQLGetPrivateProfileString(dsnCopy.c_str(), row.iniName, "", buf, sizeof buf, "odbc.ini");
        break;
      case Source::FileDsn: {
        uint16_t len = 0;
        if (SQLReadFileDSN(fileCopy.c_str(), "ODBC", row.keyword, buf, sizeof buf, &len) == 0)
          buf[0] = '\0';
        break;
      }
      case Source::Default:
        SQLGetPrivateProfileString("Default", row.iniName, "", buf, sizeof buf, "odbc.ini");
        break;
    }
    set_value(i, buf, config_len(buf, row.maxLen));
  }
  free(dsnWide);
  free(fileWide);
}

// What users write for "on" in connection strings and odbc.ini, in any case;
// anything else, "0", "NO", "FALSE", "OFF" and the empty text among it, is off.
bool text_true(const char* v) {
  for (const char* on : {"1", "YES", "TRUE", "ON"})
    if (str_icmp(v, on) == 0) return true;
  return false;
}

// Decimal value of a row; 0 for empty or unreadable text.
long long row_number(int row) {
  const char* v = ConnKeywordValue(row);
  char* end = nullptr;
  long long n = strtoll(v, &end, 10);
  return end == v ? 0 : n;
}

void replace_text(char** field, const char* value) {
  free(*field);
  *field = (value != nullptr && value[0] != '\0') ? strdup(value) : nullptr;
}

char* dup_or_null(const char* v) { return v != nullptr ? strdup(v) : nullptr; }

// The application's connection string for the trace, passwords masked.
std::string masked_for_trace(const char* text) {
  if (text == nullptr) return "<null>";
  std::string out;
  for (const ConnPair& p : SplitConnectString(text)) {
    if (!out.empty()) out += ';';
    out += p.keyword + '=';
    out += str_icmp(p.keyword.c_str(), "PWD") == 0 ? "***" : ConnStringValue(p.value);
  }
  return out;
}

void fill_connect_options() {
  ConnectOptions.jet = ConnKeywordTrue(CK_JET) ? 1 : 0;
  long long maxRows = row_number(CK_MAXROWS);
  ConnectOptions.maxRows = maxRows < 0            ? 0
                           : maxRows > 0x7FFFFFFF ? 0x7FFFFFFF
                                                  : static_cast<int32_t>(maxRows);
  ConnectOptions.noAutoCommit = ConnKeywordTrue(CK_NOAC) ? 1 : 0;
  ConnectOptions.noRowsetSizeLimit = ConnKeywordTrue(CK_NRSSL) ? 1 : 0;
  ConnectOptions.dynCursSensitivity =
      CursSensitivityFromText(ConnKeywordValue(CK_DYN_CURS_SENSITIVITY));
  ConnectOptions.forceOnlineDb = ConnKeywordTrue(CK_FORCEONLINEDB) ? 1 : 0;
  ConnectOptions.forceDormant = ConnKeywordTrue(CK_FORCEDORMANT) ? 1 : 0;
  ConnectOptions.multiSess = ConnKeywordTrue(CK_MULTISESS) ? 1 : 0;
  ConnectOptions.spacePadChar = ConnKeywordTrue(CK_SPACEPADCHAR) ? 1 : 0;
  // Texts left by a connect that failed before the agent took them go now.
  replace_text(&ConnectOptions.initialSql, ConnKeywordValue(CK_INITSQL));
  replace_text(&ConnectOptions.clientLocale, ConnKeywordValue(CK_CLIENTLOC));
  replace_text(&ConnectOptions.sqlDbmsName, ConnKeywordValue(CK_SQLDBMSNAME));
}

int32_t fetch_size() {
  long long fbs = row_number(CK_FBS);
  if (fbs <= 0) return 60;
  return fbs > 65535 ? 65535 : static_cast<int32_t>(fbs);
}

const char* tf(int32_t v) { return v != 0 ? "TRUE" : "FALSE"; }

std::string completed_string(const char* user, const char* password, const char* dsn,
                             int32_t fetchSize) {
  auto kv = [](const char* k, const std::string& v) {
    return std::string(k) + "=" + ConnStringValue(v) + ";";
  };
  std::string out;
  const char* driver = ConnKeywordValue(CK_DRIVER);
  if (driver[0] != '\0') {
    out += std::string("DRIVER=") + driver + ";";
    out += kv("UID", user);
    out += kv("PWD", password);
    out += kv("DATABASE", ConnKeywordValue(CK_DATABASE));
    out += kv("HOST", ConnKeywordValue(CK_HOST));
    out += kv("JET", tf(ConnectOptions.jet));
    out += "FBS=" + std::to_string(fetchSize) + ";";
    out += kv("READONLY", ConnKeywordValue(CK_READONLY));
    out += kv("NLB", ConnKeywordValue(CK_NLB));
    out += "MAXROWS=" + std::to_string(ConnectOptions.maxRows) + ";";
    out += kv("NOAC", tf(ConnectOptions.noAutoCommit));
    out += kv("PROTO", ConnKeywordValue(CK_PROTO));
    out += kv("SERVICE", ConnKeywordValue(CK_SERVICE));
    out += kv("INFSERVER", ConnKeywordValue(CK_INFSERVER));
    out += kv("NRSSL", tf(ConnectOptions.noRowsetSizeLimit));
    out += kv("MULTISESS", tf(ConnectOptions.multiSess));
    out += kv("SPACEPADCHAR", tf(ConnectOptions.spacePadChar));
    out += kv("DYN_CURS_SENSITIVITY", CursSensitivityName(ConnectOptions.dynCursSensitivity));
    out += kv("DLF", ConnKeywordValue(CK_DLF));
    out += kv("CLIENTLOC", ConnKeywordValue(CK_CLIENTLOC));
    out += kv("FORCEONLINEDB", tf(ConnectOptions.forceOnlineDb));
    out += kv("FORCEDORMANT", tf(ConnectOptions.forceDormant));
    out += kv("SQLDBMSNAME", ConnKeywordValue(CK_SQLDBMSNAME));
    out += kv("IV", ConnKeywordValue(CK_IV));
    out += kv("IA", ConnKeywordValue(CK_IA));
    out += "Server=Kestrane";
  } else {
    out += kv("DSN", dsn);
    out += kv("UID", user);
    out += kv("PWD", password);
    out += kv("DATABASE", ConnKeywordValue(CK_DATABASE));
    out += kv("HOST", ConnKeywordValue(CK_HOST));
    out += kv("JET", tf(ConnectOptions.jet));
    out += "FBS=" + std::to_string(fetchSize);
  }
  return out;
}

// The driver name the dialog shows.
char* dialog_driver_name() {
  if (ConnKeywordTable[CK_DRIVER].supplied == 0) return GetDsnDriverName();
  std::string_view v = ConnKeywordValue(CK_DRIVER);
  size_t open = v.find('{');
  size_t start = open == std::string_view::npos ? 0 : open + 1;
  size_t close = v.find('}', start);
  std::string name(
      v.substr(start, close == std::string_view::npos ? std::string_view::npos : close - start));
  return strdup(name.c_str());
}

bool needs_login(const char* v) { return v == nullptr || v[0] == '\0' || v[0] == ' '; }

// The back end refused the user or the password: what a login dialog asks for.
bool login_refused(const Conn* conn) {
  for (const DiagMsg* m = conn->diag.head; m != nullptr; m = m->next)
    if (m->text != nullptr && stristr(m->text, "[SQLSTATE:28000]") != nullptr) return true;
  return false;
}

// A user that any source gave (the string, the data source, a file DSN) stays;
// only an empty one is filled from the data source's last user. The wide road
// names the section whole, however long the data source's name.
void fill_last_user(char marker) {
  const char* uid = ConnKeywordTable[CK_UID].value;
  if (uid != nullptr && uid[0] != '\0') return;
  std::string section = ConnKeywordValue(CK_DSN);
  if (section.empty() && ConnKeywordValue(CK_FILEDSN)[0] == '\0') section = "Default";
  char buf[129] = {};
  if (!section.empty() && marker == 'W') {
    char16_t* sectionWide = utf8_to_wcs_dup(section.c_str());
    char16_t value[129] = {};
    if (sectionWide != nullptr)
      (void)SQLGetPrivateProfileStringW(sectionWide, u"LastUser", u"", value, 129, u"odbc.ini");
    free(sectionWide);
    (void)wcs_to_utf8_buf(value, buf, sizeof buf, nullptr);
  } else if (!section.empty()) {
    SQLGetPrivateProfileString(section.c_str(), "LastUser", "", buf, sizeof buf, "odbc.ini");
  }
  set_value(CK_UID, buf, strlen(buf));
  ConnKeywordTable[CK_UID].supplied = 1;
}

// Writes the completed string in the entry point's form. Returns true when it
// was cut; *full is the whole length (bytes for 'A', characters for 'W').
bool completed_out(const std::string& text, void* out, int64_t outMax, bool wide, int64_t* full) {
  if (wide) {
    *full = utf8_char_count(text.c_str(), CONV_NTS);
    if (out != nullptr && outMax > 0) {
      int16_t ignored = 0;
      (void)utf8_to_wcs_buf_len(text.c_str(), static_cast<char16_t*>(out), outMax, &ignored);
    }
  } else {
    *full = static_cast<int64_t>(text.size());
    (void)CopyStrOutLen(text.c_str(), static_cast<char*>(out), outMax, nullptr);
  }
  return out != nullptr && *full + 1 > outMax;
}

}  // namespace

std::vector<ConnPair> SplitConnectString(std::string_view text) {
  std::vector<ConnPair> pairs;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = std::string_view::npos;
    size_t j = i;
    while (j < text.size() && text[j] != ';' && text[j] != '=') ++j;
    if (j >= text.size() || text[j] == ';') {
      i = j + 1;  // a segment without '=' is skipped
      continue;
    }
    eq = j;
    ConnPair p;
    p.keyword.assign(text.substr(i, eq - i));
    size_t v = eq + 1;
    if (v < text.size() && text[v] == '{') {
      const bool keepBraces = str_icmp(p.keyword.c_str(), "DRIVER") == 0;
      size_t k = v + 1;
      std::string value;
      bool closed = false;
      while (k < text.size()) {
        if (text[k] == '}') {
          if (k + 1 < text.size() && text[k + 1] == '}') {
            value += '}';
            k += 2;
            continue;
          }
          closed = true;
          ++k;
          break;
        }
        value += text[k++];
      }
      if (closed) {
        p.value = keepBraces ? std::string(text.substr(v, k - v)) : value;
        // Whatever follows the closing brace up to the ';' is not part of it.
        while (k < text.size() && text[k] != ';') ++k;
        i = k + 1;
        pairs.push_back(std::move(p));
        continue;
      }
      // An unclosed brace is an ordinary character.
    }
    size_t end = text.find(';', v);
    if (end == std::string_view::npos) end = text.size();
    p.value.assign(text.substr(v, end - v));
    i = end + 1;
    pairs.push_back(std::move(p));
  }
  return pairs;
}

std::string ConnStringValue(std::string_view value) {
  bool plain = value.find_first_of(";{}") == std::string_view::npos &&
               (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

void ParseConnectPairs(const std::vector<ConnPair>& pairs, char marker) {
  clear_table();
  for (const ConnPair& p : pairs) {
    int row = find_row(p.keyword);
    if (row < 0) continue;
    set_value(row, p.value.data(), p.value.size());
    ConnKeywordTable[row].supplied = 1;
  }
  complete_from_configuration(marker == 'W');
}

void ParseConnectString(const char* text, char marker) {
  if (text == nullptr) {
    clear_table();
    return;
  }
  ParseConnectPairs(SplitConnectString(text), marker);
}

bool ConnKeywordTrue(int row) { return text_true(ConnKeywordValue(row)); }

const char* ConnKeywordValue(int row) {
  const char* v = ConnKeywordTable[row].value;
  return v != nullptr ? v : "";
}

char* GetDsnDriverName() {
  auto* name = static_cast<char*>(calloc(256, 1));
  if (name == nullptr) return nullptr;
  const char* dsn = ConnKeywordValue(CK_DSN);
  if (dsn[0] == '\0') return name;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
      continue;
    uint32_t type = 0;
    uint32_t size = 255;
    int32_t rc =
        RegQueryValueExA(key, dsn, nullptr, &type, reinterpret_cast<uint8_t*>(name), &size);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS && type == REG_SZ && name[0] != '\0') {
      name[255] = '\0';
      return name;
    }
    name[0] = '\0';
  }
  SQLGetPrivateProfileString("ODBC Data Sources", dsn, "", name, 256, "odbc.ini");
  return name;
}

int32_t CursSensitivityFromText(const char* text) {
  if (text == nullptr) return 0;
  if (text[0] == 'D' || text[0] == 'd') return 2;
  if (text[0] == 'H' || text[0] == 'h') return 1;
  return 0;
}

const char* CursSensitivityName(int32_t value) {
  switch (value) {
    case 1: return "HIGH";
    case 2: return "DISABLED";
    default: return "LOW";
  }
}

// The common tail of both connects once the table is filled.
static SQLRETURN connect_from_table(Conn* conn, const char* traceText, void* out, int64_t outMax,
                                    SQLSMALLINT* outLen, char marker) {
  fill_connect_options();
  const char* user = ConnKeywordValue(CK_UID);
  const char* password = ConnKeywordValue(CK_PWD);
  std::string dsn = ConnKeywordValue(CK_DSN);
  if (dsn.empty() && ConnKeywordValue(CK_FILEDSN)[0] == '\0') dsn = "Default";

  ConnFreeStrings(conn);
  conn->cn_uid = dup_or_null(user);
  conn->cn_pwd = dup_or_null(password);
  conn->cn_dbpath = dup_or_null(ConnKeywordValue(CK_DATABASE));
  conn->cn_dbhost = dup_or_null(ConnKeywordValue(CK_HOST));
  conn->cn_proto = dup_or_null(ConnKeywordValue(CK_PROTO));

  std::string dbopts;
  const char* service = ConnKeywordValue(CK_SERVICE);
  const char* server = ConnKeywordValue(CK_INFSERVER);
  const char* host = ConnKeywordValue(CK_HOST);
  const char* proto = ConnKeywordValue(CK_PROTO);
  if (service[0] != '\0') dbopts += std::string("-V ") + service;
  if (server[0] != '\0') dbopts += std::string(" -S ") + server;
  if (host[0] != '\0') dbopts += std::string(" -H ") + host;
  if (proto[0] != '\0') dbopts += std::string(" -P ") + proto;
  conn->cn_dbopts = strdup(dbopts.c_str());

  conn->flags &= CONN_F_ATTR_MASK;
  conn->flags &= static_cast<uint16_t>(~(CONN_F_INCLUDE_VIEWS | CONN_F_INCLUDE_ALL));
  if (ConnKeywordTrue(CK_READONLY)) conn->flags |= CONN_F_READONLY;
  if (ConnKeywordTrue(CK_DLF)) conn->flags |= CONN_F_DEFER_LONG;
  if (ConnKeywordTrue(CK_IV)) conn->flags |= CONN_F_INCLUDE_VIEWS;
  if (ConnKeywordTrue(CK_IA)) conn->flags |= CONN_F_INCLUDE_ALL;
  conn->cn_dsn = strdup(dsn.c_str());
  conn->cn_fetchSize = fetch_size();

  std::string completed = completed_string(user, password, dsn.c_str(), conn->cn_fetchSize);

  if (TraceLevel.load() != 0) {
    TraceODBC("connStr=[%s]", traceText);
    for (const ConnKeyword& row : ConnKeywordTable) {
      if (row.traced == 0) continue;
      TraceODBC("  key=[%s] data=[%s] supplied=%d", row.keyword,
                row.value != nullptr ? row.value : "<null>", row.supplied);
    }
    TraceODBC("cn_dbpath=[%s] cn_dbopts=[%s] cn_readonly=%d",
              conn->cn_dbpath != nullptr ? conn->cn_dbpath : "", conn->cn_dbopts,
              (conn->flags & CONN_F_READONLY) != 0 ? 1 : 0);
    TraceODBC("cn_fetchSize=%d cn_dbhost=[%s] cn_svtype=[%s]", conn->cn_fetchSize,
              conn->cn_dbhost != nullptr ? conn->cn_dbhost : "",
              conn->cn_svtype != nullptr ? conn->cn_svtype : "");
  }
  clear_table();

  ConnOpen(conn, marker);
  if (conn->state != CONN_STATE_CONNECTED) {
    std::fill(completed.begin(), completed.end(), '\0');
    return SQL_ERROR;
  }
  // Messages of a connect that succeeded are its warnings.
  const bool warned = conn->diag.head != nullptr;
  int64_t full = 0;
  bool cut = completed_out(completed, out, outMax, marker == 'W', &full);
  std::fill(completed.begin(), completed.end(), '\0');
  if (outLen != nullptr) *outLen = full > 32767 ? 32767 : static_cast<SQLSMALLINT>(full);
  if (cut) {
    conn->errCode = ERR_TRUNCATED;
    return SQL_SUCCESS_WITH_INFO;
  }
  return warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN ConnDriverConnect(Conn* conn, const CallSlot* args) {
  void* window = SlotAs<void*>(args[0]);
  const char* in = SlotAs<const char*>(args[1]);
  const int64_t inLen = SlotI16(args[2]);
  void* out = SlotAs<void*>(args[3]);
  const int64_t outMax = SlotI64(args[4]);
  auto* outLen = SlotAs<SQLSMALLINT*>(args[5]);
  const uint16_t completion = SlotU16(args[6]);
  const char marker = SlotIsWide(args[7]) ? 'W' : 'A';

  if (conn->state == CONN_STATE_CONNECTED) {
    conn->errCode = ERR_CONN_IN_USE;
    return SQL_ERROR;
  }
  // A NUL inside the length followed by more of the string is refused: the keywords
  // after it would be dropped without a word.
  int64_t settled = inLen;
  if (outMax < 0 || (inLen < 0 && inLen != SQL_NTS) || !str_settle_length(in, &settled)) {
    conn->errCode = ERR_BUFFER_LENGTH;
    return SQL_ERROR;
  }
  std::string incoming;
  if (in != nullptr)
    incoming = settled == SQL_NTS ? std::string(in) : std::string(in, static_cast<size_t>(settled));
  ParseConnectString(incoming.c_str(), marker);

  char* driverName = dialog_driver_name();
  bool prompt = false;
  switch (completion) {
    case SQL_DRIVER_COMPLETE:
    case SQL_DRIVER_COMPLETE_REQUIRED:
      prompt = needs_login(ConnKeywordTable[CK_UID].value) ||
               needs_login(ConnKeywordTable[CK_PWD].value);
      break;
    case SQL_DRIVER_PROMPT: prompt = true; break;
    default: break;
  }
  if (ConnKeywordTrue(CK_NLB)) prompt = false;
  fill_last_user(marker);

  // Without a window of the application's there is nobody to ask, and the
  // process's terminal is not read: a dialog asked for fails. A completion may
  // have enough all the same (a server without users needs neither user nor
  // password), so the connection is tried; only a refusal for want of a login
  // is a failed dialog.
  if (prompt && window == nullptr) {
    free(driverName);
    if (completion == SQL_DRIVER_PROMPT) {
      clear_table();
      std::fill(incoming.begin(), incoming.end(), '\0');
      conn->errCode = ERR_DIALOG_FAILED;
      return SQL_ERROR;
    }
    std::string traceText = masked_for_trace(incoming.c_str());
    std::fill(incoming.begin(), incoming.end(), '\0');
    const SQLRETURN rc = connect_from_table(conn, traceText.c_str(), out, outMax, outLen, marker);
    if (rc != SQL_ERROR || !login_refused(conn)) return rc;
    DiagListFree(&conn->diag);
    conn->errCode = ERR_DIALOG_FAILED;
    return SQL_ERROR;
  }
  if (prompt) {
    char* completedByUser = nullptr;
    int answer = KesLOGIN(window, driverName != nullptr ? driverName : "", incoming.c_str(),
                          &completedByUser, marker);
    if (answer != 1) {
      KesLOGIN_Free(completedByUser);
      free(driverName);
      clear_table();
      return SQL_NO_DATA;
    }
    ParseConnectString(nullptr, marker);
    ParseConnectString(completedByUser != nullptr ? completedByUser : "", marker);
    incoming = completedByUser != nullptr ? completedByUser : "";
    KesLOGIN_Free(completedByUser);
  }
  free(driverName);
  std::string traceText = masked_for_trace(incoming.c_str());
  std::fill(incoming.begin(), incoming.end(), '\0');
  return connect_from_table(conn, traceText.c_str(), out, outMax, outLen, marker);
}

SQLRETURN DriverConnectImpl(Conn* conn, const CallSlot* args) {
  CriticalSectionLock g(&DriverLock);
  return ConnDriverConnect(conn, args);
}

SQLRETURN CallDriverConnect(Conn* conn, void* window, const char* in, int16_t inLen, void* out,
                            int16_t outMax, SQLSMALLINT* outLen, uint16_t completion, char marker) {
  const CallSlot args[8] = {
      Slot(window), Slot(in),     Slot(inLen),      Slot(out),
      Slot(outMax), Slot(outLen), Slot(completion), marker == 'W' ? CALL_MARKER_W : CALL_MARKER_A};
  return DriverConnectImpl(conn, args);
}

SQLRETURN ConnectImpl(Conn* conn, const CallSlot* args) {
  if (conn->state == CONN_STATE_CONNECTED) {
    conn->errCode = ERR_CONN_IN_USE;
    return SQL_ERROR;
  }
  std::string values[3];
  for (int i = 0; i < 3; ++i) {
    const char* text = SlotAs<const char*>(args[2 * i]);
    int64_t len = SlotI16(args[2 * i + 1]);
    // A text ends at its NUL, as it always has, when only NULs follow it; anything
    // else after a NUL would be dropped from the value given, and is refused.
    if ((len < 0 && len != SQL_NTS) || !str_settle_length(text, &len)) {
      conn->errCode = ERR_BUFFER_LENGTH;
      return SQL_ERROR;
    }
    if (text == nullptr) continue;
    values[i] = len == SQL_NTS ? std::string(text) : std::string(text, static_cast<size_t>(len));
  }
  const char marker = SlotIsWide(args[6]) ? 'W' : 'A';
  if (TraceLevel.load() != 0)
    TraceODBC("DSN=%s;UID=%s;PWD=***", values[0].c_str(), values[1].c_str());
  // Each text is written as one value (braced when it holds a separator), so a
  // ';' in a user or password can never add a keyword of its own. The completed
  // string has nowhere to go: none is asked for, and none can be cut.
  std::string text = "DSN=" + ConnStringValue(values[0]) + ";UID=" + ConnStringValue(values[1]) +
                     ";PWD=" + ConnStringValue(values[2]);
  std::fill(values[2].begin(), values[2].end(), '\0');
  SQLSMALLINT completedLen = 0;
  const SQLRETURN rc = CallDriverConnect(conn, nullptr, text.c_str(), SQL_NTS, nullptr, 0,
                                         &completedLen, SQL_DRIVER_NOPROMPT, marker);
  std::fill(text.begin(), text.end(), '\0');
  return rc;
}
