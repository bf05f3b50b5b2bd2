#include "fileorder.h"

#include <algorithm>
#include <cassert>

#include "parallel.h"

namespace {

// Distances are stored in moves (rounded down to an odd number of plies
// when read back) unless a table's longest real win or loss needs this many
// plies: close to the fifty-move limit the lost ply could make a win that is
// too late look in time.
constexpr int PLIES_FROM = 80;

// Value map of each result code (loss, blessed loss, -, cursed win, win).
constexpr int MAP_OF_CODE[5] = {1, 3, -1, 2, 0};

// Sampling: windows of consecutive indices spread evenly over a sub-table.
constexpr uint64_t SAMPLE_WINDOWS = 64;
constexpr uint64_t SAMPLE_WINDOW = 512;

// The groups of equal codes (code, count) among the pieces not in the
// leading group(s).
using Groups = std::vector<std::pair<int, int>>;

Groups restGroups(const std::vector<uint8_t>& codes) {
  Groups groups;
  for (int c = 0; c < 16; ++c) {
    const int count = int(std::count(codes.begin(), codes.end(), uint8_t(c)));
    if (count) groups.emplace_back(c, count);
  }
  return groups;
}

// Calls emit for each order of the groups behind a fixed lead and each
// place of the leading digit(s).
template <class Emit>
void withRest(const TableInfo& info, const std::vector<uint8_t>& lead, Groups groups, Emit&& emit) {
  do {
    Arrangement a;
    int k = 0;
    for (uint8_t c : lead) a.pieces[k++] = c;
    for (const auto& [code, count] : groups)
      for (int i = 0; i < count; ++i) a.pieces[k++] = uint8_t(code);
    const int leading = 1 + info.secondPawns;
    const int count = leading + int(groups.size());
    for (int order = 0; order < count; ++order) {
      a.order = order;
      if (!info.secondPawns) {
        emit(a);
        continue;
      }
      for (int order2 = 0; order2 < count; ++order2)
        if (order2 != order) {
          a.order2 = order2;
          emit(a);
        }
    }
  } while (std::next_permutation(groups.begin(), groups.end()));
}

// Counts the runs of equal values on the samples of one arrangement and
// side: WDL runs after the best fill, DTZ changes between stored values.
void sampleRuns(const TableInfo& info, const Arrangement& a, int file, int stm, uint64_t& wdlRuns, uint64_t& dtzRuns) {
  const Table& t = *info.table;
  const SubTableIndex sub = subTableIndex(info, a, file);
  int slot[TB_MAX_PIECES];
  solverSlots(info, a, slot);
  wdlRuns = dtzRuns = 0;
  const uint64_t windows = std::min(SAMPLE_WINDOWS, std::max<uint64_t>(1, sub.size / SAMPLE_WINDOW));
  for (uint64_t w = 0; w < windows; ++w) {
    const uint64_t begin = sub.size * w / windows, end = std::min(sub.size, begin + SAMPLE_WINDOW);
    int lo = 0, hi = 4;
    uint16_t last = DTZ_FREE;
    ++wdlRuns;
    for (uint64_t i = begin; i < end; ++i) {
      int squares[TB_MAX_PIECES], mine[TB_MAX_PIECES];
      uint16_t cell = decidedCell(CODE_ILLEGAL, 0);
      uint8_t zeroing = 0;
      if (squaresAtIndex(sub, i, squares)) {
        for (int k = 0; k < info.shape.pieceCount; ++k) mine[slot[k]] = squares[k];
        const uint64_t at = positionIndex(t.layout, mine);
        cell = t.cell[stm][at];
        zeroing = t.zeroing[stm][at];
      }
      const uint8_t c = wdlConstraint(cell, zeroing);
      const int h = (c & WDL_FREE) ? 4 : c & WDL_VALUE, l = (c & (WDL_FREE | WDL_FREE_BELOW)) ? 0 : h;
      if (std::max(lo, l) > std::min(hi, h)) {
        ++wdlRuns;
        lo = l, hi = h;
      } else {
        lo = std::max(lo, l), hi = std::min(hi, h);
      }
      const uint16_t e = dtzEntry(info, cell, zeroing);
      if (e != DTZ_FREE) {
        dtzRuns += e != last;
        last = e;
      }
    }
  }
}

}  // namespace

TableInfo describeTable(const Table& t) {
  TableInfo info;
  info.table = &t;
  const Material& m = t.material;
  const PieceList& list = t.layout.pieces;
  info.shape.pieceCount = uint8_t(list.n);
  info.symmetric = sameMaterial(m, swapColours(m));
  info.encoding = list.pawns ? ENCODING_PAWN : ENCODING_PIECE;
  info.files = list.pawns ? 4 : 1;
  for (int i = 0; i < list.n; ++i) info.code[i] = uint8_t(list.colour[i] * 8 + list.type[i]);
  if (list.pawns) {
    // The leading colour has fewer pawns, never none when the other has
    // some; white on equal counts.
    const int w = m.count[WHITE][PAWN], b = m.count[BLACK][PAWN];
    const bool blackLeads = b > 0 && (w == 0 || w > b);
    info.shape.pawnCounts[0] = uint8_t(blackLeads ? b : w);
    info.shape.pawnCounts[1] = uint8_t(blackLeads ? w : b);
    info.secondPawns = info.shape.pawnCounts[1] > 0;
  } else {
    int unique = 0;
    for (int c = 0; c < 2; ++c)
      for (int type = PAWN; type <= KING; ++type) unique += m.count[c][type] == 1;
    info.shape.kkEncoding = unique == 2;
  }
  info.winPlies = t.longestWin >= PLIES_FROM;
  info.lossPlies = t.longestLoss >= PLIES_FROM;
  return info;
}

std::vector<uint8_t> orderBytes(const TableInfo& info, const Arrangement& side0, const Arrangement& side1) {
  std::vector<uint8_t> h;
  h.push_back(uint8_t(side0.order | side1.order << 4));
  if (info.secondPawns) h.push_back(uint8_t(side0.order2 | side1.order2 << 4));
  for (int i = 0; i < info.shape.pieceCount; ++i) h.push_back(uint8_t(side0.pieces[i] | side1.pieces[i] << 4));
  return h;
}

std::vector<Arrangement> arrangements(const TableInfo& info) {
  std::vector<Arrangement> out;
  auto emit = [&](const Arrangement& a) { out.push_back(a); };
  const int n = info.shape.pieceCount;
  std::vector<uint8_t> codes(info.code, info.code + n);
  if (info.encoding == ENCODING_PAWN) {
    const Material& m = info.table->material;
    const uint8_t lead = uint8_t(8 * (m.count[WHITE][PAWN] == info.shape.pawnCounts[0] ? WHITE : BLACK) + PAWN);
    std::vector<uint8_t> leading(info.shape.pawnCounts[0], lead);
    leading.insert(leading.end(), info.shape.pawnCounts[1], uint8_t(lead ^ 8));
    std::vector<uint8_t> rest;
    for (uint8_t c : codes)
      if ((c & 7) != PAWN) rest.push_back(c);
    withRest(info, leading, restGroups(rest), emit);
    return out;
  }
  std::vector<uint8_t> unique;
  for (uint8_t c : codes)
    if (std::count(codes.begin(), codes.end(), c) == 1) unique.push_back(c);
  const size_t lead = info.shape.kkEncoding ? 2 : 3;
  std::sort(unique.begin(), unique.end());
  // Every ordered choice of the leading pieces among the unique ones.
  std::vector<int> pick(unique.size());
  for (size_t i = 0; i < unique.size(); ++i) pick[i] = i < lead ? int(lead - i) : 0;
  std::sort(pick.begin(), pick.end());
  do {
    std::vector<uint8_t> leading(lead);
    std::vector<uint8_t> rest;
    for (size_t i = 0; i < unique.size(); ++i) {
      if (pick[i])
        leading[size_t(pick[i] - 1)] = unique[i];
    }
    for (uint8_t c : codes)
      if (std::find(leading.begin(), leading.end(), c) == leading.end()) rest.push_back(c);
    withRest(info, leading, restGroups(rest), emit);
  } while (std::next_permutation(pick.begin(), pick.end()));
  return out;
}

SubTableIndex subTableIndex(const TableInfo& info, const Arrangement& a, int file) {
  SubTableIndex sub;
  const std::vector<uint8_t> h = orderBytes(info, a, a);
  const bool ok = makeSubTableIndex(sub, info.shape, info.encoding, h.data(), 0, file);
  assert(ok);
  (void)ok;
  return sub;
}

void solverSlots(const TableInfo& info, const Arrangement& a, int* slot) {
  bool used[TB_MAX_PIECES] = {};
  for (int i = 0; i < info.shape.pieceCount; ++i)
    for (int j = 0; j < info.shape.pieceCount; ++j)
      if (!used[j] && info.code[j] == a.pieces[i]) {
        used[j] = true;
        slot[i] = j;
        break;
      }
}

uint8_t wdlConstraint(uint16_t cell, uint8_t zeroing) {
  const int code = cellCode(cell);
  if (code == CODE_ILLEGAL) return WDL_FREE;
  return uint8_t(code | (bestCapture(zeroing) >= code - 2 ? WDL_FREE_BELOW : 0));
}

// Draws, wins whose best move zeroes and positions no game reaches are
// never read; the rest store their value map (by result) and distance.
uint16_t dtzEntry(const TableInfo& info, uint16_t cell, uint8_t zeroing) {
  const int code = cellCode(cell), d = cellDistance(cell);
  if (code == CODE_ILLEGAL || code == CODE_DRAW || (code > CODE_DRAW && bestZeroing(zeroing) >= code - 2))
    return DTZ_FREE;
  const bool plies = (code == CODE_WIN && info.winPlies) || (code == CODE_LOSS && info.lossPlies);
  // The probes add one ply (in plies), or double and add one (in moves).
  const int stored = plies ? std::max(d - 1, 0) : std::max(d - 1, 0) / 2;
  return uint16_t(MAP_OF_CODE[code] << 12 | stored);
}

OrderChoice chooseOrders(const TableInfo& info, int file, int threads) {
  const std::vector<Arrangement> all = arrangements(info);
  const int sides = info.symmetric ? 1 : 2;
  std::vector<uint64_t> runs(all.size() * 4, 0);  // [candidate][side][wdl, dtz]
  parallelFor(0, all.size() * uint64_t(sides), threads, [&](uint64_t lo, uint64_t hi, int) {
    for (uint64_t k = lo; k < hi; ++k) {
      const size_t c = k / uint64_t(sides);
      const int stm = int(k % uint64_t(sides));
      sampleRuns(info, all[c], file, stm, runs[4 * c + 2 * size_t(stm)], runs[4 * c + 2 * size_t(stm) + 1]);
    }
  }, 1);
  OrderChoice choice;
  uint64_t bestWdl[2] = {UINT64_MAX, UINT64_MAX}, bestDtz = UINT64_MAX;
  for (size_t c = 0; c < all.size(); ++c)
    for (int stm = 0; stm < sides; ++stm) {
      const uint64_t w = runs[4 * c + 2 * size_t(stm)], d = runs[4 * c + 2 * size_t(stm) + 1];
      if (w < bestWdl[stm]) {
        bestWdl[stm] = w;
        choice.wdl[stm] = all[c];
      }
      if (d < bestDtz) {
        bestDtz = d;
        choice.dtz = all[c];
        choice.dtzSide = stm;
      }
    }
  if (sides == 1) choice.wdl[1] = choice.wdl[0];
  return choice;
}
