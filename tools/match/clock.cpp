#include "clock.h"

#include <cmath>
#include <cstdlib>

bool parseSeconds(const std::string& text, int64_t& ms) {
  if (text.empty()) return false;
  char* end = nullptr;
  double seconds = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 1e9) return false;
  ms = int64_t(std::llround(seconds * 1000));
  return true;
}

bool parseIncrementControl(const std::string& text, TimeControl& tc) {
  size_t plus = text.find('+');
  int64_t base = 0;
  int64_t inc = 0;
  if (!parseSeconds(text.substr(0, plus), base)) return false;
  if (plus != std::string::npos && !parseSeconds(text.substr(plus + 1), inc)) return false;
  if (base == 0 && inc == 0) return false;
  tc.kind = TC_INCREMENT;
  tc.baseMs = base;
  tc.incMs = inc;
  return true;
}

GameClock startClock(const TimeControl& tc) {
  GameClock clock;
  if (tc.kind == TC_INCREMENT) clock.remainingMs[0] = clock.remainingMs[1] = tc.baseMs;
  return clock;
}

std::string goCommand(const TimeControl& tc, const GameClock& clock) {
  switch (tc.kind) {
    case TC_MOVETIME:
      return "go movetime " + std::to_string(tc.moveTimeMs);
    case TC_NODES:
      return "go nodes " + std::to_string(tc.nodes);
    case TC_INCREMENT:
      break;
  }
  return "go wtime " + std::to_string(clock.remainingMs[0]) + " btime " +
         std::to_string(clock.remainingMs[1]) + " winc " + std::to_string(tc.incMs) + " binc " +
         std::to_string(tc.incMs);
}

int64_t moveWaitLimitMs(const TimeControl& tc, const GameClock& clock, int side) {
  switch (tc.kind) {
    case TC_MOVETIME:
      return tc.moveTimeMs + tc.marginMs;
    case TC_NODES:
      return tc.nodeTimeoutMs;
    case TC_INCREMENT:
      break;
  }
  return clock.remainingMs[side] + tc.marginMs;
}

bool chargeMove(const TimeControl& tc, GameClock& clock, int side, int64_t elapsedMs) {
  if (elapsedMs > moveWaitLimitMs(tc, clock, side)) return false;
  if (tc.kind == TC_INCREMENT) {
    int64_t left = clock.remainingMs[side] - elapsedMs;
    clock.remainingMs[side] = (left > 0 ? left : 0) + tc.incMs;
  }
  return true;
}

namespace {

std::string secondsText(int64_t ms) {
  std::string text = std::to_string(ms / 1000);
  if (int64_t frac = ms % 1000) {
    std::string digits = std::to_string(1000 + frac).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

}  // namespace

std::string describeTimeControl(const TimeControl& tc) {
  switch (tc.kind) {
    case TC_MOVETIME:
      return "movetime " + secondsText(tc.moveTimeMs);
    case TC_NODES:
      return "nodes " + std::to_string(tc.nodes);
    case TC_INCREMENT:
      break;
  }
  return secondsText(tc.baseMs) + "+" + secondsText(tc.incMs);
}
