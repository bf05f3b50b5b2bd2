#include "driver/uci.h"

#include "driver/options.h"

CommandLock commandLock;
SpinLock outputLock;

int engineMain(int, char**) {
  setDefaultOptions();
  return 0;
}
