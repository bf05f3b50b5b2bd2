#include "tablebase/tablefile.h"

#include <cstdio>
#include <utility>

namespace {

constexpr uint32_t TABLE_MAGIC[2] = {0x5D23E871, 0xA50C66D7};  // WDL, DTZ
constexpr uint8_t FLAG_BOTH_SIDES = 1;  // WDL header: both sides to move stored

// DTZ flags of a file class.
constexpr uint8_t DTZ_STORED_SIDE = 1;  // the side to move the file holds
constexpr uint8_t DTZ_MAPPED = 2;       // values go through the value maps
constexpr uint8_t DTZ_WIDE_MAP = 16;    // the maps hold 16-bit values

// By wdl + 2: which value map a result uses, and the flag saying that its
// distances are stored in plies (otherwise in moves, doubled on reading).
constexpr uint8_t wdlToMap[5] = {1, 3, 0, 2, 0};
constexpr uint8_t paFlags[5] = {8, 0, 0, 0, 4};

constexpr uint64_t BACK_RANKS = 0xFF000000000000FFULL;
constexpr int DATA_ALIGNMENT = 64;

// Serialises set-ups; probing a ready table takes no lock.
std::atomic<uint32_t> tableLock{0};

inline uint32_t read16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t read32(const uint8_t* p) { return read16(p) | read16(p + 2) << 16; }

// Pieces of one table code in a table of this key (table colours).
int materialCount(uint64_t key, int code) {
  const int type = code & 7;
  if (type == KING) return 1;
  if (type < PAWN || type > QUEEN) return 0;
  const int nibble = 5 * (code >> 3) + type - 1;
  return int((key >> (8 + 4 * nibble)) & 15);
}

// A sub-table's piece order can be decoded only when it lists exactly the
// table's pieces and its leading group is what the encoding expects: the
// leading pawns (and the other colour's pawns after them), or pieces that
// occur once each.
bool pieceOrderFits(const TableEntry& entry, const EncodingInfo& record) {
  const int n = entry.shape.pieceCount;
  int counts[16] = {};
  for (int i = 0; i < n; ++i) ++counts[record.pieces[i]];
  for (int code = 0; code < 16; ++code)
    if (counts[code] != materialCount(entry.key, code)) return false;
  if (entry.hasPawns) {
    const int whitePawns = materialCount(entry.key, PAWN), blackPawns = materialCount(entry.key, 8 + PAWN);
    const int lead = blackPawns > 0 && (whitePawns == 0 || whitePawns > blackPawns) ? 8 + PAWN : PAWN;
    const int k = entry.shape.pawnCounts[0], k2 = entry.shape.pawnCounts[1];
    for (int i = 0; i < k + k2; ++i)
      if (record.pieces[i] != (i < k ? lead : lead ^ 8)) return false;
    return true;
  }
  for (int i = 0; i < record.norm[0]; ++i)
    if (counts[record.pieces[i]] != 1) return false;
  return true;
}

void releaseRecords(SubTable* records, int count) {
  for (int i = 0; i < count; ++i) {
    freePairs(records[i].pairs);
    records[i] = SubTable{};
  }
}

// Walks the file: piece orders, compression headers, DTZ value maps, index
// tables, size tables, data. pos never passes size.
bool walkTable(TableEntry& entry, TableKind kind) {
  const uint8_t* const begin = entry.image[kind].data;
  const uint64_t size = entry.image[kind].size;
  const uint8_t* const end = begin + size;
  const bool wdl = kind == TABLE_WDL;
  const bool split = wdl && (begin[4] & FLAG_BOTH_SIDES);
  const int files = entry.hasPawns ? 4 : 1;
  const int sides = split ? 2 : 1;
  const TableEncoding encoding = entry.hasPawns ? ENCODING_PAWN : ENCODING_PIECE;
  SubTable* records = wdl ? entry.wdl : entry.dtz;
  auto record = [&](int t, int side) -> SubTable& { return records[wdl ? t + 4 * side : t]; };
  auto fits = [&](uint64_t pos, uint64_t bytes) { return pos <= size && bytes <= size - pos; };

  // 1. Piece orders, one group of bytes per file class, both sides in it.
  uint64_t pos = 5;
  uint64_t subSize[4][2] = {};
  const int orderBytes = entry.shape.pieceCount + 1 + (entry.hasPawns && entry.shape.pawnCounts[1] > 0);
  for (int t = 0; t < files; ++t) {
    if (!fits(pos, orderBytes)) return false;
    for (int side = 0; side < sides; ++side) {
      EncodingInfo& info = record(t, side).encoding;
      subSize[t][side] = initEncodingInfo(info, entry.shape, begin + pos, 4 * side, t, encoding);
      if (subSize[t][side] == 0 || !pieceOrderFits(entry, info)) return false;
    }
    pos += orderBytes;
  }
  pos += pos & 1;

  // 2. Compression headers.
  PairsSections sections[4][2] = {};
  for (int t = 0; t < files; ++t)
    for (int side = 0; side < sides; ++side) {
      if (!fits(pos, 0)) return false;
      const uint8_t* cursor = begin + pos;
      uint8_t flags = 0;
      PairsData* pairs = setupPairs(&cursor, end, subSize[t][side], wdl, &sections[t][side], &flags);
      if (!pairs) return false;
      record(t, side).pairs = pairs;
      pos = uint64_t(cursor - begin);
      if (!wdl) entry.dtzFlags[t] = flags;
    }

  // 3. DTZ value maps: four per mapped file class, 8- or 16-bit values.
  if (!wdl) {
    for (int t = 0; t < files; ++t) {
      if (!(entry.dtzFlags[t] & DTZ_MAPPED)) continue;
      const bool wide = entry.dtzFlags[t] & DTZ_WIDE_MAP;
      if (wide) pos += pos & 1;
      for (int i = 0; i < 4; ++i) {
        const uint64_t lengthBytes = wide ? 2 : 1;
        if (!fits(pos, lengthBytes)) return false;
        const uint32_t length = wide ? read16(begin + pos) : begin[pos];
        pos += lengthBytes;
        if (!fits(pos, length * lengthBytes)) return false;
        entry.dtzMapStart[t][i] = pos;
        entry.dtzMapLength[t][i] = uint16_t(length);
        pos += length * lengthBytes;
      }
    }
    pos += pos & 1;
  }

  // 4. Index tables, then size tables, then the data of every sub-table.
  for (int section = 0; section < 3; ++section)
    for (int t = 0; t < files; ++t)
      for (int side = 0; side < sides; ++side) {
        PairsData& pairs = *record(t, side).pairs;
        const PairsSections& s = sections[t][side];
        if (section == 2) pos = (pos + DATA_ALIGNMENT - 1) / DATA_ALIGNMENT * DATA_ALIGNMENT;
        const uint64_t bytes = section == 0 ? s.indexBytes : section == 1 ? s.sizeBytes : s.dataBytes;
        if (!fits(pos, bytes)) return false;
        const uint8_t*& start = section == 0 ? pairs.indexTable : section == 1 ? pairs.sizeTable : pairs.data;
        start = begin + pos;
        pos += bytes;
      }
  return true;
}

// Sets up a kind on its first probe; every later probe only loads the
// state. The records are complete before the release store publishes them.
bool ensureReady(TableEntry& entry, TableKind kind) {
  uint8_t state = entry.state[kind].load(std::memory_order_acquire);
  if (state != TABLE_UNSET) return state == TABLE_READY;
  while (tableLock.exchange(1, std::memory_order_acquire) != 0) {
  }
  state = entry.state[kind].load(std::memory_order_relaxed);
  if (state == TABLE_UNSET) {
    state = initTable(entry, kind) ? TABLE_READY : TABLE_FAILED;
    entry.state[kind].store(state, std::memory_order_release);
  }
  tableLock.store(0, std::memory_order_release);
  return state == TABLE_READY;
}

}  // namespace

bool initTable(TableEntry& entry, TableKind kind) {
  const FileImage& image = entry.image[kind];
  const bool magicFits = image.size >= 5 && read32(image.data) == TABLE_MAGIC[kind];
  if (magicFits && walkTable(entry, kind)) return true;
  releaseRecords(kind == TABLE_WDL ? entry.wdl : entry.dtz, kind == TABLE_WDL ? 8 : 4);
  std::fputs("Corrupted table.\n", stderr);
  std::fflush(stderr);
  return false;
}

int probeTable(const PositionState& st, int wdl, int* status, TableKind kind) {
  // 1-4. The table, set up on first use.
  const uint64_t key = boardMaterialKey(st);
  if (kind == TABLE_WDL && key == BARE_KINGS_KEY) return 0;
  TableEntry* entry = findTable(key);
  if (!entry || (kind == TABLE_DTZ && !entry->hasDtz) || (st.pieces[PAWN] & BACK_RANKS) ||
      !ensureReady(*entry, kind)) {
    *status = 0;
    return 0;
  }

  // 5. Orientation: flip when the table's white is the board's black; bside
  // is the table's side to move.
  const bool black = isBlackToMove(st);
  const bool flip = entry->symmetric ? black : key != entry->key;
  const int bside = entry->symmetric ? 0 : int(black) ^ int(flip);

  // 6. Squares by table colour, absolute (white's first rank is rank 0);
  // pawn tables also turn the board when the colours are exchanged.
  const Bitboard own = ownPieces(st), theirs = enemyPieces(st);
  const Bitboard boardWhite = black ? theirs : own, boardBlack = black ? own : theirs;
  const Bitboard byColour[2] = {flip ? boardBlack : boardWhite, flip ? boardWhite : boardBlack};
  const bool turn = black != (entry->hasPawns && flip);
  auto squaresOf = [&](int code) {
    const Bitboard b = st.pieces[code & 7] & byColour[code >> 3];
    return turn ? flipBB(b) : b;
  };

  const TableShape& shape = entry->shape;
  const int n = shape.pieceCount;
  int p[TB_PIECES];
  int k = 0, fileClass = 0;
  Bitboard used = 0;
  if (entry->hasPawns) {
    // 8. The leading pawns first; the one with the smallest flapIndex picks
    // the file class.
    const int lead = (kind == TABLE_WDL ? entry->wdl[0] : entry->dtz[0]).encoding.pieces[0];
    Bitboard pawns = squaresOf(lead);
    used = pawns;
    for (k = 0; k < shape.pawnCounts[0]; ++k) p[k] = popLsb(pawns);
    for (int i = 1; i < k; ++i)
      if (flapIndex(p[0]) > flapIndex(p[i])) std::swap(p[0], p[i]);
    fileClass = fileToFile[p[0] & 7];
  }
  // 7. A DTZ file holds one side to move. (The flags are read only for DTZ:
  // another thread may be setting up this table's DTZ kind meanwhile.)
  const uint8_t dtzFlags = kind == TABLE_DTZ ? entry->dtzFlags[fileClass] : 0;
  if (kind == TABLE_DTZ && !entry->symmetric && (dtzFlags & DTZ_STORED_SIDE) != bside) {
    *status = -1;
    return 0;
  }
  const SubTable& sub = kind == TABLE_WDL ? entry->wdl[fileClass + 4 * bside] : entry->dtz[fileClass];
  if (!sub.pairs) {
    *status = 0;
    return 0;
  }
  for (; k < n; ++k) {
    const Square s = lsb(squaresOf(sub.encoding.pieces[k]) & ~used);
    used |= squareBB(s);
    p[k] = s;
  }
  const uint64_t idx = encodePosition(p, sub.encoding, shape, entry->hasPawns ? ENCODING_PAWN : ENCODING_PIECE);
  const uint8_t* w = idx < sub.pairs->size ? decompressPairs(sub.pairs, idx) : nullptr;
  if (!w || (kind == TABLE_WDL && w[0] > 4)) {
    *status = 0;
    return 0;
  }

  // 9. The value: WDL directly, DTZ through its map and units.
  if (kind == TABLE_WDL) return w[0] - 2;
  int value = w[0] | (w[1] & 15) << 8;
  if (dtzFlags & DTZ_MAPPED) {
    const int map = wdlToMap[wdl + 2];
    if (value >= entry->dtzMapLength[fileClass][map]) {
      *status = 0;
      return 0;
    }
    const uint8_t* values = entry->image[TABLE_DTZ].data + entry->dtzMapStart[fileClass][map];
    value = (dtzFlags & DTZ_WIDE_MAP) ? int(read16(values + 2 * value)) : values[value];
  }
  if (!(dtzFlags & paFlags[wdl + 2]) || (wdl & 1)) value *= 2;
  return value;
}
