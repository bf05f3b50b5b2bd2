// The hand-made network the engine plays with until a trained one exists: a
// material and piece-square evaluation written into the network's layers,
// and the same evaluation computed directly, to check the network against.
#pragma once

#include <cstdint>

#include "board/types.h"

// Centipawn values of the hand-made evaluation.
constexpr int BOOTSTRAP_PIECE_VALUE[6] = {0, 100, 320, 330, 500, 950};
constexpr int BOOTSTRAP_CASTLING_RIGHT = 12;  // per right still held
// Game phase: minor pieces count 1, rooks 2, queens 4; 24 with all on board.
constexpr int BOOTSTRAP_PHASE_WEIGHT[6] = {0, 0, 1, 1, 2, 4};
constexpr int BOOTSTRAP_FULL_PHASE = 24;
// The network reproduces the evaluation up to this magnitude and saturates
// beyond it.
constexpr int BOOTSTRAP_SCORE_LIMIT = 4064;

// Writes a complete network image (NETWORK_IMAGE_SIZE bytes) computing the
// evaluation below.
void buildBootstrapNetwork(uint8_t* image);

// The evaluation itself, from the side to move's view: for each side the
// values of its pieces with their square bonuses, its castling rights, and
// its king's square bonus, which blends from a middlegame table to an
// endgame table as the pieces come off. Own side minus the other side, not
// yet limited to BOOTSTRAP_SCORE_LIMIT.
int bootstrapEvaluation(const PositionState& st);
