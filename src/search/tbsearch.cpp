#include "search/tbsearch.h"

#include "search/draw.h"
#include "search/tt.h"
#include "tablebase/probe.h"
#include "tablebase/tbscore.h"

bool tablebaseScore(SearchThread& t, int ply, int* score, uint32_t* bound) {
  int status;
  const int wdl = probeWdlRemembered(t.position, &status);
  if (status == PROBE_FAILED) return false;
  t.tbHits.fetch_add(1, std::memory_order_relaxed);
  const int spoiled = activeConfig.syzygy50MoveRule ? 1 : 0;
  const PositionState& st = *t.position.state;
  if (wdl > spoiled) {
    *score = TB_WIN_SCORE + tablebaseGrade(st) - ply;
    *bound = BOUND_LOWER;
  } else if (wdl < -spoiled) {
    *score = -TB_WIN_SCORE + tablebaseGrade(st) + ply;
    *bound = BOUND_UPPER;
  } else {
    *score = drawScoreAt(ply);
    *bound = BOUND_EXACT;
  }
  return true;
}
