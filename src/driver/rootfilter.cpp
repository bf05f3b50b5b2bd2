#include <cstring>

#include "driver/limits.h"
#include "driver/movetext.h"

ScoredMove* filterRootMoves(const PositionState& st, ScoredMove* begin, ScoredMove* end,
                            const SearchMoveWords& moves) {
  if (!moves.filterOn) return end;
  ScoredMove* kept = begin;
  for (ScoredMove* m = begin; m != end; ++m) {
    char text[6];
    moveToUci(st, m->move, text);
    for (int i = 0; i < moves.count; ++i)
      if (std::strcmp(text, moves.words[i]) == 0) {
        *kept++ = *m;
        break;
      }
  }
  return kept;
}
