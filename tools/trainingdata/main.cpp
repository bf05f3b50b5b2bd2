// corvan-trainingdata: looks into training data files and fits the win,
// draw and loss model to them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/usage.h"
#include "trainingdata/datafile.h"
#include "trainingdata/record.h"
#include "trainingdata/wdlfit.h"

namespace {

const char* USAGE =
    "usage: corvan-trainingdata print FILE [COUNT]\n"
    "       corvan-trainingdata check FILE...\n"
    "       corvan-trainingdata wdl-fit [--test FILE]... FILE...\n"
    "Training data files of corvan-datagen.\n"
    "  print     the first COUNT positions (all without COUNT) as lines\n"
    "            'FEN;SCORE;RESULT', score and result from the side to move's view,\n"
    "            the form corvan-datagen --convert reads\n"
    "  check     counts each file's positions, malformed records and torn tail;\n"
    "            exit status 1 when a file is refused\n"
    "  wdl-fit   fits the model of UCI_ShowWDL to the positions of FILE... (their\n"
    "            search scores against the game results) and prints its\n"
    "            coefficients for src/eval/wdl.cpp, with the calibration by score\n"
    "            band on the --test files (held-out games) and on the fitted ones\n"
    "  -h, --help  print this text and exit\n";

int fail(const char* message) { return usageError("corvan-trainingdata", message, USAGE); }

// Reads a file whole; a refused file is reported and gives false.
bool readAll(const std::string& path, std::vector<uint8_t>& records) {
  const DataReadReport report = readDataFile(path, records);
  if (!report.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), report.error.c_str());
    return false;
  }
  return true;
}

int printPositions(const std::string& path, uint64_t count) {
  std::vector<uint8_t> records;
  if (!readAll(path, records)) return 1;
  const uint64_t n = std::min<uint64_t>(count, records.size() / RECORD_BYTES);
  for (uint64_t i = 0; i < n; ++i) {
    TrainingPosition p;
    if (!unpackRecord(&records[i * RECORD_BYTES], p)) continue;
    std::printf("%s;%d;%d\n", positionFen(p).c_str(), p.score, p.result);
  }
  return 0;
}

int checkFiles(const std::vector<std::string>& paths) {
  int status = 0;
  for (const std::string& path : paths) {
    std::vector<uint8_t> records;
    const DataReadReport r = readDataFile(path, records);
    if (!r.error.empty()) {
      std::printf("%s: refused: %s\n", path.c_str(), r.error.c_str());
      status = 1;
      continue;
    }
    std::printf("%s: %llu positions, %llu malformed records, %llu bytes of a torn record\n", path.c_str(),
                (unsigned long long)r.records, (unsigned long long)r.malformed, (unsigned long long)r.tailBytes);
  }
  return status;
}

bool addToTable(const std::string& path, WdlTable& table) {
  std::vector<uint8_t> records;
  if (!readAll(path, records)) return false;
  for (size_t i = 0; i + RECORD_BYTES <= records.size(); i += RECORD_BYTES) {
    TrainingPosition p;
    if (!unpackRecord(&records[i], p)) continue;
    table.add(p);
  }
  return true;
}

void printCalibration(const char* title, const WdlTable& table, const WdlModel& model) {
  std::printf("%s: %llu positions, log-loss %.5f\n", title, (unsigned long long)table.positions,
              wdlLogLoss(table, model));
  std::printf("  |score| cp    positions   win pred/seen   draw pred/seen   loss pred/seen\n");
  for (const WdlBand& b : wdlCalibration(table, model))
    std::printf("  %4d..%-4d  %11llu   %5.3f / %5.3f   %5.3f / %5.3f    %5.3f / %5.3f\n", b.low, b.high,
                (unsigned long long)b.positions, b.predicted[0], b.observed[0], b.predicted[1], b.observed[1],
                b.predicted[2], b.observed[2]);
}

int fitModel(const std::vector<std::string>& fitFiles, const std::vector<std::string>& testFiles) {
  WdlTable fit, test;
  for (const std::string& f : fitFiles)
    if (!addToTable(f, fit)) return 1;
  for (const std::string& f : testFiles)
    if (!addToTable(f, test)) return 1;
  if (!fit.positions) return fail("no positions to fit");
  const WdlModel start = {{150, 0, 0, 0}, {100, 0, 0, 0}, 0.5};
  const WdlModel model = fitWdlModel(fit, start, 4000);
  std::printf("const WdlModel WDL_MODEL = {\n    {%.2f, %.2f, %.2f, %.2f},\n    {%.2f, %.2f, %.2f, %.2f},\n    %.3f,\n};\n",
              model.centre[0], model.centre[1], model.centre[2], model.centre[3], model.width[0], model.width[1],
              model.width[2], model.width[3], model.zeroDraw);
  for (int material : {12, 24, 40, 58, 78}) {
    const WdlProbabilities p = wdlProbabilities(100, material, model);
    std::printf("material %2d: +100 cp wins %.3f, draws %.3f, loses %.3f\n", material, p.win, p.draw, p.loss);
  }
  printCalibration("fitted", fit, model);
  if (test.positions) printCalibration("held out", test, model);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return fail("no command");
  const std::string command = args[0];
  if (command == "print" && (args.size() == 2 || args.size() == 3)) {
    char* end = nullptr;
    const uint64_t count = args.size() == 3 ? std::strtoull(args[2].c_str(), &end, 10) : UINT64_MAX;
    if (end && *end) return fail("COUNT must be a number");
    return printPositions(args[1], count);
  }
  if (command == "check" && args.size() >= 2) return checkFiles({args.begin() + 1, args.end()});
  if (command == "wdl-fit") {
    std::vector<std::string> fitFiles, testFiles;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--test" && i + 1 < args.size())
        testFiles.push_back(args[++i]);
      else if (args[i].size() > 1 && args[i][0] == '-')
        return fail(("unknown option '" + args[i] + "'").c_str());
      else
        fitFiles.push_back(args[i]);
    }
    if (fitFiles.empty()) return fail("wdl-fit needs a FILE");
    return fitModel(fitFiles, testFiles);
  }
  return fail(("bad command or arguments: '" + command + "'").c_str());
}
