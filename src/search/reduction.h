// Late-move reductions: how many plies a late, quiet move loses, by remaining
// depth and move number, in units of 1/64 ply.
#pragma once

#include <cstdint>

constexpr int REDUCTION_SIZE = 128;
constexpr int REDUCTION_NON_PV = 0;
constexpr int REDUCTION_PV = 1;

// [PV or not][depth][move count]; row 0 and column 0 are zero.
extern int32_t reductionTable[2][REDUCTION_SIZE][REDUCTION_SIZE];

// Filled once at start-up, before any search.
void initReductionTables();
