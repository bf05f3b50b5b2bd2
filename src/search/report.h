// What a search tells its caller: a report of each line of each finished
// iteration, passed to a listener while the search runs, and the result it
// returns.
#pragma once

#include <cstdint>

#include "board/types.h"

// One principal variation of a finished iteration, as "info" reports it.
struct SearchReport {
  int line;  // 0 for the best line, up to MultiPV - 1
  int depth;
  int score;  // side to move's view; a tablebase score replaces a non-mate one
  bool tablebaseResult;  // score is a root tablebase draw (wins and losses score as mates)
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
  bool tablebaseResult = false;  // as in SearchReport
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
