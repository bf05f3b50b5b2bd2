// The runner's side of the UCI dialogue with one engine: start-up with
// "uci"/"uciok", options, "isready"/"readyok" before each game, one move
// per "position"/"go" exchange, and "quit" at the end.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/childprocess.h"

// How an engine is started: display name, shell command line, and the UCI
// options sent after "uciok" in the given order.
struct EngineSetup {
  std::string name;
  std::string command;
  std::vector<std::pair<std::string, std::string>> options;
};

// A child process that has completed the handshake (ready) or is not
// running at all.
struct UciEngine {
  ChildProcess process;
  bool ready = false;
};

enum EngineFault { FAULT_NONE, FAULT_TIMEOUT, FAULT_CLOSED };

// What an engine answered to one "go": its move text (may be empty or
// malformed), the last score it reported from its own point of view, and
// how long it took by the runner's clock.
struct MoveReply {
  EngineFault fault = FAULT_NONE;
  std::string move;
  bool hasScore = false;
  int score = 0;
  int depth = 0;
  int64_t elapsedMs = 0;
};

// Mate scores are mapped beyond every centipawn threshold: mate in n plies
// or moves becomes MATE_SCORE - n (negated when being mated).
constexpr int MATE_SCORE = 100000;

// Starts the engine and completes the handshake. On failure the process is
// gone and error says why.
bool startEngine(UciEngine& engine, const EngineSetup& setup, bool chess960, int64_t timeoutMs,
                 std::string& error);
// "ucinewgame" followed by "isready"; false (with the fault) when the engine
// does not answer in time or has gone.
bool prepareForGame(UciEngine& engine, int64_t timeoutMs, EngineFault& fault);
MoveReply requestMove(UciEngine& engine, const std::string& positionCommand,
                      const std::string& goCommand, int64_t waitLimitMs);
// Sends "quit", gives the engine graceMs to leave, then kills what is left.
void quitEngine(UciEngine& engine, int64_t graceMs);
// Kills the engine at once (after a fault: it may still be thinking).
void discardEngine(UciEngine& engine);

// Parses the score of an "info" line; false when it carries none.
bool parseInfoScore(const std::string& line, int& score, int& depth);
