#!/bin/sh
# Runs the fixed benchmark ("corvan pgo": ten positions to depth 14 on one
# thread) and reports its node total, the wall time and nodes per second.
# Usage: scripts/bench.sh [BUILD_DIR]
set -eu
build_dir=${1:-build}
engine="$build_dir/corvan"
if [ ! -x "$engine" ]; then
  echo "bench.sh: $engine not found (build first)" >&2
  exit 1
fi
output=$(mktemp)
trap 'rm -f "$output"' EXIT
start=$(date +%s%N)
"$engine" pgo >"$output"
end=$(date +%s%N)
nodes=$(sed -n 's/^Total nodes searched: \([0-9]*\).*/\1/p' "$output" | tail -n 1)
if [ -z "$nodes" ]; then
  echo "bench.sh: no node total in the output" >&2
  tail -n 5 "$output" >&2
  exit 1
fi
elapsed_ms=$(( (end - start) / 1000000 ))
[ "$elapsed_ms" -gt 0 ] || elapsed_ms=1
echo "Total nodes searched: $nodes"
echo "Elapsed: $elapsed_ms ms"
echo "Nodes/second: $(( nodes * 1000 / elapsed_ms ))"
