#include "solver.h"

#include <cassert>
#include <cstdlib>

#include "moves.h"
#include "retro.h"

namespace {

constexpr PieceType PROMOTIONS[5] = {NO_PIECE, QUEEN, ROOK, BISHOP, KNIGHT};

int promotionNumber(PieceType p) {
  for (int i = 0; i < 5; ++i)
    if (PROMOTIONS[i] == p) return i;
  return 0;
}

size_t linkSlot(const PieceList& list, int captured, int promoting, int promotion) {
  return (size_t(captured + 1) * size_t(list.n + 1) + size_t(promoting + 1)) * 5 + size_t(promotion);
}

bool onlyKings(const Material& m) { return pieceCount(m) == 2; }

// The material after a capture and/or a promotion, in our colours.
Material childMaterial(const Table& t, int captured, int promoting, PieceType promotion) {
  const PieceList& list = t.layout.pieces;
  Material m = t.material;
  if (captured >= 0) --m.count[list.colour[captured]][list.type[captured]];
  if (promoting >= 0) {
    --m.count[list.colour[promoting]][PAWN];
    ++m.count[list.colour[promoting]][promotion];
  }
  return m;
}

ChildLink makeLink(TableSet& set, const Table& t, int captured, int promoting, PieceType promotion) {
  const PieceList& list = t.layout.pieces;
  ChildLink link;
  Material child = childMaterial(t, captured, promoting, promotion);
  if (onlyKings(child)) return link;
  link.swapped = registeredSwapped(child);
  link.table = set.tables.at(materialName(registeredMaterial(child))).get();
  const PieceList& childList = link.table->layout.pieces;
  bool used[TB_MAX_PIECES] = {};
  for (int k = 0; k < childList.n; ++k) {
    const int colour = childList.colour[k] ^ (link.swapped ? 1 : 0);
    link.source[k] = -1;
    for (int i = 0; i < list.n && link.source[k] < 0; ++i) {
      const PieceType type = i == promoting ? promotion : list.type[i];
      if (!used[i] && i != captured && list.colour[i] == colour && type == childList.type[k]) {
        used[i] = true;
        link.source[k] = int8_t(i);
      }
    }
    assert(link.source[k] >= 0);
  }
  return link;
}

// Every material a capture or promotion of m leads to.
std::vector<Material> childMaterials(const Table& t) {
  const PieceList& list = t.layout.pieces;
  std::vector<Material> out;
  for (int captured = -1; captured < list.n; ++captured) {
    if (captured >= 0 && list.type[captured] == KING) continue;
    if (captured >= 0) out.push_back(childMaterial(t, captured, -1, NO_PIECE));
    for (int pawn = 0; pawn < list.n; ++pawn) {
      if (list.type[pawn] != PAWN || pawn == captured) continue;
      if (captured >= 0 && list.colour[captured] == list.colour[pawn]) continue;
      for (int p = 1; p < 5; ++p) out.push_back(childMaterial(t, captured, pawn, PROMOTIONS[p]));
    }
  }
  return out;
}

}  // namespace

Table* solveEnding(TableSet& set, const Material& m) {
  const Material reg = registeredMaterial(m);
  const std::string name = materialName(reg);
  if (auto it = set.tables.find(name); it != set.tables.end()) return it->second.get();
  auto table = std::make_unique<Table>();
  Table& t = *table;
  t.material = reg;
  t.layout = makeLayout(reg);
  t.fiftyMoveLimit = set.fiftyMoveLimit;
  for (const Material& child : childMaterials(t))
    if (!onlyKings(child)) solveEnding(set, child);

  const PieceList& list = t.layout.pieces;
  t.links.resize(linkSlot(list, list.n - 1, list.n - 1, 4) + 1);
  for (int captured = -1; captured < list.n; ++captured) {
    if (captured >= 0 && list.type[captured] != KING) t.links[linkSlot(list, captured, -1, 0)] = makeLink(set, t, captured, -1, NO_PIECE);
    if (captured >= 0 && list.type[captured] == KING) continue;
    for (int pawn = 0; pawn < list.n; ++pawn) {
      if (list.type[pawn] != PAWN || pawn == captured) continue;
      if (captured >= 0 && list.colour[captured] == list.colour[pawn]) continue;
      for (int p = 1; p < 5; ++p) t.links[linkSlot(list, captured, pawn, p)] = makeLink(set, t, captured, pawn, PROMOTIONS[p]);
    }
  }
  for (int stm = 0; stm < 2; ++stm) {
    t.cell[stm].assign(t.layout.size, 0);
    t.zeroing[stm].assign(t.layout.size, 0);
  }
  Table* result = table.get();
  set.tables.emplace(name, std::move(table));
  if (list.pawns == 0) {
    solveStage(t, 0, t.layout.size, set.threads);
  } else {
    for (int s = 0; s < t.layout.slices; ++s)
      solveStage(t, uint64_t(s) * t.layout.sliceSize, uint64_t(s + 1) * t.layout.sliceSize, set.threads);
  }
  if (set.solved) set.solved(t);
  return result;
}

int resultCodeAt(const Table& table, int stm, uint64_t index) {
  if (!table.packed.empty()) {
    const uint64_t at = uint64_t(stm) * table.layout.size + index;
    return table.packed[at >> 1] >> ((at & 1) * 4) & 15;
  }
  const uint16_t c = table.cell[stm][index];
  return isDecided(c) ? cellCode(c) : CODE_DRAW;
}

int resultCode(const Table& table, const int* squares, int stm) {
  const uint64_t index = positionIndex(table.layout, squares);
  return index == UINT64_MAX ? CODE_ILLEGAL : resultCodeAt(table, stm, index);
}

void packTable(Table& table) {
  const uint64_t size = table.layout.size;
  std::vector<uint8_t> packed((2 * size + 1) / 2, 0);
  for (int stm = 0; stm < 2; ++stm)
    for (uint64_t i = 0; i < size; ++i) {
      const uint64_t at = uint64_t(stm) * size + i;
      packed[at >> 1] |= uint8_t(cellCode(table.cell[stm][i]) << ((at & 1) * 4));
    }
  table.packed = std::move(packed);
  for (int stm = 0; stm < 2; ++stm) {
    std::vector<uint16_t>().swap(table.cell[stm]);
    std::vector<uint8_t>().swap(table.zeroing[stm]);
  }
}

namespace {

// The value of a capture through its link, for the side to move after it.
int linkedValue(const Table& table, const ChildLink& link, const int* squares, int moved, int to, int stm) {
  if (!link.table) return 0;
  int child[TB_MAX_PIECES];
  for (int k = 0; k < link.table->layout.pieces.n; ++k) {
    const int s = link.source[k] == moved ? to : squares[link.source[k]];
    child[k] = link.swapped ? s ^ 56 : s;
  }
  (void)table;
  const int code = resultCode(*link.table, child, link.swapped ? stm ^ 1 : stm);
  assert(code <= CODE_WIN);
  return code - 2;
}

// After a double step the opponent may capture en passant, which the
// tables (positions without en-passant rights) do not see: the position's
// value is the better of its table value and those captures, or the
// captures' alone when nothing else is legal.
int afterDoubleStep(const Table& table, const int* after, int stm, int pawn, int tableValue) {
  const PieceList& list = table.layout.pieces;
  const int them = stm ^ 1;
  const Square to = after[pawn], passed = to + (stm == WHITE ? -8 : 8);
  TbBoard b;
  std::copy(after, after + list.n, b.sq);
  setBoard(list, b);
  int best = -3;
  for (int j = 0; j < list.n; ++j) {
    if (list.colour[j] != them || list.type[j] != PAWN || rankOf(b.sq[j]) != rankOf(to) ||
        std::abs(fileOf(b.sq[j]) - fileOf(to)) != 1)
      continue;
    const Bitboard occ = b.occ ^ squareBB(b.sq[j]) ^ squareBB(passed) ^ squareBB(to);
    if (attackedBy(list, b, stm, b.sq[them], occ, pawn)) continue;
    const ChildLink& link = table.links[linkSlot(list, pawn, -1, 0)];
    best = std::max(best, -linkedValue(table, link, b.sq, j, passed, stm));
  }
  if (best == -3) return tableValue;
  bool otherMove = false;
  forEachLegalMove(list, b, them, [&](int, Square, int, PieceType) { otherMove = true; });
  return otherMove ? std::max(best, tableValue) : best;
}

}  // namespace

int zeroingMoveValue(const Table& table, const int* squares, int stm, int piece, int to, int captured,
                     PieceType promotion) {
  const PieceList& list = table.layout.pieces;
  const int them = stm ^ 1;
  if (captured < 0 && promotion == NO_PIECE) {
    int child[TB_MAX_PIECES];
    std::copy(squares, squares + list.n, child);
    child[piece] = to;
    const int code = resultCode(table, child, them);
    assert(code <= CODE_WIN);
    int value = code - 2;
    if (std::abs(to - squares[piece]) == 16) value = afterDoubleStep(table, child, stm, piece, value);
    return -value;
  }
  const ChildLink& link = table.links[linkSlot(list, captured, promotion ? piece : -1, promotionNumber(promotion))];
  return -linkedValue(table, link, squares, piece, to, them);
}
