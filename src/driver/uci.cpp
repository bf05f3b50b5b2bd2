#include "driver/uci.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "driver/bench.h"
#include "driver/diagnostics.h"
#include "driver/limits.h"
#include "driver/options.h"
#include "driver/think.h"
#include "eval/network.h"
#include "search/memory.h"
#include "search/reduction.h"
#include "tablebase/registry.h"


// Moves of the last position command, halved: full moves played, for the clock.
static int32_t gameMoves = 0;
// Set when the last position command named a board the engine cannot play
// on or an illegal move: every "go" answers "bestmove 0000" at once until a
// valid position arrives, since any move would be for a position the
// controller does not hold.
static bool positionRefused = false;

// Lines are read whole up to this length; anything longer is discarded as a
// whole, so that no tail of it is ever taken for a command.
static constexpr size_t MAX_LINE_LENGTH = size_t(1) << 20;

static bool startsWith(const std::string& line, const char* word) {
  return line.compare(0, std::strlen(word), word) == 0;
}

static void printUciReply() {
  std::printf("id name Corvan 3.1\nid author Quennick\n");
  printOptionDeclarations();
  std::printf("uciok\n");
  std::fflush(stdout);
}

// New search records hold no position: the start position until the next
// "position" command, so that "go" always searches a valid board.
static void allocateAtStartPosition() {
  allocateSearchMemory(engineOptions.hashMb, engineOptions.threads, engineOptions.largePages);
  gameMoves = setPosition(gamePosition, START_FEN, nullptr);
  positionRefused = false;
}

// "setoption name NAME [value VALUE]": the name runs up to " value " (so
// "Clear Hash" is one name) and the value is the rest of the line, so file
// names may contain spaces. A value-less line only presses a button.
static void handleSetOption(const std::string& line) {
  const std::string rest = line.substr(std::strlen("setoption name "));
  const size_t valueAt = rest.find(" value ");
  const std::string name = rest.substr(0, valueAt);
  acquireCommandLock();
  if (valueAt != std::string::npos) {
    setOption(name.c_str(), rest.c_str() + valueAt + std::strlen(" value "));
  } else if (name == "Clear Hash") {
    // The table and every thread's histories, as a fresh engine has them;
    // the position stays.
    if (searchMemoryAllocated()) clearSearchMemory();
  }
  commandLock.release();
}

static void ensureSearchMemory() {
  if (!searchMemoryAllocated()) allocateAtStartPosition();
}

// One line saying why the position cannot be played. The move word comes
// from the controller: bytes that could upset its parser are shown as '?'.
static void reportRefusedPosition(const SetupResult& setup) {
  char text[sizeof setup.moveText];
  for (size_t i = 0; i < sizeof text; ++i) {
    const unsigned char c = static_cast<unsigned char>(setup.moveText[i]);
    text[i] = c == 0 ? 0 : c < 0x21 || c > 0x7E ? '?' : char(c);
  }
  outputLock.lock();
  if (setup.error == SETUP_ILLEGAL_MOVE)
    std::printf("info string illegal move %s (move %d of the list): bestmove 0000 until a valid position\n", text,
                setup.moveNumber);
  else
    std::printf("info string impossible position, %s: bestmove 0000 until a valid position\n",
                setupErrorText(setup.error));
  std::fflush(stdout);
  outputLock.unlock();
}

// "position startpos|fen FEN [moves M...]"
static void handlePosition(std::string line) {
  acquireCommandLock();
  ensureSearchMemory();
  const char* moves = nullptr;
  size_t movesAt = line.size() > 18 ? line.find("moves", 18) : std::string::npos;
  if (movesAt != std::string::npos) {
    line[movesAt - 1] = '\0';
    moves = line.c_str() + std::min(movesAt + 6, line.size());
  }
  const char* text = line.c_str();
  const char* fen = START_FEN;
  if (std::strlen(text) >= 12 && std::strncmp(text + 9, "fen", 3) == 0)
    fen = std::strlen(text) > 13 ? text + 13 : "";
  const SetupResult setup = setUpPosition(gamePosition, fen, moves);
  gameMoves = setup.gameMoves;
  positionRefused = setup.error != SETUP_OK;
  if (positionRefused) reportRefusedPosition(setup);
  commandLock.release();
}

static void handleGo(std::string line) {
  acquireCommandLock();
  ensureSearchMemory();
  applyNetworkOption();
  if (positionRefused) {
    std::printf("bestmove 0000\n");
    std::fflush(stdout);
    commandLock.release();
    return;
  }
  gamePosition.chess960 = engineOptions.chess960;
  const PositionState& st = *gamePosition.state;
  ThinkRequest& request = thinkRequest;
  SearchMoveWords words;
  line.push_back(' ');
  parseGoParameters(line.data() + 2, isBlackToMove(st), request.limits, words);
  ScoredMove legal[MAX_GENERATED];
  if (generateLegalMoves(st, legal) == legal || !selectSearchMoves(gamePosition, words, request.limits)) {
    std::printf("bestmove 0000\n");
    std::fflush(stdout);
    commandLock.release();
    return;
  }
  request.limits.gameMoves = gameMoves;
  request.root = &gamePosition;
  request.config = searchConfig(engineOptions);
  // Armed here, before "go" returns: a "stop" or "ponderhit" read next
  // reaches the search however soon it comes.
  armSearch(request.limits, request.config);
  detachThread(startThread(thinkThreadRoutine, nullptr));
}

static void handleQuit() {
  requestStop();
  commandLock.acquire();
  commandLock.release();
  releaseSearchMemory();
}

// Reads one line; false at the end of input. Over-long lines come back empty.
static bool readLine(std::string& line) {
  line.clear();
  bool overLong = false;
#ifdef __EMSCRIPTEN__
  if (!readHostLine(line)) return false;
  overLong = line.size() > MAX_LINE_LENGTH;
#else
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') {
    if (line.size() < MAX_LINE_LENGTH)
      line.push_back(char(c));
    else
      overLong = true;
  }
  if (c == EOF && line.empty()) return false;
#endif
  if (overLong) line.clear();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool handleCommand(const std::string& line) {
  if (line == "uci")
    printUciReply();
  else if (startsWith(line, "setoption name "))
    handleSetOption(line);
  else if (startsWith(line, "ucinewgame")) {
    acquireCommandLock();
    allocateAtStartPosition();
    commandLock.release();
  } else if (startsWith(line, "isready")) {
    // A new network is loaded here unless a search runs (then at the next
    // "go"), so that "readyok" follows its message.
    if (commandLock.tryAcquire()) {
      applyNetworkOption();
      commandLock.release();
    }
    outputLock.lock();
    std::printf("readyok\n");
    std::fflush(stdout);
    outputLock.unlock();
  } else if (startsWith(line, "ponderhit"))
    ponderHit();
  else if (startsWith(line, "stop")) {
    requestStop();
    stopPerft();
  }
  else if (isDiagnosticCommand(line))
    runDiagnosticCommand(line, gameMoves);
  else if (startsWith(line, "position"))
    handlePosition(line);
  else if (startsWith(line, "go"))
    handleGo(line);
  else if (startsWith(line, "quit"))
    return false;
  return true;
}

#ifdef CORVAN_POLL_HOST
// What the single-threaded module takes while it searches: the commands a
// search answers at once. "quit" ends the search and waits for the loop.
static bool handleLineDuringSearch(const std::string& line) {
  if (startsWith(line, "stop") || startsWith(line, "isready") || startsWith(line, "ponderhit")) {
    handleCommand(line);
    return true;
  }
  if (startsWith(line, "quit")) requestStop();
  return false;
}
#endif

void initEngine() {
  // Start-up order: options, locks, board tables, search tables,
  // tablebases (the built-in set), network.
  setDefaultOptions();
  commandLock.init();
  initAttacks();
  initReductionTables();
  initTablebaseIndices();
  initTablebases("<empty>");
  initNetwork();
#ifdef CORVAN_POLL_HOST
  setHostLineHandler(handleLineDuringSearch);
#endif
}

int engineMain(int argc, char** argv) {
  initEngine();
  if (argc == 2 && std::strncmp(argv[1], "pgo", 3) == 0) {
    runBenchmark();
    releaseSearchMemory();
    return 0;
  }
  std::string line;
  while (readLine(line) && handleCommand(line)) {
  }
  // The end of input ends the engine as "quit" does.
  handleQuit();
  return 0;
}
