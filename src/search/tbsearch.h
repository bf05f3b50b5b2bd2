// The searches' one door to the tablebases: whether a node may be probed,
// and the node's tablebase value as a search score with the bound it
// carries. The main and the quiescence search both return the score when
// the bound allows; neither converts table values itself.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "search/shared.h"
#include "search/searchthread.h"

// Probing pays right after a capture or pawn move (the tables know no
// fifty-move counter) and only without castling rights and within the
// piece count the tables hold (tbProbePieces is 0 when there are none, or
// after a successful root probe).
inline bool tablebaseProbeAllowed(const PositionState& st) {
  return popcount(st.pieces[ALL_PIECES]) <= tbProbePieces && st.rule50 == 0 && st.castleFiles == NO_CASTLING;
}

// Probes the WDL tables for t's current position at ply and counts the hit.
// On success *score is the draw score (BOUND_EXACT), a win graded by
// material minus ply (BOUND_LOWER: at least this) or a loss plus ply
// (BOUND_UPPER); with Syzygy50MoveRule on, results the fifty-move rule
// spoils are draws. False when no table answers.
bool tablebaseScore(SearchThread& t, int ply, int* score, uint32_t* bound);
