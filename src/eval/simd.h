// Vector vocabulary of the network kernels: one register type and a handful
// of operations, mapped to the widest instruction set the file including it
// is compiled for (AVX-512BW, AVX2, SSE4.1). CORVAN_NO_SIMD, or a target below
// SSE4.1, leaves CORVAN_VECTOR undefined and only the scalar kernels are built.
//
// Every function is static: a distribution build compiles the kernels once
// per instruction set, and each copy must keep its own helpers. Shared inline
// definitions would let the linker keep one copy for all, perhaps the AVX-512
// one, and that would fault on a processor without it.
#pragma once

#include <cstdint>

#if !defined(CORVAN_NO_SIMD) && (defined(__AVX512BW__) || defined(__AVX2__) || defined(__SSE4_1__))
#define CORVAN_VECTOR 1
#include <immintrin.h>

// 128-bit operations, used at every width for the short layer outputs.
using Vec128 = __m128i;
static inline Vec128 vec128Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
static inline void vec128Store(void* p, Vec128 v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
static inline Vec128 vec128Zero() { return _mm_setzero_si128(); }
static inline Vec128 vec128Add32(Vec128 a, Vec128 b) { return _mm_add_epi32(a, b); }
// Eight i32 (four of a, then four of b) as i16 with signed saturation.
static inline Vec128 vec128PackSaturated32(Vec128 a, Vec128 b) { return _mm_packs_epi32(a, b); }
static inline Vec128 vec128ShiftRight3(Vec128 a) { return _mm_srai_epi16(a, 3); }
// Sixteen i16 (eight of a, then eight of b) as bytes clamped to 0..127.
static inline Vec128 vec128PackClamped(Vec128 a, Vec128 b) { return _mm_max_epi8(_mm_packs_epi16(a, b), _mm_setzero_si128()); }
// acc + sum over each group of four bytes of u (0..127) times s (signed).
static inline Vec128 vec128DotBytes(Vec128 acc, Vec128 u, Vec128 s) {
  // Pairs of products of 0..127 by -128..127 never saturate the 16-bit sum.
  return _mm_add_epi32(acc, _mm_madd_epi16(_mm_maddubs_epi16(u, s), _mm_set1_epi16(1)));
}
static inline int32_t vec128Sum32(Vec128 v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
  return _mm_cvtsi128_si32(v);
}

#if defined(__AVX512BW__)
using Vec = __m512i;
constexpr int VEC_BYTES = 64;
static inline Vec vecLoad(const void* p) { return _mm512_loadu_si512(p); }
static inline void vecStore(void* p, Vec v) { _mm512_storeu_si512(p, v); }
static inline Vec vecZero() { return _mm512_setzero_si512(); }
static inline Vec vecAdd16(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
static inline Vec vecSub16(Vec a, Vec b) { return _mm512_sub_epi16(a, b); }
static inline Vec vecAdd32(Vec a, Vec b) { return _mm512_add_epi32(a, b); }
static inline Vec vecBroadcast32(int32_t x) { return _mm512_set1_epi32(x); }
// The i16 lanes of a then b as bytes clamped to 0..127, in lane order.
static inline Vec vecPackClamped(Vec a, Vec b) {
  Vec packed = _mm512_max_epi8(_mm512_packs_epi16(a, b), _mm512_setzero_si512());
  // (The zero-masked form avoids a false uninitialised warning of GCC 12.)
  return _mm512_maskz_permutexvar_epi64(0xFF, _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), packed);
}
static inline Vec vecHalve16(Vec a) { return _mm512_srai_epi16(a, 1); }
// One bit per 32-bit lane that is not zero.
static inline uint32_t vecNonZero32(Vec v) { return _mm512_test_epi32_mask(v, v); }
// acc + sum over each group of four bytes of u (0..127) times s (signed).
static inline Vec vecDotBytes(Vec acc, Vec u, Vec s) {
#if defined(__AVX512VNNI__)
  return _mm512_dpbusd_epi32(acc, u, s);
#else
  // Pairs of products of 0..127 by -128..127 never saturate the 16-bit sum.
  Vec pairs = _mm512_maddubs_epi16(u, s);
  return _mm512_add_epi32(acc, _mm512_madd_epi16(pairs, _mm512_set1_epi16(1)));
#endif
}

#elif defined(__AVX2__)
using Vec = __m256i;
constexpr int VEC_BYTES = 32;
static inline Vec vecLoad(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
static inline void vecStore(void* p, Vec v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
static inline Vec vecZero() { return _mm256_setzero_si256(); }
static inline Vec vecAdd16(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
static inline Vec vecSub16(Vec a, Vec b) { return _mm256_sub_epi16(a, b); }
static inline Vec vecAdd32(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
static inline Vec vecBroadcast32(int32_t x) { return _mm256_set1_epi32(x); }
static inline Vec vecPackClamped(Vec a, Vec b) {
  Vec packed = _mm256_max_epi8(_mm256_packs_epi16(a, b), _mm256_setzero_si256());
  return _mm256_permute4x64_epi64(packed, 0xD8);
}
static inline Vec vecHalve16(Vec a) { return _mm256_srai_epi16(a, 1); }
static inline uint32_t vecNonZero32(Vec v) {
  Vec zero = _mm256_cmpeq_epi32(v, _mm256_setzero_si256());
  return ~uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(zero))) & 0xFF;
}
static inline Vec vecDotBytes(Vec acc, Vec u, Vec s) {
#if defined(__AVXVNNI__)
  return _mm256_dpbusd_avx_epi32(acc, u, s);
#else
  Vec pairs = _mm256_maddubs_epi16(u, s);
  return _mm256_add_epi32(acc, _mm256_madd_epi16(pairs, _mm256_set1_epi16(1)));
#endif
}

#else
using Vec = Vec128;
constexpr int VEC_BYTES = 16;
static inline Vec vecLoad(const void* p) { return vec128Load(p); }
static inline void vecStore(void* p, Vec v) { vec128Store(p, v); }
static inline Vec vecZero() { return vec128Zero(); }
static inline Vec vecAdd16(Vec a, Vec b) { return _mm_add_epi16(a, b); }
static inline Vec vecSub16(Vec a, Vec b) { return _mm_sub_epi16(a, b); }
static inline Vec vecAdd32(Vec a, Vec b) { return _mm_add_epi32(a, b); }
static inline Vec vecBroadcast32(int32_t x) { return _mm_set1_epi32(x); }
static inline Vec vecPackClamped(Vec a, Vec b) { return vec128PackClamped(a, b); }
static inline Vec vecHalve16(Vec a) { return _mm_srai_epi16(a, 1); }
static inline uint32_t vecNonZero32(Vec v) {
  Vec zero = _mm_cmpeq_epi32(v, _mm_setzero_si128());
  return ~uint32_t(_mm_movemask_ps(_mm_castsi128_ps(zero))) & 0xF;
}
static inline Vec vecDotBytes(Vec acc, Vec u, Vec s) { return vec128DotBytes(acc, u, s); }
#endif

constexpr int VEC_I16_LANES = VEC_BYTES / 2;
constexpr int VEC_I32_LANES = VEC_BYTES / 4;

#endif
