#include "search/tune.h"

#include <algorithm>
#include <cstring>

#include "search/reduction.h"

#ifdef CORVAN_TUNE
#define CORVAN_DEFINE_TUNABLE(name, value, lo, hi) int name = value;
SEARCH_TUNABLES(CORVAN_DEFINE_TUNABLE)
#undef CORVAN_DEFINE_TUNABLE

#define CORVAN_LIST_TUNABLE(name, value, lo, hi) {#name, &name, value, lo, hi},
static const Tunable TUNABLES[] = {SEARCH_TUNABLES(CORVAN_LIST_TUNABLE)};
#undef CORVAN_LIST_TUNABLE

int tunableCount() { return int(sizeof TUNABLES / sizeof TUNABLES[0]); }
const Tunable& tunableAt(int index) { return TUNABLES[index]; }

bool setTunable(const char* name, int value) {
  for (const Tunable& t : TUNABLES) {
    if (std::strcmp(t.name, name) != 0) continue;
    *t.value = std::clamp(value, t.min, t.max);
    if (std::strncmp(name, "REDUCTION_", 10) == 0) initReductionTables();
    return true;
  }
  return false;
}
#else
static const Tunable NO_TUNABLE = {"", nullptr, 0, 0, 0};
int tunableCount() { return 0; }
const Tunable& tunableAt(int) { return NO_TUNABLE; }
bool setTunable(const char*, int) { return false; }
#endif
