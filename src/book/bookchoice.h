// Choosing among the book entries of one position.
#pragma once

#include <cstdint>

// Entries kept for the weighted random choice. No real position has this
// many moves; a corrupted book may repeat a key without end, and entries
// beyond the bound take no part in the random choice (they still compete
// for the heaviest entry).
constexpr int BOOK_MAX_CANDIDATES = 256;

// The entries of one position in file order. weightSum covers the kept
// entries only, so a random number below it always lands on one of them.
// The best entry is the first of the greatest positive weight among all
// entries; bestWeight 0 means there is none.
struct BookCandidates {
  uint16_t moves[BOOK_MAX_CANDIDATES];
  uint16_t weights[BOOK_MAX_CANDIDATES];
  int count;
  uint32_t weightSum;
  uint16_t bestMove;
  uint16_t bestWeight;
};

void clearCandidates(BookCandidates& candidates);
void addCandidate(BookCandidates& candidates, uint16_t move, uint16_t weight);
// The kept entry that a number r in [0, weightSum) falls on when the kept
// weights are laid end to end; -1 when weightSum is 0.
int pickWeighted(const BookCandidates& candidates, uint32_t r);
