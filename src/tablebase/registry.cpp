#include "tablebase/registry.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "tablebase/probe.h"

// Built-in tables the build may embed (see registry.h); absent, they are
// null and the built-in set is empty.
extern "C" {
extern const EmbeddedTableFile corvanBuiltinTables[] __attribute__((weak));
extern const uint32_t corvanBuiltinTableCount __attribute__((weak));
}

const uint64_t materialKeyConstants[16] = {
    0,
    0x5ced000000000101ULL,  // white pawn
    0xe173000000001001ULL,  // white knight
    0xd64d000000010001ULL,  // white bishop
    0xab88000000100001ULL,  // white rook
    0x680b000001000001ULL,  // white queen
    0x1,                    // white king
    0,
    0,
    0xf219000010000001ULL,  // black pawn
    0xbb14000100000001ULL,  // black knight
    0x58df001000000001ULL,  // black bishop
    0xa15f010000000001ULL,  // black rook
    0x7c94100000000001ULL,  // black queen
    0x1,                    // black king
    0,
};

int wdlFileCount = 0;
int dtzFileCount = 0;

namespace {

// Every combination of 3 to 7 pieces appears once: 1511 names.
constexpr int TABLE_CAPACITY = 1511;
constexpr int HASH_SLOTS = 4096;
constexpr size_t BUILTIN_NAME_LENGTH = 5;  // "KRPvK"; longer names hold 5 pieces or more
constexpr const char* SUFFIX[2] = {".rtbw", ".rtbz"};
constexpr uint64_t FREE_SLOT_KEY = 0;  // no material key is 0

struct HashSlot {
  uint64_t key;
  TableEntry* entry;
};

TableEntry tableEntries[TABLE_CAPACITY];
int tableEntryCount = 0;
HashSlot tableHash[HASH_SLOTS];
std::vector<std::string> tablebasePaths;

// Where the built-in set comes from: the images the build embedded, an
// array of images, or a directory.
enum BuiltinKind { BUILTIN_EMBEDDED, BUILTIN_IMAGES, BUILTIN_DIRECTORY };
BuiltinKind builtinKind = BUILTIN_EMBEDDED;
const EmbeddedTableFile* builtinImages = nullptr;
int builtinImageCount = 0;
std::string builtinDirectory;

// Opens directory/file when the joined name fits a path; long names are
// simply not there.
MapOutcome mapInDirectory(const std::string& directory, const char* file, FileImage* image) {
  char path[4096];
  const int length = std::snprintf(path, sizeof path, "%s/%s", directory.c_str(), file);
  if (length < 0 || size_t(length) >= sizeof path) return MAP_ABSENT;
  return mapTableFile(path, image);
}

const EmbeddedTableFile* findImage(const EmbeddedTableFile* files, int count, const char* file) {
  for (int i = 0; i < count; ++i)
    if (std::strncmp(files[i].name, file, sizeof files[i].name) == 0) return &files[i];
  return nullptr;
}

// Finds one file of a combination: the built-in set for 3 and 4 pieces,
// then the directories. False when it is nowhere or cannot be mapped (then
// said once).
bool locateFile(const char* name, TableKind kind, FileImage* image, bool* mapped) {
  char file[32];
  std::snprintf(file, sizeof file, "%s%s", name, SUFFIX[kind]);
  *mapped = false;
  *image = FileImage{nullptr, 0};
  MapOutcome outcome = MAP_ABSENT;
  if (std::strlen(name) <= BUILTIN_NAME_LENGTH) {
    if (builtinKind == BUILTIN_DIRECTORY) {
      outcome = mapInDirectory(builtinDirectory, file, image);
    } else {
      const EmbeddedTableFile* files = builtinImages;
      int count = builtinImageCount;
      if (builtinKind == BUILTIN_EMBEDDED) {
        files = corvanBuiltinTables;
        count = &corvanBuiltinTableCount ? int(corvanBuiltinTableCount) : 0;
      }
      if (const EmbeddedTableFile* found = files ? findImage(files, count, file) : nullptr) {
        *image = FileImage{found->data, found->size};
        return true;
      }
    }
  }
  for (size_t i = 0; outcome == MAP_ABSENT && i < tablebasePaths.size(); ++i)
    outcome = mapInDirectory(tablebasePaths[i], file, image);
  if (outcome == MAP_REFUSED) {
    std::printf("info string Could not map %s: the table is left out\n", file);
    std::fflush(stdout);
  }
  *mapped = outcome == MAP_DONE;
  return outcome == MAP_DONE;
}

void insertKey(uint64_t key, TableEntry* entry) {
  int slot = int(key >> 52);
  while (tableHash[slot].entry) slot = (slot + 1) & (HASH_SLOTS - 1);
  tableHash[slot] = HashSlot{key, entry};
}

void releaseKind(TableEntry& entry, TableKind kind) {
  SubTable* records = kind == TABLE_WDL ? entry.wdl : entry.dtz;
  const int count = kind == TABLE_WDL ? 8 : 4;
  for (int i = 0; i < count; ++i) {
    freePairs(records[i].pairs);
    records[i].pairs = nullptr;
  }
  if (entry.mapped[kind]) unmapTableFile(entry.image[kind]);
  entry.image[kind] = FileImage{nullptr, 0};
  entry.mapped[kind] = false;
  entry.state[kind].store(TABLE_UNSET, std::memory_order_relaxed);
}

void freeTableEntry(TableEntry& entry) {
  releaseKind(entry, TABLE_WDL);
  releaseKind(entry, TABLE_DTZ);
}

// Registers one combination, named with white's pieces first, when its WDL
// file exists.
void registerTable(const char* name, int* maxPieces) {
  TableEntry& entry = tableEntries[tableEntryCount];
  if (!locateFile(name, TABLE_WDL, &entry.image[TABLE_WDL], &entry.mapped[TABLE_WDL])) return;
  ++tableEntryCount;

  int counts[16] = {};
  int colour = 0;
  for (const char* c = name; *c; ++c) {
    const char* letters = " PNBRQK";
    if (*c == 'v') colour = 8;
    else if (const char* at = std::strchr(letters + 1, *c)) ++counts[colour + int(at - letters)];
  }
  uint64_t key = 0, mirrored = 0;
  int pieces = 0, unique = 0;
  for (int code = 0; code < 16; ++code) {
    key += uint64_t(counts[code]) * materialKeyConstants[code];
    mirrored += uint64_t(counts[code ^ 8]) * materialKeyConstants[code];
    pieces += counts[code];
    unique += counts[code] == 1;
  }
  const int whitePawns = counts[PAWN], blackPawns = counts[8 + PAWN];

  entry.key = key;
  entry.symmetric = key == mirrored;
  entry.hasPawns = whitePawns > 0 || blackPawns > 0;
  entry.shape = TableShape{uint8_t(pieces), uint8_t(!entry.hasPawns && unique == 2), {0, 0}};
  if (entry.hasPawns) {
    const bool blackLeads = blackPawns > 0 && (whitePawns == 0 || whitePawns > blackPawns);
    entry.shape.pawnCounts[0] = uint8_t(blackLeads ? blackPawns : whitePawns);
    entry.shape.pawnCounts[1] = uint8_t(blackLeads ? whitePawns : blackPawns);
  }
  entry.state[TABLE_WDL].store(TABLE_UNSET, std::memory_order_relaxed);
  entry.state[TABLE_DTZ].store(TABLE_UNSET, std::memory_order_relaxed);
  ++wdlFileCount;
  entry.hasDtz = locateFile(name, TABLE_DTZ, &entry.image[TABLE_DTZ], &entry.mapped[TABLE_DTZ]);
  dtzFileCount += entry.hasDtz;
  if (pieces > *maxPieces) *maxPieces = pieces;

  insertKey(key, &entry);
  if (mirrored != key) insertKey(mirrored, &entry);
}

// Registers the combinations of the enumeration steps first..last, each step
// a shape of material ("K%c%cvK%c" and the like) with its letters Q, R, B,
// N, P (0..4) running in nested loops, outermost first, under the step's
// bounds. Steps 1-3 are the 35 combinations of 3 and 4 pieces, steps 4-11
// the 1476 of 5 to 7. The order fixes each table's entry.
void registerCombinations(int first, int last, int* maxPieces) {
  auto add = [maxPieces](std::initializer_list<int> white, std::initializer_list<int> black) {
    char name[16];
    int n = 0;
    name[n++] = 'K';
    for (int w : white) name[n++] = "QRBNP"[w];
    name[n++] = 'v';
    name[n++] = 'K';
    for (int b : black) name[n++] = "QRBNP"[b];
    name[n] = 0;
    registerTable(name, maxPieces);
  };
  for (int step = first; step <= last; ++step)
    for (int i = 0; i < 5; ++i) {
      if (step == 1) add({i}, {});
      for (int j = i; j < 5; ++j) {
        if (step == 2) add({i}, {j});
        if (step == 3) add({i, j}, {});
        for (int k = 0; k < 5; ++k) {
          if (step == 4) add({i, j}, {k});
          if (step == 6 && k >= i)
            for (int l = k == i ? j : k; l < 5; ++l) add({i, j}, {k, l});
          if (k < j) continue;
          if (step == 5) add({i, j, k}, {});
          for (int l = 0; l < 5; ++l) {
            if (step == 7) add({i, j, k}, {l});
            if (step == 11)
              for (int m = l; m < 5; ++m) add({i, j, k}, {l, m});
            if (l < k) continue;
            if (step == 8) add({i, j, k, l}, {});
            for (int m = 0; m < 5; ++m) {
              if (step == 9 && m >= l) add({i, j, k, l, m}, {});
              if (step == 10) add({i, j, k, l}, {m});
            }
          }
        }
      }
    }
}

}  // namespace

uint64_t boardMaterialKey(const PositionState& st) {
  const int own = isBlackToMove(st) ? 8 : 0;
  const Bitboard mine = ownPieces(st), theirs = enemyPieces(st);
  uint64_t key = 2 * materialKeyConstants[KING];
  for (PieceType t = PAWN; t <= QUEEN; ++t)
    key += uint64_t(popcount(st.pieces[t] & mine)) * materialKeyConstants[own + t] +
           uint64_t(popcount(st.pieces[t] & theirs)) * materialKeyConstants[(own ^ 8) + t];
  return key;
}

TableEntry* findTable(uint64_t key) {
  int slot = int(key >> 52);
  while (tableHash[slot].key != key && tableHash[slot].key != FREE_SLOT_KEY) slot = (slot + 1) & (HASH_SLOTS - 1);
  return tableHash[slot].key == key ? tableHash[slot].entry : nullptr;
}

void useEmbeddedTables() { builtinKind = BUILTIN_EMBEDDED; }

void useBuiltinTableDirectory(const char* directory) {
  builtinKind = BUILTIN_DIRECTORY;
  builtinDirectory = directory;
}

void useBuiltinTableImages(const EmbeddedTableFile* files, int count) {
  builtinKind = BUILTIN_IMAGES;
  builtinImages = files;
  builtinImageCount = count;
}

// Largest piece count of the registered tables.
static int registeredMaxPieces = 0;

int tablebaseMaxPieces() { return registeredMaxPieces; }

int initTablebases(const char* path) {
  // 1-3. Forget the earlier directories and tables.
  tablebasePaths.clear();
  for (int i = 0; i < tableEntryCount; ++i) freeTableEntry(tableEntries[i]);
  tableEntryCount = 0;
  wdlFileCount = dtzFileCount = 0;
  for (HashSlot& slot : tableHash) slot = HashSlot{FREE_SLOT_KEY, nullptr};
  forgetProbes();
  int maxPieces = 0;

  // 4-5. Without directories only the built-in set.
  const bool none = path[0] == 0 || std::strcmp(path, "<empty>") == 0;
  if (none) {
    registerCombinations(1, 3, &maxPieces);
    registeredMaxPieces = maxPieces;
    return maxPieces;
  }

  // 6-8. The directories in order, empty pieces skipped; then everything.
  std::string value(path);
  for (size_t start = 0; start <= value.size();) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    if (end > start) tablebasePaths.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  registerCombinations(1, 11, &maxPieces);
  std::printf("info string Found %d WDL and %d DTZ tablebase files.\n", wdlFileCount, dtzFileCount);
  std::fflush(stdout);
  registeredMaxPieces = maxPieces;
  return maxPieces;
}
