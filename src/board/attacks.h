// Attack tables and hash keys: every attack set of the board code comes from
// a table filled once at start-up (sliders by magic multiplication).
#pragma once

#include "board/types.h"

struct MagicEntry {
  Bitboard mask;   // relevant occupancy, board edges excluded
  Bitboard magic;  // multiplier
  uint64_t shift;  // 64 - popcount(mask)
  Bitboard* attacks;
};

extern MagicEntry bishopMagics[64];
extern MagicEntry rookMagics[64];
extern const Bitboard knightAttacks[64];
extern const Bitboard kingAttacks[64];
extern const Bitboard epNeighbours4[8];
extern const Bitboard epNeighbours5[8];
// Squares after a up to and including b along their common line, else 0.
extern Bitboard betweenBB[64][64];
// Squares after a through b and on to the board edge along their common
// line, else 0: the line a piece on b would open or close seen from a.
extern Bitboard lineRay[64][64];
// Direction from a to b: 0 east, 1 west, 2 north, 3 south, 4 north-east,
// 5 south-west, 6 north-west, 7 south-east, 8 not aligned.
extern uint8_t lineDirection[64][64];

constexpr int ZOBRIST_COUNT = 1037;
constexpr int ZOBRIST_CASTLING = 1024;  // + 0 white king side, 1 black king side, 2 white queen side, 3 black queen side
constexpr int ZOBRIST_EN_PASSANT = 1028;
constexpr int ZOBRIST_BLACK = 1036;
extern uint64_t zobristKeys[ZOBRIST_COUNT];

// The shipped multipliers, one per square (tools/magics makes a fresh set).
extern const Bitboard bishopMagicNumbers[64];
extern const Bitboard rookMagicNumbers[64];

// Fills the keys, the magic tables and the between/direction tables. Safe to
// call more than once.
void initAttacks();

// Ray walks for table building and checking: the attacks of a slider on s
// stopping at (and including) the first occupied square, and its relevant
// occupancy mask (rays without the board edge).
Bitboard slowSliderAttacks(bool bishop, Square s, Bitboard occ);
Bitboard sliderMask(bool bishop, Square s);

inline Bitboard bishopAttacks(Square s, Bitboard occ) {
  const MagicEntry& m = bishopMagics[s];
  return m.attacks[((occ & m.mask) * m.magic) >> (m.shift & 63)];
}
inline Bitboard rookAttacks(Square s, Bitboard occ) {
  const MagicEntry& m = rookMagics[s];
  return m.attacks[((occ & m.mask) * m.magic) >> (m.shift & 63)];
}
inline Bitboard queenAttacks(Square s, Bitboard occ) { return bishopAttacks(s, occ) | rookAttacks(s, occ); }

// Squares attacked by own pawns on the set p (they move upwards).
inline Bitboard ownPawnAttacks(Bitboard p) { return ((p << 7) & ~FILE_H_BB) | ((p << 9) & ~FILE_A_BB); }
// Squares from which enemy pawns (moving downwards) attack square s.
inline Bitboard enemyPawnAttackersOf(Square s) {
  Bitboard b = squareBB(s);
  return ((b << 7) & 0x7F7F7F7F7F7F7F00ULL) | ((b << 9) & 0xFEFEFEFEFEFEFE00ULL);
}
