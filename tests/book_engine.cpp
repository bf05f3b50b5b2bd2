// The engine answers from its book: OwnBook and BookFile through UCI, the
// book move printed in the current castling notation, no book for infinite
// searches, and a pondering book hit held back until ponderhit or stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "book/bookwriter.h"
#include "book/polyglot.h"
#include "support/engine_process.h"
#include "support/paths.h"

namespace {

const char* CASTLE_FEN = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";

class BookEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    initAttacks();
    char pattern[] = "/tmp/corvan-bookengine-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    book_ = dir_ + "/book.bin";
    // One book for every case: start position, black's reply, a castling
    // position, and an entry that is not legal where it stands.
    BookDraft draft;
    std::string error;
    const char* lines[] = {
        "startpos moves e2e4 c7c5",
        "startpos moves e2e4",
        "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1 ; e1h1 ; 3",
        "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1 ; a2a3 ; 1",
    };
    for (const char* line : lines) ASSERT_TRUE(addBookLine(draft, line, 0, error)) << error;
    // d2d5 is no move of the start position after 1.d4 d5 ... written raw.
    auto pos = std::make_unique<Position>();
    setPosition(*pos, START_FEN, "d2d4 d7d5");
    addBookEntry(draft, polyglotKey(*pos->state), uint16_t(11 << 6 | 35), 100);
    ASSERT_TRUE(writeBookFile(book_, finishBook(draft, false)));
  }
  static void TearDownTestSuite() {
    std::remove(book_.c_str());
    rmdir(dir_.c_str());
  }

  void SetUp() override {
    engine_ = std::make_unique<EngineProcess>(std::vector<std::string>{buildPath("corvan")});
    engine_->send("uci");
    ASSERT_TRUE(engine_->waitFor("uciok"));
    engine_->send("setoption name OwnBook value true");
    engine_->send("setoption name BookFile value " + book_);
    engine_->send("setoption name Hash value 16");
  }
  void TearDown() override { engine_->send("quit"); }

  // The bestmove line of a search, and whether any info line came before it.
  std::string best(const std::string& position, const std::string& go, bool* searched = nullptr) {
    engine_->send(position);
    engine_->send(go);
    size_t from = engine_->transcript().size();
    std::string line;
    if (!engine_->waitFor("bestmove", line, 20000)) return "(no bestmove)";
    if (searched) {
      *searched = false;
      for (size_t i = from; i < engine_->transcript().size(); ++i)
        *searched = *searched || engine_->transcript()[i].rfind("info", 0) == 0;
    }
    return line;
  }
  // True when no bestmove arrives within ms.
  bool silentFor(int ms) {
    std::string line;
    while (engine_->readLine(line, ms))
      if (line.rfind("bestmove", 0) == 0) return false;
    return true;
  }

  static std::string dir_, book_;
  std::unique_ptr<EngineProcess> engine_;
};

std::string BookEngineTest::dir_;
std::string BookEngineTest::book_;

TEST_F(BookEngineTest, BookMoveIsTheAnswerWithoutSearchOrPonder) {
  bool searched = true;
  EXPECT_EQ(best("position startpos", "go wtime 60000 btime 60000", &searched), "bestmove e2e4");
  EXPECT_FALSE(searched);
  EXPECT_EQ(best("position startpos moves e2e4", "go depth 5"), "bestmove c7c5");
  EXPECT_EQ(best("position fen " + std::string(CASTLE_FEN), "go movetime 5000"), "bestmove e1g1");
  engine_->send("setoption name UCI_Chess960 value true");
  EXPECT_EQ(best("position fen " + std::string(CASTLE_FEN), "go movetime 5000"), "bestmove e1h1");
}

TEST_F(BookEngineTest, NoBookMeansSearch) {
  bool searched = false;
  // Out of book, an illegal book entry, OwnBook off, an unreadable file: all search.
  EXPECT_EQ(best("position startpos moves g1f3", "go depth 1", &searched).rfind("bestmove ", 0), 0u);
  EXPECT_TRUE(searched);
  std::string line = best("position startpos moves d2d4 d7d5", "go depth 1", &searched);
  EXPECT_TRUE(searched);
  EXPECT_NE(line, "bestmove d2d5");
  engine_->send("setoption name OwnBook value false");
  EXPECT_NE(best("position startpos", "go depth 1", &searched), "(no bestmove)");
  EXPECT_TRUE(searched);
  engine_->send("setoption name OwnBook value true");
  engine_->send("setoption name BookFile value " + dir_ + "/absent.bin");
  EXPECT_NE(best("position startpos", "go depth 1", &searched), "(no bestmove)");
  EXPECT_TRUE(searched);
}

TEST_F(BookEngineTest, InfiniteSearchSkipsTheBook) {
  engine_->send("position startpos");
  engine_->send("go infinite");
  EXPECT_TRUE(engine_->waitFor("info", 10000));
  EXPECT_TRUE(silentFor(200));
  engine_->send("stop");
  EXPECT_TRUE(engine_->waitFor("bestmove", 10000));
}

TEST_F(BookEngineTest, PonderingBookHitWaitsForPonderhitOrStop) {
  engine_->send("position startpos");
  engine_->send("go ponder wtime 60000 btime 60000");
  EXPECT_TRUE(silentFor(300));
  engine_->send("ponderhit");
  std::string line;
  ASSERT_TRUE(engine_->waitFor("bestmove", line, 10000));
  EXPECT_EQ(line, "bestmove e2e4");

  engine_->send("position startpos moves e2e4");
  engine_->send("go ponder wtime 60000 btime 60000");
  EXPECT_TRUE(silentFor(300));
  engine_->send("stop");
  ASSERT_TRUE(engine_->waitFor("bestmove", line, 10000));
  EXPECT_EQ(line, "bestmove c7c5");
}

}  // namespace
