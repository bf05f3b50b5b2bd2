#include "board/fenwriter.h"

#include <cstdio>

namespace {

constexpr char PIECE_LETTERS[] = " pnbrqk";

// The letter of one castling right: side's rook on file rookFile of its back
// rank (stored rank 0 for the mover, 7 for the opponent), king side or not.
char castlingLetter(const PositionState& st, bool mover, bool white, bool kingSide, int rookFile) {
  Bitboard side = mover ? ownPieces(st) : enemyPieces(st);
  Bitboard backRank = rankBB(mover ? 0 : 7);
  Bitboard rooks = st.pieces[ROOK] & side & backRank;
  Bitboard outer = kingSide ? ~((squareBB(rookFile) << 1) - 1) & 0xFF : (squareBB(rookFile) - 1);
  Bitboard outerOnRank = mover ? outer : outer << 56;
  char letter = (rooks & outerOnRank) ? char('a' + rookFile) : (kingSide ? 'k' : 'q');
  return white ? char(letter - 'a' + 'A') : letter;
}

}  // namespace

void writeFen(const PositionState& st, int fullMove, char* out) {
  const bool black = isBlackToMove(st);
  char* p = out;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      // The stored board is mirrored when black is to move.
      Square stored = black ? (8 * rank + file) ^ 56 : 8 * rank + file;
      PieceType type = pieceOn(st, stored);
      if (type == NO_PIECE) {
        ++empty;
        continue;
      }
      if (empty) *p++ = char('0' + empty);
      empty = 0;
      bool white = ((ownPieces(st) & squareBB(stored)) != 0) != black;
      *p++ = white ? char(PIECE_LETTERS[type] - 'a' + 'A') : PIECE_LETTERS[type];
    }
    if (empty) *p++ = char('0' + empty);
    if (rank) *p++ = '/';
  }
  *p++ = ' ';
  *p++ = black ? 'b' : 'w';
  *p++ = ' ';
  // White's rights first: the mover's nibbles when white moves.
  char* rights = p;
  for (int white = 1; white >= 0; --white)
    for (int kingSide = 1; kingSide >= 0; --kingSide) {
      bool mover = bool(white) != black;
      int shift = (mover ? 0 : 8) + (kingSide ? 0 : 4);
      int file = (st.castleFiles >> shift) & 15;
      if (file != NO_FILE) *p++ = castlingLetter(st, mover, white, kingSide, file);
    }
  if (p == rights) *p++ = '-';
  *p++ = ' ';
  if (epFile(st) != NO_FILE) {
    *p++ = char('a' + epFile(st));
    *p++ = black ? '3' : '6';
  } else {
    *p++ = '-';
  }
  std::snprintf(p, size_t(out + FEN_TEXT_SIZE - p), " %d %d", st.rule50, fullMove);
}
