// The Polyglot book probe over a fuzzed book file: whatever the bytes (any
// length, unsorted keys, zero weights, moves onto any square), a lookup
// returns no move or a legal one, with the heaviest and the random choice.
#include "board/attacks.h"
#include "board/fen.h"
#include "book/polyglot.h"
#include "fuzz_support.h"

// Positions whose keys the seed books hold: the start, a few plies in,
// castling both ways, en passant, promotions, Chess960 rights, black to move.
static const char* const POSITIONS[] = {
    START_FEN,
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "1n2k3/P1P5/8/8/8/8/4Kp1p/6N1 b - - 0 1",
    "rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1",
};

static Position* positions;
static MemoryFile* book;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  initAttacks();
  positions = new Position[std::size(POSITIONS)];
  for (size_t i = 0; i < std::size(POSITIONS); ++i) setPosition(positions[i], POSITIONS[i], nullptr);
  book = new MemoryFile;
  return 0;
}

static bool isLegal(const PositionState& st, Move move) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(st, list);
  for (ScoredMove* m = list; m != end; ++m)
    if (m->move == move) return true;
  return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  book->replace(data, size);
  for (size_t i = 0; i < std::size(POSITIONS); ++i) {
    const PositionState& st = *positions[i].state;
    for (bool random : {false, true}) {
      Move move = legalBookMove(st, book->path(), random);
      FUZZ_CHECK(move == MOVE_NONE || isLegal(st, move));
    }
  }
  return 0;
}
