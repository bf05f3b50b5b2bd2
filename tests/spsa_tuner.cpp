// The tuner's arithmetic, its parameter file and its resumable state.
#include <gtest/gtest.h>

#include "spsa.h"

namespace {

SpsaRun twoParams() {
  SpsaRun run;
  std::string error;
  EXPECT_TRUE(parseParams("MARGIN 50 20 60 4 0.002  # a comment\n\nDEPTH 3 1 8 1 0.01\n", run.params, error))
      << error;
  run.iterations = 100;
  run.seed = 7;
  return run;
}

TEST(SpsaTuner, ScheduleEndsAtTheGivenPerturbationAndRate) {
  SpsaRun run = twoParams();
  const SpsaParam& margin = run.params[0];
  EXPECT_DOUBLE_EQ(perturbationAt(margin, 100, 100), 4.0);
  EXPECT_DOUBLE_EQ(stepAt(margin, 100, 100), 0.002 * 4.0);
  EXPECT_GT(perturbationAt(margin, 1, 100), 4.0);
  EXPECT_GT(stepAt(margin, 1, 100), stepAt(margin, 50, 100));

  // The signs are the same for the same iteration (a resumed run) and
  // differ between iterations.
  EXPECT_EQ(perturbationSigns(7, 3, 64), perturbationSigns(7, 3, 64));
  EXPECT_NE(perturbationSigns(7, 3, 64), perturbationSigns(7, 4, 64));

  // Plus and minus straddle the value, clamped to the range and rounded:
  // c_1 is 6.37 for MARGIN and 1.59 for DEPTH; from 58, MARGIN meets its
  // maximum of 60.
  const std::vector<int> signs = {1, -1};
  std::vector<int> plus, minus;
  perturbedValues(run, 1, signs, plus, minus);
  EXPECT_EQ(plus[0], 56);
  EXPECT_EQ(minus[0], 44);
  EXPECT_EQ(plus[1], 1);
  EXPECT_EQ(minus[1], 5);
  run.params[0].value = 58;
  perturbedValues(run, 1, signs, plus, minus);
  EXPECT_EQ(plus[0], 60);

  // A won iteration moves each value the way its sign pointed, a lost one back.
  applyResult(run, 1, signs, 3);
  EXPECT_GT(run.params[0].value, 58);
  EXPECT_LT(run.params[1].value, 3);
  EXPECT_EQ(run.done, 1);
  applyResult(run, 2, signs, -100000);
  EXPECT_EQ(run.params[0].value, 20);  // held in its range
  EXPECT_EQ(run.params[1].value, 8);
}

TEST(SpsaTuner, BadParameterLinesAreRefusedByLine) {
  const char* const bad[] = {
      "",                              // nothing to tune
      "A 1 0 2 1\n",                   // a field missing
      "A 1 0 2 1 0.002 extra\n",       // one too many
      "A x 0 2 1 0.002\n",             // not a number
      "A 3 0 2 1 0.002\n",             // start outside the range
      "A 1 2 0 1 0.002\n",             // min above max
      "A 1 0 2 0 0.002\n",             // no perturbation
      "A 1 0 2 1 -1\n",                // negative rate
      "A 1 0 2 1 0.002\nA 1 0 2 1 0.002\n",  // twice
  };
  for (const char* text : bad) {
    std::vector<SpsaParam> params;
    std::string error;
    EXPECT_FALSE(parseParams(text, params, error)) << text;
    EXPECT_FALSE(error.empty());
  }
}

TEST(SpsaTuner, StateRoundTripsAndRefusesOtherRuns) {
  SpsaRun run = twoParams();
  applyResult(run, 1, {1, 1}, 2);
  const std::string state = formatState(run);

  SpsaRun resumed = twoParams();
  std::string error;
  ASSERT_TRUE(readState(state, resumed, error)) << error;
  EXPECT_EQ(resumed.done, 1);
  EXPECT_EQ(resumed.seed, 7u);
  EXPECT_EQ(resumed.params[0].value, run.params[0].value);  // exactly
  EXPECT_EQ(resumed.params[1].value, run.params[1].value);

  SpsaRun other;
  ASSERT_TRUE(parseParams("MARGIN 50 20 60 4 0.002\n", other.params, error));
  EXPECT_FALSE(readState(state, other, error));
  EXPECT_FALSE(readState("some other file\n", resumed, error));
  EXPECT_FALSE(readState(state.substr(0, state.find("done")), resumed, error));  // truncated
}

}  // namespace
