// FEN text of a board record: what setPosition reads back into the same
// record.
#pragma once

#include "board/types.h"

// Room for the longest text writeFen produces, with its terminating zero.
constexpr int FEN_TEXT_SIZE = 128;

// Writes the FEN of st with the given full-move number. A castling right is
// written K, Q, k or q when its rook is the outermost one on that side of the
// king (as setPosition reads those letters), otherwise by the rook's file
// letter, as Chess960 positions need.
void writeFen(const PositionState& st, int fullMove, char* out);
