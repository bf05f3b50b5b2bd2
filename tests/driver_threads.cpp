// The engine's threads under commands in quick succession, written to it in
// one go as a fast controller would: two and four search threads, go, stop
// and ponderhit one after the other, isready during searches, Hash and
// Threads changed between games. Every go gets exactly one bestmove, every
// isready its readyok, and the engine ends cleanly. The thread sanitizer
// build runs these (see .ci/run) and fails on any report.
#include <gtest/gtest.h>

#include <string>

#include "support/engine_process.h"
#include "support/paths.h"

namespace {

int count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
    if (at == 0 || text[at - 1] == '\n') ++n;
  return n;
}

TEST(ThreadSafety, CommandsInQuickSuccessionWithSeveralThreads) {
  for (int threads : {2, 4}) {
    const std::string other = std::to_string(6 - threads);
    const std::string script =
        "setoption name Hash value 8\n"
        "setoption name Threads value " + std::to_string(threads) + "\n"
        "ucinewgame\nisready\n"
        "position startpos moves e2e4 c7c5\n"
        "go infinite\nisready\nstop\n"
        "go ponder wtime 1000 btime 1000\nisready\nponderhit\n"
        "go ponder wtime 5000 btime 5000\nstop\n"
        "go infinite\nstop\ngo infinite\nstop\ngo infinite\nstop\n"
        "go nodes 20000\nstop\n"
        "position startpos moves d2d4 d7d5 c2c4\n"
        "go wtime 300 btime 300 winc 10 binc 10\nisready\n"
        "go movetime 30\n"
        "go depth 4\nisready\n"
        // A new game with other table and thread counts, then at once a search.
        "setoption name Hash value 2\n"
        "setoption name Threads value " + other + "\n"
        "ucinewgame\n"
        "position startpos moves g1f3\n"
        "go ponder\nponderhit\nstop\n"
        "go depth 3\n"
        "setoption name Threads value " + std::to_string(threads) + "\n"
        "ucinewgame\ngo infinite\nisready\nstop\n"
        "isready\nquit\n";
    int status = -1;
    const std::string out = runWithInput({buildPath("corvan")}, script, &status, 60000);
    SCOPED_TRACE(threads);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count(out, "bestmove "), count(script, "go "));
    EXPECT_EQ(count(out, "readyok"), count(script, "isready"));
    EXPECT_EQ(out.find("bestmove 0000"), std::string::npos);
  }
}

}  // namespace
