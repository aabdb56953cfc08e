/* silent_client.c -- a C application that provokes the failures a driver meets
 * every day (a statement the server refuses, a syntax error, two statements in
 * one text, a duplicate key, a connect that cannot succeed, a dialog it cannot
 * show) and checks that the driver wrote nothing on its standard error stream:
 * every failure must reach the application as a diagnostic, never as text on a
 * stream that belongs to the application.
 * Usage: silent_client DSN (run by run_client.py). */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    ++failures;
    printf("FAIL: %s\n", what);
  }
}

static void state_of(SQLSMALLINT type, SQLHANDLE h, char* state) {
  SQLINTEGER native = 0;
  SQLCHAR text[512];
  SQLSMALLINT len = 0;
  state[0] = '\0';
  SQLGetDiagRec(type, h, 1, (SQLCHAR*)state, &native, text, sizeof text, &len);
}

/* A statement that must fail with the given SQLSTATE. */
static void refused(SQLHSTMT stmt, const char* sql, const char* want) {
  char state[6];
  char what[256];
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
  state_of(SQL_HANDLE_STMT, stmt, state);
  snprintf(what, sizeof what, "%s answers %s (got %d, %s)", sql, want, (int)rc, state);
  check(rc == SQL_ERROR && strcmp(state, want) == 0, what);
  SQLFreeStmt(stmt, SQL_CLOSE);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  char in[512];
  SQLHENV env = NULL;
  SQLHDBC dbc = NULL, other = NULL;
  SQLHSTMT stmt = NULL;

  /* The standard error stream goes to a file of its own until the end. */
  char path[] = "/tmp/kes_silent_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return 2;
  fflush(stderr);
  int saved = dup(2);
  dup2(fd, 2);

  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  snprintf(in, sizeof in, "DSN=%s", argv[argc - 1]);
  SQLRETURN rc =
      SQLDriverConnect(dbc, NULL, (SQLCHAR*)in, SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT);
  check(SQL_SUCCEEDED(rc), "connect");
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  rc = SQLExecDirect(stmt, (SQLCHAR*)"CREATE TABLE quiet (k INTEGER PRIMARY KEY)", SQL_NTS);
  check(rc == SQL_SUCCESS, "create table");
  SQLExecDirect(stmt, (SQLCHAR*)"INSERT INTO quiet VALUES (1)", SQL_NTS);

  refused(stmt, "SELECT nope FROM quiet", "42S22");
  refused(stmt, "SELEC k FROM quiet", "42000");
  refused(stmt, "SELECT k FROM quiet; SELECT k FROM quiet", "42000");
  refused(stmt, "INSERT INTO quiet VALUES (1)", "23000");
  refused(stmt, "INSERT INTO quiet VALUES ('one')", "22018");
  rc = SQLExecDirect(stmt, (SQLCHAR*)"DELETE FROM quiet WHERE k < 0", SQL_NTS);
  check(rc == SQL_NO_DATA, "a DELETE of nothing answers SQL_NO_DATA");

  /* A connect to a database that does not exist, and a completion without a
   * window or a login, which the server (without users) takes without asking. */
  SQLAllocHandle(SQL_HANDLE_DBC, env, &other);
  snprintf(in, sizeof in, "DSN=%s;DATABASE=no_such_database", argv[argc - 1]);
  rc = SQLDriverConnect(other, NULL, (SQLCHAR*)in, SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT);
  check(rc == SQL_ERROR, "a connect to a missing database fails");
  snprintf(in, sizeof in, "DSN=%s", argv[argc - 1]);
  rc = SQLDriverConnect(other, NULL, (SQLCHAR*)in, SQL_NTS, NULL, 0, NULL, SQL_DRIVER_COMPLETE);
  check(SQL_SUCCEEDED(rc), "a completion without a window connects where no login is needed");
  if (SQL_SUCCEEDED(rc)) SQLDisconnect(other);
  SQLFreeHandle(SQL_HANDLE_DBC, other);

  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  off_t written = lseek(fd, 0, SEEK_END);
  if (written > 0) {
    char text[4096];
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    text[n > 0 ? n : 0] = '\0';
    printf("FAIL: the driver wrote on the standard error stream:\n%s\n", text);
    ++failures;
  }
  close(fd);
  unlink(path);
  if (failures > 0) {
    printf("%d check(s) failed\n", failures);
    return 1;
  }
  printf("C client: all checks passed, nothing on the standard error stream\n");
  return 0;
}
