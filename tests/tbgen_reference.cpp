// The built-in tables the generator makes read like the reference tables.
// Every legal position of every 3- and 4-piece ending is taken, both sides
// to move, once per class of board symmetries and colour exchange (which
// the probes fold alike): the white king in the triangle a1-d1-d4 without
// pawns, the pawns mirrored to the queen side with them. For each:
// - probeWdl gives the same value and status through both sets;
// - both sets hold the DTZ of the same side to move;
// - where they hold it, probeDtz gives the same value and status. There the
//   probes read no stored distance when the best move zeroes, which is the
//   freedom the format gives; elsewhere the distance is compared exactly.
// For the other side to move probeDtz computes the value from the
// successors' (stored) values, so it agrees wherever those do; it is
// compared on every 16th position only, since that search costs a hundred
// table reads.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "layout.h"
#include "support/tablebase_positions.h"
#include "support/tbgen_boards.h"
#include "tablebase/probe.h"
#include "tablebase/tablefile.h"

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr uint64_t STRIDE = 37;  // the sanitizers slow the probes down
#else
constexpr uint64_t STRIDE = 1;
#endif
constexpr int THREADS = 2;

constexpr uint64_t SEARCHED_DTZ_STRIDE = 16;
constexpr int8_t NOT_PROBED = -2;

// One position's probes; wdlStatus NOT_PROBED where there is no position,
// dtzStatus NOT_PROBED where DTZ was not compared.
struct Probed {
  int8_t wdl, wdlStatus, dtzStatus;
  bool dtzStored;
  int16_t dtz;
  bool operator==(const Probed&) const = default;
};

// Probes the positions of the ending with the current built-in set; entry
// 2 * index + side.
std::vector<Probed> probeAll(const Layout& layout) {
  const uint64_t count = (layout.size + STRIDE - 1) / STRIDE;
  std::vector<Probed> out(2 * count, Probed{0, NOT_PROBED, NOT_PROBED, false, 0});
  std::atomic<uint64_t> next{0};
  auto work = [&] {
    auto pos = std::make_unique<Position>();
    constexpr uint64_t CHUNK = 4096;
    for (uint64_t begin; (begin = next.fetch_add(CHUNK)) < count;)
      for (uint64_t k = begin; k < std::min(count, begin + CHUNK); ++k) {
        int squares[TB_MAX_PIECES];
        indexSquares(layout, k * STRIDE, squares);
        for (int stm = 0; stm < 2; ++stm) {
          if (!tablePosition(layout.pieces, squares, stm, true, pos->stateStack[0])) continue;
          pos->state = pos->stateStack;
          int ws, ds = PROBE_OK;
          Probed& p = out[2 * k + uint64_t(stm)];
          p.wdl = int8_t(probeWdl(*pos, &ws));
          p.wdlStatus = int8_t(ws);
          probeTable(*pos->state, p.wdl, &ds, TABLE_DTZ);
          p.dtzStored = ds != PROBE_OTHER_SIDE;
          if (p.dtzStored || k % SEARCHED_DTZ_STRIDE == 0) {
            p.dtz = int16_t(probeDtz(*pos, &ds));
            p.dtzStatus = int8_t(ds);
          }
        }
      }
  };
  std::vector<std::thread> threads;
  for (int t = 1; t < THREADS; ++t) threads.emplace_back(work);
  work();
  for (std::thread& t : threads) t.join();
  return out;
}

TEST(GeneratedTables, ProbeLikeTheReferenceTables) {
  if (!referenceTables()) GTEST_SKIP() << "no reference tables in ../shared/data";
  for (const std::string& name : builtinEndings()) {
    Material m;
    parseMaterial(name, m);
    const Layout layout = makeLayout(m);
    useEmbeddedTables();
    ASSERT_EQ(initTablebases("<empty>"), 4);
    const std::vector<Probed> ours = probeAll(layout);
    ASSERT_TRUE(referenceTables());
    const std::vector<Probed> reference = probeAll(layout);
    uint64_t positions = 0, failed = 0, differ = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      if (ours[i].wdlStatus == NOT_PROBED) continue;
      ++positions;
      failed += ours[i].wdlStatus == PROBE_FAILED || ours[i].dtzStatus == PROBE_FAILED;
      if (ours[i] == reference[i]) continue;
      if (++differ > 3) continue;
      int squares[TB_MAX_PIECES];
      indexSquares(layout, i / 2 * STRIDE, squares);
      std::string where;
      for (int k = 0; k < layout.pieces.n; ++k) {
        where += ' ';
        where += std::to_string(squares[k]);
      }
      ADD_FAILURE() << name << " squares" << where << " side " << i % 2 << ": ours wdl " << int(ours[i].wdl) << "/"
                    << int(ours[i].wdlStatus) << " dtz " << ours[i].dtz << "/" << int(ours[i].dtzStatus)
                    << ", reference wdl " << int(reference[i].wdl) << "/" << int(reference[i].wdlStatus) << " dtz "
                    << reference[i].dtz << "/" << int(reference[i].dtzStatus);
    }
    EXPECT_GT(positions, 0u) << name;
    EXPECT_EQ(failed, 0u) << name;
    EXPECT_EQ(differ, 0u) << name << ": " << differ << " of " << positions << " positions differ";
  }
}

}  // namespace
