// corvan-stress: drives a UCI engine through pipes with random but
// well-formed sessions for a bounded time and checks every answer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "session.h"

static const char* const USAGE =
    "usage: corvan-stress [--engine PATH] [--seconds N] [--seed N] [--threads N] [--verbose]\n"
    "\n"
    "Plays random UCI sessions against the engine (default: corvan beside this\n"
    "program) for N seconds (default 60): options, new games from random legal\n"
    "openings (standard and Chess960), go with depth, nodes, movetime, clocks,\n"
    "searchmoves and infinite, stop at random moments, ponder with ponderhit or\n"
    "stop, isready during searches, option changes and new games mid-game, and\n"
    "positions the engine must refuse. Every go must get exactly one bestmove,\n"
    "legal in the position sent (bestmove 0000 for a refused one), never before\n"
    "stop or ponderhit while pondering or searching infinitely; the engine must\n"
    "answer within generous deadlines and exit with status 0 after quit.\n"
    "Threads are chosen from 1 to --threads (default 4). Exit status 0 when no\n"
    "fault was found, 1 with the fault and the last lines exchanged otherwise.\n";

int main(int argc, char** argv) {
  StressSettings settings;
  std::string self = argv[0];
  size_t slash = self.rfind('/');
  settings.enginePath = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/corvan";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--engine" && hasValue)
      settings.enginePath = argv[++i];
    else if (arg == "--seconds" && hasValue)
      settings.seconds = std::atoll(argv[++i]);
    else if (arg == "--seed" && hasValue)
      settings.seed = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--threads" && hasValue)
      settings.maxThreads = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--verbose")
      settings.verbose = true;
    else {
      std::fputs(USAGE, arg == "--help" || arg == "-h" ? stdout : stderr);
      return arg == "--help" || arg == "-h" ? 0 : 2;
    }
  }
  StressReport report = runStress(settings);
  std::printf("%lld sessions, %lld games, %lld searches (%lld stopped, %lld ponderhits), %lld refused positions\n",
              static_cast<long long>(report.sessions), static_cast<long long>(report.games),
              static_cast<long long>(report.searches), static_cast<long long>(report.stops),
              static_cast<long long>(report.ponderhits), static_cast<long long>(report.refusals));
  if (report.fault.empty()) {
    std::printf("no fault\n");
    return 0;
  }
  std::printf("FAULT: %s\nlast lines exchanged (> sent, < received):\n%s", report.fault.c_str(),
              report.transcript.c_str());
  return 1;
}
