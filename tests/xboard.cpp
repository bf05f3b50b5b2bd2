// XBoard users: a short game of the engine against itself through the
// Polyglot adapter, two adapters as XBoard runs two engines, with pondering
// and clocks (scripts/xboard-game.sh). Skips when polyglot is not installed.
#include <gtest/gtest.h>

#include <string>

#include "support/engine_process.h"
#include "support/paths.h"

TEST(XBoard, PlaysAShortGameThroughPolyglot) {
  int status = -1;
  std::string script = std::string(CORVAN_SOURCE_DIR) + "/scripts/xboard-game.sh";
  std::string out = runWithInput({"/bin/sh", "-c", script + " " + buildPath("corvan") + " 20 2>&1"}, "", &status,
                                 120000);
  if (status == 77) GTEST_SKIP() << out;
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Game over after "), std::string::npos) << out;
  EXPECT_EQ(out.find("xboard-game.sh:"), std::string::npos) << out;
}
