// The float model of the engine's network, with the factorised virtual rows:
//   acc_p = b1 + sum over active rows r of perspective p of (W1[r] + W1[f(r)])
//   h1 = clamp(acc_stm ++ acc_other, 0, A)     A = 127/8, the engine's range
//   h2 = clamp(W2 h1 + b2, 0, A)
//   h3 = clamp(W3 h2 + b3, 0, A)
//   out = W4 . h3 + b4                         (centipawns, side to move)
// The units are the engine's: an accumulator value v is the engine's 16 v,
// an activation a its 8 a. With quantisation-aware training the forward pass
// uses W2, W3 and W4 rounded to the steps the image can hold (1/8, 1/8, 1/4)
// while the gradients update the float weights (straight-through).
#pragma once

#include <cstdint>
#include <vector>

#include "inputs.h"

constexpr float ACTIVATION_MAX = 127.0f / 8.0f;

struct ModelShape {
  int inputs = TRAIN_ROWS;
  int l1 = 256;
  int l2 = 32;
  int l3 = 32;
};

// Where each dense parameter block starts in Model::dense.
struct DenseLayout {
  size_t b1, w2, b2, w3, b3, w4, b4, size;
  explicit DenseLayout(const ModelShape& s);
};

struct Model {
  ModelShape shape;
  std::vector<float> w1;     // inputs x l1, row after row
  std::vector<float> dense;  // b1, W2 (l2 x 2 l1), b2, W3 (l3 x l2), b3, W4 (l3), b4
  DenseLayout layout{shape};

  explicit Model(const ModelShape& s = ModelShape());
  // Small random weights from seed; biases zero.
  void initialise(uint64_t seed);
  const float* row(int r) const { return w1.data() + size_t(r) * shape.l1; }
  // First-layer lanes that no row uses and no bias opens (as in a network built by
  // hand) get a small bias and random piece-row weights, so that training
  // can give them a use; their second-layer weights stay zero, so the
  // output does not change. Returns how many lanes were woken.
  int wakeIdleLanes(uint64_t seed);
};

// One training example: the active real rows of both perspectives and the
// target probability.
struct Sample {
  int32_t rows[2][MAX_POSITION_ROWS];
  int count[2];
  float target;
};

// The weights the forward pass uses: rounded to the image's steps when
// quantisation-aware, else the float weights as they are.
struct ForwardWeights {
  std::vector<float> w2, w3, w4;
  bool quantised = false;  // activations rounded to the image's 1/8 steps too
  void prepare(const Model& m, bool quantised);
};

// Intermediate values of one forward pass, kept for the backward pass.
struct Activations {
  std::vector<float> acc;  // 2 l1, pre-clamp
  std::vector<float> z2, z3;
  std::vector<float> h1, h2, h3;
  float out;
  explicit Activations(const ModelShape& s);
};

// Output in centipawns.
float forward(const Model& m, const ForwardWeights& fw, const Sample& s, Activations& a);

// Gradient buffers of one worker: dense like Model::dense, W1 rows written
// only where touched (the list says which, the flags avoid repeats).
struct Gradients {
  std::vector<float> w1;
  std::vector<float> dense;
  std::vector<uint8_t> touchedFlag;
  std::vector<int32_t> touched;
  explicit Gradients(const Model& m);
  void touch(int row) {
    if (!touchedFlag[row]) {
      touchedFlag[row] = 1;
      touched.push_back(row);
    }
  }
};

// Adds the gradient of the loss with d loss / d out = gOut to g.
void backward(const Model& m, const ForwardWeights& fw, const Sample& s, const Activations& a, float gOut,
              Gradients& g);

// The weight steps of the image and the ranges its integers cover.
float quantiseHidden(float w);  // W2, W3: 1/8 steps in -16 .. 127/8
float quantiseOutput(float w);  // W4: 1/4 steps in -32 .. 127/4
