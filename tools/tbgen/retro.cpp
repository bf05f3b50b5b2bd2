// The passes that solve one stage of a table: all of a pawnless table, or
// one pawn slice. A first pass plays the game under the fifty-move rule
// (only wins by a zeroing move into a lost position count, a loss is
// escaped by any zeroing move into a position that is not lost); when some
// exit is a cursed win or a blessed loss, a second pass replays it without
// the rule to sort the remaining positions into cursed wins, blessed losses
// and draws.
#include <atomic>
#include <cassert>

#include "moves.h"
#include "parallel.h"
#include "retro.h"

namespace {

// Exit thresholds of the two passes.
bool winsAtOnce(int exit, int pass) { return pass == 1 ? exit == 2 : exit >= 1; }
bool escapes(int exit, int pass) { return exit >= (pass == 1 ? -1 : 0); }

struct Stage {
  Stage(Table& t, uint64_t b, uint64_t e, int p, int n) : table(t), begin(b), end(e), pass(p), threads(n) {}
  Table& table;
  uint64_t begin, end;
  int pass, threads;
  std::atomic<bool> softExit{false};  // some position's best exit is a cursed win or blessed loss
  // Per thread, the positions decided for the next two levels (by level
  // parity): (index - begin) * 2 + side to move.
  std::vector<std::vector<uint32_t>> pending[2];
};

void record(Stage& st, int worker, uint64_t index, int stm, int level) {
  st.pending[level & 1][size_t(worker)].push_back(uint32_t((index - st.begin) << 1 | uint64_t(stm)));
}

// Counts the non-zeroing moves and values the zeroing ones of one position.
__attribute__((noinline)) uint16_t startCell(Stage& st, uint64_t index, int stm) {
  Table& t = st.table;
  const PieceList& list = t.layout.pieces;
  TbBoard b;
  indexSquares(t.layout, index, b.sq);
  setBoard(list, b);
  if (!piecesApart(list, b) || kingAttacked(list, b, stm ^ 1)) {
    t.zeroing[stm][index] = 0;
    return decidedCell(CODE_ILLEGAL, 0);
  }
  int quiet = 0, capture = -3, zero = -3;
  quiet = countQuietVisitZeroing(list, b, stm, [&](int piece, Square to, int captured, PieceType promotion) {
    int v = zeroingMoveValue(t, b.sq, stm, piece, to, captured, promotion);
    zero = std::max(zero, v);
    if (captured >= 0) capture = std::max(capture, v);
  });
  assert(quiet < 256);
  t.zeroing[stm][index] = uint8_t((capture > -3 ? capture + 3 : 0) | (zero > -3 ? zero + 3 : 0) << 4);
  if (zero == 1 || zero == -1) st.softExit.store(true, std::memory_order_relaxed);
  if (quiet == 0 && zero == -3) return decidedCell(kingAttacked(list, b, stm) ? CODE_LOSS : CODE_DRAW, 0);
  if (zero > -3 && winsAtOnce(zero, st.pass)) return decidedCell(CODE_WIN, 1);
  if (quiet == 0 && !escapes(zero, st.pass)) return decidedCell(CODE_LOSS, 1);
  return uint16_t((zero > -3 ? zero + 3 : 0) << 8 | quiet);
}

// A predecessor learns that one of its moves leads to a decided position:
// a loss for the opponent wins at once; a win for the opponent takes one
// move off its count, and with none left and no escape it is lost.
void learn(Stage& st, int worker, int side, uint64_t index, bool childLost, int level) {
  std::atomic_ref<uint16_t> cell(st.table.cell[side][index]);
  uint16_t c = cell.load(std::memory_order_relaxed);
  while (!isDecided(c)) {
    uint16_t next;
    if (childLost) {
      next = decidedCell(CODE_WIN, level + 1);
    } else {
      assert((c & 0xFF) > 0);
      const int exit = (c >> 8 & 7) ? (c >> 8 & 7) - 3 : -3;
      next = (c & 0xFF) == 1 && (exit == -3 || !escapes(exit, st.pass)) ? decidedCell(CODE_LOSS, level + 1)
                                                                         : uint16_t(c - 1);
    }
    if (cell.compare_exchange_weak(c, next, std::memory_order_relaxed)) {
      if (isDecided(next)) record(st, worker, index, side, level + 1);
      return;
    }
  }
}

// Tells every predecessor of a decided position (stm to move) about it.
void propagate(Stage& st, int worker, uint64_t index, int stm, bool lost, int level) {
  const Layout& layout = st.table.layout;
  const PieceList& list = layout.pieces;
  const bool pawnless = list.pawns == 0;
  const int mover = stm ^ 1;
  TbBoard b;
  indexSquares(layout, index, b.sq);
  setBoard(list, b);
  // The earlier positions are gathered first and their cells fetched
  // together: the cells lie far apart and each would wait for memory.
  constexpr int BATCH = 64;
  uint64_t before[BATCH];
  int count = 0;
  const uint16_t* cells = st.table.cell[mover].data();
  auto add = [&](uint64_t i) {
    __builtin_prefetch(cells + i, 1);
    before[count++] = i;
    if (count == BATCH) {
      for (int k = 0; k < count; ++k) learn(st, worker, mover, before[k], lost, level);
      count = 0;
    }
  };
  // An earlier position with the opponent's king attacked is marked illegal
  // and decided, so learn() passes it by: no legality test is needed here.
  forEachUnmove(list, b, mover, [&](int piece, Square from) {
    if (pawnless && piece == 0) {
      if (inTriangle(from)) add(uint64_t(triangleNumber(from)) * layout.sliceSize + index % layout.sliceSize);
    } else {
      add(uint64_t(int64_t(index) + (int64_t(from) - b.sq[piece]) * int64_t(layout.multiplier[piece])));
    }
  });
  if (pawnless && mover == WHITE) {
    // The white king may have come from the triangle into a square that the
    // index maps back here: walk those images of the position once each.
    for (int g = 1; g < 8; ++g) {
      if (triangleSymmetry(applySymmetry(g, b.sq[0])) != inverseSymmetry(g)) continue;
      TbBoard image;
      for (int i = 0; i < list.n; ++i) image.sq[i] = applySymmetry(g, b.sq[i]);
      setBoard(list, image);
      for (Bitboard f = kingAttacks[image.sq[0]] & ~image.occ; f;) {
        Square from = popLsb(f);
        if (!inTriangle(from)) continue;
        image.sq[0] = from;
        add(positionIndex(layout, image.sq));
        image.sq[0] = applySymmetry(g, b.sq[0]);
      }
    }
  }
  for (int k = 0; k < count; ++k) learn(st, worker, mover, before[k], lost, level);
}

void runPass(Stage& st) {
  Table& t = st.table;
  const int workers = std::max(st.threads, 1);
  for (auto& lists : st.pending) lists.assign(size_t(workers), {});
  parallelFor(st.begin, st.end, workers, [&](uint64_t lo, uint64_t hi, int worker) {
    for (uint64_t i = lo; i < hi; ++i)
      for (int stm = 0; stm < 2; ++stm) {
        const uint16_t c = startCell(st, i, stm);
        t.cell[stm][i] = c;
        if (isDecided(c) && (cellCode(c) == CODE_WIN || cellCode(c) == CODE_LOSS)) record(st, worker, i, stm, cellDistance(c));
      }
  });
  std::vector<uint32_t> current;
  for (int level = 0;; ++level) {
    current.clear();
    for (auto& list : st.pending[level & 1]) {
      current.insert(current.end(), list.begin(), list.end());
      std::vector<uint32_t>().swap(list);
    }
    bool more = false;
    for (auto& list : st.pending[(level + 1) & 1]) more |= !list.empty();
    if (current.empty() && !more) break;
    assert(level < MAX_DISTANCE);
    parallelFor(0, current.size(), workers, [&](uint64_t lo, uint64_t hi, int worker) {
      for (uint64_t k = lo; k < hi; ++k) {
        const uint64_t i = st.begin + (current[k] >> 1);
        const int stm = int(current[k] & 1);
        propagate(st, worker, i, stm, cellCode(t.cell[stm][i]) == CODE_LOSS, level);
      }
    });
  }
}

// A pass result as a final one: distances beyond the fifty-move limit make
// cursed wins and blessed losses, undecided positions are draws.
uint16_t finalCell(uint16_t c, int limit) {
  if (!isDecided(c)) return decidedCell(CODE_DRAW, 0);
  const int d = cellDistance(c);
  if (cellCode(c) == CODE_WIN && d > limit) return decidedCell(CODE_CURSED_WIN, d);
  if (cellCode(c) == CODE_LOSS && d > limit) return decidedCell(CODE_BLESSED_LOSS, d);
  return c;
}

bool isReal(uint16_t c, int limit) {
  return isDecided(c) && (cellCode(c) == CODE_WIN || cellCode(c) == CODE_LOSS) && cellDistance(c) <= limit;
}

}  // namespace

void solveStage(Table& table, uint64_t begin, uint64_t end, int threads) {
  Stage first(table, begin, end, 1, threads);
  runPass(first);
  if (first.softExit.load()) {
    // Keep the real results, replay without the rule, then merge.
    table.usedPassTwo = true;
    std::vector<uint16_t> real[2];
    for (int stm = 0; stm < 2; ++stm) real[stm].assign(table.cell[stm].begin() + begin, table.cell[stm].begin() + end);
    Stage second(table, begin, end, 2, threads);
    runPass(second);
    for (int stm = 0; stm < 2; ++stm)
      for (uint64_t i = begin; i < end; ++i) {
        uint16_t r = real[stm][i - begin];
        uint16_t& c = table.cell[stm][i];
        if (isReal(r, table.fiftyMoveLimit)) {
          c = r;
        } else if (isDecided(c) && cellCode(c) == CODE_WIN) {
          c = decidedCell(CODE_CURSED_WIN, cellDistance(c));
        } else if (isDecided(c) && cellCode(c) == CODE_LOSS) {
          c = decidedCell(CODE_BLESSED_LOSS, cellDistance(c));
        } else {
          c = finalCell(c, table.fiftyMoveLimit);
        }
      }
  } else {
    for (int stm = 0; stm < 2; ++stm)
      for (uint64_t i = begin; i < end; ++i) table.cell[stm][i] = finalCell(table.cell[stm][i], table.fiftyMoveLimit);
  }
  for (int stm = 0; stm < 2; ++stm)
    for (uint64_t i = begin; i < end; ++i) {
      uint16_t c = table.cell[stm][i];
      if (cellCode(c) == CODE_WIN) table.longestWin = std::max(table.longestWin, cellDistance(c));
      if (cellCode(c) == CODE_LOSS) table.longestLoss = std::max(table.longestLoss, cellDistance(c));
    }
}
