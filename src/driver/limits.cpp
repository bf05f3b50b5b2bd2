#include "driver/limits.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "board/movegen.h"
#include "board/movetext.h"

static constexpr int32_t MAX_DEPTH = MAX_SEARCH_DEPTH;

static bool startsWith(const char* word, const char* keyword) {
  return std::strncmp(word, keyword, std::strlen(keyword)) == 0;
}

// A word counts as a move when its first four characters name two squares.
static bool isMoveShaped(const char* w) {
  return std::strlen(w) >= 4 && w[0] >= 'a' && w[0] <= 'h' && w[1] >= '1' && w[1] <= '8' && w[2] >= 'a' &&
         w[2] <= 'h' && w[3] >= '1' && w[3] <= '8';
}

static int32_t clampToInt32(int64_t v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v); }

bool searchAwaitsStop(const SearchLimits& limits) {
  if (currentSearchMode() != MODE_NORMAL) return true;
  return limits.timeMs == NO_CLOCK_MS && limits.depth == MAX_DEPTH && limits.nodes == NO_NODE_LIMIT;
}

bool selectSearchMoves(const Position& pos, const SearchMoveWords& moves, SearchLimits& limits) {
  limits.searchMoveCount = 0;
  if (!moves.filterOn) return true;
  ScoredMove legal[MAX_GENERATED];
  const ScoredMove* end = generateLegalMoves(*pos.state, legal);
  for (const ScoredMove* m = legal; m != end && limits.searchMoveCount < MAX_MOVES; ++m) {
    char text[6];
    moveToUci(*pos.state, m->move, pos.chess960, text);
    for (int i = 0; i < moves.count; ++i)
      if (std::strcmp(text, moves.words[i]) == 0) {
        limits.searchMoves[limits.searchMoveCount++] = m->move;
        break;
      }
  }
  return limits.searchMoveCount > 0;
}

void parseGoParameters(char* text, bool blackToMove, SearchLimits& limits, SearchMoveWords& moves) {
  limits = SearchLimits();
  moves.count = 0;
  moves.filterOn = false;

  char* save = nullptr;
  const char* separators = " \t\r\n";
  // A keyword whose value word is missing at the end of the line is ignored.
  auto valueOf = [&](int64_t& value) {
    char* word = strtok_r(nullptr, separators, &save);
    if (!word) return false;
    value = std::strtoll(word, nullptr, 10);
    return true;
  };
  for (char* word = strtok_r(text, separators, &save); word; word = strtok_r(nullptr, separators, &save)) {
    int64_t v;
    if (startsWith(word, "ponder"))
      limits.ponder = true;
    else if (startsWith(word, "wtime")) {
      if (valueOf(v) && !blackToMove) limits.timeMs = v;
    } else if (startsWith(word, "btime")) {
      if (valueOf(v) && blackToMove) limits.timeMs = v;
    } else if (startsWith(word, "winc")) {
      if (valueOf(v) && !blackToMove) limits.incMs = v;
    } else if (startsWith(word, "binc")) {
      if (valueOf(v) && blackToMove) limits.incMs = v;
    } else if (startsWith(word, "movestogo")) {
      // A negative count would divide the clock by zero or less.
      if (valueOf(v)) limits.movesToGo = v < 0 ? 0 : clampToInt32(v);
    } else if (startsWith(word, "depth")) {
      if (valueOf(v)) limits.depth = v < 1 ? 1 : v > MAX_DEPTH ? MAX_DEPTH : int32_t(v);
    } else if (startsWith(word, "mate")) {
      if (valueOf(v)) limits.mate = v < 1 ? 1 : v > MAX_DEPTH ? MAX_DEPTH : int32_t(v);
    } else if (startsWith(word, "nodes")) {
      if (valueOf(v)) limits.nodes = v;
    } else if (startsWith(word, "movetime")) {
      if (valueOf(v)) {
        limits.timeMs = v;
        limits.incMs = v;
        limits.movesToGo = 1;
      }
    } else if (startsWith(word, "infinite"))
      limits.infinite = true;
    else if (startsWith(word, "searchmoves"))
      moves.filterOn = true;
    else if (isMoveShaped(word) && moves.count < MAX_SEARCH_MOVE_WORDS)
      moves.words[moves.count++] = word;
  }
}
