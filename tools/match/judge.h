// Deciding games: the rules of chess on the runner's board, adjudication by
// the engines' own scores, and the names of every way a game can end.
#pragma once

#include <cstdint>

#include "gameboard.h"

enum GameResult { RESULT_NONE, RESULT_WHITE_WINS, RESULT_BLACK_WINS, RESULT_DRAW };

enum Termination {
  END_NONE,
  END_CHECKMATE,
  END_STALEMATE,
  END_REPETITION,
  END_FIFTY_MOVES,
  END_INSUFFICIENT_MATERIAL,
  END_RESIGN_ADJUDICATION,
  END_DRAW_ADJUDICATION,
  END_TIME_FORFEIT,
  END_ILLEGAL_MOVE,
  END_CRASH,
  END_ABORTED,
};

struct Verdict {
  GameResult result = RESULT_NONE;
  Termination termination = END_NONE;
};

// Short description for progress lines and the PGN Termination tag.
const char* terminationText(Termination termination);
// "1-0", "0-1", "1/2-1/2" or "*".
const char* resultText(GameResult result);
// The result when the side (0 white, 1 black) loses.
GameResult lossFor(int side);

// The rules: mate and stalemate, dead material, threefold repetition and
// the fifty-move rule, in that order of precedence.
Verdict judgeBoard(const GameBoard& board);

// Score adjudication; a rule is off while its move count is zero. Resign:
// both engines see the same side ahead by at least resignScore for
// resignMoves moves each. Draw: from move drawFromMove on, both engines see
// |score| at most drawScore for drawMoves moves each.
struct AdjudicationRules {
  int resignMoves = 0;
  int resignScore = 0;
  int drawFromMove = 0;
  int drawMoves = 0;
  int drawScore = 0;
};

// Consecutive plies that met each condition; a ply without a score breaks
// every run.
struct AdjudicationState {
  int whiteAheadPlies = 0;
  int blackAheadPlies = 0;
  int quietPlies = 0;
};

// Records the score (from white's point of view) that the mover reported for
// the move just played at moveNumber, and returns a verdict when a rule fires.
Verdict adjudicate(const AdjudicationRules& rules, AdjudicationState& state, bool hasScore,
                   int whiteScore, int moveNumber);
