// Positions built straight from bitboards, for tests that must not depend
// on the FEN reader.
#pragma once

#include "board/types.h"

// The initial position, white to move.
inline PositionState initialState() {
  PositionState st{};
  st.pieces[PAWN] = 0x00FF00000000FF00ULL;
  st.pieces[KNIGHT] = 0x4200000000000042ULL;
  st.pieces[BISHOP] = 0x2400000000000024ULL;
  st.pieces[ROOK] = 0x8100000000000081ULL;
  st.pieces[QUEEN] = 0x0800000000000008ULL;
  st.pieces[KING] = 0x1000000000000010ULL;
  st.pieces[ALL_PIECES] = 0xFFFF00000000FFFFULL;
  st.pieces[OWN_PIECES] = 0xFFFFULL;
  st.castleFiles = 0x0707;
  st.flags = 0x80;
  return st;
}

// The same position with the other side to move, as the board stores it.
inline PositionState passTurn(const PositionState& st) {
  PositionState next = st;
  for (int i = ALL_PIECES; i <= KING; ++i) next.pieces[i] = flipBB(st.pieces[i]);
  next.pieces[OWN_PIECES] = flipBB(enemyPieces(st));
  next.castleFiles = uint16_t(st.castleFiles >> 8 | st.castleFiles << 8);
  next.flags = uint8_t(st.flags ^ FLAG_BLACK);
  return next;
}

// Moves the side to move's piece of type t from one square to another (no
// capture), then passes the turn.
inline PositionState quietMove(const PositionState& st, PieceType t, Square from, Square to) {
  PositionState moved = st;
  Bitboard change = squareBB(from) | squareBB(to);
  moved.pieces[t] ^= change;
  moved.pieces[ALL_PIECES] ^= change;
  moved.pieces[OWN_PIECES] ^= change;
  return passTurn(moved);
}
