#include "board/movegen.h"

#include "board/attacks.h"
#include "board/castling.h"
#include "board/exchange.h"

namespace {

constexpr int32_t KEY_CAPTURE = 0x7FFFFF00;
constexpr int32_t KEY_EN_PASSANT = 0x7FFFFF0E;
constexpr int32_t KEY_QUEEN_PROMOTION = 0x7FFFFF2E;
constexpr int32_t KEY_PAWN_TAKES_CHECKER = 0x7FFFFF06;
constexpr int32_t KEY_KNIGHT_PROMOTION = int32_t(0x80000002u);
constexpr int32_t KEY_ROOK_PROMOTION = int32_t(0x80000001u);
constexpr int32_t KEY_BISHOP_PROMOTION = int32_t(0x80000000u);
// Capture keys favour the cheaper attacker among equal victims.
constexpr int32_t ATTACKER_RANK[7] = {0, 6, 5, 4, 3, 2, 1};

constexpr Bitboard RANK_7_BB = RANK_1_BB << 56;
constexpr Bitboard RANK_6_BB = RANK_1_BB << 48;

inline ScoredMove* push(ScoredMove* list, int32_t key, Move move) {
  *list = ScoredMove{key, move};
  return list + 1;
}

inline int32_t captureKey(PieceType captured, PieceType attacker) {
  return KEY_CAPTURE + 8 * captured + ATTACKER_RANK[attacker];
}

// Captured type on a square known to hold an enemy piece (kings last).
inline PieceType victimOn(const PositionState& st, Square s) {
  Bitboard b = squareBB(s);
  for (PieceType t = PAWN; t < KING; ++t)
    if (st.pieces[t] & b) return t;
  return KING;
}

inline Bitboard pieceAttacks(PieceType t, Square s, Bitboard occ) {
  switch (t) {
    case KNIGHT: return knightAttacks[s];
    case BISHOP: return bishopAttacks(s, occ);
    case ROOK: return rookAttacks(s, occ);
    case QUEEN: return queenAttacks(s, occ);
    default: return kingAttacks[s];
  }
}

inline ScoredMove* addCaptures(const PositionState& st, ScoredMove* list, PieceType t, Square from,
                               Bitboard targets) {
  while (targets) {
    Square to = popLsb(targets);
    PieceType victim = victimOn(st, to);
    list = push(list, captureKey(victim, t), makeMoveWord(t, from, to, victim, NO_PIECE, MOVE_CAPTURE));
  }
  return list;
}

inline ScoredMove* addQuiets(ScoredMove* list, PieceType t, Square from, Bitboard targets) {
  while (targets) list = push(list, 0, makeMoveWord(t, from, popLsb(targets)));
  return list;
}

inline ScoredMove* addUnderPromotions(ScoredMove* list, Square from, Square to, PieceType victim) {
  Move flags = MOVE_PROMOTION | (victim ? MOVE_CAPTURE : 0);
  list = push(list, KEY_KNIGHT_PROMOTION, makeMoveWord(PAWN, from, to, victim, KNIGHT, flags));
  list = push(list, KEY_BISHOP_PROMOTION, makeMoveWord(PAWN, from, to, victim, BISHOP, flags));
  return push(list, KEY_ROOK_PROMOTION, makeMoveWord(PAWN, from, to, victim, ROOK, flags));
}

inline ScoredMove* addQueenPromotion(ScoredMove* list, Square from, Square to, PieceType victim) {
  Move flags = MOVE_PROMOTION | (victim ? MOVE_CAPTURE : 0);
  return push(list, KEY_QUEEN_PROMOTION + 8 * victim, makeMoveWord(PAWN, from, to, victim, QUEEN, flags));
}

// Squares holding own pawns that attack s.
inline Bitboard ownPawnAttackersOf(Square s) {
  Bitboard b = squareBB(s);
  return ((b >> 7) & ~FILE_A_BB) | ((b >> 9) & ~FILE_H_BB);
}

// What the quiet generator needs to flag checks: the squares from which
// each piece type would see the enemy king, and the own pieces whose
// departure opens a line of an own slider onto it.
struct CheckInfo {
  Square enemyKing;
  Bitboard rookRays;
  Bitboard bishopRays;
  Bitboard knightSquares;
  Bitboard pawnSquares;
  Bitboard discoverers;
};

CheckInfo checkInfo(const PositionState& st) {
  CheckInfo ci;
  Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES];
  Square e = lsb(st.pieces[KING] & ~own);
  ci.enemyKing = e;
  ci.rookRays = rookAttacks(e, all);
  ci.bishopRays = bishopAttacks(e, all);
  ci.knightSquares = knightAttacks[e];
  Bitboard eb = squareBB(e);
  ci.pawnSquares = ((eb >> 9) & ~FILE_H_BB) | ((eb >> 7) & ~FILE_A_BB);
  ci.discoverers = 0;
  Bitboard queens = st.pieces[QUEEN] & own;
  Bitboard blockers = ci.rookRays & own;
  Bitboard sliders = rookAttacks(e, all ^ blockers) & ((st.pieces[ROOK] & own) | queens) & ~blockers;
  while (sliders) ci.discoverers |= betweenBB[e][popLsb(sliders)] & blockers;
  blockers = ci.bishopRays & own;
  sliders = bishopAttacks(e, all ^ blockers) & ((st.pieces[BISHOP] & own) | queens) & ~blockers;
  while (sliders) ci.discoverers |= betweenBB[e][popLsb(sliders)] & blockers;
  return ci;
}

// Targets of a piece on from that check: direct ones, and for a piece that
// blocks one of its own sliders, every square off that line.
inline Bitboard checkingTargets(const CheckInfo& ci, Square from, Bitboard direct) {
  if (ci.discoverers & squareBB(from)) direct |= ~lineRay[ci.enemyKing][from];
  return direct;
}

inline ScoredMove* addQuietsFlagged(ScoredMove* list, PieceType t, Square from, Bitboard targets,
                                    Bitboard checking, bool checksOnly) {
  if (checksOnly) targets &= checking;
  const Move base = makeMoveWord(t, from, 0);
  while (targets) {
    Square to = popLsb(targets);
    Move check = Move(checking >> to & 1) << 25;
    list = push(list, 0, base | Move(to) << 9 | check);
  }
  return list;
}

}  // namespace

ScoredMove* generateCaptures(const PositionState& st, ScoredMove* list) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES], enemy = all ^ own;
  Square king = lsb(st.pieces[KING] & own);
  list = addCaptures(st, list, KING, king, kingAttacks[king] & enemy);
  for (PieceType t = QUEEN; t >= KNIGHT; --t)
    for (Bitboard b = st.pieces[t] & own; b;) {
      Square from = popLsb(b);
      list = addCaptures(st, list, t, from, pieceAttacks(t, from, all) & enemy);
    }
  Bitboard pawns = st.pieces[PAWN] & own;
  Bitboard targets = (pawns << 9) & ~FILE_A_BB & ~RANK_7_BB & enemy;
  while (targets) {
    Square to = popLsb(targets);
    PieceType victim = victimOn(st, to);
    list = push(list, captureKey(victim, PAWN), makeMoveWord(PAWN, to - 9, to, victim, NO_PIECE, MOVE_CAPTURE));
  }
  targets = (pawns << 7) & ~FILE_H_BB & ~RANK_7_BB & enemy;
  while (targets) {
    Square to = popLsb(targets);
    PieceType victim = victimOn(st, to);
    list = push(list, captureKey(victim, PAWN), makeMoveWord(PAWN, to - 7, to, victim, NO_PIECE, MOVE_CAPTURE));
  }
  int ep = epFile(st);
  if (ep != NO_FILE)
    for (Bitboard b = pawns & epNeighbours5[ep]; b;)
      list = push(list, KEY_EN_PASSANT,
                  makeMoveWord(PAWN, popLsb(b), 40 + ep, PAWN, NO_PIECE, MOVE_CAPTURE | MOVE_EN_PASSANT));
  Bitboard promoting = pawns & RANK_6_BB;
  if (promoting) {
    for (Bitboard t = (promoting << 8) & ~all; t;) {
      Square to = popLsb(t);
      list = addQueenPromotion(list, to - 8, to, NO_PIECE);
    }
    for (Bitboard t = (promoting << 9) & ~FILE_A_BB & enemy; t;) {
      Square to = popLsb(t);
      list = addQueenPromotion(list, to - 9, to, victimOn(st, to));
    }
    for (Bitboard t = (promoting << 7) & ~FILE_H_BB & enemy; t;) {
      Square to = popLsb(t);
      list = addQueenPromotion(list, to - 7, to, victimOn(st, to));
    }
  }
  return list;
}

ScoredMove* generateUnderPromotions(const PositionState& st, ScoredMove* list) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES], enemy = all ^ own;
  Bitboard promoting = st.pieces[PAWN] & own & RANK_6_BB;
  if (!promoting) return list;
  for (Bitboard t = (promoting << 8) & ~all; t;) {
    Square to = popLsb(t);
    list = addUnderPromotions(list, to - 8, to, NO_PIECE);
  }
  for (Bitboard t = (promoting << 9) & ~FILE_A_BB & enemy; t;) {
    Square to = popLsb(t);
    list = addUnderPromotions(list, to - 9, to, victimOn(st, to));
  }
  for (Bitboard t = (promoting << 7) & ~FILE_H_BB & enemy; t;) {
    Square to = popLsb(t);
    list = addUnderPromotions(list, to - 7, to, victimOn(st, to));
  }
  return list;
}

ScoredMove* generateQuiets(const PositionState& st, ScoredMove* list, bool checksOnly) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES], empty = ~all;
  const CheckInfo ci = checkInfo(st);
  Square king = lsb(st.pieces[KING] & own);
  list = addQuietsFlagged(list, KING, king, kingAttacks[king] & empty, checkingTargets(ci, king, 0), checksOnly);
  const Bitboard direct[6] = {0, 0, ci.knightSquares, ci.bishopRays, ci.rookRays, ci.rookRays | ci.bishopRays};
  for (PieceType t = QUEEN; t >= KNIGHT; --t)
    for (Bitboard b = st.pieces[t] & own; b;) {
      Square from = popLsb(b);
      list = addQuietsFlagged(list, t, from, pieceAttacks(t, from, all) & empty,
                              checkingTargets(ci, from, direct[t]), checksOnly);
    }
  Bitboard pawns = st.pieces[PAWN] & own;
  Bitboard single = (pawns << 8) & empty & ~RANK_7_BB;
  Bitboard doubled = ((single & rankBB(2)) << 8) & empty;
  for (int step = 8; step <= 16; step += 8)
    for (Bitboard t = step == 8 ? single : doubled; t;) {
      Square to = popLsb(t);
      Square from = to - step;
      Move m = makeMoveWord(PAWN, from, to);
      if (checkingTargets(ci, from, ci.pawnSquares) & squareBB(to))
        m |= MOVE_CHECK;
      else if (checksOnly)
        continue;
      list = push(list, 0, m);
    }
  if (!checksOnly && (st.castleFiles & 0xFF) != (NO_CASTLING & 0xFF)) {
    if (castlingAllowed(st, false)) list = push(list, 0, castlingMove(st, false));
    if (castlingAllowed(st, true)) list = push(list, 0, castlingMove(st, true));
  }
  return list;
}

ScoredMove* generateEvasions(const PositionState& st, ScoredMove* list, bool withUnderPromotions) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES], enemy = all ^ own, empty = ~all;
  Square king = lsb(st.pieces[KING] & own);
  Bitboard queens = st.pieces[QUEEN];
  Bitboard checkers = enemy & ((enemyPawnAttackersOf(king) & st.pieces[PAWN]) |
                               (knightAttacks[king] & st.pieces[KNIGHT]) |
                               (bishopAttacks(king, all) & (st.pieces[BISHOP] | queens)) |
                               (rookAttacks(king, all) & (st.pieces[ROOK] | queens)));
  list = addCaptures(st, list, KING, king, kingAttacks[king] & enemy);
  list = addQuiets(list, KING, king, kingAttacks[king] & empty);
  if (!checkers || (checkers & (checkers - 1))) return list;
  Square checker = lsb(checkers);
  Bitboard target = betweenBB[king][checker] | checkers;
  for (PieceType t = QUEEN; t >= KNIGHT; --t)
    for (Bitboard b = st.pieces[t] & own; b;) {
      Square from = popLsb(b);
      Bitboard attacks = pieceAttacks(t, from, all) & target;
      list = addCaptures(st, list, t, from, attacks & enemy);
      list = addQuiets(list, t, from, attacks & empty);
    }
  Bitboard pawns = st.pieces[PAWN] & own;
  for (Bitboard t = (pawns << 8) & empty & target; t;) {
    Square to = popLsb(t);
    if (to >= 56) {
      list = addQueenPromotion(list, to - 8, to, NO_PIECE);
      if (withUnderPromotions) list = addUnderPromotions(list, to - 8, to, NO_PIECE);
    } else {
      list = push(list, 0, makeMoveWord(PAWN, to - 8, to));
    }
  }
  PieceType victim = victimOn(st, checker);
  for (Bitboard b = pawns & ownPawnAttackersOf(checker); b;) {
    Square from = popLsb(b);
    if (checker >= 56) {
      list = addQueenPromotion(list, from, checker, victim);
      if (withUnderPromotions) list = addUnderPromotions(list, from, checker, victim);
    } else {
      list = push(list, KEY_PAWN_TAKES_CHECKER + 8 * victim,
                  makeMoveWord(PAWN, from, checker, victim, NO_PIECE, MOVE_CAPTURE));
    }
  }
  for (Bitboard t = ((((pawns << 8) & empty & rankBB(2)) << 8) & empty & target); t;) {
    Square to = popLsb(t);
    list = push(list, 0, makeMoveWord(PAWN, to - 16, to));
  }
  // En passant answers a check by taking the pawn that gives it, or by
  // landing between a slider and the king.
  int ep = epFile(st);
  if (ep != NO_FILE && (checker == 32 + ep || (target & squareBB(40 + ep))))
    for (Bitboard b = pawns & epNeighbours5[ep]; b;)
      list = push(list, KEY_EN_PASSANT,
                  makeMoveWord(PAWN, popLsb(b), 40 + ep, PAWN, NO_PIECE, MOVE_CAPTURE | MOVE_EN_PASSANT));
  return list;
}

ScoredMove* generateLegalMoves(const PositionState& st, ScoredMove* list) {
  ScoredMove* begin = list;
  ScoredMove* end;
  if (isInCheck(st)) {
    end = generateEvasions(st, list, true);
  } else {
    end = generateUnderPromotions(st, list);
    end = generateQuiets(st, end, false);
    end = generateCaptures(st, end);
  }
  ScoredMove* out = begin;
  for (ScoredMove* m = begin; m != end; ++m) {
    if (leavesKingAttacked(st, m->move)) continue;
    ScoredMove kept = *m;
    if (isInCheck(st) || (kept.move & (MOVE_CAPTURE | MOVE_PROMOTION))) setGivesCheck(st, &kept.move);
    *out++ = kept;
  }
  return out;
}
