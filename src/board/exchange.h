// Exact tests on single moves: exchange value, check detection and the
// validation of moves remembered by the hash table, killers and counters.
#pragma once

#include "board/types.h"

extern const int seeValue[8];  // by PieceType: 0, 100, 300, 300, 500, 1000, 2000

using TTMove = uint16_t;  // 15-bit move of a hash-table slot

int staticExchange(const PositionState& st, Move move);
void setGivesCheck(const PositionState& st, Move* move);
bool isPseudoLegalTTMove(const PositionState& st, TTMove ttMove);
Move expandTTMove(const PositionState& st, TTMove ttMove);
Move validateTTMove(const PositionState& st, TTMove ttMove);
bool isPseudoLegal(const PositionState& st, Move move);

// Packs a full move into the 15-bit table form.
inline TTMove toTTMove(Move m) {
  TTMove t = TTMove((m >> 3) & 0xFFF);
  if (m & MOVE_PROMOTION) return TTMove(t | (movePromotion(m) - 2) << 12 | 1 << 14);
  return TTMove(t | ((m & MOVE_EN_PASSANT) ? 1 << 13 : 0) | ((m & MOVE_CASTLE) ? 1 << 12 : 0));
}
