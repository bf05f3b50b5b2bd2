#include "export.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int L1 = 256, L2 = 32, L3 = 32;
constexpr size_t L1_BIASES = size_t(REAL_ROWS) * L1 * 2;
constexpr size_t L2_WEIGHTS = L1_BIASES + L1 * 2;
constexpr size_t L2_BIASES = L2_WEIGHTS + L2 * 2 * L1;
constexpr size_t L3_WEIGHTS = L2_BIASES + L2 * 4;
constexpr size_t L3_BIASES = L3_WEIGHTS + L3 * L2;
constexpr size_t L4_WEIGHTS = L3_BIASES + L3 * 4;
constexpr size_t L4_BIAS = L4_WEIGHTS + 64;
constexpr size_t DECIMAL_BITS = L4_BIAS + 4;
static_assert(DECIMAL_BITS + 16 == IMAGE_BYTES);
constexpr int32_t BITS[4] = {4, 3, 3, 2};

void put16(uint8_t* p, int16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(uint16_t(v) >> 8);
}
void put32(uint8_t* p, int32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(uint32_t(v) >> (8 * i));
}
int16_t get16(const uint8_t* p) { return int16_t(uint16_t(p[0] | p[1] << 8)); }
int32_t get32(const uint8_t* p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }

int32_t roundTo(float value, float scale, int32_t low, int32_t high) {
  const double v = std::nearbyint(double(value) * scale);
  return int32_t(std::clamp(v, double(low), double(high)));
}

// clamp(sum saturated to 16 bits, shifted right by 3, to 0..127)
int activate(int32_t sum) { return std::clamp(std::clamp(sum, -32768, 32767) >> 3, 0, 127); }

}  // namespace

std::vector<uint8_t> exportImage(const Model& model) {
  std::vector<uint8_t> image(IMAGE_BYTES, 0);
  const DenseLayout& L = model.layout;
  const float* d = model.dense.data();
  for (int r = 0; r < REAL_ROWS; ++r) {
    int32_t virt[MAX_VIRTUAL_ROWS];
    const int count = virtualRows(r, virt);
    for (int i = 0; i < L1; ++i) {
      float w = model.w1[size_t(r) * L1 + i];
      for (int k = 0; k < count; ++k)
        if (virt[k] < model.shape.inputs) w += model.w1[size_t(virt[k]) * L1 + i];
      put16(image.data() + (size_t(r) * L1 + i) * 2, int16_t(roundTo(w, 16.0f, -32768, 32767)));
    }
  }
  // +1 in the accumulator makes the halving shift round to nearest.
  for (int i = 0; i < L1; ++i)
    put16(image.data() + L1_BIASES + 2 * i, int16_t(roundTo(d[L.b1 + i], 16.0f, -32768, 32766) + 1));
  for (int j = 0; j < L2; ++j) {
    for (int i = 0; i < 2 * L1; ++i)
      image[L2_WEIGHTS + size_t(j) * 2 * L1 + i] = uint8_t(int8_t(roundTo(d[L.w2 + size_t(j) * 2 * L1 + i], 8.0f, -128, 127)));
    // +4 at 64 per unit makes the shift by three round to nearest.
    put32(image.data() + L2_BIASES + 4 * j, roundTo(d[L.b2 + j], 64.0f, -1000000000, 1000000000) + 4);
  }
  for (int j = 0; j < L3; ++j) {
    for (int i = 0; i < L2; ++i)
      image[L3_WEIGHTS + size_t(j) * L2 + i] = uint8_t(int8_t(roundTo(d[L.w3 + size_t(j) * L2 + i], 8.0f, -128, 127)));
    put32(image.data() + L3_BIASES + 4 * j, roundTo(d[L.b3 + j], 64.0f, -1000000000, 1000000000) + 4);
  }
  for (int i = 0; i < L3; ++i) image[L4_WEIGHTS + i] = uint8_t(int8_t(roundTo(d[L.w4 + i], 4.0f, -128, 127)));
  put32(image.data() + L4_BIAS, roundTo(d[L.b4], 32.0f, -1000000000, 1000000000));
  for (int i = 0; i < 4; ++i) put32(image.data() + DECIMAL_BITS + 4 * i, BITS[i]);
  return image;
}

std::string checkImage(const std::vector<uint8_t>& bytes) {
  if (bytes.size() != IMAGE_BYTES)
    return "a network image has " + std::to_string(IMAGE_BYTES) + " bytes, this one " + std::to_string(bytes.size());
  for (int i = 0; i < 4; ++i) {
    const int32_t found = get32(bytes.data() + DECIMAL_BITS + 4 * i);
    if (found != BITS[i])
      return "layer " + std::to_string(i + 1) + " has " + std::to_string(found) + " decimal bits, the engine needs " +
             std::to_string(BITS[i]);
  }
  return {};
}

int integerForward(const uint8_t* image, const int32_t* const rows[2], const int count[2]) {
  uint8_t a1[2 * L1];
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < L1; ++i) {
      int16_t acc = get16(image + L1_BIASES + 2 * i);
      for (int k = 0; k < count[p]; ++k) acc = int16_t(acc + get16(image + (size_t(rows[p][k]) * L1 + i) * 2));
      a1[p * L1 + i] = uint8_t(std::clamp(acc >> 1, 0, 127));
    }
  uint8_t a2[L2], a3[L3];
  for (int j = 0; j < L2; ++j) {
    uint32_t sum = uint32_t(get32(image + L2_BIASES + 4 * j));
    for (int i = 0; i < 2 * L1; ++i) sum += uint32_t(int8_t(image[L2_WEIGHTS + size_t(j) * 2 * L1 + i]) * a1[i]);
    a2[j] = uint8_t(activate(int32_t(sum)));
  }
  for (int j = 0; j < L3; ++j) {
    uint32_t sum = uint32_t(get32(image + L3_BIASES + 4 * j));
    for (int i = 0; i < L2; ++i) sum += uint32_t(int8_t(image[L3_WEIGHTS + size_t(j) * L2 + i]) * a2[i]);
    a3[j] = uint8_t(activate(int32_t(sum)));
  }
  uint32_t sum = uint32_t(get32(image + L4_BIAS));
  for (int i = 0; i < L3; ++i) sum += uint32_t(int8_t(image[L4_WEIGHTS + i]) * a3[i]);
  return int32_t(sum) / 32;
}

bool importImage(const std::vector<uint8_t>& image, Model& model) {
  if (!checkImage(image).empty() || model.shape.l1 != L1 || model.shape.l2 != L2 || model.shape.l3 != L3) return false;
  const DenseLayout& L = model.layout;
  float* d = model.dense.data();
  std::fill(model.w1.begin(), model.w1.end(), 0.0f);
  for (size_t i = 0; i < size_t(REAL_ROWS) * L1; ++i) model.w1[i] = get16(image.data() + 2 * i) / 16.0f;
  for (int i = 0; i < L1; ++i) d[L.b1 + i] = (get16(image.data() + L1_BIASES + 2 * i) - 1) / 16.0f;
  for (int j = 0; j < L2; ++j) {
    for (int i = 0; i < 2 * L1; ++i) d[L.w2 + size_t(j) * 2 * L1 + i] = int8_t(image[L2_WEIGHTS + size_t(j) * 2 * L1 + i]) / 8.0f;
    d[L.b2 + j] = (get32(image.data() + L2_BIASES + 4 * j) - 4) / 64.0f;
  }
  for (int j = 0; j < L3; ++j) {
    for (int i = 0; i < L2; ++i) d[L.w3 + size_t(j) * L2 + i] = int8_t(image[L3_WEIGHTS + size_t(j) * L2 + i]) / 8.0f;
    d[L.b3 + j] = (get32(image.data() + L3_BIASES + 4 * j) - 4) / 64.0f;
  }
  for (int i = 0; i < L3; ++i) d[L.w4 + i] = int8_t(image[L4_WEIGHTS + i]) / 4.0f;
  d[L.b4] = get32(image.data() + L4_BIAS) / 32.0f;
  return true;
}
