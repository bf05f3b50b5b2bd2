// Parsing the parameters of "go" into the search limits, with the
// "searchmoves" words turned into the root moves they name.
#pragma once

#include "board/types.h"
#include "search/limits.h"

constexpr int MAX_SEARCH_MOVE_WORDS = 256;

// Move-shaped words of a "go" line (pointers into the line) and whether
// "searchmoves" switched the filter on.
struct SearchMoveWords {
  const char* words[MAX_SEARCH_MOVE_WORDS];
  int count;
  bool filterOn;
};

// Splits text (the part of the line after "go ") in place at whitespace and
// fills limits, which start from their defaults; clock values are read for
// the side given.
void parseGoParameters(char* text, bool blackToMove, SearchLimits& limits, SearchMoveWords& moves);

// Fills limits' search moves with the legal moves of pos whose UCI text is
// one of the words, in move generation order. False when the filter is on
// and names no legal move; without the filter all moves are searched.
bool selectSearchMoves(const Position& pos, const SearchMoveWords& moves, SearchLimits& limits);

// True when the search under way ends only on "stop": pondering, infinite,
// or started without any clock, depth or node limit (limits are the last
// "go"'s). Read by the command loop, the only writer of the limits.
bool searchAwaitsStop(const SearchLimits& limits);
