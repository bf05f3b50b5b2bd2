// The pair compression against the reader's own decoder: every value of
// every kind of sequence (long runs, alternations, noise, DTZ-sized values,
// a single value, block-sized edges) comes back from decompressPairs; and
// the code lengths stay complete and within the decoder's 32 bits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "pairs.h"
#include "tablebase/decode.h"

namespace {

struct Sequence {
  std::string what;
  std::vector<uint16_t> values;
};

std::vector<Sequence> sequences() {
  std::mt19937 random(7);
  std::vector<Sequence> out;
  auto make = [&](std::string what, size_t n, auto value) {
    Sequence s{std::move(what), {}};
    for (size_t i = 0; i < n; ++i) s.values.push_back(uint16_t(value(i)));
    out.push_back(std::move(s));
  };
  make("one value", 1, [](size_t) { return 2; });
  make("a constant run", 300000, [](size_t) { return 4; });
  make("two values", 2, [](size_t i) { return i; });
  make("runs longer than a symbol holds", 200000, [](size_t i) { return i / 1000 % 3; });
  make("runs longer than a block holds", 400000, [](size_t i) { return i < 150000 ? 0 : i / 120000; });
  make("alternation", 50000, [](size_t i) { return i % 2 ? 4 : 0; });
  make("noise over five values", 100000, [&](size_t) { return random() % 5; });
  make("short runs of noise", 300000, [&](size_t i) { return (i / (1 + i % 7)) % 5; });
  make("skewed distances", 120000, [&](size_t) { return std::min<int>(4095, int(std::geometric_distribution<>(0.05)(random))); });
  make("every twelve-bit value", 3 * 4096, [](size_t i) { return i % 4096; });
  return out;
}

// The compressed sub-table laid out as a file holds it, decoded value by
// value with the reader's decoder.
void expectRoundTrip(const Sequence& s, const PairsOptions& options, bool wdl) {
  const CompressedPairs c = compressPairs(s.values, options);
  std::vector<uint8_t> image = c.header;
  const size_t indexAt = image.size();
  image.insert(image.end(), c.indexTable.begin(), c.indexTable.end());
  const size_t sizeAt = image.size();
  image.insert(image.end(), c.sizeTable.begin(), c.sizeTable.end());
  const size_t dataAt = image.size();
  image.insert(image.end(), c.data.begin(), c.data.end());
  const uint8_t* cursor = image.data();
  PairsSections sections;
  uint8_t flags;
  PairsData* d = setupPairs(&cursor, image.data() + image.size(), s.values.size(), wdl, &sections, &flags);
  ASSERT_NE(d, nullptr) << s.what;
  EXPECT_EQ(size_t(cursor - image.data()), c.header.size()) << s.what;
  EXPECT_EQ(sections.indexBytes + sections.sizeBytes + sections.dataBytes, image.size() - c.header.size()) << s.what;
  d->indexTable = image.data() + indexAt;
  d->sizeTable = image.data() + sizeAt;
  d->data = image.data() + dataAt;
  size_t wrong = 0;
  for (size_t i = 0; i < s.values.size(); ++i) {
    const uint8_t* w = decompressPairs(d, i);
    const int value = w ? w[0] | (wdl ? 0 : (w[1] & 15) << 8) : -1;
    wrong += value != s.values[i];
  }
  EXPECT_EQ(wrong, 0u) << s.what << ", blocks of 2^" << options.minBlockSize;
  freePairs(d);
}

TEST(PairCompression, EveryValueDecodesBack) {
  for (const Sequence& s : sequences()) {
    bool small = true;
    for (uint16_t v : s.values) small &= v < 256;
    // Single values decode through the header alone: WDL tables only.
    for (int blockSize : {5, 8, 10})
      if (s.values.size() > 1 || small) expectRoundTrip(s, PairsOptions{blockSize, blockSize}, small);
  }
}

TEST(PairCompression, CodeLengthsAreCompleteAndLimited) {
  // Fibonacci frequencies need a code as long as the alphabet; unused
  // symbols (pair halves) take part too.
  std::vector<uint64_t> fibonacci = {0, 0, 1, 1};
  while (fibonacci.size() < 60) fibonacci.push_back(fibonacci[fibonacci.size() - 1] + fibonacci[fibonacci.size() - 2]);
  for (int limit : {32, 12}) {
    const std::vector<int> lengths = limitedCodeLengths(fibonacci, limit);
    double kraft = 0;
    int longest = 0;
    for (int l : lengths) {
      kraft += std::ldexp(1.0, -l);
      longest = std::max(longest, l);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0) << limit;
    EXPECT_EQ(longest, limit);
  }
  // Without a binding limit the lengths are Huffman's: 1, 2, 3, 3 here.
  EXPECT_EQ(limitedCodeLengths({40, 30, 15, 15}, 32), (std::vector<int>{1, 2, 3, 3}));
}

}  // namespace
