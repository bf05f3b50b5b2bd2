// Small helpers for the board tests: set up a position once the tables
// exist, and find or list legal moves by their UCI text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movegen.h"
#include "board/movetext.h"
#include "driver/options.h"

// A position with its tables ready; heap-held because the stack is 49 KB.
struct Board {
  std::unique_ptr<Position> pos;
  explicit Board(const char* fen = START_FEN, const char* moves = nullptr) : pos(new Position) {
    static const bool ready = (setDefaultOptions(), initAttacks(), true);
    (void)ready;
    setPosition(*pos, fen, moves);
  }
  PositionState& st() const { return *pos->state; }
};

inline std::vector<Move> legalMoves(const PositionState& st) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(st, list);
  std::vector<Move> moves;
  for (ScoredMove* m = list; m != end; ++m) moves.push_back(m->move);
  return moves;
}

// UCI text of m, in Chess960 notation when asked.
inline std::string uciText(const PositionState& st, Move m, bool chess960 = false) {
  char text[6];
  moveToUci(st, m, chess960, text);
  return text;
}

// The legal move with this text, or MOVE_NONE.
inline Move legalMove(const PositionState& st, const std::string& text, bool chess960 = false) {
  for (Move m : legalMoves(st))
    if (uciText(st, m, chess960) == text) return m;
  return MOVE_NONE;
}

inline std::vector<ScoredMove> generated(const PositionState& st, ScoredMove* (*gen)(const PositionState&, ScoredMove*)) {
  ScoredMove list[MAX_GENERATED];
  return std::vector<ScoredMove>(list, gen(st, list));
}
