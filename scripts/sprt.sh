#!/usr/bin/env bash
# A sequential test of a change: two commits built with the profile-guided
# Release build, each in a worktree of its own outside this tree, played
# against each other by corvan-match until the SPRT decides.
#
#   scripts/sprt.sh BASE [CANDIDATE]     (CANDIDATE: HEAD)
#
# The defaults are the project's bounds and time control for search changes:
#   TC=5+0.05     time control (NODES=N plays N nodes a move instead, for a
#                 change that cannot touch the clock)
#   ELO0=0 ELO1=10 ALPHA=0.05 BETA=0.05   the SPRT's hypotheses and errors
#   GAMES=40000   at most this many games; the test usually stops long before
#   CONCURRENCY=1 games at once (one core each)
#   OPENINGS=../shared/data/openings-uho.epd   unbalanced openings, in pairs
#   SEED=1        order of the openings
#   ADJUDICATE="--resign 4 1000 --draw 40 8 10"   games both engines call
#                 lost (4 moves at 1000 cp) or dead drawn (from move 40,
#                 8 moves within 10 cp) end there; ADJUDICATE= plays them out
# Both engines play with Hash 16 and Threads 1. The builds stay in
# $SPRT_DIR (default ~/corvan-sprt/COMMIT), so a second test of the same
# commit does not build it again; the games go to $SPRT_DIR/BASE-CANDIDATE.pgn.
# The last lines printed are the match's result: the Elo estimate with its
# interval, the pentanomial counts of the game pairs, the LLR and the decision.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)
base=${1:-}
[[ -n "$base" ]] || { sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
candidate=${2:-HEAD}
root=${SPRT_DIR:-$HOME/corvan-sprt}
jobs=${JOBS:-$(nproc)}
mkdir -p "$root"

# build COMMIT: prints the path of its engine, building it when needed.
build() {
  local sha dir
  sha=$(git rev-parse --short=10 "$1^{commit}")
  dir="$root/$sha"
  if [[ ! -x "$dir/build/corvan" ]]; then
    [[ -d "$dir" ]] || git worktree add --detach "$dir" "$sha" >&2
    # This tree's build script, which can build just the two programs, also
    # for commits older than it.
    (cd "$dir" && PGO_TARGETS="corvan corvan-match" "$here/scripts/pgo-build.sh" build "$jobs") >&2
  fi
  echo "$dir/build"
}

base_build=$(build "$base")
candidate_build=$(build "$candidate")
base_sha=$(git rev-parse --short=10 "$base^{commit}")
candidate_sha=$(git rev-parse --short=10 "$candidate^{commit}")
limit=$([[ -n "${NODES:-}" ]] && echo "--nodes $NODES" || echo "--tc ${TC:-5+0.05}")
echo "sprt: $candidate_sha against $base_sha, $limit, SPRT [${ELO0:-0}, ${ELO1:-10}]," \
     "alpha ${ALPHA:-0.05} beta ${BETA:-0.05}, openings ${OPENINGS:-../shared/data/openings-uho.epd}"
"$candidate_build/corvan-match" \
  --engine cmd="$candidate_build/corvan" name="$candidate_sha" option.Hash=16 option.Threads=1 \
  --engine cmd="$base_build/corvan" name="$base_sha" option.Hash=16 option.Threads=1 \
  $limit --games "${GAMES:-40000}" --concurrency "${CONCURRENCY:-1}" \
  --openings "${OPENINGS:-../shared/data/openings-uho.epd}" --seed "${SEED:-1}" \
  --sprt "${ELO0:-0}" "${ELO1:-10}" "${ALPHA:-0.05}" "${BETA:-0.05}" \
  ${ADJUDICATE---resign 4 1000 --draw 40 8 10} \
  --pgn "$root/$base_sha-$candidate_sha.pgn"
