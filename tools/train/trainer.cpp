#include "trainer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

float trainingTarget(const TrainingPosition& p, float scale, float resultWeight) {
  const float fromScore = 1.0f / (1.0f + std::exp(-float(p.score) / scale));
  const float fromResult = 0.5f * float(p.result + 1);
  return resultWeight * fromResult + (1.0f - resultWeight) * fromScore;
}

bool makeSample(const uint8_t* record, float scale, float resultWeight, Sample& s, bool mirror) {
  TrainingPosition p;
  if (!unpackRecord(record, p)) return false;
  if (mirror && p.castling == 0) {
    TrainingPosition q = p;
    for (int sq = 0; sq < 64; ++sq) q.board[sq ^ 7] = p.board[sq];
    if (p.epSquare != NO_EP_SQUARE) q.epSquare = uint8_t(p.epSquare ^ 7);
    p = q;
  }
  s.count[0] = perspectiveRows(p, 0, s.rows[0]);
  s.count[1] = perspectiveRows(p, 1, s.rows[1]);
  s.target = trainingTarget(p, scale, resultWeight);
  return true;
}

float sampleLoss(float out, float target, float scale, float* gradient) {
  const float predicted = 1.0f / (1.0f + std::exp(-out / scale));
  const float error = predicted - target;
  if (gradient) *gradient = 2.0f * error * predicted * (1.0f - predicted) / scale;
  return error * error;
}

bool isValidation(const uint8_t* record, int permille) {
  uint64_t h = 1469598103934665603ULL;
  for (int i = 0; i < RECORD_BYTES; ++i) h = (h ^ record[i]) * 1099511628211ULL;
  return (h >> 17) % 1000 < uint64_t(permille);
}

void TrainingData::split(int permille) {
  train.clear();
  validation.clear();
  const uint32_t n = uint32_t(records.size() / RECORD_BYTES);
  for (uint32_t block = 0; block < n; block += VALIDATION_BLOCK) {
    const bool held = isValidation(record(block), permille);
    for (uint32_t i = block; i < std::min(n, block + VALIDATION_BLOCK); ++i) (held ? validation : train).push_back(i);
  }
}

double meanLoss(const Model& model, const TrainingData& data, const std::vector<uint32_t>& indices,
                const TrainSettings& settings) {
  ForwardWeights fw;
  fw.prepare(model, settings.quantised);
  const int threads = std::max(settings.threads, 1);
  std::vector<double> sums(threads, 0.0);
  auto work = [&](int t) {
    Activations a(model.shape);
    Sample s;
    for (size_t k = t; k < indices.size(); k += threads) {
      if (!makeSample(data.record(indices[k]), settings.scale, settings.resultWeight, s)) continue;
      sums[t] += sampleLoss(forward(model, fw, s, a), s.target, settings.scale, nullptr);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& t : pool) t.join();
  double total = 0;
  for (double v : sums) total += v;
  return indices.empty() ? 0.0 : total / double(indices.size());
}

float epochLearningRate(const TrainSettings& settings, int epoch) {
  const float rate = settings.adam.lr * std::pow(settings.lrDecay, float(epoch));
  return settings.lrDropEpoch >= 0 && epoch >= settings.lrDropEpoch ? rate * settings.lrDropFactor : rate;
}

double trainEpoch(Model& model, AdamState& adam, const TrainingData& data, const TrainSettings& settings,
                  int epoch, const std::string& progress) {
  const int threads = std::max(settings.threads, 1);
  std::vector<uint32_t> order = data.train;
  std::mt19937_64 rng(settings.seed * 1000003ULL + uint64_t(epoch));
  std::shuffle(order.begin(), order.end(), rng);
  const size_t count = settings.epochPositions > 0 ? std::min<size_t>(order.size(), settings.epochPositions)
                                                   : order.size();
  AdamSettings step = settings.adam;
  step.lr = epochLearningRate(settings, epoch);

  std::vector<Gradients> grads;
  for (int t = 0; t < threads; ++t) grads.emplace_back(model);
  std::vector<double> losses(threads);
  ForwardWeights fw;
  double total = 0.0;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto lastReport = start;

  for (size_t begin = 0; begin < count; begin += settings.batch) {
    const size_t end = std::min(count, begin + settings.batch);
    const float gradientScale = 1.0f / float(end - begin);
    fw.prepare(model, settings.quantised);
    auto work = [&](int t) {
      Activations a(model.shape);
      Sample s;
      double loss = 0.0;
      for (size_t k = begin + t; k < end; k += threads) {
        // Half the positions mirrored, a different half every epoch.
        const bool mirror = settings.mirror && ((order[k] * 0x9E3779B1u + uint32_t(epoch)) >> 31);
        if (!makeSample(data.record(order[k]), settings.scale, settings.resultWeight, s, mirror)) continue;
        float gOut;
        loss += sampleLoss(forward(model, fw, s, a), s.target, settings.scale, &gOut);
        backward(model, fw, s, a, gOut * gradientScale, grads[t]);
      }
      losses[t] = loss;
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& t : pool) t.join();
    for (double l : losses) total += l;
    adamStep(model, adam, step, grads, threads);

    if (!progress.empty() && Clock::now() - lastReport > std::chrono::seconds(10)) {
      lastReport = Clock::now();
      const double seconds = std::chrono::duration<double>(lastReport - start).count();
      std::fprintf(stderr, "%s epoch %d  %zu/%zu  loss %.6f  %.0f pos/s\n", progress.c_str(), epoch + 1, end, count,
                   total / double(end), double(end) / seconds);
    }
  }
  return count ? total / double(count) : 0.0;
}

namespace {

constexpr char CHECKPOINT_MAGIC[8] = {'C', 'V', 'C', 'K', 'P', 'T', '0', '1'};

bool writeFloats(std::FILE* f, const std::vector<float>& v) {
  return std::fwrite(v.data(), sizeof(float), v.size(), f) == v.size();
}
bool readFloats(std::FILE* f, std::vector<float>& v) { return std::fread(v.data(), sizeof(float), v.size(), f) == v.size(); }

}  // namespace

bool saveCheckpoint(const std::string& path, const Model& model, const AdamState& adam, int nextEpoch) {
  const std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) return false;
  const int32_t header[5] = {model.shape.inputs, model.shape.l1, model.shape.l2, model.shape.l3, nextEpoch};
  bool ok = std::fwrite(CHECKPOINT_MAGIC, 1, 8, f) == 8 && std::fwrite(header, sizeof header, 1, f) == 1 &&
            std::fwrite(&adam.step, sizeof adam.step, 1, f) == 1 && writeFloats(f, model.w1) &&
            writeFloats(f, model.dense) && writeFloats(f, adam.m1) && writeFloats(f, adam.v1) &&
            writeFloats(f, adam.md) && writeFloats(f, adam.vd);
  ok = std::fclose(f) == 0 && ok;
  return ok && std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool loadCheckpoint(const std::string& path, Model& model, AdamState& adam, int& nextEpoch, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = path + ": cannot open";
    return false;
  }
  char magic[8];
  int32_t header[5];
  bool ok = std::fread(magic, 1, 8, f) == 8 && std::memcmp(magic, CHECKPOINT_MAGIC, 8) == 0 &&
            std::fread(header, sizeof header, 1, f) == 1;
  if (ok && (header[0] != model.shape.inputs || header[1] != model.shape.l1 || header[2] != model.shape.l2 ||
             header[3] != model.shape.l3)) {
    std::fclose(f);
    error = path + ": checkpoint of another model shape";
    return false;
  }
  ok = ok && std::fread(&adam.step, sizeof adam.step, 1, f) == 1 && readFloats(f, model.w1) &&
       readFloats(f, model.dense) && readFloats(f, adam.m1) && readFloats(f, adam.v1) && readFloats(f, adam.md) &&
       readFloats(f, adam.vd);
  std::fclose(f);
  if (!ok) {
    error = path + ": not a complete checkpoint";
    return false;
  }
  nextEpoch = header[4];
  return true;
}
