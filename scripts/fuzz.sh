#!/usr/bin/env bash
# fuzz.sh - builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for SECONDS
# (default 60), one after the other, or all at once with -p.
#
#   scripts/fuzz.sh [-p] [SECONDS] [TARGET...]     targets: profile decimal command_line print_job layout recode escp
#
# Each target starts from its seeds in fuzz/corpus/TARGET and from what
# earlier runs found (build/fuzz/work/TARGET, kept between runs). Prints the
# executions and coverage of each run; exits non-zero on any finding (crash,
# leak, hang, oracle mismatch), whose input is left in build/fuzz/findings/.
# Copy such an input to fuzz/corpus/TARGET/regression-NAME once it is
# understood: every build then replays it as a test.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

parallel=0
if [ "${1:-}" = "-p" ]; then parallel=1; shift; fi
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(profile decimal command_line print_job layout recode escp)
case $seconds in ''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a number" >&2; exit 2 ;; esac

build=$root/build/fuzz
mkdir -p "$build"
echo "=== fuzz: build ($build)"
if ! CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELMAR_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     >"$build.configure.log" 2>&1; then
  cat "$build.configure.log"; echo "fuzz.sh: configure failed (clang and libclang-rt-dev installed?)" >&2; exit 1
fi
if ! cmake --build "$build" -j2 >"$build.build.log" 2>&1; then
  tail -n 40 "$build.build.log"; echo "fuzz.sh: build failed" >&2; exit 1
fi

for t in "${targets[@]}"; do
  [ -x "$build/fuzz/fuzz_$t" ] || { echo "fuzz.sh: no target $t" >&2; exit 2; }
done
mkdir -p "$build/findings"
# The targets write their scratch files for every input: in memory they run
# about three times as fast.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
# run_target NAME: one run; its log in build/fuzz/NAME.log.
run_target() {
  local name=$1 program=$build/fuzz/fuzz_$1 work=$build/work/$1 log=$build/$1.log
  mkdir -p "$work"
  # -timeout: one input taking longer counts as a hang; -rss_limit_mb: a
  # runaway allocation is a finding, not a stalled machine.
  touch "$build/findings/.start-$name"
  "$program" "$work" "$root/fuzz/corpus/$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="$build/findings/$name-" >"$log" 2>&1
}

# report NAME RC: one summary line; 1 when the run found something.
report() {
  local name=$1 rc=$2 log=$build/$1.log
  local execs cov ft corpus
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
  corpus=$(grep -oE 'corp: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
  # A finding ends the run with a non-zero status and leaves its input.
  if [ "$rc" -ne 0 ]; then
    echo "fuzz $name: FINDING after ${execs:-?} executions (log: $log)"
    grep -E 'FAILED|ERROR|SUMMARY|differs|differ$' "$log" | head -n 5
    find "$build/findings" -name "$name-*" -newer "$build/findings/.start-$name" 2>/dev/null
    return 1
  fi
  echo "fuzz $name: ${seconds} s, ${execs:-?} executions, coverage ${cov:-?} edges, ${ft:-?} features, corpus ${corpus:-?}"
}

status=0
declare -A rcs
if [ $parallel -eq 1 ]; then
  declare -A pids
  for t in "${targets[@]}"; do run_target "$t" & pids[$t]=$!; done
  for t in "${targets[@]}"; do wait "${pids[$t]}"; rcs[$t]=$?; done
else
  for t in "${targets[@]}"; do
    echo "=== fuzz: $t for $seconds s"
    run_target "$t"; rcs[$t]=$?
  done
fi
for t in "${targets[@]}"; do report "$t" "${rcs[$t]}" || status=1; done
exit $status
