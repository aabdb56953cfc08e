#!/usr/bin/env bash
# silent_isql.sh -- unixODBC's isql running statements the server refuses: the
# diagnostics reach isql (it prints them with -v) and the driver writes nothing
# of its own on the standard error stream, where only isql's own "[ISQL]" lines
# may appear.
# Usage: silent_isql.sh DSN (run by run_client.py).
set -uo pipefail
dsn=$1
err=$(mktemp "${TMPDIR:-/tmp}/kes_isql_err_XXXXXX")
trap 'rm -f "$err"' EXIT

out=$(printf '%s\n' "CREATE TABLE quiet (k INTEGER PRIMARY KEY)" "INSERT INTO quiet VALUES (1)" \
  "INSERT INTO quiet VALUES (1)" "SELECT nope FROM quiet" "SELECT k FROM quiet; SELECT k FROM quiet" \
  "DELETE FROM quiet WHERE k < 0" | isql -v -b "$dsn" 2>"$err")
failed=0
for want in '[(]-268[)]' '[(]-217[)]' '[(]-201[)]'; do
  if ! grep -qE -- "$want" <<<"$out"; then
    echo "FAIL: isql did not report $want"
    failed=1
  fi
done
if grep -vq '^\[ISQL\]' "$err"; then
  echo "FAIL: the driver wrote on the standard error stream:"
  grep -v '^\[ISQL\]' "$err"
  failed=1
fi
if [ $failed -ne 0 ]; then
  printf '%s\n' "$out"
  exit 1
fi
echo "isql: failures reported, nothing of the driver's on the standard error stream"
