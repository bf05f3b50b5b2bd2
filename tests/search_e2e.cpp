// The engine searching through its protocol, as a GUI drives it: every form
// of "go", answers held back while pondering or searching infinitely,
// "isready" during a search, MultiPV, roots without moves, two threads.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "board/fen.h"
#include "board/movetext.h"
#include "driver/uci.h"
#include "search/memory.h"
#include "search/rootsearch.h"
#include "support/board_helpers.h"
#include "support/engine_process.h"
#include "support/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::regex BESTMOVE("bestmove [a-h][1-8][a-h][1-8][nbrq]?( ponder [a-h][1-8][a-h][1-8][nbrq]?)?");

class Engine {
 public:
  Engine() : process_({buildPath("corvan")}) {
    process_.send("setoption name Hash value 16");
    process_.send("isready");
    EXPECT_TRUE(process_.waitFor("readyok"));
  }
  ~Engine() {
    process_.send("quit");
    process_.waitExit(10000);
  }
  void send(const std::string& line) { process_.send(line); }
  // The bestmove line, or "" when none came within the time.
  std::string bestMove(int timeoutMs = 20000) {
    std::string line;
    return process_.waitFor("bestmove", line, timeoutMs) ? line : std::string();
  }
  bool waitFor(const std::string& prefix, std::string& line, int timeoutMs = 20000) {
    return process_.waitFor(prefix, line, timeoutMs);
  }
  // Lines that arrive within the time, none of which may be a bestmove.
  bool silentFor(int ms) {
    std::string line;
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
      int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
      if (!process_.readLine(line, std::max(left, 1))) continue;
      if (line.rfind("bestmove", 0) == 0) return false;
    }
    return true;
  }
  const std::vector<std::string>& transcript() const { return process_.transcript(); }

 private:
  EngineProcess process_;
};

std::string moveOf(const std::string& bestLine) {
  return bestLine.size() > 9 ? bestLine.substr(9, bestLine.find(' ', 9) - 9) : std::string();
}

TEST(SearchProtocol, EveryBoundedGoFormEndsWithALegalLookingBestMove) {
  Engine engine;
  const char* forms[] = {
      "go depth 4",
      "go nodes 5000",
      "go movetime 150",
      "go wtime 2000 btime 2000 winc 20 binc 20",
      "go wtime 3000 btime 3000 movestogo 30",
      "go btime 500 wtime 100000 binc 10",
  };
  for (const char* form : forms) {
    engine.send("position startpos moves e2e4 e7e5 g1f3");
    auto start = Clock::now();
    engine.send(form);
    std::string best = engine.bestMove();
    EXPECT_TRUE(std::regex_match(best, BESTMOVE)) << form << ": " << best;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_LT(ms, 5000) << form;
  }
}

TEST(SearchProtocol, MovetimeIsKeptWithinItsOverhead) {
  Engine engine;
  engine.send("position startpos");
  auto start = Clock::now();
  engine.send("go movetime 400");
  EXPECT_FALSE(engine.bestMove().empty());
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_LT(ms, 400 + 1000);  // the hard deadline is movetime minus MoveOverhead
}

TEST(SearchProtocol, InfiniteSearchAnswersOnlyAfterStopAndIsreadyAtOnce) {
  Engine engine;
  engine.send("position startpos");
  engine.send("go infinite");
  EXPECT_TRUE(engine.silentFor(300));
  auto asked = Clock::now();
  engine.send("isready");
  std::string line;
  ASSERT_TRUE(engine.waitFor("readyok", line, 2000));
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count(), 1000);
  engine.send("stop");
  EXPECT_TRUE(std::regex_match(engine.bestMove(5000), BESTMOVE));
}

TEST(SearchProtocol, FinishedInfiniteOrPonderSearchStillWaits) {
  Engine engine;
  // A forced mate ends the useful search at once; the answer must still wait.
  engine.send("position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  engine.send("go infinite depth 3");
  EXPECT_TRUE(engine.silentFor(400));
  engine.send("stop");
  EXPECT_EQ(moveOf(engine.bestMove(5000)), "a1a8");

  engine.send("go ponder depth 2 wtime 10000 btime 10000");
  EXPECT_TRUE(engine.silentFor(400));
  engine.send("ponderhit");
  EXPECT_EQ(moveOf(engine.bestMove(5000)), "a1a8");
}

TEST(SearchProtocol, PonderEndsByPonderhitOrStop) {
  Engine engine;
  engine.send("position startpos moves e2e4");
  engine.send("go ponder wtime 1000 btime 1000");
  EXPECT_TRUE(engine.silentFor(300));
  engine.send("ponderhit");
  EXPECT_TRUE(std::regex_match(engine.bestMove(3000), BESTMOVE));

  engine.send("position startpos moves e2e4 e7e5");
  engine.send("go ponder wtime 60000 btime 60000");
  EXPECT_TRUE(engine.silentFor(300));
  engine.send("stop");
  EXPECT_TRUE(std::regex_match(engine.bestMove(3000), BESTMOVE));
}

TEST(SearchProtocol, SearchmovesRestrictsTheAnswer) {
  Engine engine;
  engine.send("position startpos");
  engine.send("go depth 3 searchmoves a2a3 h2h3");
  std::string move = moveOf(engine.bestMove());
  EXPECT_TRUE(move == "a2a3" || move == "h2h3") << move;
  engine.send("go depth 3 searchmoves b1a3");
  EXPECT_EQ(moveOf(engine.bestMove()), "b1a3");
}

TEST(SearchProtocol, MultiPvThreePrintsThreeLinesPerDepth) {
  Engine engine;
  engine.send("setoption name MultiPV value 3");
  engine.send("position startpos");
  engine.send("go depth 3");
  std::string best = engine.bestMove();
  ASSERT_FALSE(best.empty());
  std::vector<std::string> infos;
  for (const std::string& line : engine.transcript())
    if (line.rfind("info multipv", 0) == 0) infos.push_back(line);
  ASSERT_EQ(infos.size(), 9u);
  for (size_t i = 0; i < infos.size(); ++i) {
    std::string expected = "info multipv " + std::to_string(3 - i % 3) + " depth " + std::to_string(1 + i / 3) + " ";
    EXPECT_EQ(infos[i].rfind(expected, 0), 0u) << infos[i];
  }
  // The three lines name three different first moves.
  auto firstMove = [](const std::string& line) { return line.substr(line.find(" pv ") + 4, 4); };
  EXPECT_NE(firstMove(infos[6]), firstMove(infos[7]));
  EXPECT_NE(firstMove(infos[7]), firstMove(infos[8]));
  EXPECT_NE(firstMove(infos[6]), firstMove(infos[8]));
}

// Every info line has the protocol's shape, depths grow, the last line
// repeats the deepest depth, and a mate is given in moves.
TEST(SearchProtocol, InfoLinesHaveTheProtocolShape) {
  const std::regex info(
      "info multipv 1 depth [0-9]+ time [0-9]+ nodes [0-9]+ nps [0-9]+ tbhits 0 score (cp|mate) -?[0-9]+ pv "
      "([a-h][1-8][a-h][1-8][nbrq]? )+");
  Engine engine;
  engine.send("position startpos");
  engine.send("go depth 5");
  ASSERT_TRUE(std::regex_match(engine.bestMove(), BESTMOVE));
  int infos = 0, depthSeen = 0;
  for (const std::string& line : engine.transcript()) {
    if (line.rfind("info", 0) != 0) continue;
    EXPECT_TRUE(std::regex_match(line, info)) << line;
    ++infos;
    const int depth = std::stoi(line.substr(line.find("depth ") + 6));
    EXPECT_GE(depth, depthSeen);
    depthSeen = depth;
  }
  EXPECT_EQ(infos, 6);  // depths 1..5 and the final line
  EXPECT_EQ(depthSeen, 5);
  for (const char* fen : {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1"}) {
    engine.send(std::string("position fen ") + fen);
    engine.send("go depth 3");
    engine.bestMove();
    EXPECT_NE(engine.transcript()[engine.transcript().size() - 2].find("score mate 1 pv "), std::string::npos);
  }
}

// The search call in process finds what "go" finds: the same move, depth
// and node count from the same fresh tables.
TEST(SearchProtocol, SearchCallMatchesGo) {
  initEngine();
  const char* fens[] = {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
                        "8/2k5/8/8/8/8/3KP3/8 w - - 0 1"};
  for (const char* fen : fens)
    for (const char* limit : {"depth 8", "nodes 30000"}) {
      Engine engine;
      engine.send(std::string("position fen ") + fen);
      engine.send(std::string("go ") + limit);
      const std::string best = engine.bestMove();
      const std::string& last = engine.transcript()[engine.transcript().size() - 2];
      const long long goNodes = std::stoll(last.substr(last.find(" nodes ") + 7));

      allocateSearchMemory(16, 1, false);
      auto root = std::make_unique<Position>();
      setPosition(*root, fen, nullptr);
      SearchLimits limits;
      if (limit[0] == 'd')
        limits.depth = 8;
      else
        limits.nodes = 30000;
      const SearchResult result = searchPosition(*root, limits, SearchConfig());
      char uci[8];
      moveToUci(*root->state, result.best, false, uci);
      EXPECT_EQ(moveOf(best), uci) << fen << " " << limit;
      EXPECT_EQ(goNodes, result.nodes) << fen << " " << limit;
      releaseSearchMemory();
    }
}

// A soft node budget lets the iteration that passes it finish and starts no
// other: the same search, node for node, as a depth limit at that iteration.
TEST(SearchProtocol, SoftNodeBudgetEndsAtTheEndOfAnIteration) {
  initEngine();
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
  auto run = [&](const SearchLimits& limits) {
    allocateSearchMemory(16, 1, false);
    auto root = std::make_unique<Position>();
    setPosition(*root, fen, nullptr);
    const SearchResult result = searchPosition(*root, limits, SearchConfig());
    releaseSearchMemory();
    return result;
  };
  SearchLimits soft;
  soft.softNodes = 20000;
  soft.nodes = 10000000;
  const SearchResult bySoft = run(soft);
  EXPECT_GE(bySoft.nodes, 20000);
  SearchLimits byDepth;
  byDepth.depth = bySoft.depth;
  const SearchResult reference = run(byDepth);
  EXPECT_EQ(bySoft.nodes, reference.nodes);
  EXPECT_EQ(bySoft.best, reference.best);
}

TEST(SearchProtocol, MatedOrStalematedRootAnswersNullMove) {
  Engine engine;
  engine.send("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  engine.send("go depth 5");
  EXPECT_EQ(engine.bestMove(), "bestmove 0000");
  engine.send("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  engine.send("go infinite");
  EXPECT_EQ(engine.bestMove(), "bestmove 0000");
  engine.send("isready");
  std::string line;
  EXPECT_TRUE(engine.waitFor("readyok", line, 2000));
}

TEST(SearchProtocol, TwoThreadsSearchAndAnswer) {
  Engine engine;
  engine.send("setoption name Threads value 2");
  engine.send("ucinewgame");
  engine.send("position startpos moves d2d4 g8f6 c2c4");
  engine.send("go depth 7");
  EXPECT_TRUE(std::regex_match(engine.bestMove(), BESTMOVE));
  engine.send("go movetime 200");
  EXPECT_TRUE(std::regex_match(engine.bestMove(), BESTMOVE));
}

// The same search counts the same nodes in a fresh engine and in one that
// searched before, weakened, and then pressed "Clear Hash" with
// UCI_LimitStrength off again.
TEST(SearchProtocol, SameDepthSearchCountsTheSameNodesAfterClearHash) {
  auto finalNodes = [](bool searchedBefore) {
    Engine engine;
    if (searchedBefore) {
      engine.send("setoption name UCI_LimitStrength value true");
      engine.send("setoption name UCI_Elo value 1500");
      engine.send("position startpos moves d2d4");
      engine.send("go depth 6");
      engine.bestMove();
      engine.send("setoption name UCI_LimitStrength value false");
      engine.send("setoption name Clear Hash");
    }
    engine.send("position startpos moves e2e4 c7c5");
    engine.send("go depth 8");
    engine.bestMove();
    std::string last;
    for (const std::string& line : engine.transcript())
      if (line.rfind("info", 0) == 0) last = line;
    size_t at = last.find(" nodes ");
    return at == std::string::npos ? std::string() : last.substr(at + 7, last.find(' ', at + 7) - at - 7);
  };
  std::string first = finalNodes(false);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, finalNodes(true));
}

// "go mate N" ends by itself once it has a mate in N moves or fewer.
TEST(SearchProtocol, GoMateStopsAtTheMate) {
  Engine engine;
  const struct {
    const char* fen;
    const char* mate;
  } cases[] = {
      {"r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq - 0 1", "score mate 3 "},
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "score mate 1 "},
  };
  for (const auto& c : cases) {
    engine.send(std::string("position fen ") + c.fen);
    engine.send("go mate 3");
    ASSERT_TRUE(std::regex_match(engine.bestMove(5000), BESTMOVE)) << c.fen;
    EXPECT_NE(engine.transcript()[engine.transcript().size() - 2].find(c.mate), std::string::npos) << c.fen;
  }
}

// With UCI_ShowWDL every score carries per-mille chances: certain for
// mates and tablebase results, from the model otherwise.
TEST(SearchProtocol, WdlFollowsTheScoreWhenShown) {
  const std::regex wdl(".* score (cp|mate) -?[0-9]+ wdl ([0-9]+) ([0-9]+) ([0-9]+) pv .*");
  const struct {
    const char* fen;
    int win, draw, loss;  // -1: any, summing to 1000
  } cases[] = {
      {"8/8/8/4k3/8/8/8/4KQ2 w - - 0 1", 1000, 0, 0},       // queen against king
      {"8/8/8/4k3/8/8/8/4KQ2 b - - 0 1", 0, 0, 1000},       // the other side of it
      {"8/8/8/4k3/8/8/r7/4K2R w - - 0 1", 0, 1000, 0},      // rook against rook
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 1000, 0, 0},    // mate in one
      {START_FEN, -1, -1, -1},
  };
  Engine engine;
  engine.send("setoption name UCI_ShowWDL value true");
  for (const auto& c : cases) {
    engine.send(std::string("position fen ") + c.fen);
    engine.send("go depth 4");
    engine.bestMove();
    const std::string& last = engine.transcript()[engine.transcript().size() - 2];
    std::smatch m;
    ASSERT_TRUE(std::regex_match(last, m, wdl)) << last;
    const int w = std::stoi(m[2]), d = std::stoi(m[3]), l = std::stoi(m[4]);
    EXPECT_EQ(w + d + l, 1000) << last;
    if (c.win >= 0) {
      EXPECT_TRUE(w == c.win && d == c.draw && l == c.loss) << last;
    }
  }
  engine.send("setoption name UCI_ShowWDL value false");
  engine.send("go depth 2");
  engine.bestMove();
  EXPECT_EQ(engine.transcript()[engine.transcript().size() - 2].find(" wdl "), std::string::npos);
}

// A weakened engine answers legal moves quickly, and not always the same
// one where several are nearly as good.
TEST(SearchProtocol, LimitStrengthPlaysVariedLegalMoves) {
  Engine engine;
  engine.send("setoption name UCI_LimitStrength value true");
  engine.send("setoption name UCI_Elo value 1320");
  std::set<std::string> moves;
  for (int i = 0; i < 12; ++i) {
    engine.send("position startpos moves e2e4 e7e5 g1f3");
    engine.send("go wtime 60000 btime 60000");
    const std::string best = engine.bestMove(5000);
    ASSERT_TRUE(std::regex_match(best, BESTMOVE));
    Board board(START_FEN, "e2e4 e7e5 g1f3");
    EXPECT_NE(legalMove(board.st(), moveOf(best)), MOVE_NONE) << best;
    moves.insert(moveOf(best));
  }
  EXPECT_GE(moves.size(), 2u);
}

// Command sequences a controller may send without the "position" or "stop"
// a GUI would: every "go" still gets exactly one legal answer, a new game
// starts from the initial position, and a command that has to wait ends a
// search that only "stop" would end. Each case runs with 1, 2 and 4 threads.
TEST(SearchProtocol, EveryGoIsAnsweredWhateverCommandsSurroundIt) {
  struct Case {
    const char* script;
    std::vector<const char*> positions;  // moves from the start, one per "go"
  };
  const Case cases[] = {
      {"ucinewgame\ngo depth 3\n", {""}},
      {"position startpos moves e2e4\nucinewgame\ngo depth 3\n", {""}},
      {"setoption name Hash value 3\nucinewgame\ngo depth 2\n", {""}},
      {"position startpos moves e2e4\ngo ponder movetime 20\ngo depth 2\n", {"e2e4", "e2e4"}},
      {"go infinite\nposition startpos moves d2d4\ngo depth 2\n", {"", "d2d4"}},
      {"position startpos moves g1f3\ngo\nucinewgame\ngo nodes 500\n", {"g1f3", ""}},
      {"go ponder\nsetoption name Hash value 2\nucinewgame\ngo depth 1\n", {"", ""}},
      {"go/x\nsetoption name MultiPV value 2\ngo depth 2\n", {"", ""}},
      {"go infinite\ngo infinite\ngo ponder\nposition startpos moves e2e4\ngo depth 1\n", {"", "", "", "e2e4"}},
  };
  for (int threads : {1, 2, 4})
    for (const Case& c : cases) {
      const std::string script = "setoption name Hash value 8\nsetoption name Threads value " + std::to_string(threads) +
                                 "\n" + c.script + "isready\nquit\n";
      int status = -1;
      const std::string out = runWithInput({buildPath("corvan")}, script, &status);
      SCOPED_TRACE(script);
      EXPECT_EQ(status, 0);
      EXPECT_NE(out.find("readyok\n"), std::string::npos);
      std::vector<std::string> answers;
      for (size_t at = out.find("bestmove "); at != std::string::npos; at = out.find("bestmove ", at + 1))
        answers.push_back(moveOf(out.substr(at, out.find('\n', at) - at)));
      ASSERT_EQ(answers.size(), c.positions.size());
      for (size_t i = 0; i < answers.size(); ++i) {
        Board board(START_FEN, c.positions[i]);
        EXPECT_NE(legalMove(board.st(), answers[i]), MOVE_NONE) << answers[i] << " after " << c.positions[i];
      }
    }
}

}  // namespace
