#include <gtest/gtest.h>

#include <string>

#include "board/makemove.h"
#include "board/verify.h"
#include "support/board_helpers.h"

namespace {

uint64_t startKey() { return Board().st().key; }

TEST(FenSetUp, StartPositionFields) {
  Board board;
  const PositionState& st = board.st();
  EXPECT_EQ(st.castleFiles, 0x0707);
  EXPECT_EQ(st.flags, 0x80);
  EXPECT_EQ(st.rule50, 0);
  EXPECT_EQ(popcount(st.pieces[ALL_PIECES]), 32);
  EXPECT_TRUE(isConsistent(st));
}

TEST(FenSetUp, BlackToMoveIsStoredMirrored) {
  Board board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 7 1");
  const PositionState& st = board.st();
  EXPECT_EQ(st.castleFiles, 0x0707);
  EXPECT_EQ(st.flags, 0x88);
  EXPECT_EQ(st.rule50, 7);
  EXPECT_EQ(st.pieces[KING] & ownPieces(st), squareBB(4));
  EXPECT_EQ(st.pieces[PAWN] & ownPieces(st), rankBB(1));
  EXPECT_EQ(st.key, startKey() ^ zobristKeys[ZOBRIST_BLACK]);
}

TEST(FenSetUp, CastlingLettersByRookFile) {
  EXPECT_EQ(Board("rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1").st().castleFiles, 0x0707);
  EXPECT_EQ(Board("1rk5/8/8/8/8/8/8/1RK5 w Bb - 0 1").st().castleFiles, 0x1818);
  // K and Q name the outermost rook beside the king.
  EXPECT_EQ(Board("4k3/8/8/8/8/8/4P3/R1K1R2Q w KQ - 0 1").st().castleFiles, 0x8804);
}

TEST(FenSetUp, CastlingRightsWithoutTheirPiecesAreDropped) {
  EXPECT_EQ(Board("4k3/8/8/8/8/8/8/4K2R w KQ - 0 1").st().castleFiles, 0x8887);
  EXPECT_EQ(Board("4k3/8/8/8/8/8/4K3/R6R w KQ - 0 1").st().castleFiles, 0x8888);
  EXPECT_EQ(Board("4k3/8/8/8/8/8/8/R3K2R w CF - 0 1").st().castleFiles, 0x8888);
  Board board("r3k2r/8/8/8/8/8/8/R3K2R w KQkqKHH - 0 1");
  EXPECT_EQ(board.st().castleFiles, 0x0707);
  EXPECT_TRUE(isConsistent(board.st()));
}

TEST(FenSetUp, EnPassantFileNeedsAPossibleDoubleStep) {
  // After 1. e4 no black pawn can take: no file, no key.
  Board noTaker("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  Board dash("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_EQ(epFile(noTaker.st()), NO_FILE);
  EXPECT_EQ(noTaker.st().key, dash.st().key);
  EXPECT_EQ(epFile(Board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1").st()), 3);
  EXPECT_EQ(epFile(Board("4k3/3p4/8/3pP3/8/8/8/4K3 w - d6 0 1").st()), NO_FILE);
  EXPECT_EQ(epFile(Board("4k3/8/3n4/3pP3/8/8/8/4K3 w - d6 0 1").st()), NO_FILE);
  EXPECT_EQ(epFile(Board("4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1").st()), NO_FILE);
  EXPECT_EQ(epFile(Board("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1").st()), 3);
  EXPECT_EQ(epFile(Board("4k3/8/8/8/3Pp3/8/3P4/4K3 b - d3 0 1").st()), NO_FILE);
}

TEST(FenSetUp, CheckFlagFromTheBoard) {
  EXPECT_TRUE(isInCheck(Board("4k3/8/8/8/8/8/8/r3K3 w - - 0 1").st()));
  EXPECT_TRUE(isInCheck(Board("4k3/8/8/8/8/8/3p4/4K3 w - - 0 1").st()));
  EXPECT_FALSE(isInCheck(Board("4k3/8/8/8/8/8/4p3/4K3 w - - 0 1").st()));
}

TEST(FenMoves, StackRestartsAfterIrreversibleMoves) {
  Board board(START_FEN, "e2e4 e7e5 g1f3");
  Position& pos = *board.pos;
  EXPECT_EQ(pos.state - pos.stateStack, 1);
  EXPECT_EQ(pos.stateStack[0].key, Board(START_FEN, "e2e4 e7e5").st().key);
  EXPECT_EQ(setPosition(pos, START_FEN, "e2e4 e7e5 g1f3"), 1);
  EXPECT_EQ(moveFrom(pos.previousMove), 12);
  EXPECT_EQ(moveTo(pos.previousMove), 28);
  EXPECT_EQ(movePiece(pos.lastMove), KNIGHT);
  EXPECT_EQ(moveFrom(pos.lastMove), 6);
  setPosition(pos, START_FEN, nullptr);
  EXPECT_EQ(pos.lastMove, MOVE_NONE);
  EXPECT_EQ(pos.previousMove, MOVE_NONE);
}

TEST(FenMoves, KingTakesRookIsCastling) {
  const char* fen = "4k3/8/8/8/8/8/8/4K2R w K - 0 1";
  Board rookNotation(fen, "e1h1");
  Board kingNotation(fen, "e1g1");
  EXPECT_EQ(rookNotation.st().key, kingNotation.st().key);
  EXPECT_EQ(rookNotation.st().pieces[ROOK], squareBB(5 ^ 56));
  EXPECT_EQ(rookNotation.st().pieces[KING] & enemyPieces(rookNotation.st()), squareBB(6 ^ 56));
}

TEST(FenMoves, RepetitionAcrossTheMoveList) {
  Board board(START_FEN, "e2e4 e7e5 g1f3 b8c6 f3g1 c6b8");
  EXPECT_TRUE(board.st().flags & FLAG_REPETITION);
  Board notYet(START_FEN, "e2e4 e7e5 g1f3 b8c6 f3g1");
  EXPECT_FALSE(notYet.st().flags & FLAG_REPETITION);
}

// Bad input never writes out of bounds and always leaves a sound board.
TEST(FenSafety, MalformedFenText) {
  std::string longFen = std::string(START_FEN) + std::string(300, ' ') + "junk";
  Board tooLong(longFen.c_str());
  EXPECT_EQ(tooLong.st().key, startKey());
  Board overflow("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/PPPPPPPPPPPP8888 w - - 0 1");
  EXPECT_TRUE(isConsistent(overflow.st()));
  EXPECT_EQ(popcount(overflow.st().pieces[ALL_PIECES]), 32);
  Board placementOnly("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR");
  EXPECT_EQ(placementOnly.st().castleFiles, NO_CASTLING);
  EXPECT_FALSE(isBlackToMove(placementOnly.st()));
  EXPECT_TRUE(isConsistent(placementOnly.st()));
  Board empty("");
  EXPECT_EQ(empty.st().key, startKey());
  Board null(nullptr);
  EXPECT_EQ(null.st().key, startKey());
}

// An impossible board is refused with its reason and leaves the start
// position; the silent form just plays on from there.
TEST(FenSafety, ImpossibleBoardsAreRefusedWithTheirReason) {
  const struct {
    const char* fen;
    SetupError error;
  } refused[] = {
      {"8/8/8/8/8/8/8/K7 w - - 0 1", SETUP_NO_BLACK_KING},
      {"k7/8/8/8/8/8/8/8 b - - 0 1", SETUP_NO_WHITE_KING},
      {"", SETUP_NO_WHITE_KING},
      {"k7/8/8/8/8/8/8/KK6 w - - 0 1", SETUP_WHITE_KINGS},
      {"kk6/8/8/8/8/8/8/K7 b - - 0 1", SETUP_BLACK_KINGS},
      {"k7/8/8/8/8/8/8/K3P3 w - - 0 1", SETUP_BACK_RANK_PAWN},
      {"k6p/8/8/8/8/8/8/K7 b - - 0 1", SETUP_BACK_RANK_PAWN},
      {"k7/8/8/8/8/8/NNNNNNNN/NNNK4 w - - 0 1", SETUP_WHITE_MATERIAL},
      {"K7/8/8/8/8/8/nnnnnnnn/nnnk4 b - - 0 1", SETUP_BLACK_MATERIAL},
      {"k7/8/8/8/8/8/8/KQQQQQQQ/QQQQQQQQ w - - 0 1", SETUP_SIDE_NOT_TO_MOVE_IN_CHECK},
      {"k7/8/8/8/8/8/8/R6K w - - 0 1", SETUP_SIDE_NOT_TO_MOVE_IN_CHECK},
      {"k7/8/8/8/8/8/8/r6K b - - 0 1", SETUP_SIDE_NOT_TO_MOVE_IN_CHECK},
  };
  Board board;
  for (const auto& c : refused) {
    SetupResult result = setUpPosition(*board.pos, c.fen, "e2e4");
    EXPECT_EQ(result.error, c.error) << c.fen;
    EXPECT_EQ(board.st().key, startKey()) << c.fen;
    EXPECT_EQ(board.pos->state, board.pos->stateStack) << c.fen;
    EXPECT_EQ(setPosition(*board.pos, c.fen, "e2e4"), 0) << c.fen;
    EXPECT_EQ(board.st().key, startKey()) << c.fen;
  }
  EXPECT_EQ(setUpPosition(*board.pos, "k7/8/8/8/8/8/8/R6K b - - 0 1", nullptr).error, SETUP_OK);
}

// The first word that is no legal move is named; the moves before it stand.
TEST(FenSafety, BadMoveTokensEndTheList) {
  const uint64_t afterE4 = Board(START_FEN, "e2e4").st().key;
  const struct {
    const char* moves;
    const char* named;
  } lists[] = {{"e2e4 e7", "e7"},         {"e2e4 x9y9 e7e5", "x9y9"},       {"e2e4 E7E5", "E7E5"},
               {"e2e4 e7e4", "e7e4"},     {"e2e4 e7e5e6", "e7e5e6"},        {"e2e4 a1a1", "a1a1"},
               {"e2e4 e7e5x", "e7e5x"},   {"e2e4 e7e5q", "e7e5q"},          {"e2e4 a7a5a7a5a7a5a7a5", "a7a5a7a5a7a5a7a"},
               {"e2e4  \t", nullptr}};
  Board board;
  for (const auto& c : lists) {
    SetupResult result = setUpPosition(*board.pos, START_FEN, c.moves);
    EXPECT_EQ(board.st().key, afterE4) << c.moves;
    EXPECT_EQ(result.error, c.named ? SETUP_ILLEGAL_MOVE : SETUP_OK) << c.moves;
    if (c.named) {
      EXPECT_EQ(result.moveNumber, 2) << c.moves;
      EXPECT_STREQ(result.moveText, c.named);
    }
  }
  // A promotion needs a known letter.
  const char* fen = "4k3/P7/8/8/8/8/8/4K3 w - - 0 1";
  EXPECT_EQ(Board(fen, "a7a8").pos->state->flags & FLAG_BLACK, 0);
  EXPECT_EQ(Board(fen, "a7a8x").pos->state->flags & FLAG_BLACK, 0);
  EXPECT_TRUE(Board(fen, "a7a8n").st().pieces[KNIGHT]);
}

TEST(FenSafety, LongReversibleListKeepsTheLatestTail) {
  std::string moves;
  for (int i = 0; i < 200; ++i) moves += "g1f3 g8f6 f3g1 f6g8 ";
  Board board(START_FEN, moves.c_str());
  Position& pos = *board.pos;
  EXPECT_LT(pos.state - pos.stateStack, MAX_GAME_TAIL);
  EXPECT_EQ(pos.state->key, startKey());
  EXPECT_TRUE(pos.state->flags & FLAG_REPETITION);
  EXPECT_EQ(setPosition(pos, START_FEN, moves.c_str()), 400);
  for (const PositionState* s = pos.stateStack; s <= pos.state; ++s) ASSERT_TRUE(isConsistent(*s));
}

// Random text in FEN and move shapes: whatever comes in, the board that
// results is sound and its moves can be generated and made.
TEST(FenSafety, RandomTextAlwaysGivesASoundBoard) {
  const std::string alphabet = "kqrbnpKQRBNP12345678/ -wbKQkqHAha0123456789abcdefgh";
  const std::string moveAlphabet = "abcdefgh12345678qrbn ";
  uint64_t seed = 0x9E3779B97F4A7C15ULL;
  auto next = [&seed] {
    seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
    return seed;
  };
  Board board;
  const uint64_t start = startKey();
  int varied = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    std::string fen, moves;
    if (trial % 2) {
      // Mutations of a real position keep the text close to valid FEN.
      fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq e3 0 1";
      fen[next() % fen.size()] = alphabet[next() % alphabet.size()];
    } else {
      for (size_t n = next() % 160; n > 0; --n) fen += alphabet[next() % alphabet.size()];
    }
    for (size_t n = next() % 40; n > 0; --n) moves += moveAlphabet[next() % moveAlphabet.size()];
    setPosition(*board.pos, fen.c_str(), moves.c_str());
    ASSERT_TRUE(isConsistent(board.st())) << fen << " | " << moves;
    ASSERT_EQ(isInCheck(board.st()), kingInCheck(board.st())) << fen;
    varied += board.st().key != start;
    for (Move m : legalMoves(board.st())) {
      makeMove(*board.pos, m, nullptr);
      ASSERT_TRUE(isConsistent(board.st())) << fen << " " << uciText(*(board.pos->state - 1), m);
      takeBack(*board.pos);
    }
  }
  EXPECT_GT(varied, 300);
}

}  // namespace
