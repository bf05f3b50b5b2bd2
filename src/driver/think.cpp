#include "driver/think.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "board/exchange.h"
#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "book/polyglot.h"
#include "driver/memory.h"
#include "driver/movetext.h"
#include "driver/options.h"
#include "driver/timeman.h"
#include "driver/uci.h"
#include "search/movepick.h"
#include "search/search.h"
#include "search/tt.h"
#include "tablebase/root.h"

int32_t multiPvCount = 1;
int32_t tbProbePieces = 0;
int32_t tbRootScore = TB_SCORE_NONE;
int32_t completedDepth = 0;
SpinLock completedDepthLock;
HelperSnapshot helperSnapshot;

// Root ordering keys for quiet moves the search has already found useful;
// they sort above every history score.
static constexpr int32_t ROOT_KILLER_0_KEY = 163838;
static constexpr int32_t ROOT_KILLER_1_KEY = 163837;
static constexpr int32_t ROOT_COUNTER_KEY = 163836;

ScoredMove* generateRootMoves(SearchThread& thread, ScoredMove* out) {
  const PositionState& st = *thread.position.state;
  ScoredMove scratch[MAX_GENERATED];
  ScoredMove* end;
  const bool inCheck = isInCheck(st);
  if (inCheck) {
    end = generateEvasions(st, scratch, true);
  } else {
    end = generateUnderPromotions(st, scratch);
    end = generateQuiets(st, end, false);
    end = generateCaptures(st, end);
  }

  const int side = isBlackToMove(st) ? 1 : 0;
  const Move counter = thread.counterMoves[side][movePiece(lastMove)][moveFrom(lastMove)][moveTo(lastMove)];
  ScoredMove* kept = scratch;
  for (ScoredMove* m = scratch; m != end; ++m) {
    Move move = m->move;
    // A king capture means the side not to move stands in check: the
    // position is illegal and such a move can never be played.
    if (leavesKingAttacked(st, move) || moveCaptured(move) == KING) continue;
    if ((move & (MOVE_CAPTURE | MOVE_PROMOTION)) || inCheck) setGivesCheck(st, &move);
    int32_t key = m->key;
    if (move & (MOVE_CAPTURE | MOVE_PROMOTION)) {
      if (!((move & MOVE_PROMOTION) && movePromotion(move) != QUEEN)) {
        int exchange = staticExchange(st, move);
        if (exchange < 0) key = losingCaptureKey(exchange, key);
      }
    } else {
      const Move plain = withoutCheck(move);
      const PieceType piece = movePiece(move);
      const Square from = moveFrom(move), to = moveTo(move);
      if (plain == thread.killers[0][0])
        key = ROOT_KILLER_0_KEY;
      else if (plain == thread.killers[0][1])
        key = ROOT_KILLER_1_KEY;
      else if (plain == counter)
        key = ROOT_COUNTER_KEY;
      else
        key += thread.mainHistory[side][piece][from][to] +
               thread.contHist1[side][movePiece(lastMove)][moveTo(lastMove)][piece][to] +
               thread.contHist2[side][movePiece(previousMove)][moveTo(previousMove)][piece][to];
    }
    *kept++ = ScoredMove{key, move};
  }

  // Selection by highest key; among equal keys the entry nearest the end.
  ScoredMove* out0 = out;
  while (kept != scratch) {
    ScoredMove* best = kept - 1;
    for (ScoredMove* m = kept - 2; m >= scratch; --m)
      if (m->key > best->key) best = m;
    std::swap(*best, kept[-1]);
    *out++ = *--kept;
    if (out - out0 == MAX_MOVES) break;
  }
  return out;
}

// Centipawns, or moves to mate: "mate n" for a mate given in n moves,
// "mate -n" for one received.
static int printScore(char* buffer, size_t size, int score) {
  if (std::abs(score) >= SCORE_MATE_IN_MAX)
    return std::snprintf(buffer, size, "score mate %d pv ",
                         score > 0 ? (SCORE_INFINITE - score) / 2 : (-SCORE_MATE - score) / 2);
  return std::snprintf(buffer, size, "score cp %d pv ", score);
}

void printInfoLine(SearchThread& thread, int line, int32_t tbScore, int64_t elapsedMs, int64_t nodes,
                   int64_t tbHits, int depth) {
  outputLock.lock();
  std::printf("info multipv %d depth %d time %lld nodes %lld nps %lld tbhits %lld ", line + 1, depth,
              static_cast<long long>(elapsedMs), static_cast<long long>(nodes),
              static_cast<long long>(nodes * 1000 / (elapsedMs + 1)), static_cast<long long>(tbHits));
  int score = thread.rootScores[line];
  if (tbScore != TB_SCORE_NONE && std::abs(score) < SCORE_MATE_IN_MAX) score = tbScore;
  char text[64];
  printScore(text, sizeof text, score);
  std::fputs(text, stdout);

  // The principal variation: the root move, then exact hash entries, up to
  // a repetition, the end of what the table knows, or the room left on the
  // state stack.
  Position& pos = thread.position;
  PositionState* const saved = pos.state;
  Move move = thread.rootMoves[line].move;
  char uci[8];
  for (int plies = 0;; ++plies) {
    moveToUci(*pos.state, move, uci);
    std::printf("%s ", uci);
    makeMove(pos, move, nullptr);
    if (plies + 1 >= MAX_PLY || pos.state - pos.stateStack >= STATE_STACK_SIZE - 1) break;
    if (pos.state->flags & FLAG_REPETITION) break;
    TTHit hit;
    if (!ttProbe(pos.state->key, 0, hit) || hit.bound != BOUND_EXACT || !hit.move) break;
    move = validateTTMove(*pos.state, hit.move);
    if (!move || moveCaptured(move) == KING) break;
  }
  pos.state = saved;
  std::printf("\n");
  std::fflush(stdout);
  outputLock.unlock();
}

// Root tablebase probe on thread 0's root: scores the root moves by their
// distance to zeroing and keeps those that hold the result.
static int32_t probeRootTables(SearchThread& main) {
  return probeRoot(main.position, main.rootMoves, &main.rootEnd, engineOptions.syzygy50MoveRule);
}

static void printBestMove(SearchThread& chosen) {
  Position& pos = chosen.position;
  const Move best = chosen.rootMoves[0].move;
  char uci[8];
  outputLock.lock();
  moveToUci(*pos.state, best, uci);
  std::printf("bestmove %s", uci);
  makeMove(pos, best, nullptr);
  TTHit hit;
  if (ttProbe(pos.state->key, 0, hit) && hit.move) {
    Move ponder = validateTTMove(*pos.state, hit.move);
    if (ponder && moveCaptured(ponder) != KING) {
      moveToUci(*pos.state, ponder, uci);
      std::printf(" ponder %s", uci);
    }
  }
  takeBack(pos);
  std::printf("\n");
  std::fflush(stdout);
  outputLock.unlock();
}

SearchThread& searchPosition() {
  SearchThread& main = searchThreads[0];
  const PositionState& root = *main.position.state;
  const int rootCount = int(main.rootEnd - main.rootMoves);

  // 2-4. Clock and counters.
  startTime = nowMs();
  for (int i = 0; i < threadCount; ++i) {
    searchThreads[i].progress.store(0, std::memory_order_relaxed);
    searchThreads[i].nodes.store(0, std::memory_order_relaxed);
    searchThreads[i].tbHits.store(0, std::memory_order_relaxed);
  }
  tbRootScore = TB_SCORE_NONE;
  tbProbePieces = std::min(engineOptions.syzygyProbeLimit, tbMaxPieces);

  // 5. Root tablebase probe.
  if (tbProbePieces >= popcount(root.pieces[ALL_PIECES]) && root.castleFiles == NO_CASTLING) {
    main.tbHits.store(rootCount, std::memory_order_relaxed);
    tbRootScore = probeRootTables(main);
    if (tbRootScore == TB_SCORE_NONE)
      main.tbHits.store(0, std::memory_order_relaxed);
    else
      tbProbePieces = 0;
  }

  // 6. The hash move first.
  TTHit hit;
  if (ttProbe(root.key, 0, hit) && hit.move) {
    const Move hashMove = validateTTMove(root, hit.move);
    for (ScoredMove* m = main.rootMoves; hashMove && m != main.rootEnd; ++m)
      if (withoutCheck(m->move) == withoutCheck(hashMove)) {
        std::rotate(main.rootMoves, m, m + 1);
        break;
      }
  }

  // 7. The root for the helper threads.
  if (threadCount >= 2) {
    const ptrdiff_t states = main.position.state - main.position.stateStack;
    std::copy(main.position.stateStack, main.position.state + 1, helperSnapshot.stateStack);
    helperSnapshot.state = helperSnapshot.stateStack + states;
    std::copy(main.rootMoves, main.rootEnd, helperSnapshot.rootMoves);
    helperSnapshot.rootEnd = helperSnapshot.rootMoves + (main.rootEnd - main.rootMoves);
  }

  // 8. Deadlines, table generation, shared iteration state.
  computeDeadlines(int32_t(main.rootEnd - main.rootMoves));
  advanceTTGeneration();
  completedDepth = 0;
  completedDepthLock.unlock();
  multiPvCount = std::min(int32_t(main.rootEnd - main.rootMoves), std::max(engineOptions.multiPv, 1));

  // 9-10. The search.
  for (int i = 1; i < threadCount; ++i)
    searchThreads[i].handle = startThread(helperSearchThread, &searchThreads[i]);
  iterativeDeepening(main);

  // 11. A ponder or infinite search that ends early keeps its answer back.
  while (currentSearchMode() != MODE_NORMAL && !stopRequested()) std::this_thread::yield();

  // 12. End every helper.
  requestStop();
  for (int i = 1; i < threadCount; ++i) joinThread(searchThreads[i].handle);

  // 13. The thread with the greatest progress reports.
  SearchThread* chosen = &main;
  for (int i = 1; i < threadCount; ++i)
    if (int32_t(searchThreads[i].progress.load(std::memory_order_relaxed)) >
        int32_t(chosen->progress.load(std::memory_order_relaxed)))
      chosen = &searchThreads[i];

  return *chosen;
}

void thinkThread() {
  SearchThread& main = searchThreads[0];
  const PositionState& root = *main.position.state;
  const int rootCount = int(main.rootEnd - main.rootMoves);
  if (rootCount <= 0) {
    outputLock.lock();
    std::printf("bestmove 0000\n");
    std::fflush(stdout);
    outputLock.unlock();
    commandLock.release();
    return;
  }

  // 1. Book.
  if (engineOptions.ownBook && currentSearchMode() != MODE_INFINITE) {
    Move book = legalBookMove(root, engineOptions.bookFile, engineOptions.bookRandom);
    if (book) {
      while (currentSearchMode() == MODE_PONDER && !stopRequested()) std::this_thread::yield();
      char uci[8];
      moveToUci(root, book, uci);
      outputLock.lock();
      std::printf("bestmove %s\n", uci);
      std::fflush(stdout);
      outputLock.unlock();
      commandLock.release();
      return;
    }
  }

  SearchThread* chosen = &searchPosition();

  // 14. Final info line.
  if (multiPvCount == 1) {
    int64_t nodes = 0, hits = 0;
    for (int i = 0; i < threadCount; ++i) {
      nodes += searchThreads[i].nodes.load(std::memory_order_relaxed);
      hits += searchThreads[i].tbHits.load(std::memory_order_relaxed);
    }
    const int depth = completedDepth < searchLimits.depthLimit ? completedDepth + 1 : searchLimits.depthLimit;
    printInfoLine(*chosen, 0, tbRootScore, nowMs() - startTime, nodes, hits, depth);
  }

  // 15-16. The answer.
  printBestMove(*chosen);
  commandLock.release();
}

void* thinkThreadRoutine(void*) {
  thinkThread();
  return nullptr;
}
