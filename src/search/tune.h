// Search constants that the tuner may move. An ordinary build compiles each
// as a constant. A build configured with -DCORVAN_TUNE=ON makes each a
// variable and declares it as a UCI spin option of the same name after the
// regular options, so that tools/spsa can play two engines that differ in
// them. The tuned values then come back here as the new defaults.
#pragma once

// X(name, default, min, max)
#define SEARCH_TUNABLES(X)                \
  X(RFP_MARGIN, 55, 20, 150)              \
  X(NULL_EVAL_MARGIN, 20, 0, 60)          \
  X(NULL_EVAL_STEP, 100, 40, 300)         \
  X(PROBCUT_MARGIN, 150, 60, 300)         \
  X(LMP_BASE_IMPROVING, 22, 8, 48)        \
  X(LMP_BASE, 10, 4, 32)                  \
  X(FUTILITY_MARGIN, 55, 20, 150)         \
  X(SEE_MARGIN, 75, 20, 200)              \
  X(SINGULAR_MARGIN_PER_PLY, 2, 1, 8)     \
  X(ASPIRATION_DELTA, 7, 3, 40)           \
  X(REDUCTION_NON_PV_TENTHS, 180, 100, 300) \
  X(REDUCTION_PV_TENTHS, 150, 80, 300)

#ifdef CORVAN_TUNE
#define CORVAN_DECLARE_TUNABLE(name, value, lo, hi) extern int name;
#else
#define CORVAN_DECLARE_TUNABLE(name, value, lo, hi) constexpr int name = value;
#endif
SEARCH_TUNABLES(CORVAN_DECLARE_TUNABLE)
#undef CORVAN_DECLARE_TUNABLE

struct Tunable {
  const char* name;
  int* value;
  int defaultValue, min, max;
};

// The tunables of this build: all of them in a tune build, none otherwise.
int tunableCount();
const Tunable& tunableAt(int index);

// Sets the tunable called name to value clamped to its range (and rebuilds
// what depends on it); false when this build has no tunable of that name.
// Only between searches.
bool setTunable(const char* name, int value);
