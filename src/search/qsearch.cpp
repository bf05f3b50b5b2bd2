// The quiescence search: below the main search's horizon only captures,
// queen promotions and (on its first ply) quiet checks are tried, every
// evasion when in check; otherwise the side to move may stand pat on its
// static evaluation (moved by the correction history).
#include <algorithm>
#include <cstdlib>

#include "board/exchange.h"
#include "board/makemove.h"
#include "board/material.h"
#include "board/movegen.h"
#include "search/shared.h"
#include "search/timeman.h"
#include "eval/accumulator.h"
#include "eval/nnue.h"
#include "search/correction.h"
#include "search/draw.h"
#include "search/nodeutil.h"
#include "search/search.h"
#include "search/selection.h"
#include "search/tbsearch.h"
#include "search/tt.h"

// Below this quiescence depth a quiet position returns its evaluation at
// once: it bounds long chains of checks and recaptures.
static constexpr int QS_DEPTH_FLOOR = -17;
// How much a capture of each piece type may still raise a hopeless score;
// captures that cannot reach alpha even with it are not searched.
static constexpr int qsFutilityMargin[8] = {0, 164, 393, 420, 572, 1061, 0, 0};
static constexpr int32_t GOOD_CAPTURE_KEY = 0x7fffff00;

// Moves of one quiescence node, handed out best first in stages.
struct QsPicker {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* begin;
  ScoredMove* end;
  int stage;
};

enum QsStage { QS_HASH_MOVE, QS_GENERATE, QS_CAPTURES, QS_SCORE_REST, QS_REST, QS_DONE };

// Highest key of [begin, end), the entry nearest the end among equal keys;
// moved to end - 1.
static inline ScoredMove* selectBest(ScoredMove* begin, ScoredMove* end) {
  std::swap(begin[bestEntryIndex(begin, int(end - begin))], end[-1]);
  return end - 1;
}

static Move nextQsMove(QsPicker& p, SearchThread& t, const PositionState& st, Move hashMove, int qDepth,
                       Move prevMove, Move prevPrevMove, bool* isHashMove) {
  *isHashMove = false;
  switch (p.stage) {
    case QS_HASH_MOVE:
      p.stage = QS_GENERATE;
      if (hashMove) {
        *isHashMove = true;
        return hashMove;
      }
      [[fallthrough]];
    case QS_GENERATE:
      p.begin = p.list;
      p.end = isInCheck(st) ? generateEvasions(st, p.list, false) : generateCaptures(st, p.list);
      p.stage = QS_CAPTURES;
      [[fallthrough]];
    case QS_CAPTURES:
      while (p.end != p.begin) {
        ScoredMove* best = selectBest(p.begin, p.end);
        if (best->key < GOOD_CAPTURE_KEY) break;
        --p.end;
        Move m = best->move;
        if (withoutCheck(m) == withoutCheck(hashMove)) continue;
        if (leavesKingAttacked(st, m)) continue;
        setGivesCheck(st, &m);
        return m;
      }
      p.stage = QS_SCORE_REST;
      [[fallthrough]];
    case QS_SCORE_REST: {
      if (!isInCheck(st) && qDepth == 0) p.end = generateQuiets(st, p.end, true);
      int side = sideIndex(st);
      PieceType p1 = movePiece(prevMove), p2 = movePiece(prevPrevMove);
      Square to1 = moveTo(prevMove), to2 = moveTo(prevPrevMove);
      for (ScoredMove* m = p.begin; m != p.end; ++m) {
        PieceType piece = movePiece(m->move);
        Square from = moveFrom(m->move), to = moveTo(m->move);
        int history = t.mainHistory[side][piece][from][to] +
                      2 * (t.contHist1[side][p1][to1][piece][to] + t.contHist2[side][p2][to2][piece][to]);
        m->key = int32_t(uint32_t(m->key) + uint32_t(history));
      }
      p.stage = QS_REST;
    }
      [[fallthrough]];
    case QS_REST:
      while (p.end != p.begin) {
        ScoredMove* best = selectBest(p.begin, p.end);
        --p.end;
        Move m = best->move;
        if (withoutCheck(m) == withoutCheck(hashMove)) continue;
        if (leavesKingAttacked(st, m)) continue;
        if (isInCheck(st)) setGivesCheck(st, &m);
        return m;
      }
      p.stage = QS_DONE;
      [[fallthrough]];
    default:
      return MOVE_NONE;
  }
}

int quiescence(SearchThread& t, int nodeKind, int ply, int qDepth, int alpha, int beta, Move prevMove,
               Move prevPrevMove) {
  pollClock(t);

  Position& pos = t.position;
  const PositionState& st = *pos.state;
  const bool inCheck = isInCheck(st);

  if (st.flags & FLAG_REPETITION) return drawScoreAt(ply);
  if (st.rule50 >= 100) {
    if (!inCheck || hasLegalEvasion(st)) return drawScoreAt(ply);
    return ply - SCORE_MATE;
  }
  if (insufficientMaterial(st)) return drawScoreAt(ply);
  if ((qDepth <= QS_DEPTH_FLOOR && !inCheck) || ply >= SEARCH_PLY_LIMIT) return evaluate(st, t.nnue, ply, t.position.chess960);

  // The accumulators are brought up to date while the hash slot (prefetched
  // by the parent) is still on its way from memory.
  if (!t.nnue[ply].computed) computeAccumulators(st, t.nnue, ply);

  // Hash table. Quiet nodes below the first quiescence ply store depth -1,
  // so that they are not taken for the checks-including first ply.
  const uint64_t key = st.key;
  const int storeDepth = (qDepth != 0 && !inCheck) ? -1 : 0;
  int staticEval;
  Move hashMove = MOVE_NONE;
  TTHit hit;
  if (ttProbe(key, ply, hit)) {
    if (hit.depth >= storeDepth) {
      if (hit.bound == BOUND_EXACT) return hit.score;
      if (hit.bound == BOUND_LOWER && hit.score >= beta) return hit.score;
      if (hit.bound == BOUND_UPPER && hit.score <= alpha) return hit.score;
    }
    t.evalStack[ply] = hit.eval;
    if (!inCheck && hit.bound != BOUND_EXACT) {
      staticEval = correctedEval(t, st, hit.eval);
      if ((hit.bound == BOUND_LOWER && hit.score > staticEval) || (hit.bound == BOUND_UPPER && hit.score < staticEval))
        staticEval = hit.score;
    } else {
      staticEval = hit.score;
    }
    if (hit.move) hashMove = validateTTMove(st, hit.move);
  } else {
    staticEval = inCheck ? t.evalStack[ply] : correctedEval(t, st, t.evalStack[ply]);
  }

  // Tablebases, right after an irreversible move. Nothing is stored.
  if (tablebaseProbeAllowed(st)) {
    int tbScore;
    uint32_t tbBound;
    if (tablebaseScore(t, ply, &tbScore, &tbBound) &&
        (tbBound == BOUND_EXACT || (tbBound == BOUND_LOWER ? tbScore >= beta : tbScore <= alpha)))
      return tbScore;
  }

  // Stand pat: outside check the side to move need not capture at all.
  int bestScore;
  bool raised = false;
  Move bestMove = MOVE_NONE;
  // Every way out after the stand-pat decision stores the node's result.
  const auto storeResult = [&] {
    ttStoreQuiescence(key, storeDepth, ttBoundFor(raised, alpha, beta), bestMove ? bestMove : hashMove, bestScore,
                      t.evalStack[ply], ply);
    return bestScore;
  };
  if (inCheck) {
    bestScore = -SCORE_INFINITE;
  } else {
    if (t.evalStack[ply] == EVAL_NONE) {
      t.evalStack[ply] = evaluate(st, t.nnue, ply, t.position.chess960);
      staticEval = correctedEval(t, st, t.evalStack[ply]);
    }
    bestScore = staticEval;
    if (staticEval > alpha) {
      alpha = staticEval;
      raised = true;
      if (alpha >= beta) return storeResult();
    }
  }

  const int childKind = nodeKind == NODE_PV ? NODE_PV : nodeKind ^ NODE_CUT;
  QsPicker picker;
  picker.stage = QS_HASH_MOVE;
  int moveCount = 0;
  bool isHashMove;
  while (Move move = nextQsMove(picker, t, st, hashMove, qDepth, prevMove, prevPrevMove, &isHashMove)) {
    ++moveCount;
    // Taking the king: the opponent's last move left it in check (possible
    // only after a null move in a discovered check the generator did not
    // flag). The line was illegal, so it counts as won here.
    if (moveCaptured(move) == KING) return SCORE_MATE - ply;
    const int moving = seeValue[movePiece(move)];
    const int captured = seeValue[moveCaptured(move)];
    if (inCheck) {
      if (bestScore > -SCORE_MATE_IN_MAX && moving > captured && staticExchange(st, move) < 0) continue;
    } else {
      const bool givesCheck = move & MOVE_CHECK;
      const bool plainCapture = (move & MOVE_CAPTURE) && !(move & MOVE_PROMOTION) && !givesCheck;
      // Futility: even winning the captured piece cannot lift the score to alpha.
      if (plainCapture && !isHashMove && nodeKind != NODE_PV && std::abs(alpha) < SCORE_MATE_IN_MAX &&
          std::abs(staticEval) < SCORE_MATE_IN_MAX && qsFutilityMargin[moveCaptured(move)] + staticEval < alpha)
        continue;
      // Exchange test: checks must not lose material, and plain captures must
      // win some (an even trade only burns a ply).
      int exchange = 0;
      bool exchangeKnown = false;
      if (givesCheck && moving > captured) {
        exchange = staticExchange(st, move);
        exchangeKnown = true;
        if (exchange < 0) continue;
      }
      if (plainCapture && moving >= captured) {
        if (!exchangeKnown) exchange = staticExchange(st, move);
        if (exchange <= 0) continue;
      }
    }

    makeMove(pos, move, &t.nnue[ply].delta);
    prefetchTT(pos.state->key);
    t.evalStack[ply + 1] = EVAL_NONE;
    t.nnue[ply + 1].computed = 0;
    int score = -quiescence(t, childKind, ply + 1, qDepth - 1, -beta, -alpha, move, prevMove);
    takeBack(pos);

    if (score > bestScore) bestScore = score;
    if (score > alpha) {
      alpha = score;
      bestMove = move;
      raised = true;
      if (alpha >= beta) return storeResult();
    }
  }

  if (inCheck && moveCount == 0) return ply - SCORE_MATE;
  return storeResult();
}
