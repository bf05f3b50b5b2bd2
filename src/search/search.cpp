// The main search below the root: a principal-variation alpha-beta search
// with a shared hash table, reverse futility and null-move pruning, ProbCut,
// internal iterative deepening, move-count, futility and exchange pruning,
// check and singular extensions and late-move reductions.
#include <algorithm>
#include <cstdlib>

#include "board/attacks.h"
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
#include "search/movepick.h"
#include "search/nodeutil.h"
#include "search/reduction.h"
#include "search/search.h"
#include "search/tbsearch.h"
#include "search/tt.h"
#include "search/tune.h"

// Reverse futility: a position this far above beta at low depth is left alone
// (the margins of this file that the tuner moves are in search/tune.h).
static constexpr int RFP_MAX_DEPTH = 5;
// Null move: the opponent moving twice still cannot reach beta.
static constexpr int NULL_MIN_DEPTH = 4;
static constexpr int NULL_CHILD_EVAL = 5;  // child eval = this - parent eval (the tempo)
static constexpr int NULL_MAX_EVAL_BONUS = 3;
// ProbCut: a capture that beats beta by this margin at a shallow depth
// very likely beats beta at full depth too.
static constexpr int PROBCUT_MIN_DEPTH = 6;
static constexpr int PROBCUT_SHALLOW_DEPTH = 2;
static constexpr int PROBCUT_VERIFY_MIN_DEPTH = 7;
static constexpr int PROBCUT_VERIFY_REDUCTION = 4;
// Internal iterative deepening finds a first move for PV nodes without one.
static constexpr int IID_MIN_DEPTH = 4;
// Move-loop pruning (PRUNE_MAX_DEPTH is beside the reductions).
static constexpr int CONT_HISTORY_PRUNE_DEPTH = 3;
static constexpr int SEE_PRUNE_MAX_DEPTH = 6;
static constexpr int SEE_UNKNOWN = 32767;
// Singular extension: the hash move alone holds the score.
static constexpr int SINGULAR_MIN_DEPTH = 6;
static constexpr int SINGULAR_DEPTH_SLACK = 3;

static constexpr int MATE_BOUND = SCORE_MATE_IN_MAX - 1;  // largest score that is not a mate

static inline bool isLosingKey(int32_t key) { return key < PICK_LOSING_LIMIT; }

// Exchange value a pruning test needs, taken from the picker's key for a
// losing capture instead of computing it again.
static int pruningExchange(const PositionState& st, Move move, int32_t key, int seeMargin) {
  if (move & (MOVE_CAPTURE | MOVE_PROMOTION)) {
    if (uint32_t(key) + 2147483645u <= 99999999u) return int((int64_t(key) + 2047483646) >> 7);
    return SEE_UNKNOWN;
  }
  if (seeMargin >= -seeValue[movePiece(move)]) return staticExchange(st, move);
  return SEE_UNKNOWN;
}

// The draw and mate rules that end a line before any move is tried; returns
// true with *score set when the node is settled by them.
static bool settledByRules(const PositionState& st, int ply, int* score) {
  if (st.flags & FLAG_REPETITION) {
    *score = drawScoreAt(ply);
    return true;
  }
  if (st.rule50 >= 100) {
    *score = (!isInCheck(st) || hasLegalEvasion(st)) ? drawScoreAt(ply) : ply - SCORE_MATE;
    return true;
  }
  if (insufficientMaterial(st)) {
    *score = drawScoreAt(ply);
    return true;
  }
  return false;
}

int searchNode(SearchThread& t, int nodeKind, int ply, int depth, int alpha, int beta, Move excludedMove,
               Move prevMove, Move prevPrevMove) {
  // 1. At the horizon the quiescence search takes over.
  if (depth < 1) return quiescence(t, nodeKind, ply, 0, alpha, beta, prevMove, prevPrevMove);

  // 2-4. Clock, abort and node count.
  pollClock(t);

  Position& pos = t.position;
  const PositionState& st = *pos.state;
  const bool inCheck = isInCheck(st);
  const bool pvNode = nodeKind == NODE_PV;

  // 5-7. Repetition, fifty-move rule, insufficient material.
  int ruleScore;
  if (settledByRules(st, ply, &ruleScore)) return ruleScore;
  if (ply >= SEARCH_PLY_LIMIT) return evaluate(st, t.nnue, ply, t.position.chess960);

  // 8. Mate-distance pruning: no line from here beats a shorter mate.
  alpha = std::max(alpha, ply - SCORE_MATE);
  beta = std::min(beta, SCORE_MATE - 1 - ply);
  if (alpha >= beta) return alpha;

  // 9. The verification search for a singular move keeps its result apart.
  uint64_t key = st.key;
  if (excludedMove) key ^= zobristKeys[moveFrom(excludedMove)] ^ zobristKeys[moveTo(excludedMove)];

  // The accumulators are brought up to date while the hash slot (prefetched
  // by the parent) is still on its way from memory.
  if (!t.nnue[ply].computed) computeAccumulators(st, t.nnue, ply);

  // 10. Hash table.
  TTHit hit;
  const bool ttHit = ttProbe(key, ply, hit);
  TTMove ttMove16 = hit.move;
  if (ttHit) {
    if (hit.depth >= depth &&
        (hit.bound == BOUND_EXACT || (hit.bound == BOUND_LOWER && hit.score >= beta) ||
         (hit.bound == BOUND_UPPER && hit.score <= alpha))) {
      if (hit.score >= beta && hit.move) recordTTCutoffMove(t, st, ply, hit.move, prevMove);
      return hit.score;
    }
    t.evalStack[ply] = hit.eval;
  }

  // 11. Tablebases, right after an irreversible move.
  if (!excludedMove && tablebaseProbeAllowed(st)) {
    int tbScore;
    uint32_t tbBound;
    if (tablebaseScore(t, ply, &tbScore, &tbBound) &&
        (tbBound == BOUND_EXACT || (tbBound == BOUND_LOWER ? tbScore >= beta : tbScore <= alpha)))
      return tbScore;
  }

  // 12. Static evaluation (none in check), moved by the correction history;
  // the hash table keeps the network's own. A hash bound tightens it further.
  if (t.evalStack[ply] == EVAL_NONE && !inCheck) t.evalStack[ply] = evaluate(st, t.nnue, ply, t.position.chess960);
  const int rawEval = t.evalStack[ply];
  const int staticEval = inCheck ? rawEval : correctedEval(t, st, rawEval);
  int adjustedEval = staticEval;
  if (ttHit && !inCheck) {
    if (hit.bound == BOUND_EXACT)
      adjustedEval = hit.score;
    else if (hit.bound == BOUND_LOWER)
      adjustedEval = std::max(adjustedEval, hit.score);
    else
      adjustedEval = std::min(adjustedEval, hit.score);
  }

  // 13. Improving: better than two plies ago, so prune less.
  const bool improving = ply < 2 || inCheck || rawEval == EVAL_NONE || t.evalStack[ply - 2] == EVAL_NONE ||
                         rawEval >= t.evalStack[ply - 2];

  // 14. Killers of the child ply start empty.
  t.killers[ply + 1][0] = t.killers[ply + 1][1] = MOVE_NONE;

  Move ttMove = ttMove16 ? validateTTMove(st, ttMove16) : MOVE_NONE;

  // 15. Pruning before the move loop, not in PV nodes, in check or in a
  // singular verification search.
  if (!excludedMove && !pvNode && !inCheck) {
    // Reverse futility.
    if (depth <= RFP_MAX_DEPTH && adjustedEval - RFP_MARGIN * (depth - int(improving)) >= beta &&
        std::abs(beta) <= MATE_BOUND && std::abs(adjustedEval) < SCORE_MATE_IN_MAX)
      return adjustedEval;

    // Null move, only with a piece on the board (zugzwang is rare then).
    if (depth >= NULL_MIN_DEPTH && prevMove && adjustedEval >= beta &&
        staticEval >= beta - NULL_EVAL_MARGIN * depth &&
        (ownPieces(st) & (st.pieces[KNIGHT] | st.pieces[BISHOP] | st.pieces[ROOK] | st.pieces[QUEEN]))) {
      NnueDelta& delta = t.nnue[ply].delta;
      delta.kingMoved = 0;
      delta.addedCount = delta.removedCount = 0;
      t.nnue[ply + 1].computed = 0;
      makeNullMove(pos);
      prefetchTT(pos.state->key);
      t.evalStack[ply + 1] = NULL_CHILD_EVAL - rawEval;
      int reduced = 3 * depth / 4 - 3 - std::min(NULL_MAX_EVAL_BONUS, (adjustedEval - beta) / NULL_EVAL_STEP);
      int value = -searchNode(t, NODE_ALL, ply + 1, reduced, -beta, -alpha, MOVE_NONE, MOVE_NONE, MOVE_NONE);
      takeBack(pos);
      if (value >= beta) return std::abs(value) <= MATE_BOUND ? value : beta;
    }

    // ProbCut.
    if (depth >= PROBCUT_MIN_DEPTH && std::abs(beta) <= MATE_BOUND) {
      const int rbeta = beta + PROBCUT_MARGIN;
      const int threshold = rbeta - staticEval;
      MovePicker mp;
      initProbCutPicker(mp, t, st, ttMove, ply, depth);
      while (Move move = pickNextMove(mp).move) {
        if (moveCaptured(move) == KING) return SCORE_MATE - ply;
        int gain = seeValue[moveCaptured(move)];
        if (move & MOVE_PROMOTION) gain += seeValue[movePromotion(move)] - seeValue[PAWN];
        if (gain < threshold || staticExchange(st, move) < threshold) continue;
        makeMove(pos, move, &t.nnue[ply].delta);
        prefetchTT(pos.state->key);
        t.evalStack[ply + 1] = EVAL_NONE;
        t.nnue[ply + 1].computed = 0;
        int value = -searchNode(t, NODE_ALL, ply + 1, PROBCUT_SHALLOW_DEPTH, -rbeta, -rbeta + 1, MOVE_NONE, move,
                                prevMove);
        if (depth >= PROBCUT_VERIFY_MIN_DEPTH && value >= rbeta)
          value = -searchNode(t, NODE_ALL, ply + 1, depth - PROBCUT_VERIFY_REDUCTION, -rbeta, -rbeta + 1,
                              MOVE_NONE, move, prevMove);
        takeBack(pos);
        if (value >= rbeta) return value;
      }
    }
  }

  // Internal iterative deepening: a PV node without a hash move searches
  // itself shallower first to find one.
  if (!excludedMove && pvNode && depth >= IID_MIN_DEPTH && !ttMove16) {
    searchNode(t, NODE_PV, ply, 7 * depth / 8 - 2, alpha, beta, MOVE_NONE, prevMove, prevPrevMove);
    TTHit again;
    if (ttProbe(key, ply, again) && again.move) ttMove = validateTTMove(st, again.move);
  }

  // The move loop.
  const int lmpCount = (improving ? LMP_BASE_IMPROVING : LMP_BASE) * depth / 4;
  const int futilityValue = adjustedEval + FUTILITY_MARGIN * depth;
  const int seeMargin = -SEE_MARGIN * depth;
  const bool singularAllowed = depth >= SINGULAR_MIN_DEPTH && !excludedMove;
  const bool reduceAllowed = depth >= REDUCE_MIN_DEPTH && !inCheck;
  const int firstChildKind = pvNode ? NODE_PV : nodeKind ^ NODE_CUT;
  const int laterChildKind = pvNode ? NODE_CUT : nodeKind ^ NODE_CUT;
  const int32_t(*reductions)[REDUCTION_SIZE] = reductionTable[pvNode ? REDUCTION_PV : REDUCTION_NON_PV];
  const int reductionDepth = std::min(depth, REDUCTION_SIZE - 1);
  const int side = sideIndex(st);

  int bestScore = -SCORE_INFINITE;
  Move bestMove = MOVE_NONE;
  int moveCount = 0;
  bool searchedAny = false;
  Move quiets[MAX_MOVES];
  int quietCount = 0;
  Move captures[MAX_CAPTURES_KEPT];
  int captureCount = 0;

  MovePicker mp;
  initMovePicker(mp, t, st, ttMove, ply, depth, prevMove, prevPrevMove, inCheck);
  for (;;) {
    const ScoredMove picked = pickNextMove(mp);
    const Move move = picked.move;
    if (!move) break;
    const int32_t key = picked.key;
    const int movesBefore = moveCount++;

    if (withoutCheck(move) == withoutCheck(excludedMove)) continue;
    // Taking the king: the opponent's last move left it attacked (only
    // possible after a null move in an unflagged discovered check). That
    // line was illegal, so it counts as won here.
    if (moveCaptured(move) == KING) return SCORE_MATE - ply;

    const bool tactical = inCheck || (move & TACTICAL_FLAGS);
    const bool losing = isLosingKey(key);
    const Move plainMove = withoutCheck(move);
    const bool refutation = plainMove == mp.killer0 || plainMove == mp.killer1 || plainMove == mp.counterMove;

    // Move pruning, never for the first move.
    if (movesBefore > 0) {
      if (depth <= PRUNE_MAX_DEPTH && !tactical) {
        if (movesBefore >= lmpCount) {
          // From here on every quiet move without check or castling is
          // pruned: at these depths a late losing capture is reduced by one
          // ply whatever its number, so the move count no longer matters.
          mp.skipQuiet = true;
          continue;
        }
        if (!refutation && futilityValue < alpha && std::abs(alpha) <= MATE_BOUND &&
            std::abs(adjustedEval) < SCORE_MATE_IN_MAX) {
          // Outside PV nodes alpha cannot change without a cutoff, and the
          // refutations came earlier: every later quiet move without check
          // or castling is futile too.
          if (!pvNode) mp.skipQuiet = true;
          continue;
        }
      }
      bool seeTest;
      if (depth < CONT_HISTORY_PRUNE_DEPTH && !tactical) {
        PieceType piece = movePiece(move);
        Square to = moveTo(move);
        if (t.contHist1[side][movePiece(prevMove)][moveTo(prevMove)][piece][to] < 0 &&
            t.contHist2[side][movePiece(prevPrevMove)][moveTo(prevPrevMove)][piece][to] < 0)
          continue;
        seeTest = true;
      } else {
        seeTest = depth <= SEE_PRUNE_MAX_DEPTH && !inCheck;
      }
      if (seeTest && pruningExchange(st, move, key, seeMargin) <= seeMargin) continue;
    }

    // Extensions: checks in PV nodes, and a hash move that alone holds.
    int ext = 0;
    if (pvNode && !losing && (move & MOVE_CHECK))
      ext = (key >= PICK_GOOD_CAPTURE || staticExchange(st, move) >= 0) ? 1 : 0;
    if (singularAllowed && ext == 0 && move == ttMove && ttHit && std::abs(hit.score) <= MATE_BOUND &&
        hit.bound == BOUND_LOWER && hit.depth >= depth - SINGULAR_DEPTH_SLACK) {
      const int singularBeta = hit.score - SINGULAR_MARGIN_PER_PLY * depth;
      int value = searchNode(t, NODE_ALL, ply, 3 * depth / 8, singularBeta - 1, singularBeta, ttMove, prevMove,
                             prevPrevMove);
      if (value < singularBeta)
        ext = 1;
      else if (singularBeta >= beta)
        return singularBeta;
    }

    makeMove(pos, move, &t.nnue[ply].delta);
    prefetchTT(pos.state->key);
    t.evalStack[ply + 1] = EVAL_NONE;
    t.nnue[ply + 1].computed = 0;
    const int newDepth = depth - 1 + ext;
    int score;
    if (movesBefore == 0) {
      score = -searchNode(t, firstChildKind, ply + 1, newDepth, -beta, -alpha, MOVE_NONE, move, prevMove);
    } else {
      int r = 0;
      if (reduceAllowed && !(!losing && (move & TACTICAL_FLAGS)) && !refutation)
        r = lateMoveReduction(reductions[reductionDepth][std::min(moveCount, REDUCTION_SIZE - 1)], losing);
      score = -searchNode(t, laterChildKind, ply + 1, newDepth - r, -alpha - 1, -alpha, MOVE_NONE, move, prevMove);
      if (r > 0 && newDepth >= 1 && score > alpha)
        score = -searchNode(t, laterChildKind, ply + 1, newDepth, -alpha - 1, -alpha, MOVE_NONE, move, prevMove);
      if (pvNode && alpha < score && score < beta)
        score = -searchNode(t, NODE_PV, ply + 1, newDepth, -beta, -alpha, MOVE_NONE, move, prevMove);
    }
    takeBack(pos);
    searchedAny = true;

    if (score > bestScore) bestScore = score;
    if (score > alpha) {
      bestMove = move;
      alpha = score;
      if (alpha >= beta) break;
    }
    if (!(move & (MOVE_CAPTURE | MOVE_PROMOTION))) {
      if (quietCount < MAX_MOVES) quiets[quietCount++] = move;
    } else if (captureCount < MAX_CAPTURES_KEPT) {
      captures[captureCount++] = move;
    }
  }

  // Checkmate or stalemate.
  if (moveCount == 0) return inCheck ? ply - SCORE_MATE : drawScoreAt(ply);
  if (!searchedAny) {
    if (alpha == -SCORE_INFINITE) return -SCORE_INFINITE;
    bestScore = alpha;
  }

  if (!excludedMove && alpha >= beta) {
    if (!(bestMove & (MOVE_CAPTURE | MOVE_PROMOTION)))
      updateQuietStats(t, st, ply, depth, bestMove, quiets, quietCount, prevMove, prevPrevMove);
    updateCaptureStats(t, st, depth, bestMove, captures, captureCount);
  }

  const uint32_t bound = ttBoundFor(bestMove != MOVE_NONE, alpha, beta);
  // A quiet result the evaluation did not foresee teaches the correction;
  // a bound teaches only on its own side of the evaluation.
  if (!excludedMove && !inCheck && !(bestMove & (MOVE_CAPTURE | MOVE_PROMOTION)) &&
      std::abs(bestScore) <= MATE_BOUND && !(bound == BOUND_LOWER && bestScore <= staticEval) &&
      !(bound == BOUND_UPPER && bestScore >= staticEval))
    updateCorrection(t, st, depth, bestScore - staticEval);

  ttStore(key, pvNode, depth, bound, bestMove ? bestMove : ttMove, bestScore, rawEval, ply);
  return bestScore;
}
