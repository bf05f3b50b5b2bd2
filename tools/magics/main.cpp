// corvan-magics [SEED]: searches a fresh set of slider multipliers and prints
// them as the two constant tables of the attack code. A multiplier is good
// when no two occupancy subsets with different attack sets share an index.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "board/attacks.h"
#include "common/usage.h"

namespace {

uint64_t state = 0x1234567887654321ULL;

uint64_t nextRandom() {
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return state * 0x2545F4914F6CDD1DULL;
}

// Few set bits make good multipliers more likely.
uint64_t sparseRandom() { return nextRandom() & nextRandom() & nextRandom(); }

Bitboard findMagic(bool bishop, Square s) {
  Bitboard mask = sliderMask(bishop, s);
  int bits = popcount(mask);
  std::vector<Bitboard> occupancies, attacks;
  Bitboard subset = 0;
  do {
    occupancies.push_back(subset);
    attacks.push_back(slowSliderAttacks(bishop, s, subset));
    subset = (subset - mask) & mask;
  } while (subset);
  std::vector<Bitboard> table(size_t(1) << bits);
  std::vector<int> stamp(size_t(1) << bits, 0);
  for (int attempt = 1;; ++attempt) {
    Bitboard magic = sparseRandom();
    if (popcount((mask * magic) >> 56) < 6) continue;
    bool good = true;
    for (size_t i = 0; i < occupancies.size() && good; ++i) {
      size_t index = (occupancies[i] * magic) >> (64 - bits);
      if (stamp[index] != attempt) {
        stamp[index] = attempt;
        table[index] = attacks[i];
      } else if (table[index] != attacks[i]) {
        good = false;
      }
    }
    if (good) return magic;
  }
}

}  // namespace

int main(int argc, char** argv) {
  static const char* USAGE =
      "usage: corvan-magics [SEED]\n"
      "Searches slider multipliers (from SEED, a number) and prints the bishop and\n"
      "rook tables of the attack code.\n"
      "  -h, --help  print this text and exit\n";
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  char* end = nullptr;
  if (argc > 2 || (argc == 2 && (std::strtoull(argv[1], &end, 0), *end || end == argv[1])))
    return usageError("corvan-magics", "SEED must be a number", USAGE);
  if (argc > 1) state = std::strtoull(argv[1], nullptr, 0) | 1;
  for (bool bishop : {true, false}) {
    std::printf("const Bitboard %sMagicNumbers[64] = {\n", bishop ? "bishop" : "rook");
    for (Square s = 0; s < 64; ++s)
      std::printf("%s0x%016llXULL,%s", s % 4 ? " " : "    ", static_cast<unsigned long long>(findMagic(bishop, s)),
                  s % 4 == 3 ? "\n" : "");
    std::printf("};\n\n");
  }
  return 0;
}
