// The command loop driven through pipes, as a GUI drives it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "support/engine_process.h"
#include "support/paths.h"

static const std::string UCI_REPLY =
    "id name Corvan 3.1\n"
    "id author Quennick\n"
    "option name Hash type spin default 256 min 1 max 1048576\n"
    "option name Threads type spin default 1 min 1 max 512\n"
    "option name Ponder type check default false\n"
    "option name OwnBook type check default false\n"
    "option name BookFile type string default corvanbook.bin\n"
    "option name BookRandom type check default false\n"
    "option name EvalFile type string default <built-in>\n"
    "option name DrawScore type spin default 0 min -100 max 100\n"
    "option name MoveOverhead type spin default 100 min 0 max 5000\n"
    "option name Strength type spin default 100 min 1 max 100\n"
    "option name MultiPV type spin default 1 min 1 max 256\n"
    "option name LargePages type check default false\n"
    "option name UCI_Chess960 type check default false\n"
    "option name SyzygyPath type string default <empty>\n"
    "option name Syzygy50MoveRule type check default true\n"
    "option name SyzygyProbeLimit type spin default 7 min 0 max 7\n"
    "option name Clear Hash type button\n"
    "option name UCI_ShowWDL type check default false\n"
    "option name UCI_LimitStrength type check default false\n"
    "option name UCI_Elo type spin default 3190 min 1320 max 3190\n"
    "uciok\n";

static std::string run(const std::string& input, int* status = nullptr) {
  return runWithInput({buildPath("corvan")}, input, status);
}

TEST(CommandLoop, AnswersUciAndIsreadyByteForByteAndQuits) {
  int status = -1;
  EXPECT_EQ(run("uci\nisready\nquit\n", &status), UCI_REPLY + "readyok\n");
  EXPECT_EQ(status, 0);
}

TEST(CommandLoop, EndOfInputEndsTheEngineLikeQuit) {
  int status = -1;
  EXPECT_EQ(run("isready\n", &status), "readyok\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(run("", &status), "");
  EXPECT_EQ(status, 0);
  // A last line without its newline is still handled.
  EXPECT_EQ(run("isready", &status), "readyok\n");
  EXPECT_EQ(status, 0);
}

TEST(CommandLoop, AcceptsWindowsLineEndings) { EXPECT_EQ(run("uci\r\nquit\r\n"), UCI_REPLY); }

TEST(CommandLoop, StringOptionKeepsSpacesAndShowsInTheUciReply) {
  std::string out = run("setoption name BookFile value my books/opening book.bin\nuci\nquit\n");
  EXPECT_NE(out.find("option name BookFile type string default my books/opening book.bin\n"), std::string::npos);
}

TEST(CommandLoop, SetoptionWithoutValueWordOrUnknownNameChangesNothing) {
  std::string out = run(
      "setoption name BookFile\n"
      "setoption name bookfile value lower.bin\n"
      "setoption name NoSuchOption value 3\n"
      "uci\nquit\n");
  EXPECT_EQ(out, UCI_REPLY);
}

TEST(CommandLoop, OverlongBookFileIsRefusedWhole) {
  std::string out = run("setoption name BookFile value " + std::string(600, 'b') + "\nuci\nquit\n");
  EXPECT_EQ(out, UCI_REPLY);
}

TEST(CommandLoop, GarbageProducesNoOutputAndNoCrash) {
  std::string garbage = "hello\nUCI\n go\nxyzzy 1 2 3\n";
  garbage += std::string("\x01\x02\xff\xfe", 4) + std::string(1, '\0') + "stuff\n";
  garbage += std::string(20000, 'x') + "\n";
  // The tail of a very long line must not be taken for a command.
  garbage += std::string(8190, ' ') + "uci\n";
  garbage += std::string(9000, 'q') + "isready\n";
  garbage += std::string((1 << 20) + 10, 'z') + "\n";
  int status = -1;
  EXPECT_EQ(run(garbage + "isready\nquit\n", &status), "readyok\n");
  EXPECT_EQ(status, 0);
}

TEST(CommandLoop, StopAndPonderhitWithoutSearchAreSilent) {
  EXPECT_EQ(run("stop\nponderhit\nisready\nquit\n"), "readyok\n");
}

TEST(CommandLoop, AbsurdOptionValuesAreUsedSafely) {
  int status = -1;
  std::string out = run(
      "setoption name Hash value 0\n"
      "setoption name Threads value 0\n"
      "setoption name MultiPV value -5\n"
      "setoption name MoveOverhead value 999999999999\n"
      "ucinewgame\n"
      "setoption name Hash value -7\n"
      "setoption name Hash value 1\n"
      "ucinewgame\nisready\nquit\n",
      &status);
  EXPECT_EQ(out, "readyok\n");
  EXPECT_EQ(status, 0);
}

TEST(CommandLoop, ShortPositionLinesDoNotReadOldBytes) {
  // A long earlier line leaves bytes that a short one must never see.
  int status = -1;
  std::string out = run(
      "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5 a7a6\n"
      "position\n"
      "position fen\n"
      "position startpos moves\n"
      "position fen 8/8/8/8/8/8/8/8 w - - 0 1\n"
      "position fen \n"
      "isready\nquit\n",
      &status);
  // The three positions without kings are refused, each with one line.
  const std::string refused = "info string impossible position, white has no king: bestmove 0000 until a valid position\n";
  EXPECT_EQ(out, refused + refused + refused + "readyok\n");
  EXPECT_EQ(status, 0);
}

// A board the engine cannot play on, or a move list with a move that is not
// legal where it stands, gets one line naming the fault, and every "go"
// answers "bestmove 0000" at once, whatever its limits, until a valid
// position arrives.
TEST(CommandLoop, ImpossiblePositionsAnswerNullMoveUntilAValidOne) {
  const struct {
    const char* position;
    const char* reason;
  } cases[] = {
      {"position fen 8/8/8/8/8/8/8/K7 w - - 0 1", "impossible position, black has no king"},
      {"position fen k7/8/8/8/8/8/8/KK6 b - - 0 1", "impossible position, white has more than one king"},
      {"position fen k7/8/8/8/8/8/8/K3P3 w - - 0 1", "impossible position, a pawn stands on the first or last rank"},
      {"position fen k7/8/8/8/8/8/8/R6K w - - 0 1 moves a1a2", "impossible position, the side not to move is in check"},
      {"position startpos moves e2e4 e7e5 e1e3 b8c6", "illegal move e1e3 (move 3 of the list)"},
      {"position startpos moves e2e4 e7e5x", "illegal move e7e5x (move 2 of the list)"},
      {"position startpos moves e2e4 \x01\x7f", "illegal move ?? (move 2 of the list)"},
  };
  for (const auto& c : cases) {
    int status = -1;
    std::string out = run(std::string(c.position) +
                              "\ngo depth 5\ngo infinite\ngo ponder wtime 1000 btime 1000\nisready\n"
                              "position startpos moves e2e4\ngo depth 1\nquit\n",
                          &status);
    SCOPED_TRACE(c.position);
    const std::string expected = "info string " + std::string(c.reason) +
                                 ": bestmove 0000 until a valid position\n"
                                 "bestmove 0000\nbestmove 0000\nbestmove 0000\nreadyok\n";
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    // The valid position afterwards is searched as usual.
    EXPECT_NE(out.find("bestmove ", expected.size()), std::string::npos);
    EXPECT_EQ(out.find("bestmove 0000", expected.size()), std::string::npos);
    EXPECT_EQ(status, 0);
  }
}

// The nodes of the last "info" line before the last "bestmove".
static long long lastNodes(const std::string& out) {
  const size_t best = out.rfind("bestmove");
  const size_t at = out.rfind(" nodes ", best);
  return at == std::string::npos ? -1 : std::stoll(out.substr(at + 7));
}

// EvalFile loads at the next isready or go; a file it cannot use gets one
// line naming the problem and the network in use plays on; the built-in
// network's own bytes from a file search exactly as the built-in one.
TEST(CommandLoop, EvalFileLoadsValidImagesAndRefusesOthersKeepingTheNetwork) {
  std::string image;
  for (const auto& entry : std::filesystem::directory_iterator(CORVAN_BUILD_DIR))
    if (entry.path().extension() == ".nnue" && entry.file_size() == 20990804) image = entry.path();
  if (image.empty()) GTEST_SKIP() << "no unpacked network image in the build directory";
  const std::string dir = testing::TempDir();
  const std::string shortFile = dir + "/short.nnue", badBits = dir + "/bits.nnue", pipe = dir + "/pipe.nnue";
  std::ofstream(shortFile) << "not a network";
  // A named pipe nobody writes to: refused, not waited on.
  std::remove(pipe.c_str());
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::filesystem::copy_file(image, badBits, std::filesystem::copy_options::overwrite_existing);
  {
    // The first of the four decimal-bit fields that end the image.
    std::fstream f(badBits, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(20990804 - 16);
    f.put(char(7));
  }
  const std::string search = "position startpos moves e2e4\ngo depth 7\n";
  // "eval" waits for the bounded search, which "quit" would stop.
  const long long builtIn = lastNodes(run(search + "eval\nquit\n"));
  ASSERT_GT(builtIn, 0);

  struct Case {
    std::string file, message;
    bool loads;
  };
  const Case cases[] = {
      {dir + "/missing.nnue", "info string EvalFile: cannot read " + dir + "/missing.nnue", false},
      {pipe, "info string EvalFile: cannot read " + pipe, false},
      {shortFile, "info string EvalFile: " + shortFile + " has 13 bytes, a network image has 20990804", false},
      {badBits, "info string EvalFile: " + badBits + " has 7 decimal bits in L1, a network image has 4", false},
      {image, "info string EvalFile: using " + image + " (hash ", true},
  };
  for (const Case& c : cases) {
    const std::string out = run("setoption name EvalFile value " + c.file + "\nisready\n" + search + "eval\nquit\n");
    EXPECT_EQ(out.find(c.message), 0u) << out.substr(0, 200);
    EXPECT_NE(out.find("\nreadyok\n"), std::string::npos);
    EXPECT_EQ(lastNodes(out), builtIn) << c.file;
    EXPECT_NE(out.find(c.loads ? "Network: " + image : "Network: built-in"), std::string::npos) << c.file;
  }
  for (const std::string& file : {shortFile, badBits, pipe}) std::remove(file.c_str());
}
