// Time controls and the runner's own clock accounting. The runner measures
// each move itself and does not trust the engines' idea of their time.
#pragma once

#include <cstdint>
#include <string>

enum TimeControlKind { TC_INCREMENT, TC_MOVETIME, TC_NODES };

// One of: base time plus increment per move, a fixed time per move, or a
// fixed node count per move. marginMs is how far past its limit a move may
// arrive before it loses on time; nodeTimeoutMs bounds a fixed-nodes move.
struct TimeControl {
  TimeControlKind kind = TC_INCREMENT;
  int64_t baseMs = 10000;
  int64_t incMs = 100;
  int64_t moveTimeMs = 0;
  int64_t nodes = 0;
  int64_t marginMs = 100;
  int64_t nodeTimeoutMs = 30000;
};

// Both players' remaining time in milliseconds, index 0 white, 1 black.
struct GameClock {
  int64_t remainingMs[2] = {0, 0};
};

// Parses "base+inc" in seconds ("10+0.1", "60", "0.5+0.05"). Returns false
// on malformed text or negative values.
bool parseIncrementControl(const std::string& text, TimeControl& tc);
// Parses a non-negative number of seconds into milliseconds.
bool parseSeconds(const std::string& text, int64_t& ms);

GameClock startClock(const TimeControl& tc);
// The "go" command for the side to move (0 white, 1 black).
std::string goCommand(const TimeControl& tc, const GameClock& clock);
// How long the runner waits for a move before declaring it lost on time.
int64_t moveWaitLimitMs(const TimeControl& tc, const GameClock& clock, int side);
// Charges a move that took elapsedMs to side; returns false when it arrived
// too late. On success the side's time is reduced (never below zero) and
// the increment added.
bool chargeMove(const TimeControl& tc, GameClock& clock, int side, int64_t elapsedMs);
// Short text for reports and the PGN TimeControl tag ("10+0.1").
std::string describeTimeControl(const TimeControl& tc);
