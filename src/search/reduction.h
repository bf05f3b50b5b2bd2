// Late-move reductions: how many plies a late, quiet move loses, by remaining
// depth and move number, in units of 1/64 ply.
#pragma once

#include <cstdint>

#include "board/types.h"

constexpr int REDUCTION_SIZE = 128;
constexpr int REDUCTION_NON_PV = 0;
constexpr int REDUCTION_PV = 1;

// [PV or not][depth][move count]; row 0 and column 0 are zero.
extern int32_t reductionTable[2][REDUCTION_SIZE][REDUCTION_SIZE];

// Filled once at start-up, before any search.
void initReductionTables();

// Moves that are never reduced unless the picker found them losing.
constexpr Move TACTICAL_FLAGS = MOVE_CAPTURE | MOVE_PROMOTION | MOVE_CASTLE | MOVE_CHECK;
// Reductions start at this remaining depth.
constexpr int REDUCE_MIN_DEPTH = 3;
// A losing capture or under-promotion is reduced by a sixth of a quiet move's amount.
constexpr int LOSING_REDUCTION_DIVISOR = 6;

// Late and futile quiet moves are pruned up to this remaining depth. At
// these depths a losing capture is reduced by exactly one ply whatever its
// move number, which lets the picker drop the pruned quiet moves unseen.
constexpr int PRUNE_MAX_DEPTH = 7;

// Whole plies of reduction for a table entry (1/64 ply), rounded.
inline int lateMoveReduction(int32_t tableEntry, bool losing) {
  return (tableEntry / (losing ? LOSING_REDUCTION_DIVISOR : 1) + 64) >> 6;
}
