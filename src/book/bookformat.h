// The Polyglot book file format shared by the book reader and the book
// writer: 16-byte big-endian entries (key, move, weight, learn data) sorted
// by key, and the 16-bit move word in absolute squares.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/types.h"

constexpr int BOOK_ENTRY_SIZE = 16;

// One book entry; the learn field is carried through but never used.
struct BookEntry {
  uint64_t key;
  uint16_t move;
  uint16_t weight;
  uint32_t learn;
};

void encodeBookEntry(const BookEntry& entry, unsigned char* bytes);
BookEntry decodeBookEntry(const unsigned char* bytes);

// Reads entry number index of an open book; false when seek or read fails
// (including a partial entry at the end of the file).
bool readBookEntry(std::FILE* file, int64_t index, BookEntry& entry);

// The book's move word for a move of the side to move: absolute squares
// (rank 1 = row 0), promotion 1..4 for knight..queen, and castling written
// as the king moving onto its own rook's square.
uint16_t encodeBookMove(const PositionState& st, Move move);
// The move word of the engine for a book move in this position: squares in
// the mover's orientation, the promotion piece, and castling when the king
// steps onto a rook that still has its castling right. Piece, captured
// piece and the other flags are left 0: the caller matches it against the
// generated moves.
Move decodeBookMove(const PositionState& st, uint16_t bookMove);

// Same squares, promotion and castling: how a decoded book move is found
// among generated moves, whatever their other fields hold.
inline bool sameBookMove(Move a, Move b) {
  constexpr Move mask = (63u << 3) | (63u << 9) | (7u << 18) | MOVE_CASTLE;
  return (a & mask) == (b & mask);
}
