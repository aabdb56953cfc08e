#!/usr/bin/env bash
# Instructions per row of each road of odbc_bench under callgrind: a load-independent
# figure beside the timed ratios. Each road runs in a process of its own on a small
# table (ROWS, 20000 by default); only its second pass is counted.
# With `short` as third argument, instructions per statement of each road of
# odbc_short_bench instead (2000 statements counted), the peer driver's included.
# With `scroll`, instructions of each road of odbc_scroll_bench over a table of ROWS
# rows (100000 by default): per row for the forward scrolls, per jump for the 1000
# random ABSOLUTE jumps.
# Usage: bench/callgrind.sh [build dir, default build/release] [rows] [short|scroll]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
rows=${2:-20000}
bench=$build/bench/odbc_bench
out=$(mktemp -d /tmp/kes_callgrind_XXXXXX)
trap 'rm -rf "$out"' EXIT
if [[ ${3:-} == short ]]; then
  printf '%-40s %14s %14s\n' road instructions per_statement
  for side in kesdrvw kesdrva peer; do
    for road in select_by_key_direct select_by_key_prepared insert_one_autocommit \
                connect_disconnect; do
      name=$side/$road
      file=$out/${side}_$road
      valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$file.%p" \
        "$build/bench/odbc_short_bench" --callgrind "$name" >/dev/null 2>"$file.log" || {
          echo "$name: failed (see $file.log)" >&2; continue; }
      ir=$(grep -h '^totals:' "$file".*.1 2>/dev/null | awk '{print $2}' | head -n 1)
      printf '%-40s %14s %14.0f\n' "$name" "${ir:-?}" "$(echo "${ir:-0} / 2000" | bc -l)"
    done
  done
  exit 0
fi
if [[ ${3:-} == scroll ]]; then
  rows=${2:-100000}
  printf '%-34s %14s %12s\n' road instructions per_unit
  names="plain_sqlite/pass plain_sqlite/jumps_1 plain_sqlite/jumps_100"
  for side in kesdrvw kesdrva; do
    for road in forward_only_next_100 static_next_100 keyset_next_100 dynamic_next_100 \
                static_jumps_1 static_jumps_100 keyset_jumps_1 keyset_jumps_100; do
      names="$names $side/$road"
    done
  done
  for name in $names; do
    file=$out/$(echo "$name" | tr / _)
    valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$file.%p" \
      "$build/bench/odbc_scroll_bench" --rows "$rows" --callgrind "$name" >/dev/null \
      2>"$file.log" || { echo "$name: failed (see $file.log)" >&2; continue; }
    ir=$(grep -h '^totals:' "$file".*.1 2>/dev/null | awk '{print $2}' | head -n 1)
    n=$rows
    [[ $name == *jumps* ]] && n=1000
    printf '%-34s %14s %12.0f\n' "$name" "${ir:-?}" "$(echo "${ir:-0} / $n" | bc -l)"
  done
  exit 0
fi
inserts=$(( rows / 10 / 1000 * 1000 ))
(( inserts >= 1000 )) || inserts=1000
printf '%-34s %14s %12s\n' road instructions per_row
for name in plain_sqlite/fetch kesdrvw/fetch_bound_rowset_1 kesdrvw/fetch_rowset_1000 \
            kesdrvw/fetch_getdata kesdrva/fetch_bound_rowset_1 kesdrva/fetch_rowset_1000 \
            kesdrva/fetch_getdata plain_sqlite/insert kesdrvw/insert_arrays_1000 \
            kesdrva/insert_arrays_1000; do
  file=$out/$(echo "$name" | tr / _)
  valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$file.%p" \
    "$bench" --rows "$rows" --callgrind "$name" >/dev/null 2>"$file.log" || {
      echo "$name: failed (see $file.log)" >&2; continue; }
  # The dump made at the end of the counted pass is the one with a part number.
  ir=$(grep -h '^totals:' "$file".*.1 2>/dev/null | awk '{print $2}' | head -n 1)
  n=$rows
  [[ $name == *insert* ]] && n=$inserts
  printf '%-34s %14s %12.0f\n' "$name" "${ir:-?}" "$(echo "${ir:-0} / $n" | bc -l)"
done
