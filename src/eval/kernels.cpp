#include "eval/kernels.h"

#include <cstring>

#include "eval/simd.h"

extern const NetworkKernels scalarKernels;

#if defined(CORVAN_DIST)
// One copy of vectorkernels.cpp per level, each compiled for its own
// instruction set while the rest of the program targets plain x86-64.
extern const NetworkKernels avx512vnniKernels, avx512Kernels, avx2Kernels, sse41Kernels;
const NetworkKernels* const builtKernels[] = {&avx512vnniKernels, &avx512Kernels, &avx2Kernels, &sse41Kernels,
                                              &scalarKernels};
const bool distributionBuild = true;
#elif defined(CORVAN_VECTOR)
extern const NetworkKernels vectorKernels;
const NetworkKernels* const builtKernels[] = {&vectorKernels, &scalarKernels};
const bool distributionBuild = false;
#else
const NetworkKernels* const builtKernels[] = {&scalarKernels};
const bool distributionBuild = false;
#endif

const int builtKernelCount = int(sizeof builtKernels / sizeof builtKernels[0]);

// Scalar until the choice below, which static initialisation makes before
// main runs.
const NetworkKernels* activeKernels = &scalarKernels;
[[maybe_unused]] static const bool fastestChosen = (selectFastestKernels(), true);

const NetworkKernels* findKernels(const char* name) {
  for (const NetworkKernels* kernels : builtKernels)
    if (std::strcmp(kernels->name, name) == 0) return kernels;
  return nullptr;
}

void selectFastestKernels() {
  for (const NetworkKernels* kernels : builtKernels)
    if (kernels->processorRuns()) {
      activeKernels = kernels;
      return;
    }
}
