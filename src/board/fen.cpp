#include "board/fen.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/verify.h"
#include "board/movetext.h"

namespace {

constexpr int FEN_FIELDS = 5;
constexpr uint8_t EMPTY_FLAGS = NO_FILE << FLAG_EP_SHIFT;
constexpr int MAX_PIECES_PER_SIDE = 16;
constexpr int MAX_PAWNS_PER_SIDE = 8;

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void clearState(PositionState& st) {
  std::memset(&st, 0, sizeof st);
  st.castleFiles = NO_CASTLING;
  st.flags = EMPTY_FLAGS;
}

void placePiece(PositionState& st, PieceType t, bool white, Square s) {
  st.pieces[ALL_PIECES] |= squareBB(s);
  st.pieces[t] |= squareBB(s);
  if (white) st.pieces[OWN_PIECES] |= squareBB(s);
}

// Squares are counted in FEN order (a8 first); a placement that runs past
// the last square loses its excess.
void readPlacement(PositionState& st, const char* text) {
  int counter = 0;
  for (const char* p = text; *p && counter < 64; ++p) {
    char c = *p;
    if (c >= '1' && c <= '8') {
      counter += c - '0';
      continue;
    }
    if (c == '/') continue;
    PieceType t = PAWN;
    bool white = true;
    switch (c) {
      case 'K': t = KING; break;
      case 'Q': t = QUEEN; break;
      case 'R': t = ROOK; break;
      case 'B': t = BISHOP; break;
      case 'N': t = KNIGHT; break;
      case 'k': t = KING; white = false; break;
      case 'q': t = QUEEN; white = false; break;
      case 'r': t = ROOK; white = false; break;
      case 'b': t = BISHOP; white = false; break;
      case 'n': t = KNIGHT; white = false; break;
      case 'p': white = false; break;
      default: break;
    }
    placePiece(st, t, white, counter ^ 56);
    ++counter;
  }
}

// Board still in white's view here: own pieces are white. A right is kept
// only when its king stands on the back rank and its rook on that file.
void readCastling(PositionState& st, const char* text) {
  if (!text || *text == '-') return;
  const Bitboard white = st.pieces[OWN_PIECES], black = st.pieces[ALL_PIECES] & ~white;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    bool isWhite;
    int file;
    if (c == 'K' || c == 'Q') {
      isWhite = true;
      file = c == 'K' ? 7 : 0;
    } else if (c == 'k' || c == 'q') {
      isWhite = false;
      file = c == 'k' ? 7 : 0;
    } else if (c >= 'A' && c <= 'H') {
      isWhite = true;
      file = c - 'A';
    } else if (c >= 'a' && c <= 'h') {
      isWhite = false;
      file = c - 'a';
    } else {
      continue;
    }
    Bitboard side = isWhite ? white : black;
    int backRank = isWhite ? 0 : 7;
    Bitboard kings = st.pieces[KING] & side;
    int kingFile = kings ? fileOf(lsb(kings)) : 0;
    Bitboard backRooks = st.pieces[ROOK] & side & rankBB(backRank);
    if (c == 'K' || c == 'k' || c == 'Q' || c == 'q') {
      // K and Q name the outermost rook on that side of the king.
      Bitboard beyond = (c == 'K' || c == 'k') ? backRooks & ~((squareBB(kingFile + 8 * backRank) << 1) - 1)
                                               : backRooks & (squareBB(kingFile + 8 * backRank) - 1);
      if (!beyond) continue;
      file = fileOf((c == 'K' || c == 'k') ? msb(beyond) : lsb(beyond));
    }
    bool queenSide = file <= kingFile;
    bool kingInPlace = kings & rankBB(backRank);
    bool rookInPlace = st.pieces[ROOK] & side & squareBB(file + 8 * backRank);
    if (!kingInPlace || !rookInPlace) continue;
    int shift = (isWhite ? 0 : 8) + (queenSide ? 4 : 0);
    st.castleFiles = uint16_t((st.castleFiles & ~(15 << shift)) | file << shift);
  }
}

// The file counts only when an enemy pawn stands where a double step ends,
// the two squares it passed are empty, and an own pawn can take it.
void readEnPassant(PositionState& st, const char* text, bool blackToMove) {
  if (!text || text[0] < 'a' || text[0] > 'h') return;
  const int file = text[0] - 'a';
  const Bitboard white = st.pieces[OWN_PIECES], black = st.pieces[ALL_PIECES] & ~white;
  const Bitboard pawns = st.pieces[PAWN], all = st.pieces[ALL_PIECES];
  bool possible;
  if (!blackToMove)
    possible = (pawns & black & squareBB(32 + file)) && !(all & (squareBB(40 + file) | squareBB(48 + file))) &&
               (pawns & white & epNeighbours5[file]);
  else
    possible = (pawns & white & squareBB(24 + file)) && !(all & (squareBB(16 + file) | squareBB(8 + file))) &&
               (pawns & black & epNeighbours4[file]);
  if (possible) st.flags = uint8_t((st.flags & 0x0F) | file << FLAG_EP_SHIFT);
}

void mirrorForBlack(PositionState& st) {
  Bitboard black = st.pieces[ALL_PIECES] ^ st.pieces[OWN_PIECES];
  for (int i = ALL_PIECES; i <= KING; ++i) st.pieces[i] = flipBB(st.pieces[i]);
  st.pieces[OWN_PIECES] = flipBB(black);
  st.castleFiles = uint16_t(st.castleFiles << 8 | st.castleFiles >> 8);
  st.flags |= FLAG_BLACK;
}

bool materialReachable(const PositionState& st, Bitboard side) {
  if (popcount(side) > MAX_PIECES_PER_SIDE) return false;
  int pawns = popcount(st.pieces[PAWN] & side);
  if (pawns > MAX_PAWNS_PER_SIDE) return false;
  const int start[7] = {0, 0, 2, 2, 2, 1, 1};
  int promoted = 0;
  for (PieceType t = KNIGHT; t <= QUEEN; ++t) {
    int extra = popcount(st.pieces[t] & side) - start[t];
    if (extra > 0) promoted += extra;
  }
  return promoted <= MAX_PAWNS_PER_SIDE - pawns;
}

// What keeps the move generator from working on this board, if anything:
// one king each, no pawn on a back rank, material a game can reach, and the
// side not to move not in check.
SetupError boardError(const PositionState& st) {
  const Bitboard own = ownPieces(st), enemy = enemyPieces(st);
  const bool black = isBlackToMove(st);
  const Bitboard white = black ? enemy : own, blackSide = black ? own : enemy;
  const int whiteKings = popcount(st.pieces[KING] & white), blackKings = popcount(st.pieces[KING] & blackSide);
  if (whiteKings == 0) return SETUP_NO_WHITE_KING;
  if (blackKings == 0) return SETUP_NO_BLACK_KING;
  if (whiteKings > 1) return SETUP_WHITE_KINGS;
  if (blackKings > 1) return SETUP_BLACK_KINGS;
  if (st.pieces[PAWN] & (rankBB(0) | rankBB(7))) return SETUP_BACK_RANK_PAWN;
  if (!materialReachable(st, white)) return SETUP_WHITE_MATERIAL;
  if (!materialReachable(st, blackSide)) return SETUP_BLACK_MATERIAL;
  // The opponent's view: the board turned over.
  PositionState other = st;
  for (int i = ALL_PIECES; i <= KING; ++i) other.pieces[i] = flipBB(st.pieces[i]);
  other.pieces[OWN_PIECES] = flipBB(enemy);
  return kingInCheck(other) ? SETUP_SIDE_NOT_TO_MOVE_IN_CHECK : SETUP_OK;
}

// The move the word names if it is legal here, else MOVE_NONE.
Move legalMoveFromText(const PositionState& st, const char* word) {
  Move wanted = uciToMove(st, word);
  if (wanted == MOVE_NONE) return MOVE_NONE;
  // A fifth character is a promotion letter, and only on a promotion.
  if (word[4] && (!std::strchr("nbrq", word[4]) || !(wanted & MOVE_PROMOTION))) return MOVE_NONE;
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(st, list);
  for (ScoredMove* m = list; m != end; ++m)
    if (withoutCheck(m->move) == withoutCheck(wanted)) return m->move;
  return MOVE_NONE;
}

}  // namespace

void playGameMove(Position& pos, Move move) {
  pos.previousMove = pos.lastMove;
  pos.lastMove = move;
  // Keep room for the search above the game's reversible tail.
  if (pos.state - pos.stateStack >= MAX_GAME_TAIL - 1) {
    std::memmove(pos.stateStack, pos.stateStack + 1, (MAX_GAME_TAIL - 1) * sizeof(PositionState));
    --pos.state;
  }
  makeMove(pos, move, nullptr);
  // Nothing before an irreversible move can repeat: the game restarts there.
  if (pos.state->rule50 == 0) {
    pos.stateStack[0] = *pos.state;
    pos.state = pos.stateStack;
  }
}

const char* setupErrorText(SetupError error) {
  switch (error) {
    case SETUP_OK: return "no error";
    case SETUP_NO_WHITE_KING: return "white has no king";
    case SETUP_NO_BLACK_KING: return "black has no king";
    case SETUP_WHITE_KINGS: return "white has more than one king";
    case SETUP_BLACK_KINGS: return "black has more than one king";
    case SETUP_BACK_RANK_PAWN: return "a pawn stands on the first or last rank";
    case SETUP_WHITE_MATERIAL: return "white has more material than a game can reach";
    case SETUP_BLACK_MATERIAL: return "black has more material than a game can reach";
    case SETUP_SIDE_NOT_TO_MOVE_IN_CHECK: return "the side not to move is in check";
    case SETUP_ILLEGAL_MOVE: return "illegal move";
  }
  return "unknown error";
}

SetupResult setUpPosition(Position& pos, const char* fen, const char* moves) {
  SetupResult result{};
  pos.state = pos.stateStack;
  PositionState& st = pos.stateStack[0];
  clearState(st);
  pos.lastMove = pos.previousMove = MOVE_NONE;

  char buffer[MAX_FEN_LENGTH + 1];
  std::strncpy(buffer, fen ? fen : "", MAX_FEN_LENGTH);
  buffer[MAX_FEN_LENGTH] = 0;
  const char* fields[FEN_FIELDS] = {};
  int count = 0;
  for (char* p = buffer; *p && count < FEN_FIELDS;) {
    while (isSpace(*p)) *p++ = 0;
    if (!*p) break;
    fields[count++] = p;
    while (*p && !isSpace(*p)) ++p;
  }
  const bool blackToMove = fields[1] && fields[1][0] == 'b';
  if (fields[0]) readPlacement(st, fields[0]);
  readCastling(st, fields[2]);
  readEnPassant(st, fields[3], blackToMove);
  if (fields[4]) st.rule50 = uint8_t(std::atoi(fields[4]));
  if (blackToMove) mirrorForBlack(st);
  result.error = boardError(st);
  if (result.error != SETUP_OK) {
    // Nothing can be searched there; the start position keeps pos sound.
    setUpPosition(pos, START_FEN, nullptr);
    return result;
  }
  st.key = computeKey(st);
  if (kingInCheck(st)) st.flags |= FLAG_IN_CHECK;

  int applied = 0;
  for (const char* p = moves; p && *p;) {
    while (isSpace(*p)) ++p;
    const char* word = p;
    while (*p && !isSpace(*p)) ++p;
    const int length = int(p - word);
    if (length == 0) break;
    char text[6] = {};
    Move move = MOVE_NONE;
    if (length <= 5) {
      std::memcpy(text, word, length);
      move = legalMoveFromText(*pos.state, text);
    }
    if (move == MOVE_NONE) {
      result.error = SETUP_ILLEGAL_MOVE;
      result.moveNumber = applied + 1;
      const int kept = std::min(length, int(sizeof result.moveText) - 1);
      std::memcpy(result.moveText, word, kept);
      result.moveText[kept] = 0;
      break;
    }
    playGameMove(pos, move);
    ++applied;
  }
  result.gameMoves = applied / 2;
  // Debug builds check every board set up, as makeMove checks every move.
  assert(isConsistent(*pos.state));
  return result;
}

int setPosition(Position& pos, const char* fen, const char* moves) {
  return setUpPosition(pos, fen, moves).gameMoves;
}
