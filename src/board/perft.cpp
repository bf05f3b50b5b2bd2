#include "board/perft.h"

#include "board/attacks.h"
#include "board/castling.h"
#include "board/exchange.h"
#include "board/makemove.h"
#include "board/movegen.h"

namespace {

constexpr Bitboard PROMOTION_RANK = RANK_1_BB << 56;
constexpr int PROMOTION_CHOICES = 4;

// Pawn moves to the squares of targets, four to each square of the last rank.
inline int pawnMoveCount(Bitboard targets) {
  return popcount(targets & ~PROMOTION_RANK) + PROMOTION_CHOICES * popcount(targets & PROMOTION_RANK);
}

// Whether an enemy piece attacks s when the board holds occ.
inline bool attackedByEnemy(const PositionState& st, Square s, Bitboard occ) {
  const Bitboard enemy = enemyPieces(st), queens = st.pieces[QUEEN];
  return enemy & ((kingAttacks[s] & st.pieces[KING]) | (knightAttacks[s] & st.pieces[KNIGHT]) |
                  (enemyPawnAttackersOf(s) & st.pieces[PAWN]) |
                  (bishopAttacks(s, occ) & (st.pieces[BISHOP] | queens)) |
                  (rookAttacks(s, occ) & (st.pieces[ROOK] | queens)));
}

// The number of legal moves of a position not in check, counted on whole
// bitboards instead of generating and testing each move: the last ply of
// perft, where the moves themselves are never made. A piece pinned to its
// king keeps only the targets on the ray from the king through it.
uint64_t countLegalMoves(const PositionState& st) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES], enemy = all ^ own, empty = ~all;
  const Square king = lsb(st.pieces[KING] & own);
  const Bitboard queens = st.pieces[QUEEN];

  // Enemy sliders that see the king through own pieces only; one own piece
  // between is pinned.
  Bitboard pinned = 0;
  Bitboard snipers = (rookAttacks(king, enemy) & enemy & (st.pieces[ROOK] | queens)) |
                     (bishopAttacks(king, enemy) & enemy & (st.pieces[BISHOP] | queens));
  while (snipers) {
    const Square s = popLsb(snipers);
    const Bitboard between = betweenBB[king][s] & all & ~squareBB(s);
    if (!(between & (between - 1))) pinned |= between & own;
  }

  uint64_t count = 0;
  for (Bitboard b = st.pieces[KNIGHT] & own & ~pinned; b;) count += popcount(knightAttacks[popLsb(b)] & ~own);
  for (PieceType t = BISHOP; t <= QUEEN; ++t)
    for (Bitboard b = st.pieces[t] & own; b;) {
      const Square from = popLsb(b);
      Bitboard targets = (t == BISHOP ? bishopAttacks(from, all) : t == ROOK ? rookAttacks(from, all)
                                                                           : queenAttacks(from, all)) & ~own;
      if (pinned & squareBB(from)) targets &= lineRay[king][from];
      count += popcount(targets);
    }

  const Bitboard pawns = st.pieces[PAWN] & own;
  const Bitboard free = pawns & ~pinned;
  const Bitboard pushed = (free << 8) & empty;
  count += pawnMoveCount(pushed) + popcount(((pushed & rankBB(2)) << 8) & empty);
  count += pawnMoveCount((free << 9) & ~FILE_A_BB & enemy) + pawnMoveCount((free << 7) & ~FILE_H_BB & enemy);
  for (Bitboard b = pawns & pinned; b;) {
    const Square from = popLsb(b);
    const Bitboard pawn = squareBB(from);
    const Bitboard push = (pawn << 8) & empty;
    const Bitboard targets = push | (((push & rankBB(2)) << 8) & empty) | (ownPawnAttacks(pawn) & enemy);
    count += pawnMoveCount(targets & lineRay[king][from]);
  }
  const int ep = epFile(st);
  if (ep != NO_FILE)
    for (Bitboard b = pawns & epNeighbours5[ep]; b;)
      count += !leavesKingAttacked(st, makeMoveWord(PAWN, popLsb(b), 40 + ep, PAWN, NO_PIECE,
                                                    MOVE_CAPTURE | MOVE_EN_PASSANT));

  const Bitboard withoutKing = all ^ squareBB(king);
  for (Bitboard b = kingAttacks[king] & ~own; b;) count += !attackedByEnemy(st, popLsb(b), withoutKing);
  if ((st.castleFiles & 0xFF) != (NO_CASTLING & 0xFF))
    count += castlingAllowed(st, false) + castlingAllowed(st, true);
  return count;
}

// Pseudo-legal moves in the order the search builds its root list. Quiet
// moves carry an exact check flag already; the rest get it here, so that
// every child knows whether it stands in check.
ScoredMove* pseudoLegalMoves(const PositionState& st, ScoredMove* list) {
  if (isInCheck(st)) return generateEvasions(st, list, true);
  list = generateUnderPromotions(st, list);
  list = generateQuiets(st, list, false);
  return generateCaptures(st, list);
}

// Below this depth a subtree is counted without looking at the stop flag:
// it takes microseconds, and the relaxed load stays off the hot last plies.
constexpr int STOP_CHECK_MIN_DEPTH = 3;

uint64_t perftNode(Position& pos, int depth, const std::atomic<uint8_t>* stop) {
  ScoredMove list[MAX_GENERATED];
  const PositionState& st = *pos.state;
  if (stop && depth >= STOP_CHECK_MIN_DEPTH && stop->load(std::memory_order_relaxed)) return 0;
  if (depth == 1 && !isInCheck(st)) return countLegalMoves(st);
  ScoredMove* end = pseudoLegalMoves(st, list);
  uint64_t nodes = 0;
  if (depth == 1) {
    for (ScoredMove* m = list; m != end; ++m) nodes += !leavesKingAttacked(st, m->move);
    return nodes;
  }
  const bool inCheck = isInCheck(st);
  for (ScoredMove* m = list; m != end; ++m) {
    Move move = m->move;
    if (leavesKingAttacked(st, move)) continue;
    if (inCheck || (move & (MOVE_CAPTURE | MOVE_PROMOTION))) setGivesCheck(st, &move);
    makeMove(pos, move, nullptr);
    nodes += perftNode(pos, depth - 1, stop);
    takeBack(pos);
  }
  return nodes;
}

}  // namespace

uint64_t perft(Position& pos, int depth) { return depth <= 0 ? 1 : perftNode(pos, depth, nullptr); }

int perftDivide(Position& pos, int depth, PerftLine* lines, const std::atomic<uint8_t>* stop) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*pos.state, list);
  int count = 0;
  for (ScoredMove* m = list; m != end; ++m) {
    makeMove(pos, m->move, nullptr);
    const uint64_t nodes = depth <= 1 ? 1 : perftNode(pos, depth - 1, stop);
    takeBack(pos);
    // A subtree cut short by the flag undercounts: it is not reported.
    if (stop && stop->load(std::memory_order_relaxed)) break;
    lines[count++] = PerftLine{m->move, nodes};
  }
  return count;
}

int legalMoveCount(const PositionState& st) {
  ScoredMove list[MAX_GENERATED];
  return int(generateLegalMoves(st, list) - list);
}
