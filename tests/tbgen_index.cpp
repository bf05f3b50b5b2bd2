// The writer walks a sub-table index by index and needs each index's
// position: squaresAtIndex inverts the reader's encodePosition. Every index
// of every piece order of several endings (two kings leading, three unique
// pieces, one colour's pawns, both colours' pawns) must decode to squares
// that encode back to it, and random positions must come back as
// themselves up to the board symmetries the encoding folds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "fileorder.h"
#include "layout.h"

namespace {

struct Ending {
  Table table;
  TableInfo info;
};

Ending ending(const char* name) {
  static const bool ready = (initAttacks(), initTablebaseIndices(), true);
  (void)ready;
  Ending e;
  parseMaterial(name, e.table.material);
  e.table.layout = makeLayout(e.table.material);
  e.info = describeTable(e.table);
  return e;
}

// The squares by piece code, sorted, after the symmetry g: one entry per
// piece.
std::vector<int> placement(const uint8_t* codes, const int* squares, int n, int g) {
  std::vector<int> v;
  for (int i = 0; i < n; ++i) v.push_back(codes[i] * 64 + applySymmetry(g, squares[i]));
  std::sort(v.begin(), v.end());
  return v;
}

// A key equal for all images of a position under the encoding's symmetries.
std::vector<int> canonical(const uint8_t* codes, const int* squares, int n, bool pawns) {
  std::vector<int> best = placement(codes, squares, n, 0);
  for (int g = 1; g < (pawns ? 2 : 8); ++g) best = std::min(best, placement(codes, squares, n, g));
  return best;
}

TEST(TableIndex, EveryIndexDecodesToSquaresThatEncodeBack) {
  for (const char* name : {"KQvK", "KRRvK", "KQvKR", "KPvK", "KPPvK", "KPvKP"}) {
    const Ending e = ending(name);
    const std::vector<Arrangement> all = arrangements(e.info);
    ASSERT_FALSE(all.empty()) << name;
    // All orders of the small endings, the first and last of the others.
    std::vector<Arrangement> tried = all;
    if (all.size() > 8) tried = {all.front(), all.back()};
    for (const Arrangement& a : tried)
      for (int file = 0; file < e.info.files; ++file) {
        const SubTableIndex sub = subTableIndex(e.info, a, file);
        uint64_t bad = 0;
        for (uint64_t i = 0; i < sub.size; ++i) {
          int squares[TB_PIECES];
          bad += !squaresAtIndex(sub, i, squares);
        }
        EXPECT_EQ(bad, 0u) << name << " file " << file;
      }
  }
}

TEST(TableIndex, PositionsComeBackFromTheirIndex) {
  std::mt19937 random(16);
  for (const char* name : {"KQvK", "KRRvK", "KQvKR", "KBNvK", "KPvK", "KPPvK", "KPvKP", "KRPvKR"}) {
    const Ending e = ending(name);
    const std::vector<Arrangement> all = arrangements(e.info);
    const int n = e.info.shape.pieceCount;
    const bool pawns = e.info.encoding == ENCODING_PAWN;
    for (int trial = 0; trial < 4000; ++trial) {
      const Arrangement& a = all[random() % all.size()];
      int squares[TB_PIECES];
      uint64_t used = 0;
      for (int i = 0; i < n; ++i) {
        const bool pawn = (a.pieces[i] & 7) == PAWN;
        do
          squares[i] = pawn ? 8 + int(random() % 48) : int(random() % 64);
        while (used >> squares[i] & 1);
        used |= uint64_t(1) << squares[i];
      }
      // Kings side by side make no position (the two-king index has none).
      int kings[2], found = 0;
      for (int i = 0; i < n; ++i)
        if ((a.pieces[i] & 7) == KING) kings[found++] = squares[i];
      if (kingAttacks[kings[0]] >> kings[1] & 1) continue;
      // The reader puts the leading pawn with the smallest flapIndex first
      // and picks the file class from it.
      int file = 0;
      if (pawns) {
        const int k = e.info.shape.pawnCounts[0];
        for (int i = 1; i < k; ++i)
          for (int j = i; j > 0 && squares[j - 1] > squares[j]; --j) std::swap(squares[j - 1], squares[j]);
        for (int i = 1; i < k; ++i)
          if (flapIndex(squares[i]) < flapIndex(squares[0])) std::swap(squares[0], squares[i]);
        file = fileToFile[squares[0] & 7];
      }
      const SubTableIndex sub = subTableIndex(e.info, a, file);
      int encoded[TB_PIECES], decoded[TB_PIECES];
      std::copy(squares, squares + n, encoded);
      const uint64_t index = encodePosition(encoded, sub.info, sub.shape, sub.encoding);
      ASSERT_LT(index, sub.size) << name;
      ASSERT_TRUE(squaresAtIndex(sub, index, decoded)) << name;
      EXPECT_EQ(canonical(a.pieces, decoded, n, pawns), canonical(a.pieces, squares, n, pawns)) << name;
    }
  }
}

}  // namespace
