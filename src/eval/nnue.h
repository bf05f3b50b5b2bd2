// Incremental network evaluation: per-ply accumulator records kept up to date
// along the search path from the feature changes that makeMove records.
#pragma once

#include "board/types.h"

constexpr int L1_SIZE = 256;

// One record per ply of a search path. computed says whether own/other hold
// this ply's accumulators; delta holds the changes of the move made at this
// ply (towards the next one).
struct NnueRecord {
  uint8_t computed;
  NnueDelta delta;
  alignas(64) int16_t own[L1_SIZE];    // side to move at this ply
  alignas(64) int16_t other[L1_SIZE];  // the other side
};

// Static score of records' ply from the side to move's view. records[0..ply]
// belong to the current search path; st is the position at ply.
int evaluate(const PositionState& st, NnueRecord* records, int ply);
