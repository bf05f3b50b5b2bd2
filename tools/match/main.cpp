// corvan-match: plays two UCI engines against each other and measures the
// Elo difference between them.
#include <atomic>
#include <iostream>

#include "board/attacks.h"
#include "cli.h"
#include "common/childprocess.h"
#include "driver/options.h"
#include "match.h"

namespace {

constexpr int EXIT_INTERRUPTED = 130;
constexpr int EXIT_USAGE = 2;

std::atomic<bool> stopMatch{false};

void onInterrupt() { stopMatch = true; }

}  // namespace

int main(int argc, char** argv) {
  MatchConfig config;
  std::string error;
  CliOutcome outcome = parseCommandLine(argc, argv, config, error);
  if (outcome == CLI_HELP) {
    std::cout << usageText();
    return 0;
  }
  if (outcome == CLI_ERROR) {
    std::cerr << "corvan-match: " << error << "\n\n" << usageText();
    return EXIT_USAGE;
  }
  installInterruptHandler(onInterrupt);
  setDefaultOptions();
  initAttacks();
  MatchTally tally = runMatch(config, std::cout, stopMatch);
  printSummary(config, tally, std::cout);
  if (tally.interrupted) return EXIT_INTERRUPTED;
  return tally.fatalError.empty() ? 0 : 1;
}
