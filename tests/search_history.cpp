// Learning tables of the move picker: history rewards and penalties, killer
// and counter-move updates, ageing between searches, and the correction
// history of the static evaluation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "search/correction.h"
#include "search/movepick.h"

namespace {

const Move KNIGHT_F3 = makeMoveWord(KNIGHT, 6, 21);
const Move KNIGHT_D2_F3 = makeMoveWord(KNIGHT, 11, 21);  // another knight to the same square
const Move BISHOP_C4 = makeMoveWord(BISHOP, 5, 26);
const Move PAWN_E4 = makeMoveWord(PAWN, 12, 28);
const Move PREV = makeMoveWord(PAWN, 11, 27);   // opponent's d2-d4, in its orientation
const Move PREV_PREV = makeMoveWord(KNIGHT, 1, 18);

class History : public ::testing::Test {
 protected:
  void SetUp() override {
    thread_.reset(new SearchThread);
    clearSearchTables(*thread_);
    std::memset(&white_, 0, sizeof white_);
    white_.flags = 0x80;
    black_ = white_;
    black_.flags |= FLAG_BLACK;
  }
  int16_t& mainEntry(const PositionState& st, Move m) {
    return thread_->mainHistory[isBlackToMove(st)][movePiece(m)][moveFrom(m)][moveTo(m)];
  }
  int16_t& cont1(const PositionState& st, Move prev, Move m) {
    return thread_->contHist1[isBlackToMove(st)][movePiece(prev)][moveTo(prev)][movePiece(m)][moveTo(m)];
  }
  int16_t& cont2(const PositionState& st, Move prev, Move m) {
    return thread_->contHist2[isBlackToMove(st)][movePiece(prev)][moveTo(prev)][movePiece(m)][moveTo(m)];
  }
  std::unique_ptr<SearchThread> thread_;
  PositionState white_;
  PositionState black_;
};

TEST(HistoryArithmetic, BonusGrowsWithDepthUpToACap) {
  EXPECT_EQ(historyBonus(1), 16);
  EXPECT_EQ(historyBonus(3), 144);
  EXPECT_EQ(historyBonus(40), 25600);
  EXPECT_EQ(historyBonus(127), 25600);
}

TEST(HistoryArithmetic, EntriesSaturateInsideSixteenBits) {
  EXPECT_EQ(historyReward(32767, 25600), 32767);
  EXPECT_EQ(historyPenalty(-32767, 25600), -32767);
  EXPECT_EQ(historyReward(0, 144), 144);
  // The division truncates toward zero.
  EXPECT_EQ(historyReward(-1000, 25600), -1000 + 25600 - (-1000 * 25600 / 32767));
  EXPECT_EQ(historyPenalty(1000, 144), 1000 - 144 - 4);
  // Any mix of updates keeps every entry within +-32767.
  int h = 0;
  for (int i = 0; i < 2000; ++i) {
    int bonus = historyBonus(1 + (i * 7) % 60);
    h = (i % 3) ? historyReward(h, bonus) : historyPenalty(h, bonus);
    ASSERT_LE(h, 32767);
    ASSERT_GE(h, -32767);
  }
}

TEST(HistoryArithmetic, LosingCapturesSortBelowEveryQuietMove) {
  // A knight takes a pawn and loses 200 in the exchange.
  int32_t key = losingCaptureKey(-200, PICK_GOOD_CAPTURE + 8 + 5);
  EXPECT_EQ(key, -200 * 128 + 13 - 2047483773);
  EXPECT_LT(key, -PICK_KILLER);
  EXPECT_LT(key, PICK_LOSING_LIMIT);
  // A smaller loss sorts first.
  EXPECT_GT(losingCaptureKey(-100, PICK_GOOD_CAPTURE + 8 + 5), key);
  // The worst exchange still stays above the under-promotion keys.
  EXPECT_GT(losingCaptureKey(-3000, PICK_GOOD_CAPTURE + 127), int32_t(0x80000002));
}

TEST_F(History, CutoffRewardsTheBestMoveAndPunishesEarlierQuiets) {
  Move tried[] = {PAWN_E4, BISHOP_C4};
  updateQuietStats(*thread_, white_, 3, 5, KNIGHT_F3, tried, 2, PREV, PREV_PREV);
  int bonus = historyBonus(5);
  EXPECT_EQ(mainEntry(white_, KNIGHT_F3), bonus);
  EXPECT_EQ(cont1(white_, PREV, KNIGHT_F3), bonus);
  EXPECT_EQ(cont2(white_, PREV_PREV, KNIGHT_F3), bonus);
  EXPECT_EQ(mainEntry(white_, BISHOP_C4), -bonus);
  EXPECT_EQ(cont1(white_, PREV, PAWN_E4), -bonus);
  EXPECT_EQ(cont2(white_, PREV_PREV, PAWN_E4), -bonus);
  // The other side's tables are untouched.
  EXPECT_EQ(mainEntry(black_, KNIGHT_F3), 0);
  EXPECT_EQ(quietHistoryScore(*thread_, white_, KNIGHT_F3, PREV, PREV_PREV), 5 * bonus);
  EXPECT_EQ(quietHistoryScore(*thread_, white_, KNIGHT_F3, 0, 0), bonus);
}

TEST_F(History, SharedContinuationEntriesUpdateInOrder) {
  // Both knight moves to f3 share their continuation entries: the best move
  // is rewarded first, then the earlier one punished.
  updateQuietStats(*thread_, white_, 0, 10, KNIGHT_F3, &KNIGHT_D2_F3, 1, PREV, 0);
  int bonus = historyBonus(10);
  EXPECT_EQ(cont1(white_, PREV, KNIGHT_F3), historyPenalty(bonus, bonus));
  EXPECT_EQ(mainEntry(white_, KNIGHT_F3), bonus);
  EXPECT_EQ(mainEntry(white_, KNIGHT_D2_F3), -bonus);
}

TEST_F(History, KillersAndCounterMovesLoseTheCheckFlag) {
  updateQuietStats(*thread_, white_, 4, 2, BISHOP_C4 | MOVE_CHECK, nullptr, 0, PREV, 0);
  EXPECT_EQ(thread_->killers[4][0], BISHOP_C4);
  EXPECT_EQ(counterMoveOf(*thread_, white_, PREV), BISHOP_C4);
  EXPECT_EQ(counterMoveOf(*thread_, black_, PREV), 0u);
  updateQuietStats(*thread_, white_, 4, 2, KNIGHT_F3, nullptr, 0, PREV, 0);
  EXPECT_EQ(thread_->killers[4][0], KNIGHT_F3);
  EXPECT_EQ(thread_->killers[4][1], BISHOP_C4);
  EXPECT_EQ(counterMoveOf(*thread_, white_, PREV), KNIGHT_F3);
  // The same killer again does not fill both slots.
  updateQuietStats(*thread_, white_, 4, 2, KNIGHT_F3 | MOVE_CHECK, nullptr, 0, PREV, 0);
  EXPECT_EQ(thread_->killers[4][0], KNIGHT_F3);
  EXPECT_EQ(thread_->killers[4][1], BISHOP_C4);
}

TEST_F(History, InCheckOnlyTheHistoriesLearn) {
  PositionState checked = white_;
  checked.flags |= FLAG_IN_CHECK;
  updateQuietStats(*thread_, checked, 2, 4, KNIGHT_F3, nullptr, 0, PREV, 0);
  EXPECT_EQ(thread_->killers[2][0], 0u);
  EXPECT_EQ(counterMoveOf(*thread_, checked, PREV), 0u);
  EXPECT_EQ(mainEntry(checked, KNIGHT_F3), historyBonus(4));
}

TEST_F(History, AgeingHalvesTowardZeroAndShiftsKillers) {
  mainEntry(white_, KNIGHT_F3) = -3;
  mainEntry(black_, BISHOP_C4) = 32767;
  cont1(white_, PREV, PAWN_E4) = -32767;
  cont2(black_, PREV, PAWN_E4) = 5;
  thread_->killers[0][0] = PAWN_E4;
  thread_->killers[1][0] = BISHOP_C4;
  thread_->killers[1][1] = PAWN_E4;
  thread_->killers[2][0] = KNIGHT_F3;
  thread_->killers[2][1] = BISHOP_C4;
  thread_->counterMoves[0][1][11][27] = KNIGHT_F3;
  ageSearchTables(*thread_);
  EXPECT_EQ(mainEntry(white_, KNIGHT_F3), -1);
  EXPECT_EQ(mainEntry(black_, BISHOP_C4), 16383);
  EXPECT_EQ(cont1(white_, PREV, PAWN_E4), -16383);
  EXPECT_EQ(cont2(black_, PREV, PAWN_E4), 2);
  EXPECT_EQ(thread_->killers[0][0], KNIGHT_F3);
  EXPECT_EQ(thread_->killers[0][1], BISHOP_C4);
  EXPECT_EQ(thread_->killers[1][0], 0u);
  EXPECT_EQ(thread_->killers[1][1], 0u);
  EXPECT_EQ(thread_->counterMoves[0][1][11][27], KNIGHT_F3);
}


TEST_F(History, CorrectionFollowsSearchResultsWithinItsLimit) {
  SearchThread& t = *thread_;
  PositionState st = white_, other = white_;
  st.pieces[PAWN] = 0x00FF00000000FF00ull;
  st.pieces[KING] = 0x1000000000000010ull;
  st.pieces[OWN_PIECES] = 0x000000000000FF10ull;
  st.pieces[ALL_PIECES] = st.pieces[PAWN] | st.pieces[KING];
  other.pieces[PAWN] = 0x00EF00001000FF00ull;
  other.pieces[ROOK] = 0x0000000000000001ull;
  other.pieces[QUEEN] = 0x0800000000000000ull;
  other.pieces[KING] = 0x1000000000000010ull;
  other.pieces[OWN_PIECES] = 0x000000000000FF11ull;
  other.pieces[ALL_PIECES] = other.pieces[PAWN] | other.pieces[ROOK] | other.pieces[QUEEN] | other.pieces[KING];
  ASSERT_NE(pawnCorrectionSlot(st), pawnCorrectionSlot(other));

  EXPECT_EQ(correctedEval(t, st, 50), 50);
  EXPECT_EQ(correctedEval(t, st, EVAL_NONE), EVAL_NONE);
  for (int i = 0; i < 500; ++i) updateCorrection(t, st, 12, 400);
  const int limit = CORRECTION_LIMIT / CORRECTION_GRAIN;
  EXPECT_GT(correctedEval(t, st, 50) - 50, limit * 9 / 10);
  EXPECT_LE(correctedEval(t, st, 50) - 50, limit);
  EXPECT_LE(correctedEval(t, st, 30000), CORRECTED_EVAL_LIMIT);
  EXPECT_EQ(correctedEval(t, other, 50), 50);  // other pawns and other pieces on both sides

  ageSearchTables(t);  // kept between searches
  EXPECT_GT(correctedEval(t, st, 50), 50);
  for (int i = 0; i < 500; ++i) updateCorrection(t, st, 12, -400);
  EXPECT_LT(correctedEval(t, st, 50) - 50, -limit * 9 / 10);
  clearSearchTables(t);
  EXPECT_EQ(correctedEval(t, st, 50), 50);
}
}  // namespace
