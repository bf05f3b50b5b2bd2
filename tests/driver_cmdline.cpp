// The program's command line, the benchmark command, and the network kernel
// sets: every set this processor runs must search exactly the same tree, and
// a distribution build must run on processors without AVX.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "eval/kernels.h"
#include "support/engine_process.h"
#include "support/paths.h"

namespace {

// Standard output and standard error together, and the exit status.
std::string runCommand(const std::string& arguments, int* status, const std::string& input = "") {
  return runWithInput({"/bin/sh", "-c", "exec " + arguments + " 2>&1"}, input, status, 120000);
}

std::string engine() { return buildPath("corvan"); }

std::string lastValue(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  std::string value;
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) value = line.substr(prefix.size());
  return value;
}

}  // namespace

TEST(CommandLine, ExplainsEveryArgumentItDoesNotRun) {
  const struct {
    const char* arguments;
    int status;
    const char* output;  // text the output must contain
  } cases[] = {
      {"--help", 0, "Usage: corvan [OPTION] [COMMAND]"},
      {"-h", 0, "Commands:"},
      {"--version", 0, "Corvan 3.1"},
      {"-v --kernels=scalar", 0, "Network kernels: scalar (built:"},
      {"play", 2, "corvan: unknown command 'play'"},
      {"--hash=16", 2, "corvan: unknown option '--hash=16'"},
      {"pgo extra", 2, "corvan: pgo takes no arguments"},
      {"bench 16 0", 2, "corvan: usage: bench [HASH 1..1048576 MB] [THREADS 1..512] [DEPTH 1..127]"},
      {"bench 16 1 5 5", 2, "corvan: usage: bench"},
      {"bench x", 2, "corvan: usage: bench"},
      {"--kernels=mmx --version", 2, "corvan: no network kernels named 'mmx' in this build (see --version)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    int status = -1;
    std::string out = runCommand(engine() + " " + c.arguments, &status);
    EXPECT_EQ(status, c.status);
    EXPECT_NE(out.find(c.output), std::string::npos) << out;
    if (c.status) {
      EXPECT_NE(out.find("Try 'corvan --help' for the usage.\n"), std::string::npos);
    }
  }
  // The version names the engine as the "uci" reply does.
  int status = -1;
  std::string uci = runCommand(engine(), &status, "uci\nquit\n");
  EXPECT_EQ(uci.substr(0, uci.find('\n')), "id name " + runCommand(engine() + " --version", &status).substr(0, 10));
}

// Every program of the build prints its usage for --help on standard output
// with status 0, and refuses an unknown option with the usage on standard
// error and status 2.
TEST(CommandLine, EveryProgramAnswersHelpAndRefusesAnUnknownOption) {
  for (const char* program : {"corvan", "corvan-book", "corvan-datagen", "corvan-magics", "corvan-match",
                              "corvan-netbuild", "corvan-perft", "corvan-stress", "corvan-tbgen", "corvan-train",
                              "corvan-trainingdata"}) {
    SCOPED_TRACE(program);
    int status = -1;
    const std::string help = runWithInput({buildPath(program), "--help"}, "", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("sage: "), std::string::npos) << help;
    const std::string wrong = runWithInput({buildPath(program), "--no-such-option"}, "", &status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(wrong, "");
  }
}

// The same benchmark from the command line and on the loop, whatever the
// options were: the loop's run uses the defaults, then restores the options
// and starts again from the start position.
TEST(CommandLine, BenchEndsWithNodesTimeAndSpeed) {
  int status = -1;
  std::string out = runCommand(engine() + " bench 16 1 6", &status);
  EXPECT_EQ(status, 0);
  std::string nodes = lastValue(out, "Total nodes searched: ");
  ASSERT_FALSE(nodes.empty());
  size_t total = out.rfind("Total nodes searched: ");
  std::string tail = out.substr(total);
  EXPECT_NE(tail.find("\nTotal time (ms): "), std::string::npos);
  EXPECT_NE(tail.find("\nNodes/second: "), std::string::npos);
  EXPECT_EQ(std::count(tail.begin(), tail.end(), '\n'), 3);

  std::string loop = runCommand(engine(), &status,
                                "setoption name MultiPV value 3\nsetoption name Hash value 1\n"
                                "setoption name BookFile value mine.bin\n"
                                "position startpos moves e2e4\nbench 16 1 6\nd\nbench 16 1 6 1\nuci\nquit\n");
  EXPECT_EQ(lastValue(loop, "Total nodes searched: "), nodes);
  EXPECT_EQ(lastValue(loop, "Fen: "), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  EXPECT_NE(loop.find("info string usage: bench [HASH"), std::string::npos);
  EXPECT_NE(loop.find("option name BookFile type string default mine.bin\n"), std::string::npos);
  EXPECT_EQ(status, 0);
}

// The forced-kernel switch runs each set the processor supports; sets it
// lacks are refused. A vector set that differed from the scalar one by a
// single bit would change the node count.
TEST(CommandLine, EveryKernelSetSearchesTheSameTree) {
  std::string reference;
  for (int i = 0; i < builtKernelCount; ++i) {
    const NetworkKernels& kernels = *builtKernels[i];
    SCOPED_TRACE(kernels.name);
    int status = -1;
    std::string out = runCommand(engine() + " --kernels=" + kernels.name + " bench 16 1 8", &status);
    if (!kernels.processorRuns()) {
      EXPECT_EQ(status, 2);
      EXPECT_NE(out.find("this processor cannot run the"), std::string::npos);
      continue;
    }
    EXPECT_EQ(status, 0);
    std::string nodes = lastValue(out, "Total nodes searched: ");
    ASSERT_FALSE(nodes.empty());
    if (reference.empty()) reference = nodes;
    EXPECT_EQ(nodes, reference);
  }
}

// Processor models of qemu's user-mode emulator, each with the kernels the
// distribution build must pick on it. The emulator has no AVX-512.
TEST(CommandLine, DistributionBuildPicksKernelsByProcessor) {
  if (!distributionBuild) GTEST_SKIP() << "not a distribution build (CORVAN_SIMD=dist)";
  int status = -1;
  runCommand("qemu-x86_64 --version", &status);
  if (status != 0) GTEST_SKIP() << "qemu-x86_64 (Debian qemu-user) is not installed";
  std::string reference = lastValue(runCommand(engine() + " --kernels=scalar bench 16 1 6", &status),
                                    "Total nodes searched: ");
  const struct {
    const char* model;
    const char* kernels;
  } cases[] = {{"qemu64", "scalar"}, {"Nehalem", "sse4.1"}, {"Haswell", "avx2"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    std::string qemu = std::string("qemu-x86_64 -cpu ") + c.model + " " + engine();
    std::string version = runCommand(qemu + " --version", &status);
    EXPECT_NE(version.find(std::string("Network kernels: ") + c.kernels + " "), std::string::npos) << version;
    EXPECT_EQ(lastValue(runCommand(qemu + " bench 16 1 6", &status), "Total nodes searched: "), reference);
    EXPECT_EQ(status, 0);
  }
}
