#include <gtest/gtest.h>

#include "support/board_helpers.h"

namespace {

constexpr Square A1 = 0, B1 = 1, H1 = 7, B2 = 9, B3 = 17, C1 = 2, D2 = 11, E3 = 20, D4 = 27, A4 = 24, H8 = 63;

Bitboard bits(std::initializer_list<Square> squares) {
  Bitboard b = 0;
  for (Square s : squares) b |= squareBB(s);
  return b;
}

TEST(AttackTables, KeysFollowTheSeededSequence) {
  Board board;
  EXPECT_EQ(zobristKeys[0], 0x3E48CA43F3B16D8CULL);
  EXPECT_EQ(zobristKeys[1], 0x8781D0149AFC367DULL);
  EXPECT_EQ(zobristKeys[ZOBRIST_CASTLING], 0x744E3CE0E5E87718ULL);
  EXPECT_EQ(zobristKeys[ZOBRIST_BLACK], 0x8C451EA563EF7AA6ULL);
}

TEST(AttackTables, EveryMagicIndexGivesTheRayWalk) {
  Board board;
  uint64_t seed = 0x9E3779B97F4A7C15ULL;
  for (Square s = 0; s < 64; ++s)
    for (int trial = 0; trial < 200; ++trial) {
      seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
      Bitboard occ = seed & (seed >> 3);
      ASSERT_EQ(bishopAttacks(s, occ), slowSliderAttacks(true, s, occ)) << s;
      ASSERT_EQ(rookAttacks(s, occ), slowSliderAttacks(false, s, occ)) << s;
    }
  // Whole subsets of a corner and a centre square.
  for (Square s : {A1, D4, H8}) {
    Bitboard mask = rookMagics[s].mask;
    Bitboard sub = 0;
    do {
      ASSERT_EQ(rookAttacks(s, sub), slowSliderAttacks(false, s, sub));
      sub = (sub - mask) & mask;
    } while (sub);
  }
}

TEST(AttackTables, MasksAndShiftsHaveTheStandardSizes) {
  Board board;
  EXPECT_EQ(bishopMagics[A1].mask, 0x40201008040200ULL);
  EXPECT_EQ(bishopMagics[28].mask, 0x2442800284400ULL);
  EXPECT_EQ(bishopMagics[28].shift, 55u);
  EXPECT_EQ(rookMagics[A1].mask, 0x101010101017EULL);
  EXPECT_EQ(rookMagics[H8].mask, 0x7E80808080808000ULL);
  EXPECT_EQ(rookMagics[H8].shift, 52u);
  size_t bishopEntries = 0, rookEntries = 0;
  for (Square s = 0; s < 64; ++s) {
    bishopEntries += size_t(1) << (64 - bishopMagics[s].shift);
    rookEntries += size_t(1) << (64 - rookMagics[s].shift);
  }
  EXPECT_EQ(bishopEntries, 5248u);
  EXPECT_EQ(rookEntries, 102400u);
}

TEST(AttackTables, RookOnA1StopsAtTheFirstPiece) {
  Board board;
  EXPECT_EQ(popcount(rookAttacks(A1, 0)), 14);
  EXPECT_EQ(rookAttacks(A1, squareBB(A4)) & FILE_A_BB, bits({8, 16, A4}));
}

TEST(AttackTables, BetweenAndDirection) {
  Board board;
  EXPECT_EQ(betweenBB[C1][E3], bits({D2, E3}));
  EXPECT_EQ(betweenBB[A1][H1], RANK_1_BB & ~squareBB(A1));
  EXPECT_EQ(betweenBB[D4][D4], 0u);
  EXPECT_EQ(lineDirection[D4][D4], 8);
  EXPECT_EQ(betweenBB[A1][B3], 0u);
  EXPECT_EQ(lineDirection[A1][B3], 8);
  EXPECT_EQ(betweenBB[H8][B2], bits({B2, 18, 27, 36, 45, 54}));
  EXPECT_EQ(lineDirection[H8][B2], 5);
  EXPECT_EQ(lineDirection[A1][H1], 0);
  EXPECT_EQ(lineDirection[H1][A1], 1);
  EXPECT_EQ(lineDirection[A1][A4], 2);
  EXPECT_EQ(lineDirection[B2][A1 + 16], 6);
  EXPECT_EQ(lineDirection[B2][B1 + 1], 7);
  // The ray through a square runs on to the edge.
  EXPECT_EQ(lineRay[A1][B2], bits({B2, 18, 27, 36, 45, 54, H8}));
}

TEST(AttackTables, LeapersAndEnPassantNeighbours) {
  Board board;
  EXPECT_EQ(knightAttacks[A1], bits({10, B3}));
  EXPECT_EQ(popcount(knightAttacks[D4]), 8);
  EXPECT_EQ(kingAttacks[H8], bits({54, 55, 62}));
  EXPECT_EQ(epNeighbours5[0], 0x200000000ULL);
  EXPECT_EQ(epNeighbours5[1], bits({32, 34}));
  EXPECT_EQ(epNeighbours4[0], 0x2000000ULL);
  EXPECT_EQ(epNeighbours4[7], bits({30}));
}

}  // namespace
