#include "dsp/DbMath.h"

#include <cmath>

namespace tessaro::dbmath_detail {

ExpTable BuildExpTable() {
  ExpTable table{};
  for (int j = 0; j < 64; ++j) table[j] = std::exp2(j / 64.0);
  return table;
}

LogTable BuildLogTable() {
  LogTable table{};
  // log1p keeps full precision for the small entries near 1.
  for (int i = 0; i <= 2048; ++i) table[i] = std::log1p(i / 2048.0);
  return table;
}

}  // namespace tessaro::dbmath_detail
