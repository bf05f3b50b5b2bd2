// The stress tool against the engine for a short while: random well-formed
// sessions, every answer checked (the tool prints the fault and the last
// lines exchanged when one is found). Under the sanitizer build this runs
// the instrumented engine.
#include <gtest/gtest.h>

#include <string>

#include "support/engine_process.h"
#include "support/paths.h"

TEST(StressTool, RandomSessionsFindNoFault) {
  int status = -1;
  const std::string out = runWithInput(
      {buildPath("corvan-stress"), "--engine", buildPath("corvan"), "--seconds", "20", "--seed", "20261208"}, "",
      &status, 120000);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("no fault"), std::string::npos) << out;
}

TEST(StressTool, ReportsAnEngineThatBreaksTheProtocol) {
  // The scripted fake engine of the match tests, left without moves to play,
  // answers every search with 0000, which is illegal where moves exist.
  int status = -1;
  const std::string out = runWithInput(
      {buildPath("corvan-stress"), "--engine", buildPath("tests/match_fake_engine"), "--seconds", "5", "--seed", "1"}, "", &status,
      60000);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("FAULT: illegal 'bestmove 0000'"), std::string::npos) << out;
}
