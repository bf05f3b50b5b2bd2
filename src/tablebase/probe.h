// The tablebase probes of a position: its WDL value and its distance to
// zeroing, as the real position has them. The tables store positions
// without en-passant rights, may hold any value not above the true one where
// a capture is best, and a DTZ file holds one side to move only; these
// probes make up for that by searching the captures first and, for DTZ, by
// looking one move ahead where needed.
//
// Interface in brief (used by the search, the root probe, and tests and
// tools that compare tables position by position):
// - probeWdl(pos, &status): -2 loss, -1 loss the fifty-move rule saves,
//   0 draw, 1 win the fifty-move rule spoils, 2 win; side to move's view;
// - probeDtz(pos, &status): 0 draw; otherwise the sign is the result and
//   the magnitude the plies to the next capture or pawn move under best
//   play (possibly one more where the file stores whole moves), beyond 100
//   for results the fifty-move rule spoils.
// status: PROBE_FAILED (no usable table somewhere; ignore the value),
// PROBE_OK, or PROBE_ZEROING_BEST (good, and the best move is a capture or,
// for DTZ, a zeroing move).
//
// Preconditions: no castling rights, no more pieces than the tables hold,
// and a state stack with room above pos.state (the probes make and take
// back moves on it, at most one per piece, and leave it as they found it).
// The fifty-move counter is not read: callers apply Syzygy50MoveRule.
#pragma once

#include "board/types.h"

constexpr int PROBE_OTHER_SIDE = -1;  // only between the DTZ file and probeDtz
constexpr int PROBE_FAILED = 0;
constexpr int PROBE_OK = 1;
constexpr int PROBE_ZEROING_BEST = 2;

// DTZ of a result whose best move zeroes, by wdl + 2.
extern const int wdlToDtz[5];

int probeWdl(Position& pos, int* status);
int probeDtz(Position& pos, int* status);

// probeWdl through a table of recent answers shared by all threads, keyed by
// the position's hash key: the search asks about the same endgame positions
// again and again. Lock-free (one relaxed 64-bit word per answer); cleared
// by forgetProbes, which initTablebases calls whenever the tables change.
int probeWdlRemembered(Position& pos, int* status);
void forgetProbes();
