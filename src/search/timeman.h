// Time management: the budget of one move, the soft deadline after which no
// new iteration starts, the hard deadline at which thread 0 aborts the
// search, and the clock poll run at the entry of every search node.
#pragma once

#include <csetjmp>
#include <cstdint>

#include "base/platform.h"
#include "search/limits.h"
#include "search/memory.h"
#include "search/searchthread.h"

// Milliseconds of the monotonic clock (nowMs), except the node counts.
extern int64_t startTime;
extern int64_t softDeadline;
extern int64_t hardDeadline;
extern int64_t nodeLimit;          // the search's node limit
extern int32_t depthLimit;         // and its deepest iteration
extern int32_t mateLimit;          // > 0: it ends at a mate in at most this many moves
extern int64_t softNodeLimit;      // nodes of all threads after which no iteration starts
extern int64_t nodeCheckInterval;  // thread 0 nodes between two clock readings
extern int64_t nextNodeCheck;      // thread 0 node count of the next reading

// Clock values of the limits, with the options that shape the budget.
struct BudgetInputs {
  int64_t timeMs;
  int64_t incMs;
  int32_t movesToGo;
  int32_t gameMoves;
  bool ponder;
  int32_t moveOverhead;
  int32_t rootMoveCount;
};

// Milliseconds allotted to this move; never negative, and never more than
// half the remaining time less half the move overhead.
int64_t timeBudget(const BudgetInputs& in);

// Sets the deadlines, the node limit and the node-check interval from the
// limits, the configuration, startTime and the number of root moves. Called
// once per search before the search threads start.
void computeDeadlines(const SearchLimits& limits, const SearchConfig& config, int32_t rootMoveCount);

// Soft check of iterative deepening: true when a normal (not pondering, not
// infinite) search has passed its soft deadline.
bool softDeadlinePassed();

// Node entry of the main and quiescence search, in every thread. Thread 0
// reads the clock every nodeCheckInterval of its nodes and raises stopFlag at
// the hard deadline or the node limit (never while pondering or searching
// infinitely); any thread that sees stopFlag unwinds its whole search by
// the long jump; otherwise the node is counted.
inline void pollClock(SearchThread& t) {
  int64_t nodes = t.nodes.load(std::memory_order_relaxed);
  if (&t == searchThreads && nextNodeCheck <= nodes) {
    nextNodeCheck += nodeCheckInterval;
    pollHost();
    if (currentSearchMode() == MODE_NORMAL && (nowMs() > hardDeadline || nodes >= nodeLimit))
      requestStop();
  }
  if (stopRequested()) longjmp(t.searchAbortJump, 1);
  t.nodes.store(nodes + 1, std::memory_order_relaxed);
}
