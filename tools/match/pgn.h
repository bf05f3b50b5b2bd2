// Game records: standard algebraic notation for the moves and the PGN text
// of a finished game.
#pragma once

#include <string>
#include <vector>

#include "gameboard.h"
#include "judge.h"

// SAN of a legal move in the current position, without the check mark.
std::string sanMove(const GameBoard& board, Move move);
// "+" or "#" for the position after a move, "" otherwise.
const char* checkSuffix(const GameBoard& after);

// Everything a PGN game needs. startFen is empty for the standard start.
struct PgnGame {
  std::string event;
  std::string date;  // YYYY.MM.DD
  int round = 1;
  std::string white;
  std::string black;
  std::string startFen;
  bool chess960 = false;
  int startMoveNumber = 1;
  bool blackStarts = false;
  std::string timeControl;
  GameResult result = RESULT_NONE;
  std::string termination;  // result reason, also repeated as a closing comment
  std::vector<std::string> moves;
};

std::string formatPgn(const PgnGame& game);
// Today's date in the PGN tag format.
std::string pgnDate();
