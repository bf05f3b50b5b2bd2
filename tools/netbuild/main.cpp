// corvan-netbuild OUTPUT: writes the hand-made material and piece-square
// network image that the engine embeds by default.
#include <cstdio>
#include <vector>

#include "common/usage.h"
#include "eval/bootstrap.h"
#include "eval/network.h"

int main(int argc, char** argv) {
  static const char* USAGE =
      "usage: corvan-netbuild OUTPUT\n"
      "Writes the bootstrap network image (material and piece-square values) to\n"
      "OUTPUT.\n"
      "  -h, --help  print this text and exit\n";
  if (helpRequested(argc, argv)) return printUsage(USAGE);
  if (argc != 2 || argv[1][0] == '-') return usageError("corvan-netbuild", "one OUTPUT file expected", USAGE);
  std::vector<uint8_t> image(NETWORK_IMAGE_SIZE);
  buildBootstrapNetwork(image.data());
  FILE* file = fopen(argv[1], "wb");
  if (!file) {
    perror(argv[1]);
    return 1;
  }
  bool written = fwrite(image.data(), 1, image.size(), file) == image.size();
  if (fclose(file) != 0 || !written) {
    perror(argv[1]);
    remove(argv[1]);
    return 1;
  }
  return 0;
}
