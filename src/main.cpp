// The engine's entry: the command line chooses between the UCI command loop,
// the benchmark and the informational options.
#include "driver/cmdline.h"

int main(int argc, char** argv) { return commandLineMain(argc, argv); }
