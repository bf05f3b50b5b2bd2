#include "layout.h"

#include <algorithm>
#include <map>

namespace {

constexpr Square TRIANGLE[10] = {0, 1, 2, 3, 9, 10, 11, 18, 19, 27};  // a1 b1 c1 d1 b2 c2 d2 c3 d3 d4

uint64_t power64(int e) {
  uint64_t p = 1;
  while (e-- > 0) p *= 64;
  return p;
}

// Sorts the pawns of each colour within a placement.
void sortByColour(const PieceList& list, int* pawns) {
  int first = list.n - list.pawns, i = 0;
  while (i < list.pawns) {
    int j = i;
    while (j < list.pawns && list.colour[first + j] == list.colour[first + i]) ++j;
    for (int a = i + 1; a < j; ++a)
      for (int b = a; b > i && pawns[b - 1] > pawns[b]; --b) std::swap(pawns[b - 1], pawns[b]);
    i = j;
  }
}

uint64_t rawPlacement(const int* pawns, int count) {
  uint64_t raw = 0;
  for (int i = count - 1; i >= 0; --i) raw = raw * 64 + uint64_t(pawns[i]);
  return raw;
}

void fillSlices(Layout& layout) {
  const PieceList& list = layout.pieces;
  const int count = list.pawns, first = list.n - count;
  const uint64_t raws = power64(count);
  std::vector<int64_t> canonical(raws, -1);
  std::vector<uint8_t> mirrored(raws, 0);
  std::map<std::pair<int, uint64_t>, int> order;  // (-advance, canonical raw) -> slice
  for (uint64_t raw = 0; raw < raws; ++raw) {
    int pawns[TB_MAX_PIECES], mirror[TB_MAX_PIECES];
    bool valid = true;
    for (int i = 0; i < count; ++i) {
      pawns[i] = int(raw >> (6 * i) & 63);
      valid &= pawns[i] >= 8 && pawns[i] < 56;
      for (int j = 0; j < i; ++j) valid &= pawns[j] != pawns[i];
    }
    if (!valid) continue;
    sortByColour(list, pawns);
    for (int i = 0; i < count; ++i) mirror[i] = pawns[i] ^ 7;
    sortByColour(list, mirror);
    bool useMirror = std::lexicographical_compare(mirror, mirror + count, pawns, pawns + count);
    const int* chosen = useMirror ? mirror : pawns;
    canonical[raw] = int64_t(rawPlacement(chosen, count));
    mirrored[raw] = useMirror;
    int advance = 0;
    for (int i = 0; i < count; ++i)
      advance += list.colour[first + i] == WHITE ? rankOf(chosen[i]) : 7 - rankOf(chosen[i]);
    order.emplace(std::make_pair(-advance, uint64_t(canonical[raw])), 0);
  }
  layout.slices = 0;
  layout.slicePawns.clear();
  for (auto& [key, id] : order) {
    id = layout.slices++;
    for (int i = 0; i < count; ++i) layout.slicePawns.push_back(uint8_t(key.second >> (6 * i) & 63));
  }
  layout.placement.assign(raws, -1);
  for (uint64_t raw = 0; raw < raws; ++raw) {
    if (canonical[raw] < 0) continue;
    int advance = 0;
    for (int i = 0; i < count; ++i) {
      int s = int(uint64_t(canonical[raw]) >> (6 * i) & 63);
      advance += list.colour[first + i] == WHITE ? rankOf(s) : 7 - rankOf(s);
    }
    int slice = order.at(std::make_pair(-advance, uint64_t(canonical[raw])));
    layout.placement[raw] = slice * 2 + mirrored[raw];
  }
}

}  // namespace

namespace {

constexpr Square symmetryOf(int g, Square s) {
  if (g & 4) s = (s >> 3) | ((s & 7) << 3);
  if (g & 1) s ^= 7;
  if (g & 2) s ^= 56;
  return s;
}

constexpr bool triangleHolds(Square s) { return (s & 7) <= 3 && (s >> 3) <= (s & 7); }

struct SymmetryTables {
  int8_t image[8][64];
  int8_t toTriangle[64];
  int8_t number[64];
};

constexpr SymmetryTables makeSymmetryTables() {
  SymmetryTables t{};
  for (int g = 0; g < 8; ++g)
    for (Square s = 0; s < 64; ++s) t.image[g][s] = int8_t(symmetryOf(g, s));
  for (Square s = 0; s < 64; ++s) {
    t.toTriangle[s] = 0;
    for (int g = 7; g >= 0; --g)
      if (triangleHolds(symmetryOf(g, s))) t.toTriangle[s] = int8_t(g);
    t.number[s] = -1;
    for (int i = 0; i < 10; ++i)
      if (TRIANGLE[i] == s) t.number[s] = int8_t(i);
  }
  return t;
}

constexpr SymmetryTables SYMMETRY = makeSymmetryTables();

}  // namespace

Square applySymmetry(int g, Square s) { return SYMMETRY.image[g][s]; }

// Transposing first and then mirroring files equals mirroring ranks first
// and then transposing: the inverse of a transposing symmetry swaps its two
// mirror bits.
int inverseSymmetry(int g) { return (g & 4) ? 4 | (g & 1) << 1 | (g & 2) >> 1 : g; }

bool inTriangle(Square s) { return triangleHolds(s); }

int triangleSymmetry(Square s) { return SYMMETRY.toTriangle[s]; }

Square triangleSquare(int i) { return TRIANGLE[i]; }

int triangleNumber(Square s) { return SYMMETRY.number[s]; }

Layout makeLayout(const Material& m) {
  Layout layout;
  layout.pieces = pieceList(m);
  const PieceList& list = layout.pieces;
  if (list.pawns == 0) {
    layout.digitPieces = list.n - 1;
    layout.slices = 10;
    for (int i = 1; i < list.n; ++i) layout.multiplier[i] = power64(list.n - 1 - i);
  } else {
    layout.digitPieces = list.n - list.pawns;
    for (int i = 0; i < layout.digitPieces; ++i) layout.multiplier[i] = power64(layout.digitPieces - 1 - i);
    fillSlices(layout);
  }
  layout.sliceSize = power64(layout.digitPieces);
  layout.size = layout.sliceSize * uint64_t(layout.slices);
  return layout;
}

uint64_t positionIndex(const Layout& layout, const int* squares) {
  const PieceList& list = layout.pieces;
  if (list.pawns == 0) {
    const int g = triangleSymmetry(squares[0]);
    uint64_t index = uint64_t(triangleNumber(applySymmetry(g, squares[0]))) * layout.sliceSize;
    for (int i = 1; i < list.n; ++i) index += uint64_t(applySymmetry(g, squares[i])) * layout.multiplier[i];
    return index;
  }
  const int first = list.n - list.pawns;
  uint64_t raw = rawPlacement(squares + first, list.pawns);
  int32_t where = layout.placement[raw];
  if (where < 0) return UINT64_MAX;
  const int flip = (where & 1) ? 7 : 0;
  uint64_t index = uint64_t(where >> 1) * layout.sliceSize;
  for (int i = 0; i < first; ++i) index += uint64_t(squares[i] ^ flip) * layout.multiplier[i];
  return index;
}

void indexSquares(const Layout& layout, uint64_t index, int* squares) {
  const PieceList& list = layout.pieces;
  const uint64_t slice = index / layout.sliceSize;
  uint64_t rest = index % layout.sliceSize;
  int first = 0;
  if (list.pawns == 0) {
    squares[0] = TRIANGLE[slice];
    first = 1;
  } else {
    for (int i = 0; i < list.pawns; ++i)
      squares[list.n - list.pawns + i] = layout.slicePawns[slice * uint64_t(list.pawns) + uint64_t(i)];
  }
  for (int i = first + layout.digitPieces - 1; i >= first; --i) {
    squares[i] = int(rest & 63);
    rest >>= 6;
  }
}

int sliceAdvance(const Layout& layout, int slice) {
  const PieceList& list = layout.pieces;
  int advance = 0;
  for (int i = 0; i < list.pawns; ++i) {
    int s = layout.slicePawns[size_t(slice) * size_t(list.pawns) + size_t(i)];
    advance += list.colour[list.n - list.pawns + i] == WHITE ? rankOf(s) : 7 - rankOf(s);
  }
  return advance;
}
