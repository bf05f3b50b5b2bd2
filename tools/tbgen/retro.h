// Retrograde passes over one stage of a table (see solver.h).
#pragma once

#include "solver.h"

// Solves positions begin .. end - 1 of both sides to move. Everything the
// stage's zeroing moves lead to must be solved already.
void solveStage(Table& table, uint64_t begin, uint64_t end, int threads);
