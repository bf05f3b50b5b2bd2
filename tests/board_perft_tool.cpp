#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "support/engine_process.h"
#include "support/paths.h"

namespace {

std::string perftTool() {
  std::string path = buildPath("corvan-perft");
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? path : std::string();
}

std::vector<std::string> outputLines(const std::vector<std::string>& argv) {
  EngineProcess tool(argv);
  std::vector<std::string> lines;
  std::string line;
  while (tool.readLine(line, 20000)) lines.push_back(line);
  EXPECT_EQ(tool.waitExit(), 0);
  return lines;
}

TEST(PerftTool, OneLinePerRootMoveThenTheTotal) {
  std::string tool = perftTool();
  if (tool.empty()) GTEST_SKIP() << "corvan-perft not built";
  std::vector<std::string> lines = outputLines({tool, "3"});
  ASSERT_GE(lines.size(), 21u);
  EXPECT_EQ(lines.back(), "Nodes searched: 8902");
  int moveLines = 0;
  for (const std::string& line : lines)
    if (line.size() > 6 && line[4] == ':') ++moveLines;
  EXPECT_EQ(moveLines, 20);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "g1f3: 440"), lines.end());
}

TEST(PerftTool, RookFileCastlingLettersSelectChess960Notation) {
  std::string tool = perftTool();
  if (tool.empty()) GTEST_SKIP() << "corvan-perft not built";
  std::vector<std::string> shredder = outputLines({tool, "1", "4k3/8/8/8/8/8/8/R3K2R w HA - 0 1"});
  EXPECT_NE(std::find(shredder.begin(), shredder.end(), "e1h1: 1"), shredder.end());
  EXPECT_EQ(shredder.back(), "Nodes searched: 26");
  std::vector<std::string> standard = outputLines({tool, "1", "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"});
  EXPECT_NE(std::find(standard.begin(), standard.end(), "e1g1: 1"), standard.end());
  std::vector<std::string> flagged = outputLines({tool, "1", "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "--960"});
  EXPECT_NE(std::find(flagged.begin(), flagged.end(), "e1a1: 1"), flagged.end());
}

}  // namespace
