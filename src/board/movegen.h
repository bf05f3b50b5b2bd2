// Pseudo-legal move generation in stages, and the legality test that settles
// pins and king safety after generation. Generators write ScoredMove entries
// from list on and return the new end.
#pragma once

#include "board/attacks.h"
#include "board/types.h"

ScoredMove* generateCaptures(const PositionState& st, ScoredMove* list);
ScoredMove* generateUnderPromotions(const PositionState& st, ScoredMove* list);
// Non-captures with MOVE_CHECK on every move that checks, discovered checks
// included; with checksOnly only those (and no castling).
ScoredMove* generateQuiets(const PositionState& st, ScoredMove* list, bool checksOnly);
// In check: king moves, then with a single checker its captures and the
// interpositions, en-passant ones included.
ScoredMove* generateEvasions(const PositionState& st, ScoredMove* list, bool withUnderPromotions);

// Non-zero (the attacking enemy pieces) when the move leaves the king
// attacked. Non-king moves are tested against sliders only: in check the
// evasion generator already answers every knight and pawn check. Inline
// because it runs once for every generated move.
inline Bitboard leavesKingAttacked(const PositionState& st, Move move) {
  const Bitboard own = ownPieces(st);
  const Square from = moveFrom(move), to = moveTo(move);
  const bool kingMove = movePiece(move) == KING;
  const Square king = kingMove ? to : lsb(st.pieces[KING] & own);
  const Bitboard bishops = st.pieces[BISHOP] | st.pieces[QUEEN];
  const Bitboard rooks = st.pieces[ROOK] | st.pieces[QUEEN];
  if (!kingMove && !(move & MOVE_EN_PASSANT) && !(st.flags & FLAG_IN_CHECK)) {
    // Out of check only a slider on the line through from can appear.
    const int direction = lineDirection[king][from];
    if (direction == 8) return 0;
    const Bitboard occ = (st.pieces[ALL_PIECES] ^ squareBB(from)) | squareBB(to);
    const Bitboard enemies = st.pieces[ALL_PIECES] & ~own & ~squareBB(to);
    if (direction < 4) return enemies & rooks & rookAttacks(king, occ);
    return enemies & bishops & bishopAttacks(king, occ);
  }
  Bitboard occ = (st.pieces[ALL_PIECES] ^ squareBB(from)) | squareBB(to);
  Bitboard enemies = st.pieces[ALL_PIECES] & ~own & ~squareBB(to);
  Bitboard found = 0;
  if (kingMove) {
    found = (kingAttacks[king] & st.pieces[KING]) | (knightAttacks[king] & st.pieces[KNIGHT]) |
            (enemyPawnAttackersOf(king) & st.pieces[PAWN]);
  } else if (move & MOVE_EN_PASSANT) {
    occ ^= squareBB(to - 8);
    enemies &= ~squareBB(to - 8);
  }
  return enemies & (found | (bishopAttacks(king, occ) & bishops) | (rookAttacks(king, occ) & rooks));
}

// Every legal move, unsorted, with MOVE_CHECK set on each checking move.
// list must have room for MAX_GENERATED entries. Returns the new end.
ScoredMove* generateLegalMoves(const PositionState& st, ScoredMove* list);
