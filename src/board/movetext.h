// UCI move text: long algebraic notation, castling as the king's two-square
// step or, under Chess960 rules, as the king taking its own rook.
#pragma once

#include "board/types.h"

// Writes 4 or 5 characters and a terminating zero (buffer of 6 bytes).
void moveToUci(const PositionState& st, Move move, bool chess960, char* out);
// The move described by the word, with MOVE_CHECK set when it checks.
// Legality is not tested. Returns MOVE_NONE for text that is not move-shaped.
Move uciToMove(const PositionState& st, const char* text);
