#include "search/skill.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/platform.h"
#include "search/tt.h"

// Calibrated by games (README, "Playing against Corvan").
constexpr double NODES_AT_MIN_ELO = 64;
constexpr double ELO_PER_DOUBLING = 125;
constexpr int TEMPERATURE_AT_MIN_ELO = 100;
constexpr int32_t TEMPERATURE_TOP_ELO = 2400;

int64_t skillNodeBudget(int32_t elo) {
  if (elo <= 0 || elo >= MAX_ELO) return NO_NODE_LIMIT;
  const int32_t e = std::max(elo, MIN_ELO);
  return int64_t(NODES_AT_MIN_ELO * std::exp2(double(e - MIN_ELO) / ELO_PER_DOUBLING));
}

int skillTemperature(int32_t elo) {
  if (elo <= 0 || elo >= TEMPERATURE_TOP_ELO) return 0;
  const int32_t e = std::max(elo, MIN_ELO);
  return TEMPERATURE_AT_MIN_ELO * (TEMPERATURE_TOP_ELO - e) / (TEMPERATURE_TOP_ELO - MIN_ELO);
}

int pickSkillLine(const int32_t* scores, int count, int temperature, double random) {
  if (temperature <= 0 || count <= 1) return 0;
  double weights[SKILL_LINES];
  double total = 0;
  count = std::min(count, SKILL_LINES);
  for (int i = 0; i < count; ++i) {
    // A mate against us, or a line that throws a won mate away, weighs
    // nothing: no player at any level walks into those with eyes open.
    const bool mateLine = std::abs(scores[i]) >= SCORE_MATE_IN_MAX || std::abs(scores[0]) >= SCORE_MATE_IN_MAX;
    const double loss = double(scores[0] - scores[i]);
    weights[i] = i > 0 && mateLine ? 0 : std::exp(-loss / temperature);
    total += weights[i];
  }
  double target = random * total;
  for (int i = 0; i < count; ++i) {
    if (target < weights[i]) return i;
    target -= weights[i];
  }
  return 0;
}

double skillRandom() {
  static std::atomic<uint64_t> state{0};
  uint64_t s = state.load(std::memory_order_relaxed);
  if (s == 0) s = uint64_t(nowMs()) * 0x9E3779B97F4A7C15ULL | 1;
  // xorshift64*
  s ^= s >> 12;
  s ^= s << 25;
  s ^= s >> 27;
  state.store(s, std::memory_order_relaxed);
  return double((s * 0x2545F4914F6CDD1DULL) >> 11) / double(uint64_t(1) << 53);
}
