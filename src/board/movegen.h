// Pseudo-legal move generation in stages, and the legality test that settles
// pins and king safety after generation. Generators write ScoredMove entries
// from list on and return the new end.
#pragma once

#include "board/types.h"

ScoredMove* generateCaptures(const PositionState& st, ScoredMove* list);
ScoredMove* generateUnderPromotions(const PositionState& st, ScoredMove* list);
ScoredMove* generateQuiets(const PositionState& st, ScoredMove* list, bool checksOnly);
ScoredMove* generateEvasions(const PositionState& st, ScoredMove* list, bool withUnderPromotions);

// Non-zero (the attacking enemy pieces) when the move leaves the king attacked.
Bitboard leavesKingAttacked(const PositionState& st, Move move);

// Every legal move, unsorted, with MOVE_CHECK set on each checking move.
// list must have room for MAX_GENERATED entries. Returns the new end.
ScoredMove* generateLegalMoves(const PositionState& st, ScoredMove* list);
