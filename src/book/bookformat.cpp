#include "book/bookformat.h"

namespace {

uint64_t readBigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

void writeBigEndian(unsigned char* bytes, int count, uint64_t value) {
  for (int i = count - 1; i >= 0; --i, value >>= 8) bytes[i] = (unsigned char)(value & 0xFF);
}

// Squares of the book move word: file in bits 0..2, row in bits 3..5.
constexpr int BOOK_TO_SHIFT = 0;
constexpr int BOOK_FROM_SHIFT = 6;
constexpr int BOOK_PROMOTION_SHIFT = 12;

}  // namespace

void encodeBookEntry(const BookEntry& entry, unsigned char* bytes) {
  writeBigEndian(bytes, 8, entry.key);
  writeBigEndian(bytes + 8, 2, entry.move);
  writeBigEndian(bytes + 10, 2, entry.weight);
  writeBigEndian(bytes + 12, 4, entry.learn);
}

BookEntry decodeBookEntry(const unsigned char* bytes) {
  BookEntry entry;
  entry.key = readBigEndian(bytes, 8);
  entry.move = uint16_t(readBigEndian(bytes + 8, 2));
  entry.weight = uint16_t(readBigEndian(bytes + 10, 2));
  entry.learn = uint32_t(readBigEndian(bytes + 12, 4));
  return entry;
}

bool readBookEntry(std::FILE* file, int64_t index, BookEntry& entry) {
  unsigned char bytes[BOOK_ENTRY_SIZE];
  if (index < 0 || std::fseek(file, long(index * BOOK_ENTRY_SIZE), SEEK_SET) != 0) return false;
  if (std::fread(bytes, 1, BOOK_ENTRY_SIZE, file) != size_t(BOOK_ENTRY_SIZE)) return false;
  entry = decodeBookEntry(bytes);
  return true;
}

uint16_t encodeBookMove(const PositionState& st, Move move) {
  int flip = isBlackToMove(st) ? 56 : 0;
  Square from = moveFrom(move);
  Square to = moveTo(move);
  if (move & MOVE_CASTLE) {
    // The king's destination is g1 or c1 whatever the rook's file; the book
    // names the rook's square on the mover's back rank instead.
    int rookFile = to == 6 ? st.castleFiles & 15 : (st.castleFiles >> 4) & 15;
    to = rookFile;
  }
  int promotion = (move & MOVE_PROMOTION) ? movePromotion(move) - 1 : 0;
  return uint16_t((to ^ flip) << BOOK_TO_SHIFT | (from ^ flip) << BOOK_FROM_SHIFT |
                  promotion << BOOK_PROMOTION_SHIFT);
}

Move decodeBookMove(const PositionState& st, uint16_t bookMove) {
  int flip = isBlackToMove(st) ? 56 : 0;
  Square from = ((bookMove >> BOOK_FROM_SHIFT) & 63) ^ flip;
  Square to = ((bookMove >> BOOK_TO_SHIFT) & 63) ^ flip;
  int promotion = (bookMove >> BOOK_PROMOTION_SHIFT) & 7;
  // Book promotion codes 1..4 stand for knight..queen. Codes 5..7 are
  // invalid: they become piece code 7, which no generated move carries, so
  // such an entry never matches a legal move.
  PieceType promoted = promotion == 0 ? NO_PIECE : promotion <= 4 ? promotion + 1 : 7;
  Move flags = promoted ? MOVE_PROMOTION : 0;

  bool kingMoves = promotion == 0 && (st.pieces[KING] & ownPieces(st) & squareBB(from)) != 0;
  int kingSideFile = st.castleFiles & 15;
  int queenSideFile = (st.castleFiles >> 4) & 15;
  if (kingMoves && kingSideFile != NO_FILE && to == kingSideFile)
    return makeMoveWord(KING, from, 6, NO_PIECE, NO_PIECE, MOVE_CASTLE);
  if (kingMoves && queenSideFile != NO_FILE && to == queenSideFile)
    return makeMoveWord(KING, from, 2, NO_PIECE, NO_PIECE, MOVE_CASTLE);
  return makeMoveWord(NO_PIECE, from, to, NO_PIECE, promoted, flags);
}
