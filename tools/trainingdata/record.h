// Training positions: the unpacked form the tools work with, the packed
// 32-byte record of the data files, and the conversions from and to the
// engine's board.
//
// Packed record, little-endian:
//   0..7   occupancy, white's view (a1 = bit 0)
//   8..23  one nibble per occupied square in rising square order, low nibble
//          first: PieceType, plus 8 for a black piece
//   24..25 search score, centipawns from the side to move's view (i16)
//   26     game result from the side to move's view: 1, 0 or -1
//   27     bit 0 black to move; bits 1..4 castling rights K, Q, k, q
//   28     en-passant target square (white's view), 255 when none
//   29     plies since the last capture or pawn move
//   30..31 full-move number
#pragma once

#include <cstdint>
#include <string>

#include "board/types.h"

constexpr int RECORD_BYTES = 32;
constexpr uint8_t BLACK_PIECE = 8;
constexpr uint8_t NO_EP_SQUARE = 255;

// Castling bits of TrainingPosition::castling.
constexpr uint8_t CASTLE_WHITE_KING = 1;
constexpr uint8_t CASTLE_WHITE_QUEEN = 2;
constexpr uint8_t CASTLE_BLACK_KING = 4;
constexpr uint8_t CASTLE_BLACK_QUEEN = 8;

// A position from white's point of view with its labels.
struct TrainingPosition {
  uint8_t board[64];  // 0 empty, else PieceType (+ BLACK_PIECE for black)
  bool blackToMove;
  uint8_t castling;
  uint8_t epSquare;  // NO_EP_SQUARE when none
  uint8_t rule50;
  uint16_t fullmove;
  int16_t score;  // side to move's view
  int8_t result;  // side to move's view
};

void packRecord(const TrainingPosition& p, uint8_t out[RECORD_BYTES]);

// False for bytes no position could have produced: more than 32 pieces,
// a piece code that names no piece, not exactly one king of each colour,
// a pawn on a back rank, a result outside -1..1, a bad en-passant square.
bool unpackRecord(const uint8_t in[RECORD_BYTES], TrainingPosition& p);

// The engine's side-to-move board (mirrored when black moves) as a training
// position; the labels are left zero.
TrainingPosition positionFromState(const PositionState& st, int fullmove);

// FEN text of the position (standard castling letters).
std::string positionFen(const TrainingPosition& p);
