#include <gtest/gtest.h>

#include "support/board_helpers.h"

namespace {


TEST(MoveText, BlackMovesAreStoredInTheMoversView) {
  Board board(START_FEN, "e2e4");
  Move m = uciToMove(board.st(), "e7e5");
  EXPECT_EQ(m, makeMoveWord(PAWN, 12, 28));
  EXPECT_EQ(uciText(board.st(), m), "e7e5");
  EXPECT_EQ(uciToMove(board.st(), "d7d5"), makeMoveWord(PAWN, 11, 27));
}

TEST(MoveText, CastlingNotationFollowsTheOption) {
  Board board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  const Move shortCastle = makeMoveWord(KING, 4, 6, NO_PIECE, NO_PIECE, MOVE_CASTLE);
  EXPECT_EQ(uciText(board.st(), shortCastle), "e1g1");
  EXPECT_EQ(uciText(board.st(), shortCastle, true), "e1h1");
  Board black("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
  EXPECT_EQ(uciText(black.st(), makeMoveWord(KING, 4, 2, NO_PIECE, NO_PIECE, MOVE_CASTLE), true), "e8a8");
  Board shuffled("rk6/8/8/8/8/8/8/RK6 w Aa - 0 1");
  EXPECT_EQ(uciText(shuffled.st(), legalMove(shuffled.st(), "b1a1", true), true), "b1a1");
  EXPECT_EQ(movePiece(legalMove(shuffled.st(), "b1a1", true)), KING);
}

TEST(MoveText, BothCastlingNotationsAreAccepted) {
  Board board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  const Move shortCastle = makeMoveWord(KING, 4, 6, NO_PIECE, NO_PIECE, MOVE_CASTLE);
  EXPECT_EQ(uciToMove(board.st(), "e1h1"), shortCastle);
  EXPECT_EQ(uciToMove(board.st(), "e1g1"), shortCastle);
  EXPECT_EQ(uciToMove(board.st(), "e1g1"), shortCastle);
  EXPECT_EQ(uciToMove(board.st(), "e1a1"), makeMoveWord(KING, 4, 2, NO_PIECE, NO_PIECE, MOVE_CASTLE));
}

TEST(MoveText, PromotionCaptureFields) {
  Board board("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  Move m = uciToMove(board.st(), "b7a8q");
  EXPECT_EQ(movePromotion(m), QUEEN);
  EXPECT_EQ(moveCaptured(m), ROOK);
  EXPECT_TRUE(m & MOVE_CAPTURE);
  EXPECT_TRUE(m & MOVE_PROMOTION);
  EXPECT_TRUE(m & MOVE_CHECK);
  EXPECT_EQ(uciText(board.st(), m), "b7a8q");
  EXPECT_EQ(uciText(board.st(), uciToMove(board.st(), "b7b8n")), "b7b8n");
}

TEST(MoveText, EnPassantAndCheckFlags) {
  Board board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  Move m = uciToMove(board.st(), "e5d6");
  EXPECT_EQ(m, makeMoveWord(PAWN, 36, 43, PAWN, NO_PIECE, MOVE_CAPTURE | MOVE_EN_PASSANT));
  EXPECT_TRUE(uciToMove(board.st(), "e5e6") & MOVE_CHECK ? false : true);
  Board rook("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
  EXPECT_TRUE(uciToMove(rook.st(), "a1a8") & MOVE_CHECK);
}

TEST(MoveText, TextThatIsNotAMove) {
  Board board;
  for (const char* text : {"", "e2", "e2e", "i2e4", "e9e4", "e2e0", "E2E4", "0000", "e2-e4"})
    EXPECT_EQ(uciToMove(board.st(), text), MOVE_NONE) << text;
  EXPECT_EQ(uciToMove(board.st(), nullptr), MOVE_NONE);
}

TEST(MoveText, EveryLegalMoveSurvivesTheRoundTrip) {
  const char* fens[] = {START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
                        "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
                        "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 0 1"};
  for (bool chess960 : {false, true}) {
    for (const char* fen : fens) {
      Board board(fen);
      for (Move m : legalMoves(board.st()))
        EXPECT_EQ(uciToMove(board.st(), uciText(board.st(), m, chess960).c_str()), m);
    }
  }
}

}  // namespace
