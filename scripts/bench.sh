#!/bin/sh
# Runs the fixed benchmark ("corvan pgo": ten positions to depth 14 on one
# thread) and reports its node total, the wall time and nodes per second for
# the whole run, and the speed over the searches alone (the time the engine
# reports for each position, without start-up and the hash allocation that
# precedes every position).
#
# With --compare it measures that speed against Stockfish's own benchmark on
# the same machine: "corvan pgo", "stockfish bench 256 1 13" (the same 256 MB
# table) and "stockfish bench" (its default 16 MB table) run one after the
# other, RUNS times over (default 3), and the medians of their nodes per
# second and the ratios are printed. Both engines' rates exclude start-up and
# clearing the table: Corvan's is its search speed above, Stockfish's the
# Nodes/second it prints. On a busy machine, where the wall clock depends on
# what else runs, the nodes per user-mode processor second of each whole run
# are printed beside them, with their ratios.
# Usage: scripts/bench.sh [BUILD_DIR]
#        scripts/bench.sh --compare [--runs RUNS] [--stockfish PATH] [BUILD_DIR]
set -eu
compare=0
runs=3
stockfish=
while [ $# -gt 0 ]; do
  case "$1" in
    --compare) compare=1 ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    --stockfish) stockfish=${2:?--stockfish needs a path}; shift ;;
    -*) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
build_dir=${1:-build}
engine="$build_dir/corvan"
if [ ! -x "$engine" ]; then
  echo "bench.sh: $engine not found (build first)" >&2
  exit 1
fi
output=$(mktemp)
trap 'rm -f "$output"' EXIT

# Reads the output of "corvan pgo" in $output: sets nodes and search_ms.
parse_corvan() {
  nodes=$(sed -n 's/^Total nodes searched: \([0-9]*\).*/\1/p' "$output" | tail -n 1)
  if [ -z "$nodes" ]; then
    echo "bench.sh: no node total in the output" >&2
    tail -n 5 "$output" >&2
    exit 1
  fi
  # The last info line before each bestmove carries that search's time.
  search_ms=$(awk '/^info /{last=$0} /^bestmove/{n=split(last,f," "); for(i=1;i<n;i++) if(f[i]=="time") t+=f[i+1]} END{print t+0}' "$output")
  [ "$search_ms" -gt 0 ] || search_ms=1
}

if [ "$compare" = 0 ]; then
  start=$(date +%s%N)
  "$engine" pgo >"$output"
  end=$(date +%s%N)
  parse_corvan
  elapsed_ms=$(( (end - start) / 1000000 ))
  [ "$elapsed_ms" -gt 0 ] || elapsed_ms=1
  profile=$(sed -n 's/^CORVAN_PGO:STRING=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true)
  case "$profile" in
    use) echo "Build: profile-guided, link-time optimised ($build_dir)" ;;
    *) echo "Build: without profile ($build_dir)" ;;
  esac
  echo "Total nodes searched: $nodes"
  echo "Elapsed: $elapsed_ms ms"
  echo "Nodes/second: $(( nodes * 1000 / elapsed_ms ))"
  echo "Search time: $search_ms ms"
  echo "Search nodes/second: $(( nodes * 1000 / search_ms ))"
  exit 0
fi

if [ -z "$stockfish" ]; then
  stockfish=$(command -v stockfish || true)
  [ -n "$stockfish" ] || [ ! -x /usr/games/stockfish ] || stockfish=/usr/games/stockfish
fi
if [ -z "$stockfish" ] || [ ! -x "$stockfish" ]; then
  echo "bench.sh: no stockfish binary (Debian: apt-get install stockfish, or --stockfish PATH)" >&2
  exit 1
fi
case "$runs" in
  '' | *[!0-9]* | 0) echo "bench.sh: --runs needs a positive number" >&2; exit 2 ;;
esac

# Runs a command in a subshell of its own, its output in $output, and prints
# the user-mode processor seconds it took ("times" counts the finished
# children of the shell it runs in).
user_seconds() (
  times >"$clock"
  "$@" >"$output" 2>&1
  times >>"$clock"
  awk 'NR % 2 == 0 { split($1, p, "m"); t[NR] = p[1] * 60 + p[2] } END { print t[4] - t[2] }' "$clock"
)

# "stockfish bench ARGS...": sets sf_rate (its Nodes/second) and sf_cpu_rate
# (its nodes per user-mode processor second of the whole run).
run_stockfish() {
  seconds=$(user_seconds "$stockfish" bench "$@")
  sf_rate=$(sed -n 's/^Nodes\/second *: *\([0-9]*\).*/\1/p' "$output" | tail -n 1)
  sf_nodes=$(sed -n 's/^Nodes searched *: *\([0-9]*\).*/\1/p' "$output" | tail -n 1)
  if [ -z "$sf_rate" ] || [ -z "$sf_nodes" ]; then
    echo "bench.sh: no Nodes/second from $stockfish bench $*" >&2
    exit 1
  fi
  sf_cpu_rate=$(awk -v n="$sf_nodes" -v s="$seconds" 'BEGIN { print (s > 0) ? int(n / s) : 0 }')
}

median() { sort -n | awk '{v[NR]=$1} END{if(NR%2) print v[(NR+1)/2]; else print int((v[NR/2]+v[NR/2+1])/2)}'; }

rates=$(mktemp)
clock=$(mktemp)
trap 'rm -f "$output" "$rates" "$clock"' EXIT
echo "Alternating $runs runs of: corvan pgo, stockfish bench 256 1 13, stockfish bench (16 MB)"
echo "Nodes per second of the searches, then nodes per processor second of the whole runs:"
printf '%-6s %10s %10s %10s   %10s %10s %10s\n' run corvan sf-256MB sf-16MB corvan sf-256MB sf-16MB
i=1
while [ "$i" -le "$runs" ]; do
  seconds=$(user_seconds "$engine" pgo)
  parse_corvan
  corvan_rate=$(( nodes * 1000 / search_ms ))
  corvan_cpu_rate=$(awk -v n="$nodes" -v s="$seconds" 'BEGIN { print (s > 0) ? int(n / s) : 0 }')
  run_stockfish 256 1 13
  sf256=$sf_rate
  sf256_cpu=$sf_cpu_rate
  run_stockfish
  printf '%-6s %10s %10s %10s   %10s %10s %10s\n' "$i" "$corvan_rate" "$sf256" "$sf_rate" \
    "$corvan_cpu_rate" "$sf256_cpu" "$sf_cpu_rate"
  echo "$corvan_rate $sf256 $sf_rate $corvan_cpu_rate $sf256_cpu $sf_cpu_rate" >>"$rates"
  i=$(( i + 1 ))
done
m1=$(cut -d' ' -f1 "$rates" | median)
m2=$(cut -d' ' -f2 "$rates" | median)
m3=$(cut -d' ' -f3 "$rates" | median)
m4=$(cut -d' ' -f4 "$rates" | median)
m5=$(cut -d' ' -f5 "$rates" | median)
m6=$(cut -d' ' -f6 "$rates" | median)
printf '%-6s %10s %10s %10s   %10s %10s %10s\n' median "$m1" "$m2" "$m3" "$m4" "$m5" "$m6"
echo "Corvan pgo: $nodes nodes, $m1 nodes/second (median, searches alone)"
awk -v c="$m1" -v a="$m2" -v b="$m3" -v cc="$m4" -v ca="$m5" -v cb="$m6" 'BEGIN {
  printf "Ratio to stockfish bench 256 1 13: %.2f (processor time: %.2f)\n", c / a, cc / ca
  printf "Ratio to stockfish bench (16 MB):  %.2f (processor time: %.2f)\n", c / b, cc / cb }'
