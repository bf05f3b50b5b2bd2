// Board records of the tablebase generator's positions, for the tests that
// probe them: squares in the table's colours (white first), absolute.
#pragma once

#include "board/verify.h"
#include "layout.h"
#include "moves.h"

// The record with stm to move and no castling or en-passant rights, or
// false when pieces share a square or the side not to move stands in check.
// With skipTransposed, a pawnless position whose white king stands on the
// long diagonal is refused when its transposition is the one kept (the
// first piece off the diagonal is above it), so that each position counts
// once.
inline bool tablePosition(const PieceList& list, const int* squares, int stm, bool skipTransposed,
                          PositionState& st) {
  TbBoard b;
  std::copy(squares, squares + list.n, b.sq);
  setBoard(list, b);
  if (!piecesApart(list, b) || kingAttacked(list, b, stm ^ 1)) return false;
  if (skipTransposed && list.pawns == 0 && rankOf(squares[0]) == fileOf(squares[0]))
    for (int i = 1; i < list.n; ++i)
      if (rankOf(squares[i]) != fileOf(squares[i])) {
        if (rankOf(squares[i]) > fileOf(squares[i])) return false;
        break;
      }
  st = PositionState{};
  const int flip = stm == BLACK ? 56 : 0;
  for (int i = 0; i < list.n; ++i) {
    const Bitboard s = squareBB(squares[i] ^ flip);
    st.pieces[ALL_PIECES] |= s;
    st.pieces[list.type[i]] |= s;
    if (list.colour[i] == stm) st.pieces[OWN_PIECES] |= s;
  }
  st.castleFiles = NO_CASTLING;
  st.flags = uint8_t(NO_FILE << FLAG_EP_SHIFT | (stm == BLACK ? FLAG_BLACK : 0));
  if (kingInCheck(st)) st.flags |= FLAG_IN_CHECK;
  st.key = computeKey(st);
  return true;
}
