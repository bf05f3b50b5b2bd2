#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a fixed time, one after the
# other. The committed seeds in fuzz/corpus/<target>/ are read, never written:
# what the fuzzer finds goes to BUILD/fuzz-corpus/<target>/, which later runs
# continue from. A crash, a sanitizer report, a failed check or an input
# that runs longer than the timeout is a finding: libFuzzer saves the input
# as BUILD/fuzz-findings/<target>-crash-... (or -timeout-, -oom-) and the
# script fails. Replay one with BUILD/fuzz/fuzz_<target> FILE.
#
# Usage: scripts/fuzz.sh [--seconds N] [--runs N] [--build DIR] [--nice N] [TARGET...]
#   --seconds N   time per target (default 60)
#   --runs N      stop a target after N executions, if sooner (default: no limit)
#   --build DIR   build directory (default build-fuzz)
#   --nice N      run the fuzzers at this niceness (default 0)
#   TARGET        names of fuzz/*.cpp (default: all of them)
# Example, a long run in the background of a shared machine:
#   scripts/fuzz.sh --seconds 3600 --nice 19 uci
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=-1
build=build-fuzz
niceness=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --nice) niceness=$2; shift 2 ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  mkdir -p "$build"
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -g" \
    -DCORVAN_SANITIZE=address,undefined -DCORVAN_FUZZ=ON >"$build/fuzz-configure.log" 2>&1 ||
    { cat "$build/fuzz-configure.log"; exit 1; }
fi
if ! cmake --build "$build" -j "$(nproc)" --target fuzz >"$build/fuzz-build.log" 2>&1; then
  tail -n 30 "$build/fuzz-build.log"
  echo "fuzz.sh: the build failed (log $build/fuzz-build.log)" >&2
  exit 1
fi

mkdir -p "$build/fuzz-findings"
failed=0
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$corpus"
  # The table reader's one line for a refused file would fill the log.
  set +e
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    nice -n "$niceness" "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -runs="$runs" -timeout=60 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$target-" "$corpus" "fuzz/corpus/$target" 2>&1 |
    grep -v -x 'Corrupted table\.' >"$log"
  status=${PIPESTATUS[0]}
  set -e
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$status" -eq 0 ]; then
    echo "fuzz $target: ${executed:-?} executions (${rate:-?}/s), no finding"
  else
    failed=1
    echo "fuzz $target: FINDING after ${executed:-?} executions (log $log)"
    grep -E "ERROR|SUMMARY|check failed|Test unit written" "$log" | head -n 8 || true
  fi
done
exit $failed
