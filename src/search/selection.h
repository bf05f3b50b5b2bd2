// Choosing the next move from a scored list: the entry with the highest key,
// and among equal keys the one nearest the end of the list. The move order,
// and with it the node count, depends on that tie rule, so the vector
// versions must choose exactly the entry the plain loop chooses.
#pragma once

#include <climits>
#include <cstdint>

#if defined(__AVX512F__) || defined(__AVX2__)
#include <immintrin.h>
#endif

#include "board/types.h"

// count >= 1.
inline int bestEntryIndexScalar(const ScoredMove* moves, int count) {
  int best = count - 1;
  for (int i = count - 2; i >= 0; --i)
    if (moves[i].key > moves[best].key) best = i;
  return best;
}

// The list is scanned eight entries at a time (four with AVX2). Every key
// lane remembers its highest key and where it was seen last (a later equal
// key replaces it); the answer is the latest position among the lanes
// holding the highest key.
inline int bestEntryIndex(const ScoredMove* moves, int count) {
#if defined(__AVX512F__)
  if (count >= 8) {
    const int32_t* words = &moves[0].key;  // key, move, key, move, ...
    const __mmask16 keyLanes = 0x5555;
    const __m512i step = _mm512_set1_epi32(8);
    __m512i best = _mm512_set1_epi32(INT32_MIN), bestAt = _mm512_setzero_si512();
    __m512i at = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
      const __m512i v = _mm512_loadu_si512(words + 2 * i);
      const __mmask16 later = _mm512_mask_cmpge_epi32_mask(keyLanes, v, best);
      best = _mm512_mask_mov_epi32(best, later, v);
      bestAt = _mm512_mask_mov_epi32(bestAt, later, at);
      at = _mm512_add_epi32(at, step);
    }
    if (i < count) {
      const __mmask16 valid = __mmask16(keyLanes & ((1u << (2 * (count - i))) - 1));
      const __m512i v = _mm512_maskz_loadu_epi32(valid, words + 2 * i);
      const __mmask16 later = _mm512_mask_cmpge_epi32_mask(valid, v, best);
      best = _mm512_mask_mov_epi32(best, later, v);
      bestAt = _mm512_mask_mov_epi32(bestAt, later, at);
    }
    // The highest key into every lane, then the latest position holding it.
    // (The zero-masked forms, with every lane kept, spare GCC's false
    // warning about the undefined source of the plain ones.)
    const auto allLanesMax = [](__m512i x) {
      constexpr __mmask16 all = 0xFFFF;
      x = _mm512_maskz_max_epi32(all, x, _mm512_maskz_shuffle_i32x4(all, x, x, _MM_SHUFFLE(1, 0, 3, 2)));
      x = _mm512_maskz_max_epi32(all, x, _mm512_maskz_shuffle_i32x4(all, x, x, _MM_SHUFFLE(2, 3, 0, 1)));
      x = _mm512_maskz_max_epi32(all, x, _mm512_maskz_shuffle_epi32(all, x, _MM_PERM_BADC));
      return _mm512_maskz_max_epi32(all, x, _mm512_maskz_shuffle_epi32(all, x, _MM_PERM_CDAB));
    };
    const __m512i none = _mm512_set1_epi32(INT32_MIN);
    const __m512i top = allLanesMax(_mm512_mask_mov_epi32(none, keyLanes, best));
    const __mmask16 atTop = _mm512_mask_cmpeq_epi32_mask(keyLanes, best, top);
    return _mm512_cvtsi512_si32(allLanesMax(_mm512_mask_mov_epi32(none, atTop, bestAt)));
  }
#elif defined(__AVX2__)
  if (count >= 8) {
    const int32_t* words = &moves[0].key;
    const __m256i keyLanes = _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0);
    const __m256i step = _mm256_set1_epi32(4);
    __m256i best = _mm256_set1_epi32(INT32_MIN), bestAt = _mm256_setzero_si256();
    __m256i at = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + 2 * i));
      const __m256i later = _mm256_andnot_si256(_mm256_cmpgt_epi32(best, v), keyLanes);
      best = _mm256_blendv_epi8(best, v, later);
      bestAt = _mm256_blendv_epi8(bestAt, at, later);
      at = _mm256_add_epi32(at, step);
    }
    alignas(32) int32_t keys[8], where[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(keys), best);
    _mm256_store_si256(reinterpret_cast<__m256i*>(where), bestAt);
    int bestIndex = where[0];
    int32_t bestKey = keys[0];
    for (int lane = 2; lane < 8; lane += 2)
      if (keys[lane] > bestKey || (keys[lane] == bestKey && where[lane] > bestIndex)) {
        bestKey = keys[lane];
        bestIndex = where[lane];
      }
    for (; i < count; ++i)
      if (moves[i].key >= bestKey) {
        bestKey = moves[i].key;
        bestIndex = i;
      }
    return bestIndex;
  }
#endif
  return bestEntryIndexScalar(moves, count);
}
