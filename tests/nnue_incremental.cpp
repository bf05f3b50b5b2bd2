// Accumulators kept up to date move by move along random games, with the
// search's habits (null moves, plies left unevaluated, taking moves back),
// must always equal a full refresh of the position reached.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "driver/options.h"
#include "eval/accumulator.h"
#include "eval/network.h"
#include "eval/nnue.h"

namespace {

constexpr int GAME_PLIES = 160;

struct Coverage {
  int captures = 0, enPassant = 0, promotions = 0, kingSideCastles = 0, queenSideCastles = 0, nullMoves = 0,
      kingMoves = 0, takeBacks = 0, checks = 0;
};

class IncrementalGames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setDefaultOptions();
    initAttacks();
    initNetwork();
  }

  void expectMatchesRefresh(int ply, const char* fen) {
    alignas(64) int16_t fresh[L1_SIZE];
    refreshAccumulator(*pos.state, 0, fresh);
    ASSERT_EQ(memcmp(fresh, records[ply].own, sizeof fresh), 0) << fen << " ply " << ply;
    refreshAccumulator(*pos.state, 1, fresh);
    ASSERT_EQ(memcmp(fresh, records[ply].other, sizeof fresh), 0) << fen << " ply " << ply;
    ++checks;
  }

  // Special moves are preferred so that every kind turns up in a short game.
  Move pickMove(ScoredMove* begin, ScoredMove* end) {
    std::vector<Move> special;
    for (ScoredMove* m = begin; m != end; ++m)
      if (m->move & (MOVE_CASTLE | MOVE_EN_PASSANT | MOVE_PROMOTION | MOVE_CAPTURE)) special.push_back(m->move);
    if (!special.empty() && rng() % 3 == 0) return special[rng() % special.size()];
    return begin[rng() % (end - begin)].move;
  }

  void tally(Move move) {
    if (move & MOVE_CAPTURE) ++coverage.captures;
    if (move & MOVE_EN_PASSANT) ++coverage.enPassant;
    if (move & MOVE_PROMOTION) ++coverage.promotions;
    if ((move & MOVE_CASTLE) && moveTo(move) == 6) ++coverage.kingSideCastles;
    if ((move & MOVE_CASTLE) && moveTo(move) == 2) ++coverage.queenSideCastles;
    if (movePiece(move) == KING && !(move & MOVE_CASTLE)) ++coverage.kingMoves;
  }

  void playGame(const char* fen) {
    setPosition(pos, fen, nullptr);
    memset(records, 0, sizeof records);
    int ply = 0;
    evaluate(*pos.state, records, 0, false);
    expectMatchesRefresh(0, fen);
    for (int step = 0; step < GAME_PLIES && ply < MAX_PLY - 1; ++step) {
      // Take a few moves back now and then, as a search unwinds.
      if (ply > 4 && rng() % 10 == 0) {
        int back = 1 + int(rng() % 4);
        for (int i = 0; i < back; ++i) takeBack(pos);
        ply -= back;
        ++coverage.takeBacks;
      }
      ScoredMove moves[MAX_GENERATED];
      ScoredMove* end = generateLegalMoves(*pos.state, moves);
      if (end == moves) break;
      if (!isInCheck(*pos.state) && rng() % 12 == 0) {
        makeNullMove(pos);
        records[ply].delta = NnueDelta{};
        ++coverage.nullMoves;
      } else {
        Move move = pickMove(moves, end);
        tally(move);
        makeMove(pos, move, &records[ply].delta);
      }
      records[++ply].computed = 0;
      // Plies are evaluated only some of the time, so chains of several
      // deltas are applied at once.
      if (rng() % 3 != 0) {
        evaluate(*pos.state, records, ply, false);
        expectMatchesRefresh(ply, fen);
        if (HasFatalFailure()) return;
      }
    }
  }

  std::mt19937 rng{4242};
  Position pos;
  NnueRecord records[MAX_PLY];
  Coverage coverage;
  int checks = 0;
};

}  // namespace

TEST_F(IncrementalGames, StandardChessMatchesRefresh) {
  const char* fens[] = {
      START_FEN,
      "r3k2r/pppq1ppp/2npbn2/2b1p3/2B1P3/2NPBN2/PPPQ1PPP/R3K2R w KQkq - 0 1",
      "r3k2r/1pp2ppp/p1n5/3pP3/1b1P4/2N5/PP3PPP/R3K2R b KQkq - 0 1",
      "4k3/PPP5/8/3pP3/8/8/5ppp/4K3 w - d6 0 1",
      "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
  };
  for (int round = 0; round < 6; ++round)
    for (const char* fen : fens) {
      playGame(fen);
      if (HasFatalFailure()) return;
    }
  EXPECT_GT(coverage.captures, 0);
  EXPECT_GT(coverage.enPassant, 0);
  EXPECT_GT(coverage.promotions, 0);
  EXPECT_GT(coverage.kingSideCastles, 0);
  EXPECT_GT(coverage.queenSideCastles, 0);
  EXPECT_GT(coverage.nullMoves, 0);
  EXPECT_GT(coverage.kingMoves, 0);
  EXPECT_GT(coverage.takeBacks, 0);
}

TEST_F(IncrementalGames, Chess960MatchesRefresh) {
  const char* fens[] = {
      // King b1 between rooks a1 and h1; castling can leave the king in place.
      "rk4r1/pppqpppp/2nbbn2/8/8/2NBBN2/PPPQPPPP/RK4R1 w GAga - 0 1",
      // King f1, rooks a1 and g1: the king lands on the rook's square.
      "r4kr1/pppbqppp/2np1n2/4p3/4P3/2NP1N2/PPPBQPPP/R4KR1 w GAga - 0 1",
      "1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBgb - 0 1",
      // King g1 beside rook h1: king-side castling moves only the rook.
      "r5kr/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAha - 0 1",
  };
  for (int round = 0; round < 8; ++round)
    for (const char* fen : fens) {
      playGame(fen);
      if (HasFatalFailure()) return;
    }
  EXPECT_GT(coverage.kingSideCastles, 0);
  EXPECT_GT(coverage.queenSideCastles, 0);
  EXPECT_GT(coverage.captures, 0);
}
