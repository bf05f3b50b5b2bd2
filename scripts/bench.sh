#!/bin/sh
# Runs the fixed benchmark ("corvan pgo": ten positions to depth 14 on one
# thread) and reports its node total, the wall time and nodes per second for
# the whole run, and the speed over the searches alone (the time the engine
# reports for each position, without start-up and the hash allocation that
# precedes every position).
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
# The last info line before each bestmove carries that search's time.
search_ms=$(awk '/^info /{last=$0} /^bestmove/{n=split(last,f," "); for(i=1;i<n;i++) if(f[i]=="time") t+=f[i+1]} END{print t+0}' "$output")
[ "$search_ms" -gt 0 ] || search_ms=1
echo "Search time: $search_ms ms"
echo "Search nodes/second: $(( nodes * 1000 / search_ms ))"
