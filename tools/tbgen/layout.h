// Where the solver keeps each position of an ending. The index is a plain
// mixed-radix number: one digit per piece, 64 squares each, overlapping
// pieces included (those entries are marked illegal).
//
// - Without pawns the board has eight symmetries; the white king is brought
//   into the triangle a1-d1-d4 (10 squares) and that square is the leading
//   digit. Positions with the white king on the long diagonal are kept twice
//   (as themselves and transposed); both copies are solved alike.
// - With pawns only the left-right mirror remains. The pawns form the
//   leading digit, a "slice": one of the placements of all pawns, pawns of a
//   colour sorted, mirrored so that the placement is the smaller of itself
//   and its mirror image. Pawn moves never return, so slices are numbered
//   from the most advanced placement down and solved in that order.
#pragma once

#include <cstdint>
#include <vector>

#include "material.h"

struct Layout {
  PieceList pieces;
  int digitPieces = 0;     // pieces after the leading digit that take a square digit
  uint64_t sliceSize = 0;  // 64^digitPieces
  int slices = 0;
  uint64_t size = 0;  // slices * sliceSize positions per side to move
  uint64_t multiplier[TB_MAX_PIECES] = {};  // index step of one square for each piece (0 for the leading piece / pawns)
  // With pawns: the canonical squares of each slice (pawns per slice, in
  // piece order) and, for every raw placement (64^pawns), its slice * 2 + 1
  // when mirrored, or -1 for an impossible placement.
  std::vector<uint8_t> slicePawns;
  std::vector<int32_t> placement;
};

Layout makeLayout(const Material& m);

// The eight board symmetries: bit 2 transposes (first), bit 0 mirrors the
// files, bit 1 the ranks.
Square applySymmetry(int g, Square s);
int inverseSymmetry(int g);
// The symmetry that brings s into the triangle (identity inside it).
int triangleSymmetry(Square s);
bool inTriangle(Square s);
Square triangleSquare(int i);
int triangleNumber(Square s);  // -1 outside

// Index of a position given the squares of its pieces in piece order (any
// symmetry; pieces may overlap). Returns the index or UINT64_MAX when pawns
// stand on a back rank or on one square.
uint64_t positionIndex(const Layout& layout, const int* squares);
// The squares stored at an index (exactly those, no symmetry applied).
void indexSquares(const Layout& layout, uint64_t index, int* squares);
// Pawns moved forward by the pawns of their colour summed: higher means
// more advanced.
int sliceAdvance(const Layout& layout, int slice);
