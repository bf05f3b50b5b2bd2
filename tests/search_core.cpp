// The search called directly: root move list, reduction table, scores of
// mates, draws and depth limits, determinism, the think thread's waiting
// rules and the shape of its output.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "driver/bench.h"
#include "driver/memory.h"
#include "driver/movetext.h"
#include "driver/options.h"
#include "driver/think.h"
#include "driver/timeman.h"
#include "driver/uci.h"
#include "eval/network.h"
#include "search/movepick.h"
#include "search/nodeutil.h"
#include "search/reduction.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

struct ThinkResult {
  std::string best;  // UCI text of the chosen move
  int score;
  int64_t nodes;
  std::string output;
};

class SearchCore : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setDefaultOptions();
    commandLock.init();
    initAttacks();
    initReductionTables();
    initNetwork();
  }

  void SetUp() override {
    setDefaultOptions();
    engineOptions.hashMb = 16;
    allocateSearchMemory();
  }

  SearchThread& main() { return searchThreads[0]; }

  void setUpRoot(const char* fen, const char* moves = nullptr) {
    int gameMoves = setPosition(main().position, fen, moves);
    main().rootEnd = generateRootMoves(main(), main().rootMoves);
    searchLimits.searchMode.store(MODE_NORMAL);
    searchLimits.timeMs = 1000000000000LL;
    searchLimits.incMs = 0;
    searchLimits.nodeLimit = INT64_MAX;
    searchLimits.movesToGo = 0;
    searchLimits.depthLimit = 127;
    searchLimits.gameMoves = gameMoves;
    searchLimits.stopFlag.store(0);
  }

  // Starts thinkThread from fen on a thread of its own, in the given mode;
  // done turns true when it returns. finishThinking waits for it.
  std::thread startThinking(const char* fen, int32_t mode, int depth, std::atomic<bool>& done) {
    setUpRoot(fen);
    searchLimits.depthLimit = depth;
    searchLimits.searchMode.store(mode);
    commandLock.acquire();
    testing::internal::CaptureStdout();
    return std::thread([&done] {
      thinkThread();
      done = true;
    });
  }

  // What the search of startThinking printed, once it has returned.
  static std::string finishThinking(std::thread& thinker) {
    thinker.join();
    return testing::internal::GetCapturedStdout();
  }

  ThinkResult think(const char* fen, int depth) {
    std::atomic<bool> done{false};
    std::thread thinker = startThinking(fen, MODE_NORMAL, depth, done);
    ThinkResult r;
    r.output = finishThinking(thinker);
    char uci[8];
    moveToUci(*main().position.state, main().rootMoves[0].move, uci);
    r.best = uci;
    r.score = main().rootScores[0];
    r.nodes = main().nodes.load();
    return r;
  }

  // Prepares thread 0 for a direct call of searchNode or quiescence at the
  // current position.
  void prepareDirectSearch() {
    startTime = nowMs();
    computeDeadlines(int32_t(main().rootEnd - main().rootMoves));
    multiPvCount = 1;
    for (NnueRecord& r : main().nnue) r.computed = 0;
    for (int32_t& e : main().evalStack) e = EVAL_NONE;
  }
};

std::vector<std::string> uciTexts(const PositionState& st, const ScoredMove* begin, const ScoredMove* end) {
  std::vector<std::string> texts;
  char uci[8];
  for (const ScoredMove* m = begin; m != end; ++m) {
    moveToUci(st, m->move, uci);
    texts.push_back(uci);
  }
  return texts;
}

TEST(ReductionTable, MatchesTheLogarithmicFormula) {
  initReductionTables();
  struct Sample {
    int depth, count, nonPv, pv;
  };
  for (Sample s : {Sample{3, 2, 13, 11}, Sample{5, 10, 66, 55}, Sample{10, 20, 124, 103}, Sample{20, 40, 198, 165},
                   Sample{127, 127, 422, 351}}) {
    EXPECT_EQ(reductionTable[REDUCTION_NON_PV][s.depth][s.count], s.nonPv) << s.depth << "/" << s.count;
    EXPECT_EQ(reductionTable[REDUCTION_PV][s.depth][s.count], s.pv) << s.depth << "/" << s.count;
  }
  for (int i = 0; i < REDUCTION_SIZE; ++i) {
    EXPECT_EQ(reductionTable[0][0][i], 0);
    EXPECT_EQ(reductionTable[1][i][0], 0);
    EXPECT_EQ(reductionTable[0][1][i], 0);  // ln 1 = 0: depth 1 is never reduced
  }
}

// Once late-move pruning starts, the picker drops the pruned quiet moves and
// the move count stops counting them; that is exact only because a losing
// capture at these depths loses one ply whatever its number.
TEST(ReductionTable, LosingMovesLoseOnePlyWhereQuietMovesArePruned) {
  initReductionTables();
  for (int table : {REDUCTION_NON_PV, REDUCTION_PV})
    for (int depth = 1; depth <= PRUNE_MAX_DEPTH; ++depth)
      for (int count = 0; count < REDUCTION_SIZE; ++count)
        ASSERT_EQ(lateMoveReduction(reductionTable[table][depth][count], true), 1) << depth << "/" << count;
}

TEST_F(SearchCore, RootListHoldsExactlyTheLegalMovesWithCheckFlags) {
  const char* fens[] = {
      START_FEN,
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "4k3/8/8/8/8/8/4q3/4K3 w - - 0 1",  // in check
      "1k6/1P6/8/8/8/8/8/4K2R b K - 0 1",
  };
  for (const char* fen : fens) {
    setUpRoot(fen);
    const PositionState& st = *main().position.state;
    ScoredMove legal[MAX_GENERATED];
    ScoredMove* legalEnd = generateLegalMoves(st, legal);
    std::vector<Move> expected, actual;
    for (ScoredMove* m = legal; m != legalEnd; ++m) expected.push_back(m->move);
    for (ScoredMove* m = main().rootMoves; m != main().rootEnd; ++m) actual.push_back(m->move);
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected) << fen;
  }
}

TEST_F(SearchCore, RootListOrdersWinningCapturesFirstAndLosingCapturesLast) {
  // Nc3xb5 wins the queen; Nc3xd5 and Qd2xd5 give a piece for the pawn that
  // e6 defends.
  setUpRoot("4k3/8/4p3/1q1p4/8/2N5/3Q4/4K3 w - - 0 1");
  const PositionState& st = *main().position.state;
  std::vector<std::string> order = uciTexts(st, main().rootMoves, main().rootEnd);
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order.front(), "c3b5");
  EXPECT_EQ(order[order.size() - 2], "c3d5");
  EXPECT_EQ(order.back(), "d2d5");
  for (ScoredMove* m = main().rootMoves; m + 1 < main().rootEnd; ++m)
    EXPECT_GE(m->key, m[1].key) << "root list sorted by key";
}

TEST_F(SearchCore, RootListPutsKillersAboveOtherQuietMoves) {
  setUpRoot(START_FEN);
  main().killers[0][0] = main().rootMoves[19].move & ~MOVE_CHECK;
  Move killer = main().killers[0][0];
  main().rootEnd = generateRootMoves(main(), main().rootMoves);
  EXPECT_EQ(main().rootMoves[0].move & ~MOVE_CHECK, killer);
  EXPECT_EQ(main().rootMoves[0].key, 163838);
}

TEST_F(SearchCore, RootListIsEmptyWhenMatedOrStalemated) {
  setUpRoot("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  EXPECT_EQ(main().rootEnd, main().rootMoves);
  setUpRoot("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  EXPECT_EQ(main().rootEnd, main().rootMoves);
}

TEST_F(SearchCore, FindsMatesForEitherColourAndReportsThemInMoves) {
  ThinkResult white = think("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3);
  EXPECT_EQ(white.best, "a1a8");
  EXPECT_EQ(white.score, SCORE_MATE - 1);
  EXPECT_NE(white.output.find("score mate 1 pv a1a8"), std::string::npos) << white.output;

  ThinkResult black = think("r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", 3);
  EXPECT_EQ(black.best, "a8a1");
  EXPECT_NE(black.output.find("score mate 1 pv a8a1"), std::string::npos) << black.output;

  // Mate in two: 1. Kf7 (or Kg6) and the rook mates on the next move.
  ThinkResult two = think("7k/8/5K2/8/8/8/8/R7 w - - 0 1", 5);
  EXPECT_EQ(two.score, SCORE_MATE - 3) << two.output;
  EXPECT_NE(two.output.find("score mate 2 "), std::string::npos);
}

TEST_F(SearchCore, ScoresDrawsByMaterialFiftyMovesAndStalemate) {
  engineOptions.drawScore = 20;
  setUpRoot("8/8/8/4k3/8/8/8/2B1K3 w - - 0 1");
  prepareDirectSearch();
  EXPECT_EQ(searchNode(main(), NODE_PV, 0, 3, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), 20);
  EXPECT_EQ(searchNode(main(), NODE_PV, 1, 3, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), -20);
  EXPECT_EQ(quiescence(main(), NODE_ALL, 3, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, 0), -20);

  // Fifty-move rule: a draw, unless the side to move is mated.
  setUpRoot("6k1/5ppp/8/8/8/8/8/R5K1 w - - 100 80");
  prepareDirectSearch();
  EXPECT_EQ(searchNode(main(), NODE_PV, 2, 4, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), 20);
  setUpRoot("R5k1/5ppp/8/8/8/8/8/6K1 b - - 100 80");
  prepareDirectSearch();
  EXPECT_EQ(searchNode(main(), NODE_PV, 2, 4, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), 2 - SCORE_MATE);
  EXPECT_EQ(quiescence(main(), NODE_PV, 2, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, 0), 2 - SCORE_MATE);

  // Stalemate inside the tree, and king with two knights is still played.
  setUpRoot("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  prepareDirectSearch();
  EXPECT_EQ(searchNode(main(), NODE_PV, 3, 2, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), -20);
  setUpRoot("8/8/8/4k3/8/8/8/1NN1K3 w - - 0 1");
  prepareDirectSearch();
  int64_t before = main().nodes.load();
  searchNode(main(), NODE_PV, 0, 2, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0);
  EXPECT_GT(main().nodes.load() - before, 1);
}

TEST_F(SearchCore, DeepestPlyReturnsTheStaticEvaluation) {
  setUpRoot("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  prepareDirectSearch();
  const int ply = SEARCH_PLY_LIMIT;
  int expected = evaluate(*main().position.state, main().nnue, ply);
  EXPECT_EQ(searchNode(main(), NODE_PV, ply, 20, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), expected);
  EXPECT_EQ(quiescence(main(), NODE_PV, ply, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, 0), expected);
  // One ply above the limit the node still searches its moves.
  int64_t before = main().nodes.load();
  searchNode(main(), NODE_PV, ply - 1, 1, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0);
  EXPECT_GT(main().nodes.load() - before, 2);
}

TEST_F(SearchCore, SameSearchFromEmptyTablesCountsTheSameNodes) {
  ThinkResult first = think(benchPositions[0].fen, 7);
  SetUp();
  ThinkResult second = think(benchPositions[0].fen, 7);
  EXPECT_EQ(first.nodes, second.nodes);
  EXPECT_EQ(first.best, second.best);
  EXPECT_GT(first.nodes, 1000);
}

TEST_F(SearchCore, InfoLinesHaveTheProtocolShape) {
  ThinkResult r = think(START_FEN, 5);
  std::regex info(
      "info multipv 1 depth [0-9]+ time [0-9]+ nodes [0-9]+ nps [0-9]+ tbhits 0 score (cp|mate) -?[0-9]+ pv "
      "([a-h][1-8][a-h][1-8][nbrq]? )+");
  std::regex best("bestmove [a-h][1-8][a-h][1-8][nbrq]?( ponder [a-h][1-8][a-h][1-8][nbrq]?)?");
  std::istringstream lines(r.output);
  std::string line;
  int infos = 0, depthSeen = 0, bests = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("info", 0) == 0) {
      EXPECT_TRUE(std::regex_match(line, info)) << line;
      ++infos;
      int depth = std::stoi(line.substr(line.find("depth ") + 6));
      EXPECT_GE(depth, depthSeen);
      depthSeen = depth;
    } else if (line.rfind("bestmove", 0) == 0) {
      EXPECT_TRUE(std::regex_match(line, best)) << line;
      ++bests;
    }
  }
  EXPECT_EQ(infos, 6);  // depths 1..5 and the final line
  EXPECT_EQ(depthSeen, 5);
  EXPECT_EQ(bests, 1);
}

TEST_F(SearchCore, MultiPvPrintsOneLinePerVariationAndNoFinalLine) {
  engineOptions.multiPv = 3;
  ThinkResult r = think(START_FEN, 3);
  std::regex order("(info multipv 3 [^\n]*\ninfo multipv 2 [^\n]*\ninfo multipv 1 [^\n]*\n){3}bestmove [^\n]*\n");
  EXPECT_TRUE(std::regex_match(r.output, order)) << r.output;
  EXPECT_GE(main().rootScores[0], main().rootScores[1]);
  EXPECT_GE(main().rootScores[1], main().rootScores[2]);

  SetUp();
  engineOptions.multiPv = 0;  // out of range: searched as one line
  ThinkResult one = think(START_FEN, 2);
  EXPECT_EQ(multiPvCount, 1);
  EXPECT_NE(one.output.find("info multipv 1 depth 2"), std::string::npos);
}

TEST_F(SearchCore, InfiniteSearchHoldsItsAnswerUntilStop) {
  std::atomic<bool> done{false};
  std::thread thinker = startThinking(START_FEN, MODE_INFINITE, 2, done);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(done.load()) << "answered before stop";
  requestStop();
  std::string output = finishThinking(thinker);
  EXPECT_NE(output.find("bestmove "), std::string::npos);
}

TEST_F(SearchCore, PonderSearchAnswersAfterPonderhit) {
  std::atomic<bool> done{false};
  std::thread thinker = startThinking(START_FEN, MODE_PONDER, 2, done);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(done.load());
  searchLimits.searchMode.store(MODE_NORMAL);
  std::string output = finishThinking(thinker);
  EXPECT_NE(output.find("bestmove "), std::string::npos);
}

TEST_F(SearchCore, TwoThreadsSearchTheSameRootAndAgreeOnALegalMove) {
  engineOptions.threads = 2;
  allocateSearchMemory();
  ASSERT_EQ(threadCount, 2);
  // A depth-limited search can end before a loaded machine ever schedules the
  // helper, so search until stopped and stop only once the helper has worked
  // and six depths are complete.
  std::atomic<bool> done{false};
  std::thread thinker = startThinking(benchPositions[3].fen, MODE_INFINITE, 127, done);
  auto depthDone = [] {
    completedDepthLock.lock();
    const int depth = completedDepth;
    completedDepthLock.unlock();
    return depth;
  };
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((searchThreads[1].nodes.load() == 0 || depthDone() < 6) && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  requestStop();
  std::string output = finishThinking(thinker);
  EXPECT_GT(searchThreads[1].nodes.load(), 0);
  EXPECT_NE(output.find("bestmove "), std::string::npos);
  // Each completed depth is reported once, by whichever thread got there
  // first; only the last one may repeat in the final line.
  for (int depth = 1; depth <= 5; ++depth) {
    std::string tag = "info multipv 1 depth " + std::to_string(depth) + " ";
    size_t first = output.find(tag);
    ASSERT_NE(first, std::string::npos) << depth;
    EXPECT_EQ(output.find(tag, first + 1), std::string::npos) << depth;
  }
}

TEST_F(SearchCore, NodeLimitStopsTheSearch) {
  setUpRoot(START_FEN);
  searchLimits.nodeLimit = 20000;
  commandLock.acquire();
  testing::internal::CaptureStdout();
  thinkThread();
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(output.find("bestmove "), std::string::npos);
  EXPECT_LT(main().nodes.load(), 20000 + 20000);
  EXPECT_LT(completedDepth, 30);
}

}  // namespace
