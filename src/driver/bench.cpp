#include "driver/bench.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/platform.h"
#include "board/fen.h"
#include "driver/options.h"
#include "driver/think.h"
#include "search/memory.h"

const BenchPosition benchPositions[BENCH_POSITION_COUNT] = {
    {"1qr3k1/p3bppp/4pn2/1B2n3/N7/P3P2P/1P2QPP1/2R1B2K w - -"},
    {"2br2k1/r5p1/4p3/5p2/8/pP3B2/1q2RPPP/Q3R1K1 b - - "},
    {"r5k1/5p2/7p/5qP1/1P1QR3/5P2/r4RK1/8 b - - "},
    {"r4rk1/1p2bppp/p3bn2/8/Pq1BP3/1BN1Q3/1PP3PP/R3K2R w KQ - "},
    {"r2qk2r/3nbpp1/2bBp2p/p3P3/1p6/8/PPPQBPPP/1NKR3R w kq - "},
    {"3r4/3r2bk/1p4pp/pN2n3/P6P/4Q1P1/1P2B1K1/8 b - h3"},
    {"6k1/1b2bp2/p3p2p/4P1p1/1pr5/4BP1P/PP2N1P1/3R2K1 b - - "},
    {"1rr3k1/1q3pp1/pnbQp2p/1p2P3/3B1P2/2PB4/P1P2RPP/R5K1 w - - "},
    {"2r2rk1/p3qp1p/2b1pp1Q/2b5/1n6/2N2NP1/1P2PPBP/R2R2K1 w - - "},
    {"8/p4k2/1p3r2/2pPnb2/2Pr3P/PPK3P1/4B1Q1/8 b - - "},
};

int64_t runBenchmark(int depth) {
  int64_t total = 0;
  static Position position;
  for (const BenchPosition& bench : benchPositions) {
    allocateSearchMemory(engineOptions.hashMb, engineOptions.threads, engineOptions.largePages);
    SearchLimits limits;
    limits.depth = depth;
    limits.gameMoves = setPosition(position, bench.fen, nullptr);
    const SearchResult result = searchPosition(position, limits, searchConfig(engineOptions), &infoPrinter);
    printSearchEnd(position, result, limits);
    total += result.nodes;
  }
  std::printf("Total nodes searched: %lld\n", static_cast<long long>(total));
  std::fflush(stdout);
  return total;
}

// One whole decimal number in [1, max], then spaces or the end.
static bool readSetting(const char*& p, int32_t max, int32_t& value) {
  if (*p < '0' || *p > '9') return false;
  errno = 0;
  char* end;
  long long parsed = std::strtoll(p, &end, 10);
  if (errno || (*end && *end != ' ') || parsed < 1 || parsed > max) return false;
  value = int32_t(parsed);
  p = end;
  return true;
}

bool parseBenchSettings(const char* text, BenchSettings& settings) {
  int32_t* fields[] = {&settings.hashMb, &settings.threads, &settings.depth};
  const int32_t limits[] = {BENCH_MAX_HASH_MB, BENCH_MAX_THREADS, BENCH_MAX_DEPTH};
  const char* p = text;
  for (int i = 0;; ++i) {
    while (*p == ' ') ++p;
    if (!*p) return true;
    if (i == 3 || !readSetting(p, limits[i], *fields[i])) return false;
  }
}

void runBenchCommand(const BenchSettings& settings) {
  // The same search as "pgo" whatever setoption changed, with the settings.
  const EngineOptions saved = engineOptions;
  setDefaultOptions();
  engineOptions.hashMb = settings.hashMb;
  engineOptions.threads = settings.threads;
  const int64_t start = nowMs();
  const int64_t nodes = runBenchmark(settings.depth);
  const int64_t elapsed = std::max<int64_t>(nowMs() - start, 1);
  std::printf("Total time (ms): %lld\nNodes/second: %lld\n", static_cast<long long>(elapsed),
              static_cast<long long>(nodes * 1000 / elapsed));
  std::fflush(stdout);
  releaseSearchMemory();
  engineOptions = saved;
}
