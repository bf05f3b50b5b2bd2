#include "trainingdata/wdlfit.h"

#include <algorithm>
#include <cmath>

void WdlTable::add(int score, int material, int result) {
  if (std::abs(score) > WDL_FIT_SCORE_RANGE) return;
  ++positions;
  const int outcome = result > 0 ? 0 : result == 0 ? 1 : 2;
  if (score == 0) {
    ++zeroResults[outcome];
    return;
  }
  const int bucket = (score + WDL_FIT_SCORE_RANGE + WDL_FIT_BUCKET_CP / 2) / WDL_FIT_BUCKET_CP;
  ++at(std::clamp(material, 0, WDL_MAX_MATERIAL), std::min(bucket, SCORE_BUCKETS - 1), outcome);
}

void WdlTable::add(const TrainingPosition& p) {
  int count[8] = {};
  for (uint8_t piece : p.board) ++count[piece & 7];
  add(p.score, wdlMaterial(count[PAWN], count[KNIGHT] + count[BISHOP], count[ROOK], count[QUEEN]), p.result);
}

namespace {

constexpr double EPS = 1e-12;

double cubic(const double* c, double x) { return c[0] + x * (c[1] + x * (c[2] + x * c[3])); }

// Adds the gradient of the total log-loss over the table to centre and width
// gradients (per coefficient); returns the total loss.
double lossAndGradient(const WdlTable& t, const WdlModel& m, double* gCentre, double* gWidth) {
  double total = 0;
  for (int material = 0; material <= WDL_MAX_MATERIAL; ++material) {
    const double x = std::clamp(material, WDL_MIN_MATERIAL, WDL_MAX_MATERIAL) / double(WDL_MAX_MATERIAL);
    const double a = std::max(cubic(m.centre, x), 1.0);
    const double b = std::max(cubic(m.width, x), 10.0);
    double ga = 0, gb = 0;
    for (int k = 0; k < WdlTable::SCORE_BUCKETS; ++k) {
      const double nw = t.at(material, k, 0), nd = t.at(material, k, 1), nl = t.at(material, k, 2);
      if (nw + nd + nl == 0) continue;
      const double s = WdlTable::bucketScore(k);
      const double u = (s - a) / b, v = (-s - a) / b;
      const double pw = 1 / (1 + std::exp(-u)), pl = 1 / (1 + std::exp(-v));
      const double pd = std::max(1 - pw - pl, EPS);
      const double dw = pw * (1 - pw), dl = pl * (1 - pl);
      total -= nw * std::log(std::max(pw, EPS)) + nd * std::log(pd) + nl * std::log(std::max(pl, EPS));
      // d(-log pw)/da = (1 - pw) / b, d/db = (1 - pw) u / b; likewise for
      // the loss with v; the draw takes -d(log pd).
      ga += nw * (1 - pw) / b + nl * (1 - pl) / b - nd * (dw + dl) / (b * pd);
      gb += nw * (1 - pw) * u / b + nl * (1 - pl) * v / b - nd * (dw * u + dl * v) / (b * pd);
    }
    double p = 1;
    for (int i = 0; i < 4; ++i, p *= x) {
      gCentre[i] += ga * p;
      gWidth[i] += gb * p;
    }
  }
  return total;
}

}  // namespace

double wdlLogLoss(const WdlTable& table, const WdlModel& model) {
  double gc[4] = {}, gw[4] = {};
  double total = lossAndGradient(table, model, gc, gw);
  const WdlProbabilities zero = wdlProbabilities(0, 0, model);
  total -= table.zeroResults[0] * std::log(std::max(zero.win, EPS)) +
           table.zeroResults[1] * std::log(std::max(zero.draw, EPS)) +
           table.zeroResults[2] * std::log(std::max(zero.loss, EPS));
  return table.positions ? total / double(table.positions) : 0;
}

WdlModel fitWdlModel(const WdlTable& table, WdlModel m, int iterations) {
  if (!table.positions) return m;
  const uint64_t zeros = table.zeroResults[0] + table.zeroResults[1] + table.zeroResults[2];
  if (zeros) m.zeroDraw = double(table.zeroResults[1]) / double(zeros);
  // Adam over the eight coefficients, in units of 100 cp so that one step
  // size suits them all.
  constexpr double RATE = 0.01, BETA1 = 0.9, BETA2 = 0.999, SCALE = 100;
  double first[8] = {}, second[8] = {};
  for (int step = 1; step <= iterations; ++step) {
    double g[8] = {};
    lossAndGradient(table, m, g, g + 4);
    for (int i = 0; i < 8; ++i) {
      const double gi = g[i] * SCALE / double(table.positions);
      first[i] = BETA1 * first[i] + (1 - BETA1) * gi;
      second[i] = BETA2 * second[i] + (1 - BETA2) * gi * gi;
      const double mHat = first[i] / (1 - std::pow(BETA1, step));
      const double vHat = second[i] / (1 - std::pow(BETA2, step));
      double& c = i < 4 ? m.centre[i] : m.width[i - 4];
      c -= SCALE * RATE * mHat / (std::sqrt(vHat) + 1e-12);
    }
  }
  return m;
}

std::vector<WdlBand> wdlCalibration(const WdlTable& table, const WdlModel& model) {
  std::vector<WdlBand> bands;
  // Bands of whole buckets (multiples of WDL_FIT_BUCKET_CP).
  static constexpr int LIMITS[][2] = {{0, 25}, {30, 70}, {75, 145}, {150, 295}, {300, 595}, {600, WDL_FIT_SCORE_RANGE}};
  for (const auto& limit : LIMITS) {
    WdlBand band;
    band.low = limit[0];
    band.high = limit[1];
    bands.push_back(band);
  }
  for (int material = 0; material <= WDL_MAX_MATERIAL; ++material)
    for (int k = 0; k < WdlTable::SCORE_BUCKETS; ++k) {
      const int s = WdlTable::bucketScore(k);
      for (WdlBand& band : bands) {
        if (std::abs(s) < band.low || std::abs(s) > band.high) continue;
        const WdlProbabilities p = wdlProbabilities(s, material, model);
        // Folded to the side that stands better: positive scores' wins and
        // negative scores' losses are the same thing.
        const bool flip = s < 0;
        const double pr[3] = {flip ? p.loss : p.win, p.draw, flip ? p.win : p.loss};
        for (int o = 0; o < 3; ++o) {
          const double n = table.at(material, k, o);
          const int folded = flip ? 2 - o : o;
          band.positions += uint64_t(n);
          band.observed[folded] += n;
          for (int q = 0; q < 3; ++q) band.predicted[q] += n * pr[q];
        }
        break;
      }
    }
  // The scores of 0 lie in the first band.
  const WdlProbabilities zero = wdlProbabilities(0, 0, model);
  for (int o = 0; o < 3; ++o) {
    const double n = double(table.zeroResults[o]);
    bands[0].positions += table.zeroResults[o];
    bands[0].observed[o] += n;
    bands[0].predicted[0] += n * zero.win;
    bands[0].predicted[1] += n * zero.draw;
    bands[0].predicted[2] += n * zero.loss;
  }
  for (WdlBand& band : bands)
    for (int o = 0; o < 3; ++o)
      if (band.positions) {
        band.observed[o] /= double(band.positions);
        band.predicted[o] /= double(band.positions);
      }
  return bands;
}
