// Network inputs of a training position, for the trainer: the active rows of
// each perspective exactly as the engine's evaluation computes them, and the
// factorised "virtual" rows that drop the king square.
#pragma once

#include <cstdint>

#include "trainingdata/record.h"

constexpr int REAL_ROWS = 40962;  // kind x square x king square, then two castling rows
constexpr int CASTLE_KING_ROW = 40960;
constexpr int CASTLE_QUEEN_ROW = 40961;
// Virtual rows, trained alongside the real ones and folded into them at
// export: one per piece kind and square, shared by all 64 king squares.
constexpr int FACTOR_ROWS = 10 * 64;
constexpr int TRAIN_ROWS = REAL_ROWS + FACTOR_ROWS;
constexpr int MAX_POSITION_ROWS = 32;  // 30 pieces without kings + 2 castling rows

// The virtual row of a real piece row; -1 for the castling rows.
inline int factorRow(int row) {
  return row < CASTLE_KING_ROW ? REAL_ROWS + (row / 4096) * 64 + (row / 64) % 64 : -1;
}

// Active real rows of one perspective (0: the side to move, 1: the other
// side), in no particular order. Returns their number.
int perspectiveRows(const TrainingPosition& p, int perspective, int32_t* rows);
