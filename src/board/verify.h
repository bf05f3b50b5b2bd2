// Independent checks of a board record, for tests and debugging: the key
// computed from scratch, and the invariants every record must keep.
#pragma once

#include "board/types.h"

// Zobrist key of the record computed from its pieces, rights, en-passant
// file and side to move.
uint64_t computeKey(const PositionState& st);

// Whether the square of the side to move's king is attacked.
bool kingInCheck(const PositionState& st);

// Type bitboards disjoint and covering ALL_PIECES, own pieces inside it,
// one king each, castling rooks and king in place, en-passant file backed by
// a pawn, key equal to a fresh computation.
bool isConsistent(const PositionState& st);
