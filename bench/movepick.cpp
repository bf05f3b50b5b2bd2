// Throughput of the staged move picker: moves handed out per second when a
// middlegame node is searched to the end of its list (every stage runs).
#include <benchmark/benchmark.h>

#include <memory>

#include "board/attacks.h"
#include "board/fen.h"
#include "search/movepick.h"

namespace {

const char* MIDDLEGAME = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1BBPPP/R2QK2R w KQ - 2 9";

void pickWholeList(benchmark::State& state) {
  initAttacks();
  std::unique_ptr<SearchThread> thread(new SearchThread);
  clearSearchTables(*thread);
  setPosition(thread->position, MIDDLEGAME, "");
  const PositionState& st = *thread->position.state;
  // Some learning so that killers, counter move and history keys take part.
  thread->killers[2][0] = makeMoveWord(PAWN, 8, 16);
  thread->killers[2][1] = makeMoveWord(KNIGHT, 18, 33);
  thread->mainHistory[0][BISHOP][12][26] = 3000;
  int depth = int(state.range(0));
  int64_t moves = 0;
  MovePicker mp;
  for (auto _ : state) {
    initMovePicker(mp, *thread, st, 0, 2, depth, 0, 0, false);
    for (ScoredMove sm = pickNextMove(mp); sm.move; sm = pickNextMove(mp)) {
      benchmark::DoNotOptimize(sm);
      ++moves;
    }
  }
  state.SetItemsProcessed(moves);
}
BENCHMARK(pickWholeList)->Arg(6)->Arg(10);

}  // namespace
