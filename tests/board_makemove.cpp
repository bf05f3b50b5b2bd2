#include <gtest/gtest.h>

#include <algorithm>

#include "board/makemove.h"
#include "board/verify.h"
#include "support/board_helpers.h"

namespace {

std::vector<uint32_t> sorted(const uint32_t* codes, int count) {
  std::vector<uint32_t> v(codes, codes + count);
  std::sort(v.begin(), v.end());
  return v;
}

// Makes the legal move with that text and returns its feature changes.
NnueDelta play(Board& board, const char* text, bool chess960 = false) {
  Move m = legalMove(board.st(), text, chess960);
  EXPECT_NE(m, MOVE_NONE) << text;
  NnueDelta delta{};
  makeMove(*board.pos, m, &delta);
  EXPECT_TRUE(isConsistent(board.st())) << text;
  return delta;
}

TEST(MakeMove, PawnPushMirrorsTheBoard) {
  Board board;
  play(board, "e2e4");
  const PositionState& st = board.st();
  EXPECT_TRUE(st.pieces[PAWN] & squareBB(36) & ~ownPieces(st));
  EXPECT_TRUE(isBlackToMove(st));
  EXPECT_EQ(epFile(st), NO_FILE);
  EXPECT_EQ(st.rule50, 0);
  for (const char* m : {"a7a6", "e4e5", "d7d5"}) play(board, m);
  EXPECT_EQ(epFile(board.st()), 3);
  EXPECT_EQ(board.st().key, computeKey(board.st()));
}

TEST(MakeMove, CastlingRightsTravelWithTheMirror) {
  Board board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  NnueDelta delta = play(board, "e1g1");
  EXPECT_EQ(board.st().castleFiles, 0x8807);
  EXPECT_EQ(delta.kingMoved, 1);
  EXPECT_EQ(sorted(delta.removed, delta.removedCount),
            (std::vector<uint32_t>{192 + 7, CODE_OWN_KING_SIDE, CODE_OWN_QUEEN_SIDE}));
  EXPECT_EQ(sorted(delta.added, delta.addedCount), (std::vector<uint32_t>{192 + 5}));
  delta = play(board, "a8a1");
  EXPECT_EQ(sorted(delta.removed, delta.removedCount),
            (std::vector<uint32_t>{192 + 0, 64 * 8 + 56, CODE_OWN_QUEEN_SIDE}));
}

TEST(MakeMove, CapturingACornerRookEndsThatRight) {
  Board board("r3k2r/8/8/8/8/8/8/4K2Q w kq - 0 1");
  uint64_t before = board.st().key;
  NnueDelta delta = play(board, "h1h8");
  EXPECT_EQ(delta.kingMoved, 0);
  EXPECT_EQ(sorted(delta.removed, delta.removedCount), (std::vector<uint32_t>{256 + 7, 575, CODE_ENEMY_KING_SIDE}));
  EXPECT_EQ(sorted(delta.added, delta.addedCount), (std::vector<uint32_t>{256 + 63}));
  EXPECT_EQ(board.st().castleFiles & 0xFF, 0x08);  // black queen side only
  EXPECT_TRUE(isInCheck(board.st()));
  uint64_t expected = before ^ zobristKeys[ZOBRIST_CASTLING + 1] ^ zobristKeys[ZOBRIST_BLACK] ^
                      zobristKeys[64 * QUEEN + 7] ^ zobristKeys[64 * QUEEN + 63] ^
                      zobristKeys[(64 * (ROOK + 8)) + (63 ^ 56)];
  EXPECT_EQ(board.st().key, expected);
}

TEST(MakeMove, EnPassantAndPromotionFeatures) {
  Board board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  NnueDelta delta = play(board, "e5d6");
  EXPECT_EQ(sorted(delta.removed, delta.removedCount), (std::vector<uint32_t>{36, 64 * 5 + 35}));
  EXPECT_EQ(sorted(delta.added, delta.addedCount), (std::vector<uint32_t>{43}));
  Board promote("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1");
  delta = play(promote, "a7b8n");
  EXPECT_EQ(sorted(delta.removed, delta.removedCount), (std::vector<uint32_t>{48, 64 * 8 + 57}));
  EXPECT_EQ(sorted(delta.added, delta.addedCount), (std::vector<uint32_t>{64 + 57}));
}

TEST(MakeMove, Chess960CastlingShapes) {
  Board stays("4k3/8/8/8/8/8/8/6KR w H - 0 1");
  NnueDelta delta = play(stays, "g1g1");
  EXPECT_EQ(delta.kingMoved, 0);
  EXPECT_EQ(stays.st().pieces[KING] & enemyPieces(stays.st()), squareBB(6 ^ 56));
  EXPECT_EQ(stays.st().pieces[ROOK], squareBB(5 ^ 56));
  Board swap("4k3/8/8/8/8/8/8/5KR1 w G - 0 1");
  delta = play(swap, "f1g1");
  EXPECT_EQ(delta.kingMoved, 1);
  EXPECT_EQ(swap.st().pieces[KING] & enemyPieces(swap.st()), squareBB(6 ^ 56));
  EXPECT_EQ(swap.st().pieces[ROOK], squareBB(5 ^ 56));
  // The king's one-step move b1c1 has the same text as castling here: the
  // king-takes-rook notation tells them apart.
  Board far("4k3/8/8/8/8/8/8/RK6 w A - 0 1");
  play(far, "b1a1", true);
  EXPECT_EQ(far.st().pieces[ROOK], squareBB(3 ^ 56));
  EXPECT_EQ(far.st().pieces[KING] & enemyPieces(far.st()), squareBB(2 ^ 56));
}

TEST(MakeMove, DoublePushWithoutATakerRecordsNoFile) {
  Board board("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  play(board, "e2e4");
  EXPECT_EQ(epFile(board.st()), NO_FILE);
  Board taker("4k3/8/8/8/5p2/8/4P3/4K3 w - - 0 1");
  play(taker, "e2e4");
  EXPECT_EQ(epFile(taker.st()), 4);
}

TEST(MakeMove, CheckFlagComesFromTheMoveWord) {
  Board board("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  Move check = legalMove(board.st(), "a1a8");
  ASSERT_TRUE(check & MOVE_CHECK);
  makeMove(*board.pos, check, nullptr);
  EXPECT_TRUE(isInCheck(board.st()));
  takeBack(*board.pos);
  makeMove(*board.pos, withoutCheck(check), nullptr);
  EXPECT_FALSE(isInCheck(board.st()));
}

TEST(MakeMove, RepetitionWindow) {
  Board board(START_FEN, "e2e4 e7e5");
  for (const char* m : {"g1f3", "b8c6", "f3g1"}) {
    play(board, m);
    EXPECT_FALSE(board.st().flags & FLAG_REPETITION) << m;
  }
  play(board, "c6b8");
  EXPECT_TRUE(board.st().flags & FLAG_REPETITION);
  // Not across a pawn move: the same squares again after d2d3 d7d6.
  Board later(START_FEN, "g1f3 g8f6 f3g1 f6g8 d2d3 d7d6");
  for (const char* m : {"g1f3", "g8f6"}) play(later, m);
  EXPECT_FALSE(later.st().flags & FLAG_REPETITION);
  // A rule50 window shorter than the cycle hides it.
  Board window("4k3/8/8/8/8/8/8/4K2R w - - 0 1");
  window.st().rule50 = 0;
  for (const char* m : {"h1h2", "e8d8", "h2h1", "d8e8"}) play(window, m);
  EXPECT_TRUE(window.st().flags & FLAG_REPETITION);
}

TEST(MakeMove, NullMovePassesTheTurn) {
  Board board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 5 1");
  PositionState before = board.st();
  makeNullMove(*board.pos);
  const PositionState& st = board.st();
  EXPECT_TRUE(isBlackToMove(st));
  EXPECT_EQ(epFile(st), NO_FILE);
  EXPECT_EQ(st.rule50, 5);
  EXPECT_EQ(st.key, computeKey(st));
  EXPECT_EQ(st.pieces[ALL_PIECES], flipBB(before.pieces[ALL_PIECES]));
  takeBack(*board.pos);
  EXPECT_EQ(board.st().key, before.key);
}

}  // namespace
