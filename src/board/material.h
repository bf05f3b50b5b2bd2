// Draws by material: positions in which neither side can ever mate.
#pragma once

#include "board/types.h"

// Squares of one colour. Mirroring the board for the side to move flips
// every piece's square colour alike, so "all on one colour" is the same
// test from either side's point of view.
constexpr Bitboard LIGHT_SQUARES = 0x55AA55AA55AA55AAULL;

// Neither side can mate: no pawn, rook or queen and at most one minor piece.
inline bool insufficientMaterial(const PositionState& st) {
  if (st.pieces[PAWN] | st.pieces[ROOK] | st.pieces[QUEEN]) return false;
  return popcount(st.pieces[KNIGHT] | st.pieces[BISHOP]) <= 1;
}

// The game's dead positions by material: insufficientMaterial, or bishops
// alone, all on squares of one colour, whichever side owns them. The search
// tests only insufficientMaterial; the match judge rules by this one.
inline bool deadMaterial(const PositionState& st) {
  if (insufficientMaterial(st)) return true;
  if (st.pieces[PAWN] | st.pieces[ROOK] | st.pieces[QUEEN] | st.pieces[KNIGHT]) return false;
  const Bitboard bishops = st.pieces[BISHOP];
  return (bishops & LIGHT_SQUARES) == 0 || (bishops & ~LIGHT_SQUARES) == 0;
}
