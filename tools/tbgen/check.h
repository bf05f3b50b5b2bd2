// An independent check of a solved table: every position's result and
// distance against the results of its successors, with the successors found
// by the engine's own move generator and makeMove (not the solver's moves).
#pragma once

#include <cstdint>

#include "solver.h"

// Checks every stride-th index of both sides to move; the table must still
// hold its cells (not packed). Returns the number of inconsistent positions.
// For cursed wins and blessed losses only the result is checked, not the
// distance.
uint64_t checkTable(const TableSet& set, const Table& table, int threads, uint64_t stride = 1);
