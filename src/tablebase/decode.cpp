#include "tablebase/decode.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint8_t FLAG_SINGLE_VALUE = 0x80;
constexpr int LITERAL_HALF = 4095;  // right half of a literal symbol
constexpr int MAX_BLOCK_SIZE = 31;  // log2; keeps block offsets far inside 64 bits
constexpr int MAX_INDEX_BITS = 62;

inline uint32_t read16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t read32(const uint8_t* p) { return read16(p) | read16(p + 2) << 16; }

// Big-endian loads of the code stream that stop at the end of the image:
// bytes past it read as zero (only a corrupt block runs that far).
inline uint64_t loadCode64(const uint8_t* p, const uint8_t* end) {
  uint64_t v = 0;
  if (end - p >= 8) {
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
  }
  for (int i = 0; i < 8; ++i) v = v << 8 | (p + i < end ? p[i] : 0);
  return v;
}

inline uint32_t loadCode32(const uint8_t* p, const uint8_t* end) {
  uint32_t v = 0;
  if (end - p >= 4) {
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
  }
  for (int i = 0; i < 4; ++i) v = v << 8 | (p + i < end ? p[i] : 0);
  return v;
}

inline int leftHalf(const uint8_t* w) { return w[0] | (w[1] & 15) << 8; }
inline int rightHalf(const uint8_t* w) { return w[1] >> 4 | w[2] << 4; }

// Number of values each symbol stands for, minus 1: a literal stands for
// one, a pair for both halves. Depth first without recursion; a pair that
// names a symbol out of range or contains itself, or a symbol longer than a
// byte can count, makes the table unusable.
bool computeSymbolLengths(PairsData& d) {
  const uint32_t count = d.symbolCount;
  enum : uint8_t { UNSEEN, OPEN, DONE };
  std::vector<uint8_t> state(count, UNSEEN);
  std::vector<uint32_t> stack;
  stack.reserve(64);
  for (uint32_t s = 0; s < count; ++s) {
    if (state[s] == DONE) continue;
    state[s] = OPEN;
    stack.push_back(s);
    while (!stack.empty()) {
      const uint32_t t = stack.back();
      const uint8_t* w = d.symPat + 3 * t;
      const int right = rightHalf(w);
      if (right == LITERAL_HALF) {
        d.symLen[t] = 0;
      } else {
        const uint32_t left = uint32_t(leftHalf(w));
        if (left >= count || uint32_t(right) >= count || state[left] == OPEN || state[right] == OPEN) return false;
        if (state[left] == UNSEEN || state[right] == UNSEEN) {
          const uint32_t next = state[left] == UNSEEN ? left : uint32_t(right);
          state[next] = OPEN;
          stack.push_back(next);
          continue;
        }
        const int length = d.symLen[left] + d.symLen[right] + 1;
        if (length > 255) return false;
        d.symLen[t] = uint8_t(length);
      }
      state[t] = DONE;
      stack.pop_back();
    }
  }
  return true;
}

// Canonical code: the codes of one length are consecutive numbers, longer
// codes below shorter ones. base[l] is the lowest code of length l,
// left-aligned to 64 bits, and offset[l] the symbol of that code. Checks
// that every code the decoder can meet names an existing symbol.
bool buildCode(PairsData& d, const uint8_t* offsets) {
  const int h = d.maxLen - d.minLen + 1;
  uint64_t unshifted[MAX_CODE_LENGTH + 1] = {};
  for (int i = 0; i < h; ++i) d.offset[d.minLen + i] = uint16_t(read16(offsets + 2 * i));
  for (int i = h - 2; i >= 0; --i) {
    const int shorter = d.minLen + i;
    if (d.offset[shorter] < d.offset[shorter + 1]) return false;
    unshifted[i] = (unshifted[i + 1] + d.offset[shorter] - d.offset[shorter + 1]) / 2;
  }
  for (int i = 0; i < h; ++i) {
    const int length = d.minLen + i;
    if (unshifted[i] >= uint64_t(1) << length) return false;
    d.base[length] = unshifted[i] << (64 - length);
  }
  // A code is read as length l when it lies below every shorter base and
  // not below base[l]; the largest such code gives the largest symbol.
  uint64_t below = ~uint64_t(0);  // largest code still possible
  for (int length = d.minLen; length <= d.maxLen; ++length) {
    if (below >= d.base[length]) {
      const uint64_t last = d.offset[length] + ((below - d.base[length]) >> (64 - length));
      if (last >= d.symbolCount) return false;
    }
    if (d.base[length] == 0) break;
    if (d.base[length] - 1 < below) below = d.base[length] - 1;
  }
  return true;
}

}  // namespace

PairsData* setupPairs(const uint8_t** cursor, const uint8_t* imageEnd, uint64_t size, bool wdl,
                      PairsSections* sections, uint8_t* flags) {
  const uint8_t* d = *cursor;
  *sections = PairsSections{};
  if (imageEnd - d < 2) return nullptr;
  *flags = d[0];

  if (d[0] & FLAG_SINGLE_VALUE) {
    PairsData* pairs = static_cast<PairsData*>(std::calloc(1, sizeof(PairsData)));
    if (!pairs) return nullptr;
    pairs->size = size;
    pairs->imageEnd = imageEnd;
    pairs->constValue[0] = wdl ? d[1] : 0;
    *cursor = d + 2;
    return pairs;
  }

  if (imageEnd - d < 12) return nullptr;
  const int blockSize = d[1], idxBits = d[2];
  const uint64_t realBlocks = read32(d + 4);
  const uint64_t blockCount = realBlocks + d[3];
  const int maxLen = d[8], minLen = d[9];
  if (blockSize > MAX_BLOCK_SIZE || idxBits < 1 || idxBits > MAX_INDEX_BITS || minLen < 1 || minLen > maxLen ||
      maxLen > MAX_CODE_LENGTH || blockCount > UINT32_MAX || realBlocks == 0)
    return nullptr;
  const int h = maxLen - minLen + 1;
  if (imageEnd - d < 12 + 2 * h) return nullptr;
  const uint32_t symbols = read16(d + 10 + 2 * h);
  const uint64_t headerBytes = 12 + 2 * uint64_t(h) + 3 * uint64_t(symbols) + (symbols & 1);
  if (symbols == 0 || uint64_t(imageEnd - d) < headerBytes) return nullptr;

  PairsData* pairs = static_cast<PairsData*>(std::calloc(1, sizeof(PairsData) + symbols));
  if (!pairs) return nullptr;
  pairs->symLen = reinterpret_cast<uint8_t*>(pairs + 1);
  pairs->size = size;
  pairs->imageEnd = imageEnd;
  pairs->blockSize = uint8_t(blockSize);
  pairs->idxBits = uint8_t(idxBits);
  pairs->minLen = uint8_t(minLen);
  pairs->maxLen = uint8_t(maxLen);
  pairs->realBlocks = uint32_t(realBlocks);
  pairs->blockCount = uint32_t(blockCount);
  pairs->symbolCount = symbols;
  pairs->symPat = d + 12 + 2 * h;
  if (!computeSymbolLengths(*pairs) || !buildCode(*pairs, d + 10)) {
    freePairs(pairs);
    return nullptr;
  }

  const uint64_t perEntry = uint64_t(1) << idxBits;
  sections->indexBytes = 6 * (size / perEntry + (size % perEntry != 0));
  sections->sizeBytes = 2 * blockCount;
  sections->dataBytes = realBlocks << blockSize;
  *cursor = d + headerBytes;
  return pairs;
}

void freePairs(PairsData* pairs) { std::free(pairs); }

const uint8_t* decompressPairs(const PairsData* d, uint64_t idx) {
  if (!d->idxBits) return d->constValue;

  // 1. The index entry: a block and the value's distance from its start.
  const uint64_t entry = idx >> d->idxBits;
  int64_t lit = int64_t(idx & ((uint64_t(1) << d->idxBits) - 1)) - (int64_t(1) << (d->idxBits - 1));
  const uint8_t* e = d->indexTable + 6 * entry;
  uint32_t block = read32(e);
  lit += read16(e + 4);
  if (block >= d->blockCount) return nullptr;

  // 2. Walk to the block that holds the value.
  if (lit < 0) {
    do {
      if (block == 0) return nullptr;
      --block;
      lit += int64_t(read16(d->sizeTable + 2 * block)) + 1;
    } while (lit < 0);
  } else {
    for (int64_t last; lit > (last = read16(d->sizeTable + 2 * block));) {
      lit -= last + 1;
      if (++block >= d->blockCount) return nullptr;
    }
  }
  if (block >= d->realBlocks) return nullptr;

  // 3. Decode symbols until the one that covers the value.
  const uint8_t* end = d->imageEnd;
  const uint8_t* p = d->data + (uint64_t(block) << d->blockSize);
  uint64_t code = loadCode64(p, end);
  p += end - p >= 8 ? 8 : end - p;
  int bitsUsed = 0;
  uint32_t sym;
  for (;;) {
    int length = d->minLen;
    while (code < d->base[length]) ++length;
    sym = d->offset[length] + uint32_t((code - d->base[length]) >> (64 - length));
    if (lit < int64_t(d->symLen[sym]) + 1) break;
    lit -= int64_t(d->symLen[sym]) + 1;
    code <<= length;
    bitsUsed += length;
    if (bitsUsed >= 32) {
      bitsUsed -= 32;
      code |= uint64_t(loadCode32(p, end)) << bitsUsed;
      p += end - p >= 4 ? 4 : end - p;
    }
  }

  // 4. Descend through the pairs to the literal.
  while (d->symLen[sym] != 0) {
    const uint8_t* w = d->symPat + 3 * sym;
    const uint32_t left = uint32_t(leftHalf(w));
    if (lit < int64_t(d->symLen[left]) + 1) {
      sym = left;
    } else {
      lit -= int64_t(d->symLen[left]) + 1;
      sym = uint32_t(rightHalf(w));
    }
  }
  return d->symPat + 3 * sym;
}
