// The engine's entry: start-up in its fixed order, then the benchmark or the
// UCI command loop.
#include "driver/uci.h"

int main(int argc, char** argv) { return engineMain(argc, argv); }
