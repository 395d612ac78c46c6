// Einzel lens: a rotationally symmetric thick lens whose focal length F and principal-plane
// quantity P are fitted polynomials in the voltage ratio R (lengths in metres for an electrode
// diameter of 1 m).
#include <array>
#include <cmath>
#include <optional>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

namespace {

constexpr double kRatioOffset = 0.6;   // the fits grow as (R + 0.6)^1.5
constexpr std::array<double, 7> kFocalFit = {1.9332, -0.4333, 0.265, -0.060627, 0.0073346, -0.00043132, 9.8562e-06};
constexpr std::array<double, 7> kPlaneFit = {1.6238, 0.42632, -0.34956, 0.11481, -0.016781, 0.0011077, -2.7219e-05};

double polynomial(const std::array<double, 7>& c, double r) {
  double sum = 0.0;
  for (std::size_t i = c.size(); i-- > 0;) sum = sum * r + c[i];
  return sum;
}

// The x block from R and the length; none where R has no lens.
std::optional<Mat4> einzel_block(double r, double len) {
  const double grow = std::pow(r + kRatioOffset, 1.5) / ((r - 1.0) * (r - 1.0));
  const double f = polynomial(kFocalFit, r) * grow;
  const double p = polynomial(kPlaneFit, r) * grow;
  // Below R = -0.6 the fits have no value; where F vanishes or overflows there is no lens.
  if (!std::isfinite(f) || !std::isfinite(p) || f == 0.0) return std::nullopt;
  Mat4 m;
  m(1, 1) = m(2, 2) = p / f - len / (2.0 * f);
  m(2, 1) = -1.0 / f;
  m(1, 2) = (m(1, 1) * m(2, 2) - 1.0) / m(2, 1);
  return m;
}

}  // namespace

ElementStatus einz(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotEinzel{"(1H ,'?EINZ- Called for non-einzel ELE=',I2,' ITYPE=',F5.1)"};
  static const qx::Format kBadRatio{"(1H ,'?EINZ- Voltage ratio out of range in element ',I2)"};
  static const qx::Format kError{
      "(1H ,'?EINZ- Error in element ',I2,/,6X,'A(2,1) = ',F10.5,/,6X,'A(4,3) = ',F10.5,/)"};
  return ratio_lens(s, iz, particle, settings, a, {kEinzelLens, kNotEinzel, kBadRatio, kError, einzel_block});
}

}  // namespace vorne
