// Checked real-to-integer conversions and the library's pseudo-random sequence.
#include "qx/numeric.h"

namespace qx {

std::optional<std::int64_t> int_part(double x, std::int64_t lo, std::int64_t hi) {
  if (!std::isfinite(x)) return std::nullopt;
  const double t = std::trunc(x);
  // double(INT64_MAX) rounds up to 2**63, which no int64 holds: check against 2**63 itself.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (t >= kTwoTo63 || t < -kTwoTo63) return std::nullopt;
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
