/* wide_grid.c -- a C application of the W functions on the driver, as every
 * application built for UTF-16 is: it connects, runs its statements and reads
 * its diagnostics through the W forms, binds its text columns as SQL_C_WCHAR,
 * and edits a grid through a keyset-driven cursor under value concurrency:
 * an unchanged row written back, a name changed (with a character outside
 * ASCII), the quantity of another row, and a rowset of new rows added with
 * SQLBulkOperations, each checked by reading the table again.
 * Usage: wide_grid DSN (run by run_client.py). */
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define ROWS 3
#define NAME 21

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    ++failures;
    printf("FAIL: %s\n", what);
  }
}

/* ASCII text as UTF-16, and UTF-16 as printable text (\uXXXX beyond ASCII). */
static void widen(SQLWCHAR* out, size_t room, const char* text) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < room; ++i) out[i] = (SQLWCHAR)(unsigned char)text[i];
  out[i] = 0;
}

static void narrow(char* out, size_t room, const SQLWCHAR* text) {
  size_t n = 0;
  out[0] = '\0';
  for (; *text != 0 && n + 7 < room; ++text) {
    if (*text < 128)
      out[n++] = (char)*text;
    else
      n += (size_t)snprintf(out + n, room - n, "\\u%04X", (unsigned)*text);
  }
  out[n] = '\0';
}

static void diag(SQLSMALLINT type, SQLHANDLE h, const char* what) {
  SQLWCHAR state[6] = {0}, text[512] = {0};
  char s[16], t[600];
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRecW(type, h, 1, state, &native, text, 512, &len);
  narrow(s, sizeof s, state);
  narrow(t, sizeof t, text);
  printf("  %s: %s %s\n", what, s, t);
}

static int ok_rc(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
  if (rc == SQL_SUCCESS) return 1;
  diag(type, h, what);
  check(0, what);
  return SQL_SUCCEEDED(rc);
}

static SQLRETURN exec_w(SQLHSTMT st, const char* sql) {
  SQLWCHAR text[512];
  widen(text, 512, sql);
  return SQLExecDirectW(st, text, SQL_NTS);
}

static void run(SQLHDBC dbc, const char* sql) {
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  ok_rc(exec_w(st, sql), SQL_HANDLE_STMT, st, sql);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* The table as another statement reads it, names as UTF-16: "id:name:qty"
 * rows joined by ";". */
static void table_text(SQLHDBC dbc, char* out, size_t size) {
  SQLHSTMT st;
  SQLINTEGER id = 0, qty = 0;
  SQLWCHAR name[NAME];
  SQLLEN idLen = 0, nameLen = 0, qtyLen = 0;
  out[0] = '\0';
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  if (!ok_rc(exec_w(st, "SELECT id, name, qty FROM wgrid ORDER BY id"), SQL_HANDLE_STMT, st,
             "read the table")) {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return;
  }
  SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &idLen);
  SQLBindCol(st, 2, SQL_C_WCHAR, name, sizeof name, &nameLen);
  SQLBindCol(st, 3, SQL_C_SLONG, &qty, 0, &qtyLen);
  while (SQL_SUCCEEDED(SQLFetch(st))) {
    char text[64], row[96];
    narrow(text, sizeof text, name);
    snprintf(row, sizeof row, "%s%d:%s:%d", out[0] ? ";" : "", (int)id,
             nameLen == SQL_NULL_DATA ? "~" : text, qtyLen == SQL_NULL_DATA ? -1 : (int)qty);
    strncat(out, row, size - strlen(out) - 1);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

static void same_table(SQLHDBC dbc, const char* want, const char* what) {
  char got[1024];
  char line[2200];
  table_text(dbc, got, sizeof got);
  snprintf(line, sizeof line, "%s: table is \"%s\", want \"%s\"", what, got, want);
  check(strcmp(got, want) == 0, line);
}

/* The grid: the rowset's bound columns, the names as UTF-16. */
static SQLINTEGER ids[ROWS], qtys[ROWS];
static SQLWCHAR names[ROWS][NAME];
static SQLLEN idLen[ROWS], nameLen[ROWS], qtyLen[ROWS];
static SQLUSMALLINT status[ROWS];

static void set_row(int k, int id, const SQLWCHAR* name, int qty) {
  size_t i = 0;
  ids[k] = id;
  qtys[k] = qty;
  for (; name[i] != 0 && i + 1 < NAME; ++i) names[k][i] = name[i];
  names[k][i] = 0;
  idLen[k] = qtyLen[k] = sizeof(SQLINTEGER);
  nameLen[k] = SQL_NTS;
}

int main(int argc, char** argv) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT st;
  SQLWCHAR conn[256];
  char text[64];
  /* "zw\u00e9i" and "n\u00e9u" carry a character that is two bytes in UTF-8. */
  const SQLWCHAR zwei[] = {'z', 'w', 0xE9, 'i', 0};
  const SQLWCHAR neu[] = {'n', 0xE9, 'u', 0};
  SQLWCHAR plain[NAME];
  char dsn[200];
  if (argc < 2) return 2;
  snprintf(dsn, sizeof dsn, "DSN=%s;", argv[argc - 1]);
  widen(conn, 256, dsn);
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!ok_rc(SQLDriverConnectW(dbc, NULL, conn, SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT),
             SQL_HANDLE_DBC, dbc, "connect"))
    return 1;
  run(dbc, "CREATE TABLE wgrid (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(20), qty INTEGER)");
  run(dbc, "INSERT INTO wgrid VALUES (1, 'a', 10)");
  run(dbc, "INSERT INTO wgrid VALUES (2, 'b', 20)");
  run(dbc, "INSERT INTO wgrid VALUES (3, 'c', 30)");

  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  SQLSetStmtAttrW(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0);
  SQLSetStmtAttrW(st, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_VALUES, 0);
  SQLSetStmtAttrW(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)ROWS, 0);
  SQLSetStmtAttrW(st, SQL_ATTR_ROW_STATUS_PTR, status, 0);
  SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idLen);
  SQLBindCol(st, 2, SQL_C_WCHAR, names, sizeof names[0], nameLen);
  SQLBindCol(st, 3, SQL_C_SLONG, qtys, 0, qtyLen);
  if (ok_rc(exec_w(st, "SELECT id, name, qty FROM wgrid ORDER BY id"), SQL_HANDLE_STMT, st,
            "open the grid") &&
      ok_rc(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_HANDLE_STMT, st, "first page")) {
    narrow(text, sizeof text, names[1]);
    check(ids[1] == 2 && strcmp(text, "b") == 0, "row 2 reads 2:b");

    /* A row written back as it was read changes nothing and is no conflict. */
    ok_rc(SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st,
          "write back row 1 unchanged");
    check(status[0] == SQL_ROW_UPDATED, "row 1 reads as updated");

    memcpy(names[1], zwei, sizeof zwei);
    nameLen[1] = SQL_NTS;
    ok_rc(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st,
          "rename row 2");
    qtys[2] = 33;
    nameLen[2] = SQL_COLUMN_IGNORE;
    ok_rc(SQLSetPos(st, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st,
          "change the quantity of row 3");
    nameLen[2] = SQL_NTS;
    /* Its own change is found again: the name just written is the old value now. */
    memcpy(names[1], neu, sizeof neu);
    ok_rc(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st,
          "rename row 2 again");
    same_table(dbc, "1:a:10;2:n\\u00E9u:20;3:c:33", "after the updates");

    widen(plain, NAME, "x");
    set_row(0, 4, plain, 40);
    set_row(1, 5, zwei, 50);
    set_row(2, 6, neu, 60);
    ok_rc(SQLBulkOperations(st, SQL_ADD), SQL_HANDLE_STMT, st, "add a rowset");
    check(status[0] == SQL_ROW_ADDED && status[1] == SQL_ROW_ADDED && status[2] == SQL_ROW_ADDED,
          "every new row reads as added");
    same_table(dbc, "1:a:10;2:n\\u00E9u:20;3:c:33;4:x:40;5:zw\\u00E9i:50;6:n\\u00E9u:60",
               "after the add");
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  if (failures > 0) {
    printf("%d check(s) failed\n", failures);
    return 1;
  }
  printf("grid of wide columns edited through SetPos and BulkOperations: all checks passed\n");
  return 0;
}
