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
// output and then "Total nodes searched: N" (the nodes of all threads).
// Returns the total.
int64_t runBenchmark(int depth = BENCH_DEPTH);

// What the "bench" command may change; the defaults are those of "pgo".
struct BenchSettings {
  int32_t hashMb = 256;
  int32_t threads = 1;
  int32_t depth = BENCH_DEPTH;
};
constexpr int32_t BENCH_MAX_HASH_MB = 1048576;
constexpr int32_t BENCH_MAX_THREADS = 512;
constexpr int32_t BENCH_MAX_DEPTH = 127;
// Usage of the arguments, for messages.
constexpr const char* BENCH_USAGE = "bench [HASH 1..1048576 MB] [THREADS 1..512] [DEPTH 1..127]";

// Reads "[HASH] [THREADS] [DEPTH]" (space-separated whole numbers, each
// optional from the right); false for anything else or a value out of range.
bool parseBenchSettings(const char* text, BenchSettings& settings);

// The benchmark under default options with these settings: its usual output,
// then the time taken and the nodes per second. Afterwards the options are
// as before and no search memory is held, as at start-up. No search may be
// running.
void runBenchCommand(const BenchSettings& settings);
