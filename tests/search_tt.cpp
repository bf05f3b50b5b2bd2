// Hash-table slots: packing, mate-score distances, and which stores replace
// what.
#include <gtest/gtest.h>

#include <vector>

#include "search/tt.h"

namespace {

// A small private table in place of the search memory block.
class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slots_ = std::vector<TTEntry>(1024);
    transpositionTable = slots_.data();
    ttMask = slots_.size() - 1;
    ttGeneration = 0;
  }
  void TearDown() override {
    transpositionTable = nullptr;
    ttMask = 0;
    ttGeneration = 0;
  }
  std::vector<TTEntry> slots_;
};

constexpr uint64_t KEY = 0x9E3779B97F4A7C15ULL;
constexpr uint64_t OTHER_KEY_SAME_SLOT = KEY ^ (uint64_t(1) << 40);
const Move KNIGHT_MOVE = makeMoveWord(KNIGHT, 6, 21);
const Move BISHOP_MOVE = makeMoveWord(BISHOP, 5, 26);

TEST(TableScores, MateScoresAreStoredRelativeToTheNode) {
  EXPECT_EQ(scoreToTT(32760, 4), 32764);
  EXPECT_EQ(scoreFromTT(32764, 2), 32762);
  EXPECT_EQ(scoreToTT(-32760, 4), -32764);
  EXPECT_EQ(scoreFromTT(-32764, 2), -32762);
  // Ordinary scores, the edge of the mate range included, pass unchanged.
  EXPECT_EQ(scoreToTT(31966, 9), 31966);
  EXPECT_EQ(scoreToTT(-31966, 9), -31966);
  EXPECT_EQ(scoreToTT(31967, 9), 31976);
  EXPECT_EQ(scoreFromTT(-250, 30), -250);
}

TEST_F(TableTest, ProbeAtAnotherPlyAdjustsTheMateDistance) {
  ttStore(KEY, true, 6, BOUND_EXACT, KNIGHT_MOVE, 32760, 12, 4);
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 2, hit));
  EXPECT_EQ(ttRawScore(hit.data), 32764);
  EXPECT_EQ(hit.score, 32762);
}

TEST_F(TableTest, AllFieldsSurviveTheRoundTrip) {
  ttGeneration = 37u << 25;
  ttStore(KEY, true, -1, BOUND_LOWER, BISHOP_MOVE, -1234, -32767, 7);
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 7, hit));
  EXPECT_EQ(hit.depth, -1);
  EXPECT_EQ(ttDepthByte(hit.data), 127);
  EXPECT_EQ(hit.bound, BOUND_LOWER);
  EXPECT_EQ(hit.move, toTTMove(BISHOP_MOVE));
  EXPECT_EQ(hit.score, -1234);
  EXPECT_EQ(hit.eval, EVAL_NONE);
  EXPECT_EQ(ttGenerationOf(hit.data), 37u << 25);
  // The check word is the key XOR the data word.
  TTEntry* slot = ttSlot(KEY);
  EXPECT_EQ(slot->checkWord.load() ^ slot->dataWord.load(), KEY);
}

TEST_F(TableTest, MovesPackIntoFifteenBits) {
  Move knightPromotionCapture = makeMoveWord(PAWN, 54, 63, ROOK, KNIGHT, MOVE_CAPTURE | MOVE_PROMOTION);
  EXPECT_EQ(toTTMove(knightPromotionCapture), 54 | 63 << 6 | 0 << 12 | 1 << 14);
  Move queenPromotion = makeMoveWord(PAWN, 52, 60, NO_PIECE, QUEEN, MOVE_PROMOTION | MOVE_CHECK);
  EXPECT_EQ(toTTMove(queenPromotion), 52 | 60 << 6 | 3 << 12 | 1 << 14);
  Move enPassant = makeMoveWord(PAWN, 33, 42, PAWN, NO_PIECE, MOVE_CAPTURE | MOVE_EN_PASSANT);
  EXPECT_EQ(toTTMove(enPassant), 33 | 42 << 6 | 1 << 13);
  EXPECT_EQ(toTTMove(0x1000C26), 4 | 6 << 6 | 1 << 12);
  EXPECT_EQ(toTTMove(0), 0);
  // The largest packed move still fits under the bound bits.
  uint64_t data = packTTData(0, BOUND_UPPER, 0x7FFF, 0, 0, 0);
  EXPECT_EQ(ttMoveOf(data), 0x7FFF);
  EXPECT_EQ(ttBoundOf(data), BOUND_UPPER);
}

TEST_F(TableTest, OnlyTheStoredKeyHits) {
  TTHit hit;
  // A cleared slot never hits a non-zero key.
  EXPECT_FALSE(ttProbe(KEY, 0, hit));
  EXPECT_EQ(hit.move, 0);
  ttStore(KEY, true, 3, BOUND_EXACT, KNIGHT_MOVE, 10, 20, 0);
  EXPECT_FALSE(ttProbe(OTHER_KEY_SAME_SLOT, 0, hit));
  // A slot torn between two writers fails the check.
  TTEntry* slot = ttSlot(KEY);
  slot->dataWord.store(slot->dataWord.load() ^ (uint64_t(5) << 32));
  EXPECT_FALSE(ttProbe(KEY, 0, hit));
}

TEST_F(TableTest, OutOfRangeScoresAreClampedNotWrapped) {
  ttStore(KEY, true, 1, BOUND_UPPER, 0, -32767, 0, 5);
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 5, hit));
  EXPECT_LT(hit.score, -SCORE_MATE_IN_MAX);
}

TEST_F(TableTest, NonPvNodesKeepExactResultsOfThisSearch) {
  ttGeneration = 3u << 25;
  ttStore(KEY, true, 4, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 3);
  // Not even a deeper non-PV result of another position replaces it.
  EXPECT_FALSE(ttStore(OTHER_KEY_SAME_SLOT, false, 9, BOUND_LOWER, BISHOP_MOVE, 80, 0, 3));
  EXPECT_FALSE(ttStore(KEY, false, 9, BOUND_LOWER, BISHOP_MOVE, 80, 0, 3));
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 3, hit));
  EXPECT_EQ(hit.score, 50);
  // A PV node writes through, even with less depth.
  EXPECT_TRUE(ttStore(KEY, true, 1, BOUND_UPPER, 0, -5, 0, 3));
  ASSERT_TRUE(ttProbe(KEY, 3, hit));
  EXPECT_EQ(hit.depth, 1);
}

TEST_F(TableTest, NonPvNodesReplaceEverythingElse) {
  TTHit hit;
  // Exact but of depth 0.
  ttGeneration = 3u << 25;
  ttStore(KEY, true, 0, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 0);
  EXPECT_TRUE(ttStore(KEY, false, 0, BOUND_UPPER, 0, 7, 0, 0));
  // Exact of a previous search.
  ttStore(KEY, true, 12, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 0);
  advanceTTGeneration();
  EXPECT_TRUE(ttStore(KEY, false, 1, BOUND_UPPER, 0, 7, 0, 0));
  // A deep lower bound of this search: no depth or age preference.
  ttStore(KEY, true, 20, BOUND_LOWER, KNIGHT_MOVE, 50, 0, 0);
  EXPECT_TRUE(ttStore(OTHER_KEY_SAME_SLOT, false, 1, BOUND_UPPER, 0, 7, 0, 0));
  EXPECT_TRUE(ttProbe(OTHER_KEY_SAME_SLOT, 0, hit));
}

TEST_F(TableTest, FailLowStoreKeepsThePreviousBestMove) {
  ttStore(KEY, false, 5, BOUND_LOWER, KNIGHT_MOVE, 120, 30, 2);
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 2, hit));
  // The node searched deeper, no move raised alpha: it stores its own
  // probe's move with the upper bound.
  Move probeMove = KNIGHT_MOVE;
  ttStore(KEY, false, 6, ttBoundFor(false, -40, -39), probeMove, -40, 30, 2);
  ASSERT_TRUE(ttProbe(KEY, 2, hit));
  EXPECT_EQ(hit.bound, BOUND_UPPER);
  EXPECT_EQ(hit.move, toTTMove(KNIGHT_MOVE));
  EXPECT_EQ(hit.depth, 6);
}

TEST(TableBounds, BoundFollowsTheWindow) {
  EXPECT_EQ(ttBoundFor(false, 10, 20), BOUND_UPPER);
  EXPECT_EQ(ttBoundFor(true, 15, 20), BOUND_EXACT);
  EXPECT_EQ(ttBoundFor(true, 20, 20), BOUND_LOWER);
  EXPECT_EQ(BOUND_LOWER & BOUND_EXACT, 0u);
}

TEST_F(TableTest, GenerationWrapsAfter128Searches) {
  ttStore(KEY, true, 4, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 0);
  uint32_t start = ttGeneration;
  for (int i = 0; i < 127; ++i) {
    advanceTTGeneration();
    EXPECT_NE(ttGeneration, start);
    EXPECT_EQ(ttGeneration & ~TT_GENERATION_MASK, 0u);
  }
  // 127 searches later the old exact entry belongs to a past search ...
  EXPECT_NE(ttGenerationOf(ttSlot(KEY)->dataWord.load()), ttGeneration);
  advanceTTGeneration();
  EXPECT_EQ(ttGeneration, start);
  // ... and at the 128th its generation reads as current again.
  EXPECT_FALSE(ttStore(KEY, false, 9, BOUND_LOWER, 0, 0, 0, 0));
}

TEST_F(TableTest, QuiescenceNeverReplacesDeeperEntriesOfThisSearch) {
  ttGeneration = 5u << 25;
  ttStore(KEY, true, 1, BOUND_UPPER, KNIGHT_MOVE, 50, 0, 0);
  EXPECT_FALSE(ttStoreQuiescence(KEY, 0, BOUND_EXACT, 0, 60, 0, 0));
  // Depth 0 of this search, or anything of an older one, is replaced.
  ttStore(KEY, true, 0, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 0);
  EXPECT_TRUE(ttStoreQuiescence(KEY, -1, BOUND_LOWER, BISHOP_MOVE, 60, 10, 0));
  ttStore(KEY, true, 15, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 0);
  advanceTTGeneration();
  EXPECT_TRUE(ttStoreQuiescence(KEY, 0, BOUND_UPPER, 0, -32000, 10, 3));
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 3, hit));
  EXPECT_EQ(ttRawScore(hit.data), -32003);
  EXPECT_EQ(hit.score, -32000);
  EXPECT_EQ(hit.depth, 0);
}

TEST_F(TableTest, RootStoreIsUnconditional) {
  ttGeneration = 1u << 25;
  ttStore(OTHER_KEY_SAME_SLOT, true, 30, BOUND_EXACT, KNIGHT_MOVE, 50, 0, 0);
  ttStoreRoot(KEY, 7, BISHOP_MOVE, 31, 25);
  TTHit hit;
  ASSERT_TRUE(ttProbe(KEY, 0, hit));
  EXPECT_EQ(hit.bound, BOUND_EXACT);
  EXPECT_EQ(hit.depth, 7);
  EXPECT_EQ(hit.move, toTTMove(BISHOP_MOVE));
  EXPECT_EQ(hit.score, 31);
  EXPECT_EQ(hit.eval, 25);
  EXPECT_EQ(ttGenerationOf(hit.data), 1u << 25);
}

}  // namespace
