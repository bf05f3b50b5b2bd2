#include "pairs.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <numeric>

#include "bytes.h"

namespace {

constexpr int MAX_SYMBOLS = 4095;  // 4095 itself marks a literal's right half
constexpr int LITERAL = 4095;
constexpr int MAX_SYMBOL_VALUES = 256;
constexpr int MAX_BLOCK_VALUES = 65536;
constexpr int MAX_CODE_BITS = 32;
constexpr int MAX_INDEX_BITS = 16;  // index offsets stay below 2^16
constexpr uint32_t MIN_PAIR_COUNT = 4;
constexpr size_t PAIRS_PER_ROUND = 128;

struct Symbol {
  uint16_t left, right;  // right = LITERAL: a literal whose value is left
  uint16_t values;       // number of values it stands for
};

// Pair counts for the symbol numbers of one thread, kept between calls:
// [left << 12 | right]; only the touched entries are cleared.
struct PairCounter {
  std::vector<uint32_t> count = std::vector<uint32_t>(size_t(1) << 24, 0);
  std::vector<uint32_t> touched;
  void add(uint32_t key, uint32_t n) {
    if (count[key] == 0) touched.push_back(key);
    count[key] += n;
  }
  void clear() {
    for (uint32_t key : touched) count[key] = 0;
    touched.clear();
  }
};

PairCounter& pairCounter() {
  thread_local PairCounter counter;
  return counter;
}

// Counts neighbouring pairs, a run of one symbol as its non-overlapping
// pairs.
void countPairs(const std::vector<uint16_t>& seq, PairCounter& pc) {
  const size_t n = seq.size();
  for (size_t i = 0; i + 1 < n;) {
    const uint32_t a = seq[i];
    if (seq[i + 1] != a) {
      pc.add(a << 12 | seq[i + 1], 1);
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < n && seq[j] == a) ++j;
    pc.add(a << 12 | a, uint32_t((j - i) / 2));
    if (j < n) pc.add(a << 12 | seq[j], 1);
    i = j;
  }
}

// Replaces the most frequent pairs by new symbols, a batch at a time.
void buildPairs(std::vector<uint16_t>& seq, std::vector<Symbol>& symbols) {
  PairCounter& pc = pairCounter();
  std::vector<uint32_t> chosen;
  while (symbols.size() < MAX_SYMBOLS && seq.size() > 1) {
    countPairs(seq, pc);
    std::vector<std::pair<uint32_t, uint32_t>> candidates;  // (count, key)
    for (uint32_t key : pc.touched) {
      const uint32_t c = pc.count[key];
      if (c < MIN_PAIR_COUNT) continue;
      if (symbols[key >> 12].values + symbols[key & 4095].values > MAX_SYMBOL_VALUES) continue;
      candidates.emplace_back(c, key);
    }
    pc.clear();
    if (candidates.empty()) break;
    const size_t take = std::min({candidates.size(), PAIRS_PER_ROUND, MAX_SYMBOLS - symbols.size()});
    std::partial_sort(candidates.begin(), candidates.begin() + std::ptrdiff_t(take), candidates.end(),
                      [](auto& x, auto& y) { return x.first != y.first ? x.first > y.first : x.second < y.second; });
    const uint32_t floor = std::max(MIN_PAIR_COUNT, candidates[0].first / 8);
    chosen.clear();
    for (size_t i = 0; i < take && candidates[i].first >= floor; ++i) {
      const uint32_t key = candidates[i].second;
      pc.count[key] = uint32_t(symbols.size()) + 1;  // marks the pair with its new symbol
      pc.touched.push_back(key);
      symbols.push_back({uint16_t(key >> 12), uint16_t(key & 4095),
                         uint16_t(symbols[key >> 12].values + symbols[key & 4095].values)});
    }
    size_t out = 0;
    for (size_t i = 0; i < seq.size();) {
      if (i + 1 < seq.size()) {
        const uint32_t mark = pc.count[uint32_t(seq[i]) << 12 | seq[i + 1]];
        if (mark) {
          seq[out++] = uint16_t(mark - 1);
          i += 2;
          continue;
        }
      }
      seq[out++] = seq[i++];
    }
    seq.resize(out);
    pc.clear();
  }
}

}  // namespace

// Package-merge: the lengths are the number of levels at which each symbol
// lies among the cheapest items chosen.
std::vector<int> limitedCodeLengths(const std::vector<uint64_t>& frequencies, int maxLength) {
  const size_t n = frequencies.size();
  assert(n >= 2 && (uint64_t(1) << maxLength) >= n);
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return frequencies[a] < frequencies[b]; });
  // Per level (deepest first), whether each item of the merged list is a
  // package; the weights of the current list.
  std::vector<std::vector<uint8_t>> isPackage(static_cast<size_t>(maxLength));
  std::vector<uint64_t> weights;
  for (size_t i = 0; i < n; ++i) weights.push_back(frequencies[order[i]]);
  isPackage[0].assign(n, 0);
  for (int level = 1; level < maxLength; ++level) {
    std::vector<uint64_t> packages;
    for (size_t i = 0; i + 1 < weights.size(); i += 2) packages.push_back(weights[i] + weights[i + 1]);
    std::vector<uint64_t> merged;
    std::vector<uint8_t>& kinds = isPackage[size_t(level)];
    size_t a = 0, b = 0;
    while (a < n || b < packages.size()) {
      if (b == packages.size() || (a < n && frequencies[order[a]] <= packages[b])) {
        merged.push_back(frequencies[order[a++]]);
        kinds.push_back(0);
      } else {
        merged.push_back(packages[b++]);
        kinds.push_back(1);
      }
    }
    weights.swap(merged);
  }
  std::vector<int> lengths(n, 0);
  size_t take = 2 * n - 2;
  for (int level = maxLength - 1; level >= 0 && take > 0; --level) {
    size_t packages = 0, leaves = 0;
    for (size_t i = 0; i < take; ++i) (isPackage[size_t(level)][i] ? packages : leaves)++;
    for (size_t i = 0; i < leaves; ++i) ++lengths[order[i]];
    take = 2 * packages;
  }
  return lengths;
}

namespace {

// A sub-table's symbols, their code and the final symbol stream.
struct Code {
  std::vector<Symbol> symbols;
  std::vector<uint16_t> seq;
  std::vector<int> length, number, byNumber;  // by symbol; symbols by number
  std::vector<uint32_t> code;
  std::vector<uint64_t> first;  // by length: number of its first symbol
  int minLen = 0, maxLen = 0;
};

// Canonical numbering, longer codes first, and each symbol's code.
void assignCodes(Code& c) {
  const size_t n = c.symbols.size();
  std::vector<uint64_t> frequency(n, 0);
  for (uint16_t s : c.seq) ++frequency[s];
  c.length = limitedCodeLengths(frequency, MAX_CODE_BITS);
  c.byNumber.resize(n);
  std::iota(c.byNumber.begin(), c.byNumber.end(), 0);
  std::stable_sort(c.byNumber.begin(), c.byNumber.end(), [&](int a, int b) { return c.length[size_t(a)] > c.length[size_t(b)]; });
  c.number.resize(n);
  for (size_t i = 0; i < n; ++i) c.number[size_t(c.byNumber[i])] = int(i);
  c.maxLen = c.length[size_t(c.byNumber.front())];
  c.minLen = c.length[size_t(c.byNumber.back())];
  std::vector<uint64_t> countOf(MAX_CODE_BITS + 2, 0), base(MAX_CODE_BITS + 2, 0);
  c.first.assign(MAX_CODE_BITS + 2, 0);
  for (int l : c.length) ++countOf[size_t(l)];
  for (int l = c.maxLen - 1; l >= c.minLen; --l) {
    c.first[size_t(l)] = c.first[size_t(l + 1)] + countOf[size_t(l + 1)];
    base[size_t(l)] = (base[size_t(l + 1)] + countOf[size_t(l + 1)]) / 2;
  }
  c.code.resize(n);
  for (size_t s = 0; s < n; ++s)
    c.code[s] = uint32_t(base[size_t(c.length[s])] + uint64_t(c.number[s]) - c.first[size_t(c.length[s])]);
}

// Cuts the stream into blocks of 2^blockSize bytes, then writes the index
// and size tables and the header.
CompressedPairs packBlocks(const Code& c, uint64_t total, int blockSize) {
  CompressedPairs out;
  const uint64_t blockBytes = uint64_t(1) << blockSize, blockBits = 8 * blockBytes;
  std::vector<uint32_t> blockValues;
  std::vector<uint8_t>& data = out.data;
  uint64_t bit = 0, inBlock = 0;
  size_t blockFirst = 0;  // first symbol of the open block
  // The decoder reads 32 bits ahead of the symbol it looks at. In the
  // sub-table's last block (strict) no symbol may start so late that this
  // reading leaves the block; the other blocks may read into the next one.
  auto pack = [&](size_t from, bool strict) {
    data.resize((blockValues.size() + 1) * blockBytes, 0);
    for (size_t k = from; k < c.seq.size(); ++k) {
      const uint16_t s = c.seq[k];
      const int l = c.length[s];
      const bool late = strict && 8 + 4 * (bit / 32) > blockBytes;
      if (inBlock && (bit + uint64_t(l) > blockBits || late || inBlock + c.symbols[s].values > MAX_BLOCK_VALUES)) {
        blockValues.push_back(uint32_t(inBlock));
        data.resize((blockValues.size() + 1) * blockBytes, 0);
        bit = 0;
        inBlock = 0;
        blockFirst = k;
      }
      uint8_t* block = data.data() + blockValues.size() * blockBytes;
      for (int i = l - 1; i >= 0; --i, ++bit)
        if (c.code[s] >> i & 1) block[bit >> 3] |= uint8_t(0x80 >> (bit & 7));
      inBlock += c.symbols[s].values;
    }
  };
  pack(0, false);
  {
    // Repack the last block strictly.
    data.resize(blockValues.size() * blockBytes);
    bit = 0;
    inBlock = 0;
    pack(blockFirst, true);
  }
  blockValues.push_back(uint32_t(inBlock));
  const uint64_t realBlocks = blockValues.size();

  // An index entry for every 2^idxBits values, about two blocks' worth.
  int idxBits = 1;
  while (idxBits < MAX_INDEX_BITS && (uint64_t(1) << (idxBits + 1)) <= 2 * total / realBlocks) ++idxBits;
  const uint64_t entries = (total + (uint64_t(1) << idxBits) - 1) >> idxBits;
  const uint64_t half = uint64_t(1) << (idxBits - 1);
  bool virtualBlock = false;
  uint64_t block = 0, blockStart = 0;
  for (uint64_t e = 0; e < entries; ++e) {
    const uint64_t middle = (e << idxBits) + half;
    if (middle >= total) {
      // Past the last value: a block behind the data, only ever walked
      // back from.
      virtualBlock = true;
      put32(out.indexTable, uint32_t(realBlocks));
      put16(out.indexTable, uint32_t(middle - total));
      continue;
    }
    while (middle >= blockStart + blockValues[block]) blockStart += blockValues[block++];
    put32(out.indexTable, uint32_t(block));
    put16(out.indexTable, uint32_t(middle - blockStart));
  }
  for (uint32_t v : blockValues) put16(out.sizeTable, v - 1);
  if (virtualBlock) put16(out.sizeTable, 0xFFFF);

  std::vector<uint8_t>& h = out.header;
  h = {0, uint8_t(blockSize), uint8_t(idxBits), uint8_t(virtualBlock)};
  put32(h, uint32_t(realBlocks));
  h.push_back(uint8_t(c.maxLen));
  h.push_back(uint8_t(c.minLen));
  for (int l = c.minLen; l <= c.maxLen; ++l) put16(h, uint32_t(c.first[size_t(l)]));
  put16(h, uint32_t(c.symbols.size()));
  for (int s : c.byNumber) {
    const Symbol& sym = c.symbols[size_t(s)];
    const uint32_t left = sym.right == LITERAL ? sym.left : uint32_t(c.number[sym.left]);
    const uint32_t right = sym.right == LITERAL ? LITERAL : uint32_t(c.number[sym.right]);
    h.push_back(uint8_t(left));
    h.push_back(uint8_t(left >> 8 | (right & 15) << 4));
    h.push_back(uint8_t(right >> 4));
  }
  if (c.symbols.size() & 1) h.push_back(0);
  return out;
}

}  // namespace

CompressedPairs compressPairs(const std::vector<uint16_t>& values, const PairsOptions& options) {
  assert(!values.empty());
  Code c;
  std::vector<int> literalOf(4096, -1);
  c.seq.resize(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    const uint16_t v = values[i];
    if (literalOf[v] < 0) {
      literalOf[v] = int(c.symbols.size());
      c.symbols.push_back({v, LITERAL, 1});
    }
    c.seq[i] = uint16_t(literalOf[v]);
  }
  if (c.symbols.size() == 1) {
    CompressedPairs single;
    single.header = {0x80, uint8_t(values[0])};
    return single;
  }
  buildPairs(c.seq, c.symbols);
  assignCodes(c);
  CompressedPairs best;
  for (int blockSize = options.minBlockSize; blockSize <= options.maxBlockSize; ++blockSize) {
    CompressedPairs packed = packBlocks(c, values.size(), blockSize);
    if (best.header.empty() || packed.bytes() < best.bytes()) best = std::move(packed);
  }
  return best;
}
