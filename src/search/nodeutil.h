// Small position tests shared by the main and the quiescence search.
#pragma once

#include "board/movegen.h"
#include "board/types.h"

// Deepest ply at which a node still searches; deeper nodes return their
// static evaluation so no line, however extended, runs past the per-ply
// arrays or the state stack.
constexpr int SEARCH_PLY_LIMIT = MAX_PLY - 2;

// In check: does any evasion leave the king safe? Used where the fifty-move
// rule would otherwise call a mated position a draw.
inline bool hasLegalEvasion(const PositionState& st) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateEvasions(st, list, true);
  for (ScoredMove* m = list; m != end; ++m)
    if (!leavesKingAttacked(st, m->move)) return true;
  return false;
}

inline int sideIndex(const PositionState& st) { return isBlackToMove(st) ? 1 : 0; }
