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
# Nodes/second it prints.
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
    -*) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
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

# Runs "corvan pgo" into $output; sets nodes, elapsed_ms and search_ms.
run_corvan() {
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
  # The last info line before each bestmove carries that search's time.
  search_ms=$(awk '/^info /{last=$0} /^bestmove/{n=split(last,f," "); for(i=1;i<n;i++) if(f[i]=="time") t+=f[i+1]} END{print t+0}' "$output")
  [ "$search_ms" -gt 0 ] || search_ms=1
}

if [ "$compare" = 0 ]; then
  run_corvan
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

# Prints the Nodes/second of "stockfish bench ARGS...".
stockfish_rate() {
  "$stockfish" bench "$@" 2>&1 >/dev/null | sed -n 's/^Nodes\/second *: *\([0-9]*\).*/\1/p' | tail -n 1
}

median() { sort -n | awk '{v[NR]=$1} END{if(NR%2) print v[(NR+1)/2]; else print int((v[NR/2]+v[NR/2+1])/2)}'; }

rates=$(mktemp)
trap 'rm -f "$output" "$rates"' EXIT
echo "Alternating $runs runs of: corvan pgo, stockfish bench 256 1 13, stockfish bench (16 MB)"
printf '%-6s %14s %16s %16s\n' run corvan sf-256MB sf-16MB
i=1
while [ "$i" -le "$runs" ]; do
  run_corvan
  corvan_rate=$(( nodes * 1000 / search_ms ))
  sf256=$(stockfish_rate 256 1 13)
  sf16=$(stockfish_rate)
  if [ -z "$sf256" ] || [ -z "$sf16" ]; then
    echo "bench.sh: no Nodes/second from $stockfish bench" >&2
    exit 1
  fi
  printf '%-6s %14s %16s %16s\n' "$i" "$corvan_rate" "$sf256" "$sf16"
  echo "$corvan_rate $sf256 $sf16" >>"$rates"
  i=$(( i + 1 ))
done
corvan_median=$(cut -d' ' -f1 "$rates" | median)
sf256_median=$(cut -d' ' -f2 "$rates" | median)
sf16_median=$(cut -d' ' -f3 "$rates" | median)
printf '%-6s %14s %16s %16s\n' median "$corvan_median" "$sf256_median" "$sf16_median"
echo "Corvan pgo: $nodes nodes, $corvan_median nodes/second (median, searches alone)"
awk -v c="$corvan_median" -v a="$sf256_median" -v b="$sf16_median" 'BEGIN {
  printf "Ratio to stockfish bench 256 1 13: %.2f\n", c / a
  printf "Ratio to stockfish bench (16 MB):  %.2f\n", c / b }'
