// Cost of one tablebase probe of a table already set up: the read of the
// stored value alone (probeTable) and the full WDL probe the search makes
// (probeWdl, captures resolved first), over random positions of 4-piece
// tables. Reads the reference tables beside the repository; skipped when
// they are absent.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "driver/options.h"
#include "tablebase/probe.h"
#include "tablebase/registry.h"
#include "tablebase/tablefile.h"

namespace {

std::string referenceDirectory() {
  std::string here = __FILE__;
  const std::string dir = here.substr(0, here.rfind('/')) + "/../../shared/data/syzygy-3-4";
  struct stat info;
  return stat(dir.c_str(), &info) == 0 ? dir : std::string();
}

// Random legal positions of a few 4-piece endings, each probed once so that
// its table is set up before timing.
struct Positions {
  std::vector<PositionState> states;
  std::unique_ptr<Position> pos{new Position};
  bool ready = false;

  Positions() {
    const std::string dir = referenceDirectory();
    if (dir.empty()) return;
    setDefaultOptions();
    initAttacks();
    initTablebaseIndices();
    useBuiltinTableDirectory(dir.c_str());
    initTablebases("<empty>");
    std::mt19937 random(1);
    const char* endings[] = {"KRkp", "KPkp", "KQkr", "KBNk", "KRkb", "KPPk"};
    while (states.size() < 1024) {
      const std::string pieces = endings[states.size() % 6];
      std::string fen;
      char board[64] = {};
      bool ok = true;
      for (char c : pieces) {
        const int s = int(8 + random() % 48);
        ok = ok && !board[s];
        board[s] = c;
      }
      if (!ok) continue;
      for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
          const char c = board[8 * rank + file];
          if (!c) {
            ++empty;
            continue;
          }
          if (empty) fen += char('0' + empty);
          empty = 0;
          fen += c;
        }
        if (empty) fen += char('0' + empty);
        if (rank) fen += '/';
      }
      fen += random() & 1 ? " b - - 0 1" : " w - - 0 1";
      if (setUpPosition(*pos, fen.c_str(), nullptr).error != SETUP_OK) continue;
      int status;
      probeWdl(*pos, &status);
      if (status != PROBE_FAILED) states.push_back(*pos->state);
    }
    ready = true;
  }
};

Positions& positions() {
  static Positions p;
  return p;
}

void tableRead(benchmark::State& state) {
  Positions& p = positions();
  if (!p.ready) {
    state.SkipWithError("reference tables not available");
    return;
  }
  size_t i = 0;
  for (auto _ : state) {
    int status = PROBE_OK;
    benchmark::DoNotOptimize(probeTable(p.states[i++ & 1023], 0, &status, TABLE_WDL));
  }
}

void wdlProbe(benchmark::State& state) {
  Positions& p = positions();
  if (!p.ready) {
    state.SkipWithError("reference tables not available");
    return;
  }
  size_t i = 0;
  for (auto _ : state) {
    p.pos->stateStack[0] = p.states[i++ & 1023];
    p.pos->state = p.pos->stateStack;
    int status;
    benchmark::DoNotOptimize(probeWdl(*p.pos, &status));
  }
}

}  // namespace

BENCHMARK(tableRead);
BENCHMARK(wdlProbe);
