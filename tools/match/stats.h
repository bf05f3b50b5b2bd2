// Match statistics: Elo estimates with confidence intervals from game or
// game-pair counts, and the sequential probability ratio test over pairs.
#pragma once

#include <cstdint>

// Game-pair outcomes of the first engine: index = points scored over the two
// games of one opening (0, 0.5, 1, 1.5, 2) doubled, so 0..4.
struct Pentanomial {
  int64_t counts[5] = {0, 0, 0, 0, 0};
  int64_t pairs() const { return counts[0] + counts[1] + counts[2] + counts[3] + counts[4]; }
};

// An Elo difference with its 95% interval; valid is false while the score is
// 0% or 100% or there is no data (the logistic curve has no finite answer).
struct EloEstimate {
  double elo = 0;
  double low = 0;
  double high = 0;
  bool valid = false;
};

// Parameters of the test: H0 says the difference is elo0, H1 says elo1.
struct SprtParams {
  double elo0 = 0;
  double elo1 = 5;
  double alpha = 0.05;
  double beta = 0.05;
};

enum SprtVerdict { SPRT_CONTINUE, SPRT_ACCEPT_H0, SPRT_ACCEPT_H1 };

// Expected score for an Elo difference on the logistic curve, and back.
double scoreFromElo(double elo);
double eloFromScore(double score);

// Estimate from individual games (trinomial model).
EloEstimate eloFromGames(int64_t wins, int64_t losses, int64_t draws);
// Estimate from game pairs: the pair model accounts for the correlation of
// two games played from the same opening, so its interval is the honest one.
EloEstimate eloFromPairs(const Pentanomial& pairs);

// Generalised SPRT log-likelihood ratio of H1 against H0 for the pair
// counts, using the normal approximation with the observed pair variance.
double sprtLlr(const Pentanomial& pairs, const SprtParams& params);
// Stopping bounds: log(beta / (1 - alpha)) and log((1 - beta) / alpha).
double sprtLowerBound(const SprtParams& params);
double sprtUpperBound(const SprtParams& params);
SprtVerdict sprtVerdict(double llr, const SprtParams& params);
