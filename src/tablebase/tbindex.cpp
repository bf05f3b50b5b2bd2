#include "tablebase/tbindex.h"

uint64_t binomial[7][64];
uint64_t pawnIndex[6][24];
uint64_t pawnFactor[6][4];

namespace {

constexpr bool onDiagonal(int square) { return (DIAGONAL_A1H8 >> square) & 1; }
constexpr bool aboveDiagonal(int square) { return (ABOVE_DIAGONAL >> square) & 1; }
constexpr bool belowDiagonal(int square) { return (square >> 3) < (square & 7); }

// Class of a square by its image in the triangle a1-d1-d4: b1, c1, d1, c2,
// d2, d3 are 0..5, the diagonal squares a1, b2, c3, d4 are 6..9.
constexpr std::array<uint8_t, 64> buildTriangle() {
  constexpr uint8_t inTriangle[4][4] = {// [rank][file], rank <= file
                                        {6, 0, 1, 2},
                                        {0, 7, 3, 4},
                                        {0, 0, 8, 5},
                                        {0, 0, 0, 9}};
  std::array<uint8_t, 64> table{};
  for (int s = 0; s < 64; ++s) {
    int f = s & 7, r = s >> 3;
    if (f > 3) f = 7 - f;
    if (r > 3) r = 7 - r;
    if (r > f) {
      const int swap = r;
      r = f;
      f = swap;
    }
    table[s] = inTriangle[r][f];
  }
  return table;
}

// a1..h8 are 0..7, h1, g2 .. a8 are 8..15, every other square 0.
constexpr std::array<uint8_t, 64> buildDiagonal() {
  std::array<uint8_t, 64> table{};
  for (int i = 0; i < 8; ++i) {
    table[9 * i] = uint8_t(i);
    table[7 * (i + 1)] = uint8_t(8 + i);
  }
  return table;
}

// Below the diagonal 0..27 rank by rank, the diagonal 28..35, above it the
// value of the transposed square.
constexpr std::array<uint8_t, 64> buildLower() {
  std::array<uint8_t, 64> table{};
  int next = 0;
  for (int s = 0; s < 64; ++s)
    if (belowDiagonal(s)) table[s] = uint8_t(next++);
  for (int i = 0; i < 8; ++i) table[9 * i] = uint8_t(28 + i);
  for (int s = 0; s < 64; ++s)
    if (aboveDiagonal(s)) table[s] = table[flipDiagonal(s)];
  return table;
}

constexpr bool kingsApart(int a, int b) {
  const int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
  return a != b && (df > 1 || df < -1 || dr > 1 || dr < -1);
}

// The first king on one of the ten triangle squares (rows in class order);
// the second anywhere apart from it. With the first king on the diagonal
// the board may still be transposed, so only second kings below the
// diagonal are numbered at first (0..440); those on the diagonal follow
// (441..461).
constexpr std::array<std::array<uint16_t, 64>, 10> buildKk() {
  constexpr int rowSquare[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};  // b1 c1 d1 c2 d2 d3 a1 b2 c3 d4
  std::array<std::array<uint16_t, 64>, 10> table{};
  for (auto& row : table)
    for (auto& v : row) v = KK_INVALID;
  int next = 0;
  for (int row = 0; row < 10; ++row)
    for (int s = 0; s < 64; ++s)
      if (kingsApart(rowSquare[row], s) && (row < 6 || belowDiagonal(s))) table[row][s] = uint16_t(next++);
  for (int row = 6; row < 10; ++row)
    for (int s = 0; s < 64; ++s)
      if (kingsApart(rowSquare[row], s) && onDiagonal(s)) table[row][s] = uint16_t(next++);
  return table;
}

template <typename T>
void sortAscending(T* first, int count, bool (*before)(int, int)) {
  for (int i = 1; i < count; ++i)
    for (int j = i; j > 0 && before(first[j], first[j - 1]); --j) {
      const T swap = first[j];
      first[j] = first[j - 1];
      first[j - 1] = swap;
    }
}

bool lowerSquare(int a, int b) { return a < b; }
bool largerTwist(int a, int b) { return pawnTwist(a) > pawnTwist(b); }

// Index of one group of equal pieces p[k .. end-1]: the combination number
// of their squares, each square counted without the earlier pieces' squares
// below it. base is 8 for the second colour's pawns (ranks 2..7 only).
uint64_t groupIndex(int* p, int k, int end, int base) {
  sortAscending(p + k, end - k, lowerSquare);
  uint64_t s = 0;
  for (int i = k; i < end; ++i) {
    int below = 0;
    for (int j = 0; j < k; ++j) below += p[j] < p[i];
    s += binomial[i - k + 1][p[i] - below - base];
  }
  return s;
}

}  // namespace

constexpr std::array<uint8_t, 64> triangleIndex = buildTriangle();
constexpr std::array<uint8_t, 64> diagonalIndex = buildDiagonal();
constexpr std::array<uint8_t, 64> lowerIndex = buildLower();
constexpr std::array<std::array<uint16_t, 64>, 10> kkIndex = buildKk();

static_assert(buildKk()[9][63] == 461 && buildKk()[0][63] == 57, "462 king pairs, 58 with the first on b1");
static_assert(pawnTwist(8) == 47 && pawnTwist(15) == 46 && pawnTwist(51) == 1 && pawnTwist(52) == 0);

void initTablebaseIndices() {
  for (int k = 0; k < 7; ++k)
    for (int n = 0; n < 64; ++n) {
      uint64_t c = k == 0 ? 1 : 0;
      if (k > 0 && n > 0) c = binomial[k - 1][n - 1] + binomial[k][n - 1];
      binomial[k][n] = c;
    }
  for (int i = 0; i < 6; ++i)
    for (int file = 0; file < 4; ++file) {
      uint64_t sum = 0;
      for (int j = 6 * file; j < 6 * file + 6; ++j) {
        pawnIndex[i][j] = sum;
        sum += binomial[i][pawnTwist(file + 8 * (1 + j % 6))];
      }
      pawnFactor[i][file] = sum;
    }
}

uint64_t initEncodingInfo(EncodingInfo& record, const TableShape& shape, const uint8_t* header, int shift,
                          int fileClass, TableEncoding encoding) {
  const int n = shape.pieceCount;
  const bool pawns = encoding == ENCODING_PAWN;
  const int second = pawns && shape.pawnCounts[1] > 0 ? 1 : 0;
  record = EncodingInfo{};
  if (n > TB_PIECES || n < 2) return 0;
  for (int i = 0; i < n; ++i) record.pieces[i] = uint8_t((header[i + 1 + second] >> shift) & 15);
  const int order = (header[0] >> shift) & 15;
  const int order2 = second ? (header[1] >> shift) & 15 : 15;

  int k = pawns ? shape.pawnCounts[0] : shape.kkEncoding ? 2 : 3;
  if (pawns && (k < 1 || k > 6)) return 0;
  if (k > n) return 0;
  record.norm[0] = uint8_t(k);
  if (second) {
    if (k >= n) return 0;
    record.norm[k] = shape.pawnCounts[1];
    k += shape.pawnCounts[1];
  }
  if (k > n) return 0;
  int groups = 1 + second;
  for (int i = k; i < n; i += record.norm[i], ++groups) {
    record.norm[i] = 1;
    while (i + record.norm[i] < n && record.pieces[i + record.norm[i]] == record.pieces[i]) ++record.norm[i];
  }
  // Every group gets exactly one factor only when the order names groups
  // that exist, the two leading groups at different places.
  if (order >= groups || (second && (order2 >= groups || order2 == order))) return 0;

  uint64_t f = 1;
  int free = 64 - k;
  for (int i = 0; k < n || i == order || i == order2; ++i) {
    if (i == order) {
      record.factor[0] = f;
      f *= pawns ? pawnFactor[record.norm[0] - 1][fileClass] : shape.kkEncoding ? KK_PAIRS : TRIPLE_PLACEMENTS;
    } else if (i == order2) {
      record.factor[record.norm[0]] = f;
      f *= binomial[record.norm[record.norm[0]]][48 - record.norm[0]];
    } else {
      record.factor[k] = f;
      f *= binomial[record.norm[k]][free];
      free -= record.norm[k];
      k += record.norm[k];
    }
  }
  return f;
}

uint64_t encodePosition(int* p, const EncodingInfo& record, const TableShape& shape, TableEncoding encoding) {
  const int n = shape.pieceCount;
  if (p[0] & 4)
    for (int i = 0; i < n; ++i) p[i] ^= 7;

  uint64_t idx;
  int k;
  if (encoding == ENCODING_PIECE) {
    if (p[0] & 32)
      for (int i = 0; i < n; ++i) p[i] ^= 56;
    int i = 0;
    while (i < n && onDiagonal(p[i])) ++i;
    if (i < (shape.kkEncoding ? 2 : 3) && i < n && aboveDiagonal(p[i]))
      for (int j = 0; j < n; ++j) p[j] = flipDiagonal(p[j]);

    if (shape.kkEncoding) {
      idx = kkIndex[triangleIndex[p[0]]][p[1]];
      k = 2;
    } else {
      const int s1 = p[1] > p[0];
      const int s2 = (p[2] > p[0]) + (p[2] > p[1]);
      if (!onDiagonal(p[0]))
        idx = triangleIndex[p[0]] * 3906 + (p[1] - s1) * 62 + (p[2] - s2);
      else if (!onDiagonal(p[1]))
        idx = 23436 + diagonalIndex[p[0]] * 1736 + lowerIndex[p[1]] * 62 + (p[2] - s2);
      else if (!onDiagonal(p[2]))
        idx = 30380 + diagonalIndex[p[0]] * 196 + (diagonalIndex[p[1]] - s1) * 28 + lowerIndex[p[2]];
      else
        idx = 31164 + diagonalIndex[p[0]] * 42 + (diagonalIndex[p[1]] - s1) * 6 + (diagonalIndex[p[2]] - s2);
      k = 3;
    }
    idx *= record.factor[0];
  } else {
    k = shape.pawnCounts[0];
    sortAscending(p + 1, k - 1, largerTwist);
    idx = pawnIndex[k - 1][flapIndex(p[0])];
    for (int i = 1; i < k; ++i) idx += binomial[k - i][pawnTwist(p[i])];
    idx *= record.factor[0];
    if (shape.pawnCounts[1] > 0) {
      const int end = k + shape.pawnCounts[1];
      idx += groupIndex(p, k, end, 8) * record.factor[k];
      k = end;
    }
  }

  while (k < n) {
    const int end = k + record.norm[k];
    idx += groupIndex(p, k, end, 0) * record.factor[k];
    k = end;
  }
  return idx;
}
