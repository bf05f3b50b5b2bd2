// Network images built inside a test: zeroed, random or the bootstrap
// network, in 64-byte aligned memory like the embedded one.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "eval/network.h"

struct FreeImage {
  void operator()(uint8_t* image) const { free(image); }
};
using ImageBuffer = std::unique_ptr<uint8_t[], FreeImage>;

// A zeroed image whose decimal-bit fields hold the expected values.
inline ImageBuffer blankImage() {
  size_t size = (NETWORK_IMAGE_SIZE + 63) / 64 * 64;
  ImageBuffer image(static_cast<uint8_t*>(aligned_alloc(64, size)));
  memset(image.get(), 0, size);
  for (int layer = 0; layer < 4; ++layer) {
    int32_t bits = EXPECTED_DECIMAL_BITS[layer];
    memcpy(image.get() + IMAGE_DECIMAL_BITS + 4 * layer, &bits, 4);
  }
  return image;
}

inline void storeImageInt32(uint8_t* image, size_t offset, int32_t value) { memcpy(image + offset, &value, 4); }

// Random small layers: full-range i8 weights and biases from -range..range.
inline void randomiseSmallLayers(uint8_t* image, std::mt19937& rng, int32_t biasRange) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int32_t> bias(-biasRange, biasRange);
  for (size_t i = IMAGE_L2_WEIGHTS; i < IMAGE_L2_BIASES; ++i) image[i] = uint8_t(byte(rng));
  for (size_t i = IMAGE_L3_WEIGHTS; i < IMAGE_L3_BIASES; ++i) image[i] = uint8_t(byte(rng));
  for (size_t i = IMAGE_L4_WEIGHTS; i < IMAGE_RESERVED; ++i) image[i] = uint8_t(byte(rng));
  for (int j = 0; j < L2_SIZE; ++j) storeImageInt32(image, IMAGE_L2_BIASES + 4 * j, bias(rng));
  for (int j = 0; j < L3_SIZE; ++j) storeImageInt32(image, IMAGE_L3_BIASES + 4 * j, bias(rng));
  storeImageInt32(image, IMAGE_L4_BIAS, bias(rng));
}
