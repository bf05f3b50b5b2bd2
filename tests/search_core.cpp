// The search called directly: root move list, reduction table, scores of
// mates, draws and depth limits, determinism, what the search call reports
// and returns, stopping from another thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board/fen.h"
#include "board/movegen.h"
#include "board/movetext.h"
#include "driver/bench.h"
#include "driver/uci.h"
#include "eval/nnue.h"
#include "search/memory.h"
#include "search/movepick.h"
#include "search/nodeutil.h"
#include "search/reduction.h"
#include "search/rootsearch.h"
#include "search/search.h"
#include "search/shared.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace {

// One reported line, kept small.
struct Reported {
  int line, depth, score;
  int64_t nodes;
  std::string firstMove;
};

struct Found {
  SearchResult result;
  std::string best;  // UCI text of the chosen move
  std::vector<Reported> reports;
};

void collect(void* context, const SearchReport& r) {
  char uci[8];
  moveToUci(*r.root->state, r.pv[0], false, uci);
  static_cast<std::vector<Reported>*>(context)->push_back({r.line, r.depth, r.score, r.nodes, uci});
}

class SearchCore : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initEngine(); }

  void SetUp() override { allocateSearchMemory(16, 1, false); }

  SearchThread& main() { return searchThreads[0]; }

  // Thread 0 at fen with its root list, for the tests of the root list and
  // of direct searchNode calls.
  void setUpRoot(const char* fen, const char* moves = nullptr) {
    setPosition(main().position, fen, moves);
    main().rootEnd = generateRootMoves(main(), main().rootMoves);
  }

  // One search call from fen, with the lines it reported.
  Found search(const char* fen, const SearchLimits& limits, const SearchConfig& config = SearchConfig()) {
    setPosition(*root_, fen, nullptr);
    Found found;
    const SearchListener listener{collect, &found.reports};
    found.result = searchPosition(*root_, limits, config, &listener);
    char uci[8];
    moveToUci(*root_->state, found.result.best, false, uci);
    found.best = uci;
    return found;
  }
  Found searchToDepth(const char* fen, int depth, const SearchConfig& config = SearchConfig()) {
    SearchLimits limits;
    limits.depth = depth;
    return search(fen, limits, config);
  }

  // Prepares thread 0 for a direct call of searchNode or quiescence at the
  // current position.
  void prepareDirectSearch(const SearchConfig& config = SearchConfig()) {
    const SearchLimits limits{};
    armSearch(limits, config);
    startTime = nowMs();
    computeDeadlines(limits, config, int32_t(main().rootEnd - main().rootMoves));
    multiPvCount = 1;
    for (NnueRecord& r : main().nnue) r.computed = 0;
    for (int32_t& e : main().evalStack) e = EVAL_NONE;
  }

  std::unique_ptr<Position> root_ = std::make_unique<Position>();
};

std::vector<std::string> uciTexts(const PositionState& st, const ScoredMove* begin, const ScoredMove* end) {
  std::vector<std::string> texts;
  char uci[8];
  for (const ScoredMove* m = begin; m != end; ++m) {
    moveToUci(st, m->move, false, uci);
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

TEST_F(SearchCore, FindsMatesForEitherColour) {
  Found white = searchToDepth("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3);
  EXPECT_EQ(white.best, "a1a8");
  EXPECT_EQ(white.result.score, SCORE_MATE - 1);
  EXPECT_EQ(white.reports.back().score, SCORE_MATE - 1);

  Found black = searchToDepth("r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", 3);
  EXPECT_EQ(black.best, "a8a1");
  EXPECT_EQ(black.result.score, SCORE_MATE - 1);

  // Mate in two: 1. Kf7 (or Kg6) and the rook mates on the next move.
  Found two = searchToDepth("7k/8/5K2/8/8/8/8/R7 w - - 0 1", 5);
  EXPECT_EQ(two.result.score, SCORE_MATE - 3);
  EXPECT_GE(two.result.pvLength, 2);
}

TEST_F(SearchCore, ScoresDrawsByMaterialFiftyMovesAndStalemate) {
  SearchConfig config;
  config.drawScore = 20;
  setUpRoot("8/8/8/4k3/8/8/8/2B1K3 w - - 0 1");
  prepareDirectSearch(config);
  EXPECT_EQ(searchNode(main(), NODE_PV, 0, 3, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), 20);
  EXPECT_EQ(searchNode(main(), NODE_PV, 1, 3, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), -20);
  EXPECT_EQ(quiescence(main(), NODE_ALL, 3, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, 0), -20);

  // Fifty-move rule: a draw, unless the side to move is mated.
  setUpRoot("6k1/5ppp/8/8/8/8/8/R5K1 w - - 100 80");
  prepareDirectSearch(config);
  EXPECT_EQ(searchNode(main(), NODE_PV, 2, 4, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), 20);
  setUpRoot("R5k1/5ppp/8/8/8/8/8/6K1 b - - 100 80");
  prepareDirectSearch(config);
  EXPECT_EQ(searchNode(main(), NODE_PV, 2, 4, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), 2 - SCORE_MATE);
  EXPECT_EQ(quiescence(main(), NODE_PV, 2, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, 0), 2 - SCORE_MATE);

  // Stalemate inside the tree, and king with two knights is still played.
  setUpRoot("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  prepareDirectSearch(config);
  EXPECT_EQ(searchNode(main(), NODE_PV, 3, 2, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), -20);
  setUpRoot("8/8/8/4k3/8/8/8/1NN1K3 w - - 0 1");
  prepareDirectSearch(config);
  int64_t before = main().nodes.load();
  searchNode(main(), NODE_PV, 0, 2, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0);
  EXPECT_GT(main().nodes.load() - before, 1);
}

TEST_F(SearchCore, DeepestPlyReturnsTheStaticEvaluation) {
  setUpRoot("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  prepareDirectSearch();
  const int ply = SEARCH_PLY_LIMIT;
  int expected = evaluate(*main().position.state, main().nnue, ply, false);
  EXPECT_EQ(searchNode(main(), NODE_PV, ply, 20, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0), expected);
  EXPECT_EQ(quiescence(main(), NODE_PV, ply, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, 0), expected);
  // One ply above the limit the node still searches its moves.
  int64_t before = main().nodes.load();
  searchNode(main(), NODE_PV, ply - 1, 1, -SCORE_INFINITE, SCORE_INFINITE, 0, 0, 0);
  EXPECT_GT(main().nodes.load() - before, 2);
}

TEST_F(SearchCore, SameSearchFromEmptyTablesCountsTheSameNodes) {
  Found first = searchToDepth(benchPositions[0].fen, 7);
  SetUp();
  Found second = searchToDepth(benchPositions[0].fen, 7);
  EXPECT_EQ(first.result.nodes, second.result.nodes);
  EXPECT_EQ(first.best, second.best);
  EXPECT_GT(first.result.nodes, 1000);
}

// Each finished depth is reported once per line, worst line first, with the
// node count growing; the result is the last report's best line.
TEST_F(SearchCore, ReportsEveryDepthAndReturnsItsBestLine) {
  struct Case {
    int multiPv, depth, lines;
  };
  for (Case c : {Case{1, 5, 1}, Case{3, 3, 3}, Case{0, 2, 1}, Case{300, 1, 20}}) {
    SetUp();
    SearchConfig config;
    config.multiPv = c.multiPv;
    Found f = searchToDepth(START_FEN, c.depth, config);
    ASSERT_EQ(f.reports.size(), size_t(c.depth * c.lines)) << c.multiPv;
    for (size_t i = 0; i < f.reports.size(); ++i) {
      EXPECT_EQ(f.reports[i].depth, 1 + int(i) / c.lines);
      EXPECT_EQ(f.reports[i].line, c.lines - 1 - int(i) % c.lines);
      if (i > 0) {
        EXPECT_GE(f.reports[i].nodes, f.reports[i - 1].nodes);
      }
    }
    EXPECT_EQ(f.result.lines, c.lines);
    EXPECT_EQ(f.result.depth, c.depth);
    EXPECT_EQ(f.result.bound, BOUND_EXACT);
    EXPECT_EQ(f.best, f.reports.back().firstMove);
    EXPECT_EQ(f.result.score, f.reports.back().score);
    EXPECT_EQ(f.result.pv[0], f.result.best);
    EXPECT_GE(f.result.nodes, f.reports.back().nodes);
    if (c.lines == 3) {
      const Reported* last = &f.reports[f.reports.size() - 3];
      EXPECT_LE(last[0].score, last[1].score);
      EXPECT_LE(last[1].score, last[2].score);
    }
  }
}

TEST_F(SearchCore, SearchMovesRestrictTheRoot) {
  SearchLimits limits;
  limits.depth = 4;
  setPosition(*root_, START_FEN, nullptr);
  limits.searchMoves[0] = uciToMove(*root_->state, "a2a3");
  limits.searchMoves[1] = uciToMove(*root_->state, "h2h3");
  limits.searchMoveCount = 2;
  Found f = search(START_FEN, limits);
  EXPECT_TRUE(f.best == "a2a3" || f.best == "h2h3") << f.best;
  for (const Reported& r : f.reports) EXPECT_TRUE(r.firstMove == "a2a3" || r.firstMove == "h2h3");
  // A root without moves returns no move at once.
  Found mated = search("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", SearchLimits());
  EXPECT_EQ(mated.result.best, MOVE_NONE);
  EXPECT_TRUE(mated.reports.empty());
}

// A controller arms the search on its own thread and runs it on another;
// "ponderhit" and "stop" from the first reach the second.
TEST_F(SearchCore, PonderAndInfiniteSearchesWaitForTheirSignal) {
  for (bool ponder : {true, false}) {
    SetUp();
    SearchLimits limits;
    limits.depth = 2;
    (ponder ? limits.ponder : limits.infinite) = true;
    setPosition(*root_, START_FEN, nullptr);
    armSearch(limits, SearchConfig());
    std::atomic<bool> done{false};
    SearchResult result;
    std::thread searcher([&] {
      result = searchArmed(*root_, limits, SearchConfig(), nullptr);
      done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done.load()) << "answered before its signal";
    ponder ? ponderHit() : requestStop();
    searcher.join();
    EXPECT_EQ(result.depth, 2);
    EXPECT_NE(result.best, MOVE_NONE);
  }
}

TEST_F(SearchCore, TwoThreadsSearchTheSameRootAndAgreeOnALegalMove) {
  allocateSearchMemory(16, 2, false);
  ASSERT_EQ(threadCount, 2);
  // A depth-limited search can end before a loaded machine ever schedules the
  // helper, so search until stopped and stop only once the helper has worked
  // and six depths are complete.
  SearchLimits limits;
  limits.infinite = true;
  setPosition(*root_, benchPositions[3].fen, nullptr);
  armSearch(limits, SearchConfig());
  std::vector<Reported> reports;
  const SearchListener listener{collect, &reports};
  SearchResult result;
  std::thread searcher([&] { result = searchArmed(*root_, limits, SearchConfig(), &listener); });
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
  searcher.join();
  EXPECT_GT(searchThreads[1].nodes.load(), 0);
  ScoredMove legal[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*root_->state, legal);
  EXPECT_NE(std::find_if(legal, end, [&](const ScoredMove& m) { return m.move == result.best; }), end);
  // Each completed depth is reported once, by whichever thread got there first.
  for (int depth = 1; depth <= 5; ++depth)
    EXPECT_EQ(std::count_if(reports.begin(), reports.end(), [&](const Reported& r) { return r.depth == depth; }), 1)
        << depth;
}

TEST_F(SearchCore, NodeLimitStopsTheSearch) {
  SearchLimits limits;
  limits.nodes = 20000;
  Found f = search(START_FEN, limits);
  EXPECT_NE(f.result.best, MOVE_NONE);
  EXPECT_LT(f.result.nodes, 20000 + 20000);
  EXPECT_LT(f.result.depth, 30);
}

}  // namespace
