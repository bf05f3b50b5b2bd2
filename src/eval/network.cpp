#include "eval/network.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

// The image assembled into the engine and the tests (src/eval/embedded). Weak,
// so that programs which build networks can link the evaluator without one.
extern "C" {
extern const uint8_t corvanNetworkImage[] __attribute__((weak));
extern const uint8_t corvanNetworkImageEnd[] __attribute__((weak));
}

const uint8_t* networkImage = nullptr;
uint32_t networkVersion = 0;
ConvertedNetwork convertedNetwork;

void convertNetwork() {
  const int8_t* l2 = reinterpret_cast<const int8_t*>(networkImage + IMAGE_L2_WEIGHTS);
  const int8_t* l3 = reinterpret_cast<const int8_t*>(networkImage + IMAGE_L3_WEIGHTS);
  const int8_t* l4 = reinterpret_cast<const int8_t*>(networkImage + IMAGE_L4_WEIGHTS);
  for (int out = 0; out < L2_SIZE; ++out)
    for (int in = 0; in < L2_INPUTS; ++in) {
      int8_t w = l2[out * L2_INPUTS + in];
      convertedNetwork.l2Weights[out][in] = w;
      convertedNetwork.l2Packed[in / 4][out][in % 4] = w;
    }
  for (int out = 0; out < L3_SIZE; ++out)
    for (int in = 0; in < L2_SIZE; ++in) {
      int8_t w = l3[out * L2_SIZE + in];
      convertedNetwork.l3Weights[out][in] = w;
      convertedNetwork.l3Packed[in / 4][out][in % 4] = w;
    }
  for (int in = 0; in < L3_SIZE; ++in) convertedNetwork.l4Weights[in] = l4[in];
}

int wrongDecimalBitsLayer(const uint8_t* image) {
  for (int layer = 0; layer < 4; ++layer)
    if (imageInt32(image, IMAGE_DECIMAL_BITS + 4 * layer) != EXPECTED_DECIMAL_BITS[layer])
      return layer + 1;
  return 0;
}

void checkNetworkHeader(const uint8_t* image) {
  int layer = wrongDecimalBitsLayer(image);
  if (layer == 0) return;
  printf("Bit decimali L%d non corretti! Valore corretto %d\n", layer,
         imageInt32(image, IMAGE_DECIMAL_BITS + 4 * (layer - 1)));
  fflush(stdout);
  exit(1);
}

void useNetwork(const uint8_t* image) {
  networkImage = image;
  convertNetwork();
  if (++networkVersion == 0) networkVersion = 1;
}

// The search reads rows of the first layer from all over its 21 MB. Where
// the kernel backs them with 2 MB pages, a dozen address translations cover
// the whole image instead of thousands of 4 KB ones, and looking up a row
// stops missing the translation cache. The embedded image is copied once
// into such memory, which lives as long as the program; without it the
// image is used where it is.
static const uint8_t* inLargePages(const uint8_t* image) {
  constexpr size_t PAGE = size_t(2) << 20;
  constexpr size_t LENGTH = (NETWORK_IMAGE_SIZE + PAGE - 1) / PAGE * PAGE;
  static uint8_t* const copy = static_cast<uint8_t*>(std::aligned_alloc(PAGE, LENGTH));
  static bool filled = false;
  if (!copy) return image;
  if (!filled) {
    madvise(copy, LENGTH, MADV_HUGEPAGE);
    std::memcpy(copy, image, NETWORK_IMAGE_SIZE);
    filled = true;
  }
  return copy;
}

void initNetwork() {
  const uint8_t* image = corvanNetworkImage;
  size_t size = image ? size_t(corvanNetworkImageEnd - image) : 0;
  if (size != NETWORK_IMAGE_SIZE) {
    // Reading a short image would run past its end: refuse it like a bad header.
    printf("Network image has %zu bytes instead of %zu\n", size, NETWORK_IMAGE_SIZE);
    fflush(stdout);
    exit(1);
  }
  useNetwork(inLargePages(image));
  checkNetworkHeader(image);
}
