// The per-thread search record: its own board, root list, counters, per-ply
// stacks, learning tables and network records. All records live back to back
// in the search memory block after the hash table.
#pragma once

#include <atomic>
#include <csetjmp>

#include "board/types.h"
#include "base/platform.h"
#include "eval/nnue.h"

// Plies of slack above MAX_PLY for the arrays that a node reads at ply + 2.
constexpr int PLY_ARRAY_SIZE = MAX_PLY + 4;
// Entries of each correction-history table (search/correction.h).
constexpr int CORRECTION_BITS = 14;
constexpr int CORRECTION_SIZE = 1 << CORRECTION_BITS;

struct SearchThread {
  ThreadHandle handle;
  jmp_buf searchAbortJump;
  Position position;
  ScoredMove rootMoves[MAX_MOVES];
  ScoredMove* rootEnd;
  // depth << 24 | (best root score + 32767) << 8 | root moves finished.
  std::atomic<uint32_t> progress;
  // Read by other threads while this one counts: relaxed atomics.
  std::atomic<int64_t> nodes;
  std::atomic<int64_t> tbHits;
  int32_t rootScores[MAX_MOVES];
  int32_t evalStack[PLY_ARRAY_SIZE];

  // Learning tables, zeroed with the search memory; the move histories are
  // aged at every search, the corrections are kept.
  Move killers[PLY_ARRAY_SIZE][2];
  Move counterMoves[2][7][64][64];
  int16_t mainHistory[2][7][64][64];
  int16_t contHist1[2][7][64][7][64];
  int16_t contHist2[2][7][64][7][64];
  int16_t captureHistory[2][7][64][7];  // side, mover, to-square, captured type
  int16_t pawnCorrection[CORRECTION_SIZE];
  int16_t pieceCorrection[2][CORRECTION_SIZE];  // the mover's pieces, the other side's

  NnueRecord nnue[PLY_ARRAY_SIZE];
};

inline void countNode(SearchThread& t) { t.nodes.store(t.nodes.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }
