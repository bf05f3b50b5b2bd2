// What the controller can set: the option record written by "setoption",
// and the search configuration it gives.
#pragma once

#include <cstdint>

#include "search/limits.h"

constexpr int BOOK_FILE_SIZE = 512;
// The EvalFile value that names the network built into the program.
constexpr const char* BUILT_IN_NETWORK = "<built-in>";

// Option values as the controller set them. Values are stored unchanged even
// outside their advertised ranges; the code that uses a value clamps it there.
struct EngineOptions {
  int32_t hashMb;
  bool ponder;
  int32_t drawScore;
  bool ownBook;
  char bookFile[BOOK_FILE_SIZE];
  char evalFile[BOOK_FILE_SIZE];  // network image file, "<built-in>" for the built-in one
  bool bookRandom;
  int32_t strength;
  int32_t threads;
  int32_t moveOverhead;
  bool largePages;
  int32_t multiPv;
  bool chess960;
  bool syzygy50MoveRule;
  int32_t syzygyProbeLimit;
};

extern EngineOptions engineOptions;

void setDefaultOptions();

// Stores one option value; an unknown name changes nothing. EvalFile is
// only stored: applyNetworkOption loads it.
void setOption(const char* name, const char* value);

// Puts the network that EvalFile names in use if it is not already: at
// "isready" when no search runs, and before every search, so that a search
// in progress never changes its network. A file that cannot be used gets
// one "info string" saying why, and the network in use stays. Needs
// commandLock.
void applyNetworkOption();

// The options that shape a search (DrawScore, Strength, MultiPV, Ponder,
// MoveOverhead, the tablebase settings), for the search call.
SearchConfig searchConfig(const EngineOptions& options);
