// The network arithmetic: hand-worked cases of each layer, and every vector
// kernel set the processor runs against the scalar twins on random inputs.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "eval/kernels.h"
#include "eval/layers.h"
#include "support/network_images.h"

namespace {

std::vector<const NetworkKernels*> runnableKernels() {
  std::vector<const NetworkKernels*> sets;
  for (int i = 0; i < builtKernelCount; ++i)
    if (builtKernels[i]->processorRuns()) sets.push_back(builtKernels[i]);
  return sets;
}

class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override { image = blankImage(); }
  void use() { useNetwork(image.get()); }
  void setL2Weight(int out, int in, int8_t w) { image[IMAGE_L2_WEIGHTS + size_t(out) * L2_INPUTS + in] = uint8_t(w); }
  void setL3Weight(int out, int in, int8_t w) { image[IMAGE_L3_WEIGHTS + size_t(out) * L2_SIZE + in] = uint8_t(w); }
  ImageBuffer image;
};

struct Accumulators {
  alignas(64) int16_t own[L1_SIZE];
  alignas(64) int16_t other[L1_SIZE];
};

}  // namespace

TEST_F(KernelTest, FirstLayerHalvesAndClampsEachPerspective) {
  use();
  Accumulators acc{};
  const int16_t values[8] = {-32768, -2, -1, 0, 1, 255, 256, 32767};
  const uint8_t expected[8] = {0, 0, 0, 0, 0, 127, 127, 127};
  for (int i = 0; i < 8; ++i) {
    acc.own[i] = values[i];
    acc.other[L1_SIZE - 1 - i] = values[i];
  }
  acc.own[100] = 200;    // 100
  acc.other[200] = 15;   // 7
  uint8_t out[L2_INPUTS];
  for (auto clip : {clipAccumulators, clipAccumulatorsScalar}) {
    clip(acc.own, acc.other, out);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(out[i], expected[i]) << i;
      EXPECT_EQ(out[2 * L1_SIZE - 1 - i], expected[i]) << i;
    }
    EXPECT_EQ(out[100], 100);
    EXPECT_EQ(out[L1_SIZE + 200], 7);
    EXPECT_EQ(out[L1_SIZE + 100], 0);
  }
}

TEST_F(KernelTest, HiddenLayerSaturatesToSixteenBitsBeforeTheShift) {
  // Output 0: 127 x 127 x 4 = 64516 saturates to 32767, >> 3 = 4095 -> 127.
  // Output 1: a large negative sum -> 0. Output 2: bias 100 + 3 x 5 = 115 -> 14.
  // Output 3: bias -9 -> -9 >> 3 = -2 -> 0.
  for (int i = 0; i < 4; ++i) {
    setL2Weight(0, i, 127);
    setL2Weight(1, i, -128);
  }
  setL2Weight(2, 300, 3);
  storeImageInt32(image.get(), IMAGE_L2_BIASES + 8, 100);
  storeImageInt32(image.get(), IMAGE_L2_BIASES + 12, -9);
  // A bias far beyond 16 bits that the products bring back into range.
  setL2Weight(4, 511, -100);
  storeImageInt32(image.get(), IMAGE_L2_BIASES + 16, 100000);
  use();
  alignas(64) uint8_t inputs[L2_INPUTS] = {};
  for (int i = 0; i < 4; ++i) inputs[i] = 127;
  inputs[300] = 5;
  inputs[511] = 127;  // 100000 - 12700 = 87300: still saturates -> 127
  for (auto layer : {hiddenLayer2, hiddenLayer2Scalar}) {
    uint8_t out[L2_SIZE];
    layer(inputs, out);
    EXPECT_EQ(out[0], 127);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 14);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], 127);
    EXPECT_EQ(out[5], 0);
  }
}

TEST_F(KernelTest, OutputDividesTowardsZero) {
  image[IMAGE_L4_WEIGHTS + 0] = uint8_t(int8_t(-1));
  image[IMAGE_L4_WEIGHTS + 1] = 2;
  use();
  uint8_t inputs[L3_SIZE] = {};
  for (auto layer : {outputLayer, outputLayerScalar}) {
    inputs[0] = 65;  // -65 / 32 = -2 (not -3)
    inputs[1] = 0;
    EXPECT_EQ(layer(inputs), -2);
    inputs[0] = 0;
    inputs[1] = 31;  // 62 / 32 = 1
    EXPECT_EQ(layer(inputs), 1);
    storeImageInt32(image.get(), IMAGE_L4_BIAS, -1000);
    EXPECT_EQ(layer(inputs), (62 - 1000) / 32);
    storeImageInt32(image.get(), IMAGE_L4_BIAS, 0);
  }
}

TEST_F(KernelTest, ForwardPassTakesTheSideToMoveFirst) {
  // One path through the layers: own lane 0 -> L2 output 5 -> L3 output 9 -> out.
  setL2Weight(5, 0, 16);
  setL2Weight(5, L1_SIZE, -16);
  setL3Weight(9, 5, 8);
  image[IMAGE_L4_WEIGHTS + 9] = 64;
  use();
  Accumulators acc{};
  acc.own[0] = 100;  // a1 = 50, a2 = 50 x 16 / 8 = 100, a3 = 100, out = 100 x 64 / 32
  EXPECT_EQ(forwardPass(acc.own, acc.other), 200);
  EXPECT_EQ(forwardPassScalar(acc.own, acc.other), 200);
  acc.other[0] = 60;  // a2 = (50 - 30) x 2 = 40
  EXPECT_EQ(forwardPass(acc.own, acc.other), 80);
  EXPECT_EQ(forwardPass(acc.other, acc.own), 0);
}

TEST_F(KernelTest, EveryKernelSetMatchesScalarOnRandomNetworks) {
  std::mt19937 rng(20260);
  std::uniform_int_distribution<int> wide(-32768, 32767), narrow(-40, 300), byte(0, 127), percent(0, 99);
  for (int trial = 0; trial < 60; ++trial) {
    // Small biases keep sums near the clamps; huge ones exercise saturation.
    randomiseSmallLayers(image.get(), rng, trial % 3 == 0 ? 2000000000 : trial % 3 == 1 ? 40000 : 3000);
    use();
    Accumulators acc;
    int zeroShare = percent(rng);
    for (int i = 0; i < L1_SIZE; ++i) {
      acc.own[i] = int16_t(trial % 2 ? wide(rng) : narrow(rng));
      acc.other[i] = int16_t(percent(rng) < zeroShare ? 0 : trial % 2 ? wide(rng) : narrow(rng));
    }
    // Inputs with a varying share of zero groups, down to none or one.
    alignas(64) uint8_t inputs[L2_INPUTS];
    int keep = trial < 2 ? trial : percent(rng);
    for (int i = 0; i < L2_INPUTS; ++i) inputs[i] = uint8_t(percent(rng) < keep ? byte(rng) : 0);
    uint8_t hidden[L2_SIZE];
    for (auto& value : hidden) value = uint8_t(byte(rng));

    alignas(64) uint8_t a1Scalar[L2_INPUTS];
    uint8_t a2Scalar[L2_SIZE], a3Scalar[L3_SIZE];
    clipAccumulatorsScalar(acc.own, acc.other, a1Scalar);
    hiddenLayer2Scalar(inputs, a2Scalar);
    hiddenLayer3Scalar(hidden, a3Scalar);
    for (const NetworkKernels* kernels : runnableKernels()) {
      SCOPED_TRACE(kernels->name);
      alignas(64) uint8_t a1[L2_INPUTS];
      kernels->clipAccumulators(acc.own, acc.other, a1);
      ASSERT_EQ(memcmp(a1, a1Scalar, sizeof a1), 0) << trial;
      uint8_t a2[L2_SIZE];
      kernels->hiddenLayer2(inputs, a2);
      ASSERT_EQ(memcmp(a2, a2Scalar, sizeof a2), 0) << trial;
      uint8_t a3[L3_SIZE];
      kernels->hiddenLayer3(hidden, a3);
      ASSERT_EQ(memcmp(a3, a3Scalar, sizeof a3), 0) << trial;
      ASSERT_EQ(kernels->outputLayer(hidden), outputLayerScalar(hidden)) << trial;
      ASSERT_EQ(kernels->forwardPass(acc.own, acc.other), forwardPassScalar(acc.own, acc.other)) << trial;
    }
  }
}

TEST(AccumulatorKernel, EveryUpdateMatchesScalarAndWraps) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> value(-32768, 32767), count(0, 12);
  alignas(64) static int16_t rows[24][L1_SIZE];
  for (auto& row : rows)
    for (auto& lane : row) lane = int16_t(value(rng));
  for (int trial = 0; trial < 200; ++trial) {
    const int16_t* add[12];
    const int16_t* sub[12];
    int addCount = count(rng), subCount = count(rng);
    for (int i = 0; i < addCount; ++i) add[i] = rows[rng() % 24];
    for (int i = 0; i < subCount; ++i) sub[i] = rows[rng() % 24];
    const int16_t* src = rows[rng() % 24];
    alignas(64) int16_t scalar[L1_SIZE];
    accumulateRowsScalar(scalar, src, add, addCount, sub, subCount);
    for (const NetworkKernels* kernels : runnableKernels()) {
      SCOPED_TRACE(kernels->name);
      alignas(64) int16_t vector[L1_SIZE];
      kernels->accumulateRows(vector, src, add, addCount, sub, subCount);
      ASSERT_EQ(memcmp(vector, scalar, sizeof vector), 0) << trial;
      // In place, as a refresh into its own buffer would do.
      kernels->accumulateRows(vector, vector, sub, subCount, add, addCount);
      ASSERT_EQ(memcmp(vector, src, sizeof vector), 0) << trial;
    }
  }
}
