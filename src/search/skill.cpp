#include "search/skill.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/platform.h"
#include "search/tt.h"

namespace {

// The calibration: node budget and temperature at a few strengths, by
// games against Stockfish 15.1 at the same UCI_Elo (README, "Playing
// against Corvan"); between two knots the budget grows geometrically and
// the temperature falls linearly. Above the last knot the budget keeps its
// last rate of growth; MAX_ELO itself is full strength.
struct SkillKnot {
  int32_t elo;
  double nodes;
  int temperature;  // centipawns
};
constexpr SkillKnot SKILL_KNOTS[] = {
    {MIN_ELO, 580, 63}, {1500, 1700, 45}, {2000, 8000, 0}, {2500, 200000, 0},
};
constexpr int KNOT_COUNT = int(sizeof SKILL_KNOTS / sizeof SKILL_KNOTS[0]);

// The knots k, k + 1 around elo and elo's share of the way between them
// (beyond 1 above the last pair).
void locate(int32_t elo, int& k, double& share) {
  const int32_t e = std::max(elo, MIN_ELO);
  k = 0;
  while (k + 2 < KNOT_COUNT && e > SKILL_KNOTS[k + 1].elo) ++k;
  share = double(e - SKILL_KNOTS[k].elo) / double(SKILL_KNOTS[k + 1].elo - SKILL_KNOTS[k].elo);
}

}  // namespace

int64_t skillNodeBudget(int32_t elo) {
  if (elo <= 0 || elo >= MAX_ELO) return NO_NODE_LIMIT;
  int k;
  double share;
  locate(elo, k, share);
  const double nodes = SKILL_KNOTS[k].nodes * std::pow(SKILL_KNOTS[k + 1].nodes / SKILL_KNOTS[k].nodes, share);
  return int64_t(nodes);
}

int skillTemperature(int32_t elo) {
  if (elo <= 0 || elo >= MAX_ELO) return 0;
  int k;
  double share;
  locate(elo, k, share);
  const double t = SKILL_KNOTS[k].temperature + share * (SKILL_KNOTS[k + 1].temperature - SKILL_KNOTS[k].temperature);
  return std::max(0, int(std::lround(t)));
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
