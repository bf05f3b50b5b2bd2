#include "judge.h"

#include "board/material.h"

namespace {

constexpr int FIFTY_MOVE_PLIES = 100;

}  // namespace

const char* terminationText(Termination termination) {
  switch (termination) {
    case END_CHECKMATE: return "checkmate";
    case END_STALEMATE: return "stalemate";
    case END_REPETITION: return "threefold repetition";
    case END_FIFTY_MOVES: return "fifty-move rule";
    case END_INSUFFICIENT_MATERIAL: return "insufficient material";
    case END_RESIGN_ADJUDICATION: return "adjudication: resign";
    case END_DRAW_ADJUDICATION: return "adjudication: draw";
    case END_TIME_FORFEIT: return "time forfeit";
    case END_ILLEGAL_MOVE: return "illegal move";
    case END_CRASH: return "engine crash";
    case END_ABORTED: return "aborted";
    case END_NONE: break;
  }
  return "unterminated";
}

const char* resultText(GameResult result) {
  switch (result) {
    case RESULT_WHITE_WINS: return "1-0";
    case RESULT_BLACK_WINS: return "0-1";
    case RESULT_DRAW: return "1/2-1/2";
    case RESULT_NONE: break;
  }
  return "*";
}

GameResult lossFor(int side) { return side == 0 ? RESULT_BLACK_WINS : RESULT_WHITE_WINS; }

Verdict judgeBoard(const GameBoard& board) {
  const PositionState& st = board.state();
  int mover = isBlackToMove(st) ? 1 : 0;
  if (board.legalCount == 0)
    return isInCheck(st) ? Verdict{lossFor(mover), END_CHECKMATE} : Verdict{RESULT_DRAW, END_STALEMATE};
  if (deadMaterial(st)) return {RESULT_DRAW, END_INSUFFICIENT_MATERIAL};
  if (repetitionCount(board) >= 3) return {RESULT_DRAW, END_REPETITION};
  if (st.rule50 >= FIFTY_MOVE_PLIES) return {RESULT_DRAW, END_FIFTY_MOVES};
  return {};
}

Verdict adjudicate(const AdjudicationRules& rules, AdjudicationState& state, bool hasScore,
                   int whiteScore, int moveNumber) {
  if (!hasScore) {
    state = {};
    return {};
  }
  bool resignOn = rules.resignMoves > 0;
  state.whiteAheadPlies = resignOn && whiteScore >= rules.resignScore ? state.whiteAheadPlies + 1 : 0;
  state.blackAheadPlies = resignOn && whiteScore <= -rules.resignScore ? state.blackAheadPlies + 1 : 0;
  bool quiet = rules.drawMoves > 0 && moveNumber >= rules.drawFromMove &&
               whiteScore <= rules.drawScore && whiteScore >= -rules.drawScore;
  state.quietPlies = quiet ? state.quietPlies + 1 : 0;
  // N moves each for both engines is 2N consecutive plies.
  if (resignOn && state.whiteAheadPlies >= 2 * rules.resignMoves)
    return {RESULT_WHITE_WINS, END_RESIGN_ADJUDICATION};
  if (resignOn && state.blackAheadPlies >= 2 * rules.resignMoves)
    return {RESULT_BLACK_WINS, END_RESIGN_ADJUDICATION};
  if (rules.drawMoves > 0 && state.quietPlies >= 2 * rules.drawMoves)
    return {RESULT_DRAW, END_DRAW_ADJUDICATION};
  return {};
}
