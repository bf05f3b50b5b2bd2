// Move budgets, deadlines, the node-entry clock poll, the Strength pause and
// the draw score.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <memory>

#include "search/draw.h"
#include "search/limits.h"
#include "search/timeman.h"

namespace {

constexpr int64_t START = 5000000;

class Clock : public ::testing::Test {
 protected:
  void SetUp() override {
    limits = SearchLimits();
    config = SearchConfig();
    armSearch();
    startTime = START;
  }
  void armSearch() {
    searchSignals.mode.store(MODE_NORMAL);
    searchSignals.stop.store(0);
    activeConfig = config;
  }
  // Deadlines as offsets from the start.
  void deadlines(int64_t timeMs, int64_t incMs, int32_t movesToGo, int32_t gameMoves, int32_t rootMoves) {
    limits.timeMs = timeMs;
    limits.incMs = incMs;
    limits.movesToGo = movesToGo;
    limits.gameMoves = gameMoves;
    computeDeadlines(limits, config, rootMoves);
    soft = softDeadline - START;
    hard = hardDeadline - START;
  }
  SearchLimits limits;
  SearchConfig config;
  int64_t soft = -1;
  int64_t hard = -1;
};

TEST_F(Clock, SuddenDeathSpreadsTheClockOverTheGame) {
  deadlines(60000, 0, 0, 0, 30);
  EXPECT_EQ(soft, 875);
  EXPECT_EQ(hard, 4000);
  EXPECT_EQ(nodeCheckInterval, 10000);
  // Past move 60 the divisor stops shrinking.
  deadlines(60000, 0, 0, 70, 30);
  EXPECT_EQ(soft, 1750);
  EXPECT_EQ(hard, 8000);
  // With an increment the game is expected to last longer, plus the increment.
  BudgetInputs withInc{60000, 1000, 0, 20, false, 100, 30};
  EXPECT_EQ(timeBudget(withInc), 4 * 60000 / 80 + 1000);
  withInc.gameMoves = 65;
  EXPECT_EQ(timeBudget(withInc), 4 * 60000 / 40 + 1000);
}

TEST_F(Clock, MovesToGoAndMovetime) {
  deadlines(60000, 1000, 20, 0, 30);
  EXPECT_EQ(hard, 12000);
  EXPECT_EQ(soft, 6000 * 28 / 64);
  // "movetime 1000" arrives as a 1000 ms clock and increment, one move to go.
  deadlines(1000, 1000, 1, 0, 30);
  EXPECT_EQ(soft, 196);
  EXPECT_EQ(hard, 900);
  EXPECT_EQ(nodeCheckInterval, 4510);
  EXPECT_EQ(nextNodeCheck, 4510);
}

TEST_F(Clock, SingleReplyAndPonderAdjustTheBudget) {
  deadlines(60000, 0, 0, 0, 1);
  EXPECT_EQ(hard, 400);
  EXPECT_EQ(soft, 87);
  config.ponderEnabled = true;
  deadlines(60000, 0, 0, 0, 30);
  EXPECT_EQ(hard, 4400);
}

TEST_F(Clock, HardDeadlineNeverPassesTheRemainingTime) {
  for (int64_t timeMs : {50, 300, 1000, 7000, 60000, 600000})
    for (int32_t mtg : {0, 1, 2, 40})
      for (int64_t inc : {0, 500, 5000}) {
        deadlines(timeMs, inc, mtg, 10, 20);
        EXPECT_GE(soft, 0);
        EXPECT_LE(soft, hard);
        EXPECT_LE(hard, std::max<int64_t>(timeMs - config.moveOverhead, 0)) << timeMs << " " << mtg << " " << inc;
      }
}

TEST_F(Clock, EmptyOrNegativeClocksGiveAZeroBudget) {
  // Less time than the overhead.
  deadlines(80, 0, 0, 0, 30);
  EXPECT_EQ(soft, 0);
  EXPECT_EQ(hard, 0);
  EXPECT_EQ(nodeCheckInterval, 10);
  // A flag already fallen: no negative budget, no deadline before the start.
  deadlines(-500, -100, 0, 0, 30);
  EXPECT_EQ(soft, 0);
  EXPECT_EQ(hard, 0);
  deadlines(-500, 2000, 5, 0, 30);
  EXPECT_EQ(hard, 0);
  // Nonsense values that would divide by zero or overflow stay harmless.
  EXPECT_EQ(timeBudget({60000, 0, -4, 0, false, 100, 30}), 2000);
  EXPECT_GT(timeBudget({INT64_MAX, INT64_MAX, 0, 0, true, 0, 30}), 0);
  EXPECT_EQ(timeBudget({60000, 0, 0, 0, false, -1000000, 30}), 2000);
}

TEST_F(Clock, WithoutAClockOnlyOtherLimitsEndTheSearch) {
  deadlines(NO_CLOCK_MS, 0, 0, 0, 30);
  EXPECT_GT(soft, int64_t(10000000000));
  EXPECT_EQ(nodeCheckInterval, 10000);
  limits.nodes = 300;
  deadlines(NO_CLOCK_MS, 0, 0, 0, 30);
  EXPECT_EQ(nodeCheckInterval, 300);
  // A weakened engine reads the clock at every node.
  config.strength = 40;
  deadlines(NO_CLOCK_MS, 0, 0, 0, 30);
  EXPECT_EQ(nodeCheckInterval, 1);
  // A node limit of 0 still leaves a positive interval.
  config.strength = 100;
  limits.nodes = 0;
  deadlines(NO_CLOCK_MS, 0, 0, 0, 30);
  EXPECT_EQ(nodeCheckInterval, 1);
}

// Two thread records standing in for the search memory block.
class Poll : public Clock {
 protected:
  void SetUp() override {
    Clock::SetUp();
    threads_.reset(new SearchThread[2]);
    savedThreads_ = searchThreads;
    searchThreads = threads_.get();
  }
  void TearDown() override { searchThreads = savedThreads_; }

  // Runs pollClock on thread t for up to n nodes; returns the nodes it
  // counted before the abort jump (n if none came).
  int64_t pollNodes(SearchThread& t, int64_t n) {
    int64_t before = t.nodes.load();
    if (setjmp(t.searchAbortJump) == 0)
      for (int64_t i = 0; i < n; ++i) pollClock(t);
    return t.nodes.load() - before;
  }
  std::unique_ptr<SearchThread[]> threads_;
  SearchThread* savedThreads_ = nullptr;
};

TEST_F(Poll, NodeLimitIsCheckedEveryIntervalInThreadZero) {
  limits.nodes = 1000;
  deadlines(NO_CLOCK_MS, 0, 0, 0, 30);
  ASSERT_EQ(nodeCheckInterval, 1000);
  SearchThread& main = threads_[0];
  // Nodes 0..999 are counted; the poll at node count 1000 stops the search.
  EXPECT_EQ(pollNodes(main, 5000), 1000);
  EXPECT_EQ(main.nodes.load(), 1000);
  EXPECT_TRUE(stopRequested());
  EXPECT_EQ(nextNodeCheck, 2000);
}

TEST_F(Poll, HelpersOnlyObeyTheStopFlag) {
  limits.nodes = 10;
  deadlines(NO_CLOCK_MS, 0, 0, 0, 30);
  SearchThread& helper = threads_[1];
  EXPECT_EQ(pollNodes(helper, 100), 100);
  EXPECT_FALSE(stopRequested());
  EXPECT_EQ(helper.nodes.load(), 100);
  requestStop();
  EXPECT_EQ(pollNodes(helper, 100), 0);
  EXPECT_EQ(helper.nodes.load(), 100);
}

TEST_F(Poll, PonderingIgnoresDeadlinesUntilPonderhit) {
  deadlines(80, 0, 0, 0, 30);  // budget 0: the hard deadline is the start
  startTime = nowMs() - 1000;
  computeDeadlines(limits, config, 30);
  searchSignals.mode.store(MODE_PONDER);
  SearchThread& main = threads_[0];
  EXPECT_EQ(pollNodes(main, 50), 50);
  EXPECT_FALSE(stopRequested());
  searchSignals.mode.store(MODE_NORMAL);
  int64_t polled = pollNodes(main, 50);
  EXPECT_LT(polled, 50);
  EXPECT_TRUE(stopRequested());
}

TEST_F(Clock, SoftDeadlineOnlyInNormalSearches) {
  softDeadline = nowMs() - 1;
  EXPECT_TRUE(softDeadlinePassed());
  searchSignals.mode.store(MODE_INFINITE);
  EXPECT_FALSE(softDeadlinePassed());
  softDeadline = nowMs() + 100000;
  searchSignals.mode.store(MODE_NORMAL);
  EXPECT_FALSE(softDeadlinePassed());
}

TEST_F(Clock, StrengthPauseEndsAtTheSoftDeadlineOrOnStop) {
  activeConfig.strength = 1;  // 1188 ms per ply
  softDeadline = nowMs() + 30;
  int64_t before = nowMs();
  strengthWait(10);
  int64_t waited = nowMs() - before;
  EXPECT_GE(waited, 29);
  EXPECT_LT(waited, 5000);
  softDeadline = nowMs() + 100000;
  requestStop();
  before = nowMs();
  strengthWait(10);
  EXPECT_LT(nowMs() - before, 1000);
  EXPECT_EQ(effectiveStrength(activeConfig), 1);
  config.strength = -7;
  EXPECT_EQ(effectiveStrength(config), 1);
  config.strength = 500;
  EXPECT_EQ(effectiveStrength(config), 100);
}

TEST(DrawScore, AlternatesWithThePly) {
  activeConfig = SearchConfig();
  EXPECT_EQ(drawScoreAt(0), 0);
  EXPECT_EQ(drawScoreAt(1), 0);
  activeConfig.drawScore = 50;
  EXPECT_EQ(drawScoreAt(1), -50);
  EXPECT_EQ(drawScoreAt(2), 50);
  activeConfig.drawScore = -20;
  EXPECT_EQ(drawScoreAt(3), 20);
  // Values beyond the option's range are held at +-100.
  activeConfig.drawScore = 40000;
  EXPECT_EQ(drawScoreAt(4), 100);
  EXPECT_EQ(drawScoreAt(5), -100);
  activeConfig = SearchConfig();
}

}  // namespace
