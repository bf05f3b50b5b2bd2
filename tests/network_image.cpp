// The network image: the header check and its messages, the conversion of
// the small layers, and the image built into the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include "eval/network.h"
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
