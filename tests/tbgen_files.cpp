// The generator's files read back through the engine's own reader: KPvK and
// the endings its promotions lead to (KBvK and KNvK are single-value
// tables) are solved, written and registered as the built-in set; then
// every position's probeWdl is the solver's result and, where the file
// holds the side to move, probeDtz is the solver's distance as the format
// stores it (rounded down to an odd number of plies).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "board/attacks.h"
#include "support/tbgen_boards.h"
#include "tablebase/probe.h"
#include "tablebase/registry.h"
#include "tablebase/tablefile.h"
#include "writer.h"

namespace {

// Writes every table of the set into a fresh directory; removes it when
// done.
struct TableDirectory {
  std::string path;
  std::vector<std::string> files;
  explicit TableDirectory(const TableSet& set) {
    char name[] = "/tmp/corvan-tbgen-XXXXXX";
    path = mkdtemp(name) ? name : "";
    for (const auto& [ending, table] : set.tables) {
      const TableFiles written = writeTable(*table, WriterOptions{});
      for (const auto& [suffix, bytes] : {std::pair{".rtbw", &written.wdl}, std::pair{".rtbz", &written.dtz}}) {
        files.push_back(path + "/" + ending + suffix);
        FILE* f = std::fopen(files.back().c_str(), "wb");
        std::fwrite(bytes->data(), 1, bytes->size(), f);
        std::fclose(f);
      }
    }
  }
  ~TableDirectory() {
    for (const std::string& f : files) std::remove(f.c_str());
    rmdir(path.c_str());
  }
};

// What probeDtz returns for a distance read from the file.
int storedDtz(int code, int distance) {
  const int plies = 1 + 2 * (std::max(distance - 1, 0) / 2);
  return code == CODE_WIN ? plies : code == CODE_LOSS ? -plies : 0;
}

TEST(GeneratedTables, ReadBackThroughTheEnginesReader) {
  initAttacks();
  initTablebaseIndices();
  TableSet set;
  Material m;
  parseMaterial("KPvK", m);
  solveEnding(set, m);
  const TableDirectory dir(set);
  ASSERT_FALSE(dir.path.empty());
  useBuiltinTableDirectory(dir.path.c_str());
  ASSERT_EQ(initTablebases("<empty>"), 3);  // the directory holds 3-piece tables only

  auto pos = std::make_unique<Position>();
  for (const auto& [ending, table] : set.tables) {
    uint64_t positions = 0, wrongWdl = 0, wrongDtz = 0;
    for (uint64_t i = 0; i < table->layout.size; ++i) {
      int squares[TB_MAX_PIECES];
      indexSquares(table->layout, i, squares);
      for (int stm = 0; stm < 2; ++stm) {
        if (!tablePosition(table->layout.pieces, squares, stm, false, pos->stateStack[0])) continue;
        pos->state = pos->stateStack;
        ++positions;
        const uint16_t cell = table->cell[stm][i];
        int status, stored = PROBE_OK;
        const int wdl = probeWdl(*pos, &status);
        wrongWdl += status == PROBE_FAILED || wdl != cellCode(cell) - 2;
        probeTable(*pos->state, wdl, &stored, TABLE_DTZ);
        if (status != PROBE_OK || stored == PROBE_OTHER_SIDE || wdl == 0) continue;
        const int dtz = probeDtz(*pos, &status);
        wrongDtz += dtz != storedDtz(cellCode(cell), cellDistance(cell));
      }
    }
    EXPECT_GT(positions, 0u) << ending;
    EXPECT_EQ(wrongWdl, 0u) << ending;
    EXPECT_EQ(wrongDtz, 0u) << ending;
  }
  useEmbeddedTables();
  initTablebases("<empty>");
}

}  // namespace
