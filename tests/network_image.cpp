// The network image: the header check and its messages, the conversion of
// the small layers, the image built into the program and images read from
// files in its place.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "eval/network.h"
#include "eval/nnue.h"
#include "support/board_helpers.h"
#include "support/network_images.h"

namespace {

void setDecimalBits(uint8_t* image, int layer, int32_t value) {
  storeImageInt32(image, IMAGE_DECIMAL_BITS + 4 * (layer - 1), value);
}

// Runs the check with standard output sent to standard error, where the
// death-test machinery can see it.
void checkWithOutputOnStderr(const uint8_t* image) {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  checkNetworkHeader(image);
  fprintf(stderr, "check passed\n");
  exit(0);
}

}  // namespace

TEST(NetworkHeader, AcceptsTheExpectedDecimalBits) {
  ImageBuffer image = blankImage();
  EXPECT_EQ(wrongDecimalBitsLayer(image.get()), 0);
  EXPECT_EXIT(checkWithOutputOnStderr(image.get()), testing::ExitedWithCode(0), testing::Eq("check passed\n"));
}

TEST(NetworkHeader, ReportsEachLayerWithTheValueFound) {
  const int32_t wrongValues[4] = {5, -1, 4, 300};
  for (int layer = 1; layer <= 4; ++layer) {
    ImageBuffer image = blankImage();
    setDecimalBits(image.get(), layer, wrongValues[layer - 1]);
    EXPECT_EQ(wrongDecimalBitsLayer(image.get()), layer);
    std::string expected = "Bit decimali L" + std::to_string(layer) + " non corretti! Valore corretto " +
                           std::to_string(wrongValues[layer - 1]) + "\n";
    EXPECT_EXIT(checkWithOutputOnStderr(image.get()), testing::ExitedWithCode(1), testing::Eq(expected));
  }
}

TEST(NetworkHeader, ReportsOnlyTheFirstWrongLayer) {
  ImageBuffer image = blankImage();
  setDecimalBits(image.get(), 1, 3);
  setDecimalBits(image.get(), 3, 4);
  setDecimalBits(image.get(), 4, 0);
  EXPECT_EXIT(checkWithOutputOnStderr(image.get()), testing::ExitedWithCode(1),
              testing::Eq("Bit decimali L1 non corretti! Valore corretto 3\n"));
  setDecimalBits(image.get(), 1, 4);
  EXPECT_EXIT(checkWithOutputOnStderr(image.get()), testing::ExitedWithCode(1),
              testing::Eq("Bit decimali L3 non corretti! Valore corretto 4\n"));
}

TEST(NetworkHeader, ReadsTheFieldsLittleEndian) {
  ImageBuffer image = blankImage();
  // 4 << 24 would pass a check that read the bytes the other way round.
  setDecimalBits(image.get(), 2, 3 << 24);
  EXPECT_EQ(wrongDecimalBitsLayer(image.get()), 2);
}

TEST(NetworkConversion, WidensSmallLayersWithSignFromTheirImageOffsets) {
  ImageBuffer image = blankImage();
  uint8_t* bytes = image.get();
  // Output 3, inputs 0, 255 (last own lane), 256 (first other lane) and 511.
  bytes[20973056 + 512 * 3 + 0] = 0x80;
  bytes[20973056 + 512 * 3 + 255] = 0x7F;
  bytes[20973056 + 512 * 3 + 256] = 0xFF;
  bytes[20973056 + 512 * 31 + 511] = 0x05;
  bytes[IMAGE_L3_WEIGHTS + 32 * 7 + 30] = 0xFE;
  bytes[IMAGE_L4_WEIGHTS + 31] = 0x81;
  useNetwork(bytes);
  EXPECT_EQ(convertedNetwork.l2Weights[3][0], -128);
  EXPECT_EQ(convertedNetwork.l2Weights[3][255], 127);
  EXPECT_EQ(convertedNetwork.l2Weights[3][256], -1);
  EXPECT_EQ(convertedNetwork.l2Weights[31][511], 5);
  EXPECT_EQ(convertedNetwork.l2Weights[3][1], 0);
  EXPECT_EQ(convertedNetwork.l3Weights[7][30], -2);
  EXPECT_EQ(convertedNetwork.l4Weights[31], -127);
  // The interleaved copy: group of four inputs, then output, then input % 4.
  EXPECT_EQ(convertedNetwork.l2Packed[63][3][3], 127);
  EXPECT_EQ(convertedNetwork.l2Packed[64][3][0], -1);
  EXPECT_EQ(convertedNetwork.l2Packed[127][31][3], 5);
  EXPECT_EQ(convertedNetwork.l3Packed[7][7][2], -2);
}

TEST(EmbeddedNetwork, IsCompleteAndPassesTheStartUpCheck) {
  initNetwork();
  ASSERT_NE(networkImage, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(networkImage) % 64, 0u);
  EXPECT_EQ(wrongDecimalBitsLayer(networkImage), 0);
}

namespace {

std::vector<int> evaluations() {
  static const char* const fens[] = {
      START_FEN,
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R b KQ - 3 9",
  };
  static NnueRecord records[1];
  std::vector<int> scores;
  for (const char* fen : fens) {
    Board board(fen);
    records[0].computed = 0;
    scores.push_back(evaluate(board.st(), records, 0, false));
  }
  return scores;
}

}  // namespace

// One sequence over a table: a valid file goes in use, every kind of bad file
// is then refused with that network still in use, the built-in image's own
// bytes from a file evaluate as the built-in network, and the built-in
// network comes back. The changed image differs only in its first-layer
// biases, which the per-thread refresh caches hold: a load that did not
// advance networkVersion would leave the old evaluations.
TEST(NetworkFile, LoadsValidImagesAndRefusesEveryFaultKeepingTheNetworkInUse) {
  initNetwork();
  const std::vector<int> builtInScores = evaluations();
  const std::string builtInName = networkName();
  ASSERT_EQ(builtInName.rfind("built-in (hash ", 0), 0u) << builtInName;
  const std::vector<uint8_t> builtIn(networkImage, networkImage + NETWORK_IMAGE_SIZE);

  char pattern[] = "/tmp/corvan-netfile-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  enum Outcome { CHANGED, SAME_AS_BUILT_IN, REFUSED };
  struct Case {
    std::string file;
    bool write;
    std::vector<uint8_t> bytes;
    std::string reply;  // with the path in front, except for ""
    Outcome outcome;
  };
  auto withDecimalBits = [&](int layer, int32_t value) {
    std::vector<uint8_t> bytes = builtIn;
    storeImageInt32(bytes.data(), IMAGE_DECIMAL_BITS + 4 * (layer - 1), value);
    return bytes;
  };
  std::vector<uint8_t> changed = builtIn;
  for (int lane = 0; lane < L1_SIZE; ++lane) {
    int16_t bias;
    memcpy(&bias, changed.data() + IMAGE_L1_BIASES + 2 * lane, 2);
    bias = int16_t(bias + 64);
    memcpy(changed.data() + IMAGE_L1_BIASES + 2 * lane, &bias, 2);
  }
  std::vector<uint8_t> shorter(builtIn.begin(), builtIn.end() - 1), longer = builtIn;
  longer.push_back(0);
  const std::vector<Case> cases = {
      {"changed.nnue", true, changed, "", CHANGED},
      {"missing.nnue", false, {}, "cannot read ", REFUSED},
      {"", false, {}, "cannot read ", REFUSED},  // the folder itself
      {"short.nnue", true, shorter, " has 20990803 bytes, a network image has 20990804", REFUSED},
      {"long.nnue", true, longer, " has 20990805 bytes, a network image has 20990804", REFUSED},
      {"l1.nnue", true, withDecimalBits(1, 5), " has 5 decimal bits in L1, a network image has 4", REFUSED},
      {"l2.nnue", true, withDecimalBits(2, 3 << 24), " has 50331648 decimal bits in L2, a network image has 3",
       REFUSED},
      {"l3.nnue", true, withDecimalBits(3, 2), " has 2 decimal bits in L3, a network image has 3", REFUSED},
      {"l4.nnue", true, withDecimalBits(4, -2), " has -2 decimal bits in L4, a network image has 2", REFUSED},
      {"same.nnue", true, builtIn, "", SAME_AS_BUILT_IN},
  };
  std::vector<int> changedScores;
  std::string changedName;
  for (const Case& c : cases) {
    const std::string path = dir + "/" + c.file;
    if (c.write) std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()),
                                                           std::streamsize(c.bytes.size()));
    const uint8_t* image = networkImage;
    const uint32_t version = networkVersion;
    const std::string name = networkName();
    const std::vector<int> scores = evaluations();
    const std::string reply = loadNetworkFile(path);
    if (c.write) std::remove(path.c_str());
    if (c.outcome == REFUSED) {
      EXPECT_EQ(reply, c.reply.rfind("cannot", 0) == 0 ? c.reply + path : path + c.reply);
      EXPECT_EQ(networkImage, image) << c.file;
      EXPECT_EQ(networkVersion, version) << c.file;
      EXPECT_EQ(networkName(), name) << c.file;
      EXPECT_EQ(evaluations(), scores) << c.file;
      continue;
    }
    EXPECT_EQ(reply, "") << c.file;
    EXPECT_NE(networkVersion, version) << c.file;
    EXPECT_EQ(networkName().rfind(path + " (hash ", 0), 0u) << networkName();
    if (c.outcome == CHANGED) {
      changedScores = evaluations();
      changedName = networkName();
      EXPECT_NE(changedScores, builtInScores);
      EXPECT_NE(changedName.substr(path.size()), builtInName.substr(8));
    } else {
      EXPECT_EQ(evaluations(), builtInScores);
      EXPECT_EQ(networkName(), path + builtInName.substr(8));  // same bytes, same hash
    }
  }
  useBuiltInNetwork();
  EXPECT_EQ(networkName(), builtInName);
  EXPECT_EQ(evaluations(), builtInScores);
  rmdir(dir.c_str());
}
