#include "board/perft.h"

#include "board/exchange.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace {

// Pseudo-legal moves in the order the search builds its root list. Quiet
// moves carry an exact check flag already; the rest get it here, so that
// every child knows whether it stands in check.
ScoredMove* pseudoLegalMoves(const PositionState& st, ScoredMove* list) {
  if (isInCheck(st)) return generateEvasions(st, list, true);
  list = generateUnderPromotions(st, list);
  list = generateQuiets(st, list, false);
  return generateCaptures(st, list);
}

uint64_t perftNode(Position& pos, int depth) {
  ScoredMove list[MAX_GENERATED];
  const PositionState& st = *pos.state;
  ScoredMove* end = pseudoLegalMoves(st, list);
  uint64_t nodes = 0;
  if (depth == 1) {
    for (ScoredMove* m = list; m != end; ++m) nodes += !leavesKingAttacked(st, m->move);
    return nodes;
  }
  const bool inCheck = isInCheck(st);
  for (ScoredMove* m = list; m != end; ++m) {
    Move move = m->move;
    if (leavesKingAttacked(st, move)) continue;
    if (inCheck || (move & (MOVE_CAPTURE | MOVE_PROMOTION))) setGivesCheck(st, &move);
    makeMove(pos, move, nullptr);
    nodes += perftNode(pos, depth - 1);
    takeBack(pos);
  }
  return nodes;
}

}  // namespace

uint64_t perft(Position& pos, int depth) { return depth <= 0 ? 1 : perftNode(pos, depth); }

int perftDivide(Position& pos, int depth, PerftLine* lines) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*pos.state, list);
  int count = 0;
  for (ScoredMove* m = list; m != end; ++m) {
    makeMove(pos, m->move, nullptr);
    lines[count++] = PerftLine{m->move, perft(pos, depth - 1)};
    takeBack(pos);
  }
  return count;
}
