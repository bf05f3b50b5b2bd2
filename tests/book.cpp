// The book reader: Polyglot keys of engine positions, finding and choosing
// entries in book files, decoding moves into legal engine moves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "book/bookchoice.h"
#include "book/bookformat.h"
#include "book/bookwriter.h"
#include "book/polyglot.h"
#include "book/random64.h"
#include "board/movetext.h"
#include "driver/options.h"
#include "support/paths.h"

namespace {

class BookTest : public ::testing::Test {
 protected:
  // Move text in Chess960 notation (castling as the king onto its rook).
  bool chess960_ = false;
  static void SetUpTestSuite() { initAttacks(); }

  void SetUp() override {
    setDefaultOptions();
    char pattern[] = "/tmp/corvan-book-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    pos_ = std::make_unique<Position>();
  }
  void TearDown() override {
    for (const std::string& f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }

  const PositionState& setUp(const char* fen, const char* moves = nullptr) {
    setPosition(*pos_, fen, moves);
    return *pos_->state;
  }
  const PositionState& start(const char* moves = nullptr) { return setUp(START_FEN, moves); }

  std::string path(const std::string& name) {
    files_.push_back(dir_ + "/" + name);
    return files_.back();
  }
  // Writes the entries exactly as given, in this order.
  std::string rawBook(const std::vector<BookEntry>& entries, const std::string& name = "raw.bin") {
    std::string file = path(name);
    EXPECT_TRUE(writeBookFile(file, entries));
    return file;
  }
  // A book made from text lines by the book writer.
  std::string textBook(const std::vector<std::string>& lines, bool inputOrder = false) {
    BookDraft draft;
    std::string error;
    for (const std::string& line : lines) EXPECT_TRUE(addBookLine(draft, line, 0, error)) << line << ": " << error;
    std::string file = path("text.bin");
    EXPECT_TRUE(writeBookFile(file, finishBook(draft, inputOrder)));
    return file;
  }
  std::string uci(const PositionState& st, Move move) {
    char text[6];
    moveToUci(st, move, chess960_, text);
    return text;
  }
  // The book's legal answer as UCI text, "none" when there is none.
  std::string answer(const PositionState& st, const std::string& book, bool random = false) {
    Move move = legalBookMove(st, book.c_str(), random);
    return move == MOVE_NONE ? "none" : uci(st, move);
  }

  std::string dir_;
  std::vector<std::string> files_;
  std::unique_ptr<Position> pos_;
};

// ---- Keys -----------------------------------------------------------------

TEST_F(BookTest, KeysOfPublishedPositions) {
  EXPECT_EQ(polyglotKey(start()), 0x463B96181691FC9CULL);
  EXPECT_EQ(polyglotKey(start("e2e4")), 0x823C9B50FD114196ULL);
  EXPECT_EQ(polyglotKey(start("e2e4 d7d5")), 0x0756B94461C50FB0ULL);
  EXPECT_EQ(polyglotKey(start("e2e4 d7d5 e4e5")), 0x662FAFB965DB29D4ULL);
  // f7f5 beside the e5 pawn: en passant possible, keyed.
  EXPECT_EQ(polyglotKey(start("e2e4 d7d5 e4e5 f7f5")), 0x22A48B5A8E47FF78ULL);
  // Kings walk: castling rights lost one side after the other.
  EXPECT_EQ(polyglotKey(start("e2e4 d7d5 e4e5 f7f5 e1e2")), 0x652A607CA3F242C1ULL);
  EXPECT_EQ(polyglotKey(start("e2e4 d7d5 e4e5 f7f5 e1e2 e8f7")), 0x00FDD303C946BDD9ULL);
  // Black pawn on b4 can take c3 en passant.
  EXPECT_EQ(polyglotKey(start("a2a4 b7b5 h2h4 b5b4 c2c4")), 0x3C8123EA7B067637ULL);
  EXPECT_EQ(polyglotKey(start("a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a3")), 0x5C3F9B829B279560ULL);
}

TEST_F(BookTest, KeyIndependentOfHowThePositionWasReached) {
  uint64_t played = polyglotKey(start("e2e4 d7d5 e4e5 f7f5"));
  EXPECT_EQ(polyglotKey(setUp("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3")), played);
  // The same board without the en-passant chance differs by exactly its file number.
  uint64_t noEp = polyglotKey(setUp("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3"));
  EXPECT_EQ(played ^ noEp, POLYGLOT_RANDOM64[POLYGLOT_EP_INDEX + 5]);
  // A double step with no pawn beside it is not keyed as en passant.
  EXPECT_EQ(polyglotKey(setUp("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1")),
            0x823C9B50FD114196ULL);
  // Rook-file castling letters mean the same rights as KQkq.
  EXPECT_EQ(polyglotKey(setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1")),
            0x463B96181691FC9CULL);
}

TEST_F(BookTest, CastlingRightsKeyedByColourWhoeverMoves) {
  // Each removed right changes the key by that right's own number,
  // white short, white long, black short, black long, whichever side moves.
  const char* reduced[] = {"Qkq", "Kkq", "KQq", "KQk"};
  for (std::string side : {"w", "b"}) {
    std::string board = "r3k2r/8/8/8/8/8/8/R3K2R " + side + " ";
    uint64_t all = polyglotKey(setUp((board + "KQkq - 0 1").c_str()));
    for (int i = 0; i < 4; ++i) {
      std::string fen = board + reduced[i] + " - 0 1";
      EXPECT_EQ(all ^ polyglotKey(setUp(fen.c_str())), POLYGLOT_RANDOM64[POLYGLOT_CASTLE_INDEX + i]) << fen;
    }
  }
}

// ---- Reading books ------------------------------------------------------

TEST_F(BookTest, RealBookAnswersEveryBlackMoveOfItsLine) {
  std::string book = sharedDataPath("lasker-trap.bin");
  if (book.empty()) GTEST_SKIP() << "lasker-trap.bin not present";
  // The book holds black's moves of one trap line; white's positions are absent.
  const char* line[] = {"d2d4", "d7d5", "c2c4", "e7e5", "d4e5", "d5d4", "e2e3",
                        "f8b4", "c1d2", "d4e3", "d2b4", "e3f2", "e1e2", "f2g1n"};
  std::string played;
  for (int ply = 0; ply < 14; ++ply) {
    const PositionState& st = start(played.empty() ? nullptr : played.c_str());
    std::string expected = ply % 2 ? line[ply] : "none";
    EXPECT_EQ(answer(st, book), expected) << "after " << played;
    EXPECT_EQ(answer(st, book, true), expected) << "after " << played;
    if (!played.empty()) played += ' ';
    played += line[ply];
  }
  // The knight promotion arrives as a full generator move word.
  const PositionState& st = start("d2d4 d7d5 c2c4 e7e5 d4e5 d5d4 e2e3 f8b4 c1d2 d4e3 d2b4 e3f2 e1e2");
  Move move = legalBookMove(st, book.c_str(), false);
  EXPECT_EQ(movePromotion(move), KNIGHT);
  EXPECT_TRUE(move & MOVE_PROMOTION);
  EXPECT_TRUE(move & MOVE_CAPTURE);
  EXPECT_TRUE(move & MOVE_CHECK);
}

TEST_F(BookTest, HeaviestEntryFirstInFileOrderAmongEquals) {
  const PositionState& st = start();
  uint64_t key = polyglotKey(st);
  auto entry = [&](const char* text, uint16_t weight) {
    return BookEntry{key, encodeBookMove(st, uciToMove(st, text)), weight, 0};
  };
  EXPECT_EQ(answer(st, rawBook({entry("e2e4", 10), entry("d2d4", 30), entry("g1f3", 30)})), "d2d4");
  EXPECT_EQ(answer(st, rawBook({entry("g1f3", 30), entry("d2d4", 30), entry("e2e4", 10)})), "g1f3");
  // Weight 0 never becomes the best, even when it is the only entry.
  EXPECT_EQ(answer(st, rawBook({entry("e2e4", 0), entry("c2c4", 1)})), "c2c4");
  EXPECT_EQ(answer(st, rawBook({entry("e2e4", 0), entry("c2c4", 0)})), "none");
  EXPECT_EQ(answer(st, rawBook({entry("e2e4", 0), entry("c2c4", 0)}), true), "none");
  // A book weight of 65535 (the largest) still compares as the largest.
  EXPECT_EQ(answer(st, rawBook({entry("e2e4", 65534), entry("c2c4", 65535)})), "c2c4");
}

TEST_F(BookTest, PositionFoundAmongManyOthers) {
  // Neighbours on both sides of the key, so the search must land exactly.
  const PositionState& st = start("e2e4");
  uint64_t key = polyglotKey(st);
  uint16_t move = encodeBookMove(st, uciToMove(st, "c7c5"));
  for (int before : {0, 1, 2, 7, 100}) {
    for (int after : {0, 1, 3, 64}) {
      std::vector<BookEntry> entries;
      for (int i = before; i > 0; --i) entries.push_back({key - uint64_t(i), 0x0F0F, 50, 0});
      entries.push_back({key, move, 1, 0});
      for (int i = 1; i <= after; ++i) entries.push_back({key + uint64_t(i), 0x0F0F, 50, 0});
      EXPECT_EQ(answer(st, rawBook(entries)), "c7c5") << before << " before, " << after << " after";
    }
  }
  // Keys with the top bit set sort above the rest as unsigned numbers.
  std::vector<BookEntry> entries = {{1, 0x0F0F, 1, 0}, {key, move, 1, 0}, {~0ULL, 0x0F0F, 1, 0}};
  EXPECT_EQ(answer(st, rawBook(entries)), "c7c5");
  EXPECT_EQ(answer(start(), rawBook(entries)), "none");
}

TEST_F(BookTest, MoreEntriesThanTheCandidateListIsSafe) {
  const PositionState& st = start();
  uint64_t key = polyglotKey(st);
  std::vector<BookEntry> entries;
  // Many entries for one position, the heaviest far beyond the list's bound.
  for (int i = 0; i < BOOK_MAX_CANDIDATES + 200; ++i) entries.push_back({key, 0x0F0F, 1, 0});
  entries[BOOK_MAX_CANDIDATES + 150].move = encodeBookMove(st, uciToMove(st, "b2b3"));
  entries[BOOK_MAX_CANDIDATES + 150].weight = 9;
  std::string book = rawBook(entries);
  EXPECT_EQ(answer(st, book), "b2b3");
  // The random choice stays on the kept entries, here all the illegal e8h2.
  EXPECT_EQ(answer(st, book, true), "none");

  BookCandidates candidates;
  clearCandidates(candidates);
  for (int i = 0; i < BOOK_MAX_CANDIDATES + 50; ++i) addCandidate(candidates, uint16_t(i), 2);
  EXPECT_EQ(candidates.count, BOOK_MAX_CANDIDATES);
  EXPECT_EQ(candidates.weightSum, 2u * BOOK_MAX_CANDIDATES);
  EXPECT_EQ(pickWeighted(candidates, 2 * BOOK_MAX_CANDIDATES - 1), BOOK_MAX_CANDIDATES - 1);
}

TEST_F(BookTest, WeightedRandomChoice) {
  BookCandidates candidates;
  clearCandidates(candidates);
  EXPECT_EQ(pickWeighted(candidates, 0), -1);
  addCandidate(candidates, 100, 0);
  EXPECT_EQ(pickWeighted(candidates, 7), -1);  // weight sum 0: no choice
  addCandidate(candidates, 101, 1);
  addCandidate(candidates, 102, 3);
  addCandidate(candidates, 103, 0);
  EXPECT_EQ(pickWeighted(candidates, 0), 1);
  for (uint32_t r : {1u, 2u, 3u}) EXPECT_EQ(pickWeighted(candidates, r), 2);
  EXPECT_EQ(pickWeighted(candidates, 4), 1);  // numbers wrap at the weight sum
  EXPECT_EQ(pickWeighted(candidates, 0xFFFFFFFFu), 2);

  // Through the file: zero-weight moves are never drawn.
  const PositionState& st = start();
  uint64_t key = polyglotKey(st);
  std::string book = rawBook({{key, encodeBookMove(st, uciToMove(st, "e2e4")), 0, 0},
                              {key, encodeBookMove(st, uciToMove(st, "d2d4")), 7, 0},
                              {key, encodeBookMove(st, uciToMove(st, "c2c4")), 0, 0}});
  for (int i = 0; i < 5; ++i) EXPECT_EQ(answer(st, book, true), "d2d4");
}

TEST_F(BookTest, UnreadableOrShortFilesGiveNoMove) {
  const PositionState& st = start();
  EXPECT_EQ(answer(st, dir_ + "/missing.bin"), "none");
  EXPECT_EQ(answer(st, ""), "none");
  EXPECT_EQ(answer(st, dir_), "none");  // a directory
  EXPECT_EQ(answer(st, "/dev/zero"), "none");
  std::string fifo = path("fifo.bin");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(answer(st, fifo), "none");  // returns at once instead of waiting for a writer
  EXPECT_EQ(probeBook(st, nullptr, false), MOVE_NONE);

  BookEntry e4{polyglotKey(st), encodeBookMove(st, uciToMove(st, "e2e4")), 5, 0};
  unsigned char bytes[BOOK_ENTRY_SIZE];
  encodeBookEntry(e4, bytes);
  auto writeBytes = [&](const std::string& name, const unsigned char* data, size_t size) {
    std::string file = path(name);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return file;
  };
  EXPECT_EQ(answer(st, writeBytes("empty.bin", bytes, 0)), "none");
  EXPECT_EQ(answer(st, writeBytes("short.bin", bytes, BOOK_ENTRY_SIZE - 1)), "none");
  // A complete entry followed by a partial one: the partial one is ignored,
  // also when it would carry the position's key.
  unsigned char twoEntries[2 * BOOK_ENTRY_SIZE];
  encodeBookEntry({e4.key - 1, 0x0F0F, 1, 0}, twoEntries);
  encodeBookEntry(e4, twoEntries + BOOK_ENTRY_SIZE);
  EXPECT_EQ(answer(st, writeBytes("partial.bin", twoEntries, 2 * BOOK_ENTRY_SIZE - 3)), "none");
  unsigned char entryAndTail[2 * BOOK_ENTRY_SIZE];
  encodeBookEntry(e4, entryAndTail);
  encodeBookEntry(e4, entryAndTail + BOOK_ENTRY_SIZE);
  EXPECT_EQ(answer(st, writeBytes("tail.bin", entryAndTail, BOOK_ENTRY_SIZE + 9)), "e2e4");
}

TEST_F(BookTest, EntriesBigEndianOnDisk) {
  unsigned char bytes[BOOK_ENTRY_SIZE];
  encodeBookEntry({0x0123456789ABCDEFULL, 0x1346, 0x0102, 0xA0B0C0D0}, bytes);
  const unsigned char expected[BOOK_ENTRY_SIZE] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                                   0x13, 0x46, 0x01, 0x02, 0xA0, 0xB0, 0xC0, 0xD0};
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 16), std::vector<unsigned char>(expected, expected + 16));
  BookEntry back = decodeBookEntry(bytes);
  EXPECT_EQ(back.key, 0x0123456789ABCDEFULL);
  EXPECT_EQ(back.move, 0x1346);
  EXPECT_EQ(back.weight, 0x0102);
  EXPECT_EQ(back.learn, 0xA0B0C0D0u);
}

// ---- Decoding moves -----------------------------------------------------

TEST_F(BookTest, CastlingEntriesInBothNotations) {
  const char* fen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
  const PositionState& white = setUp(fen);
  // The book stores castling as the king onto its rook.
  EXPECT_EQ(encodeBookMove(white, uciToMove(white, "e1g1")), (4 << 6) | 7);
  EXPECT_EQ(encodeBookMove(white, uciToMove(white, "e1c1")), (4 << 6) | 0);
  std::string book = textBook({std::string(fen) + " ; e1h1 ; 5", std::string(fen) + " ; e1c1 ; 3",
                               "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1 ; e8a8 ; 4"});
  Move move = legalBookMove(setUp(fen), book.c_str(), false);
  EXPECT_EQ(move & ~MOVE_CHECK, 0x1000C26u);
  chess960_ = false;
  EXPECT_EQ(answer(setUp(fen), book), "e1g1");
  chess960_ = true;
  EXPECT_EQ(answer(setUp(fen), book), "e1h1");

  // Black to move castles queen side.
  const char* blackFen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1";
  chess960_ = false;
  EXPECT_EQ(answer(setUp(blackFen), book), "e8c8");
  chess960_ = true;
  EXPECT_EQ(answer(setUp(blackFen), book), "e8a8");
  EXPECT_TRUE(legalBookMove(setUp(blackFen), book.c_str(), false) & MOVE_CASTLE);
}

TEST_F(BookTest, CastlingNeedsTheRight) {
  // King onto its rook without the right is a capture of an own piece.
  const char* fen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w kq - 0 1";
  const PositionState& st = setUp(fen);
  std::string book = rawBook({{polyglotKey(st), (4 << 6) | 7, 5, 0}});
  EXPECT_EQ(answer(setUp(fen), book), "none");
  EXPECT_EQ(decodeBookMove(setUp(fen), (4 << 6) | 7) & MOVE_CASTLE, 0u);
}

TEST_F(BookTest, Chess960CastlingOntoRookFiles) {
  // King b1, rooks a1 and h1: queen-side castling is the king onto a1.
  const char* fen = "rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R w HAha - 0 1";
  const PositionState& st = setUp(fen);
  Move decoded = decodeBookMove(st, (1 << 6) | 0);
  EXPECT_EQ(decoded, makeMoveWord(KING, 1, 2, NO_PIECE, NO_PIECE, MOVE_CASTLE));
  std::string book = textBook({std::string(fen) + " ; b1a1 ; 2", std::string(fen) + " ; b1h1 ; 1",
                               "rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R b HAha - 0 1 ; b8h8 ; 1"});
  chess960_ = true;
  EXPECT_EQ(answer(setUp(fen), book), "b1a1");
  EXPECT_EQ(answer(setUp("rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R b HAha - 0 1"), book), "b8h8");
  chess960_ = false;
  EXPECT_EQ(answer(setUp(fen), book), "b1c1");
}

TEST_F(BookTest, PromotionsAndBlackMovesDecodeIntoTheMoversView) {
  const char* fen = "1n5k/P7/8/8/8/8/8/K7 w - - 0 1";
  std::string book = textBook({std::string(fen) + " ; a7a8q ; 1", std::string(fen) + " ; a7b8n ; 4",
                               "k7/8/8/8/8/8/7p/K7 b - - 0 1 ; h2h1r ; 1"});
  EXPECT_EQ(answer(setUp(fen), book), "a7b8n");
  Move move = legalBookMove(setUp(fen), book.c_str(), false);
  EXPECT_EQ(movePromotion(move), KNIGHT);
  EXPECT_EQ(moveCaptured(move), KNIGHT);

  const PositionState& black = setUp("k7/8/8/8/8/8/7p/K7 b - - 0 1");
  EXPECT_EQ(answer(black, book), "h2h1r");
  // Black's h2 is the mover's h7 (square 55), h1 the mover's h8 (63).
  Move rook = legalBookMove(black, book.c_str(), false);
  EXPECT_EQ(moveFrom(rook), 55);
  EXPECT_EQ(moveTo(rook), 63);

  // e7e5 for black is the relative move e2 to e4.
  const PositionState& afterE4 = start("e2e4");
  Move e5 = decodeBookMove(afterE4, encodeBookMove(afterE4, uciToMove(afterE4, "e7e5")));
  EXPECT_EQ(moveFrom(e5), 12);
  EXPECT_EQ(moveTo(e5), 28);
}

TEST_F(BookTest, IllegalBookMovesNeverLeave) {
  const PositionState& st = start();
  uint64_t key = polyglotKey(st);
  auto word = [](int from, int to, int promotion = 0) { return uint16_t(promotion << 12 | from << 6 | to); };
  // e2e5 (no such move), a pawn "promoting" on e3, e2e4 with a bad promotion
  // code, a move from an empty square, a bishop through its own pawn.
  for (uint16_t bad : {word(12, 36), word(12, 20, 4), word(12, 28, 6), word(35, 43), word(2, 20)}) {
    std::string book = rawBook({{key, bad, 9, 0}});
    EXPECT_EQ(legalBookMove(st, book.c_str(), false), MOVE_NONE) << std::hex << bad;
    EXPECT_EQ(legalBookMove(st, book.c_str(), true), MOVE_NONE) << std::hex << bad;
  }
  // A king stepping into check is not played either.
  const char* fen = "4k3/8/8/8/8/8/3r4/4K3 w - - 0 1";
  std::string book = rawBook({{polyglotKey(setUp(fen)), word(4, 11), 9, 0}});  // e1d2 takes the rook: legal
  EXPECT_EQ(answer(setUp(fen), book), "e1d2");
  book = rawBook({{polyglotKey(setUp(fen)), word(4, 12), 9, 0}}, "check.bin");  // e1e2: still attacked
  EXPECT_EQ(answer(setUp(fen), book), "none");
}

}  // namespace
