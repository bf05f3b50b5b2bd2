// One search of a position under given limits: the call that the think
// thread, the benchmark, the data generator and the tests make. It prepares
// the root (move list, tablebase probe, hash move first, deadlines), runs
// iterative deepening on every search thread, reports each finished
// iteration's lines to a listener and returns the result.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "search/limits.h"
#include "search/report.h"
#include "search/searchthread.h"

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
