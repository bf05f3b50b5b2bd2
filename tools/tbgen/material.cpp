#include "material.h"

#include <algorithm>

namespace {

// Letters in the order names list them: queen first, pawn last.
constexpr PieceType NAME_ORDER[5] = {QUEEN, ROOK, BISHOP, KNIGHT, PAWN};
constexpr char LETTERS[7] = {'?', 'P', 'N', 'B', 'R', 'Q', 'K'};

// One side's pieces as name-order indices, ascending (stronger first).
std::vector<int> sideKey(const Material& m, int colour) {
  std::vector<int> key;
  for (int i = 0; i < 5; ++i)
    for (int c = 0; c < m.count[colour][NAME_ORDER[i]]; ++c) key.push_back(i);
  return key;
}

}  // namespace

bool parseMaterial(const std::string& name, Material& m) {
  m = Material{};
  int colour = WHITE;
  for (char ch : name) {
    if (ch == 'v') {
      if (colour == BLACK) return false;
      colour = BLACK;
      continue;
    }
    const char* at = std::find(LETTERS + 1, LETTERS + 7, ch);
    if (at == LETTERS + 7) return false;
    ++m.count[colour][at - LETTERS];
  }
  return colour == BLACK && m.count[WHITE][KING] == 1 && m.count[BLACK][KING] == 1 &&
         pieceCount(m) <= TB_MAX_PIECES;
}

std::string materialName(const Material& m) {
  std::string name;
  for (int colour = WHITE; colour <= BLACK; ++colour) {
    if (colour == BLACK) name += 'v';
    name += std::string(m.count[colour][KING], 'K');
    for (PieceType t : NAME_ORDER) name += std::string(m.count[colour][t], LETTERS[t]);
  }
  return name;
}

Material swapColours(const Material& m) {
  Material s;
  for (int t = 0; t < 7; ++t) {
    s.count[WHITE][t] = m.count[BLACK][t];
    s.count[BLACK][t] = m.count[WHITE][t];
  }
  return s;
}

bool sameMaterial(const Material& a, const Material& b) {
  return std::equal(&a.count[0][0], &a.count[0][0] + 14, &b.count[0][0]);
}

int pieceCount(const Material& m) {
  int n = 0;
  for (int c = 0; c < 2; ++c)
    for (int t = 1; t < 7; ++t) n += m.count[c][t];
  return n;
}

bool hasPawns(const Material& m) { return m.count[WHITE][PAWN] + m.count[BLACK][PAWN] > 0; }

// The side with more pieces comes first; on equal numbers the side whose
// pieces, strongest first, compare smaller in name order.
bool registeredSwapped(const Material& m) {
  std::vector<int> white = sideKey(m, WHITE), black = sideKey(m, BLACK);
  if (white.size() != black.size()) return white.size() < black.size();
  return black < white;
}

Material registeredMaterial(const Material& m) { return registeredSwapped(m) ? swapColours(m) : m; }

PieceList pieceList(const Material& m) {
  PieceList list;
  auto add = [&](int colour, PieceType type) {
    for (int c = 0; c < m.count[colour][type]; ++c) {
      list.colour[list.n] = colour;
      list.type[list.n] = type;
      ++list.n;
    }
  };
  add(WHITE, KING);
  add(BLACK, KING);
  for (int colour = WHITE; colour <= BLACK; ++colour)
    for (PieceType t : {QUEEN, ROOK, BISHOP, KNIGHT}) add(colour, t);
  add(WHITE, PAWN);
  add(BLACK, PAWN);
  list.pawns = m.count[WHITE][PAWN] + m.count[BLACK][PAWN];
  return list;
}

std::vector<std::string> builtinEndings() {
  const char letters[5] = {'Q', 'R', 'B', 'N', 'P'};
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) names.push_back(std::string("K") + letters[i] + "vK");
  for (int i = 0; i < 5; ++i)
    for (int j = i; j < 5; ++j) names.push_back(std::string("K") + letters[i] + "vK" + letters[j]);
  for (int i = 0; i < 5; ++i)
    for (int j = i; j < 5; ++j) names.push_back(std::string("K") + letters[i] + letters[j] + "vK");
  return names;
}
