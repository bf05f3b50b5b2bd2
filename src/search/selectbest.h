// Selection of the best remaining move: the entry with the highest key, and
// among equal keys the one nearest the end of the list. Both pickers hand
// out moves this way, one selection per move, so the scan is hot; the
// vector form compares eight entries at a time and finds the same entry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board/types.h"

#if !defined(CORVAN_NO_SIMD) && defined(__AVX512F__)
#include <immintrin.h>
#define CORVAN_VECTOR_SELECT 1
#endif

// Reference form: a scan from the end with a strictly-greater test.
inline int bestEntryIndexScalar(const ScoredMove* moves, int count) {
  int best = count - 1;
  int32_t bestKey = moves[best].key;
  for (int i = count - 2; i >= 0; --i)
    if (moves[i].key > bestKey) {
      best = i;
      bestKey = moves[i].key;
    }
  return best;
}

#if defined(CORVAN_VECTOR_SELECT)
// Eight entries per register; the keys are the even 32-bit lanes. The first
// pass finds the highest key, the second, from the end, the last entry
// holding it.
inline int bestEntryIndexVector(const ScoredMove* moves, int count) {
  static_assert(sizeof(ScoredMove) == 8 && offsetof(ScoredMove, key) == 0, "keys in the even lanes");
  constexpr __mmask16 KEYS = 0x5555;
  const int32_t* words = reinterpret_cast<const int32_t*>(moves);
  const int full = count / 8;
  const int rest = count % 8;
  const __mmask16 tailKeys = __mmask16(((1u << (2 * rest)) - 1) & KEYS);
  __m512i best = _mm512_set1_epi32(INT32_MIN);
  for (int i = 0; i < full; ++i) best = _mm512_mask_max_epi32(best, KEYS, best, _mm512_loadu_si512(words + 16 * i));
  __m512i tail = _mm512_maskz_loadu_epi32(tailKeys, words + 16 * full);
  best = _mm512_mask_max_epi32(best, tailKeys, best, tail);
  // Every lane gets the maximum. (The zero-masked forms avoid false
  // uninitialised warnings of GCC 12.)
  constexpr __mmask16 ALL = 0xFFFF;
  best = _mm512_maskz_max_epi32(ALL, best, _mm512_maskz_shuffle_i32x4(ALL, best, best, _MM_SHUFFLE(1, 0, 3, 2)));
  best = _mm512_maskz_max_epi32(ALL, best, _mm512_maskz_shuffle_i32x4(ALL, best, best, _MM_SHUFFLE(2, 3, 0, 1)));
  best = _mm512_maskz_max_epi32(ALL, best, _mm512_maskz_shuffle_epi32(ALL, best, _MM_PERM_BADC));
  const __m512i target = _mm512_maskz_max_epi32(ALL, best, _mm512_maskz_shuffle_epi32(ALL, best, _MM_PERM_CDAB));
  if (uint32_t hits = _mm512_mask_cmpeq_epi32_mask(tailKeys, tail, target))
    return 8 * full + (31 - __builtin_clz(hits)) / 2;
  for (int i = full - 1;; --i)
    if (uint32_t hits = _mm512_mask_cmpeq_epi32_mask(KEYS, _mm512_loadu_si512(words + 16 * i), target))
      return 8 * i + (31 - __builtin_clz(hits)) / 2;
}
#endif

// Index of the best of moves[0, count), count >= 1.
inline int bestEntryIndex(const ScoredMove* moves, int count) {
#if defined(CORVAN_VECTOR_SELECT)
  if (count > 4) return bestEntryIndexVector(moves, count);
#endif
  return bestEntryIndexScalar(moves, count);
}
