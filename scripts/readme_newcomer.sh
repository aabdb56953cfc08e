#!/usr/bin/env bash
# readme_newcomer.sh -- a newcomer's path, taken from the README itself: the shell
# steps of its "Your own database" section run as they stand (kesdbsh makes a server
# with a user, a logged and an unlogged database, and runs SQL from a file), its
# odbcinst.ini and odbc.ini entries are written as shown (with the path of the driver
# library built here), and its isql line connects as that user and reads the file's
# rows back; the same line with a wrong password must not connect. Everything lives
# in a private directory that goes at the end.
# Usage: readme_newcomer.sh README KESDBSH DRIVER_LIBRARY
set -euo pipefail
readme=$(realpath "$1")
dbsh=$(realpath "$2")
driver=$(realpath "$3")
root=$(mktemp -d "${TMPDIR:-/tmp}/kes_newcomer_XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/bin" "$root/home" "$root/etc" "$root/work" "$root/blocks"
ln -s "$dbsh" "$root/bin/kesdbsh"

# The section's code blocks (lines indented by four blanks), one file each, in order.
awk -v dir="$root/blocks" '
  /^## / { on = ($0 == "## Your own database"); inblock = 0; next }
  !on { next }
  /^    / { if (!inblock) { n++; inblock = 1 }; print substr($0, 5) > (dir "/" n); next }
  { inblock = 0 }
' "$readme"

shell="" odbcinst="" odbcini="" isqlline=""
for f in $(ls "$root/blocks" | sort -n); do
  block="$root/blocks/$f"
  first=$(head -n 1 "$block")
  case "$first" in
    export*|kesdbsh*) shell=$block ;;
    "[Kestrane]") odbcinst=$block ;;
    "["*) odbcini=$block ;;
    isql*) isqlline=$first ;;
  esac
done
for what in shell odbcinst odbcini isqlline; do
  if [ -z "${!what}" ]; then
    echo "FAIL: the README's \"Your own database\" section has no $what block"
    exit 1
  fi
done

# The file of statements the README's steps run.
cat >"$root/work/schema.sql" <<'SQL'
CREATE TABLE customer (id SERIAL PRIMARY KEY, name VARCHAR(40));
INSERT INTO customer (name) VALUES ('Ada Lovelace');
INSERT INTO customer (name) VALUES ('Grace Hopper');
SQL

cd "$root/work"
export HOME=$root/home PATH=$root/bin:$PATH
unset KES_INFORMIX_SERVERS INFORMIXSERVER
echo "== the README's steps"
cat "$shell"
# shellcheck disable=SC1090
source "$shell"
if [ -z "${KES_INFORMIX_SERVERS:-}" ] || [ ! -d "$KES_INFORMIX_SERVERS" ]; then
  echo "FAIL: the steps leave no servers directory in KES_INFORMIX_SERVERS"
  exit 1
fi

sed "s|^Driver=/.*|Driver=$driver|" "$odbcinst" >"$root/etc/odbcinst.ini"
cp "$odbcini" "$root/etc/odbc.ini"
export ODBCSYSINI=$root/etc ODBCINI=$root/etc/odbc.ini
echo "== $isqlline"
read -r -a words <<<"$isqlline"
out=$(echo "SELECT name FROM customer ORDER BY id" | "${words[@]}" -b 2>&1) || {
  printf '%s\n' "$out"
  echo "FAIL: isql did not connect as the README's user"
  exit 1
}
printf '%s\n' "$out"
for want in "Ada Lovelace" "Grace Hopper"; do
  if ! grep -q "$want" <<<"$out"; then
    echo "FAIL: isql did not read back $want"
    exit 1
  fi
done

# The user's password is checked: a wrong one connects nobody.
wrong=("${words[@]}")
wrong[${#wrong[@]}-1]=not-the-password
if out=$(echo "SELECT 1 FROM customer" | "${wrong[@]}" -b 2>&1); then
  printf '%s\n' "$out"
  echo "FAIL: isql connected with a wrong password"
  exit 1
fi
grep -q -- "-951" <<<"$out" || {
  printf '%s\n' "$out"
  echo "FAIL: a wrong password is refused without the server's message"
  exit 1
}
echo "newcomer path: all checks passed"
