#include "search/reduction.h"

#include <cmath>

#include "search/tune.h"

int32_t reductionTable[2][REDUCTION_SIZE][REDUCTION_SIZE];

// PV lines are reduced less than the rest (search/tune.h): a mistake there
// costs the result.

void initReductionTables() {
  const double nonPv = REDUCTION_NON_PV_TENTHS / 10.0, pv = REDUCTION_PV_TENTHS / 10.0;
  for (int i = 0; i < REDUCTION_SIZE; ++i)
    for (int j = 0; j < REDUCTION_SIZE; ++j) {
      if (i == 0 || j == 0) {
        reductionTable[0][i][j] = reductionTable[1][i][j] = 0;
        continue;
      }
      double li = std::log(double(i)), lj = std::log(double(j));
      reductionTable[REDUCTION_NON_PV][i][j] = int32_t(li * nonPv * lj);
      reductionTable[REDUCTION_PV][i][j] = int32_t(li * pv * lj);
    }
}
