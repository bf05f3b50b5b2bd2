#!/usr/bin/env bash
# One generation of the network: self-play data with the engine as built,
# training on that data and the generations before it, a gating match of
# the candidate against the built-in network, and promotion of a winner.
#
#   scripts/network.sh data GEN [POSITIONS]   self-play with build/corvan's network
#   scripts/network.sh train GEN [EPOCHS]     train on gen1..GEN data
#   scripts/network.sh gate GEN [GAMES]       SPRT: candidate against build/corvan
#                                             (TC=5+0.05 by default, or NODES=N per move)
#   scripts/network.sh promote GEN            ship the candidate as nets/corvan-genGEN.nnue.xz
#
# CANDIDATE=FILE gates or promotes another image than train/final.nnue (an
# earlier epoch-N.nnue, say). INIT=IMAGE trains from that network image
# instead of random weights: the previous generation fine-tuned, as in
# "INIT=gen3.nnue LR=0.0003 scripts/network.sh train 4 1" (gen4's recipe).
#
# Data, checkpoints and candidates live in $CORVAN_DATA (default
# ~/corvan-data), outside the repository: genGEN/selfplay.bin and
# genGEN/train/. Every step resumes from what is there: data generation
# appends, training continues from its checkpoint.
set -euo pipefail
cd "$(dirname "$0")/.."
data_root=${CORVAN_DATA:-$HOME/corvan-data}
threads=${THREADS:-$(nproc)}
step=${1:-}
gen=${2:-}
if [[ -z "$step" || ! "$gen" =~ ^[0-9]+$ ]]; then
  sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
dir="$data_root/gen$gen"
mkdir -p "$dir"

case "$step" in
  data)
    positions=${3:-2000000}
    make build >/dev/null
    openings=${OPENINGS:-../shared/data/openings-balanced.epd}
    build/corvan-datagen --out "$dir/selfplay.bin" --threads "$threads" \
      $([[ -e "$openings" ]] && echo "--openings $openings") --positions "$positions"
    ;;
  train)
    epochs=${3:-8}
    make build >/dev/null
    files=()
    for g in $(seq 1 "$gen"); do
      for f in "$data_root/gen$g"/*.bin; do [[ -e "$f" ]] && files+=(--data "$f"); done
    done
    build/corvan-train "${files[@]}" --dir "$dir/train" --epochs "$epochs" --threads "$threads" \
      --result-weight "${RESULT_WEIGHT:-0.1}" --king-lr "${KING_LR:-0}" --lr "${LR:-0.001}" \
      --lr-decay "${LR_DECAY:-0.75}" ${INIT:+--init "$INIT"}
    ;;
  gate)
    games=${3:-400}
    candidate="${CANDIDATE:-$dir/train/final.nnue}"
    [[ -e "$candidate" ]] || { echo "network.sh: no $candidate (train first)" >&2; exit 1; }
    make build >/dev/null
    cmake -S . -B "build-gen$gen" -DCMAKE_BUILD_TYPE=Release -DCORVAN_NETWORK="$candidate" >/dev/null
    cmake --build "build-gen$gen" --target corvan -j "$threads" >/dev/null
    build/corvan-match --engine cmd="build-gen$gen/corvan" name="gen$gen" option.Hash=16 \
      --engine cmd=build/corvan name=current option.Hash=16 \
      $([[ -n "${NODES:-}" ]] && echo "--nodes $NODES" || echo "--tc ${TC:-5+0.05}") --games "$games" --openings ../shared/data/openings-uho.epd \
      --seed "$gen" --sprt 0 10 0.05 0.05 --pgn "$dir/gate.pgn" | tee "$dir/gate.txt"
    ;;
  promote)
    candidate="${CANDIDATE:-$dir/train/final.nnue}"
    [[ -e "$candidate" ]] || { echo "network.sh: no $candidate" >&2; exit 1; }
    cmake -DIMAGE="$candidate" -P cmake/checknetwork.cmake
    mkdir -p nets
    xz -9 -T "$threads" -c "$candidate" > "nets/corvan-gen$gen.nnue.xz"
    sed -i "s|nets/corvan-gen[0-9]*\.nnue\.xz|nets/corvan-gen$gen.nnue.xz|" cmake/embedded.cmake
    echo "nets/corvan-gen$gen.nnue.xz is now the built-in network; commit it with cmake/embedded.cmake"
    ;;
  *)
    echo "network.sh: unknown step '$step'" >&2
    exit 2
    ;;
esac
