// The fixed benchmark: ten middlegame positions searched to a fixed depth on
// one thread, used as a speed measure and as a regression signature (its
// node total changes whenever the search tree changes).
#pragma once

#include <cstdint>

constexpr int BENCH_POSITION_COUNT = 10;
constexpr int BENCH_DEPTH = 14;

// One record per position: a FEN with its terminating zero.
struct BenchPosition {
  char fen[90];
};

extern const BenchPosition benchPositions[BENCH_POSITION_COUNT];

// Searches every position from an empty hash table, prints the usual search
// output and then "Total nodes searched: N". Returns the total.
int64_t runBenchmark(int depth = BENCH_DEPTH);
