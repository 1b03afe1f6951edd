#!/usr/bin/env bash
# test.sh - builds everything and runs every test:
#   1. the engine tests natively (POSIX backend),
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#   3. the cross build for 32-bit Windows, as it ships: the engine tests
#      against the real Windows functions under Wine, then velmar.exe's own
#      checks and its end-to-end tests under Wine on a virtual display;
#   4. the same for the 64-bit build of the same sources, under wine64 in a
#      64-bit prefix of its own.
# Where this machine runs no 32-bit program (scripts/machine.sh; or
# VELMAR_NO_32BIT=1), or install-deps.sh could not install the 32-bit
# packages, the 32-bit tree is built and checked without running it
# (imports, size, help), its Wine tests are counted as skipped, and the
# summary says that the shipped program was not run.
# First checks the tools and installs what is missing where it may
# (scripts/install-deps.sh), and makes the Wine prefixes, so that a missing
# tool or a Wine that cannot run the programs stops it before anything is
# built. Exits non-zero if anything fails.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh || { echo "test.sh: tools are missing (see above); nothing was built or run" >&2; exit 1; }
. scripts/machine.sh
runs_32bit=1
velmar_runs_32bit || runs_32bit=0
if [ "$runs_32bit" = 1 ]; then
  (. scripts/wine-prefix.sh && velmar_prefix_ready && echo "test.sh: $(velmar_prefix_describe)") ||
    { echo "test.sh: Wine cannot run the 32-bit programs (see above); nothing was built or run" >&2; exit 1; }
else
  echo "test.sh: $VELMAR_NO_32BIT_REASON; the win32 tree is built and checked without running it, and its Wine tests are skipped"
fi
# The answer holds for every test this run starts.
export velmar_32bit_answer velmar_32bit_why
(export VELMAR_WINE_ARCH=win64 && . scripts/wine-prefix.sh && velmar_prefix_ready && echo "test.sh: $(velmar_prefix_describe)") ||
  { echo "test.sh: Wine cannot run the 64-bit programs (see above); nothing was built or run" >&2; exit 1; }

passed=0
failed=0
skipped=0
status=0
summary=()

# build_tree NAME BUILD_DIR [CMAKE ARGS...]: configures and builds; a
# failure is counted and reported, and the tree's tests are not run.
build_tree() {
  local name=$1 dir=$2
  shift 2
  echo "=== $name: configure and build ($dir)"
  if ! cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1; then
    mkdir -p "$dir"; cat "$dir.configure.log"
    echo "=== $name: configure FAILED"; status=1; failed=$((failed + 1)); summary+=("$name: configure failed"); return 1
  fi
  if ! cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1; then
    tail -n 60 "$dir.build.log"
    echo "=== $name: build FAILED"; status=1; failed=$((failed + 1)); summary+=("$name: build failed"); return 1
  fi
}

# test_tree BUILD_DIR: runs its tests into BUILD_DIR.ctest.log, and their
# status into BUILD_DIR.ctest.rc.
test_tree() {
  local dir=$1
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600) >"$dir.ctest.log" 2>&1
  echo $? >"$dir.ctest.rc"
}

# count_tree NAME BUILD_DIR: adds the tree's results to the totals.
count_tree() {
  local name=$1 dir=$2
  local log="$dir.ctest.log" rc line
  rc=$(cat "$dir.ctest.rc" 2>/dev/null || echo 1)
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local total bad skips why=""
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    # ctest counts a skipped test among the passed ones; here it is not.
    skips=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")
    passed=$((passed + total - bad - skips))
    failed=$((failed + bad))
    skipped=$((skipped + skips))
    if [ "$skips" -gt 0 ]; then
      # A skipped test says why in its own output, which ctest keeps here.
      why=$(grep -m1 -ohE '^skipped: .*' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null)
      why=" ($skips skipped${why:+: ${why#skipped: }})"
    fi
    summary+=("$name: $line$why")
  else
    failed=$((failed + 1)); summary+=("$name: no test result")
  fi
  [ "$rc" -eq 0 ] || status=1
}

# run_suite NAME BUILD_DIR [CMAKE ARGS...]: one tree, start to end.
run_suite() {
  local name=$1 dir=$2
  build_tree "$@" || return
  echo "=== $name: test"
  test_tree "$dir"
  cat "$dir.ctest.log"
  count_tree "$name" "$dir"
}

mkdir -p build
run_suite native build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite sanitizers build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=ON

# The Windows trees are built as the program ships (Release, stripped), so
# the tests drive the very program users get: 32-bit, and the same sources
# for x86-64. Their suites mostly wait for Wine, so the two run side by side.
# win32 is built first: the 64-bit tests also read its velmar.exe's
# resources.
windows=()
build_tree win32 build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release &&
  windows+=(win32)
build_tree win64 build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release &&
  windows+=(win64)
if [ ${#windows[@]} -gt 0 ]; then
  echo "=== ${windows[*]}: test, side by side"
  testers=()
  for tree in "${windows[@]}"; do
    rm -f "build/$tree.ctest.rc"
    test_tree "build/$tree" &
    testers+=($!)
  done
  wait "${testers[@]}"
  for tree in "${windows[@]}"; do
    echo "=== $tree: test results"
    cat "build/$tree.ctest.log"
    count_tree "$tree" "build/$tree"
  done
fi
[ "$runs_32bit" = 1 ] ||
  summary+=("win32: the shipped 32-bit velmar.exe was not run: $VELMAR_NO_32BIT_REASON")

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

# Leave nothing running in our prefixes.
(. scripts/wine-prefix.sh && wineserver -k 2>/dev/null) || true
(export VELMAR_WINE_ARCH=win64 && . scripts/wine-prefix.sh && wineserver -k 2>/dev/null) || true

echo
printf '%s\n' "${summary[@]}"
echo "velmar: $passed passed, $failed failed, $skipped skipped"
exit $status
