// Incremental network evaluation: per-ply accumulator records kept up to date
// along the search path from the feature changes that makeMove records.
#pragma once

#include "board/types.h"

constexpr int L1_SIZE = 256;

// One record per ply of a search path. computed says whether own/other hold
// this ply's accumulators; delta holds the changes of the move made at this
// ply (towards the next one). The search clears computed of ply p + 1 each
// time it makes a move or a null move at ply p (a null move's delta has
// kingMoved and both counts 0) and clears ply 0 when a search starts.
struct NnueRecord {
  uint8_t computed;
  NnueDelta delta;
  alignas(64) int16_t own[L1_SIZE];    // side to move at this ply
  alignas(64) int16_t other[L1_SIZE];  // the other side
};
static_assert(sizeof(NnueRecord) == 1152, "records sit back to back in the thread record");

// Static score of records' ply from the side to move's view, clamped to
// +-30966. records[0..ply] belong to the current search path; st is the
// position at ply; chess960 adds the charge for a bishop shut in its corner,
// a pattern only Chess960 start positions create. Needs initNetwork
// (eval/network.h) first.
int evaluate(const PositionState& st, NnueRecord* records, int ply, bool chess960);
