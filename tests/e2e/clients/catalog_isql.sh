#!/usr/bin/env bash
# catalog_isql.sh -- unixODBC's isql on one driver library: "help" lists the
# tables of the database and "help TABLE" the columns of one, through the
# catalog functions. The server and its database are made for the run in a
# private directory.
# Usage: catalog_isql.sh LIBRARY KESDBSH
set -euo pipefail
driver=$1
dbsh=$2
root=$(mktemp -d "${TMPDIR:-/tmp}/kes_catsh_XXXXXX")
trap 'rm -rf "$root"' EXIT

printf '[Kestrane Sh]\nDriver=%s\nThreading=0\n' "$driver" >"$root/odbcinst.ini"
printf '[ODBC Data Sources]\nkes_sh=Kestrane Sh\n\n[kes_sh]\nDriver=Kestrane Sh\nDatabase=shdb\nInfServer=shsrv\n' \
  >"$root/odbc.ini"
export ODBCSYSINI=$root ODBCINI=$root/odbc.ini KES_INFORMIX_SERVERS=$root
"$dbsh" --create-server shsrv
"$dbsh" -s shsrv -e "CREATE DATABASE shdb WITH LOG"
"$dbsh" -s shsrv -d shdb -e "CREATE TABLE sh_accounts (acct_no INTEGER, holder VARCHAR(40))" \
  -e "CREATE VIEW sh_holders AS SELECT holder FROM sh_accounts"

out=$(printf 'help\nhelp sh_accounts\nquit\n' | isql -v -b kes_sh)
failed=0
# Extended patterns; "|" of isql's table is written "[|]".
expect() {
  if ! grep -qE -- "$1" <<<"$out"; then
    echo "FAIL: isql output lacks: $1"
    failed=1
  fi
}
expect '[|] TABLE_NAME'
expect 'sh_accounts *[|] TABLE '
expect 'sh_holders *[|] VIEW '
expect 'systables *[|] SYSTEM TABLE '
expect '[|] COLUMN_NAME'
expect 'acct_no *[|] 4 *[|] INTEGER '
# A wide connection (the Unicode library) reports its text columns as wide types.
expect 'holder *[|] (12|-9) *[|] VARCHAR '
if [ $failed -ne 0 ]; then
  printf '%s\n' "$out"
  exit 1
fi
echo "isql catalog: all checks passed"
