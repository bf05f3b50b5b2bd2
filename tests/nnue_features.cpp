// Feature rows of a position and of the codes a move records, and the
// per-ply accumulators built from them (positions made from bitboards).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "eval/accumulator.h"
#include "eval/features.h"
#include "eval/network.h"
#include "support/board_states.h"

namespace {

std::vector<int> sortedRows(const PositionState& st, int perspective) {
  int rows[MAX_ACTIVE_ROWS];
  int count = activeRows(st, perspective, rows);
  std::vector<int> sorted(rows, rows + count);
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

bool contains(const std::vector<int>& rows, int row) { return std::binary_search(rows.begin(), rows.end(), row); }

}  // namespace

TEST(FeatureRows, InitialPositionHasTheDocumentedRows) {
  PositionState st = initialState();
  std::vector<int> own = sortedRows(st, 0), other = sortedRows(st, 1);
  EXPECT_EQ(own.size(), 32u);
  EXPECT_EQ(other.size(), 32u);
  EXPECT_TRUE(contains(own, 772));     // white pawn e2, white king e1
  EXPECT_TRUE(contains(other, 23812));  // the same pawn seen by black, king e8
  for (const auto& rows : {own, other}) {
    EXPECT_TRUE(contains(rows, 40960));
    EXPECT_TRUE(contains(rows, 40961));
  }
  // Black's own pawn on e7 is e2 from black's side: the same row 772.
  EXPECT_TRUE(contains(other, 772));
  EXPECT_EQ(perspectiveKing(st, 0), 4);
  EXPECT_EQ(perspectiveKing(st, 1), 4);
}

TEST(FeatureRows, OtherPerspectiveIsTheSideToMoveAfterPassingTheTurn) {
  // White: Kg1, Qd1, Rf1, pawns f2 g2 h2, knight c3, king-side right kept;
  // black: Kb8, Rd8, bishop e6, pawns a7 b7, queen-side right kept.
  PositionState st{};
  auto put = [&](PieceType t, Square s, bool own) {
    st.pieces[t] |= squareBB(s);
    st.pieces[ALL_PIECES] |= squareBB(s);
    if (own) st.pieces[OWN_PIECES] |= squareBB(s);
  };
  for (auto [t, s] : {std::pair{KING, 6}, {QUEEN, 3}, {ROOK, 5}, {PAWN, 13}, {PAWN, 14}, {PAWN, 15}, {KNIGHT, 18}})
    put(t, s, true);
  for (auto [t, s] : {std::pair{KING, 57}, {ROOK, 59}, {BISHOP, 44}, {PAWN, 48}, {PAWN, 49}}) put(t, s, false);
  st.castleFiles = uint16_t(0x0 << 12 | 0x8 << 8 | 0x8 << 4 | 0x7);
  PositionState passed = passTurn(st);
  EXPECT_EQ(sortedRows(st, 1), sortedRows(passed, 0));
  EXPECT_EQ(sortedRows(st, 0), sortedRows(passed, 1));
  std::vector<int> own = sortedRows(st, 0), other = sortedRows(st, 1);
  EXPECT_TRUE(contains(own, 40960));
  EXPECT_FALSE(contains(own, 40961));
  EXPECT_FALSE(contains(other, 40960));
  EXPECT_TRUE(contains(other, 40961));
  // Black's bishop on e6 seen by white (king g1): kind 7, square 44.
  EXPECT_TRUE(contains(own, pieceRow(7, 44, 6)));
  // The same bishop seen by black (king b8 = b1 from black's side): e3.
  EXPECT_TRUE(contains(other, pieceRow(2, 20, 1)));
}

TEST(FeatureRows, MoveCodesMapToEachPerspective) {
  // White queen d1 takes the rook on h8: codes 256 + 3 (queen), 575 (rook), 2048.
  const Square whiteKing = 4, blackKing = 4;  // each in its own orientation
  EXPECT_EQ(deltaRow(256 + 3, true, whiteKing), pieceRow(4, 3, whiteKing));
  EXPECT_EQ(deltaRow(575, true, whiteKing), pieceRow(8, 63, whiteKing));
  EXPECT_EQ(deltaRow(256 + 3, false, blackKing), pieceRow(9, 59, blackKing));
  EXPECT_EQ(deltaRow(575, false, blackKing), pieceRow(3, 7, blackKing));
  // Castling rights: each side's right belongs to that side's perspective only.
  EXPECT_EQ(deltaRow(CODE_ENEMY_KING_SIDE, true, whiteKing), -1);
  EXPECT_EQ(deltaRow(CODE_ENEMY_KING_SIDE, false, blackKing), 40960);
  EXPECT_EQ(deltaRow(CODE_ENEMY_QUEEN_SIDE, false, blackKing), 40961);
  EXPECT_EQ(deltaRow(CODE_OWN_KING_SIDE, true, whiteKing), 40960);
  EXPECT_EQ(deltaRow(CODE_OWN_QUEEN_SIDE, true, whiteKing), 40961);
  EXPECT_EQ(deltaRow(CODE_OWN_QUEEN_SIDE, false, blackKing), -1);
}

class AccumulatorRecords : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initNetwork(); }
  void SetUp() override { memset(records, 0, sizeof records); }
  void expectRefreshed(const PositionState& st, int ply) {
    alignas(64) int16_t fresh[L1_SIZE];
    refreshAccumulator(st, 0, fresh);
    EXPECT_EQ(memcmp(fresh, records[ply].own, sizeof fresh), 0) << "side to move at ply " << ply;
    refreshAccumulator(st, 1, fresh);
    EXPECT_EQ(memcmp(fresh, records[ply].other, sizeof fresh), 0) << "other side at ply " << ply;
  }
  NnueRecord records[4];
};

TEST_F(AccumulatorRecords, FirstEvaluationRefreshesBoth) {
  PositionState st = initialState();
  evaluate(st, records, 0, false);
  EXPECT_EQ(records[0].computed, 1);
  expectRefreshed(st, 0);
}

TEST_F(AccumulatorRecords, NullMoveSwapsTheParentsAccumulators) {
  PositionState st = initialState();
  evaluate(st, records, 0, false);
  records[0].delta = NnueDelta{};
  evaluate(passTurn(st), records, 1, false);
  EXPECT_EQ(memcmp(records[1].own, records[0].other, sizeof records[1].own), 0);
  EXPECT_EQ(memcmp(records[1].other, records[0].own, sizeof records[1].own), 0);
}

TEST_F(AccumulatorRecords, QuietMovesUpdateAcrossUncomputedPlies) {
  PositionState ply0 = initialState();
  evaluate(ply0, records, 0, false);
  // 1. Nf3 Nc6 2. e3, evaluated only at the end.
  PositionState ply1 = quietMove(ply0, KNIGHT, 6, 21);
  records[0].delta = NnueDelta{0, 1, 1, {64 + 21}, {64 + 6}};
  PositionState ply2 = quietMove(ply1, KNIGHT, 1, 18);
  records[1].delta = NnueDelta{0, 1, 1, {64 + 18}, {64 + 1}};
  PositionState ply3 = quietMove(ply2, PAWN, 12, 20);
  records[2].delta = NnueDelta{0, 1, 1, {20}, {12}};
  int score = evaluate(ply3, records, 3, false);
  EXPECT_EQ(records[1].computed, 0);
  expectRefreshed(ply3, 3);
  // The same position evaluated afresh scores the same.
  NnueRecord fresh[1] = {};
  EXPECT_EQ(evaluate(ply3, fresh, 0, false), score);
}

TEST_F(AccumulatorRecords, KingMoveForcesARefreshOfThatSide) {
  // 1. e4 e5 2. Ke2: at ply 3 black's accumulator (side to move) is updated
  // incrementally and white's, whose king moved, is refreshed.
  PositionState ply0 = initialState();
  evaluate(ply0, records, 0, false);
  PositionState ply1 = quietMove(ply0, PAWN, 12, 28);
  records[0].delta = NnueDelta{0, 1, 1, {28}, {12}};
  evaluate(ply1, records, 1, false);
  PositionState ply2 = quietMove(ply1, PAWN, 12, 28);
  records[1].delta = NnueDelta{0, 1, 1, {28}, {12}};
  PositionState ply3 = quietMove(ply2, KING, 4, 12);
  records[2].delta = NnueDelta{1, 0, 2, {}, {CODE_OWN_KING_SIDE, CODE_OWN_QUEEN_SIDE}};
  evaluate(ply3, records, 3, false);
  expectRefreshed(ply3, 3);
}
