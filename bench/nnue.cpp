// Cost of the network evaluation: an incremental evaluation after one quiet
// move (both accumulators updated from the parent's plus the forward pass),
// a full refresh, and the forward pass alone, vector and scalar.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

#include "eval/accumulator.h"
#include "eval/layers.h"
#include "eval/network.h"
#include "eval/nnue.h"
#include "../tests/support/board_states.h"

namespace {

struct Fixture {
  PositionState root = initialState();
  PositionState child = quietMove(root, KNIGHT, 6, 21);  // 1. Nf3
  NnueRecord records[2] = {};
  Fixture() {
    initNetwork();
    records[0].delta = NnueDelta{0, 1, 1, {64 + 21}, {64 + 6}};
    evaluate(root, records, 0);
  }
};

void incrementalEvaluation(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    f.records[1].computed = 0;
    benchmark::DoNotOptimize(evaluate(f.child, f.records, 1));
  }
}
BENCHMARK(incrementalEvaluation);

void refreshBothPerspectives(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    refreshAccumulator(f.child, 0, f.records[1].own);
    refreshAccumulator(f.child, 1, f.records[1].other);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(refreshBothPerspectives);

void fullEvaluationFromScratch(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    f.records[0].computed = 0;
    benchmark::DoNotOptimize(evaluate(f.root, f.records, 0));
  }
}
BENCHMARK(fullEvaluationFromScratch);

void forwardPassOnly(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(forwardPass(f.records[0].own, f.records[0].other));
}
BENCHMARK(forwardPassOnly);

void forwardPassScalarOnly(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) benchmark::DoNotOptimize(forwardPassScalar(f.records[0].own, f.records[0].other));
}
BENCHMARK(forwardPassScalarOnly);


// A trained network leaves most first-layer outputs non-zero: the forward
// pass with every input active and random small layers.
void forwardPassDense(benchmark::State& state) {
  size_t size = (NETWORK_IMAGE_SIZE + 63) / 64 * 64;
  uint8_t* image = static_cast<uint8_t*>(aligned_alloc(64, size));
  std::mt19937 rng(5);
  for (size_t i = IMAGE_L2_WEIGHTS; i < NETWORK_IMAGE_SIZE; ++i) image[i] = uint8_t(rng());
  useNetwork(image);
  alignas(64) int16_t own[L1_SIZE], other[L1_SIZE];
  for (int i = 0; i < L1_SIZE; ++i) {
    own[i] = int16_t(2 + rng() % 250);
    other[i] = int16_t(2 + rng() % 250);
  }
  for (auto _ : state) benchmark::DoNotOptimize(forwardPass(own, other));
  initNetwork();
  free(image);
}
BENCHMARK(forwardPassDense);

}  // namespace
