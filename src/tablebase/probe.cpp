#include "tablebase/probe.h"

#include <algorithm>
#include <atomic>
#include <climits>

#include "board/exchange.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "tablebase/tablefile.h"

const int wdlToDtz[5] = {-1, -101, 0, 101, 1};

namespace {

// Remembered answers: the key's bits above ANSWER_BITS, a valid mark, the
// status and wdl + 2. The slot is chosen by the key's low bits.
constexpr int MEMORY_BITS = 16;
constexpr uint64_t ANSWER_BITS = 6;
constexpr uint64_t ANSWER_VALID = 1 << 5;
constexpr uint64_t ANSWER_MASK = (uint64_t(1) << ANSWER_BITS) - 1;
std::atomic<uint64_t> probeMemory[1 << MEMORY_BITS];

// Captures and under-promotions, or every evasion in check.
ScoredMove* captureList(const PositionState& st, ScoredMove* list) {
  if (isInCheck(st)) return generateEvasions(st, list, true);
  return generateUnderPromotions(st, generateCaptures(st, list));
}

// Every move, in check or not.
ScoredMove* fullList(const PositionState& st, ScoredMove* list) {
  if (isInCheck(st)) return generateEvasions(st, list, true);
  return generateUnderPromotions(st, generateQuiets(st, generateCaptures(st, list), false));
}

// Makes a legal move with its check flag set, so that the child knows
// whether it stands in check; false (nothing made) when the state stack
// has no room left.
bool playForProbe(Position& pos, Move move, bool findCheck) {
  if (pos.state - pos.stateStack >= STATE_STACK_SIZE - 1) return false;
  if (findCheck && !(move & MOVE_CHECK)) setGivesCheck(*pos.state, &move);
  makeMove(pos, move, nullptr);
  return true;
}

// The WDL value within (alpha, beta) after resolving every capture: a
// small alpha-beta search over captures, with the table as stand-pat.
int probeCaptures(Position& pos, int alpha, int beta, int* status) {
  const PositionState& st = *pos.state;
  ScoredMove list[MAX_GENERATED];
  ScoredMove* const end = captureList(st, list);
  for (ScoredMove* m = end; m != list;) {
    const Move move = (--m)->move;
    if (!(move & MOVE_CAPTURE) || leavesKingAttacked(st, move)) continue;
    if (!playForProbe(pos, move, true)) return *status = PROBE_FAILED;
    const int v = -probeCaptures(pos, -beta, -alpha, status);
    takeBack(pos);
    if (*status == PROBE_FAILED) return 0;
    if (v > alpha) {
      if (v >= beta) return v;
      alpha = v;
    }
  }
  const int v = probeTable(st, 0, status, TABLE_WDL);
  return std::max(v, alpha);
}

}  // namespace

int probeWdl(Position& pos, int* status) {
  // 1-2. Captures first: a winning one settles the value without the table.
  *status = PROBE_OK;
  const PositionState& st = *pos.state;
  ScoredMove list[MAX_GENERATED];
  ScoredMove* const end = captureList(st, list);
  int bestCap = -3, bestEp = -3;
  for (ScoredMove* m = end; m != list;) {
    const Move move = (--m)->move;
    if (!(move & MOVE_CAPTURE) || leavesKingAttacked(st, move)) continue;
    if (!playForProbe(pos, move, true)) return *status = PROBE_FAILED;
    const int v = -probeCaptures(pos, -2, -bestCap, status);
    takeBack(pos);
    if (*status == PROBE_FAILED) return 0;
    if (v > bestCap) {
      if (v == 2) {
        *status = PROBE_ZEROING_BEST;
        return 2;
      }
      if (move & MOVE_EN_PASSANT)
        bestEp = std::max(bestEp, v);
      else
        bestCap = v;
    }
  }

  // 3-5. The table, unless a capture does better. The table knows nothing
  // of en passant, so an en-passant capture counts in full.
  const int v = probeTable(st, 0, status, TABLE_WDL);
  if (*status == PROBE_FAILED) return 0;
  if (bestEp > bestCap) {
    if (bestEp > v) {
      *status = PROBE_ZEROING_BEST;
      return bestEp;
    }
    bestCap = bestEp;
  }
  if (bestCap >= v) {
    *status = bestCap > 0 ? PROBE_ZEROING_BEST : PROBE_OK;
    return bestCap;
  }

  // 6. A table draw may be a stalemate that only the en-passant capture
  // avoids: then that capture's value is the position's.
  if (bestEp > -3 && v == 0) {
    for (ScoredMove* m = list; m != end; ++m)
      if (!(m->move & MOVE_EN_PASSANT) && !leavesKingAttacked(st, m->move)) return v;
    if (!isInCheck(st)) {
      ScoredMove* const quietEnd = generateQuiets(st, end, false);
      for (ScoredMove* m = end; m != quietEnd; ++m)
        if (!leavesKingAttacked(st, m->move)) return v;
    }
    *status = PROBE_ZEROING_BEST;
    return bestEp;
  }
  return v;
}

int probeDtz(Position& pos, int* status) {
  // 1-2. Draws and results reached by a zeroing capture need no DTZ.
  const int wdl = probeWdl(pos, status);
  if (*status == PROBE_FAILED || wdl == 0) return 0;
  if (*status == PROBE_ZEROING_BEST) return wdlToDtz[wdl + 2];

  // 3. A winning pawn move zeroes at once.
  const PositionState& st = *pos.state;
  const bool inCheck = isInCheck(st);
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = list;
  if (wdl > 0) {
    end = fullList(st, list);
    for (ScoredMove* m = end; m != list;) {
      const Move move = (--m)->move;
      if (movePiece(move) != PAWN || (move & MOVE_CAPTURE) || leavesKingAttacked(st, move)) continue;
      if (!playForProbe(pos, move, (move & MOVE_PROMOTION) || inCheck)) return *status = PROBE_FAILED;
      const int v = -probeWdl(pos, status);
      takeBack(pos);
      if (*status == PROBE_FAILED) return 0;
      if (v == wdl) return wdlToDtz[wdl + 2];
    }
  }

  // 4. The DTZ file, when it holds this side to move.
  const int d = probeTable(st, wdl, status, TABLE_DTZ);
  if (*status >= PROBE_FAILED) return wdl > 0 ? wdlToDtz[wdl + 2] + d : wdlToDtz[wdl + 2] - d;

  // 5-7. Otherwise one move ahead: the best DTZ over the moves that do not
  // zero (zeroing moves were settled above).
  int best = INT_MAX;
  if (wdl < 0) {
    best = wdlToDtz[wdl + 2];
    end = fullList(st, list);
  }
  for (ScoredMove* m = end; m != list;) {
    const Move move = (--m)->move;
    if ((move & MOVE_CAPTURE) || movePiece(move) == PAWN || leavesKingAttacked(st, move)) continue;
    if (!playForProbe(pos, move, inCheck)) return *status = PROBE_FAILED;
    const int v = -probeDtz(pos, status);
    takeBack(pos);
    if (*status == PROBE_FAILED) return 0;
    if (wdl > 0) {
      if (v > 0 && v + 1 < best) best = v + 1;
    } else if (v - 1 < best) {
      best = v - 1;
    }
  }
  // A win with no winning move can only come from a corrupt table.
  *status = best == INT_MAX ? PROBE_FAILED : PROBE_OK;
  return *status == PROBE_OK ? best : 0;
}

int probeWdlRemembered(Position& pos, int* status) {
  const uint64_t key = pos.state->key;
  std::atomic<uint64_t>& slot = probeMemory[key & ((1 << MEMORY_BITS) - 1)];
  const uint64_t answer = slot.load(std::memory_order_relaxed);
  if ((answer & ~ANSWER_MASK) == (key & ~ANSWER_MASK) && (answer & ANSWER_VALID)) {
    *status = int(answer >> 3) & 3;
    return int(answer & 7) - 2;
  }
  const int wdl = probeWdl(pos, status);
  slot.store((key & ~ANSWER_MASK) | ANSWER_VALID | uint64_t(*status) << 3 | uint64_t(wdl + 2),
             std::memory_order_relaxed);
  return wdl;
}

void forgetProbes() {
  for (std::atomic<uint64_t>& slot : probeMemory) slot.store(0, std::memory_order_relaxed);
}
