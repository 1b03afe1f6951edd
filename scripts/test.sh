#!/usr/bin/env bash
# test.sh - builds everything and runs every test:
#   1. the engine tests natively (POSIX backend),
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#   3. the cross build for 32-bit Windows: the engine tests against the real
#      Windows functions under Wine, then velmar.exe's own checks and its
#      end-to-end tests under Wine on a virtual display.
# First checks the tools and installs what is missing where it may
# (scripts/install-deps.sh), and makes the Wine prefix, so that a missing tool
# or a Wine that cannot run 32-bit programs stops it before anything is built.
# Exits non-zero if anything fails.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh || { echo "test.sh: tools are missing (see above); nothing was built or run" >&2; exit 1; }
(. scripts/wine-prefix.sh && velmar_prefix_ready && echo "test.sh: $(velmar_prefix_describe)") ||
  { echo "test.sh: Wine cannot run the 32-bit programs (see above); nothing was built or run" >&2; exit 1; }

passed=0
failed=0
status=0
summary=()

# run_suite NAME BUILD_DIR [CMAKE ARGS...]
run_suite() {
  local name=$1 dir=$2
  shift 2
  echo "=== $name: configure and build ($dir)"
  if ! cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1; then
    mkdir -p "$dir"; cat "$dir.configure.log"
    echo "=== $name: configure FAILED"; status=1; failed=$((failed + 1)); summary+=("$name: configure failed"); return
  fi
  if ! cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1; then
    tail -n 60 "$dir.build.log"
    echo "=== $name: build FAILED"; status=1; failed=$((failed + 1)); summary+=("$name: build failed"); return
  fi
  echo "=== $name: test"
  local log="$dir.ctest.log"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600) 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local total bad
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    summary+=("$name: $line")
  else
    failed=$((failed + 1)); summary+=("$name: no test result")
  fi
  [ "$rc" -eq 0 ] || status=1
}

mkdir -p build
run_suite native build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite sanitizers build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=ON
# The Windows tree is built as it ships (Release, stripped), so the tests
# drive the very program users get.
run_suite win32 build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release

# ---- fuzz targets: a short run of each (scripts/fuzz.sh SECONDS) ----
echo "=== fuzz: 10 s per target"
scripts/fuzz.sh 10 >build/fuzz.log 2>&1
fuzz_rc=$?
cat build/fuzz.log
if [ $fuzz_rc -eq 0 ]; then
  passed=$((passed + 1)); summary+=("fuzz: $(grep -c '^fuzz .*executions' build/fuzz.log) targets, no finding")
else
  status=1; failed=$((failed + 1)); summary+=("fuzz: FINDING or build failure (build/fuzz.log)")
fi

# Leave nothing running in our prefix.
(. scripts/wine-prefix.sh && wineserver -k 2>/dev/null) || true

echo
printf '%s\n' "${summary[@]}"
echo "velmar: $passed passed, $failed failed"
exit $status
