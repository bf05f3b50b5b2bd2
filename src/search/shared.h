// State shared by the threads of the search in progress, set up by the
// search call before the threads start.
#pragma once

#include <cstdint>

#include "base/platform.h"
#include "board/types.h"
#include "search/report.h"
#include "search/searchthread.h"
#include "tablebase/tbscore.h"

// Number of principal variations searched (1 .. root moves), and of those
// reported (MultiPV; a weakened engine searches more than it shows).
extern int32_t multiPvCount;
extern int32_t reportedLineCount;
// Most pieces a position may have for the search to probe the tablebases;
// 0 disables probing.
extern int32_t tbProbePieces;
// Score of a successful root tablebase probe, TB_SCORE_NONE otherwise.
extern int32_t tbRootScore;
// Deepest iteration finished by any thread, under completedDepthLock, which
// also guards the root hash store and the reports of that iteration.
extern int32_t completedDepth;
extern SpinLock completedDepthLock;

// Thread 0's root, copied by every helper thread when it starts: the state
// stack up to the current record, the game's last moves, the rules flag and
// the root move list.
struct HelperSnapshot {
  PositionState stateStack[STATE_STACK_SIZE];
  PositionState* state;  // points into stateStack above
  Move lastMove;
  Move previousMove;
  bool chess960;
  ScoredMove rootMoves[MAX_MOVES];
  ScoredMove* rootEnd;  // points into rootMoves above
};
extern HelperSnapshot helperSnapshot;

// Called by iterative deepening for each newly finished iteration of thread,
// under completedDepthLock: records the iteration and passes its lines to the
// listener.
void reportIteration(SearchThread& thread, int depth);

// The listener of the search in progress (nullptr: none), and the best move
// and score of its last finished iteration (MOVE_NONE before the first).
extern const SearchListener* activeListener;
extern Move finishedMove;
extern int finishedScore;

// The principal variation of a root move: the move, then exact hash entries,
// up to a repetition, the end of what the table knows, or the room left on
// the state stack. Fills pv and returns its length; pos is left as it was.
int principalVariation(Position& pos, Move first, Move* pv);
// A root score as reported: a successful root probe's value stands for any
// score short of a mate.
int reportedScore(int score);
// Whether a reported score is a root tablebase result short of a mate (a
// draw: wins and losses score as mates).
bool isTablebaseResult(int reported);
// Total nodes and tablebase hits of every thread.
void countSearchNodes(int64_t& nodes, int64_t& tbHits);
