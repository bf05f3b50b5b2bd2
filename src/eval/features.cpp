#include "eval/features.h"

int activeRows(const PositionState& st, int perspective, int* rows) {
  Square king = perspectiveKing(st, perspective);
  // Squares of perspective 1 are the stored board mirrored; its own pieces
  // are the side to move's enemies.
  int flip = perspective == 0 ? 0 : 56;
  Bitboard mine = perspective == 0 ? ownPieces(st) : enemyPieces(st);
  Bitboard theirs = st.pieces[ALL_PIECES] ^ mine;
  int count = 0;
  for (PieceType t = PAWN; t <= QUEEN; ++t) {
    for (Bitboard b = st.pieces[t] & mine; b;) rows[count++] = pieceRow(t - 1, popLsb(b) ^ flip, king);
    for (Bitboard b = st.pieces[t] & theirs; b;) rows[count++] = pieceRow(t + 4, popLsb(b) ^ flip, king);
  }
  int shift = perspective == 0 ? 0 : 8;
  if (((st.castleFiles >> shift) & 15) != NO_FILE) rows[count++] = FEATURE_ROW_KING_SIDE;
  if (((st.castleFiles >> (shift + 4)) & 15) != NO_FILE) rows[count++] = FEATURE_ROW_QUEEN_SIDE;
  return count;
}
