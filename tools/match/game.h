// One game between two engines: the runner keeps the board and the clocks,
// asks the side to move for its move, checks it, and decides the result.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "clock.h"
#include "engine.h"
#include "judge.h"

// A seat at the board: the engine's description and its process, which
// survives from game to game unless the engine misbehaved.
struct Player {
  const EngineSetup* setup = nullptr;
  UciEngine engine;
};

struct GameSettings {
  std::string fen;  // starting position (full FEN)
  bool chess960 = false;
  TimeControl timeControl;
  AdjudicationRules adjudication;
  int64_t startupTimeoutMs = 10000;  // handshake and "isready" answers
};

// The finished game. faultSide is the colour (0 white, 1 black) whose
// engine lost by time, an illegal move or a crash, -1 otherwise; detail is
// the human-readable reason.
struct GameRecord {
  GameResult result = RESULT_NONE;
  Termination termination = END_NONE;
  int faultSide = -1;
  bool startFailed = false;  // the faulty engine could not even be started
  std::string detail;
  std::vector<std::string> sanMoves;
  int startMoveNumber = 1;
  bool blackStarts = false;
};

// Plays from settings.fen with players[0] as white. The game is abandoned
// (END_ABORTED) as soon as stop is set. A player whose engine failed is
// left without a process, so the next game starts a fresh one.
GameRecord playGame(Player* players[2], const GameSettings& settings, const std::atomic<bool>& stop);
