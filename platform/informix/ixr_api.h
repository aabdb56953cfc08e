// ixr_api.h -- the embedded Informix client runtime: the calls the agent makes to reach
// an Informix server, answered in process by a stand-in server kept in SQLite files.
// Owns: sessions (one per CONNECT), their prepared statements and cursors, the
// per-thread communication area and connection-information block, and every
// descriptor area handed out by DESCRIBE.
// Threading: any number of threads; a session is current on at most one thread at a
// time and is used by one call at a time. ixr_interrupt may be called from any thread.
// Not here: ODBC, escape syntax, the agent's own records. Nothing outside this
// directory sees SQLite.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------
 * Informix column types, as DESCRIBE reports them in sqltype and the catalog keeps
 * them in syscolumns.coltype. Bit IXR_TYPE_NOTNULL marks a NOT NULL column; the
 * low byte is the type.
 * ------------------------------------------------------------------------------- */
enum {
  IXR_TYPE_CHAR = 0,       /* sqllen: n */
  IXR_TYPE_SMALLINT = 1,   /* 2 */
  IXR_TYPE_INTEGER = 2,    /* 4 */
  IXR_TYPE_FLOAT = 3,      /* 8 */
  IXR_TYPE_SMALLFLOAT = 4, /* 4 */
  IXR_TYPE_DECIMAL = 5,    /* precision << 8 | scale; scale 255 = floating */
  IXR_TYPE_SERIAL = 6,     /* 4 */
  IXR_TYPE_DATE = 7,       /* 4 */
  IXR_TYPE_MONEY = 8,      /* as DECIMAL */
  IXR_TYPE_DATETIME = 10,  /* qualifier, see IXR_QUAL */
  IXR_TYPE_BYTE = 11,      /* 56 */
  IXR_TYPE_TEXT = 12,      /* 56 */
  IXR_TYPE_VARCHAR = 13,   /* min << 8 | max */
  IXR_TYPE_INTERVAL = 14,  /* qualifier, see IXR_QUAL */
  IXR_TYPE_NCHAR = 15,     /* n */
  IXR_TYPE_NVARCHAR = 16,  /* min << 8 | max */
  IXR_TYPE_LVARCHAR = 43,  /* max length; the catalog stores this type as 40 */
  IXR_TYPE_LVARCHAR_CATALOG = 40,
  IXR_TYPE_NOTNULL = 0x100,
  IXR_TYPE_MASK = 0xFF /* the type without its flags */
};

/* Datetime and interval qualifiers: digits << 8 | first field << 4 | last field.
 * FRACTION(n) is IXR_TU_SECOND + n (n from 1 to 5). */
enum {
  IXR_TU_YEAR = 0,
  IXR_TU_MONTH = 2,
  IXR_TU_DAY = 4,
  IXR_TU_HOUR = 6,
  IXR_TU_MINUTE = 8,
  IXR_TU_SECOND = 10,
  IXR_TU_FRACTION = 11, /* FRACTION(1); FRACTION(n) = 10 + n */
  IXR_TU_F5 = 15
};
#define IXR_QUAL(digits, first, last) ((int16_t)(((digits) << 8) | ((first) << 4) | (last)))
#define IXR_QUAL_FIRST(q) (((q) >> 4) & 0xF)
#define IXR_QUAL_LAST(q) ((q)&0xF)
#define IXR_QUAL_DIGITS(q) (((q) >> 8) & 0xFF)
/* DATETIME YEAR TO FRACTION(5): 4 + 2*5 + 5 = 19 digits (4879). */
#define IXR_QUAL_YEAR_TO_F5 IXR_QUAL(19, IXR_TU_YEAR, IXR_TU_F5)

/* Host-variable types: what sqltype holds in an area the caller fills for
 * EXECUTE/OPEN (input) or FETCH (output). */
enum {
  IXR_HOST_CHAR = 100,     /* out: blank-padded to sqllen-1 and NUL-ended; in: NUL-ended */
  IXR_HOST_SHORT = 101,    /* int16_t */
  IXR_HOST_INT = 102,      /* int32_t */
  IXR_HOST_LONG = 103,     /* int64_t */
  IXR_HOST_FLOAT = 104,    /* float */
  IXR_HOST_DOUBLE = 105,   /* double */
  IXR_HOST_FIXCHAR = 108,  /* exactly sqllen bytes; out blank-padded, in stops at a NUL */
  IXR_HOST_STRING = 109,   /* NUL-ended; sqllen is the buffer size on output. CHAR values
                              lose their trailing blanks, VARCHAR values keep them */
  IXR_HOST_DATE = 110,     /* int32_t day count (IxrDate) */
  IXR_HOST_DATETIME = 112, /* IxrDateTime; the caller sets qual before FETCH or OPEN */
  IXR_HOST_LOCATOR = 113   /* IxrLocator */
};

/* Statement types that DESCRIBE answers in sqlcode (all non-negative). */
enum {
  IXR_STMT_SELECT = 0,
  IXR_STMT_DATABASE = 1,
  IXR_STMT_SELECT_INTO = 3, /* SELECT ... INTO TEMP: executed, not opened */
  IXR_STMT_UPDATE = 4,
  IXR_STMT_DELETE = 5,
  IXR_STMT_INSERT = 6,
  IXR_STMT_UPDATE_CURRENT = 7,
  IXR_STMT_DELETE_CURRENT = 8,
  IXR_STMT_LOCK = 10,
  IXR_STMT_UNLOCK = 11,
  IXR_STMT_CREATE_DATABASE = 12,
  IXR_STMT_DROP_DATABASE = 13,
  IXR_STMT_CREATE_TABLE = 14,
  IXR_STMT_DROP_TABLE = 15,
  IXR_STMT_CREATE_INDEX = 16,
  IXR_STMT_DROP_INDEX = 17,
  IXR_STMT_GRANT = 18,
  IXR_STMT_REVOKE = 19,
  IXR_STMT_RENAME_TABLE = 20,
  IXR_STMT_RENAME_COLUMN = 21,
  IXR_STMT_ALTER_TABLE = 29,
  IXR_STMT_UPDATE_STATISTICS = 30,
  IXR_STMT_CLOSE_DATABASE = 31,
  IXR_STMT_BEGIN_WORK = 34,
  IXR_STMT_COMMIT_WORK = 35,
  IXR_STMT_ROLLBACK_WORK = 36,
  IXR_STMT_CREATE_VIEW = 40,
  IXR_STMT_DROP_VIEW = 41,
  IXR_STMT_CREATE_SYNONYM = 43,
  IXR_STMT_DROP_SYNONYM = 44,
  IXR_STMT_CREATE_TEMP_TABLE = 45,
  IXR_STMT_SET_LOCK_MODE = 46,
  IXR_STMT_SET_ISOLATION = 48,
  IXR_STMT_SET_OTHER = 50,
  IXR_STMT_CREATE_PROCEDURE = 53,
  IXR_STMT_DROP_PROCEDURE = 54,
  IXR_STMT_EXECUTE_PROCEDURE = 56
};

/* Error codes (sqlcode). Every failure carries an Informix code; sqlerrd[1] holds the
 * ISAM code when there is one. */
enum {
  IXR_NOTFOUND = 100,
  IXR_E_SYNTAX = -201,
  IXR_E_NO_TABLE = -206,
  IXR_E_NO_MEMORY = -208,
  IXR_E_BAD_CATALOG = -211, /* the database's catalog cannot be read: the file is damaged */
  IXR_E_INTERRUPTED = -213,
  IXR_E_NO_COLUMN = -217,
  IXR_E_SERIAL_UPDATE = -232,
  IXR_E_INSERT_COUNT = -236,
  IXR_E_DUPLICATE = -239,
  IXR_E_DELETE_FAILED = -240,
  IXR_E_READ_FAILED = -244,
  IXR_E_HOSTVAR_COUNT = -254,
  IXR_E_NOT_IN_TXN = -255,
  IXR_E_NO_TXN = -256,
  IXR_E_LOCK_FAILED = -263,
  IXR_E_NO_CURRENT_ROW = -266,
  IXR_E_UNIQUE = -268,
  IXR_E_INSERT_FAILED = -271,
  IXR_E_SUBQUERY_ROWS = -284,
  IXR_E_NO_REFERENCED_KEY = -297,
  IXR_E_ORDER_NOT_SELECTED = -309,
  IXR_E_TABLE_EXISTS = -310,
  IXR_E_INDEX_EXISTS = -316,
  IXR_E_NO_INDEX = -319,
  IXR_E_AMBIGUOUS = -324,
  IXR_E_COLUMN_EXISTS = -328,
  IXR_E_NO_DATABASE = -329,
  IXR_E_DATABASE_EXISTS = -330,
  IXR_E_UPDATE_FAILED = -346,
  IXR_E_NO_DB_SELECTED = -349,
  IXR_E_TXN_OPEN = -377,
  IXR_E_NOT_NULL = -391,
  IXR_E_CURSOR_NOT_OPEN = -400,
  IXR_E_NOT_AVAILABLE = -404,
  IXR_E_DATABASE_IN_USE = -425,
  IXR_E_NOT_PREPARED = -481,
  IXR_E_CHECK = -530,
  IXR_E_IN_TXN = -535,
  IXR_E_BLOB_LITERAL = -617,
  IXR_E_ROUTINE_EXISTS = -673,
  IXR_E_NO_ROUTINE = -674,
  IXR_E_REF_MISSING = -691,
  IXR_E_UNDEFINED_VARIABLE = -696, /* a procedure variable read before it was set */
  IXR_E_USER = -746,               /* RAISE EXCEPTION -746 with the procedure's own text */
  IXR_E_REF_IN_USE = -692,
  IXR_E_BAD_DATABASE_NAME = -761,
  IXR_E_NO_SERVER = -908,
  IXR_E_BAD_USER = -951,
  IXR_E_UNSUPPORTED = -999, /* the embedded server cannot do what the statement asks */
  IXR_E_DIVIDE_BY_ZERO = -1202,
  IXR_E_BAD_YEAR = -1204,
  IXR_E_BAD_MONTH = -1205,
  IXR_E_BAD_DAY = -1206,
  IXR_E_CHAR_TO_NUMBER = -1213,
  IXR_E_SMALLINT_OVERFLOW = -1214,
  IXR_E_INT_OVERFLOW = -1215,
  IXR_E_BAD_DATE = -1218,
  IXR_E_DECIMAL_OVERFLOW = -1226,
  IXR_E_NO_MESSAGE = -1228,
  IXR_E_BAD_CONVERSION = -1260,
  IXR_E_DT_NON_NUMERIC = -1262,
  IXR_E_DT_BAD_FIELD = -1263,
  IXR_E_DT_EXTRA = -1264,
  IXR_E_DT_OVERFLOW = -1265,
  IXR_E_DT_INCOMPATIBLE = -1266,
  IXR_E_DT_OUT_OF_RANGE = -1267,
  IXR_E_CONNECTION_IN_USE = -1801,
  IXR_E_TOO_COMPLEX = -8301, /* nesting or procedure calls past the server's limits */
  IXR_E_NOT_CURRENT = -1802,
  IXR_E_NO_CONNECTION = -1803,
  IXR_E_GLOBAL_TXN = -1805, /* COMMIT or ROLLBACK WORK inside a global transaction branch */
  IXR_E_NO_SERVER_NAME = -25560,
  IXR_E_LINK_LOST = -25580,
  IXR_E_CANNOT_CONNECT = -25588
};

/* ISAM codes in sqlerrd[1]. */
enum {
  IXR_ISAM_DUPLICATE = -100,
  IXR_ISAM_BAD_FORMAT = -105, /* the database file is damaged or no database at all */
  IXR_ISAM_LOCKED = -107,
  IXR_ISAM_NOT_FOUND = -111,
  IXR_ISAM_TABLE_LOCKED = -113,
  IXR_ISAM_DEADLOCK = -143,
  IXR_ISAM_LOCK_TIMEOUT = -154
};

/* ---------------------------------------------------------------------------------
 * Communication area: one per thread, reset at the start of every operation below
 * (except the pure conversions and ixr_error_message).
 * ------------------------------------------------------------------------------- */
typedef struct IxrCommArea {
  int32_t sqlcode;    /* 0, IXR_NOTFOUND, a negative error, or the statement type after DESCRIBE */
  int32_t sqlerrd[6]; /* [1] ISAM code of a failure, or the SERIAL value after an INSERT;
                         [2] rows processed; [5] rowid of the last row inserted */
  char sqlwarn[8];    /* 'W' or ' ': [0] any warning; after CONNECT [1] logged database,
                         [2] ANSI database, [3] Online server; after OPEN [4] the
                         statement was translated afresh for changed tables and its
                         result columns differ from what DESCRIBE last said */
  char sqlerrm[256];  /* object name of an error (table, column, ...), NUL-ended */
} IxrCommArea;

/* The calling thread's communication area; never NULL, valid for the thread's life. */
IxrCommArea* ixr_sqlca(void);

/* ---------------------------------------------------------------------------------
 * Connection-information block: one per thread, read by ixr_connect. The texts are
 * the caller's and are used whole (no length limit); they must stay valid until
 * ixr_connect returns. NULL counts as empty.
 * ------------------------------------------------------------------------------- */
typedef struct IxrConnInfo {
  const char* server; /* used when the database text names no server */
  const char* host;   /* accepted and ignored: the server is in process */
  const char* user;   /* NULL or empty: the process's login name; checked against the
                         server's user list when it has one */
  const char* password;
  const char* service;  /* accepted and ignored */
  const char* protocol; /* accepted and ignored */
  const char* locale;   /* client locale, NULL for the default; text is UTF-8 either way */
  int readonly;         /* 1: the connection only reads; a database in a directory this
                           process cannot write is then opened for reading */
  int delimident;       /* 1: "x" is an identifier on the connection (the client's
                           DELIMIDENT); 0: as the process environment's DELIMIDENT says */
} IxrConnInfo;

IxrConnInfo* ixr_conninfo(void);

/* ---------------------------------------------------------------------------------
 * Values.
 * ------------------------------------------------------------------------------- */
typedef int32_t IxrDate; /* days since 1899-12-31 (day 1 is 1900-01-01); INT32_MIN is NULL */

/* DATETIME value with its qualifier. Fields outside the qualifier are 0. */
typedef struct IxrDateTime {
  int16_t qual; /* set by the caller before a conversion into it or a FETCH */
  int16_t year;
  int8_t month, day, hour, minute, second;
  int8_t isnull;    /* 1 for NULL */
  int32_t fraction; /* hundred-thousandths of a second (0..99999) */
  int32_t reserved[3];
} IxrDateTime;

/* INTERVAL value: months for YEAR/MONTH qualifiers, else hundred-thousandths of a
 * second; negative values are negative intervals. */
typedef struct IxrInterval {
  int16_t qual;
  int8_t isnull;
  int8_t reserved0;
  int32_t reserved1;
  int64_t value;
} IxrInterval;

/* BYTE and TEXT values in memory. */
enum { IXR_LOC_MEMORY = 1 };
typedef struct IxrLocator {
  int16_t loctype;   /* IXR_LOC_MEMORY */
  int16_t blobtype;  /* IXR_TYPE_BYTE or IXR_TYPE_TEXT on input; set by FETCH */
  int32_t indicator; /* -1 NULL, 0 present, above 0 truncated (the full size) */
  int32_t flags;     /* memory flags, 0 */
  int32_t bufsize;   /* buffer size; -1 on FETCH: the runtime allocates the buffer
                        with malloc and the caller frees it with free */
  int32_t size;      /* value size in bytes */
  int32_t status;    /* 0, or the error of the last transfer */
  char* buffer;
} IxrLocator;

/* ---------------------------------------------------------------------------------
 * Descriptor areas. DESCRIBE allocates an area whose sqlvar entries describe the
 * result columns (or, for INSERT, the target columns of the '?' markers in VALUES);
 * free it with ixr_free_sqlda. For EXECUTE, OPEN and FETCH the caller builds its own
 * area with host-variable types and buffers; the runtime only reads it.
 * ------------------------------------------------------------------------------- */
typedef struct IxrSqlVar {
  int16_t sqltype;  /* column type (DESCRIBE) or host type (caller) */
  int16_t sqlitype; /* indicator type, IXR_HOST_SHORT */
  int32_t sqllen;   /* DESCRIBE: Informix length encoding; caller: buffer length */
  char* sqldata;    /* the host variable */
  int16_t* sqlind;  /* indicator or NULL: -1 NULL, 0 present, above 0 truncated */
  char* sqlname;    /* column name, "(expression)", "(count(*))"; owned by the area */
  int16_t sqlilen;  /* indicator length, 2 */
  int16_t sqlflags; /* reserved, 0 */
  int32_t sqlxlen;  /* reserved, 0 */
} IxrSqlVar;

typedef struct IxrSqlda {
  int16_t sqld; /* number of entries */
  int16_t reserved;
  int32_t reserved2;
  IxrSqlVar* sqlvar; /* sqld entries */
} IxrSqlda;

/* ---------------------------------------------------------------------------------
 * Servers and databases. A server is a directory under the servers root, named by
 * the environment variable KES_INFORMIX_SERVERS (default $HOME/.kestrane/informix).
 * ------------------------------------------------------------------------------- */
enum { IXR_SERVER_SE = 0, IXR_SERVER_ONLINE = 1 };

/* Creates a server of the given kind. users is NULL (anyone may connect) or a list
 * "user:password,user2:password2". An existing server is reconfigured. Answers 0 or
 * a negative code; sqlca is set. */
int ixr_server_create(const char* name, int kind, const char* users);

/* The servers root in use, NUL-ended into buf; 0, or -1 when it does not fit. */
int ixr_servers_root(char* buf, size_t size);

/* ---------------------------------------------------------------------------------
 * Connections. Every call answers sqlca->sqlcode. Names are process-wide; the
 * current connection is per thread.
 * ------------------------------------------------------------------------------- */

/* CONNECT TO database AS name. database is "db", "db@server", "@server" or "default"
 * (server only: for CREATE DATABASE and friends); the server otherwise comes from the
 * block, else from INFORMIXSERVER. The user and password come from the block. On
 * success the connection is current on this thread (the previous current one becomes
 * dormant) and sqlwarn tells the database kind and server kind. */
int ixr_connect(const char* database, const char* name);

/* DISCONNECT name (NULL: the current connection). A named connection that is not the
 * calling thread's current one answers IXR_E_NOT_CURRENT. An open transaction is
 * rolled back. */
int ixr_disconnect(const char* name);

/* SET CONNECTION name (dormant 0) makes the connection current on this thread; it must
 * be dormant or current here already. SET CONNECTION name DORMANT (dormant 1) leaves it
 * dormant so that another thread can make it current. name NULL means the current. */
int ixr_set_connection(const char* name, int dormant);

/* Transactions of the current connection. */
int ixr_begin_work(void);
int ixr_commit_work(void);
int ixr_rollback_work(void);

/* ---------------------------------------------------------------------------------
 * Statements and cursors of the current connection. Names are resolved to ids that
 * are valid on the connection that was current when they were resolved.
 * ------------------------------------------------------------------------------- */
enum {
  IXR_ID_STATEMENT = 1, /* an existing prepared statement */
  IXR_ID_CURSOR = 2,    /* an existing declared cursor */
  IXR_ID_NEW_CURSOR = 3 /* a cursor name about to be declared */
};

/* Answers an id above 0, or 0 with sqlcode set (IXR_E_NOT_PREPARED for an unknown
 * statement, IXR_E_NOT_AVAILABLE for an unknown cursor). */
int32_t ixr_name_id(const char* name, int kind);

/* PREPARE name FROM text. The text may hold several statements separated by ';'; errors
 * of the text (syntax, unknown table or column, ...) are raised here. A statement of
 * the same name is replaced (its cursors are closed). */
int ixr_prepare(const char* name, const char* text);

/* DESCRIBE: sqlcode is the statement type (>= 0) or an error. On success *out receives a
 * new area: the result columns of a SELECT, the return types of an EXECUTE PROCEDURE, the
 * target columns of the markers in an INSERT's VALUES; sqld is 0 for other statements.
 * On failure *out is NULL. */
int ixr_describe(int32_t statement, IxrSqlda** out);

/* Frees an area from ixr_describe (its names included); NULL is ignored. */
void ixr_free_sqlda(IxrSqlda* area);

/* EXECUTE a prepared non-cursor statement with the input area (NULL: no markers).
 * Afterwards sqlerrd[2] = rows processed, sqlerrd[1] = the SERIAL value and
 * sqlerrd[5] = the rowid after an INSERT. */
int ixr_execute(int32_t statement, const IxrSqlda* input);

/* EXECUTE a prepared non-cursor statement once for each of `sets` sets of input values,
 * in one call. Before set k, next(ctx, k, &input) supplies the set's input area (NULL: no
 * markers); an answer other than 0 ends the run there with 0 and set k not run. After set
 * k ran, done(ctx, k) reads its outcome from the communication area as after ixr_execute.
 * The first set that fails ends the run with its code; the sets before it stay done. The
 * callbacks must not call the runtime. The statement's tables are checked for changes
 * before the first set, and before each later one unless the sets run inside one open
 * transaction, which keeps other connections from changing them meanwhile. */
typedef int (*IxrSetInput)(void* ctx, int32_t set, const IxrSqlda** input);
typedef void (*IxrSetDone)(void* ctx, int32_t set);
int ixr_execute_sets(int32_t statement, int32_t sets, IxrSetInput next, IxrSetDone done,
                     void* ctx);

/* DECLARE cursor FOR statement (a SELECT). Cursors hold across COMMIT WORK. */
int ixr_declare(int32_t cursor, const char* cursor_name, int32_t statement);

/* OPEN cursor USING input (NULL: no markers). Reopening an open cursor restarts it. */
int ixr_open(int32_t cursor, const IxrSqlda* input);

/* FETCH NEXT cursor into the output area: 0 with a row, IXR_NOTFOUND at the end. The
 * area's entries match the select list in order; each value is converted to the
 * entry's host type. A NULL area only advances. */
int ixr_fetch(int32_t cursor, IxrSqlda* output);

/* FETCH NEXT up to `rows` times in one call: entry j of row r goes to its sqldata
 * advanced by r * strides[j] bytes and its indicator to sqlind + r. *fetched counts
 * the rows delivered; sqlerrd[2] says the same. 0 after `rows` rows, IXR_NOTFOUND
 * when the result ended first, or the error of the row that failed, the rows
 * before it delivered. */
int ixr_fetch_rows(int32_t cursor, IxrSqlda* output, int32_t rows, const int32_t* strides,
                   int32_t* fetched);

/* CLOSE cursor: the cursor stays declared. */
int ixr_close(int32_t cursor);

/* FREE name: a cursor (closed and forgotten) or a prepared statement. */
int ixr_free(const char* name);

/* EXECUTE IMMEDIATE text: any statement but a SELECT returning rows. */
int ixr_execute_immediate(const char* text);

/* Runs the statement made of the NULL-ended array of text parts, joined as they are. */
int ixr_run_static(const char* const* parts);

/* Interrupts the request running on the named connection (NULL: the calling thread's
 * current one), from any thread. That request fails with IXR_E_INTERRUPTED; a
 * connection that runs nothing is not affected. Answers 0, or IXR_E_NO_CONNECTION. */
int ixr_interrupt(const char* name);

/* Sets when the requests of the named connection stop, from any thread: ms >= 0 stops
 * every request running or begun from ms milliseconds on (0: at once), each failing with
 * IXR_E_INTERRUPTED as an interrupted one does, until a negative ms clears it. A request
 * notices within a few thousand steps of its statement or while it waits for a lock.
 * Answers 0, or IXR_E_NO_CONNECTION. */
int ixr_set_deadline(const char* name, int64_t ms);

/* ---------------------------------------------------------------------------------
 * Messages, widths and conversions. These do not touch sqlca.
 * ------------------------------------------------------------------------------- */

/* The message format of code: a text with at most one "%s" (for sqlerrm), ending in
 * ".\n"; NUL-ended into buf (cut to size - 1), its full length in *len (may be NULL).
 * Answers 0, or IXR_E_NO_MESSAGE (in -1230..-1227) for a code without a message. */
int ixr_error_message(int32_t code, char* buf, size_t size, int32_t* len);

/* Characters needed to display a value of the column type (low byte) and length. */
int ixr_display_width(int type, int32_t length);

/* Date from text by a format made of yyyy, yy, mm, dd (or mmm, a month name) and any
 * separators (NULL: the default mm/dd/yyyy; ISO yyyy-mm-dd is accepted as well).
 * Answers 0 or a negative code; *date is unchanged on failure. */
int ixr_date_from_text(IxrDate* date, const char* format, const char* text);
/* Date as text in the default format mm/dd/yyyy into buf (11 bytes). */
int ixr_date_to_text(IxrDate date, char* buf, size_t size);
/* month, day, year of a date; a negative code for NULL or out of range. */
int ixr_date_to_mdy(IxrDate date, int16_t mdy[3]);
/* Date from month, day, year; a negative code when they name no date. */
int ixr_date_from_mdy(const int16_t mdy[3], IxrDate* date);
void ixr_date_set_null(IxrDate* date);
int ixr_date_is_null(IxrDate date);

/* Datetime from text "yyyy-mm-dd hh:mm:ss.fffff" (the fields of dt->qual, in order)
 * into *dt, keeping dt->qual. Answers 0 or a negative code (dt unchanged). */
int ixr_datetime_from_text(const char* text, IxrDateTime* dt);
/* Datetime as text in its own qualifier's fields; YEAR TO FRACTION(5) is exactly
 * "yyyy-mm-dd hh:mm:ss.fffff". size of 32 always suffices. */
int ixr_datetime_to_text(const IxrDateTime* dt, char* buf, size_t size);
/* Converts *src into dst->qual: leading fields missing from src come from the current
 * time, trailing ones are zero. */
int ixr_datetime_extend(const IxrDateTime* src, IxrDateTime* dst);
void ixr_datetime_set_null(IxrDateTime* dt);

/* Interval from text ("[-]dd hh:mm:ss.fffff", "[-]yyyy-mm", the fields of iv->qual)
 * keeping iv->qual; to text in its qualifier's fields. */
int ixr_interval_from_text(const char* text, IxrInterval* iv);
int ixr_interval_to_text(const IxrInterval* iv, char* buf, size_t size);

#ifdef __cplusplus
}
#endif
