#include "driver/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "eval/network.h"
#include "search/memory.h"
#include "tablebase/registry.h"

EngineOptions engineOptions;

void setDefaultOptions() {
  engineOptions.hashMb = DEFAULT_HASH_MB;
  engineOptions.ponder = false;
  engineOptions.drawScore = 0;
  engineOptions.ownBook = false;
  std::strcpy(engineOptions.bookFile, "corvanbook.bin");
  std::strcpy(engineOptions.evalFile, BUILT_IN_NETWORK);
  engineOptions.bookRandom = false;
  engineOptions.strength = 100;
  engineOptions.threads = 1;
  engineOptions.moveOverhead = 100;
  engineOptions.largePages = false;
  engineOptions.multiPv = 1;
  engineOptions.chess960 = false;
  engineOptions.syzygy50MoveRule = true;
  engineOptions.syzygyProbeLimit = 7;
}

static bool checkValue(const char* value) { return std::strcmp(value, "true") == 0; }

void setOption(const char* name, const char* value) {
  struct Spin {
    const char* name;
    int32_t* field;
  };
  const Spin spins[] = {
      {"Hash", &engineOptions.hashMb},
      {"DrawScore", &engineOptions.drawScore},
      {"Strength", &engineOptions.strength},
      {"Threads", &engineOptions.threads},
      {"MoveOverhead", &engineOptions.moveOverhead},
      {"MultiPV", &engineOptions.multiPv},
      {"SyzygyProbeLimit", &engineOptions.syzygyProbeLimit},
  };
  struct Check {
    const char* name;
    bool* field;
  };
  const Check checks[] = {
      {"Ponder", &engineOptions.ponder},
      {"OwnBook", &engineOptions.ownBook},
      {"BookRandom", &engineOptions.bookRandom},
      {"LargePages", &engineOptions.largePages},
      {"UCI_Chess960", &engineOptions.chess960},
      {"Syzygy50MoveRule", &engineOptions.syzygy50MoveRule},
  };
  for (const Spin& s : spins)
    if (std::strcmp(name, s.name) == 0) {
      *s.field = std::atoi(value);
      return;
    }
  for (const Check& c : checks)
    if (std::strcmp(name, c.name) == 0) {
      *c.field = checkValue(value);
      return;
    }
  if (std::strcmp(name, "BookFile") == 0) {
    // A name too long for the field is refused whole: a truncated path
    // could name some other file.
    if (std::strlen(value) < BOOK_FILE_SIZE) std::strcpy(engineOptions.bookFile, value);
    return;
  }
  if (std::strcmp(name, "EvalFile") == 0) {
    // Too long for the field: refused whole, like BookFile; an empty value
    // means the built-in network.
    if (std::strlen(value) < BOOK_FILE_SIZE) std::strcpy(engineOptions.evalFile, *value ? value : BUILT_IN_NETWORK);
    return;
  }
  if (std::strcmp(name, "SyzygyPath") == 0) {
    initTablebases(value);
    return;
  }
}

SearchConfig searchConfig(const EngineOptions& options) {
  SearchConfig config;
  config.drawScore = options.drawScore;
  config.strength = options.strength;
  config.multiPv = options.multiPv;
  config.moveOverhead = options.moveOverhead;
  config.ponderEnabled = options.ponder;
  config.syzygy50MoveRule = options.syzygy50MoveRule;
  config.syzygyProbeLimit = options.syzygyProbeLimit;
  return config;
}

// The EvalFile value whose network is in use (or was refused).
static std::string networkOption = BUILT_IN_NETWORK;

void applyNetworkOption() {
  if (networkOption == engineOptions.evalFile) return;
  networkOption = engineOptions.evalFile;
  const bool builtIn = networkOption == BUILT_IN_NETWORK;
  const std::string problem = builtIn ? std::string() : loadNetworkFile(networkOption);
  if (builtIn) useBuiltInNetwork();
  if (!problem.empty()) {
    std::printf("info string EvalFile: %s; the network in use stays: %s\n", problem.c_str(), networkName().c_str());
  } else {
    std::printf("info string EvalFile: using %s\n", networkName().c_str());
    // The table's entries hold evaluations of the old network.
    if (searchMemoryAllocated())
      allocateSearchMemory(engineOptions.hashMb, engineOptions.threads, engineOptions.largePages);
  }
  std::fflush(stdout);
}
