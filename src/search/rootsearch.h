// One search of a position under given limits: the call that the think
// thread, the benchmark, the data generator and the tests make. It prepares
// the root (move list, tablebase probe, hash move first, deadlines), runs
// iterative deepening on every search thread, reports each finished
// iteration's lines to a listener and returns the result.
#pragma once

#include <cstdint>

#include "base/platform.h"
#include "board/types.h"
#include "search/limits.h"
#include "search/searchthread.h"
#include "tablebase/tbscore.h"

// One principal variation of a finished iteration, as "info" reports it.
struct SearchReport {
  int line;  // 0 for the best line, up to MultiPV - 1
  int depth;
  int score;  // side to move's view; a tablebase score replaces a non-mate one
  int64_t elapsedMs;
  int64_t nodes;  // of all threads
  int64_t tbHits;
  const Position* root;  // the position searched, at its root
  int pvLength;
  Move pv[MAX_PLY];
};

// Receives every line of every newly finished iteration, the worst line
// first, under completedDepthLock and on whichever search thread finished
// it; must neither search nor take long.
struct SearchListener {
  void (*onReport)(void* context, const SearchReport& report);
  void* context;
};

// What a search found. best is MOVE_NONE only when the root has no legal
// move (or none of the search moves); ponder is the expected reply from the
// hash table, MOVE_NONE when it has none. score and pv are those of the
// reporting thread's best root move; iterationMove and iterationScore those of
// the last finished iteration (best and score until one finished).
struct SearchResult {
  Move best = MOVE_NONE;
  Move ponder = MOVE_NONE;
  int score = 0;
  // BOUND_EXACT when score is the last finished iteration's; after an
  // iteration cut short, BOUND_LOWER when a move beat that score, else
  // BOUND_UPPER (the best move failed low).
  uint32_t bound = 0;
  int depth = 0;       // deepest finished iteration
  int lines = 0;       // principal variations searched (MultiPV within the root moves)
  int64_t nodes = 0;
  int64_t tbHits = 0;
  int64_t elapsedMs = 0;
  Move iterationMove = MOVE_NONE;
  int iterationScore = 0;
  int pvLength = 0;
  Move pv[MAX_PLY];
};

// Sets the signals and the active configuration for the next search: the
// mode from the limits and a cleared stop flag. searchPosition does it first;
// a controller that must accept "stop" and "ponderhit" the moment its "go"
// returns arms on its own thread and then runs searchArmed on another.
void armSearch(const SearchLimits& limits, const SearchConfig& config);

// Searches root on the allocated search threads (search/memory.h) under the
// limits and returns what it found. The search memory must be allocated.
SearchResult searchPosition(const Position& root, const SearchLimits& limits, const SearchConfig& config,
                            const SearchListener* listener = nullptr);
// searchPosition without arming: the signals as armSearch left them.
SearchResult searchArmed(const Position& root, const SearchLimits& limits, const SearchConfig& config,
                         const SearchListener* listener);

// Every legal move of thread's position, ordered for the first iteration:
// good captures, killers and counter move, quiets by history, losing
// captures. Returns the end of the list (at most MAX_MOVES entries).
ScoredMove* generateRootMoves(SearchThread& thread, ScoredMove* out);

// State shared by the threads of the search in progress.
// Number of principal variations (1 .. root moves).
extern int32_t multiPvCount;
// Most pieces a position may have for the search to probe the tablebases;
// 0 disables probing.
extern int32_t tbProbePieces;
// Score of a successful root tablebase probe, TB_SCORE_NONE otherwise.
extern int32_t tbRootScore;
// Deepest iteration finished by any thread, under completedDepthLock, which
// also guards the root hash store and the reports of that iteration.
extern int32_t completedDepth;
extern SpinLock completedDepthLock;

// Thread 0's root, copied by every helper thread when it starts: the state
// stack up to the current record, the game's last moves, the rules flag and
// the root move list.
struct HelperSnapshot {
  PositionState stateStack[STATE_STACK_SIZE];
  PositionState* state;  // points into stateStack above
  Move lastMove;
  Move previousMove;
  bool chess960;
  ScoredMove rootMoves[MAX_MOVES];
  ScoredMove* rootEnd;  // points into rootMoves above
};
extern HelperSnapshot helperSnapshot;

// Called by iterative deepening for each newly finished iteration of thread,
// under completedDepthLock: records the iteration and passes its lines to the
// listener.
void reportIteration(SearchThread& thread, int depth);
