// Building a position from FEN text and a list of UCI moves.
#pragma once

#include "board/types.h"

constexpr int MAX_FEN_LENGTH = 135;

// Why a position could not be set up as asked. The board errors describe a
// board the move generator cannot work on; SETUP_ILLEGAL_MOVE a move word
// that is not a legal move where it stands.
enum SetupError : uint8_t {
  SETUP_OK,
  SETUP_NO_WHITE_KING,
  SETUP_NO_BLACK_KING,
  SETUP_WHITE_KINGS,  // more than one white king
  SETUP_BLACK_KINGS,
  SETUP_BACK_RANK_PAWN,
  SETUP_WHITE_MATERIAL,  // more white material than a game can reach
  SETUP_BLACK_MATERIAL,
  SETUP_SIDE_NOT_TO_MOVE_IN_CHECK,
  SETUP_ILLEGAL_MOVE,
};

// Outcome of setUpPosition. For SETUP_ILLEGAL_MOVE, moveNumber counts the
// refused word from 1 and moveText holds it (cut to fit, zero-terminated).
struct SetupResult {
  SetupError error;
  int32_t gameMoves;  // moves applied, halved
  int32_t moveNumber;
  char moveText[16];
};

// A few words naming the error ("white has no king"), without a full stop.
const char* setupErrorText(SetupError error);

// Rebuilds pos from slot 0 and plays the space-separated UCI moves. After a
// board error pos holds the start position and no move is played; after an
// illegal move it holds the position before that move. Reading rules:
// - FEN text past MAX_FEN_LENGTH characters is cut off; missing fields mean
//   white to move, no castling, no en-passant file, clock 0; placement past
//   the 64th square is ignored;
// - castling rights whose king or rook is not on its square are dropped (K
//   and Q name the outermost rook on that side of the king), and so is an
//   en-passant file no double step can explain or no own pawn can use;
// - a board without exactly one king each, with a pawn on a back rank, with
//   more material than a game can reach, or with the side not to move in
//   check is refused;
// - a list longer than the stack keeps the latest MAX_GAME_TAIL positions.
SetupResult setUpPosition(Position& pos, const char* fen, const char* moves);

// setUpPosition for callers whose input is known to be sound, or that
// accept its fallbacks silently: an impossible board gives the start
// position, and the first move word that is not legal ends the list. Returns
// the number of moves applied, halved.
int setPosition(Position& pos, const char* fen, const char* moves);

// Plays a legal move as a game move: updates pos.lastMove and previousMove and
// keeps only the reversible tail of the game on the state stack, as the moves
// of setPosition are kept.
void playGameMove(Position& pos, Move move);

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
