#include "search/timeman.h"

#include <algorithm>

#include "search/skill.h"


int64_t startTime = 0;
int64_t softDeadline = 0;
int64_t hardDeadline = 0;
int64_t nodeLimit = NO_NODE_LIMIT;
int32_t depthLimit = MAX_SEARCH_DEPTH;
int32_t mateLimit = 0;
int64_t softNodeLimit = NO_NODE_LIMIT;
int64_t nodeCheckInterval = 1;
int64_t nextNodeCheck = 1;

// Sudden death spreads the clock over the moves still expected: fewer as the
// game goes on, down to a floor from move 60.
constexpr int32_t LATE_GAME_MOVE = 60;
constexpr int64_t INC_MOVES_BASE = 100;
constexpr int64_t INC_MOVES_FLOOR = 40;
constexpr int64_t NO_INC_MOVES_BASE = 120;
constexpr int64_t NO_INC_MOVES_FLOOR = 60;
constexpr int64_t MOVES_TO_GO_RESERVE = 4;
// The soft deadline is 28/64 of the budget, the hard one twice the budget.
constexpr int64_t SOFT_NUMERATOR = 28;
constexpr int64_t SOFT_DENOMINATOR = 64;
constexpr int64_t HARD_FACTOR = 2;
// Short budgets read the clock more often: about every 0.1 ms of thread 0.
constexpr int64_t SHORT_BUDGET_MS = 1000;
constexpr int64_t NODES_PER_MS = 10;
constexpr int64_t LONG_BUDGET_INTERVAL = 10000;
// Clock values beyond this (about 35,000 years) are taken as this, which
// keeps every product below overflows.
constexpr int64_t CLOCK_LIMIT_MS = int64_t(1) << 50;

static int64_t clampClock(int64_t ms) { return std::clamp<int64_t>(ms, 0, CLOCK_LIMIT_MS); }

int64_t timeBudget(const BudgetInputs& in) {
  // A flag fall arrives as a negative clock: treat it as an empty clock,
  // which gives a budget of 0 (the first completed iteration ends the search).
  int64_t timeMs = clampClock(in.timeMs);
  int64_t incMs = clampClock(in.incMs);
  int64_t budget;
  if (in.movesToGo > 0) {
    budget = 2 * timeMs / (in.movesToGo + MOVES_TO_GO_RESERVE) + incMs;
  } else {
    int64_t g = in.gameMoves;
    if (incMs != 0)
      budget = 4 * timeMs / (g < LATE_GAME_MOVE ? INC_MOVES_BASE - g : INC_MOVES_FLOOR) + incMs;
    else
      budget = 4 * timeMs / (g < LATE_GAME_MOVE ? NO_INC_MOVES_BASE - g : NO_INC_MOVES_FLOOR);
  }
  if (in.ponder) budget += budget / 10;
  int64_t overhead = std::max<int64_t>(in.moveOverhead, 0);
  int64_t cap = std::max<int64_t>(timeMs / 2 - overhead / 2, 0);
  budget = std::min(budget, cap);
  if (in.rootMoveCount == 1) budget /= 10;
  return budget;
}

void computeDeadlines(const SearchLimits& limits, const SearchConfig& config, int32_t rootMoveCount) {
  BudgetInputs in{limits.timeMs,    limits.incMs,        limits.movesToGo, limits.gameMoves,
                  config.ponderEnabled, config.moveOverhead, rootMoveCount};
  nodeLimit = limits.nodes;
  depthLimit = limits.depth;
  mateLimit = limits.mate;
  // A weakened engine's budget ends its search at the end of an iteration,
  // and cuts an iteration that would run far beyond it.
  softNodeLimit = skillNodeBudget(config.eloLimit);
  if (softNodeLimit != NO_NODE_LIMIT) nodeLimit = std::min(nodeLimit, softNodeLimit * SKILL_HARD_NODE_FACTOR);
  softNodeLimit = std::min(softNodeLimit, limits.softNodes);
  int64_t budget = timeBudget(in);
  softDeadline = startTime + budget * SOFT_NUMERATOR / SOFT_DENOMINATOR;
  hardDeadline = startTime + HARD_FACTOR * budget;
  int64_t interval = budget < SHORT_BUDGET_MS ? budget * NODES_PER_MS + 10 : LONG_BUDGET_INTERVAL;
  interval = std::min(interval, nodeLimit);
  // A weakened engine meets its hard deadline to the node.
  if (effectiveStrength(config) != FULL_STRENGTH) interval = 1;
  // A node limit of 0 or less still reads the clock at every node, never
  // with a step that would leave nextNodeCheck behind.
  nodeCheckInterval = std::max<int64_t>(interval, 1);
  nextNodeCheck = nodeCheckInterval;
}

bool softDeadlinePassed() { return currentSearchMode() == MODE_NORMAL && nowMs() >= softDeadline; }
