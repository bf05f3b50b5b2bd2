// What a search is asked to do: the limits of one search (from "go" or a
// program that searches in process), the configuration that the engine's
// options give it, and the two signals that change a running search from
// outside: the mode ("ponderhit" turns a ponder search into a normal one)
// and the stop flag.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

// Values of SearchLimits that mean "no limit".
constexpr int64_t NO_CLOCK_MS = 1000000000000LL;
constexpr int64_t NO_NODE_LIMIT = INT64_MAX;
constexpr int32_t MAX_SEARCH_DEPTH = 127;

// Limits of one search. The clock values are the side to move's; a search
// without a clock, node or depth limit ends only when stopped (or at the
// deepest depth). searchMoves, when searchMoveCount is above 0, restricts the
// root to those moves.
struct SearchLimits {
  int64_t timeMs = NO_CLOCK_MS;
  int64_t incMs = 0;
  int32_t movesToGo = 0;
  int32_t gameMoves = 0;  // full moves of the game so far, for the clock
  int64_t nodes = NO_NODE_LIMIT;
  // No iteration starts once this many nodes are spent (nodes stays the
  // hard limit); for self-play at a soft budget.
  int64_t softNodes = NO_NODE_LIMIT;
  int32_t depth = MAX_SEARCH_DEPTH;
  int32_t mate = 0;  // "go mate N": stop once a mate in at most N moves is found
  bool ponder = false;
  bool infinite = false;
  int32_t searchMoveCount = 0;
  Move searchMoves[MAX_MOVES];
};

// True when a search under these limits ends only on "stop": pondering,
// infinite, or without any clock, depth or node limit.
inline bool endsOnlyOnStop(const SearchLimits& l) {
  return l.ponder || l.infinite || (l.timeMs == NO_CLOCK_MS && l.depth == MAX_SEARCH_DEPTH && l.nodes == NO_NODE_LIMIT);
}

constexpr int32_t FULL_STRENGTH = 100;
// The range of UCI_Elo: playing strengths on the scale of the calibration
// games (README, "Playing against Corvan"); MAX_ELO is full strength.
constexpr int32_t MIN_ELO = 1320;
constexpr int32_t MAX_ELO = 3190;
constexpr int32_t DRAW_SCORE_LIMIT = 100;

// The options that shape a search, passed by its caller; the defaults are
// the engine's option defaults. Values are taken as given and clamped where
// they are used.
struct SearchConfig {
  int32_t drawScore = 0;           // what a draw is worth to the side to move at the root
  int32_t strength = FULL_STRENGTH;
  int32_t multiPv = 1;
  int32_t moveOverhead = 100;      // milliseconds kept back from the clock
  bool ponderEnabled = false;      // the controller ponders: a move may take a tenth longer
  bool syzygy50MoveRule = true;    // table results the fifty-move rule spoils are draws
  int32_t syzygyProbeLimit = 7;    // most pieces for a probe
  int32_t eloLimit = 0;            // MIN_ELO..MAX_ELO: play at that strength; 0: full strength
};

// The strength clamped to 1..100 (100: full strength, no pauses).
inline int32_t effectiveStrength(const SearchConfig& config) {
  return config.strength < 1 ? 1 : config.strength > FULL_STRENGTH ? FULL_STRENGTH : config.strength;
}

constexpr int32_t MODE_NORMAL = 0;
constexpr int32_t MODE_PONDER = 1;
constexpr int32_t MODE_INFINITE = 2;

// Signals of the running search, polled by every search thread: its mode
// and the stop flag. armSearch sets both before a search; "ponderhit",
// "stop" and the clock change them while it runs.
struct SearchSignals {
  std::atomic<int32_t> mode{MODE_NORMAL};
  std::atomic<uint8_t> stop{0};
};
extern SearchSignals searchSignals;

inline bool stopRequested() { return searchSignals.stop.load(std::memory_order_relaxed); }
inline void requestStop() { searchSignals.stop.store(1, std::memory_order_relaxed); }
inline int32_t currentSearchMode() { return searchSignals.mode.load(std::memory_order_relaxed); }
// "ponderhit": the search goes on as a normal one under its clock.
inline void ponderHit() { searchSignals.mode.store(MODE_NORMAL, std::memory_order_relaxed); }

// The configuration of the search in progress, set by armSearch; read by
// the draw score, the strength pauses and the tablebase probes.
extern SearchConfig activeConfig;
