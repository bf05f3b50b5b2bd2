// A match: games between two engines over pairs of colour-reversed
// openings, run by N workers at once, with a progress line per game, the
// final statistics and an optional sequential test that may stop it early.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "engine.h"
#include "game.h"
#include "stats.h"

struct MatchConfig {
  EngineSetup engines[2];
  TimeControl timeControl;
  AdjudicationRules adjudication;
  int games = 2;
  int concurrency = 1;
  std::string openingsFile;  // empty: every game starts from the standard position
  uint64_t seed = 1;
  bool chess960 = false;  // forced on; also switched on by Chess960 openings
  bool sprt = false;
  SprtParams sprtParams;
  std::string pgnFile;
  std::string stderrFile;  // engines' standard error, appended; empty: the runner's
  int64_t startupTimeoutMs = 10000;
  std::string event = "Corvan match";
};

// Faults charged to one engine over the whole match.
struct EngineFaults {
  int64_t timeLosses = 0;
  int64_t illegalMoves = 0;
  int64_t crashes = 0;
};

// Everything counted so far, from the first engine's point of view.
struct MatchTally {
  int64_t wins = 0;
  int64_t losses = 0;
  int64_t draws = 0;
  Pentanomial pairs;
  EngineFaults faults[2];
  double llr = 0;
  SprtVerdict verdict = SPRT_CONTINUE;
  bool interrupted = false;
  std::string fatalError;  // set when the match could not go on
};

// Runs the match, writing progress and the summary to out. stop may be set
// from outside (an interrupt) to end the match early.
MatchTally runMatch(const MatchConfig& config, std::ostream& out, std::atomic<bool>& stop);
// The closing report: results, Elo, pairs, faults and the test's verdict.
void printSummary(const MatchConfig& config, const MatchTally& tally, std::ostream& out);
