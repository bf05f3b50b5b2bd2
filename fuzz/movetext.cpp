// UCI move text in both directions. The first byte picks a position and the
// castling notation, the rest is the word. Any word gives either no move or
// a well-formed one; a word that names a legal move is played as the
// position command would play it; every legal move's text reads back as
// that same move.
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "board/movetext.h"
#include "fuzz_support.h"

// Castling both ways and in Chess960, en passant, promotions with and
// without capture, check evasions, black to move.
static const char* const POSITIONS[] = {
    START_FEN,
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1",
    "rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1",
    "1r1k2r1/8/8/8/8/8/8/1R1K2R1 b GBgb - 0 1",
    "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
    "1n2k3/P1P5/8/8/8/8/4Kp1p/6N1 w - - 0 1",
    "1n2k3/P1P5/8/8/8/8/4Kp1p/6N1 b - - 0 1",
    "4k3/8/8/8/8/8/8/r3K3 w - - 0 1",
};
static constexpr int POSITION_COUNT = sizeof POSITIONS / sizeof POSITIONS[0];

static Position* position;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  initAttacks();
  position = new Position;
  return 0;
}

static bool wellFormed(Move m) {
  return movePiece(m) >= PAWN && movePiece(m) <= KING && moveFrom(m) < 64 && moveTo(m) < 64 &&
         moveCaptured(m) <= KING && movePromotion(m) <= QUEEN;
}

static bool matchingLegal(const PositionState& st, Move move) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(st, list);
  for (ScoredMove* m = list; m != end; ++m)
    if (m->move == move) return true;
  return false;
}

// The move's text reads back as the same move. Without UCI_Chess960 a
// castling move is written as the king's step to g1 or c1, which reads back
// only from the standard king square: in Chess960 positions the controller
// has to switch the option on.
static bool readsBack(const PositionState& st, Move move, bool chess960) {
  char text[8];
  moveToUci(st, move, chess960, text);
  if ((move & MOVE_CASTLE) && !chess960 && text[0] != 'e') return true;
  return uciToMove(st, text) == move;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* fen = POSITIONS[(data[0] >> 1) % POSITION_COUNT];
  const bool chess960 = data[0] & 1;
  // One word: up to the first blank, at most 15 bytes.
  char word[16] = {};
  for (size_t i = 1; i < size && i < sizeof word && !std::strchr(" \t\r\n", data[i]); ++i) word[i - 1] = char(data[i]);

  FUZZ_CHECK(setUpPosition(*position, fen, nullptr).error == SETUP_OK);
  const PositionState root = *position->state;
  char text[8];
  Move parsed = uciToMove(root, word);
  if (parsed != MOVE_NONE && movePiece(parsed) != NO_PIECE) {
    FUZZ_CHECK(wellFormed(parsed));
    moveToUci(root, parsed, chess960, text);
    FUZZ_CHECK(std::strlen(text) == 4 || std::strlen(text) == 5);
  }

  // The word as a move list: played only when it names a legal move.
  SetupResult played = setUpPosition(*position, fen, word);
  if (played.error == SETUP_OK && word[0]) {
    FUZZ_CHECK(position->lastMove != MOVE_NONE);
    FUZZ_CHECK(matchingLegal(root, position->lastMove));
    FUZZ_CHECK(readsBack(root, position->lastMove, chess960));
  }
  checkPositionSound(*position);

  // Every legal move's text names exactly that move.
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(root, list);
  for (ScoredMove* m = list; m != end; ++m) FUZZ_CHECK(readsBack(root, m->move, chess960));
  return 0;
}
