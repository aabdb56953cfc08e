#!/usr/bin/env bash
# iodbc_connect.sh -- iODBC's iodbctest on the ANSI build: it connects with
# SQLDriverConnect(SQL_DRIVER_COMPLETE) without a window, giving only the data
# source, no user and no password, which a server without users takes; then it
# runs a query. iODBC reads its own configuration (ODBCINI and ODBCINSTINI); the
# driver reads the same odbc.ini through unixODBC's installer library.
# Usage: iodbc_connect.sh DSN (run by run_client.py).
set -uo pipefail
dsn=$1
if ! command -v iodbctest >/dev/null 2>&1; then
  echo "SKIP: iodbctest is not installed"
  exit 77
fi
export ODBCINSTINI="$ODBCSYSINI/odbcinst.ini"
out=$(printf '%s\n' "SELECT tabname FROM systables WHERE tabid = 1" "quit" |
  timeout 60 iodbctest "DSN=$dsn" 2>&1)
rc=$?
if [ $rc -ne 0 ] || ! grep -q "1 rows" <<<"$out" || ! grep -q "^systables" <<<"$out"; then
  echo "FAIL: iodbctest did not connect and query (exit $rc):"
  printf '%s\n' "$out"
  exit 1
fi
echo "iodbctest: connected without a password and read one row"
