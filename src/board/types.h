// Board vocabulary shared by every subsystem: squares, bitboards, piece codes,
// the 32-bit move word, the per-ply board record and the position stack.
//
// The board is always stored from the side to move's point of view: after
// every move the whole board is mirrored top to bottom, so the side to move
// always plays upwards from rank 0 and its promotions happen on rank 7.
#pragma once

#include <cstddef>
#include <cstdint>

using Bitboard = uint64_t;
using Square = int;     // file + 8 * rank, rank 0 = the mover's back rank
using PieceType = int;  // NO_PIECE .. KING; colour follows from OWN_PIECES
using Move = uint32_t;  // see the field accessors below

constexpr PieceType NO_PIECE = 0;
constexpr PieceType PAWN = 1;
constexpr PieceType KNIGHT = 2;
constexpr PieceType BISHOP = 3;
constexpr PieceType ROOK = 4;
constexpr PieceType QUEEN = 5;
constexpr PieceType KING = 6;

// Slots of PositionState::pieces besides the six piece types.
constexpr int ALL_PIECES = 0;
constexpr int OWN_PIECES = 7;

constexpr int NO_FILE = 8;
constexpr uint16_t NO_CASTLING = 0x8888;

// PositionState::flags
constexpr uint8_t FLAG_REPETITION = 1;  // key seen before within the rule50 window
constexpr uint8_t FLAG_IN_CHECK = 4;    // side to move is in check
constexpr uint8_t FLAG_BLACK = 8;       // black to move: the stored board is mirrored
constexpr int FLAG_EP_SHIFT = 4;        // en-passant file in bits 4..7, NO_FILE if none

// Move word: piece 0..2, from 3..8, to 9..14, captured 15..17, promotion
// 18..20, then five flags. Bits 26..31 are always zero.
constexpr Move MOVE_CAPTURE = 1u << 21;
constexpr Move MOVE_EN_PASSANT = 1u << 22;
constexpr Move MOVE_PROMOTION = 1u << 23;
constexpr Move MOVE_CASTLE = 1u << 24;
constexpr Move MOVE_CHECK = 1u << 25;
constexpr Move MOVE_NONE = 0;

constexpr PieceType movePiece(Move m) { return PieceType(m & 7); }
constexpr Square moveFrom(Move m) { return Square((m >> 3) & 63); }
constexpr Square moveTo(Move m) { return Square((m >> 9) & 63); }
constexpr PieceType moveCaptured(Move m) { return PieceType((m >> 15) & 7); }
constexpr PieceType movePromotion(Move m) { return PieceType((m >> 18) & 7); }

constexpr Move makeMoveWord(PieceType piece, Square from, Square to, PieceType captured = NO_PIECE,
                            PieceType promotion = NO_PIECE, Move flags = 0) {
  return Move(piece) | Move(from) << 3 | Move(to) << 9 | Move(captured) << 15 |
         Move(promotion) << 18 | flags;
}

// Killer and counter-move comparisons ignore the check flag.
constexpr Move withoutCheck(Move m) { return m & ~MOVE_CHECK; }

static_assert(makeMoveWord(KING, 4, 6, NO_PIECE, NO_PIECE, MOVE_CASTLE) == 0x1000C26);
static_assert(makeMoveWord(KING, 4, 2, NO_PIECE, NO_PIECE, MOVE_CASTLE) == 0x1000426);
static_assert(makeMoveWord(PAWN, 33, 41, PAWN, NO_PIECE, MOVE_CAPTURE | MOVE_EN_PASSANT) ==
              33 * 8 + 41 * 512 + 0x608001);

// Square helpers. Mirroring a square vertically flips its rank.
constexpr int fileOf(Square s) { return s & 7; }
constexpr int rankOf(Square s) { return s >> 3; }
constexpr Square mirrorSquare(Square s) { return s ^ 56; }
constexpr Bitboard squareBB(Square s) { return Bitboard(1) << s; }

constexpr Bitboard FILE_A_BB = 0x0101010101010101ULL;
constexpr Bitboard FILE_H_BB = FILE_A_BB << 7;
constexpr Bitboard RANK_1_BB = 0xFFULL;
constexpr Bitboard rankBB(int rank) { return RANK_1_BB << (8 * rank); }
constexpr Bitboard fileBB(int file) { return FILE_A_BB << file; }

inline Square lsb(Bitboard b) { return Square(__builtin_ctzll(b)); }
inline Square msb(Bitboard b) { return Square(63 ^ __builtin_clzll(b)); }
inline int popcount(Bitboard b) { return __builtin_popcountll(b); }
inline Square popLsb(Bitboard& b) {
  Square s = lsb(b);
  b &= b - 1;
  return s;
}
// Vertical mirror of a whole board.
inline Bitboard flipBB(Bitboard b) { return __builtin_bswap64(b); }

// The full board of one ply, copied whole when a move is made. It holds no
// piece-on-square array: the type on a square is found by testing pieces[1..6]
// in order. castleFiles keeps four castling rook files (mover king side in
// bits 0..3, mover queen side 4..7, opponent king side 8..11, opponent queen
// side 12..15), NO_FILE where the right is gone; the two bytes swap at every
// move because the board is mirrored.
struct PositionState {
  Bitboard pieces[8];  // ALL_PIECES, PAWN .. KING (either colour), OWN_PIECES
  uint64_t key;        // Zobrist key
  uint16_t castleFiles;
  uint8_t flags;
  uint8_t rule50;  // plies since the last capture or pawn move (wraps at 256)
  uint32_t reserved;
};
static_assert(sizeof(PositionState) == 80, "PositionState is copied as an 80-byte record");

inline Bitboard ownPieces(const PositionState& st) { return st.pieces[OWN_PIECES]; }
inline Bitboard enemyPieces(const PositionState& st) {
  return st.pieces[ALL_PIECES] ^ st.pieces[OWN_PIECES];
}
inline bool isBlackToMove(const PositionState& st) { return st.flags & FLAG_BLACK; }
inline bool isInCheck(const PositionState& st) { return st.flags & FLAG_IN_CHECK; }
inline int epFile(const PositionState& st) { return st.flags >> FLAG_EP_SHIFT; }

// Piece type standing on a square, NO_PIECE when empty (pawn tested first).
inline PieceType pieceOn(const PositionState& st, Square s) {
  Bitboard b = squareBB(s);
  for (PieceType t = PAWN; t <= KING; ++t)
    if (st.pieces[t] & b) return t;
  return NO_PIECE;
}

// A state stack holds the reversible tail of the game plus the search path.
// Making a move copies the current record into the next slot; taking it back
// only steps the pointer down.
constexpr int STATE_STACK_SIZE = 612;
// Deepest ply the search may reach; the per-ply arrays hold this many entries.
constexpr int MAX_PLY = 256;
// Most records of game history a position command keeps below the search.
constexpr int MAX_GAME_TAIL = STATE_STACK_SIZE - MAX_PLY - 8;

// A board with its game: the state stack, the last two moves of the game's
// move list (MOVE_NONE where fewer), which the search's counter-move and
// continuation tables start from, and whether castling follows the Chess960
// rules, which move text and the evaluation's corner-bishop term read. Set-up
// and game moves keep the history; the owner sets the Chess960 flag.
struct Position {
  PositionState stateStack[STATE_STACK_SIZE];
  PositionState* state;
  Move lastMove = MOVE_NONE;
  Move previousMove = MOVE_NONE;
  bool chess960 = false;
};

// A generated move with its signed sort key; 8 bytes, key in the low half.
struct ScoredMove {
  int32_t key;
  Move move;
};
static_assert(sizeof(ScoredMove) == 8);

// Room for every legal move of any chess position (the maximum is 218) plus
// the generators' pseudo-legal surplus.
constexpr int MAX_MOVES = 256;
constexpr int MAX_GENERATED = 263;

// Input-feature changes of one move, recorded by makeMove for the network.
// Feature codes are in the mover's orientation: 64*(t-1)+s for a mover's
// piece of type t on s, 64*(t+4)+s for an opponent's piece, and the castling
// codes 1024 (mover king side), 4096 (mover queen side), 2048 and 8192 (the
// opponent's). Kings are never features.
constexpr uint32_t CODE_OWN_KING_SIDE = 1024;
constexpr uint32_t CODE_ENEMY_KING_SIDE = 2048;
constexpr uint32_t CODE_OWN_QUEEN_SIDE = 4096;
constexpr uint32_t CODE_ENEMY_QUEEN_SIDE = 8192;

struct NnueDelta {
  uint8_t kingMoved;  // the mover's king left its square
  int32_t addedCount;
  int32_t removedCount;
  uint32_t added[8];
  uint32_t removed[8];
};
