// corvan-train: trains the engine's network on self-play data and exports
// network images. Everything runs on the CPU, on --threads workers.
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "common/usage.h"
#include "adam.h"
#include "export.h"
#include "eval/network.h"
#include "model.h"
#include "trainer.h"
#include "trainingdata/datafile.h"

namespace {

const char* USAGE =
    "usage: corvan-train --data FILE [--data FILE ...] --dir DIR [options]\n"
    "       corvan-train --export CHECKPOINT OUT.nnue\n"
    "Trains the network on training data files (corvan-datagen's format). DIR\n"
    "receives the checkpoint (DIR/last.ckpt, resumed automatically when present)\n"
    "and a network image per epoch (DIR/epoch-N.nnue) plus DIR/final.nnue.\n"
    "  --epochs N          epochs in all, counting resumed ones (10)\n"
    "  --epoch-size N      positions per epoch (0: the whole training split)\n"
    "  --batch N           positions per step (4096)\n"
    "  --lr X              Adam learning rate (0.001)\n"
    "  --lr-decay X        learning rate factor per epoch (0.75)\n"
    "  --lr-drop N X       from epoch N on (1 = the first) the rate is also multiplied\n"
    "                      by X: the late drop of a long run (none)\n"
    "  --output-lr X       learning rate multiplier of the output layer (20)\n"
    "  --king-lr X         learning rate multiplier of the rows of one king square (1)\n"
    "  --result-weight X   weight of the game result in the target (0.5)\n"
    "  --scale K           centipawns per unit of the sigmoid (400)\n"
    "  --threads N         worker threads (2)\n"
    "  --validation N      permille of positions held out (20)\n"
    "  --float             train without rounding the hidden weights\n"
    "  --no-mirror         never reverse the files of positions without castling rights\n"
    "  --init IMAGE        start from a network image instead of random weights\n"
    "  --seed S            initial weights and shuffling (1)\n"
    "  -h, --help          print this text and exit\n";

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

// Samples of the validation split: the image's output in the engine's
// integers against the float model's, as an export check. The image is the
// network in use from here on; nothing else in the trainer evaluates.
void reportExport(const Model& model, const std::vector<uint8_t>& image, const TrainingData& data) {
  useNetwork(image.data());
  ForwardWeights fw;
  fw.prepare(model, true);
  Activations a(model.shape);
  Sample s;
  double squares = 0;
  int n = 0, worst = 0;
  for (size_t k = 0; k < data.validation.size() && n < 10000; ++k) {
    if (!makeSample(data.record(data.validation[k]), 400.0f, 0.0f, s)) continue;
    const int32_t* rows[2] = {s.rows[0], s.rows[1]};
    const int integer = engineOutput(rows, s.count);
    const float real = forward(model, fw, s, a);
    squares += (integer - real) * (integer - real);
    worst = std::max(worst, int(std::abs(integer - real)));
    ++n;
  }
  if (n) std::fprintf(stderr, "export: image vs float model on %d positions: rms %.2f cp, worst %d cp\n", n,
                      std::sqrt(squares / n), worst);
}

int exportCheckpoint(const std::string& checkpoint, const std::string& out) {
  Model model;
  AdamState adam(model);
  int epoch = 0;
  std::string error;
  if (!loadCheckpoint(checkpoint, model, adam, epoch, error)) {
    std::fprintf(stderr, "corvan-train: %s\n", error.c_str());
    return 1;
  }
  if (!writeFile(out, exportImage(model))) {
    std::fprintf(stderr, "corvan-train: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  TrainSettings settings;
  std::vector<std::string> files;
  std::string dir, init;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--export" && i + 2 < argc) return exportCheckpoint(argv[i + 1], argv[i + 2]);
    if (a == "--data" && more) files.push_back(argv[++i]);
    else if (a == "--dir" && more) dir = argv[++i];
    else if (a == "--epochs" && more) settings.epochs = std::atoi(argv[++i]);
    else if (a == "--epoch-size" && more) settings.epochPositions = std::atoll(argv[++i]);
    else if (a == "--batch" && more) settings.batch = std::max(1, std::atoi(argv[++i]));
    else if (a == "--lr" && more) settings.adam.lr = std::strtof(argv[++i], nullptr);
    else if (a == "--lr-decay" && more) settings.lrDecay = std::strtof(argv[++i], nullptr);
    else if (a == "--lr-drop" && i + 2 < argc) {
      settings.lrDropEpoch = std::max(0, std::atoi(argv[++i]) - 1);
      settings.lrDropFactor = std::strtof(argv[++i], nullptr);
    }
    else if (a == "--output-lr" && more) settings.adam.outputLrScale = std::strtof(argv[++i], nullptr);
    else if (a == "--king-lr" && more) settings.adam.kingRowLrScale = std::strtof(argv[++i], nullptr);
    else if (a == "--result-weight" && more) settings.resultWeight = std::strtof(argv[++i], nullptr);
    else if (a == "--scale" && more) settings.scale = std::strtof(argv[++i], nullptr);
    else if (a == "--threads" && more) settings.threads = std::max(1, std::atoi(argv[++i]));
    else if (a == "--validation" && more) settings.validationPermille = std::atoi(argv[++i]);
    else if (a == "--float") settings.quantised = false;
    else if (a == "--no-mirror") settings.mirror = false;
    else if (a == "--init" && more) init = argv[++i];
    else if (a == "--seed" && more) settings.seed = std::strtoull(argv[++i], nullptr, 10);
    else {
      std::fprintf(stderr, "corvan-train: bad or incomplete argument '%s'\n%s", argv[i], USAGE);
      return 2;
    }
  }
  if (files.empty() || dir.empty() || settings.scale <= 0) {
    std::fprintf(stderr, "%s", USAGE);
    return 2;
  }
  ::mkdir(dir.c_str(), 0755);

  TrainingData data;
  for (const std::string& file : files) {
    const DataReadReport r = readDataFile(file, data.records);
    if (!r.error.empty()) {
      std::fprintf(stderr, "corvan-train: skipping %s\n", r.error.c_str());
      continue;
    }
    std::fprintf(stderr, "%s: %llu positions", file.c_str(), static_cast<unsigned long long>(r.records));
    if (r.malformed) std::fprintf(stderr, ", %llu malformed records skipped", static_cast<unsigned long long>(r.malformed));
    if (r.tailBytes) std::fprintf(stderr, ", a torn last record (%llu bytes) skipped", static_cast<unsigned long long>(r.tailBytes));
    std::fprintf(stderr, "\n");
  }
  data.split(settings.validationPermille);
  std::fprintf(stderr, "training on %zu positions, validating on %zu\n", data.train.size(), data.validation.size());
  if (data.train.empty()) return 1;

  Model model;
  AdamState adam(model);
  int epoch = 0;
  const std::string checkpoint = dir + "/last.ckpt";
  std::string error;
  struct stat info;
  if (::stat(checkpoint.c_str(), &info) == 0) {
    if (!loadCheckpoint(checkpoint, model, adam, epoch, error)) {
      std::fprintf(stderr, "corvan-train: %s\n", error.c_str());
      return 1;
    }
    std::fprintf(stderr, "resuming %s at epoch %d\n", checkpoint.c_str(), epoch + 1);
  } else if (!init.empty()) {
    std::vector<uint8_t> image;
    if (!readFile(init, image) || !importImage(image, model)) {
      std::fprintf(stderr, "corvan-train: %s is not a network image this engine can load\n", init.c_str());
      return 1;
    }
    std::fprintf(stderr, "starting from %s; %d idle lanes woken\n", init.c_str(), model.wakeIdleLanes(settings.seed));
  } else {
    model.initialise(settings.seed);
  }

  std::fprintf(stderr, "validation loss before epoch %d: %.6f\n", epoch + 1,
               meanLoss(model, data, data.validation, settings));
  for (; epoch < settings.epochs; ++epoch) {
    const double trainLoss = trainEpoch(model, adam, data, settings, epoch, "train");
    const double validationLoss = meanLoss(model, data, data.validation, settings);
    TrainSettings scoresOnly = settings;
    scoresOnly.resultWeight = 0.0f;
    std::fprintf(stderr, "epoch %d: training loss %.6f  validation loss %.6f  (against scores alone %.6f)\n",
                 epoch + 1, trainLoss, validationLoss, meanLoss(model, data, data.validation, scoresOnly));
    if (!saveCheckpoint(checkpoint, model, adam, epoch + 1)) std::fprintf(stderr, "corvan-train: checkpoint failed\n");
    const std::vector<uint8_t> image = exportImage(model);
    writeFile(dir + "/epoch-" + std::to_string(epoch + 1) + ".nnue", image);
    reportExport(model, image, data);
  }
  writeFile(dir + "/final.nnue", exportImage(model));
  return 0;
}
