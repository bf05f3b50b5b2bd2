// Adam for the model: dense parameters every step, first-layer rows only
// when a batch touched them (their moments wait in between), so that a step
// costs the rows a batch uses rather than all ten million weights.
#pragma once

#include <cstdint>
#include <vector>

#include "model.h"

struct AdamSettings {
  float lr = 1e-3f;
  float beta1 = 0.9f;
  float beta2 = 0.999f;
  float epsilon = 1e-8f;
  float outputLrScale = 20.0f;  // the output layer works in centipawns
  float kingRowLrScale = 1.0f;  // rows of one king square: each is seen rarely
  float weightDecay = 0.0f;     // decoupled, dense weights only
};

struct AdamState {
  std::vector<float> m1, v1;  // first layer
  std::vector<float> md, vd;  // dense
  int64_t step = 0;
  explicit AdamState(const Model& m) : m1(m.w1.size()), v1(m.w1.size()), md(m.dense.size()), vd(m.dense.size()) {}
};

// One step from the summed gradients of all workers (already scaled to the
// mean over the batch), which it clears. Rows are split over threads.
void adamStep(Model& model, AdamState& state, const AdamSettings& settings, std::vector<Gradients>& grads,
              int threads);
