// What the controller can set: the option record written by "setoption" and
// the limits of the current search written by "go".
#pragma once

#include <atomic>
#include <cstdint>

constexpr int BOOK_FILE_SIZE = 512;

// Option values as the controller set them. Values are stored unchanged even
// outside their advertised ranges; the code that uses a value clamps it there.
struct EngineOptions {
  int32_t hashMb;
  bool ponder;
  int32_t drawScore;
  bool ownBook;
  char bookFile[BOOK_FILE_SIZE];
  bool bookRandom;
  int32_t strength;
  int32_t threads;
  int32_t moveOverhead;
  bool largePages;
  int32_t multiPv;
  bool chess960;
  bool syzygy50MoveRule;
  int32_t syzygyProbeLimit;
};

constexpr int32_t MODE_NORMAL = 0;
constexpr int32_t MODE_PONDER = 1;
constexpr int32_t MODE_INFINITE = 2;

// Limits of the current search. searchMode and stopFlag change while a search
// runs ("ponderhit", "stop", the clock) and are polled by every search thread.
struct SearchLimits {
  std::atomic<int32_t> searchMode;
  int64_t timeMs;
  int64_t incMs;
  int64_t nodeLimit;
  int32_t movesToGo;
  int32_t depthLimit;
  int32_t gameMoves;
  std::atomic<uint8_t> stopFlag;
};

extern EngineOptions engineOptions;
extern SearchLimits searchLimits;

// Largest piece count of the registered tablebases (0 when none).
extern int32_t tbMaxPieces;

void setDefaultOptions();

// Stores one option value; an unknown name changes nothing.
void setOption(const char* name, const char* value);

inline bool stopRequested() { return searchLimits.stopFlag.load(std::memory_order_relaxed); }
inline void requestStop() { searchLimits.stopFlag.store(1, std::memory_order_relaxed); }
inline int32_t currentSearchMode() { return searchLimits.searchMode.load(std::memory_order_relaxed); }
