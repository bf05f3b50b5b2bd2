#include "inputs.h"

int perspectiveRows(const TrainingPosition& p, int perspective, int32_t* rows) {
  // The perspective's colour and its orientation: its own back rank is rank 0.
  const bool black = p.blackToMove != (perspective == 1);
  const int flip = black ? 56 : 0;
  int king = 0;
  for (int s = 0; s < 64; ++s)
    if ((p.board[s] & 7) == KING && bool(p.board[s] & BLACK_PIECE) == black) king = s ^ flip;
  int count = 0;
  for (int s = 0; s < 64 && count < MAX_POSITION_ROWS - 2; ++s) {
    const uint8_t code = p.board[s];
    const int type = code & 7;
    if (!code || type == KING) continue;
    const bool own = bool(code & BLACK_PIECE) == black;
    const int kind = own ? type - 1 : type + 4;
    rows[count++] = kind * 4096 + (s ^ flip) * 64 + king;
  }
  const uint8_t kingSide = black ? CASTLE_BLACK_KING : CASTLE_WHITE_KING;
  const uint8_t queenSide = black ? CASTLE_BLACK_QUEEN : CASTLE_WHITE_QUEEN;
  if (p.castling & kingSide) rows[count++] = CASTLE_KING_ROW;
  if (p.castling & queenSide) rows[count++] = CASTLE_QUEEN_ROW;
  return count;
}
