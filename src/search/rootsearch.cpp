#include "search/rootsearch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "board/exchange.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "search/memory.h"
#include "search/movepick.h"
#include "search/search.h"
#include "search/shared.h"
#include "search/skill.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/registry.h"
#include "tablebase/root.h"

namespace {

// Root ordering keys for quiet moves the search has already found useful;
// they sort above every history score.
constexpr int32_t ROOT_KILLER_0_KEY = 163838;
constexpr int32_t ROOT_KILLER_1_KEY = 163837;
constexpr int32_t ROOT_COUNTER_KEY = 163836;

// The hash table's reply to the best move, when it holds a legal one.
Move ponderMove(Position& pos, Move best) {
  makeMove(pos, best, nullptr);
  Move ponder = MOVE_NONE;
  TTHit hit;
  if (ttProbe(pos.state->key, 0, hit) && hit.move) {
    ponder = validateTTMove(*pos.state, hit.move);
    if (ponder && moveCaptured(ponder) == KING) ponder = MOVE_NONE;
  }
  takeBack(pos);
  return ponder;
}

// Thread 0's root as the caller gave it: the state stack up to the current
// record and the game's history.
void copyRoot(SearchThread& main, const Position& root) {
  const ptrdiff_t states = root.state - root.stateStack;
  std::memcpy(main.position.stateStack, root.stateStack, sizeof(PositionState) * (states + 1));
  main.position.state = main.position.stateStack + states;
  main.position.lastMove = root.lastMove;
  main.position.previousMove = root.previousMove;
  main.position.chess960 = root.chess960;
}

// Keeps the root moves that the limits' search moves name, in their order.
void restrictRoot(SearchThread& main, const SearchLimits& limits) {
  if (limits.searchMoveCount <= 0) return;
  ScoredMove* kept = main.rootMoves;
  for (ScoredMove* m = main.rootMoves; m != main.rootEnd; ++m)
    for (int i = 0; i < limits.searchMoveCount; ++i)
      if (withoutCheck(m->move) == withoutCheck(limits.searchMoves[i])) {
        *kept++ = *m;
        break;
      }
  main.rootEnd = kept;
}

}  // namespace

ScoredMove* generateRootMoves(SearchThread& thread, ScoredMove* out) {
  const Position& pos = thread.position;
  const PositionState& st = *pos.state;
  const Move lastMove = pos.lastMove, previousMove = pos.previousMove;
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

void armSearch(const SearchLimits& limits, const SearchConfig& config) {
  searchSignals.mode.store(limits.infinite ? MODE_INFINITE : limits.ponder ? MODE_PONDER : MODE_NORMAL,
                           std::memory_order_relaxed);
  searchSignals.stop.store(0, std::memory_order_relaxed);
  activeConfig = config;
}

SearchResult searchPosition(const Position& root, const SearchLimits& limits, const SearchConfig& config,
                            const SearchListener* listener) {
  armSearch(limits, config);
  return searchArmed(root, limits, config, listener);
}

SearchResult searchArmed(const Position& root, const SearchLimits& limits, const SearchConfig& config,
                         const SearchListener* listener) {
  SearchResult result;
  SearchThread& main = searchThreads[0];
  activeConfig = config;
  copyRoot(main, root);

  // 1. The root moves.
  main.rootEnd = generateRootMoves(main, main.rootMoves);
  restrictRoot(main, limits);
  const int rootCount = int(main.rootEnd - main.rootMoves);
  if (rootCount <= 0) return result;
  const PositionState& st = *main.position.state;

  // 2-4. Clock and counters.
  startTime = nowMs();
  for (int i = 0; i < threadCount; ++i) {
    searchThreads[i].progress.store(0, std::memory_order_relaxed);
    searchThreads[i].nodes.store(0, std::memory_order_relaxed);
    searchThreads[i].tbHits.store(0, std::memory_order_relaxed);
  }
  tbRootScore = TB_SCORE_NONE;
  tbProbePieces = std::min(config.syzygyProbeLimit, tablebaseMaxPieces());

  // 5. Root tablebase probe: scores the root moves by their distance to
  // zeroing and keeps those that hold the result.
  if (tbProbePieces >= popcount(st.pieces[ALL_PIECES]) && st.castleFiles == NO_CASTLING) {
    main.tbHits.store(rootCount, std::memory_order_relaxed);
    tbRootScore = probeRoot(main.position, main.rootMoves, &main.rootEnd, config.syzygy50MoveRule);
    if (tbRootScore == TB_SCORE_NONE)
      main.tbHits.store(0, std::memory_order_relaxed);
    else
      tbProbePieces = 0;
  }

  // 6. The hash move first.
  TTHit hit;
  if (ttProbe(st.key, 0, hit) && hit.move) {
    const Move hashMove = validateTTMove(st, hit.move);
    for (ScoredMove* m = main.rootMoves; hashMove && m != main.rootEnd; ++m)
      if (withoutCheck(m->move) == withoutCheck(hashMove)) {
        std::rotate(main.rootMoves, m, m + 1);
        break;
      }
  }

  // 7. The root for the helper threads.
  if (threadCount >= 2) {
    Position& pos = main.position;
    const ptrdiff_t states = pos.state - pos.stateStack;
    std::copy(pos.stateStack, pos.state + 1, helperSnapshot.stateStack);
    helperSnapshot.state = helperSnapshot.stateStack + states;
    helperSnapshot.lastMove = pos.lastMove;
    helperSnapshot.previousMove = pos.previousMove;
    helperSnapshot.chess960 = pos.chess960;
    std::copy(main.rootMoves, main.rootEnd, helperSnapshot.rootMoves);
    helperSnapshot.rootEnd = helperSnapshot.rootMoves + (main.rootEnd - main.rootMoves);
  }

  // 8. Deadlines, table generation, shared iteration state.
  computeDeadlines(limits, config, int32_t(main.rootEnd - main.rootMoves));
  advanceTTGeneration();
  completedDepth = 0;
  completedDepthLock.unlock();
  // A weakened engine chooses among several lines but reports those asked.
  const int32_t linesWanted = std::max(config.multiPv, 1);
  const int temperature = skillTemperature(config.eloLimit);
  multiPvCount = std::min(int32_t(main.rootEnd - main.rootMoves), std::max(linesWanted, temperature ? SKILL_LINES : 1));
  reportedLineCount = std::min(multiPvCount, linesWanted);
  activeListener = listener;
  finishedMove = MOVE_NONE;
  finishedScore = 0;

  // 9-10. The search.
  for (int i = 1; i < threadCount; ++i)
    searchThreads[i].handle = startThread(helperSearchThread, &searchThreads[i]);
  iterativeDeepening(main);

  // 11. A ponder or infinite search that ends early keeps its answer back.
  while (currentSearchMode() != MODE_NORMAL && !stopRequested()) {
    std::this_thread::yield();
    pollHost();
  }

  // 12. End every helper.
  requestStop();
  for (int i = 1; i < threadCount; ++i) joinThread(searchThreads[i].handle);
  activeListener = nullptr;

  // 13. The thread with the greatest progress reports.
  SearchThread* chosen = &main;
  for (int i = 1; i < threadCount; ++i)
    if (int32_t(searchThreads[i].progress.load(std::memory_order_relaxed)) >
        int32_t(chosen->progress.load(std::memory_order_relaxed)))
      chosen = &searchThreads[i];

  // 14. The result: the best line, or a weakened engine's pick.
  const int pick = temperature ? pickSkillLine(chosen->rootScores, multiPvCount, temperature, skillRandom()) : 0;
  result.best = chosen->rootMoves[pick].move;
  result.score = reportedScore(chosen->rootScores[pick]);
  result.tablebaseResult = isTablebaseResult(result.score);
  result.depth = completedDepth;
  result.lines = reportedLineCount;
  countSearchNodes(result.nodes, result.tbHits);
  result.elapsedMs = nowMs() - startTime;
  result.iterationMove = finishedMove ? finishedMove : result.best;
  result.iterationScore = finishedMove ? finishedScore : chosen->rootScores[0];
  result.bound = result.best == result.iterationMove && chosen->rootScores[0] == result.iterationScore
                     ? BOUND_EXACT
                     : chosen->rootScores[0] > result.iterationScore ? BOUND_LOWER : BOUND_UPPER;
  result.pvLength = principalVariation(chosen->position, result.best, result.pv);
  result.ponder = ponderMove(chosen->position, result.best);
  return result;
}
