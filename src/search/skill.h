// Play at a chosen strength (UCI_LimitStrength with UCI_Elo): a weaker
// player sees less and prefers the move that looks natural over the best
// one. The search gets a node budget that halves every ELO_PER_DOUBLING
// points below full strength, so tactics deeper than the budget go unseen
// as they do for a person, and below TEMPERATURE_TOP_ELO it searches
// SKILL_LINES lines and plays one of them at random, a line that scores
// d centipawns below the best having weight exp(-d / temperature). Small
// losses are therefore common and large ones rare: the mistakes look human
// rather than random. At MAX_ELO nothing is changed.
#pragma once

#include <cstdint>

#include "search/limits.h"

constexpr int SKILL_LINES = 4;

// Nodes after which a weakened search starts no new iteration (it always
// finishes the first); the search aborts at SKILL_HARD_NODE_FACTOR times as
// many. NO_NODE_LIMIT at full strength.
int64_t skillNodeBudget(int32_t elo);
constexpr int64_t SKILL_HARD_NODE_FACTOR = 4;

// The temperature of the choice in centipawns; 0 (always the best line) from
// TEMPERATURE_TOP_ELO up.
int skillTemperature(int32_t elo);

// Index of the line to play among count lines with the given scores (best
// first, side to move's view), drawn with random in [0, 1).
int pickSkillLine(const int32_t* scores, int count, int temperature, double random);

// A draw in [0, 1) from a generator seeded once from the clock: weakened
// games differ from each other.
double skillRandom();
