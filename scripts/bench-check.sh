#!/usr/bin/env bash
# The benchmark's node count is the search's signature: it must be the one
# that the newest commit saying "Bench: N" in its message names.
#   scripts/bench-check.sh ENGINE
# Exits 1 when they differ, 0 when they agree or no commit names a count
# (outside a git checkout, say).
set -euo pipefail
cd "$(dirname "$0")/.."
engine=${1:?usage: scripts/bench-check.sh ENGINE}
expected=$(git log -E --grep='^Bench: [0-9]+' -1 --format=%B 2>/dev/null | sed -n -E 's/^Bench: ([0-9]+).*/\1/p' | tail -1 || true)
actual=$("$engine" pgo | sed -n 's/^Total nodes searched: //p')
if [[ -z "$expected" ]]; then
  echo "bench-check: $engine counts $actual nodes; no commit names a Bench count"
  exit 0
fi
if [[ "$actual" != "$expected" ]]; then
  echo "bench-check: $engine counts $actual nodes, the last functional commit says Bench: $expected" >&2
  exit 1
fi
echo "bench-check: $engine counts $actual nodes, as the last functional commit says"
