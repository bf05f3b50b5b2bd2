#include "game.h"

#include "board/fen.h"
#include "pgn.h"

namespace {

const char* COLOUR_NAMES[2] = {"White", "Black"};

void forfeit(GameRecord& record, int side, Termination termination, const std::string& detail) {
  record.result = lossFor(side);
  record.termination = termination;
  record.faultSide = side;
  record.detail = detail;
}

std::string playerLabel(const Player& player, int side) {
  return std::string(COLOUR_NAMES[side]) + " (" + player.setup->name + ")";
}

// Starts the engine if needed and readies it for a new game; on failure the
// record holds the forfeit.
bool seatPlayer(Player& player, int side, const GameSettings& settings, GameRecord& record) {
  std::string error;
  if (!player.engine.ready &&
      !startEngine(player.engine, *player.setup, settings.chess960, settings.startupTimeoutMs, error)) {
    forfeit(record, side, END_CRASH, playerLabel(player, side) + " failed to start: " + error);
    record.startFailed = true;
    return false;
  }
  EngineFault fault = FAULT_NONE;
  if (!prepareForGame(player.engine, settings.startupTimeoutMs, fault)) {
    forfeit(record, side, END_CRASH,
            playerLabel(player, side) +
                (fault == FAULT_TIMEOUT ? " did not answer isready" : " exited before the game"));
    discardEngine(player.engine);
    return false;
  }
  return true;
}

// What a late move used against what it had, for the forfeit message.
std::string timeUseText(const TimeControl& tc, const GameClock& clock, int side, int64_t elapsedMs) {
  std::string used = std::to_string(elapsedMs) + " ms";
  switch (tc.kind) {
    case TC_MOVETIME:
      return used + " for a " + std::to_string(tc.moveTimeMs) + " ms move";
    case TC_NODES:
      return "no move after " + used;
    case TC_INCREMENT:
      break;
  }
  return used + " with " + std::to_string(clock.remainingMs[side]) + " ms left";
}

std::string positionCommand(const std::string& fen, const std::string& moves) {
  std::string command = fen == START_FEN ? "position startpos" : "position fen " + fen;
  return moves.empty() ? command : command + " moves" + moves;
}

}  // namespace

GameRecord playGame(Player* players[2], const GameSettings& settings, const std::atomic<bool>& stop) {
  GameRecord record;
  GameBoard board;
  board.position->chess960 = settings.chess960;
  std::string error;
  if (!setupBoard(board, settings.fen, error)) {
    record.result = RESULT_NONE;
    record.termination = END_ABORTED;
    record.detail = "bad starting position: " + error;
    return record;
  }
  record.startMoveNumber = board.fullMoveNumber;
  record.blackStarts = isBlackToMove(board.state());
  for (int side = 0; side < 2; ++side)
    if (!seatPlayer(*players[side], side, settings, record)) return record;

  GameClock clock = startClock(settings.timeControl);
  AdjudicationState adjudication;
  std::string moves;
  for (;;) {
    Verdict verdict = judgeBoard(board);
    if (verdict.result != RESULT_NONE) {
      record.result = verdict.result;
      record.termination = verdict.termination;
      record.detail = terminationText(verdict.termination);
      break;
    }
    if (stop.load()) {
      record.termination = END_ABORTED;
      record.detail = terminationText(END_ABORTED);
      break;
    }
    int side = isBlackToMove(board.state()) ? 1 : 0;
    Player& player = *players[side];
    MoveReply reply = requestMove(player.engine, positionCommand(settings.fen, moves),
                                  goCommand(settings.timeControl, clock),
                                  moveWaitLimitMs(settings.timeControl, clock, side));
    // An interrupt kills the engines; what follows from that is no fault.
    if (stop.load()) {
      record.termination = END_ABORTED;
      record.detail = terminationText(END_ABORTED);
      break;
    }
    if (reply.fault == FAULT_CLOSED) {
      forfeit(record, side, END_CRASH, playerLabel(player, side) + " exited or closed its pipe");
      discardEngine(player.engine);
      break;
    }
    std::string timeUse = timeUseText(settings.timeControl, clock, side, reply.elapsedMs);
    if (reply.fault == FAULT_TIMEOUT || !chargeMove(settings.timeControl, clock, side, reply.elapsedMs)) {
      forfeit(record, side, END_TIME_FORFEIT, playerLabel(player, side) + " loses on time (" + timeUse + ")");
      discardEngine(player.engine);
      break;
    }
    Move move = findLegalMove(board, reply.move);
    if (move == MOVE_NONE) {
      forfeit(record, side, END_ILLEGAL_MOVE,
              playerLabel(player, side) + " played an illegal move: \"" + reply.move + "\"");
      discardEngine(player.engine);
      break;
    }
    std::string san = sanMove(board, move);
    int moveNumber = board.fullMoveNumber;
    playMove(board, move);
    record.sanMoves.push_back(san + checkSuffix(board));
    moves += " " + reply.move;
    int whiteScore = side == 0 ? reply.score : -reply.score;
    Verdict adjudged =
        adjudicate(settings.adjudication, adjudication, reply.hasScore, whiteScore, moveNumber);
    if (adjudged.result != RESULT_NONE) {
      record.result = adjudged.result;
      record.termination = adjudged.termination;
      record.detail = terminationText(adjudged.termination);
      break;
    }
  }
  return record;
}
