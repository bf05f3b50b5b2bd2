// Cost of one book lookup in a book of about 93,000 entries: a position in
// the book (binary search plus its entries plus the legal-move match) and
// one absent from it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "book/bookwriter.h"
#include "book/polyglot.h"

namespace {

constexpr int GAMES = 3100;
constexpr int PLIES = 30;

// Random games from the start position make the book; their positions a few
// plies in are the ones the lookups ask for.
struct SyntheticBook {
  std::string path;
  std::vector<PositionState> hits;
  PositionState miss{};
  size_t entries = 0;

  SyntheticBook() {
    initAttacks();
    char name[] = "/tmp/corvan-bench-book-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path = name;
    std::mt19937 random(12345);
    auto pos = std::make_unique<Position>();
    BookDraft draft;
    for (int game = 0; game < GAMES; ++game) {
      setPosition(*pos, START_FEN, nullptr);
      for (int ply = 0; ply < PLIES; ++ply) {
        ScoredMove list[MAX_GENERATED];
        ScoredMove* end = generateLegalMoves(*pos->state, list);
        if (end == list) break;
        Move move = list[random() % (end - list)].move;
        addBookEntry(draft, polyglotKey(*pos->state), encodeBookMove(*pos->state, move), 1 + random() % 100);
        if (ply == 6 && hits.size() < 64) hits.push_back(*pos->state);
        makeMove(*pos, move, nullptr);
      }
      if (game == 0) miss = *pos->state;
    }
    std::vector<BookEntry> book = finishBook(draft, false);
    entries = book.size();
    writeBookFile(path, book);
  }
  ~SyntheticBook() { std::remove(path.c_str()); }
};

SyntheticBook& book() {
  static SyntheticBook instance;
  return instance;
}

void bookHit(benchmark::State& state) {
  SyntheticBook& b = book();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(legalBookMove(b.hits[i++ % b.hits.size()], b.path.c_str(), false));
  state.counters["entries"] = double(b.entries);
}
BENCHMARK(bookHit);

void bookMiss(benchmark::State& state) {
  SyntheticBook& b = book();
  for (auto _ : state) benchmark::DoNotOptimize(legalBookMove(b.miss, b.path.c_str(), false));
}
BENCHMARK(bookMiss);

}  // namespace
