#include "driver/limits.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "driver/options.h"

static constexpr int64_t NO_NODE_LIMIT = INT64_MAX;
static constexpr int64_t NO_CLOCK_MS = 1000000000000LL;
static constexpr int32_t MAX_DEPTH = 127;

static bool startsWith(const char* word, const char* keyword) {
  return std::strncmp(word, keyword, std::strlen(keyword)) == 0;
}

// A word counts as a move when its first four characters name two squares.
static bool isMoveShaped(const char* w) {
  return std::strlen(w) >= 4 && w[0] >= 'a' && w[0] <= 'h' && w[1] >= '1' && w[1] <= '8' && w[2] >= 'a' &&
         w[2] <= 'h' && w[3] >= '1' && w[3] <= '8';
}

static int32_t clampToInt32(int64_t v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v); }

bool searchAwaitsStop() {
  if (currentSearchMode() != MODE_NORMAL) return true;
  return searchLimits.timeMs == NO_CLOCK_MS && searchLimits.depthLimit == MAX_DEPTH &&
         searchLimits.nodeLimit == NO_NODE_LIMIT;
}

void parseGoParameters(char* text, bool blackToMove, SearchMoveWords& moves) {
  searchLimits.nodeLimit = NO_NODE_LIMIT;
  searchLimits.timeMs = NO_CLOCK_MS;
  searchLimits.depthLimit = MAX_DEPTH;
  searchLimits.movesToGo = 0;
  searchLimits.searchMode.store(MODE_NORMAL, std::memory_order_relaxed);
  searchLimits.incMs = 0;
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
      searchLimits.searchMode.store(MODE_PONDER, std::memory_order_relaxed);
    else if (startsWith(word, "wtime")) {
      if (valueOf(v) && !blackToMove) searchLimits.timeMs = v;
    } else if (startsWith(word, "btime")) {
      if (valueOf(v) && blackToMove) searchLimits.timeMs = v;
    } else if (startsWith(word, "winc")) {
      if (valueOf(v) && !blackToMove) searchLimits.incMs = v;
    } else if (startsWith(word, "binc")) {
      if (valueOf(v) && blackToMove) searchLimits.incMs = v;
    } else if (startsWith(word, "movestogo")) {
      // A negative count would divide the clock by zero or less.
      if (valueOf(v)) searchLimits.movesToGo = v < 0 ? 0 : clampToInt32(v);
    } else if (startsWith(word, "depth")) {
      if (valueOf(v)) searchLimits.depthLimit = v < 1 ? 1 : v > MAX_DEPTH ? MAX_DEPTH : int32_t(v);
    } else if (startsWith(word, "nodes")) {
      if (valueOf(v)) searchLimits.nodeLimit = v;
    } else if (startsWith(word, "movetime")) {
      if (valueOf(v)) {
        searchLimits.timeMs = v;
        searchLimits.incMs = v;
        searchLimits.movesToGo = 1;
      }
    } else if (startsWith(word, "infinite"))
      searchLimits.searchMode.store(MODE_INFINITE, std::memory_order_relaxed);
    else if (startsWith(word, "searchmoves"))
      moves.filterOn = true;
    else if (isMoveShaped(word) && moves.count < MAX_SEARCH_MOVE_WORDS)
      moves.words[moves.count++] = word;
  }
}
