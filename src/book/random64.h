// The fixed random numbers that key positions in Polyglot opening books.
#pragma once

#include <cstdint>

constexpr int POLYGLOT_RANDOM_COUNT = 781;
// Index of the first castling number (white short, white long, black short,
// black long), of the first en-passant file number and of the white-to-move
// number. Piece-square numbers sit at 64 * kind + square below the castling
// ones, kind = 2 * (PieceType - 1) + (1 for white).
constexpr int POLYGLOT_CASTLE_INDEX = 768;
constexpr int POLYGLOT_EP_INDEX = 772;
constexpr int POLYGLOT_TURN_INDEX = 780;

extern const uint64_t POLYGLOT_RANDOM64[POLYGLOT_RANDOM_COUNT];
