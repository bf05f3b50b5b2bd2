#!/usr/bin/env bash
# The generation loop of the network: self-play data, training on all the
# data worth using, a gating match of the candidate against the network in
# use, and promotion of a winner.
#
#   scripts/network.sh data [POSITIONS]      self-play into $CORVAN_DATA, resuming
#   scripts/network.sh manifest              recount the manifest's files, say what is off
#   scripts/network.sh train GEN [EPOCHS]    train on every file the manifest names
#   scripts/network.sh gate GEN [GAMES]      SPRT: candidate (through EvalFile) against build/corvan
#                                            (TC=5+0.05 by default, or NODES=N per move)
#   scripts/network.sh promote GEN           ship the candidate as nets/corvan-genGEN.nnue.xz
#   scripts/network.sh wdl                   refit the win/draw/loss model (UCI_ShowWDL) to the
#                                            self-play of the built-in network
#
# data plays with a copy of build/corvan-datagen kept in $CORVAN_DATA/bin, so
# rebuilds do not disturb a long run; NETWORK=FILE plays with that image
# instead of the built-in one, NODES=N sets the budget (5000), SOFT_NODES=S
# a soft budget under it (no iteration starts past S nodes, NODES the hard
# cap), THREADS=N the games at once (1). Its file is
# $CORVAN_DATA/NAME-nNODES.bin, or NAME-sS-nNODES.bin (NAME: the network's
# bench signature, or the image's file name), and the manifest gets or keeps
# its line. CANDIDATE=FILE gates or promotes another image than
# train/final.nnue. INIT=IMAGE fine-tunes that image instead of training from
# random weights ("INIT=gen4.nnue LR=0.0003 scripts/network.sh train 5 1");
# LR_DROP="EPOCH FACTOR" drops the rate by FACTOR from that epoch on.
#
# $CORVAN_DATA (default ~/corvan-data) lies outside the repository. Its
# MANIFEST has one line per data file: FILE NETWORK NODES POSITIONS, FILE
# relative to the directory, NETWORK the network that played it (bench:N,
# the benchmark signature of the engine with the network built in, or
# NAME:SHA, an image's name and the start of its SHA-256), NODES its node
# budget (S/N for a soft budget S under the cap N); lines starting with # are
# comments. Training uses every file listed that is there.
set -euo pipefail
cd "$(dirname "$0")/.."
data_root=${CORVAN_DATA:-$HOME/corvan-data}
manifest="$data_root/MANIFEST"
threads=${THREADS:-1}
step=${1:-}
usage() { sed -n '2,33p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
[[ -n "$step" ]] || usage
mkdir -p "$data_root"
[[ -e "$manifest" ]] || echo "# file network nodes positions" > "$manifest"

# Positions in a data file: 32-byte records behind a 16-byte header.
positions_in() {
  local size
  size=$(stat -c %s "$1" 2>/dev/null || echo 0)
  echo $(( size > 16 ? (size - 16) / 32 : 0 ))
}

# Sets the manifest's count of FILE (adding the line when missing).
record() {
  local file=$1 network=$2 nodes=$3 count
  count=$(positions_in "$data_root/$file")
  if grep -q "^$file " "$manifest"; then
    awk -v f="$file" -v c="$count" '$1 == f { $4 = c } { print }' "$manifest" > "$manifest.new"
    mv "$manifest.new" "$manifest"
  else
    echo "$file $network $nodes $count" >> "$manifest"
  fi
}

case "$step" in
  data)
    positions=${2:-0}
    nodes=${NODES:-5000}
    [[ -x build/corvan-datagen ]] || make build >/dev/null
    mkdir -p "$data_root/bin" "$data_root/logs"
    bench=$(build/corvan pgo | sed -n 's/^Total nodes searched: //p')
    copy="$data_root/bin/corvan-datagen-$bench"
    [[ -x "$copy" ]] || cp build/corvan-datagen "$copy"
    if [[ -n "${NETWORK:-}" ]]; then
      name=$(basename "$NETWORK" .nnue)
      network="$name:$(sha256sum "$NETWORK" | cut -c1-12)"
    else
      name="net$bench"
      network="bench:$bench"
    fi
    soft=${SOFT_NODES:-}
    if [[ -n "$soft" ]]; then
      file="$name-s$soft-n$nodes.bin"
      budget="$soft/$nodes"
    else
      file="$name-n$nodes.bin"
      budget=$nodes
    fi
    record "$file" "$network" "$budget"
    openings=${OPENINGS:-../shared/data/openings-balanced.epd}
    "$copy" --out "$data_root/$file" --threads "$threads" --nodes "$nodes" \
      $([[ -e "$openings" ]] && echo "--openings $openings") --positions "$positions" \
      ${NETWORK:+--network "$NETWORK"} ${soft:+--soft-nodes "$soft"}
    record "$file" "$network" "$budget"
    ;;
  manifest)
    total=0
    while read -r file network nodes listed; do
      [[ -z "$file" || "$file" == \#* ]] && continue
      if [[ ! -e "$data_root/$file" ]]; then
        echo "network.sh: $file is in the manifest but not in $data_root (skipped)"
        continue
      fi
      count=$(positions_in "$data_root/$file")
      [[ "$count" == "$listed" ]] || echo "network.sh: $file holds $count positions, the manifest said $listed (corrected)"
      record "$file" "$network" "$nodes"
      total=$((total + count))
    done < <(cat "$manifest")
    for f in "$data_root"/*.bin; do
      [[ -e "$f" ]] || continue
      grep -q "^$(basename "$f") " "$manifest" || echo "network.sh: $(basename "$f") is not in the manifest (not used)"
    done
    echo "network.sh: $total positions in $data_root"
    ;;
  train)
    gen=${2:?usage: network.sh train GEN [EPOCHS]}
    epochs=${3:-1}
    make build >/dev/null
    files=()
    while read -r file _; do
      [[ -z "$file" || "$file" == \#* ]] && continue
      [[ -e "$data_root/$file" ]] && files+=(--data "$data_root/$file")
    done < "$manifest"
    [[ ${#files[@]} -gt 0 ]] || { echo "network.sh: no data in $manifest" >&2; exit 1; }
    dir="$data_root/gen$gen"
    mkdir -p "$dir"
    build/corvan-train "${files[@]}" --dir "$dir/train" --epochs "$epochs" --threads "${TRAIN_THREADS:-$(nproc)}" \
      --result-weight "${RESULT_WEIGHT:-0.1}" --king-lr "${KING_LR:-0}" --lr "${LR:-0.001}" \
      --lr-decay "${LR_DECAY:-0.75}" ${LR_DROP:+--lr-drop $LR_DROP} ${INIT:+--init "$INIT"}
    ;;
  gate)
    gen=${2:?usage: network.sh gate GEN [GAMES]}
    games=${3:-400}
    dir="$data_root/gen$gen"
    candidate="${CANDIDATE:-$dir/train/final.nnue}"
    [[ -e "$candidate" ]] || { echo "network.sh: no $candidate (train first)" >&2; exit 1; }
    make build >/dev/null
    build/corvan-match --engine cmd=build/corvan name="gen$gen" option.Hash=16 option.EvalFile="$(realpath "$candidate")" \
      --engine cmd=build/corvan name=current option.Hash=16 \
      $([[ -n "${NODES:-}" ]] && echo "--nodes $NODES" || echo "--tc ${TC:-5+0.05}") --games "$games" \
      --openings ../shared/data/openings-uho.epd --concurrency "${CONCURRENCY:-1}" \
      --seed "$gen" --sprt 0 10 0.05 0.05 --pgn "$dir/gate.pgn" | tee "$dir/gate.txt"
    ;;
  promote)
    gen=${2:?usage: network.sh promote GEN}
    candidate="${CANDIDATE:-$data_root/gen$gen/train/final.nnue}"
    [[ -e "$candidate" ]] || { echo "network.sh: no $candidate" >&2; exit 1; }
    cmake -DIMAGE="$candidate" -P cmake/checknetwork.cmake
    mkdir -p nets
    xz -9 -T "$(nproc)" -c "$candidate" > "nets/corvan-gen$gen.nnue.xz"
    sed -i "s|nets/corvan-gen[0-9]*\.nnue\.xz|nets/corvan-gen$gen.nnue.xz|" cmake/shippednetwork.cmake
    echo "nets/corvan-gen$gen.nnue.xz is now the built-in network; commit it with cmake/shippednetwork.cmake"
    echo "once it has played a million positions (network.sh data), refit UCI_ShowWDL: network.sh wdl"
    ;;
  wdl)
    # The scores of one network only: another network's centipawns are on
    # another scale. Half of its files fit the model, the other half (other
    # games) check it.
    make build >/dev/null
    bench=$(build/corvan pgo | sed -n 's/^Total nodes searched: //p')
    files=()
    while read -r file network _; do
      [[ "$network" == "bench:$bench" && -e "$data_root/$file" ]] && files+=("$data_root/$file")
    done < "$manifest"
    [[ ${#files[@]} -gt 0 ]] || { echo "network.sh: no self-play of bench:$bench in $manifest" >&2; exit 1; }
    tests=()
    for ((i = 1; i < ${#files[@]}; i += 2)); do tests+=(--test "${files[i]}"); done
    fits=()
    for ((i = 0; i < ${#files[@]}; i += 2)); do fits+=("${files[i]}"); done
    build/corvan-trainingdata wdl-fit "${tests[@]}" "${fits[@]}"
    echo "put the coefficients into src/eval/wdl.cpp"
    ;;
  *)
    usage
    ;;
esac
