#include "tableindex.h"

#include <algorithm>

namespace {

constexpr int TRIANGLE_CLASS_SQUARE[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};  // b1 c1 d1 c2 d2 d3 a1 b2 c3 d4

struct Inverses {
  int lower[28];      // square of each below-diagonal number
  int kingPair[462][2];
  int twistSquare[48];  // square of each pawnTwist value
};

Inverses makeInverses() {
  Inverses inv{};
  for (int s = 0; s < 64; ++s)
    if ((s >> 3) < (s & 7)) inv.lower[lowerIndex[s]] = s;
  for (int row = 0; row < 10; ++row)
    for (int s = 0; s < 64; ++s)
      if (kkIndex[row][s] != KK_INVALID) {
        inv.kingPair[kkIndex[row][s]][0] = TRIANGLE_CLASS_SQUARE[row];
        inv.kingPair[kkIndex[row][s]][1] = s;
      }
  for (int s = 8; s < 56; ++s) inv.twistSquare[pawnTwist(s)] = s;
  return inv;
}

const Inverses& inverses() {
  static const Inverses inv = makeInverses();
  return inv;
}

// Turns the numbers q (ascending) of free squares, counted from base
// upwards past the taken squares, back into squares.
void freeSquares(const int* q, int count, const int* taken, int takenCount, int base, int* out) {
  int sorted[TB_PIECES];
  for (int i = 0; i < takenCount; ++i) {
    int j = i;
    for (; j > 0 && sorted[j - 1] > taken[i]; --j) sorted[j] = sorted[j - 1];
    sorted[j] = taken[i];
  }
  for (int i = 0; i < count; ++i) {
    int s = q[i] + base;
    for (int t = 0; t < takenCount; ++t)
      if (sorted[t] >= base && sorted[t] <= s) ++s;
    out[i] = s;
  }
}

int freeSquare(int number, const int* taken, int takenCount, int base) {
  int s;
  freeSquares(&number, 1, taken, takenCount, base, &s);
  return s;
}

// Inverse of the combination number sum of C(q_m, m), m = 1 .. count, with
// q_1 < q_2 < ... : the q values in ascending order.
void combination(uint64_t value, int count, int* q) {
  int top = 63;
  for (int m = count; m >= 1; --m) {
    // The largest t <= top with C(t, m) <= value (C(m - 1, m) = 0).
    int lo = m - 1, hi = top;
    while (lo < hi) {
      const int mid = (lo + hi + 1) / 2;
      if (binomial[m][mid] <= value)
        lo = mid;
      else
        hi = mid - 1;
    }
    q[m - 1] = lo;
    value -= binomial[m][lo];
    top = lo - 1;
  }
}

void decodeTriple(uint64_t idx, int* p) {
  const Inverses& inv = inverses();
  int taken[2];
  if (idx < 23436) {
    p[0] = TRIANGLE_CLASS_SQUARE[idx / 3906];
    const int a = int(idx % 3906 / 62);
    p[1] = a + (a >= p[0]);
    taken[0] = p[0], taken[1] = p[1];
    p[2] = freeSquare(int(idx % 62), taken, 2, 0);
  } else if (idx < 30380) {
    idx -= 23436;
    p[0] = 9 * int(idx / 1736);
    p[1] = inv.lower[idx % 1736 / 62];
    taken[0] = p[0], taken[1] = p[1];
    p[2] = freeSquare(int(idx % 62), taken, 2, 0);
  } else if (idx < 31164) {
    idx -= 30380;
    const int d0 = int(idx / 196), e = int(idx % 196 / 28);
    p[0] = 9 * d0;
    p[1] = 9 * (e + (e >= d0));
    p[2] = inv.lower[idx % 28];
  } else {
    idx -= 31164;
    const int d0 = int(idx / 42), e = int(idx % 42 / 6), f = int(idx % 6);
    const int d1 = e + (e >= d0);
    const int lo = std::min(d0, d1), hi = std::max(d0, d1);
    int d2 = f;
    if (d2 >= lo) ++d2;
    if (d2 >= hi) ++d2;
    p[0] = 9 * d0, p[1] = 9 * d1, p[2] = 9 * d2;
  }
}

// The leading pawns of file class t from their digit.
void decodeLeadingPawns(uint64_t idx, int k, int t, int* p) {
  int j = 6 * t;
  while (j + 1 < 6 * t + 6 && pawnIndex[k - 1][j + 1] <= idx) ++j;
  p[0] = t + 8 * (1 + j % 6);
  idx -= pawnIndex[k - 1][j];
  int q[TB_PIECES];
  combination(idx, k - 1, q);
  // q ascending; the encoder lists the other pawns by descending twist.
  for (int i = 1; i < k; ++i) p[i] = inverses().twistSquare[q[k - 1 - i]];
}

}  // namespace

bool makeSubTableIndex(SubTableIndex& sub, const TableShape& shape, TableEncoding encoding, const uint8_t* header,
                       int shift, int fileClass) {
  sub = SubTableIndex{};
  sub.shape = shape;
  sub.encoding = encoding;
  sub.fileClass = fileClass;
  sub.size = initEncodingInfo(sub.info, shape, header, shift, fileClass, encoding);
  if (sub.size == 0) return false;
  const int n = shape.pieceCount;
  const EncodingInfo& info = sub.info;
  int k = info.norm[0];
  if (encoding == ENCODING_PAWN) {
    sub.digits[0] = pawnFactor[k - 1][fileClass];
    if (shape.pawnCounts[1] > 0) {
      sub.digits[k] = binomial[info.norm[k]][48 - k];
      k += info.norm[k];
    }
  } else {
    sub.digits[0] = shape.kkEncoding ? KK_PAIRS : TRIPLE_PLACEMENTS;
  }
  for (; k < n; k += info.norm[k]) sub.digits[k] = binomial[info.norm[k]][64 - k];
  return true;
}

bool squaresAtIndex(const SubTableIndex& sub, uint64_t index, int* squares) {
  const EncodingInfo& info = sub.info;
  const int n = sub.shape.pieceCount;
  auto digit = [&](int k) { return index / info.factor[k] % sub.digits[k]; };
  int k = info.norm[0];
  if (sub.encoding == ENCODING_PIECE) {
    if (sub.shape.kkEncoding) {
      const uint64_t d = digit(0);
      squares[0] = inverses().kingPair[d][0];
      squares[1] = inverses().kingPair[d][1];
    } else {
      decodeTriple(digit(0), squares);
    }
  } else {
    decodeLeadingPawns(digit(0), k, sub.fileClass, squares);
    if (sub.shape.pawnCounts[1] > 0) {
      int q[TB_PIECES];
      const int count = info.norm[k];
      combination(digit(k), count, q);
      freeSquares(q, count, squares, k, 8, squares + k);
      k += count;
    }
  }
  for (; k < n; k += info.norm[k]) {
    int q[TB_PIECES];
    combination(digit(k), info.norm[k], q);
    freeSquares(q, info.norm[k], squares, k, 0, squares + k);
  }
  int check[TB_PIECES];
  std::copy(squares, squares + n, check);
  return encodePosition(check, info, sub.shape, sub.encoding) == index;
}
