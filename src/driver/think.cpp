#include "driver/think.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "board/makemove.h"
#include "board/movetext.h"
#include "book/polyglot.h"
#include "driver/options.h"
#include "driver/session.h"
#include "eval/wdl.h"
#include "search/memory.h"
#include "search/tt.h"

namespace {

// Centipawns, or moves to mate: "mate n" for a mate given in n moves,
// "mate -n" for one received.
void printScore(int score) {
  if (std::abs(score) >= SCORE_MATE_IN_MAX)
    std::printf("score mate %d ", score > 0 ? (SCORE_INFINITE - score) / 2 : (-SCORE_MATE - score) / 2);
  else
    std::printf("score cp %d ", score);
}

// "wdl W D L" per mille: certain for mates (tablebase wins and losses score
// as mates) and root tablebase draws, else the fitted model's chances.
void printWdl(const SearchReport& r) {
  WdlChances c;
  if (std::abs(r.score) >= SCORE_MATE_IN_MAX)
    c = r.score > 0 ? WdlChances{1000, 0, 0} : WdlChances{0, 0, 1000};
  else if (r.tablebaseResult)
    c = WdlChances{0, 1000, 0};
  else
    c = wdlChances(r.score, wdlMaterial(*r.root->state));
  std::printf("wdl %d %d %d ", c.win, c.draw, c.loss);
}

// Move text of a line of moves from root, played out on a copy of the root
// so that each ply's castling is written for its own position. About 49 KB:
// it lives on the stack of the thread that prints.
struct LineText {
  Position line;
  char uci[8];
  explicit LineText(const Position& root) {
    line.stateStack[0] = *root.state;
    line.state = line.stateStack;
    line.chess960 = root.chess960;
  }
  // The text of move at the current ply; then the move is played.
  const char* next(Move move) {
    moveToUci(*line.state, move, line.chess960, uci);
    if (line.state - line.stateStack < STATE_STACK_SIZE - 1) makeMove(line, move, nullptr);
    return uci;
  }
};

}  // namespace

void printReport(const SearchReport& r) {
  outputLock.lock();
  std::printf("info multipv %d depth %d time %lld nodes %lld nps %lld tbhits %lld ", r.line + 1, r.depth,
              static_cast<long long>(r.elapsedMs), static_cast<long long>(r.nodes),
              static_cast<long long>(r.nodes * 1000 / (r.elapsedMs + 1)), static_cast<long long>(r.tbHits));
  printScore(r.score);
  if (engineOptions.showWdl) printWdl(r);
  std::printf("pv ");
  LineText text(*r.root);
  for (int i = 0; i < r.pvLength; ++i) std::printf("%s ", text.next(r.pv[i]));
  std::printf("\n");
  std::fflush(stdout);
  outputLock.unlock();
}

static void onReport(void*, const SearchReport& report) { printReport(report); }
const SearchListener infoPrinter{onReport, nullptr};

void printSearchEnd(const Position& root, const SearchResult& result, const SearchLimits& limits) {
  if (result.best && result.lines == 1) {
    SearchReport final;
    final.line = 0;
    final.depth = std::min(result.depth + 1, limits.depth);
    final.score = result.score;
    final.tablebaseResult = result.tablebaseResult;
    final.elapsedMs = result.elapsedMs;
    final.nodes = result.nodes;
    final.tbHits = result.tbHits;
    final.root = &root;
    final.pvLength = result.pvLength;
    std::copy(result.pv, result.pv + result.pvLength, final.pv);
    printReport(final);
  }
  outputLock.lock();
  if (!result.best) {
    std::printf("bestmove 0000\n");
  } else {
    LineText text(root);
    std::printf("bestmove %s", text.next(result.best));
    if (result.ponder) std::printf(" ponder %s", text.next(result.ponder));
    std::printf("\n");
  }
  std::fflush(stdout);
  outputLock.unlock();
}

void thinkThread() {
  const ThinkRequest& request = thinkRequest;
  const Position& root = *request.root;

  // 1. Book.
  if (engineOptions.ownBook && currentSearchMode() != MODE_INFINITE) {
    Move book = legalBookMove(*root.state, engineOptions.bookFile, engineOptions.bookRandom);
    if (book) {
      while (currentSearchMode() == MODE_PONDER && !stopRequested()) {
        std::this_thread::yield();
        pollHost();
      }
      char uci[8];
      moveToUci(*root.state, book, root.chess960, uci);
      outputLock.lock();
      std::printf("bestmove %s\n", uci);
      std::fflush(stdout);
      outputLock.unlock();
      commandLock.release();
      return;
    }
  }

  // 2. The search, its last line and the answer.
  const SearchResult result = searchArmed(root, request.limits, request.config, &infoPrinter);
  printSearchEnd(root, result, request.limits);
  commandLock.release();
}

void* thinkThreadRoutine(void*) {
  thinkThread();
  return nullptr;
}
