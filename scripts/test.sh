#!/usr/bin/env bash
# Installs what is missing, checks the include graph against the layering,
# builds the sanitizer build and runs every test.
# Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kes_install_deps
python3 scripts/check_includes.py

build=${KES_BUILD_DIR:-build/asan}
jobs=${KES_JOBS:-$(nproc)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKES_SANITIZE=ON \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
set +e
(cd "$build" && ctest -j "$jobs" --output-on-failure --timeout 600 "$@") > "$build/ctest.log" 2>&1
rc=$?
set -e

# The fuzz targets, built with clang's libFuzzer in a tree of their own, each run for
# a few seconds on its seed corpus. Without clang there is nothing to run them with.
if command -v clang++ >/dev/null 2>&1 && [ "${KES_NO_FUZZ:-0}" != 1 ]; then
  fuzz=${KES_FUZZ_BUILD_DIR:-build/fuzz}
  set +e
  {
    CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKES_FUZZ=ON \
        -DKES_SANITIZE=ON -DKES_BUILD_TESTS=OFF -DKES_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" >/dev/null &&
      cmake --build "$fuzz" -j "$jobs" --target fuzz_all &&
      (cd "$fuzz" && ctest -j "$jobs" --output-on-failure -R '^fuzz\.')
  } >> "$build/ctest.log" 2>&1
  frc=$?
  set -e
  if [ $frc -ne 0 ]; then
    echo "fuzz runs failed (see $build/ctest.log)" >> "$build/ctest.log"
    rc=1
  fi
fi

# Failures in full, then ctest's own summary as the last lines.
grep -v -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "$build/ctest.log" | tail -n 200
exit $rc
