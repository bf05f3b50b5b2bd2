#!/bin/sh
# What more search threads buy: the benchmark positions searched to a fixed
# depth with one thread and with THREADS threads (default 2), the two runs
# alternating, RUNS times over (default 3). Each position starts from an
# empty table, as in "corvan bench".
#
# Per position it prints the median time at which the depth was completed
# (the info line of that depth) and the ratio of the two, then the median
# ratio over the positions: the time-to-depth ratio, meaningful only where
# every thread has a core of its own. Two figures that hold on a busy
# machine as well follow: the speed per thread in nodes per second of
# processor time, and the time-to-depth ratio those imply, from the nodes
# each setting needed to complete the depth:
#   (nodes with THREADS / nodes with 1) / THREADS x (speed 1 / speed per thread).
# Usage: scripts/threads.sh [--runs RUNS] [--depth DEPTH] [--threads THREADS]
#                           [--hash MB] [BUILD_DIR]
set -eu
runs=3
depth=14
threads=2
hash=256
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?}; shift ;;
    --depth) depth=${2:?}; shift ;;
    --threads) threads=${2:?}; shift ;;
    --hash) hash=${2:?}; shift ;;
    -*) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
build_dir=${1:-build}
engine="$build_dir/corvan"
if [ ! -x "$engine" ]; then
  echo "threads.sh: $engine not found (build first)" >&2
  exit 1
fi
results=$(mktemp)
output=$(mktemp)
clock=$(mktemp)
trap 'rm -f "$results" "$output" "$clock" "$clock.before" "$clock.after"' EXIT

# Prints the user-mode processor seconds of the finished children of this
# shell so far ("times" must run in this shell, not in a pipe or a command
# substitution). Kernel time is left out: it is spent mapping the table,
# and varies from run to run with how the kernel finds huge pages.
child_seconds() {
  times >"$clock"
  awk 'NR == 2 { split($1, p, "m"); print p[1] * 60 + p[2] }' "$clock"
}

# Prints the processor seconds of "corvan bench HASH THREADS DEPTH" ($1 $2
# $3), leaving its output in $output. Run it in a subshell of its own.
bench_seconds() {
  child_seconds >"$clock.before"
  "$engine" bench "$1" "$2" "$3" >"$output"
  child_seconds >"$clock.after"
  cat "$clock.before" "$clock.after" | awk 'NR == 1 { a = $1 } NR == 2 { print $1 - a }'
}

# One bench run with $1 threads; appends "THREADS RUN POSITION MS NODES" per
# position (the time and node total of the info line that completed the
# depth) and "cpu THREADS RUN SECONDS TOTALNODES" for the run. The seconds
# leave out what a depth-1 run with the same threads takes (start-up and
# clearing the table before each position).
measure() {
  fixed=$(bench_seconds "$hash" "$1" 1)
  cpu=$(bench_seconds "$hash" "$1" "$depth")
  awk -v t="$1" -v run="$2" -v d="$depth" -v cpu="$(echo "$cpu $fixed" | awk '{print $1 - $2}')" '
    BEGIN { pos = 0; done = 0 }
    /^info / && !done {
      for (i = 1; i < NF; i++) { if ($i == "depth") dep = $(i+1); if ($i == "time") ms = $(i+1); if ($i == "nodes") n = $(i+1) }
      if (dep == d) { print t, run, pos, ms, n; done = 1 } }
    /^bestmove/ { pos++; done = 0 }
    /^Total nodes searched/ { print "cpu", t, run, cpu, $4 }' "$output" >>"$results"
}

echo "Depth $depth, $hash MB, 1 and $threads threads alternating, $runs runs"
run=1
while [ "$run" -le "$runs" ]; do
  measure 1 "$run"
  measure "$threads" "$run"
  run=$((run + 1))
done

awk -v threads="$threads" '
  function median(values,   n, i, j, v, tmp) {
    n = split(values, v, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { tmp = v[i]; v[i] = v[j]; v[j] = tmp }
    return (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  $1 == "cpu" { k = ($2 == 1) ? 1 : 2; speeds[k] = speeds[k] " " (($4 > 0) ? $5 / $4 : 0); next }
  { k = ($1 == 1) ? 1 : 2; times[k, $3] = times[k, $3] " " $4; nodes[k, $3] = nodes[k, $3] " " $5
    if ($3 + 1 > positions) positions = $3 + 1 }
  END {
    printf "%-9s %10s %10s %7s %12s\n", "position", "1 thread", threads " threads", "ratio", "node ratio"
    for (p = 0; p < positions; p++) {
      a = median(times[1, p]); b = median(times[2, p])
      r = (a > 0) ? b / a : 1
      na = median(nodes[1, p]); nb = median(nodes[2, p])
      nr = (na > 0) ? nb / na : 1
      ratios = ratios " " r; nodeRatios = nodeRatios " " nr
      printf "%-9d %8d ms %8d ms %7.2f %12.2f\n", p + 1, a, b, r, nr
    }
    printf "Median time-to-depth ratio: %.2f (wall clock)\n", median(ratios)
    # Processor time adds up over the threads: nodes per processor second
    # is already a speed per thread.
    s1 = median(speeds[1]); s2 = median(speeds[2])
    change = (s1 > 0) ? (s2 / s1 - 1) * 100 : 0
    printf "Nodes per processor second per thread: %d with 1 thread, %d with %d (%+.1f%%)\n", s1, s2, threads, change
    implied = (s2 > 0) ? median(nodeRatios) / threads * s1 / s2 : 0
    printf "Median node ratio %.2f: time-to-depth ratio on free cores %.2f\n", median(nodeRatios), implied
  }' "$results"
