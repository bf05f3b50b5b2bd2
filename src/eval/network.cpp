#include "eval/network.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
// stops missing the translation cache. Every image the engine plays with
// lives in such memory: the built-in one is copied there once and kept for
// the life of the program (it is used where it is if the copy cannot be
// made), an image from a file is read there and kept while it is in use.
constexpr size_t LARGE_PAGE = size_t(2) << 20;
constexpr size_t IMAGE_MEMORY_LENGTH = (NETWORK_IMAGE_SIZE + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE;

// Null when the memory cannot be had.
static uint8_t* newImageMemory() {
  uint8_t* memory = static_cast<uint8_t*>(std::aligned_alloc(LARGE_PAGE, IMAGE_MEMORY_LENGTH));
  if (memory) madvise(memory, IMAGE_MEMORY_LENGTH, MADV_HUGEPAGE);
  return memory;
}

// The built-in image as the evaluator reads it; initNetwork has checked its
// size before the first call.
static const uint8_t* builtInImage() {
  static uint8_t* const copy = [] {
    uint8_t* memory = newImageMemory();
    if (memory) std::memcpy(memory, corvanNetworkImage, NETWORK_IMAGE_SIZE);
    return memory;
  }();
  return copy ? copy : corvanNetworkImage;
}

// The built-in image once initNetwork has put it in use; the image read by
// the last successful loadNetworkFile and its file's path, null again once
// the built-in image is back.
static const uint8_t* builtIn = nullptr;
static uint8_t* fileImage = nullptr;
static std::string fileImagePath;

void initNetwork() {
  const uint8_t* image = corvanNetworkImage;
  size_t size = image ? size_t(corvanNetworkImageEnd - image) : 0;
  if (size != NETWORK_IMAGE_SIZE) {
    // Reading a short image would run past its end: refuse it like a bad header.
    printf("Network image has %zu bytes instead of %zu\n", size, NETWORK_IMAGE_SIZE);
    fflush(stdout);
    exit(1);
  }
  useBuiltInNetwork();
  checkNetworkHeader(image);
}

void useBuiltInNetwork() {
  builtIn = builtInImage();
  useNetwork(builtIn);
  std::free(fileImage);
  fileImage = nullptr;
  fileImagePath.clear();
}

std::string networkImageProblem(const uint8_t* image, size_t size, const std::string& name) {
  if (size != NETWORK_IMAGE_SIZE)
    return name + " has " + std::to_string(size) + " bytes, a network image has " + std::to_string(NETWORK_IMAGE_SIZE);
  if (int layer = wrongDecimalBitsLayer(image))
    return name + " has " + std::to_string(imageInt32(image, IMAGE_DECIMAL_BITS + 4 * (layer - 1))) +
           " decimal bits in L" + std::to_string(layer) + ", a network image has " +
           std::to_string(EXPECTED_DECIMAL_BITS[layer - 1]);
  return {};
}

// All of the file's size bytes into memory; false on any error or a short read.
static bool readWhole(int fd, uint8_t* memory, size_t size) {
  for (size_t done = 0; done < size;) {
    ssize_t got = read(fd, memory + done, size - done);
    if (got <= 0) return false;
    done += size_t(got);
  }
  return true;
}

std::string loadNetworkFile(const std::string& path) {
  const std::string unreadable = "cannot read " + path;
  // Non-blocking, so that a named pipe is refused below rather than waited on.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return unreadable;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return unreadable;
  }
  const size_t size = size_t(info.st_size);
  if (size != NETWORK_IMAGE_SIZE) {
    close(fd);
    return networkImageProblem(nullptr, size, path);
  }
  uint8_t* memory = newImageMemory();
  if (!memory) {
    close(fd);
    return "no memory for " + path;
  }
  const bool complete = readWhole(fd, memory, size);
  close(fd);
  std::string problem = complete ? networkImageProblem(memory, size, path) : unreadable;
  if (!problem.empty()) {
    std::free(memory);
    return problem;
  }
  useNetwork(memory);
  std::free(fileImage);
  fileImage = memory;
  fileImagePath = path;
  return {};
}

// A digest of the image's bytes, enough to tell two networks apart by eye.
static uint32_t imageHash(const uint8_t* image) {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 8 <= NETWORK_IMAGE_SIZE; i += 8) {
    uint64_t word;
    std::memcpy(&word, image + i, 8);
    h = std::rotl(h ^ word, 27) * 0xFF51AFD7ED558CCDull;
  }
  for (; i < NETWORK_IMAGE_SIZE; ++i) h = std::rotl(h ^ image[i], 27) * 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return uint32_t(h ^ (h >> 32));
}

std::string networkName() {
  if (!networkImage) return "none";
  std::string name = "image in memory";
  if (networkImage == fileImage) name = fileImagePath;
  else if (networkImage == builtIn) name = "built-in";
  char hash[24];
  snprintf(hash, sizeof hash, " (hash %08x)", imageHash(networkImage));
  return name + hash;
}
