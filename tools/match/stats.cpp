#include "stats.h"

#include <cmath>

namespace {

// Two-sided 95% quantile of the normal distribution.
constexpr double Z_95 = 1.959963984540054;
constexpr double SPRT_PRIOR_PAIRS = 1.0;

// Mean and variance of a discrete score distribution given as counts over
// equally spaced score values 0 .. 1.
struct ScoreMoments {
  double mean = 0;
  double variance = 0;
  double samples = 0;
};

ScoreMoments momentsOf(const int64_t* counts, int n) {
  ScoreMoments m;
  for (int i = 0; i < n; ++i) m.samples += double(counts[i]);
  if (m.samples == 0) return m;
  for (int i = 0; i < n; ++i) m.mean += double(counts[i]) * i / (n - 1);
  m.mean /= m.samples;
  for (int i = 0; i < n; ++i) {
    double d = double(i) / (n - 1) - m.mean;
    m.variance += double(counts[i]) * d * d;
  }
  m.variance /= m.samples;
  return m;
}

EloEstimate estimateFrom(const ScoreMoments& m) {
  EloEstimate e;
  if (m.samples == 0 || m.mean <= 0 || m.mean >= 1) return e;
  double margin = Z_95 * std::sqrt(m.variance / m.samples);
  e.elo = eloFromScore(m.mean);
  e.low = eloFromScore(std::fmax(m.mean - margin, 1e-9));
  e.high = eloFromScore(std::fmin(m.mean + margin, 1 - 1e-9));
  e.valid = true;
  return e;
}

}  // namespace

double scoreFromElo(double elo) { return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0)); }

double eloFromScore(double score) { return -400.0 * std::log10(1.0 / score - 1.0); }

EloEstimate eloFromGames(int64_t wins, int64_t losses, int64_t draws) {
  const int64_t counts[3] = {losses, draws, wins};
  return estimateFrom(momentsOf(counts, 3));
}

EloEstimate eloFromPairs(const Pentanomial& pairs) { return estimateFrom(momentsOf(pairs.counts, 5)); }

double sprtLlr(const Pentanomial& pairs, const SprtParams& params) {
  if (pairs.pairs() == 0) return 0;
  // The variance comes from the data plus a prior of one pair spread evenly
  // over the five outcomes: without it a handful of identical pairs would
  // show no spread at all and decide the test on almost no evidence.
  double weights[5];
  ScoreMoments m;
  for (int i = 0; i < 5; ++i) {
    weights[i] = double(pairs.counts[i]) + SPRT_PRIOR_PAIRS / 5;
    m.samples += weights[i];
  }
  for (int i = 0; i < 5; ++i) m.mean += weights[i] * i / 4;
  m.mean /= m.samples;
  for (int i = 0; i < 5; ++i) m.variance += weights[i] * (i / 4.0 - m.mean) * (i / 4.0 - m.mean);
  m.variance /= m.samples;
  double s0 = scoreFromElo(params.elo0);
  double s1 = scoreFromElo(params.elo1);
  return double(pairs.pairs()) * (s1 - s0) * (2 * m.mean - s0 - s1) / (2 * m.variance);
}

double sprtLowerBound(const SprtParams& params) { return std::log(params.beta / (1 - params.alpha)); }

double sprtUpperBound(const SprtParams& params) { return std::log((1 - params.beta) / params.alpha); }

SprtVerdict sprtVerdict(double llr, const SprtParams& params) {
  if (llr >= sprtUpperBound(params)) return SPRT_ACCEPT_H1;
  if (llr <= sprtLowerBound(params)) return SPRT_ACCEPT_H0;
  return SPRT_CONTINUE;
}
