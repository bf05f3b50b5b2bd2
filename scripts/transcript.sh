#!/usr/bin/env bash
# A scripted UCI session whose output is compared before and after a change
# that must not change behaviour: handshake, options, positions, every form
# of "go", d, eval and bench. Times and speeds are blanked; the lines of
# searches bounded by the clock (which vary from run to run) are reduced to
# "bestmove ...".
#   scripts/transcript.sh [ENGINE] > before.txt   (ENGINE: build/corvan)
set -euo pipefail
engine=${1:-build/corvan}
run() { printf '%s\n' "$@" | "$engine"; }
normalise() {
  sed -E -e 's/ time [0-9]+/ time T/; s/ nps [0-9]+/ nps N/' \
         -e 's/^(Total time \(ms\)|Nodes\/second): .*/\1: X/'
}
clocked() { grep -E '^bestmove' | sed -E 's/^bestmove.*/bestmove .../'; }

echo "== handshake and options"
run uci "setoption name Hash value 32" "setoption name Threads value 1" \
    "setoption name MultiPV value 3" isready "position startpos" "go depth 8" \
    "setoption name MultiPV value 1" "setoption name DrawScore value 30" \
    "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6" "go depth 9" \
    "setoption name UCI_Chess960 value true" \
    "position fen bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9" "go depth 7" d eval \
    "setoption name UCI_Chess960 value false" \
    "position fen 8/8/8/4k3/8/8/2K5/3Q4 w - - 0 1" "go depth 10" \
    "position fen 8/2k5/8/8/8/8/3KP3/8 w - - 0 1" "go nodes 20000" \
    "position fen r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3" \
    "go nodes 30000 searchmoves f1c4 f1b5 d2d4" \
    "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1" "go depth 3" \
    "position fen 8/8/8/8/8/8/8/8 w - - 0 1" "go depth 3" \
    "position startpos moves e2e4 e2e4" "go depth 3" \
    "position startpos" d eval "go perft 3" quit | normalise
echo "== clocked searches"
run "position startpos" "go movetime 200" "go wtime 2000 btime 2000 winc 20 binc 20" \
    "go wtime 1000 btime 1000 movestogo 5" "go infinite" stop "go ponder wtime 1000 btime 1000" ponderhit \
    isready quit | clocked
echo "== bench"
run "bench 16 1 9" quit | normalise
