// The vector network kernels. This file is compiled once per instruction
// set: for the build machine in a native build, and once for each x86-64
// level in a distribution build, where CMake names the kernel record of each
// copy (CORVAN_KERNEL_RECORD). Everything but that record has internal
// linkage, so that no copy's code can stand in for another's at link time;
// for the same reason the shared inline helpers of other headers are not
// called here.
#include "eval/simd.h"

#if defined(CORVAN_VECTOR)

#include <cstring>

#include "eval/kernels.h"
#include "eval/network.h"

#ifndef CORVAN_KERNEL_RECORD
#define CORVAN_KERNEL_RECORD vectorKernels
#endif

namespace {

#if defined(__AVX512BW__) && defined(__AVX512VNNI__)
constexpr const char* SET_NAME = "avx512vnni";
#elif defined(__AVX512BW__)
constexpr const char* SET_NAME = "avx512";
#elif defined(__AVX2__)
constexpr const char* SET_NAME = "avx2";
#else
constexpr const char* SET_NAME = "sse4.1";
#endif

// The processor features this copy was compiled to use, read from the
// compiler's own macros so that the test cannot drift from the code.
bool processorRunsThisSet() {
#ifdef __EMSCRIPTEN__
  // SIMD128, which these intrinsics become here, is checked by the module's loader.
  return true;
#else
  __builtin_cpu_init();
  bool runs = __builtin_cpu_supports("sse4.1");
#if defined(__POPCNT__)
  runs = runs && __builtin_cpu_supports("popcnt");
#endif
#if defined(__AVX2__)
  runs = runs && __builtin_cpu_supports("avx2");
#endif
#if defined(__AVX512F__)
  runs = runs && __builtin_cpu_supports("avx512f");
#endif
#if defined(__AVX512BW__)
  runs = runs && __builtin_cpu_supports("avx512bw");
#endif
#if defined(__AVX512VNNI__)
  runs = runs && __builtin_cpu_supports("avx512vnni");
#endif
  return runs;
#endif
}

// Four bytes as one little-endian word: a bias of the image, or a group of
// four activations to broadcast.
int32_t loadInt32(const uint8_t* bytes) {
  int32_t value;
  memcpy(&value, bytes, 4);
  return value;
}

// Registers kept live per block of the accumulator update.
constexpr int UPDATE_REGS = 8;
constexpr int UPDATE_BLOCK_LANES = UPDATE_REGS * VEC_I16_LANES;
static_assert(L1_SIZE % UPDATE_BLOCK_LANES == 0);

// Vectors that hold one group of four inputs' weights for all 32 outputs,
// and independent sets of sums that fit the register file with them.
constexpr int OUTPUT_REGS = L2_SIZE * 4 / VEC_BYTES;
constexpr int SUM_SETS = OUTPUT_REGS >= 8 ? 1 : 8 / OUTPUT_REGS;
// Above this many non-zero groups a plain pass over all of them is cheaper.
constexpr int DENSE_GROUPS = 80;

// Adds the biases to 32 sums and activates them with 128-bit packs, which
// saturate and keep the lane order at every vector width.
void finishLayer(const int32_t* sums, size_t biasOffset, uint8_t* out) {
  const uint8_t* biases = networkImage + biasOffset;
  for (int half = 0; half < 2; ++half) {
    Vec128 words[2];
    for (int pair = 0; pair < 2; ++pair) {
      int base = half * 16 + pair * 8;
      Vec128 low = vec128Add32(vec128Load(sums + base), vec128Load(biases + 4 * base));
      Vec128 high = vec128Add32(vec128Load(sums + base + 4), vec128Load(biases + 4 * base + 16));
      words[pair] = vec128ShiftRight3(vec128PackSaturated32(low, high));
    }
    vec128Store(out + 16 * half, vec128PackClamped(words[0], words[1]));
  }
}

void accumulateRows(int16_t* dst, const int16_t* src, const int16_t* const* add, int addCount,
                    const int16_t* const* sub, int subCount) {
  for (int base = 0; base < L1_SIZE; base += UPDATE_BLOCK_LANES) {
    Vec regs[UPDATE_REGS];
    for (int k = 0; k < UPDATE_REGS; ++k) regs[k] = vecLoad(src + base + k * VEC_I16_LANES);
    for (int i = 0; i < addCount; ++i)
      for (int k = 0; k < UPDATE_REGS; ++k)
        regs[k] = vecAdd16(regs[k], vecLoad(add[i] + base + k * VEC_I16_LANES));
    for (int i = 0; i < subCount; ++i)
      for (int k = 0; k < UPDATE_REGS; ++k)
        regs[k] = vecSub16(regs[k], vecLoad(sub[i] + base + k * VEC_I16_LANES));
    for (int k = 0; k < UPDATE_REGS; ++k) vecStore(dst + base + k * VEC_I16_LANES, regs[k]);
  }
}

void clipAccumulators(const int16_t* own, const int16_t* other, uint8_t* out) {
  const int16_t* halves[2] = {own, other};
  for (int half = 0; half < 2; ++half)
    for (int lane = 0; lane < L1_SIZE; lane += 2 * VEC_I16_LANES) {
      Vec low = vecHalve16(vecLoad(halves[half] + lane));
      Vec high = vecHalve16(vecLoad(halves[half] + lane + VEC_I16_LANES));
      vecStore(out + half * L1_SIZE + lane, vecPackClamped(low, high));
    }
}

// Inputs are often mostly zero (clamped lanes), and then only groups of four
// inputs with a non-zero byte are multiplied. Several groups per step go to
// separate sums, as many as the registers allow, to keep the multiply-add
// chains short.
void hiddenLayer2(const uint8_t* inputs, uint8_t* out) {
  constexpr int MASKS = L2_INPUTS / VEC_BYTES;
  uint32_t masks[MASKS];
  int count = 0;
  for (int m = 0; m < MASKS; ++m) {
    masks[m] = vecNonZero32(vecLoad(inputs + m * VEC_BYTES));
    count += __builtin_popcount(masks[m]);
  }
  Vec sums[SUM_SETS][OUTPUT_REGS];
  for (auto& set : sums)
    for (Vec& sum : set) sum = vecZero();
  auto addGroup = [&](int set, int group) {
    Vec x = vecBroadcast32(loadInt32(inputs + 4 * group));
    const int8_t* w = &convertedNetwork.l2Packed[group][0][0];
    for (int k = 0; k < OUTPUT_REGS; ++k) sums[set][k] = vecDotBytes(sums[set][k], x, vecLoad(w + k * VEC_BYTES));
  };
  if (count > DENSE_GROUPS) {
    for (int group = 0; group < L2_INPUTS / 4; group += SUM_SETS)
      for (int set = 0; set < SUM_SETS; ++set) addGroup(set, group + set);
  } else {
    uint16_t groups[L2_INPUTS / 4];
    int listed = 0;
    for (int m = 0; m < MASKS; ++m)
      for (uint32_t mask = masks[m]; mask; mask &= mask - 1)
        groups[listed++] = uint16_t(m * VEC_BYTES / 4 + __builtin_ctz(mask));
    int g = 0;
    for (; g + SUM_SETS <= count; g += SUM_SETS)
      for (int set = 0; set < SUM_SETS; ++set) addGroup(set, groups[g + set]);
    for (int set = 0; g < count; ++g, ++set) addGroup(set, groups[g]);
  }
  alignas(64) int32_t stored[L2_SIZE];
  for (int k = 0; k < OUTPUT_REGS; ++k) {
    Vec total = sums[0][k];
    for (int set = 1; set < SUM_SETS; ++set) total = vecAdd32(total, sums[set][k]);
    vecStore(stored + k * VEC_I32_LANES, total);
  }
  finishLayer(stored, IMAGE_L2_BIASES, out);
}

void hiddenLayer3(const uint8_t* inputs, uint8_t* out) {
  Vec sums[OUTPUT_REGS];
  for (int k = 0; k < OUTPUT_REGS; ++k) sums[k] = vecZero();
  for (int group = 0; group < L2_SIZE / 4; ++group) {
    Vec x = vecBroadcast32(loadInt32(inputs + 4 * group));
    const int8_t* w = &convertedNetwork.l3Packed[group][0][0];
    for (int k = 0; k < OUTPUT_REGS; ++k) sums[k] = vecDotBytes(sums[k], x, vecLoad(w + k * VEC_BYTES));
  }
  alignas(64) int32_t stored[L3_SIZE];
  for (int k = 0; k < OUTPUT_REGS; ++k) vecStore(stored + k * VEC_I32_LANES, sums[k]);
  finishLayer(stored, IMAGE_L3_BIASES, out);
}

int outputLayer(const uint8_t* inputs) {
  const uint8_t* weights = networkImage + IMAGE_L4_WEIGHTS;
  Vec128 sum = vec128DotBytes(vec128Zero(), vec128Load(inputs), vec128Load(weights));
  sum = vec128DotBytes(sum, vec128Load(inputs + 16), vec128Load(weights + 16));
  uint32_t total = uint32_t(vec128Sum32(sum)) + uint32_t(loadInt32(networkImage + IMAGE_L4_BIAS));
  return int32_t(total) / 32;
}

int forwardPass(const int16_t* own, const int16_t* other) {
  alignas(64) uint8_t a1[L2_INPUTS];
  alignas(64) uint8_t a2[L2_SIZE];
  alignas(64) uint8_t a3[L3_SIZE];
  clipAccumulators(own, other, a1);
  hiddenLayer2(a1, a2);
  hiddenLayer3(a2, a3);
  return outputLayer(a3);
}

}  // namespace

extern const NetworkKernels CORVAN_KERNEL_RECORD = {SET_NAME,     processorRunsThisSet, accumulateRows, clipAccumulators,
                                                    hiddenLayer2, hiddenLayer3,         outputLayer,    forwardPass};

#endif
