// The staged move picker: every legal move exactly once, in the stage order,
// with correct check flags; killers, counter moves and the hash move never
// repeated; losing captures last; under-promotions only in deep nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "search/movepick.h"
#include "search/selection.h"

namespace {

const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* PROMOTIONS = "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1";
const char* IN_CHECK = "4k3/8/8/8/1q2N3/8/P4PPP/1R2K2R w K - 0 1";
const char* BLOCK_OR_PROMOTE = "r3k3/1P6/8/8/8/8/8/K7 w - - 0 1";
const char* LOSING_KNIGHT = "4k3/8/3p4/4p3/8/5N2/8/4K3 w - - 0 1";

class Picker : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initAttacks(); }
  void SetUp() override {
    thread_.reset(new SearchThread);
    clearSearchTables(*thread_);
  }
  const PositionState& setUp(const char* fen, const char* moves = "") {
    setPosition(thread_->position, fen, moves);
    return *thread_->position.state;
  }
  // Drains a picker; the result keeps the keys.
  std::vector<ScoredMove> drain(const PositionState& st, Move ttMove, int depth, Move prevMove = 0) {
    initMovePicker(picker_, *thread_, st, ttMove, PLY, depth, prevMove, 0, isInCheck(st));
    std::vector<ScoredMove> out;
    for (ScoredMove sm = pickNextMove(picker_); sm.move; sm = pickNextMove(picker_)) {
      out.push_back(sm);
      if (out.size() > MAX_GENERATED) break;
    }
    return out;
  }
  static std::vector<Move> legalMoves(const PositionState& st) {
    ScoredMove list[MAX_GENERATED];
    ScoredMove* end = generateLegalMoves(st, list);
    std::vector<Move> moves;
    for (ScoredMove* p = list; p < end; ++p) moves.push_back(p->move);
    std::sort(moves.begin(), moves.end());
    return moves;
  }
  static std::vector<Move> movesOf(const std::vector<ScoredMove>& picked) {
    std::vector<Move> moves;
    for (const ScoredMove& sm : picked) moves.push_back(sm.move);
    std::sort(moves.begin(), moves.end());
    return moves;
  }
  static Move find(const PositionState& st, Square from, Square to, PieceType promotion = NO_PIECE) {
    for (Move m : legalMoves(st))
      if (moveFrom(m) == from && moveTo(m) == to && movePromotion(m) == promotion) return m;
    return 0;
  }
  static constexpr int PLY = 3;
  std::unique_ptr<SearchThread> thread_;
  MovePicker picker_;
};

TEST_F(Picker, HandsOutEveryLegalMoveOnceWithItsCheckFlag) {
  for (const char* fen : {START_FEN, KIWIPETE, PROMOTIONS, IN_CHECK, BLOCK_OR_PROMOTE, LOSING_KNIGHT}) {
    const PositionState& st = setUp(fen);
    EXPECT_EQ(movesOf(drain(st, 0, 12)), legalMoves(st)) << fen;
    // With a hash move, that move comes first and only once.
    std::vector<Move> legal = legalMoves(st);
    Move tt = legal[legal.size() / 2];
    std::vector<ScoredMove> picked = drain(st, tt, 12);
    ASSERT_FALSE(picked.empty());
    EXPECT_EQ(picked[0].move, tt);
    EXPECT_EQ(picked[0].key, PICK_TT_MOVE);
    EXPECT_EQ(movesOf(picked), legal) << fen;
  }
}

TEST_F(Picker, KeysFallAfterTheHashMove) {
  const PositionState& st = setUp(KIWIPETE);
  thread_->mainHistory[0][KNIGHT][21][38] = 900;  // some quiet history to sort by
  thread_->mainHistory[0][PAWN][8][24] = -900;
  std::vector<ScoredMove> picked = drain(st, 0, 12);
  ASSERT_GT(picked.size(), 2u);
  for (size_t i = 1; i < picked.size(); ++i) EXPECT_LE(picked[i].key, picked[i - 1].key) << i;
  // Good captures lead, the bishop capture on a6 before any pawn capture.
  EXPECT_TRUE(picked[0].move & MOVE_CAPTURE);
  EXPECT_GE(picked[0].key, PICK_GOOD_CAPTURE);
  EXPECT_EQ(moveTo(picked[0].move), 40);
}

// Good captures go by victim, then by what the capture history learned: a
// capture that refuted earns its place, one searched in vain loses it.
TEST_F(Picker, CapturesGoByVictimThenByCaptureHistory) {
  const PositionState& st = setUp(KIWIPETE);
  const Move bxa6 = find(st, 12, 40), gxh3 = find(st, 14, 23), dxe6 = find(st, 35, 44);
  auto goodCaptures = [&] {
    std::vector<Move> out;
    for (const ScoredMove& sm : drain(st, 0, 12))
      if (sm.key >= PICK_GOOD_CAPTURE) out.push_back(withoutCheck(sm.move));
    return out;
  };
  updateCaptureStats(*thread_, st, 10, dxe6, &gxh3, 1);
  EXPECT_EQ(goodCaptures(), (std::vector<Move>{bxa6, dxe6, gxh3}));
  // A quiet refutation punishes the captures tried before it.
  const Move tried[] = {dxe6, dxe6, dxe6};
  updateCaptureStats(*thread_, st, 12, find(st, 14, 22), tried, 3);
  EXPECT_EQ(goodCaptures(), (std::vector<Move>{bxa6, gxh3, dxe6}));
}

TEST_F(Picker, LosingCaptureComesAfterEveryQuietMove) {
  const PositionState& st = setUp(LOSING_KNIGHT);
  std::vector<ScoredMove> picked = drain(st, 0, 5);
  ASSERT_FALSE(picked.empty());
  const ScoredMove& last = picked.back();
  EXPECT_EQ(movePiece(last.move), KNIGHT);
  EXPECT_EQ(moveTo(last.move), 36);
  // Exchange value -200, then the capture's key bits (pawn victim, history bucket 20).
  EXPECT_EQ(last.key, -200 * 128 + 60 - 2047483773);
  EXPECT_LT(last.key, PICK_LOSING_LIMIT);
  for (size_t i = 0; i + 1 < picked.size(); ++i) EXPECT_FALSE(picked[i].move & MOVE_CAPTURE);
}

TEST_F(Picker, KillersAndCounterMoveAreNeverRepeated) {
  const PositionState& st = setUp(START_FEN);
  Move nf3 = find(st, 6, 21), nc3 = find(st, 1, 18), e4 = find(st, 12, 28);
  const Move prev = makeMoveWord(PAWN, 12, 28);
  thread_->killers[PLY][0] = nf3;
  thread_->killers[PLY][1] = nc3;
  thread_->counterMoves[0][PAWN][12][28] = nc3;
  // Killer 0 is the hash move: it comes once, as the hash move.
  std::vector<ScoredMove> picked = drain(st, nf3, 5, prev);
  ASSERT_EQ(picked.size(), 20u);
  EXPECT_EQ(picked[0].move, nf3);
  EXPECT_EQ(picked[1].move, nc3);
  EXPECT_EQ(picked[1].key, PICK_KILLER);
  EXPECT_LT(picked[2].key, PICK_KILLER);
  EXPECT_EQ(movesOf(picked), legalMoves(st));
  EXPECT_EQ(picker_.counterMove, nc3);
  EXPECT_EQ(picker_.killer0, nf3);
  // A distinct counter move follows the killers.
  thread_->counterMoves[0][PAWN][12][28] = e4;
  picked = drain(st, 0, 5, prev);
  ASSERT_EQ(picked.size(), 20u);
  EXPECT_EQ(picked[0].move, nf3);
  EXPECT_EQ(picked[1].move, nc3);
  EXPECT_EQ(picked[2].move, e4);
  EXPECT_EQ(picked[2].key, PICK_KILLER);
  EXPECT_EQ(movesOf(picked), legalMoves(st));
}

TEST_F(Picker, RememberedMovesThatDoNotFitAreSkipped) {
  const PositionState& st = setUp(START_FEN);
  thread_->killers[PLY][0] = makeMoveWord(BISHOP, 2, 20);             // blocked by the d2 pawn
  thread_->killers[PLY][1] = makeMoveWord(KNIGHT, 27, 44);            // no knight there
  thread_->counterMoves[0][0][0][0] = makeMoveWord(ROOK, 0, 16);     // through the a2 pawn
  std::vector<ScoredMove> picked = drain(st, 0, 5);
  EXPECT_EQ(movesOf(picked), legalMoves(st));
  for (const ScoredMove& sm : picked) EXPECT_NE(sm.key, PICK_KILLER);
}

TEST_F(Picker, UnderPromotionsOnlyFromDepthEight) {
  auto underPromotions = [](const std::vector<ScoredMove>& picked) {
    int n = 0;
    for (const ScoredMove& sm : picked)
      if ((sm.move & MOVE_PROMOTION) && movePromotion(sm.move) != QUEEN) ++n;
    return n;
  };
  for (const char* fen : {PROMOTIONS, BLOCK_OR_PROMOTE}) {
    const PositionState& st = setUp(fen);
    std::vector<ScoredMove> shallow = drain(st, 0, 7);
    EXPECT_EQ(underPromotions(shallow), 0) << fen;
    EXPECT_GT(shallow.size(), 0u);
    std::vector<ScoredMove> deep = drain(st, 0, 8);
    EXPECT_GT(underPromotions(deep), 0) << fen;
    EXPECT_EQ(movesOf(deep), legalMoves(st)) << fen;
    EXPECT_EQ(shallow.size() + underPromotions(deep), deep.size()) << fen;
    // Under-promotions sort last.
    EXPECT_TRUE(deep.back().move & MOVE_PROMOTION);
    EXPECT_NE(movePromotion(deep.back().move), QUEEN);
  }
}

TEST_F(Picker, InCheckKillersGetNoSpecialPlace) {
  const PositionState& st = setUp(IN_CHECK);
  ASSERT_TRUE(isInCheck(st));
  std::vector<Move> legal = legalMoves(st);
  Move quietEvasion = 0;
  for (Move m : legal)
    if (!(m & MOVE_CAPTURE)) quietEvasion = m;
  ASSERT_NE(quietEvasion, 0u);
  thread_->killers[PLY][0] = withoutCheck(quietEvasion);
  std::vector<ScoredMove> picked = drain(st, 0, 5);
  EXPECT_EQ(movesOf(picked), legal);
  for (size_t i = 0; i < picked.size(); ++i) {
    EXPECT_NE(picked[i].key, PICK_KILLER);
    if (i > 0) {
      EXPECT_LE(picked[i].key, picked[i - 1].key);
    }
  }
  // The capture of the checking queen comes first.
  EXPECT_EQ(picked[0].move & MOVE_CAPTURE, MOVE_CAPTURE);
  EXPECT_EQ(moveTo(picked[0].move), 25);
}

TEST_F(Picker, ProbCutSeesOnlyGoodCapturesAndATacticalHashMove) {
  const PositionState& st = setUp(KIWIPETE);
  Move quietTT = find(st, 21, 37);  // Qf3-f5
  ASSERT_NE(quietTT, 0u);
  initProbCutPicker(picker_, *thread_, st, quietTT, PLY, 8);
  for (ScoredMove sm = pickNextMove(picker_); sm.move; sm = pickNextMove(picker_)) {
    EXPECT_TRUE(sm.move & (MOVE_CAPTURE | MOVE_PROMOTION));
    EXPECT_GE(sm.key, PICK_GOOD_CAPTURE);
  }
  Move capture = find(st, 36, 53);  // Ne5xf7
  ASSERT_NE(capture, 0u);
  initProbCutPicker(picker_, *thread_, st, capture, PLY, 8);
  ScoredMove first = pickNextMove(picker_);
  EXPECT_EQ(first.move, capture);
  int more = 0;
  for (ScoredMove sm = pickNextMove(picker_); sm.move; sm = pickNextMove(picker_)) {
    EXPECT_NE(sm.move, capture);
    ++more;
  }
  EXPECT_GT(more, 0);
}

// Dropping the moves the search would prune must not change the order of
// the others: the kept moves come out exactly as repeated selection (highest
// key, the last of equal keys, swapped to the end) would hand them out,
// ties included.
TEST(KeepInSelectionOrder, MatchesRepeatedSelection) {
  uint64_t seed = 0x2545F4914F6CDD1Dull;
  auto next = [&seed] {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    return seed;
  };
  ScoredMove moves[MAX_GENERATED], reference[MAX_GENERATED];
  for (int round = 0; round < 3000; ++round) {
    const int count = 1 + int(next() % (round % 3 == 0 ? MAX_GENERATED : 40));
    const int keyRange = round % 4 == 0 ? 2 : round % 4 == 1 ? 5 : round % 4 == 2 ? 50 : 1 << 30;
    for (int i = 0; i < count; ++i) {
      uint64_t r = next();
      Move flags = (r & 3) == 0 ? MOVE_CHECK : (r & 3) == 1 ? MOVE_CAPTURE : 0;
      moves[i] = {int32_t(r >> 40) % keyRange - keyRange / 2, Move(i) | flags};
    }
    std::vector<Move> expected;
    std::copy(moves, moves + count, reference);
    for (int end = count; end > 0; --end) {
      int best = end - 1;
      for (int i = end - 2; i >= 0; --i)
        if (reference[i].key > reference[best].key) best = i;
      std::swap(reference[best], reference[end - 1]);
      if (reference[end - 1].move & (MOVE_CHECK | MOVE_CAPTURE)) expected.push_back(reference[end - 1].move);
    }
    const int kept = keepInSelectionOrder(moves, count, MOVE_CHECK | MOVE_CAPTURE);
    std::vector<Move> got;
    for (int i = kept - 1; i >= 0; --i) got.push_back(moves[i].move);
    ASSERT_EQ(got, expected) << "round " << round << ", " << count << " entries";
  }
}

}  // namespace

// The vector selection must choose the entry the plain loop chooses, on
// every length around the vector widths, with many ties and extreme keys.
TEST(BestEntryIndex, AgreesWithScalarLoop) {
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  auto next = [&seed] {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    return seed;
  };
  ScoredMove moves[MAX_GENERATED];
  for (int round = 0; round < 20000; ++round) {
    const int count = 1 + int(next() % (round % 2 ? 40 : MAX_GENERATED));
    const int kind = round % 4;
    for (int i = 0; i < count; ++i) {
      const uint64_t r = next();
      const int32_t key = kind == 0   ? int32_t(r % 3)
                          : kind == 1 ? (r & 1 ? INT32_MIN : INT32_MAX)
                          : kind == 2 ? int32_t(r % 1000) - 500
                                      : int32_t(uint32_t(r >> 32));
      moves[i] = {key, Move(r)};
    }
    ASSERT_EQ(bestEntryIndex(moves, count), bestEntryIndexScalar(moves, count))
        << "round " << round << ", " << count << " entries";
  }
}
