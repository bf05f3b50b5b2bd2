#include "board/castling.h"

#include "board/attacks.h"

namespace {

// Enemy pieces attacking square s on occupancy occ.
Bitboard enemyAttackersOf(const PositionState& st, Square s, Bitboard occ) {
  Bitboard enemy = enemyPieces(st);
  Bitboard queens = st.pieces[QUEEN];
  return enemy & ((kingAttacks[s] & st.pieces[KING]) | (knightAttacks[s] & st.pieces[KNIGHT]) |
                  (enemyPawnAttackersOf(s) & st.pieces[PAWN]) |
                  (bishopAttacks(s, occ) & (st.pieces[BISHOP] | queens)) |
                  (rookAttacks(s, occ) & (st.pieces[ROOK] | queens)));
}

}  // namespace

bool castlingAllowed(const PositionState& st, bool kingSide) {
  int rookFile = castleRookFile(st, kingSide);
  if (rookFile == NO_FILE) return false;
  Bitboard kingBB = st.pieces[KING] & ownPieces(st) & rankBB(0);
  if (!kingBB) return false;
  Square king = lsb(kingBB);
  Square rook = rookFile;
  Square kingTo = CASTLE_KING_TO[kingSide], rookTo = CASTLE_ROOK_TO[kingSide];
  Bitboard movers = squareBB(king) | squareBB(rook);
  Bitboard path = betweenBB[king][kingTo] | betweenBB[rook][rookTo] | squareBB(kingTo) | squareBB(rookTo);
  Bitboard occ = st.pieces[ALL_PIECES] ^ movers;
  if (path & occ & ~movers) return false;
  // Every square the king crosses or lands on must be safe; with king and
  // rook lifted off, the rank beyond the destination is scanned as well.
  for (Bitboard crossed = betweenBB[king][kingTo]; crossed;)
    if (enemyAttackersOf(st, popLsb(crossed), occ)) return false;
  return true;
}

bool castlingGivesCheck(const PositionState& st, bool kingSide) {
  Bitboard own = ownPieces(st);
  Square king = lsb(st.pieces[KING] & own);
  Square rook = castleRookFile(st, kingSide);
  Square kingTo = CASTLE_KING_TO[kingSide], rookTo = CASTLE_ROOK_TO[kingSide];
  Bitboard enemyKing = st.pieces[KING] & ~own;
  Bitboard occ = (st.pieces[ALL_PIECES] ^ squareBB(king) ^ squareBB(rook)) | squareBB(kingTo) | squareBB(rookTo);
  if (rookAttacks(rookTo, occ) & enemyKing) return true;
  // A slider behind the king or rook on a line through the enemy king.
  Square e = lsb(enemyKing);
  Bitboard queens = st.pieces[QUEEN] & own;
  Bitboard rooks = ((st.pieces[ROOK] & own) ^ squareBB(rook)) | squareBB(rookTo);
  return (bishopAttacks(e, occ) & ((st.pieces[BISHOP] & own) | queens)) ||
         (rookAttacks(e, occ) & (rooks | queens));
}

Move castlingMove(const PositionState& st, bool kingSide) {
  Square king = lsb(st.pieces[KING] & ownPieces(st));
  Move m = makeMoveWord(KING, king, CASTLE_KING_TO[kingSide], NO_PIECE, NO_PIECE, MOVE_CASTLE);
  return castlingGivesCheck(st, kingSide) ? m | MOVE_CHECK : m;
}
