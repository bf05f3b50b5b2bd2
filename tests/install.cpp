// What a packager gets from "make install": the engine and its manual page
// under DESTDIR and the prefix, a page that man renders, and a page (and a
// README) that name every option and command the program has.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "support/engine_process.h"
#include "support/paths.h"

namespace {

std::string shell(const std::string& command, int* status) {
  return runWithInput({"/bin/sh", "-c", command + " 2>&1"}, "", status, 60000);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(Install, PutsTheEngineAndItsManualUnderDestdirAndPrefix) {
  char pattern[] = "/tmp/corvan-install-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  int status = -1;
  std::string out = shell("DESTDIR=" + root + " cmake --install " + CORVAN_BUILD_DIR + " --prefix /usr", &status);
  EXPECT_EQ(status, 0) << out;
  const std::string engine = root + "/usr/bin/corvan", page = root + "/usr/share/man/man6/corvan.6";
  EXPECT_EQ(access(engine.c_str(), X_OK), 0);
  shell(engine + " --version", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(readFile(page), readFile(std::string(CORVAN_SOURCE_DIR) + "/doc/corvan.6"));

  shell("command -v man", &status);
  if (status == 0) {
    std::string manual = shell("MANWIDTH=80 man -l " + page, &status);
    EXPECT_EQ(status, 0) << manual;
    EXPECT_NE(manual.find("CORVAN(6)"), std::string::npos) << manual;
  }
  shell("command -v groff", &status);
  if (status == 0) {
    EXPECT_EQ(shell("groff -man -Tutf8 -ww -z " + page, &status), "");
  }
  std::filesystem::remove_all(root);
}

TEST(Install, ManualAndReadmeNameEveryOptionAndCommand) {
  std::string manual = readFile(std::string(CORVAN_SOURCE_DIR) + "/doc/corvan.6");
  const std::string readme = readFile(std::string(CORVAN_SOURCE_DIR) + "/README.md");
  // The page's source writes a minus sign as "\-".
  for (size_t at; (at = manual.find("\\-")) != std::string::npos;) manual.erase(at, 1);
  std::istringstream uci(runWithInput({buildPath("corvan")}, "uci\nquit\n"));
  int options = 0;
  for (std::string line; std::getline(uci, line);) {
    if (line.rfind("option name ", 0) != 0) continue;
    std::string name = line.substr(12, line.find(" type ") - 12);
    EXPECT_NE(manual.find(name), std::string::npos) << name;
    EXPECT_NE(readme.find("| " + name + " |"), std::string::npos) << name;
    ++options;
  }
  EXPECT_GT(options, 10);
  for (const char* word : {"--help", "--version", "--kernels=", "bench", "pgo", "eval", "go perft", "polyglot"}) {
    EXPECT_NE(manual.find(word), std::string::npos) << word;
    EXPECT_NE(readme.find(word), std::string::npos) << word;
  }
}
