// Speed of the board's hot path: move generation, the legality test and
// making moves, measured as perft of fixed positions.
#include <benchmark/benchmark.h>

#include <memory>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/perft.h"
#include "driver/options.h"

namespace {

void perftOf(benchmark::State& state, const char* fen, int depth) {
  setDefaultOptions();
  initAttacks();
  std::unique_ptr<Position> pos(new Position);
  setPosition(*pos, fen, nullptr);
  uint64_t nodes = 0;
  for (auto _ : state) {
    nodes = perft(*pos, depth);
    benchmark::DoNotOptimize(nodes);
  }
  state.counters["nodes"] = double(nodes);
  state.counters["nps"] = benchmark::Counter(double(nodes) * state.iterations(), benchmark::Counter::kIsRate);
}

void startPosition6(benchmark::State& state) { perftOf(state, START_FEN, 6); }
void kiwipete5(benchmark::State& state) {
  perftOf(state, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5);
}
void endgame6(benchmark::State& state) { perftOf(state, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 6); }

}  // namespace

BENCHMARK(startPosition6)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(kiwipete5)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(endgame6)->Unit(benchmark::kMillisecond)->Iterations(3);
