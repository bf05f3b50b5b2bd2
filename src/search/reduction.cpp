#include "search/reduction.h"

#include <cmath>

int32_t reductionTable[2][REDUCTION_SIZE][REDUCTION_SIZE];

// PV lines are reduced less than the rest: a mistake there costs the result.
static constexpr double REDUCTION_FACTOR_NON_PV = 18.0;
static constexpr double REDUCTION_FACTOR_PV = 15.0;

void initReductionTables() {
  for (int i = 0; i < REDUCTION_SIZE; ++i)
    for (int j = 0; j < REDUCTION_SIZE; ++j) {
      if (i == 0 || j == 0) {
        reductionTable[0][i][j] = reductionTable[1][i][j] = 0;
        continue;
      }
      double li = std::log(double(i)), lj = std::log(double(j));
      reductionTable[REDUCTION_NON_PV][i][j] = int32_t(li * REDUCTION_FACTOR_NON_PV * lj);
      reductionTable[REDUCTION_PV][i][j] = int32_t(li * REDUCTION_FACTOR_PV * lj);
    }
}
