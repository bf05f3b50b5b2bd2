// The network kernels as sets, one per instruction set they are compiled
// for. A native build holds the scalar set and one vector set for the build
// machine; a distribution build holds the scalar set and one vector set per
// x86-64 level, and takes the fastest that the processor runs at start-up.
// Every set computes the same integers as the scalar one, bit for bit.
#pragma once

#include <cstdint>

struct NetworkKernels {
  const char* name;  // "scalar", "sse4.1", "avx2", "avx512", "avx512vnni"
  // Whether this processor (and its operating system) runs the set.
  bool (*processorRuns)();
  // The entry points of eval/layers.h, in this set's build.
  void (*accumulateRows)(int16_t* dst, const int16_t* src, const int16_t* const* add, int addCount,
                         const int16_t* const* sub, int subCount);
  void (*clipAccumulators)(const int16_t* own, const int16_t* other, uint8_t* out);
  void (*hiddenLayer2)(const uint8_t* inputs, uint8_t* out);
  void (*hiddenLayer3)(const uint8_t* inputs, uint8_t* out);
  int (*outputLayer)(const uint8_t* inputs);
  int (*forwardPass)(const int16_t* own, const int16_t* other);
};

// The set the evaluator calls.
extern const NetworkKernels* activeKernels;

// The sets built into this program, fastest first; the scalar set is last.
extern const NetworkKernels* const builtKernels[];
extern const int builtKernelCount;

// Whether this program is a distribution build: plain x86-64 code with one
// vector set per instruction set level, rather than one for the build machine.
extern const bool distributionBuild;

// The built set named; nullptr when there is none of that name.
const NetworkKernels* findKernels(const char* name);

// Makes the fastest built set that the processor runs the active one; done
// once before main runs.
void selectFastestKernels();
