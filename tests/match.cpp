// The match runner: statistics on known inputs, clock accounting, judging
// games on the project's board, and whole games against scripted engines
// that misbehave in every way the runner must survive.
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "board/attacks.h"
#include "cli.h"
#include "clock.h"
#include "driver/options.h"
#include "engine.h"
#include "game.h"
#include "judge.h"
#include "match.h"
#include "openings.h"
#include "pgn.h"
#include "stats.h"
#include "support/engine_process.h"
#include "support/paths.h"

namespace {

class BoardTables : public ::testing::Environment {
 public:
  void SetUp() override {
    setDefaultOptions();
    initAttacks();
  }
};
const auto* const boardTables = ::testing::AddGlobalTestEnvironment(new BoardTables);

std::string fakeEngine(const std::string& args) { return buildPath("tests/match_fake_engine") + " " + args; }

// Knight shuffles that repeat the start position: a draw by repetition.
const std::string WHITE_SHUFFLE = "--moves g1f3,f3g1";
const std::string BLACK_SHUFFLE = "--moves g8f6,f6g8";
const std::string BOTH_SHUFFLES = "--moves g1f3,f3g1 --black-moves g8f6,f6g8";

std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "corvan_match_" + std::to_string(getpid()) + "_" + name;
}

std::vector<pid_t> readPids(const std::string& path) {
  std::vector<pid_t> pids;
  std::ifstream in(path);
  for (int pid; in >> pid;) pids.push_back(pid);
  return pids;
}

// A process that no longer exists at all (neither running nor a zombie).
bool processGone(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    usleep(10000);
  }
  return false;
}

GameBoard boardAfter(const std::string& fen, const std::vector<std::string>& moves) {
  GameBoard board;
  std::string error;
  EXPECT_TRUE(setupBoard(board, fen, error)) << error;
  for (const std::string& text : moves) {
    Move move = findLegalMove(board, text);
    EXPECT_NE(move, MOVE_NONE) << text;
    if (move == MOVE_NONE) break;
    playMove(board, move);
  }
  return board;
}

const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

}  // namespace

// ---------------------------------------------------------------- statistics

TEST(MatchStatistics, EloFromScoreMatchesTheLogisticCurve) {
  EXPECT_NEAR(eloFromScore(0.6), 70.44, 0.01);
  EXPECT_NEAR(eloFromScore(0.5), 0.0, 1e-9);
  EXPECT_NEAR(eloFromScore(0.25), -190.85, 0.01);
  EXPECT_NEAR(scoreFromElo(eloFromScore(0.73)), 0.73, 1e-12);
}

TEST(MatchStatistics, SixtyPercentOverAThousandGamesIsAboutSeventyElo) {
  EloEstimate e = eloFromGames(500, 300, 200);
  ASSERT_TRUE(e.valid);
  EXPECT_NEAR(e.elo, 70.44, 0.01);
  EXPECT_NEAR(e.low, 51.08, 0.05);
  EXPECT_NEAR(e.high, 90.24, 0.05);
  // More draws at the same score mean less spread, so a narrower interval.
  EloEstimate drawish = eloFromGames(300, 100, 600);
  EXPECT_NEAR(drawish.elo, 70.44, 0.01);
  EXPECT_LT(drawish.high - drawish.low, e.high - e.low);
}

TEST(MatchStatistics, NoEstimateWithoutDataOrAtPerfectScores) {
  EXPECT_FALSE(eloFromGames(0, 0, 0).valid);
  EXPECT_FALSE(eloFromGames(10, 0, 0).valid);
  EXPECT_FALSE(eloFromGames(0, 10, 0).valid);
  EloEstimate even = eloFromGames(0, 0, 10);
  EXPECT_TRUE(even.valid);
  EXPECT_EQ(even.elo, 0);
  EXPECT_EQ(even.low, 0);
}

TEST(MatchStatistics, PairEstimateUsesPairScores) {
  Pentanomial pairs;
  pairs.counts[2] = 50;  // 1 point from a pair
  pairs.counts[3] = 50;  // 1.5 points
  EloEstimate e = eloFromPairs(pairs);
  ASSERT_TRUE(e.valid);
  EXPECT_NEAR(e.elo, eloFromScore(0.625), 1e-9);
  // Same games counted as 100 wins, 100 draws... of single games: the pair
  // model sees only the low spread between pairs.
  EloEstimate single = eloFromGames(50 + 25, 25, 100);
  EXPECT_NEAR(single.elo, e.elo, 1e-9);
  EXPECT_LT(e.high - e.low, single.high - single.low);
}

TEST(MatchStatistics, SprtBoundsAndLikelihoodRatio) {
  SprtParams params{0, 10, 0.05, 0.05};
  EXPECT_NEAR(sprtLowerBound(params), -2.9444, 1e-4);
  EXPECT_NEAR(sprtUpperBound(params), 2.9444, 1e-4);

  Pentanomial pairs;
  pairs.counts[2] = 50;
  pairs.counts[3] = 50;
  EXPECT_NEAR(sprtLlr(pairs, params), 9.9465, 0.001);
  EXPECT_EQ(sprtVerdict(sprtLlr(pairs, params), params), SPRT_ACCEPT_H1);

  // The mirror image favours H0 by the same amount.
  Pentanomial worse;
  worse.counts[1] = 50;
  worse.counts[2] = 50;
  SprtParams around{-5, 5, 0.05, 0.05};
  Pentanomial mirrored = pairs;
  EXPECT_NEAR(sprtLlr(worse, around), -sprtLlr(mirrored, around), 1e-9);
  EXPECT_EQ(sprtVerdict(sprtLlr(worse, params), params), SPRT_ACCEPT_H0);

  // Twice the data at the same distribution gives about twice the evidence.
  Pentanomial doubled;
  doubled.counts[2] = 100;
  doubled.counts[3] = 100;
  EXPECT_NEAR(sprtLlr(doubled, params) / sprtLlr(pairs, params), 2.0, 0.1);
}

TEST(MatchStatistics, SprtWithoutSpreadAndAtTheMidpoint) {
  SprtParams params{0, 10, 0.05, 0.05};
  Pentanomial none;
  EXPECT_EQ(sprtLlr(none, params), 0);
  EXPECT_EQ(sprtVerdict(0, params), SPRT_CONTINUE);
  // A few pairs decide nothing, however lopsided.
  for (int outcome = 0; outcome < 5; ++outcome) {
    Pentanomial few;
    few.counts[outcome] = 3;
    EXPECT_EQ(sprtVerdict(sprtLlr(few, params), params), SPRT_CONTINUE) << outcome;
  }
  // Identical pair scores still carry evidence once there are enough: all
  // drawn pairs speak against a +10 gain, all won pairs for it.
  Pentanomial allDrawn;
  allDrawn.counts[2] = 100;
  EXPECT_EQ(sprtVerdict(sprtLlr(allDrawn, params), params), SPRT_ACCEPT_H0);
  Pentanomial allWon;
  allWon.counts[4] = 20;
  EXPECT_EQ(sprtVerdict(sprtLlr(allWon, params), params), SPRT_ACCEPT_H1);
  // A mean exactly halfway between the hypotheses' scores favours neither.
  SprtParams symmetric{-10, 10, 0.05, 0.05};
  Pentanomial balanced;
  balanced.counts[1] = 30;
  balanced.counts[3] = 30;
  EXPECT_NEAR(sprtLlr(balanced, symmetric), 0, 1e-12);
}

// ---------------------------------------------------------------- clocks

TEST(MatchClock, ParsesTimeControls) {
  TimeControl tc;
  ASSERT_TRUE(parseIncrementControl("10+0.1", tc));
  EXPECT_EQ(tc.baseMs, 10000);
  EXPECT_EQ(tc.incMs, 100);
  ASSERT_TRUE(parseIncrementControl("0.5", tc));
  EXPECT_EQ(tc.baseMs, 500);
  EXPECT_EQ(tc.incMs, 0);
  for (const char* bad : {"", "+", "10+", "abc", "-1+0", "0+0", "10+x", "1e99"})
    EXPECT_FALSE(parseIncrementControl(bad, tc)) << bad;
  EXPECT_EQ(describeTimeControl(TimeControl{TC_INCREMENT, 2000, 20}), "2+0.02");
}

TEST(MatchClock, GoCommandCarriesBothClocksOrTheFixedLimit) {
  TimeControl tc{TC_INCREMENT, 2000, 50};
  GameClock clock = startClock(tc);
  clock.remainingMs[1] = 1234;
  EXPECT_EQ(goCommand(tc, clock), "go wtime 2000 btime 1234 winc 50 binc 50");
  EXPECT_EQ(goCommand(TimeControl{TC_MOVETIME, 0, 0, 300}, clock), "go movetime 300");
  EXPECT_EQ(goCommand(TimeControl{TC_NODES, 0, 0, 0, 5000}, clock), "go nodes 5000");
}

TEST(MatchClock, LateMovesLoseOnlyBeyondTheMargin) {
  TimeControl tc{TC_INCREMENT, 1000, 100};
  tc.marginMs = 50;
  GameClock clock = startClock(tc);
  EXPECT_EQ(moveWaitLimitMs(tc, clock, 0), 1050);
  ASSERT_TRUE(chargeMove(tc, clock, 0, 400));
  EXPECT_EQ(clock.remainingMs[0], 700);  // 1000 - 400 + 100
  EXPECT_EQ(clock.remainingMs[1], 1000);
  // Overstepping within the margin empties the clock but does not lose.
  ASSERT_TRUE(chargeMove(tc, clock, 0, 740));
  EXPECT_EQ(clock.remainingMs[0], 100);
  EXPECT_FALSE(chargeMove(tc, clock, 0, 151));

  TimeControl fixed{TC_MOVETIME, 0, 0, 200};
  fixed.marginMs = 100;
  GameClock unused = startClock(fixed);
  EXPECT_TRUE(chargeMove(fixed, unused, 1, 300));
  EXPECT_FALSE(chargeMove(fixed, unused, 1, 301));

  TimeControl nodes{TC_NODES, 0, 0, 0, 1000};
  nodes.nodeTimeoutMs = 5000;
  EXPECT_EQ(moveWaitLimitMs(nodes, unused, 0), 5000);
}

// ---------------------------------------------------------------- judging

TEST(MatchJudging, MateAndStalemate) {
  GameBoard mated = boardAfter(START, {"f2f3", "e7e5", "g2g4", "d8h4"});
  Verdict v = judgeBoard(mated);
  EXPECT_EQ(v.result, RESULT_BLACK_WINS);
  EXPECT_EQ(v.termination, END_CHECKMATE);

  GameBoard stalemate = boardAfter("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", {});
  v = judgeBoard(stalemate);
  EXPECT_EQ(v.result, RESULT_DRAW);
  EXPECT_EQ(v.termination, END_STALEMATE);

  EXPECT_EQ(judgeBoard(boardAfter(START, {"e2e4"})).result, RESULT_NONE);
}

TEST(MatchJudging, InsufficientMaterial) {
  auto dead = [](const char* fen) { return judgeBoard(boardAfter(fen, {})).termination == END_INSUFFICIENT_MATERIAL; };
  EXPECT_TRUE(dead("8/8/4k3/8/8/3K4/8/8 w - - 0 1"));
  EXPECT_TRUE(dead("8/8/4k3/8/8/3K4/8/6N1 b - - 0 1"));
  EXPECT_TRUE(dead("8/8/4k3/8/8/3K4/8/5B2 w - - 0 1"));
  // Bishops on one colour cannot mate, whichever side owns them.
  EXPECT_TRUE(dead("8/8/4k3/8/8/3K4/b7/5B2 b - - 0 1"));
  EXPECT_TRUE(dead("8/8/4k3/8/8/3K4/6B1/5B2 w - - 0 1"));
  EXPECT_FALSE(dead("8/8/1b2k3/8/8/3K4/8/5B2 w - - 0 1"));
  EXPECT_FALSE(dead("8/8/1b2k3/8/8/3K4/8/5B2 b - - 0 1"));
  EXPECT_FALSE(dead("8/8/4k3/8/8/3K4/8/5BN1 w - - 0 1"));
  EXPECT_FALSE(dead("8/8/4k3/8/8/3K4/8/5NN1 w - - 0 1"));
  EXPECT_FALSE(dead("8/8/4k3/8/8/3K4/4P3/8 w - - 0 1"));
}

TEST(MatchJudging, FiftyMoveRuleCountsFromTheFen) {
  const char* fen = "8/8/4k3/8/8/3K4/8/R7 w - - 98 80";
  EXPECT_EQ(judgeBoard(boardAfter(fen, {"a1a2"})).result, RESULT_NONE);
  Verdict v = judgeBoard(boardAfter(fen, {"a1a2", "e6e5"}));
  EXPECT_EQ(v.result, RESULT_DRAW);
  EXPECT_EQ(v.termination, END_FIFTY_MOVES);
  // The hundredth quiet ply draws; a capture instead resets the count.
  const char* capture = "8/8/4k3/8/8/3K4/8/R6n w - - 99 80";
  EXPECT_EQ(judgeBoard(boardAfter(capture, {"a1a2"})).termination, END_FIFTY_MOVES);
  EXPECT_EQ(judgeBoard(boardAfter(capture, {"a1h1"})).result, RESULT_NONE);
}

TEST(MatchJudging, ThreefoldRepetitionComparesRealPositions) {
  std::vector<std::string> shuffle = {"g1f3", "g8f6", "f3g1", "f6g8"};
  std::vector<std::string> moves;
  for (int round = 0; round < 2; ++round) moves.insert(moves.end(), shuffle.begin(), shuffle.end());
  moves.pop_back();
  EXPECT_EQ(judgeBoard(boardAfter(START, moves)).result, RESULT_NONE);
  moves.push_back("f6g8");
  EXPECT_EQ(judgeBoard(boardAfter(START, moves)).termination, END_REPETITION);

  // After 1.e4 the en-passant square cannot be used, so the position after
  // 1.e4 is the same as after the knights come back.
  std::vector<std::string> afterE4 = {"e2e4", "g8f6", "g1f3", "f6g8", "f3g1", "g8f6", "g1f3", "f6g8", "f3g1"};
  EXPECT_EQ(judgeBoard(boardAfter(START, afterE4)).termination, END_REPETITION);

  // Losing the castling rights makes a different position.
  const char* castles = "r3k3/8/8/8/8/8/8/4K2R w K - 0 1";
  std::vector<std::string> kingWalk = {"e1f1", "a8a7", "f1e1", "a7a8", "e1f1", "a8a7", "f1e1", "a7a8"};
  EXPECT_EQ(judgeBoard(boardAfter(castles, kingWalk)).result, RESULT_NONE);
  kingWalk.insert(kingWalk.end(), {"e1f1", "a8a7", "f1e1", "a7a8"});
  EXPECT_EQ(judgeBoard(boardAfter(castles, kingWalk)).termination, END_REPETITION);
}

TEST(MatchJudging, OnlyLegalWellFormedMovesAreAccepted) {
  GameBoard board = boardAfter(START, {});
  EXPECT_NE(findLegalMove(board, "e2e4"), MOVE_NONE);
  EXPECT_NE(findLegalMove(board, "g1f3"), MOVE_NONE);
  for (const char* bad : {"e2e5", "e7e5", "", "e2", "e2e4q", "e2e4e2e4", "0000", "(none)", "E2E4", "g1f3 "})
    EXPECT_EQ(findLegalMove(board, bad), MOVE_NONE) << bad;
  // Pinned piece and moving into check.
  GameBoard pinned = boardAfter("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1", {});
  EXPECT_EQ(findLegalMove(pinned, "e2c3"), MOVE_NONE);
  EXPECT_EQ(findLegalMove(pinned, "e1e2"), MOVE_NONE);
  EXPECT_NE(findLegalMove(pinned, "e1d1"), MOVE_NONE);
  std::string error;
  for (const char* badFen : {"", "8/8/8/8/8/8/8/8 w - - 0 1", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1",
                             "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "4k3/8/8/8/8/8/8/4K3 x - - 0 1",
                             "4k3/8/8/8/8/8/8/4K3 w - e4 0 1", "4k3/8/8/8/8/8/8/K3R3 w - - 0 1"})
    EXPECT_FALSE(setupBoard(board, badFen, error)) << badFen;
}

TEST(MatchJudging, SanNotation) {
  auto sanAfter = [](const char* fen, const std::vector<std::string>& before, const std::string& uci) {
    GameBoard board = boardAfter(fen, before);
    Move move = findLegalMove(board, uci);
    EXPECT_NE(move, MOVE_NONE) << uci;
    std::string san = sanMove(board, move);
    playMove(board, move);
    return san + checkSuffix(board);
  };
  EXPECT_EQ(sanAfter(START, {}, "g1f3"), "Nf3");
  EXPECT_EQ(sanAfter(START, {"e2e4", "d7d5"}, "e4d5"), "exd5");
  EXPECT_EQ(sanAfter(START, {"f2f3", "e7e5", "g2g4"}, "d8h4"), "Qh4#");
  EXPECT_EQ(sanAfter(START, {"e2e4", "f7f6"}, "d1h5"), "Qh5+");
  EXPECT_EQ(sanAfter("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {}, "e1g1"), "O-O");
  EXPECT_EQ(sanAfter("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", {}, "e8c8"), "O-O-O");
  // Knights on b1 and f3 can both reach d2; rooks on a1 and a5 share a file.
  EXPECT_EQ(sanAfter("4k3/8/8/8/8/5N2/8/RN2K3 w - - 0 1", {}, "b1d2"), "Nbd2");
  EXPECT_EQ(sanAfter("4k3/8/8/R7/8/8/8/R3K3 w - - 0 1", {}, "a1a3"), "R1a3");
  EXPECT_EQ(sanAfter("4k3/8/8/8/8/8/8/Q1Q1K2Q w - - 0 1", {}, "c1b2"), "Qcb2");
  // A black piece: squares are printed from White's side.
  EXPECT_EQ(sanAfter("4k3/8/8/8/8/8/8/4K3 b - - 0 1", {}, "e8d7"), "Kd7");
  EXPECT_EQ(sanAfter("8/2P1k3/8/8/8/8/8/4K3 w - - 0 1", {}, "c7c8q"), "c8=Q");
  EXPECT_EQ(sanAfter("3r4/2P5/4k3/8/8/8/8/4K3 w - - 0 1", {}, "c7d8n"), "cxd8=N+");
  EXPECT_EQ(sanAfter(START, {"e2e4", "a7a6", "e4e5", "d7d5"}, "e5d6"), "exd6");
}

TEST(MatchJudging, ScoreAdjudication) {
  AdjudicationRules rules;
  rules.resignMoves = 2;
  rules.resignScore = 500;
  AdjudicationState state;
  // White's engine and black's engine must both see it: 4 plies.
  EXPECT_EQ(adjudicate(rules, state, true, 600, 10).result, RESULT_NONE);
  EXPECT_EQ(adjudicate(rules, state, true, 700, 10).result, RESULT_NONE);
  EXPECT_EQ(adjudicate(rules, state, true, 900, 11).result, RESULT_NONE);
  // A ply below the threshold starts the count again, and so does a missing score.
  EXPECT_EQ(adjudicate(rules, state, true, 100, 11).result, RESULT_NONE);
  EXPECT_EQ(adjudicate(rules, state, true, -800, 12).result, RESULT_NONE);
  EXPECT_EQ(adjudicate(rules, state, false, 0, 12).result, RESULT_NONE);
  for (int ply = 0; ply < 3; ++ply) EXPECT_EQ(adjudicate(rules, state, true, -500, 13).result, RESULT_NONE);
  Verdict v = adjudicate(rules, state, true, -MATE_SCORE + 3, 14);
  EXPECT_EQ(v.result, RESULT_BLACK_WINS);
  EXPECT_EQ(v.termination, END_RESIGN_ADJUDICATION);

  AdjudicationRules drawRules;
  drawRules.drawFromMove = 30;
  drawRules.drawMoves = 1;
  drawRules.drawScore = 10;
  AdjudicationState quiet;
  EXPECT_EQ(adjudicate(drawRules, quiet, true, 0, 29).result, RESULT_NONE);
  EXPECT_EQ(adjudicate(drawRules, quiet, true, 5, 30).result, RESULT_NONE);
  v = adjudicate(drawRules, quiet, true, -10, 30);
  EXPECT_EQ(v.result, RESULT_DRAW);
  EXPECT_EQ(v.termination, END_DRAW_ADJUDICATION);

  int score = 0;
  int depth = 0;
  EXPECT_TRUE(parseInfoScore("info depth 12 seldepth 20 score cp -35 nodes 1000 pv e2e4", score, depth));
  EXPECT_EQ(score, -35);
  EXPECT_EQ(depth, 12);
  EXPECT_TRUE(parseInfoScore("info depth 9 score mate -2 pv e1e2", score, depth));
  EXPECT_EQ(score, -MATE_SCORE + 2);
  EXPECT_TRUE(parseInfoScore("info score mate 3", score, depth));
  EXPECT_EQ(score, MATE_SCORE - 3);
  EXPECT_FALSE(parseInfoScore("info string score cp 500", score, depth));
  EXPECT_FALSE(parseInfoScore("info depth 3 score cp", score, depth));
  EXPECT_FALSE(parseInfoScore("info score cp 99999999999", score, depth));
}

// ---------------------------------------------------------------- openings and PGN

TEST(MatchOpenings, ReadsEpdAndRecognisesChess960) {
  std::string path = tempPath("openings.epd");
  {
    std::ofstream out(path);
    out << "# comment\n\n"
        << "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - id \"e4\";\n"
        << "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9\n";
  }
  std::vector<Opening> openings;
  std::string error;
  ASSERT_TRUE(loadOpenings(path, openings, error)) << error;
  ASSERT_EQ(openings.size(), 2u);
  EXPECT_EQ(openings[0].fen, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_FALSE(openings[0].chess960);
  EXPECT_EQ(openings[1].fen, "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9");
  EXPECT_TRUE(openings[1].chess960);
  // X-FEN letters on a non-standard setup are Chess960 too.
  EXPECT_TRUE(isChess960Fen("rkrbbnnq/pppppppp/8/8/8/8/PPPPPPPP/RKRBBNNQ w KQkq - 0 1"));
  EXPECT_FALSE(isChess960Fen("4k3/8/8/8/8/8/8/4K2R w K - 0 1"));

  {
    std::ofstream out(path);
    out << "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\nnot a position\n";
  }
  openings.clear();
  EXPECT_FALSE(loadOpenings(path, openings, error));
  EXPECT_NE(error.find(":2:"), std::string::npos) << error;
  EXPECT_FALSE(loadOpenings(tempPath("missing.epd"), openings, error));
  std::remove(path.c_str());
}

TEST(MatchOpenings, OrderIsAReproduciblePermutation) {
  std::vector<size_t> a = openingOrder(100, 7);
  EXPECT_EQ(a, openingOrder(100, 7));
  EXPECT_NE(a, openingOrder(100, 8));
  EXPECT_EQ(std::set<size_t>(a.begin(), a.end()).size(), 100u);
  EXPECT_EQ(*std::max_element(a.begin(), a.end()), 99u);
}

TEST(MatchPgn, WritesTagsMovesAndTheReason) {
  PgnGame game;
  game.event = "Test \"quoted\"";
  game.date = "2026.01.02";
  game.round = 3;
  game.white = "A";
  game.black = "B";
  game.startFen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1";
  game.blackStarts = true;
  game.timeControl = "2+0.02";
  game.result = RESULT_WHITE_WINS;
  game.termination = "Black (B) loses on time";
  game.moves = {"e5", "Nf3", "Nc6"};
  std::string pgn = formatPgn(game);
  EXPECT_NE(pgn.find("[Event \"Test \\\"quoted\\\"\"]"), std::string::npos) << pgn;
  EXPECT_NE(pgn.find("[Result \"1-0\"]"), std::string::npos);
  EXPECT_NE(pgn.find("[SetUp \"1\"]\n[FEN \"" + game.startFen + "\"]"), std::string::npos);
  EXPECT_NE(pgn.find("[Termination \"Black (B) loses on time\"]"), std::string::npos);
  EXPECT_NE(pgn.find("1... e5 2. Nf3 Nc6 {Black (B) loses on time} 1-0\n"), std::string::npos) << pgn;

  game.moves.assign(60, "Nf3");
  std::istringstream lines(formatPgn(game));
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u);
}

// ---------------------------------------------------------------- games against scripted engines

namespace {

struct Seats {
  EngineSetup setups[2];
  Player players[2];
  Player* order[2] = {&players[0], &players[1]};
  Seats(const std::string& white, const std::string& black) {
    setups[0] = {"Whitey", fakeEngine(white), {}};
    setups[1] = {"Blackie", fakeEngine(black), {}};
    players[0].setup = &setups[0];
    players[1].setup = &setups[1];
  }
};

GameSettings quickSettings() {
  GameSettings settings;
  settings.fen = START;
  settings.timeControl = TimeControl{TC_INCREMENT, 2000, 0};
  settings.startupTimeoutMs = 5000;
  return settings;
}

GameRecord play(Seats& seats, const GameSettings& settings = quickSettings()) {
  std::atomic<bool> stop{false};
  return playGame(seats.order, settings, stop);
}

}  // namespace

TEST(MatchGames, RulesEndScriptedGames) {
  Seats fools("--moves f2f3,g2g4", "--moves e7e5,d8h4");
  GameRecord mate = play(fools);
  EXPECT_EQ(mate.result, RESULT_BLACK_WINS);
  EXPECT_EQ(mate.termination, END_CHECKMATE);
  EXPECT_EQ(mate.faultSide, -1);
  EXPECT_EQ(mate.sanMoves, (std::vector<std::string>{"f3", "e5", "g4", "Qh4#"}));

  // A knight shuffle repeats the start position.
  Seats shuffle(WHITE_SHUFFLE, BLACK_SHUFFLE);
  GameRecord draw = play(shuffle);
  EXPECT_EQ(draw.result, RESULT_DRAW);
  EXPECT_EQ(draw.termination, END_REPETITION);
  EXPECT_EQ(draw.sanMoves.size(), 8u);
  EXPECT_TRUE(shuffle.players[0].engine.ready);
  pid_t before = shuffle.players[0].engine.process.pid;
  play(shuffle);
  EXPECT_EQ(shuffle.players[0].engine.process.pid, before) << "a well-behaved engine is kept";
}

TEST(MatchGames, IllegalAndMalformedMovesLose) {
  Seats illegal(WHITE_SHUFFLE + " --fail-at 1 --fail illegal", BLACK_SHUFFLE);
  GameRecord record = play(illegal);
  EXPECT_EQ(record.result, RESULT_BLACK_WINS);
  EXPECT_EQ(record.termination, END_ILLEGAL_MOVE);
  EXPECT_EQ(record.faultSide, 0);
  EXPECT_NE(record.detail.find("e2e5"), std::string::npos) << record.detail;
  EXPECT_EQ(record.sanMoves.size(), 2u);

  Seats garbage(WHITE_SHUFFLE, BLACK_SHUFFLE + " --fail-at 0 --fail garbage");
  record = play(garbage);
  EXPECT_EQ(record.result, RESULT_WHITE_WINS);
  EXPECT_EQ(record.termination, END_ILLEGAL_MOVE);
  EXPECT_EQ(record.faultSide, 1);
  EXPECT_FALSE(garbage.players[1].engine.ready) << "the faulty engine is replaced";
  EXPECT_TRUE(garbage.players[0].engine.ready);
}

TEST(MatchGames, AnEngineThatNeverAnswersLosesOnTime) {
  Seats seats(WHITE_SHUFFLE, BLACK_SHUFFLE + " --fail-at 1 --fail silent");
  GameSettings settings = quickSettings();
  settings.timeControl = TimeControl{TC_INCREMENT, 300, 0};
  settings.timeControl.marginMs = 50;
  std::string pids = tempPath("hung_pid");
  std::remove(pids.c_str());
  seats.setups[1].command += " --pidfile " + pids;
  GameRecord record = play(seats, settings);
  EXPECT_EQ(record.result, RESULT_WHITE_WINS);
  EXPECT_EQ(record.termination, END_TIME_FORFEIT);
  EXPECT_EQ(record.faultSide, 1);
  std::vector<pid_t> hung = readPids(pids);
  ASSERT_EQ(hung.size(), 1u);
  EXPECT_TRUE(processGone(hung[0])) << "the hung engine is killed and reaped";
  std::remove(pids.c_str());

  // Talking without end is no answer either.
  Seats chatty(WHITE_SHUFFLE + " --fail-at 0 --fail flood", BLACK_SHUFFLE);
  record = play(chatty, settings);
  EXPECT_EQ(record.termination, END_TIME_FORFEIT);
  EXPECT_EQ(record.faultSide, 0);
}

TEST(MatchGames, AnEngineThatExitsMidGameLoses) {
  Seats seats(WHITE_SHUFFLE + " --fail-at 2 --fail exit", BLACK_SHUFFLE);
  GameRecord record = play(seats);
  EXPECT_EQ(record.result, RESULT_BLACK_WINS);
  EXPECT_EQ(record.termination, END_CRASH);
  EXPECT_EQ(record.faultSide, 0);
  EXPECT_EQ(record.sanMoves.size(), 4u);
  // The next game starts a fresh process and plays normally.
  seats.setups[0].command = fakeEngine(WHITE_SHUFFLE);
  record = play(seats);
  EXPECT_EQ(record.termination, END_REPETITION);
}

TEST(MatchGames, SlowMovesLoseBeyondTheMargin) {
  GameSettings settings = quickSettings();
  settings.timeControl = TimeControl{TC_MOVETIME, 0, 0, 50};
  settings.timeControl.marginMs = 100;
  Seats slow(WHITE_SHUFFLE + " --fail-at 1 --fail slow --delay-ms 400", BLACK_SHUFFLE);
  GameRecord record = play(slow, settings);
  EXPECT_EQ(record.result, RESULT_BLACK_WINS);
  EXPECT_EQ(record.termination, END_TIME_FORFEIT);
  EXPECT_EQ(record.faultSide, 0);

  // A delay inside the margin is fine.
  settings.timeControl.marginMs = 500;
  Seats late(WHITE_SHUFFLE + " --fail-at 1 --fail slow --delay-ms 100", BLACK_SHUFFLE);
  record = play(late, settings);
  EXPECT_EQ(record.termination, END_REPETITION);
}

TEST(MatchGames, EnginesThatDoNotStartLose) {
  Seats mute(WHITE_SHUFFLE + " --mute-startup 1", BLACK_SHUFFLE);
  GameSettings settings = quickSettings();
  settings.startupTimeoutMs = 300;
  GameRecord record = play(mute, settings);
  EXPECT_EQ(record.result, RESULT_BLACK_WINS);
  EXPECT_EQ(record.termination, END_CRASH);
  EXPECT_TRUE(record.startFailed);

  Seats missing(WHITE_SHUFFLE, BLACK_SHUFFLE);
  missing.setups[0].command = "/nonexistent/engine";
  record = play(missing);
  EXPECT_EQ(record.result, RESULT_BLACK_WINS);
  EXPECT_TRUE(record.startFailed);
}

TEST(MatchGames, ScoreAdjudicationEndsTheGame) {
  Seats seats(WHITE_SHUFFLE + " --score 700", BLACK_SHUFFLE + " --score -650");
  GameSettings settings = quickSettings();
  settings.adjudication.resignMoves = 1;
  settings.adjudication.resignScore = 600;
  GameRecord record = play(seats, settings);
  EXPECT_EQ(record.result, RESULT_WHITE_WINS);
  EXPECT_EQ(record.termination, END_RESIGN_ADJUDICATION);
  EXPECT_EQ(record.sanMoves.size(), 2u);
}

// ---------------------------------------------------------------- the whole program

TEST(MatchProgram, CommandLine) {
  MatchConfig config;
  std::string error;
  const char* args[] = {"corvan-match", "--engine", "cmd=./a -x", "name=A", "option.Hash=16", "option.Threads=2",
                        "--engine", "cmd=/usr/games/b", "--tc", "2+0.02", "--games", "10", "--sprt", "0", "5",
                        "0.05", "0.1", "--resign", "3", "700", "--concurrency", "2"};
  ASSERT_EQ(parseCommandLine(int(std::size(args)), args, config, error), CLI_RUN) << error;
  EXPECT_EQ(config.engines[0].command, "./a -x");
  EXPECT_EQ(config.engines[0].options.size(), 2u);
  EXPECT_EQ(config.engines[0].options[1].first, "Threads");
  EXPECT_EQ(config.engines[1].name, "b");
  EXPECT_EQ(config.timeControl.incMs, 20);
  EXPECT_EQ(config.games, 10);
  EXPECT_TRUE(config.sprt);
  EXPECT_EQ(config.sprtParams.beta, 0.1);
  EXPECT_EQ(config.adjudication.resignScore, 700);
  EXPECT_EQ(config.concurrency, 2);

  const std::vector<std::vector<const char*>> bad = {
      {"m", "--engine", "cmd=a"},
      {"m", "--engine", "name=x", "--engine", "cmd=b"},
      {"m", "--engine", "cmd=a", "--engine", "cmd=b", "--tc", "fast"},
      {"m", "--engine", "cmd=a", "--engine", "cmd=b", "--games"},
      {"m", "--engine", "cmd=a", "--engine", "cmd=b", "--sprt", "5", "0", "0.05", "0.05"},
      {"m", "--engine", "cmd=a", "--engine", "cmd=b", "--frobnicate"},
      {"m", "--engine", "cmd=a", "bogus", "--engine", "cmd=b"}};
  for (const auto& argv : bad) {
    MatchConfig c;
    EXPECT_EQ(parseCommandLine(int(argv.size()), argv.data(), c, error), CLI_ERROR);
    EXPECT_FALSE(error.empty());
  }
  const char* help[] = {"m", "--help"};
  EXPECT_EQ(parseCommandLine(2, help, config, error), CLI_HELP);
}

TEST(MatchProgram, PlaysAMatchAndLeavesNoProcesses) {
  std::string pids = tempPath("pids");
  std::string pgn = tempPath("games.pgn");
  std::string errors = tempPath("engines.log");
  std::remove(pids.c_str());
  std::remove(pgn.c_str());
  std::remove(errors.c_str());
  int status = -1;
  // Shuffler writes a line to its standard error each time it starts.
  std::string out = runWithInput(
      {buildPath("corvan-match"), "--engine", "cmd=" + fakeEngine(BOTH_SHUFFLES + " --fail-at 1 --fail illegal --pidfile " + pids),
       "name=Sloppy", "--engine",
       "cmd=sh -c 'echo shuffler starts >&2; exec " + fakeEngine(BOTH_SHUFFLES + " --pidfile " + pids) + "'",
       "name=Shuffler", "--tc", "2+0", "--games", "4", "--concurrency", "2", "--pgn", pgn, "--stderr", errors},
      "", &status);
  EXPECT_EQ(status, 0) << out;
  // Sloppy's second move is illegal with either colour.
  EXPECT_NE(out.find("Wins 0, losses 4, draws 0"), std::string::npos) << out;
  EXPECT_NE(out.find("Pairs (0, 1/2, 1, 3/2, 2 points for Sloppy): 2 0 0 0 0"), std::string::npos) << out;
  EXPECT_NE(out.find("Sloppy: 0 time losses, 4 illegal moves, 0 crashes"), std::string::npos) << out;
  EXPECT_NE(out.find("Elo difference: not defined"), std::string::npos) << out;
  for (int game = 1; game <= 4; ++game)
    EXPECT_NE(out.find("Game " + std::to_string(game) + "/4"), std::string::npos) << out;
  std::ifstream pgnFile(pgn);
  std::stringstream pgnText;
  pgnText << pgnFile.rdbuf();
  EXPECT_NE(pgnText.str().find("[Termination \"White (Sloppy) played an illegal move"), std::string::npos);
  EXPECT_NE(pgnText.str().find("[Termination \"Black (Sloppy) played an illegal move"), std::string::npos);
  std::vector<pid_t> started = readPids(pids);
  EXPECT_GE(started.size(), 4u);
  for (pid_t pid : started) EXPECT_TRUE(processGone(pid)) << pid;
  std::ifstream errorFile(errors);
  std::stringstream errorText;
  errorText << errorFile.rdbuf();
  EXPECT_EQ(errorText.str().rfind("shuffler starts\n", 0), 0u) << errorText.str();
  std::remove(pids.c_str());
  std::remove(pgn.c_str());
  std::remove(errors.c_str());
}

TEST(MatchProgram, SprtStopsTheMatchOnceDecided) {
  int status = -1;
  std::string out = runWithInput(
      {buildPath("corvan-match"), "--engine", "cmd=" + fakeEngine(BOTH_SHUFFLES), "name=Good", "--engine",
       "cmd=" + fakeEngine(BOTH_SHUFFLES + " --fail-at 0 --fail garbage"), "name=Broken", "--tc", "2+0", "--games",
       "1000", "--sprt", "0", "10", "0.05", "0.05"},
      "", &status);
  EXPECT_EQ(status, 0) << out;
  // Winning every pair is overwhelming evidence even though the pair scores
  // never vary: the test decides within a few dozen games.
  EXPECT_NE(out.find("H1 accepted"), std::string::npos) << out;
  EXPECT_NE(out.find("Game 20/1000"), std::string::npos) << out;
  EXPECT_EQ(out.find("Game 60/1000"), std::string::npos) << out;
  EXPECT_NE(out.find("Broken: 0 time losses, "), std::string::npos) << out;
}

TEST(MatchProgram, InterruptKillsEveryEngine) {
  std::string pids = tempPath("interrupt_pids");
  std::remove(pids.c_str());
  pid_t runner = fork();
  if (runner == 0) {
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    std::string hanging = "cmd=" + fakeEngine(BOTH_SHUFFLES + " --fail-at 0 --fail silent --pidfile " + pids);
    std::string steady = "cmd=" + fakeEngine(BOTH_SHUFFLES + " --pidfile " + pids);
    std::string self = buildPath("corvan-match");
    execl(self.c_str(), self.c_str(), "--engine", hanging.c_str(), "--engine", steady.c_str(), "--tc", "600+0",
          "--concurrency", "2", "--games", "4", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(runner, 0);
  // Whatever happens below, the runner does not outlive the test.
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }
  } reaper{runner};
  // Both games hang on the first engine's move, with all four engines up.
  for (int i = 0; i < 1000 && readPids(pids).size() < 4; ++i) usleep(10000);
  ASSERT_EQ(readPids(pids).size(), 4u);
  usleep(100000);
  kill(runner, SIGINT);
  int status = 0;
  pid_t waited;
  while ((waited = waitpid(runner, &status, 0)) < 0 && errno == EINTR) {
  }
  ASSERT_EQ(waited, runner);
  reaper.pid = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  std::vector<pid_t> started = readPids(pids);
  EXPECT_EQ(started.size(), 4u);
  for (pid_t pid : started) EXPECT_TRUE(processGone(pid)) << pid;
  std::remove(pids.c_str());
}
