// Move-path enumeration for checking the move generator: counts the leaf
// nodes of the legal move tree to a fixed depth.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"

// Leaves of the legal move tree below the current position; depth 0 is 1.
uint64_t perft(Position& pos, int depth);

// One root move and the leaves below it.
struct PerftLine {
  Move move;
  uint64_t nodes;
};

// perft split by root move, in generation order. lines needs MAX_MOVES
// entries; returns their number. When stop (if given) becomes non-zero the
// count is abandoned: the root move being counted is left out, so the lines
// returned are all exact but fewer than the legal moves.
int perftDivide(Position& pos, int depth, PerftLine* lines, const std::atomic<uint8_t>* stop = nullptr);

// The legal moves of st (any position, in check or not).
int legalMoveCount(const PositionState& st);
