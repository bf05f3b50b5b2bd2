// Parsing the parameters of "go" into the search limits, and the
// "searchmoves" filter on the root move list.
#pragma once

#include "board/types.h"

constexpr int MAX_SEARCH_MOVE_WORDS = 256;

// Move-shaped words of a "go" line (pointers into the line) and whether
// "searchmoves" switched the filter on.
struct SearchMoveWords {
  const char* words[MAX_SEARCH_MOVE_WORDS];
  int count;
  bool filterOn;
};

// Splits text (the part of the line after "go ") in place at whitespace and
// fills searchLimits; clock values are read for the side given.
void parseGoParameters(char* text, bool blackToMove, SearchMoveWords& moves);

// True when the search of the last "go" ends only on "stop": pondering,
// infinite, or started without any clock, depth or node limit. Read by the
// command loop, the only writer of the limits.
bool searchAwaitsStop();

// Removes the root moves whose UCI text is none of the collected words,
// keeping the order of the rest. Returns the new end. No-op when the filter
// is off.
ScoredMove* filterRootMoves(const PositionState& st, ScoredMove* begin, ScoredMove* end,
                            const SearchMoveWords& moves);
