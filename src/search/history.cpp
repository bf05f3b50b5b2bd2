#include <cstring>

#include "search/movepick.h"

static int sideIndex(const PositionState& st) { return isBlackToMove(st) ? 1 : 0; }

// Continuation-history row of a previous move (entry 0 after a null move).
static int16_t (&contRow(int16_t (&table)[2][7][64][7][64], int side, Move prev))[7][64] {
  return table[side][movePiece(prev)][moveTo(prev)];
}

static Move& counterSlot(SearchThread& t, int side, Move prev) {
  return t.counterMoves[side][movePiece(prev)][moveFrom(prev)][moveTo(prev)];
}

Move counterMoveOf(const SearchThread& t, const PositionState& st, Move prevMove) {
  return t.counterMoves[sideIndex(st)][movePiece(prevMove)][moveFrom(prevMove)][moveTo(prevMove)];
}

int quietHistoryScore(const SearchThread& t, const PositionState& st, Move move, Move prevMove,
                      Move prevPrevMove) {
  int side = sideIndex(st);
  PieceType piece = movePiece(move);
  Square to = moveTo(move);
  return t.mainHistory[side][piece][moveFrom(move)][to] +
         2 * (t.contHist1[side][movePiece(prevMove)][moveTo(prevMove)][piece][to] +
              t.contHist2[side][movePiece(prevPrevMove)][moveTo(prevPrevMove)][piece][to]);
}

void updateKillersAndCounter(SearchThread& t, const PositionState& st, int ply, Move move, Move prevMove) {
  Move plain = withoutCheck(move);
  if (plain != t.killers[ply][0]) {
    t.killers[ply][1] = t.killers[ply][0];
    t.killers[ply][0] = plain;
  }
  counterSlot(t, sideIndex(st), prevMove) = plain;
}

// Applies one history step to the three tables that score move at a node.
template <int16_t (*step)(int, int)>
static void updateHistories(SearchThread& t, int side, Move move, Move prevMove, Move prevPrevMove, int bonus) {
  PieceType piece = movePiece(move);
  Square to = moveTo(move);
  int16_t& h = t.mainHistory[side][piece][moveFrom(move)][to];
  h = step(h, bonus);
  int16_t& c1 = contRow(t.contHist1, side, prevMove)[piece][to];
  c1 = step(c1, bonus);
  int16_t& c2 = contRow(t.contHist2, side, prevPrevMove)[piece][to];
  c2 = step(c2, bonus);
}

void updateQuietStats(SearchThread& t, const PositionState& st, int ply, int depth, Move bestMove,
                      const Move* quiets, int quietCount, Move prevMove, Move prevPrevMove) {
  int side = sideIndex(st);
  int bonus = historyBonus(depth);
  updateHistories<historyReward>(t, side, bestMove, prevMove, prevPrevMove, bonus);
  for (int i = quietCount - 1; i >= 0; --i)
    updateHistories<historyPenalty>(t, side, quiets[i], prevMove, prevPrevMove, bonus);
  if (!isInCheck(st)) updateKillersAndCounter(t, st, ply, bestMove, prevMove);
}

void updateCaptureStats(SearchThread& t, const PositionState& st, int depth, Move bestMove, const Move* captures,
                        int captureCount) {
  auto& history = t.captureHistory[sideIndex(st)];
  const int bonus = historyBonus(depth);
  auto slot = [&](Move m) -> int16_t& { return history[movePiece(m)][moveTo(m)][moveCaptured(m)]; };
  if (bestMove & (MOVE_CAPTURE | MOVE_PROMOTION)) slot(bestMove) = historyReward(slot(bestMove), bonus);
  for (int i = 0; i < captureCount; ++i) slot(captures[i]) = historyPenalty(slot(captures[i]), bonus);
}

void ageSearchTables(SearchThread& t) {
  // The tables are plain int16 arrays of known total size; view them flat.
  auto halve = [](int16_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = int16_t(p[i] / 2);
  };
  halve(&t.mainHistory[0][0][0][0], sizeof(t.mainHistory) / sizeof(int16_t));
  halve(&t.contHist1[0][0][0][0][0], sizeof(t.contHist1) / sizeof(int16_t));
  halve(&t.contHist2[0][0][0][0][0], sizeof(t.contHist2) / sizeof(int16_t));
  halve(&t.captureHistory[0][0][0][0], sizeof(t.captureHistory) / sizeof(int16_t));
  t.killers[0][0] = t.killers[2][0];
  t.killers[0][1] = t.killers[2][1];
  t.killers[1][0] = t.killers[1][1] = 0;
}

void clearSearchTables(SearchThread& t) {
  std::memset(t.killers, 0, sizeof(t.killers));
  std::memset(t.counterMoves, 0, sizeof(t.counterMoves));
  std::memset(t.mainHistory, 0, sizeof(t.mainHistory));
  std::memset(t.contHist1, 0, sizeof(t.contHist1));
  std::memset(t.contHist2, 0, sizeof(t.contHist2));
  std::memset(t.captureHistory, 0, sizeof(t.captureHistory));
  std::memset(t.pawnCorrection, 0, sizeof(t.pawnCorrection));
  std::memset(t.pieceCorrection, 0, sizeof(t.pieceCorrection));
}
