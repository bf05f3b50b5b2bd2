// Table files: set-up and probing of a WDL and a DTZ file of one material.
// Input: a byte that picks the material, the WDL file's length (2 bytes,
// little-endian), the WDL file, then the DTZ file. Whatever the bytes, a
// table either sets up or is refused ("Corrupted table." on standard error),
// and probes return values in range and leave the board as they found it.
#include <cstring>

#include "board/attacks.h"
#include "board/fen.h"
#include "driver/options.h"
#include "fuzz_support.h"
#include "tablebase/probe.h"
#include "tablebase/registry.h"
#include "tablebase/tbindex.h"

namespace {

struct Material {
  const char* name;
  const char* fens[3];
};

// Each material with boards of either colour to move, and with the pieces
// on either side.
const Material MATERIALS[] = {
    {"KRvK", {"8/8/8/4k3/8/8/8/R3K3 w - - 0 1", "8/8/8/4k3/8/8/8/R3K3 b - - 0 1", "4k3/8/8/8/8/8/8/r3K3 w - - 0 1"}},
    {"KQvK", {"8/8/8/3k4/8/8/8/2Q1K3 w - - 0 1", "8/8/8/3k4/8/8/8/3QK3 b - - 0 1", "1q6/8/8/8/8/8/8/K1k5 w - - 0 1"}},
    {"KNvK", {"8/8/8/4k3/8/8/3N4/4K3 w - - 0 1", "8/8/8/4k3/8/8/3N4/4K3 b - - 0 1", "8/8/8/4K3/8/8/3n4/4k3 b - - 0 1"}},
    {"KPvK", {"8/8/8/4k3/8/8/4P3/4K3 w - - 0 1", "8/4P3/8/8/8/2k5/8/4K3 b - - 0 1", "4k3/8/8/8/8/3p4/8/4K3 w - - 0 1"}},
    {"KNvKN", {"8/8/3n4/4k3/8/8/3N4/4K3 w - - 0 1", "8/8/3n4/4k3/8/8/3N4/4K3 b - - 0 1", "n7/8/8/8/8/8/8/K1k4N w - - 0 1"}},
};
constexpr int MATERIAL_COUNT = sizeof MATERIALS / sizeof MATERIALS[0];

Position* position;

void checkProbes(const char* fen) {
  FUZZ_CHECK(setUpPosition(*position, fen, nullptr).error == SETUP_OK);
  PositionState* const state = position->state;
  const PositionState before = *state;
  int status = -7;
  int wdl = probeWdl(*position, &status);
  FUZZ_CHECK(status == PROBE_FAILED || status == PROBE_OK || status == PROBE_ZEROING_BEST);
  FUZZ_CHECK(status == PROBE_FAILED || (wdl >= -2 && wdl <= 2));
  status = -7;
  probeDtz(*position, &status);
  FUZZ_CHECK(status == PROBE_FAILED || status == PROBE_OK || status == PROBE_ZEROING_BEST);
  FUZZ_CHECK(position->state == state && std::memcmp(state, &before, sizeof before) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setDefaultOptions();
  initAttacks();
  initTablebaseIndices();
  position = new Position;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const Material& material = MATERIALS[data[0] % MATERIAL_COUNT];
  const size_t wdlSize = std::min<size_t>(data[1] | data[2] << 8, size - 3);
  EmbeddedTableFile files[2] = {};
  std::snprintf(files[0].name, sizeof files[0].name, "%s.rtbw", material.name);
  std::snprintf(files[1].name, sizeof files[1].name, "%s.rtbz", material.name);
  files[0].size = wdlSize;
  files[0].data = data + 3;
  files[1].size = size - 3 - wdlSize;
  files[1].data = data + 3 + wdlSize;
  useBuiltinTableImages(files, 2);
  initTablebases("");
  for (const char* fen : material.fens) checkProbes(fen);
  return 0;
}
