// The probes read through the reference tables must agree with chess: every
// position's WDL value is the best of its moves' values (mate and stalemate
// included), and its DTZ is one more than the best successor's distance,
// within the one ply the format may round by. Checked on every position of
// small tables and on samples of every 3- and 4-piece table, both sides to
// move, en passant included; plus positions whose values are known.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "support/tablebase_positions.h"
#include "tablebase/probe.h"
#include "tablebase/tablefile.h"

namespace {

bool zeroing(Move m) { return (m & MOVE_CAPTURE) || movePiece(m) == PAWN; }

// Checks one position against its successors; returns a description of the
// first disagreement, empty when there is none.
std::string checkBySuccessors(Position& pos) {
  int status;
  const int wdl = probeWdl(pos, &status);
  if (status == PROBE_FAILED) return "WDL probe failed";
  const int dtz = probeDtz(pos, &status);
  if (status == PROBE_FAILED) return "DTZ probe failed";

  const std::vector<Move> moves = legalMoves(*pos.state);
  if (moves.empty()) {
    const int expected = isInCheck(*pos.state) ? -2 : 0;
    return wdl == expected ? "" : "mate or stalemate has WDL " + std::to_string(wdl);
  }
  int best = -3;
  int fastestWin = 1 << 20, longestLoss = 0;
  bool zeroingWin = false;
  for (Move m : moves) {
    makeMove(pos, m, nullptr);
    int childStatus;
    const int v = -probeWdl(pos, &childStatus);
    const int childDtz = zeroing(m) || v == 0 ? 0 : probeDtz(pos, &childStatus);
    takeBack(pos);
    if (childStatus == PROBE_FAILED) return "successor probe failed";
    best = std::max(best, v);
    if (v == 2 && zeroing(m)) zeroingWin = true;
    if (v == 2 && !zeroing(m)) fastestWin = std::min(fastestWin, 1 - childDtz);
    if (v == -2) longestLoss = std::max(longestLoss, zeroing(m) ? 1 : childDtz + 1);
  }
  if (wdl != best) return "WDL " + std::to_string(wdl) + " but best successor " + std::to_string(best);
  int expected = 0;
  if (wdl == 2) expected = zeroingWin ? 1 : fastestWin;
  if (wdl == -2) expected = -longestLoss;
  const int slack = wdl == 2 && zeroingWin ? 0 : 1;  // distances stored in moves round up
  if (dtz < expected - slack || dtz > expected + slack)
    return "DTZ " + std::to_string(dtz) + " but successors give " + std::to_string(expected);
  return "";
}

// Walks every placement of the pieces (pawns off the back ranks) with both
// sides to move, or a random sample of them.
template <typename Visit>
void forPlacements(const std::string& pieces, int samples, Visit visit) {
  const int n = int(pieces.size());
  std::mt19937 random(2024);
  auto allowed = [&](int i, int s) { return !(pieces[i] == 'P' || pieces[i] == 'p') || (s >= 8 && s < 56); };
  int squares[8] = {};
  if (samples > 0) {
    for (int done = 0; done < samples;) {
      for (int i = 0; i < n; ++i) do
          squares[i] = int(random() % 64);
        while (!allowed(i, squares[i]));
      done += visit(squares, bool(random() & 1));
    }
    return;
  }
  for (long code = 0, total = 1L << (6 * n); code < total; ++code) {
    bool ok = true;
    for (int i = 0; i < n && ok; ++i) ok = allowed(i, squares[i] = int((code >> (6 * i)) & 63));
    if (!ok) continue;
    visit(squares, false);
    visit(squares, true);
  }
}

// Every position of a three-piece table, both sides to move, indexed by
// side and the absolute squares of the pieces in name order.
struct SmallTable {
  static constexpr int8_t NO_POSITION = 9;
  static constexpr int16_t UNKNOWN = INT16_MIN;
  std::string pieces;
  std::vector<int8_t> wdl = std::vector<int8_t>(2 << 18, NO_POSITION);
  std::vector<int16_t> dtz = std::vector<int16_t>(2 << 18, UNKNOWN);
  std::vector<uint8_t> stored = std::vector<uint8_t>(2 << 18, 0);

  PieceType types[3];
  bool white[3];

  explicit SmallTable(const std::string& material) : pieces(material) {
    for (int i = 0; i < 3; ++i) {
      white[i] = pieces[i] >= 'A' && pieces[i] <= 'Z';
      types[i] = PieceType(std::string(" PNBRQK").find(char(white[i] ? pieces[i] : pieces[i] - 'a' + 'A')));
    }
  }

  int indexOf(const PositionState& st) const {
    const bool black = isBlackToMove(st);
    const Bitboard whites = black ? enemyPieces(st) : ownPieces(st);
    int index = black;
    for (int i = 0; i < 3; ++i) {
      const Bitboard b = st.pieces[types[i]] & (white[i] ? whites : st.pieces[ALL_PIECES] ^ whites);
      index = index * 64 + lsb(black ? flipBB(b) : b);
    }
    return index;
  }
};

// A move's value for the mover (WDL) and the DTZ it leads to: from the
// table while the material stays, probed otherwise.
struct MoveValue {
  int wdl, dtz;
  bool known;
  bool zeroes;  // a capture, a pawn move or a mate: the count starts again
};
MoveValue valueAfter(Position& pos, Move m, const SmallTable& table) {
  makeMove(pos, m, nullptr);
  MoveValue value{0, 0, true, zeroing(m) || (isInCheck(*pos.state) && legalMoves(*pos.state).empty())};
  if (moveCaptured(m) || (m & MOVE_PROMOTION)) {
    int status;
    value.wdl = -probeWdl(pos, &status);
    value.known = status != PROBE_FAILED;
  } else {
    const int i = table.indexOf(*pos.state);
    value.wdl = -table.wdl[i];
    value.dtz = table.dtz[i];
    value.known = table.dtz[i] != SmallTable::UNKNOWN || value.wdl == 0 || value.zeroes;
  }
  takeBack(pos);
  return value;
}

// DTZ by the successors: 1 for a win a zeroing move (or mate) reaches, else
// one more than the fastest winning successor; for a loss one more than the
// slowest, and -1 when mated.
int dtzBySuccessors(Position& pos, int wdl, const SmallTable& table, bool* known) {
  int fastestWin = 1 << 20, longestLoss = 1;
  *known = true;
  for (Move m : legalMoves(*pos.state)) {
    const MoveValue v = valueAfter(pos, m, table);
    *known = *known && v.known;
    if (v.wdl == 2) fastestWin = std::min(fastestWin, v.zeroes ? 1 : 1 - v.dtz);
    if (v.wdl == -2) longestLoss = std::max(longestLoss, v.zeroes ? 1 : v.dtz + 1);
  }
  return wdl > 0 ? fastestWin : wdl < 0 ? -longestLoss : 0;
}

TEST(TablebaseProbe, EveryPositionOfThreePieceTablesAgreesWithItsSuccessors) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  auto pos = std::make_unique<Position>();
  for (const char* name : {"KQvK", "KPvK"}) {
    SmallTable table(piecesOf(name));
    std::vector<int> positions;
    // 1. WDL of every position; DTZ where the file holds the side to move.
    forPlacements(table.pieces, 0, [&](const int* squares, bool black) {
      if (!placePieces(*pos, table.pieces, squares, black)) return 0;
      const int i = table.indexOf(*pos->state);
      int status;
      table.wdl[i] = int8_t(probeWdl(*pos, &status));
      EXPECT_NE(status, PROBE_FAILED);
      int fileStatus = PROBE_OK;
      if (table.wdl[i] != 0) probeTable(*pos->state, table.wdl[i], &fileStatus, TABLE_DTZ);
      table.stored[i] = fileStatus != PROBE_OTHER_SIDE;
      if (table.stored[i]) table.dtz[i] = int16_t(probeDtz(*pos, &status));
      positions.push_back(i);
      return 1;
    });
    ASSERT_GT(positions.size(), 100000u) << name;
    auto setUp = [&](int i) {
      const int squares[3] = {(i >> 12) & 63, (i >> 6) & 63, i & 63};
      placePieces(*pos, table.pieces, squares, i >> 18);
    };
    // 2. The other side's DTZ from its successors, as probeDtz looks ahead;
    // the probe itself on every 64th of them.
    int looked = 0;
    for (int i : positions) {
      if (table.stored[i]) continue;
      setUp(i);
      bool known;
      table.dtz[i] = int16_t(dtzBySuccessors(*pos, table.wdl[i], table, &known));
      if (++looked % 64 == 0) {
        int status;
        EXPECT_EQ(probeDtz(*pos, &status), table.dtz[i]) << name << " index " << i;
      }
    }
    // 3. Every position against its successors.
    long faults = 0;
    for (int i : positions) {
      setUp(i);
      const std::vector<Move> moves = legalMoves(*pos->state);
      int best = moves.empty() ? (isInCheck(*pos->state) ? -2 : 0) : -2;
      for (Move m : moves) best = std::max(best, valueAfter(*pos, m, table).wdl);
      bool known = true;
      const int expected = table.stored[i] ? dtzBySuccessors(*pos, table.wdl[i], table, &known) : table.dtz[i];
      const int slack = table.wdl[i] == 0 || expected == 1 ? 0 : 1;  // distances stored in moves round up
      if (table.wdl[i] != best || (!moves.empty() && known && std::abs(table.dtz[i] - expected) > slack))
        if (++faults <= 5)
          ADD_FAILURE() << name << " index " << i << ": WDL " << int(table.wdl[i]) << " (successors " << best
                        << "), DTZ " << table.dtz[i] << " (successors " << expected << ")";
    }
    EXPECT_EQ(faults, 0) << name;
    EXPECT_GT(looked, 1000) << name << ": the DTZ file holds one side, the other is looked ahead";
  }
}

TEST(TablebaseProbe, SampledPositionsOfEveryTableAgreeWithTheirSuccessors) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  auto pos = std::make_unique<Position>();
  int tables = 0;
  for (const std::string& name : smallTableNames()) {
    ++tables;
    int faults = 0;
    forPlacements(piecesOf(name), 120, [&](const int* squares, bool black) {
      if (!placePieces(*pos, piecesOf(name), squares, black)) return 0;
      const std::string fault = checkBySuccessors(*pos);
      if (!fault.empty() && ++faults <= 3) ADD_FAILURE() << name << ": " << fault;
      return 1;
    });
  }
  EXPECT_EQ(tables, 35);
}

TEST(TablebaseProbe, EnPassantPositionsAgreeWithTheirSuccessors) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  // KPvKP after a double step beside the other pawn, either side to move.
  auto pos = std::make_unique<Position>();
  std::mt19937 random(7);
  int checked = 0;
  while (checked < 300) {
    const bool black = random() & 1;
    const int file = int(random() % 8), side = random() & 1 ? 1 : -1;
    if (file + side < 0 || file + side > 7) continue;
    const int rank = black ? 3 : 4;  // the pawn that just moved two squares
    const int squares[4] = {int(random() % 64), 8 * rank + file + side, int(random() % 64), 8 * rank + file};
    // White's pawn is the second piece, black's the fourth; the pawn that
    // moved belongs to the side not to move.
    const int placed[4] = {squares[0], black ? squares[3] : squares[1], squares[2], black ? squares[1] : squares[3]};
    if (!placePieces(*pos, "KPkp", placed, black, file)) continue;
    ++checked;
    const std::string fault = checkBySuccessors(*pos);
    EXPECT_TRUE(fault.empty()) << fault;
  }
}

// Values any chess player can check.
TEST(TablebaseProbe, KnownPositionsHaveTheirValues) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  struct Known {
    const char* fen;
    int wdl, dtz, status;
  };
  const Known known[] = {
      {"8/8/8/4k3/8/8/8/K7 w - - 0 1", 0, 0, PROBE_OK},            // bare kings
      {"k7/2K5/8/8/8/8/8/1Q6 w - - 0 1", 2, 1, PROBE_OK},          // Qb7 and Qb8 mate
      {"k6R/8/1K6/8/8/8/8/8 b - - 0 1", -2, -1, PROBE_OK},         // mated
      {"k7/2Q5/1K6/8/8/8/8/8 b - - 0 1", 0, 0, PROBE_OK},          // stalemate
      {"4k3/4P3/4K3/8/8/8/8/8 b - - 0 1", 0, 0, PROBE_OK},         // stalemate by the pawn
      {"4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", -2, INT_MIN, PROBE_OK},  // king in front on the sixth
      {"8/8/8/8/8/8/4P3/4K2k w - - 0 1", 2, 1, PROBE_OK},          // the pawn runs: a pawn move wins
      {"8/8/8/3q4/8/8/3Q4/K6k w - - 0 1", 2, 1, PROBE_ZEROING_BEST},  // Qxd5 leaves a won KQvK
      {"8/8/8/8/8/8/8/KB5k w - - 0 1", 0, 0, PROBE_OK},            // a lone bishop
  };
  auto pos = std::make_unique<Position>();
  for (const Known& k : known) {
    ASSERT_EQ(setUpPosition(*pos, k.fen, nullptr).error, SETUP_OK) << k.fen;
    int status;
    EXPECT_EQ(probeWdl(*pos, &status), k.wdl) << k.fen;
    if (k.wdl != 0) {
      EXPECT_EQ(status, k.status) << k.fen;
    }
    const int dtz = probeDtz(*pos, &status);
    EXPECT_NE(status, PROBE_FAILED) << k.fen;
    if (k.dtz != INT_MIN) {
      EXPECT_EQ(dtz, k.dtz) << k.fen;
    }
  }
}

}  // namespace
