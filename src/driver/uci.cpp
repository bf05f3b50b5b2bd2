#include "driver/uci.h"

#include "driver/options.h"

int engineMain(int, char**) {
  setDefaultOptions();
  return 0;
}
