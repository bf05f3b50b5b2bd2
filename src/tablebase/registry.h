// Which Syzygy tables exist, and where their bytes are. Every combination of
// material from 3 to 7 pieces is looked for by name ("KQRvKR" with ".rtbw"
// for WDL and ".rtbz" for DTZ) and registered under its material key.
//
// Sources, in this order of precedence:
// - the built-in set of 3- and 4-piece tables: by default the images the
//   build embeds (corvan_data may define corvanBuiltinTables and
//   corvanBuiltinTableCount; with none the set is empty); tests and tools
//   may name a directory or an array of images instead
//   (useBuiltinTableDirectory, useBuiltinTableImages), effective at the
//   next initTablebases;
// - the directories of the SyzygyPath option, separated by ';', searched in
//   order, for every table the built-in set lacks.
// Files are mapped read-only when registered; they are checked and decoded
// lazily, on their first probe (tablefile.h). A file that cannot be mapped
// is reported once with "info string" and treated as absent.
//
// initTablebases runs while no search runs (the command lock is held) and
// rebuilds the whole registry.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/types.h"
#include "tablebase/decode.h"
#include "tablebase/mapping.h"
#include "tablebase/tbindex.h"

// One file of the built-in set: its name with suffix (zero padded), size and
// bytes. The bytes need no particular alignment.
struct EmbeddedTableFile {
  char name[32];
  uint64_t size;
  const uint8_t* data;
};
static_assert(sizeof(EmbeddedTableFile) == 48, "built-in directory records are 48 bytes");

enum TableKind : uint8_t { TABLE_WDL = 0, TABLE_DTZ = 1 };

// Set-up state of one kind of one table.
constexpr uint8_t TABLE_UNSET = 0;   // not yet looked at
constexpr uint8_t TABLE_READY = 1;   // decoder records complete
constexpr uint8_t TABLE_FAILED = 2;  // unusable, reported once; probes fail

// One sub-table: its index layout and decoder (nullptr: not stored).
struct SubTable {
  EncodingInfo encoding;
  PairsData* pairs;
};

// A registered combination. The registration fields are written by
// initTablebases only. The decoder records of a kind are written once, by
// the thread that sets that kind up under the table lock, before it
// publishes TABLE_READY with a release store; probes read them only after an
// acquire load has seen TABLE_READY.
struct TableEntry {
  uint64_t key;  // material key as named: the first side is white
  FileImage image[2];  // by TableKind
  bool mapped[2];      // the image is a mapping to release
  std::atomic<uint8_t> state[2];
  TableShape shape;
  uint8_t symmetric;  // the same material for both colours (KRvKR)
  uint8_t hasPawns;
  uint8_t hasDtz;
  // WDL: [side * 4 + file class] (pawnless tables: file class 0 only).
  SubTable wdl[8];
  // DTZ: one side to move per file class, the flags tell which.
  SubTable dtz[4];
  uint8_t dtzFlags[4];
  // Value maps of DTZ: byte offset in the image and length, by file class
  // and by result class.
  uint64_t dtzMapStart[4][4];
  uint16_t dtzMapLength[4][4];
};

// By piece code (colour * 8 + PieceType): the material key is the sum over
// all pieces. The low byte counts pieces, a nibble per colour and kind counts
// that kind, the top bits spread keys over the lookup table.
extern const uint64_t materialKeyConstants[16];
constexpr uint64_t BARE_KINGS_KEY = 2;

// Material key of a board, in absolute colours.
uint64_t boardMaterialKey(const PositionState& st);

// Rebuilds the registry from the built-in set and the ';'-separated
// directories of path ("" or "<empty>": none). Prints "info string Found N
// WDL and M DTZ tablebase files." when directories were given. Returns the
// most pieces of any registered table (0 when none).
int initTablebases(const char* path);
// What the last initTablebases returned (0 before the first).
int tablebaseMaxPieces();

// The entry registered under this key (either colour orientation), or
// nullptr.
TableEntry* findTable(uint64_t key);

extern int wdlFileCount;
extern int dtzFileCount;

// Where the built-in set comes from at the next initTablebases.
void useEmbeddedTables();
void useBuiltinTableDirectory(const char* directory);
void useBuiltinTableImages(const EmbeddedTableFile* files, int count);
