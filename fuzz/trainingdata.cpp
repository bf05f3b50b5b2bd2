// The training data reader over a fuzzed data file: whatever the bytes, the
// file is refused whole or every record it hands out unpacks into a board
// the trainer can turn into network inputs, and packs back to the same
// position.
#include <cstring>
#include <vector>

#include "board/attacks.h"
#include "board/fen.h"
#include "driver/options.h"
#include "fuzz_support.h"
#include "train/inputs.h"
#include "trainingdata/datafile.h"
#include "trainingdata/record.h"

static MemoryFile* file;
static Position* position;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setDefaultOptions();
  initAttacks();
  file = new MemoryFile;
  position = new Position;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  file->replace(data, size);
  std::vector<uint8_t> records;
  DataReadReport report = readDataFile(file->path(), records);
  FUZZ_CHECK(records.size() == report.records * RECORD_BYTES);
  if (!report.error.empty()) FUZZ_CHECK(records.empty());
  for (size_t at = 0; at < records.size(); at += RECORD_BYTES) {
    TrainingPosition p;
    FUZZ_CHECK(unpackRecord(records.data() + at, p));
    int32_t rows[MAX_POSITION_ROWS];
    for (int perspective : {0, 1}) {
      const int count = perspectiveRows(p, perspective, rows);
      FUZZ_CHECK(count >= 0 && count <= MAX_POSITION_ROWS);
      for (int i = 0; i < count; ++i) FUZZ_CHECK(rows[i] >= 0 && rows[i] < REAL_ROWS);
    }
    uint8_t packed[RECORD_BYTES];
    packRecord(p, packed);
    TrainingPosition again;
    FUZZ_CHECK(unpackRecord(packed, again));
    FUZZ_CHECK(std::memcmp(again.board, p.board, sizeof p.board) == 0 && again.score == p.score &&
               again.result == p.result && again.blackToMove == p.blackToMove);
    // Its FEN sets up a board, or is refused with a reason: never a crash.
    setUpPosition(*position, positionFen(p).c_str(), nullptr);
    FUZZ_CHECK(isConsistent(*position->state));
  }
  return 0;
}
