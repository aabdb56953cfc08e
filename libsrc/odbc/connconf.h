#pragma once
// connconf.h -- connection configuration: the connection-string keywords, the
// values completed from the data source, a file DSN or the "Default" section,
// the login prompt, the ConnectOptions block and the completed connection
// string handed back by SQLDriverConnect.
// ConnKeywordTable and ConnectOptions are single process-wide instances, so a
// whole connect runs under DriverLock.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "odbc/callargs.h"

struct Conn;

struct ConnKeyword {
  const char* keyword;  // matched without regard to ASCII case
  const char* iniName;  // value name in odbc.ini, or null
  int32_t traced;       // 0 keeps the row out of the connect trace
  int32_t maxLen;       // room for a configuration value, NUL included
  int32_t supplied;     // 1 when the connection string gave the keyword
  char* value;          // owned, or null
};

inline constexpr int CK_DSN = 0;
inline constexpr int CK_UID = 1;
inline constexpr int CK_READONLY = 2;
inline constexpr int CK_PWD = 3;
inline constexpr int CK_FBS = 4;
inline constexpr int CK_NLB = 5;
inline constexpr int CK_MAXROWS = 6;
inline constexpr int CK_NOAC = 7;
inline constexpr int CK_DATABASE = 8;
inline constexpr int CK_HOST = 9;
inline constexpr int CK_PROTO = 10;
inline constexpr int CK_SERVICE = 11;
inline constexpr int CK_JET = 12;
inline constexpr int CK_INFSERVER = 13;
inline constexpr int CK_NRSSL = 14;
inline constexpr int CK_DRIVER = 15;
inline constexpr int CK_FDSN = 16;
inline constexpr int CK_INITSQL = 17;
inline constexpr int CK_MULTISESS = 18;
inline constexpr int CK_SPACEPADCHAR = 19;
inline constexpr int CK_DYN_CURS_SENSITIVITY = 20;
inline constexpr int CK_FORCEONLINEDB = 21;
inline constexpr int CK_DLF = 22;
inline constexpr int CK_CLIENTLOC = 23;
inline constexpr int CK_FORCEDORMANT = 24;
inline constexpr int CK_FILEDSN = 25;
inline constexpr int CK_SQLDBMSNAME = 26;
inline constexpr int CK_IV = 27;
inline constexpr int CK_IA = 28;
inline constexpr int CONN_KEYWORD_COUNT = 29;

// REQUIRES: DriverLock held for every use.
extern ConnKeyword ConnKeywordTable[CONN_KEYWORD_COUNT];

// One keyword=value pair of a connection string.
struct ConnPair {
  std::string keyword;
  std::string value;
};

// Splits a connection string into its pairs: segments end at ';', a segment
// without '=' is skipped, keywords are not trimmed, and a value that starts
// with '{' runs to its closing '}' ("}}" inside stands for one '}'), so that
// braced values may hold ';'. The DRIVER value keeps its braces.
std::vector<ConnPair> SplitConnectString(std::string_view text);
// Writes a value for a connection string: braced when it holds ';', '{', '}'
// or edge blanks, so that it reads back as the same one value.
std::string ConnStringValue(std::string_view value);

// Clears the table; with a text, fills it from the text and completes the
// missing values from the configuration. REQUIRES: DriverLock.
void ParseConnectString(const char* text, char marker);
// The same with pairs given directly (SQLConnect). REQUIRES: DriverLock.
void ParseConnectPairs(const std::vector<ConnPair>& pairs, char marker);
// "TRUE" or "YES" in any case.
bool ConnKeywordTrue(int row);
const char* ConnKeywordValue(int row);  // "" when unset

// A new text with the driver name of the current DSN (registry, then odbc.ini's
// [ODBC Data Sources]); "" when not found. The caller frees it.
char* GetDsnDriverName();
int32_t CursSensitivityFromText(const char* text);
const char* CursSensitivityName(int32_t value);

// The connect itself. REQUIRES: DriverLock (DriverConnectImpl takes it).
// args: [window, in, inLen, out, outMax, outLen, completion, marker].
SQLRETURN ConnDriverConnect(Conn* conn, const CallSlot* args);
SQLRETURN DriverConnectImpl(Conn* conn, const CallSlot* args);
// args: [dsn, dsnLen, uid, uidLen, pwd, pwdLen, marker]. Connects through
// DriverConnectImpl with the three texts as a connection string, no prompt.
SQLRETURN ConnectImpl(Conn* conn, const CallSlot* args);
// DriverConnectImpl with its arguments given one by one, as a fresh slot block.
SQLRETURN CallDriverConnect(Conn* conn, void* window, const char* in, int16_t inLen, void* out,
                            int16_t outMax, SQLSMALLINT* outLen, uint16_t completion, char marker);
