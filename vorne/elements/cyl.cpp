// Two-cylinder lens: a rotationally symmetric thick lens from fitted object- and image-side
// focal lengths F1, F2 and principal-plane quantities P1, P2 in the voltage ratio R (lengths in
// metres for a cylinder diameter of 1 m). The slope grows by sqrt(R) across it.
#include <array>
#include <cmath>
#include <optional>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

namespace {

using Fit = std::array<double, 6>;
constexpr Fit kFocal1Fit = {5.2904, 0.0527, 0.0084848, -0.00024359, 2.8805e-06, -1.2149e-08};
constexpr Fit kFocal2Fit = {4.6758, 1.5878, -0.00082984, 0.00013589, -1.5209e-06, 6.0554e-09};
constexpr Fit kPlane1Fit = {4.9904, 0.76739, 0.0059931, -0.0001544, 1.7424e-06, -7.1895e-09};
constexpr Fit kPlane2Fit = {5.5338, 0.55471, -0.017543, 0.00028658, -2.6225e-06, 9.5062e-09};

// |fit(R) x R / (R - 1)^2|
double fitted(const Fit& c, double r) {
  double sum = 0.0;
  for (std::size_t i = c.size(); i-- > 0;) sum = sum * r + c[i];
  return std::fabs(sum * r / ((r - 1.0) * (r - 1.0)));
}

// The x block from R and the length; none where R has no lens.
std::optional<Mat4> cylinder_block(double r, double len) {
  const double f1 = fitted(kFocal1Fit, r);
  const double f2 = fitted(kFocal2Fit, r);
  const double p1 = fitted(kPlane1Fit, r);
  const double p2 = fitted(kPlane2Fit, r);
  // The slope scales with sqrt(R): a ratio of 0 or below has no lens, nor has a vanishing fit.
  if (!(r > 0.0) || f1 == 0.0 || f2 == 0.0 || !std::isfinite(f1 + f2 + p1 + p2)) return std::nullopt;
  const double q1 = len / 2.0 + f1 - p1;
  const double q2 = len / 2.0 + f2 - p2;
  const double root = std::sqrt(r);
  Mat4 m;
  m(1, 1) = 1.0 - q2 / f2;
  m(1, 2) = (1.0 - (1.0 - q2 / f2) * (1.0 - q1 / f1)) * f2;
  m(2, 1) = -root / f2;
  m(2, 2) = (1.0 - q1 / f1) * root;
  return m;
}

}  // namespace

ElementStatus cyl(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotCylinder{"(1H ,'?CYL- Called for non-cyl ELE=',I2,' ITYPE=',F5.1)"};
  static const qx::Format kBadRatio{"(1H ,'?CYL- Voltage ratio out of range in element ',I2)"};
  static const qx::Format kError{
      "(1H ,'?Cyl Error in element ',I2,/,6X,'A(2,1) = ',F10.5,/,6X,'A(4,3) = ',F10.5,/)"};
  return ratio_lens(s, iz, particle, settings, a, {kCylinderLens, kNotCylinder, kBadRatio, kError, cylinder_block});
}

}  // namespace vorne
