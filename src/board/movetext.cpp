#include "board/movetext.h"

#include "board/exchange.h"

namespace {

constexpr char PROMOTION_LETTERS[6] = {0, 0, 'n', 'b', 'r', 'q'};

inline bool isFileChar(char c) { return c >= 'a' && c <= 'h'; }
inline bool isRankChar(char c) { return c >= '1' && c <= '8'; }

}  // namespace

void moveToUci(const PositionState& st, Move move, bool chess960, char* out) {
  const int flip = isBlackToMove(st) ? 7 : 0;
  Square from = moveFrom(move), to = moveTo(move);
  // Chess960 writes castling as the king taking its own rook.
  if ((move & MOVE_CASTLE) && chess960)
    to = to == 6 ? (st.castleFiles & 15) : (st.castleFiles >> 4 & 15);
  out[0] = char('a' + fileOf(from));
  out[1] = char('1' + (rankOf(from) ^ flip));
  out[2] = char('a' + fileOf(to));
  out[3] = char('1' + (rankOf(to) ^ flip));
  PieceType promotion = movePromotion(move);
  int length = 4;
  if (promotion >= KNIGHT && promotion <= QUEEN) out[length++] = PROMOTION_LETTERS[promotion];
  out[length] = 0;
}

Move uciToMove(const PositionState& st, const char* text) {
  if (!text || !isFileChar(text[0]) || !isRankChar(text[1]) || !isFileChar(text[2]) || !isRankChar(text[3]))
    return MOVE_NONE;
  const int flip = isBlackToMove(st) ? 56 : 0;
  Square from = ((text[1] - '1') * 8 + (text[0] - 'a')) ^ flip;
  Square to = ((text[3] - '1') * 8 + (text[2] - 'a')) ^ flip;
  const Bitboard own = ownPieces(st);
  Move move;
  if ((st.pieces[ROOK] & own & squareBB(to)) && (st.pieces[KING] & own & squareBB(from))) {
    // King takes own rook: castling towards that rook.
    Square kingTo = to == (st.castleFiles & 15) ? 6 : 2;
    move = makeMoveWord(KING, from, kingTo, NO_PIECE, NO_PIECE, MOVE_CASTLE);
  } else {
    PieceType promotion = NO_PIECE;
    switch (text[4]) {
      case 'q': promotion = QUEEN; break;
      case 'r': promotion = ROOK; break;
      case 'b': promotion = BISHOP; break;
      case 'n': promotion = KNIGHT; break;
      default: break;
    }
    PieceType captured = pieceOn(st, to);
    PieceType piece = pieceOn(st, from);
    Move flags = 0;
    if (piece == PAWN) {
      if (to > 55) {
        flags |= MOVE_PROMOTION;
      } else if (epFile(st) != NO_FILE && to == 40 + epFile(st)) {
        flags |= MOVE_EN_PASSANT;
        captured = PAWN;
      }
    } else if (piece == KING && (from - to == 2 || to - from == 2)) {
      flags |= MOVE_CASTLE;
    }
    if (captured) flags |= MOVE_CAPTURE;
    if (!(flags & MOVE_PROMOTION)) promotion = NO_PIECE;
    move = makeMoveWord(piece, from, to, captured, promotion, flags);
  }
  setGivesCheck(st, &move);
  return move;
}
