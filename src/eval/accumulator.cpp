#include "eval/accumulator.h"

#include <algorithm>
#include <cstring>

#include "eval/features.h"
#include "eval/layers.h"
#include "eval/network.h"

void refreshAccumulator(const PositionState& st, int perspective, int16_t* dst) {
  int rows[MAX_ACTIVE_ROWS];
  const int16_t* add[MAX_ACTIVE_ROWS];
  int count = activeRows(st, perspective, rows);
  for (int i = 0; i < count; ++i) add[i] = l1Row(networkImage, rows[i]);
  accumulateRows(dst, l1Biases(networkImage), add, count, nullptr, 0);
}

namespace {

// Accumulators refreshed before, one per side and king square, each with the
// pieces and castling rights it was computed for (in that side's own
// orientation). A refresh starts from the one of the same side and king
// square and applies only the differences: usually a few pieces rather than
// all thirty. The sums wrap like every accumulator sum, so the result is the
// same as a refresh from the biases. Each thread keeps its own entries; they
// start empty (biases, no pieces) and are emptied again whenever a network is
// put in use.
struct RefreshEntry {
  alignas(64) int16_t values[L1_SIZE];
  Bitboard pieces[2][KING];  // [the side's own, the other side's][PAWN..QUEEN]
  uint8_t castling;          // bit 0 king side, bit 1 queen side
};

struct RefreshCache {
  uint32_t networkVersion;  // of the network the entries belong to, 0 before the first use
  RefreshEntry entries[2][64];
};

thread_local RefreshCache refreshCache;

void emptyRefreshCache(RefreshCache& cache) {
  for (auto& side : cache.entries)
    for (RefreshEntry& entry : side) {
      std::memcpy(entry.values, l1Biases(networkImage), sizeof entry.values);
      std::memset(entry.pieces, 0, sizeof entry.pieces);
      entry.castling = 0;
    }
  cache.networkVersion = networkVersion;
}

// The castling rows a perspective holds, as RefreshEntry::castling bits.
uint8_t castlingBits(const PositionState& st, int perspective) {
  int shift = perspective == 0 ? 0 : 8;
  return uint8_t((((st.castleFiles >> shift) & 15) != NO_FILE ? 1 : 0) |
                 (((st.castleFiles >> (shift + 4)) & 15) != NO_FILE ? 2 : 0));
}

// refreshAccumulator by way of the thread's cache entry.
void refreshFromCache(const PositionState& st, int perspective, int16_t* dst) {
  RefreshCache& cache = refreshCache;
  if (cache.networkVersion != networkVersion) emptyRefreshCache(cache);
  const Square king = perspectiveKing(st, perspective);
  const int side = (isBlackToMove(st) ? 1 : 0) ^ perspective;
  RefreshEntry& entry = cache.entries[side][king];
  const int16_t* add[MAX_ACTIVE_ROWS];
  const int16_t* sub[MAX_ACTIVE_ROWS];
  int addCount = 0, subCount = 0;
  const Bitboard mine = perspective == 0 ? ownPieces(st) : enemyPieces(st);
  const Bitboard owners[2] = {mine, st.pieces[ALL_PIECES] ^ mine};
  for (int owner = 0; owner < 2; ++owner)
    for (PieceType t = PAWN; t <= QUEEN; ++t) {
      Bitboard now = st.pieces[t] & owners[owner];
      if (perspective == 1) now = flipBB(now);
      const Bitboard was = entry.pieces[owner][t];
      const int kind = owner == 0 ? t - 1 : t + 4;
      for (Bitboard b = now & ~was; b;) add[addCount++] = l1Row(networkImage, pieceRow(kind, popLsb(b), king));
      for (Bitboard b = was & ~now; b;) sub[subCount++] = l1Row(networkImage, pieceRow(kind, popLsb(b), king));
      entry.pieces[owner][t] = now;
    }
  const uint8_t castling = castlingBits(st, perspective);
  const int castlingRows[2] = {FEATURE_ROW_KING_SIDE, FEATURE_ROW_QUEEN_SIDE};
  for (int i = 0; i < 2; ++i) {
    const uint8_t bit = uint8_t(1 << i);
    if ((castling & bit) && !(entry.castling & bit)) add[addCount++] = l1Row(networkImage, castlingRows[i]);
    if (!(castling & bit) && (entry.castling & bit)) sub[subCount++] = l1Row(networkImage, castlingRows[i]);
  }
  entry.castling = castling;
  accumulateRows(entry.values, entry.values, add, addCount, sub, subCount);
  std::memcpy(dst, entry.values, sizeof entry.values);
}

// Beyond this many row changes along the path a refresh costs less.
constexpr int MAX_UPDATE_ROWS = 64;
constexpr int MAX_DELTA_CODES = 8;

// Brings the same side's accumulator of record from up to ply through the
// deltas of the moves in between; false when a refresh is cheaper.
bool updateAccumulator(const PositionState& st, const NnueRecord* records, int from, int ply, int perspective,
                       int16_t* dst) {
  Square king = perspectiveKing(st, perspective);
  const int16_t* add[MAX_UPDATE_ROWS];
  const int16_t* sub[MAX_UPDATE_ROWS];
  int addCount = 0, subCount = 0;
  for (int i = from; i < ply; ++i) {
    const NnueDelta& delta = records[i].delta;
    bool ownMove = ((ply - i + perspective) & 1) == 0;
    int added = std::clamp(delta.addedCount, 0, MAX_DELTA_CODES);
    int removed = std::clamp(delta.removedCount, 0, MAX_DELTA_CODES);
    if (addCount + added > MAX_UPDATE_ROWS || subCount + removed > MAX_UPDATE_ROWS) return false;
    for (int k = 0; k < added; ++k) {
      int row = deltaRow(delta.added[k], ownMove, king);
      if (row >= 0) add[addCount++] = l1Row(networkImage, row);
    }
    for (int k = 0; k < removed; ++k) {
      int row = deltaRow(delta.removed[k], ownMove, king);
      if (row >= 0) sub[subCount++] = l1Row(networkImage, row);
    }
  }
  const int16_t* src = ((ply - from + perspective) & 1) == 0 ? records[from].own : records[from].other;
  accumulateRows(dst, src, add, addCount, sub, subCount);
  return true;
}

}  // namespace

void computeAccumulators(const PositionState& st, NnueRecord* records, int ply) {
  // Nearest computed record below; a perspective whose own king moved since
  // then has a different king square in every row and starts afresh.
  bool kingMoved[2] = {false, false};
  int from = -1;
  for (int i = ply - 1; i >= 0; --i) {
    if (records[i].delta.kingMoved) kingMoved[(ply - i) & 1] = true;
    if (records[i].computed) {
      from = i;
      break;
    }
  }
  NnueRecord& record = records[ply];
  for (int perspective = 0; perspective < 2; ++perspective) {
    int16_t* dst = perspective == 0 ? record.own : record.other;
    if (from < 0 || kingMoved[perspective] || !updateAccumulator(st, records, from, ply, perspective, dst))
      refreshFromCache(st, perspective, dst);
  }
  record.computed = 1;
}

