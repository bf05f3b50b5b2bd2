// Moves and attacks on the solver's boards: absolute squares (white's first
// rank is rank 0, white pawns move up), no castling and no en-passant
// rights, the pieces listed as in PieceList.
#pragma once

#include "board/attacks.h"
#include "material.h"

// A position of a table: the squares of its pieces and the occupancy.
struct TbBoard {
  int sq[TB_MAX_PIECES];
  Bitboard occ;
  Bitboard byColour[2];
};

inline void setBoard(const PieceList& list, TbBoard& b) {
  b.occ = b.byColour[0] = b.byColour[1] = 0;
  for (int i = 0; i < list.n; ++i) {
    b.occ |= squareBB(b.sq[i]);
    b.byColour[list.colour[i]] |= squareBB(b.sq[i]);
  }
}

// Whether every piece has a square of its own.
inline bool piecesApart(const PieceList& list, const TbBoard& b) { return popcount(b.occ) == list.n; }

inline Bitboard pawnAttackSet(int colour, Square s) {
  Bitboard b = squareBB(s);
  if (colour == WHITE) return ((b << 7) & ~FILE_H_BB) | ((b << 9) & ~FILE_A_BB);
  return ((b >> 9) & ~FILE_H_BB) | ((b >> 7) & ~FILE_A_BB);
}

inline Bitboard pieceAttacks(PieceType type, int colour, Square s, Bitboard occ) {
  switch (type) {
    case PAWN: return pawnAttackSet(colour, s);
    case KNIGHT: return knightAttacks[s];
    case BISHOP: return bishopAttacks(s, occ);
    case ROOK: return rookAttacks(s, occ);
    case QUEEN: return queenAttacks(s, occ);
    default: return kingAttacks[s];
  }
}

// Whether a piece of colour `by` other than `skip` attacks target, with the
// given occupancy and `moved` standing on `movedTo`.
inline bool attackedBy(const PieceList& list, const TbBoard& b, int by, Square target, Bitboard occ, int skip,
                       int moved = -1, Square movedTo = 0) {
  for (int i = 0; i < list.n; ++i) {
    if (list.colour[i] != by || i == skip) continue;
    Square from = i == moved ? movedTo : b.sq[i];
    if (pieceAttacks(list.type[i], by, from, occ) & squareBB(target)) return true;
  }
  return false;
}

// Whether the king of colour `side` stands attacked.
inline bool kingAttacked(const PieceList& list, const TbBoard& b, int side) {
  return attackedBy(list, b, side ^ 1, b.sq[side], b.occ, -1);
}

// Calls visit(piece, to, captured, promotion) for every legal move of the
// side to move; captured is the captured piece's index or -1, promotion the
// new piece type or NO_PIECE.
template <class Visit>
void forEachLegalMove(const PieceList& list, const TbBoard& b, int stm, Visit&& visit) {
  const int them = stm ^ 1;
  const Bitboard own = b.byColour[stm], enemy = b.byColour[them];
  auto tryMove = [&](int piece, Square to, PieceType promotion) {
    int captured = -1;
    if (enemy & squareBB(to))
      for (int j = 0; j < list.n; ++j)
        if (b.sq[j] == to && list.colour[j] == them) captured = j;
    const Bitboard occ = (b.occ ^ squareBB(b.sq[piece])) | squareBB(to);
    const Square king = piece == stm ? to : b.sq[stm];
    if (!attackedBy(list, b, them, king, occ, captured, piece, to)) visit(piece, to, captured, promotion);
  };
  for (int i = 0; i < list.n; ++i) {
    if (list.colour[i] != stm) continue;
    const Square from = b.sq[i];
    if (list.type[i] != PAWN) {
      for (Bitboard t = pieceAttacks(list.type[i], stm, from, b.occ) & ~own; t;) tryMove(i, popLsb(t), NO_PIECE);
      continue;
    }
    const int step = stm == WHITE ? 8 : -8;
    const int lastRank = stm == WHITE ? 7 : 0, startRank = stm == WHITE ? 1 : 6;
    auto pawnTo = [&](Square to) {
      if (rankOf(to) != lastRank) return tryMove(i, to, NO_PIECE);
      for (PieceType p : {QUEEN, ROOK, BISHOP, KNIGHT}) tryMove(i, to, p);
    };
    const Square push = from + step;
    if (!(b.occ & squareBB(push))) {
      pawnTo(push);
      if (rankOf(from) == startRank && !(b.occ & squareBB(push + step))) tryMove(i, push + step, NO_PIECE);
    }
    for (Bitboard t = pawnAttackSet(stm, from) & enemy; t;) pawnTo(popLsb(t));
  }
}

// Calls visit(piece, from) for every non-pawn move of colour `mover` that
// could have led to this position: the piece stood on `from` and moved to
// where it stands, without capturing. The caller checks the earlier
// position's legality.
template <class Visit>
void forEachUnmove(const PieceList& list, const TbBoard& b, int mover, Visit&& visit) {
  for (int i = 0; i < list.n; ++i) {
    if (list.colour[i] != mover || list.type[i] == PAWN) continue;
    for (Bitboard f = pieceAttacks(list.type[i], mover, b.sq[i], b.occ) & ~b.occ; f;) visit(i, popLsb(f));
  }
}

// The legal moves of the side to move in summary: returns the number of
// non-zeroing moves and calls visit(piece, to, captured, promotion) for each
// legal capture and pawn move. Out of check the legality of every move
// follows from the enemy's attacks and the pins, found once.
template <class Visit>
int countQuietVisitZeroing(const PieceList& list, const TbBoard& b, int stm, Visit&& visit) {
  const int them = stm ^ 1;
  const Square king = b.sq[stm];
  const Bitboard own = b.byColour[stm], enemy = b.byColour[them];
  const Bitboard withoutKing = b.occ ^ squareBB(king);
  Bitboard attacked = 0;
  for (int j = 0; j < list.n; ++j)
    if (list.colour[j] == them) attacked |= pieceAttacks(list.type[j], them, b.sq[j], withoutKing);
  if (attacked & squareBB(king)) {
    int quiet = 0;
    forEachLegalMove(list, b, stm, [&](int piece, Square to, int captured, PieceType promotion) {
      if (captured < 0 && list.type[piece] != PAWN)
        ++quiet;
      else
        visit(piece, to, captured, promotion);
    });
    return quiet;
  }
  // Pins: an own piece alone between the king and an enemy slider that
  // moves along that line may only move on it.
  Bitboard pinLine[TB_MAX_PIECES] = {};
  for (int j = 0; j < list.n; ++j) {
    const PieceType t = list.type[j];
    if (list.colour[j] != them || t < BISHOP || t > QUEEN) continue;
    const int direction = lineDirection[king][b.sq[j]];
    if (direction == 8 || (direction < 4 ? t == BISHOP : t == ROOK)) continue;
    const Bitboard line = betweenBB[king][b.sq[j]];
    const Bitboard blockers = line & b.occ & ~squareBB(b.sq[j]);
    if (popcount(blockers) != 1 || !(blockers & own)) continue;
    for (int i = 0; i < list.n; ++i)
      if (b.sq[i] == lsb(blockers)) pinLine[i] = line;
  }
  auto capturedAt = [&](Square s) {
    for (int j = 0; j < list.n; ++j)
      if (b.sq[j] == s && list.colour[j] == them) return j;
    return -1;
  };
  int quiet = 0;
  for (int i = 0; i < list.n; ++i) {
    if (list.colour[i] != stm) continue;
    const Square from = b.sq[i];
    const Bitboard allowed = pinLine[i] ? pinLine[i] : ~Bitboard(0);
    if (list.type[i] != PAWN) {
      Bitboard targets = pieceAttacks(list.type[i], stm, from, b.occ) & ~own & allowed;
      if (i == stm) targets &= ~attacked;
      quiet += popcount(targets & ~enemy);
      for (Bitboard t = targets & enemy; t;) {
        const Square to = popLsb(t);
        visit(i, to, capturedAt(to), NO_PIECE);
      }
      continue;
    }
    const int step = stm == WHITE ? 8 : -8;
    const int lastRank = stm == WHITE ? 7 : 0, startRank = stm == WHITE ? 1 : 6;
    auto pawnTo = [&](Square to, int captured) {
      if (!(allowed & squareBB(to))) return;
      if (rankOf(to) != lastRank) return visit(i, to, captured, NO_PIECE);
      for (PieceType p : {QUEEN, ROOK, BISHOP, KNIGHT}) visit(i, to, captured, p);
    };
    const Square push = from + step;
    if (!(b.occ & squareBB(push))) {
      pawnTo(push, -1);
      if (rankOf(from) == startRank && !(b.occ & squareBB(push + step))) pawnTo(push + step, -1);
    }
    for (Bitboard t = pawnAttackSet(stm, from) & enemy; t;) {
      const Square to = popLsb(t);
      pawnTo(to, capturedAt(to));
    }
  }
  return quiet;
}
