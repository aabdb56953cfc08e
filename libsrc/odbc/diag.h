#pragma once
// diag.h -- diagnostics: the per-record message lists, the one formatter that
// turns a message or a driver error code into an ODBC diagnostic record, the
// ODBC 2 -> 3 SQLSTATE mapping and the diagnostic workers.
// A record's diagnostics are its errCode and its DiagMsg list. Reading them never
// changes them, except SQLError, which consumes one record per call.
// Threading: a list is changed only under the call lock of its record's connection
// while the record is the connection's busy one, or under GlobalHandleLock when a
// call beside the busy record is refused; diagnostics calls that wait for a busy
// connection read under both (dispatch.cpp).

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/callargs.h"

struct Envr;
struct Conn;
struct Stmt;
struct Desc;

// One message; the text is the record's own copy.
struct DiagMsg {
  DiagMsg* next;
  char* text;  // NUL-terminated 8-bit text, may carry "[SQLSTATE:xxxxx]"
  int32_t nativeError;
};

// First-in first-out list of messages.
struct DiagList {
  DiagMsg* head;
  DiagMsg* tail;
};

inline constexpr const char* DIAG_PREFIX = "[Kestrane][ODBC]";
inline constexpr const char* DIAG_DRIVER_FORMAT = "[Kestrane][ODBC][Driver]%s";

// Appends a copy of text; a message that cannot be stored is dropped.
void DiagListAdd(DiagList* list, const char* text, int32_t nativeError);
// Detaches the first message; the caller frees the text. Null when empty.
char* DiagListPop(DiagList* list, int32_t* nativeError);
void DiagListFree(DiagList* list);
// Text of message n (1-based; n <= 1 gives the first) without detaching it.
const char* DiagListNth(const DiagList* list, int16_t n, int32_t* nativeError);
// Number of messages, but at least 1: an empty list has the errCode row.
int32_t DiagListCount(const DiagList* list);
// ERR_FAILOVER_COMPLETED when a message contains "Failover completed.", else
// ERR_FAILOVER_ABORTED for "Failover aborted.", tested message by message from
// the head; 0 when none does.
int32_t DiagFindFailover(const DiagList* list);
// Rewrites an ODBC 2 SQLSTATE (5 characters and NUL) into its ODBC 3 form.
void MapSqlState3(char* state);

void EnvrAddDiag(Envr* env, const char* text, int32_t nativeError);
char* EnvrPopDiag(Envr* env, int32_t* nativeError);
void ConnAddDiag(Conn* conn, const char* text, int32_t nativeError);
char* ConnPopDiag(Conn* conn, int32_t* nativeError);
void StmtAddDiag(Stmt* stmt, const char* text, int32_t nativeError);
char* StmtPopDiag(Stmt* stmt, int32_t* nativeError);
void DescAddDiag(Desc* desc, const char* text, int32_t nativeError);
char* DescPopDiag(Desc* desc, int32_t* nativeError);

inline constexpr int DIAG_MODE_CONSUME = 1;  // SQLError: pop the first record
inline constexpr int DIAG_MODE_READ = 2;     // SQLGetDiagRec/Field: read record diagRecNo

// Formats one diagnostic record of exactly one of the four records. The text
// buffer length is in bytes; *textLen receives the full length whatever was
// copied. Answers SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (text cut) or SQL_NO_DATA.
SQLRETURN GetDiagRecord(Envr* env, Conn* conn, Stmt* stmt, Desc* desc, char* state,
                        int32_t* nativeError, char* text, int64_t bufLen, int64_t* textLen,
                        int mode);

// Workers (argument slots of Part "diagnostics" entry points).
SQLRETURN ErrorEnvImpl(Envr* env, const CallSlot* args);
SQLRETURN ErrorDbcImpl(Conn* conn, const CallSlot* args);
SQLRETURN ErrorStmtImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN GetDiagRecEnvImpl(Envr* env, const CallSlot* args);
SQLRETURN GetDiagRecDbcImpl(Conn* conn, const CallSlot* args);
SQLRETURN GetDiagRecStmtImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN GetDiagRecDescImpl(Desc* desc, const CallSlot* args);
SQLRETURN GetDiagFieldEnvImpl(Envr* env, const CallSlot* args);
SQLRETURN GetDiagFieldDbcImpl(Conn* conn, const CallSlot* args);
SQLRETURN GetDiagFieldStmtImpl(Stmt* stmt, const CallSlot* args);
SQLRETURN GetDiagFieldDescImpl(Desc* desc, const CallSlot* args);
