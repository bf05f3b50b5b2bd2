#include "driver/options.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/session.h"
#include "eval/network.h"
#include "search/memory.h"
#include "search/tune.h"
#include "tablebase/registry.h"

EngineOptions engineOptions;

// clang-format off
const OptionSpec OPTION_TABLE[] = {
    {"Hash",              OPTION_SPIN,   DEFAULT_HASH_MB, 1, MAX_HASH_MB, &EngineOptions::hashMb, nullptr, nullptr},
    {"Threads",           OPTION_SPIN,   1, 1, MAX_THREADS, &EngineOptions::threads, nullptr, nullptr},
    {"Ponder",            OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::ponder, nullptr},
    {"OwnBook",           OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::ownBook, nullptr},
    {"BookFile",          OPTION_STRING, 0, 0, 0, nullptr, nullptr, "corvanbook.bin"},
    {"BookRandom",        OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::bookRandom, nullptr},
    {"EvalFile",          OPTION_STRING, 0, 0, 0, nullptr, nullptr, BUILT_IN_NETWORK},
    {"DrawScore",         OPTION_SPIN,   0, -DRAW_SCORE_LIMIT, DRAW_SCORE_LIMIT, &EngineOptions::drawScore, nullptr, nullptr},
    {"MoveOverhead",      OPTION_SPIN,   100, 0, 5000, &EngineOptions::moveOverhead, nullptr, nullptr},
    {"Strength",          OPTION_SPIN,   FULL_STRENGTH, 1, FULL_STRENGTH, &EngineOptions::strength, nullptr, nullptr},
    {"MultiPV",           OPTION_SPIN,   1, 1, 256, &EngineOptions::multiPv, nullptr, nullptr},
    {"LargePages",        OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::largePages, nullptr},
    {"UCI_Chess960",      OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::chess960, nullptr},
    {"SyzygyPath",        OPTION_STRING, 0, 0, 0, nullptr, nullptr, "<empty>"},
    {"Syzygy50MoveRule",  OPTION_CHECK,  1, 0, 0, nullptr, &EngineOptions::syzygy50MoveRule, nullptr},
    {"SyzygyProbeLimit",  OPTION_SPIN,   7, 0, 7, &EngineOptions::syzygyProbeLimit, nullptr, nullptr},
    {"Clear Hash",        OPTION_BUTTON, 0, 0, 0, nullptr, nullptr, nullptr},
    {"UCI_ShowWDL",       OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::showWdl, nullptr},
    {"UCI_LimitStrength", OPTION_CHECK,  0, 0, 0, nullptr, &EngineOptions::limitStrength, nullptr},
    {"UCI_Elo",           OPTION_SPIN,   MAX_ELO, MIN_ELO, MAX_ELO, &EngineOptions::elo, nullptr, nullptr},
};
// clang-format on
const int OPTION_COUNT = int(sizeof OPTION_TABLE / sizeof OPTION_TABLE[0]);

void setDefaultOptions() {
  for (const OptionSpec& o : OPTION_TABLE) {
    if (o.spin) engineOptions.*o.spin = o.defaultValue;
    if (o.check) engineOptions.*o.check = o.defaultValue != 0;
  }
  std::strcpy(engineOptions.bookFile, "corvanbook.bin");
  std::strcpy(engineOptions.evalFile, BUILT_IN_NETWORK);
}

void printOptionDeclarations() {
  static const char* const KIND_NAMES[] = {"spin", "check", "string", "button"};
  for (const OptionSpec& o : OPTION_TABLE) {
    std::printf("option name %s type %s", o.name, KIND_NAMES[o.kind]);
    if (o.kind == OPTION_SPIN) std::printf(" default %d min %d max %d", o.defaultValue, o.min, o.max);
    if (o.kind == OPTION_CHECK) std::printf(" default %s", o.defaultValue ? "true" : "false");
    // The book file shows as set, so that a GUI reading the reply again sees
    // the file in use.
    if (o.kind == OPTION_STRING)
      std::printf(" default %s", std::strcmp(o.name, "BookFile") == 0 ? engineOptions.bookFile : o.defaultText);
    std::printf("\n");
  }
  for (int i = 0; i < tunableCount(); ++i) {
    const Tunable& t = tunableAt(i);
    std::printf("option name %s type spin default %d min %d max %d\n", t.name, t.defaultValue, t.min, t.max);
  }
}

static bool checkValue(const char* value) { return std::strcmp(value, "true") == 0; }

// The leading integer of value (after blanks), saturated to 32 bits; false
// when value does not start with one.
static bool leadingInteger(const char* value, int32_t& out) {
  char* end = nullptr;
  const long long v = std::strtoll(value, &end, 10);
  if (end == value) return false;
  out = v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
  return true;
}

void setOption(const char* name, const char* value) {
  int32_t tuned;
  if (tunableCount() > 0 && leadingInteger(value, tuned) && setTunable(name, tuned)) return;
  for (const OptionSpec& o : OPTION_TABLE) {
    if (std::strcmp(name, o.name) != 0) continue;
    if (o.spin) {
      int32_t v;
      if (leadingInteger(value, v)) {
        engineOptions.*o.spin = v;
      } else {
        // The value comes from the controller: at most 64 bytes of it are
        // echoed, anything unprintable as '?'.
        char shown[65];
        size_t n = 0;
        for (; value[n] && n < 64; ++n) shown[n] = value[n] < 0x20 || value[n] > 0x7E ? '?' : value[n];
        shown[n] = 0;
        outputLock.lock();
        std::printf("info string %s: '%s' is not a number; it stays %d\n", name, shown, engineOptions.*o.spin);
        std::fflush(stdout);
        outputLock.unlock();
      }
    }
    if (o.check) engineOptions.*o.check = checkValue(value);
    break;
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
  config.eloLimit = options.limitStrength ? std::clamp(options.elo, MIN_ELO, MAX_ELO) : 0;
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
