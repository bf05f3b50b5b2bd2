#include <gtest/gtest.h>

#include "board/exchange.h"
#include "board/makemove.h"
#include "support/board_helpers.h"

namespace {

int see(const char* fen, const char* text) {
  Board board(fen);
  Move m = uciToMove(board.st(), text);
  EXPECT_NE(m, MOVE_NONE);
  return staticExchange(board.st(), m);
}

TEST(StaticExchange, ClassicSequences) {
  EXPECT_EQ(see("4k3/8/2p5/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5"), 200);
  EXPECT_EQ(see("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1d5"), -900);
  EXPECT_EQ(see("3qk3/8/8/3r4/8/8/3R4/3RK3 w - - 0 1", "d2d5"), 500);
  EXPECT_EQ(see("4k3/8/8/8/8/2p5/3p4/4K3 w - - 0 1", "e1d2"), 100);
  EXPECT_EQ(see("4k3/8/8/8/4p3/8/8/4K1N1 w - - 0 1", "g1f3"), -300);
  EXPECT_EQ(see("4k3/8/8/3p4/8/8/8/3RK3 w - - 0 1", "d1d5"), 100);
  // The king may not recapture into a defended square.
  EXPECT_EQ(see("8/8/8/3k4/3p4/8/3R4/3RK3 w - - 0 1", "d2d4"), 100);
  EXPECT_EQ(see("8/8/8/3k4/3p4/8/3R4/4K3 w - - 0 1", "d2d4"), -400);
}

TEST(StaticExchange, PromotionsCountTheNewPiece) {
  EXPECT_EQ(see("4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8q"), 900);
  EXPECT_EQ(see("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8q"), -100);
}

TEST(GivesCheck, AgreesWithTheBoardForEveryMoveKind) {
  Board ep("8/8/8/R2pP2k/8/8/8/4K3 w - d6 0 1");
  Move m = uciToMove(ep.st(), "e5d6");
  EXPECT_TRUE(m & MOVE_CHECK);
  Board promo("3k4/P7/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_TRUE(uciToMove(promo.st(), "a7a8q") & MOVE_CHECK);
  EXPECT_TRUE(uciToMove(promo.st(), "a7a8r") & MOVE_CHECK);
  EXPECT_FALSE(uciToMove(promo.st(), "a7a8b") & MOVE_CHECK);
  Board castle("5k2/8/8/8/8/8/8/4K2R w K - 0 1");
  EXPECT_TRUE(uciToMove(castle.st(), "e1g1") & MOVE_CHECK);
  Move quiet = makeMoveWord(KING, 4, 12);
  Move before = quiet | MOVE_CHECK;
  setGivesCheck(castle.st(), &before);
  EXPECT_TRUE(before & MOVE_CHECK);  // never cleared
}

TEST(TableMoves, EveryLegalMoveSurvivesTheTableForm) {
  const char* fens[] = {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                        "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
                        "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "4k3/8/8/8/8/8/8/5KR1 w G - 0 1"};
  for (const char* fen : fens) {
    Board board(fen);
    for (Move m : legalMoves(board.st())) {
      EXPECT_TRUE(isPseudoLegalTTMove(board.st(), toTTMove(m))) << fen << uciText(board.st(), m);
      EXPECT_EQ(validateTTMove(board.st(), toTTMove(m)), m) << fen << uciText(board.st(), m);
    }
  }
}

TEST(TableMoves, ArbitraryWordsGiveLegalMovesOrNothing) {
  Board board("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  std::vector<Move> legal = legalMoves(board.st());
  int found = 0;
  for (int t = 0; t < (1 << 15); ++t) {
    Move m = validateTTMove(board.st(), TTMove(t));
    if (m == MOVE_NONE) continue;
    ++found;
    EXPECT_NE(std::find(legal.begin(), legal.end(), m), legal.end()) << t;
  }
  EXPECT_EQ(found, int(legal.size()));
}

TEST(TableMoves, CheckRulesTheTableMoveOut) {
  Board inCheck("r3k2r/8/8/8/8/3n4/8/R3K2R w KQkq - 0 1");
  ASSERT_TRUE(isInCheck(inCheck.st()));
  TTMove castle = toTTMove(makeMoveWord(KING, 4, 6, NO_PIECE, NO_PIECE, MOVE_CASTLE));
  EXPECT_FALSE(isPseudoLegalTTMove(inCheck.st(), castle));
  TTMove rookMove = toTTMove(makeMoveWord(ROOK, 0, 8));
  EXPECT_TRUE(isPseudoLegalTTMove(inCheck.st(), rookMove));
  EXPECT_EQ(validateTTMove(inCheck.st(), rookMove), MOVE_NONE);
}

TEST(KillerMoves, PseudoLegalityOfRememberedQuietMoves) {
  Board board("4k3/8/8/8/8/8/4P3/R3K1NR w KQ - 0 1");
  const PositionState& st = board.st();
  EXPECT_TRUE(isPseudoLegal(st, makeMoveWord(KNIGHT, 6, 21)));
  EXPECT_FALSE(isPseudoLegal(st, makeMoveWord(KNIGHT, 6, 12)));  // own pawn there
  EXPECT_FALSE(isPseudoLegal(st, makeMoveWord(BISHOP, 6, 15)));  // wrong piece
  EXPECT_TRUE(isPseudoLegal(st, makeMoveWord(PAWN, 12, 28)));
  EXPECT_FALSE(isPseudoLegal(st, makeMoveWord(ROOK, 7, 5)));     // knight in the way
  EXPECT_TRUE(isPseudoLegal(st, makeMoveWord(ROOK, 0, 3)));
  EXPECT_TRUE(isPseudoLegal(st, makeMoveWord(KING, 4, 2, NO_PIECE, NO_PIECE, MOVE_CASTLE)));
  EXPECT_FALSE(isPseudoLegal(st, makeMoveWord(KING, 4, 6, NO_PIECE, NO_PIECE, MOVE_CASTLE)));
  EXPECT_FALSE(isPseudoLegal(st, Move(7) | 12 << 3 | 20 << 9));
}

}  // namespace
