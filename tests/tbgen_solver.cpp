// The tablebase solver: positions whose values chess settles, zeroing moves
// whose values hinge on promotion choice and en passant, agreement with the
// engine's own move generator over whole endings, and the fifty-move
// boundary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/attacks.h"
#include "check.h"
#include "solver.h"

namespace {

Table* solve(TableSet& set, const char* name) {
  static const bool ready = (initAttacks(), true);
  (void)ready;
  Material m;
  EXPECT_TRUE(parseMaterial(name, m)) << name;
  return solveEnding(set, m);
}

// The endings under the rules, solved once for all tests (KPvKP brings
// the four-piece endings its promotions lead to).
TableSet& rules() {
  static TableSet set = [] {
    TableSet s;
    s.threads = 2;
    return s;
  }();
  return set;
}

// Squares in solver order: white king, black king, other pieces, pawns.
struct Known {
  const char* ending;
  std::vector<int> squares;
  int stm, code, distance;
  const char* what;
};

TEST(TablebaseSolver, ValuesOfKnownPositions) {
  const Known known[] = {
      {"KQvK", {45, 63, 54}, BLACK, CODE_LOSS, 0, "Kf6 Qg7 against Kh8: mated"},
      {"KQvK", {0, 63, 53}, BLACK, CODE_DRAW, 0, "Ka1 Qf7 against Kh8: stalemate"},
      {"KQvK", {45, 63, 48}, WHITE, CODE_WIN, 1, "Kf6 Qa7 against Kh8: Qg7 mates"},
      {"KPvK", {13, 7, 49}, WHITE, CODE_WIN, 1, "Kf2 b7 against Kh1: b8=R wins, b8=Q stalemates"},
      {"KPvK", {0, 63, 8}, WHITE, CODE_WIN, 1, "any pawn move zeroes into a won position"},
      {"KPvKP", {19, 0, 12, 27}, WHITE, CODE_WIN, 1, "Kd3 e2 against Ka1 d4: Kxd4"},
  };
  TableSet& set = rules();
  for (const Known& k : known) {
    const Table* t = solve(set, k.ending);
    const uint16_t c = t->cell[k.stm][positionIndex(t->layout, k.squares.data())];
    EXPECT_EQ(cellCode(c), k.code) << k.what;
    EXPECT_EQ(cellDistance(c), k.distance) << k.what;
  }
  // The longest wins: mate in 10 with the queen, 16 with the rook (the
  // distance to zeroing is the distance to mate).
  const std::pair<const char*, int> longest[] = {{"KQvK", 19}, {"KRvK", 31}};
  for (const auto& [ending, plies] : longest) EXPECT_EQ(solve(set, ending)->longestWin, plies) << ending;
}

TEST(TablebaseSolver, ZeroingMovesValuePromotionsAndEnPassant) {
  TableSet& set = rules();
  // Kf2 and b7 against Kh1: the queen and the bishop stalemate, the knight
  // draws, the rook wins.
  const int promotion[] = {13, 7, 49};
  const std::pair<PieceType, int> choices[] = {{QUEEN, 0}, {ROOK, 2}, {BISHOP, 0}, {KNIGHT, 0}};
  const Table* kpk = solve(set, "KPvK");
  for (const auto& [piece, value] : choices)
    EXPECT_EQ(zeroingMoveValue(*kpk, promotion, WHITE, 2, 57, -1, piece), value) << "b8=" << piece;
  // Kd3 e2 against Ka1 d4: after e2-e4 the board alone is lost for black,
  // but d4xe3 en passant and Kxe3 leave bare kings.
  const int passing[] = {19, 0, 12, 27};
  const Table* kpkp = solve(set, "KPvKP");
  const int after[] = {19, 0, 28, 27};
  EXPECT_EQ(resultCode(*kpkp, after, BLACK), CODE_LOSS);
  EXPECT_EQ(zeroingMoveValue(*kpkp, passing, WHITE, 2, 28, -1, NO_PIECE), 0);
}

TEST(TablebaseSolver, AgreesWithTheEnginesMovesOverWholeEndings) {
  TableSet& set = rules();
  // Every position of KPvK (promotions, stalemates) and a spread of KPvKP
  // (en passant after every double step).
  EXPECT_EQ(checkTable(set, *solve(set, "KPvK"), 2), 0u);
  EXPECT_EQ(checkTable(set, *solve(set, "KPvKP"), 2, 23), 0u);
}

TEST(TablebaseSolver, FiftyMoveBoundary) {
  // With the limit moved to 16 plies, KRvK's results split exactly there:
  // a zeroing move (mate) within 16 plies is a win, later a cursed win.
  TableSet full, limited;
  limited.fiftyMoveLimit = 16;
  const Table* a = solve(full, "KRvK");
  const Table* b = solve(limited, "KRvK");
  int atLimit = 0, pastLimit = 0;
  for (int stm = 0; stm < 2; ++stm)
    for (uint64_t i = 0; i < a->layout.size; ++i) {
      const uint16_t c = a->cell[stm][i], d = b->cell[stm][i];
      ASSERT_EQ(cellDistance(c), cellDistance(d));
      int want = cellCode(c);
      if (cellDistance(c) > 16 && want == CODE_WIN) want = CODE_CURSED_WIN;
      if (cellDistance(c) > 16 && want == CODE_LOSS) want = CODE_BLESSED_LOSS;
      ASSERT_EQ(cellCode(d), want) << "distance " << cellDistance(c);
      atLimit += cellDistance(c) == 16 && cellCode(d) == CODE_LOSS;
      pastLimit += cellDistance(c) == 17 && cellCode(d) == CODE_CURSED_WIN;
    }
  EXPECT_GT(atLimit, 0);
  EXPECT_GT(pastLimit, 0);
  // Promotions into cursed queen and rook endings make the second pass run;
  // the results still agree with the successors under the moved limit.
  TableSet pawn;
  pawn.fiftyMoveLimit = 10;
  const Table* kpk = solve(pawn, "KPvK");
  EXPECT_TRUE(kpk->usedPassTwo);
  EXPECT_EQ(checkTable(pawn, *kpk, 2), 0u);
  EXPECT_EQ(checkTable(pawn, *pawn.tables.at("KQvK"), 2), 0u);
}

}  // namespace
