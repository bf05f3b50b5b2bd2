// Fitting the win, draw and loss model (eval/wdl.h) to training positions:
// each position's search score and material against its game's result.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/wdl.h"
#include "trainingdata/record.h"

// Positions counted by material and score bucket, with the results seen.
// Scores beyond +-WDL_FIT_SCORE_RANGE are left out: the model is certain
// there and such positions only slow the fit.
constexpr int WDL_FIT_SCORE_RANGE = 1500;
constexpr int WDL_FIT_BUCKET_CP = 5;
struct WdlTable {
  static constexpr int SCORE_BUCKETS = 2 * WDL_FIT_SCORE_RANGE / WDL_FIT_BUCKET_CP + 1;
  // [material][score bucket][0 win, 1 draw, 2 loss], side to move's view
  std::vector<uint32_t> counts = std::vector<uint32_t>((WDL_MAX_MATERIAL + 1) * SCORE_BUCKETS * 3);
  uint64_t positions = 0;
  uint64_t zeroResults[3] = {0, 0, 0};  // of positions scored exactly 0, apart from the table
  void add(int score, int material, int result);
  void add(const TrainingPosition& p);  // its score, material and result
  uint32_t& at(int material, int bucket, int outcome) { return counts[(material * SCORE_BUCKETS + bucket) * 3 + outcome]; }
  uint32_t at(int material, int bucket, int outcome) const {
    return counts[(material * SCORE_BUCKETS + bucket) * 3 + outcome];
  }
  static int bucketScore(int bucket) { return bucket * WDL_FIT_BUCKET_CP - WDL_FIT_SCORE_RANGE; }
};

// Mean log-loss of the model over the table.
double wdlLogLoss(const WdlTable& table, const WdlModel& model);

// Maximum-likelihood coefficients (Adam on the full table), from start, and
// the draw rate of the scores of 0.
WdlModel fitWdlModel(const WdlTable& table, WdlModel start, int iterations);

// Calibration by score band: mean predicted and observed win, draw and
// loss rates of the table's positions.
struct WdlBand {
  int low, high;  // |score| range in centipawns, both inclusive
  uint64_t positions = 0;
  double predicted[3] = {0, 0, 0};
  double observed[3] = {0, 0, 0};
};
std::vector<WdlBand> wdlCalibration(const WdlTable& table, const WdlModel& model);
