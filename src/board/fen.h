// Building a position from FEN text and a list of UCI moves.
#pragma once

#include "board/types.h"

constexpr int MAX_FEN_LENGTH = 135;

// The last two moves of the current game's move list (0 where fewer).
extern Move lastMove;
extern Move previousMove;

// Rebuilds pos from slot 0. Returns the number of moves applied, halved.
int setPosition(Position& pos, const char* fen, const char* moves);

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
