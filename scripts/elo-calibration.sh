#!/usr/bin/env bash
# Calibrates UCI_Elo: plays ENGINE at each setting against Stockfish 15.1 set
# to the same UCI_Elo (its own scale, fitted by its authors to the CCRL
# 40/4 list) and prints, per setting, the games, the score and the Elo the
# games give the setting: the anchor's Elo plus the measured difference.
#   scripts/elo-calibration.sh ENGINE [ELO...]      (default 1500 2000 2500)
# GAMES per setting (20), TC (5+0.05), OPENINGS (the balanced suite),
# OUT (a directory for the PGN files, default a temporary one),
# STOCKFISH (/usr/games/stockfish). Needs corvan-match beside ENGINE or in
# build/.
set -euo pipefail
engine=$(realpath "$1")
shift
settings=${*:-1500 2000 2500}
games=${GAMES:-20}
tc=${TC:-5+0.05}
stockfish=${STOCKFISH:-/usr/games/stockfish}
openings=${OPENINGS:-$(dirname "$0")/../../shared/data/openings-balanced.epd}
out=${OUT:-$(mktemp -d)}
match=$(dirname "$engine")/corvan-match
[[ -x "$match" ]] || match=$(dirname "$0")/../build/corvan-match
[[ -x "$match" ]] || { echo "elo-calibration: no corvan-match beside $engine or in build/" >&2; exit 2; }
[[ -x "$stockfish" ]] || { echo "elo-calibration: no Stockfish at $stockfish (apt-get install stockfish)" >&2; exit 2; }
mkdir -p "$out"
printf '%-8s %-18s %6s %-12s %8s %s\n' UCI_Elo opponent games W-L-D score measured
for elo in $settings; do
  # Stockfish 15.1 takes UCI_Elo from 1350 to 2850.
  anchor=$(( elo < 1350 ? 1350 : elo > 2850 ? 2850 : elo ))
  log="$out/elo-$elo.log"
  "$match" --engine cmd="$engine" name="Corvan-$elo" option.Hash=16 option.UCI_LimitStrength=true \
      option.UCI_Elo="$elo" \
    --engine cmd="$stockfish" name="Stockfish-$anchor" option.Hash=16 option.UCI_LimitStrength=true \
      option.UCI_Elo="$anchor" \
    --tc "$tc" --games "$games" $([[ -e "$openings" ]] && echo "--openings $openings") \
    --pgn "$out/elo-$elo.pgn" >"$log" 2>&1 || true
  wld=$(sed -n 's/^Wins \([0-9]*\), losses \([0-9]*\), draws \([0-9]*\).*/\1 \2 \3/p' "$log" | tail -1)
  read -r w l d <<<"${wld:-0 0 0}"
  n=$((w + l + d))
  awk -v w="$w" -v l="$l" -v d="$d" -v n="$n" -v elo="$elo" -v anchor="$anchor" 'BEGIN {
    s = n ? (w + d / 2) / n : 0
    # A perfect or zero score has no finite difference: clip it to 1/2 game.
    c = s <= 0 ? 0.5 / n : s >= 1 ? 1 - 0.5 / n : s
    diff = n ? -400 * log(1 / c - 1) / log(10) : 0
    printf "%-8s %-18s %6d %-12s %7.1f%% %+d (%d)\n", elo, "Stockfish " anchor, n, w "-" l "-" d, 100 * s, diff, anchor + diff
  }'
done
