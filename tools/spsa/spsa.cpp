#include "spsa.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

constexpr double ALPHA = 0.602;
constexpr double GAMMA = 0.101;

bool parseParams(const std::string& text, std::vector<SpsaParam>& params, std::string& error) {
  params.clear();
  std::istringstream in(text);
  std::string line;
  std::set<std::string> names;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    SpsaParam p;
    if (!(fields >> p.name)) continue;
    std::string rest;
    if (!(fields >> p.value >> p.min >> p.max >> p.cEnd >> p.rEnd) || (fields >> rest)) {
      error = "line " + std::to_string(number) + ": expected NAME START MIN MAX C_END R_END";
      return false;
    }
    if (!(p.min <= p.max) || !(p.value >= p.min && p.value <= p.max) || !(p.cEnd > 0) || !(p.rEnd > 0) ||
        !std::isfinite(p.max - p.min) || !std::isfinite(p.cEnd * p.rEnd)) {
      error = "line " + std::to_string(number) + ": " + p.name +
              " needs MIN <= START <= MAX and positive C_END and R_END";
      return false;
    }
    if (!names.insert(p.name).second) {
      error = "line " + std::to_string(number) + ": " + p.name + " appears twice";
      return false;
    }
    params.push_back(p);
  }
  if (params.empty()) {
    error = "no parameters";
    return false;
  }
  return true;
}

// splitmix64: a well-mixed 64-bit value from any seed.
static uint64_t mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::vector<int> perturbationSigns(uint64_t seed, int k, size_t count) {
  std::vector<int> signs(count);
  uint64_t state = mix(seed ^ mix(uint64_t(k)));
  for (size_t i = 0; i < count; ++i) {
    state = mix(state);
    signs[i] = (state >> 63) ? 1 : -1;
  }
  return signs;
}

double perturbationAt(const SpsaParam& p, int k, int n) {
  return p.cEnd * std::pow(double(n), GAMMA) / std::pow(double(k), GAMMA);
}

double stepAt(const SpsaParam& p, int k, int n) {
  const double bigA = 0.1 * n;
  const double aEnd = p.rEnd * p.cEnd * p.cEnd;
  const double a = aEnd * std::pow(bigA + n, ALPHA);
  return a / std::pow(bigA + k, ALPHA) / perturbationAt(p, k, n);
}

void perturbedValues(const SpsaRun& run, int k, const std::vector<int>& signs, std::vector<int>& plus,
                     std::vector<int>& minus) {
  plus.clear();
  minus.clear();
  for (size_t i = 0; i < run.params.size(); ++i) {
    const SpsaParam& p = run.params[i];
    const double c = perturbationAt(p, k, run.iterations) * signs[i];
    plus.push_back(int(std::lround(std::clamp(p.value + c, p.min, p.max))));
    minus.push_back(int(std::lround(std::clamp(p.value - c, p.min, p.max))));
  }
}

void applyResult(SpsaRun& run, int k, const std::vector<int>& signs, int64_t score) {
  for (size_t i = 0; i < run.params.size(); ++i) {
    SpsaParam& p = run.params[i];
    p.value = std::clamp(p.value + stepAt(p, k, run.iterations) * double(score) * signs[i], p.min, p.max);
  }
  run.done = k;
}

std::string formatState(const SpsaRun& run) {
  std::string out = "corvan-spsa state\n";
  char line[512];
  std::snprintf(line, sizeof line, "iterations %d\ndone %d\nseed %llu\n", run.iterations, run.done,
                static_cast<unsigned long long>(run.seed));
  out += line;
  for (const SpsaParam& p : run.params) {
    // %.17g: the value read back is the value written.
    std::snprintf(line, sizeof line, "param %s %.17g %.17g %.17g %.17g %.17g\n", p.name.c_str(), p.value, p.min,
                  p.max, p.cEnd, p.rEnd);
    out += line;
  }
  return out;
}

bool readState(const std::string& text, SpsaRun& run, std::string& error) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "corvan-spsa state") {
    error = "not a corvan-spsa state file";
    return false;
  }
  SpsaRun read;
  read.iterations = -1;
  read.done = -1;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key;
    if (!(fields >> key)) continue;
    bool ok = true;
    if (key == "iterations") {
      ok = bool(fields >> read.iterations);
    } else if (key == "done") {
      ok = bool(fields >> read.done);
    } else if (key == "seed") {
      ok = bool(fields >> read.seed);
    } else if (key == "param") {
      SpsaParam p;
      ok = bool(fields >> p.name >> p.value >> p.min >> p.max >> p.cEnd >> p.rEnd);
      read.params.push_back(p);
    } else {
      ok = false;
    }
    if (!ok) {
      error = "unreadable state line: " + line.substr(0, 80);
      return false;
    }
  }
  if (read.iterations < 1 || read.done < 0 || read.done > read.iterations) {
    error = "the state's iteration counts are missing or inconsistent";
    return false;
  }
  if (read.params.size() != run.params.size()) {
    error = "the state holds other parameters than the parameter file";
    return false;
  }
  for (size_t i = 0; i < read.params.size(); ++i) {
    const SpsaParam& p = read.params[i];
    if (p.name != run.params[i].name || !(p.value >= p.min && p.value <= p.max)) {
      error = "the state holds other parameters than the parameter file (" + p.name + ")";
      return false;
    }
  }
  run = read;
  return true;
}
