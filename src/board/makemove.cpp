#include "board/makemove.h"

#include <cassert>

#include "board/attacks.h"
#include "board/castling.h"
#include "board/verify.h"

namespace {

constexpr uint32_t FEATURE_ROOK = 64 * (ROOK - 1);
constexpr int REPETITION_FIRST_DISTANCE = 4;

inline uint64_t ownKey(int black, PieceType t, Square s) { return zobristKeys[64 * (t + 8 * black) + s]; }
inline uint64_t enemyKey(int black, PieceType t, Square s) {
  return zobristKeys[(64 * (t + 8 * (1 - black)) + s) ^ 56];
}

inline void noteRemoved(NnueDelta* delta, uint32_t code) {
  if (delta) delta->removed[delta->removedCount++] = code;
}
inline void noteAdded(NnueDelta* delta, uint32_t code) {
  if (delta) delta->added[delta->addedCount++] = code;
}

// Turns the record over to the other side: the board is flipped top to
// bottom so the new mover again plays up the board.
inline void mirror(PositionState& st) {
  Bitboard enemy = st.pieces[ALL_PIECES] ^ st.pieces[OWN_PIECES];
  for (int i = ALL_PIECES; i <= KING; ++i) st.pieces[i] = flipBB(st.pieces[i]);
  st.pieces[OWN_PIECES] = flipBB(enemy);
  st.castleFiles = uint16_t(st.castleFiles << 8 | st.castleFiles >> 8);
  st.flags ^= FLAG_BLACK;
  st.key ^= zobristKeys[ZOBRIST_BLACK];
}

inline void clearEnPassant(PositionState& st) {
  int file = epFile(st);
  if (file != NO_FILE) {
    st.key ^= zobristKeys[ZOBRIST_EN_PASSANT + file];
    st.flags = uint8_t((st.flags & 0x0F) | NO_FILE << FLAG_EP_SHIFT);
  }
}

}  // namespace

void makeMove(Position& pos, Move move, NnueDelta* delta) {
  const PositionState* old = pos.state;
  PositionState& st = *++pos.state;
  st = *old;
  const int black = (old->flags & FLAG_BLACK) ? 1 : 0;
  const PieceType piece = movePiece(move);
  const Square from = moveFrom(move), to = moveTo(move);
  const Bitboard fromTo = squareBB(from) | squareBB(to);
  st.flags = uint8_t((st.flags & ~(FLAG_IN_CHECK | FLAG_REPETITION)) | ((move & MOVE_CHECK) ? FLAG_IN_CHECK : 0));
  if (delta) {
    delta->kingMoved = piece == KING && from != to;
    delta->addedCount = 0;
    delta->removedCount = 0;
  }
  uint64_t key = st.key;

  if (move & MOVE_CAPTURE) {
    const PieceType captured = moveCaptured(move);
    const Square c = (move & MOVE_EN_PASSANT) ? to - 8 : to;
    st.pieces[ALL_PIECES] ^= squareBB(c);
    st.pieces[captured] ^= squareBB(c);
    key ^= enemyKey(black, captured, c);
    noteRemoved(delta, 64 * (captured + 4) + c);
    // Taking a rook on its corner ends the opponent's right on that side.
    const int kingSideFile = st.castleFiles >> 8 & 15, queenSideFile = st.castleFiles >> 12;
    if (kingSideFile != NO_FILE && c == 56 + kingSideFile) {
      st.castleFiles = uint16_t((st.castleFiles & 0xF0FF) | NO_FILE << 8);
      key ^= zobristKeys[ZOBRIST_CASTLING + 1 - black];
      noteRemoved(delta, CODE_ENEMY_KING_SIDE);
    } else if (queenSideFile != NO_FILE && c == 56 + queenSideFile) {
      st.castleFiles = uint16_t((st.castleFiles & 0x0FFF) | NO_FILE << 12);
      key ^= zobristKeys[ZOBRIST_CASTLING + 3 - black];
      noteRemoved(delta, CODE_ENEMY_QUEEN_SIDE);
    }
  }

  PieceType placed = piece;
  if (move & MOVE_CASTLE) {
    const bool kingSide = to == CASTLE_KING_TO[1];
    const Square rook = castleRookFile(*old, kingSide), rookTo = CASTLE_ROOK_TO[kingSide];
    const Bitboard kingPath = squareBB(from) ^ squareBB(to);
    const Bitboard rookPath = squareBB(rook) ^ squareBB(rookTo);
    st.pieces[KING] ^= kingPath;
    st.pieces[ROOK] ^= rookPath;
    st.pieces[OWN_PIECES] ^= rookPath ^ kingPath;
    st.pieces[ALL_PIECES] ^= rookPath ^ kingPath;
    key ^= ownKey(black, ROOK, rook) ^ ownKey(black, ROOK, rookTo);
    noteRemoved(delta, FEATURE_ROOK + rook);
    noteAdded(delta, FEATURE_ROOK + rookTo);
  } else {
    st.pieces[ALL_PIECES] ^= fromTo;
    st.pieces[OWN_PIECES] ^= fromTo;
    st.pieces[piece] ^= squareBB(from);
    if (move & MOVE_PROMOTION) placed = movePromotion(move);
    st.pieces[placed] ^= squareBB(to);
  }
  key ^= ownKey(black, piece, from) ^ ownKey(black, placed, to);
  if (piece != KING) {
    noteRemoved(delta, 64 * (piece - 1) + from);
    noteAdded(delta, 64 * (placed - 1) + to);
  }

  const int oldEp = epFile(*old);
  if (oldEp != NO_FILE) {
    key ^= zobristKeys[ZOBRIST_EN_PASSANT + oldEp];
    st.flags = uint8_t((st.flags & 0x0F) | NO_FILE << FLAG_EP_SHIFT);
  }

  const int kingSideFile = st.castleFiles & 15, queenSideFile = st.castleFiles >> 4 & 15;
  if (piece == ROOK) {
    if (kingSideFile != NO_FILE && from == kingSideFile) {
      st.castleFiles = uint16_t((st.castleFiles & 0xFFF0) | NO_FILE);
      key ^= zobristKeys[ZOBRIST_CASTLING + black];
      noteRemoved(delta, CODE_OWN_KING_SIDE);
    } else if (queenSideFile != NO_FILE && from == queenSideFile) {
      st.castleFiles = uint16_t((st.castleFiles & 0xFF0F) | NO_FILE << 4);
      key ^= zobristKeys[ZOBRIST_CASTLING + 2 + black];
      noteRemoved(delta, CODE_OWN_QUEEN_SIDE);
    }
  } else if (piece == KING) {
    if (kingSideFile != NO_FILE) {
      key ^= zobristKeys[ZOBRIST_CASTLING + black];
      noteRemoved(delta, CODE_OWN_KING_SIDE);
    }
    if (queenSideFile != NO_FILE) {
      key ^= zobristKeys[ZOBRIST_CASTLING + 2 + black];
      noteRemoved(delta, CODE_OWN_QUEEN_SIDE);
    }
    st.castleFiles = uint16_t((st.castleFiles & 0xFF00) | 0x0088);
  } else if (piece == PAWN && to == from + 16) {
    // Record the file only when an enemy pawn can really take en passant.
    if (st.pieces[PAWN] & ~st.pieces[OWN_PIECES] & epNeighbours4[to & 7]) {
      st.flags = uint8_t((st.flags & 0x0F) | (to & 7) << FLAG_EP_SHIFT);
      key ^= zobristKeys[ZOBRIST_EN_PASSANT + (to & 7)];
    }
  }

  st.key = key;
  mirror(st);

  if ((move & MOVE_CAPTURE) || piece == PAWN) {
    st.rule50 = 0;
    return;
  }
  ++st.rule50;
  const PositionState* base = pos.stateStack;
  const int depth = int(pos.state - base);
  const int reach = st.rule50 < depth ? st.rule50 : depth;
  for (int back = REPETITION_FIRST_DISTANCE; back <= reach; back += 2)
    if ((pos.state - back)->key == st.key) {
      st.flags |= FLAG_REPETITION;
      break;
    }
  // Debug builds check every record a move makes against a fresh
  // computation of its key and invariants.
  assert(isConsistent(st));
}

void makeNullMove(Position& pos) {
  const PositionState* old = pos.state;
  PositionState& st = *++pos.state;
  st = *old;
  mirror(st);
  clearEnPassant(st);
  st.flags &= uint8_t(~FLAG_REPETITION);
}
