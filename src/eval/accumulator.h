// The first network layer kept per ply of the search path: a full refresh
// from the position, or the accumulators of an earlier ply brought up to date
// through the feature changes of the moves made since.
#pragma once

#include "eval/nnue.h"

// dst = L1 biases + the rows of every active feature of one perspective.
void refreshAccumulator(const PositionState& st, int perspective, int16_t* dst);

// Fills both accumulators of records[ply] for the position st and marks the
// record computed: incrementally from the nearest computed record below, or
// by refresh for a perspective whose king moved or when none is computed.
void computeAccumulators(const PositionState& st, NnueRecord* records, int ply);
