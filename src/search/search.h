// The alpha-beta search below the root: the main search with its pruning,
// extensions and reductions, and the quiescence search that resolves
// captures at the horizon. Both abort by a long jump to the thread's
// searchAbortJump when the search is stopped, so their frames hold nothing
// that needs destroying.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "search/searchthread.h"

// Node kinds: a PV node is searched with an open window; cut and all nodes
// with a null window, expected to fail high or low respectively.
constexpr int NODE_PV = 1 << 24;
constexpr int NODE_CUT = 1 << 23;
constexpr int NODE_ALL = 0;

// Score of the node at ply from the side to move's view. excludedMove is set
// only in a singular-extension verification search.
int searchNode(SearchThread& thread, int nodeKind, int ply, int depth, int alpha, int beta,
               Move excludedMove, Move prevMove, Move prevPrevMove);

// Captures, queen promotions and (at qDepth 0) quiet checks below the
// horizon; every evasion when in check.
int quiescence(SearchThread& thread, int nodeKind, int ply, int qDepth, int alpha, int beta,
               Move prevMove, Move prevPrevMove);

// The whole search of one thread: iterations of growing depth over the
// thread's root moves until the depth limit or the stop flag.
void iterativeDeepening(SearchThread& thread);

// Thread routine for a helper search thread (argument: its SearchThread).
void* helperSearchThread(void* thread);
