// Cost of the network evaluation: an incremental evaluation after one quiet
// move (both accumulators updated from the parent's plus the forward pass),
// a full refresh, and the forward pass alone, vector and scalar.
#include <benchmark/benchmark.h>

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

}  // namespace
