// Network inputs of a training position, for the trainer: the active rows of
// each perspective exactly as the engine's evaluation computes them, and the
// factorised "virtual" rows that drop the king square.
#pragma once

#include <cstdint>

#include "trainingdata/record.h"

constexpr int REAL_ROWS = 40962;  // kind x square x king square, then two castling rows
constexpr int CASTLE_KING_ROW = 40960;
constexpr int CASTLE_QUEEN_ROW = 40961;
// Virtual rows, trained alongside the real ones and folded into every real
// row they stand for at export. A real row is seen only with one king square,
// so on its own it learns slowly and noisily; the virtual rows share what is
// common to many king squares:
//  - piece rows: one per piece kind and square, whatever the king square;
//  - offset rows: one per piece kind and offset from the king (files and
//    ranks -7..7), wherever on the board the two stand.
constexpr int PIECE_ROWS = 10 * 64;
constexpr int OFFSET_ROWS = 10 * 15 * 15;
constexpr int PIECE_ROW_BASE = REAL_ROWS;
constexpr int OFFSET_ROW_BASE = PIECE_ROW_BASE + PIECE_ROWS;
constexpr int TRAIN_ROWS = OFFSET_ROW_BASE + OFFSET_ROWS;
constexpr int MAX_VIRTUAL_ROWS = 2;
constexpr int MAX_POSITION_ROWS = 32;  // 30 pieces without kings + 2 castling rows

// The virtual rows of a real row; returns their number (none for the
// castling rows).
inline int virtualRows(int row, int32_t* out) {
  if (row >= CASTLE_KING_ROW) return 0;
  const int kind = row / 4096, square = (row / 64) % 64, king = row % 64;
  out[0] = PIECE_ROW_BASE + kind * 64 + square;
  const int file = (square & 7) - (king & 7) + 7, rank = (square >> 3) - (king >> 3) + 7;
  out[1] = OFFSET_ROW_BASE + kind * 225 + rank * 15 + file;
  return 2;
}

// Active real rows of one perspective (0: the side to move, 1: the other
// side), in no particular order. Returns their number.
int perspectiveRows(const TrainingPosition& p, int perspective, int32_t* rows);
