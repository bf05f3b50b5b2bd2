// The training run: data held in memory as packed records, a held-out
// validation split, shuffled mini-batches spread over worker threads, Adam
// steps, a learning-rate schedule, checkpoints and the per-epoch report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adam.h"
#include "model.h"
#include "trainingdata/record.h"

struct TrainSettings {
  int epochs = 10;
  int64_t epochPositions = 0;  // positions per epoch; 0 = the whole training split
  int batch = 4096;
  int threads = 2;
  float scale = 400.0f;        // K: sigmoid(score / K) is the expected result
  float resultWeight = 0.5f;   // blend weight of the game result in the target
  float lrDecay = 0.75f;       // learning rate multiplier per epoch
  int lrDropEpoch = -1;        // from this epoch (0 = the first) on, the rate is also
  float lrDropFactor = 1.0f;   // multiplied by lrDropFactor; -1: no drop
  int validationPermille = 20;
  bool quantised = true;       // quantisation-aware forward pass
  bool mirror = true;          // reverse the files of half the positions without castling rights
  uint64_t seed = 1;
  AdamSettings adam;
};

// Adam's learning rate in an epoch (counted from 0): the base rate decayed
// once per epoch, and dropped once more from lrDropEpoch on.
float epochLearningRate(const TrainSettings& settings, int epoch);

// Target probability of a record under the settings.
float trainingTarget(const TrainingPosition& p, float scale, float resultWeight);

// A record as a training example; false when it decodes to no position.
// With mirror set, a position without castling rights is taken with its
// files reversed (a to h), which changes nothing in chess but gives the
// king-square rows twice the examples.
bool makeSample(const uint8_t* record, float scale, float resultWeight, Sample& s, bool mirror = false);

// Loss of one output against a target, and its derivative by the output.
float sampleLoss(float out, float target, float scale, float* gradient);

// Records split in blocks of VALIDATION_BLOCK consecutive records, chosen by
// a hash of the block's first record: a game's positions share its result,
// so held-out positions must come from held-out games, and the data files
// keep each game's positions together. The split stays put when files grow.
constexpr uint32_t VALIDATION_BLOCK = 512;
bool isValidation(const uint8_t* blockStart, int permille);

struct TrainingData {
  std::vector<uint8_t> records;
  std::vector<uint32_t> train, validation;  // record indices
  void split(int permille);
  const uint8_t* record(uint32_t i) const { return records.data() + size_t(i) * RECORD_BYTES; }
};

// Mean loss of the model over the given records (quantisation-aware when
// settings say so).
double meanLoss(const Model& model, const TrainingData& data, const std::vector<uint32_t>& indices,
                const TrainSettings& settings);

// One pass over `count` shuffled training positions; returns the mean
// training loss. progress (may be empty) names the run in the progress lines.
double trainEpoch(Model& model, AdamState& adam, const TrainingData& data, const TrainSettings& settings,
                  int epoch, const std::string& progress);

// Checkpoints hold the model, the optimiser state and the next epoch.
bool saveCheckpoint(const std::string& path, const Model& model, const AdamState& adam, int nextEpoch);
bool loadCheckpoint(const std::string& path, Model& model, AdamState& adam, int& nextEpoch, std::string& error);
