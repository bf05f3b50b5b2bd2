// Where tables come from and what a bad file does: the count line, the
// order of the SyzygyPath directories, and files that are cut short,
// overwritten with noise, empty, of the wrong kind or not files at all. No
// probe of a bad file may crash or read outside its image (the sanitizer
// build checks the reads), and each bad table is reported once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/tablebase_positions.h"
#include "tablebase/probe.h"

namespace {

std::vector<uint8_t> readReference(const std::string& file) {
  std::ifstream in(referenceTableDirectory() + "/" + file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A scratch directory of our own files, removed afterwards.
struct ScratchDirectory {
  std::string path;
  std::vector<std::string> entries;
  ScratchDirectory() {
    char name[] = "/tmp/corvan-tb-XXXXXX";
    path = mkdtemp(name);
  }
  ~ScratchDirectory() {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) std::remove(it->c_str());
    rmdir(path.c_str());
  }
  void write(const std::string& file, const std::string& bytes) {
    std::ofstream(path + "/" + file, std::ios::binary) << bytes;
    entries.push_back(path + "/" + file);
  }
  void makeDirectory(const std::string& file) {
    mkdir((path + "/" + file).c_str(), 0700);
    entries.push_back(path + "/" + file);
  }
};

// Runs initTablebases and returns what it printed.
std::string registerPath(const std::string& value, int* maxPieces = nullptr) {
  testing::internal::CaptureStdout();
  const int pieces = initTablebases(value.c_str());
  if (maxPieces) *maxPieces = pieces;
  return testing::internal::GetCapturedStdout();
}

std::string countLine(int wdl, int dtz) {
  return "info string Found " + std::to_string(wdl) + " WDL and " + std::to_string(dtz) + " DTZ tablebase files.\n";
}

// Probes random positions of one material (WDL and DTZ, both sides to move)
// and returns how many WDL probes succeeded.
int probeSample(const std::string& name, int count, unsigned seed) {
  auto pos = std::make_unique<Position>();
  std::mt19937 random(seed);
  const std::string pieces = piecesOf(name);
  int good = 0;
  for (int done = 0; done < count;) {
    int squares[8];
    for (size_t i = 0; i < pieces.size(); ++i) squares[i] = int(8 + random() % 48);
    if (!placePieces(*pos, pieces, squares, random() & 1)) continue;
    ++done;
    int status;
    probeWdl(*pos, &status);
    good += status != PROBE_FAILED;
    probeDtz(*pos, &status);
  }
  return good;
}

TEST(TablebaseFiles, CountLineAndDirectoryOrder) {
  prepareTablebaseTests();
  const std::string reference = referenceTableDirectory();
  if (reference.empty()) GTEST_SKIP() << "reference tables not available";
  useBuiltinTableImages(nullptr, 0);

  int pieces = -1;
  EXPECT_EQ(registerPath("<empty>", &pieces), "");
  EXPECT_EQ(pieces, 0);
  EXPECT_EQ(probeSample("KQvK", 4, 1), 0) << "no built-in tables: probes fail cleanly";
  EXPECT_EQ(registerPath("/no/such/directory", &pieces), countLine(0, 0));
  EXPECT_EQ(registerPath(reference, &pieces), countLine(35, 35));
  EXPECT_EQ(pieces, 4);
  EXPECT_EQ(probeSample("KRvKP", 20, 2), 20);

  // A directory listed first wins; empty pieces of the list add nothing.
  ScratchDirectory first;
  first.write("KQvK.rtbw", "not a table at all");
  first.write("KRvK.rtbw", "");
  first.makeDirectory("KBvK.rtbw");
  EXPECT_EQ(registerPath(";" + first.path + ";;" + reference + ";", &pieces), countLine(35, 35));
  testing::internal::CaptureStderr();
  EXPECT_EQ(probeSample("KQvK", 10, 3), 0);
  EXPECT_EQ(probeSample("KRvK", 10, 4), 0);
  EXPECT_EQ(probeSample("KBvK", 10, 5), 10) << "a directory named like a table is no table";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\nCorrupted table.\n");
  EXPECT_EQ(registerPath(reference + ";" + first.path), countLine(35, 35));
  EXPECT_EQ(probeSample("KQvK", 10, 3), 10);

  // The built-in set counts too, and wins over the directories.
  useBuiltinTableDirectory(reference.c_str());
  EXPECT_EQ(registerPath(first.path, &pieces), countLine(35, 35));
  EXPECT_EQ(probeSample("KQvK", 10, 3), 10);
}

// Each image stands alone as the built-in set, in a heap block of its exact
// length so that the sanitizer sees any read past it.
struct ImageCase {
  const char* file;
  const char* material;
};
const ImageCase imageCases[] = {
    {"KQvK.rtbw", "KQvK"},    // single-value side, split
    {"KNvKN.rtbw", "KNvKN"},  // symmetric
    {"KPvK.rtbz", "KPvK"},    // four file classes, value maps
    {"KRvKP.rtbz", "KRvKP"},  // pawns, other side stored
    {"KPvKP.rtbw", "KPvKP"},  // pawns on both sides
};

// The reference set read once, every file in its own heap block.
struct ReferenceImages {
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> bytes;
  ReferenceImages() {
    for (const char* suffix : {".rtbw", ".rtbz"})
      for (const std::string& name : smallTableNames()) {
        names.push_back(name + suffix);
        bytes.push_back(readReference(names.back()));
      }
  }
};

// Registers the reference set with one file replaced by bytes (kept in a
// heap block of their exact length, so that the sanitizer sees any read
// past them), probes that material, and returns the good WDL probes; state
// receives the replaced file's set-up state.
int probeImage(const char* file, const std::vector<uint8_t>& bytes, const char* material, int probes,
               uint8_t* state = nullptr) {
  static const ReferenceImages reference;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  std::vector<EmbeddedTableFile> set;
  for (size_t i = 0; i < reference.names.size(); ++i) {
    EmbeddedTableFile image{};
    std::snprintf(image.name, sizeof image.name, "%s", reference.names[i].c_str());
    const bool replaced = reference.names[i] == file;
    image.size = replaced ? bytes.size() : reference.bytes[i].size();
    image.data = replaced ? copy.get() : reference.bytes[i].data();
    set.push_back(image);
  }
  useBuiltinTableImages(set.data(), int(set.size()));
  initTablebases("<empty>");
  const int good = probeSample(material, probes, unsigned(bytes.size()));
  if (state) {
    uint64_t key = 0;
    for (char c : piecesOf(material)) {
      const bool white = c >= 'A' && c <= 'Z';
      key += materialKeyConstants[(white ? 0 : 8) + std::string(" PNBRQK").find(char(white ? c : c - 32))];
    }
    const TableEntry* entry = findTable(key);
    const int kind = file[std::strlen(file) - 1] == 'w' ? TABLE_WDL : TABLE_DTZ;
    *state = entry ? entry->state[kind].load() : TABLE_FAILED;
  }
  useBuiltinTableImages(nullptr, 0);
  initTablebases("<empty>");
  return good;
}

TEST(TablebaseFiles, TruncatedFilesNeverReadPastTheirEnd) {
  prepareTablebaseTests();
  if (referenceTableDirectory().empty()) GTEST_SKIP() << "reference tables not available";
  for (const ImageCase& c : imageCases) {
    const std::vector<uint8_t> whole = readReference(c.file);
    ASSERT_FALSE(whole.empty()) << c.file;
    testing::internal::CaptureStderr();
    int reports = 0;
    // Every length through the headers, then a spread over the data.
    const size_t spread = whole.size() > 4096 ? whole.size() / 200 : 1;
    for (size_t length = 0; length < whole.size(); length += length < 2048 ? 1 : spread) {
      uint8_t state;
      probeImage(c.file, std::vector<uint8_t>(whole.begin(), whole.begin() + length), c.material, 4, &state);
      if (length < 64) {
        EXPECT_NE(state, TABLE_READY) << c.file << " cut at " << length;
      }
      ++reports;
    }
    const std::string said = testing::internal::GetCapturedStderr();
    // Once per registration at most.
    size_t lines = 0;
    for (size_t at = said.find("Corrupted table.\n"); at != std::string::npos; at = said.find("Corrupted", at + 1))
      ++lines;
    EXPECT_LE(lines, size_t(reports)) << c.file;
    EXPECT_GE(lines, size_t(1)) << c.file;
    uint8_t state;
    EXPECT_EQ(probeImage(c.file, whole, c.material, 20, &state), 20) << c.file;
    EXPECT_EQ(state, TABLE_READY) << c.file;
  }
}

TEST(TablebaseFiles, NoiseAfterAGoodHeaderNeverReadsOutside) {
  prepareTablebaseTests();
  if (referenceTableDirectory().empty()) GTEST_SKIP() << "reference tables not available";
  std::mt19937 random(99);
  testing::internal::CaptureStderr();
  for (const ImageCase& c : imageCases) {
    const std::vector<uint8_t> whole = readReference(c.file);
    // Noise from some point on, and single damaged bytes anywhere.
    for (size_t keep : {5, 8, 12, 16, 24, 32, 48, 64, 96, 128, 256})
      for (int seed = 0; seed < 8 && keep < whole.size(); ++seed) {
        std::vector<uint8_t> bytes = whole;
        for (size_t i = keep; i < bytes.size(); ++i) bytes[i] = uint8_t(random());
        probeImage(c.file, bytes, c.material, 20);
      }
    for (int trial = 0; trial < 200; ++trial) {
      std::vector<uint8_t> bytes = whole;
      bytes[random() % bytes.size()] ^= uint8_t(1 + random() % 255);
      probeImage(c.file, bytes, c.material, 20);
    }
  }
  testing::internal::GetCapturedStderr();
}

TEST(TablebaseFiles, AFileOfTheWrongKindIsReportedOnce) {
  prepareTablebaseTests();
  if (referenceTableDirectory().empty()) GTEST_SKIP() << "reference tables not available";
  std::vector<uint8_t> dtzBytes = readReference("KQvK.rtbz");
  testing::internal::CaptureStderr();
  EXPECT_EQ(probeImage("KQvK.rtbw", dtzBytes, "KQvK", 20), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
}

TEST(TablebaseFiles, ThreadsSettingUpOneTableTogetherAgree) {
  if (!referenceTables()) GTEST_SKIP() << "reference tables not available";
  // Positions placed here (placing is not thread-safe), probed by four
  // threads at once in a fresh registry: every kind of every table is set
  // up by whichever thread comes first, WDL and DTZ at the same time.
  std::vector<PositionState> states;
  auto pos = std::make_unique<Position>();
  std::mt19937 random(11);
  for (const char* name : {"KRvKN", "KPvKP", "KQvKR"})
    for (int done = 0; done < 100;) {
      int squares[4];
      for (int i = 0; i < 4; ++i) squares[i] = int(8 + random() % 48);
      if (!placePieces(*pos, piecesOf(name), squares, random() & 1)) continue;
      states.push_back(*pos->state);
      ++done;
    }
  auto probeAll = [&states](std::vector<int>* values) {
    auto own = std::make_unique<Position>();
    for (const PositionState& st : states) {
      own->stateStack[0] = st;
      own->state = own->stateStack;
      int status;
      values->push_back(probeWdl(*own, &status));
      values->push_back(status);
      values->push_back(probeDtz(*own, &status));
      values->push_back(status);
    }
  };
  std::vector<int> values[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(probeAll, &values[t]);
  for (std::thread& thread : threads) thread.join();
  std::vector<int> alone;
  probeAll(&alone);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(values[t], alone);
}

}  // namespace
