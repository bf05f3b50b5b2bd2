#include "book/polyglot.h"

#include <cstdio>
#include <random>
#include <sys/stat.h>

#include "book/bookchoice.h"
#include "book/bookformat.h"
#include "book/random64.h"
#include "board/movegen.h"
#include "base/platform.h"

uint64_t polyglotKey(const PositionState& st) {
  bool black = isBlackToMove(st);
  // The stored board is the real one mirrored when black moves; colour
  // follows from whether the piece belongs to the side to move.
  int flip = black ? 56 : 0;
  Bitboard whitePieces = black ? enemyPieces(st) : ownPieces(st);
  uint64_t key = 0;
  for (Bitboard occupied = st.pieces[ALL_PIECES]; occupied;) {
    Square s = popLsb(occupied);
    PieceType type = pieceOn(st, s);
    int kind = 2 * (type - 1) + ((whitePieces & squareBB(s)) ? 1 : 0);
    key ^= POLYGLOT_RANDOM64[64 * kind + (s ^ flip)];
  }
  // Castling numbers are white short, white long, black short, black long;
  // the mover's rights sit in the low byte of castleFiles.
  int b = black ? 2 : 0;
  int rights[4] = {POLYGLOT_CASTLE_INDEX + b, POLYGLOT_CASTLE_INDEX + 1 + b,
                   POLYGLOT_CASTLE_INDEX + 2 - b, POLYGLOT_CASTLE_INDEX + 3 - b};
  for (int i = 0; i < 4; ++i)
    if (((st.castleFiles >> (4 * i)) & 15) != NO_FILE) key ^= POLYGLOT_RANDOM64[rights[i]];
  // The board records an en-passant file only when a pawn of the side to
  // move can take, which is exactly when the book format keys it.
  if (epFile(st) != NO_FILE) key ^= POLYGLOT_RANDOM64[POLYGLOT_EP_INDEX + epFile(st)];
  if (!black) key ^= POLYGLOT_RANDOM64[POLYGLOT_TURN_INDEX];
  return key;
}

void clearCandidates(BookCandidates& candidates) {
  candidates.count = 0;
  candidates.weightSum = 0;
  candidates.bestMove = 0;
  candidates.bestWeight = 0;
}

void addCandidate(BookCandidates& candidates, uint16_t move, uint16_t weight) {
  if (weight > candidates.bestWeight) {
    candidates.bestWeight = weight;
    candidates.bestMove = move;
  }
  if (candidates.count == BOOK_MAX_CANDIDATES) return;
  candidates.moves[candidates.count] = move;
  candidates.weights[candidates.count] = weight;
  candidates.weightSum += weight;
  ++candidates.count;
}

int pickWeighted(const BookCandidates& candidates, uint32_t r) {
  if (candidates.weightSum == 0) return -1;
  int64_t left = r % candidates.weightSum;
  for (int i = 0; i < candidates.count; ++i) {
    left -= candidates.weights[i];
    if (left < 0) return i;
  }
  return -1;
}

namespace {

// Index of the first entry whose key is not below key, n when none.
int64_t lowerBound(std::FILE* file, int64_t n, uint64_t key, bool& failed) {
  int64_t lo = 0, hi = n;
  BookEntry entry;
  while (lo < hi) {
    int64_t mid = lo + (hi - lo) / 2;
    if (!readBookEntry(file, mid, entry)) {
      failed = true;
      return n;
    }
    if (entry.key < key)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// The chosen book move word for key, 0 when the book has none.
uint16_t chooseBookMove(std::FILE* file, uint64_t key, bool bookRandom) {
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
  long size = std::ftell(file);
  if (size < BOOK_ENTRY_SIZE) return 0;
  int64_t n = size / BOOK_ENTRY_SIZE;
  bool failed = false;
  int64_t first = lowerBound(file, n, key, failed);
  if (failed) return 0;

  BookCandidates candidates;
  clearCandidates(candidates);
  BookEntry entry;
  for (int64_t i = first; i < n && readBookEntry(file, i, entry) && entry.key == key; ++i)
    addCandidate(candidates, entry.move, entry.weight);

  if (!bookRandom) return candidates.bestWeight > 0 ? candidates.bestMove : 0;
  std::minstd_rand generator{uint32_t(nowMs())};
  int chosen = pickWeighted(candidates, uint32_t(generator()));
  return chosen < 0 ? 0 : candidates.moves[chosen];
}

}  // namespace

Move probeBook(const PositionState& st, const char* bookFile, bool bookRandom) {
  if (!bookFile || !bookFile[0]) return MOVE_NONE;
  // Only a regular file: opening a named pipe would block the think thread,
  // and devices or directories have no entries to seek.
  struct stat info;
  if (stat(bookFile, &info) != 0 || !S_ISREG(info.st_mode)) return MOVE_NONE;
  std::FILE* file = std::fopen(bookFile, "rb");
  if (!file) return MOVE_NONE;
  uint16_t bookMove = chooseBookMove(file, polyglotKey(st), bookRandom);
  std::fclose(file);
  return bookMove ? decodeBookMove(st, bookMove) : MOVE_NONE;
}

Move matchingLegalMove(const PositionState& st, Move move) {
  ScoredMove list[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(st, list);
  for (ScoredMove* m = list; m != end; ++m)
    if (sameBookMove(m->move, move)) return m->move;
  return MOVE_NONE;
}

Move legalBookMove(const PositionState& st, const char* bookFile, bool bookRandom) {
  Move bookMove = probeBook(st, bookFile, bookRandom);
  if (bookMove == MOVE_NONE) return MOVE_NONE;
  // A corrupted book or a key shared by two positions may name any move:
  // only a move of the legal list may leave the engine.
  return matchingLegalMove(st, bookMove);
}
