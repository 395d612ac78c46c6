#include "qx/numeric.h"

namespace qx {

std::optional<std::int64_t> int_part(double x, std::int64_t lo, std::int64_t hi) {
  if (!std::isfinite(x)) return std::nullopt;
  const double t = std::trunc(x);
  if (t < static_cast<double>(lo) || t > static_cast<double>(hi)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

std::optional<std::int64_t> nearest_int(double x, std::int64_t lo, std::int64_t hi) {
  if (!std::isfinite(x)) return std::nullopt;
  return int_part(std::round(x), lo, hi);   // std::round takes halves away from zero
}

double qxran(double x) {
  // Fortran MOD keeps the sign of its argument, as std::fmod does.
  return std::fabs(std::fmod(x * 9821.0 + 0.211327, 1.0));
}

}  // namespace qx
