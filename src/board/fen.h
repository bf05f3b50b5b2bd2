// Building a position from FEN text and a list of UCI moves.
#pragma once

#include "board/types.h"

constexpr int MAX_FEN_LENGTH = 135;

// The last two moves of the current game's move list (0 where fewer).
extern Move lastMove;
extern Move previousMove;

// Rebuilds pos from slot 0 and plays the space-separated UCI moves. Returns
// the number of moves applied, halved. Input is never trusted:
// - FEN text past MAX_FEN_LENGTH characters is cut off; missing fields mean
//   white to move, no castling, no en-passant file, clock 0; placement past
//   the 64th square is ignored;
// - castling rights whose king or rook is not on its square are dropped (K
//   and Q name the outermost rook on that side of the king), and so is an
//   en-passant file no double step can explain or no own pawn can use;
// - a board the engine cannot play on (not one king each, a pawn on a back
//   rank, more material than a game can reach, the side not to move in
//   check) is replaced by the start position and the moves are not played;
// - the first move word that is not a legal move ends the list;
// - a list longer than the stack keeps the latest MAX_GAME_TAIL positions.
int setPosition(Position& pos, const char* fen, const char* moves);

// Plays a legal move as a game move: updates lastMove and previousMove and
// keeps only the reversible tail of the game on the state stack, as the moves
// of setPosition are kept.
void playGameMove(Position& pos, Move move);

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
