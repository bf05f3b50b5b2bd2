#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "board/exchange.h"
#include "board/makemove.h"
#include "board/perft.h"
#include "board/verify.h"
#include "support/board_helpers.h"
#include "support/paths.h"

namespace {

// Leaves counted per position: enough for every line's shallow depths, small
// enough for a sanitizer build. CORVAN_PERFT_BUDGET raises it.
uint64_t nodeBudget() {
  const char* text = std::getenv("CORVAN_PERFT_BUDGET");
  if (text) return std::strtoull(text, nullptr, 10);
#if defined(__SANITIZE_ADDRESS__) || defined(__OPTIMIZE__) == 0
  return 20000;
#else
  return 2000000;
#endif
}

struct PerftCase {
  std::string fen;
  std::vector<std::pair<int, uint64_t>> counts;
};

std::vector<PerftCase> readCases(const std::string& path) {
  std::vector<PerftCase> cases;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t cut = line.find(';');
    if (cut == std::string::npos) continue;
    PerftCase c;
    c.fen = line.substr(0, cut);
    std::stringstream rest(line.substr(cut));
    std::string field;
    while (std::getline(rest, field, ';')) {
      int depth;
      unsigned long long nodes;
      if (std::sscanf(field.c_str(), " D%d %llu", &depth, &nodes) == 2) c.counts.push_back({depth, nodes});
    }
    cases.push_back(c);
  }
  return cases;
}

// Chess960 lines name their castling rooks by file letters.
bool isChess960(const std::string& fen) {
  std::stringstream in(fen);
  std::string placement, side, castling;
  in >> placement >> side >> castling;
  for (char c : castling)
    if ((c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h')) return true;
  return false;
}

TEST(Perft, StartPositionCounts) {
  Board board;
  const uint64_t expected[] = {1, 20, 400, 8902, 197281};
  for (int depth = 0; depth <= 4; ++depth) EXPECT_EQ(perft(*board.pos, depth), expected[depth]);
}

TEST(Perft, ReferenceSuiteWithinTheNodeBudget) {
  std::string path = sharedDataPath("perft.epd");
  if (path.empty()) GTEST_SKIP() << "perft.epd not available";
  std::vector<PerftCase> cases = readCases(path);
  ASSERT_GT(cases.size(), 400u);
  const uint64_t budget = nodeBudget();
  int checked = 0;
  for (const PerftCase& c : cases) {
    Board board(c.fen.c_str());
    for (auto [depth, nodes] : c.counts) {
      if (nodes > budget) break;
      ASSERT_EQ(perft(*board.pos, depth), nodes) << c.fen << " depth " << depth;
      ++checked;
    }
  }
  EXPECT_GT(checked, 800);
}

TEST(Perft, DivideSumsToTheTotal) {
  Board board("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  PerftLine lines[MAX_MOVES];
  int count = perftDivide(*board.pos, 2, lines);
  ASSERT_EQ(count, 48);
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) total += lines[i].nodes;
  EXPECT_EQ(total, 2039u);
}

// Plays random legal moves from the reference positions and checks, at every
// step, that check flags are exact and that keys and bitboards stay sound.
TEST(Perft, RandomPlayoutsKeepFlagsAndKeysExact) {
  std::string path = sharedDataPath("perft.epd");
  std::vector<std::string> fens = {START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"};
  if (!path.empty())
    for (const PerftCase& c : readCases(path)) fens.push_back(c.fen);
  uint64_t seed = 0x2545F4914F6CDD1DULL;
  auto next = [&seed] {
    seed ^= seed >> 12, seed ^= seed << 25, seed ^= seed >> 27;
    return seed * 0x2545F4914F6CDD1DULL;
  };
  int positions = 0;
  for (const std::string& fen : fens) {
    const bool chess960 = isChess960(fen);
    for (int game = 0; game < 3; ++game) {
      Board board(fen.c_str());
      Position& pos = *board.pos;
      for (int ply = 0; ply < 60 && pos.state - pos.stateStack < 200; ++ply) {
        const PositionState& st = *pos.state;
        ASSERT_TRUE(isConsistent(st)) << fen << " ply " << ply;
        ASSERT_EQ(isInCheck(st), kingInCheck(st)) << fen << " ply " << ply;
        std::vector<Move> moves = legalMoves(st);
        for (Move m : moves) {
          makeMove(pos, m, nullptr);
          // After the move the mover's opponent is to move: its king is the
          // one a check would hit.
          ASSERT_EQ(bool(m & MOVE_CHECK), kingInCheck(*pos.state)) << fen << " " << uciText(st, m, chess960);
          ASSERT_EQ(pos.state->key, computeKey(*pos.state)) << fen << " " << uciText(st, m, chess960);
          takeBack(pos);
          ++positions;
        }
        if (moves.empty()) break;
        makeMove(pos, moves[next() % moves.size()], nullptr);
      }
    }
  }
  EXPECT_GT(positions, 10000);
}

}  // namespace
