// The runner's own copy of a game's board, kept with the project's board
// code: the legal moves of the current position and the history needed to
// recognise repetitions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "board/types.h"

// What makes two positions the same for the repetition rule: the pieces,
// the side to move, the castling rights and an en-passant capture that can
// actually be played. The stored board is relative to the side to move, so
// records are only comparable with the same side to move (black included).
struct RepetitionRecord {
  Bitboard pieces[8];
  uint16_t castleFiles;
  uint8_t black;
  uint8_t epFile;
  bool operator==(const RepetitionRecord&) const = default;
};

// One game in progress. position holds the state stack (about 49 KB, so the
// record lives on the heap); history has one record per position reached,
// the current one last.
struct GameBoard {
  std::unique_ptr<Position> position = std::make_unique<Position>();
  std::vector<RepetitionRecord> history;
  ScoredMove legal[MAX_GENERATED];
  int legalCount = 0;
  int fullMoveNumber = 1;
  int plies = 0;

  const PositionState& state() const { return *position->state; }
};

// Checks the FEN's shape (the board code trusts its input) and sets up the
// board; on failure error says what is wrong.
bool setupBoard(GameBoard& board, const std::string& fen, std::string& error);
// The legal move that the UCI text names, MOVE_NONE when there is none.
Move findLegalMove(const GameBoard& board, const std::string& uciText);
void playMove(GameBoard& board, Move move);
// How many times the current position has occurred, itself included.
int repetitionCount(const GameBoard& board);
// Absolute board square (a1 = 0) of a square of the stored, relative board.
Square absoluteSquare(const PositionState& st, Square s);
