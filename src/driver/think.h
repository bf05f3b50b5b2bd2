// The think thread: book, root tablebase probe, search preparation, the
// search threads, the answer ("bestmove" with an optional ponder move) and
// the "info" lines that report on the way.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "driver/platform.h"
#include "search/searchthread.h"
#include "tablebase/tbscore.h"

// Number of principal variations of the current search (1 .. root moves).
extern int32_t multiPvCount;
// Most pieces a position may have for the search to probe the tablebases;
// 0 disables probing.
extern int32_t tbProbePieces;
// Score of a successful root tablebase probe, TB_SCORE_NONE otherwise.
extern int32_t tbRootScore;

// Deepest iteration finished by any thread, under completedDepthLock, which
// also guards the root hash store and the info lines of that iteration.
extern int32_t completedDepth;
extern SpinLock completedDepthLock;

// Thread 0's root, copied by every helper thread when it starts: the state
// stack up to the current record and the root move list.
struct HelperSnapshot {
  PositionState stateStack[STATE_STACK_SIZE];
  PositionState* state;  // points into stateStack above
  ScoredMove rootMoves[MAX_MOVES];
  ScoredMove* rootEnd;  // points into rootMoves above
};
extern HelperSnapshot helperSnapshot;

// Every legal move of thread's position, ordered for the first iteration:
// good captures, killers and counter move, quiets by history, losing
// captures. Returns the end of the list (at most MAX_MOVES entries).
ScoredMove* generateRootMoves(SearchThread& thread, ScoredMove* out);

// One "info" line for PV line `line` of thread, with its principal variation
// taken from exact hash entries.
void printInfoLine(SearchThread& thread, int line, int32_t tbScore, int64_t elapsedMs, int64_t nodes,
                   int64_t tbHits, int depth);

// Steps of a think after the book: counters and clock, root tablebase probe,
// hash move first, deadlines, then the search on every thread until it ends.
// Returns the thread whose result counts. Prints only what the search prints
// (its info lines, unless iterationListener is set); needs at least one root
// move and searchLimits set.
SearchThread& searchPosition();

// Runs one complete think on the calling thread: searches thread 0's root
// moves under searchLimits, prints the answer and releases commandLock,
// which the caller must hold.
void thinkThread();
// Thread routine for "go": thinkThread on a thread of its own.
void* thinkThreadRoutine(void*);
