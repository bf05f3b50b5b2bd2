// The DrawScore and Strength settings: what a draw is worth, and the pause
// that slows a weakened engine down after each iteration.
#pragma once

#include "search/limits.h"

// A draw is worth DrawScore to the side that moves at the root, so its
// negation at odd plies. The setting is kept within +-100 here, which keeps
// every draw score far from the mate range.
inline int drawScoreAt(int ply) {
  int32_t d = activeConfig.drawScore;
  d = d > DRAW_SCORE_LIMIT ? DRAW_SCORE_LIMIT : d < -DRAW_SCORE_LIMIT ? -DRAW_SCORE_LIMIT : d;
  return (ply & 1) ? -d : d;
}

// Pause after a completed iteration of depth: busy-waits (no sleeping, so
// the time is really spent) until (1200 - 12 * strength) * depth ms have
// passed or the soft deadline, whichever is sooner, or until stopped.
void strengthWait(int depth);
