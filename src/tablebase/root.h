// Root probing: when the root position is in the tables, every root move is
// scored by the distance to zeroing it leads to, the list keeps only the
// moves that hold the best result (within the fifty-move budget where that
// decides it), and the position gets the score the engine reports.
#pragma once

#include "board/types.h"

// Scores the legal root moves first .. *end (each with MOVE_CHECK where it
// checks) on pos, which is left as it was. On success returns the reported
// score (0 for a draw or a result the fifty-move rule spoils, else
// +-TB_WIN_SCORE graded by material) and may shorten the list in place,
// keeping the order; on failure returns TB_SCORE_NONE and leaves the list
// alone.
int probeRoot(Position& pos, ScoredMove* first, ScoredMove** end, bool fiftyMoveRule);
