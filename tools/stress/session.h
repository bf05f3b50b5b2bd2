// Random but well-formed UCI sessions against an engine, as a GUI would run
// them: options, new games from random legal openings (standard and
// Chess960), every kind of "go", "stop" at random moments, pondering with
// "ponderhit" or "stop", "isready" during searches, option changes and new
// games in the middle of a game, and now and then a position the engine must
// refuse. Every answer is checked against the position the GUI holds.
#pragma once

#include <cstdint>
#include <string>

struct StressSettings {
  std::string enginePath;
  int64_t seconds = 60;
  uint64_t seed = 1;
  int maxThreads = 4;
  bool verbose = false;  // print the whole conversation
};

// What ran, and the first fault: a bestmove missing, doubled, illegal or
// early, a hang past a deadline, a crash or a bad exit status.
struct StressReport {
  int64_t sessions = 0;
  int64_t games = 0;
  int64_t searches = 0;
  int64_t stops = 0;
  int64_t ponderhits = 0;
  int64_t refusals = 0;
  std::string fault;       // empty when none
  std::string transcript;  // the last lines exchanged before the fault
};

// Runs sessions until the time is up or a fault is found.
StressReport runStress(const StressSettings& settings);
