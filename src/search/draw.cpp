#include "search/draw.h"

#include <algorithm>

#include "base/platform.h"
#include "search/timeman.h"

// Each point of strength below 100 adds 12 ms of pause per ply of depth.
constexpr int64_t STRENGTH_PAUSE_BASE_MS = 1200;
constexpr int64_t STRENGTH_PAUSE_STEP_MS = 12;

void strengthWait(int depth) {
  int64_t pause = (STRENGTH_PAUSE_BASE_MS - STRENGTH_PAUSE_STEP_MS * effectiveStrength(activeConfig)) * depth;
  int64_t target = std::min(nowMs() + pause, softDeadline);
  while (nowMs() <= target && !stopRequested()) {
  }
}
