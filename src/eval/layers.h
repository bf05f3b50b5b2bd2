// Kernels of the network arithmetic. Each has a scalar twin that computes the
// same integers in the plainest way; the vector versions (vectorkernels.cpp,
// built per instruction set) must agree with it bit for bit. The entry points
// without the suffix call the set in use (eval/kernels.h).
#pragma once

#include <cstdint>

#include "eval/network.h"

// dst = src + the rows in add - the rows in sub, all 256 lanes, wrapping i16.
// dst may equal src.
void accumulateRows(int16_t* dst, const int16_t* src, const int16_t* const* add, int addCount,
                    const int16_t* const* sub, int subCount);
void accumulateRowsScalar(int16_t* dst, const int16_t* src, const int16_t* const* add, int addCount,
                          const int16_t* const* sub, int subCount);

// First layer activation: clamp(v >> 1, 0, 127) of the side to move's
// accumulator followed by the other side's.
void clipAccumulators(const int16_t* own, const int16_t* other, uint8_t* out);
void clipAccumulatorsScalar(const int16_t* own, const int16_t* other, uint8_t* out);

// A hidden layer: bias + weights x inputs in 32 bits, saturated to 16 bits,
// shifted right by 3 and clamped to 0..127.
void hiddenLayer2(const uint8_t* inputs, uint8_t* out);
void hiddenLayer2Scalar(const uint8_t* inputs, uint8_t* out);
void hiddenLayer3(const uint8_t* inputs, uint8_t* out);
void hiddenLayer3Scalar(const uint8_t* inputs, uint8_t* out);

// Output neuron: (bias + weights x inputs) / 32, truncated towards zero.
int outputLayer(const uint8_t* inputs);
int outputLayerScalar(const uint8_t* inputs);

// The whole pass from the two accumulators to the raw output.
int forwardPass(const int16_t* own, const int16_t* other);
int forwardPassScalar(const int16_t* own, const int16_t* other);
