#!/usr/bin/env bash
# Plays a short game of Corvan against itself as an XBoard (CECP) engine
# through the Polyglot adapter, the way XBoard runs two engines: each side is
# its own "polyglot -noini -ec ENGINE" process, gets "new", pondering, a hash
# size, a time control and both clocks, and receives the other side's moves
# as "usermove". Polyglot checks every move against its own board.
#
# Usage: scripts/xboard-game.sh [ENGINE] [PLIES]
#   ENGINE  engine binary (default build/corvan)
#   PLIES   half-moves to play unless the game ends sooner (default 40)
# Prints the moves and the outcome. Exit status: 0 when the game went through,
# 1 on an illegal move, an adapter error, a crash or a silent engine, 77 when
# polyglot is not installed (Debian: apt-get install polyglot).
set -uo pipefail

engine=${1:-build/corvan}
plies=${2:-40}
base_cs=600  # six seconds a side for the whole game
reply_timeout=30

polyglot=$(command -v polyglot || true)
[ -z "$polyglot" ] && [ -x /usr/games/polyglot ] && polyglot=/usr/games/polyglot
if [ -z "$polyglot" ]; then
  echo "xboard-game.sh: polyglot not found (Debian: apt-get install polyglot)" >&2
  exit 77
fi
if [ ! -x "$engine" ]; then
  echo "xboard-game.sh: $engine is not an executable engine" >&2
  exit 1
fi
engine=$(cd "$(dirname "$engine")" && pwd)/$(basename "$engine")

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
# Polyglot may keep settings under the home directory: keep them in $work.
export HOME=$work

fail() {
  echo "xboard-game.sh: $*" >&2
  for side in white black; do
    if [ -s "$work/$side.err" ]; then
      echo "--- $side adapter's standard error:" >&2
      cat "$work/$side.err" >&2
    fi
  done
  exit 1
}

# Starts one side on file descriptors: $2 to write, $3 to read.
start_side() {
  local side=$1
  mkfifo "$work/$side.in" "$work/$side.out"
  (cd "$work" && exec "$polyglot" -noini -ec "$engine" <"$side.in" >"$side.out" 2>"$side.err") &
  pids+=($!)
  eval "exec $2>\"$work/$side.in\" $3<\"$work/$side.out\""
}

send() { printf '%s\n' "$2" >&"$1" || fail "the adapter stopped reading: $2"; }

# Reads lines from descriptor $1 until one starts with $2; the line is left
# in $reply. A result, an error or an illegal move ends the game here.
await() {
  local line
  while IFS= read -r -t "$reply_timeout" line <&"$1"; do
    line=${line%$'\r'}
    case $line in
      *[Ii]llegal* | Error* | tellusererror* | *"polyglot: resign"*) fail "adapter says: $line" ;;
      "$2"*) reply=$line; return 0 ;;
      "1-0"* | "0-1"* | "1/2-1/2"*) reply=$line; return 1 ;;
    esac
  done
  fail "no '$2' within $reply_timeout s (the engine or the adapter died or hung)"
}

start_side white 3 4
start_side black 5 6
for fd in 3 5; do
  send $fd xboard
  send $fd "protover 2"
done
await 4 "feature done=1"
await 6 "feature done=1"
for fd in 3 5; do
  send $fd "memory 16"
  send $fd new
  send $fd hard
  send $fd "level 0 0:$(printf %02d $((base_cs / 100))) 0"
  send $fd "ping 1"
done
# The clocks start once both engines have set up their tables.
await 4 "pong 1"
await 6 "pong 1"

# Centiseconds left on each clock, in the order white, black.
clock=($base_cs $base_cs)
to=(3 5)
from=(4 6)
moves=()
outcome="ply limit"
previous=""
for ((ply = 0; ply < plies; ++ply)); do
  side=$((ply % 2))
  other=$((1 - side))
  send ${to[$side]} "time ${clock[$side]}"
  send ${to[$side]} "otim ${clock[$other]}"
  start=$(date +%s%N)
  if [ -z "$previous" ]; then
    send ${to[$side]} go
  else
    send ${to[$side]} "usermove $previous"
  fi
  if ! await ${from[$side]} "move "; then
    outcome=$reply
    break
  fi
  used=$((($(date +%s%N) - start) / 10000000))
  clock[$side]=$((clock[$side] - used))
  [ "${clock[$side]}" -gt 0 ] || fail "$([ $side = 0 ] && echo White || echo Black) lost on time"
  previous=${reply#move }
  moves+=("$previous")
done

for ((i = 0; i < ${#moves[@]}; i += 2)); do
  printf '%d. %s %s\n' $((i / 2 + 1)) "${moves[$i]}" "${moves[$((i + 1))]:-}"
done
echo "Game over after ${#moves[@]} plies: $outcome"
for fd in 3 5; do send $fd quit; done
for pid in "${pids[@]}"; do wait "$pid" || fail "an adapter exited with status $?"; done
pids=()
exit 0
