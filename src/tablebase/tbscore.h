// Tablebase results as search scores. A win scores TB_WIN_SCORE minus the
// ply it is found at, graded by material (+-200 at most) so that the search
// prefers the cleaner of two wins; every such score lies beyond
// SCORE_MATE_IN_MAX and so is stored relative to the node like a mate.
#pragma once

#include <algorithm>

#include "board/types.h"

constexpr int TB_WIN_SCORE = 32526;
constexpr int TB_GRADE_CAP = 200;
constexpr int TB_GRADE_DIVISOR = 5;
// No tablebase result (the root probe failed or was not tried).
constexpr int TB_SCORE_NONE = -32767;

// Material of the side to move minus the opponent's: pawn 100, knight and
// bishop 300, rook 500, queen 1000; kings do not count.
inline int materialBalance(const PositionState& st) {
  static constexpr int weight[6] = {0, 100, 300, 300, 500, 1000};
  int balance = 0;
  for (PieceType t = PAWN; t <= QUEEN; ++t)
    balance += weight[t] * (popcount(st.pieces[t] & ownPieces(st)) - popcount(st.pieces[t] & enemyPieces(st)));
  return balance;
}

// The grade added to a tablebase score: balance / 5, truncated, within +-200.
inline int tablebaseGrade(const PositionState& st) {
  return std::clamp(materialBalance(st) / TB_GRADE_DIVISOR, -TB_GRADE_CAP, TB_GRADE_CAP);
}
