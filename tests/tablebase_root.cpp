// Root probing: which moves stay, and the score the engine reports. The
// kept moves must hold the root's result, a won ending must be converted
// inside the fifty moves, and a repeating game takes the fastest win.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "support/engine_process.h"
#include "support/tablebase_positions.h"
#include "tablebase/probe.h"
#include "tablebase/root.h"
#include "tablebase/tbscore.h"

namespace {

struct RootResult {
  int score;
  std::vector<std::string> kept;
  size_t legal;
};

RootResult probeRootOf(Position& pos, bool fiftyMoveRule) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*pos.state, list);
  RootResult result{0, {}, size_t(end - list)};
  result.score = probeRoot(pos, list, &end, fiftyMoveRule);
  for (ScoredMove* m = list; m != end; ++m) result.kept.push_back(uciText(*pos.state, m->move));
  std::sort(result.kept.begin(), result.kept.end());
  return result;
}

TEST(TablebaseRoot, KeptMovesAndReportedScores) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  struct Case {
    const char* fen;
    const char* moves;
    bool fiftyMoveRule;
    int score;
    const char* kept;  // exact kept moves, or "" to check only that some were dropped
  };
  const Case cases[] = {
      // Mate in one: every win within the fifty moves stays, the mates too.
      {"k7/2K5/8/8/8/8/8/1Q6 w - - 0 1", nullptr, true, TB_WIN_SCORE + 200, ""},
      // The same root after a repetition: only the fastest wins, the mates.
      {"k7/2K5/8/8/8/8/8/1Q6 w - - 0 1", "b1c2 a8a7 c2b1 a7a8", true, TB_WIN_SCORE + 200, "b1a1 b1a2 b1b7 b1b8"},
      // More material grades higher: KBN against K reports 32646.
      {"8/8/8/4k3/8/8/8/KBN5 w - - 0 1", nullptr, true, TB_WIN_SCORE + 120, ""},
      // Ninety plies without zeroing: the rook still wins, but not within
      // the fifty moves, so the score is a draw and only the fastest moves
      // stay; without the rule it is a win.
      {"8/8/8/4k3/8/8/8/KR6 w - - 90 1", nullptr, true, 0, ""},
      {"8/8/8/4k3/8/8/8/KR6 w - - 90 1", nullptr, false, TB_WIN_SCORE + 100, ""},
      // Lost: early in the count every move stays; late, only the longest.
      {"8/8/8/4k3/8/8/8/KR6 b - - 0 1", nullptr, true, -TB_WIN_SCORE - 100, nullptr},
      {"8/8/8/4k3/8/8/8/KR6 b - - 90 1", nullptr, true, 0, ""},
      // Equal material that a capture wins: graded 0, the draws dropped.
      {"8/8/8/3q4/8/8/3Q4/K6k b - - 0 1", nullptr, true, TB_WIN_SCORE, ""},
  };
  auto pos = std::make_unique<Position>();
  for (const Case& c : cases) {
    ASSERT_EQ(setUpPosition(*pos, c.fen, c.moves).error, SETUP_OK) << c.fen;
    const RootResult r = probeRootOf(*pos, c.fiftyMoveRule);
    EXPECT_EQ(r.score, c.score) << c.fen;
    std::string kept;
    for (const std::string& m : r.kept) kept += (kept.empty() ? "" : " ") + m;
    if (!c.kept)
      EXPECT_EQ(r.kept.size(), r.legal) << c.fen << ": " << kept;
    else if (*c.kept)
      EXPECT_EQ(kept, c.kept) << c.fen;
    else
      EXPECT_TRUE(!r.kept.empty() && r.kept.size() < r.legal) << c.fen << ": " << kept;
  }
}

// On random roots, every kept move holds the root's own result, and the
// reported score has its sign.
TEST(TablebaseRoot, KeptMovesNeverGiveTheResultAway) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  auto pos = std::make_unique<Position>();
  std::mt19937 random(5);
  for (const char* name : {"KQvKR", "KRvKB", "KPvKP", "KRPvK", "KBNvK", "KQvKP", "KNPvK"}) {
    const std::string pieces = piecesOf(name);
    for (int done = 0; done < 40;) {
      int squares[4];
      for (size_t i = 0; i < pieces.size(); ++i) squares[i] = int(8 + random() % 48);
      if (!placePieces(*pos, pieces, squares, random() & 1)) continue;
      int status;
      const int wdl = probeWdl(*pos, &status);
      const RootResult r = probeRootOf(*pos, true);
      if (r.legal == 0) continue;
      ++done;
      ASSERT_NE(r.score, TB_SCORE_NONE) << name;
      EXPECT_EQ(r.score > 0, wdl > 0) << name;
      EXPECT_EQ(r.score < 0, wdl < 0) << name;
      ASSERT_FALSE(r.kept.empty());
      for (const std::string& text : r.kept) {
        makeMove(*pos, legalMove(*pos->state, text), nullptr);
        const int after = -probeWdl(*pos, &status);
        takeBack(*pos);
        EXPECT_EQ(after, wdl) << name << " keeps " << text;
      }
    }
  }
}

// The engine plays both sides of a won ending from its protocol: the
// winner mates before the fifty-move rule can draw, and every info line
// reports the tablebase result.
TEST(TablebaseRoot, TheEngineConvertsAWonEnding) {
  const std::string reference = referenceTableDirectory();
  if (reference.empty()) GTEST_SKIP() << "reference tables not available";
  prepareTablebaseTests();
  EngineProcess engine({buildPath("corvan")});
  engine.send("setoption name Hash value 16");
  engine.send("setoption name SyzygyPath value " + reference);
  ASSERT_TRUE(engine.waitFor("info string Found 35 WDL and 35 DTZ tablebase files."));
  const std::string start = "8/8/8/4k3/8/8/8/KBN5 w - - 0 1";
  Board board(start.c_str());
  std::string moves;
  const std::regex score(" score (cp|mate) (-?[0-9]+) ");
  for (int ply = 0; ply < 200; ++ply) {
    if (legalMoves(board.st()).empty()) break;
    ASSERT_LT(board.st().rule50, 100) << "fifty-move draw after" << moves;
    engine.send("position fen " + start + (moves.empty() ? "" : " moves" + moves));
    engine.send("go nodes 400");
    std::string line, info;
    while (engine.readLine(line, 20000) && line.rfind("bestmove", 0) != 0)
      if (line.rfind("info multipv", 0) == 0) info = line;
    ASSERT_EQ(line.rfind("bestmove ", 0), 0u);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info, m, score)) << info;
    // The side to move at even plies wins: mate or tablebase scores only.
    const int value = std::stoi(m[2]);
    EXPECT_EQ(m[1], "mate") << info;
    EXPECT_EQ(value > 0, ply % 2 == 0) << info;
    const std::string move = line.substr(9, line.find(' ', 9) - 9);
    const Move played = legalMove(board.st(), move);
    ASSERT_NE(played, MOVE_NONE) << move;
    makeMove(*board.pos, played, nullptr);
    moves += " " + move;
  }
  EXPECT_TRUE(isInCheck(board.st()) && legalMoves(board.st()).empty()) << "no mate after" << moves;
  EXPECT_GT(moves.size(), 5u * 30) << "bishop and knight need more than 30 plies from here:" << moves;
  engine.send("quit");
  engine.waitExit(10000);
}

}  // namespace
