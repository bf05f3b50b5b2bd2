// UCI command lines through the engine's own command handling, in any order:
// position with FEN and moves, go with any parameters, setoption, new game,
// ponderhit and stop while a search runs. Every input starts from the default
// options (Hash 1 MB) and ends with the engine idle and its board sound.
//
// Searches are kept tiny: each "go" line gets "nodes 100" appended (the last
// value of a repeated keyword counts), and a ponder or infinite search is
// stopped by the next command that waits for it, or at the end of the input.
// Resource options are capped after every setoption (Hash at 8 MB, Threads at
// 4, Strength at least 100, whose pauses would otherwise wait up to seconds),
// and SyzygyPath lines are dropped, since a fuzzed path would send the engine
// scanning the file system (tablebase files get a target of their own). So
// are "bench" and "pgo" lines (the full benchmark, a minute or more under the
// sanitizers) and "go perft" deeper than 2.
#include <algorithm>
#include <cstring>
#include <fcntl.h>

#include "search/memory.h"
#include "driver/options.h"
#include "driver/uci.h"
#include "fuzz_support.h"
#include "search/searchthread.h"

static void capResources() {
  engineOptions.hashMb = std::min(engineOptions.hashMb, 8);
  engineOptions.threads = std::min(engineOptions.threads, 4);
  engineOptions.strength = std::max(engineOptions.strength, 100);
}

// Waits until no think thread holds the command lock.
static void waitUntilIdle() {
  requestStop();
  commandLock.acquire();
  commandLock.release();
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The protocol output would bury libFuzzer's own report.
  if (!std::getenv("CORVAN_FUZZ_SHOW_OUTPUT")) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  initEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setDefaultOptions();
  engineOptions.hashMb = 1;
  const std::string text = inputText(data, size);
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("setoption name SyzygyPath", 0) == 0 || line.rfind("bench", 0) == 0 || line == "pgo") continue;
    if (line.rfind("go perft", 0) == 0) {
      if (std::atoi(line.c_str() + std::strlen("go perft")) > 2) continue;
    } else if (line.rfind("go", 0) == 0) {
      // Twice: a keyword left without its value at the line's end takes
      // the first "nodes" as its value.
      line += " nodes 100 nodes 100";
    }
    if (!handleCommand(line)) break;
    capResources();
  }
  waitUntilIdle();
  if (searchMemoryAllocated()) checkPositionSound(gamePosition);
  return 0;
}
