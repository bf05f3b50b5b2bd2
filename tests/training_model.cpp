// The trainer's model: its gradients against finite differences, the
// folding of the virtual rows, the exported image against the engine's own
// evaluation, and a loss that falls on a small set.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "../tools/train/adam.h"
#include "../tools/train/export.h"
#include "../tools/train/model.h"
#include "../tools/train/trainer.h"
#include "eval/network.h"
#include "eval/nnue.h"
#include "support/board_helpers.h"
#include "support/network_images.h"

namespace {

// Positions of random games, as training samples and as engine boards.
std::vector<std::string> randomGameFens(int games, int plies, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> fens;
  for (int g = 0; g < games; ++g) {
    Board board;
    for (int ply = 0; ply < plies; ++ply) {
      std::vector<Move> moves = legalMoves(board.st());
      if (moves.empty()) break;
      playGameMove(*board.pos, moves[rng() % moves.size()]);
      fens.push_back(positionFen(positionFromState(board.st(), 1)));
    }
  }
  return fens;
}

Sample sampleOf(const std::string& fen, float target = 0.5f) {
  Board board(fen.c_str());
  const TrainingPosition p = positionFromState(board.st(), 1);
  Sample s;
  s.count[0] = perspectiveRows(p, 0, s.rows[0]);
  s.count[1] = perspectiveRows(p, 1, s.rows[1]);
  s.target = target;
  return s;
}

float lossOf(const Model& m, const std::vector<Sample>& samples) {
  ForwardWeights fw;
  fw.prepare(m, false);
  Activations a(m.shape);
  float total = 0;
  for (const Sample& s : samples) total += sampleLoss(forward(m, fw, s, a), s.target, 400.0f, nullptr);
  return total;
}

TEST(TrainerModel, GradientsMatchFiniteDifferences) {
  Model m(ModelShape{TRAIN_ROWS, 8, 4, 4});
  m.initialise(5);
  std::vector<Sample> samples;
  const std::vector<std::string> fens = randomGameFens(2, 12, 9);
  for (size_t i = 0; i < fens.size(); i += 4) samples.push_back(sampleOf(fens[i], i % 8 ? 0.9f : 0.1f));
  Gradients g(m);
  ForwardWeights fw;
  fw.prepare(m, false);
  Activations a(m.shape);
  for (const Sample& s : samples) {
    float gOut;
    sampleLoss(forward(m, fw, s, a), s.target, 400.0f, &gOut);
    backward(m, fw, s, a, gOut, g);
  }
  // One real row, its virtual rows and a weight of every dense block.
  const int real = samples[0].rows[0][0];
  int32_t virt[MAX_VIRTUAL_ROWS] = {};
  ASSERT_EQ(virtualRows(real, virt), 2);
  // The offset rows start at zero: give them a value to differentiate at.
  for (int i = 0; i < 8; ++i) m.w1[size_t(virt[1]) * 8 + i] = 0.3f * float(i % 3) - 0.2f;
  struct Probe {
    float* weight;
    float analytic;
  };
  const DenseLayout& L = m.layout;
  std::vector<Probe> probes = {
      {&m.w1[size_t(real) * 8 + 3], g.w1[size_t(real) * 8 + 3]},
      {&m.w1[size_t(virt[0]) * 8 + 5], g.w1[size_t(virt[0]) * 8 + 5]},
      {&m.w1[size_t(virt[1]) * 8 + 1], g.w1[size_t(virt[1]) * 8 + 1]},
  };
  for (size_t block : {L.b1 + 2, L.w2 + 9, L.b2 + 1, L.w3 + 6, L.b3 + 2, L.w4 + 1, L.b4})
    probes.push_back({&m.dense[block], g.dense[block]});
  for (const Probe& probe : probes) {
    const float saved = *probe.weight, h = 1e-2f;
    *probe.weight = saved + h;
    const float up = lossOf(m, samples);
    *probe.weight = saved - h;
    const float down = lossOf(m, samples);
    *probe.weight = saved;
    const float numeric = (up - down) / (2 * h);
    EXPECT_NEAR(probe.analytic, numeric, 1e-3f + 0.05f * std::fabs(numeric));
  }
}

TEST(TrainerModel, VirtualRowsFoldIntoEveryRealRowOnExport) {
  Model split;
  split.initialise(7);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> small(-0.5f, 0.5f);
  for (size_t i = size_t(OFFSET_ROW_BASE) * 256; i < split.w1.size(); ++i) split.w1[i] = small(rng);
  Model folded = split;
  for (int r = 0; r < CASTLE_KING_ROW; ++r) {
    int32_t virt[MAX_VIRTUAL_ROWS];
    const int count = virtualRows(r, virt);
    for (int i = 0; i < 256; ++i) {
      float& w = folded.w1[size_t(r) * 256 + i];
      for (int k = 0; k < count; ++k) w += split.w1[size_t(virt[k]) * 256 + i];
    }
  }
  std::fill(folded.w1.begin() + size_t(REAL_ROWS) * 256, folded.w1.end(), 0.0f);
  EXPECT_TRUE(exportImage(split) == exportImage(folded));
}

// The exported image, loaded into the engine, evaluates every position
// exactly as the engine's scalar layers do over the trainer's input rows,
// and close to the float model.
TEST(TrainerModel, EngineEvaluationOfAnExportEqualsTheIntegerPass) {
  Model m;
  m.initialise(11);
  // Make the output layer matter as a trained one would.
  for (size_t i = m.layout.w4; i < m.layout.b4; ++i) m.dense[i] *= 2.0f;
  const std::vector<uint8_t> bytes = exportImage(m);
  ASSERT_EQ(checkImage(bytes), "");
  ImageBuffer image = blankImage();
  std::memcpy(image.get(), bytes.data(), bytes.size());
  const uint8_t* previous = networkImage;
  useNetwork(image.get());

  ForwardWeights fw;
  fw.prepare(m, true);
  Activations a(m.shape);
  static NnueRecord records[1];
  double squares = 0;
  int n = 0;
  for (const std::string& fen : randomGameFens(20, 50, 13)) {
    Board board(fen.c_str());
    const Sample s = sampleOf(fen);
    const int32_t* rows[2] = {s.rows[0], s.rows[1]};
    const int integer = std::clamp(engineOutput(rows, s.count), -30966, 30966);
    records[0].computed = 0;
    ASSERT_EQ(evaluate(board.st(), records, 0, false), integer) << fen;
    const float real = forward(m, fw, s, a);
    squares += (real - integer) * (real - integer);
    ++n;
  }
  EXPECT_LT(std::sqrt(squares / n), 10.0);
  if (previous) useNetwork(previous);
}

TEST(TrainerModel, ImagesOfTheWrongSizeOrDecimalBitsAreRefused) {
  Model m;
  std::vector<uint8_t> image = exportImage(m);
  EXPECT_EQ(checkImage(image), "");
  std::vector<uint8_t> shorter(image.begin(), image.end() - 1);
  EXPECT_NE(checkImage(shorter), "");
  image[IMAGE_DECIMAL_BITS + 8] = 4;
  EXPECT_NE(checkImage(image), "");
  EXPECT_FALSE(importImage(image, m));
}

// Positions labelled by a material count: the model learns it.
TEST(TrainerModel, LossFallsOnASmallSet) {
  TrainingData data;
  for (const std::string& fen : randomGameFens(40, 60, 21)) {
    Board board(fen.c_str());
    TrainingPosition p = positionFromState(board.st(), 1);
    int material = 0;
    static const int values[7] = {0, 100, 300, 300, 500, 900, 0};
    for (uint8_t code : p.board)
      if (code) material += ((code & BLACK_PIECE) != 0) == p.blackToMove ? values[code & 7] : -values[code & 7];
    p.score = int16_t(material * 3);
    p.result = int8_t(material > 0 ? 1 : material < 0 ? -1 : 0);
    uint8_t bytes[RECORD_BYTES];
    packRecord(p, bytes);
    data.records.insert(data.records.end(), bytes, bytes + RECORD_BYTES);
  }
  data.split(0);
  TrainSettings settings;
  settings.batch = 256;
  settings.threads = 2;
  settings.lrDecay = 1.0f;
  Model m;
  m.initialise(3);
  AdamState adam(m);
  const double before = meanLoss(m, data, data.train, settings);
  for (int epoch = 0; epoch < 6; ++epoch) trainEpoch(m, adam, data, settings, epoch, "");
  EXPECT_LT(meanLoss(m, data, data.train, settings), before * 0.5);
}

}  // namespace

TEST(TrainerModel, LearningRateDecaysPerEpochAndDropsLate) {
  TrainSettings settings;
  settings.adam.lr = 0.001f;
  settings.lrDecay = 0.5f;
  EXPECT_FLOAT_EQ(epochLearningRate(settings, 0), 0.001f);
  EXPECT_FLOAT_EQ(epochLearningRate(settings, 2), 0.00025f);
  settings.lrDropEpoch = 2;
  settings.lrDropFactor = 0.1f;
  EXPECT_FLOAT_EQ(epochLearningRate(settings, 1), 0.0005f);
  EXPECT_FLOAT_EQ(epochLearningRate(settings, 2), 0.000025f);
  EXPECT_FLOAT_EQ(epochLearningRate(settings, 3), 0.0000125f);
}
