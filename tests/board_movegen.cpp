#include <gtest/gtest.h>

#include <algorithm>

#include "board/makemove.h"
#include "board/verify.h"
#include "support/board_helpers.h"

namespace {

ScoredMove* allQuiets(const PositionState& st, ScoredMove* list) { return generateQuiets(st, list, false); }
ScoredMove* checkQuiets(const PositionState& st, ScoredMove* list) { return generateQuiets(st, list, true); }
ScoredMove* evasions(const PositionState& st, ScoredMove* list) { return generateEvasions(st, list, true); }

bool hasLegal(const char* fen, const char* text) { return legalMove(Board(fen).st(), text) != MOVE_NONE; }

// The flag on a quiet move against what the board says after making it.
void expectQuietFlagsExact(const char* fen) {
  Board board(fen);
  for (const ScoredMove& sm : generated(board.st(), allQuiets)) {
    if (leavesKingAttacked(board.st(), sm.move)) continue;
    makeMove(*board.pos, sm.move, nullptr);
    EXPECT_EQ(bool(sm.move & MOVE_CHECK), kingInCheck(*board.pos->state)) << fen << " " << sm.move;
    takeBack(*board.pos);
  }
}

Move quietNamed(const char* fen, const char* text) {
  Board board(fen);
  for (const ScoredMove& sm : generated(board.st(), allQuiets))
    if (uciText(board.st(), sm.move) == text) return sm.move;
  return MOVE_NONE;
}

TEST(MoveGeneration, StartPosition) {
  Board board;
  std::vector<ScoredMove> quiets = generated(board.st(), allQuiets);
  EXPECT_EQ(quiets.size(), 20u);
  for (const ScoredMove& sm : quiets) {
    EXPECT_FALSE(sm.move & MOVE_CHECK);
    EXPECT_EQ(sm.key, 0);
  }
  EXPECT_TRUE(generated(board.st(), generateCaptures).empty());
  EXPECT_TRUE(generated(board.st(), generateUnderPromotions).empty());
}

TEST(MoveGeneration, SortKeysAndOrder) {
  Board board("1n2k3/P7/8/3q4/4P3/8/8/4K3 w - - 0 1");
  std::vector<ScoredMove> captures = generated(board.st(), generateCaptures);
  ASSERT_EQ(captures.size(), 3u);
  EXPECT_EQ(captures[0].key, 0x7FFFFF00 + 8 * QUEEN + 6);  // exd5
  EXPECT_EQ(captures[1].key, 0x7FFFFF2E);                 // a8=Q
  EXPECT_EQ(captures[2].key, 0x7FFFFF2E + 8 * KNIGHT);    // axb8=Q
  std::vector<ScoredMove> under = generated(board.st(), generateUnderPromotions);
  ASSERT_EQ(under.size(), 6u);
  EXPECT_EQ(movePromotion(under[0].move), KNIGHT);
  EXPECT_EQ(under[0].key, int32_t(0x80000002u));
  EXPECT_EQ(movePromotion(under[1].move), BISHOP);
  EXPECT_EQ(under[1].key, int32_t(0x80000000u));
  EXPECT_EQ(movePromotion(under[2].move), ROOK);
  EXPECT_EQ(under[2].key, int32_t(0x80000001u));
  EXPECT_TRUE(under[3].move & MOVE_CAPTURE);
  Board ep("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  std::vector<ScoredMove> epCaptures = generated(ep.st(), generateCaptures);
  ASSERT_EQ(epCaptures.size(), 1u);
  EXPECT_EQ(epCaptures[0].key, 0x7FFFFF0E);
  EXPECT_EQ(epCaptures[0].move, 36u * 8 + 43u * 512 + 0x608001u);
}

TEST(MoveGeneration, DoubleCheckLeavesOnlyKingMoves) {
  Board board("4k3/8/8/8/8/3n4/8/r3K3 w - - 0 1");
  ASSERT_TRUE(isInCheck(board.st()));
  std::vector<ScoredMove> moves = generated(board.st(), evasions);
  ASSERT_FALSE(moves.empty());
  for (const ScoredMove& sm : moves) EXPECT_EQ(movePiece(sm.move), KING);
}

TEST(MoveGeneration, StandardCastlingNeedsSafeSquares) {
  EXPECT_FALSE(hasLegal("4k1r1/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1"));
  EXPECT_TRUE(hasLegal("4k2r/8/8/8/8/8/8/4K2R w K - 0 1", "e1g1"));
  EXPECT_FALSE(hasLegal("4k3/8/8/8/8/8/8/1r2K2R w K - 0 1", "e1g1"));  // in check
  EXPECT_FALSE(hasLegal("2r1k3/8/8/8/8/8/8/R3K3 w Q - 0 1", "e1c1"));
  EXPECT_TRUE(hasLegal("1r2k3/8/8/8/8/8/8/R3K3 w Q - 0 1", "e1c1"));  // b1 may be attacked
  EXPECT_FALSE(hasLegal("4k3/8/8/8/8/8/8/RN2K3 w Q - 0 1", "e1c1"));
}

TEST(MoveGeneration, Chess960Castling) {
  // The rank scan finds the enemy rook beyond the castling rook.
  EXPECT_FALSE(hasLegal("4k3/8/8/8/8/8/8/rR2K3 w B - 0 1", "e1c1"));
  EXPECT_TRUE(hasLegal("4k3/8/8/8/8/8/8/1R2K3 w B - 0 1", "e1c1"));
  // King already on g1: only f1 must be empty, and g1 itself safe.
  EXPECT_TRUE(hasLegal("4k3/8/8/8/8/8/8/6KR w H - 0 1", "g1g1"));
  EXPECT_FALSE(hasLegal("4k3/8/8/8/8/8/8/5NKR w H - 0 1", "g1g1"));
  EXPECT_FALSE(hasLegal("4k1r1/8/8/8/8/8/8/6KR w H - 0 1", "g1g1"));
}

TEST(MoveGeneration, PawnPushesFlagDiscoveredChecks) {
  EXPECT_TRUE(quietNamed("7k/8/8/8/8/2P5/8/B3K3 w - - 0 1", "c3c4") & MOVE_CHECK);
  EXPECT_FALSE(quietNamed("4k3/8/8/8/8/4P3/8/4RK2 w - - 0 1", "e3e4") & MOVE_CHECK);
  EXPECT_TRUE(quietNamed("8/8/8/R1P4k/8/8/8/4K3 w - - 0 1", "c5c6") & MOVE_CHECK);
}

// A piece standing between an own slider and the enemy king checks by
// leaving the line; every check a quiet move gives carries the flag.
TEST(MoveGeneration, QuietMovesFlagDiscoveredChecks) {
  const char* knightOffDiagonal = "7k/8/8/4N3/8/8/8/Q3K3 w - - 0 1";
  const char* bishopOffFile = "4k3/8/8/8/4B3/8/8/K3R3 w - - 0 1";
  const char* rookOffDiagonal = "7k/8/8/8/3R4/8/8/B3K3 w - - 0 1";
  const char* kingOffRank = "8/8/8/8/8/8/8/R2K3k w - - 0 1";
  EXPECT_TRUE(quietNamed(knightOffDiagonal, "e5c4") & MOVE_CHECK);
  EXPECT_TRUE(quietNamed(bishopOffFile, "e4d5") & MOVE_CHECK);
  EXPECT_TRUE(quietNamed(rookOffDiagonal, "d4d1") & MOVE_CHECK);
  EXPECT_TRUE(quietNamed(kingOffRank, "d1d2") & MOVE_CHECK);
  EXPECT_FALSE(quietNamed(kingOffRank, "d1e1") & MOVE_CHECK);
  for (const char* fen : {knightOffDiagonal, bishopOffFile, rookOffDiagonal, kingOffRank,
                          "6k1/8/8/3N4/8/8/8/R2QK3 w - - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
                          "3k4/8/8/8/8/8/8/R3K2R w KQ - 0 1", "5k2/8/8/8/8/8/8/4K2R w K - 0 1",
                          "8/8/8/8/8/8/8/k1K1R3 w E - 0 1", "2k5/8/8/8/8/8/8/R3K3 w Q - 0 1"})
    expectQuietFlagsExact(fen);
}

TEST(MoveGeneration, ChecksOnlyModeIsTheFlaggedSubset) {
  for (const char* fen : {"7k/8/8/8/3B4/8/8/Q3K3 w - - 0 1",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "5k2/8/8/8/8/8/8/4K2R w K - 0 1"}) {
    Board board(fen);
    std::vector<Move> flagged, checks;
    for (const ScoredMove& sm : generated(board.st(), allQuiets))
      if ((sm.move & MOVE_CHECK) && !(sm.move & MOVE_CASTLE)) flagged.push_back(sm.move);
    for (const ScoredMove& sm : generated(board.st(), checkQuiets)) checks.push_back(sm.move);
    EXPECT_EQ(checks, flagged) << fen;
  }
}

// An en-passant capture that lands between a checking rook and the king was
// missing from the evasions.
TEST(MoveGeneration, EnPassantEvasions) {
  EXPECT_TRUE(hasLegal("7k/8/K6r/3pP3/8/8/8/8 w - d6 0 1", "e5d6"));
  EXPECT_TRUE(hasLegal("8/8/8/2k5/3Pp3/8/8/6K1 b - d3 0 1", "e4d3"));  // takes the checker
  EXPECT_TRUE(hasLegal("8/8/8/8/3Pp3/2k5/8/6K1 b - d3 0 1", "e4d3"));
}

TEST(MoveGeneration, EnPassantThatExposesTheKingIsIllegal) {
  EXPECT_FALSE(hasLegal("8/8/8/KPp4r/8/8/8/7k w - c6 0 1", "b5c6"));
  EXPECT_TRUE(hasLegal("8/8/8/KPp5/8/8/8/7k w - c6 0 1", "b5c6"));
}

TEST(MoveGeneration, GeneratorsTogetherGiveEachMoveOnce) {
  Board board("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  std::vector<Move> all;
  for (auto gen : {generateUnderPromotions, allQuiets, generateCaptures})
    for (const ScoredMove& sm : generated(board.st(), gen)) all.push_back(withoutCheck(sm.move));
  std::vector<Move> sorted = all;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
  EXPECT_EQ(legalMoves(board.st()).size(), 48u);
}

}  // namespace
