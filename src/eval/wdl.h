// Win, draw and loss chances of a score, for "info ... wdl W D L". The model
// is fitted to Corvan's own self-play (corvan-trainingdata wdl-fit, README
// "Analysis"): the side to move wins with probability
//   sigma((score - centre) / width)
// and loses with sigma((-score - centre) / width), the rest being a draw.
// Both centre and width are cubics in the material left on the board, so a
// pawn up means more with few pieces than with many, and a draw is likelier
// near the end. A score of exactly 0 is a class of its own: mostly the
// search's verdict of a draw (a repetition, a fortress), it is a draw far more
// often than scores beside it, with the chance zeroDraw seen in the games
// (or the model's, where that is higher).
// Mates and tablebase results are certain and never go through the model.
#pragma once

#include "board/types.h"

// Material as the model counts it: pawns 1, knights and bishops 3, rooks 5,
// queens 9, both sides together (78 at the start). The model clamps it to
// WDL_MIN_MATERIAL..WDL_MAX_MATERIAL, the range its games cover.
constexpr int WDL_MIN_MATERIAL = 8;
constexpr int WDL_MAX_MATERIAL = 78;
int wdlMaterial(int pawns, int minors, int rooks, int queens);
int wdlMaterial(const PositionState& st);

// Coefficients of centre and width (in centipawns) in x = material / 78,
// lowest power first.
struct WdlModel {
  double centre[4];
  double width[4];
  double zeroDraw;  // draw chance of a score of 0; wins and losses share the rest
};
extern const WdlModel WDL_MODEL;

struct WdlProbabilities {
  double win, draw, loss;
};
WdlProbabilities wdlProbabilities(double score, int material, const WdlModel& model = WDL_MODEL);

// Per mille, summing to 1000.
struct WdlChances {
  int win, draw, loss;
};
WdlChances wdlChances(int score, int material, const WdlModel& model = WDL_MODEL);
