#include "tablebase/root.h"

#include <algorithm>

#include "board/makemove.h"
#include "board/movegen.h"
#include "tablebase/probe.h"
#include "tablebase/tbscore.h"

namespace {

constexpr int FIFTY_MOVE_PLIES = 100;
constexpr int NO_WINNING_MOVE = 65535;

// In check: is any evasion legal? (A mate needs no table.)
bool canEscape(const PositionState& st) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* const end = generateEvasions(st, list, false);
  for (ScoredMove* m = list; m != end; ++m)
    if (!leavesKingAttacked(st, m->move)) return true;
  return false;
}

// The root or a position two, four ... plies before it, within the plies
// since the last zeroing move, has been seen before.
bool rootRepeated(const Position& pos, int cnt50) {
  const ptrdiff_t depth = pos.state - pos.stateStack;
  for (ptrdiff_t back = 0; back <= cnt50 && back <= depth; back += 2)
    if ((pos.state - back)->flags & FLAG_REPETITION) return true;
  return false;
}

}  // namespace

int probeRoot(Position& pos, ScoredMove* first, ScoredMove** end, bool fiftyMoveRule) {
  // 1. The root's own distance.
  int status;
  const int dtz = probeDtz(pos, &status);
  if (status == PROBE_FAILED) return TB_SCORE_NONE;
  const PositionState& root = *pos.state;
  const int cnt50 = root.rule50;
  const int count = int(*end - first);

  // 2. Each move's distance, counting the move itself: positive for a win,
  // beyond 100 for one the fifty-move rule spoils, 0 for a draw.
  int scores[MAX_MOVES];
  if (pos.state - pos.stateStack >= STATE_STACK_SIZE - 1) return TB_SCORE_NONE;
  for (int i = 0; i < count; ++i) {
    makeMove(pos, first[i].move, nullptr);
    const PositionState& child = *pos.state;
    int score = 0;
    status = PROBE_OK;
    if (isInCheck(child) && dtz > 0 && !canEscape(child)) {
      score = 1;
    } else if (child.rule50 != 0) {
      const int v = -probeDtz(pos, &status);
      score = v > 0 ? v + 1 : v < 0 ? v - 1 : 0;
    } else {
      score = wdlToDtz[-probeWdl(pos, &status) + 2];
    }
    takeBack(pos);
    if (status == PROBE_FAILED) return TB_SCORE_NONE;
    scores[i] = score;
  }

  // 3. The reported score and which moves stay.
  const int grade = tablebaseGrade(root);
  int reported = 0, low = 0, high = 0;
  if (dtz > 0) {
    reported = fiftyMoveRule && dtz + cnt50 > FIFTY_MOVE_PLIES ? 0 : TB_WIN_SCORE + grade;
    int best = NO_WINNING_MOVE;
    for (int i = 0; i < count; ++i)
      if (scores[i] >= 1) best = std::min(best, scores[i]);
    // Any winning move that still zeroes within the fifty moves will do,
    // unless the game has started repeating: then only the fastest.
    const bool repeated = rootRepeated(pos, cnt50);
    low = 1;
    high = !repeated && best + cnt50 < FIFTY_MOVE_PLIES ? FIFTY_MOVE_PLIES - 1 - cnt50 : best;
  } else if (dtz < 0) {
    reported = fiftyMoveRule && cnt50 - dtz > FIFTY_MOVE_PLIES ? 0 : -TB_WIN_SCORE + grade;
    int best = 0;
    for (int i = 0; i < count; ++i) best = std::min(best, scores[i]);
    // Losing anyway: every move, unless the longest resistance may still
    // reach the fifty-move draw.
    low = cnt50 - 2 * best < FIFTY_MOVE_PLIES ? -NO_WINNING_MOVE : best;
    high = cnt50 - 2 * best < FIFTY_MOVE_PLIES ? NO_WINNING_MOVE : best;
  }

  // 4. Keep the moves within [low, high], in their order; all when none is.
  ScoredMove* kept = first;
  for (int i = 0; i < count; ++i)
    if (scores[i] >= low && scores[i] <= high) *kept++ = first[i];
  if (kept != first) *end = kept;
  return reported;
}
