// The network image: its byte layout, the pointer to the image in use, the
// 16-bit copies of the small layers, the start-up check of its header, and
// images read from files in place of the built-in one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "eval/features.h"
#include "eval/nnue.h"

constexpr int L2_INPUTS = 2 * L1_SIZE;
constexpr int L2_SIZE = 32;
constexpr int L3_SIZE = 32;

// Byte offsets inside the image (all values little-endian).
constexpr size_t IMAGE_L1_WEIGHTS = 0;
constexpr size_t IMAGE_L1_BIASES = size_t(FEATURE_ROWS) * L1_SIZE * 2;  // 20,972,544
constexpr size_t IMAGE_L2_WEIGHTS = IMAGE_L1_BIASES + L1_SIZE * 2;
constexpr size_t IMAGE_L2_BIASES = IMAGE_L2_WEIGHTS + L2_SIZE * L2_INPUTS;
constexpr size_t IMAGE_L3_WEIGHTS = IMAGE_L2_BIASES + L2_SIZE * 4;
constexpr size_t IMAGE_L3_BIASES = IMAGE_L3_WEIGHTS + L3_SIZE * L2_SIZE;
constexpr size_t IMAGE_L4_WEIGHTS = IMAGE_L3_BIASES + L3_SIZE * 4;
constexpr size_t IMAGE_RESERVED = IMAGE_L4_WEIGHTS + L3_SIZE;
constexpr size_t IMAGE_L4_BIAS = IMAGE_RESERVED + 32;
constexpr size_t IMAGE_DECIMAL_BITS = IMAGE_L4_BIAS + 4;  // four i32, L1..L4
constexpr size_t NETWORK_IMAGE_SIZE = IMAGE_DECIMAL_BITS + 16;
static_assert(IMAGE_L2_WEIGHTS == 20973056 && IMAGE_L4_BIAS == 20990784);
static_assert(NETWORK_IMAGE_SIZE == 20990804);

// Fraction bits the fixed shifts of the forward pass are built for.
constexpr int32_t EXPECTED_DECIMAL_BITS[4] = {4, 3, 3, 2};
// Between the layers an activation 0..127 stands for 0..127/8. From that the
// shifts: an accumulator (L1 bits) drops its one bit more than an
// activation, a hidden sum (weight bits + activation bits) its weight bits,
// and the output sum both, which leaves whole centipawns.
constexpr int ACTIVATION_BITS = 3;
constexpr int ACCUMULATOR_SHIFT = EXPECTED_DECIMAL_BITS[0] - ACTIVATION_BITS;
constexpr int HIDDEN_SHIFT = EXPECTED_DECIMAL_BITS[1];
constexpr int OUTPUT_SHIFT = EXPECTED_DECIMAL_BITS[3] + ACTIVATION_BITS;
static_assert(ACCUMULATOR_SHIFT == 1 && HIDDEN_SHIFT == 3 && EXPECTED_DECIMAL_BITS[2] == HIDDEN_SHIFT &&
              OUTPUT_SHIFT == 5, "the vector kernels shift by 1, 3, 3 and 5 bits");

// The image evaluate reads; set by initNetwork or useNetwork.
extern const uint8_t* networkImage;
// Advanced by every useNetwork (never 0 after the first), so that what is
// derived from the image elsewhere can tell that it is out of date.
extern uint32_t networkVersion;

// Small layers widened to i16 once (output-major like the image), plus the
// byte-interleaved copies the vector kernels read: for each group of four
// inputs, the four weights of every output in turn.
struct ConvertedNetwork {
  alignas(64) int16_t l2Weights[L2_SIZE][L2_INPUTS];
  alignas(64) int16_t l3Weights[L3_SIZE][L2_SIZE];
  alignas(64) int16_t l4Weights[L3_SIZE];
  alignas(64) int8_t l2Packed[L2_INPUTS / 4][L2_SIZE][4];
  alignas(64) int8_t l3Packed[L2_SIZE / 4][L3_SIZE][4];
};
extern ConvertedNetwork convertedNetwork;

// Little-endian reads from the image.
inline int32_t imageInt32(const uint8_t* image, size_t offset) {
  return int32_t(uint32_t(image[offset]) | uint32_t(image[offset + 1]) << 8 |
                 uint32_t(image[offset + 2]) << 16 | uint32_t(image[offset + 3]) << 24);
}
inline const int16_t* l1Row(const uint8_t* image, int row) {
  return reinterpret_cast<const int16_t*>(image + IMAGE_L1_WEIGHTS) + size_t(row) * L1_SIZE;
}
inline const int16_t* l1Biases(const uint8_t* image) {
  return reinterpret_cast<const int16_t*>(image + IMAGE_L1_BIASES);
}

// Fills convertedNetwork from networkImage.
void convertNetwork();

// Layer (1..4) whose decimal-bit field is the first to differ from the
// expected value, 0 when all four match.
int wrongDecimalBitsLayer(const uint8_t* image);

// Prints the message for the first wrong decimal-bit field, flushes and ends
// the process with status 1; returns when the header is right.
void checkNetworkHeader(const uint8_t* image);

// Points the evaluator at image (NETWORK_IMAGE_SIZE bytes, 64-byte aligned)
// and converts its small layers. No header check.
void useNetwork(const uint8_t* image);

// Start-up: selects the image built into the program, converts it and checks
// its header; a missing or short image or a wrong header ends the process
// with status 1 after one line on standard output.
void initNetwork();

// Why size bytes at image cannot be a network, "" when they can: first the
// size, then (only when it is right) the four decimal-bit fields in layer
// order. name stands for the image in the message.
std::string networkImageProblem(const uint8_t* image, size_t size, const std::string& name);

// Reads the image in the file at path and, if it can be a network, puts it in
// use and returns "". Otherwise the network in use stays as it was and the
// reply says why: "cannot read PATH", "PATH has N bytes, a network image has
// M", "PATH has D decimal bits in LK, a network image has E" (the first
// wrong layer) or "no memory for PATH". Only between searches: the image
// read from a file before is released.
std::string loadNetworkFile(const std::string& path);

// After initNetwork: puts the built-in image back in use and releases the
// one read from a file, if any.
void useBuiltInNetwork();

// Short name of the network in use for diagnostics: "built-in", the file it
// was read from, or "image in memory" (set by useNetwork alone), followed by
// a hash of its bytes, e.g. "nets/gen5.nnue (hash 3fa2c901)".
std::string networkName();
