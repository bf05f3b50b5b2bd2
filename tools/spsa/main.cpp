// corvan-spsa: tunes engine options (the search constants of a tune build)
// by SPSA over games at a fixed node budget, resumable from its state file.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "cli.h"
#include "common/childprocess.h"
#include "common/usage.h"
#include "driver/options.h"
#include "match.h"
#include "spsa.h"

namespace {

const char USAGE[] =
    "Usage: corvan-spsa --engine COMMAND --params FILE --state FILE [settings] [-- MATCH SETTINGS]\n"
    "\n"
    "Tunes UCI spin options of one engine by SPSA: every iteration plays the\n"
    "values moved up against the same values moved down, each parameter by its\n"
    "own random sign, and moves them towards the side that scored more. The\n"
    "search constants are options of the tuning build (cmake -DCORVAN_TUNE=ON).\n"
    "\n"
    "  --engine COMMAND   the engine (both sides)\n"
    "  --params FILE      one line per option: NAME START MIN MAX C_END R_END\n"
    "                     (C_END: the perturbation at the last iteration; R_END:\n"
    "                     its learning rate, 0.002 is usual); # starts a comment\n"
    "  --state FILE       written after every iteration; when it exists the run\n"
    "                     resumes from it (its values, its schedule, its seed)\n"
    "  --iterations N     planned iterations, for the schedule (default 1000)\n"
    "  --pairs N          colour-reversed game pairs per iteration (default 4)\n"
    "  --stop-after N     leave after N more iterations this time (default: all)\n"
    "  --seed N           the perturbations and openings (default 1)\n"
    "  --option NAME=VALUE  another option for both sides, e.g. --option Hash=16\n"
    "  -- ...             corvan-match settings for the games, e.g.\n"
    "                     -- --nodes 20000 --openings FILE --concurrency 1\n"
    "                     (default: --nodes 20000)\n"
    "\n"
    "Prints a line per iteration; at the end the values as --engine options of\n"
    "corvan-match. An interrupted iteration is not recorded and is played again.\n";

std::atomic<bool> stopRun{false};
void onInterrupt() { stopRun = true; }

bool readFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return bool(in) || in.eof();
}

// Written beside and renamed over, so that an interruption leaves the old
// state or the new one, never half of one.
bool writeState(const std::string& path, const SpsaRun& run) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << formatState(run);
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool positiveInt(const char* text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end || v < 1 || v > 100000000) return false;
  out = int(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  std::string engine, paramsFile, stateFile;
  int iterations = 1000, pairs = 4, stopAfter = 0;
  uint64_t seed = 1;
  std::vector<std::pair<std::string, std::string>> extraOptions;
  std::vector<std::string> matchArgs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      for (++i; i < argc; ++i) matchArgs.push_back(argv[i]);
      break;
    }
    if (i + 1 >= argc) return usageError("corvan-spsa", ("missing value after " + arg).c_str(), USAGE);
    const char* value = argv[++i];
    if (arg == "--engine") {
      engine = value;
    } else if (arg == "--params") {
      paramsFile = value;
    } else if (arg == "--state") {
      stateFile = value;
    } else if (arg == "--iterations" || arg == "--pairs" || arg == "--stop-after") {
      int& target = arg == "--iterations" ? iterations : arg == "--pairs" ? pairs : stopAfter;
      if (!positiveInt(value, target))
        return usageError("corvan-spsa", (arg + " needs a positive integer").c_str(), USAGE);
    } else if (arg == "--seed") {
      seed = std::strtoull(value, nullptr, 10);
    } else if (arg == "--option") {
      const char* eq = std::strchr(value, '=');
      if (!eq) return usageError("corvan-spsa", "--option needs NAME=VALUE", USAGE);
      extraOptions.emplace_back(std::string(value, eq), std::string(eq + 1));
    } else {
      return usageError("corvan-spsa", ("unknown argument " + arg).c_str(), USAGE);
    }
  }
  if (engine.empty() || paramsFile.empty() || stateFile.empty())
    return usageError("corvan-spsa", "--engine, --params and --state are needed", USAGE);

  SpsaRun run;
  std::string text, error;
  if (!readFile(paramsFile, text)) return usageError("corvan-spsa", ("cannot read " + paramsFile).c_str(), nullptr);
  if (!parseParams(text, run.params, error)) {
    std::fprintf(stderr, "corvan-spsa: %s: %s\n", paramsFile.c_str(), error.c_str());
    return 1;
  }
  run.iterations = iterations;
  run.seed = seed;
  if (readFile(stateFile, text)) {
    if (!readState(text, run, error)) {
      std::fprintf(stderr, "corvan-spsa: %s: %s (not touched)\n", stateFile.c_str(), error.c_str());
      return 1;
    }
    std::printf("resuming %s after iteration %d of %d\n", stateFile.c_str(), run.done, run.iterations);
  }

  // The games: corvan-match's own settings, two engines added in front.
  std::vector<std::string> words = {"corvan-match", "--engine", "cmd=" + engine, "name=plus",
                                    "--engine", "cmd=" + engine, "name=minus"};
  if (matchArgs.empty()) matchArgs = {"--nodes", "20000"};
  words.insert(words.end(), matchArgs.begin(), matchArgs.end());
  std::vector<const char*> matchArgv;
  for (const std::string& w : words) matchArgv.push_back(w.c_str());
  MatchConfig config;
  if (parseCommandLine(int(matchArgv.size()), matchArgv.data(), config, error) != CLI_RUN) {
    std::fprintf(stderr, "corvan-spsa: match settings: %s\n", error.c_str());
    return 2;
  }
  config.games = 2 * pairs;
  config.sprt = false;
  config.pgnFile.clear();

  installInterruptHandler(onInterrupt);
  setDefaultOptions();
  initAttacks();
  const int last = stopAfter ? std::min(run.iterations, run.done + stopAfter) : run.iterations;
  while (run.done < last && !stopRun) {
    const int k = run.done + 1;
    const std::vector<int> signs = perturbationSigns(run.seed, k, run.params.size());
    std::vector<int> plus, minus;
    perturbedValues(run, k, signs, plus, minus);
    for (int side = 0; side < 2; ++side) {
      config.engines[side].options = extraOptions;
      for (size_t i = 0; i < run.params.size(); ++i)
        config.engines[side].options.emplace_back(run.params[i].name, std::to_string(side ? minus[i] : plus[i]));
    }
    config.seed = run.seed * 1000003 + uint64_t(k);
    std::ostringstream progress;
    const MatchTally tally = runMatch(config, progress, stopRun);
    if (tally.interrupted || stopRun) break;
    if (!tally.fatalError.empty()) {
      std::fprintf(stderr, "corvan-spsa: iteration %d: %s (not recorded)\n", k, tally.fatalError.c_str());
      return 1;
    }
    applyResult(run, k, signs, tally.wins - tally.losses);
    if (!writeState(stateFile, run)) {
      std::fprintf(stderr, "corvan-spsa: cannot write %s\n", stateFile.c_str());
      return 1;
    }
    std::printf("iteration %d/%d: plus %lld-%lld-%lld", k, run.iterations, static_cast<long long>(tally.wins),
                static_cast<long long>(tally.losses), static_cast<long long>(tally.draws));
    for (const SpsaParam& p : run.params) std::printf("  %s %.2f", p.name.c_str(), p.value);
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("%s after %d of %d iterations:", stopRun ? "interrupted" : "values", run.done, run.iterations);
  for (const SpsaParam& p : run.params) std::printf(" option.%s=%ld", p.name.c_str(), std::lround(p.value));
  std::printf("\n");
  return stopRun ? 130 : 0;
}
