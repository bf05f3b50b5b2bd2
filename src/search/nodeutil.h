// Small position tests shared by the main and the quiescence search.
#pragma once

#include "board/movegen.h"
#include "board/types.h"

// Deepest ply at which a node still searches; deeper nodes return their
// static evaluation so no line, however extended, runs past the per-ply
// arrays or the state stack.
constexpr int SEARCH_PLY_LIMIT = MAX_PLY - 2;

// Neither side can mate: no pawn, rook or queen and at most one minor piece.
inline bool insufficientMaterial(const PositionState& st) {
  if (st.pieces[PAWN] | st.pieces[ROOK] | st.pieces[QUEEN]) return false;
  return popcount(st.pieces[KNIGHT] | st.pieces[BISHOP]) <= 1;
}

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

// Material of the side to move minus the opponent's (pawn 100 .. queen 1000),
// as the tablebase scores grade their wins by it.
inline int materialBalance(const PositionState& st) {
  static constexpr int weight[6] = {0, 100, 300, 300, 500, 1000};
  int balance = 0;
  for (PieceType t = PAWN; t <= QUEEN; ++t)
    balance += weight[t] * (popcount(st.pieces[t] & ownPieces(st)) - popcount(st.pieces[t] & enemyPieces(st)));
  return balance;
}

// Tablebase seam of the searches: the WDL probe. No tables are registered
// yet (tbProbePieces stays 0, so this is not even reached); once they are,
// this returns the probe's success and its value -2 .. 2.
inline bool probeSearchWdl(const PositionState&, int* wdl) {
  *wdl = 0;
  return false;
}

// Tablebase results graded by material so that the search prefers the
// cleaner win; a bare-king side that still wins is graded lowest.
constexpr int TB_WIN_SCORE = 32526;
constexpr int TB_GRADE_CAP = 200;
constexpr int TB_GRADE_DIVISOR = 5;
