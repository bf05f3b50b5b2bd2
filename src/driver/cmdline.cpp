#include "driver/cmdline.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/bench.h"
#include "driver/uci.h"
#include "eval/kernels.h"

namespace {

constexpr const char* VERSION_LINE = "Corvan 3.1";
constexpr const char* KERNELS_FLAG = "--kernels=";

void printHelp() {
  std::printf(
      "Usage: corvan [OPTION] [COMMAND]\n"
      "\n"
      "Corvan is a UCI chess engine. Without a command it reads UCI commands on\n"
      "standard input and answers on standard output: register it in a chess GUI\n"
      "as a UCI engine. Beside the protocol it understands \"d\", \"eval\",\n"
      "\"go perft N\" and \"bench\" there (see corvan(6)).\n"
      "\n"
      "Commands:\n"
      "  bench [HASH] [THREADS] [DEPTH]\n"
      "                  search the ten benchmark positions (defaults: 256 MB hash,\n"
      "                  1 thread, depth 14), then print the total node count, the\n"
      "                  time and the nodes per second\n"
      "  pgo             the same benchmark with the defaults; its last line, the\n"
      "                  node count, is the search's regression signature\n"
      "\n"
      "Options:\n"
      "  -h, --help      print this text and exit\n"
      "  -v, --version   print the version and the network kernels, and exit\n"
      "  --kernels=SET   for testing: evaluate with the network kernels SET (one of\n"
      "                  those --version lists as built) instead of the fastest that\n"
      "                  the processor runs\n");
}

void printVersion() {
  std::printf("%s\nBuild: %s\nNetwork kernels: %s (built:", VERSION_LINE,
              distributionBuild ? "distribution, for any x86-64 processor"
                                : "native, for processors with the instruction sets it was compiled for",
              activeKernels->name);
  for (int i = 0; i < builtKernelCount; ++i) std::printf(" %s", builtKernels[i]->name);
  std::printf(")\n");
}

// Problems with the command line go to standard error with exit status 2.
int usageError(const std::string& message) {
  std::fprintf(stderr, "corvan: %s\nTry 'corvan --help' for the usage.\n", message.c_str());
  return 2;
}

}  // namespace

int commandLineMain(int argc, char** argv) {
  bool help = false, version = false;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "-v" || arg == "--version") {
      version = true;
    } else if (arg.compare(0, std::strlen(KERNELS_FLAG), KERNELS_FLAG) == 0) {
      const std::string name = arg.substr(std::strlen(KERNELS_FLAG));
      const NetworkKernels* kernels = findKernels(name.c_str());
      if (!kernels) return usageError("no network kernels named '" + name + "' in this build (see --version)");
      if (!kernels->processorRuns()) return usageError("this processor cannot run the " + name + " kernels");
      activeKernels = kernels;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option '" + arg + "'");
    } else {
      words.push_back(arg);
    }
  }
  if (help) {
    printHelp();
    return 0;
  }
  if (version) {
    printVersion();
    return 0;
  }
  if (words.empty()) {
    char* loopArguments[] = {argv[0], nullptr};
    return engineMain(1, loopArguments);
  }
  // "pgo" exactly as the engine has always run it: the only argument, matched
  // on its first three letters.
  if (words.size() == 1 && words[0].compare(0, 3, "pgo") == 0) {
    char* pgoArguments[] = {argv[0], words[0].data(), nullptr};
    return engineMain(2, pgoArguments);
  }
  if (words[0] == "bench") {
    std::string settingsText;
    for (size_t i = 1; i < words.size(); ++i) settingsText += " " + words[i];
    BenchSettings settings;
    if (!parseBenchSettings(settingsText.c_str(), settings)) return usageError(std::string("usage: ") + BENCH_USAGE);
    initEngine();
    runBenchCommand(settings);
    return 0;
  }
  if (words[0].compare(0, 3, "pgo") == 0) return usageError("pgo takes no arguments");
  return usageError("unknown command '" + words[0] + "'");
}
