// Cost of the network evaluation: an incremental evaluation after one quiet
// move (both accumulators updated from the parent's plus the forward pass),
// a full refresh, and the forward pass alone, vector and scalar.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movetext.h"
#include "driver/options.h"
#include "eval/accumulator.h"
#include "eval/layers.h"
#include "eval/network.h"
#include "eval/nnue.h"

namespace {

const char* const MIDDLEGAME = "r2q1rk1/pp2bppp/2n1pn2/3p4/3P1B2/2PB1N2/PP1N1PPP/R2QK2R w KQ - 3 9";

// A position evaluated at ply 0 and one quiet move made from it.
struct Fixture {
  Position pos;
  NnueRecord records[2] = {};
  Fixture(const char* fen, const char* move) {
    setDefaultOptions();
    initAttacks();
    initNetwork();
    setPosition(pos, fen, nullptr);
    evaluate(*pos.state, records, 0, false);
    makeMove(pos, uciToMove(*pos.state, move), &records[0].delta);
  }
  const PositionState& child() const { return *pos.state; }
  const PositionState& root() const { return pos.state[-1]; }
};

void incrementalEvaluation(benchmark::State& state, const char* fen, const char* move) {
  Fixture f(fen, move);
  for (auto _ : state) {
    f.records[1].computed = 0;
    benchmark::DoNotOptimize(evaluate(f.child(), f.records, 1, false));
  }
}
BENCHMARK_CAPTURE(incrementalEvaluation, start_Nf3, START_FEN, "g1f3");
BENCHMARK_CAPTURE(incrementalEvaluation, middlegame_Qe2, MIDDLEGAME, "d1e2");

void refreshBothPerspectives(benchmark::State& state, const char* fen, const char* move) {
  Fixture f(fen, move);
  for (auto _ : state) {
    refreshAccumulator(f.child(), 0, f.records[1].own);
    refreshAccumulator(f.child(), 1, f.records[1].other);
    benchmark::ClobberMemory();
  }
}
BENCHMARK_CAPTURE(refreshBothPerspectives, start_Nf3, START_FEN, "g1f3");
BENCHMARK_CAPTURE(refreshBothPerspectives, middlegame_Qe2, MIDDLEGAME, "d1e2");

void fullEvaluationFromScratch(benchmark::State& state) {
  Fixture f(START_FEN, "g1f3");
  for (auto _ : state) {
    f.records[0].computed = 0;
    benchmark::DoNotOptimize(evaluate(f.root(), f.records, 0, false));
  }
}
BENCHMARK(fullEvaluationFromScratch);

void forwardPassOnly(benchmark::State& state) {
  Fixture f(START_FEN, "g1f3");
  for (auto _ : state) benchmark::DoNotOptimize(forwardPass(f.records[0].own, f.records[0].other));
}
BENCHMARK(forwardPassOnly);

void forwardPassScalarOnly(benchmark::State& state) {
  Fixture f(START_FEN, "g1f3");
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
