#include "board/exchange.h"

#include "board/attacks.h"
#include "board/castling.h"

const int seeValue[8] = {0, 100, 300, 300, 500, 1000, 2000, 0};

namespace {

// Longest possible exchange: every piece on the board takes once.
constexpr int MAX_EXCHANGE = 40;

inline Bitboard ownPawnAttackersOf(Square s) {
  Bitboard b = squareBB(s);
  return ((b >> 7) & ~FILE_A_BB) | ((b >> 9) & ~FILE_H_BB);
}

// Whether an own piece of type t standing on s attacks the square e.
inline bool pawnAttacks(Square s, Square e) {
  Bitboard b = squareBB(s);
  return (((b << 7) & ~FILE_H_BB) | ((b << 9) & ~FILE_A_BB)) & squareBB(e);
}

// Own pieces of every type attacking s on occupancy occ, and enemy ones.
Bitboard attackersOf(const PositionState& st, Square s, Bitboard occ) {
  Bitboard own = ownPieces(st);
  Bitboard pawns = st.pieces[PAWN];
  return (kingAttacks[s] & st.pieces[KING]) | (knightAttacks[s] & st.pieces[KNIGHT]) |
         (ownPawnAttackersOf(s) & pawns & own) | (enemyPawnAttackersOf(s) & pawns & ~own) |
         (bishopAttacks(s, occ) & (st.pieces[BISHOP] | st.pieces[QUEEN])) |
         (rookAttacks(s, occ) & (st.pieces[ROOK] | st.pieces[QUEEN]));
}

// The full check of a move's legality: every enemy piece type is tested
// against the king's square after the move.
Bitboard kingAttackedAfter(const PositionState& st, Move move) {
  Bitboard own = ownPieces(st);
  Square from = moveFrom(move), to = moveTo(move);
  Bitboard occ = (st.pieces[ALL_PIECES] ^ squareBB(from)) | squareBB(to);
  Bitboard enemies = st.pieces[ALL_PIECES] & ~own & ~squareBB(to);
  if (move & MOVE_EN_PASSANT) {
    occ ^= squareBB(to - 8);
    enemies &= ~squareBB(to - 8);
  }
  Square king = movePiece(move) == KING ? to : lsb(st.pieces[KING] & own);
  Bitboard pawns = st.pieces[PAWN];
  return enemies & ((kingAttacks[king] & st.pieces[KING]) | (knightAttacks[king] & st.pieces[KNIGHT]) |
                    (enemyPawnAttackersOf(king) & pawns) |
                    (bishopAttacks(king, occ) & (st.pieces[BISHOP] | st.pieces[QUEEN])) |
                    (rookAttacks(king, occ) & (st.pieces[ROOK] | st.pieces[QUEEN])));
}

bool castlingPossible(const PositionState& st, Square from, Square to) {
  if (to != CASTLE_KING_TO[0] && to != CASTLE_KING_TO[1]) return false;
  if (!(st.pieces[KING] & ownPieces(st) & squareBB(from))) return false;
  return castlingAllowed(st, to == CASTLE_KING_TO[1]);
}

}  // namespace

int staticExchange(const PositionState& st, Move move) {
  const PieceType piece = movePiece(move), captured = moveCaptured(move);
  if (piece == KING) return seeValue[captured];
  const Square from = moveFrom(move), to = moveTo(move);
  const Bitboard own = ownPieces(st);
  const Bitboard diagonal = st.pieces[BISHOP] | st.pieces[QUEEN];
  const Bitboard straight = st.pieces[ROOK] | st.pieces[QUEEN];
  Bitboard occ = st.pieces[ALL_PIECES];
  Bitboard attackers = attackersOf(st, to, occ);
  int gain[MAX_EXCHANGE];
  int onSquare;
  gain[0] = seeValue[captured];
  if (move & MOVE_PROMOTION) {
    gain[0] += seeValue[movePromotion(move)] - seeValue[PAWN];
    onSquare = seeValue[movePromotion(move)];
  } else {
    onSquare = seeValue[piece];
  }
  occ ^= squareBB(from);
  if (piece == PAWN || piece == BISHOP || piece == QUEEN) attackers |= bishopAttacks(to, occ) & diagonal;
  if (piece == PAWN || piece == ROOK || piece == QUEEN) attackers |= rookAttacks(to, occ) & straight;
  attackers &= occ;
  int d = 0;
  Bitboard side = ~own;
  for (;;) {
    Bitboard mine = attackers & side;
    if (!mine) break;
    PieceType t = PAWN;
    while (!(mine & st.pieces[t])) ++t;
    Square s = lsb(mine & st.pieces[t]);
    if (t == KING) {
      // The king may only take last, when nothing can take it back.
      if (attackers & ~side) break;
      ++d;
      gain[d] = onSquare - gain[d - 1];
      break;
    }
    ++d;
    gain[d] = onSquare - gain[d - 1];
    if (gain[d] > seeValue[t] || d == MAX_EXCHANGE - 1) break;
    occ ^= squareBB(s);
    if (t == PAWN || t == BISHOP || t == QUEEN) attackers |= bishopAttacks(to, occ) & diagonal;
    if (t == ROOK || t == QUEEN) attackers |= rookAttacks(to, occ) & straight;
    attackers &= occ;
    onSquare = seeValue[t];
    side = ~side;
  }
  for (; d > 0; --d) gain[d - 1] = -(-gain[d - 1] > gain[d] ? -gain[d - 1] : gain[d]);
  return gain[0];
}

void setGivesCheck(const PositionState& st, Move* move) {
  const Move m = *move;
  const Bitboard own = ownPieces(st);
  const Bitboard enemyKing = st.pieces[KING] & ~own;
  if (!enemyKing) return;
  if (m & MOVE_CASTLE) {
    if (castlingGivesCheck(st, moveTo(m) == CASTLE_KING_TO[1])) *move |= MOVE_CHECK;
    return;
  }
  const Square e = lsb(enemyKing);
  const Square from = moveFrom(m), to = moveTo(m);
  const Bitboard toBB = squareBB(to);
  Bitboard occ = (st.pieces[ALL_PIECES] ^ squareBB(from)) | toBB;
  if (m & MOVE_EN_PASSANT) occ ^= squareBB(to - 8);
  const Bitboard ownAfter = (own ^ squareBB(from)) | toBB;
  const Bitboard queens = st.pieces[QUEEN] & own & ~squareBB(from);
  const Bitboard rooks = st.pieces[ROOK] & own & ~squareBB(from);
  const Bitboard bishops = st.pieces[BISHOP] & own & ~squareBB(from);
  const Bitboard rookRays = rookAttacks(e, occ), bishopRays = bishopAttacks(e, occ);
  PieceType placed = (m & MOVE_PROMOTION) ? movePromotion(m) : movePiece(m);
  bool check;
  switch (placed) {
    case BISHOP:
      check = ((rookRays & ~toBB & (rooks | queens)) | (bishopRays & (toBB | queens | bishops))) & ownAfter;
      break;
    case ROOK:
      check = ((bishopRays & ~toBB & (bishops | queens)) | (rookRays & (toBB | queens | rooks))) & ownAfter;
      break;
    case QUEEN:
      check = ((rookRays & (queens | toBB | rooks)) | (bishopRays & (queens | toBB | bishops))) & ownAfter;
      break;
    default: {
      bool direct = (placed == PAWN && pawnAttacks(to, e)) || (placed == KNIGHT && (knightAttacks[e] & toBB));
      check = direct || (((rookRays & (rooks | queens)) | (bishopRays & (bishops | queens))) & ownAfter);
    }
  }
  if (check) *move |= MOVE_CHECK;
}

bool isPseudoLegalTTMove(const PositionState& st, TTMove ttMove) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES];
  const Square from = ttMove & 63, to = ttMove >> 6 & 63;
  const Bitboard fromBB = squareBB(from), toBB = squareBB(to);
  if (!(own & fromBB)) return false;
  // Castling may land the king on its own rook's square, or leave it where
  // it stands. The two special bits together name no move.
  if ((ttMove & (1 << 14)) == 0 && (ttMove & (1 << 12))) {
    if ((ttMove & (1 << 13)) || isInCheck(st)) return false;
    return castlingPossible(st, from, to);
  }
  if (own & toBB) return false;
  const bool enemyOnTo = all & toBB;
  const bool pawn = st.pieces[PAWN] & fromBB;
  if (ttMove & (1 << 14)) {
    // A promotion must reach the last rank.
    if (!pawn || to < 56) return false;
    if (enemyOnTo) return (to == from + 7 && fileOf(from) != 0) || (to == from + 9 && fileOf(from) != 7);
    return to == from + 8;
  }
  if (ttMove & (1 << 13)) {
    int file = epFile(st);
    return file != NO_FILE && (epNeighbours5[file] & fromBB) && to == 40 + file && pawn;
  }
  switch (pieceOn(st, from)) {
    case PAWN:
      // A pawn reaching the last rank must carry the promotion bit.
      if (to >= 56) return false;
      if (enemyOnTo) return (to == from + 7 && fileOf(from) != 0) || (to == from + 9 && fileOf(from) != 7);
      if (to == from + 8) return !enemyOnTo;
      return to == from + 16 && rankOf(from) == 1 && !(all & squareBB(from + 8));
    case KNIGHT: return knightAttacks[from] & toBB;
    case BISHOP: return bishopAttacks(from, all) & toBB;
    case ROOK: return rookAttacks(from, all) & toBB;
    case QUEEN: return queenAttacks(from, all) & toBB;
    case KING: return kingAttacks[from] & toBB;
    default: return false;
  }
}

Move expandTTMove(const PositionState& st, TTMove ttMove) {
  const Square from = ttMove & 63, to = ttMove >> 6 & 63;
  if (ttMove & (1 << 14)) {
    PieceType victim = pieceOn(st, to);
    return makeMoveWord(PAWN, from, to, victim, PieceType(2 + (ttMove >> 12 & 3)),
                        MOVE_PROMOTION | (victim ? MOVE_CAPTURE : 0));
  }
  if (ttMove & (1 << 13)) return makeMoveWord(PAWN, from, to, PAWN, NO_PIECE, MOVE_CAPTURE | MOVE_EN_PASSANT);
  if (ttMove & (1 << 12)) return makeMoveWord(pieceOn(st, from), from, to, NO_PIECE, NO_PIECE, MOVE_CASTLE);
  PieceType victim = pieceOn(st, to);
  return makeMoveWord(pieceOn(st, from), from, to, victim, NO_PIECE, victim ? MOVE_CAPTURE : 0);
}

Move validateTTMove(const PositionState& st, TTMove ttMove) {
  if (!isPseudoLegalTTMove(st, ttMove)) return MOVE_NONE;
  Move move = expandTTMove(st, ttMove);
  if (kingAttackedAfter(st, move)) return MOVE_NONE;
  setGivesCheck(st, &move);
  return move;
}

bool isPseudoLegal(const PositionState& st, Move move) {
  const PieceType piece = movePiece(move);
  if (piece < PAWN || piece > KING) return false;
  const Square from = moveFrom(move), to = moveTo(move);
  if (!(st.pieces[piece] & ownPieces(st) & squareBB(from))) return false;
  if (move & MOVE_CASTLE) return piece == KING && castlingPossible(st, from, to);
  const Bitboard all = st.pieces[ALL_PIECES];
  if (piece == KNIGHT || piece == KING)
    return !(all & squareBB(to)) && ((piece == KNIGHT ? knightAttacks[from] : kingAttacks[from]) & squareBB(to));
  if (piece == PAWN && to >= 56 && !(move & MOVE_PROMOTION)) return false;
  return betweenBB[from][to] && !(betweenBB[from][to] & all);
}
