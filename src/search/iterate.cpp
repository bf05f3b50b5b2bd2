// Iterative deepening over the root moves, the body of every search thread:
// one iteration per depth with an aspiration window around the last score,
// MultiPV, root reductions, and the hand-over of finished depths between
// threads through completedDepth.
#include <algorithm>
#include <cstring>

#include "board/makemove.h"
#include "eval/nnue.h"
#include "search/draw.h"
#include "search/memory.h"
#include "search/movepick.h"
#include "search/nodeutil.h"
#include "search/reduction.h"
#include "search/shared.h"
#include "search/tune.h"
#include "search/search.h"
#include "search/timeman.h"
#include "search/tt.h"

// Aspiration: the first window is this wide on each side of the last score
// and grows by three quarters after every failure.
static constexpr int ASPIRATION_MIN_DEPTH = 4;
static constexpr int ASPIRATION_FULL_DELTA = 65533;

static inline uint32_t progressWord(int depth, int score, int finished) {
  return uint32_t(depth) << 24 | uint32_t(score + SCORE_INFINITE) << 8 | uint32_t(finished);
}

// Searches every root move once with the window (alpha, beta), keeping the
// root list ordered: a move that raises alpha moves up in front of every
// move it beats. Returns early on a fail high.
static void searchRoot(SearchThread& t, int depth, int alpha, int beta) {
  Position& pos = t.position;
  const PositionState& root = *pos.state;
  const bool inCheck = isInCheck(root);
  const int side = isBlackToMove(root) ? 1 : 0;
  const Move lastMove = pos.lastMove;
  const Move counter = t.counterMoves[side][movePiece(lastMove)][moveFrom(lastMove)][moveTo(lastMove)];
  const int count = int(t.rootEnd - t.rootMoves);
  const int reductionDepth = std::min(depth, REDUCTION_SIZE - 1);

  for (int i = 0; i < count; ++i) {
    const ScoredMove entry = t.rootMoves[i];
    const Move move = entry.move;
    const int32_t key = entry.key;
    const bool underPromotion = (move & MOVE_PROMOTION) && movePromotion(move) != QUEEN;
    const int newDepth = depth - 1 + ((move & MOVE_CHECK) && !underPromotion ? 1 : 0);

    makeMove(pos, move, &t.nnue[0].delta);
    t.evalStack[1] = EVAL_NONE;
    t.nnue[1].computed = 0;
    int score;
    if (i < multiPvCount) {
      score = -searchNode(t, NODE_PV, 1, newDepth, -beta, -alpha, MOVE_NONE, move, lastMove);
    } else {
      const bool losing = key < PICK_LOSING_LIMIT;
      const Move plain = withoutCheck(move);
      int r = 0;
      if (depth >= REDUCE_MIN_DEPTH && !inCheck && !(!losing && (move & TACTICAL_FLAGS)) &&
          plain != t.killers[0][0] && plain != t.killers[0][1] && plain != counter)
        r = lateMoveReduction(reductionTable[REDUCTION_PV][reductionDepth][std::min(i, REDUCTION_SIZE - 2) + 1],
                              losing);
      score = -searchNode(t, NODE_CUT, 1, newDepth - r, -alpha - 1, -alpha, MOVE_NONE, move, lastMove);
      if (r > 0 && newDepth >= 1 && score > alpha)
        score = -searchNode(t, NODE_CUT, 1, newDepth, -alpha - 1, -alpha, MOVE_NONE, move, lastMove);
      if (alpha < score && score < beta)
        score = -searchNode(t, NODE_PV, 1, newDepth, -beta, -alpha, MOVE_NONE, move, lastMove);
    }
    t.rootScores[i] = score;
    takeBack(pos);

    if (score > alpha) {
      int j = 0;
      while (j < i && t.rootScores[j] >= score) ++j;
      std::memmove(&t.rootMoves[j + 1], &t.rootMoves[j], sizeof(ScoredMove) * (i - j));
      std::memmove(&t.rootScores[j + 1], &t.rootScores[j], sizeof(int32_t) * (i - j));
      t.rootMoves[j] = entry;
      t.rootScores[j] = score;
    }
    t.progress.store(progressWord(depth, t.rootScores[0], i + 1), std::memory_order_relaxed);
    if (score >= beta) return;
    if (i >= multiPvCount - 1) alpha = t.rootScores[multiPvCount - 1];
  }
}

// One thread's copy of the root that thread 0 prepared.
static void copyHelperSnapshot(SearchThread& t) {
  const HelperSnapshot& s = helperSnapshot;
  const ptrdiff_t states = s.state - s.stateStack;
  std::memcpy(t.position.stateStack, s.stateStack, sizeof(PositionState) * (states + 1));
  t.position.state = t.position.stateStack + states;
  const ptrdiff_t moves = s.rootEnd - s.rootMoves;
  std::memcpy(t.rootMoves, s.rootMoves, sizeof(ScoredMove) * moves);
  t.rootEnd = t.rootMoves + moves;
  t.position.lastMove = s.lastMove;
  t.position.previousMove = s.previousMove;
  t.position.chess960 = s.chess960;
}

// "go mate N": a score that mates in N moves or fewer (2N - 1 plies) ends
// the search.
static bool mateFound(int score) { return mateLimit > 0 && SCORE_MATE - score <= 2 * mateLimit - 1; }

// A weakened engine's node budget is spent (counted over all threads).
static bool softNodeLimitPassed() {
  if (softNodeLimit == NO_NODE_LIMIT) return false;
  int64_t nodes, tbHits;
  countSearchNodes(nodes, tbHits);
  return nodes >= softNodeLimit;
}

// Records a finished iteration unless another thread already finished this
// depth; reports its lines and applies the soft deadline. Returns the depth
// to search next.
static int completeIteration(SearchThread& t, int depth) {
  completedDepthLock.lock();
  if (depth > completedDepth) {
    completedDepth = depth;
    ttStoreRoot(t.position.state->key, depth, t.rootMoves[0].move, t.rootScores[0], t.evalStack[0]);
    reportIteration(t, depth);
    if (softDeadlinePassed() || mateFound(t.rootScores[0]) || softNodeLimitPassed()) requestStop();
  }
  const int next = completedDepth + 1;
  completedDepthLock.unlock();
  return next;
}

// The iterations themselves; left only by the depth limit, stopFlag between
// iterations, or the abort jump.
static void runIterations(SearchThread& t) {
  t.nnue[0].computed = 0;
  t.evalStack[0] = isInCheck(*t.position.state) ? EVAL_NONE : evaluate(*t.position.state, t.nnue, 0, t.position.chess960);
  ageSearchTables(t);
  t.rootScores[0] = 0;

  int depth = 1;
  for (;;) {
    int alpha = -SCORE_INFINITE, beta = SCORE_INFINITE;
    int delta = ASPIRATION_DELTA;
    if (depth >= ASPIRATION_MIN_DEPTH && multiPvCount == 1) {
      const int previous = t.rootScores[0];
      alpha = previous < -(SCORE_INFINITE - ASPIRATION_DELTA) ? -SCORE_INFINITE : previous - ASPIRATION_DELTA;
      beta = previous > SCORE_INFINITE - ASPIRATION_DELTA ? SCORE_INFINITE : previous + ASPIRATION_DELTA;
    }
    for (;;) {
      searchRoot(t, depth, alpha, beta);
      const int best = t.rootScores[0];
      if (alpha < best && best < beta) break;
      // A full window cannot fail; this only guards against a score at the
      // very edge of the range.
      if (alpha == -SCORE_INFINITE && beta == SCORE_INFINITE) break;
      t.progress.store(progressWord(depth, best, 0), std::memory_order_relaxed);
      if (delta > ASPIRATION_FULL_DELTA) {
        alpha = -SCORE_INFINITE;
        beta = SCORE_INFINITE;
      } else if (best <= alpha) {
        beta = (alpha + beta) / 2;
        alpha = best - delta < -SCORE_MATE ? -SCORE_INFINITE : best - delta;
      } else {
        beta = std::min(best + delta, SCORE_INFINITE);
      }
      delta += (6 * delta) >> 3;
    }

    if (activeConfig.strength != FULL_STRENGTH) strengthWait(depth);
    depth = completeIteration(t, depth);
    if (depth > depthLimit || stopRequested()) break;
  }
}


void iterativeDeepening(SearchThread& t) {
  if (&t != searchThreads) copyHelperSnapshot(t);
  PositionState* volatile root = t.position.state;
  if (setjmp(t.searchAbortJump)) {
    t.position.state = root;
    return;
  }
  runIterations(t);
}

void* helperSearchThread(void* thread) {
  iterativeDeepening(*static_cast<SearchThread*>(thread));
  return nullptr;
}
