// Castling in one shape for standard chess and Chess960: the king goes to c1
// or g1 and the rook to d1 or f1 from whatever files they started on. In the
// standard start this is exactly the ordinary castling move.
#pragma once

#include "board/types.h"

constexpr Square CASTLE_KING_TO[2] = {2, 6};  // queen side, king side
constexpr Square CASTLE_ROOK_TO[2] = {3, 5};

// File of the mover's castling rook on that side, NO_FILE without the right.
inline int castleRookFile(const PositionState& st, bool kingSide) {
  return kingSide ? (st.castleFiles & 15) : (st.castleFiles >> 4 & 15);
}

// Right present, king and rook paths empty, no square the king crosses or
// lands on attacked. Whether the king stands in check is the caller's test.
bool castlingAllowed(const PositionState& st, bool kingSide);

// Whether castling on that side checks the enemy king.
bool castlingGivesCheck(const PositionState& st, bool kingSide);

// The castling move word of that side, with MOVE_CHECK when it checks.
Move castlingMove(const PositionState& st, bool kingSide);
