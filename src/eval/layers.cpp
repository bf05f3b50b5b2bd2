#include "eval/layers.h"

#include <algorithm>
#include <cstring>

#include "eval/kernels.h"

namespace {

int32_t layerBias(size_t offset, int index) { return imageInt32(networkImage, offset + 4 * index); }

// Sums wrap at 32 bits like the vector lanes (only a far-off bias can make
// them wrap). Saturate to 16 bits, drop the 3 fraction bits, clamp to the
// activation range.
uint8_t activate(int32_t sum) {
  int32_t saturated = std::clamp(sum, -32768, 32767);
  return uint8_t(std::clamp(saturated >> HIDDEN_SHIFT, 0, 127));
}

}  // namespace

void accumulateRowsScalar(int16_t* dst, const int16_t* src, const int16_t* const* add, int addCount,
                          const int16_t* const* sub, int subCount) {
  for (int lane = 0; lane < L1_SIZE; ++lane) {
    int16_t value = src[lane];
    for (int i = 0; i < addCount; ++i) value = int16_t(value + add[i][lane]);
    for (int i = 0; i < subCount; ++i) value = int16_t(value - sub[i][lane]);
    dst[lane] = value;
  }
}

void clipAccumulatorsScalar(const int16_t* own, const int16_t* other, uint8_t* out) {
  for (int lane = 0; lane < L1_SIZE; ++lane) {
    out[lane] = uint8_t(std::clamp(own[lane] >> ACCUMULATOR_SHIFT, 0, 127));
    out[L1_SIZE + lane] = uint8_t(std::clamp(other[lane] >> ACCUMULATOR_SHIFT, 0, 127));
  }
}

void hiddenLayer2Scalar(const uint8_t* inputs, uint8_t* out) {
  for (int j = 0; j < L2_SIZE; ++j) {
    uint32_t sum = uint32_t(layerBias(IMAGE_L2_BIASES, j));
    for (int i = 0; i < L2_INPUTS; ++i) sum += uint32_t(convertedNetwork.l2Weights[j][i] * inputs[i]);
    out[j] = activate(int32_t(sum));
  }
}

void hiddenLayer3Scalar(const uint8_t* inputs, uint8_t* out) {
  for (int j = 0; j < L3_SIZE; ++j) {
    uint32_t sum = uint32_t(layerBias(IMAGE_L3_BIASES, j));
    for (int i = 0; i < L2_SIZE; ++i) sum += uint32_t(convertedNetwork.l3Weights[j][i] * inputs[i]);
    out[j] = activate(int32_t(sum));
  }
}

int outputLayerScalar(const uint8_t* inputs) {
  uint32_t sum = uint32_t(imageInt32(networkImage, IMAGE_L4_BIAS));
  for (int i = 0; i < L3_SIZE; ++i) sum += uint32_t(convertedNetwork.l4Weights[i] * inputs[i]);
  return int32_t(sum) / (1 << OUTPUT_SHIFT);
}

int forwardPassScalar(const int16_t* own, const int16_t* other) {
  alignas(64) uint8_t a1[L2_INPUTS];
  alignas(64) uint8_t a2[L2_SIZE];
  alignas(64) uint8_t a3[L3_SIZE];
  clipAccumulatorsScalar(own, other, a1);
  hiddenLayer2Scalar(a1, a2);
  hiddenLayer3Scalar(a2, a3);
  return outputLayerScalar(a3);
}

static bool anyProcessorRuns() { return true; }

extern const NetworkKernels scalarKernels = {"scalar",           anyProcessorRuns,   accumulateRowsScalar,
                                             clipAccumulatorsScalar, hiddenLayer2Scalar, hiddenLayer3Scalar,
                                             outputLayerScalar,      forwardPassScalar};

// The entry points pass through to the active set (eval/kernels.h).
void accumulateRows(int16_t* dst, const int16_t* src, const int16_t* const* add, int addCount,
                    const int16_t* const* sub, int subCount) {
  activeKernels->accumulateRows(dst, src, add, addCount, sub, subCount);
}
void clipAccumulators(const int16_t* own, const int16_t* other, uint8_t* out) {
  activeKernels->clipAccumulators(own, other, out);
}
void hiddenLayer2(const uint8_t* inputs, uint8_t* out) { activeKernels->hiddenLayer2(inputs, out); }
void hiddenLayer3(const uint8_t* inputs, uint8_t* out) { activeKernels->hiddenLayer3(inputs, out); }
int outputLayer(const uint8_t* inputs) { return activeKernels->outputLayer(inputs); }
int forwardPass(const int16_t* own, const int16_t* other) { return activeKernels->forwardPass(own, other); }
