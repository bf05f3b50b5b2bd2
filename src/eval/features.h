// Input features of the network: which L1 rows are active for one
// perspective of a position, and how the feature codes that makeMove records
// translate into rows. Perspective 0 is the side to move, 1 the other side;
// every square is taken in the perspective's own orientation.
#pragma once

#include <cstdint>

#include "board/types.h"

// Input rows: ten piece kinds x 64 squares x 64 king squares, then the two
// castling-right rows of the perspective's own side.
constexpr int FEATURE_ROW_KING_SIDE = 40960;
constexpr int FEATURE_ROW_QUEEN_SIDE = 40961;
constexpr int FEATURE_ROWS = 40962;

// Room for the active rows of one perspective: a legal position has at most
// 32; this bound holds for any bitboards at all.
constexpr int MAX_ACTIVE_ROWS = 5 * 64 + 2;

// Row of a piece of kind 0..9 (own pawn..queen, then the opponent's) on
// square with the perspective's king on king.
constexpr int pieceRow(int kind, Square square, Square king) { return kind * 4096 + square * 64 + king; }

// The perspective's king square in its own orientation (a1 for a side
// without a king, which only a broken set-up can produce).
inline Square perspectiveKing(const PositionState& st, int perspective) {
  Bitboard king = st.pieces[KING] & (perspective == 0 ? ownPieces(st) : enemyPieces(st));
  Square square = king ? lsb(king) : 0;
  return perspective == 0 ? square : square ^ 56;
}

// Writes the active rows of one perspective; returns their number.
int activeRows(const PositionState& st, int perspective, int* rows);

// Row for a code recorded by a move, for a perspective whose side made the
// move (moverIsPerspective) or did not; -1 when the code does not concern this
// perspective (the other side's castling right).
inline int deltaRow(uint32_t code, bool moverIsPerspective, Square king) {
  switch (code) {
    case CODE_OWN_KING_SIDE: return moverIsPerspective ? FEATURE_ROW_KING_SIDE : -1;
    case CODE_OWN_QUEEN_SIDE: return moverIsPerspective ? FEATURE_ROW_QUEEN_SIDE : -1;
    case CODE_ENEMY_KING_SIDE: return moverIsPerspective ? -1 : FEATURE_ROW_KING_SIDE;
    case CODE_ENEMY_QUEEN_SIDE: return moverIsPerspective ? -1 : FEATURE_ROW_QUEEN_SIDE;
    default: break;
  }
  if (moverIsPerspective) return int(code) * 64 + king;
  int kind = (int(code) / 64 + 5) % 10;
  return pieceRow(kind, Square(code % 64) ^ 56, king);
}
