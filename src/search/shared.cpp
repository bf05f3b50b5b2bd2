#include "search/shared.h"

#include <cstdlib>

#include "board/makemove.h"
#include "search/memory.h"
#include "search/timeman.h"
#include "search/tt.h"

int32_t multiPvCount = 1;
int32_t reportedLineCount = 1;
int32_t tbProbePieces = 0;
int32_t tbRootScore = TB_SCORE_NONE;
int32_t completedDepth = 0;
SpinLock completedDepthLock;
HelperSnapshot helperSnapshot;
const SearchListener* activeListener = nullptr;
Move finishedMove = MOVE_NONE;
int finishedScore = 0;

void countSearchNodes(int64_t& nodes, int64_t& tbHits) {
  nodes = tbHits = 0;
  for (int i = 0; i < threadCount; ++i) {
    nodes += searchThreads[i].nodes.load(std::memory_order_relaxed);
    tbHits += searchThreads[i].tbHits.load(std::memory_order_relaxed);
  }
}

int principalVariation(Position& pos, Move first, Move* pv) {
  PositionState* const saved = pos.state;
  Move move = first;
  int length = 0;
  for (int plies = 0;; ++plies) {
    pv[length++] = move;
    makeMove(pos, move, nullptr);
    if (plies + 1 >= MAX_PLY || pos.state - pos.stateStack >= STATE_STACK_SIZE - 1) break;
    if (pos.state->flags & FLAG_REPETITION) break;
    TTHit hit;
    if (!ttProbe(pos.state->key, 0, hit) || hit.bound != BOUND_EXACT || !hit.move) break;
    move = validateTTMove(*pos.state, hit.move);
    if (!move || moveCaptured(move) == KING) break;
  }
  pos.state = saved;
  return length;
}

int reportedScore(int score) {
  return tbRootScore != TB_SCORE_NONE && std::abs(score) < SCORE_MATE_IN_MAX ? tbRootScore : score;
}

bool isTablebaseResult(int reported) {
  return tbRootScore != TB_SCORE_NONE && std::abs(reported) < SCORE_MATE_IN_MAX;
}

void reportIteration(SearchThread& t, int depth) {
  finishedMove = t.rootMoves[0].move;
  finishedScore = t.rootScores[0];
  if (!activeListener) return;
  SearchReport report;
  countSearchNodes(report.nodes, report.tbHits);
  report.elapsedMs = nowMs() - startTime;
  report.depth = depth;
  report.root = &t.position;
  for (int line = reportedLineCount - 1; line >= 0; --line) {
    report.line = line;
    report.score = reportedScore(t.rootScores[line]);
    report.tablebaseResult = isTablebaseResult(report.score);
    report.pvLength = principalVariation(t.position, t.rootMoves[line].move, report.pv);
    activeListener->onReport(activeListener->context, report);
  }
}
