#include "trainingdata/record.h"

#include <cstring>

namespace {

void putU16(uint8_t* out, uint16_t v) {
  out[0] = uint8_t(v);
  out[1] = uint8_t(v >> 8);
}
uint16_t getU16(const uint8_t* in) { return uint16_t(in[0] | in[1] << 8); }

bool validPiece(uint8_t code) {
  const int type = code & 7;
  return type >= PAWN && type <= KING && code < 16;
}

}  // namespace

void packRecord(const TrainingPosition& p, uint8_t out[RECORD_BYTES]) {
  std::memset(out, 0, RECORD_BYTES);
  uint64_t occupancy = 0;
  int count = 0;
  for (int s = 0; s < 64; ++s) {
    if (!p.board[s]) continue;
    occupancy |= uint64_t(1) << s;
    // At most 32 pieces fit; a legal position never has more.
    if (count < 32) out[8 + count / 2] |= uint8_t((p.board[s] & 15) << (4 * (count & 1)));
    ++count;
  }
  for (int i = 0; i < 8; ++i) out[i] = uint8_t(occupancy >> (8 * i));
  putU16(out + 24, uint16_t(p.score));
  out[26] = uint8_t(p.result);
  out[27] = uint8_t((p.blackToMove ? 1 : 0) | (p.castling & 15) << 1);
  out[28] = p.epSquare;
  out[29] = p.rule50;
  putU16(out + 30, p.fullmove);
}

bool unpackRecord(const uint8_t in[RECORD_BYTES], TrainingPosition& p) {
  std::memset(&p, 0, sizeof p);
  uint64_t occupancy = 0;
  for (int i = 0; i < 8; ++i) occupancy |= uint64_t(in[i]) << (8 * i);
  if (__builtin_popcountll(occupancy) > 32) return false;
  int kings[2] = {0, 0};
  int count = 0;
  for (uint64_t b = occupancy; b; b &= b - 1, ++count) {
    const int s = __builtin_ctzll(b);
    const uint8_t code = (in[8 + count / 2] >> (4 * (count & 1))) & 15;
    if (!validPiece(code)) return false;
    if ((code & 7) == PAWN && (s < 8 || s >= 56)) return false;
    if ((code & 7) == KING) ++kings[code >> 3];
    p.board[s] = code;
  }
  if (kings[0] != 1 || kings[1] != 1) return false;
  p.score = int16_t(getU16(in + 24));
  p.result = int8_t(in[26]);
  if (p.result < -1 || p.result > 1) return false;
  p.blackToMove = in[27] & 1;
  p.castling = (in[27] >> 1) & 15;
  p.epSquare = in[28];
  if (p.epSquare != NO_EP_SQUARE && rankOf(p.epSquare) != (p.blackToMove ? 2 : 5)) return false;
  p.rule50 = in[29];
  p.fullmove = getU16(in + 30);
  return true;
}

TrainingPosition positionFromState(const PositionState& st, int fullmove) {
  TrainingPosition p;
  std::memset(&p, 0, sizeof p);
  const bool black = isBlackToMove(st);
  // The stored board is the mover's view: mirror it back for black.
  const int flip = black ? 56 : 0;
  for (Bitboard b = st.pieces[ALL_PIECES]; b; b &= b - 1) {
    const Square s = lsb(b);
    const bool own = ownPieces(st) & squareBB(s);
    const bool blackPiece = own == black;
    p.board[s ^ flip] = uint8_t(pieceOn(st, s) | (blackPiece ? BLACK_PIECE : 0));
  }
  p.blackToMove = black;
  const auto has = [&](int shift) { return ((st.castleFiles >> shift) & 15) != NO_FILE; };
  const uint8_t ownKing = has(0), ownQueen = has(4), enemyKing = has(8), enemyQueen = has(12);
  if (black)
    p.castling = uint8_t(enemyKing * CASTLE_WHITE_KING | enemyQueen * CASTLE_WHITE_QUEEN |
                         ownKing * CASTLE_BLACK_KING | ownQueen * CASTLE_BLACK_QUEEN);
  else
    p.castling = uint8_t(ownKing * CASTLE_WHITE_KING | ownQueen * CASTLE_WHITE_QUEEN |
                         enemyKing * CASTLE_BLACK_KING | enemyQueen * CASTLE_BLACK_QUEEN);
  const int file = epFile(st);
  p.epSquare = file == NO_FILE ? NO_EP_SQUARE : uint8_t((black ? 16 : 40) + file);
  p.rule50 = st.rule50;
  p.fullmove = uint16_t(fullmove);
  return p;
}

std::string positionFen(const TrainingPosition& p) {
  static const char LETTERS[] = " pnbrqk";
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const uint8_t code = p.board[rank * 8 + file];
      if (!code) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty);
      empty = 0;
      const char letter = LETTERS[code & 7];
      fen += (code & BLACK_PIECE) ? letter : char(letter - 'a' + 'A');
    }
    if (empty) fen += char('0' + empty);
    if (rank) fen += '/';
  }
  fen += p.blackToMove ? " b " : " w ";
  std::string castling;
  if (p.castling & CASTLE_WHITE_KING) castling += 'K';
  if (p.castling & CASTLE_WHITE_QUEEN) castling += 'Q';
  if (p.castling & CASTLE_BLACK_KING) castling += 'k';
  if (p.castling & CASTLE_BLACK_QUEEN) castling += 'q';
  fen += castling.empty() ? "-" : castling;
  if (p.epSquare == NO_EP_SQUARE) {
    fen += " -";
  } else {
    fen += ' ';
    fen += char('a' + fileOf(p.epSquare));
    fen += char('1' + rankOf(p.epSquare));
  }
  fen += ' ' + std::to_string(p.rule50) + ' ' + std::to_string(p.fullmove ? p.fullmove : 1);
  return fen;
}
