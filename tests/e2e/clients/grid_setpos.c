/* grid_setpos.c -- a C data-entry front end on the driver: it shows a table as
 * a grid of rows through a scrollable cursor with bound column arrays, moves
 * about it with SQLSetPos, and edits it in place as far as SQLGetInfo says
 * SetPos can: a name changed with the quantity left out, a row deleted, a row
 * added, each checked by reading the table again through another statement.
 * What the driver does not claim must be refused without changing a row.
 * Usage: grid_setpos DSN (run by run_client.py). */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define ROWS 3

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    ++failures;
    printf("FAIL: %s\n", what);
  }
}

static void diag(SQLSMALLINT type, SQLHANDLE h, const char* what) {
  SQLCHAR state[6] = "";
  SQLCHAR text[512] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
  printf("  %s: %s %s\n", what, (char*)state, (char*)text);
}

static int ok_rc(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
  if (SQL_SUCCEEDED(rc)) return 1;
  diag(type, h, what);
  check(0, what);
  return 0;
}

static void run(SQLHDBC dbc, const char* sql) {
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  ok_rc(SQLExecDirect(st, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, st, sql);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/* The table as another statement reads it: "id:name:qty" rows joined by ";". */
static void table_text(SQLHDBC dbc, char* out, size_t size) {
  SQLHSTMT st;
  SQLINTEGER id = 0, qty = 0;
  SQLCHAR name[21];
  SQLLEN idLen = 0, nameLen = 0, qtyLen = 0;
  out[0] = '\0';
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  if (!ok_rc(SQLExecDirect(st, (SQLCHAR*)"SELECT id, name, qty FROM grid ORDER BY id", SQL_NTS),
             SQL_HANDLE_STMT, st, "read the table")) {
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return;
  }
  SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &idLen);
  SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &nameLen);
  SQLBindCol(st, 3, SQL_C_SLONG, &qty, 0, &qtyLen);
  while (SQL_SUCCEEDED(SQLFetch(st))) {
    char row[64];
    snprintf(row, sizeof row, "%s%d:%s:%d", out[0] ? ";" : "", (int)id,
             nameLen == SQL_NULL_DATA ? "~" : (char*)name, qtyLen == SQL_NULL_DATA ? -1 : (int)qty);
    strncat(out, row, size - strlen(out) - 1);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

static void same_table(SQLHDBC dbc, const char* want, const char* what) {
  char got[1024];
  char line[1200];
  table_text(dbc, got, sizeof got);
  snprintf(line, sizeof line, "%s: table is \"%s\", want \"%s\"", what, got, want);
  check(strcmp(got, want) == 0, line);
}

/* The grid: the rowset's bound columns. */
static SQLINTEGER ids[ROWS], qtys[ROWS];
static SQLCHAR names[ROWS][21];
static SQLLEN idLen[ROWS], nameLen[ROWS], qtyLen[ROWS];
static SQLUSMALLINT status[ROWS];
static SQLULEN fetched;

/* The cursor type and concurrency of an editable grid, as SQLGetInfo offers
 * them; 0 when no type takes changes through SetPos. */
static int editable_cursor(SQLHDBC dbc, SQLULEN* type, SQLULEN* concurrency) {
  SQLUINTEGER options = 0, conc = 0, attrs = 0;
  const struct {
    SQLUINTEGER option;
    SQLUSMALLINT info;
    SQLULEN type;
  } kinds[] = {{SQL_SO_KEYSET_DRIVEN, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_CURSOR_KEYSET_DRIVEN},
               {SQL_SO_STATIC, SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_CURSOR_STATIC}};
  const SQLUINTEGER needed = SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE;
  size_t i;
  SQLGetInfo(dbc, SQL_SCROLL_OPTIONS, &options, sizeof options, NULL);
  SQLGetInfo(dbc, SQL_SCROLL_CONCURRENCY, &conc, sizeof conc, NULL);
  if (conc & SQL_SCCO_OPT_VALUES)
    *concurrency = SQL_CONCUR_VALUES;
  else if (conc & SQL_SCCO_LOCK)
    *concurrency = SQL_CONCUR_LOCK;
  else if (conc & SQL_SCCO_OPT_ROWVER)
    *concurrency = SQL_CONCUR_ROWVER;
  else
    return 0;
  for (i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
    if ((options & kinds[i].option) == 0) continue;
    attrs = 0;
    SQLGetInfo(dbc, kinds[i].info, &attrs, sizeof attrs, NULL);
    if ((attrs & needed) == needed) {
      *type = kinds[i].type;
      return 1;
    }
  }
  return 0;
}

static int open_grid(SQLHSTMT st, SQLULEN type, SQLULEN concurrency) {
  SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
  SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0);
  SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)ROWS, 0);
  SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0);
  SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idLen);
  SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameLen);
  SQLBindCol(st, 3, SQL_C_SLONG, qtys, 0, qtyLen);
  if (!ok_rc(SQLExecDirect(st, (SQLCHAR*)"SELECT id, name, qty FROM grid ORDER BY id", SQL_NTS),
             SQL_HANDLE_STMT, st, "open the grid"))
    return 0;
  return ok_rc(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_HANDLE_STMT, st, "first page");
}

/* Moving about the grid: a page, a row made current, a refresh. */
static void browse(SQLHSTMT st) {
  SQLCHAR name[21];
  SQLLEN len = 0;
  check(fetched == ROWS && ids[0] == 1 && ids[2] == 3, "the first page holds rows 1 to 3");
  if (ok_rc(SQLFetchScroll(st, SQL_FETCH_NEXT, 0), SQL_HANDLE_STMT, st, "next page"))
    check(ids[0] == 4 && status[2] == SQL_ROW_SUCCESS, "the second page starts at row 4");
  if (ok_rc(SQLSetPos(st, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st, "position")) {
    /* SQLGetData reads no bound column (no SQL_GD_BOUND): the name is unbound for it. */
    SQLBindCol(st, 2, SQL_C_CHAR, NULL, 0, NULL);
    ok_rc(SQLGetData(st, 2, SQL_C_CHAR, name, sizeof name, &len), SQL_HANDLE_STMT, st, "get data");
    check(strcmp((char*)name, "e") == 0, "the current row is row 5");
    SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameLen);
  }
  if (ok_rc(SQLSetPos(st, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st, "refresh"))
    check(ids[1] == 5 && strcmp((char*)names[1], "e") == 0, "a refresh keeps the rows");
  ok_rc(SQLFetchScroll(st, SQL_FETCH_FIRST, 0), SQL_HANDLE_STMT, st, "back to the first page");
}

static void edit(SQLHDBC dbc, SQLHSTMT st) {
  SQLRETURN rc;
  /* Row 2's name changes; its quantity is left as it is. */
  strcpy((char*)names[1], "bee");
  nameLen[1] = SQL_NTS;
  qtyLen[1] = SQL_COLUMN_IGNORE;
  ok_rc(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st, "update row 2");
  check(status[1] == SQL_ROW_UPDATED, "row 2 reads as updated");
  qtyLen[1] = sizeof(SQLINTEGER);
  same_table(dbc, "1:a:10;2:bee:20;3:c:30;4:d:40;5:e:50;6:f:60", "after the update");

  ok_rc(SQLSetPos(st, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st, "delete row 3");
  check(status[2] == SQL_ROW_DELETED, "row 3 reads as deleted");
  same_table(dbc, "1:a:10;2:bee:20;4:d:40;5:e:50;6:f:60", "after the delete");
  rc = SQLSetPos(st, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
  check(rc == SQL_ERROR, "a deleted row cannot be updated");

  /* A new row typed into the grid's first line. */
  ids[0] = 7;
  strcpy((char*)names[0], "g");
  qtys[0] = 70;
  idLen[0] = qtyLen[0] = sizeof(SQLINTEGER);
  nameLen[0] = SQL_NTS;
  ok_rc(SQLSetPos(st, 1, SQL_ADD, SQL_LOCK_NO_CHANGE), SQL_HANDLE_STMT, st, "add a row");
  same_table(dbc, "1:a:10;2:bee:20;4:d:40;5:e:50;6:f:60;7:g:70", "after the add");
}

int main(int argc, char** argv) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT st;
  SQLULEN type = SQL_CURSOR_STATIC, concurrency = SQL_CONCUR_READ_ONLY;
  char conn[256];
  int editable;
  if (argc < 2) return 2;
  snprintf(conn, sizeof conn, "DSN=%s;", argv[argc - 1]);
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!ok_rc(SQLDriverConnect(dbc, NULL, (SQLCHAR*)conn, SQL_NTS, NULL, 0, NULL,
                              SQL_DRIVER_NOPROMPT),
             SQL_HANDLE_DBC, dbc, "connect"))
    return 1;
  run(dbc, "CREATE TABLE grid (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(20), qty INTEGER)");
  run(dbc, "INSERT INTO grid VALUES (1, 'a', 10)");
  run(dbc, "INSERT INTO grid VALUES (2, 'b', 20)");
  run(dbc, "INSERT INTO grid VALUES (3, 'c', 30)");
  run(dbc, "INSERT INTO grid VALUES (4, 'd', 40)");
  run(dbc, "INSERT INTO grid VALUES (5, 'e', 50)");
  run(dbc, "INSERT INTO grid VALUES (6, 'f', 60)");

  editable = editable_cursor(dbc, &type, &concurrency);
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  if (open_grid(st, type, concurrency)) {
    browse(st);
    if (editable) {
      edit(dbc, st);
    } else {
      /* A read-only grid refuses an edit and the table stays as it was. */
      strcpy((char*)names[1], "bee");
      nameLen[1] = SQL_NTS;
      check(SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE) == SQL_ERROR,
            "a read-only grid refuses an update");
      same_table(dbc, "1:a:10;2:b:20;3:c:30;4:d:40;5:e:50;6:f:60", "after a refused update");
      printf("the driver claims no change through SetPos: the grid was only browsed\n");
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  if (failures > 0) {
    printf("%d check(s) failed\n", failures);
    return 1;
  }
  printf("grid edited through SetPos: all checks passed\n");
  return 0;
}
