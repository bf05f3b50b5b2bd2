// The hand-made default network: it computes its material and piece-square
// evaluation, is colour-blind, and scores positions the way a player would.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "driver/options.h"
#include "eval/bootstrap.h"
#include "eval/network.h"
#include "eval/nnue.h"
#include "support/network_images.h"

namespace {

// The same position with colours exchanged and the board turned over.
std::string colourMirror(const std::string& fen) {
  std::string fields[6];
  size_t start = 0;
  for (int i = 0; i < 6; ++i) {
    size_t space = fen.find(' ', start);
    fields[i] = fen.substr(start, space - start);
    if (space == std::string::npos) break;
    start = space + 1;
  }
  std::string ranks[8], placement;
  for (int r = 0, begin = 0; r < 8; ++r) {
    size_t slash = fields[0].find('/', begin);
    ranks[r] = fields[0].substr(begin, slash - begin);
    begin = int(slash) + 1;
  }
  for (int r = 7; r >= 0; --r) placement += ranks[r] + (r ? "/" : "");
  auto swapCase = [](std::string text) {
    for (char& c : text) c = char(isupper(c) ? tolower(c) : toupper(c));
    return text;
  };
  std::string ep = fields[3] == "-" ? "-" : fields[3].substr(0, 1) + (fields[3][1] == '3' ? "6" : "3");
  return swapCase(placement) + (fields[1] == "w" ? " b " : " w ") + swapCase(fields[2]) + " " + ep + " 0 1";
}

// What the network computes for a score D: 2 cp steps, limited range.
int networkForm(int intended) {
  int half = intended >= 0 ? intended / 2 : -((-intended + 1) / 2);
  return 2 * std::clamp(half, -BOOTSTRAP_SCORE_LIMIT / 2, BOOTSTRAP_SCORE_LIMIT / 2);
}

class BootstrapNetwork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setDefaultOptions();
    initAttacks();
    image = blankImage().release();
    buildBootstrapNetwork(image);
    useNetwork(image);
  }
  static void TearDownTestSuite() { free(image); }

  int evaluateFen(const std::string& fen, bool chess960 = false) {
    setPosition(pos, fen.c_str(), nullptr);
    // A set-up the reader refused would quietly test another position.
    int pieces = 0;
    for (char c : fen.substr(0, fen.find(' '))) pieces += isalpha(c) ? 1 : 0;
    EXPECT_EQ(popcount(pos.state->pieces[ALL_PIECES]), pieces) << fen;
    NnueRecord record[1] = {};
    return evaluate(*pos.state, record, 0, chess960);
  }
  int intentOfFen(const std::string& fen) {
    setPosition(pos, fen.c_str(), nullptr);
    return bootstrapEvaluation(*pos.state);
  }

  static uint8_t* image;
  Position pos;
};
uint8_t* BootstrapNetwork::image = nullptr;

const char* const TEST_FENS[] = {
    START_FEN,
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "r2q1rk1/pp2bppp/2n1pn2/3p4/3P1B2/2PB1N2/PP1N1PPP/R2QK2R b KQ - 3 9",
    "2r3k1/5ppp/p3p3/1p1n4/3P4/P3PN2/1P3PPP/2R3K1 w - - 0 25",
    "8/5k2/8/3K4/8/8/8/7R b - - 0 60",
    "8/8/4k3/8/2P5/4K3/8/8 w - - 0 50",
    "6k1/5ppp/8/8/8/8/Q4PPP/6K1 w - - 0 40",
    "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
    "4k3/8/8/8/8/8/8/4K3 w - - 0 1",
    "QQQQQQQ1/8/8/7k/8/8/8/RNBQKBNR b - - 0 1",
};

}  // namespace

TEST_F(BootstrapNetwork, ImagePassesTheHeaderCheck) { EXPECT_EQ(wrongDecimalBitsLayer(image), 0); }

TEST_F(BootstrapNetwork, ComputesItsEvaluationOnSetPositions) {
  int saturated = 0;
  for (const char* fen : TEST_FENS) {
    int intended = intentOfFen(fen);
    int score = evaluateFen(fen);
    EXPECT_EQ(score, networkForm(intended)) << fen;
    if (std::abs(intended) < BOOTSTRAP_SCORE_LIMIT) {
      EXPECT_LE(std::abs(score - intended), 1) << fen;
    } else {
      ++saturated;
    }
  }
  EXPECT_EQ(saturated, 1);
}

TEST_F(BootstrapNetwork, ComputesItsEvaluationAlongRandomGames) {
  std::mt19937 rng(99);
  NnueRecord records[MAX_PLY] = {};
  int positions = 0;
  for (int game = 0; game < 12; ++game) {
    setPosition(pos, START_FEN, nullptr);
    records[0].computed = 0;
    for (int ply = 0; ply < 200; ++ply) {
      int score = evaluate(*pos.state, records, ply, false);
      ASSERT_EQ(score, networkForm(bootstrapEvaluation(*pos.state))) << "game " << game << " ply " << ply;
      ++positions;
      ScoredMove moves[MAX_GENERATED];
      ScoredMove* end = generateLegalMoves(*pos.state, moves);
      if (end == moves) break;
      makeMove(pos, moves[rng() % (end - moves)].move, &records[ply].delta);
      records[ply + 1].computed = 0;
    }
  }
  EXPECT_GT(positions, 1000);
}

TEST_F(BootstrapNetwork, ColourMirroredPositionsScoreTheSame) {
  for (const char* fen : TEST_FENS) {
    std::string twin = colourMirror(fen);
    EXPECT_EQ(evaluateFen(fen), evaluateFen(twin)) << fen << " / " << twin;
  }
}

TEST_F(BootstrapNetwork, ScoresLikeAPlayer) {
  EXPECT_EQ(evaluateFen(START_FEN), 0);
  EXPECT_EQ(evaluateFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1"), 0);
  // A queen up is worth about a queen, from whichever side is to move.
  int up = evaluateFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  EXPECT_NEAR(up, 950, 60);
  EXPECT_NEAR(evaluateFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"), -up, 30);
  // A knight in the centre beats one on the rim; a castled king beats one
  // stranded in the centre with its rights gone.
  EXPECT_GT(evaluateFen("4k3/8/8/8/3N4/8/8/4K3 w - - 0 1"), evaluateFen("4k3/8/8/8/N7/8/8/4K3 w - - 0 1"));
  EXPECT_GT(evaluateFen("rnbqkbnr/pppppppp/8/8/8/5N2/PPPPBPPP/RNBQ1RK1 w kq - 0 1"),
            evaluateFen("rnbqkbnr/pppppppp/8/8/8/5N2/PPPPBPPP/RNBQ1K1R w kq - 0 1"));
  // With the pieces gone the king belongs in the centre.
  EXPECT_GT(evaluateFen("8/8/4k3/8/8/3K4/3P4/8 w - - 0 1"), evaluateFen("8/8/4k3/8/8/8/3P4/K7 w - - 0 1"));
  // A bare king is driven to the edge.
  EXPECT_GT(evaluateFen("7k/8/8/8/8/8/8/R3K3 w - - 0 1"), evaluateFen("8/8/8/3k4/8/8/8/R3K3 w - - 0 1"));
}

TEST_F(BootstrapNetwork, Chess960CornerBishopCorrection) {
  const std::string fen = "bnrkrqnb/pppppppp/8/8/8/1P6/P1PPPPPP/BNRKRQNB w ECec - 0 1";
  int plain = evaluateFen(fen);
  // White's b-pawn has gone to b3 and freed the a1 bishop; the h1 bishop
  // behind g2 is shut in (-60), and so are both of black's (+60 each).
  EXPECT_EQ(evaluateFen(fen, true), plain + 60);
  // Every corner bishop shut in, white's a1 bishop doubly so with b3 taken.
  const std::string closed = "b1rkrqnb/pppppppp/8/8/8/1n6/PPPPPPPP/BNRKRQNB w ECec - 0 1";
  EXPECT_EQ(evaluateFen(closed, true), evaluateFen(closed) - 80 - 60 + 60 + 60);
}
