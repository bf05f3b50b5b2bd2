#include "eval/bootstrap.h"

#include <algorithm>
#include <cstring>

#include "eval/features.h"
#include "eval/network.h"

// How the evaluation is laid into the network. Units: an L1 lane that clamps
// at 127 after the halving carries up to 254 cp in 2 cp steps, and the L2
// outputs work in quarter centipawns before their shift by 3.
//
// L1, per perspective (weights shared): 48 "value" lanes, where lane k holds
// clamp(V/2 - 127k, 0, 127) so that together they add up to V/2 for the
// side's piece and castling value V; "king" lanes, each 0 or a fixed amount
// depending on whether the side's king stands on a square whose endgame bonus
// reaches a threshold; two "phase" lanes carrying phase x the king's blend
// slope, one for rising and one for falling slopes.
// L2: every output sums the side to move's lanes minus the other side's, so
// each sees the score difference D, and output j keeps the slice
// clamp(D/2 + 127(16 - j), 0, 127): together the 32 slices cover D/2 from
// -2032 to 2032. L3 passes the slices through and L4 adds them up again.
namespace {

// Piece-square bonuses for the side to move in the table's own orientation,
// printed with the far rank (rank 8 for white) on top. Values are even so
// that each lane step of 2 cp is exact.
constexpr int PAWN_TABLE[64] = {
    0,  0,  0,  0,   0,   0,  0,  0,   //
    70, 70, 70, 70,  70,  70, 70, 70,  //
    36, 36, 40, 44,  44,  40, 36, 36,  //
    14, 16, 20, 28,  28,  20, 16, 14,  //
    6,  8,  14, 24,  24,  14, 8,  6,   //
    4,  4,  6,  12,  12,  2,  4,  4,   //
    2,  4,  4,  -16, -16, 6,  6,  2,   //
    0,  0,  0,  0,   0,   0,  0,  0,
};
constexpr int KNIGHT_TABLE[64] = {
    -24, -18, -12, -12, -12, -12, -18, -24,  //
    -6,  0,   12,  12,  12,  12,  0,   -6,   //
    6,   18,  30,  30,  30,  30,  18,  6,    //
    6,   18,  30,  30,  30,  30,  18,  6,    //
    2,   14,  26,  26,  26,  26,  14,  2,    //
    -2,  10,  22,  22,  22,  22,  10,  -2,   //
    -12, -6,  6,   6,   6,   6,   -6,  -12,  //
    -24, -18, -12, -12, -12, -12, -18, -24,
};
constexpr int BISHOP_TABLE[64] = {
    -8,  -6,  -6,  -6,  -6,  -6,  -6,  -8,   //
    -6,  -2,  -2,  -2,  -2,  -2,  -2,  -6,   //
    -6,  -2,  2,   4,   4,   2,   -2,  -6,   //
    -6,  4,   4,   8,   8,   4,   4,   -6,   //
    -6,  2,   8,   8,   8,   8,   2,   -6,   //
    -6,  4,   6,   4,   4,   6,   4,   -6,   //
    -6,  8,   2,   4,   4,   2,   8,   -6,   //
    -12, -10, -14, -10, -10, -14, -10, -12,
};
constexpr int ROOK_TABLE[64] = {
    4,  4,  4,  4, 4, 4, 4,  4,   //
    16, 20, 20, 20, 20, 20, 20, 16,  //
    -2, 0,  0,  0, 0, 0, 0,  -2,  //
    -4, 0,  0,  0, 0, 0, 0,  -4,  //
    -4, 0,  0,  0, 0, 0, 0,  -4,  //
    -4, 0,  0,  0, 0, 0, 0,  -4,  //
    -6, -2, 0,  0, 0, 0, -2, -6,  //
    -2, 0,  2,  6, 6, 4, 0,  -4,
};
constexpr int QUEEN_TABLE[64] = {
    -8, -4, -4, -2, -2, -4, -4, -8,  //
    -4, 0,  0,  0,  0,  0,  0,  -4,  //
    -4, 0,  2,  2,  2,  2,  0,  -4,  //
    -2, 0,  2,  4,  4,  2,  0,  -2,  //
    -2, 0,  2,  4,  4,  2,  0,  -2,  //
    -4, 0,  2,  2,  2,  2,  0,  -4,  //
    -4, 0,  0,  0,  0,  0,  0,  -4,  //
    -8, -4, -4, 0,  -2, -4, -4, -8,
};
constexpr const int* PIECE_TABLES[6] = {nullptr, PAWN_TABLE, KNIGHT_TABLE, BISHOP_TABLE, ROOK_TABLE, QUEEN_TABLE};

// The king heads for the centre once the pieces are gone...
constexpr int KING_ENDGAME_TABLE[64] = {
    -30, -20, -10, 0,  0,  -10, -20, -30,  //
    -20, -10, 0,   10, 10, 0,   -10, -20,  //
    -10, 0,   10,  20, 20, 10,  0,   -10,  //
    0,   10,  20,  30, 30, 20,  10,  0,    //
    0,   10,  20,  30, 30, 20,  10,  0,    //
    -10, 0,   10,  20, 20, 10,  0,   -10,  //
    -20, -10, 0,   10, 10, 0,   -10, -20,  //
    -30, -20, -10, 0,  0,   -10, -20, -30,
};
// ...and shelters behind its pawns while they are on: the bonus gains slope x
// phase, so the middlegame table is the endgame one plus 24 x slope.
constexpr int KING_SLOPE_TABLE[64] = {
    -3, -4, -5, -5, -5, -5, -4, -3,  //
    -3, -4, -5, -5, -5, -5, -4, -3,  //
    -3, -4, -5, -5, -5, -5, -4, -3,  //
    -3, -4, -5, -5, -5, -5, -4, -3,  //
    -3, -4, -5, -5, -5, -5, -4, -3,  //
    -2, -2, -3, -4, -4, -3, -2, -2,  //
    1,  0,  -1, -2, -2, -1, 0,  1,   //
    3,  3,  2,  0,  0,  0,  3,  3,
};

constexpr int tableIndex(Square s) { return (7 - rankOf(s)) * 8 + fileOf(s); }

constexpr int VALUE_LANES = 48;
constexpr int FIRST_KING_LANE = VALUE_LANES;
constexpr int LANE_MAX = 127;
// Added by every piece row to a king lane whose square set misses the king:
// one piece on the board drives the lane to 0.
constexpr int KING_LANE_OFF = -256;
// L2 weights: quarter centipawns per unit of a lane.
constexpr int WEIGHT_2CP = 8;
constexpr int WEIGHT_1CP = 4;
constexpr int SLICE_COUNT = L2_SIZE;
constexpr int SLICE_CENTRE = SLICE_COUNT / 2;
constexpr int PASS_THROUGH_WEIGHT = 8;
constexpr int OUTPUT_WEIGHT = 64;  // two centipawns per slice unit, times 32

// A king lane adds `units` (2 cp each) when the endgame bonus of the king's
// square is at least threshold.
struct KingLane {
  int threshold;
  int units;
};

struct LanePlan {
  KingLane king[64];
  int kingCount;
  int risingLane;
  int fallingLane;
};

// Steps between the sorted distinct endgame bonuses, each carried by lanes of
// at most 127 units.
LanePlan planLanes() {
  LanePlan plan{};
  int values[64];
  std::copy(KING_ENDGAME_TABLE, KING_ENDGAME_TABLE + 64, values);
  std::sort(values, values + 64);
  int distinct = int(std::unique(values, values + 64) - values);
  for (int i = 1; i < distinct; ++i)
    for (int units = (values[i] - values[i - 1]) / 2; units > 0; units -= LANE_MAX)
      plan.king[plan.kingCount++] = {values[i], std::min(units, LANE_MAX)};
  plan.risingLane = FIRST_KING_LANE + plan.kingCount;
  plan.fallingLane = plan.risingLane + 1;
  return plan;
}

void storeInt16(uint8_t* image, size_t offset, int value) {
  image[offset] = uint8_t(value);
  image[offset + 1] = uint8_t(value >> 8);
}
void storeInt32(uint8_t* image, size_t offset, int32_t value) {
  for (int i = 0; i < 4; ++i) image[offset + i] = uint8_t(uint32_t(value) >> (8 * i));
}

void storeLanes(uint8_t* image, size_t offset, const int* lanes) {
  for (int lane = 0; lane < L1_SIZE; ++lane) storeInt16(image, offset + 2 * lane, lanes[lane]);
}

void writeL1(uint8_t* image, const LanePlan& plan) {
  int lanes[L1_SIZE];
  for (int kind = 0; kind < 10; ++kind) {
    PieceType type = kind < 5 ? kind + 1 : kind - 4;
    for (Square square = 0; square < 64; ++square)
      for (Square king = 0; king < 64; ++king) {
        std::fill(lanes, lanes + L1_SIZE, 0);
        if (kind < 5) {
          int value = BOOTSTRAP_PIECE_VALUE[type] + PIECE_TABLES[type][tableIndex(square)];
          std::fill(lanes, lanes + VALUE_LANES, value);
        }
        int kingBonus = KING_ENDGAME_TABLE[tableIndex(king)];
        for (int i = 0; i < plan.kingCount; ++i)
          if (kingBonus < plan.king[i].threshold) lanes[FIRST_KING_LANE + i] = KING_LANE_OFF;
        int slope = KING_SLOPE_TABLE[tableIndex(king)];
        int phaseUnits = 2 * BOOTSTRAP_PHASE_WEIGHT[type];
        lanes[slope > 0 ? plan.risingLane : plan.fallingLane] = phaseUnits * std::abs(slope);
        storeLanes(image, IMAGE_L1_WEIGHTS + size_t(pieceRow(kind, square, king)) * L1_SIZE * 2, lanes);
      }
  }
  std::fill(lanes, lanes + L1_SIZE, 0);
  std::fill(lanes, lanes + VALUE_LANES, BOOTSTRAP_CASTLING_RIGHT);
  for (int row : {FEATURE_ROW_KING_SIDE, FEATURE_ROW_QUEEN_SIDE})
    storeLanes(image, IMAGE_L1_WEIGHTS + size_t(row) * L1_SIZE * 2, lanes);

  std::fill(lanes, lanes + L1_SIZE, 0);
  for (int k = 0; k < VALUE_LANES; ++k) lanes[k] = -2 * LANE_MAX * k;
  for (int i = 0; i < plan.kingCount; ++i) lanes[FIRST_KING_LANE + i] = 2 * plan.king[i].units;
  storeLanes(image, IMAGE_L1_BIASES, lanes);
}

void writeSmallLayers(uint8_t* image, const LanePlan& plan) {
  int8_t weights[L2_INPUTS] = {};
  for (int k = 0; k < VALUE_LANES + plan.kingCount; ++k) weights[k] = WEIGHT_2CP;
  weights[plan.risingLane] = WEIGHT_1CP;
  weights[plan.fallingLane] = -WEIGHT_1CP;
  for (int lane = 0; lane < L1_SIZE; ++lane) weights[L1_SIZE + lane] = int8_t(-weights[lane]);
  for (int j = 0; j < L2_SIZE; ++j) {
    memcpy(image + IMAGE_L2_WEIGHTS + size_t(j) * L2_INPUTS, weights, L2_INPUTS);
    storeInt32(image, IMAGE_L2_BIASES + 4 * j, WEIGHT_2CP * LANE_MAX * (SLICE_CENTRE - j));
  }
  for (int j = 0; j < L3_SIZE; ++j) {
    image[IMAGE_L3_WEIGHTS + size_t(j) * L2_SIZE + j] = PASS_THROUGH_WEIGHT;
    image[IMAGE_L4_WEIGHTS + j] = OUTPUT_WEIGHT;
  }
  storeInt32(image, IMAGE_L4_BIAS, -OUTPUT_WEIGHT * LANE_MAX * SLICE_CENTRE);
  for (int layer = 0; layer < 4; ++layer)
    storeInt32(image, IMAGE_DECIMAL_BITS + 4 * layer, EXPECTED_DECIMAL_BITS[layer]);
}

}  // namespace

void buildBootstrapNetwork(uint8_t* image) {
  memset(image, 0, NETWORK_IMAGE_SIZE);
  LanePlan plan = planLanes();
  writeL1(image, plan);
  writeSmallLayers(image, plan);
}

int bootstrapEvaluation(const PositionState& st) {
  Bitboard pieces = st.pieces[ALL_PIECES] & ~st.pieces[KING];
  int phase = 0;
  for (PieceType t = KNIGHT; t <= QUEEN; ++t) phase += BOOTSTRAP_PHASE_WEIGHT[t] * popcount(st.pieces[t]);
  int sideValue[2];
  for (int perspective = 0; perspective < 2; ++perspective) {
    Bitboard mine = perspective == 0 ? ownPieces(st) : enemyPieces(st);
    int flip = perspective == 0 ? 0 : 56;
    int value = 0;
    for (PieceType t = PAWN; t <= QUEEN; ++t)
      for (Bitboard b = st.pieces[t] & mine; b;)
        value += BOOTSTRAP_PIECE_VALUE[t] + PIECE_TABLES[t][tableIndex(popLsb(b) ^ flip)];
    int shift = 8 * perspective;
    if (((st.castleFiles >> shift) & 15) != NO_FILE) value += BOOTSTRAP_CASTLING_RIGHT;
    if (((st.castleFiles >> (shift + 4)) & 15) != NO_FILE) value += BOOTSTRAP_CASTLING_RIGHT;
    // Kings alone on the board: the king lanes see no piece and stay level.
    if (pieces) {
      int king = tableIndex(perspectiveKing(st, perspective));
      int slope = KING_SLOPE_TABLE[king];
      int blend = std::min(phase * std::abs(slope), LANE_MAX);
      value += KING_ENDGAME_TABLE[king] + (slope > 0 ? blend : -blend);
    }
    sideValue[perspective] = value;
  }
  return sideValue[0] - sideValue[1];
}
