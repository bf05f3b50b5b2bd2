#include "writer.h"

#include <algorithm>
#include <array>

#include "bytes.h"
#include "fileorder.h"
#include "pairs.h"
#include "parallel.h"

namespace {

constexpr uint32_t WDL_MAGIC = 0x5D23E871;
constexpr uint32_t DTZ_MAGIC = 0xA50C66D7;
constexpr uint64_t DATA_ALIGNMENT = 64;

// Flags of a DTZ sub-table, above bit 0 (the side to move it holds).
constexpr uint8_t DTZ_MAPPED = 2;      // values go through the value maps
constexpr uint8_t DTZ_WIN_PLIES = 4;   // wins' distances stored in plies, not moves
constexpr uint8_t DTZ_LOSS_PLIES = 8;  // losses' distances likewise
constexpr uint8_t DTZ_WIDE_MAP = 16;   // the maps hold 16-bit values

// Block sizes: WDL values are read throughout the search, so their blocks
// stay small; DTZ values only at the root.
constexpr PairsOptions WDL_BLOCKS{5, 7};
constexpr PairsOptions DTZ_BLOCKS{5, 8};

// One compressed sub-table with the flags its header starts with and, for
// DTZ, its four value maps.
struct SubTableData {
  CompressedPairs pairs;
  uint8_t flags = 0;
  std::vector<uint16_t> maps[4];
};

// Walks the indices of one sub-table and hands each with its solver cell and
// zeroing values to record(index, cell, zeroing); indices no position
// reaches come as illegal.
template <class Record>
void walkSubTable(const TableInfo& info, const SubTableIndex& sub, const Arrangement& a, int stm, int threads,
                  Record&& record) {
  const Table& t = *info.table;
  int slot[TB_MAX_PIECES];
  solverSlots(info, a, slot);
  parallelFor(0, sub.size, threads, [&](uint64_t lo, uint64_t hi, int) {
    for (uint64_t i = lo; i < hi; ++i) {
      int squares[TB_MAX_PIECES], mine[TB_MAX_PIECES];
      if (!squaresAtIndex(sub, i, squares)) {
        record(i, decidedCell(CODE_ILLEGAL, 0), uint8_t(0));
        continue;
      }
      for (int k = 0; k < info.shape.pieceCount; ++k) mine[slot[k]] = squares[k];
      const uint64_t at = positionIndex(t.layout, mine);
      record(i, t.cell[stm][at], t.zeroing[stm][at]);
    }
  });
}

// WDL values with the free entries filled so that runs are as long as they
// can be: each run takes the highest value all its entries allow.
std::vector<uint16_t> fillWdl(const std::vector<uint8_t>& constraint) {
  std::vector<uint16_t> values(constraint.size());
  for (size_t i = 0; i < constraint.size();) {
    int lo = 0, hi = 4;
    size_t j = i;
    for (; j < constraint.size(); ++j) {
      const uint8_t c = constraint[j];
      const int h = (c & WDL_FREE) ? 4 : c & WDL_VALUE, l = (c & (WDL_FREE | WDL_FREE_BELOW)) ? 0 : h;
      if (std::max(lo, l) > std::min(hi, h)) break;
      lo = std::max(lo, l);
      hi = std::min(hi, h);
    }
    std::fill(values.begin() + std::ptrdiff_t(i), values.begin() + std::ptrdiff_t(j), uint16_t(hi));
    i = j;
  }
  return values;
}

SubTableData compressWdl(const TableInfo& info, const Arrangement& a, int file, int stm, int threads) {
  const SubTableIndex sub = subTableIndex(info, a, file);
  std::vector<uint8_t> constraint(sub.size);
  walkSubTable(info, sub, a, stm, threads,
               [&](uint64_t i, uint16_t cell, uint8_t zeroing) { constraint[i] = wdlConstraint(cell, zeroing); });
  SubTableData out;
  out.pairs = compressPairs(fillWdl(constraint), WDL_BLOCKS);
  return out;
}

SubTableData compressDtz(const TableInfo& info, const Arrangement& a, int file, int stm, int threads) {
  const SubTableIndex sub = subTableIndex(info, a, file);
  std::vector<uint16_t> entry(sub.size);
  walkSubTable(info, sub, a, stm, threads,
               [&](uint64_t i, uint16_t cell, uint8_t zeroing) { entry[i] = dtzEntry(info, cell, zeroing); });
  // Value maps: each map's distances by falling frequency, so that the
  // common distances of every result share the small numbers.
  SubTableData out;
  std::vector<std::array<uint64_t, 4096>> frequency(4);
  for (auto& f : frequency) f.fill(0);
  for (uint16_t e : entry)
    if (e != DTZ_FREE) ++frequency[e >> 12][e & 4095];
  std::vector<std::array<uint16_t, 4096>> rank(4);
  bool wide = false;
  for (size_t m = 0; m < 4; ++m) {
    std::vector<int> present;
    for (int d = 0; d < 4096; ++d)
      if (frequency[m][size_t(d)]) present.push_back(d);
    std::stable_sort(present.begin(), present.end(),
                     [&](int x, int y) { return frequency[m][size_t(x)] > frequency[m][size_t(y)]; });
    for (size_t r = 0; r < present.size(); ++r) {
      rank[m][size_t(present[r])] = uint16_t(r);
      out.maps[m].push_back(uint16_t(present[r]));
      wide |= present[r] > 255;
    }
    wide |= present.size() > 255;
  }
  // Free entries repeat the value before them (the first stored value at
  // the start).
  std::vector<uint16_t> values(sub.size, 0);
  uint16_t previous = 0;
  for (uint16_t e : entry)
    if (e != DTZ_FREE) {
      previous = rank[e >> 12][e & 4095];
      break;
    }
  for (size_t i = 0; i < entry.size(); ++i) {
    if (entry[i] != DTZ_FREE) previous = rank[entry[i] >> 12][entry[i] & 4095];
    values[i] = previous;
  }
  out.pairs = compressPairs(values, DTZ_BLOCKS);
  out.flags = uint8_t(stm | DTZ_MAPPED | (info.winPlies ? DTZ_WIN_PLIES : 0) | (info.lossPlies ? DTZ_LOSS_PLIES : 0) |
                      (wide ? DTZ_WIDE_MAP : 0));
  return out;
}

void padTo(std::vector<uint8_t>& v, uint64_t alignment) {
  while (v.size() % alignment) v.push_back(0);
}

// The file: magic, flags, piece orders, compression headers, (DTZ) value
// maps, then all index tables, all size tables and the 64-byte aligned data.
std::vector<uint8_t> assemble(const TableInfo& info, uint32_t magic, const std::vector<std::vector<uint8_t>>& orders,
                              const std::vector<SubTableData>& subs, bool dtz) {
  std::vector<uint8_t> f;
  put32(f, magic);
  // Bit 0: both sides to move stored (WDL); the piece count and whether
  // the table has pawns complete the byte for readers that look.
  f.push_back(uint8_t(info.shape.pieceCount << 4 | (info.encoding == ENCODING_PAWN ? 2 : 0) | (info.symmetric ? 0 : 1)));
  for (const auto& o : orders) f.insert(f.end(), o.begin(), o.end());
  padTo(f, 2);
  for (const SubTableData& s : subs) {
    std::vector<uint8_t> h = s.pairs.header;
    h[0] |= s.flags;
    f.insert(f.end(), h.begin(), h.end());
  }
  if (dtz) {
    for (const SubTableData& s : subs) {
      if (!(s.flags & DTZ_MAPPED)) continue;
      const bool wide = s.flags & DTZ_WIDE_MAP;
      if (wide) padTo(f, 2);
      for (const auto& map : s.maps) {
        if (wide) {
          put16(f, uint32_t(map.size()));
          for (uint16_t v : map) put16(f, v);
        } else {
          f.push_back(uint8_t(map.size()));
          for (uint16_t v : map) f.push_back(uint8_t(v));
        }
      }
    }
    padTo(f, 2);
  }
  for (const SubTableData& s : subs) f.insert(f.end(), s.pairs.indexTable.begin(), s.pairs.indexTable.end());
  for (const SubTableData& s : subs) f.insert(f.end(), s.pairs.sizeTable.begin(), s.pairs.sizeTable.end());
  // Every sub-table's data starts at a multiple of 64, even an empty one's.
  for (const SubTableData& s : subs) {
    padTo(f, DATA_ALIGNMENT);
    f.insert(f.end(), s.pairs.data.begin(), s.pairs.data.end());
  }
  return f;
}

}  // namespace

TableFiles writeTable(const Table& table, const WriterOptions& options) {
  const TableInfo info = describeTable(table);
  TableFiles files;
  files.name = materialName(table.material);
  const int sides = info.symmetric ? 1 : 2;
  std::vector<std::vector<uint8_t>> wdlOrders, dtzOrders;
  std::vector<SubTableData> wdlSubs, dtzSubs;
  for (int file = 0; file < info.files; ++file) {
    const OrderChoice choice = chooseOrders(info, file, options.threads);
    wdlOrders.push_back(orderBytes(info, choice.wdl[0], choice.wdl[1]));
    for (int stm = 0; stm < sides; ++stm) wdlSubs.push_back(compressWdl(info, choice.wdl[stm], file, stm, options.threads));
    dtzOrders.push_back(orderBytes(info, choice.dtz, choice.dtz));
    dtzSubs.push_back(compressDtz(info, choice.dtz, file, choice.dtzSide, options.threads));
  }
  files.wdl = assemble(info, WDL_MAGIC, wdlOrders, wdlSubs, false);
  files.dtz = assemble(info, DTZ_MAGIC, dtzOrders, dtzSubs, true);
  return files;
}
