#include "board/verify.h"

#include "board/attacks.h"

uint64_t computeKey(const PositionState& st) {
  const int black = isBlackToMove(st) ? 1 : 0;
  uint64_t key = 0;
  for (PieceType t = PAWN; t <= KING; ++t) {
    for (Bitboard b = st.pieces[t] & st.pieces[OWN_PIECES]; b;)
      key ^= zobristKeys[64 * (t + 8 * black) + popLsb(b)];
    for (Bitboard b = st.pieces[t] & ~st.pieces[OWN_PIECES]; b;)
      key ^= zobristKeys[(64 * (t + 8 * (1 - black)) + popLsb(b)) ^ 56];
  }
  // Nibble i of castleFiles in the mover's view; the key index is by colour.
  static const int OWN_INDEX[4] = {0, 2, 1, 3};
  for (int i = 0; i < 4; ++i)
    if ((st.castleFiles >> (4 * i) & 15) != NO_FILE) {
      int index = OWN_INDEX[i];
      // Swap colours when black is the mover: own rights are black's.
      if (black) index ^= 1;
      key ^= zobristKeys[ZOBRIST_CASTLING + index];
    }
  if (epFile(st) != NO_FILE) key ^= zobristKeys[ZOBRIST_EN_PASSANT + epFile(st)];
  if (black) key ^= zobristKeys[ZOBRIST_BLACK];
  return key;
}

bool kingInCheck(const PositionState& st) {
  const Bitboard own = ownPieces(st), all = st.pieces[ALL_PIECES];
  Bitboard kings = st.pieces[KING] & own;
  if (!kings) return false;
  Square k = lsb(kings);
  Bitboard q = st.pieces[QUEEN];
  return (all & ~own) & ((knightAttacks[k] & st.pieces[KNIGHT]) | (kingAttacks[k] & st.pieces[KING]) |
                         (enemyPawnAttackersOf(k) & st.pieces[PAWN]) |
                         (bishopAttacks(k, all) & (st.pieces[BISHOP] | q)) |
                         (rookAttacks(k, all) & (st.pieces[ROOK] | q)));
}

bool isConsistent(const PositionState& st) {
  Bitboard seen = 0;
  for (PieceType t = PAWN; t <= KING; ++t) {
    if (st.pieces[t] & seen) return false;
    seen |= st.pieces[t];
  }
  const Bitboard own = st.pieces[OWN_PIECES], all = st.pieces[ALL_PIECES];
  if (seen != all || (own & ~all)) return false;
  if (popcount(st.pieces[KING] & own) != 1 || popcount(st.pieces[KING] & ~own) != 1) return false;
  for (int i = 0; i < 4; ++i) {
    int file = st.castleFiles >> (4 * i) & 15;
    if (file == NO_FILE) continue;
    if (file > 7) return false;
    Bitboard side = i < 2 ? own : all & ~own;
    int rank = i < 2 ? 0 : 7;
    Bitboard king = st.pieces[KING] & side & rankBB(rank);
    if (!king || !(st.pieces[ROOK] & side & squareBB(file + 8 * rank))) return false;
    bool kingSide = (i & 1) == 0;
    if (kingSide != (file > fileOf(lsb(king)))) return false;
  }
  int ep = epFile(st);
  if (ep != NO_FILE) {
    if (ep > 7) return false;
    if (!(st.pieces[PAWN] & ~own & all & squareBB(32 + ep))) return false;
    if (!(st.pieces[PAWN] & own & epNeighbours5[ep])) return false;
  }
  if ((st.flags & 2) != 0) return false;
  return st.key == computeKey(st);
}
