#include "export.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "eval/layers.h"
#include "eval/network.h"

namespace {

static_assert(REAL_ROWS == FEATURE_ROWS, "the trainer's real rows are the image's first-layer rows");

// Steps of the image's integers, as multiples of the float model's units:
// weights carry their layer's fraction bits, biases those of the sums they
// start (the layer's weights times an activation).
constexpr float L1_SCALE = 1 << EXPECTED_DECIMAL_BITS[0];
constexpr float HIDDEN_WEIGHT_SCALE = 1 << EXPECTED_DECIMAL_BITS[1];
constexpr float HIDDEN_BIAS_SCALE = 1 << (EXPECTED_DECIMAL_BITS[1] + ACTIVATION_BITS);
constexpr float OUTPUT_WEIGHT_SCALE = 1 << EXPECTED_DECIMAL_BITS[3];
constexpr float OUTPUT_BIAS_SCALE = 1 << OUTPUT_SHIFT;
static_assert(EXPECTED_DECIMAL_BITS[2] == EXPECTED_DECIMAL_BITS[1], "L2 and L3 share their scales");
// Half a step of the shifts that follow the first two layers' sums.
constexpr int32_t ACCUMULATOR_HALF_STEP = 1 << (ACCUMULATOR_SHIFT - 1);
constexpr int32_t HIDDEN_HALF_STEP = 1 << (HIDDEN_SHIFT - 1);
constexpr int32_t BIAS_LIMIT = 1000000000;

void put16(uint8_t* p, int16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(uint16_t(v) >> 8);
}
void put32(uint8_t* p, int32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(uint32_t(v) >> (8 * i));
}

int32_t roundTo(float value, float scale, int32_t low, int32_t high) {
  const double v = std::nearbyint(double(value) * scale);
  return int32_t(std::clamp(v, double(low), double(high)));
}

int8_t hiddenWeight(float w) { return int8_t(roundTo(w, HIDDEN_WEIGHT_SCALE, -128, 127)); }
int32_t hiddenBias(float b) { return roundTo(b, HIDDEN_BIAS_SCALE, -BIAS_LIMIT, BIAS_LIMIT) + HIDDEN_HALF_STEP; }

}  // namespace

std::vector<uint8_t> exportImage(const Model& model) {
  std::vector<uint8_t> image(NETWORK_IMAGE_SIZE, 0);
  uint8_t* out = image.data();
  const DenseLayout& L = model.layout;
  const float* d = model.dense.data();
  for (int r = 0; r < REAL_ROWS; ++r) {
    int32_t virt[MAX_VIRTUAL_ROWS];
    const int count = virtualRows(r, virt);
    for (int i = 0; i < L1_SIZE; ++i) {
      float w = model.w1[size_t(r) * L1_SIZE + i];
      for (int k = 0; k < count; ++k)
        if (virt[k] < model.shape.inputs) w += model.w1[size_t(virt[k]) * L1_SIZE + i];
      put16(out + IMAGE_L1_WEIGHTS + (size_t(r) * L1_SIZE + i) * 2, int16_t(roundTo(w, L1_SCALE, -32768, 32767)));
    }
  }
  for (int i = 0; i < L1_SIZE; ++i)
    put16(out + IMAGE_L1_BIASES + 2 * i,
          int16_t(roundTo(d[L.b1 + i], L1_SCALE, -32768, 32767 - ACCUMULATOR_HALF_STEP) + ACCUMULATOR_HALF_STEP));
  for (int j = 0; j < L2_SIZE; ++j) {
    for (int i = 0; i < L2_INPUTS; ++i)
      out[IMAGE_L2_WEIGHTS + size_t(j) * L2_INPUTS + i] = uint8_t(hiddenWeight(d[L.w2 + size_t(j) * L2_INPUTS + i]));
    put32(out + IMAGE_L2_BIASES + 4 * j, hiddenBias(d[L.b2 + j]));
  }
  for (int j = 0; j < L3_SIZE; ++j) {
    for (int i = 0; i < L2_SIZE; ++i)
      out[IMAGE_L3_WEIGHTS + size_t(j) * L2_SIZE + i] = uint8_t(hiddenWeight(d[L.w3 + size_t(j) * L2_SIZE + i]));
    put32(out + IMAGE_L3_BIASES + 4 * j, hiddenBias(d[L.b3 + j]));
  }
  for (int i = 0; i < L3_SIZE; ++i)
    out[IMAGE_L4_WEIGHTS + i] = uint8_t(int8_t(roundTo(d[L.w4 + i], OUTPUT_WEIGHT_SCALE, -128, 127)));
  put32(out + IMAGE_L4_BIAS, roundTo(d[L.b4], OUTPUT_BIAS_SCALE, -BIAS_LIMIT, BIAS_LIMIT));
  for (int i = 0; i < 4; ++i) put32(out + IMAGE_DECIMAL_BITS + 4 * i, EXPECTED_DECIMAL_BITS[i]);
  return image;
}

std::string checkImage(const std::vector<uint8_t>& bytes) {
  return networkImageProblem(bytes.data(), bytes.size(), "the image");
}

int engineOutput(const int32_t* const rows[2], const int count[2]) {
  alignas(64) int16_t acc[2][L1_SIZE];
  for (int p = 0; p < 2; ++p) {
    assert(count[p] <= MAX_POSITION_ROWS);
    const int16_t* add[MAX_POSITION_ROWS];
    for (int k = 0; k < count[p]; ++k) add[k] = l1Row(networkImage, rows[p][k]);
    accumulateRowsScalar(acc[p], l1Biases(networkImage), add, count[p], nullptr, 0);
  }
  return forwardPassScalar(acc[0], acc[1]);
}

bool importImage(const std::vector<uint8_t>& image, Model& model) {
  if (!checkImage(image).empty() || model.shape.l1 != L1_SIZE || model.shape.l2 != L2_SIZE ||
      model.shape.l3 != L3_SIZE)
    return false;
  const uint8_t* in = image.data();
  const DenseLayout& L = model.layout;
  float* d = model.dense.data();
  std::fill(model.w1.begin(), model.w1.end(), 0.0f);
  for (int r = 0; r < REAL_ROWS; ++r)
    for (int i = 0; i < L1_SIZE; ++i) model.w1[size_t(r) * L1_SIZE + i] = l1Row(in, r)[i] / L1_SCALE;
  for (int i = 0; i < L1_SIZE; ++i) d[L.b1 + i] = (l1Biases(in)[i] - ACCUMULATOR_HALF_STEP) / L1_SCALE;
  for (int j = 0; j < L2_SIZE; ++j) {
    for (int i = 0; i < L2_INPUTS; ++i)
      d[L.w2 + size_t(j) * L2_INPUTS + i] = int8_t(in[IMAGE_L2_WEIGHTS + size_t(j) * L2_INPUTS + i]) / HIDDEN_WEIGHT_SCALE;
    d[L.b2 + j] = (imageInt32(in, IMAGE_L2_BIASES + 4 * j) - HIDDEN_HALF_STEP) / HIDDEN_BIAS_SCALE;
  }
  for (int j = 0; j < L3_SIZE; ++j) {
    for (int i = 0; i < L2_SIZE; ++i)
      d[L.w3 + size_t(j) * L2_SIZE + i] = int8_t(in[IMAGE_L3_WEIGHTS + size_t(j) * L2_SIZE + i]) / HIDDEN_WEIGHT_SCALE;
    d[L.b3 + j] = (imageInt32(in, IMAGE_L3_BIASES + 4 * j) - HIDDEN_HALF_STEP) / HIDDEN_BIAS_SCALE;
  }
  for (int i = 0; i < L3_SIZE; ++i) d[L.w4 + i] = int8_t(in[IMAGE_L4_WEIGHTS + i]) / OUTPUT_WEIGHT_SCALE;
  d[L.b4] = imageInt32(in, IMAGE_L4_BIAS) / OUTPUT_BIAS_SCALE;
  return true;
}
