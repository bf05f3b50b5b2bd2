// Simultaneous perturbation stochastic approximation over engine options:
// each iteration plays the values moved one step up against the same
// values moved down (every parameter by its own random sign), and moves
// the values towards the side that scored more. The schedule is the usual
// one for engine tuning: perturbations c_k = c / k^0.101 and gains
// a_k = a / (A + k)^0.602 with A a tenth of the planned iterations, set so
// that at the last iteration the perturbation is the parameter's c_end and
// the step per point of score is its r_end * c_end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SpsaParam {
  std::string name;
  double value;  // current estimate
  double min, max;
  double cEnd, rEnd;
};

struct SpsaRun {
  std::vector<SpsaParam> params;
  int iterations = 0;  // planned, for the schedule
  int done = 0;        // finished and recorded
  uint64_t seed = 1;
};

// Reads "NAME START MIN MAX C_END R_END" lines (# comments, blank lines).
// False with a message naming the line on any fault: a missing or non-numeric
// field, MIN > MAX, START outside [MIN, MAX], C_END or R_END not positive, a
// name twice.
bool parseParams(const std::string& text, std::vector<SpsaParam>& params, std::string& error);

// The perturbation signs of iteration k (1-based): +1 or -1 each, fixed by
// the run's seed and k, so that a resumed run plays what it would have.
std::vector<int> perturbationSigns(uint64_t seed, int k, size_t count);

// c_k and a_k / c_k of parameter p at iteration k of a run of n.
double perturbationAt(const SpsaParam& p, int k, int n);
double stepAt(const SpsaParam& p, int k, int n);

// The option values both engines play at iteration k: value +- c_k, in range,
// rounded to integers.
void perturbedValues(const SpsaRun& run, int k, const std::vector<int>& signs, std::vector<int>& plus,
                     std::vector<int>& minus);

// Records iteration k's result: score is the plus side's wins minus losses.
void applyResult(SpsaRun& run, int k, const std::vector<int>& signs, int64_t score);

// The state file: the run's settings, the iterations done and every value.
// readState refuses (false, with a message) a file that is not one, or one
// whose parameters are not the params given.
std::string formatState(const SpsaRun& run);
bool readState(const std::string& text, SpsaRun& run, std::string& error);
