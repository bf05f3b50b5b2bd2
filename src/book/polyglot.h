// Opening book lookup in Polyglot files (16-byte big-endian entries sorted by
// the Polyglot position key).
#pragma once

#include <cstdint>

#include "board/types.h"

uint64_t polyglotKey(const PositionState& st);

// The book's choice for the position (heaviest entry, or a weighted random
// one), decoded into the mover's orientation; MOVE_NONE when the file is
// unreadable or lacks the position. Legality is not tested here.
Move probeBook(const PositionState& st, const char* bookFile, bool bookRandom);

// The legal move with the same squares and promotion as move: the full
// generator move word, or MOVE_NONE when no legal move matches.
Move matchingLegalMove(const PositionState& st, Move move);

// probeBook checked against the legal moves: the full generator move word
// (flags and MOVE_CHECK included) or MOVE_NONE.
Move legalBookMove(const PositionState& st, const char* bookFile, bool bookRandom);
