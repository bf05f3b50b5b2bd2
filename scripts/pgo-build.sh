#!/bin/sh
# The profile-guided Release build that "make" runs, in three steps:
#   1. an instrumented engine in BUILD_DIR/pgo-instrumented;
#   2. its benchmark run ("corvan pgo"), which counts how often every branch
#      and call is taken, into BUILD_DIR/pgo-profile;
#   3. everything in BUILD_DIR, the core library and the engine compiled with
#      those counts and the engine (and corvan-perft) link-time optimised.
# Step 2 runs again only when the instrumented engine has changed; new counts
# recompile the profiled objects of step 3. When step 1 or 2 cannot be done
# (a compiler other than GCC, a failed build or run), BUILD_DIR becomes a
# plain optimised build, and a line says so.
# Usage: scripts/pgo-build.sh BUILD_DIR JOBS [CMAKE_ARGS...]
# PGO_TARGETS="corvan ..." builds only those targets in step 3 (default: all).
set -eu
if [ $# -lt 2 ]; then
  echo "usage: scripts/pgo-build.sh BUILD_DIR JOBS [CMAKE_ARGS...]" >&2
  exit 2
fi
build_dir=$1
jobs=$2
shift 2
mkdir -p "$build_dir"
instrumented=$build_dir/pgo-instrumented
profile=$(cd "$build_dir" && pwd)/pgo-profile
# Both trees compile against the same include views (cmake/layers.cmake).
layers=$(cd "$build_dir" && pwd)/layers
stamp=$profile/profile.stamp

# plain REASON CMAKE_ARGS...: the fallback, an optimised build without profile.
plain() {
  reason=$1
  shift
  echo "pgo-build: $reason: building $build_dir WITHOUT profile-guided optimisation" >&2
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCORVAN_PGO=off "$@"
  cmake --build "$build_dir" -j "$jobs" ${PGO_TARGETS:+--target $PGO_TARGETS}
  echo "pgo-build: $build_dir is a plain optimised build ($reason)" >&2
  exit 0
}

echo "pgo-build: step 1 of 3, the instrumented engine in $instrumented"
if ! cmake -S . -B "$instrumented" -DCMAKE_BUILD_TYPE=Release -DCORVAN_PGO=generate \
       -DCORVAN_PGO_DATA="$profile" -DCORVAN_LAYER_DIR="$layers" "$@" ||
   ! cmake --build "$instrumented" -j "$jobs" --target corvan; then
  plain "the instrumented build failed" "$@"
fi

if [ -f "$stamp" ] && [ ! "$instrumented/corvan" -nt "$stamp" ]; then
  echo "pgo-build: step 2 of 3, the profile in $profile is up to date"
else
  echo "pgo-build: step 2 of 3, recording the profile: corvan pgo"
  rm -f "$stamp"
  mkdir -p "$profile"
  # Only this run may count: the build itself ran instrumented tools.
  find "$profile" -name '*.gcda' -exec rm -f {} +
  log=$instrumented/pgo-run.log
  if ! "$instrumented/corvan" pgo >"$log" 2>&1 || ! grep -q '^Total nodes searched' "$log"; then
    plain "the profile run failed (see $log)" "$@"
  fi
  if [ -z "$(find "$profile" -name '*.gcda' | head -n 1)" ]; then
    plain "the instrumented engine wrote no profile (only GCC builds are profiled)" "$@"
  fi
  touch "$stamp"
fi

echo "pgo-build: step 3 of 3, the profile-guided build in $build_dir"
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCORVAN_PGO=use -DCORVAN_PGO_DATA="$profile" \
  -DCORVAN_LAYER_DIR="$layers" "$@"
cmake --build "$build_dir" -j "$jobs" ${PGO_TARGETS:+--target $PGO_TARGETS}
