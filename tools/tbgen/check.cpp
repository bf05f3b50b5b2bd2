#include "check.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/verify.h"
#include "parallel.h"

namespace {

// A child's result: its result code and, when its table still holds cells,
// the distance.
struct Outcome {
  int code;
  int distance;
};

// The board record of a table position (table colours are absolute colours
// here), side to move stm, without castling or en-passant rights.
PositionState boardOf(const PieceList& list, const int* squares, int stm) {
  PositionState st{};
  const int flip = stm == BLACK ? 56 : 0;
  for (int i = 0; i < list.n; ++i) {
    const Bitboard b = squareBB(squares[i] ^ flip);
    st.pieces[ALL_PIECES] |= b;
    st.pieces[list.type[i]] |= b;
    if (list.colour[i] == stm) st.pieces[OWN_PIECES] |= b;
  }
  st.castleFiles = NO_CASTLING;
  st.flags = uint8_t(NO_FILE << FLAG_EP_SHIFT | (stm == BLACK ? FLAG_BLACK : 0));
  if (kingInCheck(st)) st.flags |= FLAG_IN_CHECK;
  st.key = computeKey(st);
  return st;
}

// The result of the position of a board record, looked up in the solved
// tables (en-passant rights ignored).
Outcome lookUp(const TableSet& set, const PositionState& st) {
  const int stm = isBlackToMove(st) ? BLACK : WHITE;
  const int flip = stm == BLACK ? 56 : 0;
  Material m;
  for (PieceType t = PAWN; t <= KING; ++t) {
    m.count[stm][t] = popcount(st.pieces[t] & ownPieces(st));
    m.count[stm ^ 1][t] = popcount(st.pieces[t] & enemyPieces(st));
  }
  if (pieceCount(m) == 2) return {CODE_DRAW, 0};
  const bool swapped = registeredSwapped(m);
  const Table& t = *set.tables.at(materialName(registeredMaterial(m)));
  const PieceList& list = t.layout.pieces;
  int squares[TB_MAX_PIECES];
  bool used[64] = {};
  for (int i = 0; i < list.n; ++i) {
    const int colour = list.colour[i] ^ (swapped ? 1 : 0);
    const Bitboard side = colour == stm ? ownPieces(st) : enemyPieces(st);
    for (Bitboard b = st.pieces[list.type[i]] & side; b;) {
      const Square s = popLsb(b);
      if (used[s]) continue;
      used[s] = true;
      squares[i] = (s ^ flip) ^ (swapped ? 56 : 0);
      break;
    }
  }
  const int tableStm = stm ^ (swapped ? 1 : 0);
  const uint64_t index = positionIndex(t.layout, squares);
  if (!t.packed.empty()) return {resultCodeAt(t, tableStm, index), -1};
  const uint16_t c = t.cell[tableStm][index];
  return {cellCode(c), cellDistance(c)};
}

// A successor whose mover may capture en passant: the better of its table
// value and those captures, or the captures alone if nothing else is legal.
Outcome lookUpWithEnPassant(const TableSet& set, Position& pos) {
  Outcome table = lookUp(set, *pos.state);
  if (epFile(*pos.state) == NO_FILE) return table;
  ScoredMove moves[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*pos.state, moves);
  int best = -3;
  bool other = false;
  for (ScoredMove* m = moves; m < end; ++m) {
    if (!(m->move & MOVE_EN_PASSANT)) {
      other = true;
      continue;
    }
    makeMove(pos, m->move, nullptr);
    best = std::max(best, -(lookUp(set, *pos.state).code - 2));
    takeBack(pos);
  }
  if (best == -3) return table;
  const int value = other ? std::max(best, table.code - 2) : best;
  return value == table.code - 2 ? table : Outcome{value + 2, 0};
}

// What the successors say this position is: result code and distance
// (distance -1 when not checked).
Outcome expected(const TableSet& set, Position& pos) {
  const int limit = set.fiftyMoveLimit;
  ScoredMove moves[MAX_GENERATED];
  ScoredMove* end = generateLegalMoves(*pos.state, moves);
  if (end == moves) return {isInCheck(*pos.state) ? CODE_LOSS : CODE_DRAW, 0};
  int winIn = 1 << 30, lossIn = 0;
  bool allRealWins = true, noRuleWin = false, allNoRuleLosses = true;
  for (ScoredMove* m = moves; m < end; ++m) {
    const Move move = m->move;
    const bool zeroing = (move & MOVE_CAPTURE) || movePiece(move) == PAWN;
    makeMove(pos, move, nullptr);
    const Outcome child = lookUpWithEnPassant(set, pos);
    takeBack(pos);
    const int plies = zeroing ? 1 : child.distance + 1;
    if (child.code == CODE_LOSS && (zeroing || child.distance < limit)) winIn = std::min(winIn, plies);
    if (child.code == CODE_WIN && (zeroing || child.distance < limit))
      lossIn = std::max(lossIn, plies);
    else
      allRealWins = false;
    noRuleWin |= child.code == CODE_LOSS || child.code == CODE_BLESSED_LOSS;
    allNoRuleLosses &= child.code == CODE_WIN || child.code == CODE_CURSED_WIN;
  }
  if (winIn < (1 << 30)) return {CODE_WIN, winIn};
  if (allRealWins) return {CODE_LOSS, lossIn};
  if (noRuleWin) return {CODE_CURSED_WIN, -1};
  if (allNoRuleLosses) return {CODE_BLESSED_LOSS, -1};
  return {CODE_DRAW, 0};
}

}  // namespace

uint64_t checkTable(const TableSet& set, const Table& table, int threads, uint64_t stride) {
  std::atomic<uint64_t> errors{0};
  const PieceList& list = table.layout.pieces;
  const uint64_t steps = (table.layout.size + stride - 1) / stride;
  parallelFor(0, steps, threads, [&](uint64_t lo, uint64_t hi, int) {
    auto pos = std::make_unique<Position>();
    uint64_t bad = 0;
    for (uint64_t k = lo; k < hi; ++k) {
      const uint64_t index = k * stride;
      int squares[TB_MAX_PIECES];
      indexSquares(table.layout, index, squares);
      for (int stm = 0; stm < 2; ++stm) {
        const uint16_t c = table.cell[stm][index];
        if (cellCode(c) == CODE_ILLEGAL) continue;
        pos->stateStack[0] = boardOf(list, squares, stm);
        pos->state = pos->stateStack;
        const Outcome want = expected(set, *pos);
        if (want.code != cellCode(c) || (want.distance >= 0 && want.distance != cellDistance(c))) ++bad;
      }
    }
    errors += bad;
  });
  return errors.load();
}
