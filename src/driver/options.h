// What the controller can set: the option table that the "uci" reply
// declares, the option record that "setoption" writes, and the search
// configuration it gives.
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
  bool showWdl;        // "info ... score" lines carry "wdl W D L"
  bool limitStrength;  // play at the strength UCI_Elo names
  int32_t elo;
};

extern EngineOptions engineOptions;

enum OptionKind { OPTION_SPIN, OPTION_CHECK, OPTION_STRING, OPTION_BUTTON };

// One option as the "uci" reply declares it. A spin or check option names
// its field in EngineOptions; string options and buttons are set by name.
// The reply lists the table in order, so new options go at the end.
struct OptionSpec {
  const char* name;
  OptionKind kind;
  int32_t defaultValue;  // spin; check: 0 or 1
  int32_t min, max;      // spin
  int32_t EngineOptions::*spin;
  bool EngineOptions::*check;
  const char* defaultText;  // string
};
extern const OptionSpec OPTION_TABLE[];
extern const int OPTION_COUNT;

void setDefaultOptions();

// The "option name ..." lines of the "uci" reply, from the table; a string
// option shows its current value.
void printOptionDeclarations();

// Stores one option value; an unknown name changes nothing. A spin value
// that does not start with an integer is refused with one "info string" and
// the old value stays. EvalFile is only stored: applyNetworkOption loads
// it. Buttons ("Clear Hash") are carried out by the command loop.
void setOption(const char* name, const char* value);

// Puts the network that EvalFile names in use if it is not already: at
// "isready" when no search runs, and before every search, so that a search
// in progress never changes its network. A file that cannot be used gets
// one "info string" saying why, and the network in use stays. Needs
// commandLock.
void applyNetworkOption();

// The options that shape a search (DrawScore, Strength, UCI_LimitStrength
// and UCI_Elo, MultiPV, Ponder, MoveOverhead, the tablebase settings), for
// the search call.
SearchConfig searchConfig(const EngineOptions& options);
