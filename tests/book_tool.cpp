// Writing books: the corvan-book tool and the writer behind it produce
// sorted, merged, big-endian Polyglot files that the reader answers from.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "book/bookformat.h"
#include "book/bookwriter.h"
#include "book/polyglot.h"
#include "board/movetext.h"
#include "driver/options.h"
#include "support/engine_process.h"
#include "support/paths.h"

namespace {

std::vector<unsigned char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::vector<BookEntry> readBook(const std::string& path) {
  std::vector<unsigned char> bytes = fileBytes(path);
  std::vector<BookEntry> entries;
  for (size_t at = 0; at + BOOK_ENTRY_SIZE <= bytes.size(); at += BOOK_ENTRY_SIZE)
    entries.push_back(decodeBookEntry(bytes.data() + at));
  return entries;
}

class BookToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initAttacks(); }

  void SetUp() override {
    setDefaultOptions();
    char pattern[] = "/tmp/corvan-booktool-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    book_ = dir_ + "/book.bin";
    pos_ = std::make_unique<Position>();
  }
  void TearDown() override {
    std::remove(book_.c_str());
    std::remove((dir_ + "/games.txt").c_str());
    rmdir(dir_.c_str());
  }

  // Runs the tool on input; returns its exit status, output in output_.
  int tool(const std::string& input, std::vector<std::string> args = {}) {
    std::vector<std::string> argv = {buildPath("corvan-book")};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(book_);
    int status = -1;
    output_ = runWithInput(argv, input, &status);
    return status;
  }
  const PositionState& setUp(const char* fen, const char* moves = nullptr) {
    setPosition(*pos_, fen, moves);
    return *pos_->state;
  }
  uint16_t bookMove(const PositionState& st, const char* text) { return encodeBookMove(st, uciToMove(st, text)); }
  std::string answer(const PositionState& st) {
    Move move = legalBookMove(st, book_.c_str(), false);
    if (move == MOVE_NONE) return "none";
    char text[6];
    moveToUci(st, move, false, text);
    return text;
  }

  std::string dir_, book_, output_;
  std::unique_ptr<Position> pos_;
};

TEST_F(BookToolTest, GamesCountEachMoveAndSortByKey) {
  ASSERT_EQ(tool("startpos moves e2e4 e7e5 g1f3\n"
                 "# a comment\n"
                 "\n"
                 "position startpos moves e2e4 c7c5\n"
                 "startpos moves d2d4\n"
                 "startpos\n"),
            0)
      << output_;
  EXPECT_NE(output_.find("wrote 5 entries for 3 positions"), std::string::npos) << output_;
  std::vector<BookEntry> entries = readBook(book_);
  ASSERT_EQ(entries.size(), 5u);
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_LE(entries[i - 1].key, entries[i].key);

  const PositionState& st = setUp(START_FEN);
  for (const BookEntry& e : entries) {
    if (e.key == polyglotKey(st)) {
      EXPECT_EQ(e.weight, e.move == bookMove(st, "e2e4") ? 2 : 1);
    }
  }
  EXPECT_EQ(answer(setUp(START_FEN)), "e2e4");
  // Equal weights keep the order the games gave them.
  EXPECT_EQ(answer(setUp(START_FEN, "e2e4")), "e7e5");
  EXPECT_EQ(answer(setUp(START_FEN, "e2e4 e7e5")), "g1f3");
  EXPECT_EQ(answer(setUp(START_FEN, "e2e4 e7e5 g1f3")), "none");
}

TEST_F(BookToolTest, WriterReproducesARealBook) {
  std::string real = sharedDataPath("lasker-trap.bin");
  if (real.empty()) GTEST_SKIP() << "lasker-trap.bin not present";
  // The real book weighs black's moves of one line at 2 each.
  const char* line[] = {"d2d4", "d7d5", "c2c4", "e7e5", "d4e5", "d5d4", "e2e3",
                        "f8b4", "c1d2", "d4e3", "d2b4", "e3f2", "e1e2", "f2g1n"};
  BookDraft draft;
  std::string played;
  for (int ply = 0; ply < 14; ++ply) {
    const PositionState& st = setUp(START_FEN, played.empty() ? nullptr : played.c_str());
    if (ply % 2) addBookEntry(draft, polyglotKey(st), bookMove(st, line[ply]), 2);
    if (!played.empty()) played += ' ';
    played += line[ply];
  }
  ASSERT_TRUE(writeBookFile(book_, finishBook(draft, false)));
  EXPECT_EQ(fileBytes(book_), fileBytes(real));
}

TEST_F(BookToolTest, PositionLinesMergeWeightsUpToTheCap) {
  const std::string fen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
  // Both castling notations name the same book entry.
  ASSERT_EQ(tool(fen + " ; e1g1 ; 40000\n" + fen + " ; e1h1 ; 40000\n" + fen + " ; e1c1\n" +
                 fen + " ; a2a3 ; 0\n"),
            0)
      << output_;
  std::vector<BookEntry> entries = readBook(book_);
  ASSERT_EQ(entries.size(), 3u);
  const PositionState& st = setUp(fen.c_str());
  EXPECT_EQ(entries[0].move, (4 << 6) | 7);  // heaviest first: king onto h1
  EXPECT_EQ(entries[0].weight, 65535);
  EXPECT_EQ(entries[1].move, (4 << 6) | 0);
  EXPECT_EQ(entries[1].weight, 1);
  EXPECT_EQ(entries[2].move, bookMove(st, "a2a3"));
  EXPECT_EQ(entries[2].weight, 0);
  for (const BookEntry& e : entries) EXPECT_EQ(e.key, polyglotKey(st));
}

TEST_F(BookToolTest, InputOrderKeptWhenAsked) {
  const std::string lines = std::string(START_FEN) + " ; g2g3 ; 1\n" + START_FEN + " ; e2e4 ; 5\n" +
                            START_FEN + " ; b2b3 ; 1\n";
  const PositionState& st = setUp(START_FEN);
  ASSERT_EQ(tool(lines), 0) << output_;
  std::vector<BookEntry> entries = readBook(book_);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].move, bookMove(st, "e2e4"));
  EXPECT_EQ(entries[1].move, bookMove(st, "g2g3"));
  EXPECT_EQ(entries[2].move, bookMove(st, "b2b3"));
  ASSERT_EQ(tool(lines, {"--input-order"}), 0) << output_;
  entries = readBook(book_);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].move, bookMove(st, "g2g3"));
  EXPECT_EQ(entries[1].move, bookMove(st, "e2e4"));
  EXPECT_EQ(answer(setUp(START_FEN)), "e2e4");
}

TEST_F(BookToolTest, BadLinesFailOrAreSkipped) {
  const char* bad[] = {
      "startpos moves e2e4 e7e5 e1e3\n",                                 // illegal third move
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 ; e2e5\n",  // illegal move
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 ; e2e4 ; -3\n",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1 ; e2e4\n",  // seven squares on rank 1
      "8/8/8/8/8/8/8/8 w - - 0 1 ; e2e4\n",                                // no kings
      "4k3/8/8/8/8/8/8/K3R1N1 w - - 0 1 ; g1f3\n",                         // black in check, white to move
      "startpos moves e2e4 zz\n",
      "e2e4 e7e5\n",
  };
  for (const char* line : bad) {
    std::string input = std::string("startpos moves d2d4\n") + line;
    std::remove(book_.c_str());
    EXPECT_EQ(tool(input), 1) << line;
    EXPECT_TRUE(fileBytes(book_).empty()) << "no book after a bad line: " << line;
    EXPECT_EQ(tool(input, {"--lenient"}), 0) << line;
    EXPECT_NE(output_.find("(1 bad lines skipped)"), std::string::npos) << output_;
    EXPECT_EQ(readBook(book_).size(), 1u) << line;
  }
}

TEST_F(BookToolTest, LongGamesAndPlyLimit) {
  // 800 plies of knight shuffling: the start position recurs 200 times.
  std::string game = "startpos moves";
  for (int i = 0; i < 200; ++i) game += " g1f3 g8f6 f3g1 f6g8";
  ASSERT_EQ(tool(game + "\n"), 0) << output_;
  std::vector<BookEntry> entries = readBook(book_);
  ASSERT_EQ(entries.size(), 4u);
  for (const BookEntry& e : entries) EXPECT_EQ(e.weight, 200);
  EXPECT_EQ(answer(setUp(START_FEN, "g1f3 g8f6 f3g1")), "f6g8");

  ASSERT_EQ(tool("startpos moves e2e4 e7e5 g1f3 b8c6\nstartpos moves d2d4 d7d5 c2c4\n", {"--max-ply", "2"}), 0);
  EXPECT_EQ(readBook(book_).size(), 4u);
  EXPECT_EQ(answer(setUp(START_FEN, "e2e4 e7e5")), "none");
}

TEST_F(BookToolTest, FilesUsageAndHelp) {
  std::string games = dir_ + "/games.txt";
  std::ofstream(games) << "fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1 moves c7c5\n";
  int status = -1;
  output_ = runWithInput({buildPath("corvan-book"), book_, games}, "", &status);
  ASSERT_EQ(status, 0) << output_;
  EXPECT_EQ(answer(setUp(START_FEN, "e2e4")), "c7c5");

  runWithInput({buildPath("corvan-book"), book_, dir_ + "/absent.txt"}, "", &status);
  EXPECT_EQ(status, 1);
  runWithInput({buildPath("corvan-book")}, "", &status);
  EXPECT_EQ(status, 2);
  runWithInput({buildPath("corvan-book"), "--frobnicate", book_}, "", &status);
  EXPECT_EQ(status, 2);
  std::string help = runWithInput({buildPath("corvan-book"), "--help"}, "", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(help.find("FEN ; MOVE ; WEIGHT"), std::string::npos);
  EXPECT_NE(help.find("startpos moves"), std::string::npos);
  // A book that cannot be written is an error, not a silent success.
  runWithInput({buildPath("corvan-book"), dir_ + "/no/such/dir/book.bin"}, "startpos moves e2e4\n", &status);
  EXPECT_EQ(status, 1);
}

}  // namespace
