// Index arithmetic of the Syzygy table format: how the squares of a position,
// listed in a sub-table's piece order, become the index of its value. This
// file knows no board, no file and no decoder, so that the table reader and
// the table generator share it: a generator that lays its values out by
// encodePosition writes files that the reader finds its way through.
//
// Interface in brief:
// - initTablebaseIndices() fills binomial, pawnIndex and pawnFactor once at
//   start-up (the other tables are constant);
// - initEncodingInfo() reads the piece order of one sub-table from its
//   header bytes and returns the sub-table's size (number of indices);
// - encodePosition() turns the squares (absolute: white's first rank is
//   rank 0, listed in the record's piece order) into an index below that
//   size. It reorders and mirrors the squares in place.
//
// Table colour convention: a piece code is colour * 8 + PieceType, white 0
// and black 8 in the table's own view (the side named first in the file
// name is white).
#pragma once

#include <array>
#include <cstdint>

constexpr int TB_PIECES = 7;  // most pieces a table holds, kings included

// The two index layouts: pawnless tables reduce the board by all eight
// symmetries, pawn tables by the left-right mirror only.
enum TableEncoding : uint8_t { ENCODING_PIECE, ENCODING_PAWN };

// What the index needs of a table's material.
struct TableShape {
  uint8_t pieceCount;     // pieces, kings included
  uint8_t kkEncoding;     // pawnless: only the two kings occur once, so they
                          // alone form the leading group
  uint8_t pawnCounts[2];  // pawn tables: pawns of the leading colour (the
                          // one with fewer, never none), then of the other
};

// The index layout of one sub-table (one side to move, one leading-pawn file
// class). pieces lists the piece codes in table order; the pieces form
// groups of equal codes (the leading group excepted), norm[i] is the size
// of the group that starts at i (0 inside a group) and factor[i] its
// multiplier in the index.
struct EncodingInfo {
  uint64_t factor[TB_PIECES];
  uint8_t pieces[TB_PIECES];
  uint8_t norm[TB_PIECES];
};

// C(n, k) for k 0..6 and n 0..63.
extern uint64_t binomial[7][64];
// For k leading pawns (k - 1 = 0..5): the index offset of the first leading
// pawn by its flapIndex (0..23), and the number of such placements per file
// class a..d.
extern uint64_t pawnIndex[6][24];
extern uint64_t pawnFactor[6][4];

// Files a..h fold onto the classes 0, 1, 2, 3, 3, 2, 1, 0.
constexpr uint8_t fileToFile[8] = {0, 1, 2, 3, 3, 2, 1, 0};

// Leading-pawn square number: 6 * min(f, 7 - f) + rank - 1 on ranks 1..6
// (0-based), 0 on the back ranks.
constexpr int flapIndex(int square) {
  const int f = square & 7, r = square >> 3;
  if (r == 0 || r == 7) return 0;
  return 6 * (f < 7 - f ? f : 7 - f) + r - 1;
}

// Order of the other leading pawns: central files and far ranks first.
constexpr int pawnTwist(int square) {
  const int f = square & 7, r = square >> 3;
  if (r == 0 || r == 7) return 0;
  return 12 * (3 - (f < 7 - f ? f : 7 - f)) + 2 * (6 - r) + (f < 4 ? 1 : 0);
}

// Transpose over the a1-h8 diagonal.
constexpr int flipDiagonal(int square) { return ((square >> 3) | (square << 3)) & 63; }

constexpr uint64_t DIAGONAL_A1H8 = 0x8040201008040201ULL;
constexpr uint64_t ABOVE_DIAGONAL = 0x7F3F1F0F07030100ULL;
constexpr uint16_t KK_INVALID = 65535;

// Square classes of the pawnless encoding (see tbindex.cpp for their rules).
extern const std::array<uint8_t, 64> triangleIndex;
extern const std::array<uint8_t, 64> diagonalIndex;
extern const std::array<uint8_t, 64> lowerIndex;
// Both kings of a kk-encoded table: 462 valid pairs, KK_INVALID otherwise.
// Row: triangleIndex of the first king.
extern const std::array<std::array<uint16_t, 64>, 10> kkIndex;

// Number of positions of the pieces encoding's leading group.
constexpr uint64_t KK_PAIRS = 462;
constexpr uint64_t TRIPLE_PLACEMENTS = 31332;

void initTablebaseIndices();

// Reads one sub-table's piece order: header[0] holds the order nibble(s),
// then one byte per piece (a second order byte first when both colours have
// pawns); shift 0 reads the low nibbles (side 0), 4 the high ones (side 1).
// fileClass is the leading-pawn file class (0 for pawnless tables).
// Returns the number of indices, or 0 when the order cannot describe a
// layout of this material (a corrupt header).
uint64_t initEncodingInfo(EncodingInfo& record, const TableShape& shape, const uint8_t* header, int shift,
                          int fileClass, TableEncoding encoding);

// Index of the squares p[0 .. pieceCount-1], given in the record's piece
// order (pieces of one group in any order; for pawn tables the leading pawn
// with the smallest flapIndex first). Below the size initEncodingInfo gave
// for every placement of distinct squares that a legal position can have.
uint64_t encodePosition(int* p, const EncodingInfo& record, const TableShape& shape, TableEncoding encoding);
