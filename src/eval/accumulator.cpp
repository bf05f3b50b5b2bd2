#include "eval/accumulator.h"

#include <algorithm>

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
      refreshAccumulator(st, perspective, dst);
  }
  record.computed = 1;
}

