// Making moves on the state stack. There is no unmake: taking a move back
// steps the state pointer down one record.
#pragma once

#include "board/types.h"

// Pushes the position after move. delta, when given, receives the feature
// changes for the network.
void makeMove(Position& pos, Move move, NnueDelta* delta);
void makeNullMove(Position& pos);
inline void takeBack(Position& pos) { --pos.state; }
